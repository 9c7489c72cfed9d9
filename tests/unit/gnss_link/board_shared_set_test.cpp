// A set of a key the GNSS board shares, through the command parser: the main board's value, the
// board and the record change together or not at all, and a save takes them together.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "unit/gnss_link/native_test_util.h"
#include "command/settings_commands.h"
#include "gnss_link/board_link.h"
#include "gnss_link/lock_manager.h"
#include "gnss_link/lock_manager_keys.h"
#include "platform/file_nvm.h"
#include "platform/ram_nvm.h"
#include "settings/nv_settings.h"
#include "unit/command/capture_port.h"
#include "unit/platform/temp_run_dir.h"

namespace {

void afterLoad() {
  if (lockSettingsAfterLoad()) nv_writeRcvSettings();
}

class BoardSharedSet : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    FileNvmLoad();
    nvAfterLoadHooks.add(afterLoad);
    nv_readSettings();
    settingsCommandsInitOnce();
    registerLockArea();
    lockingInitOnce();
    cmdToSlaveCheckHook = cmdToSlaveCheck;
    cmdToSlaveHook = cmdToSlaveSend;
    RamNvm::setSnapshotHook(cmdBufSnapshot);
    FileNvmSetCommitHook(cmdBufCommit);
    board_ = std::make_unique<FakeBoard>();
    board_->issueReply = replyFrame("0");
    m2sPortInit();
    m2sNvRead();
    board_->out.written.clear();
  }
  // The road to the board goes with the fake board: the tests after this one have none.
  void TearDown() override {
    cmdToSlaveCheckHook = nullptr;
    cmdToSlaveHook = nullptr;
    RamNvm::setSnapshotHook(nullptr);
    FileNvmSetCommitHook(nullptr);
    board_.reset();
    TempRunDir::TearDown();
  }
  std::string run(const std::string& line) { return runLine(port_, line); }
  std::string value(const std::string& key) {
    const std::string got = run("print,/par/lock/" + key);
    return got.size() > 7 && got.rfind("RE", 0) == 0 ? got.substr(5, got.size() - 7) : got;
  }
  CapturePort port_{IOP_TCP_A};
  std::unique_ptr<FakeBoard> board_;
};

// "ER" changes nothing: not the main board's value, not the board, not the record.
TEST_F(BoardSharedSet, ARefusedSetChangesNothingOnEitherBoard) {
  ASSERT_EQ(run("set,/par/lock/gal/sats,0x5"), "");
  const struct {
    const char* name;
    std::string line;
    int code;
    void (*before)(FakeBoard&);
  } rows[] = {
      {"path and value over 249 characters", "set,/par/lock/gal/sats,0x" + std::string(300, '0') + "7", 34, nullptr},
      {"a full record with no place for the key", "set,/par/lock/gal/sats,0x7", 32,
       [](FakeBoard&) {
         cmdBuf.clear();  // a key the record holds would take its place
         for (int i = 0; cmdBuf.count() < CmdBuf::kElements; ++i) {
           const std::string l = "set,lock/k" + std::to_string(i) + ",1\n";
           ASSERT_TRUE(cmdBuf.put(l.data(), static_cast<int>(l.size()), static_cast<int>(l.size()) - 7, 0));
         }
       }},
      {"a link that does not take the line", "set,/par/lock/gal/sats,0x7", 21,
       [](FakeBoard& b) { cmdBuf.clear(), b.out.refuse = true; }},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    if (r.before) r.before(*board_);
    board_->out.written.clear();
    const std::uint32_t issue = cmdBuf.issue();
    const std::string got = run(r.line);
    EXPECT_NE(got.find("{" + std::to_string(r.code) + ","), std::string::npos) << got;
    EXPECT_EQ(value("gal/sats"), "0x5");
    EXPECT_EQ(board_->out.written.find("gal/sats"), std::string::npos) << board_->out.written;
    EXPECT_EQ(cmdBuf.issue(), issue);
  }
  // The next start reads the same value back.
  std::memset(&RcvSet, 0, sizeof RcvSet);
  nv_readSettings();
  EXPECT_EQ(value("gal/sats"), "0x5");
}

// A save started while a set is on its way to the board (here: at the moment the board gets the
// line) takes the value and its record element together: after the next start the main board and
// the record hold the same value.
TEST_F(BoardSharedSet, ASaveTakesAValueAndItsRecordTogether) {
  ASSERT_TRUE(FileNvmSave(0, true));
  std::thread saver;
  std::atomic<bool> saved{false};
  board_->out.onWrite = [&](const std::string& s) {
    if (s.rfind("set,lock/budget", 0) != 0 || saver.joinable()) return;
    saver = std::thread([&] { FileNvmSave(1, true), saved = true; });
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    while (!saved && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  };
  EXPECT_EQ(run("set,/par/lock/budget,200"), "");
  ASSERT_TRUE(saver.joinable());
  saver.join();
  // What storage holds, read back as a start would.
  ASSERT_TRUE(FileNvmLoad());
  std::memset(&RcvSet, 0, sizeof RcvSet);
  nv_readSettings();
  auto record = std::make_unique<CmdBuf>();
  ASSERT_TRUE(record->load(CmdBuf::kFile));
  bool recorded = false;
  for (int i = 0; i < record->count(); ++i) recorded |= std::string(record->at(i).text) == "set,lock/budget,200\n";
  EXPECT_EQ(value("budget") == "200", recorded) << value("budget");
}

// What the board keeps, followed through the lines it was sent: a set reaches it only while it
// keeps issue 0, and it is left the issue of the record on storage once the last save (the one a
// restart or SIGTERM makes) is done, wherever in the steps of the save before it another set came.
std::function<void()> g_atStep;
int g_stepsLeft = 0;
void stepHook(const char*) {
  if (g_stepsLeft > 0 && --g_stepsLeft == 0) g_atStep();
}

TEST_F(BoardSharedSet, AfterTheLastSaveTheBoardKeepsTheIssueOfTheSavedRecord) {
  ASSERT_TRUE(FileNvmSave(0, true));
  int k = 1;
  for (;; ++k) {
    SCOPED_TRACE(k);
    ASSERT_EQ(run("set,/par/lock/budget," + std::to_string(150 + k)), "");
    bool came = false;
    g_atStep = [&] { came = run("set,/par/lock/gps/3/guide,0x" + std::to_string(k)).empty(); };
    g_stepsLeft = k;  // the set comes after the k-th step of the save
    fileNvmStepHook = stepHook;
    FileNvmSave(static_cast<std::uint32_t>(2 * k), true);  // may fail: the set came mid-copy
    fileNvmStepHook = nullptr;
    ASSERT_TRUE(FileNvmSave(static_cast<std::uint32_t>(2 * k + 1), true));
    long kept = 0;  // the board reported issue 0 at start
    std::istringstream lines(board_->out.written);
    for (std::string l; std::getline(lines, l);) {
      if (l.rfind("set,cmd/set/issue,", 0) == 0) {
        kept = std::stol(l.substr(18));
      } else if (l.rfind("set,lock/", 0) == 0) {
        EXPECT_EQ(kept, 0) << l;
      }
    }
    auto record = std::make_unique<CmdBuf>();
    ASSERT_TRUE(record->load(CmdBuf::kFile));
    EXPECT_NE(record->issue(), 0u);
    EXPECT_EQ(record->issue(), cmdBuf.issue());
    EXPECT_EQ(kept, static_cast<long>(record->issue())) << board_->out.written;
    if (!came) break;
  }
  // Every step of both files' saves: created, written, synced, renamed, the directory synced.
  EXPECT_GE(k, 11);
}

// A set the link did not take after the board was told issue 0 for it left the board holding the
// record as it was: the next save leaves it that record's issue again, though it has nothing new
// to write.
TEST_F(BoardSharedSet, ASetTheLinkDidNotTakeLeavesTheBoardTheStoredIssueAtTheNextSave) {
  ASSERT_EQ(run("set,/par/lock/budget,200"), "");
  ASSERT_TRUE(FileNvmSave(0, true));
  const std::uint32_t stored = cmdBuf.issue();
  ASSERT_NE(stored, 0u);
  const std::string told = "set,cmd/set/issue," + std::to_string(stored) + "\n";
  ASSERT_EQ(board_->out.written.substr(board_->out.written.size() - told.size()), told);
  const std::string zero = "set,cmd/set/issue,0\n";
  board_->out.onWrite = [&](const std::string& s) { board_->out.refuse = s == zero; };
  EXPECT_NE(run("set,/par/lock/budget,201"), "");
  EXPECT_EQ(value("budget"), "200");
  board_->out.refuse = false;
  ASSERT_EQ(board_->out.written.substr(board_->out.written.size() - zero.size()), zero);
  ASSERT_TRUE(FileNvmSave(1, true));
  EXPECT_EQ(cmdBuf.issue(), stored);
  EXPECT_EQ(board_->out.written.substr(board_->out.written.size() - told.size()), told) << board_->out.written;
}

}  // namespace
