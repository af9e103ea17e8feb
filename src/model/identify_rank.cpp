// What the readings determine: the rank decided on the design matrix, by the resolution.

#include <algorithm>
#include <cmath>

#include "src/model/identify_stages.h"

namespace
{
using Identify::MatrixXd;
using Identify::VectorXd;

// A parameter whose squared share in every unidentified direction is below this is identified.
const double SHARE_LIMIT = 1e-6;

// The basis values of every function at its table positions, worked out once per decision
// rather than once per direction.
std::vector<std::vector<VectorXd>> Basis_Tables(const Identify::TModel& model)
{
  std::vector<std::vector<VectorXd>> tables;
  for(const Identify::TFunction& function : model.Functions())
  {
    std::vector<VectorXd> table;
    table.reserve(function.positions.size());
    for(const double position : function.positions)
    {
      table.push_back(model.Basis(function, position / 1000.0));
    }
    tables.push_back(std::move(table));
  }
  return tables;
}

// The largest change of any error function within the travel, in µm or µrad, that the change
// direction (scaled basis) makes.
double Largest_Effect(const Identify::TModel& model, const std::vector<std::vector<VectorXd>>& tables,
                      const VectorXd& direction)
{
  double largest = 0.0;
  const std::vector<Identify::TUnknown>& unknowns = model.Unknowns();
  for(std::size_t index = 0; index < model.Functions().size(); ++index)
  {
    const Identify::TFunction& function = model.Functions()[index];
    VectorXd coefficients(function.degree);
    for(int k = 0; k < function.degree; ++k)
    {
      // Scaled unit -> basis coefficient (mm, mm/m) -> µm or µrad.
      coefficients(k) = 1000.0 * direction(function.first + k) / unknowns[function.first + k].effect;
    }
    for(const VectorXd& basis : tables[index])
    {
      largest = std::max(largest, std::fabs(basis.dot(coefficients)));
    }
  }
  for(const auto& value : model.Values())
  {
    largest = std::max(largest, std::fabs(direction(value.second)));
  }
  return largest;
}
} // namespace

namespace Identify
{
TRankDecision Decide_Rank(const TModel& model, const MatrixXd& weighted_machine, const MatrixXd& weighted_alignment,
                          double resolution, double threshold)
{
  TRankDecision decision;
  const int n = model.Size();
  const int m = static_cast<int>(weighted_machine.rows());
  decision.parameter_identified.assign(n, false);
  if(n == 0)
  {
    decision.identified = MatrixXd(0, 0);
    decision.unidentified = MatrixXd(0, 0);
    return decision;
  }
  MatrixXd scaled = weighted_machine;
  for(int column = 0; column < n; ++column)
  {
    scaled.col(column) /= model.Unknowns()[column].effect;
  }
  // What the alignment unknowns can take up is no information about the machine.
  if(weighted_alignment.cols() > 0)
  {
    Eigen::ColPivHouseholderQR<MatrixXd> qr(weighted_alignment);
    const int rank = static_cast<int>(qr.rank());
    if(rank > 0)
    {
      const MatrixXd q = qr.householderQ() * MatrixXd::Identity(m, rank);
      scaled -= q * (q.transpose() * scaled);
    }
  }
  // Fewer readings than unknowns: zero rows keep the singular values and give V all n columns.
  if(m < n)
  {
    scaled.conservativeResize(n, Eigen::NoChange);
    scaled.bottomRows(n - m).setZero();
  }
  Eigen::JacobiSVD<MatrixXd> svd(scaled, Eigen::ComputeThinV);
  const VectorXd values = svd.singularValues();
  const MatrixXd& v = svd.matrixV();
  const double largest = values.size() > 0 ? values(0) : 0.0;
  std::vector<int> identified;
  std::vector<double> identified_u;
  std::vector<int> unidentified;
  const std::vector<std::vector<VectorXd>> tables =
      resolution > 0.0 ? Basis_Tables(model) : std::vector<std::vector<VectorXd>>();
  for(int index = 0; index < n; ++index)
  {
    const double value = index < values.size() ? values(index) : 0.0;
    const bool seen = largest > 0.0 && value > threshold * largest;
    const double u = resolution > 0.0 && seen ? Largest_Effect(model, tables, v.col(index)) / value : 0.0;
    const bool fine = resolution <= 0.0 || (seen && u <= resolution);
    if(seen && fine)
    {
      identified.push_back(index);
      identified_u.push_back(u);
    }
    else
    {
      unidentified.push_back(index);
      decision.structural.push_back(!seen);
    }
  }
  decision.rank = static_cast<int>(identified.size());
  decision.identified.resize(n, decision.rank);
  decision.identified_values.resize(decision.rank);
  if(resolution > 0.0)
  {
    decision.identified_u = Eigen::Map<const VectorXd>(identified_u.data(), decision.rank);
  }
  for(int index = 0; index < decision.rank; ++index)
  {
    decision.identified.col(index) = v.col(identified[index]);
    decision.identified_values(index) = values(identified[index]);
  }
  const int missing = static_cast<int>(unidentified.size());
  decision.unidentified.resize(n, missing);
  decision.unidentified_values.resize(missing);
  for(int index = 0; index < missing; ++index)
  {
    decision.unidentified.col(index) = v.col(unidentified[index]);
    decision.unidentified_values(index) = unidentified[index] < values.size() ? values(unidentified[index]) : 0.0;
  }

  // Parameters are the monomial coefficients: their shares in each unidentified direction, in
  // the basis scaled by the effect of each at the end of the travel.
  const MatrixXd monomials = model.Monomials();
  const VectorXd monomial_effect = model.Monomial_Effects();
  std::fill(decision.parameter_identified.begin(), decision.parameter_identified.end(), true);
  for(int index = 0; index < missing; ++index)
  {
    VectorXd in_u = decision.unidentified.col(index);
    for(int j = 0; j < n; ++j)
    {
      in_u(j) /= model.Unknowns()[j].effect;
    }
    VectorXd shares = (monomials * in_u).cwiseProduct(monomial_effect);
    const double norm = shares.norm();
    if(norm > 0.0)
    {
      shares /= norm;
    }
    for(int j = 0; j < n; ++j)
    {
      if(shares(j) * shares(j) >= SHARE_LIMIT)
      {
        decision.parameter_identified[j] = false;
      }
    }
  }
  return decision;
}
} // namespace Identify

namespace Identify
{
std::vector<VectorXd> Echelon(const std::vector<VectorXd>& vectors)
{
  if(vectors.empty())
  {
    return {};
  }
  const int count = static_cast<int>(vectors.size());
  const int size = static_cast<int>(vectors.front().size());
  MatrixXd rows(count, size);
  for(int row = 0; row < count; ++row)
  {
    rows.row(row) = vectors[row].transpose();
  }
  const double tolerance = 1e-8 * std::max(1.0, rows.cwiseAbs().maxCoeff());
  int pivot_row = 0;
  for(int column = 0; column < size && pivot_row < count; ++column)
  {
    int best = pivot_row;
    for(int row = pivot_row + 1; row < count; ++row)
    {
      if(std::fabs(rows(row, column)) > std::fabs(rows(best, column)))
      {
        best = row;
      }
    }
    if(std::fabs(rows(best, column)) <= tolerance)
    {
      continue;
    }
    rows.row(pivot_row).swap(rows.row(best));
    rows.row(pivot_row) /= rows(pivot_row, column);
    for(int row = 0; row < count; ++row)
    {
      if(row != pivot_row)
      {
        rows.row(row) -= rows(row, column) * rows.row(pivot_row);
      }
    }
    ++pivot_row;
  }
  std::vector<VectorXd> result;
  for(int row = 0; row < pivot_row; ++row)
  {
    VectorXd vector = rows.row(row).transpose();
    // Rounding left in the other components is no part of the direction.
    const double largest = vector.cwiseAbs().maxCoeff();
    for(int column = 0; column < size; ++column)
    {
      if(std::fabs(vector(column)) < 1e-9 * largest)
      {
        vector(column) = 0.0;
      }
    }
    result.push_back(vector);
  }
  return result;
}
} // namespace Identify
