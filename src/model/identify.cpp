// The identification run: the stages in order, from the measured sets to the identified machine.

#include "src/model/identify.h"
#include "src/model/evaluation.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "src/model/identify_report.h"
#include "src/model/identify_run.h"

namespace
{
using namespace Identify;

// A reading this far from what the machine without errors gives is a mistyped value or a file of
// another set-up, not a machine's error (mm; mm/m for the angles).
const double PLAUSIBLE_DEVIATION = 10.0;
const double PLAUSIBLE_ANGLE = 100.0;
// Rejections are one at a time; a data set that keeps giving outliers is not worth more.
const int MAXIMUM_REJECTIONS = 100;
// Each rescaling drops at least one direction: at most one round per unknown.
const int MAXIMUM_RESCALES = 200;

Types::TMeasurementType Record_Type(Measured::TKind kind)
{
  switch(kind)
  {
  case Measured::TKind::BALLBAR:
    return Types::MEASUREMENT_BALLBAR;
  case Measured::TKind::ISO:
    return Types::MEASUREMENT_ISO;
  case Measured::TKind::LASER:
    return Types::MEASUREMENT_LASER;
  case Measured::TKind::MCG:
    return Types::MEASUREMENT_MCG;
  }
  return Types::MEASUREMENT_BALLBAR;
}

// Why a record's rows do not fit the machine's travel (the first row outside it, within the
// margin the machine allows), or an empty text.
QString Travel_Problem(const TMachineComp& machine, const TMeasurement& record)
{
  const std::vector<TMeasurement::TMeasurementItem>& items = record.d_measurement_items;
  for(std::size_t row = 0; row < items.size(); ++row)
  {
    for(const TVector3& point : {items[row].reference_nominal, items[row].point_nominal})
    {
      if(machine.Inside_Volume(point))
      {
        continue;
      }
      const TVector3 low = machine.Map_Data_Min();
      const TVector3 high = machine.Map_Data_Max();
      return QStringLiteral("row %1 at %2, %3, %4 mm lies outside the machine's travel X %5 to %6, Y %7 to %8, "
                            "Z %9 to %10 mm (5 mm margin)")
          .arg(row + 1)
          .arg(point.x, 0, 'f', 3)
          .arg(point.y, 0, 'f', 3)
          .arg(point.z, 0, 'f', 3)
          .arg(low.x)
          .arg(high.x)
          .arg(low.y)
          .arg(high.y)
          .arg(low.z)
          .arg(high.z);
    }
  }
  return QString();
}
} // namespace

namespace Identify
{
bool TRun::Simulate(const VectorXd& at, VectorXd* values)
{
  if(d_progress && !d_progress(std::min(d_predictor->Simulations(), d_total_work - 1), d_total_work))
  {
    d_result.status = TStatus::CANCELLED;
    return false;
  }
  if(!d_predictor->Predict(at, values, &d_error))
  {
    d_result.status = TStatus::NO_MACHINE;
    return false;
  }
  return true;
}

bool TRun::Failed()
{
  if(d_result.status == TStatus::CANCELLED)
  {
    d_report.push_back(QStringLiteral("Cancelled."));
  }
  else
  {
    d_report.push_back(QStringLiteral("The simulation failed: %1").arg(d_error));
  }
  d_report.push_back(QStringLiteral("Verdict: not identified"));
  return false;
}

bool TRun::Setup_Machine()
{
  const Simulation::TMachineRecord record = Simulation::Machine_Record(d_machine);
  QStringList errors;
  if(!Simulation::Setup_Machine_Comp(record, &d_start_machine, &errors))
  {
    d_result.status = TStatus::NO_MACHINE;
    d_report.push_back(QStringLiteral("The machine cannot be set up:"));
    for(const QString& line : errors)
    {
      d_report.push_back(QStringLiteral("  ") + line);
    }
    if(errors.isEmpty())
    {
      d_report.push_back(QStringLiteral("  Its geometry is not valid."));
    }
    d_report.push_back(QStringLiteral("Verdict: not identified"));
    return false;
  }
  const int degree = std::min(std::max(d_options.degree, MINIMUM_DEGREE), MAXIMUM_DEGREE);
  d_model = std::make_unique<TModel>(record, degree);
  d_result.unknowns = d_model->Size();
  d_result.unknown_names = d_model->Names();
  for(const TUnknown& unknown : d_model->Unknowns())
  {
    d_result.unknown_keys.push_back({unknown.axis, unknown.parameter, unknown.power});
  }
  return true;
}

void TRun::Match(const std::vector<const TMeasurement*>& library, const Measured::TCollection& measured)
{
  // The records, evaluated in library order as the export evaluates them, then matched.
  Simulation::TPreparedRecords prepared = Simulation::Prepare_Records(d_start_machine, library);
  d_records = std::move(prepared.copies);

  QStringList left_out;
  int rows[4] = {0, 0, 0, 0};
  for(const Measured::TProblem& problem : measured.problems)
  {
    left_out.push_back(QStringLiteral("%1: %2").arg(problem.file, problem.reason));
  }
  for(const Measured::TSet& set : measured.sets)
  {
    const QString label =
        set.kind == Measured::TKind::BALLBAR ? QStringLiteral("%1 (%2)").arg(set.file, set.name) : set.file;
    const int index = Find_Record(d_records, set);
    if(index < 0)
    {
      left_out.push_back(QStringLiteral("%1: no measurement named '%2'").arg(label, set.name));
      continue;
    }
    TMeasurement* measurement = d_records[index].get();
    if(measurement->Type() != Record_Type(set.kind))
    {
      left_out.push_back(QStringLiteral("%1: the measurement '%2' is of another kind").arg(label, measurement->d_name));
      continue;
    }
    const QStringList& problems = prepared.lines[static_cast<std::size_t>(index)];
    if(!problems.isEmpty())
    {
      left_out.push_back(QStringLiteral("%1: %2").arg(label, problems.front()));
      continue;
    }
    // The nominal expansion; the same record may have more than one measured set.
    QString message;
    if(!Simulation::Simulate_One(d_start_machine, measurement, &message))
    {
      left_out.push_back(QStringLiteral("%1: %2: %3").arg(label, measurement->d_name, message));
      continue;
    }
    // A file of another machine, or of this one set up elsewhere: its rows cannot be explained.
    const QString travel = Travel_Problem(d_start_machine, *measurement);
    if(!travel.isEmpty())
    {
      left_out.push_back(QStringLiteral("%1: %2").arg(label, travel));
      d_travel_rows += static_cast<int>(set.readings.size());
      continue;
    }
    auto position = std::find(d_used.begin(), d_used.end(), measurement);
    const int used_index = static_cast<int>(position - d_used.begin());
    const QString reason =
        Add_Observations(set, static_cast<int>(d_sets.size()), *measurement, used_index, &d_observations);
    if(!reason.isEmpty())
    {
      left_out.push_back(QStringLiteral("%1: %2").arg(label, reason));
      continue;
    }
    d_sets.push_back(&set);
    if(position == d_used.end())
    {
      d_used.push_back(measurement);
    }
    rows[static_cast<int>(set.kind)] += static_cast<int>(set.readings.size());
    d_kept_rows += static_cast<int>(set.readings.size());
  }

  d_report.push_back(QStringLiteral("Rows used: ball bar %1, ISO %2, laser %3, MCG %4")
                         .arg(rows[static_cast<int>(Measured::TKind::BALLBAR)])
                         .arg(rows[static_cast<int>(Measured::TKind::ISO)])
                         .arg(rows[static_cast<int>(Measured::TKind::LASER)])
                         .arg(rows[static_cast<int>(Measured::TKind::MCG)]));
  if(!left_out.isEmpty())
  {
    d_report.push_back(QStringLiteral("Left out:"));
    for(const QString& line : left_out)
    {
      d_report.push_back(QStringLiteral("  ") + Report_Cut(line));
    }
  }
  d_result.duplicates = measured.duplicates;
  for(const Measured::TDuplicate& duplicate : measured.duplicates)
  {
    d_result.notices.push_back(
        QStringLiteral("%1 holds the same readings as %2: read once").arg(duplicate.file, duplicate.same_as));
  }
}

bool TRun::Prepare()
{
  const int m = static_cast<int>(d_observations.size());
  const int n = d_model->Size();
  if(n == 0)
  {
    d_report.push_back(QStringLiteral("The machine has no enabled error parameter to identify."));
  }
  if(n > 0 && d_travel_rows > 0 && (m == 0 || d_travel_rows > d_kept_rows))
  {
    d_result.status = TStatus::OUTSIDE_TRAVEL;
    d_report.push_back(
        QStringLiteral("Rows outside the machine's travel: %1, rows kept: %2").arg(d_travel_rows).arg(d_kept_rows));
    d_report.push_back(QStringLiteral("Rank: 0 of %1 unknowns").arg(n));
    d_report.push_back(QStringLiteral("Verdict: ") + Verdict_Text(d_result));
    return false;
  }
  if(m == 0)
  {
    d_report.push_back(QStringLiteral("No measured row could be used."));
  }
  if(m == 0 || n == 0)
  {
    d_result.status = TStatus::NO_DATA;
    d_report.push_back(QStringLiteral("Rank: 0 of %1 unknowns").arg(n));
    d_report.push_back(QStringLiteral("Verdict: not identified"));
    return false;
  }
  if(!d_options.absolute_straightness)
  {
    d_result.alignment_unknowns = Number_Alignment(&d_observations, &d_alignment_names, &d_alignment_sets);
  }
  d_alignment = Alignment_Jacobian(d_observations, d_result.alignment_unknowns);
  d_weights = Weights(d_observations, d_options);
  d_stated = d_weights;
  d_measured.resize(m);
  for(int row = 0; row < m; ++row)
  {
    d_measured(row) = d_observations[row].measured;
  }
  d_predictor = std::make_unique<TPredictor>(*d_model, d_used, d_observations);
  if(!d_model->Start(&d_start))
  {
    d_result.status = TStatus::NO_MACHINE;
    d_report.push_back(QStringLiteral("An enabled expression of the machine does not evaluate."));
    d_report.push_back(QStringLiteral("Verdict: not identified"));
    return false;
  }
  // Simulations: the start, the machine without errors, two design matrices, the iterations.
  d_total_work = 4 * n + 12;
  if(d_progress && !d_progress(0, d_total_work))
  {
    d_result.status = TStatus::CANCELLED;
    return Failed();
  }
  ++d_total_work;
  if(!d_predictor->Predict(d_start_machine, &d_before, &d_error))
  {
    d_result.status = TStatus::NO_MACHINE;
    return Failed();
  }
  return true;
}

bool TRun::Check_Plausible()
{
  VectorXd nominal;
  if(!Simulate(VectorXd::Zero(d_model->Size()), &nominal))
  {
    return Failed();
  }
  QStringList refused;
  for(std::size_t row = 0; row < d_observations.size(); ++row)
  {
    const TObservation& observation = d_observations[row];
    const bool angle = observation.kind == OBSERVATION_LASER_ANGLE;
    const double deviation = std::fabs(observation.measured - nominal(static_cast<int>(row)));
    if(!(deviation <= (angle ? PLAUSIBLE_ANGLE : PLAUSIBLE_DEVIATION)))
    {
      refused.push_back(QStringLiteral("  %1 line %2: %3 %4 %5 is %6 from its nominal, not a plausible reading")
                            .arg(d_sets[observation.set]->readings_file)
                            .arg(observation.line)
                            .arg(Quantity_Name(observation.quantity))
                            .arg(observation.measured, 0, 'g', 10)
                            .arg(angle ? QStringLiteral("mm/m") : QStringLiteral("mm"))
                            .arg(deviation, 0, 'g', 6));
    }
  }
  if(!refused.isEmpty())
  {
    d_result.status = TStatus::IMPLAUSIBLE;
    d_report.push_back(QStringLiteral("Readings refused (more than %1 mm, or %2 mm/m for an angle, from the nominal):")
                           .arg(PLAUSIBLE_DEVIATION)
                           .arg(PLAUSIBLE_ANGLE));
    d_report += refused.mid(0, 20);
    if(refused.size() > 20)
    {
      d_report.push_back(QStringLiteral("  and %1 more").arg(refused.size() - 20));
    }
    d_report.push_back(QStringLiteral("Verdict: not identified"));
    return false;
  }
  d_nominal = nominal;
  return true;
}

bool TRun::Structural()
{
  // What the tests can see is a matter of the geometry: it is worked out on the machine of the
  // same geometry without errors, where a direction the tests do not see changes no reading to
  // first order; at a machine with errors second-order couplings would hide it.
  const auto simulate = [this](const VectorXd& at, VectorXd* values) { return Simulate(at, values); };
  if(!Machine_Jacobian(simulate, VectorXd::Zero(d_model->Size()), static_cast<int>(d_observations.size()),
                       &d_structural))
  {
    return Failed();
  }
  Turn_Signs();
  return true;
}

// Sign options that the laser's angle readings contradict: an angle with the other option moves
// the points the other way while the laser reads the same table values. On the linear model
// about the machine without errors (where the options change no reading), an option is turned
// when that explains the data clearly better.
void TRun::Turn_Signs()
{
  const int m = static_cast<int>(d_observations.size());
  const VectorXd offsets = (d_measured - d_nominal).cwiseProduct(d_weights);
  const MatrixXd alignment = d_weights.asDiagonal() * d_alignment;
  const auto squares = [&](const MatrixXd& machine)
  {
    MatrixXd matrix(m, machine.cols() + alignment.cols());
    matrix << d_weights.asDiagonal() * machine, alignment;
    return (offsets - matrix * matrix.colPivHouseholderQr().solve(offsets)).squaredNorm();
  };
  // The best single turn at a time, until none helps: two options may be wrong at once.
  double current_squares = squares(d_structural);
  const std::vector<std::pair<int, int>> groups = d_model->Sign_Groups();
  std::vector<bool> done(groups.size(), false);
  for(;;)
  {
    int best = -1;
    double best_squares = 0.25 * current_squares;
    MatrixXd best_matrix;
    for(std::size_t index = 0; index < groups.size(); ++index)
    {
      const std::pair<int, int>& group = groups[index];
      bool read = false;
      MatrixXd flipped = d_structural;
      for(int row = 0; row < m; ++row)
      {
        const bool angle = d_observations[row].kind == OBSERVATION_LASER_ANGLE;
        for(int column = group.first; column < group.first + group.second; ++column)
        {
          read = read || (angle && d_structural(row, column) != 0.0);
          if(!angle)
          {
            flipped(row, column) = -d_structural(row, column);
          }
        }
      }
      if(done[index] || !read)
      {
        continue;
      }
      const double flipped_squares = squares(flipped);
      if(flipped_squares < best_squares)
      {
        best = static_cast<int>(index);
        best_squares = flipped_squares;
        best_matrix = flipped;
      }
    }
    if(best < 0)
    {
      break;
    }
    done[best] = true;
    d_structural = best_matrix;
    current_squares = best_squares;
    d_model->Flip_Sign(groups[best].first);
    const TResult::TUnknownKey& key = d_result.unknown_keys[static_cast<std::size_t>(groups[best].first)];
    TMachineLibrary::TMapErrorItem item;
    item.axis = key.axis;
    item.parameter = key.parameter;
    d_result.turned.push_back(Evaluation::Item_Label(item));
  }
}

VectorXd TRun::Weighted_Residuals(const VectorXd& predicted) const
{
  return (d_measured - predicted).cwiseProduct(d_weights);
}

bool TRun::Fit()
{
  const auto simulate = [this](const VectorXd& at, VectorXd* values) { return Simulate(at, values); };
  VectorXd weights = d_weights;
  // The fit corrects the start: what its functions hold beyond the basis stays.
  d_model->Keep_Start();
  d_state.u = d_start;
  d_state.alignment = VectorXd::Zero(d_result.alignment_unknowns);
  if(!Simulate(d_state.u, &d_state.predicted))
  {
    return Failed();
  }
  for(int rejections = 0;; ++rejections)
  {
    d_decision = Decide_Rank(*d_model, weights.asDiagonal() * d_structural, weights.asDiagonal() * d_alignment, d_limit,
                             d_options.threshold);
    d_problem =
        std::make_unique<TFitProblem>(*d_model, d_structural, d_alignment, weights, d_measured, d_decision.identified);
    d_state.converged = false;
    if(!d_problem->Solve(simulate, &d_state, &d_result.failure))
    {
      d_weights = weights;
      return d_result.failure.isEmpty() ? Failed() : true;
    }
    const VectorXd residuals = d_problem->Residuals(d_state);
    int largest = -1;
    for(int row = 0; row < residuals.size(); ++row)
    {
      if(weights(row) > 0.0 && std::fabs(residuals(row)) > d_options.outlier_limit &&
         (largest < 0 || std::fabs(residuals(row)) > std::fabs(residuals(largest))))
      {
        largest = row;
      }
    }
    if(!d_options.reject_outliers || largest < 0 || rejections >= MAXIMUM_REJECTIONS)
    {
      break;
    }
    weights(largest) = 0.0;
    d_rejected.emplace_back(largest, residuals(largest));
  }
  d_weights = weights;
  return true;
}

bool TRun::Final()
{
  if(!d_result.failure.isEmpty())
  {
    return true;
  }
  // The design matrix at the result, for the last steps and the covariance.
  const auto simulate = [this](const VectorXd& at, VectorXd* values) { return Simulate(at, values); };
  MatrixXd at_result;
  if(!Machine_Jacobian(simulate, d_state.u, static_cast<int>(d_observations.size()), &at_result))
  {
    return Failed();
  }
  d_problem->Set_Jacobian(at_result);
  d_state.converged = false;
  if(!d_problem->Solve(simulate, &d_state, &d_result.failure))
  {
    return d_result.failure.isEmpty() ? Failed() : true;
  }
  if(d_progress)
  {
    d_progress(d_total_work, d_total_work);
  }
  d_covariance = d_problem->Covariance(&d_alignment_covariance);
  return true;
}

double TRun::Largest_Printed_U(double birge) const
{
  double largest = 0.0;
  for(const TFunction& function : d_model->Functions())
  {
    const MatrixXd block = d_covariance.block(function.first, function.first, function.degree, function.degree);
    for(const double position : function.positions)
    {
      const VectorXd basis = d_model->Basis(function, position / 1000.0);
      largest = std::max(largest, 1000.0 * birge * std::sqrt(std::max(basis.dot(block * basis), 0.0)));
    }
  }
  for(const auto& value : d_model->Values())
  {
    const double variance = std::max(d_covariance(value.second, value.second), 0.0);
    largest = std::max(largest, birge * std::sqrt(variance) * d_model->Unknowns()[value.second].effect);
  }
  return largest;
}

bool TRun::Rescale()
{
  if(!d_result.failure.isEmpty() || !(d_options.resolution > 0.0) || d_decision.rank == 0 ||
     d_decision.identified_u.size() != d_decision.rank)
  {
    return false;
  }
  const VectorXd residuals = d_problem->Residuals(d_state);
  int used = 0;
  for(int row = 0; row < d_weights.size(); ++row)
  {
    used += d_weights(row) > 0.0 ? 1 : 0;
  }
  const int freedom = used - d_decision.rank - d_problem->Alignment_Rank();
  const double ratio = freedom > 0 ? residuals.squaredNorm() / freedom : 0.0;
  const double birge = ratio > 1.0 ? std::sqrt(ratio) : 1.0;
  // A direction above the resolution once scaled goes; failing that, when a printed function
  // (the sum of its directions) exceeds the resolution, the weakest direction goes.
  double limit = d_options.resolution / birge;
  if(!(d_decision.identified_u.maxCoeff() > limit))
  {
    if(!(Largest_Printed_U(birge) > d_options.resolution))
    {
      return false;
    }
    limit = d_decision.identified_u.maxCoeff() * (1.0 - 1e-9);
  }
  const TRankDecision scaled = Decide_Rank(*d_model, d_weights.asDiagonal() * d_structural,
                                           d_weights.asDiagonal() * d_alignment, limit, d_options.threshold);
  if(scaled.rank >= d_decision.rank)
  {
    return false;
  }
  d_limit = limit;
  return true;
}

QStringList Matching_Records(const std::vector<const TMeasurement*>& records, Measured::TKind kind)
{
  QStringList names;
  for(const TMeasurement* record : records)
  {
    if(record->Type() == Record_Type(kind))
    {
      names.push_back(record->d_name);
    }
  }
  return names;
}

bool Resolve_Resolution(const TMachineLibrary::TMachineItem& machine, TOptions* options)
{
  if(!options->resolution_from_machine || !machine.has_mpe || !(machine.mpe_a > 0.0) || !std::isfinite(machine.mpe_a))
  {
    return false;
  }
  options->resolution = machine.mpe_a;
  return true;
}

TResult Run(const TMachineLibrary::TMachineItem& machine, const std::vector<const TMeasurement*>& library,
            const Measured::TCollection& measured, const TOptions& given, const TProgress& progress)
{
  TResult result;
  TOptions options = given;
  result.resolution_from_mpe = Resolve_Resolution(machine, &options);
  result.resolution = options.resolution;
  result.machine_name = machine.name;
  const int degree = std::min(std::max(options.degree, MINIMUM_DEGREE), MAXIMUM_DEGREE);
  result.report.push_back(QStringLiteral("Identification of the machine \"%1\"").arg(Report_Cut(machine.name)));
  result.report.push_back(QStringLiteral("Polynomial degree: %1").arg(degree));
  TRun run(machine, options, progress, &result);
  if(!run.Setup_Machine())
  {
    return result;
  }
  run.Match(library, measured);
  if(!run.Prepare() || !run.Check_Plausible() || !run.Structural() || !run.Fit() || !run.Final())
  {
    return result;
  }
  // The rank is decided with the uncertainties as the report prints them: when the scatter
  // multiplies them, directions that then exceed the resolution are fitted no more.
  for(int round = 0; round < MAXIMUM_RESCALES && run.Rescale(); ++round)
  {
    if(!run.Fit() || !run.Final())
    {
      return result;
    }
  }
  run.Build();
  Write_Report(options, &result);
  return result;
}
} // namespace Identify
