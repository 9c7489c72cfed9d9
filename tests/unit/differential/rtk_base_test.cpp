// The RTK base record: what each update takes, what invalidation forgets, what a save publishes,
// and that readers in other tasks always copy a whole record while the decoder task rewrites it.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "differential/base/cpd_meas_buf.h"
#include "differential/base/rtcm2_cpd_decoder.h"
#include "differential/cmr/cmr_cpd_decoder.h"
#include "differential/decoder_task.h"
#include "differential/received_stores.h"
#include "differential/rtcm2/rtcm2_client.h"
#include "differential/rtcm3_decoder.h"
#include "differential/rtk_base.h"
#include "positioning/reference/reference_pos.h"
#include "settings/nv_settings.h"
#include "settings/rcv_settings.h"
#include "settings/rtcm_settings.h"
#include "fixtures/null_clients.h"

namespace {

struct Spy : NullRtcmCpdClient {
  std::string log;
  CpdAntOffs offs;
  void updateRefPos(const CpdCPos& p, int id, bool arp) override {
    log += "pos " + std::to_string(static_cast<long>(p.x)) + " " + std::to_string(id) + (arp ? " arp;" : ";");
  }
  void updateL2L1(const CpdAntOffs& o) override {
    offs = o;
    log += "l2l1 " + std::to_string(o.type) + ";";
  }
  void invalidateRefPos() override { log += "inv;"; }
  void invalidateOtherInfo() override { log += "other;"; }
};

BASECOORD record(double x, int station, int src) {
  ReferencePos::REFPOS_PAR p{};
  p.x = x, p.y = 2.0, p.z = 3.0;
  std::snprintf(p.name, sizeof p.name, "W84");
  return rtkBaseFromRef(p, src, 1, station);
}

struct RtkBaseRecord : ::testing::Test {
  Spy spy;
  void SetUp() override {
    spy = Spy{};
    baseCoordDefaults(bc);
    RcvSet.baseStationId = 100;
    RtcmSet.cmrDec.inUse = -1;
    basePort_.store(0);
    cpdBufsClearBasePort();
    rtkBaseDecoders = RtkBaseDecoders{};
    rtkBaseDecoders.rtcm2 = &spy;
  }
  void TearDown() override { rtkBaseDecoders = RtkBaseDecoders{}; }
};

TEST_F(RtkBaseRecord, UpdateTakesThePositionAndTellsTheDecodersBehindTheStationGate) {
  struct Row {
    const char* name;
    int station, src, chunkPort;
    bool valid;
    const char* log;
  } rows[] = {
      {"base station, message 3", 100, RtkBase::kRtcmRef, 1, true, "pos 6378137 100;"},
      {"base station, message 24", 100, RtkBase::kRtcmArp, 1, true, "pos 6378137 100 arp;"},
      {"base station, RTCM 3", 100, RtkBase::kRtcm3, 1, true, "pos 6378137 100 arp;"},
      {"base station, CMR", 100, RtkBase::kCmr, 1, true, "pos 6378137 100;"},
      {"other station off the base port", 7, RtkBase::kRtcmRef, 1, true, ""},
      {"other station on the base port", 7, RtkBase::kRtcmRef, 0, true, "pos 6378137 7;"},
      {"not valid: nothing", 100, RtkBase::kRtcmRef, 1, false, ""},
  };
  for (const Row& r : rows) {
    SetUp();
    cpdBufsSetBasePort(static_cast<InPorts::DecPortIndex>(r.chunkPort));
    BASECOORD in = record(6378137.0, r.station, r.src);
    if (!r.valid) in.valid = 0;
    EXPECT_EQ(updateRtkBase(in, false), r.valid) << r.name;
    cpdBufsClearBasePort();
    BASECOORD b{};
    EXPECT_EQ(getRtkBase(b), r.valid) << r.name;
    EXPECT_EQ(spy.log, r.log) << r.name;
    if (r.valid) {
      EXPECT_EQ(std::tuple(b.xyz[0], int(b.stationId), int(b.srcKind), int(b.srcPort), std::string(b.name)),
                std::tuple(6378137.0, r.station, r.src, 1, std::string("W84")))
          << r.name;
    }
  }
}

TEST_F(RtkBaseRecord, AntennaPartOnlyWhenAskedFor) {
  for (bool withAnt : {false, true}) {
    SetUp();
    BASECOORD in = record(6378137.0, 100, 0);
    std::snprintf(in.antDescr, sizeof in.antDescr, "TRM41249.00");
    in.antSetupId = 4;
    in.offFlags = RtkBase::kOffSet | RtkBase::kOffValid;
    in.offL1[2] = 2.0f;
    updateRtkBase(in, withAnt);
    EXPECT_EQ(std::string(bc.antDescr), withAnt ? "TRM41249.00" : "") << withAnt;
    EXPECT_EQ(std::tuple(int(bc.antSetupId), int(bc.offFlags), bc.offL1[2]),
              withAnt ? std::tuple(4, RtkBase::kOffSet | RtkBase::kOffValid, 2.0f) : std::tuple(0, 0, 0.0f))
        << withAnt;
  }
}

TEST_F(RtkBaseRecord, AntennaOffsetKinds) {
  struct Row {
    const char* name;
    int kind;
    bool notValid, toArp;
    int base;
    int flags;
    int set;  // 1 L1, 2 L2, 3 third
    const char* log;
  } rows[] = {
      {"L1", RtkBase::kL1, false, false, 0, RtkBase::kOffSet | RtkBase::kOffValid, 1, ""},
      {"L1 not valid", RtkBase::kL1, true, false, 0, RtkBase::kOffSet, 1, ""},
      {"L1 of the ARP", RtkBase::kL1Arp, false, false, 0, RtkBase::kOffSet | RtkBase::kOffValid | RtkBase::kOffArp, 1, ""},
      {"L2 of the ARP", RtkBase::kL2, false, true, 0, 0, 2, "l2l1 1;"},
      {"L2 of L1", RtkBase::kL2, false, false, 0, 0, 2, "l2l1 2;"},
      {"L2 of another base", RtkBase::kL2, false, false, -1, 0, 2, ""},
      {"third", RtkBase::kThird, false, false, 0, 0, 3, ""},
      {"unknown kind", 9, false, false, 0, 0, 0, ""},
  };
  const float off[3] = {0.5f, -0.25f, 1.75f};
  for (const Row& r : rows) {
    SetUp();
    updateAnt(off, r.kind, r.notValid, r.toArp, r.base);
    EXPECT_EQ(int(bc.offFlags), r.flags) << r.name;
    EXPECT_EQ(bc.offL1[2], r.set == 1 ? 1.75f : 0.0f) << r.name;
    EXPECT_EQ(bc.offL2[1], r.set == 2 ? -0.25f : 0.0f) << r.name;
    EXPECT_EQ(bc.offArp[0], r.set == 3 ? 0.5f : 0.0f) << r.name;
    EXPECT_EQ(spy.log, r.log) << r.name;
  }
  SetUp();
  updateAntType("LEIAX1202GG", "0815", 7);
  EXPECT_EQ(std::tuple(std::string(bc.antDescr), std::string(bc.antSerial), int(bc.antSetupId)),
            std::tuple(std::string("LEIAX1202GG"), std::string("0815"), 7));
}

TEST_F(RtkBaseRecord, InvalidationForgetsTheBase) {
  // Port 0 is the base port: its client's message 22 is forgotten, port 2's is kept.
  MSG_EXTREF_PARAMS e{};
  e.words = 1;
  e.dL1[0] = 0.5f;
  RcvSet.refPort = -2;
  RtcmCl[0].updateExtRefCoord(e, 0);
  RtcmCl[2].updateExtRefCoord(e, 2);
  updateRtkBase(record(6378137.0, 100, 0), false);
  const float off[3] = {0.0f, 0.0f, 1.0f};
  updateAnt(off, RtkBase::kL1, false, false, 0);
  saveRtkData();
  RefParMessage::REFANT par;
  ASSERT_TRUE(RpMsg.getPar(par));
  RTC3_Decoder::compatibleVendor = 1;
  spy.log.clear();
  invalidateRtkBase(0);
  BASECOORD b{};
  EXPECT_FALSE(getRtkBase(b));
  EXPECT_EQ(std::tuple(int(b.valid), int(b.offFlags), b.offL1[2]), std::tuple(0, 0, 0.0f));
  EXPECT_FALSE(RpMsg.getPar(par));
  EXPECT_EQ(spy.log, "inv;other;");
  EXPECT_EQ(RTC3_Decoder::compatibleVendor, 4);
  // A station position after it: port 2's message 22 still moves it by its L1 correction, port
  // 0's no longer.
  for (int port : {0, 2}) {
    MSG_REF_PARAMS r{};
    r.header.type = 3;
    r.header.stationId = 100;
    r.x = 6378137.0;
    RcvPosGPS = ReferencePos{};
    RcvPosGPS.setEllipsoid(EllMath::wgs84());
    RtcmCl[port].updateRefCoord(r, port);
    double xyz[3] = {};
    ASSERT_TRUE(RcvPosGPS.getRefPos(ReferencePos::kCartesian, xyz)) << port;
    EXPECT_DOUBLE_EQ(xyz[0], 6378137.0 + (port == 2 ? 0.5 : 0.0)) << port;
  }
}

// The record as the received reference parameters publish it.
TEST_F(RtkBaseRecord, SavePublishesPositionAndAntenna) {
  updateRtkBase(record(6378137.0, 100, 0), false);
  const float off[3] = {0.0f, 0.0f, 1.5f};
  updateAnt(off, RtkBase::kL1Arp, false, true, 0);
  saveRtkData();
  RefParMessage::REFANT par;
  ASSERT_TRUE(RpMsg.getPar(par));
  EXPECT_EQ(std::tuple(par.pos.x, std::string(par.pos.name), par.ant.offsets[2], int(par.ant.flags[0])),
            std::tuple(6378137.0, std::string("W84"), 1.5f,
                       int(ReferencePos::kL1Set | ReferencePos::kL1Valid | ReferencePos::kArp)));
}

// A writer rewriting the record while two readers copy it and "init,/par/" puts the settings
// back to their defaults (the record's are all zeros): every copy is one whole record. The writer
// goes on until the readers have taken copies enough, as an optimised build would otherwise write
// every record before the readers start. Each record names its number; its station is 0, which
// the station choice takes at any point of the reset (a station it did not take would keep the
// offsets of the record before).
TEST_F(RtkBaseRecord, ReadersNeverSeeAMixedRecord) {
  rtkBaseDecoders = RtkBaseDecoders{};
  std::atomic<bool> stop{false};
  std::atomic<int> mixed{0}, copies{0}, inits{0};
  auto reader = [&] {
    while (!stop.load()) {
      BASECOORD b{};
      getRtkBase(b);
      const double k = b.xyz[0];
      const bool whole = b.xyz[1] == k && b.xyz[2] == k && b.blh[0] == k && b.blh[2] == k &&
                         std::strtol(b.name, nullptr, 10) == static_cast<long>(k) &&
                         b.offL1[0] == static_cast<float>(k) && b.offL1[2] == static_cast<float>(k);
      if (!whole) ++mixed;
      ++copies;
    }
  };
  std::thread r1(reader), r2(reader), init([&] {
    while (!stop.load()) {
      nv_defaultSettings();
      ++inits;
    }
  });
  for (int i = 1; i <= 20000 || copies.load() < 20000 || inits.load() < 100; ++i) {
    ReferencePos::REFPOS_PAR p{};
    const double k = i % 2 == 0 ? 1000.0 + i : 0.0 + i;
    p.x = p.y = p.z = p.lat = p.lon = p.hgt = k;
    std::snprintf(p.name, sizeof p.name, "%ld", static_cast<long>(k));
    BASECOORD in = rtkBaseFromRef(p, 0, 1, 0);
    in.offFlags = RtkBase::kOffSet;
    for (float& o : in.offL1) o = static_cast<float>(k);
    updateRtkBase(in, true);
  }
  stop = true;
  r1.join();
  r2.join();
  init.join();
  EXPECT_EQ(mixed.load(), 0) << "of " << copies.load();
}

// A base clean-up from the parser while the decoder task sets and reads its station between
// chunks: under the decoders' lock the task always reads back the station it has just set, and
// every clean-up finds the decoders between two chunks (ThreadSanitizer checks the same run).
TEST_F(RtkBaseRecord, CleanRaceWithTheDecoderTask) {
  RtcmCpdDecoder rtcm2;
  CmrCpdDecoder cmr;
  rtkBaseDecoders = RtkBaseDecoders{};
  rtkBaseDecoders.rtcm2 = &rtcm2;
  rtkBaseDecoders.cmr = &cmr;
  std::atomic<bool> stop{false};
  std::atomic<int> chunks{0}, torn{0};
  std::thread dect([&] {
    for (int k = 1; !stop.load(); ++k) {
      DecWorkHold hold;
      const CpdCPos p{1000.0 + k, 2.0, 3.0};
      rtcm2.updateRefPos(p, k, false);
      cmr.updateRefPos(p, k);
      // Closing an epoch reads them back more than once.
      for (int i = 0; i < 20; ++i) {
        const bool whole = rtcm2.stationId == k && rtcm2.refPos.valid != 0 && rtcm2.refPos.x == p.x &&
                           cmr.stationId == k && cmr.refPos.valid != 0 && cmr.refPos.x == p.x;
        if (!whole) ++torn;
      }
      ++chunks;
    }
  });
  for (int i = 0; i < 500; ++i) {
    const int seen = chunks.load();
    while (chunks.load() == seen) std::this_thread::yield();
    invalidateRtkBase(0);
  }
  stop = true;
  dect.join();
  EXPECT_EQ(torn.load(), 0);
  // A clean-up leaves both decoders without a station.
  invalidateRtkBase(0);
  EXPECT_EQ(std::tuple(rtcm2.stationId, int(rtcm2.refPos.valid), cmr.stationId, int(cmr.refPos.valid)),
            std::tuple(-1, 0, -1, 0));
}

// The L2-L1 offset as east, north, up: offsets in Earth-fixed axes are turned at the base
// position (rows where the rotation is plain: on the equator and at the pole the local axes are
// Earth-fixed axes), offsets given as east, north, up stay.
TEST_F(RtkBaseRecord, L2L1OffsetAsEastNorthUp) {
  constexpr double kD = 3.14159265358979323846 / 180.0;
  const struct {
    const char* name;
    int kind;
    bool valid;
    double lat, lon;  // degrees
    float off[3];
    bool ok;
    double want[3];  // e, n, u
  } rows[] = {
      {"lat 0 lon 0: X up, Y east, Z north", RtkBase::kL2Xyz, true, 0, 0, {0.01f, 0.02f, 0.03f}, true, {0.02, 0.03, 0.01}},
      {"lat 0 lon 90: -X east, Y up", RtkBase::kL2Xyz, true, 0, 90, {0.01f, 0.02f, 0.03f}, true, {-0.01, 0.03, 0.02}},
      {"lat 90: -X north, Z up", RtkBase::kL2Xyz, true, 90, 0, {0.01f, 0.02f, 0.03f}, true, {0.02, -0.01, 0.03}},
      {"lat 45: X and Z share up", RtkBase::kL2Xyz, true, 45, 0, {0.01f, 0.0f, 0.01f}, true, {0.0, 0.0, 0.0141421356}},
      {"lat -30 lon -120", RtkBase::kL2Xyz, true, -30, -120, {0.0f, 0.0f, 0.02f}, true, {0.0, 0.02 * 0.8660254038, -0.01}},
      {"east/north/up stay", RtkBase::kL2, true, 45, 10, {0.01f, 0.02f, 0.03f}, true, {0.01, 0.02, 0.03}},
      {"Earth-fixed without a base", RtkBase::kL2Xyz, false, 45, 10, {0.01f, 0.02f, 0.03f}, false, {0.01, 0.02, 0.03}},
  };
  for (const auto& r : rows) {
    baseCoordDefaults(bc);
    updateAnt(r.off, r.kind, false, false, 1);
    BASECOORD b{};
    getRtkBase(b);
    b.valid = r.valid ? RtkBase::kPosValid : 0;
    b.blh[0] = r.lat * kD, b.blh[1] = r.lon * kD;
    double enu[3];
    EXPECT_EQ(rtkBaseL2L1Enu(b, enu), r.ok) << r.name;
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(enu[i], r.want[i], 1e-7) << r.name << " " << i;
  }
}

}  // namespace
