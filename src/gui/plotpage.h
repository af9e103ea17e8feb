#ifndef PLOTPAGE_H
#define PLOTPAGE_H

#include <QColor>
#include <QFont>
#include <QGraphicsWidget>
#include <QHash>
#include <QString>
#include <QStringList>

#include <vector>

class QGraphicsGridLayout;
class QPainter;

namespace QtCharts
{
class QBarSet;
class QChart;
class QScatterSeries;
class QXYSeries;
} // namespace QtCharts

// Fonts of the charts in pixels, so that a page lays out alike on the screen and in PNG, SVG
// and PDF files, whatever their resolution.
namespace Plot_Style
{
QFont Font(int pixels, bool bold = false);
inline constexpr int TITLE_PIXELS = 15;
inline constexpr int AXIS_TITLE_PIXELS = 13;
inline constexpr int LABEL_PIXELS = 12;
} // namespace Plot_Style

// Lines of text above the charts of a page: a bold title, then notes, each wrapped to the
// page's width.
class TPlotText : public QGraphicsWidget
{
  Q_OBJECT

public:
  explicit TPlotText(QGraphicsItem* parent = nullptr);

  void Set_Lines(const QString& title, const QStringList& notes);
  // The title, then the notes.
  QStringList Lines() const { return QStringList(d_title) + d_notes; }
  // A band of this colour behind the lines, which are then white; none when invalid.
  void Set_Ground(const QColor& ground);

  void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

protected:
  QSizeF sizeHint(Qt::SizeHint which, const QSizeF& constraint) const override;

private:
  // Draws the lines when painter is set; returns their height at width.
  double Lay_Out_Lines(double width, QPainter* painter) const;

  QString d_title;
  QStringList d_notes;
  QColor d_ground;
};

// What one point of a series stands for: its tooltip, and the result row that clicking it
// picks (id is the measurement's, -1 for none).
struct TPointInfo
{
  QString tip;
  int id = -1;
  int index = -1;
};

// One picture: a header over a grid of charts (or other items). The window shows it in a view,
// varlume-batch renders it into a file; both lay it out the same way. Hovering a point shows
// its tooltip; clicking a point of a result row emits Row_Clicked.
class TPlotPage : public QGraphicsWidget
{
  Q_OBJECT

public:
  explicit TPlotPage(QGraphicsItem* parent = nullptr);

  void Set_Header(const QString& title, const QStringList& notes);
  QStringList Header_Lines() const;
  // A line in a coloured band between the header and the charts: a decision read first.
  void Set_Banner(const QString& text, const QColor& ground);
  QString Banner_Text() const;
  // The page takes the item.
  void Add_Item(QGraphicsWidget* item, int row, int column, int row_span = 1, int column_span = 1);
  // The page takes the charts and gives them the common look. In reading order, at most most_columns per row, fewer
  // where the page is too narrow for cells of FLOW_CELL_WIDTH: Lay_Out places them again when the width asks for it.
  void Flow_Charts(const std::vector<QtCharts::QChart*>& charts, int most_columns);
  static constexpr double FLOW_CELL_WIDTH = 380.0;

  // Tooltips and picks of a series' points, by point index (for a line, the nearest point).
  void Set_Point_Info(QtCharts::QXYSeries* series, const std::vector<TPointInfo>& info);
  void Set_Bar_Info(QtCharts::QBarSet* set, const std::vector<TPointInfo>& info);

  // How Lay_Out may use the size: a view scrolls down a page that is too high, a picture file
  // shrinks the whole page into it.
  enum class TFit
  {
    WIDTH,
    WHOLE
  };

  // Lays the page out at size (not below its minimum) and settles the charts' own layouts.
  void Lay_Out(const QSizeF& size, TFit fit);

signals:
  void Row_Clicked(int id, int index);
  // Any point or bar clicked: its values, as its tooltip says them.
  void Point_Clicked(const QString& tip);

private:
  void Show_Tip(const TPointInfo* info);
  // Rings the point of series at index; the ring leaves any other point.
  void Highlight(QtCharts::QXYSeries* series, int index);
  void Clicked(const TPointInfo* info);
  // The common look of the page's charts.
  void Style(QtCharts::QChart* chart);
  void Place_Flow(const QSizeF& size, TFit fit);
  void Place_Flow_Columns(int columns);
  // The smallest size of the page when it is width wide (or its least width, if more).
  QSizeF Minimum_At(double width) const;
  const TPointInfo* Nearest(QtCharts::QXYSeries* series, const QPointF& value) const;

  TPlotText* d_header;
  TPlotText* d_banner = nullptr;
  QGraphicsGridLayout* d_grid;
  std::vector<QtCharts::QChart*> d_flow;
  int d_flow_most = 1;
  int d_flow_columns = 0; // as placed; 0 before the first placement
  QHash<QtCharts::QXYSeries*, std::vector<TPointInfo>> d_point_info;
  QHash<QtCharts::QBarSet*, std::vector<TPointInfo>> d_bar_info;
  QtCharts::QXYSeries* d_highlight = nullptr; // the ring around the point clicked last
};

// Writes the page as a PNG, SVG or PDF file, chosen by the file name's extension, laid out at
// size pixels (1/96 inch in SVG and PDF). False with a message for another extension or a file
// that cannot be written.
bool Write_Plot_File(TPlotPage* page, const QString& file_name, const QSize& size, QString* error);

// The same drawn into bytes, for a caller that writes several files together; false with a
// message ("cannot draw ...: <reason>") when it cannot be drawn.
bool Draw_Plot(TPlotPage* page, const QString& file_name, const QSize& size, QByteArray* bytes, QString* error);

// The extensions that Write_Plot_File knows: "png", "svg", "pdf".
bool Plot_File_Type_Known(const QString& file_name);

#endif
