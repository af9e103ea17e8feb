// Any text must give a value and a flag (0 when invalid), never a crash or a hang. Evaluate's
// fast text steps are also checked against the plain Qt calls that define them: normalise with
// simplified/toUpper, substitute each variable with "(\b%1\b)", then evaluate the result.

#include <QRegularExpression>
#include <QString>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/expression.h"

namespace
{
struct TCase
{
  TExpression expression;
  std::vector<std::pair<QRegularExpression, QString>> substitutions; // in the expression's order
};

// Every negative value goes in parentheses, also one whose sixteen decimals are all zero.
QString Literal_Value_Text(double value)
{
  const QString number = QString("%1").arg(value, 0, 'f', 16);
  return value < 0.0 ? "(" + number + ")" : number;
}

TCase Make_Case(const std::vector<std::pair<QString, double>>& variables)
{
  TCase result;
  for(const auto& variable : variables)
  {
    result.expression.Add_Variable(variable.first, variable.second);
  }
  for(int i = 0; i < result.expression.Variable_Count(); ++i)
  {
    const QString name = result.expression.Variable_Name(i).toUpper();
    result.substitutions.emplace_back(QRegularExpression(QString("(\\b%1\\b)").arg(name)),
                                      Literal_Value_Text(result.expression.Variable_Value(i)));
  }
  return result;
}

const std::vector<TCase>& Cases()
{
  static const std::vector<TCase> cases = {
      Make_Case({}),
      Make_Case({{"XMin", -250.0},
                 {"YMin", -400.0},
                 {"ZMin", -300.0},
                 {"XMax", 250.0},
                 {"YMax", 400.0},
                 {"ZMax", 0.0},
                 {"XMid", 0.0},
                 {"YMid", 0.0},
                 {"ZMid", -150.0},
                 {"AxisMin", 300.0},
                 {"AxisMax", 800.0},
                 {"L", 500.123},
                 {"R", 250.0615},
                 {"I", 0.5773502691896258},
                 {"J", -1e-20},
                 {"K", -0.5773502691896258}}),
      // Names that take the slow path: digits, lower case twins, unescaped pattern characters,
      // and values that are not finite.
      Make_Case({{"2", 5.0},
                 {"10", -3.0},
                 {"x", 2.0},
                 {"X", -0.5},
                 {"X.Y", 3.0},
                 {"Q*", -1.0},
                 {"NAN", 1.0},
                 {"U", std::nan("")},
                 {"V", -HUGE_VAL},
                 {"W", 1e300}}),
  };
  return cases;
}

bool Same(double a, double b)
{
  return std::memcmp(&a, &b, sizeof(double)) == 0 || (std::isnan(a) && std::isnan(b));
}

[[noreturn]] void Fail(const char* what, const QString& text)
{
  std::fprintf(stderr, "%s: \"%s\"\n", what, text.toUtf8().constData());
  std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
  const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<int>(size));

  QString normalised = text.simplified().toUpper().trimmed();
  normalised.remove(' ');
  if(Expression_Text::Normalise(text) != normalised)
  {
    Fail("normalisation differs from Qt", text);
  }

  bool fast_ok = false;
  bool qt_ok = false;
  const double fast = Expression_Text::To_Double(text.constData(), text.size(), &fast_ok);
  const double qt = text.toDouble(&qt_ok);
  if(fast_ok != qt_ok || (qt_ok && !Same(fast, qt)))
  {
    Fail("number conversion differs from Qt", text);
  }

  const TExpression& plain = Cases().front().expression;
  for(const TCase& test_case : Cases())
  {
    bool ok = true;
    const double value = test_case.expression.Evaluate(text, &ok);
    if(!ok && !Same(value, 0.0))
    {
      Fail("invalid text with a value other than 0", text);
    }

    QString substituted = normalised;
    for(const auto& substitution : test_case.substitutions)
    {
      substituted.replace(substitution.first, substitution.second);
    }
    bool literal_ok = true;
    const double literal = plain.Evaluate(substituted, &literal_ok);
    if(ok != literal_ok || !Same(value, literal))
    {
      Fail("substitution differs from Qt's regular expressions", text);
    }
  }
  return 0;
}
