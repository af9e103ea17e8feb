#ifndef SCENE_H
#define SCENE_H

#include <QString>

#include <array>

#include "core/opengl_geometryfactory.h"
#include "core/vector3.h"

// The input records of the 3-D view: one per simulated measurement row, with tessellated meshes
// at true scale (millimetres). They need no OpenGL, so that the scene can be built and tested
// without a display; the renderer (TOpenGLDisplay, which keeps these names as aliases) copies
// the meshes into its buffers. key is the measurement's id plus the row index.
namespace Scene
{
using TMesh = TOpenGLGeometryFactory::TMesh;

// A box for picking: corners p0 and p1, edges along a1, a2, a3.
struct TSelectionBox
{
  TVector3 p0;
  TVector3 p1;
  TVector3 a1;
  TVector3 a2;
  TVector3 a3;
};

struct TBallBar
{
  int key = -1;
  QString label_text;
  bool selected = false;
  bool flagged = false;
  TVector3 label_position;
  TVector3 sphere1_position;
  TVector3 sphere2_position;
  TMesh tube_mesh;   // dark
  TMesh sphere_mesh; // blue-grey: spheres and end pieces
  TMesh probe_mesh;  // grey
  TMesh stylus_mesh; // red
};

struct TISOGauge
{
  int key = -1;
  bool selected = false;
  bool flagged = false;
  TSelectionBox selection_box;
  std::array<TMesh, 6> gauge_meshes;
  TMesh grey_mesh;
  TMesh red_mesh;
};

struct TLaser
{
  int key = -1;
  bool selected = false;
  bool flagged = false;
  TSelectionBox selection_box;
  std::array<TMesh, 3> laser_meshes; // the third takes only the error highlight
  std::array<TMesh, 3> grey_meshes;
  TMesh red_mesh;
};

// The gauge's meshes are made by the renderer from the MCG model (src/model/mcg_model.h).
struct TMCGGauge
{
  int key = -1;
  bool selected = false;
  bool flagged = false;
  TVector3 segment_start;
  TVector3 segment_end;
  TVector3 position;  // where base and pivot stand
  TVector3 direction; // unit arm direction
  double length = 0.0;
};
} // namespace Scene

#endif
