#include <QtTest>

#include <cmath>
#include <vector>

#include "core/interpolation.h"
#include "core/referencesystem.h"

Q_DECLARE_METATYPE(std::vector<TVector2>)
Q_DECLARE_METATYPE(TVector3)

namespace
{
bool Near(const TVector3& a, const TVector3& b, double tolerance = 1e-12)
{
  return std::fabs(a.x - b.x) < tolerance && std::fabs(a.y - b.y) < tolerance && std::fabs(a.z - b.z) < tolerance;
}

bool Is_Orthonormal_Frame(const TReferenceSystem& frame)
{
  TMat4 product = frame.Rotation_Mat();
  product *= frame.Inverse_Rotation_Mat();
  const TMat4 identity;
  for(int i = 0; i < 16; ++i)
  {
    if(std::fabs(product[i] - identity[i]) > 1e-12)
    {
      return false;
    }
  }
  // Right-handed: X x Y = Z.
  return Near(frame.Axis(TReferenceSystem::X_AXIS) * frame.Axis(TReferenceSystem::Y_AXIS),
              frame.Axis(TReferenceSystem::Z_AXIS));
}
} // namespace

class TTestNumerics : public QObject
{
  Q_OBJECT

private slots:
  void Get_Value_data()
  {
    QTest::addColumn<std::vector<TVector2>>("points");
    QTest::addColumn<double>("x");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("value");

    const std::vector<TVector2> table = {TVector2(0, 0), TVector2(10, 1), TVector2(20, 4)};
    QTest::newRow("inside first pair") << table << 5.0 << true << 0.5;
    QTest::newRow("last position") << table << 20.0 << true << 4.0;
    QTest::newRow("beyond end") << table << 25.0 << true << 5.5;
    QTest::newRow("before start") << table << -5.0 << true << -0.5;
    QTest::newRow("shared position takes the first pair") << table << 10.0 << true << 1.0;
    QTest::newRow("one point") << std::vector<TVector2>{TVector2(3, 4)} << 3.0 << false << 0.0;
    QTest::newRow("all positions zero") << std::vector<TVector2>(51, TVector2(0, 7)) << 0.0 << false << 0.0;

    // A descending table is walked in list order as well.
    const std::vector<TVector2> descending = {TVector2(20, 4), TVector2(10, 1), TVector2(0, 0)};
    QTest::newRow("descending inside") << descending << 15.0 << true << 2.5;
    QTest::newRow("descending before start") << descending << 30.0 << true << 7.0;
    QTest::newRow("descending beyond end") << descending << -10.0 << true << -1.0;

    // Coinciding neighbours inside the table are skipped.
    const std::vector<TVector2> repeated = {TVector2(0, 0), TVector2(0, 5), TVector2(10, 10)};
    QTest::newRow("skips zero-length pair") << repeated << 5.0 << true << 7.5;

    // A table built by adding up steps ends a rounding error short of its travel: the end of
    // travel reads as inside (t rounds to 1) but lies beyond the last step.
    const std::vector<TVector2> summed = {TVector2(-10, 0), TVector2(-0.2, 1), TVector2(-5e-16, 2)};
    QTest::newRow("end of travel a hair beyond the last step")
        << summed << 0.0 << true << 2.0 + (1.0 - 2.0) * (0.0 + 5e-16) / (-0.2 + 5e-16);

    // Last bits: outside the table the step times the distance is divided by the spacing;
    // inside, the step is scaled by the fraction h of the spacing.
    const std::vector<TVector2> decimals = {TVector2(0, 0.1), TVector2(10, 0.2), TVector2(20, 0.4)};
    QTest::newRow("before start, product first") << decimals << -1.0 << true << 0.09000000000000001;
    QTest::newRow("inside, fraction first") << decimals << 7.0 << true << 0.16999999999999998;
    QTest::newRow("beyond end, product first") << decimals << 22.0 << true << 0.44;
    QTest::newRow("beyond end, from the last point") << decimals << 33.0 << true << 0.66;
  }

  void Get_Value()
  {
    QFETCH(std::vector<TVector2>, points);
    QFETCH(double, x);
    QFETCH(bool, ok);
    QFETCH(double, value);

    double result = -99.0;
    QCOMPARE(Extrapolation::Get_Value(points, x, &result), ok);
    QVERIFY2(result == value, qPrintable(QString::number(result, 'g', 17))); // QCOMPARE would allow rounding
  }

  void Get_Value_Not_A_Number()
  {
    const std::vector<TVector2> table = {TVector2(0, 0), TVector2(10, 1)};
    double result = -1.0;
    QVERIFY(!Extrapolation::Get_Value(table, std::nan(""), &result));
    QCOMPARE(result, 0.0);
  }

  void Get_Value_Components()
  {
    const std::vector<TVector3> table = {TVector3(0, 10, 100), TVector3(1, 20, 300), TVector3(3, 40, 400)};
    double a = 0, b = 0;

    // YZ: x is the position.
    QVERIFY(Extrapolation::Get_Value_YZ(table, 2.0, &a, &b));
    QCOMPARE(a, 30.0);
    QCOMPARE(b, 350.0);

    // XY: z is the position, extrapolated before the start.
    QVERIFY(Extrapolation::Get_Value_XY(table, 0.0, &a, &b));
    QCOMPARE(a, -0.5);
    QCOMPARE(b, 5.0);

    // ZX: y is the position, beyond the end.
    QVERIFY(Extrapolation::Get_Value_ZX(table, 50.0, &a, &b));
    QCOMPARE(a, 450.0);
    QCOMPARE(b, 4.0);

    QVERIFY(!Extrapolation::Get_Value_XY(std::vector<TVector3>(3), 1.0, &a, &b));
    QCOMPARE(a, 0.0);
    QCOMPARE(b, 0.0);
  }

  void Slopes_data()
  {
    QTest::addColumn<std::vector<TVector2>>("points");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("through_zero");
    QTest::addColumn<double>("endfit");

    QTest::newRow("line through zero") << std::vector<TVector2>{TVector2(-2, -1), TVector2(2, 1), TVector2(4, 2)}
                                       << true << 0.5 << 0.5;
    // Steeper than 1: the least-squares line is used instead.
    QTest::newRow("steep falls back to fit")
        << std::vector<TVector2>{TVector2(1, 5), TVector2(2, 6)} << true << 1.0 << 1.0;
    // x = 0 counts as negative: S = -3 + 1, T = 0 + 1, slope -2 would be steeper than 1, so the fit decides.
    QTest::newRow("zero counts as negative")
        << std::vector<TVector2>{TVector2(0, 3), TVector2(1, 1)} << true << -2.0 << -2.0;
    QTest::newRow("offset curve") << std::vector<TVector2>{TVector2(1, 0.5), TVector2(2, 0.5), TVector2(3, 0.5)} << true
                                  << 0.25 << 0.0;
  }

  void Slopes()
  {
    QFETCH(std::vector<TVector2>, points);
    QFETCH(bool, ok);
    QFETCH(double, through_zero);
    QFETCH(double, endfit);

    double slope = 99.0;
    QCOMPARE(Regression::Get_Slope_Through_Zero(points, &slope), ok);
    QCOMPARE(slope, through_zero);
    QCOMPARE(Regression::Get_Endfit_Slope(points, &slope), ok);
    QCOMPARE(slope, endfit);
  }

  void Slopes_Refuse_Short_Lists()
  {
    double slope = 99.0;
    QVERIFY(!Regression::Get_Slope_Through_Zero({}, &slope));
    QCOMPARE(slope, 0.0);
    slope = 99.0;
    QVERIFY(!Regression::Get_Endfit_Slope({TVector2(1, 1)}, &slope));
    QCOMPARE(slope, 0.0);
    QVERIFY(!Regression::Get_Endfit_Slope({TVector2(1, 1), TVector2(1, 2)}, &slope));
    slope = 99.0;
    QVERIFY(!Regression::Fit_Line({TVector2(1, 1)}, &slope, nullptr));
    QCOMPARE(slope, 99.0);

    double intercept = 0.0;
    QVERIFY(Regression::Fit_Line({TVector2(0, 1), TVector2(1, 3), TVector2(2, 5)}, &slope, &intercept));
    QCOMPARE(slope, 2.0);
    QCOMPARE(intercept, 1.0);
  }

  void Solve_Mat()
  {
    double matrix[6] = {1, 1, 3, 1, -1, 1};
    double solution[2] = {0, 0};
    QVERIFY(::Solve_Mat(2, 3, matrix, solution));
    QCOMPARE(solution[0], 2.0);
    QCOMPARE(solution[1], 1.0);

    // A zero pivot is swapped with the first usable row below it.
    double swapped[6] = {0, 1, 2, 1, 0, 5};
    QVERIFY(::Solve_Mat(2, 3, swapped, solution));
    QCOMPARE(solution[0], 5.0);
    QCOMPARE(solution[1], 2.0);

    double singular[6] = {1, 1, 1, 2, 2, 2};
    solution[0] = solution[1] = 7.0;
    QVERIFY(!::Solve_Mat(2, 3, singular, solution));
    QCOMPARE(solution[0], 7.0);
  }

  void Fit_Curve()
  {
    std::vector<TVector2> parabola;
    for(int x = -2; x <= 2; ++x)
    {
      parabola.push_back(TVector2(x, x * x));
    }

    double a = 9, b = 9, c = 9, d = 9, e = 9;
    QVERIFY(LeastSquares::Fit_Curve(parabola, &a, &b, &c, &d, &e));
    QVERIFY(std::fabs(a) < 1e-12 && std::fabs(b) < 1e-12 && std::fabs(d) < 1e-12 && std::fabs(e) < 1e-12);
    QVERIFY(std::fabs(c - 1.0) < 1e-12);

    QVERIFY(LeastSquares::Fit_Curve(parabola, &a, &b, &c));
    QVERIFY(std::fabs(a - 1.0) < 1e-12 && std::fabs(b) < 1e-12 && std::fabs(c) < 1e-12);

    // Integer points: the determinants of the normal equations are exact, so are the
    // coefficients (dividing by the point count first would round them).
    QVERIFY(LeastSquares::Fit_Curve({TVector2(1, 1), TVector2(2, 3), TVector2(3, 2)}, &a, &b, &c));
    QVERIFY(a == -1.5 && b == 6.5 && c == -4.0); // exactly: QCOMPARE would allow rounding

    // A cubic with an offset is recovered by the four-coefficient form.
    std::vector<TVector2> cubic;
    for(int x = 0; x < 6; ++x)
    {
      cubic.push_back(TVector2(x, 0.5 * x * x * x - 2.0 * x + 3.0));
    }
    QVERIFY(LeastSquares::Fit_Curve(cubic, &a, &b, &c, &d));
    QVERIFY(std::fabs(a - 0.5) < 1e-9 && std::fabs(b) < 1e-9 && std::fabs(c + 2.0) < 1e-9 && std::fabs(d - 3.0) < 1e-9);

    parabola.pop_back();
    a = b = c = d = e = 9;
    QVERIFY(!LeastSquares::Fit_Curve(parabola, &a, &b, &c, &d, &e));
    QCOMPARE(a + b + c + d + e, 0.0);

    // Five points at one position make the normal equations singular.
    const std::vector<TVector2> stacked(5, TVector2(1, 1));
    QVERIFY(!LeastSquares::Fit_Curve(stacked, &a, &b, &c, &d, &e));
    QCOMPARE(a + b + c + d + e, 0.0);
  }

  void Skew1_data()
  {
    QTest::addColumn<TVector3>("direction");
    QTest::addColumn<int>("axis");
    QTest::addColumn<TVector3>("x");
    QTest::addColumn<TVector3>("y");
    QTest::addColumn<TVector3>("z");

    QTest::newRow("X along X") << TVector3(1, 0, 0) << int(TReferenceSystem::X_AXIS) << TVector3(1, 0, 0)
                               << TVector3(0, 1, 0) << TVector3(0, 0, 1);
    QTest::newRow("X along Y") << TVector3(0, 1, 0) << int(TReferenceSystem::X_AXIS) << TVector3(0, 1, 0)
                               << TVector3(-1, 0, 0) << TVector3(0, 0, 1);
    QTest::newRow("X scaled") << TVector3(0, 5, 0) << int(TReferenceSystem::X_AXIS) << TVector3(0, 1, 0)
                              << TVector3(-1, 0, 0) << TVector3(0, 0, 1);
    QTest::newRow("minus X along X") << TVector3(1, 0, 0) << int(TReferenceSystem::XMINUS_AXIS) << TVector3(-1, 0, 0)
                                     << TVector3(0, 1, 0) << TVector3(0, 0, -1);
    QTest::newRow("Z along X") << TVector3(1, 0, 0) << int(TReferenceSystem::Z_AXIS) << TVector3(0, 0, -1)
                               << TVector3(0, 1, 0) << TVector3(1, 0, 0);
    QTest::newRow("minus Z along Z") << TVector3(0, 0, 1) << int(TReferenceSystem::ZMINUS_AXIS) << TVector3(1, 0, 0)
                                     << TVector3(0, -1, 0) << TVector3(0, 0, -1);
    QTest::newRow("Y along Z") << TVector3(0, 0, 1) << int(TReferenceSystem::Y_AXIS) << TVector3(1, 0, 0)
                               << TVector3(0, 0, 1) << TVector3(0, -1, 0);
    QTest::newRow("zero direction") << TVector3() << int(TReferenceSystem::Y_AXIS) << TVector3(1, 0, 0)
                                    << TVector3(0, 1, 0) << TVector3(0, 0, 1);
  }

  void Skew1()
  {
    QFETCH(TVector3, direction);
    QFETCH(int, axis);
    QFETCH(TVector3, x);
    QFETCH(TVector3, y);
    QFETCH(TVector3, z);

    TReferenceSystem frame;
    frame.Skew1(direction, static_cast<TReferenceSystem::TAxis>(axis));
    QVERIFY(Near(frame.Axis(TReferenceSystem::X_AXIS), x));
    QVERIFY(Near(frame.Axis(TReferenceSystem::Y_AXIS), y));
    QVERIFY(Near(frame.Axis(TReferenceSystem::Z_AXIS), z));
    QVERIFY(Is_Orthonormal_Frame(frame));
  }

  void Skew2_Table_data()
  {
    QTest::addColumn<int>("fixed");
    QTest::addColumn<int>("axis");
    QTest::addColumn<TVector3>("x");
    QTest::addColumn<TVector3>("y");
    QTest::addColumn<TVector3>("z");

    // Fresh frame, direction (1, 1, 1): each pair of the table writes its two rows.
    const double s = 1.0 / std::sqrt(2.0);
    using R = TReferenceSystem;
    QTest::newRow("fixed X, Y") << int(R::X_AXIS) << int(R::Y_AXIS) << TVector3(1, 0, 0) << TVector3(0, s, s)
                                << TVector3(0, -s, s);
    QTest::newRow("fixed X, -Y") << int(R::X_AXIS) << int(R::YMINUS_AXIS) << TVector3(1, 0, 0) << TVector3(0, -s, -s)
                                 << TVector3(0, s, -s);
    QTest::newRow("fixed -X, Z") << int(R::XMINUS_AXIS) << int(R::Z_AXIS) << TVector3(1, 0, 0) << TVector3(0, s, -s)
                                 << TVector3(0, s, s);
    QTest::newRow("fixed X, -Z") << int(R::X_AXIS) << int(R::ZMINUS_AXIS) << TVector3(1, 0, 0) << TVector3(0, -s, s)
                                 << TVector3(0, -s, -s);
    QTest::newRow("fixed Y, X") << int(R::Y_AXIS) << int(R::X_AXIS) << TVector3(s, 0, s) << TVector3(0, 1, 0)
                                << TVector3(-s, 0, s);
    QTest::newRow("fixed Y, -X") << int(R::Y_AXIS) << int(R::XMINUS_AXIS) << TVector3(-s, 0, -s) << TVector3(0, 1, 0)
                                 << TVector3(s, 0, -s);
    QTest::newRow("fixed Y, Z") << int(R::Y_AXIS) << int(R::Z_AXIS) << TVector3(s, 0, -s) << TVector3(0, 1, 0)
                                << TVector3(s, 0, s);
    QTest::newRow("fixed -Y, -Z") << int(R::YMINUS_AXIS) << int(R::ZMINUS_AXIS) << TVector3(-s, 0, s)
                                  << TVector3(0, 1, 0) << TVector3(-s, 0, -s);
    QTest::newRow("fixed Z, X") << int(R::Z_AXIS) << int(R::X_AXIS) << TVector3(s, s, 0) << TVector3(-s, s, 0)
                                << TVector3(0, 0, 1);
    QTest::newRow("fixed Z, -X") << int(R::Z_AXIS) << int(R::XMINUS_AXIS) << TVector3(-s, -s, 0) << TVector3(s, -s, 0)
                                 << TVector3(0, 0, 1);
    QTest::newRow("fixed Z, Y") << int(R::Z_AXIS) << int(R::Y_AXIS) << TVector3(s, -s, 0) << TVector3(s, s, 0)
                                << TVector3(0, 0, 1);
    QTest::newRow("fixed Z, -Y") << int(R::Z_AXIS) << int(R::YMINUS_AXIS) << TVector3(-s, s, 0) << TVector3(-s, -s, 0)
                                 << TVector3(0, 0, 1);
    // A minus axis against its own plus axis writes no row.
    QTest::newRow("fixed X, -X") << int(R::X_AXIS) << int(R::XMINUS_AXIS) << TVector3(1, 0, 0) << TVector3(0, 1, 0)
                                 << TVector3(0, 0, 1);
  }

  void Skew2_Table()
  {
    QFETCH(int, fixed);
    QFETCH(int, axis);
    QFETCH(TVector3, x);
    QFETCH(TVector3, y);
    QFETCH(TVector3, z);

    TReferenceSystem frame;
    frame.Skew2(TVector3(1, 1, 1), static_cast<TReferenceSystem::TAxis>(axis),
                static_cast<TReferenceSystem::TAxis>(fixed));
    QVERIFY(Near(frame.Axis(TReferenceSystem::X_AXIS), x));
    QVERIFY(Near(frame.Axis(TReferenceSystem::Y_AXIS), y));
    QVERIFY(Near(frame.Axis(TReferenceSystem::Z_AXIS), z));
    TMat4 inverse = frame.Rotation_Mat();
    inverse.Transpose();
    for(int i = 0; i < 16; ++i)
    {
      QCOMPARE(frame.Inverse_Rotation_Mat()[i], inverse[i]);
    }
  }

  void Skew_Along_Probe()
  {
    TReferenceSystem frame;
    frame.Skew1(TVector3(250, 0, 0), TReferenceSystem::X_AXIS);
    frame.Skew2(TVector3(0, 0, -1), TReferenceSystem::ZMINUS_AXIS, TReferenceSystem::X_AXIS);
    QVERIFY(Near(frame.Axis(TReferenceSystem::Z_AXIS), TVector3(0, 0, 1)));
    QVERIFY(Near(frame.Axis(TReferenceSystem::Y_AXIS), TVector3(0, 1, 0)));

    // Only the part of the probe vector perpendicular to X counts.
    frame.Skew2(TVector3(0.6, 0, -0.8), TReferenceSystem::ZMINUS_AXIS, TReferenceSystem::X_AXIS);
    QVERIFY(Near(frame.Axis(TReferenceSystem::Z_AXIS), TVector3(0, 0, 1)));

    // Parallel to the fixed axis or zero: nothing changes.
    frame.Skew1(TVector3(1, 1, 0), TReferenceSystem::X_AXIS);
    const TVector3 before = frame.Axis(TReferenceSystem::Y_AXIS);
    frame.Skew2(TVector3(2, 2, 0), TReferenceSystem::Y_AXIS, TReferenceSystem::X_AXIS);
    frame.Skew2(TVector3(), TReferenceSystem::Y_AXIS, TReferenceSystem::X_AXIS);
    QVERIFY(Near(frame.Axis(TReferenceSystem::Y_AXIS), before));
    QVERIFY(Is_Orthonormal_Frame(frame));
  }

  void Origin_And_Rotation()
  {
    TReferenceSystem frame;
    frame.Skew1(TVector3(0, 1, 0), TReferenceSystem::X_AXIS);
    frame.Offset_Origin(5.0, TReferenceSystem::XMINUS_AXIS);
    QVERIFY(Near(frame.Origin(), TVector3(0, 5, 0)));

    frame.Set_Origin(TVector3(7, 2, 9), TReferenceSystem::Z_AXIS);
    QVERIFY(Near(frame.Origin(), TVector3(0, 5, 9)));

    frame.Clear_Alignment();
    frame.Rotate(M_PI / 2, TReferenceSystem::Z_AXIS);
    QVERIFY(Near(frame.Axis(TReferenceSystem::X_AXIS), TVector3(0, 1, 0)));
    QVERIFY(Near(frame.Axis(TReferenceSystem::Y_AXIS), TVector3(-1, 0, 0)));

    // About its own axis: after the turn the frame's X is machine Y, so turning about X turns about machine Y.
    frame.Rotate(M_PI / 2, TReferenceSystem::X_AXIS);
    QVERIFY(Near(frame.Axis(TReferenceSystem::X_AXIS), TVector3(0, 1, 0)));
    QVERIFY(Near(frame.Axis(TReferenceSystem::Y_AXIS), TVector3(0, 0, 1)));
    QVERIFY(Is_Orthonormal_Frame(frame));
  }
};

QTEST_APPLESS_MAIN(TTestNumerics)
#include "test_numerics.moc"
