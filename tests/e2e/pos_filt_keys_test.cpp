// The output position filter's keys on a serial port: their defaults, sets taken and refused,
// the stored settings across a restart, a kill and SIGTERM, and init,/par/.
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

// Every filter setting is stored: what a set acknowledged survives the restart key, a kill after
// the periodic save, and SIGTERM; a refused value changes nothing.
TEST_F(PosFiltKeys, SettingsSurviveRestartKillAndTerm) {
  const std::string kSet =
      "{mode=on,reset=off,weight=on,num=20,maxdel=60,type=stat,spdmax=3.46,spdnum=8,spdmode=on}";
  ASSERT_NO_FATAL_FAILURE(start());
  const char* sets[] = {"mode,on", "weight,on", "num,20", "maxdel,60", "spdmax,3.456", "spdnum,8", "spdmode,on"};
  for (const char* s : sets) EXPECT_EQ(ask(std::string("%1%set,/par/pos/filt/") + s), re("%1%")) << s;
  EXPECT_TRUE(refused(ask("%2%set,/par/pos/filt/num,0")));
  restart();
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/pos/filt"), re(kSet));
  EXPECT_EQ(ask("%3%set,/par/pos/filt/mode,off"), re("%3%"));
  EXPECT_EQ(ask("%3%set,/par/pos/filt/num,7"), re("%3%"));
  std::this_thread::sleep_for(std::chrono::seconds(11));
  ASSERT_TRUE(rx_->signal(SIGKILL));
  EXPECT_EQ(end(), -SIGKILL);
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/pos/filt/mode"), re("off"));
  EXPECT_EQ(ask("print,/par/pos/filt/num"), re("7"));
  EXPECT_EQ(ask("%4%set,/par/pos/filt/mode,on"), re("%4%"));
  EXPECT_EQ(ask("%4%set,/par/pos/filt/spdnum,9"), re("%4%"));
  EXPECT_TRUE(refused(ask("%5%set,/par/pos/filt/mode,2")));
  EXPECT_TRUE(refused(ask("%5%set,/par/pos/filt/spdnum,0")));
  ASSERT_TRUE(rx_->signal(SIGTERM));
  EXPECT_EQ(end(), 0);
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/pos/filt/mode"), re("on"));
  EXPECT_EQ(ask("print,/par/pos/filt/spdnum"), re("9"));
  // init,/par/ brings them back to their defaults, and those are stored too.
  EXPECT_EQ(ask("%i%init,/par/"), re("%i%"));
  restart();
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/pos/filt"), re(kDefaults));
}

}  // namespace
}  // namespace e2e
