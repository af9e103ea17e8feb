// How a page of charts uses the room it gets: columns that fit the view's width, a picture file
// that shrinks as little as it can, notes that wrap, axis labels that fit a small chart.

#include <QtTest>

#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QScrollBar>
#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QChart>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QPolarChart>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>
#include <QtCharts/QXYSeries>

#include <algorithm>
#include <cmath>
#include <memory>
#include <set>
#include <vector>

#include "src/gui/plotcharts.h"
#include "src/gui/plotpage.h"
#include "src/gui/plotswidget.h"
#include "tests/test_support.h"

using namespace QtCharts;

namespace
{
// The left edges of the page's charts: one per column.
std::set<int> Column_Edges(TPlotPage* page)
{
  std::set<int> edges;
  for(QGraphicsItem* item : page->childItems())
  {
    if(QChart* chart = dynamic_cast<QChart*>(item))
    {
      edges.insert(qRound(chart->geometry().left()));
    }
  }
  return edges;
}

// The lowest edge of the page's charts.
double Charts_Bottom(TPlotPage* page)
{
  double bottom = 0.0;
  for(QGraphicsItem* item : page->childItems())
  {
    if(QChart* chart = dynamic_cast<QChart*>(item))
    {
      bottom = std::max(bottom, chart->geometry().bottom());
    }
  }
  return bottom;
}

// Five laser runs whose deviations are all positive and whose angles are mostly negative, so
// that lining up the zeros of the two axes stretches the deviation axis to many times its span.
std::vector<Plot_Series::TMeasurementResult> Laser_Runs()
{
  std::vector<Plot_Series::TMeasurementResult> results;
  for(int run = 0; run < 5; ++run)
  {
    Plot_Series::TMeasurementResult result;
    result.name = QStringLiteral("Laser %1").arg(run);
    result.id = run;
    result.type = Types::MEASUREMENT_LASER;
    for(int index = 0; index <= 12; ++index)
    {
      Plot_Series::TResultRow row;
      row.index = index;
      row.laser.scale_nominal = 100.0 * index;
      row.laser.scale_deviation = 0.0005 * index;
      // A little above zero at first, far below it at the end.
      row.laser.rc = 0.00005 * index - 0.00002 * index * index;
      row.deviation = row.laser.scale_deviation;
      result.rows.push_back(row);
    }
    results.push_back(result);
  }
  return results;
}
// One laser run of 11 rows with the deviation (mm) and the angle Rc (mm/m) of each position.
std::vector<Plot_Series::TMeasurementResult> Laser_Run(double deviation_start, double deviation_end, double angle_start,
                                                       double angle_end)
{
  Plot_Series::TMeasurementResult result;
  result.name = QStringLiteral("Laser Y");
  result.type = Types::MEASUREMENT_LASER;
  for(int index = 0; index <= 10; ++index)
  {
    Plot_Series::TResultRow row;
    row.index = index;
    row.laser.scale_nominal = 100.0 * index;
    row.laser.scale_deviation = deviation_start + (deviation_end - deviation_start) * index / 10.0;
    row.laser.rc = angle_start + (angle_end - angle_start) * index / 10.0;
    row.deviation = row.laser.scale_deviation;
    result.rows.push_back(row);
  }
  return {result};
}
} // namespace

class TTestPlotPage : public QObject
{
  Q_OBJECT

private slots:
  // Every kind of the table is found by its name and draws its own page: a kind without one
  // would stop the program, two swapped ones would draw each other's.
  void Every_Kind_Has_Its_Page()
  {
    Plot_Kinds::TData data;
    data.machine_name = QStringLiteral("Bridge");
    for(const Plot_Kinds::TKind& kind : Plot_Kinds::Kinds())
    {
      QCOMPARE(Plot_Kinds::Find(QString::fromLatin1(kind.name)), &kind);
      const std::unique_ptr<TPlotPage> page(Plot_Charts::Page(kind, data));
      QVERIFY2(page && page->Header_Lines().value(0).startsWith(QLatin1String(kind.title)), kind.name);
    }
  }

  void Columns_Follow_The_Width()
  {
    QGraphicsScene scene;
    TPlotPage* page = Plot_Charts::Results_Page(QStringLiteral("M"), Laser_Runs());
    scene.addItem(page);

    // Wide enough for three cells of FLOW_CELL_WIDTH, but laser charts carry their legend
    // beside them: two per row.
    page->Lay_Out(QSizeF(1200.0, 800.0), TPlotPage::TFit::WIDTH);
    QCOMPARE(Column_Edges(page).size(), std::size_t(2));
    // A narrower view gets fewer columns and no page wider than itself to scroll sideways.
    page->Lay_Out(QSizeF(850.0, 600.0), TPlotPage::TFit::WIDTH);
    QCOMPARE(Column_Edges(page).size(), std::size_t(2));
    QCOMPARE(page->size().width(), 850.0);
    page->Lay_Out(QSizeF(420.0, 600.0), TPlotPage::TFit::WIDTH);
    QCOMPARE(Column_Edges(page).size(), std::size_t(1));
    QCOMPARE(page->size().width(), 420.0);
    // The wrapped notes make the header taller; the page grows with it, so that the view can
    // scroll down to the last chart.
    QVERIFY(Charts_Bottom(page) <= page->size().height());
    // And back.
    page->Lay_Out(QSizeF(1200.0, 800.0), TPlotPage::TFit::WIDTH);
    QCOMPARE(Column_Edges(page).size(), std::size_t(2));

    // A tall picture: one column would shrink the page to about 0.6, two columns hardly at all.
    page->Lay_Out(QSizeF(600.0, 900.0), TPlotPage::TFit::WHOLE);
    QCOMPARE(Column_Edges(page).size(), std::size_t(2));
  }

  void Long_Notes_Wrap()
  {
    const QString text = QStringLiteral("A note long enough to need two lines on a narrow page, where cutting it "
                                        "short would hide what the user is asked to do.");
    QGraphicsScene scene;
    TPlotPage* page = Plot_Charts::Message_Page(QStringLiteral("Title"), text);
    scene.addItem(page);
    const auto header_height = [page](double width)
    {
      page->Lay_Out(QSizeF(width, 400.0), TPlotPage::TFit::WIDTH);
      return page->layout()->itemAt(0)->geometry().height();
    };
    const double wide = header_height(1600.0);
    QVERIFY(header_height(300.0) > wide * 1.5);
    QCOMPARE(header_height(1600.0), wide);
  }

  // A saved picture says nothing of the mouse, which it has not; the notes stay.
  void Picture_Without_Mouse_Hints()
  {
    QTemporaryDir directory;
    QScopedPointer<TPlotPage> page(Plot_Charts::Results_Page(QStringLiteral("M"), Laser_Runs()));
    const QString file_name = directory.filePath("results.svg");
    QString error;
    QVERIFY2(Write_Plot_File(page.data(), file_name, QSize(1200, 900), &error), qPrintable(error));
    const QByteArray svg = Test_Support::Read(file_name);
    QVERIFY(svg.contains("Deviation = actual"));
    QVERIFY(!svg.contains("hover") && !svg.contains("click"));
  }

  // One polar chart per MCG measurement, named, its circle at least 300 pixels across on a
  // wide page, with a legend of its rings; plan view: azimuth 0 on the right, 90 at the top.
  void MCG_Charts_Per_Measurement()
  {
    std::vector<Plot_Series::TMeasurementResult> results;
    for(int m = 0; m < 3; ++m)
    {
      Plot_Series::TMeasurementResult result;
      result.name = QStringLiteral("MCG %1").arg(m + 1);
      result.type = Types::MEASUREMENT_MCG;
      for(int ring = 0; ring < 4; ++ring)
      {
        for(int step = 0; step < 8; ++step)
        {
          Plot_Series::TResultRow row;
          row.index = ring * 8 + step;
          row.elevation = -30.0 + 20.0 * ring;
          row.azimuth = 45.0 * step;
          // A pure X scale error: largest along X.
          row.deviation = 0.002 * std::pow(std::cos(row.azimuth * M_PI / 180.0), 2);
          result.rows.push_back(row);
        }
      }
      results.push_back(result);
    }
    QGraphicsScene scene;
    TPlotPage* page = Plot_Charts::Results_Page(QStringLiteral("M"), results);
    scene.addItem(page);
    page->Lay_Out(QSizeF(1100.0, 800.0), TPlotPage::TFit::WIDTH);
    QStringList titles;
    for(QGraphicsItem* item : page->childItems())
    {
      QPolarChart* chart = dynamic_cast<QPolarChart*>(item);
      if(!chart)
      {
        continue;
      }
      titles.push_back(chart->title());
      QXYSeries* ring = qobject_cast<QXYSeries*>(chart->series().front());
      const QPointF centre = chart->plotArea().center();
      const QValueAxis* radial = qobject_cast<QValueAxis*>(chart->axes(QPolarChart::PolarOrientationRadial).value(0));
      QVERIFY(radial);
      const double across = 2.0 * (chart->mapToPosition(QPointF(90.0, radial->max()), ring).x() - centre.x());
      QVERIFY2(across >= 300.0, qPrintable(QString::number(across)));
      QStringList legend;
      for(QLegendMarker* marker : chart->legend()->markers())
      {
        legend.push_back(marker->isVisible() ? marker->label() : QString());
      }
      legend.removeAll(QString());
      QCOMPARE(legend, QStringList({"-30.0°", "-10.0°", "10.0°", "30.0°"}));
      // The first ring's largest deviation lies at azimuth 0 (+X): on the right of the centre.
      const QPointF at_zero = chart->mapToPosition(QPointF(90.0, 2.0), ring);
      QVERIFY(at_zero.x() > centre.x() + 100.0 && std::fabs(at_zero.y() - centre.y()) < 1.0);
      const QPointF at_ninety = chart->mapToPosition(QPointF(0.0, 2.0), ring);
      QVERIFY(at_ninety.y() < centre.y() - 100.0);
      bool found = false;
      for(const QPointF& point : ring->pointsVector())
      {
        found = found || (std::fabs(point.x() - 90.0) < 1e-9 && std::fabs(point.y() - 2.0) < 1e-9);
      }
      QVERIFY(found);
    }
    QCOMPARE(titles, QStringList({"MCG: MCG 1", "MCG: MCG 2", "MCG: MCG 3"}));
  }

  // A clicked point is ringed and its values are told, whichever series it lies on; the ring
  // follows the next click into another chart.
  void Clicked_Point_Shown()
  {
    QGraphicsScene scene;
    TPlotPage* page = Plot_Charts::Results_Page(QStringLiteral("M"), Laser_Runs());
    scene.addItem(page);
    page->Lay_Out(QSizeF(1200.0, 800.0), TPlotPage::TFit::WIDTH);
    QSignalSpy told(page, &TPlotPage::Point_Clicked);
    QSignalSpy picked(page, &TPlotPage::Row_Clicked);
    std::vector<QChart*> charts;
    for(QGraphicsItem* item : page->childItems())
    {
      if(QChart* chart = dynamic_cast<QChart*>(item))
      {
        charts.push_back(chart);
      }
    }
    QVERIFY(charts.size() >= 2);
    const auto rings = [&charts]()
    {
      QList<QPointF> points;
      for(QChart* chart : charts)
      {
        for(QAbstractSeries* series : chart->series())
        {
          QScatterSeries* scatter = qobject_cast<QScatterSeries*>(series);
          if(scatter && scatter->markerSize() > 15.0 && scatter->count() > 0)
          {
            points += scatter->points();
          }
        }
      }
      return points;
    };
    for(QChart* chart : {charts[0], charts[1]})
    {
      QXYSeries* scale = qobject_cast<QXYSeries*>(chart->series().front());
      scale->clicked(scale->at(3) + QPointF(1.0, 0.0));
      QCOMPARE(rings(), QList<QPointF>({scale->at(3)}));
      QVERIFY(told.takeLast().front().toString().contains("row 4"));
      QCOMPARE(picked.takeLast().value(1).toInt(), 3);
    }
  }

  // Bars of names alike stay apart when the axis cuts their labels: a number leads each label,
  // and the page's key names the bar in full.
  void Ballbars_Told_Apart()
  {
    std::vector<Plot_Series::TMeasurementResult> results;
    for(const char* name : {"BallBar XY Diagonal 1", "BallBar XY Diagonal 2"})
    {
      Plot_Series::TMeasurementResult result;
      result.name = QString::fromLatin1(name);
      result.type = Types::MEASUREMENT_BALLBAR;
      result.rows.push_back(Plot_Series::TResultRow());
      results.push_back(result);
    }
    QScopedPointer<TPlotPage> page(Plot_Charts::Results_Page(QStringLiteral("M"), results));
    QBarCategoryAxis* axis = nullptr;
    for(QGraphicsItem* item : page->childItems())
    {
      if(QChart* chart = dynamic_cast<QChart*>(item))
      {
        axis = qobject_cast<QBarCategoryAxis*>(chart->axes(Qt::Horizontal).value(0));
      }
    }
    QVERIFY(axis);
    QCOMPARE(axis->categories().size(), 2);
    QCOMPARE(axis->categories(), QStringList({"1", "2"}));
    const QString key = page->Header_Lines().filter("Ball bars").value(0);
    QVERIFY2(key.contains(QStringLiteral("1\u00a0BallBar\u00a0XY\u00a0Diagonal\u00a01")) &&
                 key.contains(QStringLiteral("2\u00a0BallBar\u00a0XY\u00a0Diagonal\u00a02")),
             qPrintable(key));
  }

  // A new page is shown from its top, wherever the old one was scrolled to.
  void New_Page_At_Top()
  {
    TPlotView view;
    view.resize(500, 300);
    view.Set_Page(Plot_Charts::Results_Page(QStringLiteral("M"), Laser_Runs()));
    QVERIFY(view.verticalScrollBar()->maximum() > 0);
    view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum());
    view.Set_Page(Plot_Charts::Results_Page(QStringLiteral("N"), Laser_Runs()));
    QCOMPARE(view.verticalScrollBar()->value(), 0);
  }

  void Laser_Axes_Share_Zero_data()
  {
    QTest::addColumn<double>("deviation_start");
    QTest::addColumn<double>("deviation_end");
    QTest::addColumn<double>("angle_start");
    QTest::addColumn<double>("angle_end");
    QTest::newRow("angles all negative") << -0.004 << 0.015 << 0.0 << -0.0015;
    QTest::newRow("deviations all negative") << 0.0 << -0.02 << -0.0005 << 0.003;
    QTest::newRow("both positive") << 0.0 << 0.01 << 0.0 << 0.002;
    QTest::newRow("opposite ends") << 0.0 << 0.01 << 0.0 << -0.002;
    QTest::newRow("no angles") << -0.003 << 0.012 << 0.0 << 0.0;
  }

  // Both axes of a laser chart put 0 at the same height and hold every value.
  void Laser_Axes_Share_Zero()
  {
    QFETCH(double, deviation_start);
    QFETCH(double, deviation_end);
    QFETCH(double, angle_start);
    QFETCH(double, angle_end);
    QScopedPointer<TPlotPage> page(Plot_Charts::Results_Page(
        QStringLiteral("M"), Laser_Run(deviation_start, deviation_end, angle_start, angle_end)));
    QChart* chart = nullptr;
    for(QGraphicsItem* item : page->childItems())
    {
      chart = chart ? chart : dynamic_cast<QChart*>(item);
    }
    QVERIFY(chart);
    const QList<QAbstractAxis*> axes = chart->axes(Qt::Vertical);
    QCOMPARE(axes.size(), 2);
    const double values[2][2] = {{deviation_start * 1000.0, deviation_end * 1000.0},
                                 {angle_start * 1000.0, angle_end * 1000.0}};
    double heights[2];
    for(int a = 0; a < 2; ++a)
    {
      QCategoryAxis* axis = qobject_cast<QCategoryAxis*>(axes[a]);
      QVERIFY(axis);
      QVERIFY(axis->min() <= std::min(values[a][0], values[a][1]) &&
              axis->max() >= std::max(values[a][0], values[a][1]));
      heights[a] = -axis->min() / (axis->max() - axis->min());
    }
    QVERIFY2(std::fabs(heights[0] - heights[1]) < 1e-9,
             qPrintable(QStringLiteral("%1 against %2").arg(heights[0]).arg(heights[1])));
  }

  void Aligned_Axes_Keep_Few_Labels()
  {
    QScopedPointer<TPlotPage> page(Plot_Charts::Results_Page(QStringLiteral("M"), Laser_Runs()));
    int axes = 0;
    for(QGraphicsItem* item : page->childItems())
    {
      QChart* chart = dynamic_cast<QChart*>(item);
      if(!chart)
      {
        continue;
      }
      for(QAbstractAxis* axis : chart->axes(Qt::Vertical))
      {
        QCategoryAxis* ticks = qobject_cast<QCategoryAxis*>(axis);
        QVERIFY(ticks);
        // Zero on both axes (at the same height) still...
        QVERIFY(ticks->min() < 0.0 && ticks->max() > 0.0);
        // ...with labels that a chart 280 pixels high can print in full.
        QVERIFY2(ticks->count() <= 9, qPrintable(QString::number(ticks->count())));
        ++axes;
      }
    }
    QCOMPARE(axes, 10);
  }
};

QTEST_MAIN(TTestPlotPage)
#include "test_plotpage.moc"
