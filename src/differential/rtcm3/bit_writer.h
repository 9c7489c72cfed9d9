// MSB-first bit writer over a caller's byte buffer: the counterpart of the decoders' bit reader.
// A write or seek that does not fit clears the ok flag and changes nothing, so a coder writes a
// whole message and tests the flag once.
#pragma once

#include <cstdint>

class BitWriter {
 public:
  BitWriter() = default;
  BitWriter(std::uint8_t* buf, int bytes) { reset(buf, bytes); }
  // Position 0, ok; capacity 8 x bytes bits (none for a null buffer or a negative size).
  void reset(std::uint8_t* buf, int bytes);
  // Moves to `bit` when 0 <= bit <= capacity; otherwise clears ok.
  void seek(int bit);
  // The low n bits of value (n 0..64), most significant first. Each target bit is cleared and
  // then set, so a field may be written again after a seek.
  void write(std::uint64_t value, int n);
  // Two's complement of a signed value in n bits.
  void writeSigned(std::int64_t value, int n) { write(static_cast<std::uint64_t>(value), n); }
  // Sign-magnitude: the value truncated toward zero to 32 bits; a negative one as |v| with bit
  // n-1 set.
  void writeS(double value, int n);
  // Zero bits up to the next byte boundary; the position in bytes.
  int fillToByte();

  bool ok() const { return ok_; }
  int pos() const { return pos_; }
  int capacity() const { return cap_; }
  const std::uint8_t* data() const { return buf_; }

 private:
  std::uint8_t* buf_ = nullptr;
  int cap_ = 0;
  int pos_ = 0;
  bool ok_ = false;
};
