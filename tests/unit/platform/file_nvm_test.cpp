// The settings file on storage: when a save happens, what it writes, and what the hooks see.
#include "platform/file_nvm.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/nv_block.h"
#include "platform/ram_nvm.h"
#include "temp_run_dir.h"

namespace {

class FileNvmTest : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    FileNvmLoad();
    ASSERT_TRUE(block_.allocate(4, 42, true));
  }
  // Changes the image.
  void change(char c) {
    const char v[4] = {c, c, c, c};
    ASSERT_TRUE(block_.update(v, 4, 0));
  }
  // The block's first byte as stored in the file.
  char stored() {
    std::string img = readFile(".gnss.nvm");
    if (img.size() != RamNvm::kSize) return '?';
    return img[block_.imageOffset() + 6];
  }
  NvBlock block_;
};

TEST_F(FileNvmTest, SavesAtMostEveryTenSecondsUnlessForced) {
  struct Step {
    std::uint32_t ms;
    bool force;
    char value;       // written before the call (0: no change)
    bool wantResult;  // everything stored
    char wantStored;  // file content after the call
  };
  const Step steps[] = {
      {1000, false, 'a', true, 'a'},     // first save goes at once
      {1001, false, 0, true, 'a'},       // nothing changed: all is saved
      {5000, false, 'b', false, 'a'},    // held back
      {10999, false, 0, false, 'a'},     // still within 10 s of the last save
      {11000, false, 0, true, 'b'},      // 10 s passed
      {11500, false, 'c', false, 'b'},
      {11600, true, 0, true, 'c'},       // forced
      {12000, false, 'd', false, 'c'},   // forcing counts as a save for the period
      {21600, false, 0, true, 'd'},
  };
  int i = 0;
  for (const Step& s : steps) {
    SCOPED_TRACE(i++);
    if (s.value) change(s.value);
    EXPECT_EQ(FileNvmSave(s.ms, s.force), s.wantResult);
    EXPECT_EQ(stored(), s.wantStored);
    EXPECT_FALSE(exists(".gnss.nvm.tmp"));
  }
}

TEST_F(FileNvmTest, PeriodSurvivesWrapOfMillisecondCount) {
  change('a');
  ASSERT_TRUE(FileNvmSave(0xFFFFF000u, false));
  change('b');
  // 0x1000 + 0x1000 = 8192 ms later: not yet.
  EXPECT_FALSE(FileNvmSave(0x00001000u, false));
  EXPECT_EQ(stored(), 'a');
  // 12288 ms later.
  EXPECT_TRUE(FileNvmSave(0x00002000u, false));
  EXPECT_EQ(stored(), 'b');
}

TEST_F(FileNvmTest, UnchangedImageIsNotRewritten) {
  change('a');
  ASSERT_TRUE(FileNvmSave(0, false));
  ASSERT_EQ(unlink(".gnss.nvm"), 0);
  EXPECT_TRUE(FileNvmSave(20000, false));
  EXPECT_FALSE(exists(".gnss.nvm"));
  // A forced save writes whatever is known.
  EXPECT_TRUE(FileNvmSave(20001, true));
  EXPECT_EQ(fileSize(".gnss.nvm"), static_cast<long long>(RamNvm::kSize));
}

int g_snapshots = 0;
bool g_snapshotResult = true;
int g_commits = 0;
bool g_commitSawNewFile = false;

TEST_F(FileNvmTest, SnapshotAndCommitHooks) {
  RamNvm::setSnapshotHook([] {
    ++g_snapshots;
    // The hook may read blocks: the image lock is its own.
    NvBlock probe;
    (void)probe.isValid();
    return g_snapshotResult;
  });
  FileNvmSetCommitHook([] {
    ++g_commits;
    g_commitSawNewFile = access(".gnss.nvm", F_OK) == 0 && access(".gnss.nvm.tmp", F_OK) != 0;
  });
  change('a');
  ASSERT_TRUE(FileNvmSave(0, false));
  EXPECT_EQ(g_snapshots, 1);
  EXPECT_EQ(g_commits, 1);
  EXPECT_TRUE(g_commitSawNewFile);
  // A failed snapshot abandons the save: neither the image nor the commit moves.
  g_snapshotResult = false;
  change('b');
  EXPECT_FALSE(FileNvmSave(20000, true));
  EXPECT_EQ(g_snapshots, 2);
  EXPECT_EQ(g_commits, 1);
  EXPECT_EQ(stored(), 'a');
  g_snapshotResult = true;
  EXPECT_TRUE(FileNvmSave(20001, true));
  EXPECT_EQ(g_commits, 2);
  EXPECT_EQ(stored(), 'b');
}

TEST_F(FileNvmTest, FailedWriteReportsNotSaved) {
  change('a');
  // A directory in the way of the temporary file makes the save fail.
  ASSERT_EQ(mkdir(".gnss.nvm.tmp", 0755), 0);
  EXPECT_FALSE(FileNvmSave(0, true));
  EXPECT_FALSE(exists(".gnss.nvm"));
  ASSERT_EQ(rmdir(".gnss.nvm.tmp"), 0);
  EXPECT_TRUE(FileNvmSave(1, true));
  EXPECT_EQ(stored(), 'a');
}

TEST_F(FileNvmTest, LoadTellsOwnFilesFromOthers) {
  change('a');
  ASSERT_TRUE(FileNvmSave(0, true));
  struct Case {
    const char* what;
    std::string content;
    bool loads;
  };
  const std::string good = readFile(".gnss.nvm");
  std::string otherMagic = good;
  otherMagic[0] = 'X';
  const Case cases[] = {
      {"own", good, true},
      {"short by one", good.substr(0, good.size() - 1), false},
      {"long by one", good + "x", false},
      {"other magic", otherMagic, false},
      {"empty", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    writeFile(".gnss.nvm", c.content);
    writeFile(".gnss.nvm.tmp", "stray");
    EXPECT_EQ(FileNvmLoad(), c.loads);
    EXPECT_FALSE(exists(".gnss.nvm.tmp"));
    NvBlock b;
    ASSERT_TRUE(b.allocate(4, 42, true));
    EXPECT_EQ(b.isValid(), c.loads);
  }
  // Missing altogether.
  ASSERT_EQ(unlink(".gnss.nvm"), 0);
  EXPECT_FALSE(FileNvmLoad());
}

}  // namespace
