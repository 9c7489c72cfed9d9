// An epoch the board abandons ends with "||" instead of "::" (no time of its own): the program
// takes the error path for it (its measurements and positions are dropped, said once per epoch
// with the epoch's start time against -1) and goes on with the next epochs as before.
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

}  // namespace
}  // namespace e2e
