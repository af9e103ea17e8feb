#include <QtTest>

#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/safefile.h"
#include "tests/test_support.h"

namespace
{
using Test_Support::Read;
using Test_Support::Write;
const QByteArray OLD_CONTENTS = "old contents\n";

// Lowers the file-size limit for its lifetime; writes past it fail with EFBIG.
class TFileSizeLimit
{
public:
  explicit TFileSizeLimit(rlim_t bytes)
  {
    SafeFile::Ignore_File_Size_Signal();
    getrlimit(RLIMIT_FSIZE, &d_old);
    rlimit limit = d_old;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~TFileSizeLimit() { setrlimit(RLIMIT_FSIZE, &d_old); }
  TFileSizeLimit(const TFileSizeLimit&) = delete;
  TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

private:
  rlimit d_old = {};
};

// The ways a writer hands its bytes over: one Write, a stream into Device(), or a text small
// enough to sit in the device's buffer until the final flush.
bool Write_Through(const QString& how, const QString& path, const QByteArray& bytes, QString* error)
{
  TSafeFile file(path);
  bool written = file.Open();
  if(written && how == QLatin1String("stream"))
  {
    QTextStream stream(file.Device());
    for(const QByteArray& line : bytes.split('\n'))
    {
      stream << QString::fromLatin1(line) << '\n';
    }
    stream.flush();
  }
  else if(written)
  {
    written = file.Write(bytes);
  }
  written = written && file.Commit();
  *error = file.Error_String();
  return written;
}
} // namespace

class TTestSafeFile : public QObject
{
  Q_OBJECT

private slots:
  void Replaces_Regular_File()
  {
    QTemporaryDir tmp;
    const QString path = QDir(tmp.path()).filePath(QStringLiteral("report.txt"));
    QVERIFY(Write(path, OLD_CONTENTS));
    QString error;
    QVERIFY(SafeFile::Write_File(path, "new\n", &error));
    QCOMPARE(Read(path), QByteArray("new\n"));
    QVERIFY(error.isEmpty());
  }

  // Over the file-size limit the write fails with the system's reason and the old file stays
  // whole, including when the failure only shows in the last flush.
  void Failed_Write_Keeps_Old_File_data()
  {
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("size");
    QTest::newRow("one write") << "write" << 100000;
    QTest::newRow("stream") << "stream" << 100000;
    QTest::newRow("buffered until commit") << "write" << 200;
  }

  void Failed_Write_Keeps_Old_File()
  {
    QFETCH(QString, how);
    QFETCH(int, size);
    QTemporaryDir tmp;
    const QString path = QDir(tmp.path()).filePath(QStringLiteral("report.txt"));
    QVERIFY(Write(path, OLD_CONTENTS));
    QByteArray bytes(size, 'x');
    for(int index = 79; index < size; index += 80)
    {
      bytes[index] = '\n';
    }
    QString error;
    bool written = true;
    {
      const TFileSizeLimit limit(100);
      written = Write_Through(how, path, bytes, &error);
    }
    QVERIFY(!written);
    QCOMPARE(error, QStringLiteral("File too large"));
    QCOMPARE(Read(path), OLD_CONTENTS);
    QCOMPARE(QDir(tmp.path()).entryList(QDir::Files), QStringList{QStringLiteral("report.txt")});
  }

  // A full file system names its reason; needs the right to mount a small tmpfs.
  void Full_Disk()
  {
    QTemporaryDir tmp;
    const QByteArray mount_point = QFile::encodeName(tmp.path());
    if(::mount("tmpfs", mount_point.constData(), "tmpfs", 0, "size=64k") != 0)
    {
      QSKIP("cannot mount a tmpfs here");
    }
    const QString path = QDir(tmp.path()).filePath(QStringLiteral("report.txt"));
    const bool old_written = Write(path, OLD_CONTENTS);
    QString error;
    const bool written = SafeFile::Write_File(path, QByteArray(256 * 1024, 'x'), &error);
    const QByteArray contents = Read(path);
    const QStringList files = QDir(tmp.path()).entryList(QDir::Files);
    ::umount(mount_point.constData());
    QVERIFY(old_written);
    QVERIFY(!written);
    QCOMPARE(error, QStringLiteral("No space left on device"));
    QCOMPARE(contents, OLD_CONTENTS);
    QCOMPARE(files, QStringList{QStringLiteral("report.txt")});
  }

  // A link is never followed, and a FIFO, device or directory is never replaced.
  void Refuses_Links_And_Special_Files_data()
  {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("link to a file elsewhere") << "link"
                                              << "Is a symbolic link";
    QTest::newRow("dangling link") << "dangling"
                                   << "Is a symbolic link";
    QTest::newRow("fifo") << "fifo"
                          << "Not a regular file";
    QTest::newRow("directory") << "directory"
                               << "Is a directory";
  }

  void Refuses_Links_And_Special_Files()
  {
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QTemporaryDir tmp;
    const QDir dir(tmp.path());
    QVERIFY(dir.mkdir(QStringLiteral("chosen")));
    const QString outside = dir.filePath(QStringLiteral("outside.txt"));
    QVERIFY(Write(outside, OLD_CONTENTS));
    const QString target = dir.filePath(QStringLiteral("chosen/report.txt"));
    const QByteArray target_name = QFile::encodeName(target);
    if(kind == QLatin1String("link"))
    {
      QVERIFY(QFile::link(outside, target));
    }
    else if(kind == QLatin1String("dangling"))
    {
      QVERIFY(QFile::link(dir.filePath(QStringLiteral("nothing.txt")), target));
    }
    else if(kind == QLatin1String("fifo"))
    {
      QCOMPARE(::mkfifo(target_name.constData(), 0600), 0);
    }
    else
    {
      QVERIFY(dir.mkdir(QStringLiteral("chosen/report.txt")));
    }
    struct stat before;
    QCOMPARE(::lstat(target_name.constData(), &before), 0);

    QString error;
    QVERIFY(!SafeFile::Write_File(target, "new\n", &error));
    QCOMPARE(error, reason);
    QCOMPARE(Read(outside), OLD_CONTENTS);
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("nothing.txt"))));
    struct stat after;
    QCOMPARE(::lstat(target_name.constData(), &after), 0);
    QCOMPARE(after.st_mode, before.st_mode);
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(QDir(dir.filePath(QStringLiteral("chosen"))).entryList(QDir::Files | QDir::NoDotAndDotDot | QDir::System),
             kind == QLatin1String("directory") ? QStringList() : QStringList{QStringLiteral("report.txt")});
  }

  // Reading follows a link to a regular file but never opens a FIFO, which would block.
  void Source_Problem()
  {
    QTemporaryDir tmp;
    const QDir dir(tmp.path());
    const QString file = dir.filePath(QStringLiteral("machines.xml"));
    const QString link = dir.filePath(QStringLiteral("link.xml"));
    const QString fifo = dir.filePath(QStringLiteral("fifo.xml"));
    QVERIFY(Write(file, OLD_CONTENTS));
    QVERIFY(QFile::link(file, link));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QCOMPARE(SafeFile::Source_Problem(file), QString());
    QCOMPARE(SafeFile::Source_Problem(link), QString());
    QCOMPARE(SafeFile::Source_Problem(fifo), QStringLiteral("Not a regular file"));
    QCOMPARE(SafeFile::Source_Problem(tmp.path()), QStringLiteral("Is a directory"));
    QCOMPARE(SafeFile::Source_Problem(dir.filePath(QStringLiteral("missing.xml"))),
             QStringLiteral("No such file or directory"));
  }
};

QTEST_APPLESS_MAIN(TTestSafeFile)
#include "test_safefile.moc"
