#include "src/gui/expressiondialog.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPen>
#include <QPushButton>
#include <QSpacerItem>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLegend>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/expression.h"
#include "src/gui/charttick.h"
#include "src/gui/plotpage.h"
#include "src/model/errorpolynomial.h"

using namespace QtCharts;

namespace
{
// Steps between the curve's samples over the travel; a multiple of 4 so that the five edited
// positions are among the samples.
constexpr int CURVE_STEPS = 100;

QString Number_Text(double value, int decimals)
{
  return QString("%1").arg(value, 0, 'f', decimals);
}

// Sets the range, then round tick labels over it.
void Set_Axis(QCategoryAxis* axis, double low, double high, double step)
{
  axis->setRange(low, high);
  Chart_Tick::Set_Labels(axis, step);
}

QCategoryAxis* Value_Axis(const QString& title)
{
  QCategoryAxis* axis = new QCategoryAxis();
  axis->setTitleText(title);
  axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
  axis->setTitleFont(Plot_Style::Font(Plot_Style::AXIS_TITLE_PIXELS));
  axis->setLabelsFont(Plot_Style::Font(Plot_Style::LABEL_PIXELS));
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

// The curve of an expression in L (metres) over the travel in mm; positions where it does not
// evaluate are left out.
QList<QPointF> Curve(const QString& expression, double lower, double upper)
{
  QList<QPointF> points;
  TExpression evaluator;
  for(int step = 0; step <= CURVE_STEPS; ++step)
  {
    const double position = lower + (upper - lower) * step / CURVE_STEPS;
    evaluator.Add_Variable(QStringLiteral("L"), position / 1000.0);
    bool valid = false;
    const double value = evaluator.Evaluate(expression, &valid);
    if(valid && std::isfinite(value))
    {
      points.push_back(QPointF(position, value));
    }
  }
  return points;
}
} // namespace

TExpressionDialog::TExpressionDialog(QWidget* parent, Qt::WindowFlags flags) : QDialog(parent, flags)
{
  QGridLayout* layout = new QGridLayout(this);

  QLabel* position_label = new QLabel(tr("Position (mm)"), this);
  position_label->setAlignment(Qt::AlignCenter);
  layout->addWidget(position_label, 0, 0);
  d_error_label = new QLabel(tr("Error (mm)"), this);
  d_error_label->setAlignment(Qt::AlignCenter);
  layout->addWidget(d_error_label, 0, 1);
  layout->setColumnStretch(2, 1);

  // The positions are fixed: give them the window's background so that only the errors look
  // editable.
  QPalette position_palette = palette();
  position_palette.setColor(QPalette::Base, position_palette.color(QPalette::Window));

  for(int row = 0; row < POINT_COUNT; ++row)
  {
    d_position_edits[row] = new QLineEdit(this);
    d_position_edits[row]->setPalette(position_palette);
    d_position_edits[row]->setAlignment(Qt::AlignCenter);
    d_position_edits[row]->setReadOnly(true);
    // Read-only: keep it out of the tab chain so that Tab walks the errors only.
    d_position_edits[row]->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(d_position_edits[row], row + 1, 0);

    d_error_edits[row] = new QLineEdit(this);
    d_error_edits[row]->setAlignment(Qt::AlignCenter);
    layout->addWidget(d_error_edits[row], row + 1, 1);
    connect(d_error_edits[row], &QLineEdit::textChanged, this, &TExpressionDialog::Update_Plot);
  }
  // The fields keep their height; the chart takes what is left.
  layout->setRowStretch(POINT_COUNT + 1, 1);

  QChart* chart = new QChart();
  chart->setAnimationOptions(QChart::NoAnimation);
  chart->setBackgroundRoundness(0.0);
  chart->setMargins(QMargins(6, 6, 6, 6));
  chart->legend()->setAlignment(Qt::AlignBottom);
  chart->legend()->setFont(Plot_Style::Font(Plot_Style::LABEL_PIXELS));
  d_position_axis = Value_Axis(tr("Position (mm)"));
  d_error_axis = Value_Axis(tr("Error (mm)"));
  chart->addAxis(d_position_axis, Qt::AlignBottom);
  chart->addAxis(d_error_axis, Qt::AlignLeft);

  d_expression_series = Line(tr("Current expression"), QColor(31, 119, 180), Qt::SolidLine);
  d_fitted_series = Line(tr("Fitted polynomial"), QColor(214, 39, 40), Qt::DashLine);
  d_value_series = new QScatterSeries();
  d_value_series->setName(tr("Table values"));
  d_value_series->setMarkerShape(QScatterSeries::MarkerShapeCircle);
  d_value_series->setMarkerSize(10.0);
  d_value_series->setColor(QColor(44, 44, 44));
  d_value_series->setBorderColor(QColor(44, 44, 44));
  for(QXYSeries* series : {static_cast<QXYSeries*>(d_expression_series), static_cast<QXYSeries*>(d_fitted_series),
                           static_cast<QXYSeries*>(d_value_series)})
  {
    chart->addSeries(series);
    series->attachAxis(d_position_axis);
    series->attachAxis(d_error_axis);
  }

  QChartView* chart_view = new QChartView(chart, this);
  chart_view->setRenderHint(QPainter::Antialiasing);
  chart_view->setMinimumSize(560, 340);
  layout->addWidget(chart_view, 0, 2, POINT_COUNT + 2, 1);

  QFrame* line = new QFrame(this);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  layout->addWidget(line, POINT_COUNT + 2, 0, 1, 3);

  QHBoxLayout* button_layout = new QHBoxLayout();
  button_layout->addItem(new QSpacerItem(0, 0, QSizePolicy::Expanding, QSizePolicy::Minimum));
  QPushButton* apply_button = new QPushButton(tr("Apply"), this);
  apply_button->setAutoDefault(false);
  // Enter in an error field applies, as in any dialog.
  apply_button->setDefault(true);
  button_layout->addWidget(apply_button);
  QPushButton* cancel_button = new QPushButton(tr("Cancel"), this);
  cancel_button->setAutoDefault(false);
  button_layout->addWidget(cancel_button);
  layout->addLayout(button_layout, POINT_COUNT + 3, 0, 1, 3);

  setWindowTitle(tr("Expression Editor"));
  resize(880, 420);

  connect(apply_button, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel_button, &QPushButton::clicked, this, &QDialog::reject);
}

void TExpressionDialog::Set_Position_Range(double lower, double upper)
{
  d_lower = lower;
  d_upper = upper;
}

void TExpressionDialog::Set_Error_Unit(const QString& unit)
{
  d_error_label->setText(tr("Error (%1)").arg(unit));
  d_error_axis->setTitleText(d_error_label->text());
}

void TExpressionDialog::Set_Expression(const QString& expression)
{
  d_expression = expression;
  const double middle = (d_lower + d_upper) / 2.0;
  const double positions[POINT_COUNT] = {d_lower, (d_lower + middle) / 2.0, middle, (middle + d_upper) / 2.0, d_upper};

  TExpression evaluator;
  for(int row = 0; row < POINT_COUNT; ++row)
  {
    evaluator.Add_Variable(QStringLiteral("L"), positions[row] / 1000.0);
    d_position_edits[row]->setText(Number_Text(positions[row], 1));

    bool valid = false;
    const double error = evaluator.Evaluate(expression, &valid);
    d_error_edits[row]->setText(valid ? Number_Text(error, 4) : QStringLiteral("0.0000"));
    d_shown_errors[row] = d_error_edits[row]->text();
  }
  d_expression_series->replace(Curve(expression, d_lower, d_upper));
  Update_Plot();
}

void TExpressionDialog::Update_Plot()
{
  QList<QPointF> values;
  for(int row = 0; row < POINT_COUNT; ++row)
  {
    bool position_valid = false;
    bool error_valid = false;
    const double position = d_position_edits[row]->text().toDouble(&position_valid);
    const double error = d_error_edits[row]->text().toDouble(&error_valid);
    if(position_valid && error_valid)
    {
      values.push_back(QPointF(position, error));
    }
  }
  d_value_series->replace(values);

  // What Apply would set, drawn only once it differs from the expression; not while a field is
  // unreadable, as the polynomial would then be a plain 0.
  const bool fitted = values.size() == POINT_COUNT && Errors_Changed();
  d_fitted_series->replace(fitted ? Curve(Expression(), d_lower, d_upper) : QList<QPointF>());
  d_fitted_series->setVisible(fitted);

  double minimum = 0.0;
  double maximum = 0.0;
  bool any = false;
  for(const QXYSeries* series : {static_cast<QXYSeries*>(d_expression_series), static_cast<QXYSeries*>(d_fitted_series),
                                 static_cast<QXYSeries*>(d_value_series)})
  {
    for(const QPointF& point : series->pointsVector())
    {
      minimum = any ? std::min(minimum, point.y()) : point.y();
      maximum = any ? std::max(maximum, point.y()) : point.y();
      any = true;
    }
  }
  // A constant error still gets a readable band around it.
  if(maximum - minimum < 1e-6)
  {
    const double half = std::max(std::fabs(maximum) * 0.1, 0.001);
    minimum -= half;
    maximum += half;
  }
  const double step = Chart_Tick::Tick_Step(maximum - minimum);
  Set_Axis(d_error_axis, std::floor(minimum / step - 0.02) * step, std::ceil(maximum / step + 0.02) * step, step);

  const double span = d_upper - d_lower;
  const double margin = span > 0.0 ? 0.02 * span : 1.0;
  Set_Axis(d_position_axis, d_lower - margin, d_upper + margin, Chart_Tick::Tick_Step(std::max(span, 1.0)));
}

bool TExpressionDialog::Errors_Changed() const
{
  for(int row = 0; row < POINT_COUNT; ++row)
  {
    const QString text = d_error_edits[row]->text();
    if(text == d_shown_errors[row])
    {
      continue;
    }
    // "0.00250" is the value shown as "0.0025".
    bool valid = false;
    const double value = text.toDouble(&valid);
    if(!valid || value != d_shown_errors[row].toDouble())
    {
      return true;
    }
  }
  return false;
}

QString TExpressionDialog::Expression() const
{
  const QString zero = QStringLiteral("0.0000");
  if(!Errors_Changed())
  {
    return d_expression;
  }

  std::vector<double> positions;
  QStringList typed;
  for(int row = 0; row < POINT_COUNT; ++row)
  {
    bool position_valid = false;
    positions.push_back(d_position_edits[row]->text().toDouble(&position_valid));
    if(!position_valid)
    {
      return zero;
    }
    typed.push_back(d_error_edits[row]->text());
  }
  const QString text = Error_Polynomial::Fit_Text(positions, typed);
  return text.isEmpty() ? zero : text;
}

void TExpressionDialog::closeEvent(QCloseEvent* event)
{
  setResult(QDialog::Rejected);
  event->accept();
}
