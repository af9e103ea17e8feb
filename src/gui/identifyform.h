#ifndef IDENTIFYFORM_H
#define IDENTIFYFORM_H

#include <QStringList>
#include <QWidget>

#include "src/model/identify.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QFormLayout;
class QSpinBox;

// What Identify Errors and Plan Tests both ask for, top to bottom: the machine and the polynomial
// degree, the dialog's own list (measured files, candidate measurements) taking the spare height,
// the standard uncertainty of each kind of reading, and the fit (resolution, whether straightness
// slopes and radius zeros are fitted) with the dialog's own rows after it.
class TIdentifyForm : public QWidget
{
  Q_OBJECT

public:
  // machine_label names the machine's role ("Starting machine:"); the form takes middle.
  TIdentifyForm(const QString& machine_label, QWidget* middle, QWidget* parent = nullptr);

  // Fills the machine choice with names and selects active (when among them).
  void Set_Machines(const QStringList& names, const QString& active);
  QString Machine_Name() const;
  bool Has_Machines() const;

  // A row of the Fit box; a field without a label (a check box) spans the row.
  void Add_Fit_Row(const QString& label, QWidget* field);

  // The degree, uncertainties, resolution and straightness; the rest as Identify::TOptions has it.
  Identify::TOptions Options() const;

private:
  QComboBox* d_machine_combo;
  QSpinBox* d_degree_spin;
  QDoubleSpinBox* d_uncertainty_spins[Identify::OBSERVATION_KINDS];
  QDoubleSpinBox* d_resolution_spin;
  QCheckBox* d_alignment_check;
  QFormLayout* d_fit_layout;
};

#endif
