// The collection of measured data files from the paths and directories given: each file opened
// once, told by its first bytes, parsed by the readers of measuredfile.cpp.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <cerrno>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "src/model/measuredfile.h"
#include "src/model/measuredfile_type.h"

namespace
{
using Measured::File_Type;
using Measured::TFileType;

// Text files are read a line at a time; their size only bounds the time spent reading.
const qint64 MAXIMUM_TEXT_FILE = qint64(256) << 20;
// An MCG text node is held whole while it is read.
const qint64 MAXIMUM_MCG_FILE = qint64(16) << 20;
// How much of a file's start tells its layout.
const qint64 HEAD_SIZE = 64 * 1024;

// The name that the export put into a file name with its pattern ("Lumetra %1.dat").
QString Name_From_File(const QString& file_name, const QString& prefix, const QString& suffix)
{
  if(file_name.startsWith(prefix) && file_name.endsWith(suffix) && file_name.size() > prefix.size() + suffix.size())
  {
    return file_name.mid(prefix.size(), file_name.size() - prefix.size() - suffix.size());
  }
  return QString();
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

// NAME=FILE into its name and path, unless the whole argument is an existing path.
void Split_Argument(const QString& argument, QString* name, QString* path)
{
  *path = argument;
  const int equals = argument.indexOf(QLatin1Char('='));
  if(!QFileInfo::exists(argument) && equals > 0)
  {
    *name = argument.left(equals);
    *path = argument.mid(equals + 1);
  }
}

// The other file of a laser or ISO pair by its name, or an empty text.
QString Partner(const QFileInfo& info)
{
  const QString file_name = info.fileName();
  QString base = Name_From_File(file_name, QStringLiteral("Lumetra "), QStringLiteral(".dat"));
  if(!base.isEmpty())
  {
    return info.dir().filePath(QStringLiteral("Zarnik %1.dat").arg(base));
  }
  base = Name_From_File(file_name, QStringLiteral("Zarnik "), QStringLiteral(".dat"));
  return base.isEmpty() ? QString() : info.dir().filePath(QStringLiteral("Lumetra %1.dat").arg(base));
}

class TReader
{
public:
  explicit TReader(Measured::TCollection* collection) : d_collection(collection) {}

  void Path(const QString& argument)
  {
    QString name;
    QString path;
    Split_Argument(argument, &name, &path);
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
} // namespace

namespace Measured
{
QStringList Input_Files(const QStringList& paths)
{
  QStringList files;
  for(const QString& argument : paths)
  {
    QString name;
    QString path;
    Split_Argument(argument, &name, &path);
    const QFileInfo info(path);
    if(info.isDir())
    {
      const QDir directory(path);
      for(const QString& entry :
          directory.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name))
      {
        files.push_back(directory.filePath(entry));
      }
      continue;
    }
    files.push_back(path);
    const QString partner = Partner(info);
    if(!partner.isEmpty())
    {
      files.push_back(partner);
    }
  }
  return files;
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