#ifndef IDENTIFY_REPORT_H
#define IDENTIFY_REPORT_H

// The identification's report: the text after the matching (residuals, fitted parameters and
// error functions with their uncertainties, alignment, outliers, rank, what is not identified,
// the verdict), the texts of numbers and polynomials, and the JSON.

#include "src/model/identify_stages.h"

namespace Identify
{
// Appends the report of a finished run (converged or not) to result->report.
void Write_Report(const TOptions& options, TResult* result);
// A value as the machine file writes it: fixed point, enough decimals, no exponent.
QString Value_Text(double value);
// Which measurement would tell a direction apart, from the unknowns it involves; empty when
// nothing is known.
QString Direction_Hint(const std::vector<int>& unknowns, const TModel& model);
// A text cut to a length a message can carry (a name in a file may be megabytes long).
QString Report_Cut(const QString& text);
} // namespace Identify

#endif
