#ifndef EVALUATION_CASES_H
#define EVALUATION_CASES_H

// What the model, window and varlume-batch tests of the compensation evaluation share: the
// fixture libraries in tests/data/evaluation (v1/ holds a hand-made version 1 machine with
// eighteen enabled parameters), the stored files in tests/data/evaluation/expected, and the
// evaluation of a machine of a library written into memory.

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

#include <vector>

#include "src/model/evaluation.h"
#include "src/model/simulation.h"
#include "tests/test_support.h"

namespace Evaluation_Cases
{
inline QString Data_Directory()
{
  return QStringLiteral(VARLUME_TEST_DATA "/evaluation");
}

inline QString Version1_Directory()
{
  return QStringLiteral(VARLUME_TEST_DATA "/evaluation/v1");
}

inline QString Expected_File(const QString& name)
{
  return QDir(Data_Directory()).filePath(QStringLiteral("expected/%1.txt").arg(name));
}

using Test_Support::Read;

inline QStringList All_Measurements()
{
  return {"Laser X", "Laser Z", "ISO Diagonal", "MCG Centre", "Ball Bar XY", "Ball Bar Z"};
}

// Stored files: expected/<file>.txt is the evaluation of machine with these measurements.
struct TCase
{
  const char* file;
  const char* machine;
  QStringList measurements;
};

inline std::vector<TCase> Stored_Cases()
{
  return {
      {"two_xyz", "Two XYZ", All_Measurements()},
      {"six_xzy", "Six XZY", All_Measurements()},
      {"ballbars_yxz", "Six YXZ", {"Ball Bar Z", "Ball Bar XY"}},
      {"deflection_xyz", "Deflection XYZ", {"MCG Centre", "Laser X"}},
      {"no_errors", "No Errors", All_Measurements()},
      {"thin_tower", "Thin Tower XZY", All_Measurements()},
      {"origin_outside", "Origin Outside", All_Measurements()},
  };
}

// The stored case of that file.
inline TCase Case(const char* file)
{
  for(const TCase& c : Stored_Cases())
  {
    if(qstrcmp(c.file, file) == 0)
    {
      return c;
    }
  }
  qFatal("no stored evaluation %s", file);
}

// The columns file, machine and measurements of a table of stored cases.
inline void Add_Columns()
{
  QTest::addColumn<QString>("file");
  QTest::addColumn<QString>("machine");
  QTest::addColumn<QStringList>("measurements");
}

// A row of that table; the caller may append the values of further columns.
inline QTestData& Add_Row(const TCase& c)
{
  return QTest::newRow(c.file) << QString(c.file) << QString(c.machine) << c.measurements;
}

// The libraries of a data folder, read when made.
struct TLibraries : Test_Support::TLibraries
{
  explicit TLibraries(const QString& directory) { Load(directory); }
};

// The evaluation file of a machine of the libraries; empty when no machine has the name.
inline QByteArray Evaluate(const TLibraries& libraries, const QString& machine, const QStringList& names,
                           Evaluation::TMode mode = Evaluation::TMode::FAST,
                           const Evaluation::TProgress& progress = Evaluation::TProgress(),
                           Evaluation::TResult* result = nullptr)
{
  Simulation::TMachineRecord record;
  if(!Simulation::Find_Machine_Record(libraries.machines, machine, &record))
  {
    return QByteArray();
  }
  QByteArray text;
  QBuffer buffer(&text);
  buffer.open(QIODevice::WriteOnly);
  const Evaluation::TResult evaluated =
      Evaluation::Write_Evaluation(record, libraries.measurements.Measurements(names), &buffer, progress, mode);
  if(result)
  {
    *result = evaluated;
  }
  return text;
}
} // namespace Evaluation_Cases

#endif
