#include "batch/batch.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cmath>
#include <vector>

#include "batch/evaluate.h"
#include "batch/export.h"
#include "src/model/machinecomp.h"
#include "src/model/machinelibrary.h"
#include "src/model/measurementlibrary.h"
#include "src/model/report.h"
#include "src/model/simulation.h"

namespace
{
const char* const INCREMENTS_OPTION = "--increments";

// The window's increment fields start at 100.
const double DEFAULT_INCREMENT = 100.0;

struct TOutput
{
  QByteArray* out;
  QByteArray* err;

  int Usage(const QString& message) const
  {
    *err += QStringLiteral("varlume-batch: %1\nTry 'varlume-batch --help'.\n").arg(message).toLocal8Bit();
    return Batch::EXIT_USAGE;
  }

  int Unknown(const QString& message) const
  {
    *err += QStringLiteral("varlume-batch: %1\n").arg(message).toLocal8Bit();
    return Batch::EXIT_USAGE;
  }

  // A pane's text as "Save Text" writes it (Latin-1), then one line feed.
  void Pane(const QStringList& lines) const
  {
    *out += Report::Pane_Text(lines).toLatin1();
    *out += '\n';
  }
};

// An increment as the window's field reads it: the absolute value of the number, 0 for a text
// that is not a finite number (which the map then refuses).
double Increment(const QString& text)
{
  const double value = text.toDouble();
  return std::isfinite(value) ? std::fabs(value) : 0.0;
}

// "--increments X Y Z" takes three values, which QCommandLineParser cannot, and a value such as
// -50 would read as an option: take them out before parsing.
bool Take_Increments(QStringList* arguments, QStringList* increments, QString* error)
{
  for(int index = 1; index < arguments->size(); ++index)
  {
    if(arguments->at(index) != QLatin1String(INCREMENTS_OPTION))
    {
      continue;
    }
    if(!increments->isEmpty())
    {
      *error = QStringLiteral("--increments given twice");
      return false;
    }
    if(index + 3 >= arguments->size())
    {
      *error = QStringLiteral("--increments needs three values: X Y Z");
      return false;
    }
    *increments = arguments->mid(index + 1, 3);
    for(int count = 0; count < 4; ++count)
    {
      arguments->removeAt(index);
    }
    --index;
  }
  return true;
}

struct TLibraries
{
  TMachineLibrary machines;
  TMeasurementLibrary measurements;
};

// Reads both files; a file that exists but does not load is reported and used with what it
// held up to the fault, as the window does. A missing file is an empty library.
void Load_Libraries(const QString& data_path, TLibraries* libraries, const TOutput& output)
{
  libraries->machines.Set_Data_Path(data_path);
  libraries->measurements.Set_Data_Path(data_path);
  if(!libraries->machines.Load_Data() && QFileInfo::exists(libraries->machines.File_Name()))
  {
    *output.err +=
        (QStringLiteral("varlume-batch: ") + libraries->machines.Last_Error() + QLatin1Char('\n')).toLocal8Bit();
  }
  if(!libraries->measurements.Load_Data() && QFileInfo::exists(libraries->measurements.File_Name()))
  {
    *output.err +=
        (QStringLiteral("varlume-batch: ") + libraries->measurements.Last_Error() + QLatin1Char('\n')).toLocal8Bit();
  }
}

int Run_List(const TLibraries& libraries, const TOutput& output)
{
  // Names go to scripts, which pass them back as arguments: UTF-8 like the rest of the system.
  for(const QStringList& names : {libraries.machines.Machine_Names(), libraries.measurements.Measurement_Names()})
  {
    for(const QString& name : names)
    {
      *output.out += name.toUtf8();
      *output.out += '\n';
    }
  }
  return Batch::EXIT_OK;
}

// Sets the machine up as selecting it in the window does; on failure prints the window's
// "Map Initialization Errors" block.
bool Setup_Machine(const TLibraries& libraries, const QString& name, TMachineComp* machine, const TOutput& output)
{
  QStringList errors;
  if(Simulation::Update_Machine_Comp(libraries.machines, name, machine, &errors))
  {
    return true;
  }
  output.Pane(Report::Map_Initialization_Errors(errors));
  return false;
}

int Run_Map(const TLibraries& libraries, const QString& name, const QStringList& increments, const TOutput& output)
{
  TMachineComp machine;
  if(!Setup_Machine(libraries, name, &machine, output))
  {
    return Batch::EXIT_FAILED;
  }
  double values[3] = {DEFAULT_INCREMENT, DEFAULT_INCREMENT, DEFAULT_INCREMENT};
  for(int axis = 0; axis < increments.size(); ++axis)
  {
    values[axis] = Increment(increments[axis]);
  }
  const QString stored_name = libraries.machines.Machine_Name(libraries.machines.Machine_Id(name));
  const QStringList lines = Report::Map_Display(machine, stored_name, values[0], values[1], values[2]);
  output.Pane(lines);
  // The only single-line map is the refusal of the increments.
  return lines.size() == 1 ? Batch::EXIT_USAGE : Batch::EXIT_OK;
}

int Run_Results(const TLibraries& libraries, const QString& name, const QStringList& measurement_names,
                const TOutput& output)
{
  for(const QString& measurement_name : measurement_names)
  {
    if(libraries.measurements.Measurement_Id(measurement_name) < 0)
    {
      return output.Unknown(QStringLiteral("no measurement named '%1'").arg(measurement_name));
    }
  }

  TMachineComp machine;
  if(!Setup_Machine(libraries, name, &machine, output))
  {
    return Batch::EXIT_FAILED;
  }
  std::vector<TMeasurement*> measurements = libraries.measurements.Measurements(measurement_names);
  QStringList lines;
  const bool simulated = Report::Simulate_Measurements(&machine, &measurements, &lines);
  output.Pane(lines);
  return simulated ? Batch::EXIT_OK : Batch::EXIT_FAILED;
}
} // namespace

namespace Batch
{
int Run(const QStringList& command_line, QByteArray* out, QByteArray* err)
{
  const TOutput output{out, err};

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "Prints the reports of the Varlume window for one machine from the two library files of a data directory.\n"
      "\n"
      "Commands:\n"
      "  list      the machine names, then the measurement names, one per line\n"
      "  map       the \"Machine Errors\" pane of --machine\n"
      "  results   the \"Measurement Results\" pane of --machine and the --measurement names, in order\n"
      "  export    the export files of --machine and the --measurement names, written into --dir\n"
      "  evaluate  the compensation parameter evaluation of --machine and the --measurement names, written to\n"
      "            --output (Ctrl-C stops it with the lines so far and exit code 130)\n"
      "\n"
      "Exit codes: 0 done; 1 the machine set-up, an expression or the simulation failed (the error block is\n"
      "printed as the window shows it); 2 usage errors, unknown names, map increments below 10."));
  const QCommandLineOption help_option = parser.addHelpOption();
  const QCommandLineOption version_option = parser.addVersionOption();
  const QCommandLineOption data_option(QStringLiteral("data"),
                                       QStringLiteral("Data directory with machines.xml and measurements.xml "
                                                      "(default ~/.varlume)."),
                                       QStringLiteral("DIR"));
  const QCommandLineOption machine_option(QStringLiteral("machine"), QStringLiteral("Machine name (map, results)."),
                                          QStringLiteral("NAME"));
  const QCommandLineOption measurement_option(QStringLiteral("measurement"),
                                              QStringLiteral("Measurement name; repeat for more (results)."),
                                              QStringLiteral("NAME"));
  const QCommandLineOption increments_option(QStringLiteral("increments"),
                                             QStringLiteral("Map increments in mm (map; default 100 100 100)."),
                                             QStringLiteral("X Y Z"));
  parser.addOption(data_option);
  parser.addOption(machine_option);
  parser.addOption(measurement_option);
  parser.addOption(increments_option);
  const QCommandLineOption dir_option(QStringLiteral("dir"), QStringLiteral("Directory for the files (export)."),
                                      QStringLiteral("DIR"));
  parser.addOption(dir_option);
  const QCommandLineOption output_option(QStringLiteral("output"), QStringLiteral("File to write (evaluate)."),
                                         QStringLiteral("FILE"));
  parser.addOption(output_option);
  parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("list, map, results, export or evaluate"));

  QStringList arguments = command_line;
  QStringList increments;
  QString error;
  if(!Take_Increments(&arguments, &increments, &error))
  {
    return output.Usage(error);
  }
  if(!parser.parse(arguments))
  {
    return output.Usage(parser.errorText());
  }
  // Only "--increments=X" gets here; it would otherwise be ignored and the map drawn at 100.
  if(parser.isSet(increments_option))
  {
    return output.Usage(QStringLiteral("--increments needs three values: X Y Z"));
  }
  if(parser.isSet(help_option))
  {
    *out += parser.helpText().toLocal8Bit();
    return EXIT_OK;
  }
  if(parser.isSet(version_option))
  {
    *out += (QCoreApplication::applicationName() + QLatin1Char(' ') + QCoreApplication::applicationVersion() +
             QLatin1Char('\n'))
                .toLocal8Bit();
    return EXIT_OK;
  }

  const QStringList positional = parser.positionalArguments();
  if(positional.size() != 1)
  {
    return output.Usage(positional.isEmpty()
                            ? QStringLiteral("no command given")
                            : QStringLiteral("one command expected, got: %1").arg(positional.join(' ')));
  }
  const QString command = positional.front();
  const QStringList machine_names = parser.values(machine_option);
  const QStringList measurement_names = parser.values(measurement_option);
  const QString data_path = parser.isSet(data_option) ? parser.value(data_option)
                                                      : QDir(QDir::homePath()).filePath(QStringLiteral(".varlume"));

  if(command == QLatin1String("list"))
  {
    if(!machine_names.isEmpty() || !measurement_names.isEmpty() || !increments.isEmpty())
    {
      return output.Usage(QStringLiteral("list takes no --machine, --measurement or --increments"));
    }
  }
  else if(command == QLatin1String("map") || command == QLatin1String("results"))
  {
    if(machine_names.size() != 1)
    {
      return output.Usage(QStringLiteral("%1 needs one --machine").arg(command));
    }
    if(command == QLatin1String("map") && !measurement_names.isEmpty())
    {
      return output.Usage(QStringLiteral("map takes no --measurement"));
    }
    if(command == QLatin1String("results") && measurement_names.isEmpty())
    {
      return output.Usage(QStringLiteral("results needs at least one --measurement"));
    }
    if(command == QLatin1String("results") && !increments.isEmpty())
    {
      return output.Usage(QStringLiteral("results takes no --increments"));
    }
  }
  else if(command == QLatin1String("export"))
  {
    const QString problem =
        Export_Usage_Error(machine_names, measurement_names, !increments.isEmpty(), parser.value(dir_option));
    if(!problem.isEmpty())
    {
      return output.Usage(problem);
    }
  }
  else if(command == QLatin1String("evaluate"))
  {
    const QString problem =
        Evaluate_Usage_Error(machine_names, measurement_names, !increments.isEmpty(), parser.values(output_option));
    if(!problem.isEmpty())
    {
      return output.Usage(problem);
    }
  }
  else
  {
    return output.Usage(QStringLiteral("unknown command '%1'").arg(command));
  }

  TLibraries libraries;
  Load_Libraries(data_path, &libraries, output);
  if(command == QLatin1String("list"))
  {
    return Run_List(libraries, output);
  }

  const QString machine_name = machine_names.front();
  if(libraries.machines.Machine_Id(machine_name) < 0)
  {
    return output.Unknown(QStringLiteral("no machine named '%1'").arg(machine_name));
  }
  if(command == QLatin1String("map"))
  {
    return Run_Map(libraries, machine_name, increments, output);
  }
  if(command == QLatin1String("evaluate"))
  {
    return Run_Evaluate(libraries.machines, libraries.measurements, machine_name, measurement_names,
                        parser.value(output_option), err);
  }
  if(command == QLatin1String("export"))
  {
    return Run_Export(libraries.machines, libraries.measurements, machine_name, measurement_names,
                      parser.value(dir_option), out, err);
  }
  return Run_Results(libraries, machine_name, measurement_names, output);
}
} // namespace Batch
