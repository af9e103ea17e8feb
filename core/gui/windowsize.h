#ifndef WINDOWSIZE_H
#define WINDOWSIZE_H

class QSize;
class QWidget;

// Resizes a window to size, but never beyond the free area of the screen that it opens on
// (its parent's, else the primary one), less room for the window frame: on a laptop with a
// 768-pixel screen a dialog of 801 pixels would otherwise hide its Accept button below the edge.
void Resize_Within_Screen(QWidget* window, const QSize& size);

#endif
