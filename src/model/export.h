#ifndef EXPORT_H
#define EXPORT_H

#include <QString>
#include <QStringList>

#include <vector>

#include "src/model/machinecomp.h"
#include "src/model/measurement.h"

class TXmlFile;

// Raw-data files of simulated measurements, laid out as the measuring programs of each
// artefact record them, so that evaluation programs read them like real measurements: one ball
// bar file for all ball bars, a Zarnik and a Lumetra file per laser run and per ISO 10360-2
// test, an XML file per MCG sweep. GUI-free, so that the main window and varlume-batch write
// the same bytes. Text files are Latin-1 with line feeds and are written completely or not at
// all; a writer that fails leaves the file it was writing as it was.
namespace Export
{
// What an export did. Writers append to it; nothing is cleared.
struct TResult
{
  QStringList files;    // paths written completely, in order
  QStringList failures; // one line per failed writer, worded as the window shows it
  QStringList renamed;  // one line per measurement whose files took a numbered name
};

// The measurement name as it may stand in a file name: '/', '\' and control characters become
// '_', and a name that is "." or ".." becomes "_" or "__", so that no name reaches outside the
// chosen directory or into a sub-directory of it.
QString Safe_File_Name(const QString& name);

// The measurement name as it stands in a row of a file: control characters become '_', so
// that a line feed cannot end the row; everything else stays as it is.
QString Row_Name(const QString& name);

// The file-name part of each measurement's files, in list order, as Write_Files uses it:
// Safe_File_Name, with " 2", " 3", ... added when a file it names (both of a Lumetra/Zarnik
// pair) was named by an earlier measurement of the list, as "a/b" and "a_b" are. Ball bars
// write no file of their own and take an empty entry. renamed (may be null) receives one line
// per renamed measurement.
QStringList File_Name_Bases(const std::vector<TMeasurement*>& measurements, QStringList* renamed);

// The probe vector of the laser and ISO files: the horizontal part of the probe offset,
// normalised; (0, 0, -1) when that part is not longer than the double epsilon (straight down
// or up), where normalising would divide by nothing.
TVector3 Probe_Vector(const TVector3& probe_offset);

// The texts of the files before the Latin-1 conversion, every line ended by a line feed.
struct TFilePair
{
  QString zarnik;  // alignment, probe data and targets
  QString lumetra; // laser readings
};

// "Ballbar Measurements.dat": header and one row per ball bar that holds exactly one row, in
// list order. Empty when there is no such ball bar (then no file is written at all).
QString Ballbar_Text(const std::vector<TMeasurement*>& measurements);

// Forward and backward pass of a laser run. machine splits the deviations (straightness).
// A measurement without rows gives only the two closing lines.
TFilePair Laser_Texts(const TMachineComp& machine, const TMeasurement& measurement);

// The readings of a laser run's Lumetra file before they are rounded, one per row in row
// order: the position along the line, the straightness across it (y and z) and the angles, all
// relative to the start of the run.
struct TLaserReading
{
  double scale = 0.0;    // mm
  TVector3 straightness; // mm; x is the part along the line, not written
  TVector3 angles;       // mm/m
};
std::vector<TLaserReading> Laser_Readings(const TMachineComp& machine, const TMeasurement& measurement);

// Three A/B pairs per length of an ISO 10360-2 test. A measurement without rows gives only the
// two closing lines.
TFilePair ISO_Texts(const TMachineComp& machine, const TMeasurement& measurement);

// Builds the MCG document in xml (Reset included). Throws TXmlFileException.
void Build_MCG_Document(const TMeasurement& measurement, TXmlFile* xml);

// The writers. Each writes into directory (which must exist) and reports a failure as one line
// in result->failures; false when it failed. file_base is the name part of the files
// (File_Name_Bases); empty takes Safe_File_Name of the measurement's name.
// "Ballbar Measurements.dat" from all exportable ball bars of the list; none: no file, true.
bool Write_Ballbar_File(const QString& directory, const std::vector<TMeasurement*>& measurements, TResult* result);
// "Zarnik <name>.dat" and "Lumetra <name>.dat" of a laser run.
bool Write_Laser_Files(const TMachineComp& machine, const QString& directory, const TMeasurement& measurement,
                       TResult* result, const QString& file_base = QString());
// The same two names for an ISO 10360-2 test.
bool Write_ISO_Files(const TMachineComp& machine, const QString& directory, const TMeasurement& measurement,
                     TResult* result, const QString& file_base = QString());
// "MCG <name>.xml".
bool Write_MCG_File(const QString& directory, const TMeasurement& measurement, TResult* result,
                    const QString& file_base = QString());

// Every writer in the window's order: the ball bar file, then per measurement in list order
// the laser, MCG or ISO files (ball bars are in the first file already), named by
// File_Name_Bases. The measurements must have been simulated on machine.
void Write_Files(const TMachineComp& machine, const QString& directory, const std::vector<TMeasurement*>& measurements,
                 TResult* result);

enum class TStatus
{
  WRITTEN,            // the writers ran (some may have failed: result->failures)
  EXPRESSIONS_FAILED, // an expression is invalid or out of its limits: nothing written
  SIMULATION_FAILED   // the error model raised an axis exception: nothing written
};

// The whole export of the window after its directory dialog: evaluates and simulates the
// measurements on machine, then Write_Files. errors (may be null) receives the expression or
// simulation error lines; it is cleared first. Neither pointer may be null. Writes the values
// and rows into the measurements of the list, as the panes do after a selection change.
TStatus Export_Measurements(const TMachineComp* machine, std::vector<TMeasurement*>* measurements,
                            const QString& directory, TResult* result, QStringList* errors = nullptr);
} // namespace Export

#endif
