#include <QtTest>

#include <unistd.h>

#include <QCryptographicHash>
#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>

#include <vector>

#include "src/model/machinelibrary.h"
#include "src/model/measurementlibrary.h"
#include "src/model/report.h"
#include "src/model/simulation.h"
#include "tests/simulation_cases.h"
#include "tests/test_support.h"

namespace
{
using Test_Support::Write;
using TResult = Test_Support::TBatchResult;

QString Examples_Directory()
{
  return QStringLiteral(VARLUME_TEST_DATA "/../../examples");
}

// Every file below a directory with a digest of its contents.
QStringList Snapshot(const QString& directory)
{
  QStringList entries;
  QDirIterator it(directory, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
  while(it.hasNext())
  {
    const QString path = it.next();
    entries.push_back(path + ' ' +
                      QCryptographicHash::hash(Test_Support::Read(path), QCryptographicHash::Sha1).toHex());
  }
  entries.sort();
  return entries;
}

// Exit code that a pane text stands for.
int Expected_Code(const QByteArray& text)
{
  if(text.startsWith("Map Initialization Errors") || text.startsWith("Measurement Expression Errors"))
  {
    return 1;
  }
  return text.startsWith("ERR:") ? 2 : 0;
}
} // namespace

class TTestBatch : public QObject
{
  Q_OBJECT

private:
  Test_Support::TTemporaryHome d_home;

  // Runs the tool without a display and with a home of its own.
  TResult Run(const QStringList& arguments)
  {
    return Test_Support::Run_Batch(arguments, Test_Support::Batch_Environment(d_home.Path()));
  }

  // The command of a stored case: a map when it names no measurement.
  static QStringList Case_Arguments(const QString& machine, const QStringList& measurements, double increment)
  {
    QStringList arguments = {"--data", Simulation_Cases::Data_Directory(), measurements.isEmpty() ? "map" : "results",
                             "--machine", machine};
    for(const QString& measurement : measurements)
    {
      arguments << "--measurement" << measurement;
    }
    if(measurements.isEmpty() && increment != 100.0)
    {
      arguments << "--increments" << QString::number(increment) << QString::number(increment)
                << QString::number(increment);
    }
    return arguments;
  }

private slots:
  // A fresh home of the tool's own, with an empty data folder.
  void init() { QVERIFY(d_home.Set_Up()); }

  // One case of each outcome: a result, failed set-ups and measurements, a map with its own
  // increments and one refused.
  void Stored_Panes_data()
  {
    Simulation_Cases::Add_Rows(
        Simulation_Cases::Cases_Of({"results_bridge", "results_bad_expression", "results_bad_texts", "map_arm_xzy",
                                    "map_small_9_99", "map_reversed_travel"}));
  }

  // The same bytes as the model and the window produce, then one line feed.
  void Stored_Panes()
  {
    QFETCH(QString, machine);
    QFETCH(QStringList, measurements);
    QFETCH(double, increment);
    QFETCH(QString, file);
    const QByteArray expected = Simulation_Cases::Read(file);
    const TResult result = Run(Case_Arguments(machine, measurements, increment));
    QCOMPARE(result.err, QByteArray());
    QCOMPARE(result.out, expected + '\n');
    QCOMPARE(result.code, Expected_Code(expected));
  }

  // The sample libraries: every machine's map and every machine with all measurements.
  void Examples()
  {
    Test_Support::TLibraries libraries;
    QVERIFY(libraries.Load(Examples_Directory()));
    const TMachineLibrary& machines = libraries.machines;
    const TMeasurementLibrary& measurements = libraries.measurements;
    QVERIFY(!machines.Machine_Names().isEmpty());

    const TResult list = Run({"list", "--data", Examples_Directory()});
    QCOMPARE(list.code, 0);
    QCOMPARE(QString::fromUtf8(list.out),
             (machines.Machine_Names() + measurements.Measurement_Names()).join('\n') + '\n');

    const QStringList names = measurements.Measurement_Names();
    for(const QString& name : machines.Machine_Names())
    {
      TMachineComp machine;
      QStringList errors;
      QVERIFY2(Simulation::Update_Machine_Comp(machines, name, &machine, &errors), qPrintable(errors.join('\n')));

      const TResult map = Run({"map", "--data", Examples_Directory(), "--machine", name});
      QCOMPARE(map.code, 0);
      QCOMPARE(map.out, Report::Pane_Text(Report::Map_Display(machine, name, 100, 100, 100)).toLatin1() + '\n');

      QStringList arguments = {"--data", Examples_Directory(), "results", "--machine", name};
      for(const QString& measurement : names)
      {
        arguments << "--measurement" << measurement;
      }
      std::vector<TMeasurement*> list = measurements.Measurements(names);
      QStringList lines;
      const bool simulated = Report::Simulate_Measurements(&machine, &list, &lines);
      const TResult results = Run(arguments);
      QCOMPARE(results.out, Report::Pane_Text(lines).toLatin1() + '\n');
      QCOMPARE(results.code, simulated ? 0 : 1);
    }
  }

  void Usage_Errors_data()
  {
    const QString data = Simulation_Cases::Data_Directory();
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("code");
    QTest::newRow("no command") << QStringList{"--data", data} << 2;
    QTest::newRow("unknown command") << QStringList{"show", "--data", data} << 2;
    QTest::newRow("two commands") << QStringList{"list", "map", "--data", data} << 2;
    QTest::newRow("unknown option") << QStringList{"list", "--colour"} << 2;
    QTest::newRow("list with a machine") << QStringList{"list", "--machine", "Bridge", "--data", data} << 2;
    QTest::newRow("map without machine") << QStringList{"map", "--data", data} << 2;
    QTest::newRow("map with two machines")
        << QStringList{"map", "--machine", "Bridge", "--machine", "Gantry", "--data", data} << 2;
    QTest::newRow("map with a measurement")
        << QStringList{"map", "--machine", "Bridge", "--measurement", "ISO X", "--data", data} << 2;
    QTest::newRow("results without measurement") << QStringList{"results", "--machine", "Bridge", "--data", data} << 2;
    QTest::newRow("two increments") << QStringList{"map", "--machine", "Bridge", "--increments", "50", "50"} << 2;
    QTest::newRow("increments with =") << QStringList{"map", "--machine", "Bridge", "--increments=5", "--data", data}
                                       << 2;
    QTest::newRow("increment not a number")
        << QStringList{"map", "--machine", "Bridge", "--increments", "50", "abc", "50", "--data", data} << 2;
    QTest::newRow("increment nan") << QStringList{"map", "--machine", "Bridge", "--increments", "50", "50", "nan"} << 2;
    QTest::newRow("output to map") << QStringList{"map", "--machine", "Bridge", "--output", "x.txt", "--data", data}
                                   << 2;
    QTest::newRow("dir to results") << QStringList{"results", "--machine", "Bridge", "--measurement", "ISO X", "--dir",
                                                   "/tmp",    "--data",    data}
                                    << 2;
    QTest::newRow("unknown machine") << QStringList{"map", "--machine", "Nowhere", "--data", data} << 2;
    QTest::newRow("unknown measurement") << QStringList{"results",       "--machine", "Bridge",
                                                        "--measurement", "ISO X",     "--measurement",
                                                        "Nowhere",       "--data",    data}
                                         << 2;
  }

  void Usage_Errors()
  {
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    const TResult result = Run(arguments);
    QCOMPARE(result.code, code);
    QCOMPARE(result.out, QByteArray());
    QVERIFY(result.err.startsWith("varlume-batch: "));
  }

  void Help_And_Version()
  {
    const TResult help = Run({"--help"});
    QCOMPARE(help.code, 0);
    QVERIFY(help.out.contains("results"));
    QVERIFY(help.out.contains("--increments"));
    // Each option names the subcommands that take it, and a wrong one is refused with its name.
    QVERIFY(help.out.contains("--output <FILE>") && QString::fromLocal8Bit(help.out).simplified().contains(
                                                        "File to write (plot: a .png, .svg or .pdf picture; report: "
                                                        "the .pdf). Taken by evaluate, plot, identify, report."));
    QCOMPARE(Run({"list", "--output", "x.txt"}).err,
             QByteArray("varlume-batch: list takes no --output\nTry 'varlume-batch list --help'.\n"));
    QCOMPARE(Run({"map", "--machine", "Bridge", "--increments", "100", "abc", "100"}).err,
             QByteArray("varlume-batch: --increments: 'abc' is not a number\nTry 'varlume-batch map --help'.\n"));
    QCOMPARE(Run({"identify", "--machine", "Bridge", "--measured", "x.txt"}).err,
             QByteArray("varlume-batch: identify needs --output\nTry 'varlume-batch identify --help'.\n"));
    QCOMPARE(Run({"show"}).err, QByteArray("varlume-batch: unknown command 'show'\nTry 'varlume-batch --help'.\n"));
    // After a command, its own usage: the options it takes, and no others.
    for(const QStringList& arguments : {QStringList({"identify", "--help"}), QStringList({"--help", "identify"})})
    {
      const TResult command = Run(arguments);
      QCOMPARE(command.code, 0);
      QVERIFY2(command.out.startsWith("Usage: ") &&
                   command.out.left(command.out.indexOf('\n')).endsWith(" identify [options]"),
               command.out.constData());
      QVERIFY(command.out.contains("--measured <PATH>") && command.out.contains("--degree <D>") &&
              command.out.contains("--data <DIR>") && command.out.contains("fitted to the --measured files"));
      QVERIFY(!command.out.contains("--kind") && !command.out.contains("Commands:"));
    }
    QVERIFY(Run({"plot", "--help"}).out.contains("--kind <KIND>"));
    const TResult version = Run({"--version"});
    QCOMPARE(version.code, 0);
    QCOMPARE(version.out, QByteArray("varlume-batch 3.0\n"));
  }

  // An option that means another file to each command is described in that command's help.
  void Command_Help_Names_Its_Files_data()
  {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("description");
    QTest::newRow("identify output") << "identify"
                                     << "--output <FILE>"
                                     << "Machine library file to write";
    QTest::newRow("evaluate output") << "evaluate"
                                     << "--output <FILE>"
                                     << "Evaluation text file to write";
    QTest::newRow("plot output") << "plot"
                                 << "--output <FILE>"
                                 << "Picture file to write";
    QTest::newRow("report output") << "report"
                                   << "--output <FILE>"
                                   << "PDF file of the calibration report";
    QTest::newRow("conformity csv") << "conformity"
                                    << "--csv <FILE>"
                                    << "CSV file of the decisions";
    QTest::newRow("compensate csv") << "compensate"
                                    << "--csv <FILE>"
                                    << "CSV file of every row before and after";
  }

  void Command_Help_Names_Its_Files()
  {
    QFETCH(QString, command);
    QFETCH(QString, option);
    QFETCH(QString, description);
    const QString help = QString::fromLocal8Bit(Run({command, "--help"}).out).simplified();
    const int at = help.indexOf(option);
    QVERIFY2(at >= 0, qPrintable(help));
    QVERIFY2(help.mid(at + option.size()).trimmed().startsWith(description), qPrintable(help.mid(at)));
  }

  // --data may stand on either side of the command; without it the home's .varlume is read.
  // Names are found in any letter case, and a negative increment counts as its size.
  void Arguments_In_Any_Place()
  {
    const QString data = Simulation_Cases::Data_Directory();
    const QByteArray expected = Simulation_Cases::Read(Simulation_Cases::Expected_File("map_arm_xzy")) + '\n';
    QCOMPARE(Run({"map", "--machine", "arm xzy", "--increments", "-250", "250", "-250", "--data", data}).out, expected);
    QCOMPARE(Run({"--increments", "250", "250", "250", "--data", data, "map", "--machine", "Arm XZY"}).out, expected);

    QVERIFY(d_home.Set_Up(data));
    QCOMPARE(Run({"map", "--machine", "Arm XZY", "--increments", "250", "250", "250"}).out, expected);
  }

  // What cannot be read is said on stderr: a data directory that is missing, a file or empty is
  // a usage error (2), a library that does not load a failure (1).
  void Unreadable_Data()
  {
    QTemporaryDir tmp;
    const QDir dir(tmp.path());
    QVERIFY(Write(dir.filePath("file"), "x"));
    QVERIFY(dir.mkdir("empty") && dir.mkdir("future"));
    QVERIFY(Write(dir.filePath("future/machines.xml"), "<Machines File_Version=\"3\"/>"));
    const struct
    {
      const char* path;
      int code;
      QString message;
    } cases[] = {
        {"missing", 2, "no data directory '%1'"},
        {"file", 2, "data directory '%1' is not a directory"},
        {"empty", 2, "no machines.xml or measurements.xml in the data directory '%1'"},
        {"future", 1, "ERR:  Loading machines exception: ERR:  File_Version '3' is not a version this program reads"},
    };
    for(const auto& c : cases)
    {
      const QString path = dir.filePath(c.path);
      const TResult result = Run({"list", "--data", path});
      QCOMPARE(result.code, c.code);
      QCOMPARE(result.out, QByteArray());
      QCOMPARE(QString::fromLocal8Bit(result.err),
               "varlume-batch: " + (c.message.contains("%1") ? c.message.arg(path) : c.message) + "\n");
    }
  }

  // A name holding a line feed or another control character stays on its one line of list.
  void List_Escapes_Control_Characters()
  {
    QTemporaryDir data;
    TMachineLibrary machines;
    machines.Set_Data_Path(data.path());
    machines.Create_Machine(QStringLiteral("two\nlines"));
    machines.Create_Machine(QStringLiteral("tab\tand \\ back"));
    machines.Create_Machine(QStringLiteral("plain \\ back"));
    QVERIFY(machines.Save());
    const TResult list = Run({"list", "--data", data.path()});
    QCOMPARE(list.out, QByteArray("two\\nlines\ntab\\tand \\\\ back\nplain \\ back\n"));
  }

  // A squareness or a probe offset that is not a finite number stops with the error block and
  // exit code 1 instead of printing rows of nan.
  void Non_Finite_Numbers()
  {
    QTemporaryDir data;
    for(const char* name : {"machines.xml", "measurements.xml"})
    {
      QByteArray text = Test_Support::Read(QDir(Simulation_Cases::Data_Directory()).filePath(name));
      const QByteArray from = name[1] == 'a' ? "<Expression>0.0125</Expression>" : "<Probe_Offset_X>0.0000<";
      QVERIFY(text.contains(from));
      text.replace(text.indexOf(from), from.size(),
                   name[1] == 'a' ? "<Expression>1e309</Expression>" : "<Probe_Offset_X>nan<");
      QVERIFY(Write(QDir(data.path()).filePath(name), text));
    }
    const TResult map = Run({"map", "--machine", "Bridge", "--data", data.path()});
    QCOMPARE(map.code, 1);
    QVERIFY2(map.out.startsWith("Map Initialization Errors\n") && map.out.contains("Squareness value inf invalid"),
             map.out.constData());
    const TResult results = Run({"results", "--machine", "Gantry", "--measurement", "Laser X", "--data", data.path()});
    QCOMPARE(results.code, 1);
    QVERIFY2(results.out.startsWith("Measurement Expression Errors\n") &&
                 results.out.contains("Laser X: Probe_Offset invalid"),
             results.out.constData());
  }

  // No subcommand writes over a library of the data folder in use or of ~/.varlume, by its
  // name, through a link or a linked folder, or as another hard link of it.
  void Library_Outputs_Refused_data()
  {
    QTest::addColumn<QStringList>("arguments");
    const QStringList evaluate = {"evaluate", "--machine", "Bridge", "--measurement", "ISO X", "--output"};
    const QStringList plot = {"plot", "--machine", "Bridge", "--kind", "errors"};
    const QStringList identify = {"identify", "--machine", "Bridge", "--measured", "@DATA", "--output"};
    QTest::newRow("evaluate into the home library") << (evaluate + QStringList{"@HOME/measurements.xml"});
    QTest::newRow("plot CSV into the data library") << (plot + QStringList{"--csv", "@DATA/machines.xml"});
    QTest::newRow("plot CSV through a linked folder") << (plot + QStringList{"--csv", "@LINKED/machines.xml"});
    QTest::newRow("plot picture as a hard link") << (plot + QStringList{"--output", "@DATA/hard.png"});
    QTest::newRow("plot picture as a link") << (plot + QStringList{"--output", "@DATA/link.svg"});
    QTest::newRow("identify into the home library") << (identify + QStringList{"@HOME/machines.xml"});
    QTest::newRow("conformity CSV into the data library") << QStringList{
        "conformity", "--machine", "Bridge", "--measurement", "ISO X", "--csv", "@DATA/measurements.xml"};
  }

  void Library_Outputs_Refused()
  {
    QFETCH(QStringList, arguments);
    QTemporaryDir data;
    QTemporaryDir links;
    QVERIFY(d_home.Set_Up(Simulation_Cases::Data_Directory()));
    const QString home = d_home.Data_Path();
    for(const char* name : {"machines.xml", "measurements.xml"})
    {
      QVERIFY(QFile::copy(d_home.Data_File(name), QDir(data.path()).filePath(name)));
    }
    const QString linked = QDir(links.path()).filePath("linked");
    QVERIFY(QFile::link(data.path(), linked));
    QCOMPARE(::link(QFile::encodeName(QDir(home).filePath("machines.xml")).constData(),
                    QFile::encodeName(QDir(data.path()).filePath("hard.png")).constData()),
             0);
    QVERIFY(QFile::link(QDir(data.path()).filePath("measurements.xml"), QDir(data.path()).filePath("link.svg")));
    const QStringList before = Snapshot(data.path()) + Snapshot(home);
    for(QString& argument : arguments)
    {
      argument.replace("@DATA", data.path()).replace("@HOME", home).replace("@LINKED", linked);
    }
    const TResult result = Run(QStringList{"--data", data.path()} + arguments);
    QCOMPARE(result.code, 2);
    QVERIFY2(result.err.contains("does not write the library"), result.err.constData());
    QCOMPARE(Snapshot(data.path()) + Snapshot(home), before);
  }

  // No output replaces a file the run reads: a --measured file, the partner of a laser or ISO
  // file given, or a file a --measured folder holds, by name, link, linked folder or hard link;
  // nor are two outputs of one run one file.
  void Input_Outputs_Refused_data()
  {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    const QStringList identify = {"identify", "--machine", "Bridge"};
    const QString measured = "does not write over the measured file '@MEASURED/";
    QTest::newRow("identify output, a file given")
        << (identify + QStringList{"--measured", "@MEASURED/Ballbar Measurements.dat", "--output",
                                   "@MEASURED/Ballbar Measurements.dat"})
        << measured + "Ballbar Measurements.dat'";
    QTest::newRow("identify JSON, the partner of a file given")
        << (identify + QStringList{"--measured", "@MEASURED/Lumetra T.dat", "--output", "@OUTPUT/identified.xml",
                                   "--json", "@MEASURED/Zarnik T.dat"})
        << measured + "Zarnik T.dat'";
    QTest::newRow("identify JSON, in a folder given, through a linked folder")
        << (identify +
            QStringList{"--measured", "@MEASURED", "--output", "@OUTPUT/identified.xml", "--json", "@LINKED/notes.txt"})
        << measured + "notes.txt'";
    QTest::newRow("conformity CSV, a hard link of NAME=FILE") << QStringList{"conformity",
                                                                             "--machine",
                                                                             "Bridge",
                                                                             "--mpe",
                                                                             "1,100",
                                                                             "--measured",
                                                                             "ISO X=@MEASURED/Lumetra T.dat",
                                                                             "--csv",
                                                                             "@OUTPUT/hard.csv"}
                                                              << measured + "Lumetra T.dat'";
    QTest::newRow("plot CSV, a link into a folder given")
        << QStringList{"plot",  "--machine",  "Bridge",  "--kind", "conformity",      "--mpe",
                       "1,100", "--measured", "@LINKED", "--csv",  "@OUTPUT/link.csv"}
        << "does not write over the measured file '@LINKED/Ballbar Measurements.dat'";
    QTest::newRow("identify output and JSON, one new file through a linked folder")
        << (identify +
            QStringList{"--measured", "@MEASURED", "--output", "@OUTPUT/new.xml", "--json", "@OUTLINKED/new.xml"})
        << "identify writes --output and --json to two different files";
  }

  void Input_Outputs_Refused()
  {
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QTemporaryDir folder;
    const QDir dir(folder.path());
    QVERIFY(dir.mkpath("data/measured") && dir.mkpath("output"));
    const QString measured = dir.filePath("data/measured");
    for(const char* name : {"Ballbar Measurements.dat", "Lumetra T.dat", "Zarnik T.dat", "notes.txt"})
    {
      QVERIFY(Write(QDir(measured).filePath(name), QByteArray("raw readings of ") + name));
    }
    QVERIFY(QFile::link(measured, dir.filePath("linked")));
    QVERIFY(QFile::link(dir.filePath("output"), dir.filePath("outlinked")));
    QCOMPARE(::link(QFile::encodeName(QDir(measured).filePath("Lumetra T.dat")).constData(),
                    QFile::encodeName(dir.filePath("output/hard.csv")).constData()),
             0);
    QVERIFY(QFile::link(QDir(measured).filePath("Ballbar Measurements.dat"), dir.filePath("output/link.csv")));
    const QStringList before = Snapshot(folder.path());
    for(QString& argument : arguments)
    {
      argument.replace("@MEASURED", measured)
          .replace("@LINKED", dir.filePath("linked"))
          .replace("@OUTPUT", dir.filePath("output"))
          .replace("@OUTLINKED", dir.filePath("outlinked"));
    }
    message.replace("@MEASURED", measured).replace("@LINKED", dir.filePath("linked"));
    QVERIFY(d_home.Set_Up());
    const TResult result = Run(QStringList{"--data", Simulation_Cases::Data_Directory()} + arguments);
    QCOMPARE(result.code, 2);
    QVERIFY2(result.err.contains(message.toLocal8Bit()), result.err.constData());
    QCOMPARE(Snapshot(folder.path()), before);
  }

  // A library file elsewhere is no library of the run, also when the home data folder has none.
  void New_Library_Elsewhere()
  {
    QVERIFY(d_home.Set_Up());
    const QString output = QDir(d_home.Output_Path()).filePath("machines.xml");
    const TResult result = Run({"plot", "--data", Simulation_Cases::Data_Directory(), "--machine", "Bridge", "--kind",
                                "errors", "--csv", output});
    QVERIFY2(result.code == 0, result.err.constData());
    QVERIFY(QFileInfo(output).size() > 0);
  }

  // Output that cannot be written fails the run with the reason.
  void Full_Standard_Output()
  {
    QVERIFY(d_home.Set_Up());
    QProcess process;
    process.setProcessEnvironment(Test_Support::Batch_Environment(d_home.Path()));
    process.setStandardOutputFile(QStringLiteral("/dev/full"));
    process.start(Test_Support::Batch_Program(), {"list", "--data", Simulation_Cases::Data_Directory()});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 1);
    QVERIFY2(process.readAllStandardError().contains("cannot write the standard output: No space left on device"),
             "no reason given");
  }

  // The libraries are read, never written, also when one of them does not load.
  void Never_Writes()
  {
    QTemporaryDir data;
    QVERIFY(QFile::copy(QDir(Simulation_Cases::Data_Directory()).filePath("measurements.xml"),
                        QDir(data.path()).filePath("measurements.xml")));
    QVERIFY(Write(QDir(data.path()).filePath("machines.xml"), "<Machines File_Version=\"2\"><Machine_Item>"));
    const QStringList before = Snapshot(data.path());

    // A library that does not load fails the run: a partial list would pass for the whole.
    const TResult list = Run({"list", "--data", data.path()});
    QCOMPARE(list.code, 1);
    QVERIFY(list.err.contains("ERR:  Loading machines exception"));
    QCOMPARE(list.out, QByteArray());
    QCOMPARE(Run({"map", "--machine", "Bridge", "--data", data.path()}).code, 1);
    QCOMPARE(Snapshot(data.path()), before);
  }
};

QTEST_GUILESS_MAIN(TTestBatch)
#include "test_batch.moc"
