#ifndef XMLFILE_H
#define XMLFILE_H

#include <QByteArray>
#include <QDomDocument>
#include <QDomElement>
#include <QDomImplementation>
#include <QDomNode>
#include <QString>

#include <functional>
#include <mutex>

class TSafeFile;
class TXmlTree;

// The error of every XML operation: a complete message text ("ERR:  ...") and its kind.
class TXmlFileException
{
public:
  enum TExceptionType
  {
    FILE_ACCESS_ERROR = 0, // the file cannot be opened for reading, or an existing file is not writable
    DATA_ERROR             // everything else
  };

  TXmlFileException(const QString& message, TExceptionType type) : d_message(message), d_type(type) {}

  const QString& Message() const { return d_message; }
  TExceptionType Type() const { return d_type; }

private:
  QString d_message;
  TExceptionType d_type;
};

// One DOM document with a strict vocabulary for reading and writing the program's XML files.
// Every failure throws TXmlFileException. Read operations take an optional flag: false makes a
// missing element, attribute or text an error, true returns a null element or an empty string.
// A null node pointer is a programming error (fatal assertion).
class TXmlFile
{
public:
  // Documents larger than this are refused before parsing; a library of ten thousand
  // machines stays well below it.
  static const qint64 MAXIMUM_SIZE = 64 * 1024 * 1024;
  // Elements nested deeper than this are refused: the program's files need fewer than ten
  // levels, and the DOM's recursive code crashes on some thousands.
  static const int MAXIMUM_DEPTH = 32;
  // Elements, attributes, texts and comments; the DOM needs some hundred bytes for each.
  static const qint64 MAXIMUM_NODES = 2000000;
  // Parsers check attribute names pairwise; the program's files use one per element.
  static const int MAXIMUM_ATTRIBUTES = 256;

  // Sets the process-wide DOM policy so that text XML cannot store yields a null node.
  TXmlFile();

  void Set_File_Name(const QString& file_name) { d_file_name = file_name; }
  QString File_Name() const { return d_file_name; }

  // The document element: the parent of the first Get_Node or Create_Node.
  QDomElement* Root_Node() { return &d_root; }
  const QDomElement* Root_Node() const { return &d_root; }

  void Clear();

  // New document for writing: XML declaration (utf-8) and root element with File_Version.
  void Reset(const QString& root_name, int version);
  // New document with a document type of that name and no XML declaration.
  void Reset(const QString& document_type, const QString& root_name, int version);

  // Reads the file set by Set_File_Name. The root element must be named identification;
  // when version is not null the root's File_Version attribute is required and stored there.
  // With a tree the document goes there instead of this DOM, which stays empty: the same
  // checks, messages and texts for a fraction of the time and memory.
  void Open(const QString& identification, int* version, bool namespace_processing, TXmlTree* tree = nullptr);
  // The same from bytes in memory; every error is a DATA_ERROR.
  void Open_Data(const QByteArray& data, const QString& identification, int* version, bool namespace_processing,
                 TXmlTree* tree = nullptr);

  // Writes through a temporary file that replaces the old one only when everything was
  // written; compact output is one line.
  void Write_File(bool compact) const;
  // The same for bytes made elsewhere (TXmlWriter), with the same checks and messages.
  static void Write_Bytes(const QString& file_name, const QByteArray& bytes);
  // The same for bytes written straight into the file by write, which returns false when it
  // could not write them; an exception from it leaves the old file as it was.
  static void Write_Through(const QString& file_name, const std::function<bool(TSafeFile*)>& write);
  void Write_Data(QByteArray* data, bool compact) const;

  // First child element of that name.
  QDomElement Get_Node(const QDomElement* parent, const QString& name, bool optional) const;
  QDomElement Get_Node(const QDomNode* parent, const QString& name, bool optional) const;
  // Next sibling element of that name.
  QDomElement Get_Sibling_Node(const QDomElement* current_node, const QString& name, bool optional) const;
  // First child node of any kind (element, text, comment).
  QDomNode Get_First_Node(const QDomElement* parent, bool optional) const;
  QDomNode Get_First_Node(const QDomNode* parent, bool optional) const;
  // Next sibling node of any kind.
  QDomNode Get_Sibling_Node(const QDomNode* current_node, bool optional) const;

  // The first child when it is text, exactly as stored; an empty element has no text.
  QString Read_Text_Node(const QDomElement* node, bool optional) const;
  QString Read_Text_Node(const QDomNode* node, bool optional) const;
  QString Read_Attribute(const QDomElement* node, const QString& name, bool optional) const;
  QString Read_Attribute(const QDomNode* node, const QString& name, bool optional) const;

  // New child element appended to the parent.
  QDomElement Create_Node(QDomElement* parent, const QString& name);
  // Appends a text node; a double is written in fixed notation with precision decimals.
  void Write_Text_Node(QDomElement* node, const QString& text);
  void Write_Text_Node(QDomElement* node, const double& value, int precision);
  void Write_Text_Node(QDomElement* node, int value);
  // Sets (or replaces) an attribute; numbers are formatted as for Write_Text_Node.
  void Write_Attribute(QDomElement* node, const QString& name, const QString& value);
  void Write_Attribute(QDomElement* node, const QString& name, const double& value, int precision);
  void Write_Attribute(QDomElement* node, const QString& name, int value);

  // Index of the first character outside XML's Char production, or -1. Characters above
  // U+FFFF arrive as surrogate pairs and are allowed; a lone surrogate is not.
  static int First_Invalid_Character(const QStringRef& text);

private:
  // The DOM's own character test rejects every character above U+FFFF, and under the
  // ReturnNullNode policy its parser then dereferences the null node it made and crashes. DOM
  // nodes are therefore made under the accepting policy, after the text was checked (Parse).
  // The policy is the process's: two threads reading libraries at once (the window's start)
  // take turns here.
  class TAcceptAllCharacters
  {
  public:
    TAcceptAllCharacters() : d_lock(Policy_Mutex()), d_policy(QDomImplementation::invalidDataPolicy())
    {
      QDomImplementation::setInvalidDataPolicy(QDomImplementation::AcceptInvalidChars);
    }
    ~TAcceptAllCharacters() { QDomImplementation::setInvalidDataPolicy(d_policy); }
    TAcceptAllCharacters(const TAcceptAllCharacters&) = delete;
    TAcceptAllCharacters& operator=(const TAcceptAllCharacters&) = delete;

  private:
    std::lock_guard<std::recursive_mutex> d_lock;
    QDomImplementation::InvalidDataPolicy d_policy;
  };
  static std::recursive_mutex& Policy_Mutex();

  static constexpr const char* FILE_VERSION_ATTRIBUTE = "File_Version";

  void Parse(const QByteArray& data, const QString& source, const QString& identification, int* version,
             bool namespace_processing, TXmlTree* tree);
  template <class TElement> static void Check_Root(const TElement& root, const QString& identification, int* version);
  QByteArray Serialise(bool compact) const;

  QDomDocument d_document;
  QDomElement d_root;
  QString d_file_name;
};

#endif
