// Identification of machine errors from measured files: the readers, the fit against truth
// machines exported by the program itself, the null directions, bad input.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cmath>

#include "src/model/export.h"
#include "src/model/identify.h"
#include "src/model/machinelibrary.h"
#include "src/model/measuredfile.h"
#include "src/model/measurementlibrary.h"
#include "src/model/simulation.h"
#include "tests/identify_cases.h"

using namespace Identify_Cases;

namespace
{
// The machine as the library would hold it, set up through the library (its texts read back).
bool Setup(const TMachineLibrary::TMachineItem& item, TMachineComp* machine)
{
  TMachineLibrary library;
  QTemporaryDir directory;
  library.Set_Data_Path(directory.path());
  const int id = library.Create_Machine(item.name);
  TMachineLibrary::TMachineItem copy = item;
  copy.id = id;
  *library.Machine(id) = copy;
  if(!library.Save())
  {
    return false;
  }
  TMachineLibrary loaded;
  loaded.Set_Data_Path(directory.path());
  QStringList errors;
  return loaded.Load_Data() && Simulation::Update_Machine_Comp(loaded, item.name, machine, &errors);
}

// Exports set on machine into directory.
bool Export_Set(const TMachineLibrary::TMachineItem& machine, const std::vector<std::unique_ptr<TMeasurement>>& set,
                const QString& directory)
{
  TMachineComp comp;
  if(!Setup(machine, &comp))
  {
    return false;
  }
  std::vector<TMeasurement*> pointers = Pointers(set);
  Export::TResult result;
  return Export::Export_Measurements(&comp, &pointers, directory, &result) == Export::TStatus::WRITTEN &&
         result.failures.isEmpty();
}

Identify::TResult Identify_From(const TMachineLibrary::TMachineItem& start,
                                const std::vector<std::unique_ptr<TMeasurement>>& set, const QString& directory,
                                int degree = 3)
{
  Identify::TOptions options;
  options.degree = degree;
  return Identify::Run(start, Records(set), Measured::Read({directory}), options);
}

// Largest distance between the simulated points of the two machines on measurements that
// the fit did not see.
double Largest_Difference(const TMachineLibrary::TMachineItem& truth, const TMachineLibrary::TMachineItem& identified)
{
  std::vector<std::unique_ptr<TMeasurement>> others;
  others.push_back(Line<TMeasurement_ISO>("Check 1", TVector3(100, 700, -500), TVector3(900, 100, -100)));
  others.push_back(Line<TMeasurement_ISO>("Check 2", TVector3(50, 50, -50), TVector3(950, 750, -550)));
  others.push_back(Laser("Check 3", TVector3(0, 800, -600), TVector3(1000, 800, -600), 100.0));
  others.push_back(Ballbar("Check 4", TVector3(300, 600, -200), TVector3(0, 1, -1), 400.0, TVector3(100, 0, -100)));
  others.push_back(MCG("Check 5", TVector3(800, 200, -400), 150.0));
  double largest = 0.0;
  TMachineComp truth_comp;
  TMachineComp identified_comp;
  if(!Setup(truth, &truth_comp) || !Setup(identified, &identified_comp))
  {
    return 1e9;
  }
  std::vector<TMeasurement*> pointers = Pointers(others);
  if(!Simulation::Evaluate_Measurement_Expressions(&truth_comp, &pointers, nullptr))
  {
    return 1e9;
  }
  std::vector<std::vector<TMeasurement::TMeasurementItem>> truth_items;
  Simulation::Update_Measurement_Items(&truth_comp, &pointers);
  for(TMeasurement* measurement : pointers)
  {
    truth_items.push_back(measurement->d_measurement_items);
  }
  Simulation::Update_Measurement_Items(&identified_comp, &pointers);
  for(std::size_t index = 0; index < pointers.size(); ++index)
  {
    const auto& items = pointers[index]->d_measurement_items;
    for(std::size_t row = 0; row < items.size(); ++row)
    {
      for(const auto& pair : {std::make_pair(items[row].point_actual, truth_items[index][row].point_actual),
                              std::make_pair(items[row].reference_actual, truth_items[index][row].reference_actual)})
      {
        const TVector3 difference = pair.first - pair.second;
        largest = std::max(largest, std::sqrt(difference ^ difference));
      }
    }
  }
  return largest;
}

QString Write_File(const QString& path, const QByteArray& bytes)
{
  QFile file(path);
  if(file.open(QIODevice::WriteOnly))
  {
    file.write(bytes);
  }
  return path;
}

QByteArray Read_File(const QString& path)
{
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

class TTestIdentify : public QObject
{
  Q_OBJECT

private slots:
  void Round_Trip_data();
  void Round_Trip();
  void Polynomial_Text();
  void Null_Directions();
  void Bad_Input();
  void Batch_End_To_End();
};

// A machine of the zero machine's kind moved along a direction over the unknowns.
TMachineLibrary::TMachineItem Moved(TMachineLibrary::TMachineItem machine, const Identify::TResult& result,
                                    const std::vector<double>& direction, double size)
{
  for(TMachineLibrary::TMachineAxisItem& axis : machine.axes)
  {
    for(TMachineLibrary::TMachineParameterItem& parameter : axis.parameters)
    {
      std::vector<double> coefficients;
      double value = 0.0;
      bool listed = false;
      for(std::size_t index = 0; index < direction.size(); ++index)
      {
        const auto& key = result.unknown_keys[index];
        if(key.axis == axis.axis && key.parameter == parameter.parameter)
        {
          listed = true;
          if(key.power > 0)
          {
            coefficients.resize(std::max<std::size_t>(coefficients.size(), key.power));
            coefficients[key.power - 1] = size * direction[index];
          }
          else
          {
            value = size * direction[index];
          }
        }
      }
      if(listed)
      {
        parameter.expression =
            coefficients.empty() ? QString::number(value, 'f', 12) : Identify::Polynomial_Text(coefficients, 1.0);
      }
    }
  }
  return machine;
}

void TTestIdentify::Null_Directions()
{
  // One laser run along X sees the X axis only: its four functions, nothing of Y, Z, the
  // squareness or the deflection.
  {
    std::vector<std::unique_ptr<TMeasurement>> set;
    set.push_back(Laser("Laser X", TVector3(0, 400, -300), TVector3(1000, 400, -300)));
    QTemporaryDir directory;
    QVERIFY(Export_Set(Truth_Machine(KINEMATIC_XYZ), set, directory.path()));
    const Identify::TResult result = Identify_From(Zero_Machine(KINEMATIC_XYZ), set, directory.path());
    QCOMPARE(result.status, Identify::TStatus::FITTED);
    QCOMPARE(result.unknowns, 40);
    QCOMPARE(result.rank, 12);
    QVERIFY(result.report.contains(QStringLiteral("Rank: 12 of 40 unknowns")));
    QVERIFY(result.report.contains(QStringLiteral("Verdict: identified except 28 directions")));
    QCOMPARE(static_cast<int>(result.null_directions.size()), 28);
    for(std::size_t index = 0; index < result.null_directions.size(); ++index)
    {
      // Each direction is one unknown alone, and none of the X axis.
      const std::vector<double>& direction = result.null_directions[index];
      QCOMPARE(std::count_if(direction.begin(), direction.end(), [](double value) { return value != 0.0; }), 1L);
      const auto one = std::find(direction.begin(), direction.end(), 1.0) - direction.begin();
      QVERIFY(result.unknown_keys[one].axis != AXIS_X);
    }
    for(const auto& axis : result.machine.axes)
    {
      for(const auto& parameter : axis.parameters)
      {
        QCOMPARE(parameter.expression == QLatin1String("0"), axis.axis != AXIS_X);
      }
    }
  }

  // Ball bars with one stylus length cannot tell a squareness from the ram angle that tilts the
  // stylus the same way; a second stylus length can.
  for(const double second_stylus : {-150.0, -300.0})
  {
    std::vector<std::unique_ptr<TMeasurement>> set;
    const TVector3 centre(500, 400, -300);
    int index = 0;
    for(const TVector3& direction : {TVector3(1, 1, 0), TVector3(-1, 1, 0), TVector3(1, 0, 1), TVector3(-1, 0, 1),
                                     TVector3(0, 1, 1), TVector3(0, -1, 1)})
    {
      const TVector3 probe(0.0, 0.0, index++ % 2 == 0 ? -150.0 : second_stylus);
      set.push_back(Ballbar(QStringLiteral("Bar %1").arg(index), centre, direction, 500.0, probe));
    }
    const std::vector<std::pair<int, int>> enabled = {{AXIS_SQUARENESS, PARAMETER_QXY},
                                                      {AXIS_SQUARENESS, PARAMETER_QYZ},
                                                      {AXIS_SQUARENESS, PARAMETER_QZX},
                                                      {AXIS_Z, PARAMETER_RX},
                                                      {AXIS_Z, PARAMETER_RY}};
    TMachineLibrary::TMachineItem start = Zero_Machine(KINEMATIC_XYZ);
    Disable_All_But(&start, enabled);
    TMachineLibrary::TMachineItem truth = Truth_Machine(KINEMATIC_XYZ);
    Disable_All_But(&truth, enabled);
    QTemporaryDir directory;
    QVERIFY(Export_Set(truth, set, directory.path()));
    const Identify::TResult result = Identify_From(start, set, directory.path(), 1);
    QCOMPARE(result.status, Identify::TStatus::FITTED);
    if(second_stylus != -150.0)
    {
      QCOMPARE(result.rank, 5);
      continue;
    }
    QCOMPARE(result.rank, 3);
    QCOMPARE(static_cast<int>(result.null_directions.size()), 2);
    // Each pairs one ram angle with its squareness: Rx with YZ, Ry with ZX.
    const QString report = result.report.join('\n');
    QVERIFY(report.contains(QRegularExpression("Z Axis Rx c1 [-+] [0-9.]+ QYZ: not separable with these tests "
                                               "\\(another stylus length would separate it\\)")));
    QVERIFY(report.contains(QRegularExpression("Z Axis Ry c1 [-+] [0-9.]+ QZX: not separable with these tests "
                                               "\\(another stylus length would separate it\\)")));
  }

  // What the tests cannot see is real: moving the machine along it changes no reading of the set.
  {
    std::vector<std::unique_ptr<TMeasurement>> set;
    const TVector3 centre(500, 400, -300);
    for(const TVector3& direction : {TVector3(1, 1, 0), TVector3(-1, 1, 0), TVector3(1, 0, 1), TVector3(-1, 0, 1),
                                     TVector3(0, 1, 1), TVector3(0, -1, 1)})
    {
      set.push_back(Ballbar(QStringLiteral("Bar %1 %2 %3").arg(direction.x).arg(direction.y).arg(direction.z), centre,
                            direction, 500.0));
    }
    TMachineLibrary::TMachineItem start = Zero_Machine(KINEMATIC_XYZ);
    const std::vector<std::pair<int, int>> enabled = {{AXIS_SQUARENESS, PARAMETER_QZX},
                                                      {AXIS_SQUARENESS, PARAMETER_QYZ},
                                                      {AXIS_Z, PARAMETER_RX},
                                                      {AXIS_Z, PARAMETER_RY}};
    Disable_All_But(&start, enabled);
    TMachineLibrary::TMachineItem truth = Truth_Machine(KINEMATIC_XYZ);
    Disable_All_But(&truth, enabled);
    QTemporaryDir directory;
    QVERIFY(Export_Set(truth, set, directory.path()));
    const Identify::TResult result = Identify_From(start, set, directory.path(), 1);
    QCOMPARE(result.status, Identify::TStatus::FITTED);
    QCOMPARE(result.unknowns, 4);
    QVERIFY(!result.null_directions.empty());
    for(const std::vector<double>& direction : result.null_directions)
    {
      QTemporaryDir moved_directory;
      QVERIFY(Export_Set(Moved(start, result, direction, 0.01), set, moved_directory.path()));
      const Identify::TResult moved = Identify_From(start, set, moved_directory.path(), 1);
      QVERIFY(moved.largest_before[Identify::OBSERVATION_BALLBAR] < 0.006);
    }
  }
}

void TTestIdentify::Bad_Input()
{
  const auto set = Reference_Set();
  QTemporaryDir directory;
  QVERIFY(Export_Set(Truth_Machine(KINEMATIC_XYZ), set, directory.path()));
  const QDir files(directory.path());

  // A truncated Lumetra file, a garbled ball bar row, a target moved off the record's line, an
  // MCG file that is no XML: each is left out by name, the rest is fitted.
  const QByteArray lumetra = Read_File(files.filePath("Lumetra Laser X.dat"));
  Write_File(files.filePath("Lumetra Laser X.dat"), lumetra.left(lumetra.size() / 2));
  QByteArray ballbar = Read_File(files.filePath("Ballbar Measurements.dat"));
  const int row = ballbar.indexOf("Bar XZ,");
  ballbar.replace(ballbar.indexOf('.', row), 1, "x");
  Write_File(files.filePath("Ballbar Measurements.dat"), ballbar);
  QByteArray zarnik = Read_File(files.filePath("Zarnik ISO Y.dat"));
  zarnik.replace("Point:2,B,320.00000", "Point:2,B,321.00000");
  Write_File(files.filePath("Zarnik ISO Y.dat"), zarnik);
  Write_File(files.filePath("MCG MCG.xml"), "<?xml version=\"1.0\"?>\n<MCG_Measurement_Data><Gauge_Points>");
  Write_File(files.filePath("Lumetra Unknown.dat"), Read_File(files.filePath("Lumetra Laser Y.dat")));
  // One more line after the block: not a byte copy of Laser Y, which would be read once.
  Write_File(files.filePath("Zarnik Unknown.dat"), Read_File(files.filePath("Zarnik Laser Y.dat")) + "\n");

  Identify::TResult result = Identify_From(Zero_Machine(KINEMATIC_XYZ), set, directory.path());
  QCOMPARE(result.status, Identify::TStatus::FITTED);
  const QString report = result.report.join('\n');
  QVERIFY(report.contains(QStringLiteral("Lumetra/Zarnik Laser X.dat: Lumetra file incomplete")));
  QVERIFY(report.contains(QStringLiteral("Ballbar Measurements.dat: line")));
  QVERIFY(report.contains(
      QStringLiteral("Lumetra/Zarnik ISO Y.dat: rows do not match the nominal points of the measurement 'ISO Y'")));
  QVERIFY(report.contains(QStringLiteral("MCG MCG.xml: XML error")));
  QVERIFY(report.contains(QStringLiteral("Lumetra/Zarnik Unknown.dat: no measurement named 'Unknown'")));
  QVERIFY(report.contains(QStringLiteral("Rows used: ball bar 0, ISO 90, laser 60, MCG 0")));

  // One row of data: the fit runs and says how little it can tell.
  QTemporaryDir single;
  std::vector<std::unique_ptr<TMeasurement>> one;
  one.push_back(Ballbar("Bar", TVector3(500, 400, -300), TVector3(1, 1, 0), 600.0));
  QVERIFY(Export_Set(Truth_Machine(KINEMATIC_XYZ), one, single.path()));
  result = Identify_From(Zero_Machine(KINEMATIC_XYZ), one, single.path());
  QCOMPARE(result.status, Identify::TStatus::FITTED);
  QCOMPARE(result.rank, 1);
  QVERIFY(result.report.contains(QStringLiteral("Verdict: identified except 39 directions")));

  // No enabled parameter, no file at all, rows that match no record: nothing is fitted.
  TMachineLibrary::TMachineItem none = Zero_Machine(KINEMATIC_XYZ);
  Disable_All_But(&none, {});
  result = Identify_From(none, one, single.path());
  QCOMPARE(result.status, Identify::TStatus::NO_DATA);
  QVERIFY(result.report.contains(QStringLiteral("The machine has no enabled error parameter to identify.")));
  QCOMPARE(result.report.back(), QStringLiteral("Verdict: not identified"));
  result = Identify::Run(Zero_Machine(KINEMATIC_XYZ), Records(one), Measured::Read({files.filePath("missing.dat")}),
                         Identify::TOptions());
  QCOMPARE(result.status, Identify::TStatus::NO_DATA);
  QVERIFY(result.report.contains(QStringLiteral("  missing.dat: no such file")));
  QVERIFY(result.report.contains(QStringLiteral("No measured row could be used.")));
}

void TTestIdentify::Batch_End_To_End()
{
  // A data directory with the truth and its zero twin; export, identify, load the result.
  QTemporaryDir data;
  TMachineLibrary machines;
  machines.Set_Data_Path(data.path());
  for(const TMachineLibrary::TMachineItem& machine :
      {Truth_Machine(KINEMATIC_YZX), Zero_Machine(KINEMATIC_YZX, QStringLiteral("Start"))})
  {
    const int id = machines.Create_Machine(machine.name);
    TMachineLibrary::TMachineItem copy = machine;
    copy.id = id;
    *machines.Machine(id) = copy;
  }
  QVERIFY(machines.Save());
  TMeasurementLibrary measurements;
  measurements.Set_Data_Path(data.path());
  QStringList names;
  for(auto& measurement : Reference_Set())
  {
    names << measurement->d_name;
    measurements.Append_Measurement(std::move(measurement));
  }
  QVERIFY(measurements.Save());
  const QByteArray machines_bytes = Read_File(machines.File_Name());
  const QByteArray measurements_bytes = Read_File(measurements.File_Name());

  const QString program = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../varlume-batch"));
  QTemporaryDir exported;
  QStringList arguments{"export", "--data", data.path(), "--machine", "Truth", "--dir", exported.path()};
  for(const QString& name : names)
  {
    arguments << "--measurement" << name;
  }
  QProcess export_process;
  export_process.setStandardOutputFile(QProcess::nullDevice());
  export_process.start(program, arguments);
  QVERIFY(export_process.waitForFinished(60000));
  QCOMPARE(export_process.exitCode(), 0);

  const QString output = QDir(data.path()).filePath(QStringLiteral("identified.xml"));
  QProcess identify;
  identify.start(program, {"identify", "--data", data.path(), "--machine", "Start", "--measured", exported.path(),
                           "--output", output, "--degree", "3"});
  QVERIFY(identify.waitForFinished(60000));
  QCOMPARE(identify.exitCode(), 0);
  const QString report = QString::fromUtf8(identify.readAllStandardOutput());
  QVERIFY(report.contains(QStringLiteral("Rank: 40 of 40 unknowns")));
  QVERIFY(report.endsWith(QStringLiteral("Verdict: identified\nIdentified machine: Start identified\n")));

  TMachineLibrary identified;
  QVERIFY(identified.Load_Data(Read_File(output)));
  QCOMPARE(identified.Machine_Names(), QStringList{QStringLiteral("Start identified")});
  TMachineLibrary::TMachineItem machine = *identified.Machine(identified.Machine_Id("Start identified"));
  QCOMPARE(machine.kinematic, KINEMATIC_YZX);
  QVERIFY(Largest_Difference(Truth_Machine(KINEMATIC_YZX), machine) < 2e-4);
  // The libraries of --data are read, never written; nor may --output name one of them.
  QCOMPARE(Read_File(machines.File_Name()), machines_bytes);
  QCOMPARE(Read_File(measurements.File_Name()), measurements_bytes);
  QProcess refused;
  refused.start(program, {"identify", "--data", data.path(), "--machine", "Start", "--measured", exported.path(),
                          "--output", machines.File_Name()});
  QVERIFY(refused.waitForFinished(60000));
  QCOMPARE(refused.exitCode(), 2);
  QVERIFY(refused.readAllStandardError().contains("identify does not write the library"));
  QCOMPARE(Read_File(machines.File_Name()), machines_bytes);
}

void TTestIdentify::Round_Trip_data()
{
  QTest::addColumn<int>("kinematic");
  QTest::newRow("XYZ") << KINEMATIC_XYZ;
  QTest::newRow("YXZ") << KINEMATIC_YXZ;
  QTest::newRow("XZY") << KINEMATIC_XZY;
  QTest::newRow("YZX") << KINEMATIC_YZX;
}

void TTestIdentify::Round_Trip()
{
  QFETCH(int, kinematic);
  const TMachineLibrary::TMachineItem truth = Truth_Machine(kinematic);
  const auto set = Reference_Set();
  QTemporaryDir directory;
  QVERIFY(Export_Set(truth, set, directory.path()));

  const Identify::TResult result = Identify_From(Zero_Machine(kinematic), set, directory.path());
  QCOMPARE(result.status, Identify::TStatus::FITTED);
  const double difference = Largest_Difference(truth, result.machine);
  qInfo() << "largest difference" << difference;
  QVERIFY2(difference < 2e-4, qPrintable(QString::number(difference)));
}

void TTestIdentify::Polynomial_Text()
{
  QCOMPARE(Identify::Polynomial_Text({0.0, 0.0}, 1.0), QStringLiteral("0"));
  QCOMPARE(Identify::Polynomial_Text({-0.5, 0.25}, 1.0), QStringLiteral("-0.5*L+0.25*L^2"));
  QCOMPARE(Identify::Polynomial_Text({1.25e-13, -2e-3}, 1.0), QStringLiteral("0.000000000000125*L-0.002*L^2"));
}

QTEST_GUILESS_MAIN(TTestIdentify)
#include "test_identify.moc"
