#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "navigation_data/store/sat_data_store.h"
#include "differential/base/cpd_meas.h"
#include "positioning/data_servers/pos_setup_types.h"

namespace {

// The id table written out: system, number, global id (0: not a satellite).
const struct {
  int sys, num, id;
} kIds[] = {
    {0, 1, 1},     {0, 32, 32},   {0, 0, 0},     {0, 33, 0},    {1, -7, 33},   {1, 0, 40},    {1, 7, 47},
    {1, -8, 0},    {1, 8, 0},     {2, 1, 48},    {2, 36, 83},   {2, 37, 0},    {3, 120, 84},  {3, 147, 111},
    {3, 119, 0},   {3, 148, 0},   {4, 193, 112}, {4, 199, 118}, {4, 200, 0},   {5, 1, 119},   {5, 63, 181},
    {5, 64, 0},    {6, 1, 182},   {6, 14, 195},  {6, 15, 0},    {6, 0, 0},     {7, 1, 0},     {-1, 1, 0},
    {255, 1, 0},
};

TEST(CpdSvId, TableRows) {
  for (const auto& r : kIds) {
    EXPECT_EQ(CpdSv::idOf(r.sys, r.num), r.id) << r.sys << " " << r.num;
    const CpdSv s = CpdSv::make(r.sys, r.num);
    EXPECT_EQ(s.id, r.id) << r.sys << " " << r.num;
    EXPECT_EQ(s.num, r.num);
  }
}

// Every id 1..195 belongs to exactly one satellite and comes back from it.
TEST(CpdSvId, IdsAreOneToOne) {
  std::set<std::pair<int, int>> seen;
  for (int id = 0; id <= 197; ++id) {
    CpdSv s;
    const bool ok = CpdSv::fromId(id, s);
    EXPECT_EQ(ok, id >= 1 && id <= 195) << id;
    if (!ok) continue;
    EXPECT_EQ(s.id, id);
    EXPECT_EQ(CpdSv::idOf(s.sys, s.num), id);
    EXPECT_TRUE(seen.insert({s.sys, s.num}).second) << id;
  }
  EXPECT_EQ(seen.size(), 195u);
}

TEST(CpdMaps, SystemsAndSlots) {
  const struct {
    int in;
    int cpd2nav, cdat2cpd, cpd2cdat;
  } rows[] = {{-1, 255, 6, 255}, {0, 0, 0, 0}, {3, 3, 3, 3}, {5, 5, 5, 5},
              {6, 6, 6, 255},    {7, 255, 6, 255}, {255, 255, 6, 255}};
  for (const auto& r : rows) {
    EXPECT_EQ(sysCpd2Nav(r.in), r.cpd2nav) << r.in;
    EXPECT_EQ(slotCdat2Cpd(r.in), r.cdat2cpd) << r.in;
    EXPECT_EQ(slotCpd2Cdat(r.in), r.cpd2cdat) << r.in;
  }
}

// Until an ephemeris links GLONASS slots to channels, no GLONASS number is known; the other
// systems' satellites are their own.
TEST(CpdMaps, SatelliteNumbersFromTheStore) {
  SatDataProcessorInstance.init_Object();  // no GLONASS slot linked yet
  const struct {
    int sys, n, num;
  } rows[] = {{0, 1, 1},  {0, 32, 32},  {0, 0, -100},   {0, 33, -100}, {1, 1, -100}, {2, 36, 36},
              {3, 1, 120}, {4, 7, 199}, {5, 63, 63},    {6, 14, 14},   {7, 1, -100}, {-1, 1, -100}};
  for (const auto& r : rows) EXPECT_EQ(cpdSvId(r.sys, r.n), r.num) << r.sys << " " << r.n;
}

TEST(CpdEpochIdOps, Differences) {
  const struct {
    std::int32_t a, b, d;
  } rows[] = {{10, 3599990, 20},       {3599990, 10, -20},     {0, 1800000, -1800000}, {1800000, 0, 1800000},
              {0, 1800001, 1799999},   {1800001, 0, -1799999}, {3599999, 0, -1},       {5, 5, 0},
              {1000, 2000, -1000}};
  for (const auto& r : rows) EXPECT_EQ(CpdEpochId(r.a) - CpdEpochId(r.b), r.d) << r.a << " - " << r.b;
}

TEST(CpdEpochIdOps, Sums) {
  const struct {
    std::int32_t a;
    std::int64_t dt;
    std::int32_t s;
  } rows[] = {{3599000, 2000, 1000},   {500, -1000, 3599500},   {500, -7200000, 500},
              {-1, 5, -1},             {-1, -3600000, -1},      {0, -1, 3599999},
              {7, 18000007, 14},       {100, -10800200, 3599900}, {0, 3600000, 0},
              {0, -2147483648LL, 1716352}};
  for (const auto& r : rows) {
    const CpdEpochId s = CpdEpochId(r.a) + r.dt;
    EXPECT_EQ(s.get(), r.s) << r.a << " + " << r.dt;
    // Independent: the mathematical residue.
    if (r.a >= 0) {
      EXPECT_EQ(s.get(), static_cast<std::int32_t>(((r.a + r.dt) % 3600000 + 3600000) % 3600000));
    }
  }
}

CpdSv sv(int sys, int num) { return CpdSv::make(sys, num); }

TEST(CpdMeasOps, FreshAndClearedEpoch) {
  CpdMeas m;
  EXPECT_EQ(m.n, 0);
  EXPECT_EQ(m.id.get(), -1);
  EXPECT_EQ(m.rcvTime, -1);
  EXPECT_EQ(m.stationId, -1);
  for (int s = 0; s < 7; ++s) EXPECT_EQ(m.times.time[s], -1);
  for (const CpdSvMeas& e : m.sv) {
    EXPECT_EQ(e.sv.sys, 255);
    EXPECT_EQ(e.iod, 65535);
    for (const CpdMeasSlot& sl : e.slot) EXPECT_EQ(sl.flags, 0);
  }
  EXPECT_EQ(m.refPos.valid, 0);
  EXPECT_EQ(m.virtRefPos.valid, 0);

  m.type = CpdMeas::kObservations;
  m.phaseAligned = 1;
  m.id = 1234;
  m.stationId = 7;
  m.status = 1;
  m.timeResidual[3] = 9;
  m.sysTimeOffset[1] = 0.5;
  m.l2l1.type = 3;
  m.refPos.set(CpdCPos{1, 2, 3});
  const std::uint32_t serial = m.refPos.serial;
  m.clear();
  EXPECT_EQ(m.type, 0);
  EXPECT_EQ(m.phaseAligned, 0);
  EXPECT_EQ(m.id.get(), -1);
  EXPECT_EQ(m.stationId, -1);
  EXPECT_EQ(m.status, 0);
  EXPECT_EQ(m.timeResidual[3], 0);
  EXPECT_EQ(m.sysTimeOffset[1], 0.0);
  EXPECT_EQ(m.l2l1.type, 0);
  EXPECT_EQ(m.refPos.valid, 0);
  EXPECT_EQ(m.refPos.serial, serial + 1);
}

TEST(CpdMeasOps, AddFindReclaim) {
  CpdMeas m;
  std::vector<CpdSv> all;
  for (int id = 1; id <= 195; id += 4) {
    CpdSv s;
    ASSERT_TRUE(CpdSv::fromId(id, s));
    all.push_back(s);
  }
  ASSERT_GE(all.size(), 45u);
  for (int i = 0; i < 44; ++i) {
    CpdSvMeas* e = m.addSv(all[i]);
    ASSERT_NE(e, nullptr) << i;
    EXPECT_EQ(e, &m.sv[i]);
    EXPECT_EQ(e->sv.id, all[i].id);
    EXPECT_EQ(e->sv.sys, all[i].sys);
    EXPECT_EQ(e->sv.num, all[i].num);
  }
  EXPECT_EQ(m.n, 44);
  // Full: refused, nothing changes.
  EXPECT_EQ(m.addSv(all[44]), nullptr);
  EXPECT_EQ(m.n, 44);
  EXPECT_EQ(m.find(all[44]), m.end());
  // Present: the same entry, not cleared.
  m.sv[5].slot[2].flags = CpdMeasSlot::kPhase;
  m.sv[5].iod = 77;
  EXPECT_EQ(m.addSv(all[5]), &m.sv[5]);
  EXPECT_EQ(m.sv[5].slot[2].flags, CpdMeasSlot::kPhase);
  EXPECT_EQ(m.sv[5].iod, 77);
  for (int i = 0; i < 44; ++i) EXPECT_EQ(m.find(all[i]), &m.sv[i]);
  // Only the last one added can be taken back.
  EXPECT_FALSE(m.reclaimSv(&m.sv[42]));
  EXPECT_FALSE(m.reclaimSv(nullptr));
  EXPECT_EQ(m.n, 44);
  EXPECT_TRUE(m.reclaimSv(&m.sv[43]));
  EXPECT_EQ(m.n, 43);
  EXPECT_EQ(m.find(all[43]), m.end());
  // After clear nothing is found although svIndex still points at the old entries; a satellite
  // added again is cleared.
  m.clear();
  for (const CpdSv& s : all) EXPECT_EQ(m.find(s), m.end());
  CpdSvMeas* e = m.addSv(all[5]);
  ASSERT_EQ(e, &m.sv[0]);
  EXPECT_EQ(e->slot[2].flags, 0);
  EXPECT_EQ(e->iod, 65535);
}

// Id 0 is no satellite and 196 or more has no index entry: refused, nothing written.
TEST(CpdMeasOps, AddRefusesIdsWithoutAnIndexEntry) {
  for (int id : {0, 196, 255}) {
    CpdMeas m;
    CpdSv s = sv(0, 1);
    s.id = static_cast<std::uint8_t>(id);
    EXPECT_EQ(m.addSv(s), nullptr) << id;
    EXPECT_EQ(m.n, 0);
    EXPECT_EQ(m.find(s), m.end());
  }
}

TEST(CpdMeasOps, SmallRecords) {
  CpdRefPos p;
  p.set(CpdCPos{4193000.5, 800000.25, 4724000.125});
  EXPECT_EQ(p.valid, 1);
  EXPECT_EQ(p.serial, 1u);
  EXPECT_EQ(p.x, 4193000.5);
  EXPECT_EQ(p.z, 4724000.125);
  p.reset();
  EXPECT_EQ(p.valid, 0);
  EXPECT_EQ(p.serial, 2u);

  CpdMeasTimes t;
  t.time[2] = 5;
  t.flag = 9;
  t.reset();
  EXPECT_EQ(t.time[2], -1);
  EXPECT_EQ(t.flag, 9);

  CpdAntOffs a;
  const float v[3] = {0.1f, -0.2f, 0.3f};
  a.set(4, v);
  EXPECT_EQ(a.type, 4);
  EXPECT_EQ(a.v[1], -0.2f);
}

void put32(PosSetup::SatProcessorSetupType& s, std::size_t off, std::uint32_t v) { std::memcpy(s.aBytes + off, &v, 4); }
void clearBit64(PosSetup::SatProcessorSetupType& s, std::size_t off, int bit) {
  std::uint64_t v;
  std::memcpy(&v, s.aBytes + off, 8);
  v &= ~(std::uint64_t{1} << bit);
  std::memcpy(s.aBytes + off, &v, 8);
}

TEST(CpdSvInfoReset, ExclusionsFromTheSetupRecord) {
  PosSetup::SatProcessorSetupType setup;
  PosSetup::setDefaults(setup);
  // GPS, GLONASS, Galileo and BeiDou in use; GPS 5 and BeiDou 63 masked out; GLONASS channel -7
  // off.
  put32(setup, 112, 0x27);
  clearBit64(setup, 192 + 8 * 0, 4);
  clearBit64(setup, 192 + 8 * 5, 62);
  put32(setup, 248, 0x7FFE);
  CpdSvInfo info;
  info.w[0] = 0;
  info.reset(setup);
  const struct {
    int id;
    std::uint16_t w;
  } rows[] = {{0, 0},    {1, 0},      {5, 256},    {32, 0},     {33, 512},   {34, 0},    {47, 0},
              {48, 0},   {83, 0},     {84, 1024},  {111, 1024}, {112, 1024}, {118, 1024}, {119, 0},
              {180, 0},  {181, 256},  {182, 1024}, {195, 1024}};
  for (const auto& r : rows) EXPECT_EQ(info.w[r.id], r.w) << r.id;

  // The system switch overrides the satellite masks; a second reset forgets earlier words.
  put32(setup, 112, 0x26);
  info.reset(setup);
  EXPECT_EQ(info.w[5], 1024);
  EXPECT_EQ(info.w[1], 1024);
  EXPECT_EQ(info.w[33], 512);
  put32(setup, 112, 0x7F);
  info.reset(setup);
  EXPECT_EQ(info.w[84], 0);
  EXPECT_EQ(info.w[5], 256);
}

}  // namespace
