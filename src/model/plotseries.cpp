// The error curves of the machine, the result rows of the measurements and their CSV text.

#include "src/model/plotseries.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

#include "core/interpolation.h"
#include "core/varlume_assert.h"

namespace
{
// Degrees per radian.
const double DEGREES = 57.29577951308233;
const int AXES[3] = {AXIS_X, AXIS_Y, AXIS_Z};

// The six (position, value) lists of a table, in the order Lx, Ly, Lz, Rx, Ry, Rz: what the map
// report interpolates in.
std::array<std::vector<TVector2>, 6> Table_Columns(const TMachineStandardComp& table)
{
  std::array<std::vector<TVector2>, 6> columns;
  const int size = table.Data_Size();
  for(std::vector<TVector2>& column : columns)
  {
    column.reserve(static_cast<std::size_t>(size));
  }
  for(int i = 0; i < size; ++i)
  {
    double position = 0.0;
    TVector3 angular;
    TVector3 linear;
    table.Data(i, &position, &angular, &linear);
    const double values[6] = {linear.x, linear.y, linear.z, angular.x, angular.y, angular.z};
    for(int c = 0; c < 6; ++c)
    {
      columns[static_cast<std::size_t>(c)].push_back(TVector2(position, values[c]));
    }
  }
  return columns;
}

Plot_Series::TErrorSample Sample(const std::array<std::vector<TVector2>, 6>& columns, double position)
{
  double values[6];
  for(int c = 0; c < 6; ++c)
  {
    values[c] = 0.0;
    Extrapolation::Get_Value(columns[static_cast<std::size_t>(c)], position, &values[c]);
  }
  Plot_Series::TErrorSample sample;
  sample.position = position;
  sample.linear = TVector3(values[0], values[1], values[2]);
  sample.angular = TVector3(values[3], values[4], values[5]);
  return sample;
}

// The tables of the axes in X, Y, Z order, each sampled at its table positions and at extra.
std::vector<Plot_Series::TAxisErrors> Axis_Errors(const TMachineComp& machine, const double* increments)
{
  std::vector<Plot_Series::TAxisErrors> result;
  if(machine.Is_Initializing())
  {
    return result;
  }
  for(int a = 0; a < 3; ++a)
  {
    const TMachineStandardComp* table = machine.Axis_Table(AXES[a]);
    if(!table || table->Data_Size() < 1)
    {
      continue;
    }
    const std::array<std::vector<TVector2>, 6> columns = Table_Columns(*table);
    // The table's positions as start + i * step: the table sums its steps, and its rounding
    // (90.00000000000001) would show in the CSV and keep a map position of the same place apart.
    std::vector<double> positions;
    const std::size_t nodes = columns[0].size();
    const double step = nodes > 1 ? (table->d_axis_end - table->d_axis_start) / static_cast<double>(nodes - 1) : 0.0;
    for(std::size_t i = 0; i < nodes; ++i)
    {
      positions.push_back(i + 1 == nodes && nodes > 1 ? table->d_axis_end
                                                      : table->d_axis_start + static_cast<double>(i) * step);
    }
    if(increments)
    {
      const std::vector<double> map =
          TMachineComp::Map_Positions(table->d_axis_start, table->d_axis_end, increments[a]);
      positions.insert(positions.end(), map.begin(), map.end());
      std::sort(positions.begin(), positions.end());
      positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    }

    Plot_Series::TAxisErrors axis;
    axis.axis = AXES[a];
    axis.samples.reserve(positions.size());
    for(const double position : positions)
    {
      axis.samples.push_back(Sample(columns, position));
    }
    result.push_back(std::move(axis));
  }
  return result;
}

Plot_Series::TMeasurementResult Measurement_Result(const TMachineComp& machine, const TMeasurement& measurement)
{
  Plot_Series::TMeasurementResult result;
  result.name = measurement.d_name;
  result.id = measurement.d_id;
  result.type = measurement.Type();

  std::vector<Report::TLaserRow> laser;
  std::vector<Export::TLaserReading> readings;
  if(result.type == Types::MEASUREMENT_LASER)
  {
    laser = Report::Laser_Rows(machine, measurement);
    readings = Export::Laser_Readings(machine, measurement);
    result.laser_names = Report::Laser_Reading_Names(measurement);
  }
  const std::vector<TMeasurement::TMeasurementItem>& items = measurement.d_measurement_items;
  result.rows.reserve(items.size());
  for(std::size_t i = 0; i < items.size(); ++i)
  {
    const TMeasurement::TMeasurementItem& item = items[i];
    Plot_Series::TResultRow row;
    row.index = static_cast<int>(i);
    row.nominal = item.length_nominal;
    row.actual = item.length_actual;
    row.deviation = item.length_actual - item.length_nominal;
    // The points were simulated with the probe offset apart; the volume test sees them alone.
    row.outside = !machine.Inside_Volume(item.reference_nominal) || !machine.Inside_Volume(item.point_nominal);
    if(i < laser.size())
    {
      row.laser = laser[i];
    }
    if(i < readings.size())
    {
      row.reading = readings[i];
    }
    if(result.type == Types::MEASUREMENT_MCG)
    {
      const TVector3& direction = item.axis_nominal;
      row.elevation = std::asin(std::clamp(direction.z, -1.0, 1.0)) * DEGREES;
      double azimuth = std::atan2(direction.y, direction.x) * DEGREES;
      if(azimuth < 0.0)
      {
        azimuth += 360.0;
      }
      row.azimuth = azimuth;
    }
    result.rows.push_back(row);
  }
  return result;
}

void Append_Line(QByteArray* text, const QStringList& fields)
{
  *text += fields.join(QLatin1Char(',')).toUtf8();
  *text += '\n';
}
} // namespace

namespace Plot_Series
{
QString Axis_Name(int axis)
{
  switch(axis)
  {
  case AXIS_X:
    return QStringLiteral("X");
  case AXIS_Y:
    return QStringLiteral("Y");
  case AXIS_Z:
    return QStringLiteral("Z");
  default:
    break;
  }
  return QString();
}

std::vector<TAxisErrors> Axis_Error_Table(const TMachineComp& machine)
{
  return Axis_Errors(machine, nullptr);
}

std::vector<TAxisErrors> Axis_Error_Curves(const TMachineComp& machine, const double increments[3])
{
  VARLUME_ASSERT(increments);
  return Axis_Errors(machine, increments);
}

TMachineNotes Machine_Notes(const TMachineComp& machine)
{
  TMachineNotes notes;
  const struct
  {
    int axis;
    const char* name;
  } holders[3] = {{AXIS_X, "XY"}, {AXIS_Y, "YZ"}, {AXIS_Z, "ZX"}};
  for(const auto& holder : holders)
  {
    if(const TMachineStandardComp* table = machine.Axis_Table(holder.axis))
    {
      notes.squareness.push_back({QLatin1String(holder.name), table->d_quad});
    }
  }

  // The tower is modelled on horizontal-arm machines only, as the map's deflection grid is.
  const int kinematic = machine.Init_Parameters().kinematic;
  const TMachineDeflectionComp& deflection = machine.Deflection_Table();
  if((kinematic == KINEMATIC_XZY || kinematic == KINEMATIC_YZX) && deflection.Is_Valid())
  {
    notes.has_deflection = true;
    notes.deflection = deflection.Deflection();
    notes.deflection_sign = deflection.Sign();
    notes.deflection_axis = kinematic == KINEMATIC_XZY ? QStringLiteral("X") : QStringLiteral("Y");
  }
  return notes;
}

std::vector<TMeasurementResult> Results(const TMachineComp& machine, const std::vector<TMeasurement*>& measurements)
{
  std::vector<TMeasurementResult> results;
  for(const TMeasurement* measurement : measurements)
  {
    VARLUME_ASSERT(measurement);
    if(measurement->Type() != Types::MEASUREMENT_BALLBAR)
    {
      results.push_back(Measurement_Result(machine, *measurement));
    }
  }
  // The results tab lists a ball bar in its summary only when it holds its one row.
  for(const TMeasurement* measurement : measurements)
  {
    if(measurement->Type() == Types::MEASUREMENT_BALLBAR && measurement->d_measurement_items.size() == 1)
    {
      results.push_back(Measurement_Result(machine, *measurement));
    }
  }
  return results;
}

QString Kind_Name(Types::TMeasurementType type)
{
  switch(type)
  {
  case Types::MEASUREMENT_BALLBAR:
    return QStringLiteral("ballbar");
  case Types::MEASUREMENT_ISO:
    return QStringLiteral("iso");
  case Types::MEASUREMENT_LASER:
    return QStringLiteral("laser");
  case Types::MEASUREMENT_MCG:
    return QStringLiteral("mcg");
  }
  return QString();
}

QString Number_Text(double value)
{
  // std::to_chars without a format gives the shortest text that reads back exactly, in the C
  // locale whatever the user's.
  char buffer[64];
  const std::to_chars_result result = std::to_chars(buffer, buffer + sizeof(buffer), value);
  return QString::fromLatin1(buffer, static_cast<int>(result.ptr - buffer));
}

QString Csv_Field(const QString& text)
{
  if(!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n')) &&
     !text.contains(QLatin1Char('\r')))
  {
    return text;
  }
  QString quoted = text;
  quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
  return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QByteArray Errors_Csv(const std::vector<TAxisErrors>& axes)
{
  QByteArray text("axis,position_mm,Lx_mm,Ly_mm,Lz_mm,Rx_mm_per_m,Ry_mm_per_m,Rz_mm_per_m\n");
  for(const TAxisErrors& axis : axes)
  {
    const QString name = Axis_Name(axis.axis);
    for(const TErrorSample& sample : axis.samples)
    {
      Append_Line(&text, {name, Number_Text(sample.position), Number_Text(sample.linear.x),
                          Number_Text(sample.linear.y), Number_Text(sample.linear.z), Number_Text(sample.angular.x),
                          Number_Text(sample.angular.y), Number_Text(sample.angular.z)});
    }
  }
  return text;
}

QByteArray Results_Csv(const std::vector<TMeasurementResult>& results)
{
  QByteArray text("measurement,kind,row,nominal_mm,actual_mm,deviation_mm,xx_mm,yy_mm,ra_mm_per_m,rb_mm_per_m,"
                  "rc_mm_per_m,azimuth_deg,elevation_deg\n");
  for(const TMeasurementResult& result : results)
  {
    const QString name = Csv_Field(result.name);
    const QString kind = Kind_Name(result.type);
    for(const TResultRow& row : result.rows)
    {
      QStringList fields = {name,
                            kind,
                            QString::number(row.index + 1),
                            Number_Text(row.nominal),
                            Number_Text(row.actual),
                            Number_Text(row.deviation)};
      const bool laser = result.type == Types::MEASUREMENT_LASER;
      const bool mcg = result.type == Types::MEASUREMENT_MCG;
      const Export::TLaserReading& reading = row.reading;
      for(const double value :
          {reading.straightness.y, reading.straightness.z, reading.angles.x, reading.angles.y, reading.angles.z})
      {
        fields.push_back(laser ? Number_Text(value) : QString());
      }
      fields.push_back(mcg ? Number_Text(row.azimuth) : QString());
      fields.push_back(mcg ? Number_Text(row.elevation) : QString());
      Append_Line(&text, fields);
    }
  }
  return text;
}
} // namespace Plot_Series
