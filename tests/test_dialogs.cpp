#include <QtTest>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTreeWidget>

#include "core/gui/messagebox.h"
#include "src/gui/adddialog.h"
#include "src/gui/identifydialog.h"
#include "src/gui/machinedialog.h"
#include "src/gui/measurementdialog.h"
#include "src/gui/progressdialog.h"
#include "src/model/export.h"
#include "src/model/simulation.h"
#include "tests/test_support.h"

namespace
{
QPushButton* Button(QWidget* parent, const QString& text)
{
  return Test_Support::Child_With_Text<QPushButton>(parent, text);
}
} // namespace

class TTestDialogs : public QObject
{
  Q_OBJECT

private slots:
  // The editors ask for more room than a laptop screen has (the test screen is 800 x 600): they
  // must open inside it, with their buttons reachable, and scroll their contents instead.
  void Editors_Open_Within_The_Screen()
  {
    const QSize screen = QGuiApplication::primaryScreen()->availableGeometry().size();
    TMachineDialog machines;
    TMeasurementDialog measurements;
    for(QWidget* dialog : std::initializer_list<QWidget*>{&machines, &measurements})
    {
      QVERIFY2(dialog->width() < screen.width() && dialog->height() < screen.height(),
               qPrintable(dialog->windowTitle()));
    }
  }

  // A measured file named as the user likes is read as the measurement chosen in its row; one
  // named after a measurement has it chosen already.
  void Identify_Measurement_Column()
  {
    const QString examples = QStringLiteral(VARLUME_TEST_DATA "/../../examples");
    TMachineDialog machines;
    machines.Set_Data_Path(examples);
    QVERIFY(machines.Load_Data());
    TMeasurementDialog measurements;
    measurements.Set_Data_Path(examples);
    QVERIFY(measurements.Load_Data());
    TMachineComp model;
    QStringList errors;
    QVERIFY(Simulation::Update_Machine_Comp(machines.Library(), "Bridge XYZ", &model, &errors));
    std::vector<TMeasurement*> gauge = measurements.Measurements({"MCG Centre"});
    QTemporaryDir directory;
    Export::TResult exported;
    QCOMPARE(Export::Export_Measurements(&model, &gauge, directory.path(), &exported), Export::TStatus::WRITTEN);
    const QString own = QDir(directory.path()).filePath("MCG MCG Centre.xml");
    const QString renamed = QDir(directory.path()).filePath("gauge on Monday.xml");
    QVERIFY(QFile::copy(own, renamed));

    TIdentifyDialog dialog(&machines, &measurements);
    // The resolution is the machine's MPE A unless one is given, as in varlume-batch.
    QVERIFY(dialog.Options().resolution_from_machine);
    dialog.Add_Paths({own, renamed, directory.path()});
    const QTreeWidget* list = dialog.findChild<QTreeWidget*>("path_list");
    QCOMPARE(list->topLevelItemCount(), 3);
    QComboBox* named = qobject_cast<QComboBox*>(list->itemWidget(list->topLevelItem(0), 1));
    QComboBox* other = qobject_cast<QComboBox*>(list->itemWidget(list->topLevelItem(1), 1));
    QVERIFY(named && other);
    QVERIFY(!list->itemWidget(list->topLevelItem(2), 1));
    // Only gauges are offered for a gauge's file.
    QCOMPARE(other->count(), 2);
    QCOMPARE(named->currentText(), QStringLiteral("MCG Centre"));
    QCOMPARE(other->currentIndex(), 0);
    other->setCurrentIndex(1);
    QCOMPARE(dialog.Measured_Paths(), (QStringList{"MCG Centre=" + own, "MCG Centre=" + renamed, directory.path()}));
  }

  void Add_Dialog_Enabling_data()
  {
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("enabled");

    const QStringList names{"Bridge", "Gantry 2", "Horizontal Arm"};
    QTest::newRow("new name") << names << "Cantilever" << true;
    QTest::newRow("existing name") << names << "Bridge" << false;
    QTest::newRow("existing name in other case") << names << "bRIDGE" << false;
    QTest::newRow("one letter more") << names << "Bridges" << true;
    QTest::newRow("number changed") << names << "Gantry 3" << true;
    QTest::newRow("blanks only") << names << "   " << false;
    QTest::newRow("existing name with blanks around") << names << "  Bridge " << false;
    QTest::newRow("existing name with doubled blank") << names << "Horizontal   arm" << false;
    QTest::newRow("no names in use") << QStringList() << "Bridge" << true;
  }

  void Add_Dialog_Enabling()
  {
    QFETCH(QStringList, names);
    QFETCH(QString, typed);
    QFETCH(bool, enabled);

    TAddDialog dialog;
    dialog.Reset(TAddDialog::TYPE_MACHINE, names);
    QLineEdit* edit = dialog.findChild<QLineEdit*>();
    QPushButton* add = Button(&dialog, "Add");
    QVERIFY(edit && add);
    QVERIFY(!add->isEnabled());

    QTest::keyClicks(edit, typed);
    QCOMPARE(add->isEnabled(), enabled);
    // A disabled Add says why.
    QCOMPARE(dialog.findChild<QLabel*>("reason_label")->text().isEmpty(), enabled);
    // The name is handed over as typed.
    QCOMPARE(dialog.Name(), typed);

    // Deleting everything disables Add again.
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QVERIFY(!add->isEnabled());
  }

  void Add_Dialog_Reset()
  {
    TAddDialog dialog;
    QLabel* label = dialog.findChild<QLabel*>();
    QLineEdit* edit = dialog.findChild<QLineEdit*>();
    QPushButton* add = Button(&dialog, "Add");
    QPushButton* cancel = Button(&dialog, "Cancel");
    QVERIFY(label && edit && add && cancel);
    QCOMPARE(dialog.windowTitle(), QString("Add Item"));
    QCOMPARE(label->text(), QString("Name:"));
    QVERIFY(add->isDefault());
    QVERIFY(!cancel->autoDefault());

    dialog.Reset(TAddDialog::TYPE_MEASUREMENT, {"Laser"});
    QCOMPARE(dialog.windowTitle(), QString("Add Measurement"));
    QCOMPARE(label->text(), QString("Measurement Name:"));
    QTest::keyClicks(edit, "Laser 2");
    QVERIFY(add->isEnabled());

    // Nothing of the last use carries over.
    dialog.Reset(TAddDialog::TYPE_MACHINE, {"Laser 2"});
    QCOMPARE(dialog.windowTitle(), QString("Add Machine"));
    QCOMPARE(label->text(), QString("Machine Name:"));
    QVERIFY(edit->text().isEmpty());
    QVERIFY(!add->isEnabled());
    QTest::keyClicks(edit, "Laser 2");
    QVERIFY(!add->isEnabled());
  }

  void Add_Dialog_Buttons()
  {
    TAddDialog dialog;
    dialog.Reset(TAddDialog::TYPE_MACHINE, {"Bridge"});
    dialog.show();
    QLineEdit* edit = dialog.findChild<QLineEdit*>();

    // Return on a refused name does not accept.
    QTest::keyClicks(edit, "bridge");
    QTest::keyClick(edit, Qt::Key_Return);
    QVERIFY(dialog.isVisible());

    QTest::keyClicks(edit, " 2");
    QTest::keyClick(edit, Qt::Key_Return);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.Name(), QString("bridge 2"));

    dialog.Reset(TAddDialog::TYPE_MACHINE, {"Bridge"});
    dialog.show();
    QTest::keyClicks(edit, "Gantry");
    QTest::mouseClick(Button(&dialog, "Cancel"), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
  }

  void Progress_Values_data()
  {
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("value");

    QTest::newRow("zero based") << 0 << 8 << 3;
    QTest::newRow("offset range") << 5 << 10 << 7;
    QTest::newRow("last step") << 0 << 65536 << 65536;
  }

  void Progress_Values()
  {
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    QFETCH(int, value);

    TProgressDialog dialog;
    QProgressBar* bar = dialog.findChild<QProgressBar*>();
    QVERIFY(bar);
    dialog.Set_Progress(50);
    dialog.Reset_Progress(minimum, maximum);
    QCOMPARE(bar->minimum(), minimum);
    QCOMPARE(bar->maximum(), maximum);
    QCOMPARE(bar->value(), minimum);
    dialog.Set_Progress(value);
    QCOMPARE(bar->value(), value);
    dialog.End_Progress();
    QCOMPARE(bar->value(), minimum);
  }

  void Progress_Cancel_Keeps_Dialog_Open()
  {
    TProgressDialog dialog(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    QCOMPARE(dialog.windowTitle(), QString("Progress"));
    QSignalSpy cancelled(&dialog, &TProgressDialog::Cancel);
    dialog.show();

    QTest::mouseClick(Button(&dialog, "Cancel"), Qt::LeftButton);
    QCOMPARE(cancelled.count(), 1);
    QVERIFY(dialog.isVisible());

    // Escape asks to cancel too, and must not hide the only way to cancel.
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QCOMPARE(cancelled.count(), 2);
    QVERIFY(dialog.isVisible());
  }

  void Message_Box_Texts()
  {
    TMessageBox box;
    box.setText("Varlume");
    box.setInformativeText("Varlume - Version 3.0");
    QCOMPARE(box.text(), QString("<span style=\"font-size:10pt; font-weight:600; color:#000000;\" >Varlume</span>"));
    QCOMPARE(box.informativeText(),
             QString("<span style=\"font-size:10pt; font-weight:400; color:#000000;\" >Varlume - Version 3.0</span>"));
    QCOMPARE(box.textFormat(), Qt::RichText);
    QCOMPARE(box.styleSheet(), QString("dialogbuttonbox-buttons-have-icons: 0;\nbutton-layout: 1;"));
  }

  void Message_Box_Width_And_Send_Key()
  {
    TMessageBox box;
    box.setText("A");
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Ok);

    int width = 0;
    QTimer::singleShot(0, &box,
                       [&box, &width]()
                       {
                         width = box.width();
                         box.Send_Key(Qt::Key_Return);
                       });
    QCOMPARE(box.exec(), int(QMessageBox::Ok));
    // A one-letter text would otherwise give a narrow box.
    QCOMPARE(width, 500);

    QTimer::singleShot(0, &box, [&box]() { box.Send_Key(Qt::Key_Escape); });
    QCOMPARE(box.exec(), int(QMessageBox::Cancel));
  }
};

QTEST_MAIN(TTestDialogs)
#include "test_dialogs.moc"
