#include "src/model/machinecomp.h"

#include <cmath>

#include "core/varlume_assert.h"

namespace
{
// A position may lie this far outside the travel and still count as inside the volume.
const double VOLUME_MARGIN = 5.0;

// Index of the coordinate that an axis value moves along, -1 for no known axis.
int Direction_Index(int axis)
{
  switch(axis)
  {
  case AXIS_X:
    return 0;
  case AXIS_Y:
    return 1;
  case AXIS_Z:
    return 2;
  default:
    break;
  }
  return -1;
}

// Inline component access: Evaluate runs for every simulated point.
double Component(const TVector3& v, int index)
{
  return index == 0 ? v.x : (index == 1 ? v.y : v.z);
}

double& Component(TVector3& v, int index)
{
  return index == 0 ? v.x : (index == 1 ? v.y : v.z);
}

TVector3 Unit(int index)
{
  return TVector3(index == 0 ? 1.0 : 0.0, index == 1 ? 1.0 : 0.0, index == 2 ? 1.0 : 0.0);
}

QString Axis_Name(int axis)
{
  switch(axis)
  {
  case AXIS_X:
    return QStringLiteral("X Axis");
  case AXIS_Y:
    return QStringLiteral("Y Axis");
  case AXIS_Z:
    return QStringLiteral("Z Axis");
  default:
    break;
  }
  return QStringLiteral("Axis");
}

// Start below end, both finite: an infinite travel has no table positions.
bool Travel_Valid(const double& start, const double& end)
{
  return std::isfinite(start) && std::isfinite(end) && start < end;
}

// Bounds included; a value that is not a number lies nowhere.
bool Inside(const double& value, const double& start, const double& end)
{
  return value >= start && value <= end;
}

bool Known_Kinematic(int kinematic)
{
  return kinematic == KINEMATIC_XYZ || kinematic == KINEMATIC_YXZ || kinematic == KINEMATIC_XZY ||
         kinematic == KINEMATIC_YZX;
}

// Angle for the rotation of the chain: with the sign option "CCW = Pos" a positive table value
// turns right-handed about its axis, which the convention of TMat4::Rotate needs negated.
double Rotation_Angle(const double& value, int sign)
{
  return sign >= 0 ? -value : value;
}

// The 3x3 rotation block e applied to p.
TVector3 Rotated(const double* e, const TVector3& p)
{
  return TVector3(e[0] * p.x + e[1] * p.y + e[2] * p.z, e[3] * p.x + e[4] * p.y + e[5] * p.z,
                  e[6] * p.x + e[7] * p.y + e[8] * p.z);
}

// The accumulated rotation of the chain: a TMat4 whose translation stays zero and whose fourth
// row stays (0, 0, 0, 1), so only its 3x3 block is kept (in TChainState::rotation). Rotate has
// the arithmetic of TMat4::Rotate term by term; the terms that it leaves out are products with
// those zeros and change no value.
struct TChainRotation
{
  double (&e)[9];

  // Composes a rotation about the current row (the axis as turned so far) after the matrix;
  // ca and sa are the cosine and sine of angle.
  void Rotate(int row, double angle, double ca, double sa)
  {
    // A zero angle gives the identity exactly: skipping it changes no value, and most
    // parameters of an evaluation pattern are unset.
    if(angle == 0.0)
    {
      return;
    }
    const double ux = e[3 * row];
    const double uy = e[3 * row + 1];
    const double uz = e[3 * row + 2];
    const double t = 1.0 - ca;

    const double r[9] = {ux * ux * t + ca,      ux * uy * t + uz * sa, ux * uz * t - uy * sa,
                         ux * uy * t - uz * sa, uy * uy * t + ca,      uy * uz * t + ux * sa,
                         ux * uz * t + uy * sa, uy * uz * t - ux * sa, uz * uz * t + ca};
    double product[9];
    for(int i = 0; i < 3; ++i)
    {
      for(int c = 0; c < 3; ++c)
      {
        product[3 * i + c] = r[3 * i] * e[c] + r[3 * i + 1] * e[3 + c] + r[3 * i + 2] * e[6 + c];
      }
    }
    for(int i = 0; i < 9; ++i)
    {
      e[i] = product[i];
    }
  }

  TVector3 operator*(const TVector3& p) const { return Rotated(e, p); }
};

// What one axis table gives at a position: its values, the scale sign applied, and the
// rotation angles with their cosines and sines (left at 1 and 0 for a zero angle, which
// rotates nothing).
void Axis_Stage(const TMachineStandardComp& table, const TVector3& position, TMachineComp::TStage* stage)
{
  const int direction = Direction_Index(table.d_axis);
  const double axis_position = direction < 0 ? 0.0 : Component(position, direction);

  TVector3 angular;
  TVector3 linear;
  table.Data(axis_position, &angular, &linear);
  const double rx = angular.x / 1000.0;
  const double ry = angular.y / 1000.0;
  const double rz = angular.z / 1000.0;

  if(direction >= 0)
  {
    double& scale = Component(linear, direction);
    scale = scale * (table.d_scale_sign < 0 ? -1.0 : 1.0);
  }

  stage->direction = direction;
  stage->axis_position = axis_position;
  stage->linear = linear;
  stage->angle[0] = Rotation_Angle(rx, table.d_rx_sign);
  stage->angle[1] = Rotation_Angle(ry, table.d_ry_sign);
  stage->angle[2] = Rotation_Angle(rz, table.d_rz_sign);
  for(int r = 0; r < 3; ++r)
  {
    if(stage->angle[r] != 0.0)
    {
      stage->cos[r] = std::cos(stage->angle[r]);
      stage->sin[r] = std::sin(stage->angle[r]);
    }
    else
    {
      stage->cos[r] = 1.0;
      stage->sin[r] = 0.0;
    }
  }
}

// One axis stage of the chain: the axis's own errors, the lever arm that the rotations below
// turn, then the axis's three rotations.
void Chain_Stage_Step(const TMachineStandardComp& table, int index, const TMachineComp::TStage& stage,
                      TMachineComp::TChainState* state)
{
  TChainRotation m{state->rotation};
  TVector3& error = state->error;
  error = error + stage.linear;

  // The arm from the math origin plus the fixed offset of the mechanical origin. The first
  // axis carries no arm.
  if(index > 0 && stage.direction >= 0)
  {
    const TVector3 u = Unit(stage.direction);
    const TVector3 w1 = (stage.axis_position - table.d_math_origin) * u;
    const TVector3 w2 = (table.d_mechanical_origin - table.d_math_origin) * u;
    error = error + (m * w1 - w1);
    error = error + (m * w2 - w2);
  }

  m.Rotate(0, stage.angle[0], stage.cos[0], stage.sin[0]);
  m.Rotate(1, stage.angle[1], stage.cos[1], stage.sin[1]);
  m.Rotate(2, stage.angle[2], stage.cos[2], stage.sin[2]);
}

// The three axis stages of the chain, base first. stages, when given, hold what Axis_Stage
// gives for each table at this position; otherwise the tables are looked up.
void Add_Axis_Chain(const TMachineStandardComp (&axes)[3], const TVector3& position,
                    const TMachineComp::TStage* const* stages, TMachineComp::TChainState* state)
{
  for(int i = 0; i < 3; ++i)
  {
    TMachineComp::TStage looked_up;
    if(!stages)
    {
      Axis_Stage(axes[i], position, &looked_up);
    }
    Chain_Stage_Step(axes[i], i, stages ? *stages[i] : looked_up, state);
  }
}
} // namespace

bool TMachineComp::Initialize_Begin(const TInitParameters& parameters)
{
  const TInitParameters& p = parameters;
  if(d_initializing)
  {
    Set_Error(QStringLiteral("Incorrect mode to start initialization"));
    return false;
  }

  const char* names[3] = {"first", "second", "third"};
  const int axis_values[3] = {p.first_axis, p.second_axis, p.third_axis};
  const double starts[3] = {p.first_axis_start, p.second_axis_start, p.third_axis_start};
  const double ends[3] = {p.first_axis_end, p.second_axis_end, p.third_axis_end};
  const double math_origins[3] = {p.first_axis_math_origin, p.second_axis_math_origin, p.third_axis_math_origin};
  const double mechanical_origins[3] = {p.first_axis_mechanical_origin, p.second_axis_mechanical_origin,
                                        p.third_axis_mechanical_origin};

  // Each check runs over all three axes before the next one.
  for(int i = 0; i < 3; ++i)
  {
    if(!Travel_Valid(starts[i], ends[i]))
    {
      Set_Error(QStringLiteral("%1 axis start and end positions not valid").arg(QLatin1String(names[i])));
      return false;
    }
  }
  for(int i = 0; i < 3; ++i)
  {
    if(!Inside(math_origins[i], starts[i], ends[i]))
    {
      Set_Error(QStringLiteral("%1 axis math origin not inside axis").arg(QLatin1String(names[i])));
      return false;
    }
  }
  for(int i = 0; i < 3; ++i)
  {
    if(!Inside(mechanical_origins[i], starts[i], ends[i]))
    {
      Set_Error(QStringLiteral("%1 axis machine origin not inside axis").arg(QLatin1String(names[i])));
      return false;
    }
  }
  if(p.first_axis == p.second_axis)
  {
    Set_Error(QStringLiteral("first and second axis duplicated"));
    return false;
  }
  if(p.first_axis == p.third_axis)
  {
    Set_Error(QStringLiteral("first and third axis duplicated"));
    return false;
  }
  if(p.second_axis == p.third_axis)
  {
    Set_Error(QStringLiteral("second and third axis duplicated"));
    return false;
  }

  d_init_parameters = parameters;
  for(int i = 0; i < 3; ++i)
  {
    d_axes[i].d_axis_start = starts[i];
    d_axes[i].d_axis_end = ends[i];
    d_axes[i].d_math_origin = math_origins[i];
    d_axes[i].d_mechanical_origin = mechanical_origins[i];
  }

  // The tower is the Z axis; the arm is Y on an X-Z-Y machine and X on a Y-Z-X machine.
  int horizontal_axis = 0;
  if(p.kinematic == KINEMATIC_XZY)
  {
    horizontal_axis = AXIS_Y;
  }
  else if(p.kinematic == KINEMATIC_YZX)
  {
    horizontal_axis = AXIS_X;
  }
  d_deflection.Set_Vertical_Axis(0.0, 0.0, 0.0);
  d_deflection.Set_Horizontal_Axis(0.0, 0.0, 0.0);
  for(int i = 0; i < 3 && horizontal_axis != 0; ++i)
  {
    if(axis_values[i] == AXIS_Z)
    {
      d_deflection.Set_Vertical_Axis(starts[i], ends[i], mechanical_origins[i]);
    }
    if(axis_values[i] == horizontal_axis)
    {
      d_deflection.Set_Horizontal_Axis(starts[i], ends[i], mechanical_origins[i]);
    }
  }

  for(int i = 0; i < 3; ++i)
  {
    d_axes[i].Initialize(axis_values[i]);
  }
  d_deflection.Initialize(0.0, 1);

  d_initializing = true;
  d_valid = false;
  return true;
}

bool TMachineComp::Set_Rx(int axis, const QString& expression, int sign)
{
  return Set_Expression(axis, expression, nullptr, sign, &TMachineStandardComp::Set_Rx, QStringLiteral("Rx"));
}

bool TMachineComp::Set_Ry(int axis, const QString& expression, int sign)
{
  return Set_Expression(axis, expression, nullptr, sign, &TMachineStandardComp::Set_Ry, QStringLiteral("Ry"));
}

bool TMachineComp::Set_Rz(int axis, const QString& expression, int sign)
{
  return Set_Expression(axis, expression, nullptr, sign, &TMachineStandardComp::Set_Rz, QStringLiteral("Rz"));
}

bool TMachineComp::Set_Scale(int axis, const QString& expression, int sign)
{
  return Set_Expression(axis, expression, nullptr, sign, &TMachineStandardComp::Set_Scale, QStringLiteral("Scale"));
}

bool TMachineComp::Evaluate_Axis_Values(int axis, const QString& expression, TMachineAxisValues* values) const
{
  const TMachineStandardComp* table = Axis_Table(axis);
  if(!table || table->Data_Size() == 0)
  {
    return false;
  }
  *values = table->Evaluate_Expression(expression);
  return true;
}

bool TMachineComp::Set_Rx(int axis, const TMachineAxisValues& values, int sign)
{
  return Set_Expression(axis, values.expression, &values, sign, &TMachineStandardComp::Set_Rx, QStringLiteral("Rx"));
}

bool TMachineComp::Set_Ry(int axis, const TMachineAxisValues& values, int sign)
{
  return Set_Expression(axis, values.expression, &values, sign, &TMachineStandardComp::Set_Ry, QStringLiteral("Ry"));
}

bool TMachineComp::Set_Rz(int axis, const TMachineAxisValues& values, int sign)
{
  return Set_Expression(axis, values.expression, &values, sign, &TMachineStandardComp::Set_Rz, QStringLiteral("Rz"));
}

bool TMachineComp::Set_Scale(int axis, const TMachineAxisValues& values, int sign)
{
  return Set_Expression(axis, values.expression, &values, sign, &TMachineStandardComp::Set_Scale,
                        QStringLiteral("Scale"));
}

bool TMachineComp::Set_Expression(int axis, const QString& expression, const TMachineAxisValues* values, int sign,
                                  TValuesSetter setter, const QString& parameter)
{
  if(!d_initializing)
  {
    Set_Error(QStringLiteral("Incorrect mode to set %1 parameter").arg(parameter));
    return false;
  }
  TMachineStandardComp* table = Axis_Table(axis);
  if(!table)
  {
    // Only the scale insists on an axis; an angle of an axis that the chain lacks changes nothing.
    if(setter == static_cast<TValuesSetter>(&TMachineStandardComp::Set_Scale))
    {
      Set_Error(QStringLiteral("Set scale error.  Axis not specified"));
      return false;
    }
    return true;
  }
  try
  {
    if(values)
    {
      (table->*setter)(*values, sign);
    }
    else
    {
      (table->*setter)(table->Evaluate_Expression(expression), sign);
    }
  }
  catch(const TMachineAxisException& exception)
  {
    Set_Error(QStringLiteral("%1: %2").arg(Axis_Name(table->d_axis), exception.Message()));
    return false;
  }
  return true;
}

bool TMachineComp::Set_Quad(int axis, const double& value, int sign)
{
  if(!d_initializing)
  {
    Set_Error(QStringLiteral("Incorrect mode to set Squareness parameter"));
    return false;
  }
  // A plain number from the file or the editor; not finite, it would give rows of nan.
  if(!std::isfinite(value))
  {
    Set_Error(QStringLiteral("Squareness value %1 invalid").arg(value));
    return false;
  }
  TMachineStandardComp* table = Axis_Table(axis);
  if(table)
  {
    table->Set_Quad(value, sign);
  }
  return true;
}

bool TMachineComp::Set_Deflection(int axis, const double& value, int sign)
{
  if(axis != AXIS_D)
  {
    Set_Error(QStringLiteral("Cannot set deflection for not deflection axis"));
    return false;
  }
  if(!std::isfinite(value))
  {
    Set_Error(QStringLiteral("Deflection value %1 invalid").arg(value));
    return false;
  }
  d_deflection.Initialize(value, sign);
  return true;
}

bool TMachineComp::Initialize_End()
{
  if(!d_initializing)
  {
    Set_Error(QStringLiteral("Incorrect mode to end initialization"));
    return false;
  }

  try
  {
    for(TMachineStandardComp& table : d_axes)
    {
      switch(table.d_axis)
      {
      case AXIS_X:
        table.Calculate_Straightness(TMachineStandardComp::STRAIGHTNESS_Y_FROM_RZ);
        table.Calculate_Straightness(TMachineStandardComp::STRAIGHTNESS_Z_FROM_RY);
        break;
      case AXIS_Y:
        table.Calculate_Straightness(TMachineStandardComp::STRAIGHTNESS_X_FROM_RZ);
        table.Calculate_Straightness(TMachineStandardComp::STRAIGHTNESS_Z_FROM_RX);
        break;
      case AXIS_Z:
        table.Calculate_Straightness(TMachineStandardComp::STRAIGHTNESS_X_FROM_RY);
        table.Calculate_Straightness(TMachineStandardComp::STRAIGHTNESS_Y_FROM_RX);
        break;
      default:
        break;
      }
    }
  }
  catch(const TMachineAxisException&)
  {
    // Half-derived tables are unusable, but the next set-up must still be able to start.
    d_initializing = false;
    d_valid = false;
    throw;
  }

  d_initializing = false;
  d_valid = true;
  return true;
}

TVector3 TMachineComp::Evaluate(const TVector3& position, const TVector3& probe_offset, bool* inside) const
{
  return Evaluate_Stages(position, probe_offset, nullptr, inside);
}

void TMachineComp::Chain_Stage(int index, const TVector3& position, TStage* stage) const
{
  VARLUME_ASSERT(index >= 0 && index < 3);
  VARLUME_ASSERT(stage);
  Axis_Stage(d_axes[index], position, stage);
}

TVector3 TMachineComp::Evaluate(const TVector3& position, const TVector3& probe_offset, const TStage* const* stages,
                                bool* inside) const
{
  VARLUME_ASSERT(stages && stages[0] && stages[1] && stages[2]);
  return Evaluate_Stages(position, probe_offset, stages, inside);
}

TVector3 TMachineComp::Evaluate_Stages(const TVector3& position, const TVector3& probe_offset,
                                       const TStage* const* stages, bool* inside) const
{
  if(inside)
  {
    *inside = false;
  }
  if(!d_valid)
  {
    Set_Error(QStringLiteral("Map data is invalid"));
    return TVector3();
  }

  if(!Known_Kinematic(d_init_parameters.kinematic))
  {
    Set_Error(QStringLiteral("Map data kinematic is invalid"));
    return position;
  }
  TVector3 error = Model_Error(position, probe_offset, stages);
  if(d_correction)
  {
    error = error - d_correction->Error(position, probe_offset);
  }

  if(Inside_Volume(position))
  {
    if(inside)
    {
      *inside = true;
    }
  }
  else
  {
    // Formatted only when asked for: points outside the volume are common in simulations.
    d_outside_pending = true;
    d_outside_position = position;
  }

  return position + error;
}

TVector3 TMachineComp::Model_Error(const TVector3& position, const TVector3& probe_offset,
                                   const TStage* const* stages) const
{
  switch(d_init_parameters.kinematic)
  {
  case KINEMATIC_XYZ:
    return Evaluate_XYZ(position, probe_offset, stages);
  case KINEMATIC_YXZ:
    return Evaluate_YXZ(position, probe_offset, stages);
  case KINEMATIC_XZY:
    return Evaluate_XZY(position, probe_offset, stages);
  case KINEMATIC_YZX:
    return Evaluate_YZX(position, probe_offset, stages);
  default:
    break;
  }
  return TVector3();
}

void TMachineComp::Chain_Step(int index, const TStage& stage, TChainState* state) const
{
  VARLUME_ASSERT(index >= 0 && index < 3);
  VARLUME_ASSERT(state);
  Chain_Stage_Step(d_axes[index], index, stage, state);
}

TVector3 TMachineComp::Probe_Error(const TChainState& state, const TVector3& probe_offset)
{
  return Rotated(state.rotation, probe_offset) - probe_offset;
}

TVector3 TMachineComp::Tower_Error(const TVector3& position) const
{
  switch(d_init_parameters.kinematic)
  {
  case KINEMATIC_XZY:
  {
    // The tower leans about X, growing with its height and with the arm's reach along Y.
    const double d = static_cast<double>(d_deflection.Sign()) * d_deflection.Evaluate(position.z, position.y) / 1000.0;
    return TVector3(0.0, (position.z - Mechanical_Origin(AXIS_Z)) * d, -((position.y - Mechanical_Origin(AXIS_Y)) * d));
  }
  case KINEMATIC_YZX:
  {
    // The tower leans about Y, growing with its height and with the arm's reach along X.
    const double d = static_cast<double>(d_deflection.Sign()) * d_deflection.Evaluate(position.z, position.x) / 1000.0;
    return TVector3(-((position.z - Mechanical_Origin(AXIS_Z)) * d), 0.0, (position.x - Mechanical_Origin(AXIS_X)) * d);
  }
  default:
    break;
  }
  return TVector3();
}

TVector3 TMachineComp::Squareness_Error(const TVector3& position) const
{
  const double q_xy = Squareness(AXIS_X);
  const double q_yz = Squareness(AXIS_Y);
  const double q_zx = Squareness(AXIS_Z);

  // On a YXZ machine the Y axis carries X.
  if(d_init_parameters.kinematic == KINEMATIC_YXZ)
  {
    return TVector3(q_zx * position.z / 1000.0, q_xy * position.x / 1000.0 + q_yz * position.z / 1000.0, 0.0);
  }
  return TVector3(q_xy * position.y / 1000.0 + q_zx * position.z / 1000.0, q_yz * position.z / 1000.0, 0.0);
}

// The chain, then on a horizontal-arm machine the tower, then the rotations of the probe offset
// and the squareness. Each term is worked out on its own and added component by component: a
// component that a term leaves alone is not touched (not even by adding zero).
TVector3 TMachineComp::Evaluate_XYZ(const TVector3& position, const TVector3& probe_offset,
                                    const TStage* const* stages) const
{
  TChainState state;
  Add_Axis_Chain(d_axes, position, stages, &state);
  TVector3 error = state.error;
  error = error + Probe_Error(state, probe_offset);
  Add_Squareness(position, &error);
  return error;
}

TVector3 TMachineComp::Evaluate_YXZ(const TVector3& position, const TVector3& probe_offset,
                                    const TStage* const* stages) const
{
  return Evaluate_XYZ(position, probe_offset, stages);
}

TVector3 TMachineComp::Evaluate_XZY(const TVector3& position, const TVector3& probe_offset,
                                    const TStage* const* stages) const
{
  TChainState state;
  Add_Axis_Chain(d_axes, position, stages, &state);
  TVector3 error = state.error;
  const TVector3 tower = Tower_Error(position);
  error.y += tower.y;
  error.z += tower.z;
  error = error + Probe_Error(state, probe_offset);
  Add_Squareness(position, &error);
  return error;
}

TVector3 TMachineComp::Evaluate_YZX(const TVector3& position, const TVector3& probe_offset,
                                    const TStage* const* stages) const
{
  TChainState state;
  Add_Axis_Chain(d_axes, position, stages, &state);
  TVector3 error = state.error;
  const TVector3 tower = Tower_Error(position);
  error.x += tower.x;
  error.z += tower.z;
  error = error + Probe_Error(state, probe_offset);
  Add_Squareness(position, &error);
  return error;
}

void TMachineComp::Add_Squareness(const TVector3& position, TVector3* error) const
{
  const TVector3 squareness = Squareness_Error(position);
  error->x += squareness.x;
  error->y += squareness.y;
}

double TMachineComp::Squareness(int axis) const
{
  const TMachineStandardComp* table = Axis_Table(axis);
  if(!table)
  {
    return 0.0;
  }
  return table->d_quad_sign < 0 ? -table->d_quad : table->d_quad;
}

double TMachineComp::Mechanical_Origin(int axis) const
{
  const TMachineStandardComp* table = Axis_Table(axis);
  return table ? table->d_mechanical_origin : 0.0;
}

TVector3 TMachineComp::Map_Data_Min() const
{
  const TInitParameters& p = d_init_parameters;
  TVector3 corner;
  const int axis_values[3] = {p.first_axis, p.second_axis, p.third_axis};
  const double starts[3] = {p.first_axis_start, p.second_axis_start, p.third_axis_start};
  for(int i = 0; i < 3; ++i)
  {
    const int direction = Direction_Index(axis_values[i]);
    if(direction >= 0)
    {
      Component(corner, direction) = starts[i];
    }
  }
  return corner;
}

TVector3 TMachineComp::Map_Data_Max() const
{
  const TInitParameters& p = d_init_parameters;
  TVector3 corner;
  const int axis_values[3] = {p.first_axis, p.second_axis, p.third_axis};
  const double ends[3] = {p.first_axis_end, p.second_axis_end, p.third_axis_end};
  for(int i = 0; i < 3; ++i)
  {
    const int direction = Direction_Index(axis_values[i]);
    if(direction >= 0)
    {
      Component(corner, direction) = ends[i];
    }
  }
  return corner;
}

bool TMachineComp::Inside_Volume(const TVector3& position) const
{
  const TVector3 minimum = Map_Data_Min();
  const TVector3 maximum = Map_Data_Max();
  return Inside(position.x, minimum.x - VOLUME_MARGIN, maximum.x + VOLUME_MARGIN) &&
         Inside(position.y, minimum.y - VOLUME_MARGIN, maximum.y + VOLUME_MARGIN) &&
         Inside(position.z, minimum.z - VOLUME_MARGIN, maximum.z + VOLUME_MARGIN);
}

QString TMachineComp::Last_Error() const
{
  if(d_outside_pending)
  {
    d_last_error = QStringLiteral("Position %1 %2 %3 outside of machine volume.  Using extrapolated machine map.")
                       .arg(d_outside_position.x, 0, 'f', 4)
                       .arg(d_outside_position.y, 0, 'f', 4)
                       .arg(d_outside_position.z, 0, 'f', 4);
    d_outside_pending = false;
  }
  return d_last_error;
}

void TMachineComp::Set_Error(const QString& message) const
{
  d_last_error = message;
  d_outside_pending = false;
}

const TMachineStandardComp* TMachineComp::Axis_Table(int axis) const
{
  for(const TMachineStandardComp& table : d_axes)
  {
    if(table.d_axis == axis)
    {
      return &table;
    }
  }
  return nullptr;
}

TMachineStandardComp* TMachineComp::Axis_Table(int axis)
{
  return const_cast<TMachineStandardComp*>(static_cast<const TMachineComp*>(this)->Axis_Table(axis));
}
