// Start-up links the signal tables to the lock manager's BeiDou tests.
#include <gtest/gtest.h>

#include "gnss_link/lock_manager.h"
#include "main/hooks.h"
#include "positioning/signal_tables.h"

TEST(LockHooks, SignalTablesAskTheLockManager) {
  wireHooks();
  beiPhase3Update(std::uint64_t{1} << 29);  // satellite 30
  EXPECT_TRUE(signalTableLinks.isBeiPhase3(30));
  EXPECT_TRUE(signalTableLinks.isBeiDou37compat(5));
  EXPECT_FALSE(signalTableLinks.isBeiDou37compat(6));
  EXPECT_TRUE(signalTableLinks.isBeiDou37compat(59));
  EXPECT_FALSE(signalTableLinks.isBeiDouMSMcompat(30, 2));
  EXPECT_TRUE(signalTableLinks.isBeiDouMSMcompat(31, 2));
  EXPECT_TRUE(signalTableLinks.ignoreCompat(30, 2));
  EXPECT_FALSE(signalTableLinks.ignoreCompat(31, 2));
}
