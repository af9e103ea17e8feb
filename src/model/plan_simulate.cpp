// The planner's candidates: the machine set up, the values whose uncertainty it follows, and the
// rows that each candidate adds to the design, simulated once.

#include <algorithm>
#include <memory>

#include "src/model/evaluation.h"
#include "src/model/identify_report.h"
#include "src/model/plan_planner.h"
#include "src/model/plotseries.h"

namespace
{
// The function values whose uncertainty is compared: at these shares of the travel.
const double TRAVEL_SHARES[] = {0.0, 0.25, 0.5, 0.75, 1.0};
} // namespace

namespace Plan
{
bool TPlanner::Setup_Machine()
{
  const Simulation::TMachineRecord record = Simulation::Machine_Record(d_machine);
  QStringList errors;
  if(!Simulation::Setup_Machine_Comp(record, &d_start_machine, &errors))
  {
    d_result.status = Plan::TStatus::NO_MACHINE;
    d_result.failure = errors.isEmpty() ? QStringLiteral("Its geometry is not valid.") : errors.join(QLatin1Char(' '));
    d_result.report.push_back(QStringLiteral("The machine cannot be set up:"));
    for(const QString& line : errors.isEmpty() ? QStringList{d_result.failure} : errors)
    {
      d_result.report.push_back(QStringLiteral("  ") + line);
    }
    return false;
  }
  const int degree = std::min(std::max(d_options.identify.degree, Identify::MINIMUM_DEGREE), Identify::MAXIMUM_DEGREE);
  d_model = std::make_unique<Identify::TModel>(record, degree);
  d_result.unknowns = d_model->Size();
  d_result.unknown_names = d_model->Names();
  Quantities();
  return true;
}

void TPlanner::Quantities()
{
  for(const Identify::TFunction& function : d_model->Functions())
  {
    Evaluation::TErrorItem item;
    item.axis = function.item.axis;
    item.parameter = function.item.parameter;
    const QString name = Evaluation::Item_Label(item);
    const QString unit =
        function.item.parameter == PARAMETER_SCALE ? QString::fromUtf8("µm") : QString::fromUtf8("µrad");
    for(const double share : TRAVEL_SHARES)
    {
      TQuantity quantity;
      for(int k = 0; k < function.degree; ++k)
      {
        quantity.unknowns.push_back(function.first + k);
      }
      const double position = function.start + share * (function.end - function.start);
      // Basis coefficients are in mm or mm/m.
      quantity.basis = 1000.0 * d_model->Basis(function, position / 1000.0);
      quantity.name = name;
      quantity.unit = unit;
      d_quantities.push_back(quantity);
    }
  }
  for(const auto& value : d_model->Values())
  {
    Evaluation::TErrorItem item;
    item.axis = value.first.axis;
    item.parameter = value.first.parameter;
    TQuantity quantity;
    quantity.unknowns.push_back(value.second);
    quantity.basis = VectorXd::Constant(1, d_model->Unknowns()[value.second].effect);
    quantity.name = Evaluation::Item_Label(item);
    quantity.unit = value.first.parameter == PARAMETER_DEFLECTION ? QString::fromUtf8("µm") : QString::fromUtf8("µrad");
    d_quantities.push_back(quantity);
  }
}

bool TPlanner::Simulate(const std::vector<const TMeasurement*>& library, const std::vector<int>& candidates)
{
  const int n = d_model->Size();
  // The records, evaluated in library order as identification and the export evaluate them.
  const Simulation::TPreparedRecords prepared = Simulation::Prepare_Records(d_start_machine, library);
  const std::vector<std::unique_ptr<TMeasurement>>& records = prepared.copies;

  std::vector<TMeasurement*> used;
  std::vector<Identify::TObservation> observations;
  std::vector<int> first_row;
  for(const int index : candidates)
  {
    TMeasurement* measurement = records[index].get();
    const std::size_t at = static_cast<std::size_t>(index);
    const bool evaluated = prepared.lines[at].isEmpty();
    QString message;
    if(!evaluated || !Simulation::Simulate_One(d_start_machine, measurement, &message))
    {
      d_result.status = Plan::TStatus::FAILED;
      d_result.failure =
          evaluated ? QStringLiteral("%1: %2").arg(measurement->d_name, message) : prepared.lines[at].front();
      const QString reason = evaluated ? message : prepared.messages[at].front();
      d_result.report.push_back(QStringLiteral("The candidate \"%1\" cannot be simulated: %2")
                                    .arg(Identify::Report_Cut(measurement->d_name), Identify::Report_Cut(reason)));
      return false;
    }
    const std::vector<Identify::TObservation> own = Identify::Record_Observations(*measurement, int(used.size()));
    first_row.push_back(static_cast<int>(observations.size()));
    observations.insert(observations.end(), own.begin(), own.end());
    used.push_back(measurement);
    d_names.push_back(measurement->d_name);
    d_kinds.push_back(Plot_Series::Kind_Name(measurement->Type()));
    d_readings.push_back(static_cast<int>(own.size()));
    // A laser row holds six readings (scale and two straightness values, three angles).
    d_file_rows.push_back(static_cast<int>(own.size()) / (measurement->Type() == Types::MEASUREMENT_LASER ? 6 : 1));
  }
  first_row.push_back(static_cast<int>(observations.size()));

  // Every candidate through the machine without errors at once, then the rows of each.
  d_total_work = 2 * n + static_cast<int>(candidates.size()) + 1;
  Identify::TPredictor predictor(*d_model, used, observations);
  QString error;
  const auto simulate = [&](const VectorXd& at, VectorXd* values)
  {
    ++d_work;
    return Tick() && predictor.Predict(at, values, &error);
  };
  MatrixXd jacobian;
  if(!Identify::Machine_Jacobian(simulate, VectorXd::Zero(n), static_cast<int>(observations.size()), &jacobian))
  {
    if(d_result.status == Plan::TStatus::CANCELLED)
    {
      d_result.report.push_back(QStringLiteral("Cancelled."));
      return false;
    }
    d_result.status = Plan::TStatus::FAILED;
    const QString alone = Failing_Candidate(used, observations, first_row);
    d_result.failure = alone.isEmpty() ? error : alone;
    d_result.report.push_back(QStringLiteral("The simulation failed: %1").arg(Identify::Report_Cut(d_result.failure)));
    return false;
  }
  Add_Candidate_Rows(observations, first_row, jacobian);
  return true;
}

QString TPlanner::Failing_Candidate(const std::vector<TMeasurement*>& used,
                                    const std::vector<Identify::TObservation>& observations,
                                    const std::vector<int>& first_row) const
{
  for(std::size_t index = 0; index < used.size(); ++index)
  {
    std::vector<Identify::TObservation> own(observations.begin() + first_row[index],
                                            observations.begin() + first_row[index + 1]);
    for(Identify::TObservation& observation : own)
    {
      observation.measurement = 0;
    }
    Identify::TPredictor alone(*d_model, {used[index]}, own);
    VectorXd values;
    QString reason;
    if(!alone.Predict(VectorXd::Zero(d_model->Size()), &values, &reason))
    {
      return used[index]->d_name + QStringLiteral(": ") + reason;
    }
  }
  return QString();
}

void TPlanner::Add_Candidate_Rows(const std::vector<Identify::TObservation>& observations,
                                  const std::vector<int>& first_row, const MatrixXd& jacobian)
{
  const VectorXd weights = Identify::Weights(observations, d_options.identify);
  for(std::size_t index = 0; index + 1 < first_row.size(); ++index)
  {
    const int begin = first_row[index];
    const int count = first_row[index + 1] - begin;
    MatrixXd rows = weights.segment(begin, count).asDiagonal() * jacobian.middleRows(begin, count);
    if(!d_options.identify.absolute_straightness && count > 0)
    {
      // A candidate's alignment unknowns act on its own readings only, so they are taken out
      // candidate by candidate as identification takes them out of the whole design.
      std::vector<Identify::TObservation> own(observations.begin() + begin, observations.begin() + begin + count);
      QStringList names;
      std::vector<int> sets;
      const int alignment = Identify::Number_Alignment(&own, &names, &sets);
      if(alignment > 0)
      {
        const MatrixXd weighted =
            weights.segment(begin, count).asDiagonal() * Identify::Alignment_Jacobian(own, alignment);
        Eigen::ColPivHouseholderQR<MatrixXd> qr(weighted);
        const int rank = static_cast<int>(qr.rank());
        if(rank > 0)
        {
          const MatrixXd q = qr.householderQ() * MatrixXd::Identity(count, rank);
          rows -= q * (q.transpose() * rows);
        }
      }
    }
    d_rows.push_back(Compact(rows));
    d_duplicate_of.push_back(-1);
    for(std::size_t other = 0; other < index; ++other)
    {
      if(d_duplicate_of[other] < 0 && d_rows[other].rows() == d_rows.back().rows() && d_rows[other] == d_rows.back())
      {
        d_duplicate_of.back() = static_cast<int>(other);
        break;
      }
    }
  }
}
} // namespace Plan
