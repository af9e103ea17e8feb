// How a finished run becomes its result: statistics, parameters with their covariance, the
// alignment values, the outliers, the directions not identified, the bands and the machine.

#include <algorithm>
#include <cmath>
#include <limits>

#include "src/model/identify_directions.h"
#include "src/model/identify_report.h"
#include "src/model/identify_run.h"

namespace
{
const double NOT_A_NUMBER = std::numeric_limits<double>::quiet_NaN();
// A parameter that moves its function by less than this (µm, µrad) has not moved.
const double MOVED = 1e-6;
// Rounding of the weighted squares that does not make a fit worse.
const double WORSE_MARGIN = 1e-9;
} // namespace

namespace Identify
{
void TRun::List_Outliers(const VectorXd& residuals)
{
  const auto add = [this](int row, double normalized, bool rejected)
  {
    const TObservation& observation = d_observations[row];
    TOutlier outlier;
    outlier.file = d_sets[observation.set]->readings_file;
    outlier.line = observation.line;
    outlier.quantity = Quantity_Name(observation.quantity);
    outlier.value = observation.measured;
    outlier.residual = normalized * 1000.0 / d_stated(row);
    outlier.normalized_residual = normalized;
    outlier.rejected = rejected;
    d_result.outliers.push_back(outlier);
  };
  std::vector<int> listed;
  for(const auto& rejected : d_rejected)
  {
    // Once each, whatever the rounds of fitting that saw it.
    if(std::find(listed.begin(), listed.end(), rejected.first) == listed.end())
    {
      listed.push_back(rejected.first);
      add(rejected.first, rejected.second, true);
    }
  }
  std::vector<int> rows;
  for(int row = 0; row < residuals.size(); ++row)
  {
    if(d_weights(row) > 0.0 && std::fabs(residuals(row)) > d_options.outlier_limit)
    {
      rows.push_back(row);
    }
  }
  std::sort(rows.begin(), rows.end(),
            [&residuals](int a, int b) { return std::fabs(residuals(a)) > std::fabs(residuals(b)); });
  for(const int row : rows)
  {
    add(row, residuals(row), false);
  }
}

void TRun::List_Residuals(const VectorXd& residuals)
{
  // The same rows and the same u as the outliers and the RMS after the fit, so that the CSV
  // and the report agree.
  for(int row = 0; row < residuals.size(); ++row)
  {
    const TObservation& observation = d_observations[row];
    if(d_weights(row) == 0.0 || observation.set < 0)
    {
      continue;
    }
    TResidual residual;
    residual.file = d_sets[observation.set]->readings_file;
    residual.line = observation.line;
    residual.quantity = Quantity_Name(observation.quantity);
    residual.reading = observation.measured;
    residual.u = 1000.0 / d_stated(row);
    residual.normalized = residuals(row);
    residual.residual = residuals(row) * residual.u;
    d_result.residuals.push_back(residual);
  }
  std::stable_sort(d_result.residuals.begin(), d_result.residuals.end(),
                   [](const TResidual& a, const TResidual& b)
                   { return a.file != b.file ? a.file < b.file : a.line < b.line; });
}

void TRun::Build()
{
  const int n = d_model->Size();
  const int m = static_cast<int>(d_observations.size());
  d_result.converged = d_result.failure.isEmpty();
  d_result.iterations = d_state.iterations;
  d_result.rank = d_decision.rank;
  d_result.smallest_kept = d_decision.rank > 0 ? d_decision.identified_values.minCoeff() : NOT_A_NUMBER;
  d_result.largest_dropped =
      d_decision.unidentified_values.size() > 0 ? d_decision.unidentified_values.maxCoeff() : NOT_A_NUMBER;
  for(int index = 0; index < d_decision.identified_values.size(); ++index)
  {
    d_result.singular_values.push_back(d_decision.identified_values(index));
  }

  // Residuals per kind, before (the starting machine, no alignment) and after.
  const VectorXd before = Weighted_Residuals(d_before);
  const VectorXd after = d_problem->Residuals(d_state);
  d_result.kind_counts.assign(OBSERVATION_KINDS, 0);
  d_result.rms_before.assign(OBSERVATION_KINDS, 0.0);
  d_result.rms_after.assign(OBSERVATION_KINDS, 0.0);
  d_result.largest_before.assign(OBSERVATION_KINDS, 0.0);
  d_result.largest_after.assign(OBSERVATION_KINDS, 0.0);
  double chi2 = 0.0;
  double chi2_before = 0.0;
  for(int row = 0; row < m; ++row)
  {
    if(d_weights(row) == 0.0)
    {
      continue;
    }
    const int kind = d_observations[row].kind;
    const double unit = 1000.0 / d_weights(row); // µm or µrad per normalized unit
    ++d_result.kind_counts[kind];
    ++d_result.readings;
    d_result.rms_before[kind] += std::pow(before(row) * unit, 2);
    d_result.rms_after[kind] += std::pow(after(row) * unit, 2);
    d_result.largest_before[kind] = std::max(d_result.largest_before[kind], std::fabs(before(row) * unit));
    d_result.largest_after[kind] = std::max(d_result.largest_after[kind], std::fabs(after(row) * unit));
    chi2 += after(row) * after(row);
    chi2_before += before(row) * before(row);
  }
  for(int kind = 0; kind < OBSERVATION_KINDS; ++kind)
  {
    const int count = d_result.kind_counts[kind];
    d_result.rms_before[kind] = count > 0 ? std::sqrt(d_result.rms_before[kind] / count) : 0.0;
    d_result.rms_after[kind] = count > 0 ? std::sqrt(d_result.rms_after[kind] / count) : 0.0;
  }
  const int readings = std::max(d_result.readings, 1);
  d_result.normalized_rms_before = std::sqrt(chi2_before / readings);
  d_result.normalized_rms_after = std::sqrt(chi2 / readings);
  const int freedom = d_result.readings - d_decision.rank - d_problem->Alignment_Rank();
  d_result.chi2_per_dof = freedom > 0 ? chi2 / freedom : NOT_A_NUMBER;
  // Never more certain than the scatter of the readings allows; never less than stated.
  d_result.birge = freedom > 0 && chi2 / freedom > 1.0 ? std::sqrt(chi2 / freedom) : 1.0;
  List_Outliers(after);
  // A misfit shows in the residuals, or in one change of the model that explains far more of
  // them than noise could: the fit may have bent other errors to take up a missing one.
  if(d_result.converged)
  {
    const bool significant = Suggest(after, chi2, freedom);
    d_result.misfit = significant || Beyond_Noise(after);
    if(!d_result.misfit)
    {
      d_result.suggestions.clear();
    }
  }
  List_Residuals(after);

  // The parameters as monomial coefficients with their covariance.
  const MatrixXd monomials = d_model->Monomials();
  const VectorXd values = monomials * d_state.u;
  const VectorXd start_values = monomials * d_start;
  const VectorXd effects = d_model->Monomial_Effects();
  const double factor = d_result.birge * d_result.birge;
  const MatrixXd covariance = d_result.converged ? MatrixXd(factor * monomials * d_covariance * monomials.transpose())
                                                 : MatrixXd(MatrixXd::Zero(n, n));
  std::vector<int> identified;
  for(int index = 0; index < n; ++index)
  {
    TParameter parameter;
    parameter.label = d_result.unknown_names[index];
    parameter.key = d_result.unknown_keys[static_cast<std::size_t>(index)];
    parameter.value = values(index);
    parameter.identified = d_result.converged && d_decision.parameter_identified[index];
    parameter.u = parameter.identified ? std::sqrt(std::max(covariance(index, index), 0.0)) : NOT_A_NUMBER;
    parameter.moved = d_result.converged && !parameter.identified &&
                      std::fabs(values(index) - start_values(index)) * effects(index) > MOVED;
    if(parameter.identified)
    {
      identified.push_back(index);
    }
    d_result.parameters.push_back(parameter);
  }
  for(const int i : identified)
  {
    d_result.covariance_labels.push_back(d_result.unknown_names[i]);
    d_result.covariance_keys.push_back(d_result.unknown_keys[static_cast<std::size_t>(i)]);
    for(const int j : identified)
    {
      d_result.covariance.push_back(covariance(i, j));
    }
  }
  Build_Alignment();
  Build_Directions();
  Build_Bands(factor);
  if(!d_result.converged)
  {
    d_result.status = TStatus::NOT_CONVERGED;
    return;
  }
  if(d_decision.rank == 0)
  {
    d_result.status = TStatus::NOT_IDENTIFIED;
    return;
  }
  // Never better on paper than in fact: a fit that explains the readings worse than the start
  // (outside the directions it moved, or by a step control that gave way) is no result.
  if(chi2 > chi2_before * (1.0 + WORSE_MARGIN) + WORSE_MARGIN)
  {
    d_result.status = TStatus::WORSE;
    return;
  }
  d_result.none_alone = std::none_of(d_result.parameters.begin(), d_result.parameters.end(),
                                     [](const TParameter& parameter) { return parameter.identified; });
  Build_Machine(values, covariance);
  d_result.status = TStatus::FITTED;
  d_result.verdict = d_decision.rank == n ? TVerdict::IDENTIFIED : TVerdict::PARTLY_IDENTIFIED;
}

void TRun::Build_Alignment()
{
  for(int index = 0; index < d_result.alignment_unknowns; ++index)
  {
    // The set's first observation names its file and record.
    const int key = d_alignment_sets[index];
    const Measured::TSet* set = key < static_cast<int>(d_sets.size()) ? d_sets[key] : nullptr;
    TAlignmentValue value;
    value.file = set ? set->readings_file : QString();
    for(const TObservation& observation : d_observations)
    {
      if(observation.set == key)
      {
        value.measurement = d_used[observation.measurement]->d_name;
        break;
      }
    }
    value.name = d_alignment_names[index];
    const bool slope = value.name.endsWith(QLatin1String("slope"));
    // Offsets and radius zeros in µm, slopes in mm/m.
    const double scale = slope ? 1.0 : 1000.0;
    value.value = d_state.alignment(index) * scale;
    const double variance = index < d_alignment_covariance.rows() ? d_alignment_covariance(index, index) : 0.0;
    value.u = d_result.birge * std::sqrt(std::max(variance, 0.0)) * scale;
    value.unit = slope ? QStringLiteral("mm/m") : QString::fromUtf8("µm");
    d_result.alignment.push_back(value);
  }
}

void TRun::Build_Directions()
{
  d_result.directions = Null_Directions(*d_model, d_decision, &d_result.null_directions);
}

void TRun::Build_Bands(double factor)
{
  for(const TFunction& function : d_model->Functions())
  {
    TFunctionBand band;
    band.axis = function.item.axis;
    band.parameter = function.item.parameter;
    bool identified = d_result.converged;
    for(int k = 0; k < function.degree; ++k)
    {
      identified = identified && d_decision.parameter_identified[function.first + k];
    }
    const MatrixXd covariance =
        identified
            ? MatrixXd(factor * d_covariance.block(function.first, function.first, function.degree, function.degree))
            : MatrixXd();
    for(std::size_t index = 0; index < function.positions.size(); ++index)
    {
      const double position = function.positions[index];
      const VectorXd basis = d_model->Basis(function, position / 1000.0);
      band.positions.push_back(position);
      band.values.push_back(d_model->Function_Value(function, static_cast<int>(index), d_state.u));
      if(identified)
      {
        band.u.push_back(std::sqrt(std::max(basis.dot(covariance * basis), 0.0)));
      }
    }
    for(int quarter = 0; quarter <= 4; ++quarter)
    {
      const double position = function.start + quarter * (function.end - function.start) / 4.0;
      const VectorXd basis = d_model->Basis(function, position / 1000.0);
      band.printed_positions.push_back(position);
      band.printed_values.push_back(d_model->Function_Value_At(function, position, d_state.u));
      if(identified)
      {
        band.printed_u.push_back(std::sqrt(std::max(basis.dot(covariance * basis), 0.0)));
      }
    }
    d_result.bands.push_back(band);
  }
}

void TRun::Build_Machine(const VectorXd& values, const MatrixXd& covariance)
{
  // The identified machine: the record with the fitted texts in its enabled parameters.
  TMachineLibrary::TMachineItem identified = d_machine;
  identified.id = -1;
  identified.name =
      d_options.identified_name.isEmpty() ? d_machine.name + QStringLiteral(" identified") : d_options.identified_name;
  for(TMachineLibrary::TMachineAxisItem& axis : identified.axes)
  {
    for(TMachineLibrary::TMachineParameterItem& parameter : axis.parameters)
    {
      if(!parameter.enabled)
      {
        continue;
      }
      const int sign = parameter.option_state == 0 ? 1 : -1;
      for(const TFunction& function : d_model->Functions())
      {
        if(function.item.axis == axis.axis && function.item.parameter == parameter.parameter)
        {
          parameter.expression = d_model->Function_Text(function, d_state.u);
          if(function.item.sign != sign)
          {
            parameter.option_state = parameter.option_state == 0 ? 1 : 0;
          }
        }
      }
      for(const auto& value : d_model->Values())
      {
        if(value.first.axis == axis.axis && value.first.parameter == parameter.parameter)
        {
          parameter.expression = Value_Text(values(value.second));
          if(value.first.sign != sign)
          {
            parameter.option_state = parameter.option_state == 0 ? 1 : 0;
          }
        }
      }
    }
  }
  // Every parameter with its covariance; one the readings did not determine has an infinite
  // variance, so that whatever depends on it is known not to be known.
  const int n = d_model->Size();
  identified.covariance_labels = d_result.unknown_names;
  identified.covariance.assign(static_cast<std::size_t>(n) * n, 0.0);
  for(int i = 0; i < n; ++i)
  {
    for(int j = 0; j < n; ++j)
    {
      const bool both = d_result.parameters[i].identified && d_result.parameters[j].identified;
      identified.covariance[static_cast<std::size_t>(i) * n + j] =
          both ? covariance(i, j) : (i == j ? std::numeric_limits<double>::infinity() : 0.0);
    }
  }
  d_result.machine = identified;
}
} // namespace Identify
