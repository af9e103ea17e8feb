#include "src/model/measurementscene.h"

#include <algorithm>
#include <cmath>

#include "core/referencesystem.h"
#include "src/model/measurement.h"

namespace
{
using TMesh = Scene::TMesh;

const double MINIMUM_LENGTH = 1e-6;
const double STYLUS_RADIUS = 1.5;
const double TIP_RADIUS = 2.5;
const double BALL_RADIUS = 19.5;

// Round parts that are few and large get a finer mesh than those repeated on every row.
const int FINE_LEVEL = 3;
const int MEDIUM_LEVEL = 2;
const int COARSE_LEVEL = 1;

TOpenGLGeometryFactory Factory(int level)
{
  TOpenGLGeometryFactory factory;
  factory.Set_Level(level);
  return factory;
}

void Append(TMesh* mesh, const TMesh& part)
{
  mesh->insert(mesh->end(), part.begin(), part.end());
}

// Axes of a frame whose x runs along direction and whose z leans as far up as it can.
struct TAxes
{
  TVector3 x;
  TVector3 y;
  TVector3 z;
};

TAxes Axes_Along(const TVector3& direction)
{
  TReferenceSystem frame;
  frame.Skew1(direction, TReferenceSystem::X_AXIS);
  frame.Skew2(TVector3(0.0, 0.0, 1.0), TReferenceSystem::Z_AXIS, TReferenceSystem::X_AXIS);
  return TAxes{frame.Axis(TReferenceSystem::X_AXIS), frame.Axis(TReferenceSystem::Y_AXIS),
               frame.Axis(TReferenceSystem::Z_AXIS)};
}

TVector3 Unit_Or(const TVector3& v, const TVector3& fallback)
{
  const double length = v.Length();
  return length > MINIMUM_LENGTH ? v / length : fallback;
}

// The probe that touches tip with the given offset (tip = end of the machine's moving chain +
// offset): a grey head, for an offset with a horizontal part a grey extension with its elbow,
// and the red stylus with its tip ball.
struct TProbeMeshes
{
  TMesh head;
  TMesh extension;
  TMesh elbow;
  TMesh stylus;
};

TProbeMeshes Probe_Meshes(const TVector3& tip, const TVector3& offset)
{
  TProbeMeshes probe;
  const double length = offset.Length();
  if(length <= MINIMUM_LENGTH)
  {
    return probe;
  }

  const TOpenGLGeometryFactory factory = Factory(COARSE_LEVEL);
  const TVector3 ram = tip - offset;
  const TVector3 horizontal(offset.x, offset.y, 0.0);
  const double horizontal_length = horizontal.Length();
  if(horizontal_length > 10.0)
  {
    const TVector3 across = horizontal / horizontal_length;
    const double vertical_length = std::fabs(offset.z);
    if(vertical_length > MINIMUM_LENGTH)
    {
      const TVector3 down(0.0, 0.0, offset.z / vertical_length);
      const double head = std::min(60.0, 0.5 * vertical_length);
      const TVector3 elbow = ram + down * std::max(0.0, head - 7.0);
      probe.head = factory.RenderCylinder(ram, down, 15.0, head);
      probe.extension = factory.RenderCylinder(elbow, across, 7.0, horizontal_length);
      probe.elbow = factory.RenderSphere(elbow, 7.0);
      const TVector3 stylus_start = elbow + horizontal;
      probe.stylus = factory.RenderCylinder(stylus_start, down, STYLUS_RADIUS, (tip - stylus_start) ^ down);
    }
    else
    {
      // A probe lying flat: the extension runs from the ram and the last 22 mm are stylus.
      const double extension = std::max(0.0, horizontal_length - 22.0);
      probe.extension = factory.RenderCylinder(ram, across, 7.0, extension);
      probe.stylus =
          factory.RenderCylinder(ram + across * extension, across, STYLUS_RADIUS, horizontal_length - extension);
    }
  }
  else
  {
    const TVector3 along = offset / length;
    const double head = std::min(60.0, 0.4 * length);
    const double module = std::min(22.0, 0.2 * length);
    probe.head = factory.RenderCylinder(ram, along, 15.0, head);
    probe.extension = factory.RenderCylinder(ram + along * head, along, 7.0, module);
    probe.stylus = factory.RenderCylinder(ram + along * (head + module), along, STYLUS_RADIUS, length - head - module);
  }
  Append(&probe.stylus, Factory(MEDIUM_LEVEL).RenderSphere(tip, TIP_RADIUS));
  return probe;
}

TMesh Probe_Body(const TProbeMeshes& probe)
{
  TMesh body(probe.head);
  Append(&body, probe.extension);
  Append(&body, probe.elbow);
  return body;
}

Scene::TSelectionBox Box_Around(const TVector3& from, const TVector3& to, const TAxes& axes, double half_width,
                                double half_height)
{
  Scene::TSelectionBox box;
  box.p0 = from - axes.y * half_width - axes.z * half_height;
  box.p1 = to + axes.y * half_width + axes.z * half_height;
  box.a1 = axes.x;
  box.a2 = axes.y;
  box.a3 = axes.z;
  return box;
}
} // namespace

std::vector<Scene::TBallBar> MeasurementScene::Ballbar_Records(const TMeasurement& measurement)
{
  std::vector<Scene::TBallBar> records;
  const TOpenGLGeometryFactory fine = Factory(FINE_LEVEL);
  const TOpenGLGeometryFactory medium = Factory(MEDIUM_LEVEL);
  for(size_t index = 0; index < measurement.d_measurement_items.size(); ++index)
  {
    const TMeasurement::TMeasurementItem& row = measurement.d_measurement_items[index];
    const TVector3 sphere1 = row.reference_actual;
    const TVector3 sphere2 = row.point_actual;
    const double length = (sphere2 - sphere1).Length();
    if(length <= MINIMUM_LENGTH)
    {
      continue;
    }
    const TVector3 d = (sphere2 - sphere1) / length;
    const TAxes axes = Axes_Along(d);

    Scene::TBallBar record;
    record.key = measurement.d_id + static_cast<int>(index);
    record.label_text = measurement.d_name;
    record.flagged = measurement.d_outside_volume;
    // Below the bar: the label box hangs down from its point, so it stays clear of the bar.
    record.label_position = (sphere1 + sphere2) * 0.5 - axes.z * std::max(20.0, length / 10.0);
    record.sphere1_position = sphere1 + d * 21.0;
    record.sphere2_position = sphere2 - d * 21.0;

    record.sphere_mesh = fine.RenderSphere(sphere1, BALL_RADIUS);
    Append(&record.sphere_mesh, fine.RenderSphere(sphere2, BALL_RADIUS));
    if(length > BALLBAR_COLLAR_LENGTH)
    {
      record.tube_mesh = medium.RenderCylinder(sphere1 + d * 73.76, d, 14.0, length - 147.52);
      for(const auto& end : {std::make_pair(sphere1, d), std::make_pair(sphere2, d * -1.0)})
      {
        const TVector3& centre = end.first;
        const TVector3& inwards = end.second;
        // The stem carries the sphere to its end piece.
        Append(&record.sphere_mesh, medium.RenderCylinder(centre, inwards, 6.0, 34.75));
        Append(&record.sphere_mesh, medium.RenderCylinder(centre + inwards * 34.75, inwards, 10.0, 50.0));
        Append(&record.sphere_mesh, medium.RenderPolygon(centre + inwards * 66.75, inwards, axes.z, 15.0, 14.0, 6));
      }
    }
    else if(length > 15.0)
    {
      record.tube_mesh = medium.RenderCylinder(sphere1 + d * 7.5, d, 10.0, length - 15.0);
    }

    const TProbeMeshes probe = Probe_Meshes(sphere2, row.probe_offset);
    record.probe_mesh = Probe_Body(probe);
    record.stylus_mesh = probe.stylus;
    records.push_back(record);
  }
  return records;
}

std::vector<Scene::TISOGauge> MeasurementScene::ISO_Records(const TMeasurement& measurement)
{
  std::vector<Scene::TISOGauge> records;
  const TOpenGLGeometryFactory factory = Factory(COARSE_LEVEL);
  for(size_t index = 0; index < measurement.d_measurement_items.size(); ++index)
  {
    const TMeasurement::TMeasurementItem& row = measurement.d_measurement_items[index];
    const TVector3 start = row.reference_actual;
    const TVector3 point = row.point_actual;
    const double length = (point - start).Length();
    const TVector3 d = Unit_Or(point - start, Unit_Or(row.axis_actual, TVector3(1.0, 0.0, 0.0)));
    const TAxes axes = Axes_Along(d);

    // The five lengths share their start: each longer block is slimmer than the one before, so
    // the set reads as a stepped gauge and no two faces lie in one plane.
    const double step = static_cast<double>(std::min<size_t>(index, 4));
    const double half_width = 15.0 - 2.0 * step;
    const double half_height = 7.0 - step;

    Scene::TISOGauge record;
    record.key = measurement.d_id + static_cast<int>(index);
    record.flagged = measurement.d_outside_volume;
    if(length > 10.0)
    {
      const TVector3 a = start + d * 5.0;
      const TVector3 b = point - d * 5.0;
      const TVector3 y = axes.y * half_width;
      const TVector3 z = axes.z * half_height;
      record.gauge_meshes[0] = factory.RenderPlane(a + y - z, a + y + z, b + y + z, b + y - z);
      record.gauge_meshes[1] = factory.RenderPlane(a - y - z, b - y - z, b - y + z, a - y + z);
      record.gauge_meshes[2] = factory.RenderPlane(a - y + z, b - y + z, b + y + z, a + y + z);
      record.gauge_meshes[3] = factory.RenderPlane(a - y - z, a + y - z, b + y - z, b - y - z);
      record.gauge_meshes[4] = factory.RenderPlane(b - y - z, b + y - z, b + y + z, b - y + z);
      Append(&record.gauge_meshes[4], factory.RenderPlane(a - y - z, a - y + z, a + y + z, a + y - z));
      record.gauge_meshes[5] = factory.RenderCylinder(start, d, 2.0, 5.0);
      Append(&record.gauge_meshes[5], factory.RenderCylinder(point, d * -1.0, 2.0, 5.0));
    }
    Append(&record.gauge_meshes[5], factory.RenderSphere(start, TIP_RADIUS));
    Append(&record.gauge_meshes[5], factory.RenderSphere(point, TIP_RADIUS));
    record.selection_box =
        Box_Around(start - d * TIP_RADIUS, point + d * TIP_RADIUS, axes, half_width + 1.0, half_height + 1.0);

    const TProbeMeshes probe = Probe_Meshes(point, row.probe_offset);
    record.grey_mesh = Probe_Body(probe);
    record.red_mesh = probe.stylus;
    records.push_back(record);
  }
  return records;
}

std::vector<Scene::TLaser> MeasurementScene::Laser_Records(const TMeasurement& measurement)
{
  std::vector<Scene::TLaser> records;
  const TOpenGLGeometryFactory factory = Factory(COARSE_LEVEL);
  const size_t count = measurement.d_measurement_items.size();
  for(size_t index = 0; index < count; ++index)
  {
    const TMeasurement::TMeasurementItem& row = measurement.d_measurement_items[index];
    const TVector3 start = row.reference_actual;
    const TVector3 point = row.point_actual;
    const TVector3 d = Unit_Or(row.axis_actual, TVector3(1.0, 0.0, 0.0));
    const TAxes axes = Axes_Along(d);

    Scene::TLaser record;
    record.key = measurement.d_id + static_cast<int>(index);
    record.flagged = measurement.d_outside_volume;
    if(index == 0)
    {
      // The head stands behind the first target: a square front plate on a square body.
      const TVector3 corner = axes.y + axes.z;
      record.laser_meshes[0] = factory.RenderPolygon(start - d * 36.0, d, corner, 40.0, 10.0, 4);
      Append(&record.laser_meshes[0], factory.RenderPolygon(start - d * 71.0, d, corner, 30.0, 60.0, 4));
    }
    // The target: a retroreflector centred on the measured point.
    record.laser_meshes[1] = factory.RenderCylinder(point - d * 11.0, d, 15.0, 22.0);
    if(index + 1 == count)
    {
      record.laser_meshes[2] = factory.RenderCylinder(start - d * 31.0, d, 4.0, ((point - start) ^ d) + 31.0);
    }
    record.selection_box = Box_Around(point - d * 12.0, point + d * 12.0, axes, 16.0, 16.0);

    const TProbeMeshes probe = Probe_Meshes(point, row.probe_offset);
    record.grey_meshes[0] = probe.head;
    record.grey_meshes[1] = probe.extension;
    record.grey_meshes[2] = probe.elbow;
    record.red_mesh = probe.stylus;
    records.push_back(record);
  }
  return records;
}

std::vector<Scene::TMCGGauge> MeasurementScene::MCG_Records(const TMeasurement& measurement)
{
  std::vector<Scene::TMCGGauge> records;
  records.reserve(measurement.d_measurement_items.size());
  for(size_t index = 0; index < measurement.d_measurement_items.size(); ++index)
  {
    const TMeasurement::TMeasurementItem& row = measurement.d_measurement_items[index];
    Scene::TMCGGauge record;
    record.key = measurement.d_id + static_cast<int>(index);
    record.flagged = measurement.d_outside_volume;
    record.segment_start = row.reference_actual;
    record.segment_end = row.point_actual;
    record.position = row.reference_actual;
    record.direction = row.axis_actual;
    record.length = row.length_nominal;
    records.push_back(record);
  }
  return records;
}
