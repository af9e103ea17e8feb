// The polynomial text of the expression editor: as short as the typed values allow.

#include "src/model/errorpolynomial.h"

#include <algorithm>
#include <cmath>

#include "core/expression.h"
#include "core/interpolation.h"
#include "core/vector2.h"

namespace
{
constexpr int TERM_COUNT = 5;
// Coefficients at or below this are noise of the fit, not part of the error function.
constexpr double SMALL_TERM = 4.9e-5;
const char* const TERMS[TERM_COUNT] = {"%1", "%1*L", "%1*L^2", "%1*L^3", "%1*L^4"};

struct TTarget
{
  double position = 0.0; // m
  double value = 0.0;
  double tolerance = 0.0; // half a unit of the typed value's last decimal
};

QString Text(const double coefficients[TERM_COUNT], const bool used[TERM_COUNT], int decimals)
{
  QString text;
  for(int power = 0; power < TERM_COUNT; ++power)
  {
    if(!used[power])
    {
      continue;
    }
    // A negative number brings its own minus sign to join the terms.
    if(!text.isEmpty() && coefficients[power] > 0.0)
    {
      text += QLatin1Char('+');
    }
    text += QString(QLatin1String(TERMS[power])).arg(coefficients[power], 0, 'f', decimals);
  }
  return text.isEmpty() ? QStringLiteral("0.0000") : text;
}

// The text evaluated as the machine evaluates it, not the coefficients before rounding.
bool Gives_Back(const QString& text, const std::vector<TTarget>& targets)
{
  TExpression evaluator;
  for(const TTarget& target : targets)
  {
    evaluator.Add_Variable(QStringLiteral("L"), target.position);
    bool valid = false;
    const double value = evaluator.Evaluate(text, &valid);
    if(!valid || !(std::fabs(value - target.value) <= target.tolerance))
    {
      return false;
    }
  }
  return true;
}
} // namespace

namespace Error_Polynomial
{
int Decimals(const QString& typed)
{
  const QString text = typed.trimmed();
  const int exponent_at = text.indexOf(QLatin1Char('e'), 0, Qt::CaseInsensitive);
  const QString mantissa = exponent_at < 0 ? text : text.left(exponent_at);
  const int exponent = exponent_at < 0 ? 0 : text.mid(exponent_at + 1).toInt();
  const int point = mantissa.indexOf(QLatin1Char('.'));
  const int fraction = point < 0 ? 0 : mantissa.size() - point - 1;
  return fraction - exponent;
}

QString Fit_Text(const std::vector<double>& positions, const QStringList& typed)
{
  if(positions.size() != static_cast<std::size_t>(typed.size()))
  {
    return QString();
  }
  std::vector<TVector2> points;
  std::vector<TTarget> targets;
  for(std::size_t i = 0; i < positions.size(); ++i)
  {
    const QString& text = typed[static_cast<int>(i)];
    bool valid = false;
    const double value = text.toDouble(&valid);
    if(!valid)
    {
      return QString();
    }
    TTarget target;
    target.position = positions[i] / 1000.0;
    target.value = value;
    // The slack keeps a value that lies on the half from failing on the last bit of a sum.
    target.tolerance = 0.5 * std::pow(10.0, -Decimals(text)) * (1.0 + 1e-9);
    targets.push_back(target);
    points.push_back(TVector2(target.position, value));
  }

  // y = a4 L^4 + a3 L^3 + a2 L^2 + a1 L + a0.
  double coefficients[TERM_COUNT] = {};
  if(!LeastSquares::Fit_Curve(points, &coefficients[4], &coefficients[3], &coefficients[2], &coefficients[1],
                              &coefficients[0]))
  {
    return QString();
  }

  // The text written before the values had to be given back: kept wherever it does.
  bool used[TERM_COUNT];
  for(int power = 0; power < TERM_COUNT; ++power)
  {
    used[power] = std::fabs(coefficients[power]) > SMALL_TERM;
  }
  const QString plain = Text(coefficients, used, MINIMUM_DECIMALS);
  if(Gives_Back(plain, targets))
  {
    return plain;
  }

  // The small terms, smallest first: each left out only if the values are still given back.
  int order[TERM_COUNT] = {0, 1, 2, 3, 4};
  std::stable_sort(order, order + TERM_COUNT,
                   [&coefficients](int a, int b) { return std::fabs(coefficients[a]) < std::fabs(coefficients[b]); });
  QString text;
  for(int decimals = MINIMUM_DECIMALS; decimals <= MAXIMUM_DECIMALS; ++decimals)
  {
    const double unit = std::pow(10.0, -decimals);
    for(int power = 0; power < TERM_COUNT; ++power)
    {
      // A term that rounds to 0 is no term.
      used[power] = std::fabs(coefficients[power]) >= 0.5 * unit;
    }
    text = Text(coefficients, used, decimals);
    if(!Gives_Back(text, targets))
    {
      continue;
    }
    for(const int power : order)
    {
      if(!used[power] || std::fabs(coefficients[power]) > SMALL_TERM)
      {
        continue;
      }
      used[power] = false;
      const QString shorter = Text(coefficients, used, decimals);
      if(Gives_Back(shorter, targets))
      {
        text = shorter;
      }
      else
      {
        used[power] = true;
      }
    }
    return text;
  }
  // Values typed with more decimals than a coefficient may have: the closest text there is.
  return text;
}
} // namespace Error_Polynomial
