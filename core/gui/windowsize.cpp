#include "core/gui/windowsize.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "core/varlume_assert.h"

namespace
{
// Title bar and borders that the window manager adds around the client area.
const QSize FRAME(16, 48);
} // namespace

QSize Screen_Room(const QWidget* window)
{
  VARLUME_ASSERT(window);
  const QWidget* anchor = window->parentWidget() ? window->parentWidget()->window() : window;
  QScreen* screen = anchor->screen();
  if(!screen)
  {
    screen = QGuiApplication::primaryScreen();
  }
  return screen ? screen->availableGeometry().size() - FRAME : QSize();
}

void Resize_Within_Screen(QWidget* window, const QSize& size)
{
  const QSize room = Screen_Room(window);
  window->resize(room.isEmpty() ? size : size.boundedTo(room));
}
