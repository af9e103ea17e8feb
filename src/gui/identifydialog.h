#ifndef IDENTIFYDIALOG_H
#define IDENTIFYDIALOG_H

#include <QDialog>
#include <QIcon>

#include <vector>

#include "src/model/identify.h"
#include "src/model/machinelibrary.h"

class QCheckBox;
class QDialogButtonBox;
class QDoubleSpinBox;
class QLabel;
class QTreeWidget;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class TIdentifyForm;
class TPlotView;
class TMachineDialog;
class TMeasurementDialog;

// "Identify Errors": the measured files or directories, the machine, the polynomial degree and
// the uncertainty of each kind of reading; Identify runs the fit with a progress dialog that
// can cancel it and shows the report; Add Machine stores the identified machine in the
// machine library. Nothing is stored before the user asks for it.
class TIdentifyDialog : public QDialog
{
  Q_OBJECT

public:
  TIdentifyDialog(TMachineDialog* machines, TMeasurementDialog* measurements, QWidget* parent = nullptr);

  // Fills the machine choice with the library's names and selects active_machine.
  void Reset(const QString& active_machine);
  // Off in a read-only window, which saves nothing: Add Machine stays disabled.
  void Set_Adding_Allowed(bool allowed);

  // Adds files and directories to the measured data, each once; a file of one measurement gets
  // the choice of the library's measurements of its kind, its own name chosen when there is one.
  void Add_Paths(const QStringList& paths);
  // The paths as the batch tool takes them (files and directories; NAME=FILE for a file whose
  // measurement was chosen in its row).
  QStringList Measured_Paths() const;
  Identify::TOptions Options() const;
  // The last fit, FITTED when Add Machine may store it.
  const Identify::TResult& Result() const { return d_result; }

  // The icon of the command: points and the curve fitted through them.
  static QIcon Command_Icon();

signals:
  // A machine was added to the library under this name.
  void Machine_Added(const QString& name);

public slots:
  void Identify();
  void Add_Machine();
  // Asks before a fit that was neither saved nor added is thrown away (Esc, Close).
  void reject() override;

private slots:
  void Add_Files();
  void Add_Directory();
  void Remove_Paths();
  void Update_Buttons();

private:
  // The paths as added, without the measurement chosen.
  QStringList Added_Paths() const;
  // The error functions of the identified machine in the "Identified Errors" tab.
  void Show_Identified_Errors();
  // The "Residuals" tab and the Save button with its menu (identifydialog_keep.cpp).
  void Add_Keeping(QDialogButtonBox* buttons);
  void Show_Residuals();
  QString Ask_File(const QString& title, const QString& filter, const QString& suffix);
  // Writes bytes to file_name (nothing for an empty name), or says why not.
  void Save_Bytes(const QString& title, const QString& file_name, const QByteArray& bytes);
  void Save_Report();
  void Save_Chart();
  void Save_Json();
  void Save_Residuals();

  TMachineDialog* d_machines;
  TMeasurementDialog* d_measurements;
  Identify::TResult d_result;
  QString d_last_directory;

  TIdentifyForm* d_form;
  // Each path given, and for a file of one measurement the library's measurement it is read as.
  QTreeWidget* d_path_list;
  QPushButton* d_remove_button;
  QDoubleSpinBox* d_outlier_spin;
  QCheckBox* d_reject_check;
  bool d_adding_allowed = true;
  QPlainTextEdit* d_report_edit;
  QTabWidget* d_output_tabs;
  TPlotView* d_plot_view;
  QLabel* d_verdict_label;
  QPushButton* d_identify_button;
  QPushButton* d_add_button;
  TPlotView* d_residuals_view = nullptr;
  QPushButton* d_save_button = nullptr;
  bool d_kept = true; // the last fit was saved or added, or there is none
};

#endif
