// The lock keys on a port of the running program beside the board simulator: factory masks
// after a fresh start, a change of locking state, forwarding to the board, and masks that
// survive a restart.
#include <gtest/gtest.h>

#include <string>

#include "board_link_fixture.h"

namespace boardlink {
namespace {

TEST_F(BoardLink, LockKeysForwardedAndKept) {
  startSim();
  start();
  ASSERT_TRUE(boardGets(kEndOfStartUp));
  EXPECT_EQ(ask("%a%print,/par/lock/sbas/4/lock"), re("%a%0x46185A588"));
  EXPECT_EQ(ask("%b%print,/par/lock/sysen"), re("%b%51"));
  EXPECT_EQ(ask("%c%print,/par/lock/budget"), re("%c%268"));

  const std::size_t mark = transcript().size();
  EXPECT_EQ(ask("%d%set,/par/lock/state,3"), re("%d%"));
  EXPECT_EQ(ask("%e%print,/par/lock/state"), re("%e%1"));
  EXPECT_EQ(ask("%f%print,/par/lock/gps/0/lock"), re("%f%0x0"));
  // A refused value stays here.
  EXPECT_EQ(ask("%g%set,/par/lock/budget,100"), frame("ER", "%g%{5,,value out of range}"));
  EXPECT_EQ(ask("%h%set,/par/lock/gps/3/guide,0x5"), re("%h%"));
  ASSERT_TRUE(boardGets("set,lock/gps/3/guide,0x5\n", mark));
  EXPECT_EQ(transcript().substr(mark), "set,lock/state,3\nset,lock/gps/3/guide,0x5\n");

  restartViaCommand();
  // A board that lost its settings gets them again; the program reads its own from the image.
  startSim();
  start();
  ASSERT_TRUE(boardGets(kEndOfStartUp)) << transcript();
  EXPECT_NE(transcript().find("set,lock/gps/3/guide,0x5\n"), std::string::npos) << transcript();
  EXPECT_EQ(ask("%i%print,/par/lock/gps/3/guide"), re("%i%0x5"));
  EXPECT_EQ(ask("%j%print,/par/lock/gps/0/lock"), re("%j%0x0"));
  EXPECT_EQ(ask("%k%print,/par/lock/sbas/4/c2"), re("%k%0x184A580"));
}

}  // namespace
}  // namespace boardlink
