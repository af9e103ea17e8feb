#ifndef OPENGLWIDGET_H
#define OPENGLWIDGET_H

#endif
