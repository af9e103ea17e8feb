#ifndef MACHINE_STANDARDCOMP_H
#define MACHINE_STANDARDCOMP_H

#include <QString>
#include <vector>

#include "core/vector2.h"
#include "core/vector3.h"

// Failure inside one axis table (invalid expression, unsolvable straightness, degenerate
// deflection geometry). TMachineComp turns it into a message at its boundary.
class TMachineAxisException
{
public:
  explicit TMachineAxisException(const QString& message) : d_message(message) {}

  QString Message() const { return d_message; }

private:
  QString d_message;
};

// The values of one error expression at the positions of an axis table, evaluated once so that
// many set-ups of the same travel can take them without evaluating the text again (the
// compensation evaluation sets one model up per error pattern). values stops before the first
// position at which the text is invalid or not finite.
struct TMachineAxisValues
{
  QString expression;
  std::vector<double> values;
  // The travel whose positions were used.
  double axis_start = 0.0;
  double axis_end = 0.0;
};

// Error tables of one linear axis: angular errors (mm/m), scale and straightness (mm) at 51
// equally spaced positions along the travel, interpolated linearly inside and extrapolated
// along the end steps outside.
class TMachineStandardComp
{
public:
  enum TStraightnessParameterMode
  {
    STRAIGHTNESS_X_FROM_RY = 0,
    STRAIGHTNESS_X_FROM_RZ,
    STRAIGHTNESS_Y_FROM_RX,
    STRAIGHTNESS_Y_FROM_RZ,
    STRAIGHTNESS_Z_FROM_RX,
    STRAIGHTNESS_Z_FROM_RY
  };

  TMachineStandardComp();

  // Discards every table and lays out 51 positions from start to end (accumulated steps).
  // Travel and origins must be written first; start <= end and both origins inside the travel.
  void Initialize(int axis);

  // Fill one column from an expression in L (position in metres). Throws TMachineAxisException
  // at the first position where the expression is invalid or not finite; the entries before
  // it stay and the sign is not changed.
  void Set_Rx(const QString& expression, int sign);
  void Set_Ry(const QString& expression, int sign);
  void Set_Rz(const QString& expression, int sign);
  void Set_Scale(const QString& expression, int sign);
  void Set_Quad(const double& value, int sign);

  // The values that the expression setters write, at this table's positions.
  TMachineAxisValues Evaluate_Expression(const QString& expression) const;
  // The expression setters with values evaluated on a table of the same travel: the same
  // columns, and the same exception at the same position, as the expression itself gives.
  void Set_Rx(const TMachineAxisValues& values, int sign);
  void Set_Ry(const TMachineAxisValues& values, int sign);
  void Set_Rz(const TMachineAxisValues& values, int sign);
  void Set_Scale(const TMachineAxisValues& values, int sign);

  // Integrates one angular column into one straightness column, zeroed at position 0 and
  // levelled by the slope through zero. Throws when the table cannot be looked up.
  void Calculate_Straightness(TStraightnessParameterMode mode);

  // The errors at any position; a column that was never set reads 0.
  void Data(const double& position, TVector3* angular, TVector3* linear) const;
  // One table row.
  void Data(int index, double* position, TVector3* angular, TVector3* linear) const;
  int Data_Size() const { return static_cast<int>(d_position_data.size()); }

  // Written and read directly by TMachineComp.
  int d_axis = -1;
  int d_rx_sign = 1;
  int d_ry_sign = 1;
  int d_rz_sign = 1;
  int d_scale_sign = 1;
  int d_quad_sign = 1;
  double d_axis_start = 0.0;
  double d_axis_end = 0.0;
  double d_math_origin = 0.0;
  double d_mechanical_origin = 0.0;
  double d_quad = 0.0;

private:
  // Lookup tables, in the order Rx, Ry, Rz, Lx, Ly, Lz.
  enum TColumn
  {
    COLUMN_RX = 0,
    COLUMN_RY,
    COLUMN_RZ,
    COLUMN_LX,
    COLUMN_LY,
    COLUMN_LZ,
    COLUMN_COUNT
  };

  // What a column's pair table holds, so that a lookup can share one bracket search:
  // never set (all pairs (0, 0)), the table positions, or anything else (partly written).
  enum TColumnState
  {
    COLUMN_EMPTY,
    COLUMN_POSITIONS,
    COLUMN_OTHER
  };

  void Set_Angular(int component, const TMachineAxisValues& values, const QString& message);
  void Mark_Partly_Written(int column, int written);
  void Update_Lookup();
  int Own_Component() const;
  std::vector<TVector2>& Column(int column);
  const std::vector<TVector2>& Column(int column) const;

  std::vector<double> d_position_data;
  std::vector<TVector3> d_angular_data;
  std::vector<TVector3> d_linear_data;
  std::vector<TVector2> d_rx_data;
  std::vector<TVector2> d_ry_data;
  std::vector<TVector2> d_rz_data;
  std::vector<TVector2> d_lx_data;
  std::vector<TVector2> d_ly_data;
  std::vector<TVector2> d_lz_data;

  TColumnState d_column_state[COLUMN_COUNT];
  // True when the positions allow the bracket to be computed instead of scanned with the
  // same result (every step above 1e-6 and steps of similar size).
  bool d_regular_positions = false;
  double d_index_scale = 0.0;
};

// Deflection of the tower of a horizontal-arm machine: grows with the vertical position and
// with the horizontal arm position.
class TMachineDeflectionComp
{
public:
  TMachineDeflectionComp() = default;

  void Set_Vertical_Axis(const double& start, const double& end, const double& origin);
  void Set_Horizontal_Axis(const double& start, const double& end, const double& origin);

  // A sign of 0 or below becomes -1, anything else +1.
  void Initialize(const double& deflection, int sign);

  // Both ranges at least 1 and both origins inside their ranges.
  bool Is_Valid() const;

  // The raw deflection (sign not applied); throws when a range is below 0.001.
  double Evaluate(const double& vertical, const double& horizontal) const;

  int Sign() const { return d_sign; }
  double Deflection() const { return d_deflection; }
  double Vertical_Minimum() const { return d_vertical_minimum; }
  double Vertical_Maximum() const { return d_vertical_maximum; }
  double Horizontal_Minimum() const { return d_horizontal_minimum; }
  double Horizontal_Maximum() const { return d_horizontal_maximum; }

private:
  double d_vertical_minimum = 0.0;
  double d_vertical_maximum = 0.0;
  double d_vertical_origin = 0.0;
  double d_horizontal_minimum = 0.0;
  double d_horizontal_maximum = 0.0;
  double d_horizontal_origin = 0.0;
  int d_sign = 1;
  double d_deflection = 0.0;
};

#endif
