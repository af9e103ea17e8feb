#ifndef BATCH_IDENTIFY_OPTIONS_H
#define BATCH_IDENTIFY_OPTIONS_H

#include "batch/command.h"
#include "src/model/identify.h"

// The options that identify and plan share, read one way for both.
namespace Batch
{
// --degree, --uncertainty KIND=VALUE, --resolution and --absolute-straightness into options;
// the usage problem, or an empty text.
QString Read_Identify_Options(const TArguments& arguments, Identify::TOptions* options);
} // namespace Batch

#endif
