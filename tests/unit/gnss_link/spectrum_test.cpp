#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "command/settings_commands.h"
#include "differential/lband/omnistar_params.h"
#include "gnss_link/freq_plan.h"
#include "gnss_link/peripherals/spectrum.h"
#include "platform/file_nvm.h"
#include "platform/nv_block.h"
#include "settings/nv_settings.h"
#include "unit/command/capture_port.h"
#include "unit/gnss_link/native_test_util.h"
#include "unit/platform/temp_run_dir.h"

namespace {

// Points and step by the rule written out again: M = r / (s k) (s times resampl for mean),
// the nearer power of two (ties low, at most 32768), mean: M points and r / (M k); min and max:
// (M - 1) / resampl + 1 points, step times resampl. Expected values worked by hand.
TEST(SpectrumPlan, PointsAndStepFollowTheRule) {
  const struct {
    const char* what;
    double r;
    int k, s, aver, resampl;
    int points;
    double step;
  } rows[] = {
      {"worked example: 40000 becomes 32768", 40e6, 1, 1000, kSpMax, 1, 32768, 1220.703125},
      {"a tie takes the lower: 24576", 24576000, 1, 1000, kSpMean, 1, 16384, 1500.0},
      {"just above the tie goes up", 24577000, 1, 1000, kSpMean, 1, 32768, 24577000.0 / 32768},
      {"3 lies between 2 and 4: tie, 2", 3000, 1, 1000, kSpMean, 1, 2, 1500.0},
      {"a power of two stays", 4096000, 1, 1000, kSpMax, 1, 4096, 1000.0},
      {"mean with resampl 4 takes s x 4", 40e6, 1, 1000, kSpMean, 4, 8192, 4882.8125},
      {"min with resampl 4 thins the points", 40e6, 1, 1000, kSpMin, 4, 8192, 4882.8125},
      {"max with resampl 3", 40e6, 1, 1000, kSpMax, 3, 10923, 3662.109375},
      {"skip 2 halves M", 40e6, 2, 1000, kSpMax, 1, 16384, 1220.703125},
      {"at most 32768 however large M", 1e12, 1, 1, kSpMean, 1, 32768, 1e12 / 32768},
      {"saturating above the 32-bit limit", 1e15, 1, 1, kSpMax, 1, 32768, 1e15 / 32768},
      {"M below 1 becomes 1", 1000, 1, 10000, kSpMax, 1, 1, 1000.0},
      {"M below 1 with min and resampl 10", 1000, 1, 10000, kSpMin, 10, 1, 10000.0},
      {"large L-band step x resampl below r", 50000, 1, 10000, kSpMean, 10, 1, 50000.0},
      {"no sample rate: unused", 0, 1, 1000, kSpMax, 1, 0, 0.0},
      {"negative rate: unused", -5, 1, 1000, kSpMax, 1, 0, 0.0},
  };
  for (const auto& r : rows) {
    const SpPlan p = spPlan(r.r, r.k, r.s, r.aver, r.resampl);
    EXPECT_EQ(p.points, r.points) << r.what;
    EXPECT_DOUBLE_EQ(p.step, r.step) << r.what;
  }
}

class SpectrumKeys : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    spState = 1;  // idle: no measurement asked yet
    start();
    settingsCommandsInitOnce();
    registerSpectrumArea();
  }
  // One start: the image read, the spectrum block allocated, the settings loaded, the plan made.
  static void start() {
    FileNvmLoad();
    spectrum_nv_NvAlloc();
    nv_readSettings();
    clockSettingsAfterLoad();
    spSettingsLoaded();
    chanInitOnce();
  }
  std::string run(const std::string& line) { return runLine(port_, line); }
  std::string value(const std::string& key) {
    const std::string got = run("print,/par/spectr/" + key);
    return got.size() > 7 && got.rfind("RE", 0) == 0 ? got.substr(5, got.size() - 7) : got;
  }
  CapturePort port_{IOP_TCP_A};
};

TEST_F(SpectrumKeys, SetsRefusalsPrintsAndRestart) {
  // "key": its printed value; "key,value": a set, answered "" when taken, "ER<code>" when refused.
  const struct {
    const char* line;
    const char* want;
  } steps[] = {
      {"log_point,chan", "ER5"},   {"log_point,s0", "ER5"},      {"log_point,bogus", "ER7"},
      {"log_point,filt", ""},      {"log_point", "filt"},        {"calib/4,1", "ER5"},
      {"calib/-1,1", "ER3"},       {"calib/x,1", "ER3"},         {"calib/3,1000000001", "ER5"},
      {"calib/3,-1000000000", ""}, {"calib/3", "-1000000000"},   {"calibext/0,77", ""},
      {"calibext/0", "77"},        {"n_out_slave,0", "ER5"},     {"n_out_slave,1000", ""},
      {"coher_aver,21", "ER5"},    {"coher_aver,20", ""},        {"n_aver,101", "ER5"},
      {"n_out,1001", "ER5"},       {"frq_step,0", "ER5"},        {"frq_step,10001", "ER5"},
      {"lband_frq_step,0", "ER5"}, {"resampl,11", "ER5"},        {"resampl,0", "ER5"},
      {"m_aver,median", "ER7"},    {"m_aver,mean", ""},          {"m_aver", "mean"},
      {"ant,ab", ""},              {"ant", "ab"},                {"ant,c", "ER7"},
      {"out/0,always", ""},        {"out/0", "always"},          {"out/12,on", "ER5"},
      {"useInMaster,2", "ER5"},    {"state", "idle"},            {"sp", "start"},
      {"sp", "ER3"},               {"sp&agc", "ER3"},            {"state", "start"},
      {"frq0/0", "1550.000"},      {"frq0/1", "1207.000"},       {"name/0", "glo1+gps1+bei1+bei12"},
      {"name/2", "gal5b+glo3+gal5+gps5"}, {"name/4", "lband0"},  {"nokey,1", "ER3"},
      {"agc/mean/0", "ER21"},
  };
  for (const auto& s : steps) {
    const std::string line = s.line, want = s.want;
    if (line.find(',') == std::string::npos) {
      const std::string got = value(line);
      if (want.rfind("ER", 0) == 0) EXPECT_NE(got.find("{" + want.substr(2) + ","), std::string::npos) << line << got;
      else EXPECT_EQ(got, want) << line;
      continue;
    }
    const std::string got = run("%s%set,/par/spectr/" + line);
    if (want.empty()) EXPECT_EQ(got, replyFrame("%s%")) << line;
    else EXPECT_TRUE(got.rfind("ER", 0) == 0 && got.find("{" + want.substr(2) + ",") != std::string::npos)
        << line << " " << got;
  }
  ASSERT_TRUE(FileNvmSave(0, true));
  std::memset(&RcvSet, 0, sizeof RcvSet);
  std::memset(spCalib, 0, sizeof spCalib);
  start();
  EXPECT_EQ(value("calib/3") + " " + value("calibext/0") + " " + value("m_aver") + " " + value("out/0"),
            "-1000000000 77 mean always");
  // The whole area prints (the readings not kept here stay out of it).
  const std::string all = run("print,/par/spectr");
  EXPECT_EQ(all.rfind("RE", 0), 0u) << all;
  EXPECT_NE(all.find("calibext={0=77,"), std::string::npos) << all;
}

TEST_F(SpectrumKeys, ChannelPlanFollowsSettingsAndSkipsUnchangedValues) {
  // Defaults: max, resampl 1, frq_step 1000; sample rate 60 MHz, the path's first band's filter
  // decimates by 2: M = 30000 -> 32768, step 60e6 / (32768 x 2).
  EXPECT_EQ(value("cursize/0"), "32768");
  EXPECT_EQ(value("curstep/0"), "915.5");
  // The L-band channel has no sample rate yet: unused.
  EXPECT_EQ(value("cursize/4"), "0");
  unsigned long made = spPlansMade;
  EXPECT_EQ(run("%a%set,/par/spectr/frq_step,1000"), replyFrame("%a%"));
  EXPECT_EQ(spPlansMade, made) << "the same value replans nothing";
  EXPECT_EQ(run("%a%set,/par/spectr/frq_step,10000"), replyFrame("%a%"));
  EXPECT_GT(spPlansMade, made);
  // 60e6 / (10000 x 2) = 3000 -> 2048; step 60e6 / (2048 x 2) = 14648.4375.
  EXPECT_EQ(value("cursize/1"), "2048");
  EXPECT_EQ(value("curstep/1"), "14648.4");
  for (const char* same : {"n_aver,10", "m_aver,max", "lband_frq_step,100", "resampl,1"}) {
    made = spPlansMade;
    EXPECT_EQ(run(std::string("%a%set,/par/spectr/") + same), replyFrame("%a%")) << same;
    EXPECT_EQ(spPlansMade, made) << same;
  }
  // A channel whose centre is 0 has no points.
  spFrqZero[1] = 0.0;
  spReComputeParams(1);
  EXPECT_EQ(value("cursize/1"), "0");
  EXPECT_EQ(value("curstep/1"), "0.0");
  chanInitOnce();
}

// The first L-band channel takes the service's sample rate; a rate below the wanted step times
// resampl is one point, not a division by zero.
TEST_F(SpectrumKeys, LbandChannelUsesTheServiceSampleRate) {
  const int c = omniStarSpecChan;
  const double savedRate = omniStarSmplFrq;
  const double savedZero = spFrqZero[c];
  strOmniCfg.rate[0] = 0;  // no beam: no skip
  spFrqZero[c] = 1539.0;
  const struct {
    double rate;
    const char* sets;
    const char* size;
    const char* step;
  } rows[] = {
      {1e6, "m_aver,max", "8192", "122.1"},                    // 1e6 / 100 = 10000 -> 8192
      {1e6, "lband_frq_step,1000", "1024", "976.6"},           // 1000 -> 1024
      {50000, "lband_frq_step,10000", "1", "50000.0"},         // below
      {0, "m_aver,mean", "0", "0.0"},                          // no sample rate yet
  };
  for (const auto& r : rows) {
    omniStarSmplFrq = r.rate;
    ASSERT_EQ(run(std::string("%a%set,/par/spectr/") + r.sets), replyFrame("%a%")) << r.sets;
    spReComputeParams(c);
    if (r.rate == 50000) {
      // 50000 / 10000 = 5 -> 4 points, step 50000 / 4.
      EXPECT_EQ(value("cursize/" + std::to_string(c)), "4");
      EXPECT_EQ(value("curstep/" + std::to_string(c)), "12500.0");
      EXPECT_EQ(run("%a%set,/par/spectr/m_aver,mean"), replyFrame("%a%"));
      EXPECT_EQ(run("%a%set,/par/spectr/resampl,10"), replyFrame("%a%"));
      // 50000 / (10000 x 10) truncates to 0: one point, the whole rate as its step.
      EXPECT_EQ(value("cursize/" + std::to_string(c)), r.size);
      EXPECT_EQ(value("curstep/" + std::to_string(c)), r.step);
      continue;
    }
    EXPECT_EQ(value("cursize/" + std::to_string(c)), r.size) << r.sets;
    EXPECT_EQ(value("curstep/" + std::to_string(c)), r.step) << r.sets;
  }
  omniStarSmplFrq = savedRate;
  spFrqZero[c] = savedZero;
  spReComputeParams(-1);
}

TEST_F(SpectrumKeys, DamagedStoredValuesTakeTheDefaults) {
  const struct {
    const char* what;
    void (*damage)(SpectrumSettings&);
  } rows[] = {
      {"frq_step 0", [](SpectrumSettings& s) { s.frqStep = 0; }},
      {"resampl 0", [](SpectrumSettings& s) { s.resampl = 0; }},
      {"m_aver 3", [](SpectrumSettings& s) { s.mAver = 3; }},
      {"out 3", [](SpectrumSettings& s) { s.out[5] = 3; }},
      {"log_point chan", [](SpectrumSettings& s) { s.logPoint = 2; }},
      {"no magic", [](SpectrumSettings& s) { s.magic = 0; }},
  };
  for (const auto& r : rows) {
    spectrumSettingsDefaults();
    spectrumSettings().nOut = 7;
    EXPECT_FALSE(spectrumSettingsAfterLoad()) << r.what;
    r.damage(spectrumSettings());
    EXPECT_TRUE(spectrumSettingsAfterLoad()) << r.what;
    EXPECT_EQ(spectrumSettings().nOut, 1) << r.what;
    EXPECT_EQ(spectrumSettings().frqStep, 1000) << r.what;
  }
}

TEST_F(SpectrumKeys, RandomAndTruncatedLinesAreAnsweredSafely) {
  const char* const parts[] = {"out", "0", "11", "12", "calib", "calibext", "4", "-1", "frq_step", "resampl",
                               "m_aver", "log_point", "ant", "sp", "sp&agc", "agc", "mean", "rms", "name",
                               "frq0", "cursize", "", "//", "x"};
  const char* const values[] = {"0", "1", "-1", "on", "always", "filt", "mean", "{1,2}", "\"q\"", "ab",
                                "99999999999", "", "1e3", "10000"};
  std::mt19937 rng(7);
  for (int n = 0; n < 600; ++n) {
    std::string path = "/par/spectr";
    const int depth = static_cast<int>(rng() % 4);
    for (int d = 0; d < depth; ++d) path += std::string("/") + parts[rng() % (sizeof parts / sizeof parts[0])];
    std::string line = (rng() & 1) ? "print," + path : "set," + path + "," + values[rng() % 14];
    if (rng() % 4 == 0) line.resize(rng() % (line.size() + 1));
    const std::string got = run(line);
    EXPECT_TRUE(got.empty() || got.rfind("RE", 0) == 0 || got.rfind("ER", 0) == 0) << line;
    EXPECT_FALSE(spectrumSettingsAfterLoad()) << line;  // every stored value stays in its range
    for (int c = 0; c < kSpChannels; ++c) EXPECT_LE(spectrumPoints[c], kSpMaxPoints) << line;
  }
}

}  // namespace
