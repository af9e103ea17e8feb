#include "core/interpolation.h"

#include <cmath>
#include <utility>

namespace
{
const double SPAN_MINIMUM = 1e-6;
const double PIVOT_MINIMUM = 1e-12;

// Raw sums of x^k (k = 0 .. 2*degree) and y*x^k (k = 0 .. degree) of the normal equations.
void Power_Sums(const std::vector<TVector2>& points, int degree, double* x_sums, double* xy_sums)
{
  for(int k = 0; k <= 2 * degree; ++k)
  {
    x_sums[k] = 0.0;
  }
  for(int k = 0; k <= degree; ++k)
  {
    xy_sums[k] = 0.0;
  }

  for(const TVector2& point : points)
  {
    for(int k = 0; k <= 2 * degree; ++k)
    {
      x_sums[k] += std::pow(point.x, k);
    }
    for(int k = 0; k <= degree; ++k)
    {
      xy_sums[k] += point.y * std::pow(point.x, k);
    }
  }
}

// Solves the negated normal equations of a polynomial of the given degree; coefficients by rising power.
bool Fit_Polynomial(const std::vector<TVector2>& points, int degree, double* coefficients)
{
  const int rows = degree + 1;
  const int columns = rows + 1;
  double x_sums[9];
  double xy_sums[5];
  double matrix[5 * 6];

  Power_Sums(points, degree, x_sums, xy_sums);
  for(int i = 0; i < rows; ++i)
  {
    for(int j = 0; j < rows; ++j)
    {
      matrix[i * columns + j] = -x_sums[i + j];
    }
    matrix[i * columns + rows] = -xy_sums[i];
  }
  return Solve_Mat(rows, columns, matrix, coefficients);
}

// The shared walk of the Get_Value family: position(i) is the table position of entry i, and
// assign(k, next, numerator, denominator) writes y(k) + (y(next) - y(k)) * numerator / denominator
// for every value component. Extrapolation passes the raw distances so that the product is formed
// before the division; interpolation passes the factor h over 1, which divides exactly.
template <typename TPosition, typename TAssign>
bool Walk_Table(int count, const double& x, TPosition position, TAssign assign)
{
  if(count < 2)
  {
    return false;
  }

  const double first = position(0);
  const double last = position(count - 1);
  const double span = last - first;
  if(std::fabs(span) < SPAN_MINIMUM)
  {
    return false;
  }

  const double t = (x - first) / span;
  if(t < 0)
  {
    assign(0, 1, x - first, position(1) - first);
    return true;
  }
  if(t > 1)
  {
    assign(count - 1, count - 2, x - last, position(count - 2) - last);
    return true;
  }

  for(int k = 0; k + 1 < count; ++k)
  {
    const double x0 = position(k);
    const double x1 = position(k + 1);
    if(std::fabs(x1 - x0) > SPAN_MINIMUM)
    {
      const double h = (x - x0) / (x1 - x0);
      if(h >= 0 && h <= 1)
      {
        assign(k, k + 1, h, 1.0);
        return true;
      }
    }
  }

  // Positions built by adding up steps miss the end of travel by a rounding error, so a point
  // at the very end can read as inside the table (t rounds to 1) and yet lie a hair beyond the
  // last step. Reading it as no value made valid travels unsolvable; extrapolate along the
  // nearer end instead, as a point just outside would be.
  if(t >= 0 && t <= 1)
  {
    if(std::fabs(x - last) <= std::fabs(x - first))
    {
      assign(count - 1, count - 2, x - last, position(count - 2) - last);
    }
    else
    {
      assign(0, 1, x - first, position(1) - first);
    }
    return true;
  }
  return false;
}
} // namespace

bool Solve_Mat(int rows, int columns, double* matrix, double* solution)
{
  VARLUME_ASSERT(matrix);
  VARLUME_ASSERT(solution);

  for(int i = 0; i < rows; ++i)
  {
    double* row_i = matrix + i * columns;
    if(std::fabs(row_i[i]) < PIVOT_MINIMUM)
    {
      int k = i + 1;
      while(k < rows && !(std::fabs(matrix[k * columns + i]) > PIVOT_MINIMUM))
      {
        ++k;
      }
      if(k >= rows)
      {
        return false;
      }
      double* row_k = matrix + k * columns;
      for(int c = i; c < columns; ++c)
      {
        std::swap(row_i[c], row_k[c]);
      }
    }

    const double pivot = row_i[i];
    for(int c = i; c < columns; ++c)
    {
      row_i[c] /= pivot;
    }

    for(int k = 0; k < rows; ++k)
    {
      if(k == i)
      {
        continue;
      }
      double* row_k = matrix + k * columns;
      const double factor = row_k[i];
      for(int c = 0; c < columns; ++c)
      {
        row_k[c] -= factor * row_i[c];
      }
    }
  }

  for(int r = 0; r < rows; ++r)
  {
    solution[r] = matrix[r * columns + columns - 1];
  }
  return true;
}

bool Regression::Fit_Line(const std::vector<TVector2>& points, double* slope, double* intercept)
{
  VARLUME_ASSERT(slope);

  if(points.size() < 2)
  {
    return false;
  }

  double sx = 0.0;
  double sy = 0.0;
  double sxx = 0.0;
  double sxy = 0.0;
  for(const TVector2& point : points)
  {
    sx += point.x;
    sy += point.y;
    sxx += point.x * point.x;
    sxy += point.x * point.y;
  }

  const double n = static_cast<double>(points.size());
  *slope = (n * sxy - sx * sy) / (n * sxx - sx * sx);
  if(intercept)
  {
    *intercept = (sy - (*slope) * sx) / n;
  }
  return true;
}

bool Regression::Get_Slope_Through_Zero(const std::vector<TVector2>& points, double* slope)
{
  VARLUME_ASSERT(slope);

  *slope = 0.0;
  if(points.empty())
  {
    return false;
  }

  double sum_y = 0.0;
  double sum_x = 0.0;
  for(const TVector2& point : points)
  {
    if(point.x > 0)
    {
      sum_y += point.y;
      sum_x += point.x;
    }
    else
    {
      sum_y -= point.y;
      sum_x -= point.x;
    }
  }

  const double n = static_cast<double>(points.size());
  const double s = sum_y / n;
  const double t = std::fabs(sum_x / n);
  if(std::fabs(s) > t || t < SPAN_MINIMUM)
  {
    return Fit_Line(points, slope, nullptr);
  }

  *slope = (sum_y / n) / (sum_x / n);
  return true;
}

bool Regression::Get_Endfit_Slope(const std::vector<TVector2>& points, double* slope)
{
  VARLUME_ASSERT(slope);

  *slope = 0.0;
  if(points.size() < 2)
  {
    return false;
  }

  const TVector2& first = points.front();
  const TVector2& last = points.back();
  if(std::fabs(last.x - first.x) < SPAN_MINIMUM)
  {
    return false;
  }
  *slope = (last.y - first.y) / (last.x - first.x);
  return true;
}

bool LeastSquares::Fit_Curve(const std::vector<TVector2>& points, double* a, double* b, double* c)
{
  VARLUME_ASSERT(a);
  VARLUME_ASSERT(b);
  VARLUME_ASSERT(c);

  *a = *b = *c = 0.0;
  if(points.size() < 3)
  {
    return false;
  }

  // Cramer's rule on the 3 x 3 normal equations, each determinant expanded along its first
  // column. sjk is the sum of x^j * y^k; D is not tested, so a singular set gives inf or NaN.
  double x_sums[5];
  double xy_sums[3];
  Power_Sums(points, 2, x_sums, xy_sums);

  const double s00 = x_sums[0];
  const double s10 = x_sums[1];
  const double s20 = x_sums[2];
  const double s30 = x_sums[3];
  const double s40 = x_sums[4];
  const double s01 = xy_sums[0];
  const double s11 = xy_sums[1];
  const double s21 = xy_sums[2];

  const double D = s40 * (s20 * s00 - s10 * s10) - s30 * (s30 * s00 - s10 * s20) + s20 * (s30 * s10 - s20 * s20);
  *a = (s21 * (s20 * s00 - s10 * s10) - s11 * (s30 * s00 - s10 * s20) + s01 * (s30 * s10 - s20 * s20)) / D;
  *b = (s40 * (s11 * s00 - s01 * s10) - s30 * (s21 * s00 - s01 * s20) + s20 * (s21 * s10 - s11 * s20)) / D;
  *c = (s40 * (s20 * s01 - s10 * s11) - s30 * (s30 * s01 - s10 * s21) + s20 * (s30 * s11 - s20 * s21)) / D;
  return true;
}

bool LeastSquares::Fit_Curve(const std::vector<TVector2>& points, double* a, double* b, double* c, double* d)
{
  VARLUME_ASSERT(a);
  VARLUME_ASSERT(b);
  VARLUME_ASSERT(c);
  VARLUME_ASSERT(d);

  *a = *b = *c = *d = 0.0;
  if(points.size() < 4)
  {
    return false;
  }

  double k[4];
  if(!Fit_Polynomial(points, 3, k))
  {
    return false;
  }
  *a = k[3];
  *b = k[2];
  *c = k[1];
  *d = k[0];
  return true;
}

bool LeastSquares::Fit_Curve(const std::vector<TVector2>& points, double* a, double* b, double* c, double* d, double* e)
{
  VARLUME_ASSERT(a);
  VARLUME_ASSERT(b);
  VARLUME_ASSERT(c);
  VARLUME_ASSERT(d);
  VARLUME_ASSERT(e);

  *a = *b = *c = *d = *e = 0.0;
  if(points.size() < 5)
  {
    return false;
  }

  double k[5];
  if(!Fit_Polynomial(points, 4, k))
  {
    return false;
  }
  *a = k[4];
  *b = k[3];
  *c = k[2];
  *d = k[1];
  *e = k[0];
  return true;
}

bool Extrapolation::Get_Value(const std::vector<TVector2>& points, const double& x, double* value)
{
  VARLUME_ASSERT(value);

  *value = 0.0;
  return Walk_Table(
      static_cast<int>(points.size()), x, [&points](int i) { return points[i].x; },
      [&points, value](int k, int next, double numerator, double denominator)
      { *value = points[k].y + (points[next].y - points[k].y) * numerator / denominator; });
}

bool Extrapolation::Get_Value_XY(const std::vector<TVector3>& points, const double& z, double* x_value, double* y_value)
{
  VARLUME_ASSERT(x_value);
  VARLUME_ASSERT(y_value);

  *x_value = *y_value = 0.0;
  return Walk_Table(
      static_cast<int>(points.size()), z, [&points](int i) { return points[i].z; },
      [&](int k, int next, double numerator, double denominator)
      {
        *x_value = points[k].x + (points[next].x - points[k].x) * numerator / denominator;
        *y_value = points[k].y + (points[next].y - points[k].y) * numerator / denominator;
      });
}

bool Extrapolation::Get_Value_YZ(const std::vector<TVector3>& points, const double& x, double* y_value, double* z_value)
{
  VARLUME_ASSERT(y_value);
  VARLUME_ASSERT(z_value);

  *y_value = *z_value = 0.0;
  return Walk_Table(
      static_cast<int>(points.size()), x, [&points](int i) { return points[i].x; },
      [&](int k, int next, double numerator, double denominator)
      {
        *y_value = points[k].y + (points[next].y - points[k].y) * numerator / denominator;
        *z_value = points[k].z + (points[next].z - points[k].z) * numerator / denominator;
      });
}

bool Extrapolation::Get_Value_ZX(const std::vector<TVector3>& points, const double& y, double* z_value, double* x_value)
{
  VARLUME_ASSERT(z_value);
  VARLUME_ASSERT(x_value);

  *z_value = *x_value = 0.0;
  return Walk_Table(
      static_cast<int>(points.size()), y, [&points](int i) { return points[i].y; },
      [&](int k, int next, double numerator, double denominator)
      {
        *z_value = points[k].z + (points[next].z - points[k].z) * numerator / denominator;
        *x_value = points[k].x + (points[next].x - points[k].x) * numerator / denominator;
      });
}
