#include "src/gui/sensitivitytable.h"

#include <QFontMetricsF>
#include <QGraphicsSceneHoverEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <cmath>

#include "src/gui/plotpage.h"

namespace
{
const double MICRO = 1000.0;
// Decades of the colour scale below the largest value.
const double DECADES = 3.0;
const double CELL_PADDING = 8.0;
const double KEY_HEIGHT = 14.0;

QColor Mix(const QColor& a, const QColor& b, double t)
{
  return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * t, a.greenF() + (b.greenF() - a.greenF()) * t,
                          a.blueF() + (b.blueF() - a.blueF()) * t);
}

// White through yellow and orange to dark red.
QColor Scale_Colour(double t)
{
  const QColor stops[4] = {QColor(255, 255, 255), QColor(254, 224, 139), QColor(244, 109, 67), QColor(165, 0, 38)};
  t = std::clamp(t, 0.0, 1.0) * 3.0;
  const int stop = std::min(static_cast<int>(t), 2);
  return Mix(stops[stop], stops[stop + 1], t - stop);
}

QString Value_Text(const Sensitivity::TRow& row, int kind)
{
  return row.present[kind] ? QString::number(row.value[kind] * MICRO, 'f', 3) : QStringLiteral("--");
}
} // namespace

TSensitivityTable::TSensitivityTable(const std::vector<Sensitivity::TRow>& rows, QGraphicsItem* parent)
    : QGraphicsWidget(parent), d_rows(rows)
{
  for(const Sensitivity::TRow& row : d_rows)
  {
    for(int kind = 0; kind < Sensitivity::KIND_COUNT; ++kind)
    {
      if(row.present[kind])
      {
        d_largest = std::max(d_largest, row.value[kind]);
      }
    }
  }
  setAcceptHoverEvents(true);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

QColor TSensitivityTable::Cell_Colour(double value, double largest)
{
  if(!(value > 0.0) || !(largest > 0.0))
  {
    return Scale_Colour(0.0);
  }
  return Scale_Colour(1.0 + std::log10(value / largest) / DECADES);
}

TSensitivityTable::TGeometry TSensitivityTable::Geometry() const
{
  const QFontMetricsF metrics(Plot_Style::Font(Plot_Style::LABEL_PIXELS + 1));
  TGeometry geometry;
  geometry.row_height = std::max(metrics.height() + 8.0, 24.0);
  geometry.label_width = metrics.horizontalAdvance(QStringLiteral("RXX   X Axis Deflection")) + 3 * CELL_PADDING;
  geometry.left = geometry.label_width;
  geometry.top = geometry.row_height;
  const double minimum_column = metrics.horizontalAdvance(QStringLiteral("ISO 10360-2 (µm)")) + 2 * CELL_PADDING;
  // The table stays compact on a wide page: numbers far apart are hard to read across.
  geometry.column_width =
      std::clamp((size().width() - geometry.label_width) / Sensitivity::KIND_COUNT, minimum_column, 220.0);
  return geometry;
}

QSizeF TSensitivityTable::sizeHint(Qt::SizeHint which, const QSizeF& constraint) const
{
  if(which == Qt::MaximumSize)
  {
    return QGraphicsWidget::sizeHint(which, constraint);
  }
  const QFontMetricsF metrics(Plot_Style::Font(Plot_Style::LABEL_PIXELS + 1));
  const double row_height = std::max(metrics.height() + 8.0, 24.0);
  const double label_width = metrics.horizontalAdvance(QStringLiteral("RXX   X Axis Deflection")) + 3 * CELL_PADDING;
  const double column = metrics.horizontalAdvance(QStringLiteral("ISO 10360-2 (µm)")) + 2 * CELL_PADDING;
  // Header row, the rows, then a gap and the colour key with its labels.
  const double height =
      row_height * (static_cast<double>(d_rows.size()) + 1) + 16.0 + KEY_HEIGHT + metrics.height() + 8.0;
  return QSizeF(label_width + Sensitivity::KIND_COUNT * column, height);
}

void TSensitivityTable::paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget)
{
  Q_UNUSED(option);
  Q_UNUSED(widget);
  const TGeometry g = Geometry();
  const QFont font = Plot_Style::Font(Plot_Style::LABEL_PIXELS + 1);
  const QFont bold = Plot_Style::Font(Plot_Style::LABEL_PIXELS + 1, true);
  const QFontMetricsF metrics(font);
  const QPen grid(QColor(190, 190, 190));

  painter->setFont(bold);
  painter->setPen(Qt::black);
  painter->drawText(QRectF(0.0, 0.0, g.label_width - CELL_PADDING, g.row_height), Qt::AlignLeft | Qt::AlignVCenter,
                    QStringLiteral("Parameter"));
  for(int kind = 0; kind < Sensitivity::KIND_COUNT; ++kind)
  {
    const QRectF cell(g.left + kind * g.column_width, 0.0, g.column_width, g.row_height);
    painter->drawText(cell, Qt::AlignCenter, QStringLiteral("%1 (µm)").arg(Sensitivity::Kind_Title(kind)));
  }

  for(std::size_t r = 0; r < d_rows.size(); ++r)
  {
    const Sensitivity::TRow& row = d_rows[r];
    const double y = g.top + static_cast<double>(r) * g.row_height;
    painter->setFont(bold);
    painter->setPen(Qt::black);
    painter->drawText(QRectF(0.0, y, 50.0, g.row_height), Qt::AlignLeft | Qt::AlignVCenter, row.code);
    painter->setFont(font);
    painter->drawText(QRectF(50.0, y, g.label_width - 50.0, g.row_height), Qt::AlignLeft | Qt::AlignVCenter, row.label);
    for(int kind = 0; kind < Sensitivity::KIND_COUNT; ++kind)
    {
      const QRectF cell(g.left + kind * g.column_width, y, g.column_width, g.row_height);
      const double t = row.present[kind] && row.value[kind] > 0.0 && d_largest > 0.0
                           ? 1.0 + std::log10(row.value[kind] / d_largest) / DECADES
                           : 0.0;
      painter->fillRect(cell, row.present[kind] ? Cell_Colour(row.value[kind], d_largest) : QColor(240, 240, 240));
      painter->setPen(grid);
      painter->drawRect(cell);
      painter->setPen(t > 0.7 ? Qt::white : Qt::black);
      painter->drawText(cell.adjusted(CELL_PADDING, 0.0, -CELL_PADDING, 0.0), Qt::AlignRight | Qt::AlignVCenter,
                        Value_Text(row, kind));
    }
  }

  // The colour key: a ramp over the decades below the largest value.
  const double key_top = g.top + static_cast<double>(d_rows.size()) * g.row_height + 16.0;
  const double key_width = Sensitivity::KIND_COUNT * g.column_width;
  const QRectF key(g.left, key_top, key_width, KEY_HEIGHT);
  QLinearGradient gradient(key.topLeft(), key.topRight());
  for(int i = 0; i <= 12; ++i)
  {
    gradient.setColorAt(i / 12.0, Scale_Colour(i / 12.0));
  }
  painter->fillRect(key, gradient);
  painter->setPen(grid);
  painter->drawRect(key);
  painter->setFont(font);
  painter->setPen(Qt::black);
  painter->drawText(QRectF(0.0, key_top - 4.0, g.label_width - CELL_PADDING, KEY_HEIGHT + 8.0),
                    Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Colour key (µm)"));
  if(d_largest > 0.0 && std::isfinite(d_largest * MICRO))
  {
    // Ticks on the round powers of ten that the ramp covers, not on its odd ends.
    const double top = std::log10(d_largest * MICRO);
    for(double power = std::ceil(top - DECADES - 1e-9); power <= top + 1e-9; power += 1.0)
    {
      const double x = key.left() + key_width * (1.0 + (power - top) / DECADES);
      const QString text = QString::number(std::pow(10.0, power), 'g', 3);
      const double width = metrics.horizontalAdvance(text);
      const double left = std::clamp(x - width / 2.0, key.left(), key.right() - width);
      painter->drawLine(QPointF(x, key.bottom()), QPointF(x, key.bottom() + 3.0));
      painter->drawText(QPointF(left, key.bottom() + 4.0 + metrics.ascent()), text);
    }
  }
}

void TSensitivityTable::hoverMoveEvent(QGraphicsSceneHoverEvent* event)
{
  const TGeometry g = Geometry();
  const QPointF position = event->pos();
  const int row = static_cast<int>(std::floor((position.y() - g.top) / g.row_height));
  const int kind = static_cast<int>(std::floor((position.x() - g.left) / g.column_width));
  if(position.y() < g.top || position.x() < g.left || row < 0 || row >= static_cast<int>(d_rows.size()) || kind < 0 ||
     kind >= Sensitivity::KIND_COUNT)
  {
    QToolTip::hideText();
    return;
  }
  const Sensitivity::TRow& entry = d_rows[static_cast<std::size_t>(row)];
  const QString text = entry.present[kind]
                           ? QStringLiteral("%1 (%2) alone\n%3: largest deviation %4 µm")
                                 .arg(entry.label, entry.code, Sensitivity::Kind_Title(kind), Value_Text(entry, kind))
                           : QStringLiteral("%1 (%2)\nNo %3 measurement selected")
                                 .arg(entry.label, entry.code, Sensitivity::Kind_Title(kind));
  QToolTip::showText(event->screenPos(), text);
}

void TSensitivityTable::hoverLeaveEvent(QGraphicsSceneHoverEvent* event)
{
  Q_UNUSED(event);
  QToolTip::hideText();
}
