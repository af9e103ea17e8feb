// Matching measured sets with the measurement records they belong to.

#include <cmath>

#include "src/model/export.h"
#include "src/model/identify_stages.h"

namespace
{
using TItem = TMeasurement::TMeasurementItem;

// Nominal data in the files are written with 4 or 5 decimals.
const double NOMINAL_TOLERANCE = 1e-3;
// Sphere centres and gauge points are actual positions: they lie near the nominal ones.
const double ACTUAL_TOLERANCE = 1.0;

double Distance(const TVector3& a, const TVector3& b)
{
  const TVector3 difference = a - b;
  return difference.Length();
}

// Whether the measured rows lie on the record's nominal points; the reason when not.
QString Check_Rows(const Measured::TSet& set, const TMeasurement& record)
{
  const std::vector<TItem>& items = record.d_measurement_items;
  const std::size_t count = items.size();
  const auto rows_differ = [&](std::size_t expected)
  {
    return QStringLiteral("%1 rows, the measurement '%2' has %3")
        .arg(set.readings.size())
        .arg(record.d_name)
        .arg(expected);
  };
  const QString nominal_differs =
      QStringLiteral("rows do not match the nominal points of the measurement '%1'").arg(record.d_name);
  switch(set.kind)
  {
  case Measured::TKind::BALLBAR:
  {
    if(set.readings.size() != 1)
    {
      return rows_differ(1);
    }
    const Measured::TReading& reading = set.readings.front();
    if(Distance(reading.target, items[0].reference_nominal + record.d_probe_offset) > ACTUAL_TOLERANCE ||
       Distance(reading.second, items[0].point_nominal + record.d_probe_offset) > ACTUAL_TOLERANCE)
    {
      return nominal_differs;
    }
    return QString();
  }
  case Measured::TKind::LASER:
    if(set.readings.size() != 2 * count)
    {
      return rows_differ(2 * count);
    }
    for(std::size_t index = 0; index < set.readings.size(); ++index)
    {
      const Measured::TReading& reading = set.readings[index];
      const bool forward = index < count;
      const std::size_t item = forward ? index : 2 * count - 1 - index;
      if(reading.forward != forward ||
         Distance(reading.target, items[item].point_nominal + record.d_probe_offset) > NOMINAL_TOLERANCE)
      {
        return nominal_differs;
      }
    }
    return QString();
  case Measured::TKind::ISO:
  {
    if(set.readings.size() != 3 * count)
    {
      return rows_differ(3 * count);
    }
    const TVector3 direction = items[0].axis_nominal;
    const double base = items[0].reference_nominal ^ direction;
    for(std::size_t index = 0; index < set.readings.size(); ++index)
    {
      const Measured::TReading& reading = set.readings[index];
      const std::size_t item = index / 3;
      const double nominal = (items[item].point_nominal ^ direction) - base;
      if(reading.point != static_cast<int>(item) + 1 || std::fabs(reading.target.x - nominal) > NOMINAL_TOLERANCE)
      {
        return nominal_differs;
      }
    }
    return QString();
  }
  case Measured::TKind::MCG:
  {
    if(set.readings.size() != count)
    {
      return rows_differ(count);
    }
    const TVector3 centre = items[0].reference_nominal;
    if(Distance(set.pivot, centre + record.d_probe_offset) > NOMINAL_TOLERANCE)
    {
      return nominal_differs;
    }
    for(std::size_t index = 0; index < count; ++index)
    {
      if(Distance(set.readings[index].target, items[index].point_nominal - centre) > ACTUAL_TOLERANCE)
      {
        return nominal_differs;
      }
    }
    return QString();
  }
  }
  return QString();
}
} // namespace

namespace Identify
{
int Find_Record(const std::vector<std::unique_ptr<TMeasurement>>& records, const Measured::TSet& set)
{
  for(std::size_t index = 0; index < records.size(); ++index)
  {
    if(records[index]->d_name == set.name)
    {
      return static_cast<int>(index);
    }
  }
  // The name as the export writes it into a ball bar row (control characters replaced,
  // Latin-1) or a file name, where a name that an earlier measurement's file already took
  // carries a number from 2 on.
  const auto written = [&set](const TMeasurement& record)
  {
    return set.kind == Measured::TKind::BALLBAR ? QString::fromLatin1(Export::Row_Name(record.d_name).toLatin1())
                                                : Export::Safe_File_Name(record.d_name);
  };
  for(std::size_t index = 0; index < records.size(); ++index)
  {
    if(written(*records[index]) == set.name)
    {
      return static_cast<int>(index);
    }
  }
  const int blank = set.name.lastIndexOf(QLatin1Char(' '));
  bool numbered = false;
  const int number = blank > 0 ? set.name.mid(blank + 1).toInt(&numbered) : 0;
  if(set.kind != Measured::TKind::BALLBAR && numbered && number >= 2)
  {
    const QString base = set.name.left(blank);
    int count = 0;
    for(std::size_t index = 0; index < records.size(); ++index)
    {
      if(written(*records[index]) == base && ++count == number)
      {
        return static_cast<int>(index);
      }
    }
  }
  return -1;
}

QString Add_Observations(const Measured::TSet& set, int set_index, const TMeasurement& record, int measurement,
                         std::vector<TObservation>* observations)
{
  if(record.d_measurement_items.empty())
  {
    return QStringLiteral("the measurement '%1' expands into no rows").arg(record.d_name);
  }
  if(Distance(set.probe, record.d_probe_offset) > NOMINAL_TOLERANCE)
  {
    return QStringLiteral("probe offset differs from the measurement '%1'").arg(record.d_name);
  }
  const QString reason = Check_Rows(set, record);
  if(!reason.isEmpty())
  {
    return reason;
  }
  std::vector<TObservation> added = Record_Observations(record, measurement);
  // Record_Observations lists the readings of a row together, in the file's row order.
  const std::size_t per_row = set.kind == Measured::TKind::LASER ? 6 : 1;
  for(std::size_t index = 0; index < added.size(); ++index)
  {
    const Measured::TReading& reading = set.readings[index / per_row];
    TObservation& observation = added[index];
    observation.set = set_index;
    observation.line = reading.line;
    switch(set.kind)
    {
    case Measured::TKind::LASER:
      observation.measured = reading.values[index % per_row];
      break;
    case Measured::TKind::MCG:
      // The gauge reports the arm end from the nominal pivot: its length is what is compared.
      observation.measured = reading.target.Length();
      break;
    default:
      observation.measured = reading.values[0];
      break;
    }
  }
  observations->insert(observations->end(), added.begin(), added.end());
  return QString();
}
} // namespace Identify
