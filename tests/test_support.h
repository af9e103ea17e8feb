#ifndef TEST_SUPPORT_H
#define TEST_SUPPORT_H

// What many tests need alike: whole files read and written, a home of their own, the libraries of
// a data folder, a widget found by its text, a result row, table rows, and varlume-batch run as a
// user runs it.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <array>
#include <memory>
#include <tuple>
#include <utility>
#include <vector>

#include "core/vector3.h"
#include "src/model/machinelibrary.h"
#include "src/model/measurement.h"
#include "src/model/measurementlibrary.h"

namespace Test_Support
{
// The bytes of a file; "<unreadable: path>" when it cannot be read, so that a comparison
// names the file instead of passing on two empty texts.
inline QByteArray Read(const QString& path)
{
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable: ") + path.toUtf8() + ">";
}

// Replaces the file's contents; false when it could not be written whole.
inline bool Write(const QString& path, const QByteArray& bytes)
{
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A home of the test's own: HOME points at a new temporary directory with an empty data
// folder, .varlume, in it, so that nothing touches the real one, and an empty folder, output,
// for the files the test has written. Set_Up again for a fresh one.
class TTemporaryHome
{
public:
  // With libraries, a directory holding machines.xml and measurements.xml, the data folder
  // starts with copies of both. False when something could not be made.
  bool Set_Up(const QString& libraries = QString())
  {
    d_directory = std::make_unique<QTemporaryDir>();
    if(!d_directory->isValid())
    {
      return false;
    }
    qputenv("HOME", QFile::encodeName(d_directory->path()));
    if(!QDir(d_directory->path()).mkpath(QStringLiteral(".varlume")) ||
       !QDir(d_directory->path()).mkpath(QStringLiteral("output")))
    {
      return false;
    }
    for(const char* file : {"machines.xml", "measurements.xml"})
    {
      if(!libraries.isEmpty() && !QFile::copy(QDir(libraries).filePath(QLatin1String(file)), Data_File(file)))
      {
        return false;
      }
    }
    return true;
  }

  QString Path() const { return d_directory->path(); }
  // The data folder, <home>/.varlume.
  QString Data_Path() const { return QDir(Path()).filePath(QStringLiteral(".varlume")); }
  QString Data_File(const QString& name) const { return QDir(Data_Path()).filePath(name); }
  // The folder for what the test writes, <home>/output.
  QString Output_Path() const { return QDir(Path()).filePath(QStringLiteral("output")); }

private:
  std::unique_ptr<QTemporaryDir> d_directory;
};

// The machine and the measurement library of one data folder.
struct TLibraries
{
  TMachineLibrary machines;
  TMeasurementLibrary measurements;

  // Reads both from directory; false when either does not load.
  bool Load(const QString& directory)
  {
    machines.Set_Data_Path(directory);
    measurements.Set_Data_Path(directory);
    return machines.Load_Data() && measurements.Load_Data();
  }
};

// The first child of the given kind (a button, an action) that shows text; nullptr when none does.
template <typename TChild> TChild* Child_With_Text(const QObject* parent, const QString& text)
{
  for(TChild* child : parent->findChildren<TChild*>())
  {
    if(child->text() == text)
    {
      return child;
    }
  }
  return nullptr;
}

// Enables one parameter of a machine record with its expression (a plain number for D and the
// squareness values) and its sign option (+1 or -1).
inline void Enable_Parameter(TMachineLibrary::TMachineItem* machine, int axis, int parameter, const QString& expression,
                             int sign = 1)
{
  for(TMachineLibrary::TMachineAxisItem& item : machine->axes)
  {
    for(TMachineLibrary::TMachineParameterItem& entry : item.parameters)
    {
      if(item.axis == axis && entry.parameter == parameter)
      {
        entry.enabled = true;
        entry.expression = expression;
        entry.option_state = sign < 0 ? 1 : 0;
      }
    }
  }
}

// An ISO 10360-2 line from its six end texts (start x, y, z, end x, y, z).
inline std::unique_ptr<TMeasurement> Iso(const QString& name, const QStringList& ends)
{
  auto iso = std::make_unique<TMeasurement_ISO>();
  iso->Initialize();
  iso->d_name = name;
  iso->d_start_x_expression = ends[0];
  iso->d_start_y_expression = ends[1];
  iso->d_start_z_expression = ends[2];
  iso->d_end_x_expression = ends[3];
  iso->d_end_y_expression = ends[4];
  iso->d_end_z_expression = ends[5];
  return iso;
}

// A result row from reference to point on a perfect machine (actual equals nominal), with the
// usual probe offset.
inline TMeasurement::TMeasurementItem Row(const TVector3& reference, const TVector3& point,
                                          const TVector3& probe = TVector3(0, 0, -150))
{
  TMeasurement::TMeasurementItem row;
  row.reference_nominal = row.reference_actual = reference;
  row.point_nominal = row.point_actual = point;
  row.probe_offset = probe;
  const TVector3 line = point - reference;
  const double length = line.Length();
  row.axis_nominal = row.axis_actual = length > 0.0 ? line / length : TVector3(1, 0, 0);
  row.length_nominal = row.length_actual = length;
  return row;
}

// One row of a table-driven test whose two columns are texts.
struct TTextRow
{
  const char* name;
  QString first;
  QString second;
};

// Adds the two text columns and their rows to the current test's table.
inline void Add_Text_Rows(const char* first_column, const char* second_column, const std::vector<TTextRow>& rows)
{
  QTest::addColumn<QString>(first_column);
  QTest::addColumn<QString>(second_column);
  for(const TTextRow& row : rows)
  {
    QTest::newRow(row.name) << row.first << row.second;
  }
}

// Adds a column of each type, named in order.
template <typename... TValues, std::size_t... Index>
void Add_Columns(const std::array<const char*, sizeof...(TValues)>& columns, std::index_sequence<Index...>)
{
  (QTest::addColumn<TValues>(columns[Index]), ...);
}

// The rows of a table-driven test: each its name, followed by one value per column.
template <typename... TValues> using TRows = std::vector<std::tuple<const char*, TValues...>>;

// Adds the columns, of the types of the rows' values, and the rows.
template <typename... TValues>
void Add_Rows(const std::array<const char*, sizeof...(TValues)>& columns, const TRows<TValues...>& rows)
{
  Add_Columns<TValues...>(columns, std::index_sequence_for<TValues...>());
  for(const std::tuple<const char*, TValues...>& row : rows)
  {
    std::apply([](const char* name, const TValues&... values) { (QTest::newRow(name) << ... << values); }, row);
  }
}

// What a run of varlume-batch gave; code is -1 when it did not end by itself.
struct TBatchResult
{
  int code = -1;
  QByteArray out;
  QByteArray err;
};

// The tool, built beside the tests.
inline QString Batch_Program()
{
  return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../varlume-batch"));
}

// The environment of the tool in a terminal without a desktop, with home as its home.
inline QProcessEnvironment Batch_Environment(const QString& home)
{
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.remove(QStringLiteral("DISPLAY"));
  environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
  environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
  environment.insert(QStringLiteral("HOME"), home);
  return environment;
}

// Runs the tool to its end (a minute at most, unless told otherwise).
inline TBatchResult Run_Batch(const QStringList& arguments, const QProcessEnvironment& environment,
                              int milliseconds = 60000)
{
  QProcess process;
  process.setProcessEnvironment(environment);
  process.start(Batch_Program(), arguments);
  TBatchResult result;
  if(process.waitForFinished(milliseconds) && process.exitStatus() == QProcess::NormalExit)
  {
    result.code = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
  }
  return result;
}
} // namespace Test_Support

#endif
