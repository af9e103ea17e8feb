// The identification: matching measured sets with their records, the model of the unknowns,
// the Jacobian, the Gauss-Newton iteration with the truncated SVD, and the report.

#include "src/model/identify.h"

#include <Eigen/Dense>

#include <QHash>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "core/expression.h"
#include "core/varlume_assert.h"
#include "src/model/evaluation.h"
#include "src/model/export.h"
#include "src/model/simulation.h"

namespace
{
using Eigen::MatrixXd;
using Eigen::VectorXd;
using TItem = TMeasurement::TMeasurementItem;

// Nominal data in the files are written with 4 or 5 decimals.
const double NOMINAL_TOLERANCE = 1e-3;
// Sphere centres and gauge points are actual positions: they lie near the nominal ones.
const double ACTUAL_TOLERANCE = 1.0;
// An unknown whose column is below this share of the largest is not seen at all.
const double COLUMN_NORM_RULE = 1e-12;
// Steps of the derivatives, in the internal units (the function's value at the end of the
// travel, mm/m or mm): small enough that the fourth-order remainder of the extrapolated central
// difference stays below 1e-12, large enough that the rounding of the simulated positions
// (1e-13 mm) is as small. The column rule takes a far larger step: an unknown that the tests
// do not see gives exactly constant offsets, whatever the step, while the rounding noise
// shrinks with it.
const double DERIVATIVE_STEP = 0.1;
const double COLUMN_RULE_STEP = 10.0;
const double CONVERGENCE = 1e-7;
const int MAXIMUM_ITERATIONS = 20;
const double CORRELATION_LIMIT = 0.9;
// Components of a null direction below this share of its largest are left out of its text.
const double DIRECTION_COMPONENT = 1e-6;

enum TQuantity
{
  QUANTITY_BALLBAR,
  QUANTITY_LINE_LENGTH,
  QUANTITY_XX,
  QUANTITY_YY,
  QUANTITY_RA,
  QUANTITY_RB,
  QUANTITY_RC,
  QUANTITY_MCG
};

struct TObservation
{
  int measurement = 0; // index into the simulated records
  int item = 0;        // result row of that record
  int quantity = QUANTITY_BALLBAR;
  int kind = Identify::OBSERVATION_BALLBAR;
  double measured = 0.0;
};

// One unknown of the fit.
struct TUnknown
{
  int axis = 0;
  int parameter = 0;
  int power = 0;       // of L; 0 for a squareness or deflection value
  double extent = 1.0; // the internal unknown is c * extent^power (metres)
};

// An axis function and its unknowns.
struct TFunction
{
  TMachineLibrary::TMapErrorItem item;
  int first = 0;
  double extent = 1.0;
  double start = 0.0;
  double end = 0.0;
  std::vector<double> positions;
};

QString Unknown_Name(const TUnknown& unknown)
{
  TMachineLibrary::TMapErrorItem item;
  item.axis = unknown.axis;
  item.parameter = unknown.parameter;
  const QString name = Evaluation::Item_Label(item);
  return unknown.power > 0 ? name + QStringLiteral(" c%1").arg(unknown.power) : name;
}

bool Is_Function(const TMachineLibrary::TMapErrorItem& item)
{
  return (item.axis == AXIS_X || item.axis == AXIS_Y || item.axis == AXIS_Z) &&
         (item.parameter == PARAMETER_RX || item.parameter == PARAMETER_RY || item.parameter == PARAMETER_RZ ||
          item.parameter == PARAMETER_SCALE);
}

bool Is_Value(const TMachineLibrary::TMapErrorItem& item)
{
  return (item.axis == AXIS_D && item.parameter == PARAMETER_DEFLECTION) ||
         (item.axis == AXIS_SQUARENESS &&
          (item.parameter == PARAMETER_QXY || item.parameter == PARAMETER_QYZ || item.parameter == PARAMETER_QZX));
}

Types::TMeasurementType Record_Type(Measured::TKind kind)
{
  switch(kind)
  {
  case Measured::TKind::BALLBAR:
    return Types::MEASUREMENT_BALLBAR;
  case Measured::TKind::ISO:
    return Types::MEASUREMENT_ISO;
  case Measured::TKind::LASER:
    return Types::MEASUREMENT_LASER;
  case Measured::TKind::MCG:
    return Types::MEASUREMENT_MCG;
  }
  return Types::MEASUREMENT_BALLBAR;
}

double Distance(const TVector3& a, const TVector3& b)
{
  const TVector3 difference = a - b;
  return std::sqrt(difference ^ difference);
}

// The record that a measured set belongs to: the same name, or the name as the export writes
// it into a ball bar row (control characters replaced, Latin-1) or a file name, where a name
// that an earlier measurement's file already took carries a number from 2 on.
int Find_Record(const std::vector<std::unique_ptr<TMeasurement>>& records, const Measured::TSet& set)
{
  for(std::size_t index = 0; index < records.size(); ++index)
  {
    if(records[index]->d_name == set.name)
    {
      return static_cast<int>(index);
    }
  }
  const auto written = [&set](const TMeasurement& record)
  {
    return set.kind == Measured::TKind::BALLBAR ? QString::fromLatin1(Export::Row_Name(record.d_name).toLatin1())
                                                : Export::Safe_File_Name(record.d_name);
  };
  for(std::size_t index = 0; index < records.size(); ++index)
  {
    if(written(*records[index]) == set.name)
    {
      return static_cast<int>(index);
    }
  }
  const int blank = set.name.lastIndexOf(QLatin1Char(' '));
  bool numbered = false;
  const int number = blank > 0 ? set.name.mid(blank + 1).toInt(&numbered) : 0;
  if(set.kind != Measured::TKind::BALLBAR && numbered && number >= 2)
  {
    const QString base = set.name.left(blank);
    int count = 0;
    for(std::size_t index = 0; index < records.size(); ++index)
    {
      if(written(*records[index]) == base && ++count == number)
      {
        return static_cast<int>(index);
      }
    }
  }
  return -1;
}

// Checks the measured rows against the record's expansion and adds the observations; the
// reason when they do not match.
QString Add_Observations(const Measured::TSet& set, const TMeasurement& record, int measurement,
                         std::vector<TObservation>* observations)
{
  const std::vector<TItem>& items = record.d_measurement_items;
  if(items.empty())
  {
    return QStringLiteral("the measurement '%1' expands into no rows").arg(record.d_name);
  }
  if(Distance(set.probe, record.d_probe_offset) > NOMINAL_TOLERANCE)
  {
    return QStringLiteral("probe offset differs from the measurement '%1'").arg(record.d_name);
  }
  const std::size_t count = items.size();
  const auto add = [&](int item, int quantity, int kind, double measured) {
    observations->push_back(TObservation{measurement, item, quantity, kind, measured});
  };
  const auto rows_differ = [&](std::size_t expected)
  {
    return QStringLiteral("%1 rows, the measurement '%2' has %3")
        .arg(set.readings.size())
        .arg(record.d_name)
        .arg(expected);
  };
  const QString nominal_differs = QStringLiteral("rows do not match the nominal points of the measurement '%1'");

  std::vector<TObservation> added;
  switch(set.kind)
  {
  case Measured::TKind::BALLBAR:
  {
    const Measured::TReading& reading = set.readings.front();
    if(set.readings.size() != 1)
    {
      return rows_differ(1);
    }
    if(Distance(reading.target, items[0].reference_nominal + record.d_probe_offset) > ACTUAL_TOLERANCE ||
       Distance(reading.second, items[0].point_nominal + record.d_probe_offset) > ACTUAL_TOLERANCE)
    {
      return nominal_differs.arg(record.d_name);
    }
    add(0, QUANTITY_BALLBAR, Identify::OBSERVATION_BALLBAR, reading.values[0]);
    return QString();
  }
  case Measured::TKind::LASER:
  {
    // Out over the targets and back.
    if(set.readings.size() != 2 * count)
    {
      return rows_differ(2 * count);
    }
    for(std::size_t index = 0; index < set.readings.size(); ++index)
    {
      const Measured::TReading& reading = set.readings[index];
      const bool forward = index < count;
      const int item = static_cast<int>(forward ? index : 2 * count - 1 - index);
      if(reading.forward != forward ||
         Distance(reading.target, items[item].point_nominal + record.d_probe_offset) > NOMINAL_TOLERANCE)
      {
        return nominal_differs.arg(record.d_name);
      }
    }
    for(std::size_t index = 0; index < set.readings.size(); ++index)
    {
      const Measured::TReading& reading = set.readings[index];
      const int item = static_cast<int>(index < count ? index : 2 * count - 1 - index);
      add(item, QUANTITY_LINE_LENGTH, Identify::OBSERVATION_LASER_LENGTH, reading.values[0]);
      add(item, QUANTITY_XX, Identify::OBSERVATION_LASER_STRAIGHTNESS, reading.values[1]);
      add(item, QUANTITY_YY, Identify::OBSERVATION_LASER_STRAIGHTNESS, reading.values[2]);
      add(item, QUANTITY_RA, Identify::OBSERVATION_LASER_ANGLE, reading.values[3]);
      add(item, QUANTITY_RB, Identify::OBSERVATION_LASER_ANGLE, reading.values[4]);
      add(item, QUANTITY_RC, Identify::OBSERVATION_LASER_ANGLE, reading.values[5]);
    }
    return QString();
  }
  case Measured::TKind::ISO:
  {
    // Every length measured three times.
    const std::size_t repetitions = 3;
    if(set.readings.size() != repetitions * count)
    {
      return rows_differ(repetitions * count);
    }
    const TVector3 direction = items[0].axis_nominal;
    const double base = items[0].reference_nominal ^ direction;
    for(std::size_t index = 0; index < set.readings.size(); ++index)
    {
      const Measured::TReading& reading = set.readings[index];
      const std::size_t item = index / repetitions;
      const double nominal = (items[item].point_nominal ^ direction) - base;
      if(reading.point != static_cast<int>(item) + 1 || std::fabs(reading.target.x - nominal) > NOMINAL_TOLERANCE)
      {
        return nominal_differs.arg(record.d_name);
      }
    }
    for(std::size_t index = 0; index < set.readings.size(); ++index)
    {
      add(static_cast<int>(index / repetitions), QUANTITY_LINE_LENGTH, Identify::OBSERVATION_ISO,
          set.readings[index].values[0]);
    }
    return QString();
  }
  case Measured::TKind::MCG:
  {
    if(set.readings.size() != count)
    {
      return rows_differ(count);
    }
    const TVector3 centre = items[0].reference_nominal;
    if(Distance(set.pivot, centre + record.d_probe_offset) > NOMINAL_TOLERANCE)
    {
      return nominal_differs.arg(record.d_name);
    }
    for(std::size_t index = 0; index < count; ++index)
    {
      if(Distance(set.readings[index].target, items[index].point_nominal - centre) > ACTUAL_TOLERANCE)
      {
        return nominal_differs.arg(record.d_name);
      }
    }
    // The gauge reports the arm end from the nominal pivot: its length is what is compared.
    for(std::size_t index = 0; index < count; ++index)
    {
      const TVector3& point = set.readings[index].target;
      add(static_cast<int>(index), QUANTITY_MCG, Identify::OBSERVATION_MCG, std::sqrt(point ^ point));
    }
    return QString();
  }
  }
  return QString();
}

// The machine as a function of the internal unknowns.
class TModel
{
public:
  TModel(const Simulation::TMachineRecord& record, int degree) : d_record(record)
  {
    Simulation::Init_Parameters(record, &d_init);
    const int chain[3] = {d_init.first_axis, d_init.second_axis, d_init.third_axis};
    const double starts[3] = {d_init.first_axis_start, d_init.second_axis_start, d_init.third_axis_start};
    const double ends[3] = {d_init.first_axis_end, d_init.second_axis_end, d_init.third_axis_end};

    // One set of unknowns per axis and parameter; a parameter listed twice takes its last
    // entry, as the set-up does.
    QHash<int, int> keys;
    for(std::size_t index = 0; index < record.error_items.size(); ++index)
    {
      const TMachineLibrary::TMapErrorItem& item = record.error_items[index];
      if(Is_Function(item) || Is_Value(item))
      {
        keys[item.axis * 0x100000 + item.parameter] = static_cast<int>(index);
      }
    }
    for(std::size_t index = 0; index < record.error_items.size(); ++index)
    {
      const TMachineLibrary::TMapErrorItem& item = record.error_items[index];
      const auto key = keys.find(item.axis * 0x100000 + item.parameter);
      if(key == keys.end() || key.value() != static_cast<int>(index))
      {
        if(!Is_Function(item) && !Is_Value(item))
        {
          d_others.push_back(item);
        }
        continue;
      }
      if(Is_Value(item))
      {
        d_values.push_back({item, static_cast<int>(d_unknowns.size())});
        TUnknown unknown;
        unknown.axis = item.axis;
        unknown.parameter = item.parameter;
        d_unknowns.push_back(unknown);
        continue;
      }
      TFunction function;
      function.item = item;
      function.first = static_cast<int>(d_unknowns.size());
      for(int k = 0; k < 3; ++k)
      {
        if(chain[k] == item.axis)
        {
          function.start = starts[k];
          function.end = ends[k];
        }
      }
      // The positions of the error table, accumulated as the table does it.
      const double step = (function.end - function.start) / 50.0;
      double position = function.start;
      for(int i = 0; i <= 50; ++i)
      {
        function.positions.push_back(position);
        position += step;
      }
      const double extent = std::max(std::fabs(function.start), std::fabs(function.end)) / 1000.0;
      function.extent = extent > 0.0 ? extent : 1.0;
      for(int power = 1; power <= degree; ++power)
      {
        TUnknown unknown;
        unknown.axis = item.axis;
        unknown.parameter = item.parameter;
        unknown.power = power;
        unknown.extent = function.extent;
        d_unknowns.push_back(unknown);
      }
      d_functions.push_back(function);
    }
  }

  int Size() const { return static_cast<int>(d_unknowns.size()); }
  const std::vector<TUnknown>& Unknowns() const { return d_unknowns; }
  const std::vector<TFunction>& Functions() const { return d_functions; }

  // The internal unknowns of the record's own parameters: each function's least-squares
  // polynomial over the table positions (exact for such a polynomial); false when an
  // expression does not evaluate.
  bool Start(VectorXd* u) const
  {
    *u = VectorXd::Zero(Size());
    for(const auto& value : d_values)
    {
      (*u)(value.second) = value.first.value;
    }
    for(const TFunction& function : d_functions)
    {
      const int degree = Degree(function);
      const int rows = static_cast<int>(function.positions.size());
      MatrixXd basis(rows, degree);
      VectorXd values(rows);
      TExpression expression;
      for(int i = 0; i < rows; ++i)
      {
        expression.Add_Variable(QStringLiteral("L"), function.positions[i] / 1000.0);
        bool ok = false;
        values(i) = expression.Evaluate(function.item.expression, &ok);
        if(!ok || !std::isfinite(values(i)))
        {
          return false;
        }
        for(int k = 0; k < degree; ++k)
        {
          basis(i, k) = std::pow(function.positions[i] / 1000.0 / function.extent, k + 1);
        }
      }
      u->segment(function.first, degree) = basis.colPivHouseholderQr().solve(values);
    }
    return true;
  }

  // Sets machine up with the unknowns u; false with the model's message when it fails.
  bool Setup(const VectorXd& u, TMachineComp* machine, QString* error) const
  {
    if(!machine->Initialize_Begin(d_init))
    {
      *error = machine->Last_Error();
      return false;
    }
    bool result = true;
    for(const TFunction& function : d_functions)
    {
      TMachineAxisValues values;
      values.expression = Function_Text(function, u);
      values.axis_start = function.start;
      values.axis_end = function.end;
      values.values.reserve(function.positions.size());
      const int degree = Degree(function);
      for(const double position : function.positions)
      {
        const double l = position / 1000.0 / function.extent;
        double power = 1.0;
        double value = 0.0;
        for(int k = 0; k < degree; ++k)
        {
          power *= l;
          value += u(function.first + k) * power;
        }
        values.values.push_back(value);
      }
      const TMachineLibrary::TMapErrorItem& item = function.item;
      bool ok = true;
      switch(item.parameter)
      {
      case PARAMETER_RX:
        ok = machine->Set_Rx(item.axis, values, item.sign);
        break;
      case PARAMETER_RY:
        ok = machine->Set_Ry(item.axis, values, item.sign);
        break;
      case PARAMETER_RZ:
        ok = machine->Set_Rz(item.axis, values, item.sign);
        break;
      default:
        ok = machine->Set_Scale(item.axis, values, item.sign);
        break;
      }
      result = result && ok;
    }
    for(const auto& value : d_values)
    {
      TMachineLibrary::TMapErrorItem item = value.first;
      item.value = u(value.second);
      result = Simulation::Apply_Error_Item(machine, item) && result;
    }
    for(const TMachineLibrary::TMapErrorItem& item : d_others)
    {
      result = Simulation::Apply_Error_Item(machine, item) && result;
    }
    try
    {
      result = machine->Initialize_End() && result;
    }
    catch(const TMachineAxisException& exception)
    {
      *error = exception.Message();
      return false;
    }
    if(!result)
    {
      *error = machine->Last_Error();
    }
    return result;
  }

  // The fitted coefficients of a function with L in metres.
  std::vector<double> Coefficients(const TFunction& function, const VectorXd& u) const
  {
    std::vector<double> coefficients;
    for(int k = 0; k < Degree(function); ++k)
    {
      coefficients.push_back(u(function.first + k) / std::pow(function.extent, k + 1));
    }
    return coefficients;
  }

  QString Function_Text(const TFunction& function, const VectorXd& u) const
  {
    return Identify::Polynomial_Text(Coefficients(function, u), function.extent);
  }

  const std::vector<std::pair<TMachineLibrary::TMapErrorItem, int>>& Values() const { return d_values; }

  // The angles and the deflection: the laser reads their table values whatever the sign
  // option, while the positions take the sign, so that the option is seen in the data. Each
  // group as its first unknown and count.
  std::vector<std::pair<int, int>> Sign_Groups() const
  {
    std::vector<std::pair<int, int>> groups;
    for(const TFunction& function : d_functions)
    {
      if(function.item.parameter != PARAMETER_SCALE)
      {
        groups.emplace_back(function.first, Degree(function));
      }
    }
    for(const auto& value : d_values)
    {
      if(value.first.parameter == PARAMETER_DEFLECTION)
      {
        groups.emplace_back(value.second, 1);
      }
    }
    return groups;
  }

  void Flip_Sign(int first)
  {
    for(TFunction& function : d_functions)
    {
      if(function.first == first)
      {
        function.item.sign = -function.item.sign;
      }
    }
    for(auto& value : d_values)
    {
      if(value.second == first)
      {
        value.first.sign = -value.first.sign;
      }
    }
  }

private:
  int Degree(const TFunction& function) const
  {
    const std::size_t next = static_cast<std::size_t>(function.first);
    int degree = 0;
    while(next + degree < d_unknowns.size() && d_unknowns[next + degree].power == degree + 1 &&
          d_unknowns[next + degree].axis == function.item.axis &&
          d_unknowns[next + degree].parameter == function.item.parameter)
    {
      ++degree;
    }
    return degree;
  }

  Simulation::TMachineRecord d_record;
  TMachineComp::TInitParameters d_init;
  std::vector<TUnknown> d_unknowns;
  std::vector<TFunction> d_functions;
  std::vector<std::pair<TMachineLibrary::TMapErrorItem, int>> d_values;
  std::vector<TMachineLibrary::TMapErrorItem> d_others;
};

// The simulated readings of the observations on a trial machine.
class TPredictor
{
public:
  TPredictor(const TModel& model, std::vector<TMeasurement*> records, const std::vector<TObservation>& observations)
      : d_model(model), d_records(std::move(records)), d_observations(observations)
  {
  }

  // False with the reason when the machine cannot be set up or simulated.
  bool Predict(const VectorXd& u, VectorXd* predicted, QString* error)
  {
    TMachineComp machine;
    if(!d_model.Setup(u, &machine, error))
    {
      return false;
    }
    return Predict(machine, predicted, error);
  }

  bool Predict(const TMachineComp& machine, VectorXd* predicted, QString* error)
  {
    ++d_simulations;
    QStringList errors;
    if(!Simulation::Update_Measurement_Items(&machine, &d_records, &errors))
    {
      *error = errors.join(QStringLiteral("; "));
      return false;
    }
    // What the export takes from the first row of a line: the probe vector and the bases.
    std::vector<TVector3> straightness_bases(d_records.size());
    for(std::size_t index = 0; index < d_records.size(); ++index)
    {
      const std::vector<TItem>& items = d_records[index]->d_measurement_items;
      if(!items.empty())
      {
        const TItem& first = items.front();
        straightness_bases[index] =
            machine.Calculate_Scale_XX_YY_Error(first.axis_nominal, Export::Probe_Vector(first.probe_offset),
                                                first.reference_nominal, first.reference_actual);
      }
    }
    predicted->resize(static_cast<int>(d_observations.size()));
    for(std::size_t row = 0; row < d_observations.size(); ++row)
    {
      const TObservation& observation = d_observations[row];
      const std::vector<TItem>& items = d_records[observation.measurement]->d_measurement_items;
      const TItem& item = items[observation.item];
      const TItem& first = items.front();
      double value = 0.0;
      switch(observation.quantity)
      {
      case QUANTITY_BALLBAR:
        value = item.length_actual;
        break;
      case QUANTITY_LINE_LENGTH:
        value = (item.point_actual ^ first.axis_nominal) - (first.reference_actual ^ first.axis_nominal);
        break;
      case QUANTITY_XX:
      case QUANTITY_YY:
      {
        const TVector3 deviation =
            machine.Calculate_Scale_XX_YY_Error(first.axis_nominal, Export::Probe_Vector(first.probe_offset),
                                                item.point_nominal, item.point_actual) -
            straightness_bases[observation.measurement];
        value = observation.quantity == QUANTITY_XX ? deviation.y : deviation.z;
        break;
      }
      case QUANTITY_RA:
        value = item.point_angles.x - item.reference_angles.x;
        break;
      case QUANTITY_RB:
        value = item.point_angles.y - item.reference_angles.y;
        break;
      case QUANTITY_RC:
        value = item.point_angles.z - item.reference_angles.z;
        break;
      case QUANTITY_MCG:
      {
        const TVector3 arm = item.point_actual - item.reference_nominal;
        value = std::sqrt(arm ^ arm);
        break;
      }
      }
      (*predicted)(static_cast<int>(row)) = value;
    }
    return true;
  }

  int Simulations() const { return d_simulations; }

private:
  const TModel& d_model;
  std::vector<TMeasurement*> d_records;
  const std::vector<TObservation>& d_observations;
  int d_simulations = 0;
};

// Fixed-point text with the given decimals, trailing zeros (and a bare point) removed.
QString Fixed(double value, int decimals)
{
  QString text = QString::number(value, 'f', decimals);
  if(text.contains(QLatin1Char('.')))
  {
    while(text.endsWith(QLatin1Char('0')))
    {
      text.chop(1);
    }
    if(text.endsWith(QLatin1Char('.')))
    {
      text.chop(1);
    }
  }
  if(text == QLatin1String("-0"))
  {
    text = QStringLiteral("0");
  }
  return text;
}

// Enough decimals that a coefficient of L^power, rounded, moves its term by less than 1e-12
// over |L| <= extent: the value reproduces to 1e-9 with room to spare.
int Coefficient_Decimals(int power, double extent)
{
  const double magnitude = power > 0 ? std::pow(std::max(extent, 1.0), power) : 1.0;
  return std::min(40, 12 + static_cast<int>(std::ceil(std::log10(magnitude))) + 3);
}

QString Value_Text(double value)
{
  return Fixed(value, Coefficient_Decimals(0, 1.0));
}

struct TStatistics
{
  int count = 0;
  double rms = 0.0;
  double largest = 0.0;
};

// Per kind, in µm or µrad (the readings are mm or mm/m).
std::vector<TStatistics> Residual_Statistics(const std::vector<TObservation>& observations, const VectorXd& residuals)
{
  std::vector<TStatistics> statistics(Identify::OBSERVATION_KINDS);
  for(std::size_t row = 0; row < observations.size(); ++row)
  {
    TStatistics& entry = statistics[observations[row].kind];
    const double value = residuals(static_cast<int>(row)) * 1000.0;
    ++entry.count;
    entry.rms += value * value;
    entry.largest = std::max(entry.largest, std::fabs(value));
  }
  for(TStatistics& entry : statistics)
  {
    entry.rms = entry.count > 0 ? std::sqrt(entry.rms / entry.count) : 0.0;
  }
  return statistics;
}

// The rows of a basis of a null space in reduced row echelon form: each direction has its own
// leading unknown with the coefficient 1, which the others do not hold, so that the text does
// not depend on how the SVD happened to rotate the basis.
std::vector<std::vector<double>> Echelon_Directions(MatrixXd basis)
{
  // basis: unknowns x directions; work on its transpose.
  MatrixXd rows = basis.transpose();
  const int count = static_cast<int>(rows.rows());
  const int size = static_cast<int>(rows.cols());
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
  std::vector<std::vector<double>> directions;
  for(int row = 0; row < pivot_row; ++row)
  {
    std::vector<double> direction(size);
    const double largest = rows.row(row).cwiseAbs().maxCoeff();
    for(int column = 0; column < size; ++column)
    {
      const double value = rows(row, column);
      direction[column] = std::fabs(value) < DIRECTION_COMPONENT * largest ? 0.0 : value / largest;
    }
    directions.push_back(direction);
  }
  return directions;
}

QString Coefficient_Number(double value)
{
  return QString::number(value, 'g', 4);
}

QString Direction_Text(const std::vector<double>& direction, const QStringList& names)
{
  QString text;
  for(std::size_t index = 0; index < direction.size(); ++index)
  {
    const double value = direction[index];
    if(value == 0.0)
    {
      continue;
    }
    const QString name = names[static_cast<int>(index)];
    if(text.isEmpty())
    {
      text = value == 1.0 ? name : value == -1.0 ? QStringLiteral("-") + name : Coefficient_Number(value) + ' ' + name;
    }
    else
    {
      const double magnitude = std::fabs(value);
      text += value < 0.0 ? QStringLiteral(" - ") : QStringLiteral(" + ");
      text += magnitude == 1.0 ? name : Coefficient_Number(magnitude) + ' ' + name;
    }
  }
  return text;
}

// Which measurement would tell the direction apart, where that is known.
QString Direction_Hint(const std::vector<double>& direction, const std::vector<TUnknown>& unknowns)
{
  bool squareness = false;
  bool angle = false;
  QSet<int> scale_axes;
  QSet<int> axes;
  for(std::size_t index = 0; index < direction.size(); ++index)
  {
    if(direction[index] == 0.0)
    {
      continue;
    }
    const TUnknown& unknown = unknowns[index];
    squareness = squareness || unknown.parameter == PARAMETER_QXY || unknown.parameter == PARAMETER_QYZ ||
                 unknown.parameter == PARAMETER_QZX;
    angle = angle || unknown.parameter == PARAMETER_RX || unknown.parameter == PARAMETER_RY ||
            unknown.parameter == PARAMETER_RZ || unknown.parameter == PARAMETER_DEFLECTION;
    if(unknown.parameter == PARAMETER_SCALE)
    {
      scale_axes.insert(unknown.axis);
    }
    axes.insert(unknown.axis);
  }
  if(squareness && angle)
  {
    return QStringLiteral("another stylus length would separate it");
  }
  if(squareness || scale_axes.size() > 1)
  {
    return QStringLiteral("a diagonal would separate it");
  }
  if(angle)
  {
    return QStringLiteral("an axis laser run with an offset would separate it");
  }
  if(!scale_axes.isEmpty())
  {
    return QStringLiteral("a laser run along the axis would separate it");
  }
  return QString();
}

QString Kind_Column(const TStatistics& statistics)
{
  return QStringLiteral("%1 %2").arg(statistics.rms, 11, 'f', 3).arg(statistics.largest, 11, 'f', 3);
}
} // namespace

namespace Identify
{
QString Kind_Name(int kind)
{
  switch(kind)
  {
  case OBSERVATION_BALLBAR:
    return QStringLiteral("Ball bar length");
  case OBSERVATION_ISO:
    return QStringLiteral("ISO length");
  case OBSERVATION_LASER_LENGTH:
    return QStringLiteral("Laser length");
  case OBSERVATION_LASER_STRAIGHTNESS:
    return QStringLiteral("Laser straightness");
  case OBSERVATION_LASER_ANGLE:
    return QStringLiteral("Laser angle");
  case OBSERVATION_MCG:
    return QStringLiteral("MCG length");
  default:
    return QString();
  }
}

QString Kind_Unit(int kind)
{
  return kind == OBSERVATION_LASER_ANGLE ? QString::fromUtf8("µrad") : QString::fromUtf8("µm");
}

QString Polynomial_Text(const std::vector<double>& coefficients, double extent)
{
  QString text;
  for(std::size_t index = 0; index < coefficients.size(); ++index)
  {
    const int power = static_cast<int>(index) + 1;
    const QString number = Fixed(std::fabs(coefficients[index]), Coefficient_Decimals(power, extent));
    if(number == QLatin1String("0"))
    {
      continue;
    }
    const bool negative = coefficients[index] < 0.0;
    if(text.isEmpty())
    {
      text = negative ? QStringLiteral("-") : QString();
    }
    else
    {
      text += negative ? QLatin1Char('-') : QLatin1Char('+');
    }
    text += number + QStringLiteral("*L");
    if(power > 1)
    {
      text += QStringLiteral("^%1").arg(power);
    }
  }
  return text.isEmpty() ? QStringLiteral("0") : text;
}

TResult Run(const TMachineLibrary::TMachineItem& machine_item, const std::vector<const TMeasurement*>& library,
            const Measured::TCollection& measured, const TOptions& options, const TProgress& progress)
{
  TResult result;
  QStringList& report = result.report;
  const int degree = std::min(std::max(options.degree, MINIMUM_DEGREE), MAXIMUM_DEGREE);
  report.push_back(QStringLiteral("Identification of the machine \"%1\"").arg(machine_item.name));
  report.push_back(QStringLiteral("Polynomial degree: %1").arg(degree));

  // The starting machine.
  const Simulation::TMachineRecord record = Simulation::Machine_Record(machine_item);
  TMachineComp start_machine;
  QStringList errors;
  if(!Simulation::Setup_Machine_Comp(record, &start_machine, &errors))
  {
    result.status = TStatus::NO_MACHINE;
    report.push_back(QStringLiteral("The machine cannot be set up:"));
    for(const QString& line : errors)
    {
      report.push_back(QStringLiteral("  ") + line);
    }
    if(errors.isEmpty())
    {
      report.push_back(QStringLiteral("  Its geometry is not valid."));
    }
    report.push_back(QStringLiteral("Verdict: not identified"));
    return result;
  }
  TModel model(record, degree);
  result.unknowns = model.Size();
  for(const TUnknown& unknown : model.Unknowns())
  {
    result.unknown_names.push_back(Unknown_Name(unknown));
    result.unknown_keys.push_back({unknown.axis, unknown.parameter, unknown.power});
  }

  // The records, evaluated in library order as the export evaluates them, then matched.
  std::vector<std::unique_ptr<TMeasurement>> records;
  std::vector<TMeasurement*> record_list;
  for(const TMeasurement* measurement : library)
  {
    records.push_back(Copy_Measurement(*measurement));
    record_list.push_back(records.back().get());
  }
  QStringList expression_errors;
  Simulation::Evaluate_Measurement_Expressions(&start_machine, &record_list, &expression_errors);

  QStringList left_out;
  std::vector<TMeasurement*> used;
  std::vector<int> used_record;
  std::vector<TObservation> observations;
  int rows[4] = {0, 0, 0, 0};
  for(const Measured::TProblem& problem : measured.problems)
  {
    left_out.push_back(QStringLiteral("%1: %2").arg(problem.file, problem.reason));
  }
  for(const Measured::TSet& set : measured.sets)
  {
    const QString label =
        set.kind == Measured::TKind::BALLBAR ? QStringLiteral("%1 (%2)").arg(set.file, set.name) : set.file;
    const int index = Find_Record(records, set);
    if(index < 0)
    {
      left_out.push_back(QStringLiteral("%1: no measurement named '%2'").arg(label, set.name));
      continue;
    }
    TMeasurement* measurement = records[index].get();
    if(measurement->Type() != Record_Type(set.kind))
    {
      left_out.push_back(QStringLiteral("%1: the measurement '%2' is of another kind").arg(label, measurement->d_name));
      continue;
    }
    const QString prefix = measurement->d_name + QStringLiteral(": ");
    const auto expression_error = std::find_if(expression_errors.begin(), expression_errors.end(),
                                               [&prefix](const QString& line) { return line.startsWith(prefix); });
    if(expression_error != expression_errors.end())
    {
      left_out.push_back(QStringLiteral("%1: %2").arg(label, *expression_error));
      continue;
    }
    // The nominal expansion; the same record may have more than one measured set.
    std::vector<TMeasurement*> single{measurement};
    QStringList simulation_errors;
    if(!Simulation::Update_Measurement_Items(&start_machine, &single, &simulation_errors))
    {
      left_out.push_back(QStringLiteral("%1: %2").arg(label, simulation_errors.join(QStringLiteral("; "))));
      continue;
    }
    auto position = std::find(used.begin(), used.end(), measurement);
    const int used_index = static_cast<int>(position - used.begin());
    const QString reason = Add_Observations(set, *measurement, used_index, &observations);
    if(!reason.isEmpty())
    {
      left_out.push_back(QStringLiteral("%1: %2").arg(label, reason));
      continue;
    }
    if(position == used.end())
    {
      used.push_back(measurement);
      used_record.push_back(index);
    }
    rows[static_cast<int>(set.kind)] += static_cast<int>(set.readings.size());
  }

  report.push_back(QStringLiteral("Rows used: ball bar %1, ISO %2, laser %3, MCG %4")
                       .arg(rows[static_cast<int>(Measured::TKind::BALLBAR)])
                       .arg(rows[static_cast<int>(Measured::TKind::ISO)])
                       .arg(rows[static_cast<int>(Measured::TKind::LASER)])
                       .arg(rows[static_cast<int>(Measured::TKind::MCG)]));
  if(!left_out.isEmpty())
  {
    report.push_back(QStringLiteral("Left out:"));
    for(const QString& line : left_out)
    {
      report.push_back(QStringLiteral("  ") + line);
    }
  }
  const int m = static_cast<int>(observations.size());
  const int n = model.Size();
  if(n == 0)
  {
    report.push_back(QStringLiteral("The machine has no enabled error parameter to identify."));
  }
  if(m == 0)
  {
    report.push_back(QStringLiteral("No measured row could be used."));
  }
  if(m == 0 || n == 0)
  {
    result.status = TStatus::NO_DATA;
    report.push_back(QStringLiteral("Rank: 0 of %1 unknowns").arg(n));
    report.push_back(QStringLiteral("Verdict: not identified"));
    return result;
  }

  // Weights: one over the standard uncertainty of the kind (µm or µrad to mm or mm/m).
  const TOptions defaults;
  VectorXd weights(m);
  VectorXd measured_values(m);
  for(int row = 0; row < m; ++row)
  {
    const int kind = observations[row].kind;
    const double uncertainty =
        options.uncertainties[kind] > 0.0 ? options.uncertainties[kind] : defaults.uncertainties[kind];
    weights(row) = 1000.0 / uncertainty;
    measured_values(row) = observations[row].measured;
  }

  TPredictor predictor(model, used, observations);
  VectorXd u;
  if(!model.Start(&u))
  {
    result.status = TStatus::NO_MACHINE;
    report.push_back(QStringLiteral("An enabled expression of the machine does not evaluate."));
    report.push_back(QStringLiteral("Verdict: not identified"));
    return result;
  }

  // Work in simulations: the structural Jacobian, and one per iteration as a guess.
  const int structural_work = 6 * n;
  int total_work = structural_work + 4 * n + 4;
  QString error;
  const auto simulate = [&](const VectorXd& at, VectorXd* values) -> bool
  {
    if(progress && !progress(std::min(predictor.Simulations(), total_work - 1), total_work))
    {
      result.status = TStatus::CANCELLED;
      return false;
    }
    if(!predictor.Predict(at, values, &error))
    {
      result.status = TStatus::NO_MACHINE;
      return false;
    }
    return true;
  };
  const auto failed = [&]()
  {
    if(result.status == TStatus::CANCELLED)
    {
      report.push_back(QStringLiteral("Cancelled."));
    }
    else
    {
      report.push_back(QStringLiteral("The simulation failed: %1").arg(error));
    }
    report.push_back(QStringLiteral("Verdict: not identified"));
    return result;
  };

  // Weighted Jacobian at u by the central difference extrapolated from two steps; with
  // rule_norms, also the column norms from the large step.
  const auto jacobian = [&](const VectorXd& at, MatrixXd* matrix, VectorXd* rule_norms) -> bool
  {
    matrix->resize(m, n);
    if(rule_norms)
    {
      rule_norms->resize(n);
    }
    VectorXd plus;
    VectorXd minus;
    VectorXd half_plus;
    VectorXd half_minus;
    for(int column = 0; column < n; ++column)
    {
      VectorXd shifted = at;
      const auto at_offset = [&](double offset, VectorXd* values)
      {
        shifted(column) = at(column) + offset;
        return simulate(shifted, values);
      };
      const double h = DERIVATIVE_STEP;
      if(!at_offset(h, &plus) || !at_offset(-h, &minus) || !at_offset(h / 2.0, &half_plus) ||
         !at_offset(-h / 2.0, &half_minus))
      {
        return false;
      }
      const VectorXd wide = (plus - minus) / (2.0 * h);
      const VectorXd narrow = (half_plus - half_minus) / h;
      matrix->col(column) = ((4.0 * narrow - wide) / 3.0).cwiseProduct(weights);
      if(rule_norms)
      {
        if(!at_offset(COLUMN_RULE_STEP, &plus) || !at_offset(-COLUMN_RULE_STEP, &minus))
        {
          return false;
        }
        (*rule_norms)(column) = ((plus - minus) / (2.0 * COLUMN_RULE_STEP)).cwiseProduct(weights).norm();
      }
    }
    return true;
  };

  // Before: the starting machine as the record sets it up.
  VectorXd predicted;
  ++total_work;
  {
    if(progress && !progress(0, total_work))
    {
      result.status = TStatus::CANCELLED;
      return failed();
    }
    if(!predictor.Predict(start_machine, &predicted, &error))
    {
      result.status = TStatus::NO_MACHINE;
      return failed();
    }
  }
  const std::vector<TStatistics> before = Residual_Statistics(observations, measured_values - predicted);

  // What the tests can see is a matter of the geometry: it is worked out on the machine of the
  // same geometry without errors, where a direction the tests do not see changes no reading to
  // first order; at a machine with errors second-order couplings would hide it.
  const VectorXd zero = VectorXd::Zero(n);
  MatrixXd structural;
  VectorXd rule_norms;
  if(!jacobian(zero, &structural, &rule_norms))
  {
    return failed();
  }
  // Sign options that the laser's angle readings contradict: an angle with the other option
  // moves the points the other way while the laser reads the same table values. On the
  // linear model about the machine without errors (where the options change no reading), an
  // option is turned when that explains the data clearly better.
  QStringList turned;
  {
    VectorXd at_zero;
    if(!simulate(zero, &at_zero))
    {
      return failed();
    }
    const VectorXd offsets = (measured_values - at_zero).cwiseProduct(weights);
    const auto squares = [&](const MatrixXd& matrix)
    { return (offsets - matrix * matrix.colPivHouseholderQr().solve(offsets)).squaredNorm(); };
    // The best single turn at a time, until none helps: two options may be wrong at once.
    double current_squares = squares(structural);
    const std::vector<std::pair<int, int>> groups = model.Sign_Groups();
    std::vector<bool> done(groups.size(), false);
    for(;;)
    {
      int best = -1;
      double best_squares = 0.25 * current_squares;
      MatrixXd best_matrix;
      for(std::size_t index = 0; index < groups.size(); ++index)
      {
        const std::pair<int, int>& group = groups[index];
        bool read = false;
        MatrixXd flipped = structural;
        for(int row = 0; row < m; ++row)
        {
          const bool angle = observations[row].kind == OBSERVATION_LASER_ANGLE;
          for(int column = group.first; column < group.first + group.second; ++column)
          {
            read = read || (angle && structural(row, column) != 0.0);
            if(!angle)
            {
              flipped(row, column) = -structural(row, column);
            }
          }
        }
        if(done[index] || !read)
        {
          continue;
        }
        const double flipped_squares = squares(flipped);
        if(flipped_squares < best_squares)
        {
          best = static_cast<int>(index);
          best_squares = flipped_squares;
          best_matrix = flipped;
        }
      }
      if(best < 0)
      {
        break;
      }
      done[best] = true;
      structural = best_matrix;
      current_squares = best_squares;
      model.Flip_Sign(groups[best].first);
      const QString name = result.unknown_names[groups[best].first];
      turned.push_back(name.left(name.lastIndexOf(QStringLiteral(" c"))));
    }
  }

  const double largest_rule = rule_norms.maxCoeff();
  std::vector<int> seen;
  std::vector<int> unseen;
  for(int column = 0; column < n; ++column)
  {
    if(largest_rule > 0.0 && rule_norms(column) >= COLUMN_NORM_RULE * largest_rule &&
       structural.col(column).norm() > 0.0)
    {
      seen.push_back(column);
    }
    else
    {
      unseen.push_back(column);
    }
  }
  const int k = static_cast<int>(seen.size());
  VectorXd scales(k);
  MatrixXd scaled(m, k);
  for(int index = 0; index < k; ++index)
  {
    scales(index) = 1.0 / structural.col(seen[index]).norm();
    scaled.col(index) = structural.col(seen[index]) * scales(index);
  }
  int rank = 0;
  MatrixXd directions(n, 0); // the identified directions in the unknowns
  MatrixXd null_basis(n, 0);
  VectorXd singular_values;
  if(k > 0)
  {
    Eigen::BDCSVD<MatrixXd> svd(scaled, Eigen::ComputeThinV);
    singular_values = svd.singularValues();
    const double largest = singular_values.size() > 0 ? singular_values(0) : 0.0;
    for(int index = 0; index < singular_values.size(); ++index)
    {
      if(largest > 0.0 && singular_values(index) > options.threshold * largest)
      {
        ++rank;
      }
    }
    const MatrixXd& v = svd.matrixV();
    directions = MatrixXd::Zero(n, rank);
    null_basis = MatrixXd::Zero(n, k - rank);
    for(int index = 0; index < k; ++index)
    {
      directions.row(seen[index]) = v.row(index).head(rank) * scales(index);
      null_basis.row(seen[index]) = v.row(index).segment(rank, k - rank) * scales(index);
    }
  }
  result.rank = rank;
  for(int index = 0; index < singular_values.size(); ++index)
  {
    result.singular_values.push_back(singular_values(index));
  }

  // Gauss-Newton within the identified directions.
  int iterations = 0;
  bool converged = rank == 0;
  MatrixXd current = structural;
  bool current_at_u = u.isZero(0.0);
  MatrixXd reduced;
  VectorXd residuals;
  if(!simulate(u, &predicted))
  {
    return failed();
  }
  residuals = (measured_values - predicted).cwiseProduct(weights);
  while(!converged && iterations < MAXIMUM_ITERATIONS)
  {
    ++iterations;
    // The Jacobian is worked out anew at the start and after the first step; later steps are
    // corrections of the order of the model's curvature, for which it is close enough.
    if(!current_at_u && iterations <= 2)
    {
      total_work += 4 * n;
      if(!jacobian(u, &current, nullptr))
      {
        return failed();
      }
    }
    current_at_u = false;
    reduced = current * directions;
    const VectorXd z = reduced.colPivHouseholderQr().solve(residuals);
    const VectorXd step = directions * z;
    const double change = ((current * step).cwiseQuotient(weights)).cwiseAbs().maxCoeff();
    u += step;
    if(!simulate(u, &predicted))
    {
      return failed();
    }
    residuals = (measured_values - predicted).cwiseProduct(weights);
    converged = change <= CONVERGENCE;
    if(progress)
    {
      total_work += 1;
    }
  }
  if(progress)
  {
    progress(total_work, total_work);
  }
  const std::vector<TStatistics> after = Residual_Statistics(observations, measured_values - predicted);
  for(int kind = 0; kind < OBSERVATION_KINDS; ++kind)
  {
    result.largest_before.push_back(before[kind].largest);
    result.largest_after.push_back(after[kind].largest);
  }

  // Uncertainties from the residual variance and the covariance of the identified directions.
  MatrixXd covariance = MatrixXd::Zero(n, n);
  const int freedom = m - rank;
  const bool have_covariance = rank > 0 && freedom > 0;
  if(have_covariance)
  {
    if(reduced.cols() != rank)
    {
      reduced = current * directions;
    }
    const double variance = residuals.squaredNorm() / freedom;
    Eigen::JacobiSVD<MatrixXd> svd(reduced, Eigen::ComputeThinV);
    const VectorXd values = svd.singularValues();
    MatrixXd inverse = MatrixXd::Zero(rank, rank);
    for(int index = 0; index < values.size(); ++index)
    {
      if(values(index) > 0.0)
      {
        inverse += svd.matrixV().col(index) * svd.matrixV().col(index).transpose() / (values(index) * values(index));
      }
    }
    covariance = variance * directions * inverse * directions.transpose();
  }

  // The identified machine: the record with the fitted texts in its enabled parameters.
  TMachineLibrary::TMachineItem identified = machine_item;
  identified.id = -1;
  identified.name =
      options.identified_name.isEmpty() ? machine_item.name + QStringLiteral(" identified") : options.identified_name;
  for(TMachineLibrary::TMachineAxisItem& axis : identified.axes)
  {
    for(TMachineLibrary::TMachineParameterItem& parameter : axis.parameters)
    {
      if(!parameter.enabled)
      {
        continue;
      }
      const int sign = parameter.option_state == 0 ? 1 : -1;
      for(const TFunction& function : model.Functions())
      {
        if(function.item.axis == axis.axis && function.item.parameter == parameter.parameter)
        {
          parameter.expression = model.Function_Text(function, u);
          if(function.item.sign != sign)
          {
            parameter.option_state = parameter.option_state == 0 ? 1 : 0;
          }
        }
      }
      for(const auto& value : model.Values())
      {
        if(value.first.axis == axis.axis && value.first.parameter == parameter.parameter)
        {
          parameter.expression = Value_Text(u(value.second));
          if(value.first.sign != sign)
          {
            parameter.option_state = parameter.option_state == 0 ? 1 : 0;
          }
        }
      }
    }
  }
  result.machine = identified;
  result.status = TStatus::FITTED;

  // Directions the tests cannot see: the unseen unknowns one by one, then the null space of
  // the seen ones, in coefficient units.
  for(const int column : unseen)
  {
    std::vector<double> direction(n, 0.0);
    direction[column] = 1.0;
    result.null_directions.push_back(direction);
  }
  if(null_basis.cols() > 0)
  {
    MatrixXd coefficients = null_basis;
    for(int index = 0; index < n; ++index)
    {
      const TUnknown& unknown = model.Unknowns()[index];
      coefficients.row(index) /= unknown.power > 0 ? std::pow(unknown.extent, unknown.power) : 1.0;
    }
    for(const std::vector<double>& direction : Echelon_Directions(coefficients))
    {
      result.null_directions.push_back(direction);
    }
  }
  std::vector<bool> inseparable(n, false);
  for(const std::vector<double>& direction : result.null_directions)
  {
    for(int index = 0; index < n; ++index)
    {
      inseparable[index] = inseparable[index] || direction[index] != 0.0;
    }
  }

  // The report.
  report.push_back(QString());
  report.push_back(QStringLiteral("Residuals                      before: RMS    largest      after: RMS    largest"));
  for(int kind = 0; kind < OBSERVATION_KINDS; ++kind)
  {
    if(before[kind].count == 0)
    {
      continue;
    }
    report.push_back(QStringLiteral("  %1 %2 %3")
                         .arg(QStringLiteral("%1 (%2)").arg(Kind_Name(kind), Kind_Unit(kind)), -29)
                         .arg(Kind_Column(before[kind]), Kind_Column(after[kind])));
  }
  for(const QString& name : turned)
  {
    report.push_back(
        QStringLiteral("%1: the other sign option explains the laser's angle readings; the identified machine takes it")
            .arg(name));
  }
  report.push_back(converged ? QStringLiteral("Iterations: %1").arg(iterations)
                             : QStringLiteral("Iterations: %1 (the last step still changed a reading by more "
                                              "than 0.0001 µm)")
                                   .arg(iterations));

  report.push_back(QString());
  report.push_back(QStringLiteral("Fitted parameters (L in metres; angles and squareness in mm/m, scale in mm):"));
  const int name_width = 26;
  for(int index = 0; index < n; ++index)
  {
    const TUnknown& unknown = model.Unknowns()[index];
    const double factor = unknown.power > 0 ? std::pow(unknown.extent, unknown.power) : 1.0;
    const double value = u(index) / factor;
    QString line = QStringLiteral("  %1 %2").arg(result.unknown_names[index], -name_width).arg(value, 18, 'e', 9);
    const double variance = covariance(index, index);
    if(have_covariance && variance > 0.0)
    {
      line += QString::fromUtf8("  ± %1").arg(std::sqrt(variance) / factor, 9, 'e', 2);
      // Only its part outside the directions listed below is determined.
      if(inseparable[index])
      {
        line += QStringLiteral("  (in a direction not identified)");
      }
    }
    else
    {
      line += QStringLiteral("  not identified");
    }
    report.push_back(line);
  }
  QStringList correlations;
  for(int i = 0; i < n && have_covariance; ++i)
  {
    for(int j = i + 1; j < n; ++j)
    {
      const double scale = std::sqrt(covariance(i, i) * covariance(j, j));
      if(scale > 0.0 && std::fabs(covariance(i, j) / scale) > CORRELATION_LIMIT)
      {
        correlations.push_back(QStringLiteral("  %1 / %2: %3")
                                   .arg(result.unknown_names[i], result.unknown_names[j])
                                   .arg(covariance(i, j) / scale, 0, 'f', 3));
      }
    }
  }
  if(!correlations.isEmpty())
  {
    report.push_back(QStringLiteral("Correlations above 0.9:"));
    report += correlations;
  }

  report.push_back(QString());
  report.push_back(QStringLiteral("Rank: %1 of %2 unknowns").arg(rank).arg(n));
  QString values_line = QStringLiteral("Singular values:");
  for(int index = 0; index < singular_values.size(); ++index)
  {
    values_line += QLatin1Char(' ') + QString::number(singular_values(index), 'g', 4);
  }
  report.push_back(values_line);

  for(std::size_t index = 0; index < result.null_directions.size(); ++index)
  {
    const std::vector<double>& direction = result.null_directions[index];
    const bool alone = index < unseen.size();
    QString line =
        QStringLiteral("  ") + Direction_Text(direction, result.unknown_names) +
        (alone ? QStringLiteral(": not seen by these tests") : QStringLiteral(": not separable with these tests"));
    const QString hint = Direction_Hint(direction, model.Unknowns());
    if(!hint.isEmpty() && !alone)
    {
      line += QStringLiteral(" (") + hint + QLatin1Char(')');
    }
    report.push_back(line);
  }

  const int missing = n - rank;
  report.push_back(rank == 0      ? QStringLiteral("Verdict: not identified")
                   : missing == 0 ? QStringLiteral("Verdict: identified")
                                  : QStringLiteral("Verdict: identified except %1 directions").arg(missing));
  report.push_back(QStringLiteral("Identified machine: %1").arg(identified.name));
  return result;
}
} // namespace Identify
