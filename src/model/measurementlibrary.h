#ifndef MEASUREMENTLIBRARY_H
#define MEASUREMENTLIBRARY_H

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

#include "src/model/measurement.h"

class TXmlFile;

// The user's measurements, owned here and stored in measurements.xml in the data directory.
// Every field is kept as expression text except the probe offset. Problems come back as false
// with Last_Error; nothing here throws.
class TMeasurementLibrary
{
public:
  TMeasurementLibrary() = default;
  TMeasurementLibrary(const TMeasurementLibrary&) = delete;
  TMeasurementLibrary& operator=(const TMeasurementLibrary&) = delete;

  void Set_Data_Path(const QString& path) { d_data_path = path; }
  QString Data_Path() const { return d_data_path; }
  // "<data path>/measurements.xml".
  QString File_Name() const;

  // Appends the measurements of the file, grouped by kind: laser, ISO, MCG, ball bar. False
  // with Last_Error when the file is missing or unreadable; measurements read before a
  // failing one are kept.
  bool Load_Data();
  // The same from bytes in memory (no file access).
  bool Load_Data(const QByteArray& data);
  // Saves only when something changed; the flag is cleared on success.
  bool Save_Data() const;
  // Writes the file. A file that existed but did not load is first kept as
  // measurements.xml.bak.
  bool Save() const;

  QStringList Measurement_Names() const;
  // Case-insensitive; -1 for an empty name or one no measurement has.
  int Measurement_Id(const QString& name) const;
  // Null for an id no measurement has; the library keeps ownership.
  TMeasurement* Measurement(int id) const;
  // The measurements of the names in the order of the names; unknown names are skipped.
  std::vector<TMeasurement*> Measurements(const QStringList& names) const;
  // Gives the measurement a unique name made from name and returns it.
  QString Rename_Measurement(int id, const QString& name);
  // Deletes the measurement; false when no measurement has the id.
  bool Remove_Measurement(int id);
  // A name no other measurement has (case-insensitive; pass id -1 for a new one): a trailing
  // number is split off and counted up; an empty name gives the kind's name (ISO, Laser, MCG,
  // BallBar).
  QString Generate_Unique_Name(Types::TMeasurementType type, const QString& name, int id) const;
  // Not blank and not yet taken.
  bool Name_Valid(const QString& name) const;

  QString Last_Error() const { return d_last_error; }

  // For the editor: takes ownership, appends and marks the library modified.
  TMeasurement* Append_Measurement(std::unique_ptr<TMeasurement> measurement);
  // All measurements in list order.
  std::vector<TMeasurement*> All_Measurements() const;
  bool Is_Modified() const { return d_modified; }
  void Set_Modified(bool modified) { d_modified = modified; }

private:
  bool Load(const QByteArray* data);
  void Load_Version1(const TXmlFile& xml);
  void Name_Unnamed_Measurements();

  QString d_data_path;
  std::vector<std::unique_ptr<TMeasurement>> d_measurements;
  mutable bool d_modified = false;
  mutable QString d_last_error;
  // The file exists but did not load: keep it before the first save replaces it.
  mutable bool d_keep_unloaded_file = false;
};

#endif
