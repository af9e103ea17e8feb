// The plan of a calibration: candidates simulated once, then sets of them ranked by the rank
// identification would decide and by the uncertainty they leave.

#include "src/model/plan.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <memory>

#include "src/model/identify_directions.h"
#include "src/model/identify_fit.h"
#include "src/model/identify_report.h"
#include "src/model/plan_planner.h"

namespace
{
const double NOT_A_NUMBER = std::numeric_limits<double>::quiet_NaN();
// The names a direction line lists before "and N more".
const int DIRECTION_NAMES = 4;
// The directions the report lists before "and N more directions".
const int DIRECTION_LINES = 12;

QString Number(double value)
{
  return QString::number(value, 'g', 3);
}
} // namespace

namespace Plan
{
bool TPlanner::Tick()
{
  if(d_progress && !d_progress(std::min(d_work, d_total_work - 1), d_total_work))
  {
    d_result.status = Plan::TStatus::CANCELLED;
    return false;
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
  step.rows = d_file_rows[candidate];
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

// Below the highest rank always on: a pair may raise what no single one does.
bool TPlanner::Greedy(std::vector<int> pool, std::vector<int>* chosen, std::vector<TEvaluation>* evaluations,
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

  std::vector<int> pool(count);
  for(int index = 0; index < count; ++index)
  {
    pool[index] = index;
  }
  std::vector<int> chosen;
  std::vector<TEvaluation> evaluations;
  MatrixXd rows(0, n);
  if(!Greedy(pool, &chosen, &evaluations, &rows, count, true))
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
    if(!Greedy(subset, &chosen, &evaluations, &rows, static_cast<int>(subset.size()), false))
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
  if(static_cast<int>(chosen.size()) < budget && !Greedy(rest, &chosen, &evaluations, &rows, budget, false))
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
          ? QString::fromUtf8("Uncertainties (k = 1) compared as u/R with R = %1 µm or µrad%2")
                .arg(resolution)
                .arg(d_result.resolution_from_mpe ? QStringLiteral(" (from the machine's MPE)") : QString())
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
    // Rows as identification counts its "Rows used", then the readings they hold.
    report.push_back(QStringLiteral("%1. %2 (%3, %4 row%5, %6 reading%7): Rank: %8 of %9 unknowns; ")
                         .arg(index + 1)
                         .arg(Identify::Report_Cut(step.measurement), step.kind)
                         .arg(step.rows)
                         .arg(step.rows == 1 ? QString() : QStringLiteral("s"))
                         .arg(step.readings)
                         .arg(step.readings == 1 ? QString() : QStringLiteral("s"))
                         .arg(step.rank)
                         .arg(d_result.unknowns) +
                     largest);
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

TResult Run(const TMachineLibrary::TMachineItem& machine, const std::vector<const TMeasurement*>& library,
            const std::vector<int>& candidates, const TOptions& given, const Identify::TProgress& progress)
{
  TResult result;
  TOptions options = given;
  result.resolution_from_mpe = Identify::Resolve_Resolution(machine, &options.identify);
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
    // As the text gives it: of every function once all are identified, else of those that are.
    const bool known = std::isfinite(step.largest_ratio) && !step.largest_function.isEmpty();
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
