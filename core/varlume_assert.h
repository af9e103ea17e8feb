#ifndef VARLUME_ASSERT_H
#define VARLUME_ASSERT_H

#include <QtGlobal>

// Stops the program with the condition text and the function signature.
// Reports, prints and never returns.
[[noreturn]] void Varlume_Assert_Failed(const char* condition, const char* function);

// Fatal in every build type: guards programming errors only, never user input.
#define VARLUME_ASSERT(condition)                                                                                      \
  ((condition) ? static_cast<void>(0) : ::Varlume_Assert_Failed(#condition, Q_FUNC_INFO))

#endif
