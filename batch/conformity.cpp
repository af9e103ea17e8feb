#include "batch/conformity.h"

#include <QCommandLineParser>

#include <limits>

#include "batch/batch.h"
#include "batch/panes.h"
#include "core/safefile.h"
#include "src/model/evaluation.h"
#include "src/model/measuredfile.h"

namespace
{
// Draws kept in memory: each holds every reading of the tests.
const int MAXIMUM_DRAWS = 1000000;
const int MINIMUM_DRAWS = 2;

bool Parse_Draws(const QString& text, int* draws)
{
  bool ok = false;
  const int value = text.toInt(&ok, 10);
  if(!ok || value < MINIMUM_DRAWS || value > MAXIMUM_DRAWS)
  {
    return false;
  }
  *draws = value;
  return true;
}

bool Parse_Seed(const QString& text, std::uint64_t* seed)
{
  bool ok = false;
  const qulonglong value = text.toULongLong(&ok, 10);
  if(!ok || text.startsWith(QLatin1Char('-')) || text.startsWith(QLatin1Char('+')))
  {
    return false;
  }
  *seed = value;
  return true;
}

// The options of the command line; they were checked by Conformity_Options_Error.
Conformity::TOptions Options(const Batch::TArguments& arguments)
{
  Conformity::TOptions options;
  QString error;
  const QString test = arguments.Value(QStringLiteral("test-uncertainty"));
  if(!test.isEmpty())
  {
    Conformity::Parse_Test_Uncertainty(test, &options.test, &error);
  }
  options.rule = arguments.Value(QStringLiteral("rule")) == QLatin1String("simple") ? Conformity::TRule::SIMPLE
                                                                                    : Conformity::TRule::GUARDED;
  const QString draws = arguments.Value(QStringLiteral("draws"));
  if(!draws.isEmpty())
  {
    Parse_Draws(draws, &options.draws);
  }
  const QString seed = arguments.Value(QStringLiteral("seed"));
  if(!seed.isEmpty())
  {
    Parse_Seed(seed, &options.seed);
  }
  // As the window's evaluation: VARLUME_JOBS threads, one per core without it.
  options.jobs = Evaluation::Parse_Jobs(qEnvironmentVariable("VARLUME_JOBS"));
  return options;
}
} // namespace

namespace Batch
{
QString Conformity_Options_Error(const TArguments& arguments)
{
  for(const char* name : {"mpe", "test-uncertainty", "rule", "draws", "seed", "csv"})
  {
    if(arguments.Values(QLatin1String(name)).size() > 1)
    {
      return QStringLiteral("--%1 given twice").arg(QLatin1String(name));
    }
  }
  QString error;
  const QString mpe = arguments.Value(QStringLiteral("mpe"));
  Conformity::TMpe parsed_mpe;
  if(!mpe.isEmpty() && !Conformity::Parse_Mpe(mpe, &parsed_mpe, &error))
  {
    return error;
  }
  if(arguments.Values(QStringLiteral("mpe")).size() == 1 && mpe.isEmpty())
  {
    return QStringLiteral("--mpe takes A,K or A,K,B (A and B in µm, K a number), got ''");
  }
  const QString test = arguments.Value(QStringLiteral("test-uncertainty"));
  Conformity::TTestUncertainty parsed_test;
  if(arguments.Values(QStringLiteral("test-uncertainty")).size() == 1 &&
     !Conformity::Parse_Test_Uncertainty(test, &parsed_test, &error))
  {
    return error;
  }
  const QStringList rules = arguments.Values(QStringLiteral("rule"));
  if(!rules.isEmpty() && rules.front() != QLatin1String("simple") && rules.front() != QLatin1String("guarded"))
  {
    return QStringLiteral("--rule must be simple or guarded, got '%1'").arg(rules.front());
  }
  const QStringList draws = arguments.Values(QStringLiteral("draws"));
  int parsed_draws = 0;
  if(!draws.isEmpty() && !Parse_Draws(draws.front(), &parsed_draws))
  {
    return QStringLiteral("--draws must be a whole number from %1 to %2, got '%3'")
        .arg(MINIMUM_DRAWS)
        .arg(MAXIMUM_DRAWS)
        .arg(draws.front());
  }
  const QStringList seeds = arguments.Values(QStringLiteral("seed"));
  std::uint64_t parsed_seed = 0;
  if(!seeds.isEmpty() && !Parse_Seed(seeds.front(), &parsed_seed))
  {
    return QStringLiteral("--seed must be a whole number from 0 to %1, got '%2'")
        .arg(std::numeric_limits<std::uint64_t>::max())
        .arg(seeds.front());
  }
  if(!seeds.isEmpty() && draws.isEmpty())
  {
    return QStringLiteral("--seed needs --draws");
  }
  return QString();
}

QString Conformity_Usage_Error(const TArguments& arguments)
{
  if(arguments.machine_names.size() != 1)
  {
    return QStringLiteral("conformity needs one --machine");
  }
  const bool measured = !arguments.Values(QStringLiteral("measured")).isEmpty();
  if(measured && !arguments.measurement_names.isEmpty())
  {
    return QStringLiteral("conformity takes --measurement or --measured, not both");
  }
  if(!measured && arguments.measurement_names.isEmpty())
  {
    return QStringLiteral("conformity needs at least one --measurement or --measured");
  }
  if(!arguments.increments.isEmpty())
  {
    return QStringLiteral("conformity takes no --increments");
  }
  const QString csv = arguments.Value(QStringLiteral("csv"));
  const QString library = csv.isEmpty() ? QString() : Output_Problem(QStringLiteral("conformity"), arguments, csv);
  if(!library.isEmpty())
  {
    return library;
  }
  return Conformity_Options_Error(arguments);
}

int Conformity_Report(const TArguments& arguments, const TLibraries& libraries, const TOutput& output,
                      Conformity::TReport* report)
{
  const int id = libraries.machines.Machine_Id(arguments.machine_names.front());
  const TMachineLibrary::TMachineItem* machine = libraries.machines.Machine(id);
  if(!machine)
  {
    output.Message(QStringLiteral("no machine named '%1'").arg(arguments.machine_names.front()));
    return EXIT_USAGE;
  }
  Conformity::TOptions options = Options(arguments);
  const QString mpe = arguments.Value(QStringLiteral("mpe"));
  QString error;
  if(!mpe.isEmpty())
  {
    Conformity::Parse_Mpe(mpe, &options.mpe, &error);
  }
  else if(!Conformity::Record_Mpe(*machine, &options.mpe))
  {
    output.Message(QStringLiteral("no MPE: the machine '%1' has none; give --mpe A,K,B (A and B in µm, K a number)")
                       .arg(machine->name));
    return EXIT_USAGE;
  }

  int code = EXIT_OK;
  const QStringList measured = arguments.Values(QStringLiteral("measured"));
  if(measured.isEmpty())
  {
    // Measurements of other kinds are left out with a note in the report.
    const std::vector<TMeasurement*> list = libraries.measurements.Measurements(arguments.measurement_names);
    const std::vector<const TMeasurement*> records(list.begin(), list.end());
    TMachineComp model;
    if(!Setup_Machine(libraries, machine->name, &model, output))
    {
      return EXIT_FAILED;
    }
    *report = Conformity::Simulated(*machine, records, options);
  }
  else
  {
    const Measured::TCollection collection = Measured::Read(measured);
    const std::vector<TMeasurement*> all = libraries.measurements.All_Measurements();
    *report = Conformity::Measured(*machine, std::vector<const TMeasurement*>(all.begin(), all.end()), collection.sets,
                                   options);
    // The report is still made from the files that could be read.
    for(const Measured::TProblem& problem : collection.problems)
    {
      output.Message(QStringLiteral("%1: %2").arg(problem.file, problem.reason));
      code = EXIT_FAILED;
    }
  }
  for(const QString& line : report->errors)
  {
    output.Message(line);
  }
  return report->ok ? code : EXIT_FAILED;
}

int Run_Conformity(const TArguments& arguments, const TLibraries& libraries, const TOutput& output)
{
  Conformity::TReport report;
  const int code = Conformity_Report(arguments, libraries, output, &report);
  if(code == EXIT_USAGE || !report.ok)
  {
    return code;
  }
  *output.out += Conformity::Report_Lines(report).join(QLatin1Char('\n')).toUtf8();
  *output.out += '\n';
  const QString csv = arguments.Value(QStringLiteral("csv"));
  QString error;
  if(!csv.isEmpty() && !SafeFile::Write_File(csv, Conformity::Csv(report), &error))
  {
    output.Message(QStringLiteral("cannot write '%1': %2").arg(csv, error));
    return EXIT_FAILED;
  }
  // For scripts: the verdict as the exit code, once the report is complete.
  if(code == EXIT_OK && arguments.parser->isSet(QStringLiteral("exit-code")))
  {
    switch(Conformity::Verdict(report))
    {
    case Conformity::TVerdict::CONFORMS:
      return EXIT_OK;
    case Conformity::TVerdict::DOES_NOT_CONFORM:
      return EXIT_NOT_CONFORMING;
    case Conformity::TVerdict::NOT_PROVEN:
      return EXIT_NOT_PROVEN;
    }
  }
  return code;
}
} // namespace Batch
