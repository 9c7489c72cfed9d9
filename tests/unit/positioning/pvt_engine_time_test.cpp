// The receiver-time record of an epoch against an independent conversion from one continuous
// GPS time: BeiDou time is GPS time less 14 s with weeks counted from GPS week 1356, NavIC weeks
// from GPS week 1024, SBAS days from the GPS epoch, GLONASS days within the four-year period that
// began on 1 January 1996 (Moscow time = UTC + 3 h).
#include <gtest/gtest.h>

#include <cstdint>

#include "positioning/engine/pvt_engine.h"

namespace {

constexpr std::int64_t kWeek = 604800000, kDay = 86400000;
constexpr std::int64_t kLeapMs = 18000;                // GPS - UTC since 2017
constexpr std::int64_t kDays1980To1996 = 5839;         // 1980-01-06 .. 1996-01-01

std::int64_t floorDiv(std::int64_t a, std::int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

struct Expected {
  std::int64_t bdsWeek, bdsMs, irnWeek, irnMs, sbasDay, sbasMs, gloDay, gloMs;
};

Expected convert(std::int64_t gpsTotalMs) {
  Expected x{};
  const std::int64_t bdt = gpsTotalMs - 14000 - 1356 * kWeek;
  x.bdsWeek = floorDiv(bdt, kWeek);
  x.bdsMs = bdt - x.bdsWeek * kWeek;
  x.irnWeek = floorDiv(gpsTotalMs, kWeek) - 1024;
  x.irnMs = gpsTotalMs - floorDiv(gpsTotalMs, kWeek) * kWeek;
  x.sbasDay = floorDiv(gpsTotalMs, kDay);
  x.sbasMs = gpsTotalMs - x.sbasDay * kDay;
  const std::int64_t moscow = gpsTotalMs - kLeapMs + 3 * 3600000;
  const std::int64_t d = floorDiv(moscow, kDay) - kDays1980To1996;
  x.gloDay = d % 1461 + 1;
  x.gloMs = moscow - floorDiv(moscow, kDay) * kDay;
  return x;
}

// The scales as the board gives them for that instant, through the epoch record.
NavTask::NAV_EPOCH epochAt(std::int64_t gpsTotalMs) {
  RcvTimeScales::INT_SCALES s{};
  const std::int64_t week = gpsTotalMs / kWeek;
  s.ms[0] = static_cast<std::int32_t>(gpsTotalMs % kWeek);
  s.weekDay[0] = static_cast<std::int32_t>(week % 1024);
  s.cycle[0] = static_cast<std::int32_t>(week / 1024);
  const std::int64_t moscow = gpsTotalMs - kLeapMs + 3 * 3600000;
  s.ms[1] = static_cast<std::int32_t>(moscow % kDay);
  s.weekDay[1] = static_cast<std::int32_t>((moscow / kDay - kDays1980To1996) % 1461);
  s.flags[0] = s.flags[1] = RcvTimeScales::kTimeValid;
  s.rcvTime = 123456789;
  NavTask::NAV_EPOCH e;
  NavTask::fill_NavEpoch(s, e);
  return e;
}

TEST(PvtEngineTime, EverySystemAcrossWeekAndDayBoundaries) {
  const std::int64_t offsets[] = {0, 1, 13999, 14000, 14001, kDay - 1, kDay, 3 * 3600000 + kLeapMs - 1,
                                  21 * 3600000 + kLeapMs, 21 * 3600000 + kLeapMs - 1, kWeek - 14001,
                                  kWeek - 14000, kWeek - 1};
  int rows = 0;
  for (std::int64_t week = 1400; week <= 3000; week += 37) {
    for (std::int64_t off : offsets) {
      const std::int64_t t = week * kWeek + off;
      const Expected x = convert(t);
      PosData::RcvTimeDataType r{};
      fill_RcvTimeData(epochAt(t), r);
      const std::string row = "week " + std::to_string(week) + " +" + std::to_string(off);
      EXPECT_EQ(r.bds.uWeek, x.bdsWeek) << row;
      EXPECT_EQ(r.bds.ulMs, x.bdsMs) << row;
      EXPECT_EQ(r.irn.uWeek, x.irnWeek) << row;
      EXPECT_EQ(r.irn.ulMs, x.irnMs) << row;
      EXPECT_EQ(r.sbas.uWeek, x.sbasDay) << row;
      EXPECT_EQ(r.sbas.ulMs, x.sbasMs) << row;
      EXPECT_EQ(r.glo.uWeek, x.gloDay) << row;
      EXPECT_EQ(r.glo.ulMs, x.gloMs) << row;
      EXPECT_EQ(r.gps.uWeek, week) << row;
      EXPECT_EQ(r.gal.ulMs, r.gps.ulMs) << row;
      EXPECT_EQ(r.qzss.uWeek, r.gps.uWeek) << row;
      EXPECT_EQ(r.ulTimeTag, 123456789u) << row;
      ++rows;
    }
  }
  EXPECT_GT(rows, 500);
}

// The worked cases of the week folding, the GPS week as a 10-bit count included.
TEST(PvtEngineTime, WeekFoldingCases) {
  struct Row {
    std::int32_t gpsWeek, gpsMs;
    int bdsWeek, bdsMs, irnWeek, irnMs;
  };
  const Row rows[] = {
      {2300, 10000, 943, 604796000, 1276, 10000},
      {300, 302400000, 992, 302386000, 300, 302400000},  // 10-bit week: one cycle added back
      {1356, 14000, 0, 0, 332, 14000},
      {1356, 13999, 1023, 604799999, 332, 13999},  // the week before BeiDou week 0, folded
      {1024, 0, 691, 604786000, 0, 0},
      {1023, 604800000, 691, 604786000, 0, 0},  // ms one week over: the same instant as the row above
  };
  for (const Row& w : rows) {
    NavTask::NAV_EPOCH e;
    e.gpsWeek = w.gpsWeek;
    e.gpsMs = w.gpsMs;
    PosData::RcvTimeDataType r{};
    fill_RcvTimeData(e, r);
    EXPECT_EQ(r.bds.uWeek, w.bdsWeek) << w.gpsWeek << " " << w.gpsMs;
    EXPECT_EQ(r.bds.ulMs, static_cast<std::uint32_t>(w.bdsMs)) << w.gpsWeek << " " << w.gpsMs;
    EXPECT_EQ(r.irn.uWeek, w.irnWeek) << w.gpsWeek << " " << w.gpsMs;
    EXPECT_EQ(r.irn.ulMs, static_cast<std::uint32_t>(w.irnMs)) << w.gpsWeek << " " << w.gpsMs;
  }
}

// Status bytes: bits 6 and 8 of each scale's status word; the calendar only when a scale gave
// the date.
TEST(PvtEngineTime, StatusBytesAndCalendar) {
  struct Row {
    std::int32_t gps, glo;
    int dateSource;
    std::uint8_t g0, g1, r0, r1, cal;
  };
  const Row rows[] = {
      {0, 0, -1, 0, 0, 0, 0, 0},
      {0x40, 0, 0, 1, 0, 0, 0, 1},
      {0x100, 0x40, 1, 0, 1, 1, 0, 1},
      {0x140, 0x140, -1, 1, 1, 1, 1, 0},
      {0xEBF, 0xEBF, 3, 0, 0, 0, 0, 1},  // every other bit set
  };
  for (const Row& w : rows) {
    NavTask::NAV_EPOCH e;
    e.gpsStatus = w.gps;
    e.gloStatus = w.glo;
    e.dateSource = w.dateSource;
    e.date.year = 2024;
    PosData::RcvTimeDataType r{};
    fill_RcvTimeData(e, r);
    EXPECT_EQ(r.gps.uStatus[0], w.g0) << w.gps;
    EXPECT_EQ(r.gps.uStatus[1], w.g1) << w.gps;
    EXPECT_EQ(r.bds.uStatus[0], w.g0) << w.gps;
    EXPECT_EQ(r.glo.uStatus[0], w.r0) << w.glo;
    EXPECT_EQ(r.glo.uStatus[1], w.r1) << w.glo;
    EXPECT_EQ(r.bCalendarValid, w.cal) << w.dateSource;
    EXPECT_EQ(r.calendar.year, w.cal ? 2024 : 0) << w.dateSource;
  }
}

}  // namespace
