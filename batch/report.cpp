#include "batch/report.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "batch/batch.h"
#include "batch/conformity.h"
#include "core/safefile.h"
#include "src/gui/reportpdf.h"
#include "src/model/calibration/calibration_report.h"

namespace
{
// The whole of a small input file; false with the reason.
bool Read_Input(const QString& file_name, const char* option, QByteArray* bytes, QString* error)
{
  const QString problem = SafeFile::Source_Problem(file_name);
  QFile file(file_name);
  if(!problem.isEmpty() || !file.open(QIODevice::ReadOnly))
  {
    *error = QStringLiteral("--%1 '%2': %3")
                 .arg(QLatin1String(option), file_name, problem.isEmpty() ? file.errorString() : problem);
    return false;
  }
  *bytes = file.readAll();
  return true;
}

// The files of the options the report reads besides the measured files.
QStringList Inputs(const Batch::TArguments& arguments)
{
  QStringList inputs;
  for(const char* option : {"info", "identified-from", "compensation"})
  {
    inputs += arguments.Values(QLatin1String(option));
  }
  return inputs;
}

// The names of the library's records that the rows decide, in the order of the rows.
std::vector<const TMeasurement*> Decided_Records(const Batch::TLibraries& libraries, const Conformity::TReport& report)
{
  QStringList names;
  for(const Conformity::TRow& row : report.rows)
  {
    if(!names.contains(row.measurement))
    {
      names.push_back(row.measurement);
    }
  }
  const std::vector<TMeasurement*> list = libraries.measurements.Measurements(names);
  return std::vector<const TMeasurement*>(list.begin(), list.end());
}

// The optional inputs of the command line; false with the message printed.
bool Read_Optional(const Batch::TArguments& arguments, Calibration_Report::TInputs* inputs,
                   const Batch::TOutput& output)
{
  QByteArray bytes;
  QString error;
  const QString identified = arguments.Value(QStringLiteral("identified-from"));
  if(!identified.isEmpty())
  {
    inputs->has_identified = Read_Input(identified, "identified-from", &bytes, &error) &&
                             Calibration_Report::Read_Identified(bytes, identified, &inputs->identified, &error);
  }
  const QString compensation = arguments.Value(QStringLiteral("compensation"));
  if(error.isEmpty() && !compensation.isEmpty())
  {
    inputs->has_compensation =
        Read_Input(compensation, "compensation", &bytes, &error) &&
        Calibration_Report::Read_Compensation(bytes, compensation, &inputs->compensation, &error);
  }
  if(!error.isEmpty())
  {
    output.Message(error);
    return false;
  }
  return true;
}
} // namespace

namespace Batch
{
QString Report_Usage_Error(const TArguments& arguments)
{
  if(arguments.machine_names.size() != 1)
  {
    return QStringLiteral("report needs one --machine");
  }
  const bool measured = !arguments.Values(QStringLiteral("measured")).isEmpty();
  if(measured == !arguments.measurement_names.isEmpty())
  {
    return QStringLiteral("report needs --measurement or --measured (not both)");
  }
  if(!arguments.increments.isEmpty())
  {
    return QStringLiteral("report takes no --increments");
  }
  for(const char* name : {"output", "info", "identified-from", "compensation"})
  {
    if(arguments.Values(QLatin1String(name)).size() > 1)
    {
      return QStringLiteral("--%1 given twice").arg(QLatin1String(name));
    }
  }
  const QString pdf = arguments.Value(QStringLiteral("output"));
  if(pdf.isEmpty() || !pdf.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
  {
    return QStringLiteral("report needs --output FILE.pdf");
  }
  // The libraries and the measured files.
  const QString problem = Output_Problem(QStringLiteral("report"), arguments, pdf);
  if(!problem.isEmpty())
  {
    return problem;
  }
  for(const QString& input : Inputs(arguments))
  {
    if(Same_File(pdf, input))
    {
      return QStringLiteral("--output '%1' is the input '%2'; report never replaces what it reads").arg(pdf, input);
    }
  }
  const QString info = arguments.Value(QStringLiteral("info"));
  if(!info.isEmpty())
  {
    QByteArray bytes;
    QString error;
    Calibration_Report::TInfo parsed;
    QStringList warnings;
    if(!Read_Input(info, "info", &bytes, &error) ||
       !Calibration_Report::Read_Info(bytes, info, &parsed, &error, &warnings))
    {
      return error;
    }
  }
  return Conformity_Options_Error(arguments);
}

int Run_Report(const TArguments& arguments, const TLibraries& libraries, const TOutput& output)
{
  Calibration_Report::TInputs inputs;
  const int code = Conformity_Report(arguments, libraries, output, &inputs.conformity);
  if(code == EXIT_USAGE || !inputs.conformity.ok)
  {
    return code;
  }
  inputs.machine = libraries.machines.Machine(libraries.machines.Machine_Id(arguments.machine_names.front()));
  inputs.measured = arguments.Values(QStringLiteral("measured"));
  if(inputs.measured.isEmpty())
  {
    const std::vector<TMeasurement*> list = libraries.measurements.Measurements(arguments.measurement_names);
    inputs.records.assign(list.begin(), list.end());
  }
  else
  {
    inputs.records = Decided_Records(libraries, inputs.conformity);
  }
  inputs.report_date = QDate::currentDate();
  const QString info = arguments.Value(QStringLiteral("info"));
  if(!info.isEmpty())
  {
    QByteArray bytes;
    QString error;
    QStringList warnings;
    Read_Input(info, "info", &bytes, &error);
    Calibration_Report::Read_Info(bytes, info, &inputs.info, &error, &warnings);
    for(const QString& warning : warnings)
    {
      output.Message(warning);
    }
  }
  if(!Read_Optional(arguments, &inputs, output))
  {
    return EXIT_FAILED;
  }
  const QString pdf = arguments.Value(QStringLiteral("output"));
  QString error;
  if(!Report_Pdf::Write(Calibration_Report::Make(inputs), pdf, &error))
  {
    output.Message(error);
    return EXIT_FAILED;
  }
  if(inputs.conformity.rows.empty())
  {
    output.Message(QStringLiteral("no ISO 10360-2 row to decide: the report '%1' says so").arg(pdf));
    return EXIT_USAGE;
  }
  return code;
}

bool Report_Needs_Widgets(const TArguments&)
{
  return true;
}
} // namespace Batch
