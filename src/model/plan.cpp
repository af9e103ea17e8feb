// The plan of a calibration: candidates simulated once, then sets of them ranked by the rank
// identification would decide and by the uncertainty they leave.

#include "src/model/plan.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <memory>

#include "src/model/evaluation.h"
#include "src/model/identify_directions.h"
#include "src/model/identify_fit.h"
#include "src/model/identify_report.h"
#include "src/model/plotseries.h"

namespace
{
using Identify::MatrixXd;
using Identify::VectorXd;

const double NOT_A_NUMBER = std::numeric_limits<double>::quiet_NaN();
// The function values whose uncertainty is compared: at these shares of the travel.
const double TRAVEL_SHARES[] = {0.0, 0.25, 0.5, 0.75, 1.0};
// The names a direction line lists before "and N more".
const int DIRECTION_NAMES = 4;
// The directions the report lists before "and N more directions".
const int DIRECTION_LINES = 12;

// A function value (or a squareness or deflection value) whose uncertainty the plan follows.
struct TQuantity
{
  std::vector<int> unknowns; // the unknowns it depends on
  VectorXd basis;            // its value per unit of those unknowns, in µm or µrad
  QString name;
  QString unit;
};

// What a set of candidates gives.
struct TEvaluation
{
  int rank = 0;
  bool full = false;
  std::vector<bool> identified; // per quantity
  std::vector<double> ratio;    // per quantity, u/R; NaN when not identified
  Identify::TRankDecision decision;

  // The u/R of a quantity that known marks identified: its own, or when this set no longer
  // identifies it (the unidentified directions turned), what before gave, so that losing a
  // value never looks like a gain.
  double Ratio(std::size_t index, const TEvaluation& before) const
  {
    return identified[index] ? ratio[index] : before.ratio[index];
  }
  // The largest u/R over the quantities that before identified; -1 when none.
  int Largest(const TEvaluation& before) const
  {
    int largest = -1;
    for(std::size_t index = 0; index < ratio.size(); ++index)
    {
      if(before.identified[index] && (largest < 0 || Ratio(index, before) > Ratio(largest, before)))
      {
        largest = static_cast<int>(index);
      }
    }
    return largest;
  }
  double Sum(const TEvaluation& before) const
  {
    double sum = 0.0;
    for(std::size_t index = 0; index < ratio.size(); ++index)
    {
      if(before.identified[index])
      {
        sum += Ratio(index, before);
      }
    }
    return sum;
  }
};

class TPlanner
{
public:
  TPlanner(const TMachineLibrary::TMachineItem& machine, const Plan::TOptions& options,
           const Identify::TProgress& progress, Plan::TResult* result)
      : d_machine(machine), d_options(options), d_progress(progress), d_result(*result)
  {
  }

  bool Setup_Machine();
  bool Simulate(const std::vector<const TMeasurement*>& library, const std::vector<int>& candidates);
  bool Choose();
  void Write_Report() const;

private:
  void Quantities();
  MatrixXd Compact(const MatrixXd& rows) const;
  MatrixXd Stack(const MatrixXd& top, const MatrixXd& bottom) const;
  TEvaluation Evaluate(const MatrixXd& rows) const;
  TEvaluation Evaluate_Full(const MatrixXd& rows) const;
  void Ratios(const MatrixXd& covariance, TEvaluation* evaluation) const;
  int Seen_Rank(const MatrixXd& rows) const;
  bool Pick(const std::vector<int>& pool, const MatrixXd& current, const TEvaluation& now, bool stop_when_idle,
            int* best, MatrixXd* best_rows, TEvaluation* best_evaluation) const;
  bool Shortest_Subset(int greedy_steps, std::vector<int>* subset);
  void Add_Step(int candidate, const TEvaluation& evaluation);
  bool Tick();
  // The first of the candidates with the same rows as candidate.
  int Group(int candidate) const { return d_duplicate_of[candidate] < 0 ? candidate : d_duplicate_of[candidate]; }

  const TMachineLibrary::TMachineItem& d_machine;
  const Plan::TOptions& d_options;
  const Identify::TProgress& d_progress;
  Plan::TResult& d_result;

  std::unique_ptr<Identify::TModel> d_model;
  TMachineComp d_start_machine;
  std::vector<TQuantity> d_quantities;
  std::vector<QString> d_names;    // per candidate
  std::vector<QString> d_kinds;    // per candidate
  std::vector<int> d_readings;     // per candidate
  std::vector<MatrixXd> d_rows;    // per candidate: compact weighted rows, alignment taken out
  std::vector<int> d_duplicate_of; // per candidate: an earlier candidate with the same rows, or -1
  int d_work = 0;
  int d_total_work = 1;
};

bool TPlanner::Tick()
{
  if(d_progress && !d_progress(std::min(d_work, d_total_work - 1), d_total_work))
  {
    d_result.status = Plan::TStatus::CANCELLED;
    return false;
  }
  return true;
}

bool TPlanner::Setup_Machine()
{
  const Simulation::TMachineRecord record = Simulation::Machine_Record(d_machine);
  QStringList errors;
  if(!Simulation::Setup_Machine_Comp(record, &d_start_machine, &errors))
  {
    d_result.status = Plan::TStatus::NO_MACHINE;
    d_result.failure = errors.isEmpty() ? QStringLiteral("Its geometry is not valid.") : errors.join(QLatin1Char(' '));
    d_result.report.push_back(QStringLiteral("The machine cannot be set up:"));
    for(const QString& line : errors.isEmpty() ? QStringList{d_result.failure} : errors)
    {
      d_result.report.push_back(QStringLiteral("  ") + line);
    }
    return false;
  }
  const int degree = std::min(std::max(d_options.identify.degree, Identify::MINIMUM_DEGREE), Identify::MAXIMUM_DEGREE);
  d_model = std::make_unique<Identify::TModel>(record, degree);
  d_result.unknowns = d_model->Size();
  d_result.unknown_names = d_model->Names();
  Quantities();
  return true;
}

void TPlanner::Quantities()
{
  for(const Identify::TFunction& function : d_model->Functions())
  {
    Evaluation::TErrorItem item;
    item.axis = function.item.axis;
    item.parameter = function.item.parameter;
    const QString name = Evaluation::Item_Label(item);
    const QString unit =
        function.item.parameter == PARAMETER_SCALE ? QString::fromUtf8("µm") : QString::fromUtf8("µrad");
    for(const double share : TRAVEL_SHARES)
    {
      TQuantity quantity;
      for(int k = 0; k < function.degree; ++k)
      {
        quantity.unknowns.push_back(function.first + k);
      }
      const double position = function.start + share * (function.end - function.start);
      // Basis coefficients are in mm or mm/m.
      quantity.basis = 1000.0 * d_model->Basis(function, position / 1000.0);
      quantity.name = name;
      quantity.unit = unit;
      d_quantities.push_back(quantity);
    }
  }
  for(const auto& value : d_model->Values())
  {
    Evaluation::TErrorItem item;
    item.axis = value.first.axis;
    item.parameter = value.first.parameter;
    TQuantity quantity;
    quantity.unknowns.push_back(value.second);
    quantity.basis = VectorXd::Constant(1, d_model->Unknowns()[value.second].effect);
    quantity.name = Evaluation::Item_Label(item);
    quantity.unit = value.first.parameter == PARAMETER_DEFLECTION ? QString::fromUtf8("µm") : QString::fromUtf8("µrad");
    d_quantities.push_back(quantity);
  }
}

bool TPlanner::Simulate(const std::vector<const TMeasurement*>& library, const std::vector<int>& candidates)
{
  const int n = d_model->Size();
  // The records, evaluated in library order as identification and the export evaluate them.
  std::vector<std::unique_ptr<TMeasurement>> records;
  std::vector<TMeasurement*> record_list;
  for(const TMeasurement* measurement : library)
  {
    records.push_back(Copy_Measurement(*measurement));
    record_list.push_back(records.back().get());
  }
  QStringList expression_errors;
  Simulation::Evaluate_Measurement_Expressions(&d_start_machine, &record_list, &expression_errors);

  std::vector<TMeasurement*> used;
  std::vector<Identify::TObservation> observations;
  std::vector<int> first_row;
  for(const int index : candidates)
  {
    TMeasurement* measurement = records[index].get();
    const QString prefix = measurement->d_name + QStringLiteral(": ");
    const auto expression_error = std::find_if(expression_errors.begin(), expression_errors.end(),
                                               [&prefix](const QString& line) { return line.startsWith(prefix); });
    QStringList simulation_errors;
    std::vector<TMeasurement*> single{measurement};
    if(expression_error != expression_errors.end() ||
       !Simulation::Update_Measurement_Items(&d_start_machine, &single, &simulation_errors))
    {
      d_result.status = Plan::TStatus::FAILED;
      d_result.failure = expression_error != expression_errors.end()
                             ? *expression_error
                             : prefix + simulation_errors.join(QStringLiteral("; ")).remove(prefix);
      const QString reason =
          d_result.failure.startsWith(prefix) ? d_result.failure.mid(prefix.size()) : d_result.failure;
      d_result.report.push_back(QStringLiteral("The candidate \"%1\" cannot be simulated: %2")
                                    .arg(Identify::Report_Cut(measurement->d_name), Identify::Report_Cut(reason)));
      return false;
    }
    const std::vector<Identify::TObservation> own = Identify::Record_Observations(*measurement, int(used.size()));
    first_row.push_back(static_cast<int>(observations.size()));
    observations.insert(observations.end(), own.begin(), own.end());
    used.push_back(measurement);
    d_names.push_back(measurement->d_name);
    d_kinds.push_back(Plot_Series::Kind_Name(measurement->Type()));
    d_readings.push_back(static_cast<int>(own.size()));
  }
  first_row.push_back(static_cast<int>(observations.size()));

  // Every candidate through the machine without errors at once, then the rows of each.
  d_total_work = 2 * n + static_cast<int>(candidates.size()) + 1;
  Identify::TPredictor predictor(*d_model, used, observations);
  QString error;
  const auto simulate = [&](const VectorXd& at, VectorXd* values)
  {
    ++d_work;
    return Tick() && predictor.Predict(at, values, &error);
  };
  MatrixXd jacobian;
  if(!Identify::Machine_Jacobian(simulate, VectorXd::Zero(n), static_cast<int>(observations.size()), &jacobian))
  {
    if(d_result.status == Plan::TStatus::CANCELLED)
    {
      d_result.report.push_back(QStringLiteral("Cancelled."));
      return false;
    }
    d_result.status = Plan::TStatus::FAILED;
    d_result.failure = error;
    // The candidate that fails alone is the one to name.
    for(std::size_t index = 0; index < used.size(); ++index)
    {
      std::vector<Identify::TObservation> own(observations.begin() + first_row[index],
                                              observations.begin() + first_row[index + 1]);
      for(Identify::TObservation& observation : own)
      {
        observation.measurement = 0;
      }
      Identify::TPredictor alone(*d_model, {used[index]}, own);
      VectorXd values;
      QString reason;
      if(!alone.Predict(VectorXd::Zero(n), &values, &reason))
      {
        d_result.failure = used[index]->d_name + QStringLiteral(": ") + reason;
        break;
      }
    }
    d_result.report.push_back(QStringLiteral("The simulation failed: %1").arg(Identify::Report_Cut(d_result.failure)));
    return false;
  }
  const VectorXd weights = Identify::Weights(observations, d_options.identify);
  for(std::size_t index = 0; index < used.size(); ++index)
  {
    const int begin = first_row[index];
    const int count = first_row[index + 1] - begin;
    MatrixXd rows = weights.segment(begin, count).asDiagonal() * jacobian.middleRows(begin, count);
    if(!d_options.identify.absolute_straightness && count > 0)
    {
      // A candidate's alignment unknowns act on its own readings only, so they are taken out
      // candidate by candidate as identification takes them out of the whole design.
      std::vector<Identify::TObservation> own(observations.begin() + begin, observations.begin() + begin + count);
      QStringList names;
      std::vector<int> sets;
      const int alignment = Identify::Number_Alignment(&own, &names, &sets);
      if(alignment > 0)
      {
        const MatrixXd weighted =
            weights.segment(begin, count).asDiagonal() * Identify::Alignment_Jacobian(own, alignment);
        Eigen::ColPivHouseholderQR<MatrixXd> qr(weighted);
        const int rank = static_cast<int>(qr.rank());
        if(rank > 0)
        {
          const MatrixXd q = qr.householderQ() * MatrixXd::Identity(count, rank);
          rows -= q * (q.transpose() * rows);
        }
      }
    }
    d_rows.push_back(Compact(rows));
    d_duplicate_of.push_back(-1);
    for(std::size_t other = 0; other < index; ++other)
    {
      if(d_duplicate_of[other] < 0 && d_rows[other].rows() == d_rows.back().rows() && d_rows[other] == d_rows.back())
      {
        d_duplicate_of.back() = static_cast<int>(other);
        break;
      }
    }
  }
  return true;
}

// Rows with the same normal equations and at most as many rows as unknowns: the R of a QR.
MatrixXd TPlanner::Compact(const MatrixXd& rows) const
{
  const int n = d_model->Size();
  if(rows.rows() <= n)
  {
    return rows;
  }
  Eigen::HouseholderQR<MatrixXd> qr(rows);
  return qr.matrixQR().topRows(n).triangularView<Eigen::Upper>();
}

MatrixXd TPlanner::Stack(const MatrixXd& top, const MatrixXd& bottom) const
{
  MatrixXd stacked(top.rows() + bottom.rows(), d_model->Size());
  stacked << top, bottom;
  return Compact(stacked);
}

TEvaluation TPlanner::Evaluate(const MatrixXd& rows) const
{
  TEvaluation evaluation;
  const int n = d_model->Size();
  const MatrixXd none(rows.rows(), 0);
  evaluation.decision =
      Identify::Decide_Rank(*d_model, rows, none, d_options.identify.resolution, d_options.identify.threshold);
  evaluation.rank = evaluation.decision.rank;
  evaluation.full = evaluation.rank == n;
  MatrixXd covariance = MatrixXd::Zero(n, n);
  if(evaluation.rank > 0)
  {
    const Identify::TFitProblem problem(*d_model, rows, none, VectorXd::Ones(rows.rows()), VectorXd::Zero(rows.rows()),
                                        evaluation.decision.identified);
    covariance = problem.Covariance(nullptr);
  }
  Ratios(covariance, &evaluation);
  return evaluation;
}

// Rows added to a set that identifies every parameter leave it so: the covariance is then the
// inverse of the normal matrix, which comparing candidates needs without the rank decision.
TEvaluation TPlanner::Evaluate_Full(const MatrixXd& rows) const
{
  const int n = d_model->Size();
  const Eigen::LLT<MatrixXd> normal(rows.transpose() * rows);
  if(normal.info() != Eigen::Success)
  {
    return Evaluate(rows);
  }
  TEvaluation evaluation;
  evaluation.rank = n;
  evaluation.full = true;
  evaluation.decision.rank = n;
  evaluation.decision.parameter_identified.assign(n, true);
  Ratios(normal.solve(MatrixXd::Identity(n, n)), &evaluation);
  return evaluation;
}

void TPlanner::Ratios(const MatrixXd& covariance, TEvaluation* evaluation) const
{
  const double resolution = d_options.identify.resolution > 0.0 ? d_options.identify.resolution : 1.0;
  for(const TQuantity& quantity : d_quantities)
  {
    bool identified = evaluation->rank > 0;
    for(const int unknown : quantity.unknowns)
    {
      identified = identified && evaluation->decision.parameter_identified[unknown];
    }
    double ratio = NOT_A_NUMBER;
    if(identified)
    {
      const int count = static_cast<int>(quantity.unknowns.size());
      const int first = quantity.unknowns.front();
      const MatrixXd block = covariance.block(first, first, count, count);
      ratio = std::sqrt(std::max(quantity.basis.dot(block * quantity.basis), 0.0)) / resolution;
    }
    evaluation->identified.push_back(identified);
    evaluation->ratio.push_back(ratio);
  }
}

// The rank without the resolution: an upper bound of the decided rank, cheap to find.
int TPlanner::Seen_Rank(const MatrixXd& rows) const
{
  if(rows.rows() == 0)
  {
    return 0;
  }
  MatrixXd scaled = rows;
  for(int column = 0; column < scaled.cols(); ++column)
  {
    scaled.col(column) /= d_model->Unknowns()[column].effect;
  }
  const VectorXd values = Eigen::JacobiSVD<MatrixXd>(scaled).singularValues();
  int rank = 0;
  for(int index = 0; index < values.size(); ++index)
  {
    rank += values(index) > d_options.identify.threshold * values(0) && values(0) > 0.0 ? 1 : 0;
  }
  return rank;
}

// The next candidate from pool by the rule: the highest rank, then the smallest sum of u/R over
// the values identified now, then library order. False when nothing is worth adding: no
// candidate raises the rank and none lowers the largest u/R by the worthwhile share (only when
// stop_when_idle).
bool TPlanner::Pick(const std::vector<int>& pool, const MatrixXd& current, const TEvaluation& now, bool stop_when_idle,
                    int* best, MatrixXd* best_rows, TEvaluation* best_evaluation) const
{
  *best = -1;
  double best_sum = 0.0;
  bool worthwhile = false;
  const int largest_now = now.Largest(now);
  for(const int candidate : pool)
  {
    const MatrixXd rows = Stack(current, d_rows[candidate]);
    TEvaluation evaluation = now.full ? Evaluate_Full(rows) : Evaluate(rows);
    const double sum = evaluation.Sum(now);
    if(evaluation.rank > now.rank)
    {
      worthwhile = true;
    }
    else if(largest_now >= 0)
    {
      const int largest = evaluation.Largest(now);
      worthwhile = worthwhile || (largest >= 0 && evaluation.Ratio(largest, now) <=
                                                      (1.0 - Plan::WORTHWHILE_GAIN) * now.ratio[largest_now]);
    }
    if(*best < 0 || evaluation.rank > best_evaluation->rank ||
       (evaluation.rank == best_evaluation->rank && sum < best_sum))
    {
      *best = candidate;
      best_sum = sum;
      *best_rows = rows;
      *best_evaluation = std::move(evaluation);
    }
  }
  // What the plan reports is decided as identification decides it.
  if(now.full && *best >= 0)
  {
    *best_evaluation = Evaluate(*best_rows);
  }
  return *best >= 0 && (worthwhile || !stop_when_idle);
}

// The smallest subset that reaches the highest rank, trying sizes below greedy_steps; among
// those of that size the one that leaves the smallest sum of u/R, then the first in library
// order. False when none is smaller than greedy_steps (or cancelled: see the status).
bool TPlanner::Shortest_Subset(int greedy_steps, std::vector<int>* subset)
{
  const int count = static_cast<int>(d_rows.size());
  const int target = d_result.reachable_rank;
  for(int size = 1; size < greedy_steps; ++size)
  {
    std::vector<int> members(size);
    for(int index = 0; index < size; ++index)
    {
      members[index] = index;
    }
    bool found = false;
    double found_sum = 0.0;
    int tried = 0;
    for(;;)
    {
      if(++tried % 64 == 0 && !Tick())
      {
        return false;
      }
      MatrixXd rows(0, d_model->Size());
      bool repeated = false;
      for(std::size_t index = 0; index < members.size(); ++index)
      {
        rows = Stack(rows, d_rows[members[index]]);
        for(std::size_t other = 0; other < index; ++other)
        {
          repeated = repeated || Group(members[other]) == Group(members[index]);
        }
      }
      if(!repeated && Seen_Rank(rows) >= target)
      {
        const TEvaluation evaluation = Evaluate(rows);
        if(evaluation.rank >= target && (!found || evaluation.Sum(evaluation) < found_sum))
        {
          found = true;
          found_sum = evaluation.Sum(evaluation);
          *subset = members;
        }
      }
      // The next combination in lexicographic order.
      int position = size - 1;
      while(position >= 0 && members[position] == count - size + position)
      {
        --position;
      }
      if(position < 0)
      {
        break;
      }
      ++members[position];
      for(int index = position + 1; index < size; ++index)
      {
        members[index] = members[index - 1] + 1;
      }
    }
    if(found)
    {
      return true;
    }
  }
  return false;
}

void TPlanner::Add_Step(int candidate, const TEvaluation& evaluation)
{
  Plan::TStep step;
  step.candidate = candidate;
  step.measurement = d_names[candidate];
  step.kind = d_kinds[candidate];
  step.readings = d_readings[candidate];
  step.rank = evaluation.rank;
  step.full_rank = evaluation.full;
  const int largest = evaluation.Largest(evaluation);
  if(largest >= 0)
  {
    const double resolution = d_options.identify.resolution > 0.0 ? d_options.identify.resolution : 1.0;
    step.largest_ratio = evaluation.ratio[largest];
    step.largest_u = evaluation.ratio[largest] * resolution;
    step.largest_function = d_quantities[largest].name;
    step.largest_unit = d_quantities[largest].unit;
  }
  d_result.steps.push_back(step);
}

bool TPlanner::Choose()
{
  const int n = d_model->Size();
  const int count = static_cast<int>(d_rows.size());
  d_work = 2 * n;
  MatrixXd all(0, n);
  for(const MatrixXd& rows : d_rows)
  {
    all = Stack(all, rows);
  }
  const TEvaluation everything = Evaluate(all);
  d_result.reachable_rank = everything.rank;
  for(int index = 0; index < n; ++index)
  {
    if(!everything.decision.parameter_identified[index])
    {
      d_result.not_identified.push_back(d_result.unknown_names[index]);
    }
  }
  d_result.directions = Identify::Null_Directions(*d_model, everything.decision, nullptr);
  const int budget = d_options.budget > 0 ? std::min(d_options.budget, count) : count;

  // One at a time: below the highest rank always on (a pair may raise what no single one
  // does).
  const auto greedy = [&](std::vector<int> pool, std::vector<int>* chosen, std::vector<TEvaluation>* evaluations,
                          MatrixXd* rows, int limit, bool up_to_target)
  {
    TEvaluation now = evaluations->empty() ? Evaluate(*rows) : evaluations->back();
    while(static_cast<int>(chosen->size()) < limit && !pool.empty())
    {
      if(up_to_target && now.rank >= d_result.reachable_rank)
      {
        break;
      }
      // A candidate with the rows of one already chosen adds nothing an identification could
      // tell apart from reading that one twice: not before every parameter is identified.
      std::vector<int> fresh;
      for(const int candidate : pool)
      {
        const bool repeated =
            std::any_of(chosen->begin(), chosen->end(), [&](int taken) { return Group(taken) == Group(candidate); });
        if(!repeated || now.full)
        {
          fresh.push_back(candidate);
        }
      }
      int best = -1;
      MatrixXd best_rows;
      TEvaluation best_evaluation;
      const bool below = now.rank < d_result.reachable_rank;
      if(fresh.empty() || !Pick(fresh, *rows, now, !below, &best, &best_rows, &best_evaluation))
      {
        break;
      }
      chosen->push_back(best);
      evaluations->push_back(best_evaluation);
      *rows = best_rows;
      now = best_evaluation;
      pool.erase(std::find(pool.begin(), pool.end(), best));
      ++d_work;
      if(!Tick())
      {
        return false;
      }
    }
    return true;
  };

  std::vector<int> pool(count);
  for(int index = 0; index < count; ++index)
  {
    pool[index] = index;
  }
  std::vector<int> chosen;
  std::vector<TEvaluation> evaluations;
  MatrixXd rows(0, n);
  if(!greedy(pool, &chosen, &evaluations, &rows, count, true))
  {
    d_result.report.push_back(QStringLiteral("Cancelled."));
    return false;
  }
  // Few candidates: the shortest set to the highest rank, in the order of the rule.
  std::vector<int> subset;
  d_result.exhaustive = count <= Plan::EXHAUSTIVE_CANDIDATES;
  if(d_result.exhaustive && d_result.reachable_rank > 0 && Shortest_Subset(static_cast<int>(chosen.size()), &subset))
  {
    chosen.clear();
    evaluations.clear();
    rows = MatrixXd(0, n);
    if(!greedy(subset, &chosen, &evaluations, &rows, static_cast<int>(subset.size()), false))
    {
      d_result.report.push_back(QStringLiteral("Cancelled."));
      return false;
    }
  }
  if(d_result.status == Plan::TStatus::CANCELLED)
  {
    d_result.report.push_back(QStringLiteral("Cancelled."));
    return false;
  }
  // Then whatever still lowers the uncertainty enough.
  std::vector<int> rest;
  for(const int candidate : pool)
  {
    if(std::find(chosen.begin(), chosen.end(), candidate) == chosen.end())
    {
      rest.push_back(candidate);
    }
  }
  if(static_cast<int>(chosen.size()) < budget && !greedy(rest, &chosen, &evaluations, &rows, budget, false))
  {
    d_result.report.push_back(QStringLiteral("Cancelled."));
    return false;
  }
  for(std::size_t index = 0; index < chosen.size() && static_cast<int>(index) < budget; ++index)
  {
    Add_Step(chosen[index], evaluations[index]);
  }
  d_result.full_rank = !d_result.steps.empty() && d_result.steps.back().full_rank;
  if(d_progress)
  {
    d_progress(d_total_work, d_total_work);
  }
  return true;
}

QString Number(double value)
{
  return QString::number(value, 'g', 3);
}

void TPlanner::Write_Report() const
{
  QStringList& report = d_result.report;
  report.push_back(QStringLiteral("Candidates: %1; %2")
                       .arg(d_result.candidates)
                       .arg(d_result.exhaustive ? QStringLiteral("the shortest set to the highest rank found by "
                                                                 "trying subsets")
                                                : QStringLiteral("chosen one at a time")));
  const double resolution = d_options.identify.resolution;
  report.push_back(
      resolution > 0.0
          ? QString::fromUtf8("Uncertainties (k = 1) compared as u/R with R = %1 µm or µrad").arg(resolution)
          : QString::fromUtf8("Uncertainties (k = 1) compared as u/R with R = 1 µm or µrad"));
  report.push_back(QString());
  if(d_result.candidates == 0)
  {
    report.push_back(QStringLiteral("No candidate measurement: the plan is empty."));
  }
  for(std::size_t index = 0; index < d_result.steps.size(); ++index)
  {
    const Plan::TStep& step = d_result.steps[index];
    const QString largest =
        step.largest_function.isEmpty()
            ? QStringLiteral("nothing identified yet")
            : QStringLiteral("%1 %2 %3 (u/R %4) of %5")
                  .arg(step.full_rank ? QStringLiteral("largest u") : QStringLiteral("largest u of the identified"),
                       Number(step.largest_u), step.largest_unit, Number(step.largest_ratio), step.largest_function);
    report.push_back(QStringLiteral("%1. %2 (%3, %4 reading%5): Rank: %6 of %7 unknowns; %8")
                         .arg(index + 1)
                         .arg(Identify::Report_Cut(step.measurement), step.kind)
                         .arg(step.readings)
                         .arg(step.readings == 1 ? QString() : QStringLiteral("s"))
                         .arg(step.rank)
                         .arg(d_result.unknowns)
                         .arg(largest));
  }
  report.push_back(QString());
  if(d_result.full_rank)
  {
    report.push_back(QStringLiteral("Every error parameter is identified by this plan."));
    return;
  }
  const int reached = d_result.steps.empty() ? 0 : d_result.steps.back().rank;
  if(reached < d_result.reachable_rank)
  {
    report.push_back(QStringLiteral("The budget ends the plan at rank %1; every candidate together reaches rank %2.")
                         .arg(reached)
                         .arg(d_result.reachable_rank));
  }
  if(d_result.not_identified.isEmpty())
  {
    return;
  }
  report.push_back(QStringLiteral("Not identified with every candidate (%1 of %2 parameters):")
                       .arg(d_result.not_identified.size())
                       .arg(d_result.unknowns));
  const int directions = static_cast<int>(d_result.directions.size());
  for(int index = 0; index < std::min(directions, DIRECTION_LINES); ++index)
  {
    const Identify::TNullDirection& direction = d_result.directions[index];
    QStringList names;
    for(const auto& term : direction.terms)
    {
      if(names.size() < DIRECTION_NAMES)
      {
        names.push_back(term.first);
      }
    }
    QString line = QStringLiteral("  ") + names.join(QStringLiteral(", "));
    const int rest = static_cast<int>(direction.terms.size()) - names.size();
    if(rest > 0)
    {
      line += QStringLiteral(" and %1 more").arg(rest);
    }
    line += !direction.structural         ? QStringLiteral(": below the resolution")
            : direction.terms.size() == 1 ? QStringLiteral(": not seen by these candidates")
                                          : QStringLiteral(": not separable with these candidates");
    if(!direction.hint.isEmpty())
    {
      line += QStringLiteral(" (") + direction.hint + QLatin1Char(')');
    }
    report.push_back(line);
  }
  if(directions > DIRECTION_LINES)
  {
    report.push_back(QStringLiteral("  and %1 more directions").arg(directions - DIRECTION_LINES));
  }
}
} // namespace

namespace Plan
{
TResult Run(const TMachineLibrary::TMachineItem& machine, const std::vector<const TMeasurement*>& library,
            const std::vector<int>& candidates, const TOptions& options, const Identify::TProgress& progress)
{
  TResult result;
  result.machine_name = machine.name;
  result.candidates = static_cast<int>(candidates.size());
  const int degree = std::min(std::max(options.identify.degree, Identify::MINIMUM_DEGREE), Identify::MAXIMUM_DEGREE);
  result.report.push_back(QStringLiteral("Test plan for the machine \"%1\"").arg(Identify::Report_Cut(machine.name)));
  result.report.push_back(QStringLiteral("Polynomial degree: %1").arg(degree));
  TPlanner planner(machine, options, progress, &result);
  if(!planner.Setup_Machine())
  {
    return result;
  }
  if(result.unknowns == 0)
  {
    result.status = TStatus::NO_PARAMETERS;
    result.full_rank = true;
    result.report.push_back(QStringLiteral(
        "The machine has no enabled error parameter: there is nothing to identify, so no test to plan."));
    return result;
  }
  result.report.push_back(QStringLiteral("Unknowns: %1").arg(result.unknowns));
  if(!planner.Simulate(library, candidates) || !planner.Choose())
  {
    return result;
  }
  planner.Write_Report();
  return result;
}

QByteArray Json(const TResult& result)
{
  QJsonObject root;
  root.insert(QStringLiteral("machine"), result.machine_name);
  root.insert(QStringLiteral("unknowns"), result.unknowns);
  QJsonArray steps;
  for(const TStep& step : result.steps)
  {
    const bool known = step.full_rank && std::isfinite(step.largest_ratio);
    steps.append(QJsonObject{{QStringLiteral("measurement"), step.measurement},
                             {QStringLiteral("readings"), step.readings},
                             {QStringLiteral("rank"), step.rank},
                             {QStringLiteral("largest_u"), known ? QJsonValue(step.largest_ratio) : QJsonValue()},
                             {QStringLiteral("largest_u_function"), known ? step.largest_function : QString()}});
  }
  root.insert(QStringLiteral("steps"), steps);
  root.insert(QStringLiteral("not_identified"), QJsonArray::fromStringList(result.not_identified));
  root.insert(QStringLiteral("full_rank"), result.full_rank);
  return QJsonDocument(root).toJson(QJsonDocument::Indented);
}
} // namespace Plan
