#ifndef PROGRESSTHROTTLE_H
#define PROGRESSTHROTTLE_H

#include <QElapsedTimer>

// When a progress display of a long loop is due: at most once per interval. Redrawing a bar
// and delivering events after every step of a loop whose steps take microseconds would cost
// more than the loop; every few tens of milliseconds keeps the display live and a Cancel as
// prompt as a person can tell.
class TProgressThrottle
{
public:
  explicit TProgressThrottle(qint64 interval_ms) : d_interval(interval_ms) {}

  // Starts the clock; the first Due() after it is true.
  void Start();

  // True when the interval has passed since the last time it was true; that time is then now.
  bool Due();

  // Milliseconds since Start.
  qint64 Elapsed() const { return d_clock.elapsed(); }

private:
  qint64 d_interval;
  QElapsedTimer d_clock;
  qint64 d_last = 0;
  bool d_started = false;
};

#endif
