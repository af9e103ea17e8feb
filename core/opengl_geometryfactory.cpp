#include "core/opengl_geometryfactory.h"
