// The program comes up in an empty run directory, keeps its settings image whole across a kill
// at any moment, and starts afresh from a missing, short or foreign image.
#include <gtest/gtest.h>
#include <signal.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>

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

// A FIFO, a directory or a link loop where the program reads a file of its own or of the
// system: it neither waits on it nor takes it for something else, says what it found, and goes
// on as for a missing file.
TEST(Startup, WhatIsNotARegularFileIsRefusedAndSaid) {
  enum Kind { kFifo, kDirectory, kLinkLoop };
  struct Case {
    const char* path;
    Kind kind;
    const char* line;
  };
  const Case cases[] = {
      {".gnss.nvm", kFifo, "$$NV: .gnss.nvm not a regular file, starting with a blank settings image\n"},
      {".gnss.nvm", kDirectory, "$$NV: .gnss.nvm not a regular file, starting with a blank settings image\n"},
      {".gnss.nvm", kLinkLoop,
       "$$NV: .gnss.nvm unreadable (Too many levels of symbolic links), starting with a blank settings image\n"},
      {".gnss.set", kFifo, "$$CmdBuf: .gnss.set not a regular file: ignored\n"},
      {"host/etc/rxengine/receiver-id", kFifo, "$$ID: host/etc/rxengine/receiver-id not a regular file: ignored\n"},
      {"host/etc/rxengine/serial-number", kFifo,
       "$$ID: host/etc/rxengine/serial-number not a regular file: ignored\n"},
      {"host/sys/class/rtc/rtc0/since_epoch", kFifo,
       "$$RTC: host/sys/class/rtc/rtc0/since_epoch not a regular file: ignored\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.path) + " kind " + std::to_string(c.kind));
    e2e::RunDir dir;
    ASSERT_TRUE(dir.write(c.path, ""));  // its folders
    const std::string path = dir.file(c.path);
    ASSERT_EQ(unlink(path.c_str()), 0);
    const int made = c.kind == kFifo        ? mkfifo(path.c_str(), 0644)
                     : c.kind == kDirectory ? mkdir(path.c_str(), 0755)
                                            : symlink(c.path, path.c_str());
    ASSERT_EQ(made, 0);
    e2e::Rxengine rx(dir);
    ASSERT_TRUE(rx.start());
    ASSERT_TRUE(rx.waitReady()) << rx.stderrText();
    const std::string err = rx.stderrText();
    EXPECT_NE(err.find(c.line), std::string::npos) << err;
    EXPECT_EQ(err.find(c.line), err.rfind(c.line)) << "said more than once: " << err;
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
