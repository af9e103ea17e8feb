#include "src/gui/checklist.h"

#include <QListWidget>

namespace Check_List
{
void Fill(QListWidget* list, const QStringList& names, const QStringList& checked)
{
  const QSignalBlocker blocker(list);
  list->clear();
  for(const QString& name : names)
  {
    QListWidgetItem* item = new QListWidgetItem(name, list);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
    item->setCheckState(checked.contains(name) ? Qt::Checked : Qt::Unchecked);
  }
}

QStringList Checked(const QListWidget* list)
{
  QStringList names;
  for(int row = 0; row < list->count(); ++row)
  {
    if(list->item(row)->checkState() == Qt::Checked)
    {
      names.push_back(list->item(row)->text());
    }
  }
  return names;
}
} // namespace Check_List
