// Timing of compensation on the bench machine identified with a covariance over its 40 parameters:
//
// - a grid of 1,000,000 nodes built and written as grid.csv: the aim is under 1 s on both cores
//   of a two-core machine;
// - the five forms over the real plan's measurements, with the check grid, the uncertainty of
//   what remains and the decision after correction: the aim is under 2 s.

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include "bench/bench_machines.h"
#include "bench/bench_plan.h"
#include "src/model/compensation/compensation.h"

namespace
{
void Grid_Million_Nodes(benchmark::State& state)
{
  const TMachineLibrary::TMachineItem machine = Bench::Identified_Horizontal_Arm();
  TMachineComp model;
  Simulation::Setup_Machine_Comp(Simulation::Machine_Record(machine), &model, nullptr);
  // 2000 x 1700 x 1000 mm every 15 mm: 136 x 115 x 68 nodes, a little over a million.
  const double spacing = 15.0;
  QTemporaryDir directory;
  for(auto _ : state)
  {
    Compensation::TResult result;
    result.has_grid = true;
    result.grid = Compensation::Grid(model, spacing, TVector3(0.0, 0.0, -150.0), 0);
    QStringList written;
    QString error;
    if(!Compensation::Write_Files(result, directory.path(), &written, &error))
    {
      state.SkipWithError(error.toUtf8().constData());
      break;
    }
    state.counters["nodes"] = static_cast<double>(result.grid.errors.size());
  }
}
BENCHMARK(Grid_Million_Nodes)->Unit(benchmark::kMillisecond);

void Five_Forms_Real_Plan(benchmark::State& state)
{
  const TMachineLibrary::TMachineItem machine = Bench::Identified_Horizontal_Arm();
  const Bench::TPlan plan;
  const std::vector<const TMeasurement*> records(plan.list.begin(), plan.list.end());
  for(auto _ : state)
  {
    const Compensation::TResult result = Compensation::Run(machine, machine, records, Compensation::TOptions());
    if(result.status != Compensation::TStatus::DONE)
    {
      state.SkipWithError(result.errors.join(' ').toUtf8().constData());
      break;
    }
  }
}
BENCHMARK(Five_Forms_Real_Plan)->Unit(benchmark::kMillisecond);
} // namespace

BENCHMARK_MAIN();
