// The correction road: ports in correction modes, task DECT, the relay links to the GNSS board
// with their mode commands, the board's data-link report, the input decoders and the RTCM 3
// client filing the decoder status.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "settings/rcv_settings.h"
#include "differential/decoder_status.h"
#include "differential/decoder_task.h"
#include "differential/received_stores.h"
#include "differential/rtcm3_client.h"
#include "rtcm3_test_util.h"
#include "unit/port_fakes.h"

namespace {

using testports::CaptureOut;
using testports::ScriptPort;


using namespace rtcm3test;

std::string& boardLines() {
  static std::string s;
  return s;
}
void toBoard(const void* d, int n) { boardLines().append(static_cast<const char*>(d), static_cast<std::size_t>(n)); }

void wire() {
  boardLines().clear();
  RedirMap::clear();
  decSetBoardSend(toBoard);
  InPorts::afterModeChange_.set(static_cast<void (*)(int, int)>(decRedirsModeChange));
}

// ---- relay links -----------------------------------------------------------------------------

TEST(DecRedirs, LinksFollowTheModesOfThePorts) {
  wire();
  struct Step {
    int port;
    int mode;
    const char* board;  // mode command sent, "" none
    int link;           // link port index held afterwards, IOP_NULL none
  };
  const Step steps[] = {
      {IOP_SER_A, InPort::M_RTCM3, "set,dev/shm/d/imode,rtcm3\n", 12},
      {IOP_SER_A, InPort::M_CMR, "set,dev/shm/d/imode,cmr\n", 12},  // keeps its link
      {IOP_SER_B, InPort::M_AUTO, "set,dev/shm/e/imode,auto\n", 13},
      {IOP_SER_C, InPort::M_ZRT, "set,dev/shm/f/imode,zrt\n", 14},
      {IOP_SER_D, InPort::M_RTCM, "set,dev/shm/g/imode,rtcm\n", 15},
      {IOP_USB_A, InPort::M_GBAS, "set,dev/shm/h/imode,gbas\n", 16},
      {IOP_TCP_A, InPort::M_RTCM3, "", IOP_NULL},  // a sixth port: no link
      {IOP_SER_C, InPort::M_ECHO, "set,dev/shm/f/imode,cmd\n", IOP_NULL},
      {IOP_TCP_A, InPort::M_SISNET, "set,dev/shm/f/imode,sisnet\n", 14},  // the freed link
      {IOP_SER_A, InPort::M_CMD, "set,dev/shm/d/imode,cmd\n", IOP_NULL},
      {IOP_SER_A, InPort::M_NONE, "", IOP_NULL},
      {IOP_SHM_A + 1, InPort::M_RTCM3, "", IOP_NULL},  // links to the board relay nothing
  };
  for (const Step& s : steps) {
    boardLines().clear();
    decRedirsModeChange(s.port, s.mode);
    EXPECT_EQ(boardLines(), s.board) << iopGetName(s.port) << " " << InPort::modeNames_[s.mode];
    const int dec = InPorts::io2dec_[s.port];
    if (s.port < IOP_SHM_A || s.port >= IOP_SHM_A + 8) {
      EXPECT_EQ(RedirMap::find(dec), s.link) << iopGetName(s.port);
    }
  }
}

TEST(DecRedirs, RelayGoesToTheLinkUntilThePortLeaves) {
  wire();
  CaptureOut link(RedirMap::kFirstLink);
  const int dec = InPorts::io2dec_[IOP_SER_B];
  decRedirsModeChange(IOP_SER_B, InPort::M_RTCM3);
  decRedirsGet(InDecs::kRtcm3, dec)->send("abc", 3);
  decRedirsModeChange(IOP_SER_B, InPort::M_CMD);
  decRedirsGet(InDecs::kRtcm3, dec)->send("def", 3);  // the null sink
  EXPECT_EQ(link.data, "abc");
  EXPECT_EQ(decRedirsGet(InDecs::kRtcm3, dec)->dest(), &DecRedir::null_);
  EXPECT_EQ(decRedirsGet(InDecs::TYPE_NUM, dec), nullptr);
  EXPECT_EQ(decRedirsGet(0, InPorts::DEC_NUM), nullptr);
}

// ---- the board's data-link report ------------------------------------------------------------

TEST(RedirMapDl, BoardLetterOfAHeldLinkBecomesTheHoldersLetter) {
  wire();
  decRedirsModeChange(IOP_SER_B, InPort::M_RTCM3);  // link 1, dev/shm/d, board letter '3'
  decRedirsModeChange(IOP_TCP_A, InPort::M_CMR);    // link 2, dev/shm/e, '4'
  struct Case {
    std::string in, out;
  };
  const Case cases[] = {
      {"DL{3,rtcm3,1}", "DL{B,rtcm3,1}"},
      {"{4}{3}", "{E}{B}"},
      {"{5,x}", "{5,x}"},       // link 3 is free
      {"{0}{2}{8}", "{0}{2}{8}"},  // the board's own and other ports
      {"{Z}{?}{", "{Z}{?}{"},   // no port behind the letter, and a brace at the very end
      {"", ""},
  };
  char out[RedirMap::kDlMax + 1];
  for (const Case& c : cases) {
    // Exactly the text's bytes, no terminator: a read past the end is caught by the sanitizer.
    std::vector<char> in(c.in.begin(), c.in.end());
    RedirMap::updateDl(in.empty() ? "" : in.data(), static_cast<int>(in.size()));
    EXPECT_EQ(RedirMap::getDl(out, sizeof out), static_cast<int>(c.out.size()));
    EXPECT_EQ(std::string(out), c.out) << c.in;
  }
  const std::string longest(RedirMap::kDlMax, 'x');
  RedirMap::updateDl(longest.data(), RedirMap::kDlMax);
  EXPECT_EQ(RedirMap::getDl(out, sizeof out), RedirMap::kDlMax);
  RedirMap::updateDl("{3", 2);
  const std::string tooLong(RedirMap::kDlMax + 1, 'y');
  RedirMap::updateDl(tooLong.data(), RedirMap::kDlMax + 1);  // ignored
  EXPECT_EQ(RedirMap::getDl(out, sizeof out), 2);
  EXPECT_STREQ(out, "{B");
}

// ---- input decoders ----------------------------------------------------------------------------

struct LogDec : InDec {
  LogDec(std::vector<std::string>& l, const char* n) : log(l), name(n) {}
  std::vector<std::string>& log;
  const char* name;
  void reset() override { log.push_back(std::string("reset ") + name); }
  void process(const void* d, int n) override {
    log.push_back(std::string(name) + " " + std::string(static_cast<const char*>(d), static_cast<std::size_t>(n)));
  }
};

InDec* g_native = nullptr;

TEST(InDecs, AutoFeedsNativeCmrRtcmRtcm3InThatOrder) {
  EXPECT_EQ(InDecs::mode2type(InPort::M_AUTO), InDecs::kAuto);
  EXPECT_EQ(InDecs::mode2type(InPort::M_ZRT), InDecs::kZrt);
  EXPECT_EQ(InDecs::mode2type(InPort::M_DTP), InDecs::kNone);
  std::vector<std::string> log;
  LogDec zrt(log, "zrt"), cmr(log, "cmr"), rtcm(log, "rtcm"), rtcm3(log, "rtcm3");
  const int p = 2;
  g_native = &zrt;
  InDecs::native_ = [](int port) { return port == 2 ? g_native : nullptr; };
  InDecs::init();
  InDecs::decs_[InDecs::kCmr][p] = &cmr;
  InDecs::decs_[InDecs::kRtcm][p] = &rtcm;
  InDecs::decs_[InDecs::kRtcm3][p] = &rtcm3;
  decProcess(InDecs::kAuto, static_cast<InPorts::DecPortIndex>(p), "ab", 2);
  decProcess(InDecs::kAuto, static_cast<InPorts::DecPortIndex>(p), nullptr, 0);
  EXPECT_EQ(log, (std::vector<std::string>{"zrt ab", "cmr ab", "rtcm ab", "rtcm3 ab", "reset zrt", "reset cmr",
                                           "reset rtcm", "reset rtcm3"}));
  // The table takes the native decoder of each port from its hook.
  InDecs::init();
  EXPECT_EQ(&InDecs::get(InDecs::kZrt, p), &zrt);
  EXPECT_EQ(&InDecs::get(InDecs::kZrt, p + 1), &InDecNull::instance);
  EXPECT_EQ(&InDecs::get(InDecs::kCmr, p), &InDecNull::instance);  // until the CMR decoder lands
  EXPECT_EQ(&InDecs::get(InDecs::kAuto, InPorts::DEC_NUM), &InDecNull::instance);
}

// An auto port decodes RTCM 3 with its own framing state while the native decoder sees the same
// bytes.
TEST(InDecs, AutoDecodesRtcm3WithThePortsOwnKernel) {
  rtcm3ClientsInit();
  InDecs::init();
  const std::vector<unsigned char> data = readFile(recording("msm3.rtcm3"));
  const std::size_t frames = gpsdecodeRtcm3(recording("msm3.rtcm3")).size();
  ASSERT_GT(frames, 0u);
  const int p = 5;
  DecSt.setDecMode(p, DecoderStatus::kNone);
  for (std::size_t off = 0; off < data.size(); off += 77)
    decProcess(InDecs::kAuto, static_cast<InPorts::DecPortIndex>(p), data.data() + off,
               static_cast<int>(std::min<std::size_t>(77, data.size() - off)));
  DecoderStatus::PortRecord r;
  ASSERT_TRUE(DecSt.get(p, r));
  EXPECT_EQ(r.mode, DecoderStatus::kRtcm3);
  EXPECT_EQ(r.streams[0].good, static_cast<int>(frames));
  EXPECT_EQ(r.streams[0].bad, 0);

  // Random bytes thick with preambles, in random chunks, and resets between: nothing breaks.
  std::mt19937 rng(7);
  std::vector<unsigned char> noise(1 << 16);
  for (unsigned char& c : noise) c = rng() % 4 == 0 ? 0xD3 : static_cast<unsigned char>(rng());
  for (std::size_t off = 0; off < noise.size();) {
    const std::size_t n = std::min<std::size_t>(1 + rng() % 1500, noise.size() - off);
    decProcess(InDecs::kAuto, static_cast<InPorts::DecPortIndex>(p), noise.data() + off, static_cast<int>(n));
    if (rng() % 16 == 0) decProcess(InDecs::kAuto, static_cast<InPorts::DecPortIndex>(p), nullptr, 0);
    off += n;
  }
}

// ---- task DECT ----------------------------------------------------------------------------------

// A real recording written to serial port B in "rtcm3" mode: relayed byte for byte after the
// mode command, decoded, and its status filed although another port is the reference port.
TEST(DecoderTask, Rtcm3PortIsRelayedAndDecoded) {
  wire();
  ScriptPort port(IOP_SER_B);
  CaptureOut link(RedirMap::kFirstLink);
  rtcm3ClientsInit();
  decInitOnce();
  ASSERT_TRUE(decProcInit(13));
  RcvSet.refPort = 3;  // observations go nowhere; the status still updates
  const int dec = InPorts::io2dec_[IOP_SER_B];
  DecSt.setDecMode(dec, DecoderStatus::kRtcm3);
  TxtMsg.putMessage("old", 3, dec, 1, TextMessage::kRtcmText);

  ASSERT_TRUE(port.setMode(InPort::M_RTCM3));
  EXPECT_EQ(boardLines(), "set,dev/shm/d/imode,rtcm3\n");
  TextMessage::Contents t;
  TxtMsg.get(t);
  EXPECT_EQ(t.count, 0);  // entering the mode reset the received texts

  const std::string file = recording("uscl00chl0.rtcm3");
  const std::vector<unsigned char> data = readFile(file);
  ASSERT_FALSE(data.empty());
  const std::string bytes(data.begin(), data.end());
  for (std::size_t off = 0; off < bytes.size(); off += 1000) port.chunks.push_back(bytes.substr(off, 1000));
  port.task(30);

  EXPECT_TRUE(link.data == bytes) << link.data.size() << " of " << bytes.size();
  DecoderStatus::PortRecord r;
  ASSERT_TRUE(DecSt.get(dec, r));
  EXPECT_EQ(r.mode, DecoderStatus::kRtcm3);
  EXPECT_EQ(r.streams[0].good, static_cast<int>(gpsdecodeRtcm3(file).size()));
  EXPECT_EQ(r.streams[0].bad, 0);

  // Leaving the correction modes frees the link; later bytes go nowhere.
  ASSERT_TRUE(port.setMode(InPort::M_CMD));
  EXPECT_EQ(boardLines(), "set,dev/shm/d/imode,rtcm3\nset,dev/shm/d/imode,cmd\n");
  EXPECT_EQ(RedirMap::find(dec), IOP_NULL);
}

struct MarkerDec : InDec {
  int port = -1;
  std::atomic<int>* inside = nullptr;
  std::atomic<int>* faults = nullptr;
  InDec* nested = nullptr;  // decoded through decProcess from inside, on decoder port 0
  void reset() override {}
  void process(const void* d, int n) override {
    if (inside->fetch_add(1) != 0) ++*faults;
    if (decCurrentPort() != port) ++*faults;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    if (nested != nullptr) {
      inside->fetch_sub(1);
      decProcess(InDecs::kRtcm3, static_cast<InPorts::DecPortIndex>(0), d, n);
      inside->fetch_add(1);
    }
    if (decCurrentPort() != port) ++*faults;
    inside->fetch_sub(1);
  }
};

// decProcess in another task and DECT never decode at once, and each sees its own port as the
// base-port marker, also when a decoder in DECT routes data on through decProcess.
TEST(DecoderTask, DecProcessAndTaskKeepTheirOwnMarker) {
  InDecs::init();
  ASSERT_TRUE(decProcInit(13));
  std::atomic<int> inside{0}, faults{0};
  MarkerDec d0, d1, d2;
  d0.port = 0, d1.port = 1, d2.port = 2;
  for (MarkerDec* d : {&d0, &d1, &d2}) d->inside = &inside, d->faults = &faults;
  d1.nested = &d0;
  InDecs::decs_[InDecs::kRtcm3][0] = &d0;
  InDecs::decs_[InDecs::kRtcm3][1] = &d1;
  InDecs::decs_[InDecs::kRtcm3][2] = &d2;
  DiffHandler& h = DiffHandler::h_[InDecs::kRtcm3][1];
  h.port = 1;
  h.type = InDecs::kRtcm3;
  const std::uint8_t b[4] = {1, 2, 3, 4};
  std::thread other([&] {
    for (int i = 0; i < 50; ++i) decProcess(InDecs::kRtcm3, static_cast<InPorts::DecPortIndex>(2), b, 4);
  });
  for (int i = 0; i < 50; ++i) EXPECT_EQ(h.process(b, 0, 4, false), 4);
  other.join();
  EXPECT_EQ(faults.load(), 0);
  EXPECT_EQ(decCurrentPort(), -1);
}

}  // namespace
