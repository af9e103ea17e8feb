#include "core/gui/openglwidget.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QRubberBand>
#include <QSurfaceFormat>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace
{
const double MINIMUM_EXTENT = 1e-6;
const double WHEEL_ZOOM = 0.95;

// Fixed-function stacks take column-major arrays; the TMat4 copies are row-major.
void Load_Gl_Matrix(GLenum mode, const TMat4& matrix)
{
  TMat4 column_major(matrix);
  column_major.Transpose();
  glMatrixMode(mode);
  glLoadMatrixd(column_major.Get());
}

TMat4 Transposed(const TMat4& matrix)
{
  TMat4 result(matrix);
  result.Transpose();
  return result;
}

// The matrix that turns a point by +angle about the unit axis (right hand). TMat4::Rotate
// builds the opposite turn, so its transpose is taken.
TMat4 Point_Rotation(const TVector3& unit_axis, double angle)
{
  TMat4 rotation;
  rotation.Rotate(unit_axis, angle);
  rotation.Transpose();
  return rotation;
}
// The factors that shrink the axis along the viewport's longer side, so that the scene keeps
// its proportions; both stay 1 while the viewport has no size.
void Aspect_Factors(int w, int h, double* factor_x, double* factor_y)
{
  if(w != 0 && h != 0)
  {
    if(w > h)
    {
      *factor_x = static_cast<double>(h) / w;
    }
    else
    {
      *factor_y = static_cast<double>(w) / h;
    }
  }
}
} // namespace

TOpenGLWidget::TOpenGLWidget(QWidget* parent, Qt::WindowFlags flags) : QOpenGLWidget(parent, flags)
{
  setFormat(QSurfaceFormat::defaultFormat());
  setFocusPolicy(Qt::StrongFocus);
}

TOpenGLWidget::~TOpenGLWidget() = default;

int TOpenGLWidget::Get_OpenGL_Version_Major(QString* version_text, QString* extensions_text)
{
  VARLUME_ASSERT(version_text);
  VARLUME_ASSERT(extensions_text);

  // Probing must not steal the context of a view that is being painted.
  QOpenGLContext* previous_context = QOpenGLContext::currentContext();
  QSurface* previous_surface = previous_context ? previous_context->surface() : nullptr;

  QOffscreenSurface surface;
  surface.setFormat(QSurfaceFormat::defaultFormat());
  surface.create();
  if(!surface.isValid())
  {
    return 0;
  }

  QOpenGLContext context;
  context.setFormat(QSurfaceFormat::defaultFormat());
  if(!context.create() || !context.makeCurrent(&surface))
  {
    return 0;
  }

  QOpenGLFunctions* functions = context.functions();
  const GLubyte* version = functions->glGetString(GL_VERSION);
  const GLubyte* extensions = functions->glGetString(GL_EXTENSIONS);
  *version_text = version ? QString::fromLatin1(reinterpret_cast<const char*>(version)) : QString();
  *extensions_text = extensions ? QString::fromLatin1(reinterpret_cast<const char*>(extensions)) : QString();
  context.doneCurrent();
  if(previous_context && previous_surface)
  {
    previous_context->makeCurrent(previous_surface);
  }

  QString major = version_text->simplified();
  major = major.section(QLatin1Char(' '), 0, 0);
  major = major.section(QLatin1Char('.'), 0, 0);
  bool ok = false;
  const int value = major.toInt(&ok, 10);
  return ok ? value : 0;
}

void TOpenGLWidget::Load_Matrices()
{
  Load_Gl_Matrix(GL_PROJECTION, d_projection_mat);
  Load_Gl_Matrix(GL_MODELVIEW, d_model_view_mat);
}

void TOpenGLWidget::Set_Pan_Mode()
{
  d_pan_mode = true;
  d_rotate2d_mode = false;
  d_rotate3d_mode = false;
}

void TOpenGLWidget::Set_Rotate2D_Mode()
{
  d_pan_mode = false;
  d_rotate2d_mode = true;
  d_rotate3d_mode = false;
}

void TOpenGLWidget::Set_Rotate3D_Mode()
{
  d_pan_mode = false;
  d_rotate2d_mode = false;
  d_rotate3d_mode = true;
}

void TOpenGLWidget::initializeGL()
{
  initializeOpenGLFunctions();
  GLInit();
  Load_Matrices();
  glDepthRange(0.0, 1.0);
  glPixelTransferf(GL_DEPTH_SCALE, 1.0f);
  glPixelTransferf(GL_DEPTH_BIAS, 0.0f);
  // A widget moved to another window gets a new context; the mode its owner chose stays.
  if(!d_initialized)
  {
    Set_Pan_Mode();
    d_initialized = true;
  }
}

void TOpenGLWidget::resizeGL(int width, int height)
{
  GLResize(width, height);
  if(width == 0 || height == 0)
  {
    return;
  }

  // The viewport works in widget pixels; OpenGL's viewport is in framebuffer pixels, of which
  // a high-density screen has devicePixelRatio per widget pixel.
  Set_Viewport_Size(width, height);
  const double ratio = devicePixelRatioF();
  glViewport(0, 0, qRound(width * ratio), qRound(height * ratio));
  Load_Gl_Matrix(GL_PROJECTION, d_projection_mat);
}

void TOpenGLWidget::Set_Viewport_Size(int width, int height)
{
  if(width <= 0 || height <= 0)
  {
    return;
  }
  d_half_width = width / 2;
  d_half_height = height / 2;
  d_viewport_width = width;
  d_viewport_height = height;

  // The smaller side keeps its scale. The translation of the changed axis scales with it, so
  // the point at the viewport centre stays there.
  TMat4& p = d_projection_mat;
  if(width > height)
  {
    const double scale = p[5] * height / width;
    if(std::fabs(p[0]) > 0.0)
    {
      p[3] *= scale / p[0];
    }
    p[0] = scale;
  }
  else
  {
    const double scale = p[0] * width / height;
    if(std::fabs(p[5]) > 0.0)
    {
      p[7] *= scale / p[5];
    }
    p[5] = scale;
  }
}

void TOpenGLWidget::paintGL()
{
  Load_Matrices();
  if(d_fit_pending)
  {
    Begin_Fit_To_Viewport();
    GLRender();
    End_Fit_To_Viewport();
    d_fit_pending = false;
    Load_Matrices();
  }
  GLRender();
}

void TOpenGLWidget::Rotate_Model(const TVector3& axis, const double& angle)
{
  if(axis.Length() < 1e-6)
  {
    return;
  }
  TVector3 unit(axis);
  unit.Normal();

  // New model-view = old x rotation: the model turns about its own axis.
  TMat4 result = Point_Rotation(unit, angle);
  result *= d_model_view_mat;
  d_model_view_mat = result;
  if(context())
  {
    makeCurrent();
    Load_Gl_Matrix(GL_MODELVIEW, d_model_view_mat);
  }
  update();
}

void TOpenGLWidget::Begin_Fit_To_Viewport()
{
  d_fitting = true;
  d_first_vertex = true;
  d_fit_mat = d_model_view_mat;
}

void TOpenGLWidget::Process_Vertex(const TVector3& vertex)
{
  if(!d_fitting)
  {
    return;
  }
  const TVector3 p = d_fit_mat * vertex;
  if(d_first_vertex)
  {
    d_fit_minimum = p;
    d_fit_maximum = p;
    d_first_vertex = false;
    return;
  }
  d_fit_minimum =
      TVector3(std::min(d_fit_minimum.x, p.x), std::min(d_fit_minimum.y, p.y), std::min(d_fit_minimum.z, p.z));
  d_fit_maximum =
      TVector3(std::max(d_fit_maximum.x, p.x), std::max(d_fit_maximum.y, p.y), std::max(d_fit_maximum.z, p.z));
}

void TOpenGLWidget::End_Fit_To_Viewport()
{
  d_fitting = false;
  if(d_first_vertex)
  {
    // Nothing was reported: there is nothing to frame.
    return;
  }

  const TVector3 extent(std::max(d_fit_maximum.x - d_fit_minimum.x, MINIMUM_EXTENT),
                        std::max(d_fit_maximum.y - d_fit_minimum.y, MINIMUM_EXTENT),
                        std::max(d_fit_maximum.z - d_fit_minimum.z, MINIMUM_EXTENT));
  const double m = std::max(extent.x, extent.y);

  double tx = -(d_fit_maximum.x + d_fit_minimum.x) / m;
  double ty = -(d_fit_maximum.y + d_fit_minimum.y) / m;
  // The scene's depth occupies normalised depth -1/8 to +1/8, leaving room for rotation.
  const double tz = (d_fit_maximum.z + d_fit_minimum.z) * 0.5 / (4.0 * extent.z);
  const double sz = -0.25 / extent.z;

  double factor_x = 1.0;
  double factor_y = 1.0;
  Aspect_Factors(d_viewport_width, d_viewport_height, &factor_x, &factor_y);
  tx *= factor_x;
  ty *= factor_y;

  TMat4 projection;
  projection[0] = factor_x * 2.0 / m;
  projection[5] = factor_y * 2.0 / m;
  projection[10] = sz;
  projection[3] = tx;
  projection[7] = ty;
  projection[11] = tz;
  // Loaded into OpenGL by the paint that follows; the context need not be current here.
  d_projection_mat = projection;
}

void TOpenGLWidget::Rebuild_Projection(double x0, double x1, double y0, double y1)
{
  const double e = std::max(x1 - x0, y1 - y0);
  double tx = -(x0 + x1) / e;
  double ty = -(y0 + y1) / e;
  double factor_x = 1.0;
  double factor_y = 1.0;
  Aspect_Factors(d_viewport_width, d_viewport_height, &factor_x, &factor_y);
  tx *= factor_x;
  ty *= factor_y;
  d_projection_mat[0] = factor_x * 2.0 / e;
  d_projection_mat[5] = factor_y * 2.0 / e;
  d_projection_mat[3] = tx;
  d_projection_mat[7] = ty;
}

void TOpenGLWidget::Zoom_To_Rect(const QRect& rect)
{
  short ax = static_cast<short>(rect.left());
  short ay = static_cast<short>(rect.top());
  short bx = static_cast<short>(rect.left() + rect.width());
  short by = static_cast<short>(rect.top() + rect.height());
  Convert_To_GLViewport(ax, ay);
  Convert_To_GLViewport(bx, by);

  double x0 = 0.0;
  double y0 = 0.0;
  double x1 = 0.0;
  double y1 = 0.0;
  Convert_GLViewport_ToModel(ax, ay, x0, y0);
  Convert_GLViewport_ToModel(bx, by, x1, y1);
  if(x0 > x1)
  {
    std::swap(x0, x1);
  }
  if(y0 > y1)
  {
    std::swap(y0, y1);
  }
  if(x1 - x0 < MINIMUM_EXTENT || y1 - y0 < MINIMUM_EXTENT)
  {
    return;
  }
  Rebuild_Projection(x0, x1, y0, y1);
}

// Zooming scales the x and y rows only. Scaling the depth row as well would push the scene
// through the near and far planes once the view is enlarged about eight times.
void TOpenGLWidget::Click_Zoom(short x, short y)
{
  Q_UNUSED(x);
  const int k = d_viewport_height / 2;
  if(k == 0 || y == k)
  {
    return;
  }
  const double factor = ((k - y) * 0.5 + k) / k;
  for(int column = 0; column < 4; ++column)
  {
    d_projection_mat[column] *= factor;
    d_projection_mat[4 + column] *= factor;
  }
}

void TOpenGLWidget::Mousewheel_Zoom(int delta)
{
  if(delta == 0)
  {
    return;
  }
  const double factor = delta < 0 ? WHEEL_ZOOM : 1.0 / WHEEL_ZOOM;
  for(int column = 0; column < 4; ++column)
  {
    d_projection_mat[column] *= factor;
    d_projection_mat[4 + column] *= factor;
  }
}

void TOpenGLWidget::Convert_To_GLViewport(short& x, short& y) const
{
  Q_UNUSED(x); // the viewport starts at the widget's left edge
  // Row 0 of the widget is the top row of the viewport, height - 1; mapping it to height
  // would name a pixel outside the viewport.
  y = static_cast<short>(d_viewport_height - 1 - y);
}

void TOpenGLWidget::Convert_GLViewport_ToModel(short x, short y, double& vx, double& vy) const
{
  const double half_width = d_viewport_width * 0.5;
  const double half_height = d_viewport_height * 0.5;
  vx = 0.0;
  vy = 0.0;
  if(half_width <= 0.0 || half_height <= 0.0)
  {
    return;
  }
  vx = (x / half_width - 1.0 - d_projection_mat[3]) / d_projection_mat[0];
  vy = (y / half_height - 1.0 - d_projection_mat[7]) / d_projection_mat[5];
}

void TOpenGLWidget::Point_Raster_Position(int& x, int& y, const TVector3& point) const
{
  const TVector3 ndc = d_projection_mat * (d_model_view_mat * point);
  x = static_cast<int>(std::lround((ndc.x + 1.0) * d_viewport_width * 0.5));
  y = static_cast<int>(std::lround(d_viewport_height - (ndc.y + 1.0) * d_viewport_height * 0.5));
}

void TOpenGLWidget::Center_Rotation_Point()
{
  const TVector3 view = d_model_view_mat * d_rotation_center;
  d_projection_mat[3] = -d_projection_mat[0] * view.x;
  d_projection_mat[7] = -d_projection_mat[5] * view.y;
  d_projection_mat[11] = -d_projection_mat[10] * view.z;
}

void TOpenGLWidget::Rotate_View(const TVector3& view_axis, double angle)
{
  TVector3 model_axis = Transposed(d_model_view_mat) * view_axis;
  if(model_axis.Length() < 1e-12)
  {
    return;
  }
  model_axis.Normal();
  TMat4 result = Point_Rotation(model_axis, angle);
  result *= d_model_view_mat;
  d_model_view_mat = result;
  Center_Rotation_Point();
}

void TOpenGLWidget::Set_Rotation_Center()
{
  const TMat4& p = d_projection_mat;
  TVector3 view(-p[3] / p[0], -p[7] / p[5], -p[11] / p[10]);
  if(context() && d_viewport_width > 0 && d_viewport_height > 0)
  {
    const double depth =
        Get_GLPixel_Depth(static_cast<short>(d_viewport_width / 2), static_cast<short>(d_viewport_height / 2));
    if(depth <= 0.99)
    {
      view.z = (2.0 * depth - 1.0 - p[11]) / p[10];
    }
  }
  d_rotation_center = Transposed(d_model_view_mat) * view;
}

void TOpenGLWidget::mousePressEvent(QMouseEvent* event)
{
  setFocus();
  const QPointF position = event->localPos();
  if(event->buttons() & Qt::LeftButton)
  {
    d_rubber_band_active = false;
  }
  d_press_x = static_cast<int>(position.x() + 0.5);
  d_press_y = static_cast<int>(position.y() + 0.5);

  if(event->buttons() & Qt::RightButton)
  {
    short x = static_cast<short>(d_press_x);
    short y = static_cast<short>(d_press_y);
    Convert_To_GLViewport(x, y);
    d_last_drag_x = x;
    d_last_drag_y = y;
    d_dragged = false;
    d_model_view_mat.Normal();
    Set_Rotation_Center();
  }
}

void TOpenGLWidget::mouseMoveEvent(QMouseEvent* event)
{
  const int px = event->pos().x();
  const int py = event->pos().y();
  if(std::abs(px - d_press_x) + std::abs(py - d_press_y) <= 1)
  {
    return;
  }

  if(event->buttons() == Qt::RightButton)
  {
    short sx = static_cast<short>(px);
    short sy = static_cast<short>(py);
    Convert_To_GLViewport(sx, sy);
    const int x = sx;
    const int y = sy;
    if(std::abs(x - d_last_drag_x) <= 1 && std::abs(y - d_last_drag_y) <= 1)
    {
      return;
    }
    const double dx = x - d_last_drag_x;
    const double dy = y - d_last_drag_y;

    if((event->modifiers() & Qt::ControlModifier) || d_rotate3d_mode)
    {
      const TVector3 screen_axis(-dy, dx, 0.0);
      const double angle = 0.02 * (std::log(screen_axis.Length()) + 1.0);
      Rotate_View(screen_axis, angle);
    }
    else if((event->modifiers() & Qt::ShiftModifier) || d_rotate2d_mode)
    {
      const double cx = d_viewport_width / 2;
      const double cy = d_viewport_height / 2;
      TVector3 previous(d_last_drag_x - cx, d_last_drag_y - cy, 0.0);
      TVector3 current(x - cx, y - cy, 0.0);
      if(previous.Length() > 5.0 && current.Length() > 5.0)
      {
        previous.Normal();
        current.Normal();
        const double dot = previous ^ current;
        const TVector3 axis = previous * current;
        if(dot > 0.0 && dot < 1.0 && axis.Length() > 1e-8)
        {
          Rotate_View(axis, std::acos(dot));
        }
      }
    }
    else if(d_half_width > 0 && d_half_height > 0)
    {
      d_projection_mat[3] += dx / d_half_width;
      d_projection_mat[7] += dy / d_half_height;
    }

    update();
    d_dragged = true;
    d_last_drag_x = x;
    d_last_drag_y = y;
  }
  else if(event->buttons() == Qt::LeftButton)
  {
    const QPoint press(d_press_x, d_press_y);
    if(!d_rubber_band_active)
    {
      if(!d_rubber_band)
      {
        d_rubber_band = new QRubberBand(QRubberBand::Rectangle, this);
      }
      d_rubber_band_rect = QRect(press, QSize());
      d_rubber_band->setGeometry(d_rubber_band_rect);
      d_rubber_band->show();
      d_rubber_band_active = true;
    }
    else
    {
      d_rubber_band_rect = QRect(press, event->pos()).normalized();
      d_rubber_band->setGeometry(d_rubber_band_rect);
    }
  }
}

void TOpenGLWidget::mouseReleaseEvent(QMouseEvent* event)
{
  short x = static_cast<short>(event->pos().x());
  short y = static_cast<short>(event->pos().y());
  const bool inside = Inside_Viewport(x, y);
  Convert_To_GLViewport(x, y);

  if(event->button() == Qt::LeftButton)
  {
    if(d_rubber_band_active && d_rubber_band && !d_rubber_band->isHidden())
    {
      d_rubber_band->hide();
      Zoom_To_Rect(d_rubber_band_rect);
      update();
    }
    else if(inside)
    {
      // A release outside the widget (the pointer left it while held) is no click here.
      Process_Mouse_Click(x, y);
    }
  }
  else if(event->button() == Qt::RightButton && !d_dragged)
  {
    Click_Zoom(x, y);
    update();
  }
}

void TOpenGLWidget::wheelEvent(QWheelEvent* event)
{
  Mousewheel_Zoom(event->angleDelta().y());
  update();
}

void TOpenGLWidget::keyPressEvent(QKeyEvent* event)
{
  event->ignore();
}

void TOpenGLWidget::keyReleaseEvent(QKeyEvent* event)
{
  event->ignore();
}

bool TOpenGLWidget::Inside_Viewport(int x, int y) const
{
  return x >= 0 && y >= 0 && x < d_viewport_width && y < d_viewport_height;
}
