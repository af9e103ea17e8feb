// The machine as a function of its unknowns, the simulated readings and the design matrix.

#include <QHash>

#include <algorithm>
#include <cmath>

#include "core/expression.h"
#include "src/model/evaluation.h"
#include "src/model/export.h"
#include "src/model/identify_stages.h"

namespace
{
using Identify::MatrixXd;
using Identify::VectorXd;
using TItem = TMeasurement::TMeasurementItem;

// Steps of the central differences in the basis units (mm, mm/m): the model is close to linear
// in its unknowns, so the truncation error is far below the rounding of the simulated positions
// (1e-13 mm), which this step keeps at 1e-11 of a derivative.
const double DERIVATIVE_STEP = 0.01;
// A table of 51 positions, as the machine's error tables have.
const int TABLE_INTERVALS = 50;
// A start's part outside the basis below this (mm, mm/m) changes no reading: not kept.
const double KEPT_REMAINDER = 1e-12;

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

// Coefficients of the Legendre polynomial P_k in x, lowest power first.
std::vector<double> Legendre(int k)
{
  std::vector<double> previous{1.0};
  std::vector<double> current{0.0, 1.0};
  if(k == 0)
  {
    return previous;
  }
  for(int n = 1; n < k; ++n)
  {
    // (n + 1) P_{n+1} = (2n + 1) x P_n - n P_{n-1}
    std::vector<double> next(n + 2, 0.0);
    for(int i = 0; i <= n; ++i)
    {
      next[i + 1] += (2.0 * n + 1.0) * current[i] / (n + 1.0);
    }
    for(int i = 0; i < n; ++i)
    {
      next[i] -= n * previous[i] / (n + 1.0);
    }
    previous = current;
    current = next;
  }
  return current;
}

// The polynomial p(x) with x = alpha * L + beta, as coefficients of L.
std::vector<double> Compose(const std::vector<double>& p, double alpha, double beta)
{
  std::vector<double> result(p.size(), 0.0);
  std::vector<double> power{1.0}; // (alpha L + beta)^i
  for(std::size_t i = 0; i < p.size(); ++i)
  {
    for(std::size_t j = 0; j < power.size(); ++j)
    {
      result[j] += p[i] * power[j];
    }
    std::vector<double> next(power.size() + 1, 0.0);
    for(std::size_t j = 0; j < power.size(); ++j)
    {
      next[j] += beta * power[j];
      next[j + 1] += alpha * power[j];
    }
    power = next;
  }
  return result;
}

double Evaluate_Polynomial(const std::vector<double>& p, double x)
{
  double value = 0.0;
  for(std::size_t i = p.size(); i-- > 0;)
  {
    value = value * x + p[i];
  }
  return value;
}
} // namespace

namespace Identify
{
QString Quantity_Name(int quantity)
{
  switch(quantity)
  {
  case QUANTITY_BALLBAR:
  case QUANTITY_LINE_LENGTH:
    return QStringLiteral("length");
  case QUANTITY_XX:
    return QStringLiteral("straightness XX");
  case QUANTITY_YY:
    return QStringLiteral("straightness YY");
  case QUANTITY_RA:
    return QStringLiteral("angle RA");
  case QUANTITY_RB:
    return QStringLiteral("angle RB");
  case QUANTITY_RC:
    return QStringLiteral("angle RC");
  default:
    return QStringLiteral("radius");
  }
}

std::vector<TObservation> Record_Observations(const TMeasurement& record, int measurement)
{
  std::vector<TObservation> observations;
  const std::vector<TItem>& items = record.d_measurement_items;
  const int count = static_cast<int>(items.size());
  const auto add = [&](int item, int quantity, int kind)
  {
    TObservation observation;
    observation.measurement = measurement;
    observation.item = item;
    observation.quantity = quantity;
    observation.kind = kind;
    if(quantity == QUANTITY_XX || quantity == QUANTITY_YY)
    {
      const TVector3& first = items.front().point_nominal;
      observation.along = ((items[item].point_nominal - first) ^ items.front().axis_nominal) / 1000.0;
    }
    observations.push_back(observation);
  };
  if(count == 0)
  {
    return observations;
  }
  switch(record.Type())
  {
  case Types::MEASUREMENT_BALLBAR:
    add(0, QUANTITY_BALLBAR, OBSERVATION_BALLBAR);
    break;
  case Types::MEASUREMENT_LASER:
    // Out over the targets and back.
    for(int index = 0; index < 2 * count; ++index)
    {
      const int item = index < count ? index : 2 * count - 1 - index;
      add(item, QUANTITY_LINE_LENGTH, OBSERVATION_LASER_LENGTH);
      add(item, QUANTITY_XX, OBSERVATION_LASER_STRAIGHTNESS);
      add(item, QUANTITY_YY, OBSERVATION_LASER_STRAIGHTNESS);
      add(item, QUANTITY_RA, OBSERVATION_LASER_ANGLE);
      add(item, QUANTITY_RB, OBSERVATION_LASER_ANGLE);
      add(item, QUANTITY_RC, OBSERVATION_LASER_ANGLE);
    }
    break;
  case Types::MEASUREMENT_ISO:
    // Every length measured three times.
    for(int index = 0; index < 3 * count; ++index)
    {
      add(index / 3, QUANTITY_LINE_LENGTH, OBSERVATION_ISO);
    }
    break;
  case Types::MEASUREMENT_MCG:
    for(int index = 0; index < count; ++index)
    {
      add(index, QUANTITY_MCG, OBSERVATION_MCG);
    }
    break;
  default:
    break;
  }
  return observations;
}

int Number_Alignment(std::vector<TObservation>* observations, QStringList* names, std::vector<int>* sets)
{
  // Keyed by the set for measured readings, by the record for planned ones.
  QHash<int, int> first_of;
  int count = 0;
  for(TObservation& observation : *observations)
  {
    const bool straightness = observation.quantity == QUANTITY_XX || observation.quantity == QUANTITY_YY;
    if(!straightness && observation.quantity != QUANTITY_MCG)
    {
      continue;
    }
    const int key = observation.set >= 0 ? observation.set : 0x100000 + observation.measurement;
    auto found = first_of.find(key);
    if(found == first_of.end())
    {
      found = first_of.insert(key, count);
      if(straightness)
      {
        for(const char* name :
            {"straightness XX offset", "straightness XX slope", "straightness YY offset", "straightness YY slope"})
        {
          names->push_back(QLatin1String(name));
          sets->push_back(key);
        }
        count += 4;
      }
      else
      {
        names->push_back(QStringLiteral("radius zero"));
        sets->push_back(key);
        count += 1;
      }
    }
    observation.alignment = found.value() + (observation.quantity == QUANTITY_YY ? 2 : 0);
  }
  return count;
}

MatrixXd Alignment_Jacobian(const std::vector<TObservation>& observations, int alignment_unknowns)
{
  MatrixXd jacobian = MatrixXd::Zero(static_cast<int>(observations.size()), alignment_unknowns);
  for(std::size_t row = 0; row < observations.size(); ++row)
  {
    const TObservation& observation = observations[row];
    if(observation.alignment < 0)
    {
      continue;
    }
    jacobian(static_cast<int>(row), observation.alignment) = 1.0;
    if(observation.quantity != QUANTITY_MCG)
    {
      jacobian(static_cast<int>(row), observation.alignment + 1) = observation.along;
    }
  }
  return jacobian;
}

VectorXd Weights(const std::vector<TObservation>& observations, const TOptions& options)
{
  const TOptions defaults;
  VectorXd weights(static_cast<int>(observations.size()));
  for(std::size_t row = 0; row < observations.size(); ++row)
  {
    const int kind = observations[row].kind;
    const double uncertainty =
        options.uncertainties[kind] > 0.0 ? options.uncertainties[kind] : defaults.uncertainties[kind];
    weights(static_cast<int>(row)) = 1000.0 / uncertainty;
  }
  return weights;
}

TModel::TModel(const Simulation::TMachineRecord& record, int degree)
{
  Simulation::Init_Parameters(record, &d_init);
  const int chain[3] = {d_init.first_axis, d_init.second_axis, d_init.third_axis};
  const double starts[3] = {d_init.first_axis_start, d_init.second_axis_start, d_init.third_axis_start};
  const double ends[3] = {d_init.first_axis_end, d_init.second_axis_end, d_init.third_axis_end};
  double longest = 0.0;
  for(int k = 0; k < 3; ++k)
  {
    longest = std::max(longest, std::fabs(ends[k] - starts[k]));
  }

  // One set of unknowns per axis and parameter; a parameter listed twice takes its last entry,
  // as the set-up does.
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
      d_values.push_back({item, Size()});
      TUnknown unknown;
      unknown.axis = item.axis;
      unknown.parameter = item.parameter;
      // Squareness in mm/m is 1000 µrad; the deflection leans the tower by at most half its
      // value per metre of the longest travel.
      unknown.effect = item.parameter == PARAMETER_DEFLECTION ? std::max(0.5 * longest, 1.0) : 1000.0;
      d_unknowns.push_back(unknown);
      continue;
    }
    TFunction function;
    function.item = item;
    function.first = Size();
    function.degree = degree;
    for(int k = 0; k < 3; ++k)
    {
      if(chain[k] == item.axis)
      {
        function.start = starts[k];
        function.end = ends[k];
      }
    }
    // The positions of the error table, accumulated as the table does it.
    const double step = (function.end - function.start) / TABLE_INTERVALS;
    double position = function.start;
    for(int i = 0; i <= TABLE_INTERVALS; ++i)
    {
      function.positions.push_back(position);
      position += step;
    }
    const double low = std::min(function.start, function.end) / 1000.0;
    const double high = std::max(function.start, function.end) / 1000.0;
    if(high - low > 1e-9)
    {
      function.alpha = 2.0 / (high - low);
      function.beta = -(high + low) / (high - low);
    }
    function.transform = MatrixXd::Zero(degree, degree);
    for(int k = 1; k <= degree; ++k)
    {
      const std::vector<double> in_l = Compose(Legendre(k), function.alpha, function.beta);
      for(int power = 1; power <= k; ++power)
      {
        function.transform(power - 1, k - 1) = in_l[power];
      }
    }
    // Scale functions are in mm (1000 µm), angles in mm/m (1000 µrad).
    for(int k = 1; k <= degree; ++k)
    {
      double largest = 0.0;
      for(const double table_position : function.positions)
      {
        largest = std::max(largest, std::fabs(Basis(function, table_position / 1000.0)(k - 1)));
      }
      TUnknown unknown;
      unknown.axis = item.axis;
      unknown.parameter = item.parameter;
      unknown.power = k;
      unknown.effect = 1000.0 * (largest > 0.0 ? largest : 1.0);
      d_unknowns.push_back(unknown);
    }
    d_functions.push_back(function);
  }
}

QStringList TModel::Names() const
{
  QStringList names;
  for(const TUnknown& unknown : d_unknowns)
  {
    TMachineLibrary::TMapErrorItem item;
    item.axis = unknown.axis;
    item.parameter = unknown.parameter;
    const QString name = Evaluation::Item_Label(item);
    names.push_back(unknown.power > 0 ? name + QStringLiteral(" c%1").arg(unknown.power) : name);
  }
  return names;
}

VectorXd TModel::Basis(const TFunction& function, double l) const
{
  VectorXd basis(function.degree);
  const double x = function.alpha * l + function.beta;
  for(int k = 1; k <= function.degree; ++k)
  {
    const std::vector<double> p = Legendre(k);
    basis(k - 1) = Evaluate_Polynomial(p, x) - Evaluate_Polynomial(p, function.beta);
  }
  return basis;
}

MatrixXd TModel::Monomials() const
{
  MatrixXd monomials = MatrixXd::Identity(Size(), Size());
  for(const TFunction& function : d_functions)
  {
    monomials.block(function.first, function.first, function.degree, function.degree) = function.transform;
  }
  return monomials;
}

VectorXd TModel::Monomial_Effects() const
{
  VectorXd effects(Size());
  for(int index = 0; index < Size(); ++index)
  {
    effects(index) = d_unknowns[index].effect;
  }
  for(const TFunction& function : d_functions)
  {
    const double extent = std::max(std::fabs(function.start), std::fabs(function.end)) / 1000.0;
    for(int k = 0; k < function.degree; ++k)
    {
      effects(function.first + k) = 1000.0 * std::pow(extent > 0.0 ? extent : 1.0, k + 1);
    }
  }
  return effects;
}

bool TModel::Start(VectorXd* u) const
{
  *u = VectorXd::Zero(Size());
  for(const auto& value : d_values)
  {
    (*u)(value.second) = value.first.value;
  }
  for(const TFunction& function : d_functions)
  {
    VectorXd coefficients;
    if(!Start_Function(function, &coefficients, nullptr))
    {
      return false;
    }
    u->segment(function.first, function.degree) = coefficients;
  }
  return true;
}

bool TModel::Start_Function(const TFunction& function, VectorXd* coefficients, std::vector<double>* remainder) const
{
  const int rows = static_cast<int>(function.positions.size());
  MatrixXd basis(rows, function.degree);
  VectorXd values(rows);
  TExpression expression;
  const auto evaluate = [&](double l, double* value)
  {
    expression.Add_Variable(QStringLiteral("L"), l);
    bool ok = false;
    *value = expression.Evaluate(function.item.expression, &ok);
    return ok && std::isfinite(*value);
  };
  for(int i = 0; i < rows; ++i)
  {
    if(!evaluate(function.positions[i] / 1000.0, &values(i)))
    {
      return false;
    }
    basis.row(i) = Basis(function, function.positions[i] / 1000.0).transpose();
  }
  // The basis is zero at L = 0: the value there is no part of the polynomial (an expression that
  // does not evaluate at 0 has none).
  double at_zero = 0.0;
  if(!evaluate(0.0, &at_zero))
  {
    at_zero = 0.0;
  }
  *coefficients = basis.colPivHouseholderQr().solve((values.array() - at_zero).matrix());
  if(remainder)
  {
    const VectorXd rest = values - basis * *coefficients;
    remainder->assign(rest.data(), rest.data() + rest.size());
  }
  return true;
}

bool TModel::Keep_Start()
{
  for(TFunction& function : d_functions)
  {
    VectorXd coefficients;
    std::vector<double> remainder;
    if(!Start_Function(function, &coefficients, &remainder))
    {
      return false;
    }
    // A start the basis expresses (to far below any reading) is written as the fit gives it.
    double largest = 0.0;
    for(const double value : remainder)
    {
      largest = std::max(largest, std::fabs(value));
    }
    if(largest > KEPT_REMAINDER)
    {
      function.remainder = remainder;
      function.start_coefficients = coefficients;
    }
  }
  return true;
}

double TModel::Function_Value(const TFunction& function, int position, const VectorXd& u) const
{
  const double value =
      Basis(function, function.positions[position] / 1000.0).dot(u.segment(function.first, function.degree));
  return function.remainder.empty() ? value : value + function.remainder[position];
}

bool TModel::Setup(const VectorXd& u, TMachineComp* machine, QString* error) const
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
    for(std::size_t position = 0; position < function.positions.size(); ++position)
    {
      values.values.push_back(Function_Value(function, static_cast<int>(position), u));
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

double TModel::Function_Value_At(const TFunction& function, double position, const VectorXd& u) const
{
  const VectorXd basis = Basis(function, position / 1000.0);
  double value = basis.dot(u.segment(function.first, function.degree));
  if(!function.remainder.empty())
  {
    // The start's own value there, less its part in the basis.
    TExpression expression;
    expression.Add_Variable(QStringLiteral("L"), position / 1000.0);
    bool ok = false;
    const double start = expression.Evaluate(function.item.expression, &ok);
    if(ok && std::isfinite(start))
    {
      value += start - basis.dot(function.start_coefficients);
    }
  }
  return value;
}

QString TModel::Function_Text(const TFunction& function, const VectorXd& u) const
{
  VectorXd a = u.segment(function.first, function.degree);
  if(!function.remainder.empty())
  {
    a -= function.start_coefficients;
  }
  const VectorXd c = function.transform * a;
  const double extent = std::max(std::fabs(function.start), std::fabs(function.end)) / 1000.0;
  const QString polynomial =
      Identify::Polynomial_Text(std::vector<double>(c.data(), c.data() + c.size()), extent > 0.0 ? extent : 1.0);
  if(function.remainder.empty())
  {
    return polynomial;
  }
  if(polynomial == QLatin1String("0"))
  {
    return function.item.expression;
  }
  return QStringLiteral("(%1)%2%3")
      .arg(function.item.expression, polynomial.startsWith(QLatin1Char('-')) ? QString() : QStringLiteral("+"),
           polynomial);
}

std::vector<std::pair<int, int>> TModel::Sign_Groups() const
{
  // The angles and the deflection: the laser reads their table values whatever the sign option,
  // while the positions take the sign, so the option is seen in the data.
  std::vector<std::pair<int, int>> groups;
  for(const TFunction& function : d_functions)
  {
    if(function.item.parameter != PARAMETER_SCALE)
    {
      groups.emplace_back(function.first, function.degree);
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

void TModel::Flip_Sign(int first)
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

TPredictor::TPredictor(const TModel& model, std::vector<TMeasurement*> records,
                       const std::vector<TObservation>& observations)
    : d_model(model), d_records(std::move(records)), d_observations(observations)
{
}

bool TPredictor::Predict(const VectorXd& u, VectorXd* predicted, QString* error)
{
  TMachineComp machine;
  if(!d_model.Setup(u, &machine, error))
  {
    return false;
  }
  return Predict(machine, predicted, error);
}

bool TPredictor::Predict(const TMachineComp& machine, VectorXd* predicted, QString* error)
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
      value = arm.Length();
      break;
    }
    }
    (*predicted)(static_cast<int>(row)) = value;
  }
  return true;
}

bool Machine_Jacobian(const TSimulate& simulate, const VectorXd& u, int readings, MatrixXd* jacobian)
{
  std::vector<int> columns(static_cast<std::size_t>(u.size()));
  for(int column = 0; column < u.size(); ++column)
  {
    columns[static_cast<std::size_t>(column)] = column;
  }
  return Machine_Columns(simulate, u, columns, readings, jacobian);
}

bool Machine_Columns(const TSimulate& simulate, const VectorXd& u, const std::vector<int>& columns, int readings,
                     MatrixXd* jacobian)
{
  jacobian->resize(readings, static_cast<int>(columns.size()));
  VectorXd plus;
  VectorXd minus;
  for(std::size_t index = 0; index < columns.size(); ++index)
  {
    const int column = columns[index];
    VectorXd shifted = u;
    shifted(column) = u(column) + DERIVATIVE_STEP;
    if(!simulate(shifted, &plus))
    {
      return false;
    }
    shifted(column) = u(column) - DERIVATIVE_STEP;
    if(!simulate(shifted, &minus))
    {
      return false;
    }
    jacobian->col(static_cast<int>(index)) = (plus - minus) / (2.0 * DERIVATIVE_STEP);
  }
  return true;
}
} // namespace Identify
