#include "src/model/machine_labels.h"

#include <QRegularExpression>

namespace
{
const int AXES[] = {AXIS_X, AXIS_Y, AXIS_Z, AXIS_D, AXIS_SQUARENESS};
const int PARAMETERS[] = {PARAMETER_RX,         PARAMETER_RY,  PARAMETER_RZ,  PARAMETER_SCALE,
                          PARAMETER_DEFLECTION, PARAMETER_QXY, PARAMETER_QYZ, PARAMETER_QZX};

bool Is_Squareness(int parameter)
{
  return parameter == PARAMETER_QXY || parameter == PARAMETER_QYZ || parameter == PARAMETER_QZX;
}
} // namespace

namespace Machine_Labels
{
QString Parameter_Label(int axis, int parameter)
{
  switch(parameter)
  {
  case PARAMETER_QXY:
    return QStringLiteral("QXY");
  case PARAMETER_QYZ:
    return QStringLiteral("QYZ");
  case PARAMETER_QZX:
    return QStringLiteral("QZX");
  default:
    break;
  }
  QString name;
  switch(axis)
  {
  case AXIS_X:
    name = QStringLiteral("X Axis");
    break;
  case AXIS_Y:
    name = QStringLiteral("Y Axis");
    break;
  case AXIS_Z:
    name = QStringLiteral("Z Axis");
    break;
  case AXIS_D:
    name = QStringLiteral("D Axis");
    break;
  default:
    // Only a hand-made file puts an angle or a scale among the squareness values.
    name = QStringLiteral("Squareness");
    break;
  }
  switch(parameter)
  {
  case PARAMETER_RX:
    return name + QStringLiteral(" Rx");
  case PARAMETER_RY:
    return name + QStringLiteral(" Ry");
  case PARAMETER_RZ:
    return name + QStringLiteral(" Rz");
  case PARAMETER_SCALE:
    return name + QStringLiteral(" Scale");
  default:
    break;
  }
  return name + QStringLiteral(" Deflection");
}

QString Key_Label(const TParameterKey& key)
{
  const QString label = Parameter_Label(key.axis, key.parameter);
  return key.power > 0 ? label + QStringLiteral(" c%1").arg(key.power) : label;
}

bool Read_Key_Label(const QString& label, TParameterKey* key)
{
  static const QRegularExpression POWER(QStringLiteral("^(.*) c([1-9][0-9]?)$"));
  const QRegularExpressionMatch match = POWER.match(label);
  const QString name = match.hasMatch() ? match.captured(1) : label;
  for(const int axis : AXES)
  {
    for(const int parameter : PARAMETERS)
    {
      if(Parameter_Label(axis, parameter) == name && (!Is_Squareness(parameter) || axis == AXIS_SQUARENESS))
      {
        key->axis = axis;
        key->parameter = parameter;
        key->power = match.hasMatch() ? match.captured(2).toInt() : 0;
        return true;
      }
    }
  }
  return false;
}

bool Same_Parameter(const TParameterKey& first, const TParameterKey& second)
{
  // A squareness value is one whatever axis a record files it under.
  return first.parameter == second.parameter && (Is_Squareness(first.parameter) || first.axis == second.axis);
}
} // namespace Machine_Labels
