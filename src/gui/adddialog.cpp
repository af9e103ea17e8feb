#include "src/gui/adddialog.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpacerItem>

TAddDialog::TAddDialog(QWidget* parent, Qt::WindowFlags flags) : QDialog(parent, flags), d_type(TYPE_MACHINE)
{
  QGridLayout* layout = new QGridLayout(this);

  d_name_label = new QLabel(tr("Name:"), this);
  layout->addWidget(d_name_label, 0, 0);

  d_name_edit = new QLineEdit(this);
  d_name_label->setBuddy(d_name_edit);
  layout->addWidget(d_name_edit, 0, 1);

  QFrame* line = new QFrame(this);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  layout->addWidget(line, 1, 0, 1, 2);

  d_reason_label = new QLabel(this);
  d_reason_label->setObjectName(QStringLiteral("reason_label"));
  d_reason_label->setWordWrap(true);
  d_reason_label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  layout->addWidget(d_reason_label, 2, 0, 1, 2);
  layout->setRowStretch(2, 1);

  QHBoxLayout* button_layout = new QHBoxLayout();
  button_layout->addItem(new QSpacerItem(0, 0, QSizePolicy::Expanding, QSizePolicy::Minimum));
  QPushButton* cancel_button = new QPushButton(tr("Cancel"), this);
  cancel_button->setAutoDefault(false);
  button_layout->addWidget(cancel_button);
  d_add_button = new QPushButton(tr("Add"), this);
  d_add_button->setDefault(true);
  d_add_button->setEnabled(false);
  button_layout->addWidget(d_add_button);
  layout->addLayout(button_layout, 3, 0, 1, 2);

  setWindowTitle(tr("Add Item"));
  resize(288, 142);

  connect(d_name_edit, &QLineEdit::textEdited, this, &TAddDialog::Name_Changed);
  connect(d_add_button, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel_button, &QPushButton::clicked, this, &QDialog::reject);
}

void TAddDialog::Reset(TType type, const QStringList& names)
{
  d_add_button->setEnabled(false);
  d_reason_label->setText(tr("Type a name."));
  d_name_edit->clear();
  d_name_edit->setFocus();
  d_type = type;
  d_names = names;

  if(type == TYPE_MACHINE)
  {
    setWindowTitle(tr("Add Machine"));
    d_name_label->setText(tr("Machine Name:"));
  }
  else
  {
    setWindowTitle(tr("Add Measurement"));
    d_name_label->setText(tr("Measurement Name:"));
  }
}

QString TAddDialog::Name() const
{
  return d_name_edit->text();
}

void TAddDialog::Name_Changed(const QString& text)
{
  // The libraries look names up case-insensitively and simplify white space, so "bridge" beside
  // "Bridge", or a name of blanks, would give an entry that can never be selected again.
  const QString name = text.simplified();
  QString reason = name.isEmpty() ? tr("Type a name.") : QString();
  for(const QString& existing : d_names)
  {
    if(reason.isEmpty() && QString::compare(existing.simplified(), name, Qt::CaseInsensitive) == 0)
    {
      reason =
          tr("\"%1\" is in use already (names differing only in case or spacing count as the same).").arg(existing);
    }
  }
  d_add_button->setEnabled(reason.isEmpty());
  d_reason_label->setText(reason);
}
