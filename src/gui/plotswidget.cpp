#include "src/gui/plotswidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
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
#include <QSplitter>
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
  for(const Plot_Kinds::TKind& kind : Plot_Kinds::Kinds())
  {
    d_kind_box->addItem(QCoreApplication::translate("Plot_Kinds", kind.choice), QString::fromLatin1(kind.name));
  }
  label->setBuddy(d_kind_box);
  // Sized for a useful part of the longest choice, not all of it: the row must fit a 1024-pixel
  // screen beside the docks.
  d_kind_box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  d_kind_box->setMinimumContentsLength(26);
  d_compute_button = new QPushButton(tr("Compute Sensitivity"), this);
  d_save_button = new QPushButton(tr("Save Plot..."), this);
  for(QPushButton* button : {d_compute_button, d_save_button})
  {
    button->setAutoDefault(false);
  }
  controls->addWidget(label);
  controls->addWidget(d_kind_box);
  d_controls = layout;
  controls->addStretch(1);
  d_per_unit_box = new QCheckBox(tr("Per unit"), this);
  d_per_unit_box->setToolTip(tr("One unit of each parameter alone: 1 µm of scale or 1 µrad of angle at the end of "
                                "travel farther from zero, 1 µrad of squareness or deflection"));
  controls->addWidget(d_per_unit_box);
  controls->addWidget(d_compute_button);
  controls->addWidget(d_save_button);
  layout->addLayout(controls);
  d_splitter = new QSplitter(Qt::Vertical, this);
  d_splitter->setChildrenCollapsible(false);
  d_view = new TPlotView(d_splitter);
  d_splitter->addWidget(d_view);
  d_splitter->setStretchFactor(0, 3);
  layout->addWidget(d_splitter, 1);
  d_point_label = new QLabel(this);
  d_point_label->setWordWrap(true);
  d_point_label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(d_point_label);

  connect(d_kind_box, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this]() { Invalidate(); });
  connect(d_compute_button, &QPushButton::clicked, this, &TPlotsWidget::Compute_Sensitivity);
  // A table on show follows the box; one not yet computed waits for Compute.
  connect(d_per_unit_box, &QCheckBox::toggled, this,
          [this]()
          {
            d_chose_per_unit = false;
            // The engineer's choice stands until another machine is set.
            d_scale_chosen = true;
            if(d_data.has_sensitivity)
            {
              Compute_Sensitivity();
            }
          });
  connect(d_save_button, &QPushButton::clicked, this, &TPlotsWidget::Save_Page);
  Rebuild();
}

void TPlotsWidget::Set_Machine(const QString& name, const TMachineComp& machine,
                               const Simulation::TMachineRecord& record, const double increments[3])
{
  d_data.has_machine = true;
  d_scale_chosen = d_scale_chosen && name == d_data.machine_name;
  d_data.machine_name = name;
  d_machine_failure.clear();
  d_record = record;
  d_data.errors = Plot_Series::Axis_Error_Curves(machine, increments);
  d_data.error_table = Plot_Series::Axis_Error_Table(machine);
  d_data.notes = Plot_Series::Machine_Notes(machine);
  d_data.has_sensitivity = false;
  Invalidate();
}

void TPlotsWidget::Clear_Machine()
{
  d_data.has_machine = false;
  d_machine_failure.clear();
  d_has_machine_item = false;
  d_data.errors.clear();
  d_data.error_table.clear();
  d_data.has_sensitivity = false;
  Invalidate();
}

void TPlotsWidget::Set_Machine_Failed(const QString& reason)
{
  Clear_Machine();
  d_machine_failure = reason;
}

void TPlotsWidget::Set_Measurements(const TMachineComp& machine, const std::vector<TMeasurement*>& measurements)
{
  d_data.has_results = true;
  d_failure.clear();
  d_measurements = measurements;
  d_data.results = Plot_Series::Results(machine, measurements);
  d_data.has_sensitivity = false;
  Invalidate();
}

void TPlotsWidget::Clear_Measurements()
{
  d_data.has_results = false;
  d_failure.clear();
  d_measurements.clear();
  d_data.results.clear();
  d_data.has_sensitivity = false;
  Invalidate();
}

void TPlotsWidget::Set_Measurements_Failed(const QString& reason)
{
  Clear_Measurements();
  d_failure = reason;
}

void TPlotsWidget::Set_Kind(const QString& name)
{
  const int index = d_kind_box->findData(name);
  VARLUME_ASSERT(index >= 0);
  d_kind_box->setCurrentIndex(index);
}

const Plot_Kinds::TKind& TPlotsWidget::Kind() const
{
  const Plot_Kinds::TKind* kind = Plot_Kinds::Find(d_kind_box->currentData().toString());
  VARLUME_ASSERT(kind);
  return *kind;
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
  const Plot_Kinds::TKind& kind = Kind();
  const bool sensitivity = kind.source == Plot_Kinds::TSource::SENSITIVITY;
  d_compute_button->setVisible(sensitivity);
  d_per_unit_box->setVisible(sensitivity);
  Show_Conformity_Controls(kind.source == Plot_Kinds::TSource::CONFORMITY);
  d_compute_button->setEnabled(d_data.has_machine && d_data.has_results);
  TPlotPage* page = Page(kind);
  connect(page, &TPlotPage::Row_Clicked, this, &TPlotsWidget::Row_Picked);
  connect(page, &TPlotPage::Point_Clicked, this,
          [this](const QString& tip)
          { d_point_label->setText(QString(tip).replace(QLatin1Char('\n'), QStringLiteral("; "))); });
  d_view->Set_Page(page);
  Show_Conformity_Table();
  bool plotted = false;
  for(QGraphicsItem* item : page->childItems())
  {
    plotted = plotted || dynamic_cast<QtCharts::QChart*>(item) || dynamic_cast<TSensitivityTable*>(item);
  }
  d_save_button->setEnabled(plotted);
  d_save_button->setToolTip(plotted ? tr("Save the page as a picture (PNG, SVG, PDF) or its numbers (CSV)")
                                    : tr("Nothing to save: this page shows no chart"));
  d_point_label->setText(
      !sensitivity ? tr("Hover a point for its values; click it to show its row here.")
      : d_chose_per_unit
          ? tr("Every parameter of this machine reads zero, so the table shows what one unit of each would do "
               "(Per unit). Hover a cell for its parameter and test.")
          : tr("Hover a cell for its parameter and test."));
  d_point_label->setVisible(sensitivity ? d_data.has_sensitivity : d_data.has_machine);
}

TPlotPage* TPlotsWidget::Page(const Plot_Kinds::TKind& kind)
{
  const QString title = QCoreApplication::translate("Plot_Kinds", kind.title);
  const QString page_title = d_data.has_machine ? tr("%1: %2").arg(title, d_data.machine_name) : title;
  if(kind.source == Plot_Kinds::TSource::CONFORMITY)
  {
    return Conformity_Page(page_title);
  }
  if(kind.source == Plot_Kinds::TSource::COMPENSATION)
  {
    return Compensation_Page(page_title);
  }
  if(!d_data.has_machine)
  {
    return Plot_Charts::Message_Page(page_title,
                                     d_machine_failure.isEmpty() ? tr("Select one machine.") : d_machine_failure);
  }
  if(Plot_Kinds::Needs_Measurements(kind) && !d_data.has_results)
  {
    return Plot_Charts::Message_Page(
        page_title, d_failure.isEmpty() ? tr("Select measurements: their results are plotted once they are simulated.")
                                        : d_failure);
  }
  if(kind.source == Plot_Kinds::TSource::SENSITIVITY && !Plot_Kinds::Ready(kind, d_data))
  {
    return Plot_Charts::Message_Page(
        page_title,
        !d_data.has_sensitivity
            ? tr("Press \"Compute Sensitivity\": each enabled parameter is applied alone to a perfect machine and "
                 "the selected measurements are simulated on it.")
        : d_data.sensitivity.end == Sensitivity::TEnd::CANCELLED
            ? tr("Cancelled.")
            : tr("Not computed: %1").arg(d_data.sensitivity.message));
  }
  return Plot_Charts::Page(kind, d_data);
}

void TPlotsWidget::Compute_Sensitivity()
{
  if(!d_data.has_machine || !d_data.has_results)
  {
    return;
  }
  // Window-modal: while it processes events, nothing may change or delete the measurements.
  QProgressDialog progress(tr("Simulating each parameter alone..."), tr("Cancel"), 0, 1, this);
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(300);
  const auto compute = [&](Sensitivity::TScale scale)
  {
    return Sensitivity::Compute(
        d_record, d_measurements,
        [&progress](int done, int count)
        {
          progress.setMaximum(count);
          progress.setValue(done);
          return !progress.wasCanceled();
        },
        scale);
  };
  d_data.sensitivity =
      compute(d_per_unit_box->isChecked() ? Sensitivity::TScale::PER_UNIT : Sensitivity::TScale::AS_GIVEN);
  // A machine whose errors are all still zero (a new one, planned from) shows nothing as given.
  if(!d_scale_chosen && d_data.sensitivity.end == Sensitivity::TEnd::FINISHED && !d_data.sensitivity.rows.empty() &&
     d_data.sensitivity.scale == Sensitivity::TScale::AS_GIVEN && Sensitivity::All_Zero(d_data.sensitivity.rows))
  {
    const QSignalBlocker blocker(d_per_unit_box);
    d_per_unit_box->setChecked(true);
    d_chose_per_unit = true;
    d_data.sensitivity = compute(Sensitivity::TScale::PER_UNIT);
  }
  progress.reset();
  d_data.has_sensitivity = true;
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
  const QString proposed = QString::fromLatin1(Kind().name);
  dialog.selectFile(
      (d_data.has_machine ? Export::Safe_File_Name(d_data.machine_name) + QLatin1Char(' ') + proposed : proposed) +
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
  const Plot_Kinds::TKind& kind = Kind();
  if(!Plot_Kinds::Ready(kind, d_data))
  {
    return false;
  }
  *csv = kind.csv(d_data);
  return true;
}
