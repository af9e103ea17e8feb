#ifndef BATCH_PLOT_H
#define BATCH_PLOT_H

#include "batch/command.h"

// varlume-batch plot: the charts of the window's "Plots" tab as a PNG, SVG or PDF file (--output)
// and the plotted numbers as CSV (--csv), without a display.
namespace Batch
{
QString Plot_Usage_Error(const TArguments& arguments);

// Gathers what --kind is drawn from (src/model/plotkinds.h) and writes its chart and CSV. A
// machine or measurement problem prints the window's error block on out; a file that cannot be
// written or a sensitivity that the model stops is a message on err. Returns the exit code.
int Run_Plot(const TArguments& arguments, const TLibraries& libraries, const TOutput& output);

// Only a picture needs the widget and chart classes, and so a QApplication (on the offscreen
// platform when there is no display); everything else runs on a QCoreApplication.
bool Plot_Needs_Widgets(const TArguments& arguments);
} // namespace Batch

#endif
