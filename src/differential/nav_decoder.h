// The common engine of the framed correction streams (RTCM 2, RTCM 3, CMR): a byte ring, a bit
// reader over one frame, the kernel interface every protocol implements, and the small state
// machine that feeds a kernel and runs its states.
#pragma once

#include <cstdint>

#include "differential/placeholders.h"

// Byte ring of a fixed capacity, allocated once by the constructor.
class CycleBuffer {
 public:
  explicit CycleBuffer(int size);
  ~CycleBuffer();
  CycleBuffer(const CycleBuffer&) = delete;
  CycleBuffer& operator=(const CycleBuffer&) = delete;

  void clean();
  // Copies as many of `len` bytes as there is room for; 0 when full.
  int put(const unsigned char* bytes, int len);
  // Copies up to `n` of the oldest bytes into `dst` without removing them.
  int see(unsigned char* dst, int n) const;
  // The byte `i` places after the oldest, or -1 when there is none.
  int see(int i) const;
  // Drops `n` bytes from the front; dropping all (or more) empties the ring and returns 0.
  int erase(int n);

  int getCount() const { return count; }
  int getSize() const { return size; }
  int getFree() const { return size - count; }

  int write = 0;
  int read = 0;
  int count = 0;
  unsigned char* data = nullptr;
  bool full = false;
  int size = 0;
};

// Reader of most-significant-bit-first fields from one frame. Any read past the frame's valid
// bits yields 0 and leaves the reader invalid until the next reset.
class BitReader {
 public:
  BitReader(const unsigned char* area, int capacityBits) : data(area), capacity(capacityBits) {}

  void reset(int lengthBits, int startBit);
  std::uint32_t read_(int n);
  std::int32_t readI(int n);  // two's complement field
  std::int32_t readS(int n);  // sign-magnitude field
  std::uint64_t readUL(int n);
  std::int64_t readIL(int n);
  bool isOk() const { return ok; }
  int bitsLeft() const { return ok ? limit - pos : 0; }

  const unsigned char* data;
  int capacity;
  int limit = 0;
  int pos = 0;
  bool ok = false;
};

// Writer side of the 30-bit RTCM 2 words. A descriptor packs the word number (bits 0-4, from 1),
// the field's first bit within the word (bits 5-9, from 1 at the word's top data bit) and the
// field's width (bits 10-14).
namespace BitPacker {
constexpr std::uint32_t desc(int word, int first, int width) {
  return static_cast<std::uint32_t>(word) | static_cast<std::uint32_t>(first) << 5 |
         static_cast<std::uint32_t>(width) << 10;
}
void packBits(std::uint32_t* words, std::uint32_t value, std::uint32_t desc);
// A field split over two words; returns the new second word.
std::uint32_t packBits(std::uint32_t* words, std::uint32_t value, std::uint32_t descHigh,
                       std::uint32_t descLow);
}  // namespace BitPacker

class NAV_Decoder_Kernel {
 public:
  enum State : int { kSynchro = 0, kCollecting = 1, kDecoding = 2, kWaitData = 3 };

  // Interval between observation epochs as a decoder tracks it per satellite system. `period`
  // holds the value still to be filed into the status (-1 once filed). A system's `lastTime`
  // counts only while its bit in `validMask` is set: an epoch at 0 ms is a real epoch.
  struct EPOCH_PERIOD {
    std::int32_t period;
    std::int32_t lastPeriod;
    std::int32_t lastTime[7];
    std::int32_t sys;
    std::uint32_t validMask;
    void init();
  };
  static_assert(sizeof(EPOCH_PERIOD) == 44);

  virtual ~NAV_Decoder_Kernel() = default;
  virtual void reset() = 0;
  virtual int getDataSize() = 0;
  virtual void putData(const unsigned char* bytes, int len, InPorts::DecPortIndex port) = 0;
  virtual int stateSynchro() = 0;
  virtual int stateCollecting() = 0;
  virtual int stateDecoding() = 0;
};

// Drives one kernel. Each port's driver needs a kernel of its own: a kernel keeps one ring, one
// framing state and the port of the last bytes, so chunks of two ports in one kernel would be
// spliced into each other's frames.
class NAV_Decoder {
 public:
  explicit NAV_Decoder(NAV_Decoder_Kernel* k = nullptr) : kernel(k) {}

  void reset();
  void putData(const unsigned char* bytes, int len, InPorts::DecPortIndex port);
  void stateMachine();

  NAV_Decoder_Kernel* kernel;
  int state = 0;
};
