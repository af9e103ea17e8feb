#ifndef EXPORT_CASES_H
#define EXPORT_CASES_H

// The export files that the model, the window and varlume-batch tests all compare with the same
// stored directories in tests/data/export/expected: a machine and measurement library in
// tests/data/export, and the machine that each stored case exports the measurements on.

#include <QDir>
#include <QString>
#include <QStringList>

#include <vector>

#include "tests/test_support.h"

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

// The columns machine and directory, and a row for each stored case.
inline void Add_Rows()
{
  QTest::addColumn<QString>("machine");
  QTest::addColumn<QString>("directory");
  for(const TCase& c : Stored_Cases())
  {
    QTest::newRow(c.directory) << QString(c.machine) << QString(c.directory);
  }
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

using Test_Support::Batch_Program;

// The fixture libraries.
struct TLibraries : Test_Support::TLibraries
{
  bool Load() { return Test_Support::TLibraries::Load(Data_Directory()); }
};
} // namespace Export_Cases

#endif
