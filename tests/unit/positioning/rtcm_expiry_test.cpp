// RTCM code corrections, reference-station records and state-space corrections age out through
// the correction processor's epochs: a record older than its time-out is never ready again,
// however much time passes, although its time tag's age folds into plus or minus half a day
// (GLONASS) or half a week (GPS) and would read as a few seconds one whole cycle later. And the
// code-correction generator takes no station it has not heard within its corrections' time-outs.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "positioning/corrections/rtcm_corr_generator.h"
#include "positioning/corrections/sat_corr_processor.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/data_servers/rtcm_data_types.h"

namespace {

PVTDataType& D = PVTDataInstance;
using Sat = RTCMData::SatCorrectionType;

constexpr std::int64_t kDayMs = 86400000, kWeekMs = 604800000;
constexpr std::int64_t kStartMs = 3600000;  // the records are written at 01:00 of the cycle
constexpr std::uint16_t kStation = 1234;
constexpr std::uint16_t kRangeTimeout = 60, kIonoTimeout = 300;  // s

std::int64_t cycleMs(int sys) { return sys == kSysGlonass || sys == kSysSbas ? kDayMs : kWeekMs; }
// Each system's time against GPS time: GLONASS runs on UTC(SU), 3 h less the 18 leap seconds
// ahead; BeiDou 14 s behind. Records must age on their own system's time.
std::int64_t leadMs(int sys) { return sys == kSysGlonass ? 3 * 3600000 - 18000 : sys == kSysBeidou ? -14000 : 0; }

// The setups with the RTCM correction and ionosphere time-outs of these tests.
void setups() {
  D.lmsEngineSetup.Init();
  D.satProcessorSetup.Init();
  D.corrProcessorSetup.Init();
  PosSetup::CorrProcessorSetupType s{};
  D.corrProcessorSetup.Take(&s);
  std::memcpy(s.aBytes + 110, &kRangeTimeout, 2);
  std::memcpy(s.aBytes + 112, &kIonoTimeout, 2);
  D.corrProcessorSetup.Put(&s);
}

// Runs the correction processor's epochs from `fromSec` to `toSec` after the start, as the
// program does once a second; epochs an hour apart stand for them (nothing here changes between
// them, and an hour is well inside half of either cycle less the longest time-out).
void epochs(double fromSec, double toSec) {
  for (double t = fromSec; t <= toSec;) {
    const std::int64_t ms = kStartMs + static_cast<std::int64_t>(t * 1000);
    PosData::RcvTimeDataType r{};
    r.ulTimeTag = static_cast<std::uint32_t>(ms);
    PosData::RcvTimeDataType::SysTime* sys[] = {&r.gps, &r.glo, &r.gal, &r.sbas, &r.qzss, &r.bds, &r.irn};
    for (int k = 0; k < 7; ++k) {
      sys[k]->ulMs = static_cast<std::uint32_t>((ms + leadMs(k)) % cycleMs(k));
      sys[k]->uStatus[0] = 1;
    }
    D.rcvTime.Put(&r);
    SatCorrProcessorInstance.update(static_cast<std::uint32_t>(ms));
    if (t == toSec) break;
    t = t + 3600.0 > toSec ? toSec : t + 3600.0;
  }
}

int nowMs(int sys, double sec) {
  return static_cast<int>((kStartMs + static_cast<std::int64_t>(sec * 1000) + leadMs(sys)) % cycleMs(sys));
}

SvIdType satOf(int sys, int number) {
  SvIdType id{};
  svIdFromSatNumber(sys, number, id);
  return id;
}

struct Check {
  double sec;
  bool ready;
};

TEST(RtcmExpiry, CodeCorrectionsOlderThanTheirTimeOutNeverComeBack) {
  struct Row {
    const char* what;
    int sys;
    int part;  // kRange (slot 0, code 0), kSecondCode (slot 0, code 1 alone), kIono, kHealth
    std::vector<Check> checks;
  };
  enum { kRange, kSecondCode, kIono, kHealth };
  const Row rows[] = {
      {"GLONASS range", kSysGlonass, kRange, {{10, true}, {70, false}, {86405, false}, {172805, false}}},
      {"GPS range", kSysGps, kRange, {{10, true}, {70, false}, {604805, false}, {1209605, false}}},
      {"GLONASS ionosphere", kSysGlonass, kIono, {{290, true}, {310, false}, {86590, false}}},
      {"GPS ionosphere", kSysGps, kIono, {{290, true}, {310, false}, {604890, false}}},
      // The L1 P correction of a slot without its C/A one lives until its own time-out.
      {"GPS P code alone", kSysGps, kSecondCode, {{10, true}, {50, true}, {70, false}, {604805, false}}},
      // Health comes in messages of its own, and keeps 1800 s whatever the corrections do.
      {"GLONASS health alone", kSysGlonass, kHealth, {{10, true}, {1790, true}, {1810, false}, {86405, false}}},
      {"BeiDou range", kSysBeidou, kRange, {{10, true}, {50, true}, {70, false}}},
  };
  const auto ready = [](const Sat& c, int part, int sys, int now) {
    switch (part) {
      case kRange: return c.is_ReadyRangeCorr(sys, now, 0, 0);
      case kSecondCode: return c.is_ReadyRangeCorr(sys, now, 0, 1);
      case kIono: return c.is_ReadyIonoCorr(sys, now);
      default: return (c.uSlotReady[0] & Sat::kHealth) != 0;
    }
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    setups();
    const SvIdType id = satOf(r.sys, 5);
    Sat c{};
    c.init();
    if (r.part == kSecondCode) {
      c.set_ReadyRangeCorr(kStation, 0, 1);
      RTCMData::set_TimeTag(c.ulRangeTime[0][1], nowMs(r.sys, 0));
    } else if (r.part == kHealth) {
      c.set_ReadyHealthStatus(kStation, 0);
      RTCMData::set_TimeTag(c.ulHealthTime[0], nowMs(r.sys, 0));
    } else {
      c.set_ReadyRangeCorr(kStation, 0, 0);
      c.uFlags |= Sat::kIonoReady;
      RTCMData::set_TimeTag(c.ulRangeTime[0][0], nowMs(r.sys, 0));
      RTCMData::set_TimeTag(c.ulIonoTime, nowMs(r.sys, 0));
    }
    ASSERT_EQ(D.rtcmSatCorrection[0].Put(&id, &c), 1);
    double at = 0;
    for (const Check& k : r.checks) {
      epochs(at, k.sec);
      at = k.sec;
      Sat got{};
      ASSERT_EQ(D.rtcmSatCorrection[0].Take(&id, &got), 1);
      const int now = nowMs(r.sys, k.sec);
      EXPECT_EQ(ready(got, r.part, r.sys, now), k.ready) << "at " << k.sec << " s";
    }
    D.rtcmSatCorrection[0].Init();
  }
}

TEST(RtcmExpiry, StationAndStateSpaceRecordsAgeOutByTheirOwnTimeOuts) {
  struct Row {
    const char* what;
    int kind;  // 0 station coordinates (GPS message), 1 state-space clock, 2 state-space orbit
    std::vector<Check> checks;
  };
  const Row rows[] = {
      {"station coordinates, 86400 s", 0, {{86000, true}, {86500, false}, {604810, false}}},
      {"state-space clock, 360 s", 1, {{350, true}, {370, false}, {604805, false}}},
      {"state-space orbit, 1080 s", 2, {{1070, true}, {1090, false}, {604805, false}}},
  };
  const SvIdType id = satOf(kSysGps, 7);
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    setups();
    if (r.kind == 0) {
      RTCMData::StationDataType st{};
      st.set_ReadyCoordinate(kStation);
      st.uSystem = kSysGps;
      RTCMData::set_TimeTag(st.ulCoordinateTime, nowMs(kSysGps, 0));
      D.rtcmStationData[1].Put(&st);
    } else {
      RTCMData::TSSatCorrectionType ts{};
      ts.init();
      ts.set_ReadyClockCorr(kStation, 0);
      ts.set_ReadyOrbitCorr(0);
      RTCMData::set_TimeTag(ts.ulClockTime[0], nowMs(kSysGps, 0));
      RTCMData::set_TimeTag(ts.ulOrbitTime[0], nowMs(kSysGps, 0));
      ASSERT_EQ(D.rtcmTsSatCorrection.Put(&id, &ts), 1);
    }
    double at = 0;
    for (const Check& k : r.checks) {
      epochs(at, k.sec);
      at = k.sec;
      const int now = nowMs(kSysGps, k.sec);
      bool ready = false;
      if (r.kind == 0) {
        RTCMData::StationDataType st{};
        D.rtcmStationData[1].Take(&st);
        ready = st.is_ReadyCoordinate(kSysGps, now);
      } else {
        RTCMData::TSSatCorrectionType ts{};
        ASSERT_EQ(D.rtcmTsSatCorrection.Take(&id, &ts), 1);
        ready = r.kind == 1 ? ts.is_ReadyClockCorr(kSysGps, now, 0) : ts.is_ReadyOrbitCorr(kSysGps, now, 0);
      }
      EXPECT_EQ(ready, k.ready) << "at " << k.sec << " s";
    }
    D.rtcmStationData[1].Init();
    D.rtcmTsSatCorrection.Init();
  }
}

TEST(RtcmExpiry, TheGeneratorTakesNoStationItHasNotHeardWithinTheTimeOuts) {
  struct Row {
    const char* what;
    int sys;
    std::vector<Check> checks;  // ready: the station answers the request
  };
  const Row rows[] = {
      {"GPS station", kSysGps, {{10, true}, {290, true}, {310, false}, {604805, false}}},
      // A station whose last message was GLONASS (BeiDou) is judged on GLONASS (BeiDou) time.
      {"GLONASS station", kSysGlonass, {{10, true}, {290, true}, {310, false}, {86405, false}}},
      {"BeiDou station", kSysBeidou, {{10, true}, {290, true}, {310, false}}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    setups();
    RTCMData::SourceStateDataType st{};
    st.bValid = 1;
    st.uStationId = kStation;
    st.set_Time(r.sys, nowMs(r.sys, 0));
    D.rtcmSourceState.Put(2, &st);
    double at = 0;
    for (const Check& k : r.checks) {
      epochs(at, k.sec);
      at = k.sec;
      CorrData::CorrectionRequestType q{};
      D.rcvTime.Take(&q.rcvTime);
      static RTCMData::CorrectionRequestType req{};
      req.pRequest = &q;
      RtcmCorrGeneratorInstance.update(&req);
      bool answered = false;
      for (int i = 0; i < req.uStationCount; ++i) answered = answered || req.station[i].uStationId == kStation;
      EXPECT_EQ(answered, k.ready) << "at " << k.sec << " s";
    }
    const RTCMData::SourceStateDataType none{};
    D.rtcmSourceState.Put(2, &none);
  }
}

// The sweep ages records where they lie: a decoder putting a satellite's newer corrections while
// the sweep clears an expired part of the same record never sees them replaced by the older
// record. Each put carries a rising value in slot 0 and a part of slot 1 that expires at once.
TEST(RtcmExpiry, ASweepNeverPutsBackAnOlderRecord) {
  RTCMData::SatCorrectionType::set_DataTimeout(kRangeTimeout, kIonoTimeout);
  D.rtcmSatCorrection[3].Init();
  const SvIdType id = satOf(kSysGps, 9);
  const int now = nowMs(kSysGps, 1000);
  PosData::RcvTimeDataType t{};
  t.gps.ulMs = static_cast<std::uint32_t>(now);
  t.gps.uStatus[0] = 1;
  constexpr int kPuts = 40000;
  std::atomic<bool> done{false};
  std::atomic<int> backwards{0};
  std::thread sweeper([&] {
    while (!done.load()) RTCMData::clear_ExpiredServers(&D, t);
  });
  std::thread reader([&] {
    float last = -1;
    while (!done.load()) {
      Sat c{};
      if (D.rtcmSatCorrection[3].Take(&id, &c) == 0) continue;
      if (c.range[0][0].fPrc < last) backwards.fetch_add(1);
      last = c.range[0][0].fPrc;
    }
  });
  for (int i = 0; i < kPuts; ++i) {
    Sat c{};
    c.init();
    c.set_ReadyRangeCorr(kStation, 0, 0);
    c.set_ReadyRangeCorr(kStation, 1, 0);
    c.range[0][0].fPrc = static_cast<float>(i);
    RTCMData::set_TimeTag(c.ulRangeTime[0][0], now);
    RTCMData::set_TimeTag(c.ulRangeTime[1][0], now - 100000);  // 100 s old: past its time-out
    D.rtcmSatCorrection[3].Put(&id, &c);
  }
  done = true;
  sweeper.join();
  reader.join();
  RTCMData::clear_ExpiredServers(&D, t);
  Sat c{};
  ASSERT_EQ(D.rtcmSatCorrection[3].Take(&id, &c), 1);
  EXPECT_EQ(c.range[0][0].fPrc, static_cast<float>(kPuts - 1));
  EXPECT_TRUE(c.is_ReadyRangeCorr(kSysGps, now, 0, 0));
  EXPECT_FALSE(c.is_ReadyRangeCorr(kSysGps, now, 1, 0));
  EXPECT_EQ(backwards.load(), 0);
  D.rtcmSatCorrection[3].Init();
}

}  // namespace
