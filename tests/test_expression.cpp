#include <QtTest>

#include <cmath>
#include <cstring>
#include <limits>

#include "core/expression.h"
#include "tests/test_support.h"

namespace
{
const double Infinity = std::numeric_limits<double>::infinity();

// "XMin=10;X=1": added in that order.
TExpression With_Variables(const QString& variables)
{
  TExpression expression;
  for(const QString& item : variables.split(';', Qt::SkipEmptyParts))
  {
    const int equals = item.lastIndexOf('=');
    expression.Add_Variable(item.left(equals), item.mid(equals + 1).toDouble());
  }
  return expression;
}

// Bit for bit, so that -0 differs from 0 and NaN equals NaN.
bool Same(double a, double b)
{
  return std::memcmp(&a, &b, sizeof(double)) == 0 || (std::isnan(a) && std::isnan(b));
}
} // namespace

class TTestExpression : public QObject
{
  Q_OBJECT

private slots:
  void Evaluate_Valid_data()
  {
    const Test_Support::TRows<QString, double> rows = {
        {"precedence", "2+3*4", 14.0},
        {"left grouping", "10-2*3+1", 5.0},
        {"left grouping minus", "1-2*3-4", -9.0},
        {"left grouping divide", "8/2/2", 2.0},
        {"power groups right", "2^3^2", 512.0},
        {"power before product", "2*3^2", 18.0},
        {"group", "(1+2)*3", 9.0},
        {"nested groups", "((1))", 1.0},
        {"group after operator", "2*(3)", 6.0},
        {"negative group", "2*(-3)", -6.0},
        {"leading minus number", "-5+2", -3.0},
        {"leading minus is part of the number", "-2^2", 4.0},
        {"leading plus", "+5", 5.0},
        {"leading minus group", "-(2)", -2.0},
        {"leading plus group", "+(2)", 2.0},
        {"leading minus function", "-SQRT(4)", -2.0},
        {"white space and case", " sqrt ( 1\t6 )\n", 4.0},
        {"sqrt", "sqrt(16)", 4.0},
        {"sqrt of group", "SQRT((1+3)*4)", 4.0},
        {"sumsq", "SUMSQ(3,4)", 5.0},
        {"sumsq one part", "SUMSQ(-3)", 3.0},
        {"sumsq group part", "SUMSQ(3,(4))", 5.0},
        {"sumsq three parts", "SUMSQ(2,3,6)*2", 14.0},
        {"function in function", "SQRT(SUMSQ(3,4)+4)", 3.0},
        {"decimals", "0.1+0.2", 0.1 + 0.2},
        {"bare fraction", "-.5", -0.5},
        {"bare point", "1.*2", 2.0},
        {"leading zeros", "007.50", 7.5},
        {"long mantissa", "0.12345678901234567890", 0.12345678901234567890},
        {"division by zero", "1/0", Infinity},
        {"negative zero", "1/(-0)", -Infinity},
        {"long sign", QString::fromUtf8("\u017Fqrt(4)"), 2.0}, // upper case of long s is S
    };
    Test_Support::Add_Rows({"text", "value"}, rows);
  }

  void Evaluate_Valid()
  {
    QFETCH(QString, text);
    QFETCH(double, value);
    bool ok = false;
    const double result = TExpression().Evaluate(text, &ok);
    QVERIFY(ok);
    QVERIFY2(Same(result, value), qPrintable(QString::number(result, 'g', 17)));
  }

  void Evaluate_Invalid_data()
  {
    QTest::addColumn<QString>("text");

    const char* texts[] = {"", " \t", "5+", "*5", "-", ")", "(1+2", "1+2)", "()", "ABC", "1E5", "2,5", "1.2.3", ".",
                           "2*-3", "1/-0", "3^-1", "--1", "*(2)", "^(2)", "SUMSQ(3,,4)", "SUMSQ()", "SQRT()", "SQRT(4",
                           "SQRT4", "SUMSQ(SUMSQ(3,4),0)", "SQRT(1,2)", "PI",
                           // Juxtaposition has no reading: a number or group next to a group.
                           "2(3)", "(2)3", "(1)(2)", "SQRT(4)(2)", "2SQRT(4)", "SQRT(4)2", "-2(3)", "(2).5",
                           // Overflow and underflow of a number text are conversion failures.
                           "1000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
                           "0000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
                           "0000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
                           "0000000000000000000000000000000000000000000000000000000000000000000000000000000000000"};
    for(const char* text : texts)
    {
      QTest::newRow(text) << QString::fromUtf8(text);
    }
    QTest::newRow("underflow") << "0." + QString(400, '0') + "1";
    QTest::newRow("sharp s") << QString::fromUtf8("\u00DF");
    QTest::newRow("unpaired surrogate") << QString(QChar(0xD800)) + "1";
  }

  void Evaluate_Invalid()
  {
    QFETCH(QString, text);
    bool ok = true;
    QCOMPARE(TExpression().Evaluate(text, &ok), 0.0);
    QVERIFY(!ok);
  }

  void Not_A_Number_Is_Valid()
  {
    bool ok = false;
    QVERIFY(std::isnan(TExpression().Evaluate("SQRT(-1)", &ok)));
    QVERIFY(ok);
    QVERIFY(std::isnan(TExpression().Evaluate("0/0", &ok)));
    QVERIFY(ok);
    QCOMPARE(TExpression().Evaluate("2+3", nullptr), 5.0);
  }

  void Variables_data()
  {
    QTest::addColumn<QString>("variables");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("valid");

    QTest::newRow("negative in parentheses") << "X=-5"
                                             << "X*2" << -10.0 << true;
    QTest::newRow("negated negative") << "X=-5"
                                      << "-X" << 5.0 << true;
    QTest::newRow("minus negative") << "X=-5"
                                    << "2-X" << 7.0 << true;
    QTest::newRow("negative power") << "X=-2"
                                    << "X^2" << 4.0 << true;
    QTest::newRow("longest first") << "XMin=10;X=1"
                                   << "XMIN-X" << 9.0 << true;
    QTest::newRow("longest first, other order") << "X=1;XMin=10"
                                                << "XMIN-X" << 9.0 << true;
    QTest::newRow("any case") << "XMin=10"
                              << "xmin+XMin" << 20.0 << true;
    QTest::newRow("whole words only") << "XMin=10"
                                      << "XMIN2" << 0.0 << false;
    QTest::newRow("underscore is a word character") << "X=1"
                                                    << "X_+1" << 0.0 << false;
    QTest::newRow("digit in name") << "P2=3"
                                   << "P2*2" << 6.0 << true;
    QTest::newRow("undefined") << "X=1"
                               << "Y" << 0.0 << false;
    QTest::newRow("juxtaposed variable") << "X=1"
                                         << "(2)X" << 0.0 << false;
    QTest::newRow("sixteen decimals") << "T=0.12345678901234567"
                                      << "T" << 0.1234567890123457 << true;
    QTest::newRow("rounded to sixteen decimals") << "T=1.23456789e-10"
                                                 << "T" << 1.234568e-10 << true;
    QTest::newRow("smallest decimal") << "T=1.4e-16"
                                      << "T" << 1e-16 << true;
    QTest::newRow("no exponent") << "T=1e20"
                                 << "T" << 1e20 << true;
    QTest::newRow("tiny is zero") << "T=1e-20"
                                  << "1/T" << Infinity << true;
    QTest::newRow("tiny negative is negative zero") << "T=-1e-20"
                                                    << "1/T" << -Infinity << true;
    QTest::newRow("negative zero is zero") << "T=-0"
                                           << "1/T" << Infinity << true;
    QTest::newRow("not a number") << "T=nan"
                                  << "T" << 0.0 << false;
    QTest::newRow("infinite") << "T=-inf"
                              << "T" << 0.0 << false;
    QTest::newRow("in sumsq") << "A=3;B=-4"
                              << "SUMSQ(A,B)" << 5.0 << true;
    // Names are substituted in turn: a digit name may match inside an earlier value's text.
    QTest::newRow("digit name") << "2=5"
                                << "2+2" << 10.0 << true;
    QTest::newRow("digit name inside a value") << "ABC=10;10=5"
                                               << "ABC" << 0.0 << false;
    // Names are not escaped: "X.Y" is a pattern and matches XAY.
    QTest::newRow("pattern name") << "X.Y=3"
                                  << "XAY*2" << 6.0 << true;
  }

  void Variables()
  {
    QFETCH(QString, variables);
    QFETCH(QString, text);
    QFETCH(double, value);
    QFETCH(bool, valid);
    bool ok = !valid;
    const double result = With_Variables(variables).Evaluate(text, &ok);
    QCOMPARE(ok, valid);
    QVERIFY2(Same(result, value), qPrintable(QString::number(result, 'g', 17)));
  }

  void Variable_List()
  {
    TExpression expression = With_Variables("X=1;XMin=2;Y=3;AxisMax=4;YMin=5");
    QVERIFY(!expression.Add_Variable("", 1.0));
    QVERIFY(expression.Add_Variable("XMin", 7.0));
    QCOMPARE(expression.Variable_Count(), 5);
    const char* order[] = {"AxisMax", "XMin", "YMin", "X", "Y"};
    for(int i = 0; i < 5; ++i)
    {
      QCOMPARE(expression.Variable_Name(i), QString(order[i]));
    }
    QCOMPARE(expression.Variable(1).value, 7.0);
    QCOMPARE(expression.Evaluate("XMIN", nullptr), 7.0);

    bool ok = false;
    QCOMPARE(expression.Variable_Value("YMin", &ok), 5.0);
    QVERIFY(ok);
    QCOMPARE(expression.Variable_Value("ymin", &ok), 0.0);
    QVERIFY(!ok);
  }

  void Nesting_data()
  {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");

    const int Limit = TExpression::MAXIMUM_NESTING;
    QTest::newRow("groups at the limit") << QString(Limit, '(') + "1" + QString(Limit, ')') << true;
    QTest::newRow("groups past the limit") << QString(Limit + 1, '(') + "1" + QString(Limit + 1, ')') << false;
    QTest::newRow("functions at the limit") << QString("SQRT(").repeated(Limit) + "1" + QString(Limit, ')') << true;
    QTest::newRow("functions past the limit")
        << QString("SUMSQ(").repeated(Limit) + "(1)" + QString(Limit, ')') << false;
    QTest::newRow("100000 levels") << QString(100000, '(') + "1" + QString(100000, ')') << false;
    QTest::newRow("100000 functions") << QString("SQRT(").repeated(100000) << false;
    QTest::newRow("10 MB of parentheses") << QString(10 * 1000 * 1000, '(') << false;
    // Deep and long at once: each level must not rescan the whole text.
    QTest::newRow("10 MB at the limit") << QString(Limit, '(') + QString("1+").repeated(5 * 1000 * 1000) + "1" +
                                               QString(Limit, ')')
                                        << true;
    QTest::newRow("10 MB of sumsq parts") << "SUMSQ(" + QString("1,").repeated(5 * 1000 * 1000) + ")" << false;
  }

  void Nesting()
  {
    QFETCH(QString, text);
    QFETCH(bool, valid);
    bool ok = !valid;
    const double result = TExpression().Evaluate(text, &ok);
    QCOMPARE(ok, valid);
    QVERIFY(valid ? result > 0.0 : result == 0.0);
  }

  // The fast text steps against the Qt calls that define them.
  void Number_Conversion()
  {
    QStringList texts = {"0",
                         "-0",
                         "+0",
                         "-0.000",
                         "12",
                         "+12",
                         "-12.5",
                         "007",
                         "0.0012",
                         "0.1",
                         "3.14159265358979",
                         "9007199254740993",
                         "9007199254740993.0000000000000001",
                         "0.1000000000000000055511151231257827",
                         "0.0000000000000001",
                         "100000000000000000000000",
                         "500.1229999999999905",
                         ".5",
                         "-.5",
                         "1.",
                         ".",
                         "-",
                         "+",
                         "",
                         "1.2.3",
                         "1-2",
                         "--1",
                         "+-1",
                         "0." + QString(70, '0') + "1",
                         "1" + QString(63, '0'),
                         "1" + QString(64, '0')};
    // Value texts of 16 decimals and other long mantissas, where rounding is hardest.
    QRandomGenerator random(7);
    for(int i = 0; i < 20000; ++i)
    {
      QString text = random.bounded(2) ? "-" : "";
      const int integer_digits = 1 + random.bounded(20);
      const int decimals = random.bounded(4) ? 16 : random.bounded(40);
      for(int k = 0; k < integer_digits + decimals; ++k)
      {
        text += (k == integer_digits ? "." : "") + QString::number(random.bounded(10));
      }
      texts << text;
    }
    for(const QString& text : texts)
    {
      bool fast_ok = false;
      bool qt_ok = false;
      const double fast = Expression_Text::To_Double(text.constData(), text.size(), &fast_ok);
      const double qt = text.toDouble(&qt_ok);
      QVERIFY2(fast_ok == qt_ok && Same(fast, qt), qPrintable(text));
    }
  }

  void Text_Steps()
  {
    const QString texts[] = {" a\tb\n c\r\v\fd ", "x\x01y", QString::fromUtf8("stra\u00DFe \u00A0x\u2003y \u0131")};
    for(const QString& text : texts)
    {
      QString expected = text.simplified().toUpper().trimmed();
      expected.remove(' ');
      QCOMPARE(Expression_Text::Normalise(text), expected);
    }

    const QString words[] = {"X", "X+X", "XX+X_X+X1+1X+(X)", QString::fromUtf8("\u00C4X+X\u00E9"), "A.X,X"};
    for(const QString& text : words)
    {
      QCOMPARE(Expression_Text::Replace_Word(text, "X", "9"),
               QString(text).replace(QRegularExpression("(\\bX\\b)"), "9"));
    }

    QCOMPARE(Expression_Text::Value_Text(-5.0), QString("(-5.0000000000000000)"));
    QCOMPARE(Expression_Text::Value_Text(-4e-17), QString("(-0.0000000000000000)"));
    QCOMPARE(Expression_Text::Value_Text(4e-17), QString("0.0000000000000000"));
    QCOMPARE(Expression_Text::Value_Text(-6e-17), QString("(-0.0000000000000001)"));
    QCOMPARE(Expression_Text::Value_Text(-0.0), QString("0.0000000000000000"));
  }
};

QTEST_GUILESS_MAIN(TTestExpression)
#include "test_expression.moc"
