#include <QtTest>

#include <cmath>
#include <cstring>

#include <memory>
#include <vector>

#include "src/model/evaluation.h"
#include "tests/evaluation_cases.h"
#include "tests/simulation_cases.h"

namespace
{
using Evaluation_Cases::TLibraries;

std::unique_ptr<TMeasurement> Measurement_Of(int type)
{
  switch(type)
  {
  case Types::MEASUREMENT_ISO:
    return std::make_unique<TMeasurement_ISO>();
  case Types::MEASUREMENT_LASER:
    return std::make_unique<TMeasurement_Laser>();
  case Types::MEASUREMENT_MCG:
    return std::make_unique<TMeasurement_MCG>();
  default:
    return std::make_unique<TMeasurement_Ballbar>();
  }
}

QStringList Lines(const QByteArray& text)
{
  QStringList lines = QString::fromLatin1(text).split('\n');
  if(!lines.isEmpty() && lines.back().isEmpty())
  {
    lines.pop_back();
  }
  return lines;
}

// The data lines of an evaluation file: everything after the rule.
QStringList Data_Lines(const QByteArray& text)
{
  const QStringList lines = Lines(text);
  const int rule = lines.indexOf(QString(Evaluation::RULE_WIDTH, '-'));
  return rule < 0 ? QStringList() : lines.mid(rule + 1);
}

// A cancelled file without its last line, which says so: what was written before the cancel.
QByteArray Before_Cancel(const QByteArray& text, int patterns, int count)
{
  const QByteArray last =
      QStringLiteral("Evaluation cancelled: %1 of %2 patterns\n").arg(patterns).arg(count).toLatin1();
  return text.endsWith(last) ? text.left(text.size() - last.size()) : QByteArray("<not cancelled>");
}

QString Code_Of(const QString& line)
{
  return line.left(Evaluation::CODE_WIDTH).trimmed();
}

Evaluation::TErrorItem Item(int axis, int parameter, const QString& expression = QString(), double value = 0.0)
{
  return {axis, parameter, expression, value, 1};
}

// Every bit of the rows and flags of the measurements, for comparisons.
QByteArray Row_Bits(const std::vector<TMeasurement*>& measurements)
{
  QByteArray bits;
  for(const TMeasurement* measurement : measurements)
  {
    bits += measurement->d_outside_volume ? 'o' : 'i';
    for(const TMeasurement::TMeasurementItem& row : measurement->d_measurement_items)
    {
      bits += QByteArray(reinterpret_cast<const char*>(&row), sizeof(row));
    }
  }
  return bits;
}

// The file, the result and the rows left behind of an evaluation with a number of threads.
struct TRun
{
  QByteArray text;
  Evaluation::TResult result;
  QByteArray rows;
};

TRun Run_With_Jobs(const QString& directory, const QString& machine, const QStringList& names, int jobs,
                   const Evaluation::TProgress& progress = Evaluation::TProgress())
{
  const TLibraries libraries(directory);
  Simulation::TMachineRecord record;
  TRun run;
  if(!Simulation::Find_Machine_Record(libraries.machines, machine, &record))
  {
    return run;
  }
  const std::vector<TMeasurement*> measurements = libraries.measurements.Measurements(names);
  QBuffer buffer(&run.text);
  buffer.open(QIODevice::WriteOnly);
  run.result = Evaluation::Write_Evaluation(record, measurements, &buffer, progress, Evaluation::TMode::FAST, jobs);
  run.rows = Row_Bits(measurements);
  return run;
}
} // namespace

Q_DECLARE_METATYPE(QList<QList<double>>)

class TTestEvaluation : public QObject
{
  Q_OBJECT

private slots:
  // Pattern k holds the items whose bits are set in k + 1; the last one is empty.
  void Patterns_data()
  {
    QTest::addColumn<int>("count");
    QTest::addColumn<QStringList>("expected"); // item indices per pattern
    QTest::newRow("none") << 0 << QStringList();
    QTest::newRow("one") << 1 << QStringList{"0", ""};
    QTest::newRow("two") << 2 << QStringList{"0", "1", "01", ""};
    QTest::newRow("three") << 3 << QStringList{"0", "1", "01", "2", "02", "12", "012", ""};
    QTest::newRow("seventeen refused") << 17 << QStringList();
  }

  void Patterns()
  {
    QFETCH(int, count);
    QFETCH(QStringList, expected);
    std::vector<Evaluation::TErrorItem> items;
    for(int i = 0; i < count; ++i)
    {
      items.push_back(Item(AXIS_X, PARAMETER_RX, QString::number(i)));
    }
    QStringList patterns;
    for(const Evaluation::TErrorPattern& pattern : Evaluation::Get_Evaluation_Error_Patterns(items))
    {
      QString indices;
      for(const Evaluation::TErrorItem& item : pattern)
      {
        indices += item.expression;
      }
      patterns.push_back(indices);
    }
    QCOMPARE(patterns, expected);
  }

  void Sixteen_Patterns()
  {
    const std::vector<Evaluation::TErrorItem> items(16, Item(AXIS_Y, PARAMETER_SCALE, "L"));
    const std::vector<Evaluation::TErrorPattern> patterns = Evaluation::Get_Evaluation_Error_Patterns(items);
    QCOMPARE(patterns.size(), std::size_t(65536));
    QCOMPARE(patterns[65534].size(), std::size_t(16));
    QVERIFY(patterns.back().empty());
  }

  // Each measurement is its kind followed by (nominal, actual) pairs of its rows.
  void Min_Max_data()
  {
    using TList = QList<QList<double>>;
    const double BB = Types::MEASUREMENT_BALLBAR;
    const double ISO = Types::MEASUREMENT_ISO;
    const double LASER = Types::MEASUREMENT_LASER;
    const double MCG = Types::MEASUREMENT_MCG;
    QTest::addColumn<int>("kind");
    QTest::addColumn<TList>("measurements");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QList<double>>("expected"); // min, max, min length, max length

    QTest::newRow("no rows of the kind") << int(ISO) << TList{{BB, 100, 100.5}, {LASER, 50, 50.5}} << false
                                         << QList<double>{0, 0, 0, 0};
    QTest::newRow("ball bar") << int(BB) << TList{{BB, 500, 500.25}, {BB, 300, 299.5}} << true
                              << QList<double>{-0.5, 0.25, 299.5, 500.25};
    QTest::newRow("ties keep the earlier row")
        << int(BB) << TList{{BB, 100, 100.5}, {BB, 200, 200.5}, {BB, 50, 49.75}, {BB, 60, 59.75}} << true
        << QList<double>{-0.25, 0.5, 49.75, 100.5};
    // 0.5 / 200 is the larger relative error, so the smaller absolute one is the maximum.
    QTest::newRow("ISO relative choice, absolute output")
        << int(ISO) << TList{{ISO, 200, 200.5, 1000, 1001}} << true << QList<double>{1, 0.5, 1001, 200.5};
    QTest::newRow("ISO at 1 mm and below absolute")
        << int(ISO) << TList{{ISO, 1, 1.5, 0.5, 0.75, 2, 2.5}} << true << QList<double>{0.25, 0.5, 0.75, 1.5};
    QTest::newRow("laser at 10 mm absolute")
        << int(LASER) << TList{{LASER, 20, 20.5, 10, 10.25}} << true << QList<double>{0.5, 0.25, 20.5, 10.25};
    QTest::newRow("laser start row") << int(LASER) << TList{{LASER, 0, 0, 100, 100.5}} << true
                                     << QList<double>{0, 0.5, 0, 100.5};
    QTest::newRow("MCG over measurements, others ignored")
        << int(MCG) << TList{{MCG, 150, 150.25, 150, 149.5}, {ISO, 200, 210}, {MCG, 150, 151}} << true
        << QList<double>{-0.5, 1, 149.5, 151};
    QTest::newRow("measurement without rows")
        << int(MCG) << TList{{MCG}, {MCG, 150, 150.5}} << true << QList<double>{0.5, 0.5, 150.5, 150.5};
  }

  void Min_Max()
  {
    QFETCH(int, kind);
    QFETCH(QList<QList<double>>, measurements);
    QFETCH(bool, found);
    QFETCH(QList<double>, expected);

    std::vector<std::unique_ptr<TMeasurement>> owned;
    std::vector<TMeasurement*> list;
    for(const QList<double>& data : measurements)
    {
      owned.push_back(Measurement_Of(static_cast<int>(data[0])));
      for(int i = 1; i + 1 < data.size(); i += 2)
      {
        TMeasurement::TMeasurementItem row;
        row.length_nominal = data[i];
        row.length_actual = data[i + 1];
        owned.back()->d_measurement_items.push_back(row);
      }
      list.push_back(owned.back().get());
    }

    using TMinMax =
        bool (*)(const TMachineComp*, const std::vector<TMeasurement*>*, double*, double*, double*, double*);
    TMinMax functions[4];
    functions[Types::MEASUREMENT_ISO] = Evaluation::Get_Min_Max_ISO_Error;
    functions[Types::MEASUREMENT_LASER] = Evaluation::Get_Min_Max_Laser_Error;
    functions[Types::MEASUREMENT_MCG] = Evaluation::Get_Min_Max_MCG_Error;
    functions[Types::MEASUREMENT_BALLBAR] = Evaluation::Get_Min_Max_Ballbar_Error;

    const TMachineComp machine;
    double values[4] = {-1, -1, -1, -1};
    QCOMPARE(functions[kind](&machine, &list, &values[0], &values[1], &values[2], &values[3]), found);
    for(int i = 0; i < 4; ++i)
    {
      QCOMPARE(values[i], expected[i]);
    }
  }

  void Item_Codes_data()
  {
    QTest::addColumn<int>("axis");
    QTest::addColumn<int>("parameter");
    QTest::addColumn<int>("kinematic");
    QTest::addColumn<QString>("code"); // empty: not applied
    QTest::addColumn<QString>("label");
    QTest::newRow("X Rx") << AXIS_X << PARAMETER_RX << KINEMATIC_XYZ << "RXX|"
                          << "X Axis Rx";
    QTest::newRow("Y Rz") << AXIS_Y << PARAMETER_RZ << KINEMATIC_XYZ << "RYZ|"
                          << "Y Axis Rz";
    QTest::newRow("Z Ry") << AXIS_Z << PARAMETER_RY << KINEMATIC_YXZ << "RZY|"
                          << "Z Axis Ry";
    QTest::newRow("Y scale") << AXIS_Y << PARAMETER_SCALE << KINEMATIC_XYZ << "LYY|"
                             << "Y Axis Scale";
    QTest::newRow("Z scale") << AXIS_Z << PARAMETER_SCALE << KINEMATIC_XZY << "LZZ|"
                             << "Z Axis Scale";
    QTest::newRow("QXY") << AXIS_SQUARENESS << PARAMETER_QXY << KINEMATIC_XYZ << "QXY|"
                         << "QXY";
    QTest::newRow("QZX") << AXIS_SQUARENESS << PARAMETER_QZX << KINEMATIC_YZX << "QZX|"
                         << "QZX";
    QTest::newRow("QYZ listed under X") << AXIS_X << PARAMETER_QYZ << KINEMATIC_XYZ << "QYZ|"
                                        << "QYZ";
    QTest::newRow("tower XZY") << AXIS_D << PARAMETER_DEFLECTION << KINEMATIC_XZY << "RXD|"
                               << "D Axis Deflection";
    QTest::newRow("tower YZX") << AXIS_D << PARAMETER_DEFLECTION << KINEMATIC_YZX << "RYD|"
                               << "D Axis Deflection";
    QTest::newRow("tower XYZ") << AXIS_D << PARAMETER_DEFLECTION << KINEMATIC_XYZ << ""
                               << "D Axis Deflection";
    QTest::newRow("tower YXZ") << AXIS_D << PARAMETER_DEFLECTION << KINEMATIC_YXZ << ""
                               << "D Axis Deflection";
    QTest::newRow("tower under X") << AXIS_X << PARAMETER_DEFLECTION << KINEMATIC_XZY << ""
                                   << "X Axis Deflection";
    QTest::newRow("Rx under D") << AXIS_D << PARAMETER_RX << KINEMATIC_XZY << ""
                                << "D Axis Rx";
  }

  void Item_Codes()
  {
    QFETCH(int, axis);
    QFETCH(int, parameter);
    QFETCH(int, kinematic);
    QFETCH(QString, code);
    QFETCH(QString, label);
    const Evaluation::TErrorItem item = Item(axis, parameter);
    QCOMPARE(QString::fromLatin1(Evaluation::Item_Code(item, kinematic)), code);
    QCOMPARE(Evaluation::Item_Label(item), label);
  }

  // The fixture evaluations against their stored files (VARLUME_REGENERATE_EXPECTED=1 rewrites
  // them), and the column layout that every file keeps.
  void Stored_Files_data()
  {
    Evaluation_Cases::Add_Columns();
    for(const Evaluation_Cases::TCase& c : Evaluation_Cases::Stored_Cases())
    {
      Evaluation_Cases::Add_Row(c);
    }
  }

  void Stored_Files()
  {
    QFETCH(QString, file);
    QFETCH(QString, machine);
    QFETCH(QStringList, measurements);
    const TLibraries libraries(Evaluation_Cases::Data_Directory());
    const QByteArray text = Evaluation_Cases::Evaluate(libraries, machine, measurements);
    QVERIFY(!text.isEmpty());

    const QString path = Evaluation_Cases::Expected_File(file);
    if(qEnvironmentVariableIsSet("VARLUME_REGENERATE_EXPECTED"))
    {
      QVERIFY(Test_Support::Write(path, text));
    }
    QCOMPARE(text, Evaluation_Cases::Read(path));

    const QStringList lines = Lines(text);
    QCOMPARE(lines.value(0), "Test Machine: " + machine);
    QCOMPARE(lines.value(1), QString("Machine Errors"));
    const int rule = lines.indexOf(QString(Evaluation::RULE_WIDTH, '-'));
    QVERIFY(rule >= 6);
    QCOMPARE(lines[rule - 2].size(), 245);
    QCOMPARE(lines[rule - 1].size(), 243);
    QVERIFY(lines[rule - 3].isEmpty() && lines[rule - 4].isEmpty());
    for(const QString& line : Data_Lines(text))
    {
      if(line.startsWith("Evaluation "))
      {
        QCOMPARE(line, lines.back());
        continue;
      }
      QCOMPARE(line.size(), 243);
      QCOMPARE(line[Evaluation::CODE_WIDTH], QChar('|'));
      QVERIFY(line.startsWith('|'));
    }
  }

  // The codes of the data lines, in pattern order.
  void Codes_data()
  {
    QTest::addColumn<QString>("machine");
    QTest::addColumn<QStringList>("codes");
    QTest::newRow("two parameters") << "Two XYZ" << QStringList{"|RXX|", "|LYY|", "|RXX|LYY|"};
    // The tower of a bridge is no parameter: alone it writes no line, with Rx the code of Rx.
    QTest::newRow("tower on XYZ") << "Deflection XYZ" << QStringList{"|RXX|", "|RXX|"};
    QTest::newRow("no parameters") << "No Errors" << QStringList();
  }

  void Codes()
  {
    QFETCH(QString, machine);
    QFETCH(QStringList, codes);
    const TLibraries libraries(Evaluation_Cases::Data_Directory());
    QStringList actual;
    for(const QString& line : Data_Lines(Evaluation_Cases::Evaluate(libraries, machine, {"Ball Bar XY"})))
    {
      actual.push_back(Code_Of(line));
    }
    QCOMPARE(actual, codes);
  }

  void Only_Ballbars_Dash_The_Rest()
  {
    const TLibraries libraries(Evaluation_Cases::Data_Directory());
    const QStringList lines =
        Data_Lines(Evaluation_Cases::Evaluate(libraries, "Six YXZ", {"Ball Bar Z", "Ball Bar XY"}));
    QCOMPARE(lines.size(), 63);
    const QString dashes = "   --------   --------  ---------  ---------";
    for(const QString& line : lines)
    {
      QVERIFY(!line.mid(67, 44).contains("--"));
      QCOMPARE(line.mid(111), dashes + dashes + dashes);
    }
  }

  // The fast set-up (tables and measurement values evaluated once) writes what the
  // straightforward one writes, on every kinematic, with partly failing and invalid texts.
  void Fast_Equals_Straightforward_data()
  {
    QTest::addColumn<QString>("directory");
    QTest::addColumn<QString>("machine");
    QTest::addColumn<QStringList>("measurements");
    const QString evaluation = Evaluation_Cases::Data_Directory();
    for(const char* machine : {"Six XZY", "Six YZX", "Six YXZ", "Two XYZ", "Deflection XYZ", "Thin Tower XZY"})
    {
      QTest::newRow(machine) << evaluation << QString(machine) << Evaluation_Cases::All_Measurements();
    }
    const QString simulation = Simulation_Cases::Data_Directory();
    const QStringList all = Simulation_Cases::All_Valid();
    const QStringList bad = {"Bad Laser", "Bad MCG", "ISO After Ballbar", "BallBar X"};
    for(const char* machine : {"Bridge", "Gantry", "Arm XZY", "Arm YZX", "Bad Expression", "Small", "Thin Tower"})
    {
      QTest::newRow(qPrintable(QString("simulation %1").arg(machine))) << simulation << QString(machine) << all;
    }
    QTest::newRow("invalid measurement texts") << simulation << "Bridge" << bad;
    // Failing parameters with invalid texts, and measurements listed more than once (their rows
    // count once per listing).
    QTest::newRow("failing parameters, invalid texts") << simulation << "Bad Expression" << (bad + all);
    QTest::newRow("measurements listed twice")
        << evaluation << "Six YZX"
        << QStringList{"Laser X", "Ball Bar XY", "Laser X", "MCG Centre", "ISO Diagonal", "MCG Centre", "Ball Bar XY"};
  }

  void Fast_Equals_Straightforward()
  {
    QFETCH(QString, directory);
    QFETCH(QString, machine);
    QFETCH(QStringList, measurements);
    const TLibraries libraries(directory);
    const int count =
        static_cast<int>(libraries.machines.Map_Error_Items(libraries.machines.Machine_Id(machine)).size());
    QVERIFY2(count <= 10, "keep the straightforward reference quick");

    Evaluation::TResult fast;
    Evaluation::TResult straightforward;
    const QByteArray fast_text =
        Evaluation_Cases::Evaluate(libraries, machine, measurements, Evaluation::TMode::FAST, {}, &fast);
    const QByteArray reference = Evaluation_Cases::Evaluate(libraries, machine, measurements,
                                                            Evaluation::TMode::STRAIGHTFORWARD, {}, &straightforward);
    QVERIFY(!reference.isEmpty());
    QCOMPARE(fast_text, reference);
    QCOMPARE(int(fast.end), int(straightforward.end));
    QCOMPARE(fast.lines, straightforward.lines);
  }

  // Afterwards the measurements hold whole rows of the last simulated pattern (or, when none
  // was simulated, the rows they had), the same in both modes: the fast mode computes only the
  // lengths of most patterns and has to complete the last one.
  void Rows_After_The_Run_data()
  {
    QTest::addColumn<QString>("directory");
    QTest::addColumn<QString>("machine");
    QTest::addColumn<int>("refused"); // the pattern that progress refuses, 0 for none
    const QString evaluation = Evaluation_Cases::Data_Directory();
    const QString simulation = Simulation_Cases::Data_Directory();
    QTest::newRow("finished") << evaluation << "Six XZY" << 0;
    QTest::newRow("finished, empty pattern last") << evaluation << "Deflection XYZ" << 0;
    QTest::newRow("cancelled before the first") << evaluation << "Six XZY" << 1;
    QTest::newRow("cancelled after the fifth") << evaluation << "Six YZX" << 6;
    QTest::newRow("stopped") << evaluation << "Thin Tower XZY" << 0;
    QTest::newRow("partly failing expression") << simulation << "Bad Expression" << 0;
  }

  void Rows_After_The_Run()
  {
    QFETCH(QString, directory);
    QFETCH(QString, machine);
    QFETCH(int, refused);
    Simulation::TMachineRecord record;
    QList<std::vector<TMeasurement::TMeasurementItem>> rows[2];
    QList<bool> outside[2];
    for(int mode = 0; mode < 2; ++mode)
    {
      const TLibraries libraries(directory);
      QVERIFY(Simulation::Find_Machine_Record(libraries.machines, machine, &record));
      const QStringList names = directory == Evaluation_Cases::Data_Directory() ? Evaluation_Cases::All_Measurements()
                                                                                : Simulation_Cases::All_Valid();
      const std::vector<TMeasurement*> measurements = libraries.measurements.Measurements(names);
      QVERIFY(!measurements.empty());
      // Rows from before the run, which a run that simulates nothing must leave alone.
      for(TMeasurement* measurement : measurements)
      {
        TMeasurement::TMeasurementItem row;
        row.length_actual = 123.0;
        measurement->d_measurement_items.assign(1, row);
        measurement->d_outside_volume = true;
      }
      Evaluation::TProgress progress;
      progress.next = [&](int pattern) { return refused == 0 || pattern < refused; };
      QByteArray text;
      QBuffer buffer(&text);
      buffer.open(QIODevice::WriteOnly);
      Evaluation::Write_Evaluation(record, measurements, &buffer, progress,
                                   mode == 0 ? Evaluation::TMode::FAST : Evaluation::TMode::STRAIGHTFORWARD);
      for(const TMeasurement* measurement : measurements)
      {
        rows[mode].push_back(measurement->d_measurement_items);
        outside[mode].push_back(measurement->d_outside_volume);
      }
    }
    QCOMPARE(outside[0], outside[1]);
    QCOMPARE(rows[0].size(), rows[1].size());
    for(int m = 0; m < rows[0].size(); ++m)
    {
      QCOMPARE(rows[0][m].size(), rows[1][m].size());
      for(std::size_t r = 0; r < rows[0][m].size(); ++r)
      {
        const TMeasurement::TMeasurementItem& a = rows[0][m][r];
        const TMeasurement::TMeasurementItem& b = rows[1][m][r];
        const TVector3 vectors_a[] = {a.probe_offset,  a.reference_nominal, a.reference_actual,
                                      a.point_nominal, a.point_actual,      a.axis_actual,
                                      a.axis_nominal,  a.reference_angles,  a.point_angles};
        const TVector3 vectors_b[] = {b.probe_offset,  b.reference_nominal, b.reference_actual,
                                      b.point_nominal, b.point_actual,      b.axis_actual,
                                      b.axis_nominal,  b.reference_angles,  b.point_angles};
        QVERIFY2(std::memcmp(vectors_a, vectors_b, sizeof(vectors_a)) == 0 &&
                     std::memcmp(&a.length_actual, &b.length_actual, sizeof(double)) == 0 &&
                     std::memcmp(&a.length_nominal, &b.length_nominal, sizeof(double)) == 0,
                 qPrintable(QString("measurement %1 row %2").arg(m).arg(r)));
      }
    }
  }

  // Hand-made records: a parameter given twice, squareness and tower entries under other axes,
  // an angle of the tower, negative signs and a partly failing expression. The fast set-up
  // groups the items by the table they change and must still apply them as the record orders
  // them, on every kind of chain.
  void Fast_Equals_Straightforward_Hand_Made_data()
  {
    QTest::addColumn<QString>("machine");
    for(const char* machine : {"Six XZY", "Six YZX", "Six YXZ", "Two XYZ"})
    {
      QTest::newRow(machine) << QString(machine);
    }
  }

  void Fast_Equals_Straightforward_Hand_Made()
  {
    QFETCH(QString, machine);
    Simulation::TMachineRecord record;
    {
      const TLibraries libraries(Evaluation_Cases::Data_Directory());
      QVERIFY(Simulation::Find_Machine_Record(libraries.machines, machine, &record));
    }
    record.error_items = {Item(AXIS_X, PARAMETER_RX, "0.002*L"),
                          Item(AXIS_X, PARAMETER_RX, "SQRT(0.5-L)"),
                          Item(AXIS_SQUARENESS, PARAMETER_QXY, QString(), 0.01),
                          Item(AXIS_Y, PARAMETER_SCALE, "0.003*L"),
                          Item(AXIS_D, PARAMETER_DEFLECTION, QString(), 0.008),
                          Item(AXIS_Z, PARAMETER_RZ, "0.001*L^2"),
                          Item(AXIS_X, PARAMETER_QYZ, QString(), -0.02),
                          Item(AXIS_D, PARAMETER_RX, "0.1*L"),
                          Item(AXIS_X, PARAMETER_DEFLECTION, QString(), 0.5),
                          Item(AXIS_X, PARAMETER_SCALE, "0.001*L")};
    record.error_items[0].sign = -1;
    record.error_items[6].sign = -1;

    QByteArray texts[2];
    Evaluation::TResult results[2];
    for(int mode = 0; mode < 2; ++mode)
    {
      const TLibraries libraries(Evaluation_Cases::Data_Directory());
      QBuffer buffer(&texts[mode]);
      buffer.open(QIODevice::WriteOnly);
      results[mode] = Evaluation::Write_Evaluation(
          record, libraries.measurements.Measurements(Evaluation_Cases::All_Measurements()), &buffer, {},
          mode == 0 ? Evaluation::TMode::FAST : Evaluation::TMode::STRAIGHTFORWARD);
    }
    QVERIFY(results[1].lines > 0);
    QCOMPARE(texts[0], texts[1]);
    QCOMPARE(int(results[0].end), int(results[1].end));
  }

  void Progress()
  {
    const TLibraries libraries(Evaluation_Cases::Data_Directory());
    int started = -1;
    QList<int> next;
    QList<int> done;
    Evaluation::TProgress progress;
    progress.start = [&](int count) { started = count; };
    progress.next = [&](int pattern)
    {
      next.push_back(pattern);
      return true;
    };
    progress.done = [&](int pattern) { done.push_back(pattern); };
    Evaluation::TResult result;
    Evaluation_Cases::Evaluate(libraries, "Two XYZ", {"Laser X"}, Evaluation::TMode::FAST, progress, &result);
    QCOMPARE(started, 4);
    QCOMPARE(next, (QList<int>{1, 2, 3, 4}));
    QCOMPARE(done, next);
    QCOMPARE(int(result.end), int(Evaluation::TEnd::FINISHED));
    QCOMPARE(result.patterns, 4);
    QCOMPARE(result.lines, 3);
  }

  // Cancel ends the loop before the refused pattern is simulated; the lines so far stay.
  void Cancel_data()
  {
    QTest::addColumn<int>("refused");
    QTest::addColumn<int>("lines");
    QTest::newRow("before the first pattern") << 1 << 0;
    QTest::newRow("after the first pattern") << 2 << 1;
    QTest::newRow("after the fifth pattern") << 6 << 5;
  }

  void Cancel()
  {
    QFETCH(int, refused);
    QFETCH(int, lines);
    const TLibraries libraries(Evaluation_Cases::Data_Directory());
    Evaluation::TProgress progress;
    int last = 0;
    progress.next = [&](int pattern)
    {
      last = pattern;
      return pattern < refused;
    };
    Evaluation::TResult result;
    const QByteArray text = Evaluation_Cases::Evaluate(libraries, "Six XZY", Evaluation_Cases::All_Measurements(),
                                                       Evaluation::TMode::FAST, progress, &result);
    QCOMPARE(last, refused);
    QCOMPARE(int(result.end), int(Evaluation::TEnd::CANCELLED));
    QCOMPARE(result.lines, lines);
    // The lines so far are those of the whole evaluation, and the file says that it stops there.
    const QByteArray whole = Evaluation_Cases::Read(Evaluation_Cases::Expected_File("six_xzy"));
    const QByteArray before = Before_Cancel(text, refused - 1, 64);
    QVERIFY(whole.startsWith(before));
    QCOMPARE(Data_Lines(before).size(), lines);
  }

  // More parameters than can be evaluated, a geometry that the model refuses and an axis
  // exception: the file says so in its last line and the loop does not start or stops.
  void Refused_And_Stopped_data()
  {
    QTest::addColumn<QString>("directory");
    QTest::addColumn<QString>("machine");
    QTest::addColumn<int>("end");
    QTest::addColumn<QString>("last_line");
    QTest::newRow("eighteen parameters") << Evaluation_Cases::Version1_Directory() << "Eighteen Parameters"
                                         << int(Evaluation::TEnd::REFUSED)
                                         << "Evaluation refused: 18 enabled parameters; at most 16 can be evaluated";
    QTest::newRow("origin outside") << Evaluation_Cases::Data_Directory() << "Origin Outside"
                                    << int(Evaluation::TEnd::REFUSED)
                                    << "Evaluation refused: first axis math origin not inside axis";
    QTest::newRow("thin tower") << Evaluation_Cases::Data_Directory() << "Thin Tower XZY"
                                << int(Evaluation::TEnd::STOPPED)
                                << "Evaluation stopped: Deflection axis range invalid.";
  }

  void Refused_And_Stopped()
  {
    QFETCH(QString, directory);
    QFETCH(QString, machine);
    QFETCH(int, end);
    QFETCH(QString, last_line);
    const TLibraries libraries(directory);
    bool started = false;
    Evaluation::TProgress progress;
    progress.start = [&](int) { started = true; };
    Evaluation::TResult result;
    const QByteArray text = Evaluation_Cases::Evaluate(libraries, machine, Evaluation_Cases::All_Measurements(),
                                                       Evaluation::TMode::FAST, progress, &result);
    QCOMPARE(int(result.end), end);
    QCOMPARE(Lines(text).back(), last_line);
    QCOMPARE(result.lines, 0);
    QCOMPARE(started, end == int(Evaluation::TEnd::STOPPED));
  }

  // The workers share the patterns out in another order than the file's; the file, the result and
  // the rows left behind are those of one thread whatever their number.
  void Any_Number_Of_Threads_data()
  {
    QTest::addColumn<QString>("machine");
    QTest::addColumn<QStringList>("measurements");
    for(const Evaluation_Cases::TCase& stored : Evaluation_Cases::Stored_Cases())
    {
      QTest::newRow(stored.file) << QString(stored.machine) << stored.measurements;
    }
    QTest::newRow("sixteen parameters") << "Sixteen XZY" << Evaluation_Cases::All_Measurements();
  }

  void Any_Number_Of_Threads()
  {
    QFETCH(QString, machine);
    QFETCH(QStringList, measurements);
    const TRun one = Run_With_Jobs(Evaluation_Cases::Data_Directory(), machine, measurements, 1);
    QVERIFY(!one.text.isEmpty());
    for(const int jobs : {2, 7})
    {
      const TRun many = Run_With_Jobs(Evaluation_Cases::Data_Directory(), machine, measurements, jobs);
      QCOMPARE(many.text, one.text);
      QCOMPARE(int(many.result.end), int(one.result.end));
      QCOMPARE(many.result.patterns, one.result.patterns);
      QCOMPARE(many.result.lines, one.result.lines);
      QCOMPARE(many.result.message, one.result.message);
      QVERIFY(many.rows == one.rows);
    }
  }

  // Cancel under several threads, before a line (next) or while the workers are still busy
  // (working): the file holds the whole lines of the patterns before it, in pattern order.
  void Cancel_With_Threads()
  {
    const QString directory = Evaluation_Cases::Data_Directory();
    const QStringList names = Evaluation_Cases::All_Measurements();
    const TRun whole = Run_With_Jobs(directory, "Sixteen XZY", names, 1);

    Evaluation::TProgress at_line;
    at_line.next = [](int pattern) { return pattern < 1000; };
    const TRun cancelled = Run_With_Jobs(directory, "Sixteen XZY", names, 3, at_line);
    QCOMPARE(int(cancelled.result.end), int(Evaluation::TEnd::CANCELLED));
    QCOMPARE(cancelled.result.patterns, 999);
    QCOMPARE(cancelled.result.lines, 999);
    const QByteArray before = Before_Cancel(cancelled.text, 999, 65536);
    QVERIFY(whole.text.startsWith(before));
    QCOMPARE(Data_Lines(before).size(), 999);

    int calls = 0;
    Evaluation::TProgress while_working;
    while_working.working = [&calls](int ready)
    {
      ++calls;
      return ready < 20000;
    };
    const TRun stopped = Run_With_Jobs(directory, "Sixteen XZY", names, 3, while_working);
    QCOMPARE(int(stopped.result.end), int(Evaluation::TEnd::CANCELLED));
    QVERIFY(calls > 0);
    const QByteArray written = Before_Cancel(stopped.text, stopped.result.patterns, 65536);
    QVERIFY(whole.text.startsWith(written));
    QCOMPARE(Data_Lines(written).size(), stopped.result.lines);
    QVERIFY(stopped.result.patterns < 65536);
  }

  // Each parameter alone, set up the fast way, gives the rows of a model that holds just that
  // parameter; the measurements themselves keep their rows.
  void Single_Parameter_Patterns()
  {
    const TLibraries libraries(Evaluation_Cases::Data_Directory());
    Simulation::TMachineRecord record;
    QVERIFY(Simulation::Find_Machine_Record(libraries.machines, "Six XZY", &record));
    record.error_items.push_back(Item(AXIS_D, PARAMETER_RX, "0.1*L")); // not applied
    const std::vector<TMeasurement*> measurements =
        libraries.measurements.Measurements(Evaluation_Cases::All_Measurements());
    const QByteArray before = Row_Bits(measurements);

    std::vector<Evaluation::TSingleParameter> singles;
    QString message;
    QVERIFY(Evaluation::Single_Parameter_Patterns(record, measurements, &singles, &message));
    QCOMPARE(Row_Bits(measurements), before);
    QCOMPARE(singles.size(), record.error_items.size());
    QVERIFY(singles.back().code.isEmpty());
    QVERIFY(!singles.back().simulated);

    for(std::size_t j = 0; j + 1 < singles.size(); ++j)
    {
      const Evaluation::TSingleParameter& single = singles[j];
      QVERIFY(single.simulated);
      QCOMPARE(single.code, QString::fromLatin1(Evaluation::Item_Code(record.error_items[j], record.kinematic)));
      Simulation::TMachineRecord alone = record;
      alone.error_items = {record.error_items[j]};
      TMachineComp machine;
      QVERIFY(Simulation::Setup_Machine_Comp(alone, &machine, nullptr));
      const TLibraries copy(Evaluation_Cases::Data_Directory());
      std::vector<TMeasurement*> reference = copy.measurements.Measurements(Evaluation_Cases::All_Measurements());
      QVERIFY(Simulation::Evaluate_Measurement_Expressions(&machine, &reference, nullptr));
      QVERIFY(Simulation::Update_Measurement_Items(&machine, &reference));
      double largest[Evaluation::KIND_COUNT] = {0.0, 0.0, 0.0, 0.0};
      for(std::size_t m = 0; m < reference.size(); ++m)
      {
        const std::vector<TMeasurement::TMeasurementItem>& rows = reference[m]->d_measurement_items;
        QCOMPARE(single.rows[m].size(), rows.size());
        QVERIFY(std::memcmp(single.rows[m].data(), rows.data(), rows.size() * sizeof(rows[0])) == 0);
        for(const TMeasurement::TMeasurementItem& row : rows)
        {
          for(int kind = 0; kind < Evaluation::KIND_COUNT; ++kind)
          {
            if(reference[m]->Type() == Evaluation::Kind_Type(kind))
            {
              largest[kind] = std::max(largest[kind], std::fabs(row.length_actual - row.length_nominal));
            }
          }
        }
      }
      for(int kind = 0; kind < Evaluation::KIND_COUNT; ++kind)
      {
        QVERIFY(single.found[kind]);
        QCOMPARE(single.largest[kind], largest[kind]);
      }
    }

    record.kinematic = 0;
    QVERIFY(!Evaluation::Single_Parameter_Patterns(record, measurements, &singles, &message));
    QCOMPARE(message, QString("unknown kinematic order"));
  }

  // Initialize_End raises for a travel too short to fit its straightness: the file ends there.
  void Stopped_By_Set_Up()
  {
    Simulation::TMachineRecord record;
    record.name = "Short X";
    record.axis_start = TVector3(0, 0, -800);
    record.axis_end = TVector3(0.0000001, 1000, 0);
    record.error_items = {Item(AXIS_Y, PARAMETER_SCALE, "0.001*L")};
    QByteArray text;
    QBuffer buffer(&text);
    buffer.open(QIODevice::WriteOnly);
    const Evaluation::TResult result = Evaluation::Write_Evaluation(record, {}, &buffer);
    QCOMPARE(int(result.end), int(Evaluation::TEnd::STOPPED));
    QVERIFY(!result.message.isEmpty());
    QCOMPARE(Lines(text).back(), "Evaluation stopped: " + result.message);
    QCOMPARE(Data_Lines(text).size(), 1);
  }
};

QTEST_APPLESS_MAIN(TTestEvaluation)
#include "test_evaluation.moc"
