// The base-moving monitor's keys with the simulated board: the alert can only be cleared, the
// reset mode takes 0 or 1, and a set acts at the next epoch, in the epoch task.
#include "e2e/harness.h"

namespace e2e {
namespace {

using BaseMovingKeys = Rx;

bool refusedWith(const std::string& reply, int code) {
  return reply.rfind("ER", 0) == 0 && reply.find("{" + std::to_string(code) + ",") != std::string::npos;
}

TEST_F(BaseMovingKeys, AlertClearedAndResetModeTakenAtTheNextEpoch) {
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/pos/moving"), re("{alert=off,reset=0}"));
  // Mode 1 reaches the monitor once an epoch has run.
  EXPECT_EQ(ask("%m%set,/par/pos/moving/reset,1"), re("%m%"));
  EXPECT_TRUE(waitUntil([&] { return ask("print,/par/pos/moving/reset") == re("1"); }));
  EXPECT_EQ(ask("%m%set,/par/pos/moving/alert,off"), re("%m%"));
  EXPECT_EQ(ask("%m%set,/par/pos/moving/reset,0"), re("%m%"));
  EXPECT_TRUE(waitUntil([&] { return ask("print,/par/pos/moving/reset") == re("0"); }));
  const struct {
    const char* line;
    int code;
  } refused[] = {{"set,/par/pos/moving/reset,2", 5},  {"set,/par/pos/moving/reset,-1", 5},
                 {"set,/par/pos/moving/alert,on", 5}, {"set,/par/pos/moving/alert", 6},
                 {"set,/par/pos/moving/x,0", 3},      {"print,/par/pos/moving/x", 3}};
  for (const auto& r : refused) {
    const std::string got = ask(r.line);
    EXPECT_TRUE(refusedWith(got, r.code)) << r.line << ": " << got;
  }
  EXPECT_EQ(ask("print,/par/pos/moving"), re("{alert=off,reset=0}"));
}

}  // namespace
}  // namespace e2e
