#include "core/progressthrottle.h"

void TProgressThrottle::Start()
{
  d_clock.start();
  d_started = false;
}

bool TProgressThrottle::Due()
{
  if(!d_clock.isValid())
  {
    d_clock.start();
  }
  const qint64 now = d_clock.elapsed();
  if(d_started && now - d_last < d_interval)
  {
    return false;
  }
  d_started = true;
  d_last = now;
  return true;
}
