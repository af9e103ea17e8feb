#ifndef VECTOR3_H
#define VECTOR3_H

#include <cmath>
#include <limits>

#include "core/varlume_assert.h"

// Three doubles: a point, a direction or an error vector in millimetres.
// Between two vectors ^ is the dot product and * the cross product; Dot and Cross say the same
// by name.
class TVector3
{
public:
  TVector3() = default;
  TVector3(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}

  double x = 0.0;
  double y = 0.0;
  double z = 0.0;

  // 0, 1, 2 select x, y, z; any other index is fatal.
  double operator()(int index) const;
  double& operator()(int index);

  // The Euclidean length, sqrt(v ^ v).
  double Length() const { return std::sqrt(x * x + y * y + z * z); }

  // Divides by the length in place; the length must exceed the double epsilon.
  TVector3& Normal()
  {
    const double length = Length();
    VARLUME_ASSERT(length > std::numeric_limits<double>::epsilon());
    x /= length;
    y /= length;
    z /= length;
    return *this;
  }

  // Replaces the vector by this x b.
  TVector3& operator*=(const TVector3& b)
  {
    const TVector3 a(*this);
    x = a.y * b.z - a.z * b.y;
    y = a.z * b.x - a.x * b.z;
    z = a.x * b.y - a.y * b.x;
    return *this;
  }

  TVector3& operator/=(double d)
  {
    VARLUME_ASSERT(d > std::numeric_limits<double>::epsilon());
    x /= d;
    y /= d;
    z /= d;
    return *this;
  }
};

// Dot product.
inline double operator^(const TVector3& a, const TVector3& b)
{
  return a.x * b.x + a.y * b.y + a.z * b.z;
}

// Cross product.
inline TVector3 operator*(const TVector3& a, const TVector3& b)
{
  return TVector3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

inline double Dot(const TVector3& a, const TVector3& b)
{
  return a ^ b;
}
inline TVector3 Cross(const TVector3& a, const TVector3& b)
{
  return a * b;
}

inline TVector3 operator*(const TVector3& v, double s)
{
  return TVector3(v.x * s, v.y * s, v.z * s);
}
inline TVector3 operator*(double s, const TVector3& v)
{
  return TVector3(v.x * s, v.y * s, v.z * s);
}
inline TVector3 operator+(const TVector3& a, const TVector3& b)
{
  return TVector3(a.x + b.x, a.y + b.y, a.z + b.z);
}
inline TVector3 operator-(const TVector3& a, const TVector3& b)
{
  return TVector3(a.x - b.x, a.y - b.y, a.z - b.z);
}
inline TVector3 operator/(const TVector3& v, double d)
{
  TVector3 result(v);
  result /= d;
  return result;
}

#endif
