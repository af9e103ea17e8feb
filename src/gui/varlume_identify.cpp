// The main window's "Identify Errors": the dialog does the work; the window lists what it adds.

#include "src/gui/identifydialog.h"
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
