#include "src/gui/measurementdialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include "core/gui/windowsize.h"
#include "core/varlume_assert.h"
#include "src/gui/editorbuttons.h"
#include "src/gui/measurementeditors.h"

namespace
{
const char* const HELP_TEXT =
    R"(<p><span style=" font-weight:600; text-decoration: underline;">Variable Help</span></p>)"
    R"(<p>Values can be entered as static constants or can be the result of an expression. The following variables are available to expressions:</p>)"
    R"(<p><span style=" font-weight:600;">XMin, YMin, ZMin:</span> Minimum coordinate values of the machine volume.</p>)"
    R"(<p><span style=" font-weight:600;">XMax, YMax, ZMax:</span> Maximum coordinate values of the machine volume.</p>)"
    R"(<p><span style=" font-weight:600;">XMid, YMid, ZMid:</span> Center coordinate values of the machine volume.</p>)"
    R"(<p><span style=" font-weight:600;">AxisMin, AxisMax:</span> Minimum and maximum axis length of machine volume.</p>)"
    R"(<p><span style=" font-weight:600;">L, R:</span> Measurement item nominal length or radius for MCG or ball bar.</p>)"
    R"(   <p><span style=" font-weight:600;">I, J, K:</span> Nominal IJK axis for ball bar.</p>)";
}

TMeasurementDialog::TMeasurementDialog(QWidget* parent, Qt::WindowFlags flags) : QDialog(parent, flags)
{
  QGridLayout* layout = new QGridLayout(this);

  d_tab_widget = new QTabWidget(this);
  d_tab_widget->setMinimumWidth(350);
  d_editor_laser = new TEditor_Laser();
  d_editor_iso = new TEditor_ISO();
  d_editor_mcg = new TEditor_MCG();
  d_editor_ballbar = new TEditor_Ballbar();
  d_tab_widget->addTab(d_editor_laser, tr("Laser"));
  d_tab_widget->addTab(d_editor_iso, tr("ISO 10360-2"));
  d_tab_widget->addTab(d_editor_mcg, tr("MCG"));
  d_tab_widget->addTab(d_editor_ballbar, tr("Ball Bar"));
  d_tab_widget->setCurrentIndex(0);
  layout->addWidget(d_tab_widget, 0, 0);

  d_help_label = new QLabel(QLatin1String(HELP_TEXT), this);
  d_help_label->setWordWrap(true);
  d_help_label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  layout->addWidget(d_help_label, 0, 1);
  layout->setColumnStretch(0, 3);
  layout->setColumnStretch(1, 2);

  Add_Cancel_Accept_Row(this, layout, 1, &d_cancel_button, &d_accept_button);

  setWindowTitle(tr("Measurement Editor"));
  Resize_Within_Screen(this, QSize(751, 701));

  connect(d_cancel_button, &QPushButton::clicked, this, &QDialog::reject);
  connect(d_accept_button, &QPushButton::clicked, this, &TMeasurementDialog::Accept_Clicked);
}

void TMeasurementDialog::Remove_Measurement(int id)
{
  if(d_library.Remove_Measurement(id))
  {
    emit Update_Measurement_Display();
  }
}

TMeasurementEditor* TMeasurementDialog::Editor(Types::TMeasurementType type) const
{
  switch(type)
  {
  case Types::MEASUREMENT_ISO:
    return d_editor_iso;
  case Types::MEASUREMENT_LASER:
    return d_editor_laser;
  case Types::MEASUREMENT_MCG:
    return d_editor_mcg;
  case Types::MEASUREMENT_BALLBAR:
    return d_editor_ballbar;
  }
  return nullptr;
}

void TMeasurementDialog::Reset(const QString& name, const QString& template_name)
{
  d_current_measurement_id = Measurement_Id(name);
  Update_Editor(Measurement_Id(template_name));

  const Types::TMeasurementType types[] = {Types::MEASUREMENT_LASER, Types::MEASUREMENT_ISO, Types::MEASUREMENT_MCG,
                                           Types::MEASUREMENT_BALLBAR};
  if(d_current_measurement_id < 0)
  {
    for(int index = 0; index < d_tab_widget->count(); ++index)
    {
      d_tab_widget->setTabEnabled(index, true);
    }
    // The template names the form of its kind; the others propose a name of their own kind.
    const TMeasurement* model = Measurement(Measurement_Id(template_name));
    for(const Types::TMeasurementType type : types)
    {
      TMeasurementEditor* editor = Editor(type);
      editor->Enable_Name(true);
      const bool other_kind = model && model->Type() != type;
      editor->Set_Name(Generate_Unique_Name(type, other_kind ? editor->Default_Name() : editor->Name(), -1));
    }
    d_cancel_button->setText(tr("Close"));
    d_accept_button->setText(tr("Create"));
    // Return in a field must not add a measurement.
    d_accept_button->setDefault(false);
    return;
  }

  for(int index = 0; index < d_tab_widget->count(); ++index)
  {
    d_tab_widget->setTabEnabled(index, false);
  }
  for(const Types::TMeasurementType type : types)
  {
    Editor(type)->Enable_Name(false);
  }
  d_cancel_button->setText(tr("Cancel"));
  d_accept_button->setText(tr("Accept"));
  d_accept_button->setDefault(true);
  Update_Editor(d_current_measurement_id);
}

void TMeasurementDialog::Update_Editor(int id)
{
  TMeasurement* measurement = Measurement(id);
  if(!measurement)
  {
    return;
  }

  for(const Types::TMeasurementType type :
      {Types::MEASUREMENT_LASER, Types::MEASUREMENT_ISO, Types::MEASUREMENT_MCG, Types::MEASUREMENT_BALLBAR})
  {
    Editor(type)->Set_Name(measurement->d_name);
  }

  TMeasurementEditor* editor = Editor(measurement->Type());
  editor->Set_Probe_Offset(measurement->d_probe_offset);
  // The expression fields, as the library file lists them.
  for(const TMeasurementField& field : Measurement_Fields(*measurement))
  {
    if(field.text)
    {
      QLineEdit* edit = editor->Field_Edit(field.element);
      VARLUME_ASSERT(edit);
      edit->setText(*field.text);
    }
  }

  d_tab_widget->setTabEnabled(d_tab_widget->indexOf(editor), true);
  d_tab_widget->setCurrentWidget(editor);
}

void TMeasurementDialog::Update_Measurement(int id)
{
  TMeasurement* measurement = Measurement(id);
  if(!measurement)
  {
    return;
  }

  // Texts are kept exactly as typed: they are expressions, evaluated at simulation time.
  const TMeasurementEditor* editor = Editor(measurement->Type());
  measurement->d_name = editor->Name();
  measurement->d_probe_offset = editor->Probe_Offset();
  for(const TMeasurementField& field : Measurement_Fields(*measurement))
  {
    if(field.text)
    {
      const QLineEdit* edit = editor->Field_Edit(field.element);
      VARLUME_ASSERT(edit);
      *field.text = edit->text();
    }
  }
}

void TMeasurementDialog::Create_Measurement(TMeasurementEditor* editor, std::unique_ptr<TMeasurement> measurement)
{
  const Types::TMeasurementType type = measurement->Type();
  const QString name = Generate_Unique_Name(type, editor->Name(), -1);
  editor->Set_Name(name);

  measurement->d_name = name;
  const int id = d_library.Append_Measurement(std::move(measurement))->d_id;
  Update_Measurement(id);

  // The name just used is taken now: this gives the next free one.
  editor->Set_Name(Generate_Unique_Name(type, name, -1));
}

void TMeasurementDialog::Create_Ballbar_Measurement()
{
  Create_Measurement(d_editor_ballbar, std::make_unique<TMeasurement_Ballbar>());
}

void TMeasurementDialog::Create_ISO_Measurement()
{
  Create_Measurement(d_editor_iso, std::make_unique<TMeasurement_ISO>());
}

void TMeasurementDialog::Create_Laser_Measurement()
{
  Create_Measurement(d_editor_laser, std::make_unique<TMeasurement_Laser>());
}

void TMeasurementDialog::Create_MCG_Measurement()
{
  Create_Measurement(d_editor_mcg, std::make_unique<TMeasurement_MCG>());
}

void TMeasurementDialog::Accept_Clicked()
{
  d_library.Set_Modified(true);

  if(d_current_measurement_id >= 0)
  {
    Update_Measurement(d_current_measurement_id);
    accept();
    return;
  }

  QWidget* current = d_tab_widget->currentWidget();
  if(current == d_editor_ballbar)
  {
    Create_Ballbar_Measurement();
  }
  else if(current == d_editor_iso)
  {
    Create_ISO_Measurement();
  }
  else if(current == d_editor_laser)
  {
    Create_Laser_Measurement();
  }
  else if(current == d_editor_mcg)
  {
    Create_MCG_Measurement();
  }
  emit Update_Measurement_Display();
}
