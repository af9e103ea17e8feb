#ifndef PLOTSWIDGET_H
#define PLOTSWIDGET_H

#include <QGraphicsView>
#include <QString>
#include <QWidget>

#include <functional>
#include <vector>

#include "src/model/machinelibrary.h"
#include "src/model/plotkinds.h"
#include "src/model/simulation.h"

class QCheckBox;
class QComboBox;
class QHBoxLayout;
class QVBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QSplitter;
class QTableWidget;
class TPlotPage;

// Shows one plot page, fitted to the view; a page larger than its minimum never gets squeezed
// below it (the view scrolls instead).
class TPlotView : public QGraphicsView
{
  Q_OBJECT

public:
  explicit TPlotView(QWidget* parent = nullptr);

  // Takes the page; the previous one is deleted.
  void Set_Page(TPlotPage* page);
  TPlotPage* Page() const { return d_page; }
  // Lays the page out at the view's size again.
  void Fit_Page();

protected:
  void resizeEvent(QResizeEvent* event) override;

private:
  TPlotPage* d_page = nullptr;
};

// The "Plots" tab: a chooser (machine errors, measurement results, sensitivity) over the chart
// page. It keeps copies of the series, so that it never reads a model or a measurement that the
// window has changed since; only the sensitivity, computed on demand, reads the measurements,
// while a modal progress dialog keeps the window from changing them.
class TPlotsWidget : public QWidget
{
  Q_OBJECT

public:
  explicit TPlotsWidget(QWidget* parent = nullptr);

  // The active machine, set up in machine, with its record (for the sensitivity) and the map
  // increments of X, Y and Z.
  void Set_Machine(const QString& name, const TMachineComp& machine, const Simulation::TMachineRecord& record,
                   const double increments[3]);
  void Clear_Machine();
  // The active machine could not be set up: the pages say so, with reason.
  void Set_Machine_Failed(const QString& reason);
  // The test set-up's U and the rule of the Conformity section (0,0 and guarded until shown); the
  // MPE is left to the caller.
  Conformity::TOptions Conformity_Options() const;
  // Where the conformity page finds the library's records that measured files are matched to
  // by name (the window's measurement library).
  void Set_Library_Records(std::function<std::vector<const TMeasurement*>()> records);
  // The measured ISO 10360-2 files (or folders) the conformity page judges instead of the
  // simulated selection; none for the simulated one.
  void Set_Measured_Paths(const QStringList& paths);
  // The active machine's record, for its MPE and covariance (after Set_Machine).
  void Set_Machine_Item(const TMachineLibrary::TMachineItem& machine);
  // The measurements just simulated on machine; they must stay alive until Clear_Measurements.
  void Set_Measurements(const TMachineComp& machine, const std::vector<TMeasurement*>& measurements);
  void Clear_Measurements();
  // Measurements are selected but could not be simulated: the pages say so, with reason.
  void Set_Measurements_Failed(const QString& reason);

  // The kind of plot on show, by its name in Plot_Kinds::Kinds().
  void Set_Kind(const QString& name);
  const Plot_Kinds::TKind& Kind() const;
  // Simulates every parameter alone and shows the table (the "Compute" button).
  void Compute_Sensitivity();
  // Writes the page on show as PNG, SVG or PDF at its size on the screen; false with a message.
  bool Write_Page(const QString& file_name, QString* error);
  // The numbers of the page on show, as varlume-batch plot --csv writes them; false when the
  // page shows none (no machine, no simulated measurements, no computed sensitivity).
  bool Page_Csv(QByteArray* csv) const;

  TPlotView* View() const { return d_view; }

signals:
  // A result point was clicked: the row index of the measurement with that id.
  void Row_Picked(int id, int index);
  // For the status bar: where a plot was saved, or why not.
  void Status_Message(const QString& text);

protected:
  void showEvent(QShowEvent* event) override;

private:
  void Invalidate();
  void Rebuild();
  void Save_Page();
  // The page of kind from the numbers held, or the page that says what is missing.
  TPlotPage* Page(const Plot_Kinds::TKind& kind);
  // The conformity section (plotswidget_conformity.cpp): the set-up's U and the rule beside the
  // chooser, made when the section is first chosen, and the page of the selected ISO measurements.
  void Show_Conformity_Controls(bool visible);
  // The table under the page: the conformity rows when the page decided some, hidden otherwise.
  void Show_Conformity_Table();
  void Choose_Measured_Files();
  TPlotPage* Conformity_Page(const QString& title);
  // The corrections built from the active machine, run on itself with the default options.
  TPlotPage* Compensation_Page(const QString& title);

  QComboBox* d_kind_box;
  QPushButton* d_compute_button;
  QCheckBox* d_per_unit_box;     // sensitivity per unit of each parameter
  bool d_chose_per_unit = false; // the box was ticked for the user: every parameter reads zero
  bool d_scale_chosen = false;   // the user set the box for this machine: it is not ticked for them
  QPushButton* d_save_button;
  TPlotView* d_view;
  QSplitter* d_splitter; // the view, and under it the conformity rows
  QLabel* d_point_label; // under the chart: what the mouse does, or the row last clicked

  Plot_Kinds::TData d_data;  // the conformity report is that of the page on show
  QString d_machine_failure; // why the active machine has no model; empty otherwise
  Simulation::TMachineRecord d_record;
  std::vector<TMeasurement*> d_measurements;
  QString d_failure;        // why the selected measurements have no results; empty otherwise
  QString d_save_directory; // of the last plot saved
  bool d_has_machine_item = false;
  TMachineLibrary::TMachineItem d_machine_item;
  QVBoxLayout* d_controls; // the page's layout: the chooser's row, then the view
  QWidget* d_conformity_controls = nullptr;
  QLineEdit* d_test_uncertainty_edit = nullptr;
  QComboBox* d_rule_box = nullptr;
  QPushButton* d_measured_button = nullptr;
  QPushButton* d_simulated_button = nullptr;
  QTableWidget* d_conformity_table = nullptr; // the rows of the decision on show, as the CSV has them
  QStringList d_measured_paths;
  std::function<std::vector<const TMeasurement*>()> d_library_records;
  bool d_dirty = true;
  bool d_rebuild_pending = false;
};

#endif
