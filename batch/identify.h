#ifndef BATCH_IDENTIFY_H
#define BATCH_IDENTIFY_H

#include "batch/command.h"

// varlume-batch identify: the error parameters of --machine that explain measured data files,
// the report on stdout and the identified machine in a machine library file of its own.
namespace Batch
{
QString Identify_Usage_Error(const TArguments& arguments);

// Prints the report (UTF-8) and writes --output. Returns 0 when the fit ran (also with
// directions it could not identify), 1 when no row could be used, the machine cannot be set up
// or the file cannot be written.
int Run_Identify(const TArguments& arguments, const TLibraries& libraries, const TOutput& output);
} // namespace Batch

#endif
