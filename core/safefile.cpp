#include "core/safefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>

#include <sys/stat.h>
#include <unistd.h>

// Hands every write to TSafeFile::Write, which notices a short write; QSaveFile itself lets a
// stream lose the rest of a partly written block without an error.
class TSafeFile::TDevice : public QIODevice
{
public:
  explicit TDevice(TSafeFile* owner) : d_owner(owner) {}

protected:
  qint64 readData(char*, qint64) override { return -1; }
  qint64 writeData(const char* data, qint64 size) override
  {
    return d_owner->Write(QByteArray::fromRawData(data, static_cast<int>(size))) ? size : -1;
  }

private:
  TSafeFile* d_owner;
};

TSafeFile::TSafeFile(const QString& file_name) : d_file(file_name), d_device(new TDevice(this)) {}

TSafeFile::~TSafeFile()
{
  Cancel();
}

bool TSafeFile::Fail(const QString& reason)
{
  if(!d_failed)
  {
    // The first failure is the cause; later ones only follow from it.
    d_error = reason.isEmpty() ? qt_error_string(EIO) : reason;
    d_failed = true;
  }
  Cancel();
  return false;
}

bool TSafeFile::Open()
{
  const QString problem = SafeFile::Target_Problem(d_file.fileName());
  if(!problem.isEmpty())
  {
    return Fail(problem);
  }
  // Text mode changes nothing on this platform; the bytes are written as given.
  if(!d_file.open(QIODevice::WriteOnly))
  {
    return Fail(d_file.errorString());
  }
  d_device->open(QIODevice::WriteOnly | QIODevice::Unbuffered);
  return true;
}

bool TSafeFile::Write(const QByteArray& bytes)
{
  if(d_failed || !d_file.isOpen())
  {
    return Fail(d_file.errorString());
  }
  if(d_file.write(bytes) != bytes.size() || d_file.error() != QFileDevice::NoError)
  {
    return Fail(Write_Failure_Reason());
  }
  return true;
}

bool TSafeFile::Flush()
{
  if(d_failed || !d_file.isOpen())
  {
    return Fail(d_file.errorString());
  }
  // QSaveFile::commit() forgets an error of its last flush and a failing sync, and then
  // moves a short file into place: both are checked here first.
  if(!d_file.flush() || d_file.error() != QFileDevice::NoError)
  {
    return Fail(Write_Failure_Reason());
  }
  // Network and some local file systems report a full disk only here.
  if(::fsync(d_file.handle()) != 0 && errno != EINVAL && errno != EROFS)
  {
    return Fail(qt_error_string(errno));
  }
  return true;
}

bool TSafeFile::Commit()
{
  if(!Flush())
  {
    return false;
  }
  if(!d_file.commit())
  {
    return Fail(d_file.errorString());
  }
  return true;
}

QString TSafeFile::Write_Failure_Reason()
{
  // After a short write QFile has no reason to give ("Unknown error"). One more byte at the
  // end of the temporary file, which is discarded anyway, fails again with the system's.
  if(d_file.handle() >= 0)
  {
    const char byte = '\0';
    if(::write(d_file.handle(), &byte, 1) < 0)
    {
      return qt_error_string(errno);
    }
  }
  return d_file.errorString();
}

void TSafeFile::Cancel()
{
  if(d_file.isOpen())
  {
    d_file.cancelWriting();
    // Closing without commit removes the temporary file now rather than at destruction.
    d_file.commit();
  }
}

namespace SafeFile
{
namespace
{
QString Kind_Problem(mode_t mode)
{
  if(S_ISREG(mode))
  {
    return QString();
  }
  if(S_ISLNK(mode))
  {
    return QStringLiteral("Is a symbolic link");
  }
  if(S_ISDIR(mode))
  {
    return qt_error_string(EISDIR);
  }
  return QStringLiteral("Not a regular file");
}
} // namespace

QString Target_Problem(const QString& file_name)
{
  struct stat status;
  if(::lstat(QFile::encodeName(file_name).constData(), &status) != 0)
  {
    // A target that does not exist yet is the usual case; any other reason shows at open.
    return QString();
  }
  return Kind_Problem(status.st_mode);
}

QString Source_Problem(const QString& file_name)
{
  struct stat status;
  if(::stat(QFile::encodeName(file_name).constData(), &status) != 0)
  {
    return qt_error_string(errno);
  }
  return Kind_Problem(status.st_mode);
}

bool Write_File(const QString& file_name, const QByteArray& bytes, QString* error)
{
  TSafeFile file(file_name);
  if(file.Open() && file.Write(bytes) && file.Commit())
  {
    return true;
  }
  if(error)
  {
    *error = file.Error_String();
  }
  return false;
}

void Ignore_File_Size_Signal()
{
  std::signal(SIGXFSZ, SIG_IGN);
}
bool Same_File(const QString& first, const QString& second)
{
  const QFileInfo first_info(first);
  const QFileInfo second_info(second);
  if(QDir::cleanPath(first_info.absoluteFilePath()) == QDir::cleanPath(second_info.absoluteFilePath()))
  {
    return true;
  }
  // A folder given in another spelling (through a linked folder) names the same file, also one
  // that does not exist yet; a name whose folder does not exist is no other name of anything.
  const auto resolved = [](const QFileInfo& info)
  {
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return folder.isEmpty() ? QString() : QDir(folder).filePath(info.fileName());
  };
  const QString first_resolved = resolved(first_info);
  if(!first_resolved.isEmpty() && first_resolved == resolved(second_info))
  {
    return true;
  }
  // Followed through links: a link to a file, or another name of its inode, is that file.
  struct stat first_status;
  struct stat second_status;
  return ::stat(QFile::encodeName(first).constData(), &first_status) == 0 &&
         ::stat(QFile::encodeName(second).constData(), &second_status) == 0 &&
         first_status.st_dev == second_status.st_dev && first_status.st_ino == second_status.st_ino;
}
} // namespace SafeFile
