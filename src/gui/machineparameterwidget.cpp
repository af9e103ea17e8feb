#include "src/gui/machineparameterwidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QToolButton>

#include <algorithm>
#include <cmath>

#include "core/gui/numberfield.h"
#include "src/gui/expressiondialog.h"

namespace
{
QString Number_Text(const QString& text)
{
  // toDouble gives 0 for a text that is not a number.
  return QString("%1").arg(text.toDouble(), 0, 'f', 4);
}
} // namespace

TMachineParameterWidget::TMachineParameterWidget(QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags)
{
  QHBoxLayout* layout = new QHBoxLayout(this);
  layout->setContentsMargins(4, 0, 4, 0);

  d_title_label = new QLabel(this);
  d_title_label->setFixedWidth(80);
  d_title_label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  layout->addWidget(d_title_label);

  d_enable_check = new QCheckBox(tr("Enable"), this);
  layout->addWidget(d_enable_check);

  d_sign_combo = new QComboBox(this);
  d_sign_combo->setFixedWidth(180);
  d_sign_combo->setEnabled(false);
  layout->addWidget(d_sign_combo);

  d_value_label = new QLabel(tr("Error mm/m ="), this);
  d_value_label->setFixedWidth(100);
  d_value_label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  layout->addWidget(d_value_label);

  d_expression_edit = new QLineEdit(this);
  d_expression_edit->setEnabled(false);
  layout->addWidget(d_expression_edit);

  d_editor_button = new QToolButton(this);
  d_editor_button->setText(QStringLiteral("..."));
  d_editor_button->setEnabled(false);
  layout->addWidget(d_editor_button);

  // Squareness and deflection rows hold a plain number; one that is not finite is marked.
  connect(d_expression_edit, &QLineEdit::textChanged, this, &TMachineParameterWidget::Update_Number_Mark);
  connect(d_enable_check, &QCheckBox::toggled, this, &TMachineParameterWidget::Enable_Toggled);
  connect(d_editor_button, &QToolButton::clicked, this, &TMachineParameterWidget::Edit_Expression);
}

void TMachineParameterWidget::Set_Title_Text(const QString& text)
{
  d_title_label->setText(text);
}

void TMachineParameterWidget::Set_Sign_Options(const QStringList& options)
{
  const QSignalBlocker blocker(d_sign_combo);
  d_sign_combo->clear();
  d_sign_combo->addItems(options);
}

void TMachineParameterWidget::Set_Sign_Option_Index(int index)
{
  const QSignalBlocker blocker(d_sign_combo);
  d_sign_combo->setCurrentIndex(index);
}

int TMachineParameterWidget::Sign_Option_Index() const
{
  return d_sign_combo->currentIndex();
}

QString TMachineParameterWidget::Sign_Option() const
{
  return d_sign_combo->currentText();
}

void TMachineParameterWidget::Set_Option_Enabled(bool enabled)
{
  {
    const QSignalBlocker blocker(d_enable_check);
    d_enable_check->setChecked(enabled);
  }
  Enable_Toggled(enabled);
}

bool TMachineParameterWidget::Is_Option_Enabled() const
{
  return d_enable_check->isChecked();
}

void TMachineParameterWidget::Enable_Expression_Editor(bool enabled)
{
  d_expression_editor_enabled = enabled;
  d_editor_button->setEnabled(enabled && d_enable_check->isChecked());
}

void TMachineParameterWidget::Enable_Expressions(bool enabled)
{
  d_expressions_enabled = enabled;
  d_value_label->setText(enabled ? tr("Expression =") : tr("Error mm/m ="));
  Update_Number_Mark();
}

void TMachineParameterWidget::Update_Number_Mark()
{
  NumberField::Mark(d_expression_edit,
                    !d_expressions_enabled && !NumberField::Is_Finite_Number(d_expression_edit->text()));
}

void TMachineParameterWidget::Set_Position_Range(double lower, double upper)
{
  if(!std::isfinite(lower) || !std::isfinite(upper) || lower == upper)
  {
    lower = 0.0;
    upper = 1000.0;
  }
  d_lower_bound = std::min(lower, upper);
  d_upper_bound = std::max(lower, upper);
}

void TMachineParameterWidget::Set_Error_Unit(const QString& unit)
{
  d_error_unit = unit;
}

void TMachineParameterWidget::Set_Expression(const QString& expression)
{
  d_expression_edit->setText(d_expressions_enabled ? expression : Number_Text(expression));
  d_expression_edit->setCursorPosition(0);
}

QString TMachineParameterWidget::Expression() const
{
  return d_expressions_enabled ? d_expression_edit->text() : Number_Text(d_expression_edit->text());
}

void TMachineParameterWidget::Enable_Toggled(bool enabled)
{
  d_sign_combo->setEnabled(enabled);
  d_expression_edit->setEnabled(enabled);
  d_editor_button->setEnabled(enabled && d_expression_editor_enabled);
}

void TMachineParameterWidget::Edit_Expression()
{
  // The value of a disabled row is not edited, not even through the editor.
  if(!d_expression_editor_enabled || !d_enable_check->isChecked())
  {
    return;
  }
  if(!d_expression_dialog)
  {
    d_expression_dialog = new TExpressionDialog(this);
  }
  d_expression_dialog->Set_Position_Range(d_lower_bound, d_upper_bound);
  d_expression_dialog->Set_Error_Unit(d_error_unit);
  d_expression_dialog->Set_Expression(d_expression_edit->text());
  if(d_expression_dialog->exec() == QDialog::Accepted)
  {
    Set_Expression(d_expression_dialog->Expression());
  }
}
