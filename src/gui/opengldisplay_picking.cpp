// Picking of TOpenGLDisplay: the line of sight under the pointer is met with the triangles that
// are drawn, so the item picked is the one the user sees there, whatever lies behind it.
#include "src/gui/opengldisplay.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace
{
// Pixels around the pointer that still hit a thin part.
const double PICK_TOLERANCE_PIXELS = 3.0;

// The ray parameter where the ray meets the triangle (both faces), or false.
bool Ray_Triangle(const TVector3& origin, const TVector3& direction, const TVector3& a, const TVector3& b,
                  const TVector3& c, double* parameter)
{
  const TVector3 edge1 = b - a;
  const TVector3 edge2 = c - a;
  const TVector3 p = direction * edge2;
  const double determinant = edge1 ^ p;
  if(std::fabs(determinant) < 1e-12)
  {
    return false;
  }
  const double inverse = 1.0 / determinant;
  const TVector3 s = origin - a;
  const double u = (s ^ p) * inverse;
  if(u < 0.0 || u > 1.0)
  {
    return false;
  }
  const TVector3 q = s * edge1;
  const double v = (direction ^ q) * inverse;
  if(v < 0.0 || u + v > 1.0)
  {
    return false;
  }
  *parameter = (edge2 ^ q) * inverse;
  return true;
}

// Slab test of the ray against the box grown by margin.
bool Ray_Meets_Box(const TVector3& origin, const TVector3& direction, const TVector3& minimum, const TVector3& maximum,
                   double margin)
{
  double low = -std::numeric_limits<double>::infinity();
  double high = std::numeric_limits<double>::infinity();
  for(int axis = 0; axis < 3; ++axis)
  {
    const double o = origin(axis);
    const double d = direction(axis);
    const double a = minimum(axis) - margin;
    const double b = maximum(axis) + margin;
    if(std::fabs(d) < 1e-15)
    {
      if(o < a || o > b)
      {
        return false;
      }
      continue;
    }
    double t0 = (a - o) / d;
    double t1 = (b - o) / d;
    if(t0 > t1)
    {
      std::swap(t0, t1);
    }
    low = std::max(low, t0);
    high = std::min(high, t1);
    if(low > high)
    {
      return false;
    }
  }
  return true;
}
} // namespace

std::vector<TOpenGLDisplay::TPickMesh> TOpenGLDisplay::Pick_Meshes() const
{
  std::vector<TPickMesh> meshes;
  const auto add = [&meshes](const TMeshBuffers& buffers, int key)
  {
    if(buffers.vertex_key > 0)
    {
      meshes.push_back(TPickMesh{buffers.vertex_key, key});
    }
  };
  for(const TRenderBallbarItem& item : d_ballbar_items)
  {
    for(const TMeshBuffers& buffers : item.meshes)
    {
      add(buffers, item.key);
    }
  }
  for(const TRenderISOItem& item : d_iso_items)
  {
    for(const TMeshBuffers& buffers : item.meshes)
    {
      add(buffers, item.key);
    }
  }
  for(const TRenderLaserItem& item : d_laser_items)
  {
    // The head (first mesh) and the beam (third) serve the whole run, not this row.
    for(size_t index = 0; index < item.meshes.size(); ++index)
    {
      add(item.meshes[index], index == 0 || index == 2 ? -1 : item.key);
    }
  }
  for(const TRenderMCGItem& item : d_mcg_base_items)
  {
    add(TMeshBuffers{item.vertex_key, item.normal_key}, -1);
  }
  for(const TRenderMCGItem& item : d_mcg_arm_items)
  {
    add(TMeshBuffers{item.vertex_key, item.normal_key}, item.key);
  }
  return meshes;
}

const TOpenGLDisplay::TBounds& TOpenGLDisplay::Buffer_Bounds(int buffer) const
{
  const auto found = d_pick_bounds.find(buffer);
  if(found != d_pick_bounds.end())
  {
    return found->second;
  }
  TBounds bounds;
  const double* values = d_vertex_buffer.Buffer(buffer);
  const unsigned size = d_vertex_buffer.Buffer_Size(buffer);
  for(unsigned index = 0; values && index + 2 < size; index += 3)
  {
    const TVector3 vertex(values[index], values[index + 1], values[index + 2]);
    if(index == 0)
    {
      bounds.minimum = bounds.maximum = vertex;
      continue;
    }
    for(int axis = 0; axis < 3; ++axis)
    {
      bounds.minimum(axis) = std::min(bounds.minimum(axis), vertex(axis));
      bounds.maximum(axis) = std::max(bounds.maximum(axis), vertex(axis));
    }
  }
  return d_pick_bounds.emplace(buffer, bounds).first->second;
}

bool TOpenGLDisplay::Nearest_Hit(const std::vector<TPickMesh>& meshes, const TVector3& origin,
                                 const TVector3& direction, double* parameter, int* key) const
{
  bool found = false;
  for(const TPickMesh& mesh : meshes)
  {
    const TBounds& bounds = Buffer_Bounds(mesh.buffer);
    if(!Ray_Meets_Box(origin, direction, bounds.minimum, bounds.maximum, 1e-9))
    {
      continue;
    }
    const double* values = d_vertex_buffer.Buffer(mesh.buffer);
    const unsigned size = d_vertex_buffer.Buffer_Size(mesh.buffer);
    for(unsigned index = 0; values && index + 8 < size; index += 9)
    {
      const double* v = values + index;
      double t = 0.0;
      if(Ray_Triangle(origin, direction, TVector3(v[0], v[1], v[2]), TVector3(v[3], v[4], v[5]),
                      TVector3(v[6], v[7], v[8]), &t) &&
         (!found || t < *parameter))
      {
        found = true;
        *parameter = t;
        *key = mesh.key;
      }
    }
  }
  return found;
}

int TOpenGLDisplay::Pick_Ray(const TVector3& origin, const TVector3& direction, double tolerance, TVector3* point) const
{
  *point = origin;
  const double length = direction.Length();
  if(!(length > 0.0))
  {
    return -1;
  }
  const TVector3 d = direction / length;
  const std::vector<TPickMesh> meshes = Pick_Meshes();

  double parameter = 0.0;
  int key = -1;
  if(Nearest_Hit(meshes, origin, d, &parameter, &key))
  {
    *point = origin + d * parameter;
    return key;
  }
  if(!(tolerance > 0.0))
  {
    return -1;
  }

  // Two directions across the line of sight.
  const TVector3 helper = std::fabs(d.x) < 0.9 ? TVector3(1, 0, 0) : TVector3(0, 1, 0);
  TVector3 across1 = d * helper;
  across1 = across1 / across1.Length();
  const TVector3 across2 = d * across1;
  // Eight directions, 45 degrees apart.
  const double diagonal = std::sqrt(0.5);
  const double steps[8][2] = {{1, 0},  {diagonal, diagonal},   {0, 1},  {-diagonal, diagonal},
                              {-1, 0}, {-diagonal, -diagonal}, {0, -1}, {diagonal, -diagonal}};
  bool found = false;
  for(const auto& step : steps)
  {
    const TVector3 offset = (across1 * step[0] + across2 * step[1]) * tolerance;
    double t = 0.0;
    int k = -1;
    if(Nearest_Hit(meshes, origin + offset, d, &t, &k) && (!found || t < parameter))
    {
      found = true;
      parameter = t;
      key = k;
      *point = origin + offset + d * t;
    }
  }
  return found ? key : -1;
}

int TOpenGLDisplay::Pick(short x, short y, TVector3* point)
{
  TVector3 origin;
  TVector3 direction;
  Pixel_Ray(x, y, &origin, &direction);
  return Pick_Ray(origin, direction, Pixel_Size() * PICK_TOLERANCE_PIXELS, point);
}
