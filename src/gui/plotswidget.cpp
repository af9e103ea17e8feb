#include "src/gui/plotswidget.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGraphicsScene>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QtCharts/QChart>

#include "core/safefile.h"
#include "core/varlume_assert.h"
#include "src/gui/plotcharts.h"
#include "src/gui/plotpage.h"
#include "src/gui/sensitivitytable.h"
#include "src/model/export.h"

TPlotView::TPlotView(QWidget* parent) : QGraphicsView(parent)
{
  setScene(new QGraphicsScene(this));
  setRenderHint(QPainter::Antialiasing);
  setRenderHint(QPainter::TextAntialiasing);
  setAlignment(Qt::AlignLeft | Qt::AlignTop);
  setFrameShape(QFrame::NoFrame);
  setBackgroundBrush(Qt::white);
  // Hover reaches the chart series only with tracking on.
  viewport()->setMouseTracking(true);
}

void TPlotView::Set_Page(TPlotPage* page)
{
  if(d_page)
  {
    scene()->removeItem(d_page);
    delete d_page;
  }
  d_page = page;
  if(d_page)
  {
    scene()->addItem(d_page);
    Fit_Page();
  }
  // A new page starts at its top, not where the old one was scrolled to.
  verticalScrollBar()->setValue(verticalScrollBar()->minimum());
  horizontalScrollBar()->setValue(horizontalScrollBar()->minimum());
}

void TPlotView::resizeEvent(QResizeEvent* event)
{
  QGraphicsView::resizeEvent(event);
  Fit_Page();
}

void TPlotView::Fit_Page()
{
  if(!d_page)
  {
    return;
  }
  d_page->Lay_Out(QSizeF(viewport()->size()), TPlotPage::TFit::WIDTH);
  scene()->setSceneRect(QRectF(QPointF(0.0, 0.0), d_page->size()));
}

TPlotsWidget::TPlotsWidget(QWidget* parent) : QWidget(parent)
{
  QVBoxLayout* layout = new QVBoxLayout(this);
  QHBoxLayout* controls = new QHBoxLayout();
  QLabel* label = new QLabel(tr("Plot:"), this);
  d_kind_box = new QComboBox(this);
  d_kind_box->addItem(tr("Machine errors"));
  d_kind_box->addItem(tr("Measurement results"));
  d_kind_box->addItem(tr("Sensitivity (which test detects which error)"));
  d_kind_box->addItem(tr("Conformity (ISO 10360-2 tests against the MPE)"));
  label->setBuddy(d_kind_box);
  d_compute_button = new QPushButton(tr("Compute Sensitivity"), this);
  d_save_button = new QPushButton(tr("Save Plot..."), this);
  for(QPushButton* button : {d_compute_button, d_save_button})
  {
    button->setAutoDefault(false);
  }
  controls->addWidget(label);
  controls->addWidget(d_kind_box);
  d_controls = controls;
  controls->addStretch(1);
  controls->addWidget(d_compute_button);
  controls->addWidget(d_save_button);
  layout->addLayout(controls);
  d_view = new TPlotView(this);
  layout->addWidget(d_view, 1);
  d_point_label = new QLabel(this);
  d_point_label->setWordWrap(true);
  d_point_label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(d_point_label);

  connect(d_kind_box, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this]() { Invalidate(); });
  connect(d_compute_button, &QPushButton::clicked, this, &TPlotsWidget::Compute_Sensitivity);
  connect(d_save_button, &QPushButton::clicked, this, &TPlotsWidget::Save_Page);
  Rebuild();
}

void TPlotsWidget::Set_Machine(const QString& name, const TMachineComp& machine,
                               const Simulation::TMachineRecord& record, const double increments[3])
{
  d_has_machine = true;
  d_machine_name = name;
  d_machine_failure.clear();
  d_record = record;
  d_errors = Plot_Series::Axis_Error_Curves(machine, increments);
  d_error_table = Plot_Series::Axis_Error_Table(machine);
  d_notes = Plot_Series::Machine_Notes(machine);
  d_has_sensitivity = false;
  Invalidate();
}

void TPlotsWidget::Clear_Machine()
{
  d_has_machine = false;
  d_machine_failure.clear();
  d_has_machine_item = false;
  d_errors.clear();
  d_error_table.clear();
  d_has_sensitivity = false;
  Invalidate();
}

void TPlotsWidget::Set_Machine_Failed(const QString& reason)
{
  Clear_Machine();
  d_machine_failure = reason;
}

void TPlotsWidget::Set_Measurements(const TMachineComp& machine, const std::vector<TMeasurement*>& measurements)
{
  d_has_measurements = true;
  d_failure.clear();
  d_measurements = measurements;
  d_results = Plot_Series::Results(machine, measurements);
  d_has_sensitivity = false;
  Invalidate();
}

void TPlotsWidget::Clear_Measurements()
{
  d_has_measurements = false;
  d_failure.clear();
  d_measurements.clear();
  d_results.clear();
  d_has_sensitivity = false;
  Invalidate();
}

void TPlotsWidget::Set_Measurements_Failed(const QString& reason)
{
  Clear_Measurements();
  d_failure = reason;
}

void TPlotsWidget::Set_Kind(TKind kind)
{
  d_kind_box->setCurrentIndex(static_cast<int>(kind));
}

TPlotsWidget::TKind TPlotsWidget::Kind() const
{
  return static_cast<TKind>(d_kind_box->currentIndex());
}

void TPlotsWidget::Invalidate()
{
  d_dirty = true;
  // A selection change clears and then sets the data: one rebuild after both, not one each.
  if(isVisible() && !d_rebuild_pending)
  {
    d_rebuild_pending = true;
    QMetaObject::invokeMethod(
        this,
        [this]()
        {
          d_rebuild_pending = false;
          if(d_dirty && isVisible())
          {
            Rebuild();
          }
        },
        Qt::QueuedConnection);
  }
}

void TPlotsWidget::showEvent(QShowEvent* event)
{
  QWidget::showEvent(event);
  if(d_dirty)
  {
    Rebuild();
  }
}

void TPlotsWidget::Rebuild()
{
  d_dirty = false;
  const TKind kind = Kind();
  const bool ready = d_has_machine && d_has_measurements;
  d_compute_button->setVisible(kind == PLOT_SENSITIVITY);
  Show_Conformity_Controls(kind == PLOT_CONFORMITY);
  d_compute_button->setEnabled(ready);

  TPlotPage* page = nullptr;
  const QString no_machine = d_machine_failure.isEmpty() ? tr("Select one machine.") : d_machine_failure;
  const QString no_results =
      d_failure.isEmpty() ? tr("Select measurements: their results are plotted once they are simulated.") : d_failure;
  switch(kind)
  {
  case PLOT_ERRORS:
    page = d_has_machine ? Plot_Charts::Errors_Page(d_machine_name, d_errors, d_notes)
                         : Plot_Charts::Message_Page(tr("Machine errors"), no_machine);
    break;
  case PLOT_RESULTS:
    if(!d_has_machine)
    {
      page = Plot_Charts::Message_Page(tr("Measurement results"), no_machine);
    }
    else if(!d_has_measurements)
    {
      page = Plot_Charts::Message_Page(tr("Measurement results: %1").arg(d_machine_name), no_results);
    }
    else
    {
      page = Plot_Charts::Results_Page(d_machine_name, d_results);
    }
    break;
  case PLOT_SENSITIVITY:
  {
    const QString title = d_has_machine ? tr("Sensitivity: %1").arg(d_machine_name) : tr("Sensitivity");
    if(!ready)
    {
      page = Plot_Charts::Message_Page(title, d_has_machine ? no_results : no_machine);
    }
    else if(!d_has_sensitivity)
    {
      page = Plot_Charts::Message_Page(
          title, tr("Press \"Compute Sensitivity\": each enabled parameter is applied alone to a perfect machine and "
                    "the selected measurements are simulated on it."));
    }
    else if(d_sensitivity.end == Sensitivity::TEnd::FINISHED)
    {
      page = Plot_Charts::Sensitivity_Page(d_machine_name, d_sensitivity.rows);
    }
    else
    {
      page = Plot_Charts::Message_Page(title, d_sensitivity.end == Sensitivity::TEnd::CANCELLED
                                                  ? tr("Cancelled.")
                                                  : tr("Not computed: %1").arg(d_sensitivity.message));
    }
    break;
  }
  case PLOT_CONFORMITY:
    page = Conformity_Page();
    break;
  }
  connect(page, &TPlotPage::Row_Clicked, this, &TPlotsWidget::Row_Picked);
  connect(page, &TPlotPage::Point_Clicked, this,
          [this](const QString& tip)
          { d_point_label->setText(QString(tip).replace(QLatin1Char('\n'), QStringLiteral("; "))); });
  d_view->Set_Page(page);
  bool plotted = false;
  for(QGraphicsItem* item : page->childItems())
  {
    plotted = plotted || dynamic_cast<QtCharts::QChart*>(item) || dynamic_cast<TSensitivityTable*>(item);
  }
  d_save_button->setEnabled(plotted);
  d_save_button->setToolTip(plotted ? tr("Save the page as a picture (PNG, SVG, PDF) or its numbers (CSV)")
                                    : tr("Nothing to save: this page shows no chart"));
  d_point_label->setText(kind == PLOT_SENSITIVITY ? tr("Hover a cell for its parameter and test.")
                                                  : tr("Hover a point for its values; click it to show its row here."));
  d_point_label->setVisible(kind == PLOT_SENSITIVITY ? d_has_sensitivity : d_has_machine);
}

void TPlotsWidget::Compute_Sensitivity()
{
  if(!d_has_machine || !d_has_measurements)
  {
    return;
  }
  // Window-modal: while it processes events, nothing may change or delete the measurements.
  QProgressDialog progress(tr("Simulating each parameter alone..."), tr("Cancel"), 0, 1, this);
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(300);
  d_sensitivity = Sensitivity::Compute(d_record, d_measurements,
                                       [&progress](int done, int count)
                                       {
                                         progress.setMaximum(count);
                                         progress.setValue(done);
                                         return !progress.wasCanceled();
                                       });
  progress.reset();
  d_has_sensitivity = true;
  Invalidate();
}

bool TPlotsWidget::Write_Page(const QString& file_name, QString* error)
{
  VARLUME_ASSERT(error);
  TPlotPage* page = d_view->Page();
  if(!page)
  {
    *error = tr("Nothing to save.");
    return false;
  }
  const bool written = Write_Plot_File(page, file_name, page->size().toSize(), error);
  d_view->Fit_Page();
  return written;
}

void TPlotsWidget::Save_Page()
{
  // The extension of the chosen type is added to a name typed without one before the dialog asks
  // about replacing a file, so an existing picture is never replaced without the question.
  QFileDialog dialog(this, tr("Save Plot"), d_save_directory,
                     tr("PNG Images (*.png);;SVG Images (*.svg);;PDF Files (*.pdf);;CSV Files, the plotted numbers "
                        "(*.csv)"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QStringLiteral("png"));
  connect(&dialog, &QFileDialog::filterSelected, &dialog,
          [&dialog](const QString& filter)
          {
            dialog.setDefaultSuffix(filter.startsWith(QLatin1String("SVG"))   ? QStringLiteral("svg")
                                    : filter.startsWith(QLatin1String("PDF")) ? QStringLiteral("pdf")
                                    : filter.startsWith(QLatin1String("CSV")) ? QStringLiteral("csv")
                                                                              : QStringLiteral("png"));
          });
  const char* const kinds[] = {"errors", "results", "sensitivity", "conformity"};
  const QString proposed = QString::fromLatin1(kinds[Kind()]);
  dialog.selectFile((d_has_machine ? Export::Safe_File_Name(d_machine_name) + QLatin1Char(' ') + proposed : proposed) +
                    QStringLiteral(".png"));
  if(dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
  {
    return;
  }
  QString file_name = dialog.selectedFiles().front();
  // The dialog adds no extension to a name with a dot in it ("run 1.5"): added here, with the
  // question the dialog would have asked.
  const auto is_csv = [](const QString& name) { return name.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive); };
  if(!is_csv(file_name) && !Plot_File_Type_Known(file_name))
  {
    file_name += QLatin1Char('.') + dialog.defaultSuffix();
    if(QFileInfo::exists(file_name) &&
       QMessageBox::question(this, tr("Save Plot"),
                             tr("%1 already exists.\nDo you want to replace it?").arg(QFileInfo(file_name).fileName()),
                             QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
    {
      return;
    }
  }
  d_save_directory = QFileInfo(file_name).absolutePath();
  QString error;
  if(is_csv(file_name))
  {
    QByteArray csv;
    if(!Page_Csv(&csv))
    {
      error = tr("This page shows no numbers to save.");
    }
    else if(SafeFile::Write_File(file_name, csv, &error))
    {
      emit Status_Message(tr("Plotted numbers saved to %1").arg(QDir::toNativeSeparators(file_name)));
      return;
    }
  }
  else if(Write_Page(file_name, &error))
  {
    emit Status_Message(tr("Plot saved to %1").arg(QDir::toNativeSeparators(file_name)));
    return;
  }
  emit Status_Message(tr("Plot not saved: %1").arg(error));
  QMessageBox::warning(this, tr("Save Plot"), error);
}

bool TPlotsWidget::Page_Csv(QByteArray* csv) const
{
  VARLUME_ASSERT(csv);
  switch(Kind())
  {
  case PLOT_ERRORS:
    *csv = Plot_Series::Errors_Csv(d_error_table);
    return d_has_machine;
  case PLOT_RESULTS:
    *csv = Plot_Series::Results_Csv(d_results);
    return d_has_machine && d_has_measurements;
  case PLOT_SENSITIVITY:
    *csv = Sensitivity::Csv(d_sensitivity.rows);
    return d_has_sensitivity && d_sensitivity.end == Sensitivity::TEnd::FINISHED;
  case PLOT_CONFORMITY:
    *csv = Conformity::Csv(d_conformity);
    return d_has_conformity;
  }
  return false;
}
