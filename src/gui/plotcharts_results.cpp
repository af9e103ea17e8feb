// The page of the measurement results: a chart per kind of measurement (ball bar, ISO, laser, MCG).

#include "src/gui/plotcharts.h"

#include <QGraphicsRectItem>
#include <QGraphicsSimpleTextItem>
#include <QPen>
#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QBarSet>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QChart>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QPolarChart>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QStackedBarSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "src/gui/charttick.h"
#include "src/gui/plotcharts_parts.h"
#include "src/gui/plotpage.h"
using namespace QtCharts;
using namespace Plot_Parts;

namespace
{
// More rings than this are coloured along a ramp instead of the palette.
const int RING_LEGEND_ENTRIES = 8;
// The least height of an MCG chart: its circle, angle labels, title and legend.
const double POLAR_HEIGHT = 460.0;
const QColor OUTSIDE_COLOUR(214, 39, 40);

// A palette for measurements.
const QColor PALETTE[8] = {QColor(31, 119, 180), QColor(255, 127, 14),  QColor(44, 160, 44),   QColor(148, 103, 189),
                           QColor(140, 86, 75),  QColor(227, 119, 194), QColor(127, 127, 127), QColor(23, 190, 207)};

QColor Palette(int index)
{
  return PALETTE[index % 8];
}

QString Micro(double millimetres, const QString& unit)
{
  return QStringLiteral("%1 %2").arg(millimetres * MICRO, 0, 'f', 3).arg(unit);
}

QString Millimetres(double value)
{
  return QStringLiteral("%1 mm").arg(value, 0, 'f', 4);
}

// Open red rings over the points of rows that used the extrapolated map.
QScatterSeries* Outside_Series()
{
  QScatterSeries* series = new QScatterSeries();
  series->setName(QStringLiteral("Outside the volume"));
  series->setMarkerShape(QScatterSeries::MarkerShapeCircle);
  series->setMarkerSize(13.0);
  series->setBrush(Qt::NoBrush);
  QPen pen(OUTSIDE_COLOUR);
  pen.setWidthF(2.0);
  series->setPen(pen);
  return series;
}

// The rings go last, over the points; in the legend only when there are any.
void Attach_Outside(TPlotPage* page, QChart* chart, QScatterSeries* outside, const std::vector<TPointInfo>& info,
                    QAbstractAxis* x_axis, QAbstractAxis* y_axis)
{
  Attach(chart, outside, x_axis, y_axis);
  page->Set_Point_Info(outside, info);
  if(info.empty())
  {
    Hide_From_Legend(chart, outside);
  }
}

QString Row_Heading(const Plot_Series::TMeasurementResult& result, const Plot_Series::TResultRow& row)
{
  QString heading = result.type == Types::MEASUREMENT_BALLBAR
                        ? result.name
                        : QStringLiteral("%1, row %2").arg(result.name).arg(row.index + 1);
  if(row.outside)
  {
    heading += QStringLiteral("\noutside the machine volume");
  }
  return heading;
}

QString Length_Tip(const Plot_Series::TMeasurementResult& result, const Plot_Series::TResultRow& row)
{
  return QStringLiteral("%1\nNominal %2\nActual %3\nDeviation %4")
      .arg(Row_Heading(result, row), Millimetres(row.nominal), Millimetres(row.actual),
           Micro(row.deviation, MICROMETRES));
}

TPointInfo Row_Info(const Plot_Series::TMeasurementResult& result, const Plot_Series::TResultRow& row,
                    const QString& tip)
{
  TPointInfo info;
  info.tip = tip;
  info.id = result.id;
  info.index = row.index;
  return info;
}

// Ball bars: the deviation of each bar; bars outside the volume in red.
QChart* Ballbar_Chart(TPlotPage* page, const std::vector<const Plot_Series::TMeasurementResult*>& results)
{
  QChart* chart = new QChart();
  chart->setTitle(QStringLiteral("Ball bar: length deviation"));
  QBarSet* inside = new QBarSet(QStringLiteral("Deviation"));
  inside->setColor(Palette(0));
  QBarSet* outside = new QBarSet(QStringLiteral("Outside the volume"));
  outside->setColor(OUTSIDE_COLOUR);
  QStringList categories;
  std::vector<TPointInfo> info;
  double minimum = 0.0;
  double maximum = 0.0;
  bool any_outside = false;
  for(const Plot_Series::TMeasurementResult* result : results)
  {
    for(const Plot_Series::TResultRow& row : result->rows)
    {
      const double value = row.deviation * MICRO;
      inside->append(row.outside ? 0.0 : value);
      outside->append(row.outside ? value : 0.0);
      any_outside = any_outside || row.outside;
      minimum = std::min(minimum, value);
      maximum = std::max(maximum, value);
      // The axis would cut a name to the bar's width ("1 BallBar XY Di..."): the bars are
      // numbered, and the page's key and the tooltip have the whole name.
      categories.push_back(QString::number(categories.size() + 1));
      info.push_back(Row_Info(*result, row, Length_Tip(*result, row)));
    }
  }
  QStackedBarSeries* series = new QStackedBarSeries();
  series->setBarWidth(0.5);
  series->append(inside);
  if(any_outside)
  {
    series->append(outside);
  }
  else
  {
    delete outside;
    outside = nullptr;
  }
  QBarCategoryAxis* x_axis = new QBarCategoryAxis();
  x_axis->append(categories);
  x_axis->setTitleText(QStringLiteral("Ball bar (named in the key above)"));
  QValueAxis* y_axis = Value_Axis(QStringLiteral("Deviation (%1)").arg(MICROMETRES));
  chart->addAxis(x_axis, Qt::AlignBottom);
  chart->addAxis(y_axis, Qt::AlignLeft);
  Attach(chart, series, x_axis, y_axis);
  Fit_Range(y_axis, minimum, maximum, true);
  page->Set_Bar_Info(inside, info);
  if(outside)
  {
    page->Set_Bar_Info(outside, info);
  }
  Place_Legend(chart);
  if(!any_outside)
  {
    chart->legend()->setVisible(false);
  }
  return chart;
}

// ISO 10360-2: deviation against the nominal length, one line per measurement.
QChart* ISO_Chart(TPlotPage* page, const std::vector<const Plot_Series::TMeasurementResult*>& results)
{
  QChart* chart = new QChart();
  chart->setTitle(QStringLiteral("ISO 10360-2: length deviation"));
  QValueAxis* x_axis = Value_Axis(QStringLiteral("Nominal length (mm)"));
  QValueAxis* y_axis = Value_Axis(QStringLiteral("Deviation (%1)").arg(MICROMETRES));
  chart->addAxis(x_axis, Qt::AlignBottom);
  chart->addAxis(y_axis, Qt::AlignLeft);
  QScatterSeries* outside = Outside_Series();
  std::vector<TPointInfo> outside_info;
  double x_maximum = 0.0;
  double minimum = 0.0;
  double maximum = 0.0;
  int colour = 0;
  for(const Plot_Series::TMeasurementResult* result : results)
  {
    QLineSeries* series = Line(result->name, Palette(colour++));
    series->setPointsVisible(true);
    std::vector<TPointInfo> info;
    for(const Plot_Series::TResultRow& row : result->rows)
    {
      const double value = row.deviation * MICRO;
      series->append(row.nominal, value);
      info.push_back(Row_Info(*result, row, Length_Tip(*result, row)));
      if(row.outside)
      {
        outside->append(row.nominal, value);
        outside_info.push_back(info.back());
      }
      x_maximum = std::max(x_maximum, row.nominal);
      minimum = std::min(minimum, value);
      maximum = std::max(maximum, value);
    }
    Attach(chart, series, x_axis, y_axis);
    page->Set_Point_Info(series, info);
  }
  Attach_Outside(page, chart, outside, outside_info, x_axis, y_axis);
  Fit_Positions(x_axis, 0.0, x_maximum, true);
  Fit_Range(y_axis, minimum, maximum, true);
  Place_Legend(chart);
  return chart;
}

// Laser: deviations along and across the line (left axis) and the angles (right axis, dashed)
// against the position along the line. One chart per run: six curves of two runs in one chart
// could not be told apart.
QChart* Laser_Chart(TPlotPage* page, const Plot_Series::TMeasurementResult& result)
{
  QChart* chart = new QChart();
  chart->setTitle(QStringLiteral("Laser: %1").arg(result.name));
  QValueAxis* x_axis = Value_Axis(QStringLiteral("Position along the line (mm)"));
  QValueAxis* y_axis = Value_Axis(QStringLiteral("Deviation (%1)").arg(MICROMETRES));
  QValueAxis* angle_axis = Value_Axis(QStringLiteral("Angle (%1)").arg(MICRORADIANS));
  chart->addAxis(x_axis, Qt::AlignBottom);
  chart->addAxis(y_axis, Qt::AlignLeft);
  chart->addAxis(angle_axis, Qt::AlignRight);
  QScatterSeries* outside = Outside_Series();
  std::vector<TPointInfo> outside_info;

  // "XX (straightness in Y)", "Rc (roll, Rx)": what each reading of this run is on the machine.
  QStringList names = result.laser_names;
  if(names.size() != 5)
  {
    names = QStringList{QStringLiteral("XX"), QStringLiteral("YY"), QStringLiteral("Ra"), QStringLiteral("Rb"),
                        QStringLiteral("Rc")};
  }
  std::vector<TPointInfo> info;
  double x_minimum = 0.0;
  double x_maximum = 0.0;
  for(const Plot_Series::TResultRow& row : result.rows)
  {
    const Report::TLaserRow& laser = row.laser;
    const QString tip = QStringLiteral("%1\nPosition %2\nScale deviation %3\n%4 %5\n%6 %7\n%8 %9")
                            .arg(Row_Heading(result, row), Millimetres(laser.scale_nominal),
                                 Micro(laser.scale_deviation, MICROMETRES), names[0], Micro(laser.xx, MICROMETRES),
                                 names[1], Micro(laser.yy, MICROMETRES), names[2], Micro(laser.ra, MICRORADIANS)) +
                        QStringLiteral("\n%1 %2\n%3 %4")
                            .arg(names[3], Micro(laser.rb, MICRORADIANS), names[4], Micro(laser.rc, MICRORADIANS));
    info.push_back(Row_Info(result, row, tip));
    if(row.outside)
    {
      outside->append(laser.scale_nominal, laser.scale_deviation * MICRO);
      outside_info.push_back(info.back());
    }
    x_minimum = std::min(x_minimum, laser.scale_nominal);
    x_maximum = std::max(x_maximum, laser.scale_nominal);
  }

  // The legend beside a chart a third of the page wide: "XX (in Y)", the tooltip says it whole.
  const QString series_names[6] = {QStringLiteral("Scale"),
                                   QString(names[0]).replace(QStringLiteral("straightness in "), QStringLiteral("in ")),
                                   QString(names[1]).replace(QStringLiteral("straightness in "), QStringLiteral("in ")),
                                   names[2],
                                   names[3],
                                   names[4]};
  double minimum[2] = {0.0, 0.0};
  double maximum[2] = {0.0, 0.0};
  for(int quantity = 0; quantity < 6; ++quantity)
  {
    const bool angle = quantity >= 3;
    QLineSeries* series = Line(series_names[quantity], Palette(quantity), angle ? Qt::DashLine : Qt::SolidLine);
    series->setPointsVisible(quantity == 0);
    QVector<QPointF> points;
    for(const Plot_Series::TResultRow& row : result.rows)
    {
      const Report::TLaserRow& laser = row.laser;
      const double values[6] = {laser.scale_deviation, laser.xx, laser.yy, laser.ra, laser.rb, laser.rc};
      const double value = values[quantity] * MICRO;
      points.push_back(QPointF(laser.scale_nominal, value));
      minimum[angle ? 1 : 0] = std::min(minimum[angle ? 1 : 0], value);
      maximum[angle ? 1 : 0] = std::max(maximum[angle ? 1 : 0], value);
    }
    series->replace(points);
    Attach(chart, series, x_axis, angle ? angle_axis : y_axis);
    page->Set_Point_Info(series, info);
  }
  Attach_Outside(page, chart, outside, outside_info, x_axis, y_axis);
  Fit_Positions(x_axis, x_minimum, x_maximum, true);
  Fit_Range(y_axis, minimum[0], maximum[0], true);
  Fit_Range(angle_axis, minimum[1], maximum[1], true);
  Align_Zeros(y_axis, angle_axis);
  angle_axis->setGridLineVisible(false);
  Place_Legend(chart);
  // Beside the chart, one entry a line: below it the names of what each reading is on the
  // machine ("Rc (roll, Rx)") would be cut to a few letters.
  chart->legend()->setAlignment(Qt::AlignRight);
  return chart;
}

// A blue-to-red ramp over the rings when they are too many for a legend.
QColor Ramp(double t)
{
  const QColor low(49, 54, 149);
  const QColor high(215, 48, 39);
  return QColor::fromRgbF(low.redF() + (high.redF() - low.redF()) * t,
                          low.greenF() + (high.greenF() - low.greenF()) * t,
                          low.blueF() + (high.blueF() - low.blueF()) * t);
}

// QPolarChart runs clockwise from the top; the model's azimuth runs anticlockwise from +X. A
// chart angle of 90° - azimuth draws the plan view: +X on the right, +Y at the top.
double Chart_Angle(double azimuth)
{
  const double angle = std::fmod(90.0 - azimuth, 360.0);
  return angle < 0.0 ? angle + 360.0 : angle;
}

// The azimuths around the circle, written where they lie in the plan view; +X and +Y named.
QCategoryAxis* Azimuth_Axis()
{
  QCategoryAxis* axis = new QCategoryAxis();
  axis->setRange(0.0, 360.0);
  axis->setStartValue(0.0);
  axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
  for(int angle = 0; angle < 360; angle += 45)
  {
    const int azimuth = (450 - angle) % 360;
    const QString label = azimuth == 0    ? QStringLiteral("0° +X")
                          : azimuth == 90 ? QStringLiteral("+Y 90°")
                                          : QStringLiteral("%1°").arg(azimuth);
    axis->append(label, angle);
  }
  return axis;
}

// The chart angle along which the deviation labels stand when nothing is in the way: between
// +Y and 45°.
const double RADIAL_LABEL_ANGLE = 22.5;

// The value of a closed ring (points sorted by chart angle, 0 to 360) at a chart angle.
double Ring_Value(const QVector<QPointF>& ring, double angle)
{
  for(int i = 1; i < ring.size(); ++i)
  {
    if(angle <= ring[i].x())
    {
      const double width = ring[i].x() - ring[i - 1].x();
      const double t = width > 0.0 ? (angle - ring[i - 1].x()) / width : 0.0;
      return ring[i - 1].y() + (ring[i].y() - ring[i - 1].y()) * t;
    }
  }
  return ring.isEmpty() ? 0.0 : ring.back().y();
}

// The chart angle whose labels lie farthest from every ring: a label over a curve hides it.
double Clear_Label_Angle(const std::vector<QVector<QPointF>>& rings, const std::vector<double>& labels)
{
  double best_angle = RADIAL_LABEL_ANGLE;
  double best_gap = -1.0;
  // From 22.5° round, so that among equally clear angles the usual one wins.
  for(int step = 0; step < 48; ++step)
  {
    const double angle = std::fmod(RADIAL_LABEL_ANGLE + step * 7.5, 360.0);
    double gap = std::numeric_limits<double>::infinity();
    for(const QVector<QPointF>& ring : rings)
    {
      const double value = Ring_Value(ring, angle);
      for(const double label : labels)
      {
        gap = std::min(gap, std::fabs(value - label));
      }
    }
    if(gap > best_gap + 1e-12)
    {
      best_gap = gap;
      best_angle = angle;
    }
  }
  return best_angle;
}

// The deviation labels, over the rings on a white ground: QtCharts draws its own under the
// series, where the rings cross them. They stand along the chart angle where they are clearest
// of the rings.
void Overlay_Radial_Labels(QChart* chart, QCategoryAxis* radial, QXYSeries* anchor,
                           const std::vector<QVector<QPointF>>& rings)
{
  radial->setLabelsVisible(false);
  struct TLabel
  {
    QGraphicsRectItem* ground;
    QGraphicsSimpleTextItem* text;
    double value;
  };
  std::vector<TLabel> labels;
  for(const QString& text : radial->categoriesLabels())
  {
    const double value = radial->endValue(text);
    if(value < radial->min() - 1e-12 || value > radial->max() + 1e-12)
    {
      continue;
    }
    QGraphicsRectItem* ground = new QGraphicsRectItem(chart);
    ground->setBrush(QColor(255, 255, 255, 220));
    ground->setPen(Qt::NoPen);
    // Above the series.
    ground->setZValue(1000.0);
    QGraphicsSimpleTextItem* label = new QGraphicsSimpleTextItem(text, ground);
    label->setFont(Plot_Style::Font(Plot_Style::LABEL_PIXELS));
    label->setBrush(QColor(60, 60, 60));
    labels.push_back({ground, label, value});
  }
  std::vector<double> values;
  for(const TLabel& label : labels)
  {
    values.push_back(label.value);
  }
  const double angle = Clear_Label_Angle(rings, values);
  QObject::connect(chart, &QChart::plotAreaChanged, chart,
                   [chart, anchor, labels, angle]()
                   {
                     for(const TLabel& label : labels)
                     {
                       const QPointF at = chart->mapToPosition(QPointF(angle, label.value), anchor);
                       const QRectF box = label.text->boundingRect();
                       label.ground->setRect(QRectF(0.0, 0.0, box.width() + 4.0, box.height()));
                       label.ground->setPos(at - QPointF(box.width() / 2.0 + 2.0, box.height() / 2.0));
                       label.text->setPos(2.0, 0.0);
                     }
                   });
}

// MCG: the deviation around the circle of one measurement in plan view, one closed line per
// elevation ring, the rings named by their elevation.
QChart* MCG_Chart(TPlotPage* page, const Plot_Series::TMeasurementResult& result)
{
  // The rows come ring by ring; a ring ends where the nominal elevation changes.
  std::vector<std::pair<std::size_t, std::size_t>> rings;
  std::size_t first = 0;
  for(std::size_t i = 1; i <= result.rows.size(); ++i)
  {
    if(i == result.rows.size() || std::fabs(result.rows[i].elevation - result.rows[first].elevation) > 1e-9)
    {
      rings.push_back({first, i});
      first = i;
    }
  }

  QPolarChart* chart = new QPolarChart();
  chart->setTitle(QStringLiteral("MCG: %1").arg(result.name));
  QCategoryAxis* angle_axis = Azimuth_Axis();
  // The page's note says what the angles are: the circle keeps the room.
  angle_axis->setTitleVisible(false);
  QValueAxis* radial_axis = Value_Axis(QStringLiteral("Deviation (%1)").arg(MICROMETRES));
  chart->addAxis(angle_axis, QPolarChart::PolarOrientationAngular);
  chart->addAxis(radial_axis, QPolarChart::PolarOrientationRadial);
  // Drawn across the rings' labels in the middle of the circle; the legend names the unit.
  radial_axis->setTitleVisible(false);

  const bool palette = static_cast<int>(rings.size()) <= RING_LEGEND_ENTRIES;
  double minimum = 0.0;
  double maximum = 0.0;
  QScatterSeries* outside = Outside_Series();
  std::vector<TPointInfo> outside_info;
  QLineSeries* anchor = nullptr;
  std::vector<QVector<QPointF>> drawn;
  for(std::size_t r = 0; r < rings.size(); ++r)
  {
    const double t = rings.size() > 1 ? static_cast<double>(r) / static_cast<double>(rings.size() - 1) : 0.0;
    QLineSeries* series = Line(QStringLiteral("%1°").arg(result.rows[rings[r].first].elevation, 0, 'f', 1),
                               palette ? Palette(static_cast<int>(r)) : Ramp(t));
    anchor = anchor ? anchor : series;
    // Around the circle in the chart's angle, closed across 0°/360° where the line between the
    // last and the first point crosses it.
    std::vector<std::pair<double, std::size_t>> order;
    for(std::size_t i = rings[r].first; i < rings[r].second; ++i)
    {
      order.push_back({Chart_Angle(result.rows[i].azimuth), i});
    }
    std::sort(order.begin(), order.end());
    std::vector<TPointInfo> info;
    QVector<QPointF> points;
    for(const auto& [angle, i] : order)
    {
      const Plot_Series::TResultRow& row = result.rows[i];
      const double value = row.deviation * MICRO;
      points.push_back(QPointF(angle, value));
      const QString tip =
          QStringLiteral("%1\nElevation %2°, azimuth %3°\nArm %4, actual %5\nDeviation %6")
              .arg(Row_Heading(result, row))
              .arg(row.elevation, 0, 'f', 1)
              .arg(row.azimuth, 0, 'f', 1)
              .arg(Millimetres(row.nominal), Millimetres(row.actual), Micro(row.deviation, MICROMETRES));
      info.push_back(Row_Info(result, row, tip));
      if(row.outside)
      {
        outside->append(angle, value);
        outside_info.push_back(info.back());
      }
      minimum = std::min(minimum, value);
      maximum = std::max(maximum, value);
    }
    if(points.size() > 1)
    {
      const QPointF low = points.front();
      const QPointF high = points.back();
      const double gap = low.x() + 360.0 - high.x();
      const double at_zero = gap > 0.0 ? high.y() + (low.y() - high.y()) * (360.0 - high.x()) / gap : low.y();
      if(low.x() > 0.0)
      {
        points.prepend(QPointF(0.0, at_zero));
        info.insert(info.begin(), info.front());
      }
      points.push_back(QPointF(360.0, at_zero));
      info.push_back(info.front());
    }
    series->replace(points);
    drawn.push_back(points);
    Attach(chart, series, angle_axis, radial_axis);
    page->Set_Point_Info(series, info);
  }
  Attach_Outside(page, chart, outside, outside_info, angle_axis, radial_axis);
  Fit_Range(radial_axis, minimum, maximum, true);
  // Zero deviation, the circle the rings are read against, stronger than the grid.
  if(radial_axis->min() < 0.0 && radial_axis->max() > 0.0)
  {
    QLineSeries* zero = new QLineSeries();
    QPen pen(QColor(70, 70, 70));
    pen.setWidthF(1.6);
    zero->setPen(pen);
    for(int angle = 0; angle <= 360; angle += 5)
    {
      zero->append(angle, 0.0);
    }
    Attach(chart, zero, angle_axis, radial_axis);
    Hide_From_Legend(chart, zero);
  }
  if(anchor)
  {
    Overlay_Radial_Labels(chart, qobject_cast<QCategoryAxis*>(radial_axis), anchor, drawn);
  }
  Place_Legend(chart);
  return chart;
}

// Grid places of n charts: one, two side by side, two by two, then three per row, fewer on a
// narrow page. No chart spans two cells: a polar chart needs a cell about as high as wide.
void Place(TPlotPage* page, const std::vector<QChart*>& charts, bool laser)
{
  const std::size_t count = charts.size();
  // A laser chart carries its legend beside it: three across leave its curves a sliver.
  page->Flow_Charts(charts, count <= 1 ? 1 : (count <= 4 || laser ? 2 : 3));
}
} // namespace

namespace Plot_Charts
{
TPlotPage* Results_Page(const QString& machine_name, const std::vector<Plot_Series::TMeasurementResult>& results)
{
  std::vector<const Plot_Series::TMeasurementResult*> kinds[4];
  bool any_outside = false;
  for(const Plot_Series::TMeasurementResult& result : results)
  {
    if(result.rows.empty())
    {
      continue;
    }
    kinds[static_cast<int>(result.type)].push_back(&result);
    for(const Plot_Series::TResultRow& row : result.rows)
    {
      any_outside = any_outside || row.outside;
    }
  }
  const QString title = QStringLiteral("Measurement results: %1").arg(machine_name);
  if(kinds[Types::MEASUREMENT_BALLBAR].empty() && kinds[Types::MEASUREMENT_ISO].empty() &&
     kinds[Types::MEASUREMENT_LASER].empty() && kinds[Types::MEASUREMENT_MCG].empty())
  {
    return Message_Page(title, QStringLiteral("No simulated rows: select measurements to plot their results."));
  }

  TPlotPage* page = new TPlotPage();
  QStringList notes;
  // What the mouse does is said beside the view: a saved picture has no mouse.
  notes.push_back(QStringLiteral("Deviation = actual - nominal length, in µm."));
  QStringList bars;
  for(const Plot_Series::TMeasurementResult* result : kinds[Types::MEASUREMENT_BALLBAR])
  {
    for(std::size_t row = 0; row < result->rows.size(); ++row)
    {
      // No-break spaces: a wrapped key breaks between the bars, not inside a name.
      bars.push_back(
          QStringLiteral("%1\u00a0%2").arg(bars.size() + 1).arg(QString(result->name).replace(' ', QChar(0x00a0))));
    }
  }
  if(!bars.isEmpty())
  {
    notes.push_back(QStringLiteral("Ball bars: %1.").arg(bars.join(QStringLiteral(",  "))));
  }
  if(!kinds[Types::MEASUREMENT_LASER].empty())
  {
    notes.push_back(QStringLiteral("Laser: deviations along (scale) and across (XX, YY: straightness in the machine "
                                   "axis named) the line on the left axis, the angles Ra, Rb, Rc (dashed; the "
                                   "machine's rotation named) on the right axis, relative to the start."));
  }
  if(any_outside)
  {
    notes.push_back(QStringLiteral("Red: rows with a point outside the machine volume (extrapolated errors)."));
  }
  std::vector<QChart*> charts;
  if(!kinds[Types::MEASUREMENT_BALLBAR].empty())
  {
    charts.push_back(Ballbar_Chart(page, kinds[Types::MEASUREMENT_BALLBAR]));
  }
  if(!kinds[Types::MEASUREMENT_ISO].empty())
  {
    charts.push_back(ISO_Chart(page, kinds[Types::MEASUREMENT_ISO]));
  }
  for(const Plot_Series::TMeasurementResult* result : kinds[Types::MEASUREMENT_LASER])
  {
    charts.push_back(Laser_Chart(page, *result));
  }
  std::vector<QChart*> polar;
  for(const Plot_Series::TMeasurementResult* result : kinds[Types::MEASUREMENT_MCG])
  {
    polar.push_back(MCG_Chart(page, *result));
    charts.push_back(polar.back());
  }
  if(!polar.empty())
  {
    notes.push_back(QStringLiteral("MCG: plan view, azimuth 0° at +X, anticlockwise; deviation in µm from the centre "
                                   "outwards, one line per elevation ring."));
  }
  page->Set_Header(title, notes);
  Place(page, charts, !kinds[Types::MEASUREMENT_LASER].empty());
  // Room for a circle of about 300 pixels across, with its labels and legend.
  for(QChart* chart : polar)
  {
    chart->setMinimumSize(TPlotPage::FLOW_CELL_WIDTH, POLAR_HEIGHT);
  }
  return page;
}
} // namespace Plot_Charts
