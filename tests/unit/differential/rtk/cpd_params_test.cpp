// The RTK engine's settings record: construction defaults, each setter's rule and edge, and the
// settings loader's mapping of the stored RTK settings.
#include "differential/rtk/cpd_params.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "differential/rtk/rtk_engine.h"
#include "settings/rcv_settings.h"
#include "unit/own_process.h"

namespace {

// The global holds the construction defaults before anything runs (constant-initialised).
// Before any test changes it: in a process of its own.
TEST(CpdParams, GlobalStartsAtTheConstructionDefaults) {
  testproc::inOwnProcess([] {
    const CpdParams& p = cpdParams;
    EXPECT_EQ(p.elm, 5);
    EXPECT_FLOAT_EQ(p.pdop, 30.0f);
    EXPECT_EQ(p.scale, 1);
    EXPECT_EQ(p.ambFixLevel, CpdParams::kMedium);
    for (int i = 0; i < 7; ++i) EXPECT_TRUE(p.useSys[i] && p.useSlot[i < 6 ? i : 0]) << i;
    EXPECT_EQ(p.ion + p.flagB * 2 + p.flagC * 4 + p.dblchk * 8 + p.dblchkWeight * 16, 4);
    EXPECT_FLOAT_EQ(p.mem, 0.9995f);
    EXPECT_EQ(p.mode, 0);
    EXPECT_NEAR(p.sinElm, 0.0871557, 5e-8);  // sine of 5 degrees
    EXPECT_EQ(p.nft, 4);
    for (const auto& s : p.slot) EXPECT_TRUE(s.codeRms == 5.0 && s.phaseRms == 0.05);
    EXPECT_EQ(p.wordD, -1);
    EXPECT_FALSE(p.initKnown);
    EXPECT_FLOAT_EQ(p.dyn, 2e7f);
    EXPECT_EQ(p.check, 17);
  });
}

TEST(CpdParams, AmbiguityFixLevelGivesItsFixTestOrIsRefused) {
  const struct { int level; bool ok; int nft; int kept; } rows[] = {
      {0, true, 0, 0}, {1, true, 2, 1}, {2, true, 4, 2}, {3, true, 6, 3},
      // outside the table: refused, the record keeps level 1 and its fix test
      {4, false, 2, 1}, {-1, false, 2, 1}, {255, false, 2, 1}, {1 << 30, false, 2, 1},
  };
  for (const auto& r : rows) {
    CpdParams p;
    ASSERT_TRUE(p.setAmbFixLevel(1));
    EXPECT_EQ(p.setAmbFixLevel(r.level), r.ok) << r.level;
    EXPECT_EQ(p.nft, r.nft) << r.level;
    EXPECT_EQ(p.ambFixLevel, r.kept) << r.level;
  }
}

TEST(CpdParams, DynamicsAtOrAbove0999AreUnlimited) {
  const struct { float in; float stored; } rows[] = {
      {0.999f, 2e7f}, {0.998f, 0.998f}, {1.0f, 2e7f}, {0.0f, 0.0f}, {0.5f, 0.5f}, {5.0f, 2e7f},
  };
  for (const auto& r : rows) {
    CpdParams p;
    p.SetDyn(r.in);
    EXPECT_FLOAT_EQ(p.dyn, r.stored) << r.in;
  }
}

RCV_SETTINGS factory() {
  RCV_SETTINGS s;
  rcvSetDefaults(s);
  return s;
}

// What the loader takes from the stored settings, field by field.
TEST(CpdParamsLoad, StoredRtkSettingsReachTheRecord) {
  RCV_SETTINGS s = factory();
  s.rtk.aflevel = 3;
  s.rtk.rmsc = 0.5f;
  s.rtk.rmsp = 0.01f;
  s.rtk.dyn = 1.0;
  s.rtk.dblchk = 1;
  s.rtk.scale = 2;
  s.rtk.mode = 1;
  s.rtk.ion = 1;
  s.rtk.mem = 0.75;
  s.rtk.check = 300;
  s.rtk.fixpos = 1;
  s.rtk.tempc = -3.5f;
  s.rtk.humid = 80.0f;
  s.rtk.press = 950.0f;
  const std::uint8_t meas[6] = {1, 0, 1, 0, 0, 1};
  std::memcpy(s.rtk.meas, meas, sizeof meas);
  cpdParams.defaults();
  cpdParamsLoad(s);
  const CpdParams& p = cpdParams;
  EXPECT_EQ(p.ambFixLevel, CpdParams::kHigh);
  EXPECT_EQ(p.nft, 6);
  for (const auto& sl : p.slot) {
    EXPECT_DOUBLE_EQ(sl.codeRms, 0.5);
    EXPECT_DOUBLE_EQ(sl.phaseRms, static_cast<double>(0.01f));
  }
  EXPECT_FLOAT_EQ(p.dyn, 2e7f);
  EXPECT_TRUE(p.dblchk);
  EXPECT_EQ(p.scale, 2);
  EXPECT_EQ(p.mode, 1);
  EXPECT_EQ(p.ion, 1);
  EXPECT_FLOAT_EQ(p.mem, 0.75f);
  EXPECT_EQ(p.check, 300);
  EXPECT_TRUE(p.initKnown);
  EXPECT_FLOAT_EQ(p.tempc, -3.5f);
  EXPECT_FLOAT_EQ(p.humid, 80.0f);
  EXPECT_FLOAT_EQ(p.press, 950.0f);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(p.useSlot[i], meas[i] != 0) << i;
  // what the stored settings do not hold stays
  EXPECT_EQ(p.elm, 5);
  EXPECT_FLOAT_EQ(p.pdop, 30.0f);
  for (bool b : p.useSys) EXPECT_TRUE(b);
}

// A stored rms of zero would make the engine's weights (one over its square) infinite: the
// record keeps its rms, as for a stored value that is no number.
TEST(CpdParamsLoad, StoredZeroRmsKeepsTheWeightsFinite) {
  const struct { float rmsc, rmsp; double code, phase; } rows[] = {
      {0.0f, 0.0f, 0.5, 0.02},        {-0.0f, -0.0f, 0.5, 0.02},
      {0.0f, 0.01f, 0.5, 0.01f},      {0.25f, 0.0f, 0.25, 0.02},
      {0.25f, 0.01f, 0.25, 0.01f},
  };
  for (const auto& r : rows) {
    cpdParams.defaults();
    cpdParams.SetCodeRMS(0.5f);
    cpdParams.SetPhaseRMS(0.02f);
    RCV_SETTINGS s = factory();
    s.rtk.rmsc = r.rmsc;
    s.rtk.rmsp = r.rmsp;
    cpdParamsLoad(s);
    EXPECT_DOUBLE_EQ(cpdParams.slot[0].codeRms, r.code) << r.rmsc;
    EXPECT_DOUBLE_EQ(cpdParams.slot[0].phaseRms, static_cast<double>(static_cast<float>(r.phase))) << r.rmsp;
    const RtkNoise n = Engine::noiseOf(cpdParams);
    const RtkWeights w = Engine::weightsOf(0, 0, cpdParams);
    EXPECT_TRUE(std::isfinite(n.phWeight) && std::isfinite(w.phase) && std::isfinite(w.code))
        << r.rmsc << " " << r.rmsp;
  }
  cpdParams.defaults();
}

// Any stored bytes: the level stays in its table with its fix test, rms and dynamics stay numbers.
TEST(CpdParamsLoad, RandomStoredBytesKeepTheLevelInItsTable) {
  std::mt19937 rng(81);
  for (int n = 0; n < 2000; ++n) {
    RCV_SETTINGS s = factory();
    auto* b = reinterpret_cast<std::uint8_t*>(&s.rtk);
    for (std::size_t i = 0; i < sizeof s.rtk; ++i) b[i] = static_cast<std::uint8_t>(rng());
    cpdParamsLoad(s);
    ASSERT_GE(cpdParams.ambFixLevel, 0);
    ASSERT_LE(cpdParams.ambFixLevel, 3);
    ASSERT_EQ(cpdParams.nft, CpdParams::afl2nft[cpdParams.ambFixLevel]);
    ASSERT_TRUE(std::isfinite(cpdParams.slot[0].codeRms) && std::isfinite(cpdParams.slot[5].phaseRms));
    ASSERT_TRUE(std::isfinite(cpdParams.dyn) && std::isfinite(cpdParams.mem));
  }
}

}  // namespace
