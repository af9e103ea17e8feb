// The conformity decision: MPE and test uncertainty texts, the rows of simulated and measured
// ISO 10360-2 tests, the summary, the report and the CSV.

#include "src/model/conformity.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "src/model/identify_stages.h"
#include "src/model/plotseries.h"
#include "src/model/propagation.h"
#include "src/model/report.h"
#include "src/model/simulation.h"
#include "src/model/textformat.h"

namespace
{
using TItem = TMeasurement::TMeasurementItem;

const double MM_TO_UM = 1000.0;

// The numbers of a comma-separated text; false when one is not a finite number.
bool Numbers(const QStringList& fields, std::vector<double>* numbers)
{
  for(const QString& field : fields)
  {
    double value = 0.0;
    if(!Text::Read_Number(field, &value) || !std::isfinite(value))
    {
      return false;
    }
    numbers->push_back(value);
  }
  return true;
}

// Copies of the ISO records, simulated on the machine of the record; errors as the window shows
// them.
bool Simulate_Copies(const TMachineLibrary::TMachineItem& machine, const std::vector<const TMeasurement*>& records,
                     std::vector<std::unique_ptr<TMeasurement>>* copies, QStringList* errors)
{
  TMachineComp model;
  QStringList setup_errors;
  if(!Simulation::Setup_Machine_Comp(Simulation::Machine_Record(machine), &model, &setup_errors))
  {
    *errors = setup_errors;
    errors->push_front(QStringLiteral("the machine '%1' cannot be set up:").arg(machine.name));
    return false;
  }
  std::vector<TMeasurement*> list;
  for(const TMeasurement* record : records)
  {
    copies->push_back(Copy_Measurement(*record));
    list.push_back(copies->back().get());
  }
  QStringList lines;
  if(!Report::Simulate_Measurements(&model, &list, &lines))
  {
    *errors = lines;
    return false;
  }
  return true;
}

// A column of the report: 4 decimals in 10 characters, or the scientific form for a number too
// large for that (a huge stored variance would otherwise print as a hundred digits).
QString Column(double value)
{
  const int width = 10;
  const QString fixed = Text::Number(value, width, 4);
  return fixed.size() <= width ? fixed : QString::number(value, 'e', 3).rightJustified(width);
}

QString Rows_Text(int count, const char* what)
{
  return QStringLiteral("%1 %2 %3")
      .arg(count)
      .arg(count == 1 ? QStringLiteral("row") : QStringLiteral("rows"), QLatin1String(what));
}
} // namespace

namespace Conformity
{
double TMpe::At(double length) const
{
  const double value = a + length / k;
  return has_b ? std::min(value, b) : value;
}

bool Record_Mpe(const TMachineLibrary::TMachineItem& machine, TMpe* mpe)
{
  if(!machine.has_mpe)
  {
    return false;
  }
  mpe->a = machine.mpe_a;
  mpe->k = machine.mpe_k;
  mpe->has_b = machine.mpe_has_b;
  mpe->b = machine.mpe_b;
  return true;
}

QStringList Record_Summary(const TMachineLibrary::TMachineItem& machine)
{
  QStringList lines;
  TMpe mpe;
  if(Record_Mpe(machine, &mpe))
  {
    const QString linear = QStringLiteral("%1 + L/%2").arg(Text::Shortest_Number(mpe.a), Text::Shortest_Number(mpe.k));
    lines.push_back(mpe.has_b
                        ? QStringLiteral("E0, MPE = min(%1, %2) µm, L in mm").arg(linear, Text::Shortest_Number(mpe.b))
                        : QStringLiteral("E0, MPE = %1 µm, L in mm (no cap)").arg(linear));
  }
  else
  {
    lines.push_back(QStringLiteral("No MPE"));
  }
  lines.push_back(Propagation::Has_Covariance(machine)
                      ? QStringLiteral("Covariance of %1 identified parameters").arg(machine.covariance_labels.size())
                      : QStringLiteral("No covariance"));
  return lines;
}

QString Mpe_Problem(double a, double k, bool has_b, double b)
{
  if(!std::isfinite(a) || a < 0.0)
  {
    return QStringLiteral("A must be a number of at least 0 µm");
  }
  if(!std::isfinite(k) || !(k > 0.0))
  {
    return QStringLiteral("K must be a number above 0");
  }
  if(has_b && (!std::isfinite(b) || !(b > 0.0)))
  {
    return QStringLiteral("B must be a number above 0 µm, or left out for no cap");
  }
  // A cap below the constant term would make the MPE B at every length: a slip of A and B.
  if(has_b && b < a)
  {
    return QStringLiteral("B must not be below A");
  }
  return QString();
}

bool Parse_Mpe(const QString& text, TMpe* mpe, QString* error)
{
  QStringList fields = text.split(QLatin1Char(','));
  // "A,K," is "A,K": no cap.
  if(fields.size() == 3 && fields[2].trimmed().isEmpty())
  {
    fields.removeLast();
  }
  std::vector<double> numbers;
  if((fields.size() != 2 && fields.size() != 3) || !Numbers(fields, &numbers))
  {
    *error = QStringLiteral("--mpe takes A,K or A,K,B (A and B in µm, K a number), got '%1'").arg(text);
    return false;
  }
  TMpe parsed;
  parsed.a = numbers[0];
  parsed.k = numbers[1];
  parsed.has_b = numbers.size() == 3;
  parsed.b = parsed.has_b ? numbers[2] : 0.0;
  const QString problem = Mpe_Problem(parsed.a, parsed.k, parsed.has_b, parsed.b);
  if(!problem.isEmpty())
  {
    *error = QStringLiteral("--mpe '%1': %2").arg(text, problem);
    return false;
  }
  *mpe = parsed;
  return true;
}

bool Parse_Test_Uncertainty(const QString& text, TTestUncertainty* uncertainty, QString* error)
{
  const QStringList fields = text.split(QLatin1Char(','));
  std::vector<double> numbers;
  if(fields.size() != 2 || !Numbers(fields, &numbers) || numbers[0] < 0.0 || numbers[1] < 0.0)
  {
    *error = QStringLiteral("--test-uncertainty takes a,b (a in µm, b in µm/m, both at least 0), got '%1'").arg(text);
    return false;
  }
  uncertainty->a = numbers[0];
  uncertainty->b = numbers[1];
  return true;
}

TDecision Decide(TRule rule, double deviation, double expanded, double mpe)
{
  const double size = std::fabs(deviation);
  if(rule == TRule::SIMPLE)
  {
    return size <= mpe ? TDecision::PASS : TDecision::FAIL;
  }
  if(size + expanded <= mpe)
  {
    return TDecision::PASS;
  }
  if(size - expanded > mpe)
  {
    return TDecision::FAIL;
  }
  return TDecision::INCONCLUSIVE;
}

QString Decision_Name(TDecision decision)
{
  switch(decision)
  {
  case TDecision::PASS:
    return QStringLiteral("pass");
  case TDecision::FAIL:
    return QStringLiteral("fail");
  case TDecision::INCONCLUSIVE:
    break;
  }
  return QStringLiteral("inconclusive");
}

void Decide_Row(const TOptions& options, TRow* row)
{
  row->mpe = options.mpe.At(row->length);
  const double test = options.test.At(row->length);
  if(row->has_u)
  {
    const double reading = 2.0 * row->u;
    row->expanded = std::isinf(reading) ? reading : std::sqrt(test * test + reading * reading);
    // A huge but finite u must not come out infinite from the squares alone.
    if(std::isinf(row->expanded) && std::isfinite(reading) && std::isfinite(test))
    {
      row->expanded = std::hypot(test, reading);
    }
  }
  else
  {
    row->expanded = test;
  }
  row->utilisation = std::fabs(row->deviation) / row->mpe;
  row->decision = Decide(options.rule, row->deviation, row->expanded, row->mpe);
}

TReport Simulated(const TMachineLibrary::TMachineItem& machine, const std::vector<const TMeasurement*>& records,
                  const TOptions& options)
{
  TReport report;
  report.machine = machine.name;
  report.options = options;
  report.source = TSource::SIMULATED;

  std::vector<const TMeasurement*> iso;
  for(const TMeasurement* record : records)
  {
    if(record->Type() == Types::MEASUREMENT_ISO)
    {
      iso.push_back(record);
    }
    else
    {
      report.notes.push_back(QStringLiteral("%1: not an ISO 10360-2 test, left out").arg(record->d_name));
    }
  }
  std::vector<std::unique_ptr<TMeasurement>> copies;
  if(!Simulate_Copies(machine, iso, &copies, &report.errors))
  {
    return report;
  }

  report.propagated = Propagation::Has_Covariance(machine);
  Propagation::TLinear linear;
  Propagation::TMonteCarlo monte_carlo;
  if(report.propagated)
  {
    linear = Propagation::Linear(machine, iso, options.jobs);
    if(!linear.ok)
    {
      report.errors.push_back(
          QStringLiteral("the covariance of '%1' cannot be propagated: %2").arg(machine.name, linear.error));
      return report;
    }
    if(options.draws > 0)
    {
      monte_carlo = Propagation::Monte_Carlo(machine, iso, options.draws, options.seed, options.jobs);
      if(!monte_carlo.ok)
      {
        report.errors.push_back(QStringLiteral("Monte Carlo of '%1' failed: %2").arg(machine.name, monte_carlo.error));
        return report;
      }
    }
  }

  std::size_t reading = 0;
  for(const std::unique_ptr<TMeasurement>& copy : copies)
  {
    for(std::size_t index = 0; index < copy->d_measurement_items.size(); ++index, ++reading)
    {
      const TItem& item = copy->d_measurement_items[index];
      TRow row;
      row.measurement = copy->d_name;
      row.row = static_cast<int>(index) + 1;
      row.length = item.length_nominal;
      row.deviation = (item.length_actual - item.length_nominal) * MM_TO_UM;
      if(report.propagated && reading < linear.readings.size())
      {
        row.has_u = true;
        row.u = linear.readings[reading].u * MM_TO_UM;
        if(options.draws > 0 && reading < monte_carlo.deviation.size())
        {
          row.u = monte_carlo.deviation[reading] * MM_TO_UM;
          row.has_interval = true;
          row.low = (monte_carlo.low[reading] - item.length_nominal) * MM_TO_UM;
          row.high = (monte_carlo.high[reading] - item.length_nominal) * MM_TO_UM;
        }
      }
      Decide_Row(options, &row);
      report.rows.push_back(row);
    }
  }
  report.ok = true;
  return report;
}

TReport Measured(const TMachineLibrary::TMachineItem& machine, const std::vector<const TMeasurement*>& library,
                 const std::vector<Measured::TSet>& sets, const TOptions& options)
{
  TReport report;
  report.machine = machine.name;
  report.options = options;
  report.source = TSource::MEASURED;

  TMachineComp model;
  QStringList setup_errors;
  if(!Simulation::Setup_Machine_Comp(Simulation::Machine_Record(machine), &model, &setup_errors))
  {
    report.errors = setup_errors;
    report.errors.push_front(QStringLiteral("the machine '%1' cannot be set up:").arg(machine.name));
    return report;
  }
  // The records evaluated in library order, as the export evaluates them, then matched to the
  // sets as identification matches them; a record whose texts fail only leaves its sets out.
  const Simulation::TPreparedRecords prepared = Simulation::Prepare_Records(model, library);
  const std::vector<std::unique_ptr<TMeasurement>>& copies = prepared.copies;
  for(std::size_t index = 0; index < sets.size(); ++index)
  {
    const Measured::TSet& set = sets[index];
    if(set.kind != Measured::TKind::ISO)
    {
      report.notes.push_back(QStringLiteral("%1: not an ISO 10360-2 test, left out").arg(set.file));
      continue;
    }
    const int found = Identify::Find_Record(copies, set);
    if(found < 0 || copies[static_cast<std::size_t>(found)]->Type() != Types::MEASUREMENT_ISO)
    {
      report.notes.push_back(
          QStringLiteral("%1: no ISO 10360-2 measurement named '%2', left out").arg(set.file, set.name));
      continue;
    }
    TMeasurement& record = *copies[static_cast<std::size_t>(found)];
    const QStringList& problems = prepared.lines[static_cast<std::size_t>(found)];
    QString message;
    if(!problems.isEmpty() || !Simulation::Simulate_One(model, &record, &message))
    {
      report.notes.push_back(QStringLiteral("%1: %2, left out")
                                 .arg(set.file, !problems.isEmpty()
                                                    ? problems.front()
                                                    : QStringLiteral("%1: %2").arg(record.d_name, message)));
      continue;
    }
    std::vector<Identify::TObservation> readings;
    const QString reason = Identify::Add_Observations(set, static_cast<int>(index), record, found, &readings);
    if(!reason.isEmpty())
    {
      report.notes.push_back(QStringLiteral("%1: %2, left out").arg(set.file, reason));
      continue;
    }
    // One observation per reading, in file order: every length three times.
    for(std::size_t r = 0; r < readings.size(); ++r)
    {
      TRow row;
      row.measurement = record.d_name;
      row.row = static_cast<int>(r) + 1;
      row.length = record.d_measurement_items[static_cast<std::size_t>(readings[r].item)].length_nominal;
      row.deviation = (readings[r].measured - row.length) * MM_TO_UM;
      Decide_Row(options, &row);
      report.rows.push_back(row);
    }
  }
  report.ok = true;
  return report;
}

TVerdict Verdict(const TReport& report)
{
  const auto any = [&report](TDecision decision)
  {
    return std::any_of(report.rows.begin(), report.rows.end(),
                       [decision](const TRow& row) { return row.decision == decision; });
  };
  return report.rows.empty()            ? TVerdict::NOT_PROVEN
         : any(TDecision::FAIL)         ? TVerdict::DOES_NOT_CONFORM
         : any(TDecision::INCONCLUSIVE) ? TVerdict::NOT_PROVEN
                                        : TVerdict::CONFORMS;
}

QString Summary(const TReport& report)
{
  int fail = 0;
  int inconclusive = 0;
  for(const TRow& row : report.rows)
  {
    fail += row.decision == TDecision::FAIL ? 1 : 0;
    inconclusive += row.decision == TDecision::INCONCLUSIVE ? 1 : 0;
  }
  QString verdict;
  switch(Verdict(report))
  {
  case TVerdict::CONFORMS:
    verdict = QStringLiteral("Conforms");
    break;
  case TVerdict::DOES_NOT_CONFORM:
    verdict = QStringLiteral("Does not conform: ") + Rows_Text(fail, "fail");
    break;
  case TVerdict::NOT_PROVEN:
    verdict = report.rows.empty() ? QStringLiteral("Not proven: no rows")
                                  : QStringLiteral("Not proven: ") + Rows_Text(inconclusive, "inconclusive");
    break;
  }
  const QString rule = report.options.rule == TRule::SIMPLE ? QStringLiteral("simple acceptance")
                                                            : QStringLiteral("guarded acceptance, ISO 14253-1");
  return QStringLiteral("%1: %2 (rule: %3; U with k = 2)").arg(report.machine, verdict, rule);
}

QStringList Report_Lines(const TReport& report)
{
  const TOptions& options = report.options;
  QStringList lines;
  lines.push_back(QStringLiteral("Conformity of '%1'").arg(report.machine));
  lines.push_back(QString(80, QLatin1Char('-')));
  QString mpe = QStringLiteral("E0,MPE = min(A + L/K, B): A = %1 µm, K = %2, ")
                    .arg(Text::Shortest_Number(options.mpe.a), Text::Shortest_Number(options.mpe.k));
  mpe += options.mpe.has_b ? QStringLiteral("B = %1 µm").arg(Text::Shortest_Number(options.mpe.b))
                           : QStringLiteral("no cap");
  lines.push_back(mpe);
  lines.push_back(QStringLiteral("Test set-up U (k = 2) = a + b·L: a = %1 µm, b = %2 µm/m")
                      .arg(Text::Shortest_Number(options.test.a), Text::Shortest_Number(options.test.b)));
  if(report.source == TSource::MEASURED)
  {
    lines.push_back(QStringLiteral("Deviations: measured files; U is the test set-up's"));
  }
  else if(!report.propagated)
  {
    lines.push_back(QStringLiteral("Deviations: simulated; the machine has no covariance, U is the test set-up's"));
  }
  else if(options.draws > 0)
  {
    lines.push_back(QStringLiteral("Deviations: simulated; u of each reading by Monte Carlo, %1 draws, seed %2")
                        .arg(options.draws)
                        .arg(options.seed));
  }
  else
  {
    lines.push_back(
        QStringLiteral("Deviations: simulated; u of each reading by linear propagation of the machine's covariance"));
  }
  lines.push_back(options.rule == TRule::SIMPLE
                      ? QStringLiteral("Rule: simple, pass when |E| <= MPE")
                      : QStringLiteral("Rule: guarded (ISO 14253-1), pass when |E| + U <= MPE, fail when |E| - U > "
                                       "MPE, otherwise inconclusive"));

  QString current;
  bool first = true;
  for(const TRow& row : report.rows)
  {
    if(first || row.measurement != current)
    {
      first = false;
      current = row.measurement;
      lines.push_back(QString());
      lines.push_back(QStringLiteral("ISO 10360-2 Measurement: %1").arg(row.measurement));
      QString heading =
          QStringLiteral(" Row     L (mm)     E (µm)   MPE (µm)     u (µm)     U (µm)    |E|/MPE  Decision");
      if(row.has_interval)
      {
        heading += QStringLiteral("      95 % interval of E (µm)");
      }
      lines.push_back(heading);
    }
    QString line = QString::number(row.row).rightJustified(4);
    line += QLatin1Char(' ') + Column(row.length);
    line += QLatin1Char(' ') + Column(row.deviation);
    line += QLatin1Char(' ') + Column(row.mpe);
    line += QLatin1Char(' ') + (row.has_u ? Column(row.u) : QString(10, QLatin1Char(' ')));
    line += QLatin1Char(' ') + Column(row.expanded);
    line += QLatin1Char(' ') + Column(row.utilisation);
    line += QStringLiteral("  ") + Decision_Name(row.decision).leftJustified(12);
    if(row.has_interval)
    {
      line += QStringLiteral(" %1 .. %2").arg(Column(row.low), Column(row.high));
    }
    while(line.endsWith(QLatin1Char(' ')))
    {
      line.chop(1);
    }
    lines.push_back(line);
  }
  for(const QString& note : report.notes)
  {
    lines.push_back(QString());
    lines.push_back(QStringLiteral("Note: ") + note);
  }
  lines.push_back(QString());
  lines.push_back(Summary(report));
  return lines;
}

QByteArray Csv(const TReport& report)
{
  QByteArray text("measurement,row,length_mm,deviation_um,mpe_um,u_reading_um,U_um,utilisation,decision\n");
  for(const TRow& row : report.rows)
  {
    QString line = Plot_Series::Csv_Field(row.measurement);
    line += QLatin1Char(',') + QString::number(row.row);
    for(const double value : {row.length, row.deviation, row.mpe})
    {
      line += QLatin1Char(',') + Text::Shortest_Number(value);
    }
    line += QLatin1Char(',');
    if(row.has_u)
    {
      line += Text::Shortest_Number(row.u);
    }
    for(const double value : {row.expanded, row.utilisation})
    {
      line += QLatin1Char(',') + Text::Shortest_Number(value);
    }
    line += QLatin1Char(',') + Decision_Name(row.decision) + QLatin1Char('\n');
    text += line.toUtf8();
  }
  return text;
}
} // namespace Conformity
