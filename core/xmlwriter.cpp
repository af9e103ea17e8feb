#include "core/xmlwriter.h"

#include <algorithm>

#include "core/varlume_assert.h"
#include "core/xmlfile.h"

namespace
{
// Markup and most texts (numbers, names) are ASCII: copied byte for byte; anything else
// through Qt's converter.
void Append_Utf8(QByteArray* out, const QChar* data, int size)
{
  int ascii = 0;
  while(ascii < size && data[ascii].unicode() < 0x80)
  {
    ++ascii;
  }
  if(ascii == size)
  {
    const int start = out->size();
    out->resize(start + size);
    char* bytes = out->data() + start;
    for(int index = 0; index < size; ++index)
    {
      bytes[index] = static_cast<char>(data[index].unicode());
    }
    return;
  }
  out->append(QString::fromRawData(data, size).toUtf8());
}

void Append_Utf8(QByteArray* out, const QString& text)
{
  Append_Utf8(out, text.constData(), text.size());
}

// The DOM's escapes for a text node inside an element: '<' and '&' always, '>' after "]]", a
// carriage return as a reference. The compact form drops every line feed.
void Append_Text(QByteArray* out, const QString& text, bool compact)
{
  const int size = text.size();
  const QChar* data = text.constData();
  int done = 0;
  for(int index = 0; index < size; ++index)
  {
    const char16_t c = data[index].unicode();
    const char* escape = nullptr;
    switch(c)
    {
    case '<':
      escape = "&lt;";
      break;
    case '&':
      escape = "&amp;";
      break;
    case '>':
      if(index >= 2 && data[index - 1] == QLatin1Char(']') && data[index - 2] == QLatin1Char(']'))
      {
        escape = "&gt;";
      }
      break;
    case '\r':
      escape = "&#xd;";
      break;
    case '\n':
      if(compact)
      {
        escape = "";
      }
      break;
    default:
      break;
    }
    if(escape)
    {
      Append_Utf8(out, data + done, index - done);
      out->append(escape);
      done = index + 1;
    }
  }
  Append_Utf8(out, data + done, size - done);
}
} // namespace

void TXmlWriter::Reset(const QString& root_name, int version, bool compact)
{
  d_compact = compact;
  // Keeps the room a stream reserved.
  d_text.resize(0);
  d_open.clear();
  d_text.append("<?xml version=\"1.0\" encoding=\"utf-8\"?>");
  if(!d_compact)
  {
    d_text.append('\n');
  }
  d_text.append('<');
  Append_Utf8(&d_text, root_name);
  d_text.append(" File_Version=\"");
  d_text.append(QByteArray::number(version));
  d_text.append('"');
  d_root.d_depth = 0;
  d_root.d_serial = d_serial++;
  d_open.push_back({root_name, d_root.d_serial, false, false});
}

void TXmlWriter::Stream(std::function<void(const QByteArray&)> output, int chunk)
{
  d_output = std::move(output);
  d_chunk = chunk;
  // Reserved, so that the piece's room is kept from one piece to the next.
  d_text.reserve(chunk + chunk / 4);
}

void TXmlWriter::Pass_On()
{
  if(d_output && d_text.size() >= d_chunk)
  {
    d_output(d_text);
    d_text.resize(0);
  }
}

void TXmlWriter::Indent(std::size_t depth)
{
  if(!d_compact)
  {
    static const char SPACES[] = "                                                                ";
    // Without a string of its own for every line.
    for(int left = static_cast<int>(depth) * 4; left > 0; left -= static_cast<int>(sizeof(SPACES) - 1))
    {
      d_text.append(SPACES, std::min(left, static_cast<int>(sizeof(SPACES) - 1)));
    }
  }
}

void TXmlWriter::Close_Innermost()
{
  const TOpen& inner = d_open.back();
  if(inner.content)
  {
    if(inner.elements)
    {
      Indent(d_open.size() - 1);
    }
    d_text.append("</");
    Append_Utf8(&d_text, inner.name);
    d_text.append('>');
  }
  else
  {
    d_text.append("/>");
  }
  if(!d_compact)
  {
    d_text.append('\n');
  }
  d_open.pop_back();
}

void TXmlWriter::Open_Inside(const TElement* element, bool for_element)
{
  VARLUME_ASSERT(element->d_depth >= 0 && static_cast<std::size_t>(element->d_depth) < d_open.size() &&
                 d_open[static_cast<std::size_t>(element->d_depth)].serial == element->d_serial);
  while(d_open.size() > static_cast<std::size_t>(element->d_depth) + 1)
  {
    Close_Innermost();
  }
  TOpen& open = d_open.back();
  // The DOM lays out an element of texts and elements differently; the program writes none.
  VARLUME_ASSERT(d_compact || !open.content || open.elements == for_element);
  if(!open.content)
  {
    d_text.append('>');
    if(for_element && !d_compact)
    {
      d_text.append('\n');
    }
    open.content = true;
    open.elements = for_element;
  }
}

TXmlWriter::TElement TXmlWriter::Create_Node(TElement* parent, const QString& name)
{
  VARLUME_ASSERT(parent);
  if(name.isEmpty())
  {
    throw TXmlFileException(QStringLiteral("ERR:  Cannot create an unnamed node"), TXmlFileException::DATA_ERROR);
  }
  Open_Inside(parent, true);
  TElement element;
  element.d_depth = parent->d_depth + 1;
  element.d_serial = d_serial++;
  Indent(static_cast<std::size_t>(element.d_depth));
  d_text.append('<');
  Append_Utf8(&d_text, name);
  d_open.push_back({name, element.d_serial, false, false});
  Pass_On();
  return element;
}

void TXmlWriter::Write_Text_Node(TElement* node, const QString& text)
{
  VARLUME_ASSERT(node);
  if(TXmlFile::First_Invalid_Character(QStringRef(&text)) >= 0)
  {
    throw TXmlFileException(QStringLiteral("ERR:  Cannot write node '%1' with data '%2'")
                                .arg(d_open[static_cast<std::size_t>(node->d_depth)].name, text),
                            TXmlFileException::DATA_ERROR);
  }
  Open_Inside(node, false);
  Append_Text(&d_text, text, d_compact);
  Pass_On();
}

void TXmlWriter::Write_Text_Node(TElement* node, const double& value, int precision)
{
  Write_Text_Node(node, QStringLiteral("%1").arg(value, 0, 'f', precision));
}

void TXmlWriter::Write_Text_Node(TElement* node, int value)
{
  Write_Text_Node(node, QString::number(value));
}

QByteArray TXmlWriter::Data()
{
  while(!d_open.empty())
  {
    Close_Innermost();
  }
  return d_text;
}
