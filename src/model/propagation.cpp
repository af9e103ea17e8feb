// Propagation of an identified machine's covariance to simulated readings: the machine set up
// from its tables with parameter changes added, the derivatives of the readings, the linear sum and
// the Monte Carlo draws.

#include "src/model/propagation.h"

#include <Eigen/Dense>

#include <QRegularExpression>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>

#include "src/model/evaluation.h"
#include "src/model/simulation.h"

namespace
{
using TMapErrorItem = TMachineLibrary::TMapErrorItem;

// Each parameter is stepped so that its function moves by this much (mm or mm/m) at the far end
// of the travel: the model is nearly linear there, and the rounding of the simulated lengths
// (1e-13 mm) stays far below the differences.
const double STEP = 1e-3;
// A reading that a step changes by less than this (mm) does not depend on the parameter; the
// rounding of the simulation gives differences far below it.
const double NEGLIGIBLE = 1e-9;
// The step of a stage's rotation angle (radians) for its central differences: the size of STEP
// as an angle (mm/m), so the chain is as nearly linear as there.
const double ANGLE_STEP = 1e-6;
// Draws per block: each block has a stream of its own, so any thread may draw it.
const int BLOCK = 256;
const double COVERAGE = 0.95;

bool Is_Function(const TMapErrorItem& item)
{
  return (item.axis == AXIS_X || item.axis == AXIS_Y || item.axis == AXIS_Z) &&
         (item.parameter == PARAMETER_RX || item.parameter == PARAMETER_RY || item.parameter == PARAMETER_RZ ||
          item.parameter == PARAMETER_SCALE);
}

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
  bool Prepare(const TMachineLibrary::TMachineItem& machine, QString* error)
  {
    const Simulation::TMachineRecord record = Simulation::Machine_Record(machine);
    if(!Simulation::Init_Parameters(record, &d_init))
    {
      *error = QStringLiteral("unknown kinematic order");
      return false;
    }
    TMachineComp geometry;
    if(!geometry.Initialize_Begin(d_init))
    {
      *error = geometry.Last_Error();
      return false;
    }
    d_items = record.error_items;
    d_tables.resize(d_items.size());
    d_positions.resize(d_items.size());
    for(std::size_t index = 0; index < d_items.size(); ++index)
    {
      const TMapErrorItem& item = d_items[index];
      if(!Is_Function(item))
      {
        continue;
      }
      // "L" gives the table positions themselves, in metres.
      TMachineAxisValues positions;
      geometry.Evaluate_Axis_Values(item.axis, item.expression, &d_tables[index]);
      geometry.Evaluate_Axis_Values(item.axis, QStringLiteral("L"), &positions);
      d_positions[index] = positions.values;
    }

    static const QRegularExpression POWER(QStringLiteral("^(.*) c([1-9][0-9]?)$"));
    for(const QString& label : machine.covariance_labels)
    {
      TParameter parameter;
      parameter.item = -1;
      const QRegularExpressionMatch match = POWER.match(label);
      for(std::size_t index = 0; index < d_items.size(); ++index)
      {
        const TMapErrorItem& item = d_items[index];
        const QString name = Evaluation::Item_Label(item);
        // A parameter listed twice takes its last entry, as the set-up does.
        if(Is_Function(item) && match.hasMatch() && match.captured(1) == name)
        {
          parameter.item = static_cast<int>(index);
          parameter.power = match.captured(2).toInt();
        }
        else if(!Is_Function(item) && label == name)
        {
          parameter.item = static_cast<int>(index);
          parameter.power = 0;
        }
      }
      if(parameter.item < 0)
      {
        *error =
            QStringLiteral("the covariance names '%1', which is not an enabled parameter of the machine").arg(label);
        return false;
      }
      if(parameter.power > 0)
      {
        const TMachineAxisValues& table = d_tables[static_cast<std::size_t>(parameter.item)];
        const double extent = std::max(std::fabs(table.axis_start), std::fabs(table.axis_end)) / 1000.0;
        parameter.step = extent > 0.0 ? STEP / std::pow(extent, parameter.power) : STEP;
      }
      d_parameters.push_back(parameter);
    }
    return true;
  }

  std::size_t Size() const { return d_parameters.size(); }
  double Step(std::size_t parameter) const { return d_parameters[parameter].step; }
  // The place in the chain (0 the base) of the axis whose table the parameter changes; 3 for
  // a squareness or deflection value, which no table holds.
  int Chain_Index(std::size_t parameter) const
  {
    const TMapErrorItem& item = d_items[static_cast<std::size_t>(d_parameters[parameter].item)];
    if(!Is_Function(item))
    {
      return 3;
    }
    return item.axis == d_init.first_axis ? 0 : item.axis == d_init.second_axis ? 1 : 2;
  }

  // Which rotation of its axis's stage the parameter turns (0, 1, 2 for Rx, Ry, Rz); -1 for a
  // scale or straightness, which moves the point directly.
  int Angle_Index(std::size_t parameter) const
  {
    const TMapErrorItem& item = d_items[static_cast<std::size_t>(d_parameters[parameter].item)];
    return item.parameter == PARAMETER_RX   ? 0
           : item.parameter == PARAMETER_RY ? 1
           : item.parameter == PARAMETER_RZ ? 2
                                            : -1;
  }

  // Sets machine up with delta added to the parameters (null: as stored); false with the model's
  // message when it fails.
  bool Setup(const double* delta, TMachineComp* machine, QString* error) const
  {
    if(!machine->Initialize_Begin(d_init))
    {
      *error = machine->Last_Error();
      return false;
    }
    bool result = true;
    for(std::size_t index = 0; index < d_items.size(); ++index)
    {
      TMapErrorItem item = d_items[index];
      if(!Is_Function(item))
      {
        for(std::size_t p = 0; delta && p < d_parameters.size(); ++p)
        {
          if(d_parameters[p].item == static_cast<int>(index))
          {
            item.value += delta[p];
          }
        }
        result = Simulation::Apply_Error_Item(machine, item) && result;
        continue;
      }
      TMachineAxisValues values = d_tables[index];
      const std::vector<double>& positions = d_positions[index];
      for(std::size_t p = 0; delta && p < d_parameters.size(); ++p)
      {
        if(d_parameters[p].item != static_cast<int>(index) || delta[p] == 0.0)
        {
          continue;
        }
        for(std::size_t k = 0; k < values.values.size() && k < positions.size(); ++k)
        {
          values.values[k] += delta[p] * std::pow(positions[k], d_parameters[p].power);
        }
      }
      switch(item.parameter)
      {
      case PARAMETER_RX:
        result = machine->Set_Rx(item.axis, values, item.sign) && result;
        break;
      case PARAMETER_RY:
        result = machine->Set_Ry(item.axis, values, item.sign) && result;
        break;
      case PARAMETER_RZ:
        result = machine->Set_Rz(item.axis, values, item.sign) && result;
        break;
      default:
        result = machine->Set_Scale(item.axis, values, item.sign) && result;
        break;
      }
    }
    if(!result)
    {
      *error = machine->Last_Error();
      return false;
    }
    try
    {
      if(!machine->Initialize_End())
      {
        *error = machine->Last_Error();
        return false;
      }
    }
    catch(const TMachineAxisException& exception)
    {
      *error = exception.Message();
      return false;
    }
    return true;
  }

private:
  TMachineComp::TInitParameters d_init;
  std::vector<TMapErrorItem> d_items;
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
  bool Prepare(const std::vector<const TMeasurement*>& records, const TMachineComp& machine, QString* error)
  {
    std::vector<std::unique_ptr<TMeasurement>> copies;
    std::vector<TMeasurement*> list;
    for(const TMeasurement* record : records)
    {
      copies.push_back(Copy_Measurement(*record));
      list.push_back(copies.back().get());
    }
    QStringList errors;
    if(!Simulation::Evaluate_Measurement_Expressions(&machine, &list, &errors) ||
       !Simulation::Update_Measurement_Items(&machine, &list, &errors))
    {
      *error = errors.join(QStringLiteral("; "));
      return false;
    }
    for(const TMeasurement* measurement : list)
    {
      d_rows_per_measurement.push_back(measurement->d_measurement_items.size());
      // The rows of a line or an MCG share their reference: evaluated once.
      bool shared = false;
      std::size_t reference = 0;
      for(const TMeasurement::TMeasurementItem& item : measurement->d_measurement_items)
      {
        const TVector3& nominal = item.reference_nominal;
        if(!shared || !(d_points[reference].nominal.x == nominal.x && d_points[reference].nominal.y == nominal.y &&
                        d_points[reference].nominal.z == nominal.z))
        {
          reference = Add_Point(nominal, measurement->d_probe_offset);
          shared = true;
        }
        d_rows.push_back(TRow{reference, Add_Point(item.point_nominal, measurement->d_probe_offset)});
        d_values.push_back(item.length_actual);
      }
    }
    return true;
  }

  // The lengths of every row on machine (records in order); scratch is the caller's.
  bool Simulate(const TMachineComp& machine, std::vector<TVector3>* scratch, std::vector<double>* values,
                QString* error) const
  {
    scratch->resize(d_points.size());
    try
    {
      for(std::size_t index = 0; index < d_points.size(); ++index)
      {
        (*scratch)[index] = machine.Evaluate(d_points[index].nominal, d_points[index].probe, nullptr);
      }
    }
    catch(const TMachineAxisException& exception)
    {
      *error = exception.Message();
      return false;
    }
    Lengths(*scratch, values);
    return true;
  }

  // The parts of every point's evaluation on machine (that of Prepare) that a change of one
  // table leaves alone: each chain axis's stage and the chain state before it; and the actual
  // points themselves.
  bool Prepare_Stages(const TMachineComp& machine, QString* error)
  {
    d_stages.resize(d_points.size());
    d_actual.resize(d_points.size());
    d_angle_derivatives.assign(d_points.size() * 9, TVector3());
    try
    {
      for(std::size_t index = 0; index < d_points.size(); ++index)
      {
        TStages& stages = d_stages[index];
        TMachineComp::TChainState state;
        for(int axis = 0; axis < 3; ++axis)
        {
          machine.Chain_Stage(axis, d_points[index].nominal, &stages.stage[axis]);
          stages.before[axis] = state;
          machine.Chain_Step(axis, stages.stage[axis], &state);
        }
        stages.after = state;
        d_actual[index] = machine.Evaluate(d_points[index].nominal, d_points[index].probe, nullptr);
      }
    }
    catch(const TMachineAxisException& exception)
    {
      *error = exception.Message();
      return false;
    }
    return true;
  }

  // How each point moves per radian of each rotation angle of each chain axis that used marks
  // ([axis][angle]), by central differences of the chain from that axis on; points first to
  // last of the block. The tower and squareness terms depend on the position alone and drop
  // out of the differences. Blocks may run on threads of their own.
  void Prepare_Angle_Derivatives(const TMachineComp& machine, const bool (&used)[3][3], std::size_t first,
                                 std::size_t last)
  {
    for(std::size_t index = first; index < last && index < d_points.size(); ++index)
    {
      const TStages& stages = d_stages[index];
      for(int changed = 0; changed < 3; ++changed)
      {
        for(int angle = 0; angle < 3; ++angle)
        {
          if(!used[changed][angle])
          {
            continue;
          }
          TVector3 moved[2];
          for(int side = 0; side < 2; ++side)
          {
            TMachineComp::TStage stage = stages.stage[changed];
            stage.angle[angle] += side == 0 ? ANGLE_STEP : -ANGLE_STEP;
            stage.cos[angle] = std::cos(stage.angle[angle]);
            stage.sin[angle] = std::sin(stage.angle[angle]);
            TMachineComp::TChainState state = stages.before[changed];
            machine.Chain_Step(changed, stage, &state);
            for(int axis = changed + 1; axis < 3; ++axis)
            {
              machine.Chain_Step(axis, stages.stage[axis], &state);
            }
            moved[side] = state.error + TMachineComp::Probe_Error(state, d_points[index].probe);
          }
          d_angle_derivatives[index * 9 + static_cast<std::size_t>(changed * 3 + angle)] =
              (moved[0] - moved[1]) * (1.0 / (2.0 * ANGLE_STEP));
        }
      }
    }
  }

  // The derivative of every row's length with respect to a parameter that changes only the
  // table of chain axis changed, perturbed the machine with the parameter stepped by step: the
  // chain is linear in the table's values, so the change of the axis's stage per unit, carried
  // through the angle derivatives, moves each point; moves is the caller's scratch.
  void Table_Gradient(const TMachineComp& perturbed, int changed, double step, std::vector<TVector3>* moves,
                      double* gradient) const
  {
    moves->resize(d_points.size());
    for(std::size_t index = 0; index < d_points.size(); ++index)
    {
      const TMachineComp::TStage& base = d_stages[index].stage[changed];
      TMachineComp::TStage stage;
      perturbed.Chain_Stage(changed, d_points[index].nominal, &stage);
      TVector3 move = (stage.linear - base.linear) * (1.0 / step);
      for(int angle = 0; angle < 3; ++angle)
      {
        const double difference = stage.angle[angle] - base.angle[angle];
        if(difference != 0.0)
        {
          move = move +
                 d_angle_derivatives[index * 9 + static_cast<std::size_t>(changed * 3 + angle)] * (difference / step);
        }
      }
      (*moves)[index] = move;
    }
    for(std::size_t row = 0; row < d_rows.size(); ++row)
    {
      const TVector3 difference = d_actual[d_rows[row].target] - d_actual[d_rows[row].reference];
      const TVector3 change = (*moves)[d_rows[row].target] - (*moves)[d_rows[row].reference];
      const double length = difference.Length();
      gradient[row] = length > 0.0 ? Dot(difference, change) / length : change.Length();
    }
  }

  // Simulate for a machine that differs from that of Prepare_Stages only in the table of chain
  // axis changed (3: only in a squareness or deflection value): the chain is stepped from that
  // axis on, the rest taken as prepared. Evaluate's sum of terms, in its order.
  bool Simulate_Changed(const TMachineComp& machine, int changed, std::vector<TVector3>* scratch,
                        std::vector<double>* values, QString* error) const
  {
    scratch->resize(d_points.size());
    try
    {
      for(std::size_t index = 0; index < d_points.size(); ++index)
      {
        const TVector3& position = d_points[index].nominal;
        const TStages& stages = d_stages[index];
        TMachineComp::TChainState state = changed < 3 ? stages.before[changed] : stages.after;
        for(int axis = changed; axis < 3; ++axis)
        {
          if(axis == changed)
          {
            TMachineComp::TStage stage;
            machine.Chain_Stage(axis, position, &stage);
            machine.Chain_Step(axis, stage, &state);
          }
          else
          {
            machine.Chain_Step(axis, stages.stage[axis], &state);
          }
        }
        (*scratch)[index] =
            position +
            (((state.error + machine.Tower_Error(position)) + TMachineComp::Probe_Error(state, d_points[index].probe)) +
             machine.Squareness_Error(position));
      }
    }
    catch(const TMachineAxisException& exception)
    {
      *error = exception.Message();
      return false;
    }
    Lengths(*scratch, values);
    return true;
  }

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

  void Lengths(const std::vector<TVector3>& actual, std::vector<double>* values) const
  {
    values->resize(d_rows.size());
    for(std::size_t index = 0; index < d_rows.size(); ++index)
    {
      const TVector3 difference = actual[d_rows[index].target] - actual[d_rows[index].reference];
      (*values)[index] = difference.Length();
    }
  }

  std::size_t Add_Point(const TVector3& nominal, const TVector3& probe)
  {
    d_points.push_back(TPoint{nominal, probe});
    return d_points.size() - 1;
  }

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
                 bool stages, TSetUp* set_up, QString* error)
{
  if(!Propagation::Has_Covariance(machine))
  {
    *error = QStringLiteral("the machine '%1' has no covariance").arg(machine.name);
    return false;
  }
  if(!set_up->machine.Prepare(machine, error))
  {
    return false;
  }
  TMachineComp model;
  if(!set_up->machine.Setup(nullptr, &model, error) || !set_up->readings.Prepare(records, model, error))
  {
    return false;
  }
  if(stages)
  {
    return set_up->readings.Prepare_Stages(model, error);
  }
  return true;
}

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
} // namespace

namespace Propagation
{
TNormal::TNormal(std::uint64_t seed, std::uint64_t block)
{
  std::seed_seq sequence{static_cast<std::uint32_t>(seed), static_cast<std::uint32_t>(seed >> 32),
                         static_cast<std::uint32_t>(block), static_cast<std::uint32_t>(block >> 32)};
  d_engine.seed(sequence);
}

double TNormal::Next()
{
  if(d_has_spare)
  {
    d_has_spare = false;
    return d_spare;
  }
  double u = 0.0;
  double v = 0.0;
  double s = 0.0;
  do
  {
    // 53 random bits, centred in their interval: never 0 or 1.
    u = 2.0 * ((static_cast<double>(d_engine() >> 11) + 0.5) * 0x1p-53) - 1.0;
    v = 2.0 * ((static_cast<double>(d_engine() >> 11) + 0.5) * 0x1p-53) - 1.0;
    s = u * u + v * v;
  } while(s >= 1.0 || s == 0.0);
  const double factor = std::sqrt(-2.0 * std::log(s) / s);
  d_spare = v * factor;
  d_has_spare = true;
  return u * factor;
}

bool Has_Covariance(const TMachineLibrary::TMachineItem& machine)
{
  const std::size_t size = static_cast<std::size_t>(machine.covariance_labels.size());
  return size > 0 && machine.covariance.size() == size * size;
}

TLinear Linear(const TMachineLibrary::TMachineItem& machine, const std::vector<const TMeasurement*>& records, int jobs)
{
  TLinear result;
  TSetUp set_up;
  if(!Make_Set_Up(machine, records, true, &set_up, &result.error))
  {
    return result;
  }
  const std::size_t size = set_up.machine.Size();
  const std::size_t count = set_up.readings.Count();
  result.labels = machine.covariance_labels;

  // The angle derivatives of the chain, once for all parameters that turn a table's stage.
  bool used[3][3] = {};
  for(std::size_t p = 0; p < size; ++p)
  {
    const int chain = set_up.machine.Chain_Index(p);
    const int angle = set_up.machine.Angle_Index(p);
    if(chain < 3 && angle >= 0)
    {
      used[chain][angle] = true;
    }
  }
  TMachineComp geometry;
  if(!set_up.machine.Setup(nullptr, &geometry, &result.error))
  {
    return result;
  }
  const std::size_t points = set_up.readings.Points();
  const int blocks = static_cast<int>((points + BLOCK - 1) / BLOCK);
  Run_Tasks(blocks, jobs,
            [&]()
            {
              return [&](int block)
              {
                const std::size_t first = static_cast<std::size_t>(block) * BLOCK;
                set_up.readings.Prepare_Angle_Derivatives(geometry, used, first, first + BLOCK);
                return true;
              };
            });

  // One task per parameter: a table's parameter through the angle derivatives; a squareness or
  // deflection value, which acts after the chain, by central differences of the terms after it.
  std::vector<double> gradients(size * count, 0.0); // parameter by parameter
  std::vector<QString> failures(size);
  Run_Tasks(static_cast<int>(size), jobs,
            [&]()
            {
              std::vector<double> plus;
              std::vector<double> minus;
              std::vector<TVector3> scratch;
              std::vector<double> delta(size, 0.0);
              TMachineComp model;
              return [&, plus, minus, scratch, delta, model](int task) mutable
              {
                const std::size_t p = static_cast<std::size_t>(task);
                const double step = set_up.machine.Step(p);
                // Only the parameter's own table or value differs from the machine as stored.
                const int chain = set_up.machine.Chain_Index(p);
                QString& error = failures[p];
                double* gradient = &gradients[p * count];
                delta[p] = step;
                bool ok = set_up.machine.Setup(delta.data(), &model, &error);
                if(ok && chain < 3)
                {
                  set_up.readings.Table_Gradient(model, chain, step, &scratch, gradient);
                }
                else
                {
                  ok = ok && set_up.readings.Simulate_Changed(model, chain, &scratch, &plus, &error);
                  delta[p] = -step;
                  ok = ok && set_up.machine.Setup(delta.data(), &model, &error) &&
                       set_up.readings.Simulate_Changed(model, chain, &scratch, &minus, &error);
                  for(std::size_t r = 0; ok && r < count; ++r)
                  {
                    gradient[r] = (plus[r] - minus[r]) / (2.0 * step);
                  }
                }
                delta[p] = 0.0;
                for(std::size_t r = 0; ok && r < count; ++r)
                {
                  gradient[r] = std::fabs(gradient[r]) * step < NEGLIGIBLE ? 0.0 : gradient[r];
                }
                return ok;
              };
            });
  for(const QString& failure : failures)
  {
    if(!failure.isEmpty())
    {
      result.error = failure;
      return result;
    }
  }

  // gᵀCg over the determined parameters, all readings at once; an undetermined parameter has
  // no covariance with the others, and a reading that depends on it is not determined either.
  const std::vector<double>& covariance = machine.covariance;
  std::vector<char> determined(size);
  Eigen::MatrixXd determined_covariance =
      Eigen::MatrixXd::Zero(static_cast<Eigen::Index>(size), static_cast<Eigen::Index>(size));
  for(std::size_t i = 0; i < size; ++i)
  {
    determined[i] = std::isfinite(covariance[i * size + i]);
    for(std::size_t j = 0; j < size && determined[i]; ++j)
    {
      if(std::isfinite(covariance[j * size + j]))
      {
        determined_covariance(static_cast<Eigen::Index>(i), static_cast<Eigen::Index>(j)) = covariance[i * size + j];
      }
    }
  }
  const Eigen::Map<const Eigen::MatrixXd> jacobian(gradients.data(), static_cast<Eigen::Index>(count),
                                                   static_cast<Eigen::Index>(size));
  const Eigen::VectorXd variances = (jacobian * determined_covariance).cwiseProduct(jacobian).rowwise().sum();
  std::size_t r = 0;
  const std::vector<std::size_t>& rows_per_measurement = set_up.readings.Rows_Per_Measurement();
  for(std::size_t m = 0; m < rows_per_measurement.size(); ++m)
  {
    for(std::size_t row = 0; row < rows_per_measurement[m]; ++row, ++r)
    {
      TReading reading;
      reading.measurement = static_cast<int>(m);
      reading.row = static_cast<int>(row);
      reading.value = set_up.readings.Values()[r];
      reading.gradient.resize(size);
      bool undetermined = false;
      for(std::size_t p = 0; p < size; ++p)
      {
        reading.gradient[p] = gradients[p * count + r];
        undetermined = undetermined || (!determined[p] && reading.gradient[p] != 0.0);
      }
      const double variance = variances(static_cast<Eigen::Index>(r));
      reading.u = undetermined ? std::numeric_limits<double>::infinity() : std::sqrt(std::max(variance, 0.0));
      result.readings.push_back(std::move(reading));
    }
  }
  result.ok = true;
  return result;
}

TMonteCarlo Monte_Carlo(const TMachineLibrary::TMachineItem& machine, const std::vector<const TMeasurement*>& records,
                        int draws, std::uint64_t seed, int jobs)
{
  TMonteCarlo result;
  result.draws = draws;
  const TLinear linear = Linear(machine, records, jobs);
  if(!linear.ok)
  {
    result.error = linear.error;
    return result;
  }
  TSetUp set_up;
  if(!Make_Set_Up(machine, records, false, &set_up, &result.error))
  {
    return result;
  }
  if(draws < 2)
  {
    result.error = QStringLiteral("Monte Carlo needs at least 2 draws");
    return result;
  }

  // The determined part of the covariance as C = A Aᵀ, A = V sqrt(Λ).
  const std::size_t size = set_up.machine.Size();
  std::vector<std::size_t> finite;
  for(std::size_t p = 0; p < size; ++p)
  {
    if(std::isfinite(machine.covariance[p * size + p]))
    {
      finite.push_back(p);
    }
  }
  const Eigen::Index n = static_cast<Eigen::Index>(finite.size());
  Eigen::MatrixXd covariance(n, n);
  for(Eigen::Index i = 0; i < n; ++i)
  {
    for(Eigen::Index j = 0; j < n; ++j)
    {
      covariance(i, j) =
          machine.covariance[finite[static_cast<std::size_t>(i)] * size + finite[static_cast<std::size_t>(j)]];
    }
  }
  Eigen::MatrixXd factor = Eigen::MatrixXd::Zero(n, n);
  if(n > 0)
  {
    const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> solver(covariance);
    factor = solver.eigenvectors() * solver.eigenvalues().cwiseMax(0.0).cwiseSqrt().asDiagonal();
  }

  const std::size_t count = set_up.readings.Count();
  std::vector<double> values(static_cast<std::size_t>(draws) * count);
  const int blocks = (draws + BLOCK - 1) / BLOCK;
  std::mutex failure_mutex;
  int failed_draw = draws;
  QString failure;
  Run_Tasks(blocks, jobs,
            [&]()
            {
              std::vector<double> simulated;
              std::vector<TVector3> scratch;
              std::vector<double> delta(size, 0.0);
              Eigen::VectorXd z(n);
              Eigen::VectorXd drawn(n);
              TMachineComp model;
              return [&, simulated, scratch, delta, z, drawn, model](int block) mutable
              {
                TNormal normal(seed, static_cast<std::uint64_t>(block));
                const int first = block * BLOCK;
                const int last = std::min(draws, first + BLOCK);
                for(int draw = first; draw < last; ++draw)
                {
                  for(Eigen::Index i = 0; i < n; ++i)
                  {
                    z(i) = normal.Next();
                  }
                  drawn.noalias() = factor * z;
                  for(Eigen::Index i = 0; i < n; ++i)
                  {
                    delta[finite[static_cast<std::size_t>(i)]] = drawn(i);
                  }
                  QString error;
                  if(!set_up.machine.Setup(delta.data(), &model, &error) ||
                     !set_up.readings.Simulate(model, &scratch, &simulated, &error))
                  {
                    const std::lock_guard<std::mutex> lock(failure_mutex);
                    if(draw < failed_draw)
                    {
                      failed_draw = draw;
                      failure = error;
                    }
                    return false;
                  }
                  std::copy(simulated.begin(), simulated.end(),
                            values.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(draw) * count));
                }
                return true;
              };
            });
  if(failed_draw < draws)
  {
    result.error = QStringLiteral("draw %1: %2").arg(failed_draw + 1).arg(failure);
    return result;
  }

  const std::size_t inside = static_cast<std::size_t>(std::ceil(COVERAGE * draws));
  std::vector<double> column(static_cast<std::size_t>(draws));
  for(std::size_t r = 0; r < count; ++r)
  {
    double sum = 0.0;
    for(std::size_t d = 0; d < column.size(); ++d)
    {
      column[d] = values[d * count + r];
      sum += column[d];
    }
    const double mean = sum / draws;
    double squares = 0.0;
    for(const double value : column)
    {
      squares += (value - mean) * (value - mean);
    }
    std::sort(column.begin(), column.end());
    std::size_t best = 0;
    for(std::size_t d = 0; d + inside <= column.size(); ++d)
    {
      if(column[d + inside - 1] - column[d] < column[best + inside - 1] - column[best])
      {
        best = d;
      }
    }
    if(std::isinf(linear.readings[r].u))
    {
      const double infinity = std::numeric_limits<double>::infinity();
      result.deviation.push_back(infinity);
      result.low.push_back(-infinity);
      result.high.push_back(infinity);
      continue;
    }
    result.deviation.push_back(std::sqrt(squares / (draws - 1)));
    result.low.push_back(column[best]);
    result.high.push_back(column[best + inside - 1]);
  }
  result.ok = true;
  return result;
}
} // namespace Propagation
