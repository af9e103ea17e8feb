#include "src/gui/plotpage.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QCursor>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QGraphicsGridLayout>
#include <QGraphicsLinearLayout>
#include <QGraphicsScene>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSvgGenerator>
#include <QToolTip>
#include <QtCharts/QAbstractAxis>
#include <QtCharts/QBarSet>
#include <QtCharts/QChart>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QXYSeries>

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/safefile.h"
#include "core/varlume_assert.h"

using namespace QtCharts;

namespace
{
const double PAGE_MARGIN = 8.0;
const double LINE_GAP = 2.0;
// SVG and PDF pixels, as on a common screen.
const int FILE_DPI = 96;

QString Extension(const QString& file_name)
{
  return QFileInfo(file_name).suffix().toLower();
}

bool Save(const QString& file_name, const QByteArray& bytes, QString* error)
{
  QString reason;
  if(!SafeFile::Write_File(file_name, bytes, &reason))
  {
    *error = QStringLiteral("cannot write '%1': %2").arg(file_name, reason);
    return false;
  }
  return true;
}

// Rotated axis titles come out of the SVG generator as a text at (x, y) inside a group turned
// by a matrix. Written instead as a text centred on the origin of a group moved to the title's
// middle, the picture is the same in a browser, and simple renderers that turn text the wrong
// way round (ImageMagick's own) still put the title beside its axis instead of across labels.
QByteArray Centre_Turned_Texts(const QByteArray& svg)
{
  static const QRegularExpression text(
      QStringLiteral("(<g [^>]*?transform=\"matrix\\(([^)]*)\\)\"[^>]*>\\s*<text ([^>]*?)) x=\"([^\"]*)\" "
                     "y=\"([^\"]*)\"([^>]*)>([^<]*)</text>"));
  static const QRegularExpression size(QStringLiteral("font-size=\"([0-9.]+)\""));
  static const QRegularExpression family(QStringLiteral("font-family=\"([^\"]*)\""));
  static const QRegularExpression weight(QStringLiteral("font-weight=\"([0-9]+)\""));
  const QString source = QString::fromUtf8(svg);
  QString result;
  result.reserve(source.size());
  int done = 0;
  QRegularExpressionMatchIterator matches = text.globalMatch(source);
  while(matches.hasNext())
  {
    const QRegularExpressionMatch match = matches.next();
    const QStringList values = match.captured(2).split(QLatin1Char(','));
    if(values.size() != 6 || std::fabs(values[1].toDouble()) < 0.5)
    {
      continue; // not turned
    }
    double m[6];
    for(int i = 0; i < 6; ++i)
    {
      m[i] = values[i].toDouble();
    }
    const QString attributes = match.captured(3) + match.captured(6);
    QFont font(family.match(attributes).captured(1));
    font.setPixelSize(qMax(1, qRound(size.match(attributes).captured(1).toDouble())));
    font.setWeight(weight.match(attributes).captured(1).toInt() >= 600 ? QFont::Bold : QFont::Normal);
    QString content = match.captured(7);
    content.replace(QLatin1String("&lt;"), QLatin1String("<"))
        .replace(QLatin1String("&gt;"), QLatin1String(">"))
        .replace(QLatin1String("&quot;"), QLatin1String("\""))
        .replace(QLatin1String("&amp;"), QLatin1String("&"));
    const double x = match.captured(4).toDouble() + QFontMetricsF(font).horizontalAdvance(content) / 2.0;
    const double y = match.captured(5).toDouble();
    const QString matrix = QStringLiteral("matrix(%1,%2,%3,%4,%5,%6)")
                               .arg(m[0])
                               .arg(m[1])
                               .arg(m[2])
                               .arg(m[3])
                               .arg(m[0] * x + m[2] * y + m[4], 0, 'f', 3)
                               .arg(m[1] * x + m[3] * y + m[5], 0, 'f', 3);
    QString head = match.captured(1);
    head.replace(QStringLiteral("matrix(%1)").arg(match.captured(2)), matrix);
    result += source.midRef(done, match.capturedStart() - done);
    result += head + QStringLiteral(" x=\"0\" y=\"0\" text-anchor=\"middle\"") + match.captured(6) + QLatin1Char('>') +
              match.captured(7) + QStringLiteral("</text>");
    done = match.capturedEnd();
  }
  result += source.midRef(done);
  return result.toUtf8();
}
} // namespace

QFont Plot_Style::Font(int pixels, bool bold)
{
  QFont font;
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

TPlotText::TPlotText(QGraphicsItem* parent) : QGraphicsWidget(parent)
{
  QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
}

void TPlotText::Set_Lines(const QString& title, const QStringList& notes)
{
  d_title = title;
  d_notes = notes;
  updateGeometry();
  update();
}

double TPlotText::Lay_Out_Lines(double width, QPainter* painter) const
{
  const double text_width = std::max(width - 2 * PAGE_MARGIN, 1.0);
  double y = LINE_GAP;
  const auto line = [&](const QString& text, const QFont& font)
  {
    const QFontMetricsF metrics(font);
    const QRectF bounds(PAGE_MARGIN, y, text_width, 1e6);
    const QRectF used = metrics.boundingRect(bounds, Qt::TextWordWrap, text);
    if(painter)
    {
      painter->setFont(font);
      painter->drawText(bounds, Qt::TextWordWrap, text);
    }
    y += std::max(used.height(), metrics.height()) + LINE_GAP;
  };
  if(!d_title.isEmpty())
  {
    line(d_title, Plot_Style::Font(Plot_Style::TITLE_PIXELS + 2, true));
  }
  for(const QString& note : d_notes)
  {
    line(note, Plot_Style::Font(Plot_Style::LABEL_PIXELS + 1));
  }
  return y == LINE_GAP ? 0.0 : y + LINE_GAP;
}

QSizeF TPlotText::sizeHint(Qt::SizeHint which, const QSizeF& constraint) const
{
  if(which == Qt::MaximumSize)
  {
    return QGraphicsWidget::sizeHint(which, constraint);
  }
  // A long note wraps: the height follows the width that the page gives. Without a width, one
  // line each, as the layout then takes the larger of the two heights.
  const double width = constraint.width() > 0.0 ? constraint.width() : 1e6;
  return QSizeF(which == Qt::MinimumSize ? 100.0 : 600.0, Lay_Out_Lines(width, nullptr));
}

void TPlotText::Set_Ground(const QColor& ground)
{
  d_ground = ground;
  update();
}

void TPlotText::paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget)
{
  Q_UNUSED(option);
  Q_UNUSED(widget);
  if(d_ground.isValid())
  {
    painter->fillRect(rect(), d_ground);
    painter->setPen(Qt::white);
    Lay_Out_Lines(size().width(), painter);
    return;
  }
  painter->setPen(Qt::black);
  Lay_Out_Lines(size().width(), painter);
}

TPlotPage::TPlotPage(QGraphicsItem* parent) : QGraphicsWidget(parent)
{
  QGraphicsLinearLayout* layout = new QGraphicsLinearLayout(Qt::Vertical, this);
  layout->setContentsMargins(PAGE_MARGIN, PAGE_MARGIN, PAGE_MARGIN, PAGE_MARGIN);
  layout->setSpacing(4.0);
  d_header = new TPlotText();
  layout->addItem(d_header);
  d_grid = new QGraphicsGridLayout();
  d_grid->setSpacing(6.0);
  layout->addItem(d_grid);
  layout->setStretchFactor(d_grid, 1);
  setAutoFillBackground(true);
  QPalette page_palette = palette();
  page_palette.setColor(QPalette::Window, Qt::white);
  setPalette(page_palette);
}

void TPlotPage::Set_Header(const QString& title, const QStringList& notes)
{
  d_header->Set_Lines(title, notes);
}

void TPlotPage::Style(QChart* chart)
{
  VARLUME_ASSERT(chart);
  chart->setAnimationOptions(QChart::NoAnimation);
  chart->setBackgroundRoundness(0.0);
  chart->setMargins(QMargins(6, 6, 6, 6));
  chart->setTitleFont(Plot_Style::Font(Plot_Style::TITLE_PIXELS, true));
  chart->legend()->setFont(Plot_Style::Font(Plot_Style::LABEL_PIXELS));
  for(QAbstractAxis* axis : chart->axes())
  {
    axis->setTitleFont(Plot_Style::Font(Plot_Style::AXIS_TITLE_PIXELS));
    axis->setLabelsFont(Plot_Style::Font(Plot_Style::LABEL_PIXELS));
  }
  chart->setMinimumSize(300.0, 280.0);
}

QStringList TPlotPage::Header_Lines() const
{
  return d_header->Lines();
}

void TPlotPage::Set_Banner(const QString& text, const QColor& ground)
{
  if(!d_banner)
  {
    d_banner = new TPlotText();
    static_cast<QGraphicsLinearLayout*>(layout())->insertItem(1, d_banner);
  }
  d_banner->Set_Lines(text, {});
  d_banner->Set_Ground(ground);
}

QString TPlotPage::Banner_Text() const
{
  return d_banner ? d_banner->Lines().value(0) : QString();
}

void TPlotPage::Add_Item(QGraphicsWidget* item, int row, int column, int row_span, int column_span)
{
  VARLUME_ASSERT(item);
  d_grid->addItem(item, row, column, row_span, column_span);
}

void TPlotPage::Flow_Charts(const std::vector<QChart*>& charts, int most_columns)
{
  VARLUME_ASSERT(d_flow.empty() && most_columns >= 1);
  d_flow = charts;
  d_flow_most = most_columns;
  for(QChart* chart : d_flow)
  {
    Style(chart);
  }
  Place_Flow_Columns(d_flow_most);
}

void TPlotPage::Place_Flow(const QSizeF& size, TFit fit)
{
  if(d_flow.empty())
  {
    return;
  }
  const double spacing = d_grid->horizontalSpacing();
  const double fitting = std::floor((size.width() - 2 * PAGE_MARGIN + spacing) / (FLOW_CELL_WIDTH + spacing));
  int columns = fitting >= d_flow_most ? d_flow_most : std::max(1, static_cast<int>(fitting));
  Place_Flow_Columns(columns);
  if(fit == TFit::WIDTH || Minimum_At(size.width()).height() <= size.height())
  {
    return;
  }
  // Too high for the picture: the number of columns that lets the page shrink least.
  double best_scale = 0.0;
  for(int candidate = d_flow_most; candidate >= 1; --candidate)
  {
    Place_Flow_Columns(candidate);
    const QSizeF minimum = Minimum_At(size.width());
    const double scale = std::min({1.0, size.width() / minimum.width(), size.height() / minimum.height()});
    if(scale > best_scale)
    {
      best_scale = scale;
      columns = candidate;
    }
  }
  Place_Flow_Columns(columns);
}

QSizeF TPlotPage::Minimum_At(double width) const
{
  // At the width given, as the header's notes wrap to it; never narrower than the page can be.
  const double at = std::max(width, effectiveSizeHint(Qt::MinimumSize).width());
  return effectiveSizeHint(Qt::MinimumSize, QSizeF(at, -1.0)).expandedTo(QSizeF(at, 0.0));
}

void TPlotPage::Place_Flow_Columns(int columns)
{
  if(columns == d_flow_columns)
  {
    return;
  }
  if(d_flow_columns > 0)
  {
    for(QChart* chart : d_flow)
    {
      d_grid->removeItem(chart);
    }
  }
  for(std::size_t i = 0; i < d_flow.size(); ++i)
  {
    const int index = static_cast<int>(i);
    d_grid->addItem(d_flow[i], index / columns, index % columns);
  }
  d_flow_columns = columns;
  // The page's own layout keeps the grid's old size hints until told.
  layout()->invalidate();
}

void TPlotPage::Set_Point_Info(QXYSeries* series, const std::vector<TPointInfo>& info)
{
  VARLUME_ASSERT(series);
  d_point_info.insert(series, info);
  connect(series, &QXYSeries::hovered, this,
          [this, series](const QPointF& point, bool state) { Show_Tip(state ? Nearest(series, point) : nullptr); });
  connect(series, &QXYSeries::clicked, this,
          [this, series](const QPointF& point)
          {
            const TPointInfo* info = Nearest(series, point);
            if(info)
            {
              Highlight(series, static_cast<int>(info - d_point_info[series].data()));
            }
            Clicked(info);
          });
}

void TPlotPage::Set_Bar_Info(QBarSet* set, const std::vector<TPointInfo>& info)
{
  VARLUME_ASSERT(set);
  d_bar_info.insert(set, info);
  const auto at = [this, set](int index) -> const TPointInfo*
  {
    const std::vector<TPointInfo>& list = d_bar_info[set];
    return index >= 0 && index < static_cast<int>(list.size()) ? &list[static_cast<std::size_t>(index)] : nullptr;
  };
  connect(set, &QBarSet::hovered, this, [this, at](bool state, int index) { Show_Tip(state ? at(index) : nullptr); });
  connect(set, &QBarSet::clicked, this, [this, at](int index) { Clicked(at(index)); });
}

void TPlotPage::Clicked(const TPointInfo* info)
{
  if(!info)
  {
    return;
  }
  emit Point_Clicked(info->tip);
  if(info->id >= 0 && info->index >= 0)
  {
    emit Row_Clicked(info->id, info->index);
  }
}

void TPlotPage::Highlight(QXYSeries* series, int index)
{
  QChart* chart = series->chart();
  if(!chart || index < 0 || index >= series->count())
  {
    return;
  }
  if(d_highlight && d_highlight->chart() != chart)
  {
    d_highlight->chart()->removeSeries(d_highlight);
    delete d_highlight;
    d_highlight = nullptr;
  }
  if(!d_highlight)
  {
    QScatterSeries* ring = new QScatterSeries();
    ring->setMarkerShape(QScatterSeries::MarkerShapeCircle);
    ring->setMarkerSize(18.0);
    ring->setBrush(Qt::NoBrush);
    QPen pen(Qt::black);
    pen.setWidthF(2.5);
    ring->setPen(pen);
    chart->addSeries(ring);
    for(QAbstractAxis* axis : series->attachedAxes())
    {
      ring->attachAxis(axis);
    }
    for(QLegendMarker* marker : chart->legend()->markers(ring))
    {
      marker->setVisible(false);
    }
    d_highlight = ring;
  }
  d_highlight->replace(QVector<QPointF>{series->at(index)});
}

const TPointInfo* TPlotPage::Nearest(QXYSeries* series, const QPointF& value) const
{
  const auto found = d_point_info.constFind(series);
  QChart* chart = series->chart();
  if(found == d_point_info.constEnd() || !chart)
  {
    return nullptr;
  }
  // Compared on the screen: the axes of a chart have unrelated units.
  const QPointF target = chart->mapToPosition(value, series);
  const QVector<QPointF> points = series->pointsVector();
  int best = -1;
  double best_distance = std::numeric_limits<double>::max();
  for(int i = 0; i < points.size() && i < static_cast<int>(found->size()); ++i)
  {
    const QPointF delta = chart->mapToPosition(points[i], series) - target;
    const double distance = delta.x() * delta.x() + delta.y() * delta.y();
    if(distance < best_distance)
    {
      best_distance = distance;
      best = i;
    }
  }
  return best < 0 ? nullptr : &(*found)[static_cast<std::size_t>(best)];
}

void TPlotPage::Show_Tip(const TPointInfo* info)
{
  if(info && !info->tip.isEmpty())
  {
    QToolTip::showText(QCursor::pos(), info->tip);
  }
  else
  {
    QToolTip::hideText();
  }
}

void TPlotPage::Lay_Out(const QSizeF& size, TFit fit)
{
  Place_Flow(size, fit);
  resize(size.expandedTo(Minimum_At(size.width())));
  if(layout())
  {
    layout()->activate();
  }
}

bool Plot_File_Type_Known(const QString& file_name)
{
  const QString extension = Extension(file_name);
  return extension == QLatin1String("png") || extension == QLatin1String("svg") || extension == QLatin1String("pdf");
}

bool Write_Plot_File(TPlotPage* page, const QString& file_name, const QSize& size, QString* error)
{
  QByteArray bytes;
  return Draw_Plot(page, file_name, size, &bytes, error) && Save(file_name, bytes, error);
}

bool Draw_Plot(TPlotPage* page, const QString& file_name, const QSize& size, QByteArray* bytes, QString* error)
{
  VARLUME_ASSERT(page);
  VARLUME_ASSERT(bytes);
  VARLUME_ASSERT(error);
  const QString extension = Extension(file_name);
  if(!Plot_File_Type_Known(file_name))
  {
    *error = QStringLiteral("'%1': the file name must end in .png, .svg or .pdf").arg(file_name);
    return false;
  }

  QGraphicsScene scene;
  QGraphicsScene* previous = page->scene();
  if(previous)
  {
    previous->removeItem(page);
  }
  scene.addItem(page);
  page->Lay_Out(QSizeF(size), TPlotPage::TFit::WHOLE);
  // The charts place their axes and labels in posted layout requests.
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  const QRectF source(QPointF(0.0, 0.0), page->size());
  scene.setSceneRect(source);

  const auto render = [&](QPainter* painter, const QRectF& target)
  {
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::TextAntialiasing);
    painter->fillRect(target, Qt::white);
    scene.render(painter, target, source, Qt::KeepAspectRatio);
  };

  bytes->clear();
  QBuffer buffer(bytes);
  buffer.open(QIODevice::WriteOnly);
  bool drawn = false;
  QString reason;
  if(extension == QLatin1String("png"))
  {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    if(image.isNull())
    {
      // Painting on a picture that could not be allocated would fail for every item drawn.
      reason = QStringLiteral("not enough memory for a picture of %1x%2 pixels").arg(size.width()).arg(size.height());
    }
    else
    {
      image.setDotsPerMeterX(qRound(FILE_DPI / 0.0254));
      image.setDotsPerMeterY(qRound(FILE_DPI / 0.0254));
      image.fill(Qt::white);
      QPainter painter(&image);
      render(&painter, QRectF(QPointF(0.0, 0.0), QSizeF(size)));
      painter.end();
      drawn = image.save(&buffer, "PNG");
    }
  }
  else if(extension == QLatin1String("svg"))
  {
    QSvgGenerator generator;
    generator.setOutputDevice(&buffer);
    generator.setSize(size);
    generator.setViewBox(QRect(QPoint(0, 0), size));
    generator.setResolution(FILE_DPI);
    generator.setTitle(QFileInfo(file_name).completeBaseName());
    QPainter painter;
    drawn = painter.begin(&generator);
    if(drawn)
    {
      render(&painter, QRectF(QPointF(0.0, 0.0), QSizeF(size)));
      drawn = painter.end();
    }
  }
  else
  {
    QPdfWriter writer(&buffer);
    writer.setResolution(FILE_DPI);
    writer.setPageSize(QPageSize(QSizeF(size) * 72.0 / FILE_DPI, QPageSize::Point));
    writer.setPageMargins(QMarginsF(0.0, 0.0, 0.0, 0.0));
    writer.setTitle(QFileInfo(file_name).completeBaseName());
    writer.setCreator(QStringLiteral("Varlume"));
    QPainter painter;
    drawn = painter.begin(&writer);
    if(drawn)
    {
      render(&painter, QRectF(0.0, 0.0, writer.width(), writer.height()));
      drawn = painter.end();
    }
  }
  buffer.close();

  scene.removeItem(page);
  if(previous)
  {
    previous->addItem(page);
  }
  if(!drawn)
  {
    *error = reason.isEmpty() ? QStringLiteral("cannot draw '%1'").arg(file_name)
                              : QStringLiteral("cannot draw '%1': %2").arg(file_name, reason);
    return false;
  }
  if(extension == QLatin1String("svg"))
  {
    *bytes = Centre_Turned_Texts(*bytes);
  }
  return true;
}
