// The RTK engine's locks: the full reset's order (projection, then ambiguity) beside the
// projection step's single lock. Run under ThreadSanitizer by scripts/test-tsan, which reports a
// lock-order inversion even when a run happens not to deadlock.
#include "differential/rtk/rtk_sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include "unit/own_process.h"

namespace {

TEST(RtkSyncRace, FullResetBesideProjectionNeitherDeadlocksNorRaces) {
  constexpr int kRounds = 2000;
  int resets[2] = {0, 0};  // written under both locks
  int projected = 0;       // written under the projection lock
  std::thread fullres([&] {
    for (int n = 0; n < kRounds; ++n) {
      for (int e = 0; e < 2; ++e) {
        waitForProj(e);
        EXPECT_TRUE(waitForAmb(e));
        ++resets[e];
        ++projected;
        EXPECT_TRUE(ambRelease(e));
        projRelease(e);
      }
    }
  });
  std::thread projection([&] {
    for (int n = 0; n < kRounds; ++n) {
      waitForProj(0);
      ++projected;
      projRelease(0);
      SlowRelease(0);
    }
  });
  // the engine side: the ambiguity lock alone
  std::thread engine([&] {
    for (int n = 0; n < kRounds; ++n) {
      waitForAmb(n & 1);
      ambRelease(n & 1);
    }
  });
  fullres.join();
  projection.join();
  engine.join();
  EXPECT_EQ(resets[0], kRounds);
  EXPECT_EQ(resets[1], kRounds);
  EXPECT_EQ(projected, 3 * kRounds);
}

TEST(RtkSync, ProjectionLockIsOneWhateverTheNumber) {
  waitForProj(0);
  EXPECT_FALSE(rtkSync.projReady.tryLock());
  projRelease(1);  // the same lock
  EXPECT_TRUE(rtkSync.projReady.tryLock());
  rtkSync.projReady.unlock();
}

// The semaphores as the process creates them: in a process of its own.
TEST(RtkSync, OnlyTwoEngines) {
  testproc::inOwnProcess([] {
    const struct { int eng; bool ok; } rows[] = {{0, true}, {1, true}, {2, false}, {-1, false}, {1000, false}};
    for (const auto& r : rows) {
      EXPECT_EQ(waitForAmb(r.eng), r.ok) << r.eng;
      EXPECT_EQ(ambRelease(r.eng), r.ok) << r.eng;
    }
    SlowRelease(2);
    SlowRelease(-1);
    SlowRelease(1);
    EXPECT_TRUE(rtkSync.sSlow[1].wait(0));
    EXPECT_FALSE(rtkSync.sSlow[1].wait(0));
    EXPECT_FALSE(rtkSync.sSlow[0].wait(0));  // created empty
  });
}

}  // namespace
