// Machine set-up from a record and the evaluation of the measurements' expression texts.
// The expansion into result rows is in simulation_items.cpp.

#include "src/model/simulation.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "core/expression.h"
#include "core/varlume_assert.h"

namespace
{
double Component(const TVector3& vector, int axis)
{
  switch(axis)
  {
  case AXIS_X:
    return vector.x;
  case AXIS_Y:
    return vector.y;
  default:
    return vector.z;
  }
}

// Limits of the measurement values.
const double MINIMUM_LASER_INCREMENT = 20.0;
const double MINIMUM_ARM_LENGTH = 50.0;
const int MAXIMUM_AZIMUTH_COUNT = 36;
const int MAXIMUM_ELEVATION_COUNT = 144;
const double MAXIMUM_ELEVATION = 45.0;
// A ball bar direction shorter than this is replaced by +X.
const double MINIMUM_DIRECTION_LENGTH = 1e-6;

// One evaluation pass: the expression with its variables, the error list and the result.
class TEvaluator
{
public:
  explicit TEvaluator(QStringList* errors) : d_errors(errors) {}

  // Each measurement's messages as well, by its place in the list (may be null).
  void Keep_Per_Measurement(Simulation::TPreparedRecords* prepared) { d_prepared = prepared; }
  void Set_Index(std::size_t index) { d_index = index; }

  // The value of text, stored by the caller whatever happens. An invalid text, or one whose
  // value is not finite (0/0, 1/0, SQRT(-1)), yields 0 and valid false.
  double Value(const QString& text, bool* valid)
  {
    bool ok = false;
    const double value = d_expression.Evaluate(text, &ok);
    *valid = ok && std::isfinite(value);
    return *valid ? value : 0.0;
  }

  // Appends "<name>: <message>" and spoils the result.
  void Fail(const TMeasurement& measurement, const QString& message)
  {
    d_result = false;
    Note(measurement, message);
  }

  // Appends "<name>: <message>" without spoiling the result.
  void Note(const TMeasurement& measurement, const QString& message)
  {
    const QString line = QStringLiteral("%1: ").arg(measurement.d_name) + message;
    if(d_errors)
    {
      d_errors->push_back(line);
    }
    if(d_prepared)
    {
      d_prepared->lines[d_index].push_back(line);
      d_prepared->messages[d_index].push_back(message);
    }
  }

  void Add_Variable(const char* name, double value) { d_expression.Add_Variable(QLatin1String(name), value); }
  bool Result() const { return d_result; }

private:
  TExpression d_expression;
  QStringList* d_errors;
  Simulation::TPreparedRecords* d_prepared = nullptr;
  std::size_t d_index = 0;
  bool d_result = true;
};

// Truncated toward zero; values beyond the int range are held at its ends.
int Truncated_Count(double value)
{
  const double truncated = std::trunc(value);
  if(truncated >= static_cast<double>(std::numeric_limits<int>::max()))
  {
    return std::numeric_limits<int>::max();
  }
  if(truncated <= static_cast<double>(std::numeric_limits<int>::min()))
  {
    return std::numeric_limits<int>::min();
  }
  return static_cast<int>(truncated);
}

// Targets of a laser run: floor(length / increment) + 1, as a double so that it cannot wrap.
double Laser_Target_Count(const TMeasurement_Laser& laser)
{
  // Below 1 mm the step counts as 10 mm, not as the minimum of 20: deliberate (expressions
  // refuse any step under 20 mm), and it keeps the count finite when rows are made anyway.
  const double increment = laser.d_increment < 1.0 ? 10.0 : laser.d_increment;
  return std::floor((laser.d_end - laser.d_start).Length() / increment) + 1.0;
}

// The expression fields of one measurement, found in its field table by their element names,
// and the messages about them: "<kind> Expression: <element> <problem>".
class TFields
{
public:
  TFields(TEvaluator* evaluator, TMeasurement* measurement, const char* kind)
      : d_evaluator(evaluator), d_measurement(measurement), d_kind(kind), d_fields(Measurement_Fields(*measurement))
  {
  }

  // The value of the field's text; an invalid text yields 0 and "... <element> invalid".
  double Value(const char* element)
  {
    const QString& text = Text(element);
    bool valid = false;
    const double value = d_evaluator->Value(text, &valid);
    if(!valid)
    {
      Fail(element, "invalid");
    }
    return value;
  }

  // "... <element> <problem>"; spoils the result.
  void Fail(const char* element, const char* problem)
  {
    d_evaluator->Fail(*d_measurement, QLatin1String(d_kind) + QLatin1String(" Expression: ") + QLatin1String(element) +
                                          QLatin1Char(' ') + QLatin1String(problem));
  }

private:
  const QString& Text(const char* element) const
  {
    for(const TMeasurementField& field : d_fields)
    {
      if(field.text && std::strcmp(field.element, element) == 0)
      {
        return *field.text;
      }
    }
    VARLUME_ASSERT(false);
    static const QString none;
    return none;
  }

  TEvaluator* d_evaluator;
  TMeasurement* d_measurement;
  const char* d_kind;
  std::vector<TMeasurementField> d_fields;
};

void Evaluate_Laser(TEvaluator* evaluator, TMeasurement_Laser* laser)
{
  TFields fields(evaluator, laser, "Laser_Measurement");
  laser->d_start.x = fields.Value("Start_Position_X");
  laser->d_start.y = fields.Value("Start_Position_Y");
  laser->d_start.z = fields.Value("Start_Position_Z");
  laser->d_end.x = fields.Value("End_Position_X");
  laser->d_end.y = fields.Value("End_Position_Y");
  laser->d_end.z = fields.Value("End_Position_Z");
  laser->d_increment = fields.Value("Increment");
  // A run so long that it has more targets than a simulation may make is refused like a step
  // that is too short: the user's remedy is the same.
  if(laser->d_increment < MINIMUM_LASER_INCREMENT || !(Laser_Target_Count(*laser) <= Simulation::MAXIMUM_ROWS))
  {
    fields.Fail("Increment", "too short");
  }
}

void Evaluate_ISO(TEvaluator* evaluator, TMeasurement_ISO* iso)
{
  TFields fields(evaluator, iso, "ISO_Measurement");
  iso->d_start.x = fields.Value("Start_Position_X");
  iso->d_start.y = fields.Value("Start_Position_Y");
  iso->d_start.z = fields.Value("Start_Position_Z");
  iso->d_end.x = fields.Value("End_Position_X");
  iso->d_end.y = fields.Value("End_Position_Y");
  iso->d_end.z = fields.Value("End_Position_Z");
}

void Evaluate_MCG(TEvaluator* evaluator, TMeasurement_MCG* mcg)
{
  TFields fields(evaluator, mcg, "MCG_Measurement");
  // The length first: the other fields may use L and R.
  mcg->d_length = fields.Value("Length");
  if(mcg->d_length < MINIMUM_ARM_LENGTH)
  {
    fields.Fail("Length", "too short");
  }
  evaluator->Add_Variable("L", mcg->d_length);
  evaluator->Add_Variable("R", mcg->d_length * 0.5);

  mcg->d_position.x = fields.Value("Position_X");
  mcg->d_position.y = fields.Value("Position_Y");
  mcg->d_position.z = fields.Value("Position_Z");

  mcg->d_azimuth_count = Truncated_Count(fields.Value("Azimuth_Count"));
  if(mcg->d_azimuth_count > MAXIMUM_AZIMUTH_COUNT)
  {
    fields.Fail("Azimuth_Count", "too large");
  }
  mcg->d_elevation_count = Truncated_Count(fields.Value("Elevation_Count"));
  if(mcg->d_elevation_count > MAXIMUM_ELEVATION_COUNT)
  {
    fields.Fail("Elevation_Count", "too large");
  }

  mcg->d_start_elevation = fields.Value("Start_Elevation");
  if(std::fabs(mcg->d_start_elevation) > MAXIMUM_ELEVATION)
  {
    fields.Fail("Start_Elevation", "out of range");
  }
  mcg->d_end_elevation = fields.Value("End_Elevation");
  if(std::fabs(mcg->d_end_elevation) > MAXIMUM_ELEVATION)
  {
    fields.Fail("End_Elevation", "out of range");
  }
}

void Evaluate_Ballbar(TEvaluator* evaluator, TMeasurement_Ballbar* ballbar)
{
  TFields fields(evaluator, ballbar, "BallBar_Measurement");
  // The length, then the direction: the position may use L, R, I, J and K.
  ballbar->d_length = fields.Value("Length");
  if(ballbar->d_length < MINIMUM_ARM_LENGTH)
  {
    fields.Fail("Length", "too short");
  }
  evaluator->Add_Variable("L", ballbar->d_length);
  evaluator->Add_Variable("R", ballbar->d_length * 0.5);

  TVector3 direction;
  direction.x = fields.Value("Direction_I");
  direction.y = fields.Value("Direction_J");
  direction.z = fields.Value("Direction_K");
  double length = direction.Length();
  if(length < MINIMUM_DIRECTION_LENGTH)
  {
    direction = TVector3(1.0, 0.0, 0.0);
    length = 1.0;
    // A note, not a failure: the bar is simulated along +X.
    evaluator->Note(*ballbar, QStringLiteral("BallBar_Measurement Expression: Direction_IJK invalid.  Using <1,0,0>"));
  }
  else if(!std::isfinite(length))
  {
    // Components near the double range square to infinity; scale them down first.
    const double largest = std::fmax(std::fabs(direction.x), std::fmax(std::fabs(direction.y), std::fabs(direction.z)));
    direction = TVector3(direction.x / largest, direction.y / largest, direction.z / largest);
    length = direction.Length();
  }
  ballbar->d_direction = TVector3(direction.x / length, direction.y / length, direction.z / length);
  evaluator->Add_Variable("I", ballbar->d_direction.x);
  evaluator->Add_Variable("J", ballbar->d_direction.y);
  evaluator->Add_Variable("K", ballbar->d_direction.z);

  ballbar->d_position.x = fields.Value("Position_X");
  ballbar->d_position.y = fields.Value("Position_Y");
  ballbar->d_position.z = fields.Value("Position_Z");
}
} // namespace

namespace Simulation
{
TMachineRecord Machine_Record(const TMachineLibrary::TMachineItem& machine)
{
  TMachineRecord record;
  record.name = machine.name;
  record.kinematic = machine.kinematic;
  record.axis_start = machine.axis_minimum;
  record.axis_end = machine.axis_maximum;
  record.math_origin = machine.math_origin;
  record.mechanical_origin = machine.mechanical_origin;
  record.error_items = TMachineLibrary::Map_Error_Items(machine);
  return record;
}

bool Find_Machine_Record(const TMachineLibrary& library, const QString& name, TMachineRecord* record)
{
  const int id = library.Machine_Id(name);
  if(id < 0)
  {
    return false;
  }
  record->name = library.Machine_Name(id);
  record->kinematic = library.Machine_Kinematic(id);
  record->axis_start = library.Machine_Axis_Start(id);
  record->axis_end = library.Machine_Axis_End(id);
  record->math_origin = library.Machine_Math_Origin(id);
  record->mechanical_origin = library.Machine_Mechanical_Origin(id);
  record->error_items = library.Map_Error_Items(id);
  return true;
}

bool Update_Machine_Comp(const TMachineLibrary& library, const QString& name, TMachineComp* machine,
                         QStringList* errors, TVolumeChange* volume)
{
  TMachineRecord record;
  if(!Find_Machine_Record(library, name, &record))
  {
    if(errors)
    {
      errors->push_back(QStringLiteral("Machine not found."));
    }
    if(volume)
    {
      *volume = TVolumeChange::CLEARED;
    }
    return false;
  }
  return Setup_Machine_Comp(record, machine, errors, volume);
}
bool Init_Parameters(const TMachineRecord& record, TMachineComp::TInitParameters* parameters)
{
  VARLUME_ASSERT(parameters);

  int order[3];
  switch(record.kinematic)
  {
  case KINEMATIC_XYZ:
    order[0] = AXIS_X, order[1] = AXIS_Y, order[2] = AXIS_Z;
    break;
  case KINEMATIC_YXZ:
    order[0] = AXIS_Y, order[1] = AXIS_X, order[2] = AXIS_Z;
    break;
  case KINEMATIC_XZY:
    order[0] = AXIS_X, order[1] = AXIS_Z, order[2] = AXIS_Y;
    break;
  case KINEMATIC_YZX:
    order[0] = AXIS_Y, order[1] = AXIS_Z, order[2] = AXIS_X;
    break;
  default:
    return false;
  }

  parameters->kinematic = record.kinematic;
  parameters->first_axis = order[0];
  parameters->second_axis = order[1];
  parameters->third_axis = order[2];

  parameters->first_axis_start = Component(record.axis_start, order[0]);
  parameters->first_axis_end = Component(record.axis_end, order[0]);
  parameters->first_axis_math_origin = Component(record.math_origin, order[0]);
  parameters->first_axis_mechanical_origin = Component(record.mechanical_origin, order[0]);
  parameters->second_axis_start = Component(record.axis_start, order[1]);
  parameters->second_axis_end = Component(record.axis_end, order[1]);
  parameters->second_axis_math_origin = Component(record.math_origin, order[1]);
  parameters->second_axis_mechanical_origin = Component(record.mechanical_origin, order[1]);
  parameters->third_axis_start = Component(record.axis_start, order[2]);
  parameters->third_axis_end = Component(record.axis_end, order[2]);
  parameters->third_axis_math_origin = Component(record.math_origin, order[2]);
  parameters->third_axis_mechanical_origin = Component(record.mechanical_origin, order[2]);
  return true;
}

bool Apply_Error_Item(TMachineComp* machine, const TMachineLibrary::TMapErrorItem& item)
{
  VARLUME_ASSERT(machine);

  switch(item.parameter)
  {
  case PARAMETER_RX:
    return machine->Set_Rx(item.axis, item.expression, item.sign);
  case PARAMETER_RY:
    return machine->Set_Ry(item.axis, item.expression, item.sign);
  case PARAMETER_RZ:
    return machine->Set_Rz(item.axis, item.expression, item.sign);
  case PARAMETER_SCALE:
    return machine->Set_Scale(item.axis, item.expression, item.sign);
  case PARAMETER_DEFLECTION:
    return machine->Set_Deflection(item.axis, item.value, item.sign);
  case PARAMETER_QXY:
    return machine->Set_Quad(AXIS_X, item.value, item.sign);
  case PARAMETER_QYZ:
    return machine->Set_Quad(AXIS_Y, item.value, item.sign);
  case PARAMETER_QZX:
    return machine->Set_Quad(AXIS_Z, item.value, item.sign);
  default:
    return true;
  }
}

bool Setup_Machine_Comp(const TMachineRecord& record, TMachineComp* machine, QStringList* errors, TVolumeChange* volume)
{
  VARLUME_ASSERT(machine);

  if(volume)
  {
    *volume = TVolumeChange::UNCHANGED;
  }

  TMachineComp::TInitParameters parameters;
  if(!Init_Parameters(record, &parameters))
  {
    return false;
  }
  if(!machine->Initialize_Begin(parameters))
  {
    if(errors)
    {
      errors->push_back(machine->Last_Error());
    }
    return false;
  }
  if(volume)
  {
    *volume = TVolumeChange::DEFINED;
  }

  bool result = true;
  for(const TMachineLibrary::TMapErrorItem& item : record.error_items)
  {
    if(!Apply_Error_Item(machine, item))
    {
      if(errors)
      {
        errors->push_back(machine->Last_Error());
      }
      result = false;
    }
  }

  try
  {
    if(!machine->Initialize_End())
    {
      return false;
    }
  }
  catch(const TMachineAxisException& exception)
  {
    if(errors)
    {
      errors->push_back(exception.Message());
    }
    return false;
  }
  return result;
}

namespace
{
bool Evaluate_All(const TMachineComp* active_machine, std::vector<TMeasurement*>* measurements, TEvaluator& evaluator)
{

  const TVector3 minimum = active_machine->Map_Data_Min();
  const TVector3 maximum = active_machine->Map_Data_Max();
  const TVector3 middle = (minimum + maximum) / 2.0;
  const TVector3 travel = maximum - minimum;
  evaluator.Add_Variable("XMin", minimum.x);
  evaluator.Add_Variable("YMin", minimum.y);
  evaluator.Add_Variable("ZMin", minimum.z);
  evaluator.Add_Variable("XMax", maximum.x);
  evaluator.Add_Variable("YMax", maximum.y);
  evaluator.Add_Variable("ZMax", maximum.z);
  evaluator.Add_Variable("XMid", middle.x);
  evaluator.Add_Variable("YMid", middle.y);
  evaluator.Add_Variable("ZMid", middle.z);
  evaluator.Add_Variable("AxisMin", std::fmin(travel.x, std::fmin(travel.y, travel.z)));
  evaluator.Add_Variable("AxisMax", std::fmax(travel.x, std::fmax(travel.y, travel.z)));

  for(std::size_t index = 0; index < measurements->size(); ++index)
  {
    TMeasurement* measurement = (*measurements)[index];
    VARLUME_ASSERT(measurement);
    evaluator.Set_Index(index);
    // The probe offset is a plain number from the file or the editor, not an expression; a
    // value that is not finite would give rows of nan.
    const TVector3& probe = measurement->d_probe_offset;
    if(!std::isfinite(probe.x) || !std::isfinite(probe.y) || !std::isfinite(probe.z))
    {
      evaluator.Fail(*measurement, "Probe_Offset invalid");
    }
    switch(measurement->Type())
    {
    case Types::MEASUREMENT_LASER:
      Evaluate_Laser(&evaluator, static_cast<TMeasurement_Laser*>(measurement));
      break;
    case Types::MEASUREMENT_ISO:
      Evaluate_ISO(&evaluator, static_cast<TMeasurement_ISO*>(measurement));
      break;
    case Types::MEASUREMENT_MCG:
      Evaluate_MCG(&evaluator, static_cast<TMeasurement_MCG*>(measurement));
      break;
    case Types::MEASUREMENT_BALLBAR:
      Evaluate_Ballbar(&evaluator, static_cast<TMeasurement_Ballbar*>(measurement));
      break;
    }
  }
  return evaluator.Result();
}
} // namespace

bool Evaluate_Measurement_Expressions(const TMachineComp* active_machine, std::vector<TMeasurement*>* measurements,
                                      QStringList* errors)
{
  VARLUME_ASSERT(active_machine);
  VARLUME_ASSERT(measurements);

  if(errors)
  {
    errors->clear();
  }
  TEvaluator evaluator(errors);
  return Evaluate_All(active_machine, measurements, evaluator);
}

TPreparedRecords Prepare_Records(const TMachineComp& machine, const std::vector<const TMeasurement*>& records)
{
  TPreparedRecords prepared;
  std::vector<TMeasurement*> list;
  for(const TMeasurement* record : records)
  {
    prepared.copies.push_back(Copy_Measurement(*record));
    list.push_back(prepared.copies.back().get());
  }
  prepared.lines.resize(list.size());
  prepared.messages.resize(list.size());
  TEvaluator evaluator(nullptr);
  evaluator.Keep_Per_Measurement(&prepared);
  Evaluate_All(&machine, &list, evaluator);
  return prepared;
}

long long Expected_Row_Count(const TMeasurement& measurement)
{
  switch(measurement.Type())
  {
  case Types::MEASUREMENT_BALLBAR:
    return 1;
  case Types::MEASUREMENT_ISO:
    return 5;
  case Types::MEASUREMENT_LASER:
  {
    const double count = Laser_Target_Count(static_cast<const TMeasurement_Laser&>(measurement));
    // Not a number or beyond any sensible size: report it as too many.
    return count <= 1e15 ? static_cast<long long>(count) : std::numeric_limits<long long>::max();
  }
  case Types::MEASUREMENT_MCG:
  {
    const TMeasurement_MCG& mcg = static_cast<const TMeasurement_MCG&>(measurement);
    const long long azimuths = std::max(mcg.d_azimuth_count, 2);
    const long long elevations = std::max(mcg.d_elevation_count, 2);
    return azimuths * elevations;
  }
  }
  return 0;
}
} // namespace Simulation
