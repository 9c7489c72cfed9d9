// The NeQuick ionosphere task runs beside the others in the started program.
#include "e2e/harness.h"

namespace e2e {
namespace {

using NeQuickTask = Rx;

TEST_F(NeQuickTask, RunsAsThreadNeqk) {
  fresh();
  ASSERT_NO_FATAL_FAILURE(start());
  std::string threads;
  for (const auto& t : std::filesystem::directory_iterator("/proc/" + std::to_string(rx_->pid()) + "/task"))
    threads += readFile(t.path() / "comm");
  EXPECT_NE(threads.find("NEQK\n"), std::string::npos) << threads;
}

}  // namespace
}  // namespace e2e
