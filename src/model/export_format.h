#ifndef EXPORT_FORMAT_H
#define EXPORT_FORMAT_H

// Number and file helpers shared by the export writers (src/model/export*.cpp); not for other callers.

#include <QDir>
#include <QString>

#include "core/safefile.h"
#include "core/vector3.h"
#include "src/model/textformat.h"

namespace Export
{
namespace Format
{
// The column helpers of the report (src/model/textformat.h): fixed-point, right-aligned in width
// characters filled with blanks (no fill for width 0).
using Text::Number;

// "x,y,z" without field width.
inline QString Triple(const TVector3& vector, int decimals)
{
  return Text::Triple(vector, decimals, ",");
}

// directory/pattern with %1 the file base, or the file-name-safe measurement name when the
// base is empty.
QString Measurement_File_Path(const QString& directory, const char* pattern, const QString& name,
                              const QString& file_base);

// Why an existing export target may not be replaced ("Is a symbolic link", "Not a regular
// file"); empty when it may, or when it is a directory, which fails to open as it always did.
QString Refused_Target(const QString& path);

// Writes the text as Latin-1 into the open file and flushes it to disk without replacing the
// old file yet; false when any of it failed (the old file then stays as it was).
bool Write_Text(TSafeFile* file, const QString& text);
} // namespace Format
} // namespace Export

#endif
