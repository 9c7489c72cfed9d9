// The CMR rover keys: the message type read as GLONASS observations and the CMR+ page-count
// switch, set and printed, refusals leaving them as they were, and both kept across a restart
// and SIGTERM.
#include <csignal>
#include <string>

#include "e2e/harness.h"

namespace e2e {
namespace {

using CmrRoverKeys = Rx;

std::string er(int code, const char* text) { return frame("ER", "%e%{" + std::to_string(code) + "," + text + "}"); }

TEST_F(CmrRoverKeys, SetPrintedRefusedAndKept) {
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/cmr/rover/glo/type"), re("3"));
  EXPECT_EQ(ask("print,/par/cmr/rover/idxset"), re("off"));
  const struct {
    const char* type;
    const char* want;
  } rows[] = {{"0", "0"}, {"7", "7"}, {"5", "5"}};
  for (const auto& r : rows) {
    EXPECT_EQ(ask(std::string("%s%set,/par/cmr/rover/glo/type,") + r.type), re("%s%")) << r.type;
    EXPECT_EQ(ask("print,/par/cmr/rover/glo/type"), re(r.want)) << r.type;
  }
  EXPECT_EQ(ask("%s%set,/par/cmr/rover/idxset,on"), re("%s%"));
  EXPECT_EQ(ask("%e%set,/par/cmr/rover/glo/type,8"), er(5, ",value out of range"));
  EXPECT_EQ(ask("%e%set,/par/cmr/rover/glo/type,-1"), er(5, ",value out of range"));
  EXPECT_EQ(ask("%e%set,/par/cmr/rover/weather,on"), er(3, ",wrong 1st parameter"));
  EXPECT_EQ(ask("print,/par/cmr/rover/glo/type"), re("5"));
  EXPECT_EQ(ask("print,/par/cmr/rover/idxset"), re("on"));

  restart();
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/cmr/rover/glo/type"), re("5"));
  EXPECT_EQ(ask("print,/par/cmr/rover/idxset"), re("on"));

  EXPECT_EQ(ask("%t%set,/par/cmr/rover/glo/type,2"), re("%t%"));
  EXPECT_EQ(ask("%t%set,/par/cmr/rover/idxset,off"), re("%t%"));
  ASSERT_TRUE(rx_->signal(SIGTERM));
  EXPECT_EQ(end(), 0);
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/cmr/rover/glo/type"), re("2"));
  EXPECT_EQ(ask("print,/par/cmr/rover/idxset"), re("off"));
}

}  // namespace
}  // namespace e2e
