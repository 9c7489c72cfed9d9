// The Galileo road end to end: I/NAV and F/NAV ephemerides of a RINEX day, encoded into pages,
// put into the Galileo ring with their kind and run through the engine's housekeeping road,
// come out of the satellite data store with the file's values.
#include <gtest/gtest.h>

#include <cmath>

#include "../navigation_data/gal_test_util.h"
#include "navigation_data/orbits/galileo_eph.h"
#include "navigation_data/store/sat_data_store.h"
#include "positioning/engine/pvt_engine.h"
#include "unit/positioning/fresh_nav_road.h"

namespace {

using namespace galtest;

void epoch(double sow) {
  NavTask::NAV_SOL sol;
  sol.epoch.gpsWeek = 2270;
  sol.epoch.gpsMs = static_cast<std::int32_t>(std::llround(sow * 1000));
  sol.epoch.gpsStatus = 0x40;  // GPS time valid: the Galileo time of week is known
  sol.epoch.timeTag = static_cast<std::uint32_t>(std::llround(sow * 1000));
  PVTEngineInstance.update(100, true, &sol, nullptr);
}

void send(int svid, const Bytes& page, int kind, double sow) {
  epoch(sow);
  CorrData::GalRawMessageType e{};
  e.uSv = static_cast<std::uint8_t>(svid);
  e.uKind = static_cast<std::uint8_t>(kind);
  e.uCount = static_cast<std::uint8_t>(page.size());
  std::memcpy(e.uData, page.data(), page.size());
  GalRawMessageData.append(e);
  PVTEngineInstance.update_RawNavDataFromBoardDec();
}

TEST(PvtEngineGalileo, RinexEphemeridesThroughTheRing) {
  postest::freshNavRoad();
  PVTEngineInstance.init_Object(&PVTDataInstance, &SatDataProcessorInstance);
  const auto recs = readRinexGal(std::string(RX_SHARED_DIR) + "/testdata/nav/BRD400DLR_S_20230710000_01D_MN.rnx.gz");
  ASSERT_GT(recs.size(), 100u);
  int checked[2] = {0, 0};
  for (std::size_t i = 0; i < recs.size() && checked[0] + checked[1] < 12; i += recs.size() / 40) {
    const RinexGal& r = recs[i];
    const auto tow = static_cast<std::uint32_t>(std::fmod(r.v[kTtm], 604800.0));
    if (r.fnav) {
      for (const Bytes& p : encodeFNav(r, tow)) send(r.svid, p, kGalNavE5a, tow);
    } else {
      for (const Bytes& w : encodeINav(r, tow)) send(r.svid, pagePair(w), kGalNavE1B, tow);
    }
    SatDataEpoch ep;
    ep.time.valid = true;
    ep.time.sec[kSysGalileo] = r.v[kToe];
    SatDataProcessorInstance.update(ep);
    const ExtEphRecord* rec = SatDataProcessorInstance.get_EphLastData(kSysGalileo, r.svid - 1, r.fnav ? 1 : 0);
    const std::string at = "E" + std::to_string(r.svid) + (r.fnav ? " F/NAV" : " I/NAV") + " toe " + std::to_string(r.v[kToe]);
    ASSERT_NE(rec, nullptr) << at;
    const auto* e = reinterpret_cast<const ZRT_EPH_GAL*>(rec->native);
    EXPECT_EQ(e->toe, static_cast<std::uint32_t>(r.v[kToe])) << at;
    EXPECT_NEAR(e->sqrtA, r.v[kSqrtA], std::ldexp(0.5, -19)) << at;
    EXPECT_NEAR(e->e, r.v[kE], std::ldexp(0.5, -33)) << at;
    EXPECT_NEAR(e->af0, r.v[kAf0], std::ldexp(0.5, -34)) << at;
    ++checked[r.fnav ? 1 : 0];
  }
  EXPECT_GT(checked[0], 0);
  EXPECT_GT(checked[1], 0);
}

}  // namespace
