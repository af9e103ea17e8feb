#include "core/mat4.h"

#include <cmath>
#include <utility>

void TMat4::Set(const double* values)
{
  for(int i = 0; i < 16; ++i)
  {
    e[i] = values[i];
  }
}

double TMat4::operator[](int index) const
{
  VARLUME_ASSERT(index >= 0 && index < 16);
  return e[index];
}

double& TMat4::operator[](int index)
{
  VARLUME_ASSERT(index >= 0 && index < 16);
  return e[index];
}

void TMat4::Identity()
{
  for(int i = 0; i < 16; ++i)
  {
    e[i] = 0.0;
  }
  e[0] = e[5] = e[10] = e[15] = 1.0;
}

void TMat4::Transpose()
{
  for(int r = 0; r < 4; ++r)
  {
    for(int k = r + 1; k < 4; ++k)
    {
      std::swap(e[4 * r + k], e[4 * k + r]);
    }
  }
}

void TMat4::Normal()
{
  for(int r = 0; r < 3; ++r)
  {
    TVector3 row(e[4 * r], e[4 * r + 1], e[4 * r + 2]);
    row.Normal();
    e[4 * r] = row.x;
    e[4 * r + 1] = row.y;
    e[4 * r + 2] = row.z;
  }
}

TMat4 TMat4::operator*=(const TMat4& m)
{
  double result[16];
  for(int r = 0; r < 4; ++r)
  {
    for(int c = 0; c < 4; ++c)
    {
      result[4 * r + c] =
          m.e[4 * r] * e[c] + m.e[4 * r + 1] * e[4 + c] + m.e[4 * r + 2] * e[8 + c] + m.e[4 * r + 3] * e[12 + c];
    }
  }
  Set(result);
  return *this;
}

TMat4 TMat4::Rotate(const TVector3& axis, double angle)
{
  const double ca = std::cos(angle);
  const double sa = std::sin(angle);
  const double t = 1.0 - ca;
  const double ux = axis.x;
  const double uy = axis.y;
  const double uz = axis.z;

  TMat4 rotation;
  rotation.e[0] = ux * ux * t + ca;
  rotation.e[1] = ux * uy * t + uz * sa;
  rotation.e[2] = ux * uz * t - uy * sa;
  rotation.e[4] = ux * uy * t - uz * sa;
  rotation.e[5] = uy * uy * t + ca;
  rotation.e[6] = uy * uz * t + ux * sa;
  rotation.e[8] = ux * uz * t + uy * sa;
  rotation.e[9] = uy * uz * t - ux * sa;
  rotation.e[10] = uz * uz * t + ca;

  return (*this) *= rotation;
}
