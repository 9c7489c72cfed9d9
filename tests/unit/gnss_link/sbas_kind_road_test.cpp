// SBAS messages of both kinds on their road: the simulator's "WD" records through the raw
// decoder into the ring, drained by the background task's step into the decoders. An L1 PRN mask
// (kind 0) reaches the SBAS L1 decoders, an L5 mask (kind 1) the DFMC decoders; an entry of
// another kind reaches neither.
#include <gtest/gtest.h>

#include "../../../tools/gnss_board_sim/sim_native.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/apx_nav.h"
#include "positioning/engine/pvt_engine.h"
#include "unit/gnss_link/native_test_util.h"

namespace {

using namespace ntest;

// A 32-byte message with the given bits (0-based message bits) set.
std::string message(std::initializer_list<int> bits) {
  std::string m(32, '\0');
  for (int b : bits) m[static_cast<std::size_t>(b / 8)] = static_cast<char>(m[static_cast<std::size_t>(b / 8)] | (0x80 >> (b % 8)));
  return m;
}

TEST(SbasKindRoad, EachKindReachesItsOwnDecoders) {
  PVTEngineInstance.init_Object(&PVTDataInstance, nullptr);
  PosData::RcvTimeDataType t{};
  t.gps.ulMs = 1000000;
  t.gps.uWeek = 2300;
  t.gps.uStatus[0] = 1;
  PVTDataInstance.rcvTime.Put(&t);
  // L1 MT1 (preamble 0x53, type 1 in bits 8-13): GPS 3, IODP 2 in bits 224-225.
  const std::string l1 = message({1, 3, 6, 7, 13, 13 + 3, 224});
  // L5 MT31 (type 31 in bits 4-9): GPS 5 and BeiDou 2 (slot 160), IODM 1 in bits 224-225.
  const std::string l5 = message({0, 2, 5, 6, 7, 8, 9, 9 + 5, 9 + 160, 225});
  // The same L5 mask as another kind, from another satellite.
  RawFeed f;
  f.put(sim::wdMessage(131, t.gps.ulMs, 1, l5) + sim::wdMessage(137, t.gps.ulMs, 0, l1) +
        sim::wdMessage(140, t.gps.ulMs, 7, l5));
  // The background task's first cycle drains the rings and nothing else.
  apxNav = ApxNav{};
  apxNav.cycle(12345);

  SBASData::DFMC_SourceStateDataType d;
  ASSERT_NE(PVTDataInstance.dfmcSbasSourceState.Take(0, &d), 0);
  EXPECT_EQ(d.uPrn, 131);
  EXPECT_NE(d.uFlags & SBASData::DFMC_SourceStateDataType::kMaskValid, 0);
  EXPECT_EQ(d.ullSatSet[kSysGps], 1u << 4);
  EXPECT_EQ(d.ullSatSet[kSysBeidou], 1u << 1);
  SBASData::SourceStateDataType s;
  ASSERT_NE(PVTDataInstance.sbasSourceState.Take(0, &s), 0);
  EXPECT_EQ(s.uPrn, 137);
  EXPECT_EQ(s.ulSatSet[kSysGps], 1u << 2);
  // Nothing else was bound: neither PRN 131 in the L1 pool nor 137 or 140 in the DFMC one.
  EXPECT_TRUE(PVTDataInstance.sbasSourceState.Take(1, &s) == 0 || s.uPrn == 255);
  EXPECT_TRUE(PVTDataInstance.dfmcSbasSourceState.Take(1, &d) == 0 || d.uPrn == 255);
}

}  // namespace
