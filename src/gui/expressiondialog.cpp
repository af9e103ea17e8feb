#include "src/gui/expressiondialog.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QSpacerItem>

#include <cmath>
#include <vector>

#include "core/expression.h"
#include "core/interpolation.h"
#include "core/vector2.h"

namespace
{
// Coefficients at or below this are noise of the fit, not part of the error function.
constexpr double COEFFICIENT_THRESHOLD = 4.9e-5;

QString Number_Text(double value, int decimals)
{
  return QString("%1").arg(value, 0, 'f', decimals);
}
} // namespace

TExpressionDialog::TExpressionDialog(QWidget* parent, Qt::WindowFlags flags) : QDialog(parent, flags)
{
  QGridLayout* layout = new QGridLayout(this);

  QLabel* position_label = new QLabel(tr("Position (mm)"), this);
  position_label->setAlignment(Qt::AlignCenter);
  layout->addWidget(position_label, 0, 0);
  d_error_label = new QLabel(tr("Error (mm)"), this);
  d_error_label->setAlignment(Qt::AlignCenter);
  layout->addWidget(d_error_label, 0, 1);

  // The positions are fixed: give them the window's background so that only the errors look
  // editable.
  QPalette position_palette = palette();
  position_palette.setColor(QPalette::Base, position_palette.color(QPalette::Window));

  for(int row = 0; row < POINT_COUNT; ++row)
  {
    d_position_edits[row] = new QLineEdit(this);
    d_position_edits[row]->setPalette(position_palette);
    d_position_edits[row]->setAlignment(Qt::AlignCenter);
    d_position_edits[row]->setReadOnly(true);
    // Read-only: keep it out of the tab chain so that Tab walks the errors only.
    d_position_edits[row]->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(d_position_edits[row], row + 1, 0);

    d_error_edits[row] = new QLineEdit(this);
    d_error_edits[row]->setAlignment(Qt::AlignCenter);
    layout->addWidget(d_error_edits[row], row + 1, 1);
  }

  QFrame* line = new QFrame(this);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  layout->addWidget(line, POINT_COUNT + 1, 0, 1, 2);

  QHBoxLayout* button_layout = new QHBoxLayout();
  button_layout->addItem(new QSpacerItem(0, 0, QSizePolicy::Expanding, QSizePolicy::Minimum));
  QPushButton* apply_button = new QPushButton(tr("Apply"), this);
  apply_button->setAutoDefault(false);
  // Enter in an error field applies, as in any dialog.
  apply_button->setDefault(true);
  button_layout->addWidget(apply_button);
  QPushButton* cancel_button = new QPushButton(tr("Cancel"), this);
  cancel_button->setAutoDefault(false);
  button_layout->addWidget(cancel_button);
  layout->addLayout(button_layout, POINT_COUNT + 2, 0, 1, 2);

  setWindowTitle(tr("Expression Editor"));
  resize(301, 201);

  connect(apply_button, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel_button, &QPushButton::clicked, this, &QDialog::reject);
}

void TExpressionDialog::Set_Position_Range(double lower, double upper)
{
  d_lower = lower;
  d_upper = upper;
}

void TExpressionDialog::Set_Error_Unit(const QString& unit)
{
  d_error_label->setText(tr("Error (%1)").arg(unit));
}

void TExpressionDialog::Set_Expression(const QString& expression)
{
  d_expression = expression;
  const double middle = (d_lower + d_upper) / 2.0;
  const double positions[POINT_COUNT] = {d_lower, (d_lower + middle) / 2.0, middle, (middle + d_upper) / 2.0, d_upper};

  TExpression evaluator;
  for(int row = 0; row < POINT_COUNT; ++row)
  {
    evaluator.Add_Variable(QStringLiteral("L"), positions[row] / 1000.0);
    d_position_edits[row]->setText(Number_Text(positions[row], 1));

    bool valid = false;
    const double error = evaluator.Evaluate(expression, &valid);
    d_error_edits[row]->setText(valid ? Number_Text(error, 4) : QStringLiteral("0.0000"));
    d_shown_errors[row] = d_error_edits[row]->text();
  }
}

bool TExpressionDialog::Errors_Changed() const
{
  for(int row = 0; row < POINT_COUNT; ++row)
  {
    const QString text = d_error_edits[row]->text();
    if(text == d_shown_errors[row])
    {
      continue;
    }
    // "0.00250" is the value shown as "0.0025".
    bool valid = false;
    const double value = text.toDouble(&valid);
    if(!valid || value != d_shown_errors[row].toDouble())
    {
      return true;
    }
  }
  return false;
}

QString TExpressionDialog::Expression() const
{
  const QString zero = QStringLiteral("0.0000");
  if(!Errors_Changed())
  {
    return d_expression;
  }

  std::vector<TVector2> points;
  for(int row = 0; row < POINT_COUNT; ++row)
  {
    bool position_valid = false;
    bool error_valid = false;
    const double position = d_position_edits[row]->text().toDouble(&position_valid);
    const double error = d_error_edits[row]->text().toDouble(&error_valid);
    if(!position_valid || !error_valid)
    {
      return zero;
    }
    points.push_back(TVector2(position / 1000.0, error));
  }

  // y = a4 L^4 + a3 L^3 + a2 L^2 + a1 L + a0.
  double coefficients[POINT_COUNT] = {};
  if(!LeastSquares::Fit_Curve(points, &coefficients[4], &coefficients[3], &coefficients[2], &coefficients[1],
                              &coefficients[0]))
  {
    return zero;
  }

  static const char* const TERMS[POINT_COUNT] = {"%1", "%1*L", "%1*L^2", "%1*L^3", "%1*L^4"};
  QString text;
  for(int power = 0; power < POINT_COUNT; ++power)
  {
    const double coefficient = coefficients[power];
    if(!(std::abs(coefficient) > COEFFICIENT_THRESHOLD))
    {
      continue;
    }
    // A negative number brings its own minus sign to join the terms.
    if(!text.isEmpty() && coefficient > 0.0)
    {
      text += QLatin1Char('+');
    }
    text += QString(QLatin1String(TERMS[power])).arg(coefficient, 0, 'f', 4);
  }
  return text.isEmpty() ? zero : text;
}

void TExpressionDialog::closeEvent(QCloseEvent* event)
{
  setResult(QDialog::Rejected);
  event->accept();
}
