#include "src/gui/compensationdialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core/gui/windowsize.h"
#include "core/safefile.h"
#include "src/gui/checklist.h"
#include "src/gui/compensationchart.h"
#include "src/gui/machinedialog.h"
#include "src/gui/measurementdialog.h"
#include "src/gui/plotcharts.h"
#include "src/gui/plotswidget.h"
#include "src/model/evaluation.h"
#include "src/model/plotseries.h"
#include "src/model/textformat.h"

namespace
{
// The largest travel any field takes (mm); beyond it a typing error.
const double LARGEST_OFFSET = 100000.0;

QTableWidgetItem* Cell(const QString& text, bool number)
{
  QTableWidgetItem* item = new QTableWidgetItem(text);
  item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
  if(number)
  {
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  }
  return item;
}

QString Micrometres(double value)
{
  return std::isinf(value) ? QStringLiteral("inf") : Text::Number(value, 0, 3);
}

QTableWidget* Table(const QStringList& heads, QWidget* parent)
{
  QTableWidget* table = new QTableWidget(0, heads.size(), parent);
  table->setHorizontalHeaderLabels(heads);
  table->horizontalHeader()->setStretchLastSection(true);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->verticalHeader()->setVisible(false);
  return table;
}

QComboBox* Machine_Box(QWidget* parent, const char* name)
{
  QComboBox* box = new QComboBox(parent);
  box->setObjectName(QLatin1String(name));
  box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  box->setMinimumContentsLength(12);
  return box;
}
} // namespace

TCompensationDialog::TCompensationDialog(TMachineDialog* machines, TMeasurementDialog* measurements, QWidget* parent)
    : QDialog(parent), d_machines(machines), d_measurements(measurements)
{
  setWindowTitle(tr("Compensation"));

  QWidget* form = Setup_Form();
  QWidget* output = Setup_Output();
  QSplitter* splitter = new QSplitter(Qt::Horizontal, this);
  splitter->addWidget(form);
  splitter->addWidget(output);
  splitter->setStretchFactor(0, 0);
  splitter->setStretchFactor(1, 1);
  // The form needs no more than its fields; the results take the rest.
  form->setMaximumWidth(420);
  splitter->setSizes({340, 840});

  QDialogButtonBox* buttons = new QDialogButtonBox(this);
  d_compute_button = buttons->addButton(tr("Compute"), QDialogButtonBox::ActionRole);
  d_compute_button->setObjectName(QStringLiteral("compute_button"));
  d_files_button = buttons->addButton(tr("Save Files..."), QDialogButtonBox::ActionRole);
  d_files_button->setToolTip(tr("Write the tables a controller loads (tables.csv, constants.csv, grid.csv, "
                                "pitch.csv) into a folder; they hold errors, the controller applies their negative"));
  d_csv_button = buttons->addButton(tr("Save CSV..."), QDialogButtonBox::ActionRole);
  d_csv_button->setToolTip(tr("Write every row before and after each form as CSV"));
  QPushButton* close_button = buttons->addButton(QDialogButtonBox::Close);

  QVBoxLayout* layout = new QVBoxLayout(this);
  layout->addWidget(splitter, 1);
  layout->addWidget(buttons);
  Resize_Within_Screen(this, QSize(1200, 760));

  connect(d_compute_button, &QPushButton::clicked, this, &TCompensationDialog::Compute);
  connect(d_files_button, &QPushButton::clicked, this, &TCompensationDialog::Save_Files);
  connect(d_csv_button, &QPushButton::clicked, this, &TCompensationDialog::Save_Csv);
  connect(close_button, &QPushButton::clicked, this, &QDialog::reject);
  Reset(QString(), QStringList());
}

QWidget* TCompensationDialog::Setup_Form()
{
  QWidget* form = new QWidget(this);
  QVBoxLayout* form_layout = new QVBoxLayout(form);
  form_layout->setContentsMargins(0, 0, 0, 0);
  QGroupBox* machine_box = new QGroupBox(tr("Machines"), form);
  QFormLayout* machine_layout = new QFormLayout(machine_box);
  d_source_box = Machine_Box(machine_box, "source_box");
  d_source_box->setToolTip(tr("The machine whose errors the correction holds, usually an identified one"));
  d_against_box = Machine_Box(machine_box, "against_box");
  d_against_box->setToolTip(tr("The machine the correction runs on: the source itself shows what a form cannot "
                               "hold; in a simulation study, the true machine"));
  machine_layout->addRow(tr("Correction from:"), d_source_box);
  machine_layout->addRow(tr("Runs on:"), d_against_box);
  form_layout->addWidget(machine_box);

  QGroupBox* form_box = new QGroupBox(tr("Forms of correction"), form);
  QVBoxLayout* forms_layout = new QVBoxLayout(form_box);
  const QString tips[5] = {tr("The source's own error model"),
                           tr("Six components per carriage every spacing, through the kinematic chain, with the "
                              "squareness and deflection as constants"),
                           tr("Error vectors on a grid every spacing, for the probe offset below"),
                           tr("Each axis's scale error along its own direction (a pitch table per axis)"),
                           tr("The three squareness terms only")};
  for(int i = 0; i < 5; ++i)
  {
    d_form_boxes[i] = new QCheckBox(Compensation::Form_Name(Compensation::All_Forms()[i]), form_box);
    d_form_boxes[i]->setChecked(true);
    d_form_boxes[i]->setToolTip(tips[i]);
    forms_layout->addWidget(d_form_boxes[i]);
  }
  form_layout->addWidget(form_box);

  QGroupBox* option_box = new QGroupBox(tr("Tables and grid"), form);
  QFormLayout* option_layout = new QFormLayout(option_box);
  d_spacing_spin = new QDoubleSpinBox(option_box);
  d_spacing_spin->setObjectName(QStringLiteral("spacing_spin"));
  d_spacing_spin->setRange(0.0, LARGEST_OFFSET);
  d_spacing_spin->setDecimals(3);
  d_spacing_spin->setSuffix(tr(" mm"));
  d_spacing_spin->setSpecialValueText(tr("Default"));
  d_spacing_spin->setToolTip(tr("Step of the tables and the grid, at least %1 mm; by default the largest of 1 mm "
                                "and the longest travel / 50")
                                 .arg(Compensation::MINIMUM_SPACING));
  option_layout->addRow(tr("Spacing:"), d_spacing_spin);
  QWidget* probe = new QWidget(option_box);
  QHBoxLayout* probe_layout = new QHBoxLayout(probe);
  probe_layout->setContentsMargins(0, 0, 0, 0);
  for(QDoubleSpinBox*& spin : d_probe_spins)
  {
    spin = new QDoubleSpinBox(probe);
    spin->setRange(-LARGEST_OFFSET, LARGEST_OFFSET);
    spin->setDecimals(1);
    spin->setMinimumWidth(70);
    probe_layout->addWidget(spin);
  }
  probe->setToolTip(tr("Probe offset X, Y, Z in mm: the grid and the check grid hold for this offset"));
  option_layout->addRow(tr("Probe offset (mm):"), probe);
  form_layout->addWidget(option_box);

  QGroupBox* measurement_box = new QGroupBox(tr("Measurements simulated before and after"), form);
  QVBoxLayout* measurement_layout = new QVBoxLayout(measurement_box);
  d_measurement_list = new QListWidget(measurement_box);
  d_measurement_list->setObjectName(QStringLiteral("measurement_list"));
  measurement_layout->addWidget(d_measurement_list);
  form_layout->addWidget(measurement_box, 1);

  return form;
}

QWidget* TCompensationDialog::Setup_Output()
{
  QWidget* output = new QWidget(this);
  QVBoxLayout* output_layout = new QVBoxLayout(output);
  output_layout->setContentsMargins(0, 0, 0, 0);
  d_verdict_label = new QLabel(output);
  d_verdict_label->setObjectName(QStringLiteral("verdict_label"));
  d_verdict_label->setWordWrap(true);
  QFont bold = d_verdict_label->font();
  bold.setBold(true);
  d_verdict_label->setFont(bold);
  output_layout->addWidget(d_verdict_label);
  d_form_table = Table(
      {tr("Form"), tr("|E| before (µm)"), tr("|E| after (µm)"), tr("u after (µm, k = 1)"), tr("After correction")},
      output);
  d_form_table->setObjectName(QStringLiteral("form_table"));
  d_measurement_table = Table({tr("Form"), tr("Measurement"), tr("Kind"), tr("Rows"), tr("Largest |dev.| before (µm)"),
                               tr("Largest |dev.| after (µm)"), tr("Range before (µm)"), tr("Range after (µm)")},
                              output);
  d_measurement_table->setObjectName(QStringLiteral("measurement_table"));
  QWidget* tables = new QWidget(output);
  QVBoxLayout* tables_layout = new QVBoxLayout(tables);
  tables_layout->addWidget(new QLabel(
      tr("Check grid: %1 x %1 x %1 points over the travel at the probe offset").arg(Compensation::CHECK_POINTS),
      tables));
  tables_layout->addWidget(d_form_table, 1);
  tables_layout->addWidget(
      new QLabel(tr("Measurements: the largest |deviation| and the range of the deviations before and after"), tables));
  tables_layout->addWidget(d_measurement_table, 2);
  d_chart_view = new TPlotView(output);
  d_report_edit = new QPlainTextEdit(output);
  d_report_edit->setObjectName(QStringLiteral("report_edit"));
  d_report_edit->setReadOnly(true);
  d_report_edit->setLineWrapMode(QPlainTextEdit::NoWrap);
  // The report's columns line up only in a fixed-pitch font, whatever the platform's fixed font is.
  QFont fixed(QStringLiteral("monospace"));
  fixed.setStyleHint(QFont::TypeWriter);
  d_report_edit->setFont(fixed);
  QTabWidget* tabs = new QTabWidget(output);
  tabs->addTab(tables, tr("Before and After"));
  tabs->addTab(d_chart_view, tr("Chart"));
  tabs->addTab(d_report_edit, tr("Report"));
  output_layout->addWidget(tabs, 1);

  return output;
}

void TCompensationDialog::Reset(const QString& active_machine, const QStringList& selected)
{
  const QStringList names = d_machines->Machine_Names();
  for(QComboBox* box : {d_source_box, d_against_box})
  {
    box->clear();
    box->addItems(names);
    const int index = box->findText(active_machine);
    box->setCurrentIndex(index >= 0 ? index : 0);
  }
  Check_List::Fill(d_measurement_list, d_measurements->Measurement_Names(), selected);
  d_result = Compensation::TResult();
  d_computed = false;
  Show_Result();
}

Compensation::TOptions TCompensationDialog::Options() const
{
  Compensation::TOptions options;
  options.forms.clear();
  for(int i = 0; i < 5; ++i)
  {
    if(d_form_boxes[i]->isChecked())
    {
      options.forms.push_back(Compensation::All_Forms()[i]);
    }
  }
  options.spacing = d_spacing_spin->value();
  options.probe = TVector3(d_probe_spins[0]->value(), d_probe_spins[1]->value(), d_probe_spins[2]->value());
  options.jobs = Evaluation::Parse_Jobs(qEnvironmentVariable("VARLUME_JOBS"));
  return options;
}

QIcon TCompensationDialog::Command_Icon()
{
  // A wavy error line and the straight line it is corrected to.
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(200, 60, 40), 1.5));
  painter.drawPolyline(
      QPolygonF({QPointF(0.5, 6.0), QPointF(4.0, 2.0), QPointF(8.0, 7.0), QPointF(12.0, 2.5), QPointF(15.5, 5.0)}));
  painter.setPen(QPen(QColor(40, 140, 40), 2.0));
  painter.drawLine(QPointF(0.5, 12.5), QPointF(15.5, 12.5));
  return QIcon(pixmap);
}

void TCompensationDialog::Compute()
{
  const TMachineLibrary::TMachineItem* source =
      d_machines->Machine(d_machines->Machine_Id(d_source_box->currentText()));
  const TMachineLibrary::TMachineItem* against =
      d_machines->Machine(d_machines->Machine_Id(d_against_box->currentText()));
  const Compensation::TOptions options = Options();
  QString problem;
  if(!source || !against)
  {
    problem = tr("Choose both machines.");
  }
  else if(options.forms.empty())
  {
    problem = tr("Check at least one form of correction.");
  }
  else if(options.spacing > 0.0 && options.spacing < Compensation::MINIMUM_SPACING)
  {
    problem = tr("The spacing must be at least %1 mm.").arg(Compensation::MINIMUM_SPACING);
  }
  if(!problem.isEmpty())
  {
    d_verdict_label->setText(problem);
    return;
  }
  std::vector<const TMeasurement*> records;
  for(const TMeasurement* measurement : d_measurements->Measurements(Check_List::Checked(d_measurement_list)))
  {
    records.push_back(measurement);
  }
  QApplication::setOverrideCursor(Qt::WaitCursor);
  d_result = Compensation::Run(*source, *against, records, options);
  QApplication::restoreOverrideCursor();
  d_computed = true;
  Show_Result();
}

void TCompensationDialog::Show_Result()
{
  const bool done = d_computed && d_result.status == Compensation::TStatus::DONE;
  d_files_button->setEnabled(done);
  d_csv_button->setEnabled(done && !d_result.forms.empty() && !d_result.forms.front().rows.empty());
  d_form_table->setRowCount(0);
  d_measurement_table->setRowCount(0);
  if(!d_computed)
  {
    d_verdict_label->setText(tr("Choose the machines and forms, then Compute."));
    d_report_edit->clear();
    d_chart_view->Set_Page(Plot_Charts::Message_Page(tr("Compensation"), tr("Nothing computed yet.")));
    return;
  }
  if(!done)
  {
    d_verdict_label->setText(tr("Not computed: %1").arg(d_result.errors.join(QLatin1Char(' '))));
    d_report_edit->setPlainText(d_result.errors.join(QLatin1Char('\n')));
    d_chart_view->Set_Page(Plot_Charts::Message_Page(tr("Compensation"), d_result.errors.join(QLatin1Char('\n'))));
    return;
  }
  d_verdict_label->setText(
      tr("Correction from \"%1\" on \"%2\": the values are errors; a controller applies their negative.")
          .arg(d_result.source, d_result.against));
  for(const Compensation::TFormResult& form : d_result.forms)
  {
    const int row = d_form_table->rowCount();
    d_form_table->insertRow(row);
    d_form_table->setItem(row, 0, Cell(Compensation::Form_Name(form.form), false));
    d_form_table->setItem(row, 1, Cell(Micrometres(form.grid_largest[0]), true));
    d_form_table->setItem(row, 2, Cell(Micrometres(form.grid_largest[1]), true));
    d_form_table->setItem(row, 3, Cell(form.has_u ? Micrometres(form.u) : tr("no covariance"), true));
    d_form_table->setItem(row, 4, Cell(Compensation::Verdict_Text(form.verdict), false));
    for(const Compensation::TMeasurementSummary& summary : form.measurements)
    {
      const int line = d_measurement_table->rowCount();
      d_measurement_table->insertRow(line);
      const QString cells[8] = {Compensation::Form_Name(form.form),   summary.measurement,
                                Plot_Series::Kind_Name(summary.type), QString::number(summary.rows),
                                Micrometres(summary.largest[0]),      Micrometres(summary.largest[1]),
                                Micrometres(summary.range[0]),        Micrometres(summary.range[1])};
      for(int column = 0; column < 8; ++column)
      {
        d_measurement_table->setItem(line, column, Cell(cells[column], column >= 3));
      }
    }
  }
  d_form_table->resizeColumnsToContents();
  d_measurement_table->resizeColumnsToContents();
  d_report_edit->setPlainText(Compensation::Report_Lines(d_result).join(QLatin1Char('\n')));
  d_chart_view->Set_Page(Compensation_Chart::Page(d_result));
}

void TCompensationDialog::Save_Files()
{
  const QString directory =
      QFileDialog::getExistingDirectory(this, tr("Folder for the Correction Tables"), d_save_directory);
  if(directory.isEmpty())
  {
    return;
  }
  d_save_directory = directory;
  QStringList written;
  QString error;
  if(!Compensation::Write_Files(d_result, directory, &written, &error))
  {
    d_verdict_label->setText(error);
    return;
  }
  d_verdict_label->setText(tr("Written: %1").arg(written.join(QStringLiteral(", "))));
}

void TCompensationDialog::Save_Csv()
{
  const QString file_name = QFileDialog::getSaveFileName(
      this, tr("Save CSV"), QDir(d_save_directory).filePath(QStringLiteral("compensation.csv")),
      tr("CSV Files (*.csv)"));
  if(file_name.isEmpty())
  {
    return;
  }
  d_save_directory = QFileInfo(file_name).absolutePath();
  // The libraries are the user's data, held in this window until it closes.
  for(const QString& library : {d_machines->File_Name(), d_measurements->File_Name()})
  {
    if(SafeFile::Same_File(file_name, library))
    {
      d_verdict_label->setText(tr("\"%1\" is a library file: choose another name.").arg(file_name));
      return;
    }
  }
  QString error;
  d_verdict_label->setText(SafeFile::Write_File(file_name, Compensation::Csv(d_result), &error)
                               ? tr("Written: %1").arg(file_name)
                               : tr("Cannot write \"%1\": %2").arg(file_name, error));
}
