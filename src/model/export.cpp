// The export driver, file names and the ball bar file. The laser and ISO files are in
// export_laser_iso.cpp, the MCG file in export_mcg.cpp.

#include "src/model/export.h"

#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/varlume_assert.h"
#include "src/model/export_format.h"
#include "src/model/simulation.h"

namespace
{
using TItem = TMeasurement::TMeasurementItem;

const char* const BALLBAR_FILE_NAME = "Ballbar Measurements.dat";
const char* const BALLBAR_COLUMNS =
    "   Name                 Length      Sph1 X      Sph1 Y      Sph1 Z      Sph2 X      "
    "Sph2 Y      Sph2 Z     Sph1 Form   Sph2 Form    Probe X     Probe Y     Probe Z";
const int BALLBAR_RULE_WIDTH = 167;
const int BALLBAR_NAME_WIDTH = 20;
const int BALLBAR_FIELD_WIDTH = 11;
const int BALLBAR_DECIMALS = 5;

QString Ballbar_Field(double value)
{
  return Export::Format::Number(value, BALLBAR_FIELD_WIDTH, BALLBAR_DECIMALS);
}

QString Ballbar_Fields(const TVector3& vector)
{
  return Ballbar_Field(vector.x) + QLatin1Char(',') + Ballbar_Field(vector.y) + QLatin1Char(',') +
         Ballbar_Field(vector.z);
}

// The name padded after its comma to 20 characters (a longer name stays whole), one blank,
// then the numbers separated by bare commas.
QString Ballbar_Row(const QString& name, const TItem& item)
{
  return Text::Pad_String(name, BALLBAR_NAME_WIDTH, true) + QLatin1Char(' ') + Ballbar_Field(item.length_actual) +
         QLatin1Char(',') + Ballbar_Fields(item.reference_actual + item.probe_offset) + QLatin1Char(',') +
         Ballbar_Fields(item.point_actual + item.probe_offset) + QLatin1Char(',') + Ballbar_Field(0.0) +
         QLatin1Char(',') + Ballbar_Field(0.0) + QLatin1Char(',') + Ballbar_Fields(item.probe_offset) +
         QLatin1Char('\n');
}

bool Exportable_Ballbar(const TMeasurement& measurement)
{
  return measurement.Type() == Types::MEASUREMENT_BALLBAR && measurement.d_measurement_items.size() == 1;
}
} // namespace

namespace Export
{
namespace Format
{
QString Measurement_File_Path(const QString& directory, const char* pattern, const QString& name,
                              const QString& file_base)
{
  return QDir(directory).filePath(
      QString::fromLatin1(pattern).arg(file_base.isEmpty() ? Safe_File_Name(name) : file_base));
}

QString Refused_Target(const QString& path)
{
  const QString problem = SafeFile::Target_Problem(path);
  return QFileInfo(path).isDir() && !QFileInfo(path).isSymLink() ? QString() : problem;
}

bool Write_Text(TSafeFile* file, const QString& text)
{
  return file->Write(text.toLatin1()) && file->Flush();
}
} // namespace Format

QString Safe_File_Name(const QString& name)
{
  QString safe = name;
  for(QChar& character : safe)
  {
    if(character == QLatin1Char('/') || character == QLatin1Char('\\') || character.category() == QChar::Other_Control)
    {
      character = QLatin1Char('_');
    }
  }
  if(safe == QLatin1String(".") || safe == QLatin1String(".."))
  {
    safe.fill(QLatin1Char('_'));
  }
  return safe;
}

QString Row_Name(const QString& name)
{
  QString row = name;
  for(QChar& character : row)
  {
    if(character.category() == QChar::Other_Control)
    {
      character = QLatin1Char('_');
    }
  }
  return row;
}

QStringList File_Name_Bases(const std::vector<TMeasurement*>& measurements, QStringList* renamed)
{
  QStringList bases;
  QSet<QString> taken;
  for(const TMeasurement* measurement : measurements)
  {
    VARLUME_ASSERT(measurement);
    QStringList patterns;
    const char* writer = "";
    switch(measurement->Type())
    {
    case Types::MEASUREMENT_LASER:
      writer = "Export Laser";
      patterns = QStringList{QStringLiteral("Lumetra %1.dat"), QStringLiteral("Zarnik %1.dat")};
      break;
    case Types::MEASUREMENT_ISO:
      writer = "Export ISO";
      patterns = QStringList{QStringLiteral("Lumetra %1.dat"), QStringLiteral("Zarnik %1.dat")};
      break;
    case Types::MEASUREMENT_MCG:
      writer = "Export MCG";
      patterns = QStringList{QStringLiteral("MCG %1.xml")};
      break;
    case Types::MEASUREMENT_BALLBAR:
      break;
    }
    if(patterns.isEmpty())
    {
      bases.push_back(QString());
      continue;
    }

    const QString safe = Safe_File_Name(measurement->d_name);
    QString base = safe;
    // A pair takes one number, so that its two files keep the same name part.
    for(qint64 number = 2;; ++number)
    {
      const bool free = std::none_of(patterns.begin(), patterns.end(),
                                     [&](const QString& pattern) { return taken.contains(pattern.arg(base)); });
      if(free)
      {
        break;
      }
      base = QStringLiteral("%1 %2").arg(safe, QString::number(number));
    }
    QStringList names;
    for(const QString& pattern : patterns)
    {
      taken.insert(pattern.arg(base));
      names.push_back(QLatin1Char('\'') + pattern.arg(base) + QLatin1Char('\''));
    }
    if(base != safe && renamed)
    {
      renamed->push_back(QStringLiteral("%1:  '%2' written as %3, its file name being taken by an earlier measurement.")
                             .arg(QLatin1String(writer), Row_Name(measurement->d_name), names.join(" and ")));
    }
    bases.push_back(base);
  }
  return bases;
}

TVector3 Probe_Vector(const TVector3& probe_offset)
{
  TVector3 vector(probe_offset.x, probe_offset.y, 0.0);
  // An offset a few ulps off the vertical has a horizontal part above 0 that Normal() refuses.
  if(vector.Length() > std::numeric_limits<double>::epsilon())
  {
    return vector.Normal();
  }
  return TVector3(0.0, 0.0, -1.0);
}

QString Ballbar_Text(const std::vector<TMeasurement*>& measurements)
{
  QString text;
  for(const TMeasurement* measurement : measurements)
  {
    VARLUME_ASSERT(measurement);
    if(!Exportable_Ballbar(*measurement))
    {
      continue;
    }
    if(text.isEmpty())
    {
      text = QStringLiteral("B89.4.1_Data:Version=1:Type=BallBar\n\n"
                            "# Note:  Sphere locations include the probe offset.\n\n");
      text += QLatin1String(BALLBAR_COLUMNS) + QLatin1Char('\n');
      text += QString(BALLBAR_RULE_WIDTH, QLatin1Char('-')) + QLatin1Char('\n');
    }
    text += Ballbar_Row(Row_Name(measurement->d_name), measurement->d_measurement_items.front());
  }
  return text;
}

bool Write_Ballbar_File(const QString& directory, const std::vector<TMeasurement*>& measurements, TResult* result)
{
  VARLUME_ASSERT(result);
  const QString text = Ballbar_Text(measurements);
  // Without a ball bar an older file of the directory stays untouched.
  if(text.isEmpty())
  {
    return true;
  }
  TSafeFile file(QDir(directory).filePath(QLatin1String(BALLBAR_FILE_NAME)));
  const auto fail_write = [&](const QString& reason)
  {
    result->failures.push_back(
        QStringLiteral("Export Ballbar:  Cannot write 'Ballbar Measurements.dat' file: %1.").arg(reason));
    return false;
  };
  const QString refused = Format::Refused_Target(file.File_Name());
  if(!refused.isEmpty())
  {
    return fail_write(refused);
  }
  if(!file.Open())
  {
    result->failures.push_back(
        QStringLiteral("Export Ballbar:  Cannot open 'Ballbar Measurements.dat' file for writing."));
    return false;
  }
  if(!Format::Write_Text(&file, text) || !file.Commit())
  {
    return fail_write(file.Error_String());
  }
  result->files.push_back(file.File_Name());
  return true;
}

void Write_Files(const TMachineComp& machine, const QString& directory, const std::vector<TMeasurement*>& measurements,
                 TResult* result)
{
  VARLUME_ASSERT(result);
  const QStringList bases = File_Name_Bases(measurements, &result->renamed);
  Write_Ballbar_File(directory, measurements, result);
  for(std::size_t index = 0; index < measurements.size(); ++index)
  {
    const TMeasurement* measurement = measurements[index];
    const QString& base = bases[static_cast<int>(index)];
    switch(measurement->Type())
    {
    case Types::MEASUREMENT_LASER:
      Write_Laser_Files(machine, directory, *measurement, result, base);
      break;
    case Types::MEASUREMENT_MCG:
      Write_MCG_File(directory, *measurement, result, base);
      break;
    case Types::MEASUREMENT_ISO:
      Write_ISO_Files(machine, directory, *measurement, result, base);
      break;
    case Types::MEASUREMENT_BALLBAR:
      break;
    }
  }
}

TStatus Export_Measurements(const TMachineComp* machine, std::vector<TMeasurement*>* measurements,
                            const QString& directory, TResult* result, QStringList* errors)
{
  VARLUME_ASSERT(machine);
  VARLUME_ASSERT(measurements);
  VARLUME_ASSERT(result);

  QStringList lines;
  if(!Simulation::Evaluate_Measurement_Expressions(machine, measurements, &lines))
  {
    if(errors)
    {
      *errors = lines;
    }
    return TStatus::EXPRESSIONS_FAILED;
  }
  // A successful evaluation may still note a ball bar direction replaced by +X; it is no error.
  lines.clear();
  // After an axis exception the rows of this and the following measurements are gone or
  // partial: files from them would pass a broken simulation off as a measurement.
  if(!Simulation::Update_Measurement_Items(machine, measurements, &lines))
  {
    if(errors)
    {
      *errors = lines;
    }
    return TStatus::SIMULATION_FAILED;
  }
  if(errors)
  {
    errors->clear();
  }
  Write_Files(*machine, directory, *measurements, result);
  return TStatus::WRITTEN;
}
} // namespace Export
