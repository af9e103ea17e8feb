#ifndef BENCH_MACHINES_H
#define BENCH_MACHINES_H

#include <QString>

#include <cmath>
#include <cstddef>

#include "src/model/evaluation.h"
#include "src/model/machinelibrary.h"
#include "src/model/simulation.h"

namespace Bench
{
// A machine of 2000 x 1700 x 1000 mm whose every parameter is a polynomial of the position; the
// first parameter_count of its 16 parameters are enabled.
inline Simulation::TMachineRecord Horizontal_Arm(int parameter_count = 16)
{
  Simulation::TMachineRecord record;
  record.name = QStringLiteral("Horizontal Arm");
  record.kinematic = KINEMATIC_XZY;
  record.axis_start = TVector3(0, -200, -1000);
  record.axis_end = TVector3(2000, 1500, 0);
  record.math_origin = TVector3(0, 0, -1000);
  record.mechanical_origin = TVector3(0, 0, -1000);
  const QString expressions[4] = {QStringLiteral("0.002*L-0.004*L^2+0.001*L^3"), QStringLiteral("-0.003*L+0.002*L^2"),
                                  QStringLiteral("0.001+0.004*L^3"), QStringLiteral("0.005*L-0.001*L^2+0.0005*L^4")};
  int index = 0;
  for(int axis : {AXIS_X, AXIS_Y, AXIS_Z})
  {
    for(int parameter : {PARAMETER_RX, PARAMETER_RY, PARAMETER_RZ, PARAMETER_SCALE})
    {
      record.error_items.push_back({axis, parameter, expressions[index++ % 4], 0.0, index % 3 == 0 ? -1 : 1});
    }
  }
  record.error_items.push_back({AXIS_SQUARENESS, PARAMETER_QXY, QString(), 0.0125, 1});
  record.error_items.push_back({AXIS_SQUARENESS, PARAMETER_QYZ, QString(), -0.004, 1});
  record.error_items.push_back({AXIS_SQUARENESS, PARAMETER_QZX, QString(), 0.008, -1});
  record.error_items.push_back({AXIS_D, PARAMETER_DEFLECTION, QString(), 0.01, 1});
  record.error_items.resize(static_cast<std::size_t>(parameter_count));
  return record;
}
// The bench machine as a library record, each function identified at degree 3, with a covariance
// over its 40 parameters: standard
// uncertainties of 0.1 µm per metre^k for the coefficients and 1 µm/m for the values, and
// correlations that fall off with the distance in the list.
inline TMachineLibrary::TMachineItem Identified_Horizontal_Arm()
{
  const Simulation::TMachineRecord record = Bench::Horizontal_Arm();
  TMachineLibrary library;
  TMachineLibrary::TMachineItem machine = *library.Machine(library.Create_Machine(record.name));
  machine.kinematic = record.kinematic;
  machine.axis_minimum = record.axis_start;
  machine.axis_maximum = record.axis_end;
  machine.math_origin = record.math_origin;
  machine.mechanical_origin = record.mechanical_origin;
  std::vector<double> deviations;
  for(const TMachineLibrary::TMapErrorItem& item : record.error_items)
  {
    for(TMachineLibrary::TMachineAxisItem& axis : machine.axes)
    {
      for(TMachineLibrary::TMachineParameterItem& parameter : axis.parameters)
      {
        if(axis.axis != item.axis || parameter.parameter != item.parameter)
        {
          continue;
        }
        parameter.enabled = true;
        parameter.option_state = item.sign > 0 ? 0 : 1;
        const bool function = !item.expression.isEmpty();
        parameter.expression = function ? item.expression : QString::number(item.value, 'f', 6);
        const QString label = Evaluation::Item_Label(item);
        for(int power = 1; function && power <= 3; ++power)
        {
          machine.covariance_labels.push_back(label + QStringLiteral(" c%1").arg(power));
          deviations.push_back(1e-4);
        }
        if(!function)
        {
          machine.covariance_labels.push_back(label);
          deviations.push_back(1e-3);
        }
      }
    }
  }
  const std::size_t size = deviations.size();
  for(std::size_t i = 0; i < size; ++i)
  {
    for(std::size_t j = 0; j < size; ++j)
    {
      const double correlation = std::pow(0.3, std::fabs(static_cast<double>(i) - static_cast<double>(j)));
      machine.covariance.push_back(deviations[i] * deviations[j] * correlation);
    }
  }
  return machine;
}

} // namespace Bench

#endif
