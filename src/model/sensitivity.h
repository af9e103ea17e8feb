#ifndef SENSITIVITY_H
#define SENSITIVITY_H

#include <QByteArray>
#include <QString>

#include <functional>
#include <vector>

#include "src/model/evaluation.h"
#include "src/model/measurement.h"
#include "src/model/simulation.h"

// Which test detects which error, at a glance: every enabled parameter applied alone to an
// otherwise perfect machine (the single-parameter patterns of the compensation evaluation), and
// the largest deviation that each kind of test shows then. GUI-free: the window's chart,
// varlume-batch and the tests read the same numbers.
namespace Sensitivity
{
// Columns, in the order of the evaluation file.
enum TKind
{
  KIND_BALLBAR = 0,
  KIND_ISO,
  KIND_MCG,
  KIND_LASER,
  KIND_COUNT
};

struct TRow
{
  QString code;  // the evaluation's code without bars: "RXX", "LYY", "QXY", "RXD"
  QString label; // "X Axis Rx", "QXY"
  // The largest |length_actual - length_nominal| over all rows of each kind (mm); present is
  // false when the selection holds no row of that kind.
  bool present[KIND_COUNT] = {false, false, false, false};
  double value[KIND_COUNT] = {0.0, 0.0, 0.0, 0.0};
  // What a laser run reads besides the length, over its rows inside the machine volume: the
  // largest |straightness| (mm) after each run's line (offset and slope) is taken off, as an
  // aligned instrument reports it, and the largest |angle| (mm/m), both relative to the start.
  // laser_present is false when no laser row lies inside the volume.
  bool laser_present = false;
  double laser_straightness = 0.0;
  double laser_angle = 0.0;
  // Per unit only: the unit the parameter was given, "µm" (scale) or "µrad" (angles,
  // squareness, deflection); empty otherwise.
  QString unit;
};

// What each parameter is set to while it is applied alone.
enum class TScale
{
  AS_GIVEN, // the machine's own expression or value
  // One unit of the parameter: a scale error growing in proportion to the position from 0 at the
  // axis zero to 1 µm at the end of travel farther from it, an angle the same way to 1 µrad,
  // 1 µrad of squareness or of tower deflection. The table then says what one unit of each
  // parameter shows, also on a new machine whose expressions are all zero.
  PER_UNIT
};

enum class TEnd
{
  FINISHED,
  CANCELLED, // the progress hook said stop; rows holds the parameters done so far
  STOPPED,   // the model raised an axis exception: message holds its text
  REFUSED    // the geometry cannot be set up: message says why
};

struct TResult
{
  TEnd end = TEnd::FINISHED;
  QString message;
  TScale scale = TScale::AS_GIVEN;
  std::vector<TRow> rows;
};

// Called before parameter done + 1 of count is simulated (and once with done == count at the
// end); false stops.
using TProgress = std::function<bool(int done, int count)>;

// One row per enabled parameter of the record, in record order, that the evaluation applies
// (a tower deflection on a machine without a horizontal arm has none). Writes into the
// measurements that the list points to (the list is taken by value, the measurements are not
// copied): their values are evaluated against the record's volume, as the evaluation does; their
// rows are put back as they were.
TResult Compute(const Simulation::TMachineRecord& record, std::vector<TMeasurement*> measurements,
                const TProgress& progress = TProgress(), TScale scale = TScale::AS_GIVEN);

// The parameter as PER_UNIT applies it (sign +1) on a machine of the record's travel.
Evaluation::TErrorItem Unit_Item(const Evaluation::TErrorItem& item, const Simulation::TMachineRecord& record);

// Whether every row reads zero in every column: the machine's parameters are all zero, and
// only a table per unit says anything.
bool All_Zero(const std::vector<TRow>& rows);

// The kind's column title ("Ball Bar", "ISO 10360-2", "MCG", "Laser").
QString Kind_Title(int kind);

// "parameter,ballbar_mm,iso_mm,mcg_mm,laser_mm,laser_straightness_mm,laser_angle_mm_per_m",
// then one line per row; a kind without rows is an empty field. UTF-8, lines end with a line
// feed. Per unit: "parameter,unit,ballbar_um,iso_um,mcg_um,laser_um,laser_straightness_um,
// laser_angle_urad", each value what one unit of the parameter shows.
QByteArray Csv(const std::vector<TRow>& rows, TScale scale = TScale::AS_GIVEN);
} // namespace Sensitivity

#endif
