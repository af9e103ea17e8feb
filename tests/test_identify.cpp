// Identification of machine errors from measured files: the readers, the fit against truth
// machines exported by the program itself, the null directions, bad input.

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <random>

#include "core/expression.h"
#include "src/model/evaluation.h"
#include "src/model/export.h"
#include "src/model/identify.h"
#include "src/model/machinelibrary.h"
#include "src/model/measuredfile.h"
#include "src/model/measurementlibrary.h"
#include "src/model/simulation.h"
#include "tests/identify_cases.h"
#include "tests/test_support.h"

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

// Identifies a start machine of degree 1 from the files that the truth machine gives for set, both
// with only the enabled parameters; start is left as it started. NO_DATA when the export failed.
Identify::TResult Identify_Only(const std::vector<std::pair<int, int>>& enabled,
                                const std::vector<std::unique_ptr<TMeasurement>>& set,
                                TMachineLibrary::TMachineItem* start)
{
  *start = Zero_Machine(KINEMATIC_XYZ);
  Disable_All_But(start, enabled);
  TMachineLibrary::TMachineItem truth = Truth_Machine(KINEMATIC_XYZ);
  Disable_All_But(&truth, enabled);
  QTemporaryDir directory;
  if(!Export_Set(truth, set, directory.path()))
  {
    return Identify::TResult();
  }
  return Identify_From(*start, set, directory.path(), 1);
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
        largest = std::max(largest, difference.Length());
      }
    }
  }
  return largest;
}

using Test_Support::Read;
using Test_Support::Write;

// Normal numbers of a seeded generator (Box-Muller), the same on every standard library.
class TNoise
{
public:
  explicit TNoise(std::uint64_t seed) : d_engine(seed) {}
  double Normal(double sigma)
  {
    const double u1 = (static_cast<double>(d_engine() >> 11) + 0.5) / 9007199254740992.0;
    const double u2 = static_cast<double>(d_engine() >> 11) / 9007199254740992.0;
    return sigma * std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * M_PI * u2);
  }
  double Uniform(double half)
  {
    return half * (2.0 * static_cast<double>(d_engine() >> 11) / 9007199254740992.0 - 1.0);
  }

private:
  std::mt19937_64 d_engine;
};

// Makes exported files look measured: noise of sigma_um on every reading (µm, µrad), each laser
// run's straightness with an offset (up to 3 µm) and a slope (up to 0.05 mm/m), each gauge with a
// radius zero (up to 3 µm); gross adds 0.1 mm to the first ball bar row.
void Make_Realistic(const QString& directory, std::uint64_t seed, double sigma_um, bool gross = false)
{
  TNoise noise(seed);
  const double sigma = sigma_um / 1000.0;
  const QDir folder(directory);
  for(const QString& name : folder.entryList({QStringLiteral("Lumetra *.dat")}, QDir::Files, QDir::Name))
  {
    QStringList lines = QString::fromLatin1(Read(folder.filePath(name))).split(QLatin1Char('\n'));
    const bool laser = !lines.front().contains(QLatin1String("Laser_10360"));
    const double offsets[2] = {noise.Uniform(0.003), noise.Uniform(0.003)};
    const double slopes[2] = {noise.Uniform(0.05), noise.Uniform(0.05)};
    const int begin = lines.indexOf(QStringLiteral(":Data_Begin"));
    const int end = lines.indexOf(QStringLiteral(":Data_End"));
    for(int index = begin + 1; index < end; ++index)
    {
      QStringList fields = lines[index].split(QLatin1Char(','));
      std::vector<double> values;
      for(int field = 0; field < 6; ++field)
      {
        values.push_back(fields[field].toDouble());
      }
      const double along = values[0] / 1000.0;
      for(int field = 0; field < (laser ? 6 : 1); ++field)
      {
        const double line = field == 1 || field == 2 ? offsets[field - 1] + slopes[field - 1] * along : 0.0;
        fields[field] = QString::number(values[field] + line + noise.Normal(sigma), 'f', 5);
      }
      lines[index] = fields.join(QLatin1Char(','));
    }
    QVERIFY(Write(folder.filePath(name), lines.join(QLatin1Char('\n')).toLatin1()));
  }
  const QString ballbar = folder.filePath(QStringLiteral("Ballbar Measurements.dat"));
  if(QFile::exists(ballbar))
  {
    QStringList lines = QString::fromLatin1(Read(ballbar)).split(QLatin1Char('\n'));
    bool first = true;
    for(QString& line : lines)
    {
      QStringList fields = line.split(QLatin1Char(','));
      if(fields.size() < 13)
      {
        continue;
      }
      const int length = fields.size() - 12;
      fields[length] =
          QString::number(fields[length].toDouble() + noise.Normal(sigma) + (gross && first ? 0.1 : 0.0), 'f', 5);
      first = false;
      line = fields.join(QLatin1Char(','));
    }
    QVERIFY(Write(ballbar, lines.join(QLatin1Char('\n')).toLatin1()));
  }
  for(const QString& name : folder.entryList({QStringLiteral("MCG *.xml")}, QDir::Files, QDir::Name))
  {
    QString text = QString::fromUtf8(Read(folder.filePath(name)));
    const double zero = noise.Uniform(0.003);
    const QRegularExpression point(QStringLiteral("<Point_XYZ>([^<]*)</Point_XYZ>"));
    QString result;
    int last = 0;
    for(auto match = point.globalMatch(text); match.hasNext();)
    {
      const QRegularExpressionMatch found = match.next();
      const QStringList parts = found.captured(1).split(QLatin1Char(','));
      const TVector3 target(parts[0].toDouble(), parts[1].toDouble(), parts[2].toDouble());
      const double radius = target.Length();
      const double factor = (radius + zero + noise.Normal(sigma)) / radius;
      result += text.mid(last, found.capturedStart() - last);
      result += QStringLiteral("<Point_XYZ>%1,%2,%3</Point_XYZ>")
                    .arg(target.x * factor, 0, 'f', 6)
                    .arg(target.y * factor, 0, 'f', 6)
                    .arg(target.z * factor, 0, 'f', 6);
      last = found.capturedEnd();
    }
    QVERIFY(Write(folder.filePath(name), (result + text.mid(last)).toUtf8()));
  }
}

// The truth's coefficient of a parameter label ("X Axis Rx c2", "QXY", "D Axis Deflection").
double Truth_Value(const TMachineLibrary::TMachineItem& truth, const QString& label)
{
  const QRegularExpression term(QStringLiteral("([+-]?[0-9.]+)\\*L(\\^([0-9]))?"));
  for(const TMachineLibrary::TMachineAxisItem& axis : truth.axes)
  {
    for(const TMachineLibrary::TMachineParameterItem& parameter : axis.parameters)
    {
      TMachineLibrary::TMapErrorItem item;
      item.axis = axis.axis;
      item.parameter = parameter.parameter;
      const QString name = Evaluation::Item_Label(item);
      if(label == name)
      {
        return parameter.expression.toDouble();
      }
      if(!label.startsWith(name + QStringLiteral(" c")))
      {
        continue;
      }
      const int power = label.mid(name.size() + 2).toInt();
      for(auto match = term.globalMatch(parameter.expression); match.hasNext();)
      {
        const QRegularExpressionMatch found = match.next();
        if((found.captured(3).isEmpty() ? 1 : found.captured(3).toInt()) == power)
        {
          return found.captured(1).toDouble();
        }
      }
      return 0.0;
    }
  }
  return 0.0;
}

// The truth machine without sign options, as measured data of a real machine are compared.
TMachineLibrary::TMachineItem Plain_Truth(int kinematic)
{
  TMachineLibrary::TMachineItem truth = Truth_Machine(kinematic);
  for(TMachineLibrary::TMachineAxisItem& axis : truth.axes)
  {
    for(TMachineLibrary::TMachineParameterItem& parameter : axis.parameters)
    {
      parameter.option_state = 0;
    }
  }
  return truth;
}

Identify::TOptions Stated(double uncertainty)
{
  Identify::TOptions options;
  for(double& value : options.uncertainties)
  {
    value = uncertainty;
  }
  return options;
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
  void Noisy_Round_Trip();
  void Fewer_Readings_Than_Unknowns();
  void Physics_And_Stated_Uncertainties();
  void Gross_Error();
  void Batch_End_To_End();
  void Start_Kept_data();
  void Start_Kept();
  void Misfit_data();
  void Misfit();
  void Partial_And_Travel();
  void Resolution_From_Machine_data();
  void Resolution_From_Machine();
  void Noisier_Than_Stated();
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
    QVERIFY(result.report.contains(QStringLiteral("Verdict: partly identified: 12 of 40 directions")));
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
    TMachineLibrary::TMachineItem start;
    const Identify::TResult result = Identify_Only(enabled, set, &start);
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
    TMachineLibrary::TMachineItem start;
    const Identify::TResult result = Identify_Only({{AXIS_SQUARENESS, PARAMETER_QZX},
                                                    {AXIS_SQUARENESS, PARAMETER_QYZ},
                                                    {AXIS_Z, PARAMETER_RX},
                                                    {AXIS_Z, PARAMETER_RY}},
                                                   set, &start);
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
  const QByteArray lumetra = Read(files.filePath("Lumetra Laser X.dat"));
  QVERIFY(Write(files.filePath("Lumetra Laser X.dat"), lumetra.left(lumetra.size() / 2)));
  QByteArray ballbar = Read(files.filePath("Ballbar Measurements.dat"));
  const int row = ballbar.indexOf("Bar XZ,");
  ballbar.replace(ballbar.indexOf('.', row), 1, "x");
  QVERIFY(Write(files.filePath("Ballbar Measurements.dat"), ballbar));
  QByteArray zarnik = Read(files.filePath("Zarnik ISO Y.dat"));
  zarnik.replace("Point:2,B,320.00000", "Point:2,B,321.00000");
  QVERIFY(Write(files.filePath("Zarnik ISO Y.dat"), zarnik));
  QVERIFY(Write(files.filePath("MCG MCG.xml"), "<?xml version=\"1.0\"?>\n<MCG_Measurement_Data><Gauge_Points>"));
  QVERIFY(Write(files.filePath("Lumetra Unknown.dat"), Read(files.filePath("Lumetra Laser Y.dat"))));
  // One more line after the block: not a byte copy of Laser Y, which would be read once.
  QVERIFY(Write(files.filePath("Zarnik Unknown.dat"), Read(files.filePath("Zarnik Laser Y.dat")) + "\n"));

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
  QVERIFY(result.report.contains(
      QStringLiteral("Verdict: partly identified: 1 of 40 directions; no error function is determined on its own")));

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
  const QByteArray machines_bytes = Read(machines.File_Name());
  const QByteArray measurements_bytes = Read(measurements.File_Name());

  // The tool, with the data folder as its home.
  const auto run = [&data](const QStringList& arguments)
  { return Test_Support::Run_Batch(arguments, Test_Support::Batch_Environment(data.path())); };
  QTemporaryDir exported;
  QStringList arguments{"export", "--data", data.path(), "--machine", "Truth", "--dir", exported.path()};
  for(const QString& name : names)
  {
    arguments << "--measurement" << name;
  }
  QCOMPARE(run(arguments).code, 0);

  const QString output = QDir(data.path()).filePath(QStringLiteral("identified.xml"));
  const QString json = QDir(data.path()).filePath(QStringLiteral("identified.json"));
  const QString residuals = QDir(data.path()).filePath(QStringLiteral("residuals.csv"));
  const Test_Support::TBatchResult identify =
      run({"identify", "--data", data.path(), "--machine", "Start", "--measured", exported.path(), "--output", output,
           "--degree", "3", "--json", json, "--absolute-straightness", "--residuals", residuals});
  QCOMPARE(identify.code, 0);
  // One row per reading used; the RMS of the normalized column is the report's.
  const QList<QByteArray> rows = Read(residuals).trimmed().split('\n');
  QCOMPARE(rows.front(), QByteArray("file,line,quantity,reading,residual,u,normalized"));
  QCOMPARE(rows.size() - 1, QJsonDocument::fromJson(Read(json)).object().value(QStringLiteral("readings")).toInt());
  double squares = 0.0;
  for(int row = 1; row < rows.size(); ++row)
  {
    squares += std::pow(rows[row].split(',').back().toDouble(), 2);
  }
  const QString rms = QString::number(std::sqrt(squares / (rows.size() - 1)), 'f', 3);
  QVERIFY2(QString::fromUtf8(identify.out).contains(QStringLiteral("Residual / u, RMS: before ")) &&
               QString::fromUtf8(identify.out).contains(QStringLiteral(", after %1\n").arg(rms)),
           qPrintable(rms));
  const QString report = QString::fromUtf8(identify.out);
  QVERIFY(report.contains(QStringLiteral("Rank: 40 of 40 unknowns")));
  QVERIFY(report.endsWith(QStringLiteral("Verdict: identified\nIdentified machine: Start identified\n")));
  const QJsonObject document = QJsonDocument::fromJson(Read(json)).object();
  QCOMPARE(document.value(QStringLiteral("identified_machine")).toString(), QStringLiteral("Start identified"));
  QCOMPARE(document.value(QStringLiteral("rank")).toInt(), 40);
  QCOMPARE(document.value(QStringLiteral("alignment_unknowns")).toInt(), 0);
  QCOMPARE(document.value(QStringLiteral("parameters")).toArray().size(), 40);
  QCOMPARE(document.value(QStringLiteral("covariance")).toObject().value(QStringLiteral("labels")).toArray().size(),
           40);

  TMachineLibrary identified;
  QVERIFY(identified.Load_Data(Read(output)));
  QCOMPARE(identified.Machine_Names(), QStringList{QStringLiteral("Start identified")});
  TMachineLibrary::TMachineItem machine = *identified.Machine(identified.Machine_Id("Start identified"));
  QCOMPARE(machine.kinematic, KINEMATIC_YZX);
  QVERIFY(Largest_Difference(Truth_Machine(KINEMATIC_YZX), machine) < 2e-4);
  // The libraries of --data are read, never written; nor may --output name one of them.
  QCOMPARE(Read(machines.File_Name()), machines_bytes);
  QCOMPARE(Read(measurements.File_Name()), measurements_bytes);
  const Test_Support::TBatchResult refused = run({"identify", "--data", data.path(), "--machine", "Start", "--measured",
                                                  exported.path(), "--output", machines.File_Name()});
  QCOMPARE(refused.code, 2);
  QVERIFY(refused.err.contains("identify does not write the library"));
  QCOMPARE(Read(machines.File_Name()), machines_bytes);
  // Ball bars alone: partly identified, exit 0, or 3 for a script that asks.
  const QStringList partial{"identify",
                            "--data",
                            data.path(),
                            "--machine",
                            "Start",
                            "--measured",
                            QDir(exported.path()).filePath("Ballbar Measurements.dat"),
                            "--output",
                            output,
                            "--json",
                            json};
  QCOMPARE(run(partial).code, 0);
  QCOMPARE(QJsonDocument::fromJson(Read(json)).object().value(QStringLiteral("verdict")).toString(),
           QStringLiteral("partly identified"));
  QCOMPARE(run(partial + QStringList{"--exit-code"}).code, 3);
  // Usage errors: one file for both outputs, an uncertainty no reading can carry.
  for(const QStringList& wrong : {QStringList{"--json", output}, QStringList{"--uncertainty", "ballbar=1e-300"}})
  {
    QCOMPARE(run(QStringList{"identify", "--data", data.path(), "--machine", "Start", "--measured", exported.path(),
                             "--output", output} +
                 wrong)
                 .code,
             2);
  }
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

void TTestIdentify::Noisy_Round_Trip()
{
  // Noise of 0.5 µm, laser optics never aligned, gauge zeros set by hand: over repeated seeds the
  // estimates lie within their stated uncertainties as a normal distribution says.
  const TMachineLibrary::TMachineItem truth = Plain_Truth(KINEMATIC_XZY);
  const auto set = Reference_Set();
  std::vector<double> normalized;
  for(std::uint64_t seed = 1; seed <= 8; ++seed)
  {
    QTemporaryDir directory;
    QVERIFY(Export_Set(truth, set, directory.path()));
    Make_Realistic(directory.path(), seed, 0.5);
    const Identify::TResult result =
        Identify::Run(Zero_Machine(KINEMATIC_XZY), Records(set), Measured::Read({directory.path()}), Stated(0.5));
    QCOMPARE(result.status, Identify::TStatus::FITTED);
    QVERIFY(result.converged);
    QCOMPARE(result.alignment_unknowns, 13); // three laser runs of four, one gauge
    QVERIFY(result.chi2_per_dof > 0.7 && result.chi2_per_dof < 1.3);
    QVERIFY(Largest_Difference(truth, result.machine) < 0.002);
    for(const Identify::TParameter& parameter : result.parameters)
    {
      if(parameter.identified)
      {
        normalized.push_back((parameter.value - Truth_Value(truth, parameter.label)) / parameter.u);
      }
    }
  }
  double squares = 0.0;
  int within = 0;
  for(const double value : normalized)
  {
    squares += value * value;
    within += std::fabs(value) < 2.0 ? 1 : 0;
  }
  const double deviation = std::sqrt(squares / normalized.size());
  qInfo() << normalized.size() << "estimates, standard deviation" << deviation << "within 2u"
          << double(within) / normalized.size();
  QVERIFY(deviation > 0.75 && deviation < 1.33);
  QVERIFY(within >= 0.9 * normalized.size());
}

void TTestIdentify::Fewer_Readings_Than_Unknowns()
{
  // Six ball bars against 40 unknowns: every direction named as not identified changes no
  // reading at all.
  const auto set = Reference_Subset([](const TMeasurement& measurement)
                                    { return measurement.Type() == Types::MEASUREMENT_BALLBAR; });
  QTemporaryDir directory;
  QVERIFY(Export_Set(Truth_Machine(KINEMATIC_XYZ), set, directory.path()));
  Identify::TOptions options = Stated(0.5);
  options.resolution = 0.0;
  const TMachineLibrary::TMachineItem start = Zero_Machine(KINEMATIC_XYZ);
  const Identify::TResult result = Identify::Run(start, Records(set), Measured::Read({directory.path()}), options);
  QCOMPARE(result.unknowns, 40);
  QVERIFY(result.rank <= 6);
  QCOMPARE(static_cast<int>(result.null_directions.size()), 40 - result.rank);
  // The JSON writes each direction whole, every term however small.
  const QJsonArray written =
      QJsonDocument::fromJson(Identify::Json(result)).object().value("null_directions").toArray();
  QCOMPARE(written.size(), static_cast<int>(result.null_directions.size()));
  for(int index = 0; index < written.size(); ++index)
  {
    std::vector<double> direction(result.unknown_names.size(), 0.0);
    for(const QJsonValue& term : written.at(index).toObject().value("terms").toArray())
    {
      direction[result.unknown_names.indexOf(term.toObject().value("label").toString())] =
          term.toObject().value("coefficient").toDouble();
    }
    // The vector has its largest component 1, the JSON its leading term's coefficient.
    const double largest = std::fabs(*std::max_element(direction.begin(), direction.end(),
                                                       [](double a, double b) { return std::fabs(a) < std::fabs(b); }));
    const std::vector<double>& vector = result.null_directions[index];
    for(std::size_t j = 0; j < vector.size(); ++j)
    {
      QVERIFY(std::fabs(direction[j] / largest - vector[j]) <= 1e-12);
    }
  }
  for(const std::vector<double>& direction : result.null_directions)
  {
    QTemporaryDir moved_directory;
    QVERIFY(Export_Set(Moved(start, result, direction, 0.01), set, moved_directory.path()));
    const Identify::TResult moved = Identify_From(start, set, moved_directory.path());
    QVERIFY(moved.largest_before[Identify::OBSERVATION_BALLBAR] < 0.006);
  }
}

void TTestIdentify::Physics_And_Stated_Uncertainties()
{
  // Laser runs along the axes, with their straightness lines unknown, cannot give squareness;
  // taken as absolute (simulated files) they do.
  const auto lasers =
      Reference_Subset([](const TMeasurement& measurement) { return measurement.Type() == Types::MEASUREMENT_LASER; });
  QTemporaryDir directory;
  QVERIFY(Export_Set(Plain_Truth(KINEMATIC_XYZ), lasers, directory.path()));
  const TMachineLibrary::TMachineItem start = Zero_Machine(KINEMATIC_XYZ);
  Identify::TOptions options = Stated(0.5);
  const Identify::TResult aligned = Identify::Run(start, Records(lasers), Measured::Read({directory.path()}), options);
  QCOMPARE(aligned.status, Identify::TStatus::FITTED);
  for(const Identify::TParameter& parameter : aligned.parameters)
  {
    QCOMPARE(parameter.identified,
             !parameter.label.startsWith(QLatin1Char('Q')) && !parameter.label.startsWith(QLatin1String("D Axis")));
    if(parameter.label.startsWith(QLatin1Char('Q')))
    {
      QVERIFY(!std::isfinite(parameter.u));
    }
  }
  options.absolute_straightness = true;
  const Identify::TResult absolute = Identify::Run(start, Records(lasers), Measured::Read({directory.path()}), options);
  QCOMPARE(absolute.alignment_unknowns, 0);
  QVERIFY(absolute.rank > aligned.rank);

  // The stated uncertainties are what the uncertainties rest on: ten times larger, ten times
  // larger u (noise-free files scatter less than stated, so nothing is scaled up).
  const auto set = Reference_Set();
  QTemporaryDir clean;
  QVERIFY(Export_Set(Plain_Truth(KINEMATIC_XYZ), set, clean.path()));
  const Identify::TResult fine = Identify::Run(start, Records(set), Measured::Read({clean.path()}), Stated(0.5));
  const Identify::TResult coarse = Identify::Run(start, Records(set), Measured::Read({clean.path()}), Stated(5.0));
  QCOMPARE(fine.rank, coarse.rank);
  for(std::size_t index = 0; index < fine.parameters.size(); ++index)
  {
    if(fine.parameters[index].identified)
    {
      QVERIFY(std::fabs(coarse.parameters[index].u / fine.parameters[index].u - 10.0) < 1e-6);
    }
  }

  // ISO lines only: either no machine and exit 1, or a converged fit that names what it lacks.
  const auto diagonals = Reference_Subset([](const TMeasurement& measurement)
                                          { return measurement.d_name.startsWith(QLatin1String("ISO D")); });
  QTemporaryDir iso;
  QVERIFY(Export_Set(Plain_Truth(KINEMATIC_XYZ), diagonals, iso.path()));
  Make_Realistic(iso.path(), 3, 0.5);
  for(const double resolution : {0.0, 100.0})
  {
    options = Stated(0.5);
    options.resolution = resolution;
    const Identify::TResult result = Identify::Run(start, Records(diagonals), Measured::Read({iso.path()}), options);
    if(result.status == Identify::TStatus::FITTED)
    {
      QVERIFY(result.rank < result.unknowns);
      QCOMPARE(static_cast<int>(result.directions.size()), result.unknowns - result.rank);
    }
    else
    {
      QVERIFY(result.status == Identify::TStatus::NOT_CONVERGED || result.status == Identify::TStatus::NOT_IDENTIFIED);
      QVERIFY(result.report.back().startsWith(QLatin1String("Verdict: not identified")));
    }
  }
}

void TTestIdentify::Gross_Error()
{
  // 0.1 mm on one ball bar row: named by file and line, and left out on request.
  const TMachineLibrary::TMachineItem truth = Plain_Truth(KINEMATIC_XYZ);
  const auto set = Reference_Set();
  QTemporaryDir directory;
  QVERIFY(Export_Set(truth, set, directory.path()));
  Make_Realistic(directory.path(), 5, 0.5, true);
  Identify::TOptions options = Stated(0.5);
  const Identify::TResult listed =
      Identify::Run(Zero_Machine(KINEMATIC_XYZ), Records(set), Measured::Read({directory.path()}), options);
  QVERIFY(!listed.outliers.empty());
  QCOMPARE(listed.outliers.front().file, QStringLiteral("Ballbar Measurements.dat"));
  QCOMPARE(listed.outliers.front().line, 7);
  QVERIFY(!listed.outliers.front().rejected);
  // Every reading used has its residual, in reading order; their normalized RMS is the
  // report's, and each outlier listed is among them with its value.
  QCOMPARE(static_cast<int>(listed.residuals.size()), listed.readings);
  double squares = 0.0;
  for(std::size_t i = 0; i < listed.residuals.size(); ++i)
  {
    const Identify::TResidual& residual = listed.residuals[i];
    squares += residual.normalized * residual.normalized;
    QVERIFY(std::fabs(residual.residual - residual.normalized * residual.u) <= 1e-9 * std::fabs(residual.residual));
    if(i > 0 && residual.file == listed.residuals[i - 1].file)
    {
      QVERIFY(residual.line >= listed.residuals[i - 1].line);
    }
  }
  QVERIFY(std::fabs(std::sqrt(squares / listed.readings) - listed.normalized_rms_after) < 1e-12);
  for(const Identify::TOutlier& outlier : listed.outliers)
  {
    QVERIFY(std::any_of(listed.residuals.begin(), listed.residuals.end(),
                        [&](const Identify::TResidual& residual)
                        {
                          return residual.file == outlier.file && residual.line == outlier.line &&
                                 residual.quantity == outlier.quantity &&
                                 residual.normalized == outlier.normalized_residual;
                        }));
  }
  QCOMPARE(Identify::Residuals_Csv(listed).count('\n'), listed.readings + 1);
  options.reject_outliers = true;
  const Identify::TResult rejected =
      Identify::Run(Zero_Machine(KINEMATIC_XYZ), Records(set), Measured::Read({directory.path()}), options);
  QCOMPARE(rejected.status, Identify::TStatus::FITTED);
  QCOMPARE(static_cast<int>(rejected.outliers.size()), 1);
  QVERIFY(rejected.outliers.front().rejected);
  QCOMPARE(rejected.outliers.front().line, 7);
  QCOMPARE(rejected.readings, listed.readings - 1);
  QVERIFY(rejected.chi2_per_dof < 1.5);
}

void TTestIdentify::Start_Kept_data()
{
  // Parts of a start that the polynomials of the fit cannot express: a value at the axis zero,
  // a degree above the fit's, a function of another kind.
  QTest::addColumn<QString>("angle");
  QTest::addColumn<QString>("scale");
  QTest::newRow("constant terms") << "0.0087-0.0085*L"
                                  << "0.004-0.002*L";
  QTest::newRow("other kinds") << "0.002*SQRT(L+1)"
                               << "0.001*L^5-0.0005*SQRT(L+1)";
  QTest::newRow("polynomial") << "0.0021*L-0.0048*L^2"
                              << "0.005*L+0.0012*L^2";
}

void TTestIdentify::Start_Kept()
{
  // A start that is the truth: identified from its own files it stays where it is, and the
  // machine written keeps what the fit cannot express.
  QFETCH(QString, angle);
  QFETCH(QString, scale);
  TMachineLibrary::TMachineItem truth = Plain_Truth(KINEMATIC_XYZ);
  Set_Parameter(&truth, AXIS_X, PARAMETER_RZ, angle);
  Set_Parameter(&truth, AXIS_Y, PARAMETER_RX, angle);
  Set_Parameter(&truth, AXIS_Z, PARAMETER_SCALE, scale);
  Set_Parameter(&truth, AXIS_X, PARAMETER_SCALE, scale);
  const auto set = Reference_Set();
  QTemporaryDir directory;
  QVERIFY(Export_Set(truth, set, directory.path()));
  Identify::TOptions options = Stated(0.5);
  options.absolute_straightness = true;
  const Identify::TResult result = Identify::Run(truth, Records(set), Measured::Read({directory.path()}), options);
  QCOMPARE(result.status, Identify::TStatus::FITTED);
  qInfo() << "residual / u before" << result.normalized_rms_before << "after" << result.normalized_rms_after;
  QVERIFY(result.normalized_rms_after < 0.05);
  QVERIFY(result.normalized_rms_after <= result.normalized_rms_before);
  // Every function within 0.1 µm or µrad of the start along its whole travel.
  for(const Identify::TFunctionBand& band : result.bands)
  {
    QString expression;
    for(const auto& axis : truth.axes)
    {
      for(const auto& parameter : axis.parameters)
      {
        if(axis.axis == band.axis && parameter.parameter == band.parameter)
        {
          expression = parameter.expression;
        }
      }
    }
    for(std::size_t index = 0; index < band.positions.size(); ++index)
    {
      TExpression evaluator;
      evaluator.Add_Variable(QStringLiteral("L"), band.positions[index] / 1000.0);
      bool ok = false;
      const double start = evaluator.Evaluate(expression, &ok);
      QVERIFY(ok);
      QVERIFY2(std::fabs(band.values[index] - start) * 1000.0 < 0.1, qPrintable(expression));
    }
  }
  QVERIFY(Largest_Difference(truth, result.machine) < 1e-4);
}

void TTestIdentify::Misfit_data()
{
  // The start lacks what the truth has: a parameter, or degrees.
  QTest::addColumn<int>("axis");
  QTest::addColumn<int>("parameter");
  QTest::addColumn<int>("degree");
  QTest::addColumn<QString>("first");
  QTest::newRow("no Y scale") << int(AXIS_Y) << int(PARAMETER_SCALE) << 3 << "Enable Y Axis Scale";
  QTest::newRow("no X Rz") << int(AXIS_X) << int(PARAMETER_RZ) << 3 << "Enable X Axis Rz";
  QTest::newRow("no QXY") << int(AXIS_SQUARENESS) << int(PARAMETER_QXY) << 3 << "Enable QXY";
  QTest::newRow("degree 1") << -1 << -1 << 1 << "Degree 2 for ";
}

void TTestIdentify::Misfit()
{
  QFETCH(int, axis);
  QFETCH(int, parameter);
  QFETCH(int, degree);
  QFETCH(QString, first);
  const TMachineLibrary::TMachineItem truth = Plain_Truth(KINEMATIC_XYZ);
  TMachineLibrary::TMachineItem start = Zero_Machine(KINEMATIC_XYZ);
  for(auto& entry : start.axes)
  {
    for(auto& item : entry.parameters)
    {
      item.enabled = !(entry.axis == axis && item.parameter == parameter);
    }
  }
  const auto set = Reference_Set();
  for(std::uint64_t seed = 1; seed <= 3; ++seed)
  {
    QTemporaryDir directory;
    QVERIFY(Export_Set(truth, set, directory.path()));
    Make_Realistic(directory.path(), seed, 0.5);
    Identify::TOptions options = Stated(0.5);
    options.degree = degree;
    const Identify::TResult result = Identify::Run(start, Records(set), Measured::Read({directory.path()}), options);
    QVERIFY(result.misfit);
    QVERIFY(!result.suggestions.empty());
    qInfo() << seed << result.chi2_per_dof << result.suggestions.front().label
            << result.suggestions.front().chi2_per_dof;
    QVERIFY2(result.suggestions.front().label.startsWith(first), qPrintable(result.suggestions.front().label));
    QVERIFY(result.suggestions.front().chi2_per_dof < result.chi2_per_dof);
    const QJsonObject best =
        QJsonDocument::fromJson(Identify::Json(result)).object().value("suggestions").toArray().at(0).toObject();
    QCOMPARE(best.value("label").toString(), result.suggestions.front().label);
    QCOMPARE(best.value("chi2_per_dof").toDouble(), result.suggestions.front().chi2_per_dof);
    // Said before anything else, and the residuals listed are the largest twenty.
    QVERIFY(result.report.at(1).startsWith(QLatin1String("The model misses an error: ")));
    const QString expected = QString::fromUtf8("  %1: χ²/ν %2 → %3")
                                 .arg(result.suggestions.front().label)
                                 .arg(result.chi2_per_dof, 0, 'f', 2)
                                 .arg(result.suggestions.front().chi2_per_dof, 0, 'f', 2);
    QCOMPARE(result.report.at(3), expected);
    if(result.outliers.size() > 20)
    {
      QVERIFY(result.report.contains(QStringLiteral("  and %1 more").arg(result.outliers.size() - 20)));
    }
  }
  // The right model on the same kind of files is no misfit.
  if(degree == 3)
  {
    QTemporaryDir directory;
    QVERIFY(Export_Set(truth, set, directory.path()));
    Make_Realistic(directory.path(), 1, 0.5);
    const Identify::TResult result =
        Identify::Run(Zero_Machine(KINEMATIC_XYZ), Records(set), Measured::Read({directory.path()}), Stated(0.5));
    QVERIFY(!result.misfit);
    QVERIFY(result.suggestions.empty());
  }
}

void TTestIdentify::Partial_And_Travel()
{
  // ISO lines determine part of the machine: the verdict says how much, and a parameter moved
  // only through an identified combination says so.
  const TMachineLibrary::TMachineItem truth = Plain_Truth(KINEMATIC_XYZ);
  const auto some =
      Reference_Subset([](const TMeasurement& measurement) { return measurement.Type() == Types::MEASUREMENT_ISO; });
  QTemporaryDir directory;
  QVERIFY(Export_Set(truth, some, directory.path()));
  Make_Realistic(directory.path(), 2, 0.5);
  const Identify::TResult partial =
      Identify::Run(Zero_Machine(KINEMATIC_XYZ), Records(some), Measured::Read({directory.path()}), Stated(0.5));
  QCOMPARE(partial.status, Identify::TStatus::FITTED);
  QCOMPARE(partial.verdict, Identify::TVerdict::PARTLY_IDENTIFIED);
  QVERIFY(partial.rank > 0 && partial.rank < partial.unknowns);
  QCOMPARE(partial.report.at(partial.report.size() - 2).left(48),
           QStringLiteral("Verdict: partly identified: %1 of %2 directions").arg(partial.rank).arg(partial.unknowns));
  QCOMPARE(QJsonDocument::fromJson(Identify::Json(partial)).object().value("verdict").toString(),
           QStringLiteral("partly identified"));
  const auto moved = std::find_if(partial.parameters.begin(), partial.parameters.end(),
                                  [](const Identify::TParameter& parameter) { return parameter.moved; });
  QVERIFY(moved != partial.parameters.end());
  QVERIFY(!moved->identified);
  const auto line = std::find_if(partial.report.begin(), partial.report.end(),
                                 [&moved](const QString& text)
                                 { return text.startsWith(QStringLiteral("  %1 ").arg(moved->label, -26)); });
  QVERIFY(line != partial.report.end());
  QVERIFY(line->endsWith(QStringLiteral("  not identified on its own; moved by an identified combination (the value "
                                        "written is one of many that fit)")));

  // A machine 200 mm shorter in X than the one measured: the files that reach beyond it are left
  // out by name, and as they outweigh the rest nothing is identified.
  const auto set = Reference_Set();
  QTemporaryDir full;
  QVERIFY(Export_Set(truth, set, full.path()));
  TMachineLibrary::TMachineItem shorter = Zero_Machine(KINEMATIC_XYZ);
  shorter.axis_maximum.x = 800.0;
  const Identify::TResult outside =
      Identify::Run(shorter, Records(set), Measured::Read({full.path()}), Identify::TOptions());
  QCOMPARE(outside.status, Identify::TStatus::OUTSIDE_TRAVEL);
  QCOMPARE(outside.verdict, Identify::TVerdict::NOT_IDENTIFIED);
  QCOMPARE(outside.report.back(),
           QStringLiteral("Verdict: not identified: the files do not fit this machine's travel"));
  QVERIFY(outside.report.contains(QStringLiteral(
      "  Lumetra/Zarnik ISO X.dat: row 5 at 1000.000, 0.000, -600.000 mm lies outside the machine's travel "
      "X 0 to 800, Y 0 to 800, Z -600 to 0 mm (5 mm margin)")));
}

void TTestIdentify::Resolution_From_Machine_data()
{
  QTest::addColumn<bool>("lasers");
  QTest::newRow("every test") << true;
  QTest::newRow("no laser") << false;
}

void TTestIdentify::Resolution_From_Machine()
{
  // Readings twice as noisy as stated against the A of the machine's MPE: the rank counts no
  // direction, and the report prints no uncertainty, above the resolution once scaled.
  QFETCH(bool, lasers);
  TMachineLibrary::TMachineItem start = Zero_Machine(KINEMATIC_XYZ);
  start.has_mpe = true;
  start.mpe_a = 1.5;
  start.mpe_k = 333.0;
  const auto set = Reference_Subset([lasers](const TMeasurement& measurement)
                                    { return lasers || measurement.Type() != Types::MEASUREMENT_LASER; });
  QTemporaryDir directory;
  QVERIFY(Export_Set(Plain_Truth(KINEMATIC_XYZ), set, directory.path()));
  Make_Realistic(directory.path(), 4, 1.0);
  Identify::TOptions options = Stated(0.5);
  options.resolution_from_machine = true;
  const Identify::TResult result = Identify::Run(start, Records(set), Measured::Read({directory.path()}), options);
  QCOMPARE(result.status, Identify::TStatus::FITTED);
  QCOMPARE(result.resolution, 1.5);
  QVERIFY(result.report.contains(QString::fromUtf8("Resolution: 1.5 from the machine's MPE (µm for scale and "
                                                   "deflection, µrad for angles and squareness, within the travel)")));
  QVERIFY(result.birge > 1.5);
  double largest = 0.0;
  for(const Identify::TFunctionBand& band : result.bands)
  {
    for(const double u : band.u)
    {
      largest = std::max(largest, u * 1000.0);
    }
  }
  qInfo() << "rank" << result.rank << "birge" << result.birge << "largest u" << largest;
  QVERIFY(largest <= 1.5);
  // Without the machine's MPE, or with a resolution given, as before.
  options.resolution_from_machine = false;
  QCOMPARE(Identify::Run(start, Records(set), Measured::Read({directory.path()}), options).resolution, 100.0);
}

void TTestIdentify::Noisier_Than_Stated()
{
  // Readings twice as noisy as stated, outliers rejected one at a time: each refit has its own
  // iteration budget, and each rejected reading is listed once.
  const auto set = Reference_Set();
  for(std::uint64_t seed = 1; seed <= 3; ++seed)
  {
    QTemporaryDir directory;
    QVERIFY(Export_Set(Plain_Truth(KINEMATIC_XYZ), set, directory.path()));
    Make_Realistic(directory.path(), seed, 1.0);
    Identify::TOptions options = Stated(0.5);
    options.reject_outliers = true;
    const Identify::TResult result =
        Identify::Run(Zero_Machine(KINEMATIC_XYZ), Records(set), Measured::Read({directory.path()}), options);
    QVERIFY2(result.converged, qPrintable(result.failure));
    QVERIFY(std::count_if(result.outliers.begin(), result.outliers.end(),
                          [](const Identify::TOutlier& outlier) { return outlier.rejected; }) > 0);
    for(std::size_t a = 0; a < result.outliers.size(); ++a)
    {
      for(std::size_t b = a + 1; b < result.outliers.size(); ++b)
      {
        QVERIFY(result.outliers[a].file != result.outliers[b].file ||
                result.outliers[a].line != result.outliers[b].line ||
                result.outliers[a].quantity != result.outliers[b].quantity);
      }
    }
    if(seed > 1)
    {
      continue;
    }
    // The functions as printed, at exact quarters of the travel, in the JSON too.
    const QJsonObject json = QJsonDocument::fromJson(Identify::Json(result)).object();
    QCOMPARE(json.value("birge_ratio").toDouble(), result.birge);
    QVERIFY(json.value("alignment").toArray().at(0).toObject().value("u").toDouble() > 0.0);
    const QJsonObject z = json.value("functions").toArray().at(11).toObject();
    QCOMPARE(z.value("label").toString(), QStringLiteral("Z Axis Scale"));
    QCOMPARE(z.value("unit").toString(), QString::fromUtf8("µm"));
    const QJsonArray positions = z.value("positions").toArray();
    QCOMPARE(positions.size(), 5);
    QCOMPARE(positions.at(1).toObject().value("position_mm").toDouble(), -450.0);
    const QString line = QString::fromUtf8("  Z Axis Scale      -600 mm: %1 ± %2  -450 mm: ")
                             .arg(positions.at(0).toObject().value("value").toDouble(), 0, 'f', 3)
                             .arg(positions.at(0).toObject().value("u").toDouble(), 0, 'f', 3);
    QVERIFY(std::any_of(result.report.begin(), result.report.end(),
                        [&line](const QString& text) { return text.startsWith(line); }));
  }
}

QTEST_GUILESS_MAIN(TTestIdentify)
#include "test_identify.moc"
