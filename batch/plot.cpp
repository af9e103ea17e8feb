#include "batch/plot.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include <cmath>
#include <memory>
#include <vector>

#include "batch/batch.h"
#include "batch/compensate.h"
#include "batch/conformity.h"
#include "batch/panes.h"
#include "core/safefile.h"
#include "core/varlume_assert.h"
#include "src/gui/plotcharts.h"
#include "src/gui/plotpage.h"
#include "src/model/machinecomp.h"
#include "src/model/plotkinds.h"
#include "src/model/report.h"
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

// Each gatherer fills data with what its source draws from and returns the exit code; a problem
// is printed, and data is then not ready.
int Machine_Errors(const Batch::TArguments& arguments, const Batch::TLibraries& libraries, const Batch::TOutput& output,
                   Plot_Kinds::TData* data)
{
  TMachineComp machine;
  if(!Batch::Setup_Machine(libraries, data->machine_name, &machine, output))
  {
    return Batch::EXIT_FAILED;
  }
  double increments[3] = {DEFAULT_INCREMENT, DEFAULT_INCREMENT, DEFAULT_INCREMENT};
  for(int axis = 0; axis < arguments.increments.size(); ++axis)
  {
    increments[axis] = std::fabs(arguments.increments[axis].toDouble());
  }
  data->has_machine = true;
  data->error_table = Plot_Series::Axis_Error_Table(machine);
  data->errors = Plot_Series::Axis_Error_Curves(machine, increments);
  data->notes = Plot_Series::Machine_Notes(machine);
  return Batch::EXIT_OK;
}

int Simulated_Results(const Batch::TArguments& arguments, const Batch::TLibraries& libraries,
                      const Batch::TOutput& output, Plot_Kinds::TData* data)
{
  TMachineComp machine;
  if(!Batch::Setup_Machine(libraries, data->machine_name, &machine, output))
  {
    return Batch::EXIT_FAILED;
  }
  data->has_machine = true;
  std::vector<TMeasurement*> measurements = libraries.measurements.Measurements(arguments.measurement_names);
  QStringList lines;
  if(!Report::Simulate_Measurements(&machine, &measurements, &lines))
  {
    output.Pane(lines);
    return Batch::EXIT_FAILED;
  }
  data->has_results = true;
  data->results = Plot_Series::Results(machine, measurements);
  return Batch::EXIT_OK;
}

// As the evaluation: measurement expressions that do not evaluate do not stop it.
int Sensitivity_Rows(const Batch::TArguments& arguments, const Batch::TLibraries& libraries,
                     const Batch::TOutput& output, Plot_Kinds::TData* data)
{
  Simulation::TMachineRecord record;
  Simulation::Find_Machine_Record(libraries.machines, data->machine_name, &record);
  const std::vector<TMeasurement*> measurements = libraries.measurements.Measurements(arguments.measurement_names);
  data->has_sensitivity = true;
  data->sensitivity =
      Sensitivity::Compute(record, measurements, Sensitivity::TProgress(),
                           arguments.parser->isSet(QStringLiteral("per-unit")) ? Sensitivity::TScale::PER_UNIT
                                                                               : Sensitivity::TScale::AS_GIVEN);
  switch(data->sensitivity.end)
  {
  case Sensitivity::TEnd::FINISHED:
    break;
  case Sensitivity::TEnd::REFUSED:
    output.Message(QStringLiteral("sensitivity refused: %1").arg(data->sensitivity.message));
    return Batch::EXIT_FAILED;
  case Sensitivity::TEnd::STOPPED:
  case Sensitivity::TEnd::CANCELLED:
    output.Message(QStringLiteral("sensitivity stopped: %1").arg(data->sensitivity.message));
    return Batch::EXIT_FAILED;
  }
  return Batch::EXIT_OK;
}

// The report of varlume-batch conformity; its exit code stands when the chart is written.
int Conformity_Decisions(const Batch::TArguments& arguments, const Batch::TLibraries& libraries,
                         const Batch::TOutput& output, Plot_Kinds::TData* data)
{
  const int code = Batch::Conformity_Report(arguments, libraries, output, &data->conformity);
  data->has_conformity = code != Batch::EXIT_USAGE && data->conformity.ok;
  return code;
}

// The result of varlume-batch compensate.
int Compensation_Rows(const Batch::TArguments& arguments, const Batch::TLibraries& libraries,
                      const Batch::TOutput& output, Plot_Kinds::TData* data)
{
  const int code = Batch::Compensation_Result(arguments, libraries, output, &data->compensation);
  data->has_compensation = code == Batch::EXIT_OK;
  return code;
}

int Gather(Plot_Kinds::TSource source, const Batch::TArguments& arguments, const Batch::TLibraries& libraries,
           const Batch::TOutput& output, Plot_Kinds::TData* data)
{
  switch(source)
  {
  case Plot_Kinds::TSource::MACHINE:
    return Machine_Errors(arguments, libraries, output, data);
  case Plot_Kinds::TSource::RESULTS:
    return Simulated_Results(arguments, libraries, output, data);
  case Plot_Kinds::TSource::SENSITIVITY:
    return Sensitivity_Rows(arguments, libraries, output, data);
  case Plot_Kinds::TSource::CONFORMITY:
    return Conformity_Decisions(arguments, libraries, output, data);
  case Plot_Kinds::TSource::COMPENSATION:
    return Compensation_Rows(arguments, libraries, output, data);
  }
  return Batch::EXIT_FAILED;
}

// The conformity options belong to --kind conformity and compensation, the compensation options to
// --kind compensation alone.
QString Conformity_Kind_Error(const Batch::TArguments& arguments, const Plot_Kinds::TKind& kind)
{
  if(kind.source == Plot_Kinds::TSource::CONFORMITY)
  {
    const bool measured = !arguments.Values(QStringLiteral("measured")).isEmpty();
    if(measured == !arguments.measurement_names.isEmpty())
    {
      return QStringLiteral("plot --kind %1 needs --measurement or --measured (not both)")
          .arg(QLatin1String(kind.name));
    }
    return arguments.increments.isEmpty()
               ? Batch::Conformity_Options_Error(arguments)
               : QStringLiteral("plot --kind %1 takes no --increments").arg(QLatin1String(kind.name));
  }
  if(kind.source == Plot_Kinds::TSource::COMPENSATION)
  {
    return arguments.Values(QStringLiteral("measured")).isEmpty()
               ? Batch::Compensation_Options_Error(arguments)
               : QStringLiteral("plot --kind %1 takes no --measured").arg(QLatin1String(kind.name));
  }
  for(const char* option : {"mpe", "test-uncertainty", "rule", "draws", "seed", "measured"})
  {
    if(!arguments.Values(QLatin1String(option)).isEmpty())
    {
      return QStringLiteral("--%1 is only for plot --kind conformity").arg(QLatin1String(option));
    }
  }
  for(const char* option : {"against", "form", "spacing", "probe"})
  {
    if(!arguments.Values(QLatin1String(option)).isEmpty())
    {
      return QStringLiteral("--%1 is only for plot --kind compensation").arg(QLatin1String(option));
    }
  }
  return QString();
}
} // namespace

namespace Batch
{
QString Plot_Usage_Error(const TArguments& arguments)
{
  const QString name = arguments.Value(QStringLiteral("kind"));
  if(arguments.machine_names.size() != 1)
  {
    return QStringLiteral("plot needs one --machine");
  }
  const Plot_Kinds::TKind* kind = Plot_Kinds::Find(name);
  if(!kind)
  {
    return name.isEmpty() ? QStringLiteral("plot needs --kind %1").arg(Plot_Kinds::Names_Text())
                          : QStringLiteral("unknown --kind '%1': %2").arg(name, Plot_Kinds::Names_Text());
  }
  const QString conformity = Conformity_Kind_Error(arguments, *kind);
  if(!conformity.isEmpty())
  {
    return conformity;
  }
  // A kind that takes --measured (conformity) has checked its measurements above.
  const bool needs_measurements = Plot_Kinds::Needs_Measurements(*kind);
  if(!needs_measurements && !arguments.measurement_names.isEmpty())
  {
    return QStringLiteral("plot --kind %1 takes no --measurement").arg(name);
  }
  if(needs_measurements && kind->source != Plot_Kinds::TSource::CONFORMITY && arguments.measurement_names.isEmpty())
  {
    return QStringLiteral("plot --kind %1 needs at least one --measurement").arg(name);
  }
  if(kind->source != Plot_Kinds::TSource::MACHINE && !arguments.increments.isEmpty())
  {
    return QStringLiteral("plot --kind %1 takes no --increments").arg(name);
  }
  if(kind->source != Plot_Kinds::TSource::SENSITIVITY && arguments.parser->isSet(QStringLiteral("per-unit")))
  {
    return QStringLiteral("plot --kind %1 takes no --per-unit").arg(name);
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
        file_name.isEmpty() ? QString() : Output_Problem(QStringLiteral("plot"), arguments, file_name);
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
  const Plot_Kinds::TKind* kind = Plot_Kinds::Find(arguments.Value(QStringLiteral("kind")));
  VARLUME_ASSERT(kind);
  Plot_Kinds::TData data;
  data.machine_name = libraries.machines.Machine_Name(libraries.machines.Machine_Id(given));
  const int code = Gather(kind->source, arguments, libraries, output, &data);
  if(!Plot_Kinds::Ready(*kind, data))
  {
    // Only a problem, already printed, leaves the numbers missing.
    VARLUME_ASSERT(code != EXIT_OK);
    return code;
  }
  const int written = Write(
      arguments, kind->csv(data), [&]() { return Plot_Charts::Page(*kind, data); }, output);
  return written != EXIT_OK ? written : code;
}

bool Plot_Needs_Widgets(const TArguments& arguments)
{
  return !arguments.Value(QStringLiteral("output")).isEmpty();
}
} // namespace Batch
