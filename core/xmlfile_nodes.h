#ifndef XMLFILE_NODES_H
#define XMLFILE_NODES_H

// The readers of element, sibling and text with their messages, for the DOM (TXmlFile) and the
// compact tree (TXmlTree) alike; the element and node forms differ only in the name their
// messages give for the node (tag name, node name or local name), which the member pointer
// picks. The callers check the pointer, so that a failed check names them.
#include <QString>

#include "core/xmlfile.h"

namespace XmlFile_Nodes
{
[[noreturn]] inline void Throw_Data_Error(const QString& message)
{
  throw TXmlFileException(message, TXmlFileException::DATA_ERROR);
}

template <class TNode>
auto Child_Element(const TNode* parent, const QString& name, bool optional, QString (TNode::*parent_name)() const)
{
  if(parent->isNull())
  {
    Throw_Data_Error(QStringLiteral("ERR:  Cannot get child from a NULL node"));
  }
  const auto element = parent->firstChildElement(name);
  if(element.isNull() && !optional)
  {
    Throw_Data_Error(QStringLiteral("ERR:  Node '%1' is missing from node '%2' and not optional.")
                         .arg(name, (parent->*parent_name)()));
  }
  return element;
}

template <class TElement> TElement Sibling_Element(const TElement* current_node, const QString& name, bool optional)
{
  if(current_node->isNull())
  {
    Throw_Data_Error(QStringLiteral("ERR:  Cannot get sibling from a NULL node"));
  }
  const TElement element = current_node->nextSiblingElement(name);
  if(element.isNull() && !optional)
  {
    Throw_Data_Error(QStringLiteral("ERR:  Node '%1' is missing from node '%2' and not optional.")
                         .arg(name, current_node->tagName()));
  }
  return element;
}

template <class TNode> QString Text_Of(const TNode* node, bool optional, QString (TNode::*node_name)() const)
{
  if(node->isNull())
  {
    Throw_Data_Error(QStringLiteral("ERR:  Cannot read data from a NULL node"));
  }
  const auto child = node->firstChild();
  if(!child.isNull() && child.isText())
  {
    return child.nodeValue();
  }
  if(!optional)
  {
    Throw_Data_Error(QStringLiteral("ERR:  Node Text for '%1' is not optional.").arg((node->*node_name)()));
  }
  return QString();
}
} // namespace XmlFile_Nodes

#endif
