// varlume-batch plot end to end: the files it writes, the CSV against the model's, exit codes
// and usage errors. What the charts look like is checked by eye, not here.

#include <QtTest>

#include <QProcess>
#include <QTemporaryDir>

#include <vector>

#include "src/model/machinelibrary.h"
#include "src/model/measurementlibrary.h"
#include "src/model/plotkinds.h"
#include "src/model/plotseries.h"
#include "src/model/report.h"
#include "src/model/sensitivity.h"
#include "src/model/simulation.h"
#include "tests/simulation_cases.h"
#include "tests/test_support.h"

namespace
{
using Test_Support::Read;
using TResult = Test_Support::TBatchResult;

} // namespace

class TTestBatchPlot : public QObject
{
  Q_OBJECT

private:
  Test_Support::TTemporaryHome d_home;
  QTemporaryDir d_runtime;
  QTemporaryDir d_output;
  Test_Support::TLibraries d_libraries;

  // Runs the tool without a display; platform, when given, is forced on it.
  TResult Run(QStringList arguments, const QString& platform = QString())
  {
    QProcessEnvironment environment = Test_Support::Batch_Environment(d_home.Path());
    if(!platform.isEmpty())
    {
      environment.insert("QT_QPA_PLATFORM", platform);
    }
    environment.insert("XDG_RUNTIME_DIR", d_runtime.path());
    return Test_Support::Run_Batch(QStringList{"--data", Simulation_Cases::Data_Directory(), "plot"} + arguments,
                                   environment);
  }

  QString File(const QString& name) const { return QDir(d_output.path()).filePath(name); }

  static QStringList With_Measurements(const QStringList& names)
  {
    QStringList arguments;
    for(const QString& name : names)
    {
      arguments << "--measurement" << name;
    }
    return arguments;
  }

private slots:
  void initTestCase()
  {
    QVERIFY(d_home.Set_Up() && d_runtime.isValid() && d_output.isValid());
    QFile::setPermissions(d_runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QVERIFY(d_libraries.Load(Simulation_Cases::Data_Directory()));
  }

  // Each kind writes its picture in the format of the extension and the model's CSV bytes.
  void Files_data()
  {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("picture");
    QTest::addColumn<QByteArray>("signature");
    QTest::newRow("errors png") << "errors"
                                << "errors.png" << QByteArray("\x89PNG");
    QTest::newRow("results svg") << "results"
                                 << "results.svg" << QByteArray("<?xml");
    QTest::newRow("sensitivity pdf") << "sensitivity"
                                     << "sensitivity.PDF" << QByteArray("%PDF");
    QTest::newRow("sensitivity per unit png") << "sensitivity"
                                              << "per_unit.png" << QByteArray("\x89PNG");
  }

  void Files()
  {
    QFETCH(QString, kind);
    QFETCH(QString, picture);
    QFETCH(QByteArray, signature);
    const QString machine_name = QStringLiteral("Arm YZX");
    const QStringList names = Simulation_Cases::All_Valid();
    QStringList arguments = {"--machine", machine_name,        "--kind", kind,     "--output", File(picture),
                             "--csv",     File(kind + ".csv"), "--size", "900x600"};
    if(kind != QLatin1String("errors"))
    {
      arguments += With_Measurements(names);
    }
    const bool per_unit = picture.startsWith(QLatin1String("per_unit"));
    if(per_unit)
    {
      arguments.push_back(QStringLiteral("--per-unit"));
    }
    const TResult result = Run(arguments);
    QCOMPARE(result.err, QByteArray());
    QCOMPARE(result.out, QByteArray());
    QCOMPARE(result.code, 0);
    QVERIFY(Read(File(picture)).startsWith(signature));

    Simulation::TMachineRecord record;
    QVERIFY(Simulation::Find_Machine_Record(d_libraries.machines, machine_name, &record));
    TMachineComp machine;
    QVERIFY(Simulation::Setup_Machine_Comp(record, &machine, nullptr));
    std::vector<TMeasurement*> list = d_libraries.measurements.Measurements(names);
    QByteArray expected;
    if(kind == QLatin1String("errors"))
    {
      expected = Plot_Series::Errors_Csv(Plot_Series::Axis_Error_Table(machine));
    }
    else if(kind == QLatin1String("results"))
    {
      QStringList lines;
      QVERIFY(Report::Simulate_Measurements(&machine, &list, &lines));
      expected = Plot_Series::Results_Csv(Plot_Series::Results(machine, list));
    }
    else
    {
      const Sensitivity::TScale scale = per_unit ? Sensitivity::TScale::PER_UNIT : Sensitivity::TScale::AS_GIVEN;
      expected = Sensitivity::Csv(Sensitivity::Compute(record, list, Sensitivity::TProgress(), scale).rows, scale);
    }
    QCOMPARE(Read(File(kind + ".csv")), expected);
  }

  // A CSV alone needs no widgets: it is written even where no platform can be loaded, as
  // every other subcommand runs.
  void Csv_Without_Platform()
  {
    const TResult result =
        Run({"--machine", "Bridge", "--kind", "errors", "--csv", File("alone.csv")}, QStringLiteral("none-such"));
    QCOMPARE(result.code, 0);
    QVERIFY(Read(File("alone.csv")).startsWith("axis,position_mm,"));
  }

  // The help texts that list the kinds are written by hand: they name every kind of the table.
  void Help_Names_Every_Kind()
  {
    const QByteArray help = Run({"--help"}).out.simplified();
    const QByteArray names = Plot_Kinds::Names_Text().toUtf8();
    QVERIFY(help.contains("--kind " + names + " of"));
    QVERIFY(help.contains("What to plot: " + names + "."));
  }

  void Failures_data()
  {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("message");
    const QStringList csv = {"--csv", "unused.csv"};
    QTest::newRow("no kind") << QStringList{"--machine", "Bridge", "--output", "a.png"} << 2
                             << QByteArray(
                                    "plot needs --kind errors, results, sensitivity, conformity or compensation\n");
    QTest::newRow("unknown kind") << QStringList{"--machine", "Bridge", "--kind", "map", "--output", "a.png"} << 2
                                  << QByteArray("unknown --kind 'map'");
    QTest::newRow("no file") << QStringList{"--machine", "Bridge", "--kind", "errors"} << 2
                             << QByteArray("plot needs --output");
    QTest::newRow("extension") << QStringList{"--machine", "Bridge", "--kind", "errors", "--output", "a.jpg"} << 2
                               << QByteArray("must end in .png, .svg or .pdf");
    QTest::newRow("size") << QStringList{"--machine", "Bridge", "--kind", "errors",
                                         "--output",  "a.png",  "--size", "1200*800"}
                          << 2 << QByteArray("--size '1200*800'");
    QTest::newRow("errors with measurement")
        << (QStringList{"--machine", "Bridge", "--kind", "errors", "--measurement", "ISO X"} + csv) << 2
        << QByteArray("takes no --measurement");
    QTest::newRow("per unit of errors") << (QStringList{"--machine", "Bridge", "--kind", "errors", "--per-unit"} + csv)
                                        << 2 << QByteArray("plot --kind errors takes no --per-unit");
    QTest::newRow("results without measurement") << (QStringList{"--machine", "Bridge", "--kind", "results"} + csv) << 2
                                                 << QByteArray("needs at least one --measurement");
    QTest::newRow("unknown machine") << (QStringList{"--machine", "Nowhere", "--kind", "errors"} + csv) << 2
                                     << QByteArray("no machine named 'Nowhere'");
    QTest::newRow("unknown measurement")
        << (QStringList{"--machine", "Bridge", "--kind", "results", "--measurement", "Nothing"} + csv) << 2
        << QByteArray("no measurement named 'Nothing'");
    // The machine cannot be set up: the window's error block, as map and results print it.
    QTest::newRow("set-up") << (QStringList{"--machine", "Bad Expression", "--kind", "errors"} + csv) << 1
                            << QByteArray("Map Initialization Errors");
    QTest::newRow("expressions")
        << (QStringList{"--machine", "Bridge", "--kind", "results", "--measurement", "Bad Laser"} + csv) << 1
        << QByteArray("Measurement Expression Errors");
    // One path for both files, and a picture that cannot be written: nothing is written.
    QTest::newRow("one file for both") << QStringList{"--machine", "Bridge",         "--kind", "errors",
                                                      "--output",  "unused.csv.png", "--csv",  "unused.csv.png"}
                                       << 2 << QByteArray("name one file");
    QTest::newRow("picture unwritable")
        << (QStringList{"--machine", "Bridge", "--kind", "errors", "--output", "/nonexistent-directory/y.png"} + csv)
        << 1 << QByteArray("cannot write '/nonexistent-directory/y.png'");
    QTest::newRow("unwritable") << QStringList{"--machine", "Bridge", "--kind",
                                               "errors",    "--csv",  "/nonexistent-directory/a.csv"}
                                << 1 << QByteArray("cannot write '/nonexistent-directory/a.csv'");
  }

  void Failures()
  {
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    QFETCH(QByteArray, message);
    const TResult result = Run(arguments);
    QCOMPARE(result.code, code);
    QVERIFY2(result.err.contains(message) || result.out.startsWith(message), result.err.constData());
    QVERIFY(!QFile::exists(QStringLiteral("unused.csv")));
    QVERIFY(!QFile::exists(QStringLiteral("unused.csv.png")));
  }
};

QTEST_GUILESS_MAIN(TTestBatchPlot)
#include "test_batch_plot.moc"
