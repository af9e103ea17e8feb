#ifndef SIMULATION_CASES_H
#define SIMULATION_CASES_H

// The pane texts that the model, the window and varlume-batch tests all compare with the same
// stored files in tests/data/simulation/expected: a machine and measurement library in
// tests/data/simulation, and which machine and measurements each case selects.

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

#include <vector>

#include "tests/test_support.h"

namespace Simulation_Cases
{
struct TCase
{
  const char* file;         // expected/<file>.txt
  const char* machine;      // the machine selected
  QStringList measurements; // selected in this order; empty for a map case
  double increment = 100.0; // map cases: all three increments
};

inline QString Data_Directory()
{
  return QStringLiteral(VARLUME_TEST_DATA "/simulation");
}

inline QString Expected_File(const char* file)
{
  return QDir(Data_Directory()).filePath(QStringLiteral("expected/%1.txt").arg(QLatin1String(file)));
}

using Test_Support::Read;

inline QStringList All_Valid()
{
  return {"Laser X",          "Laser Z",          "Laser Diagonal", "Laser Outside", "ISO X",
          "ISO Diagonal",     "MCG Centre",       "MCG Band",       "BallBar X",     "BallBar Diagonal Long Name",
          "BallBar Zero Dir", "ISO After Ballbar"};
}

inline std::vector<TCase> Results_Cases()
{
  return {
      {"results_bridge", "Bridge", All_Valid()},
      {"results_gantry", "Gantry", All_Valid()},
      {"results_arm_xzy", "Arm XZY", All_Valid()},
      {"results_arm_yzx", "Arm YZX", All_Valid()},
      // Set-up failures: the geometry is refused, or parameters do not evaluate.
      {"results_reversed_travel", "Reversed Travel", All_Valid()},
      {"results_bad_expression", "Bad Expression", All_Valid()},
      // Expression limits of a small machine, and an axis exception in the middle of a simulation.
      {"results_small", "Small", All_Valid()},
      {"results_thin_tower", "Thin Tower", {"ISO X", "MCG Centre"}},
      // Invalid texts, limits, and variables that only a ball bar defines, used before one.
      {"results_bad_texts", "Bridge", {"Bad Laser", "Bad MCG", "ISO After Ballbar", "BallBar X"}},
      {"results_ballbars", "Bridge", {"BallBar Zero Dir", "BallBar X"}},
  };
}

inline std::vector<TCase> Map_Cases()
{
  return {
      {"map_bridge", "Bridge", {}},
      {"map_gantry", "Gantry", {}},
      {"map_arm_xzy", "Arm XZY", {}, 250.0},
      {"map_arm_yzx", "Arm YZX", {}, 500.0},
      {"map_small_10", "Small", {}, 10.0},
      {"map_small_9_99", "Small", {}, 9.99},
      {"map_reversed_travel", "Reversed Travel", {}},
      {"map_bad_expression", "Bad Expression", {}},
  };
}

// The cases of these files, results first; the window and the tool run a few end to end.
inline std::vector<TCase> Cases_Of(const QStringList& files)
{
  std::vector<TCase> chosen;
  for(const std::vector<TCase>& cases : {Results_Cases(), Map_Cases()})
  {
    for(const TCase& c : cases)
    {
      if(files.isEmpty() || files.contains(QLatin1String(c.file)))
      {
        chosen.push_back(c);
      }
    }
  }
  return chosen;
}

// Every case.
inline std::vector<TCase> All_Cases()
{
  return Cases_Of({});
}

// The columns machine, measurements (empty for a map), increment and file (the stored file's
// path), and a row for each case.
inline void Add_Rows(const std::vector<TCase>& cases)
{
  QTest::addColumn<QString>("machine");
  QTest::addColumn<QStringList>("measurements");
  QTest::addColumn<double>("increment");
  QTest::addColumn<QString>("file");
  for(const TCase& c : cases)
  {
    QTest::newRow(c.file) << QString(c.machine) << c.measurements << c.increment << Expected_File(c.file);
  }
}
} // namespace Simulation_Cases

#endif
