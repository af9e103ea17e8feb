#include "src/gui/varlume.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>

#include <unordered_map>
#include <vector>

#include "core/varlume_assert.h"
#include "src/gui/adddialog.h"
#include "src/gui/displaywidget.h"
#include "src/gui/machinedialog.h"
#include "src/gui/measurementdialog.h"
#include "src/model/conformity.h"
#include "src/model/export.h"
#include "src/model/report.h"

namespace
{
// Made whole before it joins the list, which then announces it once.
QListWidgetItem* List_Item(const QString& name, int id)
{
  QListWidgetItem* item = new QListWidgetItem(name);
  item->setData(Qt::UserRole, id);
  item->setFlags(item->flags() | Qt::ItemIsEditable);
  return item;
}

// The ids of the selected rows.
std::vector<int> Selected_Ids(const QListWidget* list)
{
  std::vector<int> ids;
  for(const QListWidgetItem* item : list->selectedItems())
  {
    ids.push_back(item->data(Qt::UserRole).toInt());
  }
  return ids;
}

// Refills the list from the library: the names and their ids, in one order. Rows that were
// selected stay selected, in their order, and the current row stays current; the list's own
// signals are held back, so the caller refreshes the panes once. True when a row was selected
// before. Linear in the rows: a library may hold tens of thousands.
bool Fill_List(QListWidget* list, const QStringList& names, const std::vector<int>& ids)
{
  VARLUME_ASSERT(static_cast<std::size_t>(names.size()) == ids.size());
  std::vector<int> selected_ids;
  for(const QListWidgetItem* item : list->selectedItems())
  {
    selected_ids.push_back(item->data(Qt::UserRole).toInt());
  }
  const int current_id = list->currentItem() ? list->currentItem()->data(Qt::UserRole).toInt() : -1;

  const QSignalBlocker blocker(list);
  list->setUpdatesEnabled(false);
  list->clear();
  std::unordered_map<int, int> rows;
  rows.reserve(ids.size());
  for(int row = 0; row < names.size(); ++row)
  {
    list->addItem(List_Item(names[row], ids[row]));
    rows.emplace(ids[row], row);
  }
  const auto found_current = rows.find(current_id);
  if(found_current != rows.end())
  {
    list->setCurrentItem(list->item(found_current->second), QItemSelectionModel::NoUpdate);
  }
  QItemSelection selection;
  for(const int id : selected_ids)
  {
    const auto found = rows.find(id);
    if(found != rows.end())
    {
      const QModelIndex index = list->model()->index(found->second, 0);
      selection.select(index, index);
    }
  }
  list->selectionModel()->select(selection, QItemSelectionModel::Select);
  list->setUpdatesEnabled(true);
  return !selected_ids.empty();
}
} // namespace

QString TVarlume::Active_Machine_Name() const
{
  const QList<QListWidgetItem*> selected = d_machine_list->selectedItems();
  return selected.size() == 1 ? selected.front()->text() : QString();
}

QStringList TVarlume::Selected_Measurements() const
{
  QStringList names;
  for(const QListWidgetItem* item : d_measurement_list->selectedItems())
  {
    names.push_back(item->text());
  }
  return names;
}

void TVarlume::Update_Machine_Names()
{
  const bool changed = Fill_List(d_machine_list, d_machine_dialog->Machine_Names(), d_machine_dialog->Machine_Ids());
  // Whether each machine can be decided on (an MPE) and how sure (a covariance). The rows are
  // in the library's order.
  const std::vector<TMachineDialog::TMachineItem>& machines = d_machine_dialog->Machines();
  for(int row = 0; row < d_machine_list->count() && static_cast<std::size_t>(row) < machines.size(); ++row)
  {
    d_machine_list->item(row)->setToolTip(Conformity::Record_Summary(machines[row]).join(QLatin1Char('\n')));
  }
  if(changed)
  {
    // A machine shown may be gone or renamed: every pane follows the library.
    Machine_Selection_Changed();
  }
  Update_Identify_Enabled();
}

void TVarlume::Update_Measurement_Names()
{
  if(Fill_List(d_measurement_list, d_measurement_dialog->Measurement_Names(), d_measurement_dialog->Measurement_Ids()))
  {
    Measurement_Selection_Changed();
  }
  Update_Identify_Enabled();
}

void TVarlume::Update_Measurement_Display()
{
  Update_Measurement_Names();
}

void TVarlume::Add_Machine()
{
  if(!d_add_dialog)
  {
    d_add_dialog = new TAddDialog(this);
  }
  d_add_dialog->Reset(TAddDialog::TYPE_MACHINE, d_machine_dialog->Machine_Names());
  if(d_add_dialog->exec() == QDialog::Accepted)
  {
    const QByteArray before = Library_Snapshot(LIBRARY_MACHINES);
    // The dialog accepts only names that are unique once white space is simplified; store that
    // form so the list shows what the look-ups compare.
    const int id = d_machine_dialog->Create_Machine(d_add_dialog->Name().simplified());
    Record_Change(LIBRARY_MACHINES, tr("Add Machine"), before);
    Update_Machine_Names();
    // The machine just added is the one to work on.
    for(int row = 0; row < d_machine_list->count(); ++row)
    {
      if(d_machine_list->item(row)->data(Qt::UserRole).toInt() == id)
      {
        d_machine_list->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
      }
    }
  }
}

bool TVarlume::Confirm_Removal(const QString& kind, const QString& kinds, const QStringList& names)
{
  if(names.isEmpty())
  {
    return false;
  }
  QStringList quoted;
  for(const QString& name : names)
  {
    quoted.push_back(QStringLiteral("\"%1\"").arg(name));
  }
  QMessageBox box(QMessageBox::Question, tr("Remove"),
                  names.size() == 1 ? tr("Remove the %1 %2?").arg(kind, quoted.front())
                                    : tr("Remove these %1 %2?").arg(names.size()).arg(kinds),
                  QMessageBox::Cancel, this);
  box.setObjectName(QStringLiteral("remove_confirmation"));
  if(names.size() > 1)
  {
    box.setInformativeText(quoted.join(QStringLiteral(", ")));
  }
  QPushButton* remove = box.addButton(tr("Remove"), QMessageBox::DestructiveRole);
  box.setDefaultButton(QMessageBox::Cancel);
  box.exec();
  return box.clickedButton() == remove;
}

void TVarlume::Remove_Machine()
{
  QStringList names;
  for(const QListWidgetItem* item : d_machine_list->selectedItems())
  {
    names.push_back(item->text());
  }
  if(d_read_only || !Confirm_Removal(tr("machine"), tr("machines"), names))
  {
    return;
  }
  Remove_Records(LIBRARY_MACHINES, Selected_Ids(d_machine_list), tr("Remove Machine"));
}

void TVarlume::Rename_Machine(QWidget* editor)
{
  QLineEdit* line_edit = qobject_cast<QLineEdit*>(editor);
  QListWidgetItem* item = d_machine_list->currentItem();
  if(!line_edit || !item)
  {
    return;
  }
  const int id = item->data(Qt::UserRole).toInt();
  // An emptied name cancels the rename: the list shows the stored name again.
  if(line_edit->text().trimmed().isEmpty())
  {
    item->setText(d_machine_dialog->Machine_Name(id));
    return;
  }
  const QByteArray before = Library_Snapshot(LIBRARY_MACHINES);
  item->setText(d_machine_dialog->Rename_Machine(id, line_edit->text()));
  Record_Change(LIBRARY_MACHINES, tr("Rename Machine"), before);
  Report_Rename(tr("machine"), line_edit->text(), item->text());
  // The map and the reports name the machine.
  if(item->isSelected())
  {
    Machine_Selection_Changed();
  }
}

void TVarlume::Remove_Measurement()
{
  const QStringList names = Selected_Measurements();
  if(d_read_only || !Confirm_Removal(tr("measurement"), tr("measurements"), names))
  {
    return;
  }
  Remove_Records(LIBRARY_MEASUREMENTS, Selected_Ids(d_measurement_list), tr("Remove Measurement"));
}

void TVarlume::Follow_Removal(TLibrary library, const std::vector<std::size_t>& rows, bool put_back)
{
  if(!rows.empty())
  {
    Keep_For_Recovery(library, Later_Snapshot(library));
  }
  const bool machines = library == LIBRARY_MACHINES;
  QListWidget* list = machines ? d_machine_list : d_measurement_list;
  const std::vector<TMeasurement*> measurements =
      machines ? std::vector<TMeasurement*>() : d_measurement_dialog->Library().All_Measurements();
  const std::size_t size = machines ? d_machine_dialog->Machines().size() : measurements.size();
  const std::size_t before = put_back ? size - rows.size() : size + rows.size();
  // Row by row while few rows change in a list that shows the library; else it is filled anew,
  // which keeps its selection.
  if(rows.size() > 100 || static_cast<std::size_t>(list->count()) != before)
  {
    machines ? Update_Machine_Names() : Update_Measurement_Names();
    return;
  }
  {
    const QSignalBlocker blocker(list);
    if(put_back)
    {
      for(const std::size_t row : rows)
      {
        if(machines)
        {
          const TMachineDialog::TMachineItem& machine = d_machine_dialog->Machines()[row];
          QListWidgetItem* item = List_Item(machine.name, machine.id);
          item->setToolTip(Conformity::Record_Summary(machine).join(QLatin1Char('\n')));
          list->insertItem(static_cast<int>(row), item);
        }
        else
        {
          const TMeasurement* measurement = measurements[row];
          list->insertItem(static_cast<int>(row), List_Item(measurement->d_name, measurement->d_id));
        }
      }
    }
    else
    {
      for(auto row = rows.rbegin(); row != rows.rend(); ++row)
      {
        delete list->takeItem(static_cast<int>(*row));
      }
    }
  }
  // Every pane follows the library, as after a refill.
  machines ? Machine_Selection_Changed() : Measurement_Selection_Changed();
  Update_Identify_Enabled();
}

void TVarlume::Rename_Measurement(QWidget* editor)
{
  QLineEdit* line_edit = qobject_cast<QLineEdit*>(editor);
  QListWidgetItem* item = d_measurement_list->currentItem();
  if(!line_edit || !item)
  {
    return;
  }
  const int id = item->data(Qt::UserRole).toInt();
  // An emptied name cancels the rename: the list shows the stored name again.
  if(line_edit->text().trimmed().isEmpty())
  {
    if(const TMeasurement* measurement = d_measurement_dialog->Measurement(id))
    {
      item->setText(measurement->d_name);
    }
    return;
  }
  const QByteArray before = Library_Snapshot(LIBRARY_MEASUREMENTS);
  item->setText(d_measurement_dialog->Rename_Measurement(id, line_edit->text()));
  Record_Change(LIBRARY_MEASUREMENTS, tr("Rename Measurement"), before);
  Report_Rename(tr("measurement"), line_edit->text(), item->text());
  if(item->isSelected())
  {
    Measurement_Selection_Changed();
  }
}

void TVarlume::Machine_Selection_Changed()
{
  Enable_Machine_Controls(false, false);

  const int count = d_machine_list->selectedItems().size();
  if(count == 1)
  {
    Activate_Machine(d_machine_list->selectedItems().front()->text());
    Enable_Machine_Controls(true, true);
  }
  else if(count == 0)
  {
    d_display_widget->Clear_Map_Data();
    d_display_widget->Clear_Measurement_Data();
    d_display_widget->Clear_Graphical_Data();
    d_display_widget->Clear_Selection_Data();
    Activate_Machine(QString());
  }
  else
  {
    d_display_widget->Clear_Map_Data();
    d_display_widget->Clear_Measurement_Data();
    Activate_Machine(QString());
    Enable_Machine_Controls(true, false);
  }
}

void TVarlume::Activate_Machine(const QString& name)
{
  d_display_widget->Clear_Selection_Data();
  d_display_widget->Clear_Graphical_Data();
  d_machine_setup_failed = false;
  d_machine_setup_errors.clear();
  if(name.isEmpty())
  {
    d_display_widget->Clear_Machine_Volume();
    return;
  }

  QStringList errors;
  if(Update_Machine_Comp(name, &errors))
  {
    Update_Map_Display();
    Measurement_Selection_Changed();
    return;
  }

  // d_machine_comp may still hold the machine selected before, or half of this one: nothing of
  // it may stay on show, and nothing is simulated on it until a set-up succeeds.
  d_machine_setup_failed = true;
  d_machine_setup_errors = errors;
  d_display_widget->Clear_Machine_Volume();
  d_display_widget->Clear_Map_Data();
  d_display_widget->Clear_Measurement_Data();
  d_display_widget->Enable_Output_Options(false);
  d_display_widget->Set_Plot_Machine_Failed(name);
  for(const QString& line : Report::Map_Initialization_Errors(errors))
  {
    d_display_widget->Add_Map_Data_Line(line);
    d_display_widget->Add_Selection_Data_Line(line);
  }
  d_display_widget->Add_Map_Data_End();
  d_display_widget->Add_Selection_Data_End();
}

void TVarlume::Measurement_Selection_Changed()
{
  Enable_Measurement_Controls(false, false);
  const QString machine = Active_Machine_Name();

  d_display_widget->Clear_Measurement_Data();
  d_display_widget->Clear_Graphical_Data();
  d_display_widget->Clear_Selection_Data();

  const QStringList names = Selected_Measurements();
  if(names.size() == 1)
  {
    Enable_Measurement_Controls(true, true);
  }
  else if(names.size() > 1)
  {
    Enable_Measurement_Controls(true, false);
  }
  d_display_widget->Enable_Output_Options(false);

  if(machine.isEmpty())
  {
    const QString hint = tr("Select a machine to display the measurement.");
    d_display_widget->Add_Measurement_Data_Line(hint);
    d_display_widget->Add_Selection_Data_Line(hint);
    d_display_widget->Add_Measurement_Data_End();
    d_display_widget->Add_Selection_Data_End();
    return;
  }

  // Errors go to the measurement and the selection pane alike.
  const auto show_errors = [this](const QStringList& lines)
  {
    for(const QString& line : lines)
    {
      d_display_widget->Add_Measurement_Data_Line(line);
      d_display_widget->Add_Selection_Data_Line(line);
    }
    d_display_widget->Add_Measurement_Data_End();
    d_display_widget->Add_Selection_Data_End();
    d_display_widget->Set_Plot_Measurements_Failed(
        tr("The selected measurements could not be simulated: the Measurement Results tab says why."));
  };
  if(d_machine_setup_failed)
  {
    show_errors(Report::Map_Initialization_Errors(d_machine_setup_errors));
    return;
  }

  std::vector<TMeasurement*> measurements = d_measurement_dialog->Measurements(names);
  QStringList lines;
  if(!Report::Simulate_Measurements(&d_machine_comp, &measurements, &lines))
  {
    show_errors(lines);
    return;
  }

  // Nothing selected, nothing to evaluate, export or save.
  d_display_widget->Enable_Output_Options(!measurements.empty());
  d_display_widget->Set_Plot_Measurements(d_machine_comp, measurements);
  for(TMeasurement* measurement : measurements)
  {
    d_display_widget->Add_Graphical_Data(measurement);
  }
  for(const QString& line : lines)
  {
    d_display_widget->Add_Measurement_Data_Line(line);
  }
  d_display_widget->Add_Measurement_Data_End();
  d_display_widget->Add_Graphical_Data_End();
}

void TVarlume::Edit_Machine()
{
  d_machine_dialog->Reset(Active_Machine_Name());
  const QByteArray before = Library_Snapshot(LIBRARY_MACHINES);
  if(d_machine_dialog->exec() == QDialog::Accepted)
  {
    Record_Change(LIBRARY_MACHINES, tr("Edit Machine"), before);
    // The list's tool tips (MPE, covariance) follow, and with the machine selected, its error
    // model and everything simulated on it are rebuilt.
    Update_Machine_Names();
  }
}

void TVarlume::Add_Measurement()
{
  // With one measurement selected, the new one starts as a copy of it. The dialog announces
  // what it creates, which refreshes the list; its result says nothing more.
  const QStringList selected = Selected_Measurements();
  d_measurement_dialog->Reset(QString(), selected.size() == 1 ? selected.front() : QString());
  const QByteArray before = Library_Snapshot(LIBRARY_MEASUREMENTS);
  d_measurement_dialog->exec();
  Record_Change(LIBRARY_MEASUREMENTS, tr("Add Measurement"), before);
}

void TVarlume::Edit_Measurement()
{
  const QStringList selected = Selected_Measurements();
  if(selected.size() != 1)
  {
    return;
  }
  d_measurement_dialog->Reset(selected.front(), QString());
  const QByteArray before = Library_Snapshot(LIBRARY_MEASUREMENTS);
  if(d_measurement_dialog->exec() == QDialog::Accepted)
  {
    Record_Change(LIBRARY_MEASUREMENTS, tr("Edit Measurement"), before);
    Measurement_Selection_Changed();
  }
}

namespace
{
// Renamed files are listed; of the failures the last is shown, as each writer replaced the line
// of an earlier one.
void Show_Export_Result(TDisplayWidget* display, const Export::TResult& result)
{
  if(result.renamed.isEmpty() && result.failures.isEmpty())
  {
    return;
  }
  display->Clear_Selection_Data();
  for(const QString& line : result.renamed)
  {
    display->Add_Selection_Data_Line(line);
  }
  if(!result.failures.isEmpty())
  {
    display->Add_Selection_Data_Line(result.failures.back());
  }
  display->Add_Selection_Data_End();
}

// "N files written to DIR", the failures counted, each renaming listed.
QString Export_Status(const QString& directory, const Export::TResult& result)
{
  const int count = result.files.size();
  QString text = count == 1 ? QObject::tr("1 file written to %1").arg(QDir::toNativeSeparators(directory))
                            : QObject::tr("%1 files written to %2").arg(count).arg(QDir::toNativeSeparators(directory));
  if(!result.failures.isEmpty())
  {
    text += QObject::tr(", %1 failed").arg(result.failures.size());
  }
  for(const QString& line : result.renamed)
  {
    text += QStringLiteral("; ") + line;
  }
  return text;
}
} // namespace

void TVarlume::Export_Measurements()
{
  const QString directory =
      QFileDialog::getExistingDirectory(this, tr("Export Into Directory"), d_export_directory,
                                        QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
  if(!directory.isEmpty())
  {
    d_export_directory = directory;
  }
  if(directory.isEmpty() || Active_Machine_Name().isEmpty())
  {
    return;
  }
  // d_machine_comp then belongs to no machine, or to the one selected before.
  if(d_machine_setup_failed)
  {
    return;
  }
  std::vector<TMeasurement*> measurements = d_measurement_dialog->Measurements(Selected_Measurements());
  Export::TResult result;
  // Failing expressions or an axis exception (partial rows, which no file may pass off as a
  // measurement) stop silently: the panes show the error since the selection.
  if(Export::Export_Measurements(&d_machine_comp, &measurements, directory, &result) == Export::TStatus::WRITTEN)
  {
    Show_Export_Result(d_display_widget, result);
    Show_Status(Export_Status(directory, result));
  }
  else
  {
    Show_Status(tr("Nothing exported: the selected measurements cannot be simulated on this machine."));
  }
}

void TVarlume::Export_Ballbar_Measurement(const QString& directory,
                                          const std::vector<TMeasurement*>& measurements) const
{
  Export::TResult result;
  Export::Write_Ballbar_File(directory, measurements, &result);
  Show_Export_Result(d_display_widget, result);
}

void TVarlume::Export_Laser_Measurement(const QString& directory, TMeasurement* measurement) const
{
  VARLUME_ASSERT(measurement);
  Export::TResult result;
  Export::Write_Laser_Files(d_machine_comp, directory, *measurement, &result);
  Show_Export_Result(d_display_widget, result);
}

void TVarlume::Export_ISO_Measurement(const QString& directory, TMeasurement* measurement) const
{
  VARLUME_ASSERT(measurement);
  Export::TResult result;
  Export::Write_ISO_Files(d_machine_comp, directory, *measurement, &result);
  Show_Export_Result(d_display_widget, result);
}

void TVarlume::Export_MCG_Measurement(const QString& directory, TMeasurement* measurement) const
{
  VARLUME_ASSERT(measurement);
  Export::TResult result;
  Export::Write_MCG_File(directory, *measurement, &result);
  Show_Export_Result(d_display_widget, result);
}
