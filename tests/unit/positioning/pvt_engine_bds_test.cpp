// The BeiDou D1 road end to end: ephemerides of a RINEX day, encoded into D1 subframes, put into
// the BeiDou ring as the board sends them and run through the engine's housekeeping road, come
// out of the satellite data store with the file's values; with bit 7 of the kind set (a D2
// message) they are not the D1 decoder's.
#include <gtest/gtest.h>

#include <cmath>

#include "../navigation_data/beidou_d2_test_util.h"
#include "../navigation_data/beidou_test_util.h"
#include "navigation_data/store/sat_data_store.h"
#include "positioning/engine/pvt_engine.h"
#include "unit/positioning/fresh_nav_road.h"
#include "unit/own_process.h"

namespace {

using namespace bdstest;

D1Ephemeris fromRinex(const RinexBds& r) {
  const double* v = r.v;
  auto sc = [](double rad) { return rad / kBdsPi; };
  D1Ephemeris f;
  f.satH1 = static_cast<long long>(v[kSatH1]);
  f.aodc = static_cast<long long>(v[kAodc]);
  f.wn = static_cast<long long>(v[kWeek]);
  f.toc = r.tocSow / 8;
  f.a0 = q(v[kAf0], 33), f.a1 = q(v[kAf1], 50), f.a2 = q(v[kAf2], 66);
  f.aode = static_cast<long long>(v[kAode]);
  f.dn = q(sc(v[kDn]), 43), f.cuc = q(v[kCuc], 31), f.m0 = q(sc(v[kM0]), 31), f.e = q(v[kE], 33);
  f.cus = q(v[kCus], 31), f.crc = q(v[kCrc], 6), f.crs = q(v[kCrs], 6), f.sqrtA = q(v[kSqrtA], 19);
  f.toe = static_cast<long long>(v[kToe]) / 8;
  f.i0 = q(sc(v[kI0]), 31), f.cic = q(v[kCic], 31), f.omegaDot = q(sc(v[kOmegaDot]), 43), f.cis = q(v[kCis], 31);
  f.idot = q(sc(v[kIdot]), 43), f.omega0 = q(sc(v[kOmega0]), 31), f.omega = q(sc(v[kOmega]), 31);
  return f;
}

const ZRT_EPH_CMP* stored(int prn, const RinexBds& r) {
  SatDataEpoch ep;
  ep.time.valid = true;
  ep.time.sec[kSysBeidou] = r.v[kToe] + 60;
  ep.time.cycleKnown[kSysBeidou] = true;
  ep.time.cycle[kSysBeidou] = static_cast<int>(r.v[kWeek]);
  SatDataProcessorInstance.update(ep);
  const ExtEphRecord* rec = SatDataProcessorInstance.get_EphLastData(kSysBeidou, prn - 1, 0);
  return rec != nullptr ? reinterpret_cast<const ZRT_EPH_CMP*>(rec->native) : nullptr;
}

template <class Pages>
void sendPages(const Pages& pages, int prn, std::uint8_t kind, std::uint32_t& tag, std::uint32_t step = 6000) {
  for (const Words& w : pages) {
    NavTask::NAV_SOL sol;
    sol.epoch.timeTag = tag += step;
    PVTEngineInstance.update(100, true, &sol, nullptr);
    CorrData::CmpRawMessageType e{};
    e.uSv = static_cast<std::uint8_t>(prn);
    e.uKind = kind;
    e.uCount = 10;
    for (int k = 0; k < 10; ++k) e.ulWords[k] = w[k];
    CompRawMessageData.append(e);
    PVTEngineInstance.update_RawNavDataFromBoardDec();
  }
}

void sendAll(const RinexBds& r, std::uint8_t kind, std::uint32_t& tag) {
  sendPages(encodeD1(fromRinex(r), r.tocSow), r.prn, kind, tag);
}

TEST_OWN(PvtEngineBeidou, D1EphemeridesThroughTheRing) {
  postest::freshNavRoad();  // empty rings and store, as the program starts
  PVTEngineInstance.init_Object(&PVTDataInstance, &SatDataProcessorInstance);
  std::vector<RinexBds> d1;
  for (const RinexBds& r : readRinexBds(std::string(RX_SHARED_DIR) + "/testdata/nav/BRD400DLR_S_20230710000_01D_MN.rnx.gz"))
    if (r.type == "D1" && r.prn > 5 && r.prn < 59) d1.push_back(r);
  ASSERT_GT(d1.size(), 100u);
  std::uint32_t tag = 0;
  // A D2-marked copy of the first record first: not the D1 decoder's, nothing stored.
  sendAll(d1[0], 0x80, tag);
  EXPECT_EQ(stored(d1[0].prn, d1[0]), nullptr);
  for (std::size_t i = 0; i < d1.size(); i += d1.size() / 10) {
    const RinexBds& r = d1[i];
    sendAll(r, 1, tag);  // signal 1 (B2I)
    const ZRT_EPH_CMP* e = stored(r.prn, r);
    const std::string at = "C" + std::to_string(r.prn) + " toc " + std::to_string(r.tocSow);
    ASSERT_NE(e, nullptr) << at;
    EXPECT_EQ(e->toe, static_cast<std::uint32_t>(r.v[kToe])) << at;
    EXPECT_NEAR(e->sqrtA, r.v[kSqrtA], std::ldexp(0.5, -19)) << at;
    EXPECT_NEAR(e->e, r.v[kE], std::ldexp(0.5, -33)) << at;
    EXPECT_NEAR(e->af0, r.v[kAf0], std::ldexp(0.5, -33)) << at;
  }
}

// The GEOs' D2 pages with bit 7 of the kind set go to the D2 decoder; the same pages without it
// are not the D1 decoder's.
TEST_OWN(PvtEngineBeidou, D2EphemeridesThroughTheRing) {
  postest::freshNavRoad();  // empty rings and store, as the program starts
  PVTEngineInstance.init_Object(&PVTDataInstance, &SatDataProcessorInstance);
  std::vector<RinexBds> d2;
  for (const RinexBds& r : readRinexBds(std::string(RX_SHARED_DIR) + "/testdata/nav/BRD400DLR_S_20230710000_01D_MN.rnx.gz"))
    if (r.type == "D2") d2.push_back(r);
  ASSERT_EQ(d2.size(), 168u);
  std::uint32_t tag = 0;
  sendPages(bdsd2::encodeD2(bdsd2::fromRinex(d2[0]), d2[0].tocSow), d2[0].prn, 0, tag, 3000);
  EXPECT_EQ(stored(d2[0].prn, d2[0]), nullptr);
  for (std::size_t i = 0; i < d2.size(); i += d2.size() / 8) {
    const RinexBds& r = d2[i];
    sendPages(bdsd2::encodeD2(bdsd2::fromRinex(r), r.tocSow), r.prn, 0x80 | 2, tag, 3000);  // B3I
    const ZRT_EPH_CMP* e = stored(r.prn, r);
    const std::string at = "C" + std::to_string(r.prn) + " toc " + std::to_string(r.tocSow);
    ASSERT_NE(e, nullptr) << at;
    EXPECT_EQ(e->flags, 128) << at;
    EXPECT_EQ(e->toe, static_cast<std::uint32_t>(r.v[kToe])) << at;
    EXPECT_NEAR(e->sqrtA, r.v[kSqrtA], std::ldexp(0.5, -19)) << at;
    EXPECT_EQ(e->signals, 4) << at;
  }
  // The engine's start empties the D2 pool.
  PVTEngineInstance.init_Object(&PVTDataInstance, &SatDataProcessorInstance);
  for (const CompD2NavDataDecoderType& d : CompD2NavDataDecoderInstance) EXPECT_EQ(d.get_SvId().si, kSvUnknown);
}

}  // namespace
