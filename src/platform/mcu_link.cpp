#include "platform/mcu_link.h"

#include <cstring>

#include "platform/debug.h"
#include "platform/ports/serial_driver.h"

Hook<int()> boardDebugSelector("platform", "boardDebugSelector");

namespace {

// Debug selector values of the link's diagnostics.
constexpr int kDbgLinkOn = 85700000;
constexpr int kDbgLinkOn2 = 85701000;
constexpr int kDbgLinkOff = 85701001;

constexpr int kWriteTicks = 1000;
// What the start-up exchange reads back after its first frame, and mode 0 of a code word.
constexpr int kReadBack = 64;
constexpr int kVersionCmd = 10;
constexpr int kVersionPar1 = 3;
constexpr int kVersionPar2 = 2;
constexpr int kVersionLen = 4;
constexpr int kInitId = 5;
constexpr int kInitTries = 11;
constexpr int kSetCmdTries = 5;

bool oddParity(unsigned v) {
  bool odd = false;
  for (; v != 0; v &= v - 1) odd = !odd;
  return odd;
}

class RsMcuIo : public McuIo {
 public:
  explicit RsMcuIo(int port) : port_(port) {}
  int write(const std::uint8_t* data, int n, int ticks) override { return rsWrite(port_, data, n, ticks, 0); }
  int read(std::uint8_t* buf, int n, int ticks) override { return rsRead(port_, buf, n, ticks, 0); }
  bool setRunState(unsigned state) override { return rsSetState(port_, state); }
  void sleep(int ticks) override { mcuTimerWait(ticks); }

 private:
  int port_;
};

RsMcuIo g_rsIo(kMcuRsPort);

}  // namespace

MCU_c8051f330 mcuPwr(g_rsIo);

// ---- decoder

int c8051f330Decoder::process(const std::uint8_t* data, int n) {
  if (!data || n <= 0) return 0;
  const int take = n < kMcuAnswerMax - count_ ? n : kMcuAnswerMax - count_;
  std::memcpy(buf_ + count_, data, static_cast<std::size_t>(take));
  count_ += take;
  return take;
}

c8051f330Decoder::Answer c8051f330Decoder::check(int id, int len) const {
  if (len < 1 || count_ < len) return Answer::Short;
  const std::uint8_t b0 = buf_[0];
  if ((b0 & kMcuAnswerMark) == 0 || (b0 & 0x0F) != (id & 0x0F)) return Answer::Foreign;
  return (b0 & kMcuNotReady) != 0 ? Answer::NotReady : Answer::Ready;
}

int McuHandler::process(const std::uint8_t* buf, int off, int len, bool) {
  if (dec_ && buf && len > 0) dec_->process(buf + off, len);
  return len;
}

// ---- link

MCU_c8051f330::MCU_c8051f330(McuIo& io) : io_(io) { handler_.link(&dec_); }

void MCU_c8051f330::readDebugSelector() {
  const int sel = boardDebugSelector();
  if (sel == kDbgLinkOn || sel == kDbgLinkOn2) debug_ = true;
  if (sel == kDbgLinkOff) debug_ = false;
}

bool MCU_c8051f330::set(int cmd, int id, int par1, int par2) {
  frame_[1] = static_cast<std::uint8_t>(cmd);
  frame_[2] = static_cast<std::uint8_t>(par1);
  frame_[3] = static_cast<std::uint8_t>(par2);
  std::uint8_t b0 = static_cast<std::uint8_t>((frame_[0] & 0xF0) | (id & 0x0F));
  // The sum of the three bytes' parities is the parity of all their bits.
  const int ones = oddParity(frame_[1]) + oddParity(frame_[2]) + oddParity(frame_[3]);
  b0 = static_cast<std::uint8_t>((ones & 1) ? (b0 | 0x40) : (b0 & ~0x40));
  b0 = static_cast<std::uint8_t>(oddParity(b0 & 0x7F) ? (b0 | 0x80) : (b0 & 0x7F));
  frame_[0] = b0;
  readDebugSelector();
  if (debug_) {
    debPrintfx(-1,
               "$MCU_c8051f330::set(): port=%d cmd= 0x%02x, id= 0x%02x, par1= 0x%02x, par2= 0x%02x, "
               "[ %02x  %02x %02x %02x ]\r\n",
               0, frame_[1], id & 0x0F, frame_[2], frame_[3], frame_[0], frame_[1], frame_[2], frame_[3]);
  }
  std::memcpy(sent_, frame_, sizeof sent_);
  return io_.write(sent_, 4, kWriteTicks) == 4;
}

// The bytes still missing from an answer of `want`, waiting at most one tick.
void MCU_c8051f330::collect(int want) {
  std::uint8_t buf[kMcuAnswerMax];
  const int missing = want - dec_.count();
  if (missing <= 0) return;
  const int got = io_.read(buf, missing, 1);
  if (got > 0) handler_.process(buf, 0, got, false);
}

bool MCU_c8051f330::cmdAnswLocked(int cmd, int par1, int par2, std::uint8_t* answer, int& length, int tries) {
  const int want = length;
  if (want < 1 || want > kMcuAnswerMax || !answer) return false;
  if (tries > 0) frame_[0] |= kMcuAckFlag;
  // Whatever is left of earlier exchanges is no answer to this one.
  std::uint8_t stale[kMcuAnswerMax];
  io_.read(stale, kMcuAnswerMax, 0);
  dec_.drop();
  id_ = (id_ + 1) & 0x0F;
  if (!set(cmd, id_, par1, par2)) {
    frame_[0] &= static_cast<std::uint8_t>(~kMcuAckFlag);
    if (debug_) debPrintfx(-1, "$$MCU_cmdAnsw():set ERROR port= %d\r\n", 0);
    length = 0;
    return false;
  }
  for (int attempt = 1; attempt <= tries; ++attempt) {
    collect(want);
    switch (dec_.check(id_, want)) {
      case c8051f330Decoder::Answer::Short:
        if (attempt % 2 == 0 && attempt < tries) {
          id_ = (id_ + 1) & 0x0F;
          if (debug_) {
            debPrintfx(-1, "$$MCU_cmdAnsw():answ ERROR resend port= %d %u %u\r\n", 0,
                       static_cast<unsigned>(dec_.count()), static_cast<unsigned>(want));
          }
          dec_.drop();
          set(cmd, id_, par1, par2);
        } else if (debug_) {
          debPrintfx(-1, "$$MCU_cmdAnsw():answ ERROR wait\r\n");
        }
        break;
      case c8051f330Decoder::Answer::Ready:
        std::memcpy(answer, dec_.data(), static_cast<std::size_t>(want));
        frame_[0] &= static_cast<std::uint8_t>(~kMcuAckFlag);
        dec_.drop();
        return true;
      case c8051f330Decoder::Answer::NotReady:
      case c8051f330Decoder::Answer::Foreign:
        dec_.drop();
        break;
    }
  }
  frame_[0] &= static_cast<std::uint8_t>(~kMcuAckFlag);
  length = dec_.count();
  if (debug_) {
    debPrintfx(-1, "$$MCU_cmdAnsw():answ ERROR port= %d %u %u\r\n", 0, static_cast<unsigned>(length),
               static_cast<unsigned>(want));
  }
  dec_.drop();
  return false;
}

bool MCU_c8051f330::cmdAnsw(int cmd, int par1, int par2, std::uint8_t* answer, int& length, int tries) {
  // Refused before anything is sent: no answer can be that long.
  if (length > kMcuAnswerMax || length < 1) return false;
  Locker<Mutex> l(m_);
  return cmdAnswLocked(cmd, par1, par2, answer, length, tries);
}

int MCU_c8051f330::setCmd(std::uint32_t code) {
  const int mode = static_cast<int>(code >> 28);
  const int id = static_cast<int>((code >> 24) & 0x0F);
  const int cmd = static_cast<int>((code >> 16) & 0xFF);
  const int par1 = static_cast<int>((code >> 8) & 0xFF);
  const int par2 = static_cast<int>(code & 0xFF);
  Locker<Mutex> l(m_);
  if (mode == 0) {
    std::uint8_t buf[kReadBack];
    io_.read(buf, kReadBack, 0);
    frame_[0] |= kMcuAckFlag;
    if (!set(cmd, id, par1, par2)) return -1;
    io_.sleep(5);
    return io_.read(buf, kReadBack, 1);
  }
  std::uint8_t answer[kMcuAnswerMax];
  int length = mode;
  return cmdAnswLocked(cmd, par1, par2, answer, length, kSetCmdTries) ? 1 : 0;
}

bool MCU_c8051f330::askVersionLocked() {
  std::uint8_t answer[kVersionLen];
  int length = kVersionLen;
  if (!cmdAnswLocked(kVersionCmd, kVersionPar1, kVersionPar2, answer, length, kInitTries)) return false;
  const auto v = static_cast<std::uint16_t>(answer[1] | (answer[2] << 8));
  if (!verKnown_) portInited_[2] = v;
  portInited_[3] = v;
  verKnown_ = true;
  return true;
}

void MCU_c8051f330::portsInitMaster() {
  Locker<Mutex> l(m_);
  io_.setRunState(kMcuRunState);
  frame_[0] |= kMcuAckFlag;
  if (portInited_[0] == 0) {
    set(kVersionCmd, kInitId, kVersionPar1, kVersionPar2);
    io_.sleep(1);
    std::uint8_t buf[kReadBack];
    io_.read(buf, kReadBack, 0);
    portInited_[0] = 1;
  }
  if (!verKnown_) askVersionLocked();
  frame_[0] &= static_cast<std::uint8_t>(~kMcuAckFlag);
}

bool MCU_c8051f330::version(std::uint16_t& ver) {
  Locker<Mutex> l(m_);
  if (!verKnown_) {
    askVersionLocked();
    frame_[0] &= static_cast<std::uint8_t>(~kMcuAckFlag);
  }
  ver = portInited_[3];
  return verKnown_;
}

// ---- the receiver's controller

std::uint8_t c8051f330_getCS(const std::uint8_t* data, int n) {
  unsigned sum = 0;
  for (int i = 0; data && i < n; ++i) sum += data[i];
  return static_cast<std::uint8_t>(sum);
}

int mcuPwr_SetCmd(std::uint32_t code) { return mcuPwr.setCmd(code); }

void mcuPortsInitMaster() { mcuPwr.portsInitMaster(); }

void mcuTimerWait(int ticks) {
  if (ticks > 0) Task::sleep(ticks);
}
