// Expansion of evaluated measurements into nominal points and their simulation on a machine.

#include <algorithm>
#include <cmath>

#include "core/varlume_assert.h"
#include "src/model/simulation.h"

namespace
{
// Deliberately cut to 6.28318530717959, not 2 * M_PI (6.283185307179586): every MCG point ever
// reported and exported was computed with this value, and the full one moves their last digits.
const double TWO_PI = 6.28318530717959;
// An MCG elevation range narrower than this (radians, about 57.3 degrees) becomes the band
// from -1 to +1 degree. Two degrees and one degree in radians, cut to 15 decimals like TWO_PI
// and for the same reason: keep them as written.
const double MINIMUM_ELEVATION_RANGE = 1.0;
const double NARROW_BAND_RANGE = 0.034906585039886;
const double NARROW_BAND_START = -0.017453292519943;
// Shorter distances have no direction of their own.
const double MINIMUM_DIRECTION_LENGTH = 1e-6;

using TItem = TMeasurement::TMeasurementItem;

TVector3 Divided(const TVector3& vector, double length)
{
  return TVector3(vector.x / length, vector.y / length, vector.z / length);
}

// The unit vector of a distance, or +X when the distance is not above 1e-6 (coinciding points,
// or a distance that is not a number).
TVector3 Unit_Or_X(const TVector3& vector)
{
  const double length = vector.Length();
  if(!(length > MINIMUM_DIRECTION_LENGTH))
  {
    return TVector3(1.0, 0.0, 0.0);
  }
  return Divided(vector, length);
}

// Runs the points of one measurement through the model and remembers whether any left the
// volume.
class TSimulator
{
public:
  TSimulator(const TMachineComp& machine, TMeasurement* measurement)
      : d_machine(machine), d_measurement(measurement), d_probe(measurement->d_probe_offset)
  {
  }

  TVector3 Actual(const TVector3& nominal)
  {
    bool inside = false;
    const TVector3 actual = d_machine.Evaluate(nominal, d_probe, &inside);
    if(!inside)
    {
      d_measurement->d_outside_volume = true;
    }
    return actual;
  }

  // The direction in which the probe points, for the angles of a line: its horizontal part, or
  // straight down for a vertical probe.
  TVector3 Probe_Direction() const
  {
    const TVector3 horizontal(d_probe.x, d_probe.y, 0.0);
    const double length = horizontal.Length();
    return length >= MINIMUM_DIRECTION_LENGTH ? Divided(horizontal, length) : TVector3(0.0, 0.0, -1.0);
  }

  const TMachineComp& Machine() const { return d_machine; }
  const TVector3& Probe() const { return d_probe; }

private:
  const TMachineComp& d_machine;
  TMeasurement* d_measurement;
  const TVector3 d_probe;
};

void Simulate_Ballbar(TSimulator* simulator, TMeasurement_Ballbar* ballbar)
{
  const TVector3 half = (ballbar->d_direction * ballbar->d_length) / 2.0;
  const TVector3 sphere1 = ballbar->d_position - half;
  const TVector3 sphere2 = ballbar->d_position + half;

  TItem item;
  item.probe_offset = simulator->Probe();
  item.reference_nominal = sphere1;
  item.reference_actual = simulator->Actual(sphere1);
  item.point_nominal = sphere2;
  item.point_actual = simulator->Actual(sphere2);
  item.length_nominal = (sphere2 - sphere1).Length();
  item.length_actual = (item.point_actual - item.reference_actual).Length();
  item.axis_actual = Unit_Or_X(item.point_actual - item.reference_actual);
  item.axis_nominal = Unit_Or_X(sphere2 - sphere1);
  ballbar->d_measurement_items.push_back(item);
}

// What the ISO test and the laser run share: the line, its simulated ends and the angles at
// the start. The rows are added by Add_Line_Row.
struct TLine
{
  TVector3 start;
  TVector3 axis;
  double length = 0.0;
  TVector3 probe_direction;
  TItem reference;
};

TLine Begin_Line(TSimulator* simulator, const TVector3& start, const TVector3& end)
{
  TLine line;
  line.start = start;
  const TVector3 vector = end - start;
  line.length = vector.Length();
  line.axis = line.length >= MINIMUM_DIRECTION_LENGTH ? Divided(vector, line.length) : TVector3(1.0, 0.0, 0.0);
  line.probe_direction = simulator->Probe_Direction();

  TItem& reference = line.reference;
  reference.probe_offset = simulator->Probe();
  reference.axis_nominal = line.axis;
  reference.reference_nominal = start;
  reference.reference_actual = simulator->Actual(start);
  // A run whose simulated ends coincide has no measured direction; take +X, as for a ball bar.
  reference.axis_actual = Unit_Or_X(simulator->Actual(end) - reference.reference_actual);
  reference.reference_angles = simulator->Machine().Get_Angles_RA_RB_RC(line.axis, line.probe_direction, start);
  return line;
}

void Add_Line_Row(TSimulator* simulator, const TLine& line, double distance, std::vector<TItem>* items)
{
  TItem item = line.reference;
  const TVector3 point = line.start + distance * line.axis;
  item.point_nominal = point;
  item.point_actual = simulator->Actual(point);
  item.length_nominal = (point - line.start).Length();
  item.length_actual = (item.point_actual - item.reference_actual).Length();
  item.point_angles = simulator->Machine().Get_Angles_RA_RB_RC(line.axis, line.probe_direction, point);
  items->push_back(item);
}

void Simulate_ISO(TSimulator* simulator, TMeasurement_ISO* iso)
{
  const TLine line = Begin_Line(simulator, iso->d_start, iso->d_end);
  // Rounded to whole millimetres in double: a line too long for an int must not wrap.
  const double step = std::floor(line.length / 5.0 + 0.5);
  for(int k = 1; k <= 5; ++k)
  {
    Add_Line_Row(simulator, line, k * step, &iso->d_measurement_items);
  }
}

void Simulate_Laser(TSimulator* simulator, TMeasurement_Laser* laser)
{
  const TLine line = Begin_Line(simulator, laser->d_start, laser->d_end);
  // Below 1 mm the step counts as 10 mm, not as the minimum of 20: deliberate (expressions
  // refuse any step under 20 mm), and it keeps the count finite when rows are made anyway.
  const double increment = laser->d_increment < 1.0 ? 10.0 : laser->d_increment;
  // The caller has checked the number of targets, so the distance always moves on. Each target
  // is i * increment: a running sum would write 317.00000000000006 for the tenth of 31.7 and
  // miss an end of travel that lies on the step.
  double distance = 0.0;
  for(long long i = 1; distance <= line.length; ++i)
  {
    Add_Line_Row(simulator, line, distance, &laser->d_measurement_items);
    distance = static_cast<double>(i) * increment;
  }
}

void Simulate_MCG(TSimulator* simulator, TMeasurement_MCG* mcg)
{
  const TVector3 centre = mcg->d_position;
  const double arm = mcg->d_length;
  const int azimuth_count = std::max(mcg->d_azimuth_count, 2);
  const int elevation_count = std::max(mcg->d_elevation_count, 2);

  double start = mcg->d_start_elevation * TWO_PI / 360.0;
  double range = mcg->d_end_elevation * TWO_PI / 360.0 - start;
  if(std::fabs(range) < MINIMUM_ELEVATION_RANGE)
  {
    range = NARROW_BAND_RANGE;
    start = NARROW_BAND_START;
  }

  TItem item;
  item.probe_offset = simulator->Probe();
  item.reference_nominal = centre;
  item.reference_actual = simulator->Actual(centre);

  const double elevation_step = range / (elevation_count - 1);
  const double azimuth_step = TWO_PI / azimuth_count;
  for(int i = 0; i < elevation_count; ++i)
  {
    const double elevation = i * elevation_step + start;
    const double cos_elevation = std::cos(elevation);
    const double sin_elevation = std::sin(elevation);
    for(int j = 0; j < azimuth_count; ++j)
    {
      const double azimuth = j * azimuth_step;
      const TVector3 direction(std::cos(azimuth) * cos_elevation, cos_elevation * std::sin(azimuth), sin_elevation);
      const TVector3 point = centre + direction * arm;
      item.axis_nominal = direction;
      item.point_nominal = point;
      item.point_actual = simulator->Actual(point);
      item.length_nominal = (point - centre).Length();
      item.length_actual = (item.point_actual - item.reference_actual).Length();
      item.axis_actual = Unit_Or_X(item.point_actual - item.reference_actual);
      mcg->d_measurement_items.push_back(item);
    }
  }
}

void Simulate(const TMachineComp& machine, TMeasurement* measurement)
{
  TSimulator simulator(machine, measurement);
  switch(measurement->Type())
  {
  case Types::MEASUREMENT_BALLBAR:
    Simulate_Ballbar(&simulator, static_cast<TMeasurement_Ballbar*>(measurement));
    break;
  case Types::MEASUREMENT_ISO:
    Simulate_ISO(&simulator, static_cast<TMeasurement_ISO*>(measurement));
    break;
  case Types::MEASUREMENT_LASER:
    Simulate_Laser(&simulator, static_cast<TMeasurement_Laser*>(measurement));
    break;
  case Types::MEASUREMENT_MCG:
    Simulate_MCG(&simulator, static_cast<TMeasurement_MCG*>(measurement));
    break;
  }
}
} // namespace

namespace Simulation
{
bool Simulate_One(const TMachineComp& machine, TMeasurement* measurement, QString* message)
{
  VARLUME_ASSERT(measurement);
  measurement->d_measurement_items.clear();
  measurement->d_outside_volume = false;
  const long long rows = Expected_Row_Count(*measurement);
  if(rows > MAXIMUM_ROWS)
  {
    return true;
  }
  measurement->d_measurement_items.reserve(static_cast<std::size_t>(rows));
  try
  {
    Simulate(machine, measurement);
  }
  catch(const TMachineAxisException& exception)
  {
    measurement->d_measurement_items.clear();
    measurement->d_outside_volume = false;
    *message = exception.Message();
    return false;
  }
  return true;
}

bool Update_Measurement_Items(const TMachineComp* machine, std::vector<TMeasurement*>* measurements,
                              QStringList* errors)
{
  VARLUME_ASSERT(machine);
  VARLUME_ASSERT(measurements);

  bool result = true;
  for(TMeasurement* measurement : *measurements)
  {
    VARLUME_ASSERT(measurement);
    // After a failure the rest keep no rows either: none of them may show another machine's.
    if(!result)
    {
      measurement->d_measurement_items.clear();
      measurement->d_outside_volume = false;
      continue;
    }
    QString message;
    result = Simulate_One(*machine, measurement, &message);
    if(!result && errors)
    {
      errors->push_back(QStringLiteral("%1: %2").arg(measurement->d_name, message));
    }
  }
  return result;
}
} // namespace Simulation
