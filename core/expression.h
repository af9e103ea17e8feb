#ifndef EXPRESSION_H
#define EXPRESSION_H

#include <QChar>
#include <QRegularExpression>
#include <QString>
#include <QVarLengthArray>
#include <utility>
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

  // Parentheses and function calls nested deeper than this make a text invalid.
  static constexpr int MAXIMUM_NESTING = 256;

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

  // ok may be null. 2(3), (2)3, (1)(2) and nesting deeper than MAXIMUM_NESTING are invalid.
  double Evaluate(const QString& expression, bool* ok) const;

private:
  // The rewritten text; the steps below work on ranges of it instead of copies.
  struct TText
  {
    const QChar* chars = nullptr;
    int size = 0;
    // Every '(' with its matching ')' (-1 when there is none) and every ',', in text order,
    // so that no nested level rescans the text.
    QVarLengthArray<std::pair<int, int>, 16> braces;
    QVarLengthArray<int, 8> commas;
  };

  // How one variable is written into the text; parallel to d_variables.
  struct TSubstitution
  {
    QString name; // upper case
    QString value_text;
    bool word = false; // name of [A-Z0-9_] only: whole words are compared without a regular expression
    QRegularExpression pattern;
  };

  using TNumberStack = QVarLengthArray<double, 16>;
  using TOperatorStack = QVarLengthArray<QChar, 16>;

  // Variable after variable, as the regular expressions do it.
  QString Substitute(const QString& text) const;
  // All at once when d_single_pass holds; false when no name occurs.
  bool Substitute_Words(const QChar* chars, int size, QVarLengthArray<QChar, 256>* rewritten) const;
  double Process_Expression(const TText& text, int begin, int end, int depth, bool* valid) const;
  double Process_Function(const TText& text, int begin, int end, int depth, int* function_length, bool* valid) const;
  // The group whose '(' is at open; group_length is the distance to its ')'.
  double Process_Group(const TText& text, int open, int end, int depth, int* group_length, bool* valid) const;
  // Applies the stacked operators that bind at least as strongly (^ only stronger ones), then
  // stacks oper.
  void Push_Operator(QChar oper, TNumberStack* number_stack, TOperatorStack* oper_stack) const;
  int Find_Closing_Brace(const TText& text, int start, int end) const;
  int Operator_Precidence(const QChar& ch) const;
  void Apply_Expression(TNumberStack* number_stack, TOperatorStack* oper_stack) const;
  void Update_Single_Pass();

  // Ordered by non-increasing name length; equal lengths keep their insertion order.
  std::vector<TVariable> d_variables;
  std::vector<TSubstitution> d_substitutions;
  // When no value text can contain a later name, all names are replaced in one scan.
  bool d_single_pass = true;
};

// Fast forms of the Qt calls that define Evaluate's text steps, declared for the tests and the
// fuzzer that compare them with those calls.
namespace Expression_Text
{
// text.simplified().toUpper().trimmed() with every ' ' removed.
QString Normalise(const QString& text);
// QString(chars, length).toDouble(ok).
double To_Double(const QChar* chars, int length, bool* ok);
// A variable's value as written into the text: 16 decimals, negatives in parentheses (below 5e-17 the digits are zero).
QString Value_Text(double value);
// text.replace(QRegularExpression("(\\b%1\\b)").arg(name), replacement) for a name of [A-Za-z0-9_].
QString Replace_Word(const QString& text, const QString& name, const QString& replacement);
} // namespace Expression_Text

#endif
