// The board falls silent: after the first minute, 10 s without data restarts the receiver with
// "$$ ERROR: no data from SLAVE: restart"; a board silent from the start is given that minute.
// These waits are the program's own 60 s and 10 s: the only slow tests of the chain. The lower
// bounds are the requirement ("not before"); the upper ones are loose guards.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "e2e/epoch_frames.h"
#include "e2e/harness.h"
#include "e2e/port_reader.h"
#include "e2e/sim_process.h"

namespace {

constexpr const char* kNoData = "$$ ERROR: no data from SLAVE: restart\n";
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

TEST(EpochSilence, StreamStoppingAfter70sRestartsTenSecondsLater) {
  e2e::RunDir dir;
  simtest::SimProcess sim(dir.path(), {"--rate", "10", "--silence-after", "70"});
  ASSERT_TRUE(e2e::waitUntil([&] { return dir.exists("dev/shm/a"); }));
  e2e::Rxengine rx(dir);
  ASSERT_TRUE(rx.start());
  ASSERT_TRUE(rx.waitReady()) << rx.stderrText();
  e2e::PortReader port(dir.file("dev/ser/a"));
  ASSERT_TRUE(port.ok());
  ASSERT_EQ(port.ask("%e%em,,zrt/{RT,ET}:1"), "RE003%e%\r\n");
  epochs::Reader r(port.fd());
  // Epochs keep coming past the first minute, until the board stops.
  while (rx.running() && rx.stderrText().find(kNoData) == std::string::npos) ASSERT_TRUE(r.poll(50));
  const Clock::time_point error = Clock::now();
  ASSERT_FALSE(r.markers.empty());
  const Clock::time_point last = r.markers.back().seen;
  EXPECT_GE(secondsSince(r.markers.front().seen, last), 60.0);
  EXPECT_GE(secondsSince(last, error), 9.5);
  EXPECT_LE(secondsSince(last, error), 20.0);
  e2e::ExitStatus st;
  ASSERT_TRUE(rx.waitExit(st));
  EXPECT_TRUE(st.exited);
  EXPECT_EQ(st.code, 0);
}

TEST(EpochSilence, SilentFromTheStartRestartsAfterTheFirstMinute) {
  e2e::RunDir dir;
  const Clock::time_point start = Clock::now();
  e2e::Rxengine rx(dir);
  ASSERT_TRUE(rx.start());
  ASSERT_TRUE(rx.waitReady()) << rx.stderrText();
  ASSERT_TRUE(rx.waitStderr(kNoData, 120000)) << rx.stderrText();
  const double after = secondsSince(start, Clock::now());
  EXPECT_GE(after, 60.0);
  EXPECT_LE(after, 90.0);
  e2e::ExitStatus st;
  ASSERT_TRUE(rx.waitExit(st));
  EXPECT_TRUE(st.exited);
  EXPECT_EQ(st.code, 0);
}

}  // namespace
