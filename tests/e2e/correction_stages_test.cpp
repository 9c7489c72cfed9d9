// Every choice of the correction stages, made by its key in the running program over a real
// pass: the Crescent recording of 2008-05-26 (RTKLIB's test data), turned by Debian's convbin into
// its GPS ephemerides and its MSAS message log, which the board simulator broadcasts at the
// recording's antenna with the sky it measures. Beside it the program is its own RTCM 2 base: its
// type 1 code corrections of that sky, sent on port B, come back on port C in input mode rtcm and
// become the code-differential stage's station; port D in input mode gbas takes a ground
// station's Type 1 and 2 messages each second. Each row switches a stage or its model by key and
// lets the correction epochs run a few seconds under the sanitizers, the program answering
// throughout. These stages publish into records no output reads (the position comes from the
// board), so what runs is shown by scripts/reach; the ionosphere models are shown through the TEC
// calibration in correction_chain_test.cpp.
#include <cstdlib>
#include <thread>
#include <utility>
#include <vector>

#include "e2e/harness.h"
#include "unit/gbas_messages.h"

namespace e2e {
namespace {

using CorrectionStages = Rx;

// The Table D-8 station's Type 1 and Type 2 messages (see gbas_stream_test.cpp).
std::string gbasBurst() {
  using gbastest::type1Body;
  using gbastest::type2Body;
  const std::vector<std::uint8_t> t1 =
      gbastest::frame(170, "BELL", 1, type1Body(1000, 3, 1, 0, 0, 0, 255, {{122, 2, 100, -200, 98, 2, 3, -5, -128}}));
  const std::vector<std::uint8_t> t2 =
      gbastest::frame(170, "BELL", 2, type2Body({1, 1, 1, 232, 0, -7, 1, 20, 328864000, -672626000, 12345}, {5, 25, 34, 35, 36, 37}));
  std::string s(t1.begin(), t1.end());
  s.append(t2.begin(), t2.end());
  return s;
}

TEST_F(CorrectionStages, EveryStageChoiceRunsOverAPass) {
  const std::string cmd = "cd '" + dir_.path + "' && cp '" + std::string(RX_SHARED_DIR) +
                          "/testdata/sbas/cres_20080526.bin' c.bin && convbin -r hemis -v 2.11 c.bin -d . >/dev/null 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << "convbin (Debian rtklib) is required: run scripts/setup";
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", dir_.file("c.nav"), "--sky", "--site", "35.8729,138.3900,944.5", "--sbas",
                                    dir_.file("c.sbs"), "--start", "2008-05-26T06:01:40"}));
  ASSERT_NO_FATAL_FAILURE(start());
  // The base at the antenna, its code corrections on B, read back on C; a GBAS receiver on D.
  ASSERT_EQ(ask("%1%set,/par/pos/ref/known/geo,{35.8729,138.3900,944.5}"), re("%1%"));
  ASSERT_EQ(ask("%2%em,/dev/ser/b,rtcm/1:1"), re("%2%"));
  ASSERT_EQ(ask("%3%set,/par/dev/ser/c/imode,rtcm"), re("%3%"));
  ASSERT_EQ(ask("%4%set,/par/dev/ser/d/imode,gbas"), re("%4%"));
  Port b(dir_.file("dev/ser/b")), c(dir_.file("dev/ser/c")), d(dir_.file("dev/ser/d"));
  ASSERT_TRUE(b.ok() && c.ok() && d.ok());
  const std::string burst = gbasBurst();

  using Keys = std::vector<std::pair<const char*, const char*>>;
  const Keys rows[] = {
      // The wide-area stage: the SBAS service of the MSAS GEOs with their ionosphere grid, each
      // source rule and operating mode, then every other service.
      {{"wd/sel", "sbas"}, {"iono/wd", "on"}, {"wd/sbas/mode", "route"}},
      {{"wd/rule", "fixed"}, {"wd/prn", "129"}},
      {{"wd/rule", "first"}},
      {{"wd/rule", "blend"}, {"wd/smooth/iono", "10"}},
      {{"wd/sbas/mode", "pa"}},
      {{"wd/sbas/mode", "user"}, {"wd/rule", "best"}},
      {{"wd/sel", "qzss"}},
      {{"wd/sel", "irnss"}},
      {{"wd/sel", "dfmc"}, {"wd/dfmc/dnu", "on"}},
      {{"wd/sel", "comp"}},
      {{"wd/sel", "ssr"}},
      {{"wd/sel", "off"}, {"iono/wd", "off"}},
      // The code-differential stage: the RTCM 2 station by each choice, then SLAS.
      {{"cd/src", "rtcm"}, {"cd/mode", "near"}},
      {{"cd/mode", "fixed"}, {"cd/id", "0"}},
      {{"cd/mode", "best"}},
      {{"cd/mode", "first"}},
      {{"cd/mode", "blend"}},
      {{"cd/src", "slas"}, {"cd/slas/health", "on"}},
      {{"cd/src", "off"}},
      // The GBAS stage by each choice of the ground station.
      {{"gb/sel", "id"}, {"gb/id", "BELL"}, {"gb/nocrc", "on"}},
      {{"gb/sel", "path"}, {"gb/rpds", "0"}},
      {{"gb/sel", "rsds"}, {"gb/rsds", "0"}},
      // The troposphere models (their key is the RTK settings').
      {{"pd/tropom/model", "gpsdef"}},
      {{"pd/tropom/model", "gcat"}},
      {{"pd/tropom/model", "niell"}},
      {{"pd/tropom/model", "unb4"}},
      {{"pd/tropom/model", "goadgood"}, {"pd/tropom/meteo/user/mode", "on"}},
      {{"pd/tropom/model", "unb3"}},
  };
  int row = 0;
  for (const Keys& keys : rows) {
    ++row;
    for (const auto& [k, v] : keys) {
      ASSERT_EQ(ask(std::string("%k%set,/par/pos/") + k + "," + v), re("%k%")) << "row " << row << ": " << k;
    }
    // A few correction epochs: the base's corrections passed on as they come, the ground station's
    // messages once a second.
    for (int s = 0; s < 4; ++s) {
      ASSERT_TRUE(d.sendRaw(burst));
      b.fill([](const std::string&) { return false; }, 1000);
      if (!b.held.empty()) {
        ASSERT_TRUE(c.sendRaw(b.held));
      }
      b.held.clear();
    }
    ASSERT_TRUE(rx_->running()) << "row " << row << "\n" << rx_->out();
    EXPECT_EQ(ask("%v%print,/par/rcv/ver").substr(0, 2), "RE") << "row " << row;
  }
  ASSERT_TRUE(rx_->signal(SIGTERM));
  EXPECT_EQ(end(), 0);
}

}  // namespace
}  // namespace e2e
