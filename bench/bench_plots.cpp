// Timing of the plots, from the model to a drawn page of 1200 x 800 pixels (what the Plots tab
// shows and varlume-batch plot writes, less the file encoding):
//
// - the results page of an MCG of 36 x 144 directions (5,184 rows in 144 rings): under 100 ms;
// - the machine-errors page of a horizontal-arm machine with all sixteen parameters: under
//   100 ms;
// - the sensitivity of that machine on the evaluation benchmark's reference set (a ball bar, an
//   ISO test, a laser run of 1,000 mm in steps of 50 and an MCG of 8 x 3 directions), the
//   numbers alone: under 50 ms.
//
// The pages need a QApplication: without a display, run with QT_QPA_PLATFORM=offscreen (set by
// default when DISPLAY is empty).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QGraphicsScene>
#include <QImage>
#include <QPainter>

#include <memory>
#include <vector>

#include "bench/bench_machines.h"
#include "src/gui/plotcharts.h"
#include "src/gui/plotpage.h"
#include "src/model/machinecomp.h"
#include "src/model/measurement.h"
#include "src/model/plotseries.h"
#include "src/model/report.h"
#include "src/model/sensitivity.h"
#include "src/model/simulation.h"

namespace
{
const QSize PAGE_SIZE(1200, 800);
// The map increment that varlume-batch plot uses by default.
const double INCREMENT = 100.0;

// Lays the page out and draws it, as the window's view and the PNG writer do.
void Draw(TPlotPage* page)
{
  QGraphicsScene scene;
  scene.addItem(page);
  page->Lay_Out(QSizeF(PAGE_SIZE), TPlotPage::TFit::WHOLE);
  // The charts place their axes and labels in posted layout requests.
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  const QRectF source(QPointF(0.0, 0.0), page->size());
  scene.setSceneRect(source);
  QImage image(PAGE_SIZE, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  scene.render(&painter, QRectF(QPointF(0.0, 0.0), QSizeF(PAGE_SIZE)), source, Qt::KeepAspectRatio);
  painter.end();
  scene.removeItem(page);
  benchmark::DoNotOptimize(image.bits());
}

void BM_Results_Page_MCG_36x144(benchmark::State& state)
{
  TMachineComp machine;
  if(!Simulation::Setup_Machine_Comp(Bench::Horizontal_Arm(), &machine, nullptr))
  {
    state.SkipWithError("machine set-up failed");
    return;
  }
  TMeasurement_MCG mcg;
  mcg.Initialize();
  mcg.d_name = QStringLiteral("MCG 36 x 144");
  mcg.d_azimuth_count_expression = QStringLiteral("36");
  mcg.d_elevation_count_expression = QStringLiteral("144");
  mcg.d_length_expression = QStringLiteral("AxisMin / 4");
  std::vector<TMeasurement*> measurements = {&mcg};
  QStringList lines;
  if(!Report::Simulate_Measurements(&machine, &measurements, &lines))
  {
    state.SkipWithError("simulation failed");
    return;
  }
  for(auto _ : state)
  {
    const std::unique_ptr<TPlotPage> page(
        Plot_Charts::Results_Page(QStringLiteral("Horizontal Arm"), Plot_Series::Results(machine, measurements)));
    Draw(page.get());
  }
  state.counters["rows"] = static_cast<double>(mcg.d_measurement_items.size());
}

void BM_Errors_Page_16_Parameters(benchmark::State& state)
{
  TMachineComp machine;
  if(!Simulation::Setup_Machine_Comp(Bench::Horizontal_Arm(), &machine, nullptr))
  {
    state.SkipWithError("machine set-up failed");
    return;
  }
  const double increments[3] = {INCREMENT, INCREMENT, INCREMENT};
  for(auto _ : state)
  {
    const std::unique_ptr<TPlotPage> page(Plot_Charts::Errors_Page(QStringLiteral("Horizontal Arm"),
                                                                   Plot_Series::Axis_Error_Curves(machine, increments),
                                                                   Plot_Series::Machine_Notes(machine)));
    Draw(page.get());
  }
}

void BM_Sensitivity_16_Parameters(benchmark::State& state)
{
  const Simulation::TMachineRecord record = Bench::Horizontal_Arm();
  TMeasurement_Ballbar ballbar;
  ballbar.Initialize();
  ballbar.d_name = QStringLiteral("Ball Bar");
  ballbar.d_length_expression = QStringLiteral("500");
  ballbar.d_direction_j_expression = QStringLiteral("1");
  TMeasurement_ISO iso;
  iso.Initialize();
  iso.d_name = QStringLiteral("ISO");
  TMeasurement_Laser laser;
  laser.Initialize();
  laser.d_name = QStringLiteral("Laser");
  laser.d_end_x_expression = QStringLiteral("XMin + 1000");
  laser.d_increment_expression = QStringLiteral("50");
  TMeasurement_MCG mcg;
  mcg.Initialize();
  mcg.d_name = QStringLiteral("MCG");
  const std::vector<TMeasurement*> measurements = {&ballbar, &iso, &laser, &mcg};
  std::size_t rows = 0;
  for(auto _ : state)
  {
    const Sensitivity::TResult result = Sensitivity::Compute(record, measurements);
    if(result.end != Sensitivity::TEnd::FINISHED)
    {
      state.SkipWithError("sensitivity failed");
      return;
    }
    rows = result.rows.size();
  }
  state.counters["parameters"] = static_cast<double>(rows);
}
} // namespace

BENCHMARK(BM_Results_Page_MCG_36x144)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Errors_Page_16_Parameters)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sensitivity_16_Parameters)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
  if(qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
  {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
