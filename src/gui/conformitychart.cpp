#include "src/gui/conformitychart.h"

#include <QPen>
#include <QtCharts/QChart>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <cmath>

#include "src/gui/charttick.h"
#include "src/gui/plotcharts.h"
#include "src/gui/plotpage.h"
#include "src/model/textformat.h"

using namespace QtCharts;

namespace
{
const QColor MPE_COLOUR(90, 90, 90);
const QColor BAR_COLOUR(150, 150, 150);
const QColor DECISION_COLOURS[3] = {QColor(44, 160, 44), QColor(214, 39, 40), QColor(255, 127, 14)};
// The banner's grounds, darker than the rings so that white text reads on them.
const QColor BANNER_COLOURS[3] = {QColor(46, 125, 50), QColor(183, 28, 28), QColor(200, 90, 0)};
// The ISO lines: blues, purples and greys, clear of the decisions' green, red and orange.
const QColor LINE_COLOURS[] = {QColor(31, 119, 180),  QColor(148, 103, 189), QColor(23, 190, 207),
                               QColor(127, 127, 127), QColor(140, 86, 75),   QColor(188, 189, 34),
                               QColor(227, 119, 194), QColor(0, 0, 128)};
const int LINE_COLOUR_COUNT = static_cast<int>(sizeof(LINE_COLOURS) / sizeof(LINE_COLOURS[0]));

QString Tip(const Conformity::TRow& row)
{
  QString tip =
      QStringLiteral("%1, row %2\nL = %3 mm\nE = %4 µm\nMPE = %5 µm")
          .arg(row.measurement)
          .arg(row.row)
          .arg(Text::Number(row.length, 0, 4), Text::Number(row.deviation, 0, 4), Text::Number(row.mpe, 0, 4));
  if(row.has_u)
  {
    tip += QStringLiteral("\nu = %1 µm").arg(Text::Number(row.u, 0, 4));
  }
  tip += QStringLiteral("\nU = %1 µm\n|E|/MPE = %2\n%3")
             .arg(Text::Number(row.expanded, 0, 4), Text::Number(row.utilisation, 0, 4),
                  Conformity::Decision_Name(row.decision));
  return tip;
}

void Fit(QValueAxis* axis, double minimum, double maximum)
{
  if(!(maximum > minimum))
  {
    minimum -= 1.0;
    maximum += 1.0;
  }
  const double step = Chart_Tick::Tick_Step(maximum - minimum);
  axis->setRange(std::floor(minimum / step) * step, std::ceil(maximum / step) * step);
  axis->setTickType(QValueAxis::TicksDynamic);
  axis->setTickAnchor(0.0);
  axis->setTickInterval(step);
}

void Attach(QChart* chart, QAbstractSeries* series, QAbstractAxis* x_axis, QAbstractAxis* y_axis, bool in_legend)
{
  chart->addSeries(series);
  series->attachAxis(x_axis);
  series->attachAxis(y_axis);
  if(!in_legend)
  {
    for(QLegendMarker* marker : chart->legend()->markers(series))
    {
      marker->setVisible(false);
    }
  }
}

QChart* Chart(TPlotPage* page, const Conformity::TReport& report, bool* infinite)
{
  QChart* chart = new QChart();
  chart->setTitle(QStringLiteral("ISO 10360-2: E against L"));
  QValueAxis* x_axis = new QValueAxis();
  x_axis->setTitleText(QStringLiteral("Nominal length L (mm)"));
  QValueAxis* y_axis = new QValueAxis();
  y_axis->setTitleText(QStringLiteral("Deviation E (µm)"));
  chart->addAxis(x_axis, Qt::AlignBottom);
  chart->addAxis(y_axis, Qt::AlignLeft);

  double longest = 0.0;
  for(const Conformity::TRow& row : report.rows)
  {
    longest = std::max(longest, row.length);
  }
  // The lines run to the end of the axis.
  longest = longest > 0.0 ? longest * 1.05 : 1.0;
  longest = std::ceil(longest / Chart_Tick::Tick_Step(longest)) * Chart_Tick::Tick_Step(longest);

  // ±MPE(L): straight up to the breakpoint A + L/K = B, flat after it.
  std::vector<double> lengths = {0.0};
  const Conformity::TMpe& mpe = report.options.mpe;
  const double breakpoint = (mpe.b - mpe.a) * mpe.k;
  if(mpe.has_b && breakpoint > 0.0 && breakpoint < longest)
  {
    lengths.push_back(breakpoint);
  }
  lengths.push_back(longest);
  double low = 0.0;
  double high = 0.0;
  for(const double sign : {1.0, -1.0})
  {
    QLineSeries* line = new QLineSeries();
    line->setName(QStringLiteral("±MPE(L)"));
    QPen pen(MPE_COLOUR);
    pen.setWidthF(2.0);
    pen.setStyle(Qt::DashLine);
    line->setPen(pen);
    for(const double length : lengths)
    {
      line->append(length, sign * mpe.At(length));
      low = std::min(low, sign * mpe.At(length));
      high = std::max(high, sign * mpe.At(length));
    }
    Attach(chart, line, x_axis, y_axis, sign > 0.0);
  }

  // U as a bar through each point; an infinite U has none.
  for(const Conformity::TRow& row : report.rows)
  {
    if(!std::isfinite(row.expanded))
    {
      *infinite = true;
      continue;
    }
    if(!(row.expanded > 0.0))
    {
      continue;
    }
    QLineSeries* bar = new QLineSeries();
    QPen pen(BAR_COLOUR);
    pen.setWidthF(1.5);
    bar->setPen(pen);
    bar->append(row.length, row.deviation - row.expanded);
    bar->append(row.length, row.deviation + row.expanded);
    low = std::min(low, row.deviation - row.expanded);
    high = std::max(high, row.deviation + row.expanded);
    Attach(chart, bar, x_axis, y_axis, false);
  }

  // One colour per ISO line, named in the legend; a fail or an inconclusive row gets a ring of
  // its decision's colour around it, so that both the line and the decision read at a glance.
  QStringList lines;
  for(const Conformity::TRow& row : report.rows)
  {
    if(!lines.contains(row.measurement))
    {
      lines.push_back(row.measurement);
    }
  }
  for(int line = 0; line < lines.size(); ++line)
  {
    QScatterSeries* points = new QScatterSeries();
    points->setName(lines[line]);
    points->setMarkerShape(line % 2 == 0 ? QScatterSeries::MarkerShapeCircle : QScatterSeries::MarkerShapeRectangle);
    points->setMarkerSize(9.0);
    const QColor colour = LINE_COLOURS[line % LINE_COLOUR_COUNT];
    points->setColor(colour);
    points->setBorderColor(colour.darker(130));
    std::vector<TPointInfo> info;
    for(const Conformity::TRow& row : report.rows)
    {
      if(row.measurement != lines[line])
      {
        continue;
      }
      points->append(row.length, row.deviation);
      low = std::min(low, row.deviation);
      high = std::max(high, row.deviation);
      TPointInfo point;
      point.tip = Tip(row);
      info.push_back(point);
    }
    Attach(chart, points, x_axis, y_axis, true);
    page->Set_Point_Info(points, info);
  }
  const Conformity::TDecision marked[2] = {Conformity::TDecision::FAIL, Conformity::TDecision::INCONCLUSIVE};
  for(int kind = 0; kind < 2; ++kind)
  {
    QScatterSeries* rings = new QScatterSeries();
    rings->setName(Conformity::Decision_Name(marked[kind]));
    rings->setMarkerShape(QScatterSeries::MarkerShapeCircle);
    rings->setMarkerSize(17.0);
    rings->setColor(Qt::transparent);
    QPen pen(DECISION_COLOURS[kind + 1]);
    pen.setWidthF(2.5);
    rings->setPen(pen);
    for(const Conformity::TRow& row : report.rows)
    {
      if(row.decision == marked[kind])
      {
        rings->append(row.length, row.deviation);
      }
    }
    Attach(chart, rings, x_axis, y_axis, rings->count() > 0);
  }
  Fit(x_axis, 0.0, longest);
  Fit(y_axis, low * 1.05, high * 1.05);
  chart->legend()->setAlignment(Qt::AlignBottom);
  return chart;
}
} // namespace

namespace Conformity_Chart
{
TPlotPage* Page(const Conformity::TReport& report)
{
  const QString title = QStringLiteral("Conformity: %1").arg(report.machine);
  if(report.rows.empty())
  {
    return Plot_Charts::Message_Page(title, QStringLiteral("No ISO 10360-2 rows: select ISO measurements to decide."));
  }
  TPlotPage* page = new TPlotPage();
  bool infinite = false;
  QChart* chart = Chart(page, report, &infinite);
  const QStringList lines = Conformity::Report_Lines(report);
  // The MPE, the set-up's U, where u comes from and the rule: the report's heading lines.
  // The decision first, in its colour; the summary text is the report's own.
  int decision = 0;
  for(const Conformity::TRow& row : report.rows)
  {
    decision = row.decision == Conformity::TDecision::FAIL                            ? 1
               : row.decision == Conformity::TDecision::INCONCLUSIVE && decision == 0 ? 2
                                                                                      : decision;
  }
  page->Set_Banner(Conformity::Summary(report), BANNER_COLOURS[decision]);
  QStringList notes;
  for(int index = 2; index < lines.size() && !lines[index].isEmpty(); ++index)
  {
    notes.push_back(lines[index]);
  }
  notes.push_back(QStringLiteral("Bars: ±U (k = 2) about E; rings: rows that fail or are inconclusive; hover a point "
                                 "for its numbers."));
  if(infinite)
  {
    notes.push_back(QStringLiteral("Rows whose reading depends on a direction identification did not determine have "
                                   "an infinite U and no bar."));
  }
  page->Set_Header(title, notes);
  page->Flow_Charts({chart}, 1);
  return page;
}
} // namespace Conformity_Chart
