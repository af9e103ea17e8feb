#include <QtTest>

#include <QFileDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>

#include "src/gui/displaywidget.h"
#include "tests/test_support.h"

namespace
{
using Test_Support::Read;
QPushButton* Button(QWidget* parent, const QString& text)
{
  return Test_Support::Child_With_Text<QPushButton>(parent, text);
}

QPlainTextEdit* Pane(TDisplayWidget* display, const char* name)
{
  return display->findChild<QPlainTextEdit*>(QString::fromLatin1(name));
}

} // namespace

class TTestDisplayWidget : public QObject
{
  Q_OBJECT

private slots:
  void Layout()
  {
    TDisplayWidget display;
    QTabWidget* tabs = display.findChild<QTabWidget*>();
    QVERIFY(tabs);
    QCOMPARE(tabs->count(), 4);
    QCOMPARE(tabs->tabText(0), QString("Graphical View"));
    QCOMPARE(tabs->tabText(1), QString("Measurement Results"));
    QCOMPARE(tabs->tabText(2), QString("Machine Errors"));
    QCOMPARE(tabs->tabText(3), QString("Plots"));
    QCOMPARE(tabs->currentIndex(), 0);

    for(const char* name : {"selection_text", "measurement_text", "map_text"})
    {
      QPlainTextEdit* pane = Pane(&display, name);
      QVERIFY2(pane, name);
      QVERIFY(pane->isReadOnly());
      QCOMPARE(pane->lineWrapMode(), QPlainTextEdit::NoWrap);
      QVERIFY(!pane->isUndoRedoEnabled());
      QCOMPARE(pane->font().family(), QString("Courier New"));
      QVERIFY(pane->font().fixedPitch());
    }
    QCOMPARE(Pane(&display, "selection_text")->maximumHeight(), 100);

    const QList<QLineEdit*> increments = display.findChildren<QLineEdit*>();
    QCOMPARE(increments.size(), 3);
    for(const QLineEdit* edit : increments)
    {
      QCOMPARE(edit->text(), QString("100.000"));
    }
    QCOMPARE(display.Map_Data_Increment_X(), 100.0);
  }

  void Output_Options()
  {
    TDisplayWidget display;
    const QStringList texts{"Evaluation Report", "Export Measurements", "Save Text"};
    for(const QString& text : texts)
    {
      QPushButton* button = Button(&display, text);
      QVERIFY2(button, qPrintable(text));
      QVERIFY(!button->isEnabled());
      QVERIFY(!button->autoDefault());
    }
    display.Enable_Output_Options(true);
    for(const QString& text : texts)
    {
      // Save Text waits for something to save.
      QCOMPARE(Button(&display, text)->isEnabled(), text != "Save Text");
    }
    display.Add_Measurement_Data_Line("Laser 1");
    display.Add_Measurement_Data_End();
    QVERIFY(Button(&display, "Save Text")->isEnabled());
    display.Clear_Measurement_Data();
    QVERIFY(!Button(&display, "Save Text")->isEnabled());
    display.Add_Measurement_Data_Line("Laser 1");
    display.Add_Measurement_Data_End();
    display.Enable_Output_Options(false);
    QVERIFY(!Button(&display, "Save Text")->isEnabled());
  }

  void Buttons_Emit_Signals()
  {
    TDisplayWidget display;
    display.Enable_Output_Options(true);
    QSignalSpy evaluate(&display, &TDisplayWidget::Evaluate_Measurements);
    QSignalSpy export_(&display, &TDisplayWidget::Export_Measurements);
    QSignalSpy update(&display, &TDisplayWidget::Update_Map_Display);

    QTest::mouseClick(Button(&display, "Evaluation Report"), Qt::LeftButton);
    QTest::mouseClick(Button(&display, "Export Measurements"), Qt::LeftButton);
    QTest::mouseClick(Button(&display, "Update"), Qt::LeftButton);
    QCOMPARE(evaluate.count(), 1);
    QCOMPARE(export_.count(), 1);
    QCOMPARE(update.count(), 1);
  }

  // Enter in any increment field applies the increments.
  void Increments_Enter_Applies()
  {
    TDisplayWidget display;
    QSignalSpy update(&display, &TDisplayWidget::Update_Map_Display);
    const QList<QLineEdit*> edits = display.findChildren<QLineEdit*>();
    for(QLineEdit* edit : edits)
    {
      QTest::keyClick(edit, Qt::Key_Return);
    }
    QCOMPARE(update.count(), edits.size());
  }

  void Increments_data()
  {
    Test_Support::Add_Rows<QString, double>({"text", "value"}, {{"default", "100.000", 100.0},
                                                                {"negative", "-50", 50.0},
                                                                {"letters", "abc", 0.0},
                                                                {"empty", "", 0.0},
                                                                {"number then letters", "25mm", 0.0},
                                                                {"exponent", "1.5e2", 150.0},
                                                                {"blanks around", " 12.5 ", 12.5},
                                                                {"comma decimal", "12,5", 0.0},
                                                                // Accepted by QString::toDouble, but a map
                                                                // stepped by them never ends.
                                                                {"nan", "nan", 0.0},
                                                                {"infinity", "inf", 0.0},
                                                                {"negative infinity", "-inf", 0.0},
                                                                {"overflow", "1e999", 0.0}});
  }

  void Increments()
  {
    QFETCH(QString, text);
    QFETCH(double, value);

    TDisplayWidget display;
    const QList<QLineEdit*> edits = display.findChildren<QLineEdit*>();
    QCOMPARE(edits.size(), 3);
    // Each field feeds its own axis only.
    for(int axis = 0; axis < 3; ++axis)
    {
      for(QLineEdit* edit : edits)
      {
        edit->setText("20");
      }
      edits[axis]->setText(text);
      const double values[3] = {display.Map_Data_Increment_X(), display.Map_Data_Increment_Y(),
                                display.Map_Data_Increment_Z()};
      for(int k = 0; k < 3; ++k)
      {
        QCOMPARE(values[k], k == axis ? value : 20.0);
      }
    }
  }

  void Line_Protocol()
  {
    TDisplayWidget display;
    QPlainTextEdit* map = Pane(&display, "map_text");
    QPlainTextEdit* measurement = Pane(&display, "measurement_text");
    QPlainTextEdit* selection = Pane(&display, "selection_text");

    display.Add_Map_Data_Line("X Axis");
    display.Add_Map_Data_Line("   0.0   0.0010");
    display.Add_Map_Data_Line(QString());
    display.Add_Map_Data_End();
    QCOMPARE(map->toPlainText(), QString("X Axis\n   0.0   0.0010\n"));
    QCOMPARE(map->textCursor().position(), 0);

    // A long report is shown from its first line.
    display.resize(600, 400);
    display.show();
    display.findChild<QTabWidget*>()->setCurrentIndex(1);
    for(int line = 0; line < 500; ++line)
    {
      display.Add_Measurement_Data_Line(QString("row %1").arg(line));
    }
    QVERIFY(measurement->verticalScrollBar()->value() > 0);
    display.Add_Measurement_Data_End();
    QCOMPARE(measurement->verticalScrollBar()->value(), 0);
    display.Clear_Measurement_Data();
    display.Add_Measurement_Data_Line("Ball Bar");
    display.Add_Measurement_Data_End();
    display.Add_Selection_Data_Line("Picked");
    display.Add_Selection_Data_End();
    QCOMPARE(selection->textCursor().position(), 0);

    // Each pane clears on its own.
    display.Clear_Map_Data();
    QVERIFY(map->toPlainText().isEmpty());
    QCOMPARE(measurement->toPlainText(), QString("Ball Bar"));
    display.Clear_Measurement_Data();
    QVERIFY(measurement->toPlainText().isEmpty());
    QCOMPARE(selection->toPlainText(), QString("Picked"));
    display.Clear_Selection_Data();
    QVERIFY(selection->toPlainText().isEmpty());
  }

  void Pick_Names_data()
  {
    QTest::addColumn<int>("name");
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("index");

    QTest::newRow("second row of third measurement") << 2003 << 2000 << 3;
    QTest::newRow("first measurement, first row") << 0 << 0 << 0;
    QTest::newRow("first row") << 1000 << 1000 << 0;
    QTest::newRow("last possible row") << 5999 << 5000 << 999;
  }

  void Pick_Names()
  {
    QFETCH(int, name);
    QFETCH(int, id);
    QFETCH(int, index);

    TDisplayWidget display;
    QSignalSpy selected(&display, &TDisplayWidget::Item_Selected);
    display.Add_Selection_Data_Line("earlier pick");
    display.Measurement_Item_Clicked(1.0, 2.0, 3.0, name);
    QCOMPARE(selected.count(), 1);
    QCOMPARE(selected.front().at(0).toInt(), id);
    QCOMPARE(selected.front().at(1).toInt(), index);
  }

  void Pick_Empty_Space()
  {
    TDisplayWidget display;
    QSignalSpy selected(&display, &TDisplayWidget::Item_Selected);
    display.Add_Selection_Data_Line("earlier pick");
    display.Measurement_Item_Clicked(0.0, 0.0, 0.0, -1);
    QCOMPARE(selected.count(), 0);
    QVERIFY(Pane(&display, "selection_text")->toPlainText().isEmpty());
  }

  void Save_Text()
  {
    QTemporaryDir directory;
    QVERIFY(directory.isValid());
    TDisplayWidget display;
    QTabWidget* tabs = display.findChild<QTabWidget*>();
    display.Add_Measurement_Data_Line("Laser 1");
    display.Add_Measurement_Data_Line(QString::fromUtf8("  Deviation \u00b1 0.0020 mm, 90\u00b0"));
    display.Add_Measurement_Data_Line(QString());
    display.Add_Map_Data_Line("not this pane");

    const QByteArray expected("Laser 1\n  Deviation \xb1 0.0020 mm, 90\xb0\n");
    for(int tab = 0; tab < 3; ++tab)
    {
      tabs->setCurrentIndex(tab);
      const QString path = QDir(directory.path()).filePath(QString("results %1.txt").arg(tab));
      QVERIFY(display.Write_Measurement_Text(path));
      QCOMPARE(Read(path), expected);
    }

    // An existing file is replaced, not appended to.
    const QString path = QDir(directory.path()).filePath("results 0.txt");
    display.Clear_Measurement_Data();
    display.Add_Measurement_Data_Line("short");
    QVERIFY(display.Write_Measurement_Text(path));
    QCOMPARE(Read(path), QByteArray("short"));

    // A path that cannot be written fails and leaves nothing behind.
    const QString missing = QDir(directory.path()).filePath("no such folder/results.txt");
    QVERIFY(!display.Write_Measurement_Text(missing));
    QVERIFY(!QFileInfo::exists(missing));
  }

  void Save_Text_Through_Dialog()
  {
    QTemporaryDir directory;
    QVERIFY(directory.isValid());
    const QString path = QDir(directory.path()).filePath("chosen.txt");
    TDisplayWidget display;
    display.Add_Measurement_Data_Line("MCG 1");

    const auto answer = [path](bool accept)
    {
      QTimer::singleShot(0,
                         [path, accept]()
                         {
                           QFileDialog* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                           QVERIFY(dialog);
                           QCOMPARE(dialog->windowTitle(), QString("Save Measurement Text"));
                           if(accept)
                           {
                             dialog->selectFile(path);
                             QMetaObject::invokeMethod(dialog, "accept");
                           }
                           else
                           {
                             dialog->reject();
                           }
                         });
    };

    QSignalSpy status(&display, &TDisplayWidget::Status_Message);
    answer(false);
    display.Save_Measurement_Text();
    QVERIFY(!QFileInfo::exists(path));
    QCOMPARE(status.count(), 0);

    // A save is reported in the status bar, naming the file.
    answer(true);
    display.Save_Measurement_Text();
    QCOMPARE(Read(path), QByteArray("MCG 1"));
    QCOMPARE(status.count(), 1);
    QVERIFY(status.front().front().toString().contains(path));

    // A name typed without a suffix gets ".txt"; the dialog opens in the folder used last.
    QCOMPARE(display.Results_Directory(), directory.path());
    const QString bare = QDir(directory.path()).filePath("bare");
    QTimer::singleShot(0,
                       [bare, &directory]()
                       {
                         QFileDialog* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                         QVERIFY(dialog);
                         QCOMPARE(dialog->directory().absolutePath(), QDir(directory.path()).absolutePath());
                         dialog->selectFile(bare);
                         QMetaObject::invokeMethod(dialog, "accept");
                       });
    display.Save_Measurement_Text();
    QCOMPARE(Read(bare + ".txt"), QByteArray("MCG 1"));
  }
};

QTEST_MAIN(TTestDisplayWidget)
#include "test_displaywidget.moc"
