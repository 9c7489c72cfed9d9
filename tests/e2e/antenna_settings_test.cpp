// The antenna settings under /par/ant/ on a serial port: set, printed, kept across a restart, a
// kill after the periodic save and SIGTERM, refused values changing nothing; and on the air: the
// base's RTCM 3 message 1033 carries the serial number and setup id, as gpsd's gpsdecode reads it.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "e2e/harness.h"

namespace e2e {
namespace {

class AntennaSettings : public Rx {};

std::string er(int code, const char* text) { return frame("ER", "%e%{" + std::to_string(code) + "," + text + "}"); }

TEST_F(AntennaSettings, SetPrintedAndKeptAcrossRestartKillAndTerm) {
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/ant"), re("{serial=,setup=0}"));
  EXPECT_EQ(ask("%s%set,/par/ant/serial,\"AB 1234/5\""), re("%s%"));
  EXPECT_EQ(ask("%s%set,/par/ant/setup,17"), re("%s%"));
  EXPECT_EQ(ask("%e%set,/par/ant/setup,256"), er(5, ",value out of range"));
  EXPECT_EQ(ask("%e%set,/par/ant/serial," + std::string(32, 'x')), er(5, ",value out of range"));
  EXPECT_EQ(ask("print,/par/ant"), re("{serial=AB 1234/5,setup=17}"));
  restart();
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/ant"), re("{serial=AB 1234/5,setup=17}"));
  EXPECT_EQ(ask("%k%set,/par/ant/setup,200"), re("%k%"));
  std::this_thread::sleep_for(std::chrono::seconds(11));
  ASSERT_TRUE(rx_->signal(SIGKILL));
  EXPECT_EQ(end(), -SIGKILL);
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/ant/setup"), re("200"));
  EXPECT_EQ(ask("%t%set,/par/ant/serial,"), re("%t%"));
  ASSERT_TRUE(rx_->signal(SIGTERM));
  EXPECT_EQ(end(), 0);
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/ant"), re("{serial=,setup=200}"));
  EXPECT_EQ(ask("%i%init,/par/"), re("%i%"));
  EXPECT_EQ(ask("print,/par/ant"), re("{serial=,setup=0}"));
}

TEST_F(AntennaSettings, Message1033CarriesTheSerialNumberAndSetupId) {
  const std::string nav = std::string(RX_SHARED_DIR) + "/testdata/nav/brdc1820.10n";
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", nav, "--sky"}));
  ASSERT_NO_FATAL_FAILURE(start());
  Port b(dir_.file("dev/ser/b"));
  ASSERT_TRUE(b.ok());
  ASSERT_EQ(ask("%s%set,/par/ant/serial,SN-0042"), re("%s%"));
  ASSERT_EQ(ask("%s%set,/par/ant/setup,9"), re("%s%"));
  ASSERT_EQ(ask("%e%em,/dev/ser/b,rtcm3/1033:1"), re("%e%"));
  b.fill([](const std::string&) { return false; }, 5000);
  ASSERT_TRUE(dir_.write("out.rtcm3", b.held));
  std::vector<std::string> lines;
  std::FILE* p = popen(("gpsdecode < '" + dir_.file("out.rtcm3") + "' 2>/dev/null").c_str(), "r");
  char buf[4096];
  while (p != nullptr && std::fgets(buf, sizeof buf, p) != nullptr) lines.emplace_back(buf);
  if (p != nullptr) pclose(p);
  int seen = 0;
  for (const std::string& l : lines) {
    if (l.find("\"type\":1033") == std::string::npos) continue;
    EXPECT_NE(l.find("\"setup_id\":9"), std::string::npos) << l;
    EXPECT_NE(l.find("\"serial\":\"SN-0042\""), std::string::npos) << l;
    ++seen;
  }
  EXPECT_GE(seen, 2) << b.held.size() << " bytes";
}

}  // namespace
}  // namespace e2e
