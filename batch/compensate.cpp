#include "batch/compensate.h"

#include <QDir>
#include <QFileInfo>

#include <cmath>

#include "batch/batch.h"
#include "batch/conformity.h"
#include "core/safefile.h"
#include "src/model/evaluation.h"
#include "src/model/option_limits.h"
#include "src/model/textformat.h"

namespace
{
// A finite number; false for anything else.
bool Parse_Number(const QString& text, double* value)
{
  return Text::Read_Number(text.trimmed(), value) && std::isfinite(*value);
}

bool Parse_Probe(const QString& text, TVector3* probe)
{
  const QStringList fields = text.split(QLatin1Char(','));
  double values[3] = {0.0, 0.0, 0.0};
  for(int i = 0; i < 3; ++i)
  {
    if(fields.size() != 3 || !Parse_Number(fields[i], &values[i]))
    {
      return false;
    }
  }
  *probe = TVector3(values[0], values[1], values[2]);
  return true;
}

// The options of the command line; they were checked by Compensation_Options_Error.
Compensation::TOptions Options(const Batch::TArguments& arguments)
{
  Compensation::TOptions options;
  QString error;
  const QString forms = arguments.Value(QStringLiteral("form"));
  if(!forms.isEmpty())
  {
    Compensation::Parse_Forms(forms, &options.forms, &error);
  }
  const QString spacing = arguments.Value(QStringLiteral("spacing"));
  if(!spacing.isEmpty())
  {
    Parse_Number(spacing, &options.spacing);
  }
  const QString probe = arguments.Value(QStringLiteral("probe"));
  if(!probe.isEmpty())
  {
    Parse_Probe(probe, &options.probe);
  }
  const QString mpe = arguments.Value(QStringLiteral("mpe"));
  options.has_mpe = !mpe.isEmpty() && Conformity::Parse_Mpe(mpe, &options.mpe, &error);
  const QString test = arguments.Value(QStringLiteral("test-uncertainty"));
  if(!test.isEmpty())
  {
    Conformity::Parse_Test_Uncertainty(test, &options.test, &error);
  }
  options.rule = arguments.Value(QStringLiteral("rule")) == QLatin1String("simple") ? Conformity::TRule::SIMPLE
                                                                                    : Conformity::TRule::GUARDED;
  options.jobs = Evaluation::Parse_Jobs(qEnvironmentVariable("VARLUME_JOBS"));
  return options;
}

// --dir must be an existing directory that is not the data folder, and --csv no file that the
// run writes otherwise.
QString Output_Error(const Batch::TArguments& arguments)
{
  const QString directory = arguments.Value(QStringLiteral("dir"));
  const QString csv = arguments.Value(QStringLiteral("csv"));
  if(!directory.isEmpty())
  {
    // The window offers existing directories only; a typing error must not create one.
    if(!QFileInfo(directory).isDir())
    {
      return QStringLiteral("no directory '%1'").arg(directory);
    }
    for(const QString& data :
        {Batch::Data_Path(arguments), QDir(QDir::homePath()).filePath(QStringLiteral(".varlume"))})
    {
      if(Batch::Same_File(directory, data))
      {
        return QStringLiteral("--dir '%1' is the data folder; compensate writes its files elsewhere").arg(directory);
      }
    }
    for(const char* name : {"tables.csv", "constants.csv", "grid.csv", "pitch.csv"})
    {
      if(!csv.isEmpty() && Batch::Same_File(csv, QDir(directory).filePath(QLatin1String(name))))
      {
        return QStringLiteral("--csv '%1' is the %2 of --dir; compensate writes both").arg(csv, QLatin1String(name));
      }
    }
  }
  return csv.isEmpty() ? QString() : Batch::Library_Output_Problem(QStringLiteral("compensate"), arguments, csv);
}
} // namespace

namespace Batch
{
QString Compensation_Options_Error(const TArguments& arguments)
{
  for(const char* name : {"against", "form", "spacing", "probe", "dir", "csv", "mpe", "test-uncertainty", "rule"})
  {
    if(arguments.Values(QLatin1String(name)).size() > 1)
    {
      return QStringLiteral("--%1 given twice").arg(QLatin1String(name));
    }
  }
  QString error;
  std::vector<Compensation::TForm> forms;
  if(arguments.Values(QStringLiteral("form")).size() == 1 &&
     !Compensation::Parse_Forms(arguments.Value(QStringLiteral("form")), &forms, &error))
  {
    return error;
  }
  double spacing = 0.0;
  if(arguments.Values(QStringLiteral("spacing")).size() == 1 &&
     (!Parse_Number(arguments.Value(QStringLiteral("spacing")), &spacing) || spacing < Compensation::MINIMUM_SPACING))
  {
    return QStringLiteral("--spacing must be a number of at least %1 mm, got '%2'")
        .arg(Option_Limits::SPACING.minimum)
        .arg(arguments.Value(QStringLiteral("spacing")));
  }
  TVector3 probe;
  if(arguments.Values(QStringLiteral("probe")).size() == 1 &&
     !Parse_Probe(arguments.Value(QStringLiteral("probe")), &probe))
  {
    return QStringLiteral("--probe takes X,Y,Z in mm, got '%1'").arg(arguments.Value(QStringLiteral("probe")));
  }
  for(const char* name : {"draws", "seed"})
  {
    if(!arguments.Values(QLatin1String(name)).isEmpty())
    {
      return QStringLiteral("compensation takes no --%1: its uncertainty is propagated linearly").arg(name);
    }
  }
  return Conformity_Options_Error(arguments);
}

QString Compensate_Usage_Error(const TArguments& arguments)
{
  if(arguments.machine_names.size() != 1)
  {
    return QStringLiteral("compensate needs one --machine");
  }
  if(!arguments.increments.isEmpty())
  {
    return QStringLiteral("compensate takes no --increments");
  }
  const QString options = Compensation_Options_Error(arguments);
  return options.isEmpty() ? Output_Error(arguments) : options;
}

int Compensation_Result(const TArguments& arguments, const TLibraries& libraries, const TOutput& output,
                        Compensation::TResult* result)
{
  const TMachineLibrary::TMachineItem* source =
      libraries.machines.Machine(libraries.machines.Machine_Id(arguments.machine_names.front()));
  const QString against_name = arguments.Value(QStringLiteral("against"));
  const TMachineLibrary::TMachineItem* against =
      against_name.isEmpty() ? source : libraries.machines.Machine(libraries.machines.Machine_Id(against_name));
  if(!against)
  {
    output.Message(QStringLiteral("no machine named '%1'").arg(against_name));
    return EXIT_USAGE;
  }
  const std::vector<TMeasurement*> list = libraries.measurements.Measurements(arguments.measurement_names);
  *result = Compensation::Run(*source, *against, std::vector<const TMeasurement*>(list.begin(), list.end()),
                              Options(arguments));
  switch(result->status)
  {
  case Compensation::TStatus::DONE:
    return EXIT_OK;
  case Compensation::TStatus::REFUSED:
    for(const QString& line : result->errors)
    {
      output.Message(line);
    }
    return EXIT_USAGE;
  case Compensation::TStatus::MACHINE_FAILED:
    break;
  }
  for(const QString& line : result->errors)
  {
    output.Message(line);
  }
  return EXIT_FAILED;
}

int Run_Compensate(const TArguments& arguments, const TLibraries& libraries, const TOutput& output)
{
  Compensation::TResult result;
  const int code = Compensation_Result(arguments, libraries, output, &result);
  if(code != EXIT_OK)
  {
    return code;
  }
  const QString directory = arguments.Value(QStringLiteral("dir"));
  QStringList written;
  QString error;
  if(!directory.isEmpty() && !Compensation::Write_Files(result, directory, &written, &error))
  {
    output.Message(error);
    return EXIT_FAILED;
  }
  const QString csv = arguments.Value(QStringLiteral("csv"));
  if(!csv.isEmpty() && !SafeFile::Write_File(csv, Compensation::Csv(result), &error))
  {
    output.Message(QStringLiteral("cannot write '%1': %2").arg(csv, error));
    return EXIT_FAILED;
  }
  *output.out += Compensation::Report_Lines(result).join(QLatin1Char('\n')).toUtf8();
  *output.out += '\n';
  return EXIT_OK;
}
} // namespace Batch
