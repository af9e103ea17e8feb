#ifndef COMPENSATIONDIALOG_H
#define COMPENSATIONDIALOG_H

#include <QDialog>

#include "src/model/compensation/compensation.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;
class TMachineDialog;
class TMeasurementDialog;
class TPlotView;

// "Compensation": the source machine (usually an identified one), the machine the correction runs
// on, the forms, the table spacing, the probe offset and the measurements to simulate; Compute
// shows what each form leaves behind as a table, a chart of every row before and after, and the
// report. Save Files writes the tables a controller loads into a folder, Save CSV every row.
class TCompensationDialog : public QDialog
{
  Q_OBJECT

public:
  TCompensationDialog(TMachineDialog* machines, TMeasurementDialog* measurements, QWidget* parent = nullptr);

  // Fills the machine choices and the measurements from the libraries; selects active_machine as
  // the source and the against machine, and checks the selected measurements.
  void Reset(const QString& active_machine, const QStringList& selected);

  Compensation::TOptions Options() const;
  const Compensation::TResult& Result() const { return d_result; }

  static QIcon Command_Icon();

public slots:
  void Compute();

private:
  // The machines, forms, spacing, probe and measurements; and the tables, chart and report.
  QWidget* Setup_Form();
  QWidget* Setup_Output();
  void Show_Result();
  void Save_Files();
  void Save_Csv();

  TMachineDialog* d_machines;
  TMeasurementDialog* d_measurements;
  Compensation::TResult d_result;
  bool d_computed = false;
  QString d_save_directory;

  QComboBox* d_source_box;
  QComboBox* d_against_box;
  QCheckBox* d_form_boxes[5];
  QDoubleSpinBox* d_spacing_spin;
  QDoubleSpinBox* d_probe_spins[3];
  QListWidget* d_measurement_list;
  QLabel* d_verdict_label;
  QTableWidget* d_form_table;
  QTableWidget* d_measurement_table;
  TPlotView* d_chart_view;
  QPlainTextEdit* d_report_edit;
  QPushButton* d_compute_button;
  QPushButton* d_files_button;
  QPushButton* d_csv_button;
};

#endif
