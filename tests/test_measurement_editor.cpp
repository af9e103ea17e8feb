#include <QtTest>

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>

#include <functional>
#include <limits>
#include <memory>

#include "core/gui/windowsize.h"
#include "src/gui/measurementdialog.h"
#include "src/gui/measurementeditors.h"
#include "src/gui/varlume.h"
#include "tests/editor_dialogs.h"
#include "tests/test_support.h"

Q_DECLARE_METATYPE(Types::TMeasurementType)

namespace
{
QPushButton* Button(QWidget* parent, int index)
{
  // Two buttons: Cancel/Close, then Accept/Create.
  return parent->findChildren<QPushButton*>().value(index);
}

QTabWidget* Tabs(QWidget* dialog)
{
  return dialog->findChild<QTabWidget*>();
}

QStringList Tab_Titles(QWidget* dialog)
{
  QStringList titles;
  for(int index = 0; index < Tabs(dialog)->count(); ++index)
  {
    titles.push_back(Tabs(dialog)->tabText(index));
  }
  return titles;
}

// The form's labels and field texts, row by row: "<group>|<axis>|<text>".
QStringList Form_Texts(QWidget* form)
{
  QGridLayout* layout = qobject_cast<QGridLayout*>(form->layout());
  QStringList rows;
  for(int row = 0; row < layout->rowCount(); ++row)
  {
    QStringList cells;
    for(int column = 0; column < 3; ++column)
    {
      QLayoutItem* item = layout->itemAtPosition(row, column);
      QWidget* widget = item ? item->widget() : nullptr;
      if(QLabel* label = qobject_cast<QLabel*>(widget))
      {
        cells.push_back(label->text());
      }
      else if(QLineEdit* edit = qobject_cast<QLineEdit*>(widget))
      {
        cells.push_back(edit->text());
      }
      else
      {
        cells.push_back(QString());
      }
    }
    if(cells != QStringList({"", "", ""}))
    {
      rows.push_back(cells.join('|'));
    }
  }
  return rows;
}

QLineEdit* Form_Field(QWidget* form, int row)
{
  QGridLayout* layout = qobject_cast<QGridLayout*>(form->layout());
  return qobject_cast<QLineEdit*>(layout->itemAtPosition(row, 2)->widget());
}

TMeasurementEditor* Form(QWidget* dialog, Types::TMeasurementType type)
{
  switch(type)
  {
  case Types::MEASUREMENT_ISO:
    return dialog->findChild<TEditor_ISO*>();
  case Types::MEASUREMENT_LASER:
    return dialog->findChild<TEditor_Laser*>();
  case Types::MEASUREMENT_MCG:
    return dialog->findChild<TEditor_MCG*>();
  case Types::MEASUREMENT_BALLBAR:
    return dialog->findChild<TEditor_Ballbar*>();
  }
  return nullptr;
}

QStringList Names(QWidget* dialog)
{
  QStringList names;
  for(auto type :
      {Types::MEASUREMENT_LASER, Types::MEASUREMENT_ISO, Types::MEASUREMENT_MCG, Types::MEASUREMENT_BALLBAR})
  {
    names.push_back(Form(dialog, type)->Name());
  }
  return names;
}

using Editor_Dialogs::On_Next_Dialog;
using Editor_Dialogs::Opens_Dialog;
using Editor_Dialogs::Read;
} // namespace

class TTestMeasurementEditor : public QObject
{
  Q_OBJECT

private:
  Test_Support::TTemporaryHome d_home;

  QString Data_Path() const { return d_home.Data_Path(); }
  QString Data_File() const { return QDir(Data_Path()).filePath("measurements.xml"); }

  std::unique_ptr<TMeasurementDialog> New_Dialog()
  {
    auto dialog = std::make_unique<TMeasurementDialog>();
    dialog->Set_Data_Path(Data_Path());
    return dialog;
  }

  // A ball bar "Bar A" made through the dialog with texts of its own.
  void Create_Bar_A(TMeasurementDialog* dialog)
  {
    dialog->Reset(QString(), QString());
    TEditor_Ballbar* form = dialog->findChild<TEditor_Ballbar*>();
    form->Set_Name("Bar A");
    form->Set_Length("300");
    form->Set_Position_X("XMin + 200");
    form->Set_Direction_J("1");
    form->Set_Direction_I("0");
    form->Set_Probe_Offset(TVector3(1.0, 2.0, -50.0));
    dialog->Create_Ballbar_Measurement();
  }

private slots:
  void init() { QVERIFY(d_home.Set_Up()); }

  void Dialog_Layout()
  {
    auto dialog = New_Dialog();
    QCOMPARE(dialog->windowTitle(), QString("Measurement Editor"));
    QCOMPARE(dialog->size(), QSize(751, 701).boundedTo(Screen_Room(dialog.get())));
    QCOMPARE(Tab_Titles(dialog.get()), QStringList({"Laser", "ISO 10360-2", "MCG", "Ball Bar"}));
    QCOMPARE(Tabs(dialog.get())->currentIndex(), 0);
    QVERIFY(Tabs(dialog.get())->minimumWidth() >= 350);

    bool help = false;
    for(const QLabel* label : dialog->findChildren<QLabel*>())
    {
      if(label->text().startsWith("<p><span style=\" font-weight:600; text-decoration: underline;\">Variable Help"))
      {
        help = label->wordWrap() &&
               label->text().contains("ball bar.</p>   <p><span style=\" font-weight:600;\">I, J, K:");
      }
    }
    QVERIFY(help);
  }

  void Form_Rows_data()
  {
    QTest::addColumn<Types::TMeasurementType>("type");
    QTest::addColumn<QStringList>("rows");

    const QStringList probe = {"Probe Offset:|X:|0.000", "|Y:|0.000", "|Z:|-75.000"};
    QTest::newRow("ball bar") << Types::MEASUREMENT_BALLBAR
                              << (QStringList({"Name:||Ballbar 1", "Length:||AxisMin - 100", "Center Position:|X:|XMid",
                                               "|Y:|YMid", "|Z:|ZMid", "Direction Vector:|I:|1.000", "|J:|0.000",
                                               "|K:|0.000"}) +
                                  probe);
    QTest::newRow("ISO") << Types::MEASUREMENT_ISO
                         << (QStringList({"Name:||ISO 1", "Start Position:|X:|XMin", "|Y:|YMin", "|Z:|ZMin",
                                          "End Position|X:|XMax", "|Y:|YMax", "|Z:|ZMax"}) +
                             probe);
    QTest::newRow("laser") << Types::MEASUREMENT_LASER
                           << (QStringList({"Name:||Laser 1", "Start Position:|X:|XMin", "|Y:|YMid", "|Z:|ZMid",
                                            "End Position|X:|XMax", "|Y:|YMid", "|Z:|ZMid", "Increment:||50"}) +
                               probe);
    QTest::newRow("MCG") << Types::MEASUREMENT_MCG
                         << (QStringList({"Name:||MCG 1", "Arm Length:||300", "Center Position:|X:|XMid", "|Y:|YMid",
                                          "|Z:|ZMin + 300", "Start Elevation:||-45", "End Elevation:||45",
                                          "Elevation Count:||3", "Azimuth Count:||8"}) +
                             probe);
  }

  void Form_Rows()
  {
    QFETCH(Types::TMeasurementType, type);
    QFETCH(QStringList, rows);
    auto dialog = New_Dialog();
    QCOMPARE(Form_Texts(Form(dialog.get(), type)), rows);
  }

  // Every field of each kind reaches the measurement unchanged, and Data_Changed follows the
  // user's edits of all fields but the name.
  void Created_From_Form_data()
  {
    QTest::addColumn<Types::TMeasurementType>("type");
    QTest::addColumn<int>("tab");
    QTest::newRow("laser") << Types::MEASUREMENT_LASER << 0;
    QTest::newRow("ISO") << Types::MEASUREMENT_ISO << 1;
    QTest::newRow("MCG") << Types::MEASUREMENT_MCG << 2;
    QTest::newRow("ball bar") << Types::MEASUREMENT_BALLBAR << 3;
  }

  void Created_From_Form()
  {
    QFETCH(Types::TMeasurementType, type);
    QFETCH(int, tab);

    auto dialog = New_Dialog();
    dialog->Reset(QString(), QString());
    TMeasurementEditor* form = Form(dialog.get(), type);
    QSignalSpy changed(form, &TMeasurementEditor::Data_Changed);
    QSignalSpy display(dialog.get(), &TMeasurementDialog::Update_Measurement_Display);

    QTest::keyClicks(Form_Field(form, 0), "x");
    QCOMPARE(changed.count(), 0);
    form->Set_Name(" Test  Run ");
    // Every text field gets a text of its own, blanks included, to be stored as typed.
    const QStringList rows = Form_Texts(form);
    const int probe_row = rows.size() - 3;
    for(int row = 1; row < probe_row; ++row)
    {
      QLineEdit* field = Form_Field(form, row);
      field->clear();
      QTest::keyClicks(field, QString(" %1 + XMid").arg(row));
    }
    QCOMPARE(changed.count(), (probe_row - 1) * QString(" 1 + XMid").size());
    Form_Field(form, probe_row + 2)->setText("-75");
    QStringList expected = Form_Texts(form);

    Tabs(dialog.get())->setCurrentIndex(tab);
    Button(dialog.get(), 1)->click();
    QCOMPARE(display.count(), 1);
    QCOMPARE(dialog->Measurement_Names(), QStringList({"Test Run"}));
    QCOMPARE(form->Name(), QString("Test Run 1"));

    TMeasurement* measurement = dialog->Measurement(dialog->Measurement_Id("Test Run"));
    QVERIFY(measurement);
    QCOMPARE(measurement->Type(), type);
    QCOMPARE(measurement->d_probe_offset.z, -75.0);
    QCOMPARE(measurement->d_probe_offset.x, 0.0);

    // Shown again in a fresh dialog: the same rows, the offset with 4 decimals.
    QVERIFY(dialog->Save());
    auto reloaded = New_Dialog();
    QVERIFY(reloaded->Load_Data());
    reloaded->Reset("Test Run", QString());
    expected[0] = "Name:||Test Run";
    expected[probe_row] = "Probe Offset:|X:|0.0000";
    expected[probe_row + 1] = "|Y:|0.0000";
    expected[probe_row + 2] = "|Z:|-75.0000";
    QCOMPARE(Form_Texts(Form(reloaded.get(), type)), expected);
  }

  void Create_Mode_Names()
  {
    auto dialog = New_Dialog();
    dialog->Reset(QString(), QString());
    QCOMPARE(dialog->Current_Measurement_Id(), -1);
    QCOMPARE(Names(dialog.get()), QStringList({"Laser 1", "ISO 1", "MCG 1", "Ballbar 1"}));
    QCOMPARE(Button(dialog.get(), 0)->text(), QString("Close"));
    QCOMPARE(Button(dialog.get(), 1)->text(), QString("Create"));
    QVERIFY(!Button(dialog.get(), 1)->isDefault());
    for(int index = 0; index < 4; ++index)
    {
      QVERIFY(Tabs(dialog.get())->isTabEnabled(index));
    }

    Tabs(dialog.get())->setCurrentIndex(2);
    Button(dialog.get(), 1)->click();
    QCOMPARE(dialog->Measurement_Names(), QStringList({"MCG 1"}));
    QCOMPARE(Form(dialog.get(), Types::MEASUREMENT_MCG)->Name(), QString("MCG 2"));
    Button(dialog.get(), 1)->click();
    QCOMPARE(dialog->Measurement_Names(), QStringList({"MCG 1", "MCG 2"}));
    QCOMPARE(Form(dialog.get(), Types::MEASUREMENT_MCG)->Name(), QString("MCG 3"));
  }

  void Create_Mode_Name_Clash_data()
  {
    Test_Support::Add_Rows<QString, QString, QString>({"typed", "created", "next"},
                                                      {{"taken in other case", "mcg 1", "mcg 2", "mcg 3"},
                                                       {"blanks only", "   ", "MCG", "MCG 2"},
                                                       {"number without space", "Sweep7", "Sweep 7", "Sweep 8"},
                                                       {"free", "Corner", "Corner", "Corner 1"}});
  }

  void Create_Mode_Name_Clash()
  {
    QFETCH(QString, typed);
    QFETCH(QString, created);
    QFETCH(QString, next);

    auto dialog = New_Dialog();
    dialog->Reset(QString(), QString());
    dialog->Create_MCG_Measurement();
    TMeasurementEditor* form = Form(dialog.get(), Types::MEASUREMENT_MCG);
    form->Set_Name(typed);
    dialog->Create_MCG_Measurement();
    QCOMPARE(dialog->Measurement_Names().value(1), created);
    QCOMPARE(form->Name(), next);
  }

  // A probe offset that is not a finite number is marked where it is shown or typed; the
  // evaluation refuses it.
  void Probe_Offset_Marks_Non_Finite()
  {
    TEditor_ISO editor;
    editor.Set_Probe_Offset(TVector3(std::numeric_limits<double>::quiet_NaN(), 0.0, -150.0));
    const QList<QLineEdit*> fields = editor.findChildren<QLineEdit*>();
    const QList<QLineEdit*> probe = fields.mid(fields.size() - 3);
    QCOMPARE(probe[0]->text(), QString("nan"));
    QVERIFY(probe[0]->property("invalid").toBool());
    QVERIFY(!probe[2]->property("invalid").toBool());
    probe[2]->setText("1e309");
    QVERIFY(probe[2]->property("invalid").toBool());
    probe[0]->setText("2.5");
    QVERIFY(!probe[0]->property("invalid").toBool());
  }

  void Create_From_Template()
  {
    auto dialog = New_Dialog();
    Create_Bar_A(dialog.get());
    // Leave other texts in the form, which the template must replace.
    TEditor_Ballbar* form = dialog->findChild<TEditor_Ballbar*>();
    form->Set_Length("1");
    form->Set_Probe_Offset(TVector3());

    dialog->Reset(QString(), "Bar A");
    // The other kinds' forms propose names of their kind.
    QCOMPARE(Names(dialog.get()), QStringList({"Laser 1", "ISO 1", "MCG 1", "Bar A 1"}));
    QCOMPARE(Tabs(dialog.get())->currentWidget(), static_cast<QWidget*>(form));
    QCOMPARE(form->Length(), QString("300"));
    QCOMPARE(form->Position_X(), QString("XMin + 200"));
    QCOMPARE(form->Probe_Offset().z, -50.0);

    Button(dialog.get(), 1)->click();
    QCOMPARE(dialog->Measurement_Names(), QStringList({"Bar A", "Bar A 1"}));
    QCOMPARE(form->Name(), QString("Bar A 2"));
    const auto* copy = static_cast<TMeasurement_Ballbar*>(dialog->Measurement(dialog->Measurement_Id("Bar A 1")));
    QCOMPARE(copy->d_length_expression, QString("300"));
    QCOMPARE(copy->d_direction_j_expression, QString("1"));
    QCOMPARE(copy->d_probe_offset.y, 2.0);
  }

  void Edit_Mode()
  {
    auto dialog = New_Dialog();
    dialog->Reset(QString(), QString());
    Form(dialog.get(), Types::MEASUREMENT_LASER)->Set_Name("Laser X");
    dialog->Create_Laser_Measurement();
    dialog->Create_ISO_Measurement();

    dialog->Reset("laser x", QString());
    QCOMPARE(dialog->Current_Measurement_Id(), dialog->Measurement_Id("Laser X"));
    QCOMPARE(Names(dialog.get()), QStringList({"Laser X", "Laser X", "Laser X", "Laser X"}));
    QCOMPARE(Tabs(dialog.get())->currentIndex(), 0);
    QVERIFY(Form(dialog.get(), Types::MEASUREMENT_LASER)->isEnabled());
    for(int index = 1; index < 4; ++index)
    {
      QVERIFY(!Tabs(dialog.get())->isTabEnabled(index));
      QVERIFY(!Tabs(dialog.get())->widget(index)->isEnabled());
    }
    QVERIFY(!Form_Field(Form(dialog.get(), Types::MEASUREMENT_LASER), 0)->isEnabled());
    QCOMPARE(Button(dialog.get(), 0)->text(), QString("Cancel"));
    QCOMPARE(Button(dialog.get(), 1)->text(), QString("Accept"));
    QVERIFY(Button(dialog.get(), 1)->isDefault());

    auto* laser = dialog->findChild<TEditor_Laser*>();
    laser->Set_Increment("25");
    Form_Field(laser, 10)->setText("-75");
    QSignalSpy display(dialog.get(), &TMeasurementDialog::Update_Measurement_Display);
    Button(dialog.get(), 1)->click();
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QCOMPARE(display.count(), 0);
    QCOMPARE(dialog->Measurement_Names(), QStringList({"Laser X", "ISO 1"}));

    const auto* stored = static_cast<TMeasurement_Laser*>(dialog->Measurement(dialog->Measurement_Id("Laser X")));
    QCOMPARE(stored->d_increment_expression, QString("25"));
    QCOMPARE(stored->d_probe_offset.z, -75.0);
    laser->Set_Probe_Offset(TVector3());
    dialog->Reset("Laser X", QString());
    QCOMPARE(Form_Field(laser, 10)->text(), QString("-75.0000"));

    // Back to create mode: every form usable again, the name free.
    dialog->Reset(QString(), QString());
    for(int index = 0; index < 4; ++index)
    {
      QVERIFY(Tabs(dialog.get())->isTabEnabled(index));
    }
    QVERIFY(Form_Field(laser, 0)->isEnabled());
    QCOMPARE(laser->Name(), QString("Laser X 1"));
  }

  void Cancel_Changes_Nothing()
  {
    auto dialog = New_Dialog();
    Create_Bar_A(dialog.get());
    QVERIFY(dialog->Save_Data());
    const QByteArray saved = Read(Data_File());
    QVERIFY(QFile::remove(Data_File()));

    dialog->Reset("Bar A", QString());
    On_Next_Dialog(
        [](QDialog* editor)
        {
          auto* form = editor->findChild<TEditor_Ballbar*>();
          form->Set_Length("999");
          form->Set_Probe_Offset(TVector3(9.0, 9.0, 9.0));
          Button(editor, 0)->click();
        });
    QCOMPARE(dialog->exec(), int(QDialog::Rejected));
    QVERIFY(dialog->Save_Data());
    QVERIFY(!QFileInfo::exists(Data_File()));

    // Close after creating keeps what was created.
    dialog->Reset(QString(), QString());
    On_Next_Dialog(
        [](QDialog* editor)
        {
          Tabs(editor)->setCurrentIndex(1);
          Button(editor, 1)->click();
          Button(editor, 0)->click();
        });
    QCOMPARE(dialog->exec(), int(QDialog::Rejected));
    // The forms still hold the name of the measurement edited last.
    QCOMPARE(dialog->Measurement_Names(), QStringList({"Bar A", "Bar A 1"}));
    QCOMPARE(dialog->Measurement(dialog->Measurement_Id("Bar A 1"))->Type(), Types::MEASUREMENT_ISO);
    QVERIFY(dialog->Save_Data());
    QVERIFY(Read(Data_File()).startsWith(saved.left(saved.indexOf("<Measurement_"))));
    QVERIFY(Read(Data_File()).contains("<Length>300</Length>"));
  }

  void Window_Add_And_Edit()
  {
    {
      auto library = New_Dialog();
      Create_Bar_A(library.get());
      library->Create_ISO_Measurement();
      QVERIFY(library->Save_Data());
    }

    TVarlume window;
    QListWidget* list = window.findChildren<QListWidget*>().value(1);
    QVERIFY(list);
    QCOMPARE(list->count(), 2);

    // One selected: the new measurement starts from it. The library lists ISO before ball bars.
    QCOMPARE(list->item(1)->text(), QString("Bar A"));
    list->setCurrentRow(1);
    On_Next_Dialog(
        [](QDialog* editor)
        {
          QCOMPARE(Button(editor, 1)->text(), QString("Create"));
          QCOMPARE(editor->findChild<TEditor_Ballbar*>()->Name(), QString("Bar A 1"));
          Button(editor, 1)->click();
          Button(editor, 0)->click();
        });
    window.Add_Measurement();
    QCOMPARE(list->count(), 3);
    QCOMPARE(list->item(2)->text(), QString("Bar A 1"));

    // Two selected: no editor opens.
    list->selectAll();
    QVERIFY(!Opens_Dialog([&window]() { window.Edit_Measurement(); }));

    list->clearSelection();
    list->setCurrentRow(2);
    On_Next_Dialog(
        [](QDialog* editor)
        {
          QCOMPARE(Button(editor, 1)->text(), QString("Accept"));
          editor->findChild<TEditor_Ballbar*>()->Set_Length("425");
          Button(editor, 1)->click();
        });
    window.Edit_Measurement();
    window.close();

    const QByteArray file = Read(Data_File());
    QCOMPARE(file.count("<Measurement_BallBar>"), 2);
    QVERIFY(file.contains("<Name>Bar A 1</Name>"));
    QVERIFY(file.contains("<Length>425</Length>"));
  }
};

QTEST_MAIN(TTestMeasurementEditor)
#include "test_measurement_editor.moc"
