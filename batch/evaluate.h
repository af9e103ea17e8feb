#ifndef BATCH_EVALUATE_H
#define BATCH_EVALUATE_H

#include <QByteArray>
#include <QString>
#include <QStringList>

class TMachineLibrary;
class TMeasurementLibrary;

// varlume-batch evaluate: the window's compensation parameter evaluation file for one machine
// and a list of measurements, byte for byte, without a display.
namespace Batch
{
// Ctrl-C during an evaluation: the file holds the lines of the patterns simulated so far.
inline constexpr int EXIT_INTERRUPTED = 130;

// The usage problem of an evaluate command line, or an empty text.
QString Evaluate_Usage_Error(const QStringList& machine_names, const QStringList& measurement_names,
                             bool increments_given, const QStringList& output_names);

// Writes the evaluation file. While stderr is a terminal a progress line (pattern k of n,
// elapsed and remaining time) is drawn on it directly; Ctrl-C stops after the current pattern
// and the file is completed with what was written. Messages go to err. Returns the exit code:
// 0 finished, 1 refused, stopped by the model or not written, 2 unknown names, 130 interrupted.
int Run_Evaluate(const TMachineLibrary& machines, const TMeasurementLibrary& measurements, const QString& machine_name,
                 const QStringList& measurement_names, const QString& file_name, QByteArray* err);
} // namespace Batch

#endif
