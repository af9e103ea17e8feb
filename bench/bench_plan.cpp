// Timing of a test plan: 40 candidates (lasers along and across the axes, ISO lines, ball bars
// with two stylus lengths, gauges; about 6,000 readings) on a 16-parameter machine at degree 3,
// 40 unknowns. The aim is at most 2 s on one core.

#include <benchmark/benchmark.h>

#include "src/model/plan.h"
#include "tests/identify_cases.h"

namespace
{
std::vector<std::unique_ptr<TMeasurement>> Forty_Candidates()
{
  using namespace Identify_Cases;
  std::vector<std::unique_ptr<TMeasurement>> set;
  // Twelve laser runs: along each axis at four offsets.
  for(int offset = 0; offset < 4; ++offset)
  {
    const double y = 200.0 * offset;
    const double z = -150.0 * offset;
    const double x = 250.0 * offset;
    set.push_back(Laser(QStringLiteral("Laser X %1").arg(offset), TVector3(0, y, z), TVector3(1000, y, z), 25.0));
    set.push_back(Laser(QStringLiteral("Laser Y %1").arg(offset), TVector3(x, 0, z), TVector3(x, 800, z), 20.0));
    set.push_back(Laser(QStringLiteral("Laser Z %1").arg(offset), TVector3(x, y, -600), TVector3(x, y, 0), 20.0));
  }
  // Twelve ISO lines: the axes and the four space diagonals, twice with another stylus.
  const TVector3 ends[6][2] = {
      {TVector3(0, 0, -600), TVector3(1000, 0, -600)}, {TVector3(1000, 0, -600), TVector3(1000, 800, -600)},
      {TVector3(0, 800, -600), TVector3(0, 800, 0)},   {TVector3(0, 0, -600), TVector3(1000, 800, 0)},
      {TVector3(1000, 0, -600), TVector3(0, 800, 0)},  {TVector3(0, 800, -600), TVector3(1000, 0, 0)}};
  for(int probe = 0; probe < 2; ++probe)
  {
    for(int index = 0; index < 6; ++index)
    {
      set.push_back(Line<TMeasurement_ISO>(QStringLiteral("ISO %1 %2").arg(index).arg(probe), ends[index][0],
                                           ends[index][1], TVector3(0.0, 0.0, probe == 0 ? -150.0 : -250.0)));
    }
  }
  // Twelve ball bars in six directions with two styli, four gauges.
  const TVector3 directions[6] = {TVector3(1, 1, 0), TVector3(-1, 1, 0), TVector3(1, 0, 1),
                                  TVector3(0, 1, 1), TVector3(-1, 0, 1), TVector3(1, 1, 1)};
  for(int probe = 0; probe < 2; ++probe)
  {
    for(int index = 0; index < 6; ++index)
    {
      set.push_back(Ballbar(QStringLiteral("Bar %1 %2").arg(index).arg(probe), TVector3(500, 400, -300),
                            directions[index], 500.0, TVector3(0.0, 0.0, probe == 0 ? -150.0 : -250.0)));
    }
  }
  for(int index = 0; index < 4; ++index)
  {
    set.push_back(MCG(QStringLiteral("MCG %1").arg(index), TVector3(300 + 150 * index, 400, -300), 200.0));
  }
  return set;
}

void Plan_Forty_Candidates(benchmark::State& state)
{
  const TMachineLibrary::TMachineItem machine = Identify_Cases::Zero_Machine(KINEMATIC_XZY);
  const auto set = Forty_Candidates();
  const std::vector<const TMeasurement*> records = Identify_Cases::Records(set);
  std::vector<int> candidates;
  for(std::size_t index = 0; index < records.size(); ++index)
  {
    candidates.push_back(static_cast<int>(index));
  }
  Plan::TResult result;
  for(auto _ : state)
  {
    result = Plan::Run(machine, records, candidates, Plan::TOptions());
    benchmark::DoNotOptimize(result.steps.data());
  }
  if(result.status != Plan::TStatus::PLANNED)
  {
    state.SkipWithError(qPrintable(result.report.join(QLatin1Char(' '))));
  }
  int readings = 0;
  int full_rank_at = 0;
  for(std::size_t index = 0; index < result.steps.size(); ++index)
  {
    readings += result.steps[index].readings;
    if(full_rank_at == 0 && result.steps[index].full_rank)
    {
      full_rank_at = static_cast<int>(index) + 1;
    }
  }
  state.counters["full_rank_at"] = full_rank_at;
  state.counters["unknowns"] = result.unknowns;
  state.counters["steps"] = static_cast<double>(result.steps.size());
  state.counters["rank"] = result.steps.empty() ? 0 : result.steps.back().rank;
  state.counters["plan_readings"] = readings;
}
} // namespace

BENCHMARK(Plan_Forty_Candidates)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_MAIN();
