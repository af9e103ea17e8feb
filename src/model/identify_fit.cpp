// The fit within the identified directions: Gauss-Newton with Levenberg-Marquardt damping on a
// design matrix held fixed, and the covariance of the result.

#include <cmath>
#include <limits>

#include "src/model/identify_fit.h"

namespace
{
using Identify::MatrixXd;
using Identify::VectorXd;

const int MAXIMUM_ITERATIONS = 30;
// The largest change of a predicted reading (mm, mm/m) below which the fit has converged.
const double CONVERGENCE = 1e-7;
const double LARGEST_DAMPING = 1e10;

bool Finite(const VectorXd& values)
{
  return values.allFinite();
}
} // namespace

namespace Identify
{
TFitProblem::TFitProblem(const TModel& model, const MatrixXd& machine_jacobian, const MatrixXd& alignment_jacobian,
                         const VectorXd& weights, const VectorXd& measured, const MatrixXd& directions)
    : d_machine_jacobian(machine_jacobian), d_alignment_jacobian(alignment_jacobian), d_weights(weights),
      d_measured(measured)
{
  // Scaled unit directions -> changes of the unknowns.
  d_directions = directions;
  for(int row = 0; row < d_directions.rows(); ++row)
  {
    d_directions.row(row) /= model.Unknowns()[row].effect;
  }
  Set_Jacobian(machine_jacobian);
}

void TFitProblem::Set_Jacobian(const MatrixXd& machine_jacobian)
{
  d_machine_jacobian = machine_jacobian;
  const int rank = static_cast<int>(d_directions.cols());
  const int alignment = static_cast<int>(d_alignment_jacobian.cols());
  d_reduced.resize(d_measured.size(), rank + alignment);
  if(rank > 0)
  {
    d_reduced.leftCols(rank) = d_machine_jacobian * d_directions;
  }
  if(alignment > 0)
  {
    d_reduced.rightCols(alignment) = d_alignment_jacobian;
  }
}

VectorXd TFitProblem::Residuals(const TFitState& state) const
{
  VectorXd model = state.predicted;
  if(d_alignment_jacobian.cols() > 0)
  {
    model += d_alignment_jacobian * state.alignment;
  }
  return (d_measured - model).cwiseProduct(d_weights);
}

bool TFitProblem::Solve(const TSimulate& simulate, TFitState* state, QString* failure) const
{
  const int rank = static_cast<int>(d_directions.cols());
  const int columns = static_cast<int>(d_reduced.cols());
  const MatrixXd weighted = d_weights.asDiagonal() * d_reduced;
  const MatrixXd normal = weighted.transpose() * weighted;
  VectorXd residuals = Residuals(*state);
  double cost = residuals.squaredNorm();
  double damping = 0.0;
  state->converged = columns == 0;
  // Every solve has its own budget: a fit repeated without an outlier starts where it stood.
  const int first = state->iterations;
  while(!state->converged)
  {
    if(state->iterations - first >= MAXIMUM_ITERATIONS)
    {
      *failure = QStringLiteral("the fit did not converge in %1 iterations").arg(MAXIMUM_ITERATIONS);
      return false;
    }
    ++state->iterations;
    VectorXd step;
    const VectorXd gradient = weighted.transpose() * residuals;
    if(damping == 0.0)
    {
      step = weighted.colPivHouseholderQr().solve(residuals);
    }
    else
    {
      MatrixXd damped = normal;
      damped.diagonal() += damping * normal.diagonal().cwiseMax(1e-30);
      step = damped.ldlt().solve(gradient);
    }
    TFitState trial = *state;
    trial.u = state->u + d_directions * step.head(rank);
    trial.alignment = state->alignment + step.tail(columns - rank);
    if(!Finite(trial.u) || !Finite(trial.alignment))
    {
      *failure = QStringLiteral("the fit reached values that are not finite");
      return false;
    }
    if(!simulate(trial.u, &trial.predicted))
    {
      *failure = QString();
      return false;
    }
    if(!Finite(trial.predicted))
    {
      *failure = QStringLiteral("the simulation gave readings that are not finite");
      return false;
    }
    const VectorXd trial_residuals = Residuals(trial);
    const double trial_cost = trial_residuals.squaredNorm();
    const double change = (d_reduced * step).cwiseAbs().maxCoeff();
    if(trial_cost <= cost * (1.0 + 1e-12) || change <= CONVERGENCE)
    {
      if(trial_cost <= cost * (1.0 + 1e-12))
      {
        *state = trial;
        residuals = trial_residuals;
        cost = trial_cost;
      }
      damping = damping > 0.0 ? damping / 10.0 : 0.0;
      if(damping < 1e-6)
      {
        damping = 0.0;
      }
      state->converged = change <= CONVERGENCE;
      continue;
    }
    // The step made the residual grow: shorter, steeper steps.
    damping = damping == 0.0 ? 1e-4 : damping * 10.0;
    if(damping > LARGEST_DAMPING)
    {
      *failure = QStringLiteral("no step reduces the residual any more");
      return false;
    }
  }
  return true;
}

MatrixXd TFitProblem::Covariance(MatrixXd* alignment_covariance) const
{
  const int rank = static_cast<int>(d_directions.cols());
  const int columns = static_cast<int>(d_reduced.cols());
  const MatrixXd weighted = d_weights.asDiagonal() * d_reduced;
  MatrixXd inverse = MatrixXd::Zero(columns, columns);
  if(columns > 0)
  {
    inverse = (weighted.transpose() * weighted).completeOrthogonalDecomposition().pseudoInverse();
  }
  if(alignment_covariance)
  {
    *alignment_covariance = inverse.bottomRightCorner(columns - rank, columns - rank);
  }
  return d_directions * inverse.topLeftCorner(rank, rank) * d_directions.transpose();
}

int TFitProblem::Alignment_Rank() const
{
  if(d_alignment_jacobian.cols() == 0)
  {
    return 0;
  }
  MatrixXd weighted = d_weights.asDiagonal() * d_alignment_jacobian;
  return static_cast<int>(Eigen::ColPivHouseholderQR<MatrixXd>(weighted).rank());
}
} // namespace Identify
