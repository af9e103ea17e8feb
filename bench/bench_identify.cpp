// Timing of an identification: a 16-parameter machine (every parameter of the library's layout,
// horizontal-arm order so that the deflection counts too) at degree 3, 40 unknowns, from the
// reference measured set of six ball bars, seven ISO lines, three laser runs along the axes and
// an MCG of 8 x 3, exported by the program itself. The aim is well under 2 s. Reading the files
// is timed with the fit, as the window and varlume-batch do both.

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include "bench/bench_plan.h"
#include "src/model/export.h"
#include "src/model/identify.h"
#include "src/model/measuredfile.h"
#include "src/model/simulation.h"
#include "tests/identify_cases.h"

namespace
{
// The files that the export writes for measurements on the truth machine.
bool Export_Truth(const TMachineLibrary::TMachineItem& truth, std::vector<TMeasurement*>* measurements,
                  const QString& directory)
{
  TMachineLibrary library;
  const int id = library.Create_Machine(truth.name);
  TMachineLibrary::TMachineItem copy = truth;
  copy.id = id;
  *library.Machine(id) = copy;
  TMachineComp machine;
  Export::TResult written;
  return Simulation::Update_Machine_Comp(library, truth.name, &machine, nullptr) &&
         Export::Export_Measurements(&machine, measurements, directory, &written) == Export::TStatus::WRITTEN;
}

void Identify_Reference_Set(benchmark::State& state)
{
  using namespace Identify_Cases;
  const TMachineLibrary::TMachineItem truth = Truth_Machine(KINEMATIC_XZY);
  const auto set = Reference_Set();
  QTemporaryDir directory;
  std::vector<TMeasurement*> pointers = Pointers(set);
  if(!Export_Truth(truth, &pointers, directory.path()))
  {
    state.SkipWithError("export failed");
    return;
  }

  const TMachineLibrary::TMachineItem start = Zero_Machine(KINEMATIC_XZY);
  int rank = 0;
  for(auto _ : state)
  {
    const Identify::TResult result =
        Identify::Run(start, Records(set), Measured::Read({directory.path()}), Identify::TOptions());
    rank = result.rank;
    benchmark::DoNotOptimize(result.machine.name);
  }
  state.counters["rank"] = rank;
}

// The real plan (six ball bars, seven ISO lines, laser runs in steps of 25 mm, an MCG of 36 x 144:
// 5,829 readings) with the straightness lines and the gauge's zero fitted alongside. The aim is
// at most 1 s on one core.
void Identify_Real_Plan(benchmark::State& state)
{
  using namespace Identify_Cases;
  const TMachineLibrary::TMachineItem truth = Truth_Machine(KINEMATIC_XZY);
  Bench::TPlan plan;
  QTemporaryDir directory;
  if(!Export_Truth(truth, &plan.list, directory.path()))
  {
    state.SkipWithError("export failed");
    return;
  }
  const std::vector<const TMeasurement*> records(plan.list.begin(), plan.list.end());
  const TMachineLibrary::TMachineItem start = Zero_Machine(KINEMATIC_XZY);
  Identify::TResult result;
  for(auto _ : state)
  {
    result = Identify::Run(start, records, Measured::Read({directory.path()}), Identify::TOptions());
    benchmark::DoNotOptimize(result.rank);
  }
  state.counters["readings"] = result.readings;
  state.counters["alignment"] = result.alignment_unknowns;
  state.counters["rank"] = result.rank;
}
} // namespace

BENCHMARK(Identify_Reference_Set)->Unit(benchmark::kMillisecond);
BENCHMARK(Identify_Real_Plan)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
