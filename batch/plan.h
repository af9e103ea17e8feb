#ifndef BATCH_PLAN_H
#define BATCH_PLAN_H

#include "batch/command.h"

// varlume-batch plan: which of the library's measurements to run, in which order, to identify
// every error parameter of --machine; the report on stdout, the steps as JSON in --json.
namespace Batch
{
QString Plan_Usage_Error(const TArguments& arguments);

// Returns 0 when a plan was made (also one that cannot reach full rank, or an empty one for a
// machine without enabled parameters), 1 when the machine cannot be set up, a candidate cannot
// be simulated or --json cannot be written, 2 for an unknown candidate.
int Run_Plan(const TArguments& arguments, const TLibraries& libraries, const TOutput& output);
} // namespace Batch

#endif
