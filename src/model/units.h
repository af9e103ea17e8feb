#ifndef UNITS_H
#define UNITS_H

// The unit conversions of the model, named once. The error model works in millimetres and in
// millimetres per metre (angles, squareness, deflection); reports and new files speak µm and µrad.
namespace Units
{
inline constexpr double UM_PER_MM = 1000.0;
// 1 mm/m is 1e-3 rad.
inline constexpr double RAD_PER_MM_PER_M = 1e-3;
inline constexpr double URAD_PER_MM_PER_M = 1000.0;
inline constexpr double URAD_PER_RAD = 1e6;
// Positions along an axis in the error expressions are in metres.
inline constexpr double MM_PER_M = 1000.0;
} // namespace Units

#endif
