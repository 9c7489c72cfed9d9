// The receiver's time: GPS time and GLONASS time as the GNSS board keeps them, each with its
// week or day count, UTC offset, leap-second state and validity, plus the receiver's own
// millisecond time. Galileo, QZSS and NavIC read GPS time; BeiDou time is GPS time less 14 s,
// which the callers subtract.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/rtos.h"
#include "navigation_data/store/nav_records.h"
#include "navigation_data/store/sat_data_store.h"
#include "positioning/gregorian_epoch.h"

// Scale index of `TimeScales::now`.
enum tSvTimeType : int { tsGps = 0, tsGlonass = 1 };
// Satellite system index; the time-scale setters take only GPS and GLONASS.
enum tSvType : int {
  svGps = 0,
  svGlonass = 1,
  svGalileo = 2,
  svSbas = 3,
  svQzss = 4,
  svBeidou = 5,
  svNavic = 6,
};


class TimeScales;

class RcvTimeScales {
 public:
  // 26 signed 32-bit words; per-scale pairs hold GPS first, GLONASS second. Words 2-5, 7-9 and
  // 20-23 and the flag bits other than 0x10, 0x20 and 0x40 belong to the GNSS board: they are
  // carried, never interpreted.
  struct INT_SCALES {
    std::int64_t rcvTime;        // words 0-1: receiver time, ms
    std::int32_t gpsMs;          // word 2: steps by a week when a correction steps the week
    std::int32_t upTime;         // word 3: GNSS-board uptime, s
    std::int32_t board[2];       // words 4-5
    std::int32_t corrSum;        // word 6: sum of the corrections applied
    std::int32_t corrPhase[2];   // words 7-8: kept in (-123000, 0]
    std::int32_t unused;         // word 9
    std::int32_t ms[2];          // words 10-11: ms of the GPS week, ms of the GLONASS day
    std::int32_t weekDay[2];     // words 12-13: GPS week mod 1024; GLONASS day 0..1460
    std::int32_t cycle[2];       // words 14-15: 1024-week cycles; GLONASS four-year period N4
    std::int32_t sysUtc[2];      // words 16-17: scale minus UTC, s
    std::int32_t leapMoment[2];  // words 18-19: ms of week/day of an announced leap second
    std::int32_t labelA[2];      // words 20-21: per-epoch labelling words of the board
    std::int32_t labelB[2];      // words 22-23
    std::int32_t flags[2];       // words 24-25
  };

  // Validity flags.
  static constexpr std::int32_t kUtcKnown = 0x10;
  static constexpr std::int32_t kUtcKnown2 = 0x20;
  static constexpr std::int32_t kTimeValid = 0x40;
  static constexpr std::int32_t kRtcValid = 0x540;
  static constexpr std::int32_t kNoLeap = -100000;

  // Total weeks since 6 January 1980 are week + 1024 x cycle (cycle 1 from 22 August 1999,
  // 2 from 7 April 2019); GLONASS N4 counts four-year periods from 1996 as 1.
  static constexpr std::int64_t l_WEEK_DAY_MS[2] = {604800000, 86400000};
  static constexpr std::int64_t l_WEEK_DAY_SEC[2] = {604800, 86400};
  static constexpr std::int64_t l_WEEK_DAY_CYCLE[2] = {1024, 1461};
  static constexpr std::int64_t l_WEEK_DAY_CYCLE_SEC[2] = {619315200, 126230400};
  static constexpr std::int64_t to1_1_2000[2] = {-630720000, -252460800};
  static constexpr std::int32_t sysUtcDefault[2] = {18, 10800};

  // Working scales: seeded at start, changed by the setters and corrections.
  static INT_SCALES Int;
  // Scales of the current epoch. Task MEAT, their only writer, reads them directly; every other
  // task takes a consistent copy with getReq.
  static INT_SCALES Req;
  static std::atomic<int> rcvRefTime;            // reference scale, 0 GPS, 1 GLONASS
  static std::atomic<std::uint8_t> leapWarning;  // 1 while a leap second is imminent

  // Build-date anchors.
  static const int daysSince1Jan1980Build;
  static const int weekDayBuild[2];       // GPS week mod 1024, day within four years
  static const int weekDayCycleBuild[2];  // 1024-week cycles, GLONASS N4

  // Copy of Req that is never torn, for tasks other than MEAT.
  static void getReq(INT_SCALES& out);

  // Seconds since 2000-01-01 00:00:00 (UTC when `utc`, else scale k's own time), with the
  // calendar in g; 0 with g untouched when scale k's flags lack a bit of the level's mask.
  static std::int64_t times2data(int k, const INT_SCALES& s, bool utc, int level,
                                 GREGORIAN_EPOCH& g);
  // Seconds since 2000 (negative before) to the Gregorian calendar; the fraction is left alone.
  static void fullT2data(std::int64_t t, GREGORIAN_EPOCH& g);
  // UTC seconds since 2000 from Req (GPS scale, else GLONASS), 0 when unknown.
  static std::int64_t getUtc();
  // Offset of system `sys`'s time to UTC in s and its whole leap seconds; 1, or 0 when unknown.
  static int computeSYS2UTC_Prec(int sys, double& offs, int& leap);
  // The GPS-like part of computeSYS2UTC_Prec, from a UTC record and the solution's GPS week
  // (mod 1024) and ms of week.
  static void gpsLikeUtcOffset(int sys, const ZRT_UTC_GPS& u, int week, int msOfWeek, double& offs,
                               int& leap);

  // Start: t = UTC seconds since 2000 from the real-time clock.
  static void initOnce(int t, bool valid);
  // initOnce once the stored UTC parameters are looked up: `gpsLike` from system `gpsLikeSys`,
  // `gln` GLONASS (either may be null).
  static void initFromStored(int t, bool valid, const ZRT_UTC_GPS* gpsLike, int gpsLikeSys,
                             const ZRT_UTC_GLN* gln);

  static void setGpsFromRtc(bool valid, long t, const ZRT_UTC_GPS* utc);
  static void setGloFromRtc(bool valid, long t, const ZRT_UTC_GLN* utc);
  static void setGpsPrim(long t);
  static void setGloPrim(long t);
  static void setTime(long ms, tSvType k);
  static void makeTimeCor(const int apply[2], const long delta[2], const int flags[2], long corr);
  // 1 when the GPS offset was set to the post-leap value.
  static int set_SYS_UTC_compute(int k, const ZRT_UTC_GPS& utc, int tag);
  static int set_SYS_UTC_compute(int k, const ZRT_UTC_GLN& utc, int tag);

 private:
  friend class TimeScales;
  static Mutex m_;
};

static_assert(sizeof(RcvTimeScales::INT_SCALES) == 104);
static_assert(offsetof(RcvTimeScales::INT_SCALES, gpsMs) == 2 * 4);
static_assert(offsetof(RcvTimeScales::INT_SCALES, corrSum) == 6 * 4);
static_assert(offsetof(RcvTimeScales::INT_SCALES, unused) == 9 * 4);
static_assert(offsetof(RcvTimeScales::INT_SCALES, ms) == 10 * 4);
static_assert(offsetof(RcvTimeScales::INT_SCALES, weekDay) == 12 * 4);
static_assert(offsetof(RcvTimeScales::INT_SCALES, cycle) == 14 * 4);
static_assert(offsetof(RcvTimeScales::INT_SCALES, sysUtc) == 16 * 4);
static_assert(offsetof(RcvTimeScales::INT_SCALES, leapMoment) == 18 * 4);
static_assert(offsetof(RcvTimeScales::INT_SCALES, labelA) == 20 * 4);
static_assert(offsetof(RcvTimeScales::INT_SCALES, labelB) == 22 * 4);
static_assert(offsetof(RcvTimeScales::INT_SCALES, flags) == 24 * 4);
