#include <QtTest>

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeWidget>
#include <QtCharts/QChartView>
#include <QtCharts/QXYSeries>

#include <cmath>

#include <functional>
#include <memory>

#include "core/gui/windowsize.h"
#include "src/gui/expressiondialog.h"
#include "src/gui/machinedialog.h"
#include "src/gui/machineparameterwidget.h"
#include "src/gui/varlume.h"
#include "tests/editor_dialogs.h"
#include "tests/test_support.h"

namespace
{
// The five position fields and the five error fields of the expression editor, in row order.
QList<QLineEdit*> Expression_Fields(QWidget* dialog, bool positions)
{
  QList<QLineEdit*> fields;
  for(QLineEdit* edit : dialog->findChildren<QLineEdit*>())
  {
    if(edit->isReadOnly() == positions)
    {
      fields.push_back(edit);
    }
  }
  return fields;
}

QStringList Texts(const QList<QLineEdit*>& fields)
{
  QStringList texts;
  for(const QLineEdit* field : fields)
  {
    texts.push_back(field->text());
  }
  return texts;
}

QPushButton* Button(QWidget* parent, const QString& text)
{
  return Test_Support::Child_With_Text<QPushButton>(parent, text);
}

QRadioButton* Radio(QWidget* parent, const QString& text)
{
  return Test_Support::Child_With_Text<QRadioButton>(parent, text);
}

QLineEdit* Field(QWidget* dialog, const char* name)
{
  return dialog->findChild<QLineEdit*>(QLatin1String(name));
}

QTreeWidgetItem* Axis_Item(QWidget* dialog, int axis)
{
  QTreeWidget* tree = dialog->findChild<QTreeWidget*>();
  for(int index = 0; index < tree->topLevelItemCount(); ++index)
  {
    if(tree->topLevelItem(index)->data(0, Qt::UserRole).toInt() == axis)
    {
      return tree->topLevelItem(index);
    }
  }
  return nullptr;
}

// The row widget of one parameter, found through the keys of the tree items.
TMachineParameterWidget* Row(QWidget* dialog, int axis, int parameter)
{
  QTreeWidgetItem* axis_item = Axis_Item(dialog, axis);
  for(int child = 0; axis_item && child < axis_item->childCount(); ++child)
  {
    QTreeWidgetItem* item = axis_item->child(child);
    if(item->data(0, Qt::UserRole).toInt() == parameter)
    {
      return qobject_cast<TMachineParameterWidget*>(item->treeWidget()->itemWidget(item, 0));
    }
  }
  return nullptr;
}

QLineEdit* Row_Edit(TMachineParameterWidget* row)
{
  return row->findChild<QLineEdit*>();
}

// Everything the machine editor shows, one line per field or row.
QStringList Editor_State(QWidget* dialog)
{
  QStringList state;
  for(const QRadioButton* radio : dialog->findChildren<QRadioButton*>())
  {
    state.push_back(radio->text() + (radio->isChecked() ? ": on" : ": off"));
  }
  for(const QGroupBox* box : dialog->findChildren<QGroupBox*>())
  {
    for(const QLineEdit* field : box->findChildren<QLineEdit*>())
    {
      state.push_back(field->objectName() + ": " + field->text());
    }
  }
  QTreeWidget* tree = dialog->findChild<QTreeWidget*>();
  for(int index = 0; index < tree->topLevelItemCount(); ++index)
  {
    QTreeWidgetItem* axis_item = tree->topLevelItem(index);
    for(int child = 0; child < axis_item->childCount(); ++child)
    {
      QTreeWidgetItem* item = axis_item->child(child);
      auto* row = qobject_cast<TMachineParameterWidget*>(tree->itemWidget(item, 0));
      state.push_back(QString("%1/%2: %3 %4 %5")
                          .arg(axis_item->data(0, Qt::UserRole).toInt())
                          .arg(item->data(0, Qt::UserRole).toInt())
                          .arg(row->Is_Option_Enabled() ? "on" : "off")
                          .arg(row->Sign_Option_Index())
                          .arg(row->Expression()));
    }
  }
  return state;
}

using Editor_Dialogs::On_Next_Dialog;
using Editor_Dialogs::Opens_Dialog;
using Editor_Dialogs::Read;
} // namespace

class TTestMachineEditor : public QObject
{
  Q_OBJECT

private:
  Test_Support::TTemporaryHome d_home;

  QString Data_Path() const { return d_home.Data_Path(); }

  // A library in the temporary home with one new machine loaded into the editor.
  std::unique_ptr<TMachineDialog> New_Machine_Editor(const QString& name = QStringLiteral("Bridge"))
  {
    auto dialog = std::make_unique<TMachineDialog>();
    dialog->Set_Data_Path(Data_Path());
    dialog->Create_Machine(name);
    dialog->Reset(name);
    return dialog;
  }

private slots:
  void init() { QVERIFY(d_home.Set_Up()); }

  void Conformity_Fields_data()
  {
    QTest::addColumn<QString>("k");
    QTest::addColumn<bool>("edit_parameter");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<bool>("covariance_kept");
    QTest::newRow("K above 0, nothing edited") << "333" << false << true << true;
    QTest::newRow("K zero") << "0" << false << false << true;
    QTest::newRow("K negative") << "-5" << false << false << true;
    QTest::newRow("a parameter edited") << "333" << true << true << false;
  }

  // The MPE fields take A, K and an optional B; a K that is not above 0 keeps Accept off. Editing
  // an error parameter drops the covariance, and the editor says so before Accept; a number row
  // that was not edited keeps its stored digits.
  void Conformity_Fields()
  {
    QFETCH(QString, k);
    QFETCH(bool, edit_parameter);
    QFETCH(bool, accepted);
    QFETCH(bool, covariance_kept);
    auto dialog = New_Machine_Editor();
    TMachineLibrary::TMachineItem machine = *dialog->Machine(dialog->Machine_Id("Bridge"));
    machine.name = QStringLiteral("Identified");
    machine.covariance_labels = QStringList{"QXY"};
    machine.covariance = {1e-6};
    for(TMachineLibrary::TMachineAxisItem& axis : machine.axes)
    {
      for(TMachineLibrary::TMachineParameterItem& parameter : axis.parameters)
      {
        if(parameter.parameter == PARAMETER_QYZ)
        {
          parameter.expression = QStringLiteral("0.012501478"); // shown as 0.0125
        }
      }
    }
    dialog->Add_Machine_Item(machine);
    dialog->Reset("Identified");
    QLabel* note = dialog->findChild<QLabel*>("covariance_note");
    QVERIFY(!note->text().contains("drops"));

    Field(dialog.get(), "mpe_a")->setText("1.5");
    Field(dialog.get(), "mpe_k")->setText(k);
    if(edit_parameter)
    {
      Row(dialog.get(), AXIS_SQUARENESS, PARAMETER_QXY)->findChild<QCheckBox*>()->click();
      QVERIFY(note->text().contains("Accept drops the covariance"));
    }
    QPushButton* accept = Button(dialog.get(), "Accept");
    QCOMPARE(accept->isEnabled(), accepted);
    accept->click();
    const TMachineLibrary::TMachineItem* stored = dialog->Machine(dialog->Machine_Id("Identified"));
    QCOMPARE(stored->has_mpe, accepted);
    QCOMPARE(stored->covariance.empty(), !covariance_kept);
    // A number row left alone keeps its digits, not the four it shows.
    for(const TMachineLibrary::TMachineAxisItem& axis : stored->axes)
    {
      for(const TMachineLibrary::TMachineParameterItem& parameter : axis.parameters)
      {
        QVERIFY(parameter.parameter != PARAMETER_QYZ || parameter.expression == QStringLiteral("0.012501478"));
      }
    }
    if(accepted)
    {
      QCOMPARE(stored->mpe_k, 333.0);
      QVERIFY(!stored->mpe_has_b);
    }
  }

  void Expression_Shown_As_Values_data()
  {
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");
    QTest::addColumn<QString>("expression");
    QTest::addColumn<QStringList>("positions");
    QTest::addColumn<QStringList>("errors");

    const QStringList metre = {"0.0", "250.0", "500.0", "750.0", "1000.0"};
    QTest::newRow("zero") << 0.0 << 1000.0 << "0.0000 * L" << metre
                          << QStringList({"0.0000", "0.0000", "0.0000", "0.0000", "0.0000"});
    QTest::newRow("linear") << 0.0 << 1000.0 << "0.01 * L" << metre
                            << QStringList({"0.0000", "0.0025", "0.0050", "0.0075", "0.0100"});
    QTest::newRow("not a variable") << 0.0 << 1000.0 << "0.01 * Q" << metre
                                    << QStringList({"0.0000", "0.0000", "0.0000", "0.0000", "0.0000"});
    QTest::newRow("empty") << 0.0 << 1000.0 << "" << metre
                           << QStringList({"0.0000", "0.0000", "0.0000", "0.0000", "0.0000"});
    // L is the position in metres, whatever the range.
    QTest::newRow("negative range") << -1000.0 << 0.0 << "L"
                                    << QStringList({"-1000.0", "-750.0", "-500.0", "-250.0", "0.0"})
                                    << QStringList({"-1.0000", "-0.7500", "-0.5000", "-0.2500", "0.0000"});
  }

  void Expression_Shown_As_Values()
  {
    QFETCH(double, lower);
    QFETCH(double, upper);
    QFETCH(QString, expression);
    QFETCH(QStringList, positions);
    QFETCH(QStringList, errors);

    TExpressionDialog dialog;
    dialog.Set_Position_Range(lower, upper);
    dialog.Set_Expression(expression);
    QCOMPARE(Texts(Expression_Fields(&dialog, true)), positions);
    QCOMPARE(Texts(Expression_Fields(&dialog, false)), errors);
  }

  void Expression_Fitted_From_Values_data()
  {
    QTest::addColumn<QStringList>("errors");
    QTest::addColumn<QString>("expected");

    QTest::newRow("linear") << QStringList({"0.0000", "0.0025", "0.0050", "0.0075", "0.0100"}) << "0.0100*L";
    QTest::newRow("constant") << QStringList({"0.0010", "0.0010", "0.0010", "0.0010", "0.0010"}) << "0.0010";
    QTest::newRow("constant and slope") << QStringList({"0.0010", "0.0035", "0.0060", "0.0085", "0.0110"})
                                        << "0.0010+0.0100*L";
    QTest::newRow("negative slope") << QStringList({"0.0010", "-0.0040", "-0.0090", "-0.0140", "-0.0190"})
                                    << "0.0010-0.0200*L";
    QTest::newRow("negative first term") << QStringList({"0", "-0.0005", "-0.0010", "-0.0015", "-0.0020"})
                                         << "-0.0020*L";
    QTest::newRow("square only") << QStringList({"0", "0.000625", "0.0025", "0.005625", "0.01"}) << "0.0100*L^2";
    QTest::newRow("fourth power") << QStringList({"0", "0.00000390625", "0.0000625", "0.000316406", "0.001"})
                                  << "0.0010*L^4";
    QTest::newRow("all zero") << QStringList({"0.0000", "0.0000", "0.0000", "0.0000", "0.0000"}) << "0.0000";
    // Typed with five decimals, given back with five.
    QTest::newRow("below threshold") << QStringList({"0.00004", "0.00004", "0.00004", "0.00004", "0.00004"})
                                     << "0.00004";
    QTest::newRow("not a number") << QStringList({"0.0010", "0.0035", "abc", "0.0085", "0.0110"}) << "0.0000";
    QTest::newRow("empty field") << QStringList({"0.0010", "", "0.0060", "0.0085", "0.0110"}) << "0.0000";
  }

  void Expression_Fitted_From_Values()
  {
    QFETCH(QStringList, errors);
    QFETCH(QString, expected);

    TExpressionDialog dialog;
    // Shows 1.0000 in every row, which no case keeps: each case is a change, and fitted.
    dialog.Set_Expression(QStringLiteral("1"));
    const QList<QLineEdit*> fields = Expression_Fields(&dialog, false);
    QCOMPARE(fields.size(), errors.size());
    for(int row = 0; row < fields.size(); ++row)
    {
      fields[row]->setText(errors[row]);
    }
    QCOMPARE(dialog.Expression(), expected);
  }

  // Applying what is shown keeps the expression: a refit agrees only at the five points.
  // A value typed differently but equal is no change; any real change is fitted.
  void Expression_Kept_Unless_Changed_data()
  {
    QTest::addColumn<QString>("expression");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");

    const QString cubic = QStringLiteral("0.0021*L-0.0048*L^2+0.0012*L^3");
    QTest::newRow("cubic untouched") << cubic << -1 << "" << cubic;
    QTest::newRow("same value typed") << cubic << 0 << "0.00000" << cubic;
    QTest::newRow("does not evaluate") << "0.01 * Q" << -1 << ""
                                       << "0.01 * Q";
    QTest::newRow("one value changed") << "0.01 * L" << 4 << "0.0110"
                                       << "0.0090*L+0.0073*L^2-0.0160*L^3+0.0107*L^4";
  }

  void Expression_Kept_Unless_Changed()
  {
    QFETCH(QString, expression);
    QFETCH(int, row);
    QFETCH(QString, typed);
    QFETCH(QString, expected);

    TExpressionDialog dialog;
    dialog.Set_Expression(expression);
    if(row >= 0)
    {
      Expression_Fields(&dialog, false)[row]->setText(typed);
    }
    QCOMPARE(dialog.Expression(), expected);
  }

  // The chart shows the polynomial Apply would set only after an edit, and it passes through
  // the values in the table.
  void Expression_Editor_Plots_Fit()
  {
    TExpressionDialog dialog;
    dialog.Set_Position_Range(-200.0, 800.0);
    dialog.Set_Expression(QStringLiteral("0.01 * L"));
    QtCharts::QChartView* view = dialog.findChild<QtCharts::QChartView*>();
    QVERIFY(view);
    QList<QtCharts::QXYSeries*> series;
    for(QtCharts::QAbstractSeries* one : view->chart()->series())
    {
      series.push_back(qobject_cast<QtCharts::QXYSeries*>(one));
    }
    const auto fitted = [&series]() -> QtCharts::QXYSeries*
    {
      for(QtCharts::QXYSeries* one : series)
      {
        if(one->isVisible() && one->pen().style() == Qt::DashLine && one->count() > 0)
        {
          return one;
        }
      }
      return nullptr;
    };
    QVERIFY(!fitted());

    Expression_Fields(&dialog, false)[3]->setText("0.0200");
    QtCharts::QXYSeries* curve = fitted();
    QVERIFY(curve);
    int matched = 0;
    const QList<QLineEdit*> positions = Expression_Fields(&dialog, true);
    const QList<QLineEdit*> errors = Expression_Fields(&dialog, false);
    for(int row = 0; row < positions.size(); ++row)
    {
      for(const QPointF& point : curve->pointsVector())
      {
        if(std::fabs(point.x() - positions[row]->text().toDouble()) < 1e-6)
        {
          // The coefficients are rounded to 4 decimals, so the curve is as close as that allows.
          QVERIFY(std::fabs(point.y() - errors[row]->text().toDouble()) < 5e-4);
          ++matched;
        }
      }
    }
    QCOMPARE(matched, 5);
  }

  // Enter in an error field applies, like the Apply button.
  void Expression_Editor_Enter_Applies()
  {
    TExpressionDialog dialog;
    dialog.Set_Expression(QStringLiteral("0"));
    const QList<QLineEdit*> fields = Expression_Fields(&dialog, false);
    On_Next_Dialog(
        [&fields](QDialog*)
        {
          fields[4]->setFocus();
          QTest::keyClick(fields[4], Qt::Key_Return);
        });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
  }

  // The editor opened from an axis row shows that axis's travel as typed, before Accept, and
  // the row shows the start of the expression it gets back.
  void Expression_Editor_Shows_Axis_Travel()
  {
    auto dialog = New_Machine_Editor();
    Field(dialog.get(), "axis_minimum_y")->setText("2000");
    Field(dialog.get(), "axis_maximum_y")->setText("-500");
    TMachineParameterWidget* row = Row(dialog.get(), AXIS_Y, PARAMETER_SCALE);
    row->findChild<QCheckBox*>()->click();
    const QString bow = QStringLiteral("0.0021*L-0.0048*L^2+0.0012*L^3+0.0001*L^4+0.0002*L^5+0.0003*L^6");
    Row_Edit(row)->setText(bow);
    QStringList positions;
    On_Next_Dialog(
        [&positions](QDialog* editor)
        {
          positions = Texts(Expression_Fields(editor, true));
          Expression_Fields(editor, false)[0]->setText("0.0100");
          Button(editor, "Apply")->click();
        });
    row->findChild<QToolButton*>()->click();
    QCOMPARE(positions, QStringList({"-500.0", "125.0", "750.0", "1375.0", "2000.0"}));
    QVERIFY(Row_Edit(row)->text() != bow);
    QCOMPARE(Row_Edit(row)->cursorPosition(), 0);
  }

  void New_Machine_Shown()
  {
    auto dialog = New_Machine_Editor();
    QCOMPARE(dialog->size(), QSize(801, 801).boundedTo(Screen_Room(dialog.get())));
    QVERIFY(dialog->findChild<QLabel*>() != nullptr);
    QVERIFY(Radio(dialog.get(), "Axis: Y-X-Z")->isChecked());

    const QStringList expected = {"0.0000", "0.0000", "-1000.0000", "1000.0000", "1000.0000", "0.0000",
                                  "0.0000", "0.0000", "0.0000",     "0.0000",    "0.0000",    "0.0000"};
    QStringList shown;
    for(const char* name : {"axis_minimum", "axis_maximum", "math_origin", "mechanical_origin"})
    {
      for(const char* axis : {"x", "y", "z"})
      {
        QLineEdit* field = Field(dialog.get(), qPrintable(QString("%1_%2").arg(name, axis)));
        QVERIFY(field && field->isEnabled());
        shown.push_back(field->text());
      }
    }
    QCOMPARE(shown, expected);

    // Five groups in order, their keys under Qt::UserRole.
    QTreeWidget* tree = dialog->findChild<QTreeWidget*>();
    QStringList titles;
    QList<int> keys;
    int rows = 0;
    for(int index = 0; index < tree->topLevelItemCount(); ++index)
    {
      titles.push_back(tree->topLevelItem(index)->text(0));
      keys.push_back(tree->topLevelItem(index)->data(0, Qt::UserRole).toInt());
      rows += tree->topLevelItem(index)->childCount();
    }
    QCOMPARE(titles, QStringList({"X Axis", "Y Axis", "Z Axis", "Squareness", "D Axis"}));
    QCOMPARE(keys, QList<int>({AXIS_X, AXIS_Y, AXIS_Z, AXIS_SQUARENESS, AXIS_D}));
    QCOMPARE(rows, 16);

    QVERIFY(!Row(dialog.get(), AXIS_D, PARAMETER_DEFLECTION)->isEnabled());
    QVERIFY(!Axis_Item(dialog.get(), AXIS_D)->isExpanded());
    QVERIFY(Axis_Item(dialog.get(), AXIS_X)->isExpanded());
  }

  // The words the user reads: header, group boxes, the travel labels row by row, the buttons,
  // and the expression editor's headings.
  void Editor_Texts()
  {
    auto dialog = New_Machine_Editor("Bridge 2");
    QStringList labels;
    for(const QLabel* label : dialog->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly))
    {
      labels.push_back(label->text());
    }
    QCOMPARE(labels, QStringList({"<html><head/><body><p><span style=\" text-decoration: underline;\">Machine: Bridge "
                                  "2</span></p></body></html>",
                                  "<html><head/><body><p><span style=\" text-decoration: underline;\">Machine Error "
                                  "Parameters:</span></p></body></html>"}));

    QStringList boxes;
    for(const QGroupBox* box : dialog->findChildren<QGroupBox*>())
    {
      boxes.push_back(box->title());
    }
    QCOMPARE(boxes, QStringList({"Kinematic Order", "Axis Dimensions, Math, and Mechanical Origin", "Conformity"}));
    QStringList radios;
    for(const QRadioButton* radio : dialog->findChildren<QRadioButton*>())
    {
      radios.push_back(radio->text());
    }
    QCOMPARE(radios, QStringList({"Axis: X-Y-Z", "Axis: Y-X-Z", "Axis: X-Z-Y", "Axis: Y-Z-X"}));

    // Each travel field with the label in front of it.
    QGridLayout* grid = qobject_cast<QGridLayout*>(dialog->findChildren<QGroupBox*>().value(1)->layout());
    QVERIFY(grid);
    QStringList rows;
    for(int row = 0; row < grid->rowCount(); ++row)
    {
      QStringList cells;
      for(int column = 0; column < grid->columnCount(); column += 2)
      {
        const QLabel* label = qobject_cast<QLabel*>(grid->itemAtPosition(row, column)->widget());
        const QLineEdit* field = qobject_cast<QLineEdit*>(grid->itemAtPosition(row, column + 1)->widget());
        QVERIFY(label && field && label->buddy() == field);
        QCOMPARE(label->alignment(), Qt::AlignRight | Qt::AlignVCenter);
        QCOMPARE(field->alignment(), Qt::AlignCenter);
        cells.push_back(label->text());
      }
      rows.push_back(cells.join(' '));
    }
    QCOMPARE(
        rows,
        QStringList({"Axis Min X: Y: Z:", "Axis Max X: Y: Z:", "Math Origin X: Y: Z:", "Mechanical Origin X: Y: Z:"}));

    QTreeWidget* tree = dialog->findChild<QTreeWidget*>();
    QVERIFY(tree->isHeaderHidden());
    QVERIFY(tree->rootIsDecorated());
    QCOMPARE(tree->indentation(), 12);
    QCOMPARE(tree->selectionMode(), QAbstractItemView::NoSelection);

    for(const char* text : {"Cancel", "Accept"})
    {
      QVERIFY2(Button(dialog.get(), text) && !Button(dialog.get(), text)->autoDefault(), text);
    }

    TExpressionDialog expression;
    QCOMPARE(expression.windowTitle(), QString("Expression Editor"));
    QStringList headings;
    for(const QLabel* label : expression.findChildren<QLabel*>())
    {
      QCOMPARE(label->alignment(), Qt::Alignment(Qt::AlignCenter));
      headings.push_back(label->text());
    }
    QCOMPARE(headings, QStringList({"Position (mm)", "Error (mm)"}));
    for(const QLineEdit* field : expression.findChildren<QLineEdit*>())
    {
      QCOMPARE(field->alignment(), Qt::Alignment(Qt::AlignCenter));
    }
    QPushButton* apply = Button(&expression, "Apply");
    QPushButton* cancel = Button(&expression, "Cancel");
    QVERIFY(apply && cancel && !apply->autoDefault() && !cancel->autoDefault());
  }

  void Parameter_Rows_data()
  {
    QTest::addColumn<int>("axis");
    QTest::addColumn<int>("parameter");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("expressions");

    const QStringList rotation = {"CCW = Pos", "CW = Pos"};
    const QStringList scale = {"Laser > CMM = Pos", "Laser < CMM = Pos"};
    for(const auto& [axis, name] :
        {std::make_pair(AXIS_X, "X"), std::make_pair(AXIS_Y, "Y"), std::make_pair(AXIS_Z, "Z")})
    {
      QTest::addRow("%s RX", name) << axis << PARAMETER_RX << "RX" << rotation << true;
      QTest::addRow("%s RY", name) << axis << PARAMETER_RY << "RY" << rotation << true;
      QTest::addRow("%s RZ", name) << axis << PARAMETER_RZ << "RZ" << rotation << true;
      QTest::addRow("%s Scale", name) << axis << PARAMETER_SCALE << "Scale" << scale << true;
    }
    QTest::newRow("XY") << AXIS_SQUARENESS << PARAMETER_QXY << "XY"
                        << QStringList({"X to Y > 90 = Pos", "X to Y < 90 = Pos"}) << false;
    QTest::newRow("YZ") << AXIS_SQUARENESS << PARAMETER_QYZ << "YZ"
                        << QStringList({"Y to Z > 90 = Pos", "Y to Z < 90 = Pos"}) << false;
    QTest::newRow("ZX") << AXIS_SQUARENESS << PARAMETER_QZX << "ZX"
                        << QStringList({"Z to X > 90 = Pos", "Z to X < 90 = Pos"}) << false;
    QTest::newRow("Deflection") << AXIS_D << PARAMETER_DEFLECTION << "Deflection" << rotation << false;
  }

  // A new machine's row: its title, sign pair, value kind, and the defaults unchecked.
  void Parameter_Rows()
  {
    QFETCH(int, axis);
    QFETCH(int, parameter);
    QFETCH(QString, title);
    QFETCH(QStringList, options);
    QFETCH(bool, expressions);

    auto dialog = New_Machine_Editor();
    TMachineParameterWidget* row = Row(dialog.get(), axis, parameter);
    QVERIFY(row);

    const QList<QLabel*> labels = row->findChildren<QLabel*>();
    QCOMPARE(labels.size(), 2);
    QCOMPARE(labels[0]->text(), title);
    QCOMPARE(labels[1]->text(), QString(expressions ? "Expression =" : "Error mm/m ="));

    QComboBox* combo = row->findChild<QComboBox*>();
    QCOMPARE(combo->count(), 2);
    QCOMPARE(QStringList({combo->itemText(0), combo->itemText(1)}), options);
    QCOMPARE(row->Sign_Option_Index(), 0);
    QCOMPARE(row->Sign_Option(), options[0]);

    QVERIFY(!row->Is_Option_Enabled());
    QVERIFY(!combo->isEnabled());
    QVERIFY(!Row_Edit(row)->isEnabled());
    QCOMPARE(Row_Edit(row)->text(), QString(expressions ? "0.0000 * L" : "0.0000"));
    // The "..." of an expression row acts only while the row is enabled.
    QVERIFY(!row->findChild<QToolButton*>()->isEnabled());

    // The check box frees the sign and the value (the deflection needs a horizontal arm).
    if(axis == AXIS_D)
    {
      Radio(dialog.get(), "Axis: X-Z-Y")->click();
    }
    row->findChild<QCheckBox*>()->click();
    QVERIFY(combo->isEnabled());
    QVERIFY(Row_Edit(row)->isEnabled());
    QCOMPARE(row->findChild<QToolButton*>()->isEnabled(), expressions);
  }

  void Travel_Stored_data()
  {
    QTest::addColumn<QString>("minimum");
    QTest::addColumn<QString>("maximum");
    QTest::addColumn<double>("stored_minimum");
    QTest::addColumn<double>("stored_maximum");

    QTest::newRow("in order") << "-100"
                              << "600" << -100.0 << 600.0;
    QTest::newRow("maximum below minimum") << "500"
                                           << "100" << 100.0 << 500.0;
    QTest::newRow("equal") << "7"
                           << "7" << 7.0 << 7.0;
    QTest::newRow("not a number") << "abc"
                                  << "-20" << -20.0 << 0.0;
  }

  void Travel_Stored()
  {
    QFETCH(QString, minimum);
    QFETCH(QString, maximum);
    QFETCH(double, stored_minimum);
    QFETCH(double, stored_maximum);

    auto dialog = New_Machine_Editor();
    Field(dialog.get(), "axis_minimum_x")->setText(minimum);
    Field(dialog.get(), "axis_maximum_x")->setText(maximum);
    Field(dialog.get(), "mechanical_origin_z")->setText("-12.5");
    Button(dialog.get(), "Accept")->click();

    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    const int id = dialog->Machine_Id("Bridge");
    QCOMPARE(dialog->Machine_Axis_Start(id).x, stored_minimum);
    QCOMPARE(dialog->Machine_Axis_End(id).x, stored_maximum);
    QCOMPARE(dialog->Machine_Axis_Start(id).z, -1000.0);
    QCOMPARE(dialog->Machine_Mechanical_Origin(id).z, -12.5);

    dialog->Reset("Bridge");
    QCOMPARE(Field(dialog.get(), "axis_minimum_x")->text(), QString("%1").arg(stored_minimum, 0, 'f', 4));
    QCOMPARE(Field(dialog.get(), "axis_maximum_x")->text(), QString("%1").arg(stored_maximum, 0, 'f', 4));
  }

  void Parameter_Stored_data()
  {
    QTest::addColumn<int>("axis");
    QTest::addColumn<int>("parameter");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");

    QTest::newRow("squareness word") << AXIS_SQUARENESS << PARAMETER_QXY << "abc"
                                     << "0.0000";
    QTest::newRow("squareness number") << AXIS_SQUARENESS << PARAMETER_QYZ << "0.0125"
                                       << "0.0125";
    QTest::newRow("squareness exponent") << AXIS_SQUARENESS << PARAMETER_QZX << "-1e-2"
                                         << "-0.0100";
    QTest::newRow("squareness empty") << AXIS_SQUARENESS << PARAMETER_QZX << ""
                                      << "0.0000";
    QTest::newRow("X word kept") << AXIS_X << PARAMETER_RX << "abc"
                                 << "abc";
    QTest::newRow("Y expression kept") << AXIS_Y << PARAMETER_SCALE << " 0.005 * L "
                                       << " 0.005 * L ";
    QTest::newRow("Z empty kept") << AXIS_Z << PARAMETER_RZ << ""
                                  << "";
  }

  void Parameter_Stored()
  {
    QFETCH(int, axis);
    QFETCH(int, parameter);
    QFETCH(QString, typed);
    QFETCH(QString, stored);

    auto dialog = New_Machine_Editor();
    TMachineParameterWidget* row = Row(dialog.get(), axis, parameter);
    row->findChild<QCheckBox*>()->click();
    row->findChild<QComboBox*>()->setCurrentIndex(1);
    Row_Edit(row)->setText(typed);
    Button(dialog.get(), "Accept")->click();

    const std::vector<TMachineDialog::TMapErrorItem> items = dialog->Map_Error_Items(dialog->Machine_Id("Bridge"));
    QCOMPARE(items.size(), std::size_t(1));
    QCOMPARE(items[0].axis, axis);
    QCOMPARE(items[0].parameter, parameter);
    QCOMPARE(items[0].sign, -1);
    const bool linear = axis != AXIS_SQUARENESS;
    QCOMPARE(linear ? items[0].expression : QString("%1").arg(items[0].value, 0, 'f', 4), stored);
  }

  void D_Axis_Availability_data()
  {
    QTest::addColumn<QString>("kinematic");
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("available");
    QTest::newRow("X-Y-Z") << "Axis: X-Y-Z" << KINEMATIC_XYZ << false;
    QTest::newRow("Y-X-Z") << "Axis: Y-X-Z" << KINEMATIC_YXZ << false;
    QTest::newRow("X-Z-Y") << "Axis: X-Z-Y" << KINEMATIC_XZY << true;
    QTest::newRow("Y-Z-X") << "Axis: Y-Z-X" << KINEMATIC_YZX << true;
  }

  void D_Axis_Availability()
  {
    QFETCH(QString, kinematic);
    QFETCH(int, value);
    QFETCH(bool, available);

    auto dialog = New_Machine_Editor();
    TMachineParameterWidget* row = Row(dialog.get(), AXIS_D, PARAMETER_DEFLECTION);
    // From a horizontal-arm order with the deflection switched on.
    Radio(dialog.get(), "Axis: X-Z-Y")->click();
    QVERIFY(row->isEnabled());
    QVERIFY(Axis_Item(dialog.get(), AXIS_D)->isExpanded());
    row->findChild<QCheckBox*>()->click();
    Row_Edit(row)->setText("0.5");

    Radio(dialog.get(), kinematic)->click();
    QCOMPARE(row->isEnabled(), available);
    QCOMPARE(Axis_Item(dialog.get(), AXIS_D)->isExpanded(), available);
    QCOMPARE(row->Is_Option_Enabled(), available);

    Button(dialog.get(), "Accept")->click();
    const int id = dialog->Machine_Id("Bridge");
    QCOMPARE(dialog->Machine_Kinematic(id), value);
    QCOMPARE(dialog->Map_Error_Items(id).size(), std::size_t(available ? 1 : 0));

    // Shown again the same way from the record.
    dialog->Reset("Bridge");
    QVERIFY(Radio(dialog.get(), kinematic)->isChecked());
    QCOMPARE(row->isEnabled(), available);
    QCOMPARE(row->Is_Option_Enabled(), available);
    QCOMPARE(Axis_Item(dialog.get(), AXIS_D)->isExpanded(), available);
  }

  void Cancel_Changes_Nothing()
  {
    auto dialog = New_Machine_Editor();
    const QString file = QDir(Data_Path()).filePath("machines.xml");
    QVERIFY(dialog->Save_Data());
    const QByteArray saved = Read(file);
    QVERIFY(QFile::remove(file));

    On_Next_Dialog(
        [](QDialog* editor)
        {
          Field(editor, "axis_maximum_y")->setText("99");
          Radio(editor, "Axis: Y-Z-X")->click();
          TMachineParameterWidget* row = Row(editor, AXIS_Y, PARAMETER_RZ);
          row->findChild<QCheckBox*>()->click();
          Row_Edit(row)->setText("0.1*L");
          Button(editor, "Cancel")->click();
        });
    QCOMPARE(dialog->exec(), int(QDialog::Rejected));

    // Not marked modified: nothing to write.
    QVERIFY(dialog->Save_Data());
    QVERIFY(!QFileInfo::exists(file));
    QVERIFY(dialog->Save());
    QCOMPARE(Read(file), saved);
  }

  // Machines edited through the dialog come back from the file as they were shown.
  void Edited_Machine_Reloads()
  {
    auto dialog = New_Machine_Editor("Horizontal Arm");
    Radio(dialog.get(), "Axis: Y-Z-X")->click();
    Field(dialog.get(), "axis_minimum_y")->setText("-250.5");
    Field(dialog.get(), "math_origin_x")->setText("12");
    const struct
    {
      int axis;
      int parameter;
      int option;
      const char* text;
    } edits[] = {{AXIS_X, PARAMETER_RX, 1, "0.0010+0.0100*L"},
                 {AXIS_Z, PARAMETER_SCALE, 0, "0.02 * L^2"},
                 {AXIS_SQUARENESS, PARAMETER_QXY, 1, "0.0125"},
                 {AXIS_D, PARAMETER_DEFLECTION, 1, "0.3"}};
    for(const auto& edit : edits)
    {
      TMachineParameterWidget* row = Row(dialog.get(), edit.axis, edit.parameter);
      row->findChild<QCheckBox*>()->click();
      row->findChild<QComboBox*>()->setCurrentIndex(edit.option);
      Row_Edit(row)->setText(QLatin1String(edit.text));
    }
    Button(dialog.get(), "Accept")->click();
    QVERIFY(dialog->Save_Data());
    dialog->Reset("Horizontal Arm");
    const QStringList shown = Editor_State(dialog.get());
    QVERIFY(shown.contains("16/131072: on 1 0.0125"));
    QVERIFY(shown.contains("4/32768: on 0 0.02 * L^2"));

    TMachineDialog reloaded;
    reloaded.Set_Data_Path(Data_Path());
    QVERIFY(reloaded.Load_Data());
    reloaded.Reset("Horizontal Arm");
    QCOMPARE(Editor_State(&reloaded), shown);
  }

  void Expression_Editor_From_Row_data()
  {
    Test_Support::Add_Text_Rows("button", "result",
                                {{"apply", "Apply", "0.0010+0.0100*L"},
                                 {"cancel", "Cancel", "0.0000 * L"},
                                 {"window closed", "", "0.0000 * L"}});
  }

  void Expression_Editor_From_Row()
  {
    QFETCH(QString, button);
    QFETCH(QString, result);

    auto dialog = New_Machine_Editor();
    TMachineParameterWidget* row = Row(dialog.get(), AXIS_Y, PARAMETER_RY);
    row->findChild<QCheckBox*>()->click();
    // Twice: the editor is kept, and an earlier Apply must not carry over to a closed window.
    for(const QString& pressed : {QString("Apply"), button})
    {
      Row_Edit(row)->setText("0.0000 * L");
      On_Next_Dialog(
          [pressed](QDialog* editor)
          {
            QCOMPARE(editor->windowTitle(), QString("Expression Editor"));
            const QStringList values = {"0.0010", "0.0035", "0.0060", "0.0085", "0.0110"};
            const QList<QLineEdit*> fields = Expression_Fields(editor, false);
            for(int index = 0; index < fields.size(); ++index)
            {
              fields[index]->setText(values[index]);
            }
            if(pressed.isEmpty())
            {
              editor->close();
            }
            else
            {
              Button(editor, pressed)->click();
            }
          });
      row->findChild<QToolButton*>()->click();
    }
    QCOMPARE(Row_Edit(row)->text(), result);
  }

  // The "..." of a plain number does nothing, even when called directly.
  void No_Expression_Editor_For_Numbers()
  {
    auto dialog = New_Machine_Editor();
    TMachineParameterWidget* row = Row(dialog.get(), AXIS_SQUARENESS, PARAMETER_QYZ);
    QVERIFY(!row->findChild<QToolButton*>()->isEnabled());
    QVERIFY(!Opens_Dialog([row]() { row->Edit_Expression(); }));
    QVERIFY(row->findChild<TExpressionDialog*>() == nullptr);
  }

  // A squareness value that is not a finite number is marked where it is typed (the set-up
  // refuses it); an axis row's expression is never marked.
  void Number_Row_Marks_Non_Finite()
  {
    auto dialog = New_Machine_Editor();
    TMachineParameterWidget* row = Row(dialog.get(), AXIS_SQUARENESS, PARAMETER_QYZ);
    row->findChild<QCheckBox*>()->click();
    for(const char* text : {"nan", "1e309", "-inf", "abc"})
    {
      Row_Edit(row)->setText(text);
      QVERIFY2(Row_Edit(row)->property("invalid").toBool(), text);
    }
    Row_Edit(row)->setText("0.0125");
    QVERIFY(!Row_Edit(row)->property("invalid").toBool());
    TMachineParameterWidget* axis_row = Row(dialog.get(), AXIS_Y, PARAMETER_SCALE);
    Row_Edit(axis_row)->setText("0.001*L");
    QVERIFY(!Row_Edit(axis_row)->property("invalid").toBool());
  }

  void Unknown_Machine_Not_Editable()
  {
    auto dialog = New_Machine_Editor();
    Field(dialog.get(), "axis_maximum_x")->setText("1");
    dialog->Reset("A <b>Missing</b> machine");
    QCOMPARE(dialog->Current_Machine_Id(), -1);
    QVERIFY(!Field(dialog.get(), "axis_maximum_x")->isEnabled());
    QVERIFY(!dialog->findChild<QTreeWidget*>()->isEnabled());
    // The name is shown as typed, not read as markup.
    bool shown = false;
    for(const QLabel* label : dialog->findChildren<QLabel*>())
    {
      shown = shown || label->text().contains("Machine: A &lt;b&gt;Missing&lt;/b&gt; machine");
    }
    QVERIFY(shown);
  }

  // Edit_Machine in the window stores on Accept (written at close) and nothing on Cancel.
  void Window_Edit_Machine_data()
  {
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("written");
    QTest::newRow("accept") << "Accept" << true;
    QTest::newRow("cancel") << "Cancel" << false;
  }

  void Window_Edit_Machine()
  {
    QFETCH(QString, button);
    QFETCH(bool, written);

    const QString file = QDir(Data_Path()).filePath("machines.xml");
    {
      TMachineDialog library;
      library.Set_Data_Path(Data_Path());
      library.Create_Machine("Gantry");
      QVERIFY(library.Save_Data());
    }
    const QByteArray before = Read(file);

    TVarlume window;
    QListWidget* machines = window.findChildren<QListWidget*>().value(0);
    QVERIFY(machines && machines->count() == 1);
    machines->setCurrentRow(0);
    QCOMPARE(window.Active_Machine_Name(), QString("Gantry"));

    On_Next_Dialog(
        [button](QDialog* editor)
        {
          QVERIFY(Field(editor, "axis_maximum_z")->isEnabled());
          Field(editor, "axis_maximum_z")->setText("250");
          Button(editor, button)->click();
        });
    window.Edit_Machine();
    window.close();

    const QByteArray after = Read(file);
    QCOMPARE(after != before, written);
    QCOMPARE(after.contains("<Axis_Maximum>1000.0000,1000.0000,250.0000</Axis_Maximum>"), written);
  }
};

QTEST_MAIN(TTestMachineEditor)
#include "test_machine_editor.moc"
