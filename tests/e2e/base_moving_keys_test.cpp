// The base-moving monitor's keys with the simulated board: the alert can only be cleared, the
// reset mode takes 0 or 1, and a set acts at the next epoch, in the epoch task. With the board's
// solution carrying the relative position of a moving base, the monitor raises its alert with the
// motion of each second, and the base's 1029 text carries it.
#include <cstdio>
#include <vector>

#include "e2e/harness.h"
#include "e2e/nav_rinex.h"

namespace e2e {
namespace {

using BaseMovingKeys = Rx;

bool refusedWith(const std::string& reply, int code) {
  return reply.rfind("ER", 0) == 0 && reply.find("{" + std::to_string(code) + ",") != std::string::npos;
}

TEST_F(BaseMovingKeys, AlertClearedAndResetModeTakenAtTheNextEpoch) {
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/pos/moving"), re("{alert=off,reset=0}"));
  // Mode 1 reaches the monitor once an epoch has run.
  EXPECT_EQ(ask("%m%set,/par/pos/moving/reset,1"), re("%m%"));
  EXPECT_TRUE(waitUntil([&] { return ask("print,/par/pos/moving/reset") == re("1"); }));
  EXPECT_EQ(ask("%m%set,/par/pos/moving/alert,off"), re("%m%"));
  EXPECT_EQ(ask("%m%set,/par/pos/moving/reset,0"), re("%m%"));
  EXPECT_TRUE(waitUntil([&] { return ask("print,/par/pos/moving/reset") == re("0"); }));
  const struct {
    const char* line;
    int code;
  } refused[] = {{"set,/par/pos/moving/reset,2", 5},  {"set,/par/pos/moving/reset,-1", 5},
                 {"set,/par/pos/moving/alert,on", 5}, {"set,/par/pos/moving/alert", 6},
                 {"set,/par/pos/moving/x,0", 3},      {"print,/par/pos/moving/x", 3}};
  for (const auto& r : refused) {
    const std::string got = ask(r.line);
    EXPECT_TRUE(refusedWith(got, r.code)) << r.line << ": " << got;
  }
  EXPECT_EQ(ask("print,/par/pos/moving"), re("{alert=off,reset=0}"));
}

// The text of each 1029 frame (after the message number, station, MJD, seconds and the two counts).
std::vector<std::string> texts1029(const std::string& held) {
  std::vector<std::string> out;
  for (const std::string& f : rinex::rtcm3Frames(held)) {
    if (rinex::rtcm3Type(f) != 1029 || f.size() < 12 + 6) continue;
    const std::size_t n = static_cast<unsigned char>(f[10]) & 0x7F;
    out.push_back(f.substr(12, std::min(n, f.size() - 15)));
  }
  return out;
}

// The relative position starts at 12.0, -5.0, 2.5 m and moves by the base's velocity each second:
// at 0.3, -0.4, 1.2 m/s the motion of each second is that vector, 1.30 m long; standing still, no
// motion, and the alert is still raised each second the monitor runs. A block whose rate part is
// marked not valid, its position part valid, is not used: the monitor never runs, the text
// carries neither a position nor an alert, and the alert stays off.
TEST_F(BaseMovingKeys, AMovingBaseRaisesTheAlertAndTheBasesTextCarriesTheMotion) {
  const std::string nav = std::string(RX_SHARED_DIR) + "/testdata/nav/brdc1820.10n";
  const struct {
    const char* velocity;
    bool rateValid;
    const char* alert;  // nullptr: the monitor never runs
    double step[3];
  } rows[] = {{"0.3,-0.4,1.2", true, "alert={1.30,0.3,-0.4,1.2}}", {0.3, -0.4, 1.2}},
              {"0,0,0", true, "alert={0.00,0.0,0.0,0.0}}", {0, 0, 0}},
              {"0.3,-0.4,1.2", false, nullptr, {}}};
  for (const auto& r : rows) {
    SCOPED_TRACE(std::string(r.velocity) + (r.rateValid ? "" : ", rate not valid"));
    fresh();
    std::vector<std::string> args = {"--nav", nav, "--sky", "--rel-pos", r.velocity};
    if (!r.rateValid) args.push_back("--rel-rate-invalid");
    ASSERT_NO_FATAL_FAILURE(startSim(args));
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_EQ(ask("%t%set,/par/rtcm3/base/textparam/moving,on"), re("%t%"));
    Port b(dir_.file("dev/ser/b"));
    ASSERT_TRUE(b.ok());
    ASSERT_EQ(ask("%e%em,/dev/ser/b,rtcm3/1029:1"), re("%e%"));
    ASSERT_TRUE(b.fill([](const std::string& h) { return texts1029(h).size() >= 4; }, 20000)) << b.held.size();
    const std::vector<std::string> t = texts1029(b.held);
    double last[3] = {}, err = 0;
    for (std::size_t k = 1; k < t.size(); ++k) {
      if (r.alert == nullptr) {
        EXPECT_EQ(t[k], "/par/base/moving={accel=,curpos=,alert=}");
        continue;
      }
      ASSERT_EQ(t[k].rfind("/par/base/moving={accel=,curpos={", 0), 0u) << t[k];
      EXPECT_NE(t[k].find(r.alert), std::string::npos) << t[k];
      double p[3] = {};
      ASSERT_EQ(std::sscanf(t[k].c_str(), "/par/base/moving={accel=,curpos={%lf,%lf,%lf,%lf}", &p[0], &p[1], &p[2], &err), 4);
      EXPECT_EQ(err, 0.0) << t[k];
      for (int i = 0; k > 1 && i < 3; ++i) EXPECT_NEAR(p[i] - last[i], r.step[i], 0.11) << t[k];
      for (int i = 0; i < 3; ++i) last[i] = p[i];
    }
    EXPECT_EQ(ask("print,/par/pos/moving/alert"), re(r.alert != nullptr ? "on" : "off"));
  }
}

}  // namespace
}  // namespace e2e
