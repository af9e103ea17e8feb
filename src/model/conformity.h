#ifndef CONFORMITY_H
#define CONFORMITY_H

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

#include "src/model/machinelibrary.h"
#include "src/model/measuredfile.h"
#include "src/model/measurement.h"

// Whether a machine conforms to its maximum permissible error E0,MPE, from the rows of its
// ISO 10360-2 tests (simulated, or measured files), with the test's expanded uncertainty U
// (k = 2): the decision of each row, the summary, the text report and the CSV. GUI-free: the
// window and varlume-batch print the same bytes.
namespace Conformity
{
// MPE(L) = min(A + L/K, B) in µm, L in mm; no cap without B.
struct TMpe
{
  double a = 0.0;
  double k = 1.0;
  bool has_b = false;
  double b = 0.0;

  double At(double length) const;
};

// The MPE of a record; false when it has none.
bool Record_Mpe(const TMachineLibrary::TMachineItem& machine, TMpe* mpe);
// "A,K,B", "A,K" or "A,K," (no cap): A at least 0, K above 0, B above 0 and not below A, all
// finite. False with the reason otherwise.
bool Parse_Mpe(const QString& text, TMpe* mpe, QString* error);
// Whether the three numbers make an MPE (the editor's and the parser's rule).
QString Mpe_Problem(double a, double k, bool has_b, double b);

// What a record holds for the decision, for the machine list: its MPE or "No MPE", and the size
// of its covariance or "No covariance".
QStringList Record_Summary(const TMachineLibrary::TMachineItem& machine);

// The test set-up's expanded uncertainty U(L) = a + b·L (a in µm, b in µm/m, L in mm).
struct TTestUncertainty
{
  double a = 0.0;
  double b = 0.0;

  double At(double length) const { return a + b * length / 1000.0; }
};
// "a,b", both finite and at least 0; false with the reason otherwise.
bool Parse_Test_Uncertainty(const QString& text, TTestUncertainty* uncertainty, QString* error);

enum class TRule
{
  SIMPLE, // pass when |E| <= MPE
  GUARDED // pass when |E| + U <= MPE, fail when |E| - U > MPE, otherwise inconclusive
};

enum class TDecision
{
  PASS,
  FAIL,
  INCONCLUSIVE
};

TDecision Decide(TRule rule, double deviation, double expanded, double mpe);
// "pass", "fail", "inconclusive".
QString Decision_Name(TDecision decision);

struct TOptions
{
  TMpe mpe;
  TTestUncertainty test;
  TRule rule = TRule::GUARDED;
  int draws = 0; // Monte Carlo draws; 0 for the linear propagation
  std::uint64_t seed = 1;
  int jobs = 0; // threads of the Monte Carlo; 0 for one per core
};

// One row of the decision.
struct TRow
{
  QString measurement;
  int row = 1;            // from 1 within the measurement
  double length = 0.0;    // L, mm
  double deviation = 0.0; // E, µm
  double mpe = 0.0;       // µm
  bool has_u = false;     // the reading's u is known (a covariance was propagated)
  double u = 0.0;         // µm, k = 1; inf for a reading on an undetermined direction
  bool has_interval = false;
  double low = 0.0; // the shortest 95 % interval of E from the draws, µm
  double high = 0.0;
  double expanded = 0.0; // U, µm, k = 2
  double utilisation = 0.0;
  TDecision decision = TDecision::PASS;
};

enum class TSource
{
  SIMULATED,
  MEASURED
};

struct TReport
{
  bool ok = false;
  QStringList errors; // why not, when not ok: an error block or a message per line
  QString machine;
  TOptions options;
  TSource source = TSource::SIMULATED;
  bool propagated = false; // the machine's covariance gave u
  std::vector<TRow> rows;
  QStringList notes; // measured sets left out, with the reason
};

// U, MPE, utilisation and the decision of a row whose length, deviation and u are set.
void Decide_Row(const TOptions& options, TRow* row);

// The rows of the ISO 10360-2 records simulated on machine (records copied, never changed), in
// their order; u from the machine's covariance when it has one (linear, or Monte Carlo with
// options.draws). Records of other kinds are left out.
TReport Simulated(const TMachineLibrary::TMachineItem& machine, const std::vector<const TMeasurement*>& records,
                  const TOptions& options);

// The rows of measured ISO 10360-2 sets, matched to the library's records by name: E the
// measured deviation, L the record's nominal length of the row, U the set-up's alone. One row per
// reading in file order. Sets of other kinds, or that match no ISO record, become notes.
TReport Measured(const TMachineLibrary::TMachineItem& machine, const std::vector<const TMeasurement*>& library,
                 const std::vector<Measured::TSet>& sets, const TOptions& options);

// What the rows say together: every row passes; some row fails; or, without a failing row,
// some row is inconclusive or there is no row to judge.
enum class TVerdict
{
  CONFORMS,
  DOES_NOT_CONFORM,
  NOT_PROVEN
};
TVerdict Verdict(const TReport& report);

// "Conforms", "Not proven: N rows inconclusive" or "Does not conform: N rows fail", with the
// rule and k.
QString Summary(const TReport& report);
// The text report: heading, one block per measurement, the summary.
QStringList Report_Lines(const TReport& report);
// "measurement,row,length_mm,deviation_um,mpe_um,u_reading_um,U_um,utilisation,decision", then
// one line per row; u_reading_um empty when no covariance was propagated. UTF-8, line feeds.
QByteArray Csv(const TReport& report);
} // namespace Conformity

#endif
