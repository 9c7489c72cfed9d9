// The program comes up in an empty run directory, keeps its settings image whole across a kill
// at any moment, and starts afresh from a missing, short or foreign image.
#include <gtest/gtest.h>
#include <signal.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "e2e/harness.h"

namespace {

constexpr long long kImageSize = 524288;
constexpr const char* kBlankText = "starting with a blank settings image";

bool hasThread(const std::vector<std::string>& names, const std::string& n) {
  return std::find(names.begin(), names.end(), n) != names.end();
}

TEST(Startup, BannerImageAndTasksInEmptyDirectory) {
  e2e::RunDir dir;
  e2e::Rxengine rx(dir);
  ASSERT_TRUE(rx.start());
  ASSERT_TRUE(rx.waitReady()) << rx.stderrText();
  const std::string err = rx.stderrText();
  char host[64] = {};
  gethostname(host, sizeof host - 1);
  EXPECT_NE(err.find(std::string("rxengine ") + "0.1.0 on " + host + ", receiver ID -, serial number -: ready\n"),
            std::string::npos)
      << err;
  EXPECT_NE(err.find("receiver ID"), std::string::npos) << err;
  EXPECT_NE(err.find("serial number"), std::string::npos) << err;
  // A first start has no image yet and says so.
  EXPECT_NE(err.find(kBlankText), std::string::npos) << err;
  EXPECT_EQ(dir.size(".gnss.nvm"), kImageSize);
  EXPECT_FALSE(dir.exists(".gnss.nvm.tmp"));
  std::vector<std::string> names = rx.threadNames();
  EXPECT_TRUE(hasThread(names, "PART"));
  EXPECT_TRUE(hasThread(names, "APPX"));
  EXPECT_TRUE(rx.running());
}

TEST(Startup, BannerNamesTheIdentityFiles) {
  e2e::RunDir dir;
  ASSERT_TRUE(dir.write("host/etc/rxengine/serial-number", "SN0042\n"));
  ASSERT_TRUE(dir.write("host/etc/rxengine/receiver-id", "0A1B2C3D\n"));
  e2e::Rxengine rx(dir);
  ASSERT_TRUE(rx.start());
  ASSERT_TRUE(rx.waitReady()) << rx.stderrText();
  const std::string err = rx.stderrText();
  EXPECT_NE(err.find("receiver ID 0A1B2C3D"), std::string::npos) << err;
  EXPECT_NE(err.find("serial number SN0042"), std::string::npos) << err;
}

TEST(Startup, KillRightAfterForcedSaveLeavesImageWhole) {
  e2e::RunDir dir;
  std::string previous;
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE(round);
    e2e::Rxengine rx(dir);
    ASSERT_TRUE(rx.start());
    // The image is forced to storage just before the banner.
    ASSERT_TRUE(rx.waitReady()) << rx.stderrText();
    e2e::ExitStatus st = rx.kill();
    EXPECT_TRUE(st.signaled);
    EXPECT_EQ(dir.size(".gnss.nvm"), kImageSize);
    const std::string image = dir.read(".gnss.nvm");
    if (round > 0) {
      EXPECT_EQ(rx.stderrText().find(kBlankText), std::string::npos) << rx.stderrText();
      // Nothing changed the settings: every start finds and stores the same image.
      EXPECT_TRUE(image == previous);
    }
    previous = image;
  }
  const std::string image = dir.read(".gnss.nvm");
  ASSERT_EQ(image.size(), static_cast<std::size_t>(kImageSize));
  EXPECT_EQ(image.substr(0, 4), "RXNV");
}

TEST(Startup, KillDuringSaveLeavesOldImageWhole) {
  e2e::RunDir dir;
  {
    e2e::Rxengine first(dir);
    ASSERT_TRUE(first.start());
    ASSERT_TRUE(first.waitReady()) << first.stderrText();
    first.kill();
  }
  const std::string good = dir.read(".gnss.nvm");
  ASSERT_EQ(good.size(), static_cast<std::size_t>(kImageSize));
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE(round);
    e2e::Rxengine rx(dir);
    ASSERT_TRUE(rx.start());
    // Kill as soon as a save is under way (or, failing that, once the program is up).
    e2e::waitUntil([&] {
      return dir.exists(".gnss.nvm.tmp") || rx.stderrText().find(e2e::kReadyText) != std::string::npos;
    });
    rx.kill();
    EXPECT_TRUE(dir.read(".gnss.nvm") == good);
  }
  e2e::Rxengine last(dir);
  ASSERT_TRUE(last.start());
  ASSERT_TRUE(last.waitReady()) << last.stderrText();
  EXPECT_EQ(last.stderrText().find(kBlankText), std::string::npos) << last.stderrText();
  EXPECT_FALSE(dir.exists(".gnss.nvm.tmp"));
}

TEST(Startup, UnusableImageStartsBlankAndStrayTmpGoes) {
  struct Case {
    const char* what;
    std::string image;
    const char* reason;
  };
  const Case cases[] = {
      {"short", std::string(1000, '\x55'), "short"},
      {"foreign", std::string(kImageSize, '\0'), "foreign"},
      {"long", std::string(kImageSize + 1, '\0'), "foreign"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    e2e::RunDir dir;
    ASSERT_TRUE(dir.write(".gnss.nvm", c.image));
    ASSERT_TRUE(dir.write(".gnss.nvm.tmp", "half a save"));
    e2e::Rxengine rx(dir);
    ASSERT_TRUE(rx.start());
    ASSERT_TRUE(rx.waitReady()) << rx.stderrText();
    const std::string err = rx.stderrText();
    EXPECT_NE(err.find(std::string(c.reason) + ", " + kBlankText), std::string::npos) << err;
    EXPECT_NE(err.find("removed unfinished .gnss.nvm.tmp"), std::string::npos) << err;
    EXPECT_FALSE(dir.exists(".gnss.nvm.tmp"));
    EXPECT_EQ(dir.size(".gnss.nvm"), kImageSize);
    EXPECT_EQ(dir.read(".gnss.nvm").substr(0, 4), "RXNV");
  }
}

// A FIFO, a directory or a link loop where a file is read: no wait, one "$$" line, on as for a
// missing file (a blank image is no damage); a save that cannot be made is said at the exit.
TEST(Startup, WhatIsNotARegularFileIsRefusedAndSaid) {
  const std::string kBlank = ", starting with a blank settings image\n", kIgnored = " not a regular file: ignored\n";
  const struct {
    const char* path;
    char kind;  // FIFO, directory, link loop
    std::string line;
    bool lost;  // no save can succeed
  } rows[] = {{".gnss.nvm", 'f', "$$NV: .gnss.nvm not a regular file" + kBlank, false},
              {".gnss.nvm", 'd', "$$NV: .gnss.nvm not a regular file" + kBlank, true},
              {".gnss.nvm", 'l', "$$NV: .gnss.nvm unreadable (Too many levels of symbolic links)" + kBlank, false},
              {".gnss.nvm.tmp", 'd', "$$NV: cannot remove .gnss.nvm.tmp (Is a directory): the settings image can", true},
              {".gnss.set", 'f', "$$CmdBuf: .gnss.set" + kIgnored, false},
              {"host/etc/rxengine/receiver-id", 'f', "$$ID: host/etc/rxengine/receiver-id" + kIgnored, false},
              {"host/sys/class/rtc/rtc0/since_epoch", 'f', "$$RTC: host/sys/class/rtc/rtc0/since_epoch" + kIgnored, false}};
  for (const auto& r : rows) {
    e2e::RunDir dir;
    const std::string p = dir.file(r.path);
    ASSERT_TRUE(dir.write(r.path, "") && unlink(p.c_str()) == 0);  // its folders only
    ASSERT_EQ(r.kind == 'f' ? mkfifo(p.c_str(), 0644) : r.kind == 'd' ? mkdir(p.c_str(), 0755) : symlink(r.path, p.c_str()), 0);
    e2e::Rxengine rx(dir);
    e2e::ExitStatus st;
    ASSERT_TRUE(rx.start() && rx.waitReady()) << r.path << " " << r.kind;
    ASSERT_TRUE(rx.signal(SIGTERM) && rx.waitExit(st));
    EXPECT_TRUE(st.exited && st.code == 0);  // the exit asked for, saved or not
    const std::string err = rx.stderrText();
    EXPECT_NE(err.find(r.line), std::string::npos) << err;
    EXPECT_EQ(err.find(r.line), err.rfind(r.line)) << err;
    EXPECT_EQ(err.find("$$NV: settings image not saved on exit") != std::string::npos, r.lost) << err;
    EXPECT_EQ(err.find("damaged"), std::string::npos) << err;
  }
}

TEST(Startup, RunsWithoutEnvironmentOrArguments) {
  // The harness starts the program with an empty environment; it must not depend on one.
  e2e::RunDir dir;
  e2e::Rxengine rx(dir);
  ASSERT_TRUE(rx.start());
  ASSERT_TRUE(rx.waitReady()) << rx.stderrText();
  EXPECT_EQ(rx.stderrText().find("ERROR"), std::string::npos);
}

}  // namespace
