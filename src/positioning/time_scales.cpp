#include "positioning/time_scales.h"

#include <atomic>

#include "platform/rtos_time.h"

namespace {

using INT_SCALES = RcvTimeScales::INT_SCALES;

// Written and read only by the epoch task.
SysTime g_pendingTime{};
int g_pendingRcvMs = -1;
INT_SCALES g_fill{};

// Guarded by RcvTimeScales::m_.
INT_SCALES g_pub{};
SysTime g_pubTime{};
bool g_published = false;

// The same clock the epochs are stamped with (on the host, the process's steered virtual clock).
SysTime clockNow() {
  SysTime t;
  rtosTimeGet(t);
  return t;
}

// Milliseconds from `from` to `to`: both are readings of the steered clock, whose seconds stay
// far inside 64 bits.
std::int64_t elapsedMs(const SysTime& to, const SysTime& from) { return to.deltaMs(from); }

// The time since the epoch that is added to its scales: beyond the limit, or before the epoch
// (the clock was stepped back), none, so that a stale time stands still instead of running on.
std::int64_t advance(std::int64_t elapsed) {
  return elapsed >= 0 && elapsed <= TimeScales::kMaxElapsedMs ? elapsed : 0;
}

}  // namespace

void TimeScales::epoch(const SysTime& t, int rcvMs) {
  g_pendingTime = t;
  g_pendingRcvMs = rcvMs;
}

INT_SCALES& TimeScales::startUpdate() {
  // The decoder fills a record of its own so that Req is never seen half-written.
  g_fill = RcvTimeScales::Req;
  return g_fill;
}

void TimeScales::endUpdate(const INT_SCALES& s, int rcvMs) {
  const int pending = g_pendingRcvMs;
  g_pendingRcvMs = -1;
  Locker<Mutex> l(RcvTimeScales::m_);
  RcvTimeScales::Req = s;
  if (pending != rcvMs) return;
  g_pub = s;
  g_pubTime = g_pendingTime;
  g_published = true;
}

long TimeScales::now(tSvTimeType k) {
  if (k != tsGps && k != tsGlonass) return -1;
  const SysTime t = clockNow();
  std::int32_t ms;
  SysTime at;
  {
    Locker<Mutex> l(RcvTimeScales::m_);
    if (!(g_pub.flags[k] & RcvTimeScales::kTimeValid)) return -1;
    ms = g_pub.ms[k];
    at = g_pubTime;
  }
  return static_cast<long>(ms + advance(elapsedMs(t, at)));
}

bool TimeScales::now(INT_SCALES& s) {
  const SysTime t = clockNow();
  SysTime at;
  bool published;
  {
    Locker<Mutex> l(RcvTimeScales::m_);
    s = g_pub;
    at = g_pubTime;
    published = g_published;
  }
  const std::int64_t e = advance(elapsedMs(t, at));
  s.rcvTime += e;
  s.ms[0] = static_cast<std::int32_t>(s.ms[0] + e);
  s.ms[1] = static_cast<std::int32_t>(s.ms[1] + e);
  return published;
}
