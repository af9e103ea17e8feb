// Render records, buffers, volume and selection of TOpenGLDisplay; the drawing is in
// opengldisplay_render.cpp.
#include "src/gui/opengldisplay.h"

#include <QOpenGLShaderProgram>

#include <algorithm>
#include <cmath>

namespace
{
const int GL_MODE_TRIANGLES = 4;
const int GL_MODE_TRIANGLE_STRIP = 5;
const int GL_MODE_TRIANGLE_FAN = 6;
const int GL_MODE_QUAD_STRIP = 8;

// Appends one triangle unless two of its corners coincide (the seams of the gauge model repeat
// points to give sharp edges; their zero-area triangles would only cost time).
void Add_Triangle(const MCG::TMCGData& part, size_t a, size_t b, size_t c, std::vector<TVector3>* vertices,
                  std::vector<TVector3>* normals)
{
  const auto same = [](const TVector3& p, const TVector3& q) { return p.x == q.x && p.y == q.y && p.z == q.z; };
  const TVector3& pa = part.vertices[a];
  const TVector3& pb = part.vertices[b];
  const TVector3& pc = part.vertices[c];
  if(same(pa, pb) || same(pb, pc) || same(pc, pa))
  {
    return;
  }
  vertices->insert(vertices->end(), {pa, pb, pc});
  normals->insert(normals->end(), {part.normals[a], part.normals[b], part.normals[c]});
}

// Strips, fans and quad strips as plain triangles with the winding OpenGL gives them.
void Triangulate(const MCG::TMCGData& part, std::vector<TVector3>* vertices, std::vector<TVector3>* normals)
{
  const size_t count = std::min(part.vertices.size(), part.normals.size());
  switch(part.mode)
  {
  case GL_MODE_TRIANGLE_STRIP:
    for(size_t i = 0; i + 2 < count; ++i)
    {
      if(i % 2 == 0)
      {
        Add_Triangle(part, i, i + 1, i + 2, vertices, normals);
      }
      else
      {
        Add_Triangle(part, i + 1, i, i + 2, vertices, normals);
      }
    }
    break;
  case GL_MODE_TRIANGLE_FAN:
    for(size_t i = 1; i + 1 < count; ++i)
    {
      Add_Triangle(part, 0, i, i + 1, vertices, normals);
    }
    break;
  case GL_MODE_QUAD_STRIP:
    for(size_t i = 0; i + 3 < count; i += 2)
    {
      Add_Triangle(part, i, i + 1, i + 3, vertices, normals);
      Add_Triangle(part, i, i + 3, i + 2, vertices, normals);
    }
    break;
  case GL_MODE_TRIANGLES:
    for(size_t i = 0; i + 2 < count; i += 3)
    {
      Add_Triangle(part, i, i + 1, i + 2, vertices, normals);
    }
    break;
  default:
    break;
  }
}

void Fill(double* buffer, const std::vector<TVector3>& values)
{
  for(const TVector3& value : values)
  {
    *buffer++ = value.x;
    *buffer++ = value.y;
    *buffer++ = value.z;
  }
}
} // namespace

TOpenGLDisplay::TOpenGLDisplay(QWidget* parent, Qt::WindowFlags flags)
    : TOpenGLWidget(parent, flags), d_volume_minimum(-100.0, -100.0, -100.0), d_volume_maximum(100.0, 100.0, 100.0)
{
  d_axis_origin = (d_volume_minimum + d_volume_maximum) * 0.5;
  d_axis_length = (d_volume_maximum.x - d_volume_minimum.x) / 5.0;
}

TOpenGLDisplay::~TOpenGLDisplay()
{
  Release_GL_Resources();
  // The base class destroys the context after this part of the object is gone: its
  // aboutToBeDestroyed must no longer call a slot of this class.
  if(context())
  {
    disconnect(context(), nullptr, this, nullptr);
  }
}

TVector3 TOpenGLDisplay::Tinted_Colour(const TVector3& colour, bool selected, bool flagged, TTint tint)
{
  TVector3 result(colour);
  if(selected && tint == TINT_DARK)
  {
    result.z += 0.75;
  }
  else if(selected && tint == TINT_BODY)
  {
    result = result + TVector3(-0.2, -0.2, 0.75);
  }
  if(flagged)
  {
    result.x += 0.75;
  }
  result.x = std::clamp(result.x, 0.0, 1.0);
  result.y = std::clamp(result.y, 0.0, 1.0);
  result.z = std::clamp(result.z, 0.0, 1.0);
  return result;
}

void TOpenGLDisplay::Define_Machine_Volume(const TVector3& minimum, const TVector3& maximum)
{
  const TVector3 low(std::min(minimum.x, maximum.x), std::min(minimum.y, maximum.y), std::min(minimum.z, maximum.z));
  const TVector3 high(std::max(minimum.x, maximum.x), std::max(minimum.y, maximum.y), std::max(minimum.z, maximum.z));

  if(!d_vertex_buffer.Has_Buffer(d_volume_buffer_key))
  {
    d_volume_buffer_key = d_vertex_buffer.Create_Buffer(72);
  }
  double* lines = d_vertex_buffer.Buffer(d_volume_buffer_key);
  const auto corner = [&low, &high](int bits)
  { return TVector3((bits & 1) ? high.x : low.x, (bits & 2) ? high.y : low.y, (bits & 4) ? high.z : low.z); };
  // Each edge joins two corners that differ in one coordinate bit.
  for(int bit : {1, 2, 4})
  {
    for(int bits = 0; bits < 8; ++bits)
    {
      if(bits & bit)
      {
        continue;
      }
      for(const TVector3& p : {corner(bits), corner(bits | bit)})
      {
        *lines++ = p.x;
        *lines++ = p.y;
        *lines++ = p.z;
      }
    }
  }

  d_volume_minimum = low;
  d_volume_maximum = high;
  const TVector3 diagonal = high - low;
  d_axis_origin = low;
  d_axis_length = std::min(diagonal.x, std::min(diagonal.y, diagonal.z));
  const double diagonal_length = diagonal.Length();
  if(diagonal_length > 1e-7)
  {
    // The triad stands outside the box, behind its minimum corner.
    d_axis_length /= 5.0;
    d_axis_origin = low - diagonal / diagonal_length * d_axis_length;
  }
}

void TOpenGLDisplay::Clear_Render_Volume()
{
  d_vertex_buffer.Remove_Buffer(d_volume_buffer_key);
  d_volume_buffer_key = -1;
}

TOpenGLDisplay::TMeshBuffers TOpenGLDisplay::Create_Mesh_Buffers(const TMesh& mesh)
{
  TMeshBuffers buffers;
  const unsigned count = static_cast<unsigned>(mesh.size() * 3);
  buffers.vertex_key = d_vertex_buffer.Create_Buffer(count);
  buffers.normal_key = d_vertex_buffer.Create_Buffer(count);
  if(buffers.vertex_key < 0 || buffers.normal_key < 0)
  {
    return TMeshBuffers();
  }
  double* vertices = d_vertex_buffer.Buffer(buffers.vertex_key);
  double* normals = d_vertex_buffer.Buffer(buffers.normal_key);
  for(const TOpenGLGeometryFactory::TOpenGLTriangleVertex& point : mesh)
  {
    *vertices++ = point.vertex.x;
    *vertices++ = point.vertex.y;
    *vertices++ = point.vertex.z;
    *normals++ = point.normal.x;
    *normals++ = point.normal.y;
    *normals++ = point.normal.z;
  }
  return buffers;
}

void TOpenGLDisplay::Remove_Mesh_Buffers(const TMeshBuffers& buffers, std::vector<int>* keys) const
{
  keys->push_back(buffers.vertex_key);
  keys->push_back(buffers.normal_key);
}

void TOpenGLDisplay::Add_BallBar(const TBallBar& ballbar)
{
  TRenderBallbarItem item;
  item.key = ballbar.key;
  item.label_text = ballbar.label_text;
  item.selected = ballbar.selected;
  item.flagged = ballbar.flagged;
  item.label_position = ballbar.label_position;
  item.meshes[0] = Create_Mesh_Buffers(ballbar.tube_mesh);
  item.meshes[1] = Create_Mesh_Buffers(ballbar.sphere_mesh);
  item.meshes[2] = Create_Mesh_Buffers(ballbar.probe_mesh);
  item.meshes[3] = Create_Mesh_Buffers(ballbar.stylus_mesh);
  d_ballbar_items.push_back(item);

  TSelectionItemType selection;
  selection.type = 1;
  selection.identifier = ballbar.key;
  selection.p0 = ballbar.sphere1_position;
  selection.p1 = ballbar.sphere2_position;
  AddSelectionItem(selection);
}

void TOpenGLDisplay::Add_ISOGauge(const TISOGauge& gauge)
{
  TRenderISOItem item;
  item.key = gauge.key;
  item.selected = gauge.selected;
  item.flagged = gauge.flagged;
  for(size_t i = 0; i < gauge.gauge_meshes.size(); ++i)
  {
    item.meshes[i] = Create_Mesh_Buffers(gauge.gauge_meshes[i]);
  }
  item.meshes[6] = Create_Mesh_Buffers(gauge.grey_mesh);
  item.meshes[7] = Create_Mesh_Buffers(gauge.red_mesh);
  d_iso_items.push_back(item);

  TSelectionItemType selection;
  selection.type = 0;
  selection.identifier = gauge.key;
  selection.p0 = gauge.selection_box.p0;
  selection.p1 = gauge.selection_box.p1;
  selection.a1 = gauge.selection_box.a1;
  selection.a2 = gauge.selection_box.a2;
  selection.a3 = gauge.selection_box.a3;
  AddSelectionItem(selection);
}

void TOpenGLDisplay::Add_Laser(const TLaser& laser)
{
  TRenderLaserItem item;
  item.key = laser.key;
  item.selected = laser.selected;
  item.flagged = laser.flagged;
  for(size_t i = 0; i < 3; ++i)
  {
    item.meshes[i] = Create_Mesh_Buffers(laser.laser_meshes[i]);
    item.meshes[3 + i] = Create_Mesh_Buffers(laser.grey_meshes[i]);
  }
  item.meshes[6] = Create_Mesh_Buffers(laser.red_mesh);
  d_laser_items.push_back(item);

  TSelectionItemType selection;
  selection.type = 0;
  selection.identifier = laser.key;
  selection.p0 = laser.selection_box.p0;
  selection.p1 = laser.selection_box.p1;
  selection.a1 = laser.selection_box.a1;
  selection.a2 = laser.selection_box.a2;
  selection.a3 = laser.selection_box.a3;
  AddSelectionItem(selection);
}

std::vector<TOpenGLDisplay::TRenderMCGItem> TOpenGLDisplay::Create_MCG_Items(const std::vector<MCG::TMCGData>& parts,
                                                                             int key, bool flagged, bool selected)
{
  // Parts of one colour become one triangle list, in the order the colours first appear.
  std::vector<TVector3> colours;
  std::vector<std::vector<TVector3>> vertices;
  std::vector<std::vector<TVector3>> normals;
  for(const MCG::TMCGData& part : parts)
  {
    size_t group = 0;
    while(group < colours.size() && !(colours[group].x == part.colour.x && colours[group].y == part.colour.y &&
                                      colours[group].z == part.colour.z))
    {
      ++group;
    }
    if(group == colours.size())
    {
      colours.push_back(part.colour);
      vertices.emplace_back();
      normals.emplace_back();
    }
    Triangulate(part, &vertices[group], &normals[group]);
  }

  std::vector<TRenderMCGItem> items;
  for(size_t group = 0; group < colours.size(); ++group)
  {
    const unsigned count = static_cast<unsigned>(vertices[group].size() * 3);
    TRenderMCGItem item;
    item.key = key;
    item.flagged = flagged;
    item.selected = selected;
    item.mode = GL_MODE_TRIANGLES;
    item.colour = colours[group];
    item.vertex_key = d_vertex_buffer.Create_Buffer(count);
    item.normal_key = d_vertex_buffer.Create_Buffer(count);
    if(item.vertex_key < 0 || item.normal_key < 0)
    {
      continue;
    }
    Fill(d_vertex_buffer.Buffer(item.vertex_key), vertices[group]);
    Fill(d_vertex_buffer.Buffer(item.normal_key), normals[group]);
    items.push_back(item);
  }
  return items;
}

void TOpenGLDisplay::Build_MCG_Arm(const TMCGGauge& gauge, bool simplified)
{
  const std::vector<MCG::TMCGData> parts =
      simplified ? MCG::Render_MCG_Arm_Simplified(gauge.position, gauge.direction, gauge.length)
                 : MCG::Render_MCG_Arm(gauge.position, gauge.direction, gauge.length);
  const std::vector<TRenderMCGItem> items = Create_MCG_Items(parts, gauge.key, gauge.flagged, gauge.selected);
  d_mcg_arm_items.insert(d_mcg_arm_items.end(), items.begin(), items.end());
}

void TOpenGLDisplay::Rebuild_MCG_Arms(bool simplified)
{
  std::vector<int> keys;
  for(const TRenderMCGItem& item : d_mcg_arm_items)
  {
    keys.push_back(item.vertex_key);
    keys.push_back(item.normal_key);
  }
  d_vertex_buffer.Remove_Buffers(keys);
  d_mcg_arm_items.clear();
  d_mcg_simplified = simplified;
  for(const TMCGGauge& gauge : d_mcg_arms)
  {
    Build_MCG_Arm(gauge, simplified);
  }
}

void TOpenGLDisplay::Add_MCGGauge(const TMCGGauge& gauge)
{
  // One base for all gauges, at the first gauge's pivot.
  if(d_mcg_base_items.empty())
  {
    d_mcg_base_items = Create_MCG_Items(MCG::Render_MCG_Base(gauge.position), -1, gauge.flagged, false);
  }

  d_mcg_arms.push_back(gauge);
  d_mcg_batches_valid = false;
  if(!d_mcg_simplified && static_cast<int>(d_mcg_arms.size()) > FULL_DETAIL_ARM_LIMIT)
  {
    Rebuild_MCG_Arms(true);
  }
  else
  {
    Build_MCG_Arm(gauge, d_mcg_simplified);
  }

  TSelectionItemType selection;
  selection.type = 1;
  selection.identifier = gauge.key;
  selection.p0 = gauge.segment_start;
  selection.p1 = gauge.segment_end;
  AddSelectionItem(selection);
}

void TOpenGLDisplay::Clear_Render_Items()
{
  Clear_Selection_Items();

  std::vector<int> keys;
  for(const TRenderBallbarItem& item : d_ballbar_items)
  {
    for(const TMeshBuffers& buffers : item.meshes)
    {
      Remove_Mesh_Buffers(buffers, &keys);
    }
  }
  for(const TRenderISOItem& item : d_iso_items)
  {
    for(const TMeshBuffers& buffers : item.meshes)
    {
      Remove_Mesh_Buffers(buffers, &keys);
    }
  }
  for(const TRenderLaserItem& item : d_laser_items)
  {
    for(const TMeshBuffers& buffers : item.meshes)
    {
      Remove_Mesh_Buffers(buffers, &keys);
    }
  }
  for(const std::vector<TRenderMCGItem>* list : {&d_mcg_base_items, &d_mcg_arm_items})
  {
    for(const TRenderMCGItem& item : *list)
    {
      keys.push_back(item.vertex_key);
      keys.push_back(item.normal_key);
    }
  }
  d_vertex_buffer.Remove_Buffers(keys);

  d_ballbar_items.clear();
  d_iso_items.clear();
  d_laser_items.clear();
  d_mcg_base_items.clear();
  d_mcg_arm_items.clear();
  d_mcg_arms.clear();
  d_mcg_simplified = false;
  d_mcg_batches.clear();
  d_mcg_batches_valid = false;
  d_pick_bounds.clear();
}

void TOpenGLDisplay::Clear_Selection()
{
  for(TRenderBallbarItem& item : d_ballbar_items)
  {
    item.selected = false;
  }
  for(TRenderISOItem& item : d_iso_items)
  {
    item.selected = false;
  }
  for(TRenderLaserItem& item : d_laser_items)
  {
    item.selected = false;
  }
  for(TRenderMCGItem& item : d_mcg_arm_items)
  {
    item.selected = false;
  }
  for(TMCGGauge& gauge : d_mcg_arms)
  {
    gauge.selected = false;
  }
  d_mcg_batches_valid = false;
  update();
}

void TOpenGLDisplay::Set_Selection(int key)
{
  Clear_Selection();
  const auto select_first = [key](auto& items)
  {
    for(auto& item : items)
    {
      if(item.key == key)
      {
        item.selected = true;
        return;
      }
    }
  };
  select_first(d_ballbar_items);
  select_first(d_iso_items);
  select_first(d_laser_items);
  for(TRenderMCGItem& item : d_mcg_arm_items)
  {
    item.selected = item.key == key;
  }
  for(TMCGGauge& gauge : d_mcg_arms)
  {
    gauge.selected = gauge.key == key;
  }
  d_mcg_batches_valid = false;
  update();
}

int TOpenGLDisplay::Selected_Key() const
{
  for(const TRenderBallbarItem& item : d_ballbar_items)
  {
    if(item.selected)
    {
      return item.key;
    }
  }
  for(const TRenderISOItem& item : d_iso_items)
  {
    if(item.selected)
    {
      return item.key;
    }
  }
  for(const TRenderLaserItem& item : d_laser_items)
  {
    if(item.selected)
    {
      return item.key;
    }
  }
  for(const TRenderMCGItem& item : d_mcg_arm_items)
  {
    if(item.selected)
    {
      return item.key;
    }
  }
  return -1;
}
