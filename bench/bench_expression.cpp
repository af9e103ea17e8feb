// Axis error functions are evaluated once per table position and measurement texts once per
// item, tens of millions of times over an evaluation report.

#include <benchmark/benchmark.h>

#include "core/expression.h"

namespace
{
TExpression Volume_Expression()
{
  // A machine volume of 500 x 800 x 300 mm with L and R of an MCG measurement.
  TExpression expression;
  expression.Add_Variable("XMin", -250.0);
  expression.Add_Variable("YMin", -400.0);
  expression.Add_Variable("ZMin", -300.0);
  expression.Add_Variable("XMax", 250.0);
  expression.Add_Variable("YMax", 400.0);
  expression.Add_Variable("ZMax", 0.0);
  expression.Add_Variable("XMid", 0.0);
  expression.Add_Variable("YMid", 0.0);
  expression.Add_Variable("ZMid", -150.0);
  expression.Add_Variable("AxisMin", 300.0);
  expression.Add_Variable("AxisMax", 800.0);
  expression.Add_Variable("L", 500.0);
  expression.Add_Variable("R", 250.0);
  return expression;
}
} // namespace

static void Error_Function(benchmark::State& state)
{
  TExpression expression;
  expression.Add_Variable("L", 0.3125);
  const QString text("0.0012*L+0.0003*L^2");
  for(auto _ : state)
  {
    bool ok = false;
    benchmark::DoNotOptimize(expression.Evaluate(text, &ok));
  }
}
BENCHMARK(Error_Function);

// As an axis table fills its column: set L, then evaluate.
static void Error_Function_Table(benchmark::State& state)
{
  TExpression expression;
  const QString text("0.0012*L+0.0003*L^2");
  int position = 0;
  for(auto _ : state)
  {
    expression.Add_Variable("L", (position++ % 1000) * 1.234 / 1000.0);
    bool ok = false;
    benchmark::DoNotOptimize(expression.Evaluate(text, &ok));
  }
}
BENCHMARK(Error_Function_Table);

static void Measurement_Single_Variable(benchmark::State& state)
{
  const TExpression expression = Volume_Expression();
  const QString text("XMin");
  for(auto _ : state)
  {
    bool ok = false;
    benchmark::DoNotOptimize(expression.Evaluate(text, &ok));
  }
}
BENCHMARK(Measurement_Single_Variable);

static void Measurement_All_Variables(benchmark::State& state)
{
  const TExpression expression = Volume_Expression();
  const QString text("SUMSQ(XMax-XMin, YMax-YMin, ZMax-ZMin) * AxisMin / AxisMax + XMid + YMid + ZMid");
  for(auto _ : state)
  {
    bool ok = false;
    benchmark::DoNotOptimize(expression.Evaluate(text, &ok));
  }
}
BENCHMARK(Measurement_All_Variables);

BENCHMARK_MAIN();
