#ifndef MACHINEDIALOG_H
#define MACHINEDIALOG_H

#include <QDialog>
#include <QString>
#include <QStringList>

#include <vector>

#include "core/vector3.h"
#include "src/machinelibrary.h"

// The machine library and, later, its editor. The library itself is the GUI-free
// TMachineLibrary; every library member here forwards to it, so callers keep writing
// TMachineDialog::Machine_Id and TMachineDialog::TMachineItem.
class TMachineDialog : public QDialog
{
  Q_OBJECT

public:
  using TMachineParameterItem = TMachineLibrary::TMachineParameterItem;
  using TMachineAxisItem = TMachineLibrary::TMachineAxisItem;
  using TMachineItem = TMachineLibrary::TMachineItem;
  using TMapErrorItem = TMachineLibrary::TMapErrorItem;

  explicit TMachineDialog(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());

  void Set_Data_Path(const QString& path) { d_library.Set_Data_Path(path); }
  // The library file, "<data path>/machines.xml".
  QString File_Name() const { return d_library.File_Name(); }
  bool Load_Data() { return d_library.Load_Data(); }
  bool Save_Data() const { return d_library.Save_Data(); }
  bool Save() const { return d_library.Save(); }
  QString Last_Error() const { return d_library.Last_Error(); }

  QStringList Machine_Names() const { return d_library.Machine_Names(); }
  int Machine_Id(const QString& name) const { return d_library.Machine_Id(name); }
  QString Machine_Name(int id) const { return d_library.Machine_Name(id); }
  TVector3 Machine_Axis_Start(int id) const { return d_library.Machine_Axis_Start(id); }
  TVector3 Machine_Axis_End(int id) const { return d_library.Machine_Axis_End(id); }
  TVector3 Machine_Math_Origin(int id) const { return d_library.Machine_Math_Origin(id); }
  TVector3 Machine_Mechanical_Origin(int id) const { return d_library.Machine_Mechanical_Origin(id); }
  int Machine_Kinematic(int id) const { return d_library.Machine_Kinematic(id); }

  int Create_Machine(const QString& name) { return d_library.Create_Machine(name); }
  QString Rename_Machine(int id, const QString& name) { return d_library.Rename_Machine(id, name); }
  void Remove_Machine(int id) { d_library.Remove_Machine(id); }
  QString Generate_Unique_Name(int id, const QString& name) const { return d_library.Generate_Unique_Name(id, name); }
  bool Name_Valid(const QString& name) const { return d_library.Name_Valid(name); }
  std::vector<TMapErrorItem> Map_Error_Items(int id) const { return d_library.Map_Error_Items(id); }

private:
  TMachineLibrary d_library;
};

#endif
