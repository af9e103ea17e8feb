#ifndef REPORTDIALOG_H
#define REPORTDIALOG_H

#include <QDialog>
#include <QString>

#include <vector>

#include "src/model/calibration/calibration_report.h"

class QLabel;
class QLineEdit;

// "Export Report": the facts of the calibration report (laboratory, customer, serial number,
// dates, temperature, operator, approver, remarks), remembered between runs of the program and
// saved or loaded as the JSON of varlume-batch report --info; Export PDF writes the report of the
// active machine and the selected measurements with the Plots tab's conformity options, the same
// PDF as the batch tool for the same inputs.
class TReportDialog : public QDialog
{
  Q_OBJECT

public:
  // settings_file holds the remembered facts (the window's settings).
  TReportDialog(const QString& settings_file, QWidget* parent = nullptr);

  // What the next export reports on; libraries are the files no export may replace.
  void Set_Inputs(const TMachineLibrary::TMachineItem& machine, const std::vector<const TMeasurement*>& records,
                  const Conformity::TOptions& options, const QStringList& libraries);

  Calibration_Report::TInfo Info() const;
  void Set_Info(const Calibration_Report::TInfo& info);

  // Writes the report to file_name; false with the reason in the dialog's message line.
  bool Export(const QString& file_name);

private:
  void Remember() const;
  void Load_Info();
  void Save_Info();
  void Export_Pdf();
  // False with the reason shown when file_name is a library file.
  bool Writable(const QString& file_name);

  QString d_settings_file;
  QString d_directory;
  TMachineLibrary::TMachineItem d_machine;
  std::vector<const TMeasurement*> d_records;
  Conformity::TOptions d_options;
  QStringList d_libraries;
  std::vector<QLineEdit*> d_edits; // by the index of TInfo::Fields()
  QLabel* d_message_label;
};

#endif
