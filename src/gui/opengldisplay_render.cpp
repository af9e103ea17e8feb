// Shaders, drawing and the text overlay of TOpenGLDisplay.
#include "src/gui/opengldisplay.h"

#include <QFont>
#include <QFontMetrics>
#include <QOpenGLContext>
#include <QOpenGLPaintDevice>
#include <QOpenGLShaderProgram>
#include <QPainter>
#include <QVector4D>

#include <algorithm>
#include <cmath>
#include <vector>

namespace
{
// The light and the specular direction are fixed relative to the viewer: they are carried into
// model space by the transpose of the model-view rotation.
const char* LIT_VERTEX_SHADER = R"(#version 120
uniform vec4 color;
uniform vec3 offset;
uniform float specular;
attribute vec3 vertex;
attribute vec3 normal;
varying float vertex_angle;
varying float vertex_specular;
void main()
{
  mat3 to_model = transpose(mat3(gl_ModelViewMatrix));
  vec3 light = to_model * vec3(0.0, 1.0, 0.0);
  vec3 specular_direction = to_model * vec3(0.0, 0.707107, 0.707107);
  vertex_angle = max(dot(normal, light), 0.0);
  vertex_specular = max(dot(normal, specular_direction), 0.0) * specular;
  gl_Position = gl_ModelViewProjectionMatrix * vec4(vertex + offset, 1.0);
}
)";

const char* LIT_FRAGMENT_SHADER = R"(#version 120
uniform vec4 color;
varying float vertex_angle;
varying float vertex_specular;
void main()
{
  vec3 lit = color.rgb * 0.8 + color.rgb * (0.1 * vertex_angle) + vec3(vertex_specular);
  gl_FragColor = clamp(vec4(lit, color.a), 0.0, 1.0);
}
)";

const char* FLAT_VERTEX_SHADER = R"(#version 120
attribute vec3 vertex;
void main()
{
  gl_Position = gl_ModelViewProjectionMatrix * vec4(vertex, 1.0);
}
)";

const char* FLAT_FRAGMENT_SHADER = R"(#version 120
uniform vec4 color;
void main()
{
  gl_FragColor = clamp(color, 0.0, 1.0);
}
)";

const TVector3 TUBE_COLOUR(0.1, 0.1, 0.1);
const TVector3 SPHERE_COLOUR(0.55, 0.55, 0.6);
const TVector3 PROBE_COLOUR(0.7, 0.7, 0.7);
const TVector3 STYLUS_COLOUR(1.0, 0.0, 0.0);
const TVector3 GAUGE_COLOUR(0.61, 0.61, 0.477);
const TVector3 LASER_COLOUR(0.477, 0.677, 0.477);
const TVector3 VOLUME_COLOUR(0.5, 0.5, 0.5);
const TVector3 AXIS_COLOUR(0.25, 0.25, 0.25);

std::unique_ptr<QOpenGLShaderProgram> Build_Program(const char* vertex_source, const char* fragment_source)
{
  std::unique_ptr<QOpenGLShaderProgram> program(new QOpenGLShaderProgram());
  if(!program->addShaderFromSourceCode(QOpenGLShader::Vertex, vertex_source) ||
     !program->addShaderFromSourceCode(QOpenGLShader::Fragment, fragment_source) || !program->link())
  {
    qWarning("3-D view shader: %s", qPrintable(program->log()));
    return nullptr;
  }
  return program;
}

QVector4D Colour(const TVector3& colour, double alpha)
{
  return QVector4D(static_cast<float>(colour.x), static_cast<float>(colour.y), static_cast<float>(colour.z),
                   static_cast<float>(alpha));
}
} // namespace

void TOpenGLDisplay::GLInit()
{
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_CULL_FACE);
  glFrontFace(GL_CCW);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glShadeModel(GL_SMOOTH);

  d_lit_program = Build_Program(LIT_VERTEX_SHADER, LIT_FRAGMENT_SHADER);
  if(d_lit_program)
  {
    d_lit_color_location = d_lit_program->uniformLocation("color");
    d_lit_specular_location = d_lit_program->uniformLocation("specular");
    d_lit_offset_location = d_lit_program->uniformLocation("offset");
    d_lit_vertex_location = d_lit_program->attributeLocation("vertex");
    d_lit_normal_location = d_lit_program->attributeLocation("normal");
  }
  d_flat_program = Build_Program(FLAT_VERTEX_SHADER, FLAT_FRAGMENT_SHADER);
  if(d_flat_program)
  {
    d_flat_color_location = d_flat_program->uniformLocation("color");
    d_flat_vertex_location = d_flat_program->attributeLocation("vertex");
  }
  // The programs belong to this context; they go with it (a widget moved to another window
  // gets a new context and a new GLInit).
  connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, &TOpenGLDisplay::Release_GL_Resources,
          Qt::UniqueConnection);

  glClearColor(1.0f, 1.0f, 1.0f, 1.0f);

  // A new context must not turn the view a second time.
  if(!d_initial_view_set)
  {
    Rotate_Model(TVector3(1, 0, 0), -1.31);
    Rotate_Model(TVector3(0, 0, 1), -0.26);
    d_initial_view_set = true;
  }
}

void TOpenGLDisplay::Release_GL_Resources()
{
  if(!d_lit_program && !d_flat_program)
  {
    return;
  }
  if(context())
  {
    makeCurrent();
  }
  d_lit_program.reset();
  d_flat_program.reset();
  if(context())
  {
    doneCurrent();
  }
}

void TOpenGLDisplay::GLResize(int width, int height)
{
  Q_UNUSED(width);
  Q_UNUSED(height);
}

void TOpenGLDisplay::Render_Triangle_Buffer(unsigned size, const TVector3& offset, const TVector3& colour,
                                            double specular, double alpha, const double* vertices,
                                            const double* normals)
{
  Render_Triangle_Buffer(GL_TRIANGLES, size, offset, colour, specular, alpha, vertices, normals);
}

void TOpenGLDisplay::Render_Triangle_Buffer(int mode, unsigned size, const TVector3& offset, const TVector3& colour,
                                            double specular, double alpha, const double* vertices,
                                            const double* normals)
{
  if(!d_lit_program || !vertices || !normals || size < 3)
  {
    return;
  }
  d_lit_program->bind();
  d_lit_program->setUniformValue(d_lit_color_location, Colour(colour, alpha));
  d_lit_program->setUniformValue(d_lit_specular_location, static_cast<GLfloat>(specular));
  d_lit_program->setUniformValue(d_lit_offset_location, static_cast<float>(offset.x), static_cast<float>(offset.y),
                                 static_cast<float>(offset.z));
  glEnableVertexAttribArray(static_cast<GLuint>(d_lit_vertex_location));
  glEnableVertexAttribArray(static_cast<GLuint>(d_lit_normal_location));
  glVertexAttribPointer(static_cast<GLuint>(d_lit_vertex_location), 3, GL_DOUBLE, GL_FALSE, 0, vertices);
  glVertexAttribPointer(static_cast<GLuint>(d_lit_normal_location), 3, GL_DOUBLE, GL_FALSE, 0, normals);
  glDrawArrays(static_cast<GLenum>(mode), 0, static_cast<GLsizei>(size / 3));
  glDisableVertexAttribArray(static_cast<GLuint>(d_lit_normal_location));
  glDisableVertexAttribArray(static_cast<GLuint>(d_lit_vertex_location));
}

namespace
{
template <typename TFunctions>
void Draw_Flat(TFunctions* gl, QOpenGLShaderProgram* program, int colour_location, int vertex_location, GLenum mode,
               unsigned size, const TVector3& colour, const double* vertices)
{
  if(!program || !vertices || size < 3)
  {
    return;
  }
  program->bind();
  program->setUniformValue(colour_location, Colour(colour, 1.0));
  gl->glEnableVertexAttribArray(static_cast<GLuint>(vertex_location));
  gl->glVertexAttribPointer(static_cast<GLuint>(vertex_location), 3, GL_DOUBLE, GL_FALSE, 0, vertices);
  gl->glDrawArrays(mode, 0, static_cast<GLsizei>(size / 3));
  gl->glDisableVertexAttribArray(static_cast<GLuint>(vertex_location));
}
} // namespace

void TOpenGLDisplay::Render_Line_Buffer(unsigned size, const TVector3& colour, const double* vertices)
{
  Draw_Flat(static_cast<QOpenGLFunctions*>(this), d_flat_program.get(), d_flat_color_location, d_flat_vertex_location,
            GL_LINES, size, colour, vertices);
}

void TOpenGLDisplay::Render_Line_Strip_Buffer(unsigned size, const TVector3& colour, const double* vertices)
{
  Draw_Flat(static_cast<QOpenGLFunctions*>(this), d_flat_program.get(), d_flat_color_location, d_flat_vertex_location,
            GL_LINE_STRIP, size, colour, vertices);
}

void TOpenGLDisplay::Render_Point_Buffer(unsigned size, const TVector3& colour, const double* vertices)
{
  Draw_Flat(static_cast<QOpenGLFunctions*>(this), d_flat_program.get(), d_flat_color_location, d_flat_vertex_location,
            GL_POINTS, size, colour, vertices);
}

void TOpenGLDisplay::Draw_Mesh(const TMeshBuffers& buffers, const TVector3& colour, double specular)
{
  // A mesh is drawn only when both of its buffers exist.
  const double* vertices = d_vertex_buffer.Buffer(buffers.vertex_key);
  const double* normals = d_vertex_buffer.Buffer(buffers.normal_key);
  if(!vertices || !normals)
  {
    return;
  }
  Render_Triangle_Buffer(d_vertex_buffer.Buffer_Size(buffers.vertex_key), TVector3(), colour, specular, 1.0, vertices,
                         normals);
}

void TOpenGLDisplay::Draw_MCG_Item(const TRenderMCGItem& item, bool with_selection)
{
  const double* vertices = d_vertex_buffer.Buffer(item.vertex_key);
  const double* normals = d_vertex_buffer.Buffer(item.normal_key);
  if(!vertices || !normals)
  {
    return;
  }
  const TVector3 colour = Tinted_Colour(item.colour, with_selection && item.selected, item.flagged, TINT_DARK);
  Render_Triangle_Buffer(item.mode, d_vertex_buffer.Buffer_Size(item.vertex_key), TVector3(), colour, 0.1, 1.0,
                         vertices, normals);
}

void TOpenGLDisplay::Build_MCG_Batches()
{
  d_mcg_batches.clear();
  const auto add = [this](const TRenderMCGItem& item, bool with_selection)
  {
    const double* vertices = d_vertex_buffer.Buffer(item.vertex_key);
    const double* normals = d_vertex_buffer.Buffer(item.normal_key);
    const unsigned size = d_vertex_buffer.Buffer_Size(item.vertex_key);
    if(item.mode != GL_TRIANGLES || !vertices || !normals || d_vertex_buffer.Buffer_Size(item.normal_key) != size)
    {
      return;
    }
    const TVector3 colour = Tinted_Colour(item.colour, with_selection && item.selected, item.flagged, TINT_DARK);
    size_t index = 0;
    while(index < d_mcg_batches.size() &&
          !(d_mcg_batches[index].colour.x == colour.x && d_mcg_batches[index].colour.y == colour.y &&
            d_mcg_batches[index].colour.z == colour.z))
    {
      ++index;
    }
    if(index == d_mcg_batches.size())
    {
      d_mcg_batches.push_back(TMCGBatch{colour, {}, {}});
    }
    TMCGBatch& batch = d_mcg_batches[index];
    batch.vertices.insert(batch.vertices.end(), vertices, vertices + size);
    batch.normals.insert(batch.normals.end(), normals, normals + size);
  };
  for(const TRenderMCGItem& item : d_mcg_base_items)
  {
    add(item, false);
  }
  for(const TRenderMCGItem& item : d_mcg_arm_items)
  {
    add(item, true);
  }
  d_mcg_batches_valid = true;
}

void TOpenGLDisplay::Fit_Mesh(const TMeshBuffers& buffers)
{
  const double* vertices = d_vertex_buffer.Buffer(buffers.vertex_key);
  const unsigned size = d_vertex_buffer.Buffer_Size(buffers.vertex_key);
  for(unsigned i = 0; vertices && i + 2 < size; i += 3)
  {
    Process_Vertex(TVector3(vertices[i], vertices[i + 1], vertices[i + 2]));
  }
}

void TOpenGLDisplay::Fit_Scene()
{
  if(Has_Render_Volume())
  {
    for(int bits = 0; bits < 8; ++bits)
    {
      Process_Vertex(TVector3((bits & 1) ? d_volume_maximum.x : d_volume_minimum.x,
                              (bits & 2) ? d_volume_maximum.y : d_volume_minimum.y,
                              (bits & 4) ? d_volume_maximum.z : d_volume_minimum.z));
    }
  }
  for(const TRenderBallbarItem& item : d_ballbar_items)
  {
    for(const TMeshBuffers& buffers : item.meshes)
    {
      Fit_Mesh(buffers);
    }
  }
  for(const TRenderISOItem& item : d_iso_items)
  {
    for(const TMeshBuffers& buffers : item.meshes)
    {
      Fit_Mesh(buffers);
    }
  }
  for(const TRenderLaserItem& item : d_laser_items)
  {
    for(const TMeshBuffers& buffers : item.meshes)
    {
      Fit_Mesh(buffers);
    }
  }
  for(const std::vector<TRenderMCGItem>* list : {&d_mcg_base_items, &d_mcg_arm_items})
  {
    for(const TRenderMCGItem& item : *list)
    {
      Fit_Mesh(TMeshBuffers{item.vertex_key, item.normal_key});
    }
  }

  // The triad, with a margin of one axis length unless a ball bar label needs the room less.
  const double l = d_axis_length;
  const TVector3& o = d_axis_origin;
  if(!d_ballbar_items.empty())
  {
    for(const TVector3& p : {o, o + TVector3(l, 0, 0), o + TVector3(0, l, 0), o + TVector3(0, 0, l)})
    {
      Process_Vertex(p);
    }
  }
  else
  {
    for(const TVector3& p :
        {o - TVector3(l, l, l), o + TVector3(2 * l, 0, 0), o + TVector3(0, 2 * l, 0), o + TVector3(0, 0, 2 * l)})
    {
      Process_Vertex(p);
    }
  }
}

void TOpenGLDisplay::GLRender()
{
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  if(Is_Fitting())
  {
    Fit_Scene();
    return;
  }

  // The overlay painter of the last frame may have left its own state behind.
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_CULL_FACE);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glBindBuffer(GL_ARRAY_BUFFER, 0);

  if(!d_mcg_batches_valid)
  {
    Build_MCG_Batches();
  }
  for(const TMCGBatch& batch : d_mcg_batches)
  {
    Render_Triangle_Buffer(static_cast<unsigned>(batch.vertices.size()), TVector3(), batch.colour, 0.1, 1.0,
                           batch.vertices.data(), batch.normals.data());
  }
  // Parts in other primitive modes cannot join a batch.
  for(const TRenderMCGItem& item : d_mcg_base_items)
  {
    if(item.mode != GL_TRIANGLES)
    {
      Draw_MCG_Item(item, false);
    }
  }
  for(const TRenderMCGItem& item : d_mcg_arm_items)
  {
    if(item.mode != GL_TRIANGLES)
    {
      Draw_MCG_Item(item, true);
    }
  }
  for(const TRenderBallbarItem& item : d_ballbar_items)
  {
    Draw_Mesh(item.meshes[0], Tinted_Colour(TUBE_COLOUR, item.selected, item.flagged, TINT_DARK), 0.1);
    Draw_Mesh(item.meshes[1], Tinted_Colour(SPHERE_COLOUR, item.selected, item.flagged, TINT_BODY), 0.4);
    Draw_Mesh(item.meshes[2], PROBE_COLOUR, 0.1);
    Draw_Mesh(item.meshes[3], STYLUS_COLOUR, 0.1);
  }
  for(const TRenderISOItem& item : d_iso_items)
  {
    const TVector3 colour = Tinted_Colour(GAUGE_COLOUR, item.selected, item.flagged, TINT_BODY);
    for(size_t i = 0; i < 6; ++i)
    {
      Draw_Mesh(item.meshes[i], colour, 0.3);
    }
    Draw_Mesh(item.meshes[6], PROBE_COLOUR, 0.1);
    Draw_Mesh(item.meshes[7], STYLUS_COLOUR, 0.1);
  }
  for(const TRenderLaserItem& item : d_laser_items)
  {
    const TVector3 colour = Tinted_Colour(LASER_COLOUR, item.selected, item.flagged, TINT_BODY);
    Draw_Mesh(item.meshes[0], colour, 0.3);
    Draw_Mesh(item.meshes[1], colour, 0.3);
    Draw_Mesh(item.meshes[2], Tinted_Colour(LASER_COLOUR, item.selected, item.flagged, TINT_FLAG_ONLY), 0.3);
    for(size_t i = 3; i < 6; ++i)
    {
      Draw_Mesh(item.meshes[i], PROBE_COLOUR, 0.1);
    }
    Draw_Mesh(item.meshes[6], STYLUS_COLOUR, 0.1);
  }

  if(Has_Render_Volume())
  {
    Render_Line_Buffer(d_vertex_buffer.Buffer_Size(d_volume_buffer_key), VOLUME_COLOUR,
                       d_vertex_buffer.Buffer(d_volume_buffer_key));
  }
  const double l = d_axis_length;
  const TVector3& o = d_axis_origin;
  const double axes[18] = {o.x, o.y,     o.z, o.x + l, o.y, o.z, o.x, o.y, o.z,
                           o.x, o.y + l, o.z, o.x,     o.y, o.z, o.x, o.y, o.z + l};
  // The triad is what the eye looks for first; a wider line keeps it readable at any size.
  glLineWidth(2.0f);
  Render_Line_Buffer(18, AXIS_COLOUR, axes);
  glLineWidth(1.0f);
  if(d_flat_program)
  {
    d_flat_program->release();
  }

  Draw_Overlay();
}

void TOpenGLDisplay::Draw_Overlay()
{
  // QPainter changes OpenGL state freely; everything it touches is restored afterwards.
  glPushAttrib(GL_ALL_ATTRIB_BITS);
  glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  // The painter draws in window coordinates with y downwards, which turns its triangles round:
  // with culling on, its filled shapes would vanish.
  glDisable(GL_CULL_FACE);
  glDisable(GL_DEPTH_TEST);
  {
    // Painting on a device of the bound framebuffer, not on the widget: a widget painter is
    // redirected while the window is grabbed, and the labels would then be lost under the image.
    QOpenGLPaintDevice device(size() * devicePixelRatioF());
    device.setDevicePixelRatio(devicePixelRatioF());
    QPainter painter(&device);
    painter.setRenderHint(QPainter::TextAntialiasing);

    const double l = d_axis_length * 1.125;
    QFont axis_font = painter.font();
    axis_font.setBold(true);
    painter.setFont(axis_font);
    painter.setPen(QColor(64, 64, 64));
    const std::pair<const char*, TVector3> labels[3] = {{"X", d_axis_origin + TVector3(l, 0, 0)},
                                                        {"Y", d_axis_origin + TVector3(0, l, 0)},
                                                        {"Z", d_axis_origin + TVector3(0, 0, l)}};
    // Labels that would overlap one already drawn are left out: a heap of names over each other
    // reads as none. The triad's come first; a ball bar left out is still named by its pick.
    std::vector<QRect> drawn;
    for(const auto& label : labels)
    {
      int x = 0;
      int y = 0;
      Point_Raster_Position(x, y, label.second);
      const QRect box(x - 20, y - 12, 40, 24);
      painter.drawText(box, Qt::AlignCenter, QString::fromLatin1(label.first));
      // The box of a letter is mostly empty: only its middle keeps a name away.
      drawn.push_back(box.adjusted(12, 4, -12, -4));
    }

    painter.setFont(QFont(painter.font().family(), painter.font().pointSize()));
    const QFontMetrics metrics(painter.font());
    for(const TRenderBallbarItem& item : d_ballbar_items)
    {
      int x = 0;
      int y = 0;
      Point_Raster_Position(x, y, item.label_position);
      const QSize text_size = metrics.size(Qt::TextSingleLine, item.label_text);
      const QRect box(x - 1, y - 1, text_size.width() + 3, text_size.height() + 3);
      if(std::any_of(drawn.begin(), drawn.end(), [&box](const QRect& other) { return other.intersects(box); }))
      {
        continue;
      }
      drawn.push_back(box);
      painter.fillRect(box, QColor(224, 224, 224, 160));
      painter.setPen(QColor(0, 0, 0));
      painter.drawText(box, Qt::AlignCenter, item.label_text);
    }
  }
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopClientAttrib();
  glPopAttrib();
}
