#ifndef XMLWRITER_H
#define XMLWRITER_H

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <functional>
#include <vector>

// Writes a document of elements and texts straight to bytes: the same bytes as TXmlFile gives
// for the same document, compact (Write_Data with compact set) or as its file (Write_File,
// indented by four), with the same checks, in a fraction of the time, and without the
// process-wide state the DOM needs, so that it can run on any thread. The elements must be
// written in document order: a new element or text goes to the innermost open element or one
// of its ancestors, which closes the elements inside. In the file form an element holds either
// texts or elements, as every file of the program does. Failures throw TXmlFileException.
class TXmlWriter
{
public:
  // An open element; only Create_Node makes one.
  class TElement
  {
  private:
    friend class TXmlWriter;
    int d_depth = -1;
    int d_serial = -1;
  };

  // The XML declaration (utf-8) and the root element with File_Version.
  void Reset(const QString& root_name, int version, bool compact);
  TElement* Root_Node() { return &d_root; }

  // Hands the document to output in pieces of about chunk bytes while it is written, so that
  // a large one is never whole in memory; Data() then returns the last piece.
  void Stream(std::function<void(const QByteArray&)> output, int chunk);

  // As TXmlFile's of the same names.
  TElement Create_Node(TElement* parent, const QString& name);
  void Write_Text_Node(TElement* node, const QString& text);
  void Write_Text_Node(TElement* node, const double& value, int precision);
  void Write_Text_Node(TElement* node, int value);

  // The document (when streamed, what is left of it), every open element closed.
  QByteArray Data();

private:
  struct TOpen
  {
    QString name;
    int serial;
    bool content;  // the start tag is closed by '>'
    bool elements; // holds elements (else texts, when it has content)
  };

  // Closes the elements inside the element, which must be open, and opens it for a text or an
  // element.
  void Open_Inside(const TElement* element, bool for_element);
  void Close_Innermost();
  void Indent(std::size_t depth);
  void Pass_On();

  QByteArray d_text; // UTF-8
  bool d_compact = true;
  std::vector<TOpen> d_open;
  int d_serial = 0;
  TElement d_root;
  std::function<void(const QByteArray&)> d_output;
  int d_chunk = 0;
};

#endif
