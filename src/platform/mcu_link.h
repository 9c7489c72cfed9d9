// The command link to the board's power-management microcontroller (type C8051F330) on serial
// port 5. A command is a 4-byte frame: byte 0 carries two parity bits, the answer-request flag
// and a 4-bit sequence id; bytes 1-3 the command code and two parameters. The answer (up to 164
// bytes, its length known to the asker) repeats the sequence id in its first byte.
//
// The peripheral reader polls the controller and the command interpreter talks to it too: every
// exchange holds the link's lock, so one never takes the other's answer or sequence id.
#pragma once

#include <cstdint>

#include "platform/hook.h"
#include "platform/ports/in_port.h"
#include "platform/rtos.h"

inline constexpr int MCU_PORTS_COUNT = 1;
// The serial driver's port of the controller's line.
inline constexpr int kMcuRsPort = 5;
// Longest answer the controller gives.
inline constexpr int kMcuAnswerMax = 164;
// Run state of the controller's line (speed code 9 with the target driver's line bits).
inline constexpr unsigned kMcuRunState = 4873;
// Answer-request flag of byte 0, and the bits of an answer's byte 0.
inline constexpr std::uint8_t kMcuAckFlag = 0x20;
inline constexpr std::uint8_t kMcuAnswerMark = 0x80;
inline constexpr std::uint8_t kMcuNotReady = 0x20;

// The receiver's debug selector, which switches the link's and the reader's diagnostics.
extern Hook<int()> boardDebugSelector;

// Byte road to the controller: the serial driver's port on the receiver, a scripted stand-in in
// tests. Timeouts count 10 ms ticks.
class McuIo {
 public:
  virtual ~McuIo() = default;
  // Queues n bytes; the count taken.
  virtual int write(const std::uint8_t* data, int n, int ticks) = 0;
  // Up to n bytes that arrived, waiting at most `ticks`; the count.
  virtual int read(std::uint8_t* buf, int n, int ticks) = 0;
  virtual bool setRunState(unsigned state) = 0;
  virtual void sleep(int ticks) = 0;
};

// Collects the bytes of one answer. Room for the longest answer: an answer that did not fit
// could never complete.
class c8051f330Decoder {
 public:
  enum class Answer { Short, Ready, NotReady, Foreign };

  // Appends at most the free room; the count taken (the rest is dropped).
  int process(const std::uint8_t* data, int n);
  // Nothing to do when the input mode changes: the asker clears the buffer itself.
  void reset() {}
  void drop() { count_ = 0; }
  int count() const { return count_; }
  const std::uint8_t* data() const { return buf_; }
  // What the first `len` bytes held are, for a command of sequence id `id`.
  Answer check(int id, int len) const;

 private:
  std::uint8_t buf_[kMcuAnswerMax] = {};
  int count_ = 0;
};

// An input-port handler that hands received bytes to its decoder.
class McuHandler : public InPortHandler {
 public:
  void link(c8051f330Decoder* dec) { dec_ = dec; }
  int process(const std::uint8_t* buf, int off, int len, bool mustTake) override;

 private:
  c8051f330Decoder* dec_ = nullptr;
};

class MCU_c8051f330 {
 public:
  explicit MCU_c8051f330(McuIo& io);

  // Sends a command with the next sequence id and waits for its answer of `length` bytes, with
  // `tries` attempts; on failure `length` holds the bytes received.
  bool cmdAnsw(int cmd, int par1, int par2, std::uint8_t* answer, int& length, int tries);
  // Executes a code word: bits 31-28 mode (0 send and read back, 1-15 answer length), 27-24 the
  // sequence id of mode 0, 23-16 command, 15-8 parameter 1, 7-0 parameter 2. Mode 0 gives the
  // count read back (-1 when the frame was not taken), modes 1-15 1 or 0.
  int setCmd(std::uint32_t code);
  // Start-up exchange: run state, a first version query by sequence id 5, then the version.
  void portsInitMaster();
  // The firmware version, asked for when none is known yet; false while unknown.
  bool version(std::uint16_t& ver);

  // Start-up state: initialised, a zero word, the version as first read, as last reported.
  const std::uint16_t* portInited() const { return portInited_; }
  const std::uint8_t* frame() const { return frame_; }
  int sequenceId() const { return id_; }

 private:
  // Builds the frame of cmd, id, par1, par2 and sends it (the lock held); true when all 4
  // bytes were taken.
  bool set(int cmd, int id, int par1, int par2);
  bool cmdAnswLocked(int cmd, int par1, int par2, std::uint8_t* answer, int& length, int tries);
  bool askVersionLocked();
  void readDebugSelector();
  void collect(int want);

  McuIo& io_;
  Mutex m_;
  std::uint8_t frame_[4] = {kMcuAckFlag, 0, 0, 0};
  std::uint8_t sent_[4] = {};  // the copy handed to the driver
  c8051f330Decoder dec_;
  McuHandler handler_;
  int id_ = 0;
  bool debug_ = false;
  bool verKnown_ = false;
  std::uint16_t portInited_[4] = {};
};

// The receiver's link on serial port 5.
extern MCU_c8051f330 mcuPwr;

// 8-bit sum of the bytes; 0 for none.
std::uint8_t c8051f330_getCS(const std::uint8_t* data, int n);
int mcuPwr_SetCmd(std::uint32_t code);
void mcuPortsInitMaster();
void mcuTimerWait(int ticks);
