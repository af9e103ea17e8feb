// The loop over the error patterns and the file around it. Two runners share the heading, the
// refusals and the progress: the straightforward one, which sets every pattern up from the
// record's texts on the calling thread and is kept as the reference, and the fast one, whose
// workers work the patterns out on several threads (see evaluation_staged.h) while the calling
// thread writes their lines in pattern order.

#include <QIODevice>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>

#include "core/varlume_assert.h"
#include "src/model/evaluation.h"
#include "src/model/evaluation_staged.h"

namespace
{
using Evaluation::TEnd;
using Evaluation::TErrorItem;
using Evaluation::TOutcome;
using Evaluation::TPatternSetUp;
using Evaluation::TProgress;
using Evaluation::TResult;

// How long the writer waits for a worker before it reports progress again.
const std::chrono::milliseconds WAIT_INTERVAL(20);
// Patterns set up in full are shared out a few at a time.
const std::size_t FULL_BLOCK = 4;

// False when the device refused the bytes (a full disk).
bool Write_Bytes(QIODevice* file, const QByteArray& bytes)
{
  return file->write(bytes) == bytes.size();
}

bool Write_Text(QIODevice* file, const QString& text)
{
  return Write_Bytes(file, text.toLatin1());
}

TResult Refuse(QIODevice* file, const QString& message)
{
  TResult result;
  result.end = TEnd::REFUSED;
  result.message = message;
  Write_Text(file, QStringLiteral("Evaluation refused: %1\n").arg(message));
  return result;
}

// Every pattern set up from the record's texts, as the window's model would be, on the calling
// thread and the caller's measurements.
TResult Run_Straightforward(const TPatternSetUp& set_up, std::vector<TMeasurement*>& measurements, QIODevice* file,
                            const TProgress& progress, int count)
{
  const std::vector<Evaluation::TErrorPattern> patterns = Evaluation::Get_Evaluation_Error_Patterns(set_up.items);
  TResult result;
  TMachineComp machine;
  for(int k = 1; k <= count; ++k)
  {
    if(progress.next && !progress.next(k))
    {
      result.end = TEnd::CANCELLED;
      break;
    }
    ++result.patterns;

    machine.Initialize_Begin(set_up.parameters);
    QString code = QStringLiteral("|");
    for(const TErrorItem& item : patterns[static_cast<std::size_t>(k - 1)])
    {
      if(const char* item_code = Evaluation::Item_Code(item, set_up.parameters.kinematic))
      {
        code += QLatin1String(item_code);
        Simulation::Apply_Error_Item(&machine, item);
      }
    }
    try
    {
      machine.Initialize_End();
    }
    catch(const TMachineAxisException& exception)
    {
      result.end = TEnd::STOPPED;
      result.message = exception.Message();
      break;
    }
    // A pattern of items that the evaluation does not apply simulates nothing new.
    if(code.size() > 1)
    {
      Simulation::Evaluate_Measurement_Expressions(&machine, &measurements, nullptr);
      QStringList errors;
      if(!Simulation::Update_Measurement_Items(&machine, &measurements, &errors))
      {
        result.end = TEnd::STOPPED;
        result.message = Evaluation::Simulation_Failure(measurements, errors);
        break;
      }
      if(!Write_Text(file, Evaluation::Result_Line(code, &machine, &measurements)))
      {
        result.end = TEnd::NOT_WRITTEN;
        break;
      }
      ++result.lines;
    }

    if(progress.done)
    {
      progress.done(k);
    }
  }
  return result;
}

// The fast runner: workers fill in the outcome of every pattern, the calling thread writes them
// in pattern order and reports progress.
class TFastRun
{
public:
  TFastRun(const TPatternSetUp& set_up, std::vector<TMeasurement*>& measurements, int count)
      : d_set_up(set_up), d_measurements(measurements), d_count(static_cast<std::size_t>(count)),
        d_outcomes(new TOutcome[d_count + 1])
  {
    if(d_count > 0)
    {
      d_staged_ready = d_staged.Prepare(set_up, measurements);
      d_task_count = d_staged_ready ? d_staged.Task_Count() : (d_count + FULL_BLOCK - 1) / FULL_BLOCK;
    }
  }

  ~TFastRun() { Stop_Workers(); }

  TFastRun(const TFastRun&) = delete;
  TFastRun& operator=(const TFastRun&) = delete;

  TResult Run(QIODevice* file, const TProgress& progress, int jobs)
  {
    const std::size_t threads = jobs > 1 ? std::min(static_cast<std::size_t>(jobs), d_task_count) : 0;
    for(std::size_t t = 0; t < threads; ++t)
    {
      d_threads.emplace_back([this]() { Work(); });
    }
    // With one job the calling thread works the patterns out itself, between its reports.
    TWorker own(d_set_up, d_measurements);

    TResult result;
    std::size_t last_line = 0;
    std::size_t stopped = 0;
    for(std::size_t k = 1; k <= d_count; ++k)
    {
      TOutcome& outcome = d_outcomes[k];
      bool cancelled = false;
      while(outcome.state.load(std::memory_order_acquire) == TOutcome::PENDING)
      {
        if(threads == 0)
        {
          try
          {
            const bool ran = Run_Task(&own);
            VARLUME_ASSERT(ran);
          }
          catch(const std::bad_alloc&)
          {
            Out_Of_Memory();
          }
        }
        else
        {
          std::unique_lock<std::mutex> lock(d_mutex);
          d_changed.wait_for(lock, WAIT_INTERVAL,
                             [&]() {
                               return outcome.state.load(std::memory_order_acquire) != TOutcome::PENDING ||
                                      d_out_of_memory.load();
                             });
        }
        if(d_out_of_memory.load())
        {
          break;
        }
        if(progress.working && !progress.working(static_cast<int>(d_ready.load())))
        {
          cancelled = true;
          break;
        }
      }
      if(d_out_of_memory.load())
      {
        result.end = TEnd::STOPPED;
        result.message = QStringLiteral("not enough memory");
        break;
      }
      if(cancelled || (progress.next && !progress.next(static_cast<int>(k))))
      {
        result.end = TEnd::CANCELLED;
        break;
      }
      ++result.patterns;

      const int state = outcome.state.load(std::memory_order_acquire);
      if(state == TOutcome::STOPPED)
      {
        result.end = TEnd::STOPPED;
        result.message = outcome.message;
        stopped = k;
        break;
      }
      if(state == TOutcome::LINE)
      {
        if(!Write_Bytes(file, outcome.line))
        {
          result.end = TEnd::NOT_WRITTEN;
          break;
        }
        ++result.lines;
        last_line = k;
      }
      // Written lines are not needed again.
      outcome.line = QByteArray();

      if(progress.done)
      {
        progress.done(static_cast<int>(k));
      }
    }
    Stop_Workers();
    Leave_Last_Rows(last_line, stopped);
    return result;
  }

private:
  struct TWorker
  {
    TWorker(const TPatternSetUp& set_up, const std::vector<TMeasurement*>& measurements) : full(set_up, measurements) {}
    Evaluation::TStagedPatterns::TScratch scratch;
    Evaluation::TFullPatterns full;
  };

  // Takes the next task; false when none is left or the run stops.
  bool Run_Task(TWorker* worker)
  {
    if(d_stop.load())
    {
      return false;
    }
    const std::size_t task = d_next_task.fetch_add(1);
    if(task >= d_task_count)
    {
      return false;
    }
    std::size_t filled = 0;
    if(d_staged_ready)
    {
      filled = d_staged.Run_Task(task, &worker->scratch, d_outcomes.get(), &worker->full, d_stop);
    }
    else
    {
      for(std::size_t k = task * FULL_BLOCK + 1; k <= std::min(d_count, (task + 1) * FULL_BLOCK); ++k)
      {
        worker->full.Run(k, &d_outcomes[k]);
        ++filled;
      }
    }
    d_ready.fetch_add(filled);
    {
      const std::lock_guard<std::mutex> lock(d_mutex);
    }
    d_changed.notify_all();
    return true;
  }

  void Work()
  {
    try
    {
      TWorker worker(d_set_up, d_measurements);
      while(Run_Task(&worker))
      {
      }
    }
    catch(const std::bad_alloc&)
    {
      Out_Of_Memory();
    }
  }

  // A worker that cannot go on would leave its patterns pending for ever: the run stops.
  void Out_Of_Memory()
  {
    d_out_of_memory.store(true);
    d_stop.store(true);
    d_changed.notify_all();
  }

  void Stop_Workers()
  {
    d_stop.store(true);
    for(std::thread& thread : d_threads)
    {
      thread.join();
    }
    d_threads.clear();
  }

  // The measurements keep the rows of the last pattern simulated, as a loop over the patterns
  // on them would leave them: the last pattern written in full, then the one that stopped the
  // evaluation as far as it got.
  void Leave_Last_Rows(std::size_t last_line, std::size_t stopped)
  {
    TMachineComp machine;
    for(const std::size_t k : {last_line, stopped})
    {
      if(k == 0)
      {
        continue;
      }
      d_set_up.Set_Up(k, &machine);
      try
      {
        machine.Initialize_End();
      }
      catch(const TMachineAxisException&)
      {
        continue;
      }
      if(d_set_up.Code(k).size() > 1)
      {
        Simulation::Update_Measurement_Items(&machine, &d_measurements, nullptr);
      }
    }
  }

  const TPatternSetUp& d_set_up;
  std::vector<TMeasurement*>& d_measurements;
  const std::size_t d_count;
  std::unique_ptr<TOutcome[]> d_outcomes;
  Evaluation::TStagedPatterns d_staged;
  bool d_staged_ready = false;
  std::size_t d_task_count = 0;

  std::atomic<std::size_t> d_next_task{0};
  std::atomic<std::size_t> d_ready{0};
  std::atomic<bool> d_stop{false};
  std::atomic<bool> d_out_of_memory{false};
  std::mutex d_mutex;
  std::condition_variable d_changed;
  std::vector<std::thread> d_threads;
};
} // namespace

namespace Evaluation
{
int Default_Jobs()
{
  return std::max(1, QThread::idealThreadCount());
}

int Maximum_Jobs()
{
  return JOBS_PER_CORE * Default_Jobs();
}

QString Jobs_Note(int jobs)
{
  if(jobs <= Maximum_Jobs())
  {
    return QString();
  }
  return QStringLiteral("%1 threads asked for; at most %2 (%3 per core) are used")
      .arg(jobs)
      .arg(Maximum_Jobs())
      .arg(JOBS_PER_CORE);
}

int Parse_Jobs(const QString& text)
{
  bool number = false;
  const int jobs = text.trimmed().toInt(&number, 10);
  return number && jobs > 0 ? jobs : 0;
}

// The set-up shared by the patterns and the geometry model, or why the record is refused.
QString Make_Set_Up(const Simulation::TMachineRecord& record, TMode mode, TPatternSetUp* set_up, TMachineComp* geometry)
{
  // The geometry as the window's model holds it after selecting the machine. One that the model
  // refuses would leave the local model with no volume at all.
  if(!Simulation::Init_Parameters(record, &set_up->parameters))
  {
    return QStringLiteral("unknown kinematic order");
  }
  if(!geometry->Initialize_Begin(set_up->parameters))
  {
    return geometry->Last_Error();
  }

  // What does not change from pattern to pattern: the codes, and in the fast mode each
  // parameter's table.
  const std::vector<TErrorItem>& items = record.error_items;
  set_up->items = items;
  set_up->codes.resize(items.size());
  set_up->values.resize(items.size());
  set_up->has_values.assign(items.size(), 0);
  for(std::size_t j = 0; j < items.size(); ++j)
  {
    const TErrorItem& item = items[j];
    set_up->codes[j] = Item_Code(item, set_up->parameters.kinematic);
    if(mode == TMode::FAST && set_up->codes[j] && Has_Table(item))
    {
      set_up->has_values[j] = geometry->Evaluate_Axis_Values(item.axis, item.expression, &set_up->values[j]);
    }
  }
  return QString();
}

TResult Write_Evaluation(const Simulation::TMachineRecord& record, std::vector<TMeasurement*> measurements,
                         QIODevice* file, const TProgress& progress, TMode mode, int jobs)
{
  VARLUME_ASSERT(file);

  if(!Write_Text(file, Heading(record.name, record.error_items)))
  {
    TResult result;
    result.end = TEnd::NOT_WRITTEN;
    return result;
  }

  const std::vector<TErrorItem>& items = record.error_items;
  if(items.size() > static_cast<std::size_t>(MAXIMUM_PARAMETERS))
  {
    // 2^n set-ups would not finish (or not even be countable) for a hand-made record.
    return Refuse(
        file,
        QStringLiteral("%1 enabled parameters; at most %2 can be evaluated").arg(items.size()).arg(MAXIMUM_PARAMETERS));
  }
  TPatternSetUp set_up;
  TMachineComp geometry;
  const QString refusal = Make_Set_Up(record, mode, &set_up, &geometry);
  if(!refusal.isEmpty())
  {
    return Refuse(file, refusal);
  }
  // The measurements' values depend on the volume only.
  if(mode == TMode::FAST)
  {
    Simulation::Evaluate_Measurement_Expressions(&geometry, &measurements, nullptr);
  }

  const int count = items.empty() ? 0 : 1 << items.size();
  if(progress.start)
  {
    progress.start(count);
  }

  TResult result;
  if(mode == TMode::FAST)
  {
    TFastRun run(set_up, measurements, count);
    result = run.Run(file, progress, jobs > 0 ? std::min(jobs, Maximum_Jobs()) : Default_Jobs());
  }
  else
  {
    result = Run_Straightforward(set_up, measurements, file, progress, count);
  }
  // A file that ends early says why, so that it never looks complete. A failing write here
  // leaves the device in error, which its commit reports.
  if(result.end == TEnd::STOPPED)
  {
    Write_Text(file, QStringLiteral("Evaluation stopped: %1\n").arg(result.message));
  }
  else if(result.end == TEnd::CANCELLED)
  {
    Write_Text(file, QStringLiteral("Evaluation cancelled: %1 of %2 patterns\n").arg(result.patterns).arg(count));
  }
  return result;
}

bool Single_Parameter_Patterns(const Simulation::TMachineRecord& record, const std::vector<TMeasurement*>& measurements,
                               std::vector<TSingleParameter>* results, QString* message)
{
  VARLUME_ASSERT(results);
  results->clear();
  TPatternSetUp set_up;
  TMachineComp geometry;
  const QString refusal = Make_Set_Up(record, TMode::FAST, &set_up, &geometry);
  if(!refusal.isEmpty())
  {
    if(message)
    {
      *message = refusal;
    }
    return false;
  }
  std::vector<std::unique_ptr<TMeasurement>> owned;
  std::vector<TMeasurement*> copies = Copy_Measurements(measurements, &owned);
  Simulation::Evaluate_Measurement_Expressions(&geometry, &copies, nullptr);

  TMachineComp machine;
  for(std::size_t j = 0; j < set_up.items.size(); ++j)
  {
    TSingleParameter entry;
    if(set_up.codes[j])
    {
      entry.code = QLatin1String(set_up.codes[j]);
      set_up.Set_Up_Item(j, &machine);
      try
      {
        machine.Initialize_End();
        QStringList errors;
        entry.simulated = Simulation::Update_Measurement_Items(&machine, &copies, &errors);
        if(!entry.simulated)
        {
          entry.message = Simulation_Failure(copies, errors);
        }
      }
      catch(const TMachineAxisException& exception)
      {
        entry.message = exception.Message();
      }
    }
    if(entry.simulated)
    {
      for(const TMeasurement* measurement : copies)
      {
        entry.rows.push_back(measurement->d_measurement_items);
        for(int kind = 0; kind < KIND_COUNT; ++kind)
        {
          if(measurement->Type() != Kind_Type(kind))
          {
            continue;
          }
          for(const TMeasurement::TMeasurementItem& row : measurement->d_measurement_items)
          {
            entry.found[kind] = true;
            entry.largest[kind] = std::max(entry.largest[kind], std::fabs(row.length_actual - row.length_nominal));
          }
        }
      }
    }
    results->push_back(entry);
  }
  return true;
}
} // namespace Evaluation
