#include "src/gui/editorbuttons.h"

#include <QCoreApplication>
#include <QDialog>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSpacerItem>

void Add_Cancel_Accept_Row(QDialog* dialog, QGridLayout* layout, int row, QPushButton** cancel_button,
                           QPushButton** accept_button)
{
  QFrame* line = new QFrame(dialog);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  layout->addWidget(line, row, 0, 1, 2);

  // Translated in the dialog's own context, as its tr() would.
  const char* const context = dialog->metaObject()->className();
  QHBoxLayout* button_layout = new QHBoxLayout();
  button_layout->addItem(new QSpacerItem(0, 0, QSizePolicy::Expanding, QSizePolicy::Minimum));
  *cancel_button = new QPushButton(QCoreApplication::translate(context, "Cancel"), dialog);
  (*cancel_button)->setAutoDefault(false);
  button_layout->addWidget(*cancel_button);
  *accept_button = new QPushButton(QCoreApplication::translate(context, "Accept"), dialog);
  (*accept_button)->setAutoDefault(false);
  button_layout->addWidget(*accept_button);
  layout->addLayout(button_layout, row + 1, 0, 1, 2);
}
