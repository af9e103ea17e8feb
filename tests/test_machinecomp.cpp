#include <QtTest>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "core/expression.h"
#include "core/interpolation.h"
#include "core/mat4.h"
#include "src/model/errorpolynomial.h"
#include "src/model/machinecomp.h"

Q_DECLARE_METATYPE(TVector3)

namespace
{
const double NaN = std::numeric_limits<double>::quiet_NaN();
const double Infinity = std::numeric_limits<double>::infinity();
const QString Rule(78, '-');

bool Near(const TVector3& a, const TVector3& b, double tolerance = 1e-12)
{
  return std::fabs(a.x - b.x) < tolerance && std::fabs(a.y - b.y) < tolerance && std::fabs(a.z - b.z) < tolerance;
}

bool Equal(const TVector3& a, const TVector3& b)
{
  return a.x == b.x && a.y == b.y && a.z == b.z;
}

// Bit for bit, NaN equal to NaN.
bool Same(double a, double b)
{
  return std::memcmp(&a, &b, sizeof(double)) == 0 || (std::isnan(a) && std::isnan(b));
}

int Axis_Value(QChar letter)
{
  return letter == 'X' ? AXIS_X : (letter == 'Y' ? AXIS_Y : (letter == 'Z' ? AXIS_Z : AXIS_D));
}
int Index_Of(int axis)
{
  return axis == AXIS_X ? 0 : (axis == AXIS_Y ? 1 : 2);
}

TMachineStandardComp Table(double start, double end, int axis = AXIS_X)
{
  TMachineStandardComp table;
  table.d_axis_start = table.d_math_origin = table.d_mechanical_origin = start;
  table.d_axis_end = end;
  table.Initialize(axis);
  return table;
}

void Row(const TMachineStandardComp& table, int index, double* position, TVector3* angular, TVector3* linear)
{
  table.Data(index, position, angular, linear);
}

TVector3 Linear_At(const TMachineStandardComp& table, int index)
{
  double position = 0.0;
  TVector3 angular, linear;
  Row(table, index, &position, &angular, &linear);
  return linear;
}

struct TTravel
{
  double start;
  double end;
  double math_origin;
  double mechanical_origin;
};

// Axes in the chain order of the kinematic, each with its own travel.
TMachineComp::TInitParameters Parameters(int kinematic, const TTravel& x, const TTravel& y, const TTravel& z)
{
  int order[3] = {AXIS_X, AXIS_Y, AXIS_Z};
  if(kinematic == KINEMATIC_YXZ)
    std::swap(order[0], order[1]);
  if(kinematic == KINEMATIC_XZY)
    std::swap(order[1], order[2]);
  if(kinematic == KINEMATIC_YZX)
    order[0] = AXIS_Y, order[1] = AXIS_Z, order[2] = AXIS_X;
  const TTravel travels[3] = {x, y, z};
  const TTravel& a = travels[Index_Of(order[0])];
  const TTravel& b = travels[Index_Of(order[1])];
  const TTravel& c = travels[Index_Of(order[2])];
  return {kinematic, order[0], order[1],      order[2],
          a.start,   a.end,    a.math_origin, a.mechanical_origin,
          b.start,   b.end,    b.math_origin, b.mechanical_origin,
          c.start,   c.end,    c.math_origin, c.mechanical_origin};
}

// Travel -500..500 on every axis, origins 0.
TMachineComp::TInitParameters Cube(int kinematic)
{
  const TTravel travel = {-500, 500, 0, 0};
  return Parameters(kinematic, travel, travel, travel);
}

// A tower machine: Z 0..1000 and the arm 0..2000, origins 0; the third axis -500..500.
TMachineComp::TInitParameters Tower(int kinematic)
{
  const TTravel arm = {0, 2000, 0, 0};
  const TTravel tower = {0, 1000, 0, 0};
  const TTravel other = {-500, 500, 0, 0};
  return kinematic == KINEMATIC_XZY ? Parameters(kinematic, other, arm, tower)
                                    : Parameters(kinematic, arm, other, tower);
}

// Set-up items "Rx X 0.01*L 1; Quad Y 0.02 -1; D D 0.02 1": parameter, axis, expression or value, sign.
bool Set_Up(TMachineComp* machine, const TMachineComp::TInitParameters& parameters, const QString& items)
{
  bool ok = machine->Initialize_Begin(parameters);
  for(const QString& item : items.split(';', Qt::SkipEmptyParts))
  {
    const QStringList parts = item.split(' ', Qt::SkipEmptyParts);
    const QString& name = parts[0];
    const int axis = Axis_Value(parts[1][0]);
    const int sign = parts[3].toInt();
    if(name == "Rx")
      ok = machine->Set_Rx(axis, parts[2], sign) && ok;
    if(name == "Ry")
      ok = machine->Set_Ry(axis, parts[2], sign) && ok;
    if(name == "Rz")
      ok = machine->Set_Rz(axis, parts[2], sign) && ok;
    if(name == "Scale")
      ok = machine->Set_Scale(axis, parts[2], sign) && ok;
    if(name == "Quad")
      ok = machine->Set_Quad(axis, parts[2].toDouble(), sign) && ok;
    if(name == "D")
      ok = machine->Set_Deflection(axis, parts[2].toDouble(), sign) && ok;
  }
  return machine->Initialize_End() && ok;
}

// The chain algorithm written out with TMat4, as the reference for the model's own rotation
// arithmetic; tables in chain order, fully set up.
TVector3 Reference_Error(const TMachineStandardComp (&tables)[3], int kinematic,
                         const TMachineDeflectionComp& deflection, const TVector3& p, const TVector3& q)
{
  auto table_of = [&](int axis) -> const TMachineStandardComp&
  { return tables[0].d_axis == axis ? tables[0] : (tables[1].d_axis == axis ? tables[1] : tables[2]); };
  TMat4 m;
  TVector3 e;
  for(int i = 0; i < 3; ++i)
  {
    const TMachineStandardComp& table = tables[i];
    const int c = Index_Of(table.d_axis);
    TVector3 u, angular, linear;
    u(c) = 1;
    table.Data(p(c), &angular, &linear);
    linear(c) = linear(c) * (table.d_scale_sign < 0 ? -1.0 : 1.0);
    e = e + linear;
    if(i > 0)
    {
      const TVector3 w1 = (p(c) - table.d_math_origin) * u;
      const TVector3 w2 = (table.d_mechanical_origin - table.d_math_origin) * u;
      e = e + (m * w1 - w1);
      e = e + (m * w2 - w2);
    }
    const TVector3 r = angular / 1000.0;
    m.Rotate(TVector3(m[0], m[1], m[2]), table.d_rx_sign >= 0 ? -r.x : r.x);
    m.Rotate(TVector3(m[4], m[5], m[6]), table.d_ry_sign >= 0 ? -r.y : r.y);
    m.Rotate(TVector3(m[8], m[9], m[10]), table.d_rz_sign >= 0 ? -r.z : r.z);
  }
  if(kinematic == KINEMATIC_XZY)
  {
    const double d = deflection.Sign() * deflection.Evaluate(p.z, p.y) / 1000;
    e.y += (p.z - table_of(AXIS_Z).d_mechanical_origin) * d;
    e.z -= (p.y - table_of(AXIS_Y).d_mechanical_origin) * d;
  }
  if(kinematic == KINEMATIC_YZX)
  {
    const double d = deflection.Sign() * deflection.Evaluate(p.z, p.x) / 1000;
    e.x -= (p.z - table_of(AXIS_Z).d_mechanical_origin) * d;
    e.z += (p.x - table_of(AXIS_X).d_mechanical_origin) * d;
  }
  e = e + (m * q - q);
  auto quad = [&](int axis) { return table_of(axis).d_quad_sign < 0 ? -table_of(axis).d_quad : table_of(axis).d_quad; };
  if(kinematic == KINEMATIC_YXZ)
  {
    e.y += quad(AXIS_X) * p.x / 1000 + quad(AXIS_Y) * p.z / 1000;
    e.x += quad(AXIS_Z) * p.z / 1000;
  }
  else
  {
    e.x += quad(AXIS_X) * p.y / 1000 + quad(AXIS_Z) * p.z / 1000;
    e.y += quad(AXIS_Y) * p.z / 1000;
  }
  return e;
}
} // namespace

class TTestMachineComp : public QObject
{
  Q_OBJECT

private slots:
  void Table_Layout()
  {
    TMachineStandardComp table;
    QCOMPARE(table.Data_Size(), 0);
    table = Table(-500, 500);
    QCOMPARE(table.Data_Size(), 51);
    for(int i = 0; i < 51; ++i)
    {
      double position = 0.0;
      TVector3 angular, linear;
      Row(table, i, &position, &angular, &linear);
      QCOMPARE(position, -500.0 + 20.0 * i);
    }
    // Nothing set: every lookup reads zero, inside and outside the travel.
    for(const double position : {-700.0, 0.0, 123.4, 900.0})
    {
      TVector3 angular(1, 1, 1), linear(1, 1, 1);
      table.Data(position, &angular, &linear);
      QVERIFY(Equal(angular, TVector3()) && Equal(linear, TVector3()));
    }
  }

  void Table_Lookup_data()
  {
    QTest::addColumn<double>("position");
    QTest::addColumn<double>("rx");
    QTest::newRow("start") << -500.0 << -0.005;
    QTest::newRow("end") << 500.0 << 0.005;
    QTest::newRow("between positions") << 250.0 << 0.0025;
    QTest::newRow("beyond end") << 600.0 << 0.006;
    QTest::newRow("before start") << -520.0 << -0.0052;
  }

  void Table_Lookup()
  {
    QFETCH(double, position);
    QFETCH(double, rx);
    TMachineStandardComp table = Table(-500, 500);
    table.Set_Rx("0.01*L", 1);
    TVector3 angular, linear;
    table.Data(position, &angular, &linear);
    QVERIFY(std::fabs(angular.x - rx) < 1e-15);
    QCOMPARE(angular.y, 0.0);
  }

  // The computed bracket must give exactly what the walk of Extrapolation::Get_Value gives,
  // also at and next to table positions, outside the table and for unusable positions.
  void Table_Lookup_Matches_Walk_data()
  {
    QTest::addColumn<double>("start");
    QTest::addColumn<double>("end");
    QTest::newRow("symmetric") << -500.0 << 500.0;
    QTest::newRow("awkward steps") << -0.1 << 0.3;
    QTest::newRow("far from zero") << 1234.567 << 98765.4321;
    QTest::newRow("steps below the walk's threshold") << 0.0 << 1e-5;
    QTest::newRow("travel below the threshold") << 0.0 << 5e-7;
  }

  void Table_Lookup_Matches_Walk()
  {
    QFETCH(double, start);
    QFETCH(double, end);
    TMachineStandardComp table = Table(start, end, AXIS_Y);
    table.Set_Rx("0.3*L^3-0.2*L+0.01", 1);
    table.Set_Ry("SQRT(L*L+1)", 1);
    table.Set_Scale("0.02*L^2", 1);
    // Rz fails at row 20 and is left partly written.
    const int failing_row = 20;
    double failing_position = 0.0;
    TVector3 angular, linear;
    Row(table, failing_row, &failing_position, &angular, &linear);
    QVERIFY_EXCEPTION_THROWN(table.Set_Rz(QString("1/(L-(%1))").arg(failing_position / 1000.0, 0, 'f', 16), 1),
                             TMachineAxisException);

    // The pair lists that the walk would read.
    std::vector<TVector2> reference[6];
    std::vector<double> positions = {-Infinity, Infinity, NaN, start, end, 0.0, (start + end) / 2};
    for(int i = 0; i < table.Data_Size(); ++i)
    {
      double p = 0.0;
      Row(table, i, &p, &angular, &linear);
      reference[0].push_back(TVector2(p, angular.x));
      reference[1].push_back(TVector2(p, angular.y));
      reference[2].push_back(i < failing_row ? TVector2(p, angular.z) : TVector2());
      reference[3].push_back(TVector2());
      reference[4].push_back(TVector2(p, linear.y));
      reference[5].push_back(TVector2());
      positions.insert(positions.end(), {p, std::nextafter(p, -Infinity), std::nextafter(p, Infinity),
                                         std::nextafter(std::nextafter(p, Infinity), Infinity)});
    }
    std::mt19937 random(7);
    std::uniform_real_distribution<double> spread(start - (end - start), end + (end - start));
    for(int i = 0; i < 2000; ++i)
    {
      positions.push_back(spread(random));
    }

    for(const double position : positions)
    {
      table.Data(position, &angular, &linear);
      const double values[6] = {angular.x, angular.y, angular.z, linear.x, linear.y, linear.z};
      for(int column = 0; column < 6; ++column)
      {
        double expected = 0.0;
        Extrapolation::Get_Value(reference[column], position, &expected);
        QVERIFY2(Same(values[column], expected),
                 qPrintable(QString("column %1 at %2").arg(column).arg(position, 0, 'g', 17)));
      }
    }
  }

  void Table_Expression_Failure_data()
  {
    QTest::addColumn<int>("axis");
    QTest::addColumn<QString>("parameter");
    QTest::addColumn<QString>("expression");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("failing_row");
    QTest::newRow("Ry syntax") << AXIS_X << "Ry"
                               << "0.01 * L +"
                               << "Ry expression '0.01 * L +' invalid" << 0;
    QTest::newRow("Rx unknown name") << AXIS_X << "Rx"
                                     << "A*L"
                                     << "Rx expression 'A*L' invalid" << 0;
    QTest::newRow("Rz infinite at L = 0") << AXIS_Y << "Rz"
                                          << "1/L"
                                          << "Rz expression '1/L' invalid" << 25;
    QTest::newRow("Rx not a number from L = 0") << AXIS_Z << "Rx"
                                                << "SQRT(-L-0.001)"
                                                << "Rx expression 'SQRT(-L-0.001)' invalid" << 25;
    QTest::newRow("X scale") << AXIS_X << "Scale"
                             << "L/0"
                             << "X scale expression 'L/0' invalid" << 0;
    QTest::newRow("Y scale") << AXIS_Y << "Scale"
                             << "("
                             << "Y scale expression '(' invalid" << 0;
    QTest::newRow("Z scale") << AXIS_Z << "Scale"
                             << "1/(L-0.2)"
                             << "Z scale expression '1/(L-0.2)' invalid" << 35;
  }

  void Table_Expression_Failure()
  {
    QFETCH(int, axis);
    QFETCH(QString, parameter);
    QFETCH(QString, expression);
    QFETCH(QString, message);
    QFETCH(int, failing_row);

    TMachineStandardComp table = Table(-500, 500, axis);
    QString raised;
    try
    {
      if(parameter == "Rx")
        table.Set_Rx(expression, -1);
      if(parameter == "Ry")
        table.Set_Ry(expression, -1);
      if(parameter == "Rz")
        table.Set_Rz(expression, -1);
      if(parameter == "Scale")
        table.Set_Scale(expression, -1);
    }
    catch(const TMachineAxisException& exception)
    {
      raised = exception.Message();
    }
    QCOMPARE(raised, message);
    QCOMPARE(table.d_rx_sign + table.d_ry_sign + table.d_rz_sign + table.d_scale_sign, 4);

    // Rows before the failing position keep their values; from there on the column holds zeros.
    for(int i = 0; i < table.Data_Size(); ++i)
    {
      double position = 0.0;
      TVector3 angular, linear;
      Row(table, i, &position, &angular, &linear);
      const double value = parameter == "Scale" ? linear(Index_Of(axis)) : angular(parameter[1].unicode() - 'x');
      QVERIFY2(std::isfinite(value) && (i < failing_row) == (value != 0.0), qPrintable(QString::number(i)));
    }
  }

  void Straightness_Levelled_data()
  {
    QTest::addColumn<QString>("rz");
    QTest::addColumn<bool>("flat");
    QTest::newRow("constant angle") << "0.01" << true;
    QTest::newRow("linear angle") << "0.02*L" << false;
    QTest::newRow("quadratic angle") << "0.05*L^2-0.01" << false;
  }

  void Straightness_Levelled()
  {
    QFETCH(QString, rz);
    QFETCH(bool, flat);
    TMachineStandardComp table = Table(-300, 700);
    table.Set_Rz(rz, 1);
    table.Calculate_Straightness(TMachineStandardComp::STRAIGHTNESS_Y_FROM_RZ);

    TVector3 angular, linear;
    table.Data(0.0, &angular, &linear);
    QVERIFY(std::fabs(linear.y) < 1e-12);
    double largest = 0.0;
    for(int i = 0; i < table.Data_Size(); ++i)
    {
      largest = std::max(largest, std::fabs(Linear_At(table, i).y));
      QVERIFY(Linear_At(table, i).x == 0.0 && Linear_At(table, i).z == 0.0);
    }
    QCOMPARE(largest < 1e-12, flat);
  }

  // Each mode reads its angular column and scales by its sign factor.
  void Straightness_Sign_Factor_data()
  {
    QTest::addColumn<int>("axis");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("sign");
    QTest::addColumn<int>("factor");
    using T = TMachineStandardComp;
    QTest::newRow("X from Ry on Z") << AXIS_Z << int(T::STRAIGHTNESS_X_FROM_RY) << 1 << 1;
    QTest::newRow("X from Ry, sign -1") << AXIS_Z << int(T::STRAIGHTNESS_X_FROM_RY) << -1 << -1;
    QTest::newRow("X from Rz on Y") << AXIS_Y << int(T::STRAIGHTNESS_X_FROM_RZ) << 1 << -1;
    QTest::newRow("X from Rz on X") << AXIS_X << int(T::STRAIGHTNESS_X_FROM_RZ) << 1 << 1;
    QTest::newRow("Y from Rx on Z") << AXIS_Z << int(T::STRAIGHTNESS_Y_FROM_RX) << 1 << -1;
    QTest::newRow("Y from Rx on Z, sign -1") << AXIS_Z << int(T::STRAIGHTNESS_Y_FROM_RX) << -1 << 1;
    QTest::newRow("Y from Rz on X") << AXIS_X << int(T::STRAIGHTNESS_Y_FROM_RZ) << -1 << -1;
    QTest::newRow("Z from Rx on Y") << AXIS_Y << int(T::STRAIGHTNESS_Z_FROM_RX) << 1 << 1;
    QTest::newRow("Z from Ry on X") << AXIS_X << int(T::STRAIGHTNESS_Z_FROM_RY) << 1 << -1;
    QTest::newRow("Z from Ry on Y") << AXIS_Y << int(T::STRAIGHTNESS_Z_FROM_RY) << 1 << 1;
  }

  void Straightness_Sign_Factor()
  {
    QFETCH(int, axis);
    QFETCH(int, mode);
    QFETCH(int, sign);
    QFETCH(int, factor);
    using T = TMachineStandardComp;
    const QString angle = "5*L^2+L";

    // Reference: Y from Rz on an X axis with sign +1 has the factor +1.
    T reference = Table(-200, 800, AXIS_X);
    reference.Set_Rz(angle, 1);
    reference.Calculate_Straightness(T::STRAIGHTNESS_Y_FROM_RZ);
    QVERIFY(std::fabs(Linear_At(reference, 40).y) > 1e-2);

    T table = Table(-200, 800, axis);
    if(mode == T::STRAIGHTNESS_Y_FROM_RX || mode == T::STRAIGHTNESS_Z_FROM_RX)
      table.Set_Rx(angle, sign);
    else if(mode == T::STRAIGHTNESS_X_FROM_RY || mode == T::STRAIGHTNESS_Z_FROM_RY)
      table.Set_Ry(angle, sign);
    else
      table.Set_Rz(angle, sign);
    table.Calculate_Straightness(static_cast<T::TStraightnessParameterMode>(mode));

    const int written = mode / 2; // X, Y, Z two modes each
    for(int i = 0; i < table.Data_Size(); ++i)
    {
      QVERIFY(std::fabs(Linear_At(table, i)(written) - factor * Linear_At(reference, i).y) < 1e-12);
    }
  }

  void Straightness_Not_Solvable()
  {
    // A travel below 1e-6 mm cannot be looked up at position 0.
    TMachineStandardComp table = Table(0.0, 5e-7, AXIS_Y);
    QString raised;
    try
    {
      table.Calculate_Straightness(TMachineStandardComp::STRAIGHTNESS_Z_FROM_RX);
    }
    catch(const TMachineAxisException& exception)
    {
      raised = exception.Message();
    }
    QCOMPARE(raised, QString("Z straightness from Rx not solvable"));
  }

  void Deflection()
  {
    TMachineDeflectionComp deflection;
    QVERIFY(!deflection.Is_Valid());
    deflection.Set_Vertical_Axis(1000, 0, 0);
    deflection.Set_Horizontal_Axis(0, 2000, 0);
    deflection.Initialize(0.02, 0);
    QCOMPARE(deflection.Sign(), -1);
    QVERIFY(deflection.Is_Valid());
    QVERIFY(std::fabs(deflection.Evaluate(1000, 2000) - 0.01) < 1e-15);
    QCOMPARE(deflection.Evaluate(500, 1000), 0.0);

    deflection.Set_Horizontal_Axis(0, 2000, 2001);
    QVERIFY(!deflection.Is_Valid());
    deflection.Set_Vertical_Axis(0, 0.0005, 0);
    QVERIFY_EXCEPTION_THROWN(deflection.Evaluate(0, 0), TMachineAxisException);
  }

  void Set_Up_Refusals()
  {
    TMachineComp machine;
    QVERIFY(Equal(machine.Evaluate(TVector3(1, 2, 3), TVector3(), nullptr), TVector3()));
    QCOMPARE(machine.Last_Error(), QString("Map data is invalid"));
    QVERIFY(Equal(machine.Map_Data_Min(), TVector3()) && Equal(machine.Map_Data_Max(), TVector3()));

    TMachineComp* m = &machine;
    const std::vector<std::pair<std::function<bool()>, QString>> refusals = {
        {[m] { return m->Set_Rx(AXIS_X, "0", 1); }, "Incorrect mode to set Rx parameter"},
        {[m] { return m->Set_Ry(AXIS_X, "0", 1); }, "Incorrect mode to set Ry parameter"},
        {[m] { return m->Set_Rz(AXIS_X, "0", 1); }, "Incorrect mode to set Rz parameter"},
        {[m] { return m->Set_Scale(AXIS_X, "0", 1); }, "Incorrect mode to set Scale parameter"},
        {[m] { return m->Set_Quad(AXIS_X, 0, 1); }, "Incorrect mode to set Squareness parameter"},
        {[m] { return m->Initialize_End(); }, "Incorrect mode to end initialization"},
        {[m] { return m->Set_Deflection(AXIS_Z, 0.01, 1); }, "Cannot set deflection for not deflection axis"},
        {[m] { return m->Initialize_Begin(Cube(KINEMATIC_XYZ)) && m->Initialize_Begin(Cube(KINEMATIC_XYZ)); },
         "Incorrect mode to start initialization"},
        {[m] { return m->Set_Scale(AXIS_D, "0", 1); }, "Set scale error.  Axis not specified"},
        // Plain numbers from a file or an editor that are not finite would give rows of nan.
        {[m] { return m->Set_Quad(AXIS_Y, Infinity, 1); }, "Squareness value inf invalid"},
        {[m] { return m->Set_Deflection(AXIS_D, NaN, 1); }, "Deflection value nan invalid"},
        {[m] { return m->Set_Rx(AXIS_X, "1+", 1); }, "X Axis: Rx expression '1+' invalid"},
        {[m] { return m->Set_Rz(AXIS_Y, "0.01*L", 1) && m->Set_Scale(AXIS_Z, "1/L", 1); },
         "Z Axis: Z scale expression '1/L' invalid"},
    };
    for(const auto& refusal : refusals)
    {
      QVERIFY(!refusal.first());
      QCOMPARE(machine.Last_Error(), refusal.second);
    }

    // Failed calls do not abort the set-up; an axis that the chain lacks is ignored, and a
    // successful call leaves the last message.
    QVERIFY(machine.Set_Rx(AXIS_D, "0.01", 1));
    QVERIFY(machine.Set_Deflection(AXIS_D, 0.01, 1));
    QVERIFY(machine.Initialize_End());
    QVERIFY(machine.Is_Valid());
    QCOMPARE(machine.Last_Error(), refusals.back().second);
  }

  void Initialize_Begin_Checks_data()
  {
    QTest::addColumn<int>("field");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("message");
    // Doubles of TInitParameters: start, end, math origin, mechanical origin per axis.
    QTest::newRow("first travel reversed") << 0 << 600.0 << "first axis start and end positions not valid";
    QTest::newRow("third travel empty") << 9 << -500.0 << "third axis start and end positions not valid";
    QTest::newRow("second travel infinite") << 5 << Infinity << "second axis start and end positions not valid";
    QTest::newRow("second math origin") << 6 << 501.0 << "second axis math origin not inside axis";
    QTest::newRow("third math origin not a number") << 10 << NaN << "third axis math origin not inside axis";
    QTest::newRow("first machine origin") << 3 << -501.0 << "first axis machine origin not inside axis";
    QTest::newRow("math origin at end") << 2 << 500.0 << "";
    QTest::newRow("machine origin at start") << 11 << -500.0 << "";
    QTest::newRow("first and second axis duplicated") << -2 << 0.0 << "first and second axis duplicated";
    QTest::newRow("second and third axis duplicated") << -3 << 0.0 << "second and third axis duplicated";
  }

  void Initialize_Begin_Checks()
  {
    QFETCH(int, field);
    QFETCH(double, value);
    QFETCH(QString, message);
    TMachineComp::TInitParameters parameters = Cube(KINEMATIC_XYZ);
    double* fields[12] = {&parameters.first_axis_start,        &parameters.first_axis_end,
                          &parameters.first_axis_math_origin,  &parameters.first_axis_mechanical_origin,
                          &parameters.second_axis_start,       &parameters.second_axis_end,
                          &parameters.second_axis_math_origin, &parameters.second_axis_mechanical_origin,
                          &parameters.third_axis_start,        &parameters.third_axis_end,
                          &parameters.third_axis_math_origin,  &parameters.third_axis_mechanical_origin};
    if(field >= 0)
      *fields[field] = value;
    if(field == -2)
      parameters.second_axis = parameters.first_axis;
    if(field == -3)
      parameters.third_axis = parameters.second_axis;

    // A valid model stays valid when a new set-up is refused.
    TMachineComp machine;
    QVERIFY(Set_Up(&machine, Cube(KINEMATIC_YXZ), ""));
    QCOMPARE(machine.Initialize_Begin(parameters), message.isEmpty());
    QCOMPARE(machine.Last_Error(), message);
    QCOMPARE(machine.Is_Valid(), !message.isEmpty());
    QCOMPARE(machine.Init_Parameters().kinematic, message.isEmpty() ? KINEMATIC_XYZ : KINEMATIC_YXZ);
  }

  // One hand-computed error per behaviour and kinematic order.
  void Evaluate_Errors_data()
  {
    QTest::addColumn<int>("kinematic");
    QTest::addColumn<QString>("set_up");
    QTest::addColumn<TVector3>("position");
    QTest::addColumn<TVector3>("probe");
    QTest::addColumn<TVector3>("error");

    const TVector3 none;
    QTest::newRow("no errors") << KINEMATIC_XYZ << "" << TVector3(123, -45, 67) << TVector3(10, 20, -150) << none;
    QTest::newRow("X scale") << KINEMATIC_XYZ << "Scale X 0.01*L 1" << TVector3(500, 0, 0) << none
                             << TVector3(0.005, 0, 0);
    QTest::newRow("X scale, sign -1") << KINEMATIC_XYZ << "Scale X 0.01*L -1" << TVector3(500, 0, 0) << none
                                      << TVector3(-0.005, 0, 0);
    QTest::newRow("Y scale uses its own sign") << KINEMATIC_XYZ << "Scale X 0.01*L 1; Scale Y 0.01*L -1"
                                               << TVector3(500, 500, 0) << none << TVector3(0.005, -0.005, 0);
    QTest::newRow("XYZ: X yaw turns the Y arm")
        << KINEMATIC_XYZ << "Rz X 0.01 1" << TVector3(0, 300, 0) << none << TVector3(-0.003, 0, 0);
    QTest::newRow("XYZ: Z roll turns the probe")
        << KINEMATIC_XYZ << "Rx Z 0.01 1" << TVector3(0, 0, 0) << TVector3(0, 0, -150) << TVector3(0, 0.0015, 0);
    QTest::newRow("XYZ: squareness XY") << KINEMATIC_XYZ << "Quad X 0.02 1" << TVector3(0, 500, 0) << none
                                        << TVector3(0.01, 0, 0);
    QTest::newRow("XYZ: squareness XY, sign -1")
        << KINEMATIC_XYZ << "Quad X 0.02 -1" << TVector3(0, 500, 0) << none << TVector3(-0.01, 0, 0);
    QTest::newRow("XYZ: squareness ZX and YZ")
        << KINEMATIC_XYZ << "Quad Z 0.03 1; Quad Y 0.01 1" << TVector3(0, 0, 200) << none << TVector3(0.006, 0.002, 0);
    QTest::newRow("YXZ: Y yaw turns the X arm")
        << KINEMATIC_YXZ << "Rz Y 0.01 1" << TVector3(300, 0, 0) << none << TVector3(0, 0.003, 0);
    QTest::newRow("YXZ: squareness moves Y with X")
        << KINEMATIC_YXZ << "Quad X 0.02 1" << TVector3(500, 500, 0) << none << TVector3(0, 0.01, 0);
    QTest::newRow("XZY: X pitch turns the Z arm")
        << KINEMATIC_XZY << "Ry X 0.01 1" << TVector3(0, 0, 200) << none << TVector3(0.002, 0, 0);
    QTest::newRow("XZY: sign -1 turns the other way")
        << KINEMATIC_XZY << "Ry X 0.01 -1" << TVector3(0, 0, 200) << none << TVector3(-0.002, 0, 0);
    QTest::newRow("YZX: Y roll turns the Z arm")
        << KINEMATIC_YZX << "Rx Y 0.01 1" << TVector3(0, 0, 200) << none << TVector3(0, -0.002, 0);
    // The arm reaches from the mechanical origin of Z (-100), not only from its math origin (0).
    QTest::newRow("YZX: Z arm from the origins")
        << KINEMATIC_YZX << "Rx Y 0.01 1; origin" << TVector3(0, 0, 200) << none << TVector3(0, -0.001, 0);
  }

  void Evaluate_Errors()
  {
    QFETCH(int, kinematic);
    QFETCH(QString, set_up);
    QFETCH(TVector3, position);
    QFETCH(TVector3, probe);
    QFETCH(TVector3, error);

    TMachineComp::TInitParameters parameters = Cube(kinematic);
    if(set_up.endsWith("origin"))
    {
      parameters.second_axis_mechanical_origin = -100;
      set_up.chop(QString("; origin").size());
    }
    TMachineComp machine;
    QVERIFY(Set_Up(&machine, parameters, set_up));
    bool inside = false;
    const TVector3 actual = machine.Evaluate(position, probe, &inside);
    QVERIFY(inside);
    // Second-order terms of the small rotations stay below 1e-7.
    QVERIFY(Near(actual - position, error, 1e-7));
  }

  // Generated machines of every kinematic order against the chain written out with TMat4:
  // the model's own rotation arithmetic must give the same numbers.
  void Evaluate_Matches_Reference()
  {
    std::mt19937 random(2024);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    auto coefficient = [&]() { return QString::number((unit(random) - 0.5) * 0.1, 'f', 6); };
    auto sign = [&]() { return unit(random) < 0.5 ? -1 : 1; };
    const int kinematics[4] = {KINEMATIC_XYZ, KINEMATIC_YXZ, KINEMATIC_XZY, KINEMATIC_YZX};
    for(int machine_index = 0; machine_index < 40; ++machine_index)
    {
      const int kinematic = kinematics[machine_index % 4];
      TTravel travels[3];
      for(TTravel& travel : travels)
      {
        travel.start = -1500 * unit(random);
        travel.end = travel.start + 10 + 3000 * unit(random);
        travel.math_origin = travel.start + (travel.end - travel.start) * unit(random);
        travel.mechanical_origin = travel.start + (travel.end - travel.start) * unit(random);
      }
      const TMachineComp::TInitParameters parameters = Parameters(kinematic, travels[0], travels[1], travels[2]);
      TMachineComp machine;
      QVERIFY(machine.Initialize_Begin(parameters));

      // The same set-up on stand-alone tables in chain order.
      const int axis_values[3] = {parameters.first_axis, parameters.second_axis, parameters.third_axis};
      TMachineStandardComp tables[3];
      for(int i = 0; i < 3; ++i)
      {
        const TTravel& travel = travels[Index_Of(axis_values[i])];
        tables[i].d_axis_start = travel.start;
        tables[i].d_axis_end = travel.end;
        tables[i].d_math_origin = travel.math_origin;
        tables[i].d_mechanical_origin = travel.mechanical_origin;
        tables[i].Initialize(axis_values[i]);
        for(int parameter = 0; parameter < 5; ++parameter)
        {
          if(unit(random) < 0.3)
          {
            continue; // about a third unset
          }
          const QString expression =
              QString("(%1)*L^3+(%2)*L^2+(%3)*L+(%4)").arg(coefficient(), coefficient(), coefficient(), coefficient());
          const int s = sign();
          const int axis = axis_values[i];
          switch(parameter)
          {
          case 0:
            QVERIFY(machine.Set_Rx(axis, expression, s));
            tables[i].Set_Rx(expression, s);
            break;
          case 1:
            QVERIFY(machine.Set_Ry(axis, expression, s));
            tables[i].Set_Ry(expression, s);
            break;
          case 2:
            QVERIFY(machine.Set_Rz(axis, expression, s));
            tables[i].Set_Rz(expression, s);
            break;
          case 3:
            QVERIFY(machine.Set_Scale(axis, expression, s));
            tables[i].Set_Scale(expression, s);
            break;
          default:
            QVERIFY(machine.Set_Quad(axis, expression.size() / 100.0, s));
            tables[i].Set_Quad(expression.size() / 100.0, s);
          }
        }
        using T = TMachineStandardComp;
        const T::TStraightnessParameterMode modes[3][2] = {{T::STRAIGHTNESS_Y_FROM_RZ, T::STRAIGHTNESS_Z_FROM_RY},
                                                           {T::STRAIGHTNESS_X_FROM_RZ, T::STRAIGHTNESS_Z_FROM_RX},
                                                           {T::STRAIGHTNESS_X_FROM_RY, T::STRAIGHTNESS_Y_FROM_RX}};
        tables[i].Calculate_Straightness(modes[Index_Of(axis_values[i])][0]);
        tables[i].Calculate_Straightness(modes[Index_Of(axis_values[i])][1]);
      }
      TMachineDeflectionComp deflection;
      const TTravel& tower = travels[2];
      const TTravel& arm = travels[kinematic == KINEMATIC_XZY ? 1 : 0];
      deflection.Set_Vertical_Axis(tower.start, tower.end, tower.mechanical_origin);
      deflection.Set_Horizontal_Axis(arm.start, arm.end, arm.mechanical_origin);
      const double deflection_value = coefficient().toDouble();
      const int deflection_sign = sign();
      QVERIFY(machine.Set_Deflection(AXIS_D, deflection_value, deflection_sign));
      deflection.Initialize(deflection_value, deflection_sign);
      QVERIFY(machine.Initialize_End());

      const TVector3 minimum = machine.Map_Data_Min();
      const TVector3 maximum = machine.Map_Data_Max();
      for(int point = 0; point < 50; ++point)
      {
        TVector3 p; // somewhat beyond the volume as well
        for(int c = 0; c < 3; ++c)
        {
          p(c) = minimum(c) - 50 + (maximum(c) - minimum(c) + 100) * unit(random);
        }
        const TVector3 q(100 * (unit(random) - 0.5), 100 * (unit(random) - 0.5), -200 * unit(random));
        QVERIFY2(Equal(machine.Evaluate(p, q, nullptr), p + Reference_Error(tables, kinematic, deflection, p, q)),
                 qPrintable(QString("machine %1 point %2").arg(machine_index).arg(point)));
      }
    }
  }

  // Evaluate with the stages of models that hold one axis's items each, on a model holding only
  // the squareness and the deflection, gives what the model holding everything gives, to the
  // bit: the evaluation combines its patterns that way.
  void Evaluate_From_Stages_data()
  {
    QTest::addColumn<int>("kinematic");
    QTest::newRow("XYZ") << KINEMATIC_XYZ;
    QTest::newRow("YXZ") << KINEMATIC_YXZ;
    QTest::newRow("XZY") << KINEMATIC_XZY;
    QTest::newRow("YZX") << KINEMATIC_YZX;
  }

  void Evaluate_From_Stages()
  {
    QFETCH(int, kinematic);
    std::mt19937 random(77 + kinematic);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    auto coefficient = [&]() { return QString::number((unit(random) - 0.5) * 0.1, 'f', 6); };
    auto sign = [&]() { return unit(random) < 0.5 ? -1 : 1; };
    const char* parameters_of_axis[4] = {"Rx", "Ry", "Rz", "Scale"};
    for(int machine_index = 0; machine_index < 20; ++machine_index)
    {
      const TMachineComp::TInitParameters parameters = Tower(kinematic);
      const int axis_values[3] = {parameters.first_axis, parameters.second_axis, parameters.third_axis};
      QString axis_items[3];
      QString all;
      for(int i = 0; i < 3; ++i)
      {
        const QString axis_name = axis_values[i] == AXIS_X ? "X" : (axis_values[i] == AXIS_Y ? "Y" : "Z");
        for(const char* parameter : parameters_of_axis)
        {
          if(unit(random) < 0.3)
          {
            continue;
          }
          axis_items[i] +=
              QString("%1 %2 (%3)*L^3+(%4)*L %5;").arg(parameter, axis_name, coefficient(), coefficient()).arg(sign());
        }
        // One axis in three keeps its straight table: only a table of that axis's own items counts.
        if(machine_index % 3 == i)
        {
          axis_items[i].clear();
        }
        all += axis_items[i];
      }
      QString other;
      if(machine_index % 2 == 0)
      {
        other += QString("Quad X %1 %2;Quad Z %3 %4;").arg(coefficient()).arg(sign()).arg(coefficient()).arg(sign());
      }
      if(machine_index % 4 < 2)
      {
        other += QString("D D %1 %2;").arg(coefficient()).arg(sign());
      }
      all += other;

      TMachineComp whole;
      TMachineComp rest;
      TMachineComp axes[3];
      QVERIFY(Set_Up(&whole, parameters, all));
      QVERIFY(Set_Up(&rest, parameters, other));
      for(int i = 0; i < 3; ++i)
      {
        QVERIFY(Set_Up(&axes[i], parameters, axis_items[i]));
      }

      const TVector3 minimum = whole.Map_Data_Min();
      const TVector3 maximum = whole.Map_Data_Max();
      for(int point = 0; point < 40; ++point)
      {
        TVector3 p; // somewhat beyond the volume as well
        for(int c = 0; c < 3; ++c)
        {
          p(c) = minimum(c) - 50 + (maximum(c) - minimum(c) + 100) * unit(random);
        }
        if(point == 0)
        {
          p = minimum; // on a table position
        }
        const TVector3 q = point % 5 == 0 ? TVector3() : TVector3(100 * (unit(random) - 0.5), 0, -200 * unit(random));
        TMachineComp::TStage stages[3];
        for(int i = 0; i < 3; ++i)
        {
          axes[i].Chain_Stage(i, p, &stages[i]);
        }
        const TMachineComp::TStage* pointers[3] = {&stages[0], &stages[1], &stages[2]};
        bool whole_inside = false;
        bool staged_inside = true;
        const TVector3 expected = whole.Evaluate(p, q, &whole_inside);
        const TVector3 actual = rest.Evaluate(p, q, pointers, &staged_inside);
        QVERIFY2(Same(actual.x, expected.x) && Same(actual.y, expected.y) && Same(actual.z, expected.z),
                 qPrintable(QString("machine %1 point %2").arg(machine_index).arg(point)));
        QCOMPARE(staged_inside, whole_inside);
        QCOMPARE(rest.Last_Error(), whole.Last_Error());
      }
    }
  }

  void Evaluate_Deflection_data()
  {
    QTest::addColumn<int>("kinematic");
    QTest::addColumn<int>("sign");
    QTest::addColumn<TVector3>("position");
    QTest::addColumn<TVector3>("error");
    // Deflection 0.02 at full height and reach: d = 0.02 * 1 * (1 - 0.5) / 1000.
    QTest::newRow("XZY") << KINEMATIC_XZY << 1 << TVector3(0, 2000, 1000) << TVector3(0, 0.01, -0.02);
    QTest::newRow("XZY, sign -1") << KINEMATIC_XZY << -1 << TVector3(0, 2000, 1000) << TVector3(0, -0.01, 0.02);
    QTest::newRow("XZY, mid reach") << KINEMATIC_XZY << 1 << TVector3(0, 1000, 1000) << TVector3(0, 0, 0);
    QTest::newRow("YZX") << KINEMATIC_YZX << 1 << TVector3(2000, 0, 1000) << TVector3(-0.01, 0, 0.02);
  }

  void Evaluate_Deflection()
  {
    QFETCH(int, kinematic);
    QFETCH(int, sign);
    QFETCH(TVector3, position);
    QFETCH(TVector3, error);
    TMachineComp machine;
    QVERIFY(Set_Up(&machine, Tower(kinematic), QString("D D 0.02 %1").arg(sign)));
    QVERIFY(Near(machine.Evaluate(position, TVector3(), nullptr) - position, error, 1e-12));
  }

  void Evaluate_Volume_data()
  {
    QTest::addColumn<TVector3>("position");
    QTest::addColumn<bool>("inside");
    QTest::addColumn<QString>("message");
    const QString outside = "Position %1 outside of machine volume.  Using extrapolated machine map.";
    QTest::newRow("4 mm beyond the end") << TVector3(504, 0, 0) << true << "";
    QTest::newRow("6 mm beyond the end") << TVector3(0, 0, 506) << false << outside.arg("0.0000 0.0000 506.0000");
    QTest::newRow("before the start") << TVector3(-505.25, 1.5, -2) << false << outside.arg("-505.2500 1.5000 -2.0000");
    QTest::newRow("not a number") << TVector3(NaN, 0, 0) << false << outside.arg("nan 0.0000 0.0000");
    QTest::newRow("infinite") << TVector3(0, Infinity, 0) << false << outside.arg("0.0000 inf 0.0000");
  }

  void Evaluate_Volume()
  {
    QFETCH(TVector3, position);
    QFETCH(bool, inside);
    QFETCH(QString, message);
    TMachineComp machine;
    QVERIFY(Set_Up(&machine, Cube(KINEMATIC_XZY), "Scale Z 0.01*L 1; Rz X 0.01*L^2 1"));
    bool flag = !inside;
    const TVector3 actual = machine.Evaluate(position, TVector3(), &flag);
    QCOMPARE(flag, inside);
    QCOMPARE(machine.Last_Error(), message);
    if(std::isfinite(position.x) && std::isfinite(position.y))
    {
      QVERIFY(std::fabs(actual.z - position.z * (1 + 1e-5)) < 1e-9); // extrapolated all the same
    }
  }

  void Kinematic_Invalid()
  {
    TMachineComp::TInitParameters parameters = Cube(KINEMATIC_XYZ);
    parameters.kinematic = 4096;
    TMachineComp machine;
    QVERIFY(Set_Up(&machine, parameters, ""));
    bool inside = true;
    QVERIFY(Equal(machine.Evaluate(TVector3(1, 2, 3), TVector3(), &inside), TVector3(1, 2, 3)));
    QVERIFY(!inside);
    QCOMPARE(machine.Last_Error(), QString("Map data kinematic is invalid"));
  }

  void Travel_Ending_At_Zero_data()
  {
    QTest::addColumn<double>("start");
    // Travels whose summed table positions end a rounding error beyond zero once made the
    // straightness unsolvable and read every error at the end of travel as 0.
    QTest::newRow("-73..0") << -73.0;
    QTest::newRow("-2162..0") << -2162.0;
    QTest::newRow("-1000..0") << -1000.0;
  }

  void Travel_Ending_At_Zero()
  {
    QFETCH(double, start);
    const TTravel travel = {start, 0, start, start};
    TMachineComp machine;
    QVERIFY2(Set_Up(&machine, Parameters(KINEMATIC_XYZ, travel, travel, travel),
                    "Rz X 0.02 1;Scale X 0.01 1;Rx Y 0.03 1;Scale Z 0.01 1"),
             qPrintable(machine.Last_Error()));

    // At the end of travel the errors continue those just inside it.
    const TVector3 end = machine.Evaluate(TVector3(0, 0, 0), TVector3(), nullptr);
    const TVector3 near_end = machine.Evaluate(TVector3(-1e-6, -1e-6, -1e-6), TVector3(), nullptr);
    QVERIFY(std::fabs(end.x - near_end.x - 1e-6) < 1e-9);
    QVERIFY(std::fabs(end.y - near_end.y - 1e-6) < 1e-9);
    QVERIFY(std::fabs(end.z - near_end.z - 1e-6) < 1e-9);
  }

  void Degenerate_Geometry_Recovers_data()
  {
    QTest::addColumn<int>("kinematic");
    QTest::addColumn<int>("field"); // the end of travel made short
    QTest::addColumn<bool>("raised_by_set_up");
    QTest::addColumn<QString>("message");
    QTest::newRow("X travel below 1e-6") << KINEMATIC_XYZ << 0 << true << "Y straightness from Rz not solvable";
    QTest::newRow("tower travel below 0.001") << KINEMATIC_XZY << 1 << false << "Deflection axis range invalid.";
    QTest::newRow("arm travel below 0.001") << KINEMATIC_YZX << 2 << false << "Deflection axis range invalid.";
  }

  void Degenerate_Geometry_Recovers()
  {
    QFETCH(int, kinematic);
    QFETCH(int, field);
    QFETCH(bool, raised_by_set_up);
    QFETCH(QString, message);
    TMachineComp::TInitParameters parameters = Tower(kinematic);
    double* travels[3][2] = {{&parameters.first_axis_start, &parameters.first_axis_end},
                             {&parameters.second_axis_start, &parameters.second_axis_end},
                             {&parameters.third_axis_start, &parameters.third_axis_end}};
    *travels[field][0] = 0;
    *travels[field][1] = raised_by_set_up ? 5e-7 : 0.0005;

    TMachineComp machine;
    QString raised;
    try
    {
      QVERIFY(machine.Initialize_Begin(parameters));
      machine.Initialize_End();
      machine.Evaluate(TVector3(0, 0, 0), TVector3(), nullptr);
    }
    catch(const TMachineAxisException& exception)
    {
      raised = exception.Message();
    }
    QCOMPARE(raised, message);
    QVERIFY(!machine.Is_Initializing());
    QCOMPARE(machine.Is_Valid(), !raised_by_set_up);

    // A corrected machine can be set up afterwards.
    QVERIFY(Set_Up(&machine, Tower(kinematic), ""));
    bool inside = false;
    machine.Evaluate(TVector3(0, 0, 0), TVector3(), &inside);
    QVERIFY(inside);
  }

  void Volume_Corners()
  {
    TMachineComp machine;
    QVERIFY(
        machine.Initialize_Begin(Parameters(KINEMATIC_YZX, {-100, 900, 0, 0}, {0, 1500, 10, 20}, {-600, 0, -5, -5})));
    QVERIFY(Equal(machine.Map_Data_Min(), TVector3(-100, 0, -600)));
    QVERIFY(Equal(machine.Map_Data_Max(), TVector3(900, 1500, 0)));
  }

  void Axis_Report_Rows_data()
  {
    QTest::addColumn<double>("start");
    QTest::addColumn<double>("end");
    QTest::addColumn<double>("increment");
    QTest::addColumn<QString>("first_row");
    QTest::addColumn<QString>("last_row");
    QTest::addColumn<int>("rows");
    QTest::newRow("from zero up") << 0.0 << 1000.0 << 100.0 << "0.0"
                                  << "1000.0" << 11;
    QTest::newRow("negative travel") << -1000.0 << -100.0 << 100.0 << "-100.0"
                                     << "-1000.0" << 10;
    QTest::newRow("symmetric starts at the end") << -500.0 << 500.0 << 100.0 << "500.0"
                                                 << "-500.0" << 11;
    QTest::newRow("far end off the step") << -200.0 << 950.0 << 300.0 << "-200.0"
                                          << "700.0" << 4;
    QTest::newRow("increment below 1") << 0.0 << 1000.0 << 0.5 << ""
                                       << "" << 0;
    QTest::newRow("increment not a number") << 0.0 << 1000.0 << NaN << ""
                                            << "" << 0;
    QTest::newRow("increment infinite") << 0.0 << 1000.0 << Infinity << "0.0"
                                        << "0.0" << 1;
    // The walk starts at the last table position, which the accumulated steps leave a little
    // below or above zero, and steps from there: the far end can be missed.
    QTest::newRow("last position just below zero") << -10.0 << 0.0 << 5.0 << "-0.0"
                                                   << "-5.0" << 2;
    QTest::newRow("last position just above zero") << -4.0 << 0.0 << 1.0 << "0.0"
                                                   << "-4.0" << 5;
    // A step that cannot move a far-off position must not loop forever.
    QTest::newRow("step below resolution") << 1e17 << 2e17 << 1.0 << "100000000000000000.0"
                                           << "100000000000000000.0" << 1;
  }

  void Axis_Report_Rows()
  {
    QFETCH(double, start);
    QFETCH(double, end);
    QFETCH(double, increment);
    QFETCH(QString, first_row);
    QFETCH(QString, last_row);
    QFETCH(int, rows);
    TMachineComp machine;
    QVERIFY(
        machine.Initialize_Begin(Parameters(KINEMATIC_XYZ, {start, end, start, start}, {0, 10, 0, 0}, {0, 10, 0, 0})));
    QVERIFY(machine.Map_Data_X(increment).isEmpty()); // still initializing
    QVERIFY(machine.Initialize_End());

    const QStringList lines = machine.Map_Data_X(increment);
    QCOMPARE(lines.size(), rows == 0 ? 0 : rows + 4);
    if(rows > 0)
    {
      QCOMPARE(lines[4].split(' ', Qt::SkipEmptyParts).value(0), first_row);
      QCOMPARE(lines.last().split(' ', Qt::SkipEmptyParts).value(0), last_row);
    }
  }

  // A travel far longer than the increment gives at most MAXIMUM_MAP_ROWS rows and then a line
  // that says so, instead of filling the memory.
  void Axis_Report_Capped()
  {
    TMachineComp machine;
    QVERIFY(machine.Initialize_Begin(Parameters(KINEMATIC_XYZ, {0, 1e12, 0, 0}, {0, 10, 0, 0}, {0, 10, 0, 0})));
    QVERIFY(machine.Initialize_End());
    const QStringList lines = machine.Map_Data_X(10.0);
    QCOMPARE(lines.size(), TMachineComp::MAXIMUM_MAP_ROWS + 5);
    QCOMPARE(lines[lines.size() - 2].split(' ', Qt::SkipEmptyParts).value(0), QString("999990.0"));
    QCOMPARE(lines.last(), QString("Rows after the first 100000 are not shown: use a larger increment."));
  }

  void Axis_Report_Layout()
  {
    TMachineComp machine;
    QVERIFY(Set_Up(&machine, Cube(KINEMATIC_YXZ), "Rx Y 0.017*L -1; Scale Y -0.003 -1"));
    // Stored values, no sign options: Lz is the Z straightness of the linear Rx, integrated
    // with the factor -1, zeroed at 0 and levelled (-0.002125 at both ends).
    const QStringList expected = {
        "Y Axis Data",
        Rule,
        "     Pos         Lx         Ly         Lz         Rx         Ry         Rz",
        Rule,
        "     500.0     0.0000    -0.0030    -0.0021     0.0085     0.0000     0.0000",
        "       0.0     0.0000    -0.0030     0.0000     0.0000     0.0000     0.0000",
        "    -500.0     0.0000    -0.0030    -0.0021    -0.0085     0.0000     0.0000",
    };
    QCOMPARE(machine.Map_Data_Y(500), expected);
    QCOMPARE(machine.Map_Data_Z(500).value(0), QString("Z Axis Data"));

    // A chain without a Z axis has no Z report.
    TMachineComp::TInitParameters parameters = Cube(KINEMATIC_XYZ);
    parameters.third_axis = AXIS_D;
    QVERIFY(Set_Up(&machine, parameters, ""));
    QVERIFY(machine.Map_Data_Z(100).isEmpty());
    QCOMPARE(machine.Map_Data_X(100).size(), 15);
  }

  void Deflection_Report()
  {
    TMachineComp machine;
    QVERIFY(Set_Up(&machine, Tower(KINEMATIC_XZY), "D D 0.02 -1"));
    const QStringList expected = {
        "D Axis Data - Rotation of tower around X axis",
        Rule,
        "      Z\\Y          0.0      400.0      800.0     1200.0     1600.0     2000.0",
        Rule,
        "        0.0     0.0000     0.0000     0.0000     0.0000     0.0000     0.0000",
        "      500.0    -0.0050    -0.0030    -0.0010     0.0010     0.0030     0.0050",
        "     1000.0    -0.0100    -0.0060    -0.0020     0.0020     0.0060     0.0100",
    };
    QCOMPARE(machine.Map_Data_D(500), expected);
    QVERIFY(machine.Map_Data_D(0.9).isEmpty());

    QVERIFY(Set_Up(&machine, Tower(KINEMATIC_YZX), ""));
    const QStringList yzx = machine.Map_Data_D(1000);
    QCOMPARE(yzx.value(0), QString("D Axis Data - Rotation of tower around Y axis"));
    QVERIFY(yzx.value(2).startsWith("      Z\\X  "));

    QVERIFY(Set_Up(&machine, Cube(KINEMATIC_XYZ), ""));
    QVERIFY(machine.Map_Data_D(100).isEmpty());
    QCOMPARE(machine.Last_Error(), QString("D axis deflection expression invalid."));
  }

  void Squareness_Report()
  {
    TMachineComp machine;
    QCOMPARE(machine.Map_Data_Quad(), QStringList({"Squareness", Rule}));
    QVERIFY(Set_Up(&machine, Cube(KINEMATIC_YZX), "Quad X 0.02 -1; Quad Z -1.23456 1"));
    QCOMPARE(machine.Map_Data_Quad(), QStringList({"Squareness", Rule, "YZ: 0.0000", "ZX: -1.2346", "XY: 0.0200"}));
  }

  void Angles_data()
  {
    QTest::addColumn<TVector3>("direction");
    QTest::addColumn<TVector3>("probe");
    QTest::addColumn<TVector3>("angles");
    // Rx, Ry, Rz of X are 1, 2, 3; of Y 4, 5, 6; of Z 7, 8, 9 (mm/m, sign options ignored).
    QTest::newRow("along X") << TVector3(1, 0, 0) << TVector3(0, 0, -1) << TVector3(3, 2, 1);
    QTest::newRow("along -X") << TVector3(-1, 0, 0) << TVector3(0, 0, -1) << TVector3(3, 2, 1);
    QTest::newRow("along Y") << TVector3(0, 1, 0) << TVector3(0, 0, -1) << TVector3(6, 4, 5);
    QTest::newRow("along Z, probe along X") << TVector3(0, 0, 1) << TVector3(1, 0, 0) << TVector3(7, 8, 9);
    QTest::newRow("along Z, probe along Y") << TVector3(0, 0, -1) << TVector3(0, 1, 0) << TVector3(8, 7, 9);
    QTest::newRow("10 degrees off every axis")
        << TVector3(std::cos(M_PI / 18), std::sin(M_PI / 18), 0) << TVector3(0, 0, -1) << TVector3();
  }

  void Angles()
  {
    QFETCH(TVector3, direction);
    QFETCH(TVector3, probe);
    QFETCH(TVector3, angles);
    TMachineComp machine;
    QVERIFY(
        Set_Up(&machine, Cube(KINEMATIC_XYZ),
               "Rx X 1 -1; Ry X 2 -1; Rz X 3 -1; Rx Y 4 -1; Ry Y 5 -1; Rz Y 6 -1; Rx Z 7 -1; Ry Z 8 -1; Rz Z 9 -1"));
    QVERIFY(Near(machine.Get_Angles_RA_RB_RC(direction, probe, TVector3(100, 200, 300)), angles));

    // The names a chart gives the readings say what the two splits do.
    const TMachineComp::TLineReadings on = TMachineComp::Line_Readings(direction, probe);
    const auto index = [](int axis) { return axis == AXIS_X ? 0 : axis == AXIS_Y ? 1 : 2; };
    if(on.line == 0)
    {
      QVERIFY(Near(angles, TVector3()));
      return;
    }
    const auto table = [&](int line, int about) { return 3.0 * index(line) + index(about) + 1.0; };
    QVERIFY(Near(angles, TVector3(table(on.line, on.ra), table(on.line, on.rb), table(on.line, on.line))));
    const double deviation[3] = {0.1, 0.2, 0.3};
    const TVector3 split = machine.Calculate_Scale_XX_YY_Error(direction, probe, TVector3(), TVector3(0.1, 0.2, 0.3));
    QCOMPARE(split.y, deviation[index(on.xx)]);
    QCOMPARE(split.z, deviation[index(on.yy)]);
  }

  void Map_Positions_data()
  {
    QTest::addColumn<double>("first");
    QTest::addColumn<double>("last");
    QTest::addColumn<double>("increment");
    QTest::addColumn<QVector<double>>("positions");
    QTest::newRow("whole steps") << 0.0 << 300.0 << 100.0 << QVector<double>{0, 100, 200, 300};
    QTest::newRow("downwards") << -300.0 << -100.0 << 100.0 << QVector<double>{-100, -200, -300};
    // A step that is no binary fraction: each position is i times the step, not a running sum,
    // so the tenth is 317 and the far end on the step is reached.
    QTest::newRow("step of 31.7") << 0.0 << 317.0 << 31.7
                                  << QVector<double>{0.0,      31.7,     2 * 31.7, 3 * 31.7, 4 * 31.7, 5 * 31.7,
                                                     6 * 31.7, 7 * 31.7, 8 * 31.7, 9 * 31.7, 317.0};
  }

  void Map_Positions()
  {
    QFETCH(double, first);
    QFETCH(double, last);
    QFETCH(double, increment);
    QFETCH(QVector<double>, positions);
    const std::vector<double> got = TMachineComp::Map_Positions(first, last, increment);
    QCOMPARE(QVector<double>(got.begin(), got.end()), positions);
  }

  void Angles_With_Deflection()
  {
    TMachineComp machine;
    QVERIFY(Set_Up(&machine, Tower(KINEMATIC_YZX), "D D 0.02 -1"));
    // The raw deflection 0.01 at full height and reach is added to Ry of X and Z lines.
    const TVector3 corner(2000, 0, 1000);
    QVERIFY(Near(machine.Get_Angles_RA_RB_RC(TVector3(1, 0, 0), TVector3(0, 0, -1), corner), TVector3(0, 0.01, 0)));
    QVERIFY(Near(machine.Get_Angles_RA_RB_RC(TVector3(0, 0, 1), TVector3(0, 1, 0), corner), TVector3(0.01, 0, 0)));
    QVERIFY(Near(machine.Get_Angles_RA_RB_RC(TVector3(0, 1, 0), TVector3(0, 0, -1), corner), TVector3()));
  }

  // The expression editor's polynomial gives back every typed value to within half a unit of
  // its last decimal, and is written as before (four decimals, small terms left out) wherever
  // that already does.
  void Error_Polynomial_Gives_Back_data()
  {
    QTest::addColumn<double>("travel");
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<QString>("expected");

    QTest::newRow("four decimals suffice")
        << 1000.0 << QStringList({"0.0010", "0.0035", "0.0060", "0.0085", "0.0110"}) << "0.0010+0.0100*L";
    QTest::newRow("refit kept") << 1000.0 << QStringList({"0.0000", "0.0025", "0.0050", "0.0075", "0.0110"})
                                << "0.0090*L+0.0073*L^2-0.0160*L^3+0.0107*L^4";
    QTest::newRow("one value typed, 1200 mm")
        << 1200.0 << QStringList({"0.0000", "-0.0011", "-0.0023", "-0.0030", "-0.0036"})
        << "-0.00200*L-0.00898*L^2+0.01296*L^3-0.00514*L^4";
    QTest::newRow("small constant") << 1000.0 << QStringList({"0.00004", "0.00004", "0.00004", "0.00004", "0.00004"})
                                    << "0.00004";
    QTest::newRow("long travel") << 3000.0 << QStringList({"0.0001", "-0.0007", "0.0012", "0.0004", "-0.0021"})
                                 << "0.000100-0.007400*L+0.012415*L^2-0.005926*L^3+0.000843*L^4";
    QTest::newRow("more decimals typed") << 800.0
                                         << QStringList({"0.000013", "0.000250", "-0.000131", "0.000402", "0.000007"})
                                         << "0.000013+0.009501*L-0.065535*L^2+0.137354*L^3-0.087865*L^4";
  }

  void Error_Polynomial_Gives_Back()
  {
    QFETCH(double, travel);
    QFETCH(QStringList, typed);
    QFETCH(QString, expected);
    std::vector<double> positions;
    for(int i = 0; i < typed.size(); ++i)
    {
      positions.push_back(travel * i / (typed.size() - 1));
    }
    const QString text = Error_Polynomial::Fit_Text(positions, typed);
    QCOMPARE(text, expected);
    TExpression evaluator;
    for(int i = 0; i < typed.size(); ++i)
    {
      evaluator.Add_Variable("L", positions[static_cast<std::size_t>(i)] / 1000.0);
      bool valid = false;
      const double value = evaluator.Evaluate(text, &valid);
      QVERIFY(valid);
      const int decimals = typed[i].size() - typed[i].indexOf('.') - 1;
      QVERIFY2(std::fabs(value - typed[i].toDouble()) <= 0.5 * std::pow(10.0, -decimals) * (1 + 1e-9),
               qPrintable(QStringLiteral("%1 gives %2 for %3").arg(text).arg(value).arg(typed[i])));
    }
  }

  void Scale_Split_data()
  {
    QTest::addColumn<TVector3>("direction");
    QTest::addColumn<TVector3>("probe");
    QTest::addColumn<TVector3>("split");
    // Deviation (0.1, 0.2, 0.3).
    QTest::newRow("along X") << TVector3(1, 0, 0) << TVector3(0, 0, -1) << TVector3(0.1, 0.2, 0.3);
    QTest::newRow("along -Y") << TVector3(0, -1, 0) << TVector3(0, 0, -1) << TVector3(-0.2, 0.1, 0.3);
    QTest::newRow("vertical, probe along X") << TVector3(0, 0, 1) << TVector3(1, 0, 0) << TVector3(0.3, 0.2, 0.1);
    QTest::newRow("vertical, probe along Y") << TVector3(0, 0, 1) << TVector3(0, 1, 0) << TVector3(0.3, 0.1, 0.2);
    QTest::newRow("diagonal") << TVector3(0.6, 0.8, 0) << TVector3(0, 0, -1) << TVector3(0.22, 0, 0);
  }

  void Scale_Split()
  {
    QFETCH(TVector3, direction);
    QFETCH(TVector3, probe);
    QFETCH(TVector3, split);
    TMachineComp machine;
    const TVector3 nominal(10, 20, 30);
    QVERIFY(
        Near(machine.Calculate_Scale_XX_YY_Error(direction, probe, nominal, nominal + TVector3(0.1, 0.2, 0.3)), split));
  }
};

QTEST_GUILESS_MAIN(TTestMachineComp)
#include "test_machinecomp.moc"
