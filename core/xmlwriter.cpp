#include "core/xmlwriter.h"

#include <algorithm>

#include "core/varlume_assert.h"
#include "core/xmlfile.h"

namespace
{
// The DOM's escapes for a text node inside an element: '<' and '&' always, '>' after "]]", a
// carriage return as a reference. The compact form drops every line feed.
void Append_Text(QString* out, const QString& text, bool compact)
{
  const int size = text.size();
  // Most texts are numbers and names with nothing to escape: appended whole.
  int first = 0;
  const QChar* data = text.constData();
  while(first < size && data[first] != QLatin1Char('<') && data[first] != QLatin1Char('&') &&
        data[first] != QLatin1Char('>') && data[first] != QLatin1Char('\r') && data[first] != QLatin1Char('\n'))
  {
    ++first;
  }
  if(first == size)
  {
    out->append(text);
    return;
  }
  out->append(data, first);
  for(int index = first; index < size; ++index)
  {
    const QChar c = text.at(index);
    switch(c.unicode())
    {
    case '<':
      out->append(QLatin1String("&lt;"));
      break;
    case '&':
      out->append(QLatin1String("&amp;"));
      break;
    case '>':
      if(index >= 2 && text.at(index - 1) == QLatin1Char(']') && text.at(index - 2) == QLatin1Char(']'))
      {
        out->append(QLatin1String("&gt;"));
      }
      else
      {
        out->append(c);
      }
      break;
    case '\r':
      out->append(QLatin1String("&#xd;"));
      break;
    case '\n':
      if(!compact)
      {
        out->append(c);
      }
      break;
    default:
      out->append(c);
      break;
    }
  }
}
} // namespace

void TXmlWriter::Reset(const QString& root_name, int version, bool compact)
{
  d_compact = compact;
  d_text.clear();
  d_open.clear();
  d_text.append(QLatin1String("<?xml version=\"1.0\" encoding=\"utf-8\"?>"));
  if(!d_compact)
  {
    d_text.append(QLatin1Char('\n'));
  }
  d_text.append(QLatin1Char('<'));
  d_text.append(root_name);
  d_text.append(QStringLiteral(" File_Version=\"%1\"").arg(version));
  d_root.d_depth = 0;
  d_root.d_serial = d_serial++;
  d_open.push_back({root_name, d_root.d_serial, false, false});
}

void TXmlWriter::Indent(std::size_t depth)
{
  if(!d_compact)
  {
    static const char SPACES[] = "                                                                ";
    // Without a string of its own for every line.
    for(int left = static_cast<int>(depth) * 4; left > 0; left -= static_cast<int>(sizeof(SPACES) - 1))
    {
      d_text.append(QLatin1String(SPACES, std::min(left, static_cast<int>(sizeof(SPACES) - 1))));
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
    d_text.append(QLatin1String("</"));
    d_text.append(inner.name);
    d_text.append(QLatin1Char('>'));
  }
  else
  {
    d_text.append(QLatin1String("/>"));
  }
  if(!d_compact)
  {
    d_text.append(QLatin1Char('\n'));
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
    d_text.append(QLatin1Char('>'));
    if(for_element && !d_compact)
    {
      d_text.append(QLatin1Char('\n'));
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
  d_text.append(QLatin1Char('<'));
  d_text.append(name);
  d_open.push_back({name, element.d_serial, false, false});
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
  return d_text.toUtf8();
}
