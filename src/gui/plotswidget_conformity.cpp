// The Conformity section of the Plots tab: the test set-up's U and the rule, and the decision
// of the selected ISO 10360-2 measurements on the active machine; and the compensation page,
// which shares the machine's record.

#include "src/gui/plotswidget.h"

#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include "src/gui/plotcharts.h"
#include "src/gui/plotpage.h"
#include "src/model/evaluation.h"
#include "src/model/measuredfile.h"
#include "src/model/textformat.h"

void TPlotsWidget::Show_Conformity_Controls(bool visible)
{
  if(d_conformity_controls || !visible)
  {
    if(d_conformity_controls)
    {
      d_conformity_controls->setVisible(visible);
    }
    return;
  }
  d_conformity_controls = new QWidget(this);
  QHBoxLayout* layout = new QHBoxLayout(d_conformity_controls);
  layout->setContentsMargins(0, 0, 0, 0);
  QLabel* test_label = new QLabel(tr("Set-up U = a + b·L (a µm, b µm/m):"), d_conformity_controls);
  d_test_uncertainty_edit = new QLineEdit(QStringLiteral("0,0"), d_conformity_controls);
  d_test_uncertainty_edit->setToolTip(tr("The expanded uncertainty U (k = 2) of the test set-up as a,b."));
  d_test_uncertainty_edit->setMaximumWidth(100);
  test_label->setBuddy(d_test_uncertainty_edit);
  QLabel* rule_label = new QLabel(tr("Rule:"), d_conformity_controls);
  d_rule_box = new QComboBox(d_conformity_controls);
  d_rule_box->addItem(tr("Guarded (ISO 14253-1)"));
  d_rule_box->addItem(tr("Simple"));
  rule_label->setBuddy(d_rule_box);
  layout->addWidget(test_label);
  layout->addWidget(d_test_uncertainty_edit);
  layout->addWidget(rule_label);
  layout->addWidget(d_rule_box);
  d_measured_button = new QPushButton(tr("Measured Files..."), d_conformity_controls);
  d_measured_button->setAutoDefault(false);
  d_measured_button->setToolTip(tr("Judge measured ISO 10360-2 files instead of the simulated selection, matched to "
                                   "the library's measurements by name"));
  d_simulated_button = new QPushButton(tr("Simulated"), d_conformity_controls);
  d_simulated_button->setAutoDefault(false);
  d_simulated_button->setToolTip(tr("Judge the selected measurements, simulated on the machine, again"));
  d_simulated_button->setVisible(!d_measured_paths.isEmpty());
  layout->addWidget(d_measured_button);
  layout->addWidget(d_simulated_button);
  layout->addStretch(1);
  connect(d_measured_button, &QPushButton::clicked, this, &TPlotsWidget::Choose_Measured_Files);
  connect(d_simulated_button, &QPushButton::clicked, this, [this]() { Set_Measured_Paths(QStringList()); });
  // A row of its own under the chooser: beside it the row would not fit a 1024-pixel screen.
  d_controls->insertWidget(1, d_conformity_controls);

  connect(d_test_uncertainty_edit, &QLineEdit::editingFinished, this, [this]() { Invalidate(); });
  connect(d_rule_box, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this]() { Invalidate(); });
}

void TPlotsWidget::Set_Library_Records(std::function<std::vector<const TMeasurement*>()> records)
{
  d_library_records = std::move(records);
}

void TPlotsWidget::Set_Measured_Paths(const QStringList& paths)
{
  d_measured_paths = paths;
  if(d_simulated_button)
  {
    d_simulated_button->setVisible(!paths.isEmpty());
  }
  Invalidate();
}

void TPlotsWidget::Choose_Measured_Files()
{
  const QStringList files = QFileDialog::getOpenFileNames(
      this, tr("Measured ISO 10360-2 Files"), d_measured_paths.isEmpty() ? QString() : d_measured_paths.front());
  if(!files.isEmpty())
  {
    Set_Measured_Paths(files);
  }
}

void TPlotsWidget::Show_Conformity_Table()
{
  if(!d_conformity_table)
  {
    d_conformity_table = new QTableWidget(this);
    d_conformity_table->setObjectName(QStringLiteral("conformity_table"));
    d_conformity_table->setColumnCount(9);
    d_conformity_table->setHorizontalHeaderLabels({tr("Measurement"), tr("Row"), tr("L (mm)"), tr("E (µm)"),
                                                   tr("MPE (µm)"), tr("u reading (µm)"), tr("U (µm, k = 2)"),
                                                   tr("|E|/MPE"), tr("Decision")});
    d_conformity_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    d_conformity_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    d_conformity_table->verticalHeader()->setVisible(false);
    // Under the page, in a splitter: the engineer shares the height between chart and rows.
    d_splitter->addWidget(d_conformity_table);
    d_splitter->setStretchFactor(1, 1);
    // In proportion, whatever the height is yet: the chart three parts, the rows one.
    d_splitter->setSizes({3000, 1000});
  }
  const bool shown = Kind().source == Plot_Kinds::TSource::CONFORMITY && d_data.has_conformity;
  d_conformity_table->setVisible(shown);
  if(!shown)
  {
    return;
  }
  // The columns of the CSV, the numbers as the report prints them: 317.00000000000006 reads
  // worse than 317.0000.
  const std::vector<Conformity::TRow>& rows = d_data.conformity.rows;
  d_conformity_table->setRowCount(static_cast<int>(rows.size()));
  for(int r = 0; r < static_cast<int>(rows.size()); ++r)
  {
    const Conformity::TRow& row = rows[static_cast<std::size_t>(r)];
    const QStringList fields = {row.measurement,
                                QString::number(row.row),
                                Text::Number(row.length, 0, 4),
                                Text::Number(row.deviation, 0, 4),
                                Text::Number(row.mpe, 0, 4),
                                row.has_u ? Text::Number(row.u, 0, 4) : QString(),
                                Text::Number(row.expanded, 0, 4),
                                Text::Number(row.utilisation, 0, 3),
                                Conformity::Decision_Name(row.decision)};
    for(int c = 0; c < fields.size(); ++c)
    {
      QTableWidgetItem* item = new QTableWidgetItem(fields[c]);
      item->setTextAlignment(c == 0 || c == 8 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignRight | Qt::AlignVCenter);
      if(c == 8 && row.decision != Conformity::TDecision::PASS)
      {
        item->setForeground(row.decision == Conformity::TDecision::FAIL ? QColor(183, 28, 28) : QColor(200, 90, 0));
      }
      d_conformity_table->setItem(r, c, item);
    }
  }
  d_conformity_table->resizeColumnsToContents();
}

Conformity::TOptions TPlotsWidget::Conformity_Options() const
{
  Conformity::TOptions options;
  QString error;
  if(d_test_uncertainty_edit)
  {
    Conformity::Parse_Test_Uncertainty(d_test_uncertainty_edit->text(), &options.test, &error);
  }
  options.rule = d_rule_box && d_rule_box->currentIndex() == 1 ? Conformity::TRule::SIMPLE : Conformity::TRule::GUARDED;
  options.jobs = Evaluation::Parse_Jobs(qEnvironmentVariable("VARLUME_JOBS"));
  return options;
}

void TPlotsWidget::Set_Machine_Item(const TMachineLibrary::TMachineItem& machine)
{
  d_has_machine_item = true;
  d_machine_item = machine;
  Invalidate();
}

TPlotPage* TPlotsWidget::Conformity_Page(const QString& title)
{
  d_data.has_conformity = false;
  if(!d_data.has_machine || !d_has_machine_item)
  {
    return Plot_Charts::Message_Page(title, tr("Select one machine."));
  }
  const bool measured = !d_measured_paths.isEmpty();
  if(!measured && !d_data.has_results)
  {
    return Plot_Charts::Message_Page(
        title, d_failure.isEmpty() ? tr("Select ISO 10360-2 measurements, or press \"Measured Files...\": each row is "
                                        "decided against the MPE.")
                                   : d_failure);
  }
  Conformity::TOptions options;
  if(!Conformity::Record_Mpe(d_machine_item, &options.mpe))
  {
    return Plot_Charts::Message_Page(title, tr("The machine has no MPE: enter \"E0, MPE\" in the machine editor."));
  }
  QString error;
  if(!Conformity::Parse_Test_Uncertainty(d_test_uncertainty_edit->text(), &options.test, &error))
  {
    return Plot_Charts::Message_Page(title, tr("Test set-up U: enter a,b (a in µm, b in µm/m, both at least 0)."));
  }
  options.rule = d_rule_box->currentIndex() == 1 ? Conformity::TRule::SIMPLE : Conformity::TRule::GUARDED;
  options.jobs = Evaluation::Parse_Jobs(qEnvironmentVariable("VARLUME_JOBS"));
  QStringList problems;
  if(measured)
  {
    // As varlume-batch conformity --measured: the sets matched to the library's records by name.
    const Measured::TCollection collection = Measured::Read(d_measured_paths);
    for(const Measured::TProblem& problem : collection.problems)
    {
      problems.push_back(tr("%1: %2").arg(problem.file, problem.reason));
    }
    const std::vector<const TMeasurement*> library =
        d_library_records ? d_library_records() : std::vector<const TMeasurement*>();
    d_data.conformity = Conformity::Measured(d_machine_item, library, collection.sets, options);
  }
  else
  {
    d_data.conformity = Conformity::Simulated(d_machine_item, {d_measurements.begin(), d_measurements.end()}, options);
  }
  if(!d_data.conformity.ok)
  {
    return Plot_Charts::Message_Page(title, (problems + d_data.conformity.errors).join(QLatin1Char('\n')));
  }
  if(!problems.isEmpty())
  {
    emit Status_Message(tr("Not read: %1").arg(problems.join(QStringLiteral("; "))));
  }
  d_data.has_conformity = true;
  return Plot_Charts::Page(Kind(), d_data);
}

TPlotPage* TPlotsWidget::Compensation_Page(const QString& title)
{
  d_data.has_compensation = false;
  if(!d_data.has_machine || !d_has_machine_item)
  {
    return Plot_Charts::Message_Page(title, tr("Select one machine."));
  }
  if(!d_data.has_results)
  {
    return Plot_Charts::Message_Page(
        title, d_failure.isEmpty() ? tr("Select measurements: they are simulated before and after each correction.")
                                   : d_failure);
  }
  Compensation::TOptions options;
  options.jobs = Evaluation::Parse_Jobs(qEnvironmentVariable("VARLUME_JOBS"));
  d_data.compensation =
      Compensation::Run(d_machine_item, d_machine_item, {d_measurements.begin(), d_measurements.end()}, options);
  if(d_data.compensation.status != Compensation::TStatus::DONE)
  {
    return Plot_Charts::Message_Page(title, d_data.compensation.errors.join(QLatin1Char('\n')));
  }
  d_data.has_compensation = true;
  return Plot_Charts::Page(Kind(), d_data);
}
