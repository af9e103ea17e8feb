#include "src/model/machine_standardcomp.h"

#include <algorithm>
#include <cmath>

#include "core/expression.h"
#include "core/interpolation.h"
#include "core/varlume_assert.h"
#include "src/model/machine_values.h"

namespace
{
const int TABLE_INTERVALS = 50;

// Same threshold as the table walk of Extrapolation::Get_Value: narrower steps are skipped.
const double STEP_MINIMUM = 1e-6;

// Steps of a table may differ by at most this factor for the computed bracket to be exact:
// a position beyond a step's end by at least one neighbouring step can then never round back
// into that step.
const double STEP_RATIO_MAXIMUM = 1e6;

const double DEFLECTION_RANGE_MINIMUM = 0.001;

// Where a position falls in the table, found once per lookup and applied to every column
// whose pairs hold the table positions. The arithmetic per column is that of
// Extrapolation::Get_Value.
struct TBracket
{
  enum TKind
  {
    NONE,         // lookup fails: every such column reads 0
    BEFORE_FIRST, // extrapolate along the first step
    AFTER_LAST,   // extrapolate along the last step
    INSIDE        // interpolate in step index with factor h
  };

  TKind kind = NONE;
  int index = 0;
  double numerator = 0.0;
  double denominator = 1.0;
  double h = 0.0;

  double Value(const std::vector<TVector2>& points) const
  {
    switch(kind)
    {
    case BEFORE_FIRST:
      return points[0].y + (points[1].y - points[0].y) * numerator / denominator;
    case AFTER_LAST:
    {
      const TVector2& last = points[index];
      return last.y + (points[index - 1].y - last.y) * numerator / denominator;
    }
    case INSIDE:
      return points[index].y + (points[index + 1].y - points[index].y) * h / 1.0;
    case NONE:
      break;
    }
    return 0.0;
  }
};

// True when step k of the table accepts x, exactly as the table walk tests it.
bool Step_Accepts(const std::vector<double>& positions, int k, const double& x, double* h)
{
  const double x0 = positions[k];
  const double x1 = positions[k + 1];
  if(std::fabs(x1 - x0) > STEP_MINIMUM)
  {
    *h = (x - x0) / (x1 - x0);
    return *h >= 0 && *h <= 1;
  }
  return false;
}

TBracket Find_Bracket(const std::vector<double>& positions, const double& index_scale, const double& x)
{
  TBracket bracket;
  const int count = static_cast<int>(positions.size());
  if(count < 2)
  {
    return bracket;
  }

  const double first = positions[0];
  const double last = positions[count - 1];
  const double span = last - first;
  if(std::fabs(span) < STEP_MINIMUM)
  {
    return bracket;
  }

  const double t = (x - first) / span;
  if(t < 0)
  {
    bracket.kind = TBracket::BEFORE_FIRST;
    bracket.numerator = x - first;
    bracket.denominator = positions[1] - first;
    return bracket;
  }
  if(t > 1)
  {
    bracket.kind = TBracket::AFTER_LAST;
    bracket.index = count - 1;
    bracket.numerator = x - last;
    bracket.denominator = positions[count - 2] - last;
    return bracket;
  }
  if(!(t >= 0 && t <= 1))
  {
    // Not a number: no step accepts it.
    return bracket;
  }

  // Guess the step from the mean step width, then move to the first step whose end is not
  // below x and whose start is below x (or the first step).
  int k = static_cast<int>((x - first) * index_scale);
  k = std::max(0, std::min(k, count - 2));
  while(k > 0 && x <= positions[k])
  {
    --k;
  }
  while(k < count - 2 && x > positions[k + 1])
  {
    ++k;
  }

  // x may lie a few units in the last place beyond the start of step k and still round to
  // h = 1 in the step before, which the walk would take first.
  double h = 0.0;
  if(k > 0 && Step_Accepts(positions, k - 1, x, &h))
  {
    bracket.kind = TBracket::INSIDE;
    bracket.index = k - 1;
    bracket.h = h;
  }
  else if(Step_Accepts(positions, k, x, &h))
  {
    bracket.kind = TBracket::INSIDE;
    bracket.index = k;
    bracket.h = h;
  }
  else if(std::fabs(x - last) <= std::fabs(x - first))
  {
    // A hair beyond an end by rounding: extrapolate along the nearer end, as the table walk does.
    bracket.kind = TBracket::AFTER_LAST;
    bracket.index = count - 1;
    bracket.numerator = x - last;
    bracket.denominator = positions[count - 2] - last;
  }
  else
  {
    bracket.kind = TBracket::BEFORE_FIRST;
    bracket.numerator = x - first;
    bracket.denominator = positions[1] - first;
  }
  return bracket;
}
} // namespace

TMachineStandardComp::TMachineStandardComp()
{
  std::fill(d_column_state, d_column_state + COLUMN_COUNT, COLUMN_EMPTY);
}

void TMachineStandardComp::Initialize(int axis)
{
  VARLUME_ASSERT(!(d_axis_end < d_axis_start));
  VARLUME_ASSERT(!(d_math_origin < d_axis_start || d_math_origin > d_axis_end));
  VARLUME_ASSERT(!(d_mechanical_origin < d_axis_start || d_mechanical_origin > d_axis_end));

  const int size = TABLE_INTERVALS + 1;
  d_position_data.assign(size, 0.0);
  d_angular_data.assign(size, TVector3());
  d_linear_data.assign(size, TVector3());
  d_rx_data.assign(size, TVector2());
  d_ry_data.assign(size, TVector2());
  d_rz_data.assign(size, TVector2());
  d_lx_data.assign(size, TVector2());
  d_ly_data.assign(size, TVector2());
  d_lz_data.assign(size, TVector2());

  // Accumulated, so the last position lies at the end of travel only up to rounding.
  const double step = (d_axis_end - d_axis_start) / static_cast<double>(TABLE_INTERVALS);
  double position = d_axis_start;
  for(int i = 0; i < size; ++i)
  {
    d_position_data[i] = position;
    position += step;
  }

  d_rx_sign = 1;
  d_ry_sign = 1;
  d_rz_sign = 1;
  d_scale_sign = 1;
  d_quad_sign = 1;
  d_quad = 0.0;
  d_axis = axis;

  std::fill(d_column_state, d_column_state + COLUMN_COUNT, COLUMN_EMPTY);
  Update_Lookup();
}

void TMachineStandardComp::Set_Rx(const QString& expression, int sign)
{
  Set_Rx(Evaluate_Expression(expression), sign);
}

void TMachineStandardComp::Set_Ry(const QString& expression, int sign)
{
  Set_Ry(Evaluate_Expression(expression), sign);
}

void TMachineStandardComp::Set_Rz(const QString& expression, int sign)
{
  Set_Rz(Evaluate_Expression(expression), sign);
}

void TMachineStandardComp::Set_Scale(const QString& expression, int sign)
{
  Set_Scale(Evaluate_Expression(expression), sign);
}

TMachineAxisValues TMachineStandardComp::Evaluate_Expression(const QString& expression) const
{
  TMachineAxisValues result;
  result.expression = expression;
  result.axis_start = d_axis_start;
  result.axis_end = d_axis_end;
  result.values.reserve(d_position_data.size());

  TExpression evaluator;
  for(const double position : d_position_data)
  {
    evaluator.Add_Variable(QStringLiteral("L"), position / 1000.0);

    bool ok = false;
    const double value = evaluator.Evaluate(expression, &ok);
    // A value that is not finite (division by zero, root of a negative number) would poison
    // every interpolation; it fails like an expression that does not evaluate.
    if(!ok || !std::isfinite(value))
    {
      break;
    }
    result.values.push_back(value);
  }
  return result;
}

void TMachineStandardComp::Set_Rx(const TMachineAxisValues& values, int sign)
{
  Set_Angular(COLUMN_RX, values, QStringLiteral("Rx expression '%1' invalid"));
  d_rx_sign = sign;
}

void TMachineStandardComp::Set_Ry(const TMachineAxisValues& values, int sign)
{
  Set_Angular(COLUMN_RY, values, QStringLiteral("Ry expression '%1' invalid"));
  d_ry_sign = sign;
}

void TMachineStandardComp::Set_Rz(const TMachineAxisValues& values, int sign)
{
  Set_Angular(COLUMN_RZ, values, QStringLiteral("Rz expression '%1' invalid"));
  d_rz_sign = sign;
}

void TMachineStandardComp::Set_Angular(int column, const TMachineAxisValues& values, const QString& message)
{
  std::vector<TVector2>& pairs = Column(column);
  VARLUME_ASSERT(d_position_data.size() == pairs.size());
  VARLUME_ASSERT(d_position_data.size() == d_angular_data.size());
  VARLUME_ASSERT(values.values.size() <= d_position_data.size());
  VARLUME_ASSERT(values.axis_start == d_axis_start && values.axis_end == d_axis_end);

  // The entries up to the failing position are written, that one reads 0.
  const int size = static_cast<int>(d_position_data.size());
  const int written = static_cast<int>(values.values.size());
  for(int i = 0; i < written; ++i)
  {
    d_angular_data[i](column - COLUMN_RX) = values.values[i];
    pairs[i] = TVector2(d_position_data[i], values.values[i]);
  }
  if(written < size)
  {
    d_angular_data[written](column - COLUMN_RX) = 0.0;
    Mark_Partly_Written(column, written);
    throw TMachineAxisException(message.arg(values.expression));
  }
  d_column_state[column] = COLUMN_POSITIONS;
}

void TMachineStandardComp::Mark_Partly_Written(int column, int written)
{
  // New pairs in front of old ones: still the table positions only when the old pairs were.
  if(written > 0 && d_column_state[column] != COLUMN_POSITIONS)
  {
    d_column_state[column] = COLUMN_OTHER;
  }
}

void TMachineStandardComp::Set_Scale(const TMachineAxisValues& values, int sign)
{
  const int component = Own_Component();
  QString message;
  switch(d_axis)
  {
  case AXIS_X:
    message = QStringLiteral("X scale expression '%1' invalid");
    break;
  case AXIS_Y:
    message = QStringLiteral("Y scale expression '%1' invalid");
    break;
  case AXIS_Z:
    message = QStringLiteral("Z scale expression '%1' invalid");
    break;
  default:
    message = QStringLiteral("Scale expression '%1' invalid");
    break;
  }

  // A table of no known axis has no column along itself: the expression is still checked.
  const int column = component < 0 ? -1 : COLUMN_LX + component;
  if(column >= 0)
  {
    VARLUME_ASSERT(d_position_data.size() == Column(column).size());
  }
  VARLUME_ASSERT(d_position_data.size() == d_linear_data.size());
  VARLUME_ASSERT(values.values.size() <= d_position_data.size());
  VARLUME_ASSERT(values.axis_start == d_axis_start && values.axis_end == d_axis_end);

  const int size = static_cast<int>(d_position_data.size());
  const int written = static_cast<int>(values.values.size());
  if(column >= 0)
  {
    std::vector<TVector2>& pairs = Column(column);
    for(int i = 0; i < written; ++i)
    {
      d_linear_data[i](component) = values.values[i];
      pairs[i] = TVector2(d_position_data[i], values.values[i]);
    }
  }
  if(written < size)
  {
    if(column >= 0)
    {
      d_linear_data[written](component) = 0.0;
      Mark_Partly_Written(column, written);
    }
    throw TMachineAxisException(message.arg(values.expression));
  }
  if(column >= 0)
  {
    d_column_state[column] = COLUMN_POSITIONS;
  }
  d_scale_sign = sign;
}

void TMachineStandardComp::Set_Quad(const double& value, int sign)
{
  d_quad = value;
  d_quad_sign = sign;
}

void TMachineStandardComp::Calculate_Straightness(TStraightnessParameterMode mode)
{
  // Angular component read, sign factor, linear component written, message.
  int source = 0;
  int factor = 1;
  int target = 0;
  QString message;
  switch(mode)
  {
  case STRAIGHTNESS_X_FROM_RY:
    source = 1;
    factor = d_ry_sign;
    target = 0;
    message = QStringLiteral("X straightness from Ry not solvable");
    break;
  case STRAIGHTNESS_X_FROM_RZ:
    source = 2;
    factor = d_axis == AXIS_Y ? -d_rz_sign : d_rz_sign;
    target = 0;
    message = QStringLiteral("X straightness from Rz not solvable");
    break;
  case STRAIGHTNESS_Y_FROM_RX:
    source = 0;
    factor = d_axis == AXIS_Z ? -d_rx_sign : d_rx_sign;
    target = 1;
    message = QStringLiteral("Y straightness from Rx not solvable");
    break;
  case STRAIGHTNESS_Y_FROM_RZ:
    source = 2;
    factor = d_rz_sign;
    target = 1;
    message = QStringLiteral("Y straightness from Rz not solvable");
    break;
  case STRAIGHTNESS_Z_FROM_RX:
    source = 0;
    factor = d_rx_sign;
    target = 2;
    message = QStringLiteral("Z straightness from Rx not solvable");
    break;
  case STRAIGHTNESS_Z_FROM_RY:
    source = 1;
    factor = d_axis == AXIS_X ? -d_ry_sign : d_ry_sign;
    target = 2;
    message = QStringLiteral("Z straightness from Ry not solvable");
    break;
  default:
    return;
  }

  const int size = static_cast<int>(d_position_data.size());
  VARLUME_ASSERT(d_position_data.size() == d_angular_data.size());

  // A rigid carriage that tilts while it travels: integrate the slope, taking the angle at the
  // end of each step.
  std::vector<TVector2> str_data;
  str_data.reserve(size);
  double value = 0.0;
  for(int i = 0; i < size; ++i)
  {
    if(i > 0)
    {
      value = value + (d_position_data[i] - d_position_data[i - 1]) * d_angular_data[i](source) / 1000.0 *
                          static_cast<double>(factor);
    }
    str_data.push_back(TVector2(d_position_data[i], value));
  }
  VARLUME_ASSERT(str_data.size() == d_linear_data.size());

  double zero_value = 0.0;
  if(!Extrapolation::Get_Value(str_data, 0.0, &zero_value))
  {
    throw TMachineAxisException(message);
  }
  for(TVector2& point : str_data)
  {
    point.y -= zero_value;
  }

  double slope = 0.0;
  if(!Regression::Get_Slope_Through_Zero(str_data, &slope))
  {
    throw TMachineAxisException(message);
  }
  for(TVector2& point : str_data)
  {
    point.y = point.y - slope * point.x;
  }

  for(int i = 0; i < size; ++i)
  {
    d_linear_data[i](target) = str_data[i].y;
  }
  Column(COLUMN_LX + target) = str_data;
  d_column_state[COLUMN_LX + target] = COLUMN_POSITIONS;
}

void TMachineStandardComp::Data(const double& position, TVector3* angular, TVector3* linear) const
{
  VARLUME_ASSERT(angular);
  VARLUME_ASSERT(linear);

  double values[COLUMN_COUNT];
  if(d_regular_positions)
  {
    const TBracket bracket = Find_Bracket(d_position_data, d_index_scale, position);
    for(int column = 0; column < COLUMN_COUNT; ++column)
    {
      switch(d_column_state[column])
      {
      case COLUMN_EMPTY:
        values[column] = 0.0;
        break;
      case COLUMN_POSITIONS:
        values[column] = bracket.Value(Column(column));
        break;
      case COLUMN_OTHER:
        Extrapolation::Get_Value(Column(column), position, &values[column]);
        break;
      }
    }
  }
  else
  {
    for(int column = 0; column < COLUMN_COUNT; ++column)
    {
      Extrapolation::Get_Value(Column(column), position, &values[column]);
    }
  }

  *angular = TVector3(values[COLUMN_RX], values[COLUMN_RY], values[COLUMN_RZ]);
  *linear = TVector3(values[COLUMN_LX], values[COLUMN_LY], values[COLUMN_LZ]);
}

void TMachineStandardComp::Data(int index, double* position, TVector3* angular, TVector3* linear) const
{
  VARLUME_ASSERT(position);
  VARLUME_ASSERT(angular);
  VARLUME_ASSERT(linear);
  VARLUME_ASSERT(static_cast<unsigned int>(index) < d_position_data.size());
  VARLUME_ASSERT(static_cast<unsigned int>(index) < d_angular_data.size());
  VARLUME_ASSERT(static_cast<unsigned int>(index) < d_linear_data.size());

  *position = d_position_data[index];
  *angular = d_angular_data[index];
  *linear = d_linear_data[index];
}

void TMachineStandardComp::Update_Lookup()
{
  d_regular_positions = false;
  d_index_scale = 0.0;

  const int count = static_cast<int>(d_position_data.size());
  if(count < 2)
  {
    return;
  }

  double smallest = 0.0;
  double largest = 0.0;
  for(int k = 0; k + 1 < count; ++k)
  {
    const double step = d_position_data[k + 1] - d_position_data[k];
    if(!(step > STEP_MINIMUM))
    {
      return;
    }
    smallest = k == 0 ? step : std::min(smallest, step);
    largest = k == 0 ? step : std::max(largest, step);
  }
  if(!(largest <= smallest * STEP_RATIO_MAXIMUM))
  {
    return;
  }

  const double span = d_position_data[count - 1] - d_position_data[0];
  d_index_scale = static_cast<double>(count - 1) / span;
  d_regular_positions = std::isfinite(d_index_scale);
}

int TMachineStandardComp::Own_Component() const
{
  switch(d_axis)
  {
  case AXIS_X:
    return 0;
  case AXIS_Y:
    return 1;
  case AXIS_Z:
    return 2;
  default:
    break;
  }
  return -1;
}

std::vector<TVector2>& TMachineStandardComp::Column(int column)
{
  switch(column)
  {
  case COLUMN_RX:
    return d_rx_data;
  case COLUMN_RY:
    return d_ry_data;
  case COLUMN_RZ:
    return d_rz_data;
  case COLUMN_LX:
    return d_lx_data;
  case COLUMN_LY:
    return d_ly_data;
  case COLUMN_LZ:
    return d_lz_data;
  default:
    break;
  }
  VARLUME_ASSERT(false);
}

const std::vector<TVector2>& TMachineStandardComp::Column(int column) const
{
  return const_cast<TMachineStandardComp*>(this)->Column(column);
}

void TMachineDeflectionComp::Set_Vertical_Axis(const double& start, const double& end, const double& origin)
{
  d_vertical_minimum = std::min(start, end);
  d_vertical_maximum = std::max(start, end);
  d_vertical_origin = origin;
}

void TMachineDeflectionComp::Set_Horizontal_Axis(const double& start, const double& end, const double& origin)
{
  d_horizontal_minimum = std::min(start, end);
  d_horizontal_maximum = std::max(start, end);
  d_horizontal_origin = origin;
}

void TMachineDeflectionComp::Initialize(const double& deflection, int sign)
{
  d_deflection = deflection;
  d_sign = sign > 0 ? 1 : -1;
}

bool TMachineDeflectionComp::Is_Valid() const
{
  if(!(d_vertical_maximum - d_vertical_minimum >= 1.0) || !(d_horizontal_maximum - d_horizontal_minimum >= 1.0))
  {
    return false;
  }
  if(!(d_vertical_origin >= d_vertical_minimum && d_vertical_origin <= d_vertical_maximum))
  {
    return false;
  }
  return d_horizontal_origin >= d_horizontal_minimum && d_horizontal_origin <= d_horizontal_maximum;
}

double TMachineDeflectionComp::Evaluate(const double& vertical, const double& horizontal) const
{
  const double vertical_range = d_vertical_maximum - d_vertical_minimum;
  const double horizontal_range = d_horizontal_maximum - d_horizontal_minimum;
  if(vertical_range < DEFLECTION_RANGE_MINIMUM || horizontal_range < DEFLECTION_RANGE_MINIMUM)
  {
    throw TMachineAxisException(QStringLiteral("Deflection axis range invalid."));
  }
  return ((vertical - d_vertical_origin) / vertical_range) * d_deflection *
         ((horizontal - d_horizontal_origin) / horizontal_range - 0.5);
}
