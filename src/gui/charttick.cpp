#include "src/gui/charttick.h"

#include <QtCharts/QCategoryAxis>

#include <algorithm>
#include <cmath>

namespace Chart_Tick
{
double Tick_Step(double span)
{
  const double rough = span / 5.0;
  const double decade = std::pow(10.0, std::floor(std::log10(rough)));
  for(const double factor : {1.0, 2.0, 5.0})
  {
    if(decade * factor >= rough)
    {
      return decade * factor;
    }
  }
  return decade * 10.0;
}

void Set_Labels(QtCharts::QCategoryAxis* axis, double step)
{
  for(const QString& label : axis->categoriesLabels())
  {
    axis->remove(label);
  }
  const int decimals = std::max(0, -static_cast<int>(std::floor(std::log10(step) + 1e-9)));
  const double low = axis->min();
  const double high = axis->max();
  axis->setStartValue(low - (high - low));
  const long long first = static_cast<long long>(std::ceil(low / step - 1e-9));
  const long long last = static_cast<long long>(std::floor(high / step + 1e-9));
  for(long long k = first; k <= last; ++k)
  {
    const double value = static_cast<double>(k) * step;
    axis->append(QString::number(k == 0 ? 0.0 : value, 'f', decimals), value);
  }
}
} // namespace Chart_Tick
