#include "core/opengl_geometryfactory.h"

#include <cmath>

namespace
{
const double MINIMUM_SIZE = 1e-6;
const double PI = 3.14159265358979323846;
// A circle is this many sectors before subdivision; each level halves them.
const int CIRCLE_SECTORS = 12;

TVector3 Unit(const TVector3& v)
{
  TVector3 result(v);
  return result.Normal();
}

// A unit vector perpendicular to the unit axis, as close to reference as possible. A reference
// (nearly) parallel to the axis has its components rotated until it is usable.
TVector3 Perpendicular(const TVector3& axis, const TVector3& reference)
{
  TVector3 candidate(reference);
  for(int attempt = 0; attempt < 3; ++attempt)
  {
    if(candidate.Length() > MINIMUM_SIZE && (axis * Unit(candidate)).Length() >= 0.001)
    {
      return Unit(candidate - axis * (candidate ^ axis));
    }
    candidate = TVector3(candidate.z, candidate.x, candidate.y);
  }

  // Only a reference along (1, 1, 1) survives the rotations: take the axis' weakest component.
  const double ax = std::fabs(axis.x);
  const double ay = std::fabs(axis.y);
  const double az = std::fabs(axis.z);
  const TVector3 fallback =
      (ax <= ay && ax <= az) ? TVector3(1, 0, 0) : (ay <= az ? TVector3(0, 1, 0) : TVector3(0, 0, 1));
  return Unit(fallback - axis * (fallback ^ axis));
}

void Push(TOpenGLGeometryFactory::TMesh* mesh, const TVector3& vertex, const TVector3& normal)
{
  mesh->push_back(TOpenGLGeometryFactory::TOpenGLTriangleVertex{vertex, normal});
}
} // namespace

TVector3 TOpenGLGeometryFactory::Normalize_XY(const TVector3& v)
{
  const double length = std::sqrt(v.x * v.x + v.y * v.y);
  if(!(length > 0.0))
  {
    return v;
  }
  return TVector3(v.x / length, v.y / length, v.z);
}

void TOpenGLGeometryFactory::RenderPlaneTriangle(TMesh* mesh, const TVector3& p0, const TVector3& p1,
                                                 const TVector3& p2, const TVector3& normal, int level) const
{
  if(level <= 0)
  {
    Push(mesh, p0, normal);
    Push(mesh, p1, normal);
    Push(mesh, p2, normal);
    return;
  }

  const TVector3 m01 = (p0 + p1) * 0.5;
  const TVector3 m12 = (p1 + p2) * 0.5;
  const TVector3 m20 = (p2 + p0) * 0.5;
  RenderPlaneTriangle(mesh, p0, m01, m20, normal, level - 1);
  RenderPlaneTriangle(mesh, m01, p1, m12, normal, level - 1);
  RenderPlaneTriangle(mesh, m20, m12, p2, normal, level - 1);
  RenderPlaneTriangle(mesh, m01, m12, m20, normal, level - 1);
}

void TOpenGLGeometryFactory::RenderCircleTriangle(TMesh* mesh, const TVector3& centre, const TVector3& normal,
                                                  double radius, const TVector3& u0, const TVector3& u1, int level,
                                                  std::vector<TVector3>* rim) const
{
  // A sector is halved along its arc; the rim point of the new edge lies on the circle.
  if(level <= 0)
  {
    Push(mesh, centre, normal);
    Push(mesh, centre + u0 * radius, normal);
    Push(mesh, centre + u1 * radius, normal);
    if(rim)
    {
      rim->push_back(u0);
    }
    return;
  }

  const TVector3 middle = Unit(u0 + u1);
  RenderCircleTriangle(mesh, centre, normal, radius, u0, middle, level - 1, rim);
  RenderCircleTriangle(mesh, centre, normal, radius, middle, u1, level - 1, rim);
}

void TOpenGLGeometryFactory::RenderSphereTriangle(TMesh* mesh, const TVector3& centre, double radius,
                                                  const TVector3& u0, const TVector3& u1, const TVector3& u2,
                                                  int level) const
{
  if(level <= 0)
  {
    Push(mesh, centre + u0 * radius, u0);
    Push(mesh, centre + u1 * radius, u1);
    Push(mesh, centre + u2 * radius, u2);
    return;
  }

  const TVector3 m01 = Unit(u0 + u1);
  const TVector3 m12 = Unit(u1 + u2);
  const TVector3 m20 = Unit(u2 + u0);
  RenderSphereTriangle(mesh, centre, radius, u0, m01, m20, level - 1);
  RenderSphereTriangle(mesh, centre, radius, m01, u1, m12, level - 1);
  RenderSphereTriangle(mesh, centre, radius, m20, m12, u2, level - 1);
  RenderSphereTriangle(mesh, centre, radius, m01, m12, m20, level - 1);
}

TOpenGLGeometryFactory::TMesh TOpenGLGeometryFactory::RenderSphere(const TVector3& centre, double radius) const
{
  TMesh mesh;
  if(d_level < 0 || radius < MINIMUM_SIZE)
  {
    return mesh;
  }

  mesh.reserve(static_cast<size_t>(24) << (2 * d_level));
  // The eight faces of an octahedron; a face with an odd number of negative axes is mirrored,
  // so its corners are swapped to stay counter-clockwise from outside.
  for(int face = 0; face < 8; ++face)
  {
    const double sx = (face & 1) ? -1.0 : 1.0;
    const double sy = (face & 2) ? -1.0 : 1.0;
    const double sz = (face & 4) ? -1.0 : 1.0;
    const TVector3 ux(sx, 0, 0);
    const TVector3 uy(0, sy, 0);
    const TVector3 uz(0, 0, sz);
    if(sx * sy * sz > 0.0)
    {
      RenderSphereTriangle(&mesh, centre, radius, ux, uy, uz, d_level);
    }
    else
    {
      RenderSphereTriangle(&mesh, centre, radius, ux, uz, uy, d_level);
    }
  }
  return mesh;
}

std::vector<TVector3> TOpenGLGeometryFactory::Render_Disc(TMesh* mesh, const TVector3& centre, const TVector3& axis,
                                                          const TVector3& reference, double radius) const
{
  // u and v span the disc so that u x v = axis: increasing angles turn counter-clockwise.
  const TVector3 u = Perpendicular(axis, reference);
  const TVector3 v = axis * u;
  std::vector<TVector3> rim;
  for(int sector = 0; sector < CIRCLE_SECTORS; ++sector)
  {
    const double a0 = 2.0 * PI * sector / CIRCLE_SECTORS;
    const double a1 = 2.0 * PI * (sector + 1) / CIRCLE_SECTORS;
    const TVector3 u0 = u * std::cos(a0) + v * std::sin(a0);
    const TVector3 u1 = u * std::cos(a1) + v * std::sin(a1);
    RenderCircleTriangle(mesh, centre, axis, radius, u0, u1, d_level, &rim);
  }
  return rim;
}

TOpenGLGeometryFactory::TMesh TOpenGLGeometryFactory::RenderCircularPlane(const TVector3& centre, const TVector3& axis,
                                                                          const TVector3& reference,
                                                                          double radius) const
{
  TMesh mesh;
  if(d_level < 0 || radius < MINIMUM_SIZE || axis.Length() < MINIMUM_SIZE)
  {
    return mesh;
  }
  Render_Disc(&mesh, centre, Unit(axis), reference, radius);
  return mesh;
}

TOpenGLGeometryFactory::TMesh TOpenGLGeometryFactory::RenderCylinder(const TVector3& start, const TVector3& axis,
                                                                     double radius, double length) const
{
  TMesh mesh;
  if(d_level < 0 || radius < MINIMUM_SIZE || axis.Length() < MINIMUM_SIZE)
  {
    return mesh;
  }

  const TVector3 unit_axis = Unit(axis);
  const TVector3 begin = length < 0.0 ? start + unit_axis * length : start;
  const TVector3 end = begin + unit_axis * std::fabs(length);
  const TVector3 reference = Perpendicular(unit_axis, TVector3(1, 0, 0));

  // The top cap's rim runs counter-clockwise about the axis; the bottom cap faces the other way
  // but starts at the same reference, so both rims meet the side exactly.
  const std::vector<TVector3> rim = Render_Disc(&mesh, end, unit_axis, reference, radius);
  Render_Disc(&mesh, begin, unit_axis * -1.0, reference, radius);

  const size_t count = rim.size();
  for(size_t i = 0; i < count; ++i)
  {
    const TVector3& n0 = rim[i];
    const TVector3& n1 = rim[(i + 1) % count];
    const TVector3 b0 = begin + n0 * radius;
    const TVector3 b1 = begin + n1 * radius;
    const TVector3 t0 = end + n0 * radius;
    const TVector3 t1 = end + n1 * radius;
    Push(&mesh, b0, n0);
    Push(&mesh, b1, n1);
    Push(&mesh, t1, n1);
    Push(&mesh, b0, n0);
    Push(&mesh, t1, n1);
    Push(&mesh, t0, n0);
  }
  return mesh;
}

TOpenGLGeometryFactory::TMesh TOpenGLGeometryFactory::RenderPlane(const TVector3& p0, const TVector3& p1,
                                                                  const TVector3& p2, const TVector3& p3) const
{
  TMesh mesh;
  if(d_level < 0)
  {
    return mesh;
  }
  // The diagonals give the face normal even for a slightly warped quadrilateral.
  const TVector3 normal = (p2 - p0) * (p3 - p1);
  if(normal.Length() < MINIMUM_SIZE * MINIMUM_SIZE)
  {
    return mesh;
  }
  const TVector3 unit_normal = Unit(normal);
  const TVector3 middle = (p0 + p1 + p2 + p3) * 0.25;
  RenderPlaneTriangle(&mesh, p0, p1, middle, unit_normal, d_level);
  RenderPlaneTriangle(&mesh, p1, p2, middle, unit_normal, d_level);
  RenderPlaneTriangle(&mesh, p2, p3, middle, unit_normal, d_level);
  RenderPlaneTriangle(&mesh, p3, p0, middle, unit_normal, d_level);
  return mesh;
}

TOpenGLGeometryFactory::TMesh TOpenGLGeometryFactory::RenderPolygon(const TVector3& centre, const TVector3& axis,
                                                                    const TVector3& reference, double radius,
                                                                    double height, int sides) const
{
  TMesh mesh;
  if(d_level < 0 || radius < MINIMUM_SIZE || sides <= 3 || axis.Length() < MINIMUM_SIZE ||
     reference.Length() < MINIMUM_SIZE)
  {
    return mesh;
  }

  const TVector3 unit_axis = Unit(axis);
  const TVector3 u = Perpendicular(unit_axis, reference);
  const TVector3 v = unit_axis * u;
  const TVector3 half = unit_axis * (std::fabs(height) * 0.5);
  const TVector3 bottom_centre = centre - half;
  const TVector3 top_centre = centre + half;

  std::vector<TVector3> corners;
  corners.reserve(static_cast<size_t>(sides));
  for(int side = 0; side < sides; ++side)
  {
    const double angle = 2.0 * PI * side / sides;
    corners.push_back((u * std::cos(angle) + v * std::sin(angle)) * radius);
  }

  for(int side = 0; side < sides; ++side)
  {
    const TVector3& c0 = corners[static_cast<size_t>(side)];
    const TVector3& c1 = corners[static_cast<size_t>((side + 1) % sides)];
    const TMesh face = RenderPlane(bottom_centre + c0, bottom_centre + c1, top_centre + c1, top_centre + c0);
    mesh.insert(mesh.end(), face.begin(), face.end());
    RenderPlaneTriangle(&mesh, top_centre, top_centre + c0, top_centre + c1, unit_axis, d_level);
    RenderPlaneTriangle(&mesh, bottom_centre, bottom_centre + c1, bottom_centre + c0, unit_axis * -1.0, d_level);
  }
  return mesh;
}
