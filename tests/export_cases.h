#ifndef EXPORT_CASES_H
#define EXPORT_CASES_H

// The export files that the model, the window and varlume-batch tests all compare with the same
// stored directories in tests/data/export/expected: a machine and measurement library in
// tests/data/export, and the machine that each stored case exports the measurements on.

#include <QCoreApplication>
#include <QDir>
#include <QString>
#include <QStringList>

#include <vector>

#include "src/model/machinelibrary.h"
#include "src/model/measurementlibrary.h"

namespace Export_Cases
{
struct TCase
{
  const char* machine;
  const char* directory; // expected/<directory>
};

inline std::vector<TCase> Stored_Cases()
{
  return {{"Bridge", "bridge"}, {"Gantry", "gantry"}, {"Arm YZX", "arm_yzx"}};
}

// Every measurement of the fixture, kinds mixed, ball bars spread over the list.
inline QStringList All_Measurements()
{
  return {"Ballbar Diagonal",
          "Laser X",
          "Ballbar 19 Chars XY",
          "ISO Y",
          "Laser Z",
          "MCG Centre",
          QString::fromUtf8("Prüfung ISO"),
          "Laser Diagonal",
          QString::fromUtf8("Ballbar Ω Long Name Beyond Twenty"),
          "../../x"};
}

inline QString Data_Directory()
{
  return QStringLiteral(VARLUME_TEST_DATA "/export");
}

inline QString Expected_Directory(const QString& name)
{
  return QDir(Data_Directory()).filePath(QStringLiteral("expected/") + name);
}

// varlume-batch sits in the build directory, one level above the tests.
inline QString Batch_Program()
{
  return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../varlume-batch"));
}

struct TLibraries
{
  TMachineLibrary machines;
  TMeasurementLibrary measurements;

  bool Load()
  {
    machines.Set_Data_Path(Data_Directory());
    measurements.Set_Data_Path(Data_Directory());
    return machines.Load_Data() && measurements.Load_Data();
  }
};
} // namespace Export_Cases

#endif
