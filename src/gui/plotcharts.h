#ifndef PLOTCHARTS_H
#define PLOTCHARTS_H

#include <QString>

#include <vector>

#include "src/model/identify.h"
#include "src/model/plotkinds.h"
#include "src/model/plotseries.h"
#include "src/model/sensitivity.h"

class TPlotPage;

// The pages of the "Plots" tab and of varlume-batch plot, built from the model's series. The
// caller owns the page. Lengths are drawn in µm, angles in µrad (1 µrad = 0.001 mm/m), positions
// in mm.
namespace Plot_Charts
{
// Per axis a chart of scale and straightness and one of the angular errors against the
// position; the squareness values and the tower deflection as text in the header.
TPlotPage* Errors_Page(const QString& machine_name, const std::vector<Plot_Series::TAxisErrors>& axes,
                       const Plot_Series::TMachineNotes& notes);

// One chart per kind of measurement: ball bar deviations per bar, ISO deviations against the
// nominal length, laser deviations and angles along the line, MCG deviations around the circle
// per elevation ring. Rows outside the machine volume are marked.
TPlotPage* Results_Page(const QString& machine_name, const std::vector<Plot_Series::TMeasurementResult>& results);

// The parameter x test table, coloured by the size of the largest deviation.
TPlotPage* Sensitivity_Page(const QString& machine_name, const Sensitivity::TResult& result);

// The fitted error functions of an identification, each in its own chart with its band of
// +-2u (k = 2); a function the readings did not determine is drawn dashed, without a band.
TPlotPage* Identified_Page(const QString& machine_name, const std::vector<Identify::TFunctionBand>& bands,
                           const QStringList& notes);

// The page of kind (src/gui/plotcharts_kinds.cpp), from data that holds what kind plots
// (Plot_Kinds::Ready).
TPlotPage* Page(const Plot_Kinds::TKind& kind, const Plot_Kinds::TData& data);

// A page that only says something ("Select one machine.").
TPlotPage* Message_Page(const QString& title, const QString& text);
} // namespace Plot_Charts

#endif
