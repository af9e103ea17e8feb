// The window's compensation parameter evaluation: the file dialog, the progress dialog and the
// disabled window around the GUI-free Evaluation functions, which varlume-batch calls as well.

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QStatusBar>

#include <algorithm>
#include <cstdio>

#include "core/gui/messagebox.h"
#include "core/progressthrottle.h"
#include "core/safefile.h"
#include "src/gui/displaywidget.h"
#include "src/gui/machinedialog.h"
#include "src/gui/measurementdialog.h"
#include "src/gui/progressdialog.h"
#include "src/gui/varlume.h"
#include "src/model/evaluation.h"
#include "src/model/export.h"
#include "src/model/simulation.h"

namespace
{
// VARLUME_JOBS sets the number of threads of an evaluation; one per core without it (or with
// anything but a whole number from 1). A value that is not used as given is said once, on the
// error output and in note.
int Evaluation_Jobs(QString* note)
{
  const QString text = qEnvironmentVariable("VARLUME_JOBS");
  const int jobs = Evaluation::Parse_Jobs(text);
  static bool said = false;
  if(!said && !text.trimmed().isEmpty())
  {
    *note = jobs == 0 ? QStringLiteral("VARLUME_JOBS='%1' is not a whole number from 1 and is ignored: one thread per "
                                       "core is used")
                            .arg(text)
                      : Evaluation::Jobs_Note(jobs);
    if(!note->isEmpty())
    {
      said = true;
      note->prepend(jobs == 0 ? QString() : QStringLiteral("VARLUME_JOBS: "));
      std::fprintf(stderr, "varlume: %s\n", qPrintable(*note));
    }
  }
  return jobs;
}

// What the status bar says about an evaluation whose file was written.
QString Evaluation_Status(const Evaluation::TResult& result, int count, const QString& file_name)
{
  switch(result.end)
  {
  case Evaluation::TEnd::FINISHED:
    return QCoreApplication::translate("TVarlume", "Evaluation finished: %1 patterns written to %2")
        .arg(count)
        .arg(file_name);
  case Evaluation::TEnd::CANCELLED:
    return QCoreApplication::translate("TVarlume", "Evaluation cancelled after %1 of %2 patterns: %3")
        .arg(result.patterns)
        .arg(count)
        .arg(file_name);
  case Evaluation::TEnd::STOPPED:
    return QCoreApplication::translate("TVarlume", "Evaluation stopped at pattern %1 of %2: %3")
        .arg(result.patterns)
        .arg(count)
        .arg(result.message);
  case Evaluation::TEnd::REFUSED:
    return QCoreApplication::translate("TVarlume", "Evaluation refused: %1").arg(result.message);
  case Evaluation::TEnd::NOT_WRITTEN:
    break;
  }
  return QString();
}

// Milliseconds between two updates of the progress dialog. A pattern takes some 20
// microseconds and the bar is redrawn at once on every change.
const qint64 UPDATE_INTERVAL = 20;

// The window stays disabled and the progress dialog on show only while this lives, so that
// every way out of the evaluation gives the window back.
class TDisabledWindow
{
public:
  TDisabledWindow(QWidget* window, TProgressDialog* dialog) : d_window(window), d_dialog(dialog) {}
  ~TDisabledWindow() { Release(); }

  TDisabledWindow(const TDisabledWindow&) = delete;
  TDisabledWindow& operator=(const TDisabledWindow&) = delete;

  void Disable(int count)
  {
    d_disabled = true;
    d_window->setEnabled(false);
    // A child window is disabled with its parent; the dialog must stay usable for Cancel.
    d_dialog->show();
    d_dialog->setEnabled(true);
    d_dialog->Reset_Progress(0, count);
  }

  void Release()
  {
    if(!d_disabled)
    {
      return;
    }
    d_disabled = false;
    d_window->setEnabled(true);
    d_dialog->End_Progress();
    d_dialog->hide();
  }

private:
  QWidget* d_window;
  TProgressDialog* d_dialog;
  bool d_disabled = false;
};
} // namespace

// The window counts as evaluating only while this lives, so that every way out of the
// evaluation ends it (and carries out a close that arrived meanwhile).
class TVarlume::TEvaluationGuard
{
public:
  explicit TEvaluationGuard(TVarlume* window) : d_window(window) { d_window->Begin_Evaluation(); }
  ~TEvaluationGuard() { d_window->End_Evaluation(); }

  TEvaluationGuard(const TEvaluationGuard&) = delete;
  TEvaluationGuard& operator=(const TEvaluationGuard&) = delete;

private:
  TVarlume* d_window;
};

std::vector<Evaluation::TErrorPattern>
TVarlume::Get_Evaluation_Error_Patterns(const std::vector<TMachineLibrary::TMapErrorItem>& items) const
{
  return Evaluation::Get_Evaluation_Error_Patterns(items);
}

bool TVarlume::Get_Min_Max_Ballbar_Error(TMachineComp* machine, std::vector<TMeasurement*>* measurements, double* min,
                                         double* max, double* min_length, double* max_length) const
{
  return Evaluation::Get_Min_Max_Ballbar_Error(machine, measurements, min, max, min_length, max_length);
}

bool TVarlume::Get_Min_Max_ISO_Error(TMachineComp* machine, std::vector<TMeasurement*>* measurements, double* min,
                                     double* max, double* min_length, double* max_length) const
{
  return Evaluation::Get_Min_Max_ISO_Error(machine, measurements, min, max, min_length, max_length);
}

bool TVarlume::Get_Min_Max_MCG_Error(TMachineComp* machine, std::vector<TMeasurement*>* measurements, double* min,
                                     double* max, double* min_length, double* max_length) const
{
  return Evaluation::Get_Min_Max_MCG_Error(machine, measurements, min, max, min_length, max_length);
}

bool TVarlume::Get_Min_Max_Laser_Error(TMachineComp* machine, std::vector<TMeasurement*>* measurements, double* min,
                                       double* max, double* min_length, double* max_length) const
{
  return Evaluation::Get_Min_Max_Laser_Error(machine, measurements, min, max, min_length, max_length);
}

void TVarlume::Evaluate_Measurements()
{
  // The window is disabled while an evaluation runs; this only guards against a queued call.
  if(Evaluation_Running())
  {
    return;
  }
  const QString machine_name = Active_Machine_Name();
  if(machine_name.isEmpty())
  {
    return;
  }
  const QStringList names = Selected_Measurements();
  // A machine whose set-up failed keeps Evaluate disabled; this only guards a queued call.
  if(names.isEmpty() || d_machine_setup_failed)
  {
    return;
  }

  const QString file_name = Ask_Evaluation_File(machine_name);
  if(file_name.isEmpty())
  {
    return;
  }
  // The record gives the geometry that d_machine_comp was set up with, and the parameters.
  Simulation::TMachineRecord record;
  if(!Simulation::Find_Machine_Record(d_machine_dialog->Library(), machine_name, &record))
  {
    return;
  }
  // Written under a temporary name and moved into place at the end (also after Cancel) only
  // when every write succeeded, so that a crash or a full disk never leaves a file that looks
  // complete, nor replaces an older one.
  TSafeFile file(file_name);
  if(!file.Open())
  {
    statusBar()->showMessage(tr("Evaluation not written: %1: %2").arg(file_name, file.Error_String()));
    return;
  }

  const TEvaluationGuard running(this);
  QString jobs_note;
  int count = 0;
  const Evaluation::TResult result =
      Run_Evaluation(record, d_measurement_dialog->Library().Measurements(names), file.Device(), &count, &jobs_note);
  const bool written = result.end != Evaluation::TEnd::NOT_WRITTEN && file.Commit();
  if(!written)
  {
    file.Cancel();
  }
  statusBar()->showMessage((written ? Evaluation_Status(result, count, file_name)
                                    : tr("Evaluation not written: %1: %2").arg(file_name, file.Error_String())) +
                           (jobs_note.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(jobs_note)));

  // The measurements hold the last pattern's rows now; show the active machine's again.
  Measurement_Selection_Changed();

  if(!written)
  {
    d_message_box->Reset(tr("Varlume"), tr("The evaluation results could not be written."),
                         QStringLiteral("%1<br>%2").arg(file_name.toHtmlEscaped(), file.Error_String().toHtmlEscaped()),
                         QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Warning);
    d_message_box->exec();
  }
}

QString TVarlume::Ask_Evaluation_File(const QString& machine_name)
{
  // As Save Text: a proposed name in the folder of the last text file, ".txt" added to a name
  // typed without one (before the question about replacing a file).
  QFileDialog dialog(this, tr("Create Evaluation Results File"), d_display_widget->Results_Directory(),
                     tr("Text Files (*.txt)"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QStringLiteral("txt"));
  dialog.selectFile(tr("%1 Evaluation.txt").arg(Export::Safe_File_Name(machine_name)));
  if(dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
  {
    return QString();
  }
  const QString file_name = dialog.selectedFiles().front();
  d_display_widget->Set_Results_Directory(QFileInfo(file_name).absolutePath());
  return file_name;
}

Evaluation::TResult TVarlume::Run_Evaluation(const Simulation::TMachineRecord& record,
                                             const std::vector<TMeasurement*>& measurements, QIODevice* file,
                                             int* count, QString* jobs_note)
{
  if(!d_progress_dialog)
  {
    d_progress_dialog = new TProgressDialog(this, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    connect(d_progress_dialog, &TProgressDialog::Cancel, this, &TVarlume::Progress_Cancel);
  }

  TDisabledWindow disabled(this, d_progress_dialog);
  Evaluation::TProgress progress;
  TProgressThrottle throttle(UPDATE_INTERVAL);
  progress.start = [this, &disabled, &throttle, count](int patterns)
  {
    *count = patterns;
    disabled.Disable(patterns);
    d_cancel_evaluation = false;
    throttle.Start();
  };
  // The bar shows the patterns worked out, which run ahead of the lines written.
  int shown = 0;
  bool update_due = false;
  const auto show = [&](int patterns)
  {
    shown = std::max(shown, patterns);
    d_progress_dialog->Set_Progress(shown);
  };
  progress.next = [&](int pattern)
  {
    update_due = throttle.Due();
    if(update_due)
    {
      show(pattern);
    }
    return !d_cancel_evaluation;
  };
  // Where a click on Cancel (or a close of the window) is delivered.
  progress.done = [&](int)
  {
    if(update_due)
    {
      QCoreApplication::processEvents();
    }
  };
  progress.working = [&](int ready)
  {
    if(throttle.Due())
    {
      show(ready);
      QCoreApplication::processEvents();
    }
    return !d_cancel_evaluation;
  };
  return Evaluation::Write_Evaluation(record, measurements, file, progress, Evaluation::TMode::FAST,
                                      Evaluation_Jobs(jobs_note));
}

void TVarlume::Progress_Cancel()
{
  d_cancel_evaluation = true;
}
