// The output position filter's keys on a serial port: their defaults, sets taken and refused,
// the stored switch across a restart and a kill, and init,/par/.
#include <csignal>

#include "e2e/harness.h"

namespace e2e {
namespace {

using PosFiltKeys = Rx;

const std::string kDefaults =
    "{mode=off,reset=off,weight=off,num=30,maxdel=10,type=stat,spdmax=2.00,spdnum=5,spdmode=off}";

bool refused(const std::string& reply) { return reply.rfind("ER", 0) == 0; }

TEST_F(PosFiltKeys, DefaultsSetsRefusalsAndInit) {
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/pos/filt"), re(kDefaults));
  const struct {
    const char *key, *value;
    bool taken;
    const char* after;
  } rows[] = {
      {"num", "20", true, "20"},          {"num", "0", false, "20"},         {"num", "-3", false, "20"},
      {"num", "1", true, "1"},            {"num", "x", false, "1"},          {"spdnum", "0", false, "5"},
      {"spdnum", "8", true, "8"},         {"maxdel", "0", false, "10"},      {"maxdel", "3601", false, "10"},
      {"maxdel", "60", true, "60"},       {"spdmax", "0", false, "2.00"},    {"spdmax", "-1", false, "2.00"},
      {"spdmax", "3.456", true, "3.46"},  {"weight", "on", true, "on"},      {"weight", "maybe", false, "on"},
      {"spdmode", "on", true, "on"},      {"type", "stat", true, "stat"},    {"type", "kalman", false, "stat"},
      {"reset", "yes", true, "off"},      {"mode", "on", true, "on"},        {"nokey", "1", false, nullptr},
  };
  for (const auto& r : rows) {
    const std::string got = ask(std::string("%s%set,/par/pos/filt/") + r.key + "," + r.value);
    if (r.taken) {
      EXPECT_EQ(got, re("%s%")) << r.key << " " << r.value;
    } else {
      EXPECT_TRUE(refused(got)) << r.key << " " << r.value << ": " << got;
    }
    if (r.after) {
      EXPECT_EQ(ask(std::string("print,/par/pos/filt/") + r.key), re(r.after)) << r.key << " " << r.value;
    }
  }
  EXPECT_EQ(ask("%i%init,/par/"), re("%i%"));
  EXPECT_EQ(ask("print,/par/pos/filt"), re(kDefaults));
}

// The filtering switch is stored: it survives the restart key and a kill after the periodic
// save and SIGTERM; a refused value changes nothing; the filter's own settings start from their
// defaults each run.
TEST_F(PosFiltKeys, ModeSurvivesRestartAndKill) {
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("%1%set,/par/pos/filt/mode,on"), re("%1%"));
  EXPECT_EQ(ask("%2%set,/par/pos/filt/num,20"), re("%2%"));
  restart();
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/pos/filt/mode"), re("on"));
  EXPECT_EQ(ask("print,/par/pos/filt/num"), re("30"));
  EXPECT_EQ(ask("%3%set,/par/pos/filt/mode,off"), re("%3%"));
  std::this_thread::sleep_for(std::chrono::seconds(11));
  ASSERT_TRUE(rx_->signal(SIGKILL));
  EXPECT_EQ(end(), -SIGKILL);
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/pos/filt/mode"), re("off"));
  EXPECT_EQ(ask("%4%set,/par/pos/filt/mode,on"), re("%4%"));
  EXPECT_TRUE(refused(ask("%5%set,/par/pos/filt/mode,2")));
  ASSERT_TRUE(rx_->signal(SIGTERM));
  EXPECT_EQ(end(), 0);
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/pos/filt/mode"), re("on"));
}

}  // namespace
}  // namespace e2e
