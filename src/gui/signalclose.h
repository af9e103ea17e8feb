#ifndef SIGNALCLOSE_H
#define SIGNALCLOSE_H

class QWidget;

// Closes the window, as its Quit action does, when the process gets SIGTERM, SIGHUP or SIGINT:
// a shutdown, a closed terminal or Ctrl+C then save the libraries instead of ending the process
// with the session's changes unsaved. The signal handler only writes a byte to a socket; the
// window is closed from the event loop.
namespace Signal_Close
{
// For the window that lives until the event loop ends; again only after that window is gone.
// Signals ignored at the start (nohup) stay ignored. False when the signals could not be routed
// (they then end the process as before).
bool Install(QWidget* window);
} // namespace Signal_Close

#endif
