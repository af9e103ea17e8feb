// Timing of the machine error model: Evaluate runs once per simulated point of every pattern of
// the parameter evaluation, the set-up once per pattern.

#include <benchmark/benchmark.h>

#include <cstddef>
#include <random>
#include <vector>

#include "core/interpolation.h"
#include "src/model/machinecomp.h"

// Counts every allocation of the program (operator new and Qt's containers both end in malloc),
// so that the Evaluate benchmarks can show that a call allocates nothing.
extern "C" void* __libc_malloc(std::size_t size);
extern "C" void* __libc_realloc(void* pointer, std::size_t size);
extern "C" void* __libc_calloc(std::size_t count, std::size_t size);

namespace
{
long g_allocations = 0;
}

extern "C" void* malloc(std::size_t size)
{
  ++g_allocations;
  return __libc_malloc(size);
}

extern "C" void* realloc(void* pointer, std::size_t size)
{
  ++g_allocations;
  return __libc_realloc(pointer, size);
}

extern "C" void* calloc(std::size_t count, std::size_t size)
{
  ++g_allocations;
  return __libc_calloc(count, size);
}

namespace
{
struct TAxisTravel
{
  int axis;
  double start;
  double end;
  double math_origin;
  double mechanical_origin;
};

// A machine of 1200 x 1000 x 800 mm with origins off the corners.
TMachineComp::TInitParameters Parameters(int kinematic)
{
  const TAxisTravel x = {AXIS_X, -100, 1100, 0, 550};
  const TAxisTravel y = {AXIS_Y, 0, 1000, 0, 0};
  const TAxisTravel z = {AXIS_Z, -800, 0, 0, -400};
  TAxisTravel order[3] = {x, y, z};
  switch(kinematic)
  {
  case KINEMATIC_YXZ:
    order[0] = y;
    order[1] = x;
    order[2] = z;
    break;
  case KINEMATIC_XZY:
    order[0] = x;
    order[1] = z;
    order[2] = y;
    break;
  case KINEMATIC_YZX:
    order[0] = y;
    order[1] = z;
    order[2] = x;
    break;
  default:
    break;
  }
  return {kinematic,      order[0].axis, order[1].axis,        order[2].axis,
          order[0].start, order[0].end,  order[0].math_origin, order[0].mechanical_origin,
          order[1].start, order[1].end,  order[1].math_origin, order[1].mechanical_origin,
          order[2].start, order[2].end,  order[2].math_origin, order[2].mechanical_origin};
}

// All sixteen parameters, polynomial error functions as the expression editor writes them.
bool Set_Up(TMachineComp* machine, int kinematic)
{
  bool ok = machine->Initialize_Begin(Parameters(kinematic));
  const int axes[3] = {AXIS_X, AXIS_Y, AXIS_Z};
  for(int i = 0; i < 3; ++i)
  {
    const double k = 1.0 + 0.25 * i;
    const QString cubic =
        QString("%1*L^3 - %2*L^2 + %3*L + %4").arg(0.004 * k).arg(0.013 * k).arg(0.021 * k).arg(0.002 * k);
    const QString quartic = QString("%1*L^4 + %2*L^2 - %3*L").arg(0.003 * k).arg(0.011 * k).arg(0.017 * k);
    ok = machine->Set_Rx(axes[i], cubic, 1) && ok;
    ok = machine->Set_Ry(axes[i], quartic, -1) && ok;
    ok = machine->Set_Rz(axes[i], cubic, -1) && ok;
    ok = machine->Set_Scale(axes[i], quartic, 1) && ok;
    ok = machine->Set_Quad(axes[i], 0.01 * k, i == 1 ? -1 : 1) && ok;
  }
  ok = machine->Set_Deflection(AXIS_D, 0.015, 1) && ok;
  try
  {
    return machine->Initialize_End() && ok;
  }
  catch(const TMachineAxisException&)
  {
    return false;
  }
}

std::vector<TVector3> Positions_Inside(const TMachineComp& machine, int count)
{
  const TVector3 minimum = machine.Map_Data_Min();
  const TVector3 maximum = machine.Map_Data_Max();
  std::mt19937 random(12345);
  std::uniform_real_distribution<double> x(minimum.x, maximum.x);
  std::uniform_real_distribution<double> y(minimum.y, maximum.y);
  std::uniform_real_distribution<double> z(minimum.z, maximum.z);
  std::vector<TVector3> positions;
  for(int i = 0; i < count; ++i)
  {
    positions.push_back(TVector3(x(random), y(random), z(random)));
  }
  return positions;
}

// One iteration is one point.
void BM_Evaluate(benchmark::State& state)
{
  const int kinematic = static_cast<int>(state.range(0));
  TMachineComp machine;
  if(!Set_Up(&machine, kinematic))
  {
    state.SkipWithError("set-up failed");
    return;
  }
  const std::vector<TVector3> positions = Positions_Inside(machine, 4096);
  const TVector3 probe(10, -20, -150);

  std::size_t index = 0;
  bool inside = false;
  const long allocations_before = g_allocations;
  try
  {
    for(auto _ : state)
    {
      benchmark::DoNotOptimize(machine.Evaluate(positions[index], probe, &inside));
      index = (index + 1) & 4095;
    }
  }
  catch(const TMachineAxisException&)
  {
    state.SkipWithError("degenerate tower geometry");
    return;
  }
  state.counters["allocations_per_point"] =
      static_cast<double>(g_allocations - allocations_before) / static_cast<double>(state.iterations());
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_Evaluate)
    ->ArgName("kinematic")
    ->Arg(KINEMATIC_XYZ)
    ->Arg(KINEMATIC_YXZ)
    ->Arg(KINEMATIC_XZY)
    ->Arg(KINEMATIC_YZX);

// Initialize_Begin .. Initialize_End with sixteen parameters: once per evaluation pattern.
void BM_Set_Up(benchmark::State& state)
{
  const int kinematic = static_cast<int>(state.range(0));
  TMachineComp machine;
  for(auto _ : state)
  {
    if(!Set_Up(&machine, kinematic))
    {
      state.SkipWithError("set-up failed");
      break;
    }
  }
}
BENCHMARK(BM_Set_Up)->ArgName("kinematic")->Arg(KINEMATIC_XYZ)->Unit(benchmark::kMicrosecond);

// One axis lookup of all six errors: the computed bracket against six scans of the same lists.
void Axis_Lists(const TMachineStandardComp& table, std::vector<TVector2> lists[6])
{
  for(int i = 0; i < table.Data_Size(); ++i)
  {
    double position = 0.0;
    TVector3 angular;
    TVector3 linear;
    table.Data(i, &position, &angular, &linear);
    const double values[6] = {angular.x, angular.y, angular.z, linear.x, linear.y, linear.z};
    for(int k = 0; k < 6; ++k)
    {
      lists[k].push_back(TVector2(position, values[k]));
    }
  }
}

TMachineStandardComp Axis_Table()
{
  TMachineStandardComp table;
  table.d_axis_start = -100;
  table.d_axis_end = 1100;
  table.d_math_origin = 0;
  table.d_mechanical_origin = 0;
  table.Initialize(AXIS_X);
  table.Set_Rx("0.004*L^3 - 0.013*L^2 + 0.021*L", 1);
  table.Set_Ry("0.003*L^4 + 0.011*L^2", 1);
  table.Set_Rz("0.02*L", 1);
  table.Set_Scale("0.01*L^2", 1);
  table.Calculate_Straightness(TMachineStandardComp::STRAIGHTNESS_Y_FROM_RZ);
  table.Calculate_Straightness(TMachineStandardComp::STRAIGHTNESS_Z_FROM_RY);
  return table;
}

void BM_Axis_Data(benchmark::State& state)
{
  const TMachineStandardComp table = Axis_Table();
  std::mt19937 random(99);
  std::uniform_real_distribution<double> spread(-100, 1100);
  std::vector<double> positions(4096);
  for(double& position : positions)
  {
    position = spread(random);
  }
  std::size_t index = 0;
  TVector3 angular;
  TVector3 linear;
  for(auto _ : state)
  {
    table.Data(positions[index], &angular, &linear);
    benchmark::DoNotOptimize(angular);
    benchmark::DoNotOptimize(linear);
    index = (index + 1) & 4095;
  }
}
BENCHMARK(BM_Axis_Data);

void BM_Axis_Data_Scan(benchmark::State& state)
{
  const TMachineStandardComp table = Axis_Table();
  std::vector<TVector2> lists[6];
  Axis_Lists(table, lists);
  std::mt19937 random(99);
  std::uniform_real_distribution<double> spread(-100, 1100);
  std::vector<double> positions(4096);
  for(double& position : positions)
  {
    position = spread(random);
  }
  std::size_t index = 0;
  double values[6];
  for(auto _ : state)
  {
    for(int k = 0; k < 6; ++k)
    {
      Extrapolation::Get_Value(lists[k], positions[index], &values[k]);
    }
    benchmark::DoNotOptimize(values);
    index = (index + 1) & 4095;
  }
}
BENCHMARK(BM_Axis_Data_Scan);
} // namespace

BENCHMARK_MAIN();
