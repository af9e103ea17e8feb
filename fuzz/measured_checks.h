#ifndef FUZZ_MEASURED_CHECKS_H
#define FUZZ_MEASURED_CHECKS_H

// What every measured-file reader must hold to, whatever its input: each accepted value is a
// finite number, and each refusal says why.
#include <QByteArray>
#include <QString>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "src/model/measuredfile.h"

namespace Fuzz_Measured
{
inline QByteArray Bytes(const std::uint8_t* data, std::size_t size)
{
  return QByteArray(reinterpret_cast<const char*>(data), static_cast<int>(size));
}

[[noreturn]] inline void Fail(const char* what)
{
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

inline bool Finite(const TVector3& vector)
{
  return std::isfinite(vector.x) && std::isfinite(vector.y) && std::isfinite(vector.z);
}

inline void Check_Set(const Measured::TSet& set)
{
  if(!Finite(set.probe) || !Finite(set.pivot))
  {
    Fail("an accepted probe offset or pivot is not finite");
  }
  for(const Measured::TReading& reading : set.readings)
  {
    if(!Finite(reading.target) || !Finite(reading.second))
    {
      Fail("an accepted target is not finite");
    }
    for(const double value : reading.values)
    {
      if(!std::isfinite(value))
      {
        Fail("an accepted reading is not finite");
      }
    }
    if(reading.line < 1)
    {
      Fail("an accepted reading has no line");
    }
  }
}

// The outcome of one parser call.
inline void Check(bool accepted, const QString& error)
{
  if(!accepted && error.isEmpty())
  {
    Fail("a refusal without a reason");
  }
}
} // namespace Fuzz_Measured

#endif
