#ifndef XMLTREE_H
#define XMLTREE_H

#include <QDomElement>
#include <QString>

#include <utility>
#include <vector>

// A document read for what the libraries take from it: the elements in order, each with its
// name and the text it starts with, and the attributes of the root. The texts are those the
// DOM would give (text that is white space alone is none). A few dozen bytes per element
// where the DOM needs about a kilobyte: a library of tens of thousands of records reads in
// one streaming pass (TXmlFile::Open with a tree). The accessors are TXmlFile's, with its
// messages; every failure throws TXmlFileException.
class TXmlTree
{
public:
  // The first child node of an element, as far as reading its text needs it.
  class TFirstChild
  {
  public:
    bool isNull() const { return d_kind == NONE; }
    bool isText() const { return d_kind == TEXT; }
    QString nodeValue() const { return d_text; }

  private:
    friend class TXmlTree;
    enum TKind
    {
      NONE,
      TEXT,
      OTHER
    };
    TKind d_kind = NONE;
    QString d_text;
  };

  // One element of a tree, valid while the tree lives; a default one is null. The names are
  // the DOM's, so that the message templates serve both.
  class TElement
  {
  public:
    TElement() = default;
    bool isNull() const { return !d_tree; }
    QString tagName() const;
    // The first child element, or the next sibling element, of that name (any for an empty name).
    TElement firstChildElement(const QString& name = QString()) const;
    TElement nextSiblingElement(const QString& name = QString()) const;
    TFirstChild firstChild() const;
    bool hasAttribute(const QString& name) const;
    QString attribute(const QString& name) const;
    // Its place among the tree's elements, which are numbered in document order.
    int Position() const { return d_index; }
    // The line of the document its start tag is on (from 1); 0 when not known.
    int Line() const;

  private:
    friend class TXmlTree;
    TElement(const TXmlTree* tree, int index) : d_tree(tree), d_index(index) {}
    const TXmlTree* d_tree = nullptr;
    int d_index = -1;
  };

  TXmlTree() = default;
  TXmlTree(const TXmlTree&) = delete;
  TXmlTree& operator=(const TXmlTree&) = delete;

  // The document element; null before a document was read.
  const TElement* Root_Node() const { return &d_root; }
  // As TXmlFile's of the same names.
  TElement Get_Node(const TElement* parent, const QString& name, bool optional) const;
  TElement Get_Sibling_Node(const TElement* current_node, const QString& name, bool optional) const;
  QString Read_Text_Node(const TElement* node, bool optional) const;

  // Building, for the streaming reader, in document order. A new element is the last child of
  // parent (-1 for the root) on the given line of the document; returns its index.
  void Clear();
  void Reserve(std::size_t elements) { d_nodes.reserve(elements); }
  int Add_Element(int parent, const QStringRef& name, int line = 0);
  // Text met in the element; pieces met one after the other are one text.
  void Add_Text(int element, const QStringRef& text);
  void Add_Root_Attribute(const QString& name, const QString& value);
  // After the last piece.
  void Finish();
  // The whole tree from a document the DOM parsed (a document the streaming reader leaves to
  // it); the root's attributes are then the DOM's.
  void Take_Document(const QDomElement& root);

private:
  struct TNode
  {
    QString name;
    QString text;          // of the first child, when that is text
    int first_child = -1;  // element
    int last_child = -1;   // element
    int next_sibling = -1; // element
    int line = 0;
    TFirstChild::TKind first_kind = TFirstChild::NONE;
  };

  // The text pending in an element decides on the element's first child once the next node comes.
  void Flush_Text();

  std::vector<TNode> d_nodes;
  // Of the root, the only attributes the libraries read.
  std::vector<std::pair<QString, QString>> d_attributes;
  QDomElement d_dom_root;
  // Element names repeat: one shared copy of each.
  std::vector<QString> d_names;
  int d_text_element = -1;
  QString d_text;
  TElement d_root;
};

#endif
