#ifndef MACHINEPARAMETERWIDGET_H
#define MACHINEPARAMETERWIDGET_H

#include <QString>
#include <QStringList>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QToolButton;
class TExpressionDialog;

// One error parameter of the machine editor in one row: title, "Enable", the sign option, and
// the value, either an expression in L (X, Y and Z axes) or a plain number in mm/m.
class TMachineParameterWidget : public QWidget
{
  Q_OBJECT

public:
  explicit TMachineParameterWidget(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());

  void Set_Title_Text(const QString& text);

  // The two options of a sign pair, index 0 first.
  void Set_Sign_Options(const QStringList& options);
  void Set_Sign_Option_Index(int index);
  int Sign_Option_Index() const;
  QString Sign_Option() const;

  // The check box; the option and the value are editable only while it is set.
  void Set_Option_Enabled(bool enabled);
  bool Is_Option_Enabled() const;

  // The "..." button that defines an expression by its values; usable only while the row is
  // enabled.
  void Enable_Expression_Editor(bool enabled);
  // On: the value is an expression kept as typed. Off: a number shown with 4 decimals.
  void Enable_Expressions(bool enabled);

  // The travel the expression editor shows, in millimetres, and the unit of its errors.
  // A travel of no length or not a number leaves the editor's default of one metre.
  void Set_Position_Range(double lower, double upper);
  void Set_Error_Unit(const QString& unit);

  // Shown from its beginning: the tail of a long polynomial reads like another one.
  void Set_Expression(const QString& expression);
  // With expressions the text as typed (may be empty); without, always a number with
  // 4 decimals (0.0000 for a field that is not a number).
  QString Expression() const;

public slots:
  void Enable_Toggled(bool enabled);
  void Edit_Expression();

private:
  // Marks a number row's field while its text is not a finite number.
  void Update_Number_Mark();

  QLabel* d_title_label;
  QCheckBox* d_enable_check;
  QComboBox* d_sign_combo;
  QLabel* d_value_label;
  QLineEdit* d_expression_edit;
  QToolButton* d_editor_button;

  bool d_expression_editor_enabled = false;
  bool d_expressions_enabled = false;
  double d_lower_bound = 0.0;
  double d_upper_bound = 1000.0;
  QString d_error_unit = QStringLiteral("mm");
  TExpressionDialog* d_expression_dialog = nullptr;
};

#endif
