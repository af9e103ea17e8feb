#ifndef PROPAGATION_SETUP_H
#define PROPAGATION_SETUP_H

// What the linear and the Monte Carlo propagation share: the machine set up from its tables with
// changes of the labelled parameters added, the points that the records' rows measure, and the
// tasks shared out among threads. Used by propagation.cpp and propagation_draws.cpp only.

#include <QString>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "src/model/evaluation.h"
#include "src/model/machinecomp.h"
#include "src/model/machinelibrary.h"
#include "src/model/measurement.h"
#include "src/model/simulation.h"

namespace Propagation
{
// Each parameter is stepped so that its function moves by this much (mm or mm/m) at the far end
// of the travel: the model is nearly linear there, and the rounding of the simulated lengths
// (1e-13 mm) stays far below the differences.
inline constexpr double STEP = 1e-3;
// A reading that a step changes by less than this (mm) does not depend on the parameter; the
// rounding of the simulation gives differences far below it.
inline constexpr double NEGLIGIBLE = 1e-9;
// The step of a stage's rotation angle (radians) for its central differences: the size of STEP
// as an angle (mm/m), so the chain is as nearly linear as there.
inline constexpr double ANGLE_STEP = 1e-6;
// Draws per block: each block has a stream of its own, so any thread may draw it.
inline constexpr int BLOCK = 256;

// A labelled parameter: which item it changes, and how.
struct TParameter
{
  int item = 0;
  int power = 0; // of L in metres; 0 for a value
  double step = STEP;
};

// The machine as its tables, with changes of the labelled parameters added.
class TPerturbedMachine
{
public:
  bool Prepare(const TMachineLibrary::TMachineItem& machine, QString* error);

  std::size_t Size() const { return d_parameters.size(); }
  double Step(std::size_t parameter) const { return d_parameters[parameter].step; }
  // The place in the chain (0 the base) of the axis whose table the parameter changes; 3 for
  // a squareness or deflection value, which no table holds.
  int Chain_Index(std::size_t parameter) const;

  // Which rotation of its axis's stage the parameter turns (0, 1, 2 for Rx, Ry, Rz); -1 for a
  // scale or straightness, which moves the point directly.
  int Angle_Index(std::size_t parameter) const;

  // Sets machine up with delta added to the parameters (null: as stored); false with the model's
  // message when it fails.
  bool Setup(const double* delta, TMachineComp* machine, QString* error) const;

private:
  TMachineComp::TInitParameters d_init;
  std::vector<TMachineLibrary::TMapErrorItem> d_items;
  std::vector<TMachineAxisValues> d_tables;     // of the functions
  std::vector<std::vector<double>> d_positions; // of the functions, metres
  std::vector<TParameter> d_parameters;
};

// The rows of the records as the points they measure. Every simulated row's length is the
// distance between its actual target and its actual reference, each the model's Evaluate of the
// nominal point with the measurement's probe offset; so a set-up that changes only the errors
// needs these evaluations alone, not the whole simulation with its angles and expressions.
class TReadings
{
public:
  // Copies of the records, their texts evaluated against the machine's volume (errors do not
  // change it) and simulated once for their rows; false with the reason.
  bool Prepare(const std::vector<const TMeasurement*>& records, const TMachineComp& machine, QString* error);

  // The lengths of every row on machine (records in order); scratch is the caller's.
  bool Simulate(const TMachineComp& machine, std::vector<TVector3>* scratch, std::vector<double>* values,
                QString* error) const;

  // The parts of every point's evaluation on machine (that of Prepare) that a change of one
  // table leaves alone: each chain axis's stage and the chain state before it; and the actual
  // points themselves.
  bool Prepare_Stages(const TMachineComp& machine, QString* error);

  // How each point moves per radian of each rotation angle of each chain axis that used marks
  // ([axis][angle]), by central differences of the chain from that axis on; points first to
  // last of the block. The tower and squareness terms depend on the position alone and drop
  // out of the differences. Blocks may run on threads of their own.
  void Prepare_Angle_Derivatives(const TMachineComp& machine, const bool (&used)[3][3], std::size_t first,
                                 std::size_t last);

  // The derivative of every row's length with respect to a parameter that changes only the
  // table of chain axis changed, perturbed the machine with the parameter stepped by step: the
  // chain is linear in the table's values, so the change of the axis's stage per unit, carried
  // through the angle derivatives, moves each point; moves is the caller's scratch.
  void Table_Gradient(const TMachineComp& perturbed, int changed, double step, std::vector<TVector3>* moves,
                      double* gradient) const;

  // Simulate for a machine that differs from that of Prepare_Stages only in the table of chain
  // axis changed (3: only in a squareness or deflection value): the chain is stepped from that
  // axis on, the rest taken as prepared. Evaluate's sum of terms, in its order.
  bool Simulate_Changed(const TMachineComp& machine, int changed, std::vector<TVector3>* scratch,
                        std::vector<double>* values, QString* error) const;

  std::size_t Count() const { return d_rows.size(); }
  std::size_t Points() const { return d_points.size(); }
  // The lengths of the full simulation on the machine of Prepare.
  const std::vector<double>& Values() const { return d_values; }
  const std::vector<std::size_t>& Rows_Per_Measurement() const { return d_rows_per_measurement; }

private:
  struct TPoint
  {
    TVector3 nominal;
    TVector3 probe;
  };
  struct TRow
  {
    std::size_t reference = 0;
    std::size_t target = 0;
  };

  struct TStages
  {
    TMachineComp::TStage stage[3];
    TMachineComp::TChainState before[3];
    TMachineComp::TChainState after;
  };

  void Lengths(const std::vector<TVector3>& actual, std::vector<double>* values) const;

  std::size_t Add_Point(const TVector3& nominal, const TVector3& probe);

  std::vector<TPoint> d_points;
  std::vector<TStages> d_stages;             // after Prepare_Stages
  std::vector<TVector3> d_actual;            // after Prepare_Stages
  std::vector<TVector3> d_angle_derivatives; // point by point, [axis][angle]; mm per radian
  std::vector<TRow> d_rows;
  std::vector<double> d_values;
  std::vector<std::size_t> d_rows_per_measurement;
};

// The machine and its evaluated records, ready to be simulated again.
struct TSetUp
{
  TPerturbedMachine machine;
  TReadings readings;
};

// With stages, the readings are ready for Simulate_Changed as well.
bool Make_Set_Up(const TMachineLibrary::TMachineItem& machine, const std::vector<const TMeasurement*>& records,
                 bool stages, TSetUp* set_up, QString* error);

// Runs tasks 0 .. count - 1 on jobs threads (0: one per core), the calling thread among them.
// make_worker gives each thread its function of a task, with working memory of its own; a task
// that returns false stops that thread (the caller finds out why from what the task wrote).
template <typename TMakeWorker> void Run_Tasks(int count, int jobs, TMakeWorker make_worker)
{
  std::atomic<int> next{0};
  const auto work = [&]()
  {
    auto worker = make_worker();
    for(int task = next++; task < count; task = next++)
    {
      if(!worker(task))
      {
        break;
      }
    }
  };
  const int wanted = jobs > 0 ? std::min(jobs, Evaluation::Maximum_Jobs()) : Evaluation::Default_Jobs();
  const int threads = std::max(1, std::min(wanted, count));
  std::vector<std::thread> workers;
  for(int t = 1; t < threads; ++t)
  {
    workers.emplace_back(work);
  }
  work();
  for(std::thread& worker : workers)
  {
    worker.join();
  }
}
} // namespace Propagation

#endif
