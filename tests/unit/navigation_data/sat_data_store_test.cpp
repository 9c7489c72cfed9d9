#include "navigation_data/store/sat_data_store.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using Store = SatelliteDataProcessor;

std::unique_ptr<Store> freshStore(std::uint8_t source = 3) {
  auto s = std::make_unique<Store>();
  SatDataSetup setup;
  setup.ephSource = source;
  s->set_Setup(setup);
  return s;
}

SvIdType gps(int prn) { return SvIdType{static_cast<std::uint8_t>(prn - 1), kSysGps, 0, static_cast<std::uint8_t>(prn - 1)}; }

// A GPS ephemeris from a RINEX 2 navigation file: the fields the store reads.
std::vector<ZRT_EPH_GPS> rinexEphemerides(const char* name) {
  const std::string path = std::string(RX_SHARED_DIR) + "/testdata/nav/" + name;
  std::vector<ZRT_EPH_GPS> out;
  FILE* f = std::fopen(path.c_str(), "r");
  if (f == nullptr) return out;
  char line[128];
  while (std::fgets(line, sizeof line, f) && std::strstr(line, "END OF HEADER") == nullptr) {}
  std::vector<double> v;
  int prn = 0;
  int n = 0;
  while (std::fgets(line, sizeof line, f)) {
    for (char* p = line; *p; ++p)
      if (*p == 'D') *p = 'E';
    const int first = n % 8 == 0 ? 22 : 3;
    if (n % 8 == 0) prn = std::atoi(std::string(line, 2).c_str());
    for (int k = 0; k < 4; ++k) {
      const std::string fld(line + first + 19 * k, 19);
      if (first + 19 * k < static_cast<int>(std::strlen(line))) v.push_back(std::atof(fld.c_str()));
    }
    if (++n % 8 == 0) {
      ZRT_EPH_GPS e{};
      e.prn = static_cast<std::uint8_t>(prn);
      e.iode = static_cast<std::uint16_t>(v[3]);
      e.sqrtA = v[10];
      e.toe = static_cast<std::uint32_t>(v[11]);
      e.week = static_cast<std::uint16_t>(v[21]);
      e.iodc = static_cast<std::int16_t>(v[26]);
      e.tow = static_cast<std::uint32_t>(v[27]);
      out.push_back(e);
      v.clear();
    }
  }
  std::fclose(f);
  return out;
}

TEST(SatDataStore, SourceSettingAgainstOwnAndExternal) {
  const struct {
    std::uint8_t source;
    bool ownTaken, externalTaken;
  } cases[] = {{0, false, false}, {1, true, false}, {2, false, true}, {3, true, true}};
  for (const auto& c : cases) {
    auto s = freshStore(c.source);
    ZRT_EPH_GPS e{};
    e.iodc = 10;
    e.toe = 7200;
    EXPECT_EQ(s->update_EphemerisData(gps(3), 0, &e, 0x1234, true, false, false) != 0, c.ownTaken) << int(c.source);
    EXPECT_EQ(s->update_EphemerisData(gps(4), 0, &e, 0, true, true, false) != 0, c.externalTaken) << int(c.source);
  }
}

TEST(SatDataStore, ChangeRuleOwnAndExternal) {
  auto s = freshStore();
  ZRT_EPH_GPS a{}, b{};
  a.iodc = 10, a.toe = 7200, a.tow = 100;
  b = a;
  b.iodc = 11, b.toe = 14400;
  const struct {
    const ZRT_EPH_GPS* rec;
    std::uint32_t crc;
    bool external;
    std::uint32_t tow;  // reception time: differs on every repeat
    bool taken;
    std::uint16_t counter;
  } steps[] = {
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

TEST(SatDataStore, NewIodKeepsOldRecordAsPrevious) {
  auto s = freshStore();
  SatDataEpoch ep;
  ep.time.valid = true;
  ep.time.cycleKnown[kSysGps] = true;
  ep.time.cycle[kSysGps] = 1590;
  ep.time.sec[kSysGps] = 7200;
  s->update(ep);
  ZRT_EPH_GPS a{}, b{};
  a.iodc = 10, a.toe = 7200, a.week = 1590, a.tow = 7000;
  b = a;
  b.iodc = 11;
  ASSERT_TRUE(s->update_EphemerisData(gps(1), 0, &a, 1, true, false, false));
  ASSERT_TRUE(s->update_EphemerisData(gps(1), 0, &b, 2, true, false, false));
  const ExtEphRecord* last = s->get_EphLastData(kSysGps, 0, 0);
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(last->iod, 11);
  EXPECT_TRUE(s->is_EphemerisReady(kSysGps, 0, 0, Store::kPrevious));
}

TEST(SatDataStore, ReadinessAroundToeWithRinexRecordsAcrossWeekWrap) {
  const auto recs = rinexEphemerides("brdc1820.10n");
  ASSERT_GE(recs.size(), 10u);
  for (std::size_t i = 0; i < 10; ++i) {
    ZRT_EPH_GPS e = recs[i];
    // Moved to the last week of the cycle, same orbit; the receiver counts on across the wrap.
    e.week = 1023;
    for (int side : {-1, 1}) {
      for (int off : {-1, 0, 1}) {
        auto s = freshStore();
        ASSERT_TRUE(s->update_EphemerisData(gps(e.prn), 0, &e, 7, true, false, false));
        long t = static_cast<long>(e.toe) + side * (14460 + off);
        SatDataEpoch ep;
        ep.time.valid = true;
        ep.time.cycleKnown[kSysGps] = true;
        ep.time.cycle[kSysGps] = t >= 604800 ? 1024 : 1023;  // 1024 is week 0 of the next cycle
        ep.time.sec[kSysGps] = static_cast<double>(t % 604800);
        s->update(ep);
        EXPECT_EQ(s->get_EphLastData(kSysGps, e.prn - 1, 0) != nullptr, off <= 0)
            << int(e.prn) << " toe " << e.toe << " side " << side << " off " << off;
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

TEST(SatDataStore, ToeCycleAtWrap) {
  const struct {
    int sys, toe, tow, cycle, expect;
  } cases[] = {{kSysSbas, 86000, 100, 0, 7167}, {kSysSbas, 100, 86000, 7167, 0},
               {kSysGps, 604000, 100, 0, 1023}, {kSysGps, 100, 604000, 1023, 0}, {kSysGps, 7200, 7000, 1590, 566}};
  for (const auto& c : cases) EXPECT_EQ(Store::get_ToeCycleNum(c.sys, c.toe, c.tow, c.cycle), c.expect) << c.sys;
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
  const struct {
    int sys;
    std::int8_t dtLS;
    bool taken;
  } utc[] = {{kSysGps, 0, false}, {kSysGps, 18, true}, {kSysGlonass, 0, true}, {-1, 18, false}, {7, 18, false}};
  for (const auto& c : utc) {
    u.dtLS = c.dtLS;
    std::uint8_t buf[kMaxUtcRecordSize] = {};
    std::memcpy(buf, &u, sizeof u);
    EXPECT_EQ(s->update_UtcData(c.sys, 0, buf) != 0, c.taken) << c.sys;
  }
  ZRT_UTC_GPS back{};
  ASSERT_NE(s->restore_NvRamUtcDataGpsAlike(kSysGps, &back), nullptr);
  EXPECT_EQ(back.dtLS, 18);
  EXPECT_EQ(s->get_UtcUpdateCounter(kSysGps), 1);
  EXPECT_EQ(s->restore_NvRamUtcDataGpsAlike(kSysGlonass, &back), nullptr);
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
    req.ephReset[0] = c.req == 0;
    req.clearAllEph = c.req == 1;
    req.clearAllAlm = c.req == 2;
    s->update(req);
    for (int prn : {25, 26}) ASSERT_TRUE(s->update_EphemerisData(gps(prn), 1, &e, 1, true, false, false));
    EXPECT_EQ(s->is_EphemerisReady(kSysGps, 0, 0, Store::kLastStored), c.prn1) << c.req;
    EXPECT_EQ(s->is_EphemerisReady(kSysGps, 1, 0, Store::kLastStored), c.prn2) << c.req;
    EXPECT_EQ(s->get_AlmLastData(kSysGps, 8) != nullptr, c.alm) << c.req;
  }
}

}  // namespace
