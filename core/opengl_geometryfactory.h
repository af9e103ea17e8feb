#ifndef OPENGL_GEOMETRYFACTORY_H
#define OPENGL_GEOMETRYFACTORY_H

#include <vector>

#include "core/vector3.h"

// Turns simple solids into triangle lists (three vertices per triangle, counter-clockwise
// seen from outside) with outward unit normals. Results are in the caller's coordinates.
class TOpenGLGeometryFactory
{
public:
  struct TOpenGLTriangleVertex
  {
    TVector3 vertex;
    TVector3 normal;
  };
  using TMesh = std::vector<TOpenGLTriangleVertex>;

  TOpenGLGeometryFactory() = default;

  // Subdivision level: a sphere has 8 * 4^level triangles, a circle 12 * 2^level sectors.
  // A negative level makes every operation return an empty list.
  int Level() const { return d_level; }
  void Set_Level(int level) { d_level = level; }

  // Empty for a radius below 1e-6.
  TMesh RenderSphere(const TVector3& centre, double radius) const;
  // Closed cylinder from start along the unit axis; a negative length runs backwards.
  // Empty for a radius below 1e-6 or an axis shorter than 1e-6.
  TMesh RenderCylinder(const TVector3& start, const TVector3& axis, double radius, double length) const;
  // Right prism centred on centre, caps at +-height/2 along axis, first corner towards the
  // reference direction. Empty for a radius below 1e-6, three sides or fewer, or a short
  // axis or reference.
  TMesh RenderPolygon(const TVector3& centre, const TVector3& axis, const TVector3& reference, double radius,
                      double height, int sides) const;
  // Quadrilateral p0..p3, counter-clockwise seen from its front. Empty when it has no area.
  TMesh RenderPlane(const TVector3& p0, const TVector3& p1, const TVector3& p2, const TVector3& p3) const;
  // Disc facing along axis, its first rim point towards reference.
  TMesh RenderCircularPlane(const TVector3& centre, const TVector3& axis, const TVector3& reference,
                            double radius) const;

  // x and y divided by the length of (x, y), z unchanged; v itself when (x, y) is zero.
  static TVector3 Normalize_XY(const TVector3& v);

private:
  void RenderPlaneTriangle(TMesh* mesh, const TVector3& p0, const TVector3& p1, const TVector3& p2,
                           const TVector3& normal, int level) const;
  void RenderCircleTriangle(TMesh* mesh, const TVector3& centre, const TVector3& normal, double radius,
                            const TVector3& u0, const TVector3& u1, int level, std::vector<TVector3>* rim) const;
  void RenderSphereTriangle(TMesh* mesh, const TVector3& centre, double radius, const TVector3& u0, const TVector3& u1,
                            const TVector3& u2, int level) const;
  // Appends the disc and returns its rim directions in counter-clockwise order.
  std::vector<TVector3> Render_Disc(TMesh* mesh, const TVector3& centre, const TVector3& axis,
                                    const TVector3& reference, double radius) const;

  int d_level = 1;
};

#endif
