// Outlier screening of the projection models, referenced GLONASS models across a base clock
// jump, and lines projected at 1 Hz and 0.2 Hz by the models alone.
#include "unit/differential/base_pro_test_util.h"

namespace {

// The satellite of an engine slot (the model's global id less one).
CpdSv svOfSlot(int slot) {
  CpdSv sv;
  CpdSv::fromId(slot + 1, sv);
  return sv;
}

using namespace bptest;

// ---- screening ----------------------------------------------------------------------------------

struct ScreenRow {
  const char* name;
  int first, count;        // slots of the models
  double settledUpdates;   // age and count of every model
  int ref;                 // reference slot, -1 none
  std::map<int, double> residual;  // phase residuals (cycles) other than 0
  int mode;
  std::vector<int> excluded;       // slots whose signal ends idle
  bool refDropped;
};

const double kNaN = std::nan("");

const ScreenRow kScreens[] = {
    {"one 0.5 cycle outlier among 31, young models, reference", 0, 31, 29, 0, {{10, 0.5}}, 1, {10}, false},
    {"the same without reference: 9 cycles", 0, 31, 29, -1, {{10, 0.5}}, 1, {}, false},
    {"the same settled (k 7)", 0, 31, 40, 0, {{10, 0.5}}, 1, {}, false},
    {"the same from corrections (x3)", 0, 31, 29, 0, {{10, 0.5}}, 2, {}, false},
    {"8.75 cycles off the mean without reference: kept", 0, 8, 40, -1, {{3, 10.0}}, 1, {}, false},
    {"10.5 cycles off the mean without reference", 0, 8, 40, -1, {{3, 12.0}}, 1, {3}, false},
    {"two outliers: a second pass", 0, 8, 40, -1, {{3, 12.0}, {5, -12.5}}, 1, {3, 5}, false},
    {"the reference is the outlier (9 cycles for it)", 0, 31, 29, 10, {}, 1, {10}, true},
    {"fewer than 6 updates: not screened", 0, 8, 5, -1, {{3, 10.0}}, 1, {}, false},
    {"a residual that is no number idles", 0, 8, 40, -1, {{3, kNaN}}, 1, {3}, false},
    {"a reference whose residual is no number idles, the others kept", 0, 8, 40, 0, {{0, kNaN}}, 1, {0}, false},
    {"the same with one other model", 0, 2, 40, 0, {{0, kNaN}}, 1, {0}, false},
    {"GLONASS, 12 channel cycles", 32, 15, 40, -1, {{40, 12.0}}, 1, {40}, false},
    {"GLONASS +7 scaled to GPS L1 cycles: kept", 32, 15, 40, -1, {{46, 9.75}}, 1, {}, false},
    {"Galileo E01 not scaled as GLONASS", 47, 8, 40, -1, {{47, 10.4}}, 1, {47}, false},
    {"Galileo E08 not scaled as GLONASS", 47, 8, 40, -1, {{54, 10.4}}, 1, {54}, false},
};

TEST(BaseProScreen, Outliers) {
  for (const ScreenRow& row : kScreens) {
    SCOPED_TRACE(row.name);
    freshContainer();
    const int sys = bpro::slotSys(row.first);
    for (int q = row.first; q < row.first + row.count; ++q) {
      ASSERT_EQ(BPC.FindSlot(0, q, 0), 1);
      BasePro& p = *BPC.at(0, q);
      p.cnt[0] = static_cast<int>(row.settledUpdates);
      p.age[0] = row.settledUpdates;
      p.dtp[0] = 1.0;
      p.Fi[0] = 7.0;
      auto it = row.residual.find(q);
      p.resFi[0] = it != row.residual.end() ? it->second : 0.0;
      // An outlying reference: its absolute residual 10, the differences to it -10.
      if (row.refDropped) p.resFi[0] = q == row.ref ? 10.0 : -10.0;
    }
    if (row.ref >= 0) BPC.ref[sys * 6] = static_cast<std::uint16_t>(row.ref);
    BPC.mode = row.mode;
    baseProScreen(0);
    for (int q = row.first; q < row.first + row.count; ++q) {
      const bool out = std::find(row.excluded.begin(), row.excluded.end(), q) != row.excluded.end();
      EXPECT_EQ(BPC.at(0, q)->st[0], out ? 0 : 1) << "slot " << q;
    }
    if (row.refDropped) {
      EXPECT_EQ(BPC.ref[sys * 6], bpro::kNoSlot);
      // The others took the old reference's model back: absolute again.
      EXPECT_EQ(BPC.at(0, row.first + 1)->Fi[0], 14.0);
    } else if (row.ref >= 0) {
      EXPECT_EQ(BPC.ref[sys * 6], row.ref);
    }
  }
}

// ---- GLONASS with a reference -------------------------------------------------------------------

constexpr double kDSat = 2.1e7;

// Phase of a GLONASS satellite: its range term, an ambiguity and a clock drift of 1.6 L1 cycles/s
// scaled to its carrier; a base clock jump j moves the epoch by j and adds f j.
struct GloSignal {
  double A;
  double phase(int slot, double t, double j) const {
    const double f = calcfr(slot, 0);
    return f * kDSat / kC + A + 1.6 * f / kL1 * (t - j) + f * j;
  }
  double code(double t, double j) const { return kDSat + 30.0 + 1.6 * kLambda1 * (t - j) + kC * j; }
};

// Emulates the measurement and update steps for slots with a fixed range term: the others'
// measurements as single differences to the reference.
void epoch(double t, int ref, const std::map<int, GloSignal>& sig, double j) {
  const int tms = static_cast<int>(std::llround(t * 1000.0));
  const double refPhi = sig.at(ref).phase(ref, t, j), refCode = sig.at(ref).code(t, j);
  for (const auto& [slot, g] : sig) {
    BasePro& p = *BPC.at(0, slot);
    p.dSat = kDSat;
    const bool other = slot != ref;
    p.Add(svOfSlot(slot), tms, 1.0, g.phase(slot, t, j) - (other ? refPhi : 0.0),
          g.code(t, j) - (other ? refCode : 0.0), 0, slot, -1);
  }
  baseProUpdateAll(0);
}

struct GloJumpRow {
  const char* name;
  int ref, other;
  double ms;
};
const GloJumpRow kGloJumps[] = {
    {"reference below, 1 ms", 35, 42, 1.0},
    {"reference above, 1 ms", 42, 35, 1.0},
    {"reference below, -2 ms", 33, 46, -2.0},
    {"reference above, 10 ms", 46, 33, 10.0},
};

// The FDMA carriers differ, so a base clock jump leaves (f - f_r) j in the single difference;
// the referred model takes it in and its projection follows the jumped difference.
TEST(BaseProScreen, GlonassReferenceAcrossAClockJump) {
  for (const GloJumpRow& row : kGloJumps) {
    SCOPED_TRACE(row.name);
    freshContainer();
    RcvSet.rtk.diffext = 1;
    std::map<int, GloSignal> sig = {{row.ref, GloSignal{500.25}}, {row.other, GloSignal{-77.5}}};
    for (const auto& [slot, g] : sig) ASSERT_EQ(BPC.FindSlot(0, slot, 100000), 1);
    BPC.ref[6] = static_cast<std::uint16_t>(row.ref);
    double t = 100.0;
    for (int k = 0; k < 20; ++k, t += 1.0) epoch(t, row.ref, sig, 0.0);
    const double j = row.ms / 1000.0;
    const double f = calcfr(row.other, 0), fr = calcfr(row.ref, 0);
    for (int k = 0; k < 4; ++k, t += 1.0) {
      epoch(t, row.ref, sig, j);
      BasePro o = *BPC.at(0, row.other), r = *BPC.at(0, row.ref);
      o.Proj(t + 1.5, 0);
      r.Proj(t + 1.5, 0);
      const double want = sig[row.other].A - sig[row.ref].A + 1.6 * (f - fr) / kL1 * (t + 1.5 - j) + (f - fr) * j;
      EXPECT_NEAR(o.Fi[0], want, 1e-3) << "epoch " << k;
      EXPECT_NEAR(r.Fi[0], sig[row.ref].A + 1.6 * fr / kL1 * (t + 1.5 - j) + fr * j, 1e-3) << "epoch " << k;
      EXPECT_EQ(o.st[0], 1);
    }
  }
}

// ---- lines by the models alone ------------------------------------------------------------------

struct LineRow {
  const char* name;
  double step;
};
const LineRow kLines[] = {{"1 Hz", 1.0}, {"0.2 Hz", 5.0}};

// GPS L1 phase and code less a fixed range term on lines (ambiguity, clock drift 1.6 cycles/s):
// after 60 updates the phase 1.5 s ahead and the code are on them.
TEST(BaseProScreen, LinesAfterSixtyUpdates) {
  for (const LineRow& row : kLines) {
    SCOPED_TRACE(row.name);
    freshContainer();
    ASSERT_EQ(BPC.FindSlot(0, 7, 0), 1);
    BasePro& p = *BPC.at(0, 7);
    const double f = calcfr(7, 0);
    auto phase = [&](double t) { return f * kDSat / kC + 321.5 + 1.6 * t; };
    auto code = [&](double t) { return kDSat + 12.0 + 1.6 * kLambda1 * t; };
    double t = 0.0;
    for (int k = 0; k <= 60; ++k, t += row.step) {
      p.dSat = kDSat;
      p.Add(svOfSlot(7), static_cast<int>(t * 1000.0), 1.0, phase(t), code(t), 0, 7, -1);
      if (p.dtp[0] > 0.0) p.Update(0);
    }
    t -= row.step;
    EXPECT_EQ(p.cnt[0], 60);
    BasePro ahead = p;
    ahead.Proj(t + 1.5, 0);
    EXPECT_NEAR(ahead.Fi[0], phase(t + 1.5) - f * kDSat / kC, 1e-3);
    EXPECT_NEAR(p.ProjRRo(t + 1.5, 0), code(t + 1.5), 1e-3);
    EXPECT_NEAR(p.ProjRRo(t, 0), code(t), 1e-3);
  }
}

}  // namespace
