#include <QtTest>

#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/xmlfile.h"
#include "core/xmltree.h"
#include "core/xmlwriter.h"
#include "tests/test_support.h"

namespace
{
using Test_Support::Read;
using Test_Support::Write;
const QByteArray DECLARATION = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";

// Runs the call and returns the exception it throws; an empty message when it throws nothing.
template <typename TCall> TXmlFileException Thrown(TCall call)
{
  try
  {
    call();
  }
  catch(const TXmlFileException& exception)
  {
    return exception;
  }
  return TXmlFileException(QString(), TXmlFileException::FILE_ACCESS_ERROR);
}

// The elements, first texts and version of a document as the reader in xml gives them: the
// DOM (TXmlFile) and the compact tree (TXmlTree) must read every document alike.
template <class TXml, class TElement> QString Dump(const TXml& xml, const TElement& element)
{
  QString text = element.tagName() + QLatin1Char('[') + xml.Read_Text_Node(&element, true) + QLatin1Char(']');
  TElement child = xml.Get_Node(&element, QString(), true);
  if(child.isNull())
  {
    return text;
  }
  text += QLatin1Char('(');
  for(; !child.isNull(); child = xml.Get_Sibling_Node(&child, QString(), true))
  {
    text += Dump(xml, child) + QLatin1Char(' ');
  }
  return text + QLatin1Char(')');
}

template <class TXml> QString Dump_Document(const TXml& xml)
{
  const auto* root = xml.Root_Node();
  return QStringLiteral("%1 version %2 %3")
      .arg(root->hasAttribute(QStringLiteral("File_Version")) ? 1 : 0)
      .arg(root->attribute(QStringLiteral("File_Version")), Dump(xml, *root));
}

// A record with nested elements, empty ones, a text and numbers, in either writer.
template <class TXml> void Build_Record(TXml* xml, const QString& text)
{
  auto* root = xml->Root_Node();
  for(int record = 0; record < 2; ++record)
  {
    auto item = xml->Create_Node(root, QStringLiteral("Item"));
    auto node = xml->Create_Node(&item, QStringLiteral("Name"));
    xml->Write_Text_Node(&node, text);
    auto empty = xml->Create_Node(&item, QStringLiteral("Empty"));
    auto inner = xml->Create_Node(&empty, QStringLiteral("Inner"));
    xml->Write_Text_Node(&inner, QString());
    node = xml->Create_Node(&item, QStringLiteral("Number"));
    xml->Write_Text_Node(&node, -1.23456, 4);
    node = xml->Create_Node(&item, QStringLiteral("Count"));
    xml->Write_Text_Node(&node, 42);
    // Back to the record after the nested ones.
    node = xml->Create_Node(&item, QStringLiteral("Last"));
  }
}

// A small document with two levels below the root.
void Build(TXmlFile* xml)
{
  xml->Reset(QStringLiteral("Root"), 3);
  QDomElement item = xml->Create_Node(xml->Root_Node(), QStringLiteral("Item"));
  QDomElement name = xml->Create_Node(&item, QStringLiteral("Name"));
  xml->Write_Text_Node(&name, QStringLiteral("a < b & c"));
  QDomElement value = xml->Create_Node(&item, QStringLiteral("Value"));
  xml->Write_Text_Node(&value, 2.5, 4);
  xml->Create_Node(&item, QStringLiteral("Empty"));
}

const QByteArray BUILT_INDENTED = DECLARATION + "<Root File_Version=\"3\">\n"
                                                "    <Item>\n"
                                                "        <Name>a &lt; b &amp; c</Name>\n"
                                                "        <Value>2.5000</Value>\n"
                                                "        <Empty/>\n"
                                                "    </Item>\n"
                                                "</Root>\n";

const QByteArray BUILT_COMPACT = "<?xml version=\"1.0\" encoding=\"utf-8\"?><Root File_Version=\"3\"><Item>"
                                 "<Name>a &lt; b &amp; c</Name><Value>2.5000</Value><Empty/></Item></Root>";
} // namespace

class TTestXmlFile : public QObject
{
  Q_OBJECT

private slots:
  void Open_Failures_data()
  {
    QTest::addColumn<QByteArray>("content"); // empty: no file at all
    QTest::addColumn<bool>("want_version");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("message"); // %1 stands for the file name

    QTest::newRow("missing file") << QByteArray() << true << int(TXmlFileException::FILE_ACCESS_ERROR)
                                  << QStringLiteral("ERR:  Cannot open file '%1' for reading.");
    QTest::newRow("other root") << QByteArray(DECLARATION + "<Machines File_Version=\"2\"/>") << true
                                << int(TXmlFileException::DATA_ERROR)
                                << QStringLiteral("ERR:  Identification 'Measurements' does not match 'Machines'");
    QTest::newRow("no version") << QByteArray(DECLARATION + "<Measurements/>") << true
                                << int(TXmlFileException::DATA_ERROR)
                                << QStringLiteral("ERR:  The 'File_Version' attribute is missing.");
    QTest::newRow("no version, none asked") << QByteArray(DECLARATION + "<Measurements/>") << false << -1 << QString();
  }

  void Open_Failures()
  {
    QFETCH(QByteArray, content);
    QFETCH(bool, want_version);
    QFETCH(int, type);
    QFETCH(QString, message);

    QTemporaryDir tmp;
    const QString path = QDir(tmp.path()).filePath(QStringLiteral("library.xml"));
    if(!content.isEmpty())
    {
      QVERIFY(Write(path, content));
    }
    TXmlFile xml;
    xml.Set_File_Name(path);
    int version = -7;
    const TXmlFileException exception =
        Thrown([&] { xml.Open(QStringLiteral("Measurements"), want_version ? &version : nullptr, true); });
    QCOMPARE(exception.Message(), message.contains(QLatin1String("%1")) ? message.arg(path) : message);
    if(type >= 0)
    {
      QCOMPARE(int(exception.Type()), type);
    }
  }

  // A document that is not well-formed is reported with the DOM parser's line, column and
  // reason, from a file and from memory alike.
  void Parse_Errors_data()
  {
    QTest::addColumn<bool>("from_file");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message"); // after "ERR:  Reference file " or "... data "

    QTest::newRow("tag mismatch") << true << QByteArray(DECLARATION + "<Root File_Version=\"1\">\n  <A></B>\n</Root>\n")
                                  << "XML parse error at line 3 column 9: tag mismatch";
    QTest::newRow("cut short") << false << QByteArray("<Root>")
                               << "XML parse error at line 1 column 7: unexpected end of file";
    QTest::newRow("empty file") << true << QByteArray() << "XML parse error at line 1 column 1: unexpected end of file";
    QTest::newRow("not XML") << false << QByteArray("not xml")
                             << "XML parse error at line 1 column 1: error occurred while parsing element";
    QTest::newRow("second root") << true << QByteArray("<Root></Root><Extra/>")
                                 << "XML parse error at line 1 column 15: unexpected character";
    QTest::newRow("unescaped <") << false << QByteArray("<Root>\n<A>1 < 2</A></Root>")
                                 << "XML parse error at line 2 column 7: error occurred while parsing element";
    // Where the DOM would accept what the streaming reader does not, the latter's finding stands.
    QTest::newRow("undeclared entity") << false << QByteArray("<Root>&foo;</Root>")
                                       << "XML parse error at line 1 column 11: Entity 'foo' not declared.";
  }

  void Parse_Errors()
  {
    QFETCH(bool, from_file);
    QFETCH(QByteArray, content);
    QFETCH(QString, message);

    QTemporaryDir tmp;
    const QString path = QDir(tmp.path()).filePath(QStringLiteral("broken.xml"));
    QVERIFY(Write(path, content));
    TXmlFile xml;
    xml.Set_File_Name(path);
    const TXmlFileException exception = Thrown(
        [&]
        {
          if(from_file)
          {
            xml.Open(QStringLiteral("Root"), nullptr, true);
          }
          else
          {
            xml.Open_Data(content, QStringLiteral("Root"), nullptr, true);
          }
        });
    QCOMPARE(exception.Message(), QStringLiteral("ERR:  Reference %1 ").arg(from_file ? "file" : "data") + message);
    QCOMPARE(exception.Type(), TXmlFileException::DATA_ERROR);
  }

  void Version_Attribute_data()
  {
    Test_Support::Add_Rows<QString, int>({"text", "version"},
                                         {{"number", "2", 2}, {"not a number", "two", 0}, {"large", "99", 99}});
  }

  void Version_Attribute()
  {
    QFETCH(QString, text);
    QFETCH(int, version);
    TXmlFile xml;
    int read = -1;
    xml.Open_Data(QStringLiteral("<Machines File_Version=\"%1\"/>").arg(text).toUtf8(), QStringLiteral("Machines"),
                  &read, true);
    QCOMPARE(read, version);
    QCOMPARE(xml.Root_Node()->tagName(), QStringLiteral("Machines"));
  }

  // Documents that would crash, exhaust memory or stall the DOM parser are refused quickly.
  void Hostile_Documents_data()
  {
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("reason");

    QByteArray laughs = DECLARATION + "<!DOCTYPE Machines [<!ENTITY a0 \"lol\">";
    for(int i = 1; i < 10; ++i)
    {
      laughs += QStringLiteral("<!ENTITY a%1 \"&a%2;&a%2;&a%2;&a%2;&a%2;&a%2;&a%2;&a%2;&a%2;&a%2;\">")
                    .arg(i)
                    .arg(i - 1)
                    .toLatin1();
    }
    laughs += "]><Machines File_Version=\"2\">&a9;</Machines>";
    QTest::newRow("billion laughs") << laughs << "a document type definition is not accepted";

    QByteArray quadratic = DECLARATION + "<!DOCTYPE Machines [<!ENTITY a \"" + QByteArray(4000, 'a') +
                           "\">]><Machines File_Version=\"2\">";
    quadratic += QByteArray("&a;").repeated(200000) + "</Machines>";
    QTest::newRow("quadratic blow-up") << quadratic << "a document type definition is not accepted";

    QTest::newRow("plain doctype") << QByteArray(DECLARATION + "<!DOCTYPE Machines><Machines File_Version=\"2\"/>")
                                   << "a document type definition is not accepted";

    const QByteArray deep = "<Machines File_Version=\"2\">" + QByteArray("<a>").repeated(200000);
    QTest::newRow("deep nesting") << deep << "elements are nested deeper than 32 levels";
    // The DOM accepts an undeclared entity and would go on into the unchecked nesting.
    QTest::newRow("deep nesting after an error")
        << QByteArray("<Machines File_Version=\"2\">&x;" + deep) << "line 1 column 30: Entity 'x' not declared.";
    QTest::newRow("document type after an error")
        << QByteArray("<?xml version=\"1.0\" encoding=\"utf-9\"?>" + laughs.mid(DECLARATION.size()))
        << "Encoding utf-9 is unsupported";

    QByteArray attributes = "<Machines File_Version=\"2\"><a";
    for(int i = 0; i < 300; ++i)
    {
      attributes += " a" + QByteArray::number(i) + "=\"\"";
    }
    QTest::newRow("many attributes") << QByteArray(attributes + "/></Machines>") << "more than 256 attributes";

    QByteArray huge_tag = "<Machines File_Version=\"2\"><a";
    for(int i = 0; i < 60000; ++i)
    {
      huge_tag += " a" + QByteArray::number(i) + "=\"\"";
    }
    QTest::newRow("huge tag") << QByteArray(huge_tag + "/></Machines>") << "longer than 65536 bytes";

    QTest::newRow("many nodes") << QByteArray("<Machines File_Version=\"2\">" + QByteArray("<a/>").repeated(2100000) +
                                              "</Machines>")
                                << "more than 2000000 nodes";

    QTest::newRow("invalid UTF-8") << QByteArray(DECLARATION + "<Machines File_Version=\"2\">\xc3\x28</Machines>")
                                   << "Encountered incorrectly encoded content.";
    QTest::newRow("invalid UTF-8 on a later line")
        << QByteArray(DECLARATION + "<Machines File_Version=\"2\">\n<a>\xc4\x8d</a>\n<b>x\xed\xa0\x80</b></Machines>")
        << "line 4 column 5: Encountered incorrectly encoded content.";

    // XML forbids these characters; the DOM's parser kept them and could not write them back.
    QTest::newRow("NUL in text") << QByteArray("<Machines File_Version=\"2\"><a>x\0y</a></Machines>", 46)
                                 << "line 1 column 32: the character U+0000 is not allowed in XML";
    // The streaming reader drops this one silently; the DOM used to crash on it.
    QTest::newRow("NUL after ]]") << QByteArray("<Machines File_Version=\"2\">\n<a>]]\0</a></Machines>", 47)
                                  << "line 2 column 6: the character U+0000 is not allowed in XML";
    QTest::newRow("NUL in UTF-16") << QByteArray("\xff\xfe<\0M\0/\0>\0\0\0", 12)
                                   << "the character U+0000 is not allowed in XML";
    QTest::newRow("control character in text")
        << QByteArray("<Machines File_Version=\"2\"><a>x\x01</a></Machines>") << "line 1 column";
    QTest::newRow("control character in attribute")
        << QByteArray("<Machines File_Version=\"2\" a=\"\x02\"/>") << "line 1 column";
    QTest::newRow("control character in comment")
        << QByteArray("<Machines File_Version=\"2\"><!-- \x1f --></Machines>") << "line 1 column";
    QTest::newRow("U+FFFF") << QByteArray("<Machines File_Version=\"2\"><a>\xef\xbf\xbf</a></Machines>")
                            << "line 1 column";
    QTest::newRow("too large") << QByteArray(TXmlFile::MAXIMUM_SIZE + 1, ' ') << "larger than 67108864 bytes";
  }

  void Hostile_Documents()
  {
    QFETCH(QByteArray, data);
    QFETCH(QString, reason);

    TXmlFile xml;
    int version = 0;
    const TXmlFileException exception =
        Thrown([&] { xml.Open_Data(data, QStringLiteral("Machines"), &version, true); });
    QCOMPARE(exception.Type(), TXmlFileException::DATA_ERROR);
    QVERIFY2(exception.Message().startsWith(QStringLiteral("ERR:  Reference data ")), qPrintable(exception.Message()));
    QVERIFY2(exception.Message().contains(reason), qPrintable(exception.Message()));
  }

  void Hostile_File_Uses_File_Wording()
  {
    QTemporaryDir tmp;
    const QString path = QDir(tmp.path()).filePath(QStringLiteral("deep.xml"));
    QVERIFY(Write(path, "<Machines File_Version=\"2\">" + QByteArray("<a>").repeated(50000)));
    TXmlFile xml;
    xml.Set_File_Name(path);
    const TXmlFileException exception = Thrown([&] { xml.Open(QStringLiteral("Machines"), nullptr, true); });
    QCOMPARE(exception.Type(), TXmlFileException::DATA_ERROR);
    QVERIFY2(exception.Message().startsWith(QStringLiteral("ERR:  Reference file XML refused at line 1 column ")),
             qPrintable(exception.Message()));

    // The file name is taken as it is, a "%1" in it included.
    const QString large = QDir(tmp.path()).filePath(QStringLiteral("50%1 off.xml"));
    QVERIFY(Write(large, QByteArray(TXmlFile::MAXIMUM_SIZE + 1, ' ')));
    xml.Set_File_Name(large);
    QCOMPARE(Thrown([&] { xml.Open(QStringLiteral("Machines"), nullptr, true); }).Message(),
             QStringLiteral("ERR:  Reference file '") + large + QStringLiteral("' is larger than 67108864 bytes"));
  }

  // The file's bytes reach the XML reader as stored: "č" in UTF-16 holds a 0x0D byte.
  void Reads_Stored_Bytes()
  {
    QTemporaryDir tmp;
    const QString path = QDir(tmp.path()).filePath(QStringLiteral("utf16.xml"));
    const QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
                                        "<Machines File_Version=\"2\"><a>\u010d</a></Machines>\r\n");
    QByteArray bytes("\xff\xfe");
    bytes.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    QVERIFY(bytes.contains('\x0d'));
    QVERIFY(Write(path, bytes));
    TXmlFile xml;
    xml.Set_File_Name(path);
    int version = 0;
    xml.Open(QStringLiteral("Machines"), &version, true);
    const QDomElement element = xml.Get_Node(xml.Root_Node(), QStringLiteral("a"), false);
    QCOMPARE(xml.Read_Text_Node(&element, false), QStringLiteral("\u010d"));

    // A FIFO is refused at once instead of blocking the read.
    const QString fifo = QDir(tmp.path()).filePath(QStringLiteral("fifo.xml"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    xml.Set_File_Name(fifo);
    const TXmlFileException exception = Thrown([&] { xml.Open(QStringLiteral("Machines"), &version, true); });
    QCOMPARE(exception.Message(),
             QStringLiteral("ERR:  Cannot open file: '%1'.  Reason: Not a regular file").arg(fifo));
    QCOMPARE(exception.Type(), TXmlFileException::FILE_ACCESS_ERROR);
  }

  void Read_Text_Node_data()
  {
    QTest::addColumn<QByteArray>("element");
    QTest::addColumn<bool>("optional");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("message");

    const QString not_optional = QStringLiteral("ERR:  Node Text for 'Name' is not optional.");
    QTest::newRow("text") << QByteArray("<Name>abc</Name>") << false << "abc" << QString();
    QTest::newRow("text kept as stored") << QByteArray("<Name> a  b </Name>") << false << " a  b " << QString();
    QTest::newRow("escaped") << QByteArray("<Name>AT&amp;T &lt;1&gt;</Name>") << false << "AT&T <1>" << QString();
    QTest::newRow("empty element, required") << QByteArray("<Name/>") << false << QString() << not_optional;
    QTest::newRow("empty element, optional") << QByteArray("<Name/>") << true << "" << QString();
    QTest::newRow("blanks only") << QByteArray("<Name>   </Name>") << false << QString() << not_optional;
    QTest::newRow("comment first") << QByteArray("<Name><!-- c -->abc</Name>") << false << QString() << not_optional;
    QTest::newRow("element first") << QByteArray("<Name><b/>abc</Name>") << true << "" << QString();
  }

  void Read_Text_Node()
  {
    QFETCH(QByteArray, element);
    QFETCH(bool, optional);
    QFETCH(QString, result);
    QFETCH(QString, message);

    TXmlFile xml;
    xml.Open_Data("<Root>" + element + "</Root>", QStringLiteral("Root"), nullptr, true);
    const QDomElement node = xml.Get_Node(xml.Root_Node(), QStringLiteral("Name"), false);
    const QDomNode as_node = node;
    QString read;
    const TXmlFileException exception = Thrown([&] { read = xml.Read_Text_Node(&node, optional); });
    QCOMPARE(exception.Message(), message);
    QCOMPARE(read, result);
    // The node form follows the same rules.
    const TXmlFileException node_exception = Thrown([&] { read = xml.Read_Text_Node(&as_node, optional); });
    QCOMPARE(node_exception.Message(), message);
    QCOMPARE(read, result);
  }

  // The tree reads every document as the DOM does: the plain ones in its own streaming pass,
  // the rarer forms through the DOM's parser; an error is the same message either way.
  void Tree_Reads_As_Dom_data()
  {
    QTest::addColumn<QByteArray>("data");

    const QByteArray root = "<Root File_Version=\"2\">";
    const auto row = [&root](const char* name, const QByteArray& body)
    { QTest::newRow(name) << QByteArray(DECLARATION + root + body + "</Root>\n"); };
    row("indented", "\n    <A>\n        <Name>x</Name>\n        <B/>\n    </A>\n    <A>y</A>\n");
    row("entities merge into one text", "<A>AT&amp;T &lt;1&gt; &quot;q&apos;</A><B> &amp; </B>");
    row("blanks are no text", "<A>   </A><B>\r\n\t</B><C> <D>d</D></C>");
    row("no-break space alone is no text", "<A>\xc2\xa0</A><B>\xe2\x80\xa8 </B><C>\xc2\xa0x</C>");
    row("text kept as stored", "<A> a  b </A><B>x\r\ny</B><C>line\nline</C>");
    row("element before text", "<A><B/>text</A><C>text<D/>more</C>");
    row("text split by a comment", "<A>x<!-- c -->y</A><B><!-- c -->y</B>");
    row("instruction", "<A><?pi data?>x</A><?pi?>");
    row("CDATA", "<A><![CDATA[<x>]]></A><B>a<![CDATA[b]]></B><C><![CDATA[ ]]></C>");
    row("character references", "<A>&#32;</A><B>&#x41;bc</B><C>&#xd;</C><D>a&#10;</D>");
    row("namespaces", "<x:A xmlns:x=\"u\">1</x:A><B xmlns=\"v\"><C>2</C></B><D x:y=\"1\" xmlns:x=\"w\"/>");
    row("attributes elsewhere", "<A k=\"v\">1</A><B k=\"v\" l=\"w\"/>");
    row("characters above U+FFFF", "<A>\xf0\x9f\x98\x80</A>");
    row("repeated and unknown names", "<A>1</A><A>2</A><Z>3</Z><A><A>4</A></A>");
    QTest::newRow("no declaration") << QByteArray("<Root File_Version=\"1\"><A>1</A></Root>");
    QTest::newRow("no version") << QByteArray("<Root><A>1</A></Root>");
    QTest::newRow("version with line breaks") << QByteArray("<Root File_Version=\"\n2\t\"/>");
    QTest::newRow("version with a carriage return") << QByteArray("<Root File_Version=\"\r2\"/>");
    QTest::newRow("version blank") << QByteArray("<Root File_Version=\" 2 \"/>");
    QTest::newRow("namespaced version") << QByteArray("<Root x:File_Version=\"2\" xmlns:x=\"u\"/>");
    QTest::newRow("other root") << QByteArray("<Other File_Version=\"1\"/>");
    QTest::newRow("prefixed root") << QByteArray("<x:Root xmlns:x=\"u\" File_Version=\"1\"/>");
    QTest::newRow("Latin-1") << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + root +
                                           "<A>\xe9</A></Root>");
    QTest::newRow("UTF-16") << QByteArray("\xff\xfe<\0R\0o\0o\0t\0>\0x\0<\0/\0R\0o\0o\0t\0>\0", 28);
    QTest::newRow("byte order mark") << QByteArray("\xef\xbb\xbf" + root + "<A>1</A></Root>");
    QTest::newRow("tag mismatch") << QByteArray(root + "<A></B></Root>");
    QTest::newRow("cut short") << QByteArray(root + "<A>");
    QTest::newRow("undeclared entity") << QByteArray(root + "<A>&foo;</A></Root>");
    for(const char* name : {"machines_default.xml", "machines_v1.xml", "machines_v2_expected.xml",
                            "machines_v2_independent.xml", "measurements_expected.xml", "measurements_mixed.xml"})
    {
      QTest::newRow(name) << Read(QStringLiteral(VARLUME_TEST_DATA "/") + QLatin1String(name));
    }
  }

  void Tree_Reads_As_Dom()
  {
    QFETCH(QByteArray, data);
    QVERIFY(!data.isEmpty());
    for(const char* identification : {"Root", "Machines", "Measurements"})
    {
      TXmlFile dom;
      QString dom_dump;
      const TXmlFileException dom_error = Thrown(
          [&]
          {
            int version = 0;
            dom.Open_Data(data, QLatin1String(identification), &version, true);
            dom_dump = Dump_Document(dom);
          });
      TXmlFile file;
      TXmlTree tree;
      QString tree_dump;
      const TXmlFileException tree_error = Thrown(
          [&]
          {
            int version = 0;
            file.Open_Data(data, QLatin1String(identification), &version, true, &tree);
            tree_dump = Dump_Document(tree);
          });
      QCOMPARE(tree_error.Message(), dom_error.Message());
      QCOMPARE(tree_dump, dom_dump);
    }
  }

  // The direct writer gives the bytes of the DOM's compact form, escapes included, and refuses
  // the same texts.
  void Writer_Writes_As_Dom_data()
  {
    QTest::addColumn<QString>("text");
    QTest::newRow("plain") << "Laser X Axis";
    QTest::newRow("empty") << "";
    QTest::newRow("markup") << "a < b & c > d \"q\" 'a' ]]> ]>";
    QTest::newRow("line breaks") << "one\ntwo\r\nthree\rfour\t";
    QTest::newRow("blanks") << "  a  ";
    QTest::newRow("non-ASCII") << QString::fromUtf8("\xc3\xa9 \xe2\x82\xac \xc2\xa0 \xf0\x9f\x98\x80");
    QTest::newRow("not XML") << QString(QChar(0x1));
    QTest::newRow("lone surrogate") << QString(QChar(0xd800));
  }

  void Writer_Writes_As_Dom()
  {
    QFETCH(QString, text);
    QTemporaryDir tmp;
    for(const bool compact : {true, false})
    {
      TXmlFile dom;
      dom.Set_File_Name(QDir(tmp.path()).filePath(QStringLiteral("dom.xml")));
      QByteArray expected;
      const TXmlFileException dom_error = Thrown(
          [&]
          {
            dom.Reset(QStringLiteral("Measurements"), 1);
            Build_Record(&dom, text);
            dom.Write_File(compact);
            expected = Read(dom.File_Name());
          });
      TXmlWriter writer;
      QByteArray written;
      // In pieces of a few bytes, as a library file gets them.
      writer.Stream([&written](const QByteArray& piece) { written += piece; }, 7);
      const TXmlFileException writer_error = Thrown(
          [&]
          {
            writer.Reset(QStringLiteral("Measurements"), 1, compact);
            Build_Record(&writer, text);
            written += writer.Data();
          });
      if(!writer_error.Message().isEmpty())
      {
        written.clear();
      }
      QCOMPARE(writer_error.Message(), dom_error.Message());
      QCOMPARE(written, expected);

      TXmlWriter empty;
      empty.Reset(QStringLiteral("Machines"), 2, compact);
      dom.Reset(QStringLiteral("Machines"), 2);
      dom.Write_File(compact);
      QCOMPARE(empty.Data(), Read(dom.File_Name()));
    }
  }

  void Navigation()
  {
    TXmlFile xml;
    xml.Open_Data("<Root File_Version=\"1\" Kind=\"k\"><A>1</A><!-- note --><B/><A>2</A></Root>",
                  QStringLiteral("Root"), nullptr, true);
    const QDomElement* root = xml.Root_Node();

    const QDomElement first = xml.Get_Node(root, QStringLiteral("A"), false);
    const QDomElement second = xml.Get_Sibling_Node(&first, QStringLiteral("A"), false);
    QCOMPARE(xml.Read_Text_Node(&second, false), QStringLiteral("2"));
    QVERIFY(xml.Get_Sibling_Node(&second, QStringLiteral("A"), true).isNull());
    QCOMPARE(Thrown([&] { xml.Get_Sibling_Node(&second, QStringLiteral("A"), false); }).Message(),
             QStringLiteral("ERR:  Node 'A' is missing from node 'A' and not optional."));

    const QDomElement missing = xml.Get_Node(root, QStringLiteral("C"), true);
    QVERIFY(missing.isNull());
    QCOMPARE(Thrown([&] { xml.Get_Node(root, QStringLiteral("C"), false); }).Message(),
             QStringLiteral("ERR:  Node 'C' is missing from node 'Root' and not optional."));
    QCOMPARE(Thrown([&] { xml.Get_Node(&missing, QStringLiteral("D"), false); }).Message(),
             QStringLiteral("ERR:  Cannot get child from a NULL node"));
    QCOMPARE(Thrown([&] { xml.Get_Sibling_Node(&missing, QStringLiteral("D"), true); }).Message(),
             QStringLiteral("ERR:  Cannot get sibling from a NULL node"));
    QCOMPARE(Thrown([&] { xml.Read_Text_Node(&missing, true); }).Message(),
             QStringLiteral("ERR:  Cannot read data from a NULL node"));
    QCOMPARE(Thrown([&] { xml.Read_Attribute(&missing, QStringLiteral("x"), true); }).Message(),
             QStringLiteral("ERR:  Cannot read attribute from a NULL node"));

    // Nodes of any kind, the comment included.
    const QDomNode text = xml.Get_First_Node(&first, false);
    QVERIFY(text.isText());
    const QDomNode comment = xml.Get_Sibling_Node(static_cast<const QDomNode*>(&first), false);
    QVERIFY(comment.isComment());
    const QDomElement empty = xml.Get_Node(root, QStringLiteral("B"), false);
    QVERIFY(xml.Get_First_Node(&empty, true).isNull());
    QCOMPARE(Thrown([&] { xml.Get_First_Node(&empty, false); }).Message(),
             QStringLiteral("ERR:  Parent 'B' does not have nodes and they are not optional."));
    QCOMPARE(Thrown([&] { xml.Get_Sibling_Node(static_cast<const QDomNode*>(&second), false); }).Message(),
             QStringLiteral("ERR:  Node 'A' does not have siblings and they are not optional."));

    QCOMPARE(xml.Read_Attribute(root, QStringLiteral("Kind"), false), QStringLiteral("k"));
    const QDomNode root_node = *root;
    QCOMPARE(xml.Read_Attribute(&root_node, QStringLiteral("Kind"), false), QStringLiteral("k"));
    QCOMPARE(xml.Read_Attribute(&root_node, QStringLiteral("Other"), true), QString());
    QCOMPARE(Thrown([&] { xml.Read_Attribute(root, QStringLiteral("Other"), false); }).Message(),
             QStringLiteral("ERR:  Node attribute 'Other' missing and not optional."));
  }

  // Characters above U+FFFF are valid XML: they load, write and read back unchanged.
  void Characters_Above_BMP()
  {
    const QString text = QString::fromUtf8("Bridge \xF0\x9F\x94\xA7 \xF0\xA0\x80\x80");
    TXmlFile xml;
    xml.Reset(QStringLiteral("Root"), 1);
    QDomElement node = xml.Create_Node(xml.Root_Node(), QStringLiteral("Name"));
    xml.Write_Text_Node(&node, text);
    QByteArray data;
    xml.Write_Data(&data, false);
    QVERIFY(data.contains(text.toUtf8()));

    TXmlFile reader;
    reader.Open_Data(data, QStringLiteral("Root"), nullptr, true);
    const QDomElement name = reader.Get_Node(reader.Root_Node(), QStringLiteral("Name"), false);
    QCOMPARE(reader.Read_Text_Node(&name, false), text);

    // A lone surrogate is not a character at all.
    QCOMPARE(Thrown([&] { xml.Write_Text_Node(&node, QString(QChar(0xD800))); }).Message(),
             QStringLiteral("ERR:  Cannot write node 'Name' with data '") + QChar(0xD800) + QLatin1Char('\''));
  }

  void Write_Errors()
  {
    TXmlFile xml;
    xml.Reset(QStringLiteral("Root"), 1);
    QDomElement node = xml.Create_Node(xml.Root_Node(), QStringLiteral("Name"));
    QCOMPARE(Thrown([&] { xml.Write_Text_Node(&node, QStringLiteral("a\x01z")); }).Message(),
             QStringLiteral("ERR:  Cannot write node 'Name' with data 'a\x01z'"));
    QCOMPARE(Thrown([&] { xml.Create_Node(&node, QString()); }).Message(),
             QStringLiteral("ERR:  Cannot create an unnamed node"));
    QCOMPARE(Thrown([&] { xml.Write_Attribute(&node, QString(), 1); }).Message(),
             QStringLiteral("ERR:  Cannot create an unnamed attribute"));
    QDomElement null_element;
    QCOMPARE(Thrown([&] { xml.Create_Node(&null_element, QStringLiteral("A")); }).Message(),
             QStringLiteral("ERR:  Cannot create node from a NULL node"));
    QCOMPARE(Thrown([&] { xml.Write_Text_Node(&null_element, 1); }).Message(),
             QStringLiteral("ERR:  Cannot append data to a NULL node"));
  }

  void Layout()
  {
    TXmlFile xml;
    Build(&xml);
    QDomElement* root = xml.Root_Node();
    xml.Write_Attribute(root, QStringLiteral("File_Version"), 3); // replaces, does not add

    QByteArray data("old contents");
    xml.Write_Data(&data, false);
    QCOMPARE(data, BUILT_INDENTED);
    xml.Write_Data(&data, true);
    QCOMPARE(data, BUILT_COMPACT);

    QTemporaryDir tmp;
    const QString path = QDir(tmp.path()).filePath(QStringLiteral("out.xml"));
    xml.Set_File_Name(path);
    xml.Write_File(false);
    QCOMPARE(Read(path), BUILT_INDENTED);
    xml.Write_File(true);
    QCOMPARE(Read(path), BUILT_COMPACT);

    // Compact output drops line breaks inside texts too.
    QDomElement note = xml.Create_Node(root, QStringLiteral("Note"));
    xml.Write_Text_Node(&note, QStringLiteral("one\ntwo"));
    xml.Write_Data(&data, true);
    QVERIFY(data.endsWith("<Note>onetwo</Note></Root>"));

    // What was written reads back.
    TXmlFile reader;
    int version = 0;
    reader.Open_Data(BUILT_INDENTED, QStringLiteral("Root"), &version, true);
    QCOMPARE(version, 3);
  }

  void Numbers()
  {
    TXmlFile xml;
    xml.Reset(QStringLiteral("Root"), 1);
    QDomElement node = xml.Create_Node(xml.Root_Node(), QStringLiteral("N"));
    xml.Write_Text_Node(&node, -75.0, 4);
    xml.Write_Attribute(&node, QStringLiteral("d"), 1.0 / 3.0, 3);
    xml.Write_Attribute(&node, QStringLiteral("i"), -3);
    xml.Write_Attribute(&node, QStringLiteral("s"), QStringLiteral("x\"y"));
    QByteArray data;
    xml.Write_Data(&data, true);
    QVERIFY2(data.contains(">-75.0000</N>"), data.constData());
    // The DOM writes attributes in hash order: compare them one by one.
    TXmlFile reader;
    reader.Open_Data(data, QStringLiteral("Root"), nullptr, true);
    const QDomElement read = reader.Get_Node(reader.Root_Node(), QStringLiteral("N"), false);
    QCOMPARE(reader.Read_Attribute(&read, QStringLiteral("d"), false), QStringLiteral("0.333"));
    QCOMPARE(reader.Read_Attribute(&read, QStringLiteral("i"), false), QStringLiteral("-3"));
    QCOMPARE(reader.Read_Attribute(&read, QStringLiteral("s"), false), QStringLiteral("x\"y"));
  }

  // The same document gives the same bytes whatever the process's hash seed (a new random one
  // for each round).
  void Attribute_Order_Is_Fixed()
  {
    QByteArray first;
    for(int round = 0; round < 8; ++round)
    {
      qSetGlobalQHashSeed(-1);
      TXmlFile xml;
      xml.Reset(QStringLiteral("Root"), 1);
      xml.Write_Attribute(xml.Root_Node(), QStringLiteral("Units"), QStringLiteral("MM"));
      QDomElement node = xml.Create_Node(xml.Root_Node(), QStringLiteral("N"));
      for(const char* name : {"a", "b", "c", "d", "e", "f", "g", "h"})
      {
        xml.Write_Attribute(&node, QLatin1String(name), QLatin1String(name));
      }
      QByteArray data;
      xml.Write_Data(&data, true);
      if(first.isEmpty())
      {
        first = data;
      }
      QCOMPARE(data, first);
    }
  }

  void Document_Type_Reset()
  {
    TXmlFile xml;
    xml.Reset(QStringLiteral("Gauge"), QStringLiteral("Gauge_Data"), 4);
    QByteArray data;
    xml.Write_Data(&data, false);
    QCOMPARE(data, QByteArray("<!DOCTYPE Gauge>\n<Gauge_Data File_Version=\"4\"/>\n"));
  }

  void Write_Failure_Messages_data()
  {
    // target: below a temporary directory
    Test_Support::Add_Text_Rows("target", "reason",
                                {{"no such directory", "missing/out.xml", "No such file or directory"},
                                 {"target is a directory", "directory", "Is a directory"}});
  }

  void Write_Failure_Messages()
  {
    QFETCH(QString, target);
    QFETCH(QString, reason);
    QTemporaryDir tmp;
    QVERIFY(QDir(tmp.path()).mkdir(QStringLiteral("directory")));
    const QString path = QDir(tmp.path()).filePath(target);
    TXmlFile xml;
    Build(&xml);
    xml.Set_File_Name(path);
    const TXmlFileException exception = Thrown([&] { xml.Write_File(false); });
    QCOMPARE(exception.Message(), QStringLiteral("ERR:  Cannot write file '%1'.  Reason: %2").arg(path, reason));
    QCOMPARE(exception.Type(), TXmlFileException::DATA_ERROR);
  }

  // The old file survives every failed write, and the failure is reported.
  void Failed_Writes_Keep_Old_File_data()
  {
    QTest::addColumn<QString>("kind");
    QTest::newRow("target is a directory") << "directory";
    QTest::newRow("read-only directory") << "read-only directory";
    QTest::newRow("read-only file") << "read-only file";
    QTest::newRow("disk full") << "disk full";
  }

  void Failed_Writes_Keep_Old_File()
  {
    QFETCH(QString, kind);
    QTemporaryDir tmp;
    const QString directory = QDir(tmp.path()).filePath(QStringLiteral("data"));
    QVERIFY(QDir().mkpath(directory));
    QString path = QDir(directory).filePath(QStringLiteral("library.xml"));
    const QByteArray old_contents = "old library";
    QVERIFY(Write(path, old_contents));

    TXmlFile xml;
    Build(&xml);
    TXmlFileException::TExceptionType expected = TXmlFileException::DATA_ERROR;
    rlimit old_limit = {};
    if(kind == QLatin1String("directory"))
    {
      path = directory;
    }
    else if(kind == QLatin1String("read-only directory"))
    {
      QFile::setPermissions(directory, QFile::ReadOwner | QFile::ExeOwner);
      if(Write(QDir(directory).filePath(QStringLiteral("probe")), "x"))
      {
        QFile::setPermissions(directory, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QSKIP("permissions are not enforced for this user");
      }
    }
    else if(kind == QLatin1String("read-only file"))
    {
      QFile::setPermissions(path, QFile::ReadOwner);
      if(::access(QFile::encodeName(path).constData(), W_OK) == 0)
      {
        QSKIP("permissions are not enforced for this user");
      }
      expected = TXmlFileException::FILE_ACCESS_ERROR;
    }
    else
    {
      // A file size limit makes the write fail the way a full disk does.
      std::signal(SIGXFSZ, SIG_IGN);
      getrlimit(RLIMIT_FSIZE, &old_limit);
      rlimit limit = old_limit;
      limit.rlim_cur = 64;
      setrlimit(RLIMIT_FSIZE, &limit);
    }

    xml.Set_File_Name(path);
    const TXmlFileException exception = Thrown([&] { xml.Write_File(false); });

    if(kind == QLatin1String("disk full"))
    {
      setrlimit(RLIMIT_FSIZE, &old_limit);
    }
    QFile::setPermissions(directory, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QVERIFY2(exception.Message().startsWith(QStringLiteral("ERR:  Cannot ")), qPrintable(exception.Message()));
    QCOMPARE(exception.Type(), expected);
    const QString library = QDir(directory).filePath(QStringLiteral("library.xml"));
    QCOMPARE(Read(library), old_contents);
    // Nothing but the old file is left behind.
    QCOMPARE(QDir(directory).entryList(QDir::Files), QStringList{QStringLiteral("library.xml")});
  }
};

QTEST_APPLESS_MAIN(TTestXmlFile)
#include "test_xmlfile.moc"
