// The network RTK decoder on a store of its own, called as the RTCM 3 base decoder calls it: the
// master, the auxiliary stations and the best six, multi-message epochs, residual epochs, the
// physical station of a virtual one, reset, and the lock on the base buffer's auxiliary record.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <tuple>

#include "navigation_data/store/sat_data_store.h"
#include "differential/nrtk/rtcm_nrtk_decoder.h"
#include "nrtk_test_util.h"
#include "unit/differential/nrtk_aux.h"

namespace {

using namespace nrtktest;

// The station point of RTCM 10403.3's 1005 example (m).
const CpdCPos kMasterPos{1114104.5999, -4850729.7108, 3975521.4643};
constexpr double kPi = 3.14159265358979323846;

// WGS 84 geodetic coordinates by the fixed-point iteration on latitude (Heiskanen and Moritz,
// Physical Geodesy, 5-3), written out here as the truth of the store's master position.
CpdGPos geodetic(const CpdCPos& c) {
  const double a = 6378137.0, f = 1.0 / 298.257223563, e2 = f * (2.0 - f);
  const double p = std::hypot(c.x, c.y);
  double lat = std::atan2(c.z, p * (1.0 - e2)), h = 0.0;
  for (int i = 0; i < 20; ++i) {
    const double n = a / std::sqrt(1.0 - e2 * std::sin(lat) * std::sin(lat));
    h = p / std::cos(lat) - n;
    lat = std::atan2(c.z, p * (1.0 - e2 * n / (n + h)));
  }
  return CpdGPos{lat, std::atan2(c.y, c.x), h};
}

struct NrtkDecoder : ::testing::Test {
  void SetUp() override { SatDataProcessorInstance.init_Object(); }  // no GLONASS slot linked yet
  std::unique_ptr<TestStore> st = std::make_unique<TestStore>();
  RtcmNrtkCpdDecoder dec{&st->buf};
  CpdNrtk& n() { return st->n; }
  // Master 100, network 5/1 known from a first correction at t0 (of a station not entered), then
  // the stations in order.
  void network(std::initializer_list<int> stations, std::int32_t t0 = 100000) {
    dec.updateRefPos(kMasterPos, 100);
    dec.updateIono(iono(header(100, 5, 1, 999, t0, false, 0, 0), {}));
    for (int a : stations) dec.updateAux(station(100, 5, 1, a));
  }
  RTC3_NRTK_HEADER hdr(int aux, std::int32_t t, bool multi = false, int sys = 0) {
    return header(100, 5, 1, aux, t, multi, sys, 0);
  }
};

TEST_F(NrtkDecoder, MasterPositionFromTheFirstPositionOfEachMaster) {
  const CpdCPos other{-2694892.460, -4297557.474, 3854813.415};
  struct Row { int station; CpdCPos pos; int master; CpdCPos expect; };
  const Row rows[] = {
      {100, kMasterPos, 100, kMasterPos},
      {100, other, 100, kMasterPos},  // the same master: its first position stays
      {200, other, 200, other},
      {0, kMasterPos, 0, kMasterPos},
  };
  for (const Row& r : rows) {
    dec.updateRefPos(r.pos, r.station);
    const CpdNrtkAuxSet& s = n().auxSet;
    EXPECT_EQ(std::tuple(int(s.mns.master), int(s.masterPosValid)), std::tuple(r.master, 1));
    const CpdGPos g = geodetic(r.expect);
    EXPECT_NEAR(s.masterPos.lat, g.lat, 1e-10) << r.station;
    EXPECT_NEAR(s.masterPos.lon, g.lon, 1e-10) << r.station;
    EXPECT_NEAR(s.masterPos.h, g.h, 1e-4) << r.station;
  }
  // The example point: 38.80 N, 77.07 W, near 60 m.
  const CpdGPos g = geodetic(kMasterPos);
  EXPECT_NEAR(g.lat * 180 / kPi, 38.80, 0.01);
  EXPECT_NEAR(g.lon * 180 / kPi, -77.07, 0.01);
}

TEST_F(NrtkDecoder, AuxiliaryStationsEnterUnderTheirMasterAndNetwork) {
  struct Row { int master, net, sub, aux; double dLat, dLon, dHgt; bool entered; int pos; const char* what; };
  const Row rows[] = {
      {100, 5, 1, 10, 0.5, -0.25, 12.5, true, 0, "first station"},
      {100, 5, 1, 11, -13.107, 26.2143, -4194.304, true, 1, "field ends"},
      {100, 5, 2, 12, 0, 0, 0, true, 2, "another subnetwork of the network"},
      {101, 5, 1, 13, 0, 0, 0, false, -1, "another master"},
      {100, 6, 1, 14, 0, 0, 0, false, -1, "another network"},
      {100, 5, 1, 10, 1.0, 1.0, 1.0, true, 0, "again: offsets updated, place kept"},
  };
  network({});
  for (const Row& r : rows) {
    dec.updateAux(station(r.master, r.net, r.sub, r.aux, r.dLat, r.dLon, r.dHgt));
    const CpdNrtkAuxEntry* e = nrtktest::auxOf(n().auxSet, r.aux);
    ASSERT_EQ(e != nullptr, r.entered) << r.what;
    EXPECT_EQ(n().best(r.aux), r.pos) << r.what;
    if (e == nullptr) continue;
    // Degrees as the message's floats carry them, kept in radians.
    EXPECT_DOUBLE_EQ(e->offs.dLat, double(float(r.dLat)) * kPi / 180) << r.what;
    EXPECT_DOUBLE_EQ(e->offs.dLon, double(float(r.dLon)) * kPi / 180) << r.what;
    EXPECT_DOUBLE_EQ(e->offs.dHgt, double(float(r.dHgt))) << r.what;
    EXPECT_EQ(std::tuple(int(e->vrsId), int(e->vrsFlag)), std::tuple(0, 0)) << r.what;
  }
}

// Before any correction named the network, no station can be entered under it.
TEST_F(NrtkDecoder, StationsWaitForTheNetworkOfACorrection) {
  dec.updateRefPos(kMasterPos, 100);
  dec.updateAux(station(100, 5, 1, 10));
  EXPECT_EQ(nrtktest::auxOf(n().auxSet, 10), nullptr);
  dec.updateIono(iono(hdr(10, 1000), {{1, 0, 0, 0, 0.1}}));
  dec.updateAux(station(100, 5, 1, 10));
  EXPECT_EQ(n().best(10), 0);
}

// A new epoch's header commits the epoch still open.
TEST_F(NrtkDecoder, AnotherHeaderCommitsTheOpenEpoch) {
  struct Row { int aux; std::int32_t t; int master, net, sub; const char* what; };
  const Row rows[] = {
      {11, 200000, 100, 5, 1, "another station"},
      {10, 200100, 100, 5, 1, "another time"},
      {10, 200000, 100, 5, 2, "another subnetwork"},
  };
  for (const Row& r : rows) {
    st = std::make_unique<TestStore>();
    dec = RtcmNrtkCpdDecoder(&st->buf);
    network({10, 11});
    dec.updateIono(iono(hdr(10, 200000, true), {{1, 0, 0, 0, 0.5}}));
    dec.updateIono(iono(header(r.master, r.net, r.sub, r.aux, r.t, true, 0, 0), {{2, 0, 0, 0, 0.5}}));
    const auto c = st->find('i', 0, 10, 200000);
    ASSERT_TRUE(c) << r.what;
    EXPECT_EQ(std::tuple(c->hdr.counter, c->svs.n), std::tuple(1, 1)) << r.what;
  }
}

TEST_F(NrtkDecoder, SatellitesWithoutANumberAreSkipped) {
  struct Row { int sys, id; bool kept; };
  const Row rows[] = {{0, 1, true}, {0, 32, true}, {0, 0, false}, {0, 33, false}, {0, 63, false},
                      {1, 1, false} /* no ephemeris links the slot */, {1, 24, false}};
  network({10});
  for (const Row& r : rows) {
    dec.updateIono(iono(header(100, 5, 1, 10, 200000 + r.id * 100 + r.sys, false, r.sys, 0), {{r.id, 0, 0, 0, 1}}));
    const auto c = st->find('i', 0, 10, 200000 + r.id * 100 + r.sys);
    ASSERT_TRUE(c) << r.sys << " " << r.id;
    EXPECT_EQ(c->svs.n, r.kept ? 1 : 0) << r.sys << " " << r.id;
  }
}

// A virtual station: master 100 from its position, the physical station 7 behind it entered from
// the pair, its residuals filed under the station the residual messages name.
struct VrsRow { int before; int nonPhys, phys; int station, other, pairCur; bool entered; const char* what; };

TEST_F(NrtkDecoder, PhysicalStationPairs) {
  const VrsRow rows[] = {
      {-1, 100, 7, 7, 100, -1, true, "no station yet: the physical one"},
      {100, 100, 7, 100, 7, 100, true, "residuals of the virtual station came first"},
      {7, 100, 7, 7, 100, 7, true, "residuals of the physical station came first"},
      {55, 100, 7, 55, -1, -1, false, "residuals of another station"},
  };
  for (const VrsRow& r : rows) {
    st = std::make_unique<TestStore>();
    dec = RtcmNrtkCpdDecoder(&st->buf);
    dec.updateRefPos(kMasterPos, 100);
    if (r.before >= 0) dec.updateRes(residuals(false, 1000, r.before, {}));
    dec.updatePhysRefPos(physRefPos(r.nonPhys, r.phys, 1.5, -2.25, 3.125));
    EXPECT_EQ(std::tuple(dec.stationId(), dec.pairOther(), dec.pairCur()), std::tuple(r.station, r.other, r.pairCur))
        << r.what;
    const CpdNrtkAuxEntry* e = nrtktest::auxOf(n().auxSet, r.station);
    ASSERT_EQ(e != nullptr, r.entered) << r.what;
    EXPECT_EQ(n().best(r.station), r.entered ? 0 : -1) << r.what;
    if (e == nullptr) continue;
    EXPECT_EQ(std::tuple(int(e->vrsId), int(e->vrsFlag), e->offs.dLat, e->offs.dLon, e->offs.dHgt),
              std::tuple(r.other, 1, 1.5, -2.25, 3.125))
        << r.what;
  }
}

TEST_F(NrtkDecoder, GpsResidualsCommitAtOnce) {
  dec.updateRefPos(kMasterPos, 100);
  dec.updatePhysRefPos(physRefPos(100, 7, 1, 2, 3));
  const std::vector<ResSat> sats = {{1, {255, 511, 63, 1023, 1023}}, {32, {0, 1, 2, 3, 4}}, {40, {1, 1, 1, 1, 1}}};
  dec.updateRes(residuals(false, 604799, 7, sats));
  EXPECT_EQ(st->total('r'), 1);
  const auto c = st->find('r', 0, 7);
  ASSERT_TRUE(c);
  EXPECT_EQ(std::tuple(c->hdr.time.ms, c->hdr.auxId, int(c->hdr.mns.master), int(c->hdr.mns.network), c->hdr.counter),
            std::tuple(604799000 % 3600000, 7, 100, 255, 1));
  ASSERT_EQ(std::tuple(c->res.n, c->svs.n), std::tuple(2, 0));  // GPS 40 is no satellite
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(int(c->res.e[i].sv), sats[i].id);
    for (int k = 0; k < 5; ++k) EXPECT_EQ(c->res.e[i].par[k], std::uint32_t(sats[i].par[k])) << i << " " << k;
  }
}

// GLONASS residual epochs close with the third message; a GPS message closes whatever is open
// and starts the count afresh.
TEST_F(NrtkDecoder, GlonassResidualsCommitWithTheThirdMessage) {
  linkGlonass({{1, 1}, {2, -4}, {3, 5}});
  struct Row { const char* msgs; const char* published; };
  // 'R' a GLONASS message, 'G' a GPS one; after each message the number of epochs published.
  const Row rows[] = {{"RRR", "001"}, {"RRRRRR", "001112"}, {"RGRRR", "01112"}, {"GRRRG", "11123"}};
  for (const Row& r : rows) {
    st = std::make_unique<TestStore>();
    dec = RtcmNrtkCpdDecoder(&st->buf);
    dec.updateRefPos(kMasterPos, 100);
    dec.updatePhysRefPos(physRefPos(100, 7, 1, 2, 3));
    std::string seen;
    for (int i = 0; r.msgs[i] != 0; ++i) {
      const bool glo = r.msgs[i] == 'R';
      dec.updateRes(residuals(glo, 3600 + i, 7, {{i % 3 + 1, {i, i, i, i, i}}}));
      seen += static_cast<char>('0' + st->total('r'));
    }
    EXPECT_EQ(seen, r.published) << r.msgs;
  }
  // The first GLONASS epoch holds the three messages' satellites.
  const auto c = st->find('r', 0, 7, 3600000 % 3600000 + 1000);
  ASSERT_TRUE(c);
  ASSERT_EQ(std::tuple(c->res.n, c->hdr.counter), std::tuple(3, 3));
  const int channel[] = {-4, 5, 1};  // slots 2, 3, 1 in the order the messages named them
  for (int i = 0; i < 3; ++i) EXPECT_EQ(int(c->res.e[i].sv), CpdSv::idOf(1, channel[i])) << i;
}

TEST_F(NrtkDecoder, ResidualsOfAStationOutsideTheBestSixAreDropped) {
  dec.updateRefPos(kMasterPos, 100);
  dec.updateRes(residuals(false, 1000, 7, {{1, {1, 1, 1, 1, 1}}}));
  EXPECT_EQ(st->total('r'), 0);
  dec.updatePhysRefPos(physRefPos(100, 7, 1, 2, 3));
  dec.updateRes(residuals(false, 1001, 7, {{1, {1, 1, 1, 1, 1}}}));
  EXPECT_TRUE(st->find('r', 0, 7, 1001000));
  // The virtual station's residuals wait until the next pair message enters it too.
  dec.updateRes(residuals(false, 1002, 100, {{1, {1, 1, 1, 1, 1}}}));
  EXPECT_EQ(st->total('r'), 1);
  dec.updatePhysRefPos(physRefPos(100, 7, 1, 2, 3));
  EXPECT_EQ(std::tuple(n().best(7), n().best(100)), std::tuple(0, 1));
  dec.updateRes(residuals(false, 1003, 100, {{1, {1, 1, 1, 1, 1}}}));
  EXPECT_TRUE(st->find('r', 1, 100, 1003000));
}

// After a reset the GLONASS residual epoch being filled is never published, not even with its
// last message; the next epoch is.
TEST_F(NrtkDecoder, ResetDropsAPartGlonassResidualEpoch) {
  dec.updateRefPos(kMasterPos, 100);
  dec.updatePhysRefPos(physRefPos(100, 7, 1, 2, 3));
  dec.updateRes(residuals(true, 10, 7, {}));
  dec.updateRes(residuals(true, 10, 7, {}));
  dec.reset();
  EXPECT_EQ(std::tuple(dec.stationId(), dec.pairOther(), dec.pairCur()), std::tuple(-1, -1, -1));
  dec.updateRes(residuals(true, 10, 7, {}));  // the lost epoch's last message
  EXPECT_EQ(st->total('r'), 0);
  for (int i = 0; i < 2; ++i) dec.updateRes(residuals(true, 11, 7, {}));
  EXPECT_EQ(st->total('r'), 0);
  dec.updateRes(residuals(true, 11, 7, {}));
  EXPECT_EQ(st->total('r'), 1);
}

// The rest of an ionospheric epoch cut by resets is never published, however many resets came
// between (a port leaving its mode and coming back resets twice); the next epoch is.
TEST_F(NrtkDecoder, ResetsDropTheRestOfACutEpoch) {
  for (int resets : {1, 2, 3}) {
    SCOPED_TRACE(resets);
    st = std::make_unique<TestStore>();
    dec.setBuf(&st->buf);
    dec.reset();
    network({10});
    dec.updateIono(iono(hdr(10, 200000, true), {{1, 0, 0, 0, 0.1}}));
    for (int i = 0; i < resets; ++i) dec.reset();
    dec.updateIono(iono(hdr(10, 200000, false), {{2, 0, 0, 0, 0.2}}));
    EXPECT_EQ(st->total('i'), 0);
    dec.updateIono(iono(hdr(10, 201000, false), {{2, 0, 0, 0, 0.2}}));
    EXPECT_EQ(st->total('i'), 1);
    EXPECT_TRUE(st->find('i', 0, 10, 201000));
  }
}

// Another network, more than 10 s after the last correction, clears the stations and the best six.
TEST_F(NrtkDecoder, NetworkChangeClearsTheBestSix) {
  network({10, 11});
  dec.updateIono(iono(hdr(10, 200000), {{1, 0, 0, 0, 0.1}}));
  dec.updateIono(iono(header(100, 6, 1, 10, 205000, false, 0, 0), {{1, 0, 0, 0, 0.1}}));
  // 5 s: refused; the epoch is kept under its own network for readers to tell apart.
  EXPECT_EQ(std::tuple(n().best(10), int(n().auxSet.mns.network)), std::tuple(0, 5));
  EXPECT_EQ(st->count('i', 0), 2);
  EXPECT_EQ(int(st->find('i', 0, 10, 205000)->hdr.mns.network), 6);
  dec.updateIono(iono(header(100, 6, 1, 10, 210001, false, 0, 0), {{1, 0, 0, 0, 0.1}}));
  EXPECT_EQ(std::tuple(n().best(10), n().best(11), nrtktest::auxCount(n().auxSet)), std::tuple(-1, -1, 0));
  EXPECT_EQ(st->count('i', 0), 2);
  dec.updateAux(station(100, 6, 1, 11));
  dec.updateIono(iono(header(100, 6, 1, 11, 211000, false, 0, 0), {{1, 0, 0, 0, 0.1}}));
  EXPECT_EQ(n().best(11), 0);
  EXPECT_TRUE(st->find('i', 0, 11, 211000));
}

// Every operation takes the base buffer's auxiliary record once and gives it back, with or
// without a store on it.
TEST(NrtkDecoderLock, EveryCallTakesAndGivesBackTheAuxiliaryRecord) {
  const std::pair<const char*, std::function<void(RtcmNrtkCpdDecoder&)>> ops[] = {
      {"refPos", [](RtcmNrtkCpdDecoder& d) { d.updateRefPos(kMasterPos, 100); }},
      {"aux", [](RtcmNrtkCpdDecoder& d) { d.updateAux(station(100, 5, 1, 10)); }},
      {"iono", [](RtcmNrtkCpdDecoder& d) { d.updateIono(iono(header(100, 5, 1, 10, 1000, true, 0, 0), {{1, 0, 0, 0, 1}})); }},
      {"geom", [](RtcmNrtkCpdDecoder& d) { d.updateGeom(geom(header(100, 5, 1, 10, 1000, true, 0, 0), {{1, 0, 0, 0, 1}})); }},
      {"res", [](RtcmNrtkCpdDecoder& d) { d.updateRes(residuals(true, 1, 7, {{1, {1, 1, 1, 1, 1}}})); }},
      {"phys", [](RtcmNrtkCpdDecoder& d) { d.updatePhysRefPos(physRefPos(100, 7, 1, 2, 3)); }},
      {"reset", [](RtcmNrtkCpdDecoder& d) { d.reset(); }},
  };
  for (bool attached : {true, false}) {
    auto st = std::make_unique<TestStore>();
    if (!attached) st->aux.nrtk = nullptr;
    CountingBuf counting(st->buf);
    RtcmNrtkCpdDecoder d(&counting);
    int k = 0;
    for (int round = 0; round < 2; ++round) {
      for (const auto& [name, op] : ops) {
        op(d);
        ++k;
        EXPECT_EQ(std::tuple(counting.obtains, counting.releases), std::tuple(k, k)) << name << " " << attached;
        // Free for a reader right away.
        CpdAux* a = st->buf.doObtainAux();
        EXPECT_EQ(a, &st->aux);
        st->buf.doReleaseAux(a);
      }
    }
    if (!attached) {
      EXPECT_EQ(std::tuple(st->total('i'), st->total('g'), st->total('r')), std::tuple(0, 0, 0));
    }
  }
  // Without a buffer nothing happens.
  RtcmNrtkCpdDecoder none;
  for (const auto& [name, op] : ops) op(none);
  SUCCEED();
}

// Random records in random order: the store's bounds hold and the lock is always given back.
TEST(NrtkDecoderRandom, RandomRecordsKeepTheStoreSound) {
  auto st = std::make_unique<TestStore>();
  CountingBuf counting(st->buf);
  RtcmNrtkCpdDecoder d(&counting);
  std::mt19937 rng(1015);
  const auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  for (int i = 0; i < 20000; ++i) {
    const int master = 100 + pick(2), net = pick(2), aux = pick(12);
    const std::int32_t t = pick(4) == 0 ? -pick(1000) : pick(40) * 1000 + 3580000 * pick(2);
    std::vector<Sat> sats(static_cast<std::size_t>(pick(16)));
    for (Sat& s : sats) s = {pick(64), pick(4), pick(8), pick(256), (pick(131072) - 65536) * 0.0005};
    switch (pick(8)) {
      case 0: d.updateRefPos(kMasterPos, master); break;
      case 1: d.updateAux(station(master, net, pick(2), aux)); break;
      case 2: d.updateIono(iono(header(master, net, 0, aux, t, pick(2) != 0, pick(2), 0), sats)); break;
      case 3: d.updateGeom(geom(header(master, net, 0, aux, t, pick(2) != 0, pick(2), 0), sats)); break;
      case 4: d.updateRes(residuals(pick(2) != 0, pick(100000), pick(4096), {{pick(64), {pick(256), 1, 2, 3, 4}}})); break;
      case 5: d.updatePhysRefPos(physRefPos(pick(4096), pick(4096), 1, 2, 3)); break;
      case 6: if (pick(50) == 0) d.reset(); break;
      default: d.updateIono(iono(header(master, net, 0, aux, t, false, 0, 0), sats)); break;
    }
    ASSERT_EQ(counting.obtains, counting.releases);
  }
  for (char k : {'i', 'g', 'r'}) {
    for (int p = 0; p < 6; ++p) {
      EXPECT_LE(st->count(k, p), 6);
      if (auto c = st->find(k, p)) {
        EXPECT_LE(c->svs.n, 44);
        EXPECT_LE(c->res.n, 44);
      }
    }
  }
  EXPECT_LE(nrtktest::auxCount(st->n.auxSet), 32);
}

}  // namespace
