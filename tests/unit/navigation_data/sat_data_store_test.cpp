#include "unit/navigation_data/blank_image.h"
#include "navigation_data/store/sat_data_store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "navigation_data/store/nav_nv_blocks.h"

namespace {

using Store = SatelliteDataProcessor;

std::unique_ptr<Store> freshStore() {
  auto s = std::make_unique<Store>();
  SatDataSetup setup;
  setup.ephSource = 3;  // own and external
  s->set_Setup(setup);
  return s;
}

SvIdType gps(int prn) { return SvIdType{static_cast<std::uint8_t>(prn - 1), kSysGps, 0, static_cast<std::uint8_t>(prn - 1)}; }

// Every test starts from a blank settings image: no record a test before kept there comes back.
struct SatDataStore : ::testing::Test {
  void SetUp() override { navtest::blankImage(); }
};

TEST_F(SatDataStore, ChangeRuleOwnAndExternal) {
  auto s = freshStore();
  ZRT_EPH_GPS a{}, b{};
  a.iodc = 10, a.toe = 7200, a.tow = 100;
  b = a;
  b.iodc = 11, b.toe = 14400;
  // tow: the reception time, which differs on every repeat.
  const struct { const ZRT_EPH_GPS* rec; std::uint32_t crc; bool external; std::uint32_t tow; bool taken; std::uint16_t counter; } steps[] = {
      {&a, 0x11, false, 100, true, 1},   // first own record
      {&a, 0x11, false, 130, false, 1},  // the same raw bits again
      {&b, 0x22, false, 160, true, 2},   // new issue
      {&a, 0, true, 190, true, 3},       // external: content differs from the last
      {&a, 0, true, 220, false, 3},      // external repeat, new reception time only
      {&b, 0, true, 250, true, 4},       // second external with a new IOD
      {&b, 0, true, 280, false, 4},
  };
  for (const auto& st : steps) {
    ZRT_EPH_GPS r = *st.rec;
    r.tow = st.tow;
    r.flags = static_cast<std::uint16_t>(st.tow & 1 ? kEphFlagRestored : 0);
    r.rawCheck = static_cast<std::uint16_t>(st.tow);
    EXPECT_EQ(s->update_EphemerisData(gps(5), 0, &r, st.crc, true, st.external, false) != 0, st.taken) << st.tow;
    EXPECT_EQ(s->get_EphUpdateCounter(kSysGps, 4, 0), st.counter) << st.tow;
  }
}

// Ready up to four hours (plus a minute) either side of toe, in the last week of a cycle and across its wrap.
TEST_F(SatDataStore, ReadinessAroundToeAcrossWeekWrap) {
  for (std::uint32_t toe : {21600u, 345600u, 597600u, 604784u}) {
    ZRT_EPH_GPS e{};
    e.prn = 5, e.toe = toe, e.week = 1023, e.iodc = 7, e.tow = toe;
    for (int side : {-1, 1}) {
      for (int off : {-1, 0, 1}) {
        auto s = freshStore();
        ASSERT_TRUE(s->update_EphemerisData(gps(e.prn), 0, &e, 7, true, false, false));
        const long t = static_cast<long>(toe) + side * (14460 + off);
        SatDataEpoch ep;
        ep.time.valid = true;
        ep.time.cycleKnown[kSysGps] = true;
        ep.time.cycle[kSysGps] = t >= 604800 ? 1024 : 1023;  // 1024 is week 0 of the next cycle
        ep.time.sec[kSysGps] = static_cast<double>(t % 604800);
        s->update(ep);
        EXPECT_EQ(s->get_EphLastData(kSysGps, e.prn - 1, 0) != nullptr, off <= 0) << "toe " << toe << " side " << side << " off " << off;
      }
    }
  }
}

TEST_F(SatDataStore, PoolExhaustionEvictsOldestOwner) {
  auto s = freshStore();
  SatDataEpoch ep;
  ep.time.valid = true;
  ep.time.sec[kSysGps] = 7200;
  s->update(ep);
  ZRT_EPH_GPS e{};
  e.toe = 7200;
  // 65 owners: 32 satellites x LNAV, then CNAV, 56 fit.
  for (int k = 0; k < 65; ++k) {
    e.iodc = static_cast<std::int16_t>(k);
    ASSERT_TRUE(s->update_EphemerisData(gps(k % 32 + 1), k / 32, &e, static_cast<std::uint32_t>(k + 1), true, false, false));
  }
  for (int k = 0; k < 65; ++k) {
    const bool kept = k >= 65 - SYS_POOL_NUM[kSysGps];
    EXPECT_EQ(s->is_EphemerisReady(kSysGps, k % 32, k / 32, Store::kLastStored), kept) << k;
  }
  // An evicted owner takes an element again without touching a survivor.
  e.iodc = 500;
  ASSERT_TRUE(s->update_EphemerisData(gps(1), 0, &e, 999, true, false, false));
  EXPECT_TRUE(s->is_EphemerisReady(kSysGps, 0, 0, Store::kLastStored));
  EXPECT_FALSE(s->is_EphemerisReady(kSysGps, 9, 0, Store::kLastStored));
  EXPECT_TRUE(s->is_EphemerisReady(kSysGps, 0, 2, Store::kLastStored));
}

TEST_F(SatDataStore, OutsideIdentitiesAndUtcRecordsRefused) {
  auto s = freshStore();
  ZRT_EPH_GPS e{};
  const SvIdType bad[] = {{32, kSysGps, 0, 0}, {0, 7, 0, 0}, {255, 255, 0, 255}, {28, kSysSbas, 0, 0}};
  for (const auto& id : bad) EXPECT_EQ(s->update_EphemerisData(id, 0, &e, 1, true, false, false), 0);
  EXPECT_EQ(s->update_EphemerisData(gps(1), 3, &e, 1, true, false, false), 0);
  EXPECT_EQ(s->update_AlmanacData(SvIdType{0, kSysGps, 0, 40}, 255, &e, false), 0);
  EXPECT_EQ(s->get_UtcLastData(9), nullptr);
  ZRT_UTC_GPS u{};
  u.A0 = 1e-9;
  const struct { int sys; std::int8_t dtLS; bool taken; } utc[] = {{kSysGps, 0, false}, {kSysGps, 18, true}, {kSysGlonass, 0, true}, {-1, 18, false}, {7, 18, false}};
  for (const auto& c : utc) {
    u.dtLS = c.dtLS;
    std::uint8_t buf[kMaxUtcRecordSize] = {};
    std::memcpy(buf, &u, sizeof u);
    EXPECT_EQ(s->update_UtcData(c.sys, 0, buf) != 0, c.taken) << c.sys;
  }
}

TEST_F(SatDataStore, IdentityLinksAndAlertFlags) {
  auto s = freshStore();
  const ZRT_EPH_GPS e{};  // GLONASS keeps any record whole
  ASSERT_TRUE(s->update_EphemerisData(gps(5), 0, &e, 1, true, false, false));
  ASSERT_TRUE(s->update_EphemerisData(SvIdType{3, kSysGlonass, 0, 255}, 0, &e, 1, true, false, false));
  for (const SvIdType id : {gps(5), SvIdType{32, kSysGps, 0, 0}}) s->set_AlertFlag(id, 1, true);
  // The almanac side of GPS knows SI = SAT from the start; the ephemeris side once one arrives.
  const struct { int sys, i, ephSat, almSi; bool alert; } cases[] = {{kSysGps, 4, 4, 4, true},
      {kSysGps, 5, 255, 5, false}, {kSysGlonass, 3, 255, 255, false}, {kSysGps, 32, 255, 255, false}};
  for (const auto& c : cases) {
    EXPECT_EQ(s->get_EphSvId(c.sys, c.i).sat, c.ephSat) << c.sys << " " << c.i;
    EXPECT_EQ(s->get_SvIdx(c.sys, c.i), c.almSi) << c.sys << " " << c.i;
    EXPECT_EQ(s->get_AlertFlag(SvIdType{std::uint8_t(c.i), std::uint8_t(c.sys), 0, 0}, 1), c.alert) << c.i;
  }
}

TEST_F(SatDataStore, ResetAndClearAllRequestsFreeSlots) {
  // 0 resets PRN 1, 1 clears every ephemeris, 2 every almanac; then two new owners need elements.
  const struct { int req; bool prn1, prn2, alm; } cases[] = {
      {0, false, true, true}, {1, false, false, true}, {2, false, false, false}};
  for (const auto& c : cases) {
    auto s = freshStore();
    SatDataEpoch ep;
    ep.time.valid = true;
    const ZRT_EPH_GPS e{};
    const ZRT_ALM_GPS a{};
    for (int k = 0; k < SYS_POOL_NUM[kSysGps]; ++k)
      ASSERT_TRUE(s->update_EphemerisData(gps(k % 32 + 1), k / 32, &e, 1, true, false, false));
    ASSERT_TRUE(s->update_AlmanacData(gps(9), 255, &a, false));
    SatDataEpoch req = ep;
    req.ephReset[0] = c.req == 0, req.clearAllEph = c.req == 1, req.clearAllAlm = c.req == 2;
    s->update(req);
    for (int prn : {25, 26}) ASSERT_TRUE(s->update_EphemerisData(gps(prn), 1, &e, 1, true, false, false));
    EXPECT_EQ(s->is_EphemerisReady(kSysGps, 0, 0, Store::kLastStored), c.prn1) << c.req;
    EXPECT_EQ(s->is_EphemerisReady(kSysGps, 1, 0, Store::kLastStored), c.prn2) << c.req;
    EXPECT_EQ(s->get_AlmLastData(kSysGps, 8) != nullptr, c.alm) << c.req;
  }
}

}  // namespace

namespace {

SatDataEpoch timedEpoch(double gpsSec, double monoSec = 1000) {
  SatDataEpoch ep;
  ep.time.valid = true;
  ep.time.cycleKnown[kSysGps] = true;
  ep.time.cycle[kSysGps] = 500;
  ep.time.sec[kSysGps] = gpsSec;
  ep.monoSec = monoSec;
  return ep;
}

TEST_F(SatDataStore, SourceSettingAgainstOwnAndExternalRecords) {
  // 0 off, 1 own decoders, 2 external, 3 (and anything above) both; the almanac has its own.
  const struct { std::uint8_t source; bool external; bool taken; } rows[] = {
      {0, false, false}, {0, true, false}, {1, false, true}, {1, true, false},
      {2, false, false}, {2, true, true},  {3, false, true}, {3, true, true}, {7, true, true}};
  for (const auto& r : rows) {
    auto s = freshStore();
    SatDataSetup setup;
    setup.ephSource = r.source;
    setup.almSource = r.source;
    s->set_Setup(setup);
    ZRT_EPH_GPS e{};
    e.iodc = 3;
    ZRT_ALM_GPS a{};
    EXPECT_EQ(s->update_EphemerisData(gps(7), 0, &e, 5, true, r.external, false) != 0, r.taken) << int(r.source) << r.external;
    EXPECT_EQ(s->update_AlmanacData(gps(7), 255, &a, r.external) != 0, r.taken) << int(r.source) << r.external;
    // A refused record leaves the slot untouched.
    EXPECT_EQ(s->get_EphUpdateCounter(kSysGps, 6, 0), r.taken ? 1 : 0);
  }
}

TEST_F(SatDataStore, NewIodKeepsThePreviousRecordReadable) {
  auto s = freshStore();
  ZRT_EPH_GPS a{}, b{};
  a.iodc = 20, a.toe = a.tow = 100800, a.week = 500;  // 04:00 on day 1
  b = a;
  b.iodc = 21, b.toe = b.tow = 100800 + 2 * 14460 + 3600;
  ASSERT_TRUE(s->update_EphemerisData(gps(3), 0, &a, 1, true, false, false));
  ASSERT_TRUE(s->update_EphemerisData(gps(3), 0, &b, 2, true, false, false));
  // Near a's toe only the previous record is ready; near b's only the newest and the last.
  const struct { double t; bool prev, newest, last; } rows[] = {
      {100800, true, false, false}, {static_cast<double>(b.toe), false, true, true}};
  for (const auto& r : rows) {
    s->update(timedEpoch(r.t));
    EXPECT_EQ(s->is_EphemerisReady(kSysGps, 2, 0, Store::kPrevious), r.prev) << r.t;
    EXPECT_EQ(s->is_EphemerisReady(kSysGps, 2, 0, Store::kNewest), r.newest) << r.t;
    EXPECT_EQ(s->is_EphemerisReady(kSysGps, 2, 0, Store::kLastStored), r.last) << r.t;
  }
  // The same issue again with new raw bits replaces the newest record, not the previous one.
  b.toe += 600;
  ASSERT_TRUE(s->update_EphemerisData(gps(3), 0, &b, 3, true, false, false));
  s->update(timedEpoch(100800));
  EXPECT_TRUE(s->is_EphemerisReady(kSysGps, 2, 0, Store::kPrevious));
}

TEST_F(SatDataStore, CountersStepFrom30000To1) {
  auto s = freshStore();
  ZRT_EPH_GPS e{};
  ZRT_UTC_GPS u{};
  u.dtLS = 15;
  for (std::uint32_t k = 1; k <= 30001; ++k) {
    e.iodc = static_cast<std::int16_t>(k & 0x3FF);
    ASSERT_TRUE(s->update_EphemerisData(gps(1), 0, &e, k, true, false, false));
    ASSERT_TRUE(s->update_UtcData(kSysGps, 0, &u));
    const std::uint16_t want = k <= 30000 ? static_cast<std::uint16_t>(k) : 1;
    if (k < 29999) continue;
    EXPECT_EQ(s->get_EphUpdateCounter(kSysGps, 0, 0), want) << k;
    EXPECT_EQ(s->get_EphUpdateCounter(kSysGps), want) << k;
    EXPECT_EQ(s->get_UtcUpdateCounter(kSysGps), want) << k;
  }
}

TEST_F(SatDataStore, AlmanacDataTypeRule) {
  // Galileo takes only its I/NAV type (0) or any (255); the others the setup's type or any.
  const struct { int sys; std::uint8_t inUse; int dataType; bool taken; } rows[] = {
      {kSysGalileo, 255, 0, true}, {kSysGalileo, 255, 1, false}, {kSysGalileo, 1, 1, false},
      {kSysGalileo, 255, 255, true}, {kSysGps, 255, 1, true}, {kSysGps, 1, 1, true},
      {kSysGps, 1, 0, false}, {kSysGps, 1, 255, true}, {kSysBeidou, 0, 1, false}};
  for (const auto& r : rows) {
    auto s = freshStore();
    SatDataSetup setup;
    setup.typeInUse[r.sys] = r.inUse;
    s->set_Setup(setup);
    std::uint8_t rec[kMaxAlmRecordSize] = {};
    const SvIdType id{2, static_cast<std::uint8_t>(r.sys), 0, 2};
    EXPECT_EQ(s->update_AlmanacData(id, r.dataType, rec, false) != 0, r.taken) << r.sys << " " << r.dataType;
  }
}

TEST_F(SatDataStore, AlmanacAgeLimitSetsValiditySpan) {
  // With the week unknown the almanac ages within its week: ready up to days x 86400 from toa.
  const struct { std::uint16_t days; double dt; bool ready; } rows[] = {
      {1, 86400, true}, {1, 86401, false}, {2, 172800, true}, {2, -172801, false}};
  for (const auto& r : rows) {
    auto s = freshStore();
    ZRT_ALM_GPS a{};
    a.toa = 302400;
    ASSERT_TRUE(s->update_AlmanacData(gps(4), 255, &a, false));
    SatDataEpoch ep = timedEpoch(302400 + r.dt);
    ep.time.cycleKnown[kSysGps] = false;
    ep.setup.almAgeDays[kSysGps] = r.days;
    s->update(ep);
    EXPECT_EQ(s->get_AlmLastData(kSysGps, 3) != nullptr, r.ready) << r.days << " " << r.dt;
  }
}

TEST_F(SatDataStore, DataTypeInUseChangeCountsEverySlot) {
  auto s = freshStore();
  SatDataEpoch ep = timedEpoch(0);
  s->update(ep);
  const std::uint16_t before = s->get_EphUpdateCounter(kSysGps, 9, 1);
  ep.setup.typeInUse[kSysGps] = 1;
  s->update(ep);
  s->update(ep);  // the same setup again changes nothing
  EXPECT_EQ(s->get_EphUpdateCounter(kSysGps, 9, 1), before + 1);
  EXPECT_EQ(s->get_EphUpdateCounter(kSysGps, 31, 2), before + 1);
  EXPECT_EQ(s->get_EphUpdateCounter(kSysGps), 1);
  EXPECT_EQ(s->get_EphUpdateCounter(kSysGalileo), 0);
  EXPECT_EQ(s->get_UsedNavigationData(kSysGps), 1);
}

TEST_F(SatDataStore, PrimaryDataTypeChoice) {
  const struct { int n; std::uint8_t inUse; bool v[3], h[3]; int primary; } rows[] = {
      {3, 255, {true, true, true}, {true, true, true}, 0},
      {3, 255, {true, true, false}, {false, true, false}, 1},    // first healthy
      {3, 255, {false, true, true}, {false, false, false}, 1},   // none healthy: first valid
      {3, 255, {false, false, false}, {true, true, true}, 255},  // nothing valid
      {3, 2, {true, true, true}, {true, true, true}, 2},          // only the type in use
      {3, 2, {true, true, false}, {true, true, false}, 255},
      {2, 255, {false, true, true}, {false, false, true}, 1},    // a type beyond the system's
  };
  for (const auto& r : rows)
    EXPECT_EQ(Store::choose_PrimaryDataType(r.n, r.inUse, r.v, r.h), r.primary) << r.primary;
}

TEST_F(SatDataStore, EphemerisAgainstAlmanacLimits) {
  SatPosState eph, alm;
  eph.has = true;
  eph.pos[0] = 20e6, eph.vel[1] = 3000, eph.timeMs = 1000;
  // Each row moves the almanac state; both are carried by their own velocity to 51000 ms, over
  // which the ephemeris state moves 150 km along y.
  const struct { double dx, dy; float dv; double almTimeMs; bool wrong; } rows[] = {
      {0, 0, 0, 1000, false},       {100000, 0, 0, 1000, false}, {100001, 0, 0, 1000, true},
      {-100001, 0, 0, 1000, true},  {0, 0, 100, 1000, false},    {0, 0, -100.5f, 1000, true},
      {0, 150000, 0, 51000, false}, {0, 150000, 0, 1000, true}};
  for (const auto& r : rows) {
    alm = eph;
    alm.pos[0] += r.dx, alm.pos[1] += r.dy, alm.vel[1] += r.dv, alm.timeMs = r.almTimeMs;
    EXPECT_EQ(Store::is_EphemerisWrongByAlmanac(eph, alm, 51000), r.wrong) << r.dx << " " << r.dy << " " << r.dv;
  }
  alm = eph;
  alm.pos[2] = std::nan("");
  EXPECT_TRUE(Store::is_EphemerisWrongByAlmanac(eph, alm, 51000));
  const struct { int sys, dataType; bool reset; } acted[] = {
      {kSysNavic, 0, true}, {kSysGps, 0, true}, {kSysQzss, 0, true}, {kSysBeidou, 0, true},
      {kSysGps, 1, false}, {kSysBeidou, 1, false}, {kSysGalileo, 0, false}, {kSysGlonass, 0, false}};
  for (const auto& a : acted) EXPECT_EQ(Store::is_ResetByAlmanacCheck(a.sys, a.dataType), a.reset) << a.sys;
}

TEST_F(SatDataStore, GlonassFrequencyNumbersLinkThroughTheirEphemeris) {
  auto s = freshStore();
  ZRT_EPH_GLN g{};
  // Frequency index 3 (number -4) first names slot 5, then slot 9; index 4 names no valid slot.
  g.slot = 5, g.freqNum = -4;
  ASSERT_TRUE(s->update_EphemerisData(SvIdType{3, kSysGlonass, 0, 255}, 0, &g, 1, true, false, false));
  EXPECT_EQ(s->get_EphSvId(kSysGlonass, 3).sat, 4);
  EXPECT_EQ(s->get_SvIdx(kSysGlonass, 4), 3);
  g.slot = 9;
  ASSERT_TRUE(s->update_EphemerisData(SvIdType{3, kSysGlonass, 0, 255}, 0, &g, 2, true, false, false));
  g.slot = 31;
  ASSERT_TRUE(s->update_EphemerisData(SvIdType{4, kSysGlonass, 0, 255}, 0, &g, 3, true, false, false));
  const struct { int si, ephSat; } eph[] = {{3, 8}, {4, 255}, {14, 255}};
  for (const auto& r : eph) EXPECT_EQ(s->get_EphSvId(kSysGlonass, r.si).sat, r.ephSat) << r.si;
  const struct { int sat, si; } alm[] = {{4, 255}, {8, 3}, {29, 255}};
  for (const auto& r : alm) EXPECT_EQ(s->get_SvIdx(kSysGlonass, r.sat), r.si) << r.sat;
}

TEST_F(SatDataStore, CnavCorrectionRecordsStayEmpty) {
  auto s = freshStore();
  NavData::GpsCnavDCDataType dc{};
  dc.flags = NavData::kCnavDcValid, dc.daf0 = 1e-9f;
  EXPECT_EQ(s->update_GpsCnavDCData(gps(3), dc), 0);
  EXPECT_EQ(s->update_GpsCnavSysOffsetData(kSysGalileo, NavData::GpsCnavSysOffsetDataType{}), 0);
  const struct { SvIdType id; int got; } rows[] = {
      {gps(3), 1}, {gps(32), 1}, {{0, kSysQzss, 0, 6}, 1}, {{0, kSysNavic, 0, 13}, 1},
      {{0, kSysQzss, 0, 7}, 0}, {{0, kSysNavic, 0, 14}, 0}, {{0, kSysGalileo, 0, 0}, 0},
      {{0, kSysGlonass, 0, 3}, 0}, {{0, 9, 0, 0}, 0}};
  for (const auto& r : rows) {
    NavData::GpsCnavDCDataType out{};
    out.flags = 0xFF;
    EXPECT_EQ(s->take_GpsCnavDCData(r.id, &out), r.got) << int(r.id.sys) << " " << int(r.id.sat);
    if (r.got) {
      EXPECT_EQ(out.flags & NavData::kCnavDcValid, 0);
    }
  }
}

TEST_F(SatDataStore, UpdateNeedsTimeAndSetupAndRestoresKeptUtc) {
  nav_nv::allocate_NvRamData();  // UTC is kept in the settings image
  auto s = freshStore();
  ZRT_UTC_GPS u{};
  u.dtLS = 15;
  ASSERT_TRUE(s->update_UtcData(kSysGps, 0, &u));
  SatDataEpochResult res;
  SatDataEpoch ep = timedEpoch(0);
  ep.setupValid = false;
  s->update(ep, &res);
  EXPECT_FALSE(res.ran);
  ep = SatDataEpoch{};
  s->update(ep, &res);
  EXPECT_FALSE(res.ran);
  // The first full step restores what was kept: the UTC record counts again.
  s->update(timedEpoch(0), &res);
  EXPECT_TRUE(res.ran);
  EXPECT_EQ(s->get_UtcUpdateCounter(kSysGps), 2);
  EXPECT_NE(s->get_UtcLastData(kSysGps), nullptr);
  EXPECT_EQ(s->update_UtcData(kSysGalileo, 0, nullptr), 0);  // nothing kept
}

// Arbitrary bytes under arbitrary identities: taken or refused, never a fault.
TEST_F(SatDataStore, RandomRecordsAndIdentities) {
  auto s = freshStore();
  std::uint32_t x = 12345;
  auto next = [&x] { return x = x * 1664525u + 1013904223u; };
  alignas(8) std::uint8_t rec[kMaxEphRecordSize];
  for (int k = 0; k < 3000; ++k) {
    for (auto& b : rec) b = static_cast<std::uint8_t>(next() >> 24);
    const SvIdType id{static_cast<std::uint8_t>(next() % 70), static_cast<std::uint8_t>(next() % 9), 0,
                      static_cast<std::uint8_t>(next() % 70)};
    const int dt = static_cast<int>(next() % 5) - 1;
    const int taken = s->update_EphemerisData(id, dt, rec, next(), true, next() & 1, false);
    if (!id.isValidSi() || dt < 0 || dt >= SYS_DATA_TYPES_NUM[id.sys]) {
      EXPECT_EQ(taken, 0);
    }
    s->update_AlmanacData(id, dt, rec, false);
    s->update_UtcData(id.sys, dt, rec);
    if (k % 500 == 0) s->update(timedEpoch(next() % 604800));
  }
}

}  // namespace

namespace {

// An unconfirmed record (replace clear) fills an empty slot unless a fresh position exists and
// the setup asks for confirmation; it never replaces a stored one.
TEST_F(SatDataStore, UnconfirmedFirstEphemeris) {
  const struct { bool stored, replace, fresh; std::uint8_t confirm; bool taken; } rows[] = {
      {false, true, true, 1, true},   {false, false, false, 1, true}, {false, false, true, 0, true},
      {false, false, true, 1, false}, {true, false, false, 0, false}, {true, true, true, 1, true}};
  for (const auto& r : rows) {
    auto s = freshStore();
    ZRT_EPH_GPS e{};
    if (r.stored) {
      ASSERT_TRUE(s->update_EphemerisData(gps(2), 0, &e, 1, true, false, false));
    }
    SatDataEpoch ep = timedEpoch(0);
    ep.setup.firstEphNeedsNoPos = r.confirm;
    ep.positionFresh = r.fresh;
    s->update(ep);
    e.iodc = 9;
    EXPECT_EQ(s->update_EphemerisData(gps(2), 0, &e, 2, r.replace, false, false) != 0, r.taken)
        << r.stored << r.replace << r.fresh << int(r.confirm);
  }
}

}  // namespace

namespace {

// The broadcast side stores while an output in another task copies the last record: every copy
// is one record whole (its reception time and check word written together), never half of two.
TEST(SatDataStoreRace, CopiesOfTheLastRecordAreWhole) {
  auto s = freshStore();
  SatDataEpoch ep;
  ep.time.valid = true;
  ep.time.sec[kSysGps] = 7200;
  s->update(ep);
  ZRT_EPH_GPS e{};
  e.prn = 5, e.iodc = 10, e.toe = 7200, e.tow = 7000, e.rawCheck = 7000;
  ASSERT_NE(s->update_EphemerisData(gps(5), 0, &e, 0, true, true, false), 0);
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (std::uint32_t k = 1; k <= 4000; ++k) {
      ZRT_EPH_GPS r = e;
      r.tow = 7000 + k;  // external records of one issue that differ: each is taken
      r.rawCheck = static_cast<std::uint16_t>(r.tow);
      r.af0 = static_cast<float>(k);
      s->update_EphemerisData(gps(5), 0, &r, 0, true, true, false);
    }
    done.store(true);
  });
  int copies = 0, torn = 0, missing = 0;
  while (!done.load() || copies < 10) {
    ZRT_EPH_GPS c{};
    bool valid = false;
    if (!s->copy_EphLastData(kSysGps, 4, 0, &c, sizeof c, &valid)) {
      ++missing;
      if (missing > 1000000) break;
      continue;
    }
    ++copies;
    const std::uint32_t k = c.tow - 7000;
    if (c.rawCheck != static_cast<std::uint16_t>(c.tow) || (k > 0 && c.af0 != static_cast<float>(k))) ++torn;
  }
  writer.join();
  EXPECT_GT(copies, 0);
  EXPECT_EQ(torn, 0);
  // A short buffer takes the head of the record; none at all for a satellite without one.
  std::uint8_t head[4] = {};
  EXPECT_TRUE(s->copy_EphLastData(kSysGps, 4, 0, head, sizeof head));
  ZRT_EPH_GPS none{};
  EXPECT_FALSE(s->copy_EphLastData(kSysGps, 6, 0, &none, sizeof none));
}

}  // namespace

namespace {

std::uint64_t gPhase3[SYS_NUM];

// The modernised generation by the almanacs (the end-to-end test has the rest): GPS by a
// configuration code of 4 or more (3 is not), a later almanac can take a GPS satellite out, one
// sent before the configuration page says nothing; an unusable one and a BeiDou D1 one change
// nothing.
TEST_F(SatDataStore, PhaseThreeMasksFollowTheAlmanacs) {
  satDataLinks.gpsPhase3Update = [](std::uint64_t m) { gPhase3[kSysGps] = m; };
  satDataLinks.beiPhase3Update = [](std::uint64_t m) { gPhase3[kSysBeidou] = m; };
  auto s = freshStore();
  const struct {
    int sys, sat, config, week;
    std::uint8_t signal;
    float sqrtA;
    bool pageUnseen;
    std::uint64_t mask;
  } rows[] = {{kSysGps, 3, 0xB, 99, 0, 5153.6f, false, 0x0},  {kSysGps, 3, 0xC, 100, 0, 5153.6f, false, 0x8},
              {kSysGps, 3, 0xA, 101, 0, 5153.6f, true, 0x8},  {kSysGps, 3, 0xA, 102, 0, 5153.6f, false, 0x0},
              {kSysGps, 6, 0xC, 100, 0, 100.0f, false, 0x0},  {kSysBeidou, 20, 0, 100, 32, 5282.6f, false, 1u << 20},
              {kSysBeidou, 20, 0, 101, 0, 5282.6f, false, 1u << 20}};
  for (const auto& r : rows) {
    std::uint8_t buf[kMaxAlmRecordSize] = {};
    auto& a = *reinterpret_cast<ZRT_ALM_GPS*>(buf);  // the BeiDou record's first fields alike
    a.prn = static_cast<std::uint8_t>(r.sat + 1), a.week = static_cast<std::int16_t>(r.week), a.sqrtA = r.sqrtA;
    if (r.pageUnseen) a.spare1[0] = kAlmGpsConfigUnknown;
    if (r.sys == kSysGps) a.config = static_cast<std::int8_t>(r.config);
    else reinterpret_cast<ZRT_ALM_CMP*>(buf)->signal = r.signal;
    const SvIdType id{static_cast<std::uint8_t>(r.sat), static_cast<std::uint8_t>(r.sys), 0, static_cast<std::uint8_t>(r.sat)};
    ASSERT_TRUE(s->update_AlmanacData(id, 255, buf, false)) << r.sat;
    EXPECT_EQ(gPhase3[r.sys], r.mask) << r.sys << " " << r.sat << " week " << r.week;
  }
  satDataLinks.gpsPhase3Update = nullptr;
  satDataLinks.beiPhase3Update = nullptr;
}

// A system's offset to GPS time broadcast again under the same issue with a new value replaces
// the stored one: the offsets the reference clock takes follow the broadcast.
TEST_F(SatDataStore, OffsetToGpsBroadcastAgainReplacesTheStoredOne) {
  SatDataEpoch ep;
  ep.time.valid = true;
  for (int k = 0; k < SYS_NUM; ++k) ep.time.cycleKnown[k] = true, ep.time.cycle[k] = 100, ep.time.sec[k] = 3600;
  for (int sys : {kSysGalileo, kSysNavic, kSysGlonass}) {
    auto s = freshStore();
    s->update(ep);
    for (float offset : {2.0e-8f, -3.5e-8f}) {
      std::uint8_t buf[kMaxUtcRecordSize] = {};
      if (sys != kSysGlonass) buf[21] = 18;  // the leap seconds of the GPS layout's part
      if (sys == kSysGalileo) {
        auto& u = *reinterpret_cast<ZRT_UTC_GAL*>(buf);
        u.A0G = offset, u.t0G = 3600, u.WN0G = 100 % 64, u.ggtoValid = 1;
      } else if (sys == kSysNavic) {
        auto& u = *reinterpret_cast<ZRT_UTC_IRS*>(buf);
        u.gnssA0 = offset, u.gnssT0 = 3600, u.gnssWeek = 100, u.gnssId = 0;
      } else {
        reinterpret_cast<ZRT_UTC_GLN*>(buf)->tauGPS = offset;
      }
      ASSERT_TRUE(s->update_UtcData(sys, 0, buf)) << sys;
      SatDataEpochResult res;
      s->update(ep, &res);
      double m = 0;
      ASSERT_TRUE(res.deltaTime.get_DeltaTime(kSysGps, sys, 3600000, m)) << sys;
      EXPECT_NEAR(m, offset * PosData::kSpeedOfLight, 1e-6) << sys << " " << offset;
    }
  }
}

}  // namespace
