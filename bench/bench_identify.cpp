// Timing of an identification: a 16-parameter machine (every parameter of the library's layout,
// horizontal-arm order so that the deflection counts too) at degree 3, 40 unknowns, from the
// reference measured set of six ball bars, seven ISO lines, three laser runs along the axes and
// an MCG of 8 x 3, exported by the program itself. The aim is well under 2 s. Reading the files
// is timed with the fit, as the window and varlume-batch do both.

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include "src/model/export.h"
#include "src/model/identify.h"
#include "src/model/measuredfile.h"
#include "src/model/simulation.h"
#include "tests/identify_cases.h"

namespace
{
void Identify_Reference_Set(benchmark::State& state)
{
  using namespace Identify_Cases;
  const TMachineLibrary::TMachineItem truth = Truth_Machine(KINEMATIC_XZY);
  const auto set = Reference_Set();
  QTemporaryDir directory;

  TMachineLibrary library;
  const int id = library.Create_Machine(truth.name);
  TMachineLibrary::TMachineItem copy = truth;
  copy.id = id;
  *library.Machine(id) = copy;
  TMachineComp machine;
  std::vector<TMeasurement*> pointers = Pointers(set);
  Export::TResult written;
  if(!Simulation::Update_Machine_Comp(library, truth.name, &machine, nullptr) ||
     Export::Export_Measurements(&machine, &pointers, directory.path(), &written) != Export::TStatus::WRITTEN)
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
} // namespace

BENCHMARK(Identify_Reference_Set)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
