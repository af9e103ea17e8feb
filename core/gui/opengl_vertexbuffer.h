#ifndef OPENGL_VERTEXBUFFER_H
#define OPENGL_VERTEXBUFFER_H

#include <memory>
#include <vector>

// Registry of client-side vertex arrays (doubles, three per vertex) addressed by key.
// Keys start at 1 and are never reused within one registry, so a stale key can never
// find a newer array.
class TOpenGLVertexBuffer
{
public:
  struct TBufferItem
  {
    int key = 0;
    unsigned size = 0; // number of doubles
    std::unique_ptr<double[]> data;
  };

  TOpenGLVertexBuffer() = default;
  TOpenGLVertexBuffer(const TOpenGLVertexBuffer&) = delete;
  TOpenGLVertexBuffer& operator=(const TOpenGLVertexBuffer&) = delete;

  // Allocates count doubles set to 0 and returns their key; -1 (nothing created) when count
  // is zero or not a multiple of 3.
  int Create_Buffer(unsigned count);

  // A key of 0 or less, or one that was removed, is never found.
  bool Has_Buffer(int key) const;
  double* Buffer(int key);
  const double* Buffer(int key) const;
  unsigned Buffer_Size(int key) const;

  void Remove_Buffer(int key);
  // Removes many at once (one pass over the registry instead of one per key).
  void Remove_Buffers(std::vector<int> keys);
  void Clear();

  int Count() const { return static_cast<int>(d_buffers.size()); }

private:
  const TBufferItem* Find(int key) const;

  int d_next_key = 1;
  // Ordered by key: keys only grow and removal keeps the order, so lookups can bisect.
  std::vector<TBufferItem> d_buffers;
};

#endif
