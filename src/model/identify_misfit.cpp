// When the model misses an error: which change of the model would explain the rest. Each
// candidate (a parameter the start leaves disabled, one degree more for an enabled function) is
// scored on the current fit by the drop in chi-squared it would give, a score test: the
// candidate's derivatives, less what the fitted directions and the alignment already take up,
// against the residuals. No candidate needs a fit of its own.

#include <algorithm>
#include <cmath>

#include "src/model/evaluation.h"
#include "src/model/identify_run.h"

namespace
{
using namespace Identify;

// More readings than this share beyond the outlier limit, or a larger chi-squared per degree of
// freedom, is more than noise: the model misses an error.
const double MISFIT_SHARE = 0.05;
const double MISFIT_CHI2 = 4.0;
const int SHOWN_SUGGESTIONS = 5;
// A candidate's derivative that the fitted columns take up to within this share adds nothing.
const double SEEN_SHARE = 1e-6;
// The standard normal quantile of the chance (1e-6) that noise alone gives a candidate's drop:
// tried on some twenty candidates, a model without a missing error is not suspected.
const double SIGNIFICANCE_Z = 4.753;

// The chi-squared quantile of that chance with k degrees of freedom (Wilson-Hilferty).
double Chi2_Quantile(int k)
{
  const double a = 2.0 / (9.0 * k);
  return k * std::pow(1.0 - a + SIGNIFICANCE_Z * std::sqrt(a), 3);
}

struct TCandidate
{
  QString label;
  std::vector<int> columns; // of the extended model
};

bool Is_Axis(int axis)
{
  return axis == AXIS_X || axis == AXIS_Y || axis == AXIS_Z;
}

QString Item_Label(int axis, int parameter)
{
  TMachineLibrary::TMapErrorItem item;
  item.axis = axis;
  item.parameter = parameter;
  return Evaluation::Item_Label(item);
}
} // namespace

namespace Identify
{
bool TRun::Beyond_Noise(const VectorXd& residuals) const
{
  int beyond = 0;
  int used = 0;
  for(int row = 0; row < residuals.size(); ++row)
  {
    if(d_weights(row) > 0.0)
    {
      ++used;
      beyond += std::fabs(residuals(row)) > d_options.outlier_limit ? 1 : 0;
    }
  }
  return beyond > MISFIT_SHARE * used || (std::isfinite(d_result.chi2_per_dof) && d_result.chi2_per_dof > MISFIT_CHI2);
}

bool TRun::Suggest(const VectorXd& residuals, double chi2, int freedom)
{
  bool significant = false;
  // Every parameter of the machine enabled, one degree more than the fit's.
  TMachineLibrary::TMachineItem extended = d_machine;
  for(TMachineLibrary::TMachineAxisItem& axis : extended.axes)
  {
    for(TMachineLibrary::TMachineParameterItem& parameter : axis.parameters)
    {
      if(!parameter.enabled)
      {
        parameter.enabled = true;
        parameter.expression = Is_Axis(axis.axis) ? QStringLiteral("0*L") : QStringLiteral("0");
      }
    }
  }
  const int degree = d_model->Functions().empty() ? std::min(std::max(d_options.degree, MINIMUM_DEGREE), MAXIMUM_DEGREE)
                                                  : d_model->Functions().front().degree;
  const bool more = degree < MAXIMUM_DEGREE;
  TModel model(Simulation::Machine_Record(extended), more ? degree + 1 : degree);
  // The sign options the fit turned are turned here too.
  for(const TFunction& function : d_model->Functions())
  {
    for(const TFunction& other : model.Functions())
    {
      if(other.item.axis == function.item.axis && other.item.parameter == function.item.parameter &&
         other.item.sign != function.item.sign)
      {
        model.Flip_Sign(other.first);
      }
    }
  }
  for(const auto& value : d_model->Values())
  {
    for(const auto& other : model.Values())
    {
      if(other.first.parameter == value.first.parameter && other.first.axis == value.first.axis &&
         other.first.sign != value.first.sign)
      {
        model.Flip_Sign(other.second);
      }
    }
  }
  const auto enabled = [this](int axis, int parameter)
  {
    return std::any_of(d_model->Unknowns().begin(), d_model->Unknowns().end(),
                       [&](const TUnknown& unknown) { return unknown.axis == axis && unknown.parameter == parameter; });
  };
  std::vector<TCandidate> candidates;
  const auto candidate = [&candidates](const QString& label) -> TCandidate&
  {
    auto found = std::find_if(candidates.begin(), candidates.end(),
                              [&label](const TCandidate& entry) { return entry.label == label; });
    if(found != candidates.end())
    {
      return *found;
    }
    candidates.push_back({label, {}});
    return candidates.back();
  };
  std::vector<int> columns;
  for(int index = 0; index < model.Size(); ++index)
  {
    const TUnknown& unknown = model.Unknowns()[index];
    const QString label = Item_Label(unknown.axis, unknown.parameter);
    if(!enabled(unknown.axis, unknown.parameter))
    {
      if(unknown.power <= degree)
      {
        candidate(QStringLiteral("Enable ") + label).columns.push_back(static_cast<int>(columns.size()));
        columns.push_back(index);
      }
    }
    else if(more && unknown.power == degree + 1)
    {
      candidate(QStringLiteral("Degree %1 for %2").arg(degree + 1).arg(label))
          .columns.push_back(static_cast<int>(columns.size()));
      columns.push_back(index);
    }
  }
  if(columns.empty())
  {
    return false;
  }
  // The derivatives about the machine without errors, as the fitted directions were decided.
  TPredictor predictor(model, d_used, d_observations);
  QString error;
  const TSimulate simulate = [&predictor, &error](const VectorXd& at, VectorXd* values)
  { return predictor.Predict(at, values, &error); };
  MatrixXd derivatives;
  if(!Machine_Columns(simulate, VectorXd::Zero(model.Size()), columns, static_cast<int>(d_observations.size()),
                      &derivatives))
  {
    return false;
  }
  derivatives = d_weights.asDiagonal() * derivatives;
  const MatrixXd design = d_problem->Weighted_Design();
  MatrixXd fitted;
  if(design.cols() > 0)
  {
    Eigen::ColPivHouseholderQR<MatrixXd> qr(design);
    fitted = MatrixXd(qr.householderQ()) * MatrixXd::Identity(design.rows(), static_cast<int>(qr.rank()));
  }
  std::vector<TSuggestion> suggestions;
  for(const TCandidate& entry : candidates)
  {
    MatrixXd block(derivatives.rows(), 0);
    for(const int column : entry.columns)
    {
      VectorXd z = derivatives.col(column);
      const double norm = z.norm();
      if(fitted.cols() > 0)
      {
        z -= fitted * (fitted.transpose() * z);
      }
      if(norm > 0.0 && z.norm() > SEEN_SHARE * norm)
      {
        block.conservativeResize(Eigen::NoChange, block.cols() + 1);
        block.rightCols(1) = z;
      }
    }
    if(block.cols() == 0)
    {
      continue;
    }
    Eigen::ColPivHouseholderQR<MatrixXd> qr(block);
    const int added = static_cast<int>(qr.rank());
    if(added == 0 || freedom - added <= 0)
    {
      continue;
    }
    const MatrixXd q = MatrixXd(qr.householderQ()) * MatrixXd::Identity(block.rows(), added);
    const double drop = (q.transpose() * residuals).squaredNorm();
    const double after = std::max(chi2 - drop, 0.0) / (freedom - added);
    suggestions.push_back({entry.label, after});
    // Judged against the scatter that would be left, so that understated uncertainties alone
    // make nothing significant.
    significant = significant || (after > 0.0 && drop / after > Chi2_Quantile(added));
  }
  std::stable_sort(suggestions.begin(), suggestions.end(),
                   [](const TSuggestion& a, const TSuggestion& b) { return a.chi2_per_dof < b.chi2_per_dof; });
  if(static_cast<int>(suggestions.size()) > SHOWN_SUGGESTIONS)
  {
    suggestions.resize(SHOWN_SUGGESTIONS);
  }
  d_result.suggestions = suggestions;
  return significant;
}
} // namespace Identify
