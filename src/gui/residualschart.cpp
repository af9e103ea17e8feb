#include "src/gui/residualschart.h"

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

using namespace QtCharts;

namespace
{
const QColor FILE_COLOURS[] = {QColor(31, 119, 180),  QColor(255, 127, 14), QColor(44, 160, 44),
                               QColor(148, 103, 189), QColor(140, 86, 75),  QColor(227, 119, 194),
                               QColor(127, 127, 127), QColor(188, 189, 34), QColor(23, 190, 207)};
const int FILE_COLOUR_COUNT = static_cast<int>(sizeof(FILE_COLOURS) / sizeof(FILE_COLOURS[0]));

void Fit(QValueAxis* axis, double minimum, double maximum)
{
  const double step = Chart_Tick::Tick_Step(maximum - minimum);
  axis->setRange(std::floor(minimum / step) * step, std::ceil(maximum / step) * step);
  axis->setTickType(QValueAxis::TicksDynamic);
  axis->setTickAnchor(0.0);
  axis->setTickInterval(step);
}
} // namespace

namespace Residuals_Chart
{
TPlotPage* Page(const Identify::TResult& result, double outlier_limit)
{
  const QString title = QStringLiteral("Residuals: %1").arg(result.machine_name);
  if(result.residuals.empty())
  {
    return Plot_Charts::Message_Page(title, QStringLiteral("No fit yet: press Identify."));
  }
  QChart* chart = new QChart();
  chart->setTitle(QStringLiteral("Residual / u of every reading used"));
  QValueAxis* x_axis = new QValueAxis();
  x_axis->setTitleText(QStringLiteral("Reading, file by file in the order of the file"));
  x_axis->setLabelFormat(QStringLiteral("%d"));
  QValueAxis* y_axis = new QValueAxis();
  y_axis->setTitleText(QStringLiteral("Residual / u"));
  chart->addAxis(x_axis, Qt::AlignBottom);
  chart->addAxis(y_axis, Qt::AlignLeft);

  // One line per file: points joined in reading order, so that a missing error reads as a
  // curve and a gross error as a spike.
  double low = -outlier_limit;
  double high = outlier_limit;
  int index = 0;
  int file_index = 0;
  QStringList files;
  std::size_t first = 0;
  while(first < result.residuals.size())
  {
    std::size_t end = first;
    while(end < result.residuals.size() && result.residuals[end].file == result.residuals[first].file)
    {
      ++end;
    }
    // Numbered in the legend, named in the page's key: file names are too long for a legend
    // under a chart half the dialog wide.
    QLineSeries* series = new QLineSeries();
    series->setName(QString::number(file_index + 1));
    files.push_back(QStringLiteral("%1\u00a0%2")
                        .arg(file_index + 1)
                        .arg(QString(result.residuals[first].file).replace(QLatin1Char(' '), QChar(0x00a0))));
    QPen pen(FILE_COLOURS[file_index % FILE_COLOUR_COUNT]);
    pen.setWidthF(1.2);
    series->setPen(pen);
    series->setPointsVisible(true);
    for(std::size_t i = first; i < end; ++i)
    {
      const double value = result.residuals[i].normalized;
      series->append(++index, value);
      low = std::min(low, value);
      high = std::max(high, value);
    }
    chart->addSeries(series);
    series->attachAxis(x_axis);
    series->attachAxis(y_axis);
    ++file_index;
    first = end;
  }
  // Ticks on whole readings.
  const double step = std::max(1.0, std::round(Chart_Tick::Tick_Step(index + 1.0)));
  x_axis->setRange(0.0, std::ceil((index + 1.0) / step) * step);
  x_axis->setTickType(QValueAxis::TicksDynamic);
  x_axis->setTickAnchor(0.0);
  x_axis->setTickInterval(step);
  for(const double sign : {1.0, -1.0})
  {
    QLineSeries* limit = new QLineSeries();
    limit->setName(QStringLiteral("±%1 u").arg(outlier_limit));
    QPen pen(QColor(200, 40, 40));
    pen.setStyle(Qt::DashLine);
    pen.setWidthF(1.5);
    limit->setPen(pen);
    limit->append(0.0, sign * outlier_limit);
    limit->append(x_axis->max(), sign * outlier_limit);
    chart->addSeries(limit);
    limit->attachAxis(x_axis);
    limit->attachAxis(y_axis);
    if(sign < 0.0)
    {
      for(QLegendMarker* marker : chart->legend()->markers(limit))
      {
        marker->setVisible(false);
      }
    }
  }

  Fit(y_axis, low * 1.05, high * 1.05);
  chart->legend()->setAlignment(Qt::AlignBottom);

  TPlotPage* page = new TPlotPage();
  page->Set_Header(title, {QStringLiteral("Residual / u, RMS after the fit: %1; %2 readings.")
                               .arg(result.normalized_rms_after, 0, 'f', 3)
                               .arg(result.residuals.size()),
                           QStringLiteral("A curve within one file: an error the model misses; a spike beyond the "
                                          "dashed lines (±%1 u, the outlier limit): an outlier (listed in the report).")
                               .arg(outlier_limit),
                           QStringLiteral("Files: %1.").arg(files.join(QStringLiteral(",  ")))});
  page->Flow_Charts({chart}, 1);
  return page;
}
} // namespace Residuals_Chart
