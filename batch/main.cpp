#include <QApplication>
#include <QCoreApplication>

#include <cstdio>
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
  std::fwrite(out.constData(), 1, static_cast<std::size_t>(out.size()), stdout);
  std::fwrite(err.constData(), 1, static_cast<std::size_t>(err.size()), stderr);
  // A full disk or a closed pipe must not pass for a complete report.
  if(std::fflush(stdout) != 0 || std::ferror(stdout))
  {
    return code == Batch::EXIT_OK ? Batch::EXIT_FAILED : code;
  }
  return code;
}
