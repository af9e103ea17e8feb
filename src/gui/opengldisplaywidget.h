#ifndef OPENGLDISPLAYWIDGET_H
#define OPENGLDISPLAYWIDGET_H

#include <QFrame>

#include "core/vector3.h"

class QLabel;
class QToolButton;
class TMeasurement;
class TOpenGLDisplay;

// The "Graphical View" page: the scene renderer beside a column of buttons that choose what a
// right drag does, or, where OpenGL is older than 2, a text that says so. Turns simulated
// measurements into render records and forwards picks as Model_Item_Clicked.
class TOpenGLDisplayWidget : public QFrame
{
  Q_OBJECT

public:
  explicit TOpenGLDisplayWidget(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());

  // Corners in any order.
  void Define_Machine_Volume(const TVector3& corner_a, const TVector3& corner_b);
  TVector3 Volume_Minimum() const { return d_volume_minimum; }
  TVector3 Volume_Maximum() const { return d_volume_maximum; }

  // All of these do nothing without a renderer.
  void Clear_Render_Measurements();
  void Clear_Render_Volume();
  void Clear_Selection();
  void Set_Selection(int key);
  // Adds one record per result row; the measurement must not be null.
  void Render_Measurements(TMeasurement* measurement);
  // Repaints; with fit true the view frames the scene first.
  void Update(bool fit);

  // Null when OpenGL is too old and the page shows the message instead.
  TOpenGLDisplay* Display() const { return d_display; }

signals:
  // A left click on drawn geometry: the model point and the picked key, -1 when no item.
  void Model_Item_Clicked(const double& x, const double& y, const double& z, int key);

public slots:
  void Scale_To_Fit();
  void Pan(bool state);
  void Rotate2d(bool state);
  void Rotate3d(bool state);

private:
  QToolButton* Create_Button(const QString& icon, const QString& tool_tip, bool checkable);
  // Checks exactly the given button of the three mode buttons without their signals.
  void Check_Mode_Button(QToolButton* button);

  QToolButton* d_scale_to_fit_button = nullptr;
  QToolButton* d_pan_button = nullptr;
  QToolButton* d_rotate2d_button = nullptr;
  QToolButton* d_rotate3d_button = nullptr;
  QLabel* d_message_label = nullptr;
  TOpenGLDisplay* d_display = nullptr;
  TVector3 d_volume_minimum;
  TVector3 d_volume_maximum;
};

#endif
