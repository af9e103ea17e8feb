// Monte Carlo propagation of an identified machine's covariance: parameter vectors drawn from
// N(θ, C), each machine simulated, and the spread of every reading.

#include "src/model/propagation.h"

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>

#include "src/model/propagation_setup.h"

namespace
{
using namespace Propagation;

const double COVERAGE = 0.95;

// The determined part of a covariance (size by size, row by row) as C = A Aᵀ, A = V sqrt(Λ),
// with tiny negative eigenvalues clipped; finite lists the parameters it covers.
struct TFactor
{
  std::vector<std::size_t> finite;
  Eigen::MatrixXd factor;
};

TFactor Factor(const std::vector<double>& covariance, std::size_t size)
{
  TFactor result;
  std::vector<std::size_t>& finite = result.finite;
  for(std::size_t p = 0; p < size; ++p)
  {
    if(std::isfinite(covariance[p * size + p]))
    {
      finite.push_back(p);
    }
  }
  const Eigen::Index n = static_cast<Eigen::Index>(finite.size());
  Eigen::MatrixXd determined(n, n);
  for(Eigen::Index i = 0; i < n; ++i)
  {
    for(Eigen::Index j = 0; j < n; ++j)
    {
      determined(i, j) = covariance[finite[static_cast<std::size_t>(i)] * size + finite[static_cast<std::size_t>(j)]];
    }
  }
  Eigen::MatrixXd& factor = result.factor;
  factor = Eigen::MatrixXd::Zero(n, n);
  if(n > 0)
  {
    const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> solver(determined);
    factor = solver.eigenvectors() * solver.eigenvalues().cwiseMax(0.0).cwiseSqrt().asDiagonal();
  }
  return result;
}

// The readings of every draw (draw by draw), drawn in blocks with a stream each; false with the
// first draw that does not simulate.
bool Draw(const TSetUp& set_up, const TFactor& drawn_factor, int draws, std::uint64_t seed, int jobs,
          std::vector<double>* values, QString* error)
{
  const std::size_t size = set_up.machine.Size();
  const std::vector<std::size_t>& finite = drawn_factor.finite;
  const Eigen::MatrixXd& factor = drawn_factor.factor;
  const Eigen::Index n = static_cast<Eigen::Index>(finite.size());
  const std::size_t count = set_up.readings.Count();
  values->assign(static_cast<std::size_t>(draws) * count, 0.0);
  const int blocks = (draws + BLOCK - 1) / BLOCK;
  std::mutex failure_mutex;
  int failed_draw = draws;
  QString failure;
  Run_Tasks(blocks, jobs,
            [&]()
            {
              std::vector<double> simulated;
              std::vector<TVector3> scratch;
              std::vector<double> delta(size, 0.0);
              Eigen::VectorXd z(n);
              Eigen::VectorXd drawn(n);
              TMachineComp model;
              return [&, simulated, scratch, delta, z, drawn, model](int block) mutable
              {
                TNormal normal(seed, static_cast<std::uint64_t>(block));
                const int first = block * BLOCK;
                const int last = std::min(draws, first + BLOCK);
                for(int draw = first; draw < last; ++draw)
                {
                  for(Eigen::Index i = 0; i < n; ++i)
                  {
                    z(i) = normal.Next();
                  }
                  drawn.noalias() = factor * z;
                  for(Eigen::Index i = 0; i < n; ++i)
                  {
                    delta[finite[static_cast<std::size_t>(i)]] = drawn(i);
                  }
                  QString error;
                  if(!set_up.machine.Setup(delta.data(), &model, &error) ||
                     !set_up.readings.Simulate(model, &scratch, &simulated, &error))
                  {
                    const std::lock_guard<std::mutex> lock(failure_mutex);
                    if(draw < failed_draw)
                    {
                      failed_draw = draw;
                      failure = error;
                    }
                    return false;
                  }
                  std::copy(simulated.begin(), simulated.end(),
                            values->begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(draw) * count));
                }
                return true;
              };
            });
  if(failed_draw < draws)
  {
    *error = QStringLiteral("draw %1: %2").arg(failed_draw + 1).arg(failure);
    return false;
  }
  return true;
}

// Each reading's standard deviation and shortest 95 % interval over the draws; infinite for a
// reading that depends on an undetermined parameter.
void Summarise(const std::vector<double>& values, std::size_t count, int draws, const TLinear& linear,
               TMonteCarlo* result)
{
  const std::size_t inside = static_cast<std::size_t>(std::ceil(COVERAGE * draws));
  std::vector<double> column(static_cast<std::size_t>(draws));
  for(std::size_t r = 0; r < count; ++r)
  {
    double sum = 0.0;
    for(std::size_t d = 0; d < column.size(); ++d)
    {
      column[d] = values[d * count + r];
      sum += column[d];
    }
    const double mean = sum / draws;
    double squares = 0.0;
    for(const double value : column)
    {
      squares += (value - mean) * (value - mean);
    }
    std::sort(column.begin(), column.end());
    std::size_t best = 0;
    for(std::size_t d = 0; d + inside <= column.size(); ++d)
    {
      if(column[d + inside - 1] - column[d] < column[best + inside - 1] - column[best])
      {
        best = d;
      }
    }
    if(std::isinf(linear.readings[r].u))
    {
      const double infinity = std::numeric_limits<double>::infinity();
      result->deviation.push_back(infinity);
      result->low.push_back(-infinity);
      result->high.push_back(infinity);
      continue;
    }
    result->deviation.push_back(std::sqrt(squares / (draws - 1)));
    result->low.push_back(column[best]);
    result->high.push_back(column[best + inside - 1]);
  }
}
} // namespace

namespace Propagation
{
TNormal::TNormal(std::uint64_t seed, std::uint64_t block)
{
  std::seed_seq sequence{static_cast<std::uint32_t>(seed), static_cast<std::uint32_t>(seed >> 32),
                         static_cast<std::uint32_t>(block), static_cast<std::uint32_t>(block >> 32)};
  d_engine.seed(sequence);
}

double TNormal::Next()
{
  if(d_has_spare)
  {
    d_has_spare = false;
    return d_spare;
  }
  double u = 0.0;
  double v = 0.0;
  double s = 0.0;
  do
  {
    // 53 random bits, centred in their interval: never 0 or 1.
    u = 2.0 * ((static_cast<double>(d_engine() >> 11) + 0.5) * 0x1p-53) - 1.0;
    v = 2.0 * ((static_cast<double>(d_engine() >> 11) + 0.5) * 0x1p-53) - 1.0;
    s = u * u + v * v;
  } while(s >= 1.0 || s == 0.0);
  const double factor = std::sqrt(-2.0 * std::log(s) / s);
  d_spare = v * factor;
  d_has_spare = true;
  return u * factor;
}

TMonteCarlo Monte_Carlo(const TMachineLibrary::TMachineItem& machine, const std::vector<const TMeasurement*>& records,
                        int draws, std::uint64_t seed, int jobs)
{
  TMonteCarlo result;
  result.draws = draws;
  const TLinear linear = Linear(machine, records, jobs);
  if(!linear.ok)
  {
    result.error = linear.error;
    return result;
  }
  TSetUp set_up;
  if(!Make_Set_Up(machine, records, false, &set_up, &result.error))
  {
    return result;
  }
  if(draws < 2)
  {
    result.error = QStringLiteral("Monte Carlo needs at least 2 draws");
    return result;
  }
  std::vector<double> values;
  if(!Draw(set_up, Factor(machine.covariance, set_up.machine.Size()), draws, seed, jobs, &values, &result.error))
  {
    return result;
  }
  Summarise(values, set_up.readings.Count(), draws, linear, &result);
  result.ok = true;
  return result;
}
} // namespace Propagation
