#include "batch/identify.h"

#include <QCommandLineParser>

#include <cmath>

#include "batch/batch.h"
#include "batch/identify_options.h"
#include "core/safefile.h"
#include "src/model/identify.h"
#include "src/model/measuredfile.h"
#include "src/model/option_limits.h"

namespace
{
// The options of the command line; the usage problem, or an empty text.
QString Read_Options(const Batch::TArguments& arguments, Identify::TOptions* options)
{
  const QString shared = Batch::Read_Identify_Options(arguments, options);
  if(!shared.isEmpty())
  {
    return shared;
  }
  const QString limit = arguments.Value(QStringLiteral("outlier-limit"));
  if(!limit.isEmpty())
  {
    bool ok = false;
    options->outlier_limit = limit.toDouble(&ok);
    if(!ok || !Option_Limits::OUTLIER_LIMIT.Contains(options->outlier_limit))
    {
      return QStringLiteral("--outlier-limit must be a number from %1 to %2; got '%3'")
          .arg(Option_Limits::OUTLIER_LIMIT.minimum)
          .arg(Option_Limits::OUTLIER_LIMIT.maximum)
          .arg(limit);
    }
  }
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
  const QString library = Output_Problem(QStringLiteral("identify"), arguments, output);
  if(!library.isEmpty())
  {
    return library;
  }
  const QString json = arguments.Value(QStringLiteral("json"));
  if(!json.isEmpty())
  {
    // However named: through a linked folder, a link or a hard link.
    if(Same_File(json, output))
    {
      return QStringLiteral("identify writes --output and --json to two different files");
    }
    const QString json_library = Output_Problem(QStringLiteral("identify"), arguments, json);
    if(!json_library.isEmpty())
    {
      return json_library;
    }
  }
  const QString residuals = arguments.Value(QStringLiteral("residuals"));
  if(!residuals.isEmpty())
  {
    for(const QString& other : {output, json})
    {
      if(!other.isEmpty() && Same_File(residuals, other))
      {
        return QStringLiteral("identify writes --residuals to a file of its own, not '%1'").arg(other);
      }
    }
    const QString residuals_library = Library_Output_Problem(QStringLiteral("identify"), arguments, residuals);
    if(!residuals_library.isEmpty())
    {
      return residuals_library;
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
  const QString residuals = arguments.Value(QStringLiteral("residuals"));
  if(!residuals.isEmpty() && result.status == Identify::TStatus::FITTED)
  {
    TSafeFile file(residuals);
    if(!file.Open() || !file.Write(Identify::Residuals_Csv(result)) || !file.Commit())
    {
      output.Message(QStringLiteral("cannot write '%1': %2").arg(residuals, file.Error_String()));
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
  if(result.verdict == Identify::TVerdict::PARTLY_IDENTIFIED && arguments.parser->isSet(QStringLiteral("exit-code")))
  {
    return EXIT_PARTLY_IDENTIFIED;
  }
  return EXIT_OK;
}
} // namespace Batch
