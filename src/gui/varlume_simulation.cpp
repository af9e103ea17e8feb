// The window's simulation and report members: each fetches what the window holds and delegates
// to the GUI-free Simulation and Report functions, which varlume-batch calls as well.

#include <QListWidget>

#include "core/varlume_assert.h"
#include "src/gui/displaywidget.h"
#include "src/gui/machinedialog.h"
#include "src/gui/measurementdialog.h"
#include "src/gui/plotswidget.h"
#include "src/gui/varlume.h"
#include "src/model/report.h"
#include "src/model/simulation.h"

namespace
{
// One append of the joined lines gives the pane the same paragraphs as one append per line
// (the pane splits at line feeds), but a map of some hundred thousand rows takes seconds
// instead of minutes. Leading empty lines, which an empty pane swallows, are left out.
void Add_Map_Lines(TDisplayWidget* display, const QStringList& lines)
{
  int first = 0;
  while(first < lines.size() && lines[first].isEmpty())
  {
    ++first;
  }
  if(first < lines.size())
  {
    display->Add_Map_Data_Line(lines.mid(first).join(QLatin1Char('\n')));
  }
}
} // namespace

bool TVarlume::Update_Machine_Comp(const QString& name, QStringList* errors)
{
  Simulation::TVolumeChange volume = Simulation::TVolumeChange::UNCHANGED;
  const bool ready =
      Simulation::Update_Machine_Comp(d_machine_dialog->Library(), name, &d_machine_comp, errors, &volume);
  if(volume == Simulation::TVolumeChange::CLEARED)
  {
    d_display_widget->Clear_Machine_Volume();
  }
  else if(volume == Simulation::TVolumeChange::DEFINED)
  {
    d_display_widget->Define_Machine_Volume(d_machine_comp.Map_Data_Min(), d_machine_comp.Map_Data_Max());
  }
  return ready;
}

bool TVarlume::Evaluate_Measurement_Expressions(TMachineComp* machine, std::vector<TMeasurement*>* measurements,
                                                QStringList* errors) const
{
  return Simulation::Evaluate_Measurement_Expressions(machine, measurements, errors);
}

bool TVarlume::Update_Measurement_Items(TMachineComp* machine, std::vector<TMeasurement*>* measurements,
                                        QStringList* errors) const
{
  return Simulation::Update_Measurement_Items(machine, measurements, errors);
}

QStringList TVarlume::Report_Measurement_Item(TMeasurement* measurement) const
{
  VARLUME_ASSERT(measurement);
  return Report::Measurement_Item(d_machine_comp, *measurement);
}

QString TVarlume::Pad_String(const QString& text, int width, bool comma) const
{
  return Report::Pad_String(text, width, comma);
}

void TVarlume::Display_Selected_Item(int id, int index)
{
  d_display_widget->Clear_Selection_Data();
  if(id < 0 || index < 0)
  {
    return;
  }
  const TMeasurement* measurement = d_measurement_dialog->Measurement(id);
  if(!measurement)
  {
    return;
  }
  const QStringList lines = Report::Selected_Item(*measurement, index);
  if(lines.isEmpty())
  {
    return;
  }
  for(const QString& line : lines)
  {
    d_display_widget->Add_Selection_Data_Line(line);
  }
  d_display_widget->Add_Selection_Data_End();
}

void TVarlume::Update_Map_Display()
{
  d_display_widget->Clear_Map_Data();
  const QString name = Active_Machine_Name();
  if(name.isEmpty())
  {
    return;
  }
  // A machine that could not be set up has no tables; d_machine_comp may still hold another
  // machine's.
  if(d_machine_setup_failed)
  {
    Add_Map_Lines(d_display_widget, Report::Map_Initialization_Errors(d_machine_setup_errors));
    d_display_widget->Set_Plot_Machine_Failed(name);
  }
  else
  {
    Add_Map_Lines(d_display_widget, Report::Map_Display(d_machine_comp, name, d_display_widget->Map_Data_Increment_X(),
                                                        d_display_widget->Map_Data_Increment_Y(),
                                                        d_display_widget->Map_Data_Increment_Z()));
    Simulation::TMachineRecord record;
    if(Simulation::Find_Machine_Record(d_machine_dialog->Library(), name, &record))
    {
      d_display_widget->Set_Plot_Machine(name, d_machine_comp, record);
      d_display_widget->Plots_Widget()->Set_Machine_Item(
          *d_machine_dialog->Machine(d_machine_dialog->Machine_Id(name)));
    }
  }
  d_display_widget->Add_Map_Data_End();
}
