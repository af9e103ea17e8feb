// Feeds arbitrary bytes to the machine library reader and takes every machine that loads through
// the linear propagation of its covariance and the conformity decision on a small plan of
// ISO 10360-2 tests. What must hold whatever the input: a covariance that loads is one (no NaN,
// no negative variance, symmetric), no reading gets a NaN or negative u, and a row whose
// numbers are known is decided by the rule.
#include <QByteArray>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "src/model/conformity.h"
#include "src/model/machinelibrary.h"
#include "src/model/measurement.h"
#include "src/model/propagation.h"

namespace
{
// Each machine simulates the whole plan: a few of them keep an input to milliseconds.
const std::size_t MAXIMUM_MACHINES = 4;

[[noreturn]] void Fail(const char* what, const QString& machine)
{
  std::fprintf(stderr, "%s (machine '%s')\n", what, qPrintable(machine));
  std::abort();
}

std::unique_ptr<TMeasurement> Iso(const char* name, const char* const (&ends)[6])
{
  auto iso = std::make_unique<TMeasurement_ISO>();
  iso->Initialize();
  iso->d_name = QLatin1String(name);
  iso->d_start_x_expression = QLatin1String(ends[0]);
  iso->d_start_y_expression = QLatin1String(ends[1]);
  iso->d_start_z_expression = QLatin1String(ends[2]);
  iso->d_end_x_expression = QLatin1String(ends[3]);
  iso->d_end_y_expression = QLatin1String(ends[4]);
  iso->d_end_z_expression = QLatin1String(ends[5]);
  return iso;
}

// Along X and a space diagonal: one sees a single axis, the other all three and the squareness.
const std::vector<std::unique_ptr<TMeasurement>>& Plan()
{
  static const std::vector<std::unique_ptr<TMeasurement>> plan = []()
  {
    std::vector<std::unique_ptr<TMeasurement>> tests;
    tests.push_back(Iso("Along X", {"XMin + 100", "YMid", "ZMid", "XMax - 100", "YMid", "ZMid"}));
    tests.push_back(Iso("Diagonal", {"XMin + 50", "YMin + 50", "ZMin + 50", "XMax - 50", "YMax - 50", "ZMax - 50"}));
    return tests;
  }();
  return plan;
}

// What the loader promises of a covariance it kept.
void Check_Covariance(const TMachineLibrary::TMachineItem& machine)
{
  const std::size_t size = static_cast<std::size_t>(machine.covariance_labels.size());
  if(machine.covariance.size() != size * size)
  {
    Fail("a covariance kept that is not square", machine.name);
  }
  for(std::size_t i = 0; i < size; ++i)
  {
    if(!(machine.covariance[i * size + i] >= 0.0))
    {
      Fail("a covariance kept with a negative or NaN variance", machine.name);
    }
    for(std::size_t j = 0; j < size; ++j)
    {
      const double value = machine.covariance[i * size + j];
      const double mirror = machine.covariance[j * size + i];
      if(std::isnan(value) || (std::isfinite(value) != std::isfinite(mirror)))
      {
        Fail("a covariance kept with a NaN or one-sided infinite entry", machine.name);
      }
    }
  }
}

void Check_Decision(const TMachineLibrary::TMachineItem& machine, const std::vector<const TMeasurement*>& records)
{
  Conformity::TOptions options;
  options.jobs = 1;
  if(!Conformity::Record_Mpe(machine, &options.mpe))
  {
    options.mpe.a = 1.5;
    options.mpe.k = 333.0;
  }
  else if(!Conformity::Mpe_Problem(options.mpe.a, options.mpe.k, options.mpe.has_b, options.mpe.b).isEmpty())
  {
    Fail("an MPE kept that the editor refuses", machine.name);
  }
  if(Propagation::Has_Covariance(machine))
  {
    const Propagation::TLinear linear = Propagation::Linear(machine, records, 1);
    for(const Propagation::TReading& reading : linear.readings)
    {
      if(std::isfinite(reading.value) && !(reading.u >= 0.0))
      {
        Fail("a reading of a finite value with a NaN or negative u", machine.name);
      }
    }
  }
  for(const Conformity::TRule rule : {Conformity::TRule::GUARDED, Conformity::TRule::SIMPLE})
  {
    options.rule = rule;
    const Conformity::TReport report = Conformity::Simulated(machine, records, options);
    for(const Conformity::TRow& row : report.rows)
    {
      if(!std::isfinite(row.deviation) || !std::isfinite(row.mpe))
      {
        continue;
      }
      if(row.has_u && !(row.u >= 0.0))
      {
        Fail("a row with a NaN or negative u", machine.name);
      }
      const double size = std::fabs(row.deviation);
      const bool fails = rule == Conformity::TRule::SIMPLE ? size > row.mpe : size - row.expanded > row.mpe;
      if(fails != (row.decision == Conformity::TDecision::FAIL))
      {
        Fail("a row decided against the rule", machine.name);
      }
    }
    // The report and the CSV are written for every row whatever the numbers.
    if(report.ok && (Conformity::Report_Lines(report).isEmpty() || Conformity::Csv(report).isEmpty()))
    {
      Fail("an empty report", machine.name);
    }
  }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
  TMachineLibrary library;
  library.Load_Data(QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<int>(size)));
  std::vector<const TMeasurement*> records;
  for(const std::unique_ptr<TMeasurement>& test : Plan())
  {
    records.push_back(test.get());
  }
  std::size_t count = 0;
  for(const TMachineLibrary::TMachineItem& machine : library.Machines())
  {
    if(++count > MAXIMUM_MACHINES)
    {
      break;
    }
    Check_Covariance(machine);
    Check_Decision(machine, records);
  }
  return 0;
}
