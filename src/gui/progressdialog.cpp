#include "src/gui/progressdialog.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QProgressBar>
#include <QPushButton>
#include <QSpacerItem>
#include <QVBoxLayout>

TProgressDialog::TProgressDialog(QWidget* parent, Qt::WindowFlags flags) : QDialog(parent, flags)
{
  // Shown without a window frame during the evaluation: a raised panel keeps it from melting
  // into the window behind it.
  QVBoxLayout* outer_layout = new QVBoxLayout(this);
  outer_layout->setContentsMargins(0, 0, 0, 0);
  QFrame* panel = new QFrame(this);
  panel->setFrameShape(QFrame::StyledPanel);
  panel->setFrameShadow(QFrame::Raised);
  outer_layout->addWidget(panel);
  QVBoxLayout* layout = new QVBoxLayout(panel);

  d_progress_bar = new QProgressBar(panel);
  layout->addWidget(d_progress_bar);

  QHBoxLayout* button_layout = new QHBoxLayout();
  button_layout->addItem(new QSpacerItem(0, 0, QSizePolicy::Expanding, QSizePolicy::Minimum));
  QPushButton* cancel_button = new QPushButton(tr("Cancel"), panel);
  cancel_button->setAutoDefault(false);
  button_layout->addWidget(cancel_button);
  layout->addLayout(button_layout);

  setWindowTitle(tr("Progress"));
  resize(283, 84);

  connect(cancel_button, &QPushButton::clicked, this, &TProgressDialog::Cancel);
}

void TProgressDialog::Reset_Progress(int minimum, int maximum)
{
  d_progress_bar->setRange(minimum, maximum);
  d_progress_bar->setValue(minimum);
}

void TProgressDialog::Set_Progress(int value)
{
  d_progress_bar->setValue(value);
}

void TProgressDialog::End_Progress()
{
  d_progress_bar->setValue(d_progress_bar->minimum());
}

void TProgressDialog::reject()
{
  emit Cancel();
}
