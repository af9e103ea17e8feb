#include <QtTest>

#include <QAction>
#include <QCheckBox>
#include <QDockWidget>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>

#include <memory>

#include "src/gui/displaywidget.h"
#include "src/gui/machinedialog.h"
#include "src/gui/measurementdialog.h"
#include "src/gui/opengldisplay.h"
#include "src/gui/plotpage.h"
#include "src/gui/plotswidget.h"
#include "src/gui/varlume.h"
#include "src/model/conformity.h"
#include "src/model/measuredfile.h"
#include "src/model/report.h"
#include "tests/simulation_cases.h"
#include "tests/test_support.h"

namespace
{
QListWidget* List(QWidget* window, const char* dock)
{
  return window->findChild<QDockWidget*>(QString::fromLatin1(dock))->findChild<QListWidget*>();
}

// Selects the rows of these names one after the other, as clicks with Ctrl held would.
void Select(QListWidget* list, const QStringList& names)
{
  list->clearSelection();
  for(const QString& name : names)
  {
    const QList<QListWidgetItem*> items = list->findItems(name, Qt::MatchExactly);
    QVERIFY2(items.size() == 1, qPrintable(name));
    list->selectionModel()->select(list->model()->index(list->row(items.front()), 0), QItemSelectionModel::Select);
  }
}

QByteArray Pane(QWidget* window, const char* name)
{
  return window->findChild<QPlainTextEdit*>(QString::fromLatin1(name))->toPlainText().toLatin1();
}

QPushButton* Button(QWidget* window, const QString& text)
{
  return Test_Support::Child_With_Text<QPushButton>(window, text);
}

bool Action_Enabled(QWidget* window, const QString& text)
{
  const QAction* action = Test_Support::Child_With_Text<QAction>(window, text);
  return action && action->isEnabled();
}

// The increment fields of the map tab, which hold the Update button.
void Set_Increments(QWidget* window, double value)
{
  const QList<QLineEdit*> edits = Button(window, "Update")->parentWidget()->findChildren<QLineEdit*>();
  QCOMPARE(edits.size(), 3);
  for(QLineEdit* edit : edits)
  {
    edit->setText(QString::number(value));
  }
}

bool Is_Error_Block(const QByteArray& text)
{
  return text.startsWith("Map Initialization Errors") || text.startsWith("Measurement Expression Errors");
}
} // namespace

class TTestSimulationWindow : public QObject
{
  Q_OBJECT

private:
  Test_Support::TTemporaryHome d_home;
  std::unique_ptr<TVarlume> d_window;

  QListWidget* Machines() { return List(d_window.get(), "machine_dock"); }
  QListWidget* Measurements() { return List(d_window.get(), "measurement_dock"); }
  QByteArray Pane(const char* name) { return ::Pane(d_window.get(), name); }
  bool Output_Enabled() { return Button(d_window.get(), "Save Text")->isEnabled(); }

private slots:
  // A home of its own with the fixture libraries, and a fresh window on them.
  void init()
  {
    QVERIFY(d_home.Set_Up(Simulation_Cases::Data_Directory()));
    d_window = std::make_unique<TVarlume>();
    QCOMPARE(Machines()->count(), 8);
  }

  void cleanup() { d_window.reset(); }

  // A result, a machine that cannot be set up, and measurements that fail.
  void Results_data()
  {
    Simulation_Cases::Add_Rows(
        Simulation_Cases::Cases_Of({"results_bridge", "results_bad_expression", "results_bad_texts"}));
  }

  // Measurements chosen first, then the machine: its activation simulates them. The panes show
  // what varlume-batch prints; errors go to the selection pane as well.
  void Results()
  {
    QFETCH(QString, machine);
    QFETCH(QStringList, measurements);
    QFETCH(QString, file);
    Select(Measurements(), measurements);
    QCOMPARE(Pane("measurement_text"), QByteArray("Select a machine to display the measurement."));
    Select(Machines(), {machine});

    const QByteArray expected = Simulation_Cases::Read(file);
    const bool failed = Is_Error_Block(expected);
    if(expected.startsWith("Map Initialization Errors"))
    {
      // The failed set-up itself clears the results; the block appears in the map and the
      // selection pane, and in the measurement pane with the next selection change.
      QCOMPARE(Pane("measurement_text"), QByteArray());
      QCOMPARE(Pane("map_text"), expected);
      Select(Measurements(), measurements);
    }
    QCOMPARE(Pane("measurement_text"), expected);
    QCOMPARE(Pane("selection_text"), failed ? expected : QByteArray());
    QCOMPARE(Output_Enabled(), !failed);
  }

  // A map with its own increments, and one refused.
  void Maps_data() { Simulation_Cases::Add_Rows(Simulation_Cases::Cases_Of({"map_arm_xzy", "map_small_9_99"})); }

  void Maps()
  {
    QFETCH(QString, machine);
    QFETCH(double, increment);
    QFETCH(QString, file);
    Set_Increments(d_window.get(), increment);
    Select(Machines(), {machine});
    QCOMPARE(Pane("map_text"), Simulation_Cases::Read(file));
    // The Update button shows the same.
    Set_Increments(d_window.get(), 100);
    Select(Machines(), {machine});
    Set_Increments(d_window.get(), increment);
    Button(d_window.get(), "Update")->click();
    QCOMPARE(Pane("map_text"), Simulation_Cases::Read(file));
  }

  // A machine whose parameters all read zero (a new one, planned from) gives a sensitivity of
  // zeros: the Plots tab shows it per unit instead, and says so.
  void Sensitivity_Per_Unit_On_A_Zero_Machine()
  {
    TMachineDialog* machines = d_window->findChild<TMachineDialog*>();
    TMachineLibrary::TMachineItem* bridge = machines->Library().Machine(machines->Machine_Id("Bridge"));
    QVERIFY(bridge);
    for(TMachineLibrary::TMachineAxisItem& axis : bridge->axes)
    {
      for(TMachineLibrary::TMachineParameterItem& entry : axis.parameters)
      {
        entry.expression = QStringLiteral("0");
      }
    }
    Select(Machines(), {"Bridge"});
    Select(Measurements(), {"ISO X", "Laser X"});
    TPlotsWidget* plots = d_window->findChild<TDisplayWidget*>()->Plots_Widget();
    d_window->show();
    d_window->findChild<QTabWidget*>()->setCurrentWidget(plots);
    plots->Set_Kind("sensitivity");
    QCheckBox* per_unit = plots->findChild<QCheckBox*>();
    QVERIFY(per_unit && !per_unit->isChecked());
    plots->Compute_Sensitivity();
    QCoreApplication::processEvents();
    QVERIFY(per_unit->isChecked());
    QVERIFY(plots->View()->Page()->Header_Lines().value(0).startsWith("Sensitivity per unit: Bridge"));
    // Unticked, the table as given: all zeros, and the box stays as the engineer set it.
    per_unit->setChecked(false);
    QCoreApplication::processEvents();
    QVERIFY(plots->View()->Page()->Header_Lines().value(0).startsWith("Sensitivity: Bridge"));
    QVERIFY(!per_unit->isChecked());
  }

  // Measured ISO files are judged in the window as varlume-batch conformity --measured judges
  // them: the banner is the report's summary, the table holds its rows.
  void Conformity_Of_Measured_Files()
  {
    QTemporaryDir measured;
    const Test_Support::TBatchResult exported =
        Test_Support::Run_Batch({"export", "--machine", "Bridge", "--measurement", "ISO X", "--dir", measured.path()},
                                Test_Support::Batch_Environment(d_home.Path()));
    QCOMPARE(exported.code, 0);
    TMachineDialog* machines = d_window->findChild<TMachineDialog*>();
    TMachineLibrary::TMachineItem* bridge = machines->Library().Machine(machines->Machine_Id("Bridge"));
    bridge->has_mpe = true;
    bridge->mpe_a = 1.5;
    bridge->mpe_k = 400.0;
    Select(Machines(), {"Bridge"});
    TPlotsWidget* plots = d_window->findChild<TDisplayWidget*>()->Plots_Widget();
    d_window->show();
    d_window->findChild<QTabWidget*>()->setCurrentWidget(plots);
    plots->Set_Kind("conformity");
    plots->Set_Measured_Paths({measured.path()});
    QCoreApplication::processEvents();

    Conformity::TOptions options = plots->Conformity_Options();
    QVERIFY(Conformity::Record_Mpe(*bridge, &options.mpe));
    const std::vector<TMeasurement*> all = d_window->findChild<TMeasurementDialog*>()->Library().All_Measurements();
    const Conformity::TReport expected =
        Conformity::Measured(*bridge, std::vector<const TMeasurement*>(all.begin(), all.end()),
                             Measured::Read({measured.path()}).sets, options);
    QVERIFY(expected.ok && !expected.rows.empty());
    QCOMPARE(plots->View()->Page()->Banner_Text(), Conformity::Summary(expected));
    QTableWidget* table = plots->findChild<QTableWidget*>("conformity_table");
    QVERIFY(table && table->isVisible());
    QCOMPARE(table->rowCount(), static_cast<int>(expected.rows.size()));
  }

  // A machine that cannot be set up never shows, keeps or simulates the one selected before.
  void Failed_Setup_After_Good_One()
  {
    const QStringList measurements = {"ISO X", "BallBar X"};
    Select(Machines(), {"Bridge"});
    Select(Measurements(), measurements);
    QVERIFY(Pane("measurement_text").startsWith("ISO 10360-2 Measurement"));
    QVERIFY(Output_Enabled());

    const QByteArray block = Simulation_Cases::Read(Simulation_Cases::Expected_File("map_reversed_travel"));
    Select(Machines(), {"Reversed Travel"});
    QCOMPARE(Pane("map_text"), block);
    QCOMPARE(Pane("selection_text"), block);
    QCOMPARE(Pane("measurement_text"), QByteArray());
    QVERIFY(!Output_Enabled());
    QVERIFY(d_window->Machine_Setup_Failed());

    Select(Measurements(), {"BallBar X"});
    QCOMPARE(Pane("measurement_text"), block);
    QCOMPARE(Pane("selection_text"), block);
    QVERIFY(!Output_Enabled());

    // The Plots tab points to the reason rather than asking for a machine.
    TPlotsWidget* plots = d_window->findChild<TDisplayWidget*>()->Plots_Widget();
    d_window->show();
    d_window->findChild<QTabWidget*>()->setCurrentWidget(plots);
    for(const char* kind : {"errors", "results"})
    {
      plots->Set_Kind(kind);
      QCoreApplication::processEvents();
      QCOMPARE(plots->View()->Page()->Header_Lines().value(1),
               QString("Machine Reversed Travel could not be set up: the Machine Errors tab says why."));
      // Nothing to save, and the button says so.
      QPushButton* save = Button(d_window.get(), "Save Plot...");
      QVERIFY(!save->isEnabled());
      QVERIFY(save->toolTip().startsWith("Nothing to save"));
    }
    Button(d_window.get(), "Update")->click();
    QCOMPARE(Pane("map_text"), block);

    // Back on a machine that works, everything is simulated again.
    Select(Machines(), {"Bridge"});
    QCoreApplication::processEvents();
    QVERIFY(Button(d_window.get(), "Save Plot...")->isEnabled());
    QVERIFY(!d_window->Machine_Setup_Failed());
    QCOMPARE(Pane("map_text"), Simulation_Cases::Read(Simulation_Cases::Expected_File("map_bridge")));
    QVERIFY(Pane("measurement_text").startsWith("ASME B89 Ballbar Measurement"));
    QVERIFY(Output_Enabled());
  }

  void Machine_Selection_Counts()
  {
    Select(Machines(), {"Bridge"});
    QVERIFY(Action_Enabled(d_window.get(), "Remove Machine"));
    QVERIFY(Action_Enabled(d_window.get(), "Edit Machine"));
    QVERIFY(!Pane("map_text").isEmpty());

    Select(Machines(), {"Bridge", "Gantry"});
    QVERIFY(Action_Enabled(d_window.get(), "Remove Machine"));
    QVERIFY(!Action_Enabled(d_window.get(), "Edit Machine"));
    QCOMPARE(Pane("map_text"), QByteArray());
    QCOMPARE(Pane("measurement_text"), QByteArray());

    Select(Measurements(), {"ISO X", "MCG Band"});
    QCOMPARE(Pane("measurement_text"), QByteArray("Select a machine to display the measurement."));
    QCOMPARE(Pane("selection_text"), QByteArray("Select a machine to display the measurement."));
    QVERIFY(Action_Enabled(d_window.get(), "Remove Measurement"));
    QVERIFY(!Action_Enabled(d_window.get(), "Edit Measurement"));
    QVERIFY(!Output_Enabled());

    Select(Machines(), {});
    QVERIFY(!Action_Enabled(d_window.get(), "Remove Machine"));
    Select(Measurements(), {"ISO X"});
    QVERIFY(Action_Enabled(d_window.get(), "Edit Measurement"));
    QCOMPARE(Pane("measurement_text"), QByteArray("Select a machine to display the measurement."));

    // An empty measurement selection on one machine is a successful simulation of nothing,
    // with nothing to evaluate, export or save.
    Select(Machines(), {"Gantry"});
    Select(Measurements(), {});
    QCOMPARE(Pane("measurement_text"), QByteArray());
    QVERIFY(!Output_Enabled());
    QVERIFY(!Button(d_window.get(), "Export Measurements")->isEnabled());
    QVERIFY(!Button(d_window.get(), "Evaluation Report")->isEnabled());
  }

  void Picks()
  {
    Select(Machines(), {"Bridge"});
    Select(Measurements(), {"ISO X", "BallBar X"});
    TDisplayWidget* display = d_window->findChild<TDisplayWidget*>();
    QListWidget* list = Measurements();
    const int iso = list->findItems("ISO X", Qt::MatchExactly).front()->data(Qt::UserRole).toInt();
    const int bar = list->findItems("BallBar X", Qt::MatchExactly).front()->data(Qt::UserRole).toInt();

    emit display->Item_Selected(iso, 2);
    QVERIFY(Pane("selection_text").startsWith("Name:           ISO X\nIndex:          3\nNominal Length: "));
    emit display->Item_Selected(bar, 0);
    QVERIFY(Pane("selection_text").startsWith("Name:           BallBar X\nNominal Length: 400.0000\n"));
    // Rows that the measurement does not have, and ids that no measurement has.
    for(const auto& pick : {std::pair<int, int>{iso, 5}, {bar, 999}, {iso + 1000 * 1000, 0}, {-1000, 0}, {iso, -1}})
    {
      emit display->Item_Selected(pick.first, pick.second);
      QCOMPARE(Pane("selection_text"), QByteArray());
    }
  }

  // Renaming and removing update every pane at once, and the 3-D view never keeps rows or a
  // volume that the panes no longer show.
  void Panes_Follow_The_Libraries()
  {
    TOpenGLDisplay* view = d_window->findChild<TOpenGLDisplay*>();
    const auto drawn = [view]()
    { return view ? view->ISO_Count() + view->BallBar_Count() + view->MCG_Arm_Count() : 0; };
    Select(Machines(), {"Bridge"});
    Select(Measurements(), {"ISO X", "BallBar X"});
    QVERIFY(!view || drawn() > 0);

    QLineEdit editor;
    Measurements()->setCurrentItem(Measurements()->findItems("ISO X", Qt::MatchExactly).front(),
                                   QItemSelectionModel::NoUpdate);
    editor.setText("ISO Renamed");
    d_window->Rename_Measurement(&editor);
    QVERIFY(Pane("measurement_text").contains("Name:           ISO Renamed\n"));

    Machines()->setCurrentItem(Machines()->findItems("Bridge", Qt::MatchExactly).front(),
                               QItemSelectionModel::NoUpdate);
    editor.setText("Bridge Renamed");
    d_window->Rename_Machine(&editor);
    QVERIFY(Pane("map_text").startsWith("Selected Machine: Bridge Renamed\n"));

    // Removing the selected rows empties what showed them.
    const auto confirm = []()
    {
      QTimer::singleShot(0,
                         []()
                         {
                           QMessageBox* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                           QVERIFY(box);
                           for(QAbstractButton* button : box->buttons())
                           {
                             if(box->buttonRole(button) == QMessageBox::DestructiveRole)
                             {
                               button->click();
                             }
                           }
                         });
    };
    Select(Measurements(), {"BallBar X"});
    confirm();
    d_window->Remove_Measurement();
    QCOMPARE(Pane("measurement_text"), QByteArray());
    Select(Measurements(), {"ISO Renamed"});
    confirm();
    d_window->Remove_Machine();
    QCOMPARE(Pane("map_text"), QByteArray());
    QCOMPARE(Pane("measurement_text"), QByteArray());
    QCOMPARE(drawn(), 0);

    // An axis exception, then a failed set-up: no old rows, no old volume.
    Select(Machines(), {"Gantry"});
    Select(Measurements(), {"ISO Renamed", "MCG Centre"});
    QVERIFY(!view || drawn() > 0);
    Select(Machines(), {"Thin Tower"});
    QVERIFY(Is_Error_Block(Pane("measurement_text")) || Pane("measurement_text").contains("Axis"));
    QCOMPARE(drawn(), 0);
    Select(Machines(), {"Reversed Travel"});
    QVERIFY(!view || !view->Has_Render_Volume());
  }

  // A name that exists already: the row shows what the library stored.
  void Rename_To_Existing_Name()
  {
    QListWidget* list = Machines();
    list->setCurrentItem(list->findItems("Gantry", Qt::MatchExactly).front());
    QLineEdit editor;
    editor.setText("bridge");
    d_window->Rename_Machine(&editor);
    QCOMPARE(list->currentItem()->text(), QString("bridge 1"));
    // The status bar says that the name typed was not the one stored.
    QVERIFY(d_window->statusBar()->currentMessage().contains("bridge 1"));
    Select(list, {"bridge 1"});
    QVERIFY(Pane("map_text").startsWith("Selected Machine: bridge 1\n"));
  }

  // The batch tool writes Report::Pane_Text; it must read as the pane does after the same lines.
  void Pane_Text_Matches_The_Pane_data()
  {
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("report") << QStringList{"a", "", "b", ""};
    QTest::newRow("leading empty") << QStringList{"", "", "a", "", ""};
    QTest::newRow("only empty") << QStringList{"", ""};
    QTest::newRow("separators") << QStringList{QString("a\r\nb\rc") + QChar(0x2029) + "d" + QChar(0xa0), "\n", ""};
  }

  void Pane_Text_Matches_The_Pane()
  {
    QFETCH(QStringList, lines);
    QPlainTextEdit pane;
    for(const QString& line : lines)
    {
      pane.appendPlainText(line);
    }
    QCOMPARE(Report::Pane_Text(lines), pane.toPlainText());
  }
};

QTEST_MAIN(TTestSimulationWindow)
#include "test_simulation_window.moc"
