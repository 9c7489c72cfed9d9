// The power controller's link against the tests' own controller: frames checked with the stand-in's
// own parity code and the worked frame 65 0A 03 02, sequence ids, the answer rules (not ready,
// foreign id, silence, resend, long answers), code words, the start-up exchange, and two askers
// at once.
#include <gtest/gtest.h>

#include <deque>
#include <mutex>
#include <random>
#include <thread>

#include "platform/mcu_link.h"
#include "unit/platform/mcu_stand_in.h"

namespace {

using standin::McuFrame;
using standin::McuStandIn;

// The stand-in behind a byte road that answers as soon as a frame is written; each read hands
// over at most `chunk` bytes (all that wait when 0). No clock: a read finds what the stand-in
// has sent, or nothing.
class FakeIo : public McuIo {
 public:
  int write(const std::uint8_t* d, int n, int) override {
    std::lock_guard<std::mutex> l(m_);
    if (refuse) return 0;
    if (!in_.empty()) ++overlaps;  // a frame while another exchange's answer is unread
    if (n == 4) {
      const std::string a = ctl.answer(McuFrame{d[0], d[1], d[2], d[3]});
      in_.insert(in_.end(), a.begin(), a.end());
    }
    return n;
  }
  int read(std::uint8_t* buf, int n, int) override {
    if (yield) std::this_thread::yield();
    std::lock_guard<std::mutex> l(m_);
    int k = 0;
    while (k < n && !in_.empty() && (chunk == 0 || k < chunk)) {
      buf[k++] = in_.front();
      in_.pop_front();
    }
    return k;
  }
  bool setRunState(unsigned s) override {
    state = s;
    return true;
  }
  void sleep(int) override {}
  void push(const std::string& bytes) {
    std::lock_guard<std::mutex> l(m_);
    in_.insert(in_.end(), bytes.begin(), bytes.end());
  }

  McuStandIn ctl;
  int chunk = 0;
  bool refuse = false;
  bool yield = false;
  int overlaps = 0;
  unsigned state = 0;

 private:
  std::mutex m_;
  std::deque<std::uint8_t> in_;
};

int ones(unsigned v) { return __builtin_popcount(v); }

// The frame of cmd, p1, p2 under sequence id `id`, sent as the link sends frames: with the
// answer-request flag through a code word of mode 0 (its own id), without it as commands asked
// with no tries (the first clears the flag the link starts with; each takes the next id).
McuFrame frameOf(bool ack, int cmd, int id, int p1, int p2) {
  FakeIo io;
  MCU_c8051f330 mcu(io);
  if (ack) {
    EXPECT_GE(mcu.setCmd(static_cast<std::uint32_t>(id) << 24 | static_cast<std::uint32_t>(cmd) << 16 |
                         static_cast<std::uint32_t>(p1) << 8 | static_cast<std::uint32_t>(p2)),
              0);
  } else {
    std::uint8_t a[4];
    do {
      int len = 4;
      EXPECT_FALSE(mcu.cmdAnsw(cmd, p1, p2, a, len, 0));
    } while (io.ctl.frames.size() < 2 || mcu.sequenceId() != id);
  }
  EXPECT_EQ(io.ctl.badFrames, 0);
  return io.ctl.frames.empty() ? McuFrame{} : io.ctl.frames.back();
}

// ---- frames

TEST(McuFrames, WorkedAndHandComputedFrames) {
  const struct {
    int cmd, id, p1, p2;
    bool ack;
    McuFrame want;
  } rows[] = {
      {10, 5, 3, 2, true, {0x65, 0x0A, 0x03, 0x02}},  // the worked frame: five ones in bytes 1-3
      {0, 0, 0, 0, false, {0x00, 0x00, 0x00, 0x00}},
      {1, 0, 0, 0, false, {0xC0, 0x01, 0x00, 0x00}},  // one 1 in 1-3: bit 6, then bit 7 for byte 0
      {3, 1, 0, 0, false, {0x81, 0x03, 0x00, 0x00}},  // even 1-3; id 1 alone is odd
      {0xFF, 15, 0xFF, 0xFF, true, {0xAF, 0xFF, 0xFF, 0xFF}},
      {0x80, 3, 0x01, 0x00, true, {0xA3, 0x80, 0x01, 0x00}},
  };
  for (const auto& r : rows) EXPECT_EQ(frameOf(r.ack, r.cmd, r.id, r.p1, r.p2), r.want) << r.cmd << "/" << r.id;
}

TEST(McuFrames, EveryIdAndCommandHasBothParityBits) {
  const int cmds[][3] = {{10, 3, 2}, {10, 1, 0}, {0, 0, 0}, {255, 255, 255}, {1, 2, 4}, {0x55, 0xAA, 0x0F}, {7, 0, 128}};
  for (bool ack : {false, true}) {
    for (int id = 0; id < 16; ++id) {
      for (const auto& c : cmds) {
        const McuFrame f = frameOf(ack, c[0], id, c[1], c[2]);
        EXPECT_EQ(ones(f[0]) % 2, 0) << id << " " << c[0];
        EXPECT_EQ((f[0] >> 6) & 1, (ones(f[1]) + ones(f[2]) + ones(f[3])) % 2) << id << " " << c[0];
        EXPECT_EQ(f[0] & 0x0F, id);
        EXPECT_EQ((f[0] & 0x20) != 0, ack);
        EXPECT_EQ(f[0] & 0x10, 0);
        EXPECT_EQ(f[1], c[0]);
        EXPECT_EQ(f[2], c[1]);
        EXPECT_EQ(f[3], c[2]);
      }
    }
  }
}

TEST(McuFrames, SequenceIdWrapsFrom15To0) {
  FakeIo io;
  MCU_c8051f330 mcu(io);
  std::uint8_t a[4];
  for (int i = 1; i <= 18; ++i) {
    int len = 4;
    ASSERT_TRUE(mcu.cmdAnsw(20, 1, 2, a, len, 5));
    EXPECT_EQ(io.ctl.frames.back()[0] & 0x0F, i % 16) << i;
  }
}

TEST(McuFrames, ChecksumIsTheByteSum) {
  const struct {
    std::vector<std::uint8_t> bytes;
    std::uint8_t sum;
  } rows[] = {{{}, 0}, {{1, 2, 3}, 6}, {{0xFF, 0x02}, 0x01}, {{0x80, 0x80}, 0}, {{0xE7, 0x02}, 0xE9}};
  for (const auto& r : rows) EXPECT_EQ(c8051f330_getCS(r.bytes.data(), static_cast<int>(r.bytes.size())), r.sum);
  EXPECT_EQ(c8051f330_getCS(nullptr, 3), 0);
}

// ---- answers

struct AnswerRow {
  const char* name;
  void (*knobs)(FakeIo&);
  int cmd, par1, len, tries;
  bool ok;
  int frames;    // frames the controller received
  int received;  // `length` after a failure
};

const AnswerRow kAnswerRows[] = {
    {"at once", [](FakeIo&) {}, 10, 3, 4, 5, true, 1, 0},
    {"not ready first: discarded, waiting goes on", [](FakeIo& io) { io.ctl.notReady = 1; }, 10, 3, 4, 5, true, 1, 0},
    {"foreign id first: discarded, waiting goes on", [](FakeIo& io) { io.ctl.wrongId = 1; }, 10, 3, 4, 5, true, 1, 0},
    {"not ready on every try", [](FakeIo& io) { io.ctl.notReady = 3; }, 10, 3, 4, 3, false, 1, 0},
    {"silent: resent on tries 2 and 4", [](FakeIo& io) { io.ctl.silent = true; }, 10, 3, 4, 5, false, 3, 0},
    {"silent, one try", [](FakeIo& io) { io.ctl.silent = true; }, 10, 3, 4, 1, false, 1, 0},
    {"silent, two tries: no resend on the last", [](FakeIo& io) { io.ctl.silent = true; }, 10, 3, 4, 2, false, 1, 0},
    {"first frame lost: the resend is answered", [](FakeIo& io) { io.ctl.ignoreFirst = 1; }, 10, 3, 4, 5, true, 2, 0},
    {"short answer: the count received", [](FakeIo& io) { io.ctl.cut = 3; }, 10, 3, 4, 1, false, 1, 3},
    {"100 bytes in two pieces", [](FakeIo& io) { io.chunk = 64; }, 11, 100, 100, 5, true, 1, 0},
    {"164 bytes in two pieces", [](FakeIo& io) { io.chunk = 100; }, 11, 164, 164, 5, true, 1, 0},
    {"164 bytes at once", [](FakeIo&) {}, 11, 164, 164, 5, true, 1, 0},
    {"165 bytes: refused unsent", [](FakeIo&) {}, 11, 165, 165, 5, false, 0, 165},
    {"no length", [](FakeIo&) {}, 10, 3, 0, 5, false, 0, 0},
    {"frame not taken", [](FakeIo& io) { io.refuse = true; }, 10, 3, 4, 5, false, 0, 0},
};

TEST(McuAnswers, EachRule) {
  for (const AnswerRow& r : kAnswerRows) {
    FakeIo io;
    r.knobs(io);
    MCU_c8051f330 mcu(io);
    std::uint8_t a[200] = {};
    int len = r.len;
    const bool ok = mcu.cmdAnsw(r.cmd, r.par1, 2, a, len, r.tries);
    EXPECT_EQ(ok, r.ok) << r.name;
    EXPECT_EQ(static_cast<int>(io.ctl.frames.size()), r.frames) << r.name;
    EXPECT_EQ(io.ctl.badFrames, 0) << r.name;
    // The answer-request flag is off after every exchange begun; a refused length leaves the
    // link as it was (it starts with the flag on).
    const bool begun = r.len >= 1 && r.len <= kMcuAnswerMax;
    EXPECT_EQ(mcu.frame()[0] & kMcuAckFlag, begun ? 0 : kMcuAckFlag) << r.name;
    if (!ok) {
      EXPECT_EQ(len, r.received) << r.name;
      continue;
    }
    EXPECT_EQ(a[0], 0x80 | mcu.sequenceId()) << r.name;
    const std::vector<std::uint8_t> body = io.ctl.body(io.ctl.frames.back());
    ASSERT_EQ(static_cast<int>(body.size()), r.len - 2) << r.name;
    EXPECT_TRUE(std::equal(body.begin(), body.end(), a + 1)) << r.name;
    EXPECT_EQ(c8051f330_getCS(a + 1, r.len - 2), a[r.len - 1]) << r.name;
  }
}

TEST(McuAnswers, ResendTakesTheNextIdAndDropsWhatCameBefore) {
  FakeIo io;
  io.ctl.ignoreFirst = 1;
  MCU_c8051f330 mcu(io);
  std::uint8_t a[4];
  int len = 4;
  ASSERT_TRUE(mcu.cmdAnsw(10, 1, 0, a, len, 5));
  ASSERT_EQ(io.ctl.frames.size(), 2u);
  EXPECT_EQ(io.ctl.frames[0][0] & 0x0F, 1);
  EXPECT_EQ(io.ctl.frames[1][0] & 0x0F, 2);
  EXPECT_EQ(a[0], 0x82);
}

TEST(McuAnswers, LeftoversOfAnEarlierExchangeAreReadAway) {
  FakeIo io;
  MCU_c8051f330 mcu(io);
  // A late answer with the id the next command will use, waiting before it is sent.
  io.push(std::string("\x81\x99\x99\x32", 4));
  std::uint8_t a[4];
  int len = 4;
  ASSERT_TRUE(mcu.cmdAnsw(10, 1, 0, a, len, 5));
  EXPECT_EQ(a[1] | (a[2] << 8), 743);
}

// Two askers at once (the reader task and a command): each gets the answer to its own
// command, and no frame leaves while another exchange's answer is still unread.
TEST(McuAnswers, TwoThreadsEachGetTheirOwnAnswer) {
  FakeIo io;
  io.yield = true;
  MCU_c8051f330 mcu(io);
  int wrong[2] = {0, 0};
  auto asker = [&](int t) {
    for (int i = 0; i < 300; ++i) {
      std::uint8_t a[4] = {};
      int len = 4;
      const int par2 = i & 0xFF;
      if (!mcu.cmdAnsw(30 + t, t, par2, a, len, 5) || a[1] != t || a[2] != par2) ++wrong[t];
    }
  };
  std::thread a(asker, 0), b(asker, 1);
  a.join();
  b.join();
  EXPECT_EQ(wrong[0], 0);
  EXPECT_EQ(wrong[1], 0);
  EXPECT_EQ(io.overlaps, 0);
}

// ---- code words

TEST(McuCodeWords, EachMode) {
  const struct {
    const char* name;
    std::uint32_t code;
    bool silent, refuse;
    int result;
    McuFrame frame;  // bytes 1-3 and the id; parity bits from the stand-in's check
  } rows[] = {
      {"mode 0: own id, read back", 0x05030201u, false, false, 4, {0x25, 3, 2, 1}},
      {"mode 0, silent: nothing read back", 0x0B0A0302u, true, false, 0, {0x2B, 10, 3, 2}},
      {"mode 0, not taken", 0x00010000u, false, true, -1, {0, 0, 0, 0}},
      {"mode 4: answer of 4", 0x400A0100u, false, false, 1, {0x21, 10, 1, 0}},
      {"mode 4, silent", 0x400A0100u, true, false, 0, {0x21, 10, 1, 0}},
      {"mode 5: the answer is shorter", 0x500A0100u, false, false, 0, {0x21, 10, 1, 0}},
      {"mode 4 ignores the id field", 0x4F0A0100u, false, false, 1, {0x21, 10, 1, 0}},
  };
  for (const auto& r : rows) {
    FakeIo io;
    io.ctl.silent = r.silent;
    io.refuse = r.refuse;
    MCU_c8051f330 mcu(io);
    EXPECT_EQ(mcu.setCmd(r.code), r.result) << r.name;
    if (r.refuse) continue;
    ASSERT_FALSE(io.ctl.frames.empty()) << r.name;
    const McuFrame f = io.ctl.frames[0];
    EXPECT_EQ(f[0] & 0x3F, r.frame[0]) << r.name;
    EXPECT_EQ(f[1], r.frame[1]) << r.name;
    EXPECT_EQ(f[2], r.frame[2]) << r.name;
    EXPECT_EQ(f[3], r.frame[3]) << r.name;
    EXPECT_EQ(io.ctl.badFrames, 0) << r.name;
  }
}

// ---- start-up

TEST(McuStartUp, FirstFrameThenVersion) {
  FakeIo io;
  io.ctl.version = 0x1234;
  MCU_c8051f330 mcu(io);
  mcu.portsInitMaster();
  EXPECT_EQ(io.state, kMcuRunState);
  ASSERT_EQ(io.ctl.frames.size(), 2u);
  EXPECT_EQ(io.ctl.frames[0], (McuFrame{0x65, 0x0A, 0x03, 0x02}));
  EXPECT_EQ(io.ctl.frames[1][1], 10);
  EXPECT_EQ(mcu.portInited()[0], 1);
  EXPECT_EQ(mcu.portInited()[1], 0);
  EXPECT_EQ(mcu.portInited()[2], 0x1234);
  EXPECT_EQ(mcu.portInited()[3], 0x1234);
  EXPECT_EQ(mcu.frame()[0] & kMcuAckFlag, 0);
  // Known now: a second start-up sends nothing, and the version is not asked again.
  mcu.portsInitMaster();
  std::uint16_t v = 0;
  EXPECT_TRUE(mcu.version(v));
  EXPECT_EQ(v, 0x1234);
  EXPECT_EQ(io.ctl.frames.size(), 2u);
}

TEST(McuStartUp, SilentControllerIsAskedAgainLater) {
  FakeIo io;
  io.ctl.silent = true;
  MCU_c8051f330 mcu(io);
  mcu.portsInitMaster();
  // One first frame, then 11 tries: resends on tries 2, 4, 6, 8 and 10.
  EXPECT_EQ(io.ctl.frames.size(), 7u);
  std::uint16_t v = 0;
  EXPECT_FALSE(mcu.version(v));
  io.ctl.silent = false;
  EXPECT_TRUE(mcu.version(v));
  EXPECT_EQ(v, 0x0203);
  EXPECT_EQ(mcu.portInited()[2], 0x0203);
}

// ---- decoder

TEST(McuDecoder, ChecksWhatItHolds) {
  const struct {
    std::string bytes;
    int id, len;
    c8051f330Decoder::Answer want;
  } rows[] = {
      {"", 1, 4, c8051f330Decoder::Answer::Short},
      {"\x81\x01\x02", 1, 4, c8051f330Decoder::Answer::Short},
      {"\x81\x01\x02\x03", 1, 4, c8051f330Decoder::Answer::Ready},
      {"\x81\x01\x02\x03", 2, 4, c8051f330Decoder::Answer::Foreign},
      {"\x01\x01\x02\x03", 1, 4, c8051f330Decoder::Answer::Foreign},  // no answer mark
      {"\xA1\x01\x02\x03", 1, 4, c8051f330Decoder::Answer::NotReady},
      {"\xAF\x01\x02\x03", 15, 4, c8051f330Decoder::Answer::NotReady},
      {"\x9F\x01", 15, 2, c8051f330Decoder::Answer::Ready},  // bits 6 and 4 are no concern
      {"\xD0\x01", 0, 2, c8051f330Decoder::Answer::Ready},
      {"\x81", 1, 0, c8051f330Decoder::Answer::Short},
  };
  for (const auto& r : rows) {
    c8051f330Decoder d;
    d.process(reinterpret_cast<const std::uint8_t*>(r.bytes.data()), static_cast<int>(r.bytes.size()));
    EXPECT_EQ(d.check(r.id, r.len), r.want) << r.bytes.size() << " " << r.id;
  }
}

TEST(McuDecoder, RandomAndTruncatedInputStaysInItsRoom) {
  std::mt19937 rng(88);
  c8051f330Decoder d;
  McuHandler h;
  EXPECT_EQ(h.process(nullptr, 0, 5, false), 5);  // no decoder linked: taken, nothing done
  h.link(&d);
  int expect = 0;
  for (int i = 0; i < 2000; ++i) {
    std::uint8_t buf[300];
    const int n = static_cast<int>(rng() % 300);
    for (int k = 0; k < n; ++k) buf[k] = static_cast<std::uint8_t>(rng());
    if (rng() % 5 == 0) {
      d.drop();
      expect = 0;
    }
    const int off = n > 0 ? static_cast<int>(rng() % static_cast<unsigned>(n)) : 0;
    EXPECT_EQ(h.process(buf, off, n - off, false), n - off);
    expect = std::min(kMcuAnswerMax, expect + n - off);
    ASSERT_EQ(d.count(), expect);
    d.check(static_cast<int>(rng() % 16), static_cast<int>(rng() % 200));
  }
}

}  // namespace
