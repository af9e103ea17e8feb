#include <QtTest>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "src/model/machinelibrary.h"
#include "src/model/measurementlibrary.h"
#include "src/model/report.h"
#include "src/model/simulation.h"
#include "tests/simulation_cases.h"

namespace
{
using TOwned = std::vector<std::unique_ptr<TMeasurement>>;

// Texts in evaluation order: laser start xyz, end xyz, increment; ISO start xyz, end xyz;
// MCG length, centre xyz, azimuth and elevation counts, start and end elevation; ball bar
// length, direction ijk, centre xyz.
std::unique_ptr<TMeasurement> Make(const QString& kind, const QString& name, QStringList t)
{
  while(t.size() < 8)
  {
    t.push_back(QString());
  }
  std::unique_ptr<TMeasurement> measurement;
  if(kind == "laser")
  {
    auto laser = std::make_unique<TMeasurement_Laser>();
    laser->d_start_x_expression = t[0], laser->d_start_y_expression = t[1], laser->d_start_z_expression = t[2];
    laser->d_end_x_expression = t[3], laser->d_end_y_expression = t[4], laser->d_end_z_expression = t[5];
    laser->d_increment_expression = t[6];
    measurement = std::move(laser);
  }
  else if(kind == "iso")
  {
    auto iso = std::make_unique<TMeasurement_ISO>();
    iso->d_start_x_expression = t[0], iso->d_start_y_expression = t[1], iso->d_start_z_expression = t[2];
    iso->d_end_x_expression = t[3], iso->d_end_y_expression = t[4], iso->d_end_z_expression = t[5];
    measurement = std::move(iso);
  }
  else if(kind == "mcg")
  {
    auto mcg = std::make_unique<TMeasurement_MCG>();
    mcg->d_length_expression = t[0];
    mcg->d_position_x_expression = t[1], mcg->d_position_y_expression = t[2], mcg->d_position_z_expression = t[3];
    mcg->d_azimuth_count_expression = t[4], mcg->d_elevation_count_expression = t[5];
    mcg->d_start_elevation_expression = t[6], mcg->d_end_elevation_expression = t[7];
    measurement = std::move(mcg);
  }
  else
  {
    auto ballbar = std::make_unique<TMeasurement_Ballbar>();
    ballbar->d_length_expression = t[0];
    ballbar->d_direction_i_expression = t[1], ballbar->d_direction_j_expression = t[2];
    ballbar->d_direction_k_expression = t[3];
    ballbar->d_position_x_expression = t[4], ballbar->d_position_y_expression = t[5];
    ballbar->d_position_z_expression = t[6];
    measurement = std::move(ballbar);
  }
  measurement->d_name = name;
  return measurement;
}

std::vector<TMeasurement*> Pointers(const TOwned& owned)
{
  std::vector<TMeasurement*> pointers;
  for(const auto& measurement : owned)
  {
    pointers.push_back(measurement.get());
  }
  return pointers;
}

// A perfect machine of 0 .. 1000 on every axis (or the travel given), all origins 0.
TMachineComp Machine(int kinematic = KINEMATIC_XYZ, TVector3 minimum = TVector3(0, 0, 0),
                     TVector3 maximum = TVector3(1000, 1000, 1000))
{
  Simulation::TMachineRecord record;
  record.kinematic = kinematic;
  record.axis_start = minimum;
  record.axis_end = maximum;
  record.math_origin = record.mechanical_origin = minimum;
  TMachineComp machine;
  if(!Simulation::Setup_Machine_Comp(record, &machine, nullptr))
  {
    qFatal("test machine not set up");
  }
  return machine;
}

// Evaluates and simulates one measurement on machine; false when either fails.
bool Run(const TMachineComp& machine, TMeasurement* measurement, QStringList* errors = nullptr)
{
  std::vector<TMeasurement*> list = {measurement};
  const bool evaluated = Simulation::Evaluate_Measurement_Expressions(&machine, &list, errors);
  return Simulation::Update_Measurement_Items(&machine, &list) && evaluated;
}

bool Near(const TVector3& a, const TVector3& b, double tolerance = 1e-9)
{
  return std::fabs(a.x - b.x) < tolerance && std::fabs(a.y - b.y) < tolerance && std::fabs(a.z - b.z) < tolerance;
}

TMeasurement::TMeasurementItem Ballbar_Row(double length)
{
  TMeasurement::TMeasurementItem item;
  item.length_nominal = 100.0;
  item.length_actual = length;
  item.reference_actual = TVector3(10, 20, 30);
  item.point_actual = TVector3(110, 20, 30);
  item.probe_offset = TVector3(0, 0, -150);
  return item;
}
} // namespace

Q_DECLARE_METATYPE(TVector3)

class TTestSimulation : public QObject
{
  Q_OBJECT

private slots:
  // The pane texts of the fixture libraries, as the window and varlume-batch must print them.
  void Stored_Panes_data() { Simulation_Cases::Add_Rows(Simulation_Cases::All_Cases()); }

  void Stored_Panes()
  {
    QFETCH(QString, machine);
    QFETCH(QStringList, measurements);
    QFETCH(double, increment);
    QFETCH(QString, file);

    Test_Support::TLibraries libraries;
    QVERIFY2(libraries.Load(Simulation_Cases::Data_Directory()),
             qPrintable(libraries.machines.Last_Error() + libraries.measurements.Last_Error()));

    TMachineComp model;
    QStringList errors;
    QStringList lines;
    if(!Simulation::Update_Machine_Comp(libraries.machines, machine, &model, &errors))
    {
      lines = Report::Map_Initialization_Errors(errors);
    }
    else if(measurements.isEmpty())
    {
      lines = Report::Map_Display(model, machine, increment, increment, increment);
    }
    else
    {
      std::vector<TMeasurement*> list = libraries.measurements.Measurements(measurements);
      QCOMPARE(int(list.size()), measurements.size());
      Report::Simulate_Measurements(&model, &list, &lines);
    }
    const QByteArray text = Report::Pane_Text(lines).toLatin1();

    if(qEnvironmentVariableIsSet("VARLUME_REGENERATE_EXPECTED"))
    {
      QVERIFY(Test_Support::Write(file, text));
      QSKIP("expectation written; review it before committing");
    }
    QCOMPARE(text, Simulation_Cases::Read(file));
  }

  void Machine_Setup_data()
  {
    QTest::addColumn<int>("kinematic");
    QTest::addColumn<QVector<int>>("order");
    QTest::newRow("XYZ") << KINEMATIC_XYZ << QVector<int>{AXIS_X, AXIS_Y, AXIS_Z};
    QTest::newRow("YXZ") << KINEMATIC_YXZ << QVector<int>{AXIS_Y, AXIS_X, AXIS_Z};
    QTest::newRow("XZY") << KINEMATIC_XZY << QVector<int>{AXIS_X, AXIS_Z, AXIS_Y};
    QTest::newRow("YZX") << KINEMATIC_YZX << QVector<int>{AXIS_Y, AXIS_Z, AXIS_X};
  }

  // Each axis in chain order with its own components of the record's four vectors.
  void Machine_Setup()
  {
    QFETCH(int, kinematic);
    QFETCH(QVector<int>, order);
    Simulation::TMachineRecord record;
    record.kinematic = kinematic;
    record.axis_start = TVector3(-1, -2, -3);
    record.axis_end = TVector3(10, 20, 30);
    record.math_origin = TVector3(1, 2, 3);
    record.mechanical_origin = TVector3(4, 5, 6);
    TMachineComp::TInitParameters p;
    QVERIFY(Simulation::Init_Parameters(record, &p));
    QCOMPARE(p.kinematic, kinematic);
    const int axes[3] = {p.first_axis, p.second_axis, p.third_axis};
    const double starts[3] = {p.first_axis_start, p.second_axis_start, p.third_axis_start};
    const double ends[3] = {p.first_axis_end, p.second_axis_end, p.third_axis_end};
    const double maths[3] = {p.first_axis_math_origin, p.second_axis_math_origin, p.third_axis_math_origin};
    const double mechanicals[3] = {p.first_axis_mechanical_origin, p.second_axis_mechanical_origin,
                                   p.third_axis_mechanical_origin};
    for(int k = 0; k < 3; ++k)
    {
      QCOMPARE(axes[k], order[k]);
      const int scale = order[k] == AXIS_X ? 1 : (order[k] == AXIS_Y ? 2 : 3);
      QCOMPARE(starts[k], -1.0 * scale);
      QCOMPARE(ends[k], 10.0 * scale);
      QCOMPARE(maths[k], 1.0 * scale);
      QCOMPARE(mechanicals[k], 3.0 + scale);
    }
  }

  void Machine_Setup_Failures()
  {
    Simulation::TMachineRecord record;
    record.axis_end = TVector3(1000, 1000, 1000);
    TMachineComp machine;
    QStringList errors;
    Simulation::TVolumeChange volume = Simulation::TVolumeChange::DEFINED;

    record.kinematic = 4096;
    QVERIFY(!Simulation::Setup_Machine_Comp(record, &machine, &errors, &volume));
    QVERIFY(errors.isEmpty());
    QCOMPARE(volume, Simulation::TVolumeChange::UNCHANGED);

    // A failing parameter spoils the result but the others are still applied.
    record.kinematic = KINEMATIC_XYZ;
    record.error_items = {{AXIS_X, PARAMETER_RX, "2*Q", 0.0, 1}, {AXIS_SQUARENESS, PARAMETER_QXY, "", 0.02, 1}};
    QVERIFY(!Simulation::Setup_Machine_Comp(record, &machine, &errors, &volume));
    QCOMPARE(volume, Simulation::TVolumeChange::DEFINED);
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors.front().startsWith("X Axis: "), qPrintable(errors.front()));
    QVERIFY(std::fabs(machine.Evaluate(TVector3(0, 1000, 0), TVector3(), nullptr).x - 0.02) < 1e-12);

    // A squareness or deflection value that is not finite (from a file or an editor) fails the
    // set-up instead of giving rows of nan.
    errors.clear();
    record.error_items = {{AXIS_SQUARENESS, PARAMETER_QXY, "", std::numeric_limits<double>::quiet_NaN(), 1}};
    QVERIFY(!Simulation::Setup_Machine_Comp(record, &machine, &errors));
    QCOMPARE(errors, QStringList{"Squareness value nan invalid"});

    // An axis too short for its straightness raises an exception inside the model.
    errors.clear();
    record.error_items.clear();
    record.axis_end = TVector3(1e-7, 1000, 1000);
    QVERIFY(!Simulation::Setup_Machine_Comp(record, &machine, &errors));
    QCOMPARE(errors.size(), 1);
    QVERIFY(!errors.front().isEmpty());

    // A machine that is not in the library.
    TMachineLibrary library;
    errors.clear();
    QVERIFY(!Simulation::Update_Machine_Comp(library, "Nowhere", &machine, &errors, &volume));
    QCOMPARE(errors, QStringList{"Machine not found."});
    QCOMPARE(volume, Simulation::TVolumeChange::CLEARED);
  }

  void Evaluation_Messages_data()
  {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QStringList>("errors");

    const QString laser = "A: Laser_Measurement Expression: ";
    const QString iso = "A: ISO_Measurement Expression: ";
    const QString mcg = "A: MCG_Measurement Expression: ";
    const QString bar = "A: BallBar_Measurement Expression: ";
    QTest::newRow("laser valid") << "laser" << QStringList{"XMin", "YMid", "ZMid", "XMax", "YMid", "ZMid", "20"} << true
                                 << QStringList();
    QTest::newRow("laser step below 20") << "laser" << QStringList{"0", "0", "0", "100", "0", "0", "19.99"} << false
                                         << QStringList{laser + "Increment too short"};
    QTest::newRow("laser not finite, invalid step")
        << "laser" << QStringList{"1/0", "0", "0", "100", "0", "0", "abc"} << false
        << QStringList{laser + "Start_Position_X invalid", laser + "Increment invalid", laser + "Increment too short"};
    QTest::newRow("laser 100000 targets")
        << "laser" << QStringList{"0", "0", "0", "1999980", "0", "0", "20"} << true << QStringList();
    QTest::newRow("laser 100001 targets") << "laser" << QStringList{"0", "0", "0", "2000000", "0", "0", "20"} << false
                                          << QStringList{laser + "Increment too short"};
    QTest::newRow("laser to 1e15") << "laser" << QStringList{"0", "0", "0", "1000000000000000", "0", "0", "20"} << false
                                   << QStringList{laser + "Increment too short"};
    QTest::newRow("iso not finite") << "iso" << QStringList{"0/0", "SQRT(-1)", "0", "1", "1", "1"} << false
                                    << QStringList{iso + "Start_Position_X invalid", iso + "Start_Position_Y invalid"};
    QTest::newRow("mcg limits") << "mcg" << QStringList{"49.99", "XMid", "YMid", "ZMid", "37", "145", "-45.01", "45"}
                                << false
                                << QStringList{mcg + "Length too short", mcg + "Azimuth_Count too large",
                                               mcg + "Elevation_Count too large", mcg + "Start_Elevation out of range"};
    QTest::newRow("mcg at the limits") << "mcg" << QStringList{"50", "0", "0", "0", "36.9", "144.9", "-45", "45"}
                                       << true << QStringList();
    QTest::newRow("mcg invalid texts") << "mcg" << QStringList{"x", "L", "R", "0", "", "3", "0", "1/0"} << false
                                       << QStringList{mcg + "Length invalid", mcg + "Length too short",
                                                      mcg + "Azimuth_Count invalid", mcg + "End_Elevation invalid"};
    QTest::newRow("ballbar invalid length") << "ballbar" << QStringList{"abc", "1", "0", "0", "0", "0", "0"} << false
                                            << QStringList{bar + "Length invalid", bar + "Length too short"};
    QTest::newRow("ballbar zero direction") << "ballbar" << QStringList{"100", "0", "0", "0", "0", "0", "0"} << true
                                            << QStringList{bar + "Direction_IJK invalid.  Using <1,0,0>"};
    QTest::newRow("ballbar direction not a number")
        << "ballbar" << QStringList{"100", "0/0", "0", "0", "0", "0", "0"} << false
        << QStringList{bar + "Direction_I invalid", bar + "Direction_IJK invalid.  Using <1,0,0>"};
    QTest::newRow("ballbar own variables")
        << "ballbar" << QStringList{"200", "0", "3", "4", "L", "R + J", "K"} << true << QStringList();
  }

  void Evaluation_Messages()
  {
    QFETCH(QString, kind);
    QFETCH(QStringList, texts);
    QFETCH(bool, result);
    QFETCH(QStringList, errors);
    const TMachineComp machine = Machine();
    TOwned owned;
    owned.push_back(Make(kind, "A", texts));
    std::vector<TMeasurement*> list = Pointers(owned);
    QStringList actual = {"left from before"};
    QCOMPARE(Simulation::Evaluate_Measurement_Expressions(&machine, &list, &actual), result);
    QCOMPARE(actual, errors);
    // Without a list the result is the same.
    QCOMPARE(Simulation::Evaluate_Measurement_Expressions(&machine, &list, nullptr), result);
  }

  // The probe offset is a plain number; one that is not finite is an evaluation error.
  void Probe_Offset_Not_Finite()
  {
    const TMachineComp machine = Machine();
    TOwned owned;
    owned.push_back(Make("iso", "A", {"0", "0", "0", "100", "0", "0"}));
    owned.back()->d_probe_offset.y = std::numeric_limits<double>::infinity();
    std::vector<TMeasurement*> list = Pointers(owned);
    QStringList errors;
    QVERIFY(!Simulation::Evaluate_Measurement_Expressions(&machine, &list, &errors));
    QCOMPARE(errors, QStringList{"A: Probe_Offset invalid"});
  }

  // Prepared records keep each one's problems apart, also where one name begins with another
  // and a colon ("A" and "A: B"), which matching the window's lines by name would mix up.
  void Prepared_Records_Problems()
  {
    const TMachineComp machine = Machine();
    TOwned owned;
    owned.push_back(Make("iso", "A: B", {"0", "0", "0", "bad(", "0", "0"}));
    owned.push_back(Make("iso", "A", {"0", "0", "0", "100", "0", "0"}));
    const std::vector<TMeasurement*> list = Pointers(owned);
    const Simulation::TPreparedRecords prepared =
        Simulation::Prepare_Records(machine, std::vector<const TMeasurement*>(list.begin(), list.end()));
    QCOMPARE(prepared.lines[0], QStringList{"A: B: ISO_Measurement Expression: End_Position_X invalid"});
    QCOMPARE(prepared.messages[0], QStringList{"ISO_Measurement Expression: End_Position_X invalid"});
    QVERIFY(prepared.lines[1].isEmpty());
    QString message;
    QVERIFY(Simulation::Simulate_One(machine, prepared.copies[1].get(), &message));
    QCOMPARE(prepared.copies[1]->d_measurement_items.size(), std::size_t(5));
  }

  void Evaluated_Values()
  {
    const TMachineComp machine = Machine(KINEMATIC_XYZ, TVector3(-100, 0, -800), TVector3(1100, 500, 0));
    TOwned owned;
    owned.push_back(Make("iso", "Before", {"L", "0", "0", "1", "1", "1"}));
    owned.push_back(Make("ballbar", "Bar", {"200", "0", "3", "4", "L", "R + J", "AxisMin + AxisMax"}));
    owned.push_back(Make("mcg", "Gauge", {"XMid + I", "J", "K", "0", "10000000000", "-3.7", "0", "0"}));
    owned.push_back(Make("laser", "Line", {"XMin", "YMax", "ZMin", "L", "R", "I + J + K", "100"}));
    std::vector<TMeasurement*> list = Pointers(owned);
    QStringList errors;
    QVERIFY(!Simulation::Evaluate_Measurement_Expressions(&machine, &list, &errors));
    // L is unknown to the measurement before the ball bar; the later ones see the ball bar's
    // variables, and the MCG's own L for the laser after it.
    QCOMPARE(errors, QStringList({"Before: ISO_Measurement Expression: Start_Position_X invalid",
                                  "Gauge: MCG_Measurement Expression: Azimuth_Count too large"}));

    const auto* bar = static_cast<TMeasurement_Ballbar*>(list[1]);
    QVERIFY(Near(bar->d_direction, TVector3(0, 0.6, 0.8)));
    QVERIFY(Near(bar->d_position, TVector3(200, 100.6, 500 + 1200)));
    const auto* gauge = static_cast<TMeasurement_MCG*>(list[2]);
    QCOMPARE(gauge->d_length, 500.0);
    QVERIFY(Near(gauge->d_position, TVector3(0.6, 0.8, 0)));
    QCOMPARE(gauge->d_azimuth_count, std::numeric_limits<int>::max());
    QCOMPARE(gauge->d_elevation_count, -3);
    const auto* line = static_cast<TMeasurement_Laser*>(list[3]);
    QVERIFY(Near(line->d_start, TVector3(-100, 500, -800)));
    QVERIFY(Near(line->d_end, TVector3(500, 250, 1.4)));
  }

  void Line_Expansion_data()
  {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QVector<double>>("lengths");
    QTest::newRow("iso 1002 mm") << "iso" << QStringList{"0", "0", "0", "1002", "0", "0"}
                                 << QVector<double>{200, 400, 600, 800, 1000};
    QTest::newRow("iso 1003 mm") << "iso" << QStringList{"0", "10", "0", "0", "10", "1003"}
                                 << QVector<double>{201, 402, 603, 804, 1005};
    QTest::newRow("laser coinciding ends")
        << "laser" << QStringList{"100", "100", "100", "100", "100", "100", "20"} << QVector<double>{0};
    QTest::newRow("laser end on the step")
        << "laser" << QStringList{"0", "0", "0", "0", "60", "0", "20"} << QVector<double>{0, 20, 40, 60};
    QTest::newRow("laser end off the step")
        << "laser" << QStringList{"0", "0", "0", "0", "0", "59", "20"} << QVector<double>{0, 20, 40};
    QTest::newRow("laser step below 1 uses 10")
        << "laser" << QStringList{"0", "0", "0", "30", "0", "0", "0.5"} << QVector<double>{0, 10, 20, 30};
  }

  void Line_Expansion()
  {
    QFETCH(QString, kind);
    QFETCH(QStringList, texts);
    QFETCH(QVector<double>, lengths);
    const TMachineComp machine = Machine(KINEMATIC_XYZ, TVector3(-2000, -2000, -2000), TVector3(2000, 2000, 2000));
    std::unique_ptr<TMeasurement> measurement = Make(kind, "A", texts);
    measurement->d_probe_offset = TVector3(1, 2, 3);
    Run(machine, measurement.get());
    QCOMPARE(int(measurement->d_measurement_items.size()), lengths.size());
    for(int k = 0; k < lengths.size(); ++k)
    {
      const TMeasurement::TMeasurementItem& item = measurement->d_measurement_items[k];
      QCOMPARE(item.length_nominal, lengths[k]);
      QVERIFY(std::fabs(item.length_actual - lengths[k]) < 1e-9);
      QVERIFY(Near(item.probe_offset, TVector3(1, 2, 3)));
      // Coinciding ends fall back to +X, nominal and measured alike.
      QVERIFY(Near(item.axis_actual, item.axis_nominal));
    }
    if(lengths.size() == 1)
    {
      QVERIFY(Near(measurement->d_measurement_items.front().axis_nominal, TVector3(1, 0, 0)));
    }
  }

  void MCG_Rings_data()
  {
    QTest::addColumn<QStringList>("counts_and_elevations");
    QTest::addColumn<int>("azimuths");
    QTest::addColumn<QVector<double>>("rings");
    QTest::newRow("20 to 40 degrees: band") << QStringList{"4", "3", "20", "40"} << 4 << QVector<double>{-1, 0, 1};
    QTest::newRow("-45 to 45 degrees") << QStringList{"4", "3", "-45", "45"} << 4 << QVector<double>{-45, 0, 45};
    QTest::newRow("falling range") << QStringList{"3", "2", "45", "-45"} << 3 << QVector<double>{45, -45};
    QTest::newRow("counts 0 and 1") << QStringList{"0", "1", "-45", "45"} << 2 << QVector<double>{-45, 45};
  }

  void MCG_Rings()
  {
    QFETCH(QStringList, counts_and_elevations);
    QFETCH(int, azimuths);
    QFETCH(QVector<double>, rings);
    const TMachineComp machine = Machine();
    const QStringList c = counts_and_elevations;
    std::unique_ptr<TMeasurement> mcg = Make("mcg", "A", {"100", "500", "500", "500", c[0], c[1], c[2], c[3]});
    Run(machine, mcg.get());
    QCOMPARE(int(mcg->d_measurement_items.size()), azimuths * rings.size());
    const double degree = 6.28318530717959 / 360;
    for(int i = 0; i < rings.size(); ++i)
    {
      for(int j = 0; j < azimuths; ++j)
      {
        const TMeasurement::TMeasurementItem& item = mcg->d_measurement_items[i * azimuths + j];
        const double elevation = rings[i] * degree;
        const double azimuth = j * 6.28318530717959 / azimuths;
        const TVector3 expected(std::cos(azimuth) * std::cos(elevation), std::cos(elevation) * std::sin(azimuth),
                                std::sin(elevation));
        QVERIFY2(Near(item.axis_nominal, expected, 1e-12), qPrintable(QString("row %1").arg(i * azimuths + j)));
        QVERIFY(Near(item.point_nominal, TVector3(500, 500, 500) + expected * 100.0, 1e-9));
        QVERIFY(std::fabs(item.length_nominal - 100.0) < 1e-9);
      }
    }
  }

  void Ballbar_Along_X_Without_Direction()
  {
    const TMachineComp machine = Machine();
    std::unique_ptr<TMeasurement> bar = Make("ballbar", "A", {"100", "0", "0", "0", "500", "400", "300"});
    QVERIFY(Run(machine, bar.get()));
    QCOMPARE(int(bar->d_measurement_items.size()), 1);
    const TMeasurement::TMeasurementItem& item = bar->d_measurement_items.front();
    QVERIFY(Near(item.reference_nominal, TVector3(450, 400, 300)));
    QVERIFY(Near(item.point_nominal, TVector3(550, 400, 300)));
    QVERIFY(Near(item.axis_nominal, TVector3(1, 0, 0)));
    QCOMPARE(item.length_nominal, 100.0);
    QVERIFY(!bar->d_outside_volume);
  }

  // Points beyond the travel are still simulated; the flag notes them.
  void Outside_Volume()
  {
    const TMachineComp machine = Machine();
    std::unique_ptr<TMeasurement> inside = Make("laser", "In", {"-4", "0", "0", "1004", "0", "0", "1008"});
    std::unique_ptr<TMeasurement> outside = Make("laser", "Out", {"-6", "0", "0", "1004", "0", "0", "1010"});
    QVERIFY(Run(machine, inside.get()));
    QVERIFY(Run(machine, outside.get()));
    QVERIFY(!inside->d_outside_volume);
    QVERIFY(outside->d_outside_volume);
    QCOMPARE(int(outside->d_measurement_items.size()), 2);
  }

  // Rows that would never end, or not fit, are not made, even when the caller ignored the
  // failed evaluation.
  void Row_Limit()
  {
    const TMachineComp machine = Machine();
    TOwned owned;
    owned.push_back(Make("laser", "Long", {"0", "0", "0", "1000000000000000", "0", "0", "20"}));
    owned.push_back(Make("mcg", "Wide", {"100", "0", "0", "0", "100000", "100000", "-45", "45"}));
    owned.push_back(Make("iso", "After", {"0", "0", "0", "100", "0", "0"}));
    std::vector<TMeasurement*> list = Pointers(owned);
    QVERIFY(!Simulation::Evaluate_Measurement_Expressions(&machine, &list, nullptr));
    QVERIFY(Simulation::Update_Measurement_Items(&machine, &list));
    QVERIFY(list[0]->d_measurement_items.empty());
    QVERIFY(list[1]->d_measurement_items.empty());
    QCOMPARE(int(list[2]->d_measurement_items.size()), 5);
  }

  // The model's axis exception ends the simulation: the failing measurement and the ones after
  // it keep no rows, not even those of an earlier simulation.
  void Axis_Exception_In_Simulation()
  {
    TOwned owned;
    owned.push_back(Make("ballbar", "First", {"100", "1", "0", "0", "500", "-500", "-500"}));
    owned.push_back(Make("iso", "Second", {"100", "-500", "-500", "900", "-500", "-500"}));
    owned.push_back(Make("ballbar", "Third", {"100", "1", "0", "0", "500", "-500", "-500"}));
    std::vector<TMeasurement*> list = Pointers(owned);
    const TMachineComp good = Machine(KINEMATIC_XZY, TVector3(0, -1000, -1000), TVector3(1000, 0, 0));
    QVERIFY(Simulation::Evaluate_Measurement_Expressions(&good, &list, nullptr));
    QVERIFY(Simulation::Update_Measurement_Items(&good, &list));

    // A tower of 0.0005 mm: the deflection cannot be evaluated. The ball bars do not touch it
    // on XYZ but do on XZY.
    const TMachineComp thin = Machine(KINEMATIC_XZY, TVector3(0, -1000, -0.0005), TVector3(1000, 0, 0));
    QStringList errors;
    QVERIFY(!Simulation::Update_Measurement_Items(&thin, &list, &errors));
    QCOMPARE(errors, QStringList{"First: Deflection axis range invalid."});
    for(const TMeasurement* measurement : list)
    {
      QVERIFY(measurement->d_measurement_items.empty());
    }
  }

  void ISO_Report()
  {
    const TMachineComp machine = Machine();
    std::unique_ptr<TMeasurement> iso = Make("iso", "Line", {"0", "0", "0", "1000", "0", "0"});
    QVERIFY(Run(machine, iso.get()));
    const QString rule(128, '-');
    QCOMPARE(Report::Measurement_Item(machine, *iso),
             QStringList({"ISO 10360-2 Measurement", rule, "Name:           Line",
                          "Probe Offset:   0.0000, 0.0000, -150.0000", "Start Position: 0.0000, 0.0000, -150.0000",
                          "Test Axis:      1.000000000, 0.000000000, 0.000000000", "", "   Nominal     Actual      Dev",
                          rule, "  200.0000   200.0000     0.0000", "  400.0000   400.0000     0.0000",
                          "  600.0000   600.0000     0.0000", "  800.0000   800.0000     0.0000",
                          " 1000.0000  1000.0000     0.0000", "", "Max Error:  0.0000", "Min Error:  0.0000", ""}));

    // Without rows only the heading and the closing lines remain.
    iso->d_measurement_items.clear();
    QCOMPARE(Report::Measurement_Item(machine, *iso),
             QStringList({"ISO 10360-2 Measurement", rule, "", "Max Error:  0.0000", "Min Error:  0.0000", ""}));
  }

  void Ballbar_Summary()
  {
    TOwned owned;
    owned.push_back(Make("ballbar", "Short", {}));
    owned.push_back(Make("iso", "Not A Bar", {}));
    owned.push_back(Make("ballbar", "A name of twenty-two c", {}));
    owned.push_back(Make("ballbar", "Never simulated", {}));
    owned[0]->d_measurement_items.push_back(Ballbar_Row(100.0010));
    owned[2]->d_measurement_items.push_back(Ballbar_Row(99.9990));
    owned[2]->d_outside_volume = true;
    const QStringList lines = Report::Ballbar_Summary(Pointers(owned));
    const QString tail =
        "    10.0000    20.0000  -120.0000   110.0000    20.0000  -120.0000     0.0000     0.0000  -150.0000";
    QCOMPARE(lines,
             QStringList({"ASME B89 Ballbar Measurement", QString(128, '-'), "Length Min:       99.9990",
                          "Length Max:      100.0010", "Length Mean:     100.0000", "Length Range:      0.0020", "",
                          "    Name                 Length    Sph1. X    Sph1. Y   Sph1. Z     Sph2. X    "
                          "Sph2. Y   Sph2. Z     Probe X    Probe Y   Probe Z",
                          QString(138, '-'), "Short                  100.0010" + tail,
                          "A name of twenty-two c    99.9990" + tail + "  Note:  outside of machine volume"}));
    QVERIFY(Report::Ballbar_Summary(std::vector<TMeasurement*>{owned[1].get(), owned[3].get()}).isEmpty());
  }

  void Pad_String_data()
  {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<bool>("comma");
    QTest::addColumn<QString>("padded");
    QTest::newRow("short") << "Bar" << 6 << false << "Bar   ";
    QTest::newRow("comma") << "Bar" << 6 << true << "Bar,  ";
    QTest::newRow("exact") << "Bar1" << 4 << false << "Bar1";
    QTest::newRow("longer, never cut") << "Ballbar" << 4 << true << "Ballbar,";
    QTest::newRow("empty") << "" << 2 << false << "  ";
  }

  void Pad_String()
  {
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(bool, comma);
    QFETCH(QString, padded);
    QCOMPARE(Report::Pad_String(text, width, comma), padded);
  }

  void Selected_Item()
  {
    const TMachineComp machine = Machine();
    std::unique_ptr<TMeasurement> iso = Make("iso", "Line", {"0", "0", "0", "1000", "0", "0"});
    std::unique_ptr<TMeasurement> bar = Make("ballbar", "Bar", {"100", "1", "0", "0", "500", "500", "1006"});
    QVERIFY(Run(machine, iso.get()));
    QVERIFY(Run(machine, bar.get()));
    QCOMPARE(Report::Selected_Item(*iso, 2),
             QStringList({"Name:           Line", "Index:          3", "Nominal Length: 600.0000",
                          "Actual Length:  600.0000", "Deviation:       0.0000"}));
    QVERIFY(bar->d_outside_volume);
    QCOMPARE(Report::Selected_Item(*bar, 0),
             QStringList({"Name:           Bar", "Nominal Length: 100.0000", "Actual Length:  100.0000",
                          "Deviation:       0.0000", "Note:  Feature outside of the machine volume."}));
    // A pick name can point past the rows of a measurement.
    QVERIFY(Report::Selected_Item(*iso, 5).isEmpty());
    QVERIFY(Report::Selected_Item(*iso, -1).isEmpty());
    QVERIFY(Report::Selected_Item(*bar, 1000).isEmpty());
  }

  void Map_Increments()
  {
    const TMachineComp machine = Machine();
    const QStringList refused = {"ERR:  Map increment too small for X,Y, or Z axis"};
    QCOMPARE(Report::Map_Display(machine, "M", 10, 10, 9.99), refused);
    QCOMPARE(Report::Map_Display(machine, "M", 9.99, 100, 100), refused);
    QCOMPARE(Report::Map_Display(machine, "M", 100, std::nan(""), 100), refused);
    const QStringList lines = Report::Map_Display(machine, "M", 10, 10, 10);
    QCOMPARE(lines.mid(0, 3), QStringList({"Selected Machine: M", "", "Squareness"}));
    // 101 rows per axis, and no tower table on XYZ: the pane ends with the empty line before it.
    QCOMPARE(lines.size(), 2 + 5 + 3 * (1 + 4 + 101) + 1);
    QCOMPARE(lines.last(), QString());
  }

  void Pane_Text_data()
  {
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("text");
    QTest::newRow("nothing") << QStringList() << "";
    QTest::newRow("lines") << QStringList{"a", "", "b", ""} << "a\n\nb\n";
    QTest::newRow("leading empty lines vanish") << QStringList{"", "", "a", ""} << "a\n";
    QTest::newRow("separators and no-break space")
        << QStringList{QString("a\r\nb\rc") + QChar(0x2029) + "d" + QChar(0xa0)} << "a\nb\nc\nd ";
  }

  void Pane_Text()
  {
    QFETCH(QStringList, lines);
    QFETCH(QString, text);
    QCOMPARE(Report::Pane_Text(lines), text);
  }
};

QTEST_GUILESS_MAIN(TTestSimulation)
#include "test_simulation.moc"
