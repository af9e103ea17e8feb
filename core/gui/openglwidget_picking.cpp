// Depth read-back, click unprojection and the selection items of TOpenGLWidget.
#include "core/gui/openglwidget.h"

#include <cmath>
#include <vector>

namespace
{
const double MINIMUM_LENGTH = 1e-6;
// Depths above this count as background (the clear depth is 1).
const double BACKGROUND_DEPTH = 0.99;

} // namespace

bool TOpenGLWidget::Is_Point_Between(const TVector3& p, const TVector3& a, const TVector3& b, const TVector3& axis)
{
  const double da = axis ^ (p - a);
  const double db = axis ^ (p - b);
  return da != 0.0 && db != 0.0 && ((da < 0.0) != (db < 0.0));
}

void TOpenGLWidget::AddSelectionItem(const TSelectionItemType& item)
{
  if(item.type == 1)
  {
    d_SelectionItems.push_back(item);
    return;
  }
  if(item.type != 0)
  {
    return;
  }

  TSelectionItemType box(item);
  const TVector3 d = box.p1 - box.p0;
  if(d.Length() > MINIMUM_LENGTH && box.a1.Length() > MINIMUM_LENGTH && box.a2.Length() > MINIMUM_LENGTH &&
     box.a3.Length() > MINIMUM_LENGTH)
  {
    // Every axis points from p0 towards p1, so "between" reads the same along all three.
    for(TVector3* axis : {&box.a1, &box.a2, &box.a3})
    {
      if(((*axis) ^ d) <= 0.0)
      {
        *axis = (*axis) * -1.0;
      }
      axis->Normal();
    }
  }
  else
  {
    box.a1 = TVector3(1, 0, 0);
    box.a2 = TVector3(0, 1, 0);
    box.a3 = TVector3(0, 0, 1);
  }
  d_SelectionItems.push_back(box);
}

TOpenGLWidget::TSelectionItemType TOpenGLWidget::Selection_Item(int index) const
{
  VARLUME_ASSERT(index >= 0 && index < static_cast<int>(d_SelectionItems.size()));
  return d_SelectionItems[static_cast<size_t>(index)];
}

int TOpenGLWidget::Find_Selection(const TVector3& point) const
{
  int best_index = -1;
  double best_distance = 0.0;
  for(size_t index = 0; index < d_SelectionItems.size(); ++index)
  {
    const TSelectionItemType& item = d_SelectionItems[index];
    if(item.type == 0)
    {
      if(Is_Point_Between(point, item.p0, item.p1, item.a1) && Is_Point_Between(point, item.p0, item.p1, item.a2) &&
         Is_Point_Between(point, item.p0, item.p1, item.a3))
      {
        return static_cast<int>(index);
      }
    }
    else if(item.type == 1)
    {
      const TVector3 d = item.p1 - item.p0;
      const double length = d.Length();
      if(length > MINIMUM_LENGTH && Is_Point_Between(point, item.p0, item.p1, d))
      {
        const TVector3 from_middle = point - (item.p0 + item.p1) * 0.5;
        if(from_middle.Length() <= MINIMUM_LENGTH)
        {
          return static_cast<int>(index);
        }
        const double distance = (from_middle * (d / length)).Length();
        if(best_index < 0 || distance < best_distance)
        {
          best_index = static_cast<int>(index);
          best_distance = distance;
        }
      }
    }
  }
  return best_index;
}

double TOpenGLWidget::Get_GLPixel_Depth(short x, short y)
{
  VARLUME_ASSERT(x >= 0 && y >= 0 && x < d_viewport_width && y < d_viewport_height);
  if(!context())
  {
    return 1.0;
  }
  makeCurrent();

  // The view renders into the widget's framebuffer object, which holds the last frame. It has
  // devicePixelRatio pixels per viewport pixel (more than one on a high-density screen), so the
  // pixel read is the one under the centre of the viewport pixel and the averaging square
  // covers the same part of the view at any ratio.
  const double ratio = devicePixelRatioF();
  const int framebuffer_width = qRound(d_viewport_width * ratio);
  const int framebuffer_height = qRound(d_viewport_height * ratio);
  const int fx = std::min(static_cast<int>((x + 0.5) * ratio), framebuffer_width - 1);
  const int fy = std::min(static_cast<int>((y + 0.5) * ratio), framebuffer_height - 1);

  GLfloat value = 1.0f;
  glReadPixels(fx, fy, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &value);
  double depth = value > 1.0f ? 1.0 : value;
  if(depth <= BACKGROUND_DEPTH)
  {
    return depth;
  }

  // Background: the mean depth of the geometry in a square around the pixel, so that a click
  // beside a thin object still finds its depth.
  const int side = static_cast<int>(std::min(d_viewport_width, d_viewport_height) / 5 * ratio);
  if(side <= 1)
  {
    return depth;
  }
  const int left = std::max(0, std::min(fx - side / 2, framebuffer_width - side));
  const int bottom = std::max(0, std::min(fy - side / 2, framebuffer_height - side));
  std::vector<GLfloat> values(static_cast<size_t>(side) * static_cast<size_t>(side), 1.0f);
  glReadPixels(left, bottom, side, side, GL_DEPTH_COMPONENT, GL_FLOAT, values.data());

  double sum = 0.0;
  int count = 0;
  for(const GLfloat v : values)
  {
    if(v <= BACKGROUND_DEPTH)
    {
      sum += v;
      ++count;
    }
  }
  return count > 0 ? sum / count : 1.0;
}

void TOpenGLWidget::Pixel_Ray(short x, short y, TVector3* origin, TVector3* direction) const
{
  const TMat4& p = d_projection_mat;
  const double half_width = d_viewport_width * 0.5;
  const double half_height = d_viewport_height * 0.5;
  // View z where the projection gives normalised depth 0; depth grows along the sign of p[10].
  const double middle_z = std::fabs(p[10]) > 0.0 ? -p[11] / p[10] : 0.0;
  const TVector3 view((x - half_width * (1.0 + p[3])) / half_width / p[0],
                      (y - half_height * (1.0 + p[7])) / half_height / p[5], middle_z);
  TMat4 inverse(d_model_view_mat);
  inverse.Transpose();
  *origin = inverse * view;
  *direction = inverse * TVector3(0.0, 0.0, p[10] < 0.0 ? -1.0 : 1.0);
}

double TOpenGLWidget::Pixel_Size() const
{
  const double scale = std::fabs(d_projection_mat[0]) * d_viewport_width * 0.5;
  return scale > 0.0 ? 1.0 / scale : 0.0;
}

int TOpenGLWidget::Pick(short x, short y, TVector3* point)
{
  TVector3 direction;
  Pixel_Ray(x, y, point, &direction);
  const double depth = Get_GLPixel_Depth(x, y);
  if(depth > BACKGROUND_DEPTH)
  {
    return -1;
  }

  const TMat4& p = d_projection_mat;
  const double half_width = d_viewport_width * 0.5;
  const double half_height = d_viewport_height * 0.5;
  const TVector3 view((x - half_width * (1.0 + p[3])) / half_width / p[0],
                      (y - half_height * (1.0 + p[7])) / half_height / p[5],
                      (depth - 0.5 - 0.5 * p[11]) / (0.5 * p[10]));
  TMat4 inverse(d_model_view_mat);
  inverse.Transpose();
  *point = inverse * view;

  const int index = Find_Selection(*point);
  return index < 0 ? -1 : d_SelectionItems[static_cast<size_t>(index)].identifier;
}

void TOpenGLWidget::Process_Mouse_Click(short x, short y)
{
  if(!Inside_Viewport(x, y))
  {
    return;
  }
  // A click on the background reports -1 as well, so that the owner can drop its selection.
  TVector3 point;
  const int id = Pick(x, y, &point);
  emit Model_Click_Point(point.x, point.y, point.z, id);
}
