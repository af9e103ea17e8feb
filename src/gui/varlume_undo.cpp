// Undo and redo of the window's library changes: each change keeps the library as it was before
// and after, so that any edit (add, remove, rename, editor) is undone the same way.
#include <QUndoCommand>
#include <QUndoStack>

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

void TVarlume::Restore_Library(TLibrary library, const QByteArray& snapshot)
{
  Keep_For_Recovery(library, snapshot);
  if(library == LIBRARY_MACHINES)
  {
    d_machine_dialog->Restore(snapshot);
    Update_Machine_Names();
    Machine_Selection_Changed();
  }
  else
  {
    d_measurement_dialog->Restore(snapshot);
    Update_Measurement_Names();
    Measurement_Selection_Changed();
  }
}
