// The numbers behind the plots: error curves against the map pane, result rows against the
// results pane and the simulation, sensitivity against the evaluation, and the CSV text.

#include <QtTest>

#include <QBuffer>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "src/model/evaluation.h"
#include "src/model/export.h"
#include "src/model/machinelibrary.h"
#include "src/model/measurementlibrary.h"
#include "src/model/plotseries.h"
#include "src/model/report.h"
#include "src/model/sensitivity.h"
#include "src/model/simulation.h"
#include "tests/simulation_cases.h"

namespace
{
// The numbers of a pane line.
std::vector<double> Numbers(const QString& line)
{
  std::vector<double> numbers;
  for(const QString& field : line.split(QLatin1Char(' '), Qt::SkipEmptyParts))
  {
    bool ok = false;
    const double value = field.toDouble(&ok);
    if(ok)
    {
      numbers.push_back(value);
    }
  }
  return numbers;
}

// Printed with 4 decimals: equal up to the rounding of the last one.
bool Printed(double printed, double value)
{
  return std::fabs(printed - value) <= 0.5e-4 + 1e-12;
}

double Largest_Deviation(const std::vector<TMeasurement*>& measurements, Types::TMeasurementType type, bool* found)
{
  double largest = 0.0;
  *found = false;
  for(const TMeasurement* measurement : measurements)
  {
    if(measurement->Type() != type)
    {
      continue;
    }
    for(const TMeasurement::TMeasurementItem& item : measurement->d_measurement_items)
    {
      largest = std::max(largest, std::fabs(item.length_actual - item.length_nominal));
      *found = true;
    }
  }
  return largest;
}
} // namespace

class TTestPlotSeries : public QObject
{
  Q_OBJECT

private:
  Test_Support::TLibraries d_libraries;

  void Set_Up(const QString& name, TMachineComp* machine, Simulation::TMachineRecord* record)
  {
    QVERIFY(Simulation::Find_Machine_Record(d_libraries.machines, name, record));
    QVERIFY(Simulation::Setup_Machine_Comp(*record, machine, nullptr));
  }

  // Sets up the machine that the current row of a table of machines names.
  void Set_Up_Row(TMachineComp* machine, Simulation::TMachineRecord* record)
  {
    QFETCH(QString, machine_name);
    Set_Up(machine_name, machine, record);
  }

private slots:
  void initTestCase() { QVERIFY(d_libraries.Load(Simulation_Cases::Data_Directory())); }

  // One machine per kinematic order.
  void errors_data()
  {
    Test_Support::Add_Rows<QString>({"machine_name"},
                                    {{"XYZ", "Bridge"}, {"YXZ", "Gantry"}, {"XZY", "Arm XZY"}, {"YZX", "Arm YZX"}});
  }

  // The table holds the 51 positions of each axis from start to end; the curves hold those and
  // the map positions, with the values that the map pane prints.
  void errors()
  {
    TMachineComp model;
    Simulation::TMachineRecord record;
    Set_Up_Row(&model, &record);

    const std::vector<Plot_Series::TAxisErrors> table = Plot_Series::Axis_Error_Table(model);
    QCOMPARE(static_cast<int>(table.size()), 3);
    const TVector3 start = model.Map_Data_Min();
    const TVector3 end = model.Map_Data_Max();
    for(int a = 0; a < 3; ++a)
    {
      const Plot_Series::TAxisErrors& axis = table[static_cast<std::size_t>(a)];
      QCOMPARE(axis.axis, a == 0 ? AXIS_X : (a == 1 ? AXIS_Y : AXIS_Z));
      QCOMPARE(static_cast<int>(axis.samples.size()), 51);
      const double first = a == 0 ? start.x : (a == 1 ? start.y : start.z);
      const double last = a == 0 ? end.x : (a == 1 ? end.y : end.z);
      QCOMPARE(axis.samples.front().position, first);
      QVERIFY(std::fabs(axis.samples.back().position - last) < 1e-9);
      // The table rows themselves.
      for(int i = 0; i < 51; ++i)
      {
        double position = 0.0;
        TVector3 angular;
        TVector3 linear;
        const TMachineComp& view = model;
        view.Axis_Table(axis.axis)->Data(i, &position, &angular, &linear);
        const Plot_Series::TErrorSample& sample = axis.samples[static_cast<std::size_t>(i)];
        // The table sums its steps; the samples stand where the steps are meant to end.
        QCOMPARE(sample.position, i == 50 ? last : first + i * ((last - first) / 50.0));
        QVERIFY(std::fabs(sample.position - position) < 1e-9);
        QVERIFY(std::fabs(sample.linear.x - linear.x) < 1e-15 && std::fabs(sample.linear.y - linear.y) < 1e-15 &&
                std::fabs(sample.linear.z - linear.z) < 1e-15);
        QVERIFY(std::fabs(sample.angular.x - angular.x) < 1e-15 && std::fabs(sample.angular.y - angular.y) < 1e-15 &&
                std::fabs(sample.angular.z - angular.z) < 1e-15);
      }
    }
    const QByteArray csv = Plot_Series::Errors_Csv(table);
    QVERIFY(csv.startsWith("axis,position_mm,Lx_mm,Ly_mm,Lz_mm,Rx_mm_per_m,Ry_mm_per_m,Rz_mm_per_m\n"));
    QCOMPARE(csv.count('\n'), 1 + 3 * 51);

    const double increments[3] = {70.0, 100.0, 130.0};
    const std::vector<Plot_Series::TAxisErrors> curves = Plot_Series::Axis_Error_Curves(model, increments);
    const QStringList reports[3] = {model.Map_Data_X(70.0), model.Map_Data_Y(100.0), model.Map_Data_Z(130.0)};
    for(int a = 0; a < 3; ++a)
    {
      const std::vector<Plot_Series::TErrorSample>& samples = curves[static_cast<std::size_t>(a)].samples;
      QVERIFY(samples.size() >= 51);
      for(std::size_t i = 1; i < samples.size(); ++i)
      {
        QVERIFY(samples[i - 1].position < samples[i].position);
        // No 90.00000000000001 beside 90, no rounding noise in the CSV.
        QVERIFY2(Plot_Series::Number_Text(samples[i].position).size() <= 7,
                 qPrintable(Plot_Series::Number_Text(samples[i].position)));
      }
      for(const QString& line : reports[a].mid(4))
      {
        const std::vector<double> printed = Numbers(line);
        QCOMPARE(static_cast<int>(printed.size()), 7);
        const auto found = std::find_if(samples.begin(), samples.end(),
                                        [&](const Plot_Series::TErrorSample& sample)
                                        { return std::fabs(sample.position - printed[0]) <= 0.05; });
        QVERIFY2(found != samples.end(), qPrintable(line));
        const double values[6] = {found->linear.x,  found->linear.y,  found->linear.z,
                                  found->angular.x, found->angular.y, found->angular.z};
        for(int c = 0; c < 6; ++c)
        {
          QVERIFY2(Printed(printed[static_cast<std::size_t>(c + 1)], values[c]), qPrintable(line));
        }
      }
    }
  }

  void notes()
  {
    TMachineComp model;
    Simulation::TMachineRecord record;
    Set_Up(QStringLiteral("Arm XZY"), &model, &record);
    const Plot_Series::TMachineNotes notes = Plot_Series::Machine_Notes(model);
    QCOMPARE(static_cast<int>(notes.squareness.size()), 3);
    QStringList printed = model.Map_Data_Quad().mid(2);
    printed.sort();
    QStringList expected;
    for(const Plot_Series::TMachineNotes::TSquareness& entry : notes.squareness)
    {
      expected.push_back(QStringLiteral("%1: %2").arg(entry.name).arg(entry.value, 0, 'f', 4));
    }
    expected.sort();
    QCOMPARE(expected, printed);
    QCOMPARE(notes.deflection_axis, QStringLiteral("X"));

    Set_Up(QStringLiteral("Bridge"), &model, &record);
    QVERIFY(!Plot_Series::Machine_Notes(model).has_deflection);
  }

  void results_data() { errors_data(); }

  // Rows in the order of the results pane, each the simulated row's lengths; laser columns as
  // the pane prints them; the rows outside the volume are those of the measurements flagged so.
  void results()
  {
    TMachineComp model;
    Simulation::TMachineRecord record;
    Set_Up_Row(&model, &record);
    std::vector<TMeasurement*> list = d_libraries.measurements.Measurements(Simulation_Cases::All_Valid());
    QStringList lines;
    QVERIFY(Report::Simulate_Measurements(&model, &list, &lines));

    const std::vector<Plot_Series::TMeasurementResult> results = Plot_Series::Results(model, list);
    QStringList order;
    for(const TMeasurement* measurement : list)
    {
      if(measurement->Type() != Types::MEASUREMENT_BALLBAR)
      {
        order.push_back(measurement->d_name);
      }
    }
    for(const TMeasurement* measurement : list)
    {
      if(measurement->Type() == Types::MEASUREMENT_BALLBAR)
      {
        order.push_back(measurement->d_name);
      }
    }
    QStringList names;
    int rows = 0;
    for(const Plot_Series::TMeasurementResult& result : results)
    {
      names.push_back(result.name);
      const TMeasurement* measurement = d_libraries.measurements.Measurement(result.id);
      QVERIFY(measurement);
      QCOMPARE(result.type, measurement->Type());
      QCOMPARE(result.rows.size(), measurement->d_measurement_items.size());
      bool any_outside = false;
      for(const Plot_Series::TResultRow& row : result.rows)
      {
        const TMeasurement::TMeasurementItem& item =
            measurement->d_measurement_items[static_cast<std::size_t>(row.index)];
        QCOMPARE(row.nominal, item.length_nominal);
        QCOMPARE(row.actual, item.length_actual);
        QCOMPARE(row.deviation, item.length_actual - item.length_nominal);
        any_outside = any_outside || row.outside;
        ++rows;
      }
      QCOMPARE(any_outside, measurement->d_outside_volume);

      if(result.type == Types::MEASUREMENT_LASER)
      {
        const QStringList block = Report::Measurement_Item(model, *measurement);
        int first = 0;
        while(first < block.size() && !block[first].startsWith(QLatin1String("  Scale Nom")))
        {
          ++first;
        }
        first += 2; // the heading and its rule
        for(const Plot_Series::TResultRow& row : result.rows)
        {
          const std::vector<double> printed = Numbers(block[first + row.index]);
          QCOMPARE(static_cast<int>(printed.size()), 8);
          const double values[8] = {row.laser.scale_nominal,
                                    row.laser.scale_actual,
                                    row.laser.scale_deviation,
                                    row.laser.xx,
                                    row.laser.yy,
                                    row.laser.ra,
                                    row.laser.rb,
                                    row.laser.rc};
          for(int c = 0; c < 8; ++c)
          {
            QVERIFY(Printed(printed[static_cast<std::size_t>(c)], values[c]));
          }
        }
      }
      if(result.type == Types::MEASUREMENT_MCG)
      {
        // Ring by ring from azimuth 0, counter-clockwise.
        const Plot_Series::TResultRow& second = result.rows[1];
        QCOMPARE(result.rows[0].azimuth, 0.0);
        QVERIFY(second.azimuth > 0.0 && second.azimuth < 180.0);
        QVERIFY(std::fabs(second.elevation - result.rows[0].elevation) < 1e-9);
      }
    }
    QCOMPARE(names, order);
    QVERIFY(names.contains(QStringLiteral("Laser Outside")));

    const QByteArray csv = Plot_Series::Results_Csv(results);
    const QList<QByteArray> csv_lines = csv.split('\n');
    QCOMPARE(csv_lines.front(), QByteArray("measurement,kind,row,nominal_mm,actual_mm,deviation_mm,xx_mm,yy_mm,"
                                           "ra_mm_per_m,rb_mm_per_m,rc_mm_per_m,azimuth_deg,elevation_deg"));
    QCOMPARE(csv_lines.size(), rows + 2); // header, rows, and the empty piece after the last line feed
    const QList<QByteArray> first = csv_lines[1].split(',');
    QCOMPARE(first[0], results.front().name.toUtf8());
    QCOMPARE(first[2], QByteArray("1"));
    QCOMPARE(first[5].toDouble(), results.front().rows.front().deviation);

    // Laser rows carry the readings of their export file, unrounded; MCG rows their direction;
    // other rows nothing more.
    int line = 1;
    for(const Plot_Series::TMeasurementResult& result : results)
    {
      QStringList readings;
      if(result.type == Types::MEASUREMENT_LASER)
      {
        const QString lumetra = Export::Laser_Texts(model, *d_libraries.measurements.Measurement(result.id)).lumetra;
        readings = lumetra.section(QStringLiteral(":Data_Begin\n"), 1).split(QLatin1Char('\n'));
      }
      for(const Plot_Series::TResultRow& row : result.rows)
      {
        const QList<QByteArray> fields = csv_lines[line++].split(',');
        QCOMPARE(fields.size(), 13);
        if(result.type == Types::MEASUREMENT_LASER)
        {
          // Scale, XX, YY, RA, RB, RC, air and material temperature, written with 5 decimals.
          const std::vector<double> file = Numbers(QString(readings[row.index]).replace(QLatin1Char(','), ' '));
          for(int c = 1; c <= 5; ++c)
          {
            QVERIFY2(std::fabs(fields[5 + c].toDouble() - file[static_cast<std::size_t>(c)]) <= 0.5e-5 + 1e-12,
                     csv_lines[line - 1].constData());
          }
        }
        else
        {
          QVERIFY(fields[6].isEmpty() && fields[7].isEmpty() && fields[8].isEmpty() && fields[9].isEmpty() &&
                  fields[10].isEmpty());
        }
        const bool mcg = result.type == Types::MEASUREMENT_MCG;
        QCOMPARE(fields[11], mcg ? Plot_Series::Number_Text(row.azimuth).toUtf8() : QByteArray());
        QCOMPARE(fields[12], mcg ? Plot_Series::Number_Text(row.elevation).toUtf8() : QByteArray());
      }
    }
  }

  void sensitivity_data() { errors_data(); }

  // One row per parameter that the evaluation applies; each value the largest deviation of a
  // machine with that parameter alone. The ball bar and MCG columns agree with the evaluation
  // file's single-parameter lines (which compare absolute errors for those kinds).
  void sensitivity()
  {
    TMachineComp model;
    Simulation::TMachineRecord record;
    Set_Up_Row(&model, &record);
    // A tower on a machine without one: neither applied nor coded.
    record.error_items.push_back({AXIS_D, PARAMETER_DEFLECTION, QString(), 0.02, 1});
    std::vector<TMeasurement*> list = d_libraries.measurements.Measurements(Simulation_Cases::All_Valid());
    QStringList lines;
    QVERIFY(Report::Simulate_Measurements(&model, &list, &lines));
    std::vector<std::vector<TMeasurement::TMeasurementItem>> before;
    for(const TMeasurement* measurement : list)
    {
      before.push_back(measurement->d_measurement_items);
    }

    const Sensitivity::TResult result = Sensitivity::Compute(record, list);
    QCOMPARE(result.end, Sensitivity::TEnd::FINISHED);
    // The measurements keep the rows that they had.
    for(std::size_t m = 0; m < list.size(); ++m)
    {
      QCOMPARE(list[m]->d_measurement_items.size(), before[m].size());
      for(std::size_t r = 0; r < before[m].size(); ++r)
      {
        QCOMPARE(list[m]->d_measurement_items[r].length_actual, before[m][r].length_actual);
      }
    }

    QStringList codes;
    std::vector<Evaluation::TErrorItem> applied;
    for(const Evaluation::TErrorItem& item : record.error_items)
    {
      if(const char* code = Evaluation::Item_Code(item, record.kinematic))
      {
        codes.push_back(QString::fromLatin1(code).remove(QLatin1Char('|')));
        applied.push_back(item);
      }
    }
    QStringList got;
    for(const Sensitivity::TRow& row : result.rows)
    {
      got.push_back(row.code);
    }
    QCOMPARE(got, codes);
    const bool tower = record.kinematic == KINEMATIC_XZY || record.kinematic == KINEMATIC_YZX;
    QCOMPARE(codes.size(), static_cast<int>(record.error_items.size()) - (tower ? 0 : 1));

    QByteArray evaluation;
    QBuffer file(&evaluation);
    file.open(QIODevice::WriteOnly);
    Simulation::TMachineRecord evaluated = record;
    evaluated.error_items = applied;
    Evaluation::Write_Evaluation(evaluated, list, &file);
    const QStringList evaluation_lines = QString::fromLatin1(evaluation).split(QLatin1Char('\n'));

    const Types::TMeasurementType kinds[4] = {Types::MEASUREMENT_BALLBAR, Types::MEASUREMENT_ISO,
                                              Types::MEASUREMENT_MCG, Types::MEASUREMENT_LASER};
    for(std::size_t j = 0; j < applied.size(); ++j)
    {
      const Sensitivity::TRow& row = result.rows[j];
      Simulation::TMachineRecord alone = record;
      alone.error_items = {applied[j]};
      TMachineComp single;
      QVERIFY(Simulation::Setup_Machine_Comp(alone, &single, nullptr));
      Simulation::Evaluate_Measurement_Expressions(&single, &list, nullptr);
      QVERIFY(Simulation::Update_Measurement_Items(&single, &list));
      for(int kind = 0; kind < Sensitivity::KIND_COUNT; ++kind)
      {
        bool found = false;
        const double largest = Largest_Deviation(list, kinds[kind], &found);
        QCOMPARE(row.present[kind], found);
        QCOMPARE(row.value[kind], largest);
      }

      const QString prefix = QLatin1Char('|') + row.code + QLatin1Char('|');
      const auto line = std::find_if(evaluation_lines.begin(), evaluation_lines.end(),
                                     [&](const QString& text) { return text.startsWith(prefix + QLatin1Char(' ')); });
      QVERIFY(line != evaluation_lines.end());
      const std::vector<double> numbers = Numbers(line->mid(Evaluation::CODE_WIDTH + 1));
      for(const int column : {Sensitivity::KIND_BALLBAR, Sensitivity::KIND_MCG})
      {
        const int group = column == Sensitivity::KIND_BALLBAR ? 0 : 2;
        const double extreme = std::max(std::fabs(numbers[static_cast<std::size_t>(group * 4)]),
                                        std::fabs(numbers[static_cast<std::size_t>(group * 4 + 1)]));
        QCOMPARE(QString::number(row.value[column], 'f', 6), QString::number(extreme, 'f', 6));
      }
    }

    const QByteArray csv = Sensitivity::Csv(result.rows);
    QVERIFY(csv.startsWith("parameter,ballbar_mm,iso_mm,mcg_mm,laser_mm,laser_straightness_mm,laser_angle_mm_per_m\n"));
    QCOMPARE(csv.count('\n'), static_cast<int>(result.rows.size()) + 1);
  }

  // The laser columns: straightness after each run's line is taken off, so that a squareness,
  // which only tilts the line, shows none; angles relative to the start; rows outside the
  // volume left out.
  void sensitivity_laser_readings()
  {
    TMachineComp model;
    Simulation::TMachineRecord record;
    Set_Up(QStringLiteral("Bridge"), &model, &record);
    record.error_items = {{AXIS_SQUARENESS, PARAMETER_QZX, QString(), 0.05, 1},
                          {AXIS_SQUARENESS, PARAMETER_QYZ, QString(), 0.05, 1},
                          {AXIS_Y, PARAMETER_RZ, QStringLiteral("0.01*L"), 0.0, 1},
                          {AXIS_X, PARAMETER_RX, QStringLiteral("0.02*L^2"), 0.0, 1}};
    for(const QStringList& names :
        {QStringList({"Laser Diagonal", "Laser X", "Laser Z"}), QStringList({"Laser Outside"})})
    {
      std::vector<TMeasurement*> list = d_libraries.measurements.Measurements(names);
      const Sensitivity::TResult result = Sensitivity::Compute(record, list);
      QCOMPARE(result.end, Sensitivity::TEnd::FINISHED);
      for(std::size_t j = 0; j < result.rows.size(); ++j)
      {
        const Sensitivity::TRow& row = result.rows[j];
        Simulation::TMachineRecord alone = record;
        alone.error_items = {record.error_items[j]};
        TMachineComp single;
        QVERIFY(Simulation::Setup_Machine_Comp(alone, &single, nullptr));
        Simulation::Evaluate_Measurement_Expressions(&single, &list, nullptr);
        QVERIFY(Simulation::Update_Measurement_Items(&single, &list));
        double raw = 0.0;
        double angle = 0.0;
        int inside = 0;
        for(const TMeasurement* measurement : list)
        {
          const std::vector<Export::TLaserReading> readings = Export::Laser_Readings(single, *measurement);
          for(std::size_t i = 0; i < readings.size(); ++i)
          {
            const TMeasurement::TMeasurementItem& item = measurement->d_measurement_items[i];
            if(!single.Inside_Volume(item.reference_nominal) || !single.Inside_Volume(item.point_nominal))
            {
              continue;
            }
            ++inside;
            raw = std::max({raw, std::fabs(readings[i].straightness.y), std::fabs(readings[i].straightness.z)});
            angle = std::max({angle, std::fabs(readings[i].angles.x), std::fabs(readings[i].angles.y),
                              std::fabs(readings[i].angles.z)});
          }
        }
        const bool outside = names.front() == QLatin1String("Laser Outside");
        QVERIFY(row.present[Sensitivity::KIND_LASER]);
        QCOMPARE(row.laser_present, !outside);
        QCOMPARE(inside > 0, !outside);
        QCOMPARE(row.laser_angle, angle);
        if(outside)
        {
          QVERIFY(Sensitivity::Csv({row}).endsWith(",,\n"));
        }
        else if(row.code.startsWith(QLatin1Char('Q')))
        {
          // A squareness tilts the run's line: read as a straightness of 40 µm, none after levelling.
          QVERIFY(raw > 0.01);
          QVERIFY(row.laser_straightness < 1e-9);
        }
        else
        {
          QVERIFY(row.laser_straightness <= raw);
        }
      }
    }
  }

  // Per unit, a machine whose parameters are all zero reads what one unit of each shows: the
  // same as that machine with the one parameter written out by hand as 1 µm or 1 µrad.
  void sensitivity_per_unit_data()
  {
    QTest::addColumn<int>("axis");
    QTest::addColumn<int>("parameter");
    QTest::addColumn<QString>("expression"); // in L (metres), for a travel whose far end is end_m
    QTest::addColumn<double>("value");       // squareness
    QTest::addColumn<QString>("unit");
    QTest::newRow("X scale") << AXIS_X << PARAMETER_SCALE << "0.001*L/(%1)" << 0.0 << "µm";
    QTest::newRow("Y roll") << AXIS_Y << PARAMETER_RY << "0.001*L/(%1)" << 0.0 << "µrad";
    QTest::newRow("Z pitch") << AXIS_Z << PARAMETER_RX << "0.001*L/(%1)" << 0.0 << "µrad";
    QTest::newRow("squareness XY") << AXIS_SQUARENESS << PARAMETER_QXY << QString() << 0.001 << "µrad";
  }

  void sensitivity_per_unit()
  {
    QFETCH(int, axis);
    QFETCH(int, parameter);
    QFETCH(QString, expression);
    QFETCH(double, value);
    QFETCH(QString, unit);
    TMachineComp model;
    Simulation::TMachineRecord record;
    Set_Up(QStringLiteral("Bridge"), &model, &record);
    std::vector<TMeasurement*> list = d_libraries.measurements.Measurements(Simulation_Cases::All_Valid());

    Simulation::TMachineRecord zero = record;
    zero.error_items = {{axis, parameter, QStringLiteral("0"), 0.0, -1}};
    const Sensitivity::TResult as_given = Sensitivity::Compute(zero, list);
    QCOMPARE(as_given.end, Sensitivity::TEnd::FINISHED);
    QVERIFY(Sensitivity::All_Zero(as_given.rows));
    const Sensitivity::TResult per_unit =
        Sensitivity::Compute(zero, list, Sensitivity::TProgress(), Sensitivity::TScale::PER_UNIT);
    QCOMPARE(per_unit.end, Sensitivity::TEnd::FINISHED);
    QCOMPARE(static_cast<int>(per_unit.rows.size()), 1);
    QVERIFY(!Sensitivity::All_Zero(per_unit.rows));
    QCOMPARE(per_unit.rows.front().unit, unit);

    const double start = axis == AXIS_X   ? record.axis_start.x
                         : axis == AXIS_Y ? record.axis_start.y
                                          : record.axis_start.z;
    const double end = axis == AXIS_X ? record.axis_end.x : axis == AXIS_Y ? record.axis_end.y : record.axis_end.z;
    const double far = (std::fabs(end) >= std::fabs(start) ? end : start) / 1000.0;
    Simulation::TMachineRecord by_hand = record;
    by_hand.error_items = {{axis, parameter, expression.isEmpty() ? QString() : expression.arg(far), value, 1}};
    const Sensitivity::TResult expected = Sensitivity::Compute(by_hand, list);
    const Sensitivity::TRow& got = per_unit.rows.front();
    const Sensitivity::TRow& want = expected.rows.front();
    for(int kind = 0; kind < Sensitivity::KIND_COUNT; ++kind)
    {
      QCOMPARE(got.present[kind], want.present[kind]);
      QVERIFY(std::fabs(got.value[kind] - want.value[kind]) <= 1e-12);
    }
    QVERIFY(std::fabs(got.laser_straightness - want.laser_straightness) <= 1e-12);
    QVERIFY(std::fabs(got.laser_angle - want.laser_angle) <= 1e-12);

    // Its CSV is of a kind of its own, in µm and µrad per unit.
    const QList<QByteArray> lines = Sensitivity::Csv(per_unit.rows, per_unit.scale).split('\n');
    QCOMPARE(lines[0], QByteArray("parameter,unit,ballbar_um,iso_um,mcg_um,laser_um,laser_straightness_um,"
                                  "laser_angle_urad"));
    const QList<QByteArray> fields = lines[1].split(',');
    QCOMPARE(QString::fromUtf8(fields[1]), unit);
    QCOMPARE(fields[3].toDouble(), got.value[Sensitivity::KIND_ISO] * 1000.0);
  }

  // A kind without rows is an empty field; cancelling keeps what was done.
  void sensitivity_edges()
  {
    TMachineComp model;
    Simulation::TMachineRecord record;
    Set_Up(QStringLiteral("Bridge"), &model, &record);
    std::vector<TMeasurement*> list = d_libraries.measurements.Measurements({QStringLiteral("BallBar X")});
    Sensitivity::TResult result = Sensitivity::Compute(record, list);
    QCOMPARE(result.end, Sensitivity::TEnd::FINISHED);
    QVERIFY(!result.rows.empty());
    const QList<QByteArray> line = Sensitivity::Csv(result.rows).split('\n')[1].split(',');
    QCOMPARE(line.size(), 7);
    QVERIFY(!line[1].isEmpty());
    QVERIFY(line[2].isEmpty() && line[3].isEmpty() && line[4].isEmpty() && line[5].isEmpty() && line[6].isEmpty());

    result = Sensitivity::Compute(record, list, [](int done, int) { return done < 1; });
    QCOMPARE(result.end, Sensitivity::TEnd::CANCELLED);
    QCOMPARE(static_cast<int>(result.rows.size()), 1);

    Simulation::TMachineRecord refused = record;
    refused.axis_end.x = refused.axis_start.x - 1.0;
    QCOMPARE(Sensitivity::Compute(refused, list).end, Sensitivity::TEnd::REFUSED);
  }

  void number_text_data()
  {
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("tenth") << 0.1 << "0.1";
    QTest::newRow("sum of tenths") << 0.1 + 0.2 << "0.30000000000000004";
    QTest::newRow("whole") << 1000.0 << "1000";
    QTest::newRow("negative") << -2.5 << "-2.5";
    QTest::newRow("small") << 1.5e-7 << "1.5e-07";
    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("third") << 1.0 / 3.0 << "0.3333333333333333";
  }

  // The shortest text that reads back to the very same double, whatever the locale.
  void number_text()
  {
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(Plot_Series::Number_Text(value), text);
    QCOMPARE(std::strtod(text.toLatin1().constData(), nullptr), value);
  }

  void number_text_round_trip()
  {
    QLocale::setDefault(QLocale(QLocale::German));
    std::srand(15);
    for(int i = 0; i < 2000; ++i)
    {
      const double value = (std::rand() - RAND_MAX / 2) * std::pow(10.0, std::rand() % 20 - 12) / 7.0;
      const QString text = Plot_Series::Number_Text(value);
      QCOMPARE(std::strtod(text.toLatin1().constData(), nullptr), value);
      QVERIFY(!text.contains(QLatin1Char(',')));
    }
    QLocale::setDefault(QLocale::c());
  }

  void csv_field()
  {
    QCOMPARE(Plot_Series::Csv_Field(QStringLiteral("Laser X")), QStringLiteral("Laser X"));
    QCOMPARE(Plot_Series::Csv_Field(QStringLiteral("Bar 1, long")), QStringLiteral("\"Bar 1, long\""));
    QCOMPARE(Plot_Series::Csv_Field(QStringLiteral("Say \"x\"")), QStringLiteral("\"Say \"\"x\"\"\""));
  }
};

QTEST_GUILESS_MAIN(TTestPlotSeries)
#include "test_plotseries.moc"
