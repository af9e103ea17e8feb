#ifndef NUMBERFIELD_H
#define NUMBERFIELD_H

#include <QString>

class QLineEdit;

namespace NumberField
{
// True for a text that reads as a finite number ("1.5", "-2e3"); false for "nan", "inf",
// "1e309", an empty text or anything else.
bool Is_Finite_Number(const QString& text);

// Marks a field whose text the model will refuse: a tinted background and a tool tip that
// says why, or back to normal. The text is left as typed. The property "invalid" tells tests.
void Mark(QLineEdit* edit, bool invalid);
} // namespace NumberField

#endif
