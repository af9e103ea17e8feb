#ifndef MEASUREMENTDIALOG_H
#define MEASUREMENTDIALOG_H

#include <QDialog>
#include <QString>
#include <QStringList>

#include <vector>

#include "src/measurement.h"
#include "src/measurementlibrary.h"

// The measurement library and, later, its editor. The library itself is the GUI-free
// TMeasurementLibrary, which owns the measurements; every library member here forwards to it.
class TMeasurementDialog : public QDialog
{
  Q_OBJECT

public:
  explicit TMeasurementDialog(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());

  void Set_Data_Path(const QString& path) { d_library.Set_Data_Path(path); }
  // The library file, "<data path>/measurements.xml".
  QString File_Name() const { return d_library.File_Name(); }
  bool Load_Data() { return d_library.Load_Data(); }
  bool Save_Data() const { return d_library.Save_Data(); }
  bool Save() const { return d_library.Save(); }
  QString Last_Error() const { return d_library.Last_Error(); }

  QStringList Measurement_Names() const { return d_library.Measurement_Names(); }
  int Measurement_Id(const QString& name) const { return d_library.Measurement_Id(name); }
  // Owned by the library.
  TMeasurement* Measurement(int id) const { return d_library.Measurement(id); }
  std::vector<TMeasurement*> Measurements(const QStringList& names) const { return d_library.Measurements(names); }
  QString Rename_Measurement(int id, const QString& name) { return d_library.Rename_Measurement(id, name); }
  // Announces the change through Update_Measurement_Display; an unknown id changes nothing.
  void Remove_Measurement(int id);
  QString Generate_Unique_Name(Types::TMeasurementType type, const QString& name, int id) const
  {
    return d_library.Generate_Unique_Name(type, name, id);
  }
  bool Name_Valid(const QString& name) const { return d_library.Name_Valid(name); }

signals:
  // The list of measurements changed.
  void Update_Measurement_Display();

private:
  TMeasurementLibrary d_library;
};

#endif
