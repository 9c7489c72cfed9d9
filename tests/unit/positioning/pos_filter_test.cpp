// The output position filter: running mean and adaptive weight, restart after a gap, the static
// pass-through driven by the filtered speed, and fixes whose rms says nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "positioning/reference/pos_filter.h"

namespace {

constexpr std::uint32_t kT0 = 1000000;

struct Out {
  double rms = 0;
  double pos[3] = {};
  int count = 0;
  bool active = false;
};

Out put(PosFilter& f, double rms, double x, std::uint32_t t) {
  Out o;
  const double p[3] = {x, 2 * x, -x};
  o.active = f.putPosition(rms, p, o.rms, o.pos, o.count, t);
  return o;
}

TEST(PosFilter, RunningMeanUpToTheCapThenLeaky) {
  // Independent running mean: exact while below the cap, then each fix weighs 1/cap.
  PosFilter f;
  ASSERT_TRUE(f.setNum(3));
  const double xs[] = {10, 20, 30, 40, 50};
  double mean = 0;
  int n = 0;
  for (int i = 0; i < 5; ++i) {
    n = n < 3 ? n + 1 : 3;
    mean = (xs[i] + (n - 1) * mean) / n;
    const Out o = put(f, 1.0, xs[i], kT0 + i);
    EXPECT_TRUE(o.active);
    EXPECT_NEAR(o.pos[0], mean, 1e-12) << i;
    EXPECT_NEAR(o.pos[1], 2 * mean, 1e-12) << i;
  }
}

TEST(PosFilter, GapRestarts) {
  struct Row {
    const char* name;
    std::uint32_t gap;
    int maxdel;
    double expect;  // x of the output after fixes 10 then 20
  };
  const Row rows[] = {
      {"10 s keeps the mean", 10, 10, 15},
      {"11 s restarts", 11, 10, 20},
      {"3 s with maxdel 2 restarts", 3, 2, 20},
      {"2 s with maxdel 2 keeps", 2, 2, 15},
  };
  for (const Row& r : rows) {
    PosFilter f;
    ASSERT_TRUE(f.setMaxDel(r.maxdel));
    put(f, 1.0, 10, kT0);
    const Out o = put(f, 1.0, 20, kT0 + r.gap);
    EXPECT_DOUBLE_EQ(o.pos[0], r.expect) << r.name;
  }
}

TEST(PosFilter, ErrorFilterAfterResetAndOutputCount) {
  // reset seeds the error filter with 1,000,000: the first fix's rms averages with it.
  PosFilter f;
  const Out o = put(f, 2.0, 5, kT0);
  EXPECT_DOUBLE_EQ(o.rms, (2.0 + 1000000.0) / 2);
  EXPECT_EQ(o.count, 2);
}

TEST(PosFilter, AdaptiveWeightClamps) {
  struct Row {
    const char* name;
    double rms2;     // rms of the second fix
    double weight;   // expected weight of the second fix
  };
  // After the first fix (rms 1: weight 1e6/10 > 1, so the error filter restarts at 1, then takes
  // the fix's rms again) the error mean is 1.
  const Row rows[] = {
      {"mean/10rms = 0.5", 0.2, 0.5},
      {"mean/10rms = 0.01", 10, 0.01},
      {"below 0.001 is 0.001", 1000, 0.001},
      {"above 1 is 1", 0.01, 1.0},
      {"exactly 1", 0.1, 1.0},
  };
  for (const Row& r : rows) {
    PosFilter f;
    f.setWeight(true);
    const Out a = put(f, 1.0, 10, kT0);
    ASSERT_DOUBLE_EQ(a.pos[0], 10) << r.name;
    ASSERT_DOUBLE_EQ(a.rms, 1.0) << r.name;
    const Out b = put(f, r.rms2, 20, kT0 + 1);
    EXPECT_NEAR(b.pos[0], r.weight * 20 + (1 - r.weight) * 10, 1e-12) << r.name;
  }
}

TEST(PosFilter, RmsZeroOrNotANumberGivesAFinitePosition) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (bool adaptive : {false, true}) {
    for (double bad : {0.0, -1.0, nan, inf}) {
      PosFilter f;
      f.setWeight(adaptive);
      put(f, 1.0, 10, kT0);
      const Out b = put(f, bad, 20, kT0 + 1);
      for (double v : b.pos) EXPECT_TRUE(std::isfinite(v)) << adaptive << " " << bad;
      EXPECT_TRUE(std::isfinite(b.rms)) << adaptive << " " << bad;
      // With the adaptive weight the fix takes weight 1; the error filter is left alone.
      if (adaptive) {
        EXPECT_DOUBLE_EQ(b.pos[0], 20) << bad;
      }
      const Out c = put(f, 1.0, 30, kT0 + 2);
      for (double v : c.pos) EXPECT_TRUE(std::isfinite(v)) << adaptive << " " << bad;
      EXPECT_TRUE(std::isfinite(c.rms));
    }
  }
}

TEST(PosFilter, StaticPassThroughFollowsTheFilteredSpeed) {
  PosFilter f;
  f.setSpdMode(true);
  put(f, 1.0, 10, kT0);
  // Four slow speeds: fewer than the filter's length, so still smoothing.
  for (int i = 0; i < 4; ++i) f.putVelocity(1.75);
  Out o = put(f, 1.0, 20, kT0 + 1);
  EXPECT_TRUE(o.active);
  EXPECT_DOUBLE_EQ(o.pos[0], 15);
  // The fifth: raw output with its own rms.
  f.putVelocity(1.75);
  o = put(f, 0.5, 40, kT0 + 2);
  EXPECT_FALSE(o.active);
  EXPECT_DOUBLE_EQ(o.pos[0], 40);
  EXPECT_DOUBLE_EQ(o.rms, 0.5);
  // A sixth of 3.0 lifts the mean to (3 + 4 x 1.75) / 5 = 2.0: smoothing again.
  f.putVelocity(3.0);
  o = put(f, 1.0, 40, kT0 + 3);
  EXPECT_TRUE(o.active);
  EXPECT_NE(o.pos[0], 40);
}

TEST(PosFilter, PassThroughOffOrFastKeepsSmoothing) {
  struct Row {
    const char* name;
    bool spdmode;
    double speed;
    float spdmax;
    bool active;
  };
  const Row rows[] = {
      {"pass-through off", false, 0.1, 2.0f, true},
      {"fast", true, 2.5, 2.0f, true},
      {"slow", true, 0.1, 2.0f, false},
      {"threshold raised", true, 2.5, 3.0f, false},
  };
  for (const Row& r : rows) {
    PosFilter f;
    f.setSpdMode(r.spdmode);
    ASSERT_TRUE(f.setSpdMax(r.spdmax));
    put(f, 1.0, 1, kT0);  // the first fix restarts the filter, speeds too
    for (int i = 0; i < 5; ++i) f.putVelocity(r.speed);
    EXPECT_EQ(put(f, 1.0, 1, kT0 + 1).active, r.active) << r.name;
  }
}

TEST(PosFilter, SettingRangesAndInit) {
  struct Row {
    const char* name;
    bool (*set)(PosFilter&, double);
    double value;
    bool ok;
  };
  const Row rows[] = {
      {"num 0", [](PosFilter& f, double v) { return f.setNum(static_cast<int>(v)); }, 0, false},
      {"num 1", [](PosFilter& f, double v) { return f.setNum(static_cast<int>(v)); }, 1, true},
      {"num 32768", [](PosFilter& f, double v) { return f.setNum(static_cast<int>(v)); }, 32768, false},
      {"spdnum 0", [](PosFilter& f, double v) { return f.setSpdNum(static_cast<int>(v)); }, 0, false},
      {"spdnum 1", [](PosFilter& f, double v) { return f.setSpdNum(static_cast<int>(v)); }, 1, true},
      {"maxdel 0", [](PosFilter& f, double v) { return f.setMaxDel(static_cast<int>(v)); }, 0, false},
      {"maxdel 3600", [](PosFilter& f, double v) { return f.setMaxDel(static_cast<int>(v)); }, 3600, true},
      {"maxdel 3601", [](PosFilter& f, double v) { return f.setMaxDel(static_cast<int>(v)); }, 3601, false},
      {"spdmax 0", [](PosFilter& f, double v) { return f.setSpdMax(static_cast<float>(v)); }, 0, false},
      {"spdmax 0.01", [](PosFilter& f, double v) { return f.setSpdMax(static_cast<float>(v)); }, 0.01, true},
      {"spdmax nan", [](PosFilter& f, double v) { return f.setSpdMax(static_cast<float>(v)); }, std::nan(""), false},
  };
  for (const Row& r : rows) {
    PosFilter f;
    const PosFilter::Settings before = f.settings();
    EXPECT_EQ(r.set(f, r.value), r.ok) << r.name;
    if (!r.ok) {
      const PosFilter::Settings after = f.settings();
      EXPECT_EQ(after.num, before.num) << r.name;
      EXPECT_EQ(after.spdnum, before.spdnum) << r.name;
      EXPECT_EQ(after.maxdel, before.maxdel) << r.name;
      EXPECT_EQ(after.spdmax, before.spdmax) << r.name;
    }
  }
  PosFilter f;
  f.setNum(7), f.setSpdNum(2), f.setMaxDel(3), f.setSpdMax(9), f.setWeight(true), f.setSpdMode(true);
  put(f, 1, 1, kT0);
  f.init();
  const PosFilter::Settings s = f.settings();
  EXPECT_EQ(s.num, 30);
  EXPECT_EQ(s.spdnum, 5);
  EXPECT_EQ(s.maxdel, 10);
  EXPECT_EQ(s.spdmax, 2.0f);
  EXPECT_FALSE(s.weight);
  EXPECT_FALSE(s.spdmode);
  EXPECT_DOUBLE_EQ(put(f, 1, 5, kT0 + 1).pos[0], 5) << "the fix before init is forgotten";
}

TEST(PosFilter, ResetClearsThePosition) {
  PosFilter f;
  put(f, 1.0, 10, kT0);
  put(f, 1.0, 20, kT0 + 1);
  f.reset();
  EXPECT_DOUBLE_EQ(put(f, 1.0, 40, kT0 + 2).pos[0], 40);
}

}  // namespace
