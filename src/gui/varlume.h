#ifndef VARLUME_H
#define VARLUME_H

#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "src/model/evaluation.h"
#include "src/model/machinecomp.h"
#include "src/model/machinelibrary.h"

class QAction;
class QCloseEvent;
class QLabel;
class QListWidget;
class QLockFile;
class QToolButton;
class QUndoStack;
class TAddDialog;
class TDisplayWidget;
class TMachineDialog;
class TMeasurement;
class TMeasurementDialog;
class TIdentifyDialog;
class TPlanDialog;
class TCompensationDialog;
class TReportDialog;
class TMessageBox;
class TProgressDialog;
class TRecoveryWriter;

// The main window: the two library lists in docks, the output area in the middle. It owns the
// libraries (through their dialogs) and the error model of the selected machine, and
// coordinates: the work itself lives in the model layer.
class TVarlume : public QMainWindow
{
  Q_OBJECT

public:
  explicit TVarlume(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
  ~TVarlume() override;

  // Ends what must end before the process does: the changes kept for recovery are written and
  // the data folder is unlocked. After it the window may be left to the process's end instead
  // of being freed record by record.
  void Release_For_Exit();

  // True when another window holds the data folder: the libraries are shown but not changed,
  // and nothing is saved on close, so neither window drops the other's changes.
  bool Read_Only() const { return d_read_only; }

  // The selected machine's name when exactly one row is selected, else empty.
  QString Active_Machine_Name() const;
  // The selected measurement names in the list's selection order.
  QStringList Selected_Measurements() const;

  // True while the active machine's last set-up failed: d_machine_comp then belongs to no
  // machine, and nothing may be simulated, exported or evaluated on it.
  bool Machine_Setup_Failed() const { return d_machine_setup_failed; }

  // ---- Names the design fixed: each member below only forwards, in a line or two, to the
  // GUI-free Simulation, Report, Evaluation and Export functions (src/model/), so the window and
  // varlume-batch print the same bytes. Keep them; put new work in the model.

  // Simulation and reports.
  // Sets up d_machine_comp from the named machine's record; errors (may be null) are appended.
  bool Update_Machine_Comp(const QString& name, QStringList* errors);
  // Evaluate and simulate on any model: the window's, or the evaluation's own per pattern.
  bool Evaluate_Measurement_Expressions(TMachineComp* machine, std::vector<TMeasurement*>* measurements,
                                        QStringList* errors) const;
  // False (with "<name>: <message>" in errors) when the model raised an axis exception.
  bool Update_Measurement_Items(TMachineComp* machine, std::vector<TMeasurement*>* measurements,
                                QStringList* errors = nullptr) const;
  QStringList Report_Measurement_Item(TMeasurement* measurement) const;
  QString Pad_String(const QString& text, int width, bool comma) const;

  // The compensation evaluation's parts.
  std::vector<Evaluation::TErrorPattern>
  Get_Evaluation_Error_Patterns(const std::vector<TMachineLibrary::TMapErrorItem>& items) const;
  bool Get_Min_Max_Ballbar_Error(TMachineComp* machine, std::vector<TMeasurement*>* measurements, double* min,
                                 double* max, double* min_length, double* max_length) const;
  bool Get_Min_Max_ISO_Error(TMachineComp* machine, std::vector<TMeasurement*>* measurements, double* min, double* max,
                             double* min_length, double* max_length) const;
  bool Get_Min_Max_MCG_Error(TMachineComp* machine, std::vector<TMeasurement*>* measurements, double* min, double* max,
                             double* min_length, double* max_length) const;
  bool Get_Min_Max_Laser_Error(TMachineComp* machine, std::vector<TMeasurement*>* measurements, double* min,
                               double* max, double* min_length, double* max_length) const;

  // The single export writers (Export_Measurements runs the model's own driver); each shows a
  // failure as one line in the selection pane.
  void Export_Ballbar_Measurement(const QString& directory, const std::vector<TMeasurement*>& measurements) const;
  void Export_Laser_Measurement(const QString& directory, TMeasurement* measurement) const;
  void Export_ISO_Measurement(const QString& directory, TMeasurement* measurement) const;
  void Export_MCG_Measurement(const QString& directory, TMeasurement* measurement) const;

public slots:
  void Add_Machine();
  void Remove_Machine();
  void Edit_Machine();
  void Rename_Machine(QWidget* editor);

  void Add_Measurement();
  void Remove_Measurement();
  void Edit_Measurement();
  void Rename_Measurement(QWidget* editor);

  void Machine_Selection_Changed();
  void Measurement_Selection_Changed();
  void Activate_Machine(const QString& name);

  void Update_Machine_Names();
  void Update_Measurement_Names();
  void Update_Measurement_Display();

  void Display_Selected_Item(int id, int index);
  void Update_Map_Display();
  void Evaluate_Measurements();
  void Progress_Cancel();
  void Export_Measurements();
  void Identify_Errors();
  void Plan_Tests();
  void Compensate();
  void Export_Report();
  void Help_About();

protected:
  // Delete in a list removes its selected rows (after asking).
  bool eventFilter(QObject* watched, QEvent* event) override;

  // Saves each library that changed. Refused while an evaluation runs; the window then closes
  // as soon as the evaluation has ended.
  void closeEvent(QCloseEvent* event) override;

  // Bracket a long computation that processes events (the compensation evaluation); used
  // through TEvaluationGuard.
  class TEvaluationGuard;
  void Begin_Evaluation();
  void End_Evaluation();
  bool Evaluation_Running() const { return d_evaluation_running; }

private:
  // Identify Errors needs a machine to start from and measurements to name the files.
  void Update_Identify_Enabled();
  // The evaluation file the user picks for the machine; empty when cancelled.
  QString Ask_Evaluation_File(const QString& machine_name);
  // Writes the evaluation into file with the window disabled and the progress dialog up; count
  // is the number of patterns, jobs_note what is said about VARLUME_JOBS.
  Evaluation::TResult Run_Evaluation(const Simulation::TMachineRecord& record,
                                     const std::vector<TMeasurement*>& measurements, QIODevice* file, int* count,
                                     QString* jobs_note);
  void Setup_Central_Widget();
  // Returns the About action, which has no member of its own.
  QAction* Setup_Actions();
  void Setup_Menus(QAction* about_action);
  void Setup_Docks();
  void Setup_Tool_Bar(QAction* about_action);
  void Setup_Connections(QAction* about_action);
  void Load_Libraries();
  enum TLibrary
  {
    LIBRARY_MACHINES,
    LIBRARY_MEASUREMENTS
  };
  class TLibraryChange;
  class TRemoval;
  // Undo: a change of a library is recorded as its snapshots before and after; a removal, as
  // the records taken out (Remove_Records).
  QByteArray Library_Snapshot(TLibrary library) const;
  void Record_Change(TLibrary library, const QString& text, const QByteArray& before);
  void Restore_Library(TLibrary library, const QByteArray& snapshot);
  // Removes the records of the ids (the selected rows) as one step of undo.
  void Remove_Records(TLibrary library, const std::vector<int>& ids, const QString& text);
  // The list and the copy kept for recovery follow records taken out of (or put back into)
  // these rows of the library.
  void Follow_Removal(TLibrary library, const std::vector<std::size_t>& rows, bool put_back);
  // The library as it is now, for a snapshot on the recovery writer's thread.
  std::function<QByteArray()> Later_Snapshot(TLibrary library) const;
  // Crash recovery: the changed library kept in the data folder after each change, removed by
  // a clean close, offered back at the next start.
  QString Recovery_Folder() const;
  QString Recovery_File(TLibrary library) const;
  void Keep_For_Recovery(TLibrary library, const QByteArray& snapshot);
  void Keep_For_Recovery(TLibrary library, std::function<QByteArray()> snapshot);
  void Remove_Recovery();
  void Offer_Recovery();
  QString Library_File(TLibrary library) const;

  // Takes the data folder's lock, or opens read-only when another window holds it.
  void Lock_Data_Folder();
  void Explain_Read_Only();
  // Window geometry, dock layout, map increments and the dialogs' last folders.
  QString Settings_File() const;
  void Restore_Settings();
  void Save_Settings() const;
  void Show_Status(const QString& text);
  // The notice under the output area: the next step for what the lists hold and select.
  void Update_Notice();
  // Says in the status bar when the library stored a name other than the one typed.
  void Report_Rename(const QString& kind, const QString& typed, const QString& stored);
  // Add, rename and their buttons; off in a read-only window.
  void Enable_Library_Editing(bool enabled);
  void Enable_Machine_Controls(bool remove, bool edit);
  void Enable_Measurement_Controls(bool remove, bool edit);
  // Asks whether to remove the named records; true to remove.
  bool Confirm_Removal(const QString& kind, const QString& kinds, const QStringList& names);
  // Asks whether to close although the libraries could not be written; true to close.
  bool Confirm_Close_Without_Saving(const QStringList& errors);

  QAction* d_add_machine_action;
  QAction* d_edit_machine_action;
  QAction* d_remove_machine_action;
  QAction* d_add_measurement_action;
  QAction* d_edit_measurement_action;
  QAction* d_remove_measurement_action;
  QAction* d_quit_action;
  QAction* d_identify_action;
  QAction* d_plan_action;
  QAction* d_compensation_action;
  QAction* d_report_action;

  QListWidget* d_machine_list;
  QListWidget* d_measurement_list;

  QToolButton* d_add_machine_button;
  QToolButton* d_remove_machine_button;
  QToolButton* d_edit_machine_button;
  QToolButton* d_identify_machine_button;
  QToolButton* d_plan_machine_button;
  QToolButton* d_add_measurement_button;
  QToolButton* d_remove_measurement_button;
  QToolButton* d_edit_measurement_button;

  TDisplayWidget* d_display_widget;
  TMachineDialog* d_machine_dialog;
  TMeasurementDialog* d_measurement_dialog;
  TProgressDialog* d_progress_dialog;
  TAddDialog* d_add_dialog;
  TIdentifyDialog* d_identify_dialog = nullptr;
  TPlanDialog* d_plan_dialog = nullptr;
  TCompensationDialog* d_compensation_dialog = nullptr;
  TReportDialog* d_report_dialog = nullptr;
  QByteArray d_machines_before_identify; // the machine library before the dialog's next addition
  bool d_recovery_pending = false;       // the question whether to restore is open
  // unsaved/ is not ours to use (a link, or a kept file there that could be neither read nor
  // set aside): nothing is kept there or removed from it.
  bool d_recovery_refused = false;
  TMessageBox* d_message_box;

  TMachineComp d_machine_comp;
  bool d_cancel_evaluation;
  QString d_data_path;

  bool d_evaluation_running;
  bool d_close_pending;

  std::unique_ptr<QLockFile> d_lock;
  bool d_read_only = false;
  QUndoStack* d_undo_stack = nullptr;
  std::unique_ptr<TRecoveryWriter> d_recovery_writer;
  QAction* d_undo_action = nullptr;
  QAction* d_redo_action = nullptr;
  QString d_export_directory;
  QString d_lock_holder;

  QLabel* d_notice = nullptr;
  bool d_notice_pending = false; // an update of the notice is queued

  // The last set-up of the active machine failed, with these error lines.
  bool d_machine_setup_failed = false;
  QStringList d_machine_setup_errors;
};

#endif
