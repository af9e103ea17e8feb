#include "src/gui/opengldisplaywidget.h"

#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QSignalBlocker>
#include <QSpacerItem>
#include <QToolButton>

#include <algorithm>

#include "core/gui/openglwidget.h"
#include "core/varlume_assert.h"
#include "src/gui/opengldisplay.h"
#include "src/model/measurement.h"
#include "src/model/measurementscene.h"

TOpenGLDisplayWidget::TOpenGLDisplayWidget(QWidget* parent, Qt::WindowFlags flags) : QFrame(parent, flags)
{
  QString version_text;
  QString extensions_text;
  const int major_version = TOpenGLWidget::Get_OpenGL_Version_Major(&version_text, &extensions_text);

  setFrameShape(QFrame::Box);
  setStyleSheet(QStringLiteral("background-color: rgb(255, 255, 255);"));
  QGridLayout* layout = new QGridLayout(this);

  if(major_version < 2)
  {
    d_message_label = new QLabel(this);
    d_message_label->setWordWrap(true);
    d_message_label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    d_message_label->setTextFormat(Qt::RichText);
    QString text = QStringLiteral("<html><head/><body>");
    text += QStringLiteral("<p><span style=\" font-weight:700;\">ERR:  OpenGL version not supported.  No graphical "
                           "display will be shown.</span></p>");
    text += QStringLiteral("<p><span style=\" font-weight:500; text-decoration: underline;\">OpenGL Version "
                           "Text:</span></p>");
    text += QStringLiteral("<p>%1</p>").arg(version_text.toHtmlEscaped());
    text += QStringLiteral("<p><span style=\" font-weight:500; text-decoration: "
                           "underline;\">OpenGL Extensions:</span></p>");
    text += QStringLiteral("<p>%1</p>").arg(extensions_text.toHtmlEscaped());
    text += QStringLiteral("</body></html>");
    d_message_label->setText(text);
    layout->addWidget(d_message_label, 0, 0, 6, 1);
  }
  else
  {
    d_display = new TOpenGLDisplay(this);
    layout->addWidget(d_display, 0, 0, 6, 1);
  }

  d_scale_to_fit_button = Create_Button(QStringLiteral(":/graphics/scale_to_fit_24x24.png"), tr("Scale to Fit"), false);
  d_pan_button = Create_Button(QStringLiteral(":/graphics/pan_24x24.png"), tr("Pan Mode"), true);
  d_rotate2d_button = Create_Button(QStringLiteral(":/graphics/rotate2d_24x24.png"), tr("Rotate 2D Mode"), true);
  d_rotate3d_button = Create_Button(QStringLiteral(":/graphics/rotate3d_24x24.png"), tr("Rotate 3D Mode"), true);
  layout->addWidget(d_scale_to_fit_button, 0, 1);
  layout->addWidget(d_pan_button, 1, 1);
  layout->addWidget(d_rotate2d_button, 2, 1);
  layout->addWidget(d_rotate3d_button, 3, 1);
  layout->addItem(new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding), 4, 1);
  layout->setColumnStretch(0, 1);

  d_pan_button->setChecked(true);
  connect(d_scale_to_fit_button, &QToolButton::clicked, this, &TOpenGLDisplayWidget::Scale_To_Fit);
  connect(d_pan_button, &QToolButton::toggled, this, &TOpenGLDisplayWidget::Pan);
  connect(d_rotate2d_button, &QToolButton::toggled, this, &TOpenGLDisplayWidget::Rotate2d);
  connect(d_rotate3d_button, &QToolButton::toggled, this, &TOpenGLDisplayWidget::Rotate3d);
  if(d_display)
  {
    connect(d_display, &TOpenGLDisplay::Model_Click_Point, this, &TOpenGLDisplayWidget::Model_Item_Clicked);
  }
}

QToolButton* TOpenGLDisplayWidget::Create_Button(const QString& icon, const QString& tool_tip, bool checkable)
{
  QToolButton* button = new QToolButton(this);
  button->setFixedSize(24, 24);
  button->setText(QStringLiteral("..."));
  button->setIcon(QIcon(icon));
  button->setToolTip(tool_tip);
  button->setCheckable(checkable);
  return button;
}

void TOpenGLDisplayWidget::Check_Mode_Button(QToolButton* button)
{
  for(QToolButton* mode_button : {d_pan_button, d_rotate2d_button, d_rotate3d_button})
  {
    const QSignalBlocker blocker(mode_button);
    mode_button->setChecked(mode_button == button);
  }
}

// Switching a mode off falls back to panning, so exactly one mode is always on.
void TOpenGLDisplayWidget::Pan(bool state)
{
  Q_UNUSED(state);
  Check_Mode_Button(d_pan_button);
  if(d_display)
  {
    d_display->Set_Pan_Mode();
  }
}

void TOpenGLDisplayWidget::Rotate2d(bool state)
{
  if(!state)
  {
    Pan(true);
    return;
  }
  Check_Mode_Button(d_rotate2d_button);
  if(d_display)
  {
    d_display->Set_Rotate2D_Mode();
  }
}

void TOpenGLDisplayWidget::Rotate3d(bool state)
{
  if(!state)
  {
    Pan(true);
    return;
  }
  Check_Mode_Button(d_rotate3d_button);
  if(d_display)
  {
    d_display->Set_Rotate3D_Mode();
  }
}

void TOpenGLDisplayWidget::Scale_To_Fit()
{
  if(d_display)
  {
    d_display->Request_Fit();
    d_display->update();
  }
}

void TOpenGLDisplayWidget::Update(bool fit)
{
  if(!d_display)
  {
    return;
  }
  if(fit)
  {
    d_display->Request_Fit();
  }
  d_display->update();
}

void TOpenGLDisplayWidget::Define_Machine_Volume(const TVector3& corner_a, const TVector3& corner_b)
{
  d_volume_minimum =
      TVector3(std::min(corner_a.x, corner_b.x), std::min(corner_a.y, corner_b.y), std::min(corner_a.z, corner_b.z));
  d_volume_maximum =
      TVector3(std::max(corner_a.x, corner_b.x), std::max(corner_a.y, corner_b.y), std::max(corner_a.z, corner_b.z));
  if(d_display)
  {
    d_display->Define_Machine_Volume(d_volume_minimum, d_volume_maximum);
  }
}

void TOpenGLDisplayWidget::Clear_Render_Measurements()
{
  if(d_display)
  {
    d_display->Clear_Render_Items();
  }
}

void TOpenGLDisplayWidget::Clear_Render_Volume()
{
  if(d_display)
  {
    d_display->Clear_Render_Volume();
  }
}

void TOpenGLDisplayWidget::Clear_Selection()
{
  if(d_display)
  {
    d_display->Clear_Selection();
  }
}

void TOpenGLDisplayWidget::Set_Selection(int key)
{
  if(d_display)
  {
    d_display->Set_Selection(key);
  }
}

void TOpenGLDisplayWidget::Render_Measurements(TMeasurement* measurement)
{
  VARLUME_ASSERT(measurement);
  if(!d_display)
  {
    return;
  }

  switch(measurement->Type())
  {
  case Types::MEASUREMENT_BALLBAR:
    for(const TOpenGLDisplay::TBallBar& record : MeasurementScene::Ballbar_Records(*measurement))
    {
      d_display->Add_BallBar(record);
    }
    break;
  case Types::MEASUREMENT_LASER:
    for(const TOpenGLDisplay::TLaser& record : MeasurementScene::Laser_Records(*measurement))
    {
      d_display->Add_Laser(record);
    }
    break;
  case Types::MEASUREMENT_ISO:
    for(const TOpenGLDisplay::TISOGauge& record : MeasurementScene::ISO_Records(*measurement))
    {
      d_display->Add_ISOGauge(record);
    }
    break;
  case Types::MEASUREMENT_MCG:
    for(const TOpenGLDisplay::TMCGGauge& record : MeasurementScene::MCG_Records(*measurement))
    {
      d_display->Add_MCGGauge(record);
    }
    break;
  }
}
