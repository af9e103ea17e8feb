#include "batch/export.h"

#include <QFileInfo>

#include <vector>

#include "batch/batch.h"
#include "batch/panes.h"
#include "src/model/export.h"
#include "src/model/machinecomp.h"
#include "src/model/report.h"
#include "src/model/simulation.h"

namespace Batch
{
QString Export_Usage_Error(const TArguments& arguments)
{
  const QString problem = Machine_And_Measurements_Error(QStringLiteral("export"), arguments);
  if(!problem.isEmpty())
  {
    return problem;
  }
  const QString directory = arguments.Value(QStringLiteral("dir"));
  if(directory.isEmpty())
  {
    return QStringLiteral("export needs --dir");
  }
  // The window offers existing directories only; a typing error must not create one.
  if(!QFileInfo(directory).isDir())
  {
    return QStringLiteral("no directory '%1'").arg(directory);
  }
  return QString();
}

int Run_Export(const TArguments& arguments, const TLibraries& libraries, const TOutput& output)
{
  TMachineComp machine;
  if(!Setup_Machine(libraries, arguments.machine_names.front(), &machine, output))
  {
    return EXIT_FAILED;
  }

  std::vector<TMeasurement*> list = libraries.measurements.Measurements(arguments.measurement_names);
  Export::TResult result;
  QStringList errors;
  if(Export::Export_Measurements(&machine, &list, arguments.Value(QStringLiteral("dir")), &result, &errors) !=
     Export::TStatus::WRITTEN)
  {
    output.Pane(Report::Measurement_Expression_Errors(errors));
    return EXIT_FAILED;
  }
  for(const QString& file : result.files)
  {
    *output.out += file.toUtf8();
    *output.out += '\n';
  }
  for(const QString& line : result.renamed)
  {
    output.Message(line);
  }
  // The window shows only the last failure; a script sees them all.
  for(const QString& failure : result.failures)
  {
    output.Message(failure);
  }
  return result.failures.isEmpty() ? EXIT_OK : EXIT_FAILED;
}
} // namespace Batch
