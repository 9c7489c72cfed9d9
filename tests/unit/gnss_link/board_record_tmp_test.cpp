// A FIFO left at the record's temporary name (where a save writes first) must not block a save.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "gnss_link/board_settings.h"
#include "platform/file_nvm.h"
#include "unit/platform/temp_run_dir.h"

namespace {
class BoardRecordTmp : public TempRunDir {};

TEST_F(BoardRecordTmp, AFifoAtTheTemporaryNameIsReplacedByTheRecord) {
  FileNvmLoad();
  CmdBuf b;
  b.nvRead(0);
  const char line[] = "set,a,1\n";
  ASSERT_TRUE(b.put(line, sizeof line - 1, 1, 0));
  ASSERT_EQ(mkfifo(CmdBuf::kTmpFile, 0644), 0);
  ASSERT_TRUE(b.snapshot());
  struct stat st{};
  ASSERT_EQ(stat(CmdBuf::kTmpFile, &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_TRUE(b.commit());
  EXPECT_NE(readFile(CmdBuf::kFile).find("set,a,1"), std::string::npos);
}
// A directory there cannot be replaced: the save fails and says so, once.
TEST_F(BoardRecordTmp, ADirectoryAtTheTemporaryNameIsSaidOnce) {
  FileNvmLoad();
  CmdBuf b;
  b.nvRead(0);
  ASSERT_EQ(mkdir(CmdBuf::kTmpFile, 0755), 0);
  testing::internal::CaptureStderr();
  for (const char* line : {"set,a,1\n", "set,a,2\n"}) {
    ASSERT_TRUE(b.put(line, 8, 1, 0));
    EXPECT_FALSE(b.snapshot());
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "$$NV: .gnss.set.tmp: not a regular file: the settings cannot be saved\n");
}
}  // namespace
