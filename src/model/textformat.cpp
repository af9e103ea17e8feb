#include "src/model/textformat.h"

#include <charconv>

namespace Text
{
QString Pad_String(const QString& text, int width, bool comma)
{
  QString padded = text;
  if(comma)
  {
    padded += QLatin1Char(',');
  }
  while(padded.size() < width)
  {
    padded += QLatin1Char(' ');
  }
  return padded;
}

void Append_Number(QString* line, double value, int width, int decimals)
{
  const QString digits = QString::number(value, 'f', decimals);
  for(int blanks = width - digits.size(); blanks > 0; --blanks)
  {
    line->append(QLatin1Char(' '));
  }
  line->append(digits);
}

QString Number(double value, int width, int decimals)
{
  QString text;
  Append_Number(&text, value, width, decimals);
  return text;
}

QString Triple(const TVector3& vector, int decimals, const char* separator)
{
  QString text;
  Append_Number(&text, vector.x, 0, decimals);
  text += QLatin1String(separator);
  Append_Number(&text, vector.y, 0, decimals);
  text += QLatin1String(separator);
  Append_Number(&text, vector.z, 0, decimals);
  return text;
}

QString Shortest_Number(double value)
{
  char buffer[64];
  const std::to_chars_result result = std::to_chars(buffer, buffer + sizeof(buffer), value);
  return QString::fromLatin1(buffer, static_cast<int>(result.ptr - buffer));
}

bool Read_Number(const QString& text, double* value)
{
  const QByteArray bytes = text.trimmed().toLatin1();
  const char* end = bytes.constData() + bytes.size();
  const std::from_chars_result result = std::from_chars(bytes.constData(), end, *value);
  return !bytes.isEmpty() && result.ec == std::errc() && result.ptr == end;
}
} // namespace Text
