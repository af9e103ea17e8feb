#ifndef IDENTIFY_RUN_H
#define IDENTIFY_RUN_H

// One identification run, stage by stage (src/model/identify.cpp), and how its result is put
// together (src/model/identify_result.cpp). Internal to the identification.

#include <memory>

#include "src/model/identify_fit.h"

namespace Identify
{
// Everything a run works on, stage by stage.
class TRun
{
public:
  TRun(const TMachineLibrary::TMachineItem& machine, const TOptions& options, const TProgress& progress,
       TResult* result)
      : d_machine(machine), d_options(options), d_progress(progress), d_result(*result), d_report(result->report),
        d_limit(options.resolution)
  {
  }

  bool Setup_Machine();
  void Match(const std::vector<const TMeasurement*>& library, const Measured::TCollection& measured);
  bool Prepare();
  bool Check_Plausible();
  bool Structural();
  bool Fit();
  bool Final();
  // True when the scatter of the residuals, multiplying the uncertainties, puts some identified
  // direction above the resolution: the fit is to be made again without it.
  bool Rescale();
  // The largest uncertainty of an error function or value as the report prints it (µm, µrad).
  double Largest_Printed_U(double birge) const;
  void Build();

private:
  bool Simulate(const VectorXd& at, VectorXd* values);
  bool Failed();
  void Turn_Signs();
  VectorXd Weighted_Residuals(const VectorXd& predicted) const;
  void List_Outliers(const VectorXd& residuals);
  // More misfit than noise gives (src/model/identify_misfit.cpp); what would explain it, true
  // when one change would explain clearly more than noise could.
  bool Beyond_Noise(const VectorXd& residuals) const;
  bool Suggest(const VectorXd& residuals, double chi2, int freedom);
  // Every reading used, after the fit, into the result's residuals.
  void List_Residuals(const VectorXd& residuals);
  void Build_Machine(const VectorXd& values, const MatrixXd& covariance);
  void Build_Alignment();
  void Build_Directions();
  void Build_Bands(double factor);

  const TMachineLibrary::TMachineItem& d_machine;
  const TOptions& d_options;
  const TProgress& d_progress;
  TResult& d_result;
  QStringList& d_report;

  std::unique_ptr<TModel> d_model;
  TMachineComp d_start_machine;
  std::vector<std::unique_ptr<TMeasurement>> d_records;
  std::vector<TMeasurement*> d_used;
  std::vector<const Measured::TSet*> d_sets;
  std::vector<TObservation> d_observations;
  std::vector<int> d_alignment_sets;
  QStringList d_alignment_names;
  std::unique_ptr<TPredictor> d_predictor;
  VectorXd d_weights; // 0 for a rejected reading
  VectorXd d_stated;
  VectorXd d_measured;
  VectorXd d_start;
  VectorXd d_before;
  VectorXd d_nominal;
  MatrixXd d_structural;
  MatrixXd d_alignment;
  TRankDecision d_decision;
  std::unique_ptr<TFitProblem> d_problem;
  TFitState d_state;
  MatrixXd d_covariance; // of the unknowns u
  MatrixXd d_alignment_covariance;
  std::vector<std::pair<int, double>> d_rejected; // reading, normalized residual when rejected
  QString d_error;
  int d_total_work = 0;
  double d_limit = 0.0;  // the resolution the rank is decided with (lowered by the scatter)
  int d_travel_rows = 0; // rows of the sets left out because they lie outside the travel
  int d_kept_rows = 0;
};
} // namespace Identify

#endif
