#include "gnss_link/zrt_alm_decoder.h"

#include <gtest/gtest.h>

#include <bit>
#include <chrono>
#include <cmath>
#include <thread>
#include <fstream>
#include <sstream>

#include "gnss_link/raw_records.h"
#include "gnss_link/zrt_decoder.h"
#include "navigation_data/orbits/gps_orbit.h"
#include "navigation_data/store/sat_data_store.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/apx_nav.h"
#include "positioning/engine/nav_main.h"
#include "unit/gnss_link/ge_reference.h"
#include "unit/gnss_link/native_test_util.h"

using namespace ntest;

namespace {

// Data bytes (checksum excluded) each message must carry, and the first bytes that give a
// satellite number inside its system's table.
struct LenRow {
  const char* id;
  int dataLen;
  std::string head;
};
const LenRow kLens[] = {
    {"IP", 24, ""},
    {"GE", 122, "\x01"},
    {"GA", 46, "\x01"},
    {"UO", 23, ""},
    {"IO", 38, ""},
    {"NE", 130, std::string("\x01\x07", 2)},
    {"NA", 55, "\x01"},
    {"NU", 42, ""},
    {"EN", 144, "\x01"},
    {"EA", 47, "\x01"},
    {"EU", 38, ""},
    {"WE", 68, "\x78"},
    {"WA", 44, "\x78"},
    {"WU", 39, ""},
    {"QE", 122, "\xC1"},
    {"QA", 46, "\xC1"},
    {"QU", 23, ""},
    {"QI", 38, ""},
    {"CN", 159, "\x01"},
    {"CA", 46, "\x01"},
    {"CU", 23, ""},
    {"CI", 38, ""},
    {"IE", 123, "\x01"},
    {"IA", 46, "\x01"},
    {"IU", 46, ""},
    {"II", 38, ""},
};

struct Rig {
  ZrtDecoder dec;
  ZrtAlmDecoder alm;
  Rig() { alm.setHandlers(dec.filter()); }
  void send(const std::string& id, const std::string& payload) {
    const std::string f = frame(id, payload);
    dec.process(f.data(), static_cast<int>(f.size()));
  }
};

std::string body(const LenRow& r, int n) {
  std::string s = r.head;
  s.resize(static_cast<std::size_t>(n), '\0');
  return s.substr(0, static_cast<std::size_t>(n));
}

TEST(ZrtAlmDecoder, EveryRecordIsTakenWholeAndDroppedShort) {
  for (const LenRow& r : kLens) {
    SCOPED_TRACE(r.id);
    Rig g;
    g.send(r.id, body(r, r.dataLen));
    EXPECT_EQ(g.alm.counters().taken, 1u);
    EXPECT_EQ(g.alm.counters().dropped, 0u);
    g.send(r.id, body(r, r.dataLen - 1));
    EXPECT_EQ(g.alm.counters().taken, 1u);
    EXPECT_EQ(g.alm.counters().dropped, 1u);
    g.send(r.id, body(r, r.dataLen + 40));  // longer bodies: the record is their beginning
    EXPECT_EQ(g.alm.counters().taken, 2u);
    g.send(r.id, "");
    EXPECT_EQ(g.alm.counters().dropped, 2u);
  }
}

// A "GE" of 123 bytes is the basic record; above, the flag word's high byte follows, and with
// the CNAV mark the CNAV parameters and the inter-signal corrections.
TEST(ZrtAlmDecoder, GeExtensionByLength) {
  struct Row {
    const char* name;
    int dataLen;
    std::uint8_t high;
    bool taken;
  };
  const Row rows[] = {
      {"basic 123", 122, 0, true},         {"extended 124", 123, 0, true},
      {"CNAV whole", 156, 0x10, true},     {"CNAV one short", 155, 0x10, false},
      {"CNAV mark in 124", 123, 0x10, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    Rig g;
    std::string b(static_cast<std::size_t>(r.dataLen), '\0');
    b[0] = 1;
    if (r.dataLen > 122) b[122] = static_cast<char>(r.high);
    g.send("GE", b);
    EXPECT_EQ(g.alm.counters().taken, r.taken ? 1u : 0u);
    EXPECT_EQ(g.alm.counters().dropped, r.taken ? 0u : 1u);
  }
}

TEST(ZrtAlmDecoder, SatelliteNumbersOutsideTheTablesAreRefused) {
  const std::pair<const char*, std::string> rows[] = {
      {"GE", std::string("\x00", 1)}, {"GE", "\x21"}, {"QE", "\x01"},  {"WE", "\x77"},
      {"NE", std::string("\x01\x0F", 2)}, {"NE", std::string("\x00\x07", 2)}, {"NA", "\x1F"}, {"CA", "\x40"},
  };
  for (const auto& [id, head] : rows) {
    SCOPED_TRACE(id);
    Rig g;
    std::string b = head;
    b.resize(200, '\0');
    g.send(id, b);
    EXPECT_EQ(g.alm.counters().refused, 1u);
    EXPECT_EQ(g.alm.counters().taken, 0u);
  }
}

TEST(ZrtAlmDecoder, RandomAndCutBodiesNeverReadPast) {
  std::mt19937 rng(33);
  Rig g;
  for (int i = 0; i < 3000; ++i) {
    const LenRow& r = kLens[rng() % (sizeof kLens / sizeof kLens[0])];
    std::string b(rng() % 200, '\0');
    for (char& c : b) c = static_cast<char>(rng());
    g.send(r.id, b);
  }
  const auto& c = g.alm.counters();
  EXPECT_EQ(c.taken + c.dropped + c.refused, 3000u);
  EXPECT_GT(c.dropped, 0u);
}

// ---- "IP": the WGS-84 conversion, against Heikkinen's closed form -----------------------------

void heikkinen(const double x[3], double& lat, double& lon, double& h) {
  const double a = 6378137.0, f = 1 / 298.257223563, b = a * (1 - f), e2 = f * (2 - f), ep2 = (a * a - b * b) / (b * b);
  const double p = std::hypot(x[0], x[1]);
  const double F = 54 * b * b * x[2] * x[2];
  const double G = p * p + (1 - e2) * x[2] * x[2] - e2 * (a * a - b * b);
  const double c = e2 * e2 * F * p * p / (G * G * G);
  const double s = std::cbrt(1 + c + std::sqrt(c * c + 2 * c));
  const double P = F / (3 * (s + 1 / s + 1) * (s + 1 / s + 1) * G * G);
  const double Q = std::sqrt(1 + 2 * e2 * e2 * P);
  const double r0 = -P * e2 * p / (1 + Q) +
                    std::sqrt(a * a / 2 * (1 + 1 / Q) - P * (1 - e2) * x[2] * x[2] / (Q * (1 + Q)) - P * p * p / 2);
  const double U = std::hypot(p - e2 * r0, x[2]);
  const double V = std::sqrt((p - e2 * r0) * (p - e2 * r0) + (1 - e2) * x[2] * x[2]);
  const double z0 = b * b * x[2] / (a * V);
  h = U * (1 - b * b / (a * V));
  lat = std::atan((x[2] + ep2 * z0) / p);
  lon = std::atan2(x[1], x[0]);
}

TEST(ZrtAlmDecoder, IpSetsTheSolutionAndSlowCopyUnderThePositionLocks) {
  const double pts[][3] = {{4027893.0, 307045.6, 4919475.0}, {-2694045.3, -4293642.4, 3857878.8},
                           {1130745.7, -4830847.1, -3994710.4}, {6378137.0, 0, 0}};
  for (const auto& p : pts) {
    Rig g;
    g.send("IP", le(std::bit_cast<std::uint64_t>(p[0]), 8) + le(std::bit_cast<std::uint64_t>(p[1]), 8) +
                     le(std::bit_cast<std::uint64_t>(p[2]), 8));
    double lat, lon, h;
    heikkinen(p, lat, lon, h);
    PosLock lock;
    EXPECT_NEAR(NavSol.pos.dBlh[0], lat, 1e-11);
    EXPECT_NEAR(NavSol.pos.dBlh[1], lon, 1e-12);
    EXPECT_NEAR(NavSol.pos.dBlh[2], h, 1e-4);
    EXPECT_EQ(NavSol.pos.iSolType, 8);
    EXPECT_EQ(NavSol.pos.bValid, 1);
    EXPECT_EQ(std::memcmp(&apxNav.PosSlow, &NavSol.pos, sizeof NavSol.pos), 0);
  }
}

// While another task holds the locks, "IP" waits for them.
TEST(ZrtAlmDecoder, IpWaitsForThePositionLocks) {
  Rig g;
  NavSol.pos.dXyz[0] = 0;
  std::thread t;
  {
    PosLock lock;
    t = std::thread([&] { g.send("IP", le(std::bit_cast<std::uint64_t>(6378137.0), 8) + std::string(16, '\0')); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(NavSol.pos.dXyz[0], 0.0);
  }
  t.join();
  EXPECT_EQ(NavSol.pos.dXyz[0], 6378137.0);
}

TEST(ZrtAlmDecoder, IoPutsAValidKlobucharRecord) {
  Rig g;
  std::string b = le(345600, 4) + le(1590, 2);
  const float v[8] = {0.4657e-8f, 0.149e-7f, -0.596e-7f, -0.1192e-6f, 81920, 81920, -65540, -524300};
  for (float f : v) b += lef(f);
  g.send("IO", b);
  NavData::KlobIonoModelDataType rec{};
  ASSERT_EQ(PVTDataInstance.klobIonoModel[0].Get(&rec), 1);
  EXPECT_EQ(rec.bValid, 1);
  EXPECT_EQ(rec.model.tow, 345600u);
  EXPECT_EQ(rec.model.week, 1590);
  EXPECT_EQ(rec.model.alpha[2], v[2]);
  EXPECT_EQ(rec.model.beta[3], v[7]);
  g.send("II", b);
  EXPECT_EQ(PVTDataInstance.irnssKlobIonoModel.Get(&rec), 1);
}

// ---- "GE" from a RINEX ephemeris: the store's satellite position against IS-GPS-200 ---------

TEST(ZrtAlmDecoder, GeFromRinexGivesTheReferencePositionFromTheStore) {
  gegen::Rinex r;
  ASSERT_TRUE(gegen::firstRecord(r));
  ASSERT_EQ(r.prn, 1);
  Rig g;
  const std::string b = gegen::geFromRinex(r);
  ASSERT_EQ(b.size(), 122u);
  g.send("GE", b);
  ASSERT_EQ(g.alm.counters().taken, 1u);
  EXPECT_GT(SatDataProcessorInstance.get_EphUpdateCounter(kSysGps, r.prn - 1, 0), 0);
  // The store serves a record once it knows the time: the toe's.
  SatDataEpoch ep;
  ep.time.valid = true;
  ep.time.sec[kSysGps] = 345600;
  SatDataProcessorInstance.update(ep);
  const ExtEphRecord* e = SatDataProcessorInstance.get_EphLastData(kSysGps, r.prn - 1, 0);
  ASSERT_NE(e, nullptr);
  const auto& eph = *reinterpret_cast<const ZRT_EPH_GPS*>(e->native);
  EXPECT_EQ(eph.toe, 345600u);
  for (double dt : {-7200.0, 0.0, 3600.0, 7200.0}) {
    const double t = 345600 + dt;
    double ref[3], pos[3], vel[3], rel;
    gegen::isgps200(r, t, ref);
    ASSERT_TRUE(compute_SatPositionByEphemeris(t, kSysGps, eph, pos, vel, &rel));
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(pos[k], ref[k], 2e-3) << "dt " << dt << " axis " << k;
  }
}

TEST(ZrtAlmDecoder, CalibrationMessagesReachTheBoardTables) {
  Rig g;
  std::string b;
  for (int i = 0; i < 15; ++i) b += static_cast<char>(i == 0 ? 2 : 0) + lef(1.5f) + lef(-2.5f);
  g.send("g1", b);
  EXPECT_EQ(hwCalib.bySystem[1][2].fA, 1.5f);
  EXPECT_EQ(hwCalib.bySystem[1][2].bSetB, 1);
}

}  // namespace
