#ifndef BATCH_EVALUATE_H
#define BATCH_EVALUATE_H

#include "batch/command.h"

// varlume-batch evaluate: the window's compensation parameter evaluation file for one machine
// and a list of measurements, byte for byte, without a display.
namespace Batch
{
// Ctrl-C during an evaluation: the file holds the lines of the patterns simulated so far.
inline constexpr int EXIT_INTERRUPTED = 130;

QString Evaluate_Usage_Error(const TArguments& arguments);

// Writes the evaluation file (--output). While stderr is a terminal a progress line (patterns
// worked out of n, elapsed and remaining time) is drawn on it directly; Ctrl-C stops the
// evaluation and the file is completed with the lines so far and "Evaluation cancelled: ...".
// A machine whose set-up fails gets the "Map Initialization Errors" block on out and no file;
// a file that cannot be written whole (a full disk) is not committed and an older one stays.
// Messages go to err. Returns the exit code: 0 finished; 1 set-up failed, refused, stopped by
// the model or not written; 130 interrupted.
int Run_Evaluate(const TArguments& arguments, const TLibraries& libraries, const TOutput& output);
} // namespace Batch

#endif
