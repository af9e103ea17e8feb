#include "batch/evaluate.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <vector>

#include "batch/batch.h"
#include "batch/panes.h"
#include "core/progressthrottle.h"
#include "core/safefile.h"
#include "src/model/evaluation.h"
#include "src/model/machinelibrary.h"
#include "src/model/measurementlibrary.h"
#include "src/model/simulation.h"

namespace
{
volatile std::sig_atomic_t g_interrupted = 0;

void Interrupt(int)
{
  g_interrupted = 1;
  // A second Ctrl-C ends the program at once; the unfinished file then stays a temporary one.
  struct sigaction action;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  action.sa_handler = SIG_DFL;
  sigaction(SIGINT, &action, nullptr);
}

// Ctrl-C asks the evaluation to stop for as long as this lives.
class TInterruptGuard
{
public:
  TInterruptGuard()
  {
    g_interrupted = 0;
    struct sigaction action;
    sigemptyset(&action.sa_mask);
    // File writes carry on after the signal instead of failing with EINTR.
    action.sa_flags = SA_RESTART;
    action.sa_handler = Interrupt;
    d_installed = sigaction(SIGINT, &action, &d_previous) == 0;
  }

  ~TInterruptGuard()
  {
    if(d_installed)
    {
      sigaction(SIGINT, &d_previous, nullptr);
    }
  }

  TInterruptGuard(const TInterruptGuard&) = delete;
  TInterruptGuard& operator=(const TInterruptGuard&) = delete;

private:
  struct sigaction d_previous;
  bool d_installed = false;
};

QString Clock(qint64 milliseconds)
{
  const qint64 seconds = milliseconds / 1000;
  return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

// The progress line on a terminal, redrawn at most ten times a second.
class TProgressLine
{
public:
  explicit TProgressLine(bool shown) : d_shown(shown) {}

  void Start(int count)
  {
    d_count = count;
    d_throttle.Start();
  }

  void Update(int pattern, bool force)
  {
    if(!d_shown || d_count <= 0)
    {
      return;
    }
    if(!d_throttle.Due() && !force)
    {
      return;
    }
    const qint64 elapsed = d_throttle.Elapsed();

    const int width = 30;
    const int filled = static_cast<int>(static_cast<qint64>(pattern) * width / d_count);
    const qint64 remaining =
        pattern > 0 ? elapsed * static_cast<qint64>(d_count - pattern) / static_cast<qint64>(pattern) : 0;
    const QString line = QStringLiteral("\r[%1%2] pattern %3 of %4  elapsed %5  remaining %6 ")
                             .arg(QString(filled, QLatin1Char('#')), QString(width - filled, QLatin1Char(' ')))
                             .arg(pattern)
                             .arg(d_count)
                             .arg(Clock(elapsed), Clock(remaining));
    const QByteArray bytes = line.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
    std::fflush(stderr);
    d_drawn = true;
  }

  // Ends the line so that later messages start on their own.
  void Finish()
  {
    if(d_drawn)
    {
      std::fputc('\n', stderr);
      std::fflush(stderr);
    }
  }

private:
  bool d_shown;
  bool d_drawn = false;
  int d_count = 0;
  TProgressThrottle d_throttle{100};
};

} // namespace

namespace Batch
{
QString Evaluate_Usage_Error(const TArguments& arguments)
{
  const QString problem = Machine_And_Measurements_Error(QStringLiteral("evaluate"), arguments);
  if(!problem.isEmpty())
  {
    return problem;
  }
  const QStringList output_names = arguments.Values(QStringLiteral("output"));
  if(output_names.size() != 1 || output_names.front().isEmpty())
  {
    return QStringLiteral("evaluate needs one --output");
  }
  const QString library = Library_Output_Problem(QStringLiteral("evaluate"), arguments, output_names.front());
  if(!library.isEmpty())
  {
    return library;
  }
  const QStringList jobs = arguments.Values(QStringLiteral("jobs"));
  if(jobs.size() > 1)
  {
    return QStringLiteral("--jobs given twice");
  }
  if(!jobs.isEmpty() && Evaluation::Parse_Jobs(jobs.front()) == 0)
  {
    return QStringLiteral("--jobs: '%1' is not a whole number from 1").arg(jobs.front());
  }
  return QString();
}

int Run_Evaluate(const TArguments& arguments, const TLibraries& libraries, const TOutput& output)
{
  const QString& machine_name = arguments.machine_names.front();
  const QString file_name = arguments.Value(QStringLiteral("output"));
  Simulation::TMachineRecord record;
  if(!Simulation::Find_Machine_Record(libraries.machines, machine_name, &record))
  {
    // The driver has looked the name up already.
    output.Message(QStringLiteral("no machine named '%1'").arg(machine_name));
    return EXIT_USAGE;
  }
  // A machine that the window cannot select cannot be evaluated there either: its errors, as
  // map and results print them, and no file.
  TMachineComp machine;
  if(!Setup_Machine(libraries, machine_name, &machine, output))
  {
    return EXIT_FAILED;
  }
  const std::vector<TMeasurement*> list = libraries.measurements.Measurements(arguments.measurement_names);

  // Written under a temporary name and moved into place only when every write succeeded, so
  // that a killed run or a full disk never leaves a file that looks complete, nor replaces an
  // older one.
  TSafeFile file(file_name);
  if(!file.Open())
  {
    output.Message(QStringLiteral("cannot write '%1': %2").arg(file_name, file.Error_String()));
    return EXIT_FAILED;
  }

  TProgressLine progress_line(isatty(fileno(stderr)) == 1);
  Evaluation::TProgress progress;
  progress.start = [&progress_line](int count) { progress_line.Start(count); };
  // The line shows the patterns worked out, which run ahead of the lines written.
  int shown = 0;
  progress.next = [&](int pattern)
  {
    shown = std::max(shown, pattern);
    progress_line.Update(shown, false);
    return g_interrupted == 0;
  };
  progress.working = [&](int ready)
  {
    shown = std::max(shown, ready);
    progress_line.Update(shown, false);
    return g_interrupted == 0;
  };
  const int jobs = Evaluation::Parse_Jobs(arguments.Value(QStringLiteral("jobs")));
  const QString jobs_note = Evaluation::Jobs_Note(jobs);
  if(!jobs_note.isEmpty())
  {
    output.Message(QStringLiteral("--jobs: ") + jobs_note);
  }

  Evaluation::TResult result;
  {
    TInterruptGuard guard;
    result = Evaluation::Write_Evaluation(record, list, file.Device(), progress, Evaluation::TMode::FAST, jobs);
  }
  if(result.end != Evaluation::TEnd::REFUSED)
  {
    progress_line.Update(result.patterns, true);
  }
  progress_line.Finish();

  if(result.end == Evaluation::TEnd::NOT_WRITTEN || !file.Commit())
  {
    file.Cancel();
    output.Message(QStringLiteral("cannot write '%1': %2").arg(file_name, file.Error_String()));
    return EXIT_FAILED;
  }
  switch(result.end)
  {
  case Evaluation::TEnd::FINISHED:
    return EXIT_OK;
  case Evaluation::TEnd::CANCELLED:
    output.Message(QStringLiteral("interrupted: '%1' holds the lines of the first %2 patterns")
                       .arg(file_name)
                       .arg(result.patterns));
    return EXIT_INTERRUPTED;
  case Evaluation::TEnd::STOPPED:
    output.Message(QStringLiteral("evaluation stopped: %1").arg(result.message));
    return EXIT_FAILED;
  case Evaluation::TEnd::REFUSED:
    output.Message(QStringLiteral("evaluation refused: %1").arg(result.message));
    return EXIT_FAILED;
  case Evaluation::TEnd::NOT_WRITTEN:
    break;
  }
  return EXIT_FAILED;
}
} // namespace Batch
