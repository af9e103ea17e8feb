#ifndef BATCH_REPORT_H
#define BATCH_REPORT_H

#include "batch/command.h"

// varlume-batch report: the calibration report of --machine as a PDF (--output), with the
// numbers of varlume-batch conformity for the same options, the facts of --info, and optionally
// an identification's --json and a compensation's --csv.
namespace Batch
{
QString Report_Usage_Error(const TArguments& arguments);
// Returns 0 when the report was written, 1 when the machine or a file fails, 2 for usage errors
// (and when no ISO 10360-2 row was there to decide: the report then says so).
int Run_Report(const TArguments& arguments, const TLibraries& libraries, const TOutput& output);
// The report draws its chart with the widget classes.
bool Report_Needs_Widgets(const TArguments& arguments);
} // namespace Batch

#endif
