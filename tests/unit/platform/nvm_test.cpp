// The settings image: blocks and what the next start finds of them, the file on storage and when
// it is written, the shutdown that stores it, and the background cycle that saves it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "platform/apx_task.h"
#include "platform/exit.h"
#include "platform/file_nvm.h"
#include "platform/nv_block.h"
#include "platform/nv_init.h"
#include "platform/nv_pended_clear.h"
#include "platform/ram_nvm.h"
#include "platform/shutdown.h"
#include "temp_run_dir.h"

namespace {

using NvBlockTest = TempRunDir;

// Stores the image and reads it back with the layout forgotten: what the next start sees.
void restart() {
  ASSERT_TRUE(FileNvmSave(0, true));
  FileNvmLoad();
}

struct Spec {
  std::uint32_t size;
  std::uint16_t id;
  bool checksum;
};

TEST_F(NvBlockTest, ValidBlocksKeepTheirPlaceAndContentOverARestart) {
  const Spec specs[] = {{16, 1, false}, {100, 2, true}, {1, 3, true}, {4000, 4, false}};
  std::vector<std::uint32_t> offsets;
  for (int pass = 0; pass < 2; ++pass) {
    NvBlock b[4];
    for (int i = 0; i < 4; ++i) {
      SCOPED_TRACE(i);
      ASSERT_TRUE(b[i].allocate(specs[i].size, specs[i].id, specs[i].checksum));
      std::vector<std::uint8_t> data(specs[i].size, static_cast<std::uint8_t>(0x30 + i));
      if (pass == 0) {
        offsets.push_back(b[i].imageOffset());
        ASSERT_TRUE(b[i].update(data.data(), specs[i].size, 0));
        continue;
      }
      EXPECT_EQ(b[i].imageOffset(), offsets[i]);
      std::vector<std::uint8_t> got(specs[i].size);
      EXPECT_TRUE(b[i].isValid() && b[i].read(got.data(), specs[i].size, 0));
      EXPECT_EQ(got, data);
    }
    // Blocks follow one another: 6-byte header, data, checksum byte.
    EXPECT_EQ(offsets, (std::vector<std::uint32_t>{offsets[0], offsets[0] + 22, offsets[0] + 129, offsets[0] + 137}));
    restart();
  }
}

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
      ASSERT_TRUE(a.allocate(c.stored.size, c.stored.id, c.stored.checksum));
      ASSERT_TRUE(a.fill(0x77, c.stored.size, 0) && a.makeValid());
      ASSERT_TRUE(FileNvmSave(0, true));
      std::string img = readFile(".gnss.nvm");
      if (c.flipBit) img[a.imageOffset() + 6 + 3] ^= 0x10;
      writeFile(".gnss.nvm", img);
      FileNvmLoad();
    }
    NvBlock b;
    ASSERT_TRUE(b.allocate(c.next.size, c.next.id, c.next.checksum));
    std::uint8_t x = 0;
    EXPECT_EQ(b.isValid(), c.valid);
    EXPECT_EQ(b.read(&x, 1, 0), c.valid);
    if (c.valid) continue;
    restart();
    NvBlock again;
    ASSERT_TRUE(again.allocate(c.next.size, c.next.id, c.next.checksum));
    EXPECT_FALSE(again.isValid());
  }
}

TEST_F(NvBlockTest, WriteKeepsTheMarkUpdateSetsItAndTheChecksumHoldsOverARestart) {
  NvBlock b;
  ASSERT_TRUE(b.allocate(8, 9, true));
  std::uint8_t buf[8] = {};
  EXPECT_FALSE(b.isValid() || b.read(buf, 8, 0));
  const std::uint8_t four[4] = {1, 2, 3, 4}, two[2] = {9, 9};
  ASSERT_TRUE(b.write(four, 4, 4));
  EXPECT_FALSE(b.isValid());
  ASSERT_TRUE(b.makeValid() && b.makeInvalid());
  ASSERT_TRUE(b.update(two, 2, 0));
  EXPECT_TRUE(b.isValid());
  restart();
  NvBlock c;
  ASSERT_TRUE(c.allocate(8, 9, true));
  ASSERT_TRUE(c.read(buf, 8, 0));
  EXPECT_EQ(std::vector(buf, buf + 2), std::vector(two, two + 2));
  EXPECT_EQ(std::vector(buf + 4, buf + 8), std::vector(four, four + 4));
}

TEST_F(NvBlockTest, RefusesOutOfRangeAndUnallocated) {
  NvBlock none;
  std::uint8_t buf[16] = {};
  EXPECT_FALSE(none.isValid() || none.read(buf, 1, 0) || none.write(buf, 1, 0) || none.update(buf, 1, 0));
  EXPECT_FALSE(none.makeValid());
  NvBlock b;
  ASSERT_TRUE(b.allocate(8, 10, false));
  EXPECT_FALSE(b.allocate(8, 10, false)) << "a block takes its place once";
  ASSERT_TRUE(b.update(buf, 8, 0));
  // The last two wrap past 2^32 when added in 32 bits.
  for (auto [n, offset] : {std::pair{9u, 0u}, {1u, 8u}, {8u, 1u}, {2u, 0xFFFFFFFFu}, {0xFFFFFFFFu, 2u}}) {
    EXPECT_FALSE(b.read(buf, n, offset) || b.write(buf, n, offset)) << offset;
    EXPECT_FALSE(b.fill(0, n, offset) || b.update(buf, n, offset)) << offset;
  }
  EXPECT_TRUE(b.read(buf, 0, 8));
  // A full image refuses a block that does not fit, and the block may try again smaller.
  NvBlock big, next;
  ASSERT_TRUE(big.allocate(RamNvm::kSize - RamNvm::allocCursor() - 6 - 10, 1, false));
  EXPECT_FALSE(next.allocate(11, 2, false) || next.isAllocated());
  EXPECT_TRUE(next.allocate(4, 2, false));
}

TEST_F(NvBlockTest, PendedClearEmptiesTheImageAtTheNextStartOnly) {
  {
    NvBlock a;
    nvPendedClear_NvAlloc();
    ASSERT_TRUE(a.allocate(4, 77, true));
    ASSERT_TRUE(a.update("abcd", 4, 0));
    EXPECT_FALSE(nvPendedClearIsPending());
    ASSERT_TRUE(nvPendedClearRequest() && nvPendedClearIsPending());
    ASSERT_TRUE(FileNvmSave(0, true));
  }
  for (bool clears : {true, false}) {
    nvInitOnce();
    NvBlock a;
    ASSERT_TRUE(a.allocate(4, 77, true));
    EXPECT_EQ(a.isValid(), !clears);
    EXPECT_FALSE(nvPendedClearIsPending());
    nvPendedClearOnRebootsReset();  // the cleared image reaches storage
    ASSERT_TRUE(a.update("wxyz", 4, 0) && FileNvmSave(0, true));
  }
}

// The order of the slots fixes the layout that stored images depend on.
TEST_F(NvBlockTest, InitOrderPlacesLaterSlotsAfterEarlierOnes) {
  static NvBlock first, second;
  nvInitSet(kNvTsDecoderNv, [] { second.allocate(20, 1002, true); });
  nvInitSet(kNvSerdefs, [] { first.allocate(10, 1001, true); });
  nvInitOnce();
  EXPECT_EQ(first.imageOffset(), RamNvm::kHeaderSize);
  // Between them lies the pending-clear block of its own slot.
  EXPECT_EQ(second.imageOffset(), RamNvm::kHeaderSize + 6 + 10 + 1 + 6 + 8 + 1);
}

// An image with our header and anything after it: every block comes up, valid only where its
// header happens to match, and reads never leave the block.
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

// One task rewrites a block with a running pattern while another saves: every stored image holds
// one whole update, its checksum right.
TEST_F(NvBlockTest, SaveNeverCatchesBlockHalfUpdated) {
  static NvBlock b;
  ASSERT_TRUE(b.allocate(4096, 99, true));
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    std::vector<std::uint8_t> v(4096);
    for (std::uint8_t k = 0; !stop; ++k) {
      std::fill(v.begin(), v.end(), k);
      b.update(v.data(), 4096, 0);
    }
  });
  for (int i = 0; i < 30; ++i) {
    FileNvmSave(static_cast<std::uint32_t>(i), true);  // the file is what counts
    const std::string img = readFile(".gnss.nvm");
    ASSERT_EQ(img.size(), RamNvm::kSize);
    const auto* d = reinterpret_cast<const std::uint8_t*>(img.data()) + b.imageOffset() + 6;
    std::uint8_t x = 0;
    for (int k = 0; k < 4096; ++k) x ^= d[k];
    EXPECT_EQ(std::count(d, d + 4096, d[0]), 4096) << i;
    EXPECT_EQ(x, d[4096]) << i;
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

TEST_F(FileNvmTest, SavesAtMostEveryTenSecondsUnlessForcedAlsoAcrossTheWrapOfTheMillisecondCount) {
  const struct { std::uint32_t ms; bool force; char change; bool saved; char stored; } steps[] = {
      {1000, false, 'a', true, 'a'},    // the first save goes at once
      {1001, false, 0, true, 'a'},      // nothing changed: all is saved
      {5000, false, 'b', false, 'a'},   // held back
      {10999, false, 0, false, 'a'},
      {11000, false, 0, true, 'b'},     // 10 s passed
      {11500, false, 'c', false, 'b'},
      {11600, true, 0, true, 'c'},      // forced
      {12000, false, 'd', false, 'c'},  // forcing counts as a save for the period
      {21600, false, 0, true, 'd'}};
  for (std::uint32_t base : {0u, 0u - 5000u}) {
    for (const auto& s : steps) {
      SCOPED_TRACE(testing::Message() << base << " + " << s.ms);
      if (s.change) change(s.change);
      EXPECT_EQ(FileNvmSave(base + s.ms, s.force), s.saved);
      EXPECT_EQ(stored(), s.stored);
      EXPECT_FALSE(exists(".gnss.nvm.tmp"));
    }
  }
  // An unchanged image is not rewritten; a forced save writes it whatever is known.
  ASSERT_EQ(unlink(".gnss.nvm"), 0);
  EXPECT_TRUE(FileNvmSave(100000, false));
  EXPECT_FALSE(exists(".gnss.nvm"));
  EXPECT_TRUE(FileNvmSave(100001, true));
  EXPECT_EQ(stored(), 'd');
}

int g_commits = 0;
bool g_snapshotOk = true;

TEST_F(FileNvmTest, AFailedSnapshotOrWriteKeepsTheOldFileAndSkipsTheCommit) {
  RamNvm::setSnapshotHook([] {
    NvBlock probe;
    (void)probe.isValid();  // the hook may read blocks: the image lock is its own
    return g_snapshotOk;
  });
  FileNvmSetCommitHook([] { g_commits += exists(".gnss.nvm") && !exists(".gnss.nvm.tmp") ? 1 : 100; });
  change('a');
  ASSERT_TRUE(FileNvmSave(0, true));
  for (bool snapshotFails : {true, false}) {
    SCOPED_TRACE(snapshotFails ? "snapshot" : "write");
    g_snapshotOk = !snapshotFails;
    ASSERT_TRUE(snapshotFails || mkdir(".gnss.nvm.tmp", 0755) == 0);  // in the way of the temporary file
    change(snapshotFails ? 'b' : 'c');
    EXPECT_FALSE(FileNvmSave(20000, true));
    EXPECT_EQ(stored(), 'a');
    EXPECT_EQ(g_commits, 1);
  }
  ASSERT_EQ(rmdir(".gnss.nvm.tmp"), 0);
  EXPECT_TRUE(FileNvmSave(20001, true));
  EXPECT_EQ(stored(), 'c');
  EXPECT_EQ(g_commits, 2);
}

TEST_F(FileNvmTest, LoadTakesOnlyItsOwnImageNeverWaitsOnAFifoAndRemovesAStrayTemporaryFile) {
  change('a');
  ASSERT_TRUE(FileNvmSave(0, true));
  const std::string good = readFile(".gnss.nvm");
  const struct { const char* what; std::string content; bool loads; } cases[] = {
      {"own", good, true}, {"short by one", good.substr(0, good.size() - 1), false}, {"long by one", good + "x", false},
      {"other magic", "X" + good.substr(1), false}, {"empty", "", false}, {"missing", "", false}, {"fifo", "", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string what = c.what;
    writeFile(".gnss.nvm", c.content);
    if (what == "missing" || what == "fifo") unlink(".gnss.nvm");
    ASSERT_TRUE(what != "fifo" || mkfifo(".gnss.nvm", 0644) == 0);
    writeFile(".gnss.nvm.tmp", "stray");
    EXPECT_EQ(FileNvmLoad(), c.loads);
    EXPECT_FALSE(exists(".gnss.nvm.tmp"));
    NvBlock b;
    ASSERT_TRUE(b.allocate(4, 42, true));
    EXPECT_EQ(b.isValid(), c.loads);
  }
}

using ShutdownTest = TempRunDir;
constexpr const char* kRequest = "host/var/run/rxengine-request";

TEST_F(ShutdownTest, ModesWriteTheirWordAndExitCode) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  const struct { int mode, code; const char* word; } cases[] = {
      {kShutPowerOff, 128, "power_off"}, {kShutSleep, 128, "sleep"}, {kShutReboot, 127, "reboot"},
      {kShutRestart, 0, nullptr}, {99, 0, nullptr}};  // unknown: restart
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    unlink(kRequest);
    EXPECT_EXIT(rcvShutdown(c.mode, nullptr, kNoWakeup, false), ::testing::ExitedWithCode(c.code), "");
    EXPECT_EQ(exists(kRequest) ? readFile(kRequest) : "(none)", c.word ? c.word : "(none)");
  }
}

// The image is stored before the end, or emptied when asked; the steps run in order, and the
// session step is left out when the image is cleared.
TEST_F(ShutdownTest, StoresOrClearsTheImageAndRunsItsStepsInOrder) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  static std::string trace;
  rcvShutdownSetStep(kShutStepPower, [](const ShutdownRequest& r) { std::fprintf(stderr, "%sP wake %u\n", trace.c_str(), r.wakeup); });
  rcvShutdownSetStep(kShutStepFilePush, [](const ShutdownRequest&) { trace += "F"; });
  rcvShutdownSetStep(kShutStepLogFiles, [](const ShutdownRequest&) { trace += "L"; });
  rcvShutdownSetStep(kShutStepAnswer, [](const ShutdownRequest& r) { trace += r.message; });
  rcvShutdownSetStep(kShutStepNetwork, [](const ShutdownRequest&) { trace += "N"; });
  rcvShutdownSetStep(kShutStepSession, [](const ShutdownRequest&) { trace += "S"; });
  for (bool clear : {false, true}) {
    FileNvmLoad();
    NvBlock b;
    ASSERT_TRUE(b.allocate(5, 300, true));
    ASSERT_TRUE(b.update("hello", 5, 0));
    if (clear) {
      EXPECT_EXIT(rcvShutdown(kShutRestart, "a", kNoWakeup, true), ::testing::ExitedWithCode(0), "FLaNP wake");
    } else {
      EXPECT_EXIT(rcvShutdown(kShutSleep, "a", 1234, false), ::testing::ExitedWithCode(128), "FLaNSP wake 1234\n");
    }
    FileNvmLoad();
    NvBlock again;
    ASSERT_TRUE(again.allocate(5, 300, true));
    char got[5] = {};
    EXPECT_EQ(again.read(got, 5, 0) ? std::string(got, 5) : "(invalid)", clear ? "(invalid)" : "hello");
  }
}

using ApxTest = TempRunDir;

TEST_F(ApxTest, CycleRunsHooksInTheirPlacesStampsTheWatchdogAndSaves) {
  static std::string trace;
  FileNvmLoad();
  NvBlock b;
  ASSERT_TRUE(b.allocate(4, 5, true));
  ASSERT_TRUE(b.update("abcd", 4, 0));
  ASSERT_TRUE(apxHookAdd(kApxCycle, [](std::uint32_t) { trace += "c"; }));
  ASSERT_TRUE(apxHookAdd(kApxCycle, [](std::uint32_t) { trace += "C"; }));
  ASSERT_TRUE(apxHookAdd(kApxAfterSave, [](std::uint32_t) { trace += exists(".gnss.nvm") ? "s" : "-"; }));
  ASSERT_TRUE(apxHookAdd(kApxFiveSec, [](std::uint32_t) { trace += "5"; }));
  EXPECT_FALSE(apxHookAdd(kApxStageCount, [](std::uint32_t) {}));
  EXPECT_FALSE(apxHookAdd(kApxCycle, nullptr));
  EXPECT_FALSE(apxProcActive);
  apxCycle();
  EXPECT_TRUE(apxProcActive);
  EXPECT_NE(swdLastTime_, 0u);
  EXPECT_EQ(trace, "cCs");  // the first cycle opens the 5-s period rather than running its duties
  EXPECT_EQ(readFile(".gnss.nvm").size(), RamNvm::kSize);
}

}  // namespace
