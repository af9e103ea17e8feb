#ifndef IDENTIFY_FIT_H
#define IDENTIFY_FIT_H

#include "src/model/identify_stages.h"

namespace Identify
{
// Where a fit stands: the machine's unknowns, the alignment unknowns and the simulated readings
// at u (without the alignment).
struct TFitState
{
  VectorXd u;
  VectorXd alignment;
  VectorXd predicted;
  int iterations = 0;
  bool converged = false;
};

// The least-squares problem of the identified directions and the alignment unknowns with the
// design matrix held fixed: the machine is close to linear in its unknowns, so each step only
// needs one simulation. A reading with weight 0 is left out.
class TFitProblem
{
public:
  // machine_jacobian and alignment_jacobian unweighted; directions the identified unit
  // directions in the scaled basis (unknowns x rank).
  TFitProblem(const TModel& model, const MatrixXd& machine_jacobian, const MatrixXd& alignment_jacobian,
              const VectorXd& weights, const VectorXd& measured, const MatrixXd& directions);
  void Set_Jacobian(const MatrixXd& machine_jacobian);
  void Set_Weights(const VectorXd& weights) { d_weights = weights; }

  // Iterates from state until a step changes no reading by more than 1e-7 (mm, mm/m); a step
  // that would make the weighted residual grow is damped instead. False with the reason when it
  // does not converge (an empty reason: the simulation failed or was stopped).
  bool Solve(const TSimulate& simulate, TFitState* state, QString* failure) const;
  // Weighted residuals (measured - simulated - alignment) / u.
  VectorXd Residuals(const TFitState& state) const;
  // The covariance of the machine's unknowns (k = 1, from the weights alone) and, when asked,
  // of the alignment unknowns.
  MatrixXd Covariance(MatrixXd* alignment_covariance) const;
  int Alignment_Rank() const;
  // The weighted design of the fitted directions and the alignment (readings x columns).
  MatrixXd Weighted_Design() const { return d_weights.asDiagonal() * d_reduced; }

private:
  MatrixXd d_machine_jacobian;
  MatrixXd d_alignment_jacobian;
  VectorXd d_weights;
  VectorXd d_measured;
  MatrixXd d_directions; // unknowns x rank
  MatrixXd d_reduced;    // readings x (rank + alignment), unweighted
};
} // namespace Identify

#endif
