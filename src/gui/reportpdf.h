#ifndef REPORTPDF_H
#define REPORTPDF_H

#include <QByteArray>
#include <QString>

#include "src/model/calibration/calibration_report.h"

// The calibration report as a PDF: A4 portrait, 20 mm margins, numbered section headings, tables
// whose heading row repeats on every page they run over, numbers right-aligned, the E-against-L
// chart of the Plots tab as vector graphics as wide as the text, the report number beside
// "Page x of y" at the foot of every page and "End of report" after the last section. Drawn with
// Qt's own text layout and PDF writer, so the window and varlume-batch write the same pages.
namespace Report_Pdf
{
// The PDF's bytes; false with the reason when it cannot be drawn.
bool Draw(const Calibration_Report::TDocument& document, QByteArray* pdf, QString* error);
// Draws and writes file_name whole or not at all (an earlier file stays on failure).
bool Write(const Calibration_Report::TDocument& document, const QString& file_name, QString* error);
} // namespace Report_Pdf

#endif
