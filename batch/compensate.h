#ifndef BATCH_COMPENSATE_H
#define BATCH_COMPENSATE_H

#include "batch/command.h"
#include "src/model/compensation/compensation.h"

// varlume-batch compensate: the corrections built from --machine, what each leaves behind on
// --against (default the machine itself), the files a controller loads (--dir) and every row
// before and after (--csv). plot --kind compensation shares its options and result.
namespace Batch
{
QString Compensate_Usage_Error(const TArguments& arguments);
// The usage problem of the compensation options alone (--against, --form, --spacing, --probe and
// the decision's --mpe, --test-uncertainty, --rule), or an empty text; for plot as well.
QString Compensation_Options_Error(const TArguments& arguments);

// The result of the command line, or the exit code that ends it (problems already printed):
// EXIT_USAGE for an unknown --against or options that do not fit the machines, EXIT_FAILED when
// a machine or a measurement cannot be set up.
int Compensation_Result(const TArguments& arguments, const TLibraries& libraries, const TOutput& output,
                        Compensation::TResult* result);

// Prints the report and writes --dir and --csv. Returns 0 when the report was made, 1 when a
// machine cannot be set up or a file cannot be written, 2 for usage errors.
int Run_Compensate(const TArguments& arguments, const TLibraries& libraries, const TOutput& output);
} // namespace Batch

#endif
