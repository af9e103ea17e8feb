#include "src/measurementdialog.h"

TMeasurementDialog::TMeasurementDialog(QWidget* parent, Qt::WindowFlags flags) : QDialog(parent, flags) {}

void TMeasurementDialog::Remove_Measurement(int id)
{
  if(d_library.Remove_Measurement(id))
  {
    emit Update_Measurement_Display();
  }
}
