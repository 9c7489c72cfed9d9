// The start-up of the program leaves every hook as the wiring table says: filled where the
// component that fills it is built, empty where it is not.
#include <gtest/gtest.h>

#include <cstdio>

#include "main/hook_table.h"
#include "main/hooks.h"
#include "main/init_once.h"
#include "platform/exit.h"
#include "unit/platform/temp_run_dir.h"

namespace {

class HookWiring : public TempRunDir {};

// The start-up runs in a child of its own (its tasks never stop); the child reports each
// mismatch on its error output and exits with their count.
TEST_F(HookWiring, StartUpFillsEveryHookTheTableWires) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  auto startUp = [] {
    wireHooks();
    initOnce();
    const int faults = hookWiringCheck([](const char* line) { std::fprintf(stderr, "$$HOOK: %s\n", line); });
    rxExit(faults);
  };
  EXPECT_EXIT(startUp(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
