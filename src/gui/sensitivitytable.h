#ifndef SENSITIVITYTABLE_H
#define SENSITIVITYTABLE_H

#include <QColor>
#include <QGraphicsWidget>

#include <vector>

#include "src/model/sensitivity.h"

// The parameter x test table of the sensitivity page: one row per parameter, one column per kind
// of test, then the laser's straightness and angle readings, each cell the largest value in µm
// (µrad) on a colour that grows with its size (logarithmic, from a thousandth of the largest
// length or, for angles, the largest angle), and the colour key below.
class TSensitivityTable : public QGraphicsWidget
{
  Q_OBJECT

public:
  explicit TSensitivityTable(const std::vector<Sensitivity::TRow>& rows, QGraphicsItem* parent = nullptr);

  void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

  // The cell colour of a value (mm) in a table whose largest value is largest (mm).
  static QColor Cell_Colour(double value, double largest);

protected:
  QSizeF sizeHint(Qt::SizeHint which, const QSizeF& constraint) const override;
  void hoverMoveEvent(QGraphicsSceneHoverEvent* event) override;
  void hoverLeaveEvent(QGraphicsSceneHoverEvent* event) override;

private:
  struct TGeometry
  {
    double left; // x of the first value column
    double top;  // y of the first row
    double row_height;
    double column_width;
    double label_width;
  };
  TGeometry Geometry() const;

  std::vector<Sensitivity::TRow> d_rows;
  double d_largest = 0.0;       // mm, over the length and straightness columns
  double d_largest_angle = 0.0; // mm/m
};

#endif
