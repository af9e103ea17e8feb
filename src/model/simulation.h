#ifndef SIMULATION_H
#define SIMULATION_H

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

#include "core/vector3.h"
#include "src/model/machinecomp.h"
#include "src/model/machinelibrary.h"
#include "src/model/measurement.h"

// From a machine record and a list of measurements to simulated result rows. GUI-free and
// stateless: everything works on the TMachineComp that the caller passes, so the main window
// (its one model), the compensation evaluation (a local model per error pattern) and the batch
// tool use the same functions. Nothing here throws: user problems become lines in an error list.
namespace Simulation
{
// A measurement that would expand into more rows than this gets none (a laser from 0 to 1e15 mm
// in steps of 20 would otherwise loop for ever); a laser that long also fails its evaluation.
inline constexpr int MAXIMUM_ROWS = 100000;

// The part of a machine record that the error model takes.
struct TMachineRecord
{
  QString name; // as stored in the library
  int kinematic = KINEMATIC_XYZ;
  TVector3 axis_start; // the record's axis minimum
  TVector3 axis_end;   // the record's axis maximum
  TVector3 math_origin;
  TVector3 mechanical_origin;
  std::vector<TMachineLibrary::TMapErrorItem> error_items; // enabled parameters, record order
};

// What a set-up did to the machine volume that the 3-D view shows.
enum class TVolumeChange
{
  UNCHANGED, // unknown kinematic or geometry refused by Initialize_Begin
  CLEARED,   // no machine of that name
  DEFINED    // Initialize_Begin accepted: the volume is Map_Data_Min() .. Map_Data_Max()
};

// The record of the machine with that name (case-insensitive) in the library. False when no
// machine has the name.
bool Find_Machine_Record(const TMachineLibrary& library, const QString& name, TMachineRecord* record);
// The record of a machine that need not be in any library (an identified one).
TMachineRecord Machine_Record(const TMachineLibrary::TMachineItem& machine);

// The set-up geometry with the axes in kinematic order (XYZ: X, Y, Z; YXZ: Y, X, Z; XZY: X, Z, Y;
// YZX: Y, Z, X), each with its own components. False for a kinematic that is none of the four.
bool Init_Parameters(const TMachineRecord& record, TMachineComp::TInitParameters* parameters);

// Applies one enabled parameter with the Set_* call of its kind (Set_Quad(1, 2 or 4) for the
// squareness values, Set_Deflection for the tower). False with the model's Last_Error when the
// call failed; true as well for parameter values that the model does not take (skipped).
bool Apply_Error_Item(TMachineComp* machine, const TMachineLibrary::TMapErrorItem& item);

// Loads a record into machine: Initialize_Begin, Apply_Error_Item for every item (a failing one
// appends its error and spoils the result, the rest are still applied), Initialize_End. An axis
// exception from Initialize_End becomes an error line. errors may be null; it is appended to,
// never cleared. True when the model is ready to evaluate.
bool Setup_Machine_Comp(const TMachineRecord& record, TMachineComp* machine, QStringList* errors,
                        TVolumeChange* volume = nullptr);

// Find_Machine_Record and Setup_Machine_Comp; "Machine not found." (volume CLEARED) when no
// machine has the name.
bool Update_Machine_Comp(const TMachineLibrary& library, const QString& name, TMachineComp* machine,
                         QStringList* errors, TVolumeChange* volume = nullptr);

// Evaluates every expression text of the measurements, in list order, against the volume
// variables of machine (XMin ... ZMax, XMid ... ZMid, AxisMin, AxisMax), checks the limits and
// stores the values (0 for an invalid or non-finite text). A ball bar defines L, R, I, J, K and
// an MCG L and R for the measurements after it. errors may be null; it is cleared first. True
// when every text is valid and every value within its limit. Neither pointer may be null.
// Writes the values into the measurements of the list (the list itself is not changed).
bool Evaluate_Measurement_Expressions(const TMachineComp* machine, std::vector<TMeasurement*>* measurements,
                                      QStringList* errors);

// Expands every measurement into nominal points, runs them through machine and stores the
// result rows and the outside-of-volume flag. Only after a successful evaluation with the same
// model. An axis exception of the model ends the simulation: "<name>: <message>" is appended to
// errors (may be null), that measurement and the ones after it are left without rows, and the
// result is false. Neither pointer may be null. Writes the rows and the flag into the
// measurements of the list (the list itself is not changed).
bool Update_Measurement_Items(const TMachineComp* machine, std::vector<TMeasurement*>* measurements,
                              QStringList* errors = nullptr);

// Copies of records evaluated together against a machine's volume (in list order, so that the
// variables a ball bar or MCG defines pass on as in the window), each with its own problems, ready
// to be simulated one by one. What identification, planning and conformity share: a record whose
// texts fail is left out by its caller, the others go on.
struct TPreparedRecords
{
  std::vector<std::unique_ptr<TMeasurement>> copies;
  // Per copy, its expression messages: whole ("<name>: <message>", as the window lists them) and
  // without the name. Empty when its texts evaluated.
  std::vector<QStringList> lines;
  std::vector<QStringList> messages;
};
TPreparedRecords Prepare_Records(const TMachineComp& machine, const std::vector<const TMeasurement*>& records);

// Simulates one measurement on machine; false with the model's message (without the name) when
// the model gave up.
bool Simulate_One(const TMachineComp& machine, TMeasurement* measurement, QString* message);

// The number of rows that a measurement's evaluated values expand into (64-bit: an unchecked
// MCG can ask for more than an int holds).
long long Expected_Row_Count(const TMeasurement& measurement);

} // namespace Simulation

#endif
