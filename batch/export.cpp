#include "batch/export.h"

#include <QFileInfo>

#include <vector>

#include "batch/batch.h"
#include "src/model/export.h"
#include "src/model/machinecomp.h"
#include "src/model/machinelibrary.h"
#include "src/model/measurementlibrary.h"
#include "src/model/report.h"
#include "src/model/simulation.h"

namespace
{
// A pane's text as the window shows it (Latin-1), then one line feed.
void Print_Pane(const QStringList& lines, QByteArray* out)
{
  *out += Report::Pane_Text(lines).toLatin1();
  *out += '\n';
}
} // namespace

namespace Batch
{
QString Export_Usage_Error(const QStringList& machine_names, const QStringList& measurement_names,
                           bool increments_given, const QString& directory)
{
  if(machine_names.size() != 1)
  {
    return QStringLiteral("export needs one --machine");
  }
  if(measurement_names.isEmpty())
  {
    return QStringLiteral("export needs at least one --measurement");
  }
  if(increments_given)
  {
    return QStringLiteral("export takes no --increments");
  }
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

int Run_Export(const TMachineLibrary& machines, const TMeasurementLibrary& measurements, const QString& machine_name,
               const QStringList& measurement_names, const QString& directory, QByteArray* out, QByteArray* err)
{
  for(const QString& name : measurement_names)
  {
    if(measurements.Measurement_Id(name) < 0)
    {
      *err += QStringLiteral("varlume-batch: no measurement named '%1'\n").arg(name).toLocal8Bit();
      return EXIT_USAGE;
    }
  }

  TMachineComp machine;
  QStringList errors;
  if(!Simulation::Update_Machine_Comp(machines, machine_name, &machine, &errors))
  {
    Print_Pane(Report::Map_Initialization_Errors(errors), out);
    return EXIT_FAILED;
  }

  const std::vector<TMeasurement*> list = measurements.Measurements(measurement_names);
  Export::TResult result;
  if(Export::Export_Measurements(&machine, &list, directory, &result, &errors) != Export::TStatus::WRITTEN)
  {
    Print_Pane(Report::Measurement_Expression_Errors(errors), out);
    return EXIT_FAILED;
  }
  for(const QString& file : result.files)
  {
    *out += file.toUtf8();
    *out += '\n';
  }
  // The window shows only the last failure; a script sees them all.
  for(const QString& failure : result.failures)
  {
    *err += QStringLiteral("varlume-batch: %1\n").arg(failure).toLocal8Bit();
  }
  return result.failures.isEmpty() ? EXIT_OK : EXIT_FAILED;
}
} // namespace Batch
