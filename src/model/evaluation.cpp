// Patterns, extremes and the text of the evaluation file. The loop over the patterns is in
// evaluation_run.cpp.

#include "src/model/evaluation.h"

#include "src/model/machine_labels.h"

#include "core/varlume_assert.h"
#include "src/model/report.h"

namespace
{
// Rows at least this long are compared relative to their nominal length.
const double ISO_RELATIVE_LENGTH = 1.0;
const double LASER_RELATIVE_LENGTH = 10.0;

const char* const HEADER_1 =
    "                                                                  |                  Ball "
    "Bar                   |                ISO 10360-2                |                    "
    "MCG                    |                   Laser                   |";
const char* const HEADER_2 = " Active Compensation Parameters                                       Min Error  Max "
                             "Error   Min Len    Max Len   Min Error  Max Error   Min Len    Max Len   Min Error  Max "
                             "Error   Min Len    Max Len   Min Error  Max Error   Min Len    Max Len";
const char* const NO_ROWS = "   --------   --------  ---------  ---------";

// Extremes over the rows of one kind, in list order.
Evaluation::TExtremes Extremes(const std::vector<TMeasurement*>& measurements, int kind)
{
  const Types::TMeasurementType type = Evaluation::Kind_Type(kind);
  Evaluation::TExtremes extremes = Evaluation::Kind_Extremes(kind);
  for(const TMeasurement* measurement : measurements)
  {
    VARLUME_ASSERT(measurement);
    if(measurement->Type() != type)
    {
      continue;
    }
    for(const TMeasurement::TMeasurementItem& row : measurement->d_measurement_items)
    {
      extremes.Add(row.length_nominal, row.length_actual);
    }
  }
  return extremes;
}

bool Min_Max(const std::vector<TMeasurement*>& measurements, int kind, double* min, double* max, double* min_length,
             double* max_length)
{
  return Extremes(measurements, kind).Get(min, max, min_length, max_length);
}

// In each function, so that a failure names the function that was misused.
#define CHECK_MIN_MAX_POINTERS()                                                                                       \
  VARLUME_ASSERT(machine);                                                                                             \
  VARLUME_ASSERT(measurements);                                                                                        \
  VARLUME_ASSERT(min);                                                                                                 \
  VARLUME_ASSERT(max);                                                                                                 \
  VARLUME_ASSERT(min_length);                                                                                          \
  VARLUME_ASSERT(max_length)

// Column order of the file.
const Types::TMeasurementType KIND_TYPES[Evaluation::KIND_COUNT] = {Types::MEASUREMENT_BALLBAR, Types::MEASUREMENT_ISO,
                                                                    Types::MEASUREMENT_MCG, Types::MEASUREMENT_LASER};
const int BALLBAR = 0;
const int ISO = 1;
const int MCG = 2;
const int LASER = 3;
} // namespace

namespace Evaluation
{
bool TExtremes::Get(double* min, double* max, double* min_length, double* max_length) const
{
  *min = d_min;
  *max = d_max;
  *min_length = d_min_length;
  *max_length = d_max_length;
  // Chosen by relative size, reported as absolute errors.
  if(d_found && d_relative)
  {
    if(d_max_nominal > d_relative_length)
    {
      *max *= d_max_nominal;
    }
    if(d_min_nominal > d_relative_length)
    {
      *min *= d_min_nominal;
    }
  }
  return d_found;
}

Types::TMeasurementType Kind_Type(int kind)
{
  VARLUME_ASSERT(kind >= 0 && kind < KIND_COUNT);
  return KIND_TYPES[kind];
}

TExtremes Kind_Extremes(int kind)
{
  VARLUME_ASSERT(kind >= 0 && kind < KIND_COUNT);
  if(kind == ISO)
  {
    return TExtremes(ISO_RELATIVE_LENGTH);
  }
  if(kind == LASER)
  {
    return TExtremes(LASER_RELATIVE_LENGTH);
  }
  return TExtremes();
}

std::vector<TErrorPattern> Get_Evaluation_Error_Patterns(const std::vector<TErrorItem>& items)
{
  std::vector<TErrorPattern> patterns;
  const int count = static_cast<int>(items.size());
  if(count == 0 || count > MAXIMUM_PARAMETERS)
  {
    return patterns;
  }
  const int pattern_count = 1 << count;
  patterns.resize(static_cast<std::size_t>(pattern_count));
  for(int k = 0; k < pattern_count; ++k)
  {
    const int mask = k + 1;
    for(int j = 0; j < count; ++j)
    {
      if(mask & (1 << j))
      {
        patterns[static_cast<std::size_t>(k)].push_back(items[static_cast<std::size_t>(j)]);
      }
    }
  }
  return patterns;
}

bool Get_Min_Max_Ballbar_Error(const TMachineComp* machine, const std::vector<TMeasurement*>* measurements, double* min,
                               double* max, double* min_length, double* max_length)
{
  CHECK_MIN_MAX_POINTERS();
  return Min_Max(*measurements, BALLBAR, min, max, min_length, max_length);
}

bool Get_Min_Max_ISO_Error(const TMachineComp* machine, const std::vector<TMeasurement*>* measurements, double* min,
                           double* max, double* min_length, double* max_length)
{
  CHECK_MIN_MAX_POINTERS();
  return Min_Max(*measurements, ISO, min, max, min_length, max_length);
}

bool Get_Min_Max_MCG_Error(const TMachineComp* machine, const std::vector<TMeasurement*>* measurements, double* min,
                           double* max, double* min_length, double* max_length)
{
  CHECK_MIN_MAX_POINTERS();
  return Min_Max(*measurements, MCG, min, max, min_length, max_length);
}

bool Get_Min_Max_Laser_Error(const TMachineComp* machine, const std::vector<TMeasurement*>* measurements, double* min,
                             double* max, double* min_length, double* max_length)
{
  CHECK_MIN_MAX_POINTERS();
  return Min_Max(*measurements, LASER, min, max, min_length, max_length);
}

const char* Item_Code(const TErrorItem& item, int kinematic)
{
  // Codes of Rx, Ry, Rz and scale by axis X, Y, Z.
  static const char* const AXIS_CODES[4][3] = {
      {"RXX|", "RYX|", "RZX|"}, {"RXY|", "RYY|", "RZY|"}, {"RXZ|", "RYZ|", "RZZ|"}, {"LXX|", "LYY|", "LZZ|"}};
  int axis_index = -1;
  switch(item.axis)
  {
  case AXIS_X:
    axis_index = 0;
    break;
  case AXIS_Y:
    axis_index = 1;
    break;
  case AXIS_Z:
    axis_index = 2;
    break;
  default:
    break;
  }

  int parameter_index = -1;
  switch(item.parameter)
  {
  case PARAMETER_RX:
    parameter_index = 0;
    break;
  case PARAMETER_RY:
    parameter_index = 1;
    break;
  case PARAMETER_RZ:
    parameter_index = 2;
    break;
  case PARAMETER_SCALE:
    parameter_index = 3;
    break;
  case PARAMETER_QXY:
    return "QXY|";
  case PARAMETER_QYZ:
    return "QYZ|";
  case PARAMETER_QZX:
    return "QZX|";
  case PARAMETER_DEFLECTION:
    if(item.axis != AXIS_D)
    {
      return nullptr;
    }
    // Only a horizontal-arm machine has a tower that leans.
    if(kinematic == KINEMATIC_XZY)
    {
      return "RXD|";
    }
    if(kinematic == KINEMATIC_YZX)
    {
      return "RYD|";
    }
    return nullptr;
  default:
    return nullptr;
  }
  return axis_index < 0 ? nullptr : AXIS_CODES[parameter_index][axis_index];
}

QString Item_Label(const TErrorItem& item)
{
  return Machine_Labels::Parameter_Label(item.axis, item.parameter);
}

QString Heading(const QString& machine_name, const std::vector<TErrorItem>& items)
{
  QString text = QStringLiteral("Test Machine: %1\n").arg(machine_name);
  text += QStringLiteral("Machine Errors\n");
  for(const TErrorItem& item : items)
  {
    // The tower and the squareness hold plain numbers, the linear axes expressions.
    const bool number = item.axis == AXIS_D || item.axis == AXIS_SQUARENESS;
    text += Item_Label(item);
    text +=
        number ? QStringLiteral(": %1\n").arg(item.value, 0, 'f', 4) : QStringLiteral(": %1\n").arg(item.expression);
  }
  text += QStringLiteral("\n\n");
  text += QLatin1String(HEADER_1) + QLatin1Char('\n');
  text += QLatin1String(HEADER_2) + QLatin1Char('\n');
  text += QString(RULE_WIDTH, QLatin1Char('-')) + QLatin1Char('\n');
  return text;
}

QString Result_Line(const QString& code, const TMachineComp* machine, const std::vector<TMeasurement*>* measurements)
{
  VARLUME_ASSERT(machine);
  VARLUME_ASSERT(measurements);
  TExtremes kinds[KIND_COUNT];
  for(int kind = 0; kind < KIND_COUNT; ++kind)
  {
    kinds[kind] = Extremes(*measurements, kind);
  }
  return Result_Line(code, kinds);
}

QString Result_Line(const QString& code, const TExtremes (&kinds)[KIND_COUNT])
{
  QString line;
  line.reserve(256);
  line += Report::Pad_String(code, CODE_WIDTH, false);
  line += QLatin1Char('|');
  for(const TExtremes& extremes : kinds)
  {
    double min = 0.0;
    double max = 0.0;
    double min_length = 0.0;
    double max_length = 0.0;
    if(extremes.Get(&min, &max, &min_length, &max_length))
    {
      // " %1 %2 %3 %4" one number at a time: the same text without rescanning the line.
      const QString number = QStringLiteral(" %1");
      line += number.arg(min, 10, 'f', 6);
      line += number.arg(max, 10, 'f', 6);
      line += number.arg(min_length, 10, 'f', 4);
      line += number.arg(max_length, 10, 'f', 4);
    }
    else
    {
      line += QLatin1String(NO_ROWS);
    }
  }
  line += QLatin1Char('\n');
  return line;
}
} // namespace Evaluation
