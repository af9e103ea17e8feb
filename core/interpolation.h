#ifndef INTERPOLATION_H
#define INTERPOLATION_H

#include <vector>

#include "core/vector2.h"
#include "core/vector3.h"

// Solves n linear equations in place: matrix holds rows of columns = rows + 1 values
// (coefficients, then the right-hand side). A row is swapped only when its pivot is below 1e-12.
// Returns false for a singular system (solution untouched, matrix partly reduced).
bool Solve_Mat(int rows, int columns, double* matrix, double* solution);

namespace Regression
{
// Least-squares line; fewer than 2 points gives false. intercept may be null.
bool Fit_Line(const std::vector<TVector2>& points, double* slope, double* intercept);

// Slope of a line through the origin (used to level straightness curves); falls back to
// Fit_Line for slopes steeper than 1 or positions that average below 1e-6.
bool Get_Slope_Through_Zero(const std::vector<TVector2>& points, double* slope);

// Slope through the first and last point.
bool Get_Endfit_Slope(const std::vector<TVector2>& points, double* slope);
} // namespace Regression

namespace LeastSquares
{
// y = a*x^2 + b*x + c; needs 3 points.
bool Fit_Curve(const std::vector<TVector2>& points, double* a, double* b, double* c);
// y = a*x^3 + b*x^2 + c*x + d; needs 4 points.
bool Fit_Curve(const std::vector<TVector2>& points, double* a, double* b, double* c, double* d);
// y = a*x^4 + b*x^3 + c*x^2 + d*x + e; needs 5 points.
bool Fit_Curve(const std::vector<TVector2>& points, double* a, double* b, double* c, double* d, double* e);
} // namespace LeastSquares

namespace Extrapolation
{
// Linear interpolation inside the list (in position order), linear extrapolation outside.
// Fewer than 2 points or a span below 1e-6 gives false and 0.
bool Get_Value(const std::vector<TVector2>& points, const double& x, double* value);

// The same on TVector3 lists with z (XY), x (YZ) or y (ZX) as the position.
bool Get_Value_XY(const std::vector<TVector3>& points, const double& z, double* x_value, double* y_value);
bool Get_Value_YZ(const std::vector<TVector3>& points, const double& x, double* y_value, double* z_value);
bool Get_Value_ZX(const std::vector<TVector3>& points, const double& y, double* z_value, double* x_value);
} // namespace Extrapolation

#endif
