#include "platform/rtos_time.h"

#include <sys/time.h>
#include <time.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/chrony.h"
#include "platform/mono_clock.h"
#include "platform/rtc.h"

namespace {
constexpr std::int64_t kNsPerSec = 1000000000;
constexpr std::int64_t kStepNs = 500 * 1000000LL;
constexpr std::int64_t kPpsAgreeNs = 100 * 1000000LL;
// Seconds from 1970-01-01 to 2000-01-01 UTC.
constexpr std::int64_t kUnix2000 = 946684800;
// Slew rate of a gradual correction: 500 us per second, as the kernel's adjtime.
constexpr std::int64_t kSlewPpm = 500;


std::mutex g_m;
#ifndef RX_TARGET
// Host virtual clock: a fixed offset plus a slew in progress.
std::int64_t g_offsetNs = 0;
std::int64_t g_slewNs = 0;          // whole correction of the current slew
std::int64_t g_slewStartMonoNs = 0;  // when it began
#endif
// The last epoch: its clock reading and receiver milliseconds.
bool g_haveEpoch = false;
// A refused time was said; cleared by the next time taken.
std::atomic<bool> g_refusalSaid{false};
SysTime g_epochTime;
int g_epochRcvMs = 0;

#ifndef RX_TARGET
std::int64_t readNs(clockid_t id) {
  timespec ts;
  clock_gettime(id, &ts);
  return ts.tv_sec * kNsPerSec + ts.tv_nsec;
}

std::int64_t monoNs() {
  return rtosHostHandClock.on ? rtosHostHandClock.monoNs.load() : readNs(CLOCK_MONOTONIC);
}
std::int64_t machineRealNs() {
  return rtosHostHandClock.on ? rtosHostHandClock.realNs.load() : readNs(CLOCK_REALTIME);
}

// Lock held.
std::int64_t slewAppliedNs(std::int64_t nowMono) {
  if (g_slewNs == 0) return 0;
  const std::int64_t done = (nowMono - g_slewStartMonoNs) * kSlewPpm / 1000000;
  const std::int64_t mag = std::llabs(g_slewNs);
  const std::int64_t applied = done < mag ? done : mag;
  return g_slewNs < 0 ? -applied : applied;
}
#endif

std::int64_t toNs(const SysTime& t) { return static_cast<std::int64_t>(t.sec) * kNsPerSec + t.nsec; }

void stepBy(std::int64_t ns) {
#ifdef RX_TARGET
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  std::int64_t now = ts.tv_sec * kNsPerSec + ts.tv_nsec + ns;
  ts.tv_sec = static_cast<time_t>(now / kNsPerSec);
  ts.tv_nsec = static_cast<long>(now % kNsPerSec);
  clock_settime(CLOCK_REALTIME, &ts);
#else
  std::lock_guard<std::mutex> l(g_m);
  g_offsetNs += slewAppliedNs(monoNs()) + ns;
  g_slewNs = 0;
#endif
}

void slewBy(std::int64_t ns) {
#ifdef RX_TARGET
  timeval tv;
  tv.tv_sec = static_cast<time_t>(ns / kNsPerSec);
  tv.tv_usec = static_cast<suseconds_t>((ns % kNsPerSec) / 1000);
  adjtime(&tv, nullptr);
#else
  // A new correction replaces what is left of the old one, as adjtime does.
  std::lock_guard<std::mutex> l(g_m);
  const std::int64_t now = monoNs();
  g_offsetNs += slewAppliedNs(now);
  g_slewNs = ns;
  g_slewStartMonoNs = now;
#endif
}
}  // namespace

#ifndef RX_TARGET
HostHandClock rtosHostHandClock;
#endif

std::int64_t rtosVirtualOffsetNs() {
#ifdef RX_TARGET
  return 0;
#else
  std::lock_guard<std::mutex> l(g_m);
  return g_offsetNs + slewAppliedNs(monoNs());
#endif
}

void rtosTimeGet(SysTime& t) {
#ifdef RX_TARGET
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  t.assign(ts.tv_sec, ts.tv_nsec);
#else
  const std::int64_t ns = machineRealNs() + rtosVirtualOffsetNs();
  t.assign(ns / kNsPerSec, ns % kNsPerSec);
#endif
}


Hook<void(const SysTime& sysTime, int rcvMs)> rtosGnssEpochHook("platform", "rtosGnssEpochHook");
Hook<void(int t, bool valid)> rtosTimesInitHook("platform", "rtosTimesInitHook");
Hook<bool(SysTime& pulse)> rtosPpsSource("platform", "rtosPpsSource");


void rtosGnssEpoch(int rcvMs) {
  SysTime now;
  rtosTimeGet(now);
  if (rcvMs % 1000 == 0) {
    SysTime pulse;
    if (rtosPpsSource(pulse) && std::llabs(toNs(now) - toNs(pulse)) <= kPpsAgreeNs) now = pulse;
  }
  MonoClock::refresh();
  {
    std::lock_guard<std::mutex> l(g_m);
    g_haveEpoch = true;
    g_epochTime = now;
    g_epochRcvMs = rcvMs;
  }
  rtosGnssEpochHook(now, rcvMs);
}

void rtosAdjustTime(std::int64_t utcSec, std::int32_t rcvMsOfDay) {
  if (utcSec == 0 || rcvMsOfDay % 1000 != 0) return;
  if (utcSec < 0 || utcSec > rtosClockMaxSec()) {
    // Stepping there would wrap the clock's seconds: the clock keeps its time instead.
    if (!g_refusalSaid.exchange(true))
      std::fprintf(stderr, "$$TIME: UTC %lld s is beyond the system clock: not steered\n", static_cast<long long>(utcSec));
    return;
  }
  g_refusalSaid = false;
  SysTime at;
  {
    std::lock_guard<std::mutex> l(g_m);
    const bool sameEpoch = g_haveEpoch && (g_epochRcvMs % 86400000) == (rcvMsOfDay % 86400000);
    if (sameEpoch) at = g_epochTime;
    g_haveEpoch = false;  // one steering per epoch
    if (!sameEpoch) return;
  }
  // System clock minus GNSS time at the moment of the epoch.
  const std::int64_t offsetNs = toNs(at) - utcSec * kNsPerSec;
  if (chronyActive()) {
    chronySendSample(at.sec + (at.nsec < 0 ? -1 : 0), ((at.nsec % kNsPerSec) + kNsPerSec) % kNsPerSec / 1000,
                     static_cast<double>(offsetNs) / kNsPerSec);
    return;
  }
  if (std::llabs(offsetNs) > kStepNs) {
#ifdef RX_TARGET
    std::fprintf(stderr, "$$TIME: system clock stepped by %lld ms\n", static_cast<long long>(-offsetNs / 1000000));
#else
    std::fprintf(stderr, "$$TIME: program clock stepped by %lld ms (the machine's clock is left alone)\n",
                 static_cast<long long>(-offsetNs / 1000000));
#endif
    stepBy(-offsetNs);
  } else if (offsetNs != 0) {
    slewBy(-offsetNs);
  }
}

int timesInitOnce() {
  std::int64_t utc = 0;
  const bool read = Rtc::read(utc);
  const std::int64_t t = utc - kUnix2000;
  const bool valid = read && t > 0 && t <= 0x7FFFFFFF;
  const int seconds = valid ? static_cast<int>(t) : 0;
  rtosTimesInitHook(seconds, valid);
  return seconds;
}
