#include "core/gui/numberfield.h"

#include <QLineEdit>
#include <QPalette>

#include <cmath>

namespace NumberField
{
bool Is_Finite_Number(const QString& text)
{
  bool number = false;
  const double value = text.trimmed().toDouble(&number);
  return number && std::isfinite(value);
}

void Mark(QLineEdit* edit, bool invalid)
{
  if(edit->property("invalid").toBool() == invalid)
  {
    return;
  }
  edit->setProperty("invalid", invalid);
  QPalette palette = edit->palette();
  // A light red that keeps the text readable in light and dark themes' text colours.
  palette.setColor(QPalette::Base, invalid ? QColor(255, 210, 210) : QPalette().color(QPalette::Base));
  edit->setPalette(palette);
  edit->setToolTip(invalid ? QObject::tr("Not a finite number: the value is refused where it is used.") : QString());
}
} // namespace NumberField
