// Read-only views of the error model: the table reports of the machine map pane and the
// angles and deviation split used by the measurement reports and exports.

#include <cmath>
#include <vector>

#include "core/interpolation.h"
#include "src/model/machinecomp.h"

namespace
{
const int RULE_WIDTH = 78;

// cos(5 degrees): a measuring line counts as along an axis within this angle.
const double ALONG_AXIS = 0.996194698091746;
// cos(45 degrees): decides which side of a vertical line the probe points to.
const double PROBE_ALONG_X = 0.707106781186548;

QString Rule()
{
  return QString(RULE_WIDTH, QLatin1Char('-'));
}

// Not a number is refused as well: stepping by it would never pass the far end. An infinite
// increment is usable and gives the one row at the end nearer to zero.
bool Increment_Usable(const double& increment)
{
  return increment >= 1.0;
}

// Report positions: from the end of travel nearer to zero towards the other end, the far end
// only when it falls on the step. Stops as well when a step no longer changes the position
// (an increment below the resolution of a far-off travel), which would otherwise never end,
// and after TMachineComp::MAXIMUM_MAP_ROWS positions, setting truncated when more would follow.
std::vector<double> Report_Positions(const double& first, const double& last, const double& increment, bool* truncated)
{
  *truncated = false;
  std::vector<double> positions;
  const bool downwards = std::fabs(last) <= std::fabs(first);
  const double step = downwards ? -increment : increment;
  const double origin = downwards ? last : first;
  // origin + i * step, not a running sum: a sum carries its rounding into every later position
  // (317.00000000000006 in a CSV) and can drop a far end that lies on the step.
  double position = origin;
  for(long long i = 1; downwards ? position >= first : position <= last; ++i)
  {
    if(positions.size() >= static_cast<std::size_t>(TMachineComp::MAXIMUM_MAP_ROWS))
    {
      *truncated = true;
      break;
    }
    positions.push_back(position);
    const double next = origin + static_cast<double>(i) * step;
    if(next == position)
    {
      break;
    }
    position = next;
  }
  return positions;
}

QString Truncation_Line()
{
  return QStringLiteral("Rows after the first %1 are not shown: use a larger increment.")
      .arg(TMachineComp::MAXIMUM_MAP_ROWS);
}

double Value_At(const std::vector<TVector2>& points, const double& position)
{
  double value = 0.0;
  Extrapolation::Get_Value(points, position, &value);
  return value;
}
} // namespace

std::vector<double> TMachineComp::Map_Positions(const double& first, const double& last, const double& increment)
{
  if(!Increment_Usable(increment))
  {
    return std::vector<double>();
  }
  bool truncated = false;
  return Report_Positions(first, last, increment, &truncated);
}

QStringList TMachineComp::Map_Data_X(const double& increment) const
{
  return Map_Data_Axis(AXIS_X, increment);
}

QStringList TMachineComp::Map_Data_Y(const double& increment) const
{
  return Map_Data_Axis(AXIS_Y, increment);
}

QStringList TMachineComp::Map_Data_Z(const double& increment) const
{
  return Map_Data_Axis(AXIS_Z, increment);
}

QStringList TMachineComp::Map_Data_Axis(int axis, const double& increment) const
{
  QStringList lines;
  if(d_initializing || !Increment_Usable(increment))
  {
    return lines;
  }
  const TMachineStandardComp* table = Axis_Table(axis);
  if(!table || table->Data_Size() < 1)
  {
    return lines;
  }

  // The stored rows, as the expressions and the integration gave them (no sign options).
  const int size = table->Data_Size();
  std::vector<TVector2> rx, ry, rz, lx, ly, lz;
  rx.reserve(size);
  ry.reserve(size);
  rz.reserve(size);
  lx.reserve(size);
  ly.reserve(size);
  lz.reserve(size);
  for(int i = 0; i < size; ++i)
  {
    double position = 0.0;
    TVector3 angular;
    TVector3 linear;
    table->Data(i, &position, &angular, &linear);
    rx.push_back(TVector2(position, angular.x));
    ry.push_back(TVector2(position, angular.y));
    rz.push_back(TVector2(position, angular.z));
    lx.push_back(TVector2(position, linear.x));
    ly.push_back(TVector2(position, linear.y));
    lz.push_back(TVector2(position, linear.z));
  }

  switch(axis)
  {
  case AXIS_X:
    lines.append(QStringLiteral("X Axis Data"));
    break;
  case AXIS_Y:
    lines.append(QStringLiteral("Y Axis Data"));
    break;
  default:
    lines.append(QStringLiteral("Z Axis Data"));
    break;
  }
  lines.append(Rule());
  lines.append(QStringLiteral("     Pos         Lx         Ly         Lz         Rx         Ry         Rz"));
  lines.append(Rule());

  bool truncated = false;
  for(const double& position : Report_Positions(rx.front().x, rx.back().x, increment, &truncated))
  {
    lines.append(QStringLiteral("%1 %2 %3 %4 %5 %6 %7")
                     .arg(position, 10, 'f', 1)
                     .arg(Value_At(lx, position), 10, 'f', 4)
                     .arg(Value_At(ly, position), 10, 'f', 4)
                     .arg(Value_At(lz, position), 10, 'f', 4)
                     .arg(Value_At(rx, position), 10, 'f', 4)
                     .arg(Value_At(ry, position), 10, 'f', 4)
                     .arg(Value_At(rz, position), 10, 'f', 4));
  }
  if(truncated)
  {
    lines.append(Truncation_Line());
  }
  return lines;
}

QStringList TMachineComp::Map_Data_D(const double& increment) const
{
  QStringList lines;
  if(!Increment_Usable(increment))
  {
    return lines;
  }
  if(!d_deflection.Is_Valid())
  {
    Set_Error(QStringLiteral("D axis deflection expression invalid."));
    return lines;
  }

  QString columns;
  switch(d_init_parameters.kinematic)
  {
  case KINEMATIC_XZY:
    lines.append(QStringLiteral("D Axis Data - Rotation of tower around X axis"));
    columns = QStringLiteral("      Z\\Y  ");
    break;
  case KINEMATIC_YZX:
    lines.append(QStringLiteral("D Axis Data - Rotation of tower around Y axis"));
    columns = QStringLiteral("      Z\\X  ");
    break;
  default:
    // A valid tower geometry is only ever set up for these two kinematics.
    return lines;
  }
  lines.append(Rule());

  const double horizontal_minimum = d_deflection.Horizontal_Minimum();
  const double horizontal_maximum = d_deflection.Horizontal_Maximum();
  double horizontal[6];
  for(int k = 0; k < 6; ++k)
  {
    horizontal[k] = horizontal_minimum + k * (horizontal_maximum - horizontal_minimum) / 5;
    columns += QStringLiteral(" %1").arg(horizontal[k], 10, 'f', 1);
  }
  lines.append(columns);
  lines.append(Rule());

  bool truncated = false;
  for(const double& vertical :
      Report_Positions(d_deflection.Vertical_Minimum(), d_deflection.Vertical_Maximum(), increment, &truncated))
  {
    QString line = QStringLiteral(" %1").arg(vertical, 10, 'f', 1);
    for(const double& h : horizontal)
    {
      double value = 0.0;
      try
      {
        value = d_deflection.Evaluate(vertical, h);
      }
      catch(const TMachineAxisException&)
      {
        value = 0.0;
      }
      line += QStringLiteral(" %1").arg(value, 10, 'f', 4);
    }
    lines.append(line);
  }
  if(truncated)
  {
    lines.append(Truncation_Line());
  }
  return lines;
}

QStringList TMachineComp::Map_Data_Quad() const
{
  QStringList lines;
  lines.append(QStringLiteral("Squareness"));
  lines.append(Rule());
  for(const TMachineStandardComp& table : d_axes)
  {
    switch(table.d_axis)
    {
    case AXIS_X:
      lines.append(QStringLiteral("XY: %1").arg(table.d_quad, 0, 'f', 4));
      break;
    case AXIS_Y:
      lines.append(QStringLiteral("YZ: %1").arg(table.d_quad, 0, 'f', 4));
      break;
    case AXIS_Z:
      lines.append(QStringLiteral("ZX: %1").arg(table.d_quad, 0, 'f', 4));
      break;
    default:
      break;
    }
  }
  return lines;
}

TVector3 TMachineComp::Get_Angles_RA_RB_RC(const TVector3& axis_direction, const TVector3& probe_direction,
                                           const TVector3& position) const
{
  const int kinematic = d_init_parameters.kinematic;
  TVector3 angular;
  TVector3 linear;

  if(std::fabs(axis_direction ^ TVector3(1, 0, 0)) > ALONG_AXIS)
  {
    if(const TMachineStandardComp* table = Axis_Table(AXIS_X))
    {
      table->Data(position.x, &angular, &linear);
    }
    if(kinematic == KINEMATIC_YZX)
    {
      angular.y += d_deflection.Evaluate(position.z, position.x);
    }
    return TVector3(angular.z, angular.y, angular.x);
  }

  if(std::fabs(axis_direction ^ TVector3(0, 1, 0)) > ALONG_AXIS)
  {
    if(const TMachineStandardComp* table = Axis_Table(AXIS_Y))
    {
      table->Data(position.y, &angular, &linear);
    }
    if(kinematic == KINEMATIC_XZY)
    {
      angular.x += d_deflection.Evaluate(position.z, position.y);
    }
    return TVector3(angular.z, angular.x, angular.y);
  }

  if(std::fabs(axis_direction ^ TVector3(0, 0, 1)) > ALONG_AXIS)
  {
    if(const TMachineStandardComp* table = Axis_Table(AXIS_Z))
    {
      table->Data(position.z, &angular, &linear);
    }
    if(kinematic == KINEMATIC_XZY)
    {
      angular.x += d_deflection.Evaluate(position.z, position.y);
    }
    else if(kinematic == KINEMATIC_YZX)
    {
      angular.y += d_deflection.Evaluate(position.z, position.x);
    }
    if(std::fabs(probe_direction ^ TVector3(1, 0, 0)) > PROBE_ALONG_X)
    {
      return TVector3(angular.x, angular.y, angular.z);
    }
    return TVector3(angular.y, angular.x, angular.z);
  }

  return TVector3();
}

TMachineComp::TLineReadings TMachineComp::Line_Readings(const TVector3& axis_direction, const TVector3& probe_direction)
{
  // The same tests, in the same order, as the two functions that split the readings.
  TLineReadings readings;
  if(std::fabs(axis_direction ^ TVector3(1, 0, 0)) > ALONG_AXIS)
  {
    return TLineReadings{AXIS_X, AXIS_Y, AXIS_Z, AXIS_Z, AXIS_Y};
  }
  if(std::fabs(axis_direction ^ TVector3(0, 1, 0)) > ALONG_AXIS)
  {
    return TLineReadings{AXIS_Y, AXIS_X, AXIS_Z, AXIS_Z, AXIS_X};
  }
  if(std::fabs(axis_direction ^ TVector3(0, 0, 1)) > ALONG_AXIS)
  {
    const bool probe_along_x = std::fabs(probe_direction ^ TVector3(1, 0, 0)) > PROBE_ALONG_X;
    return probe_along_x ? TLineReadings{AXIS_Z, AXIS_Y, AXIS_X, AXIS_X, AXIS_Y}
                         : TLineReadings{AXIS_Z, AXIS_X, AXIS_Y, AXIS_Y, AXIS_X};
  }
  return readings;
}

TVector3 TMachineComp::Calculate_Scale_XX_YY_Error(const TVector3& axis_direction, const TVector3& probe_direction,
                                                   const TVector3& nominal, const TVector3& actual) const
{
  const TVector3 deviation = actual - nominal;
  const double scale = deviation ^ axis_direction;

  TVector3 u1;
  TVector3 u2;
  if(std::fabs(axis_direction ^ TVector3(1, 0, 0)) > ALONG_AXIS)
  {
    u1 = TVector3(0, 1, 0);
    u2 = TVector3(0, 0, 1);
  }
  else if(std::fabs(axis_direction ^ TVector3(0, 1, 0)) > ALONG_AXIS)
  {
    u1 = TVector3(1, 0, 0);
    u2 = TVector3(0, 0, 1);
  }
  else if(std::fabs(axis_direction ^ TVector3(0, 0, 1)) > ALONG_AXIS)
  {
    // A vertical line reports the deviation across the probe direction as XX.
    if(std::fabs(probe_direction ^ TVector3(1, 0, 0)) <= PROBE_ALONG_X)
    {
      u1 = TVector3(1, 0, 0);
      u2 = TVector3(0, 1, 0);
    }
    else
    {
      u1 = TVector3(0, 1, 0);
      u2 = TVector3(1, 0, 0);
    }
  }
  else
  {
    return TVector3(scale, 0, 0);
  }
  return TVector3(scale, deviation ^ u1, deviation ^ u2);
}
