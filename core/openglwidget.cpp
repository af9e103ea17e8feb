#include "core/openglwidget.h"
