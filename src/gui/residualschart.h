#ifndef RESIDUALSCHART_H
#define RESIDUALSCHART_H

#include "src/model/identify.h"

class TPlotPage;

// The residuals page of Identify Errors: the residual of every reading used divided by its u,
// file by file in reading order, with the ±outlier limit lines. A trend (an error the model
// misses) shows as a curve, an outlier as a spike. The caller owns the page.
namespace Residuals_Chart
{
TPlotPage* Page(const Identify::TResult& result, double outlier_limit);
} // namespace Residuals_Chart

#endif
