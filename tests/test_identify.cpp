// Identification of machine errors from measured files: the readers, the fit against truth
// machines exported by the program itself, the null directions, bad input.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

#include "src/model/export.h"
#include "src/model/identify.h"
#include "src/model/machinelibrary.h"
#include "src/model/measuredfile.h"
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
};

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
