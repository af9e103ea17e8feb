// The plan of a calibration: its ranks against identification's on exported files of each
// prefix, duplicates, budgets, machines and candidates that cannot be planned, the batch tool.

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

#include "src/model/export.h"
#include "src/model/identify.h"
#include "src/model/machinelibrary.h"
#include "src/model/measuredfile.h"
#include "src/model/measurementlibrary.h"
#include "src/model/plan.h"
#include "src/model/simulation.h"
#include "tests/identify_cases.h"
#include "tests/test_support.h"

using namespace Identify_Cases;

namespace
{
using TSet = std::vector<std::unique_ptr<TMeasurement>>;

// Exports the measurements of set at indices on machine into directory.
bool Export_Some(const TMachineLibrary::TMachineItem& machine, const TSet& set, const std::vector<int>& indices,
                 const QString& directory)
{
  TMachineLibrary library;
  const int id = library.Create_Machine(machine.name);
  TMachineLibrary::TMachineItem copy = machine;
  copy.id = id;
  *library.Machine(id) = copy;
  TMachineComp comp;
  if(!Simulation::Update_Machine_Comp(library, machine.name, &comp, nullptr))
  {
    return false;
  }
  std::vector<TMeasurement*> pointers;
  for(const int index : indices)
  {
    pointers.push_back(set[index].get());
  }
  Export::TResult result;
  return Export::Export_Measurements(&comp, &pointers, directory, &result) == Export::TStatus::WRITTEN &&
         result.failures.isEmpty();
}

std::vector<int> All(const TSet& set)
{
  std::vector<int> indices;
  for(std::size_t index = 0; index < set.size(); ++index)
  {
    indices.push_back(static_cast<int>(index));
  }
  return indices;
}

// Ten candidates of the reference set (two stylus lengths, diagonals, lasers, a gauge).
TSet Ten_Candidates()
{
  TSet set = Reference_Set();
  TSet ten;
  for(const int index : {0, 2, 5, 6, 7, 9, 10, 13, 14, 16})
  {
    ten.push_back(std::move(set[index]));
  }
  return ten;
}

TSet Ballbars_Only()
{
  TSet set = Reference_Set();
  TSet bars;
  for(int index = 0; index < 6; ++index)
  {
    bars.push_back(std::move(set[index]));
  }
  return bars;
}
} // namespace

Q_DECLARE_METATYPE(std::shared_ptr<TSet>)

class TTestPlan : public QObject
{
  Q_OBJECT

private slots:
  void Prefix_Ranks_data();
  void Prefix_Ranks();
  void Duplicate_Not_Chosen();
  void Cannot_Plan_data();
  void Cannot_Plan();
  void Budget_And_Unknowns();
  void Batch_End_To_End();
};

void TTestPlan::Prefix_Ranks_data()
{
  QTest::addColumn<int>("kinematic");
  QTest::addColumn<std::shared_ptr<TSet>>("set");
  QTest::addColumn<bool>("absolute");
  QTest::newRow("ten candidates, alignment fitted")
      << int(KINEMATIC_XYZ) << std::make_shared<TSet>(Ten_Candidates()) << false;
  QTest::newRow("ten candidates, absolute") << int(KINEMATIC_YZX) << std::make_shared<TSet>(Ten_Candidates()) << true;
  QTest::newRow("ball bars only") << int(KINEMATIC_XZY) << std::make_shared<TSet>(Ballbars_Only()) << false;
}

// The rank of every prefix is the rank identification reports for the files of that prefix;
// the plan ends at the rank of every candidate; the largest u/R never rises once it is known.
void TTestPlan::Prefix_Ranks()
{
  QFETCH(int, kinematic);
  QFETCH(std::shared_ptr<TSet>, set);
  QFETCH(bool, absolute);
  Plan::TOptions options;
  options.identify.absolute_straightness = absolute;
  const TMachineLibrary::TMachineItem start = Zero_Machine(kinematic, QStringLiteral("Start"));
  const Plan::TResult plan = Plan::Run(start, Records(*set), All(*set), options);
  QCOMPARE(plan.status, Plan::TStatus::PLANNED);
  QVERIFY(!plan.steps.empty());

  std::vector<int> prefix;
  double previous = INFINITY;
  int rows = 0;
  for(const Plan::TStep& step : plan.steps)
  {
    prefix.push_back(step.candidate);
    QTemporaryDir directory;
    QVERIFY(Export_Some(Truth_Machine(kinematic), *set, prefix, directory.path()));
    const Identify::TResult identified =
        Identify::Run(start, Records(*set), Measured::Read({directory.path()}), options.identify);
    QCOMPARE(step.rank, identified.rank);
    // The plan counts rows as identification does: its "Rows used" of the same files.
    rows += step.rows;
    const QString used = identified.report.filter(QStringLiteral("Rows used: ")).value(0);
    int counted = 0;
    for(const QString& word : used.split(QRegularExpression(QStringLiteral("[ ,]+"))))
    {
      counted += word.toInt();
    }
    QVERIFY2(!used.isEmpty() && counted == rows, qPrintable(used));
    if(step.full_rank)
    {
      QVERIFY(step.largest_ratio <= previous);
      previous = step.largest_ratio;
    }
  }
  QCOMPARE(plan.steps.back().rank, plan.reachable_rank);
  QTemporaryDir everything;
  QVERIFY(Export_Some(Truth_Machine(kinematic), *set, All(*set), everything.path()));
  const Identify::TResult all =
      Identify::Run(start, Records(*set), Measured::Read({everything.path()}), options.identify);
  QCOMPARE(plan.reachable_rank, all.rank);
  QCOMPARE(plan.full_rank, all.rank == all.unknowns);
  if(plan.full_rank)
  {
    QCOMPARE(plan.report.back(), QStringLiteral("Every error parameter is identified by this plan."));
    QVERIFY(plan.not_identified.isEmpty());
  }
  else
  {
    // What stays unknown is named, with identification's hints.
    QVERIFY(!plan.not_identified.isEmpty());
    const int header = plan.report.indexOf(QStringLiteral("Not identified with every candidate (%1 of %2 parameters):")
                                               .arg(plan.not_identified.size())
                                               .arg(plan.unknowns));
    QVERIFY(header > 0 && header + 1 < plan.report.size());
    QVERIFY(plan.report[header + 1].contains(QStringLiteral("would separate it")));
  }
}

void TTestPlan::Duplicate_Not_Chosen()
{
  TSet set = Ten_Candidates();
  std::unique_ptr<TMeasurement> copy = Copy_Measurement(*set[7]); // the X laser
  copy->d_name = QStringLiteral("Laser X again");
  set.insert(set.begin() + 8, std::move(copy));
  const Plan::TResult plan = Plan::Run(Zero_Machine(KINEMATIC_XYZ), Records(set), All(set), Plan::TOptions());
  QCOMPARE(plan.status, Plan::TStatus::PLANNED);
  // A copy adds nothing that an identification could tell from reading the original twice.
  bool original = false;
  bool full = false;
  for(const Plan::TStep& step : plan.steps)
  {
    QVERIFY(step.measurement != QStringLiteral("Laser X again") || !original || full);
    original = original || step.measurement == QStringLiteral("Laser X");
    full = step.full_rank;
  }
  QVERIFY(original);
}

void TTestPlan::Cannot_Plan_data()
{
  QTest::addColumn<bool>("parameters");
  QTest::addColumn<QString>("expression");
  QTest::addColumn<int>("status");
  QTest::addColumn<QString>("line");
  QTest::newRow("no enabled parameter") << false << QStringLiteral("600") << int(Plan::TStatus::NO_PARAMETERS)
                                        << QStringLiteral("The machine has no enabled error parameter: there is "
                                                          "nothing to identify, so no test to plan.");
  QTest::newRow("a candidate that does not evaluate")
      << true << QStringLiteral("600+") << int(Plan::TStatus::FAILED)
      << QStringLiteral("The candidate \"Bar XY\" cannot be simulated: BallBar_Measurement Expression: ");
}

void TTestPlan::Cannot_Plan()
{
  QFETCH(bool, parameters);
  QFETCH(QString, expression);
  QFETCH(int, status);
  QFETCH(QString, line);
  TMachineLibrary::TMachineItem machine = Zero_Machine(KINEMATIC_XYZ);
  if(!parameters)
  {
    Disable_All_But(&machine, {});
  }
  TSet set = Ten_Candidates();
  static_cast<TMeasurement_Ballbar*>(set[0].get())->d_length_expression = expression;
  const Plan::TResult plan = Plan::Run(machine, Records(set), All(set), Plan::TOptions());
  QCOMPARE(int(plan.status), status);
  QVERIFY(plan.steps.empty());
  QVERIFY2(plan.report.back().startsWith(line), qPrintable(plan.report.back()));
  QVERIFY(plan.status != Plan::TStatus::FAILED || plan.failure.startsWith(QStringLiteral("Bar XY: ")));
}

// A budget of one is one test, the one that raises the rank most; the rest of the report says
// how far every candidate would go.
void TTestPlan::Budget_And_Unknowns()
{
  TSet set = Ten_Candidates();
  Plan::TOptions options;
  options.budget = 1;
  const Plan::TResult plan = Plan::Run(Zero_Machine(KINEMATIC_XYZ), Records(set), All(set), options);
  QCOMPARE(plan.steps.size(), std::size_t(1));
  QVERIFY(!plan.full_rank);
  for(const std::vector<int>& other : {std::vector<int>{0}, std::vector<int>{7}, std::vector<int>{9}})
  {
    Plan::TOptions single;
    single.budget = 1;
    const Plan::TResult alone = Plan::Run(Zero_Machine(KINEMATIC_XYZ), Records(set), other, single);
    QVERIFY(alone.steps.front().rank <= plan.steps.front().rank);
  }
  QVERIFY(plan.report.contains(QStringLiteral("The budget ends the plan at rank %1; every candidate together "
                                              "reaches rank %2.")
                                   .arg(plan.steps.front().rank)
                                   .arg(plan.reachable_rank)));
  const QJsonObject json = QJsonDocument::fromJson(Plan::Json(plan)).object();
  QCOMPARE(json.value("steps").toArray().size(), 1);
  // The step's largest u as its text line gives it, though the plan stops short.
  const QJsonObject step = json.value("steps").toArray().at(0).toObject();
  if(std::isfinite(plan.steps.front().largest_ratio))
  {
    QCOMPARE(step.value("largest_u").toDouble(), plan.steps.front().largest_ratio);
    QCOMPARE(step.value("largest_u_function").toString(), plan.steps.front().largest_function);
  }
  else
  {
    QVERIFY(step.value("largest_u").isNull());
  }
  QCOMPARE(json.value("full_rank").toBool(), false);

  // Without a resolution given, the A of the machine's MPE is the resolution, as identification
  // takes it, and the report says so.
  TMachineLibrary::TMachineItem with_mpe = Zero_Machine(KINEMATIC_XYZ);
  with_mpe.has_mpe = true;
  with_mpe.mpe_a = 2.5;
  with_mpe.mpe_k = 300.0;
  Plan::TOptions from_machine;
  from_machine.budget = 1;
  from_machine.identify.resolution_from_machine = true;
  const Plan::TResult mpe = Plan::Run(with_mpe, Records(set), All(set), from_machine);
  QVERIFY(mpe.report.contains(
      QString::fromUtf8("Uncertainties (k = 1) compared as u/R with R = 2.5 µm or µrad (from the machine's MPE)")));
}

void TTestPlan::Batch_End_To_End()
{
  QTemporaryDir data;
  TMachineLibrary machines;
  machines.Set_Data_Path(data.path());
  TMachineLibrary::TMachineItem machine = Zero_Machine(KINEMATIC_XYZ, QStringLiteral("Start"));
  const int id = machines.Create_Machine(machine.name);
  machine.id = id;
  *machines.Machine(id) = machine;
  QVERIFY(machines.Save());
  TMeasurementLibrary measurements;
  measurements.Set_Data_Path(data.path());
  for(auto& measurement : Ten_Candidates())
  {
    measurements.Append_Measurement(std::move(measurement));
  }
  QVERIFY(measurements.Save());

  const QString json = QDir(data.path()).filePath(QStringLiteral("plan.json"));
  // The tool, with the data folder as its home.
  const auto run = [&data](const QStringList& arguments)
  { return Test_Support::Run_Batch(arguments, Test_Support::Batch_Environment(data.path())); };
  const Test_Support::TBatchResult planned = run({"plan", "--data", data.path(), "--machine", "Start", "--json", json});
  QCOMPARE(planned.code, 0);
  const QJsonObject root = QJsonDocument::fromJson(Test_Support::Read(json)).object();
  QCOMPARE(root.value("machine").toString(), QStringLiteral("Start"));
  QCOMPARE(root.value("unknowns").toInt(), 40);
  const QJsonArray steps = root.value("steps").toArray();
  QVERIFY(!steps.isEmpty());
  const QString report = QString::fromUtf8(planned.out);
  for(int index = 0; index < steps.size(); ++index)
  {
    const QJsonObject step = steps.at(index).toObject();
    QVERIFY(report.contains(QStringLiteral("%1. %2 (").arg(index + 1).arg(step.value("measurement").toString())));
    QVERIFY(report.contains(QStringLiteral("Rank: %1 of 40 unknowns").arg(step.value("rank").toInt())));
    QVERIFY(step.value("readings").toInt() > 0);
    QVERIFY(step.value("largest_u").isNull() || step.value("largest_u").isDouble());
    // Every step whose text names its largest u has it here too.
    const QString function = step.value("largest_u_function").toString();
    QCOMPARE(step.value("largest_u").isDouble(), !function.isEmpty());
    QVERIFY(function.isEmpty() || report.contains(QStringLiteral(") of %1").arg(function)));
  }
  QCOMPARE(root.value("full_rank").toBool(), root.value("not_identified").toArray().isEmpty());

  const Test_Support::TBatchResult unknown =
      run({"plan", "--data", data.path(), "--machine", "Start", "--candidate", "Nothing"});
  QCOMPARE(unknown.code, 2);
  QVERIFY(unknown.err.contains("no measurement named 'Nothing'"));
}

QTEST_GUILESS_MAIN(TTestPlan)
#include "test_plan.moc"
