#ifndef REPORT_H
#define REPORT_H

#include <QString>
#include <QStringList>

#include <vector>

#include "src/model/machinecomp.h"
#include "src/model/measurement.h"
#include "src/model/textformat.h"

// The fixed-column text of the output panes: measurement results, the selection summary of one
// picked row and the machine error map. GUI-free, so that the main window and varlume-batch
// produce the same bytes. Numbers go through QString::arg(value, width, 'f', decimals).
namespace Report
{
// Widths of the rules under the headings.
inline constexpr int RULE_WIDTH = 128;
inline constexpr int BALLBAR_RULE_WIDTH = 138;
inline constexpr int MAP_ERRORS_RULE_WIDTH = 25;
inline constexpr int EXPRESSION_ERRORS_RULE_WIDTH = 33;

// Kept under its old name for the callers of the report (the window's forwarder); it lives in
// the formatting file below the report and the export.
using Text::Pad_String;

// The report lines of one measurement: a block with heading, columns and extremes for ISO,
// laser and MCG (a measurement without rows keeps its heading and closing lines, extremes 0);
// one line per row for a ball bar. machine is read by the laser report only (deviation split).
QStringList Measurement_Item(const TMachineComp& machine, const TMeasurement& measurement);

// One row of a laser block as the results tab prints it: the length along the line (nominal,
// actual, deviation) and the deviations across it (XX, YY) in mm, and the angles Ra, Rb, Rc in
// mm/m; XX, YY and the angles are relative to the start of the line.
struct TLaserRow
{
  double scale_nominal = 0.0;
  double scale_actual = 0.0;
  double scale_deviation = 0.0;
  double xx = 0.0;
  double yy = 0.0;
  double ra = 0.0;
  double rb = 0.0;
  double rc = 0.0;
};
// The rows of a laser measurement in row order; machine splits the deviations.
std::vector<TLaserRow> Laser_Rows(const TMachineComp& machine, const TMeasurement& measurement);

// The names of a laser run's XX, YY, Ra, Rb, Rc with the machine's straightness or rotation
// each shows on this run: "XX (straightness in Y)", "Ra (yaw, Rz)", "Rc (roll, Rx)". The bare
// names for a run not along an axis or without rows.
QStringList Laser_Reading_Names(const TMeasurement& measurement);

// The ball bar summary over the ball bars that hold exactly one row: heading, length extremes,
// mean and range, column heading and their lines in list order. Empty when there is none.
QStringList Ballbar_Summary(const std::vector<TMeasurement*>& measurements);

// The measurement pane after a successful simulation: the blocks of all measurements that are
// not ball bars, in list order, then the ball bar summary.
QStringList Measurement_Results(const TMachineComp& machine, const std::vector<TMeasurement*>& measurements);

// heading, count "-", then the error lines.
QStringList Error_Block(const QString& heading, int rule_width, const QStringList& errors);
// "Map Initialization Errors" block: a machine that could not be set up.
QStringList Map_Initialization_Errors(const QStringList& errors);
// "Measurement Expression Errors" block: expressions or the simulation failed.
QStringList Measurement_Expression_Errors(const QStringList& errors);

// Evaluates and simulates the measurements on machine and reports them as the measurement pane
// shows them after a selection change. False when an expression or the simulation failed:
// lines then hold the "Measurement Expression Errors" block instead. lines is replaced. Writes
// the values and rows into the measurements of the list.
bool Simulate_Measurements(const TMachineComp* machine, std::vector<TMeasurement*>* measurements, QStringList* lines);

// The selection pane for row index of a measurement (index is zero-based; the pane counts from
// one). Empty when index is not a row of that measurement.
QStringList Selected_Item(const TMeasurement& measurement, int index);

// The map pane for a machine that was set up: its name and its squareness, X, Y, Z and tower
// tables (the tower uses the Z increment). Any increment below 10 gives only the error line.
QStringList Map_Display(const TMachineComp& machine, const QString& machine_name, double increment_x,
                        double increment_y, double increment_z);

// The text that a pane shows (and "Save Text" writes) after these lines were appended one by
// one: lines joined by line feeds, without the empty lines that an empty pane swallows.
QString Pane_Text(const QStringList& lines);
} // namespace Report

#endif
