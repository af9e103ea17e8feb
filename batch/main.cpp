#include <QApplication>
#include <QCoreApplication>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "batch/batch.h"
#include "core/safefile.h"
#include "core/version.h"

int main(int argc, char** argv)
{
  SafeFile::Ignore_File_Size_Signal();
  QStringList arguments;
  for(int i = 0; i < argc; ++i)
  {
    arguments.push_back(QString::fromLocal8Bit(argv[i]));
  }
  std::unique_ptr<QCoreApplication> application;
  if(Batch::Needs_Widgets(arguments))
  {
    // Charts are drawn off the screen anyway; without a display Qt would refuse to start.
    if(qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
       qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
    {
      qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    application = std::make_unique<QApplication>(argc, argv);
  }
  else
  {
    application = std::make_unique<QCoreApplication>(argc, argv);
  }
  QCoreApplication::setApplicationName(QStringLiteral("varlume-batch"));
  QCoreApplication::setApplicationVersion(QLatin1String(VARLUME_VERSION));

  QByteArray out;
  QByteArray err;
  const int code = Batch::Run(QCoreApplication::arguments(), &out, &err);
  // A full disk or a closed pipe must not pass for a complete report, nor end without a word.
  errno = 0;
  const std::size_t written = std::fwrite(out.constData(), 1, static_cast<std::size_t>(out.size()), stdout);
  const bool failed =
      written != static_cast<std::size_t>(out.size()) || std::fflush(stdout) != 0 || std::ferror(stdout);
  const int error = errno;
  std::fwrite(err.constData(), 1, static_cast<std::size_t>(err.size()), stderr);
  if(failed)
  {
    std::fprintf(stderr, "varlume-batch: cannot write the standard output: %s\n",
                 error != 0 ? std::strerror(error) : "write error");
    return code == Batch::EXIT_OK ? Batch::EXIT_FAILED : code;
  }
  return code;
}
