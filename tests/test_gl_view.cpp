// The 3-D view drawn for real: needs an OpenGL context (run under a virtual X display with the
// xcb platform) and skips when none can be created.
#include <QtTest>

#include <QImage>

#include <cmath>
#include <memory>

#include "src/gui/displaywidget.h"
#include "src/gui/opengldisplay.h"
#include "src/gui/opengldisplaywidget.h"
#include "src/model/measurement.h"
#include "tests/test_support.h"

namespace
{
using Test_Support::Row;
// One measurement of each kind, placed so that none hides another in the first view and that
// the laser head lies in no selection item.
struct TScene
{
  TMeasurement_Ballbar ballbar;
  TMeasurement_Laser laser;
  TMeasurement_ISO iso;
  TMeasurement_MCG mcg;

  TScene()
  {
    ballbar.d_name = QStringLiteral("Bar");
    ballbar.d_measurement_items.push_back(Row(TVector3(-300, -300, 200), TVector3(-300, 0, 200)));
    for(int i = 0; i < 5; ++i)
    {
      laser.d_measurement_items.push_back(Row(TVector3(-400, 300, -200), TVector3(-400 + 100 * i, 300, -200)));
    }
    for(int k = 1; k <= 5; ++k)
    {
      iso.d_measurement_items.push_back(Row(TVector3(-200, 300, 300), TVector3(-200 + 100 * k, 300, 300)));
    }
    mcg.d_measurement_items.push_back(Row(TVector3(300, -300, -300), TVector3(450, -300, -300)));
    mcg.d_measurement_items.push_back(Row(TVector3(300, -300, -300), TVector3(300, -450, -300)));
  }

  void Render(TOpenGLDisplayWidget* page)
  {
    page->Define_Machine_Volume(TVector3(500, 500, 500), TVector3(-500, -500, -500));
    for(TMeasurement* measurement : std::initializer_list<TMeasurement*>{&ballbar, &laser, &iso, &mcg})
    {
      page->Render_Measurements(measurement);
    }
    page->Update(true);
  }
};

struct TColour
{
  double r;
  double g;
  double b;
};

// Widget pixel to the image pixel at its centre: a grabbed frame holds devicePixelRatio image
// pixels per widget pixel.
QPoint Image_Point(const QImage& image, const QPoint& position)
{
  const double ratio = image.devicePixelRatio();
  return QPoint(static_cast<int>(std::floor((position.x() + 0.5) * ratio)),
                static_cast<int>(std::floor((position.y() + 0.5) * ratio)));
}

TColour Pixel(const QImage& image, const QPoint& position)
{
  const QColor colour = image.pixelColor(Image_Point(image, position));
  return TColour{colour.redF(), colour.greenF(), colour.blueF()};
}

QPoint Raster(const TOpenGLDisplay* display, const TVector3& point)
{
  int x = 0;
  int y = 0;
  display->Point_Raster_Position(x, y, point);
  return QPoint(x, y);
}

// Some image pixel within one widget pixel of the position has the wanted colour (lines are one
// image pixel wide and may fall on either side of the exact position).
template <typename TPredicate> bool Near_Pixel(const QImage& image, const QPoint& position, TPredicate wanted)
{
  const QPoint centre = Image_Point(image, position);
  const int reach = static_cast<int>(std::ceil(image.devicePixelRatio()));
  for(int dy = -reach; dy <= reach; ++dy)
  {
    for(int dx = -reach; dx <= reach; ++dx)
    {
      const QColor colour = image.pixelColor(centre + QPoint(dx, dy));
      if(wanted(TColour{colour.redF(), colour.greenF(), colour.blueF()}))
      {
        return true;
      }
    }
  }
  return false;
}

bool Grey(const TColour& c, double low, double high)
{
  return std::fabs(c.r - c.g) < 0.04 && std::fabs(c.g - c.b) < 0.04 && c.r > low && c.r < high;
}
} // namespace

class TTestGLView : public QObject
{
  Q_OBJECT

private:
  std::unique_ptr<TOpenGLDisplayWidget> d_page;
  TOpenGLDisplay* d_display = nullptr;
  TScene d_scene;

  QImage Frame() { return d_display->grabFramebuffer().convertToFormat(QImage::Format_RGB32); }

  void Click(const QPoint& position) { QTest::mouseClick(d_display, Qt::LeftButton, Qt::NoModifier, position); }

private slots:
  void init()
  {
    d_page.reset(new TOpenGLDisplayWidget());
    d_page->resize(900, 600);
    d_page->show();
    if(!d_page->Display() || !QTest::qWaitForWindowExposed(d_page.get()) || !d_page->Display()->isValid())
    {
      d_page.reset();
      QSKIP("no OpenGL context of version 2 or later");
    }
    d_display = d_page->Display();
    d_scene.Render(d_page.get());
  }

  void cleanup() { d_page.reset(); }

  void Each_Artefact_Where_It_Stands()
  {
    const QImage image = Frame();
    QCOMPARE(image.size(), d_display->size() * d_display->devicePixelRatioF());

    // The volume box: grey lines through the middle of its edges.
    for(const TVector3& edge : {TVector3(0, -500, -500), TVector3(500, 0, 500), TVector3(-500, -500, 0)})
    {
      QVERIFY2(Near_Pixel(image, Raster(d_display, edge), [](const TColour& c) { return Grey(c, 0.4, 0.75); }),
               "volume edge");
    }
    // Ball bar: a dark tube and blue-grey spheres.
    const TColour tube = Pixel(image, Raster(d_display, TVector3(-300, -150, 200)));
    QVERIFY(tube.r < 0.25 && tube.g < 0.25 && tube.b < 0.25);
    const TColour sphere = Pixel(image, Raster(d_display, TVector3(-300, -300, 200)));
    QVERIFY(sphere.b >= sphere.r && sphere.r > 0.4 && sphere.r < 0.97);
    // Laser target: green.
    const TColour target = Pixel(image, Raster(d_display, TVector3(-200, 300, -200)));
    QVERIFY(target.g > target.r + 0.08 && target.g > target.b + 0.08);
    // ISO gauge block: yellowish grey.
    const TColour block = Pixel(image, Raster(d_display, TVector3(-150, 300, 300)));
    QVERIFY(std::fabs(block.r - block.g) < 0.03 && block.r > block.b + 0.06);
    // MCG: the grey arm and the base below the pivot.
    QVERIFY(Grey(Pixel(image, Raster(d_display, TVector3(380, -300, -300))), 0.45, 0.97));
    QVERIFY(Grey(Pixel(image, Raster(d_display, TVector3(300, -300, -360))), 0.45, 0.97));
    // Background far from everything.
    const TColour corner = Pixel(image, QPoint(3, 3));
    QVERIFY(corner.r > 0.99 && corner.g > 0.99 && corner.b > 0.99);
  }

  void Flagged_Ballbar_Is_Red()
  {
    d_page->Clear_Render_Measurements();
    d_scene.ballbar.d_outside_volume = true;
    d_page->Render_Measurements(&d_scene.ballbar);
    d_scene.ballbar.d_outside_volume = false;
    d_page->Update(false);
    const QImage image = Frame();
    const TColour tube = Pixel(image, Raster(d_display, TVector3(-300, -150, 200)));
    QVERIFY(tube.r > 0.6 && tube.g < 0.25 && tube.b < 0.25);
    const TColour sphere = Pixel(image, Raster(d_display, TVector3(-300, -300, 200)));
    QVERIFY(sphere.r > 0.95 && sphere.g < 0.7);
  }

  void Click_Picks_Items()
  {
    Frame();
    QSignalSpy picks(d_page.get(), &TOpenGLDisplayWidget::Model_Item_Clicked);

    // On the ball bar's tube: its key, and a model point on the tube's surface (radius 14; the
    // bar runs nearly along the line of sight, so the surface point lies well before the axis
    // point that was aimed at).
    Click(Raster(d_display, TVector3(-300, -150, 200)));
    QCOMPARE(picks.count(), 1);
    QCOMPARE(picks.at(0).at(3).toInt(), d_scene.ballbar.d_id);
    const TVector3 point(picks.at(0).at(0).toDouble(), picks.at(0).at(1).toDouble(), picks.at(0).at(2).toDouble());
    const double from_axis = std::hypot(point.x + 300.0, point.z - 200.0);
    QVERIFY2(std::fabs(from_axis - 14.0) < 3.0 && point.y > -226.0 && point.y < -74.0,
             qPrintable(QStringLiteral("%1 %2 %3").arg(point.x).arg(point.y).arg(point.z)));

    // On the third laser target and on the second MCG arm: their rows.
    Click(Raster(d_display, TVector3(-200, 300, -200)));
    QCOMPARE(picks.last().at(3).toInt(), d_scene.laser.d_id + 2);
    Click(Raster(d_display, TVector3(300, -400, -300)));
    QCOMPARE(picks.last().at(3).toInt(), d_scene.mcg.d_id + 1);

    // On the laser head, drawn but in no selection item.
    Click(Raster(d_display, TVector3(-471, 300, -200)));
    QCOMPARE(picks.count(), 4);
    QCOMPARE(picks.last().at(3).toInt(), -1);

    // On the background far from any geometry: no item, so that the owner drops its selection.
    Click(QPoint(4, d_display->height() - 4));
    QCOMPARE(picks.count(), 5);
    QCOMPARE(picks.last().at(3).toInt(), -1);

    // On the far end of the longest ISO gauge and on its probe: that row, though an MCG is shown.
    Click(Raster(d_display, TVector3(300, 300, 300)));
    QCOMPARE(picks.last().at(3).toInt(), d_scene.iso.d_id + 4);
    Click(Raster(d_display, TVector3(300, 300, 420)));
    QCOMPARE(picks.last().at(3).toInt(), d_scene.iso.d_id + 4);
  }

  // The output area turns a pick into measurement id and row index and tints the picked row.
  void Pick_Through_The_Output_Area()
  {
    d_page.reset();
    TDisplayWidget output;
    output.resize(900, 700);
    output.show();
    QVERIFY(QTest::qWaitForWindowExposed(&output));
    TOpenGLDisplayWidget* page = output.findChild<TOpenGLDisplayWidget*>();
    QVERIFY(page);
    TOpenGLDisplay* display = page->Display();
    if(!display || !display->isValid())
    {
      QSKIP("no OpenGL context in the output area");
    }
    output.Define_Machine_Volume(TVector3(-500, -500, -500), TVector3(500, 500, 500));
    output.Add_Graphical_Data(&d_scene.laser);
    output.Add_Graphical_Data_End();
    display->grabFramebuffer();

    QSignalSpy selected(&output, &TDisplayWidget::Item_Selected);
    const TVector3 target(-100, 300, -200);
    QTest::mouseClick(display, Qt::LeftButton, Qt::NoModifier, Raster(display, target));
    QCOMPARE(selected.count(), 1);
    QCOMPARE(selected.at(0).at(0).toInt(), d_scene.laser.d_id);
    QCOMPARE(selected.at(0).at(1).toInt(), 3);
    QCOMPARE(display->Selected_Key(), d_scene.laser.d_id + 3);
    const QImage image = display->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
    const TColour tinted = Pixel(image, Raster(display, target));
    QVERIFY(tinted.b > 0.7 && tinted.r < 0.5);

    // Background: the selection is cleared and nothing is reported.
    QTest::mouseClick(display, Qt::LeftButton, Qt::NoModifier, QPoint(4, 4));
    QCOMPARE(selected.count(), 1);
  }
};

QTEST_MAIN(TTestGLView)
#include "test_gl_view.moc"
