#include <QtTest>

#include <QApplication>
#include <QDockWidget>
#include <QFileDialog>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>

#include <functional>

#include "src/gui/measurementdialog.h"
#include "src/gui/progressdialog.h"
#include "src/gui/varlume.h"
#include "tests/evaluation_cases.h"
#include "tests/test_support.h"

namespace
{
QListWidget* List(const TVarlume& window, const char* dock)
{
  return window.findChild<QDockWidget*>(QLatin1String(dock))->findChild<QListWidget*>();
}

void Select(const TVarlume& window, const QString& machine, const QStringList& measurements)
{
  if(!machine.isEmpty())
  {
    List(window, "machine_dock")->findItems(machine, Qt::MatchExactly).value(0)->setSelected(true);
  }
  for(const QString& name : measurements)
  {
    List(window, "measurement_dock")->findItems(name, Qt::MatchExactly).value(0)->setSelected(true);
  }
}

// The simulated lengths of the measurements' rows, which a pick in the 3-D view shows.
QList<double> Rows(const TVarlume& window, const QStringList& names)
{
  const TMeasurementDialog* dialog = window.findChild<TMeasurementDialog*>();
  QList<double> lengths;
  for(const TMeasurement* measurement : dialog->Measurements(names))
  {
    for(const TMeasurement::TMeasurementItem& row : measurement->d_measurement_items)
    {
      lengths.push_back(row.length_actual);
    }
    lengths.push_back(-1.0);
  }
  return lengths;
}

QString Pane(const TVarlume& window, const char* name)
{
  return window.findChild<QPlainTextEdit*>(QLatin1String(name))->toPlainText();
}

// What the test saw of the file dialog and the progress dialog while the slot ran.
struct TSeen
{
  bool asked = false;
  QString title;
  QString filter;
  bool window_disabled = false;
  bool progress_enabled = false;
  Qt::WindowFlags progress_flags;
};

// Runs the evaluation slot, answering the file dialog with file (or cancelling it when file is
// empty); during_run is called once the progress dialog shows, from inside the loop.
TSeen Evaluate(TVarlume* window, const QString& file, const std::function<void(TProgressDialog*)>& during_run = {})
{
  TSeen seen;
  bool run_seen = false;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout,
                   [&]()
                   {
                     if(QFileDialog* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget()))
                     {
                       seen.asked = true;
                       seen.title = dialog->windowTitle();
                       seen.filter = dialog->nameFilters().join(';');
                       if(file.isEmpty())
                       {
                         dialog->reject();
                         return;
                       }
                       dialog->selectFile(file);
                       static_cast<QDialog*>(dialog)->accept(); // QFileDialog::accept, protected there
                       return;
                     }
                     TProgressDialog* progress = window->findChild<TProgressDialog*>();
                     if(progress && progress->isVisible() && !run_seen)
                     {
                       run_seen = true;
                       seen.window_disabled = !window->isEnabled();
                       seen.progress_enabled = progress->isEnabled();
                       seen.progress_flags = progress->windowFlags();
                       if(during_run)
                       {
                         during_run(progress);
                       }
                     }
                   });
  timer.start(0);
  window->Evaluate_Measurements();
  return seen;
}
} // namespace

class TTestEvaluationWindow : public QObject
{
  Q_OBJECT

private:
  Test_Support::TTemporaryHome d_home;

  QString Output() const { return QDir(d_home.Output_Path()).filePath("evaluation.txt"); }

private slots:
  void init()
  {
    // A home of its own with the fixture libraries: no test touches the real one.
    QVERIFY(d_home.Set_Up(Evaluation_Cases::Data_Directory()));
  }

  // The window writes a stored file of the model tests, also when the evaluation stops early,
  // and gives itself back afterwards, showing the active machine's results again.
  void Stored_Files_data()
  {
    Evaluation_Cases::Add_Columns();
    Evaluation_Cases::Add_Row(Evaluation_Cases::Case("ballbars_yxz"));
    Evaluation_Cases::Add_Row(Evaluation_Cases::Case("thin_tower"));
  }

  void Stored_Files()
  {
    QFETCH(QString, file);
    QFETCH(QString, machine);
    QFETCH(QStringList, measurements);
    TVarlume window;
    window.show();
    Select(window, machine, measurements);
    const QString results = Pane(window, "measurement_text");
    const QList<double> rows = Rows(window, measurements);

    const TSeen seen = Evaluate(&window, Output());
    QVERIFY(seen.asked);
    QCOMPARE(seen.title, QString("Create Evaluation Results File"));
    QCOMPARE(seen.filter, QString("Text Files (*.txt)"));
    QCOMPARE(Evaluation_Cases::Read(Output()), Evaluation_Cases::Read(Evaluation_Cases::Expected_File(file)));

    QVERIFY(window.isEnabled());
    TProgressDialog* progress = window.findChild<TProgressDialog*>();
    QVERIFY(progress);
    QVERIFY(!progress->isVisible());
    QCOMPARE(Pane(window, "measurement_text"), results);
    QCOMPARE(Rows(window, measurements), rows);
    QCOMPARE(QDir(d_home.Output_Path()).entryList(QDir::Files | QDir::Hidden), QStringList{"evaluation.txt"});
  }

  void Progress_Dialog()
  {
    TVarlume window;
    window.show();
    Select(window, "Six XZY", {"MCG Centre"});
    const TSeen seen = Evaluate(&window, Output());
    QVERIFY(seen.window_disabled);
    QVERIFY(seen.progress_enabled);
    QVERIFY(seen.progress_flags & Qt::FramelessWindowHint);
    QVERIFY(seen.progress_flags & Qt::WindowStaysOnTopHint);
    // One dialog, kept for later evaluations.
    Evaluate(&window, QDir(d_home.Output_Path()).filePath("again.txt"));
    QVERIFY(QFileInfo::exists(QDir(d_home.Output_Path()).filePath("again.txt")));
    QCOMPARE(window.findChildren<TProgressDialog*>().size(), 1);
  }

  // A VARLUME_JOBS that is not a number of threads is said to be ignored.
  void Jobs_Ignored()
  {
    qputenv("VARLUME_JOBS", "abc");
    TVarlume window;
    window.show();
    Select(window, "Six XZY", Evaluation_Cases::All_Measurements());
    Evaluate(&window, Output());
    qunsetenv("VARLUME_JOBS");
    QCOMPARE(Evaluation_Cases::Read(Output()), Evaluation_Cases::Read(Evaluation_Cases::Expected_File("six_xzy")));
    QVERIFY2(window.statusBar()->currentMessage().contains("VARLUME_JOBS='abc' is not a whole number from 1 and is "
                                                           "ignored"),
             qPrintable(window.statusBar()->currentMessage()));
  }

  // Cancel is delivered after the first pattern: the file holds the heading and at most one
  // line, is complete and in place, and the window is usable again.
  void Cancel()
  {
    TVarlume window;
    window.show();
    Select(window, "Six XZY", Evaluation_Cases::All_Measurements());
    const QList<double> rows = Rows(window, Evaluation_Cases::All_Measurements());
    Evaluate(&window, Output(), [](TProgressDialog* progress) { progress->findChild<QPushButton*>()->click(); });
    // The rows of the one pattern simulated are not what a pick must show.
    QCOMPARE(Rows(window, Evaluation_Cases::All_Measurements()), rows);

    // The lines so far, then the line that says the file stops there; the status bar says so.
    QByteArray text = Evaluation_Cases::Read(Output());
    const QByteArray whole = Evaluation_Cases::Read(Evaluation_Cases::Expected_File("six_xzy"));
    QVERIFY(text.endsWith(" of 64 patterns\n"));
    const int last = text.lastIndexOf('\n', text.size() - 2) + 1;
    const QByteArray cancelled = text.mid(last);
    text.truncate(last);
    const int patterns = cancelled.mid(cancelled.indexOf(':') + 2).split(' ').front().toInt();
    QCOMPARE(cancelled, QStringLiteral("Evaluation cancelled: %1 of 64 patterns\n").arg(patterns).toLatin1());
    QVERIFY(whole.startsWith(text));
    const int rule = text.indexOf(QByteArray(Evaluation::RULE_WIDTH, '-'));
    QVERIFY(rule > 0);
    QVERIFY(text.mid(rule).count('\n') <= 2);
    QCOMPARE(window.statusBar()->currentMessage(),
             QStringLiteral("Evaluation cancelled after %1 of 64 patterns: %2").arg(patterns).arg(Output()));
    QVERIFY(window.isEnabled());
    QVERIFY(!window.findChild<TProgressDialog*>()->isVisible());
  }

  // A close during the evaluation stops it and closes the window once the file is complete.
  void Close_While_Running()
  {
    TVarlume window;
    window.show();
    Select(window, "Six XZY", Evaluation_Cases::All_Measurements());
    Evaluate(&window, Output(), [&window](TProgressDialog*) { window.close(); });
    QVERIFY(window.isVisible());
    QTRY_VERIFY(!window.isVisible());
    const QByteArray whole = Evaluation_Cases::Read(Evaluation_Cases::Expected_File("six_xzy"));
    QByteArray text = Evaluation_Cases::Read(Output());
    QVERIFY(text.endsWith(" of 64 patterns\n"));
    text.truncate(text.lastIndexOf('\n', text.size() - 2) + 1);
    QVERIFY(whole.startsWith(text));
  }

  // Silent early stops: nothing is asked or written.
  void Early_Stops_data()
  {
    QTest::addColumn<QString>("machine");
    QTest::addColumn<QStringList>("measurements");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("asked");
    QTest::newRow("no machine") << QString() << QStringList{"Laser X"} << "evaluation.txt" << false;
    QTest::newRow("no measurement") << "Two XYZ" << QStringList() << "evaluation.txt" << false;
    QTest::newRow("dialog cancelled") << "Two XYZ" << QStringList{"Laser X"} << QString() << true;
    QTest::newRow("not writable") << "Two XYZ" << QStringList{"Laser X"} << "missing/evaluation.txt" << true;
    QTest::newRow("machine set-up failed") << "Origin Outside" << QStringList{"Laser X"} << "evaluation.txt" << false;
  }

  void Early_Stops()
  {
    QFETCH(QString, machine);
    QFETCH(QStringList, measurements);
    QFETCH(QString, answer);
    QFETCH(bool, asked);
    TVarlume window;
    window.show();
    Select(window, machine, measurements);
    // A machine whose set-up failed cannot be evaluated: Evaluate stays disabled.
    if(machine == "Origin Outside")
    {
      QPushButton* button = nullptr;
      for(QPushButton* candidate : window.findChildren<QPushButton*>())
      {
        button = candidate->text() == "Evaluation Report" ? candidate : button;
      }
      QVERIFY(button);
      QVERIFY(!button->isEnabled());
    }
    const TSeen seen = Evaluate(&window, answer.isEmpty() ? QString() : QDir(d_home.Output_Path()).filePath(answer));
    QCOMPARE(seen.asked, asked);
    QVERIFY(!seen.window_disabled);
    QVERIFY(window.isEnabled());
    QVERIFY(QDir(d_home.Output_Path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
  }

  // The members the evaluation is made of are the window's too.
  void Members()
  {
    TVarlume window;
    const std::vector<TMachineLibrary::TMapErrorItem> items(3, {AXIS_X, PARAMETER_RX, "L", 0.0, 1});
    QCOMPARE(window.Get_Evaluation_Error_Patterns(items).size(), std::size_t(8));
    TMachineComp machine;
    TMeasurement_ISO iso;
    iso.d_measurement_items.resize(1);
    iso.d_measurement_items[0].length_nominal = 100.0;
    iso.d_measurement_items[0].length_actual = 100.5;
    std::vector<TMeasurement*> list = {&iso};
    double values[4];
    QVERIFY(window.Get_Min_Max_ISO_Error(&machine, &list, &values[0], &values[1], &values[2], &values[3]));
    QCOMPARE(values[1], 0.5);
    QVERIFY(!window.Get_Min_Max_Laser_Error(&machine, &list, &values[0], &values[1], &values[2], &values[3]));
    QVERIFY(!window.Get_Min_Max_MCG_Error(&machine, &list, &values[0], &values[1], &values[2], &values[3]));
    QVERIFY(!window.Get_Min_Max_Ballbar_Error(&machine, &list, &values[0], &values[1], &values[2], &values[3]));
  }
};

QTEST_MAIN(TTestEvaluationWindow)
#include "test_evaluation_window.moc"
