#ifndef VECTOR2_H
#define VECTOR2_H

#include <cmath>
#include <limits>

#include "core/varlume_assert.h"

// Two doubles: a (position, value) sample pair of the fitting code, or a planar point.
class TVector2
{
public:
  TVector2() = default;
  TVector2(double x_, double y_) : x(x_), y(y_) {}

  double x = 0.0;
  double y = 0.0;

  // 0 is x, 1 is y; any other index is fatal.
  double operator()(int index) const;
  double& operator()(int index);

  // Divides by the length in place; the length must exceed the double epsilon.
  TVector2& Normal();

  TVector2& operator/=(double d)
  {
    VARLUME_ASSERT(d > std::numeric_limits<double>::epsilon());
    x /= d;
    y /= d;
    return *this;
  }

  // Points on the edges p0-p1 and p0-p2 are outside, on p1-p2 inside; a degenerate triangle holds nothing.
  static bool Is_Point_In_Triangle(const TVector2& p, const TVector2& p0, const TVector2& p1, const TVector2& p2);
};

// Dot product.
inline double operator^(const TVector2& a, const TVector2& b)
{
  return a.x * b.x + a.y * b.y;
}
inline TVector2 operator+(const TVector2& a, const TVector2& b)
{
  return TVector2(a.x + b.x, a.y + b.y);
}
inline TVector2 operator-(const TVector2& a, const TVector2& b)
{
  return TVector2(a.x - b.x, a.y - b.y);
}
inline TVector2 operator*(const TVector2& v, double s)
{
  return TVector2(v.x * s, v.y * s);
}
inline TVector2 operator*(double s, const TVector2& v)
{
  return TVector2(v.x * s, v.y * s);
}
inline TVector2 operator/(const TVector2& v, double d)
{
  TVector2 result(v);
  result /= d;
  return result;
}

#endif
