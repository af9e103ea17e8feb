// Timing of the compensation parameter evaluation on a horizontal-arm machine with all sixteen
// parameters (65,536 patterns), on two sets of measurements:
//
// - the reference set: a ball bar, an ISO test, a laser run of 1,000 mm in steps of 50 and an
//   MCG of 8 x 3 directions (some 80 points);
// - a real calibration plan: six ball bars, the seven ISO lines (four space diagonals, three
//   axis lines), laser runs along the three axes in steps of 25 mm and an MCG of 36 x 144
//   directions (some 5,400 points). The aim is under 10 s with one thread and under 5 s with
//   both cores of a two-core machine, in under 300 MB.
//
// The second argument is the number of threads (0: one per core). peak_MB is the process's
// peak memory so far: run one benchmark at a time (--benchmark_filter) to read it for that one.
// The straightforward path takes some 20 s with sixteen parameters on the reference set, so by
// default it is timed on the first ten parameters (1,024 patterns); pass --straightforward to
// time it on all sixteen as well.

#include <benchmark/benchmark.h>

#include <QSaveFile>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

#include "bench/bench_machines.h"
#include "bench/bench_plan.h"
#include "src/model/evaluation.h"
#include "src/model/measurement.h"

namespace
{
struct TMeasurements
{
  TMeasurement_Ballbar ballbar;
  TMeasurement_ISO iso;
  TMeasurement_Laser laser;
  TMeasurement_MCG mcg;
  std::vector<TMeasurement*> list;

  TMeasurements()
  {
    ballbar.Initialize();
    ballbar.d_name = QStringLiteral("Ball Bar");
    ballbar.d_length_expression = QStringLiteral("500");
    ballbar.d_direction_j_expression = QStringLiteral("1");
    iso.Initialize();
    iso.d_name = QStringLiteral("ISO");
    laser.Initialize();
    laser.d_name = QStringLiteral("Laser");
    laser.d_end_x_expression = QStringLiteral("XMin + 1000");
    laser.d_increment_expression = QStringLiteral("50");
    mcg.Initialize();
    mcg.d_name = QStringLiteral("MCG");
    list = {&ballbar, &iso, &laser, &mcg};
  }
};

// The real plan, on the same machine.
using Bench::TPlan;

// Peak resident memory of the process so far, in MB.
double Peak_Memory_MB()
{
  rusage usage;
  std::memset(&usage, 0, sizeof(usage));
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void Run(benchmark::State& state, const std::vector<TMeasurement*>& measurements, Evaluation::TMode mode)
{
  const Simulation::TMachineRecord record = Bench::Horizontal_Arm(static_cast<int>(state.range(0)));
  const int jobs = static_cast<int>(state.range(1));
  QTemporaryDir directory;
  const QString file_name = directory.filePath(QStringLiteral("evaluation.txt"));

  Evaluation::TResult result;
  qint64 size = 0;
  double seconds = 0.0;
  for(auto _ : state)
  {
    const auto begin = std::chrono::steady_clock::now();
    QSaveFile file(file_name);
    if(!file.open(QIODevice::WriteOnly | QIODevice::Text))
    {
      state.SkipWithError("cannot write the file");
      return;
    }
    result = Evaluation::Write_Evaluation(record, measurements, &file, Evaluation::TProgress(), mode, jobs);
    size = file.size();
    if(!file.commit() || result.end != Evaluation::TEnd::FINISHED)
    {
      state.SkipWithError("evaluation failed");
      return;
    }
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  }
  state.counters["threads"] = jobs > 0 ? jobs : Evaluation::Default_Jobs();
  state.counters["patterns"] = result.patterns;
  state.counters["lines"] = result.lines;
  state.counters["file_MB"] = static_cast<double>(size) / (1024.0 * 1024.0);
  state.counters["peak_MB"] = Peak_Memory_MB();
  state.counters["us_per_pattern"] =
      seconds * 1e6 / (static_cast<double>(state.iterations()) * static_cast<double>(result.patterns));
}

void BM_Evaluation_Fast(benchmark::State& state)
{
  TMeasurements measurements;
  Run(state, measurements.list, Evaluation::TMode::FAST);
}

void BM_Evaluation_Straightforward(benchmark::State& state)
{
  TMeasurements measurements;
  Run(state, measurements.list, Evaluation::TMode::STRAIGHTFORWARD);
}

void BM_Evaluation_Plan(benchmark::State& state)
{
  TPlan plan;
  Run(state, plan.list, Evaluation::TMode::FAST);
}

// One data line of the sixteen-parameter pattern: the text formatting alone.
void BM_Result_Line(benchmark::State& state)
{
  const Simulation::TMachineRecord record = Bench::Horizontal_Arm();
  TMeasurements measurements;
  TMachineComp machine;
  Simulation::Setup_Machine_Comp(record, &machine, nullptr);
  Simulation::Evaluate_Measurement_Expressions(&machine, &measurements.list, nullptr);
  Simulation::Update_Measurement_Items(&machine, &measurements.list);
  const QString code = QStringLiteral("|RXX|RXY|RXZ|LXX|RYX|RYY|RYZ|LYY|RZX|RZY|RZZ|LZZ|QXY|QYZ|QZX|RXD|");
  for(auto _ : state)
  {
    benchmark::DoNotOptimize(Evaluation::Result_Line(code, &machine, &measurements.list));
  }
}
} // namespace

BENCHMARK(BM_Evaluation_Fast)->Args({10, 0})->Args({16, 1})->Args({16, 0})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Evaluation_Straightforward)->Args({10, 1})->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Evaluation_Plan)->Args({16, 1})->Args({16, 0})->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Result_Line)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
  bool straightforward = false;
  for(int i = 1; i < argc; ++i)
  {
    if(std::strcmp(argv[i], "--straightforward") == 0)
    {
      straightforward = true;
      for(int j = i; j + 1 < argc; ++j)
      {
        argv[j] = argv[j + 1];
      }
      --argc;
      break;
    }
  }
  if(straightforward)
  {
    benchmark::RegisterBenchmark("BM_Evaluation_Straightforward", BM_Evaluation_Straightforward)
        ->Args({16, 1})
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
