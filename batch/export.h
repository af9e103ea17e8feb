#ifndef BATCH_EXPORT_H
#define BATCH_EXPORT_H

#include "batch/command.h"

// varlume-batch export: the files of the window's "Export Measurements" for one machine and a
// list of measurements, written into a directory (--dir) without a display.
namespace Batch
{
QString Export_Usage_Error(const TArguments& arguments);

// Sets the machine up, evaluates and simulates the measurements in the given order and writes
// their files into the directory. Prints the written paths on out (UTF-8, one a line); a machine
// or measurement problem prints the window's error block on out, a failed writer its line on
// err. Returns the exit code.
int Run_Export(const TArguments& arguments, const TLibraries& libraries, const TOutput& output);
} // namespace Batch

#endif
