#ifndef BATCH_EXPORT_H
#define BATCH_EXPORT_H

#include <QByteArray>
#include <QString>
#include <QStringList>

class TMachineLibrary;
class TMeasurementLibrary;

// varlume-batch export: the files of the window's "Export Measurements" for one machine and a
// list of measurements, written into a directory without a display.
namespace Batch
{
// The usage problem of an export command line, or an empty text.
QString Export_Usage_Error(const QStringList& machine_names, const QStringList& measurement_names,
                           bool increments_given, const QString& directory);

// Sets the machine up, evaluates and simulates the measurements in the given order and writes
// their files into directory. Prints the written paths on out (UTF-8, one a line); a machine
// or measurement problem prints the window's error block on out, a failed writer its line on
// err. Returns the exit code.
int Run_Export(const TMachineLibrary& machines, const TMeasurementLibrary& measurements, const QString& machine_name,
               const QStringList& measurement_names, const QString& directory, QByteArray* out, QByteArray* err);
} // namespace Batch

#endif
