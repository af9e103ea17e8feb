#include "batch/plot.h"

#include <QRegularExpression>

#include <cmath>
#include <memory>
#include <vector>

#include "batch/batch.h"
#include "batch/conformity.h"
#include "batch/panes.h"
#include "core/safefile.h"
#include "src/gui/conformitychart.h"
#include "src/gui/plotcharts.h"
#include "src/gui/plotpage.h"
#include "src/model/machinecomp.h"
#include "src/model/plotseries.h"
#include "src/model/report.h"
#include "src/model/sensitivity.h"
#include "src/model/simulation.h"

namespace
{
const QSize DEFAULT_SIZE(1200, 800);
// Smaller pictures cannot hold a chart's labels; larger ones are a typing error.
const int MINIMUM_SIDE = 200;
const int MAXIMUM_SIDE = 10000;
// The window's increment fields start at 100.
const double DEFAULT_INCREMENT = 100.0;

// "WxH" in pixels; false for anything else.
bool Parse_Size(const QString& text, QSize* size)
{
  const QRegularExpressionMatch match =
      QRegularExpression(QStringLiteral("^([0-9]{1,5})[xX]([0-9]{1,5})$")).match(text);
  if(!match.hasMatch())
  {
    return false;
  }
  *size = QSize(match.captured(1).toInt(), match.captured(2).toInt());
  return size->width() >= MINIMUM_SIDE && size->height() >= MINIMUM_SIDE && size->width() <= MAXIMUM_SIDE &&
         size->height() <= MAXIMUM_SIDE;
}

// Writes the CSV and the picture that build makes (only when a picture was asked for, so that
// a CSV needs no widgets): both or neither. Each goes to a temporary file that replaces its
// target only when both are complete. Returns the exit code.
template <typename TBuild>
int Write(const Batch::TArguments& arguments, const QByteArray& csv, TBuild build, const Batch::TOutput& output)
{
  const QString csv_name = arguments.Value(QStringLiteral("csv"));
  const QString picture_name = arguments.Value(QStringLiteral("output"));
  std::vector<std::unique_ptr<TSafeFile>> files;
  const auto fail = [&output](const TSafeFile& file)
  {
    output.Message(QStringLiteral("cannot write '%1': %2").arg(file.File_Name(), file.Error_String()));
    return Batch::EXIT_FAILED;
  };
  for(const QString& name : {csv_name, picture_name})
  {
    if(!name.isEmpty())
    {
      files.push_back(std::make_unique<TSafeFile>(name));
      if(!files.back()->Open())
      {
        return fail(*files.back());
      }
    }
  }
  if(!csv_name.isEmpty() && (!files.front()->Write(csv) || !files.front()->Flush()))
  {
    return fail(*files.front());
  }
  if(!picture_name.isEmpty())
  {
    QSize size = DEFAULT_SIZE;
    if(!arguments.Value(QStringLiteral("size")).isEmpty())
    {
      Parse_Size(arguments.Value(QStringLiteral("size")), &size);
    }
    const std::unique_ptr<TPlotPage> page(build());
    QByteArray bytes;
    QString error;
    if(!Draw_Plot(page.get(), picture_name, size, &bytes, &error))
    {
      output.Message(error);
      return Batch::EXIT_FAILED;
    }
    if(!files.back()->Write(bytes) || !files.back()->Flush())
    {
      return fail(*files.back());
    }
  }
  for(const std::unique_ptr<TSafeFile>& file : files)
  {
    if(!file->Commit())
    {
      return fail(*file);
    }
  }
  return Batch::EXIT_OK;
}

int Plot_Errors(const Batch::TArguments& arguments, const Batch::TLibraries& libraries, const QString& name,
                const Batch::TOutput& output)
{
  TMachineComp machine;
  if(!Batch::Setup_Machine(libraries, name, &machine, output))
  {
    return Batch::EXIT_FAILED;
  }
  double increments[3] = {DEFAULT_INCREMENT, DEFAULT_INCREMENT, DEFAULT_INCREMENT};
  for(int axis = 0; axis < arguments.increments.size(); ++axis)
  {
    increments[axis] = std::fabs(arguments.increments[axis].toDouble());
  }
  return Write(
      arguments, Plot_Series::Errors_Csv(Plot_Series::Axis_Error_Table(machine)),
      [&]()
      {
        return Plot_Charts::Errors_Page(name, Plot_Series::Axis_Error_Curves(machine, increments),
                                        Plot_Series::Machine_Notes(machine));
      },
      output);
}

int Plot_Results(const Batch::TArguments& arguments, const Batch::TLibraries& libraries, const QString& name,
                 const Batch::TOutput& output)
{
  TMachineComp machine;
  if(!Batch::Setup_Machine(libraries, name, &machine, output))
  {
    return Batch::EXIT_FAILED;
  }
  std::vector<TMeasurement*> measurements = libraries.measurements.Measurements(arguments.measurement_names);
  QStringList lines;
  if(!Report::Simulate_Measurements(&machine, &measurements, &lines))
  {
    output.Pane(lines);
    return Batch::EXIT_FAILED;
  }
  const std::vector<Plot_Series::TMeasurementResult> results = Plot_Series::Results(machine, measurements);
  return Write(
      arguments, Plot_Series::Results_Csv(results), [&]() { return Plot_Charts::Results_Page(name, results); }, output);
}

// As the evaluation: measurement expressions that do not evaluate do not stop it.
int Plot_Sensitivity(const Batch::TArguments& arguments, const Batch::TLibraries& libraries, const QString& name,
                     const Batch::TOutput& output)
{
  Simulation::TMachineRecord record;
  Simulation::Find_Machine_Record(libraries.machines, name, &record);
  const std::vector<TMeasurement*> measurements = libraries.measurements.Measurements(arguments.measurement_names);
  const Sensitivity::TResult result = Sensitivity::Compute(record, measurements);
  switch(result.end)
  {
  case Sensitivity::TEnd::FINISHED:
    break;
  case Sensitivity::TEnd::REFUSED:
    output.Message(QStringLiteral("sensitivity refused: %1").arg(result.message));
    return Batch::EXIT_FAILED;
  case Sensitivity::TEnd::STOPPED:
  case Sensitivity::TEnd::CANCELLED:
    output.Message(QStringLiteral("sensitivity stopped: %1").arg(result.message));
    return Batch::EXIT_FAILED;
  }
  return Write(
      arguments, Sensitivity::Csv(result.rows), [&]() { return Plot_Charts::Sensitivity_Page(name, result.rows); },
      output);
}
// The report and chart of varlume-batch conformity, with the CSV it writes.
int Plot_Conformity(const Batch::TArguments& arguments, const Batch::TLibraries& libraries,
                    const Batch::TOutput& output)
{
  Conformity::TReport report;
  const int code = Batch::Conformity_Report(arguments, libraries, output, &report);
  if(code == Batch::EXIT_USAGE || !report.ok)
  {
    return code;
  }
  const int written = Write(
      arguments, Conformity::Csv(report), [&]() { return Conformity_Chart::Page(report); }, output);
  return written != Batch::EXIT_OK ? written : code;
}

// The conformity options belong to --kind conformity alone.
QString Conformity_Kind_Error(const Batch::TArguments& arguments, const QString& kind)
{
  if(kind == QLatin1String("conformity"))
  {
    const bool measured = !arguments.Values(QStringLiteral("measured")).isEmpty();
    if(measured == !arguments.measurement_names.isEmpty())
    {
      return QStringLiteral("plot --kind conformity needs --measurement or --measured (not both)");
    }
    return arguments.increments.isEmpty() ? Batch::Conformity_Options_Error(arguments)
                                          : QStringLiteral("plot --kind conformity takes no --increments");
  }
  for(const char* option : {"mpe", "test-uncertainty", "rule", "draws", "seed", "measured"})
  {
    if(!arguments.Values(QLatin1String(option)).isEmpty())
    {
      return QStringLiteral("--%1 is only for plot --kind conformity").arg(QLatin1String(option));
    }
  }
  return QString();
}
} // namespace

namespace Batch
{
QString Plot_Usage_Error(const TArguments& arguments)
{
  const QString kind = arguments.Value(QStringLiteral("kind"));
  if(arguments.machine_names.size() != 1)
  {
    return QStringLiteral("plot needs one --machine");
  }
  if(kind != QLatin1String("errors") && kind != QLatin1String("results") && kind != QLatin1String("sensitivity") &&
     kind != QLatin1String("conformity"))
  {
    return kind.isEmpty() ? QStringLiteral("plot needs --kind errors, results, sensitivity or conformity")
                          : QStringLiteral("unknown --kind '%1': errors, results, sensitivity or conformity").arg(kind);
  }
  const QString conformity = Conformity_Kind_Error(arguments, kind);
  if(!conformity.isEmpty())
  {
    return conformity;
  }
  if(kind == QLatin1String("errors") && !arguments.measurement_names.isEmpty())
  {
    return QStringLiteral("plot --kind errors takes no --measurement");
  }
  if(kind != QLatin1String("errors") && kind != QLatin1String("conformity") && arguments.measurement_names.isEmpty())
  {
    return QStringLiteral("plot --kind %1 needs at least one --measurement").arg(kind);
  }
  if(kind != QLatin1String("errors") && !arguments.increments.isEmpty())
  {
    return QStringLiteral("plot --kind %1 takes no --increments").arg(kind);
  }
  const QStringList outputs = arguments.Values(QStringLiteral("output"));
  const QStringList csvs = arguments.Values(QStringLiteral("csv"));
  if(outputs.size() > 1 || csvs.size() > 1)
  {
    return QStringLiteral("plot takes one --output and one --csv");
  }
  const QString picture = outputs.isEmpty() ? QString() : outputs.front();
  const QString csv = csvs.isEmpty() ? QString() : csvs.front();
  if(picture.isEmpty() && csv.isEmpty())
  {
    return QStringLiteral("plot needs --output (a .png, .svg or .pdf file), --csv, or both");
  }
  if(!picture.isEmpty() && !Plot_File_Type_Known(picture))
  {
    return QStringLiteral("--output '%1' must end in .png, .svg or .pdf").arg(picture);
  }
  if(!picture.isEmpty() && !csv.isEmpty() && Same_File(picture, csv))
  {
    return QStringLiteral("--output and --csv name one file '%1'; plot writes two").arg(csv);
  }
  for(const QString& file_name : {picture, csv})
  {
    const QString library =
        file_name.isEmpty() ? QString() : Library_Output_Problem(QStringLiteral("plot"), arguments, file_name);
    if(!library.isEmpty())
    {
      return library;
    }
  }
  const QString size = arguments.Value(QStringLiteral("size"));
  QSize parsed;
  if(!size.isEmpty() && !Parse_Size(size, &parsed))
  {
    return QStringLiteral("--size '%1' must be WIDTHxHEIGHT in pixels, each from %2 to %3")
        .arg(size)
        .arg(MINIMUM_SIDE)
        .arg(MAXIMUM_SIDE);
  }
  if(!size.isEmpty() && picture.isEmpty())
  {
    return QStringLiteral("--size needs --output");
  }
  return QString();
}

int Run_Plot(const TArguments& arguments, const TLibraries& libraries, const TOutput& output)
{
  const QString& given = arguments.machine_names.front();
  const QString name = libraries.machines.Machine_Name(libraries.machines.Machine_Id(given));
  const QString kind = arguments.Value(QStringLiteral("kind"));
  if(kind == QLatin1String("errors"))
  {
    return Plot_Errors(arguments, libraries, name, output);
  }
  if(kind == QLatin1String("results"))
  {
    return Plot_Results(arguments, libraries, name, output);
  }
  if(kind == QLatin1String("conformity"))
  {
    return Plot_Conformity(arguments, libraries, output);
  }
  return Plot_Sensitivity(arguments, libraries, name, output);
}

bool Plot_Needs_Widgets(const TArguments& arguments)
{
  return !arguments.Value(QStringLiteral("output")).isEmpty();
}
} // namespace Batch
