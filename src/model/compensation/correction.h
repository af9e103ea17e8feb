#ifndef COMPENSATION_CORRECTION_H
#define COMPENSATION_CORRECTION_H

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

#include "core/vector3.h"
#include "src/model/machinecomp.h"
#include "src/model/option_limits.h"

// The corrections a controller takes, built from a source machine's error model: what each
// predicts of the machine's error (actual - nominal), and the tables it holds. A controller
// applies their negative. GUI-free; every function reads the source model through const calls
// only, so the corrections may be evaluated on many threads at once.
namespace Compensation
{
enum class TForm
{
  FULL,   // the source's own model
  TABLES, // six components per carriage every spacing, through the chain, squareness and deflection
  GRID,   // error vectors at grid nodes for one probe offset, trilinear
  PITCH,  // each axis's scale error along its own direction
  SKEW    // the three squareness terms
};

// Every form, in the order of the reports.
const std::vector<TForm>& All_Forms();
// "full", "tables", "grid", "pitch", "skew".
QString Form_Name(TForm form);
// A comma list of form names, each at most once, in the order given; false with the reason.
bool Parse_Forms(const QString& text, std::vector<TForm>* forms, QString* error);

// The smallest spacing of tables and grids (mm); finer steps only add rounding to the files.
inline constexpr double MINIMUM_SPACING = Option_Limits::SPACING.minimum;
// The most nodes of a grid, and the most positions of one axis's table: a grid file of this size
// is already about 700 MB.
inline constexpr long long MAXIMUM_NODES = 10000000;

// The largest of 1 mm and the longest travel / 50.
double Default_Spacing(const TMachineComp& machine);
// From start to end every spacing, the end included (the last step shorter when the travel is
// not a multiple); each position start + i·spacing, so no steps accumulate.
std::vector<double> Positions(double start, double end, double spacing);
// How many positions Positions gives, without making them.
long long Position_Count(double start, double end, double spacing);
// Nodes of the grid over the machine's travel.
long long Grid_Nodes(const TMachineComp& machine, double spacing);

// One carriage's six components at its table positions, as the model's own lookup gives them:
// translations in machine coordinates (the scale along the axis with its sign option applied,
// the two straightness errors; mm) and rotations as right-handed angles (sign options applied;
// radians).
struct TCarriageTable
{
  int axis = AXIS_X;
  int chain_index = 0; // place in the kinematic chain, 0 the base
  std::vector<double> positions;
  std::vector<TVector3> translation;
  std::vector<TVector3> rotation;
};

// What the tables form adds as constants: the squareness values as the model applies them
// (mm/m, sign options applied) and, on a horizontal-arm machine, the deflection as the record
// holds it (mm/m).
struct TConstants
{
  double squareness[3] = {0.0, 0.0, 0.0}; // XY, YZ, ZX
  bool has_deflection = false;
  double deflection = 0.0;
};

// A 1-D scale table of one axis (mm).
struct TPitchTable
{
  int axis = AXIS_X;
  std::vector<double> positions;
  std::vector<double> errors;
};

// Error vectors at the nodes of a grid for one probe offset, x fastest, then y, then z (mm).
struct TGrid
{
  std::vector<double> x;
  std::vector<double> y;
  std::vector<double> z;
  TVector3 probe;
  std::vector<TVector3> errors;
};

// The tables of the X, Y and Z carriages (in that order) every spacing. source must be valid.
std::vector<TCarriageTable> Carriage_Tables(const TMachineComp& source, double spacing);
TConstants Constants(const TMachineComp& source);
std::vector<TPitchTable> Pitch_Tables(const TMachineComp& source, double spacing);
// jobs threads (0: one per core). Throws TMachineAxisException like the model.
TGrid Grid(const TMachineComp& source, double spacing, const TVector3& probe, int jobs);

// The corrections of each form. The source model is copied; it must be valid.
std::shared_ptr<const TMachineCorrection> Full_Correction(const TMachineComp& source);
std::shared_ptr<const TMachineCorrection> Tables_Correction(const TMachineComp& source,
                                                            const std::vector<TCarriageTable>& tables);
std::shared_ptr<const TMachineCorrection> Grid_Correction(const TGrid& grid);
std::shared_ptr<const TMachineCorrection> Pitch_Correction(const std::vector<TPitchTable>& tables);
std::shared_ptr<const TMachineCorrection> Skew_Correction(const TMachineComp& source);

// The files, CSV with a heading line and numbers in shortest round-trip form, values errors in
// µm and µrad: "axis,position_mm,ex_um,ey_um,ez_um,rx_urad,ry_urad,rz_urad"; "name,value,unit";
// "axis,position_mm,error_um".
QByteArray Tables_Csv(const std::vector<TCarriageTable>& tables);
QByteArray Constants_Csv(const TConstants& constants);
QByteArray Pitch_Csv(const std::vector<TPitchTable>& tables);
// "x_mm,y_mm,z_mm,dx_um,dy_um,dz_um" when first is 0, then nodes first .. last - 1.
void Append_Grid_Csv(const TGrid& grid, std::size_t first, std::size_t last, QByteArray* text);
} // namespace Compensation

#endif
