#ifndef BATCH_CONFORMITY_H
#define BATCH_CONFORMITY_H

#include "batch/command.h"
#include "src/model/conformity.h"

// varlume-batch conformity: the decision whether --machine meets its E0 maximum permissible error
// in the ISO 10360-2 --measurement names (simulated) or --measured files. plot --kind conformity
// shares its options and report.
namespace Batch
{
QString Conformity_Usage_Error(const TArguments& arguments);
// The usage problem of the conformity options alone (--mpe, --test-uncertainty, --rule, --draws,
// --seed), or an empty text; for plot as well.
QString Conformity_Options_Error(const TArguments& arguments);

// The report of the command line, or the exit code that ends it (problems already printed):
// EXIT_USAGE without an MPE, EXIT_FAILED when the
// machine cannot be set up or a measured file cannot be read (*report then holds what could).
int Conformity_Report(const TArguments& arguments, const TLibraries& libraries, const TOutput& output,
                      Conformity::TReport* report);

// Prints the report (UTF-8) and writes --csv. Returns 0 when the report was made, whatever the
// decision; 1 when the machine cannot be set up or a file cannot be read or written; 2 for usage
// errors (no MPE anywhere, a malformed --mpe).
int Run_Conformity(const TArguments& arguments, const TLibraries& libraries, const TOutput& output);
} // namespace Batch

#endif
