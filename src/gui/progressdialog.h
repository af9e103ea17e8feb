#ifndef PROGRESSDIALOG_H
#define PROGRESSDIALOG_H

#include <QDialog>

class QProgressBar;

// Progress of a long computation with a Cancel button. Cancel only emits Cancel(): the
// computation decides when to stop and hides the dialog itself.
class TProgressDialog : public QDialog
{
  Q_OBJECT

public:
  explicit TProgressDialog(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());

  // Sets the range and puts the bar at its minimum.
  void Reset_Progress(int minimum, int maximum);
  void Set_Progress(int value);
  // Returns the bar to its minimum.
  void End_Progress();

signals:
  void Cancel();

protected:
  // Escape and a window close ask for cancellation too, instead of hiding the dialog while the
  // computation goes on behind a disabled main window.
  void reject() override;

private:
  QProgressBar* d_progress_bar;
};

#endif
