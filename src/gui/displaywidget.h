#ifndef DISPLAYWIDGET_H
#define DISPLAYWIDGET_H

#include <QStringList>
#include <QWidget>

#include <vector>

class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class TMeasurement;
class TMachineComp;
class TOpenGLDisplayWidget;
class TPlotsWidget;
class TVector3;
namespace Simulation
{
struct TMachineRecord;
}

// The central output area: the 3-D view with its selection pane, the measurement results and
// the machine error map. It holds no results; the main window fills the panes line by line
// (Clear_*, Add_*_Line, Add_*_End) and hears back through the signals.
class TDisplayWidget : public QWidget
{
  Q_OBJECT

public:
  explicit TDisplayWidget(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());

  void Clear_Map_Data();
  void Clear_Measurement_Data();
  void Clear_Selection_Data();

  void Add_Map_Data_Line(const QString& line);
  void Add_Measurement_Data_Line(const QString& line);
  void Add_Selection_Data_Line(const QString& line);

  // Put the cursor at the start so that the pane shows its first line.
  void Add_Map_Data_End();
  void Add_Measurement_Data_End();
  void Add_Selection_Data_End();

  // Forwarded to the 3-D view; the measurement must not be null.
  void Clear_Graphical_Data();
  void Add_Graphical_Data(TMeasurement* measurement);
  void Add_Graphical_Data_End();
  void Define_Machine_Volume(const TVector3& minimum, const TVector3& maximum);
  void Clear_Machine_Volume();

  // The "Plots" tab follows the panes: Clear_Map_Data forgets the machine and
  // Clear_Measurement_Data the measurements; these hand over what was set up and simulated.
  void Set_Plot_Machine(const QString& name, const TMachineComp& machine, const Simulation::TMachineRecord& record);
  void Set_Plot_Measurements(const TMachineComp& machine, const std::vector<TMeasurement*>& measurements);
  void Set_Plot_Measurements_Failed(const QString& reason);
  // The machine named could not be set up: the Plots tab points to the Machine Errors tab.
  void Set_Plot_Machine_Failed(const QString& name);
  TPlotsWidget* Plots_Widget() const { return d_plots_widget; }

  // The map increments in millimetres: the absolute value of the field, 0 for a text that is not
  // a finite number (the map display then refuses it as too small).
  double Map_Data_Increment_X() const;
  double Map_Data_Increment_Y() const;
  double Map_Data_Increment_Z() const;

  // The texts of the three increment fields, as typed, for remembering them.
  QStringList Map_Increment_Texts() const;
  void Set_Map_Increment_Texts(const QStringList& texts);

  // Where Save Text opens its dialog; the folder of the last file saved.
  QString Results_Directory() const { return d_results_directory; }
  void Set_Results_Directory(const QString& directory) { d_results_directory = directory; }

  // The three buttons of the results tab; they start disabled. Save Text stays disabled while
  // the results pane is empty.
  void Enable_Output_Options(bool state);

  // Writes the whole results pane to the file in Latin-1; false with the reason in error (may
  // be null) when it cannot be written, and the old file is then left as it was.
  bool Write_Measurement_Text(const QString& file_name, QString* error = nullptr) const;

signals:
  void Item_Selected(int id, int index);
  void Export_Measurements();
  void Evaluate_Measurements();
  void Update_Map_Display();
  // What an action did, for the status bar.
  void Status_Message(const QString& text);

public slots:
  // Asks for a file name and writes the results pane; a file that cannot be written is
  // reported in a message box, a cancelled dialog ends silently.
  void Save_Measurement_Text();

  // A pick in the 3-D view: the name is a measurement id (a multiple of 1000) plus a row index,
  // or negative for a click on empty space.
  void Measurement_Item_Clicked(const double& x, const double& y, const double& z, int name);

private:
  static QPlainTextEdit* Create_Text_Pane(QWidget* parent);
  // The line above a pane that names the units of its numbers.
  static QLabel* Create_Units_Label(const QString& text, const QString& name, QWidget* parent);
  static double Increment(const QLineEdit* edit);
  void Update_Save_Text_Button();

  QTabWidget* d_tab_widget;
  TOpenGLDisplayWidget* d_graphical_view;
  QPlainTextEdit* d_selection_text;
  QPlainTextEdit* d_measurement_text;
  QPlainTextEdit* d_map_text;
  QPushButton* d_evaluation_button;
  QPushButton* d_export_button;
  QPushButton* d_save_text_button;
  QLineEdit* d_increment_x_edit;
  QLineEdit* d_increment_y_edit;
  QLineEdit* d_increment_z_edit;
  QPushButton* d_update_button;
  bool d_output_enabled = false;
  QString d_results_directory;
  TPlotsWidget* d_plots_widget;
};

#endif
