#ifndef SAFEFILE_H
#define SAFEFILE_H

#include <QByteArray>
#include <QSaveFile>
#include <QString>

#include <memory>

// A file written whole or not at all. The bytes go to a temporary file beside the target,
// which replaces the target only when every write, the flush and the sync succeeded; on any
// failure the old file stays as it was and Error_String() holds the system's reason ("No
// space left on device", "File too large"). An existing target that is a symbolic link or
// not a regular file is refused: a link would be followed out of the chosen place, and a
// device node or FIFO would be replaced by a regular file.
//
//   TSafeFile file(name);
//   if(!file.Open() || !file.Write(bytes) || !file.Commit())
//     report(file.Error_String());
class TSafeFile
{
public:
  explicit TSafeFile(const QString& file_name);
  // Discards what an uncommitted file holds; the target is left alone.
  ~TSafeFile();

  TSafeFile(const TSafeFile&) = delete;
  TSafeFile& operator=(const TSafeFile&) = delete;

  QString File_Name() const { return d_file.fileName(); }

  // Checks the target and opens the temporary file; false with Error_String() when the
  // target may not or cannot be written.
  bool Open();

  // Appends bytes; false when they could not all be written (the file is then cancelled and
  // every later call fails).
  bool Write(const QByteArray& bytes);

  // A device for writers that stream (QTextStream): every write into it goes through Write,
  // so a failure is kept for Commit(). Flush the stream before Commit().
  QIODevice* Device() { return d_device.get(); }

  // Flushes and syncs to disk without replacing the target yet, so that files that belong
  // together can all be checked before any of them is replaced; false on any failure.
  bool Flush();

  // Flush(), then replaces the target; false (old file kept) on any failure.
  bool Commit();

  // Abandons the write; the target stays as it was.
  void Cancel();

  // Why the last call failed: the system's reason, or "Is a symbolic link", "Not a regular
  // file", "Is a directory". Empty while nothing failed.
  QString Error_String() const { return d_error; }

private:
  class TDevice;

  bool Fail(const QString& reason);
  QString Write_Failure_Reason();

  QSaveFile d_file;
  std::unique_ptr<QIODevice> d_device;
  QString d_error;
  bool d_failed = false;
};

namespace SafeFile
{
// Why an existing file_name may not be replaced by a written file ("Is a symbolic link",
// "Is a directory", "Not a regular file"); empty when it does not exist or is a regular file.
QString Target_Problem(const QString& file_name);

// Why file_name may not be read as a document: empty for a regular file (a link to one is
// followed), otherwise "Not a regular file", "Is a directory" or the system's reason (for
// example "No such file or directory"). A FIFO or device is never opened, so reading cannot
// block on one.
QString Source_Problem(const QString& file_name);

// Whether the two names are one file: the same path, the same path through linked folders or a
// link, or two hard links of one file (also for a name that does not exist yet).
bool Same_File(const QString& first, const QString& second);
// Writes bytes into file_name through TSafeFile; false with the reason in error (may be null).
bool Write_File(const QString& file_name, const QByteArray& bytes, QString* error);

// A process over its file-size limit (ulimit -f) is killed by SIGXFSZ in the middle of a
// write; ignored, the write fails with "File too large" and is reported like a full disk.
// Called once at the start of each program.
void Ignore_File_Size_Signal();
} // namespace SafeFile

#endif
