#include "batch/batch.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <vector>

#include "batch/command.h"
#include "batch/compensate.h"
#include "batch/conformity.h"
#include "batch/evaluate.h"
#include "batch/export.h"
#include "batch/identify.h"
#include "batch/panes.h"
#include "batch/plan.h"
#include "batch/plot.h"
#include "batch/report.h"
#include "core/safefile.h"
#include "src/model/measuredfile.h"
#include "src/model/report.h"

namespace
{
using Batch::TCommand;
using Batch::TNames;
using Batch::TOption;

// The subcommands, in the order of --help. A new one is one entry here: its name, the line for
// --help, whether the driver looks its names up, and its usage check and run functions, written
// in a file of its own (see batch/command.h for what they receive).
const TCommand COMMANDS[] = {
    {"list", "the machine names, then the measurement names, one per line", TNames::NONE, Batch::List_Usage_Error,
     Batch::Run_List, nullptr},
    {"map", "the \"Machine Errors\" pane of --machine", TNames::MACHINE_AND_MEASUREMENTS, Batch::Map_Usage_Error,
     Batch::Run_Map, nullptr},
    {"results", "the \"Measurement Results\" pane of --machine and the --measurement names, in order",
     TNames::MACHINE_AND_MEASUREMENTS, Batch::Results_Usage_Error, Batch::Run_Results, nullptr},
    {"export", "the export files of --machine and the --measurement names, written into --dir",
     TNames::MACHINE_AND_MEASUREMENTS, Batch::Export_Usage_Error, Batch::Run_Export, nullptr},
    {"evaluate",
     "the compensation parameter evaluation of --machine and the --measurement names, written to\n"
     "--output (Ctrl-C stops it with the lines so far and exit code 130)",
     TNames::MACHINE_AND_MEASUREMENTS, Batch::Evaluate_Usage_Error, Batch::Run_Evaluate, nullptr},
    {"plot",
     "the chart of --kind errors, results, sensitivity, conformity or compensation of --machine (and the\n"
     "--measurement names) as a PNG, SVG or PDF file (--output, by its extension) and its numbers as CSV\n"
     "(--csv)",
     TNames::MACHINE_AND_MEASUREMENTS, Batch::Plot_Usage_Error, Batch::Run_Plot, Batch::Plot_Needs_Widgets},
    {"identify",
     "the error parameters of --machine fitted to the --measured files: the report on stdout, the\n"
     "identified machine in a machine library file --output",
     TNames::MACHINE_AND_MEASUREMENTS, Batch::Identify_Usage_Error, Batch::Run_Identify, nullptr},
    {"conformity",
     "whether --machine meets its E0 maximum permissible error in the ISO 10360-2 --measurement names\n"
     "(simulated) or --measured files: the decision of every row on stdout, the numbers as CSV (--csv)",
     TNames::MACHINE_AND_MEASUREMENTS, Batch::Conformity_Usage_Error, Batch::Run_Conformity, nullptr},
    {"plan",
     "which --candidate measurements (default every one of the library) to run, in which order, to\n"
     "identify every error parameter of --machine: the steps on stdout, as JSON in --json",
     TNames::MACHINE_AND_MEASUREMENTS, Batch::Plan_Usage_Error, Batch::Run_Plan, nullptr},
    {"compensate",
     "the corrections built from --machine (full, tables, grid, pitch, skew) and what each leaves on\n"
     "--against: the report on stdout, the tables into --dir, every row before and after as CSV (--csv)",
     TNames::MACHINE_AND_MEASUREMENTS, Batch::Compensate_Usage_Error, Batch::Run_Compensate, nullptr},
    {"report",
     "the calibration report of --machine as a PDF (--output): the facts of --info, the machine, the\n"
     "method, the conformity decision of the --measurement names or --measured files, signatures",
     TNames::MACHINE_AND_MEASUREMENTS, Batch::Report_Usage_Error, Batch::Run_Report, Batch::Report_Needs_Widgets},
};

// The options after --help and --version, in the order of --help. A new one is one entry here;
// the subcommand that takes it reads it with TArguments::Value or Values and refuses a wrong
// use in its usage check.
const TOption OPTIONS[] = {
    {"data", "Data directory with machines.xml and measurements.xml (default ~/.varlume).", "DIR", nullptr},
    {"machine", "Machine name.", "NAME", "map results export evaluate plot identify conformity plan compensate report"},
    {"measurement", "Measurement name; repeat for more.", "NAME",
     "results export evaluate plot conformity compensate report"},
    {"increments", "Map increments in mm (default 100 100 100; plot: --kind errors).", "X Y Z", "map plot"},
    {"dir", "Directory for the files.", "DIR", "export compensate"},
    {"output", "File to write (plot: a .png, .svg or .pdf picture; report: the .pdf).", "FILE",
     "evaluate plot identify report"},
    {"jobs", "Threads that work the patterns out (default one per core).", "N", "evaluate"},
    {"kind", "What to plot: errors, results, sensitivity, conformity or compensation.", "KIND", "plot"},
    {"size", "Picture size in pixels (default 1200x800).", "WxH", "plot"},
    {"per-unit",
     "Sensitivity per unit of each error parameter: a scale error or an angle growing in proportion to the position "
     "to 1 micrometre or 1 microradian at the end of travel farther from the axis zero, 1 microradian of squareness "
     "or deflection; the table and CSV in micrometres and microradians per unit (plot: --kind sensitivity).",
     nullptr, "plot"},
    {"csv", "CSV file (plot: the plotted numbers; conformity: the decisions; compensate: every row before and after).",
     "FILE", "plot conformity compensate"},
    {"measured", "Measured data: a file, a directory, or NAME=FILE; repeat for more.", "PATH",
     "identify conformity plot report"},
    {"degree", "Polynomial degree of the fitted axis functions, 1 to 5 (default 3).", "D", "identify plan"},
    {"uncertainty",
     "Standard uncertainty of a kind of reading, KIND=VALUE in micrometres (microradians for laser-angle); KIND "
     "is ballbar, iso, laser-length, laser-straightness, laser-angle or mcg; repeat for more.",
     "KIND=VALUE", "identify plan"},
    {"resolution",
     "Identify: a direction counts as identified when one standard uncertainty along it moves no error function "
     "by more than this within the travel, in micrometres (microradians for angles and squareness); 0 keeps "
     "every direction the readings determine (default: the A of the machine's E0 MPE, else 100).",
     "R", "identify plan"},
    {"absolute-straightness",
     "Take the laser runs' straightness slopes and offsets and the gauges' radius zeros as measured instead of "
     "fitting them (simulated files, set-ups with a reference square).",
     nullptr, "identify plan"},
    {"outlier-limit", "Readings whose |residual| / u exceeds this are listed (default 4).", "N", "identify"},
    {"reject-outliers", "Fit again without the listed outliers, one at a time, largest first.", nullptr, "identify"},
    {"json", "File for the machine-readable report.", "FILE", "identify plan"},
    {"exit-code",
     "The verdict as the exit code: conformity 0 conforms, 3 does not conform, 4 not proven; identify 3 for "
     "partly identified.",
     nullptr, "identify conformity"},
    {"residuals",
     "CSV file of every reading used after the fit: file,line,quantity,reading,residual,u,normalized (the reading as "
     "the file holds it, mm or mm/m; residual and u in micrometres or microradians; normalized = residual / u).",
     "FILE", "identify"},
    {"mpe",
     "E0 maximum permissible error A,K,B: MPE = min(A + L/K, B) in micrometres with L in mm; A,K or A,K, for no "
     "cap (default: the machine's).",
     "A,K,B", "conformity plot compensate report"},
    {"test-uncertainty",
     "Expanded uncertainty (k = 2) of the test set-up a,b: U = a + b*L, a in micrometres, b in micrometres per "
     "metre (default 0,0).",
     "a,b", "conformity plot compensate report"},
    {"rule", "Decision rule: guarded (default; pass only when |E| + U <= MPE) or simple.", "RULE",
     "conformity plot compensate report"},
    {"draws", "Monte Carlo draws for the uncertainty of the readings (default: linear propagation).", "N",
     "conformity plot report"},
    {"seed", "Seed of the Monte Carlo draws (default 1).", "S", "conformity plot report"},
    {"candidate", "Measurement that the plan may use; repeat for more (default every measurement of the library).",
     "NAME", "plan"},
    {"budget", "The most tests in the plan (default no limit).", "N", "plan"},
    {"against",
     "Machine the correction runs on, of the same kinematic order and travel (default --machine itself; in a "
     "simulation study the true machine).",
     "NAME", "compensate plot"},
    {"form", "Forms of correction, a comma list of full, tables, grid, pitch and skew (default all five).", "LIST",
     "compensate plot"},
    {"spacing",
     "Step of the correction tables and grid in mm, at least 0.1 (default the largest of 1 and the longest travel / "
     "50).",
     "MM", "compensate plot"},
    {"probe", "Probe offset X,Y,Z in mm of the grid and the check grid (default 0,0,0).", "X,Y,Z", "compensate plot"},
    {"info",
     "JSON object of the report's facts: report_number, laboratory, customer, serial_number, location, "
     "measurement_date, temperature_c, temperature_variation_k (numbers), operator, approved_by, remarks.",
     "FILE", "report"},
    {"identified-from", "The --json of varlume-batch identify, for the identified errors in the report.", "FILE",
     "report"},
    {"compensation", "The --csv of varlume-batch compensate, for the before and after table in the report.", "FILE",
     "report"},
};

// An option whose meaning depends on the command: its description in that command's --help,
// which the engineer reads when the general one would leave the file's kind to guess.
struct TCommandOption
{
  const char* command;
  const char* option;
  const char* description;
};

const TCommandOption COMMAND_OPTIONS[] = {
    {"evaluate", "output", "Evaluation text file to write: one line per combination, as \"Evaluate\" in the window."},
    {"plot", "output", "Picture file to write: .png, .svg or .pdf, by its extension."},
    {"identify", "output",
     "Machine library file to write (the form of machines.xml) holding the identified machine; never the "
     "library of --data."},
    {"report", "output", "PDF file of the calibration report to write."},
    {"plot", "csv", "CSV file of the plotted numbers."},
    {"conformity", "csv",
     "CSV file of the decisions: one row per length with its deviation, MPE, uncertainties, utilisation and "
     "decision."},
    {"compensate", "csv", "CSV file of every row before and after each form of correction."},
};

const char* const INCREMENTS_OPTION = "--increments";

// The width of the name column of the command list in --help.
const int COMMAND_COLUMN = 12;

const TCommand* Find_Command(const QString& name)
{
  for(const TCommand& command : COMMANDS)
  {
    if(name == QLatin1String(command.name))
    {
      return &command;
    }
  }
  return nullptr;
}

QString Help_Description()
{
  QString commands;
  for(const TCommand& command : COMMANDS)
  {
    const QString indent = QStringLiteral("\n") + QString(2 + COMMAND_COLUMN, QLatin1Char(' '));
    commands += QStringLiteral("  ") + QString::fromLatin1(command.name).leftJustified(COMMAND_COLUMN) +
                QString::fromLatin1(command.summary).replace(QLatin1Char('\n'), indent) + QLatin1Char('\n');
  }
  return QStringLiteral("Prints the reports of the Varlume window for one machine from the two library files of a "
                        "data directory.\n\nCommands:\n") +
         commands +
         QStringLiteral("\nExit codes: 0 done; 1 a library file did not load, or the machine set-up, an expression or "
                        "the\nsimulation failed (the error block is printed as the window shows it); 2 usage errors, "
                        "unknown names,\nmap increments below 10, a data directory that is missing or holds no "
                        "library; with --exit-code,\n3 conformity does not conform or identify is partly identified, "
                        "4 conformity not proven.");
}

// The option's description in --help, with the subcommands that take it.
QString Option_Description(const TOption& option)
{
  const QString description = QString::fromLatin1(option.description);
  if(!option.commands)
  {
    return description + QStringLiteral(" All commands.");
  }
  const QStringList commands = QString::fromLatin1(option.commands).split(QLatin1Char(' '));
  return description + QStringLiteral(" Taken by %1.").arg(commands.join(QStringLiteral(", ")));
}

// "<command> takes no --<option>" for the first option given that the command does not take,
// or an empty text.
QString Option_Not_Taken(const TCommand& command, const QCommandLineParser& parser, bool increments_given)
{
  for(const TOption& option : OPTIONS)
  {
    if(!option.commands)
    {
      continue;
    }
    const QString name = QLatin1String(option.name);
    const bool given = name == QLatin1String("increments") ? increments_given : parser.isSet(name);
    if(given && !QString::fromLatin1(option.commands).split(QLatin1Char(' ')).contains(QLatin1String(command.name)))
    {
      return QStringLiteral("%1 takes no --%2").arg(QLatin1String(command.name), name);
    }
  }
  return QString();
}

// "list, map, results, export or evaluate"
QString Command_Names()
{
  QStringList names;
  for(const TCommand& command : COMMANDS)
  {
    names << QLatin1String(command.name);
  }
  const QString last = names.takeLast();
  return names.isEmpty() ? last : names.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
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

// Reads both files. A data directory that is missing, not a directory, unreadable or holds
// neither file is a usage error; a file that is there but does not load (not well-formed, a
// version this program does not read, not a regular file) fails the run, as partial lists
// would pass for the whole library. A single missing file is an empty library.
int Load_Libraries(const QString& data_path, Batch::TLibraries* libraries, const Batch::TOutput& output)
{
  const QFileInfo directory(data_path);
  if(!directory.exists())
  {
    output.Message(QStringLiteral("no data directory '%1'").arg(data_path));
    return Batch::EXIT_USAGE;
  }
  if(!directory.isDir())
  {
    output.Message(QStringLiteral("data directory '%1' is not a directory").arg(data_path));
    return Batch::EXIT_USAGE;
  }
  if(!directory.isReadable() || !directory.isExecutable())
  {
    output.Message(QStringLiteral("cannot read the data directory '%1'").arg(data_path));
    return Batch::EXIT_USAGE;
  }
  libraries->machines.Set_Data_Path(data_path);
  libraries->measurements.Set_Data_Path(data_path);
  const bool machines_there =
      QFileInfo::exists(libraries->machines.File_Name()) || QFileInfo(libraries->machines.File_Name()).isSymLink();
  const bool measurements_there = QFileInfo::exists(libraries->measurements.File_Name()) ||
                                  QFileInfo(libraries->measurements.File_Name()).isSymLink();
  if(!machines_there && !measurements_there)
  {
    output.Message(QStringLiteral("no machines.xml or measurements.xml in the data directory '%1'").arg(data_path));
    return Batch::EXIT_USAGE;
  }
  int code = Batch::EXIT_OK;
  if(machines_there && !libraries->machines.Load_Data())
  {
    output.Message(libraries->machines.Last_Error());
    code = Batch::EXIT_FAILED;
  }
  if(measurements_there && !libraries->measurements.Load_Data())
  {
    output.Message(libraries->measurements.Last_Error());
    code = Batch::EXIT_FAILED;
  }
  // A part left out of a record (a covariance that is none) does not stop the others from
  // being used, but it is never passed over in silence.
  for(const QString& warning : libraries->machines.Load_Warnings() + libraries->measurements.Load_Warnings())
  {
    output.Message(warning);
  }
  return code;
}

// The one check for unknown names: the machine first, then the measurements in order.
QString Unknown_Name(const TCommand& command, const Batch::TArguments& arguments, const Batch::TLibraries& libraries)
{
  if(command.names == TNames::NONE)
  {
    return QString();
  }
  for(const QString& name : arguments.machine_names)
  {
    if(libraries.machines.Machine_Id(name) < 0)
    {
      return QStringLiteral("no machine named '%1'").arg(name);
    }
  }
  for(const QString& name : arguments.measurement_names)
  {
    if(libraries.measurements.Measurement_Id(name) < 0)
    {
      return QStringLiteral("no measurement named '%1'").arg(name);
    }
  }
  return QString();
}
} // namespace

namespace Batch
{
QStringList TArguments::Values(const QString& option) const
{
  return parser->values(option);
}

QString TArguments::Value(const QString& option) const
{
  return parser->value(option);
}

void TOutput::Message(const QString& text) const
{
  *err += (QStringLiteral("varlume-batch: ") + text + QLatin1Char('\n')).toLocal8Bit();
}

int TOutput::Usage(const QString& text, const char* command) const
{
  // Once the command is known, its own help is where the missing or wrong option is explained.
  Message(text + (command ? QStringLiteral("\nTry 'varlume-batch %1 --help'.").arg(QLatin1String(command))
                          : QStringLiteral("\nTry 'varlume-batch --help'.")));
  return EXIT_USAGE;
}

void TOutput::Pane(const QStringList& lines) const
{
  *out += Report::Pane_Text(lines).toLatin1();
  *out += '\n';
}

QString Data_Path(const TArguments& arguments)
{
  const QString data = arguments.Value(QStringLiteral("data"));
  return data.isEmpty() ? QDir(QDir::homePath()).filePath(QStringLiteral(".varlume")) : data;
}

bool Same_File(const QString& first, const QString& second)
{
  return SafeFile::Same_File(first, second);
}

QString Library_Output_Problem(const QString& command, const TArguments& arguments, const QString& file_name)
{
  for(const QString& folder : {Data_Path(arguments), QDir(QDir::homePath()).filePath(QStringLiteral(".varlume"))})
  {
    for(const char* name : {"machines.xml", "measurements.xml"})
    {
      const QString library = QDir::cleanPath(QDir(folder).absoluteFilePath(QLatin1String(name)));
      if(Same_File(file_name, library))
      {
        return QStringLiteral("%1 does not write the library '%2' ('%3' is that file)")
            .arg(command, library, file_name);
      }
    }
  }
  return QString();
}

QString Output_Problem(const QString& command, const TArguments& arguments, const QString& file_name)
{
  const QString library = Library_Output_Problem(command, arguments, file_name);
  if(!library.isEmpty())
  {
    return library;
  }
  for(const QString& input : Measured::Input_Files(arguments.Values(QStringLiteral("measured"))))
  {
    if(Same_File(file_name, input))
    {
      return QStringLiteral("%1 does not write over the measured file '%2' ('%3' is that file)")
          .arg(command, input, file_name);
    }
  }
  return QString();
}

QString Machine_And_Measurements_Error(const QString& command, const TArguments& arguments)
{
  if(arguments.machine_names.size() != 1)
  {
    return QStringLiteral("%1 needs one --machine").arg(command);
  }
  if(arguments.measurement_names.isEmpty())
  {
    return QStringLiteral("%1 needs at least one --measurement").arg(command);
  }
  if(!arguments.increments.isEmpty())
  {
    return QStringLiteral("%1 takes no --increments").arg(command);
  }
  return QString();
}
} // namespace Batch

namespace
{
// The parser with the option table.
void Add_Options(QCommandLineParser* parser)
{
  parser->setApplicationDescription(Help_Description());
  for(const TOption& option : OPTIONS)
  {
    parser->addOption(option.value_name ? QCommandLineOption(QLatin1String(option.name), Option_Description(option),
                                                             QLatin1String(option.value_name))
                                        : QCommandLineOption(QLatin1String(option.name), Option_Description(option)));
  }
  parser->addPositionalArgument(QStringLiteral("command"), Command_Names());
}

// The option's description in the --help of command: its own one where the table has it.
QString Command_Option_Description(const TCommand& command, const TOption& option)
{
  for(const TCommandOption& own : COMMAND_OPTIONS)
  {
    if(qstrcmp(own.command, command.name) == 0 && qstrcmp(own.option, option.name) == 0)
    {
      return QString::fromLatin1(own.description);
    }
  }
  return QString::fromLatin1(option.description);
}

// "varlume-batch identify --help": the subcommand's line of the command list and the options it
// takes, the general ones included.
QString Command_Help(const TCommand& command)
{
  QCommandLineParser parser;
  QString summary = QString::fromLatin1(command.summary).replace(QLatin1Char('\n'), QLatin1Char(' '));
  summary[0] = summary[0].toUpper();
  parser.setApplicationDescription(summary + QLatin1Char('.'));
  parser.addHelpOption();
  for(const TOption& option : OPTIONS)
  {
    if(!option.commands ||
       QString::fromLatin1(option.commands).split(QLatin1Char(' ')).contains(QLatin1String(command.name)))
    {
      parser.addOption(QCommandLineOption(QLatin1String(option.name), Command_Option_Description(command, option),
                                          QLatin1String(option.value_name)));
    }
  }
  QString text = parser.helpText();
  // The usage line names the command: "Usage: varlume-batch identify [options]".
  const int end = text.indexOf(QLatin1Char('\n'));
  const int options = text.lastIndexOf(QLatin1String(" [options]"), end);
  if(options >= 0)
  {
    text.insert(options, QLatin1Char(' ') + QLatin1String(command.name));
  }
  return text;
}

// Parses the command line up to the subcommand. False with a usage message in error, or with
// an empty error for --help and --version (help and version are then set).
bool Parse(QCommandLineParser* parser, const QStringList& command_line, Batch::TArguments* parsed,
           const TCommand** command, bool* help, bool* version, QString* error)
{
  const QCommandLineOption help_option = parser->addHelpOption();
  const QCommandLineOption version_option = parser->addVersionOption();
  Add_Options(parser);

  QStringList arguments = command_line;
  parsed->parser = parser;
  if(!Take_Increments(&arguments, &parsed->increments, error))
  {
    return false;
  }
  if(!parser->parse(arguments))
  {
    *error = parser->errorText();
    return false;
  }
  // Only "--increments=X" gets here; it would otherwise be ignored and the map drawn at 100.
  if(parser->isSet(QStringLiteral("increments")))
  {
    *error = QStringLiteral("--increments needs three values: X Y Z");
    return false;
  }
  *help = parser->isSet(help_option);
  *version = parser->isSet(version_option);
  if(*help || *version)
  {
    return false;
  }

  const QStringList positional = parser->positionalArguments();
  if(positional.size() != 1)
  {
    *error = positional.isEmpty() ? QStringLiteral("no command given")
                                  : QStringLiteral("one command expected, got: %1").arg(positional.join(' '));
    return false;
  }
  *command = Find_Command(positional.front());
  if(!*command)
  {
    *error = QStringLiteral("unknown command '%1'").arg(positional.front());
    return false;
  }
  parsed->machine_names = parser->values(QStringLiteral("machine"));
  parsed->measurement_names = parser->values(QStringLiteral("measurement"));
  return true;
}
} // namespace

namespace Batch
{
bool Needs_Widgets(const QStringList& command_line)
{
  QCommandLineParser parser;
  TArguments parsed;
  const TCommand* command = nullptr;
  bool help = false;
  bool version = false;
  QString error;
  if(!Parse(&parser, command_line, &parsed, &command, &help, &version, &error))
  {
    return false;
  }
  return command->needs_widgets && command->usage_error(parsed).isEmpty() &&
         Option_Not_Taken(*command, parser, !parsed.increments.isEmpty()).isEmpty() && command->needs_widgets(parsed);
}

int Run(const QStringList& command_line, QByteArray* out, QByteArray* err)
{
  const TOutput output{out, err};

  QCommandLineParser parser;
  TArguments parsed;
  const TCommand* command = nullptr;
  bool help = false;
  bool version = false;
  QString error;
  if(!Parse(&parser, command_line, &parsed, &command, &help, &version, &error))
  {
    if(help)
    {
      // After a command, that command's usage.
      const QStringList positional = parser.positionalArguments();
      const TCommand* asked = positional.isEmpty() ? nullptr : Find_Command(positional.front());
      *out += (asked ? Command_Help(*asked) : parser.helpText()).toLocal8Bit();
      return EXIT_OK;
    }
    if(version)
    {
      *out += (QCoreApplication::applicationName() + QLatin1Char(' ') + QCoreApplication::applicationVersion() +
               QLatin1Char('\n'))
                  .toLocal8Bit();
      return EXIT_OK;
    }
    return output.Usage(error);
  }
  // The subcommand's own check first: its wording is the more particular one.
  QString problem = command->usage_error(parsed);
  if(problem.isEmpty())
  {
    problem = Option_Not_Taken(*command, parser, !parsed.increments.isEmpty());
  }
  if(!problem.isEmpty())
  {
    return output.Usage(problem, command->name);
  }

  const QString data_path = Data_Path(parsed);
  TLibraries libraries;
  const int loaded = Load_Libraries(data_path, &libraries, output);
  if(loaded != EXIT_OK)
  {
    return loaded;
  }
  const QString unknown = Unknown_Name(*command, parsed, libraries);
  if(!unknown.isEmpty())
  {
    output.Message(unknown);
    return EXIT_USAGE;
  }
  return command->run(parsed, libraries, output);
}
} // namespace Batch
