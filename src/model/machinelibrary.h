#ifndef MACHINELIBRARY_H
#define MACHINELIBRARY_H

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

#include "core/vector3.h"
#include "src/model/libraryfile.h"
#include "src/model/machinecomp.h"

class TXmlFile;
class TXmlTree;
class TXmlWriter;

// The user's machines, kept in memory and stored in machines.xml in the data directory.
// Version 2 files are written; versions 1 and 2 are read. Problems come back as false with
// Last_Error; nothing here throws.
class TMachineLibrary : public TLibraryFile
{
public:
  TMachineLibrary();

  // One error parameter of an axis.
  struct TMachineParameterItem
  {
    int parameter = 0; // PARAMETER_RX ... PARAMETER_QZX
    bool enabled = false;
    int option_state = 0; // index of the sign option: 0 gives +1, anything else -1
    QString expression;   // in L (metres) for X, Y, Z; a plain number for D and squareness
  };

  struct TMachineAxisItem
  {
    int axis = 0; // AXIS_X, AXIS_Y, AXIS_Z, AXIS_D or AXIS_SQUARENESS
    std::vector<TMachineParameterItem> parameters;
  };

  // One machine; ids are valid for one run only and are not stored.
  struct TMachineItem
  {
    int id = -1;
    QString name;
    int kinematic = KINEMATIC_XYZ;
    TVector3 axis_minimum;
    TVector3 axis_maximum;
    TVector3 math_origin;
    TVector3 mechanical_origin;
    std::vector<TMachineAxisItem> axes;
    // E0 maximum permissible error: MPE(L) = min(A + L/K, B), A and B in µm, L in mm. Optional:
    // a record without one writes the same bytes as before the field existed.
    bool has_mpe = false;
    double mpe_a = 0.0;
    double mpe_k = 0.0;
    bool mpe_has_b = false; // no cap when false
    double mpe_b = 0.0;
    // The covariance of identified parameters (k = 1), in the units of the expressions: labels as
    // identification names them ("X Axis Scale c1", "QXY") and a labels x labels matrix, row by
    // row. Empty when the machine was not identified, or when an identified function was edited.
    QStringList covariance_labels;
    std::vector<double> covariance;
  };

  // One enabled parameter, as the error model takes it.
  struct TMapErrorItem
  {
    int axis = 0;
    int parameter = 0;
    QString expression; // X, Y and Z axes only
    double value = 0.0; // D and squareness only
    int sign = 1;
  };

  // Loading, saving and the data directory are TLibraryFile's: "<data path>/machines.xml",
  // versions 1 and 2 read, version 2 written, a file that did not load kept as machines.xml.bak.

  QStringList Machine_Names() const;
  // The ids in the order of Machine_Names, for lists that keep both.
  std::vector<int> Machine_Ids() const;
  // Case-insensitive; -1 when no machine has the name.
  int Machine_Id(const QString& name) const;
  // Empty, zero vectors or KINEMATIC_XYZ when no machine has the id.
  QString Machine_Name(int id) const;
  TVector3 Machine_Axis_Start(int id) const;
  TVector3 Machine_Axis_End(int id) const;
  TVector3 Machine_Math_Origin(int id) const;
  TVector3 Machine_Mechanical_Origin(int id) const;
  int Machine_Kinematic(int id) const;

  // Appends a machine with default values under the given name (used unchanged).
  int Create_Machine(const QString& name);
  // Gives the machine a unique name made from name and returns it.
  QString Rename_Machine(int id, const QString& name);
  // False when no machine has the id.
  bool Remove_Machine(int id);
  // A name no other machine has (case-insensitive): a trailing number is split off and
  // counted up, "Bridge2" becoming "Bridge 2" or the next free number; empty gives "Untitled".
  QString Generate_Unique_Name(int id, const QString& name) const;
  // Not blank and not yet taken.
  bool Name_Valid(const QString& name) const;
  // The enabled parameters of the machine in stored order; empty when no machine has the id.
  std::vector<TMapErrorItem> Map_Error_Items(int id) const;
  // The same for a record that need not be in any library.
  static std::vector<TMapErrorItem> Map_Error_Items(const TMachineItem& machine);

  // Removal that can be undone record by record: the machines of the ids (unknown ones skipped)
  // taken out with their places, and put back in them. Both mark the library modified.
  using TTaken = LibraryFile::TTaken<TMachineItem>;
  TTaken Take_Machines(const std::vector<int>& ids);
  void Put_Back_Machines(TTaken taken);
  std::unique_ptr<TLibraryFile> Copy_Records() const override;

  // For the editor: the record itself (null when no machine has the id), valid until the
  // list changes.
  TMachineItem* Machine(int id);
  const TMachineItem* Machine(int id) const;
  const std::vector<TMachineItem>& Machines() const { return d_machines; }

private:
  bool Read_Version(const TXmlTree& xml, int version) override;
  void Write_Records(TXmlWriter& xml) const override;
  void Name_Unnamed_Records() override;
  void Clear_Records() override { d_machines.clear(); }
  void Load_Version1(const TXmlTree& xml);
  void Load_Version2(const TXmlTree& xml);

  std::vector<TMachineItem> d_machines;
  // Never given twice by one library, also not by a reload (an undo): a record an undo step
  // holds keeps its id when it comes back.
  int d_next_id = 0;
};

#endif
