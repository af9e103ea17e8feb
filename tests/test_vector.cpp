#include <QtTest>

#include <cmath>

#include "core/mat4.h"
#include "core/vector2.h"
#include "core/vector3.h"

namespace
{
bool Near(const TVector3& a, const TVector3& b, double tolerance = 1e-12)
{
  return std::fabs(a.x - b.x) < tolerance && std::fabs(a.y - b.y) < tolerance && std::fabs(a.z - b.z) < tolerance;
}

TMat4 Matrix(double offset)
{
  double values[16];
  for(int i = 0; i < 16; ++i)
  {
    values[i] = std::sin(i * 1.7 + offset) * 3.0;
  }
  // Affine: a point transform never reads the fourth row.
  values[12] = values[13] = values[14] = 0.0;
  values[15] = 1.0;
  TMat4 m;
  m.Set(values);
  return m;
}
} // namespace

class TTestVector : public QObject
{
  Q_OBJECT

private slots:
  void Products()
  {
    QVERIFY(Near(TVector3(1, 0, 0) * TVector3(0, 1, 0), TVector3(0, 0, 1)));
    QVERIFY(Near(TVector3(0, 1, 0) * TVector3(1, 0, 0), TVector3(0, 0, -1)));
    QCOMPARE(TVector3(1, 2, 3) ^ TVector3(4, 5, 6), 32.0);
    QCOMPARE(TVector2(1, 2) ^ TVector2(3, 4), 11.0);

    TVector3 v(1, 2, 3);
    v *= TVector3(4, 5, 6);
    QVERIFY(Near(v, TVector3(2 * 6 - 3 * 5, 3 * 4 - 1 * 6, 1 * 5 - 2 * 4)));
    QVERIFY(Near(2.0 * TVector3(1, -2, 3) + TVector3(1, 1, 1) - TVector3(0, 0, 1) * 3.0, TVector3(3, -3, 4)));
    QVERIFY(Near(TVector3(2, 4, 6) / 2.0, TVector3(1, 2, 3)));
  }

  void Normal()
  {
    QCOMPARE(TVector3(3, 4, -12).Length(), 13.0);
    TVector3 v(3, 4, 0);
    QVERIFY(Near(v.Normal(), TVector3(0.6, 0.8, 0)));
    TVector2 w(0, -5);
    w.Normal();
    QCOMPARE(w.y, -1.0);
    QCOMPARE(v(1), 0.8);
    v(2) = 7;
    QCOMPARE(v.z, 7.0);
  }

  void Point_In_Triangle_data()
  {
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::addColumn<bool>("inside");
    // Triangle p0 (0,0), p1 (4,0), p2 (0,4).
    QTest::newRow("centre") << 1.0 << 1.0 << true;
    QTest::newRow("outside") << 3.0 << 3.0 << false;
    QTest::newRow("negative") << -1.0 << 1.0 << false;
    QTest::newRow("edge p0-p1") << 2.0 << 0.0 << false;
    QTest::newRow("edge p0-p2") << 0.0 << 2.0 << false;
    QTest::newRow("edge p1-p2") << 2.0 << 2.0 << true;
    QTest::newRow("vertex p0") << 0.0 << 0.0 << false;
  }

  void Point_In_Triangle()
  {
    QFETCH(double, x);
    QFETCH(double, y);
    QFETCH(bool, inside);
    const TVector2 p0(0, 0), p1(4, 0), p2(0, 4);
    QCOMPARE(TVector2::Is_Point_In_Triangle(TVector2(x, y), p0, p1, p2), inside);
    // The winding of the triangle does not matter.
    QCOMPARE(TVector2::Is_Point_In_Triangle(TVector2(x, y), p0, p2, p1), inside);
  }

  void Degenerate_Triangle()
  {
    QVERIFY(!TVector2::Is_Point_In_Triangle(TVector2(1, 1), TVector2(0, 0), TVector2(2, 2), TVector2(4, 4)));
  }

  void Identity_And_Transpose()
  {
    const TVector3 p(1.5, -2.5, 3.25);
    QVERIFY(Near(TMat4() * p, p));

    TMat4 m = Matrix(0.3);
    TMat4 t = m;
    t.Transpose();
    QCOMPARE(t[1], m[4]);
    QCOMPARE(t[14], m[11]);
    t.Transpose();
    for(int i = 0; i < 16; ++i)
    {
      QCOMPARE(t[i], m[i]);
    }
  }

  void Rotate_Turns_By_Minus_Angle()
  {
    TMat4 m;
    m.Rotate(TVector3(0, 0, 1), M_PI / 2);
    QVERIFY(Near(m * TVector3(1, 0, 0), TVector3(0, -1, 0)));

    TMat4 x;
    x.Rotate(TVector3(1, 0, 0), 0.3);
    QVERIFY(Near(x * TVector3(0, 1, 0), TVector3(0, std::cos(0.3), -std::sin(0.3))));
  }

  void Composition_Order()
  {
    // (A *= B) applied to p equals B applied to (A applied to p).
    const TMat4 a = Matrix(0.1);
    const TMat4 b = Matrix(1.2);
    const TVector3 p(0.7, -1.3, 2.9);

    TMat4 ab = a;
    ab *= b;
    QVERIFY(Near(ab * p, b * (a * p), 1e-9));

    TMat4 r1;
    r1.Rotate(TVector3(0, 0, 1), 0.4);
    r1.Rotate(TVector3(0, 1, 0), -0.7);
    TMat4 first, second;
    first.Rotate(TVector3(0, 0, 1), 0.4);
    second.Rotate(TVector3(0, 1, 0), -0.7);
    QVERIFY(Near(r1 * p, second * (first * p)));
  }

  void Normal_Leaves_Translation()
  {
    double values[16] = {2, 0, 0, 5, 0, 0, 3, 6, 0, 4, 0, 7, 1, 2, 3, 4};
    TMat4 m;
    m.Set(values);
    m.Normal();
    QCOMPARE(m[0], 1.0);
    QCOMPARE(m[6], 1.0);
    QCOMPARE(m[9], 1.0);
    QCOMPARE(m[3], 5.0);
    QCOMPARE(m[11], 7.0);
    QCOMPARE(m[13], 2.0);
  }
};

QTEST_APPLESS_MAIN(TTestVector)
#include "test_vector.moc"
