// The settings image: its blocks, the file on storage, the shutdown and the background cycle that store it.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "platform/file_nvm.h"
#include "platform/nv_block.h"
#include "platform/ram_nvm.h"
#include "platform/shutdown.h"
#include "temp_run_dir.h"

namespace {

// Each test lays out its own blocks in the blank image of a first start.
class NvBlockTest : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    FileNvmLoad();
  }
};
struct Spec { std::uint32_t size; std::uint16_t id; bool checksum; };

TEST_F(NvBlockTest, ADifferentHeaderOrADamagedChecksumLeavesTheBlockInvalidUntilWritten) {
  const struct { const char* what; Spec stored, next; bool flipBit, valid; } cases[] = {
      {"same", {32, 500, true}, {32, 500, true}, false, true},
      {"other id", {32, 500, true}, {32, 501, true}, false, false},
      {"other length", {32, 500, true}, {33, 500, true}, false, false},
      {"checksum flag off", {32, 500, true}, {32, 500, false}, false, false},
      {"bit flipped in the file", {32, 500, true}, {32, 500, true}, true, false},
      {"bit flipped, no checksum to tell", {32, 500, false}, {32, 500, false}, true, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    NvBlock::resetLayout();
    {
      NvBlock a;
      ASSERT_TRUE(a.allocate(c.stored.size, c.stored.id, c.stored.checksum) && a.fill(0x77, c.stored.size, 0) && a.makeValid());
      ASSERT_TRUE(FileNvmSave(0, true));
      std::string img = readFile(".gnss.nvm");
      img[a.imageOffset() + 6 + 3] ^= c.flipBit ? 0x10 : 0;
      writeFile(".gnss.nvm", img);
    }
    for (int start = 0; start < 2; ++start) {
      FileNvmLoad();
      NvBlock b;
      std::uint8_t x = 0;
      ASSERT_TRUE(b.allocate(c.next.size, c.next.id, c.next.checksum));
      EXPECT_EQ(std::pair(b.isValid(), b.read(&x, 1, 0)), std::pair(c.valid, c.valid)) << start;
      ASSERT_TRUE(FileNvmSave(0, true));
    }
  }
}

TEST_F(NvBlockTest, RefusesOutOfRangeAndUnallocated) {
  NvBlock none, b, big, next;
  std::uint8_t buf[16] = {};
  EXPECT_FALSE(none.isValid() || none.read(buf, 1, 0) || none.write(buf, 1, 0) || none.update(buf, 1, 0) || none.makeValid());
  ASSERT_TRUE(b.allocate(8, 10, false));
  EXPECT_FALSE(b.allocate(8, 10, false)) << "a block takes its place once";
  ASSERT_TRUE(b.update(buf, 8, 0));
  // The last two wrap past 2^32 when added in 32 bits.
  for (auto [n, offset] : {std::pair{9u, 0u}, {1u, 8u}, {8u, 1u}, {2u, 0xFFFFFFFFu}, {0xFFFFFFFFu, 2u}})
    EXPECT_FALSE(b.read(buf, n, offset) || b.write(buf, n, offset) || b.fill(0, n, offset) || b.update(buf, n, offset)) << offset;
  EXPECT_TRUE(b.read(buf, 0, 8));
  // A full image refuses a block that does not fit; the block may try again smaller.
  ASSERT_TRUE(big.allocate(RamNvm::kSize - RamNvm::allocCursor() - 6 - 10, 1, false));
  EXPECT_FALSE(next.allocate(11, 2, false) || next.isAllocated());
  EXPECT_TRUE(next.allocate(4, 2, false));
}

// Our header and anything after it: every block comes up, valid only where its header matches by chance.
TEST_F(NvBlockTest, RandomImageContentIsHandled) {
  std::mt19937 rng(11);
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    ASSERT_TRUE(FileNvmSave(0, true));
    std::string img = readFile(".gnss.nvm");
    for (std::size_t i = RamNvm::kHeaderSize; i < img.size(); ++i) img[i] = static_cast<char>(rng());
    if (round % 2) img.replace(RamNvm::kHeaderSize, 6, std::string("\x05\x00\x08\x00\x00\x80", 6));  // id 5, 8 bytes, valid
    writeFile(".gnss.nvm", img);
    ASSERT_TRUE(FileNvmLoad());
    std::vector<std::unique_ptr<NvBlock>> blocks;
    for (int i = 0; i < 50; ++i) {
      blocks.push_back(std::make_unique<NvBlock>());
      const std::uint32_t size = i == 0 ? 8 : rng() % 3000;
      const bool checksum = i == 0 ? false : (rng() & 1) != 0;
      ASSERT_TRUE(blocks.back()->allocate(size, static_cast<std::uint16_t>(5 + i), checksum));
      std::vector<std::uint8_t> buf(size + 1);
      EXPECT_TRUE(!blocks.back()->read(buf.data(), size, 0) || blocks.back()->isValid());
      EXPECT_FALSE(blocks.back()->read(buf.data(), size + 1, 0));
    }
    EXPECT_TRUE(round % 2 == 0 || blocks[0]->isValid());
  }
}

// One task rewrites a block with a running pattern while another saves.
TEST_F(NvBlockTest, SaveNeverCatchesBlockHalfUpdated) {
  static NvBlock b;
  ASSERT_TRUE(b.allocate(4096, 99, true));
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (std::uint8_t k = 0; !stop; ++k) b.update(std::vector<std::uint8_t>(4096, k).data(), 4096, 0);
  });
  for (int i = 0; i < 30; ++i) {
    FileNvmSave(static_cast<std::uint32_t>(i), true);  // the file is what counts
    const std::string img = readFile(".gnss.nvm");
    ASSERT_EQ(img.size(), RamNvm::kSize);
    const auto* d = reinterpret_cast<const std::uint8_t*>(img.data()) + b.imageOffset() + 6;
    EXPECT_EQ(std::pair(std::count(d, d + 4096, d[0]), d[4096]), std::pair(std::ptrdiff_t{4096}, std::uint8_t{0})) << i;  // XOR sum
  }
  stop = true;
  writer.join();
}

class FileNvmTest : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    FileNvmLoad();
    ASSERT_TRUE(block_.allocate(4, 42, true));
  }
  void change(char c) { ASSERT_TRUE(block_.update(std::string(4, c).data(), 4, 0)); }
  char stored() {  // the block's first byte in the file
    const std::string img = readFile(".gnss.nvm");
    return img.size() == RamNvm::kSize ? img[block_.imageOffset() + 6] : '?';
  }
  NvBlock block_;
};

// The second run starts 5 s before the millisecond count wraps.
TEST_F(FileNvmTest, SavesAtMostEveryTenSecondsUnlessForcedAlsoAcrossTheWrapOfTheMillisecondCount) {
  const struct { std::uint32_t ms; bool force; char change; bool saved; char stored; } steps[] = {
      {1000, false, 'a', true, 'a'}, {1001, false, 0, true, 'a'},  // the first goes at once; unchanged is saved
      {5000, false, 'b', false, 'a'}, {10999, false, 0, false, 'a'}, {11000, false, 0, true, 'b'},  // held 10 s
      {11500, false, 'c', false, 'b'}, {11600, true, 0, true, 'c'},  // forced
      {12000, false, 'd', false, 'c'}, {21600, false, 0, true, 'd'}};  // forcing counts as a save for the period
  for (std::uint32_t base : {0u, 0u - 5000u}) {
    for (const auto& s : steps) {
      SCOPED_TRACE(testing::Message() << base << " + " << s.ms);
      if (s.change) change(s.change);
      EXPECT_EQ(FileNvmSave(base + s.ms, s.force), s.saved);
      EXPECT_EQ(stored(), s.stored);
      EXPECT_FALSE(exists(".gnss.nvm.tmp"));
    }
  }
  ASSERT_EQ(unlink(".gnss.nvm"), 0);
  EXPECT_TRUE(FileNvmSave(100000, false));
  EXPECT_FALSE(exists(".gnss.nvm")) << "an unchanged image is not rewritten";
  EXPECT_TRUE(FileNvmSave(100001, true));
  EXPECT_EQ(stored(), 'd');
}

// A load starts the save period afresh whether it found the file or not: the first change after
// it is saved at once, however recent the save before the load.
TEST_F(FileNvmTest, TheFirstSaveAfterALoadGoesAtOnceWithOrWithoutAFile) {
  for (const bool fileThere : {true, false}) {
    SCOPED_TRACE(fileThere ? "file loaded" : "no file: blank image");
    change('a');
    ASSERT_TRUE(FileNvmSave(50000, true));
    if (!fileThere) {
      ASSERT_EQ(unlink(".gnss.nvm"), 0);
    }
    EXPECT_EQ(FileNvmLoad(), fileThere);
    ASSERT_TRUE(block_.allocate(4, 42, true));
    change('e');
    EXPECT_TRUE(FileNvmSave(51000, false));
    EXPECT_EQ(stored(), 'e');
  }
}

bool g_snapshotOk = true;
int g_commits = 0;

TEST_F(FileNvmTest, AFailedSnapshotOrWriteKeepsTheOldFileAndSkipsTheCommit) {
  RamNvm::setSnapshotHook([] { return NvBlock().isValid() || g_snapshotOk; });  // may read blocks: its own lock
  FileNvmSetCommitHook([] { g_commits += exists(".gnss.nvm") && !exists(".gnss.nvm.tmp") ? 1 : 100; });
  change('a');
  ASSERT_TRUE(FileNvmSave(0, true));
  for (bool snapshotFails : {true, false}) {
    g_snapshotOk = !snapshotFails;
    ASSERT_TRUE(snapshotFails || mkdir(".gnss.nvm.tmp", 0755) == 0);  // in the way of the temporary file
    change(snapshotFails ? 'b' : 'c');
    EXPECT_FALSE(FileNvmSave(20000, true));
    EXPECT_EQ(std::pair(stored(), g_commits), std::pair('a', 1)) << snapshotFails;
  }
  ASSERT_EQ(rmdir(".gnss.nvm.tmp"), 0);
  EXPECT_TRUE(FileNvmSave(20001, true));
  EXPECT_EQ(std::pair(stored(), g_commits), std::pair('c', 2));
}

// Made at a name of the save while the program runs: a FIFO nobody reads (it blocked the save in
// open for good) is replaced by the file; a directory is refused, and said once per cause until a
// save succeeds again.
TEST_F(FileNvmTest, WhatIsNotAFileAtASaveNameNeverBlocksAndIsSaidOncePerCause) {
  change('a');
  ASSERT_TRUE(FileNvmSave(0, true));
  const struct {
    const char* name;
    int (*make)();
    bool saves;
    std::string said;
  } rows[] = {
      {"FIFO at the temporary name", [] { return mkfifo(".gnss.nvm.tmp", 0644); }, true, ""},
      {"directory at the temporary name", [] { return mkdir(".gnss.nvm.tmp", 0755); }, false,
       "$$NV: .gnss.nvm.tmp: not a regular file: the settings cannot be saved\n"},
      {"directory at the image's name", [] { return rmdir(".gnss.nvm.tmp") | unlink(".gnss.nvm") | mkdir(".gnss.nvm", 0755); },
       false, "$$NV: .gnss.nvm: Is a directory: the settings cannot be saved\n"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    ASSERT_EQ(r.make(), 0);
    testing::internal::CaptureStderr();
    std::atomic<int> saved{-1};
    std::thread t([&] {
      change('b');
      const bool first = FileNvmSave(0, true);
      change('c');
      saved = first && FileNvmSave(1, true);
    });
    for (int i = 0; i < 500 && saved < 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_GE(saved, 0) << "the save is blocked";
    if (saved < 0) close(open(".gnss.nvm.tmp", O_RDONLY | O_NONBLOCK));  // let it go: the test ends
    t.join();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), r.said);
    EXPECT_EQ(saved == 1, r.saves);
  }
}

TEST_F(FileNvmTest, LoadTakesOnlyItsOwnImageNeverWaitsOnAFifoAndRemovesAStrayTemporaryFile) {
  change('a');
  ASSERT_TRUE(FileNvmSave(0, true));
  const std::string good = readFile(".gnss.nvm");
  const struct { std::string what, content; bool loads; } cases[] = {
      {"own", good, true}, {"short by one", good.substr(0, good.size() - 1), false}, {"long by one", good + "x", false},
      {"other magic", "X" + good.substr(1), false}, {"empty", "", false}, {"missing", "", false}, {"fifo", "", false}};
  for (const auto& c : cases) {
    writeFile(".gnss.nvm", c.content);
    ASSERT_TRUE(c.what != "missing" || unlink(".gnss.nvm") == 0);
    ASSERT_TRUE(c.what != "fifo" || (unlink(".gnss.nvm") == 0 && mkfifo(".gnss.nvm", 0644) == 0));
    writeFile(".gnss.nvm.tmp", "stray");
    NvBlock b;
    EXPECT_EQ(FileNvmLoad(), c.loads) << c.what;
    EXPECT_FALSE(exists(".gnss.nvm.tmp")) << c.what;
    EXPECT_TRUE(b.allocate(4, 42, true) && b.isValid() == c.loads) << c.what;
  }
}

using ShutdownTest = TempRunDir;
constexpr const char* kRequest = "host/var/run/rxengine-request";

TEST_F(ShutdownTest, ModesWriteTheirWordAndExitCode) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  const struct { int mode, code; const char* word; } cases[] = {{kShutPowerOff, 128, "power_off"}, {kShutSleep, 128, "sleep"},
      {kShutReboot, 127, "reboot"}, {kShutRestart, 0, "(none)"}, {99, 0, "(none)"}};  // unknown: restart
  for (const auto& c : cases) {
    unlink(kRequest);
    EXPECT_EXIT(rcvShutdown(c.mode, nullptr, kNoWakeup, false), ::testing::ExitedWithCode(c.code), "") << c.mode;
    EXPECT_EQ(exists(kRequest) ? readFile(kRequest) : "(none)", c.word);
  }
}

// The session's step is left out when the image is cleared.
TEST_F(ShutdownTest, RunsItsStepsInOrderAndStoresOrClearsTheImage) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  static std::string trace;
  rcvShutdownSteps[kShutStepPower] = [](const ShutdownRequest& r) { std::fprintf(stderr, "%sP wake %u\n", trace.c_str(), r.wakeup); };
  rcvShutdownSteps[kShutStepFilePush] = [](const ShutdownRequest&) { trace += "F"; };
  rcvShutdownSteps[kShutStepLogFiles] = [](const ShutdownRequest&) { trace += "L"; };
  rcvShutdownSteps[kShutStepAnswer] = [](const ShutdownRequest& r) { trace += r.message; };
  rcvShutdownSteps[kShutStepNetwork] = [](const ShutdownRequest&) { trace += "N"; };
  rcvShutdownSteps[kShutStepSession] = [](const ShutdownRequest&) { trace += "S"; };
  for (bool clear : {false, true}) {
    FileNvmLoad();
    NvBlock b, again;
    ASSERT_TRUE(b.allocate(5, 300, true) && b.update("hello", 5, 0));
    EXPECT_EXIT(rcvShutdown(clear ? kShutRestart : kShutSleep, "a", clear ? kNoWakeup : 1234, clear),
                ::testing::ExitedWithCode(clear ? 0 : 128), clear ? "FLaNP wake" : "FLaNSP wake 1234\n");
    FileNvmLoad();
    char got[5] = {};
    ASSERT_TRUE(again.allocate(5, 300, true));
    EXPECT_EQ(again.read(got, 5, 0) ? std::string(got, 5) : "(invalid)", clear ? "(invalid)" : "hello");
  }
}

using ApxTest = TempRunDir;

}  // namespace
