#ifndef EDITORBUTTONS_H
#define EDITORBUTTONS_H

class QDialog;
class QGridLayout;
class QPushButton;

// Ends the grid of a library editor: a sunken line across both columns in row, and below it
// Cancel and Accept at the right, neither an auto default. The buttons are the dialog's
// children; the caller connects them.
void Add_Cancel_Accept_Row(QDialog* dialog, QGridLayout* layout, int row, QPushButton** cancel_button,
                           QPushButton** accept_button);

#endif
