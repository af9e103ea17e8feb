#include "src/gui/compensationchart.h"

#include <QtCharts/QChart>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>

#include "src/gui/plotcharts.h"
#include "src/gui/plotcharts_parts.h"
#include "src/gui/plotpage.h"
#include "src/model/plotseries.h"
#include "src/model/textformat.h"

using namespace QtCharts;

namespace
{
const QColor BEFORE_COLOUR(120, 120, 120);
// One colour and marker per form, in the order of Compensation::All_Forms().
const QColor FORM_COLOURS[5] = {QColor(31, 119, 180), QColor(44, 160, 44), QColor(148, 103, 189), QColor(255, 127, 14),
                                QColor(214, 39, 40)};
const QScatterSeries::MarkerShape FORM_SHAPES[5] = {
    QScatterSeries::MarkerShapeCircle, QScatterSeries::MarkerShapeRectangle, QScatterSeries::MarkerShapeCircle,
    QScatterSeries::MarkerShapeRectangle, QScatterSeries::MarkerShapeCircle};

int Form_Index(Compensation::TForm form)
{
  const std::vector<Compensation::TForm>& forms = Compensation::All_Forms();
  return static_cast<int>(std::find(forms.begin(), forms.end(), form) - forms.begin());
}

QString Tip(const QString& form, const Compensation::TRow& row)
{
  return QStringLiteral("%1, row %2\nbefore: %3 µm\nafter %4: %5 µm")
      .arg(row.measurement)
      .arg(row.row)
      .arg(Text::Number(row.deviation[0], 0, 4), form, Text::Number(row.deviation[1], 0, 4));
}

// The chart of one measurement: the rows before as a grey line, after each form as markers.
QChart* Measurement_Chart(TPlotPage* page, const Compensation::TResult& result, const QString& measurement)
{
  QChart* chart = new QChart();
  chart->setTitle(measurement);
  QValueAxis* x_axis = Plot_Parts::Value_Axis(QStringLiteral("Row"));
  QValueAxis* y_axis = Plot_Parts::Value_Axis(QStringLiteral("Deviation (µm)"));
  chart->addAxis(x_axis, Qt::AlignBottom);
  chart->addAxis(y_axis, Qt::AlignLeft);
  double low = 0.0;
  double high = 0.0;
  int rows = 1;
  QLineSeries* before = Plot_Parts::Line(QStringLiteral("before"), BEFORE_COLOUR);
  before->setPointsVisible(true);
  for(const Compensation::TFormResult& form : result.forms)
  {
    const int index = Form_Index(form.form);
    QScatterSeries* after = new QScatterSeries();
    after->setName(Compensation::Form_Name(form.form));
    after->setMarkerShape(FORM_SHAPES[index]);
    after->setMarkerSize(7.0);
    after->setColor(FORM_COLOURS[index]);
    after->setBorderColor(FORM_COLOURS[index].darker(130));
    std::vector<TPointInfo> info;
    for(const Compensation::TRow& row : form.rows)
    {
      if(row.measurement != measurement)
      {
        continue;
      }
      if(&form == &result.forms.front())
      {
        before->append(row.row, row.deviation[0]);
      }
      after->append(row.row, row.deviation[1]);
      low = std::min({low, row.deviation[0], row.deviation[1]});
      high = std::max({high, row.deviation[0], row.deviation[1]});
      rows = std::max(rows, row.row);
      TPointInfo point;
      point.tip = Tip(Compensation::Form_Name(form.form), row);
      info.push_back(point);
    }
    if(&form == &result.forms.front())
    {
      Plot_Parts::Attach(chart, before, x_axis, y_axis);
    }
    Plot_Parts::Attach(chart, after, x_axis, y_axis);
    page->Set_Point_Info(after, info);
  }
  // A single row (a ball bar) stands in the middle of its axis.
  Plot_Parts::Fit_Positions(x_axis, rows > 1 ? 1.0 : 0.0, rows > 1 ? rows : 2.0, rows > 1);
  Plot_Parts::Fit_Range(y_axis, low, high, true);
  Plot_Parts::Place_Legend(chart);
  return chart;
}
} // namespace

namespace Compensation_Chart
{
TPlotPage* Page(const Compensation::TResult& result)
{
  const QString title = QStringLiteral("Compensation: %1 on %2").arg(result.source, result.against);
  if(result.forms.empty() || result.forms.front().measurements.empty())
  {
    return Plot_Charts::Message_Page(title, QStringLiteral("No measurement: select the tests to simulate before and "
                                                           "after correction."));
  }
  TPlotPage* page = new TPlotPage();
  QStringList notes = {QStringLiteral("Deviation of every row before correction (grey line) and after each form of "
                                      "correction (markers named by the form), µm; hover a marker for its numbers.")};
  for(const Compensation::TFormResult& form : result.forms)
  {
    QString line = QStringLiteral("%1: check grid largest |E| %2 µm before, %3 µm after")
                       .arg(Compensation::Form_Name(form.form), Text::Number(form.grid_largest[0], 0, 3),
                            Text::Number(form.grid_largest[1], 0, 3));
    if(form.has_u)
    {
      line += QStringLiteral(" (u %1 µm, k = 1)").arg(Text::Number(form.u, 0, 3));
    }
    if(form.verdict != Compensation::TVerdict::NO_ISO)
    {
      line += QStringLiteral("; after correction: %1").arg(Compensation::Verdict_Text(form.verdict));
    }
    notes.push_back(line);
  }
  std::vector<QChart*> charts;
  for(const Compensation::TMeasurementSummary& summary : result.forms.front().measurements)
  {
    charts.push_back(Measurement_Chart(page, result, summary.measurement));
  }
  page->Set_Header(title, notes);
  page->Flow_Charts(charts, 2);
  return page;
}
} // namespace Compensation_Chart
