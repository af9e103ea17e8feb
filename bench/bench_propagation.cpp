// Timing of the propagation of an identified machine's covariance: the bench machine with all
// sixteen parameters, each function at degree 3, so 40 labelled parameters with a dense
// covariance, on the real plan.
//
// - linear propagation over every row of the plan: the aim is under 50 ms;
// - Monte Carlo with 100,000 draws over the plan's seven ISO lines: the aim is under 10 s on
//   both cores of a two-core machine.
//
// The argument is the number of threads (0: one per core).

#include <benchmark/benchmark.h>

#include <cmath>

#include "bench/bench_machines.h"
#include "bench/bench_plan.h"
#include "src/model/evaluation.h"
#include "src/model/propagation.h"

namespace
{
std::vector<const TMeasurement*> Records(const Bench::TPlan& plan, bool iso_only)
{
  std::vector<const TMeasurement*> records;
  for(const TMeasurement* measurement : plan.list)
  {
    if(!iso_only || measurement->Type() == Types::MEASUREMENT_ISO)
    {
      records.push_back(measurement);
    }
  }
  return records;
}

void BM_Linear_Plan(benchmark::State& state)
{
  const TMachineLibrary::TMachineItem machine = Bench::Identified_Horizontal_Arm();
  const Bench::TPlan plan;
  const std::vector<const TMeasurement*> records = Records(plan, false);
  Propagation::TLinear linear;
  for(auto _ : state)
  {
    linear = Propagation::Linear(machine, records, static_cast<int>(state.range(0)));
    if(!linear.ok)
    {
      state.SkipWithError(linear.error.toLocal8Bit().constData());
      return;
    }
  }
  state.counters["readings"] = static_cast<double>(linear.readings.size());
  state.counters["parameters"] = linear.labels.size();
}

void BM_Monte_Carlo_ISO(benchmark::State& state)
{
  const TMachineLibrary::TMachineItem machine = Bench::Identified_Horizontal_Arm();
  const Bench::TPlan plan;
  const std::vector<const TMeasurement*> records = Records(plan, true);
  Propagation::TMonteCarlo result;
  for(auto _ : state)
  {
    result = Propagation::Monte_Carlo(machine, records, 100000, 1, static_cast<int>(state.range(0)));
    if(!result.ok)
    {
      state.SkipWithError(result.error.toLocal8Bit().constData());
      return;
    }
  }
  state.counters["readings"] = static_cast<double>(result.deviation.size());
  state.counters["draws"] = result.draws;
}
} // namespace

BENCHMARK(BM_Linear_Plan)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Monte_Carlo_ISO)->Arg(1)->Arg(0)->Unit(benchmark::kSecond)->Iterations(1);

BENCHMARK_MAIN();
