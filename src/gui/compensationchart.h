#ifndef COMPENSATIONCHART_H
#define COMPENSATIONCHART_H

#include "src/model/compensation/compensation.h"

class TPlotPage;

// The compensation page of the Compensation window and of varlume-batch plot --kind compensation:
// per measurement, the deviation of every row before correction and after each form (µm), with
// the check grid and the decision after correction above the charts. The caller owns the page.
namespace Compensation_Chart
{
TPlotPage* Page(const Compensation::TResult& result);
} // namespace Compensation_Chart

#endif
