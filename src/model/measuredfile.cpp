// Readers of the measured data files and the collection of files from paths and directories.

#include "src/model/measuredfile.h"

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <cmath>

namespace
{
const char* const BALLBAR_HEADER = "B89.4.1_Data:Version=1:Type=BallBar";
const char* const LASER_ZARNIK_HEADER = "Zarnik_Raw_Measurement:Version=1:Type=Laser";
const char* const ISO_ZARNIK_HEADER = "B89.4.10360_Raw_Measurement:Version=1:Type=Five_Laser";
const char* const LASER_LUMETRA_HEADER = "Lumetra_Data:Version=1:Type=Laser";
const char* const ISO_LUMETRA_HEADER = "Lumetra_Data:Version=1:Type=Laser_10360";
const char* const MCG_ROOT = "MCG_Measurement_Data";
// A ball bar row: the name, then length, two sphere centres, two form values, the probe.
const int BALLBAR_NUMBERS = 12;
// A Lumetra line: six readings and the two temperatures.
const int LUMETRA_FIELDS = 8;

// Lines without their line ends; a file written on another system may end them in CR LF.
QStringList Lines(const QByteArray& text)
{
  QStringList lines = QString::fromLatin1(text).split(QLatin1Char('\n'));
  for(QString& line : lines)
  {
    if(line.endsWith(QLatin1Char('\r')))
    {
      line.chop(1);
    }
  }
  return lines;
}

bool Number(const QString& text, double* value)
{
  bool ok = false;
  *value = text.trimmed().toDouble(&ok);
  return ok && std::isfinite(*value);
}

// "x,y,z" of three finite numbers.
bool Triple(const QString& text, TVector3* vector)
{
  const QStringList parts = text.split(QLatin1Char(','));
  return parts.size() == 3 && Number(parts[0], &vector->x) && Number(parts[1], &vector->y) &&
         Number(parts[2], &vector->z);
}

bool Fail(QString* error, const QString& reason)
{
  *error = reason;
  return false;
}

QString Line_Reason(int index, const QString& what)
{
  return QStringLiteral("line %1: %2").arg(index + 1).arg(what);
}

bool Parse_Lumetra(const QStringList& lines, std::vector<Measured::TReading>* readings, QString* error)
{
  const int begin = lines.indexOf(QStringLiteral(":Data_Begin"));
  const int end = lines.indexOf(QStringLiteral(":Data_End"));
  if(begin < 0 || end < begin)
  {
    return Fail(error, QStringLiteral("Lumetra file incomplete (no data block)"));
  }
  for(int index = begin + 1; index < end; ++index)
  {
    if(lines[index].trimmed().isEmpty())
    {
      continue;
    }
    const QStringList fields = lines[index].split(QLatin1Char(','));
    Measured::TReading reading;
    bool ok = fields.size() == LUMETRA_FIELDS;
    for(int value = 0; ok && value < 6; ++value)
    {
      ok = Number(fields[value], &reading.values[value]);
    }
    if(!ok)
    {
      return Fail(error, QStringLiteral("Lumetra file ") + Line_Reason(index, QStringLiteral("not a reading")));
    }
    reading.line = index + 1;
    readings->push_back(reading);
  }
  return true;
}

// The value after "Label:" of the first line that starts with it.
bool Labelled(const QStringList& lines, const char* label, QString* value)
{
  const QString prefix = QLatin1String(label);
  for(const QString& line : lines)
  {
    if(line.startsWith(prefix))
    {
      *value = line.mid(prefix.size());
      return true;
    }
  }
  return false;
}

// The name that the export put into a file name with its pattern ("Lumetra %1.dat").
QString Name_From_File(const QString& file_name, const QString& prefix, const QString& suffix)
{
  if(file_name.startsWith(prefix) && file_name.endsWith(suffix) && file_name.size() > prefix.size() + suffix.size())
  {
    return file_name.mid(prefix.size(), file_name.size() - prefix.size() - suffix.size());
  }
  return QString();
}

QByteArray First_Line(const QByteArray& text)
{
  const int end = text.indexOf('\n');
  QByteArray line = end < 0 ? text : text.left(end);
  if(line.endsWith('\r'))
  {
    line.chop(1);
  }
  return line;
}

enum class TFileType
{
  OTHER,
  BALLBAR,
  ZARNIK,
  LUMETRA,
  MCG
};

TFileType File_Type(const QByteArray& text)
{
  const QByteArray first = First_Line(text);
  if(first == BALLBAR_HEADER)
  {
    return TFileType::BALLBAR;
  }
  if(first == LASER_ZARNIK_HEADER || first == ISO_ZARNIK_HEADER)
  {
    return TFileType::ZARNIK;
  }
  if(first == LASER_LUMETRA_HEADER || first == ISO_LUMETRA_HEADER)
  {
    return TFileType::LUMETRA;
  }
  if(text.startsWith("<?xml") && text.contains(MCG_ROOT))
  {
    return TFileType::MCG;
  }
  return TFileType::OTHER;
}

// Names that the export gives its files: such a file that does not parse is worth a message,
// any other file of a directory is none of ours.
bool Export_File_Name(const QString& name)
{
  return name == QLatin1String("Ballbar Measurements.dat") ||
         (name.endsWith(QLatin1String(".dat")) &&
          (name.startsWith(QLatin1String("Lumetra ")) || name.startsWith(QLatin1String("Zarnik ")))) ||
         (name.startsWith(QLatin1String("MCG ")) && name.endsWith(QLatin1String(".xml")));
}

class TReader
{
public:
  explicit TReader(Measured::TCollection* collection) : d_collection(collection) {}

  void Path(const QString& argument)
  {
    QString name;
    QString path = argument;
    // NAME=FILE, unless the whole argument is an existing path.
    const int equals = argument.indexOf(QLatin1Char('='));
    if(!QFileInfo::exists(argument) && equals > 0)
    {
      name = argument.left(equals);
      path = argument.mid(equals + 1);
    }
    const QFileInfo info(path);
    if(info.isDir() && name.isEmpty())
    {
      const QDir directory(path);
      const QStringList entries = directory.entryList(QDir::Files | QDir::Readable, QDir::Name);
      for(const QString& entry : entries)
      {
        File(directory.filePath(entry), QString(), true);
      }
      return;
    }
    File(path, name, false);
  }

private:
  void Problem(const QString& file, const QString& reason)
  {
    d_collection->problems.push_back(Measured::TProblem{file, reason});
  }

  bool Read_File(const QString& path, QByteArray* text)
  {
    QFile file(path);
    if(!file.open(QIODevice::ReadOnly))
    {
      Problem(QFileInfo(path).fileName(), QStringLiteral("cannot be read"));
      return false;
    }
    *text = file.readAll();
    return true;
  }

  // from_directory: a file of a directory listing, which may be something else entirely.
  void File(const QString& path, const QString& name, bool from_directory)
  {
    const QFileInfo info(path);
    const QString file_name = info.fileName();
    if(!info.isFile())
    {
      Problem(file_name.isEmpty() ? path : file_name, QStringLiteral("no such file"));
      return;
    }
    const QString canonical = info.canonicalFilePath();
    if(d_seen.contains(canonical))
    {
      return;
    }
    QByteArray text;
    if(!Read_File(path, &text))
    {
      return;
    }
    QString error;
    switch(File_Type(text))
    {
    case TFileType::BALLBAR:
    {
      d_seen.insert(canonical);
      std::vector<Measured::TSet> sets;
      if(!Measured::Parse_Ballbar(text, &sets, &error))
      {
        Problem(file_name, error);
        return;
      }
      if(!name.isEmpty() && sets.size() == 1)
      {
        sets.front().name = name;
      }
      for(Measured::TSet& set : sets)
      {
        set.file = file_name;
        set.readings_file = file_name;
        d_collection->sets.push_back(set);
      }
      return;
    }
    case TFileType::ZARNIK:
    case TFileType::LUMETRA:
      Pair(info, name, from_directory);
      return;
    case TFileType::MCG:
    {
      d_seen.insert(canonical);
      Measured::TSet set;
      if(!Measured::Parse_MCG(text, &set, &error))
      {
        Problem(file_name, error);
        return;
      }
      set.file = file_name;
      set.readings_file = file_name;
      set.name = name.isEmpty() ? Name_From_File(file_name, QStringLiteral("MCG "), QStringLiteral(".xml")) : name;
      if(set.name.isEmpty())
      {
        Problem(file_name, QStringLiteral("no measurement name (give it as NAME=FILE)"));
        return;
      }
      d_collection->sets.push_back(set);
      return;
    }
    case TFileType::OTHER:
      d_seen.insert(canonical);
      if(!from_directory || Export_File_Name(file_name))
      {
        Problem(file_name, QStringLiteral("not a measured data file"));
      }
      return;
    }
  }

  // A laser or ISO file given by either of its two files: the other one has the same name with
  // the other prefix.
  void Pair(const QFileInfo& info, const QString& name, bool from_directory)
  {
    const QString file_name = info.fileName();
    QString base = Name_From_File(file_name, QStringLiteral("Lumetra "), QStringLiteral(".dat"));
    if(base.isEmpty())
    {
      base = Name_From_File(file_name, QStringLiteral("Zarnik "), QStringLiteral(".dat"));
    }
    if(base.isEmpty())
    {
      d_seen.insert(info.canonicalFilePath());
      Problem(file_name, QStringLiteral("not named \"Lumetra NAME.dat\" or \"Zarnik NAME.dat\": its partner file "
                                        "cannot be found"));
      return;
    }
    const QDir directory = info.dir();
    const QFileInfo zarnik_info(directory.filePath(QStringLiteral("Zarnik %1.dat").arg(base)));
    const QFileInfo lumetra_info(directory.filePath(QStringLiteral("Lumetra %1.dat").arg(base)));
    d_seen.insert(info.canonicalFilePath());
    const QString label = QStringLiteral("Lumetra/Zarnik %1.dat").arg(base);
    if(!zarnik_info.isFile() || !lumetra_info.isFile())
    {
      // In a directory the partner of a pair is met too; report the pair once.
      if(!from_directory || !d_reported_pairs.contains(base))
      {
        d_reported_pairs.insert(base);
        Problem(file_name, zarnik_info.isFile() ? QStringLiteral("no Lumetra file beside it")
                                                : QStringLiteral("no Zarnik file beside it"));
      }
      return;
    }
    d_seen.insert(zarnik_info.canonicalFilePath());
    d_seen.insert(lumetra_info.canonicalFilePath());
    QByteArray zarnik;
    QByteArray lumetra;
    if(!Read_File(zarnik_info.filePath(), &zarnik) || !Read_File(lumetra_info.filePath(), &lumetra))
    {
      return;
    }
    Measured::TSet set;
    QString error;
    if(!Measured::Parse_Line(zarnik, lumetra, &set, &error))
    {
      Problem(label, error);
      return;
    }
    set.file = label;
    set.readings_file = lumetra_info.fileName();
    set.name = name.isEmpty() ? base : name;
    d_collection->sets.push_back(set);
  }

  Measured::TCollection* d_collection;
  QSet<QString> d_seen;
  QSet<QString> d_reported_pairs;
};
} // namespace

namespace Measured
{
bool Parse_Ballbar(const QByteArray& text, std::vector<TSet>* sets, QString* error)
{
  const QStringList lines = Lines(text);
  if(lines.isEmpty() || lines.front() != QLatin1String(BALLBAR_HEADER))
  {
    return Fail(error, QStringLiteral("not a ball bar file"));
  }
  // The rows follow the rule of hyphens.
  int index = 1;
  while(index < lines.size() && !lines[index].startsWith(QLatin1String("-----")))
  {
    ++index;
  }
  if(index >= lines.size())
  {
    return Fail(error, QStringLiteral("ball bar file incomplete (no column rule)"));
  }
  std::vector<TSet> read;
  for(++index; index < lines.size(); ++index)
  {
    const QString& line = lines[index];
    if(line.trimmed().isEmpty())
    {
      continue;
    }
    // The name may hold commas: the numbers are the last twelve fields.
    const QStringList fields = line.split(QLatin1Char(','));
    if(fields.size() < BALLBAR_NUMBERS + 1)
    {
      return Fail(error, Line_Reason(index, QStringLiteral("not a ball bar row")));
    }
    const int first = fields.size() - BALLBAR_NUMBERS;
    double numbers[BALLBAR_NUMBERS];
    for(int value = 0; value < BALLBAR_NUMBERS; ++value)
    {
      if(!Number(fields[first + value], &numbers[value]))
      {
        return Fail(error, Line_Reason(index, QStringLiteral("not a ball bar row")));
      }
    }
    TSet set;
    set.kind = TKind::BALLBAR;
    set.name = QStringList(fields.mid(0, first)).join(QLatin1Char(','));
    TReading reading;
    reading.values[0] = numbers[0];
    reading.target = TVector3(numbers[1], numbers[2], numbers[3]);
    reading.second = TVector3(numbers[4], numbers[5], numbers[6]);
    set.probe = TVector3(numbers[9], numbers[10], numbers[11]);
    reading.line = index + 1;
    set.readings.push_back(reading);
    read.push_back(set);
  }
  if(read.empty())
  {
    return Fail(error, QStringLiteral("ball bar file without rows"));
  }
  sets->insert(sets->end(), read.begin(), read.end());
  return true;
}

bool Parse_Line(const QByteArray& zarnik_text, const QByteArray& lumetra_text, TSet* set, QString* error)
{
  const QStringList zarnik = Lines(zarnik_text);
  const QStringList lumetra = Lines(lumetra_text);
  if(zarnik.isEmpty() || lumetra.isEmpty())
  {
    return Fail(error, QStringLiteral("empty file"));
  }
  const bool laser = zarnik.front() == QLatin1String(LASER_ZARNIK_HEADER);
  const bool iso = zarnik.front() == QLatin1String(ISO_ZARNIK_HEADER);
  if(!(laser && lumetra.front() == QLatin1String(LASER_LUMETRA_HEADER)) &&
     !(iso && lumetra.front() == QLatin1String(ISO_LUMETRA_HEADER)))
  {
    return Fail(error, QStringLiteral("the Zarnik and Lumetra headers are not those of one laser run or ISO test"));
  }
  set->kind = laser ? TKind::LASER : TKind::ISO;

  QString text;
  if(!Labelled(zarnik, "Probe_Offset:", &text) || !Triple(text, &set->probe))
  {
    return Fail(error, QStringLiteral("Zarnik file without a probe offset"));
  }
  const int begin = zarnik.indexOf(QStringLiteral("Measurement_Begin:"));
  const int end = zarnik.indexOf(QStringLiteral("Measurement_End:"));
  if(begin < 0 || end < begin)
  {
    return Fail(error, QStringLiteral("Zarnik file incomplete (no measurement block)"));
  }
  std::vector<TReading> targets;
  for(int index = begin + 1; index < end; ++index)
  {
    const QString& line = zarnik[index];
    if(!line.startsWith(QLatin1String("Point:")))
    {
      continue;
    }
    const QStringList fields = line.mid(6).split(QLatin1Char(','));
    TReading reading;
    bool ok = fields.size() == 5;
    if(ok)
    {
      reading.point = fields[0].toInt(&ok);
    }
    const QString pass = ok ? fields[1] : QString();
    ok = ok && (laser ? (pass == QLatin1String("F") || pass == QLatin1String("B"))
                      : (pass == QLatin1String("A") || pass == QLatin1String("B")));
    ok = ok && Number(fields[2], &reading.target.x) && Number(fields[3], &reading.target.y) &&
         Number(fields[4], &reading.target.z);
    if(!ok)
    {
      return Fail(error, QStringLiteral("Zarnik file ") + Line_Reason(index, QStringLiteral("not a target")));
    }
    reading.forward = pass != QLatin1String("B");
    targets.push_back(reading);
  }
  std::vector<TReading> readings;
  if(!Parse_Lumetra(lumetra, &readings, error))
  {
    return false;
  }
  if(readings.size() != targets.size())
  {
    return Fail(error, QStringLiteral("%1 targets but %2 readings").arg(targets.size()).arg(readings.size()));
  }
  set->readings.clear();
  for(std::size_t index = 0; index < targets.size(); ++index)
  {
    TReading reading = readings[index];
    reading.target = targets[index].target;
    reading.forward = targets[index].forward;
    reading.point = targets[index].point;
    if(iso)
    {
      // A holds the zero reading; B the length.
      if(targets[index].forward)
      {
        continue;
      }
    }
    set->readings.push_back(reading);
  }
  return true;
}

bool Parse_MCG(const QByteArray& text, TSet* set, QString* error)
{
  QDomDocument document;
  QString message;
  int line = 0;
  if(!document.setContent(text, &message, &line))
  {
    return Fail(error, QStringLiteral("XML error at line %1: %2").arg(line).arg(message));
  }
  const QDomElement root = document.documentElement();
  if(root.tagName() != QLatin1String(MCG_ROOT))
  {
    return Fail(error, QStringLiteral("not an MCG file"));
  }
  set->kind = TKind::MCG;
  const QDomElement probe = root.firstChildElement(QStringLiteral("Probe"));
  const QDomElement pivot = root.firstChildElement(QStringLiteral("Pivot_Sphere_Initial"));
  if(probe.isNull() || pivot.isNull())
  {
    return Fail(error, QStringLiteral("MCG file without probe or pivot sphere"));
  }
  if(!Triple(probe.firstChildElement(QStringLiteral("Probe_Offset_XYZ")).text(), &set->probe) ||
     !Triple(pivot.firstChildElement(QStringLiteral("Location_XYZ")).text(), &set->pivot))
  {
    return Fail(error, QStringLiteral("MCG file with an unreadable probe offset or pivot location"));
  }
  const QDomElement points = root.firstChildElement(QStringLiteral("Gauge_Points"));
  set->readings.clear();
  for(QDomElement point = points.firstChildElement(QStringLiteral("Point_XYZ")); !point.isNull();
      point = point.nextSiblingElement(QStringLiteral("Point_XYZ")))
  {
    TReading reading;
    if(!Triple(point.text(), &reading.target))
    {
      return Fail(error, QStringLiteral("MCG file with an unreadable gauge point"));
    }
    reading.line = point.lineNumber();
    set->readings.push_back(reading);
  }
  if(set->readings.empty())
  {
    return Fail(error, QStringLiteral("MCG file without gauge points"));
  }
  return true;
}

TCollection Read(const QStringList& paths)
{
  TCollection collection;
  TReader reader(&collection);
  for(const QString& path : paths)
  {
    reader.Path(path);
  }
  return collection;
}
} // namespace Measured
