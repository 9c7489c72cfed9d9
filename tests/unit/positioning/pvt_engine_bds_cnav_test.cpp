// The BeiDou B-CNAV road: B1C frames (kind 3), B2a messages (kind 5) and B2b messages (kind 6,
// bit 6 the pilot component) built from a RINEX record, put into the BeiDou ring as the board
// sends them and run through the engine's housekeeping road, come out of the satellite data
// store as the signal's record; and the second of the hour the road gives a B1C frame.
#include <gtest/gtest.h>

#include "../navigation_data/beidou_cnav_test_util.h"
#include "navigation_data/orbits/beidou_eph.h"
#include "positioning/engine/pvt_engine.h"
#include "unit/positioning/fresh_nav_road.h"
#include "positioning/engine/raw_nav_dispatch.h"

namespace {

using namespace bcnavtest;

template <std::size_t N>
void send(const std::array<std::uint32_t, N>& w, int prn, std::uint8_t kind, std::uint32_t& tag) {
  NavTask::NAV_SOL sol;
  sol.epoch.timeTag = tag += 1000;
  PVTEngineInstance.update(100, true, &sol, nullptr);
  CorrData::CmpRawMessageType e{};
  e.uSv = static_cast<std::uint8_t>(prn);
  e.uKind = kind;
  e.uCount = static_cast<std::uint8_t>(N);
  for (std::size_t k = 0; k < N; ++k) e.ulWords[k] = w[k];
  CompRawMessageData.append(e);
  PVTEngineInstance.update_RawNavDataFromBoardDec();
}

const ZRT_EPH_CMP* stored(int prn, double sec) {
  SatDataEpoch ep;
  ep.time.valid = true;
  ep.time.sec[kSysBeidou] = sec;
  ep.time.cycleKnown[kSysBeidou] = true;
  ep.time.cycle[kSysBeidou] = kBdtWeek;
  SatDataProcessorInstance.update(ep);
  const ExtEphRecord* rec = SatDataProcessorInstance.get_EphLastData(kSysBeidou, prn - 1, 1);
  return rec != nullptr ? reinterpret_cast<const ZRT_EPH_CMP*>(rec->native) : nullptr;
}

TEST(PvtEngineBeidouCnav, EachSignalThroughTheRing) {
  postest::freshNavRoad();
  PVTEngineInstance.init_Object(&PVTDataInstance, &SatDataProcessorInstance);
  navDecoderLinks.b2bSource = [] { return 3; };
  std::vector<RinexCnav> recs;
  for (const RinexCnav& r : readRinexCnav(std::string(RX_SHARED_DIR) + "/testdata/nav/BRD400DLR_S_20230710000_01D_MN.rnx.gz"))
    if (r.type == "CNV1" && r.v[kHealth] == 0) recs.push_back(r);
  ASSERT_GT(recs.size(), 30u);
  std::uint32_t tag = 0;
  const struct { const RinexCnav& r; std::uint8_t kind; std::uint8_t signal; std::uint16_t mark; } rows[] = {
      {recs[0], 3, kBeidouSignalB1C, kBeidouCnavMarkB1C},
      {recs[10], 5, kBeidouSignalB2a, kBeidouCnavMarkB2a},
      {recs[20], 6, kBeidouSignalB2b, kBeidouCnavB2bData},
      {recs[30], 0x46, kBeidouSignalB2b, kBeidouCnavB2bPilot},
  };
  for (const auto& row : rows) {
    const RinexCnav& r = row.r;
    CnavFields f = fieldsOf(r);
    const auto ttm = static_cast<long long>(r.v[kTtm]);
    if (row.kind == 3) {
      send(encodeB1c(f, kBdtWeek, static_cast<int>(ttm / 3600)), r.prn, row.kind, tag);
    } else if (row.kind == 5) {
      send(encodeB2a10(f, r.prn, ttm / 3, kBdtWeek), r.prn, row.kind, tag);
      send(encodeB2a11(f, r.prn, ttm / 3 + 1), r.prn, row.kind, tag);
      send(encodeB2a30(f, r.prn, ttm / 3 + 2), r.prn, row.kind, tag);
    } else {
      f.iode = f.iodc = 5;
      send(encodeB2b10(f, ttm), r.prn, row.kind, tag);
      send(encodeB2b30(f, ttm + 3, kBdtWeek), r.prn, row.kind, tag);
    }
    const ZRT_EPH_CMP* e = stored(r.prn, r.v[kToe] + 60);
    const std::string at = "C" + std::to_string(r.prn) + " kind " + std::to_string(row.kind);
    ASSERT_NE(e, nullptr) << at;
    EXPECT_EQ(e->signals & row.signal, row.signal) << at;
    EXPECT_EQ(e->flags & row.mark, row.mark) << at;
    EXPECT_EQ(e->toe, static_cast<std::uint32_t>(r.v[kToe])) << at;
    EXPECT_NEAR(e->sqrtA, r.v[kSqrtA], 1e-6) << at;
  }
  navDecoderLinks.b2bSource = nullptr;
}

// The frame that ended last: one 18-s frame before the one running at the receiver's time.
TEST(PvtEngineBeidouCnav, B1cSecondOfHourFromTheReceiverTime) {
  const struct { std::uint8_t status; std::uint32_t ms; int soh; } rows[] = {
      {0, 36000, 0},       {1, 0, 199},           {1, 17999, 199},       {1, 18000, 0},
      {1, 35999, 0},       {1, 36000, 1},         {1, 3599999, 198},     {1, 3600000, 199},
      {1, 3618000, 0},     {1, 604799999, 198},   {1, 604800000, 0},
  };
  for (const auto& r : rows) {
    PosData::RcvTimeDataType t{};
    t.bds.uStatus[0] = r.status;
    t.bds.ulMs = r.ms;
    EXPECT_EQ(b1cFrameSoh(t), r.soh) << r.ms;
  }
}

}  // namespace
