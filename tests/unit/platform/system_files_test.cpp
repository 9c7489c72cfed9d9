// What the program reads of the system: paths re-rooted under host/, identity files and the
// CPU frequencies on offer.
#include <gtest/gtest.h>

#include "platform/host_path.h"
#include "platform/identity.h"
#include "platform/misc_par.h"
#include "temp_run_dir.h"

namespace {

class SystemFilesTest : public TempRunDir {};

TEST(HostPath, ReRootsAbsolutePathsOnly) {
  struct Case {
    const char* in;
    const char* want;
  };
  const Case cases[] = {
      {"/var/run/rxengine-request", "host/var/run/rxengine-request"},
      {"/etc/vorla/dbg/prt/1", "host/etc/vorla/dbg/prt/1"},
      {".gnss.nvm", ".gnss.nvm"},
      {"dev/ser/a", "dev/ser/a"},
  };
  for (const Case& c : cases) EXPECT_STREQ(HostPath(c.in).c_str(), c.want) << c.in;
  char small[8];
  EXPECT_STREQ(hostPath("/var/run/x", small, sizeof small), "host/va");
}

TEST_F(SystemFilesTest, MakeParentDirs) {
  EXPECT_TRUE(makeParentDirs("host/var/run/rxengine-request"));
  EXPECT_TRUE(exists("host/var/run"));
  EXPECT_FALSE(exists("host/var/run/rxengine-request"));
  EXPECT_TRUE(makeParentDirs("plain"));
}

TEST_F(SystemFilesTest, IdentityFromSystemFiles) {
  identityInitOnce();
  EXPECT_STREQ(sernum, "");
  EXPECT_STREQ(rcvId, "");
  EXPECT_STRNE(rcvHostName, "");
  EXPECT_STRNE(vernum, "");
  EXPECT_STRNE(igsRcvName, "");

  struct Case {
    const char* what;
    std::string content;
    std::string want;
  };
  const Case cases[] = {
      {"plain", "SN123\n", "SN123"},
      {"no newline", "SN123", "SN123"},
      {"crlf and blanks", "SN123  \r\n2nd line\n", "SN123"},
      {"control bytes dropped", std::string("S\x01N\x7f" "1\n"), "SN1"},
      {"cut to 31", std::string(40, 'x') + "\n", std::string(31, 'x')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    writeFile("host/etc/rxengine/serial-number", c.content);
    writeFile("host/etc/rxengine/receiver-id", c.content);
    identityInitOnce();
    EXPECT_EQ(std::string(sernum), c.want);
    EXPECT_EQ(std::string(rcvId), c.want);
  }
}

TEST_F(SystemFilesTest, CpuFrequencyOnOffer) {
  EXPECT_FALSE(checkCpuFrq(800)) << "no frequency driver: nothing is accepted";
  writeFile("host/sys/devices/system/cpu/cpu0/cpufreq/scaling_available_frequencies",
            "300000 600000 800000 1000000 \n");
  struct Case {
    int mhz;
    bool ok;
  };
  for (Case c : {Case{800, true}, Case{1000, true}, Case{300, true}, Case{700, false}, Case{0, false},
                 Case{-800, false}}) {
    EXPECT_EQ(checkCpuFrq(c.mhz), c.ok) << c.mhz;
  }
}

}  // namespace
