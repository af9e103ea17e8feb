#ifndef MAT4_H
#define MAT4_H

#include "core/vector3.h"

// 4x4 doubles stored row by row (row r holds e[4r] .. e[4r+3]), used as an affine transformation:
// the upper-left 3x3 block is the linear part, e[3], e[7], e[11] the translation.
class TMat4
{
public:
  TMat4() { Identity(); }

  // Copies sixteen values in storage order.
  void Set(const double* values);
  const double* Get() const { return e; }

  double operator[](int index) const;
  double& operator[](int index);

  void Identity();
  void Transpose();

  // Normalises the three rows of the linear part; translation and fourth row stay.
  void Normal();

  // Afterwards the matrix acts as if the old matrix were applied first and m second (new = m * old).
  TMat4 operator*=(const TMat4& m);

  // Composes the rotation about axis after the current transformation. Applied to a point the
  // rotation turns it by minus angle (it expresses the point in a frame turned by plus angle).
  // The axis is not normalised here.
  TMat4 Rotate(const TVector3& axis, double angle);

private:
  double e[16];
};

// Transforms a point; the fourth row is never read.
inline TVector3 operator*(const TMat4& m, const TVector3& p)
{
  const double* e = m.Get();
  return TVector3(e[0] * p.x + e[1] * p.y + e[2] * p.z + e[3], e[4] * p.x + e[5] * p.y + e[6] * p.z + e[7],
                  e[8] * p.x + e[9] * p.y + e[10] * p.z + e[11]);
}

#endif
