// Report lines of the measurement pane: one block per ISO test, laser run and MCG sweep, and
// the ball bar summary. The selection and map panes are in report_panes.cpp.

#include "src/model/report.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/varlume_assert.h"
#include "src/model/textformat.h"

namespace
{
// Degrees per radian. Deliberately this literal, one unit in the last place above 180 / M_PI:
// the angle columns of the stored reports were made with it.
const double DEGREES = 57.29577951308233;
// A horizontal probe part shorter than this points nowhere: the probe counts as vertical.
const double MINIMUM_PROBE_LENGTH = 1e-6;

using TItem = TMeasurement::TMeasurementItem;

using Text::Append_Number;
using Text::Number;

// "label" followed by "x, y, z" without field width.
QString Vector_Line(const char* label, const TVector3& vector, int decimals)
{
  return QLatin1String(label) + Text::Triple(vector, decimals, ", ");
}

QString Rule(int width)
{
  return QString(width, QLatin1Char('-'));
}

QString Name_Line(const TMeasurement& measurement)
{
  QString line = QLatin1String("Name:           ") + measurement.d_name;
  if(measurement.d_outside_volume)
  {
    line += QLatin1String("  Note:  outside of machine volume");
  }
  return line;
}

// Smallest and largest of a column, starting from the first row's value.
class TExtremes
{
public:
  void Add(double value)
  {
    if(d_empty)
    {
      d_minimum = d_maximum = value;
      d_empty = false;
      return;
    }
    if(value < d_minimum)
    {
      d_minimum = value;
    }
    if(value > d_maximum)
    {
      d_maximum = value;
    }
  }

  double Minimum() const { return d_minimum; }
  double Maximum() const { return d_maximum; }

private:
  bool d_empty = true;
  double d_minimum = 0.0;
  double d_maximum = 0.0;
};

// The length along the line of an ISO or laser row: nominal, actual and their difference.
struct TLineDeviation
{
  double nominal;
  double actual;
  double deviation;
};

TLineDeviation Line_Deviation(const TItem& item)
{
  const TVector3& axis = item.axis_nominal;
  TLineDeviation result;
  result.nominal = (item.point_nominal ^ axis) - (item.reference_nominal ^ axis);
  result.actual = (item.point_actual ^ axis) - (item.reference_actual ^ axis);
  result.deviation = result.actual - result.nominal;
  return result;
}

// Name, probe offset, start and test axis of an ISO or laser block.
void Add_Line_Heading(const TMeasurement& measurement, const TItem& first, QStringList* lines)
{
  lines->push_back(Name_Line(measurement));
  lines->push_back(Vector_Line("Probe Offset:   ", first.probe_offset, 4));
  lines->push_back(Vector_Line("Start Position: ", first.reference_nominal + first.probe_offset, 4));
  lines->push_back(Vector_Line("Test Axis:      ", first.axis_nominal, 9));
  lines->push_back(QString());
}

void Add_Closing(const char* maximum_label, const char* minimum_label, const TExtremes& extremes, QStringList* lines)
{
  lines->push_back(QString());
  lines->push_back(QLatin1String(maximum_label) + Number(extremes.Maximum(), 7, 4));
  lines->push_back(QLatin1String(minimum_label) + Number(extremes.Minimum(), 7, 4));
  lines->push_back(QString());
}

QStringList ISO_Report(const TMeasurement& measurement)
{
  QStringList lines;
  lines.reserve(static_cast<int>(measurement.d_measurement_items.size()) + 16);
  lines.push_back(QStringLiteral("ISO 10360-2 Measurement"));
  lines.push_back(Rule(Report::RULE_WIDTH));

  TExtremes extremes;
  for(const TItem& item : measurement.d_measurement_items)
  {
    if(lines.size() == 2)
    {
      Add_Line_Heading(measurement, item, &lines);
      lines.push_back(QStringLiteral("   Nominal     Actual      Dev"));
      lines.push_back(Rule(Report::RULE_WIDTH));
    }
    const TLineDeviation deviation = Line_Deviation(item);
    QString line;
    Append_Number(&line, deviation.nominal, 10, 4);
    line += QLatin1Char(' ');
    Append_Number(&line, deviation.actual, 10, 4);
    line += QLatin1Char(' ');
    Append_Number(&line, deviation.deviation, 10, 4);
    lines.push_back(line);
    extremes.Add(deviation.deviation);
  }
  Add_Closing("Max Error: ", "Min Error: ", extremes, &lines);
  return lines;
}

QStringList Laser_Report(const TMachineComp& machine, const TMeasurement& measurement)
{
  QStringList lines;
  lines.reserve(static_cast<int>(measurement.d_measurement_items.size()) + 16);
  lines.push_back(QStringLiteral("Laser Measurement"));
  lines.push_back(Rule(Report::RULE_WIDTH));

  if(!measurement.d_measurement_items.empty())
  {
    Add_Line_Heading(measurement, measurement.d_measurement_items.front(), &lines);
    lines.push_back(
        QStringLiteral("  Scale Nom  Scale Act  Scale Dev      XX         YY         Ra         Rb         Rc"));
    lines.push_back(Rule(Report::RULE_WIDTH));
  }
  TExtremes extremes;
  for(const Report::TLaserRow& row : Report::Laser_Rows(machine, measurement))
  {
    const double columns[8] = {
        row.scale_nominal, row.scale_actual, row.scale_deviation, row.xx, row.yy, row.ra, row.rb, row.rc};
    QString line;
    line.reserve(8 * 11);
    for(int column = 0; column < 8; ++column)
    {
      if(column > 0)
      {
        line += QLatin1Char(' ');
      }
      Append_Number(&line, columns[column], 10, 4);
    }
    lines.push_back(line);
    extremes.Add(row.scale_deviation);
  }
  Add_Closing("Max Scale Error: ", "Min Scale Error: ", extremes, &lines);
  return lines;
}

QStringList MCG_Report(const TMeasurement& measurement)
{
  QStringList lines;
  lines.reserve(static_cast<int>(measurement.d_measurement_items.size()) + 16);
  lines.push_back(QStringLiteral("MCG Measurement"));
  lines.push_back(Rule(Report::RULE_WIDTH));

  TExtremes extremes;
  for(const TItem& item : measurement.d_measurement_items)
  {
    if(lines.size() == 2)
    {
      lines.push_back(Name_Line(measurement));
      lines.push_back(Vector_Line("Probe Offset:    ", item.probe_offset, 4));
      lines.push_back(Vector_Line("Center Position: ", item.reference_nominal + item.probe_offset, 4));
      lines.push_back(QString());
      lines.push_back(QStringLiteral("  Elevation   Azimuth     Length     Error"));
      lines.push_back(Rule(Report::RULE_WIDTH));
    }
    const TVector3& direction = item.axis_actual;
    const double elevation = std::asin(std::clamp(direction.z, -1.0, 1.0)) * DEGREES;
    // A simulated direction straight up or down has no azimuth; it is shown as 0.
    double azimuth = 0.0;
    const double horizontal = std::sqrt(direction.x * direction.x + direction.y * direction.y + 0.0 * 0.0);
    if(horizontal > std::numeric_limits<double>::epsilon())
    {
      azimuth = std::acos(std::clamp(direction.x / horizontal, -1.0, 1.0)) * DEGREES;
      if(direction.y / horizontal < 0.0)
      {
        azimuth = 360.0 - azimuth;
      }
    }
    const double error = item.length_actual - item.length_nominal;

    QString line;
    Append_Number(&line, elevation, 10, 4);
    line += QLatin1Char(' ');
    Append_Number(&line, azimuth, 10, 4);
    line += QLatin1Char(' ');
    Append_Number(&line, item.length_actual, 10, 4);
    line += QLatin1Char(' ');
    Append_Number(&line, error, 10, 4);
    lines.push_back(line);
    extremes.Add(error);
  }
  Add_Closing("Max Length Error: ", "Min Length Error: ", extremes, &lines);
  return lines;
}

QStringList Ballbar_Report(const TMeasurement& measurement)
{
  QStringList lines;
  for(const TItem& item : measurement.d_measurement_items)
  {
    QString line = Report::Pad_String(measurement.d_name, 20, false);
    line += QLatin1Char(' ');
    Append_Number(&line, item.length_actual, 10, 4);
    for(const TVector3& vector :
        {item.reference_actual + item.probe_offset, item.point_actual + item.probe_offset, item.probe_offset})
    {
      for(double value : {vector.x, vector.y, vector.z})
      {
        line += QLatin1Char(' ');
        Append_Number(&line, value, 10, 4);
      }
    }
    if(measurement.d_outside_volume)
    {
      line += QLatin1String("  Note:  outside of machine volume");
    }
    lines.push_back(line);
  }
  return lines;
}

// The horizontal direction of the probe offset, or straight down without one: which side of a
// vertical line the laser reads.
TVector3 Probe_Direction(const TItem& item)
{
  const TVector3 horizontal(item.probe_offset.x, item.probe_offset.y, 0.0);
  const double length = horizontal.Length();
  return length > MINIMUM_PROBE_LENGTH ? TVector3(horizontal.x / length, horizontal.y / length, horizontal.z / length)
                                       : TVector3(0.0, 0.0, -1.0);
}

bool Summarised(const TMeasurement* measurement)
{
  return measurement->Type() == Types::MEASUREMENT_BALLBAR && measurement->d_measurement_items.size() == 1;
}
} // namespace

namespace Report
{
std::vector<TLaserRow> Laser_Rows(const TMachineComp& machine, const TMeasurement& measurement)
{
  std::vector<TLaserRow> rows;
  rows.reserve(measurement.d_measurement_items.size());
  TVector3 probe_direction;
  TVector3 reference_error;
  for(const TItem& item : measurement.d_measurement_items)
  {
    if(rows.empty())
    {
      probe_direction = Probe_Direction(item);
      reference_error = machine.Calculate_Scale_XX_YY_Error(item.axis_nominal, probe_direction, item.reference_nominal,
                                                            item.reference_actual);
    }
    const TLineDeviation deviation = Line_Deviation(item);
    const TVector3 error =
        machine.Calculate_Scale_XX_YY_Error(item.axis_nominal, probe_direction, item.point_nominal, item.point_actual);
    const TVector3 angles = item.point_angles - item.reference_angles;
    TLaserRow row;
    row.scale_nominal = deviation.nominal;
    row.scale_actual = deviation.actual;
    row.scale_deviation = deviation.deviation;
    row.xx = error.y - reference_error.y;
    row.yy = error.z - reference_error.z;
    row.ra = angles.x;
    row.rb = angles.y;
    row.rc = angles.z;
    rows.push_back(row);
  }
  return rows;
}

QStringList Laser_Reading_Names(const TMeasurement& measurement)
{
  QStringList names = {QStringLiteral("XX"), QStringLiteral("YY"), QStringLiteral("Ra"), QStringLiteral("Rb"),
                       QStringLiteral("Rc")};
  if(measurement.d_measurement_items.empty())
  {
    return names;
  }
  const TItem& first = measurement.d_measurement_items.front();
  const TMachineComp::TLineReadings on = TMachineComp::Line_Readings(first.axis_nominal, Probe_Direction(first));
  if(on.line == 0)
  {
    return names;
  }
  const auto letter = [](int axis, bool lower)
  {
    const QString name = axis == AXIS_X   ? QStringLiteral("X")
                         : axis == AXIS_Y ? QStringLiteral("Y")
                                          : QStringLiteral("Z");
    return lower ? name.toLower() : name;
  };
  // A horizontal line turns about the vertical (yaw) and about the other horizontal axis
  // (pitch); a vertical one has no such names, only its two axes.
  const bool vertical = on.line == AXIS_Z;
  names[0] = QStringLiteral("XX (straightness in %1)").arg(letter(on.xx, false));
  names[1] = QStringLiteral("YY (straightness in %1)").arg(letter(on.yy, false));
  names[2] = vertical ? QStringLiteral("Ra (R%1)").arg(letter(on.ra, true))
                      : QStringLiteral("Ra (yaw, R%1)").arg(letter(on.ra, true));
  names[3] = vertical ? QStringLiteral("Rb (R%1)").arg(letter(on.rb, true))
                      : QStringLiteral("Rb (pitch, R%1)").arg(letter(on.rb, true));
  names[4] = QStringLiteral("Rc (roll, R%1)").arg(letter(on.line, true));
  return names;
}

QStringList Measurement_Item(const TMachineComp& machine, const TMeasurement& measurement)
{
  switch(measurement.Type())
  {
  case Types::MEASUREMENT_ISO:
    return ISO_Report(measurement);
  case Types::MEASUREMENT_LASER:
    return Laser_Report(machine, measurement);
  case Types::MEASUREMENT_MCG:
    return MCG_Report(measurement);
  case Types::MEASUREMENT_BALLBAR:
    return Ballbar_Report(measurement);
  }
  return QStringList();
}

QStringList Ballbar_Summary(const std::vector<TMeasurement*>& measurements)
{
  TExtremes extremes;
  double sum = 0.0;
  int count = 0;
  for(const TMeasurement* measurement : measurements)
  {
    VARLUME_ASSERT(measurement);
    if(Summarised(measurement))
    {
      const double length = measurement->d_measurement_items.front().length_actual;
      extremes.Add(length);
      sum += length;
      ++count;
    }
  }
  if(count == 0)
  {
    return QStringList();
  }

  QStringList lines;
  lines.push_back(QStringLiteral("ASME B89 Ballbar Measurement"));
  lines.push_back(Rule(RULE_WIDTH));
  lines.push_back(QLatin1String("Length Min:     ") + Number(extremes.Minimum(), 9, 4));
  lines.push_back(QLatin1String("Length Max:     ") + Number(extremes.Maximum(), 9, 4));
  lines.push_back(QLatin1String("Length Mean:    ") + Number(sum / count, 9, 4));
  lines.push_back(QLatin1String("Length Range:   ") + Number(extremes.Maximum() - extremes.Minimum(), 9, 4));
  lines.push_back(QString());
  lines.push_back(
      QStringLiteral("    Name                 Length    Sph1. X    Sph1. Y   Sph1. Z     Sph2. X    Sph2. Y"
                     "   Sph2. Z     Probe X    Probe Y   Probe Z"));
  lines.push_back(Rule(BALLBAR_RULE_WIDTH));
  for(const TMeasurement* measurement : measurements)
  {
    if(Summarised(measurement))
    {
      lines += Ballbar_Report(*measurement);
    }
  }
  return lines;
}

QStringList Measurement_Results(const TMachineComp& machine, const std::vector<TMeasurement*>& measurements)
{
  QStringList lines;
  for(const TMeasurement* measurement : measurements)
  {
    VARLUME_ASSERT(measurement);
    if(measurement->Type() != Types::MEASUREMENT_BALLBAR)
    {
      lines += Measurement_Item(machine, *measurement);
    }
  }
  lines += Ballbar_Summary(measurements);
  return lines;
}
} // namespace Report
