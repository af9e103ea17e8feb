#ifndef IDENTIFY_H
#define IDENTIFY_H

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

#include "src/model/machine_labels.h"
#include "src/model/machinelibrary.h"
#include "src/model/measuredfile.h"
#include "src/model/measurement.h"
#include "src/model/option_limits.h"

// The inverse of the simulation: the error parameters of a machine that explain measured data.
// Every enabled axis function becomes a polynomial c1*L + ... + cd*L^d (fitted in a Legendre
// basis over the travel), every enabled squareness and deflection value one unknown; each laser
// run's straightness offsets and slopes and each gauge's radius zero are fitted alongside unless
// the readings are taken as absolute. Weighted least squares with the stated reading
// uncertainties, a step control that never lets the residual grow, and only the directions that
// the readings determine to the resolution are fitted; the others stay as the starting machine
// has them and are named. GUI-free: the window and varlume-batch print the same report.
namespace Identify
{
// The kinds of observation, each with its own standard uncertainty.
enum TObservationKind
{
  OBSERVATION_BALLBAR,
  OBSERVATION_ISO,
  OBSERVATION_LASER_LENGTH,
  OBSERVATION_LASER_STRAIGHTNESS,
  OBSERVATION_LASER_ANGLE,
  OBSERVATION_MCG,
  OBSERVATION_KINDS
};

// The name of a kind as the report and the window's fields show it ("Ball bar length").
QString Kind_Name(int kind);
// "µm", or "µrad" for the laser angles.
QString Kind_Unit(int kind);

inline constexpr int MINIMUM_DEGREE = 1;
inline constexpr int MAXIMUM_DEGREE = 5;
inline constexpr int DEFAULT_DEGREE = 3;
// The range of stated standard uncertainties (µm, µrad) that a reading can sensibly carry.
inline constexpr double SMALLEST_UNCERTAINTY = Option_Limits::UNCERTAINTY.minimum;
inline constexpr double LARGEST_UNCERTAINTY = Option_Limits::UNCERTAINTY.maximum;

struct TOptions
{
  int degree = DEFAULT_DEGREE;
  // Standard uncertainty per kind in µm, for the angles in µrad; a value that is not above 0
  // takes the default.
  double uncertainties[OBSERVATION_KINDS] = {1.0, 1.0, 0.5, 1.0, 1.0, 1.0};
  // Singular values below this share of the largest count as not identified.
  double threshold = 1e-9;
  // A direction is identified when one standard uncertainty along it moves no error function by
  // more than this within the travel: µm for scale functions and the deflection's effect, µrad
  // for angles and squareness. 0 keeps every direction the readings determine at all.
  double resolution = 100.0;
  // Take the machine's E0 MPE A instead, when it has one: the resolution was not given.
  bool resolution_from_machine = false;
  // Trust the straightness slopes and offsets of the laser runs and the gauges' radius zeros
  // (simulated files, set-ups with a reference square) instead of fitting them.
  bool absolute_straightness = false;
  // Readings whose |residual| / u exceeds this are listed; with reject_outliers the fit is
  // repeated without them, one at a time, largest first.
  double outlier_limit = 4.0;
  bool reject_outliers = false;
  // The name of the identified machine (the caller makes it unique in its library).
  QString identified_name;
};

// The options with the resolution the machine gives when it was not given (the A of its E0
// MPE); true when it came from the machine.
bool Resolve_Resolution(const TMachineLibrary::TMachineItem& machine, TOptions* options);

// Called with the work done and the work in all, in simulations; returning false cancels.
using TProgress = std::function<bool(int done, int total)>;

enum class TStatus
{
  FITTED,         // the fit converged with at least one identified direction: machine and report complete
  NO_DATA,        // no measured row could be used (the report says why)
  NO_MACHINE,     // the machine cannot be set up (the report says why)
  CANCELLED,      // progress returned false
  NOT_CONVERGED,  // the fit did not converge (the report says why); no machine
  NOT_IDENTIFIED, // the readings determine no direction to the resolution; no machine
  IMPLAUSIBLE,    // a reading is far from anything a machine could give (named in the report)
  WORSE,          // the fitted machine explains the readings worse than the start; no machine
  OUTSIDE_TRAVEL  // the files do not fit the machine's travel (named in the report); no machine
};

// What a run says of the machine: every direction identified, some of them, or nothing usable
// (the status says why).
enum class TVerdict
{
  IDENTIFIED,
  PARTLY_IDENTIFIED,
  NOT_IDENTIFIED
};

// One fitted parameter, in the units of the machine's expressions (the coefficient of L^power
// as written, L in metres; mm for scale, mm/m for angles and squareness).
struct TParameter
{
  QString label;
  TParameterKey key;
  double value = 0.0;
  double u = 0.0; // k = 1; meaningless when not identified
  bool identified = false;
  // Not identified, yet changed by the fit: an identified combination holds it, so its value is
  // one of many that fit equally well.
  bool moved = false;
};

// A change of the model that would explain more of the readings: an error parameter the start
// leaves disabled, or one degree more for an enabled function.
struct TSuggestion
{
  QString label;             // "Enable Y Axis Scale", "Degree 4 for X Axis Rz"
  double chi2_per_dof = 0.0; // expected after the change
};

struct TNullDirection
{
  bool structural = true; // the tests cannot see it at all (else: seen, but below the resolution)
  std::vector<std::pair<QString, double>> terms;     // the terms that matter, largest share first
  std::vector<std::pair<QString, double>> all_terms; // every non-zero term, the same order
  QString hint;
};

struct TOutlier
{
  QString file;
  int line = 0;
  QString quantity;
  double value = 0.0;    // the reading, mm or mm/m
  double residual = 0.0; // µm or µrad
  double normalized_residual = 0.0;
  bool rejected = false;
};

// One reading used by the fit, after it: what the residuals page and its CSV show.
struct TResidual
{
  QString file;
  int line = 0;
  QString quantity;
  double reading = 0.0;  // as the file holds it, mm or mm/m
  double residual = 0.0; // µm or µrad
  double u = 0.0;        // stated, µm or µrad
  double normalized = 0.0;
};

struct TAlignmentValue
{
  QString file;
  QString measurement;
  QString name;
  double value = 0.0;
  double u = 0.0;
  QString unit;
};

// An error function's fitted values with their standard uncertainties, for charts.
struct TFunctionBand
{
  int axis = 0;
  int parameter = 0;
  std::vector<double> positions; // mm
  std::vector<double> values;    // mm or mm/m
  std::vector<double> u;         // k = 1; empty when the function is not identified
  // The same at 0, 1/4, 1/2, 3/4 and all of the travel, as the report prints them.
  std::vector<double> printed_positions;
  std::vector<double> printed_values;
  std::vector<double> printed_u;
};

struct TResult
{
  TStatus status = TStatus::NO_DATA;
  TVerdict verdict = TVerdict::NOT_IDENTIFIED;
  // Rank above 0 and yet no parameter identified on its own.
  bool none_alone = false;
  // More readings beyond the outlier limit, or a larger scatter, than a right model gives.
  bool misfit = false;
  std::vector<TSuggestion> suggestions; // best first, when misfit
  QString machine_name;                 // the starting machine
  QStringList report;
  TMachineLibrary::TMachineItem machine; // the identified machine when FITTED
  int unknowns = 0;
  int rank = 0;
  std::vector<double> singular_values; // of the scaled Jacobian, largest first
  // Each direction the tests cannot see, as a vector over the unknowns (coefficients with L
  // in metres), its largest component 1.
  std::vector<std::vector<double>> null_directions;
  QStringList unknown_names; // "X Axis Rz c1", "QXY", in the order of the vectors
  using TUnknownKey = TParameterKey;
  std::vector<TUnknownKey> unknown_keys; // the same order
  // Largest residual per kind before and after the fit (µm, µrad); 0 for a kind not measured.
  std::vector<double> largest_before;
  std::vector<double> largest_after;

  // Per kind (µm, µrad): readings used, RMS residual before and after the fit.
  std::vector<int> kind_counts;
  std::vector<double> rms_before;
  std::vector<double> rms_after;
  QStringList turned;         // functions whose sign option the laser's angles turned
  QString failure;            // why the fit did not converge
  double smallest_kept = 0.0; // singular values of the scaled design matrix; NaN when none
  double largest_dropped = 0.0;
  double birge = 1.0;      // the factor the uncertainties were multiplied by
  double resolution = 0.0; // as used
  bool resolution_from_mpe = false;

  bool converged = false;
  int iterations = 0;
  int readings = 0; // scalar readings used (after duplicates and rejected outliers)
  int alignment_unknowns = 0;
  double chi2_per_dof = 0.0; // NaN when there is no degree of freedom
  double normalized_rms_before = 0.0;
  double normalized_rms_after = 0.0;
  std::vector<TParameter> parameters;         // every unknown of the machine, report order
  QStringList covariance_labels;              // the identified parameters
  std::vector<TParameterKey> covariance_keys; // the same parameters
  std::vector<double> covariance;             // labels x labels, row by row, k = 1
  std::vector<TNullDirection> directions;
  std::vector<TOutlier> outliers;
  // Every reading used, in the order of the readings (file by file, line by line).
  std::vector<TResidual> residuals;
  std::vector<Measured::TDuplicate> duplicates;
  std::vector<TAlignmentValue> alignment;
  std::vector<TFunctionBand> bands;
  QStringList notices;
};

// "identified", "partly identified", "not identified".
QString Verdict_Name(TVerdict verdict);
// The verdict as the report's line states it after "Verdict: ", with its reason.
QString Verdict_Text(const TResult& result);

// The machine-readable report (JSON, UTF-8).
QByteArray Json(const TResult& result);

// The names of the records (in their order) that a measured set of this kind can be read as.
QStringList Matching_Records(const std::vector<const TMeasurement*>& records, Measured::TKind kind);

// "file,line,quantity,reading,residual,u,normalized", then one line per reading used, in the
// order of result.residuals: the reading as the file holds it (mm, mm/m), residual and u in µm
// or µrad, normalized = residual / u. UTF-8, line feeds.
QByteArray Residuals_Csv(const TResult& result);

// The fit of machine to the measured sets. records are the measurement library's records (the
// nominal geometry); they are copied, never changed.
TResult Run(const TMachineLibrary::TMachineItem& machine, const std::vector<const TMeasurement*>& records,
            const Measured::TCollection& measured, const TOptions& options, const TProgress& progress = TProgress());

// The polynomial c[0]*L + c[1]*L^2 + ... as an expression text that the expression evaluator
// reads back to the same values within 1e-9 over |L| <= extent (metres): fixed-point numbers
// (the evaluator takes no exponents), terms whose digits are all zero left out, "0" for none.
QString Polynomial_Text(const std::vector<double>& coefficients, double extent);
} // namespace Identify

#endif
