// The link to the GNSS board over a stand-in of port 9: handshakes byte for byte, the issue
// query, the start-up transcript, and the forwarding of set commands with their tags.
#include "gnss_link/board_link.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "board_fake_link.h"
#include "command/reply.h"
#include "command/zr_list.h"
#include "gnss_link/placeholders.h"
#include "gnss_link/zrt_port_input.h"
#include "gnss_link/zrt_decoder.h"
#include "output/epoch_msgs.h"
#include "output/msg_pool.h"
#include "output/output_manager.h"
#include "platform/file_nvm.h"
#include "unit/platform/temp_run_dir.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/rcv_time_scales.h"
#include "settings/port_settings.h"
#include "board_link_texts.h"

namespace {

// ---- handshakes ---------------------------------------------------------------------------

TEST(BoardLinkHandshake, RepliesWholeInPiecesWrongOrShort) {
  const struct {
    const char* name;
    std::string reply;
    int chunk;
    bool ok;
  } cases[] = {
      {"whole reply", "RE005%CON%\r\n", 0, true},
      {"one byte per read", "RE005%CON%\r\n", 1, true},
      {"three bytes per read", "RE005%CON%\r\n", 3, true},
      {"one byte differs", "RE005%COM%\r\n", 0, false},
      {"line feed only", "RE005%CON%\n", 0, false},
      {"one byte short", "RE005%CON%\r", 0, false},
      {"an error reply", "ER005%CON%\r\n", 0, false},
      {"nothing", "", 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeBoard board;
    board.answers = false;
    board.in.chunk = c.chunk;
    board.out.onWrite = [&](const std::string&) { board.in.queued += c.reply; };
    EXPECT_EQ(m2s::waitForAck(kM2sConnect, kM2sConnectAck, kM2sConnectTicks), c.ok);
    EXPECT_EQ(board.out.written, boardlink::kConnect);
  }
}

TEST(BoardLinkHandshake, AStaleReplyIsDrainedFirst) {
  FakeBoard board;
  board.answers = false;
  board.in.queued = std::string(300, 'x') + "RE005%SYN%\r\n";  // left over from before
  EXPECT_FALSE(m2s::sync());
  EXPECT_EQ(board.out.written, "!%SYN%\n");
  board.answers = true;
  EXPECT_TRUE(m2s::sync());
}

TEST(BoardLinkHandshake, ACommandTheLinkRefusesFailsAtOnce) {
  FakeBoard board;
  board.out.refuse = true;
  board.in.queued = "RE005%CMD%\r\n";  // even a reply that happens to be there does not count
  EXPECT_FALSE(m2s::waitForAck(kM2sCmdMode, kM2sCmdModeAck, kM2sCmdModeTicks));
}

TEST(BoardLinkHandshake, ReadBytesStopsAtTheCountOrTheFirstEmptyRead) {
  FakeBoard board;
  board.in.queued = "abcdefgh";
  board.in.chunk = 3;
  char buf[16];
  EXPECT_EQ(m2s::readBytes(buf, 5, 7), 5);
  EXPECT_STREQ(buf, "abcde");
  EXPECT_EQ(board.in.lastTimeout, 7);
  EXPECT_EQ(m2s::readBytes(buf, 10, 7), 3);
  EXPECT_STREQ(buf, "fgh");
  EXPECT_EQ(m2s::readBytes(buf, 4, 7), 0);
  EXPECT_STREQ(buf, "");
}

TEST(BoardLinkHandshake, PortInitConnectsWithNoHandlerOnTheReplies) {
  FakeBoard board;
  EXPECT_TRUE(m2sPortInit());
  EXPECT_EQ(board.out.written, boardlink::kConnect);
  EXPECT_EQ(board.in.mode(), InPort::M_NONE);
  board.answers = false;
  EXPECT_FALSE(m2sPortInit());  // start-up goes on: the result is only reported
}

// ---- the issue query -------------------------------------------------------------------------

class BoardLinkIssue : public TempRunDir {};

// A record of two commands, saved as a previous run left it; returns its issue.
std::uint32_t previousRun() {
  FileNvmLoad();
  FakeBoard board;
  board.issueReply = FakeBoard::issueAnswer("0");
  m2sPortInit();
  m2sNvRead();
  EXPECT_EQ(m2sSendSetCmd("/par/lock/a", "1", 0), CmdBuf::kSent);
  EXPECT_EQ(m2sSendSetCmd("/par/lock/b", "{1,,3}", -3), CmdBuf::kSent);
  FileNvmSetCommitHook(cmdBufCommit);
  EXPECT_TRUE(FileNvmSave(0, true));
  return cmdBuf.issue();
}

TEST_F(BoardLinkIssue, RepliesTheBoardMayGive) {
  const std::string replay = "set,lock/a,1\nset,lock/b,{1,,3}\n";
  const struct {
    const char* name;
    std::string reply;  // "%u": the stored issue
    int chunk;
    bool accepted;       // the board's issue was read as the stored one
  } cases[] = {
      {"the stored issue", "%u", 0, true},
      {"in pieces", "%u", 1, true},
      {"issue 0: settings lost", "0", 0, false},
      {"nothing", "", 0, false},
      {"header only", "RE003", 0, false},
      {"body short", "RE009%u", 0, false},
      {"length not hex", "RE0G1%u", 0, false},
      {"issue not a number", "x%u", 0, false},
      {"issue with a sign", "+%u", 0, false},
      {"issue beyond 32 bits", "99999999999", 0, false},
      {"a length longer than any issue", "REFFF", 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(std::system("rm -f .gnss.set .gnss.nvm"), 0);
    cmdBuf.clear();
    const std::uint32_t issue = previousRun();
    // Replies without an "RE" header are framed here; the others stand as written.
    std::string body = c.reply;
    const std::string number = std::to_string(issue);
    if (auto at = body.find("%u"); at != std::string::npos) body.replace(at, 2, number);
    std::string reply;
    if (body.rfind("RE", 0) == 0) {
      reply = body;
      if (c.reply == std::string("REFFF")) reply += std::string(0xFFF, '7');
    } else if (!body.empty()) {
      reply = FakeBoard::issueAnswer(body);
    }
    FileNvmLoad();
    FakeBoard board;
    board.in.chunk = c.chunk;
    board.issueReply = reply;
    m2sPortInit();
    board.out.written.clear();
    testing::internal::CaptureStderr();
    m2sNvRead();
    testing::internal::GetCapturedStderr();
    // The query, then the issue the board keeps from now on, whatever came back; a board that
    // lost its settings gets the record again.
    EXPECT_EQ(board.out.written, boardlink::kIssueQuery + boardlink::kIssueOne +
                                     (c.accepted ? "" : replay) + boardlink::issueSet(issue));
    EXPECT_EQ(cmdBuf.count(), 2);
  }
}

TEST_F(BoardLinkIssue, RandomRepliesNeitherCrashNorPassForTheIssue) {
  std::mt19937 rng(3);
  for (int round = 0; round < 200; ++round) {
    FakeBoard board;
    std::string junk(rng() % 40, 0);
    for (auto& ch : junk) ch = static_cast<char>(rng() % 256);
    if (round % 2) junk = "RE" + junk;
    board.issueReply = junk;
    m2sPortInit();
    m2sNvRead();  // an empty record on a fresh image: any issue but 0 would restart
    EXPECT_EQ(cmdBuf.count(), 0);
  }
}

// ---- the start-up transcript -------------------------------------------------------------

TEST(BoardLinkStartUp, TranscriptOfSendAllCmds) {
  FakeBoard board;
  zrmEpochMsgsInit();
  const int rt = msgPool.find(MsgPool::findGroup("zrt"), "RT");
  ASSERT_GE(rt, 0);
  ASSERT_TRUE(omGetMsgSet(IOP_SHM_A)->enable(rt, MsgSchedParams{1000, 0, 0, 0}));
  m2sPortInit();
  board.out.written.clear();
  m2sSendAllCmds();

  const std::string& expectStart = boardlink::kSourceBlock;
  const std::string& w = board.out.written;
  ASSERT_EQ(w.compare(0, expectStart.size(), expectStart), 0) << w;
  // One start message, its "~~" frame, then the pacing handshake.
  std::string rest = w.substr(expectStart.size());
  ASSERT_GE(rest.size(), 10u);
  EXPECT_EQ(rest.substr(0, 5), "~~005");
  rest.erase(0, 10);
  EXPECT_EQ(rest,
            boardlink::kSync + boardlink::kModeReturn + boardlink::kCmdMode +
                boardlink::kSources + boardlink::kInitialBlock + boardlink::kEndOfStartUp);
  EXPECT_EQ(board.syncs, 1);
  EXPECT_EQ(board.cmdModes, 1);
  // The board's stream now goes to the native decoder.
  EXPECT_EQ(board.in.mode(), InPort::M_ZRT);
  EXPECT_EQ(portSettingsMode(kBoardPort), InPort::M_ZRT);
}

TEST(BoardLinkStartUp, SilentBoardGetsTenCommandModeTries) {
  FakeBoard board;
  board.answers = false;
  m2sSendAllCmds();
  std::size_t n = 0;
  for (std::size_t at = 0; (at = board.out.written.find("\n%CMD%\n", at)) != std::string::npos; at += 7) ++n;
  EXPECT_EQ(n, 10u);
  EXPECT_NE(board.out.written.find("%$EOSA$%\n"), std::string::npos);
}

TEST(BoardLinkStartUp, SourcesFromTheSetupAndUtcWhenKnown) {
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
}

TEST(BoardLinkStartUpDeathTest, NoOutputSideOnTheLinkEndsTheProgram) {
  InPorts::ports_[IOP_SHM_A] = nullptr;
  OutPorts::ports_[IOP_SHM_A] = nullptr;
  EXPECT_EXIT(m2sSendAllCmds(), testing::ExitedWithCode(222), "");
}

// ---- forwarding ------------------------------------------------------------------------------

struct Forward {
  const char* name;
  std::string command;  // "set,<path>,<value>" as typed
  int result;
  std::string sent;     // what reaches the board ("" nothing)
  int tag;              // recorded tag when something is sent
};

TEST(BoardLinkForward, ValuesListsAndTags) {
  // Lengths count the path as forwarded, without "/par/".
  const std::string path200 = "/par/lock/" + std::string(195, 'p');
  const std::string path199 = "/par/lock/" + std::string(194, 'p');
  const Forward cases[] = {
      {"plain value, /par/ stripped", "set,/par/lock/gps/l1,5", 0, "set,lock/gps/l1,5\n", 0},
      {"path without /par/", "set,spectr/a,on", 0, "set,spectr/a,on\n", 0},
      {"complete list of three", "set,/par/lock/m,{1,2,3}", 0, "set,lock/m,{1,2,3}\n", 3},
      {"middle element empty", "set,/par/lock/m,{1,,3}", 0, "set,lock/m,{1,,3}\n", -3},
      {"empty nested list and a value", "set,/par/lock/m,{{},5}", 0, "set,lock/m,{{},5}\n", -2},
      {"nested list with content", "set,/par/lock/m,{{1},5}", 0, "set,lock/m,{{1},5}\n", -2},
      {"nested list of empties", "set,/par/lock/m,{{,},5}", 0, "set,lock/m,{{,},5}\n", -2},
      {"only empty elements", "set,/par/lock/m,{,,}", 0, "", 0},
      {"an empty list", "set,/par/lock/m,{}", 0, "", 0},
      {"named elements", "set,/par/calib/h,{a=1,b=}", 0, "set,calib/h,{a=1,b=}\n", -2},
      {"quoted text keeps its quotes", "set,/par/calib/n,\"a, b\"", 0, "set,calib/n,\"a, b\"\n", 0},
      {"quoted text in a list", "set,/par/calib/n,{\"x y\",2}", 0, "set,calib/n,{\"x y\",2}\n", 2},
      {"249 characters of path and value", "set," + path199 + "," + std::string(50, 'v'), 0,
       "set," + path199.substr(5) + "," + std::string(50, 'v') + "\n", 0},
      {"250 characters are refused", "set," + path200 + "," + std::string(50, 'v'), 34, "", 0},
      {"a list longer than its buffer", "set,/par/lock/m,{" + std::string(1100, 'x') + "}", 7, "", 0},
      {"a setting the board does not share", "set,/par/dev/ser/a/imode,rtcm3", 0, "", 0},
      {"an area whose name only begins alike", "set,/par/locker,1", 0, "", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeBoard board;
    cmdBuf.clear();
    ZRList list;
    ASSERT_EQ(list.parse(c.command.data(), static_cast<int>(c.command.size())), 0);
    EXPECT_EQ(cmdToSlaveSend(list.textAt(1), list.at(2)), c.result);
    EXPECT_EQ(board.out.written, c.sent);
    if (c.sent.empty()) {
      EXPECT_EQ(cmdBuf.count(), 0);
    } else {
      ASSERT_EQ(cmdBuf.count(), 1);
      EXPECT_EQ(std::string(cmdBuf.at(0).text), c.sent);
      EXPECT_EQ(cmdBuf.at(0).tag, c.tag);
    }
  }
}

TEST(BoardLinkForward, ACommandTheLinkDidNotTakeIsNeitherReportedNorKept) {
  FakeBoard board;
  board.out.refuse = true;
  ZRList list;
  const std::string cmd = "set,/par/lock/m,{1,,3}";
  ASSERT_EQ(list.parse(cmd.data(), static_cast<int>(cmd.size())), 0);
  EXPECT_EQ(cmdToSlaveSend(list.textAt(1), list.at(2)), 21);
  EXPECT_EQ(cmdBuf.count(), 0);
  EXPECT_EQ(cmdBuf.issue(), 0u);
  board.out.refuse = false;
  EXPECT_EQ(cmdToSlaveSend(list.textAt(1), list.at(2)), 0);
  EXPECT_EQ(cmdBuf.count(), 1);
}

TEST(BoardLinkForward, ACommandAFullRecordCannotKeepReachesTheBoardButAnswersStorageFull) {
  FakeBoard board;
  for (int i = 0; i < 600; ++i) {
    const std::string cmd = "set,/par/lock/k" + std::to_string(i) + ",1";
    ZRList list;
    ASSERT_EQ(list.parse(cmd.data(), static_cast<int>(cmd.size())), 0);
    board.out.written.clear();
    ASSERT_EQ(cmdToSlaveSend(list.textAt(1), list.at(2)), i < 512 ? 0 : 32) << i;  // 32 ",storage full"
    EXPECT_EQ(board.out.written, "set," + cmd.substr(9) + "\n");
  }
  EXPECT_EQ(cmdBuf.count(), 512);
}

TEST(BoardLinkForward, DefaultsEmptyTheRecordAndResendTheInitialBlock) {
  FakeBoard board;
  m2sSendSetCmd("/par/lock/a", "1", 0);
  ASSERT_EQ(cmdBuf.count(), 1);
  board.out.written.clear();
  m2sDefaults();
  EXPECT_EQ(cmdBuf.count(), 0);
  EXPECT_EQ(cmdBuf.issue(), 0u);
  EXPECT_EQ(board.out.written, std::string("init,/par/\n") + std::string(kM2sInitialBlock, 300));
  Reply re;
  m2sPrintCmds("cmds", re);
  EXPECT_EQ(std::string(re.text(), static_cast<std::size_t>(re.textLen())), "{}");
}

TEST(BoardLinkForward, SharedAreas) {
  const struct {
    const char* path;
    bool shared;
  } cases[] = {
      {"/par/lock/gps/l1", true}, {"lock", true},           {"/par/spectr/", true},
      {"calib/soft/mode", true},  {"/par/dev/pps/a/out", true}, {"dev/event/b/in", true},
      {"/par/locker", false},     {"/par/dev/ser/a", false}, {"/par/pos/navdata/source", false},
      {"", false},                {"/lock/x", true},         {"/par/dev", false},
  };
  for (const auto& c : cases) EXPECT_EQ(m2sIsBoardShared(c.path), c.shared) << c.path;
  EXPECT_FALSE(m2sIsBoardShared(nullptr));
  EXPECT_STREQ(m2sBoardSharedArea(0), "lock");
  EXPECT_EQ(m2sBoardSharedArea(99), nullptr);
}

// ---- the native-mode handler -------------------------------------------------------------

// The epoch marker "~~" of t = 43200000 ms, as the simulator's own writer frames it.
const std::string kEpochMark("\x7e\x7e\x30\x30\x35\x00\x2e\x93\x02\xe6", 10);

TEST(BoardLinkHandler, StartUpPutsTheDecoderOfTheLinkBehindPortNine) {
  FakeBoard board;
  ZrtDecoder& dec = zrtPortInput(InPorts::io2dec_[IOP_SHM_A])->decoder();
  m2sSendAllCmds();
  InPortHandler* h = board.in.setHandler(InPort::M_ZRT, nullptr);
  ASSERT_NE(h, nullptr);
  const auto* p = reinterpret_cast<const std::uint8_t*>(kEpochMark.data());
  EXPECT_EQ(h->process(p, 0, 10, false), 10);
  EXPECT_EQ(dec.good(), 1u);
}

}  // namespace
