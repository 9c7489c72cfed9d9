// The log store's file access and log ports: names the store accepts, handles, positions, and
// what an output port of a log file writes.
#include <gtest/gtest.h>
#include <poll.h>

#include <cstring>
#include <string>

#include "../platform/temp_run_dir.h"
#include "files/file_store.h"
#include "files/log_files.h"
#include "files/session.h"
#include "platform/ports/out_port.h"

namespace {

class FileStore : public TempRunDir {};

TEST_F(FileStore, NamesTheStoreAccepts) {
  const std::string longest(63, 'n');
  const struct {
    const char* name;
    bool ok;
  } rows[] = {
      {"log.zrt", true},        {"a", true},          {"A-b_c+1.x", true}, {"", false},
      {".hidden", false},       {"../up", false},     {"dir/file", false}, {"sp ace", false},
      {"x\ny", false},          {"..", false},        {longest.c_str(), true},
  };
  for (auto r : rows) EXPECT_EQ(pcfCheckName(r.name), r.ok) << r.name;
  EXPECT_FALSE(pcfCheckName(std::string(64, 'n').c_str()));
  EXPECT_FALSE(pcfCheckName(nullptr));
}

TEST_F(FileStore, WriteSeekTellRead) {
  int w = fsOpen("f.bin", FS_WRITE);
  ASSERT_GE(w, 0);
  EXPECT_EQ(fsWrite(w, "0123456789", 10), 10);
  EXPECT_EQ(fsTell(w), 10);
  fsClose(w);
  EXPECT_EQ(readFile(std::string(kLogDir) + "/f.bin"), "0123456789");
  int r = fsOpen("f.bin", FS_READ);
  ASSERT_GE(r, 0);
  EXPECT_TRUE(fsSeek(r, 4));
  EXPECT_EQ(fsTell(r), 4);
  char buf[16] = {};
  EXPECT_EQ(fsRead(r, buf, 3), 3);
  EXPECT_STREQ(buf, "456");
  EXPECT_FALSE(fsSeek(r, -1));
  EXPECT_TRUE(fsSeek(r, 10));
  EXPECT_EQ(fsRead(r, buf, 3), 0);
  fsClose(r);
  // A closed handle answers as a bad one.
  EXPECT_LT(fsRead(r, buf, 1), 0);
  EXPECT_EQ(fsTell(r), -1);
  EXPECT_FALSE(fsSeek(r, 0));
  fsClose(r);
}

TEST_F(FileStore, BadHandlesAndMissingFiles) {
  EXPECT_LT(fsOpen("missing", FS_READ), 0);
  EXPECT_LT(fsOpen("x", 7), 0);
  char b[4];
  for (int h : {-1, kFsMaxHandles, 1000}) {
    EXPECT_LT(fsRead(h, b, 1), 0);
    EXPECT_LT(fsWrite(h, b, 1), 0);
    EXPECT_EQ(fsTell(h), -1);
    fsClose(h);
  }
}

TEST_F(FileStore, HandlesRunOutAndComeBack) {
  int hs[kFsMaxHandles];
  for (int i = 0; i < kFsMaxHandles; ++i) {
    hs[i] = fsOpen(("h" + std::to_string(i)).c_str(), FS_WRITE);
    ASSERT_GE(hs[i], 0);
  }
  EXPECT_LT(fsOpen("one-more", FS_WRITE), 0);
  fsClose(hs[3]);
  EXPECT_EQ(fsOpen("one-more", FS_WRITE), hs[3]);
}

TEST_F(FileStore, GuardedCallRuns) {
  static int ran = 0;
  int arg = 5;
  EXPECT_TRUE(pcfCallSafely([](void* a) { ran = *static_cast<int*>(a); }, &arg));
  EXPECT_EQ(ran, 5);
  EXPECT_FALSE(pcfCallSafely(nullptr, nullptr));
}

TEST_F(FileStore, LogPortWritesIntoTheOpenFileOnly) {
  logPortsInitOnce();
  ASSERT_NE(OutPorts::ports_[IOP_FILE_A + 1], nullptr);
  OStream& out = OutPorts::stream(IOP_FILE_A + 1);
  EXPECT_EQ(out.write("lost", 4, 0), 0);  // nothing open: dropped
  EXPECT_FALSE(cfExists());
  ASSERT_TRUE(cfStartLogging("b.log", false, false, 1));
  EXPECT_TRUE(cfExists());
  EXPECT_STREQ(cfName(1), "b.log");
  EXPECT_EQ(wpcBits() & 1u, 1u);
  EXPECT_EQ(out.write("kept", 4, 0), 4);
  cfChangeDynamic();
  EXPECT_TRUE(cfIsDynamic(1));
  cfClose(-1);
  EXPECT_FALSE(cfExists());
  EXPECT_EQ(wpcBits() & 1u, 0u);
  EXPECT_EQ(readFile(std::string(kLogDir) + "/b.log"), "kept");
  EXPECT_FALSE(cfStartLogging("../x", false, false, 0));
  EXPECT_FALSE(cfStartLogging("x", false, false, kLogFiles));
  // Without a name the file gets one of its own.
  ASSERT_TRUE(cfStartLogging(nullptr, true, true, 0));
  EXPECT_TRUE(pcfCheckName(cfName(0)));
  cfClose(0);
}

TEST_F(FileStore, RecordingLedFollowsTheBitsAndBlinks) {
  static int led = -1;
  wpcSetLedHook([](bool on) { led = on; });
  wpcSetBits(1);
  EXPECT_EQ(led, 1);
  wpcLedsByInvertStatus();
  EXPECT_EQ(led, 0);
  wpcCheckBlink();
  wpcCheckBlink();
  EXPECT_EQ(led, 1);
  pcfEnableLights(false);
  EXPECT_EQ(led, 0);
  pcfEnableLights(true);
  wpcClearBits(1);
  EXPECT_EQ(led, 0);
  wpcSetLedHook(nullptr);
}

TEST_F(FileStore, SmallSwitches) {
  lrSetMode(true);
  EXPECT_TRUE(lrGetMode());
  EXPECT_FALSE(lrRotate(1000, false));
  cfSetDefDynamic(1);
  EXPECT_EQ(cfGetDefDynamic(), 1);
  EXPECT_STREQ(cfGetDynSpec(), "static,dynamic");
  EXPECT_FALSE(dbgOpenCloseRequested(false));
  dbgOpenCloseFile();
  EXPECT_TRUE(dbgOpenCloseRequested(true));
  EXPECT_FALSE(dbgOpenCloseRequested(false));
  std::uint32_t t = 0;
  EXPECT_FALSE(Session::nextTime(t));
}

}  // namespace
