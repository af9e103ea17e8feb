#ifndef OPENGLDISPLAY_H
#define OPENGLDISPLAY_H

#include <QString>

#include <array>
#include <memory>
#include <unordered_map>
#include <vector>

#include "core/gui/opengl_vertexbuffer.h"
#include "core/gui/openglwidget.h"
#include "core/opengl_geometryfactory.h"
#include "src/model/mcg_model.h"
#include "src/model/scene.h"

class QOpenGLShaderProgram;

// The 3-D scene: the machine volume as a wire box, an axis triad with X, Y and Z labels, and
// one render item per simulated measurement row. The caller hands in tessellated meshes; the
// renderer copies them into its buffer registry, registers a selection item per record and
// draws with two small shader programs. Selection and the error highlight are tints.
class TOpenGLDisplay : public TOpenGLWidget
{
  Q_OBJECT

public:
  // The input records live in the GUI-free src/model/scene.h; these names are the ones the
  // renderer was written with.
  using TMesh = Scene::TMesh;
  using TSelectionBox = Scene::TSelectionBox;
  using TBallBar = Scene::TBallBar;
  using TISOGauge = Scene::TISOGauge;
  using TLaser = Scene::TLaser;
  using TMCGGauge = Scene::TMCGGauge;

  // How a tint applies to a base colour.
  enum TTint
  {
    TINT_DARK,      // selected adds 0.75 to blue, flagged adds 0.75 to red
    TINT_BODY,      // selected adds (-0.2, -0.2, 0.75), flagged adds 0.75 to red
    TINT_FLAG_ONLY, // flagged adds 0.75 to red, selection shows nothing
  };

  // Above this many MCG arms in the scene every arm is drawn as a plain rod with an end ball.
  static const int FULL_DETAIL_ARM_LIMIT = 400;

  explicit TOpenGLDisplay(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
  ~TOpenGLDisplay() override;

  // Corners in any order; the box is drawn from the per-axis minimum to maximum.
  void Define_Machine_Volume(const TVector3& minimum, const TVector3& maximum);
  void Clear_Render_Volume();
  bool Has_Render_Volume() const { return d_volume_buffer_key > 0; }
  TVector3 Volume_Minimum() const { return d_volume_minimum; }
  TVector3 Volume_Maximum() const { return d_volume_maximum; }
  TVector3 Axis_Origin() const { return d_axis_origin; }
  double Axis_Length() const { return d_axis_length; }

  void Add_BallBar(const TBallBar& ballbar);
  void Add_ISOGauge(const TISOGauge& gauge);
  void Add_Laser(const TLaser& laser);
  void Add_MCGGauge(const TMCGGauge& gauge);
  // Removes every render item and selection item; the volume stays.
  void Clear_Render_Items();

  void Clear_Selection();
  void Set_Selection(int key);
  // The key of a selected item, or -1 when nothing is selected.
  int Selected_Key() const;

  // The key of the item whose drawn surface the line of sight meets first, nearest to the
  // viewer, and the point met. -1 when that surface belongs to no item (the laser head and beam,
  // the gauge base: drawn, so they hide what lies behind them) or when nothing is met. When the
  // line itself meets nothing, eight lines around it at the tolerance are tried, so that thin
  // parts stay easy to hit. The direction points away from the viewer.
  int Pick_Ray(const TVector3& origin, const TVector3& direction, double tolerance, TVector3* point) const;

  int BallBar_Count() const { return static_cast<int>(d_ballbar_items.size()); }
  int ISO_Count() const { return static_cast<int>(d_iso_items.size()); }
  int MCG_Arm_Count() const { return static_cast<int>(d_mcg_arms.size()); }
  int MCG_Base_Item_Count() const { return static_cast<int>(d_mcg_base_items.size()); }
  int MCG_Arm_Item_Count() const { return static_cast<int>(d_mcg_arm_items.size()); }
  int Buffer_Count() const { return d_vertex_buffer.Count(); }

  // The colour a mesh is drawn with: components raised by the tint and capped at 1, never
  // below 0.
  static TVector3 Tinted_Colour(const TVector3& colour, bool selected, bool flagged, TTint tint);

  // Lit triangles (first form: GL_TRIANGLES) and flat lines, line strips and points; vertex
  // data are client-side doubles, three per vertex.
  void Render_Triangle_Buffer(unsigned size, const TVector3& offset, const TVector3& colour, double specular,
                              double alpha, const double* vertices, const double* normals);
  void Render_Triangle_Buffer(int mode, unsigned size, const TVector3& offset, const TVector3& colour, double specular,
                              double alpha, const double* vertices, const double* normals);
  void Render_Line_Buffer(unsigned size, const TVector3& colour, const double* vertices);
  void Render_Line_Strip_Buffer(unsigned size, const TVector3& colour, const double* vertices);
  void Render_Point_Buffer(unsigned size, const TVector3& colour, const double* vertices);

protected:
  int Pick(short x, short y, TVector3* point) override;
  void GLInit() override;
  void GLResize(int width, int height) override;
  void GLRender() override;

private:
  struct TMeshBuffers
  {
    int vertex_key = -1;
    int normal_key = -1;
  };

  struct TRenderBallbarItem
  {
    int key = -1;
    QString label_text;
    bool selected = false;
    bool flagged = false;
    TVector3 label_position;
    std::array<TMeshBuffers, 4> meshes;
  };

  struct TRenderISOItem
  {
    int key = -1;
    bool selected = false;
    bool flagged = false;
    std::array<TMeshBuffers, 8> meshes;
  };

  struct TRenderLaserItem
  {
    int key = -1;
    bool selected = false;
    bool flagged = false;
    std::array<TMeshBuffers, 7> meshes;
  };

  // One coloured part of the gauge model. The parts of one arm that share a colour are joined
  // into one triangle list, so an arm costs two draw calls, not sixty-eight.
  struct TRenderMCGItem
  {
    int key = -1;
    bool selected = false;
    bool flagged = false;
    int vertex_key = -1;
    int normal_key = -1;
    int mode = 0;
    TVector3 colour;
  };

  // The gauge items drawn together: all triangle-list items that end up in the same colour
  // share one array, so a gauge of thousands of arms costs a few draw calls. Rebuilt on the
  // first frame after the items or the selection changed.
  struct TMCGBatch
  {
    TVector3 colour;
    std::vector<double> vertices;
    std::vector<double> normals;
  };

  // A triangle list that a pick can meet, with the key of its item (-1 for none).
  struct TPickMesh
  {
    int buffer = -1;
    int key = -1;
  };
  struct TBounds
  {
    TVector3 minimum;
    TVector3 maximum;
  };

  std::vector<TPickMesh> Pick_Meshes() const;
  // The smallest ray parameter at which the ray meets a pick mesh, with that mesh's key.
  bool Nearest_Hit(const std::vector<TPickMesh>& meshes, const TVector3& origin, const TVector3& direction,
                   double* parameter, int* key) const;
  const TBounds& Buffer_Bounds(int buffer) const;

  TMeshBuffers Create_Mesh_Buffers(const TMesh& mesh);
  void Build_MCG_Batches();
  void Remove_Mesh_Buffers(const TMeshBuffers& buffers, std::vector<int>* keys) const;
  std::vector<TRenderMCGItem> Create_MCG_Items(const std::vector<MCG::TMCGData>& parts, int key, bool flagged,
                                               bool selected);
  void Build_MCG_Arm(const TMCGGauge& gauge, bool simplified);
  void Rebuild_MCG_Arms(bool simplified);
  void Draw_Mesh(const TMeshBuffers& buffers, const TVector3& colour, double specular);
  void Draw_MCG_Item(const TRenderMCGItem& item, bool with_selection);
  void Fit_Mesh(const TMeshBuffers& buffers);
  void Fit_Scene();
  void Draw_Overlay();
  void Release_GL_Resources();

  std::vector<TRenderBallbarItem> d_ballbar_items;
  std::vector<TRenderISOItem> d_iso_items;
  std::vector<TRenderLaserItem> d_laser_items;
  std::vector<TRenderMCGItem> d_mcg_base_items;
  std::vector<TRenderMCGItem> d_mcg_arm_items;
  // The arm records, kept so that the arms can be rebuilt in less detail when many arrive.
  std::vector<TMCGGauge> d_mcg_arms;
  bool d_mcg_simplified = false;
  std::vector<TMCGBatch> d_mcg_batches;
  bool d_mcg_batches_valid = false;

  TVector3 d_volume_minimum;
  TVector3 d_volume_maximum;
  TVector3 d_axis_origin;
  double d_axis_length = 0.0;
  TOpenGLVertexBuffer d_vertex_buffer;
  int d_volume_buffer_key = -1;

  std::unique_ptr<QOpenGLShaderProgram> d_lit_program;
  int d_lit_color_location = -1;
  int d_lit_specular_location = -1;
  int d_lit_offset_location = -1;
  int d_lit_vertex_location = -1;
  int d_lit_normal_location = -1;
  std::unique_ptr<QOpenGLShaderProgram> d_flat_program;
  int d_flat_color_location = -1;
  int d_flat_vertex_location = -1;
  bool d_initial_view_set = false;
  // The bounding boxes of the vertex buffers met by picks so far; buffer keys are never reused.
  mutable std::unordered_map<int, TBounds> d_pick_bounds;
};

#endif
