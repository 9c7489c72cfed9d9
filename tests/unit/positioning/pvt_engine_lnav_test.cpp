// The LNAV road end to end: broadcast ephemerides of a RINEX day, encoded into subframes 1-3,
// cut into the ten 30-bit words the board sends, put into the GPS and QZSS rings and run
// through the engine's housekeeping road, come out of the satellite data store with the file's
// values. Satellite numbers outside the tables never get past the entrance.
#include <gtest/gtest.h>

#include <cmath>

#include "unit/own_process.h"
#include "unit/navigation_data/blank_image.h"
#include "../navigation_data/lnav_test_util.h"
#include "navigation_data/store/sat_data_store.h"
#include "positioning/engine/pvt_engine.h"
#include "positioning/engine/raw_nav_dispatch.h"

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

TEST(PvtEngineLnav, GpsRinexEphemeridesThroughTheRing) { roundTrip("brdc1820.10n", 'G', 12); }

TEST(PvtEngineLnav, QzssRinexEphemeridesThroughTheRing) {
  roundTrip("BRD400DLR_S_20230710000_01D_MN.rnx.gz", 'J', 6);
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
