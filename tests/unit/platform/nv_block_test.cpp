// Settings blocks: what a start after a change of layout, a corrupted file or an interrupted
// update leaves valid.
#include "platform/nv_block.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <random>
#include <thread>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_nvm.h"
#include "platform/nv_init.h"
#include "platform/nv_pended_clear.h"
#include "platform/ram_nvm.h"
#include "temp_run_dir.h"

namespace {

class NvBlockTest : public TempRunDir {};

// Stores the image, forgets the layout and reads the file again: what the next start sees.
void restart() {
  ASSERT_TRUE(FileNvmSave(0, true));
  FileNvmLoad();
}

struct Spec {
  std::uint32_t size;
  std::uint16_t id;
  bool checksum;
};

TEST_F(NvBlockTest, ValidBlockSurvivesRestartWithSameLayout) {
  const Spec specs[] = {{16, 1, false}, {100, 2, true}, {1, 3, true}, {4000, 4, false}};
  std::vector<std::uint32_t> offsets;
  {
    NvBlock b[4];
    for (int i = 0; i < 4; ++i) {
      ASSERT_TRUE(b[i].allocate(specs[i].size, specs[i].id, specs[i].checksum));
      offsets.push_back(b[i].imageOffset());
      std::vector<std::uint8_t> data(specs[i].size, static_cast<std::uint8_t>(0x30 + i));
      ASSERT_TRUE(b[i].update(data.data(), specs[i].size, 0));
    }
    // Blocks follow one another: header, data, checksum byte.
    EXPECT_EQ(offsets[1], offsets[0] + 6 + 16);
    EXPECT_EQ(offsets[2], offsets[1] + 6 + 100 + 1);
    EXPECT_EQ(offsets[3], offsets[2] + 6 + 1 + 1);
    restart();
  }
  NvBlock b[4];
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    ASSERT_TRUE(b[i].allocate(specs[i].size, specs[i].id, specs[i].checksum));
    EXPECT_EQ(b[i].imageOffset(), offsets[i]);
    EXPECT_TRUE(b[i].isValid());
    std::vector<std::uint8_t> got(specs[i].size);
    ASSERT_TRUE(b[i].read(got.data(), specs[i].size, 0));
    EXPECT_EQ(got, std::vector<std::uint8_t>(specs[i].size, static_cast<std::uint8_t>(0x30 + i)));
  }
}

TEST_F(NvBlockTest, HeaderMismatchLeavesBlockInvalid) {
  struct Case {
    const char* what;
    Spec next;
    bool valid;
  };
  const Spec stored{32, 500, true};
  const Case cases[] = {
      {"same", {32, 500, true}, true},
      {"other id", {32, 501, true}, false},
      {"other length", {33, 500, true}, false},
      {"checksum flag off", {32, 500, false}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    NvBlock::resetLayout();
    {
      NvBlock a;
      ASSERT_TRUE(a.allocate(stored.size, stored.id, stored.checksum));
      ASSERT_TRUE(a.fill(0x77, stored.size, 0));
      ASSERT_TRUE(a.makeValid());
      restart();
    }
    NvBlock b;
    ASSERT_TRUE(b.allocate(c.next.size, c.next.id, c.next.checksum));
    EXPECT_EQ(b.isValid(), c.valid);
    std::uint8_t x = 0;
    EXPECT_EQ(b.read(&x, 1, 0), c.valid);
    // An invalid block stays invalid over the next start too, until its owner writes it.
    if (!c.valid) {
      restart();
      NvBlock again;
      ASSERT_TRUE(again.allocate(c.next.size, c.next.id, c.next.checksum));
      EXPECT_FALSE(again.isValid());
    }
  }
}

TEST_F(NvBlockTest, ChecksumCorruptionInFileLeavesBlockInvalid) {
  std::uint32_t off;
  {
    NvBlock a, plain;
    ASSERT_TRUE(a.allocate(10, 7, true));
    ASSERT_TRUE(plain.allocate(10, 8, false));
    const char text[10] = "settings!";
    ASSERT_TRUE(a.update(text, 10, 0));
    ASSERT_TRUE(plain.update(text, 10, 0));
    off = a.imageOffset();
    ASSERT_TRUE(FileNvmSave(0, true));
  }
  // Flip one data bit of each block in the stored file.
  std::string img = readFile(".gnss.nvm");
  ASSERT_EQ(img.size(), RamNvm::kSize);
  img[off + 6 + 3] ^= 0x10;
  img[off + 6 + 10 + 1 + 6 + 3] ^= 0x10;
  writeFile(".gnss.nvm", img);
  FileNvmLoad();
  NvBlock a, plain;
  ASSERT_TRUE(a.allocate(10, 7, true));
  ASSERT_TRUE(plain.allocate(10, 8, false));
  EXPECT_FALSE(a.isValid());
  // Without a checksum nothing can tell: the block reads as stored.
  EXPECT_TRUE(plain.isValid());
}

TEST_F(NvBlockTest, UpdateWriteAndMarks) {
  NvBlock b;
  ASSERT_TRUE(b.allocate(8, 9, true));
  EXPECT_FALSE(b.isValid());
  std::uint8_t buf[8] = {};
  EXPECT_FALSE(b.read(buf, 8, 0));
  // write leaves the mark as it is.
  const std::uint8_t four[4] = {1, 2, 3, 4};
  ASSERT_TRUE(b.write(four, 4, 4));
  EXPECT_FALSE(b.isValid());
  ASSERT_TRUE(b.makeValid());
  ASSERT_TRUE(b.read(buf, 8, 0));
  EXPECT_EQ(buf[4], 1);
  EXPECT_EQ(buf[7], 4);
  // update of a part: valid after, the rest kept.
  ASSERT_TRUE(b.makeInvalid());
  const std::uint8_t two[2] = {9, 9};
  ASSERT_TRUE(b.update(two, 2, 0));
  EXPECT_TRUE(b.isValid());
  ASSERT_TRUE(b.read(buf, 8, 0));
  EXPECT_EQ(buf[0], 9);
  EXPECT_EQ(buf[5], 2);
  // The checksum kept by every change holds over a restart.
  restart();
  NvBlock c;
  ASSERT_TRUE(c.allocate(8, 9, true));
  EXPECT_TRUE(c.isValid());
}

TEST_F(NvBlockTest, RefusesOutOfRangeAndUnallocated) {
  NvBlock none;
  std::uint8_t buf[16] = {};
  EXPECT_FALSE(none.isValid());
  EXPECT_FALSE(none.read(buf, 1, 0));
  EXPECT_FALSE(none.write(buf, 1, 0));
  EXPECT_FALSE(none.update(buf, 1, 0));
  EXPECT_FALSE(none.makeValid());
  NvBlock b;
  ASSERT_TRUE(b.allocate(8, 10, false));
  EXPECT_FALSE(b.allocate(8, 10, false)) << "a block takes its place once";
  ASSERT_TRUE(b.update(buf, 8, 0));
  struct Case {
    std::uint32_t n, offset;
  };
  for (Case c : {Case{9, 0}, Case{1, 8}, Case{8, 1}, Case{2, 0xFFFFFFFFu}, Case{0xFFFFFFFFu, 2}}) {
    SCOPED_TRACE(c.offset);
    EXPECT_FALSE(b.read(buf, c.n, c.offset));
    EXPECT_FALSE(b.write(buf, c.n, c.offset));
    EXPECT_FALSE(b.fill(0, c.n, c.offset));
    EXPECT_FALSE(b.update(buf, c.n, c.offset));
  }
  EXPECT_TRUE(b.read(buf, 0, 8));
}

TEST_F(NvBlockTest, FullImageRefusesAllocation) {
  NvBlock big, next;
  const std::uint32_t room = RamNvm::kSize - RamNvm::allocCursor();
  ASSERT_TRUE(big.allocate(room - 6 - 10, 1, false));
  EXPECT_FALSE(next.allocate(11, 2, false));
  EXPECT_FALSE(next.isAllocated());
  EXPECT_TRUE(next.allocate(4, 2, false));
}

TEST_F(NvBlockTest, PendedClearEmptiesImageAtNextStart) {
  {
    NvBlock a;
    nvPendedClear_NvAlloc();
    ASSERT_TRUE(a.allocate(4, 77, true));
    ASSERT_TRUE(a.update("abcd", 4, 0));
    EXPECT_FALSE(nvPendedClearIsPending());
    ASSERT_TRUE(nvPendedClearRequest());
    EXPECT_TRUE(nvPendedClearIsPending());
    ASSERT_TRUE(FileNvmSave(0, true));
  }
  // Next start: the layout of nvInitOnce, then a block allocated after it.
  nvInitOnce();
  NvBlock a;
  ASSERT_TRUE(a.allocate(4, 77, true));
  EXPECT_FALSE(a.isValid());
  EXPECT_FALSE(nvPendedClearIsPending());
  // The cleared image reaches storage; the start after is an ordinary one.
  nvPendedClearOnRebootsReset();
  ASSERT_TRUE(a.update("wxyz", 4, 0));
  ASSERT_TRUE(FileNvmSave(0, true));
  nvInitOnce();
  NvBlock again;
  ASSERT_TRUE(again.allocate(4, 77, true));
  EXPECT_TRUE(again.isValid());
}

TEST_F(NvBlockTest, InitOrderPlacesLaterSlotsAfterEarlierOnes) {
  static NvBlock first, second;
  nvInitSet(kNvTsDecoderNv, [] { second.allocate(20, 1002, true); });
  nvInitSet(kNvSerdefs, [] { first.allocate(10, 1001, true); });
  nvInitOnce();
  ASSERT_TRUE(first.isAllocated());
  ASSERT_TRUE(second.isAllocated());
  EXPECT_EQ(first.imageOffset(), RamNvm::kHeaderSize);
  // Between them lies the pending-clear block of its own slot.
  EXPECT_EQ(second.imageOffset(), RamNvm::kHeaderSize + 6 + 10 + 1 + 6 + 8 + 1);
}


TEST_F(NvBlockTest, RandomImageContentIsHandled) {
  // An image with our header and anything after it: every block comes up, valid only where
  // its header happens to match, and reads never leave the block.
  std::mt19937 rng(11);
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    ASSERT_TRUE(FileNvmSave(0, true));
    std::string img = readFile(".gnss.nvm");
    for (std::size_t i = RamNvm::kHeaderSize; i < img.size(); ++i) img[i] = static_cast<char>(rng());
    if (round % 2) {
      // Now and then a plausible header: id 5, the right length, valid mark.
      const std::size_t at = RamNvm::kHeaderSize;
      img[at] = 5, img[at + 1] = 0, img[at + 2] = 8, img[at + 3] = 0, img[at + 4] = 0;
      img[at + 5] = static_cast<char>(0x80);
    }
    writeFile(".gnss.nvm", img);
    ASSERT_TRUE(FileNvmLoad());
    std::vector<std::unique_ptr<NvBlock>> blocks;
    for (int i = 0; i < 50; ++i) {
      blocks.push_back(std::make_unique<NvBlock>());
      const std::uint32_t size = i == 0 ? 8 : rng() % 3000;
      const bool checksum = i == 0 ? false : (rng() & 1) != 0;
      ASSERT_TRUE(blocks.back()->allocate(size, static_cast<std::uint16_t>(5 + i), checksum));
      std::vector<std::uint8_t> buf(size + 1);
      if (blocks.back()->read(buf.data(), size, 0)) {
        EXPECT_TRUE(blocks.back()->isValid());
      }
      EXPECT_FALSE(blocks.back()->read(buf.data(), size + 1, 0));
    }
    if (round % 2) {
      EXPECT_TRUE(blocks[0]->isValid());
    }
  }
}

TEST_F(NvBlockTest, SaveNeverCatchesBlockHalfUpdated) {
  // One task rewrites a block with a running pattern while another saves: every stored image
  // holds one whole update, its checksum right.
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
  const std::uint32_t off = b.imageOffset();
  for (int i = 0; i < 30; ++i) {
    // While the writer runs, "all saved" is rarely true; the file is what counts.
    FileNvmSave(static_cast<std::uint32_t>(i), true);
    const std::string img = readFile(".gnss.nvm");
    ASSERT_EQ(img.size(), RamNvm::kSize);
    const auto* d = reinterpret_cast<const std::uint8_t*>(img.data()) + off + 6;
    std::uint8_t x = 0;
    bool same = true;
    for (int k = 0; k < 4096; ++k) {
      x ^= d[k];
      same = same && d[k] == d[0];
    }
    EXPECT_TRUE(same) << i;
    EXPECT_EQ(x, d[4096]) << i;
  }
  stop = true;
  writer.join();
}

}  // namespace
