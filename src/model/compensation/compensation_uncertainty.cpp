// The covariance of a machine's error vector at points, from its parameters' covariance.

#include "src/model/compensation/compensation_uncertainty.h"

#include <Eigen/Dense>

#include <cmath>
#include <limits>

#include "src/model/propagation_setup.h"

namespace
{
using Propagation::TPerturbedMachine;

// dE/dθ of every point for one parameter, by central differences: E is linear in a table's
// values and nearly so in the small angles of a step, so the two sides cancel the curvature.
bool Parameter_Gradient(const TPerturbedMachine& machine, std::size_t parameter, const std::vector<TVector3>& points,
                        const TVector3& probe, std::vector<double>* delta, TVector3* gradient, QString* error)
{
  const double step = machine.Step(parameter);
  TMachineComp plus;
  TMachineComp minus;
  (*delta)[parameter] = step;
  bool ok = machine.Setup(delta->data(), &plus, error);
  (*delta)[parameter] = -step;
  ok = ok && machine.Setup(delta->data(), &minus, error);
  (*delta)[parameter] = 0.0;
  if(!ok)
  {
    return false;
  }
  try
  {
    for(std::size_t i = 0; i < points.size(); ++i)
    {
      gradient[i] =
          (plus.Model_Error(points[i], probe, nullptr) - minus.Model_Error(points[i], probe, nullptr)) / (2.0 * step);
    }
  }
  catch(const TMachineAxisException& exception)
  {
    *error = exception.Message();
    return false;
  }
  return true;
}
} // namespace

namespace Compensation
{
double TPointCovariance::U_Of_Size(const TVector3& remaining) const
{
  if(undetermined)
  {
    return std::numeric_limits<double>::infinity();
  }
  const Eigen::Map<const Eigen::Matrix3d> covariance(c);
  const double size = remaining.Length();
  if(size > 0.0)
  {
    const Eigen::Vector3d n(remaining.x / size, remaining.y / size, remaining.z / size);
    return std::sqrt(std::max(0.0, n.dot(covariance * n)));
  }
  const Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> solver(covariance, Eigen::EigenvaluesOnly);
  return std::sqrt(std::max(0.0, solver.eigenvalues().maxCoeff()));
}

bool Point_Covariances(const TMachineLibrary::TMachineItem& machine, const std::vector<TVector3>& points,
                       const TVector3& probe, int jobs, std::vector<TPointCovariance>* covariances, QString* error)
{
  TPerturbedMachine perturbed;
  if(!perturbed.Prepare(machine, error))
  {
    return false;
  }
  const std::size_t size = perturbed.Size();
  const std::size_t count = points.size();
  std::vector<TVector3> gradients(size * count);
  std::vector<QString> failures(size);
  Propagation::Run_Tasks(static_cast<int>(size), jobs,
                         [&]()
                         {
                           return [&, delta = std::vector<double>(size, 0.0)](int task) mutable
                           {
                             const std::size_t p = static_cast<std::size_t>(task);
                             return Parameter_Gradient(perturbed, p, points, probe, &delta, &gradients[p * count],
                                                       &failures[p]);
                           };
                         });
  for(const QString& failure : failures)
  {
    if(!failure.isEmpty())
    {
      *error = failure;
      return false;
    }
  }

  // An undetermined parameter has no covariance with the others; a point that it moves is not
  // determined either.
  Eigen::MatrixXd determined = Eigen::MatrixXd::Zero(static_cast<Eigen::Index>(size), static_cast<Eigen::Index>(size));
  std::vector<bool> finite(size);
  for(std::size_t i = 0; i < size; ++i)
  {
    finite[i] = std::isfinite(machine.covariance[i * size + i]);
  }
  for(std::size_t i = 0; i < size; ++i)
  {
    for(std::size_t j = 0; j < size; ++j)
    {
      if(finite[i] && finite[j])
      {
        determined(static_cast<Eigen::Index>(i), static_cast<Eigen::Index>(j)) = machine.covariance[i * size + j];
      }
    }
  }
  covariances->assign(count, TPointCovariance());
  Eigen::MatrixXd jacobian(3, static_cast<Eigen::Index>(size));
  for(std::size_t point = 0; point < count; ++point)
  {
    TPointCovariance& result = (*covariances)[point];
    for(std::size_t p = 0; p < size; ++p)
    {
      const TVector3& g = gradients[p * count + point];
      jacobian.col(static_cast<Eigen::Index>(p)) << g.x, g.y, g.z;
      const double moved = g.Length() * perturbed.Step(p);
      result.undetermined = result.undetermined || (!finite[p] && moved >= Propagation::NEGLIGIBLE);
    }
    Eigen::Map<Eigen::Matrix3d>(result.c) = jacobian * determined * jacobian.transpose();
  }
  return true;
}
} // namespace Compensation
