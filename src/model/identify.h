#ifndef IDENTIFY_H
#define IDENTIFY_H

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

#include "src/model/machinelibrary.h"
#include "src/model/measuredfile.h"
#include "src/model/measurement.h"

// The inverse of the simulation: the error parameters of a machine that explain measured data.
// Every enabled axis function becomes a polynomial c1*L + ... + cd*L^d, every enabled
// squareness and deflection value one unknown; Gauss-Newton on the weighted residuals
// (measured minus what the simulation of the record gives on the trial machine), with a
// truncated SVD that leaves the directions the tests cannot see at zero and names them.
// GUI-free: the window and varlume-batch print the same report.
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

struct TOptions
{
  int degree = DEFAULT_DEGREE;
  // Standard uncertainty per kind in µm, for the angles in µrad; a value that is not above 0
  // takes the default.
  double uncertainties[OBSERVATION_KINDS] = {1.0, 1.0, 0.5, 1.0, 1.0, 1.0};
  // Singular values below this share of the largest count as not identified.
  double threshold = 1e-9;
  // The name of the identified machine (the caller makes it unique in its library).
  QString identified_name;
};

// Called with the work done and the work in all, in simulations; returning false cancels.
using TProgress = std::function<bool(int done, int total)>;

enum class TStatus
{
  FITTED,     // the fit ran: machine and report are complete
  NO_DATA,    // no measured row could be used (the report says why)
  NO_MACHINE, // the machine cannot be set up (the report says why)
  CANCELLED   // progress returned false
};

struct TResult
{
  TStatus status = TStatus::NO_DATA;
  QStringList report;
  TMachineLibrary::TMachineItem machine; // the identified machine when FITTED
  int unknowns = 0;
  int rank = 0;
  std::vector<double> singular_values; // of the scaled Jacobian, largest first
  // Each direction the tests cannot see, as a vector over the unknowns (coefficients with L
  // in metres), its largest component 1.
  std::vector<std::vector<double>> null_directions;
  QStringList unknown_names; // "X Axis Rz c1", "QXY", in the order of the vectors
  struct TUnknownKey
  {
    int axis = 0;
    int parameter = 0;
    int power = 0; // 0 for a squareness or deflection value
  };
  std::vector<TUnknownKey> unknown_keys; // the same order
  // Largest residual per kind before and after the fit (µm, µrad); 0 for a kind not measured.
  std::vector<double> largest_before;
  std::vector<double> largest_after;
};

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
