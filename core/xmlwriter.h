#ifndef XMLWRITER_H
#define XMLWRITER_H

#include <QByteArray>
#include <QString>

#include <vector>

// Writes a document of elements and texts straight to bytes: the same bytes as TXmlFile's
// compact form (Write_Data with compact set) of the same document, with the same checks, in a
// fraction of the time, and without the process-wide state the DOM needs, so that it can run
// on any thread. The elements must be written in document order: a new element or text goes
// to the innermost open element or one of its ancestors, which closes the elements inside.
// Failures throw TXmlFileException.
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
  void Reset(const QString& root_name, int version);
  TElement* Root_Node() { return &d_root; }

  // As TXmlFile's of the same names.
  TElement Create_Node(TElement* parent, const QString& name);
  void Write_Text_Node(TElement* node, const QString& text);
  void Write_Text_Node(TElement* node, const double& value, int precision);
  void Write_Text_Node(TElement* node, int value);

  // The document, every open element closed.
  QByteArray Data();

private:
  struct TOpen
  {
    QString name;
    int serial;
    bool content; // the start tag is closed by '>'
  };

  // Closes the elements inside the element; it must be open.
  void Open_Inside(const TElement* element);

  QString d_text;
  std::vector<TOpen> d_open;
  int d_serial = 0;
  TElement d_root;
};

#endif
