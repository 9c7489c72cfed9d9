// An epoch the board abandons ends with "||" instead of "::" (no time of its own): the program
// takes the error path for it (its measurements and positions are dropped, said once per epoch
// with the epoch's start time against -1) and goes on with the next epochs as before. The board's
// link entering input mode "zrt" anew starts its stream afresh: an epoch open then is no longer
// open, and its late end runs no chain.
#include <sstream>

#include "e2e/harness.h"

namespace e2e {
namespace {

using AbandonedEpoch = Rx;

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST_F(AbandonedEpoch, EveryFourthEpochDroppedTheOthersGoOn) {
  ASSERT_NO_FATAL_FAILURE(startSim({"--abandon", "4"}));
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_TRUE(rx_->waitOut("/-1\n", 15000)) << rx_->out();
  // Three more abandoned among the epochs that follow.
  const std::size_t from = rx_->out().size();
  ASSERT_TRUE(waitUntil([&] { return count(rx_->out().substr(from), "/-1\n") >= 3; }, 15000)) << rx_->out().substr(from);
  const std::string out = rx_->out().substr(from);
  // Each one names the start time it had; no epoch is taken for bad otherwise.
  std::istringstream in(out);
  int abandoned = 0;
  for (std::string l; std::getline(in, l);) {
    long start = 0;
    if (std::sscanf(l.c_str(), "$$ZrtRawDecoder: ERROR: epoch start/end times mismatch: %ld/-1", &start) == 1) {
      EXPECT_GE(start, 0) << l;
      ++abandoned;
    }
  }
  EXPECT_GE(abandoned, 3);
  EXPECT_EQ(out.find("bad epoch"), std::string::npos) << out;
  EXPECT_EQ(ask("%a%print,/par/dev/ser/a/rate"), re("%a%115200")) << "and answers";
  EXPECT_TRUE(rx_->running());
}

// Every third epoch's end waits for the test. Held while the link stays in "zrt", it ends its epoch
// as usual; held while the link leaves "zrt" and enters it again, it ends nothing ("bad epoch",
// with its time).
TEST_F(AbandonedEpoch, EnteringZrtModeAgainForgetsTheOpenEpoch) {
  const std::string release = dir_.file("release");
  ASSERT_NO_FATAL_FAILURE(startSim({"--hold-end", "3:" + release}));
  ASSERT_NO_FATAL_FAILURE(start());
  // The time of the n-th epoch end held so far.
  const auto held = [&](int n) -> long {
    const std::string log = dir_.read("sim1.log");
    std::size_t at = std::string::npos;
    for (int i = 0; i < n; ++i) {
      at = log.find("* epoch end held ", at == std::string::npos ? 0 : at + 1);
      if (at == std::string::npos) return -1;
    }
    return std::atol(log.c_str() + at + 17);
  };
  const struct {
    bool modeAgain;
    bool chainRuns;
  } rows[] = {{false, true}, {true, false}};
  int n = 0;
  for (const auto& r : rows) {
    SCOPED_TRACE(r.modeAgain);
    ASSERT_TRUE(waitUntil([&] { return held(n + 1) >= 0; }, 15000)) << dir_.read("sim1.log");
    const long t = held(++n);
    if (r.modeAgain) {
      EXPECT_EQ(ask("%n%set,/par/dev/shm/a/imode,none"), re("%n%"));
      EXPECT_EQ(ask("%z%set,/par/dev/shm/a/imode,zrt"), re("%z%"));
    }
    ASSERT_TRUE(dir_.write("release", ""));
    const std::string bad = "$$ZrtRawDecoder: ERROR: bad epoch " + std::to_string(t) + "\n";
    // The epochs after it: the next one ends as usual either way.
    ASSERT_TRUE(waitUntil(
        [&] { return dir_.read("sim1.log").find("* epoch end released", 0) != std::string::npos && held(n + 1) >= 0; },
        15000));
    EXPECT_EQ(rx_->out().find(bad) == std::string::npos, r.chainRuns) << rx_->out();
  }
  EXPECT_TRUE(rx_->running());
}

}  // namespace
}  // namespace e2e
