// The readers of measured data files: which line each reading came from, what they refuse and
// why (caps, files that are not regular, folders), and files given more than once.

#include <QtTest>

#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include "src/model/measuredfile.h"
#include "tests/test_support.h"

namespace
{
const QString Exported = QStringLiteral(VARLUME_TEST_DATA "/export/expected/bridge");

using Test_Support::Read;
using Test_Support::Write;

// The exported file name into folder, under its own name or another.
QString Copy(const QString& folder, const QString& name, const QString& as = QString())
{
  const QString target = QDir(folder).filePath(as.isEmpty() ? name : as);
  QFile::copy(QDir(Exported).filePath(name), target);
  return target;
}

QString Problems(const Measured::TCollection& collection)
{
  QStringList lines;
  for(const Measured::TProblem& problem : collection.problems)
  {
    lines << problem.file + QStringLiteral(": ") + problem.reason;
  }
  return lines.join(QLatin1Char('\n'));
}
} // namespace

class TTestMeasuredFile : public QObject
{
  Q_OBJECT

private slots:
  // Each reading keeps the 1-based line of the file that holds it.
  void Reading_Lines()
  {
    QTemporaryDir folder;
    Copy(folder.path(), "Zarnik Laser X.dat");
    Copy(folder.path(), "Lumetra Laser X.dat");
    Copy(folder.path(), "Ballbar Measurements.dat");
    Copy(folder.path(), "MCG MCG Centre.xml");
    const Measured::TCollection read = Measured::Read({folder.path()});
    QVERIFY2(read.problems.empty(), qPrintable(Problems(read)));
    QCOMPARE(read.sets.size(), std::size_t(5));
    for(const Measured::TSet& set : read.sets)
    {
      const QStringList lines = QString::fromLatin1(Read(QDir(folder.path()).filePath(set.readings_file))).split('\n');
      for(const Measured::TReading& reading : set.readings)
      {
        const QString line = lines.value(reading.line - 1);
        const bool holds = set.kind == Measured::TKind::BALLBAR ? line.startsWith(set.name + ',')
                           : set.kind == Measured::TKind::MCG   ? line.contains("<Point_XYZ>")
                                                                : line.count(',') == 7;
        QVERIFY2(holds,
                 qPrintable(QStringLiteral("%1 line %2: %3").arg(set.readings_file).arg(reading.line).arg(line)));
      }
    }
    QCOMPARE(read.sets[3].kind, Measured::TKind::LASER);
    QCOMPARE(read.sets[3].readings_file, QStringLiteral("Lumetra Laser X.dat"));
  }

  // Files that are not read, each named with the reason.
  void Refusals_data()
  {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("long line") << "long line"
                               << "Lumetra/Zarnik Laser X.dat: Lumetra file line 8: longer than 4096";
    QTest::newRow("many points") << "many points"
                                 << "MCG MCG Centre.xml: MCG file with more than 100000 gauge points";
    QTest::newRow("many rows") << "many rows"
                               << "Ballbar Measurements.dat: more than 10000 rows";
    QTest::newRow("too large") << "too large"
                               << "Ballbar Measurements.dat: too large: larger than 256 MiB";
    QTest::newRow("FIFO") << "FIFO"
                          << "Ballbar Measurements.dat: not a regular file";
    QTest::newRow("link to a device") << "device"
                                      << "Ballbar Measurements.dat: not a regular file";
    QTest::newRow("folder as NAME=FILE") << "named folder"
                                         << ": is a folder; NAME=FILE takes one file";
    QTest::newRow("empty folder") << "empty folder"
                                  << ": the folder holds no file";
    QTest::newRow("folder of folders") << "folder of folders"
                                       << ": the folder holds no file";
  }

  void Refusals()
  {
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QTemporaryDir folder;
    const QDir files(folder.path());
    QString given = files.filePath("Ballbar Measurements.dat");
    if(kind == "long line")
    {
      Copy(folder.path(), "Zarnik Laser X.dat");
      QByteArray lumetra = Read(QDir(Exported).filePath("Lumetra Laser X.dat"));
      lumetra.insert(lumetra.indexOf(":Data_Begin\n") + 12, QByteArray(5000, ' ') + "\n");
      QVERIFY(Write(files.filePath("Lumetra Laser X.dat"), lumetra));
      given = files.filePath("Lumetra Laser X.dat");
    }
    else if(kind == "many points")
    {
      QByteArray mcg = Read(QDir(Exported).filePath("MCG MCG Centre.xml"));
      const QByteArray point = "<Point_XYZ>1,2,3</Point_XYZ>\n";
      mcg.insert(mcg.indexOf("<Point_XYZ>"), point.repeated(100001));
      given = files.filePath("MCG MCG Centre.xml");
      QVERIFY(Write(given, mcg));
    }
    else if(kind == "many rows" || kind == "too large")
    {
      QByteArray ballbar = Read(QDir(Exported).filePath("Ballbar Measurements.dat"));
      const int row = ballbar.indexOf("Ballbar Diagonal,");
      const QByteArray line = ballbar.mid(row, ballbar.indexOf('\n', row) + 1 - row);
      QVERIFY(Write(given, kind == "many rows" ? ballbar + line.repeated(10001) : ballbar));
      if(kind == "too large")
      {
        // Sparse: no disk space is taken.
        QVERIFY(QFile::resize(given, (qint64(256) << 20) + 1));
      }
    }
    else if(kind == "FIFO")
    {
      QCOMPARE(::mkfifo(QFile::encodeName(given).constData(), 0600), 0);
    }
    else if(kind == "device")
    {
      QVERIFY(QFile::link("/dev/zero", given));
    }
    else if(kind == "named folder")
    {
      QVERIFY(files.mkdir("out"));
      given = "Bar=" + files.filePath("out");
    }
    else if(kind == "empty folder" || kind == "folder of folders")
    {
      QVERIFY(kind == "empty folder" || files.mkdir("inner"));
      given = folder.path();
    }
    const Measured::TCollection read = Measured::Read({given});
    QVERIFY(read.sets.empty());
    QVERIFY2(Problems(read).contains(reason), qPrintable(Problems(read)));
  }

  // A file given again, under another path, as a hard link or as a copy is read once and noted.
  void Repeats_data()
  {
    Test_Support::Add_Rows<QString, QString, QString>(
        {"kind", "file", "same_as"},
        {{"same path", "same path", "Ballbar Measurements.dat", "Ballbar Measurements.dat"},
         {"hard link", "hard link", "again.dat", "Ballbar Measurements.dat"},
         {"copy", "copy", "again.dat", "Ballbar Measurements.dat"},
         {"pair copy", "pair copy", "Lumetra Again.dat", "Lumetra Laser X.dat"},
         {"pair by both files", "pair by both files", "Lumetra Laser X.dat", "Lumetra Laser X.dat"}});
  }

  void Repeats()
  {
    QFETCH(QString, kind);
    QFETCH(QString, file);
    QFETCH(QString, same_as);
    QTemporaryDir folder;
    const QDir files(folder.path());
    QStringList given;
    std::size_t sets = 3;
    if(kind.startsWith("pair"))
    {
      Copy(folder.path(), "Zarnik Laser X.dat");
      given << Copy(folder.path(), "Lumetra Laser X.dat");
      if(kind == "pair copy")
      {
        Copy(folder.path(), "Zarnik Laser X.dat", "Zarnik Again.dat");
        given << Copy(folder.path(), "Lumetra Laser X.dat", "Lumetra Again.dat");
      }
      else
      {
        given << files.filePath("Zarnik Laser X.dat");
      }
      sets = 1;
    }
    else
    {
      given << Copy(folder.path(), "Ballbar Measurements.dat");
      if(kind == "same path")
      {
        given << files.filePath("./Ballbar Measurements.dat");
      }
      else if(kind == "hard link")
      {
        QCOMPARE(::link(QFile::encodeName(given.front()).constData(),
                        QFile::encodeName(files.filePath("again.dat")).constData()),
                 0);
        given << files.filePath("again.dat");
      }
      else
      {
        given << Copy(folder.path(), "Ballbar Measurements.dat", "again.dat");
      }
    }
    const Measured::TCollection read = Measured::Read(given);
    QVERIFY2(read.problems.empty(), qPrintable(Problems(read)));
    QCOMPARE(read.sets.size(), sets);
    QCOMPARE(read.duplicates.size(), std::size_t(1));
    QCOMPARE(read.duplicates.front().file, file);
    QCOMPARE(read.duplicates.front().same_as, same_as);

    // A folder holding a pair reads it once, without a note.
    if(kind == "pair by both files")
    {
      const Measured::TCollection listed = Measured::Read({folder.path()});
      QCOMPARE(listed.sets.size(), std::size_t(1));
      QVERIFY(listed.duplicates.empty());
    }
  }
};

QTEST_GUILESS_MAIN(TTestMeasuredFile)
#include "test_measuredfile.moc"
