#ifndef RECOVERYWRITER_H
#define RECOVERYWRITER_H

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

// Writes the copies of the libraries kept for recovery on a thread of its own: a snapshot of a
// library of tens of thousands of records and its way to the disk take longer than a change in
// the window may. At most one write per file waits; a newer one replaces it, as only the last
// state counts.
class TRecoveryWriter
{
public:
  struct TJob
  {
    QString file_name;
    // The library file, whose hash is kept beside the copy ("<copy>.base") when none is there.
    QString library_file;
    // Made on the writer's thread; nothing is written when it gives no bytes.
    std::function<QByteArray()> snapshot;
  };

  // report gets the reason of a failed write, on the writer's thread.
  explicit TRecoveryWriter(std::function<void(const QString&)> report);
  // Writes what waits, then ends: a window destroyed without closing leaves its changes.
  ~TRecoveryWriter();
  TRecoveryWriter(const TRecoveryWriter&) = delete;
  TRecoveryWriter& operator=(const TRecoveryWriter&) = delete;

  // The library file as it is on disk, to tell later whether it changed under the kept copy.
  static QByteArray File_Hash(const QString& file_name);

  void Post(TJob job);
  // Returns once nothing is written any more; with drop, what waits is not written.
  void Finish(bool drop);

private:
  void Run();
  static void Write(const TJob& job, const std::function<void(const QString&)>& report);

  std::function<void(const QString&)> d_report;
  std::mutex d_mutex;
  std::condition_variable d_wake;
  std::condition_variable d_idle;
  std::map<QString, TJob> d_pending;
  bool d_busy = false;
  bool d_stop = false;
  std::thread d_thread;
};

#endif
