// The scene renderer's records, the gauge model, the conversion of measurement rows into render
// records and the 3-D page's buttons, all without drawing.
#include <QtTest>

#include <QLabel>
#include <QToolButton>

#include <cmath>

#include "src/gui/opengldisplay.h"
#include "src/gui/opengldisplaywidget.h"
#include "src/model/mcg_model.h"
#include "src/model/measurement.h"
#include "src/model/measurementscene.h"
#include "tests/test_support.h"

Q_DECLARE_METATYPE(TVector3)

namespace
{
using Test_Support::Row;

bool Near(const TVector3& a, const TVector3& b, double tolerance = 1e-9)
{
  return (a - b).Length() < tolerance;
}

// Triangles of a part as OpenGL assembles them from its primitive mode.
int Part_Triangles(const MCG::TMCGData& part, int* bad_winding)
{
  const auto check = [&part, bad_winding](size_t a, size_t b, size_t c)
  {
    const TVector3 face = (part.vertices[b] - part.vertices[a]) * (part.vertices[c] - part.vertices[a]);
    const TVector3 normals = part.normals[a] + part.normals[b] + part.normals[c];
    if(face.Length() > 1e-9 && (face ^ normals) <= 0.0)
    {
      ++*bad_winding;
    }
  };
  const size_t n = part.vertices.size();
  int triangles = 0;
  if(part.mode == 5)
  {
    for(size_t i = 0; i + 2 < n; ++i, ++triangles)
    {
      i % 2 == 0 ? check(i, i + 1, i + 2) : check(i + 1, i, i + 2);
    }
  }
  else if(part.mode == 6)
  {
    for(size_t i = 1; i + 1 < n; ++i, ++triangles)
    {
      check(0, i, i + 1);
    }
  }
  else if(part.mode == 8)
  {
    for(size_t i = 0; i + 3 < n; i += 2, triangles += 2)
    {
      check(i, i + 1, i + 3);
      check(i, i + 3, i + 2);
    }
  }
  return triangles;
}
} // namespace

class TTestOpenGLScene : public QObject
{
  Q_OBJECT

private slots:
  void Tinted_Colour_data()
  {
    QTest::addColumn<TVector3>("colour");
    QTest::addColumn<int>("tint");
    QTest::addColumn<bool>("selected");
    QTest::addColumn<bool>("flagged");
    QTest::addColumn<TVector3>("expected");
    const TVector3 tube(0.1, 0.1, 0.1);
    const TVector3 sphere(0.55, 0.55, 0.6);
    const TVector3 laser(0.477, 0.677, 0.477);
    const int dark = TOpenGLDisplay::TINT_DARK;
    const int body = TOpenGLDisplay::TINT_BODY;
    const int flag_only = TOpenGLDisplay::TINT_FLAG_ONLY;
    QTest::newRow("plain tube") << tube << dark << false << false << tube;
    QTest::newRow("flagged tube") << tube << dark << false << true << TVector3(0.85, 0.1, 0.1);
    QTest::newRow("selected tube") << tube << dark << true << false << TVector3(0.1, 0.1, 0.85);
    QTest::newRow("flagged sphere") << sphere << body << false << true << TVector3(1.0, 0.55, 0.6);
    QTest::newRow("selected sphere") << sphere << body << true << false << TVector3(0.35, 0.35, 1.0);
    QTest::newRow("selected flagged sphere") << sphere << body << true << true << TVector3(1.0, 0.35, 1.0);
    QTest::newRow("grey arm selected") << TVector3(0.773911, 0.773911, 0.773911) << dark << true << false
                                       << TVector3(0.773911, 0.773911, 1.0);
    QTest::newRow("beam selected") << laser << flag_only << true << false << laser;
    QTest::newRow("beam flagged") << laser << flag_only << true << true << TVector3(1.0, 0.677, 0.477);
    QTest::newRow("never below zero") << TVector3(0.1, 0.0, 0.0) << body << true << false << TVector3(0.0, 0.0, 0.75);
  }

  void Tinted_Colour()
  {
    QFETCH(TVector3, colour);
    QFETCH(int, tint);
    QFETCH(bool, selected);
    QFETCH(bool, flagged);
    QFETCH(TVector3, expected);
    const TVector3 result =
        TOpenGLDisplay::Tinted_Colour(colour, selected, flagged, static_cast<TOpenGLDisplay::TTint>(tint));
    QVERIFY2(Near(result, expected, 1e-12),
             qPrintable(QStringLiteral("%1 %2 %3").arg(result.x).arg(result.y).arg(result.z)));
  }

  void Machine_Volume_data()
  {
    QTest::addColumn<TVector3>("a");
    QTest::addColumn<TVector3>("b");
    QTest::addColumn<double>("axis_length");
    QTest::addColumn<TVector3>("axis_origin");
    const TVector3 low(0, 0, 0);
    const TVector3 high(1000, 500, 400);
    const TVector3 behind = low - high / high.Length() * 80.0;
    QTest::newRow("ordered") << low << high << 80.0 << behind;
    QTest::newRow("swapped") << high << low << 80.0 << behind;
    QTest::newRow("swapped on one axis") << TVector3(0, 500, 0) << TVector3(1000, 0, 400) << 80.0 << behind;
    QTest::newRow("a point") << TVector3(5, 5, 5) << TVector3(5, 5, 5) << 0.0 << TVector3(5, 5, 5);
  }

  void Machine_Volume()
  {
    QFETCH(TVector3, a);
    QFETCH(TVector3, b);
    QFETCH(double, axis_length);
    QFETCH(TVector3, axis_origin);

    TOpenGLDisplay display;
    QVERIFY(!display.Has_Render_Volume());
    QCOMPARE(display.Axis_Length(), 40.0);
    display.Define_Machine_Volume(a, b);
    QVERIFY(display.Has_Render_Volume());
    QVERIFY(std::fabs(display.Axis_Length() - axis_length) < 1e-12);
    QVERIFY(Near(display.Axis_Origin(), axis_origin));
    // Defining again reuses the one line buffer.
    display.Define_Machine_Volume(a, b);
    QCOMPARE(display.Buffer_Count(), 1);
    display.Clear_Render_Volume();
    QVERIFY(!display.Has_Render_Volume());
    QCOMPARE(display.Buffer_Count(), 0);

    // The page orders the corners before anything is drawn.
    TOpenGLDisplayWidget page;
    page.Define_Machine_Volume(a, b);
    QVERIFY(Near(page.Volume_Minimum(), TVector3(std::min(a.x, b.x), std::min(a.y, b.y), std::min(a.z, b.z))));
    QVERIFY(Near(page.Volume_Maximum(), TVector3(std::max(a.x, b.x), std::max(a.y, b.y), std::max(a.z, b.z))));
  }

  void Selection_And_Clearing()
  {
    TOpenGLDisplay display;
    display.Define_Machine_Volume(TVector3(0, 0, 0), TVector3(100, 100, 100));
    TMeasurement_Ballbar ballbar;
    ballbar.d_measurement_items.push_back(Row(TVector3(0, 0, 0), TVector3(300, 0, 0)));
    for(const TOpenGLDisplay::TBallBar& record : MeasurementScene::Ballbar_Records(ballbar))
    {
      display.Add_BallBar(record);
    }
    TMeasurement_MCG mcg;
    for(int i = 0; i < 3; ++i)
    {
      mcg.d_measurement_items.push_back(Row(TVector3(500, 0, 0), TVector3(500, 150, 50.0 * i)));
    }
    for(const TOpenGLDisplay::TMCGGauge& record : MeasurementScene::MCG_Records(mcg))
    {
      display.Add_MCGGauge(record);
    }
    // One base for all gauges (a grey and a black list), one arm of two colours per gauge.
    QCOMPARE(display.MCG_Base_Item_Count(), 2);
    QCOMPARE(display.MCG_Arm_Count(), 3);
    QCOMPARE(display.MCG_Arm_Item_Count(), 6);
    QCOMPARE(display.Selection_Item_Count(), 4);

    display.Set_Selection(mcg.d_id + 1);
    QCOMPARE(display.Selected_Key(), mcg.d_id + 1);
    display.Set_Selection(ballbar.d_id);
    QCOMPARE(display.Selected_Key(), ballbar.d_id);
    // A key that no item carries only clears the selection.
    display.Set_Selection(123456);
    QCOMPARE(display.Selected_Key(), -1);

    display.Clear_Render_Items();
    QCOMPARE(display.Selection_Item_Count(), 0);
    QCOMPARE(display.BallBar_Count() + display.MCG_Arm_Count() + display.MCG_Base_Item_Count(), 0);
    QCOMPARE(display.Buffer_Count(), 1);
    QVERIFY(display.Has_Render_Volume());
  }

  // Past the limit every arm, also those added before, is a plain rod of one colour.
  void Many_Arms_Are_Simplified()
  {
    TOpenGLDisplay display;
    TOpenGLDisplay::TMCGGauge gauge;
    gauge.direction = TVector3(1, 0, 0);
    gauge.length = 200.0;
    gauge.segment_end = TVector3(200, 0, 0);
    for(int i = 0; i < TOpenGLDisplay::FULL_DETAIL_ARM_LIMIT; ++i)
    {
      gauge.key = i;
      display.Add_MCGGauge(gauge);
    }
    QCOMPARE(display.MCG_Arm_Item_Count(), 2 * TOpenGLDisplay::FULL_DETAIL_ARM_LIMIT);
    gauge.key = TOpenGLDisplay::FULL_DETAIL_ARM_LIMIT;
    display.Add_MCGGauge(gauge);
    QCOMPARE(display.MCG_Arm_Item_Count(), TOpenGLDisplay::FULL_DETAIL_ARM_LIMIT + 1);
    QCOMPARE(display.Buffer_Count(), 2 * (TOpenGLDisplay::FULL_DETAIL_ARM_LIMIT + 1) + 2 * 2);
  }

  void Gauge_Model_Parts()
  {
    const std::vector<MCG::TMCGData> arm = MCG::Render_MCG_Arm(TVector3(), TVector3(1, 0, 0), 197.25);
    const std::vector<MCG::TMCGData> base = MCG::Render_MCG_Base(TVector3());
    QCOMPARE(static_cast<int>(arm.size()), MCG::ARM_TABLE_COUNT);
    QCOMPARE(static_cast<int>(base.size()), MCG::BASE_TABLE_COUNT);

    // Table number (1-based), mode, vertex count and whether the part is black.
    struct TExpected
    {
      int first;
      int last;
      int mode;
      size_t vertices;
      bool black;
    };
    const TExpected expected[] = {{1, 13, 5, 18, true},    {14, 14, 8, 20, true},   {15, 16, 6, 11, true},
                                  {17, 29, 5, 10, false},  {30, 55, 5, 6, false},   {56, 68, 5, 14, false},
                                  {69, 93, 5, 44, false},  {94, 118, 5, 8, true},   {119, 119, 5, 26, true},
                                  {120, 120, 6, 14, true}, {121, 121, 6, 11, true}, {122, 122, 8, 26, true},
                                  {123, 124, 6, 11, true}, {125, 163, 5, 14, false}};
    int bad_winding = 0;
    for(const TExpected& range : expected)
    {
      for(int table = range.first; table <= range.last; ++table)
      {
        const MCG::TMCGData& part =
            table <= 68 ? arm[static_cast<size_t>(table - 1)] : base[static_cast<size_t>(table - 69)];
        QCOMPARE(part.mode, range.mode);
        QCOMPARE(part.vertices.size(), range.vertices);
        QCOMPARE(part.normals.size(), range.vertices);
        QCOMPARE(part.colour.x, range.black ? 0.0 : 0.773911);
        Part_Triangles(part, &bad_winding);
      }
    }
    // Every triangle faces the way its normals point, so face culling keeps the outside.
    QCOMPARE(bad_winding, 0);
  }

  void Gauge_Arm_Placement_data()
  {
    QTest::addColumn<TVector3>("direction");
    QTest::addColumn<double>("length");
    QTest::newRow("model length along +X") << TVector3(1, 0, 0) << 197.25;
    QTest::newRow("model length along +Y") << TVector3(0, 1, 0) << 197.25;
    QTest::newRow("long arm, oblique") << TVector3(1, -2, 2) << 450.0;
    QTest::newRow("short arm, down") << TVector3(0, 0, -1) << 100.0;
  }

  // The arm is the model turned from +X onto the direction; only the part beyond the pivot plane
  // is stretched, so the socket behind the pivot keeps its size.
  void Gauge_Arm_Placement()
  {
    QFETCH(TVector3, direction);
    QFETCH(double, length);
    const TVector3 position(100, -50, 20);
    const TVector3 d = direction / direction.Length();
    const double scale = length / MCG::ARM_REFERENCE_LENGTH;
    const std::vector<MCG::TMCGData> model =
        MCG::Render_MCG_Arm(TVector3(), TVector3(1, 0, 0), MCG::ARM_REFERENCE_LENGTH);
    const std::vector<MCG::TMCGData> arm = MCG::Render_MCG_Arm(position, direction, length);
    QCOMPARE(arm.size(), model.size());
    double farthest = 0.0;
    for(size_t p = 0; p < arm.size(); ++p)
    {
      for(size_t v = 0; v < arm[p].vertices.size(); ++v)
      {
        const TVector3& m = model[p].vertices[v];
        const TVector3 placed = arm[p].vertices[v] - position;
        const double along = placed ^ d;
        QVERIFY(std::fabs(along - (m.x > 0.0 ? m.x * scale : m.x)) < 1e-4);
        // Distance from the arm's axis is kept.
        QVERIFY(std::fabs((placed - d * along).Length() - std::sqrt(m.y * m.y + m.z * m.z)) < 1e-4);
        farthest = std::max(farthest, along);
        if(direction.x == 1.0 && length == MCG::ARM_REFERENCE_LENGTH)
        {
          QVERIFY(Near(arm[p].vertices[v], m + position, 1e-9));
          QVERIFY(Near(arm[p].normals[v], model[p].normals[v], 1e-9));
        }
      }
    }
    // The end ball's centre sits at the arm length.
    QVERIFY(std::fabs(farthest - (MCG::ARM_REFERENCE_LENGTH + 9.0) * scale) < 1e-3);
  }

  void Ballbar_Records_data()
  {
    QTest::addColumn<double>("length");
    QTest::addColumn<int>("records");
    QTest::addColumn<bool>("collars");
    QTest::newRow("coinciding centres") << 0.0 << 0 << false;
    QTest::newRow("148 is the long end of a plain bar") << 148.0 << 1 << false;
    QTest::newRow("just above 148") << 148.01 << 1 << true;
    QTest::newRow("short bar") << 50.0 << 1 << false;
  }

  void Ballbar_Records()
  {
    QFETCH(double, length);
    QFETCH(int, records);
    QFETCH(bool, collars);
    TMeasurement_Ballbar ballbar;
    ballbar.d_name = QStringLiteral("Bar A");
    ballbar.d_outside_volume = true;
    const TVector3 s1(10, 20, 30);
    const TVector3 d(0.6, 0.8, 0.0);
    ballbar.d_measurement_items.push_back(Row(s1, s1 + d * length));

    const std::vector<TOpenGLDisplay::TBallBar> result = MeasurementScene::Ballbar_Records(ballbar);
    QCOMPARE(static_cast<int>(result.size()), records);
    if(records == 0)
    {
      return;
    }
    const TOpenGLDisplay::TBallBar& bar = result.front();
    QCOMPARE(bar.key, ballbar.d_id);
    QCOMPARE(bar.label_text, QStringLiteral("Bar A"));
    QVERIFY(bar.flagged);
    QVERIFY(!bar.selected);
    QVERIFY(Near(bar.sphere1_position, s1 + d * 21.0));
    QVERIFY(Near(bar.sphere2_position, s1 + d * (length - 21.0)));
    // The label point lies beside the middle of the bar, at least 20 mm away.
    const TVector3 label = bar.label_position - (s1 + d * (length / 2.0));
    QVERIFY(std::fabs(label ^ d) < 1e-9);
    QVERIFY(std::fabs(label.Length() - std::max(20.0, length / 10.0)) < 1e-9);

    // The tube: one thin cylinder joining the spheres, or a thick one between the collars.
    double tube_radius = 0.0;
    for(const auto& point : bar.tube_mesh)
    {
      const TVector3 from_axis = point.vertex - s1 - d * ((point.vertex - s1) ^ d);
      tube_radius = std::max(tube_radius, from_axis.Length());
    }
    QVERIFY(std::fabs(tube_radius - (collars ? 14.0 : 10.0)) < 1e-9);
    const size_t sphere_vertices = 2 * 3 * 512;
    QCOMPARE(bar.sphere_mesh.size() > sphere_vertices, collars);
    QVERIFY(!bar.probe_mesh.empty());
    QVERIFY(!bar.stylus_mesh.empty());
  }

  void Laser_And_ISO_Records()
  {
    TMeasurement_Laser laser;
    const TVector3 start(-400, 0, 0);
    for(int i = 0; i < 4; ++i)
    {
      laser.d_measurement_items.push_back(Row(start, start + TVector3(100.0 * i, 0, 0)));
    }
    laser.d_measurement_items.back().probe_offset = TVector3();
    const std::vector<TOpenGLDisplay::TLaser> lasers = MeasurementScene::Laser_Records(laser);
    QCOMPARE(lasers.size(), size_t(4));
    for(size_t i = 0; i < lasers.size(); ++i)
    {
      QCOMPARE(lasers[i].key, laser.d_id + static_cast<int>(i));
      // The head at the first row, the beam at the last, a target on every row.
      QCOMPARE(!lasers[i].laser_meshes[0].empty(), i == 0);
      QCOMPARE(!lasers[i].laser_meshes[2].empty(), i == 3);
      QVERIFY(!lasers[i].laser_meshes[1].empty());
      // No probe offset, no probe.
      QCOMPARE(lasers[i].red_mesh.empty(), i == 3);
      TOpenGLDisplay display;
      display.Add_Laser(lasers[i]);
      QCOMPARE(display.Find_Selection(laser.d_measurement_items[i].point_actual + TVector3(3, 5, -7)), 0);
    }

    TMeasurement_ISO iso;
    const TVector3 end(300, 400, -100);
    for(int k = 1; k <= 5; ++k)
    {
      iso.d_measurement_items.push_back(Row(TVector3(), end * (k / 5.0)));
    }
    TOpenGLDisplay display;
    for(const TOpenGLDisplay::TISOGauge& record : MeasurementScene::ISO_Records(iso))
    {
      display.Add_ISOGauge(record);
    }
    QCOMPARE(display.ISO_Count(), 5);
    // Each block reaches from the start to its own point: the first block that contains a point
    // near the k-th contact end is the k-th.
    for(int k = 1; k <= 5; ++k)
    {
      const TVector3 near_end = end * (k / 5.0) - end / end.Length() * 1.0;
      QCOMPARE(display.Find_Selection(near_end), k - 1);
    }
  }

  // A pick meets the surfaces that are drawn: the item nearest to the viewer along the line of
  // sight, whatever selection volume of another item the point lies in. Parts that serve no
  // row (the laser head) hide what is behind them and pick nothing.
  void Pick_Drawn_Item_data()
  {
    QTest::addColumn<TVector3>("origin");
    QTest::addColumn<TVector3>("direction");
    QTest::addColumn<double>("tolerance");
    QTest::addColumn<QString>("item"); // kind and row, or "none"

    const TVector3 down(0, 0, -1);
    QTest::newRow("ISO end above an MCG arm") << TVector3(500, 0, 1000) << down << 0.0 << "iso 4";
    QTest::newRow("ISO probe above an MCG arm") << TVector3(300, 0, 1000) << down << 0.0 << "iso 2";
    QTest::newRow("the MCG arm seen from below") << TVector3(500, 0, -1000) << TVector3(0, 0, 1) << 0.0 << "mcg 0";
    QTest::newRow("ball bar sphere") << TVector3(0, 300, 1000) << down << 0.0 << "ballbar 0";
    QTest::newRow("laser head") << TVector3(-450, -300, 1000) << down << 0.0 << "none";
    QTest::newRow("laser target") << TVector3(-200, -300, 1000) << down << 0.0 << "laser 2";
    QTest::newRow("beside a target") << TVector3(-200, -317, 1000) << down << 0.0 << "none";
    QTest::newRow("beside a target, within tolerance") << TVector3(-200, -317, 1000) << down << 3.0 << "laser 2";
    QTest::newRow("empty space") << TVector3(1000, 1000, 1000) << down << 3.0 << "none";
  }

  void Pick_Drawn_Item()
  {
    QFETCH(TVector3, origin);
    QFETCH(TVector3, direction);
    QFETCH(double, tolerance);
    QFETCH(QString, item);

    TMeasurement_ISO iso;
    iso.d_id = 1000;
    for(int k = 1; k <= 5; ++k)
    {
      iso.d_measurement_items.push_back(Row(TVector3(), TVector3(100.0 * k, 0, 0)));
    }
    TMeasurement_MCG mcg;
    mcg.d_id = 2000;
    mcg.d_measurement_items.push_back(Row(TVector3(100, 0, -400), TVector3(500, 0, -400)));
    TMeasurement_Ballbar ballbar;
    ballbar.d_id = 3000;
    ballbar.d_measurement_items.push_back(Row(TVector3(0, 300, 0), TVector3(0, 500, 0)));
    TMeasurement_Laser laser;
    laser.d_id = 4000;
    for(int i = 0; i < 4; ++i)
    {
      laser.d_measurement_items.push_back(Row(TVector3(-400, -300, 0), TVector3(-400 + 100 * i, -300, 0)));
      laser.d_measurement_items.back().probe_offset = TVector3();
    }

    TOpenGLDisplay display;
    for(const auto& record : MeasurementScene::MCG_Records(mcg))
    {
      display.Add_MCGGauge(record);
    }
    for(const auto& record : MeasurementScene::ISO_Records(iso))
    {
      display.Add_ISOGauge(record);
    }
    for(const auto& record : MeasurementScene::Ballbar_Records(ballbar))
    {
      display.Add_BallBar(record);
    }
    for(const auto& record : MeasurementScene::Laser_Records(laser))
    {
      display.Add_Laser(record);
    }

    TVector3 point;
    const int key = display.Pick_Ray(origin, direction, tolerance, &point);
    const QStringList kinds = {"iso", "mcg", "ballbar", "laser"};
    const QString picked =
        key < 0 ? QString("none") : QString("%1 %2").arg(kinds.value(key / 1000 - 1)).arg(key % 1000);
    QCOMPARE(picked, item);
    if(key >= 0)
    {
      // The point met lies on the line of sight (or beside it by the tolerance), not behind it.
      const TVector3 across = (point - origin) * direction;
      QVERIFY(across.Length() <= tolerance + 1e-6);
    }
  }

  void Mode_Buttons_data()
  {
    QTest::addColumn<QString>("clicks"); // p pan, 2 rotate 2-D, 3 rotate 3-D, in order
    QTest::addColumn<QString>("checked");
    QTest::newRow("start") << ""
                           << "p";
    QTest::newRow("pan off turns itself on again") << "p"
                                                   << "p";
    QTest::newRow("rotate 2-D") << "2"
                                << "2";
    QTest::newRow("rotate 3-D after 2-D") << "23"
                                          << "3";
    QTest::newRow("rotate 3-D off returns to pan") << "33"
                                                   << "p";
    QTest::newRow("pan after rotate") << "3p"
                                      << "p";
  }

  // Exactly one mode button is always on.
  void Mode_Buttons()
  {
    QFETCH(QString, clicks);
    QFETCH(QString, checked);
    TOpenGLDisplayWidget page;
    QList<QToolButton*> buttons = page.findChildren<QToolButton*>();
    QCOMPARE(buttons.size(), 4);
    QToolButton* pan = nullptr;
    QToolButton* rotate2d = nullptr;
    QToolButton* rotate3d = nullptr;
    for(QToolButton* button : buttons)
    {
      QCOMPARE(button->size(), QSize(24, 24));
      if(button->toolTip() == QStringLiteral("Pan Mode"))
      {
        pan = button;
      }
      else if(button->toolTip() == QStringLiteral("Rotate 2D Mode"))
      {
        rotate2d = button;
      }
      else if(button->toolTip() == QStringLiteral("Rotate 3D Mode"))
      {
        rotate3d = button;
      }
    }
    QVERIFY(pan && rotate2d && rotate3d);
    for(const QChar click : clicks)
    {
      (click == QLatin1Char('p') ? pan : click == QLatin1Char('2') ? rotate2d : rotate3d)->click();
    }
    QCOMPARE(pan->isChecked(), checked == QStringLiteral("p"));
    QCOMPARE(rotate2d->isChecked(), checked == QStringLiteral("2"));
    QCOMPARE(rotate3d->isChecked(), checked == QStringLiteral("3"));
    if(page.Display())
    {
      QCOMPARE(page.Display()->Pan_Mode(), checked == QStringLiteral("p"));
      QCOMPARE(page.Display()->Rotate2D_Mode(), checked == QStringLiteral("2"));
      QCOMPARE(page.Display()->Rotate3D_Mode(), checked == QStringLiteral("3"));
    }
  }

  // The page holds either the 3-D view or, when OpenGL is missing or older than 2, the text that
  // says so with the version and extension strings; never both, never neither. Which one is built
  // depends on the display the test runs on (a virtual X display gives a context, a bare
  // offscreen platform none).
  void View_Or_Explanation()
  {
    QString version;
    QString extensions;
    const int major = TOpenGLWidget::Get_OpenGL_Version_Major(&version, &extensions);
    TOpenGLDisplayWidget page;
    const QList<QLabel*> labels = page.findChildren<QLabel*>();
    if(major >= 2)
    {
      QVERIFY(page.Display());
      QVERIFY(labels.isEmpty());
      return;
    }
    QVERIFY(!page.Display());
    QCOMPARE(labels.size(), 1);
    const QString text = labels.front()->text();
    QVERIFY(labels.front()->wordWrap());
    QVERIFY(text.startsWith(QStringLiteral("<html><head/><body><p><span style=\" font-weight:700;\">ERR:  OpenGL "
                                           "version not supported.  No graphical display will be shown.</span></p>")));
    QVERIFY(text.contains(QStringLiteral("OpenGL Version Text:</span></p><p>%1</p>").arg(version.toHtmlEscaped())));
    QVERIFY(text.contains(QStringLiteral("OpenGL Extensions:</span></p><p>%1</p>").arg(extensions.toHtmlEscaped())));
    QVERIFY(text.endsWith(QStringLiteral("</body></html>")));

    // Without a view the page's operations are harmless and the mode buttons still keep one on.
    TMeasurement_Ballbar ballbar;
    page.Render_Measurements(&ballbar);
    page.Define_Machine_Volume(TVector3(1, 1, 1), TVector3(0, 0, 0));
    page.Set_Selection(3);
    page.Update(true);
    for(QToolButton* button : page.findChildren<QToolButton*>())
    {
      if(button->toolTip() == QStringLiteral("Pan Mode"))
      {
        button->click();
        QVERIFY(button->isChecked());
      }
    }
  }
};

QTEST_MAIN(TTestOpenGLScene)
#include "test_opengl_scene.moc"
