#ifndef IDENTIFY_CASES_H
#define IDENTIFY_CASES_H

// Machines with known errors and measurement sets for the identification tests and its
// benchmark: a truth machine is exported with the program's own export and identified from
// those files, starting from the same geometry without errors.

#include <QDir>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "src/model/export.h"
#include "src/model/machinelibrary.h"
#include "src/model/measurement.h"

namespace Identify_Cases
{
// A machine with every error parameter enabled (the 16 of the library's layout), all zero.
inline TMachineLibrary::TMachineItem Zero_Machine(int kinematic, const QString& name = QStringLiteral("Truth"))
{
  TMachineLibrary library;
  const int id = library.Create_Machine(name);
  TMachineLibrary::TMachineItem machine = *library.Machine(id);
  machine.kinematic = kinematic;
  machine.axis_minimum = TVector3(0.0, 0.0, -600.0);
  machine.axis_maximum = TVector3(1000.0, 800.0, 0.0);
  machine.math_origin = TVector3(0.0, 0.0, 0.0);
  machine.mechanical_origin = TVector3(0.0, 0.0, 0.0);
  for(TMachineLibrary::TMachineAxisItem& axis : machine.axes)
  {
    for(TMachineLibrary::TMachineParameterItem& parameter : axis.parameters)
    {
      parameter.enabled = true;
      parameter.expression = axis.axis == AXIS_X || axis.axis == AXIS_Y || axis.axis == AXIS_Z ? QStringLiteral("0*L")
                                                                                               : QStringLiteral("0");
    }
  }
  return machine;
}

inline void Set_Parameter(TMachineLibrary::TMachineItem* machine, int axis, int parameter, const QString& expression,
                          int option_state = 0)
{
  for(TMachineLibrary::TMachineAxisItem& item : machine->axes)
  {
    for(TMachineLibrary::TMachineParameterItem& entry : item.parameters)
    {
      if(item.axis == axis && entry.parameter == parameter)
      {
        entry.expression = expression;
        entry.option_state = option_state;
      }
    }
  }
}

// The Rx, Ry, Rz and scale expressions of a linear axis; the one named by other_sign, if any,
// takes the other sign option.
inline void Set_Axis(TMachineLibrary::TMachineItem* machine, int axis, const std::array<const char*, 4>& expressions,
                     int other_sign = -1)
{
  const int parameters[] = {PARAMETER_RX, PARAMETER_RY, PARAMETER_RZ, PARAMETER_SCALE};
  for(int index = 0; index < 4; ++index)
  {
    Set_Parameter(machine, axis, parameters[index], QLatin1String(expressions[index]),
                  parameters[index] == other_sign ? 1 : 0);
  }
}

inline void Disable_All_But(TMachineLibrary::TMachineItem* machine, const std::vector<std::pair<int, int>>& keep)
{
  for(TMachineLibrary::TMachineAxisItem& axis : machine->axes)
  {
    for(TMachineLibrary::TMachineParameterItem& parameter : axis.parameters)
    {
      parameter.enabled = false;
      for(const auto& entry : keep)
      {
        parameter.enabled = parameter.enabled || (entry.first == axis.axis && entry.second == parameter.parameter);
      }
    }
  }
}

// Errors of the size of a real machine, up to degree 3, some with the other sign option.
inline TMachineLibrary::TMachineItem Truth_Machine(int kinematic)
{
  TMachineLibrary::TMachineItem machine = Zero_Machine(kinematic);
  Set_Axis(&machine, AXIS_X, {"0.0021*L-0.0048*L^2", "-0.003*L+0.002*L^3", "0.004*L-0.001*L^2", "0.005*L+0.0012*L^2"},
           PARAMETER_RY);
  Set_Axis(&machine, AXIS_Y, {"0.002*L", "-0.0030*L+0.0015*L^2", "0.0025*L^2-0.001*L^3", "-0.004*L"}, PARAMETER_RZ);
  Set_Axis(&machine, AXIS_Z, {"0.004*L", "-0.002*L+0.003*L^2", "0.0015*L", "-0.003*L+0.001*L^3"});
  Set_Parameter(&machine, AXIS_SQUARENESS, PARAMETER_QXY, QStringLiteral("0.0125"));
  Set_Parameter(&machine, AXIS_SQUARENESS, PARAMETER_QYZ, QStringLiteral("0.0060"), 1);
  Set_Parameter(&machine, AXIS_SQUARENESS, PARAMETER_QZX, QStringLiteral("-0.0040"));
  Set_Parameter(&machine, AXIS_D, PARAMETER_DEFLECTION, QStringLiteral("0.02"));
  return machine;
}

// Writes a point's three expressions with that many decimals.
inline void Set_Point(QString* x, QString* y, QString* z, const TVector3& point, int decimals = 4)
{
  *x = QString::number(point.x, 'f', decimals);
  *y = QString::number(point.y, 'f', decimals);
  *z = QString::number(point.z, 'f', decimals);
}

inline std::unique_ptr<TMeasurement> Ballbar(const QString& name, const TVector3& centre, const TVector3& direction,
                                             double length, const TVector3& probe = TVector3(0.0, 0.0, -150.0))
{
  auto ballbar = std::make_unique<TMeasurement_Ballbar>();
  ballbar->d_name = name;
  ballbar->d_probe_offset = probe;
  Set_Point(&ballbar->d_position_x_expression, &ballbar->d_position_y_expression, &ballbar->d_position_z_expression,
            centre);
  Set_Point(&ballbar->d_direction_i_expression, &ballbar->d_direction_j_expression, &ballbar->d_direction_k_expression,
            direction, 6);
  ballbar->d_length_expression = QString::number(length, 'f', 4);
  return ballbar;
}

template <typename TLine>
std::unique_ptr<TMeasurement> Line(const QString& name, const TVector3& start, const TVector3& end,
                                   const TVector3& probe = TVector3(0.0, 0.0, -150.0))
{
  auto line = std::make_unique<TLine>();
  line->Initialize();
  line->d_name = name;
  line->d_probe_offset = probe;
  Set_Point(&line->d_start_x_expression, &line->d_start_y_expression, &line->d_start_z_expression, start);
  Set_Point(&line->d_end_x_expression, &line->d_end_y_expression, &line->d_end_z_expression, end);
  return line;
}

inline std::unique_ptr<TMeasurement> Laser(const QString& name, const TVector3& start, const TVector3& end,
                                           double increment = 50.0)
{
  auto laser = Line<TMeasurement_Laser>(name, start, end);
  static_cast<TMeasurement_Laser*>(laser.get())->d_increment_expression = QString::number(increment, 'f', 4);
  return laser;
}

inline std::unique_ptr<TMeasurement> MCG(const QString& name, const TVector3& centre, double arm)
{
  auto mcg = std::make_unique<TMeasurement_MCG>();
  mcg->Initialize();
  mcg->d_name = name;
  mcg->d_position_x_expression = QString::number(centre.x, 'f', 4);
  mcg->d_position_y_expression = QString::number(centre.y, 'f', 4);
  mcg->d_position_z_expression = QString::number(centre.z, 'f', 4);
  mcg->d_length_expression = QString::number(arm, 'f', 4);
  return mcg;
}

// The reference measured set of the 1000 x 800 x 600 volume: six ball bars, seven ISO lines,
// laser runs along the three axes (two of them off the axis lines, so that the angles act on
// lever arms), and an MCG of 8 x 3. The ball bars use two stylus lengths.
inline std::vector<std::unique_ptr<TMeasurement>> Reference_Set()
{
  std::vector<std::unique_ptr<TMeasurement>> set;
  const TVector3 long_probe(0.0, 0.0, -250.0);
  set.push_back(Ballbar("Bar XY", TVector3(500, 400, -300), TVector3(1, 1, 0), 600.0));
  set.push_back(Ballbar("Bar YX", TVector3(500, 400, -300), TVector3(-1, 1, 0), 600.0));
  set.push_back(Ballbar("Bar XZ", TVector3(500, 400, -300), TVector3(1, 0, 1), 500.0, long_probe));
  set.push_back(Ballbar("Bar YZ", TVector3(500, 400, -300), TVector3(0, 1, 1), 500.0, long_probe));
  set.push_back(Ballbar("Bar XYZ", TVector3(500, 400, -300), TVector3(1, 1, 1), 700.0));
  set.push_back(Ballbar("Bar XZ Short", TVector3(500, 400, -300), TVector3(-1, 0, 1), 500.0));
  set.push_back(Line<TMeasurement_ISO>("ISO X", TVector3(0, 0, -600), TVector3(1000, 0, -600)));
  set.push_back(Line<TMeasurement_ISO>("ISO Y", TVector3(1000, 0, -600), TVector3(1000, 800, -600)));
  set.push_back(Line<TMeasurement_ISO>("ISO Z", TVector3(0, 800, -600), TVector3(0, 800, 0)));
  set.push_back(Line<TMeasurement_ISO>("ISO D1", TVector3(0, 0, -600), TVector3(1000, 800, 0)));
  set.push_back(Line<TMeasurement_ISO>("ISO D2", TVector3(1000, 0, -600), TVector3(0, 800, 0)));
  set.push_back(Line<TMeasurement_ISO>("ISO D3", TVector3(0, 800, -600), TVector3(1000, 0, 0)));
  set.push_back(Line<TMeasurement_ISO>("ISO D4", TVector3(1000, 800, -600), TVector3(0, 0, 0)));
  set.push_back(Laser("Laser X", TVector3(0, 0, 0), TVector3(1000, 0, 0)));
  set.push_back(Laser("Laser Y", TVector3(1000, 0, -600), TVector3(1000, 800, -600)));
  set.push_back(Laser("Laser Z", TVector3(1000, 800, -600), TVector3(1000, 800, 0)));
  set.push_back(MCG("MCG", TVector3(500, 400, -300), 200.0));
  return set;
}

inline std::vector<TMeasurement*> Pointers(const std::vector<std::unique_ptr<TMeasurement>>& set)
{
  std::vector<TMeasurement*> pointers;
  for(const auto& measurement : set)
  {
    pointers.push_back(measurement.get());
  }
  return pointers;
}

inline std::vector<const TMeasurement*> Records(const std::vector<std::unique_ptr<TMeasurement>>& set)
{
  std::vector<const TMeasurement*> records;
  for(const auto& measurement : set)
  {
    records.push_back(measurement.get());
  }
  return records;
}
// The measurements of the reference set that keep accepts.
inline std::vector<std::unique_ptr<TMeasurement>> Reference_Subset(const std::function<bool(const TMeasurement&)>& keep)
{
  std::vector<std::unique_ptr<TMeasurement>> subset;
  for(auto& measurement : Reference_Set())
  {
    if(keep(*measurement))
    {
      subset.push_back(std::move(measurement));
    }
  }
  return subset;
}
} // namespace Identify_Cases

#endif
