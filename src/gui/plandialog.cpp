#include "src/gui/plandialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPen>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <cmath>

#include "core/gui/windowsize.h"
#include "src/gui/checklist.h"
#include "src/gui/identifyform.h"
#include "src/gui/machinedialog.h"
#include "src/gui/measurementdialog.h"

using namespace QtCharts;

namespace
{
enum TColumn
{
  COLUMN_MEASUREMENT,
  COLUMN_KIND,
  COLUMN_READINGS,
  COLUMN_RANK,
  COLUMN_LARGEST_U,
  COLUMN_RATIO,
  COLUMN_FUNCTION,
  COLUMNS
};

QTableWidgetItem* Cell(const QString& text, bool number)
{
  QTableWidgetItem* item = new QTableWidgetItem(text);
  item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
  if(number)
  {
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  }
  return item;
}
} // namespace

TPlanDialog::TPlanDialog(TMachineDialog* machines, TMeasurementDialog* measurements, QWidget* parent)
    : QDialog(parent), d_machines(machines), d_measurements(measurements)
{
  setWindowTitle(tr("Plan Tests"));

  // Left: the machine, the candidates and the options.
  QGroupBox* candidate_box = new QGroupBox(tr("Candidate Measurements"));
  QVBoxLayout* candidate_layout = new QVBoxLayout(candidate_box);
  d_candidate_list = new QListWidget(candidate_box);
  d_candidate_list->setObjectName(QStringLiteral("candidate_list"));
  candidate_layout->addWidget(d_candidate_list);
  QHBoxLayout* check_buttons = new QHBoxLayout();
  QPushButton* all_button = new QPushButton(tr("Check All"), candidate_box);
  QPushButton* none_button = new QPushButton(tr("Check None"), candidate_box);
  check_buttons->addWidget(all_button);
  check_buttons->addWidget(none_button);
  check_buttons->addStretch();
  candidate_layout->addLayout(check_buttons);
  d_form = new TIdentifyForm(tr("Machine:"), candidate_box, this);
  d_budget_spin = new QSpinBox(this);
  d_budget_spin->setObjectName(QStringLiteral("budget_spin"));
  d_budget_spin->setRange(0, 1000);
  d_budget_spin->setSpecialValueText(tr("No limit"));
  d_budget_spin->setToolTip(tr("The most tests in the plan"));
  d_form->Add_Fit_Row(tr("Budget:"), d_budget_spin);

  // Right: the plan.
  QWidget* output = new QWidget(this);
  QVBoxLayout* output_layout = new QVBoxLayout(output);
  output_layout->setContentsMargins(0, 0, 0, 0);
  d_verdict_label = new QLabel(output);
  d_verdict_label->setObjectName(QStringLiteral("verdict_label"));
  d_verdict_label->setWordWrap(true);
  QFont verdict_font = d_verdict_label->font();
  verdict_font.setBold(true);
  d_verdict_label->setFont(verdict_font);
  output_layout->addWidget(d_verdict_label);
  d_step_table = new QTableWidget(0, COLUMNS, output);
  d_step_table->setObjectName(QStringLiteral("step_table"));
  d_step_table->setHorizontalHeaderLabels({tr("Measurement"), tr("Kind"), tr("Rows"), tr("Rank reached"),
                                           tr("Largest u (k = 1)"), tr("Largest u/R"),
                                           tr("Function of the largest u")});
  d_step_table->horizontalHeader()->setStretchLastSection(true);
  d_step_table->setSelectionBehavior(QAbstractItemView::SelectRows);
  d_chart_view = new QChartView(output);
  d_chart_view->setRenderHint(QPainter::Antialiasing);
  d_report_edit = new QPlainTextEdit(output);
  d_report_edit->setObjectName(QStringLiteral("report_edit"));
  d_report_edit->setReadOnly(true);
  d_report_edit->setLineWrapMode(QPlainTextEdit::NoWrap);
  d_report_edit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  d_output_tabs = new QTabWidget(output);
  d_output_tabs->addTab(d_step_table, tr("Steps"));
  d_output_tabs->addTab(d_chart_view, tr("Chart"));
  d_output_tabs->addTab(d_report_edit, tr("Report"));
  output_layout->addWidget(d_output_tabs);

  QSplitter* splitter = new QSplitter(Qt::Horizontal, this);
  splitter->addWidget(d_form);
  splitter->addWidget(output);
  splitter->setStretchFactor(0, 0);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({360, 760});

  QDialogButtonBox* buttons = new QDialogButtonBox(this);
  d_plan_button = buttons->addButton(tr("Plan"), QDialogButtonBox::ActionRole);
  d_plan_button->setObjectName(QStringLiteral("plan_button"));
  d_select_button = buttons->addButton(tr("Select These Measurements"), QDialogButtonBox::ActionRole);
  d_select_button->setObjectName(QStringLiteral("select_button"));
  d_select_button->setToolTip(tr("Select the plan's measurements in the measurement list"));
  QPushButton* close_button = buttons->addButton(QDialogButtonBox::Close);

  QVBoxLayout* layout = new QVBoxLayout(this);
  layout->addWidget(splitter, 1);
  layout->addWidget(buttons);
  Resize_Within_Screen(this, QSize(1120, 720));

  const auto check_all = [this](Qt::CheckState state)
  {
    for(int row = 0; row < d_candidate_list->count(); ++row)
    {
      d_candidate_list->item(row)->setCheckState(state);
    }
  };
  connect(all_button, &QPushButton::clicked, this, [check_all]() { check_all(Qt::Checked); });
  connect(none_button, &QPushButton::clicked, this, [check_all]() { check_all(Qt::Unchecked); });
  connect(d_candidate_list, &QListWidget::itemChanged, this, &TPlanDialog::Update_Buttons);
  connect(d_plan_button, &QPushButton::clicked, this, &TPlanDialog::Make_Plan);
  connect(d_select_button, &QPushButton::clicked, this,
          [this]()
          {
            QStringList names;
            for(const Plan::TStep& step : d_result.steps)
            {
              names.push_back(step.measurement);
            }
            emit Select_Measurements(names);
          });
  connect(close_button, &QPushButton::clicked, this, &QDialog::reject);
  Reset(QString());
}

void TPlanDialog::Reset(const QString& active_machine)
{
  d_form->Set_Machines(d_machines->Machine_Names(), active_machine);
  const QStringList names = d_measurements->Measurement_Names();
  Check_List::Fill(d_candidate_list, names, names);
  d_result = Plan::TResult();
  d_planned = false;
  Show_Result();
  Update_Buttons();
}

QStringList TPlanDialog::Candidates() const
{
  return Check_List::Checked(d_candidate_list);
}

Plan::TOptions TPlanDialog::Options() const
{
  Plan::TOptions options;
  options.identify = d_form->Options();
  options.budget = d_budget_spin->value();
  return options;
}

QIcon TPlanDialog::Command_Icon()
{
  // Steps up to a flag: tests in order towards a goal.
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(30, 90, 200), 1.5));
  painter.drawPolyline(QPolygonF({QPointF(1.0, 14.5), QPointF(5.0, 14.5), QPointF(5.0, 10.5), QPointF(9.0, 10.5),
                                  QPointF(9.0, 6.5), QPointF(13.0, 6.5)}));
  painter.setPen(QPen(QColor(40, 40, 40), 1.0));
  painter.drawLine(QPointF(13.0, 6.5), QPointF(13.0, 0.5));
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(200, 40, 40));
  painter.drawPolygon(QPolygonF({QPointF(13.0, 0.5), QPointF(16.0, 2.0), QPointF(13.0, 3.5)}));
  return QIcon(pixmap);
}

void TPlanDialog::Make_Plan()
{
  const QString machine_name = d_form->Machine_Name();
  const TMachineLibrary::TMachineItem* machine = d_machines->Machine(d_machines->Machine_Id(machine_name));
  if(!machine)
  {
    d_verdict_label->setText(tr("Choose a machine."));
    return;
  }
  const QStringList checked = Candidates();
  if(checked.isEmpty())
  {
    d_verdict_label->setText(tr("Check at least one candidate measurement."));
    return;
  }
  const QStringList all = d_measurements->Measurement_Names();
  std::vector<const TMeasurement*> records;
  std::vector<int> candidates;
  for(const TMeasurement* measurement : d_measurements->Measurements(all))
  {
    if(checked.contains(measurement->d_name))
    {
      candidates.push_back(static_cast<int>(records.size()));
    }
    records.push_back(measurement);
  }

  QProgressDialog progress(tr("Planning the tests of %1...").arg(machine->name), tr("Cancel"), 0, 100, this);
  progress.setWindowTitle(tr("Plan Tests"));
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(300);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  d_result = Plan::Run(*machine, records, candidates, Options(),
                       [&progress](int done, int total)
                       {
                         progress.setMaximum(total);
                         progress.setValue(done);
                         QApplication::processEvents();
                         return !progress.wasCanceled();
                       });
  QApplication::restoreOverrideCursor();
  progress.reset();
  d_planned = true;
  Show_Result();
  Update_Buttons();
}

void TPlanDialog::Show_Result()
{
  d_report_edit->setPlainText(d_result.report.join(QLatin1Char('\n')));
  d_step_table->setRowCount(static_cast<int>(d_result.steps.size()));
  for(int row = 0; row < d_step_table->rowCount(); ++row)
  {
    const Plan::TStep& step = d_result.steps[row];
    const bool known = !step.largest_function.isEmpty();
    d_step_table->setItem(row, COLUMN_MEASUREMENT, Cell(step.measurement, false));
    d_step_table->setItem(row, COLUMN_KIND, Cell(step.kind, false));
    // Rows as identification counts its "Rows used"; the readings they hold on hover.
    QTableWidgetItem* rows = Cell(QString::number(step.rows), true);
    rows->setToolTip(tr("%n reading(s)", nullptr, step.readings));
    d_step_table->setItem(row, COLUMN_READINGS, rows);
    d_step_table->setItem(row, COLUMN_RANK, Cell(tr("%1 of %2").arg(step.rank).arg(d_result.unknowns), true));
    d_step_table->setItem(
        row, COLUMN_LARGEST_U,
        Cell(known ? QStringLiteral("%1 %2").arg(QString::number(step.largest_u, 'g', 3), step.largest_unit)
                   : QString(),
             true));
    d_step_table->setItem(row, COLUMN_RATIO,
                          Cell(known ? QString::number(step.largest_ratio, 'g', 3) : QString(), true));
    d_step_table->setItem(row, COLUMN_FUNCTION, Cell(step.largest_function, false));
  }
  d_step_table->resizeColumnsToContents();
  Show_Chart();
  if(!d_planned)
  {
    d_verdict_label->setText(tr("Check the candidate measurements and press Plan."));
    return;
  }
  switch(d_result.status)
  {
  case Plan::TStatus::PLANNED:
    d_verdict_label->setText(
        d_result.full_rank
            ? tr("%n test(s) identify every error parameter.", nullptr, static_cast<int>(d_result.steps.size()))
            : tr("The plan reaches rank %1 of %2: the report says what stays unknown.")
                  .arg(d_result.steps.empty() ? 0 : d_result.steps.back().rank)
                  .arg(d_result.unknowns));
    break;
  case Plan::TStatus::NO_PARAMETERS:
    d_verdict_label->setText(tr("The machine has no enabled error parameter: nothing to plan."));
    break;
  case Plan::TStatus::CANCELLED:
    d_verdict_label->setText(tr("Cancelled: no plan."));
    break;
  default:
    d_verdict_label->setText(d_result.report.isEmpty() ? QString() : d_result.report.back());
    break;
  }
}

namespace
{
// Ticks on whole numbers only, a dozen at most: a rank or a count of 2.5 means nothing.
void Integer_Ticks(QValueAxis* axis, double largest)
{
  const double step = std::max(1.0, std::ceil(largest / 12.0));
  axis->setTickType(QValueAxis::TicksDynamic);
  axis->setTickAnchor(0.0);
  axis->setTickInterval(step);
  axis->setLabelFormat(QStringLiteral("%d"));
}
} // namespace

void TPlanDialog::Show_Chart()
{
  QChart* chart = new QChart();
  chart->setTitle(tr("Rank and largest u/R per test"));
  QLineSeries* rank = new QLineSeries(chart);
  rank->setName(tr("Rank"));
  QLineSeries* ratio = new QLineSeries(chart);
  ratio->setName(tr("Largest u/R"));
  double largest_ratio = 0.0;
  for(std::size_t index = 0; index < d_result.steps.size(); ++index)
  {
    const Plan::TStep& step = d_result.steps[index];
    rank->append(static_cast<double>(index + 1), step.rank);
    if(!step.largest_function.isEmpty())
    {
      ratio->append(static_cast<double>(index + 1), step.largest_ratio);
      largest_ratio = std::max(largest_ratio, step.largest_ratio);
    }
  }
  const double test_count = std::max<double>(1.0, static_cast<double>(d_result.steps.size()));
  // Where u/R reaches 1 one standard uncertainty moves a function by the resolution R: below the
  // line the identified values are good enough.
  QLineSeries* limit = new QLineSeries(chart);
  limit->setName(tr("u/R = 1"));
  QPen limit_pen(QColor(200, 40, 40));
  limit_pen.setStyle(Qt::DashLine);
  limit_pen.setWidthF(1.5);
  limit->setPen(limit_pen);
  limit->append(0.0, 1.0);
  limit->append(test_count, 1.0);
  chart->addSeries(rank);
  chart->addSeries(ratio);
  chart->addSeries(limit);
  QValueAxis* tests = new QValueAxis(chart);
  tests->setTitleText(tr("Tests in the plan"));
  tests->setRange(0.0, test_count);
  Integer_Ticks(tests, test_count);
  QValueAxis* ranks = new QValueAxis(chart);
  ranks->setTitleText(tr("Rank (of %1 unknowns)").arg(d_result.unknowns));
  ranks->setRange(0.0, std::max(1, d_result.unknowns));
  Integer_Ticks(ranks, std::max(1, d_result.unknowns));
  QValueAxis* ratios = new QValueAxis(chart);
  ratios->setTitleText(tr("Largest u/R (u ÷ resolution R)"));
  ratios->setRange(0.0, std::max(1.2, 1.1 * largest_ratio));
  chart->addAxis(tests, Qt::AlignBottom);
  chart->addAxis(ranks, Qt::AlignLeft);
  chart->addAxis(ratios, Qt::AlignRight);
  rank->attachAxis(tests);
  rank->attachAxis(ranks);
  ratio->attachAxis(tests);
  ratio->attachAxis(ratios);
  limit->attachAxis(tests);
  limit->attachAxis(ratios);
  chart->legend()->setAlignment(Qt::AlignBottom);
  QChart* previous = d_chart_view->chart();
  d_chart_view->setChart(chart);
  delete previous;
}

void TPlanDialog::Update_Buttons()
{
  d_plan_button->setEnabled(d_form->Has_Machines() && !Candidates().isEmpty());
  d_select_button->setEnabled(!d_result.steps.empty());
}
