#ifndef PLANDIALOG_H
#define PLANDIALOG_H

#include <QDialog>

#include "src/model/plan.h"

class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTabWidget;
class TIdentifyForm;
class TMachineDialog;
class TMeasurementDialog;

namespace QtCharts
{
class QChartView;
} // namespace QtCharts

// "Plan Tests": the machine, the candidate measurements of the library (all checked), the
// options of identification and a budget; Plan works out the order with a progress dialog that
// can cancel it and shows the steps as a table, a chart of the rank and the largest uncertainty
// against the number of tests, and the report. Select These Measurements selects the plan's
// measurements in the window's list.
class TPlanDialog : public QDialog
{
  Q_OBJECT

public:
  TPlanDialog(TMachineDialog* machines, TMeasurementDialog* measurements, QWidget* parent = nullptr);

  // Fills the machine choice and the candidates from the libraries; selects active_machine.
  void Reset(const QString& active_machine);

  // The checked candidates, in library order.
  QStringList Candidates() const;
  Plan::TOptions Options() const;
  const Plan::TResult& Result() const { return d_result; }

  static QIcon Command_Icon();

signals:
  // The measurements of the plan, in the order of its steps.
  void Select_Measurements(const QStringList& names);

public slots:
  void Make_Plan();

private slots:
  void Update_Buttons();

private:
  void Show_Result();
  void Show_Chart();

  TMachineDialog* d_machines;
  TMeasurementDialog* d_measurements;
  Plan::TResult d_result;
  bool d_planned = false;

  TIdentifyForm* d_form;
  QListWidget* d_candidate_list;
  QSpinBox* d_budget_spin;
  QLabel* d_verdict_label;
  QTabWidget* d_output_tabs;
  QTableWidget* d_step_table;
  QtCharts::QChartView* d_chart_view;
  QPlainTextEdit* d_report_edit;
  QPushButton* d_plan_button;
  QPushButton* d_select_button;
};

#endif
