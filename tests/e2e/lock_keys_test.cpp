// The lock keys on a port of the running program: factory masks after a fresh start and a change
// of locking state.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "e2e/harness.h"
#include "e2e/port_reader.h"

namespace {

std::string frame(const char* id2, const std::string& body) {
  char head[8];
  std::snprintf(head, sizeof head, "%s%03X", id2, static_cast<unsigned>(body.size()));
  return head + body + "\r\n";
}

void expectClean(e2e::Rxengine& rx) {
  const std::string err = rx.stderrText();
  EXPECT_EQ(err.find("AddressSanitizer"), std::string::npos) << err;
  EXPECT_EQ(err.find("runtime error"), std::string::npos) << err;
}

TEST(LockKeysE2e, FactoryMasksAndLockingState) {
  e2e::RunDir dir;
  e2e::Rxengine rx{dir};
  ASSERT_TRUE(rx.start());
  ASSERT_TRUE(rx.waitReady()) << rx.stderrText();
  e2e::PortReader port(dir.file("dev/ser/a"));
  ASSERT_TRUE(port.ok());
  EXPECT_EQ(port.ask("%a%print,/par/lock/sbas/4/lock"), frame("RE", "%a%0x46185A588"));
  EXPECT_EQ(port.ask("%b%print,/par/lock/sysen"), frame("RE", "%b%51"));
  EXPECT_EQ(port.ask("%c%print,/par/lock/budget"), frame("RE", "%c%268"));
  EXPECT_EQ(port.ask("%d%set,/par/lock/state,3"), frame("RE", "%d%"));
  EXPECT_EQ(port.ask("%e%print,/par/lock/state"), frame("RE", "%e%1"));
  EXPECT_EQ(port.ask("%f%print,/par/lock/gps/0/lock"), frame("RE", "%f%0x0"));
  EXPECT_EQ(port.ask("%g%set,/par/lock/budget,100"), frame("ER", "%g%{5,,value out of range}"));
  expectClean(rx);
}

}  // namespace
