// Load and save of a large library: 1,000 machines and 10,000 measurements, as files on disk.
// The peak resident memory of the process is reported with each result (peak_rss_MB).
#include <benchmark/benchmark.h>

#include <QDir>
#include <QTemporaryDir>

#include <memory>
#include <sys/resource.h>

#include "src/model/machinelibrary.h"
#include "src/model/measurementlibrary.h"

namespace
{
const int MACHINE_COUNT = 1000;
const int MEASUREMENT_COUNT = 10000;

double Peak_Rss_MB()
{
  rusage usage = {};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// A data directory holding both library files, written once by the program itself.
class TLibraryFiles
{
public:
  TLibraryFiles()
  {
    TMachineLibrary machines;
    machines.Set_Data_Path(d_directory.path());
    const int kinematics[] = {KINEMATIC_XYZ, KINEMATIC_YXZ, KINEMATIC_XZY, KINEMATIC_YZX};
    for(int index = 0; index < MACHINE_COUNT; ++index)
    {
      TMachineLibrary::TMachineItem* machine =
          machines.Machine(machines.Create_Machine(QStringLiteral("Machine %1").arg(index)));
      machine->kinematic = kinematics[index % 4];
      machine->axis_maximum = TVector3(1000 + index, 2000, 0);
      for(TMachineLibrary::TMachineAxisItem& axis : machine->axes)
      {
        for(TMachineLibrary::TMachineParameterItem& parameter : axis.parameters)
        {
          parameter.enabled = (parameter.parameter + index) % 3 == 0;
          parameter.option_state = index % 2;
          if(axis.axis == AXIS_X || axis.axis == AXIS_Y || axis.axis == AXIS_Z)
          {
            parameter.expression = QStringLiteral("0.0021*L-0.0048*L^2+0.0012*L^3");
          }
        }
      }
    }
    machines.Save();

    TMeasurementLibrary measurements;
    measurements.Set_Data_Path(d_directory.path());
    for(int index = 0; index < MEASUREMENT_COUNT; ++index)
    {
      std::unique_ptr<TMeasurement> measurement;
      switch(index % 4)
      {
      case 0:
        measurement = std::make_unique<TMeasurement_Laser>();
        break;
      case 1:
        measurement = std::make_unique<TMeasurement_ISO>();
        break;
      case 2:
        measurement = std::make_unique<TMeasurement_MCG>();
        break;
      default:
        measurement = std::make_unique<TMeasurement_Ballbar>();
        break;
      }
      measurement->Initialize();
      measurement->d_name = QStringLiteral("Measurement %1").arg(index);
      measurement->d_probe_offset = TVector3(0, 0, -75);
      measurements.Append_Measurement(std::move(measurement));
    }
    measurements.Save();
  }

  QString Path() const { return d_directory.path(); }

private:
  QTemporaryDir d_directory;
};

const TLibraryFiles& Files()
{
  static const TLibraryFiles files;
  return files;
}

void Load_Save_Both(benchmark::State& state)
{
  const QString path = Files().Path();
  for(auto _ : state)
  {
    TMachineLibrary machines;
    machines.Set_Data_Path(path);
    TMeasurementLibrary measurements;
    measurements.Set_Data_Path(path);
    if(!machines.Load_Data() || !measurements.Load_Data() || !machines.Save() || !measurements.Save())
    {
      state.SkipWithError("load or save failed");
      break;
    }
    benchmark::DoNotOptimize(machines.Machine_Names().size() + measurements.Measurement_Names().size());
  }
  state.counters["peak_rss_MB"] = Peak_Rss_MB();
}
BENCHMARK(Load_Save_Both)->Unit(benchmark::kMillisecond);

void Load_Machines(benchmark::State& state)
{
  for(auto _ : state)
  {
    TMachineLibrary machines;
    machines.Set_Data_Path(Files().Path());
    benchmark::DoNotOptimize(machines.Load_Data());
  }
  state.counters["peak_rss_MB"] = Peak_Rss_MB();
}
BENCHMARK(Load_Machines)->Unit(benchmark::kMillisecond);

void Save_Machines(benchmark::State& state)
{
  TMachineLibrary machines;
  machines.Set_Data_Path(Files().Path());
  machines.Load_Data();
  for(auto _ : state)
  {
    benchmark::DoNotOptimize(machines.Save());
  }
  state.counters["peak_rss_MB"] = Peak_Rss_MB();
}
BENCHMARK(Save_Machines)->Unit(benchmark::kMillisecond);

void Load_Measurements(benchmark::State& state)
{
  for(auto _ : state)
  {
    TMeasurementLibrary measurements;
    measurements.Set_Data_Path(Files().Path());
    benchmark::DoNotOptimize(measurements.Load_Data());
  }
  state.counters["peak_rss_MB"] = Peak_Rss_MB();
}
BENCHMARK(Load_Measurements)->Unit(benchmark::kMillisecond);

void Save_Measurements(benchmark::State& state)
{
  TMeasurementLibrary measurements;
  measurements.Set_Data_Path(Files().Path());
  measurements.Load_Data();
  for(auto _ : state)
  {
    benchmark::DoNotOptimize(measurements.Save());
  }
  state.counters["peak_rss_MB"] = Peak_Rss_MB();
}
BENCHMARK(Save_Measurements)->Unit(benchmark::kMillisecond);
} // namespace

BENCHMARK_MAIN();
