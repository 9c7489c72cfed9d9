// Every system's time of an epoch from the GPS and GLONASS scales. BeiDou time runs 14 s behind
// GPS time and counts weeks from GPS week 1356 (BDS-SIS-ICD-B1I 5.1.2); NavIC counts weeks from
// GPS week 1024 (IRNSS-SIS-ICD 5.5); SBAS records are timed by GPS day.
#include <cstring>

#include "positioning/engine/pvt_engine.h"

namespace {

constexpr std::int64_t kWeekMs = 604800000;
constexpr std::int64_t kDayMs = 86400000;
constexpr std::int64_t kBdsLagMs = 14000;
constexpr std::int32_t kBdsWeekOffset = 332;  // 1356 less one 1024-week cycle, taken off below
constexpr std::int32_t kWeekCycle = 1024;

// The status bytes of a time block: time valid and the board's second validity bit.
constexpr std::int32_t kStatusBitA = 1 << 6;
constexpr std::int32_t kStatusBitB = 1 << 8;

PosData::RcvTimeDataType::SysTime block(std::int64_t ms, std::int64_t week, std::int32_t status) {
  PosData::RcvTimeDataType::SysTime t{};
  t.ulMs = static_cast<std::uint32_t>(ms);
  t.uWeek = static_cast<std::uint16_t>(week);
  t.uStatus[0] = (status & kStatusBitA) != 0 ? 1 : 0;
  t.uStatus[1] = (status & kStatusBitB) != 0 ? 1 : 0;
  return t;
}

// One 1024-week cycle in either direction, as the week fields of both systems carry it.
std::int64_t foldWeek(std::int64_t week) {
  if (week < 0) return week + kWeekCycle;
  if (week >= kWeekCycle) return week - kWeekCycle;
  return week;
}

}  // namespace

void fill_RcvTimeData(const NavTask::NAV_EPOCH& e, PosData::RcvTimeDataType& r) {
  r.ulEpochTag = static_cast<std::uint32_t>(e.rcvTime);
  r.ulTimeTag = e.timeTag;
  // The calendar is valid when one of the scales gave the epoch's date.
  r.bCalendarValid = e.dateSource >= 0 ? 1 : 0;
  if (r.bCalendarValid) r.calendar = e.date;

  const std::int64_t gpsMs = e.gpsMs;
  const std::int64_t gpsWeek = e.gpsWeek;
  r.gps = block(gpsMs, gpsWeek, e.gpsStatus);
  r.glo = block(e.gloMs, std::int64_t{e.gloDay} + 1, e.gloStatus);
  r.gal = r.gps;
  r.qzss = r.gps;
  r.sbas = block(gpsMs % kDayMs, gpsWeek * 7 + gpsMs / kDayMs, e.gpsStatus);

  std::int64_t ms = gpsMs - kBdsLagMs;
  std::int64_t week = gpsWeek - kBdsWeekOffset;
  if (ms < 0) {
    ms += kWeekMs;
    week -= 1;
  } else if (ms >= kWeekMs) {
    ms -= kWeekMs;
    week += 1;
  }
  r.bds = block(ms, foldWeek(week), e.gpsStatus);

  ms = gpsMs;
  week = gpsWeek;
  if (ms < 0) {
    ms += kWeekMs;
    week -= 1;
  } else if (ms >= kWeekMs) {
    ms -= kWeekMs;
    week += 1;
  }
  r.irn = block(ms, foldWeek(week), e.gpsStatus);
}
