// Draws every icon and image of the program into the resource folders beside this file.
// The PNGs are committed, so the build never runs this; redraw them after changing a picture:
//
//   g++ -std=c++17 -fPIC resources/draw_icons.cpp $(pkg-config --cflags --libs Qt5Gui) -o /tmp/draw_icons
//   QT_QPA_PLATFORM=offscreen /tmp/draw_icons resources
//
// All pictures share one palette and one set of glyphs (the bridge machine, the ball bar, the
// round plus and minus badges, the pencil) so that the tool bar reads as one family.

#include <QDir>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtMath>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

namespace
{
const QColor Steel(0x4f, 0x78, 0xa8);
const QColor Steel_Dark(0x2b, 0x4a, 0x70);
const QColor Steel_Light(0x9d, 0xbc, 0xdf);
const QColor Granite(0x5a, 0x5f, 0x66);
const QColor Granite_Dark(0x33, 0x37, 0x3c);
const QColor Probe_Red(0xd8, 0x2c, 0x20);
const QColor Add_Green(0x2f, 0x9e, 0x44);
const QColor Add_Green_Dark(0x1d, 0x6e, 0x2d);
const QColor Remove_Red(0xd3, 0x3b, 0x2f);
const QColor Remove_Red_Dark(0x93, 0x21, 0x19);
const QColor Info_Blue(0x2f, 0x6d, 0xc4);
const QColor Info_Blue_Dark(0x1c, 0x47, 0x86);
const QColor Glyph(0x3a, 0x44, 0x50);

QString g_root;

// One picture: size in pixels, the drawing in a design grid of 'grid' units.
void Save(const QString& relative_path, int size, double grid, const std::function<void(QPainter&)>& draw)
{
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / grid, size / grid);
    draw(painter);
  }
  const QString path = QDir(g_root).filePath(relative_path);
  QDir().mkpath(QFileInfo(path).path());
  if(!image.save(path))
  {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
  }
}

// Front view of a bridge machine on its granite table, in a 32 x 32 grid.
void Draw_Machine(QPainter& p)
{
  const QPen outline(Steel_Dark, 1.0);

  // Granite table.
  QLinearGradient granite(0, 25, 0, 31);
  granite.setColorAt(0, Granite);
  granite.setColorAt(1, Granite_Dark);
  p.setPen(QPen(Granite_Dark, 1.0));
  p.setBrush(granite);
  p.drawRoundedRect(QRectF(1.5, 25.5, 29, 5), 1, 1);

  // Legs and bridge beam.
  QLinearGradient steel(0, 0, 32, 0);
  steel.setColorAt(0, Steel_Light);
  steel.setColorAt(1, Steel);
  p.setPen(outline);
  p.setBrush(steel);
  p.drawRect(QRectF(4.5, 8.5, 4, 17));
  p.drawRect(QRectF(23.5, 8.5, 4, 17));
  p.drawRect(QRectF(2.5, 4.5, 27, 5));

  // Carriage, ram and probe.
  p.setBrush(QColor(0xe6, 0xec, 0xf3));
  p.drawRect(QRectF(12.5, 3.5, 7, 8));
  p.setBrush(Steel_Light);
  p.drawRect(QRectF(14.5, 11.5, 3, 8));
  p.setPen(QPen(Granite_Dark, 1.0));
  p.drawLine(QPointF(16, 19.5), QPointF(16, 21.5));
  p.setPen(QPen(Probe_Red.darker(140), 0.8));
  p.setBrush(Probe_Red);
  p.drawEllipse(QPointF(16, 22.6), 1.7, 1.7);
}

// A steel sphere with a highlight.
void Draw_Ball(QPainter& p, const QPointF& centre, double radius)
{
  QRadialGradient shade(centre + QPointF(-radius * 0.35, -radius * 0.35), radius * 1.3);
  shade.setColorAt(0, QColor(0xff, 0xff, 0xff));
  shade.setColorAt(0.45, QColor(0xb8, 0xc3, 0xcf));
  shade.setColorAt(1, QColor(0x55, 0x62, 0x70));
  p.setPen(QPen(QColor(0x3b, 0x45, 0x50), 0.9));
  p.setBrush(shade);
  p.drawEllipse(centre, radius, radius);
}

// A ball bar from bottom left to top right, leaving the lower right corner for a badge.
void Draw_Measurement(QPainter& p)
{
  const QPointF a(7.5, 22.0);
  const QPointF b(22.5, 7.0);
  QPen tube(QColor(0x2a, 0x2e, 0x33), 3.6, Qt::SolidLine, Qt::FlatCap);
  p.setPen(tube);
  p.drawLine(a, b);
  p.setPen(QPen(QColor(0x6c, 0x74, 0x7d), 1.0, Qt::SolidLine, Qt::FlatCap));
  p.drawLine(a + QPointF(-0.6, -0.6), b + QPointF(-0.6, -0.6));
  // Collars near the balls.
  p.setPen(QPen(Steel_Dark, 5.0, Qt::SolidLine, Qt::FlatCap));
  p.drawLine(a + QPointF(3.2, -3.2), a + QPointF(4.6, -4.6));
  p.drawLine(b + QPointF(-3.2, 3.2), b + QPointF(-4.6, 4.6));
  Draw_Ball(p, a, 5.0);
  Draw_Ball(p, b, 5.0);
}

// A round badge with a white ring so that it stands off the picture under it.
void Draw_Badge_Circle(QPainter& p, const QPointF& centre, double radius, const QColor& fill, const QColor& edge)
{
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawEllipse(centre, radius + 1.2, radius + 1.2);
  QLinearGradient shade(0, centre.y() - radius, 0, centre.y() + radius);
  shade.setColorAt(0, fill.lighter(125));
  shade.setColorAt(1, fill);
  p.setPen(QPen(edge, 1.0));
  p.setBrush(shade);
  p.drawEllipse(centre, radius, radius);
}

void Draw_Plus(QPainter& p, const QPointF& centre, double radius)
{
  Draw_Badge_Circle(p, centre, radius, Add_Green, Add_Green_Dark);
  const double arm = radius * 0.58;
  p.setPen(QPen(Qt::white, radius * 0.36, Qt::SolidLine, Qt::FlatCap));
  p.drawLine(centre + QPointF(-arm, 0), centre + QPointF(arm, 0));
  p.drawLine(centre + QPointF(0, -arm), centre + QPointF(0, arm));
}

void Draw_Minus(QPainter& p, const QPointF& centre, double radius)
{
  Draw_Badge_Circle(p, centre, radius, Remove_Red, Remove_Red_Dark);
  const double arm = radius * 0.58;
  p.setPen(QPen(Qt::white, radius * 0.36, Qt::SolidLine, Qt::FlatCap));
  p.drawLine(centre + QPointF(-arm, 0), centre + QPointF(arm, 0));
}

// A pencil pointing to the lower left, its tip at 'tip', 'length' long, 'width' wide.
void Draw_Pencil(QPainter& p, const QPointF& tip, double length, double width, bool halo)
{
  p.save();
  p.translate(tip);
  p.rotate(-45);
  // Local frame: the pencil lies along +x from the tip.
  const double w = width / 2;
  const double cone = width * 1.25;
  const double eraser = width * 0.9;
  QPainterPath body;
  body.moveTo(0, 0);
  body.lineTo(cone, -w);
  body.lineTo(length, -w);
  body.lineTo(length, w);
  body.lineTo(cone, w);
  body.closeSubpath();
  if(halo)
  {
    p.setPen(QPen(Qt::white, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::white);
    p.drawPath(body);
  }
  const QPen edge(QColor(0x5a, 0x40, 0x10), 0.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  // Wood cone, lead, yellow shaft, metal ferrule, pink eraser.
  QPainterPath wood;
  wood.moveTo(0, 0);
  wood.lineTo(cone, -w);
  wood.lineTo(cone, w);
  wood.closeSubpath();
  p.setPen(edge);
  p.setBrush(QColor(0xf1, 0xd0, 0x9a));
  p.drawPath(wood);
  QPainterPath lead;
  lead.moveTo(0, 0);
  lead.lineTo(cone * 0.4, -w * 0.4);
  lead.lineTo(cone * 0.4, w * 0.4);
  lead.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x30, 0x30, 0x30));
  p.drawPath(lead);
  QLinearGradient shaft(0, -w, 0, w);
  shaft.setColorAt(0, QColor(0xff, 0xd9, 0x4a));
  shaft.setColorAt(1, QColor(0xe0, 0x9a, 0x10));
  p.setPen(edge);
  p.setBrush(shaft);
  p.drawRect(QRectF(cone, -w, length - cone - eraser, width));
  p.setBrush(QColor(0xb8, 0xbe, 0xc6));
  p.drawRect(QRectF(length - eraser, -w, eraser * 0.45, width));
  p.setBrush(QColor(0xf0, 0x8c, 0x9a));
  p.drawRect(QRectF(length - eraser * 0.55, -w, eraser * 0.55, width));
  p.restore();
}

void Draw_About(QPainter& p)
{
  Draw_Badge_Circle(p, QPointF(16, 16), 13.5, Info_Blue, Info_Blue_Dark);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawEllipse(QPointF(16, 9.2), 2.3, 2.3);
  p.drawRoundedRect(QRectF(14.0, 13.2, 4.0, 11.5), 1.2, 1.2);
  p.drawRect(QRectF(12.5, 13.2, 3, 2.2));
  p.drawRect(QRectF(12.5, 22.5, 7, 2.2));
}

// Arrow head at 'tip' pointing along the angle (degrees, y down).
void Draw_Arrow_Head(QPainter& p, const QPointF& tip, double angle_degrees, double size)
{
  p.save();
  p.translate(tip);
  p.rotate(angle_degrees);
  QPainterPath head;
  head.moveTo(0, 0);
  head.lineTo(-size, -size * 0.62);
  head.lineTo(-size, size * 0.62);
  head.closeSubpath();
  p.setPen(Qt::NoPen);
  p.drawPath(head);
  p.restore();
}

// 24 x 24 view mode buttons, drawn in a 24-unit grid.
void Draw_Pan(QPainter& p)
{
  p.setPen(QPen(Glyph, 2.0, Qt::SolidLine, Qt::FlatCap));
  p.drawLine(QPointF(12, 5), QPointF(12, 19));
  p.drawLine(QPointF(5, 12), QPointF(19, 12));
  p.setBrush(Glyph);
  Draw_Arrow_Head(p, QPointF(12, 2), -90, 5);
  Draw_Arrow_Head(p, QPointF(12, 22), 90, 5);
  Draw_Arrow_Head(p, QPointF(2, 12), 180, 5);
  Draw_Arrow_Head(p, QPointF(22, 12), 0, 5);
}

// A stroked elliptic arc (Qt angles: degrees, counter-clockwise from 3 o'clock) that ends in an
// arrow head pointing along the direction of travel.
void Draw_Arc_Arrow(QPainter& p, const QPointF& centre, double rx, double ry, double start, double span, double width,
                    double head)
{
  const auto point = [&](double degrees)
  {
    const double a = qDegreesToRadians(degrees);
    return QPointF(centre.x() + rx * std::cos(a), centre.y() - ry * std::sin(a));
  };
  // The head spans the last part of the arc; the stroke ends where the head begins, and the head
  // points along the chord from there to the tip, so it follows the curve.
  const double head_span = qRadiansToDegrees(head / std::max(rx, ry));
  p.setPen(QPen(Glyph, width, Qt::SolidLine, Qt::FlatCap));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(centre.x() - rx, centre.y() - ry, 2 * rx, 2 * ry), qRound(start * 16),
            qRound((span - head_span * 0.8) * 16));
  const QPointF tip = point(start + span);
  const QPointF base = point(start + span - head_span);
  const double direction = qRadiansToDegrees(std::atan2(tip.y() - base.y(), tip.x() - base.x()));
  p.setBrush(Glyph);
  Draw_Arrow_Head(p, tip, direction, head);
}

void Draw_Rotate2d(QPainter& p)
{
  // Rotation about the view axis: a circular arrow around a centre dot.
  Draw_Arc_Arrow(p, QPointF(12, 12), 8, 8, 110, 290, 2.0, 5.5);
  p.setPen(Qt::NoPen);
  p.setBrush(Glyph);
  p.drawEllipse(QPointF(12, 12), 2.2, 2.2);
}

void Draw_Rotate3d(QPainter& p)
{
  // Rotation in space: a sphere with an orbit arrow around it, the back of the orbit behind it.
  p.save();
  p.translate(12, 12);
  p.rotate(-18);
  p.setPen(QPen(QColor(0x8a, 0x93, 0x9e), 1.4));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(-10.5, -4.5, 21, 9), 0, 180 * 16);
  p.restore();
  Draw_Ball(p, QPointF(12, 12), 5.0);
  p.save();
  p.translate(12, 12);
  p.rotate(-18);
  Draw_Arc_Arrow(p, QPointF(0, 0), 10.5, 4.5, 180, 175, 2.0, 5.0);
  p.restore();
}

void Draw_Scale_To_Fit(QPainter& p)
{
  // A box with four outward corner brackets: fit the scene to the view.
  p.setPen(QPen(Glyph, 2.0, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
  p.setBrush(Qt::NoBrush);
  const double a = 3, b = 21, l = 6;
  p.drawPolyline(QPolygonF({QPointF(a, a + l), QPointF(a, a), QPointF(a + l, a)}));
  p.drawPolyline(QPolygonF({QPointF(b - l, a), QPointF(b, a), QPointF(b, a + l)}));
  p.drawPolyline(QPolygonF({QPointF(b, b - l), QPointF(b, b), QPointF(b - l, b)}));
  p.drawPolyline(QPolygonF({QPointF(a + l, b), QPointF(a, b), QPointF(a, b - l)}));
  QLinearGradient fill(8, 8, 16, 16);
  fill.setColorAt(0, Steel_Light);
  fill.setColorAt(1, Steel);
  p.setPen(QPen(Steel_Dark, 1.0));
  p.setBrush(fill);
  p.drawRect(QRectF(8.5, 8.5, 7, 7));
}

// The application icon in a 256-unit grid: the machine on a blue tile, its probe touching a ball.
void Draw_Application(QPainter& p)
{
  QLinearGradient tile(0, 0, 0, 256);
  tile.setColorAt(0, QColor(0x3a, 0x6f, 0xa6));
  tile.setColorAt(1, QColor(0x1b, 0x39, 0x5c));
  p.setPen(QPen(QColor(0x14, 0x2a, 0x44), 4));
  p.setBrush(tile);
  p.drawRoundedRect(QRectF(10, 10, 236, 236), 44, 44);

  // Measuring volume grid on the tile, faint.
  p.setPen(QPen(QColor(255, 255, 255, 38), 2));
  for(int i = 1; i < 6; ++i)
  {
    p.drawLine(QPointF(10 + i * 236.0 / 6, 14), QPointF(10 + i * 236.0 / 6, 242));
  }

  p.save();
  p.translate(32, 28);
  p.scale(6.0, 6.0);
  QLinearGradient granite(0, 25, 0, 31);
  granite.setColorAt(0, QColor(0x6b, 0x71, 0x79));
  granite.setColorAt(1, QColor(0x2b, 0x2f, 0x34));
  p.setPen(QPen(QColor(0x1d, 0x20, 0x24), 0.5));
  p.setBrush(granite);
  p.drawRoundedRect(QRectF(0.5, 26, 31, 5), 0.8, 0.8);
  QLinearGradient steel(0, 0, 32, 0);
  steel.setColorAt(0, QColor(0xf4, 0xf7, 0xfb));
  steel.setColorAt(1, QColor(0xb9, 0xc8, 0xd9));
  p.setPen(QPen(QColor(0x14, 0x2a, 0x44), 0.5));
  p.setBrush(steel);
  p.drawRect(QRectF(4, 8, 4, 18));
  p.drawRect(QRectF(24, 8, 4, 18));
  p.drawRect(QRectF(2, 4, 28, 5));
  p.setBrush(QColor(0xff, 0xff, 0xff));
  p.drawRect(QRectF(12, 3, 8, 8.5));
  p.setBrush(QColor(0xd0, 0xdb, 0xe7));
  p.drawRect(QRectF(14.5, 11.5, 3, 7.5));
  p.setPen(QPen(QColor(0x1d, 0x20, 0x24), 0.6));
  p.drawLine(QPointF(16, 19), QPointF(16, 21));
  p.setPen(QPen(Probe_Red.darker(150), 0.4));
  p.setBrush(Probe_Red);
  p.drawEllipse(QPointF(16, 21.8), 1.2, 1.2);
  // The artefact on the table.
  Draw_Ball(p, QPointF(16, 24.6), 1.5);
  p.restore();
}

void Draw_Logo(QImage& image)
{
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  p.save();
  p.translate(2, 6);
  p.scale(28.0 / 32.0, 28.0 / 32.0);
  Draw_Machine(p);
  p.restore();
  // The largest bold size whose word still fits beside the mark.
  QFont font("DejaVu Sans");
  font.setBold(true);
  for(int pixels = 18; pixels > 8; --pixels)
  {
    font.setPixelSize(pixels);
    if(QFontMetricsF(font).horizontalAdvance("Varlume") <= 64.0)
    {
      break;
    }
  }
  p.setFont(font);
  p.setPen(Steel_Dark);
  p.drawText(QRectF(33, 0, 67, 40), Qt::AlignLeft | Qt::AlignVCenter, "Varlume");
}
} // namespace

int main(int argc, char** argv)
{
  QGuiApplication application(argc, argv);
  g_root = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");

  const auto machine_with = [](const std::function<void(QPainter&)>& badge)
  {
    return [badge](QPainter& p)
    {
      Draw_Machine(p);
      badge(p);
    };
  };
  const auto measurement_with = [](const std::function<void(QPainter&)>& badge)
  {
    return [badge](QPainter& p)
    {
      Draw_Measurement(p);
      badge(p);
    };
  };
  const auto plus = [](QPainter& p) { Draw_Plus(p, QPointF(24.5, 24.5), 6.5); };
  const auto minus = [](QPainter& p) { Draw_Minus(p, QPointF(24.5, 24.5), 6.5); };
  const auto pencil = [](QPainter& p) { Draw_Pencil(p, QPointF(17.5, 30.5), 18.0, 5.0, true); };

  Save("toolbar/add_machine_32x32.png", 32, 32, machine_with(plus));
  Save("toolbar/remove_machine_32x32.png", 32, 32, machine_with(minus));
  Save("toolbar/edit_machine_32x32.png", 32, 32, machine_with(pencil));
  Save("toolbar/add_measurement_32x32.png", 32, 32, measurement_with(plus));
  Save("toolbar/remove_measurement_32x32.png", 32, 32, measurement_with(minus));
  Save("toolbar/edit_measurement_32x32.png", 32, 32, measurement_with(pencil));
  Save("toolbar/about_32x32.png", 32, 32, Draw_About);

  Save("gui/add_16x16.png", 16, 16, [](QPainter& p) { Draw_Plus(p, QPointF(8, 8), 6.6); });
  Save("gui/remove_16x16.png", 16, 16, [](QPainter& p) { Draw_Minus(p, QPointF(8, 8), 6.6); });
  Save("gui/edit_16x16.png", 16, 16, [](QPainter& p) { Draw_Pencil(p, QPointF(1.5, 14.5), 17.0, 4.6, false); });

  Save("graphics/pan_24x24.png", 24, 24, Draw_Pan);
  Save("graphics/rotate2d_24x24.png", 24, 24, Draw_Rotate2d);
  Save("graphics/rotate3d_24x24.png", 24, 24, Draw_Rotate3d);
  Save("graphics/scale_to_fit_24x24.png", 24, 24, Draw_Scale_To_Fit);

  Save("icons/varlume.png", 256, 256, Draw_Application);
  Save("icons/varlume_48x48.png", 48, 256, Draw_Application);
  Save("images/varlume.png", 64, 256, Draw_Application);

  QImage logo(100, 40, QImage::Format_ARGB32_Premultiplied);
  Draw_Logo(logo);
  logo.save(QDir(g_root).filePath("images/logo.png"));
  return 0;
}
