// The RTK engine shell: the engine built before main from the default settings, its baseline
// reset and weights, the inter-system weight copy, its start-up step, and its matrices.
#include "differential/rtk/rtk_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <vector>

#include "differential/base/cpd_meas_buf.h"
#include "settings/rcv_settings.h"
#include "unit/own_process.h"

namespace {

std::vector<double> terms(const RtkNoise& n) {
  return {n.phVar0, n.phVar3, n.phVar0x07, n.phVar3x07, n.phVar0x3, n.phVar3x3, n.codeVar2,
          n.c005,   n.c099,   n.c001,      n.c09,       n.phWeight};
}
void expectTerms(const RtkNoise& n, const std::vector<double>& want, const char* what) {
  const std::vector<double> got = terms(n);
  for (std::size_t i = 0; i < want.size(); ++i) EXPECT_NEAR(got[i], want[i], 1e-12 * want[i]) << what << " term " << i;
}

// Built before main from the defaults: terms worked by hand from phase 0.05 m and code 5 m.
// Before any test resets it: in a process of its own.
TEST(RtkEngine, BuiltBeforeMainWithTheDefaultsNoise) {
  testproc::inOwnProcess([] {
    for (int bl = 0; bl < NUMBL; ++bl) {
      expectTerms(Eng->bline[bl]->noise,
                  {0.0025, 0.0025, 0.00175, 0.00175, 0.0075, 0.0075, 50.0, 0.05, 0.99, 0.01, 0.9, 400.0}, "defaults");
      EXPECT_DOUBLE_EQ(Eng->weights[bl].phase, 400.0) << bl;
      EXPECT_DOUBLE_EQ(Eng->weights[bl].code, 0.04) << bl;
    }
    EXPECT_EQ(RtkChan::curStateNum_z[1], 11);  // four systems
    EXPECT_EQ(Eng->lState.order(), 11);
  });
}

// Phase rms of slots 0 and 3 and code rms of slot 0, with terms worked by hand.
TEST(RtkEngine, ResetTakesTheNoiseOfTheCurrentSettings) {
  const struct { double ph0, ph3, code0; std::vector<double> want; } rows[] = {
      {0.01, 0.02, 0.5, {1e-4, 4e-4, 7e-5, 2.8e-4, 3e-4, 1.2e-3, 0.5, 0.05, 0.99, 0.01, 0.9, 1e4}},
      {0.1, 0.001, 100.0, {0.01, 1e-6, 0.007, 7e-7, 0.03, 3e-6, 2e4, 0.05, 0.99, 0.01, 0.9, 100.0}},
  };
  for (const auto& r : rows) {
    cpdParams.slot[0].phaseRms = r.ph0;
    cpdParams.slot[3].phaseRms = r.ph3;
    cpdParams.slot[0].codeRms = r.code0;
    Eng->Reset(0);
    expectTerms(Eng->bline[0]->noise, r.want, "reset");
    EXPECT_NEAR(Eng->weights[0].code, 1 / (r.code0 * r.code0), 1e-15);
  }
}

TEST(RtkEngine, ResetClearsTheBaselineAndItsMatrices) {
  BLine& b = *Eng->bline[1];
  b.counters[2] = 9;
  b.flags[0] = 1;
  b.limit[1] = 0.5f;
  b.cov.at(0, 1) = 7.0;
  b.cov.at(2, 2) = 7.0;
  Eng->Reset(1);
  EXPECT_EQ(b.counters[2], 0);
  EXPECT_EQ(b.flags[0], 0);
  EXPECT_FLOAT_EQ(b.limit[1], 10.0f);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_DOUBLE_EQ(b.cov.at(i, j), i == j ? 1.0 : 0.0);
  // no baseline 2
  Eng->Reset(2);
  Eng->Reset(-1);
}

TEST(RtkEngine, ResetClearsTheRegistrationOnlyWithTheResetOption) {
  const struct { int opt; std::uint8_t after; } rows[] = {{0, 1}, {1, 0}, {2, 0}};
  for (const auto& r : rows) {
    rest_opt = r.opt;
    Eng->Registered[0] = 1;
    Eng->Reset(0);
    EXPECT_EQ(Eng->Registered[0], r.after) << r.opt;
  }
  rest_opt = 0;
}

// k = 3 only for baseline 1, with bit 0 of the receiver-settings byte and a double-check flag.
TEST(RtkEngine, PhaseWeightFactor) {
  const struct { int bl; std::uint8_t byte; bool dbl; std::uint8_t dblW; double k; } rows[] = {
      {1, 1, true, 0, 3.0},  {1, 1, false, 1, 3.0}, {1, 1, true, 1, 3.0}, {1, 1, false, 0, 1.0},
      {1, 0, true, 1, 1.0},  {1, 2, true, 0, 1.0},  {1, 3, true, 0, 3.0}, {0, 1, true, 1, 1.0},
      {0, 0, false, 0, 1.0},
  };
  for (const auto& r : rows) {
    CpdParams p;
    p.dblchk = r.dbl;
    p.dblchkWeight = r.dblW;
    EXPECT_DOUBLE_EQ(Engine::phaseWeightFactor(r.bl, r.byte, p), r.k)
        << r.bl << " " << int(r.byte) << " " << r.dbl << " " << int(r.dblW);
    const RtkWeights w = Engine::weightsOf(r.bl, r.byte, p);
    EXPECT_DOUBLE_EQ(w.phase, 1.0 / (r.k * 0.05 * r.k * 0.05));
    EXPECT_DOUBLE_EQ(w.code, 1.0 / 25.0);
  }
  // through the engine: the stored byte and the live record
  RcvSet.bl1PhaseWeight = 1;
  cpdParams = CpdParams{};
  cpdParams.dblchk = true;
  Eng->Reset(1);
  Eng->Reset(0);
  EXPECT_DOUBLE_EQ(Eng->weights[1].phase, 400.0 / 9.0);
  EXPECT_DOUBLE_EQ(Eng->weights[0].phase, 400.0);
}

// The copy stays inside the entries the tables were filled for.
TEST(RtkEngine, AlphaCopyStaysInsideTheFilledSystems) {
  const struct { bool sys[7]; bool dblW; int n; double want[4]; } rows[] = {
      {{1, 1, 1, 1, 1, 1, 1}, false, 4, {-7, 0.005, 1.0, 1.0}},
      {{1, 1, 1, 1, 1, 1, 1}, true, 4, {-7, 0.01, 1.0, 1.0}},
      {{1, 1, 0, 0, 0, 0, 0}, false, 2, {-7, 0.005, -7, -7}},
      {{0, 1, 1, 0, 0, 0, 0}, true, 2, {-7, 1.0, -7, -7}},
      {{1, 0, 0, 0, 0, 0, 0}, false, 1, {-7, -7, -7, -7}},
  };
  for (const auto& r : rows) {
    std::copy(std::begin(r.sys), std::end(r.sys), cpdParams.useSys);
    cpdParams.dblchkWeight = r.dblW ? 1 : 0;
    RtkChan::defaultUsableSys();
    ASSERT_EQ(RtkChan::curSysNum, r.n);
    initRtkSysTables();
    for (auto& a : Eng->alpha) a[0] = a[1] = -7;
    Eng->SetAlpha();
    for (int i = 0; i < 4; ++i) {
      EXPECT_DOUBLE_EQ(Eng->alpha[i][0], r.want[i]) << r.n << " " << i;
      EXPECT_DOUBLE_EQ(Eng->alpha[i][1], r.want[i]) << r.n << " " << i;
    }
  }
}

TEST(RtkEngine, InitTakesTheBuffersAndSettings) {
  cpdBufsInit();
  cpdParams.dblchkWeight = 1;
  Eng->epochCount[2] = 5;
  nEpochHard = 12;
  rtkInit();
  filterInit();
  EXPECT_EQ(Eng->baseBuf, pBaseMeasBuf);
  EXPECT_NE(Eng->baseBuf, nullptr);
  EXPECT_EQ(Eng->rovBuf[0], pRovMeasBuf[0]);
  EXPECT_EQ(Eng->rovBuf[1], pRovMeasBuf[1]);
  EXPECT_EQ(Eng->epochCount[2], 0);
  EXPECT_EQ(nEpochHard, 0);
  EXPECT_NE(tstart, 0u);
  EXPECT_EQ(Eng->eng2bl[0], 0);
  EXPECT_EQ(Eng->eng2bl[1], 1);
  EXPECT_EQ(Eng->one, 1);
  EXPECT_EQ(Eng->numBl, 2);
  EXPECT_EQ(Eng->dblchkWeight, 1);
}

TEST(RtkEngine, DiagnosticLinesUnderTheirSelectors) {
  mult_dbi = 0;
  fast_rtk_dbi = 1;
  testing::internal::CaptureStdout();
  Eng->Reset(1);
  Eng->rtkInit_();
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find(" SLOW RESET bl 1 "), std::string::npos) << out;
  EXPECT_NE(out.find("init_ 0 1 NUMBL 2\n"), std::string::npos) << out;
  fast_rtk_dbi = 0;
  testing::internal::CaptureStdout();
  Eng->Reset(1);
  Eng->rtkInit_();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// ---- matrices ------------------------------------------------------------------------------------

TEST(RtkMatrix, ResetWithinCapacityOnly) {
  Mat m(4, 5);
  const struct { int r, c; bool ok; } rows[] = {{4, 5, true}, {0, 0, true}, {5, 5, false}, {4, 6, false}, {-1, 2, false}};
  for (const auto& r : rows) {
    ASSERT_TRUE(m.Reset(3, 3));
    EXPECT_EQ(m.Reset(r.r, r.c), r.ok) << r.r << "x" << r.c;
    EXPECT_EQ(m.rows(), r.ok ? r.r : 3);
    EXPECT_EQ(m.cols(), r.ok ? r.c : 3);
  }
}

TEST(RtkMatrix, ZeroAndIdent) {
  Mat m(3, 3);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) m.at(i, j) = 9.0;
  m.Ident();
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_DOUBLE_EQ(m.at(i, j), i == j ? 1.0 : 0.0) << i << "," << j;
  m.Zero();
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_DOUBLE_EQ(m.at(i, j), 0.0);
}

TEST(RtkMatrix, PackedLowerTriangle) {
  const int rows[][3] = {{0, 0, 0}, {1, 0, 1}, {1, 1, 2}, {2, 0, 3}, {3, 3, 9}, {87, 87, 3915}, {0, 2, 3}};
  for (const auto& r : rows) EXPECT_EQ(LMat::index(r[0], r[1]), r[2]) << r[0] << "," << r[1];
  LMat l(4);
  l.at(3, 1) = 2.5;
  EXPECT_DOUBLE_EQ(l.at(1, 3), 2.5);
  l.at(2, 2) = 1.0;
  l.Zero();
  EXPECT_DOUBLE_EQ(l.at(3, 1), 0.0);
  EXPECT_DOUBLE_EQ(l.at(2, 2), 0.0);
  EXPECT_FALSE(l.Reset(5));
  EXPECT_TRUE(l.Reset(2));
  EXPECT_EQ(l.order(), 2);
  EXPECT_TRUE(l.active(3));
}

TEST(RtkMatrix, Tolerance) {
  EXPECT_DOUBLE_EQ(Mat(1, 1).tol(), 1e-9);
  EXPECT_DOUBLE_EQ(LMat(1).tol(), 1e-9);
  EXPECT_NEAR(ang_thr, 0.0872664626, 1e-10);  // 5 degrees
}

}  // namespace
