#include "core/opengl_vertexbuffer.h"
