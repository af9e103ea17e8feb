// Timing of one selection change with the largest measurement: an MCG of 36 x 144 directions is
// evaluated, simulated and reported (the text of the measurement pane), which must take well
// under 20 ms. The other kinds are timed beside it for comparison.

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "src/model/machinecomp.h"
#include "src/model/measurement.h"
#include "src/model/report.h"
#include "src/model/simulation.h"

namespace
{
// A horizontal-arm machine with every kind of error, so that the slowest model path is timed.
Simulation::TMachineRecord Machine()
{
  Simulation::TMachineRecord record;
  record.kinematic = KINEMATIC_XZY;
  record.axis_start = TVector3(0, -200, -1000);
  record.axis_end = TVector3(2000, 1500, 0);
  record.mechanical_origin = TVector3(0, 0, -1000);
  const int axes[3] = {AXIS_X, AXIS_Y, AXIS_Z};
  for(int axis : axes)
  {
    for(int parameter : {PARAMETER_RX, PARAMETER_RY, PARAMETER_RZ, PARAMETER_SCALE})
    {
      record.error_items.push_back({axis, parameter, QStringLiteral("0.002*L-0.004*L^2+0.001*L^3"), 0.0, 1});
    }
  }
  record.error_items.push_back({AXIS_D, PARAMETER_DEFLECTION, QString(), 0.01, 1});
  record.error_items.push_back({AXIS_SQUARENESS, PARAMETER_QXY, QString(), 0.0125, 1});
  record.error_items.push_back({AXIS_SQUARENESS, PARAMETER_QYZ, QString(), -0.004, 1});
  record.error_items.push_back({AXIS_SQUARENESS, PARAMETER_QZX, QString(), 0.008, -1});
  return record;
}

std::unique_ptr<TMeasurement> Largest_MCG()
{
  auto mcg = std::make_unique<TMeasurement_MCG>();
  mcg->Initialize();
  mcg->d_name = QStringLiteral("MCG 36 x 144");
  mcg->d_azimuth_count_expression = QStringLiteral("36");
  mcg->d_elevation_count_expression = QStringLiteral("144");
  mcg->d_length_expression = QStringLiteral("AxisMin / 4");
  return mcg;
}

std::unique_ptr<TMeasurement> Long_Laser()
{
  auto laser = std::make_unique<TMeasurement_Laser>();
  laser->Initialize();
  laser->d_name = QStringLiteral("Laser X");
  laser->d_increment_expression = QStringLiteral("20");
  return laser;
}

void Run(benchmark::State& state, std::unique_ptr<TMeasurement> measurement)
{
  TMachineComp machine;
  if(!Simulation::Setup_Machine_Comp(Machine(), &machine, nullptr))
  {
    state.SkipWithError("machine set-up failed");
    return;
  }
  std::vector<TMeasurement*> measurements = {measurement.get()};
  QStringList lines;
  for(auto _ : state)
  {
    if(!Report::Simulate_Measurements(&machine, &measurements, &lines))
    {
      state.SkipWithError("simulation failed");
      return;
    }
    benchmark::DoNotOptimize(Report::Pane_Text(lines));
  }
  state.counters["rows"] = static_cast<double>(measurement->d_measurement_items.size());
}

void BM_MCG_36x144(benchmark::State& state)
{
  Run(state, Largest_MCG());
}

void BM_Laser_2000mm_step20(benchmark::State& state)
{
  Run(state, Long_Laser());
}

void BM_Simulation_Only_MCG_36x144(benchmark::State& state)
{
  TMachineComp machine;
  Simulation::Setup_Machine_Comp(Machine(), &machine, nullptr);
  std::unique_ptr<TMeasurement> mcg = Largest_MCG();
  std::vector<TMeasurement*> measurements = {mcg.get()};
  Simulation::Evaluate_Measurement_Expressions(&machine, &measurements, nullptr);
  for(auto _ : state)
  {
    Simulation::Update_Measurement_Items(&machine, &measurements);
    benchmark::DoNotOptimize(mcg->d_measurement_items.data());
  }
}
} // namespace

BENCHMARK(BM_MCG_36x144)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Laser_2000mm_step20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Simulation_Only_MCG_36x144)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
