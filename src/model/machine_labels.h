#ifndef MACHINE_LABELS_H
#define MACHINE_LABELS_H

#include <QString>

#include "src/model/machine_values.h"

// The names of a machine's error parameters as reports and files write them ("X Axis Rx",
// "Z Axis Scale", "D Axis Deflection", "QXY"; a coefficient of a fitted function adds " c2" for
// the power of L in metres), and the typed key they stand for. Code passes keys; the text is
// made for the reader and read back only where a file holds it.

// Which parameter: the record's axis and error parameter, and for a coefficient of a fitted
// function the power of L (metres); 0 for a whole function or a squareness or deflection value.
struct TParameterKey
{
  int axis = 0;
  int parameter = 0;
  int power = 0;
};

namespace Machine_Labels
{
// "X Axis Rx", "QXY", "D Axis Deflection".
QString Parameter_Label(int axis, int parameter);
// The label with " c<power>" for a coefficient.
QString Key_Label(const TParameterKey& key);
// The key a stored label names (a covariance's labels, an identification's file); false for a
// text that names no parameter. A squareness value reads with the squareness axis.
bool Read_Key_Label(const QString& label, TParameterKey* key);
// Whether the two keys name one error function or value (the power aside).
bool Same_Parameter(const TParameterKey& first, const TParameterKey& second);
} // namespace Machine_Labels

#endif
