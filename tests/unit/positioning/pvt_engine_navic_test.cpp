// The NavIC L5 road end to end: ephemerides of a RINEX day, encoded into subframes 1 and 2,
// put into the NavIC ring as the board sends them and run through the engine's housekeeping
// road, come out of the satellite data store with the file's values; another message kind is
// not the L5 decoder's.
#include <gtest/gtest.h>

#include <cmath>

#include "../navigation_data/navic_test_util.h"
#include "navigation_data/store/sat_data_store.h"
#include "positioning/engine/pvt_engine.h"
#include "unit/positioning/fresh_nav_road.h"
#include "unit/own_process.h"

namespace {

using namespace irntest;

Ephemeris fromRinex(const RinexIrn& r) {
  const double* v = r.v;
  auto sc = [](double rad) { return rad / kIcdPi; };
  Ephemeris f;
  f.wn = static_cast<long long>(v[kWeek]) % 1024;
  f.af0 = q(v[kAf0], 31), f.af1 = q(v[kAf1], 43), f.toc = r.tocSow / 16, f.iodec = static_cast<long long>(v[kIodec]);
  f.dn = q(sc(v[kDn]), 41), f.cuc = q(v[kCuc], 28), f.cus = q(v[kCus], 28), f.cic = q(v[kCic], 28);
  f.cis = q(v[kCis], 28), f.crc = q(v[kCrc], 4), f.crs = q(v[kCrs], 4), f.idot = q(sc(v[kIdot]), 43);
  f.m0 = q(sc(v[kM0]), 31), f.toe = static_cast<long long>(v[kToe]) / 16, f.e = q(v[kE], 33);
  f.sqrtA = q(v[kSqrtA], 19), f.omega0 = q(sc(v[kOmega0]), 31), f.omega = q(sc(v[kOmega]), 31);
  f.omegaDot = q(sc(v[kOmegaDot]), 41), f.i0 = q(sc(v[kI0]), 31);
  return f;
}

const ZRT_EPH_IRS* stored(int prn, const RinexIrn& r) {
  SatDataEpoch ep;
  ep.time.valid = true;
  ep.time.sec[kSysNavic] = r.v[kToe] + 60;
  SatDataProcessorInstance.update(ep);
  const ExtEphRecord* rec = SatDataProcessorInstance.get_EphLastData(kSysNavic, prn - 1, 0);
  return rec != nullptr ? reinterpret_cast<const ZRT_EPH_IRS*>(rec->native) : nullptr;
}

void sendAll(const RinexIrn& r, std::uint8_t kind, std::uint32_t& tag) {
  const Ephemeris f = fromRinex(r);
  for (const Words& w : {encodeSubframe1(f, r.tocSow / 12), encodeSubframe2(f, r.tocSow / 12 + 1)}) {
    NavTask::NAV_SOL sol;
    sol.epoch.timeTag = tag += 12000;
    PVTEngineInstance.update(100, true, &sol, nullptr);
    CorrData::IrnssRawMessageType e{};
    e.uSv = static_cast<std::uint8_t>(r.prn);
    e.uKind = kind;
    e.uCount = 10;
    for (int k = 0; k < 10; ++k) e.ulWords[k] = w[k];
    IrnssRawMessageData.append(e);
    PVTEngineInstance.update_RawNavDataFromBoardDec();
  }
}

TEST_OWN(PvtEngineNavic, L5EphemeridesThroughTheRing) {
  postest::freshNavRoad();  // empty rings and store, as the program starts
  PVTEngineInstance.init_Object(&PVTDataInstance, &SatDataProcessorInstance);
  const auto all = readRinexIrn(std::string(RX_SHARED_DIR) + "/testdata/nav/BRD400DLR_S_20230710000_01D_MN.rnx.gz");
  ASSERT_GT(all.size(), 250u);
  std::uint32_t tag = 0;
  sendAll(all[0], 1, tag);
  EXPECT_EQ(stored(all[0].prn, all[0]), nullptr) << "kind 1 is not L5";
  for (std::size_t i = 0; i < all.size(); i += all.size() / 10) {
    const RinexIrn& r = all[i];
    sendAll(r, 0, tag);
    const ZRT_EPH_IRS* e = stored(r.prn, r);
    const std::string at = "I" + std::to_string(r.prn) + " toc " + std::to_string(r.tocSow);
    ASSERT_NE(e, nullptr) << at;
    EXPECT_EQ(e->toe, static_cast<std::uint32_t>(r.v[kToe])) << at;
    EXPECT_NEAR(e->sqrtA, r.v[kSqrtA], std::ldexp(0.5, -19)) << at;
    EXPECT_NEAR(e->e, r.v[kE], std::ldexp(0.5, -33)) << at;
    EXPECT_NEAR(e->af0, r.v[kAf0], std::ldexp(0.5, -31)) << at;
  }
}

}  // namespace
