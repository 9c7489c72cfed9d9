// The board's records through the whole program: the once record makes the program switch it
// off on the board.
#include <gtest/gtest.h>

#include <string>

#include "e2e/harness.h"
#include "e2e/sim_process.h"

namespace {

TEST(RawRecords, OnceRecordIsSwitchedOffOnTheBoard) {
  e2e::RunDir dir;
  simtest::SimProcess sim(dir.path(), {"--rate", "1", "--start", "2024-06-01T12:00:00"});
  ASSERT_TRUE(e2e::waitUntil([&] { return dir.exists("dev/shm/a"); }));
  e2e::Rxengine rx(dir);
  ASSERT_TRUE(rx.start());
  ASSERT_TRUE(rx.waitReady()) << rx.stderrText();
  // The simulator records every line it receives; the program answers the first once record.
  EXPECT_TRUE(e2e::waitUntil([&] { return dir.read("gnss_board_sim.log").find("dm,,zrt/@@once") != std::string::npos; }))
      << dir.read("gnss_board_sim.log");
  EXPECT_TRUE(rx.running());
}

}  // namespace
