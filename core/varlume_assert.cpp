#include "core/varlume_assert.h"

#include <cstdio>
#include <cstdlib>

void Varlume_Assert_Failed(const char* condition, const char* function)
{
  // qFatal may be redirected by a message handler; the text must reach stderr regardless.
  std::fprintf(stderr, "Fatal assertion failed: %s in %s\n", condition, function);
  std::fflush(stderr);
  std::abort();
}
