#ifndef ERRORPOLYNOMIAL_H
#define ERRORPOLYNOMIAL_H

#include <QString>
#include <QStringList>

#include <vector>

// The text of an axis error function defined by its values: a polynomial of degree 4 in L (the
// position in metres) through the values typed at a few positions, written so that it gives
// every typed value back.
namespace Error_Polynomial
{
// Decimals a coefficient may be written with.
constexpr int MINIMUM_DECIMALS = 4;
constexpr int MAXIMUM_DECIMALS = 10;

// The decimals of a typed number: 3 for "-0.003", 5 for "25e-4", 0 for "12".
int Decimals(const QString& typed);

// The polynomial through the typed values (texts) at the positions (mm), for example
// "0.0010+0.0100*L". Written with four decimals and terms of 4.9e-5 or less left out wherever
// that already gives every typed value back to within half a unit of its last decimal; else
// with as few decimals (at most 10) as give them back, a small term left out only when they are
// still given back without it. Empty when a value is not a number, the counts differ or the
// fit fails.
QString Fit_Text(const std::vector<double>& positions, const QStringList& typed);
} // namespace Error_Polynomial

#endif
