// The 3-D view must answer at once: rebuilding the scene for the largest MCG (36 x 144 arms)
// and drawing one frame of it on a software renderer. Run under a display, for example
//   xvfb-run -a -s "-screen 0 1600x1000x24" ./build/bench/bench_opengl_scene

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QOpenGLContext>

#include <cmath>
#include <memory>

#include "core/gui/openglwidget.h"
#include "src/gui/opengldisplay.h"
#include "src/model/measurement.h"
#include "src/model/measurementscene.h"

namespace
{
// Draws one frame on demand and waits until the renderer has finished it.
class TBenchDisplay : public TOpenGLDisplay
{
public:
  void Render_Frame(bool fit)
  {
    if(fit)
    {
      Request_Fit();
    }
    makeCurrent();
    paintGL();
    context()->functions()->glFinish();
    doneCurrent();
  }
};

TMeasurement::TMeasurementItem Row(const TVector3& reference, const TVector3& point)
{
  TMeasurement::TMeasurementItem row;
  row.reference_nominal = row.reference_actual = reference;
  row.point_nominal = row.point_actual = point;
  row.probe_offset = TVector3(0.0, 0.0, -150.0);
  const TVector3 d = point - reference;
  const double length = d.Length();
  row.axis_nominal = row.axis_actual = length > 0.0 ? d / length : TVector3(1.0, 0.0, 0.0);
  row.length_nominal = row.length_actual = length;
  return row;
}

// 36 azimuths times the given number of elevation rings; 144 rings is the largest grid the
// measurement accepts.
std::unique_ptr<TMeasurement_MCG> MCG_Grid(int rings)
{
  std::unique_ptr<TMeasurement_MCG> mcg(new TMeasurement_MCG());
  const TVector3 centre(0.0, 0.0, -200.0);
  const double pi = 3.14159265358979323846;
  for(int ring = 0; ring < rings; ++ring)
  {
    const double elevation = (-45.0 + ring * 90.0 / (rings - 1)) * pi / 180.0;
    for(int step = 0; step < 36; ++step)
    {
      const double azimuth = step * 2.0 * pi / 36.0;
      const TVector3 u(std::cos(azimuth) * std::cos(elevation), std::cos(elevation) * std::sin(azimuth),
                       std::sin(elevation));
      mcg->d_measurement_items.push_back(Row(centre, centre + u * 300.0));
    }
  }
  return mcg;
}

std::unique_ptr<TMeasurement_MCG> Largest_MCG()
{
  return MCG_Grid(144);
}

TBenchDisplay* g_display = nullptr;

void Add_MCG(const TMeasurement& mcg)
{
  for(const TOpenGLDisplay::TMCGGauge& record : MeasurementScene::MCG_Records(mcg))
  {
    g_display->Add_MCGGauge(record);
  }
}

bool Have_Display(benchmark::State& state)
{
  if(!g_display || !g_display->context() || !g_display->context()->isValid())
  {
    state.SkipWithError("no OpenGL context");
    return false;
  }
  return true;
}
} // namespace

static void Rebuild_Largest_MCG(benchmark::State& state)
{
  if(!Have_Display(state))
  {
    return;
  }
  const std::unique_ptr<TMeasurement_MCG> mcg = Largest_MCG();
  for(auto _ : state)
  {
    g_display->Clear_Render_Items();
    Add_MCG(*mcg);
  }
  state.counters["arms"] = g_display->MCG_Arm_Count();
}
BENCHMARK(Rebuild_Largest_MCG)->Unit(benchmark::kMillisecond);

static void Frame_Largest_MCG(benchmark::State& state)
{
  if(!Have_Display(state))
  {
    return;
  }
  const std::unique_ptr<TMeasurement_MCG> mcg = Largest_MCG();
  g_display->Clear_Render_Items();
  Add_MCG(*mcg);
  const bool fit = state.range(0) != 0;
  g_display->Render_Frame(true);
  for(auto _ : state)
  {
    g_display->Render_Frame(fit);
  }
}
BENCHMARK(Frame_Largest_MCG)->Arg(0)->Arg(1)->ArgName("fit")->Unit(benchmark::kMillisecond);

// What the user waits for after selecting the measurement: new records and the framing paint.
static void Rebuild_And_Fit_Largest_MCG(benchmark::State& state)
{
  if(!Have_Display(state))
  {
    return;
  }
  const std::unique_ptr<TMeasurement_MCG> mcg = Largest_MCG();
  for(auto _ : state)
  {
    g_display->Clear_Render_Items();
    Add_MCG(*mcg);
    g_display->Render_Frame(true);
  }
}
BENCHMARK(Rebuild_And_Fit_Largest_MCG)->Unit(benchmark::kMillisecond);

// The most arms still drawn with the full model (36 x 11 = 396).
static void Frame_Full_Detail_MCG(benchmark::State& state)
{
  if(!Have_Display(state))
  {
    return;
  }
  const std::unique_ptr<TMeasurement_MCG> mcg = MCG_Grid(11);
  g_display->Clear_Render_Items();
  Add_MCG(*mcg);
  g_display->Render_Frame(true);
  for(auto _ : state)
  {
    g_display->Render_Frame(false);
  }
}
BENCHMARK(Frame_Full_Detail_MCG)->Unit(benchmark::kMillisecond);

// A ball bar, a laser run of 16 targets, an ISO line and the default 8 x 3 MCG.
static void Frame_Mixed_Scene(benchmark::State& state)
{
  if(!Have_Display(state))
  {
    return;
  }
  TMeasurement_Ballbar ballbar;
  ballbar.d_measurement_items.push_back(Row(TVector3(-150, 0, -200), TVector3(150, 0, -200)));
  TMeasurement_Laser laser;
  for(int i = 0; i < 16; ++i)
  {
    laser.d_measurement_items.push_back(Row(TVector3(-450, -300, -300), TVector3(-450 + 60 * i, -300, -300)));
  }
  TMeasurement_ISO iso;
  for(int k = 1; k <= 5; ++k)
  {
    iso.d_measurement_items.push_back(Row(TVector3(-400, 400, -100), TVector3(-400 + 140 * k, 400 - 100 * k, -100)));
  }
  TMeasurement_MCG mcg;
  for(int i = 0; i < 24; ++i)
  {
    const double a = i * 0.2618;
    mcg.d_measurement_items.push_back(
        Row(TVector3(200, -200, -300), TVector3(200 + 150 * std::cos(a), -200 + 150 * std::sin(a), -300)));
  }

  g_display->Clear_Render_Items();
  for(const auto& record : MeasurementScene::Ballbar_Records(ballbar))
  {
    g_display->Add_BallBar(record);
  }
  for(const auto& record : MeasurementScene::Laser_Records(laser))
  {
    g_display->Add_Laser(record);
  }
  for(const auto& record : MeasurementScene::ISO_Records(iso))
  {
    g_display->Add_ISOGauge(record);
  }
  Add_MCG(mcg);
  g_display->Render_Frame(true);
  for(auto _ : state)
  {
    g_display->Render_Frame(false);
  }
}
BENCHMARK(Frame_Mixed_Scene)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
  QApplication application(argc, argv);
  TBenchDisplay display;
  display.resize(1100, 750);
  display.Define_Machine_Volume(TVector3(-500, -750, -800), TVector3(500, 750, 0));
  display.show();
  QElapsedTimer waited;
  waited.start();
  while(!display.isValid() && waited.elapsed() < 5000)
  {
    QApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  if(display.isValid() && display.context()->isValid())
  {
    g_display = &display;
  }

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
