#include <QApplication>
#include <QIcon>
#include <QStyleFactory>

#include <cstdio>

#include "core/safefile.h"
#include "src/gui/signalclose.h"
#include "src/gui/varlume.h"

namespace
{
// Qt aborts with a hint to reinstall when it finds no display; say what is actually missing.
bool Display_Available()
{
  return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
         !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}
} // namespace

int main(int argc, char** argv)
{
  // Over a file-size limit a save then fails and is reported instead of killing the window.
  SafeFile::Ignore_File_Size_Signal();
  if(!Display_Available())
  {
    std::fprintf(stderr,
                 "Varlume needs a graphical display, and none was found (DISPLAY and WAYLAND_DISPLAY are "
                 "not set).\nStart it from a desktop session, or under a virtual display: xvfb-run -a %s\n",
                 argc > 0 ? argv[0] : "varlume");
    return 1;
  }

  Q_INIT_RESOURCE(varlume);

  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Varlume"));
  // Lets the desktop match the running window to its menu entry and icon.
  QApplication::setDesktopFileName(QStringLiteral("varlume"));
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("fusion")));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/varlume.png")));

  TVarlume* window = new TVarlume();
  Signal_Close::Install(window);
  window->show();
  const int result = application.exec();
  // The close has saved the libraries (or kept them for the next start). Freeing a window that
  // holds tens of thousands of records one by one would only hold back the end, which a SIGTERM
  // expects within a second; the process's end frees them at once. The application itself
  // still ends properly, so the desktop keeps what was copied to the clipboard.
  window->Release_For_Exit();
  return result;
}
