#include <QCoreApplication>

#include <cstdio>

#include "batch/batch.h"
#include "core/safefile.h"
#include "core/version.h"

int main(int argc, char** argv)
{
  SafeFile::Ignore_File_Size_Signal();
  QCoreApplication application(argc, argv);
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
