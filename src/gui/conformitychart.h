#ifndef CONFORMITYCHART_H
#define CONFORMITYCHART_H

#include "src/model/conformity.h"

class TPlotPage;

// The conformity page of the Plots tab and of varlume-batch plot --kind conformity: E against L
// with the ±MPE(L) lines, U as error bars, each point coloured by its decision, and the summary
// above the chart. The caller owns the page.
namespace Conformity_Chart
{
TPlotPage* Page(const Conformity::TReport& report);
} // namespace Conformity_Chart

#endif
