#ifndef MACHINEDIALOG_H
#define MACHINEDIALOG_H

#include <QDialog>
#include <QString>
#include <QStringList>

#include <vector>

#include "core/vector3.h"
#include "src/model/machinelibrary.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTreeWidget;
class QTreeWidgetItem;
class TMachineParameterWidget;

// The machine library and the modal editor of one machine. The library itself is the GUI-free
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

  // The library itself, for the model functions that read one.
  const TMachineLibrary& Library() const { return d_library; }
  void Set_Data_Path(const QString& path) { d_library.Set_Data_Path(path); }
  // The library file, "<data path>/machines.xml".
  QString File_Name() const { return d_library.File_Name(); }
  bool Load_Data() { return d_library.Load_Data(); }
  bool Save_Data() const { return d_library.Save_Data(); }
  bool Save() const { return d_library.Save(); }
  QString Last_Error() const { return d_library.Last_Error(); }
  QStringList Load_Warnings() const { return d_library.Load_Warnings(); }
  QByteArray Snapshot() const { return d_library.Snapshot(); }
  // The library itself, for the window's undo of removals.
  TMachineLibrary& Library() { return d_library; }
  bool Restore(const QByteArray& snapshot) { return d_library.Restore(snapshot); }

  QStringList Machine_Names() const { return d_library.Machine_Names(); }
  std::vector<int> Machine_Ids() const { return d_library.Machine_Ids(); }
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
  // The record itself; null when no machine has the id.
  const TMachineItem* Machine(int id) const { return d_library.Machine(id); }
  const std::vector<TMachineItem>& Machines() const { return d_library.Machines(); }
  // Appends a copy of machine under a unique name made from its name, which it returns.
  QString Add_Machine_Item(const TMachineItem& machine)
  {
    const int id = d_library.Create_Machine(machine.name);
    const QString name = d_library.Rename_Machine(id, machine.name);
    TMachineItem* item = d_library.Machine(id);
    *item = machine;
    item->id = id;
    item->name = name;
    return name;
  }

  // Loads the machine of that name into the editor. A name no machine has leaves the editor
  // disabled, so that nothing typed there is lost without notice.
  void Reset(const QString& name);
  // The travel and origin fields, the kinematic buttons and the parameter tree together.
  void Enable_Editing(bool enabled);
  // The current machine's id, -1 when none is loaded.
  int Current_Machine_Id() const { return d_current_machine_id; }

public slots:
  void Initialize_Parameter_Tree();
  // Record to widgets.
  void Update_Editor();
  // Widgets to record; an axis maximum below its minimum is exchanged with it.
  void Update_Machine();
  // The deflection row is available only for the X-Z-Y and Y-Z-X orders.
  void Kinematic_Changed(bool checked);
  void Accept_Clicked();
  // The MPE fields marked and Accept refused while they do not make an MPE; the note that the
  // covariance goes once an error parameter differs from the record.
  void Update_Conformity_Fields();

private:
  enum TVectorField
  {
    FIELD_AXIS_MINIMUM = 0,
    FIELD_AXIS_MAXIMUM,
    FIELD_MATH_ORIGIN,
    FIELD_MECHANICAL_ORIGIN,
    FIELD_COUNT
  };

  void Add_Parameter_Row(QTreeWidgetItem* axis_item, const QString& title, int parameter, const QStringList& options,
                         bool expressions);
  // Enables and expands the deflection row, or disables it, clears its check box and collapses it.
  void Set_D_Axis_Available(bool available);
  bool D_Axis_Available() const;
  // Gives the expression editor of each axis row the travel in the fields, as typed.
  void Update_Position_Ranges();
  // The row's parameter in the record; null when the record does not hold it.
  static TMachineParameterItem* Find_Parameter(TMachineItem* machine, int axis, int parameter);
  static TMachineParameterWidget* Row_Widget(QTreeWidgetItem* item);
  // Enable, sign and value of every parameter row as the editor shows them.
  QStringList Parameter_Rows() const;
  // The MPE of the fields (has_mpe false when all three are empty); the reason when they make
  // none.
  QString Read_Mpe(TMachineItem* machine) const;

  TMachineLibrary d_library;
  int d_current_machine_id = -1;

  QLabel* d_header_label;
  QRadioButton* d_kinematic_xyz_radio;
  QRadioButton* d_kinematic_yxz_radio;
  QRadioButton* d_kinematic_xzy_radio;
  QRadioButton* d_kinematic_yzx_radio;
  // [field][x, y, z]
  QLineEdit* d_vector_edits[FIELD_COUNT][3];
  QTreeWidget* d_parameter_tree;
  QLineEdit* d_mpe_edits[3]; // A, K, B
  QLabel* d_covariance_label;
  QStringList d_loaded_rows; // Parameter_Rows of the record as loaded
  QPushButton* d_cancel_button;
  QPushButton* d_accept_button;
};

#endif
