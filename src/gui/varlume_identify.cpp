// The main window's "Identify Errors", "Plan Tests", "Compensation" and "Export Report": the
// dialogs do the work; the window lists what identification adds and selects what a plan uses.

#include <QAction>
#include <QListWidget>
#include <QMessageBox>
#include <QToolButton>

#include "src/gui/compensationdialog.h"
#include "src/gui/displaywidget.h"
#include "src/gui/identifydialog.h"
#include "src/gui/machinedialog.h"
#include "src/gui/measurementdialog.h"
#include "src/gui/plandialog.h"
#include "src/gui/plotswidget.h"
#include "src/gui/reportdialog.h"
#include "src/gui/varlume.h"

void TVarlume::Identify_Errors()
{
  if(Evaluation_Running())
  {
    return;
  }
  if(!d_identify_dialog)
  {
    d_identify_dialog = new TIdentifyDialog(d_machine_dialog, d_measurement_dialog, this);
    // Added as any other machine: undoable, and kept for recovery.
    connect(d_identify_dialog, &TIdentifyDialog::Machine_Added, this,
            [this](const QString&)
            {
              Update_Machine_Names();
              Record_Change(LIBRARY_MACHINES, tr("Add Identified Machine"), d_machines_before_identify);
              d_machines_before_identify = Library_Snapshot(LIBRARY_MACHINES);
            });
  }
  d_machines_before_identify = Library_Snapshot(LIBRARY_MACHINES);
  d_identify_dialog->Set_Adding_Allowed(!d_read_only);
  d_identify_dialog->Reset(Active_Machine_Name());
  d_identify_dialog->exec();
}

void TVarlume::Update_Identify_Enabled()
{
  const bool machines = !d_machine_dialog->Machine_Names().isEmpty();
  const bool measurements = !d_measurement_dialog->Measurement_Names().isEmpty();
  const QString tip = !machines       ? tr("Identify Errors needs a machine in the library to start from")
                      : !measurements ? tr("Identify Errors needs the measurements in the library that the measured "
                                           "files are named after")
                                      : tr("Identify a machine's errors from measured data files");
  d_identify_action->setEnabled(machines && measurements);
  d_identify_action->setToolTip(tip);
  d_identify_machine_button->setEnabled(machines && measurements);
  d_identify_machine_button->setToolTip(tip);
}

void TVarlume::Plan_Tests()
{
  if(Evaluation_Running())
  {
    return;
  }
  if(!d_plan_dialog)
  {
    d_plan_dialog = new TPlanDialog(d_machine_dialog, d_measurement_dialog, this);
    connect(d_plan_dialog, &TPlanDialog::Select_Measurements, this,
            [this](const QStringList& names)
            {
              d_measurement_list->clearSelection();
              for(int row = 0; row < d_measurement_list->count(); ++row)
              {
                QListWidgetItem* item = d_measurement_list->item(row);
                if(names.contains(item->text()))
                {
                  item->setSelected(true);
                }
              }
            });
  }
  d_plan_dialog->Reset(Active_Machine_Name());
  d_plan_dialog->exec();
}

void TVarlume::Compensate()
{
  if(Evaluation_Running())
  {
    return;
  }
  if(!d_compensation_dialog)
  {
    d_compensation_dialog = new TCompensationDialog(d_machine_dialog, d_measurement_dialog, this);
  }
  QStringList selected;
  for(const QListWidgetItem* item : d_measurement_list->selectedItems())
  {
    selected.push_back(item->text());
  }
  d_compensation_dialog->Reset(Active_Machine_Name(), selected);
  d_compensation_dialog->exec();
}

void TVarlume::Export_Report()
{
  const TMachineDialog::TMachineItem* machine =
      d_machine_dialog->Machine(d_machine_dialog->Machine_Id(Active_Machine_Name()));
  const QStringList names = Selected_Measurements();
  if(!machine || names.isEmpty())
  {
    QMessageBox::information(this, tr("Export Report"),
                             tr("Select one machine and its ISO 10360-2 measurements: the report decides their rows "
                                "against the machine's MPE."));
    return;
  }
  if(!d_report_dialog)
  {
    d_report_dialog = new TReportDialog(Settings_File(), this);
  }
  std::vector<const TMeasurement*> records;
  for(const TMeasurement* measurement : d_measurement_dialog->Measurements(names))
  {
    records.push_back(measurement);
  }
  d_report_dialog->Set_Inputs(*machine, records, d_display_widget->Plots_Widget()->Conformity_Options(),
                              {d_machine_dialog->File_Name(), d_measurement_dialog->File_Name()});
  d_report_dialog->exec();
}
