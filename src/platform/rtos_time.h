// The system clock as the program sees and steers it. On the target that is the Linux clock;
// the host build keeps a process-local virtual clock (the machine's clock plus an offset that
// the steering moves), so it never changes the machine's time.
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>

#include "platform/hook.h"
#include "platform/sys_time.h"

// Reads the (steered) real-time clock.
void rtosTimeGet(SysTime& t);

// Steers the clock towards GNSS time; called on whole seconds with the UTC seconds of the
// epoch since 1970 (0 when UTC is not known) and the receiver time in milliseconds of the day.
// The offset is taken against the clock reading of that epoch's rtosGnssEpoch (no steering
// without one, since a later reading would carry the processing delay). Offsets of more than
// 500 ms are stepped, smaller ones slewed; while the time daemon runs it gets the offset as a
// sample instead. A time the clock cannot hold (negative, or past rtosClockMaxSec) steers
// nothing and says so with one "$$TIME:" line until a time is taken again.
void rtosAdjustTime(std::int64_t utcSec, std::int32_t rcvMsOfDay);

// The last UTC second since 1970 the steered clock can hold: the end of a 32-bit time_t, else
// 2^33 - 1 (the year 2242), where the clock's nanoseconds and any step between two of its
// times still fit in 64 bits.
constexpr std::int64_t rtosClockMaxSec() {
  return sizeof(time_t) < 8 ? std::int64_t{0x7FFFFFFF} : (std::int64_t{1} << 33) - 1;
}

// Announces a GNSS epoch: reads the clock (on whole seconds the PPS time when the PPS agrees
// within 100 ms), refreshes the monotonic second cache and hands the time to the time scales.
void rtosGnssEpoch(int rcvMs);

// Reads the real-time clock as seconds since 2000-01-01 UTC, hands it with its validity to the
// time scales, and returns it when valid, else 0.
int timesInitOnce();

// Hooks filled by the time-scale service; unfilled they do nothing.
extern Hook<void(const SysTime& sysTime, int rcvMs)> rtosGnssEpochHook;
extern Hook<void(int t, bool valid)> rtosTimesInitHook;
// The PPS input: the system time of the last pulse; false when there is none.
extern Hook<bool(SysTime& pulse)> rtosPpsSource;

// The offset of the host's virtual clock from the machine's clock in nanoseconds, including the
// part of a slew applied so far (0 on the target).
std::int64_t rtosVirtualOffsetNs();

#ifndef RX_TARGET
// Host only: a hand-driven machine clock under the virtual one, so that tests run epochs a second
// apart without waiting. While `on` is set the machine's clocks read `realNs` and `monoNs`, which
// only whoever turned it on moves; the steering is unchanged either way. The program leaves it off.
struct HostHandClock {
  std::atomic<bool> on{false};
  std::atomic<std::int64_t> realNs{0};
  std::atomic<std::int64_t> monoNs{0};
};
extern HostHandClock rtosHostHandClock;
#endif
