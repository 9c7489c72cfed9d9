#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "differential/base/cpd_epoch_timing.h"
#include "differential/base/cpd_meas_buf.h"
#include "differential/base/rover_intake.h"
#include "positioning/chan_data.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/sat_meas_processor.h"
#include "positioning/engine/nav_main.h"

namespace {

// How many satellites the recent set holds, asked id by id.
int recentHeld() {
  int n = 0;
  for (int id = 1; id <= CpdSv::kMaxId; ++id) n += cpdRecentSvs_.has(id) ? 1 : 0;
  return n;
}

constexpr double kC = 299792458.0;  // m/s, IS-GPS-200 20.3.4.3

struct Sig {
  int slot;
  double code, phase, doppler;
  float cn0;
  std::uint16_t flags;
};

void setChannel(int ch, int sysCode, int svNum, std::initializer_list<Sig> sigs) {
  Cdat[ch].bDataPresent = 1;
  Cdat[ch].sysCode = static_cast<std::uint8_t>(sysCode);
  Cdat[ch].svNum = static_cast<std::int16_t>(svNum & 0xFF);  // as the board's byte
  for (const Sig& s : sigs) {
    const int idx = ch * kCdatSlots + s.slot;
    ChanData::mapSlot(ch, s.slot, idx);
    ChanSigData& d = Sdat[idx];
    d.code = s.code;
    d.phase = s.phase;
    d.doppler = s.doppler;
    d.cn0 = s.cn0;
    d.flags = s.flags;
  }
}

constexpr std::uint16_t kOk = ChanSigData::kValid | ChanSigData::kPhase;

// No channel tracking, no rover epoch in the buffers or the record, no satellite seen.
struct RoverIntake : ::testing::Test {
  void SetUp() override {
    cpdBufsInit();
    for (int i = 0; i < kCpdRovBufs; ++i) pRovMeasBuf[i]->doClear();
    for (ChanData& c : Cdat) {
      c.bDataPresent = 0;
      c.initSlots();
    }
    cpdSetTimesAndId(CpdMeasTimes{}, CpdEpochId{});
    cpdRecentSvs_.set(CpdSvSet{});
  }
};

TEST_F(RoverIntake, ChannelsBecomeTheInputsEpochs) {
  cpdBufsInit();
  // Input 0: GPS 5 on C/A and L2C, GLONASS channel -3 without phase on P1, a GPS signal that is not
  // valid, an L-band beam, an idle channel; input 1: BeiDou 30 and a QZSS satellite on its SBAS
  // signal (PRN 184).
  setChannel(0, 0, 5, {{0, 0.0712345, 374321.25, -1234.5, 45.4f, kOk}, {3, 0.0712350, 291234.5, -960.0, 38.6f, kOk}});
  setChannel(1, 1, -3, {{1, 0.0699, 0, 0, 300.0f, ChanSigData::kValid}});
  setChannel(2, 0, 7, {{0, 0.07, 1, 1, 40.0f, ChanSigData::kValidA | ChanSigData::kPhase}});
  setChannel(3, 7, 100, {});
  setChannel(91, 4, 30, {{0, 0.12, 5.5, 3.0, -2.0f, kOk}});
  setChannel(92, 2, 184, {{0, 0.13, 6.5, 4.0, 41.0f, kOk}});
  NavSol.status = NavTask::NAV_SOL::kGood;
  NavSol.pos.bValid = 1;
  NavSol.pos.dXyz[0] = 4193000.0, NavSol.pos.dXyz[1] = 800000.0, NavSol.pos.dXyz[2] = 4724000.0;
  pNavSol_Ant[0] = pNavSol_Ant[1] = &NavSol;

  ChanMeasTime mt;
  mt.gpsMs = 6 * 86400000 + 43200500;
  mt.gloMs = 43200500 - 18000 + 3 * 3600000;
  mt.valid = 3;
  ChanData::setMeasTime(mt);
  cpdRoverIntake();

  const CpdMeas* m = pRovMeasBuf[0]->doGet();
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->id.get(), mt.gpsMs % 3600000);
  EXPECT_EQ(m->type, CpdMeas::kObservations);
  EXPECT_EQ(m->times.time[0], mt.gpsMs);
  EXPECT_EQ(m->times.time[1], mt.gloMs);
  EXPECT_EQ(m->times.time[5], mt.gpsMs);
  EXPECT_EQ(m->refPos.valid, 1);
  EXPECT_EQ(m->refPos.x, 4193000.0);
  ASSERT_EQ(m->n, 3);  // GPS 5, GLONASS -3 and GPS 7 (which has no signal)
  const CpdSvMeas* g = m->find(CpdSv::make(0, 5));
  ASSERT_NE(g, m->end());
  const struct {
    int slot;
    std::uint8_t flags;
    double range, phase;
    float doppler;
    int snr;
  } rows[] = {{0, 0x0F, 0.0712345 * kC, 374321.25, -1234.5f, 45},
              {3, 0x0F, 0.0712350 * kC, 291234.5, -960.0f, 39},
              {1, 0, 0, 0, 0, 0},
              {2, 0, 0, 0, 0, 0}};
  for (const auto& r : rows) {
    const CpdMeasSlot& s = g->slot[r.slot];
    EXPECT_EQ(s.flags, r.flags) << r.slot;
    if (!r.flags) continue;
    EXPECT_NEAR(s.range, r.range, 1e-6) << r.slot;
    EXPECT_EQ(s.phase, r.phase);
    EXPECT_EQ(s.doppler, r.doppler);
    EXPECT_EQ(s.snr, r.snr);
  }
  const CpdSvMeas* r = m->find(CpdSv::make(1, -3));
  ASSERT_NE(r, m->end());
  EXPECT_EQ(r->slot[1].flags, CpdMeasSlot::kRange | CpdMeasSlot::kDoppler | CpdMeasSlot::kSnr);
  EXPECT_EQ(r->slot[1].snr, 255);
  const CpdSvMeas* bad = m->find(CpdSv::make(0, 7));
  ASSERT_NE(bad, m->end());
  for (const CpdMeasSlot& s : bad->slot) EXPECT_EQ(s.flags, 0);
  pRovMeasBuf[0]->doUnlock(m);

  m = pRovMeasBuf[1]->doGet();
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->n, 2);
  EXPECT_NE(m->find(CpdSv::make(5, 30)), m->end());
  EXPECT_NE(m->find(CpdSv::make(4, 194)), m->end());
  EXPECT_EQ(m->find(CpdSv::make(5, 30))->slot[0].snr, 0);
  pRovMeasBuf[1]->doUnlock(m);

  for (int id : {5, 37, 7, 148, 113}) EXPECT_TRUE(cpdRecentSvs_.has(id)) << id;
  EXPECT_EQ(recentHeld(), 5);

  // Without a valid time the record says so and the epochs are not published.
  mt.valid = 0;
  ChanData::setMeasTime(mt);
  cpdRoverIntake();
  CpdMeasTimes t;
  EXPECT_FALSE(cpdGetTimesAndId(t, nullptr));
  EXPECT_EQ(static_cast<CpdMeasBufImp*>(pRovMeasBuf[0])->count(), 1);
}

TEST_F(RoverIntake, TimesFromTheMeasurementTime) {
  const struct {
    std::int32_t gps, glo;
    std::uint8_t valid;
    int id, tGps, tGlo;
  } rows[] = {{3616000, 1000, 3, 16000, 3616000, 1000}, {3616000, 1000, 1, 16000, 3616000, -1},
              {3616000, 7201000, 2, 1000, -1, 7201000}, {3616000, 1000, 0, -1, -1, -1},
              {-5, 1000, 3, 1000, -1, 1000}};
  for (const auto& r : rows) {
    ChanMeasTime mt;
    mt.gpsMs = r.gps;
    mt.gloMs = r.glo;
    mt.valid = r.valid;
    ChanData::setMeasTime(mt);
    CpdMeasTimes t;
    CpdEpochId id;
    cpdRoverTimes(t, id);
    EXPECT_EQ(id.get(), r.id) << r.gps << " " << int(r.valid);
    EXPECT_EQ(t.time[0], r.tGps);
    EXPECT_EQ(t.time[1], r.tGlo);
    for (int s : {2, 3, 4, 5, 6}) EXPECT_EQ(t.time[s], r.tGps) << s;
  }
}

// The intake writes in task MEAT while the base decoders read in the decoder task: a reader sees
// one epoch's record whole (its GPS and GLONASS times 18 s apart within the hour) and the rover
// epoch it holds keeps its id. Run under the sanitizers (and ThreadSanitizer).
TEST_F(RoverIntake, ReadersInAnotherTaskSeeWholeRecords) {
  cpdBufsInit();
  setChannel(0, 0, 5, {{0, 0.07, 1.0, 1.0, 40.0f, kOk}});
  std::atomic<bool> done{false};
  std::atomic<int> bad{0};
  auto reader = [&] {
    while (!done.load()) {
      CpdMeasTimes t;
      CpdEpochId id;
      if (cpdGetTimesAndId(t, &id)) {
        if (CpdEpochId(t.time[0] % 3600000) - CpdEpochId(t.time[1] % 3600000) != 18000) bad.fetch_add(1);
        if (id.get() != t.time[0] % 3600000) bad.fetch_add(1);
        ClientTimes ct;
        etSetTimeDeltas(ct);
      }
      if (!cpdRecentSvs_.has(5) && recentHeld() != 0) bad.fetch_add(1);
      if (const CpdMeas* m = pRovMeasBuf[0]->doGet()) {
        const int before = m->id.get();
        if (m->times.time[0] % 3600000 != before || m->n != 1) bad.fetch_add(1);
        pRovMeasBuf[0]->doUnlock(m);
      }
    }
  };
  std::thread r1(reader), r2(reader);
  ChanMeasTime mt;
  mt.valid = 3;
  for (int e = 0; e < 5000; ++e) {
    mt.gpsMs = 3600000 + 100 * e;
    mt.gloMs = (mt.gpsMs - 18000 + 3 * 3600000) % 86400000;
    ChanData::setMeasTime(mt);
    cpdRoverIntake();
  }
  done.store(true);
  r1.join();
  r2.join();
  EXPECT_EQ(bad.load(), 0);
}

// The rover's satellites carry the elevation the position engine found for their channel this
// epoch: that, not C/N0, is what the base projection ranks its reference satellites by.
TEST_F(RoverIntake, SatellitesCarryTheirChannelsElevation) {
  static EpochSatCommonDataType sats;
  PVTEngineEpochDataType* epoch = PVTDataInstance.epochData.GetPointer();
  EpochSatCommonDataType* const before = epoch->pEpochSatData;
  ChanMeasTime mt;
  mt.gpsMs = 43200000;
  mt.gloMs = 43200000;
  mt.valid = 3;
  ChanData::setMeasTime(mt);
  const struct {
    const char* what;
    bool filled, visible;
    float elevation;
    float expect;
  } rows[] = {{"seen", true, true, 37.5f, 37.5f},
              {"below the horizon", true, true, -3.0f, -3.0f},
              {"not looked at", true, false, 37.5f, CpdSvMeas::kElevUnknown},
              {"engine not run this epoch", false, true, 37.5f, CpdSvMeas::kElevUnknown},
              {"not a number", true, true, NAN, CpdSvMeas::kElevUnknown}};
  for (const auto& r : rows) {
    cpdBufsInit();
    for (ChanData& c : Cdat) c.bDataPresent = 0;
    sats = EpochSatCommonDataType{};
    sats.uFilled = r.filled ? EpochSatCommonDataType::kFilled : 0;
    // GPS 5 on channel 4 with the row's elevation; GPS 9 on channel 6 never seen; GPS 12 on
    // channels 7 (not looked at) and 8 (seen at 61 degrees).
    sats.chan[4].bVisible = r.visible ? 1 : 0;
    sats.chan[4].fElevation = r.elevation;
    sats.chan[8].bVisible = 1;
    sats.chan[8].fElevation = 61.0f;
    sats.chan[8].uSatState = 0;
    setChannel(4, 0, 5, {{0, 0.07, 1.0, 1.0, 50.0f, kOk}});
    setChannel(6, 0, 9, {{0, 0.07, 1.0, 1.0, 50.0f, kOk}});
    setChannel(7, 0, 12, {{0, 0.07, 1.0, 1.0, 50.0f, kOk}});
    setChannel(8, 0, 12, {{3, 0.07, 1.0, 1.0, 50.0f, kOk}});
    epoch->pEpochSatData = &sats;
    cpdRoverIntake();
    const CpdMeas* m = pRovMeasBuf[0]->doGet();
    ASSERT_NE(m, nullptr) << r.what;
    const CpdSvMeas* g5 = m->find(CpdSv::make(0, 5));
    ASSERT_NE(g5, m->end()) << r.what;
    EXPECT_EQ(g5->elev, r.expect) << r.what;
    EXPECT_EQ(m->find(CpdSv::make(0, 9))->elev, CpdSvMeas::kElevUnknown) << r.what;
    EXPECT_EQ(m->find(CpdSv::make(0, 12))->elev, r.filled ? 61.0f : CpdSvMeas::kElevUnknown) << r.what;
    pRovMeasBuf[0]->doUnlock(m);
  }
  epoch->pEpochSatData = before;
}

}  // namespace
