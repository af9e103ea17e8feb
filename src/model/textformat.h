#ifndef TEXTFORMAT_H
#define TEXTFORMAT_H

#include <QString>

#include "core/vector3.h"

// The column helpers of every fixed-width text the model writes: the report panes, the export
// files and the evaluation file. They sit below all three so that a change of one column rule
// reaches all of them, and so that an export need not reach into the report.
namespace Text
{
// text, then "," when comma is set, then blanks up to width characters; never shortens.
QString Pad_String(const QString& text, int width, bool comma);

// Appends QString::arg(value, width, 'f', decimals), which the columns are defined by, without
// parsing a "%1" template for every field: the digits are the same conversion, and the number
// is padded on the left with blanks up to width, never cut (no padding for width 0).
void Append_Number(QString* line, double value, int width, int decimals);

// The same as a text of its own.
QString Number(double value, int width, int decimals);

// The three coordinates without field width, separated by separator ("," or ", ").
QString Triple(const TVector3& vector, int decimals, const char* separator);

// The shortest text that reads back to the same double ("0.1", "-2.5e-07", "inf"), in the C
// locale whatever the user's.
QString Shortest_Number(double value);
// The whole text as a double, as Shortest_Number writes it ("inf" included); false otherwise.
bool Read_Number(const QString& text, double* value);
} // namespace Text

#endif
