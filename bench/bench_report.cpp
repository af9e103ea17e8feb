// Timing of the calibration report of the real plan's seven ISO lines (three repetitions of each,
// 105 rows) on the bench machine identified with a covariance: the decision with the linear
// propagation, the document and its PDF with the chart. The aim is under 1 s.
//
// The chart needs a QApplication: without a display it runs on the offscreen platform.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDate>

#include "bench/bench_machines.h"
#include "bench/bench_plan.h"
#include "src/gui/reportpdf.h"
#include "src/model/calibration/calibration_report.h"

namespace
{
void Report_Real_Plan(benchmark::State& state)
{
  TMachineLibrary::TMachineItem machine = Bench::Identified_Horizontal_Arm();
  machine.has_mpe = true;
  machine.mpe_a = 2.0;
  machine.mpe_k = 300.0;
  const Bench::TPlan plan;
  std::vector<const TMeasurement*> records;
  for(int repetition = 0; repetition < 3; ++repetition)
  {
    for(const TMeasurement* measurement : plan.list)
    {
      if(measurement->Type() == Types::MEASUREMENT_ISO)
      {
        records.push_back(measurement);
      }
    }
  }
  for(auto _ : state)
  {
    Calibration_Report::TInputs inputs;
    inputs.machine = &machine;
    inputs.records = records;
    inputs.report_date = QDate(2026, 12, 8);
    Conformity::TOptions options;
    Conformity::Record_Mpe(machine, &options.mpe);
    inputs.conformity = Conformity::Simulated(machine, records, options);
    QByteArray pdf;
    QString error;
    if(!Report_Pdf::Draw(Calibration_Report::Make(inputs), &pdf, &error))
    {
      state.SkipWithError(error.toUtf8().constData());
      break;
    }
    state.counters["rows"] = static_cast<double>(inputs.conformity.rows.size());
    state.counters["bytes"] = static_cast<double>(pdf.size());
  }
}
BENCHMARK(Report_Real_Plan)->Unit(benchmark::kMillisecond);
} // namespace

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
