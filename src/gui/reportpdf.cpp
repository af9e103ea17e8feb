#include "src/gui/reportpdf.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QCoreApplication>
#include <QGraphicsScene>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextObjectInterface>
#include <QTextTable>

#include <cmath>
#include <memory>

#include "core/safefile.h"
#include "src/gui/conformitychart.h"
#include "src/gui/plotpage.h"

namespace
{
using Calibration_Report::TBlock;
using TKind = TBlock::TKind;

const int CHART_OBJECT = QTextFormat::UserObject + 1;
const double MARGIN_MM = 20.0;
// Room at the foot of each page for the report number and the page count.
const double FOOTER_MM = 8.0;
const double BODY_POINTS = 9.0;
// The chart's own layout size in pixels; it is scaled to the text's width as a vector drawing.
const QSizeF CHART_LAYOUT(1000.0, 620.0);

QFont Font(double points, bool bold = false, bool fixed = false)
{
  QFont font(fixed ? QStringLiteral("DejaVu Sans Mono") : QStringLiteral("DejaVu Sans"));
  font.setStyleHint(fixed ? QFont::TypeWriter : QFont::SansSerif);
  font.setPointSizeF(points);
  font.setBold(bold);
  return font;
}

// Draws the conformity page of the Plots tab where the document holds its object.
class TChartObject : public QObject, public QTextObjectInterface
{
  Q_OBJECT
  Q_INTERFACES(QTextObjectInterface)

public:
  explicit TChartObject(const Conformity::TReport& report) : d_page(Conformity_Chart::Page(report))
  {
    d_scene.addItem(d_page);
    d_page->Lay_Out(CHART_LAYOUT, TPlotPage::TFit::WHOLE);
    // The charts place their axes and labels in posted layout requests.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    d_scene.setSceneRect(QRectF(QPointF(0.0, 0.0), d_page->size()));
  }

  QSizeF intrinsicSize(QTextDocument* document, int, const QTextFormat&) override
  {
    const double width = document->textWidth();
    return QSizeF(width, width * d_page->size().height() / d_page->size().width());
  }

  void drawObject(QPainter* painter, const QRectF& rect, QTextDocument*, int, const QTextFormat&) override
  {
    // Every page draws the whole document clipped to itself: text clipped away still stands in
    // the PDF, and a reader would find the chart's words on two pages.
    // (A page's clip ends where the next begins, up to rounding: a sliver is no overlap.)
    if(painter->hasClipping() && painter->clipBoundingRect().intersected(rect).height() < 1.0)
    {
      return;
    }
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    d_scene.render(painter, rect, d_scene.sceneRect(), Qt::KeepAspectRatio);
    painter->restore();
  }

private:
  QGraphicsScene d_scene;
  TPlotPage* d_page; // the scene's
};

void Insert_Table(QTextCursor* cursor, const Calibration_Report::TTable& table, bool heads, bool grid)
{
  const int columns = table.heads.isEmpty() ? 2 : table.heads.size();
  const int rows = static_cast<int>(table.rows.size()) + (heads ? 1 : 0);
  if(rows == 0)
  {
    return;
  }
  QTextTableFormat format;
  format.setHeaderRowCount(heads ? 1 : 0);
  format.setCellPadding(2.0);
  format.setCellSpacing(0.0);
  format.setBorder(grid ? 0.5 : 0.0);
  format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
  format.setBorderBrush(QColor(150, 150, 150));
  format.setWidth(QTextLength(QTextLength::PercentageLength, 100.0));
  QTextTable* text_table = cursor->insertTable(rows, columns, format);
  QTextCharFormat bold;
  bold.setFont(Font(BODY_POINTS - 0.5, true));
  QTextCharFormat plain;
  plain.setFont(Font(BODY_POINTS - 0.5));
  const auto fill = [&](int row, int column, const QString& text, const QTextCharFormat& character, bool right)
  {
    QTextTableCell cell = text_table->cellAt(row, column);
    QTextCursor at = cell.firstCursorPosition();
    QTextBlockFormat block;
    block.setAlignment(right ? Qt::AlignRight : Qt::AlignLeft);
    at.setBlockFormat(block);
    at.insertText(text, character);
    if(heads && row == 0)
    {
      QTextTableCellFormat shade;
      shade.setBackground(QColor(230, 230, 230));
      cell.setFormat(shade);
    }
  };
  const auto numeric = [&table](int column)
  { return column < static_cast<int>(table.numeric.size()) && table.numeric[static_cast<std::size_t>(column)]; };
  for(int column = 0; heads && column < columns; ++column)
  {
    fill(0, column, table.heads[column], bold, numeric(column));
  }
  for(std::size_t r = 0; r < table.rows.size(); ++r)
  {
    for(int column = 0; column < columns && column < table.rows[r].size(); ++column)
    {
      fill(static_cast<int>(r) + (heads ? 1 : 0), column, table.rows[r][column], !heads && column == 0 ? bold : plain,
           numeric(column));
    }
  }
  cursor->movePosition(QTextCursor::End);
}

void Insert_Paragraph(QTextCursor* cursor, const QString& text, const QFont& font, double space_before = 3.0)
{
  QTextBlockFormat block;
  block.setTopMargin(space_before);
  block.setBottomMargin(2.0);
  QTextCharFormat character;
  character.setFont(font);
  cursor->insertBlock(block, character);
  cursor->insertText(text, character);
}

void Insert_Block(QTextCursor* cursor, const TBlock& block)
{
  switch(block.kind)
  {
  case TKind::PARAGRAPH:
    Insert_Paragraph(cursor, block.text, Font(BODY_POINTS));
    break;
  case TKind::DECISION:
    Insert_Paragraph(cursor, block.text, Font(BODY_POINTS + 1.0, true), 6.0);
    break;
  case TKind::PREFORMATTED:
    for(const QString& line : block.text.split(QLatin1Char('\n')))
    {
      Insert_Paragraph(cursor, line, Font(6.5, false, true), 0.0);
    }
    break;
  case TKind::FIELDS:
    Insert_Paragraph(cursor, QString(), Font(2.0), 0.0);
    Insert_Table(cursor, block.table, false, false);
    break;
  case TKind::TABLE:
    Insert_Paragraph(cursor, QString(), Font(2.0), 0.0);
    Insert_Table(cursor, block.table, true, true);
    break;
  case TKind::CHART:
  {
    Insert_Paragraph(cursor, QString(), Font(BODY_POINTS));
    QTextCharFormat chart;
    chart.setObjectType(CHART_OBJECT);
    cursor->insertText(QString(QChar::ObjectReplacementCharacter), chart);
    break;
  }
  case TKind::SIGNATURES:
  {
    Calibration_Report::TTable table;
    table.heads = QStringList{QStringLiteral("Role"), QStringLiteral("Name"), QStringLiteral("Date and signature")};
    for(const QStringList& row : block.table.rows)
    {
      table.rows.push_back({row.value(0), row.value(1), QStringLiteral("\n\n________________________________")});
    }
    Insert_Paragraph(cursor, QString(), Font(2.0), 0.0);
    Insert_Table(cursor, table, false, false);
    break;
  }
  }
}

void Fill(QTextDocument* text, const Calibration_Report::TDocument& document)
{
  QTextCursor cursor(text);
  // One layout at the end, not one per cell.
  cursor.beginEditBlock();
  QTextCharFormat title;
  title.setFont(Font(18.0, true));
  cursor.insertText(document.title, title);
  Insert_Paragraph(&cursor, QStringLiteral("Report number: %1").arg(document.report_number), Font(BODY_POINTS + 1.0));
  for(const Calibration_Report::TSection& section : document.sections)
  {
    Insert_Paragraph(&cursor, section.heading, Font(12.0, true), 12.0);
    for(const TBlock& block : section.blocks)
    {
      Insert_Block(&cursor, block);
    }
  }
  Insert_Paragraph(&cursor, document.end_line, Font(BODY_POINTS, true), 14.0);
  cursor.endEditBlock();
}

// The signatures and the end line on one page: when they would run over a page break, the last
// section starts on a new page.
void Keep_End_Together(QTextDocument* text, const Calibration_Report::TDocument& document, double page_height)
{
  if(document.sections.empty())
  {
    return;
  }
  QAbstractTextDocumentLayout* layout = text->documentLayout();
  const QString heading = document.sections.back().heading;
  for(QTextBlock block = text->lastBlock(); block.isValid(); block = block.previous())
  {
    if(block.text() != heading)
    {
      continue;
    }
    const double top = layout->blockBoundingRect(block).top();
    const double bottom = layout->blockBoundingRect(text->lastBlock()).bottom();
    if(std::floor(top / page_height) != std::floor(bottom / page_height))
    {
      QTextCursor cursor(block);
      QTextBlockFormat format = block.blockFormat();
      format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
      cursor.setBlockFormat(format);
    }
    return;
  }
}

void Draw_Footer(QPainter* painter, const QRectF& footer, const QString& number, int page, int pages)
{
  painter->save();
  painter->setFont(Font(8.0));
  painter->setPen(QColor(60, 60, 60));
  painter->drawLine(footer.topLeft(), footer.topRight());
  painter->drawText(footer, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Calibration report %1").arg(number));
  painter->drawText(footer, Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("Page %1 of %2").arg(page).arg(pages));
  painter->restore();
}
} // namespace

namespace Report_Pdf
{
bool Draw(const Calibration_Report::TDocument& document, QByteArray* pdf, QString* error)
{
  pdf->clear();
  QBuffer buffer(pdf);
  buffer.open(QIODevice::WriteOnly);
  QPdfWriter writer(&buffer);
  writer.setTitle(QStringLiteral("%1 %2").arg(document.title, document.report_number));
  writer.setCreator(QStringLiteral("Varlume"));
  writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                   QMarginsF(MARGIN_MM, MARGIN_MM, MARGIN_MM, MARGIN_MM), QPageLayout::Millimeter));
  writer.setResolution(600);
  const QRectF paint = writer.pageLayout().paintRectPixels(writer.resolution());
  const double footer = FOOTER_MM / 25.4 * writer.resolution();
  const QRectF body(0.0, 0.0, paint.width(), paint.height() - footer);

  QTextDocument text;
  text.documentLayout()->setPaintDevice(&writer);
  text.setDefaultFont(Font(BODY_POINTS));
  text.setPageSize(body.size());
  text.setDocumentMargin(0.0);
  TChartObject chart(document.conformity);
  text.documentLayout()->registerHandler(CHART_OBJECT, &chart);
  Fill(&text, document);
  Keep_End_Together(&text, document, body.height());
  const int pages = text.pageCount();

  QPainter painter;
  if(!painter.begin(&writer))
  {
    *error = QStringLiteral("cannot draw the report");
    return false;
  }
  for(int page = 0; page < pages; ++page)
  {
    if(page > 0)
    {
      writer.newPage();
    }
    painter.save();
    const QRectF clip(0.0, page * body.height(), body.width(), body.height());
    painter.translate(0.0, -clip.top());
    painter.setClipRect(clip);
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = clip;
    text.documentLayout()->draw(&painter, context);
    painter.restore();
    Draw_Footer(&painter, QRectF(0.0, body.height(), body.width(), footer), document.report_number, page + 1, pages);
  }
  if(!painter.end())
  {
    *error = QStringLiteral("cannot draw the report");
    return false;
  }
  return true;
}

bool Write(const Calibration_Report::TDocument& document, const QString& file_name, QString* error)
{
  QByteArray pdf;
  if(!Draw(document, &pdf, error))
  {
    return false;
  }
  QString reason;
  if(!SafeFile::Write_File(file_name, pdf, &reason))
  {
    *error = QStringLiteral("cannot write '%1': %2").arg(file_name, reason);
    return false;
  }
  return true;
}
} // namespace Report_Pdf

#include "reportpdf.moc"
