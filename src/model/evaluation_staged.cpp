#include "src/model/evaluation_staged.h"

#include <cmath>
#include <cstring>

namespace Evaluation
{
bool Has_Table(const TErrorItem& item)
{
  return item.parameter == PARAMETER_RX || item.parameter == PARAMETER_RY || item.parameter == PARAMETER_RZ ||
         item.parameter == PARAMETER_SCALE;
}

QString TPatternSetUp::Code(std::size_t k) const
{
  QString code = QStringLiteral("|");
  for(std::size_t j = 0; j < items.size(); ++j)
  {
    if(((k >> j) & 1U) && codes[j])
    {
      code += QLatin1String(codes[j]);
    }
  }
  return code;
}

void TPatternSetUp::Set_Up(std::size_t k, TMachineComp* machine) const
{
  machine->Initialize_Begin(parameters);
  for(std::size_t j = 0; j < items.size(); ++j)
  {
    if(((k >> j) & 1U) && codes[j])
    {
      Apply(j, machine);
    }
  }
}

void TPatternSetUp::Apply(std::size_t index, TMachineComp* machine) const
{
  const TErrorItem& item = items[index];
  if(!has_values[index])
  {
    Simulation::Apply_Error_Item(machine, item);
    return;
  }
  const TMachineAxisValues& table = values[index];
  switch(item.parameter)
  {
  case PARAMETER_RX:
    machine->Set_Rx(item.axis, table, item.sign);
    break;
  case PARAMETER_RY:
    machine->Set_Ry(item.axis, table, item.sign);
    break;
  case PARAMETER_RZ:
    machine->Set_Rz(item.axis, table, item.sign);
    break;
  case PARAMETER_SCALE:
    machine->Set_Scale(item.axis, table, item.sign);
    break;
  default:
    Simulation::Apply_Error_Item(machine, item);
    break;
  }
}

bool TStagedPatterns::TBitwiseLess::operator()(const std::array<double, 6>& a, const std::array<double, 6>& b) const
{
  return std::memcmp(a.data(), b.data(), sizeof(a)) < 0;
}

std::size_t TStagedPatterns::Point_Index(const TVector3& nominal, const TVector3& probe, TPointIndex* index)
{
  const std::array<double, 6> key = {nominal.x, nominal.y, nominal.z, probe.x, probe.y, probe.z};
  const auto found = index->find(key);
  if(found != index->end())
  {
    return found->second;
  }
  const std::size_t point = d_points.size();
  d_points.push_back({nominal, probe});
  index->emplace(key, point);
  return point;
}

// The rows of the perfect machine, kept aside; the measurements get their own rows back.
bool TStagedPatterns::Simulate_Perfect(const TMachineComp& perfect, const std::vector<TMeasurement*>& measurements)
{
  d_perfect_rows.clear();
  std::vector<std::pair<std::vector<TMeasurement::TMeasurementItem>, bool>> kept;
  for(TMeasurement* measurement : measurements)
  {
    // Copied, not moved: a measurement may be listed twice.
    kept.emplace_back(measurement->d_measurement_items, measurement->d_outside_volume);
  }
  QStringList errors;
  const bool simulated = Simulation::Update_Measurement_Items(&perfect, &measurements, &errors);
  for(const TMeasurement* measurement : measurements)
  {
    d_perfect_rows.push_back(measurement->d_measurement_items);
  }
  for(std::size_t m = 0; m < measurements.size(); ++m)
  {
    measurements[m]->d_measurement_items = kept[m].first;
    measurements[m]->d_outside_volume = kept[m].second;
  }
  return simulated;
}

bool TStagedPatterns::Prepare(const TPatternSetUp& set_up, const std::vector<TMeasurement*>& measurements)
{
  d_ready = false;
  TMachineComp perfect;
  if(!perfect.Initialize_Begin(set_up.parameters))
  {
    return false;
  }
  try
  {
    perfect.Initialize_End();
  }
  catch(const TMachineAxisException&)
  {
    // The straight tables cannot be derived: the full set-up reports it.
    return false;
  }

  // Which items each model part holds: the tables in chain order, then everything else.
  const int chain_axes[3] = {set_up.parameters.first_axis, set_up.parameters.second_axis, set_up.parameters.third_axis};
  for(std::vector<std::size_t>& group : d_groups)
  {
    group.clear();
  }
  for(std::size_t j = 0; j < set_up.items.size(); ++j)
  {
    const TErrorItem& item = set_up.items[j];
    if(!set_up.codes[j])
    {
      continue;
    }
    std::size_t group = OTHER_GROUP;
    if(Has_Table(item))
    {
      for(std::size_t i = 0; i < 3; ++i)
      {
        if(chain_axes[i] == item.axis)
        {
          group = i;
        }
      }
    }
    d_groups[group].push_back(j);
  }
  for(const std::vector<std::size_t>& group : d_groups)
  {
    if(group.size() > MAXIMUM_GROUP_ITEMS)
    {
      return false;
    }
  }

  // The rows and their distinct nominal points. Until a pattern is simulated the
  // measurements keep the rows that they had.
  d_measurements = &measurements;
  d_installed = false;
  if(!Simulate_Perfect(perfect, measurements))
  {
    return false;
  }
  d_points.clear();
  d_rows.clear();
  TPointIndex point_index;
  for(const std::vector<TMeasurement::TMeasurementItem>& rows : d_perfect_rows)
  {
    for(const TMeasurement::TMeasurementItem& row : rows)
    {
      TRow staged_row;
      staged_row.reference = Point_Index(row.reference_nominal, row.probe_offset, &point_index);
      staged_row.point = Point_Index(row.point_nominal, row.probe_offset, &point_index);
      d_rows.push_back(staged_row);
    }
  }
  const std::size_t point_count = d_points.size();

  // Each part's models, one per subset of its items, and the stages of the tables.
  std::size_t stage_count = 0;
  for(std::size_t i = 0; i < 3; ++i)
  {
    stage_count += (std::size_t(1) << d_groups[i].size()) * point_count;
  }
  if(stage_count > MAXIMUM_STAGES)
  {
    return false;
  }
  for(std::size_t group = 0; group < GROUP_COUNT; ++group)
  {
    const std::vector<std::size_t>& members = d_groups[group];
    const std::size_t subsets = std::size_t(1) << members.size();
    d_usable[group].assign(subsets, 0);
    if(group < 3)
    {
      d_stages[group].assign(subsets * point_count, TMachineComp::TStage());
    }
    else
    {
      d_other.assign(subsets, TMachineComp());
    }
    for(std::size_t subset = 0; subset < subsets; ++subset)
    {
      TMachineComp local;
      TMachineComp& model = group < 3 ? local : d_other[subset];
      model.Initialize_Begin(set_up.parameters);
      for(std::size_t t = 0; t < members.size(); ++t)
      {
        if((subset >> t) & 1U)
        {
          set_up.Apply(members[t], &model);
        }
      }
      try
      {
        model.Initialize_End();
      }
      catch(const TMachineAxisException&)
      {
        // Patterns with this subset are set up in full, which stops the evaluation there.
        continue;
      }
      d_usable[group][subset] = 1;
      if(group < 3)
      {
        TMachineComp::TStage* stages = &d_stages[group][subset * point_count];
        for(std::size_t p = 0; p < point_count; ++p)
        {
          model.Chain_Stage(static_cast<int>(group), d_points[p].nominal, &stages[p]);
        }
      }
    }
  }
  d_actual.assign(point_count, TVector3());
  d_ready = true;
  return true;
}

// The perfect machine's rows, whose lengths each pattern overwrites.
void TStagedPatterns::Install_Rows()
{
  std::size_t index = 0;
  for(std::size_t m = 0; m < d_measurements->size(); ++m)
  {
    std::vector<TMeasurement::TMeasurementItem>& rows = (*d_measurements)[m]->d_measurement_items;
    rows = d_perfect_rows[m];
    for(TMeasurement::TMeasurementItem& row : rows)
    {
      d_rows[index++].row = &row;
    }
  }
  d_installed = true;
  d_perfect_rows.clear();
  d_perfect_rows.shrink_to_fit();
}

bool TStagedPatterns::Simulate(std::size_t k)
{
  std::size_t subset[GROUP_COUNT];
  for(std::size_t group = 0; group < GROUP_COUNT; ++group)
  {
    const std::vector<std::size_t>& members = d_groups[group];
    subset[group] = 0;
    for(std::size_t t = 0; t < members.size(); ++t)
    {
      if((k >> members[t]) & 1U)
      {
        subset[group] |= std::size_t(1) << t;
      }
    }
    if(!d_usable[group][subset[group]])
    {
      return false;
    }
  }

  const TMachineComp& model = d_other[subset[OTHER_GROUP]];
  const std::size_t point_count = d_points.size();
  const TMachineComp::TStage* first[3];
  for(std::size_t i = 0; i < 3; ++i)
  {
    first[i] = &d_stages[i][subset[i] * point_count];
  }
  try
  {
    for(std::size_t p = 0; p < point_count; ++p)
    {
      const TMachineComp::TStage* stages[3] = {first[0] + p, first[1] + p, first[2] + p};
      bool inside = false;
      d_actual[p] = model.Evaluate(d_points[p].nominal, d_points[p].probe, stages, &inside);
    }
  }
  catch(const TMachineAxisException&)
  {
    return false;
  }

  if(!d_installed)
  {
    Install_Rows();
  }

  // As the simulation computes a row's length.
  for(const TRow& row : d_rows)
  {
    const TVector3 difference = d_actual[row.point] - d_actual[row.reference];
    row.row->length_actual = std::sqrt(difference ^ difference);
  }
  return true;
}
} // namespace Evaluation
