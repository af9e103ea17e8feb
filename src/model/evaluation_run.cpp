// The loop over the error patterns: one set-up of a local model per pattern, the simulation of
// the measurements on it and one line of the evaluation file.

#include <QIODevice>

#include <array>
#include <cmath>
#include <cstring>
#include <map>

#include "core/varlume_assert.h"
#include "src/model/evaluation.h"

namespace
{
using Evaluation::TErrorItem;

void Write_Text(QIODevice* file, const QString& text)
{
  file->write(text.toLatin1());
}

Evaluation::TResult Refuse(QIODevice* file, const QString& message)
{
  Evaluation::TResult result;
  result.end = Evaluation::TEnd::REFUSED;
  result.message = message;
  Write_Text(file, QStringLiteral("Evaluation refused: %1\n").arg(message));
  return result;
}

bool Has_Table(const TErrorItem& item)
{
  return item.parameter == PARAMETER_RX || item.parameter == PARAMETER_RY || item.parameter == PARAMETER_RZ ||
         item.parameter == PARAMETER_SCALE;
}

// Set_Rx ... Set_Scale from the table values evaluated once, anything else as the record says.
// The results are not examined: a parameter whose expression fails part way is simulated with
// what the model made of it, as in the straightforward set-up.
void Apply_Item(TMachineComp* machine, const TErrorItem& item, const TMachineAxisValues* values)
{
  if(!values)
  {
    Simulation::Apply_Error_Item(machine, item);
    return;
  }
  switch(item.parameter)
  {
  case PARAMETER_RX:
    machine->Set_Rx(item.axis, *values, item.sign);
    break;
  case PARAMETER_RY:
    machine->Set_Ry(item.axis, *values, item.sign);
    break;
  case PARAMETER_RZ:
    machine->Set_Rz(item.axis, *values, item.sign);
    break;
  case PARAMETER_SCALE:
    machine->Set_Scale(item.axis, *values, item.sign);
    break;
  default:
    Simulation::Apply_Error_Item(machine, item);
    break;
  }
}

// The fast loop's shortcut. The file reads nothing of a row but its nominal and simulated
// lengths, and a table of the chain depends only on the items of its own axis. So the table
// look-ups and rotations of every distinct nominal point are worked out once for every subset
// of each axis's items, and a pattern only combines them in Evaluate; the deflection and the
// squareness come from a model that holds just those items. The rows themselves, whose
// nominal geometry no error changes, come from one simulation on the perfect machine.
class TStagedPatterns
{
public:
  // False when the shortcut does not apply; every pattern is then set up in full.
  bool Prepare(const TMachineComp::TInitParameters& parameters, const std::vector<TErrorItem>& items,
               const std::vector<const char*>& codes, const std::vector<TMachineAxisValues>& values,
               const std::vector<char>& has_values, const std::vector<TMeasurement*>& measurements)
  {
    d_ready = false;
    TMachineComp perfect;
    if(!perfect.Initialize_Begin(parameters))
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
    const int chain_axes[3] = {parameters.first_axis, parameters.second_axis, parameters.third_axis};
    for(std::vector<int>& group : d_groups)
    {
      group.clear();
    }
    for(int j = 0; j < static_cast<int>(items.size()); ++j)
    {
      const TErrorItem& item = items[static_cast<std::size_t>(j)];
      if(!codes[static_cast<std::size_t>(j)])
      {
        continue;
      }
      int group = OTHER_GROUP;
      if(Has_Table(item))
      {
        for(int i = 0; i < 3; ++i)
        {
          if(chain_axes[i] == item.axis)
          {
            group = i;
          }
        }
      }
      d_groups[group].push_back(j);
    }
    for(const std::vector<int>& group : d_groups)
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
    d_perfect_rows.clear();
    std::vector<std::pair<std::vector<TMeasurement::TMeasurementItem>, bool>> kept;
    for(TMeasurement* measurement : measurements)
    {
      // Copied, not moved: a measurement may be listed twice.
      kept.emplace_back(measurement->d_measurement_items, measurement->d_outside_volume);
    }
    QStringList errors;
    const bool simulated = Simulation::Update_Measurement_Items(&perfect, &measurements, &errors);
    for(std::size_t m = 0; m < measurements.size(); ++m)
    {
      d_perfect_rows.push_back(measurements[m]->d_measurement_items);
    }
    for(std::size_t m = 0; m < measurements.size(); ++m)
    {
      measurements[m]->d_measurement_items = kept[m].first;
      measurements[m]->d_outside_volume = kept[m].second;
    }
    if(!simulated)
    {
      return false;
    }
    d_points.clear();
    d_rows.clear();
    std::map<std::array<double, 6>, int, TBitwiseLess> point_index;
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
    for(int i = 0; i < 3; ++i)
    {
      stage_count += (std::size_t(1) << d_groups[i].size()) * point_count;
    }
    if(stage_count > MAXIMUM_STAGES)
    {
      return false;
    }
    for(int group = 0; group < GROUP_COUNT; ++group)
    {
      const std::vector<int>& members = d_groups[group];
      const int subsets = 1 << members.size();
      d_usable[group].assign(static_cast<std::size_t>(subsets), 0);
      if(group < 3)
      {
        d_stages[group].assign(static_cast<std::size_t>(subsets) * point_count, TMachineComp::TStage());
      }
      else
      {
        d_other.assign(static_cast<std::size_t>(subsets), TMachineComp());
      }
      for(int subset = 0; subset < subsets; ++subset)
      {
        TMachineComp local;
        TMachineComp& model = group < 3 ? local : d_other[static_cast<std::size_t>(subset)];
        model.Initialize_Begin(parameters);
        for(std::size_t t = 0; t < members.size(); ++t)
        {
          if(subset & (1 << t))
          {
            const std::size_t index = static_cast<std::size_t>(members[t]);
            Apply_Item(&model, items[index], has_values[index] ? &values[index] : nullptr);
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
        d_usable[group][static_cast<std::size_t>(subset)] = 1;
        if(group < 3)
        {
          TMachineComp::TStage* stages = &d_stages[group][static_cast<std::size_t>(subset) * point_count];
          for(std::size_t p = 0; p < point_count; ++p)
          {
            model.Chain_Stage(group, d_points[p].nominal, &stages[p]);
          }
        }
      }
    }
    d_actual.assign(point_count, TVector3());
    d_ready = true;
    return true;
  }

  bool Ready() const { return d_ready; }
  void Disable() { d_ready = false; }

  // Writes the simulated lengths of pattern k (items whose bits are set in k) into the rows.
  // False when the pattern has to be set up in full: a part of it raises an axis exception.
  // Only the lengths are written; the rest of each row stays that of the perfect machine.
  bool Simulate(int k)
  {
    int subset[GROUP_COUNT];
    for(int group = 0; group < GROUP_COUNT; ++group)
    {
      const std::vector<int>& members = d_groups[group];
      subset[group] = 0;
      for(std::size_t t = 0; t < members.size(); ++t)
      {
        if(k & (1 << members[t]))
        {
          subset[group] |= 1 << t;
        }
      }
      if(!d_usable[group][static_cast<std::size_t>(subset[group])])
      {
        return false;
      }
    }

    const TMachineComp& model = d_other[static_cast<std::size_t>(subset[OTHER_GROUP])];
    const std::size_t point_count = d_points.size();
    const TMachineComp::TStage* first[3];
    for(int i = 0; i < 3; ++i)
    {
      first[i] = &d_stages[i][static_cast<std::size_t>(subset[i]) * point_count];
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
      // The perfect machine's rows, whose lengths each pattern overwrites.
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

    // As the simulation computes a row's length.
    for(const TRow& row : d_rows)
    {
      const TVector3 difference =
          d_actual[static_cast<std::size_t>(row.point)] - d_actual[static_cast<std::size_t>(row.reference)];
      row.row->length_actual = std::sqrt(difference ^ difference);
    }
    return true;
  }

private:
  static constexpr int OTHER_GROUP = 3;
  static constexpr int GROUP_COUNT = 4;
  // 256 subsets of one axis's items at most; more would take long to prepare.
  static constexpr std::size_t MAXIMUM_GROUP_ITEMS = 8;
  // Some 32 MB of stages: the evaluation as a whole should stay well under 100 MB.
  static constexpr std::size_t MAXIMUM_STAGES = (std::size_t(32) << 20) / sizeof(TMachineComp::TStage);

  struct TPoint
  {
    TVector3 nominal;
    TVector3 probe;
  };

  struct TRow
  {
    TMeasurement::TMeasurementItem* row = nullptr;
    int reference = 0;
    int point = 0;
  };

  // Only the very same bits give the very same result; -0 and +0 stay apart.
  struct TBitwiseLess
  {
    bool operator()(const std::array<double, 6>& a, const std::array<double, 6>& b) const
    {
      return std::memcmp(a.data(), b.data(), sizeof(a)) < 0;
    }
  };

  int Point_Index(const TVector3& nominal, const TVector3& probe,
                  std::map<std::array<double, 6>, int, TBitwiseLess>* index)
  {
    const std::array<double, 6> key = {nominal.x, nominal.y, nominal.z, probe.x, probe.y, probe.z};
    const auto found = index->find(key);
    if(found != index->end())
    {
      return found->second;
    }
    const int point = static_cast<int>(d_points.size());
    d_points.push_back({nominal, probe});
    index->emplace(key, point);
    return point;
  }

  bool d_ready = false;
  const std::vector<TMeasurement*>* d_measurements = nullptr;
  std::vector<std::vector<TMeasurement::TMeasurementItem>> d_perfect_rows;
  bool d_installed = false;
  std::vector<int> d_groups[GROUP_COUNT];
  std::vector<char> d_usable[GROUP_COUNT];
  std::vector<TMachineComp::TStage> d_stages[3];
  std::vector<TMachineComp> d_other;
  std::vector<TPoint> d_points;
  std::vector<TRow> d_rows;
  std::vector<TVector3> d_actual;
};

// The simulation turns an axis exception into "<name>: <message>" and leaves the failing
// measurement and the ones after it without rows. The file names the exception's own message,
// as when the model itself throws.
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
} // namespace

namespace Evaluation
{
TResult Write_Evaluation(const Simulation::TMachineRecord& record, const std::vector<TMeasurement*>& measurements,
                         QIODevice* file, const TProgress& progress, TMode mode)
{
  VARLUME_ASSERT(file);

  Write_Text(file, Heading(record.name, record.error_items));

  const std::vector<TErrorItem>& items = record.error_items;
  const int item_count = static_cast<int>(items.size());
  if(item_count > MAXIMUM_PARAMETERS)
  {
    // 2^n set-ups would not finish (or not even be countable) for a hand-made record.
    return Refuse(
        file,
        QStringLiteral("%1 enabled parameters; at most %2 can be evaluated").arg(item_count).arg(MAXIMUM_PARAMETERS));
  }

  // The geometry as the window's model holds it after selecting the machine. One that the model
  // refuses would leave the local model with no volume at all.
  TMachineComp::TInitParameters parameters;
  if(!Simulation::Init_Parameters(record, &parameters))
  {
    return Refuse(file, QStringLiteral("unknown kinematic order"));
  }
  TMachineComp geometry;
  if(!geometry.Initialize_Begin(parameters))
  {
    return Refuse(file, geometry.Last_Error());
  }

  // What does not change from pattern to pattern: the codes, and in the fast mode each
  // parameter's table and the measurements' values (they depend on the volume only).
  std::vector<const char*> codes(static_cast<std::size_t>(item_count));
  std::vector<TMachineAxisValues> values(static_cast<std::size_t>(item_count));
  std::vector<char> has_values(static_cast<std::size_t>(item_count), 0);
  for(int j = 0; j < item_count; ++j)
  {
    const TErrorItem& item = items[static_cast<std::size_t>(j)];
    codes[static_cast<std::size_t>(j)] = Item_Code(item, parameters.kinematic);
    if(mode == TMode::FAST && codes[static_cast<std::size_t>(j)] && Has_Table(item))
    {
      has_values[static_cast<std::size_t>(j)] =
          geometry.Evaluate_Axis_Values(item.axis, item.expression, &values[static_cast<std::size_t>(j)]);
    }
  }
  if(mode == TMode::FAST)
  {
    Simulation::Evaluate_Measurement_Expressions(&geometry, &measurements, nullptr);
  }
  std::vector<TErrorPattern> patterns;
  if(mode == TMode::STRAIGHTFORWARD)
  {
    patterns = Get_Evaluation_Error_Patterns(items);
  }

  const int count = item_count == 0 ? 0 : 1 << item_count;
  if(progress.start)
  {
    progress.start(count);
  }

  // The fast mode's patterns are combined from parts worked out here, where they can be.
  TStagedPatterns staged;
  if(mode == TMode::FAST)
  {
    staged.Prepare(parameters, items, codes, values, has_values, measurements);
  }

  TResult result;
  TMachineComp machine;
  QString code;
  QStringList errors;

  // The fast set-up of pattern k - 1 on machine, and its code.
  const auto set_up_fast = [&](int k)
  {
    machine.Initialize_Begin(parameters);
    code = QStringLiteral("|");
    for(int j = 0; j < item_count; ++j)
    {
      const std::size_t index = static_cast<std::size_t>(j);
      if((k & (1 << j)) && codes[index])
      {
        code += QLatin1String(codes[index]);
        Apply_Item(&machine, items[index], has_values[index] ? &values[index] : nullptr);
      }
    }
  };
  // A combined pattern writes only the rows' lengths. The measurements must hold the whole rows
  // of the last pattern simulated, so that one is simulated in full once it is known to be the
  // last. Its set-up and simulation succeeded when combined, so they succeed here.
  int last_staged = 0;
  const auto complete_last_staged = [&]()
  {
    if(last_staged == 0)
    {
      return;
    }
    set_up_fast(last_staged);
    last_staged = 0;
    try
    {
      machine.Initialize_End();
    }
    catch(const TMachineAxisException&)
    {
      return;
    }
    errors.clear();
    Simulation::Update_Measurement_Items(&machine, &measurements, &errors);
  };

  for(int k = 1; k <= count; ++k)
  {
    if(progress.next && !progress.next(k))
    {
      result.end = TEnd::CANCELLED;
      break;
    }
    ++result.patterns;

    if(staged.Ready())
    {
      code = QStringLiteral("|");
      for(int j = 0; j < item_count; ++j)
      {
        if((k & (1 << j)) && codes[static_cast<std::size_t>(j)])
        {
          code += QLatin1String(codes[static_cast<std::size_t>(j)]);
        }
      }
      // Without a code the set-up is the perfect machine's, which Prepare saw succeed.
      bool combined = code.size() == 1;
      if(!combined && staged.Simulate(k))
      {
        Write_Text(file, Result_Line(code, &machine, &measurements));
        ++result.lines;
        last_staged = k;
        combined = true;
      }
      if(combined)
      {
        if(progress.done)
        {
          progress.done(k);
        }
        continue;
      }
      // This pattern raises an axis exception: the full set-up below reports it, and from
      // here on every pattern is set up in full.
      complete_last_staged();
      staged.Disable();
    }

    // Pattern k - 1 holds the items whose bits are set in k.
    if(mode == TMode::STRAIGHTFORWARD)
    {
      machine.Initialize_Begin(parameters);
      code = QStringLiteral("|");
      for(const TErrorItem& item : patterns[static_cast<std::size_t>(k - 1)])
      {
        if(const char* item_code = Item_Code(item, parameters.kinematic))
        {
          code += QLatin1String(item_code);
          Simulation::Apply_Error_Item(&machine, item);
        }
      }
    }
    else
    {
      set_up_fast(k);
    }

    try
    {
      machine.Initialize_End();
    }
    catch(const TMachineAxisException& exception)
    {
      result.end = TEnd::STOPPED;
      result.message = exception.Message();
      break;
    }

    // A pattern of items that the evaluation does not apply simulates nothing new.
    if(code.size() > 1)
    {
      if(mode == TMode::STRAIGHTFORWARD)
      {
        Simulation::Evaluate_Measurement_Expressions(&machine, &measurements, nullptr);
      }
      errors.clear();
      if(!Simulation::Update_Measurement_Items(&machine, &measurements, &errors))
      {
        result.end = TEnd::STOPPED;
        result.message = Simulation_Failure(measurements, errors);
        break;
      }
      Write_Text(file, Result_Line(code, &machine, &measurements));
      ++result.lines;
    }

    if(progress.done)
    {
      progress.done(k);
    }
  }
  complete_last_staged();

  if(result.end == TEnd::STOPPED)
  {
    Write_Text(file, QStringLiteral("Evaluation stopped: %1\n").arg(result.message));
  }
  return result;
}
} // namespace Evaluation
