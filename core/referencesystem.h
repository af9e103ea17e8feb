#ifndef REFERENCESYSTEM_H
#define REFERENCESYSTEM_H

#include "core/mat4.h"
#include "core/vector3.h"

// A right-handed frame placed in machine coordinates: an origin and three orthonormal axes,
// the rows 0, 1, 2 of the rotation matrix. Aligned to measuring lines by skewing.
class TReferenceSystem
{
public:
  // A minus axis names the same row as its plus axis; where a row is set it stores the negated direction.
  enum TAxis
  {
    X_AXIS = 0,
    Y_AXIS,
    Z_AXIS,
    XMINUS_AXIS,
    YMINUS_AXIS,
    ZMINUS_AXIS
  };

  TReferenceSystem() = default;

  TVector3 Origin() const { return d_origin; }
  TMat4 Rotation_Mat() const { return d_rotation_mat; }
  TMat4 Inverse_Rotation_Mat() const { return d_inverse_rotation_mat; }
  // The frame's current row for an axis (minus axes give the same row as their plus axis).
  TVector3 Axis(TAxis axis) const;

  // Origin zero, frame equal to the machine axes.
  void Clear_Alignment();

  // Points the named axis along direction, disturbing the other axes as little as possible.
  // A direction not longer than the double epsilon changes nothing.
  void Skew1(const TVector3& direction, TAxis axis);

  // Turns the frame about fixed_axis so that axis points along the part of direction
  // perpendicular to it. A zero direction, or one parallel to the fixed axis, changes nothing.
  void Skew2(const TVector3& direction, TAxis axis, TAxis fixed_axis);

  // Moves the origin along the named axis so that its coordinate along it equals the point's.
  void Set_Origin(const TVector3& point, TAxis axis);
  // origin += distance * row (the row is not negated for minus axes).
  void Offset_Origin(const double& distance, TAxis axis);
  // Turns the frame about its own named axis; for Z and a positive angle X turns towards Y.
  void Rotate(const double& angle, TAxis axis);

private:
  void Set_Row(int row, const TVector3& vector);
  void Update_Inverse();

  TVector3 d_origin;
  TMat4 d_rotation_mat;
  TMat4 d_inverse_rotation_mat;
};

#endif
