#ifndef PLOTSERIES_H
#define PLOTSERIES_H

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

#include "core/vector3.h"
#include "src/model/export.h"
#include "src/model/machinecomp.h"
#include "src/model/measurement.h"
#include "src/model/report.h"

// The numbers behind the plots: the machine's error curves, the measurement results row by row,
// and their CSV text. GUI-free, so that the charts of the window, varlume-batch and the tests
// read the same values. Units are those of the text panes: mm, mm/m and degrees; the charts
// scale them for display.
namespace Plot_Series
{
// The errors of one axis at one position, as the "Machine Errors" tab prints them: stored table
// values interpolated linearly, no sign options applied.
struct TErrorSample
{
  double position = 0.0; // mm
  TVector3 linear;       // Lx, Ly, Lz in mm: scale along the axis, straightness across it
  TVector3 angular;      // Rx, Ry, Rz in mm/m
};

struct TAxisErrors
{
  int axis = AXIS_X;
  std::vector<TErrorSample> samples; // in increasing position
};

// "X", "Y" or "Z".
QString Axis_Name(int axis);

// The errors of the X, Y and Z axes (in this order) at the 51 table positions, from the start to
// the end of travel. Empty while the model is being set up or has no tables.
std::vector<TAxisErrors> Axis_Error_Table(const TMachineComp& machine);

// The same at the table positions and the map positions of each axis's increment (X, Y, Z; an
// increment below 1 adds none): what the error charts draw.
std::vector<TAxisErrors> Axis_Error_Curves(const TMachineComp& machine, const double increments[3]);

// The values that the error charts state as text: the squareness values (mm/m, no sign options)
// of the axes that the chain holds, and the tower deflection of a horizontal-arm machine.
struct TMachineNotes
{
  struct TSquareness
  {
    QString name; // "XY", "YZ", "ZX"
    double value = 0.0;
  };
  std::vector<TSquareness> squareness;
  bool has_deflection = false;
  double deflection = 0.0; // mm/m, as entered
  int deflection_sign = 1;
  QString deflection_axis; // the axis the tower turns about, "X" or "Y"
};
TMachineNotes Machine_Notes(const TMachineComp& machine);

// One simulated result row.
struct TResultRow
{
  int index = 0;                 // in the measurement's rows, from 0
  double nominal = 0.0;          // length_nominal, mm
  double actual = 0.0;           // length_actual, mm
  double deviation = 0.0;        // actual - nominal, mm
  bool outside = false;          // the row's reference or target point lies outside the machine volume
  Report::TLaserRow laser;       // laser rows: the columns of the results tab
  Export::TLaserReading reading; // laser rows: the readings of the laser export file
  double elevation = 0.0;        // MCG rows: the nominal arm direction, degrees
  double azimuth = 0.0;          // from 0 to 360, counter-clockwise seen from +Z
};

struct TMeasurementResult
{
  QString name;
  int id = 0; // the measurement's id: id + index names a row as a pick in the 3-D view does
  Types::TMeasurementType type = Types::MEASUREMENT_ISO;
  std::vector<TResultRow> rows;
  // Laser runs: XX, YY, Ra, Rb, Rc named with what each shows (Report::Laser_Reading_Names).
  QStringList laser_names;
};

// The simulated measurements in the order of the results tab: every measurement that is not a
// ball bar in list order, then the ball bars that hold their one row. machine is the model they
// were simulated on (the laser columns and the volume test read it).
std::vector<TMeasurementResult> Results(const TMachineComp& machine, const std::vector<TMeasurement*>& measurements);

// "ballbar", "iso", "laser" or "mcg".
QString Kind_Name(Types::TMeasurementType type);

// The shortest text that reads back to the same double ("0.1", "-2.5e-07", "1000").
QString Number_Text(double value);
// A CSV field: quoted, with quotes doubled, when it holds a comma, a quote or a line break.
QString Csv_Field(const QString& text);

// "axis,position_mm,Lx_mm,Ly_mm,Lz_mm,Rx_mm_per_m,Ry_mm_per_m,Rz_mm_per_m", then one line per
// sample. UTF-8, lines end with a line feed.
QByteArray Errors_Csv(const std::vector<TAxisErrors>& axes);
// "measurement,kind,row,nominal_mm,actual_mm,deviation_mm,xx_mm,yy_mm,ra_mm_per_m,rb_mm_per_m,
// rc_mm_per_m,azimuth_deg,elevation_deg", then one line per row; rows are numbered from 1
// within their measurement, as the selection pane counts them. The straightness and angle
// readings are those of the laser export file, unrounded; azimuth and elevation those of MCG
// rows; fields that a kind has not are empty.
QByteArray Results_Csv(const std::vector<TMeasurementResult>& results);
} // namespace Plot_Series

#endif
