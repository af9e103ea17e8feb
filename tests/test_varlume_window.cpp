#include <QtTest>

#include <QMessageBox>

#include <QAbstractButton>
#include <QAction>
#include <QDialog>
#include <QDockWidget>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <csignal>
#include <memory>

#include <sys/stat.h>

#include "core/gui/messagebox.h"
#include "core/gui/windowsize.h"
#include "src/gui/adddialog.h"
#include "src/gui/displaywidget.h"
#include "src/gui/machinedialog.h"
#include "src/gui/measurementdialog.h"
#include "src/gui/quickstart.h"
#include "src/gui/signalclose.h"
#include "src/gui/varlume.h"
#include "src/model/machinelibrary.h"
#include "tests/test_support.h"

namespace
{
using Test_Support::Read;
using Test_Support::Write;
// Opens the evaluation bracket, which the evaluation itself drives.
class TTestableVarlume : public TVarlume
{
public:
  using TVarlume::Begin_Evaluation;
  using TVarlume::End_Evaluation;
};

QString Pane_Text(QWidget* window, const char* name)
{
  QPlainTextEdit* pane = window->findChild<QPlainTextEdit*>(QString::fromLatin1(name));
  return pane ? pane->toPlainText() : QStringLiteral("<no pane>");
}

QAction* Action(QWidget* window, const QString& text)
{
  return Test_Support::Child_With_Text<QAction>(window, text);
}

// Menu and tool bar contents as texts, "-" for a separator.
QStringList Texts(const QList<QAction*>& actions)
{
  QStringList texts;
  for(const QAction* action : actions)
  {
    texts.push_back(action->isSeparator() ? QStringLiteral("-") : action->text());
  }
  return texts;
}

const QByteArray Machines_File(R"(<?xml version="1.0" encoding="UTF-8"?>
<!-- written by hand: a save would drop this comment -->
<Machines File_Version="2"/>
)");

const QByteArray Measurements_File(R"(<?xml version="1.0" encoding="UTF-8"?>
<!-- written by hand: a save would drop this comment -->
<Measurements File_Version="1"/>
)");
} // namespace

// Answers the next removal question with Remove or Cancel and hands back what it asked.
void Answer_Removal(bool remove, QString* asked)
{
  QTimer::singleShot(0,
                     [remove, asked]()
                     {
                       QMessageBox* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                       QVERIFY(box);
                       *asked = box->text() + QLatin1Char(' ') + box->informativeText();
                       for(QAbstractButton* button : box->buttons())
                       {
                         if((box->buttonRole(button) == QMessageBox::DestructiveRole) == remove &&
                            (remove || box->buttonRole(button) == QMessageBox::RejectRole))
                         {
                           button->click();
                           return;
                         }
                       }
                     });
}

class TTestVarlumeWindow : public QObject
{
  Q_OBJECT

private:
  Test_Support::TTemporaryHome d_home;

  QString Data_File(const QString& name) const { return d_home.Data_File(name); }

  // An ISO line, a laser run and another ISO line in the window's list, in that order.
  static TMeasurementDialog* Three_Measurements(TVarlume* window)
  {
    TMeasurementDialog* measurements = window->findChild<TMeasurementDialog*>();
    measurements->Reset(QString(), QString());
    measurements->Create_ISO_Measurement();
    measurements->Create_Laser_Measurement();
    measurements->Create_ISO_Measurement();
    window->Update_Measurement_Names();
    return measurements;
  }

private slots:
  void init()
  {
    // Every test starts in an empty home of its own: no test touches the real one.
    QVERIFY(d_home.Set_Up());
  }

  void First_Start()
  {
    // A first start finds no data folder and makes it.
    QVERIFY(QDir(d_home.Path()).rmdir(".varlume"));
    TVarlume window;
    QVERIFY(QFileInfo(d_home.Data_Path()).isDir());

    const QList<QListWidget*> lists = window.findChildren<QListWidget*>();
    QCOMPARE(lists.size(), 2);
    for(const QListWidget* list : lists)
    {
      QCOMPARE(list->count(), 0);
      QCOMPARE(list->selectionMode(), QAbstractItemView::ExtendedSelection);
    }
    for(const char* text : {"Remove Machine", "Edit Machine", "Remove Measurement", "Edit Measurement"})
    {
      QVERIFY2(!Action(&window, text)->isEnabled(), text);
    }
    QVERIFY(Action(&window, "Add Machine")->isEnabled());
    QVERIFY(Action(&window, "Add Measurement")->isEnabled());

    // Under each list: add, remove, edit, and identify and plan under the machines; add and plan
    // are live: identify waits for a machine and measurements, and says so.
    const QList<QToolButton*> buttons = window.findChildren<QToolButton*>();
    int live = 0;
    int sixteen = 0;
    for(const QToolButton* button : buttons)
    {
      if(button->size() == QSize(16, 16))
      {
        ++sixteen;
        live += button->isEnabled() ? 1 : 0;
      }
    }
    QCOMPARE(sixteen, 8);
    QCOMPARE(live, 3);
    QAction* identify = Action(&window, "Identify Errors...");
    QVERIFY(!identify->isEnabled());
    QVERIFY2(identify->toolTip().contains("needs"), qPrintable(identify->toolTip()));

    // A missing library is a first start, not an error.
    QVERIFY(Pane_Text(&window, "selection_text").isEmpty());

    // Closing without a change writes nothing.
    window.close();
    QVERIFY(!QFileInfo::exists(Data_File("machines.xml")));
    QVERIFY(!QFileInfo::exists(Data_File("measurements.xml")));
  }

  void Menus_And_Tool_Bar()
  {
    TVarlume window;
    QCOMPARE(window.windowTitle(), QString("Varlume"));
    QCOMPARE(window.size(), QSize(1101, 750).boundedTo(Screen_Room(&window)));
    QVERIFY(!window.windowIcon().isNull());

    QStringList titles;
    QMap<QString, QStringList> contents;
    for(QAction* action : window.menuBar()->actions())
    {
      // Each menu has its Alt key.
      QVERIFY(action->text().contains('&'));
      const QString title = QString(action->text()).remove('&');
      titles.push_back(title);
      contents[title] = Texts(action->menu()->actions());
    }
    QCOMPARE(titles, QStringList({"File", "Edit", "Calibration", "View", "Help"}));
    QCOMPARE(contents["File"], QStringList({"Add Machine", "Add Measurement", "-", "Export Report...", "-", "Quit"}));
    QCOMPARE(contents["Edit"], QStringList({"Undo", "Redo", "-", "Edit Machine", "Edit Measurement", "-",
                                            "Remove Machine", "Remove Measurement"}));
    QCOMPARE(contents["Calibration"], QStringList({"Identify Errors...", "Plan Tests...", "Compensation..."}));
    QCOMPARE(contents["View"], QStringList({"Machines", "Measurements"}));
    QCOMPARE(contents["Help"], QStringList({"Quick Start", "About"}));

    // Quick Start is the README's "Using Varlume", built into the program, up to the next section.
    const QString guide = Quick_Start::Section(QString::fromUtf8(Read(":/help/README.md")));
    QVERIFY(guide.startsWith("# Quick Start\n") && guide.contains("### From the command line"));
    QVERIFY(!guide.contains("\n## "));

    QToolBar* tool_bar = window.findChild<QToolBar*>();
    QVERIFY(tool_bar);
    QCOMPARE(window.toolBarArea(tool_bar), Qt::TopToolBarArea);
    QCOMPARE(tool_bar->iconSize(), QSize(32, 32));
    QCOMPARE(Texts(tool_bar->actions()),
             QStringList({"Add Machine", "Remove Machine", "Edit Machine", "-", "Add Measurement", "Remove Measurement",
                          "Edit Measurement", "-", "About"}));
    for(QAction* action : tool_bar->actions())
    {
      QVERIFY2(action->isSeparator() || !action->icon().isNull(), qPrintable(action->text()));
    }
    QCOMPARE(Action(&window, "Add Machine")->toolTip(), QString("Add a new machine"));
    QCOMPARE(Action(&window, "Remove Machine")->toolTip(), QString("Remove the selected machines"));
    QCOMPARE(Action(&window, "Edit Machine")->toolTip(), QString("Edit the selected machine"));
    QCOMPARE(Action(&window, "Add Measurement")->toolTip(), QString("Add a new measurement"));
    QCOMPARE(Action(&window, "Remove Measurement")->toolTip(), QString("Remove the selected measurement"));
    QCOMPARE(Action(&window, "Edit Measurement")->toolTip(), QString("Edit the selected measurement"));

    QStringList docks;
    for(QDockWidget* dock : window.findChildren<QDockWidget*>())
    {
      docks.push_back(dock->windowTitle());
      QCOMPARE(window.dockWidgetArea(dock), Qt::LeftDockWidgetArea);
      QCOMPARE(dock->allowedAreas(), Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    }
    QCOMPARE(docks, QStringList({"Machines", "Measurements"}));
  }

  void About_Box()
  {
    TVarlume window;
    QString text;
    QString informative;
    QList<QAbstractButton*> buttons;
    QTimer::singleShot(0, &window,
                       [&]()
                       {
                         TMessageBox* box = window.findChild<TMessageBox*>();
                         QVERIFY(box && box->isVisible());
                         text = box->text();
                         informative = box->informativeText();
                         buttons = box->buttons();
                         box->Send_Key(Qt::Key_Return);
                       });
    Action(&window, "About")->trigger();
    QVERIFY(text.contains(">Varlume</span>"));
    QVERIFY(informative.contains(">Varlume - Version 3.0</span>"));
    QCOMPARE(buttons.size(), 1);
  }

  void Close_Saves_Only_Changed_Library_data()
  {
    QTest::addColumn<bool>("change_machines");
    QTest::addColumn<bool>("change_measurements");

    QTest::newRow("no change") << false << false;
    QTest::newRow("machine added") << true << false;
    QTest::newRow("measurement renamed") << false << true;
    QTest::newRow("both changed") << true << true;
  }

  void Close_Saves_Only_Changed_Library()
  {
    QFETCH(bool, change_machines);
    QFETCH(bool, change_measurements);

    QVERIFY(Write(Data_File("machines.xml"), Machines_File));
    QVERIFY(Write(Data_File("measurements.xml"), Measurements_File));

    TVarlume window;
    QVERIFY(Pane_Text(&window, "selection_text").isEmpty());
    if(change_machines)
    {
      window.findChild<TMachineDialog*>()->Create_Machine("Bridge");
    }
    if(change_measurements)
    {
      // Renaming sets the modified flag even when no measurement has the id.
      window.findChild<TMeasurementDialog*>()->Rename_Measurement(12345, "Laser");
    }
    QVERIFY(window.close());

    QCOMPARE(Read(Data_File("machines.xml")) != Machines_File, change_machines);
    QCOMPARE(Read(Data_File("measurements.xml")) != Measurements_File, change_measurements);
    if(change_machines)
    {
      QVERIFY(Read(Data_File("machines.xml")).contains("<Name>Bridge</Name>"));
    }
  }

  // A shutdown or Ctrl+C closes the window as Quit does, so the changes are saved.
  void Termination_Signal_Saves()
  {
    QVERIFY(Write(Data_File("machines.xml"), Machines_File));
    TVarlume window;
    window.show();
    QVERIFY(Signal_Close::Install(&window));
    window.findChild<TMachineDialog*>()->Create_Machine("Bridge");
    // With a dialog open, which is cancelled rather than left running behind the closed window.
    int answer = -1;
    QTimer::singleShot(0, &window,
                       [&window, &answer]()
                       {
                         QDialog open(&window);
                         QTimer::singleShot(0, []() { ::raise(SIGTERM); });
                         answer = open.exec();
                       });
    QTRY_VERIFY(!window.isVisible());
    QCOMPARE(answer, int(QDialog::Rejected));
    QVERIFY(Read(Data_File("machines.xml")).contains("<Name>Bridge</Name>"));
  }

  // A window that ends without closing (a crash) leaves its changes for the next one to offer.
  void Unsaved_Changes_Survive_A_Crash_data()
  {
    QTest::addColumn<QString>("answer");
    QTest::newRow("restore") << "Restore";
    QTest::newRow("discard") << "Discard";
    QTest::newRow("closed unanswered") << "";
  }

  void Unsaved_Changes_Survive_A_Crash()
  {
    QFETCH(QString, answer);
    QVERIFY(Write(Data_File("machines.xml"), Machines_File));
    {
      TVarlume window;
      window.findChild<TMachineDialog*>()->Create_Machine("Bridge");
      window.Update_Machine_Names();
      QListWidget* machine_list = window.findChildren<QListWidget*>().value(0);
      machine_list->setCurrentRow(0);
      QLineEdit editor;
      editor.setText("Gantry");
      window.Rename_Machine(&editor);
      // Destroyed without closing: nothing is saved, as when the process dies.
    }
    QCOMPARE(Read(Data_File("machines.xml")), Machines_File);

    TVarlume window;
    QMessageBox* box = nullptr;
    QTRY_VERIFY((box = window.findChild<QMessageBox*>("recovery_box")) && box->isVisible());
    for(QAbstractButton* button : box->buttons())
    {
      if(button->text() == answer)
      {
        button->click();
      }
    }
    const bool restored = answer == "Restore";
    QCOMPARE(window.findChild<TMachineDialog*>()->Machine_Names().contains("Gantry"), restored);
    // A close (a logout, say) before the question is answered keeps the changes for next time.
    QVERIFY(window.close());
    QCOMPARE(Read(Data_File("machines.xml")).contains("<Name>Gantry</Name>"), restored);
    QCOMPARE(QFileInfo::exists(Data_File("unsaved/machines.xml")), answer.isEmpty());
  }

  // What is found in unsaved/ is only read when it is a regular file there: a linked folder is
  // not used (its files belong elsewhere), and a kept file that cannot be read is set aside,
  // never deleted unread nor waited on.
  void Foreign_Unsaved_Entries_data()
  {
    Test_Support::Add_Text_Rows("kind", "said",
                                {{"linked folder", "linked folder", "is not used"},
                                 {"link loop", "link loop", "set aside"},
                                 {"FIFO", "FIFO", "set aside"}});
  }

  void Foreign_Unsaved_Entries()
  {
    QFETCH(QString, kind);
    QFETCH(QString, said);
    QVERIFY(Write(Data_File("machines.xml"), Machines_File));
    QTemporaryDir elsewhere;
    const QStringList foreign = {"machines.xml.base", "measurements.xml.base", "machines.xml"};
    if(kind == "linked folder")
    {
      for(const QString& name : foreign)
      {
        QVERIFY(Write(QDir(elsewhere.path()).filePath(name), "not this folder's"));
      }
      QVERIFY(QFile::link(elsewhere.path(), Data_File("unsaved")));
    }
    else
    {
      QVERIFY(QDir(Data_File("")).mkdir("unsaved"));
      const QByteArray path = QFile::encodeName(Data_File("unsaved/machines.xml"));
      QVERIFY(kind == "FIFO" ? ::mkfifo(path.constData(), 0600) == 0 : QFile::link(path, path));
    }
    {
      TVarlume window;
      window.show();
      QVERIFY2(window.statusBar()->currentMessage().contains(said), qPrintable(window.statusBar()->currentMessage()));
      window.findChild<TMachineDialog*>()->Create_Machine("Bridge");
      QVERIFY(window.close());
    }
    if(kind == "linked folder")
    {
      for(const QString& name : foreign)
      {
        QCOMPARE(Read(QDir(elsewhere.path()).filePath(name)), QByteArray("not this folder's"));
      }
    }
    else
    {
      QVERIFY(QFileInfo(Data_File("unsaved/machines.xml.bad")).isSymLink() ||
              QFileInfo(Data_File("unsaved/machines.xml.bad")).exists());
    }
    QVERIFY(Read(Data_File("machines.xml")).contains("<Name>Bridge</Name>"));
  }

  // Two windows on one data folder: the second shows the libraries read-only and says so, and
  // closing it writes nothing, so the first window's changes are what is saved.
  void Second_Window_Is_Read_Only()
  {
    QVERIFY(Write(Data_File("machines.xml"), Machines_File));
    auto first = std::make_unique<TVarlume>();
    QVERIFY(!first->Read_Only());
    first->findChild<TMachineDialog*>()->Create_Machine("Bridge");

    {
      TVarlume second;
      QVERIFY(second.Read_Only());
      QVERIFY(second.windowTitle() != first->windowTitle());
      QVERIFY(!Action(&second, "Add Machine")->isEnabled());
      QTRY_VERIFY(second.findChild<QMessageBox*>("read_only_message") &&
                  second.findChild<QMessageBox*>("read_only_message")->isVisible());
      second.findChild<TMachineDialog*>()->Create_Machine("Gantry");
      second.resize(second.size() + QSize(40, 30));
      const QByteArray settings = Read(Data_File("varlume.conf"));
      QVERIFY(second.close());
      QCOMPARE(Read(Data_File("machines.xml")), Machines_File);
      // Its settings neither.
      QCOMPARE(Read(Data_File("varlume.conf")), settings);
    }

    QVERIFY(first->close());
    QVERIFY(Read(Data_File("machines.xml")).contains("<Name>Bridge</Name>"));

    // The lock goes at the program's end, as the window is left to it rather than freed.
    first->Release_For_Exit();
    TVarlume third;
    QVERIFY(!third.Read_Only());
  }

  // Changes of either library are undone and redone in order, through the Edit menu's
  // actions and their keys, and the library saved on close is the one shown.
  void Undo_And_Redo()
  {
    TVarlume window;
    TMachineDialog* machines = window.findChild<TMachineDialog*>();
    TMeasurementDialog* measurements = window.findChild<TMeasurementDialog*>();
    machines->Create_Machine("Bridge");
    measurements->Reset(QString(), QString());
    measurements->Create_Laser_Measurement();
    window.Update_Machine_Names();
    window.Update_Measurement_Names();
    QListWidget* machine_list = window.findChildren<QListWidget*>().value(0);
    QListWidget* measurement_list = window.findChildren<QListWidget*>().value(1);
    const QString laser = measurement_list->item(0)->text();

    QAction* undo = nullptr;
    QAction* redo = nullptr;
    for(QAction* action : window.findChildren<QAction*>())
    {
      if(action->shortcut() == QKeySequence(QKeySequence::Undo))
      {
        undo = action;
      }
      if(action->shortcuts().contains(QKeySequence("Ctrl+Shift+Z")))
      {
        redo = action;
      }
    }
    QVERIFY(undo && redo);
    QVERIFY(!undo->isEnabled());

    QLineEdit editor;
    machine_list->setCurrentRow(0);
    editor.setText("Gantry");
    window.Rename_Machine(&editor);
    measurement_list->setCurrentRow(0);
    editor.setText("Run");
    window.Rename_Measurement(&editor);
    machine_list->item(0)->setSelected(true);
    QString asked;
    Answer_Removal(true, &asked);
    window.Remove_Machine();
    QCOMPARE(machines->Machine_Names(), QStringList());

    undo->trigger();
    QCOMPARE(machines->Machine_Names(), QStringList({"Gantry"}));
    QCOMPARE(machine_list->item(0)->text(), QString("Gantry"));
    undo->trigger();
    QCOMPARE(measurements->Measurement_Names(), QStringList({laser}));
    QCOMPARE(measurement_list->item(0)->text(), laser);
    undo->trigger();
    QCOMPARE(machines->Machine_Names(), QStringList({"Bridge"}));
    QVERIFY(!undo->isEnabled());

    // Redo by either key, one step each. Under X11 the platform's redo key is Ctrl+Shift+Z,
    // which the action must not hold twice.
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QApplication::setActiveWindow(&window);
    QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(machines->Machine_Names(), QStringList({"Gantry"}));
    QCOMPARE(measurements->Measurement_Names(), QStringList({laser}));
    QTest::keyClick(&window, Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(measurements->Measurement_Names(), QStringList({"Run"}));
    QCOMPARE(machines->Machine_Names(), QStringList({"Gantry"}));
    QVERIFY(window.close());
    QVERIFY(Read(Data_File("machines.xml")).contains("<Name>Gantry</Name>"));
  }

  // Undoing a rename leaves the measurement list in its order with its selection, although
  // the library groups measurements by kind when it reads them.
  void Undo_Rename_Keeps_List()
  {
    TVarlume window;
    TMeasurementDialog* measurements = Three_Measurements(&window);
    QListWidget* list = window.findChildren<QListWidget*>().value(1);
    const QStringList names = measurements->Measurement_Names();
    QCOMPARE(names.size(), 3);
    list->setCurrentRow(2);
    list->item(1)->setSelected(true);
    QLineEdit editor;
    editor.setText("Renamed");
    window.Rename_Measurement(&editor);
    QCOMPARE(measurements->Measurement_Names(), QStringList({names[0], names[1], "Renamed"}));

    QAction* undo = nullptr;
    for(QAction* action : window.findChildren<QAction*>())
    {
      undo = action->shortcut() == QKeySequence(QKeySequence::Undo) ? action : undo;
    }
    QVERIFY(undo);
    undo->trigger();
    QCOMPARE(measurements->Measurement_Names(), names);
    QStringList selected;
    for(const QListWidgetItem* item : list->selectedItems())
    {
      selected.push_back(item->text());
    }
    selected.sort();
    QStringList expected = {names[1], names[2]};
    expected.sort();
    QCOMPARE(selected, expected);
    QCOMPARE(list->currentRow(), 2);
  }

  // A measurement removed from the middle comes back to its row on undo, and the copy kept for
  // recovery follows each step.
  void Undo_Removal_In_Place()
  {
    TVarlume window;
    TMeasurementDialog* measurements = Three_Measurements(&window);
    QListWidget* list = window.findChildren<QListWidget*>().value(1);
    const QStringList names = measurements->Measurement_Names();
    list->item(1)->setSelected(true);
    QString asked;
    Answer_Removal(true, &asked);
    window.Remove_Measurement();
    const QStringList left = {names[0], names[2]};
    QCOMPARE(measurements->Measurement_Names(), left);

    QAction* undo = nullptr;
    QAction* redo = nullptr;
    for(QAction* action : window.findChildren<QAction*>())
    {
      undo = action->shortcut() == QKeySequence(QKeySequence::Undo) ? action : undo;
      redo = action->shortcuts().contains(QKeySequence("Ctrl+Shift+Z")) ? action : redo;
    }
    QVERIFY(undo && redo);
    const auto shown = [list]()
    {
      QStringList rows;
      for(int row = 0; row < list->count(); ++row)
      {
        rows.push_back(list->item(row)->text());
      }
      return rows;
    };
    const auto kept = [this]()
    {
      TMeasurementLibrary library;
      library.Restore(Read(Data_File("unsaved/measurements.xml")));
      return library.Measurement_Names();
    };
    QCOMPARE(shown(), left);
    undo->trigger();
    QCOMPARE(measurements->Measurement_Names(), names);
    QCOMPARE(shown(), names);
    QTRY_COMPARE(kept(), names);
    redo->trigger();
    QCOMPARE(shown(), left);
    QTRY_COMPARE(kept(), left);
  }

  // Geometry, dock layout, increments and the export folder come back in the next window.
  void Settings_Remembered()
  {
    {
      TVarlume window;
      window.resize(900, 640);
      window.findChild<QDockWidget*>("measurement_dock")->setFloating(true);
      window.findChild<TDisplayWidget*>()->Set_Map_Increment_Texts({"25", "50", "12.5"});
      QVERIFY(window.close());
    }
    TVarlume window;
    QCOMPARE(window.size(), QSize(900, 640));
    QVERIFY(window.findChild<QDockWidget*>("measurement_dock")->isFloating());
    QCOMPARE(window.findChild<TDisplayWidget*>()->Map_Increment_Texts(), QStringList({"25", "50", "12.5"}));
  }

  void Load_Error_Is_Shown_data()
  {
    Test_Support::Add_Text_Rows("file", "message",
                                {{"machines", "machines.xml", "ERR:  Loading machines exception: "},
                                 {"measurements", "measurements.xml", "ERR:  Loading measurements exception: "}});
  }

  void Load_Error_Is_Shown()
  {
    QFETCH(QString, file);
    QFETCH(QString, message);

    QVERIFY(Write(Data_File(file), "this is not a library"));
    TVarlume window;
    const QString shown = Pane_Text(&window, "selection_text");
    QVERIFY2(shown.startsWith(message), qPrintable(shown));
    // Only the library that failed speaks.
    QCOMPARE(shown.count("Loading"), 1);
    // A message box names the file and says that the original is kept.
    QCoreApplication::processEvents();
    QMessageBox* box = window.findChild<QMessageBox*>();
    QVERIFY(box && box->isVisible());
    QVERIFY2(box->informativeText().contains(Data_File(file).toHtmlEscaped() + ".bak"),
             qPrintable(box->informativeText()));
    box->close();
  }

  // A machine whose stored covariance is none is listed with the others, and the window says
  // what was left out and that the file is kept.
  void Left_Out_Part_Is_Shown()
  {
    TMachineLibrary library;
    TMachineLibrary::TMachineItem* first = library.Machine(library.Create_Machine("First"));
    first->covariance_labels = QStringList{"QXY"};
    first->covariance = {-1.0};
    library.Create_Machine("Second");
    QVERIFY(library.Save_As(Data_File("machines.xml")));

    TVarlume window;
    QCOMPARE(window.findChildren<QListWidget*>().value(0)->count(), 2);
    const QString shown = Pane_Text(&window, "selection_text");
    QVERIFY2(shown.contains("machine 'First': the covariance is not used: the variance of 'QXY' is negative (-1)"),
             qPrintable(shown));
    QCoreApplication::processEvents();
    QMessageBox* box = window.findChild<QMessageBox*>();
    QVERIFY(box && box->isVisible());
    QVERIFY(box->informativeText().contains(Data_File("machines.xml").toHtmlEscaped() + ".bak"));
    box->close();
  }

  void Add_Machine_Through_Dialog()
  {
    TVarlume window;
    window.findChild<TMachineDialog*>()->Create_Machine("Bridge");
    window.Update_Machine_Names();

    const auto answer = [&window](const QString& first, const QString& second, bool add)
    {
      QTimer::singleShot(0, &window,
                         [&window, first, second, add]()
                         {
                           TAddDialog* dialog = window.findChild<TAddDialog*>();
                           QVERIFY(dialog && dialog->isVisible());
                           QCOMPARE(dialog->windowTitle(), QString("Add Machine"));
                           QLineEdit* edit = dialog->findChild<QLineEdit*>();
                           QTest::keyClicks(edit, first);
                           // A name the library would treat as taken is refused.
                           QTest::keyClick(edit, Qt::Key_Return);
                           QVERIFY(dialog->isVisible());
                           edit->clear();
                           QTest::keyClicks(edit, second);
                           QTest::keyClick(edit, add ? Qt::Key_Return : Qt::Key_Escape);
                         });
    };

    answer("bridge", "  Gantry   Two ", true);
    window.Add_Machine();
    answer("BRIDGE", "Cantilever", false);
    window.Add_Machine();

    QListWidget* list = window.findChildren<QListWidget*>().front();
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->item(1)->text(), QString("Gantry Two"));
    TMachineDialog* machines = window.findChild<TMachineDialog*>();
    QCOMPARE(list->item(1)->data(Qt::UserRole).toInt(), machines->Machine_Id("Gantry Two"));
    QVERIFY(list->item(1)->flags() & Qt::ItemIsEditable);
    QCOMPARE(machines->Machine_Names(), QStringList({"Bridge", "Gantry Two"}));
    // The machine added is the one selected.
    QCOMPARE(window.Active_Machine_Name(), QString("Gantry Two"));
  }

  void Selection_Enables_Controls_data()
  {
    QTest::addColumn<int>("selected");
    QTest::addColumn<bool>("remove");
    QTest::addColumn<bool>("edit");

    QTest::newRow("none") << 0 << false << false;
    QTest::newRow("one") << 1 << true << true;
    QTest::newRow("two") << 2 << true << false;
  }

  void Selection_Enables_Controls()
  {
    QFETCH(int, selected);
    QFETCH(bool, remove);
    QFETCH(bool, edit);

    TVarlume window;
    TMachineDialog* machines = window.findChild<TMachineDialog*>();
    machines->Create_Machine("Bridge");
    machines->Create_Machine("Gantry");
    window.Update_Machine_Names();
    QListWidget* list = window.findChildren<QListWidget*>().front();
    for(int row = 0; row < selected; ++row)
    {
      list->item(row)->setSelected(true);
    }
    QCOMPARE(Action(&window, "Remove Machine")->isEnabled(), remove);
    QCOMPARE(Action(&window, "Edit Machine")->isEnabled(), edit);
    QCOMPARE(window.Active_Machine_Name(), selected == 1 ? QString("Bridge") : QString());
  }

  // Remove takes every selected row, without a question; renaming in place shows the name the
  // library stored.
  void Remove_And_Rename_In_Lists()
  {
    TVarlume window;
    window.show();
    TMachineDialog* machines = window.findChild<TMachineDialog*>();
    TMeasurementDialog* measurements = window.findChild<TMeasurementDialog*>();
    for(const char* name : {"Bridge", "Gantry", "Cantilever"})
    {
      machines->Create_Machine(name);
    }
    measurements->Reset(QString(), QString());
    measurements->Create_Laser_Measurement();
    measurements->Create_ISO_Measurement();
    measurements->Create_MCG_Measurement();
    window.Update_Machine_Names();
    window.Update_Measurement_Names();
    QListWidget* machine_list = window.findChildren<QListWidget*>().value(0);
    QListWidget* measurement_list = window.findChildren<QListWidget*>().value(1);

    const auto row_of = [](QListWidget* list, const QString& text)
    {
      const QList<QListWidgetItem*> items = list->findItems(text, Qt::MatchExactly);
      return items.isEmpty() ? -1 : list->row(items.front());
    };
    // In place: the list's own editor, committed with Return.
    const auto rename = [](QListWidget* list, int row, const QString& typed)
    {
      QVERIFY(row >= 0);
      list->setCurrentRow(row);
      list->editItem(list->item(row));
      QLineEdit* editor = list->findChild<QLineEdit*>();
      QVERIFY(editor);
      editor->selectAll();
      QTest::keyClicks(editor, typed);
      QTest::keyClick(editor, Qt::Key_Return);
      // The delegate commits through a queued call.
      QCoreApplication::processEvents();
    };
    const int cantilever = row_of(machine_list, "Cantilever");
    rename(machine_list, cantilever, "gantry");
    QCOMPARE(machine_list->item(cantilever)->text(), QString("gantry 1"));
    QCOMPARE(machine_list->item(cantilever)->data(Qt::UserRole).toInt(), machines->Machine_Id("gantry 1"));
    QVERIFY(machines->Machine_Names().contains("gantry 1"));
    QVERIFY(!machines->Machine_Names().contains("Cantilever"));
    // An emptied name cancels the rename.
    const QString first = measurement_list->item(0)->text();
    rename(measurement_list, 0, "  ");
    QCOMPARE(measurement_list->item(0)->text(), first);
    QCOMPARE(measurements->Measurement_Names().value(0), first);

    // A click on the selected row selects; a double click renames.
    const QRect rect = measurement_list->visualItemRect(measurement_list->item(1));
    measurement_list->setCurrentRow(1);
    QTest::mouseClick(measurement_list->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    QTest::qWait(QApplication::doubleClickInterval() + 100);
    QTest::mouseClick(measurement_list->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    QTest::qWait(QApplication::doubleClickInterval() + 100);
    QVERIFY(!measurement_list->findChild<QLineEdit*>() || !measurement_list->findChild<QLineEdit*>()->isVisible());
    QTest::mouseDClick(measurement_list->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    QVERIFY(measurement_list->findChild<QLineEdit*>() && measurement_list->findChild<QLineEdit*>()->isVisible());
    QTest::keyClick(measurement_list->findChild<QLineEdit*>(), Qt::Key_Escape);

    machine_list->clearSelection();
    machine_list->item(row_of(machine_list, "Bridge"))->setSelected(true);
    machine_list->item(row_of(machine_list, "gantry 1"))->setSelected(true);
    // Removal asks first, naming what goes; Cancel keeps everything. The Delete key asks too.
    QString asked;
    Answer_Removal(false, &asked);
    Action(&window, "Remove Machine")->trigger();
    QVERIFY2(asked.contains("\"Bridge\"") && asked.contains("\"gantry 1\""), qPrintable(asked));
    QCOMPARE(machine_list->count(), 3);
    Answer_Removal(true, &asked);
    machine_list->setFocus();
    QTest::keyClick(machine_list, Qt::Key_Delete);
    QCOMPARE(machines->Machine_Names(), QStringList({"Gantry"}));
    QCOMPARE(machine_list->count(), 1);
    QCOMPARE(machine_list->item(0)->data(Qt::UserRole).toInt(), machines->Machine_Id("Gantry"));
    QVERIFY(!Action(&window, "Remove Machine")->isEnabled());

    measurement_list->clearSelection();
    measurement_list->item(1)->setSelected(true);
    measurement_list->item(2)->setSelected(true);
    const QString kept = measurement_list->item(0)->text();
    Answer_Removal(true, &asked);
    Action(&window, "Remove Measurement")->trigger();
    QCOMPARE(measurements->Measurement_Names(), QStringList({kept}));
    QCOMPARE(measurement_list->count(), 1);
    QVERIFY(!Action(&window, "Remove Measurement")->isEnabled());
    QVERIFY(!Action(&window, "Edit Measurement")->isEnabled());
  }

  void Close_Asks_When_Save_Fails()
  {
    // A folder where the library file belongs: it can be neither read nor replaced.
    QVERIFY(QDir(d_home.Data_Path()).mkdir("machines.xml"));
    TVarlume window;
    window.show();
    window.findChild<TMachineDialog*>()->Create_Machine("Bridge");

    QString text;
    QString informative;
    const auto answer = [&](QMessageBox::StandardButton button)
    {
      QTimer::singleShot(0, &window,
                         [&, button]()
                         {
                           TMessageBox* box = window.findChild<TMessageBox*>();
                           QVERIFY(box && box->isVisible());
                           text = box->text();
                           informative = box->informativeText();
                           QTest::mouseClick(box->button(button), Qt::LeftButton);
                         });
    };

    // Cancel keeps the window, and with it the unsaved machine.
    answer(QMessageBox::Cancel);
    QVERIFY(!window.close());
    QVERIFY(window.isVisible());
    QVERIFY(text.contains("Your changes could not be saved."));
    QVERIFY2(informative.contains("ERR:  Saving machines exception: "), qPrintable(informative));
    QCOMPARE(window.findChild<TMachineDialog*>()->Machine_Names(), QStringList({"Bridge"}));

    answer(QMessageBox::Discard);
    QVERIFY(window.close());
  }

  void Close_Waits_For_Evaluation()
  {
    TTestableVarlume window;
    window.show();
    window.findChild<TMachineDialog*>()->Create_Machine("Bridge");

    window.Begin_Evaluation();
    QVERIFY(!window.close());
    QVERIFY(window.isVisible());
    QVERIFY(!QFileInfo::exists(Data_File("machines.xml")));

    // The close that was asked for happens once the evaluation is over.
    window.End_Evaluation();
    QTRY_VERIFY(!window.isVisible());
    QVERIFY(QFileInfo::exists(Data_File("machines.xml")));
  }
};

QTEST_MAIN(TTestVarlumeWindow)
#include "test_varlume_window.moc"
