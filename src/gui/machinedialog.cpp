#include "src/gui/machinedialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <utility>

#include "core/gui/numberfield.h"
#include "core/gui/windowsize.h"
#include "src/gui/editorbuttons.h"
#include "src/gui/machineparameterwidget.h"
#include "src/model/conformity.h"
#include "src/model/propagation.h"
#include "src/model/textformat.h"

namespace
{
const char* const HEADER_TEXT =
    "<html><head/><body><p><span style=\" text-decoration: underline;\">Machine: %1</span></p></body></html>";
const char* const PARAMETERS_TEXT = "<html><head/><body><p><span style=\" text-decoration: "
                                    "underline;\">Machine Error Parameters:</span></p></body></html>";

QString Number_Text(double value)
{
  return QString("%1").arg(value, 0, 'f', 4);
}
} // namespace

TMachineDialog::TMachineDialog(QWidget* parent, Qt::WindowFlags flags) : QDialog(parent, flags)
{
  QGridLayout* layout = new QGridLayout(this);

  d_header_label = new QLabel(this);
  layout->addWidget(d_header_label, 0, 0, 1, 2);

  QGroupBox* kinematic_box = new QGroupBox(tr("Kinematic Order"), this);
  QVBoxLayout* kinematic_layout = new QVBoxLayout(kinematic_box);
  d_kinematic_xyz_radio = new QRadioButton(tr("Axis: X-Y-Z"), kinematic_box);
  d_kinematic_yxz_radio = new QRadioButton(tr("Axis: Y-X-Z"), kinematic_box);
  d_kinematic_xzy_radio = new QRadioButton(tr("Axis: X-Z-Y"), kinematic_box);
  d_kinematic_yzx_radio = new QRadioButton(tr("Axis: Y-Z-X"), kinematic_box);
  for(QRadioButton* radio :
      {d_kinematic_xyz_radio, d_kinematic_yxz_radio, d_kinematic_xzy_radio, d_kinematic_yzx_radio})
  {
    kinematic_layout->addWidget(radio);
  }
  kinematic_layout->addStretch();
  layout->addWidget(kinematic_box, 1, 0);

  QGroupBox* dimensions_box = new QGroupBox(tr("Axis Dimensions, Math, and Mechanical Origin"), this);
  QGridLayout* dimensions_layout = new QGridLayout(dimensions_box);
  const QString row_labels[FIELD_COUNT] = {tr("Axis Min X:"), tr("Axis Max X:"), tr("Math Origin X:"),
                                           tr("Mechanical Origin X:")};
  const char* const row_names[FIELD_COUNT] = {"axis_minimum", "axis_maximum", "math_origin", "mechanical_origin"};
  const QString axis_labels[3] = {QString(), tr("Y:"), tr("Z:")};
  for(int field = 0; field < FIELD_COUNT; ++field)
  {
    for(int axis = 0; axis < 3; ++axis)
    {
      QLabel* label = new QLabel(axis == 0 ? row_labels[field] : axis_labels[axis], dimensions_box);
      label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
      dimensions_layout->addWidget(label, field, axis * 2);

      QLineEdit* edit = new QLineEdit(dimensions_box);
      edit->setAlignment(Qt::AlignCenter);
      edit->setObjectName(QString("%1_%2").arg(QLatin1String(row_names[field])).arg(QChar("xyz"[axis])));
      label->setBuddy(edit);
      dimensions_layout->addWidget(edit, field, axis * 2 + 1);
      dimensions_layout->setColumnStretch(axis * 2 + 1, 1);
      d_vector_edits[field][axis] = edit;
    }
  }
  layout->addWidget(dimensions_box, 1, 1);
  layout->setColumnStretch(1, 1);

  // The maximum permissible error the machine is decided against, and what identification left.
  QGroupBox* conformity_box = new QGroupBox(tr("Conformity"), this);
  QGridLayout* conformity_layout = new QGridLayout(conformity_box);
  conformity_layout->addWidget(new QLabel(tr("E0, MPE: A + L/K, at most B"), conformity_box), 0, 0);
  const QString mpe_labels[3] = {tr("A:"), tr("K:"), tr("B:")};
  const QString mpe_units[3] = {tr("µm"), tr("(L in mm)"), tr("µm (empty: no cap)")};
  const char* const mpe_names[3] = {"mpe_a", "mpe_k", "mpe_b"};
  for(int field = 0; field < 3; ++field)
  {
    QLabel* label = new QLabel(mpe_labels[field], conformity_box);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QLineEdit* edit = new QLineEdit(conformity_box);
    edit->setObjectName(QLatin1String(mpe_names[field]));
    edit->setAlignment(Qt::AlignCenter);
    label->setBuddy(edit);
    conformity_layout->addWidget(label, 0, 1 + field * 3);
    conformity_layout->addWidget(edit, 0, 2 + field * 3);
    conformity_layout->addWidget(new QLabel(mpe_units[field], conformity_box), 0, 3 + field * 3);
    conformity_layout->setColumnStretch(2 + field * 3, 1);
    d_mpe_edits[field] = edit;
    connect(edit, &QLineEdit::textChanged, this, &TMachineDialog::Update_Conformity_Fields);
  }
  d_covariance_label = new QLabel(conformity_box);
  d_covariance_label->setObjectName(QStringLiteral("covariance_note"));
  d_covariance_label->setWordWrap(true);
  conformity_layout->addWidget(d_covariance_label, 1, 0, 1, 10);
  layout->addWidget(conformity_box, 2, 0, 1, 2);

  QLabel* parameters_label = new QLabel(QLatin1String(PARAMETERS_TEXT), this);
  layout->addWidget(parameters_label, 3, 0, 1, 2);

  d_parameter_tree = new QTreeWidget(this);
  d_parameter_tree->setColumnCount(1);
  d_parameter_tree->setRootIsDecorated(true);
  d_parameter_tree->setHeaderHidden(true);
  d_parameter_tree->setIndentation(12);
  d_parameter_tree->setSelectionMode(QAbstractItemView::NoSelection);
  d_parameter_tree->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  d_parameter_tree->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  layout->addWidget(d_parameter_tree, 4, 0, 1, 2);
  layout->setRowStretch(4, 1);

  Add_Cancel_Accept_Row(this, layout, 5, &d_cancel_button, &d_accept_button);

  setWindowTitle(tr("Machine Editor"));
  Resize_Within_Screen(this, QSize(801, 801));

  connect(d_cancel_button, &QPushButton::clicked, this, &QDialog::reject);
  connect(d_accept_button, &QPushButton::clicked, this, &TMachineDialog::Accept_Clicked);
  for(QRadioButton* radio :
      {d_kinematic_xyz_radio, d_kinematic_yxz_radio, d_kinematic_xzy_radio, d_kinematic_yzx_radio})
  {
    connect(radio, &QRadioButton::toggled, this, &TMachineDialog::Kinematic_Changed);
  }

  for(int axis = 0; axis < 3; ++axis)
  {
    for(int field : {FIELD_AXIS_MINIMUM, FIELD_AXIS_MAXIMUM})
    {
      connect(d_vector_edits[field][axis], &QLineEdit::textChanged, this, &TMachineDialog::Update_Position_Ranges);
    }
  }

  d_kinematic_yxz_radio->setChecked(true);
  Initialize_Parameter_Tree();
  Enable_Editing(false);
  d_parameter_tree->expandAll();
}

void TMachineDialog::Reset(const QString& name)
{
  d_header_label->setText(QString(QLatin1String(HEADER_TEXT)).arg(name.toHtmlEscaped()));
  d_current_machine_id = Machine_Id(name);
  Enable_Editing(d_current_machine_id >= 0);
  if(d_current_machine_id >= 0)
  {
    Update_Editor();
  }
}

void TMachineDialog::Enable_Editing(bool enabled)
{
  for(auto& field : d_vector_edits)
  {
    for(QLineEdit* edit : field)
    {
      edit->setEnabled(enabled);
    }
  }
  for(QRadioButton* radio :
      {d_kinematic_xyz_radio, d_kinematic_yxz_radio, d_kinematic_xzy_radio, d_kinematic_yzx_radio})
  {
    radio->setEnabled(enabled);
  }
  d_parameter_tree->setEnabled(enabled);
  for(QLineEdit* edit : d_mpe_edits)
  {
    edit->setEnabled(enabled);
  }
}

void TMachineDialog::Initialize_Parameter_Tree()
{
  d_parameter_tree->clear();

  const QStringList rotation = {tr("CCW = Pos"), tr("CW = Pos")};
  const QStringList scale = {tr("Laser > CMM = Pos"), tr("Laser < CMM = Pos")};

  // Axis headings in bold, so that the sixteen rows read as five groups.
  QFont heading_font = d_parameter_tree->font();
  heading_font.setBold(true);
  const auto add_axis_item = [&](int axis, const QString& title)
  {
    QTreeWidgetItem* item = new QTreeWidgetItem(d_parameter_tree, QStringList(title));
    item->setData(0, Qt::UserRole, axis);
    item->setFont(0, heading_font);
    return item;
  };

  const std::pair<int, QString> linear_axes[] = {
      {AXIS_X, tr("X Axis")}, {AXIS_Y, tr("Y Axis")}, {AXIS_Z, tr("Z Axis")}};
  for(const auto& [axis, title] : linear_axes)
  {
    QTreeWidgetItem* axis_item = add_axis_item(axis, title);
    Add_Parameter_Row(axis_item, tr("RX"), PARAMETER_RX, rotation, true);
    Add_Parameter_Row(axis_item, tr("RY"), PARAMETER_RY, rotation, true);
    Add_Parameter_Row(axis_item, tr("RZ"), PARAMETER_RZ, rotation, true);
    Add_Parameter_Row(axis_item, tr("Scale"), PARAMETER_SCALE, scale, true);
  }

  QTreeWidgetItem* squareness_item = add_axis_item(AXIS_SQUARENESS, tr("Squareness"));
  Add_Parameter_Row(squareness_item, tr("XY"), PARAMETER_QXY, {tr("X to Y > 90 = Pos"), tr("X to Y < 90 = Pos")},
                    false);
  Add_Parameter_Row(squareness_item, tr("YZ"), PARAMETER_QYZ, {tr("Y to Z > 90 = Pos"), tr("Y to Z < 90 = Pos")},
                    false);
  Add_Parameter_Row(squareness_item, tr("ZX"), PARAMETER_QZX, {tr("Z to X > 90 = Pos"), tr("Z to X < 90 = Pos")},
                    false);

  QTreeWidgetItem* d_axis_item = add_axis_item(AXIS_D, tr("D Axis"));
  Add_Parameter_Row(d_axis_item, tr("Deflection"), PARAMETER_DEFLECTION, rotation, false);

  Update_Position_Ranges();
}

void TMachineDialog::Update_Position_Ranges()
{
  for(int index = 0; index < d_parameter_tree->topLevelItemCount(); ++index)
  {
    QTreeWidgetItem* axis_item = d_parameter_tree->topLevelItem(index);
    const int axis = axis_item->data(0, Qt::UserRole).toInt();
    const int column = axis == AXIS_X ? 0 : axis == AXIS_Y ? 1 : axis == AXIS_Z ? 2 : -1;
    if(column < 0)
    {
      continue;
    }
    // A field that is not a number is stored as 0 on Accept; show the travel that would be.
    const double minimum = d_vector_edits[FIELD_AXIS_MINIMUM][column]->text().toDouble();
    const double maximum = d_vector_edits[FIELD_AXIS_MAXIMUM][column]->text().toDouble();
    for(int child = 0; child < axis_item->childCount(); ++child)
    {
      Row_Widget(axis_item->child(child))->Set_Position_Range(minimum, maximum);
    }
  }
}

void TMachineDialog::Add_Parameter_Row(QTreeWidgetItem* axis_item, const QString& title, int parameter,
                                       const QStringList& options, bool expressions)
{
  QTreeWidgetItem* item = new QTreeWidgetItem(axis_item);
  item->setData(0, Qt::UserRole, parameter);

  TMachineParameterWidget* widget = new TMachineParameterWidget();
  widget->Set_Title_Text(title);
  widget->Set_Sign_Options(options);
  widget->Enable_Expression_Editor(expressions);
  widget->Enable_Expressions(expressions);
  // Angles are in mm/m, the scale error in mm.
  widget->Set_Error_Unit(parameter == PARAMETER_SCALE ? QStringLiteral("mm") : QStringLiteral("mm/m"));
  widget->Set_Expression(expressions ? QStringLiteral("0.0000 * L") : QStringLiteral("0.0000"));
  d_parameter_tree->setItemWidget(item, 0, widget);
  // Any change of the row may take the covariance away: the note follows it.
  for(QLineEdit* edit : widget->findChildren<QLineEdit*>())
  {
    connect(edit, &QLineEdit::textChanged, this, &TMachineDialog::Update_Conformity_Fields);
  }
  for(QCheckBox* check : widget->findChildren<QCheckBox*>())
  {
    connect(check, &QCheckBox::toggled, this, &TMachineDialog::Update_Conformity_Fields);
  }
  for(QComboBox* combo : widget->findChildren<QComboBox*>())
  {
    connect(combo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &TMachineDialog::Update_Conformity_Fields);
  }
}

TMachineParameterWidget* TMachineDialog::Row_Widget(QTreeWidgetItem* item)
{
  return qobject_cast<TMachineParameterWidget*>(item->treeWidget()->itemWidget(item, 0));
}

TMachineDialog::TMachineParameterItem* TMachineDialog::Find_Parameter(TMachineItem* machine, int axis, int parameter)
{
  for(TMachineAxisItem& axis_item : machine->axes)
  {
    if(axis_item.axis != axis)
    {
      continue;
    }
    for(TMachineParameterItem& parameter_item : axis_item.parameters)
    {
      if(parameter_item.parameter == parameter)
      {
        return &parameter_item;
      }
    }
  }
  return nullptr;
}

bool TMachineDialog::D_Axis_Available() const
{
  return d_kinematic_xzy_radio->isChecked() || d_kinematic_yzx_radio->isChecked();
}

void TMachineDialog::Set_D_Axis_Available(bool available)
{
  for(int index = 0; index < d_parameter_tree->topLevelItemCount(); ++index)
  {
    QTreeWidgetItem* axis_item = d_parameter_tree->topLevelItem(index);
    if(axis_item->data(0, Qt::UserRole).toInt() != AXIS_D)
    {
      continue;
    }
    for(int child = 0; child < axis_item->childCount(); ++child)
    {
      TMachineParameterWidget* widget = Row_Widget(axis_item->child(child));
      widget->setEnabled(available);
      if(!available)
      {
        widget->Set_Option_Enabled(false);
      }
    }
    axis_item->setExpanded(available);
  }
}

void TMachineDialog::Update_Editor()
{
  TMachineItem* machine = d_library.Machine(d_current_machine_id);
  if(!machine)
  {
    return;
  }

  switch(machine->kinematic)
  {
  case KINEMATIC_XYZ:
    d_kinematic_xyz_radio->setChecked(true);
    break;
  case KINEMATIC_YXZ:
    d_kinematic_yxz_radio->setChecked(true);
    break;
  case KINEMATIC_XZY:
    d_kinematic_xzy_radio->setChecked(true);
    break;
  case KINEMATIC_YZX:
    d_kinematic_yzx_radio->setChecked(true);
    break;
  default:
    break;
  }

  TVector3* vectors[FIELD_COUNT] = {&machine->axis_minimum, &machine->axis_maximum, &machine->math_origin,
                                    &machine->mechanical_origin};
  for(int field = 0; field < FIELD_COUNT; ++field)
  {
    for(int axis = 0; axis < 3; ++axis)
    {
      d_vector_edits[field][axis]->setText(Number_Text((*vectors[field])(axis)));
    }
  }

  for(int index = 0; index < d_parameter_tree->topLevelItemCount(); ++index)
  {
    QTreeWidgetItem* axis_item = d_parameter_tree->topLevelItem(index);
    const int axis = axis_item->data(0, Qt::UserRole).toInt();
    for(int child = 0; child < axis_item->childCount(); ++child)
    {
      QTreeWidgetItem* item = axis_item->child(child);
      const TMachineParameterItem* parameter = Find_Parameter(machine, axis, item->data(0, Qt::UserRole).toInt());
      if(!parameter)
      {
        continue;
      }
      TMachineParameterWidget* widget = Row_Widget(item);
      widget->Set_Option_Enabled(parameter->enabled);
      // Any state but 0 gives the second sign: show it as the second option rather than as none.
      widget->Set_Sign_Option_Index(parameter->option_state == 0 ? 0 : 1);
      widget->Set_Expression(parameter->expression);
    }
  }

  Set_D_Axis_Available(D_Axis_Available());

  d_mpe_edits[0]->setText(machine->has_mpe ? Text::Shortest_Number(machine->mpe_a) : QString());
  d_mpe_edits[1]->setText(machine->has_mpe ? Text::Shortest_Number(machine->mpe_k) : QString());
  d_mpe_edits[2]->setText(machine->has_mpe && machine->mpe_has_b ? Text::Shortest_Number(machine->mpe_b) : QString());
  d_loaded_rows = Parameter_Rows();
  Update_Conformity_Fields();
}

QStringList TMachineDialog::Parameter_Rows() const
{
  QStringList rows;
  for(int index = 0; index < d_parameter_tree->topLevelItemCount(); ++index)
  {
    QTreeWidgetItem* axis_item = d_parameter_tree->topLevelItem(index);
    for(int child = 0; child < axis_item->childCount(); ++child)
    {
      const TMachineParameterWidget* widget = Row_Widget(axis_item->child(child));
      rows.push_back(QStringLiteral("%1 %2 %3")
                         .arg(widget->Is_Option_Enabled())
                         .arg(widget->Sign_Option_Index())
                         .arg(widget->Expression()));
    }
  }
  return rows;
}

QString TMachineDialog::Read_Mpe(TMachineItem* machine) const
{
  const QString texts[3] = {d_mpe_edits[0]->text().trimmed(), d_mpe_edits[1]->text().trimmed(),
                            d_mpe_edits[2]->text().trimmed()};
  machine->has_mpe = !texts[0].isEmpty() || !texts[1].isEmpty() || !texts[2].isEmpty();
  if(!machine->has_mpe)
  {
    return QString();
  }
  bool numbers[3] = {false, false, false};
  const double a = texts[0].toDouble(&numbers[0]);
  const double k = texts[1].toDouble(&numbers[1]);
  const double b = texts[2].toDouble(&numbers[2]);
  machine->mpe_has_b = !texts[2].isEmpty();
  if(!numbers[0] || !numbers[1] || (machine->mpe_has_b && !numbers[2]))
  {
    return tr("E0, MPE: A and K must be numbers, B a number or empty.");
  }
  machine->mpe_a = a;
  machine->mpe_k = k;
  machine->mpe_b = machine->mpe_has_b ? b : 0.0;
  return Conformity::Mpe_Problem(a, k, machine->mpe_has_b, b);
}

void TMachineDialog::Update_Conformity_Fields()
{
  const TMachineItem* machine = d_library.Machine(d_current_machine_id);
  if(!machine)
  {
    return;
  }
  TMachineItem typed;
  const QString problem = Read_Mpe(&typed);
  for(QLineEdit* edit : d_mpe_edits)
  {
    NumberField::Mark(edit, !problem.isEmpty());
    edit->setToolTip(problem);
  }
  d_accept_button->setEnabled(problem.isEmpty());
  d_accept_button->setToolTip(problem);

  if(!Propagation::Has_Covariance(*machine))
  {
    d_covariance_label->setText(tr("No covariance: the parameters were not identified, or were edited since."));
  }
  else if(Parameter_Rows() != d_loaded_rows)
  {
    d_covariance_label->setText(tr("<b>An error parameter was edited: Accept drops the covariance of the %1 "
                                   "identified parameters.</b>")
                                    .arg(machine->covariance_labels.size()));
  }
  else
  {
    d_covariance_label->setText(tr("Covariance of %1 identified parameters (dropped when an error parameter is "
                                   "edited).")
                                    .arg(machine->covariance_labels.size()));
  }
}

void TMachineDialog::Kinematic_Changed(bool checked)
{
  // Each change toggles two buttons; the one switched on speaks for both.
  if(!checked || d_current_machine_id < 0)
  {
    return;
  }
  Set_D_Axis_Available(D_Axis_Available());
}

void TMachineDialog::Update_Machine()
{
  TMachineItem* machine = d_library.Machine(d_current_machine_id);
  if(!machine)
  {
    return;
  }

  if(d_kinematic_yxz_radio->isChecked())
  {
    machine->kinematic = KINEMATIC_YXZ;
  }
  else if(d_kinematic_xyz_radio->isChecked())
  {
    machine->kinematic = KINEMATIC_XYZ;
  }
  else if(d_kinematic_xzy_radio->isChecked())
  {
    machine->kinematic = KINEMATIC_XZY;
  }
  else if(d_kinematic_yzx_radio->isChecked())
  {
    machine->kinematic = KINEMATIC_YZX;
  }

  TVector3* vectors[FIELD_COUNT] = {&machine->axis_minimum, &machine->axis_maximum, &machine->math_origin,
                                    &machine->mechanical_origin};
  for(int field = 0; field < FIELD_COUNT; ++field)
  {
    for(int axis = 0; axis < 3; ++axis)
    {
      (*vectors[field])(axis) = d_vector_edits[field][axis]->text().toDouble();
    }
  }
  // The stored minimum is never above the maximum.
  for(int axis = 0; axis < 3; ++axis)
  {
    double& minimum = machine->axis_minimum(axis);
    double& maximum = machine->axis_maximum(axis);
    if(maximum < minimum)
    {
      std::swap(minimum, maximum);
    }
  }

  // A number row shows its value with 4 decimals: a row left as loaded keeps the stored value
  // (an identified squareness has more digits), rather than the rounded one it shows.
  const QStringList rows = Parameter_Rows();
  int row = 0;
  for(int index = 0; index < d_parameter_tree->topLevelItemCount(); ++index)
  {
    QTreeWidgetItem* axis_item = d_parameter_tree->topLevelItem(index);
    const int axis = axis_item->data(0, Qt::UserRole).toInt();
    for(int child = 0; child < axis_item->childCount(); ++child, ++row)
    {
      QTreeWidgetItem* item = axis_item->child(child);
      TMachineParameterItem* parameter = Find_Parameter(machine, axis, item->data(0, Qt::UserRole).toInt());
      if(!parameter)
      {
        continue;
      }
      const TMachineParameterWidget* widget = Row_Widget(item);
      parameter->enabled = widget->Is_Option_Enabled();
      parameter->option_state = widget->Sign_Option_Index();
      const bool unchanged = row < d_loaded_rows.size() && rows[row] == d_loaded_rows[row];
      if(!unchanged)
      {
        parameter->expression = widget->Expression();
      }
    }
  }
}

void TMachineDialog::Accept_Clicked()
{
  TMachineItem* machine = d_library.Machine(d_current_machine_id);
  if(machine)
  {
    TMachineItem typed;
    if(!Read_Mpe(&typed).isEmpty())
    {
      return;
    }
    // The covariance belongs to the parameters as identified: edited ones make it wrong.
    if(Parameter_Rows() != d_loaded_rows)
    {
      machine->covariance_labels.clear();
      machine->covariance.clear();
    }
    machine->has_mpe = typed.has_mpe;
    machine->mpe_a = typed.mpe_a;
    machine->mpe_k = typed.mpe_k;
    machine->mpe_has_b = typed.mpe_has_b;
    machine->mpe_b = typed.mpe_b;
  }
  Update_Machine();
  d_library.Set_Modified(true);
  accept();
}
