#ifndef MEASUREMENTLIBRARY_H
#define MEASUREMENTLIBRARY_H

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

#include "src/model/libraryfile.h"
#include "src/model/measurement.h"

class TXmlFile;
class TXmlTree;
class TXmlWriter;

// The user's measurements, owned here and stored in measurements.xml in the data directory.
// Every field is kept as expression text except the probe offset. Problems come back as false
// with Last_Error; nothing here throws.
class TMeasurementLibrary : public TLibraryFile
{
public:
  TMeasurementLibrary();
  TMeasurementLibrary(const TMeasurementLibrary&) = delete;
  TMeasurementLibrary& operator=(const TMeasurementLibrary&) = delete;

  // Loading, saving and the data directory are TLibraryFile's: "<data path>/measurements.xml";
  // a load appends the measurements of the file grouped by kind (laser, ISO, MCG, ball bar),
  // and a file that did not load is kept as measurements.xml.bak.

  QStringList Measurement_Names() const;
  // The ids in the order of Measurement_Names, for lists that keep both.
  std::vector<int> Measurement_Ids() const;
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

  // For the editor: takes ownership, appends and marks the library modified.
  TMeasurement* Append_Measurement(std::unique_ptr<TMeasurement> measurement);
  // All measurements in list order.
  std::vector<TMeasurement*> All_Measurements() const;

  // Removal that can be undone record by record: the measurements of the ids (unknown ones
  // skipped) taken out with their places, and put back in them. Both mark the library modified.
  using TTaken = LibraryFile::TTaken<std::unique_ptr<TMeasurement>>;
  TTaken Take_Measurements(const std::vector<int>& ids);
  void Put_Back_Measurements(TTaken taken);
  std::unique_ptr<TLibraryFile> Copy_Records() const override;

  // As TLibraryFile::Restore, with the measurements in the snapshot's order, where a load groups
  // them by kind: an undo leaves the list as it was.
  bool Restore(const QByteArray& snapshot);

private:
  bool Read_Version(const TXmlTree& xml, int version) override;
  void Write_Records(TXmlWriter& xml) const override;
  void Name_Unnamed_Records() override;
  void Clear_Records() override
  {
    d_measurements.clear();
    d_positions.clear();
  }
  void Load_Version1(const TXmlTree& xml);

  std::vector<std::unique_ptr<TMeasurement>> d_measurements;
  // Where each record read since the records were last cleared stood in its document (Restore).
  std::vector<int> d_positions;
};

#endif
