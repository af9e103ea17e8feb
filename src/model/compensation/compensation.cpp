// A compensation run: the corrections of the forms asked for, the tests before and after, the
// check grid, the uncertainty of what remains and the decision after correction.

#include "src/model/compensation/compensation.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "src/model/compensation/compensation_uncertainty.h"
#include "src/model/plotseries.h"
#include "src/model/propagation.h"
#include "src/model/report.h"
#include "src/model/simulation.h"
#include "src/model/units.h"

namespace
{
using namespace Compensation;
using TMachineItem = TMachineLibrary::TMachineItem;

// What remains below this (mm, 1e-4 µm) counts as nothing when the worst check point is chosen,
// so that the rounding of a correction that holds the whole error does not pick it.
const double NOTHING_LEFT = 1e-7;

bool Set_Up(const TMachineItem& machine, TMachineComp* model, TResult* result)
{
  QStringList errors;
  if(Simulation::Setup_Machine_Comp(Simulation::Machine_Record(machine), model, &errors))
  {
    return true;
  }
  result->errors = errors;
  result->errors.push_front(QStringLiteral("the machine '%1' cannot be set up:").arg(machine.name));
  return false;
}

// The forms' sizes within the limits; false with the reason.
bool Sizes_Allowed(const TMachineComp& source, const TOptions& options, double spacing, TResult* result)
{
  const auto asked = [&options](TForm form)
  { return std::find(options.forms.begin(), options.forms.end(), form) != options.forms.end(); };
  if(asked(TForm::GRID))
  {
    const long long nodes = Grid_Nodes(source, spacing);
    if(nodes > MAXIMUM_NODES)
    {
      const TVector3 travel = source.Map_Data_Max() - source.Map_Data_Min();
      long double count = 1.0L;
      for(int d = 0; d < 3; ++d)
      {
        count *= static_cast<long double>(std::ceil(travel(d) / spacing - 1e-9) + 1.0);
      }
      result->errors.push_back(
          QStringLiteral("a grid every %1 mm would have %2 nodes, more than %3; choose a larger --spacing")
              .arg(Plot_Series::Number_Text(spacing), QString::number(static_cast<double>(count), 'g', 6))
              .arg(MAXIMUM_NODES));
      return false;
    }
  }
  if(asked(TForm::TABLES) || asked(TForm::PITCH))
  {
    for(int d = 0; d < 3; ++d)
    {
      if(Position_Count(source.Map_Data_Min()(d), source.Map_Data_Max()(d), spacing) > MAXIMUM_NODES)
      {
        result->errors.push_back(
            QStringLiteral("a table every %1 mm would have more than %2 positions; choose a larger --spacing")
                .arg(Plot_Series::Number_Text(spacing))
                .arg(MAXIMUM_NODES));
        return false;
      }
    }
  }
  return true;
}

std::shared_ptr<const TMachineCorrection> Build(TForm form, const TMachineComp& source, const TOptions& options,
                                                TResult* result)
{
  switch(form)
  {
  case TForm::FULL:
    return Full_Correction(source);
  case TForm::TABLES:
    result->has_tables = true;
    result->tables = Carriage_Tables(source, result->spacing);
    result->has_constants = true;
    result->constants = Constants(source);
    return Tables_Correction(source, result->tables);
  case TForm::GRID:
    result->has_grid = true;
    result->grid = Grid(source, result->spacing, result->probe, options.jobs);
    return Grid_Correction(result->grid);
  case TForm::PITCH:
    result->has_pitch = true;
    result->pitch = Pitch_Tables(source, result->spacing);
    return Pitch_Correction(result->pitch);
  case TForm::SKEW:
    break;
  }
  result->has_constants = true;
  result->constants = Constants(source);
  return Skew_Correction(source);
}

// The records simulated on machine: their results in the order of the results tab, and the
// copies (for the ISO rows of the decision). False with the error block.
bool Simulate(const TMachineComp& machine, const std::vector<const TMeasurement*>& records,
              std::vector<std::unique_ptr<TMeasurement>>* copies, std::vector<Plot_Series::TMeasurementResult>* results,
              QStringList* errors)
{
  copies->clear();
  std::vector<TMeasurement*> list;
  for(const TMeasurement* record : records)
  {
    copies->push_back(Copy_Measurement(*record));
    list.push_back(copies->back().get());
  }
  TMachineComp model = machine;
  if(!Report::Simulate_Measurements(&model, &list, errors))
  {
    return false;
  }
  *results = Plot_Series::Results(model, list);
  return true;
}

void Add_Rows(const std::vector<Plot_Series::TMeasurementResult>& before,
              const std::vector<Plot_Series::TMeasurementResult>& after, TFormResult* form)
{
  for(std::size_t m = 0; m < before.size() && m < after.size(); ++m)
  {
    TMeasurementSummary summary;
    summary.measurement = before[m].name;
    summary.type = before[m].type;
    const bool laser = before[m].type == Types::MEASUREMENT_LASER;
    double low[2] = {std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity()};
    double high[2] = {-low[0], -low[1]};
    for(std::size_t r = 0; r < before[m].rows.size() && r < after[m].rows.size(); ++r)
    {
      TRow row;
      row.measurement = summary.measurement;
      row.type = summary.type;
      row.row = static_cast<int>(r) + 1;
      const Plot_Series::TResultRow* sides[2] = {&before[m].rows[r], &after[m].rows[r]};
      for(int s = 0; s < 2; ++s)
      {
        const Plot_Series::TResultRow& side = *sides[s];
        row.deviation[s] = side.deviation * Units::UM_PER_MM;
        if(laser)
        {
          row.xx[s] = side.reading.straightness.y * Units::UM_PER_MM;
          row.yy[s] = side.reading.straightness.z * Units::UM_PER_MM;
          row.ra[s] = side.reading.angles.x * Units::URAD_PER_MM_PER_M;
          row.rb[s] = side.reading.angles.y * Units::URAD_PER_MM_PER_M;
          row.rc[s] = side.reading.angles.z * Units::URAD_PER_MM_PER_M;
        }
        summary.largest[s] = std::max(summary.largest[s], std::fabs(row.deviation[s]));
        low[s] = std::min(low[s], row.deviation[s]);
        high[s] = std::max(high[s], row.deviation[s]);
      }
      form->rows.push_back(row);
      ++summary.rows;
    }
    for(int s = 0; s < 2; ++s)
    {
      summary.range[s] = summary.rows > 0 ? high[s] - low[s] : 0.0;
    }
    form->measurements.push_back(summary);
  }
}

std::vector<TVector3> Check_Points(const TMachineComp& machine)
{
  const TVector3 low = machine.Map_Data_Min();
  const TVector3 high = machine.Map_Data_Max();
  const int last = CHECK_POINTS - 1;
  std::vector<TVector3> points;
  points.reserve(static_cast<std::size_t>(CHECK_POINTS * CHECK_POINTS * CHECK_POINTS));
  for(int k = 0; k <= last; ++k)
  {
    for(int j = 0; j <= last; ++j)
    {
      for(int i = 0; i <= last; ++i)
      {
        points.emplace_back(low.x + (high.x - low.x) * i / last, low.y + (high.y - low.y) * j / last,
                            low.z + (high.z - low.z) * k / last);
      }
    }
  }
  return points;
}

// The largest |E| before and after over the check grid, and where what remains is worst: the
// largest remaining |E|; among points where nothing remains, the most uncertain one.
void Check_Grid(const TMachineComp& against, const TMachineCorrection& correction, const std::vector<TVector3>& points,
                const std::vector<Compensation::TPointCovariance>& covariances, const TVector3& probe,
                TFormResult* form)
{
  double worst_size = -1.0;
  double worst_u = -1.0;
  for(std::size_t i = 0; i < points.size(); ++i)
  {
    const TVector3 before = against.Model_Error(points[i], probe, nullptr);
    const TVector3 after = before - correction.Error(points[i], probe);
    form->grid_largest[0] = std::max(form->grid_largest[0], before.Length() * Units::UM_PER_MM);
    form->grid_largest[1] = std::max(form->grid_largest[1], after.Length() * Units::UM_PER_MM);
    const double size = after.Length() < NOTHING_LEFT ? 0.0 : after.Length();
    const double u = covariances.empty() ? 0.0 : covariances[i].U_Of_Size(after);
    if(size > worst_size || (size == worst_size && u > worst_u))
    {
      worst_size = size;
      worst_u = u;
      form->worst_point = points[i];
    }
  }
  form->has_u = !covariances.empty();
  form->u = worst_u * Units::UM_PER_MM;
}

// The ISO rows after correction decided with the rule: u of each reading from the source's
// covariance (what remains is uncertain by what the source is).
void Decide(const std::vector<std::unique_ptr<TMeasurement>>& after, const std::vector<double>& u,
            const Conformity::TOptions& options, bool has_mpe, TFormResult* form)
{
  std::size_t reading = 0;
  for(const std::unique_ptr<TMeasurement>& copy : after)
  {
    if(copy->Type() != Types::MEASUREMENT_ISO)
    {
      continue;
    }
    for(std::size_t index = 0; index < copy->d_measurement_items.size(); ++index, ++reading)
    {
      const TMeasurement::TMeasurementItem& item = copy->d_measurement_items[index];
      Conformity::TRow row;
      row.measurement = copy->d_name;
      row.row = static_cast<int>(index) + 1;
      row.length = item.length_nominal;
      row.deviation = (item.length_actual - item.length_nominal) * Units::UM_PER_MM;
      row.has_u = reading < u.size();
      row.u = row.has_u ? u[reading] : 0.0;
      Conformity::Decide_Row(options, &row);
      form->decisions.push_back(row);
    }
  }
  if(form->decisions.empty())
  {
    form->verdict = TVerdict::NO_ISO;
    return;
  }
  if(!has_mpe)
  {
    form->verdict = TVerdict::NO_MPE;
    return;
  }
  const auto count = [form](Conformity::TDecision decision)
  {
    return std::count_if(form->decisions.begin(), form->decisions.end(),
                         [decision](const Conformity::TRow& row) { return row.decision == decision; });
  };
  form->verdict = count(Conformity::TDecision::FAIL) > 0           ? TVerdict::DOES_NOT_CONFORM
                  : count(Conformity::TDecision::INCONCLUSIVE) > 0 ? TVerdict::NOT_PROVEN
                                                                   : TVerdict::CONFORMS;
}

// u (µm) of every ISO row on the source, in record order; empty without a covariance.
std::vector<double> Iso_Uncertainties(const TMachineItem& source, const std::vector<const TMeasurement*>& records,
                                      int jobs, TResult* result)
{
  std::vector<const TMeasurement*> iso;
  for(const TMeasurement* record : records)
  {
    if(record->Type() == Types::MEASUREMENT_ISO)
    {
      iso.push_back(record);
    }
  }
  std::vector<double> u;
  if(!result->has_covariance || iso.empty())
  {
    return u;
  }
  const Propagation::TLinear linear = Propagation::Linear(source, iso, jobs);
  if(!linear.ok)
  {
    result->notes.push_back(
        QStringLiteral("the covariance of '%1' cannot be propagated: %2").arg(source.name, linear.error));
    return u;
  }
  for(const Propagation::TReading& reading : linear.readings)
  {
    u.push_back(reading.u * Units::UM_PER_MM);
  }
  return u;
}
} // namespace

namespace Compensation
{
QString Geometry_Mismatch(const TMachineItem& source, const TMachineItem& against)
{
  if(source.kinematic != against.kinematic)
  {
    return QStringLiteral("'%1' and '%2' have different kinematic orders: a correction is built for one machine")
        .arg(source.name, against.name);
  }
  for(int d = 0; d < 3; ++d)
  {
    if(source.axis_minimum(d) != against.axis_minimum(d) || source.axis_maximum(d) != against.axis_maximum(d))
    {
      return QStringLiteral("'%1' and '%2' have different travels: a correction is built for one machine")
          .arg(source.name, against.name);
    }
  }
  return QString();
}

TResult Run(const TMachineItem& source, const TMachineItem& against, const std::vector<const TMeasurement*>& records,
            const TOptions& options)
{
  TResult result;
  result.source = source.name;
  result.against = against.name;
  result.probe = options.probe;
  TMachineComp source_model;
  TMachineComp against_model;
  if(!Set_Up(source, &source_model, &result) || !Set_Up(against, &against_model, &result))
  {
    return result;
  }
  const QString mismatch = Geometry_Mismatch(source, against);
  result.spacing = options.spacing > 0.0 ? options.spacing : Default_Spacing(source_model);
  if(!mismatch.isEmpty() || !Sizes_Allowed(source_model, options, result.spacing, &result))
  {
    result.errors.push_front(mismatch);
    result.errors.removeAll(QString());
    result.status = TStatus::REFUSED;
    return result;
  }

  result.decision.rule = options.rule;
  result.decision.test = options.test;
  result.decision.mpe = options.mpe;
  result.has_mpe = options.has_mpe || Conformity::Record_Mpe(source, &result.decision.mpe);
  result.has_covariance = Propagation::Has_Covariance(source);

  std::vector<std::unique_ptr<TMeasurement>> copies;
  std::vector<Plot_Series::TMeasurementResult> before;
  if(!Simulate(against_model, records, &copies, &before, &result.errors))
  {
    return result;
  }
  const std::vector<TVector3> points = Check_Points(source_model);
  std::vector<TPointCovariance> covariances;
  QString error;
  if(result.has_covariance && !Point_Covariances(source, points, options.probe, options.jobs, &covariances, &error))
  {
    result.notes.push_back(QStringLiteral("the covariance of '%1' cannot be used: %2").arg(source.name, error));
    covariances.clear();
  }
  const std::vector<double> iso_u = Iso_Uncertainties(source, records, options.jobs, &result);

  try
  {
    for(const TForm form : options.forms)
    {
      TFormResult form_result;
      form_result.form = form;
      const std::shared_ptr<const TMachineCorrection> correction = Build(form, source_model, options, &result);
      TMachineComp corrected = against_model;
      corrected.Set_Correction(correction);
      std::vector<Plot_Series::TMeasurementResult> after;
      if(!Simulate(corrected, records, &copies, &after, &result.errors))
      {
        return result;
      }
      Add_Rows(before, after, &form_result);
      Check_Grid(against_model, *correction, points, covariances, options.probe, &form_result);
      Decide(copies, iso_u, result.decision, result.has_mpe, &form_result);
      result.forms.push_back(std::move(form_result));
    }
  }
  catch(const TMachineAxisException& exception)
  {
    result.errors.push_back(exception.Message());
    return result;
  }
  result.status = TStatus::DONE;
  return result;
}
} // namespace Compensation
