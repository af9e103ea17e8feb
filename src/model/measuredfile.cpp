// Readers of the measured data files and the collection of files from paths and directories.

#include "src/model/measuredfile.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QXmlStreamReader>

#include <cerrno>
#include <cmath>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// Caps that keep reading bounded whatever a file holds, each ten times or more what a real file
// needs. A text line: a row of numbers is about a hundred characters, a ball bar row adds the
// measurement's name.
const int MAXIMUM_LINE = 4096;
// A laser run at 0.1 mm steps over 5 m, both ways, is 100,000 readings.
const int MAXIMUM_LINE_READINGS = 1000000;
// A gauge in 36 positions of 144 points is 5,184 points.
const int MAXIMUM_MCG_POINTS = 100000;
// Each row is a measurement of its own; a few hundred are many.
const int MAXIMUM_BALLBAR_ROWS = 10000;
// Text files are read a line at a time; their size only bounds the time spent reading.
const qint64 MAXIMUM_TEXT_FILE = qint64(256) << 20;
// An MCG text node is held whole while it is read.
const qint64 MAXIMUM_MCG_FILE = qint64(16) << 20;
// How much of a file's start tells its layout.
const qint64 HEAD_SIZE = 64 * 1024;

// The lines of a text, one at a time, without their line ends (a file written on another
// system may end them in CR LF). A line longer than MAXIMUM_LINE ends the text.
class TLineReader
{
public:
  explicit TLineReader(QIODevice* device) : d_device(device) {}

  bool Next(QByteArray* line)
  {
    if(d_too_long || d_device->atEnd())
    {
      return false;
    }
    // One buffer for every line: a long run has a million of them.
    if(d_buffer.size() < MAXIMUM_LINE + 4)
    {
      d_buffer.resize(MAXIMUM_LINE + 4);
    }
    const qint64 read = d_device->readLine(d_buffer.data(), d_buffer.size());
    if(read < 0)
    {
      return false;
    }
    ++d_number;
    int size = static_cast<int>(read);
    const bool ended = size > 0 && d_buffer.at(size - 1) == '\n';
    if(ended)
    {
      --size;
    }
    if(size > 0 && d_buffer.at(size - 1) == '\r')
    {
      --size;
    }
    if(size > MAXIMUM_LINE || (!ended && !d_device->atEnd()))
    {
      d_too_long = true;
      return false;
    }
    *line = QByteArray(d_buffer.constData(), size);
    return true;
  }

  // The 1-based number of the line read last.
  int Number() const { return d_number; }
  bool Too_Long() const { return d_too_long; }
  QString Too_Long_Reason() const
  {
    return QStringLiteral("line %1: longer than %2 characters").arg(d_number).arg(MAXIMUM_LINE);
  }

private:
  QIODevice* d_device;
  QByteArray d_buffer;
  int d_number = 0;
  bool d_too_long = false;
};

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

QString Line_Reason(int number, const QString& what)
{
  return QStringLiteral("line %1: %2").arg(number).arg(what);
}

// A Zarnik target, kept small: a long run holds a million of them next to the readings.
struct TTarget
{
  TVector3 target;
  int point = 0;
  bool forward = true;
};

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

// The layout from the start of a file.
TFileType File_Type(const QByteArray& head)
{
  const QByteArray first = First_Line(head);
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
  if(head.startsWith("<?xml") && head.contains(MCG_ROOT))
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

QString Size_Text(qint64 bytes)
{
  return QStringLiteral("%1 MiB").arg(bytes >> 20);
}

// A regular file opened for reading, never through a FIFO or device (which could block or never
// end), with what tells it from another: device and inode, and size for a comparison of bytes.
struct TOpened
{
  std::unique_ptr<QFile> file;
  dev_t device = 0;
  ino_t inode = 0;
  qint64 size = 0;
};

// The file opened, or an empty one with the reason in problem.
TOpened Open_Regular(const QString& path, QString* problem)
{
  TOpened opened;
  const QByteArray name = QFile::encodeName(path);
  struct stat status;
  if(::stat(name.constData(), &status) != 0)
  {
    *problem = errno == ENOENT ? QStringLiteral("no such file")
                               : QStringLiteral("cannot be read: %1").arg(qt_error_string(errno));
    return opened;
  }
  if(S_ISDIR(status.st_mode))
  {
    *problem = QStringLiteral("is a folder");
    return opened;
  }
  if(!S_ISREG(status.st_mode))
  {
    *problem = QStringLiteral("not a regular file (a device, FIFO or socket is not read)");
    return opened;
  }
  const int handle = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if(handle < 0)
  {
    *problem = QStringLiteral("cannot be read: %1").arg(qt_error_string(errno));
    return opened;
  }
  // Checked again on what was opened: the name may have been replaced in between.
  if(::fstat(handle, &status) != 0 || !S_ISREG(status.st_mode))
  {
    ::close(handle);
    *problem = QStringLiteral("not a regular file (a device, FIFO or socket is not read)");
    return opened;
  }
  ::fcntl(handle, F_SETFL, ::fcntl(handle, F_GETFL) & ~O_NONBLOCK);
  opened.file = std::make_unique<QFile>();
  if(!opened.file->open(handle, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
  {
    ::close(handle);
    *problem = QStringLiteral("cannot be read: %1").arg(opened.file->errorString());
    opened.file.reset();
    return opened;
  }
  opened.device = status.st_dev;
  opened.inode = status.st_ino;
  opened.size = static_cast<qint64>(status.st_size);
  return opened;
}

// Whether two files of one size hold the same bytes, read a block at a time.
bool Same_Bytes(const QString& first_path, const QString& second_path)
{
  QFile first(first_path);
  QFile second(second_path);
  if(!first.open(QIODevice::ReadOnly) || !second.open(QIODevice::ReadOnly))
  {
    return false;
  }
  const qint64 block = 64 * 1024;
  while(!first.atEnd() || !second.atEnd())
  {
    if(first.read(block) != second.read(block))
    {
      return false;
    }
  }
  return true;
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
    if(info.isDir() && !name.isEmpty())
    {
      Problem(path, QStringLiteral("is a folder; NAME=FILE takes one file"));
      return;
    }
    if(info.isDir())
    {
      Folder(path);
      return;
    }
    File(path, name, false);
  }

private:
  // A file read (or refused), by what tells it from others.
  struct TRead
  {
    QString path;
    QString file_name;
    dev_t device;
    ino_t inode;
    qint64 size;
  };

  // A laser or ISO pair read, and which of its files was given.
  struct TPairRead
  {
    TRead zarnik;
    TRead lumetra;
    bool zarnik_given;
  };

  void Problem(const QString& file, const QString& reason)
  {
    d_collection->problems.push_back(Measured::TProblem{file, reason});
  }

  void Folder(const QString& path)
  {
    const QDir directory(path);
    const std::size_t sets = d_collection->sets.size();
    const std::size_t problems = d_collection->problems.size();
    const std::size_t duplicates = d_collection->duplicates.size();
    const QStringList entries = directory.entryList(QDir::Files | QDir::Readable, QDir::Name);
    for(const QString& entry : entries)
    {
      File(directory.filePath(entry), QString(), true);
    }
    if(d_collection->sets.size() == sets && d_collection->problems.size() == problems &&
       d_collection->duplicates.size() == duplicates)
    {
      // A folder given by mistake would otherwise pass in silence.
      Problem(path, entries.isEmpty() ? QStringLiteral("the folder holds no file")
                                      : QStringLiteral("the folder holds no measured data file"));
    }
  }

  static bool Same(const TRead& read, const TOpened& opened, const QString& path)
  {
    return (read.device == opened.device && read.inode == opened.inode) ||
           (read.size == opened.size && Same_Bytes(read.path, path));
  }

  static TRead Identity(const QString& path, const TOpened& opened)
  {
    return TRead{path, QFileInfo(path).fileName(), opened.device, opened.inode, opened.size};
  }

  // Whether the file repeats one read before (the same inode, or the same bytes); a repeat is
  // noted.
  bool Repeated(const QString& path, const TOpened& opened)
  {
    for(const TRead& read : d_read)
    {
      if(Same(read, opened, path))
      {
        d_collection->duplicates.push_back(Measured::TDuplicate{QFileInfo(path).fileName(), read.file_name});
        return true;
      }
    }
    d_read.push_back(Identity(path, opened));
    return false;
  }

  // from_directory: a file of a directory listing, which may be something else entirely.
  void File(const QString& path, const QString& name, bool from_directory)
  {
    const QFileInfo info(path);
    const QString file_name = info.fileName().isEmpty() ? path : info.fileName();
    QString problem;
    TOpened opened = Open_Regular(path, &problem);
    if(!opened.file)
    {
      Problem(file_name, problem);
      return;
    }
    const TFileType type = File_Type(opened.file->peek(HEAD_SIZE));
    // Two runs along one line have the same Zarnik file: a pair repeats only as a whole.
    if(type == TFileType::ZARNIK || type == TFileType::LUMETRA)
    {
      opened.file.reset();
      Pair(info, name, from_directory);
      return;
    }
    // Only measured data count as repeats: a folder given twice holds other files twice too.
    if(type == TFileType::OTHER)
    {
      if(!from_directory || Export_File_Name(file_name))
      {
        Problem(file_name, QStringLiteral("not a measured data file"));
      }
      return;
    }
    if(Repeated(path, opened))
    {
      return;
    }
    const qint64 cap = type == TFileType::MCG ? MAXIMUM_MCG_FILE : MAXIMUM_TEXT_FILE;
    if(opened.size > cap)
    {
      Problem(file_name, QStringLiteral("too large: larger than %1, the most read from one file").arg(Size_Text(cap)));
      return;
    }
    QString error;
    if(type == TFileType::BALLBAR)
    {
      std::vector<Measured::TSet> sets;
      if(!Measured::Parse_Ballbar(opened.file.get(), &sets, &error))
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
        d_collection->sets.push_back(std::move(set));
      }
      return;
    }
    Measured::TSet set;
    if(!Measured::Parse_MCG(opened.file.get(), &set, &error))
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
    d_collection->sets.push_back(std::move(set));
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
    QString problem;
    if(base.isEmpty())
    {
      Problem(file_name, QStringLiteral("not named \"Lumetra NAME.dat\" or \"Zarnik NAME.dat\": its partner file "
                                        "cannot be found"));
      return;
    }
    const QDir directory = info.dir();
    const QString zarnik_path = directory.filePath(QStringLiteral("Zarnik %1.dat").arg(base));
    const QString lumetra_path = directory.filePath(QStringLiteral("Lumetra %1.dat").arg(base));
    const QString label = QStringLiteral("Lumetra/Zarnik %1.dat").arg(base);
    const bool zarnik_given = file_name.startsWith(QLatin1String("Zarnik "));
    const TOpened zarnik = Open_Regular(zarnik_path, &problem);
    const TOpened lumetra = Open_Regular(lumetra_path, &problem);
    if(!zarnik.file || !lumetra.file)
    {
      // In a directory the partner of a pair is met too; report the pair once.
      if(!from_directory || !d_reported_pairs.contains(base))
      {
        d_reported_pairs.insert(base);
        Problem(file_name, zarnik.file ? QStringLiteral("no Lumetra file beside it (%1)").arg(problem)
                                       : QStringLiteral("no Zarnik file beside it (%1)").arg(problem));
      }
      return;
    }
    for(const TPairRead& earlier : d_pairs)
    {
      if(Same(earlier.zarnik, zarnik, zarnik_path) && Same(earlier.lumetra, lumetra, lumetra_path))
      {
        // A directory listing meets the partner of the file that the pair was read by: no news.
        const bool partner = from_directory && earlier.zarnik_given != zarnik_given &&
                             earlier.zarnik.inode == zarnik.inode && earlier.zarnik.device == zarnik.device &&
                             earlier.lumetra.inode == lumetra.inode && earlier.lumetra.device == lumetra.device;
        if(!partner)
        {
          d_collection->duplicates.push_back(
              Measured::TDuplicate{QFileInfo(lumetra_path).fileName(), earlier.lumetra.file_name});
        }
        return;
      }
    }
    d_pairs.push_back(TPairRead{Identity(zarnik_path, zarnik), Identity(lumetra_path, lumetra), zarnik_given});
    for(const TOpened* opened : {&zarnik, &lumetra})
    {
      if(opened->size > MAXIMUM_TEXT_FILE)
      {
        Problem(label, QStringLiteral("%1 too large: larger than %2, the most read from one file")
                           .arg(opened == &zarnik ? QStringLiteral("Zarnik file") : QStringLiteral("Lumetra file"),
                                Size_Text(MAXIMUM_TEXT_FILE)));
        return;
      }
    }
    Measured::TSet set;
    QString error;
    if(!Measured::Parse_Line(zarnik.file.get(), lumetra.file.get(), &set, &error))
    {
      Problem(label, error);
      return;
    }
    set.file = label;
    set.readings_file = QFileInfo(lumetra_path).fileName();
    set.name = name.isEmpty() ? base : name;
    d_collection->sets.push_back(std::move(set));
  }

  Measured::TCollection* d_collection;
  std::vector<TRead> d_read;
  std::vector<TPairRead> d_pairs;
  QSet<QString> d_reported_pairs;
};

// The text of the element the reader is at, with that of its children, as the DOM gives it.
QString Element_Text(QXmlStreamReader* xml)
{
  return xml->readElementText(QXmlStreamReader::IncludeChildElements);
}
} // namespace

namespace Measured
{
bool Parse_Ballbar(QIODevice* device, std::vector<TSet>* sets, QString* error)
{
  TLineReader lines(device);
  QByteArray line;
  if(!lines.Next(&line) || line != BALLBAR_HEADER)
  {
    return Fail(error, lines.Too_Long() ? lines.Too_Long_Reason() : QStringLiteral("not a ball bar file"));
  }
  // The rows follow the rule of hyphens.
  bool rule = false;
  while(!rule && lines.Next(&line))
  {
    rule = line.startsWith("-----");
  }
  if(!rule)
  {
    return Fail(error, lines.Too_Long() ? lines.Too_Long_Reason()
                                        : QStringLiteral("ball bar file incomplete (no column rule)"));
  }
  std::vector<TSet> read;
  while(lines.Next(&line))
  {
    const QString text = QString::fromLatin1(line);
    if(text.trimmed().isEmpty())
    {
      continue;
    }
    if(read.size() >= static_cast<std::size_t>(MAXIMUM_BALLBAR_ROWS))
    {
      return Fail(error,
                  QStringLiteral("more than %1 rows, the most read from one ball bar file").arg(MAXIMUM_BALLBAR_ROWS));
    }
    // The name may hold commas: the numbers are the last twelve fields.
    const QStringList fields = text.split(QLatin1Char(','));
    if(fields.size() < BALLBAR_NUMBERS + 1)
    {
      return Fail(error, Line_Reason(lines.Number(), QStringLiteral("not a ball bar row")));
    }
    const int first = fields.size() - BALLBAR_NUMBERS;
    double numbers[BALLBAR_NUMBERS];
    for(int value = 0; value < BALLBAR_NUMBERS; ++value)
    {
      if(!Number(fields[first + value], &numbers[value]))
      {
        return Fail(error, Line_Reason(lines.Number(), QStringLiteral("not a ball bar row")));
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
    reading.line = lines.Number();
    set.readings.push_back(reading);
    read.push_back(std::move(set));
  }
  if(lines.Too_Long())
  {
    return Fail(error, lines.Too_Long_Reason());
  }
  if(read.empty())
  {
    return Fail(error, QStringLiteral("ball bar file without rows"));
  }
  for(TSet& set : read)
  {
    sets->push_back(std::move(set));
  }
  return true;
}

bool Parse_Ballbar(const QByteArray& text, std::vector<TSet>* sets, QString* error)
{
  QBuffer buffer;
  buffer.setData(text);
  buffer.open(QIODevice::ReadOnly);
  return Parse_Ballbar(&buffer, sets, error);
}

namespace
{
// The targets of a Zarnik file: its probe offset and the "Point:" lines of its measurement block.
bool Parse_Zarnik(TLineReader* lines, bool laser, TVector3* probe, std::vector<TTarget>* targets, QString* error)
{
  // The first of each marker counts, wherever it is; a fault is reported in the order of the
  // checks below, so the whole file is looked through first.
  bool probe_found = false;
  QString probe_text;
  enum
  {
    BEFORE,
    INSIDE,
    AFTER
  } block = BEFORE;
  bool end_first = false;
  QString target_error;
  QByteArray line;
  while(lines->Next(&line))
  {
    if(!probe_found && line.startsWith("Probe_Offset:"))
    {
      probe_found = true;
      probe_text = QString::fromLatin1(line.mid(13));
    }
    if(block == BEFORE)
    {
      if(line == "Measurement_Begin:")
      {
        block = end_first ? AFTER : INSIDE;
      }
      else if(line == "Measurement_End:")
      {
        end_first = true;
      }
      continue;
    }
    if(block == AFTER)
    {
      if(probe_found)
      {
        break;
      }
      continue;
    }
    if(line == "Measurement_End:")
    {
      block = AFTER;
      continue;
    }
    if(!line.startsWith("Point:") || !target_error.isEmpty())
    {
      continue;
    }
    if(targets->size() >= static_cast<std::size_t>(MAXIMUM_LINE_READINGS))
    {
      target_error = QStringLiteral("Zarnik file with more than %1 targets, the most read from one file")
                         .arg(MAXIMUM_LINE_READINGS);
      continue;
    }
    const QStringList fields = QString::fromLatin1(line.mid(6)).split(QLatin1Char(','));
    TTarget target;
    bool ok = fields.size() == 5;
    if(ok)
    {
      target.point = fields[0].toInt(&ok);
    }
    const QString pass = ok ? fields[1] : QString();
    ok = ok && (laser ? (pass == QLatin1String("F") || pass == QLatin1String("B"))
                      : (pass == QLatin1String("A") || pass == QLatin1String("B")));
    ok = ok && Number(fields[2], &target.target.x) && Number(fields[3], &target.target.y) &&
         Number(fields[4], &target.target.z);
    if(!ok)
    {
      target_error = QStringLiteral("Zarnik file ") + Line_Reason(lines->Number(), QStringLiteral("not a target"));
      continue;
    }
    target.forward = pass != QLatin1String("B");
    targets->push_back(target);
  }
  if(lines->Too_Long())
  {
    return Fail(error, QStringLiteral("Zarnik file ") + lines->Too_Long_Reason());
  }
  if(!probe_found || !Triple(probe_text, probe))
  {
    return Fail(error, QStringLiteral("Zarnik file without a probe offset"));
  }
  if(block == BEFORE || end_first || block == INSIDE)
  {
    return Fail(error, QStringLiteral("Zarnik file incomplete (no measurement block)"));
  }
  if(!target_error.isEmpty())
  {
    return Fail(error, target_error);
  }
  return true;
}

// The readings of a Lumetra file, each joined to its target; an ISO test keeps the B rows.
bool Parse_Lumetra(TLineReader* lines, bool iso, const std::vector<TTarget>& targets, std::vector<TReading>* readings,
                   QString* error)
{
  bool begun = false;
  bool ended = false;
  bool end_first = false;
  std::size_t count = 0;
  QString row_error;
  QByteArray line;
  while(!ended && lines->Next(&line))
  {
    if(!begun)
    {
      if(line == ":Data_Begin")
      {
        begun = !end_first;
        ended = end_first;
      }
      else if(line == ":Data_End")
      {
        end_first = true;
      }
      continue;
    }
    if(line == ":Data_End")
    {
      ended = true;
      continue;
    }
    const QString text = QString::fromLatin1(line);
    if(!row_error.isEmpty() || text.trimmed().isEmpty())
    {
      continue;
    }
    const QStringList fields = text.split(QLatin1Char(','));
    TReading reading;
    bool ok = fields.size() == LUMETRA_FIELDS;
    for(int value = 0; ok && value < 6; ++value)
    {
      ok = Number(fields[value], &reading.values[value]);
    }
    if(!ok)
    {
      row_error = QStringLiteral("Lumetra file ") + Line_Reason(lines->Number(), QStringLiteral("not a reading"));
      continue;
    }
    // Readings beyond the targets are only counted, for the message.
    if(count < targets.size())
    {
      const TTarget& target = targets[count];
      reading.line = lines->Number();
      reading.target = target.target;
      reading.forward = target.forward;
      reading.point = target.point;
      // ISO: A holds the zero reading; B the length.
      if(!iso || !target.forward)
      {
        readings->push_back(reading);
      }
    }
    ++count;
  }
  if(lines->Too_Long())
  {
    return Fail(error, QStringLiteral("Lumetra file ") + lines->Too_Long_Reason());
  }
  if(!begun || !ended)
  {
    return Fail(error, QStringLiteral("Lumetra file incomplete (no data block)"));
  }
  if(!row_error.isEmpty())
  {
    return Fail(error, row_error);
  }
  if(count != targets.size())
  {
    return Fail(error, QStringLiteral("%1 targets but %2 readings").arg(targets.size()).arg(count));
  }
  return true;
}
} // namespace

bool Parse_Line(QIODevice* zarnik, QIODevice* lumetra, TSet* set, QString* error)
{
  TLineReader zarnik_lines(zarnik);
  TLineReader lumetra_lines(lumetra);
  QByteArray zarnik_header;
  QByteArray lumetra_header;
  zarnik_lines.Next(&zarnik_header);
  lumetra_lines.Next(&lumetra_header);
  if(zarnik_lines.Too_Long() || lumetra_lines.Too_Long())
  {
    return Fail(error, zarnik_lines.Too_Long() ? QStringLiteral("Zarnik file ") + zarnik_lines.Too_Long_Reason()
                                               : QStringLiteral("Lumetra file ") + lumetra_lines.Too_Long_Reason());
  }
  const bool laser = zarnik_header == LASER_ZARNIK_HEADER;
  const bool iso = zarnik_header == ISO_ZARNIK_HEADER;
  if(!(laser && lumetra_header == LASER_LUMETRA_HEADER) && !(iso && lumetra_header == ISO_LUMETRA_HEADER))
  {
    return Fail(error, QStringLiteral("the Zarnik and Lumetra headers are not those of one laser run or ISO test"));
  }
  set->kind = laser ? TKind::LASER : TKind::ISO;
  std::vector<TTarget> targets;
  if(!Parse_Zarnik(&zarnik_lines, laser, &set->probe, &targets, error))
  {
    return false;
  }
  set->readings.clear();
  // Exactly what the readings need: a long run then never holds a grown copy besides.
  set->readings.reserve(targets.size());
  return Parse_Lumetra(&lumetra_lines, iso, targets, &set->readings, error);
}

bool Parse_Line(const QByteArray& zarnik_text, const QByteArray& lumetra_text, TSet* set, QString* error)
{
  QBuffer zarnik;
  zarnik.setData(zarnik_text);
  zarnik.open(QIODevice::ReadOnly);
  QBuffer lumetra;
  lumetra.setData(lumetra_text);
  lumetra.open(QIODevice::ReadOnly);
  return Parse_Line(&zarnik, &lumetra, set, error);
}

bool Parse_MCG(QIODevice* device, TSet* set, QString* error)
{
  QXmlStreamReader xml(device);
  xml.setNamespaceProcessing(false);
  // The first element of each name counts, as the DOM's first child; a fault is reported in
  // the order of the checks below, so the whole document is read first.
  bool root = false;
  bool probe_seen = false;
  bool pivot_seen = false;
  bool points_seen = false;
  bool offset_seen = false;
  bool location_seen = false;
  QString offset_text;
  QString location_text;
  QString point_error;
  enum
  {
    OTHER,
    PROBE,
    PIVOT,
    POINTS
  } parent = OTHER;
  int depth = 0;
  set->readings.clear();
  while(!xml.atEnd())
  {
    const QXmlStreamReader::TokenType token = xml.readNext();
    if(token == QXmlStreamReader::EndElement)
    {
      --depth;
      continue;
    }
    if(token != QXmlStreamReader::StartElement)
    {
      continue;
    }
    ++depth;
    const QStringRef name = xml.qualifiedName();
    if(depth == 1)
    {
      root = name == QLatin1String(MCG_ROOT);
      continue;
    }
    if(!root)
    {
      continue;
    }
    if(depth == 2)
    {
      parent = OTHER;
      if(!probe_seen && name == QLatin1String("Probe"))
      {
        probe_seen = true;
        parent = PROBE;
      }
      else if(!pivot_seen && name == QLatin1String("Pivot_Sphere_Initial"))
      {
        pivot_seen = true;
        parent = PIVOT;
      }
      else if(!points_seen && name == QLatin1String("Gauge_Points"))
      {
        points_seen = true;
        parent = POINTS;
      }
      continue;
    }
    if(depth != 3)
    {
      continue;
    }
    if(parent == PROBE && !offset_seen && name == QLatin1String("Probe_Offset_XYZ"))
    {
      offset_seen = true;
      offset_text = Element_Text(&xml);
      --depth;
    }
    else if(parent == PIVOT && !location_seen && name == QLatin1String("Location_XYZ"))
    {
      location_seen = true;
      location_text = Element_Text(&xml);
      --depth;
    }
    else if(parent == POINTS && name == QLatin1String("Point_XYZ"))
    {
      TReading reading;
      reading.line = static_cast<int>(xml.lineNumber());
      const QString text = Element_Text(&xml);
      --depth;
      if(!point_error.isEmpty())
      {
        continue;
      }
      if(set->readings.size() >= static_cast<std::size_t>(MAXIMUM_MCG_POINTS))
      {
        point_error = QStringLiteral("MCG file with more than %1 gauge points, the most read from one file")
                          .arg(MAXIMUM_MCG_POINTS);
      }
      else if(!Triple(text, &reading.target))
      {
        point_error = QStringLiteral("MCG file with an unreadable gauge point");
      }
      else
      {
        set->readings.push_back(reading);
      }
    }
  }
  if(xml.hasError())
  {
    return Fail(error, QStringLiteral("XML error at line %1: %2").arg(xml.lineNumber()).arg(xml.errorString()));
  }
  if(!root)
  {
    return Fail(error, QStringLiteral("not an MCG file"));
  }
  set->kind = TKind::MCG;
  if(!probe_seen || !pivot_seen)
  {
    return Fail(error, QStringLiteral("MCG file without probe or pivot sphere"));
  }
  if(!Triple(offset_text, &set->probe) || !Triple(location_text, &set->pivot))
  {
    return Fail(error, QStringLiteral("MCG file with an unreadable probe offset or pivot location"));
  }
  if(!point_error.isEmpty())
  {
    return Fail(error, point_error);
  }
  if(set->readings.empty())
  {
    return Fail(error, QStringLiteral("MCG file without gauge points"));
  }
  return true;
}

bool Parse_MCG(const QByteArray& text, TSet* set, QString* error)
{
  QBuffer buffer;
  buffer.setData(text);
  buffer.open(QIODevice::ReadOnly);
  return Parse_MCG(&buffer, set, error);
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
