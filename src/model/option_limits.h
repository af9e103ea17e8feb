#ifndef OPTION_LIMITS_H
#define OPTION_LIMITS_H

// The ranges of the numeric options that the window's fields and varlume-batch both take, in one
// table, so that a value one of them accepts the other accepts too.
namespace Option_Limits
{
struct TRange
{
  double minimum;
  double maximum;
  // Decimals a field shows: enough that the minimum itself can be entered.
  int decimals;

  bool Contains(double value) const { return value >= minimum && value <= maximum; }
};

// Stated standard uncertainty of a kind of reading (µm, µrad for laser angles).
inline constexpr TRange UNCERTAINTY{1e-6, 1e6, 6};
// |residual| / u above which a reading is listed as an outlier.
inline constexpr TRange OUTLIER_LIMIT{0.001, 1e6, 3};
// Identification's resolution (µm, µrad); 0 keeps every direction the readings determine.
inline constexpr TRange RESOLUTION{0.0, 1e6, 3};
// Step of compensation tables and grids (mm).
inline constexpr TRange SPACING{0.1, 1e9, 3};
} // namespace Option_Limits

#endif
