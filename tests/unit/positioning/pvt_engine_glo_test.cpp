// The GLONASS road end to end: the public F/NAV strings, cut into the four 25-bit words the
// board sends, put into the GLONASS ring and run through the engine's housekeeping road, give
// the ephemeris of the vector set.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>

#include "navigation_data/decoders/glonass_l3_decoder.h"
#include "navigation_data/decoders/glonass_nav_decoder.h"
#include "navigation_data/store/sat_data_store.h"
#include "positioning/engine/pvt_engine.h"
#include "unit/positioning/fresh_nav_road.h"
#include "unit/own_process.h"

namespace {

// Each F/NAV string of the vectors as its bits, idle bit first, MSB first.
std::map<std::string, std::string> loadHex() {
  std::ifstream in(std::string(RX_SHARED_DIR) + "/testdata/navmsg/gnsstk_nav_messages.csv");
  std::map<std::string, std::string> out;
  std::string line;
  while (std::getline(in, line)) {
    if (line.find(",GLOFNav,") == std::string::npos) continue;
    const std::size_t q = line.rfind("\",");
    const std::size_t a = line.find(',', q + 2) + 1;
    out[line.substr(0, line.find(','))] = line.substr(a, line.find(',', a) - a);
  }
  return out;
}

CorrData::GloRawMessageType entry(const std::string& hex, int slot, int freq, int kind) {
  CorrData::GloRawMessageType e{};
  e.uSv = static_cast<std::uint8_t>(slot);
  e.iFreq = static_cast<std::int8_t>(freq);
  e.uKind = static_cast<std::uint8_t>(kind);
  e.uCount = 4;
  for (int i = 0; i < 100; ++i) {
    const int nib = i / 4 < static_cast<int>(hex.size()) ? std::stoi(hex.substr(i / 4, 1), nullptr, 16) : 0;
    const std::uint32_t bit = (nib >> (3 - i % 4)) & 1;
    e.ulWords[i / 25] |= bit << (24 - i % 25);
  }
  return e;
}

const ZRT_EPH_GLN* stored(int si) {
  SatDataEpoch ep;
  ep.time.valid = true;
  ep.time.sec[kSysGlonass] = 13500;
  SatDataProcessorInstance.update(ep);
  const ExtEphRecord* r = SatDataProcessorInstance.get_EphLastData(kSysGlonass, si, 0);
  return r != nullptr ? reinterpret_cast<const ZRT_EPH_GLN*>(r->native) : nullptr;
}

TEST_OWN(PvtEngineGlonass, VectorStringsThroughTheRing) {
  postest::freshNavRoad();
  PVTEngineInstance.init_Object(&PVTDataInstance, &SatDataProcessorInstance);
  auto s = loadHex();
  ASSERT_EQ(s.size(), 8u);
  // Kind 1 is the L3 decoder's, and a frequency number of 8 is no GLONASS channel: neither
  // reaches the FDMA decoder.
  for (int k = 1; k <= 5; ++k) {
    NavTask::NAV_SOL sol;
    sol.epoch.timeTag = 1000 + 2000 * k;
    PVTEngineInstance.update(100, true, &sol, nullptr);
    GloRawMessageData.append(entry(s["navFNAVGLOStr" + std::to_string(k)], 1, 1, 1));
    GloRawMessageData.append(entry(s["navFNAVGLOStr" + std::to_string(k)], 1, 8, 0));
    PVTEngineInstance.update_RawNavDataFromBoardDec();
  }
  EXPECT_EQ(stored(8), nullptr);
  for (int k = 1; k <= 5; ++k) {
    NavTask::NAV_SOL sol;
    sol.epoch.timeTag = 20000 + 2000 * k;
    PVTEngineInstance.update(100, true, &sol, nullptr);
    GloRawMessageData.append(entry(s["navFNAVGLOStr" + std::to_string(k)], 1, 1, 0));
    PVTEngineInstance.update_RawNavDataFromBoardDec();
  }
  const ZRT_EPH_GLN* e = stored(8);  // frequency number 1: index 8
  ASSERT_NE(e, nullptr);
  EXPECT_DOUBLE_EQ(e->pos[0], 10148.4248046875);
  EXPECT_DOUBLE_EQ(e->vel[1], 3.0522518157958984);
  EXPECT_DOUBLE_EQ(e->tauN, 0.00015267729759216309);
  EXPECT_EQ(e->tb, 225u * 60);
  EXPECT_EQ(e->slot, 1);
  EXPECT_EQ(e->freqNum, 1);
}

// An L3 string pair (kind 1, ten words as received) reaches the L3 decoder and gives the
// ephemeris of data type 1.
CorrData::GloRawMessageType l3Entry(int type, std::uint32_t ts, int freq) {
  CorrData::GloRawMessageType e{};
  e.uSv = 1;
  e.iFreq = static_cast<std::int8_t>(freq);
  e.uKind = 1;
  e.uCount = 10;
  auto put = [&](int pos, int n, std::uint64_t v) {
    for (int i = 0; i < n; ++i)
      if ((v >> (n - 1 - i)) & 1u) e.ulWords[(pos - 1 + i) / 32] |= 0x80000000u >> ((pos - 1 + i) % 32);
  };
  put(21, 3, static_cast<std::uint64_t>(type));
  put(24, 15, ts);
  if (type == 1) {
    put(65, 17, 13500);  // tb
    put(97, 29, 1000);   // tau
  } else {
    put(58, 32, 1000000000);  // x, 2^-16 km
    put(154, 30, 200000000);  // vx, 2^-26 km/s
  }
  return e;
}

TEST_OWN(PvtEngineGlonass, L3StringsThroughTheRing) {
  PVTEngineInstance.init_Object(&PVTDataInstance, &SatDataProcessorInstance);
  for (int type = 1; type <= 2; ++type) {
    NavTask::NAV_SOL sol;
    sol.epoch.timeTag = 50000 + 3000 * type;
    PVTEngineInstance.update(100, true, &sol, nullptr);
    GloRawMessageData.append(l3Entry(type, 4500 + static_cast<std::uint32_t>(type), 2));
    PVTEngineInstance.update_RawNavDataFromBoardDec();
  }
  SatDataEpoch ep;
  ep.time.valid = true;
  ep.time.sec[kSysGlonass] = 13500;
  SatDataProcessorInstance.update(ep);
  const ExtEphRecord* r = SatDataProcessorInstance.get_EphLastData(kSysGlonass, 9, 1);  // frequency number 2
  ASSERT_NE(r, nullptr);
  const auto* e = reinterpret_cast<const ZRT_EPH_GLN*>(r->native);
  EXPECT_DOUBLE_EQ(e->pos[0], 1000000000.0 / 65536.0);
  EXPECT_EQ(e->tb, 13500u);
  EXPECT_NE(e->signals & kGloSignalL3, 0);
}

}  // namespace
