#include "core/xmlfile.h"

#include <QDomProcessingInstruction>
#include <QDomText>
#include <QFileInfo>
#include <QHash>
#include <QTextStream>

#include "core/safefile.h"
#include "core/varlume_assert.h"
#include "core/xmlfile_nodes.h"

namespace
{
[[noreturn]] void Throw_Data_Error(const QString& message)
{
  throw TXmlFileException(message, TXmlFileException::DATA_ERROR);
}

// QDom writes an element's attributes in the order of a hash, and a hash takes the process's
// random seed when its first entry is made, so the same document would not give the same bytes
// twice. Attributes are set with the seed 0, which fixes the order; a seed already fixed by the
// environment is left alone.
class TFixedAttributeOrder
{
public:
  TFixedAttributeOrder() : d_seeded(qGlobalQHashSeed() != 0)
  {
    if(d_seeded)
    {
      qSetGlobalQHashSeed(0);
    }
  }
  // -1 draws a new random seed.
  ~TFixedAttributeOrder()
  {
    if(d_seeded)
    {
      qSetGlobalQHashSeed(-1);
    }
  }
  TFixedAttributeOrder(const TFixedAttributeOrder&) = delete;
  TFixedAttributeOrder& operator=(const TFixedAttributeOrder&) = delete;

private:
  bool d_seeded;
};

QByteArray Without_Line_Breaks(const QByteArray& text)
{
  QByteArray result;
  result.reserve(text.size());
  for(const char c : text)
  {
    if(c != '\r' && c != '\n')
    {
      result.append(c);
    }
  }
  return result;
}

QString Number_Text(const double& value, int precision)
{
  return QStringLiteral("%1").arg(value, 0, 'f', precision);
}

template <class TNode> QDomNode First_Child(const TNode* parent, bool optional, QString (TNode::*parent_name)() const)
{
  const QDomNode node = parent->firstChild();
  if(node.isNull() && !optional)
  {
    Throw_Data_Error(QStringLiteral("ERR:  Parent '%1' does not have nodes and they are not optional.")
                         .arg((parent->*parent_name)()));
  }
  return node;
}
} // namespace

TXmlFile::TXmlFile()
{
  const std::lock_guard<std::recursive_mutex> lock(Policy_Mutex());
  QDomImplementation::setInvalidDataPolicy(QDomImplementation::ReturnNullNode);
}

std::recursive_mutex& TXmlFile::Policy_Mutex()
{
  static std::recursive_mutex mutex;
  return mutex;
}

void TXmlFile::Clear()
{
  d_document.clear();
  d_root = QDomElement();
}

void TXmlFile::Reset(const QString& root_name, int version)
{
  Clear();
  d_document.appendChild(d_document.createProcessingInstruction(QStringLiteral("xml"),
                                                                QStringLiteral("version=\"1.0\" encoding=\"utf-8\"")));
  d_root = d_document.createElement(root_name);
  {
    const TFixedAttributeOrder order;
    d_root.setAttribute(QLatin1String(FILE_VERSION_ATTRIBUTE), QStringLiteral("%1").arg(version));
  }
  d_document.appendChild(d_root);
}

void TXmlFile::Reset(const QString& document_type, const QString& root_name, int version)
{
  d_document = QDomDocument(document_type);
  d_root = d_document.createElement(root_name);
  {
    const TFixedAttributeOrder order;
    d_root.setAttribute(QLatin1String(FILE_VERSION_ATTRIBUTE), QStringLiteral("%1").arg(version));
  }
  d_document.appendChild(d_root);
}

QByteArray TXmlFile::Serialise(bool compact) const
{
  if(compact)
  {
    return Without_Line_Breaks(d_document.toByteArray(0));
  }
  return d_document.toByteArray(4);
}

void TXmlFile::Write_File(bool compact) const
{
  if(compact)
  {
    Write_Bytes(d_file_name, Serialise(true));
    return;
  }
  Write_Through(d_file_name,
                [this](TSafeFile* file)
                {
                  // save() takes the character encoding from the document's declaration.
                  QTextStream stream(file->Device());
                  d_document.save(stream, 4);
                  stream.flush();
                  return true;
                });
}

void TXmlFile::Write_Bytes(const QString& file_name, const QByteArray& bytes)
{
  Write_Through(file_name, [&bytes](TSafeFile* file) { return file->Write(bytes); });
}

void TXmlFile::Write_Through(const QString& file_name, const std::function<bool(TSafeFile*)>& write)
{
  const QFileInfo info(file_name);
  if(info.exists() && !info.isWritable())
  {
    throw TXmlFileException(QStringLiteral("ERR:  Cannot open file '%1' for writing").arg(file_name),
                            TXmlFileException::FILE_ACCESS_ERROR);
  }

  // The old file stays untouched until everything is on disk: a write that fails half-way
  // (disk full) neither destroys it nor passes as success.
  TSafeFile file(file_name);
  const bool written = file.Open() && write(&file);
  if(!written || !file.Commit())
  {
    Throw_Data_Error(QStringLiteral("ERR:  Cannot write file '%1'.  Reason: %2").arg(file_name, file.Error_String()));
  }
}

void TXmlFile::Write_Data(QByteArray* data, bool compact) const
{
  VARLUME_ASSERT(data);
  data->clear();
  *data = Serialise(compact);
}

QDomElement TXmlFile::Get_Node(const QDomElement* parent, const QString& name, bool optional) const
{
  VARLUME_ASSERT(parent);
  return XmlFile_Nodes::Child_Element(parent, name, optional, &QDomElement::tagName);
}

QDomElement TXmlFile::Get_Node(const QDomNode* parent, const QString& name, bool optional) const
{
  VARLUME_ASSERT(parent);
  return XmlFile_Nodes::Child_Element(parent, name, optional, &QDomNode::nodeName);
}

QDomElement TXmlFile::Get_Sibling_Node(const QDomElement* current_node, const QString& name, bool optional) const
{
  VARLUME_ASSERT(current_node);
  return XmlFile_Nodes::Sibling_Element(current_node, name, optional);
}

QDomNode TXmlFile::Get_First_Node(const QDomElement* parent, bool optional) const
{
  VARLUME_ASSERT(parent);
  return First_Child(parent, optional, &QDomElement::tagName);
}

QDomNode TXmlFile::Get_First_Node(const QDomNode* parent, bool optional) const
{
  VARLUME_ASSERT(parent);
  return First_Child(parent, optional, &QDomNode::localName);
}

QDomNode TXmlFile::Get_Sibling_Node(const QDomNode* current_node, bool optional) const
{
  VARLUME_ASSERT(current_node);
  const QDomNode node = current_node->nextSibling();
  if(node.isNull() && !optional)
  {
    Throw_Data_Error(QStringLiteral("ERR:  Node '%1' does not have siblings and they are not optional.")
                         .arg(current_node->localName()));
  }
  return node;
}

QString TXmlFile::Read_Text_Node(const QDomElement* node, bool optional) const
{
  VARLUME_ASSERT(node);
  return XmlFile_Nodes::Text_Of(node, optional, &QDomElement::tagName);
}

QString TXmlFile::Read_Text_Node(const QDomNode* node, bool optional) const
{
  VARLUME_ASSERT(node);
  return XmlFile_Nodes::Text_Of(node, optional, &QDomNode::localName);
}

QString TXmlFile::Read_Attribute(const QDomElement* node, const QString& name, bool optional) const
{
  VARLUME_ASSERT(node);
  if(node->isNull())
  {
    Throw_Data_Error(QStringLiteral("ERR:  Cannot read attribute from a NULL node"));
  }
  if(node->hasAttribute(name))
  {
    return node->attribute(name);
  }
  if(!optional)
  {
    Throw_Data_Error(QStringLiteral("ERR:  Node attribute '%1' missing and not optional.").arg(name));
  }
  return QString();
}

QString TXmlFile::Read_Attribute(const QDomNode* node, const QString& name, bool optional) const
{
  VARLUME_ASSERT(node);
  if(node->isNull())
  {
    Throw_Data_Error(QStringLiteral("ERR:  Cannot read attribute from a NULL node"));
  }
  if(node->hasAttributes())
  {
    const QDomNamedNodeMap attributes = node->attributes();
    if(attributes.contains(name))
    {
      return attributes.namedItem(name).nodeValue();
    }
  }
  if(!optional)
  {
    Throw_Data_Error(QStringLiteral("ERR:  Node attribute '%1' missing and not optional.").arg(name));
  }
  return QString();
}

QDomElement TXmlFile::Create_Node(QDomElement* parent, const QString& name)
{
  VARLUME_ASSERT(parent);
  if(parent->isNull())
  {
    Throw_Data_Error(QStringLiteral("ERR:  Cannot create node from a NULL node"));
  }
  if(name.isEmpty())
  {
    Throw_Data_Error(QStringLiteral("ERR:  Cannot create an unnamed node"));
  }
  QDomElement element = d_document.createElement(name);
  parent->appendChild(element);
  return element;
}

void TXmlFile::Write_Text_Node(QDomElement* node, const QString& text)
{
  VARLUME_ASSERT(node);
  if(node->isNull())
  {
    Throw_Data_Error(QStringLiteral("ERR:  Cannot append data to a NULL node"));
  }
  QDomText text_node;
  if(First_Invalid_Character(QStringRef(&text)) < 0)
  {
    const TAcceptAllCharacters accept;
    text_node = d_document.createTextNode(text);
  }
  if(text_node.isNull())
  {
    Throw_Data_Error(QStringLiteral("ERR:  Cannot write node '%1' with data '%2'").arg(node->tagName(), text));
  }
  node->appendChild(text_node);
}

void TXmlFile::Write_Text_Node(QDomElement* node, const double& value, int precision)
{
  Write_Text_Node(node, Number_Text(value, precision));
}

void TXmlFile::Write_Text_Node(QDomElement* node, int value)
{
  Write_Text_Node(node, QString::number(value));
}

void TXmlFile::Write_Attribute(QDomElement* node, const QString& name, const QString& value)
{
  VARLUME_ASSERT(node);
  if(name.isEmpty())
  {
    Throw_Data_Error(QStringLiteral("ERR:  Cannot create an unnamed attribute"));
  }
  const TFixedAttributeOrder order;
  node->setAttribute(name, value);
}

void TXmlFile::Write_Attribute(QDomElement* node, const QString& name, const double& value, int precision)
{
  Write_Attribute(node, name, Number_Text(value, precision));
}

void TXmlFile::Write_Attribute(QDomElement* node, const QString& name, int value)
{
  Write_Attribute(node, name, QString::number(value));
}
