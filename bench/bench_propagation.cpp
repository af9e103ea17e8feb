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
const int DEGREE = 3;

// The bench machine as a library record, with a covariance over its 40 parameters: standard
// uncertainties of 0.1 µm per metre^k for the coefficients and 1 µm/m for the values, and
// correlations that fall off with the distance in the list.
TMachineLibrary::TMachineItem Identified_Machine()
{
  const Simulation::TMachineRecord record = Bench::Horizontal_Arm();
  TMachineLibrary library;
  TMachineLibrary::TMachineItem machine = *library.Machine(library.Create_Machine(record.name));
  machine.kinematic = record.kinematic;
  machine.axis_minimum = record.axis_start;
  machine.axis_maximum = record.axis_end;
  machine.math_origin = record.math_origin;
  machine.mechanical_origin = record.mechanical_origin;
  std::vector<double> deviations;
  for(const TMachineLibrary::TMapErrorItem& item : record.error_items)
  {
    for(TMachineLibrary::TMachineAxisItem& axis : machine.axes)
    {
      for(TMachineLibrary::TMachineParameterItem& parameter : axis.parameters)
      {
        if(axis.axis != item.axis || parameter.parameter != item.parameter)
        {
          continue;
        }
        parameter.enabled = true;
        parameter.option_state = item.sign > 0 ? 0 : 1;
        const bool function = !item.expression.isEmpty();
        parameter.expression = function ? item.expression : QString::number(item.value, 'f', 6);
        const QString label = Evaluation::Item_Label(item);
        for(int power = 1; function && power <= DEGREE; ++power)
        {
          machine.covariance_labels.push_back(label + QStringLiteral(" c%1").arg(power));
          deviations.push_back(1e-4);
        }
        if(!function)
        {
          machine.covariance_labels.push_back(label);
          deviations.push_back(1e-3);
        }
      }
    }
  }
  const std::size_t size = deviations.size();
  for(std::size_t i = 0; i < size; ++i)
  {
    for(std::size_t j = 0; j < size; ++j)
    {
      const double correlation = std::pow(0.3, std::fabs(static_cast<double>(i) - static_cast<double>(j)));
      machine.covariance.push_back(deviations[i] * deviations[j] * correlation);
    }
  }
  return machine;
}

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
  const TMachineLibrary::TMachineItem machine = Identified_Machine();
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
  const TMachineLibrary::TMachineItem machine = Identified_Machine();
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
