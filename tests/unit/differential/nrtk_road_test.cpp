// The whole road of the network records: RTCM 3 frames built from RTCM 10403.3's data-field table
// go through the stream decoder, the port's RTCM 3 client and the RTCM 3 base decoder into the
// program's network RTK store on the base buffer. After every frame a reader takes the base
// buffer's auxiliary record at once (a lock left held would stop the test there).
#include <gtest/gtest.h>

#include <optional>
#include <random>

#include "differential/base/cpd_meas_buf.h"
#include "differential/base/rtcm3_cpd_decoder.h"
#include "differential/nrtk/nrtk_store.h"
#include "differential/rtcm3_client.h"
#include "navigation_data/store/sat_data_store.h"
#include "nrtk_test_util.h"
#include "settings/rcv_settings.h"
#include "settings/rtcm_settings.h"
#include "unit/differential/nrtk_aux.h"

namespace {

using namespace nrtktest;

constexpr int kPort = 1;
constexpr int kMaster = 2003;
constexpr double kPi = 3.14159265358979323846;

struct NrtkRoad : ::testing::Test {
  NAV_Decoder drv{&Rtcm3Dec[kPort]};
  void SetUp() override {
    RcvSet.refPort = -2;
    RcvSet.baseStationId = kMaster;
    RcvSet.bUseBaseEntered = 0;
    RcvSet.bUseBaseEnteredOffs = 0;
    RtcmSet.cmrDec.inUse = -1;
    cpdClientsInit();
    rtcm3ClientsInit();
    rtcmNrtkInit();
    // No network heard yet: no master, station or correction epoch from a test before, and no
    // GLONASS slot linked to a channel.
    SatDataProcessorInstance.init_Object();
    drv.reset();  // the port's stream starts afresh, not inside a frame a test before cut short
    nrtk.best.clear();
    nrtk.auxSet = CpdNrtkAuxSet{};
    for (int i = 0; i < CpdNrtkBestAuxSet::kSize; ++i) ionoBuf[i].doClear(), geomBuf[i].doClear(), resBuf[i].doClear();
  }
  void feed(const Bytes& f) {
    drv.putData(f.data(), static_cast<int>(f.size()), static_cast<InPorts::DecPortIndex>(kPort));
    CpdAux* a = pBaseMeasBuf->doObtainAux();
    ASSERT_EQ(a, &cpdAuxBase);
    pBaseMeasBuf->doReleaseAux(a);
  }
  // The master at the 1005 example point, network 5/1 named by a correction of a station not
  // entered, then the stations.
  void network(std::initializer_list<int> stations, std::int64_t epoch01s = 1000) {
    feed(msg1005(kMaster, 11141045999, -48507297108, 39755214643));
    feed(msgDiff(1015, 5, 1, epoch01s, false, kMaster, 999, {}));
    for (int a : stations) feed(msg1014(5, 1, kMaster, a));
  }
  static int count(CpdNrtkCorrBufImp* rings, int pos) { return rings[pos].count(); }
  static int total(CpdNrtkCorrBufImp* rings) {
    int k = 0;
    for (int p = 0; p < 6; ++p) k += rings[p].count();
    return k;
  }
  static std::optional<CpdNrtkCorr> find(CpdNrtkCorrBufImp* rings, int pos, int aux = -1, std::int32_t t = -1) {
    const CpdNrtkCorr* c = rings[pos].doFind(CpdNrtkMnsId{}, aux, CpdNrtkTimeTag{t});
    if (c == nullptr) return std::nullopt;
    CpdNrtkCorr copy = *c;
    rings[pos].doUnlock(c);
    return copy;
  }
};

TEST_F(NrtkRoad, MasterAndStationsFromTheirMessages) {
  struct Row { int aux; std::int64_t dLat, dLon, dHgt; int pos; };
  // Field values at the ends of the 20, 21 and 23 bit fields.
  const Row rows[] = {{10, -524288, -1048576, -4194304, 0}, {11, 524287, 1048575, 4194303, 1}, {12, 40000, -2, 1, 2}};
  feed(msg1005(kMaster, 11141045999, -48507297108, 39755214643));
  EXPECT_EQ(std::tuple(int(nrtk.auxSet.mns.master), int(nrtk.auxSet.masterPosValid)), std::tuple(kMaster, 1));
  EXPECT_NEAR(nrtk.auxSet.masterPos.lat * 180 / kPi, 38.80, 0.01);
  feed(msgDiff(1015, 5, 1, 1000, false, kMaster, 999, {}));
  EXPECT_EQ(std::tuple(int(nrtk.auxSet.mns.network), int(nrtk.auxSet.mns.subnet)), std::tuple(5, 1));
  for (const Row& r : rows) {
    feed(msg1014(5, 1, kMaster, r.aux, r.dLat, r.dLon, r.dHgt));
    const CpdNrtkAuxEntry* e = nrtktest::auxOf(nrtk.auxSet, r.aux);
    ASSERT_NE(e, nullptr) << r.aux;
    EXPECT_EQ(nrtk.best(r.aux), r.pos);
    // Within the float the decoded record carries the differences in.
    EXPECT_NEAR(e->offs.dLat, r.dLat * 25e-6 * kPi / 180, 3e-8) << r.aux;
    EXPECT_NEAR(e->offs.dLon, r.dLon * 25e-6 * kPi / 180, 3e-8) << r.aux;
    EXPECT_NEAR(e->offs.dHgt, r.dHgt * 0.001, 5e-4) << r.aux;
  }
  // Another master's station is not entered.
  feed(msg1014(5, 1, kMaster + 1, 13));
  EXPECT_EQ(nrtktest::auxOf(nrtk.auxSet, 13), nullptr);
}

// Two 1015 of one epoch, the first with the multiple-message bit: one epoch, published with the
// second.
TEST_F(NrtkRoad, TwoMessagesOfOneEpoch) {
  network({10});
  feed(msgDiff(1015, 5, 1, 2000, true, kMaster, 10, {{1, 1, 2, 0, 0, 1}, {2, 2, 3, 0, 0, -65536}}));
  EXPECT_EQ(total(ionoBuf), 0);
  feed(msgDiff(1015, 5, 1, 2000, false, kMaster, 10, {{3, 3, 7, 0, 0, 65535}}));
  EXPECT_EQ(total(ionoBuf), 1);
  const auto c = find(ionoBuf, 0, 10, 200000);
  ASSERT_TRUE(c);
  EXPECT_EQ(std::tuple(c->hdr.counter, c->svs.n, int(c->hdr.mns.master), int(c->hdr.mns.network)),
            std::tuple(2, 3, kMaster, 5));
  const struct { int sv; std::uint32_t amb; int sync; std::int32_t corr; } rows[] = {
      {1, 1, 2, 1}, {2, 2, 3, -65536}, {3, 3, 7, 65535}};
  for (const auto& r : rows) {
    const CpdNrtkSvCorr* e = c->svs.find(r.sv);
    ASSERT_NE(e, nullptr) << r.sv;
    EXPECT_EQ(std::tuple(e->ambStatus, int(e->nonSync), e->corr), std::tuple(r.amb, r.sync, r.corr)) << r.sv;
  }
}

// A 1017 of 3 satellites: one ionospheric and one geometric epoch with the same satellites.
TEST_F(NrtkRoad, CombinedMessageOfThreeSatellites) {
  struct Row { int msg; int sys; };
  const Row rows[] = {{1017, 0}, {1039, 1}};
  for (const Row& r : rows) {
    SetUp();
    for (int i = 0; i < 6; ++i) ionoBuf[i].doClear(), geomBuf[i].doClear();
    if (r.sys == 1) linkGlonass({{4, -3}, {5, 0}, {6, 6}}), rtcm3ClientsInit();
    network({20});
    const std::vector<FrameSat> sats = {{4, 1, 1, 17, -1, 2}, {5, 2, 2, 255, 65535, -65536}, {6, 3, 0, 0, 0, 0}};
    feed(msgDiff(r.msg, 5, 1, 3000, false, kMaster, 20, sats));
    EXPECT_EQ(std::tuple(total(ionoBuf), total(geomBuf), total(resBuf)), std::tuple(1, 1, 0)) << r.msg;
    const auto io = find(ionoBuf, 0, 20, 300000), ge = find(geomBuf, 0, 20, 300000);
    ASSERT_TRUE(io && ge) << r.msg;
    ASSERT_EQ(std::tuple(io->svs.n, ge->svs.n), std::tuple(3, 3)) << r.msg;
    const int channel[] = {-3, 0, 6};
    for (int i = 0; i < 3; ++i) {
      const int id = r.sys == 0 ? sats[i].id : CpdSv::idOf(1, channel[i]);
      EXPECT_EQ(std::tuple(int(io->svs.e[i].sv), io->svs.e[i].corr, int(io->svs.e[i].nonSync)),
                std::tuple(id, std::int32_t(sats[i].iono), sats[i].sync))
          << r.msg << " " << i;
      EXPECT_EQ(std::tuple(int(ge->svs.e[i].sv), ge->svs.e[i].corr, int(ge->svs.e[i].iod), ge->svs.e[i].ambStatus),
                std::tuple(id, std::int32_t(sats[i].geo), sats[i].iod, std::uint32_t(sats[i].amb)))
          << r.msg << " " << i;
    }
  }
}

TEST_F(NrtkRoad, SeventhStationIsDropped) {
  network({1, 2, 3, 4, 5, 6, 7});
  for (int a = 1; a <= 7; ++a) feed(msgDiff(1016, 5, 1, 4000, false, kMaster, a, {{1, 0, 0, 9, 100, 0}}));
  EXPECT_EQ(total(geomBuf), 6);
  for (int p = 0; p < 6; ++p) EXPECT_TRUE(find(geomBuf, p, p + 1, 400000)) << p;
}

// GPS 32 in three messages and GLONASS 15 in a 1037 of the same time within the hour: 44 kept.
TEST_F(NrtkRoad, MoreThan44SatellitesAreDropped) {
  std::vector<std::pair<int, int>> links;
  for (int ch = -7; ch <= 7; ++ch) links.emplace_back(ch + 8, ch);
  linkGlonass(links);
  rtcm3ClientsInit();
  network({10});
  std::vector<FrameSat> gps, glo;
  for (int i = 1; i <= 32; ++i) gps.push_back({i, 0, 0, 0, 0, i});
  for (int s = 1; s <= 15; ++s) glo.push_back({s, 0, 0, 0, 0, -s});
  feed(msgDiff(1015, 5, 1, 2000, true, kMaster, 10, {gps.begin(), gps.begin() + 15}));
  feed(msgDiff(1015, 5, 1, 2000, true, kMaster, 10, {gps.begin() + 15, gps.begin() + 30}));
  feed(msgDiff(1015, 5, 1, 2000, true, kMaster, 10, {gps.begin() + 30, gps.end()}));
  // 200 s of the GLONASS day: the same 200,000 ms within the hour.
  feed(msgDiff(1037, 5, 1, 2000, false, kMaster, 10, glo));
  const auto c = find(ionoBuf, 0, 10, 200000);
  ASSERT_TRUE(c);
  ASSERT_EQ(c->svs.n, 44);
  EXPECT_EQ(std::tuple(int(c->svs.e[43].sv), c->svs.e[43].corr), std::tuple(CpdSv::idOf(1, 12 - 8), -12));
  for (int s = 13; s <= 15; ++s) EXPECT_EQ(c->svs.find(CpdSv::idOf(1, s - 8)), nullptr) << s;
}

// The virtual station's physical partner from 1032, its residuals from 1030 at once and from
// 1031 with the third message.
TEST_F(NrtkRoad, ResidualsOfThePhysicalStation) {
  linkGlonass({{1, 1}, {2, 2}});
  rtcm3ClientsInit();
  feed(msg1005(kMaster, 11141045999, -48507297108, 39755214643));
  feed(msg1032(kMaster, 7, 11141045999, -48507297108, 39755214643));
  const CpdNrtkAuxEntry* e = nrtktest::auxOf(nrtk.auxSet, 7);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(std::tuple(int(e->vrsId), int(e->vrsFlag), nrtk.best(7)), std::tuple(kMaster, 1, 0));
  EXPECT_NEAR(e->offs.dLat, 1114104.5999, 1e-4);
  EXPECT_NEAR(e->offs.dLon, -4850729.7108, 1e-4);
  EXPECT_NEAR(e->offs.dHgt, 3975521.4643, 1e-4);
  feed(msgRes(false, 1048575, 7, {{1, {255, 511, 63, 1023, 1023}}, {2, {1, 2, 3, 4, 5}}}));
  ASSERT_EQ(count(resBuf, 0), 1);
  const auto g = find(resBuf, 0, 7);
  ASSERT_TRUE(g);
  EXPECT_EQ(std::tuple(g->hdr.time.ms, g->res.n, g->res.e[0].par[0], g->res.e[0].par[1], g->res.e[0].par[2],
                       g->res.e[0].par[3], g->res.e[0].par[4], g->res.e[1].par[4]),
            std::tuple(std::int32_t(1048575000LL % 3600000), 2, 255u, 511u, 63u, 1023u, 1023u, 5u));
  const char* expect = "112";
  for (int i = 0; i < 3; ++i) {
    feed(msgRes(true, 131071, 7, {{1 + i % 2, {i, i, i, i, i}}}));
    EXPECT_EQ(count(resBuf, 0), expect[i] - '0') << i;
  }
  const auto r = find(resBuf, 0, 7, static_cast<std::int32_t>(131071000LL % 3600000));
  ASSERT_TRUE(r);
  EXPECT_EQ(std::tuple(r->res.n, r->hdr.counter, int(r->res.e[0].sv), int(r->res.e[1].sv)),
            std::tuple(2, 3, CpdSv::idOf(1, 1), CpdSv::idOf(1, 2)));
}

// A reset of the stream (the client's reset reaches the base decoder) drops the epoch being
// filled, its last message too; the next epoch is published.
TEST_F(NrtkRoad, ResetNeverPublishesAHalfEpoch) {
  network({10});
  feed(msgDiff(1017, 5, 1, 2000, true, kMaster, 10, {{1, 0, 0, 0, 5, 5}}));
  rtcm3Client[kPort].reset();
  feed(msgDiff(1017, 5, 1, 2000, false, kMaster, 10, {{2, 0, 0, 0, 5, 5}}));
  EXPECT_EQ(std::tuple(total(ionoBuf), total(geomBuf)), std::tuple(0, 0));
  feed(msgDiff(1017, 5, 1, 2010, false, kMaster, 10, {{3, 0, 0, 0, 5, 5}}));
  EXPECT_EQ(std::tuple(total(ionoBuf), total(geomBuf)), std::tuple(1, 1));
  EXPECT_EQ(find(ionoBuf, 0)->svs.n, 1);
}

// A station leaves the best six while its epoch is open (the 33rd station takes its entry and
// its place): that ring takes the new station's next epochs.
TEST_F(NrtkRoad, RingOfAStationThatLeftTakesItsSuccessorsEpochs) {
  feed(msg1005(kMaster, 11141045999, -48507297108, 39755214643));
  feed(msgDiff(1015, 5, 1, 1000, false, kMaster, 999, {}));
  for (int a = 1; a <= 32; ++a) feed(msg1014(5, 1, kMaster, a));
  feed(msgDiff(1015, 5, 1, 2000, true, kMaster, 1, {{1, 0, 0, 0, 0, 1}}));
  for (int a = 2; a <= 32; ++a) feed(msgDiff(1016, 5, 1, 2010, false, kMaster, a, {{1, 0, 0, 0, 1, 0}}));
  feed(msg1014(5, 1, kMaster, 33));
  ASSERT_EQ(std::tuple(nrtk.best(1), nrtk.best(33)), std::tuple(-1, 0));
  feed(msgDiff(1015, 5, 1, 2000, false, kMaster, 1, {{2, 0, 0, 0, 0, 1}}));
  for (std::int64_t e : {2020, 2030}) feed(msgDiff(1015, 5, 1, e, false, kMaster, 33, {{3, 0, 0, 0, 0, 1}}));
  EXPECT_EQ(count(ionoBuf, 0), 2);
  EXPECT_TRUE(find(ionoBuf, 0, 33, 203000));
  EXPECT_FALSE(find(ionoBuf, 0, 1));
}

// A change of network through the road: refused 10 s after the last correction, taken later.
TEST_F(NrtkRoad, NetworkChangeAcrossTheHour) {
  // Epoch fields in 0.1 s of the week: 35990 is 3,599,000 ms within the hour.
  struct Row { std::int64_t next; bool changed; };
  const Row rows[] = {{36090, false}, {36091, true}};
  for (const Row& r : rows) {
    SetUp();
    network({10}, 35900);
    feed(msgDiff(1015, 5, 1, 35990, false, kMaster, 10, {{1, 0, 0, 0, 0, 1}}));
    feed(msgDiff(1015, 6, 1, r.next, false, kMaster, 10, {{1, 0, 0, 0, 0, 1}}));
    EXPECT_EQ(int(nrtk.auxSet.mns.network), r.changed ? 6 : 5) << r.next;
    EXPECT_EQ(nrtk.best(10), r.changed ? -1 : 0) << r.next;
  }
}

// Random frames of the network messages through the whole road leave the store sound.
TEST_F(NrtkRoad, RandomFramesKeepTheStoreSound) {
  network({1, 2, 3});
  std::mt19937 rng(1032);
  const int msgs[] = {1014, 1015, 1016, 1017, 1030, 1031, 1032, 1037, 1038, 1039};
  for (int i = 0; i < 3000; ++i) {
    Bytes p(static_cast<std::size_t>(2 + rng() % 60));
    for (auto& b : p) b = static_cast<unsigned char>(rng());
    const int msg = msgs[rng() % 10];
    p[0] = static_cast<unsigned char>(msg >> 4);
    p[1] = static_cast<unsigned char>((msg & 15) << 4 | (p[1] & 15));
    // Mostly the configured master, so that the records reach the store.
    if (msg != 1030 && msg != 1031 && msg != 1032 && p.size() > 6 && rng() % 2) {
      const std::size_t masterBit = msg == 1014 ? 12 + 8 + 4 + 5 : 12 + 8 + 4 + (msg >= 1037 ? 20 : 23) + 1;
      for (int k = 0; k < 12; ++k) {
        const std::size_t b = masterBit + static_cast<std::size_t>(k);
        if (b / 8 >= p.size()) break;
        const auto mask = static_cast<unsigned char>(0x80u >> (b % 8));
        if ((kMaster >> (11 - k)) & 1) p[b / 8] |= mask;
        else p[b / 8] &= static_cast<unsigned char>(~mask);
      }
    }
    feed(rtcm3test::frameOf(p));
    // And cut short.
    const Bytes whole = rtcm3test::frameOf(p);
    feed(Bytes(whole.begin(), whole.begin() + static_cast<long>(whole.size() / 2)));
  }
  for (CpdNrtkCorrBufImp* rings : {ionoBuf, geomBuf, resBuf}) {
    for (int q = 0; q < 6; ++q) {
      EXPECT_LE(count(rings, q), 6);
      if (auto c = find(rings, q)) {
        EXPECT_LE(c->svs.n + c->res.n, 88);
      }
    }
  }
  EXPECT_LE(nrtktest::auxCount(nrtk.auxSet), 32);
}

}  // namespace
