#include "src/model/machinelibrary.h"

#include <QFileInfo>
#include <QSet>

#include <algorithm>

#include "core/varlume_assert.h"
#include "core/xmlfile.h"
#include "core/xmlwriter.h"
#include "src/model/libraryfile.h"
#include "src/model/machinelibrary_conformity.h"

namespace
{
const int FILE_VERSION = 2;

struct TKinematicName
{
  int kinematic;
  const char* text;
};
// In the order in which file texts are compared.
const TKinematicName KINEMATIC_NAMES[] = {
    {KINEMATIC_XYZ, "XYZ"}, {KINEMATIC_YXZ, "YXZ"}, {KINEMATIC_XZY, "XZY"}, {KINEMATIC_YZX, "YZX"}};

struct TAxisName
{
  int axis;
  const char* element;  // version 2
  const char* old_text; // version 1 (no squareness axis there)
};
const TAxisName AXIS_NAMES[] = {{AXIS_X, "Axis_X", "X"},
                                {AXIS_Y, "Axis_Y", "Y"},
                                {AXIS_Z, "Axis_Z", "Z"},
                                {AXIS_D, "Axis_D", "D"},
                                {AXIS_SQUARENESS, "Squareness", nullptr}};

struct TParameterName
{
  int parameter;
  const char* element;  // version 2
  const char* old_text; // version 1
};
const TParameterName PARAMETER_NAMES[] = {{PARAMETER_RX, "Parameter_Rx", "Rx"},
                                          {PARAMETER_RY, "Parameter_Ry", "Ry"},
                                          {PARAMETER_RZ, "Parameter_Rz", "Rz"},
                                          {PARAMETER_SCALE, "Parameter_Scale", "Scale"},
                                          {PARAMETER_DEFLECTION, "Parameter_Deflection", "Rt"},
                                          {PARAMETER_QXY, "Parameter_QXY", "QXY"},
                                          {PARAMETER_QYZ, "Parameter_QYZ", "QYZ"},
                                          {PARAMETER_QZX, "Parameter_QZX", "QZX"}};

// The sixteen parameters of a machine, per axis in the order of a new record.
struct TAxisLayout
{
  int axis;
  std::vector<int> parameters;
};
const std::vector<TAxisLayout>& Default_Layout()
{
  static const std::vector<TAxisLayout> layout = {{AXIS_X, {PARAMETER_RX, PARAMETER_RY, PARAMETER_RZ, PARAMETER_SCALE}},
                                                  {AXIS_Y, {PARAMETER_RX, PARAMETER_RY, PARAMETER_RZ, PARAMETER_SCALE}},
                                                  {AXIS_Z, {PARAMETER_RX, PARAMETER_RY, PARAMETER_RZ, PARAMETER_SCALE}},
                                                  {AXIS_SQUARENESS, {PARAMETER_QXY, PARAMETER_QYZ, PARAMETER_QZX}},
                                                  {AXIS_D, {PARAMETER_DEFLECTION}}};
  return layout;
}

bool Is_Linear_Axis(int axis)
{
  return axis == AXIS_X || axis == AXIS_Y || axis == AXIS_Z;
}

TMachineLibrary::TMachineParameterItem Default_Parameter(int axis, int parameter)
{
  TMachineLibrary::TMachineParameterItem item;
  item.parameter = parameter;
  item.enabled = false;
  item.option_state = 0;
  item.expression = Is_Linear_Axis(axis) ? QStringLiteral("0.0000 * L") : QStringLiteral("0.0000");
  return item;
}

const TAxisName* Find_Axis(int axis)
{
  for(const TAxisName& name : AXIS_NAMES)
  {
    if(name.axis == axis)
    {
      return &name;
    }
  }
  return nullptr;
}

const TParameterName* Find_Parameter(int parameter)
{
  for(const TParameterName& name : PARAMETER_NAMES)
  {
    if(name.parameter == parameter)
    {
      return &name;
    }
  }
  return nullptr;
}

// The first of XYZ, YXZ, XZY, YZX that the text equals in any letter case.
int Kinematic(const QString& text)
{
  for(const TKinematicName& name : KINEMATIC_NAMES)
  {
    if(text.compare(QLatin1String(name.text), Qt::CaseInsensitive) == 0)
    {
      return name.kinematic;
    }
  }
  throw TXmlFileException(QStringLiteral("Kinematic order not recognized"), TXmlFileException::DATA_ERROR);
}

QString Vector_Text(const TVector3& v)
{
  return QStringLiteral("%1,%2,%3").arg(v.x, 0, 'f', 4).arg(v.y, 0, 'f', 4).arg(v.z, 0, 'f', 4);
}

bool Has_Parameter(const std::vector<TMachineLibrary::TMachineParameterItem>& parameters, int parameter)
{
  return std::any_of(parameters.begin(), parameters.end(),
                     [parameter](const TMachineLibrary::TMachineParameterItem& p) { return p.parameter == parameter; });
}

// The parameters of the machine's item of that axis; the machine has one.
std::vector<TMachineLibrary::TMachineParameterItem>& Axis_Parameters(TMachineLibrary::TMachineItem* machine, int axis)
{
  const auto item = std::find_if(machine->axes.begin(), machine->axes.end(),
                                 [axis](const TMachineLibrary::TMachineAxisItem& a) { return a.axis == axis; });
  VARLUME_ASSERT(item != machine->axes.end());
  return item->parameters;
}

// One Machine_Parameter_Entry of a version 1 file, and the axis whose item it goes to.
TMachineLibrary::TMachineParameterItem Read_Version1_Entry(const TXmlTree& xml, const TXmlTree::TElement& entry,
                                                           int* axis)
{
  using LibraryFile::Element_Text;

  const QString axis_text = Element_Text(xml, entry, QStringLiteral("Axis"));
  const auto axis_name =
      std::find_if(std::begin(AXIS_NAMES), std::end(AXIS_NAMES),
                   [&](const TAxisName& name) {
                     return name.old_text && axis_text.compare(QLatin1String(name.old_text), Qt::CaseInsensitive) == 0;
                   });
  if(axis_name == std::end(AXIS_NAMES))
  {
    throw TXmlFileException(QStringLiteral("Axis not recognized"), TXmlFileException::DATA_ERROR);
  }

  const QString parameter_text = Element_Text(xml, entry, QStringLiteral("Parameter"));
  const auto parameter_name =
      std::find_if(std::begin(PARAMETER_NAMES), std::end(PARAMETER_NAMES),
                   [&](const TParameterName& name)
                   { return parameter_text.compare(QLatin1String(name.old_text), Qt::CaseInsensitive) == 0; });
  if(parameter_name == std::end(PARAMETER_NAMES))
  {
    throw TXmlFileException(QStringLiteral("Parameter not recognized"), TXmlFileException::DATA_ERROR);
  }

  TMachineLibrary::TMachineParameterItem item;
  item.parameter = parameter_name->parameter;
  item.enabled =
      Element_Text(xml, entry, QStringLiteral("Enabled")).compare(QLatin1String("True"), Qt::CaseInsensitive) == 0;
  item.option_state = Element_Text(xml, entry, QStringLiteral("Option_State")).toInt(nullptr, 10);
  const TXmlTree::TElement expression_node = xml.Get_Node(&entry, QStringLiteral("Expression"), true);
  if(!expression_node.isNull())
  {
    item.expression = xml.Read_Text_Node(&expression_node, true);
  }

  // Each axis held its own squareness entry; one listed under another axis stays there.
  *axis = axis_name->axis;
  if((*axis == AXIS_X && item.parameter == PARAMETER_QXY) || (*axis == AXIS_Y && item.parameter == PARAMETER_QYZ) ||
     (*axis == AXIS_Z && item.parameter == PARAMETER_QZX))
  {
    *axis = AXIS_SQUARENESS;
  }
  return item;
}

} // namespace

TMachineLibrary::TMachineLibrary() : TLibraryFile("machines.xml", "Machines", FILE_VERSION, "machines") {}

bool TMachineLibrary::Read_Version(const TXmlTree& xml, int version)
{
  bool known = true;
  if(version == 1)
  {
    Load_Version1(xml);
  }
  else if(version == 2)
  {
    Load_Version2(xml);
  }
  else
  {
    known = false;
  }
  d_modified = false;
  return known;
}

void TMachineLibrary::Name_Unnamed_Records()
{
  // Sequential Generate_Unique_Name calls on an empty name would give Untitled, Untitled 1,
  // ...; counting on from the last one keeps a file of many unnamed records linear.
  QSet<QString> taken;
  for(const TMachineItem& machine : d_machines)
  {
    if(!machine.name.simplified().isEmpty())
    {
      taken.insert(machine.name.toCaseFolded());
    }
  }

  const LibraryFile::TNameParts parts = LibraryFile::Split_Name(QString(), QStringLiteral("Untitled"));
  qint64 count = 0;
  for(TMachineItem& machine : d_machines)
  {
    if(!machine.name.simplified().isEmpty())
    {
      continue;
    }
    machine.name = LibraryFile::Take_Free_Name(parts, count, taken);
  }
}

void TMachineLibrary::Load_Version2(const TXmlTree& xml)
{
  using LibraryFile::Element_Text;

  d_machines.clear();

  const TXmlTree::TElement* root = xml.Root_Node();
  TXmlTree::TElement machine_node = xml.Get_Node(root, QStringLiteral("Machine_Item"), true);
  while(!machine_node.isNull())
  {
    TMachineItem machine;
    machine.name = Element_Text(xml, machine_node, QStringLiteral("Name"));

    const auto read_vector = [&](const QString& name, const TVector3& fallback)
    {
      const QStringList parts = Element_Text(xml, machine_node, name).split(QLatin1Char(','), Qt::KeepEmptyParts);
      if(parts.size() != 3)
      {
        return fallback;
      }
      return TVector3(parts[0].toDouble(), parts[1].toDouble(), parts[2].toDouble());
    };
    machine.axis_minimum = read_vector(QStringLiteral("Axis_Minimum"), TVector3(0.0, 0.0, -1000.0));
    machine.axis_maximum = read_vector(QStringLiteral("Axis_Maximum"), TVector3(1000.0, 1000.0, 0.0));
    machine.math_origin = read_vector(QStringLiteral("Math_Origin"), TVector3());
    machine.mechanical_origin = read_vector(QStringLiteral("Mechanical_Origin"), TVector3());

    machine.kinematic = Kinematic(Element_Text(xml, machine_node, QStringLiteral("Kinematic")));

    const TXmlTree::TElement parameters_node = xml.Get_Node(&machine_node, QStringLiteral("Machine_Parameters"), false);

    // Version 2 stores D before the squareness entries.
    for(const int axis : {AXIS_X, AXIS_Y, AXIS_Z, AXIS_D, AXIS_SQUARENESS})
    {
      const TXmlTree::TElement axis_node =
          xml.Get_Node(&parameters_node, QLatin1String(Find_Axis(axis)->element), false);
      const auto layout = std::find_if(Default_Layout().begin(), Default_Layout().end(),
                                       [axis](const TAxisLayout& entry) { return entry.axis == axis; });
      TMachineAxisItem axis_item;
      axis_item.axis = axis;
      for(const int parameter : layout->parameters)
      {
        const TXmlTree::TElement parameter_node =
            xml.Get_Node(&axis_node, QLatin1String(Find_Parameter(parameter)->element), false);
        TMachineParameterItem item;
        item.parameter = parameter;
        item.enabled = Element_Text(xml, parameter_node, QStringLiteral("Enabled"))
                           .compare(QLatin1String("True"), Qt::CaseInsensitive) == 0;
        item.option_state = Element_Text(xml, parameter_node, QStringLiteral("Option_State")).toInt(nullptr, 10);
        item.expression = Element_Text(xml, parameter_node, QStringLiteral("Expression"));
        axis_item.parameters.push_back(item);
      }
      machine.axes.push_back(axis_item);
    }
    // Each on its own: a machine without them is still a machine, and so are the next ones.
    const TXmlTree::TElement mpe_node = xml.Get_Node(&machine_node, QStringLiteral("MPE_E0"), true);
    const Machine_Conformity::TLeftOut mpe =
        mpe_node.isNull() ? Machine_Conformity::TLeftOut() : Machine_Conformity::Read_Mpe(xml, mpe_node, &machine);
    if(!mpe.rule.isEmpty())
    {
      Leave_Out(mpe.line, QStringLiteral("machine '%1': the MPE is not used: %2").arg(machine.name, mpe.rule));
    }
    const TXmlTree::TElement covariance_node = xml.Get_Node(&machine_node, QStringLiteral("Covariance"), true);
    const Machine_Conformity::TLeftOut covariance =
        covariance_node.isNull() ? Machine_Conformity::TLeftOut()
                                 : Machine_Conformity::Read_Covariance(xml, covariance_node, &machine);
    if(!covariance.rule.isEmpty())
    {
      Leave_Out(covariance.line,
                QStringLiteral("machine '%1': the covariance is not used: %2").arg(machine.name, covariance.rule));
    }

    machine.id = d_next_id++;
    d_machines.push_back(machine);
    machine_node = xml.Get_Sibling_Node(&machine_node, QStringLiteral("Machine_Item"), true);
  }
}

void TMachineLibrary::Load_Version1(const TXmlTree& xml)
{
  using LibraryFile::Element_Text;

  d_machines.clear();

  const TXmlTree::TElement* root = xml.Root_Node();
  TXmlTree::TElement machine_node = xml.Get_Node(root, QStringLiteral("Machine_Item"), true);
  while(!machine_node.isNull())
  {
    TMachineItem machine;
    machine.name = Element_Text(xml, machine_node, QStringLiteral("Name"));

    // One statement per coordinate: arguments of one call are evaluated in no fixed order,
    // and a missing element must be reported in file order.
    const auto read_vector = [&](const QString& prefix)
    {
      const double x = Element_Text(xml, machine_node, prefix + QStringLiteral("X")).toDouble();
      const double y = Element_Text(xml, machine_node, prefix + QStringLiteral("Y")).toDouble();
      const double z = Element_Text(xml, machine_node, prefix + QStringLiteral("Z")).toDouble();
      return TVector3(x, y, z);
    };
    machine.axis_minimum = read_vector(QStringLiteral("Map_Minimum_"));
    machine.axis_maximum = read_vector(QStringLiteral("Map_Maximum_"));
    machine.math_origin = read_vector(QStringLiteral("Map_Origin_"));
    machine.mechanical_origin = TVector3();

    machine.kinematic = Kinematic(Element_Text(xml, machine_node, QStringLiteral("Kinematic")));

    // Version 1 keeps the squareness item before D.
    for(const int axis : {AXIS_X, AXIS_Y, AXIS_Z, AXIS_SQUARENESS, AXIS_D})
    {
      TMachineAxisItem axis_item;
      axis_item.axis = axis;
      machine.axes.push_back(axis_item);
    }

    const TXmlTree::TElement parameters_node = xml.Get_Node(&machine_node, QStringLiteral("Machine_Parameters"), false);
    TXmlTree::TElement entry = xml.Get_Node(&parameters_node, QStringLiteral("Machine_Parameter_Entry"), true);
    while(!entry.isNull())
    {
      int axis = 0;
      const TMachineParameterItem item = Read_Version1_Entry(xml, entry, &axis);
      // The first entry of a parameter wins; a repeated one would be written twice and read
      // back as the first anyway.
      std::vector<TMachineParameterItem>& parameters = Axis_Parameters(&machine, axis);
      if(!Has_Parameter(parameters, item.parameter))
      {
        parameters.push_back(item);
      }
      entry = xml.Get_Sibling_Node(&entry, QStringLiteral("Machine_Parameter_Entry"), true);
    }

    // Version 2 requires all sixteen parameters: complete the record with defaults in the
    // places a new machine has them, so that the converted file loads again.
    for(const TAxisLayout& layout : Default_Layout())
    {
      std::vector<TMachineParameterItem>& parameters = Axis_Parameters(&machine, layout.axis);
      for(std::size_t index = 0; index < layout.parameters.size(); ++index)
      {
        const int parameter = layout.parameters[index];
        if(!Has_Parameter(parameters, parameter))
        {
          const std::size_t position = std::min(index, parameters.size());
          parameters.insert(parameters.begin() + static_cast<std::ptrdiff_t>(position),
                            Default_Parameter(layout.axis, parameter));
        }
      }
    }

    machine.id = d_next_id++;
    d_machines.push_back(machine);
    machine_node = xml.Get_Sibling_Node(&machine_node, QStringLiteral("Machine_Item"), true);
  }
}

void TMachineLibrary::Write_Records(TXmlWriter& xml) const
{
  auto* root = xml.Root_Node();

  for(const TMachineItem& machine : d_machines)
  {
    auto machine_node = xml.Create_Node(root, QStringLiteral("Machine_Item"));

    auto node = xml.Create_Node(&machine_node, QStringLiteral("Name"));
    xml.Write_Text_Node(&node, machine.name);
    node = xml.Create_Node(&machine_node, QStringLiteral("Axis_Minimum"));
    xml.Write_Text_Node(&node, Vector_Text(machine.axis_minimum));
    node = xml.Create_Node(&machine_node, QStringLiteral("Axis_Maximum"));
    xml.Write_Text_Node(&node, Vector_Text(machine.axis_maximum));
    node = xml.Create_Node(&machine_node, QStringLiteral("Math_Origin"));
    xml.Write_Text_Node(&node, Vector_Text(machine.math_origin));
    node = xml.Create_Node(&machine_node, QStringLiteral("Mechanical_Origin"));
    xml.Write_Text_Node(&node, Vector_Text(machine.mechanical_origin));

    const auto kinematic_name =
        std::find_if(std::begin(KINEMATIC_NAMES), std::end(KINEMATIC_NAMES),
                     [&machine](const TKinematicName& name) { return name.kinematic == machine.kinematic; });
    VARLUME_ASSERT(kinematic_name != std::end(KINEMATIC_NAMES));
    node = xml.Create_Node(&machine_node, QStringLiteral("Kinematic"));
    xml.Write_Text_Node(&node, QLatin1String(kinematic_name->text));

    auto parameters_node = xml.Create_Node(&machine_node, QStringLiteral("Machine_Parameters"));
    for(const TMachineAxisItem& axis : machine.axes)
    {
      const TAxisName* axis_name = Find_Axis(axis.axis);
      if(!axis_name)
      {
        VARLUME_ASSERT(false);
      }
      auto axis_node = xml.Create_Node(&parameters_node, QLatin1String(axis_name->element));

      for(const TMachineParameterItem& parameter : axis.parameters)
      {
        const TParameterName* parameter_name = Find_Parameter(parameter.parameter);
        if(!parameter_name)
        {
          continue;
        }
        auto parameter_node = xml.Create_Node(&axis_node, QLatin1String(parameter_name->element));
        node = xml.Create_Node(&parameter_node, QStringLiteral("Enabled"));
        xml.Write_Text_Node(&node, parameter.enabled ? QStringLiteral("True") : QStringLiteral("False"));
        node = xml.Create_Node(&parameter_node, QStringLiteral("Option_State"));
        xml.Write_Text_Node(&node, parameter.option_state);
        node = xml.Create_Node(&parameter_node, QStringLiteral("Expression"));
        const QString expression = parameter.expression.simplified();
        if(!expression.isEmpty())
        {
          xml.Write_Text_Node(&node, expression);
        }
      }
    }
    Machine_Conformity::Write(xml, machine_node, machine);
  }
}

QStringList TMachineLibrary::Machine_Names() const
{
  QStringList names;
  names.reserve(static_cast<int>(d_machines.size()));
  for(const TMachineItem& machine : d_machines)
  {
    names.push_back(machine.name);
  }
  return names;
}

std::vector<int> TMachineLibrary::Machine_Ids() const
{
  std::vector<int> ids;
  ids.reserve(d_machines.size());
  for(const TMachineItem& machine : d_machines)
  {
    ids.push_back(machine.id);
  }
  return ids;
}

int TMachineLibrary::Machine_Id(const QString& name) const
{
  for(const TMachineItem& machine : d_machines)
  {
    if(machine.name.compare(name, Qt::CaseInsensitive) == 0)
    {
      return machine.id;
    }
  }
  return -1;
}

TMachineLibrary::TMachineItem* TMachineLibrary::Machine(int id)
{
  const auto machine =
      std::find_if(d_machines.begin(), d_machines.end(), [id](const TMachineItem& item) { return item.id == id; });
  return machine == d_machines.end() ? nullptr : &*machine;
}

const TMachineLibrary::TMachineItem* TMachineLibrary::Machine(int id) const
{
  const auto machine =
      std::find_if(d_machines.begin(), d_machines.end(), [id](const TMachineItem& item) { return item.id == id; });
  return machine == d_machines.end() ? nullptr : &*machine;
}

QString TMachineLibrary::Machine_Name(int id) const
{
  const TMachineItem* machine = Machine(id);
  return machine ? machine->name : QString();
}

TVector3 TMachineLibrary::Machine_Axis_Start(int id) const
{
  const TMachineItem* machine = Machine(id);
  return machine ? machine->axis_minimum : TVector3();
}

TVector3 TMachineLibrary::Machine_Axis_End(int id) const
{
  const TMachineItem* machine = Machine(id);
  return machine ? machine->axis_maximum : TVector3();
}

TVector3 TMachineLibrary::Machine_Math_Origin(int id) const
{
  const TMachineItem* machine = Machine(id);
  return machine ? machine->math_origin : TVector3();
}

TVector3 TMachineLibrary::Machine_Mechanical_Origin(int id) const
{
  const TMachineItem* machine = Machine(id);
  return machine ? machine->mechanical_origin : TVector3();
}

int TMachineLibrary::Machine_Kinematic(int id) const
{
  const TMachineItem* machine = Machine(id);
  return machine ? machine->kinematic : KINEMATIC_XYZ;
}

int TMachineLibrary::Create_Machine(const QString& name)
{
  TMachineItem machine;
  machine.id = d_next_id++;
  machine.name = name;
  machine.kinematic = KINEMATIC_YXZ;
  machine.axis_minimum = TVector3(0.0, 0.0, -1000.0);
  machine.axis_maximum = TVector3(1000.0, 1000.0, 0.0);

  for(const TAxisLayout& layout : Default_Layout())
  {
    TMachineAxisItem axis;
    axis.axis = layout.axis;
    for(const int parameter : layout.parameters)
    {
      axis.parameters.push_back(Default_Parameter(layout.axis, parameter));
    }
    machine.axes.push_back(axis);
  }

  d_machines.push_back(machine);
  d_modified = true;
  return machine.id;
}

QString TMachineLibrary::Rename_Machine(int id, const QString& name)
{
  d_modified = true;
  TMachineItem* machine = Machine(id);
  if(!machine)
  {
    return name;
  }
  machine->name = Generate_Unique_Name(id, name);
  return machine->name;
}

bool TMachineLibrary::Remove_Machine(int id)
{
  const auto machine =
      std::find_if(d_machines.begin(), d_machines.end(), [id](const TMachineItem& item) { return item.id == id; });
  if(machine == d_machines.end())
  {
    return false;
  }
  d_machines.erase(machine);
  d_modified = true;
  return true;
}

TMachineLibrary::TTaken TMachineLibrary::Take_Machines(const std::vector<int>& ids)
{
  d_modified = true;
  return LibraryFile::Take_Records(&d_machines, ids, [](const TMachineItem& machine) { return machine.id; });
}

void TMachineLibrary::Put_Back_Machines(TTaken taken)
{
  d_modified = true;
  LibraryFile::Put_Back_Records(&d_machines, std::move(taken));
}

std::unique_ptr<TLibraryFile> TMachineLibrary::Copy_Records() const
{
  auto copy = std::make_unique<TMachineLibrary>();
  copy->d_machines = d_machines;
  return copy;
}

QString TMachineLibrary::Generate_Unique_Name(int id, const QString& name) const
{
  const LibraryFile::TNameParts parts = LibraryFile::Split_Name(name, QStringLiteral("Untitled"));
  for(qint64 count = 0;; ++count)
  {
    const QString candidate = LibraryFile::Name_Candidate(parts, count);
    const bool taken =
        std::any_of(d_machines.begin(), d_machines.end(),
                    [&](const TMachineItem& machine)
                    { return machine.id != id && machine.name.compare(candidate, Qt::CaseInsensitive) == 0; });
    if(!taken)
    {
      return candidate;
    }
  }
}

bool TMachineLibrary::Name_Valid(const QString& name) const
{
  const QString simplified = name.simplified();
  if(simplified.isEmpty())
  {
    return false;
  }
  return std::none_of(d_machines.begin(), d_machines.end(),
                      [&](const TMachineItem& machine)
                      { return machine.name.compare(simplified, Qt::CaseInsensitive) == 0; });
}

std::vector<TMachineLibrary::TMapErrorItem> TMachineLibrary::Map_Error_Items(int id) const
{
  const TMachineItem* machine = Machine(id);
  return machine ? Map_Error_Items(*machine) : std::vector<TMapErrorItem>();
}

std::vector<TMachineLibrary::TMapErrorItem> TMachineLibrary::Map_Error_Items(const TMachineItem& machine)
{
  std::vector<TMapErrorItem> items;
  for(const TMachineAxisItem& axis : machine.axes)
  {
    for(const TMachineParameterItem& parameter : axis.parameters)
    {
      if(!parameter.enabled)
      {
        continue;
      }
      TMapErrorItem item;
      item.axis = axis.axis;
      item.parameter = parameter.parameter;
      if(Is_Linear_Axis(axis.axis))
      {
        item.expression = parameter.expression;
      }
      else
      {
        item.value = parameter.expression.toDouble();
      }
      item.sign = parameter.option_state == 0 ? 1 : -1;
      items.push_back(item);
    }
  }
  return items;
}
