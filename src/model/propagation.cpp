// Linear propagation of an identified machine's covariance to simulated readings: each reading's
// derivatives with respect to the parameters, and the sum gᵀCg.

#include "src/model/propagation.h"

#include <Eigen/Dense>

#include <cmath>
#include <limits>

#include "src/model/propagation_setup.h"

namespace
{
using namespace Propagation;

// The chain's angle derivatives at every point, once for all parameters that turn a table's
// stage.
bool Angle_Derivatives(TSetUp* set_up, int jobs, QString* error)
{
  bool used[3][3] = {};
  for(std::size_t p = 0; p < set_up->machine.Size(); ++p)
  {
    const int chain = set_up->machine.Chain_Index(p);
    const int angle = set_up->machine.Angle_Index(p);
    if(chain < 3 && angle >= 0)
    {
      used[chain][angle] = true;
    }
  }
  TMachineComp geometry;
  if(!set_up->machine.Setup(nullptr, &geometry, error))
  {
    return false;
  }
  const int blocks = static_cast<int>((set_up->readings.Points() + BLOCK - 1) / BLOCK);
  Run_Tasks(blocks, jobs,
            [&]()
            {
              return [&](int block)
              {
                const std::size_t first = static_cast<std::size_t>(block) * BLOCK;
                set_up->readings.Prepare_Angle_Derivatives(geometry, used, first, first + BLOCK);
                return true;
              };
            });
  return true;
}

// Every reading's derivative with respect to every parameter (parameter by parameter), one task
// per parameter: a table's parameter through the angle derivatives; a squareness or deflection
// value, which acts after the chain, by central differences of the terms after it.
bool Gradients(const TSetUp& set_up, int jobs, std::vector<double>* gradients, QString* error)
{
  const std::size_t size = set_up.machine.Size();
  const std::size_t count = set_up.readings.Count();
  gradients->assign(size * count, 0.0);
  std::vector<QString> failures(size);
  Run_Tasks(static_cast<int>(size), jobs,
            [&]()
            {
              std::vector<double> plus;
              std::vector<double> minus;
              std::vector<TVector3> scratch;
              std::vector<double> delta(size, 0.0);
              TMachineComp model;
              return [&, plus, minus, scratch, delta, model](int task) mutable
              {
                const std::size_t p = static_cast<std::size_t>(task);
                const double step = set_up.machine.Step(p);
                // Only the parameter's own table or value differs from the machine as stored.
                const int chain = set_up.machine.Chain_Index(p);
                QString& error = failures[p];
                double* gradient = &(*gradients)[p * count];
                delta[p] = step;
                bool ok = set_up.machine.Setup(delta.data(), &model, &error);
                if(ok && chain < 3)
                {
                  set_up.readings.Table_Gradient(model, chain, step, &scratch, gradient);
                }
                else
                {
                  ok = ok && set_up.readings.Simulate_Changed(model, chain, &scratch, &plus, &error);
                  delta[p] = -step;
                  ok = ok && set_up.machine.Setup(delta.data(), &model, &error) &&
                       set_up.readings.Simulate_Changed(model, chain, &scratch, &minus, &error);
                  for(std::size_t r = 0; ok && r < count; ++r)
                  {
                    gradient[r] = (plus[r] - minus[r]) / (2.0 * step);
                  }
                }
                delta[p] = 0.0;
                for(std::size_t r = 0; ok && r < count; ++r)
                {
                  gradient[r] = std::fabs(gradient[r]) * step < NEGLIGIBLE ? 0.0 : gradient[r];
                }
                return ok;
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
  return true;
}

// The readings with their gradients and u = √(gᵀCg) over the determined parameters, all readings
// at once; an undetermined parameter has no covariance with the others, and a reading that
// depends on it is not determined either.
void Sum_Readings(const std::vector<double>& covariance, const TSetUp& set_up, const std::vector<double>& gradients,
                  std::vector<TReading>* readings)
{
  const std::size_t size = set_up.machine.Size();
  const std::size_t count = set_up.readings.Count();
  std::vector<char> determined(size);
  Eigen::MatrixXd determined_covariance =
      Eigen::MatrixXd::Zero(static_cast<Eigen::Index>(size), static_cast<Eigen::Index>(size));
  for(std::size_t i = 0; i < size; ++i)
  {
    determined[i] = std::isfinite(covariance[i * size + i]);
    for(std::size_t j = 0; j < size && determined[i]; ++j)
    {
      if(std::isfinite(covariance[j * size + j]))
      {
        determined_covariance(static_cast<Eigen::Index>(i), static_cast<Eigen::Index>(j)) = covariance[i * size + j];
      }
    }
  }
  const Eigen::Map<const Eigen::MatrixXd> jacobian(gradients.data(), static_cast<Eigen::Index>(count),
                                                   static_cast<Eigen::Index>(size));
  const Eigen::VectorXd variances = (jacobian * determined_covariance).cwiseProduct(jacobian).rowwise().sum();
  std::size_t r = 0;
  const std::vector<std::size_t>& rows_per_measurement = set_up.readings.Rows_Per_Measurement();
  for(std::size_t m = 0; m < rows_per_measurement.size(); ++m)
  {
    for(std::size_t row = 0; row < rows_per_measurement[m]; ++row, ++r)
    {
      TReading reading;
      reading.measurement = static_cast<int>(m);
      reading.row = static_cast<int>(row);
      reading.value = set_up.readings.Values()[r];
      reading.gradient.resize(size);
      bool undetermined = false;
      for(std::size_t p = 0; p < size; ++p)
      {
        reading.gradient[p] = gradients[p * count + r];
        undetermined = undetermined || (!determined[p] && reading.gradient[p] != 0.0);
      }
      const double variance = variances(static_cast<Eigen::Index>(r));
      reading.u = undetermined ? std::numeric_limits<double>::infinity() : std::sqrt(std::max(variance, 0.0));
      readings->push_back(std::move(reading));
    }
  }
}
} // namespace

namespace Propagation
{
bool Has_Covariance(const TMachineLibrary::TMachineItem& machine)
{
  const std::size_t size = static_cast<std::size_t>(machine.covariance_labels.size());
  return size > 0 && machine.covariance.size() == size * size;
}

TLinear Linear(const TMachineLibrary::TMachineItem& machine, const std::vector<const TMeasurement*>& records, int jobs)
{
  TLinear result;
  TSetUp set_up;
  std::vector<double> gradients;
  if(!Make_Set_Up(machine, records, true, &set_up, &result.error) || !Angle_Derivatives(&set_up, jobs, &result.error) ||
     !Gradients(set_up, jobs, &gradients, &result.error))
  {
    return result;
  }
  result.labels = machine.covariance_labels;
  Sum_Readings(machine.covariance, set_up, gradients, &result.readings);
  result.ok = true;
  return result;
}
} // namespace Propagation
