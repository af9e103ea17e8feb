#include "core/referencesystem.h"

#include <cmath>
#include <limits>

namespace
{
const double EPSILON = std::numeric_limits<double>::epsilon();

int Row_Of(TReferenceSystem::TAxis axis)
{
  return static_cast<int>(axis) % 3;
}

bool Is_Minus(TReferenceSystem::TAxis axis)
{
  return static_cast<int>(axis) >= 3;
}

} // namespace

TVector3 TReferenceSystem::Axis(TAxis axis) const
{
  const int row = Row_Of(axis);
  return TVector3(d_rotation_mat[4 * row], d_rotation_mat[4 * row + 1], d_rotation_mat[4 * row + 2]);
}

void TReferenceSystem::Set_Row(int row, const TVector3& vector)
{
  d_rotation_mat[4 * row] = vector.x;
  d_rotation_mat[4 * row + 1] = vector.y;
  d_rotation_mat[4 * row + 2] = vector.z;
}

void TReferenceSystem::Update_Inverse()
{
  d_inverse_rotation_mat = d_rotation_mat;
  d_inverse_rotation_mat.Transpose();
}

void TReferenceSystem::Clear_Alignment()
{
  d_origin = TVector3();
  d_rotation_mat.Identity();
  d_inverse_rotation_mat.Identity();
}

void TReferenceSystem::Skew1(const TVector3& direction, TAxis axis)
{
  if(!(direction.Length() > EPSILON))
  {
    return;
  }

  TVector3 v(direction);
  v.Normal();

  const TVector3 x_axis = Axis(X_AXIS);
  const TVector3 y_axis = Axis(Y_AXIS);
  const TVector3 z_axis = Axis(Z_AXIS);
  const int row = Row_Of(axis);

  TVector3 a;
  TVector3 b;
  switch(row)
  {
  case 0:
    a = z_axis * v;
    b = v * y_axis;
    break;
  case 1:
    a = x_axis * v;
    b = v * z_axis;
    break;
  default:
    a = y_axis * v;
    b = v * x_axis;
    break;
  }

  if(b.Length() < a.Length())
  {
    a.Normal();
    b = v * a;
  }
  else
  {
    b.Normal();
    a = b * v;
  }

  // The named row takes v, the next two rows (cyclically) take a and b.
  const bool minus = Is_Minus(axis);
  Set_Row(row, minus ? v * -1.0 : v);
  Set_Row((row + 1) % 3, a);
  Set_Row((row + 2) % 3, minus ? b * -1.0 : b);

  Update_Inverse();
}

void TReferenceSystem::Skew2(const TVector3& direction, TAxis axis, TAxis fixed_axis)
{
  const int fixed_axis_name = static_cast<int>(fixed_axis);
  const int axis_name = static_cast<int>(axis);
  VARLUME_ASSERT(fixed_axis_name != axis_name);

  if(!(direction.Length() > EPSILON))
  {
    return;
  }

  const int fixed_row = Row_Of(fixed_axis);
  const int row = Row_Of(axis);
  if(fixed_row == row)
  {
    // A minus axis against its own plus axis names no turn.
    return;
  }

  const TVector3 f = Axis(fixed_axis);
  TVector3 n = f * direction;
  if(!(n.Length() > EPSILON))
  {
    return;
  }
  n.Normal();
  const TVector3 m = n * f;
  const bool minus = Is_Minus(axis);
  const double sign = minus ? -1.0 : 1.0;

  // Rows by fixed axis: the axis that follows the fixed one cyclically takes (m, n) directly,
  // the one before it takes (m, -n); a minus axis negates both.
  Set_Row(row, m * sign);
  if((fixed_row + 1) % 3 == row)
  {
    Set_Row((row + 1) % 3, n * sign);
  }
  else
  {
    Set_Row((row + 2) % 3, n * -sign);
  }

  Update_Inverse();
}

void TReferenceSystem::Set_Origin(const TVector3& point, TAxis axis)
{
  const TVector3 u = Axis(axis);
  d_origin = d_origin - ((d_origin - point) ^ u) * u;
}

void TReferenceSystem::Offset_Origin(const double& distance, TAxis axis)
{
  d_origin = d_origin + distance * Axis(axis);
}

void TReferenceSystem::Rotate(const double& angle, TAxis axis)
{
  // The frame's own axis expressed in frame coordinates: the unit vector of the row's index.
  TVector3 u = d_rotation_mat * Axis(axis);
  u.Normal();
  d_rotation_mat.Rotate(u, angle);
  Update_Inverse();
}
