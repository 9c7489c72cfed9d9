// LNAV subframes whose parity fails never reach the decoder: one flipped bit anywhere in a word
// (data or parity) drops the subframe and counts it; intact subframes of a real broadcast day,
// whose words carry D30* = 1 as often as not, all pass; random words never get through.
#include <gtest/gtest.h>

#include <random>

#include "../navigation_data/lnav_test_util.h"
#include "navigation_data/store/sat_data_store.h"
#include "positioning/engine/pvt_engine.h"
#include "unit/own_process.h"

namespace {

using namespace lnavtest;

void epoch() {
  NavTask::NAV_SOL sol;
  sol.epoch.gpsWeek = 1590;
  sol.epoch.timeTag = 6000;
  PVTEngineInstance.update(100, true, &sol, nullptr);
}

void toWords(const Words& sf, std::uint32_t out[10]) {
  for (int w = 0; w < 10; ++w) out[w] = getBits(sf, 1 + 30 * w, 30);
}

int feed(const std::uint32_t words[10], int prn = 5) {
  const SvIdType sv{static_cast<std::uint8_t>(prn - 1), kSysGps, 0, static_cast<std::uint8_t>(prn - 1)};
  return PVTEngineInstance.update_GpsDataTask(words, 10, &sv, RawNavKind::kGpsLnav, 45.0f);
}

TEST_OWN(PvtEngineParity, AnyFlippedBitDropsTheSubframe) {
  PVTEngineInstance.init_Object(&PVTDataInstance, &SatDataProcessorInstance);
  epoch();
  const auto recs = readRinexNav(std::string(RX_SHARED_DIR) + "/testdata/nav/brdc1820.10n", 'G');
  ASSERT_FALSE(recs.empty());
  const auto sf = encodeLnav(recs[0]);
  for (int s = 0; s < 3; ++s) {
    std::uint32_t good[10];
    toWords(sf[s], good);
    const std::uint32_t drops = lnavParityDrops.load();
    ASSERT_EQ(feed(good), 1) << "subframe " << s + 1;
    ASSERT_EQ(lnavParityDrops.load(), drops);
    // Every bit of every word: data bits 29..6, parity bits 5..0.
    for (int w = 0; w < 10; ++w) {
      for (int bit = 0; bit < 30; ++bit) {
        std::uint32_t bad[10];
        std::copy(good, good + 10, bad);
        bad[w] ^= 1u << bit;
        const std::uint32_t before = lnavParityDrops.load();
        EXPECT_EQ(feed(bad), 0) << "subframe " << s + 1 << " word " << w + 1 << " bit " << bit;
        EXPECT_EQ(lnavParityDrops.load(), before + 1);
      }
    }
    // The two bits above the 30 are not the word's: they change nothing.
    std::uint32_t high[10];
    std::copy(good, good + 10, high);
    high[4] |= 0xC0000000u;
    EXPECT_EQ(feed(high), 1);
  }
}

TEST_OWN(PvtEngineParity, EveryBroadcastSubframeOfADayPasses) {
  PVTEngineInstance.init_Object(&PVTDataInstance, &SatDataProcessorInstance);
  epoch();
  const auto recs = readRinexNav(std::string(RX_SHARED_DIR) + "/testdata/nav/brdc1820.10n", 'G');
  int inverted = 0;
  const std::uint32_t drops = lnavParityDrops.load();
  for (const RinexEph& r : recs) {
    for (const Words& sf : encodeLnav(r)) {
      std::uint32_t w[10];
      toWords(sf, w);
      for (int k = 0; k < 9; ++k) inverted += static_cast<int>(w[k] & 1u);  // D30* of the next word
      ASSERT_EQ(feed(w, r.prn), 1) << "G" << r.prn;
    }
  }
  EXPECT_EQ(lnavParityDrops.load(), drops);
  EXPECT_GT(inverted, 1000);  // the inverted-data case is well covered
}

TEST_OWN(PvtEngineParity, RandomWordsDoNotGetThrough) {
  PVTEngineInstance.init_Object(&PVTDataInstance, &SatDataProcessorInstance);
  epoch();
  std::mt19937 rng(3);
  int through = 0;
  for (int i = 0; i < 2000; ++i) {
    std::uint32_t w[10];
    for (std::uint32_t& x : w) x = rng();
    through += feed(w, 1 + i % 32);
  }
  EXPECT_EQ(through, 0);  // ten random words pass with odds of 2^-60
}

}  // namespace
