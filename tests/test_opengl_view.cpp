// The camera and picking logic of the OpenGL view, driven without an OpenGL context: the view
// is never shown, so only its own matrices and selection items are exercised.
#include <QtTest>

#include <QMouseEvent>

#include <cmath>

#include "core/gui/openglwidget.h"
#include "tests/test_support.h"

Q_DECLARE_METATYPE(TVector3)

namespace
{

class TTestView : public TOpenGLWidget
{
public:
  TTestView(int width, int height) { Set_Viewport_Size(width, height); }
  using TOpenGLWidget::Set_Viewport_Size;

  // Normalised device coordinates of a model point.
  TVector3 Ndc(const TVector3& point) const { return Projection_Mat() * (Model_View_Mat() * point); }
};

void Send_Mouse(QWidget* widget, QEvent::Type type, const QPoint& position, Qt::MouseButton button,
                Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
  QMouseEvent event(type, QPointF(position), QPointF(widget->mapToGlobal(position)), button, buttons, modifiers);
  QApplication::sendEvent(widget, &event);
}

// Fits the view to the box between the two corners.
void Fit_Box(TOpenGLWidget* view, const TVector3& low, const TVector3& high)
{
  view->Begin_Fit_To_Viewport();
  for(int bits = 0; bits < 8; ++bits)
  {
    view->Process_Vertex(
        TVector3((bits & 1) ? high.x : low.x, (bits & 2) ? high.y : low.y, (bits & 4) ? high.z : low.z));
  }
  view->End_Fit_To_Viewport();
}

// Fits the view to the 100 x 50 x 10 box at the origin that the zoom tests look at, and hands
// back the projection that gives.
TMat4 Fit_Test_Box(TOpenGLWidget* view)
{
  Fit_Box(view, TVector3(0, 0, 0), TVector3(100, 50, 10));
  return view->Projection_Mat();
}

bool Same(const TMat4& a, const TMat4& b)
{
  for(int i = 0; i < 16; ++i)
  {
    if(std::fabs(a[i] - b[i]) > 1e-12)
    {
      return false;
    }
  }
  return true;
}

// A selection item of type 1 (a segment) or 0 (a box) from p0 to p1.
TOpenGLWidget::TSelectionItemType Item(int type, const TVector3& p0, const TVector3& p1, int identifier)
{
  TOpenGLWidget::TSelectionItemType item;
  item.type = type;
  item.p0 = p0;
  item.p1 = p1;
  item.identifier = identifier;
  return item;
}

TOpenGLWidget::TSelectionItemType Segment(const TVector3& p0, const TVector3& p1, int identifier)
{
  return Item(1, p0, p1, identifier);
}

TOpenGLWidget::TSelectionItemType Box(const TVector3& p0, const TVector3& p1, int identifier)
{
  TOpenGLWidget::TSelectionItemType item = Item(0, p0, p1, identifier);
  // Axes given against the diagonal: they are turned round when stored.
  item.a1 = TVector3(-2, 0, 0);
  item.a2 = TVector3(0, 3, 0);
  item.a3 = TVector3(0, 0, -1);
  return item;
}
} // namespace

class TTestOpenGLView : public QObject
{
  Q_OBJECT

private slots:
  void Is_Point_Between_data()
  {
    Test_Support::Add_Rows<TVector3, bool>({"point", "between"}, {{"inside", TVector3(5, 100, -7), true},
                                                                  {"before", TVector3(-1, 0, 0), false},
                                                                  {"beyond", TVector3(11, 0, 0), false},
                                                                  {"on the first plane", TVector3(0, 3, 0), false},
                                                                  {"on the second plane", TVector3(10, 0, 3), false}});
  }

  void Is_Point_Between()
  {
    QFETCH(TVector3, point);
    QFETCH(bool, between);
    QCOMPARE(TOpenGLWidget::Is_Point_Between(point, TVector3(0, 0, 0), TVector3(10, 0, 0), TVector3(1, 0, 0)), between);
    // The order of the planes and the sign of the axis do not matter.
    QCOMPARE(TOpenGLWidget::Is_Point_Between(point, TVector3(10, 0, 0), TVector3(0, 0, 0), TVector3(-3, 0, 0)),
             between);
  }

  void Find_Selection_data()
  {
    QTest::addColumn<TVector3>("point");
    QTest::addColumn<int>("index");
    QTest::newRow("inside the box") << TVector3(105, 5, 5) << 0;
    QTest::newRow("box wins over nearer segments") << TVector3(101, 1, 9) << 0;
    QTest::newRow("on a box face") << TVector3(105, 5, 10) << 1;
    QTest::newRow("nearest segment") << TVector3(50, 2, 0) << 1;
    QTest::newRow("nearer to the later segment") << TVector3(50, 8, 0) << 2;
    QTest::newRow("equally near keeps the first") << TVector3(50, 5, 0) << 1;
    QTest::newRow("segment midpoint") << TVector3(50, 10, 0) << 2;
    QTest::newRow("beyond every segment end") << TVector3(200, 5, 0) << -1;
  }

  void Find_Selection()
  {
    QFETCH(TVector3, point);
    QFETCH(int, index);
    TTestView view(100, 100);
    view.AddSelectionItem(Box(TVector3(100, 0, 0), TVector3(110, 10, 10), 7));
    view.AddSelectionItem(Segment(TVector3(0, 0, 0), TVector3(110, 0, 0), 8));
    view.AddSelectionItem(Segment(TVector3(0, 10, 0), TVector3(100, 10, 0), 9));
    view.AddSelectionItem(Segment(TVector3(5, 5, 5), TVector3(5, 5, 5), 10)); // no length: never picked
    QCOMPARE(view.Find_Selection(point), index);
  }

  void Add_Selection_Item()
  {
    TTestView view(100, 100);
    view.AddSelectionItem(Box(TVector3(0, 0, 0), TVector3(1, 1, 1), 1));
    TOpenGLWidget::TSelectionItemType flat = Box(TVector3(0, 0, 0), TVector3(1, 1, 1), 2);
    flat.a2 = TVector3();
    view.AddSelectionItem(flat);
    TOpenGLWidget::TSelectionItemType other = Segment(TVector3(), TVector3(1, 0, 0), 3);
    other.type = 2;
    view.AddSelectionItem(other);
    QCOMPARE(view.Selection_Item_Count(), 2);

    // Each axis now points from p0 towards p1 with unit length.
    const TOpenGLWidget::TSelectionItemType box = view.Selection_Item(0);
    QCOMPARE(box.a1.x, 1.0);
    QCOMPARE(box.a2.y, 1.0);
    QCOMPARE(box.a3.z, 1.0);
    // A missing axis makes the box axis-aligned.
    const TOpenGLWidget::TSelectionItemType aligned = view.Selection_Item(1);
    QCOMPARE(aligned.a1.x, 1.0);
    QCOMPARE(aligned.a2.y, 1.0);
    QCOMPARE(aligned.a3.z, 1.0);
    QCOMPARE(aligned.identifier, 2);
  }

  void Fit_data()
  {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<TVector3>("low");
    QTest::addColumn<TVector3>("high");
    QTest::newRow("wide window") << 400 << 200 << TVector3(-50, 10, -5) << TVector3(150, 60, 35);
    QTest::newRow("tall window") << 200 << 400 << TVector3(-50, 10, -5) << TVector3(150, 60, 35);
    QTest::newRow("tall scene") << 300 << 300 << TVector3(0, -500, 0) << TVector3(10, 500, 20);
  }

  // The fitted scene fills the viewport in its larger direction and keeps the depth between
  // -1/8 and +1/8.
  void Fit()
  {
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(TVector3, low);
    QFETCH(TVector3, high);
    TTestView view(width, height);
    Fit_Box(&view, low, high);

    double largest = 0.0;
    for(int bits = 0; bits < 8; ++bits)
    {
      const TVector3 ndc =
          view.Ndc(TVector3((bits & 1) ? high.x : low.x, (bits & 2) ? high.y : low.y, (bits & 4) ? high.z : low.z));
      QVERIFY(std::fabs(ndc.x) <= 1.0 + 1e-12 && std::fabs(ndc.y) <= 1.0 + 1e-12);
      QVERIFY(std::fabs(std::fabs(ndc.z) - 0.125) < 1e-12);
      largest = std::max(largest, std::max(std::fabs(ndc.x) * width, std::fabs(ndc.y) * height));
    }
    // The larger extent spans the smaller side of the window.
    QVERIFY(std::fabs(largest - std::min(width, height)) < 1e-9);
    // The centre of the box is drawn at the viewport centre and normalised depth 0.
    QVERIFY((view.Ndc((low + high) * 0.5)).Length() < 1e-12);
  }

  void Fit_Flat_Scene()
  {
    TTestView view(300, 300);
    Fit_Box(&view, TVector3(-10, -20, 5), TVector3(30, 40, 5));
    QCOMPARE(view.Projection_Mat()[10], -250000.0);
    QVERIFY(std::fabs(view.Projection_Mat()[11] - 10.0 * 0.5 / 4e-6) < 1e-3);
    QVERIFY(std::fabs(view.Ndc(TVector3(0, 0, 5)).z) < 1e-9);

    // A fit that saw no vertex leaves the view as it was.
    const TMat4 before = view.Projection_Mat();
    view.Begin_Fit_To_Viewport();
    view.End_Fit_To_Viewport();
    QVERIFY(Same(view.Projection_Mat(), before));
    QVERIFY(!view.Is_Fitting());
  }

  void Zoom_To_Rect_data()
  {
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<bool>("changes");
    QTest::newRow("square") << QRect(50, 50, 100, 100) << true;
    QTest::newRow("one pixel") << QRect(120, 30, 1, 1) << true;
    QTest::newRow("no width") << QRect(120, 30, 0, 40) << false;
    QTest::newRow("no height") << QRect(120, 30, 40, 0) << false;
  }

  void Zoom_To_Rect()
  {
    QFETCH(QRect, rect);
    QFETCH(bool, changes);
    TTestView view(400, 200);
    const TMat4 before = Fit_Test_Box(&view);
    // The rectangle's centre in view coordinates, from its two corners.
    double vx = 0.0;
    double vy = 0.0;
    for(const QPoint& corner : {rect.topLeft(), QPoint(rect.left() + rect.width(), rect.top() + rect.height())})
    {
      short x = static_cast<short>(corner.x());
      short y = static_cast<short>(corner.y());
      view.Convert_To_GLViewport(x, y);
      double cx = 0.0;
      double cy = 0.0;
      view.Convert_GLViewport_ToModel(x, y, cx, cy);
      vx += cx * 0.5;
      vy += cy * 0.5;
    }

    view.Zoom_To_Rect(rect);
    QCOMPARE(!Same(view.Projection_Mat(), before), changes);
    QCOMPARE(view.Projection_Mat()[10], before[10]);
    QCOMPARE(view.Projection_Mat()[11], before[11]);
    if(changes)
    {
      // The rectangle's centre moves to the viewport centre.
      QVERIFY(std::fabs(view.Projection_Mat()[0] * vx + view.Projection_Mat()[3]) < 1e-9);
      QVERIFY(std::fabs(view.Projection_Mat()[5] * vy + view.Projection_Mat()[7]) < 1e-9);
    }
  }

  void Click_Zoom_data()
  {
    Test_Support::Add_Rows<int, double>(
        {"y", "factor"},
        {{"middle row", 100, 1.0}, {"top edge", 200, 0.5}, {"bottom edge", 0, 1.5}, {"a quarter up", 150, 0.75}});
  }

  // Only the row counts: clicks above the middle zoom out, below it zoom in. The depth row stays,
  // so a close zoom never pushes the scene through the near and far planes.
  void Click_Zoom()
  {
    QFETCH(int, y);
    QFETCH(double, factor);
    TTestView view(300, 200);
    const TMat4 before = Fit_Test_Box(&view);
    view.Click_Zoom(10, static_cast<short>(y));
    for(int i : {0, 3, 5, 7})
    {
      QVERIFY(std::fabs(view.Projection_Mat()[i] - before[i] * factor) < 1e-12);
    }
    QCOMPARE(view.Projection_Mat()[10], before[10]);
    QCOMPARE(view.Projection_Mat()[11], before[11]);
  }

  void Mousewheel_Zoom()
  {
    TTestView view(300, 200);
    const TMat4 fitted = Fit_Test_Box(&view);
    view.Mousewheel_Zoom(0);
    QVERIFY(Same(view.Projection_Mat(), fitted));
    view.Mousewheel_Zoom(-120);
    QVERIFY(std::fabs(view.Projection_Mat()[0] - fitted[0] * 0.95) < 1e-15);
    view.Mousewheel_Zoom(120);
    QVERIFY(Same(view.Projection_Mat(), fitted));

    // Fifty steps in: the box is far larger than the window but none of it leaves the depth range.
    for(int step = 0; step < 50; ++step)
    {
      view.Mousewheel_Zoom(120);
    }
    QVERIFY(std::fabs(view.Ndc(TVector3(0, 0, 0)).z) <= 0.125 + 1e-12);
    QVERIFY(std::fabs(view.Ndc(TVector3(100, 50, 10)).z) <= 0.125 + 1e-12);
  }

  // Resizing keeps the scale of the smaller side and the point at the viewport centre.
  void Resize_Keeps_Centre()
  {
    TTestView view(200, 200);
    Fit_Test_Box(&view);
    const TVector3 centre(50, 25, 5);
    view.Set_Viewport_Size(500, 200);
    QVERIFY((view.Ndc(centre)).Length() < 1e-12);
    QVERIFY(std::fabs(view.Projection_Mat()[0] * 500 - view.Projection_Mat()[5] * 200) < 1e-12);
    view.Set_Viewport_Size(200, 600);
    QVERIFY((view.Ndc(centre)).Length() < 1e-12);
    QVERIFY(std::fabs(view.Projection_Mat()[0] * 200 - view.Projection_Mat()[5] * 600) < 1e-12);
  }

  void Convert_To_GLViewport()
  {
    TTestView view(300, 200);
    short x = 0;
    short y = 0;
    view.Convert_To_GLViewport(x, y);
    // The widget's top row is the viewport's top row, inside the viewport.
    QCOMPARE(y, short(199));
    x = 299;
    y = 199;
    view.Convert_To_GLViewport(x, y);
    QCOMPARE(x, short(299));
    QCOMPARE(y, short(0));
  }

  void Right_Drag_data()
  {
    QTest::addColumn<int>("mode"); // 0 pan, 1 rotate 2-D, 2 rotate 3-D
    QTest::addColumn<QPoint>("to");
    QTest::addColumn<bool>("rotates");
    QTest::addColumn<bool>("pans");
    QTest::addColumn<bool>("zooms");
    QTest::newRow("one pixel changes nothing and zooms") << 0 << QPoint(61, 40) << false << false << true;
    QTest::newRow("pan") << 0 << QPoint(90, 60) << false << true << false;
    QTest::newRow("rotate 3-D") << 2 << QPoint(90, 60) << true << false << false;
    QTest::newRow("rotate 2-D") << 1 << QPoint(70, 20) << true << false << false;
  }

  void Right_Drag()
  {
    QFETCH(int, mode);
    QFETCH(QPoint, to);
    QFETCH(bool, rotates);
    QFETCH(bool, pans);
    QFETCH(bool, zooms);

    TTestView view(300, 200);
    view.resize(300, 200);
    Fit_Test_Box(&view);
    if(mode == 1)
    {
      view.Set_Rotate2D_Mode();
    }
    else if(mode == 2)
    {
      view.Set_Rotate3D_Mode();
    }
    const TMat4 model_view = view.Model_View_Mat();
    const TMat4 projection = view.Projection_Mat();
    const QPoint from(60, 40);

    Send_Mouse(&view, QEvent::MouseButtonPress, from, Qt::RightButton, Qt::RightButton);
    const TVector3 centre = view.Rotation_Center();
    Send_Mouse(&view, QEvent::MouseMove, to, Qt::NoButton, Qt::RightButton);
    const TMat4 dragged = view.Projection_Mat();
    QCOMPARE(!Same(view.Model_View_Mat(), model_view), rotates);
    QCOMPARE(dragged[3] != projection[3] || dragged[7] != projection[7], pans || rotates);
    Send_Mouse(&view, QEvent::MouseButtonRelease, to, Qt::RightButton, Qt::NoButton);
    QCOMPARE(view.Projection_Mat()[0] != dragged[0], zooms);

    if(rotates)
    {
      // Still a pure rotation, turning about the point drawn at the viewport centre.
      const TMat4& m = view.Model_View_Mat();
      for(int row = 0; row < 3; ++row)
      {
        QVERIFY(std::fabs((TVector3(m[4 * row], m[4 * row + 1], m[4 * row + 2])).Length() - 1.0) < 1e-9);
      }
      QVERIFY((view.Ndc(centre)).Length() < 1e-9);
    }
  }

  void Left_Drag_Zooms_To_The_Band()
  {
    TTestView view(300, 200);
    view.resize(300, 200);
    const double scale = Fit_Test_Box(&view)[0];
    QSignalSpy clicks(&view, &TOpenGLWidget::Model_Click_Point);
    Send_Mouse(&view, QEvent::MouseButtonPress, QPoint(100, 50), Qt::LeftButton, Qt::LeftButton);
    Send_Mouse(&view, QEvent::MouseMove, QPoint(120, 60), Qt::NoButton, Qt::LeftButton);
    Send_Mouse(&view, QEvent::MouseMove, QPoint(160, 90), Qt::NoButton, Qt::LeftButton);
    Send_Mouse(&view, QEvent::MouseButtonRelease, QPoint(160, 90), Qt::LeftButton, Qt::NoButton);
    // The band covers the pixel columns 100 to 160 and rows 50 to 90 of a 300 x 200 window. As in
    // a fit, its larger extent in view units (61 pixels wide against 41 * 1.5) fills the window's
    // smaller side, 200 pixels.
    QCOMPARE(view.Projection_Mat()[0] / scale, 200.0 / 61.0);
    QCOMPARE(clicks.count(), 0);

    // A release outside the widget is no click (and never reads a pixel outside the viewport).
    Send_Mouse(&view, QEvent::MouseButtonPress, QPoint(100, 50), Qt::LeftButton, Qt::LeftButton);
    Send_Mouse(&view, QEvent::MouseButtonRelease, QPoint(-40, 500), Qt::LeftButton, Qt::NoButton);
    QCOMPARE(clicks.count(), 0);
  }
};

QTEST_MAIN(TTestOpenGLView)
#include "test_opengl_view.moc"
