#include "core/xmltree.h"

#include <QDomNode>

#include <algorithm>

#include "core/varlume_assert.h"
#include "core/xmlfile_nodes.h"

namespace
{
// The DOM's parser drops text that simplifies to nothing: not only XML's white space but any
// character Unicode counts as a space (a no-break space, say).
bool Blank(const QString& text)
{
  return std::all_of(text.begin(), text.end(), [](const QChar c) { return c.isSpace(); });
}
} // namespace

QString TXmlTree::TElement::tagName() const
{
  return d_tree ? d_tree->d_nodes[static_cast<std::size_t>(d_index)].name : QString();
}

TXmlTree::TElement TXmlTree::TElement::firstChildElement(const QString& name) const
{
  if(!d_tree)
  {
    return TElement();
  }
  for(int child = d_tree->d_nodes[static_cast<std::size_t>(d_index)].first_child; child >= 0;
      child = d_tree->d_nodes[static_cast<std::size_t>(child)].next_sibling)
  {
    if(name.isEmpty() || d_tree->d_nodes[static_cast<std::size_t>(child)].name == name)
    {
      return TElement(d_tree, child);
    }
  }
  return TElement();
}

TXmlTree::TElement TXmlTree::TElement::nextSiblingElement(const QString& name) const
{
  if(!d_tree)
  {
    return TElement();
  }
  for(int sibling = d_tree->d_nodes[static_cast<std::size_t>(d_index)].next_sibling; sibling >= 0;
      sibling = d_tree->d_nodes[static_cast<std::size_t>(sibling)].next_sibling)
  {
    if(name.isEmpty() || d_tree->d_nodes[static_cast<std::size_t>(sibling)].name == name)
    {
      return TElement(d_tree, sibling);
    }
  }
  return TElement();
}

int TXmlTree::TElement::Line() const
{
  return d_tree ? d_tree->d_nodes[static_cast<std::size_t>(d_index)].line : 0;
}

TXmlTree::TFirstChild TXmlTree::TElement::firstChild() const
{
  TFirstChild child;
  if(d_tree)
  {
    const TNode& node = d_tree->d_nodes[static_cast<std::size_t>(d_index)];
    child.d_kind = node.first_kind;
    child.d_text = node.text;
  }
  return child;
}

bool TXmlTree::TElement::hasAttribute(const QString& name) const
{
  if(!d_tree || d_index != 0)
  {
    return false;
  }
  if(!d_tree->d_dom_root.isNull())
  {
    return d_tree->d_dom_root.hasAttribute(name);
  }
  return std::any_of(d_tree->d_attributes.begin(), d_tree->d_attributes.end(),
                     [&name](const std::pair<QString, QString>& attribute) { return attribute.first == name; });
}

QString TXmlTree::TElement::attribute(const QString& name) const
{
  if(!d_tree || d_index != 0)
  {
    return QString();
  }
  if(!d_tree->d_dom_root.isNull())
  {
    return d_tree->d_dom_root.attribute(name);
  }
  for(const std::pair<QString, QString>& attribute : d_tree->d_attributes)
  {
    if(attribute.first == name)
    {
      return attribute.second;
    }
  }
  return QString();
}

TXmlTree::TElement TXmlTree::Get_Node(const TElement* parent, const QString& name, bool optional) const
{
  VARLUME_ASSERT(parent);
  return XmlFile_Nodes::Child_Element(parent, name, optional, &TElement::tagName);
}

TXmlTree::TElement TXmlTree::Get_Sibling_Node(const TElement* current_node, const QString& name, bool optional) const
{
  VARLUME_ASSERT(current_node);
  return XmlFile_Nodes::Sibling_Element(current_node, name, optional);
}

QString TXmlTree::Read_Text_Node(const TElement* node, bool optional) const
{
  VARLUME_ASSERT(node);
  return XmlFile_Nodes::Text_Of(node, optional, &TElement::tagName);
}

void TXmlTree::Clear()
{
  d_nodes.clear();
  d_attributes.clear();
  d_dom_root = QDomElement();
  d_names.clear();
  d_text_element = -1;
  d_text.clear();
  d_root = TElement();
}

void TXmlTree::Flush_Text()
{
  if(d_text_element < 0)
  {
    return;
  }
  TNode& node = d_nodes[static_cast<std::size_t>(d_text_element)];
  if(node.first_kind == TFirstChild::NONE && !Blank(d_text))
  {
    node.first_kind = TFirstChild::TEXT;
    node.text = d_text;
  }
  d_text_element = -1;
  d_text.clear();
}

int TXmlTree::Add_Element(int parent, const QStringRef& name, int line)
{
  Flush_Text();
  const int index = static_cast<int>(d_nodes.size());
  d_nodes.emplace_back();
  d_nodes.back().line = line;
  // A document uses a few dozen names: a look along them beats a hash of each.
  auto known = std::find_if(d_names.rbegin(), d_names.rend(), [&name](const QString& known) { return known == name; });
  if(known == d_names.rend())
  {
    d_names.push_back(name.toString());
    known = d_names.rbegin();
  }
  d_nodes.back().name = *known;
  if(parent < 0)
  {
    d_root = TElement(this, index);
    return index;
  }
  TNode& parent_node = d_nodes[static_cast<std::size_t>(parent)];
  if(parent_node.first_kind == TFirstChild::NONE)
  {
    parent_node.first_kind = TFirstChild::OTHER;
  }
  if(parent_node.last_child < 0)
  {
    parent_node.first_child = index;
  }
  else
  {
    d_nodes[static_cast<std::size_t>(parent_node.last_child)].next_sibling = index;
  }
  parent_node.last_child = index;
  return index;
}

void TXmlTree::Add_Text(int element, const QStringRef& text)
{
  if(element != d_text_element)
  {
    Flush_Text();
    d_text_element = element;
  }
  d_text.append(text);
}

void TXmlTree::Add_Root_Attribute(const QString& name, const QString& value)
{
  d_attributes.emplace_back(name, value);
}

void TXmlTree::Finish()
{
  Flush_Text();
}

void TXmlTree::Take_Document(const QDomElement& root)
{
  Clear();
  d_dom_root = root;
  // Depth first, without recursion: each element's children are listed before the next element.
  std::vector<std::pair<QDomElement, int>> pending = {{root, -1}};
  while(!pending.empty())
  {
    const QDomElement element = pending.back().first;
    const int parent = pending.back().second;
    pending.pop_back();
    const QString name = element.tagName();
    const int index = Add_Element(parent, QStringRef(&name), element.lineNumber());
    const QDomNode first = element.firstChild();
    TNode& node = d_nodes[static_cast<std::size_t>(index)];
    node.first_kind = first.isNull() ? TFirstChild::NONE : (first.isText() ? TFirstChild::TEXT : TFirstChild::OTHER);
    if(first.isText())
    {
      node.text = first.nodeValue();
    }
    std::vector<QDomElement> children;
    for(QDomElement child = element.firstChildElement(); !child.isNull(); child = child.nextSiblingElement())
    {
      children.push_back(child);
    }
    for(auto child = children.rbegin(); child != children.rend(); ++child)
    {
      pending.emplace_back(*child, index);
    }
  }
}
