// The window with large libraries: 10,000 machines and 60,000 measurements. Its start (both
// libraries read, both lists filled), a refill of the measurement list, the removal of one
// measurement (its undo step, its row, and the copy of the records that the recovery writer
// writes on its own thread), and the snapshot an undo step of an edit takes. The real window
// under Xvfb: bench/window_timing.py.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDockWidget>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

#include "src/gui/varlume.h"
#include "src/model/machinelibrary.h"
#include "src/model/measurementlibrary.h"

namespace
{
const int MACHINE_COUNT = 10000;
const int MEASUREMENT_COUNT = 60000;

// A home whose data folder holds both libraries, written once by the program itself.
class THome
{
public:
  THome()
  {
    qputenv("HOME", d_home.path().toLocal8Bit());
    const QString data = QDir(d_home.path()).filePath(QStringLiteral(".varlume"));
    QDir().mkpath(data);
    TMachineLibrary machines;
    machines.Set_Data_Path(data);
    for(int index = 0; index < MACHINE_COUNT; ++index)
    {
      machines.Create_Machine(QStringLiteral("Machine %1").arg(index));
    }
    machines.Save();
    TMeasurementLibrary measurements;
    measurements.Set_Data_Path(data);
    for(int index = 0; index < MEASUREMENT_COUNT; ++index)
    {
      std::unique_ptr<TMeasurement> measurement;
      if(index % 2 == 0)
      {
        measurement = std::make_unique<TMeasurement_Laser>();
      }
      else
      {
        measurement = std::make_unique<TMeasurement_Ballbar>();
      }
      measurement->Initialize();
      measurement->d_name = QStringLiteral("Measurement %1").arg(index);
      measurements.Append_Measurement(std::move(measurement));
    }
    measurements.Save();
  }

private:
  QTemporaryDir d_home;
};

const THome& Home()
{
  static const THome home;
  return home;
}

QListWidget* Measurement_List(const TVarlume& window)
{
  return window.findChild<QDockWidget*>(QStringLiteral("measurement_dock"))->findChild<QListWidget*>();
}

// The libraries alone, as the window reads them at its start.
void Load_Libraries(benchmark::State& state)
{
  Home();
  const QString data = QDir(QDir::homePath()).filePath(QStringLiteral(".varlume"));
  for(auto _ : state)
  {
    auto machines = std::make_unique<TMachineLibrary>();
    machines->Set_Data_Path(data);
    auto measurements = std::make_unique<TMeasurementLibrary>();
    measurements->Set_Data_Path(data);
    benchmark::DoNotOptimize(machines->Load_Data() && measurements->Load_Data());
    // Not the freeing of the records.
    state.PauseTiming();
    machines.reset();
    measurements.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(Load_Libraries)->Unit(benchmark::kMillisecond);

void Window_Start(benchmark::State& state)
{
  Home();
  for(auto _ : state)
  {
    auto window = std::make_unique<TVarlume>();
    benchmark::DoNotOptimize(Measurement_List(*window)->count());
    state.PauseTiming();
    window.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(Window_Start)->Unit(benchmark::kMillisecond);

void Measurement_List_Fill(benchmark::State& state)
{
  Home();
  TVarlume window;
  for(auto _ : state)
  {
    window.Update_Measurement_Names();
  }
}
BENCHMARK(Measurement_List_Fill)->Unit(benchmark::kMillisecond);

void Remove_Measurement(benchmark::State& state)
{
  Home();
  TVarlume window;
  QListWidget* list = Measurement_List(window);
  for(auto _ : state)
  {
    state.PauseTiming();
    list->clearSelection();
    list->item(list->count() / 2)->setSelected(true);
    // The question whether to remove is answered at once.
    QTimer::singleShot(0,
                       []()
                       {
                         QMessageBox* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                         for(QAbstractButton* button : box ? box->buttons() : QList<QAbstractButton*>())
                         {
                           if(box->buttonRole(button) == QMessageBox::DestructiveRole)
                           {
                             button->click();
                           }
                         }
                       });
    state.ResumeTiming();
    window.Remove_Measurement();
  }
}
BENCHMARK(Remove_Measurement)->Unit(benchmark::kMillisecond)->Iterations(5);

void Measurement_Snapshot(benchmark::State& state)
{
  Home();
  TMeasurementLibrary measurements;
  measurements.Set_Data_Path(QDir(QDir::homePath()).filePath(QStringLiteral(".varlume")));
  measurements.Load_Data();
  for(auto _ : state)
  {
    benchmark::DoNotOptimize(measurements.Snapshot().size());
  }
}
BENCHMARK(Measurement_Snapshot)->Unit(benchmark::kMillisecond);
} // namespace

int main(int argc, char** argv)
{
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
