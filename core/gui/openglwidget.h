#ifndef OPENGLWIDGET_H
#define OPENGLWIDGET_H

#include <QOpenGLFunctions>
#include <QOpenGLWidget>
#include <QRect>

#include <vector>

#include "core/mat4.h"
#include "core/vector3.h"

class QRubberBand;

// Reusable OpenGL view: owns the camera (a pure rotation as model-view, an orthographic
// projection), turns mouse input into rotation, panning and zooming, frames the scene and turns
// a left click into a picked model point plus the identifier of the picked selection item.
// It draws nothing itself: a derived class renders through GLInit, GLResize and GLRender and
// registers the pickable objects.
//
// Both matrices are kept here as TMat4 in mathematical row-major form (translation in e3, e7,
// e11) and loaded into the fixed-function stacks before every frame, so they are always the
// ones OpenGL draws with.
class TOpenGLWidget : public QOpenGLWidget, protected QOpenGLFunctions
{
  Q_OBJECT

public:
  // Type 0: box between p0 and p1 with edges along a1, a2, a3. Type 1: segment p0 to p1.
  struct TSelectionItemType
  {
    TVector3 p0;
    TVector3 p1;
    TVector3 a1;
    TVector3 a2;
    TVector3 a3;
    int identifier = -1;
    int type = 0;
  };

  explicit TOpenGLWidget(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
  ~TOpenGLWidget() override;

  // Major OpenGL version of an offscreen context, with its version and extension texts;
  // 0 (texts untouched) when no context can be created or made current.
  static int Get_OpenGL_Version_Major(QString* version_text, QString* extensions_text);

  // Turns the model about a model-space axis by angle (radians); an axis shorter than 1e-6
  // does nothing.
  void Rotate_Model(const TVector3& axis, const double& angle);

  // Fit protocol: between begin and end the renderer reports every vertex it would draw.
  void Begin_Fit_To_Viewport();
  void Process_Vertex(const TVector3& vertex);
  void End_Fit_To_Viewport();
  bool Is_Fitting() const { return d_fitting; }
  // The next paint frames the scene.
  void Request_Fit() { d_fit_pending = true; }

  // Right-drag modes; panning is what a right drag does when neither rotation is set.
  void Set_Pan_Mode();
  void Set_Rotate2D_Mode();
  void Set_Rotate3D_Mode();
  bool Pan_Mode() const { return d_pan_mode; }
  bool Rotate2D_Mode() const { return d_rotate2d_mode; }
  bool Rotate3D_Mode() const { return d_rotate3d_mode; }

  // Type 0 axes are turned to point along p1 - p0 and normalised; other types are ignored.
  void AddSelectionItem(const TSelectionItemType& item);
  TSelectionItemType Selection_Item(int index) const;
  int Selection_Item_Count() const { return static_cast<int>(d_SelectionItems.size()); }
  void Clear_Selection_Items() { d_SelectionItems.clear(); }
  // Index of the item that contains the model point, or -1.
  int Find_Selection(const TVector3& point) const;
  // True when axis.(p - a) and axis.(p - b) are non-zero and of opposite signs.
  static bool Is_Point_Between(const TVector3& p, const TVector3& a, const TVector3& b, const TVector3& axis);

  // Model point to widget pixel (y downwards).
  void Point_Raster_Position(int& x, int& y, const TVector3& point) const;
  // Depth value at a viewport pixel; on background the mean depth of the geometry around it.
  double Get_GLPixel_Depth(short x, short y);

  void Zoom_To_Rect(const QRect& rect);
  void Click_Zoom(short x, short y);
  void Mousewheel_Zoom(int delta);
  void Set_Rotation_Center();
  TVector3 Rotation_Center() const { return d_rotation_center; }
  // Emits Model_Click_Point for a left click at a viewport pixel, with the item Pick finds or -1.
  void Process_Mouse_Click(short x, short y);
  // The line of sight through a viewport pixel in model coordinates: the origin where it crosses
  // the middle depth of the view, the unit direction pointing away from the viewer.
  void Pixel_Ray(short x, short y, TVector3* origin, TVector3* direction) const;
  // The model length that one viewport pixel spans.
  double Pixel_Size() const;
  // Widget pixel to viewport pixel (y upwards).
  void Convert_To_GLViewport(short& x, short& y) const;
  void Convert_GLViewport_ToModel(short x, short y, double& vx, double& vy) const;

  const TMat4& Model_View_Mat() const { return d_model_view_mat; }
  const TMat4& Projection_Mat() const { return d_projection_mat; }

signals:
  // A left click: the model point under the pointer and the identifier of the item picked
  // there, or -1 (a click on the background, or on drawn geometry that is no item).
  void Model_Click_Point(const double& x, const double& y, const double& z, int id);

protected:
  // The identifier of the item drawn under a viewport pixel, nearest to the viewer, and the
  // model point picked; -1 when the pixel shows no item. The base reads the depth under the
  // pixel and looks the point up in the selection items; a renderer that knows its surfaces
  // does better.
  virtual int Pick(short x, short y, TVector3* point);

  virtual void GLInit() {}
  virtual void GLResize(int width, int height)
  {
    Q_UNUSED(width);
    Q_UNUSED(height);
  }
  virtual void GLRender() {}

  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void initializeGL() override;
  void resizeGL(int width, int height) override;
  void paintGL() override;

  // Viewport size in pixels, and the projection's scale adjusted to its aspect ratio; what
  // resizeGL does besides telling OpenGL.
  void Set_Viewport_Size(int width, int height);

private:
  void Load_Matrices();
  // Projection x, y, z translation that draws the rotation centre at the viewport centre and
  // at normalised depth 0 under the current model-view.
  void Center_Rotation_Point();
  void Rotate_View(const TVector3& view_axis, double angle);
  void Rebuild_Projection(double x0, double x1, double y0, double y1);
  bool Inside_Viewport(int x, int y) const;

  TMat4 d_model_view_mat;
  TMat4 d_projection_mat;
  TMat4 d_fit_mat;
  TVector3 d_fit_minimum;
  TVector3 d_fit_maximum;
  int d_press_x = 0;
  int d_press_y = 0;
  int d_last_drag_x = 0;
  int d_last_drag_y = 0;
  bool d_dragged = false;
  bool d_rubber_band_active = false;
  QRect d_rubber_band_rect;
  QRubberBand* d_rubber_band = nullptr;
  int d_half_width = 0;
  int d_half_height = 0;
  int d_viewport_width = 0;
  int d_viewport_height = 0;
  TVector3 d_rotation_center;
  bool d_fit_pending = true;
  bool d_fitting = false;
  bool d_first_vertex = false;
  bool d_pan_mode = true;
  bool d_rotate2d_mode = false;
  bool d_rotate3d_mode = false;
  bool d_initialized = false;
  std::vector<TSelectionItemType> d_SelectionItems;
};

#endif
