#ifndef CHECKLIST_H
#define CHECKLIST_H

#include <QStringList>

class QListWidget;

// A list of names, each with a check box, as the dialogs offer the library's measurements.
namespace Check_List
{
// Replaces the list's items (without signals) by names, checked where checked says so.
void Fill(QListWidget* list, const QStringList& names, const QStringList& checked);
// The checked names, in the list's order.
QStringList Checked(const QListWidget* list);
} // namespace Check_List

#endif
