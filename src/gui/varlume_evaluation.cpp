// The window's compensation parameter evaluation: the file dialog, the progress dialog and the
// disabled window around the GUI-free Evaluation functions, which varlume-batch calls as well.

#include <QCoreApplication>
#include <QFileDialog>
#include <QSaveFile>

#include <algorithm>

#include "core/gui/messagebox.h"
#include "core/progressthrottle.h"
#include "src/gui/machinedialog.h"
#include "src/gui/measurementdialog.h"
#include "src/gui/progressdialog.h"
#include "src/gui/varlume.h"
#include "src/model/evaluation.h"
#include "src/model/simulation.h"

namespace
{
// VARLUME_JOBS sets the number of threads of an evaluation; one per core without it (or with
// anything but a whole number from 1).
int Evaluation_Jobs()
{
  return Evaluation::Parse_Jobs(qEnvironmentVariable("VARLUME_JOBS"));
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
  if(names.isEmpty())
  {
    return;
  }

  const QString file_name =
      QFileDialog::getSaveFileName(this, tr("Create Evaluation Results File"), QString(), tr("Text Files (*.txt)"));
  if(file_name.isEmpty())
  {
    return;
  }
  // The record gives the geometry that d_machine_comp was set up with, and the parameters.
  Simulation::TMachineRecord record;
  if(!Simulation::Find_Machine_Record(*d_machine_dialog, machine_name, &record))
  {
    return;
  }
  // Written under a temporary name and moved into place at the end (also after Cancel), so
  // that a crash never leaves a file that looks complete.
  QSaveFile file(file_name);
  if(!file.open(QIODevice::WriteOnly | QIODevice::Text))
  {
    return;
  }

  if(!d_progress_dialog)
  {
    d_progress_dialog = new TProgressDialog(this, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    connect(d_progress_dialog, &TProgressDialog::Cancel, this, &TVarlume::Progress_Cancel);
  }

  std::vector<TMeasurement*> measurements = d_measurement_dialog->Measurements(names);
  const TEvaluationGuard running(this);
  {
    TDisabledWindow disabled(this, d_progress_dialog);
    Evaluation::TProgress progress;
    TProgressThrottle throttle(UPDATE_INTERVAL);
    progress.start = [this, &disabled, &throttle](int count)
    {
      disabled.Disable(count);
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
    Evaluation::Write_Evaluation(record, measurements, &file, progress, Evaluation::TMode::FAST, Evaluation_Jobs());
  }
  const bool written = file.commit();

  // The measurements hold the last pattern's rows now; show the active machine's again.
  Measurement_Selection_Changed();

  if(!written)
  {
    d_message_box->setWindowTitle(tr("Varlume"));
    d_message_box->setText(tr("The evaluation results could not be written."));
    d_message_box->setInformativeText(
        QStringLiteral("%1<br>%2").arg(file_name.toHtmlEscaped(), file.errorString().toHtmlEscaped()));
    d_message_box->setDetailedText(QString());
    d_message_box->setStandardButtons(QMessageBox::Ok);
    d_message_box->setDefaultButton(QMessageBox::Ok);
    d_message_box->setIcon(QMessageBox::Warning);
    d_message_box->exec();
  }
}

void TVarlume::Progress_Cancel()
{
  d_cancel_evaluation = true;
}
