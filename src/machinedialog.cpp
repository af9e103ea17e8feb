#include "src/machinedialog.h"

TMachineDialog::TMachineDialog(QWidget* parent, Qt::WindowFlags flags) : QDialog(parent, flags) {}
