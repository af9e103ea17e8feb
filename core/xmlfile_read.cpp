// Reading a document: the file or the bytes, checked in a streaming pass before the DOM parser
// sees them.

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextCodec>
#include <QXmlInputSource>
#include <QXmlStreamReader>

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/safefile.h"
#include "core/xmlfile.h"
#include "core/xmltree.h"

namespace
{
[[noreturn]] void Throw_Data_Error(const QString& message)
{
  throw TXmlFileException(message, TXmlFileException::DATA_ERROR);
}

[[noreturn]] void Throw_Refusal(const QXmlStreamReader& reader, const QString& source, const QString& reason)
{
  Throw_Data_Error(QStringLiteral("ERR:  Reference %1 XML refused at line %2 column %3: %4")
                       .arg(source)
                       .arg(reader.lineNumber())
                       .arg(reader.columnNumber())
                       .arg(reason));
}

// The streaming reader skips some NUL characters silently (after "]]" in text, for one),
// while the DOM's parser keeps them. In any encoding but UTF-16 and UTF-32 a zero byte is a
// NUL character; those two are decoded first.
void Check_No_Null_Character(const QByteArray& data, const QString& source)
{
  if(!data.contains('\0'))
  {
    return;
  }
  QString text;
  const bool wide = data.startsWith("\xfe\xff") || data.startsWith("\xff\xfe") || data.startsWith('\0') ||
                    (data.size() > 1 && data.at(1) == '\0');
  if(wide)
  {
    QTextCodec* codec =
        QTextCodec::codecForUtfText(data, QTextCodec::codecForName(data.startsWith('\0') ? "UTF-16BE" : "UTF-16LE"));
    text = codec->toUnicode(data);
  }
  const int index = wide ? text.indexOf(QChar(0)) : data.indexOf('\0');
  if(index < 0)
  {
    return;
  }
  const QString before = wide ? text.left(index) : QString::fromUtf8(data.left(index));
  const int line_start = before.lastIndexOf(QLatin1Char('\n')) + 1;
  Throw_Data_Error(QStringLiteral("ERR:  Reference %1 XML refused at line %2 column %3: "
                                  "the character U+0000 is not allowed in XML")
                       .arg(source)
                       .arg(before.count(QLatin1Char('\n')) + 1)
                       .arg(before.size() - line_start + 1));
}

// Byte index of the first sequence that is not valid UTF-8 (overlong forms, surrogates and
// values above U+10FFFF included), or -1.
int First_Invalid_UTF8(const QByteArray& data)
{
  const int size = data.size();
  int index = 0;
  while(index < size)
  {
    const unsigned char lead = static_cast<unsigned char>(data.at(index));
    int length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if(lead < 0x80)
    {
      ++index;
      continue;
    }
    if(lead >= 0xC2 && lead <= 0xDF)
    {
      length = 2;
    }
    else if(lead >= 0xE0 && lead <= 0xEF)
    {
      length = 3;
      low = lead == 0xE0 ? 0xA0 : 0x80;
      high = lead == 0xED ? 0x9F : 0xBF;
    }
    else if(lead >= 0xF0 && lead <= 0xF4)
    {
      length = 4;
      low = lead == 0xF0 ? 0x90 : 0x80;
      high = lead == 0xF4 ? 0x8F : 0xBF;
    }
    else
    {
      return index;
    }
    for(int next = 1; next < length; ++next)
    {
      if(index + next >= size)
      {
        return index;
      }
      const unsigned char byte = static_cast<unsigned char>(data.at(index + next));
      if(byte < (next == 1 ? low : 0x80) || byte > (next == 1 ? high : 0xBF))
      {
        return index;
      }
    }
    index += length;
  }
  return -1;
}

// The streaming reader decodes a whole chunk before it reads it, so it reports invalid UTF-8
// at the end of the declaration wherever it is. A document read as UTF-8 (no byte order mark
// of another form, no other encoding declared) is checked here, for the real line and column.
void Check_UTF8(const QByteArray& data, const QString& source)
{
  const bool wide = data.startsWith("\xfe\xff") || data.startsWith("\xff\xfe") || data.startsWith('\0') ||
                    (data.size() > 1 && data.at(1) == '\0');
  if(wide)
  {
    return;
  }
  static const QRegularExpression declaration(
      QStringLiteral("^(?:\\x{EF}\\x{BB}\\x{BF})?<\\?xml[^>]*encoding\\s*=\\s*[\"']([^\"']*)[\"']"));
  const QRegularExpressionMatch match = declaration.match(QString::fromLatin1(data.left(256)));
  if(match.hasMatch())
  {
    const QString encoding = match.captured(1).toLower();
    if(encoding != QLatin1String("utf-8") && encoding != QLatin1String("utf8"))
    {
      return;
    }
  }
  const int index = First_Invalid_UTF8(data);
  if(index < 0)
  {
    return;
  }
  const QByteArray before = data.left(index);
  const int line_start = before.lastIndexOf('\n') + 1;
  Throw_Data_Error(QStringLiteral("ERR:  Reference %1 XML parse error at line %2 column %3: "
                                  "Encountered incorrectly encoded content.")
                       .arg(source)
                       .arg(before.count('\n') + 1)
                       .arg(QString::fromUtf8(before.mid(line_start)).size() + 1));
}

// Where and why the streaming reader found a document not well-formed.
struct TStreamError
{
  bool found = false;
  qint64 line = 0;
  qint64 column = 0;
  qint64 offset = 0; // characters read
  QString message;
  bool plain = false; // the tree was built
};

// Whether "&#" occurs: a search for '&' alone is many times faster than one for the pair.
bool Has_Character_Reference(const QByteArray& data)
{
  const char* next = data.constData();
  const char* const end = next + data.size();
  while((next = static_cast<const char*>(std::memchr(next, '&', static_cast<std::size_t>(end - next)))) != nullptr)
  {
    if(++next < end && *next == '#')
    {
      return true;
    }
  }
  return false;
}

// The streaming reader lets some characters pass in names that the DOM's parser refuses (control
// characters, for one); the program's names are plain ASCII.
bool Plain_Name(const QStringRef& name)
{
  return std::all_of(name.begin(), name.end(),
                     [](const QChar c)
                     {
                       const ushort u = c.unicode();
                       return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_' ||
                              u == '-' || u == '.';
                     });
}

// One token into the tree; false where the document is not plain (see Check_Document).
bool Add_To_Tree(const QXmlStreamReader& reader, TXmlTree* tree, std::vector<int>* open_elements)
{
  switch(reader.tokenType())
  {
  case QXmlStreamReader::StartDocument:
  {
    const QStringRef encoding = reader.documentEncoding();
    return encoding.isEmpty() || encoding.compare(QLatin1String("utf-8"), Qt::CaseInsensitive) == 0;
  }
  case QXmlStreamReader::StartElement:
  {
    if(!reader.namespaceDeclarations().isEmpty() || !reader.prefix().isEmpty() || !Plain_Name(reader.name()))
    {
      return false;
    }
    const QXmlStreamAttributes attributes = reader.attributes();
    for(const QXmlStreamAttribute& attribute : attributes)
    {
      // A blank may stand for a tab or a line break, which the DOM's parser keeps.
      if(!attribute.prefix().isEmpty() || !Plain_Name(attribute.name()) || attribute.value().contains(QLatin1Char(' ')))
      {
        return false;
      }
      if(open_elements->empty())
      {
        tree->Add_Root_Attribute(attribute.name().toString(), attribute.value().toString());
      }
    }
    open_elements->push_back(tree->Add_Element(open_elements->empty() ? -1 : open_elements->back(), reader.name(),
                                               static_cast<int>(reader.lineNumber())));
    return true;
  }
  case QXmlStreamReader::EndElement:
    open_elements->pop_back();
    return true;
  case QXmlStreamReader::Characters:
    if(reader.isCDATA())
    {
      return false;
    }
    // Outside the root only white space can stand, and it is no node.
    if(!open_elements->empty())
    {
      tree->Add_Text(open_elements->back(), reader.text());
    }
    return true;
  case QXmlStreamReader::EndDocument:
    return true;
  default:
    return false;
  }
}

// Refuses a character that XML does not allow, which the streaming reader passes on in text and
// the DOM could not write back.
void Check_Characters(const QXmlStreamReader& reader, const QString& source, const QStringRef& text)
{
  const int index = TXmlFile::First_Invalid_Character(text);
  if(index >= 0)
  {
    const QString code = QStringLiteral("%1").arg(text.at(index).unicode(), 4, 16, QLatin1Char('0')).toUpper();
    Throw_Refusal(reader, source, QStringLiteral("the character U+%1 is not allowed in XML").arg(code));
  }
}

// The checks of one token of Check_Document: a document type, nesting deeper than allowed, too
// many attributes and characters XML does not allow are refused. Returns the DOM nodes the token
// makes; depth counts the open elements.
qint64 Token_Nodes(const QXmlStreamReader& reader, QXmlStreamReader::TokenType token, const QString& source, int* depth)
{
  qint64 nodes = 0;
  switch(token)
  {
  case QXmlStreamReader::DTD:
    Throw_Refusal(reader, source, QStringLiteral("a document type definition is not accepted"));
  case QXmlStreamReader::StartElement:
    if(++*depth > TXmlFile::MAXIMUM_DEPTH)
    {
      Throw_Refusal(reader, source,
                    QStringLiteral("elements are nested deeper than %1 levels").arg(TXmlFile::MAXIMUM_DEPTH));
    }
    {
      // One copy, looked at as const: a loop over the reader's own would copy it again.
      const QXmlStreamAttributes attributes = reader.attributes();
      if(attributes.size() > TXmlFile::MAXIMUM_ATTRIBUTES)
      {
        Throw_Refusal(reader, source,
                      QStringLiteral("an element has more than %1 attributes").arg(TXmlFile::MAXIMUM_ATTRIBUTES));
      }
      nodes = 1 + attributes.size();
      for(const QXmlStreamAttribute& attribute : attributes)
      {
        Check_Characters(reader, source, attribute.value());
      }
      break;
    }
  case QXmlStreamReader::EndElement:
    --*depth;
    break;
  case QXmlStreamReader::Characters:
    // White space between elements never becomes a DOM node.
    nodes = reader.isWhitespace() ? 0 : 1;
    Check_Characters(reader, source, reader.text());
    break;
  case QXmlStreamReader::Comment:
    nodes = 1;
    Check_Characters(reader, source, reader.text());
    break;
  case QXmlStreamReader::ProcessingInstruction:
    nodes = 1;
    Check_Characters(reader, source, reader.processingInstructionData());
    break;
  default:
    nodes = 1;
    break;
  }
  return nodes;
}

// A streaming pass over the bytes before the DOM sees them. The DOM parser expands entities
// without limit, builds and frees its tree recursively, costs about a kilobyte per node, and
// both parsers compare every attribute of an element with every other. So a document type
// (the only way to declare entities), deep nesting, too many nodes, too many attributes and
// overlong tags are refused here, where none of them costs much (Token_Nodes), and so are
// characters that XML does not allow. The bytes are fed in chunks so that one huge tag is
// refused before this reader's own quadratic attribute check runs over all of it. Where the document is not well-formed
// the pass stops; the finding is returned, because the message is the DOM's own (Throw_Parse_Error).
//
// With a tree, the same pass builds it. What the DOM's parser would make of a few rarer forms
// (comments and instructions among the texts, CDATA, character references, carriage returns,
// namespaces, encodings other than UTF-8) is left to it: the tree is then cleared, and the
// error's plain flag tells.
TStreamError Check_Document(const QByteArray& data, const QString& source, bool namespace_processing, TXmlTree* tree)
{
  const int CHUNK_SIZE = 16 * 1024;
  // A token still unfinished after this many further chunks spans more than 64 KB.
  const int MAXIMUM_CHUNKS_PER_TOKEN = 5;

  Check_No_Null_Character(data, source);
  Check_UTF8(data, source);

  QXmlStreamReader reader;
  reader.setNamespaceProcessing(namespace_processing);
  int depth = 0;
  qint64 nodes = 0;
  int position = 0;
  int chunks_without_token = 0;
  // The open elements of the tree, innermost last.
  std::vector<int> open_elements;
  // The DOM's parser keeps a carriage return that the streaming reader turns into a line feed.
  bool plain = tree != nullptr && !Has_Character_Reference(data) && !data.contains('\r');
  if(tree)
  {
    tree->Clear();
    // The program's files hold an element in about fifty bytes.
    tree->Reserve(static_cast<std::size_t>(data.size()) / 40);
  }

  for(;;)
  {
    const QXmlStreamReader::TokenType token = reader.readNext();
    if(token == QXmlStreamReader::Invalid)
    {
      if(reader.error() != QXmlStreamReader::PrematureEndOfDocumentError || position >= data.size())
      {
        break;
      }
      if(++chunks_without_token > MAXIMUM_CHUNKS_PER_TOKEN)
      {
        Throw_Refusal(reader, source,
                      QStringLiteral("a single tag or text is longer than %1 bytes")
                          .arg(MAXIMUM_CHUNKS_PER_TOKEN * CHUNK_SIZE - CHUNK_SIZE));
      }
      reader.addData(data.mid(position, CHUNK_SIZE));
      position += CHUNK_SIZE;
      continue;
    }
    chunks_without_token = 0;

    if(plain)
    {
      plain = Add_To_Tree(reader, tree, &open_elements);
    }
    nodes += Token_Nodes(reader, token, source, &depth);
    if(nodes > TXmlFile::MAXIMUM_NODES)
    {
      Throw_Refusal(reader, source, QStringLiteral("the document has more than %1 nodes").arg(TXmlFile::MAXIMUM_NODES));
    }
    if(token == QXmlStreamReader::EndDocument)
    {
      break;
    }
  }

  TStreamError error;
  error.plain = plain;
  if(plain)
  {
    tree->Finish();
  }
  else if(tree)
  {
    tree->Clear();
  }
  if(reader.hasError())
  {
    error.found = true;
    error.line = reader.lineNumber();
    error.column = reader.columnNumber();
    error.offset = reader.characterOffset();
    error.message = reader.errorString();
  }
  return error;
}

// Reads at most a given number of characters and records whether the parser asked for more.
QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED
class TLimitedSource : public QXmlInputSource
{
public:
  TLimitedSource(QIODevice* device, qint64 limit) : QXmlInputSource(device), d_limit(limit) {}

  QChar next() override
  {
    const QChar c = QXmlInputSource::next();
    if(c.unicode() == EndOfData || c.unicode() == EndOfDocument)
    {
      return c;
    }
    if(d_count >= d_limit)
    {
      d_truncated = true;
      return QChar(EndOfDocument);
    }
    ++d_count;
    return c;
  }

  bool Truncated() const { return d_truncated; }

private:
  qint64 d_limit;
  qint64 d_count = 0;
  bool d_truncated = false;
};
QT_WARNING_POP

// A document that is not well-formed is reported, like any document the DOM rejects, with the
// DOM parser's position and reason. The DOM is given only a few characters past the
// point where the streaming pass stopped, so it never reaches what that pass did not check
// (nesting, a document type); where it would need more, or accepts what the streaming reader
// did not, that reader's finding is reported instead. Called under TAcceptAllCharacters.
[[noreturn]] void Throw_Parse_Error(QDomDocument* document, const QByteArray& data, const QString& source,
                                    bool namespace_processing, const TStreamError& stream_error)
{
  const qint64 LOOKAHEAD = 256;

  QBuffer buffer;
  buffer.setData(data);
  QString error_message;
  int error_line = 0;
  int error_column = 0;
  bool parsed = false;
  bool truncated = false;
  {
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    TLimitedSource input(&buffer, stream_error.offset + LOOKAHEAD);
    parsed = document->setContent(&input, namespace_processing, &error_message, &error_line, &error_column);
    QT_WARNING_POP
    truncated = input.Truncated();
  }
  if(parsed || truncated)
  {
    Throw_Data_Error(QStringLiteral("ERR:  Reference %1 XML parse error at line %2 column %3: %4")
                         .arg(source)
                         .arg(stream_error.line)
                         .arg(stream_error.column)
                         .arg(stream_error.message));
  }
  Throw_Data_Error(QStringLiteral("ERR:  Reference %1 XML parse error at line %2 column %3: %4")
                       .arg(source)
                       .arg(error_line)
                       .arg(error_column)
                       .arg(error_message));
}
} // namespace

void TXmlFile::Open(const QString& identification, int* version, bool namespace_processing, TXmlTree* tree)
{
  if(!QFileInfo(d_file_name).isReadable())
  {
    throw TXmlFileException(QStringLiteral("ERR:  Cannot open file '%1' for reading.").arg(d_file_name),
                            TXmlFileException::FILE_ACCESS_ERROR);
  }

  // A FIFO or device would block the read or never end.
  const QString problem = SafeFile::Source_Problem(d_file_name);
  if(!problem.isEmpty())
  {
    throw TXmlFileException(QStringLiteral("ERR:  Cannot open file: '%1'.  Reason: %2").arg(d_file_name, problem),
                            TXmlFileException::FILE_ACCESS_ERROR);
  }

  // Bytes as stored: the XML reader decodes them and handles line ends itself; text mode
  // would drop every 0x0D byte, which in UTF-16 is half of a character.
  QFile file(d_file_name);
  if(!file.open(QIODevice::ReadOnly))
  {
    throw TXmlFileException(
        QStringLiteral("ERR:  Cannot open file: '%1'.  Reason: %2").arg(d_file_name, file.errorString()),
        TXmlFileException::FILE_ACCESS_ERROR);
  }

  // Reading one byte past the limit tells an oversized file from one of exactly the limit,
  // also for devices that report no size.
  const QByteArray data = file.read(MAXIMUM_SIZE + 1);
  file.close();
  if(data.size() > MAXIMUM_SIZE)
  {
    Throw_Data_Error(QStringLiteral("ERR:  Reference file '%1' is larger than %2 bytes")
                         .arg(d_file_name, QString::number(MAXIMUM_SIZE)));
  }

  Parse(data, QStringLiteral("file"), identification, version, namespace_processing, tree);
}

void TXmlFile::Open_Data(const QByteArray& data, const QString& identification, int* version, bool namespace_processing,
                         TXmlTree* tree)
{
  if(data.size() > MAXIMUM_SIZE)
  {
    Throw_Data_Error(QStringLiteral("ERR:  Reference data is larger than %1 bytes").arg(MAXIMUM_SIZE));
  }
  Parse(data, QStringLiteral("data"), identification, version, namespace_processing, tree);
}

void TXmlFile::Parse(const QByteArray& data, const QString& source, const QString& identification, int* version,
                     bool namespace_processing, TXmlTree* tree)
{
  const TStreamError stream_error = Check_Document(data, source, namespace_processing, tree);
  if(stream_error.found)
  {
    const TAcceptAllCharacters accept;
    Throw_Parse_Error(&d_document, data, source, namespace_processing, stream_error);
  }
  if(stream_error.plain)
  {
    Check_Root(*tree->Root_Node(), identification, version);
    return;
  }

  QString error_message;
  int error_line = 0;
  int error_column = 0;
  bool parsed = false;
  {
    const TAcceptAllCharacters accept;
    parsed = d_document.setContent(data, namespace_processing, &error_message, &error_line, &error_column);
  }
  if(!parsed)
  {
    Throw_Data_Error(QStringLiteral("ERR:  Reference %1 XML parse error at line %2 column %3: %4")
                         .arg(source)
                         .arg(error_line)
                         .arg(error_column)
                         .arg(error_message));
  }

  d_root = d_document.documentElement();
  if(tree)
  {
    tree->Take_Document(d_root);
    Check_Root(*tree->Root_Node(), identification, version);
    return;
  }
  Check_Root(d_root, identification, version);
}

template <class TElement> void TXmlFile::Check_Root(const TElement& root, const QString& identification, int* version)
{
  if(root.tagName() != identification)
  {
    Throw_Data_Error(
        QStringLiteral("ERR:  Identification '%1' does not match '%2'").arg(identification, root.tagName()));
  }

  if(version)
  {
    if(!root.hasAttribute(QLatin1String(FILE_VERSION_ATTRIBUTE)))
    {
      Throw_Data_Error(QStringLiteral("ERR:  The 'File_Version' attribute is missing."));
    }
    *version = root.attribute(QLatin1String(FILE_VERSION_ATTRIBUTE)).toInt(nullptr, 10);
  }
}

int TXmlFile::First_Invalid_Character(const QStringRef& text)
{
  for(int index = 0; index < text.size(); ++index)
  {
    const ushort c = text.at(index).unicode();
    if(c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD))
    {
      continue;
    }
    if(QChar::isHighSurrogate(c) && index + 1 < text.size() && text.at(index + 1).isLowSurrogate())
    {
      ++index;
      continue;
    }
    return index;
  }
  return -1;
}
