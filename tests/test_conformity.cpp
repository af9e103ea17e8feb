// The conformity decision and the propagation of an identified machine's covariance: the rule's
// edge cases, the MPE texts, the stored fields, the linear u against a hand calculation and the
// Monte Carlo against the linear one; then varlume-batch conformity end to end.

#include <QtTest>

#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "src/model/conformity.h"
#include "src/model/export.h"
#include "src/model/machinelibrary.h"
#include "src/model/measurementlibrary.h"
#include "src/model/propagation.h"
#include "src/model/simulation.h"
#include "tests/test_support.h"

Q_DECLARE_METATYPE(Conformity::TRule)
Q_DECLARE_METATYPE(Conformity::TDecision)

namespace
{
using Conformity::TDecision;
using Conformity::TRule;
using Test_Support::Read;

const double INF = std::numeric_limits<double>::infinity();

// A machine of 1000 mm in each axis with scale errors, a squareness and a covariance over four
// parameters, the last of which identification did not determine.
void Make_Machine(TMachineLibrary* library)
{
  const int id = library->Create_Machine(QStringLiteral("Identified"));
  TMachineLibrary::TMachineItem* machine = library->Machine(id);
  Test_Support::Enable_Parameter(machine, AXIS_X, PARAMETER_SCALE, QStringLiteral("0.005 * L"));
  Test_Support::Enable_Parameter(machine, AXIS_Y, PARAMETER_SCALE, QStringLiteral("0.003 * L^2"));
  Test_Support::Enable_Parameter(machine, AXIS_Z, PARAMETER_SCALE, QStringLiteral("0.002 * L"));
  Test_Support::Enable_Parameter(machine, AXIS_SQUARENESS, PARAMETER_QXY, QStringLiteral("0.01"));
  machine->has_mpe = true;
  machine->mpe_a = 1.5;
  machine->mpe_k = 333.0;
  machine->mpe_has_b = true;
  machine->mpe_b = 6.0;
  machine->covariance_labels = QStringList{"X Axis Scale c1", "Y Axis Scale c2", "QXY", "Z Axis Scale c1"};
  machine->covariance = {1e-6, 2e-7, 0.0, 0.0, 2e-7, 4e-6, 1e-7, 0.0, 0.0, 1e-7, 2.5e-5, 0.0, 0.0, 0.0, 0.0, INF};
}

// A line along X (sees X scale alone) and a space diagonal (sees Z scale as well).
void Make_Measurements(TMeasurementLibrary* library)
{
  library->Append_Measurement(
      Test_Support::Iso(QStringLiteral("Along X"), {"XMin + 100", "YMid", "ZMid", "XMax - 100", "YMid", "ZMid"}));
  library->Append_Measurement(Test_Support::Iso(
      QStringLiteral("Diagonal"), {"XMin + 50", "YMin + 50", "ZMin + 50", "XMax - 50", "YMax - 50", "ZMax - 50"}));
}

std::vector<const TMeasurement*> Records(const TMeasurementLibrary& library)
{
  const std::vector<TMeasurement*> all = library.All_Measurements();
  return std::vector<const TMeasurement*>(all.begin(), all.end());
}
} // namespace

class TTestConformity : public QObject
{
  Q_OBJECT

private:
  TMachineLibrary d_machines;
  TMeasurementLibrary d_measurements;
  QTemporaryDir d_data;
  Test_Support::TTemporaryHome d_home;
  QTemporaryDir d_output;

  const TMachineLibrary::TMachineItem& Machine() const { return d_machines.Machines().front(); }

  // varlume-batch conformity (or another command) on the data directory.
  Test_Support::TBatchResult Batch(const QStringList& arguments, const QByteArray& jobs = QByteArray(),
                                   const QString& command = QStringLiteral("conformity"))
  {
    QProcessEnvironment environment = Test_Support::Batch_Environment(d_home.Path());
    if(!jobs.isEmpty())
    {
      environment.insert("VARLUME_JOBS", QString::fromLatin1(jobs));
    }
    return Test_Support::Run_Batch(QStringList{command, "--data", d_data.path()} + arguments, environment, 120000);
  }

  QString File(const QString& name) const { return QDir(d_output.path()).filePath(name); }

private slots:
  void initTestCase()
  {
    QVERIFY(d_home.Set_Up());
    Make_Machine(&d_machines);
    d_machines.Create_Machine(QStringLiteral("Plain"));
    Make_Measurements(&d_measurements);
    d_machines.Set_Data_Path(d_data.path());
    d_measurements.Set_Data_Path(d_data.path());
    QVERIFY(d_machines.Save_Data());
    QVERIFY(d_measurements.Save_Data());
  }

  void Decide_data()
  {
    QTest::addColumn<TRule>("rule");
    QTest::addColumn<double>("deviation");
    QTest::addColumn<double>("expanded");
    QTest::addColumn<double>("mpe");
    QTest::addColumn<TDecision>("decision");
    QTest::newRow("simple, E at MPE") << TRule::SIMPLE << 4.0 << 1.0 << 4.0 << TDecision::PASS;
    QTest::newRow("simple, negative E at MPE") << TRule::SIMPLE << -4.0 << 1.0 << 4.0 << TDecision::PASS;
    QTest::newRow("simple, E beyond MPE") << TRule::SIMPLE << 4.000001 << 0.0 << 4.0 << TDecision::FAIL;
    QTest::newRow("guarded, |E| + U at MPE") << TRule::GUARDED << -3.0 << 1.0 << 4.0 << TDecision::PASS;
    QTest::newRow("guarded, within U of MPE") << TRule::GUARDED << 3.5 << 1.0 << 4.0 << TDecision::INCONCLUSIVE;
    QTest::newRow("guarded, |E| - U at MPE") << TRule::GUARDED << 5.0 << 1.0 << 4.0 << TDecision::INCONCLUSIVE;
    QTest::newRow("guarded, |E| - U beyond MPE") << TRule::GUARDED << -5.5 << 1.0 << 4.0 << TDecision::FAIL;
    QTest::newRow("guarded, U above MPE, E zero") << TRule::GUARDED << 0.0 << 4.5 << 4.0 << TDecision::INCONCLUSIVE;
    QTest::newRow("guarded, u infinite") << TRule::GUARDED << 0.1 << INF << 4.0 << TDecision::INCONCLUSIVE;
  }

  void Decide()
  {
    QFETCH(TRule, rule);
    QFETCH(double, deviation);
    QFETCH(double, expanded);
    QFETCH(double, mpe);
    QFETCH(TDecision, decision);
    QCOMPARE(Conformity::Decide(rule, deviation, expanded, mpe), decision);
  }

  void Mpe_data()
  {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<double>("length");
    QTest::addColumn<double>("mpe");
    QTest::newRow("below the breakpoint") << "1.5,333,6" << true << 333.0 << 2.5;
    QTest::newRow("at the breakpoint") << "1.5,333,6" << true << 1498.5 << 6.0;
    QTest::newRow("capped") << "1.5,333,6" << true << 3000.0 << 6.0;
    QTest::newRow("no cap") << "1.5,333" << true << 3330.0 << 11.5;
    QTest::newRow("no cap, empty B") << "1.5,333," << true << 3330.0 << 11.5;
    QTest::newRow("K zero") << "1.5,0,6" << false << 0.0 << 0.0;
    QTest::newRow("K negative") << "1.5,-333" << false << 0.0 << 0.0;
    QTest::newRow("A negative") << "-1,333" << false << 0.0 << 0.0;
    QTest::newRow("one field") << "1.5" << false << 0.0 << 0.0;
    QTest::newRow("four fields") << "1.5,333,6,7" << false << 0.0 << 0.0;
    QTest::newRow("not a number") << "1.5,K,6" << false << 0.0 << 0.0;
  }

  void Mpe()
  {
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(double, length);
    QFETCH(double, mpe);
    Conformity::TMpe parsed;
    QString error;
    QCOMPARE(Conformity::Parse_Mpe(text, &parsed, &error), valid);
    QCOMPARE(error.isEmpty(), valid);
    if(valid)
    {
      QCOMPARE(parsed.At(length), mpe);
    }
  }

  // The new fields survive a save and a load exactly, an infinite variance included; a record
  // without them writes no trace of them.
  void Stored_Fields()
  {
    TMachineLibrary loaded;
    loaded.Set_Data_Path(d_data.path());
    QVERIFY(loaded.Load_Data());
    const TMachineLibrary::TMachineItem& machine = loaded.Machines().front();
    QVERIFY(machine.has_mpe);
    QCOMPARE(machine.mpe_k, 333.0);
    QVERIFY(machine.mpe_has_b);
    QCOMPARE(machine.covariance_labels, Machine().covariance_labels);
    QCOMPARE(machine.covariance.size(), Machine().covariance.size());
    for(std::size_t index = 0; index < machine.covariance.size(); ++index)
    {
      QCOMPARE(machine.covariance[index], Machine().covariance[index]);
    }

    TMachineLibrary plain;
    plain.Create_Machine(QStringLiteral("Plain"));
    TMachineLibrary::TMachineItem* record = plain.Machine(plain.Machine_Id(QStringLiteral("Plain")));
    record->has_mpe = true;
    record->mpe_a = 0.1 + 0.2; // needs all 17 digits
    record->mpe_k = 1000.0;
    TMachineLibrary again;
    QVERIFY(again.Load_Data(plain.Snapshot()));
    QCOMPARE(again.Machines().front().mpe_a, 0.1 + 0.2);
    QVERIFY(!again.Machines().front().mpe_has_b);
    record->has_mpe = false;
    QVERIFY(!plain.Snapshot().contains("MPE_E0"));
    QVERIFY(!plain.Snapshot().contains("Covariance"));
  }

  // A stored covariance or MPE that breaks a rule is left out of its machine alone, with the
  // file, the line and the rule; the machine after it loads whole.
  void Stored_Rules_data()
  {
    QTest::addColumn<QStringList>("replace"); // pairs of texts: the stored one, the one put instead
    QTest::addColumn<QString>("marker");      // its last place is on the line named
    QTest::addColumn<QString>("rule");        // the start of the message after the machine; empty: kept
    const QString covariance = "the covariance is not used: ";
    const QString mpe = "the MPE is not used: ";
    QTest::newRow("negative variance") << QStringList{"<Row>1e-06 2e-07", "<Row>-1e-06 2e-07"} << "<Row>-1e-06"
                                       << covariance + "the variance of 'X Axis Scale c1' is negative (-1e-06)";
    QTest::newRow("NaN") << QStringList{"<Row>2e-07 4e-06 1e-07", "<Row>2e-07 4e-06 nan", "<Row>0 1e-07", "<Row>0 nan"}
                         << "<Row>2e-07 4e-06 nan"
                         << covariance + "the entry of 'Y Axis Scale c2' and 'QXY' is not a number (nan)";
    QTest::newRow("asymmetric") << QStringList{"<Row>1e-06 2e-07", "<Row>1e-06 9e-07"} << "<Row>2e-07 4e-06"
                                << covariance + "it is not symmetric: 'X Axis Scale c1' with 'Y Axis Scale c2' is "
                                                "9e-07, 'Y Axis Scale c2' with 'X Axis Scale c1' is 2e-07";
    QTest::newRow("infinite covariance of determined parameters")
        << QStringList{"<Row>1e-06 2e-07", "<Row>1e-06 inf", "<Row>2e-07 4e-06", "<Row>inf 4e-06"} << "<Row>1e-06 inf"
        << covariance + "the covariance of 'X Axis Scale c1' and 'Y Axis Scale c2' is inf, but both variances are "
                        "finite";
    QTest::newRow("label twice") << QStringList{"<Label>QXY<", "<Label>X Axis Scale c1<"} << "<Label>X Axis Scale c1"
                                 << covariance + "the label 'X Axis Scale c1' is given twice";
    QTest::newRow("not positive semi-definite")
        << QStringList{"<Row>1e-06 2e-07", "<Row>1e-06 3e-06", "<Row>2e-07 4e-06", "<Row>3e-06 4e-06"} << "<Covariance>"
        << covariance + "it is not positive semi-definite (an eigenvalue is -";
    QTest::newRow("short row") << QStringList{"<Row>0 1e-07 2.5e-05 0<", "<Row>0 1e-07 2.5e-05<"}
                               << "<Row>0 1e-07 2.5e-05<"
                               << covariance + "it is not a matrix of its 4 labels (row 3 of 3 numbers)";
    QTest::newRow("word") << QStringList{"<Row>0 0 0 inf<", "<Row>0 0 0 x<"} << "<Row>0 0 0 x"
                          << covariance + "'x' in row 4 is not a number";
    QTest::newRow("rounding asymmetry kept")
        << QStringList{"<Row>1e-06 2e-07", "<Row>1e-06 2.0000000000001e-07"} << QString() << QString();
    QTest::newRow("infinite covariances of an undetermined parameter kept")
        << QStringList{"<Row>0 1e-07 2.5e-05 0<", "<Row>0 1e-07 2.5e-05 inf<", "<Row>0 0 0 inf<", "<Row>0 0 inf inf<"}
        << QString() << QString();
    QTest::newRow("singular kept") << QStringList{"<Row>1e-06 2e-07 0 0<",     "<Row>4e-06 4e-06 0 0<",
                                                  "<Row>2e-07 4e-06 1e-07 0<", "<Row>4e-06 4e-06 0 0<",
                                                  "<Row>0 1e-07 2.5e-05 0<",   "<Row>0 0 2.5e-05 0<"}
                                   << QString() << QString();
    QTest::newRow("A NaN") << QStringList{"<A>1.5<", "<A>nan<"} << "<MPE_E0>"
                           << mpe + "A must be a number of at least 0 µm; stored A = nan, K = 333, B = 6";
    QTest::newRow("B infinite") << QStringList{"<B>6<", "<B>inf<"} << "<MPE_E0>"
                                << mpe + "B must be a number above 0 µm, or left out for no cap; stored A = 1.5, "
                                         "K = 333, B = inf";
    QTest::newRow("B below A") << QStringList{"<B>6<", "<B>1<"} << "<MPE_E0>"
                               << mpe + "B must not be below A; stored A = 1.5, K = 333, B = 1";
    QTest::newRow("K missing") << QStringList{"<K>333</K>", ""} << "<MPE_E0>" << mpe + "it has no K";
    QTest::newRow("K a word") << QStringList{"<K>333<", "<K>k<"} << "<K>k" << mpe + "K 'k' is not a number";
  }

  void Stored_Rules()
  {
    QFETCH(QStringList, replace);
    QFETCH(QString, marker);
    QFETCH(QString, rule);
    QByteArray content = Read(QDir(d_data.path()).filePath("machines.xml"));
    for(int index = 0; index + 1 < replace.size(); index += 2)
    {
      QVERIFY2(content.contains(replace[index].toUtf8()), qPrintable(replace[index]));
      content.replace(replace[index].toUtf8(), replace[index + 1].toUtf8());
    }
    QTemporaryDir tmp;
    QVERIFY(Test_Support::Write(QDir(tmp.path()).filePath("machines.xml"), content));
    TMachineLibrary library;
    library.Set_Data_Path(tmp.path());
    QVERIFY2(library.Load_Data(), qPrintable(library.Last_Error()));
    QCOMPARE(library.Machine_Names(), (QStringList{"Identified", "Plain"}));
    const TMachineLibrary::TMachineItem& machine = library.Machines().front();
    const QStringList warnings = library.Load_Warnings();
    const bool mpe_left_out = rule.startsWith("the MPE");
    QCOMPARE(machine.has_mpe, !mpe_left_out);
    QCOMPARE(Propagation::Has_Covariance(machine), rule.isEmpty() || mpe_left_out);
    if(rule.isEmpty())
    {
      QCOMPARE(warnings, QStringList());
      return;
    }
    const int line = content.left(content.lastIndexOf(marker.toUtf8())).count('\n') + 1;
    QCOMPARE(warnings.size(), 1);
    const QString expected =
        QStringLiteral("%1:%2: machine 'Identified': %3").arg(library.File_Name()).arg(line).arg(rule);
    QVERIFY2(warnings.front().startsWith(expected), qPrintable(warnings.front() + "\n" + expected));
  }

  // A number too wide for a column of the report comes in the scientific form.
  void Wide_Numbers()
  {
    Conformity::TReport report;
    report.ok = true;
    report.machine = QStringLiteral("Huge");
    report.propagated = true;
    report.options.mpe.a = 1.5;
    report.options.mpe.k = 333.0;
    Conformity::TRow row;
    row.measurement = QStringLiteral("Along X");
    row.length = 160.0;
    row.deviation = 1.25;
    row.has_u = true;
    row.u = 1e157;
    Conformity::Decide_Row(report.options, &row);
    report.rows.push_back(row);
    const QStringList lines = Conformity::Report_Lines(report);
    const auto found =
        std::find_if(lines.begin(), lines.end(), [](const QString& line) { return line.startsWith("   1 "); });
    QVERIFY(found != lines.end());
    QCOMPARE(*found,
             QStringLiteral("   1   160.0000     1.2500     1.9805 1.000e+157 2.000e+157     0.6312  inconclusive"));
  }

  // Along X only the X scale acts: u = σ(c1) · L in metres. On the diagonal the undetermined
  // Z scale acts, so u is infinite and the guarded decision inconclusive.
  void Linear_Propagation()
  {
    const Propagation::TLinear linear = Propagation::Linear(Machine(), Records(d_measurements));
    QVERIFY2(linear.ok, qPrintable(linear.error));
    QCOMPARE(linear.readings.size(), std::size_t(10));
    for(int row = 0; row < 5; ++row)
    {
      const Propagation::TReading& reading = linear.readings[static_cast<std::size_t>(row)];
      const double length = (row + 1) * 160.0 / 1000.0;
      QVERIFY(std::fabs(reading.u - 1e-3 * length) < 1e-6 * 1e-3 * length);
      QCOMPARE(reading.gradient[3], 0.0);
      QVERIFY(std::isinf(linear.readings[static_cast<std::size_t>(row + 5)].u));
    }

    Conformity::TOptions options;
    Conformity::Record_Mpe(Machine(), &options.mpe);
    const Conformity::TReport report = Conformity::Simulated(Machine(), Records(d_measurements), options);
    QVERIFY(report.ok);
    QCOMPARE(report.rows.back().decision, TDecision::INCONCLUSIVE);
    QCOMPARE(Conformity::Csv(report).split('\n').at(6).split(',').at(5), QByteArray("inf"));
  }

  // The draws agree with the linear propagation, and the numbers do not depend on the threads.
  void Monte_Carlo()
  {
    std::vector<const TMeasurement*> records = {Records(d_measurements).front()};
    TMachineLibrary::TMachineItem machine = Machine();
    // Enough draws for the standard deviation to be known to about 0.5 %.
    const Propagation::TMonteCarlo one = Propagation::Monte_Carlo(machine, records, 20000, 7, 1);
    const Propagation::TMonteCarlo two = Propagation::Monte_Carlo(machine, records, 20000, 7, 2);
    const Propagation::TLinear linear = Propagation::Linear(machine, records);
    QVERIFY2(one.ok, qPrintable(one.error));
    for(std::size_t r = 0; r < linear.readings.size(); ++r)
    {
      QVERIFY(std::fabs(one.deviation[r] / linear.readings[r].u - 1.0) < 0.03);
      // The shortest 95 % interval of a normal spans about ±1.96 σ.
      QVERIFY(std::fabs((one.high[r] - one.low[r]) / (2 * 1.96 * linear.readings[r].u) - 1.0) < 0.05);
      QCOMPARE(two.deviation[r], one.deviation[r]);
      QCOMPARE(two.low[r], one.low[r]);
    }
  }

  // Rotations of every axis turn the arms and the probe: the linear u, taken through the
  // chain's angle derivatives, agrees with draws that simulate every set-up in full.
  void Rotations_Linear_Against_Draws()
  {
    TMachineLibrary library;
    TMachineLibrary::TMachineItem machine = *library.Machine(library.Create_Machine(QStringLiteral("Turned")));
    QStringList labels;
    const int parameters[3] = {PARAMETER_RX, PARAMETER_RY, PARAMETER_RZ};
    const char* names[3] = {"Rx", "Ry", "Rz"};
    for(const int axis : {AXIS_X, AXIS_Y, AXIS_Z})
    {
      const QString axis_name = axis == AXIS_X ? "X" : axis == AXIS_Y ? "Y" : "Z";
      for(int r = 0; r < 3; ++r)
      {
        Test_Support::Enable_Parameter(&machine, axis, parameters[r], QStringLiteral("0.004 * L - 0.002 * L^2"));
        labels << QStringLiteral("%1 Axis %2 c1").arg(axis_name, names[r])
               << QStringLiteral("%1 Axis %2 c2").arg(axis_name, names[r]);
      }
      Test_Support::Enable_Parameter(&machine, axis, PARAMETER_SCALE, QStringLiteral("0.003 * L"));
      labels << QStringLiteral("%1 Axis Scale c1").arg(axis_name);
    }
    machine.covariance_labels = labels;
    const int size = labels.size();
    for(int i = 0; i < size; ++i)
    {
      for(int j = 0; j < size; ++j)
      {
        machine.covariance.push_back((i == j ? 1.0 : 0.2) * 4e-6);
      }
    }
    auto turned = Test_Support::Iso(QStringLiteral("Turned"),
                                    {"XMin + 50", "YMax - 50", "ZMin + 50", "XMax - 50", "YMin + 50", "ZMax - 50"});
    turned->d_probe_offset = TVector3(120.0, -80.0, -200.0);
    const std::vector<const TMeasurement*> records = {turned.get()};

    const Propagation::TLinear linear = Propagation::Linear(machine, records);
    const Propagation::TMonteCarlo draws = Propagation::Monte_Carlo(machine, records, 20000, 3);
    QVERIFY2(linear.ok && draws.ok, qPrintable(linear.error + draws.error));
    for(std::size_t r = 0; r < linear.readings.size(); ++r)
    {
      QVERIFY(linear.readings[r].u > 0.0);
      QVERIFY2(
          std::fabs(draws.deviation[r] / linear.readings[r].u - 1.0) < 0.03,
          qPrintable(
              QStringLiteral("row %1: %2 against %3").arg(r + 1).arg(draws.deviation[r]).arg(linear.readings[r].u)));
    }
  }

  // varlume-batch on a library in which one machine's covariance is none: every machine is
  // listed, that one is decided without the covariance, stderr says where and why, and the
  // library is left as it is.
  void Batch_Covariance_Left_Out()
  {
    QTemporaryDir data;
    QByteArray content = Read(QDir(d_data.path()).filePath("machines.xml"));
    content.replace("<Row>1e-06 2e-07", "<Row>-1e-06 2e-07");
    const QString file = QDir(data.path()).filePath("machines.xml");
    QVERIFY(Test_Support::Write(file, content));
    QVERIFY(
        QFile::copy(QDir(d_data.path()).filePath("measurements.xml"), QDir(data.path()).filePath("measurements.xml")));
    const QProcessEnvironment environment = Test_Support::Batch_Environment(d_home.Path());
    const QByteArray message = QStringLiteral("%1:%2: machine 'Identified': the covariance is not used: the variance")
                                   .arg(file)
                                   .arg(content.left(content.indexOf("<Row>-1e-06")).count('\n') + 1)
                                   .toLocal8Bit();

    Test_Support::TBatchResult run = Test_Support::Run_Batch({"list", "--data", data.path()}, environment);
    QCOMPARE(run.code, 0);
    QVERIFY(run.out.startsWith("Identified\nPlain\n"));
    QVERIFY2(run.err.contains(message), run.err.constData());
    run = Test_Support::Run_Batch({"conformity", "--data", data.path(), "--machine", "Identified", "--measurement",
                                   "Along X", "--test-uncertainty", "0.5,1"},
                                  environment);
    QCOMPARE(run.code, 0);
    QVERIFY(run.out.contains("the machine has no covariance"));
    QVERIFY(run.err.contains(message));
    QCOMPARE(Read(file), content);
  }

  void Batch_Run()
  {
    const QStringList identified = {"--machine", "Identified"};
    // The record's MPE, the linear u, a CSV row per simulated row.
    Test_Support::TBatchResult run =
        Batch(identified + QStringList{"--measurement", "Along X", "--measurement", "Diagonal", "--test-uncertainty",
                                       "0.5,1", "--csv", File("linear.csv")});
    QCOMPARE(run.code, 0);
    QVERIFY(run.out.contains("Identified: Not proven: 9 rows inconclusive"));
    // For scripts, the verdict as the exit code: not proven, conforms, does not conform.
    const QStringList along = identified + QStringList{"--measurement", "Along X", "--exit-code"};
    QCOMPARE(Batch(along + QStringList{"--test-uncertainty", "0.5,1"}).code, 4);
    QCOMPARE(Batch(along + QStringList{"--mpe", "1000,1"}).code, 0);
    QCOMPARE(Batch(along + QStringList{"--mpe", "0.001,1000000", "--rule", "simple"}).code, 3);
    const QList<QByteArray> lines = Read(File("linear.csv")).split('\n');
    QCOMPARE(lines.size(), 12);
    QCOMPARE(lines[0],
             QByteArray("measurement,row,length_mm,deviation_um,mpe_um,u_reading_um,U_um,utilisation,decision"));
    QVERIFY(lines[1].startsWith("Along X,1,160,"));
    // plot --kind conformity writes the same numbers.
    QCOMPARE(Batch(identified + QStringList{"--kind", "conformity", "--measurement", "Along X", "--measurement",
                                            "Diagonal", "--test-uncertainty", "0.5,1", "--csv", File("plot.csv")},
                   QByteArray(), QStringLiteral("plot"))
                 .code,
             0);
    QCOMPARE(Read(File("plot.csv")), Read(File("linear.csv")));

    // The same seed gives the same bytes with any number of threads.
    const QStringList draws =
        identified + QStringList{"--measurement", "Along X", "--draws", "3000", "--seed", "42", "--csv"};
    QCOMPARE(Batch(draws + QStringList{File("one.csv")}, "1").code, 0);
    QCOMPARE(Batch(draws + QStringList{File("two.csv")}, "2").code, 0);
    QCOMPARE(Read(File("one.csv")), Read(File("two.csv")));

    // Measured files: the exported ISO test read back, three readings per length.
    TMachineComp model;
    QVERIFY(Simulation::Setup_Machine_Comp(Simulation::Machine_Record(Machine()), &model, nullptr));
    std::vector<TMeasurement*> list = {d_measurements.All_Measurements().front()};
    QVERIFY(Simulation::Evaluate_Measurement_Expressions(&model, &list, nullptr));
    QVERIFY(Simulation::Update_Measurement_Items(&model, &list));
    Export::TResult exported;
    QVERIFY(QDir(d_output.path()).mkdir("measured"));
    QVERIFY(Export::Write_ISO_Files(model, File("measured"), *list.front(), &exported));
    run = Batch(identified + QStringList{"--measured", File("measured"), "--mpe", "1,100,", "--rule", "simple", "--csv",
                                         File("measured.csv")});
    QCOMPARE(run.code, 0);
    const QList<QByteArray> measured = Read(File("measured.csv")).split('\n');
    QCOMPARE(measured.size(), 17);
    QVERIFY(measured[3].startsWith("Along X,3,160,"));
    QVERIFY(measured[4].startsWith("Along X,4,320,"));

    // Usage errors, and a file that cannot be read.
    run = Batch({"--machine", "Plain", "--measurement", "Along X"});
    QCOMPARE(run.code, 2);
    QVERIFY(run.err.contains("no MPE"));
    QCOMPARE(Batch(identified + QStringList{"--measurement", "Along X", "--mpe", "1,0,3"}).code, 2);
    QCOMPARE(Batch(identified + QStringList{"--measurement", "Along X", "--rule", "strict"}).code, 2);
    QCOMPARE(Batch(identified + QStringList{"--measured", File("none-such.txt"), "--mpe", "1,100"}).code, 1);
  }
};

QTEST_GUILESS_MAIN(TTestConformity)
#include "test_conformity.moc"
