// Start-up against the GNSS board simulator: what the board receives, byte for byte, and what
// the program does with the settings issue the board reports.
#include <gtest/gtest.h>

#include <string>

#include "board_link_fixture.h"

namespace boardlink {
namespace {

// The issue number on the last line of a settings file.
std::string lastIssue(const std::string& file) {
  const std::string key = "set,cmd/set/issue,";
  const std::size_t at = file.rfind(key);
  if (at == std::string::npos) return "";
  return file.substr(at + key.size(), file.size() - at - key.size() - 1);
}

TEST_F(BoardLink, StartUpTranscriptByteForByte) {
  startSim();
  start();
  ASSERT_TRUE(boardGets(kEndOfStartUp)) << transcript();
  EXPECT_EQ(transcript(), startUp("", 0));
  EXPECT_EQ(ask("%m%"), re("%m%"));
}

// The checksum of the native format, from its definition: XOR the byte in, rotate left by two.
unsigned char cs8(const std::string& s) {
  unsigned c = 0;
  for (unsigned char b : s) {
    c ^= b;
    c = ((c << 2) | (c >> 6)) & 0xFF;
  }
  return static_cast<unsigned char>(c);
}

TEST_F(BoardLink, EachStartMessageIsPacedByTheBoard) {
  startSim();
  start();
  EXPECT_EQ(ask("%e%em,/dev/shm/a,zrt/{RT,ET}:1"), re("%e%"));
  restartViaCommand();
  const std::size_t mark = transcript().size();
  start();
  ASSERT_TRUE(boardGets(kEndOfStartUp, mark)) << transcript();
  std::string t = transcript().substr(mark);
  const std::string head = kConnect + kIssueQuery + kIssueOne + issueSet(0) + kSourceBlock;
  ASSERT_EQ(t.compare(0, head.size(), head), 0) << t;
  t.erase(0, head.size());
  // "~~" then "::", each a whole message with its checksum, each followed by one "!%SYN%".
  for (const char* id : {"~~", "::"}) {
    SCOPED_TRACE(id);
    ASSERT_GE(t.size(), 10u + kSync.size());
    EXPECT_EQ(t.substr(0, 5), std::string(id) + "005");
    EXPECT_EQ(static_cast<unsigned char>(t[9]), cs8(t.substr(0, 9)));
    EXPECT_EQ(t.substr(10, kSync.size()), kSync);
    t.erase(0, 10 + kSync.size());
  }
  EXPECT_EQ(t, kModeReturn + kCmdMode + kSources + kInitialBlock + kEndOfStartUp);
}

TEST_F(BoardLink, ProgramWithoutBoardStillStarts) {
  start();
  EXPECT_EQ(ask("%m%"), re("%m%"));
  // A set the link cannot carry is not reported as done, nor kept.
  EXPECT_EQ(ask("set,/par/calib/x,1"), frame("ER", "%%{21,,not available}"));
  // A board that comes later is connected, and a set that concerns it reaches it.
  startSim();
  e2e::waitUntil([&] { return ask("%1%set,/par/calib/x,1") == re("%1%") && boardGets("set,calib/x,1\n"); });
  EXPECT_TRUE(boardGets("set,calib/x,1\n"));
}

TEST_F(BoardLink, BoardThatKeptTheStoredIssueIsLeftAlone) {
  startSim();
  start();
  EXPECT_EQ(ask("%1%set,/par/calib/x,{1,,3}"), re("%1%"));
  ASSERT_TRUE(boardGets("set,calib/x,{1,,3}\n"));
  restartViaCommand();
  const std::string issue = lastIssue(setFile());
  ASSERT_EQ(issue, "2") << setFile();
  // A board that reports the stored issue gets nothing replayed, and the program goes on.
  startSim({"--keep-state", "--issue", issue});
  start();
  ASSERT_TRUE(boardGets(kEndOfStartUp)) << transcript();
  EXPECT_EQ(transcript(), startUp("", 2));
  EXPECT_EQ(ask("%m%"), re("%m%"));
}

TEST_F(BoardLink, BoardWithAnotherIssueRestartsTheProgram) {
  startSim();
  start();
  EXPECT_EQ(ask("%1%set,/par/calib/x,5"), re("%1%"));
  ASSERT_TRUE(boardGets("set,calib/x,5\n"));
  restartViaCommand();
  const std::string before = setFile();
  // The record agrees with the image but the board has some other issue: restart.
  startSim({"--keep-state", "--issue", "9"});
  rx_ = std::make_unique<e2e::Rxengine>(dir_);
  ASSERT_TRUE(rx_->start());
  EXPECT_EQ(waitEnd(), 0);
  EXPECT_EQ(lastStderr_.find("ready"), std::string::npos) << lastStderr_;
  EXPECT_EQ(setFile(), before);
  // The board restarted with the program has lost its settings: it gets them again.
  startSim();
  start();
  ASSERT_TRUE(boardGets(kEndOfStartUp)) << transcript();
  EXPECT_EQ(transcript(), startUp("set,calib/x,5\n", 2));
}

TEST_F(BoardLink, BoardThatKeepsItsSettingsComesUpWithThemAtEveryStart) {
  startSim({"--keep-state"});
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("%1%set,/par/lock/budget,200"), re("%1%"));
  restartViaCommand();
  for (int run = 1; run <= 3; ++run) {
    SCOPED_TRACE(run);
    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_EQ(ask("%2%print,/par/lock/budget"), re("%2%200"));
    if (run == 3) {
      EXPECT_EQ(ask("%3%set,/par/lock/gps/3/guide,0x5"), re("%3%"));
    }
    restartViaCommand();
  }
  // The board took that change, but not the issue of the record that holds it: one restart,
  // said, then the board gets the record again and its issue.
  rx_ = std::make_unique<e2e::Rxengine>(dir_);
  ASSERT_TRUE(rx_->start());
  EXPECT_EQ(waitEnd(), 0);
  EXPECT_NE(lastStderr_.find("$$CmdBuf: "), std::string::npos) << lastStderr_;
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("%4%print,/par/lock/gps/3/guide"), re("%4%0x5"));
  EXPECT_TRUE(boardGets("set,lock/budget,200\nset,lock/gps/3/guide,0x5\n" + issueSet(3))) << transcript();
}

}  // namespace
}  // namespace boardlink
