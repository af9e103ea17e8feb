#include "src/model/evaluation_staged.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/varlume_assert.h"

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

void TPatternSetUp::Set_Up_Item(std::size_t index, TMachineComp* machine) const
{
  machine->Initialize_Begin(parameters);
  Apply(index, machine);
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

// ---------------------------------------------------------------------------------------------

std::vector<TMeasurement*> Copy_Measurements(const std::vector<TMeasurement*>& list,
                                             std::vector<std::unique_ptr<TMeasurement>>* owned)
{
  std::vector<TMeasurement*> copies;
  std::map<const TMeasurement*, TMeasurement*> copied;
  for(const TMeasurement* original : list)
  {
    TMeasurement*& copy = copied[original];
    if(!copy)
    {
      owned->push_back(Copy_Measurement(*original));
      copy = owned->back().get();
    }
    copies.push_back(copy);
  }
  return copies;
}

QString Simulation_Failure(const std::vector<TMeasurement*>& measurements, const QStringList& errors)
{
  if(errors.isEmpty())
  {
    return QString();
  }
  const QString& error = errors.back();
  for(const TMeasurement* measurement : measurements)
  {
    if(!measurement->d_measurement_items.empty() ||
       Simulation::Expected_Row_Count(*measurement) > Simulation::MAXIMUM_ROWS)
    {
      continue;
    }
    const QString prefix = measurement->d_name + QStringLiteral(": ");
    return error.startsWith(prefix) ? error.mid(prefix.size()) : error;
  }
  return error;
}

TFullPatterns::TFullPatterns(const TPatternSetUp& set_up, const std::vector<TMeasurement*>& measurements)
    : d_set_up(set_up), d_originals(measurements)
{
}

TFullPatterns::~TFullPatterns() = default;

void TFullPatterns::Run(std::size_t k, TOutcome* outcome)
{
  if(d_list.size() != d_originals.size())
  {
    d_list = Copy_Measurements(d_originals, &d_copies);
  }

  const QString code = d_set_up.Code(k);
  d_set_up.Set_Up(k, &d_machine);
  int state = TOutcome::NOTHING;
  try
  {
    d_machine.Initialize_End();
    // A pattern of items that the evaluation does not apply simulates nothing new.
    if(code.size() > 1)
    {
      QStringList errors;
      if(Simulation::Update_Measurement_Items(&d_machine, &d_list, &errors))
      {
        outcome->line = Result_Line(code, &d_machine, &d_list).toLatin1();
        state = TOutcome::LINE;
      }
      else
      {
        outcome->message = Simulation_Failure(d_list, errors);
        state = TOutcome::STOPPED;
      }
    }
  }
  catch(const TMachineAxisException& exception)
  {
    outcome->message = exception.Message();
    state = TOutcome::STOPPED;
  }
  outcome->state.store(state, std::memory_order_release);
}

// ---------------------------------------------------------------------------------------------

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

// The rows of the perfect machine as point indices, by kind in file order; the measurements
// get their own rows back.
bool TStagedPatterns::Collect_Rows(const TMachineComp& perfect, std::vector<TMeasurement*>& measurements)
{
  std::vector<std::pair<std::vector<TMeasurement::TMeasurementItem>, bool>> kept;
  for(TMeasurement* measurement : measurements)
  {
    // Copied, not moved: a measurement may be listed twice.
    kept.emplace_back(measurement->d_measurement_items, measurement->d_outside_volume);
  }
  QStringList errors;
  const bool simulated = Simulation::Update_Measurement_Items(&perfect, &measurements, &errors);

  d_points.clear();
  TPointIndex point_index;
  for(int kind = 0; kind < KIND_COUNT; ++kind)
  {
    d_rows[kind].clear();
    for(const TMeasurement* measurement : measurements)
    {
      if(measurement->Type() != Kind_Type(kind))
      {
        continue;
      }
      for(const TMeasurement::TMeasurementItem& row : measurement->d_measurement_items)
      {
        TRow staged_row;
        staged_row.reference =
            static_cast<std::uint32_t>(Point_Index(row.reference_nominal, row.probe_offset, &point_index));
        staged_row.point = static_cast<std::uint32_t>(Point_Index(row.point_nominal, row.probe_offset, &point_index));
        staged_row.nominal = row.length_nominal;
        d_rows[kind].push_back(staged_row);
      }
    }
  }

  for(std::size_t m = 0; m < measurements.size(); ++m)
  {
    measurements[m]->d_measurement_items = kept[m].first;
    measurements[m]->d_outside_volume = kept[m].second;
  }
  return simulated;
}

bool TStagedPatterns::Set_Up_Geometry(const TMachineComp::TInitParameters& parameters)
{
  if(!d_geometry.Initialize_Begin(parameters))
  {
    return false;
  }
  try
  {
    d_geometry.Initialize_End();
  }
  catch(const TMachineAxisException&)
  {
    // The straight tables cannot be derived: the full set-up reports it.
    return false;
  }
  d_tower = parameters.kinematic == KINEMATIC_XZY || parameters.kinematic == KINEMATIC_YZX;
  return true;
}

bool TStagedPatterns::Group_Items(const TPatternSetUp& set_up)
{
  // The tables in chain order, then everything else.
  const int chain_axes[3] = {set_up.parameters.first_axis, set_up.parameters.second_axis, set_up.parameters.third_axis};
  for(std::vector<std::size_t>& group : d_groups)
  {
    group.clear();
  }
  d_free.clear();
  for(std::size_t j = 0; j < set_up.items.size(); ++j)
  {
    const TErrorItem& item = set_up.items[j];
    if(!set_up.codes[j])
    {
      d_free.push_back(j);
      continue;
    }
    std::size_t group = OTHER;
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
  return true;
}

void TStagedPatterns::Prepare_Group(const TPatternSetUp& set_up, std::size_t group, std::size_t subsets)
{
  const std::vector<std::size_t>& members = d_groups[group];
  const std::size_t point_count = d_points.size();
  d_usable[group].assign(subsets, 0);
  if(group < OTHER)
  {
    d_stages[group].assign(subsets * point_count, TMachineComp::TStage());
  }
  else
  {
    d_towers.clear();
    d_squares.clear();
    d_tower_of.assign(subsets, 0);
    d_square_of.assign(subsets, 0);
  }
  for(std::size_t subset = 0; subset < subsets; ++subset)
  {
    TMachineComp model;
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
      if(group < OTHER)
      {
        TMachineComp::TStage* stages = &d_stages[group][subset * point_count];
        for(std::size_t p = 0; p < point_count; ++p)
        {
          model.Chain_Stage(static_cast<int>(group), d_points[p].nominal, &stages[p]);
        }
      }
      else
      {
        std::vector<TVector3> towers(point_count);
        std::vector<TVector3> squares(point_count);
        for(std::size_t p = 0; p < point_count; ++p)
        {
          if(d_tower)
          {
            towers[p] = model.Tower_Error(d_points[p].nominal);
          }
          squares[p] = model.Squareness_Error(d_points[p].nominal);
        }
        d_tower_of[subset] = Variant(towers, &d_towers);
        d_square_of[subset] = Variant(squares, &d_squares);
      }
    }
    catch(const TMachineAxisException&)
    {
      // Patterns with this subset are set up in full, which stops the evaluation there.
      continue;
    }
    d_usable[group][subset] = 1;
  }
}

void TStagedPatterns::Prepare_First_Chain()
{
  const std::size_t point_count = d_points.size();
  const std::size_t subsets = d_usable[FIRST].size();
  d_first.assign(subsets * point_count, TMachineComp::TChainState());
  for(std::size_t subset = 0; subset < subsets; ++subset)
  {
    if(!d_usable[FIRST][subset])
    {
      continue;
    }
    for(std::size_t p = 0; p < point_count; ++p)
    {
      d_geometry.Chain_Step(0, d_stages[FIRST][subset * point_count + p], &d_first[subset * point_count + p]);
    }
  }
}

bool TStagedPatterns::Prepare(const TPatternSetUp& set_up, std::vector<TMeasurement*>& measurements)
{
  d_task_count = 0;
  d_set_up = &set_up;
  d_item_count = set_up.items.size();
  if(!Set_Up_Geometry(set_up.parameters) || !Group_Items(set_up) || !Collect_Rows(d_geometry, measurements))
  {
    return false;
  }
  const std::size_t point_count = d_points.size();
  d_nominal.clear();
  for(const TPoint& point : d_points)
  {
    d_nominal.push_back(point.nominal);
  }
  std::size_t subsets[GROUP_COUNT];
  for(std::size_t group = 0; group < GROUP_COUNT; ++group)
  {
    subsets[group] = std::size_t(1) << d_groups[group].size();
  }
  const std::size_t bytes =
      point_count * ((subsets[FIRST] + subsets[SECOND] + subsets[THIRD]) * sizeof(TMachineComp::TStage) +
                     subsets[FIRST] * sizeof(TMachineComp::TChainState) + subsets[OTHER] * 2 * sizeof(TVector3));
  if(bytes > MAXIMUM_BYTES)
  {
    return false;
  }

  // Each part's models, one per subset of its items, then the chain after the first axis.
  for(std::size_t group = 0; group < GROUP_COUNT; ++group)
  {
    Prepare_Group(set_up, group, subsets[group]);
  }
  Prepare_First_Chain();

  // Enough tasks to share among threads, each long enough to be worth taking.
  const std::size_t pairs = subsets[FIRST] * subsets[SECOND];
  d_third_chunks = 1;
  while(pairs * d_third_chunks < 64 && d_third_chunks < subsets[THIRD])
  {
    d_third_chunks *= 2;
  }
  d_task_count = pairs * d_third_chunks;
  return true;
}

std::size_t TStagedPatterns::Variant(const std::vector<TVector3>& terms, std::vector<TVector3>* variants)
{
  const std::size_t count = terms.size();
  const std::size_t variant_count = count == 0 ? 0 : variants->size() / count;
  for(std::size_t v = 0; v < variant_count; ++v)
  {
    if(std::memcmp(&(*variants)[v * count], terms.data(), count * sizeof(TVector3)) == 0)
    {
      return v;
    }
  }
  variants->insert(variants->end(), terms.begin(), terms.end());
  return variant_count;
}

std::size_t TStagedPatterns::Mask(std::size_t group, std::size_t subset) const
{
  const std::vector<std::size_t>& members = group < GROUP_COUNT ? d_groups[group] : d_free;
  std::size_t mask = 0;
  for(std::size_t t = 0; t < members.size(); ++t)
  {
    if((subset >> t) & 1U)
    {
      mask |= std::size_t(1) << members[t];
    }
  }
  return mask;
}

std::size_t TStagedPatterns::Publish(std::size_t mask, const QByteArray& line, int state, TOutcome* outcomes) const
{
  const std::size_t pattern_count = std::size_t(1) << d_item_count;
  const std::size_t free_subsets = std::size_t(1) << d_free.size();
  for(std::size_t f = 0; f < free_subsets; ++f)
  {
    const std::size_t bits = mask | Mask(GROUP_COUNT, f);
    // Pattern k holds the items of the bits of k; the empty one is the last.
    TOutcome& outcome = outcomes[bits == 0 ? pattern_count : bits];
    if(state == TOutcome::LINE)
    {
      outcome.line = line;
    }
    outcome.state.store(state, std::memory_order_release);
  }
  return free_subsets;
}

std::size_t TStagedPatterns::Combine(std::size_t mask, std::size_t other, TScratch* scratch, TOutcome* outcomes) const
{
  const std::size_t point_count = d_points.size();
  const TVector3* before = &scratch->before_squareness[d_tower_of[other] * point_count];
  const TVector3* squares = &d_squares[d_square_of[other] * point_count];
  const TVector3* nominal = d_nominal.data();
  TVector3* actual = scratch->actual.data();
  // As Evaluate adds the terms: ((chain + tower) + probe) + squareness, then the position.
  for(std::size_t p = 0; p < point_count; ++p)
  {
    actual[p] = nominal[p] + (before[p] + squares[p]);
  }
  // As the simulation computes a row's length; the extremes in a local so that they stay in
  // registers.
  TExtremes kinds[KIND_COUNT];
  for(int kind = 0; kind < KIND_COUNT; ++kind)
  {
    TExtremes extremes = Kind_Extremes(kind);
    for(const TRow& row : d_rows[kind])
    {
      const TVector3 difference = actual[row.point] - actual[row.reference];
      extremes.Add(row.nominal, difference.Length());
    }
    kinds[kind] = extremes;
  }
  return Publish(mask, Result_Line(d_set_up->Code(mask), kinds).toLatin1(), TOutcome::LINE, outcomes);
}

std::size_t TStagedPatterns::Run_Task(std::size_t task, TScratch* scratch, TOutcome* outcomes, TFullPatterns* full,
                                      const std::atomic<bool>& stop) const
{
  std::size_t filled = 0;
  const std::size_t point_count = d_points.size();
  const std::size_t first_subsets = d_usable[FIRST].size();
  const std::size_t third_subsets = d_usable[THIRD].size();
  const std::size_t other_subsets = d_usable[OTHER].size();
  const std::size_t free_subsets = std::size_t(1) << d_free.size();
  const std::size_t pattern_count = std::size_t(1) << d_item_count;

  // The first axis varies fastest, as it does in the patterns when it has the first items.
  const std::size_t chunk = task % d_third_chunks;
  const std::size_t pair = task / d_third_chunks;
  const std::size_t first = pair % first_subsets;
  const std::size_t second = pair / first_subsets;
  const std::size_t third_per_chunk = third_subsets / d_third_chunks;

  scratch->second.resize(point_count);
  scratch->chain.resize(point_count);
  scratch->probe.resize(point_count);
  scratch->actual.resize(point_count);
  const std::size_t tower_count = d_towers.size() / std::max<std::size_t>(point_count, 1);
  scratch->before_squareness.resize(tower_count * point_count);
  const bool pair_usable = d_usable[FIRST][first] && d_usable[SECOND][second];
  if(pair_usable)
  {
    const TMachineComp::TStage* stages = &d_stages[SECOND][second * point_count];
    const TMachineComp::TChainState* states = &d_first[first * point_count];
    for(std::size_t p = 0; p < point_count; ++p)
    {
      scratch->second[p] = states[p];
      d_geometry.Chain_Step(1, stages[p], &scratch->second[p]);
    }
  }

  const std::size_t pair_mask = Mask(FIRST, first) | Mask(SECOND, second);
  for(std::size_t third = chunk * third_per_chunk; third < (chunk + 1) * third_per_chunk; ++third)
  {
    if(stop.load(std::memory_order_relaxed))
    {
      return filled;
    }
    const std::size_t chain_mask = pair_mask | Mask(THIRD, third);
    const bool chain_usable = pair_usable && d_usable[THIRD][third];
    if(chain_usable)
    {
      const TMachineComp::TStage* stages = &d_stages[THIRD][third * point_count];
      for(std::size_t p = 0; p < point_count; ++p)
      {
        TMachineComp::TChainState state = scratch->second[p];
        d_geometry.Chain_Step(2, stages[p], &state);
        scratch->chain[p] = state.error;
        scratch->probe[p] = TMachineComp::Probe_Error(state, d_points[p].probe);
      }
      for(std::size_t tower = 0; tower < tower_count; ++tower)
      {
        const TVector3* towers = &d_towers[tower * point_count];
        TVector3* before = &scratch->before_squareness[tower * point_count];
        for(std::size_t p = 0; p < point_count; ++p)
        {
          before[p] = (scratch->chain[p] + towers[p]) + scratch->probe[p];
        }
      }
    }
    for(std::size_t other = 0; other < other_subsets; ++other)
    {
      const std::size_t mask = chain_mask | Mask(OTHER, other);
      if(d_set_up->Code(mask).size() == 1)
      {
        // Without a code the set-up is the perfect machine's, which Prepare saw succeed.
        filled += Publish(mask, QByteArray(), TOutcome::NOTHING, outcomes);
      }
      else if(chain_usable && d_usable[OTHER][other])
      {
        filled += Combine(mask, other, scratch, outcomes);
      }
      else
      {
        for(std::size_t f = 0; f < free_subsets; ++f)
        {
          const std::size_t bits = mask | Mask(GROUP_COUNT, f);
          const std::size_t k = bits == 0 ? pattern_count : bits;
          full->Run(k, &outcomes[k]);
          ++filled;
        }
      }
    }
  }
  return filled;
}
} // namespace Evaluation
