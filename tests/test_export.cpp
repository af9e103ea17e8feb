#include <QtTest>

#include <QDirIterator>
#include <QDomDocument>
#include <QProcess>
#include <QTemporaryDir>

#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <vector>

#include "core/safefile.h"
#include "core/xmlfile.h"
#include "src/model/export.h"
#include "src/model/machinelibrary.h"
#include "src/model/measurementlibrary.h"
#include "src/model/simulation.h"
#include "tests/export_cases.h"
#include "tests/test_support.h"

Q_DECLARE_METATYPE(TVector3)

namespace
{
using Test_Support::Read;
using Test_Support::Row;
using Test_Support::Write;
using TItem = TMeasurement::TMeasurementItem;

// A machine without errors, 0 .. 1000 on every axis.
TMachineComp Perfect_Machine()
{
  Simulation::TMachineRecord record;
  record.axis_end = TVector3(1000, 1000, 1000);
  TMachineComp machine;
  if(!Simulation::Setup_Machine_Comp(record, &machine, nullptr))
  {
    qFatal("test machine not set up");
  }
  return machine;
}

template <typename TKind> std::unique_ptr<TMeasurement> Measurement(const QString& name, std::vector<TItem> items = {})
{
  auto measurement = std::make_unique<TKind>();
  measurement->d_name = name;
  measurement->d_measurement_items = std::move(items);
  return measurement;
}

// A line measurement from the first three to the last three expressions (a laser run in steps of
// increment), evaluated and simulated on machine; nullptr when that fails.
template <typename TKind>
std::unique_ptr<TKind> Simulated_Line(const TMachineComp& machine, const QString& name, const QStringList& ends,
                                      const QString& increment = QString())
{
  auto line = std::make_unique<TKind>();
  line->d_name = name;
  line->d_start_x_expression = ends[0], line->d_start_y_expression = ends[1], line->d_start_z_expression = ends[2];
  line->d_end_x_expression = ends[3], line->d_end_y_expression = ends[4], line->d_end_z_expression = ends[5];
  if constexpr(std::is_same_v<TKind, TMeasurement_Laser>)
  {
    line->d_increment_expression = increment;
  }
  std::vector<TMeasurement*> list = {line.get()};
  const bool simulated = Simulation::Evaluate_Measurement_Expressions(&machine, &list, nullptr) &&
                         Simulation::Update_Measurement_Items(&machine, &list);
  return simulated ? std::move(line) : nullptr;
}

QStringList Lines(const QString& text)
{
  QStringList lines = text.split(QLatin1Char('\n'));
  if(lines.back().isEmpty())
  {
    lines.removeLast();
  }
  return lines;
}

QStringList Lines_Starting(const QString& text, const QString& prefix)
{
  return Lines(text).filter(QRegularExpression(QLatin1Char('^') + QRegularExpression::escape(prefix)));
}

// Every file below root, as paths relative to it.
QStringList All_Files(const QString& root)
{
  QStringList files;
  QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
  while(it.hasNext())
  {
    files.push_back(QDir(root).relativeFilePath(it.next()));
  }
  files.sort();
  return files;
}

const QString ZERO_READING =
    QStringLiteral("       0.00000,   0.00000,   0.00000,   0.00000,   0.00000,   0.00000,  20.00, 20.00");
} // namespace

class TTestExport : public QObject
{
  Q_OBJECT

private:
  Test_Support::TTemporaryHome d_home;

private slots:
  // The libraries are read from the fixture, but nothing may touch a real home.
  void initTestCase() { QVERIFY(d_home.Set_Up()); }

  // The fixture libraries exported on machines of three kinematics, against files reviewed line
  // by line. VARLUME_REGENERATE_EXPECTED=1 rewrites them.
  void Stored_Files_data() { Export_Cases::Add_Rows(); }

  void Stored_Files()
  {
    QFETCH(QString, machine);
    QFETCH(QString, directory);
    Export_Cases::TLibraries libraries;
    QVERIFY(libraries.Load());
    TMachineComp model;
    QVERIFY(Simulation::Update_Machine_Comp(libraries.machines, machine, &model, nullptr));
    std::vector<TMeasurement*> list = libraries.measurements.Measurements(Export_Cases::All_Measurements());
    QCOMPARE(int(list.size()), Export_Cases::All_Measurements().size());

    QTemporaryDir out;
    Export::TResult result;
    QCOMPARE(Export::Export_Measurements(&model, &list, out.path(), &result), Export::TStatus::WRITTEN);
    QCOMPARE(result.failures, QStringList());
    QCOMPARE(All_Files(out.path()).size(), result.files.size());
    // The ball bar file comes first, then the files of each measurement in list order.
    QCOMPARE(QFileInfo(result.files.front()).fileName(), QString("Ballbar Measurements.dat"));
    QCOMPARE(QFileInfo(result.files.back()).fileName(), QString("Zarnik .._.._x.dat"));

    const QString expected = Export_Cases::Expected_Directory(directory);
    if(qEnvironmentVariableIsSet("VARLUME_REGENERATE_EXPECTED"))
    {
      QDir(expected).removeRecursively();
      QVERIFY(QDir().mkpath(expected));
      for(const QString& file : All_Files(out.path()))
      {
        QVERIFY(QFile::copy(QDir(out.path()).filePath(file), QDir(expected).filePath(file)));
      }
      QSKIP("expectations written; review them before committing");
    }
    QCOMPARE(All_Files(out.path()), All_Files(expected));
    for(const QString& file : All_Files(expected))
    {
      QVERIFY2(Read(QDir(out.path()).filePath(file)) == Read(QDir(expected).filePath(file)), qPrintable(file));
    }
  }

  void Safe_File_Name_data()
  {
    Test_Support::Add_Text_Rows("name", "safe",
                                {{"plain", "Laser X", "Laser X"},
                                 {"parent path", "../../x", ".._.._x"},
                                 {"absolute", "/etc/passwd", "_etc_passwd"},
                                 {"backslash", "a\\b", "a_b"},
                                 {"dot", ".", "_"},
                                 {"dot dot", "..", "__"},
                                 {"three dots", "...", "..."},
                                 {"leading dot", ".hidden", ".hidden"},
                                 {"tab and line feed", "a\tb\nc", "a_b_c"},
                                 {"nul", QString(QChar(0)) + "x", "_x"},
                                 {"delete and C1", QString("a") + QChar(0x7f) + QChar(0x85), "a__"},
                                 {"beyond ASCII", QString::fromUtf8("Prüfung Ω"), QString::fromUtf8("Prüfung Ω")}});
  }

  void Safe_File_Name()
  {
    QFETCH(QString, name);
    QFETCH(QString, safe);
    QCOMPARE(Export::Safe_File_Name(name), safe);
  }

  // Hostile names neither leave the chosen directory nor create one below it; inside the files
  // they stay as they are.
  void Hostile_Names_Stay_Inside()
  {
    QTemporaryDir root;
    const QString out = QDir(root.path()).filePath("a/b/out");
    QVERIFY(QDir().mkpath(out));
    const TMachineComp machine = Perfect_Machine();
    const TItem row = Row(TVector3(0, 0, 500), TVector3(100, 0, 500));
    Export::TResult result;
    for(const QString& name : QStringList{"../../x", "..", "/tmp/y", "sub/dir", "c:\\z"})
    {
      const auto iso = Measurement<TMeasurement_ISO>(name, {row});
      const auto laser = Measurement<TMeasurement_Laser>(name + " laser", {row});
      const auto mcg = Measurement<TMeasurement_MCG>(name, {row});
      QVERIFY(Export::Write_ISO_Files(machine, out, *iso, &result));
      QVERIFY(Export::Write_Laser_Files(machine, out, *laser, &result));
      QVERIFY(Export::Write_MCG_File(out, *mcg, &result));
      QVERIFY(Lines(Read(QDir(out).filePath("Zarnik " + Export::Safe_File_Name(name) + ".dat")))
                  .contains("Description:" + name));
    }
    QCOMPARE(result.failures, QStringList());
    const QStringList files = All_Files(root.path());
    QCOMPARE(files.size(), 25);
    for(const QString& file : files)
    {
      QVERIFY2(file.startsWith("a/b/out/") && !file.mid(8).contains('/'), qPrintable(file));
    }
    QVERIFY(files.contains("a/b/out/Zarnik .._.._x.dat"));
    QVERIFY(files.contains("a/b/out/MCG __.xml"));
  }

  // Names that become the same file name give the later measurement a numbered name, a pair
  // keeping one number, and the renaming is reported; control characters in a name do not
  // break the rows of a file.
  void Names_That_Clean_Alike()
  {
    QTemporaryDir out;
    const TItem row = Row(TVector3(0, 0, 500), TVector3(100, 0, 500));
    const auto laser = Measurement<TMeasurement_Laser>("a/b", {row});
    const auto iso = Measurement<TMeasurement_ISO>("a_b", {row});
    const auto mcg = Measurement<TMeasurement_MCG>("a/b", {row});
    const auto mcg_2 = Measurement<TMeasurement_MCG>("a\\b", {row});
    const auto laser_2 = Measurement<TMeasurement_Laser>("a_b", {row});
    const auto iso_feed = Measurement<TMeasurement_ISO>("line\nfeed", {row});
    const auto ballbar = Measurement<TMeasurement_Ballbar>("ball\nbar", {row});
    Export::TResult result;
    Export::Write_Files(Perfect_Machine(), out.path(),
                        {laser.get(), iso.get(), mcg.get(), ballbar.get(), mcg_2.get(), laser_2.get(), iso_feed.get()},
                        &result);
    QCOMPARE(result.failures, QStringList());
    QStringList files;
    for(const QString& file : result.files)
    {
      files.push_back(QFileInfo(file).fileName());
    }
    QCOMPARE(files, QStringList({"Ballbar Measurements.dat", "Lumetra a_b.dat", "Zarnik a_b.dat", "Lumetra a_b 2.dat",
                                 "Zarnik a_b 2.dat", "MCG a_b.xml", "MCG a_b 2.xml", "Lumetra a_b 3.dat",
                                 "Zarnik a_b 3.dat", "Lumetra line_feed.dat", "Zarnik line_feed.dat"}));
    QCOMPARE(result.renamed,
             QStringList({"Export ISO:  'a_b' written as 'Lumetra a_b 2.dat' and 'Zarnik a_b 2.dat', its file name "
                          "being taken by an earlier measurement.",
                          "Export MCG:  'a\\b' written as 'MCG a_b 2.xml', its file name being taken by an earlier "
                          "measurement.",
                          "Export Laser:  'a_b' written as 'Lumetra a_b 3.dat' and 'Zarnik a_b 3.dat', its file name "
                          "being taken by an earlier measurement."}));
    QCOMPARE(All_Files(out.path()).size(), files.size());

    const QStringList ballbar_lines = Lines(Read(QDir(out.path()).filePath("Ballbar Measurements.dat")));
    QCOMPARE(ballbar_lines.size(), 7);
    QVERIFY(ballbar_lines.back().startsWith("ball_bar,"));
    QVERIFY(Lines(Read(QDir(out.path()).filePath("Zarnik line_feed.dat"))).contains("Description:line_feed"));
    QVERIFY(Lines(Read(QDir(out.path()).filePath("Zarnik a_b 2.dat"))).contains("Description:a_b"));
  }

  void Probe_Vector_data()
  {
    QTest::addColumn<TVector3>("probe");
    QTest::addColumn<QString>("line");
    QTest::newRow("down") << TVector3(0, 0, -150) << "0.000000000,0.000000000,-1.000000000";
    QTest::newRow("up") << TVector3(0, 0, 150) << "0.000000000,0.000000000,-1.000000000";
    // Above 0 but not above the double epsilon: normalising it would stop the program.
    QTest::newRow("a hair off vertical") << TVector3(1e-17, -1e-17, -150) << "0.000000000,0.000000000,-1.000000000";
    QTest::newRow("just beyond epsilon") << TVector3(0, 3e-16, -150) << "0.000000000,1.000000000,0.000000000";
    QTest::newRow("slanted") << TVector3(30, 40, -100) << "0.600000000,0.800000000,0.000000000";
    QTest::newRow("minus Y") << TVector3(0, -75, -150) << "0.000000000,-1.000000000,0.000000000";
  }

  // The probe vector line of laser and ISO files alike.
  void Probe_Vector()
  {
    QFETCH(TVector3, probe);
    QFETCH(QString, line);
    const TMachineComp machine = Perfect_Machine();
    const auto laser = Measurement<TMeasurement_Laser>("L", {Row(TVector3(0, 0, 500), TVector3(0, 0, 500), probe)});
    QCOMPARE(Lines_Starting(Export::Laser_Texts(machine, *laser).zarnik, "Probe_Vector:"),
             QStringList("Probe_Vector:" + line));
    QCOMPARE(Lines_Starting(Export::ISO_Texts(machine, *laser).zarnik, "Probe_Vector:"),
             QStringList("Probe_Vector:" + line));
  }

  // Without rows the files still exist, holding only their closing lines (no headers).
  void No_Rows()
  {
    const TMachineComp machine = Perfect_Machine();
    QTemporaryDir out;
    Export::TResult result;
    const auto laser = Measurement<TMeasurement_Laser>("Empty Laser");
    const auto iso = Measurement<TMeasurement_ISO>("Empty ISO");
    QVERIFY(Export::Write_Laser_Files(machine, out.path(), *laser, &result));
    QVERIFY(Export::Write_ISO_Files(machine, out.path(), *iso, &result));
    for(const char* name : {"Empty Laser", "Empty ISO"})
    {
      QCOMPARE(Read(QDir(out.path()).filePath(QString("Zarnik %1.dat").arg(name))), QByteArray("Measurement_End:\n"));
      QCOMPARE(Read(QDir(out.path()).filePath(QString("Lumetra %1.dat").arg(name))), QByteArray(":Data_End\n"));
    }

    const auto mcg = Measurement<TMeasurement_MCG>("Empty MCG");
    QVERIFY(Export::Write_MCG_File(out.path(), *mcg, &result));
    QCOMPARE(Read(QDir(out.path()).filePath("MCG Empty MCG.xml")),
             QByteArray("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                        "<MCG_Measurement_Data File_Version=\"1\" Units=\"MM\">\n"
                        "    <Environment>\n"
                        "        <Temperature>20.00</Temperature>\n"
                        "    </Environment>\n"
                        "    <Gauge_Points/>\n"
                        "    <Pivot_Sphere_Final>\n"
                        "        <Location_XYZ>0.0000,0.0000,0.0000</Location_XYZ>\n"
                        "    </Pivot_Sphere_Final>\n"
                        "</MCG_Measurement_Data>\n"));
    QCOMPARE(result.files.size(), 5);
  }

  // A run along the machine X axis with the default probe: machine axes, start lowered by the
  // probe, out and back over the same targets, zero at both ends.
  void Laser_Along_X()
  {
    const TMachineComp machine = Perfect_Machine();
    const auto laser =
        Simulated_Line<TMeasurement_Laser>(machine, "Laser", {"0", "500", "500", "1000", "500", "500"}, "250");
    QVERIFY(laser);

    const Export::TFilePair texts = Export::Laser_Texts(machine, *laser);
    const QStringList zarnik = Lines(texts.zarnik);
    QCOMPARE(zarnik.mid(5, 4),
             QStringList({"X_Axis:1.000000000,0.000000000,0.000000000", "Y_Axis:0.000000000,1.000000000,0.000000000",
                          "Z_Axis:0.000000000,0.000000000,1.000000000", "Translation:0.0000,500.0000,350.0000"}));
    QCOMPARE(Lines_Starting(texts.zarnik, "Point:"),
             QStringList({"Point:1,F,0.00000,500.00000,350.00000", "Point:1,F,250.00000,500.00000,350.00000",
                          "Point:1,F,500.00000,500.00000,350.00000", "Point:1,F,750.00000,500.00000,350.00000",
                          "Point:1,F,1000.00000,500.00000,350.00000", "Point:1,B,1000.00000,500.00000,350.00000",
                          "Point:1,B,750.00000,500.00000,350.00000", "Point:1,B,500.00000,500.00000,350.00000",
                          "Point:1,B,250.00000,500.00000,350.00000", "Point:1,B,0.00000,500.00000,350.00000"}));
    QCOMPARE(zarnik.back(), QString("Measurement_End:"));

    const QStringList lumetra = Lines(texts.lumetra);
    QCOMPARE(lumetra.size(), 7 + 10 + 1);
    const QStringList readings = lumetra.mid(7, 10);
    QCOMPARE(readings.front(), ZERO_READING);
    QCOMPARE(readings.back(), ZERO_READING);
    QCOMPARE(readings[2],
             QString("     500.00000,   0.00000,   0.00000,   0.00000,   0.00000,   0.00000,  20.00, 20.00"));
    for(int index = 0; index < 5; ++index)
    {
      QCOMPARE(readings[9 - index], readings[index]);
    }
  }

  // Five lengths, each measured three times as an A/B pair; on a machine without errors every
  // reading equals its nominal length.
  void ISO_Pairs()
  {
    const TMachineComp machine = Perfect_Machine();
    const auto iso = Simulated_Line<TMeasurement_ISO>(machine, "ISO", {"100", "100", "100", "900", "700", "100"});
    QVERIFY(iso);

    const Export::TFilePair texts = Export::ISO_Texts(machine, *iso);
    const QStringList targets = Lines_Starting(texts.zarnik, "Point:");
    const QStringList readings = Lines(texts.lumetra).mid(7, 30);
    QCOMPARE(targets.size(), 30);
    QCOMPARE(Lines(texts.lumetra).size(), 7 + 30 + 1);
    for(int index = 0; index < 30; ++index)
    {
      const QString number = QString::number(index / 6 + 1);
      const QString length = QString::number(200.0 * (index / 6 + 1), 'f', 5);
      if(index % 2 == 0)
      {
        QCOMPARE(targets[index], "Point:" + number + ",A,0.00000,0.00000,0.00000");
        QCOMPARE(readings[index], ZERO_READING);
      }
      else
      {
        QCOMPARE(targets[index], "Point:" + number + ",B," + length + ",0.00000,0.00000");
        QCOMPARE(readings[index].section(',', 0, 0).trimmed(), length);
      }
    }
  }

  // Point numbers are not padded: the tenth length and beyond simply grow the line.
  void ISO_Point_Numbers_Grow()
  {
    std::vector<TItem> rows;
    for(int step = 1; step <= 12; ++step)
    {
      rows.push_back(Row(TVector3(0, 0, 0), TVector3(10.0 * step, 0, 0)));
    }
    const auto iso = Measurement<TMeasurement_ISO>("Long", rows);
    const QStringList targets = Lines_Starting(Export::ISO_Texts(Perfect_Machine(), *iso).zarnik, "Point:");
    QCOMPARE(targets.size(), 72);
    QCOMPARE(targets[53], QString("Point:9,B,90.00000,0.00000,0.00000"));
    QCOMPARE(targets[54], QString("Point:10,A,0.00000,0.00000,0.00000"));
    QCOMPARE(targets.back(), QString("Point:12,B,120.00000,0.00000,0.00000"));
  }

  void Ballbar_Rows_data()
  {
    Test_Support::Add_Text_Rows("name", "name_field",
                                {{"short", "Diagonal 1", "Diagonal 1,          "},
                                 {"19 characters", "Name With 19 Chars!", "Name With 19 Chars!, "},
                                 {"longer than the field", "A Name Of Twenty-Five Chr", "A Name Of Twenty-Five Chr, "},
                                 {"beyond Latin-1", QString::fromUtf8("Stab Ω"), "Stab ?,              "}});
  }

  // The name field, then eleven-wide numbers separated by bare commas, negative values inside
  // the field, the two form columns always zero.
  void Ballbar_Rows()
  {
    QFETCH(QString, name);
    QFETCH(QString, name_field);
    TItem item;
    item.length_actual = 123.456789;
    item.reference_actual = TVector3(-10.5, -200, -1234.56789);
    item.point_actual = TVector3(5, -0.000001, 99999.999996);
    item.probe_offset = TVector3(0, 0, -150);
    const auto ballbar = Measurement<TMeasurement_Ballbar>(name, {item});
    QTemporaryDir out;
    Export::TResult result;
    QVERIFY(Export::Write_Ballbar_File(out.path(), {ballbar.get()}, &result));
    const QByteArray row = name_field.toLatin1() + "  123.45679,  -10.50000, -200.00000,-1384.56789,    5.00000,   "
                                                   "-0.00000,99850.00000,    0.00000,    0.00000,    0.00000,    "
                                                   "0.00000, -150.00000\n";
    QCOMPARE(Read(QDir(out.path()).filePath("Ballbar Measurements.dat")),
             "B89.4.1_Data:Version=1:Type=BallBar\n\n"
             "# Note:  Sphere locations include the probe offset.\n\n"
             "   Name                 Length      Sph1 X      Sph1 Y      Sph1 Z      Sph2 X      Sph2 Y      Sph2 Z"
             "     Sph1 Form   Sph2 Form    Probe X     Probe Y     Probe Z\n" +
                 QByteArray(167, '-') + "\n" + row);
  }

  // Only ball bars with exactly one row go into the file, in list order; without any there is
  // no file, and an older one stays as it was.
  void Ballbar_Selection()
  {
    QTemporaryDir out;
    const QString path = QDir(out.path()).filePath("Ballbar Measurements.dat");
    QVERIFY(Write(path, "older export\n"));
    const TItem row = Row(TVector3(0, 0, 0), TVector3(100, 0, 0));
    const auto none = Measurement<TMeasurement_Ballbar>("No Row");
    const auto two = Measurement<TMeasurement_Ballbar>("Two Rows", {row, row});
    const auto laser = Measurement<TMeasurement_Laser>("Laser", {row});
    Export::TResult result;
    QVERIFY(Export::Write_Ballbar_File(out.path(), {none.get(), two.get(), laser.get()}, &result));
    QCOMPARE(Read(path), QByteArray("older export\n"));
    QCOMPARE(result.files, QStringList());

    const auto second = Measurement<TMeasurement_Ballbar>("Second", {row});
    const auto first = Measurement<TMeasurement_Ballbar>("First", {row});
    QVERIFY(Export::Write_Ballbar_File(out.path(), {none.get(), second.get(), two.get(), first.get()}, &result));
    const QStringList lines = Lines(QString::fromLatin1(Read(path)));
    QCOMPARE(lines.size(), 8);
    QVERIFY(lines[6].startsWith("Second,"));
    QVERIFY(lines[7].startsWith("First,"));
  }

  // A file that cannot be written gives the writer's one line; the others still write, and a
  // pair that cannot be written whole leaves the old files as they were.
  void Failures_data()
  {
    QTest::addColumn<QString>("blocked");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QStringList>("written");
    const QStringList all = {
        "Ballbar Measurements.dat", "Lumetra L.dat", "Zarnik L.dat", "MCG M.xml", "Lumetra I.dat", "Zarnik I.dat"};
    const auto without = [&](QStringList names)
    {
      QStringList rest = all;
      for(const QString& name : names)
      {
        rest.removeAll(name);
      }
      return rest;
    };
    QTest::newRow("ball bar") << "Ballbar Measurements.dat"
                              << "Export Ballbar:  Cannot open 'Ballbar Measurements.dat' file for writing."
                              << without({"Ballbar Measurements.dat"});
    QTest::newRow("laser Lumetra") << "Lumetra L.dat"
                                   << "Export Laser:  Cannot open Lumetra file for writing."
                                   << without({"Lumetra L.dat", "Zarnik L.dat"});
    QTest::newRow("laser Zarnik") << "Zarnik L.dat"
                                  << "Export Laser:  Cannot open Zarnik file for writing."
                                  << without({"Lumetra L.dat", "Zarnik L.dat"});
    QTest::newRow("ISO Lumetra") << "Lumetra I.dat"
                                 << "Export ISO:  Cannot open Lumetra file for writing."
                                 << without({"Lumetra I.dat", "Zarnik I.dat"});
    QTest::newRow("ISO Zarnik") << "Zarnik I.dat"
                                << "Export ISO:  Cannot open Zarnik file for writing."
                                << without({"Lumetra I.dat", "Zarnik I.dat"});
    QTest::newRow("MCG") << "MCG M.xml"
                         << "Export MCG: ERR:  Cannot write file '%1'.  Reason: " << without({"MCG M.xml"});
  }

  void Failures()
  {
    QFETCH(QString, blocked);
    QFETCH(QString, failure);
    QFETCH(QStringList, written);
    QTemporaryDir out;
    const QDir dir(out.path());
    // Old files of the pair; a directory where the blocked file belongs cannot be replaced.
    for(const char* name : {"Lumetra L.dat", "Zarnik L.dat", "Lumetra I.dat", "Zarnik I.dat"})
    {
      QVERIFY(Write(dir.filePath(name), "old\n"));
    }
    QVERIFY(QFile::remove(dir.filePath(blocked)) || !QFile::exists(dir.filePath(blocked)));
    QVERIFY(dir.mkdir(blocked));

    const TItem row = Row(TVector3(0, 0, 500), TVector3(100, 0, 500));
    const auto ballbar = Measurement<TMeasurement_Ballbar>("B", {row});
    const auto laser = Measurement<TMeasurement_Laser>("L", {row});
    const auto mcg = Measurement<TMeasurement_MCG>("M", {row});
    const auto iso = Measurement<TMeasurement_ISO>("I", {row});
    Export::TResult result;
    Export::Write_Files(Perfect_Machine(), out.path(), {laser.get(), ballbar.get(), mcg.get(), iso.get()}, &result);

    QCOMPARE(result.failures.size(), 1);
    const QString line = failure.contains("%1") ? failure.arg(dir.filePath(blocked)) : failure;
    QVERIFY2(line.endsWith("Reason: ") ? result.failures.front().startsWith(line) : result.failures.front() == line,
             qPrintable(result.failures.front()));
    QStringList files;
    for(const QString& file : result.files)
    {
      files.push_back(QFileInfo(file).fileName());
    }
    QCOMPARE(files, written);
    for(const char* name : {"Lumetra L.dat", "Zarnik L.dat", "Lumetra I.dat", "Zarnik I.dat"})
    {
      if(!written.contains(name) && name != blocked)
      {
        QCOMPARE(Read(dir.filePath(name)), QByteArray("old\n"));
      }
    }
    // No temporary file is left behind.
    for(const QString& name : dir.entryList(QDir::Files))
    {
      QVERIFY2(written.contains(name) || name.endsWith(" L.dat") || name.endsWith(" I.dat"), qPrintable(name));
    }
  }

  // A full disk (here a file-size limit) or a link or special file under an export name fails
  // that writer with the file and the reason; the old file, and a file a link points to, stay
  // as they were, and nothing else is left behind.
  void Failed_Writes_Keep_Old_Files_data()
  {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QStringList>("failures");
    QTest::newRow("file-size limit")
        << "limit"
        << QStringList{"Export Ballbar:  Cannot write 'Ballbar Measurements.dat' file: File too "
                       "large.",
                       "Export Laser:  Cannot write Lumetra file '%1/Lumetra L.dat': File too large.",
                       "Export MCG: ERR:  Cannot write file '%1/MCG M.xml'.  Reason: File too large",
                       "Export ISO:  Cannot write Lumetra file '%1/Lumetra I.dat': File too large."};
    QTest::newRow("links and a FIFO")
        << "links"
        << QStringList{"Export Ballbar:  Cannot write 'Ballbar Measurements.dat' file: Not a regular file.",
                       "Export Laser:  Cannot write Zarnik file '%1/Zarnik L.dat': Is a symbolic link.",
                       "Export MCG: ERR:  Cannot write file '%1/MCG M.xml'.  Reason: Is a symbolic link",
                       "Export ISO:  Cannot write Lumetra file '%1/Lumetra I.dat': Is a symbolic link."};
  }

  void Failed_Writes_Keep_Old_Files()
  {
    QFETCH(QString, how);
    QFETCH(QStringList, failures);
    QTemporaryDir tmp;
    const QDir top(tmp.path());
    QVERIFY(top.mkdir("out"));
    const QDir dir(top.filePath("out"));
    const QString outside = top.filePath("outside.txt");
    QVERIFY(Write(outside, "outside\n"));
    const QStringList names = {
        "Ballbar Measurements.dat", "Lumetra L.dat", "Zarnik L.dat", "MCG M.xml", "Lumetra I.dat", "Zarnik I.dat"};
    for(const QString& name : names)
    {
      QVERIFY(Write(dir.filePath(name), "old\n"));
    }
    if(how == QLatin1String("links"))
    {
      for(const char* name : {"Zarnik L.dat", "MCG M.xml", "Lumetra I.dat"})
      {
        QVERIFY(QFile::remove(dir.filePath(name)) && QFile::link(outside, dir.filePath(name)));
      }
      const QByteArray fifo = QFile::encodeName(dir.filePath("Ballbar Measurements.dat"));
      QVERIFY(QFile::remove(dir.filePath("Ballbar Measurements.dat")) && ::mkfifo(fifo.constData(), 0600) == 0);
    }

    const TItem row = Row(TVector3(0, 0, 500), TVector3(100, 0, 500));
    const auto ballbar = Measurement<TMeasurement_Ballbar>("B", {row});
    const auto laser = Measurement<TMeasurement_Laser>("L", {row});
    const auto mcg = Measurement<TMeasurement_MCG>("M", {row});
    const auto iso = Measurement<TMeasurement_ISO>("I", {row});
    Export::TResult result;
    {
      rlimit old_limit = {};
      getrlimit(RLIMIT_FSIZE, &old_limit);
      if(how == QLatin1String("limit"))
      {
        SafeFile::Ignore_File_Size_Signal();
        rlimit limit = old_limit;
        limit.rlim_cur = 100;
        setrlimit(RLIMIT_FSIZE, &limit);
      }
      Export::Write_Files(Perfect_Machine(), dir.path(), {laser.get(), ballbar.get(), mcg.get(), iso.get()}, &result);
      setrlimit(RLIMIT_FSIZE, &old_limit);
    }

    QCOMPARE(result.files, QStringList());
    QStringList expected;
    for(const QString& failure : failures)
    {
      expected.push_back(failure.contains("%1") ? failure.arg(dir.path()) : failure);
    }
    QCOMPARE(result.failures, expected);
    QCOMPARE(Read(outside), QByteArray("outside\n"));
    for(const QString& name : names)
    {
      const QFileInfo info(dir.filePath(name));
      QVERIFY2(info.isSymLink() || !info.isFile() || Read(info.filePath()) == "old\n", qPrintable(name));
    }
    QCOMPARE(dir.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot).size(), names.size());
  }

  // Over a file-size limit (ulimit -f) the batch tool is not killed: the writes that pass it
  // fail with the reason and exit code 1, and every file listed as written is complete.
  void Batch_Over_File_Size_Limit()
  {
    const QString program = Export_Cases::Batch_Program();
    if(!QFileInfo(program).isExecutable())
    {
      QSKIP("varlume-batch is not built");
    }
    QStringList arguments = {"-c",     "ulimit -f 2; exec \"$0\" \"$@\"", program,     "export",
                             "--data", Export_Cases::Data_Directory(),    "--machine", "Gantry"};
    for(const QString& name : Export_Cases::All_Measurements())
    {
      arguments << "--measurement" << name;
    }
    QTemporaryDir out;
    arguments << "--dir" << out.path();
    QProcess batch;
    batch.start("/bin/sh", arguments);
    QVERIFY(batch.waitForFinished(60000));
    QCOMPARE(batch.exitStatus(), QProcess::NormalExit);
    QCOMPARE(batch.exitCode(), 1);
    const QString err = QString::fromLocal8Bit(batch.readAllStandardError());
    QVERIFY2(err.contains("File too large"), qPrintable(err));
    const QString stored = Export_Cases::Expected_Directory("gantry");
    for(const QByteArray& line : batch.readAllStandardOutput().split('\n'))
    {
      if(!line.isEmpty())
      {
        const QString name = QFileInfo(QString::fromUtf8(line)).fileName();
        QVERIFY2(Read(QString::fromUtf8(line)) == Read(QDir(stored).filePath(name)), qPrintable(name));
      }
    }
  }

  // Nothing is written when the expressions fail or the error model gives up half-way.
  void Nothing_Written_data()
  {
    QTest::addColumn<QString>("machine");
    QTest::addColumn<QStringList>("measurements");
    QTest::addColumn<int>("status");
    QTest::newRow("expressions") << "Thin Tower" << Export_Cases::All_Measurements()
                                 << int(Export::TStatus::EXPRESSIONS_FAILED);
    QTest::newRow("axis exception") << "Thin Tower" << QStringList({"ISO Y", "MCG Centre"})
                                    << int(Export::TStatus::SIMULATION_FAILED);
  }

  void Nothing_Written()
  {
    QFETCH(QString, machine);
    QFETCH(QStringList, measurements);
    QFETCH(int, status);
    Export_Cases::TLibraries libraries;
    QVERIFY(libraries.Load());
    TMachineComp model;
    QVERIFY(Simulation::Update_Machine_Comp(libraries.machines, machine, &model, nullptr));
    std::vector<TMeasurement*> list = libraries.measurements.Measurements(measurements);
    QTemporaryDir out;
    Export::TResult result;
    QStringList errors;
    QCOMPARE(int(Export::Export_Measurements(&model, &list, out.path(), &result, &errors)), status);
    QVERIFY(!errors.isEmpty());
    QCOMPARE(result.files, QStringList());
    QCOMPARE(All_Files(out.path()), QStringList());
  }

  // The command-line tool writes the stored files too, and refuses what it cannot do.
  void Batch_data()
  {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exit_code");
    QTest::addColumn<QString>("expected");
    QStringList all;
    for(const QString& name : Export_Cases::All_Measurements())
    {
      all << "--measurement" << name;
    }
    QTest::newRow("stored") << (QStringList{"--machine", "Gantry"} + all) << 0 << "gantry";
    QTest::newRow("axis exception") << QStringList{"--machine", "Thin Tower", "--measurement", "ISO Y"} << 1 << "";
    QTest::newRow("unknown measurement") << QStringList{"--machine", "Bridge", "--measurement", "Nope"} << 2 << "";
    QTest::newRow("no measurement") << QStringList{"--machine", "Bridge"} << 2 << "";
  }

  void Batch()
  {
    QFETCH(QStringList, arguments);
    QFETCH(int, exit_code);
    QFETCH(QString, expected);
    const QString program = Export_Cases::Batch_Program();
    if(!QFileInfo(program).isExecutable())
    {
      QSKIP("varlume-batch is not built");
    }
    QTemporaryDir out;
    QProcess batch;
    batch.start(program,
                QStringList{"export", "--data", Export_Cases::Data_Directory(), "--dir", out.path()} + arguments);
    QVERIFY(batch.waitForFinished(60000));
    QCOMPARE(batch.exitCode(), exit_code);
    if(expected.isEmpty())
    {
      QCOMPARE(All_Files(out.path()), QStringList());
      return;
    }
    const QString stored = Export_Cases::Expected_Directory(expected);
    QCOMPARE(All_Files(out.path()), All_Files(stored));
    for(const QString& file : All_Files(stored))
    {
      QVERIFY2(Read(QDir(out.path()).filePath(file)) == Read(QDir(stored).filePath(file)), qPrintable(file));
    }
  }
};

QTEST_GUILESS_MAIN(TTestExport)
#include "test_export.moc"
