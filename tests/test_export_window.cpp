#include <QtTest>

#include <QApplication>
#include <QDockWidget>
#include <QFileDialog>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTemporaryDir>

#include "src/gui/varlume.h"
#include "tests/export_cases.h"
#include "tests/test_support.h"

namespace
{
using Test_Support::Read;
QListWidget* List(const TVarlume& window, const char* dock)
{
  return window.findChild<QDockWidget*>(QLatin1String(dock))->findChild<QListWidget*>();
}

void Select(const TVarlume& window, const QStringList& machines, const QStringList& measurements)
{
  for(const QString& name : machines)
  {
    List(window, "machine_dock")->findItems(name, Qt::MatchExactly).value(0)->setSelected(true);
  }
  for(const QString& name : measurements)
  {
    List(window, "measurement_dock")->findItems(name, Qt::MatchExactly).value(0)->setSelected(true);
  }
}

QString Selection_Pane(const TVarlume& window)
{
  return window.findChild<QPlainTextEdit*>(QStringLiteral("selection_text"))->toPlainText();
}

QStringList Files(const QString& directory)
{
  return QDir(directory).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

// The files of two directories are the same, byte for byte.
bool Same_Files(const QString& actual, const QString& expected)
{
  if(Files(actual) != Files(expected))
  {
    qWarning() << Files(actual) << "differs from" << Files(expected);
    return false;
  }
  for(const QString& file : Files(expected))
  {
    if(Read(QDir(actual).filePath(file)) != Read(QDir(expected).filePath(file)))
    {
      qWarning() << file << "differs";
      return false;
    }
  }
  return true;
}

// Runs the export slot, answering its directory dialog with directory or cancelling it when
// directory is empty. Returns whether the dialog asked as it should.
bool Export(TVarlume* window, const QString& directory)
{
  bool asked = false;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout,
                   [&]()
                   {
                     QFileDialog* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                     if(!dialog)
                     {
                       return;
                     }
                     timer.stop();
                     asked = dialog->windowTitle() == "Export Into Directory" &&
                             dialog->testOption(QFileDialog::ShowDirsOnly) &&
                             dialog->testOption(QFileDialog::DontResolveSymlinks);
                     if(directory.isEmpty())
                     {
                       dialog->reject();
                       return;
                     }
                     dialog->setDirectory(directory);
                     static_cast<QDialog*>(dialog)->accept(); // QFileDialog::accept, protected there
                   });
  timer.start(10);
  window->Export_Measurements();
  return asked;
}
} // namespace

class TTestExportWindow : public QObject
{
  Q_OBJECT

private:
  Test_Support::TTemporaryHome d_home;

private slots:
  void init()
  {
    // A home of its own with the fixture libraries: no test touches the real one.
    QVERIFY(d_home.Set_Up(Export_Cases::Data_Directory()));
  }

  // The window writes the stored files, and varlume-batch the same bytes for the same selection.
  void Window_Equals_Batch_data() { Export_Cases::Add_Rows(); }

  void Window_Equals_Batch()
  {
    QFETCH(QString, machine);
    QFETCH(QString, directory);
    TVarlume window;
    Select(window, {machine}, Export_Cases::All_Measurements());
    QCOMPARE(window.Selected_Measurements(), Export_Cases::All_Measurements());
    QVERIFY(Export(&window, d_home.Output_Path()));
    QVERIFY(Selection_Pane(window).isEmpty());
    QVERIFY(Same_Files(d_home.Output_Path(), Export_Cases::Expected_Directory(directory)));
    // The status bar counts the files and names the directory.
    const QString status = window.statusBar()->currentMessage();
    QVERIFY2(status.startsWith(QString::number(QDir(d_home.Output_Path()).entryList(QDir::Files).size()) + " files") &&
                 status.contains(d_home.Output_Path()),
             qPrintable(status));

    if(!QFileInfo(Export_Cases::Batch_Program()).isExecutable())
    {
      QSKIP("varlume-batch is not built");
    }
    QTemporaryDir batch_out;
    QStringList arguments = {"export", "--machine", machine, "--dir", batch_out.path()};
    for(const QString& name : window.Selected_Measurements())
    {
      arguments << "--measurement" << name;
    }
    // The batch tool reads the same libraries from the default data directory of this home.
    QCOMPARE(Test_Support::Run_Batch(arguments, Test_Support::Batch_Environment(d_home.Path())).code, 0);
    QVERIFY(Same_Files(batch_out.path(), d_home.Output_Path()));
  }

  // Cancel, no single machine, a machine that could not be set up, or failing expressions: the
  // export ends without a file and without a message.
  void Silent_Stops_data()
  {
    QTest::addColumn<QStringList>("machines");
    QTest::addColumn<bool>("cancel");
    QTest::newRow("cancelled") << QStringList{"Bridge"} << true;
    QTest::newRow("no machine") << QStringList{} << false;
    QTest::newRow("two machines") << QStringList{"Bridge", "Gantry"} << false;
    QTest::newRow("set-up failed") << QStringList{"Reversed Travel"} << false;
    QTest::newRow("expressions") << QStringList{"Thin Tower"} << false;
  }

  void Silent_Stops()
  {
    QFETCH(QStringList, machines);
    QFETCH(bool, cancel);
    TVarlume window;
    // The model holds Bridge before: a failed set-up must not export from it.
    Select(window, {"Bridge"}, {});
    List(window, "machine_dock")->clearSelection();
    Select(window, machines, Export_Cases::All_Measurements());
    QCOMPARE(window.Machine_Setup_Failed(), machines == QStringList{"Reversed Travel"});
    const QString pane = Selection_Pane(window);
    QVERIFY(Export(&window, cancel ? QString() : d_home.Output_Path()));
    QCOMPARE(Files(d_home.Output_Path()), QStringList());
    QCOMPARE(Selection_Pane(window), pane);
  }

  // The error model gives up half-way through the simulation: no file from partial rows, and,
  // as for failing expressions, no message of the export over the error block of the selection.
  void Axis_Exception_Writes_Nothing()
  {
    TVarlume window;
    Select(window, {"Thin Tower"}, {"ISO Y", "MCG Centre"});
    const QString pane = Selection_Pane(window);
    QVERIFY2(pane.startsWith("Measurement Expression Errors\n") && pane.contains("\nISO Y: "), qPrintable(pane));
    QVERIFY(Export(&window, d_home.Output_Path()));
    QCOMPARE(Files(d_home.Output_Path()), QStringList());
    QCOMPARE(Selection_Pane(window), pane);
  }

  // A writer that fails shows its one line in the selection pane, a later failure replacing an
  // earlier one; the other writers still write.
  void Failure_Line_data()
  {
    QTest::addColumn<QStringList>("blocked");
    QTest::addColumn<QString>("line");
    QTest::newRow("ball bar") << QStringList{"Ballbar Measurements.dat"}
                              << "Export Ballbar:  Cannot open 'Ballbar Measurements.dat' file for writing.";
    QTest::newRow("laser") << QStringList{"Zarnik Laser X.dat"}
                           << "Export Laser:  Cannot open Zarnik file for writing.";
    QTest::newRow("laser, then ISO") << QStringList{"Zarnik Laser X.dat", "Lumetra ISO Y.dat"}
                                     << "Export ISO:  Cannot open Lumetra file for writing.";
    // The Lumetra file is opened first.
    QTest::newRow("laser pair") << QStringList{"Zarnik Laser X.dat", "Lumetra Laser X.dat"}
                                << "Export Laser:  Cannot open Lumetra file for writing.";
    // The ball bar file is written before every other file, wherever the ball bar is selected.
    QTest::newRow("ball bar, then laser") << QStringList{"Ballbar Measurements.dat", "Zarnik Laser X.dat"}
                                          << "Export Laser:  Cannot open Zarnik file for writing.";
    QTest::newRow("MCG") << QStringList{"MCG MCG Centre.xml"} << "Export MCG: ERR:  Cannot write file '%1'.  Reason: ";
  }

  void Failure_Line()
  {
    QFETCH(QStringList, blocked);
    QFETCH(QString, line);
    const QDir out(d_home.Output_Path());
    for(const QString& name : blocked)
    {
      QVERIFY(out.mkdir(name));
    }
    TVarlume window;
    Select(window, {"Bridge"}, {"Laser X", "MCG Centre", "ISO Y", "Ballbar Diagonal"});
    QVERIFY(Export(&window, d_home.Output_Path()));

    const QString pane = Selection_Pane(window);
    if(line.contains("%1"))
    {
      QVERIFY2(pane.startsWith(line.arg(out.filePath(blocked.front()))) && !pane.contains('\n'), qPrintable(pane));
    }
    else
    {
      QCOMPARE(pane, line);
    }
    QStringList written = {"Ballbar Measurements.dat", "Lumetra Laser X.dat", "Zarnik Laser X.dat",
                           "MCG MCG Centre.xml",       "Lumetra ISO Y.dat",   "Zarnik ISO Y.dat"};
    for(const QString& name : blocked)
    {
      // A pair is written whole or not at all.
      written.removeAll(name);
      written.removeAll(QString(name).replace("Zarnik", "Lumetra"));
      written.removeAll(QString(name).replace("Lumetra", "Zarnik"));
    }
    written.sort();
    QCOMPARE(Files(d_home.Output_Path()), written);
  }
};

QTEST_MAIN(TTestExportWindow)
#include "test_export_window.moc"
