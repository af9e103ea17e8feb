#ifndef MEASUREDFILE_TYPE_H
#define MEASUREDFILE_TYPE_H

#include <QByteArray>

// Which reader a measured data file needs, from its first bytes: told by the readers' file
// (measuredfile.cpp), asked by the collection of paths (measuredfile_read.cpp).
namespace Measured
{
enum class TFileType
{
  OTHER,
  BALLBAR,
  ZARNIK,
  LUMETRA,
  MCG
};

// The layout from the start of a file.
TFileType File_Type(const QByteArray& head);
} // namespace Measured

#endif
