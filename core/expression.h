#ifndef EXPRESSION_H
#define EXPRESSION_H

#include <QString>
#include <vector>

// Evaluates an expression text over named double variables. Variables are substituted as text
// (longest names first), then numbers, + - * / ^, parentheses, SQRT( ) and SUMSQ( , ) are
// computed. Any failure gives 0 and a false flag; nothing throws.
class TExpression
{
public:
  struct TVariable
  {
    QString name;
    double value = 0.0;
  };

  TExpression() = default;

  // An empty name is refused; an existing name gets the new value.
  bool Add_Variable(const QString& name, double value);
  bool Add_Variable(const TVariable& variable);

  int Variable_Count() const { return static_cast<int>(d_variables.size()); }
  QString Variable_Name(int index) const;
  double Variable_Value(int index) const;
  TVariable Variable(int index) const;
  // The first variable with exactly this name; 0 and false when there is none.
  double Variable_Value(const QString& name, bool* ok) const;

  // ok may be null.
  double Evaluate(const QString& expression, bool* ok) const;

private:
  double Process_Expression(const QString& text, bool* valid) const;
  double Process_Function(const QString& text, int* function_length, bool* valid) const;
  int Find_Closing_Brace(const QString& text, int start) const;
  int Operator_Precidence(const QChar& ch) const;
  void Apply_Expression(std::vector<double>* number_stack, std::vector<QChar>* oper_stack) const;

  // Ordered by non-increasing name length; equal lengths keep their insertion order.
  std::vector<TVariable> d_variables;
};

#endif
