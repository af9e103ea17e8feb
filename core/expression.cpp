#include "core/expression.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "core/varlume_assert.h"

namespace
{
bool Is_Word_Char(ushort c)
{
  // What \b of QRegularExpression counts as a word character (ASCII only, no Unicode properties).
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

// The one word scanner of the expressions: every whole word (a longest run of word characters)
// of chars is offered to replacement_of (word start, length), which returns the text to put in
// its place or null to keep it. The rest of the text is copied around the replacements into
// output; false, with output untouched, when no word was replaced.
template <typename TReplacementOf, typename TOutput>
bool Replace_Words(const QChar* chars, int size, const TReplacementOf& replacement_of, TOutput* output)
{
  int copied = 0;
  int i = 0;
  while(i < size)
  {
    if(!Is_Word_Char(chars[i].unicode()))
    {
      ++i;
      continue;
    }
    int end = i;
    while(end < size && Is_Word_Char(chars[end].unicode()))
    {
      ++end;
    }
    if(const QString* replacement = replacement_of(chars + i, end - i))
    {
      output->append(chars + copied, i - copied);
      output->append(replacement->constData(), replacement->size());
      copied = end;
    }
    i = end;
  }
  if(copied == 0)
  {
    return false;
  }
  output->append(chars + copied, size - copied);
  return true;
}

bool Is_Digit(ushort c)
{
  return c >= '0' && c <= '9';
}

bool Is_Operator(ushort c)
{
  return c == '+' || c == '-' || c == '*' || c == '/' || c == '^';
}

bool Is_Word(const QString& name)
{
  for(const QChar ch : name)
  {
    if(!Is_Word_Char(ch.unicode()))
    {
      return false;
    }
  }
  return !name.isEmpty();
}

bool Starts_With(const QChar* chars, int length, const char* prefix)
{
  for(int i = 0; prefix[i]; ++i)
  {
    if(i >= length || chars[i].unicode() != static_cast<ushort>(prefix[i]))
    {
      return false;
    }
  }
  return true;
}

// The text in front of a group or a function call: nothing, or the sign at the start of the
// text. A number there (2(3)) has no sensible reading and is refused.
bool Group_Sign(const QChar* chars, int begin, int number_start, int position, bool* negate)
{
  *negate = false;
  if(number_start == position)
  {
    return true;
  }
  if(number_start != begin || position - begin != 1)
  {
    return false;
  }
  const ushort sign = chars[begin].unicode();
  *negate = sign == '-';
  return sign == '-' || sign == '+';
}

using TBuffer = QVarLengthArray<QChar, 256>;

// The fast case of Normalise: false (and nothing useful written) when the text is not ASCII.
bool Normalise_Ascii(const QString& text, TBuffer* normalised)
{
  const QChar* chars = text.constData();
  const int size = text.size();
  normalised->resize(size);
  QChar* out = normalised->data();
  int length = 0;
  for(int i = 0; i < size; ++i)
  {
    ushort c = chars[i].unicode();
    if(c >= 0x80)
    {
      return false;
    }
    if(c == ' ' || (c >= '\t' && c <= '\r')) // what QChar::isSpace is below 0x80
    {
      continue;
    }
    if(c >= 'a' && c <= 'z')
    {
      c = static_cast<ushort>(c - ('a' - 'A'));
    }
    out[length++] = QChar(c);
  }
  normalised->resize(length);
  return true;
}
} // namespace

namespace Expression_Text
{
QString Normalise(const QString& text)
{
  TBuffer normalised;
  if(Normalise_Ascii(text, &normalised))
  {
    return QString(normalised.constData(), normalised.size());
  }
  // Unicode case mapping can change the length (sharp s) or yield ASCII (long s): leave it to Qt.
  QString result = text.simplified().toUpper().trimmed();
  result.remove(QLatin1Char(' '));
  return result;
}

double To_Double(const QChar* chars, int length, bool* ok)
{
  // Plain decimals of moderate length go to std::from_chars, which rounds correctly as Qt does;
  // they are too short to overflow or underflow, which Qt reports as failures. Anything else
  // (".5", "1.", a sign alone, long digit strings) is left to Qt.
  const int Maximum_Length = 64;
  if(length > 0 && length <= Maximum_Length)
  {
    const ushort first = chars[0].unicode();
    int i = (first == '+' || first == '-') ? 1 : 0;
    const int integer_start = i;
    while(i < length && Is_Digit(chars[i].unicode()))
    {
      ++i;
    }
    bool plain = i > integer_start;
    if(plain && i < length && chars[i].unicode() == '.')
    {
      const int fraction_start = ++i;
      while(i < length && Is_Digit(chars[i].unicode()))
      {
        ++i;
      }
      plain = i > fraction_start;
    }
    if(plain && i == length)
    {
      char buffer[Maximum_Length];
      int size = 0;
      for(int k = first == '+' ? 1 : 0; k < length; ++k) // from_chars takes no '+'
      {
        buffer[size++] = static_cast<char>(chars[k].unicode());
      }
      double value = 0.0;
      const std::from_chars_result result = std::from_chars(buffer, buffer + size, value, std::chars_format::fixed);
      if(result.ec == std::errc() && result.ptr == buffer + size)
      {
        *ok = true;
        return value;
      }
    }
  }
  return QString::fromRawData(chars, length).toDouble(ok);
}

QString Value_Text(double value)
{
  // Sixteen decimals write magnitudes below 5e-17 as zero; a tiny negative value keeps its
  // parentheses and sign and so reads back as -0 (-0 itself is written bare).
  const QString number = QString("%1").arg(value, 0, 'f', 16);
  return value < 0.0 ? QString("(%1)").arg(number) : number;
}

QString Replace_Word(const QString& text, const QString& name, const QString& replacement)
{
  QString result;
  const auto replacement_of = [&](const QChar* word, int length) -> const QString*
  { return length == name.size() && std::equal(word, word + length, name.constData()) ? &replacement : nullptr; };
  return Replace_Words(text.constData(), text.size(), replacement_of, &result) ? result : text;
}
} // namespace Expression_Text

bool TExpression::Add_Variable(const QString& name, double value)
{
  if(name.isEmpty())
  {
    return false;
  }
  for(std::size_t i = 0; i < d_variables.size(); ++i)
  {
    if(d_variables[i].name == name)
    {
      d_variables[i].value = value;
      d_substitutions[i].value_text = Expression_Text::Value_Text(value);
      return true;
    }
  }

  std::size_t position = 0;
  while(position < d_variables.size() && d_variables[position].name.size() >= name.size())
  {
    ++position;
  }

  TSubstitution substitution;
  substitution.name = name.toUpper();
  substitution.value_text = Expression_Text::Value_Text(value);
  substitution.word = Is_Word(substitution.name);
  if(!substitution.word)
  {
    // The name is not escaped: a name with pattern characters behaves as that pattern.
    substitution.pattern = QRegularExpression(QString("(\\b%1\\b)").arg(substitution.name));
    substitution.pattern.optimize();
  }

  d_variables.insert(d_variables.begin() + static_cast<std::ptrdiff_t>(position), TVariable{name, value});
  d_substitutions.insert(d_substitutions.begin() + static_cast<std::ptrdiff_t>(position), substitution);
  Update_Single_Pass();
  return true;
}

bool TExpression::Add_Variable(const TVariable& variable)
{
  return Add_Variable(variable.name, variable.value);
}

QString TExpression::Variable_Name(int index) const
{
  VARLUME_ASSERT(static_cast<unsigned int>(index) < d_variables.size());
  return d_variables[static_cast<std::size_t>(index)].name;
}

double TExpression::Variable_Value(int index) const
{
  VARLUME_ASSERT(static_cast<unsigned int>(index) < d_variables.size());
  return d_variables[static_cast<std::size_t>(index)].value;
}

TExpression::TVariable TExpression::Variable(int index) const
{
  VARLUME_ASSERT(static_cast<unsigned int>(index) < d_variables.size());
  return d_variables[static_cast<std::size_t>(index)];
}

double TExpression::Variable_Value(const QString& name, bool* ok) const
{
  for(const TVariable& variable : d_variables)
  {
    if(variable.name == name)
    {
      if(ok)
      {
        *ok = true;
      }
      return variable.value;
    }
  }
  if(ok)
  {
    *ok = false;
  }
  return 0.0;
}

double TExpression::Evaluate(const QString& expression, bool* ok) const
{
  if(ok)
  {
    *ok = false;
  }
  if(expression.isEmpty())
  {
    return 0.0;
  }

  // Short ASCII texts are rewritten in buffers on the stack; the rest takes the Qt calls.
  TBuffer normalised;
  QString normalised_text;
  const QChar* source = nullptr;
  int source_size = 0;
  if(Normalise_Ascii(expression, &normalised))
  {
    source = normalised.constData();
    source_size = normalised.size();
  }
  else
  {
    normalised_text = Expression_Text::Normalise(expression);
    source = normalised_text.constData();
    source_size = normalised_text.size();
  }

  TText text;
  TBuffer rewritten;
  QString rewritten_text;
  if(d_single_pass)
  {
    if(Substitute_Words(source, source_size, &rewritten))
    {
      text.chars = rewritten.constData();
      text.size = rewritten.size();
    }
    else
    {
      text.chars = source;
      text.size = source_size;
    }
  }
  else
  {
    rewritten_text = Substitute(QString(source, source_size));
    text.chars = rewritten_text.constData();
    text.size = rewritten_text.size();
  }

  // One pass pairs the parentheses and finds the commas; text nested too deeply stops here,
  // before any recursion.
  QVarLengthArray<int, 16> open;
  for(int i = 0; i < text.size; ++i)
  {
    const ushort c = text.chars[i].unicode();
    if(c == '(')
    {
      if(open.size() == MAXIMUM_NESTING)
      {
        return 0.0;
      }
      open.append(text.braces.size());
      text.braces.append(std::make_pair(i, -1));
    }
    else if(c == ')')
    {
      if(!open.isEmpty())
      {
        text.braces[open.last()].second = i;
        open.removeLast();
      }
    }
    else if(c == ',')
    {
      text.commas.append(i);
    }
  }

  bool valid = false;
  const double result = Process_Expression(text, 0, text.size, 0, &valid);
  if(ok)
  {
    *ok = valid;
  }
  return valid ? result : 0.0;
}

void TExpression::Update_Single_Pass()
{
  // Value texts hold digit words (and "nan", "inf" in lower case): a later name can only match
  // inside one when it is all digits, or when it is a pattern.
  d_single_pass = std::all_of(d_substitutions.begin(), d_substitutions.end(),
                              [](const TSubstitution& s) {
                                return s.word && !std::all_of(s.name.begin(), s.name.end(),
                                                              [](QChar ch) { return Is_Digit(ch.unicode()); });
                              });
}

QString TExpression::Substitute(const QString& text) const
{
  QString result = text;
  for(const TSubstitution& substitution : d_substitutions)
  {
    if(substitution.word)
    {
      result = Expression_Text::Replace_Word(result, substitution.name, substitution.value_text);
    }
    else if(substitution.pattern.isValid()) // Qt would only warn and leave the text as it is
    {
      result.replace(substitution.pattern, substitution.value_text);
    }
  }
  return result;
}

bool TExpression::Substitute_Words(const QChar* chars, int size, QVarLengthArray<QChar, 256>* rewritten) const
{
  // Each whole word takes the first variable, in list order, whose name it equals: the same as
  // replacing variable after variable, since no value text contains a name.
  const auto replacement_of = [this](const QChar* word, int length) -> const QString*
  {
    for(const TSubstitution& substitution : d_substitutions)
    {
      if(substitution.name.size() == length && std::equal(word, word + length, substitution.name.constData()))
      {
        return &substitution.value_text;
      }
    }
    return nullptr;
  };
  return Replace_Words(chars, size, replacement_of, rewritten);
}

double TExpression::Process_Expression(const TText& text, int begin, int end, int depth, bool* valid) const
{
  *valid = false;
  if(depth > MAXIMUM_NESTING)
  {
    return 0.0;
  }

  const QChar* chars = text.chars;
  TNumberStack number_stack;
  TOperatorStack oper_stack;
  int number_start = begin;
  double pending = 0.0;
  bool has_pending = false; // the last operand was a group or a function call

  for(int i = begin; i < end; ++i)
  {
    const ushort ch = chars[i].unicode();
    if(has_pending && !Is_Operator(ch))
    {
      return 0.0; // (2)3, (1)(2), SQRT(4)(2)
    }

    if(ch == ')')
    {
      return 0.0;
    }
    if(ch == '.' || Is_Digit(ch))
    {
      continue; // part of the number text
    }
    if(Is_Operator(ch))
    {
      if(i == begin)
      {
        continue; // a sign, part of the first number
      }
      double left = pending;
      if(!has_pending)
      {
        bool number_valid = false;
        left = Expression_Text::To_Double(chars + number_start, i - number_start, &number_valid);
        if(!number_valid)
        {
          return 0.0; // 2*-3 ends here on the empty text between the operators
        }
      }
      number_stack.append(left);
      Push_Operator(QChar(ch), &number_stack, &oper_stack);
      has_pending = false;
      number_start = i + 1;
      continue;
    }

    // A group or a function call, after nothing or a sign.
    bool negate = false;
    if(!Group_Sign(chars, begin, number_start, i, &negate))
    {
      return 0.0;
    }
    int operand_length = 0;
    bool operand_valid = false;
    const double value = ch == '(' ? Process_Group(text, i, end, depth, &operand_length, &operand_valid)
                                   : Process_Function(text, i, end, depth, &operand_length, &operand_valid);
    if(!operand_valid)
    {
      return 0.0;
    }
    pending = negate ? -value : value;
    has_pending = true;
    i += operand_length;
  }

  if(has_pending)
  {
    number_stack.append(pending);
  }
  else if(number_start < end)
  {
    bool number_valid = false;
    const double value = Expression_Text::To_Double(chars + number_start, end - number_start, &number_valid);
    if(!number_valid)
    {
      return 0.0;
    }
    number_stack.append(value);
  }

  if(number_stack.size() != oper_stack.size() + 1)
  {
    return 0.0;
  }
  while(!oper_stack.isEmpty())
  {
    Apply_Expression(&number_stack, &oper_stack);
  }
  *valid = true;
  return number_stack.last();
}

double TExpression::Process_Group(const TText& text, int open, int end, int depth, int* group_length, bool* valid) const
{
  *valid = false;
  const int close = Find_Closing_Brace(text, open, end);
  if(close < 0)
  {
    return 0.0;
  }
  *group_length = close - open;
  return Process_Expression(text, open + 1, close, depth + 1, valid);
}

void TExpression::Push_Operator(QChar oper, TNumberStack* number_stack, TOperatorStack* oper_stack) const
{
  const int precedence = Operator_Precidence(oper);
  while(!oper_stack->isEmpty())
  {
    const int top = Operator_Precidence(oper_stack->last());
    // ^ groups from the right: it only yields to a stronger operator, and none is.
    if(oper == QLatin1Char('^') ? top <= precedence : top < precedence)
    {
      break;
    }
    Apply_Expression(number_stack, oper_stack);
  }
  oper_stack->append(oper);
}

double TExpression::Process_Function(const TText& text, int begin, int end, int depth, int* function_length,
                                     bool* valid) const
{
  VARLUME_ASSERT(function_length);
  VARLUME_ASSERT(valid);
  *valid = false;

  const QChar* chars = text.chars + begin;
  const int length = end - begin;
  bool sum_of_squares = false;
  int open = 0;
  if(Starts_With(chars, length, "SUMSQ("))
  {
    sum_of_squares = true;
    open = begin + 5;
  }
  else if(Starts_With(chars, length, "SQRT("))
  {
    open = begin + 4;
  }
  else
  {
    return 0.0; // another name, a stray ',' or an undefined variable
  }

  const int close = Find_Closing_Brace(text, open, end);
  if(close < 0)
  {
    return 0.0;
  }
  *function_length = close - begin;

  bool part_valid = false;
  if(!sum_of_squares)
  {
    const double value = Process_Expression(text, open + 1, close, depth + 1, &part_valid);
    if(!part_valid)
    {
      return 0.0;
    }
    *valid = true;
    return std::sqrt(value);
  }

  // Split at every comma, nested or not: SUMSQ(SUMSQ(1,2),3) is cut apart and fails.
  const int* comma = std::lower_bound(text.commas.begin(), text.commas.end(), open + 1);
  double sum = 0.0;
  int part_start = open + 1;
  for(;;)
  {
    const int part_end = (comma != text.commas.end() && *comma < close) ? *comma : close;
    const double value = Process_Expression(text, part_start, part_end, depth + 1, &part_valid);
    if(!part_valid)
    {
      return 0.0;
    }
    sum += value * value;
    if(part_end == close)
    {
      break;
    }
    part_start = part_end + 1;
    ++comma;
  }
  *valid = true;
  return std::sqrt(sum);
}

int TExpression::Find_Closing_Brace(const TText& text, int start, int end) const
{
  if(start >= end || text.size == 0)
  {
    return -1;
  }
  // The pairing of the whole text holds for any range of it: the match of a '(' is the first
  // ')' after it at depth 0, wherever the range ends.
  const auto brace = std::lower_bound(text.braces.begin(), text.braces.end(), start,
                                      [](const std::pair<int, int>& b, int position) { return b.first < position; });
  VARLUME_ASSERT(brace != text.braces.end() && brace->first == start);
  return brace->second < end ? brace->second : -1;
}

int TExpression::Operator_Precidence(const QChar& ch) const
{
  switch(ch.unicode())
  {
  case '^':
    return 3;
  case '*':
  case '/':
    return 2;
  case '+':
  case '-':
    return 1;
  default:
    return 0;
  }
}

void TExpression::Apply_Expression(TNumberStack* number_stack, TOperatorStack* oper_stack) const
{
  VARLUME_ASSERT(number_stack->size() > 1);
  VARLUME_ASSERT(oper_stack->size());

  const ushort oper = oper_stack->last().unicode();
  oper_stack->removeLast();
  const double right = number_stack->last();
  number_stack->removeLast();
  const double left = number_stack->last();
  number_stack->removeLast();

  double result = 0.0;
  switch(oper)
  {
  case '+':
    result = left + right;
    break;
  case '-':
    result = left - right;
    break;
  case '*':
    result = left * right;
    break;
  case '/':
    result = left / right;
    break; // x/0 gives IEEE infinity or NaN, which is not an error
  case '^':
    result = std::pow(left, right);
    break;
  default:
    break;
  }
  number_stack->append(result);
}
