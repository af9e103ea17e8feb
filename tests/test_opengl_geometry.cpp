#include <QtTest>

#include <cmath>
#include <functional>

#include "core/gui/opengl_vertexbuffer.h"
#include "core/opengl_geometryfactory.h"

using TMesh = TOpenGLGeometryFactory::TMesh;
using TMeshMaker = std::function<TMesh(const TOpenGLGeometryFactory&)>;
Q_DECLARE_METATYPE(TMeshMaker)

namespace
{
const double PI = 3.14159265358979323846;

// Sum of the triangles' area vectors: zero for a closed surface.
TVector3 Vector_Area(const TMesh& mesh)
{
  TVector3 sum;
  for(size_t i = 0; i + 2 < mesh.size(); i += 3)
  {
    sum = sum + ((mesh[i + 1].vertex - mesh[i].vertex) * (mesh[i + 2].vertex - mesh[i].vertex)) * 0.5;
  }
  return sum;
}

// Enclosed volume by the divergence theorem: positive when the front faces point outwards.
double Volume(const TMesh& mesh)
{
  double sum = 0.0;
  for(size_t i = 0; i + 2 < mesh.size(); i += 3)
  {
    sum += (mesh[i].vertex ^ (mesh[i + 1].vertex * mesh[i + 2].vertex)) / 6.0;
  }
  return sum;
}

// Number of triangles whose counter-clockwise face normal disagrees with their vertex normals,
// or whose normals are not of unit length.
int Bad_Triangles(const TMesh& mesh)
{
  int bad = 0;
  for(size_t i = 0; i + 2 < mesh.size(); i += 3)
  {
    const TVector3 face = (mesh[i + 1].vertex - mesh[i].vertex) * (mesh[i + 2].vertex - mesh[i].vertex);
    const TVector3 normals = mesh[i].normal + mesh[i + 1].normal + mesh[i + 2].normal;
    bool unit = true;
    for(size_t k = 0; k < 3; ++k)
    {
      unit = unit && std::fabs(mesh[i + k].normal.Length() - 1.0) < 1e-9;
    }
    if(face.Length() > 1e-12 && ((face ^ normals) <= 0.0 || !unit))
    {
      ++bad;
    }
  }
  return bad;
}

TOpenGLGeometryFactory Factory(int level)
{
  TOpenGLGeometryFactory factory;
  factory.Set_Level(level);
  return factory;
}
} // namespace

class TTestOpenGLGeometry : public QObject
{
  Q_OBJECT

private slots:
  void Solids_data()
  {
    QTest::addColumn<TMeshMaker>("make");
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("triangles");
    QTest::addColumn<double>("volume"); // exact volume of the polyhedron, or 0 to skip
    QTest::addColumn<double>("minimum_volume");

    const TVector3 c(10, -20, 30);
    const auto sphere = [c](const TOpenGLGeometryFactory& f) { return f.RenderSphere(c, 5.0); };
    const double sphere_volume = 4.0 / 3.0 * PI * 125.0;
    // Level 0 is the octahedron itself.
    QTest::newRow("sphere level 0") << TMeshMaker(sphere) << 0 << 8 << 4.0 / 3.0 * 125.0 << 0.0;
    QTest::newRow("sphere level 1") << TMeshMaker(sphere) << 1 << 32 << 0.0 << 0.6 * sphere_volume;
    QTest::newRow("sphere level 2") << TMeshMaker(sphere) << 2 << 128 << 0.0 << 0.85 * sphere_volume;
    QTest::newRow("sphere level 3") << TMeshMaker(sphere) << 3 << 512 << 0.0 << 0.95 * sphere_volume;

    // Twelve sectors doubled per level; caps and a side of two triangles per sector.
    const auto cylinder = [c](const TOpenGLGeometryFactory& f)
    { return f.RenderCylinder(c, TVector3(1, 2, 2), 3.0, 12.0); };
    const auto prism_volume = [](int sectors, double radius, double height)
    { return 0.5 * sectors * radius * radius * std::sin(2.0 * PI / sectors) * height; };
    QTest::newRow("cylinder level 1") << TMeshMaker(cylinder) << 1 << 96 << prism_volume(24, 3.0, 12.0) << 0.0;
    QTest::newRow("cylinder level 2") << TMeshMaker(cylinder) << 2 << 192 << prism_volume(48, 3.0, 12.0) << 0.0;
    const auto backwards = [c](const TOpenGLGeometryFactory& f)
    { return f.RenderCylinder(c, TVector3(0, 0, 1), 3.0, -12.0); };
    QTest::newRow("cylinder of negative length")
        << TMeshMaker(backwards) << 1 << 96 << prism_volume(24, 3.0, 12.0) << 0.0;
    const auto along_x = [c](const TOpenGLGeometryFactory& f)
    { return f.RenderCylinder(c, TVector3(-4, 0, 0), 3.0, 12.0); };
    QTest::newRow("cylinder along -X") << TMeshMaker(along_x) << 0 << 48 << prism_volume(12, 3.0, 12.0) << 0.0;

    // A square prism of circumradius r has the side r * sqrt(2).
    const auto square = [c](const TOpenGLGeometryFactory& f)
    { return f.RenderPolygon(c, TVector3(0, 0, 1), TVector3(1, 0, 0), 40.0, 10.0, 4); };
    QTest::newRow("square prism") << TMeshMaker(square) << 1 << 4 * 16 + 8 * 4 << 2.0 * 1600.0 * 10.0 << 0.0;
    const auto hexagon = [c](const TOpenGLGeometryFactory& f)
    { return f.RenderPolygon(c, TVector3(1, 1, 0), TVector3(0, 0, 1), 15.0, 14.0, 6); };
    QTest::newRow("hexagonal prism") << TMeshMaker(hexagon) << 0 << 6 * 4 + 12 << prism_volume(6, 15.0, 14.0) << 0.0;
    const auto parallel_reference = [c](const TOpenGLGeometryFactory& f)
    { return f.RenderPolygon(c, TVector3(0, 0, 1), TVector3(0, 0, -3), 15.0, 14.0, 6); };
    QTest::newRow("prism with reference along its axis")
        << TMeshMaker(parallel_reference) << 0 << 6 * 4 + 12 << prism_volume(6, 15.0, 14.0) << 0.0;
  }

  // Closed, wound counter-clockwise from outside, with the stated number of triangles.
  void Solids()
  {
    QFETCH(TMeshMaker, make);
    QFETCH(int, level);
    QFETCH(int, triangles);
    QFETCH(double, volume);
    QFETCH(double, minimum_volume);

    const TMesh mesh = make(Factory(level));
    QCOMPARE(static_cast<int>(mesh.size()), 3 * triangles);
    QCOMPARE(Bad_Triangles(mesh), 0);
    QVERIFY2((Vector_Area(mesh)).Length() < 1e-6 * std::fabs(Volume(mesh)), "surface is not closed");
    if(volume > 0.0)
    {
      QVERIFY(std::fabs(Volume(mesh) - volume) < 1e-6 * volume);
    }
    else
    {
      QVERIFY(Volume(mesh) > minimum_volume);
    }
  }

  void Flat_Faces()
  {
    const TOpenGLGeometryFactory factory = Factory(2);
    // Counter-clockwise seen from +Z.
    const TMesh plane = factory.RenderPlane(TVector3(0, 0, 5), TVector3(4, 0, 5), TVector3(4, 3, 5), TVector3(0, 3, 5));
    QCOMPARE(static_cast<int>(plane.size()), 3 * 4 * 16);
    QCOMPARE(Bad_Triangles(plane), 0);
    QVERIFY(std::fabs(Vector_Area(plane).z - 12.0) < 1e-9);
    QCOMPARE(plane.front().normal.z, 1.0);

    const TMesh disc = factory.RenderCircularPlane(TVector3(1, 1, 1), TVector3(0, -2, 0), TVector3(1, 0, 0), 2.0);
    QCOMPARE(static_cast<int>(disc.size()), 3 * 48);
    QCOMPARE(Bad_Triangles(disc), 0);
    const TVector3 area = Vector_Area(disc);
    QVERIFY(area.y < 0.0 && std::fabs(area.x) < 1e-9 && std::fabs(area.z) < 1e-9);
    // The first rim point lies towards the reference.
    QVERIFY((disc[1].vertex - TVector3(3, 1, 1)).Length() < 1e-9);

    QVERIFY(factory.RenderPlane(TVector3(0, 0, 0), TVector3(1, 0, 0), TVector3(2, 0, 0), TVector3(3, 0, 0)).empty());
  }

  void Degenerate_Input_data()
  {
    QTest::addColumn<TMeshMaker>("make");
    const TVector3 o;
    const TVector3 z(0, 0, 1);
    QTest::newRow("tiny sphere") << TMeshMaker([o](const TOpenGLGeometryFactory& f)
                                               { return f.RenderSphere(o, 5e-7); });
    QTest::newRow("tiny cylinder") << TMeshMaker([o, z](const TOpenGLGeometryFactory& f)
                                                 { return f.RenderCylinder(o, z, 5e-7, 3.0); });
    QTest::newRow("cylinder without axis") << TMeshMaker(
        [o](const TOpenGLGeometryFactory& f) { return f.RenderCylinder(o, TVector3(0, 0, 1e-7), 1.0, 3.0); });
    QTest::newRow("triangular prism") << TMeshMaker([o, z](const TOpenGLGeometryFactory& f)
                                                    { return f.RenderPolygon(o, z, TVector3(1, 0, 0), 5.0, 1.0, 3); });
    QTest::newRow("prism without reference") << TMeshMaker([o, z](const TOpenGLGeometryFactory& f)
                                                           { return f.RenderPolygon(o, z, TVector3(), 5.0, 1.0, 6); });
    QTest::newRow("disc without axis") << TMeshMaker(
        [o](const TOpenGLGeometryFactory& f) { return f.RenderCircularPlane(o, TVector3(), TVector3(1, 0, 0), 1.0); });
  }

  void Degenerate_Input()
  {
    QFETCH(TMeshMaker, make);
    QVERIFY(make(Factory(1)).empty());
  }

  void Negative_Level_Gives_Nothing()
  {
    const TOpenGLGeometryFactory factory = Factory(-1);
    const TVector3 z(0, 0, 1);
    QVERIFY(factory.RenderSphere(TVector3(), 5.0).empty());
    QVERIFY(factory.RenderCylinder(TVector3(), z, 1.0, 2.0).empty());
    QVERIFY(factory.RenderPolygon(TVector3(), z, TVector3(1, 0, 0), 1.0, 2.0, 6).empty());
    QVERIFY(factory.RenderPlane(TVector3(), TVector3(1, 0, 0), TVector3(1, 1, 0), TVector3(0, 1, 0)).empty());
    QVERIFY(factory.RenderCircularPlane(TVector3(), z, TVector3(1, 0, 0), 1.0).empty());
    QCOMPARE(TOpenGLGeometryFactory().Level(), 1);
  }

  void Normalize_XY()
  {
    const TVector3 v = TOpenGLGeometryFactory::Normalize_XY(TVector3(3, -4, 7));
    QCOMPARE(v.x, 0.6);
    QCOMPARE(v.y, -0.8);
    QCOMPARE(v.z, 7.0);
    // Nothing to divide by: the vector comes back unchanged instead of turning into NaN.
    const TVector3 vertical = TOpenGLGeometryFactory::Normalize_XY(TVector3(0, 0, -2));
    QCOMPARE(vertical.z, -2.0);
    QCOMPARE(vertical.x, 0.0);
  }

  void Buffer_Keys()
  {
    TOpenGLVertexBuffer buffers;
    QCOMPARE(buffers.Create_Buffer(0), -1);
    QCOMPARE(buffers.Create_Buffer(4), -1);
    QCOMPARE(buffers.Count(), 0);
    QCOMPARE(buffers.Create_Buffer(3), 1);
    QCOMPARE(buffers.Create_Buffer(9), 2);
    QCOMPARE(buffers.Create_Buffer(6), 3);
    QCOMPARE(buffers.Buffer_Size(2), 9u);
    QCOMPARE(buffers.Buffer(2)[8], 0.0);

    buffers.Buffer(3)[5] = 42.0;
    buffers.Remove_Buffer(1);
    QVERIFY(!buffers.Has_Buffer(1));
    QVERIFY(buffers.Buffer(1) == nullptr);
    QCOMPARE(buffers.Buffer_Size(1), 0u);
    // Keys are never reused, so a stale key cannot reach a newer array.
    QCOMPARE(buffers.Create_Buffer(3), 4);
    QCOMPARE(buffers.Buffer(3)[5], 42.0);

    buffers.Remove_Buffers({2, 4, 99});
    QCOMPARE(buffers.Count(), 1);
    QVERIFY(buffers.Has_Buffer(3));
    for(int key : {0, -1})
    {
      QVERIFY(!buffers.Has_Buffer(key));
      QVERIFY(buffers.Buffer(key) == nullptr);
      QCOMPARE(buffers.Buffer_Size(key), 0u);
    }
    buffers.Clear();
    QCOMPARE(buffers.Count(), 0);
    QCOMPARE(buffers.Create_Buffer(3), 5);
  }
};

QTEST_APPLESS_MAIN(TTestOpenGLGeometry)
#include "test_opengl_geometry.moc"
