// The RTK engine's settings record: construction defaults, each setter's rule and edge, and the
// settings loader's mapping of the stored RTK settings.
#include "differential/rtk/cpd_params.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "settings/rcv_settings.h"

namespace {

TEST(CpdParams, ConstructionDefaults) {
  const CpdParams p;
  EXPECT_EQ(p.elm, 5);
  EXPECT_FLOAT_EQ(p.pdop, 30.0f);
  EXPECT_EQ(p.scale, 1);
  EXPECT_EQ(p.ambFixLevel, CpdParams::kMedium);
  for (bool b : p.useSlot) EXPECT_TRUE(b);
  for (bool b : p.useSys) EXPECT_TRUE(b);
  EXPECT_EQ(p.ion, 0);
  EXPECT_EQ(p.flagB, 0);
  EXPECT_EQ(p.flagC, 1);
  EXPECT_FALSE(p.dblchk);
  EXPECT_EQ(p.dblchkWeight, 0);
  EXPECT_FLOAT_EQ(p.mem, 0.9995f);
  EXPECT_EQ(p.mode, 0);
  EXPECT_NEAR(p.sinElm, 0.0871557, 5e-8);  // sine of 5 degrees
  EXPECT_EQ(p.nft, 4);
  for (const auto& s : p.slot) {
    EXPECT_DOUBLE_EQ(s.codeRms, 5.0);
    EXPECT_DOUBLE_EQ(s.phaseRms, 0.05);
  }
  EXPECT_EQ(p.wordD, -1);
  EXPECT_FALSE(p.initKnown);
  EXPECT_FLOAT_EQ(p.dyn, 2e7f);
  EXPECT_EQ(p.check, 17);
}

// The global holds its defaults before anything runs: it is constant-initialised.
TEST(CpdParams, GlobalStartsAtTheDefaults) {
  const CpdParams& g = cpdParams;
  EXPECT_EQ(g.elm, 5);
  EXPECT_EQ(g.nft, 4);
  EXPECT_EQ(g.check, 17);
  EXPECT_EQ(g.wordD, -1);
  EXPECT_FLOAT_EQ(g.dyn, 2e7f);
  EXPECT_DOUBLE_EQ(g.slot[5].codeRms, 5.0);
  EXPECT_DOUBLE_EQ(g.slot[5].phaseRms, 0.05);
  EXPECT_TRUE(g.useSys[6]);
}

TEST(CpdParams, ElevationMaskAndItsSine) {
  // sin(deg) from tables of the sine, independent of the code's constant.
  const struct { int deg; double sine; } rows[] = {
      {0, 0.0}, {5, 0.0871557427}, {10, 0.1736481777}, {15, 0.2588190451}, {30, 0.5}, {90, 1.0}, {-5, -0.0871557427},
  };
  for (const auto& r : rows) {
    CpdParams p;
    p.setElm(r.deg);
    EXPECT_EQ(p.elm, r.deg);
    EXPECT_NEAR(p.sinElm, r.sine, 1e-7) << r.deg;
  }
  CpdParams p;
  p.setElm(0);
  EXPECT_EQ(p.sinElm, 0.0f);
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

TEST(CpdParams, RmsSettersWriteEverySlot) {
  CpdParams p;
  p.SetCodeRMS(0.5f);
  p.SetPhaseRMS(0.002f);
  for (const auto& s : p.slot) {
    EXPECT_DOUBLE_EQ(s.codeRms, 0.5);
    EXPECT_DOUBLE_EQ(s.phaseRms, static_cast<double>(0.002f));
  }
}

TEST(CpdParams, UseFlagsAndSmallSetters) {
  CpdParams p;
  const bool sys[7] = {true, false, true, false, false, true, false};
  const bool sl[6] = {false, true, false, true, true, false};
  p.setUseSys(sys);
  p.setUseSlot(sl);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(p.useSys[i], sys[i]) << i;
  for (int i = 0; i < 6; ++i) EXPECT_EQ(p.useSlot[i], sl[i]) << i;
  p.setPDOP(12.5f);
  p.SetInitKnown(true);
  EXPECT_FLOAT_EQ(p.pdop, 12.5f);
  EXPECT_TRUE(p.initKnown);
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

TEST(CpdParamsLoad, BadStoredValuesLeaveTheRecordsValues) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const struct { const char* name; std::uint8_t aflevel; float rmsc; double dyn; } rows[] = {
      {"level 4", 4, 1.0f, 0.5}, {"level 255", 255, 1.0f, 0.5}, {"code rms nan", 1, nan, 0.5},
      {"dyn nan", 1, 1.0f, std::numeric_limits<double>::quiet_NaN()},
  };
  for (const auto& r : rows) {
    RCV_SETTINGS s = factory();
    s.rtk.aflevel = r.aflevel;
    s.rtk.rmsc = r.rmsc;
    s.rtk.dyn = r.dyn;
    cpdParams.defaults();
    cpdParams.setAmbFixLevel(0);
    cpdParamsLoad(s);
    SCOPED_TRACE(r.name);
    if (r.aflevel > 3) {
      EXPECT_EQ(cpdParams.ambFixLevel, 0);
      EXPECT_EQ(cpdParams.nft, 0);
    } else {
      EXPECT_EQ(cpdParams.ambFixLevel, r.aflevel);
    }
    EXPECT_TRUE(std::isfinite(cpdParams.slot[0].codeRms));
    EXPECT_TRUE(std::isfinite(cpdParams.dyn));
  }
}

// Any stored bytes: the level stays in its table and the fix test matches it.
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
  }
}

}  // namespace
