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

// The columns: one per kind of test, then what a laser reads besides the length.
const int STRAIGHTNESS_COLUMN = Sensitivity::KIND_COUNT;
const int ANGLE_COLUMN = Sensitivity::KIND_COUNT + 1;
const int COLUMN_COUNT = Sensitivity::KIND_COUNT + 2;

QString Column_Title(int column)
{
  return column == STRAIGHTNESS_COLUMN ? QStringLiteral("Laser straightness (µm)")
         : column == ANGLE_COLUMN      ? QStringLiteral("Laser angle (µrad)")
                                       : QStringLiteral("%1 (µm)").arg(Sensitivity::Kind_Title(column));
}

bool Present(const Sensitivity::TRow& row, int column)
{
  return column >= Sensitivity::KIND_COUNT ? row.laser_present : row.present[column];
}

// mm, or mm/m in the angle column.
double Value(const Sensitivity::TRow& row, int column)
{
  return column == STRAIGHTNESS_COLUMN ? row.laser_straightness
         : column == ANGLE_COLUMN      ? row.laser_angle
                                       : row.value[column];
}

// The column titles wrap: a column needs room for its longest word and a value.
double Minimum_Column(const QFontMetricsF& metrics)
{
  return std::max(metrics.horizontalAdvance(QStringLiteral("straightness")),
                  metrics.horizontalAdvance(QStringLiteral("10360-2 (µm)"))) +
         2 * CELL_PADDING;
}

// "X Axis Rx", or per unit "X Axis Rx, per µrad".
QString Row_Label(const Sensitivity::TRow& row)
{
  return row.unit.isEmpty() ? row.label : QStringLiteral("%1, per %2").arg(row.label, row.unit);
}

// Room for the longest label of these rows, and never less than the usual table has: a label
// per unit is longer, and sizing for the longest one possible would push the table past a
// 1024-pixel screen.
double Label_Width(const QFontMetricsF& metrics, const std::vector<Sensitivity::TRow>& rows)
{
  double width = metrics.horizontalAdvance(QStringLiteral("RXX   X Axis Deflection")) + 3 * CELL_PADDING;
  for(const Sensitivity::TRow& row : rows)
  {
    // The label is drawn from x = 50, after the code.
    width = std::max(width, 50.0 + metrics.horizontalAdvance(Row_Label(row)) + 2 * CELL_PADDING);
  }
  return width;
}

QString Value_Text(const Sensitivity::TRow& row, int column)
{
  return Present(row, column) ? QString::number(Value(row, column) * MICRO, 'f', 3) : QStringLiteral("--");
}
} // namespace

TSensitivityTable::TSensitivityTable(const std::vector<Sensitivity::TRow>& rows, QGraphicsItem* parent)
    : QGraphicsWidget(parent), d_rows(rows)
{
  for(const Sensitivity::TRow& row : d_rows)
  {
    for(int column = 0; column < ANGLE_COLUMN; ++column)
    {
      if(Present(row, column))
      {
        d_largest = std::max(d_largest, Value(row, column));
      }
    }
    if(row.laser_present)
    {
      d_largest_angle = std::max(d_largest_angle, row.laser_angle);
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
  geometry.label_width = Label_Width(metrics, d_rows);
  geometry.left = geometry.label_width;
  // Two lines of column titles: the laser's are long.
  geometry.top = 2.0 * geometry.row_height;
  const double minimum_column = Minimum_Column(metrics);
  // The table stays compact on a wide page: numbers far apart are hard to read across.
  geometry.column_width = std::clamp((size().width() - geometry.label_width) / COLUMN_COUNT, minimum_column, 220.0);
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
  const double label_width = Label_Width(metrics, d_rows);
  const double column = Minimum_Column(metrics);
  // Header rows, the rows, then a gap and the colour key with its labels.
  const double height =
      row_height * (static_cast<double>(d_rows.size()) + 2) + 16.0 + KEY_HEIGHT + metrics.height() + 8.0;
  return QSizeF(label_width + COLUMN_COUNT * column, height);
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
  painter->drawText(QRectF(0.0, 0.0, g.label_width - CELL_PADDING, g.top), Qt::AlignLeft | Qt::AlignVCenter,
                    QStringLiteral("Parameter"));
  for(int column = 0; column < COLUMN_COUNT; ++column)
  {
    const QRectF cell(g.left + column * g.column_width, 0.0, g.column_width, g.top);
    painter->drawText(cell.adjusted(2.0, 0.0, -2.0, 0.0), Qt::AlignCenter | Qt::TextWordWrap, Column_Title(column));
  }

  for(std::size_t r = 0; r < d_rows.size(); ++r)
  {
    const Sensitivity::TRow& row = d_rows[r];
    const double y = g.top + static_cast<double>(r) * g.row_height;
    painter->setFont(bold);
    painter->setPen(Qt::black);
    painter->drawText(QRectF(0.0, y, 50.0, g.row_height), Qt::AlignLeft | Qt::AlignVCenter, row.code);
    painter->setFont(font);
    painter->drawText(QRectF(50.0, y, g.label_width - 50.0, g.row_height), Qt::AlignLeft | Qt::AlignVCenter,
                      Row_Label(row));
    for(int column = 0; column < COLUMN_COUNT; ++column)
    {
      const QRectF cell(g.left + column * g.column_width, y, g.column_width, g.row_height);
      // Angles have a scale of their own: a µrad is no µm.
      const double largest = column == ANGLE_COLUMN ? d_largest_angle : d_largest;
      const bool present = Present(row, column);
      const double value = Value(row, column);
      const double t = present && value > 0.0 && largest > 0.0 ? 1.0 + std::log10(value / largest) / DECADES : 0.0;
      painter->fillRect(cell, present ? Cell_Colour(value, largest) : QColor(240, 240, 240));
      painter->setPen(grid);
      painter->drawRect(cell);
      painter->setPen(t > 0.7 ? Qt::white : Qt::black);
      painter->drawText(cell.adjusted(CELL_PADDING, 0.0, -CELL_PADDING, 0.0), Qt::AlignRight | Qt::AlignVCenter,
                        Value_Text(row, column));
    }
  }

  // The colour key: a ramp over the decades below the largest value.
  const double key_top = g.top + static_cast<double>(d_rows.size()) * g.row_height + 16.0;
  const double key_width = COLUMN_COUNT * g.column_width;
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
  const int column = static_cast<int>(std::floor((position.x() - g.left) / g.column_width));
  if(position.y() < g.top || position.x() < g.left || row < 0 || row >= static_cast<int>(d_rows.size()) || column < 0 ||
     column >= COLUMN_COUNT)
  {
    QToolTip::hideText();
    return;
  }
  const Sensitivity::TRow& entry = d_rows[static_cast<std::size_t>(row)];
  QString text;
  if(column == STRAIGHTNESS_COLUMN || column == ANGLE_COLUMN)
  {
    text = entry.laser_present
               ? QStringLiteral("%1 (%2) alone\nLaser: largest %3 %4 inside the volume")
                     .arg(Row_Label(entry), entry.code,
                          column == ANGLE_COLUMN ? QStringLiteral("angle") : QStringLiteral("straightness"),
                          Value_Text(entry, column) +
                              (column == ANGLE_COLUMN ? QStringLiteral(" µrad") : QStringLiteral(" µm")))
               : QStringLiteral("%1 (%2)\nNo laser row inside the machine volume").arg(entry.label, entry.code);
  }
  else
  {
    text = entry.present[column]
               ? QStringLiteral("%1 (%2) alone\n%3: largest deviation %4 µm")
                     .arg(Row_Label(entry), entry.code, Sensitivity::Kind_Title(column), Value_Text(entry, column))
               : QStringLiteral("%1 (%2)\nNo %3 measurement selected")
                     .arg(entry.label, entry.code, Sensitivity::Kind_Title(column));
  }
  QToolTip::showText(event->screenPos(), text);
}

void TSensitivityTable::hoverLeaveEvent(QGraphicsSceneHoverEvent* event)
{
  Q_UNUSED(event);
  QToolTip::hideText();
}
