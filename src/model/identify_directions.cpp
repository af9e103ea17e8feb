// The unidentified directions of a rank decision, with their terms and hints.

#include "src/model/identify_directions.h"

#include <algorithm>
#include <cmath>

#include "src/model/identify_report.h"

namespace Identify
{
std::vector<TNullDirection> Null_Directions(const TModel& model, const TRankDecision& decision,
                                            std::vector<std::vector<double>>* vectors)
{
  const int n = model.Size();
  const QStringList names = model.Names();
  const MatrixXd monomials = model.Monomials();
  const VectorXd effects = model.Monomial_Effects();
  std::vector<VectorXd> structural;
  std::vector<VectorXd> below;
  for(int index = 0; index < decision.unidentified.cols(); ++index)
  {
    VectorXd in_u = decision.unidentified.col(index);
    for(int j = 0; j < n; ++j)
    {
      in_u(j) /= model.Unknowns()[j].effect;
    }
    const VectorXd scaled = (monomials * in_u).cwiseProduct(effects);
    (decision.structural[index] ? structural : below).push_back(scaled);
  }
  std::vector<VectorXd> directions = Echelon(structural);
  const std::size_t structural_count = directions.size();
  directions.insert(directions.end(), below.begin(), below.end());
  std::vector<TNullDirection> result;
  for(std::size_t index = 0; index < directions.size(); ++index)
  {
    VectorXd scaled = directions[index];
    const double largest = scaled.cwiseAbs().maxCoeff();
    if(!(largest > 0.0))
    {
      continue;
    }
    scaled /= largest;
    VectorXd coefficients = scaled.cwiseQuotient(effects);
    TNullDirection direction;
    direction.structural = index < structural_count;
    std::vector<int> order;
    const double norm = scaled.norm();
    for(int j = 0; j < n; ++j)
    {
      if(std::pow(scaled(j) / norm, 2) >= 1e-6)
      {
        order.push_back(j);
      }
    }
    std::sort(order.begin(), order.end(),
              [&scaled](int a, int b) { return std::fabs(scaled(a)) > std::fabs(scaled(b)); });
    // The leading term with the coefficient 1, as a reader writes such a relation.
    coefficients /= std::fabs(coefficients(order.front()));
    for(const int j : order)
    {
      direction.terms.emplace_back(names[j], coefficients(j));
    }
    // The direction itself has every term, however small: the text may leave those out, a
    // direction written from the vector must change no reading.
    std::vector<int> every;
    for(int j = 0; j < n; ++j)
    {
      if(coefficients(j) != 0.0)
      {
        every.push_back(j);
      }
    }
    std::stable_sort(every.begin(), every.end(),
                     [&scaled](int a, int b) { return std::fabs(scaled(a)) > std::fabs(scaled(b)); });
    std::vector<double> vector(n, 0.0);
    for(const int j : every)
    {
      direction.all_terms.emplace_back(names[j], coefficients(j));
      vector[j] = coefficients(j);
    }
    direction.hint = Direction_Hint(order, model);
    if(vectors)
    {
      const double vector_largest = coefficients.cwiseAbs().maxCoeff();
      for(double& value : vector)
      {
        value /= vector_largest;
      }
      vectors->push_back(vector);
    }
    result.push_back(direction);
  }
  return result;
}
} // namespace Identify
