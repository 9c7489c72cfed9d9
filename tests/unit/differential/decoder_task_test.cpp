

#include "differential/base/cpd_meas_buf.h"
#include "differential/decoder_status.h"
#include "differential/decoder_task.h"
#include "differential/received_stores.h"
#include "differential/rtcm3_client.h"
#include "rtcm3_test_util.h"
#include "settings/rcv_settings.h"
#include "unit/port_fakes.h"
#include "unit/differential/relay_links.h"

namespace {

using namespace rtcm3test;

std::string g_board;  // mode commands sent to the board
void toBoard(const void* d, int n) { g_board.append(static_cast<const char*>(d), static_cast<std::size_t>(n)); }

void wire() {
  g_board.clear();
  difftest::freeRelayLinks();
  decBoardSendHook = toBoard;
  InPorts::afterModeChange_.set(static_cast<void (*)(int, int)>(decRedirsModeChange));
}

InPorts::DecPortIndex decPort(int p) { return static_cast<InPorts::DecPortIndex>(p); }

TEST(DecRedirs, LinksFollowTheModesOfThePorts) {
  wire();
  struct Step { int port, mode; const char* board; int link; };  // mode command sent, link held afterwards
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
    g_board.clear();
    decRedirsModeChange(s.port, s.mode);
    EXPECT_EQ(g_board, s.board) << iopGetName(s.port) << " " << InPort::modeNames_[s.mode];
    if (!iopIsBoardLink(s.port)) { EXPECT_EQ(RedirMap::find(InPorts::io2dec_[s.port]), s.link); }
  }
  const int dec = InPorts::io2dec_[IOP_SER_A];
  EXPECT_EQ(decRedirsGet(InDecs::kRtcm3, dec)->dest(), &DecRedir::null_);  // a port without a link
  EXPECT_FALSE(decRedirsGet(InDecs::TYPE_NUM, dec) || decRedirsGet(0, InPorts::DEC_NUM));
}

// The board's letter of a held link becomes the holder's; texts come without a terminator (the sanitizer watches).
TEST(RedirMapDl, BoardLetterOfAHeldLinkBecomesTheHoldersLetter) {
  wire();
  decRedirsModeChange(IOP_SER_B, InPort::M_RTCM3);  // link 1, dev/shm/d, board letter '3'
  decRedirsModeChange(IOP_TCP_A, InPort::M_CMR);    // link 2, dev/shm/e, '4'
  const std::pair<std::string, std::string> cases[] = {{"DL{3,rtcm3,1}", "DL{B,rtcm3,1}"}, {"{4}{3}", "{E}{B}"},
                                                       {"{5,x}", "{5,x}"}, {"{0}{2}{8}", "{0}{2}{8}"},
                                                       {"{Z}{?}{", "{Z}{?}{"}, {"", ""}};
  char out[RedirMap::kDlMax + 1];
  for (const auto& [in, want] : cases) {
    const std::vector<char> bytes(in.begin(), in.end());
    RedirMap::updateDl(bytes.empty() ? "" : bytes.data(), static_cast<int>(bytes.size()));
    EXPECT_EQ((std::tuple{RedirMap::getDl(out, sizeof out), std::string(out)}), std::tuple(static_cast<int>(want.size()), want)) << in;
  }
  const std::string longest(RedirMap::kDlMax, 'x'), tooLong(RedirMap::kDlMax + 1, 'y');
  RedirMap::updateDl(longest.data(), RedirMap::kDlMax);
  EXPECT_EQ(RedirMap::getDl(out, sizeof out), RedirMap::kDlMax);
  RedirMap::updateDl("{3", 2);
  RedirMap::updateDl(tooLong.data(), RedirMap::kDlMax + 1);  // ignored
  EXPECT_EQ((std::tuple{RedirMap::getDl(out, sizeof out), std::string(out)}), std::tuple(2, "{B"));
}

struct LogDec : InDec {
  LogDec(std::vector<std::string>& l, const char* n) : log(l), name(n) {}
  std::vector<std::string>& log;
  const char* name;
  void reset() override { log.push_back(std::string("reset ") + name); }
  void process(const void* d, int n) override { log.push_back(name + (" " + std::string(static_cast<const char*>(d), n))); }
};

InDec* g_native = nullptr;

TEST(InDecs, AutoFeedsNativeCmrRtcmRtcm3InThatOrder) {
  std::vector<std::string> log;
  LogDec zrt(log, "zrt"), cmr(log, "cmr"), rtcm(log, "rtcm"), rtcm3(log, "rtcm3");
  const int p = 2;
  g_native = &zrt;
  InDecs::native_ = [](int port) { return port == 2 ? g_native : nullptr; };
  InDecs::init();
  InDecs::decs_[InDecs::kCmr][p] = &cmr, InDecs::decs_[InDecs::kRtcm][p] = &rtcm, InDecs::decs_[InDecs::kRtcm3][p] = &rtcm3;
  decProcess(InDecs::kAuto, decPort(p), "ab", 2);
  decProcess(InDecs::kAuto, decPort(p), nullptr, 0);
  EXPECT_EQ(log, (std::vector<std::string>{"zrt ab", "cmr ab", "rtcm ab", "rtcm3 ab", "reset zrt", "reset cmr",
                                           "reset rtcm", "reset rtcm3"}));
  // The table takes the native decoder of each port from its hook.
  InDecs::init();
  EXPECT_EQ(InDecs::get(InDecs::kZrt, p), &zrt);
  EXPECT_EQ(InDecs::get(InDecs::kZrt, p + 1), nullptr);
  EXPECT_NE(InDecs::get(InDecs::kCmr, p), nullptr);
  EXPECT_NE(InDecs::get(InDecs::kRtcm, p), nullptr);
  EXPECT_EQ(InDecs::get(InDecs::kAuto, InPorts::DEC_NUM), nullptr);
  // A port without a native decoder takes bytes and resets in auto mode and drops nothing else.
  decProcess(InDecs::kAuto, decPort(p + 1), "ab", 2);
  decProcess(InDecs::kZrt, decPort(p + 1), nullptr, 0);
}

// Two auto ports fed a recording in turns each frame it on their own; then noise in random chunks with resets.
TEST(InDecs, AutoDecodesRtcm3WithThePortsOwnKernel) {
  rtcm3ClientsInit();
  InDecs::init();
  const Bytes data = readFile(recording("msm3.rtcm3"));
  const std::size_t frames = gpsdecodeRtcm3(recording("msm3.rtcm3")).size();
  for (int q : {4, 5}) DecSt.setDecMode(q, DecoderStatus::kNone);
  for (std::size_t off = 0; off < data.size(); off += 77)
    for (int q : {4, 5}) decProcess(InDecs::kAuto, decPort(q), data.data() + off, static_cast<int>(std::min<std::size_t>(77, data.size() - off)));
  for (int q : {4, 5}) {
    DecoderStatus::PortRecord r;
    ASSERT_TRUE(DecSt.get(q, r));
    EXPECT_EQ(std::tuple(r.mode, r.streams[0].good, r.streams[0].bad), std::tuple(DecoderStatus::kRtcm3, frames, 0)) << q;
  }
  std::mt19937 rng(7);
  Bytes noise(1 << 16);
  for (unsigned char& c : noise) c = rng() % 4 == 0 ? 0xD3 : static_cast<unsigned char>(rng());
  for (std::size_t off = 0; off < noise.size();) {
    const std::size_t n = std::min<std::size_t>(1 + rng() % 1500, noise.size() - off);
    decProcess(InDecs::kAuto, decPort(5), noise.data() + off, static_cast<int>(n));
    if (rng() % 16 == 0) decProcess(InDecs::kAuto, decPort(5), nullptr, 0);
    off += n;
  }
}

struct MarkerDec : InDec {
  int port = -1;
  std::atomic<int>*inside = nullptr, *faults = nullptr;
  bool nested = false;  // decodes on through decProcess on decoder port 0
  void reset() override {}
  void process(const void* d, int n) override {
    if (inside->fetch_add(1) != 0 || basePortCur_.load() != port) ++*faults;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    if (nested) inside->fetch_sub(1), decProcess(InDecs::kRtcm3, decPort(0), d, n), inside->fetch_add(1);
    if (basePortCur_.load() != port) ++*faults;
    inside->fetch_sub(1);
  }
};

// decProcess in another task and DECT never decode at once and each sees its own base-port marker, also nested.
TEST(DecoderTask, DecProcessAndTaskKeepTheirOwnMarker) {
  InDecs::init();
  ASSERT_TRUE(decProcInit(13));
  std::atomic<int> inside{0}, faults{0};
  MarkerDec d[3];
  for (int i = 0; i < 3; ++i) {
    d[i].port = i, d[i].inside = &inside, d[i].faults = &faults;
    InDecs::decs_[InDecs::kRtcm3][i] = &d[i];
  }
  d[1].nested = true;
  DiffHandler& h = DiffHandler::h_[InDecs::kRtcm3][1];
  h.port = 1, h.type = InDecs::kRtcm3;
  const std::uint8_t b[4] = {1, 2, 3, 4};
  std::thread other([&] {
    for (int i = 0; i < 50; ++i) decProcess(InDecs::kRtcm3, decPort(2), b, 4);
  });
  for (int i = 0; i < 50; ++i) EXPECT_EQ(h.process(b, 0, 4, false), 4);
  other.join();
  EXPECT_EQ(faults.load(), 0);
  EXPECT_EQ(basePortCur_.load(), -1);
}

}  // namespace
