#include "src/gui/identifydialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/gui/windowsize.h"
#include "src/gui/identifyform.h"
#include "src/gui/machinedialog.h"
#include "src/gui/measurementdialog.h"
#include "src/gui/plotcharts.h"
#include "src/gui/plotswidget.h"
#include "src/model/measuredfile.h"
#include "src/model/option_limits.h"
#include "src/model/plotseries.h"
#include "src/model/simulation.h"

TIdentifyDialog::TIdentifyDialog(TMachineDialog* machines, TMeasurementDialog* measurements, QWidget* parent)
    : QDialog(parent), d_machines(machines), d_measurements(measurements)
{
  setWindowTitle(tr("Identify Errors"));

  // Left: what to fit, around the measured data.
  QGroupBox* files_box = new QGroupBox(tr("Measured Data"));
  QVBoxLayout* files_layout = new QVBoxLayout(files_box);
  QLabel* files_note = new QLabel(tr("Files as \"Export Measurements\" writes them: the ball bar file, Lumetra and "
                                     "Zarnik pairs, MCG files; or directories holding them. Only files named after a "
                                     "measurement of the library are used: the others are left out."),
                                  files_box);
  files_note->setWordWrap(true);
  // Never squeezed below its lines when the options beside it fill the column.
  files_note->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
  files_layout->addWidget(files_note);
  d_path_list = new QTreeWidget(files_box);
  d_path_list->setObjectName(QStringLiteral("path_list"));
  d_path_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
  d_path_list->setRootIsDecorated(false);
  d_path_list->setHeaderLabels({tr("File"), tr("Measurement")});
  d_path_list->header()->setStretchLastSection(true);
  files_layout->addWidget(d_path_list);
  QHBoxLayout* file_buttons = new QHBoxLayout();
  QPushButton* add_files_button = new QPushButton(tr("Add Files..."), files_box);
  QPushButton* add_directory_button = new QPushButton(tr("Add Directory..."), files_box);
  d_remove_button = new QPushButton(tr("Remove"), files_box);
  file_buttons->addWidget(add_files_button);
  file_buttons->addWidget(add_directory_button);
  file_buttons->addStretch();
  file_buttons->addWidget(d_remove_button);
  files_layout->addLayout(file_buttons);
  d_form = new TIdentifyForm(tr("Starting machine:"), files_box, this);

  const Identify::TOptions defaults;
  d_outlier_spin = new QDoubleSpinBox(this);
  d_outlier_spin->setObjectName(QStringLiteral("outlier_spin"));
  d_outlier_spin->setRange(Option_Limits::OUTLIER_LIMIT.minimum, Option_Limits::OUTLIER_LIMIT.maximum);
  d_outlier_spin->setDecimals(Option_Limits::OUTLIER_LIMIT.decimals);
  d_outlier_spin->setValue(defaults.outlier_limit);
  d_outlier_spin->setSuffix(QStringLiteral(" u"));
  d_outlier_spin->setToolTip(tr("Readings whose residual exceeds this many standard uncertainties are listed"));
  d_form->Add_Fit_Row(tr("Outlier limit:"), d_outlier_spin);
  d_reject_check = new QCheckBox(tr("Fit again without the outliers"), this);
  d_reject_check->setObjectName(QStringLiteral("reject_check"));
  d_reject_check->setToolTip(tr("One at a time, largest first; the report lists what was left out"));
  d_form->Add_Fit_Row(QString(), d_reject_check);

  // Right: the report.
  QWidget* output = new QWidget(this);
  QVBoxLayout* output_layout = new QVBoxLayout(output);
  output_layout->setContentsMargins(0, 0, 0, 0);
  d_verdict_label = new QLabel(tr("Choose the measured data and press Identify."), output);
  d_verdict_label->setObjectName(QStringLiteral("verdict_label"));
  QFont verdict_font = d_verdict_label->font();
  verdict_font.setBold(true);
  d_verdict_label->setFont(verdict_font);
  output_layout->addWidget(d_verdict_label);
  d_report_edit = new QPlainTextEdit(output);
  d_report_edit->setObjectName(QStringLiteral("report_edit"));
  d_report_edit->setReadOnly(true);
  d_report_edit->setLineWrapMode(QPlainTextEdit::NoWrap);
  // The report is fixed-column text: a family that is surely fixed pitch, as the result panes.
  QFont report_font(QStringLiteral("Courier New"));
  report_font.setFixedPitch(true);
  report_font.setStyleHint(QFont::TypeWriter);
  d_report_edit->setFont(report_font);
  // The identified error functions as charts, beside the numbers.
  d_plot_view = new TPlotView(output);
  d_output_tabs = new QTabWidget(output);
  d_output_tabs->addTab(d_report_edit, tr("Report"));
  d_output_tabs->addTab(d_plot_view, tr("Identified Errors"));
  output_layout->addWidget(d_output_tabs);
  Show_Identified_Errors();

  QSplitter* splitter = new QSplitter(Qt::Horizontal, this);
  // The form is taller than a 768-pixel screen leaves a dialog: it scrolls instead.
  QScrollArea* form_area = new QScrollArea(this);
  form_area->setWidget(d_form);
  form_area->setWidgetResizable(true);
  form_area->setFrameShape(QFrame::NoFrame);
  form_area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  form_area->setMinimumWidth(d_form->sizeHint().width() + form_area->verticalScrollBar()->sizeHint().width());
  splitter->addWidget(form_area);
  splitter->addWidget(output);
  splitter->setStretchFactor(0, 0);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({380, 720});

  QDialogButtonBox* buttons = new QDialogButtonBox(this);
  d_identify_button = buttons->addButton(tr("Identify"), QDialogButtonBox::ActionRole);
  d_identify_button->setObjectName(QStringLiteral("identify_button"));
  d_add_button = buttons->addButton(tr("Add Machine"), QDialogButtonBox::ActionRole);
  d_add_button->setObjectName(QStringLiteral("add_button"));
  d_add_button->setToolTip(tr("Store the identified machine in the machine library"));
  QPushButton* close_button = buttons->addButton(QDialogButtonBox::Close);
  Add_Keeping(buttons);

  QVBoxLayout* layout = new QVBoxLayout(this);
  layout->addWidget(splitter, 1);
  layout->addWidget(buttons);
  Resize_Within_Screen(this, QSize(1120, 700));

  connect(add_files_button, &QPushButton::clicked, this, &TIdentifyDialog::Add_Files);
  connect(add_directory_button, &QPushButton::clicked, this, &TIdentifyDialog::Add_Directory);
  connect(d_remove_button, &QPushButton::clicked, this, &TIdentifyDialog::Remove_Paths);
  connect(d_path_list, &QTreeWidget::itemSelectionChanged, this, &TIdentifyDialog::Update_Buttons);
  connect(d_identify_button, &QPushButton::clicked, this, &TIdentifyDialog::Identify);
  connect(d_add_button, &QPushButton::clicked, this, &TIdentifyDialog::Add_Machine);
  connect(close_button, &QPushButton::clicked, this, &QDialog::reject);
  Update_Buttons();
}

void TIdentifyDialog::Reset(const QString& active_machine)
{
  d_form->Set_Machines(d_machines->Machine_Names(), active_machine);
  d_result = Identify::TResult();
  d_report_edit->clear();
  d_verdict_label->setText(tr("Choose the measured data and press Identify."));
  Show_Identified_Errors();
  Show_Residuals();
  d_kept = true;
  Update_Buttons();
}

void TIdentifyDialog::Set_Adding_Allowed(bool allowed)
{
  d_adding_allowed = allowed;
  d_add_button->setToolTip(allowed ? tr("Store the identified machine in the machine library")
                                   : tr("This window is read-only: another window is using the data folder"));
  Update_Buttons();
}

QStringList TIdentifyDialog::Added_Paths() const
{
  QStringList paths;
  for(int row = 0; row < d_path_list->topLevelItemCount(); ++row)
  {
    paths.push_back(d_path_list->topLevelItem(row)->data(0, Qt::UserRole).toString());
  }
  return paths;
}

QStringList TIdentifyDialog::Measured_Paths() const
{
  QStringList paths;
  for(int row = 0; row < d_path_list->topLevelItemCount(); ++row)
  {
    QTreeWidgetItem* item = d_path_list->topLevelItem(row);
    const QString path = item->data(0, Qt::UserRole).toString();
    const QComboBox* choice = qobject_cast<QComboBox*>(d_path_list->itemWidget(item, 1));
    // The first entry reads the file by the name it gives itself.
    paths.push_back(choice && choice->currentIndex() > 0 ? choice->currentText() + QLatin1Char('=') + path : path);
  }
  return paths;
}

Identify::TOptions TIdentifyDialog::Options() const
{
  Identify::TOptions options = d_form->Options();
  options.outlier_limit = d_outlier_spin->value();
  options.reject_outliers = d_reject_check->isChecked();
  return options;
}

QIcon TIdentifyDialog::Command_Icon()
{
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(40, 40, 40), 1.0));
  painter.drawLine(QPointF(1.5, 14.5), QPointF(15.0, 14.5));
  painter.drawLine(QPointF(1.5, 1.0), QPointF(1.5, 14.5));
  QPainterPath curve(QPointF(2.0, 12.0));
  curve.cubicTo(QPointF(6.0, 2.0), QPointF(10.0, 13.0), QPointF(15.0, 3.0));
  painter.setPen(QPen(QColor(30, 90, 200), 1.5));
  painter.drawPath(curve);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(200, 40, 40));
  for(const QPointF& point : {QPointF(4.0, 7.0), QPointF(8.0, 9.0), QPointF(12.0, 8.0)})
  {
    painter.drawEllipse(point, 1.6, 1.6);
  }
  return QIcon(pixmap);
}

void TIdentifyDialog::Identify()
{
  const QString machine_name = d_form->Machine_Name();
  const TMachineLibrary::TMachineItem* machine = d_machines->Machine(d_machines->Machine_Id(machine_name));
  if(!machine)
  {
    d_verdict_label->setText(tr("Choose a machine."));
    return;
  }
  if(d_path_list->topLevelItemCount() == 0)
  {
    d_verdict_label->setText(tr("Add measured files or a directory first."));
    return;
  }

  Identify::TOptions options = Options();
  options.identified_name = d_machines->Generate_Unique_Name(-1, machine->name + QStringLiteral(" identified"));
  std::vector<const TMeasurement*> records;
  for(const TMeasurement* measurement : d_measurements->Measurements(d_measurements->Measurement_Names()))
  {
    records.push_back(measurement);
  }
  const Measured::TCollection measured = Measured::Read(Measured_Paths());

  QProgressDialog progress(tr("Identifying the errors of %1...").arg(machine->name), tr("Cancel"), 0, 100, this);
  progress.setWindowTitle(tr("Identify Errors"));
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(300);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  d_result = Identify::Run(*machine, records, measured, options,
                           [&progress](int done, int total)
                           {
                             progress.setMaximum(total);
                             progress.setValue(done);
                             QApplication::processEvents();
                             return !progress.wasCanceled();
                           });
  QApplication::restoreOverrideCursor();
  progress.reset();

  d_report_edit->setPlainText(d_result.report.join(QLatin1Char('\n')));
  Show_Identified_Errors();
  Show_Residuals();
  d_kept = false;
  // The run's own verdict, as varlume-batch prints it.
  QString verdict = QStringLiteral("Verdict: ") + Identify::Verdict_Text(d_result);
  if(d_result.status == Identify::TStatus::CANCELLED)
  {
    verdict = tr("Cancelled: nothing was identified.");
  }
  else if(d_result.status == Identify::TStatus::NO_DATA)
  {
    verdict = tr("Nothing was identified: see the report.");
  }
  if(d_result.misfit)
  {
    verdict += tr(" (the model misses an error: see the suggestions in the report)");
  }
  else if(!d_result.outliers.empty())
  {
    verdict += tr(" (%n outlier(s): see the report)", nullptr, static_cast<int>(d_result.outliers.size()));
  }
  d_verdict_label->setText(verdict);
  Update_Buttons();
}

void TIdentifyDialog::Show_Identified_Errors()
{
  const QString title = tr("Identified errors");
  if(d_result.status != Identify::TStatus::FITTED)
  {
    d_plot_view->Set_Page(Plot_Charts::Message_Page(
        title, d_result.report.isEmpty() ? tr("Nothing identified yet.") : tr("Nothing identified: see the report.")));
    return;
  }
  // The values that are not functions, with their expanded uncertainty.
  QStringList notes;
  for(const Identify::TParameter& parameter : d_result.parameters)
  {
    if(parameter.key.power > 0)
    {
      continue;
    }
    // In µrad, as every chart: the model's mm/m times 1000.
    notes.push_back(parameter.identified ? QString::fromUtf8("%1: %2 ± %3 µrad (k = 2)")
                                               .arg(parameter.label)
                                               .arg(1000.0 * parameter.value, 0, 'f', 2)
                                               .arg(2000.0 * parameter.u, 0, 'f', 2)
                                         : tr("%1: not identified").arg(parameter.label));
  }
  d_plot_view->Set_Page(Plot_Charts::Identified_Page(d_result.machine.name, d_result.bands,
                                                     QStringList{notes.join(QStringLiteral(";  "))}));
}

void TIdentifyDialog::Add_Machine()
{
  if(d_result.status != Identify::TStatus::FITTED)
  {
    return;
  }
  const int missing = d_result.unknowns - d_result.rank;
  if(missing > 0 &&
     QMessageBox::question(this, tr("Add Machine"),
                           tr("The readings did not identify %n direction(s) of the machine's parameters: there the "
                              "new machine keeps the values of \"%1\". Add it anyway?",
                              nullptr, missing)
                               .arg(d_form->Machine_Name()),
                           QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
  {
    return;
  }
  const QString name = d_machines->Add_Machine_Item(d_result.machine);
  d_verdict_label->setText(tr("The machine \"%1\" was added to the library.").arg(name));
  // Stored once; another fit makes the next one.
  d_result.status = Identify::TStatus::NO_DATA;
  Update_Buttons();
  d_kept = true;
  emit Machine_Added(name);
}

void TIdentifyDialog::Add_Files()
{
  const QStringList files = QFileDialog::getOpenFileNames(this, tr("Measured Files"), d_last_directory,
                                                          tr("Measured data (*.dat *.xml);;All files (*)"));
  if(!files.isEmpty())
  {
    d_last_directory = QFileInfo(files.front()).absolutePath();
    Add_Paths(files);
  }
}

void TIdentifyDialog::Add_Directory()
{
  const QString directory = QFileDialog::getExistingDirectory(this, tr("Measured Data Directory"), d_last_directory,
                                                              QFileDialog::ShowDirsOnly);
  if(!directory.isEmpty())
  {
    d_last_directory = directory;
    Add_Paths({directory});
  }
}

void TIdentifyDialog::Remove_Paths()
{
  qDeleteAll(d_path_list->selectedItems());
  // The result shown was of files now removed.
  Reset(d_form->Machine_Name());
}

void TIdentifyDialog::Add_Paths(const QStringList& paths)
{
  const QStringList present = Added_Paths();
  std::vector<const TMeasurement*> records;
  for(const TMeasurement* measurement : d_measurements->Measurements(d_measurements->Measurement_Names()))
  {
    records.push_back(measurement);
  }
  for(const QString& path : paths)
  {
    if(present.contains(path))
    {
      continue;
    }
    const QFileInfo info(path);
    QTreeWidgetItem* item = new QTreeWidgetItem(d_path_list);
    item->setText(0, info.isDir() ? tr("%1 (directory)").arg(QDir::toNativeSeparators(path)) : info.fileName());
    item->setData(0, Qt::UserRole, path);
    item->setToolTip(0, QDir::toNativeSeparators(path));
    if(info.isDir())
    {
      continue;
    }
    // A file of one measurement may be read as any of the library's measurements of its kind;
    // the one of its own name is chosen when there is one.
    Measured::TCollection read = Measured::Read({path});
    bool unnamed = false;
    if(read.sets.size() != 1)
    {
      // A file whose name names no measurement is read under a stand-in for its kind.
      read = Measured::Read({QStringLiteral("*=") + path});
      unnamed = true;
    }
    if(read.sets.size() != 1)
    {
      continue;
    }
    const Measured::TSet& set = read.sets.front();
    QComboBox* choice = new QComboBox(d_path_list);
    choice->setObjectName(QStringLiteral("measurement_combo"));
    choice->addItem(unnamed ? tr("(choose: the file names none)") : tr("(as named: %1)").arg(set.name));
    const QStringList names = Identify::Matching_Records(records, set.kind);
    choice->addItems(names);
    const int own = unnamed ? -1 : names.indexOf(set.name);
    choice->setCurrentIndex(own >= 0 ? own + 1 : 0);
    choice->setToolTip(tr("The measurement of the library that this file is read as"));
    d_path_list->setItemWidget(item, 1, choice);
  }
  d_path_list->resizeColumnToContents(0);
  Update_Buttons();
}

void TIdentifyDialog::Update_Buttons()
{
  d_remove_button->setEnabled(!d_path_list->selectedItems().isEmpty());
  d_identify_button->setEnabled(d_path_list->topLevelItemCount() > 0 && d_form->Has_Machines());
  d_add_button->setEnabled(d_adding_allowed && d_result.status == Identify::TStatus::FITTED);
}
