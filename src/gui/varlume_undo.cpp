// Undo and redo of the window's library changes: each change keeps the library as it was before
// and after, so that any edit (add, remove, rename, editor) is undone the same way.
#include <QListWidget>
#include <QSignalBlocker>
#include <QUndoCommand>
#include <QUndoStack>

#include <memory>
#include <utility>

#include "src/gui/machinedialog.h"
#include "src/gui/measurementdialog.h"
#include "src/gui/varlume.h"

class TVarlume::TLibraryChange : public QUndoCommand
{
public:
  TLibraryChange(TVarlume* window, TLibrary library, const QString& text, const QByteArray& before,
                 const QByteArray& after)
      : QUndoCommand(text), d_window(window), d_library(library), d_before(before), d_after(after)
  {
  }

  void undo() override { d_window->Restore_Library(d_library, d_before); }

  void redo() override
  {
    // Pushed after the change was made: the first redo has nothing to do.
    if(d_done)
    {
      d_window->Restore_Library(d_library, d_after);
    }
    d_done = true;
  }

private:
  TVarlume* d_window;
  TLibrary d_library;
  QByteArray d_before;
  QByteArray d_after;
  bool d_done = false;
};

// A removal undone and redone record by record: the records taken out wait here and go back to
// their places, so that a library of tens of thousands is neither copied nor read again.
class TVarlume::TRemoval : public QUndoCommand
{
public:
  TRemoval(TVarlume* window, TLibrary library, const QString& text, const std::vector<int>& ids)
      : QUndoCommand(text), d_window(window), d_library(library), d_ids(ids)
  {
  }

  // Takes the records out; false when none of the ids is in the library.
  bool Take()
  {
    std::vector<std::size_t> rows;
    if(d_library == LIBRARY_MACHINES)
    {
      d_machines = d_window->d_machine_dialog->Library().Take_Machines(d_ids);
      for(const auto& taken : d_machines)
      {
        rows.push_back(taken.first);
      }
    }
    else
    {
      d_measurements = d_window->d_measurement_dialog->Library().Take_Measurements(d_ids);
      for(const auto& taken : d_measurements)
      {
        rows.push_back(taken.first);
      }
    }
    d_window->Follow_Removal(d_library, rows, false);
    return !rows.empty();
  }

  void undo() override
  {
    std::vector<std::size_t> rows;
    if(d_library == LIBRARY_MACHINES)
    {
      for(const auto& taken : d_machines)
      {
        rows.push_back(taken.first);
      }
      d_window->d_machine_dialog->Library().Put_Back_Machines(std::move(d_machines));
      d_machines.clear();
    }
    else
    {
      for(const auto& taken : d_measurements)
      {
        rows.push_back(taken.first);
      }
      d_window->d_measurement_dialog->Library().Put_Back_Measurements(std::move(d_measurements));
      d_measurements.clear();
    }
    d_window->Follow_Removal(d_library, rows, true);
  }

  void redo() override
  {
    // Pushed after the records were taken out: the first redo has nothing to do.
    if(d_done)
    {
      Take();
    }
    d_done = true;
  }

private:
  TVarlume* d_window;
  TLibrary d_library;
  std::vector<int> d_ids;
  TMachineLibrary::TTaken d_machines;
  TMeasurementLibrary::TTaken d_measurements;
  bool d_done = false;
};

void TVarlume::Remove_Records(TLibrary library, const std::vector<int>& ids, const QString& text)
{
  auto removal = std::make_unique<TRemoval>(this, library, text, ids);
  if(removal->Take())
  {
    d_undo_stack->push(removal.release());
  }
}

std::function<QByteArray()> TVarlume::Later_Snapshot(TLibrary library) const
{
  // Copied now, written later: the records may change before the writer gets to them.
  std::shared_ptr<const TLibraryFile> copy = library == LIBRARY_MACHINES
                                                 ? d_machine_dialog->Library().Copy_Records()
                                                 : d_measurement_dialog->Library().Copy_Records();
  return [copy]() { return copy->Snapshot(); };
}

QByteArray TVarlume::Library_Snapshot(TLibrary library) const
{
  return library == LIBRARY_MACHINES ? d_machine_dialog->Snapshot() : d_measurement_dialog->Snapshot();
}

void TVarlume::Record_Change(TLibrary library, const QString& text, const QByteArray& before)
{
  const QByteArray after = Library_Snapshot(library);
  if(before.isEmpty() || after.isEmpty() || after == before)
  {
    return;
  }
  d_undo_stack->push(new TLibraryChange(this, library, text, before, after));
  Keep_For_Recovery(library, after);
}

namespace
{
// The rows of a list, to be selected again once the library is restored: its records come back
// as new ones, which the list cannot recognise.
struct TListState
{
  int count = 0;
  std::vector<int> rows;
  QStringList names;
  int current = -1;
};

TListState List_State(const QListWidget* list)
{
  TListState state;
  state.count = list->count();
  state.current = list->currentRow();
  for(int row = 0; row < list->count(); ++row)
  {
    if(list->item(row)->isSelected())
    {
      state.rows.push_back(row);
      state.names.push_back(list->item(row)->text());
    }
  }
  return state;
}

// By row while the list keeps its length (an edit or a rename undone: the records stay in
// place), else by name.
void Select_Again(QListWidget* list, const TListState& state)
{
  const QSignalBlocker blocker(list);
  const bool same = list->count() == state.count;
  if(same && state.current >= 0 && state.current < list->count())
  {
    list->setCurrentRow(state.current, QItemSelectionModel::NoUpdate);
  }
  list->clearSelection();
  for(std::size_t i = 0; i < state.rows.size(); ++i)
  {
    QListWidgetItem* item = nullptr;
    if(same)
    {
      item = list->item(state.rows[i]);
    }
    else
    {
      const QList<QListWidgetItem*> found = list->findItems(state.names[static_cast<int>(i)], Qt::MatchExactly);
      item = found.isEmpty() ? nullptr : found.front();
    }
    if(item)
    {
      list->selectionModel()->select(list->model()->index(list->row(item), 0), QItemSelectionModel::Select);
    }
  }
}
} // namespace

void TVarlume::Restore_Library(TLibrary library, const QByteArray& snapshot)
{
  Keep_For_Recovery(library, snapshot);
  if(library == LIBRARY_MACHINES)
  {
    const TListState state = List_State(d_machine_list);
    d_machine_dialog->Restore(snapshot);
    Update_Machine_Names();
    Select_Again(d_machine_list, state);
    Machine_Selection_Changed();
  }
  else
  {
    const TListState state = List_State(d_measurement_list);
    d_measurement_dialog->Restore(snapshot);
    Update_Measurement_Names();
    Select_Again(d_measurement_list, state);
    Measurement_Selection_Changed();
  }
}
