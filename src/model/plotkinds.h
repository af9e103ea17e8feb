#ifndef PLOTKINDS_H
#define PLOTKINDS_H

#include <QByteArray>
#include <QString>

#include <vector>

#include "src/model/compensation/compensation.h"
#include "src/model/conformity.h"
#include "src/model/plotseries.h"
#include "src/model/sensitivity.h"

// The kinds of plot, in one table that the Plots tab and varlume-batch plot both read: the name,
// the title, what the plot is drawn from and the CSV of its numbers. A kind drawn from numbers
// that the readers already gather is one entry here and its page in Plot_Charts::Page.
namespace Plot_Kinds
{
// What a kind is drawn from. Only a kind drawn from the machine alone takes no measurements.
enum class TSource
{
  MACHINE,     // the active machine's error tables
  RESULTS,     // the selected measurements simulated on the machine
  SENSITIVITY, // every parameter applied alone to a perfect machine, computed on demand
  CONFORMITY,  // the ISO 10360-2 rows (simulated or measured) decided against the machine's MPE
  COMPENSATION // the tests before and after each form of correction built from the machine
};

// The numbers of the pages and their CSVs; each part is there or not.
struct TData
{
  bool has_machine = false;
  QString machine_name;
  std::vector<Plot_Series::TAxisErrors> errors;      // drawn: the table and the map's positions
  std::vector<Plot_Series::TAxisErrors> error_table; // for the CSV: the 51 table positions
  Plot_Series::TMachineNotes notes;
  bool has_results = false;
  std::vector<Plot_Series::TMeasurementResult> results;
  bool has_sensitivity = false; // computed, however it ended
  Sensitivity::TResult sensitivity;
  bool has_conformity = false;
  Conformity::TReport conformity;
  bool has_compensation = false;
  Compensation::TResult compensation;
};

struct TKind
{
  const char* name;   // varlume-batch plot --kind, and in the file name the Plots tab proposes
  const char* title;  // of the page, followed by ": <machine>" once there is a machine
  const char* choice; // the entry of the Plots tab's chooser
  TSource source;
  // The plotted numbers, as varlume-batch plot --csv writes them; reads data only when Ready.
  QByteArray (*csv)(const TData& data);
};

// The kinds in the order of the Plots tab's chooser.
const std::vector<TKind>& Kinds();
// The kind called name; null for none.
const TKind* Find(const QString& name);
// The names for a message: "errors, results, sensitivity, conformity or compensation".
QString Names_Text();

bool Needs_Measurements(const TKind& kind);
// Whether data holds what kind plots, so that its page shows a chart and its CSV numbers.
bool Ready(const TKind& kind, const TData& data);
} // namespace Plot_Kinds

#endif
