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
// Whether output is one of the library files of the data directory, which no subcommand writes.
bool Is_Library_File(const QString& output, const QString& data_path);
// --data, or ~/.varlume.
QString Data_Path(const TArguments& arguments);
} // namespace Batch

#endif
