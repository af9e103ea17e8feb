#ifndef BATCH_PANES_H
#define BATCH_PANES_H

#include "batch/command.h"

// varlume-batch list, map and results: the names and the "Machine Errors" and "Measurement
// Results" panes of the window.
namespace Batch
{
QString List_Usage_Error(const TArguments& arguments);
int Run_List(const TArguments& arguments, const TLibraries& libraries, const TOutput& output);

QString Map_Usage_Error(const TArguments& arguments);
int Run_Map(const TArguments& arguments, const TLibraries& libraries, const TOutput& output);

QString Results_Usage_Error(const TArguments& arguments);
int Run_Results(const TArguments& arguments, const TLibraries& libraries, const TOutput& output);

// Sets the machine up as selecting it in the window does; on failure prints the window's
// "Map Initialization Errors" block on out.
bool Setup_Machine(const TLibraries& libraries, const QString& name, TMachineComp* machine, const TOutput& output);
} // namespace Batch

#endif
