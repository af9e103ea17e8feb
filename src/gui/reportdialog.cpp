#include "src/gui/reportdialog.h"

#include <QDate>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

#include "core/gui/numberfield.h"
#include "core/safefile.h"
#include "src/gui/reportpdf.h"

namespace
{
using Calibration_Report::TInfo;

QString Settings_Key(const TInfo::TField& field)
{
  return QStringLiteral("report/%1").arg(QLatin1String(field.key));
}
} // namespace

TReportDialog::TReportDialog(const QString& settings_file, QWidget* parent)
    : QDialog(parent), d_settings_file(settings_file)
{
  setWindowTitle(tr("Export Report"));
  QFormLayout* form = new QFormLayout();
  const QSettings settings(d_settings_file, QSettings::IniFormat);
  for(const TInfo::TField& field : TInfo::Fields())
  {
    QLineEdit* edit = new QLineEdit(this);
    edit->setObjectName(QLatin1String(field.key));
    edit->setText(settings.value(Settings_Key(field)).toString());
    const QString key = QLatin1String(field.key);
    edit->setPlaceholderText(key == QLatin1String("report_number")      ? tr("made from the date and the inputs")
                             : key == QLatin1String("measurement_date") ? tr("not stated (YYYY-MM-DD)")
                                                                        : tr("not stated"));
    if(field.number)
    {
      connect(edit, &QLineEdit::textChanged, edit,
              [edit](const QString& text)
              { NumberField::Mark(edit, !text.trimmed().isEmpty() && !NumberField::Is_Finite_Number(text)); });
    }
    form->addRow(QString::fromUtf8(field.label) + QLatin1Char(':'), edit);
    d_edits.push_back(edit);
  }
  d_message_label = new QLabel(this);
  d_message_label->setWordWrap(true);
  d_message_label->setText(tr("The report of the active machine and the selected measurements, decided with the "
                              "Plots tab's test set-up U and rule."));

  QDialogButtonBox* buttons = new QDialogButtonBox(this);
  QPushButton* load_button = buttons->addButton(tr("Load Facts..."), QDialogButtonBox::ActionRole);
  load_button->setToolTip(tr("Fill the fields from a JSON file (as varlume-batch report --info reads it)"));
  QPushButton* save_button = buttons->addButton(tr("Save Facts..."), QDialogButtonBox::ActionRole);
  save_button->setToolTip(tr("Save the fields as the JSON file varlume-batch report --info reads"));
  QPushButton* export_button = buttons->addButton(tr("Export PDF..."), QDialogButtonBox::AcceptRole);
  export_button->setObjectName(QStringLiteral("export_button"));
  buttons->addButton(QDialogButtonBox::Close);

  QVBoxLayout* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(d_message_label);
  layout->addWidget(buttons);
  resize(620, sizeHint().height());

  connect(load_button, &QPushButton::clicked, this, &TReportDialog::Load_Info);
  connect(save_button, &QPushButton::clicked, this, &TReportDialog::Save_Info);
  connect(export_button, &QPushButton::clicked, this, &TReportDialog::Export_Pdf);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void TReportDialog::Set_Inputs(const TMachineLibrary::TMachineItem& machine,
                               const std::vector<const TMeasurement*>& records, const Conformity::TOptions& options,
                               const QStringList& libraries)
{
  d_libraries = libraries;
  d_machine = machine;
  d_records = records;
  d_options = options;
}

TInfo TReportDialog::Info() const
{
  TInfo info;
  for(std::size_t i = 0; i < d_edits.size(); ++i)
  {
    info.Set(TInfo::Fields()[i].key, d_edits[i]->text().trimmed());
  }
  return info;
}

void TReportDialog::Set_Info(const TInfo& info)
{
  for(std::size_t i = 0; i < d_edits.size(); ++i)
  {
    d_edits[i]->setText(info.Value(TInfo::Fields()[i].key));
  }
}

void TReportDialog::Remember() const
{
  QSettings settings(d_settings_file, QSettings::IniFormat);
  for(std::size_t i = 0; i < d_edits.size(); ++i)
  {
    settings.setValue(Settings_Key(TInfo::Fields()[i]), d_edits[i]->text());
  }
}

bool TReportDialog::Writable(const QString& file_name)
{
  for(const QString& library : d_libraries)
  {
    if(SafeFile::Same_File(file_name, library))
    {
      d_message_label->setText(tr("\"%1\" is a library file: choose another name.").arg(file_name));
      return false;
    }
  }
  return true;
}

bool TReportDialog::Export(const QString& file_name)
{
  Remember();
  if(!Writable(file_name))
  {
    return false;
  }
  const TInfo info = Info();
  for(std::size_t i = 0; i < d_edits.size(); ++i)
  {
    if(TInfo::Fields()[i].number && info.Has(TInfo::Fields()[i].key) &&
       !NumberField::Is_Finite_Number(info.Value(TInfo::Fields()[i].key)))
    {
      d_message_label->setText(tr("%1 must be a number.").arg(QString::fromUtf8(TInfo::Fields()[i].label)));
      return false;
    }
  }
  Calibration_Report::TInputs inputs;
  inputs.machine = &d_machine;
  inputs.records = d_records;
  inputs.info = info;
  inputs.report_date = QDate::currentDate();
  if(!Conformity::Record_Mpe(d_machine, &d_options.mpe))
  {
    d_message_label->setText(tr("The machine has no MPE: enter \"E0, MPE\" in the machine editor."));
    return false;
  }
  inputs.conformity = Conformity::Simulated(d_machine, d_records, d_options);
  if(!inputs.conformity.ok)
  {
    d_message_label->setText(inputs.conformity.errors.join(QLatin1Char(' ')));
    return false;
  }
  QString error;
  if(!Report_Pdf::Write(Calibration_Report::Make(inputs), file_name, &error))
  {
    d_message_label->setText(error);
    return false;
  }
  d_message_label->setText(inputs.conformity.rows.empty()
                               ? tr("Written, but no ISO 10360-2 measurement is selected: the report says there is "
                                    "nothing to decide.")
                               : tr("Written: %1").arg(QDir::toNativeSeparators(file_name)));
  return true;
}

void TReportDialog::Export_Pdf()
{
  const QString file_name = QFileDialog::getSaveFileName(
      this, tr("Export Report"), QDir(d_directory).filePath(d_machine.name + QStringLiteral(" report.pdf")),
      tr("PDF Files (*.pdf)"));
  if(file_name.isEmpty())
  {
    return;
  }
  d_directory = QFileInfo(file_name).absolutePath();
  Export(file_name);
}

void TReportDialog::Load_Info()
{
  const QString file_name =
      QFileDialog::getOpenFileName(this, tr("Load Facts"), d_directory, tr("JSON Files (*.json);;All Files (*)"));
  if(file_name.isEmpty())
  {
    return;
  }
  QFile file(file_name);
  TInfo info;
  QString error;
  QStringList warnings;
  if(!SafeFile::Source_Problem(file_name).isEmpty() || !file.open(QIODevice::ReadOnly) ||
     !Calibration_Report::Read_Info(file.readAll(), file_name, &info, &error, &warnings))
  {
    d_message_label->setText(error.isEmpty() ? tr("Cannot read %1.").arg(file_name) : error);
    return;
  }
  Set_Info(info);
  d_message_label->setText(warnings.isEmpty() ? tr("Loaded: %1").arg(file_name) : warnings.join(QLatin1Char(' ')));
}

void TReportDialog::Save_Info()
{
  const QString file_name = QFileDialog::getSaveFileName(this, tr("Save Facts"),
                                                         QDir(d_directory).filePath(QStringLiteral("report-info.json")),
                                                         tr("JSON Files (*.json)"));
  if(file_name.isEmpty() || !Writable(file_name))
  {
    return;
  }
  QString error;
  d_message_label->setText(SafeFile::Write_File(file_name, Calibration_Report::Info_Json(Info()), &error)
                               ? tr("Saved: %1").arg(file_name)
                               : tr("Cannot write %1: %2").arg(file_name, error));
}
