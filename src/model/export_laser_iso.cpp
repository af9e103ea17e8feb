// Zarnik and Lumetra files of laser runs and ISO 10360-2 tests: the targets that the machine
// moves to in the one, the laser readings at them in the other.

#include "core/referencesystem.h"
#include "core/varlume_assert.h"
#include "src/model/export.h"
#include "src/model/export_format.h"

namespace
{
using TItem = TMeasurement::TMeasurementItem;
using Export::Format::Number;
using Export::Format::Triple;

const int LUMETRA_RULE_WIDTH = 85;
const int SCALE_WIDTH = 14;
const int READING_WIDTH = 10;
const int READING_DECIMALS = 5;
const int TARGET_DECIMALS = 5;
const int AXIS_DECIMALS = 9;
const int OFFSET_DECIMALS = 4;
// Every ISO length is measured this many times.
const int ISO_REPETITIONS = 3;

// What both files of a run take from its first row.
struct TBases
{
  TVector3 probe;     // the probe offset p
  TVector3 vector;    // the probe vector v
  TVector3 direction; // the nominal direction d
  TReferenceSystem alignment;
  TVector3 straightness; // deviation split at the start, subtracted from every reading
};

TBases Bases(const TMachineComp& machine, const TItem& first)
{
  TBases bases;
  bases.probe = first.probe_offset;
  bases.vector = Export::Probe_Vector(first.probe_offset);
  bases.direction = first.axis_nominal;
  // X along the line, then minus Z turned about it towards the probe.
  bases.alignment.Skew1(bases.direction, TReferenceSystem::X_AXIS);
  bases.alignment.Skew2(bases.vector, TReferenceSystem::ZMINUS_AXIS, TReferenceSystem::X_AXIS);
  bases.straightness = machine.Calculate_Scale_XX_YY_Error(bases.direction, bases.vector, first.reference_nominal,
                                                           first.reference_actual);
  return bases;
}

// From "Alignment_Begin:" to "Measurement_Begin:", the part that laser and ISO files share.
QString Zarnik_Alignment(const TBases& bases, const TItem& first)
{
  const TMat4 rotation = bases.alignment.Rotation_Mat();
  QString text = QStringLiteral("Alignment_Begin:\n");
  const char* const labels[3] = {"X_Axis:", "Y_Axis:", "Z_Axis:"};
  for(int row = 0; row < 3; ++row)
  {
    const TVector3 axis(rotation[4 * row], rotation[4 * row + 1], rotation[4 * row + 2]);
    text += QLatin1String(labels[row]) + Triple(axis, AXIS_DECIMALS) + QLatin1Char('\n');
  }
  text += QLatin1String("Translation:") + Triple(first.reference_nominal + bases.probe, OFFSET_DECIMALS) +
          QLatin1Char('\n');
  text += QLatin1String("Alignment_End:\n\n"
                        "Temperature_Begin:\n"
                        "X_Scale:20.00\n"
                        "Y_Scale:20.00\n"
                        "Z_Scale:20.00\n"
                        "Temperature_End:\n\n");
  text += QLatin1String("Probe_Offset:") + Triple(bases.probe, OFFSET_DECIMALS) + QLatin1Char('\n');
  text += QLatin1String("Probe_Vector:") + Triple(bases.vector, AXIS_DECIMALS) + QLatin1String("\n\n");
  text += QLatin1String("Measurement_Begin:\n");
  return text;
}

QString Lumetra_Header(const char* type)
{
  return QLatin1String("Lumetra_Data:Version=1:Type=") + QLatin1String(type) +
         QLatin1String("\n\n"
                       "# Note: Straightness and angular measurements are zero for non-axis aligned measurements.\n\n"
                       "       Scale         XX         YY         RA         RB         RC      AIR    MAT\n") +
         QString(LUMETRA_RULE_WIDTH, QLatin1Char('-')) + QLatin1String("\n:Data_Begin\n");
}

// One reading: scale, the two straightness values and the three angles; the air and material
// temperatures are fixed.
QString Lumetra_Line(double scale, const TVector3& straightness, const TVector3& angles)
{
  return Number(scale, SCALE_WIDTH, READING_DECIMALS) + QLatin1Char(',') +
         Number(straightness.y, READING_WIDTH, READING_DECIMALS) + QLatin1Char(',') +
         Number(straightness.z, READING_WIDTH, READING_DECIMALS) + QLatin1Char(',') +
         Number(angles.x, READING_WIDTH, READING_DECIMALS) + QLatin1Char(',') +
         Number(angles.y, READING_WIDTH, READING_DECIMALS) + QLatin1Char(',') +
         Number(angles.z, READING_WIDTH, READING_DECIMALS) + QLatin1String(",  20.00, 20.00\n");
}

// The straightness deviation at a target relative to the start (only y and z are written).
TVector3 Straightness(const TMachineComp& machine, const TBases& bases, const TItem& item)
{
  return machine.Calculate_Scale_XX_YY_Error(bases.direction, bases.vector, item.point_nominal, item.point_actual) -
         bases.straightness;
}

const char* const END_TEXTS[2] = {"Measurement_End:\n", ":Data_End\n"};

// Both files are written and flushed to disk before either replaces its old file, so a full
// disk never leaves a new Lumetra file beside an old Zarnik file; what could not be written
// stays as it was.
bool Write_Pair(const QString& directory, const TMeasurement& measurement, const QString& file_base,
                const Export::TFilePair& texts, const QString& writer, Export::TResult* result)
{
  VARLUME_ASSERT(result);
  TSafeFile lumetra(Export::Format::Measurement_File_Path(directory, "Lumetra %1.dat", measurement.d_name, file_base));
  TSafeFile zarnik(Export::Format::Measurement_File_Path(directory, "Zarnik %1.dat", measurement.d_name, file_base));
  const auto fail = [&](const char* text)
  {
    result->failures.push_back(writer + QLatin1String(text));
    return false;
  };
  const auto fail_write = [&](const char* kind, const QString& file_name, const QString& reason)
  {
    result->failures.push_back(
        QStringLiteral("%1:  Cannot write %2 file '%3': %4.").arg(writer, QLatin1String(kind), file_name, reason));
    return false;
  };
  for(TSafeFile* file : {&lumetra, &zarnik})
  {
    const QString refused = Export::Format::Refused_Target(file->File_Name());
    if(!refused.isEmpty())
    {
      return fail_write(file == &lumetra ? "Lumetra" : "Zarnik", file->File_Name(), refused);
    }
  }
  if(!lumetra.Open())
  {
    return fail(":  Cannot open Lumetra file for writing.");
  }
  if(!zarnik.Open())
  {
    return fail(":  Cannot open Zarnik file for writing.");
  }
  if(!Export::Format::Write_Text(&lumetra, texts.lumetra))
  {
    return fail_write("Lumetra", lumetra.File_Name(), lumetra.Error_String());
  }
  if(!Export::Format::Write_Text(&zarnik, texts.zarnik))
  {
    return fail_write("Zarnik", zarnik.File_Name(), zarnik.Error_String());
  }
  if(!lumetra.Commit())
  {
    return fail_write("Lumetra", lumetra.File_Name(), lumetra.Error_String());
  }
  result->files.push_back(lumetra.File_Name());
  if(!zarnik.Commit())
  {
    return fail_write("Zarnik", zarnik.File_Name(), zarnik.Error_String());
  }
  result->files.push_back(zarnik.File_Name());
  return true;
}
} // namespace

namespace Export
{
TFilePair Laser_Texts(const TMachineComp& machine, const TMeasurement& measurement)
{
  TFilePair texts;
  const std::vector<TItem>& items = measurement.d_measurement_items;
  if(!items.empty())
  {
    const TItem& first = items.front();
    const TBases bases = Bases(machine, first);

    texts.zarnik = QStringLiteral("Zarnik_Raw_Measurement:Version=1:Type=Laser\n\n"
                                  "# Note: Alignment translation and all target points include the probe offset.\n\n");
    texts.zarnik += Zarnik_Alignment(bases, first);
    texts.lumetra = Lumetra_Header("Laser");

    // The run goes out and comes back over the same targets with the same readings.
    QStringList targets;
    QStringList readings;
    for(const TItem& item : items)
    {
      targets.push_back(Triple(item.point_nominal + bases.probe, TARGET_DECIMALS));
    }
    for(const TLaserReading& reading : Laser_Readings(machine, measurement))
    {
      readings.push_back(Lumetra_Line(reading.scale, reading.straightness, reading.angles));
    }
    for(int index = 0; index < targets.size(); ++index)
    {
      texts.zarnik += QLatin1String("Point:1,F,") + targets[index] + QLatin1Char('\n');
      texts.lumetra += readings[index];
    }
    for(int index = targets.size() - 1; index >= 0; --index)
    {
      texts.zarnik += QLatin1String("Point:1,B,") + targets[index] + QLatin1Char('\n');
      texts.lumetra += readings[index];
    }
  }
  texts.zarnik += QLatin1String(END_TEXTS[0]);
  texts.lumetra += QLatin1String(END_TEXTS[1]);
  return texts;
}

std::vector<TLaserReading> Laser_Readings(const TMachineComp& machine, const TMeasurement& measurement)
{
  std::vector<TLaserReading> readings;
  const std::vector<TItem>& items = measurement.d_measurement_items;
  if(items.empty())
  {
    return readings;
  }
  const TBases bases = Bases(machine, items.front());
  const double scale_base = items.front().reference_actual ^ bases.direction;
  readings.reserve(items.size());
  for(const TItem& item : items)
  {
    TLaserReading reading;
    reading.scale = (item.point_actual ^ bases.direction) - scale_base;
    reading.straightness = Straightness(machine, bases, item);
    reading.angles = item.point_angles - item.reference_angles;
    readings.push_back(reading);
  }
  return readings;
}

TFilePair ISO_Texts(const TMachineComp& machine, const TMeasurement& measurement)
{
  TFilePair texts;
  const std::vector<TItem>& items = measurement.d_measurement_items;
  if(!items.empty())
  {
    const TItem& first = items.front();
    const TBases bases = Bases(machine, first);
    const double nominal_base = first.reference_nominal ^ bases.direction;
    const double actual_base = first.reference_actual ^ bases.direction;

    texts.zarnik = QStringLiteral("B89.4.10360_Raw_Measurement:Version=1:Type=Five_Laser\n\n"
                                  "# Note: Alignment translation includes probe offset.\n\n"
                                  "Scales_Begin:\n"
                                  "X_Expansion_Coefficient:11.5\n"
                                  "Y_Expansion_Coefficient:11.5\n"
                                  "Z_Expansion_Coefficient:11.5\n"
                                  "Scales_End:\n\n");
    texts.zarnik += Zarnik_Alignment(bases, first);
    texts.zarnik += QLatin1String("\nDescription:") + Export::Row_Name(measurement.d_name) + QLatin1String("\n\n");
    texts.lumetra = Lumetra_Header("Laser_10360");

    const QString zero_target = Triple(TVector3(), TARGET_DECIMALS);
    const QString zero_reading = Lumetra_Line(0.0, TVector3(), TVector3());
    for(std::size_t index = 0; index < items.size(); ++index)
    {
      const TItem& item = items[index];
      const QString number = QString::number(index + 1);
      // Targets in the alignment's frame: A at the start of the line, B a length along it.
      const double nominal_length = (item.point_nominal ^ bases.direction) - nominal_base;
      const QString target_a =
          QLatin1String("Point:") + number + QLatin1String(",A,") + zero_target + QLatin1Char('\n');
      const QString target_b = QLatin1String("Point:") + number + QLatin1String(",B,") +
                               Triple(TVector3(nominal_length, 0.0, 0.0), TARGET_DECIMALS) + QLatin1Char('\n');
      const QString reading =
          Lumetra_Line((item.point_actual ^ bases.direction) - actual_base, Straightness(machine, bases, item),
                       item.point_angles - item.reference_angles);
      for(int repetition = 0; repetition < ISO_REPETITIONS; ++repetition)
      {
        texts.zarnik += target_a + target_b;
        texts.lumetra += zero_reading + reading;
      }
    }
  }
  texts.zarnik += QLatin1String(END_TEXTS[0]);
  texts.lumetra += QLatin1String(END_TEXTS[1]);
  return texts;
}

bool Write_Laser_Files(const TMachineComp& machine, const QString& directory, const TMeasurement& measurement,
                       TResult* result, const QString& file_base)
{
  return Write_Pair(directory, measurement, file_base, Laser_Texts(machine, measurement),
                    QStringLiteral("Export Laser"), result);
}

bool Write_ISO_Files(const TMachineComp& machine, const QString& directory, const TMeasurement& measurement,
                     TResult* result, const QString& file_base)
{
  return Write_Pair(directory, measurement, file_base, ISO_Texts(machine, measurement), QStringLiteral("Export ISO"),
                    result);
}
} // namespace Export
