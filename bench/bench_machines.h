#ifndef BENCH_MACHINES_H
#define BENCH_MACHINES_H

#include <QString>

#include <cstddef>

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
} // namespace Bench

#endif
