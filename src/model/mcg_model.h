#ifndef MCG_MODEL_H
#define MCG_MODEL_H

#include <vector>

#include "core/vector3.h"

// The machine checking gauge as drawn in the 3-D view: a base that stands at the pivot in the
// machine's orientation, and an arm modelled along its local +X axis with the pivot at the
// origin, stretched to the measured length.
namespace MCG
{
// One part of the model: a colour, an OpenGL primitive mode and one normal per vertex.
struct TMCGData
{
  TVector3 colour;
  int mode = 0; // 5 triangle strip, 6 triangle fan, 8 quad strip
  std::vector<TVector3> vertices;
  std::vector<TVector3> normals;
};

// Pivot-to-end distance of the arm as modelled; the arm is stretched by length / this.
const double ARM_REFERENCE_LENGTH = 197.25;
const int ARM_TABLE_COUNT = 68;
const int BASE_TABLE_COUNT = 95;

// The base parts, each vertex offset by position.
std::vector<TMCGData> Render_MCG_Base(const TVector3& position);

// The arm parts turned from +X onto direction, stretched to length beyond the pivot plane
// (the hub behind the pivot keeps its size) and placed at position.
std::vector<TMCGData> Render_MCG_Arm(const TVector3& position, const TVector3& direction, const double& length);

// A plain rod with an end ball, placed like Render_MCG_Arm: for gauges with so many arms that
// the full model would make the view slow, and where one arm covers a few pixels anyway.
std::vector<TMCGData> Render_MCG_Arm_Simplified(const TVector3& position, const TVector3& direction,
                                                const double& length);
} // namespace MCG

#endif
