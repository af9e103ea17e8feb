#ifndef QUICKSTART_H
#define QUICKSTART_H

#include <QString>

class QWidget;

namespace Quick_Start
{
// The section "Using Varlume" of the README (Markdown): from its heading up to the next
// heading of the same level, or to the end. Empty when the text has no such section.
QString Section(const QString& readme);

// The window of Help > Quick Start: the section of the README built into the program, in a
// window of its own that stays open beside the main window. Shown again when already open.
void Show(QWidget* parent);
} // namespace Quick_Start

#endif
