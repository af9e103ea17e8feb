// Compensation: the round trip that catches sign faults (a correction at the model's own step on
// the machine it came from leaves nothing, on every kinematic order with every sign option -1),
// the forms' tables against values worked out by hand, the limits, the uncertainty of what
// remains and the decision after correction; then varlume-batch compensate end to end.

#include <QtTest>

#include <cmath>
#include <limits>
#include <memory>

#include "src/model/compensation/compensation.h"
#include "src/model/machinelibrary.h"
#include "src/model/measurementlibrary.h"
#include "src/model/simulation.h"
#include "tests/test_support.h"

namespace
{
using Compensation::TForm;
using Test_Support::Enable_Parameter;
using TMachineItem = TMachineLibrary::TMachineItem;

// Every kind of test: an ISO space diagonal, a laser along Y, a ball bar and an MCG.
void Make_Measurements(TMeasurementLibrary* library)
{
  library->Append_Measurement(Test_Support::Iso(
      QStringLiteral("Diagonal"), {"XMin + 50", "YMin + 50", "ZMin + 50", "XMax - 50", "YMax - 50", "ZMax - 50"}));
  auto laser = std::make_unique<TMeasurement_Laser>();
  laser->Initialize();
  laser->d_name = QStringLiteral("Laser Y");
  laser->d_start_x_expression = QStringLiteral("XMid");
  laser->d_start_y_expression = QStringLiteral("YMin");
  laser->d_start_z_expression = QStringLiteral("ZMid");
  laser->d_end_x_expression = QStringLiteral("XMid");
  laser->d_end_y_expression = QStringLiteral("YMax");
  laser->d_end_z_expression = QStringLiteral("ZMid");
  laser->d_increment_expression = QStringLiteral("50");
  library->Append_Measurement(std::move(laser));
  auto ball_bar = std::make_unique<TMeasurement_Ballbar>();
  ball_bar->Initialize();
  ball_bar->d_name = QStringLiteral("Ball bar");
  ball_bar->d_length_expression = QStringLiteral("300");
  ball_bar->d_direction_i_expression = QStringLiteral("1");
  ball_bar->d_direction_j_expression = QStringLiteral("1");
  ball_bar->d_direction_k_expression = QStringLiteral("0");
  ball_bar->d_position_x_expression = QStringLiteral("XMid");
  ball_bar->d_position_y_expression = QStringLiteral("YMid");
  ball_bar->d_position_z_expression = QStringLiteral("ZMid");
  library->Append_Measurement(std::move(ball_bar));
  auto mcg = std::make_unique<TMeasurement_MCG>();
  mcg->Initialize();
  mcg->d_name = QStringLiteral("MCG");
  mcg->d_length_expression = QStringLiteral("200");
  mcg->d_position_x_expression = QStringLiteral("XMid");
  mcg->d_position_y_expression = QStringLiteral("YMid");
  mcg->d_position_z_expression = QStringLiteral("ZMid");
  library->Append_Measurement(std::move(mcg));
}

std::vector<const TMeasurement*> Records(const TMeasurementLibrary& library)
{
  const std::vector<TMeasurement*> all = library.All_Measurements();
  return std::vector<const TMeasurement*>(all.begin(), all.end());
}

// Travels of 1000 mm from different starts, every parameter enabled with sign, angles with
// constant, linear and curved terms, the deflection on horizontal-arm machines.
TMachineItem Machine(int kinematic, int sign)
{
  TMachineLibrary library;
  TMachineItem machine = *library.Machine(library.Create_Machine(QStringLiteral("Source")));
  machine.kinematic = kinematic;
  machine.axis_minimum = TVector3(-200.0, 0.0, -1000.0);
  machine.axis_maximum = TVector3(800.0, 1000.0, 0.0);
  machine.math_origin = TVector3(0.0, 100.0, -500.0);
  machine.mechanical_origin = TVector3(300.0, 0.0, 0.0);
  const char* functions[4] = {"0.004 - 0.01 * L + 0.02 * L^2", "0.003 * L - 0.006 * L^3", "0.002 + 0.005 * L^4",
                              "0.004 * L - 0.002 * L^2"};
  const int parameters[4] = {PARAMETER_RX, PARAMETER_RY, PARAMETER_RZ, PARAMETER_SCALE};
  for(const int axis : {AXIS_X, AXIS_Y, AXIS_Z})
  {
    for(int p = 0; p < 4; ++p)
    {
      Enable_Parameter(&machine, axis, parameters[p], QLatin1String(functions[(p + axis) % 4]), sign);
    }
  }
  Enable_Parameter(&machine, AXIS_SQUARENESS, PARAMETER_QXY, QStringLiteral("0.012"), sign);
  Enable_Parameter(&machine, AXIS_SQUARENESS, PARAMETER_QYZ, QStringLiteral("-0.007"), sign);
  Enable_Parameter(&machine, AXIS_SQUARENESS, PARAMETER_QZX, QStringLiteral("0.004"), sign);
  Enable_Parameter(&machine, AXIS_D, PARAMETER_DEFLECTION, QStringLiteral("0.02"), sign);
  return machine;
}

TMachineComp Model(const TMachineItem& machine)
{
  TMachineComp model;
  Simulation::Setup_Machine_Comp(Simulation::Machine_Record(machine), &model, nullptr);
  return model;
}

// The CSV's rows as fields, without the heading.
std::vector<QStringList> Csv_Rows(const QByteArray& csv)
{
  std::vector<QStringList> rows;
  const QStringList lines = QString::fromUtf8(csv).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  for(int i = 1; i < lines.size(); ++i)
  {
    rows.push_back(lines[i].split(QLatin1Char(',')));
  }
  return rows;
}
} // namespace

class TTestCompensation : public QObject
{
  Q_OBJECT

private:
  TMeasurementLibrary d_measurements;
  Test_Support::TTemporaryHome d_home;

private slots:
  void initTestCase()
  {
    QVERIFY(d_home.Set_Up());
    Make_Measurements(&d_measurements);
  }

  // Tables at the model's own step rebuild its interpolation; the full model is the machine
  // itself. Either, run on the source, must leave nothing: a sign or lever arm wrong anywhere
  // shows here. Angles read by a laser are the carriage's and stay as they were.
  void Own_Step_Leaves_Nothing_data()
  {
    QTest::addColumn<int>("kinematic");
    QTest::addColumn<int>("sign");
    for(const int kinematic : {KINEMATIC_XYZ, KINEMATIC_YXZ, KINEMATIC_XZY, KINEMATIC_YZX})
    {
      for(const int sign : {1, -1})
      {
        QTest::addRow("kinematic %d sign %d", kinematic, sign) << kinematic << sign;
      }
    }
  }

  void Own_Step_Leaves_Nothing()
  {
    QFETCH(int, kinematic);
    QFETCH(int, sign);
    const TMachineItem machine = Machine(kinematic, sign);
    Compensation::TOptions options;
    options.forms = {TForm::FULL, TForm::TABLES};
    options.spacing = 1000.0 / 50.0;
    options.probe = TVector3(30.0, -20.0, -150.0);
    const Compensation::TResult result = Compensation::Run(machine, machine, Records(d_measurements), options);
    QVERIFY2(result.status == Compensation::TStatus::DONE, qPrintable(result.errors.join('\n')));
    QCOMPARE(result.forms.size(), std::size_t(2));
    for(const Compensation::TFormResult& form : result.forms)
    {
      QVERIFY(form.grid_largest[0] > 5.0);
      QVERIFY2(form.grid_largest[1] < 1e-4, qPrintable(QString::number(form.grid_largest[1])));
      QCOMPARE(form.rows.size(), result.forms.front().rows.size());
      for(const Compensation::TRow& row : form.rows)
      {
        QVERIFY2(std::fabs(row.deviation[1]) < 1e-4, qPrintable(row.measurement));
        QVERIFY(std::fabs(row.xx[1]) < 1e-4 && std::fabs(row.yy[1]) < 1e-4);
        QCOMPARE(row.ra[1], row.ra[0]);
        QCOMPARE(row.rb[1], row.rb[0]);
        QCOMPARE(row.rc[1], row.rc[0]);
      }
    }
    // The full model is the source operation for operation.
    for(const Compensation::TRow& row : result.forms.front().rows)
    {
      QCOMPARE(row.deviation[1], 0.0);
    }
  }

  // The tables and constants carry the sign options as the model applies them: a right-handed
  // angle, the scale with its sign; positions every spacing with a shorter last step.
  void Tables_Carry_Signs()
  {
    TMachineLibrary library;
    TMachineItem machine = *library.Machine(library.Create_Machine(QStringLiteral("Signs")));
    machine.kinematic = KINEMATIC_XYZ;
    machine.axis_minimum = TVector3(0.0, 0.0, -450.0);
    machine.axis_maximum = TVector3(1000.0, 700.0, 0.0);
    machine.math_origin = TVector3(0.0, 0.0, 0.0);
    machine.mechanical_origin = TVector3(0.0, 0.0, 0.0);
    Enable_Parameter(&machine, AXIS_X, PARAMETER_SCALE, QStringLiteral("0.01 * L"), -1);
    Enable_Parameter(&machine, AXIS_Y, PARAMETER_RZ, QStringLiteral("0.003"), -1);
    Enable_Parameter(&machine, AXIS_SQUARENESS, PARAMETER_QXY, QStringLiteral("0.02"), -1);
    const TMachineComp model = Model(machine);

    const std::vector<Compensation::TCarriageTable> tables = Compensation::Carriage_Tables(model, 300.0);
    QCOMPARE(tables[0].positions, std::vector<double>({0.0, 300.0, 600.0, 900.0, 1000.0}));
    QCOMPARE(tables[2].positions, std::vector<double>({-450.0, -150.0, 0.0}));
    const std::vector<QStringList> rows = Csv_Rows(Compensation::Tables_Csv(tables));
    // X at 600 mm: scale 0.006 mm, sign -1.
    QCOMPARE(rows[2], QStringList({"X", "600", "-6", "0", "0", "0", "0", "0"}));
    // Y: Rz 0.003 mm/m with sign -1 is -3 µrad right-handed.
    QCOMPARE(rows[5][0], QStringLiteral("Y"));
    QCOMPARE(rows[5][7].toDouble(), -3.0);
    QCOMPARE(Compensation::Constants_Csv(Compensation::Constants(model)),
             QByteArray("name,value,unit\nQXY,-20,urad\nQYZ,0,urad\nQZX,0,urad\n"));

    const std::vector<QStringList> pitch = Csv_Rows(Compensation::Pitch_Csv(Compensation::Pitch_Tables(model, 2000.0)));
    QCOMPARE(pitch.size(), std::size_t(6));
    QCOMPARE(pitch[1], QStringList({"X", "1000", "-10"}));

    // Skew and pitch corrections predict exactly their terms.
    const TVector3 point(250.0, 400.0, -100.0);
    QCOMPARE(Compensation::Skew_Correction(model)->Error(point, TVector3()).x, -0.02 * 0.4);
    QCOMPARE(Compensation::Pitch_Correction(Compensation::Pitch_Tables(model, 2000.0))->Error(point, TVector3()).x,
             -0.01 * 0.25);
  }

  // The grid holds E at its nodes for its probe offset and interpolates between them; outside,
  // the nearest cell goes on linearly.
  void Grid_Nodes_And_Cells()
  {
    const TMachineItem machine = Machine(KINEMATIC_XZY, 1);
    const TMachineComp model = Model(machine);
    const TVector3 probe(0.0, 0.0, -150.0);
    const Compensation::TGrid grid = Compensation::Grid(model, 300.0, probe, 2);
    QCOMPARE(grid.x, std::vector<double>({-200.0, 100.0, 400.0, 700.0, 800.0}));
    const std::shared_ptr<const TMachineCorrection> correction = Compensation::Grid_Correction(grid);
    const TVector3 node(400.0, 300.0, -700.0);
    const TVector3 exact = model.Model_Error(node, probe, nullptr);
    QCOMPARE(correction->Error(node, TVector3()).y, exact.y);
    const TVector3 low = model.Model_Error(TVector3(700.0, 0.0, -1000.0), probe, nullptr);
    const TVector3 high = model.Model_Error(TVector3(800.0, 0.0, -1000.0), probe, nullptr);
    QVERIFY(std::fabs(correction->Error(TVector3(900.0, 0.0, -1000.0), probe).z - (2.0 * high.z - low.z)) < 1e-15);
    QByteArray csv;
    Compensation::Append_Grid_Csv(grid, 0, 2, &csv);
    QVERIFY(csv.startsWith("x_mm,y_mm,z_mm,dx_um,dy_um,dz_um\n-200,0,-1000,"));
    QVERIFY(csv.contains("\n100,0,-1000,"));
  }

  // A machine without errors needs no correction; a grid or table too fine and a correction
  // for another machine are refused.
  void Limits()
  {
    TMachineLibrary library;
    const TMachineItem perfect = *library.Machine(library.Create_Machine(QStringLiteral("Perfect")));
    Compensation::TResult result = Compensation::Run(perfect, perfect, Records(d_measurements), {});
    QVERIFY(result.status == Compensation::TStatus::DONE);
    QCOMPARE(result.spacing, 20.0);
    for(const Compensation::TFormResult& form : result.forms)
    {
      QCOMPARE(form.grid_largest[1], 0.0);
      for(const Compensation::TRow& row : form.rows)
      {
        QCOMPARE(row.deviation[1], row.deviation[0]);
      }
    }

    Compensation::TOptions options;
    options.spacing = 0.1;
    result = Compensation::Run(perfect, perfect, {}, options);
    QVERIFY(result.status == Compensation::TStatus::REFUSED);
    QVERIFY2(result.errors.join(' ').contains("e+12 nodes"), qPrintable(result.errors.join(' ')));
    options.forms = {TForm::PITCH, TForm::SKEW};
    QVERIFY(Compensation::Run(perfect, perfect, {}, options).status == Compensation::TStatus::DONE);

    // A tower whose arm has no travel cannot be evaluated anywhere: a failure, not an end.
    TMachineItem tower = Machine(KINEMATIC_YZX, 1);
    tower.axis_minimum.x = 0.0;
    tower.axis_maximum.x = 0.0005;
    tower.math_origin.x = 0.0;
    tower.mechanical_origin.x = 0.0;
    options.forms = {TForm::GRID};
    options.spacing = 0.0;
    result = Compensation::Run(tower, tower, {}, options);
    QVERIFY(result.status == Compensation::TStatus::MACHINE_FAILED);
    QVERIFY(result.errors.join(' ').contains("Deflection axis range invalid."));

    TMachineItem other = Machine(KINEMATIC_XYZ, 1);
    QVERIFY(Compensation::Run(other, perfect, {}, {}).status == Compensation::TStatus::REFUSED);
    other.kinematic = perfect.kinematic;
    QVERIFY(Compensation::Run(other, perfect, {}, {}).status == Compensation::TStatus::REFUSED);
  }

  // What remains after a correction from an identified machine is as uncertain as that machine:
  // σ of QXY moves y by σ·x on this Y-X-Z machine, most at the far end of X. The decision after correction takes it.
  void Uncertainty_And_Decision()
  {
    TMachineLibrary library;
    TMachineItem machine = *library.Machine(library.Create_Machine(QStringLiteral("Identified")));
    Enable_Parameter(&machine, AXIS_SQUARENESS, PARAMETER_QXY, QStringLiteral("0.01"));
    machine.covariance_labels = QStringList{"QXY"};
    machine.covariance = {1e-6};
    machine.has_mpe = true;
    machine.mpe_a = 1.0;
    machine.mpe_k = 1000.0;
    Compensation::TOptions options;
    options.forms = {TForm::FULL, TForm::PITCH};
    const std::vector<const TMeasurement*> records = {d_measurements.All_Measurements().front()};
    Compensation::TResult result = Compensation::Run(machine, machine, records, options);
    QVERIFY(result.status == Compensation::TStatus::DONE);
    const Compensation::TFormResult& full = result.forms[0];
    QVERIFY(full.has_u);
    QVERIFY2(std::fabs(full.u - 1.0) < 1e-6, qPrintable(QString::number(full.u)));
    QCOMPARE(full.worst_point.x, 1000.0);
    // E after is 0; U = 2u of each row, well below the MPE of the diagonal's lengths.
    QVERIFY(full.verdict == Compensation::TVerdict::CONFORMS);
    // The pitch table holds no squareness: 10 µm per metre of x remain.
    QVERIFY(result.forms[1].verdict == Compensation::TVerdict::DOES_NOT_CONFORM);
    QVERIFY(std::fabs(result.forms[1].grid_largest[1] - 10.0) < 1e-9);

    machine.covariance = {0.25};
    result = Compensation::Run(machine, machine, records, options);
    QVERIFY(result.forms[0].verdict == Compensation::TVerdict::NOT_PROVEN);
    machine.covariance = {std::numeric_limits<double>::infinity()};
    result = Compensation::Run(machine, machine, records, options);
    QVERIFY(std::isinf(result.forms[0].u));
    machine.has_mpe = false;
    QVERIFY(Compensation::Run(machine, machine, records, options).forms[0].verdict == Compensation::TVerdict::NO_MPE);
  }

  // The tool end to end: the files of the forms, the CSV of every row, and what it refuses.
  void Batch_Compensate()
  {
    Test_Support::TTemporaryHome home;
    QVERIFY(home.Set_Up(QStringLiteral(VARLUME_TEST_DATA "/../../examples")));
    const QProcessEnvironment environment = Test_Support::Batch_Environment(home.Path());
    const QString out = home.Output_Path();
    const QString csv = QDir(out).filePath(QStringLiteral("rows.csv"));
    Test_Support::TBatchResult run =
        Test_Support::Run_Batch({"compensate", "--machine", "Horizontal Arm XZY", "--measurement", "ISO Space Diagonal",
                                 "--measurement", "Laser X Axis", "--dir", out, "--csv", csv, "--probe", "0,0,-100"},
                                environment);
    QVERIFY2(run.code == 0, run.err.constData());
    QVERIFY(run.out.contains("Compensation of 'Horizontal Arm XZY' on 'Horizontal Arm XZY'"));
    for(const char* name : {"tables.csv", "constants.csv", "grid.csv", "pitch.csv"})
    {
      QVERIFY(QFile::exists(QDir(out).filePath(QLatin1String(name))));
    }
    QVERIFY(Test_Support::Read(QDir(out).filePath(QStringLiteral("constants.csv"))).contains("\ndeflection,"));
    const QByteArray rows = Test_Support::Read(csv);
    QVERIFY(rows.startsWith("form,measurement,kind,row,deviation_before_um,deviation_after_um,xx_before_um,"));
    QVERIFY(rows.contains("\nfull,ISO Space Diagonal,iso,1,"));
    QVERIFY(rows.contains("\nskew,Laser X Axis,laser,1,"));

    const QStringList base = {"compensate", "--machine", "Bridge XYZ"};
    const std::vector<std::pair<QStringList, QByteArray>> refused = {
        {{"--form", "full,mesh"}, "unknown form 'mesh'"},
        {{"--spacing", "0.05"}, "--spacing must be a number of at least 0.1 mm"},
        {{"--probe", "1,2"}, "--probe takes X,Y,Z"},
        {{"--dir", QDir(out).filePath(QStringLiteral("none"))}, "no directory"},
        {{"--dir", home.Data_Path()}, "is the data folder"},
        {{"--against", "Gantry YXZ"}, "a correction is built for one machine"},
        {{"--spacing", "0.1"}, "more than 10000000"}};
    for(const auto& [arguments, message] : refused)
    {
      run = Test_Support::Run_Batch(base + arguments, environment);
      QVERIFY2(run.code == 2 && run.err.contains(message), run.err.constData());
    }
  }
};

QTEST_GUILESS_MAIN(TTestCompensation)
#include "test_compensation.moc"
