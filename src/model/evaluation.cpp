// Patterns, extremes and the text of the evaluation file. The loop over the patterns is in
// evaluation_run.cpp.

#include "src/model/evaluation.h"

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

// Extremes over the rows of one kind. relative_length is the nominal length above which a
// row's error is divided by it for the comparison; 0 compares absolute errors.
bool Min_Max(const std::vector<TMeasurement*>& measurements, Types::TMeasurementType type, bool relative,
             double relative_length, double* min, double* max, double* min_length, double* max_length)
{
  *min = 0.0;
  *max = 0.0;
  *min_length = 0.0;
  *max_length = 0.0;
  double min_nominal = 0.0;
  double max_nominal = 0.0;
  bool found = false;

  for(const TMeasurement* measurement : measurements)
  {
    VARLUME_ASSERT(measurement);
    if(measurement->Type() != type)
    {
      continue;
    }
    for(const TMeasurement::TMeasurementItem& row : measurement->d_measurement_items)
    {
      double error = row.length_actual - row.length_nominal;
      if(relative && row.length_nominal > relative_length)
      {
        error /= row.length_nominal;
      }
      if(!found)
      {
        found = true;
        *min = *max = error;
        *min_length = *max_length = row.length_actual;
        min_nominal = max_nominal = row.length_nominal;
      }
      else if(error > *max)
      {
        *max = error;
        *max_length = row.length_actual;
        max_nominal = row.length_nominal;
      }
      else if(error < *min)
      {
        *min = error;
        *min_length = row.length_actual;
        min_nominal = row.length_nominal;
      }
    }
  }

  // Chosen by relative size, reported as absolute errors.
  if(found && relative)
  {
    if(max_nominal > relative_length)
    {
      *max *= max_nominal;
    }
    if(min_nominal > relative_length)
    {
      *min *= min_nominal;
    }
  }
  return found;
}

// In each function, so that a failure names the function that was misused.
#define CHECK_MIN_MAX_POINTERS()                                                                                       \
  VARLUME_ASSERT(machine);                                                                                             \
  VARLUME_ASSERT(measurements);                                                                                        \
  VARLUME_ASSERT(min);                                                                                                 \
  VARLUME_ASSERT(max);                                                                                                 \
  VARLUME_ASSERT(min_length);                                                                                          \
  VARLUME_ASSERT(max_length)

using TMinMax = bool (*)(const TMachineComp*, const std::vector<TMeasurement*>*, double*, double*, double*, double*);

// Column order of the file.
const TMinMax GROUPS[4] = {Evaluation::Get_Min_Max_Ballbar_Error, Evaluation::Get_Min_Max_ISO_Error,
                           Evaluation::Get_Min_Max_MCG_Error, Evaluation::Get_Min_Max_Laser_Error};
} // namespace

namespace Evaluation
{
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
  return Min_Max(*measurements, Types::MEASUREMENT_BALLBAR, false, 0.0, min, max, min_length, max_length);
}

bool Get_Min_Max_ISO_Error(const TMachineComp* machine, const std::vector<TMeasurement*>* measurements, double* min,
                           double* max, double* min_length, double* max_length)
{
  CHECK_MIN_MAX_POINTERS();
  return Min_Max(*measurements, Types::MEASUREMENT_ISO, true, ISO_RELATIVE_LENGTH, min, max, min_length, max_length);
}

bool Get_Min_Max_MCG_Error(const TMachineComp* machine, const std::vector<TMeasurement*>* measurements, double* min,
                           double* max, double* min_length, double* max_length)
{
  CHECK_MIN_MAX_POINTERS();
  return Min_Max(*measurements, Types::MEASUREMENT_MCG, false, 0.0, min, max, min_length, max_length);
}

bool Get_Min_Max_Laser_Error(const TMachineComp* machine, const std::vector<TMeasurement*>* measurements, double* min,
                             double* max, double* min_length, double* max_length)
{
  CHECK_MIN_MAX_POINTERS();
  return Min_Max(*measurements, Types::MEASUREMENT_LASER, true, LASER_RELATIVE_LENGTH, min, max, min_length,
                 max_length);
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
  switch(item.parameter)
  {
  case PARAMETER_QXY:
    return QStringLiteral("QXY");
  case PARAMETER_QYZ:
    return QStringLiteral("QYZ");
  case PARAMETER_QZX:
    return QStringLiteral("QZX");
  default:
    break;
  }

  QString axis;
  switch(item.axis)
  {
  case AXIS_X:
    axis = QStringLiteral("X Axis");
    break;
  case AXIS_Y:
    axis = QStringLiteral("Y Axis");
    break;
  case AXIS_Z:
    axis = QStringLiteral("Z Axis");
    break;
  case AXIS_D:
    axis = QStringLiteral("D Axis");
    break;
  default:
    // Only a hand-made file puts an angle or a scale among the squareness values.
    axis = QStringLiteral("Squareness");
    break;
  }

  QString parameter;
  switch(item.parameter)
  {
  case PARAMETER_RX:
    parameter = QStringLiteral("Rx");
    break;
  case PARAMETER_RY:
    parameter = QStringLiteral("Ry");
    break;
  case PARAMETER_RZ:
    parameter = QStringLiteral("Rz");
    break;
  case PARAMETER_SCALE:
    parameter = QStringLiteral("Scale");
    break;
  default:
    parameter = QStringLiteral("Deflection");
    break;
  }
  return axis + QLatin1Char(' ') + parameter;
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
  QString line;
  line.reserve(256);
  line += Report::Pad_String(code, CODE_WIDTH, false);
  line += QLatin1Char('|');
  for(const TMinMax min_max : GROUPS)
  {
    double min = 0.0;
    double max = 0.0;
    double min_length = 0.0;
    double max_length = 0.0;
    if(min_max(machine, measurements, &min, &max, &min_length, &max_length))
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
