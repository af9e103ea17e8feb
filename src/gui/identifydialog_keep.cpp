// What Identify Errors keeps of a fit: the residuals page, the saved report, chart, JSON and
// residuals, and the question before a result that was not kept is closed away.

#include "src/gui/identifydialog.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>

#include "core/safefile.h"
#include "src/gui/plotpage.h"
#include "src/gui/plotswidget.h"
#include "src/gui/residualschart.h"

void TIdentifyDialog::Add_Keeping(QDialogButtonBox* buttons)
{
  d_residuals_view = new TPlotView(d_output_tabs);
  d_output_tabs->addTab(d_residuals_view, tr("Residuals"));
  d_save_button = buttons->addButton(tr("Save"), QDialogButtonBox::ActionRole);
  d_save_button->setObjectName(QStringLiteral("save_button"));
  d_save_button->setToolTip(tr("Save the report, the chart on show, the JSON report or the residuals"));
  QMenu* menu = new QMenu(d_save_button);
  menu->addAction(tr("Report (Text)..."), this, &TIdentifyDialog::Save_Report);
  menu->addAction(tr("Chart (PNG, SVG, PDF)..."), this, &TIdentifyDialog::Save_Chart);
  menu->addAction(tr("JSON..."), this, &TIdentifyDialog::Save_Json);
  menu->addAction(tr("Residuals (CSV)..."), this, &TIdentifyDialog::Save_Residuals);
  d_save_button->setMenu(menu);
  Show_Residuals();
}

void TIdentifyDialog::Show_Residuals()
{
  d_residuals_view->Set_Page(Residuals_Chart::Page(d_result, Options().outlier_limit));
  d_save_button->setEnabled(!d_result.report.isEmpty());
}

void TIdentifyDialog::reject()
{
  // A fit can take minutes: Esc or Close must not throw it away unasked.
  if(!d_kept && !d_result.report.isEmpty() && d_result.status != Identify::TStatus::CANCELLED &&
     QMessageBox::question(this, tr("Identify Errors"),
                           tr("Close and discard this identification? Its report, charts and machine are not "
                              "saved."),
                           QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Cancel) != QMessageBox::Discard)
  {
    return;
  }
  QDialog::reject();
}

QString TIdentifyDialog::Ask_File(const QString& title, const QString& filter, const QString& suffix)
{
  QFileDialog dialog(this, title, d_last_directory, filter);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(suffix);
  if(dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
  {
    return QString();
  }
  const QString file_name = dialog.selectedFiles().front();
  d_last_directory = QFileInfo(file_name).absolutePath();
  return file_name;
}

void TIdentifyDialog::Save_Bytes(const QString& title, const QString& file_name, const QByteArray& bytes)
{
  if(file_name.isEmpty())
  {
    return;
  }
  QString error;
  if(!SafeFile::Write_File(file_name, bytes, &error))
  {
    QMessageBox::warning(this, title, tr("Cannot write %1:\n%2").arg(file_name, error));
    return;
  }
  d_kept = true;
}

void TIdentifyDialog::Save_Report()
{
  const QString title = tr("Save Report");
  Save_Bytes(title, Ask_File(title, tr("Text Files (*.txt)"), QStringLiteral("txt")),
             (d_result.report.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
}

void TIdentifyDialog::Save_Json()
{
  const QString title = tr("Save JSON");
  Save_Bytes(title, Ask_File(title, tr("JSON Files (*.json)"), QStringLiteral("json")), Identify::Json(d_result));
}

void TIdentifyDialog::Save_Residuals()
{
  const QString title = tr("Save Residuals");
  Save_Bytes(title, Ask_File(title, tr("CSV Files (*.csv)"), QStringLiteral("csv")), Identify::Residuals_Csv(d_result));
}

void TIdentifyDialog::Save_Chart()
{
  // The chart on show; from the report, the identified errors.
  TPlotView* view = d_output_tabs->currentWidget() == d_residuals_view ? d_residuals_view : d_plot_view;
  TPlotPage* page = view->Page();
  const QString title = tr("Save Chart");
  const QString file_name =
      Ask_File(title, tr("PNG Images (*.png);;SVG Images (*.svg);;PDF Files (*.pdf)"), QStringLiteral("png"));
  if(file_name.isEmpty() || !page)
  {
    return;
  }
  QString error;
  if(!Write_Plot_File(page, file_name, page->size().toSize(), &error))
  {
    QMessageBox::warning(this, title, error);
    return;
  }
  d_kept = true;
}
