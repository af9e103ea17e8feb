#include "src/gui/recoverywriter.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <utility>

#include "core/safefile.h"

TRecoveryWriter::TRecoveryWriter(std::function<void(const QString&)> report)
    : d_report(std::move(report)), d_thread([this]() { Run(); })
{
}

TRecoveryWriter::~TRecoveryWriter()
{
  {
    const std::lock_guard<std::mutex> lock(d_mutex);
    d_stop = true;
  }
  d_wake.notify_all();
  d_thread.join();
}

QByteArray TRecoveryWriter::File_Hash(const QString& file_name)
{
  QFile file(file_name);
  if(!file.open(QIODevice::ReadOnly))
  {
    return QByteArray("none");
  }
  return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
}

void TRecoveryWriter::Post(TJob job)
{
  {
    const std::lock_guard<std::mutex> lock(d_mutex);
    const QString file_name = job.file_name;
    d_pending[file_name] = std::move(job);
  }
  d_wake.notify_all();
}

void TRecoveryWriter::Finish(bool drop)
{
  std::unique_lock<std::mutex> lock(d_mutex);
  if(drop)
  {
    d_pending.clear();
  }
  d_idle.wait(lock, [this]() { return d_pending.empty() && !d_busy; });
}

void TRecoveryWriter::Run()
{
  std::unique_lock<std::mutex> lock(d_mutex);
  for(;;)
  {
    d_wake.wait(lock, [this]() { return d_stop || !d_pending.empty(); });
    if(d_pending.empty())
    {
      // Stopped with nothing left to write.
      return;
    }
    const TJob job = std::move(d_pending.begin()->second);
    d_pending.erase(d_pending.begin());
    d_busy = true;
    lock.unlock();
    Write(job, d_report);
    lock.lock();
    d_busy = false;
    d_idle.notify_all();
  }
}

void TRecoveryWriter::Write(const TJob& job, const std::function<void(const QString&)>& report)
{
  const QByteArray bytes = job.snapshot();
  if(bytes.isEmpty())
  {
    return;
  }
  QString error;
  bool kept = QDir().mkpath(QFileInfo(job.file_name).absolutePath());
  // The library file is not written before the window closes, so the file of the first change
  // is the one that the kept copy is based on.
  const QString base_name = job.file_name + QStringLiteral(".base");
  if(kept && !QFileInfo::exists(base_name))
  {
    kept = SafeFile::Write_File(base_name, File_Hash(job.library_file), &error);
  }
  if(!kept || !SafeFile::Write_File(job.file_name, bytes, &error))
  {
    report(error);
  }
}
