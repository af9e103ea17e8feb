#include "src/gui/signalclose.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QWidget>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/varlume_assert.h"

namespace
{
const int SIGNALS[] = {SIGTERM, SIGHUP, SIGINT};

// [0] is written by the handler, [1] read by the event loop.
int g_sockets[2] = {-1, -1};

void Handle_Signal(int)
{
  // Async-signal-safe, on whichever thread the signal lands (an evaluation worker, say), which
  // must find errno as it left it. A full socket (signals faster than the loop reads) loses
  // nothing that matters: one byte already asks for the close.
  const int saved_errno = errno;
  const char byte = 1;
  const ssize_t written = ::write(g_sockets[0], &byte, 1);
  static_cast<void>(written);
  errno = saved_errno;
}

// Once the window is gone the signals end the process again, as without Install.
void Uninstall()
{
  for(const int signal_number : SIGNALS)
  {
    struct sigaction current = {};
    if(::sigaction(signal_number, nullptr, &current) == 0 && current.sa_handler == Handle_Signal)
    {
      ::signal(signal_number, SIG_DFL);
    }
  }
  for(int& socket : g_sockets)
  {
    ::close(socket);
    socket = -1;
  }
}
} // namespace

namespace Signal_Close
{
bool Install(QWidget* window)
{
  VARLUME_ASSERT(window);
  VARLUME_ASSERT(g_sockets[0] < 0);
  if(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_sockets) != 0)
  {
    return false;
  }
  ::fcntl(g_sockets[0], F_SETFL, ::fcntl(g_sockets[0], F_GETFL) | O_NONBLOCK);
  ::fcntl(g_sockets[1], F_SETFL, ::fcntl(g_sockets[1], F_GETFL) | O_NONBLOCK);

  QSocketNotifier* notifier = new QSocketNotifier(g_sockets[1], QSocketNotifier::Read, window);
  QObject::connect(notifier, &QObject::destroyed, []() { Uninstall(); });
  QObject::connect(notifier, &QSocketNotifier::activated, window,
                   [window]()
                   {
                     char bytes[64];
                     while(::read(g_sockets[1], bytes, sizeof(bytes)) > 0)
                     {
                     }
                     // A second signal while the first close still asks the user (a library
                     // that could not be saved) must not stack another question on it.
                     static bool closing = false;
                     if(closing)
                     {
                       return;
                     }
                     closing = true;
                     // An open editor or file dialog would keep the program running behind the
                     // closed window: it is cancelled, as its Cancel button would.
                     for(int open = 0; open < 8; ++open)
                     {
                       QWidget* modal = QApplication::activeModalWidget();
                       if(!modal || modal == window || !modal->close())
                       {
                         break;
                       }
                     }
                     window->close();
                     closing = false;
                   });

  struct sigaction action = {};
  action.sa_handler = Handle_Signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  bool routed = true;
  for(const int signal_number : SIGNALS)
  {
    // A signal that the caller chose to ignore (nohup, a background job) stays ignored.
    struct sigaction previous = {};
    if(::sigaction(signal_number, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
    {
      continue;
    }
    routed = ::sigaction(signal_number, &action, nullptr) == 0 && routed;
  }
  return routed;
}
} // namespace Signal_Close
