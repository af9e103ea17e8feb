// The set-up of a propagation: the machine's tables with parameter changes added, and the points
// of the records' rows, evaluated whole or from a changed axis on.

#include "src/model/propagation_setup.h"

#include <cmath>
#include <memory>

#include "src/model/machine_labels.h"
#include "src/model/propagation.h"

namespace
{
using TMapErrorItem = TMachineLibrary::TMapErrorItem;

bool Is_Function(const TMapErrorItem& item)
{
  return (item.axis == AXIS_X || item.axis == AXIS_Y || item.axis == AXIS_Z) &&
         (item.parameter == PARAMETER_RX || item.parameter == PARAMETER_RY || item.parameter == PARAMETER_RZ ||
          item.parameter == PARAMETER_SCALE);
}

} // namespace

namespace Propagation
{
bool TPerturbedMachine::Prepare(const TMachineLibrary::TMachineItem& machine, QString* error)
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

  for(const QString& label : machine.covariance_labels)
  {
    TParameter parameter;
    parameter.item = -1;
    TParameterKey key;
    const bool read = Machine_Labels::Read_Key_Label(label, &key);
    for(std::size_t index = 0; read && index < d_items.size(); ++index)
    {
      const TMapErrorItem& item = d_items[index];
      // A function's coefficients are labelled with their power, a value without one. A
      // parameter listed twice takes its last entry, as the set-up does.
      if(Machine_Labels::Same_Parameter(key, {item.axis, item.parameter, 0}) && Is_Function(item) == (key.power > 0))
      {
        parameter.item = static_cast<int>(index);
        parameter.power = key.power;
      }
    }
    if(parameter.item < 0)
    {
      *error = QStringLiteral("the covariance names '%1', which is not an enabled parameter of the machine").arg(label);
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

int TPerturbedMachine::Chain_Index(std::size_t parameter) const
{
  const TMapErrorItem& item = d_items[static_cast<std::size_t>(d_parameters[parameter].item)];
  if(!Is_Function(item))
  {
    return 3;
  }
  return item.axis == d_init.first_axis ? 0 : item.axis == d_init.second_axis ? 1 : 2;
}

int TPerturbedMachine::Angle_Index(std::size_t parameter) const
{
  const TMapErrorItem& item = d_items[static_cast<std::size_t>(d_parameters[parameter].item)];
  return item.parameter == PARAMETER_RX   ? 0
         : item.parameter == PARAMETER_RY ? 1
         : item.parameter == PARAMETER_RZ ? 2
                                          : -1;
}

bool TPerturbedMachine::Setup(const double* delta, TMachineComp* machine, QString* error) const
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

bool TReadings::Prepare(const std::vector<const TMeasurement*>& records, const TMachineComp& machine, QString* error)
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

bool TReadings::Simulate(const TMachineComp& machine, std::vector<TVector3>* scratch, std::vector<double>* values,
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

bool TReadings::Prepare_Stages(const TMachineComp& machine, QString* error)
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

void TReadings::Prepare_Angle_Derivatives(const TMachineComp& machine, const bool (&used)[3][3], std::size_t first,
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

void TReadings::Table_Gradient(const TMachineComp& perturbed, int changed, double step, std::vector<TVector3>* moves,
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
        move =
            move + d_angle_derivatives[index * 9 + static_cast<std::size_t>(changed * 3 + angle)] * (difference / step);
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

bool TReadings::Simulate_Changed(const TMachineComp& machine, int changed, std::vector<TVector3>* scratch,
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

void TReadings::Lengths(const std::vector<TVector3>& actual, std::vector<double>* values) const
{
  values->resize(d_rows.size());
  for(std::size_t index = 0; index < d_rows.size(); ++index)
  {
    const TVector3 difference = actual[d_rows[index].target] - actual[d_rows[index].reference];
    (*values)[index] = difference.Length();
  }
}

std::size_t TReadings::Add_Point(const TVector3& nominal, const TVector3& probe)
{
  d_points.push_back(TPoint{nominal, probe});
  return d_points.size() - 1;
}

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

} // namespace Propagation
