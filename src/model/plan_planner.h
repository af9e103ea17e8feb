#ifndef PLAN_PLANNER_H
#define PLAN_PLANNER_H

// The planner behind Plan::Run: plan_simulate.cpp sets the machine up and simulates the
// candidates, plan.cpp chooses among them and writes the report.

#include <QString>

#include <memory>
#include <vector>

#include "src/model/identify_directions.h"
#include "src/model/identify_fit.h"
#include "src/model/plan.h"

namespace Plan
{
using Identify::MatrixXd;
using Identify::VectorXd;

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
  // The candidate that fails alone, "name: reason"; empty when each simulates alone.
  QString Failing_Candidate(const std::vector<TMeasurement*>& used,
                            const std::vector<Identify::TObservation>& observations,
                            const std::vector<int>& first_row) const;
  // Each candidate's rows of the design (first_row[i] to first_row[i + 1] of jacobian), weighted
  // and compacted, and which candidate repeats an earlier one.
  void Add_Candidate_Rows(const std::vector<Identify::TObservation>& observations, const std::vector<int>& first_row,
                          const MatrixXd& jacobian);
  // Adds the best of pool to chosen, one at a time, until limit, the highest rank (up_to_target)
  // or no candidate helps; false when cancelled.
  bool Greedy(std::vector<int> pool, std::vector<int>* chosen, std::vector<TEvaluation>* evaluations, MatrixXd* rows,
              int limit, bool up_to_target);
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
  std::vector<int> d_file_rows;    // per candidate, rows of its file as identification counts them
  std::vector<MatrixXd> d_rows;    // per candidate: compact weighted rows, alignment taken out
  std::vector<int> d_duplicate_of; // per candidate: an earlier candidate with the same rows, or -1
  int d_work = 0;
  int d_total_work = 1;
};
} // namespace Plan

#endif
