// The log store: the names it accepts, its handles, and what a log file's output port writes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../platform/temp_run_dir.h"
#include "files/file_store.h"
#include "files/log_files.h"
#include "platform/ports/out_port.h"

namespace {

// Every test starts with no handle and no log file open, whatever the test before it left.
class FileStore : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    for (int h = 0; h < kFsMaxHandles; ++h) fsClose(h);
    cfClose(-1);
  }
};

// No name may reach outside .gnss.log.
TEST_F(FileStore, NamesTheStoreAccepts) {
  const std::string longest(63, 'n'), tooLong(64, 'n');
  const struct { const char* name; bool ok; } rows[] = {
      {"log.zrt", true}, {"a", true},      {"A-b_c+1.x", true}, {longest.c_str(), true}, {"", false},
      {".hidden", false}, {"../up", false}, {"dir/file", false}, {"sp ace", false},        {"x\ny", false},
      {"..", false},      {tooLong.c_str(), false}, {nullptr, false}};
  for (auto r : rows) {
    SCOPED_TRACE(r.name ? r.name : "null");
    EXPECT_EQ(pcfCheckName(r.name), r.ok);
    const int h = fsOpen(r.name, FS_WRITE);
    EXPECT_EQ(h >= 0, r.ok);
    fsClose(h);
  }
}

TEST_F(FileStore, HandlesAndPositions) {
  int h = fsOpen("f.bin", FS_WRITE);
  EXPECT_EQ(fsWrite(h, "0123456789", 10), 10);
  fsClose(h);
  h = fsOpen("f.bin", FS_READ);
  char buf[4] = {};
  EXPECT_TRUE(fsSeek(h, 4));
  EXPECT_EQ(fsRead(h, buf, 3), 3);
  EXPECT_STREQ(buf, "456");
  EXPECT_EQ(fsTell(h), 7);
  EXPECT_FALSE(fsSeek(h, -1));
  fsClose(h);
  for (int bad : {h, -1, kFsMaxHandles, 1000}) {  // closed, negative, beyond the table
    EXPECT_LT(fsRead(bad, buf, 1), 0);
    EXPECT_LT(fsWrite(bad, buf, 1), 0);
    EXPECT_EQ(fsTell(bad), -1);
    fsClose(bad);
  }
  EXPECT_LT(fsOpen("missing", FS_READ), 0);
  EXPECT_LT(fsOpen("x", 7), 0);
  int hs[kFsMaxHandles];
  for (int i = 0; i < kFsMaxHandles; ++i) ASSERT_GE(hs[i] = fsOpen(("h" + std::to_string(i)).c_str(), FS_WRITE), 0);
  EXPECT_LT(fsOpen("one-more", FS_WRITE), 0);
  fsClose(hs[3]);
  EXPECT_EQ(fsOpen("one-more", FS_WRITE), hs[3]);
  for (int x : hs) fsClose(x);  // the table is the store's, and the next test needs it
}

TEST_F(FileStore, LogPortWritesIntoTheOpenFileOnly) {
  static int led = -1;  // the recording LED shows the recording state
  wpcLedHook = [](bool on) { led = on; };
  pcfEnableLights(true);
  logPortsInitOnce();
  OStream& out = OutPorts::stream(IOP_FILE_A + 1);
  EXPECT_EQ(out.write("lost", 4, 0), 0);  // nothing open: dropped
  ASSERT_TRUE(cfStartLogging("b.log", false, false, 1));
  EXPECT_EQ(led, 1);
  EXPECT_EQ(out.write("kept", 4, 0), 4);
  cfClose(-1);
  EXPECT_FALSE(cfExists());
  EXPECT_EQ(led, 0);
  EXPECT_EQ(readFile(std::string(kLogDir) + "/b.log"), "kept");
  EXPECT_FALSE(cfStartLogging("../x", false, false, 0));
  EXPECT_FALSE(cfStartLogging("x", false, false, kLogFiles));
  ASSERT_TRUE(cfStartLogging(nullptr, true, true, 0));  // without a name it gets one of its own
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(kLogDir)) names.push_back(e.path().filename().string());
  ASSERT_EQ(names.size(), 2u);
  const std::string own = names[0] == "b.log" ? names[1] : names[0];
  EXPECT_TRUE(pcfCheckName(own.c_str())) << own;
  cfClose(-1);
  wpcLedHook = nullptr;
}

TEST_F(FileStore, RecordingLedFollowsTheBitsAndBlinks) {
  static int led = -1;
  wpcLedHook = [](bool on) { led = on; };
  const struct { void (*step)(); int led; } steps[] = {
      {[] { cfStartLogging("r.log", false, false, 0); }, 1},          {wpcLedsByInvertStatus, 0},          {wpcCheckBlink, 0},
      {wpcCheckBlink, 1},                  {[] { pcfEnableLights(false); }, 0}, {[] { pcfEnableLights(true); }, 1},
      {[] { wpcClearBits(1); }, 0},
      // With the status LEDs off the inverse still shows, and its end leaves the LED as it is.
      {[] { pcfEnableLights(false); }, 0}, {wpcLedsByInvertStatus, 1},          {wpcCheckBlink, 1},
      {wpcCheckBlink, 1},                  {[] { pcfEnableLights(true); }, 0}};
  for (const auto& s : steps) {
    s.step();
    EXPECT_EQ(led, s.led) << &s - steps;
  }
  cfClose(-1);
  wpcLedHook = nullptr;
}

}  // namespace
