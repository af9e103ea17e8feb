#ifndef EXPRESSIONDIALOG_H
#define EXPRESSIONDIALOG_H

#include <QDialog>
#include <QString>

class QCloseEvent;
class QLabel;
class QLineEdit;

namespace QtCharts
{
class QCategoryAxis;
class QLineSeries;
class QScatterSeries;
} // namespace QtCharts

// Defines an axis error function by its values: the error of the current expression at five
// positions along the axis is shown and edited, and Expression() fits a polynomial of degree 4
// in L (the position in metres) through the five points. A chart beside the values draws the
// current expression over the travel, the five values, and after an edit the polynomial that
// Apply would set, so that a fit that swings between or beyond the points is seen before use.
class TExpressionDialog : public QDialog
{
  Q_OBJECT

public:
  static constexpr int POINT_COUNT = 5;

  explicit TExpressionDialog(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());

  // The first and last position in millimetres; call before Set_Expression.
  void Set_Position_Range(double lower, double upper);
  // The unit of the error column, "mm" for a scale error, "mm/m" for an angle.
  void Set_Error_Unit(const QString& unit);
  // Shows the error of the expression at the five positions; a text that does not evaluate
  // shows 0.0000 everywhere.
  void Set_Expression(const QString& expression);
  // The fitted polynomial, for example "0.0010+0.0100*L", written so that it gives back every
  // value shown (see Error_Polynomial::Fit_Text); "0.0000" when a field is not a number or the
  // fit fails. When no error differs from the
  // one shown, the expression given to Set_Expression as it was: a refit would replace it by
  // a different polynomial that only agrees at the five points.
  QString Expression() const;

protected:
  // Closing the window applies nothing.
  void closeEvent(QCloseEvent* event) override;

private:
  bool Errors_Changed() const;
  void Update_Plot();

  double d_lower = 0.0;
  double d_upper = 1000.0;
  QLineEdit* d_position_edits[POINT_COUNT];
  QLineEdit* d_error_edits[POINT_COUNT];
  QLabel* d_error_label;
  QString d_expression;
  QString d_shown_errors[POINT_COUNT];
  QtCharts::QLineSeries* d_expression_series;
  QtCharts::QScatterSeries* d_value_series;
  QtCharts::QLineSeries* d_fitted_series;
  QtCharts::QCategoryAxis* d_position_axis;
  QtCharts::QCategoryAxis* d_error_axis;
};

#endif
