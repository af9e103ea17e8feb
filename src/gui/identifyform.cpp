#include "src/gui/identifyform.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QSpinBox>
#include <QVBoxLayout>

TIdentifyForm::TIdentifyForm(const QString& machine_label, QWidget* middle, QWidget* parent) : QWidget(parent)
{
  QVBoxLayout* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);

  QGroupBox* machine_box = new QGroupBox(tr("Machine"), this);
  QFormLayout* machine_layout = new QFormLayout(machine_box);
  d_machine_combo = new QComboBox(machine_box);
  d_machine_combo->setObjectName(QStringLiteral("machine_combo"));
  d_machine_combo->setToolTip(tr("Its geometry, kinematic order and enabled parameters define the unknowns"));
  machine_layout->addRow(machine_label, d_machine_combo);
  d_degree_spin = new QSpinBox(machine_box);
  d_degree_spin->setObjectName(QStringLiteral("degree_spin"));
  d_degree_spin->setRange(Identify::MINIMUM_DEGREE, Identify::MAXIMUM_DEGREE);
  d_degree_spin->setValue(Identify::DEFAULT_DEGREE);
  d_degree_spin->setToolTip(tr("Each enabled axis function is a polynomial c1*L + ... + cd*L^d"));
  machine_layout->addRow(tr("Polynomial degree:"), d_degree_spin);
  layout->addWidget(machine_box);

  middle->setParent(this);
  layout->addWidget(middle, 1);

  QGroupBox* weights_box = new QGroupBox(tr("Standard Uncertainties"), this);
  QFormLayout* weights_layout = new QFormLayout(weights_box);
  const Identify::TOptions defaults;
  for(int kind = 0; kind < Identify::OBSERVATION_KINDS; ++kind)
  {
    QDoubleSpinBox* spin = new QDoubleSpinBox(weights_box);
    spin->setObjectName(QStringLiteral("uncertainty_%1").arg(kind));
    spin->setDecimals(Option_Limits::UNCERTAINTY.decimals);
    spin->setRange(Option_Limits::UNCERTAINTY.minimum, Option_Limits::UNCERTAINTY.maximum);
    spin->setSingleStep(0.1);
    spin->setValue(defaults.uncertainties[kind]);
    spin->setSuffix(QLatin1Char(' ') + Identify::Kind_Unit(kind));
    weights_layout->addRow(Identify::Kind_Name(kind) + QLatin1Char(':'), spin);
    d_uncertainty_spins[kind] = spin;
  }
  layout->addWidget(weights_box);

  QGroupBox* fit_box = new QGroupBox(tr("Fit"), this);
  d_fit_layout = new QFormLayout(fit_box);
  d_resolution_spin = new QDoubleSpinBox(fit_box);
  d_resolution_spin->setObjectName(QStringLiteral("resolution_spin"));
  // Below 0 the spin box says "from the machine's MPE", the default, as varlume-batch has it.
  d_resolution_spin->setRange(-1.0, Option_Limits::RESOLUTION.maximum);
  d_resolution_spin->setDecimals(Option_Limits::RESOLUTION.decimals);
  d_resolution_spin->setSpecialValueText(tr("A of the machine's MPE, else %1").arg(defaults.resolution));
  d_resolution_spin->setValue(-1.0);
  d_resolution_spin->setSuffix(QString::fromUtf8(" µm, µrad"));
  d_resolution_spin->setToolTip(tr("A direction counts as identified when one standard uncertainty along it moves no "
                                   "error function by more than this within the travel; 0 keeps every direction the "
                                   "readings determine at all; the lowest value takes the A of the machine's E0 MPE, "
                                   "or %1 for a machine without one")
                                    .arg(defaults.resolution));
  d_fit_layout->addRow(tr("Resolution:"), d_resolution_spin);
  d_alignment_check = new QCheckBox(tr("Fit straightness slopes and radius zeros"), fit_box);
  d_alignment_check->setObjectName(QStringLiteral("alignment_check"));
  d_alignment_check->setChecked(!defaults.absolute_straightness);
  d_alignment_check->setToolTip(tr("Laser optics are never aligned exactly and a gauge's zero is set by hand: fit an "
                                   "offset and a slope per laser run and direction and a radius zero per gauge. Clear "
                                   "it for simulated files or set-ups with a reference square."));
  d_fit_layout->addRow(d_alignment_check);
  layout->addWidget(fit_box);
}

void TIdentifyForm::Set_Machines(const QStringList& names, const QString& active)
{
  d_machine_combo->clear();
  d_machine_combo->addItems(names);
  const int index = d_machine_combo->findText(active);
  if(index >= 0)
  {
    d_machine_combo->setCurrentIndex(index);
  }
}

QString TIdentifyForm::Machine_Name() const
{
  return d_machine_combo->currentText();
}

bool TIdentifyForm::Has_Machines() const
{
  return d_machine_combo->count() > 0;
}

void TIdentifyForm::Add_Fit_Row(const QString& label, QWidget* field)
{
  if(label.isEmpty())
  {
    d_fit_layout->addRow(field);
  }
  else
  {
    d_fit_layout->addRow(label, field);
  }
}

Identify::TOptions TIdentifyForm::Options() const
{
  Identify::TOptions options;
  options.degree = d_degree_spin->value();
  for(int kind = 0; kind < Identify::OBSERVATION_KINDS; ++kind)
  {
    options.uncertainties[kind] = d_uncertainty_spins[kind]->value();
  }
  options.resolution_from_machine = d_resolution_spin->value() < 0.0;
  if(!options.resolution_from_machine)
  {
    options.resolution = d_resolution_spin->value();
  }
  options.absolute_straightness = !d_alignment_check->isChecked();
  return options;
}
