#ifndef CHARTTICK_H
#define CHARTTICK_H

namespace QtCharts
{
class QCategoryAxis;
}

// Round tick marks for the charts: Qt's own value axis prints sums of steps, which read
// "-5.551e-17" where they miss 0, so the labels are ours.
namespace Chart_Tick
{
// A round step for about four to six ticks over span: 1, 2 or 5 times a power of ten.
double Tick_Step(double span);

// Replaces the axis's labels by multiples of step over its current range, each written from the
// multiple's index so that 0 reads "0".
void Set_Labels(QtCharts::QCategoryAxis* axis, double step);
} // namespace Chart_Tick

#endif
