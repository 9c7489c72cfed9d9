#include "gnss_link/board_link.h"

#include <gtest/gtest.h>

#include "unit/gnss_link/native_test_util.h"
#include "board_link_texts.h"
#include "command/reply.h"
#include "command/zr_list.h"
#include "platform/file_nvm.h"
#include "unit/platform/temp_run_dir.h"

namespace {

TEST(BoardLink, Handshakes) {
  const std::string ack = "RE005%CON%\r\n";
  const struct {
    const char* name;
    std::string stale, reply;  // queued before the command; the answer to it
    int chunk;
    bool refuse, ok;
  } cases[] = {
      {"whole reply", "", ack, 0, false, true},   
      {"one byte short", "", "RE005%CON%\r", 0, false, false}, {"an error reply", "", "ER005%CON%\r\n", 0, false, false},
      {"stale bytes, then the reply", std::string(300, 'x'), ack, 0, false, true},
      {"a command the link refused", ack, "", 0, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeBoard board;
    board.in.chunk = c.chunk;
    board.in.queued = c.stale;
    board.out.refuse = c.refuse;
    board.out.onWrite = [&](const std::string&) { board.in.queued += c.reply; };
    EXPECT_EQ(m2s::waitForAck(kM2sConnect, kM2sConnectAck, kM2sConnectTicks), c.ok);
    EXPECT_EQ(board.out.written, c.refuse ? "" : boardlink::kConnect);
  }
}

class BoardLinkIssue : public TempRunDir {};

std::uint32_t previousRun() {
  FileNvmLoad();
  FakeBoard board;
  board.issueReply = replyFrame("0");
  m2sPortInit();
  m2sNvRead();
  EXPECT_EQ(m2sSendSetCmd("/par/lock/a", "1", 0), CmdBuf::kSent);
  EXPECT_EQ(m2sSendSetCmd("/par/lock/b", "{1,,3}", -3), CmdBuf::kSent);
  FileNvmSetCommitHook(cmdBufCommit);
  EXPECT_TRUE(FileNvmSave(0, true));
  return cmdBuf.issue();
}

TEST_F(BoardLinkIssue, RepliesTheBoardMayGive) {
  const struct {
    const char* name;
    std::string reply;  // "%u": the stored issue, "%U" it plus 2^32; framed here unless it starts with "RE"
    int chunk;
    bool accepted;
  } cases[] = {
      {"the stored issue", "%u", 0, true},       {"in pieces", "%u", 1, true},
      {"issue 0: settings lost", "0", 0, false}, {"nothing", "", 0, false},
      {"body short", "RE009%u", 0, false},       {"length not hex", "RE0G1%u", 0, false},
      {"issue with a sign", "+%u", 0, false},    {"issue beyond 32 bits", "%U", 0, false},
      {"a length longer than any issue", "REFFF" + std::string(0xFFF, '7'), 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(std::system("rm -f .gnss.set .gnss.nvm"), 0);
    cmdBuf.clear();
    const std::uint32_t issue = previousRun();
    std::string reply = c.reply;
    if (auto at = reply.find("%u"); at != std::string::npos) reply.replace(at, 2, std::to_string(issue));
    if (auto at = reply.find("%U"); at != std::string::npos) reply.replace(at, 2, std::to_string(issue + (1ull << 32)));
    if (!reply.empty() && reply.rfind("RE", 0) != 0) reply = replyFrame(reply);
    FileNvmLoad();
    FakeBoard board;
    board.in.chunk = c.chunk;
    board.issueReply = reply;
    m2sPortInit();
    board.out.written.clear();
    testing::internal::CaptureStderr();
    m2sNvRead();
    testing::internal::GetCapturedStderr();
    // Whatever came back, the board keeps the record's issue; one that lost it gets the record.
    EXPECT_EQ(board.out.written, boardlink::kIssueQuery + boardlink::kIssueOne +
                                     (c.accepted ? "" : "set,lock/a,1\nset,lock/b,{1,,3}\n") +
                                     boardlink::issueSet(issue));
    EXPECT_EQ(cmdBuf.count(), 2);
  }
}

TEST_F(BoardLinkIssue, RandomRepliesNeitherCrashNorPassForTheIssue) {
  std::mt19937 rng(3);
  for (int round = 0; round < 200; ++round) {
    FakeBoard board;
    std::string junk(rng() % 40, 0);
    for (auto& ch : junk) ch = static_cast<char>(rng() % 256);
    board.issueReply = round % 2 ? "RE" + junk : junk;
    m2sPortInit();
    m2sNvRead();  // an empty record on a fresh image: any issue but 0 would restart
    EXPECT_EQ(cmdBuf.count(), 0);
  }
}

TEST(BoardLinkDeathTest, NoOutputSideOnTheLinkEndsTheProgram) {
  OutPorts::ports_[IOP_SHM_A] = nullptr;
  EXPECT_EXIT(m2sSendAllCmds(), testing::ExitedWithCode(222), "");
}

int forward(const std::string& command) {
  ZRList list;
  EXPECT_EQ(list.parse(command.data(), static_cast<int>(command.size())), 0) << command;
  return cmdToSlaveSend(list.textAt(1), list.at(2));
}

TEST(BoardLink, ForwardedValuesListsAndTags) {
  // Lengths count the path as forwarded, without "/par/".
  const std::string path199 = "/par/lock/" + std::string(194, 'p'), v50(50, 'v');
  const struct {
    const char* name;
    std::string command;
    int result;
    std::string sent;  // what reaches the board ("" nothing)
    int tag;           // recorded with it
  } cases[] = {
      {"plain value, /par/ stripped", "set,/par/lock/gps/l1,5", 0, "set,lock/gps/l1,5\n", 0},
      {"middle element empty", "set,/par/lock/m,{1,,3}", 0, "set,lock/m,{1,,3}\n", -3},
      {"only empty elements", "set,/par/lock/m,{,,}", 0, "", 0},
      {"quoted text keeps its quotes", "set,/par/calib/n,\"a, b\"", 0, "set,calib/n,\"a, b\"\n", 0},
      {"249 characters of path and value", "set," + path199 + "," + v50, 0,
       "set," + path199.substr(5) + "," + v50 + "\n", 0},
      {"250 characters are refused", "set," + path199 + "p," + v50, 34, "", 0},
      {"a list longer than its buffer", "set,/par/lock/m,{" + std::string(1100, 'x') + "}", 7, "", 0},
      {"a setting the board does not share", "set,/par/dev/ser/a/imode,rtcm3", 0, "", 0},
      {"an area whose name only begins alike", "set,/par/locker,1", 0, "", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeBoard board;
    cmdBuf.clear();
    EXPECT_EQ(forward(c.command), c.result);
    EXPECT_EQ(board.out.written, c.sent);
    ASSERT_EQ(cmdBuf.count(), c.sent.empty() ? 0 : 1);
    if (c.sent.empty()) continue;
    EXPECT_EQ(std::string(cmdBuf.at(0).text), c.sent);
    EXPECT_EQ(cmdBuf.at(0).tag, c.tag);
  }
}

TEST(BoardLink, ACommandTheLinkDidNotTakeIsNeitherReportedNorKept) {
  FakeBoard board;
  board.out.refuse = true;
  EXPECT_EQ(forward("set,/par/lock/m,{1,,3}"), 21);
  EXPECT_EQ(cmdBuf.count(), 0);
  EXPECT_EQ(cmdBuf.issue(), 0u);
  board.out.refuse = false;
  EXPECT_EQ(forward("set,/par/lock/m,{1,,3}"), 0);
  EXPECT_EQ(cmdBuf.count(), 1);
}

TEST(BoardLink, ACommandAFullRecordCannotKeepReachesTheBoardButAnswersStorageFull) {
  FakeBoard board;
  for (int i = 0; i < 600; ++i) {
    const std::string cmd = "set,/par/lock/k" + std::to_string(i) + ",1";
    board.out.written.clear();
    ASSERT_EQ(forward(cmd), i < 512 ? 0 : 32) << i;  // 32 ",storage full"
    EXPECT_EQ(board.out.written, "set," + cmd.substr(9) + "\n");
  }
  EXPECT_EQ(cmdBuf.count(), 512);
}

}  // namespace
