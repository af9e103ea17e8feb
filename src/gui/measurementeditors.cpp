#include "src/gui/measurementeditors.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpacerItem>

#include <cstring>

#include "core/gui/numberfield.h"

TMeasurementEditor::TMeasurementEditor(const QString& default_name, QWidget* parent, Qt::WindowFlags flags)
    : QWidget(parent, flags), d_default_name(default_name)
{
  d_layout = new QGridLayout(this);
  d_layout->setColumnStretch(2, 1);
  d_name_edit = Add_Field(tr("Name:"), QString(), default_name);
  // The name is not measurement data: editing it is not a change of the measurement's shape.
  disconnect(d_name_edit, &QLineEdit::textEdited, this, &TMeasurementEditor::Data_Changed);
}

QLineEdit* TMeasurementEditor::Add_Field(const QString& group, const QString& axis, const QString& text)
{
  if(!group.isEmpty())
  {
    QLabel* group_label = new QLabel(group, this);
    group_label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    d_layout->addWidget(group_label, d_row, 0);
  }
  QLabel* axis_label = nullptr;
  if(!axis.isEmpty())
  {
    axis_label = new QLabel(axis, this);
    axis_label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    d_layout->addWidget(axis_label, d_row, 1);
  }

  QLineEdit* edit = new QLineEdit(text, this);
  d_layout->addWidget(edit, d_row, 2);
  if(axis_label)
  {
    axis_label->setBuddy(edit);
  }
  connect(edit, &QLineEdit::textEdited, this, &TMeasurementEditor::Data_Changed);
  ++d_row;
  return edit;
}

void TMeasurementEditor::Add_Vector_Fields(const QString& group, const QString& x, const QString& y, const QString& z,
                                           QLineEdit* edits[3], const char* axis_names)
{
  const QString texts[3] = {x, y, z};
  for(int axis = 0; axis < 3; ++axis)
  {
    edits[axis] =
        Add_Field(axis == 0 ? group : QString(), QString("%1:").arg(QLatin1Char(axis_names[axis])), texts[axis]);
  }
}

void TMeasurementEditor::Finish_Form()
{
  Add_Vector_Fields(tr("Probe Offset:"), QStringLiteral("0.000"), QStringLiteral("0.000"), QStringLiteral("-75.000"),
                    d_probe_offset_edits);
  // The probe offset is a plain number, not an expression.
  for(QLineEdit* edit : d_probe_offset_edits)
  {
    connect(edit, &QLineEdit::textChanged, edit,
            [edit](const QString& text) { NumberField::Mark(edit, !NumberField::Is_Finite_Number(text)); });
  }
  d_layout->addItem(new QSpacerItem(0, 0, QSizePolicy::Minimum, QSizePolicy::Expanding), d_row, 0, 1, 3);
}

QString TMeasurementEditor::Name() const
{
  return d_name_edit->text();
}

void TMeasurementEditor::Set_Name(const QString& text)
{
  d_name_edit->setText(text);
}

void TMeasurementEditor::Enable_Name(bool enabled)
{
  d_name_edit->setEnabled(enabled);
}

TVector3 TMeasurementEditor::Probe_Offset() const
{
  return TVector3(d_probe_offset_edits[0]->text().toDouble(), d_probe_offset_edits[1]->text().toDouble(),
                  d_probe_offset_edits[2]->text().toDouble());
}

void TMeasurementEditor::Set_Probe_Offset(const TVector3& offset)
{
  for(int axis = 0; axis < 3; ++axis)
  {
    d_probe_offset_edits[axis]->setText(QString("%1").arg(offset(axis), 0, 'f', 4));
  }
}

void TMeasurementEditor::Name_Field(const char* element, QLineEdit* edit)
{
  d_named_fields.emplace_back(element, edit);
}

void TMeasurementEditor::Name_Fields(const char* x, const char* y, const char* z, QLineEdit* const edits[3])
{
  Name_Field(x, edits[0]);
  Name_Field(y, edits[1]);
  Name_Field(z, edits[2]);
}

QLineEdit* TMeasurementEditor::Field_Edit(const char* element) const
{
  for(const auto& field : d_named_fields)
  {
    if(std::strcmp(field.first, element) == 0)
    {
      return field.second;
    }
  }
  return nullptr;
}

TEditor_Ballbar::TEditor_Ballbar(QWidget* parent, Qt::WindowFlags flags)
    : TMeasurementEditor(QStringLiteral("Ballbar 1"), parent, flags)
{
  d_length_edit = Add_Field(tr("Length:"), QString(), QStringLiteral("AxisMin - 100"));
  Add_Vector_Fields(tr("Center Position:"), QStringLiteral("XMid"), QStringLiteral("YMid"), QStringLiteral("ZMid"),
                    d_position_edits);
  Add_Vector_Fields(tr("Direction Vector:"), QStringLiteral("1.000"), QStringLiteral("0.000"), QStringLiteral("0.000"),
                    d_direction_edits, "IJK");
  Name_Field("Length", d_length_edit);
  Name_Fields("Position_X", "Position_Y", "Position_Z", d_position_edits);
  Name_Fields("Direction_I", "Direction_J", "Direction_K", d_direction_edits);
  Finish_Form();
}

QString TEditor_Ballbar::Length() const
{
  return d_length_edit->text();
}
QString TEditor_Ballbar::Position_X() const
{
  return d_position_edits[0]->text();
}
QString TEditor_Ballbar::Position_Y() const
{
  return d_position_edits[1]->text();
}
QString TEditor_Ballbar::Position_Z() const
{
  return d_position_edits[2]->text();
}
QString TEditor_Ballbar::Direction_I() const
{
  return d_direction_edits[0]->text();
}
QString TEditor_Ballbar::Direction_J() const
{
  return d_direction_edits[1]->text();
}
QString TEditor_Ballbar::Direction_K() const
{
  return d_direction_edits[2]->text();
}

void TEditor_Ballbar::Set_Length(const QString& text)
{
  d_length_edit->setText(text);
}
void TEditor_Ballbar::Set_Position_X(const QString& text)
{
  d_position_edits[0]->setText(text);
}
void TEditor_Ballbar::Set_Position_Y(const QString& text)
{
  d_position_edits[1]->setText(text);
}
void TEditor_Ballbar::Set_Position_Z(const QString& text)
{
  d_position_edits[2]->setText(text);
}
void TEditor_Ballbar::Set_Direction_I(const QString& text)
{
  d_direction_edits[0]->setText(text);
}
void TEditor_Ballbar::Set_Direction_J(const QString& text)
{
  d_direction_edits[1]->setText(text);
}
void TEditor_Ballbar::Set_Direction_K(const QString& text)
{
  d_direction_edits[2]->setText(text);
}

void TLineEditor::Add_Line_Fields(const QString& start_y, const QString& start_z, const QString& end_y,
                                  const QString& end_z)
{
  Add_Vector_Fields(tr("Start Position:"), QStringLiteral("XMin"), start_y, start_z, d_start_edits);
  Add_Vector_Fields(tr("End Position"), QStringLiteral("XMax"), end_y, end_z, d_end_edits);
  Name_Fields("Start_Position_X", "Start_Position_Y", "Start_Position_Z", d_start_edits);
  Name_Fields("End_Position_X", "End_Position_Y", "End_Position_Z", d_end_edits);
}

QString TLineEditor::Start_Position_X() const
{
  return d_start_edits[0]->text();
}
QString TLineEditor::Start_Position_Y() const
{
  return d_start_edits[1]->text();
}
QString TLineEditor::Start_Position_Z() const
{
  return d_start_edits[2]->text();
}
QString TLineEditor::End_Position_X() const
{
  return d_end_edits[0]->text();
}
QString TLineEditor::End_Position_Y() const
{
  return d_end_edits[1]->text();
}
QString TLineEditor::End_Position_Z() const
{
  return d_end_edits[2]->text();
}

void TLineEditor::Set_Start_Position_X(const QString& text)
{
  d_start_edits[0]->setText(text);
}
void TLineEditor::Set_Start_Position_Y(const QString& text)
{
  d_start_edits[1]->setText(text);
}
void TLineEditor::Set_Start_Position_Z(const QString& text)
{
  d_start_edits[2]->setText(text);
}
void TLineEditor::Set_End_Position_X(const QString& text)
{
  d_end_edits[0]->setText(text);
}
void TLineEditor::Set_End_Position_Y(const QString& text)
{
  d_end_edits[1]->setText(text);
}
void TLineEditor::Set_End_Position_Z(const QString& text)
{
  d_end_edits[2]->setText(text);
}

TEditor_ISO::TEditor_ISO(QWidget* parent, Qt::WindowFlags flags) : TLineEditor(QStringLiteral("ISO 1"), parent, flags)
{
  // The ISO length runs corner to corner; the laser along the middle of the volume.
  Add_Line_Fields(QStringLiteral("YMin"), QStringLiteral("ZMin"), QStringLiteral("YMax"), QStringLiteral("ZMax"));
  Finish_Form();
}

TEditor_Laser::TEditor_Laser(QWidget* parent, Qt::WindowFlags flags)
    : TLineEditor(QStringLiteral("Laser 1"), parent, flags)
{
  Add_Line_Fields(QStringLiteral("YMid"), QStringLiteral("ZMid"), QStringLiteral("YMid"), QStringLiteral("ZMid"));
  d_increment_edit = Add_Field(tr("Increment:"), QString(), QStringLiteral("50"));
  Name_Field("Increment", d_increment_edit);
  Finish_Form();
}

QString TEditor_Laser::Increment() const
{
  return d_increment_edit->text();
}
void TEditor_Laser::Set_Increment(const QString& text)
{
  d_increment_edit->setText(text);
}

TEditor_MCG::TEditor_MCG(QWidget* parent, Qt::WindowFlags flags)
    : TMeasurementEditor(QStringLiteral("MCG 1"), parent, flags)
{
  d_length_edit = Add_Field(tr("Arm Length:"), QString(), QStringLiteral("300"));
  Add_Vector_Fields(tr("Center Position:"), QStringLiteral("XMid"), QStringLiteral("YMid"),
                    QStringLiteral("ZMin + 300"), d_position_edits);
  d_start_elevation_edit = Add_Field(tr("Start Elevation:"), QString(), QStringLiteral("-45"));
  d_end_elevation_edit = Add_Field(tr("End Elevation:"), QString(), QStringLiteral("45"));
  d_elevation_count_edit = Add_Field(tr("Elevation Count:"), QString(), QStringLiteral("3"));
  d_azimuth_count_edit = Add_Field(tr("Azimuth Count:"), QString(), QStringLiteral("8"));
  Name_Field("Length", d_length_edit);
  Name_Fields("Position_X", "Position_Y", "Position_Z", d_position_edits);
  Name_Field("Start_Elevation", d_start_elevation_edit);
  Name_Field("End_Elevation", d_end_elevation_edit);
  Name_Field("Elevation_Count", d_elevation_count_edit);
  Name_Field("Azimuth_Count", d_azimuth_count_edit);
  Finish_Form();
}

QString TEditor_MCG::Length() const
{
  return d_length_edit->text();
}
QString TEditor_MCG::Position_X() const
{
  return d_position_edits[0]->text();
}
QString TEditor_MCG::Position_Y() const
{
  return d_position_edits[1]->text();
}
QString TEditor_MCG::Position_Z() const
{
  return d_position_edits[2]->text();
}
QString TEditor_MCG::Start_Elevation() const
{
  return d_start_elevation_edit->text();
}
QString TEditor_MCG::End_Elevation() const
{
  return d_end_elevation_edit->text();
}
QString TEditor_MCG::Elevation_Count() const
{
  return d_elevation_count_edit->text();
}
QString TEditor_MCG::Azimuth_Count() const
{
  return d_azimuth_count_edit->text();
}

void TEditor_MCG::Set_Length(const QString& text)
{
  d_length_edit->setText(text);
}
void TEditor_MCG::Set_Position_X(const QString& text)
{
  d_position_edits[0]->setText(text);
}
void TEditor_MCG::Set_Position_Y(const QString& text)
{
  d_position_edits[1]->setText(text);
}
void TEditor_MCG::Set_Position_Z(const QString& text)
{
  d_position_edits[2]->setText(text);
}
void TEditor_MCG::Set_Start_Elevation(const QString& text)
{
  d_start_elevation_edit->setText(text);
}
void TEditor_MCG::Set_End_Elevation(const QString& text)
{
  d_end_elevation_edit->setText(text);
}
void TEditor_MCG::Set_Elevation_Count(const QString& text)
{
  d_elevation_count_edit->setText(text);
}
void TEditor_MCG::Set_Azimuth_Count(const QString& text)
{
  d_azimuth_count_edit->setText(text);
}
