// The chart pages: the machine's errors, the sensitivity table and the identified errors, with the
// axes and legends that every page shares; the results page is in plotcharts_results.cpp.

#include "src/gui/plotcharts.h"

#include <QPen>
#include <QtCharts/QAreaSeries>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QChart>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <cmath>
#include <vector>

#include "src/gui/charttick.h"
#include "src/gui/plotcharts_parts.h"
#include "src/gui/plotpage.h"
#include "src/gui/sensitivitytable.h"
#include "src/model/evaluation.h"
using namespace QtCharts;
using namespace Plot_Parts;

namespace
{
// Legends with more entries go beside the plot, where they can stack.
const int LEGEND_BELOW_ENTRIES = 6;
const char* const HIDDEN_MARKER = "varlume_hidden";
const char* const TICK_STEP = "varlume_tick_step";

// One colour per component (x, y, z).
const QColor COMPONENT_COLOURS[3] = {QColor(31, 119, 180), QColor(255, 127, 14), QColor(44, 160, 44)};

// Labels on multiples of step, written from the multiple's index, so that no label reads
// 5.6e-17 where a sum of steps missed 0. The axis is a QCategoryAxis: its labels are ours.
void Set_Ticks(QValueAxis* axis, double step)
{
  QCategoryAxis* ticks = qobject_cast<QCategoryAxis*>(axis);
  if(!ticks || !(step > 0.0))
  {
    return;
  }
  ticks->setProperty(TICK_STEP, step);
  Chart_Tick::Set_Labels(ticks, step);
}

// The range of an axis that holds [minimum, maximum] (0 among them) with its zero at height
// (0 at the bottom, 1 at the top), stretched on one side only; false when no range can.
bool Zero_At(double minimum, double maximum, double height, double* low, double* high)
{
  const double below = -minimum;
  const double above = maximum;
  if(height <= 0.0 || height >= 1.0)
  {
    *low = height <= 0.0 ? 0.0 : minimum;
    *high = height <= 0.0 ? maximum : 0.0;
    return height <= 0.0 ? !(below > 0.0) : !(above > 0.0);
  }
  *low = minimum;
  *high = maximum;
  if(below <= height * (below + above))
  {
    *low = -height * above / (1.0 - height);
  }
  else
  {
    *high = below * (1.0 - height) / height;
  }
  return true;
}
} // namespace

namespace Plot_Parts
{
void Fit_Range(QValueAxis* axis, double minimum, double maximum, bool with_zero)
{
  if(with_zero)
  {
    minimum = std::min(minimum, 0.0);
    maximum = std::max(maximum, 0.0);
  }
  if(!(maximum >= minimum))
  {
    minimum = -1.0;
    maximum = 1.0;
  }
  if(maximum - minimum < 1e-9)
  {
    const double half = std::max(std::fabs(maximum) * 0.1, 1.0);
    minimum -= half;
    maximum += half;
  }
  const double step = Chart_Tick::Tick_Step(maximum - minimum);
  // Room on a side only where a value lies, not beyond a zero that is only there for reference.
  const double low = std::floor(minimum / step - (minimum < 0.0 || !with_zero ? 0.02 : 0.0)) * step;
  const double high = std::ceil(maximum / step + (maximum > 0.0 || !with_zero ? 0.02 : 0.0)) * step;
  axis->setRange(low, high);
  Set_Ticks(axis, step);
}

void Fit_Positions(QValueAxis* axis, double minimum, double maximum, bool room)
{
  if(!(maximum > minimum))
  {
    Fit_Range(axis, minimum, maximum, false);
    return;
  }
  const double margin = room ? 0.02 * (maximum - minimum) : 0.0;
  axis->setRange(minimum - margin, maximum + margin);
  Set_Ticks(axis, Chart_Tick::Tick_Step((maximum - minimum) * 1.25));
}

void Align_Zeros(QValueAxis* left, QValueAxis* right)
{
  QValueAxis* const axes[2] = {left, right};
  for(const QValueAxis* axis : axes)
  {
    if(!(axis->min() <= 0.0 && axis->max() >= 0.0 && axis->max() > axis->min()))
    {
      return;
    }
  }
  std::vector<double> heights;
  for(const QValueAxis* axis : axes)
  {
    heights.push_back(-axis->min() / (axis->max() - axis->min()));
  }
  for(int k = 1; k < 20; ++k)
  {
    heights.push_back(k / 20.0);
  }
  double best_height = -1.0;
  double best_cost = 0.0;
  for(const double height : heights)
  {
    double cost = 0.0;
    bool possible = true;
    for(const QValueAxis* axis : axes)
    {
      double low = 0.0;
      double high = 0.0;
      possible = possible && Zero_At(axis->min(), axis->max(), height, &low, &high);
      cost += (high - low) / (axis->max() - axis->min());
    }
    if(possible && (best_height < 0.0 || cost < best_cost - 1e-12))
    {
      best_height = height;
      best_cost = cost;
    }
  }
  if(best_height < 0.0)
  {
    return;
  }
  for(QValueAxis* axis : axes)
  {
    double low = 0.0;
    double high = 0.0;
    Zero_At(axis->min(), axis->max(), best_height, &low, &high);
    if(low == axis->min() && high == axis->max())
    {
      continue;
    }
    axis->setRange(low, high);
    // The longer range keeps about as many ticks as before: with the old step a small chart
    // would have to cut its labels to "...".
    Set_Ticks(axis, std::max(axis->property(TICK_STEP).toDouble(), Chart_Tick::Tick_Step(high - low)));
  }
}

QValueAxis* Value_Axis(const QString& title)
{
  QCategoryAxis* axis = new QCategoryAxis();
  axis->setTitleText(title);
  axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
  return axis;
}

QLineSeries* Line(const QString& name, const QColor& colour, Qt::PenStyle style)
{
  QLineSeries* series = new QLineSeries();
  series->setName(name);
  QPen pen(colour);
  pen.setWidthF(2.0);
  pen.setStyle(style);
  series->setPen(pen);
  return series;
}

void Attach(QChart* chart, QAbstractSeries* series, QAbstractAxis* x_axis, QAbstractAxis* y_axis)
{
  chart->addSeries(series);
  series->attachAxis(x_axis);
  series->attachAxis(y_axis);
}

void Hide_From_Legend(QChart* chart, QAbstractSeries* series)
{
  for(QLegendMarker* marker : chart->legend()->markers(series))
  {
    marker->setVisible(false);
    // isVisible() says false for every marker until the chart is shown: remember it here.
    marker->setProperty(HIDDEN_MARKER, true);
  }
}

void Place_Legend(QChart* chart)
{
  int entries = 0;
  for(QLegendMarker* marker : chart->legend()->markers())
  {
    entries += marker->property(HIDDEN_MARKER).toBool() ? 0 : 1;
  }
  chart->legend()->setVisible(entries > 0);
  chart->legend()->setAlignment(entries > LEGEND_BELOW_ENTRIES ? Qt::AlignRight : Qt::AlignBottom);
}
} // namespace Plot_Parts

namespace
{
// The title of an axis's linear chart: the component along the axis is its scale.
QString Linear_Title(int axis)
{
  switch(axis)
  {
  case AXIS_X:
    return QStringLiteral("X axis: scale Lx, straightness Ly, Lz");
  case AXIS_Y:
    return QStringLiteral("Y axis: scale Ly, straightness Lx, Lz");
  default:
    break;
  }
  return QStringLiteral("Z axis: scale Lz, straightness Lx, Ly");
}

QChart* Axis_Chart(TPlotPage* page, const Plot_Series::TAxisErrors& axis, bool angular)
{
  const QString name = Plot_Series::Axis_Name(axis.axis);
  QChart* chart = new QChart();
  chart->setTitle(angular ? QStringLiteral("%1 axis: angular errors Rx, Ry, Rz").arg(name) : Linear_Title(axis.axis));
  QValueAxis* x_axis = Value_Axis(QStringLiteral("%1 position (mm)").arg(name));
  QValueAxis* y_axis = Value_Axis(angular ? QStringLiteral("Angle (%1)").arg(MICRORADIANS)
                                          : QStringLiteral("Error (%1)").arg(MICROMETRES));
  chart->addAxis(x_axis, Qt::AlignBottom);
  chart->addAxis(y_axis, Qt::AlignLeft);

  double minimum = 0.0;
  double maximum = 0.0;
  for(int component = 0; component < 3; ++component)
  {
    const QString series_name =
        QStringLiteral("%1%2").arg(QLatin1Char(angular ? 'R' : 'L')).arg(QLatin1Char("xyz"[component]));
    QLineSeries* series = Line(series_name, COMPONENT_COLOURS[component]);
    std::vector<TPointInfo> info;
    QVector<QPointF> points;
    points.reserve(static_cast<int>(axis.samples.size()));
    for(const Plot_Series::TErrorSample& sample : axis.samples)
    {
      const TVector3& values = angular ? sample.angular : sample.linear;
      const double value = (component == 0 ? values.x : (component == 1 ? values.y : values.z)) * MICRO;
      points.push_back(QPointF(sample.position, value));
      minimum = std::min(minimum, value);
      maximum = std::max(maximum, value);
      TPointInfo point;
      point.tip = QStringLiteral("%1 %2 mm\n%3 %4 %5")
                      .arg(name)
                      .arg(sample.position, 0, 'f', 1)
                      .arg(series_name)
                      .arg(value, 0, 'f', 3)
                      .arg(angular ? MICRORADIANS : MICROMETRES);
      info.push_back(point);
    }
    series->replace(points);
    Attach(chart, series, x_axis, y_axis);
    page->Set_Point_Info(series, info);
  }
  if(!axis.samples.empty())
  {
    Fit_Positions(x_axis, axis.samples.front().position, axis.samples.back().position);
  }
  Fit_Range(y_axis, minimum, maximum, true);
  Place_Legend(chart);
  return chart;
}

QStringList Notes_Lines(const Plot_Series::TMachineNotes& notes)
{
  QStringList lines;
  QStringList squareness;
  for(const Plot_Series::TMachineNotes::TSquareness& entry : notes.squareness)
  {
    // No-break spaces: a wrapped line breaks between the entries, not inside one.
    squareness.push_back(QStringLiteral("%1\u00a0%2\u00a0mm/m").arg(entry.name).arg(entry.value, 0, 'f', 4));
  }
  if(!squareness.isEmpty())
  {
    lines.push_back(QStringLiteral("Squareness: %1").arg(squareness.join(QStringLiteral(",  "))));
  }
  if(notes.has_deflection)
  {
    lines.push_back(QStringLiteral("Tower deflection: %1\u00a0mm/m, about the %2 axis")
                        .arg(notes.deflection, 0, 'f', 4)
                        .arg(notes.deflection_axis));
  }
  lines.push_back(QStringLiteral("Values of the Machine Errors tab, without sign options; lengths in µm, angles in "
                                 "µrad (1 µrad = 0.001 mm/m)."));
  return lines;
}
} // namespace

namespace Plot_Charts
{
TPlotPage* Errors_Page(const QString& machine_name, const std::vector<Plot_Series::TAxisErrors>& axes,
                       const Plot_Series::TMachineNotes& notes)
{
  if(axes.empty())
  {
    return Message_Page(QStringLiteral("Machine errors: %1").arg(machine_name),
                        QStringLiteral("The machine has no error tables."));
  }
  TPlotPage* page = new TPlotPage();
  page->Set_Header(QStringLiteral("Machine errors: %1").arg(machine_name), Notes_Lines(notes));
  // Per axis its two charts side by side, or one below the other on a narrow page.
  std::vector<QChart*> charts;
  for(const Plot_Series::TAxisErrors& axis : axes)
  {
    charts.push_back(Axis_Chart(page, axis, false));
    charts.push_back(Axis_Chart(page, axis, true));
  }
  page->Flow_Charts(charts, 2);
  return page;
}

TPlotPage* Sensitivity_Page(const QString& machine_name, const Sensitivity::TResult& result)
{
  const std::vector<Sensitivity::TRow>& rows = result.rows;
  const bool per_unit = result.scale == Sensitivity::TScale::PER_UNIT;
  const QString title = per_unit ? QStringLiteral("Sensitivity per unit: %1").arg(machine_name)
                                 : QStringLiteral("Sensitivity: %1").arg(machine_name);
  if(rows.empty())
  {
    return Message_Page(title, QStringLiteral("The machine has no enabled parameter that the evaluation applies."));
  }
  TPlotPage* page = new TPlotPage();
  page->Set_Header(title,
                   {per_unit ? QStringLiteral("Largest |actual - nominal length| over all rows of each test, in µm, "
                                              "with one unit of each parameter applied alone to a perfect machine: "
                                              "scale or angle growing with the position to 1 µm or 1 µrad at the end "
                                              "of travel farther from zero; 1 µrad of squareness or deflection.")
                             : QStringLiteral("Largest |actual - nominal length| over all rows of each test, in µm, "
                                              "with each parameter applied alone to a perfect machine."),
                    QStringLiteral("Laser straightness (after each run's line is taken off) and angle: the "
                                   "largest readings relative to the start; rows outside the machine volume "
                                   "are left out of these two columns."),
                    QStringLiteral("Colour on a logarithmic scale, angles on their own; -- : no measurement of that "
                                   "kind.")});
  page->Add_Item(new TSensitivityTable(rows), 0, 0);
  return page;
}

TPlotPage* Message_Page(const QString& title, const QString& text)
{
  TPlotPage* page = new TPlotPage();
  page->Set_Header(title, {text});
  // Fills the rest of the page, so that the header stays at the top.
  QGraphicsWidget* filler = new QGraphicsWidget();
  filler->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  page->Add_Item(filler, 0, 0);
  return page;
}

TPlotPage* Identified_Page(const QString& machine_name, const std::vector<Identify::TFunctionBand>& bands,
                           const QStringList& notes)
{
  const QString title = QStringLiteral("Identified errors: %1").arg(machine_name);
  if(bands.empty())
  {
    return Message_Page(title, QStringLiteral("The machine has no identified error function."));
  }
  TPlotPage* page = new TPlotPage();
  QStringList lines = notes;
  lines.push_back(QStringLiteral("Fitted error functions with their band of ±2u (k = 2); dashed: not identified (the "
                                 "starting machine's values where the readings do not tell); no sign options."));
  page->Set_Header(title, lines);
  std::vector<QChart*> charts;
  for(const Identify::TFunctionBand& band : bands)
  {
    TMachineLibrary::TMapErrorItem item;
    item.axis = band.axis;
    item.parameter = band.parameter;
    const bool scale = band.parameter == PARAMETER_SCALE;
    const QString unit = scale ? MICROMETRES : MICRORADIANS;
    const QString name = Evaluation::Item_Label(item);
    QChart* chart = new QChart();
    chart->setTitle(band.u.empty() ? QStringLiteral("%1 (not identified)").arg(name) : name);
    QValueAxis* x_axis = Value_Axis(QStringLiteral("%1 position (mm)").arg(Plot_Series::Axis_Name(band.axis)));
    QValueAxis* y_axis =
        Value_Axis(QStringLiteral("%1 (%2)").arg(scale ? QStringLiteral("Error") : QStringLiteral("Angle"), unit));
    chart->addAxis(x_axis, Qt::AlignBottom);
    chart->addAxis(y_axis, Qt::AlignLeft);
    QLineSeries* fitted =
        Line(QStringLiteral("fitted"), COMPONENT_COLOURS[0], band.u.empty() ? Qt::DashLine : Qt::SolidLine);
    QLineSeries* upper = new QLineSeries();
    QLineSeries* lower = new QLineSeries();
    std::vector<TPointInfo> info;
    double minimum = 0.0;
    double maximum = 0.0;
    for(std::size_t index = 0; index < band.positions.size(); ++index)
    {
      const double value = band.values[index] * MICRO;
      const double expanded = band.u.empty() ? 0.0 : 2.0 * band.u[index] * MICRO;
      fitted->append(band.positions[index], value);
      upper->append(band.positions[index], value + expanded);
      lower->append(band.positions[index], value - expanded);
      minimum = std::min(minimum, value - expanded);
      maximum = std::max(maximum, value + expanded);
      TPointInfo point;
      point.tip = band.u.empty() ? QStringLiteral("%1 mm\n%2 %3 (not identified)")
                                       .arg(band.positions[index], 0, 'f', 1)
                                       .arg(value, 0, 'f', 3)
                                       .arg(unit)
                                 : QStringLiteral("%1 mm\n%2 ± %3 %4 (k = 2)")
                                       .arg(band.positions[index], 0, 'f', 1)
                                       .arg(value, 0, 'f', 3)
                                       .arg(expanded, 0, 'f', 3)
                                       .arg(unit);
      info.push_back(point);
    }
    if(!band.u.empty())
    {
      QAreaSeries* area = new QAreaSeries(upper, lower);
      area->setName(QStringLiteral("±2u"));
      QColor fill = COMPONENT_COLOURS[0];
      fill.setAlpha(60);
      area->setBrush(fill);
      area->setPen(Qt::NoPen);
      Attach(chart, area, x_axis, y_axis);
    }
    else
    {
      delete upper;
      delete lower;
    }
    Attach(chart, fitted, x_axis, y_axis);
    page->Set_Point_Info(fitted, info);
    if(!band.positions.empty())
    {
      Fit_Positions(x_axis, std::min(band.positions.front(), band.positions.back()),
                    std::max(band.positions.front(), band.positions.back()));
    }
    Fit_Range(y_axis, minimum, maximum, true);
    Place_Legend(chart);
    charts.push_back(chart);
  }
  page->Flow_Charts(charts, 3);
  return page;
}
} // namespace Plot_Charts
