#ifndef COMPENSATION_COMPENSATION_H
#define COMPENSATION_COMPENSATION_H

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

#include "src/model/compensation/correction.h"
#include "src/model/conformity.h"
#include "src/model/machinelibrary.h"
#include "src/model/measurement.h"

// Compensation: the corrections built from a source machine, and what each leaves behind on the
// machine it runs on (the source itself, or in a simulation study the true machine): the tests
// simulated before and after, the largest error over a check grid, the uncertainty of what
// remains from the source's covariance, and the conformity decision after correction. GUI-free:
// the window and varlume-batch read the same typed result and print the same bytes.
namespace Compensation
{
// Points of the check grid along each axis, ends included.
inline constexpr int CHECK_POINTS = 21;

struct TOptions
{
  std::vector<TForm> forms = All_Forms();
  double spacing = 0.0; // mm; 0 for Default_Spacing
  TVector3 probe;       // mm
  // The decision after correction: the rule, the test set-up's U, the MPE (the source's unless
  // has_mpe).
  Conformity::TRule rule = Conformity::TRule::GUARDED;
  Conformity::TTestUncertainty test;
  bool has_mpe = false;
  Conformity::TMpe mpe;
  int jobs = 0; // threads; 0 for one per core
};

enum class TStatus
{
  DONE,
  MACHINE_FAILED, // a machine or a measurement cannot be set up or simulated
  REFUSED         // the options do not fit the machines: another geometry, a grid too large
};

// One result row before (on the machine the correction runs on) and after; µm and µrad.
struct TRow
{
  QString measurement;
  Types::TMeasurementType type = Types::MEASUREMENT_ISO;
  int row = 1; // from 1 within its measurement
  double deviation[2] = {0.0, 0.0};
  // Laser rows only: the straightness readings XX, YY and the angles Ra, Rb, Rc.
  double xx[2] = {0.0, 0.0};
  double yy[2] = {0.0, 0.0};
  double ra[2] = {0.0, 0.0};
  double rb[2] = {0.0, 0.0};
  double rc[2] = {0.0, 0.0};
};

// Per measurement: the largest |deviation| and the range of the deviations, before and after (µm).
struct TMeasurementSummary
{
  QString measurement;
  Types::TMeasurementType type = Types::MEASUREMENT_ISO;
  int rows = 0;
  double largest[2] = {0.0, 0.0};
  double range[2] = {0.0, 0.0};
};

// What the decision after correction says.
enum class TVerdict
{
  CONFORMS,
  DOES_NOT_CONFORM,
  NOT_PROVEN,
  NO_MPE, // the source has no MPE and none was given
  NO_ISO  // no ISO 10360-2 measurement selected
};

struct TFormResult
{
  TForm form = TForm::FULL;
  // The check grid: the largest |E| before and after (µm), the point where what remains is
  // largest, and the standard uncertainty (k = 1) of |E| there from the source's covariance.
  double grid_largest[2] = {0.0, 0.0};
  TVector3 worst_point;
  bool has_u = false;
  double u = 0.0; // µm; inf where an undetermined parameter acts
  std::vector<TMeasurementSummary> measurements;
  std::vector<TRow> rows;
  TVerdict verdict = TVerdict::NO_ISO;
  std::vector<Conformity::TRow> decisions; // the ISO rows after correction
};

struct TResult
{
  TStatus status = TStatus::MACHINE_FAILED;
  QStringList errors; // why not, when not DONE
  QString source;
  QString against;
  double spacing = 0.0;
  TVector3 probe;
  bool has_covariance = false;
  Conformity::TOptions decision; // the rule, U and MPE of the decision
  bool has_mpe = false;
  std::vector<TFormResult> forms;
  QStringList notes;
  // What the files hold (the tables of the forms asked for).
  bool has_tables = false;
  std::vector<TCarriageTable> tables;
  bool has_constants = false;
  TConstants constants;
  bool has_grid = false;
  TGrid grid;
  bool has_pitch = false;
  std::vector<TPitchTable> pitch;
};

// Whether a correction built for source may run on against: the same kinematic order and travel.
// Empty when it may, else why not.
QString Geometry_Mismatch(const TMachineLibrary::TMachineItem& source, const TMachineLibrary::TMachineItem& against);

// The corrections of options.forms built from source, run on against, the records simulated
// (copied, never changed) before and after.
TResult Run(const TMachineLibrary::TMachineItem& source, const TMachineLibrary::TMachineItem& against,
            const std::vector<const TMeasurement*>& records, const TOptions& options);

// The text report.
QStringList Report_Lines(const TResult& result);
// "form,measurement,kind,row,deviation_before_um,deviation_after_um,xx_before_um,..." one line
// per form and row.
QByteArray Csv(const TResult& result);
// "conforms", "does not conform", "not proven", or why there is no decision.
QString Verdict_Text(TVerdict verdict);

// Writes the files of the forms asked for into directory (tables.csv and constants.csv for
// tables, constants.csv for skew, grid.csv, pitch.csv): all of them or, on a failure, none
// replaced. written gets the paths. False with the reason.
bool Write_Files(const TResult& result, const QString& directory, QStringList* written, QString* error);
} // namespace Compensation

#endif
