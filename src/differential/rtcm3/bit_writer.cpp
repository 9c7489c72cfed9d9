#include "differential/rtcm3/bit_writer.h"

#include <cmath>

void BitWriter::reset(std::uint8_t* buf, int bytes) {
  buf_ = buf;
  cap_ = buf != nullptr && bytes > 0 ? bytes * 8 : 0;
  pos_ = 0;
  ok_ = true;
}

void BitWriter::seek(int bit) {
  if (!ok_) return;
  if (bit < 0 || bit > cap_) {
    ok_ = false;
    return;
  }
  pos_ = bit;
}

void BitWriter::write(std::uint64_t value, int n) {
  if (!ok_) return;
  if (n < 0 || n > 64 || n > cap_ - pos_) {
    ok_ = false;
    return;
  }
  for (int i = n - 1; i >= 0; --i, ++pos_) {
    const std::uint8_t mask = static_cast<std::uint8_t>(0x80u >> (pos_ & 7));
    std::uint8_t& b = buf_[pos_ >> 3];
    b = static_cast<std::uint8_t>(b & ~mask);
    if ((value >> i) & 1u) b = static_cast<std::uint8_t>(b | mask);
  }
}

void BitWriter::writeS(double value, int n) {
  // Truncation toward zero into 32 bits; values beyond it saturate rather than overflow.
  double t = std::trunc(value);
  if (!(t == t)) t = 0;  // NaN
  if (t > 2147483647.0) t = 2147483647.0;
  if (t < -2147483647.0) t = -2147483647.0;
  const std::int64_t v = static_cast<std::int64_t>(t);
  if (v < 0 && n > 0)
    write(static_cast<std::uint64_t>(-v) | (std::uint64_t{1} << (n - 1)), n);
  else
    write(static_cast<std::uint64_t>(v), n);
}

int BitWriter::fillToByte() {
  const int pad = (8 - (pos_ & 7)) & 7;
  write(0, pad);
  return pos_ >> 3;
}
