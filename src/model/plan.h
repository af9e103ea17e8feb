#ifndef PLAN_H
#define PLAN_H

// The plan of a calibration: from candidate measurements, the shortest sequence that identifies
// every error parameter of a machine, and how the uncertainty falls with each test added. Each
// candidate is simulated once on the machine without errors for its rows of the design matrix
// (identification's own stages); the rank of a set of candidates is decided as identification
// decides it, so that a plan's rank is the rank an identification of those tests reports.
// GUI-free: the window and varlume-batch print the same report.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cmath>
#include <limits>
#include <vector>

#include "src/model/identify.h"

namespace Plan
{
// With this many candidates or fewer, the steps up to the highest rank are found by trying
// subsets of growing size; with more, one at a time.
inline constexpr int EXHAUSTIVE_CANDIDATES = 12;
// After the highest rank, a test is added only when it lowers the largest u/R by this share.
inline constexpr double WORTHWHILE_GAIN = 0.05;

struct TOptions
{
  // Degree, reading uncertainties, resolution, threshold and alignment, as identification takes
  // them.
  Identify::TOptions identify;
  int budget = 0; // the most tests in the plan; 0 for no limit
};

struct TStep
{
  int candidate = 0; // index into the candidates
  QString measurement;
  QString kind;     // "ballbar", "iso", "laser", "mcg"
  int readings = 0; // scalar readings: a laser row gives six
  // Rows of its measured file, as identification counts its "Rows used".
  int rows = 0;
  int rank = 0;
  // The largest uncertainty (k = 1) of the function values identified so far, in µm or µrad,
  // as u/R, and the function it belongs to; NaN and empty when none is identified.
  double largest_u = std::numeric_limits<double>::quiet_NaN();
  double largest_ratio = std::numeric_limits<double>::quiet_NaN();
  QString largest_function;
  QString largest_unit;
  bool full_rank = false; // every error parameter identified
};

enum class TStatus
{
  PLANNED,       // a plan was made (it may still leave parameters not identified)
  NO_PARAMETERS, // the machine has no enabled error parameter: an empty plan
  NO_MACHINE,    // the machine cannot be set up (the report says why)
  FAILED,        // a candidate cannot be evaluated or simulated (named in failure and the report)
  CANCELLED
};

struct TResult
{
  TStatus status = TStatus::PLANNED;
  QString machine_name;
  int unknowns = 0;
  QStringList unknown_names;
  int candidates = 0;
  bool exhaustive = false;          // the steps to the highest rank were found by trying subsets
  bool resolution_from_mpe = false; // the resolution is the A of the machine's E0 MPE
  std::vector<TStep> steps;
  int reachable_rank = 0;                           // with every candidate
  QStringList not_identified;                       // parameters that every candidate together leaves unknown
  std::vector<Identify::TNullDirection> directions; // what stays unknown, with hints
  bool full_rank = false;                           // the plan identifies every parameter
  QString failure;
  QStringList report;
};

// The plan for machine from the candidates (indices into library, in library order); the
// library's measurements are evaluated as identification and the export evaluate them.
TResult Run(const TMachineLibrary::TMachineItem& machine, const std::vector<const TMeasurement*>& library,
            const std::vector<int>& candidates, const TOptions& options,
            const Identify::TProgress& progress = Identify::TProgress());

// {"machine", "unknowns", "steps": [{"measurement", "readings", "rank", "largest_u",
// "largest_u_function"}], "not_identified", "full_rank"}; largest_u is u/R of the identified
// functions, null while none is.
QByteArray Json(const TResult& result);
} // namespace Plan

#endif
