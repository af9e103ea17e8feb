#include "src/model/mcg_model.h"

#include <cmath>

#include "core/mat4.h"
#include "core/referencesystem.h"

// The gauge is a pivot ball on a turned column with a black clamp band and knob; the arm is a
// black socket cap behind the ball, a grey tube with two collars and a grey end ball. Every part
// is a surface of revolution or a disc, generated once into single-precision tables (three
// floats per vertex and per normal) and then only copied, offset and turned.

namespace
{
const int MODE_TRIANGLE_STRIP = 5;
const int MODE_TRIANGLE_FAN = 6;
const int MODE_QUAD_STRIP = 8;
const double PI = 3.14159265358979323846;
const TVector3 BLACK(0.0, 0.0, 0.0);
const TVector3 GREY(0.773911, 0.773911, 0.773911);

struct TTable
{
  TVector3 colour;
  int mode = MODE_TRIANGLE_STRIP;
  std::vector<float> vertices;
  std::vector<float> normals;
};

// A point of a revolved profile: axial position t, radius r, and the profile normal split into
// its axial and radial parts.
struct TProfilePoint
{
  double t;
  double r;
  double nt;
  double nr;
};

// Axis a and the directions u, v with u x v = a: angles grow counter-clockwise about a.
struct TFrame
{
  TVector3 origin;
  TVector3 a;
  TVector3 u;
  TVector3 v;

  TVector3 Radial(double angle) const { return u * std::cos(angle) + v * std::sin(angle); }
};

void Append(std::vector<float>* values, const TVector3& p)
{
  values->push_back(static_cast<float>(p.x));
  values->push_back(static_cast<float>(p.y));
  values->push_back(static_cast<float>(p.z));
}

void Add_Vertex(TTable* table, const TVector3& vertex, TVector3 normal)
{
  Append(&table->vertices, vertex);
  Append(&table->normals, normal.Normal());
}

TVector3 Profile_Vertex(const TFrame& frame, const TProfilePoint& point, double angle)
{
  return frame.origin + frame.a * point.t + frame.Radial(angle) * point.r;
}

TVector3 Profile_Normal(const TFrame& frame, const TProfilePoint& point, double angle)
{
  return frame.a * point.nt + frame.Radial(angle) * point.nr;
}

// One sector of a surface of revolution as a strip along the profile. A profile that runs in
// the +a direction along the outside of a solid faces outwards.
TTable Revolved_Strip(const TFrame& frame, const std::vector<TProfilePoint>& profile, double angle0, double angle1,
                      const TVector3& colour)
{
  TTable table;
  table.colour = colour;
  table.mode = MODE_TRIANGLE_STRIP;
  for(const TProfilePoint& point : profile)
  {
    Add_Vertex(&table, Profile_Vertex(frame, point, angle0), Profile_Normal(frame, point, angle0));
    Add_Vertex(&table, Profile_Vertex(frame, point, angle1), Profile_Normal(frame, point, angle1));
  }
  return table;
}

void Add_Revolution(std::vector<TTable>* tables, const TFrame& frame, const std::vector<TProfilePoint>& profile,
                    int sectors, const TVector3& colour)
{
  for(int sector = 0; sector < sectors; ++sector)
  {
    tables->push_back(
        Revolved_Strip(frame, profile, 2.0 * PI * sector / sectors, 2.0 * PI * (sector + 1) / sectors, colour));
  }
}

// The side of a cylinder from t0 to t1 as one strip around the circumference (closed).
TTable Circumference_Strip(const TFrame& frame, double t0, double t1, double radius, int segments, int mode,
                           const TVector3& colour)
{
  TTable table;
  table.colour = colour;
  table.mode = mode;
  for(int k = 0; k <= segments; ++k)
  {
    const double angle = 2.0 * PI * (k % segments) / segments;
    const TVector3 radial = frame.Radial(angle);
    Add_Vertex(&table, frame.origin + frame.a * t1 + radial * radius, radial);
    Add_Vertex(&table, frame.origin + frame.a * t0 + radial * radius, radial);
  }
  return table;
}

// A closed regular polygon as a fan, facing u x v.
TTable Disc_Fan(const TVector3& centre, const TVector3& u, const TVector3& v, double radius, int segments,
                const TVector3& colour)
{
  TTable table;
  table.colour = colour;
  table.mode = MODE_TRIANGLE_FAN;
  const TVector3 normal = u * v;
  Add_Vertex(&table, centre, normal);
  for(int k = 0; k <= segments; ++k)
  {
    const double angle = 2.0 * PI * (k % segments) / segments;
    Add_Vertex(&table, centre + (u * std::cos(angle) + v * std::sin(angle)) * radius, normal);
  }
  return table;
}

std::vector<TProfilePoint> Sphere_Profile(double centre, double radius, int bands)
{
  std::vector<TProfilePoint> profile;
  for(int band = 0; band <= bands; ++band)
  {
    const double psi = PI * band / bands;
    profile.push_back({centre - radius * std::cos(psi), radius * std::sin(psi), -std::cos(psi), std::sin(psi)});
  }
  return profile;
}

const double BALL_RADIUS = 12.0;
const double END_BALL_CENTRE = MCG::ARM_REFERENCE_LENGTH;
const double END_BALL_RADIUS = 9.0;

std::vector<TTable> Build_Arm()
{
  std::vector<TTable> tables;
  const TFrame arm{TVector3(), TVector3(1, 0, 0), TVector3(0, 1, 0), TVector3(0, 0, 1)};

  // 1-13: the socket cap behind the pivot ball, a dome that ends in the pivot plane x = 0.
  std::vector<TProfilePoint> hub;
  for(int step = 0; step <= 6; ++step)
  {
    const double phi = 0.5 * PI * step / 6;
    TVector3 normal(-std::cos(phi) / 14.0, std::sin(phi) / 17.0, 0.0);
    normal.Normal();
    hub.push_back({-12.0 - 14.0 * std::cos(phi), 17.0 * std::sin(phi), normal.x, normal.y});
  }
  hub.push_back({-6.0, 17.0, 0.0, 1.0});
  hub.push_back({0.0, 17.0, 0.0, 1.0});
  Add_Revolution(&tables, arm, hub, 13, BLACK);

  // 14: the socket's front face, a ring from the ball's great circle to the cap.
  TTable ring;
  ring.colour = BLACK;
  ring.mode = MODE_QUAD_STRIP;
  for(int k = 0; k <= 9; ++k)
  {
    const TVector3 radial = arm.Radial(2.0 * PI * (k % 9) / 9);
    Add_Vertex(&ring, radial * BALL_RADIUS, arm.a);
    Add_Vertex(&ring, radial * 16.8, arm.a);
  }
  tables.push_back(ring);

  // 15, 16: the bolt heads of the socket on either side.
  tables.push_back(Disc_Fan(TVector3(-6.0, 17.3, 0.0), TVector3(0, 0, 1), TVector3(1, 0, 0), 4.0, 9, BLACK));
  tables.push_back(Disc_Fan(TVector3(-6.0, -17.3, 0.0), TVector3(1, 0, 0), TVector3(0, 0, 1), 4.0, 9, BLACK));

  // 17-29: the tube, thick at the root and tapering into the rod.
  const std::vector<TProfilePoint> tube = {{0.0, 7.5, 0.0, 1.0},
                                           {14.0, 7.5, 0.15, 0.99},
                                           {22.0, 5.0, 0.15, 0.99},
                                           {30.0, 5.0, 0.0, 1.0},
                                           {END_BALL_CENTRE - 4.0, 5.0, 0.0, 1.0}};
  Add_Revolution(&tables, arm, tube, 13, GREY);

  // 30-55: a collar at the root and one before the end ball.
  const std::vector<TProfilePoint> root_collar = {{10.0, 7.4, -0.6, 0.8}, {13.0, 9.5, 0.0, 1.0}, {16.0, 7.4, 0.6, 0.8}};
  Add_Revolution(&tables, arm, root_collar, 13, GREY);
  const std::vector<TProfilePoint> end_collar = {{END_BALL_CENTRE - 22.0, 4.9, -0.6, 0.8},
                                                 {END_BALL_CENTRE - 18.0, 7.0, 0.0, 1.0},
                                                 {END_BALL_CENTRE - 14.0, 4.9, 0.6, 0.8}};
  Add_Revolution(&tables, arm, end_collar, 13, GREY);

  // 56-68: the end ball at the reference length.
  Add_Revolution(&tables, arm, Sphere_Profile(END_BALL_CENTRE, END_BALL_RADIUS, 6), 13, GREY);
  return tables;
}

std::vector<TTable> Build_Base()
{
  std::vector<TTable> tables;
  const TFrame base{TVector3(), TVector3(0, 0, 1), TVector3(1, 0, 0), TVector3(0, 1, 0)};
  // Normal of the cone from radius 15 down to 6 over 8 mm of height.
  const double s = 0.747;
  const double c = 0.664;
  const double h = 0.7071;

  // 69-93: foot plate, boss, column, cone and the stem that carries the ball. Sharp edges
  // repeat a point with the normal of the next face.
  const std::vector<TProfilePoint> column = {
      {-130.0, 0.0, -1.0, 0.0}, {-130.0, 52.0, -1.0, 0.0}, {-130.0, 52.0, 0.0, 1.0}, {-122.0, 52.0, 0.0, 1.0},
      {-122.0, 52.0, h, h},     {-119.0, 49.0, h, h},      {-119.0, 49.0, 1.0, 0.0}, {-119.0, 22.0, 1.0, 0.0},
      {-119.0, 22.0, 0.0, 1.0}, {-113.0, 22.0, 0.0, 1.0},  {-113.0, 22.0, h, h},     {-111.0, 20.0, h, h},
      {-111.0, 20.0, 1.0, 0.0}, {-111.0, 15.0, 1.0, 0.0},  {-111.0, 15.0, 0.0, 1.0}, {-34.0, 15.0, 0.0, 1.0},
      {-34.0, 15.0, s, c},      {-26.0, 6.0, s, c},        {-26.0, 6.0, 0.0, 1.0},   {-10.0, 6.0, 0.0, 1.0},
      {-10.0, 6.0, 1.0, 0.0},   {-10.0, 0.0, 1.0, 0.0}};
  Add_Revolution(&tables, base, column, 25, GREY);

  // 94-118: the clamp band round the column.
  const std::vector<TProfilePoint> band = {
      {-81.0, 15.0, -h, h}, {-78.5, 17.5, -0.2, 0.98}, {-66.5, 17.5, 0.2, 0.98}, {-64.0, 15.0, h, h}};
  Add_Revolution(&tables, base, band, 25, BLACK);

  // 119-124: the clamp knob pointing to -Y, and three feet under the plate.
  const TFrame knob{TVector3(0.0, 0.0, -72.5), TVector3(0, -1, 0), TVector3(1, 0, 0), TVector3(0, 0, 1)};
  const auto foot = [](double angle)
  {
    const TVector3 centre(38.0 * std::cos(angle), 38.0 * std::sin(angle), -130.3);
    return Disc_Fan(centre, TVector3(0, 1, 0), TVector3(1, 0, 0), 7.0, 9, BLACK);
  };
  tables.push_back(Circumference_Strip(knob, 16.0, 27.0, 3.5, 12, MODE_TRIANGLE_STRIP, BLACK));
  tables.push_back(Disc_Fan(knob.origin + knob.a * 37.0, knob.u, knob.v, 8.0, 12, BLACK));
  tables.push_back(foot(0.5 * PI));
  tables.push_back(Circumference_Strip(knob, 27.0, 37.0, 8.0, 12, MODE_QUAD_STRIP, BLACK));
  tables.push_back(foot(0.5 * PI + 2.0 * PI / 3.0));
  tables.push_back(foot(0.5 * PI + 4.0 * PI / 3.0));

  // 125-163: the pivot ball.
  Add_Revolution(&tables, base, Sphere_Profile(0.0, BALL_RADIUS, 6), 39, GREY);
  return tables;
}

std::vector<TTable> Build_Simplified_Arm()
{
  std::vector<TTable> tables;
  const TFrame arm{TVector3(), TVector3(1, 0, 0), TVector3(0, 1, 0), TVector3(0, 0, 1)};
  tables.push_back(Circumference_Strip(arm, 0.0, END_BALL_CENTRE - 4.0, 5.0, 6, MODE_TRIANGLE_STRIP, GREY));

  // The end ball as two six-sided cones, with the normals of the sphere.
  const TVector3 centre(END_BALL_CENTRE, 0.0, 0.0);
  for(const double side : {1.0, -1.0})
  {
    TTable cone;
    cone.colour = GREY;
    cone.mode = MODE_TRIANGLE_FAN;
    const TVector3 pole(side, 0.0, 0.0);
    Add_Vertex(&cone, centre + pole * END_BALL_RADIUS, pole);
    // Counter-clockwise about +X for the front cone, about -X for the back one.
    const TVector3 u(0, 1, 0);
    const TVector3 v(0, 0, side);
    for(int k = 0; k <= 6; ++k)
    {
      const TVector3 radial = u * std::cos(PI * (k % 6) / 3.0) + v * std::sin(PI * (k % 6) / 3.0);
      Add_Vertex(&cone, centre + radial * END_BALL_RADIUS, radial);
    }
    tables.push_back(cone);
  }
  return tables;
}

const std::vector<TTable>& Arm_Tables()
{
  static const std::vector<TTable> tables = Build_Arm();
  return tables;
}

const std::vector<TTable>& Base_Tables()
{
  static const std::vector<TTable> tables = Build_Base();
  return tables;
}

const std::vector<TTable>& Simplified_Arm_Tables()
{
  static const std::vector<TTable> tables = Build_Simplified_Arm();
  return tables;
}

// Copies count / 3 triples, adding the offset to the vertices only.
void Render_Array(std::vector<TVector3>* normals, std::vector<TVector3>* vertices, const float* normal_table,
                  const float* vertex_table, float count, const TVector3& offset)
{
  const int triples = static_cast<int>(count) / 3;
  normals->reserve(normals->size() + static_cast<size_t>(triples));
  vertices->reserve(vertices->size() + static_cast<size_t>(triples));
  for(int i = 0; i < triples; ++i)
  {
    const float* n = normal_table + 3 * i;
    const float* v = vertex_table + 3 * i;
    normals->push_back(TVector3(n[0], n[1], n[2]));
    vertices->push_back(TVector3(v[0], v[1], v[2]) + offset);
  }
}

// Stretches the part beyond the pivot plane (x > 0 after the shift) by scale, then turns and
// places it. Normals are turned but not re-normalised after the stretch.
void Render_Array_Rotated(std::vector<TVector3>* normals, std::vector<TVector3>* vertices, const float* normal_table,
                          const float* vertex_table, float count, const TMat4& rotation, const TVector3& offset,
                          double scale, double shift)
{
  const int triples = static_cast<int>(count) / 3;
  normals->reserve(normals->size() + static_cast<size_t>(triples));
  vertices->reserve(vertices->size() + static_cast<size_t>(triples));
  for(int i = 0; i < triples; ++i)
  {
    const float* n = normal_table + 3 * i;
    const float* v = vertex_table + 3 * i;
    double x = v[0] + shift;
    if(x > 0.0)
    {
      x *= scale;
    }
    vertices->push_back(rotation * TVector3(x, v[1], v[2]) + offset);
    normals->push_back(rotation * TVector3(n[0], n[1], n[2]));
  }
}

std::vector<MCG::TMCGData> Place_Arm(const std::vector<TTable>& tables, const TVector3& position,
                                     const TVector3& direction, const double& length)
{
  // The frame's rows are its axes in machine coordinates; its transpose carries the model's +X
  // onto the direction.
  TReferenceSystem frame;
  frame.Skew1(direction, TReferenceSystem::X_AXIS);
  const TMat4 rotation = frame.Inverse_Rotation_Mat();
  const double scale = length / MCG::ARM_REFERENCE_LENGTH;
  const double shift = 0.0;

  std::vector<MCG::TMCGData> parts;
  parts.reserve(tables.size());
  for(const TTable& table : tables)
  {
    MCG::TMCGData part;
    part.colour = table.colour;
    part.mode = table.mode;
    Render_Array_Rotated(&part.normals, &part.vertices, table.normals.data(), table.vertices.data(),
                         static_cast<float>(table.vertices.size()), rotation, position, scale, shift);
    parts.push_back(std::move(part));
  }
  return parts;
}
} // namespace

std::vector<MCG::TMCGData> MCG::Render_MCG_Base(const TVector3& position)
{
  const std::vector<TTable>& tables = Base_Tables();
  std::vector<TMCGData> parts;
  parts.reserve(tables.size());
  for(const TTable& table : tables)
  {
    TMCGData part;
    part.colour = table.colour;
    part.mode = table.mode;
    Render_Array(&part.normals, &part.vertices, table.normals.data(), table.vertices.data(),
                 static_cast<float>(table.vertices.size()), position);
    parts.push_back(std::move(part));
  }
  return parts;
}

std::vector<MCG::TMCGData> MCG::Render_MCG_Arm(const TVector3& position, const TVector3& direction,
                                               const double& length)
{
  return Place_Arm(Arm_Tables(), position, direction, length);
}

std::vector<MCG::TMCGData> MCG::Render_MCG_Arm_Simplified(const TVector3& position, const TVector3& direction,
                                                          const double& length)
{
  return Place_Arm(Simplified_Arm_Tables(), position, direction, length);
}
