#ifndef MEASUREMENTDIALOG_H
#define MEASUREMENTDIALOG_H

#include <QDialog>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

#include "src/model/measurement.h"
#include "src/model/measurementlibrary.h"

class QLabel;
class QPushButton;
class QTabWidget;
class TEditor_Ballbar;
class TEditor_ISO;
class TEditor_Laser;
class TEditor_MCG;
class TMeasurementEditor;

// The measurement library and the modal editor of measurements. The library itself is the
// GUI-free TMeasurementLibrary, which owns the measurements; every library member here
// forwards to it.
//
// The editor has two modes. Edit mode (Reset with the name of a measurement): only the form of
// its kind can be used, the name is fixed, and "Accept" stores the form and closes. Create mode
// (Reset with an empty name): every form can be used, "Create" adds a measurement of the
// visible kind and keeps the dialog open for the next one, "Close" ends it.
class TMeasurementDialog : public QDialog
{
  Q_OBJECT

public:
  explicit TMeasurementDialog(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());

  // The library itself, for the model functions that read one.
  const TMeasurementLibrary& Library() const { return d_library; }
  TMeasurementLibrary& Library() { return d_library; }
  void Set_Data_Path(const QString& path) { d_library.Set_Data_Path(path); }
  // The library file, "<data path>/measurements.xml".
  QString File_Name() const { return d_library.File_Name(); }
  bool Load_Data() { return d_library.Load_Data(); }
  bool Save_Data() const { return d_library.Save_Data(); }
  bool Save() const { return d_library.Save(); }
  QString Last_Error() const { return d_library.Last_Error(); }
  QByteArray Snapshot() const { return d_library.Snapshot(); }
  bool Restore(const QByteArray& snapshot) { return d_library.Restore(snapshot); }

  QStringList Measurement_Names() const { return d_library.Measurement_Names(); }
  std::vector<int> Measurement_Ids() const { return d_library.Measurement_Ids(); }
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

  // Edit mode for the measurement of that name, create mode for an empty or unknown name.
  // A template names a measurement whose values fill its form first.
  void Reset(const QString& name, const QString& template_name);
  // The current measurement's id; -1 in create mode.
  int Current_Measurement_Id() const { return d_current_measurement_id; }

public slots:
  // Measurement to form; an unknown id changes nothing.
  void Update_Editor(int id);
  // Form to measurement; an unknown id changes nothing.
  void Update_Measurement(int id);
  void Create_Ballbar_Measurement();
  void Create_ISO_Measurement();
  void Create_Laser_Measurement();
  void Create_MCG_Measurement();
  void Accept_Clicked();

signals:
  // The list of measurements changed.
  void Update_Measurement_Display();

private:
  // Gives the form's name a unique form, makes the measurement, and leaves the next free name
  // in the form.
  void Create_Measurement(TMeasurementEditor* editor, std::unique_ptr<TMeasurement> measurement);
  TMeasurementEditor* Editor(Types::TMeasurementType type) const;

  TMeasurementLibrary d_library;
  int d_current_measurement_id = -1;

  QTabWidget* d_tab_widget;
  TEditor_Laser* d_editor_laser;
  TEditor_ISO* d_editor_iso;
  TEditor_MCG* d_editor_mcg;
  TEditor_Ballbar* d_editor_ballbar;
  QLabel* d_help_label;
  QPushButton* d_cancel_button;
  QPushButton* d_accept_button;
};

#endif
