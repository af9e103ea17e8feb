#include "batch/identify.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include <cmath>

#include "batch/batch.h"
#include "core/safefile.h"
#include "src/model/identify.h"
#include "src/model/measuredfile.h"

namespace
{
// The kinds of --uncertainty, in the order of Identify::TObservationKind.
const char* const UNCERTAINTY_KINDS[Identify::OBSERVATION_KINDS] = {
    "ballbar", "iso", "laser-length", "laser-straightness", "laser-angle", "mcg"};

// "KIND=VALUE" into options; false for an unknown kind or a value outside the stated range.
bool Read_Uncertainty(const QString& text, Identify::TOptions* options)
{
  const int equals = text.indexOf(QLatin1Char('='));
  if(equals <= 0)
  {
    return false;
  }
  bool ok = false;
  const double value = text.mid(equals + 1).toDouble(&ok);
  if(!ok || !(value >= Identify::SMALLEST_UNCERTAINTY && value <= Identify::LARGEST_UNCERTAINTY))
  {
    return false;
  }
  for(int kind = 0; kind < Identify::OBSERVATION_KINDS; ++kind)
  {
    if(text.left(equals) == QLatin1String(UNCERTAINTY_KINDS[kind]))
    {
      options->uncertainties[kind] = value;
      return true;
    }
  }
  return false;
}

// The options of the command line; the usage problem, or an empty text.
QString Read_Options(const Batch::TArguments& arguments, Identify::TOptions* options)
{
  const QStringList degrees = arguments.Values(QStringLiteral("degree"));
  if(!degrees.isEmpty())
  {
    bool ok = false;
    options->degree = degrees.back().toInt(&ok);
    if(!ok || options->degree < Identify::MINIMUM_DEGREE || options->degree > Identify::MAXIMUM_DEGREE)
    {
      return QStringLiteral("--degree must be a whole number from %1 to %2")
          .arg(Identify::MINIMUM_DEGREE)
          .arg(Identify::MAXIMUM_DEGREE);
    }
  }
  for(const QString& text : arguments.Values(QStringLiteral("uncertainty")))
  {
    if(!Read_Uncertainty(text, options))
    {
      return QStringLiteral("--uncertainty takes KIND=VALUE (µm, µrad for laser-angle; from %1 to %2) with KIND one "
                            "of ballbar, iso, laser-length, laser-straightness, laser-angle, mcg; got '%3'")
          .arg(Identify::SMALLEST_UNCERTAINTY)
          .arg(Identify::LARGEST_UNCERTAINTY)
          .arg(text);
    }
  }
  const QString resolution = arguments.Value(QStringLiteral("resolution"));
  if(!resolution.isEmpty())
  {
    bool ok = false;
    options->resolution = resolution.toDouble(&ok);
    if(!ok || !(options->resolution >= 0.0) || !std::isfinite(options->resolution))
    {
      return QStringLiteral("--resolution must be a number of 0 or more; got '%1'").arg(resolution);
    }
  }
  const QString limit = arguments.Value(QStringLiteral("outlier-limit"));
  if(!limit.isEmpty())
  {
    bool ok = false;
    options->outlier_limit = limit.toDouble(&ok);
    if(!ok || !(options->outlier_limit > 0.0) || !std::isfinite(options->outlier_limit))
    {
      return QStringLiteral("--outlier-limit must be a number above 0; got '%1'").arg(limit);
    }
  }
  options->absolute_straightness = arguments.parser->isSet(QStringLiteral("absolute-straightness"));
  options->reject_outliers = arguments.parser->isSet(QStringLiteral("reject-outliers"));
  return QString();
}

} // namespace

namespace Batch
{
QString Identify_Usage_Error(const TArguments& arguments)
{
  if(arguments.machine_names.size() != 1)
  {
    return QStringLiteral("identify needs one --machine");
  }
  if(arguments.Values(QStringLiteral("measured")).isEmpty())
  {
    return QStringLiteral("identify needs at least one --measured");
  }
  const QString output = arguments.Value(QStringLiteral("output"));
  if(output.isEmpty())
  {
    return QStringLiteral("identify needs --output");
  }
  const QString library = Library_Output_Problem(QStringLiteral("identify"), arguments, output);
  if(!library.isEmpty())
  {
    return library;
  }
  const QString json = arguments.Value(QStringLiteral("json"));
  if(!json.isEmpty())
  {
    if(QFileInfo(json).absoluteFilePath() == QFileInfo(output).absoluteFilePath())
    {
      return QStringLiteral("identify writes --output and --json to two different files");
    }
    const QString json_library = Library_Output_Problem(QStringLiteral("identify"), arguments, json);
    if(!json_library.isEmpty())
    {
      return json_library;
    }
  }
  Identify::TOptions options;
  return Read_Options(arguments, &options);
}

int Run_Identify(const TArguments& arguments, const TLibraries& libraries, const TOutput& output)
{
  const int id = libraries.machines.Machine_Id(arguments.machine_names.front());
  const TMachineLibrary::TMachineItem* machine = libraries.machines.Machine(id);
  if(!machine)
  {
    output.Message(QStringLiteral("no machine named '%1'").arg(arguments.machine_names.front()));
    return EXIT_USAGE;
  }
  Identify::TOptions options;
  Read_Options(arguments, &options);
  options.identified_name = libraries.machines.Generate_Unique_Name(-1, machine->name + QStringLiteral(" identified"));

  std::vector<const TMeasurement*> records;
  for(const TMeasurement* measurement : libraries.measurements.All_Measurements())
  {
    records.push_back(measurement);
  }
  const Measured::TCollection measured = Measured::Read(arguments.Values(QStringLiteral("measured")));
  const Identify::TResult result = Identify::Run(*machine, records, measured, options);
  *output.out += result.report.join(QLatin1Char('\n')).toUtf8();
  *output.out += '\n';
  // The machine-readable report is written whatever the verdict.
  const QString json = arguments.Value(QStringLiteral("json"));
  if(!json.isEmpty())
  {
    TSafeFile file(json);
    if(!file.Open() || !file.Write(Identify::Json(result)) || !file.Commit())
    {
      output.Message(QStringLiteral("cannot write '%1': %2").arg(json, file.Error_String()));
      return EXIT_FAILED;
    }
  }
  if(result.status != Identify::TStatus::FITTED)
  {
    return EXIT_FAILED;
  }

  TMachineLibrary identified;
  const int identified_id = identified.Create_Machine(result.machine.name);
  TMachineLibrary::TMachineItem item = result.machine;
  item.id = identified_id;
  *identified.Machine(identified_id) = item;
  if(!identified.Save_As(arguments.Value(QStringLiteral("output"))))
  {
    output.Message(identified.Last_Error());
    return EXIT_FAILED;
  }
  return EXIT_OK;
}
} // namespace Batch
