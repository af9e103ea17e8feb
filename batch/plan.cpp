#include "batch/plan.h"

#include <QCommandLineParser>

#include "batch/batch.h"
#include "batch/identify_options.h"
#include "core/safefile.h"
#include "src/model/plan.h"

namespace
{
// The options of the command line; the usage problem, or an empty text.
QString Read_Options(const Batch::TArguments& arguments, Plan::TOptions* options)
{
  const QString shared = Batch::Read_Identify_Options(arguments, &options->identify);
  if(!shared.isEmpty())
  {
    return shared;
  }
  const QString budget = arguments.Value(QStringLiteral("budget"));
  if(!budget.isEmpty())
  {
    bool ok = false;
    options->budget = budget.toInt(&ok);
    if(!ok || options->budget < 1)
    {
      return QStringLiteral("--budget must be a whole number of 1 or more; got '%1'").arg(budget);
    }
  }
  return QString();
}
} // namespace

namespace Batch
{
QString Plan_Usage_Error(const TArguments& arguments)
{
  if(arguments.machine_names.size() != 1)
  {
    return QStringLiteral("plan needs one --machine");
  }
  const QString json = arguments.Value(QStringLiteral("json"));
  if(!json.isEmpty())
  {
    const QString library = Library_Output_Problem(QStringLiteral("plan"), arguments, json);
    if(!library.isEmpty())
    {
      return library;
    }
  }
  Plan::TOptions options;
  return Read_Options(arguments, &options);
}

int Run_Plan(const TArguments& arguments, const TLibraries& libraries, const TOutput& output)
{
  const int id = libraries.machines.Machine_Id(arguments.machine_names.front());
  const TMachineLibrary::TMachineItem* machine = libraries.machines.Machine(id);
  if(!machine)
  {
    output.Message(QStringLiteral("no machine named '%1'").arg(arguments.machine_names.front()));
    return EXIT_USAGE;
  }
  Plan::TOptions options;
  Read_Options(arguments, &options);

  std::vector<const TMeasurement*> records;
  for(const TMeasurement* measurement : libraries.measurements.All_Measurements())
  {
    records.push_back(measurement);
  }
  // Every measurement of the library, or the ones named, in library order.
  std::vector<int> candidates;
  const QStringList names = arguments.Values(QStringLiteral("candidate"));
  for(const QString& name : names)
  {
    const TMeasurement* named = libraries.measurements.Measurement(libraries.measurements.Measurement_Id(name));
    if(!named)
    {
      output.Message(QStringLiteral("no measurement named '%1'").arg(name));
      return EXIT_USAGE;
    }
  }
  for(std::size_t index = 0; index < records.size(); ++index)
  {
    bool named = names.isEmpty();
    for(const QString& name : names)
    {
      named =
          named || libraries.measurements.Measurement(libraries.measurements.Measurement_Id(name)) == records[index];
    }
    if(named)
    {
      candidates.push_back(static_cast<int>(index));
    }
  }

  const Plan::TResult result = Plan::Run(*machine, records, candidates, options);
  *output.out += result.report.join(QLatin1Char('\n')).toUtf8();
  *output.out += '\n';
  if(result.status == Plan::TStatus::NO_MACHINE || result.status == Plan::TStatus::FAILED)
  {
    output.Message(result.status == Plan::TStatus::NO_MACHINE
                       ? QStringLiteral("the machine '%1' cannot be set up").arg(machine->name)
                       : result.failure);
    return EXIT_FAILED;
  }
  const QString json = arguments.Value(QStringLiteral("json"));
  if(!json.isEmpty())
  {
    TSafeFile file(json);
    if(!file.Open() || !file.Write(Plan::Json(result)) || !file.Commit())
    {
      output.Message(QStringLiteral("cannot write '%1': %2").arg(json, file.Error_String()));
      return EXIT_FAILED;
    }
  }
  return EXIT_OK;
}
} // namespace Batch
