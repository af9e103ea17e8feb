#include "src/gui/displaywidget.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpacerItem>
#include <QTabWidget>
#include <QTextCursor>
#include <QVBoxLayout>

#include <cmath>

#include "core/safefile.h"
#include "core/varlume_assert.h"
#include "core/vector3.h"
#include "src/gui/opengldisplaywidget.h"
#include "src/gui/plotswidget.h"

namespace
{
void Move_To_Start(QPlainTextEdit* pane)
{
  QTextCursor cursor = pane->textCursor();
  cursor.setPosition(0);
  pane->setTextCursor(cursor);
}
} // namespace

TDisplayWidget::TDisplayWidget(QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags)
{
  QVBoxLayout* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);

  d_tab_widget = new QTabWidget(this);
  d_tab_widget->setTabPosition(QTabWidget::North);
  layout->addWidget(d_tab_widget);

  // Graphical View: the 3-D view over the selection pane.
  QWidget* graphical_tab = new QWidget();
  QVBoxLayout* graphical_layout = new QVBoxLayout(graphical_tab);
  graphical_layout->setContentsMargins(0, 0, 0, 0);

  d_graphical_view = new TOpenGLDisplayWidget(graphical_tab);
  graphical_layout->addWidget(d_graphical_view);

  graphical_layout->addWidget(Create_Units_Label(tr("Picked row: lengths and deviation in mm (1 mm = 1000 µm)."),
                                                 QStringLiteral("selection_units"), graphical_tab));
  d_selection_text = Create_Text_Pane(graphical_tab);
  d_selection_text->setObjectName(QStringLiteral("selection_text"));
  d_selection_text->setMaximumHeight(100);
  graphical_layout->addWidget(d_selection_text);
  d_tab_widget->addTab(graphical_tab, tr("Graphical View"));

  // Measurement Results: the results pane over the output buttons.
  QWidget* measurement_tab = new QWidget();
  QVBoxLayout* measurement_layout = new QVBoxLayout(measurement_tab);
  measurement_layout->addWidget(Create_Units_Label(
      tr("Positions, lengths, deviations, Scale and XX, YY (straightness) in mm; Ra, Rb, Rc (laser angles) in "
         "mm/m (1 mm/m = 1000 µrad); MCG elevations in degrees."),
      QStringLiteral("measurement_units"), measurement_tab));
  d_measurement_text = Create_Text_Pane(measurement_tab);
  d_measurement_text->setObjectName(QStringLiteral("measurement_text"));
  measurement_layout->addWidget(d_measurement_text);

  QHBoxLayout* output_layout = new QHBoxLayout();
  output_layout->addItem(new QSpacerItem(0, 0, QSizePolicy::Expanding, QSizePolicy::Minimum));
  d_evaluation_button = new QPushButton(tr("Evaluation Report"), measurement_tab);
  d_export_button = new QPushButton(tr("Export Measurements"), measurement_tab);
  d_save_text_button = new QPushButton(tr("Save Text"), measurement_tab);
  for(QPushButton* button : {d_evaluation_button, d_export_button, d_save_text_button})
  {
    button->setAutoDefault(false);
    output_layout->addWidget(button);
  }
  measurement_layout->addLayout(output_layout);
  d_tab_widget->addTab(measurement_tab, tr("Measurement Results"));

  // Machine Errors: the increments over the map pane.
  QWidget* map_tab = new QWidget();
  QVBoxLayout* map_layout = new QVBoxLayout(map_tab);
  QHBoxLayout* increment_layout = new QHBoxLayout();
  const auto add_increment = [&](const QString& label_text)
  {
    QLabel* label = new QLabel(label_text, map_tab);
    QLineEdit* edit = new QLineEdit(QStringLiteral("100.000"), map_tab);
    edit->setMaximumWidth(100);
    edit->setAlignment(Qt::AlignRight);
    label->setBuddy(edit);
    increment_layout->addWidget(label);
    increment_layout->addWidget(edit);
    return edit;
  };
  d_increment_x_edit = add_increment(tr("Increment &X:"));
  d_increment_y_edit = add_increment(tr("Increment &Y:"));
  d_increment_z_edit = add_increment(tr("Increment &Z:"));
  increment_layout->addItem(new QSpacerItem(0, 0, QSizePolicy::Expanding, QSizePolicy::Minimum));
  d_update_button = new QPushButton(tr("Update"), map_tab);
  d_update_button->setAutoDefault(false);
  increment_layout->addWidget(d_update_button);
  map_layout->addLayout(increment_layout);
  map_layout->addWidget(Create_Units_Label(tr("Pos and Lx, Ly, Lz (scale and straightness) in mm; Rx, Ry, Rz "
                                              "(angles) and squareness in mm/m (1 mm/m = 1000 µrad). Sign options "
                                              "not applied."),
                                           QStringLiteral("map_units"), map_tab));
  d_map_text = Create_Text_Pane(map_tab);
  d_map_text->setObjectName(QStringLiteral("map_text"));
  map_layout->addWidget(d_map_text);
  d_tab_widget->addTab(map_tab, tr("Machine Errors"));

  d_plots_widget = new TPlotsWidget();
  d_tab_widget->addTab(d_plots_widget, tr("Plots"));
  connect(d_plots_widget, &TPlotsWidget::Status_Message, this, &TDisplayWidget::Status_Message);

  d_tab_widget->setCurrentIndex(0);
  Enable_Output_Options(false);

  connect(d_evaluation_button, &QPushButton::clicked, this, &TDisplayWidget::Evaluate_Measurements);
  connect(d_export_button, &QPushButton::clicked, this, &TDisplayWidget::Export_Measurements);
  connect(d_save_text_button, &QPushButton::clicked, this, &TDisplayWidget::Save_Measurement_Text);
  connect(d_update_button, &QPushButton::clicked, this, &TDisplayWidget::Update_Map_Display);
  // Enter in an increment applies the increments, as Update does.
  for(QLineEdit* edit : {d_increment_x_edit, d_increment_y_edit, d_increment_z_edit})
  {
    connect(edit, &QLineEdit::returnPressed, this, &TDisplayWidget::Update_Map_Display);
  }
  connect(d_graphical_view, &TOpenGLDisplayWidget::Model_Item_Clicked, this, &TDisplayWidget::Measurement_Item_Clicked);
  // A clicked result point is picked as in the 3-D view; rows from 1000 on have no pick name.
  connect(d_plots_widget, &TPlotsWidget::Row_Picked, this,
          [this](int id, int index)
          {
            if(index < 1000)
            {
              Measurement_Item_Clicked(0.0, 0.0, 0.0, id + index);
              return;
            }
            d_graphical_view->Clear_Selection();
            emit Item_Selected(id, index);
          });
}

QLabel* TDisplayWidget::Create_Units_Label(const QString& text, const QString& name, QWidget* parent)
{
  // Above the pane, not in it: Save Text and varlume-batch write the pane's text unchanged.
  QLabel* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setWordWrap(true);
  label->setContentsMargins(4, 2, 4, 2);
  return label;
}

QPlainTextEdit* TDisplayWidget::Create_Text_Pane(QWidget* parent)
{
  QPlainTextEdit* pane = new QPlainTextEdit(parent);
  // The reports are fixed-column text: any monospaced family stands in where this one is missing.
  QFont font(QStringLiteral("Courier New"));
  font.setFixedPitch(true);
  font.setStyleHint(QFont::TypeWriter);
  pane->setFont(font);
  pane->setReadOnly(true);
  pane->setLineWrapMode(QPlainTextEdit::NoWrap);
  pane->setUndoRedoEnabled(false);
  return pane;
}

void TDisplayWidget::Clear_Map_Data()
{
  d_map_text->clear();
  d_plots_widget->Clear_Machine();
}

void TDisplayWidget::Clear_Measurement_Data()
{
  d_measurement_text->clear();
  Update_Save_Text_Button();
  d_plots_widget->Clear_Measurements();
}

void TDisplayWidget::Set_Plot_Machine(const QString& name, const TMachineComp& machine,
                                      const Simulation::TMachineRecord& record)
{
  const double increments[3] = {Map_Data_Increment_X(), Map_Data_Increment_Y(), Map_Data_Increment_Z()};
  d_plots_widget->Set_Machine(name, machine, record, increments);
}

void TDisplayWidget::Set_Plot_Measurements(const TMachineComp& machine, const std::vector<TMeasurement*>& measurements)
{
  d_plots_widget->Set_Measurements(machine, measurements);
}

void TDisplayWidget::Set_Plot_Measurements_Failed(const QString& reason)
{
  d_plots_widget->Set_Measurements_Failed(reason);
}

void TDisplayWidget::Set_Plot_Machine_Failed(const QString& name)
{
  d_plots_widget->Set_Machine_Failed(tr("Machine %1 could not be set up: the Machine Errors tab says why.").arg(name));
}

void TDisplayWidget::Clear_Selection_Data()
{
  d_selection_text->clear();
}

void TDisplayWidget::Add_Map_Data_Line(const QString& line)
{
  d_map_text->appendPlainText(line);
}

void TDisplayWidget::Add_Measurement_Data_Line(const QString& line)
{
  d_measurement_text->appendPlainText(line);
}

void TDisplayWidget::Add_Selection_Data_Line(const QString& line)
{
  d_selection_text->appendPlainText(line);
}

void TDisplayWidget::Add_Map_Data_End()
{
  Move_To_Start(d_map_text);
}

void TDisplayWidget::Add_Measurement_Data_End()
{
  Move_To_Start(d_measurement_text);
  Update_Save_Text_Button();
}

void TDisplayWidget::Add_Selection_Data_End()
{
  Move_To_Start(d_selection_text);
}

void TDisplayWidget::Clear_Graphical_Data()
{
  d_graphical_view->Clear_Render_Measurements();
  // Repainted at once: after an error nothing else is drawn, and the old rows must not stay.
  d_graphical_view->Update(false);
}

void TDisplayWidget::Add_Graphical_Data(TMeasurement* measurement)
{
  VARLUME_ASSERT(measurement);
  d_graphical_view->Render_Measurements(measurement);
}

void TDisplayWidget::Add_Graphical_Data_End()
{
  d_graphical_view->Update(false);
}

void TDisplayWidget::Define_Machine_Volume(const TVector3& minimum, const TVector3& maximum)
{
  d_graphical_view->Define_Machine_Volume(minimum, maximum);
  d_graphical_view->Update(true);
}

void TDisplayWidget::Clear_Machine_Volume()
{
  d_graphical_view->Clear_Render_Volume();
  d_graphical_view->Update(true);
}

double TDisplayWidget::Increment(const QLineEdit* edit)
{
  // QString::toDouble accepts "nan" and "inf"; a map stepped by either never ends.
  const double value = edit->text().toDouble();
  return std::isfinite(value) ? std::fabs(value) : 0.0;
}

double TDisplayWidget::Map_Data_Increment_X() const
{
  return Increment(d_increment_x_edit);
}

double TDisplayWidget::Map_Data_Increment_Y() const
{
  return Increment(d_increment_y_edit);
}

double TDisplayWidget::Map_Data_Increment_Z() const
{
  return Increment(d_increment_z_edit);
}

QStringList TDisplayWidget::Map_Increment_Texts() const
{
  return {d_increment_x_edit->text(), d_increment_y_edit->text(), d_increment_z_edit->text()};
}

void TDisplayWidget::Set_Map_Increment_Texts(const QStringList& texts)
{
  if(texts.size() != 3)
  {
    return;
  }
  d_increment_x_edit->setText(texts[0]);
  d_increment_y_edit->setText(texts[1]);
  d_increment_z_edit->setText(texts[2]);
}

void TDisplayWidget::Enable_Output_Options(bool state)
{
  d_output_enabled = state;
  d_evaluation_button->setEnabled(state);
  d_export_button->setEnabled(state);
  Update_Save_Text_Button();
}

void TDisplayWidget::Update_Save_Text_Button()
{
  d_save_text_button->setEnabled(d_output_enabled && !d_measurement_text->document()->isEmpty());
}

bool TDisplayWidget::Write_Measurement_Text(const QString& file_name, QString* error) const
{
  // Written whole or not at all, so a failed write never leaves half of an earlier report.
  return SafeFile::Write_File(file_name, d_measurement_text->toPlainText().toLatin1(), error);
}

void TDisplayWidget::Save_Measurement_Text()
{
  // A proposed name in the last folder used, and ".txt" added to a name typed without one.
  QFileDialog dialog(this, tr("Save Measurement Text"), d_results_directory, tr("Text Files (*.txt);;All Files (*)"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QStringLiteral("txt"));
  dialog.selectFile(QStringLiteral("Measurement Results.txt"));
  if(dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
  {
    return;
  }
  const QString file_name = dialog.selectedFiles().front();
  d_results_directory = QFileInfo(file_name).absolutePath();
  QString error;
  if(!Write_Measurement_Text(file_name, &error))
  {
    emit Status_Message(tr("Results not saved: %1").arg(error));
    QMessageBox::warning(this, tr("Save Measurement Text"),
                         tr("Cannot write '%1': %2.\nThe file was not changed.").arg(file_name, error));
    return;
  }
  emit Status_Message(tr("Results saved to %1").arg(QDir::toNativeSeparators(file_name)));
}

void TDisplayWidget::Measurement_Item_Clicked(const double& x, const double& y, const double& z, int name)
{
  Q_UNUSED(x);
  Q_UNUSED(y);
  Q_UNUSED(z);
  if(name < 0)
  {
    Clear_Selection_Data();
    d_graphical_view->Clear_Selection();
    return;
  }
  d_graphical_view->Set_Selection(name);
  emit Item_Selected((name / 1000) * 1000, name % 1000);
}
