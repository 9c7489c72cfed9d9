// A port in input mode echo gives back every byte it receives, on itself and only there, binary
// bytes included; back in cmd mode it answers commands again.
#include "e2e/harness.h"

namespace e2e {
namespace {

using PortEcho = Rx;

TEST_F(PortEcho, EveryByteComesBackOnTheSamePort) {
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  Port b(dir_.file("dev/ser/b"));
  Port c(dir_.file("dev/ser/c"));
  ASSERT_TRUE(b.ok() && c.ok());
  ASSERT_EQ(ask("%m%set,/par/dev/ser/b/imode,echo"), re("%m%"));
  ASSERT_EQ(ask("print,/par/dev/ser/b/imode"), re("echo"));

  std::string bytes = "print,/par/dev/ser/b/imode\r\n";
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  ASSERT_TRUE(b.sendRaw(bytes));
  ASSERT_TRUE(b.fillOnProgress([&](const std::string& h) { return h.size() >= bytes.size(); })) << b.held.size();
  EXPECT_EQ(b.held, bytes);
  EXPECT_FALSE(c.fill([](const std::string& h) { return !h.empty(); }, 300)) << "nothing on another port";

  ASSERT_EQ(ask("%m%set,/par/dev/ser/b/imode,cmd"), re("%m%"));
  b.held.clear();
  EXPECT_EQ(b.ask("print,/par/dev/ser/b/imode"), re("cmd"));
}

}  // namespace
}  // namespace e2e
