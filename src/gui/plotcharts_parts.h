#ifndef PLOTCHARTS_PARTS_H
#define PLOTCHARTS_PARTS_H

#include <QColor>
#include <QString>
#include <QtCharts/QChart>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

// What the chart pages of plotcharts.cpp and plotcharts_results.cpp share: units, axes that label
// round steps, lines, and legends that show only what the reader needs.
namespace Plot_Parts
{
// mm to µm, and mm/m to µrad.
inline constexpr double MICRO = 1000.0;
inline const QString MICROMETRES = QStringLiteral("µm");
inline const QString MICRORADIANS = QStringLiteral("µrad");

// A range that shows every value with a little room, ending on ticks; 0 included for
// deviations.
void Fit_Range(QtCharts::QValueAxis* axis, double minimum, double maximum, bool with_zero);
// A position axis: the positions' span, as round ends would widen it by up to a tick; with
// room, a little more, so that the markers at the ends are whole.
void Fit_Positions(QtCharts::QValueAxis* axis, double minimum, double maximum, bool room = false);
// Two value axes of one chart with their zeros at the same height, so that a curve at 0 on the
// right axis does not look like one at the minimum of the left: the height that stretches the
// two ranges least, each only away from its values.
void Align_Zeros(QtCharts::QValueAxis* left, QtCharts::QValueAxis* right);
QtCharts::QValueAxis* Value_Axis(const QString& title);
QtCharts::QLineSeries* Line(const QString& name, const QColor& colour, Qt::PenStyle style = Qt::SolidLine);
void Attach(QtCharts::QChart* chart, QtCharts::QAbstractSeries* series, QtCharts::QAbstractAxis* x_axis,
            QtCharts::QAbstractAxis* y_axis);
void Hide_From_Legend(QtCharts::QChart* chart, QtCharts::QAbstractSeries* series);
void Place_Legend(QtCharts::QChart* chart);
} // namespace Plot_Parts

#endif
