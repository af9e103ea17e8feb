// The single-parameter patterns of the compensation evaluation, reduced to the largest deviation
// of each kind of test.

#include "src/model/sensitivity.h"

#include <cmath>

#include "core/varlume_assert.h"
#include "src/model/evaluation.h"
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

void Take_Extremes(const std::vector<TMeasurement*>& measurements, Sensitivity::TRow* row)
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
TResult Compute(const Simulation::TMachineRecord& record, std::vector<TMeasurement*> measurements,
                const TProgress& progress)
{
  TResult result;
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
    Simulation::Apply_Error_Item(&machine, *single.item);
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
    Take_Extremes(measurements, &row);
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

QByteArray Csv(const std::vector<TRow>& rows)
{
  QByteArray text("parameter,ballbar_mm,iso_mm,mcg_mm,laser_mm\n");
  for(const TRow& row : rows)
  {
    QString line = Plot_Series::Csv_Field(row.code);
    for(int kind = 0; kind < KIND_COUNT; ++kind)
    {
      line += QLatin1Char(',');
      if(row.present[kind])
      {
        line += Plot_Series::Number_Text(row.value[kind]);
      }
    }
    text += line.toUtf8();
    text += '\n';
  }
  return text;
}
} // namespace Sensitivity
