#include "navigation_data/store/sat_data_store.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

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

TEST(SatDataStore, ChangeRuleOwnAndExternal) {
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
TEST(SatDataStore, ReadinessAroundToeAcrossWeekWrap) {
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

TEST(SatDataStore, PoolExhaustionEvictsOldestOwner) {
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

TEST(SatDataStore, OutsideIdentitiesAndUtcRecordsRefused) {
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

TEST(SatDataStore, IdentityLinksAndAlertFlags) {
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

TEST(SatDataStore, ResetAndClearAllRequestsFreeSlots) {
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
