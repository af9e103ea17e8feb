#ifndef WINDOWSIZE_H
#define WINDOWSIZE_H

#include <QSize>

class QWidget;

// The largest client size that keeps a window, frame included, within the free area of the
// screen that it opens on (its parent's, else the primary one); empty without a screen.
QSize Screen_Room(const QWidget* window);

// Resizes a window to size, but never beyond Screen_Room: on a laptop with a 768-pixel screen a
// dialog of 801 pixels would otherwise hide its Accept button below the edge.
void Resize_Within_Screen(QWidget* window, const QSize& size);

#endif
