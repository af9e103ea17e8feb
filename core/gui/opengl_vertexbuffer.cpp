#include "core/gui/opengl_vertexbuffer.h"

#include <algorithm>

namespace
{
bool Key_Less(const TOpenGLVertexBuffer::TBufferItem& item, int key)
{
  return item.key < key;
}
} // namespace

int TOpenGLVertexBuffer::Create_Buffer(unsigned count)
{
  if(count == 0 || count % 3 != 0)
  {
    return -1;
  }

  TBufferItem item;
  item.key = d_next_key++;
  item.size = count;
  item.data.reset(new double[count]());
  d_buffers.push_back(std::move(item));
  return d_buffers.back().key;
}

const TOpenGLVertexBuffer::TBufferItem* TOpenGLVertexBuffer::Find(int key) const
{
  if(key <= 0)
  {
    return nullptr;
  }
  const auto iter = std::lower_bound(d_buffers.begin(), d_buffers.end(), key, Key_Less);
  if(iter == d_buffers.end() || iter->key != key)
  {
    return nullptr;
  }
  return &(*iter);
}

bool TOpenGLVertexBuffer::Has_Buffer(int key) const
{
  return Find(key) != nullptr;
}

double* TOpenGLVertexBuffer::Buffer(int key)
{
  const TBufferItem* item = Find(key);
  return item ? item->data.get() : nullptr;
}

const double* TOpenGLVertexBuffer::Buffer(int key) const
{
  const TBufferItem* item = Find(key);
  return item ? item->data.get() : nullptr;
}

unsigned TOpenGLVertexBuffer::Buffer_Size(int key) const
{
  const TBufferItem* item = Find(key);
  return item ? item->size : 0;
}

void TOpenGLVertexBuffer::Remove_Buffer(int key)
{
  if(key <= 0)
  {
    return;
  }
  const auto iter = std::lower_bound(d_buffers.begin(), d_buffers.end(), key, Key_Less);
  if(iter != d_buffers.end() && iter->key == key)
  {
    d_buffers.erase(iter);
  }
}

void TOpenGLVertexBuffer::Remove_Buffers(std::vector<int> keys)
{
  std::sort(keys.begin(), keys.end());
  const auto removed = std::remove_if(d_buffers.begin(), d_buffers.end(),
                                      [&keys](const TBufferItem& item)
                                      { return std::binary_search(keys.begin(), keys.end(), item.key); });
  d_buffers.erase(removed, d_buffers.end());
}

void TOpenGLVertexBuffer::Clear()
{
  d_buffers.clear();
}
