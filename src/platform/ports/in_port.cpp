#include "platform/ports/in_port.h"

#include <cstring>

#include "platform/mono_clock.h"

NullInPortHandler NullInPortHandler::instance;
Hook<void(const char* text, int len, int port, bool tooLong)> CmdHandler::sink_("platform", "CmdHandler::sink_");

const char* const InPort::modeNames_[InPort::MODE_NUM] = {
    "cmd", "echo", "zrt", "rtcm", "rtcm3", "cmr", "acc", "dtp", "omni", "gbas", "sisnet", "auto", "none",
};

InPort* InPorts::ports_[IOP_NUM] = {};
Hook<int(int)> InPorts::storedMode_{"platform", "InPorts::storedMode_", InPort::M_CMD};
Hook<void(int, int)> InPorts::storeMode_{"platform", "InPorts::storeMode_"};
Hook<void(int port, int mode)> InPorts::beforeModeChange_("platform", "InPorts::beforeModeChange_");
Hook<void(int port, int mode)> InPorts::afterModeChange_("platform", "InPorts::afterModeChange_");

// clang-format off
const int InPorts::io2dec_[IOP_NUM] = {
    -1, -1, -1, -1, -1,             // cur/file/a..e
    0, 1, 2, 3,                     // dev/ser/a..d
    4, 5, 6, 7, 8, 9, 10, 11,       // dev/shm/a..h
    12, 13, 14, 15, 16,             // dev/tcp/a..e
    -1,                             // dev/http/a
    17, 18,                         // dev/tcpcl/a, b
    -1, -1, -1, -1, -1,             // dev/udp/a..e
    -1, -1, -1, -1, -1,             // dev/tcpo/a..e
    -1, -1, -1, -1, -1,             // dev/ntrip/a..e
    19,                             // dev/usb/a
    20, 21,                         // dev/can/a, b
    -1,                             // dev/null
};
const int InPorts::dec2io_[InPorts::DEC_NUM] = {
    5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 23, 24, 40, 41, 42,
};
// clang-format on

char InPorts::getDlChar(int decPort) {
  static const char kLetters[] = "ABCD01234567EFGHIPQUgh";
  static_assert(sizeof kLetters - 1 == DEC_NUM);
  if (decPort < 0 || decPort >= DEC_NUM) return '?';
  return kLetters[decPort];
}

int InPorts::find(const char* name) {
  int i = iopFind(name);
  if (i >= IOP_NULL || io2dec_[i] < 0) return IOP_NULL;
  return i;
}

// ---- handlers ----------------------------------------------------------------------------

int CmdHandler::process(const std::uint8_t* buf, int off, int len, bool) {
  for (int i = 0; i < len; ++i) {
    char c = static_cast<char>(buf[off + i]);
    if (c == '\r' || c == '\n') {
      if (len_ > 0 || tooLong_) {
        sink_(line_, tooLong_ ? 0 : len_, port_, tooLong_);
        len_ = 0;
        tooLong_ = false;
        return i + 1;
      }
      continue;
    }
    if (tooLong_) continue;
    if (len_ >= kMaxLine) {
      tooLong_ = true;
      len_ = 0;
      continue;
    }
    line_[len_++] = c;
  }
  return len;
}

void CmdHandler::reset(bool) {
  len_ = 0;
  tooLong_ = false;
}

int EchoHandler::process(const std::uint8_t* buf, int off, int len, bool) {
  OutPorts::stream(port_).write(buf + off, len, 0);
  return len;
}

// ---- InPort ------------------------------------------------------------------------------

InPort::InPort(int index) : index_(index), cmd_(index), echo_(index) {
  for (auto& h : handlers_) h.store(&NullInPortHandler::instance);
  handlers_[M_CMD].store(&cmd_);
  handlers_[M_ECHO].store(&echo_);
  const int stored = InPorts::storedMode_(index);
  if (stored >= 0 && stored < MODE_NUM) mode_.store(stored);
}

void InPort::nvDefaults(int index) {
  if (index >= 0 && index < IOP_NUM) InPorts::storeMode_(index, factoryMode(index));
}

void InPort::nvRestore() { setMode(InPorts::storedMode_(index_)); }

InPortHandler* InPort::setHandler(int mode, InPortHandler* handler) {
  if (mode < 0 || mode >= MODE_NUM) return nullptr;
  if (!handler) handler = &NullInPortHandler::instance;
  return handlers_[mode].exchange(handler);
}

InPortHandler* InPort::setHandler(int port, int mode, InPortHandler* handler) {
  if (port < 0 || port >= IOP_NUM || !InPorts::ports_[port]) return nullptr;
  return InPorts::ports_[port]->setHandler(mode, handler);
}

bool InPort::setMode(int mode) {
  if (mode < 0 || mode >= MODE_NUM) return false;
  Locker<Mutex> l(m_);
  int old = mode_.load();
  if (old != mode) {
    InPorts::beforeModeChange_(index_, mode);
    handlers_[old].load()->reset(false);
    handlers_[mode].load()->reset(true);
    mode_.store(mode);
    InPorts::afterModeChange_(index_, mode);
  }
  return true;
}

void InPort::feed(bool mustTake) {
  while (have_ > 0) {
    InPortHandler* h = handlers_[mode_.load()].load();
    int used = h->process(buf_, 0, have_, mustTake);
    if (used < 0) used = 0;
    if (used > have_) used = have_;
    if (used == 0) {
      // The handler waits for more; a full buffer it must not block, so drop the oldest byte.
      if (!mustTake) return;
      used = 1;
    }
    have_ -= used;
    if (have_ > 0) std::memmove(buf_, buf_ + used, static_cast<std::size_t>(have_));
  }
}

void* InPort::taskProc(void* arg) {
  // Each call returns after a quiet spell; the task simply starts over.
  constexpr int kIdleMs = 10000;
  auto* port = static_cast<InPort*>(arg);
  for (;;) port->task(kIdleMs);
  return nullptr;
}

int InPort::task(int timeoutMs) {
  int total = 0;
  std::uint32_t last = MonoClock::ms();
  for (;;) {
    std::uint32_t idle = MonoClock::ms() - last;
    if (timeoutMs >= 0 && idle >= static_cast<std::uint32_t>(timeoutMs)) return total;
    int waitTicks = 10;
    if (timeoutMs >= 0) {
      int leftTicks = static_cast<int>((static_cast<std::uint32_t>(timeoutMs) - idle + 9) / 10);
      if (leftTicks < waitTicks) waitTicks = leftTicks;
    }
    int n = read(buf_ + have_, kBufSize - have_, waitTicks);
    if (n <= 0) continue;
    total += n;
    have_ += n;
    last = MonoClock::ms();
    feed(have_ == kBufSize);
  }
}
