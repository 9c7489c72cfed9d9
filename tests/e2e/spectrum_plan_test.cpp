// The spectrum plan seen through its print keys: for each channel in use, the number of points
// and the frequency step follow from the wanted step, the averaging method and the resampling
// factor (M = channel rate / wanted step, to the nearer power of two, a tie to the lower, at most
// 32768; "mean" widens the wanted step by the factor and keeps M points; "min" and "max" thin the
// points by it and widen the step). The channel rate (sample rate over the channel's filter
// decimation) is what the factory plan shows: points times step. A channel not in use has no
// points. Besides: the antenna letters, a measurement started by printing "sp" (a second while
// one runs is refused), channel names from the frequency plan, and the AGC levels, which the
// board's records do not carry.
#include <cmath>
#include <cstdlib>
#include <vector>

#include "e2e/harness.h"

namespace e2e {
namespace {

using SpectrumPlan = Rx;

constexpr int kChannels = 12;

std::string body(const std::string& reply) {
  return reply.rfind("RE", 0) == 0 && reply.size() >= 7 ? reply.substr(5, reply.size() - 7) : "?" + reply;
}

long nearestPow2(long m) {
  long lo = 1;
  while (lo * 2 <= m) lo *= 2;
  const long pick = (m - lo <= 2 * lo - m) ? lo : 2 * lo;
  return pick > 32768 ? 32768 : pick;
}

TEST_F(SpectrumPlan, PointsAndStepFollowTheSettingsOfEveryChannel) {
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/spectr/m_aver"), re("max"));
  EXPECT_EQ(ask("print,/par/spectr/frq_step"), re("1000"));
  EXPECT_EQ(ask("print,/par/spectr/resampl"), re("1"));

  // The channel rates, from the factory plan (max, resampl 1: points M, step rate / M).
  std::vector<double> rate(kChannels, 0.0);
  int used = 0;
  for (int c = 0; c < kChannels; ++c) {
    const std::string n = std::to_string(c);
    const double frq0 = std::atof(body(ask("print,/par/spectr/frq0/" + n)).c_str());
    const long points = std::atol(body(ask("print,/par/spectr/cursize/" + n)).c_str());
    const double step = std::atof(body(ask("print,/par/spectr/curstep/" + n)).c_str());
    if (frq0 == 0.0) {
      EXPECT_EQ(points, 0) << "channel " << c << " not in use";
      continue;
    }
    ++used;
    EXPECT_FALSE(body(ask("print,/par/spectr/name/" + n)).empty()) << c;
    rate[c] = points * step;
    EXPECT_GT(rate[c], 1e6) << c;
  }
  ASSERT_GE(used, 2);

  const struct {
    int step;
    const char* aver;
    int resampl;
  } rows[] = {{10000, "max", 1}, {3000, "mean", 3}, {700, "min", 4}, {250, "max", 2}, {1000, "max", 1}};
  for (const auto& r : rows) {
    SCOPED_TRACE(std::to_string(r.step) + " " + r.aver + " " + std::to_string(r.resampl));
    ASSERT_EQ(ask("%s%set,/par/spectr/frq_step," + std::to_string(r.step)), re("%s%"));
    ASSERT_EQ(ask(std::string("%a%set,/par/spectr/m_aver,") + r.aver), re("%a%"));
    ASSERT_EQ(ask("%r%set,/par/spectr/resampl," + std::to_string(r.resampl)), re("%r%"));
    const bool mean = std::string(r.aver) == "mean";
    for (int c = 0; c < kChannels; ++c) {
      if (rate[c] == 0.0) continue;
      const std::string n = std::to_string(c);
      const double wanted = mean ? r.step * r.resampl : r.step;
      const long m = nearestPow2(static_cast<long>(rate[c] / wanted));
      const long points = mean ? m : (m - 1) / r.resampl + 1;
      const double step = mean ? rate[c] / m : rate[c] / m * r.resampl;
      EXPECT_EQ(std::atol(body(ask("print,/par/spectr/cursize/" + n)).c_str()), points) << "channel " << c;
      EXPECT_NEAR(std::atof(body(ask("print,/par/spectr/curstep/" + n)).c_str()), step, 0.1 + step * 1e-4)
          << "channel " << c;
    }
  }

  // Antenna letters.
  for (const char* a : {"b", "ab", "a"}) {
    ASSERT_EQ(ask(std::string("%n%set,/par/spectr/ant,") + a), re("%n%"));
    EXPECT_EQ(ask("print,/par/spectr/ant"), re(a));
  }
  EXPECT_EQ(ask("%n%set,/par/spectr/ant,c"), frame("ER", "%n%{7,,wrong 2nd parameter}"));
  EXPECT_EQ(ask("print,/par/spectr/ant"), re("a"));

  // A measurement starts once; the AGC levels are not available.
  EXPECT_EQ(ask("print,/par/spectr/sp&agc"), re("start"));
  EXPECT_EQ(ask("print,/par/spectr/state"), re("start"));
  EXPECT_EQ(ask("print,/par/spectr/sp").rfind("ER", 0), 0u);
  EXPECT_EQ(ask("print,/par/spectr/agc/mean/0").rfind("ER", 0), 0u);
  EXPECT_EQ(ask("print,/par/spectr/agc/rms/3").rfind("ER", 0), 0u);
}

}  // namespace
}  // namespace e2e
