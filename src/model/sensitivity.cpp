// The single-parameter patterns of the compensation evaluation, reduced to the largest deviation
// of each kind of test.

#include "src/model/sensitivity.h"

#include <algorithm>
#include <cmath>

#include "core/varlume_assert.h"
#include "src/model/evaluation.h"
#include "src/model/export.h"
#include "src/model/plotseries.h"

namespace
{
int Kind(Types::TMeasurementType type)
{
  switch(type)
  {
  case Types::MEASUREMENT_BALLBAR:
    return Sensitivity::KIND_BALLBAR;
  case Types::MEASUREMENT_ISO:
    return Sensitivity::KIND_ISO;
  case Types::MEASUREMENT_MCG:
    return Sensitivity::KIND_MCG;
  case Types::MEASUREMENT_LASER:
    return Sensitivity::KIND_LASER;
  }
  return Sensitivity::KIND_BALLBAR;
}

// The largest |residual| of the values after the least-squares line through them.
double Largest_Residual(const std::vector<double>& positions, const std::vector<double>& values)
{
  const double count = static_cast<double>(positions.size());
  double mean_position = 0.0;
  double mean_value = 0.0;
  for(std::size_t i = 0; i < positions.size(); ++i)
  {
    mean_position += positions[i] / count;
    mean_value += values[i] / count;
  }
  double spread = 0.0;
  double product = 0.0;
  for(std::size_t i = 0; i < positions.size(); ++i)
  {
    spread += (positions[i] - mean_position) * (positions[i] - mean_position);
    product += (positions[i] - mean_position) * (values[i] - mean_value);
  }
  const double slope = spread > 0.0 ? product / spread : 0.0;
  double largest = 0.0;
  for(std::size_t i = 0; i < positions.size(); ++i)
  {
    largest = std::max(largest, std::fabs(values[i] - mean_value - slope * (positions[i] - mean_position)));
  }
  return largest;
}

// Straightness and angles of the laser runs, rows outside the volume left out.
void Take_Laser_Readings(const TMachineComp& machine, const TMeasurement& measurement, Sensitivity::TRow* row)
{
  const std::vector<TMeasurement::TMeasurementItem>& items = measurement.d_measurement_items;
  const std::vector<Export::TLaserReading> readings = Export::Laser_Readings(machine, measurement);
  std::vector<double> positions;
  std::vector<double> across[2];
  for(std::size_t i = 0; i < items.size() && i < readings.size(); ++i)
  {
    const TMeasurement::TMeasurementItem& item = items[i];
    if(!machine.Inside_Volume(item.reference_nominal) || !machine.Inside_Volume(item.point_nominal))
    {
      continue;
    }
    const Export::TLaserReading& reading = readings[i];
    positions.push_back((item.point_nominal ^ item.axis_nominal) - (item.reference_nominal ^ item.axis_nominal));
    across[0].push_back(reading.straightness.y);
    across[1].push_back(reading.straightness.z);
    for(const double angle : {reading.angles.x, reading.angles.y, reading.angles.z})
    {
      row->laser_angle = std::max(row->laser_angle, std::fabs(angle));
    }
    row->laser_present = true;
  }
  if(!positions.empty())
  {
    for(const std::vector<double>& values : across)
    {
      row->laser_straightness = std::max(row->laser_straightness, Largest_Residual(positions, values));
    }
  }
}

void Take_Extremes(const TMachineComp& machine, const std::vector<TMeasurement*>& measurements, Sensitivity::TRow* row)
{
  for(const TMeasurement* measurement : measurements)
  {
    const int kind = Kind(measurement->Type());
    for(const TMeasurement::TMeasurementItem& item : measurement->d_measurement_items)
    {
      const double deviation = std::fabs(item.length_actual - item.length_nominal);
      if(!row->present[kind] || deviation > row->value[kind])
      {
        row->value[kind] = deviation;
      }
      row->present[kind] = true;
    }
    if(kind == Sensitivity::KIND_LASER)
    {
      Take_Laser_Readings(machine, *measurement, row);
    }
  }
}

// Puts the rows that the measurements held back, whatever happens in between.
class TKeptRows
{
public:
  explicit TKeptRows(std::vector<TMeasurement*>& measurements) : d_measurements(measurements)
  {
    for(const TMeasurement* measurement : measurements)
    {
      VARLUME_ASSERT(measurement);
      d_rows.emplace_back(measurement->d_measurement_items, measurement->d_outside_volume);
    }
  }

  ~TKeptRows()
  {
    for(std::size_t m = 0; m < d_measurements.size(); ++m)
    {
      d_measurements[m]->d_measurement_items = d_rows[m].first;
      d_measurements[m]->d_outside_volume = d_rows[m].second;
    }
  }

  TKeptRows(const TKeptRows&) = delete;
  TKeptRows& operator=(const TKeptRows&) = delete;

private:
  std::vector<TMeasurement*>& d_measurements;
  std::vector<std::pair<std::vector<TMeasurement::TMeasurementItem>, bool>> d_rows;
};
} // namespace

namespace Sensitivity
{
Evaluation::TErrorItem Unit_Item(const Evaluation::TErrorItem& item, const Simulation::TMachineRecord& record)
{
  // 1 µm or 1 µrad in the model's units: mm for scale, mm/m for angles.
  const double unit = 0.001;
  Evaluation::TErrorItem unit_item = item;
  unit_item.sign = 1;
  unit_item.value = unit;
  const int axis = item.axis == AXIS_Y ? 1 : item.axis == AXIS_Z ? 2 : 0;
  const double start = axis == 0 ? record.axis_start.x : axis == 1 ? record.axis_start.y : record.axis_start.z;
  const double end = axis == 0 ? record.axis_end.x : axis == 1 ? record.axis_end.y : record.axis_end.z;
  // The expressions see L in metres; the end of travel farther from the axis zero.
  const double far = (std::fabs(end) >= std::fabs(start) ? end : start) / 1000.0;
  // In parentheses: the expressions take no sign straight after an operator.
  unit_item.expression = std::fabs(far) > 1e-9 ? QStringLiteral("(%1)*L").arg(QString::number(unit / far, 'g', 17))
                                               : QString::number(unit);
  return unit_item;
}

bool All_Zero(const std::vector<TRow>& rows)
{
  for(const TRow& row : rows)
  {
    for(int kind = 0; kind < KIND_COUNT; ++kind)
    {
      if(row.present[kind] && row.value[kind] != 0.0)
      {
        return false;
      }
    }
    if(row.laser_present && (row.laser_straightness != 0.0 || row.laser_angle != 0.0))
    {
      return false;
    }
  }
  return true;
}

TResult Compute(const Simulation::TMachineRecord& record, std::vector<TMeasurement*> measurements,
                const TProgress& progress, TScale scale)
{
  TResult result;
  result.scale = scale;
  TMachineComp::TInitParameters parameters;
  if(!Simulation::Init_Parameters(record, &parameters))
  {
    result.end = TEnd::REFUSED;
    result.message = QStringLiteral("unknown kinematic order");
    return result;
  }
  TMachineComp geometry;
  if(!geometry.Initialize_Begin(parameters))
  {
    result.end = TEnd::REFUSED;
    result.message = geometry.Last_Error();
    return result;
  }

  struct TSingle
  {
    const Evaluation::TErrorItem* item;
    const char* code;
  };
  std::vector<TSingle> singles;
  for(const Evaluation::TErrorItem& item : record.error_items)
  {
    if(const char* code = Evaluation::Item_Code(item, parameters.kinematic))
    {
      singles.push_back({&item, code});
    }
  }
  const int count = static_cast<int>(singles.size());

  const TKeptRows kept(measurements);
  // The values depend on the volume only, which no error parameter changes.
  Simulation::Evaluate_Measurement_Expressions(&geometry, &measurements, nullptr);

  TMachineComp machine;
  QStringList errors;
  for(int k = 0; k < count; ++k)
  {
    if(progress && !progress(k, count))
    {
      result.end = TEnd::CANCELLED;
      return result;
    }
    const TSingle& single = singles[static_cast<std::size_t>(k)];
    machine.Initialize_Begin(parameters);
    // As in the evaluation, a parameter whose set-up fails part way is simulated with what the
    // model made of it.
    Simulation::Apply_Error_Item(&machine, scale == TScale::PER_UNIT ? Unit_Item(*single.item, record) : *single.item);
    try
    {
      machine.Initialize_End();
    }
    catch(const TMachineAxisException& exception)
    {
      result.end = TEnd::STOPPED;
      result.message = exception.Message();
      return result;
    }
    errors.clear();
    if(!Simulation::Update_Measurement_Items(&machine, &measurements, &errors))
    {
      result.end = TEnd::STOPPED;
      result.message = errors.isEmpty() ? QString() : errors.back();
      return result;
    }

    TRow row;
    row.code = QString::fromLatin1(single.code).remove(QLatin1Char('|'));
    row.label = Evaluation::Item_Label(*single.item);
    Take_Extremes(machine, measurements, &row);
    if(scale == TScale::PER_UNIT)
    {
      row.unit = single.item->parameter == PARAMETER_SCALE ? QString::fromUtf8("µm") : QString::fromUtf8("µrad");
    }
    result.rows.push_back(row);
  }
  if(progress)
  {
    progress(count, count);
  }
  return result;
}

QString Kind_Title(int kind)
{
  switch(kind)
  {
  case KIND_BALLBAR:
    return QStringLiteral("Ball Bar");
  case KIND_ISO:
    return QStringLiteral("ISO 10360-2");
  case KIND_MCG:
    return QStringLiteral("MCG");
  case KIND_LASER:
    return QStringLiteral("Laser");
  default:
    break;
  }
  return QString();
}

QByteArray Csv(const std::vector<TRow>& rows, TScale scale)
{
  const bool per_unit = scale == TScale::PER_UNIT;
  // Per unit is a file of its own kind, in µm and µrad; the other keeps the model's mm and mm/m.
  QByteArray text(per_unit
                      ? "parameter,unit,ballbar_um,iso_um,mcg_um,laser_um,laser_straightness_um,laser_angle_urad\n"
                      : "parameter,ballbar_mm,iso_mm,mcg_mm,laser_mm,laser_straightness_mm,laser_angle_mm_per_m\n");
  // The values are mm and mm/m; 1000 of a unit is exact in double only for the rounding of the
  // product, so the text is the shortest of the scaled value.
  const auto number = [per_unit](double value) { return Plot_Series::Number_Text(per_unit ? value * 1000.0 : value); };
  for(const TRow& row : rows)
  {
    QString line = Plot_Series::Csv_Field(row.code);
    if(per_unit)
    {
      line += QLatin1Char(',') + row.unit;
    }
    for(int kind = 0; kind < KIND_COUNT; ++kind)
    {
      line += QLatin1Char(',');
      if(row.present[kind])
      {
        line += number(row.value[kind]);
      }
    }
    for(const double value : {row.laser_straightness, row.laser_angle})
    {
      line += QLatin1Char(',');
      if(row.laser_present)
      {
        line += number(value);
      }
    }
    text += line.toUtf8();
    text += '\n';
  }
  return text;
}
} // namespace Sensitivity
