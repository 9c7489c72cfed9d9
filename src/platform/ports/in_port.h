// Input side of the port model: an input port reads its device and hands the bytes to the
// handler of its current input mode (commands, echo, the native format, correction streams...).
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/hook.h"
#include "platform/ports/io_port_index.h"
#include "platform/ports/out_port.h"
#include "platform/rtos.h"

// Consumer of the bytes of one input mode.
class InPortHandler {
 public:
  virtual ~InPortHandler() = default;
  // Offered buf[off..off+len); returns how many bytes were consumed (the rest is offered again,
  // with what follows, to the handler of the mode then in force). With `mustTake` set the
  // port's buffer is full and the handler must take something.
  virtual int process(const std::uint8_t* buf, int off, int len, bool mustTake) = 0;
  // The mode is being entered (true) or left (false).
  virtual void reset(bool entering) { (void)entering; }
};

// Takes and forgets every byte: the handler of modes nobody serves.
class NullInPortHandler : public InPortHandler {
 public:
  int process(const std::uint8_t*, int, int len, bool) override { return len; }
  static NullInPortHandler instance;
};

// Command mode: cuts the stream into lines at CR or LF and hands each line on, consuming up to
// the end of that line so that a command changing the mode takes effect at once. A line longer
// than kMaxLine is dropped up to its terminator and reported as too long, never cut short into
// another command.
class CmdHandler : public InPortHandler {
 public:
  static constexpr int kMaxLine = 2048;
  // Receives one line (without terminator); returns when the line has been dealt with.
  static Hook<void(const char* text, int len, int port, bool tooLong)> sink_;
  using LineSink = void (*)(const char* text, int len, int port, bool tooLong);
  static void setSink(LineSink sink) { sink_ = sink; }

  explicit CmdHandler(int port) : port_(port) {}
  int process(const std::uint8_t* buf, int off, int len, bool mustTake) override;
  void reset(bool entering) override;

 private:
  int port_;
  int len_ = 0;
  bool tooLong_ = false;
  char line_[kMaxLine];
};

// Echo mode: every byte goes straight back out of the same port.
class EchoHandler : public InPortHandler {
 public:
  explicit EchoHandler(int port) : port_(port) {}
  int process(const std::uint8_t* buf, int off, int len, bool mustTake) override;

 private:
  int port_;
};

class InPort {
 public:
  enum Mode : int {
    M_CMD = 0,
    M_ECHO = 1,
    M_ZRT = 2,
    M_RTCM = 3,
    M_RTCM3 = 4,
    M_CMR = 5,
    M_ACC = 6,
    M_DTP = 7,
    M_OMNI = 8,
    M_GBAS = 9,
    M_SISNET = 10,
    M_AUTO = 11,
    M_NONE = 12,
    MODE_NUM = 13,
  };
  static const char* const modeNames_[MODE_NUM];

  explicit InPort(int index);
  virtual ~InPort() = default;
  InPort(const InPort&) = delete;
  InPort& operator=(const InPort&) = delete;

  // Timed read: at most `max` bytes, waiting at most `timeout` ticks (0 returns at once);
  // 0 or less when nothing arrived in time.
  virtual int read(void* buf, int max, int timeout) = 0;

  // Reads and feeds the current mode's handler until nothing has arrived for `timeoutMs`.
  int task(int timeoutMs);
  // Body of a port's input task (arg: the InPort): feeds the port for ever.
  static void* taskProc(void* port);

  int portIndex() const { return index_; }
  Mode mode() const { return static_cast<Mode>(mode_.load()); }
  // Switches the input mode, calling the mode-change hooks. False for a mode out of range.
  // Storing a mode as the port's setting is the settings layer's (port_settings.h).
  bool setMode(int mode);
  // Installs the handler of one mode (null: the do-nothing handler); returns the previous one.
  InPortHandler* setHandler(int mode, InPortHandler* handler);
  static InPortHandler* setHandler(int port, int mode, InPortHandler* handler);

  // Factory input mode of a port: the links to the GNSS board carry its native stream, every
  // other port takes commands.
  static constexpr Mode factoryMode(int port) { return iopIsBoardLink(port) ? M_ZRT : M_CMD; }
  // Writes the default input settings of port `index` (its factory mode) as its stored ones.
  static void nvDefaults(int index);
  // Applies the port's stored input settings again.
  void nvRestore();

  OStream& out() { return OutPorts::stream(index_); }

 private:
  static constexpr int kBufSize = 1024;
  void feed(bool mustTake);

  Mutex m_;  // handler table and mode switches against the feeding task
  int index_;
  std::atomic<int> mode_{M_CMD};
  std::atomic<InPortHandler*> handlers_[MODE_NUM];
  CmdHandler cmd_;
  EchoHandler echo_;
  std::uint8_t buf_[kBufSize];
  int have_ = 0;
};

struct InPorts {
  // Decoder ports: the ports that may carry a correction stream.
  enum DecPortIndex : int {
    DEC_SER_A = 0,   // 0-3: dev/ser/a..d
    DEC_SHM_A = 4,   // 4-11: dev/shm/a..h
    DEC_TCP_A = 12,  // 12-16: dev/tcp/a..e
    DEC_TCPCL_A = 17,
    DEC_USB_A = 19,
    DEC_CAN_A = 20,
    DEC_NUM = 22,
  };
  static InPort* ports_[IOP_NUM];
  // Port index -> decoder port (-1 none); decoder port -> port index.
  static const int io2dec_[IOP_NUM];
  static const int dec2io_[DEC_NUM];
  // The decoder port's data-link letter; '?' out of range.
  static char getDlChar(int decPort);
  // Index of a named port that has an input side; IOP_NULL when there is none.
  static int find(const char* name);

  // The stored input mode of a port, kept by the settings layer: the mode a port starts in
  // when it is made (empty: command mode).
  static Hook<int(int port)> storedMode_;
  // Stores a port's input mode as its setting (the settings layer's record).
  static Hook<void(int port, int mode)> storeMode_;
  // Called around every change of a port's input mode: before (old mode still in force) and
  // after, with the new mode. Filled by the layers that follow input modes.
  static Hook<void(int port, int mode)> beforeModeChange_;
  static Hook<void(int port, int mode)> afterModeChange_;
};
