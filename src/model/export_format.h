#ifndef EXPORT_FORMAT_H
#define EXPORT_FORMAT_H

// Number and file helpers shared by the export writers (src/export*.cpp); not for other callers.

#include <QDir>
#include <QSaveFile>
#include <QString>

#include "core/vector3.h"

namespace Export
{
namespace Format
{
// Fixed-point, right-aligned in width characters filled with blanks (no fill for width 0).
inline QString Number(double value, int width, int decimals)
{
  return QStringLiteral("%1").arg(value, width, 'f', decimals);
}

// "x,y,z" without field width.
inline QString Triple(const TVector3& vector, int decimals)
{
  return Number(vector.x, 0, decimals) + QLatin1Char(',') + Number(vector.y, 0, decimals) + QLatin1Char(',') +
         Number(vector.z, 0, decimals);
}

// directory/pattern with %1 the file-name-safe measurement name.
QString Measurement_File_Path(const QString& directory, const char* pattern, const QString& name);

// Opens file for writing in text mode: the old file stays as it is until Commit_Text succeeds.
inline bool Open_Text_File(QSaveFile* file)
{
  return file->open(QIODevice::WriteOnly | QIODevice::Text);
}

// Writes the text as Latin-1 and replaces the old file; false when any of it failed (the old
// file is then left as it was).
bool Commit_Text(QSaveFile* file, const QString& text);
} // namespace Format
} // namespace Export

#endif
