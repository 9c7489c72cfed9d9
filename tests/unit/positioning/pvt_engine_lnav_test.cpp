// The LNAV road end to end: broadcast ephemerides of a RINEX day, encoded into subframes 1-3,
// cut into the ten 30-bit words the board sends, put into the GPS and QZSS rings and run
// through the engine's housekeeping road, come out of the satellite data store with the file's
// values. Satellite numbers outside the tables never get past the entrance.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "unit/own_process.h"
#include "unit/navigation_data/blank_image.h"
#include "fixtures/fresh_channels.h"
#include "../navigation_data/lnav_test_util.h"
#include "navigation_data/orbits/sat_polynom.h"
#include "navigation_data/store/sat_data_store.h"
#include "positioning/engine/pvt_engine.h"
#include "positioning/engine/raw_nav_dispatch.h"
#include "positioning/engine/sat_meas_processor.h"
#include "positioning/chan_data.h"
#include "navigation_data/decoders/nav_decoder_family.h"
#include "unit/positioning/fresh_nav_road.h"

namespace {

using namespace lnavtest;

// One subframe as the board's ring entry carries it: each 30-bit word in the low bits.
CorrData::GpsRawMessageType ringEntry(int prn, const Words& sf) {
  CorrData::GpsRawMessageType e{};
  e.uSv = static_cast<std::uint8_t>(prn);
  e.uKind = 0;
  e.uCount = 10;
  for (int w = 0; w < 10; ++w) e.ulWords[w] = getBits(sf, 1 + 30 * w, 30);
  return e;
}

void epoch(std::uint32_t tag) {
  NavTask::NAV_SOL sol;
  sol.epoch.gpsWeek = 1590;
  sol.epoch.timeTag = tag;
  PVTEngineInstance.update(100, true, &sol, nullptr);
}

// Every subframe of the record twice (a repeat confirms an ephemeris), through the ring.
template <class Ring>
void send(Ring& ring, int prn, const RinexEph& r, std::uint32_t& tag) {
  const auto sf = encodeLnav(r);
  for (int pass = 0; pass < 2; ++pass)
    for (const Words& w : sf) {
      epoch(tag += 6000);
      ring.append(ringEntry(prn, w));
      PVTEngineInstance.update_RawNavDataFromBoardDec();
    }
}

const ZRT_EPH_GPS* stored(std::uint8_t sys, std::uint8_t si, double toe) {
  SatDataEpoch ep;
  ep.time.valid = true;
  ep.time.sec[sys] = toe;
  SatDataProcessorInstance.update(ep);
  const ExtEphRecord* r = SatDataProcessorInstance.get_EphLastData(sys, si, 0);
  return r != nullptr ? reinterpret_cast<const ZRT_EPH_GPS*>(r->native) : nullptr;
}

void roundTrip(const std::string& file, char system, std::size_t records) {
  // Empty rings, store and decoders, as the program starts: what a test before left there would
  // stand in the way of this test's records.
  postest::freshNavRoad();
  PVTEngineInstance.init_Object(&PVTDataInstance, &SatDataProcessorInstance);
  const auto recs = readRinexNav(std::string(RX_SHARED_DIR) + "/testdata/nav/" + file, system);
  ASSERT_GT(recs.size(), records);
  const bool qzss = system == 'J';
  std::uint32_t tag = 0;
  for (std::size_t i = 0; i < records; ++i) {
    const RinexEph& r = recs[i * (recs.size() / records)];
    if (qzss) {
      send(QzssRawMessageData, r.prn, r, tag);
    } else {
      send(GpsRawMessageData, r.prn, r, tag);
    }
    const double* v = r.v;
    const std::string at = system + std::to_string(r.prn) + " toe " + std::to_string(v[kToe]);
    const auto si = static_cast<std::uint8_t>(r.prn - (qzss ? 193 : 1));
    const ZRT_EPH_GPS* e = stored(qzss ? kSysQzss : kSysGps, si, v[kToe]);
    ASSERT_NE(e, nullptr) << at;
    const struct {
      double ours, rinex;
      int pow2;
      const char* name;
    } rows[] = {
        {e->af0, v[kAf0], 31, "af0"}, {e->af1, v[kAf1], 43, "af1"}, {e->crs, v[kCrs], 5, "crs"},
        {e->e, v[kE], 33, "e"},        {e->sqrtA, v[kSqrtA], 19, "sqrtA"},
        {e->M0, v[kM0] / kGpsPi, 31, "M0"}, {e->i0, v[kI0] / kGpsPi, 31, "i0"},
        {e->OmegaDot, v[kOmegaDot] / kGpsPi, 43, "OmegaDot"},
    };
    for (const auto& row : rows)
      EXPECT_NEAR(row.ours, row.rinex, std::ldexp(0.5, -row.pow2) + std::fabs(row.rinex) * 1e-11) << at << " " << row.name;
    EXPECT_EQ(e->toe, static_cast<std::uint32_t>(v[kToe])) << at;
    EXPECT_EQ(e->iodc, static_cast<int>(v[kIodc])) << at;
    EXPECT_EQ(e->prn, r.prn) << at;
  }
}

TEST_OWN(PvtEngineLnav, GpsRinexEphemeridesThroughTheRing) { roundTrip("brdc1820.10n", 'G', 12); }

TEST_OWN(PvtEngineLnav, QzssRinexEphemeridesThroughTheRing) {
  roundTrip("BRD400DLR_S_20230710000_01D_MN.rnx.gz", 'J', 6);
}

// A clock whose reference time lies two hours before the orbit's (subframe 1's toc apart from
// subframe 2's toe) is stored with its own toc, and the published clock follows IS-GPS-200
// 20.3.3.3.3.1 from it: af0 + af1 (t - toc) + af2 (t - toc)^2.
TEST_OWN(PvtEngineLnav, ClockReferredToItsOwnTocThroughTheRing) {
  PVTEngineInstance.init_Object(&PVTDataInstance, &SatDataProcessorInstance);
  SatDataProcessorInstance.init_Object();
  SatPolynomStoreInstance.Init();
  PVTEngineInstance.readers[kRingGps].ullNext = GpsRawMessageData.appended();
  const auto recs = readRinexNav(std::string(RX_SHARED_DIR) + "/testdata/nav/brdc1820.10n", 'G');
  ASSERT_FALSE(recs.empty());
  RinexEph r = recs[0];
  for (const RinexEph& x : recs)
    if (x.v[kAf1] != 0 && x.v[kToe] > 86400) r = x;
  ASSERT_NE(r.v[kAf1], 0.0);
  r.tocSow = static_cast<int>(r.v[kToe]) - 7200;
  std::uint32_t tag = 0;
  send(GpsRawMessageData, r.prn, r, tag);
  const double t = r.v[kToe] + 600;
  const auto si = static_cast<std::uint8_t>(r.prn - 1);
  const ZRT_EPH_GPS* e = stored(kSysGps, si, t);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->toc, r.tocSow);
  EXPECT_EQ(e->toe, static_cast<std::uint32_t>(r.v[kToe]));
  const SvIdType sv{si, kSysGps, 0, si};
  std::uint8_t status = 255;
  std::uint16_t iod = kPolyNoIod;
  int dataType;
  float acc;
  double dt;
  const auto* p = SatPolynomStoreInstance.get_PolynomData(sv, t, false, false, &status, &iod, &dataType, &acc, &dt);
  ASSERT_NE(p, nullptr) << int(status);
  const double clock = p->clkOffset + static_cast<double>(p->clkDrift) * dt;
  SatPolynomStoreInstance.free_PolynomData();
  const double since = t - r.tocSow;
  // The broadcast terms to their last bit.
  const double af0 = std::ldexp(std::round(std::ldexp(r.v[kAf0], 31)), -31);
  const double af1 = std::ldexp(std::round(std::ldexp(r.v[kAf1], 43)), -43);
  const double af2 = std::ldexp(std::round(std::ldexp(r.v[kAf2], 55)), -55);
  EXPECT_NEAR(clock, af0 + af1 * since + af2 * since * since, 1e-12);
}

// Two satellites broadcasting the very same ephemeris: a channel locked to the other one's signal
// under a false number. Each subframe reaches its decoder through the ring with the signal level
// of the channel tracking its satellite, and the ghost check restarts the weaker satellite; a
// satellite at or below 10 dB-Hz (or on no channel) counts as untracked and restarts nobody.
TEST_OWN(PvtEngineLnav, GhostSatelliteThroughTheRingIsTheWeakerOne) {
  // The channels as built and empty rings: the levels read are the rows' own.
  postest::freshChannels();
  rawNavRingsClear();
  navtest::blankImage();
  static std::vector<int> resets;
  navDecoderLinks.satResetRequest = +[](SvIdType sv, std::uint8_t, std::uint8_t) { resets.push_back(sv.si + 1); };
  const auto recs = readRinexNav(std::string(RX_SHARED_DIR) + "/testdata/nav/brdc1820.10n", 'G');
  ASSERT_FALSE(recs.empty());
  const RinexEph& r = recs[0];
  const int truePrn = r.prn, ghostPrn = r.prn == 32 ? 1 : r.prn + 1;
  constexpr float kNone = -1;  // no channel tracks the satellite
  const struct {
    const char* name;
    float trueLevel, ghostLevel;
    std::vector<int> reset;
  } rows[] = {
      {"ghost weaker", 45, 25, {ghostPrn}},
      {"ghost stronger", 25, 45, {truePrn}},
      {"both untracked", 8, 8, {}},
      {"ghost untracked, true strong", 45, 5, {ghostPrn}},
      {"ghost untracked, true tracked", 35, 5, {ghostPrn}},
      {"true untracked, ghost tracked", 5, 35, {truePrn}},
      {"both at 10 dB-Hz: neither tracked", 10, 10, {}},
      {"both just above 10 dB-Hz: each restarts the other", 10.5f, 10.5f, {truePrn, ghostPrn}},
      {"no channel tracks either", kNone, kNone, {}},
  };
  for (const auto& row : rows) {
    PVTEngineInstance.init_Object(&PVTDataInstance, &SatDataProcessorInstance);
    SatDataProcessorInstance.init_Object();
    // Only what this row appends is read.
    PVTEngineInstance.readers[kRingGps].ullNext = GpsRawMessageData.appended();
    resets.clear();
    for (int ch = 0; ch < SatelliteMeasurementProcessor::kSlots; ++ch) Cdat[ch].bDataPresent = 0;
    const int prns[2] = {truePrn, ghostPrn};
    const float levels[2] = {row.trueLevel, row.ghostLevel};
    for (int ch = 0; ch < 2; ++ch) {
      if (levels[ch] == kNone) continue;
      Cdat[ch].bDataPresent = 1;
      Cdat[ch].sysCode = kChanGps;
      Cdat[ch].svNum = static_cast<std::int16_t>(prns[ch]);
      ChanData::mapSlot(ch, 0, ch * kCdatSlots);
      Cdat[ch].sig(0)->cn0 = levels[ch];
      Cdat[ch].sig(0)->flags = ChanSigData::kValid;
    }
    const auto sf = encodeLnav(r);
    std::uint32_t tag = 0;
    for (int pass = 0; pass < 2; ++pass)
      for (const Words& w : sf) {
        NavTask::NAV_SOL sol;
        sol.epoch.gpsWeek = 1590;
        sol.epoch.timeTag = tag += 6000;
        PVTEngineInstance.update(100, true, &sol, Cdat);
        GpsRawMessageData.append(ringEntry(ghostPrn, w));
        GpsRawMessageData.append(ringEntry(truePrn, w));
        PVTEngineInstance.update_RawNavDataFromBoardDec();
      }
    std::sort(resets.begin(), resets.end());
    resets.erase(std::unique(resets.begin(), resets.end()), resets.end());
    EXPECT_EQ(resets, row.reset) << row.name;
  }
  for (int ch = 0; ch < 2; ++ch) Cdat[ch].bDataPresent = 0;
  navDecoderLinks.satResetRequest = nullptr;
}

// GPS PRN 0 and 33, QZSS PRN 192 and 200 are read from the ring and dropped: the program goes
// on and no decoder takes them; a message before the first receiver-time record is dropped too.
// Its records live in process-wide servers that have no way back to their start: in a process of its own.
TEST(PvtEngineLnav, BadNumbersAndMessagesBeforeTheFirstEpochAreDropped) {
  testproc::inOwnProcess([] {
    rawNavRingsClear();  // the engine reads from the rings' start, into an empty store
    navtest::blankImage();
    SatDataProcessorInstance.init_Object();
    PVTEngineInstance.init_Object(&PVTDataInstance, &SatDataProcessorInstance);
    const auto recs = readRinexNav(std::string(RX_SHARED_DIR) + "/testdata/nav/brdc1820.10n", 'G');
    ASSERT_FALSE(recs.empty());
    const RinexEph& r = recs[0];
    const auto sf = encodeLnav(r);
    const auto si = static_cast<std::uint8_t>(r.prn - 1);
    // No epoch yet: the whole record twice, and nothing reaches the store.
    for (int pass = 0; pass < 2; ++pass)
      for (const Words& w : sf) GpsRawMessageData.append(ringEntry(r.prn, w));
    PVTEngineInstance.update_RawNavDataFromBoardDec();
    EXPECT_EQ(stored(kSysGps, si, r.v[kToe]), nullptr);
    EXPECT_EQ(PVTEngineInstance.readers[kRingGps].ullNext, 6u);

    std::uint32_t tag = 0;
    for (int prn : {0, 33, 255})
      for (int pass = 0; pass < 2; ++pass)
        for (const Words& w : sf) {
          epoch(tag += 6000);
          GpsRawMessageData.append(ringEntry(prn, w));
          PVTEngineInstance.update_RawNavDataFromBoardDec();
        }
    for (int prn : {192, 200, 255})
      for (const Words& w : sf) {
        QzssRawMessageData.append(ringEntry(prn, w));
        PVTEngineInstance.update_RawNavDataFromBoardDec();
      }
    EXPECT_EQ(PVTEngineInstance.readers[kRingGps].ullNext, 6u + 18u);
    EXPECT_EQ(PVTEngineInstance.readers[kRingQzss].ullNext, 9u);
    for (const GpsNavDataDecoderType& d : GpsNavDataDecoderPool) EXPECT_EQ(d.get_SvId().si, kSvUnknown);

    // With an epoch the same record is taken.
    send(GpsRawMessageData, r.prn, r, tag);
    EXPECT_NE(stored(kSysGps, si, r.v[kToe]), nullptr);
  });
}

}  // namespace
