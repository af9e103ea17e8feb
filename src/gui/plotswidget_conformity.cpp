// The Conformity section of the Plots tab: the test set-up's U and the rule, and the decision
// of the selected ISO 10360-2 measurements on the active machine; and the compensation page,
// which shares the machine's record.

#include "src/gui/plotswidget.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

#include "src/gui/plotcharts.h"
#include "src/gui/plotpage.h"
#include "src/model/evaluation.h"

void TPlotsWidget::Show_Conformity_Controls(bool visible)
{
  if(d_conformity_controls || !visible)
  {
    if(d_conformity_controls)
    {
      d_conformity_controls->setVisible(visible);
    }
    return;
  }
  d_conformity_controls = new QWidget(this);
  QHBoxLayout* layout = new QHBoxLayout(d_conformity_controls);
  layout->setContentsMargins(0, 0, 0, 0);
  QLabel* test_label = new QLabel(tr("Test set-up U = a + b·L (a µm, b µm/m):"), d_conformity_controls);
  d_test_uncertainty_edit = new QLineEdit(QStringLiteral("0,0"), d_conformity_controls);
  d_test_uncertainty_edit->setToolTip(tr("The expanded uncertainty (k = 2) of the test set-up as a,b."));
  d_test_uncertainty_edit->setMaximumWidth(100);
  test_label->setBuddy(d_test_uncertainty_edit);
  QLabel* rule_label = new QLabel(tr("Rule:"), d_conformity_controls);
  d_rule_box = new QComboBox(d_conformity_controls);
  d_rule_box->addItem(tr("Guarded (ISO 14253-1)"));
  d_rule_box->addItem(tr("Simple"));
  rule_label->setBuddy(d_rule_box);
  layout->addWidget(test_label);
  layout->addWidget(d_test_uncertainty_edit);
  layout->addWidget(rule_label);
  layout->addWidget(d_rule_box);
  // After the chooser, before the stretch.
  d_controls->insertWidget(2, d_conformity_controls);

  connect(d_test_uncertainty_edit, &QLineEdit::editingFinished, this, [this]() { Invalidate(); });
  connect(d_rule_box, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this]() { Invalidate(); });
}

Conformity::TOptions TPlotsWidget::Conformity_Options() const
{
  Conformity::TOptions options;
  QString error;
  if(d_test_uncertainty_edit)
  {
    Conformity::Parse_Test_Uncertainty(d_test_uncertainty_edit->text(), &options.test, &error);
  }
  options.rule = d_rule_box && d_rule_box->currentIndex() == 1 ? Conformity::TRule::SIMPLE : Conformity::TRule::GUARDED;
  options.jobs = Evaluation::Parse_Jobs(qEnvironmentVariable("VARLUME_JOBS"));
  return options;
}

void TPlotsWidget::Set_Machine_Item(const TMachineLibrary::TMachineItem& machine)
{
  d_has_machine_item = true;
  d_machine_item = machine;
  Invalidate();
}

TPlotPage* TPlotsWidget::Conformity_Page(const QString& title)
{
  d_data.has_conformity = false;
  if(!d_data.has_machine || !d_has_machine_item)
  {
    return Plot_Charts::Message_Page(title, tr("Select one machine."));
  }
  if(!d_data.has_results)
  {
    return Plot_Charts::Message_Page(
        title,
        d_failure.isEmpty() ? tr("Select ISO 10360-2 measurements: each row is decided against the MPE.") : d_failure);
  }
  Conformity::TOptions options;
  if(!Conformity::Record_Mpe(d_machine_item, &options.mpe))
  {
    return Plot_Charts::Message_Page(title, tr("The machine has no MPE: enter \"E0, MPE\" in the machine editor."));
  }
  QString error;
  if(!Conformity::Parse_Test_Uncertainty(d_test_uncertainty_edit->text(), &options.test, &error))
  {
    return Plot_Charts::Message_Page(title, tr("Test set-up U: enter a,b (a in µm, b in µm/m, both at least 0)."));
  }
  options.rule = d_rule_box->currentIndex() == 1 ? Conformity::TRule::SIMPLE : Conformity::TRule::GUARDED;
  options.jobs = Evaluation::Parse_Jobs(qEnvironmentVariable("VARLUME_JOBS"));
  d_data.conformity = Conformity::Simulated(d_machine_item, {d_measurements.begin(), d_measurements.end()}, options);
  if(!d_data.conformity.ok)
  {
    return Plot_Charts::Message_Page(title, d_data.conformity.errors.join(QLatin1Char('\n')));
  }
  d_data.has_conformity = true;
  return Plot_Charts::Page(Kind(), d_data);
}

TPlotPage* TPlotsWidget::Compensation_Page(const QString& title)
{
  d_data.has_compensation = false;
  if(!d_data.has_machine || !d_has_machine_item)
  {
    return Plot_Charts::Message_Page(title, tr("Select one machine."));
  }
  if(!d_data.has_results)
  {
    return Plot_Charts::Message_Page(
        title, d_failure.isEmpty() ? tr("Select measurements: they are simulated before and after each correction.")
                                   : d_failure);
  }
  Compensation::TOptions options;
  options.jobs = Evaluation::Parse_Jobs(qEnvironmentVariable("VARLUME_JOBS"));
  d_data.compensation =
      Compensation::Run(d_machine_item, d_machine_item, {d_measurements.begin(), d_measurements.end()}, options);
  if(d_data.compensation.status != Compensation::TStatus::DONE)
  {
    return Plot_Charts::Message_Page(title, d_data.compensation.errors.join(QLatin1Char('\n')));
  }
  d_data.has_compensation = true;
  return Plot_Charts::Page(Kind(), d_data);
}
