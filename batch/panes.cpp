#include "batch/panes.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "batch/batch.h"
#include "src/model/machinecomp.h"
#include "src/model/report.h"
#include "src/model/simulation.h"

namespace
{
// The window's increment fields start at 100.
const double DEFAULT_INCREMENT = 100.0;

// An increment as the window's field reads it: the absolute value of the number. The usage
// check has refused a text that is not a finite number.
double Increment(const QString& text)
{
  return std::fabs(text.toDouble());
}

// A name as one line of list: a control character would split or garble the line, so a name
// holding one is printed with it escaped (\n, \r, \t, or \xHH; a backslash of such a name as
// \\). Every other name is printed as it is, so that a script can pass it back.
QString List_Line(const QString& name)
{
  const bool control = std::any_of(name.begin(), name.end(),
                                   [](const QChar& character) { return character.category() == QChar::Other_Control; });
  if(!control)
  {
    return name;
  }
  QString line;
  for(const QChar& character : name)
  {
    switch(character.unicode())
    {
    case '\n':
      line += QStringLiteral("\\n");
      break;
    case '\r':
      line += QStringLiteral("\\r");
      break;
    case '\t':
      line += QStringLiteral("\\t");
      break;
    case '\\':
      line += QStringLiteral("\\\\");
      break;
    default:
      line += character.category() == QChar::Other_Control
                  ? QStringLiteral("\\x%1").arg(character.unicode(), 2, 16, QLatin1Char('0'))
                  : QString(character);
      break;
    }
  }
  return line;
}
} // namespace

namespace Batch
{
QString List_Usage_Error(const TArguments& arguments)
{
  if(!arguments.machine_names.isEmpty() || !arguments.measurement_names.isEmpty() || !arguments.increments.isEmpty())
  {
    return QStringLiteral("list takes no --machine, --measurement or --increments");
  }
  return QString();
}

int Run_List(const TArguments&, const TLibraries& libraries, const TOutput& output)
{
  // Names go to scripts, which pass them back as arguments: UTF-8 like the rest of the system.
  for(const QStringList& names : {libraries.machines.Machine_Names(), libraries.measurements.Measurement_Names()})
  {
    for(const QString& name : names)
    {
      *output.out += List_Line(name).toUtf8();
      *output.out += '\n';
    }
  }
  return EXIT_OK;
}

bool Setup_Machine(const TLibraries& libraries, const QString& name, TMachineComp* machine, const TOutput& output)
{
  QStringList errors;
  if(Simulation::Update_Machine_Comp(libraries.machines, name, machine, &errors))
  {
    return true;
  }
  output.Pane(Report::Map_Initialization_Errors(errors));
  return false;
}

QString Map_Usage_Error(const TArguments& arguments)
{
  if(arguments.machine_names.size() != 1)
  {
    return QStringLiteral("map needs one --machine");
  }
  if(!arguments.measurement_names.isEmpty())
  {
    return QStringLiteral("map takes no --measurement");
  }
  for(const QString& text : arguments.increments)
  {
    bool number = false;
    const double value = text.toDouble(&number);
    if(!number || !std::isfinite(value))
    {
      return QStringLiteral("--increments: '%1' is not a number").arg(text);
    }
  }
  return QString();
}

int Run_Map(const TArguments& arguments, const TLibraries& libraries, const TOutput& output)
{
  const QString& name = arguments.machine_names.front();
  TMachineComp machine;
  if(!Setup_Machine(libraries, name, &machine, output))
  {
    return EXIT_FAILED;
  }
  double values[3] = {DEFAULT_INCREMENT, DEFAULT_INCREMENT, DEFAULT_INCREMENT};
  for(int axis = 0; axis < arguments.increments.size(); ++axis)
  {
    values[axis] = Increment(arguments.increments[axis]);
  }
  const QString stored_name = libraries.machines.Machine_Name(libraries.machines.Machine_Id(name));
  const QStringList lines = Report::Map_Display(machine, stored_name, values[0], values[1], values[2]);
  output.Pane(lines);
  // The only single-line map is the refusal of the increments.
  return lines.size() == 1 ? EXIT_USAGE : EXIT_OK;
}

QString Results_Usage_Error(const TArguments& arguments)
{
  return Machine_And_Measurements_Error(QStringLiteral("results"), arguments);
}

int Run_Results(const TArguments& arguments, const TLibraries& libraries, const TOutput& output)
{
  TMachineComp machine;
  if(!Setup_Machine(libraries, arguments.machine_names.front(), &machine, output))
  {
    return EXIT_FAILED;
  }
  std::vector<TMeasurement*> measurements = libraries.measurements.Measurements(arguments.measurement_names);
  QStringList lines;
  const bool simulated = Report::Simulate_Measurements(&machine, &measurements, &lines);
  output.Pane(lines);
  return simulated ? EXIT_OK : EXIT_FAILED;
}
} // namespace Batch
