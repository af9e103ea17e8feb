#ifndef MACHINECOMP_H
#define MACHINECOMP_H

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

#include "core/vector3.h"
#include "src/model/machine_standardcomp.h"
#include "src/model/machine_values.h"

// What a controller's correction predicts of a machine's error at a nominal position with a probe
// offset (mm, actual - nominal); a corrected machine subtracts it. Error must be safe to call
// from several threads at once.
class TMachineCorrection
{
public:
  virtual ~TMachineCorrection() = default;
  virtual TVector3 Error(const TVector3& position, const TVector3& probe_offset) const = 0;
};

// Geometric error model of a three-axis machine: moves a nominal probe position to where the
// machine really puts it. "Comp" is short for compensation: the model holds the error parameters
// a machine's compensation corrects (TMachineStandardComp one axis, TMachineDeflectionComp the
// tower), here applied forwards to simulate the uncorrected machine.
//
// Set-up: Initialize_Begin, any Set_* calls, Initialize_End; then Evaluate. Set-up problems
// come back as false with Last_Error. Initialize_End, Evaluate and Get_Angles_RA_RB_RC may throw
// TMachineAxisException for degenerate geometries (an axis travel below 1e-6 mm, a tower or arm
// travel below 0.001 mm); callers catch it and show its message.
//
// Not for sharing between threads, not even through a const reference: Evaluate records the
// last error in mutable members. Each thread that simulates sets up a model of its own.
class TMachineComp
{
public:
  // Plain data; the field order is relied on by aggregate initialisation.
  struct TInitParameters
  {
    int kinematic = 0;
    // Axis values in chain order (base first).
    int first_axis = 0;
    int second_axis = 0;
    int third_axis = 0;
    // Millimetres, each in its axis's own coordinate.
    double first_axis_start = 0.0;
    double first_axis_end = 0.0;
    double first_axis_math_origin = 0.0;
    double first_axis_mechanical_origin = 0.0;
    double second_axis_start = 0.0;
    double second_axis_end = 0.0;
    double second_axis_math_origin = 0.0;
    double second_axis_mechanical_origin = 0.0;
    double third_axis_start = 0.0;
    double third_axis_end = 0.0;
    double third_axis_math_origin = 0.0;
    double third_axis_mechanical_origin = 0.0;
  };

  TMachineComp() = default;

  // Validates the geometry and starts a set-up; on failure nothing changes.
  bool Initialize_Begin(const TInitParameters& parameters);

  // Error functions of one axis (expression in L, metres) with their sign option (+1 or -1).
  bool Set_Rx(int axis, const QString& expression, int sign);
  bool Set_Ry(int axis, const QString& expression, int sign);
  bool Set_Rz(int axis, const QString& expression, int sign);
  bool Set_Scale(int axis, const QString& expression, int sign);
  // The values of an error expression at the table positions of axis, for the overloads below;
  // valid for set-ups of the same geometry. False when the model has no table of that axis (no
  // Initialize_Begin yet, or not X, Y or Z).
  bool Evaluate_Axis_Values(int axis, const QString& expression, TMachineAxisValues* values) const;
  // The same set-up calls with values from Evaluate_Axis_Values: the same tables, results and
  // messages as with the expression, without evaluating its text again.
  bool Set_Rx(int axis, const TMachineAxisValues& values, int sign);
  bool Set_Ry(int axis, const TMachineAxisValues& values, int sign);
  bool Set_Rz(int axis, const TMachineAxisValues& values, int sign);
  bool Set_Scale(int axis, const TMachineAxisValues& values, int sign);
  // AXIS_X holds XY, AXIS_Y holds YZ, AXIS_Z holds ZX (mm/m).
  bool Set_Quad(int axis, const double& value, int sign);
  // axis must be AXIS_D; allowed in any state.
  bool Set_Deflection(int axis, const double& value, int sign);

  // Derives the straightness tables and makes the model valid. When it throws, the model is
  // left neither initializing nor valid, so that a new set-up can start.
  bool Initialize_End();

  // The actual position of a nominal position with a probe offset. inside (may be null) is
  // true only for a successful evaluation within the volume plus a 5 mm margin; outside it
  // the extrapolated result is still returned and Last_Error says so.
  TVector3 Evaluate(const TVector3& position, const TVector3& probe_offset, bool* inside) const;

  // A correction that Evaluate subtracts from every error from now on (null: none). Copies of
  // the model share it; a new set-up keeps it. Angles (Get_Angles_RA_RB_RC) are the carriage's
  // and stay as they are: software corrects coordinates, not the carriage.
  void Set_Correction(std::shared_ptr<const TMachineCorrection> correction) { d_correction = std::move(correction); }
  const TMachineCorrection* Correction() const { return d_correction.get(); }

  // What axis index of the chain (0 is the base) contributes to Evaluate at a position: the
  // table values and the rotations. It depends on that axis's table and the position only.
  struct TStage
  {
    int direction = -1; // coordinate the axis moves along
    double axis_position = 0.0;
    TVector3 linear; // scale sign applied
    double angle[3] = {0.0, 0.0, 0.0};
    double cos[3] = {1.0, 1.0, 1.0};
    double sin[3] = {0.0, 0.0, 0.0};
  };
  void Chain_Stage(int index, const TVector3& position, TStage* stage) const;
  // Evaluate with stages[i] from Chain_Stage of a model of the same geometry at this position
  // in place of this model's own tables; the rest (deflection, squareness) is this model's.
  // Bit for bit what a model with those tables gives, so that a run over many set-ups that
  // share tables looks each one up only once.
  TVector3 Evaluate(const TVector3& position, const TVector3& probe_offset, const TStage* const* stages,
                    bool* inside) const;

  // The error alone (actual - nominal, without any correction) of a valid model, without the
  // volume test or the last error: safe on a model shared between threads. stages may be null
  // (the own tables). Throws like Evaluate.
  TVector3 Model_Error(const TVector3& position, const TVector3& probe_offset, const TStage* const* stages) const;

  // Evaluate in parts, for a run over many set-ups that share tables: the chain one axis
  // stage at a time (index 0, 1, 2 in turn, from a default state), then the terms that the
  // rotations of the probe offset, the tower and the squareness add. Evaluate with stages gives
  // position + (((error + Tower_Error) + Probe_Error) + Squareness_Error), operation for
  // operation, up to the sign of a zero. Only this model's geometry and, for the last two, its
  // deflection and squareness are read. Tower_Error may throw like Evaluate.
  struct TChainState
  {
    double rotation[9] = {1.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0};
    TVector3 error;
  };
  void Chain_Step(int index, const TStage& stage, TChainState* state) const;
  static TVector3 Probe_Error(const TChainState& state, const TVector3& probe_offset);
  TVector3 Tower_Error(const TVector3& position) const;
  TVector3 Squareness_Error(const TVector3& position) const;

  // Volume corners from the stored parameters; no completed set-up needed.
  TVector3 Map_Data_Min() const;
  TVector3 Map_Data_Max() const;
  // The volume test of Evaluate: every coordinate within its axis's travel plus 5 mm.
  bool Inside_Volume(const TVector3& position) const;

  QString Last_Error() const;

  // The last accepted set-up geometry.
  const TInitParameters& Init_Parameters() const { return d_init_parameters; }
  bool Is_Initializing() const { return d_initializing; }
  bool Is_Valid() const { return d_valid; }

  // A table report holds at most this many rows; where the travel and the increment would
  // give more, the rows stop there and one line says so (a huge travel would otherwise fill
  // the memory until the program aborts).
  static const int MAXIMUM_MAP_ROWS = 100000;

  // The table of an axis value (null when the chain has none) and the tower deflection, for
  // read-only views such as the plots.
  const TMachineStandardComp* Axis_Table(int axis) const;
  const TMachineDeflectionComp& Deflection_Table() const { return d_deflection; }

  // The positions at which the map reports sample a travel from first to last: from the end
  // nearer to zero towards the other, the far end only when it falls on the step, at most
  // MAXIMUM_MAP_ROWS of them. Empty for an increment below 1.
  static std::vector<double> Map_Positions(const double& first, const double& last, const double& increment);

  // Reports of the tables (fixed-column text); empty for an increment below 1 or an unusable
  // model state. They never throw. Map_Data_D also sets Last_Error when the machine has no
  // usable tower geometry.
  QStringList Map_Data_X(const double& increment) const;
  QStringList Map_Data_Y(const double& increment) const;
  QStringList Map_Data_Z(const double& increment) const;
  QStringList Map_Data_D(const double& increment) const;
  QStringList Map_Data_Quad() const;

  // Angular errors (RA, RB, RC, table values in mm/m) that apply to a measuring line along
  // axis_direction; RC is the rotation about the line. (0, 0, 0) for a line not along an axis.
  TVector3 Get_Angles_RA_RB_RC(const TVector3& axis_direction, const TVector3& probe_direction,
                               const TVector3& position) const;

  // Which machine axis (AXIS_X, AXIS_Y, AXIS_Z, or 0 for none) each reading of a line along
  // axis_direction is about, as Get_Angles_RA_RB_RC and Calculate_Scale_XX_YY_Error split them:
  // the straightness XX and YY lie along xx and yy, the angles Ra and Rb turn about ra and rb,
  // and Rc about the line itself. All 0 for a line not along an axis.
  struct TLineReadings
  {
    int line = 0;
    int xx = 0;
    int yy = 0;
    int ra = 0;
    int rb = 0;
  };
  static TLineReadings Line_Readings(const TVector3& axis_direction, const TVector3& probe_direction);

  // The deviation actual - nominal split into (along the line, XX, YY across it).
  TVector3 Calculate_Scale_XX_YY_Error(const TVector3& axis_direction, const TVector3& probe_direction,
                                       const TVector3& nominal, const TVector3& actual) const;

private:
  // stages may be null: the own tables are looked up.
  TVector3 Evaluate_Stages(const TVector3& position, const TVector3& probe_offset, const TStage* const* stages,
                           bool* inside) const;
  TVector3 Evaluate_XYZ(const TVector3& position, const TVector3& probe_offset, const TStage* const* stages) const;
  TVector3 Evaluate_YXZ(const TVector3& position, const TVector3& probe_offset, const TStage* const* stages) const;
  TVector3 Evaluate_XZY(const TVector3& position, const TVector3& probe_offset, const TStage* const* stages) const;
  TVector3 Evaluate_YZX(const TVector3& position, const TVector3& probe_offset, const TStage* const* stages) const;

  void Add_Squareness(const TVector3& position, TVector3* error) const;
  // Squareness held by the table of an axis value, sign option applied; 0 without such a table.
  double Squareness(int axis) const;
  double Mechanical_Origin(int axis) const;

  using TValuesSetter = void (TMachineStandardComp::*)(const TMachineAxisValues&, int);
  // values may be null: the expression is then evaluated at the table's positions.
  bool Set_Expression(int axis, const QString& expression, const TMachineAxisValues* values, int sign,
                      TValuesSetter setter, const QString& parameter);

  QStringList Map_Data_Axis(int axis, const double& increment) const;
  TMachineStandardComp* Axis_Table(int axis);
  void Set_Error(const QString& message) const;

  TInitParameters d_init_parameters;
  TMachineStandardComp d_axes[3];
  TMachineDeflectionComp d_deflection;
  bool d_initializing = false;
  bool d_valid = false;
  std::shared_ptr<const TMachineCorrection> d_correction;

  // Last error. An evaluation outside the volume only records the position; the text is
  // formatted when asked for, so that Evaluate never allocates.
  mutable QString d_last_error;
  mutable bool d_outside_pending = false;
  mutable TVector3 d_outside_position;
};

#endif
