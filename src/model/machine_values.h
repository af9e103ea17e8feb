#ifndef MACHINE_VALUES_H
#define MACHINE_VALUES_H

// Value sets shared by the error model and the machine record. They are bit flags kept in
// memory only; the library file stores names, never these numbers.

// Axes.
inline constexpr int AXIS_X = 1;
inline constexpr int AXIS_Y = 2;
inline constexpr int AXIS_Z = 4;
inline constexpr int AXIS_D = 8;           // tower deflection of a horizontal-arm machine
inline constexpr int AXIS_SQUARENESS = 16; // the record's squareness entries

// Kinematic orders, from the base of the chain upwards.
inline constexpr int KINEMATIC_XYZ = 256;
inline constexpr int KINEMATIC_YXZ = 512;
inline constexpr int KINEMATIC_XZY = 1024;
inline constexpr int KINEMATIC_YZX = 2048;

// Error parameters.
inline constexpr int PARAMETER_RX = 0x1000;
inline constexpr int PARAMETER_RY = 0x2000;
inline constexpr int PARAMETER_RZ = 0x4000;
inline constexpr int PARAMETER_SCALE = 0x8000;
inline constexpr int PARAMETER_DEFLECTION = 0x10000;
inline constexpr int PARAMETER_QXY = 0x20000;
inline constexpr int PARAMETER_QYZ = 0x40000;
inline constexpr int PARAMETER_QZX = 0x80000;

#endif
