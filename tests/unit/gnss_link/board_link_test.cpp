#include "gnss_link/board_link.h"

#include <gtest/gtest.h>

#include "unit/gnss_link/native_test_util.h"
#include "board_link_texts.h"
#include "command/reply.h"
#include "command/zr_list.h"
#include "gnss_link/zrt_port_input.h"
#include "output/epoch_msgs.h"
#include "output/msg_pool.h"
#include "output/output_manager.h"
#include "platform/file_nvm.h"
#include "platform/ram_nvm.h"
#include "positioning/rcv_time_scales.h"
#include "settings/nv_settings.h"
#include "settings/port_settings.h"
#include "unit/own_process.h"
#include "unit/platform/temp_run_dir.h"

namespace {

// The board's record as before the start (each test but the handshakes runs in a process of its
// own): empty, its issue unknown to the board.
class BoardLink : public ::testing::Test {
 protected:
  void SetUp() override {
    RcvTimeScales::Req = RcvTimeScales::INT_SCALES{};  // no UTC known yet
    PVTDataInstance.satProcessorSetup.Init();           // the setup's factory defaults
  }
};

TEST_F(BoardLink, Handshakes) {
  const std::string ack = "RE005%CON%\r\n";
  const struct {
    const char* name;
    std::string stale, reply;  // queued before the command; the answer to it
    int chunk;
    bool refuse, ok;
  } cases[] = {
      {"whole reply", "", ack, 0, false, true},         {"one byte per read", "", ack, 1, false, true},
      {"one byte short", "", "RE005%CON%\r", 0, false, false}, {"an error reply", "", "ER005%CON%\r\n", 0, false, false},
      {"a stale reply is drained, not taken", std::string(300, 'x') + ack, "", 0, false, false},
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

// A first start: a blank settings image, the board's record as built; the save hooks are those a
// test sets.
class BoardLinkIssue : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    FileNvmLoad();
    RamNvm::setSnapshotHook(nullptr);
    FileNvmSetCommitHook(nullptr);
  }
};

// A start as the program makes it: the image, the receiver settings, then the board's record.
std::uint32_t previousRun() {
  FileNvmLoad();
  nv_readSettings();
  FakeBoard board;
  board.issueReply = replyFrame("0");
  m2sPortInit();
  m2sNvRead();
  EXPECT_EQ(m2sSendSetCmd("/par/lock/a", "1", 0), CmdBuf::kSent);
  EXPECT_EQ(m2sSendSetCmd("/par/lock/b", "{1,,3}", -3), CmdBuf::kSent);
  RamNvm::setSnapshotHook(cmdBufSnapshot);  // as the program wires them
  FileNvmSetCommitHook(cmdBufCommit);
  EXPECT_TRUE(FileNvmSave(0, true));
  return cmdBuf.issue();
}

TEST_F(BoardLinkIssue, RepliesTheBoardMayGive) {
  testproc::inOwnProcess([&] {
    const struct {
      const char* name;
      std::string reply;  // "%u": the stored issue, "%U" it plus 2^32; framed here unless it starts with "RE"
      int chunk;
      bool accepted;
    } cases[] = {
        {"the stored issue", "%u", 0, true},
        {"in pieces", "%u", 1, true},
        {"issue 0: settings lost", "0", 0, false},
        {"nothing", "", 0, false},
        {"body short", "RE009%u", 0, false},
        {"length not hex", "RE0G1%u", 0, false},
        {"issue with a sign", "+%u", 0, false},
        {"issue beyond 32 bits", "%U", 0, false},
        {"a length longer than any issue", "REFFF" + std::string(0xFFF, '7'), 0, false},
    };
    for (const auto& c : cases) {
      SCOPED_TRACE(c.name);
      ASSERT_EQ(std::system("rm -f .gnss.set .gnss.nvm"), 0);
      cmdBuf.clear();
      const std::uint32_t issue = previousRun();
      std::string reply = c.reply;
      if (auto at = reply.find("%u"); at != std::string::npos) reply.replace(at, 2, std::to_string(issue));
      if (auto at = reply.find("%U"); at != std::string::npos)
        reply.replace(at, 2, std::to_string(issue + (1ull << 32)));
      if (!reply.empty() && reply.rfind("RE", 0) != 0) reply = replyFrame(reply);
      FileNvmLoad();
      nv_readSettings();
      FakeBoard board;
      board.in.chunk = c.chunk;
      board.issueReply = reply;
      m2sPortInit();
      board.out.written.clear();
      testing::internal::CaptureStderr();
      m2sNvRead();
      testing::internal::GetCapturedStderr();
      // Whatever came back, the board keeps the record's issue; one that lost it gets the record.
      EXPECT_EQ(board.out.written,
                boardlink::kIssueQuery + boardlink::kIssueOne +
                    (c.accepted ? "" : boardlink::kBoardReset + "set,lock/a,1\nset,lock/b,{1,,3}\n") +
                    boardlink::issueSet(issue));
      EXPECT_EQ(cmdBuf.count(), 2);
    }
  });
}

TEST_F(BoardLinkIssue, RandomRepliesNeitherCrashNorPassForTheIssue) {
  testproc::inOwnProcess([&] {
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
  });
}

TEST_F(BoardLink, StartUpTranscript) {
  testproc::inOwnProcess([&] {
    FakeBoard board;
    zrmEpochMsgsInit();
    const int rt = msgPool.find(MsgPool::findGroup("zrt"), "RT");
    ASSERT_TRUE(omGetMsgSet(IOP_SHM_A)->enable(rt, MsgSchedParams{1000, 0, 0, 0}));
    m2sPortInit();
    EXPECT_EQ(board.in.mode(), InPort::M_NONE);  // no handler may eat the handshake replies
    board.out.written.clear();
    m2sSendAllCmds();
    const std::string& w = board.out.written;
    const std::size_t n = boardlink::kSourceBlock.size();
    ASSERT_EQ(w.compare(0, n, boardlink::kSourceBlock), 0) << w;
    EXPECT_EQ(w.substr(n, 5), "~~005");
    EXPECT_EQ(w.substr(n + 10), boardlink::kSync + boardlink::kModeReturn + boardlink::kCmdMode + boardlink::kSources +
                                    boardlink::kInitialBlock + boardlink::kEndOfStartUp);
    EXPECT_EQ(board.syncs, 1);
    EXPECT_EQ(board.cmdModes, 1);
    EXPECT_EQ(board.in.mode(), InPort::M_ZRT);
    EXPECT_EQ(portSettingsMode(kBoardPort), InPort::M_ZRT);
    // The board's stream now goes to the native decoder: the "~~" of t = 43200000 ms as the
    // simulator frames it.
    ZrtDecoder& dec = zrtPortInput(InPorts::io2dec_[IOP_SHM_A])->decoder();
    InPortHandler* h = board.in.setHandler(InPort::M_ZRT, nullptr);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(
        h->process(reinterpret_cast<const std::uint8_t*>("\x7e\x7e\x30\x30\x35\x00\x2e\x93\x02\xe6"), 0, 10, false),
        10);
    EXPECT_EQ(dec.good(), 1u);
  });
}

TEST_F(BoardLink, SourcesFromTheSetupAndUtcWhenKnown) {
  testproc::inOwnProcess([&] {
    FakeBoard board;
    static PosSetup::SatProcessorSetupType setup{};
    setup.aBytes[2584] = 3;  // navigation data: any
    setup.aBytes[2588] = 7;  // almanac: no such value, nothing sent
    PVTDataInstance.satProcessorSetup.Put(&setup);
    // GPS time of 2024-01-01 00:00:00 UTC, a Monday: week 2295 (247 of cycle 2), 1 day and 18 s in.
    RcvTimeScales::Req.flags[0] = 0x550;
    RcvTimeScales::Req.ms[0] = 86418000;
    RcvTimeScales::Req.weekDay[0] = 247;
    RcvTimeScales::Req.cycle[0] = 2;
    RcvTimeScales::Req.sysUtc[0] = 18;
    m2sSendAllCmds();
    const std::string& w = board.out.written;
    // 2024-01-01 is 8766 days after 2000-01-01.
    EXPECT_EQ(w.rfind("set,raw/utc,{757382400,18}\nset,pos/navdata/source,any\n", 0), 0u) << w;
    EXPECT_NE(w.find("\nset,pos/navdata/source,any\n\n\ndm\n"), std::string::npos) << w;
    EXPECT_EQ(w.find("almdata/source,"), w.rfind("almdata/source,"));  // the source block only
  });
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

TEST_F(BoardLink, ForwardedValuesListsAndTags) {
  testproc::inOwnProcess([&] {
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
        {"complete list of three", "set,/par/lock/m,{1,2,3}", 0, "set,lock/m,{1,2,3}\n", 3},
        {"middle element empty", "set,/par/lock/m,{1,,3}", 0, "set,lock/m,{1,,3}\n", -3},
        {"empty nested list and a value", "set,/par/lock/m,{{},5}", 0, "set,lock/m,{{},5}\n", -2},
        {"only empty elements", "set,/par/lock/m,{,,}", 0, "", 0},
        {"named elements", "set,/par/calib/h,{a=1,b=}", 0, "set,calib/h,{a=1,b=}\n", -2},
        {"quoted text keeps its quotes", "set,/par/calib/n,\"a, b\"", 0, "set,calib/n,\"a, b\"\n", 0},
        {"249 characters of path and value", "set," + path199 + "," + v50, 0,
         "set," + path199.substr(5) + "," + v50 + "\n", 0},
        {"250 characters are refused", "set," + path199 + "p," + v50, 34, "", 0},
        {"a list longer than its buffer", "set,/par/lock/m,{" + std::string(1100, 'x') + "}", 7, "", 0},
        {"a setting the board does not share", "set,/par/dev/ser/a/imode,rtcm3", 0, "", 0},
        {"an area whose name only begins alike", "set,/par/locker,1", 0, "", 0},
    };
    {
      // The first change a board takes that no save holds marks its issue first.
      FakeBoard board;
      EXPECT_EQ(forward("set,/par/lock/x,1"), 0);
      EXPECT_EQ(board.out.written, boardlink::issueSet(0) + "set,lock/x,1\n");
    }
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
    // The navigation-data and almanac sources are the board's; the rest of the position settings not.
    for (const char* p : {"lock", "/par/spectr/", "calib/soft/mode", "dev/event/b/in", "/lock/x",
                          "/par/pos/navdata/source", "pos/almdata/source"})
      EXPECT_TRUE(m2sIsBoardShared(p)) << p;
    for (const char* p : {"", "/par/dev", "/par/pos/navdata/gps", "/par/pos/navdata", "/par/pos/almdata",
                          "/par/pos/elm", static_cast<const char*>(nullptr)})
      EXPECT_FALSE(m2sIsBoardShared(p)) << (p ? p : "null");
  });
}

TEST_F(BoardLink, ACommandTheLinkDidNotTakeIsNeitherReportedNorKept) {
  testproc::inOwnProcess([&] {
    FakeBoard board;
    board.out.refuse = true;
    EXPECT_EQ(forward("set,/par/lock/m,{1,,3}"), 21);
    EXPECT_EQ(cmdBuf.count(), 0);
    EXPECT_EQ(cmdBuf.issue(), 0u);
    board.out.refuse = false;
    EXPECT_EQ(forward("set,/par/lock/m,{1,,3}"), 0);
    EXPECT_EQ(cmdBuf.count(), 1);
  });
}

// A full record (512 elements) keeps what replaces an element in place; a set that would need
// a slot more answers 32 ",storage full", is asked before anything changes and reaches neither
// the board nor the record.
TEST_F(BoardLink, AFullRecordRefusesOnlyWhatNeedsRoom) {
  testproc::inOwnProcess([&] {
    FakeBoard board;
    for (int i = 0; i < 512; ++i) ASSERT_EQ(forward("set,/par/lock/k" + std::to_string(i) + ",1"), 0) << i;
    const struct {
      const char* name;
      std::string command;
      int result;
    } rows[] = {
        {"a new key", "set,/par/lock/new,1", 32},
        {"a key below a kept one", "set,/par/lock/k7/sub,1", 32},
        {"a kept key, new value", "set,/par/lock/k7,2", 0},
        {"a kept key, same value", "set,/par/lock/k8,1", 0},
        {"a key above the kept ones replaces them all", "set,/par/lock,3", 0},
        {"then there is room", "set,/par/lock/new,1", 0},
    };
    for (const auto& r : rows) {
      SCOPED_TRACE(r.name);
      ZRList list;
      ASSERT_EQ(list.parse(r.command.data(), static_cast<int>(r.command.size())), 0);
      board.out.written.clear();
      const std::uint32_t issue = cmdBuf.issue();
      EXPECT_EQ(cmdToSlaveCheck(list.textAt(1), list.at(2)), r.result);
      EXPECT_EQ(forward(r.command), r.result);
      EXPECT_EQ(board.out.written, r.result ? "" : "set," + r.command.substr(9) + "\n");
      EXPECT_EQ(cmdBuf.issue() == issue, r.result != 0);
    }
    ASSERT_EQ(cmdBuf.count(), 2);
    EXPECT_STREQ(cmdBuf.at(0).text, "set,lock,3\n");
    EXPECT_STREQ(cmdBuf.at(1).text, "set,lock/new,1\n");
  });
}

TEST_F(BoardLink, DefaultsEmptyTheRecordAndResendTheInitialBlock) {
  testproc::inOwnProcess([&] {
    FakeBoard board;
    m2sSendSetCmd("/par/lock/a", "1", 0);
    board.out.written.clear();
    m2sDefaults();
    EXPECT_EQ(cmdBuf.count(), 0);
    EXPECT_EQ(cmdBuf.issue(), 0u);
    EXPECT_EQ(board.out.written, "init,/par/\n" + boardlink::kInitialBlock);
  });
}

}  // namespace
