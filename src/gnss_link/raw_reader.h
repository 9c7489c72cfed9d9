// A bounds-checked little-endian reader over one record: reading past the end yields zeros and
// marks the reader bad, so a short record can never be read beyond its bytes.
#pragma once

#include <cstdint>
#include <cstring>

class RawReader {
 public:
  RawReader(const void* p, int n) : p_(static_cast<const std::uint8_t*>(p)), n_(n < 0 ? 0 : n) {}

  int off() const { return off_; }
  int rest() const { return n_ - off_; }
  bool ok() const { return ok_; }
  const std::uint8_t* here() const { return p_ + off_; }

  bool take(void* dst, int k) {
    if (k < 0 || k > rest()) {
      ok_ = false;
      off_ = n_;
      if (k > 0) std::memset(dst, 0, static_cast<std::size_t>(k));
      return false;
    }
    std::memcpy(dst, p_ + off_, static_cast<std::size_t>(k));
    off_ += k;
    return true;
  }
  bool skip(int k) {
    if (k < 0 || k > rest()) {
      ok_ = false;
      off_ = n_;
      return false;
    }
    off_ += k;
    return true;
  }

  std::uint8_t u8() {
    std::uint8_t b[1];
    take(b, 1);
    return b[0];
  }
  std::uint16_t u16() {
    std::uint8_t b[2];
    take(b, 2);
    return static_cast<std::uint16_t>(b[0] | b[1] << 8);
  }
  std::uint32_t u32() {
    std::uint8_t b[4];
    take(b, 4);
    return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
           static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
  }
  std::uint64_t u64() {
    const std::uint64_t lo = u32();
    return lo | static_cast<std::uint64_t>(u32()) << 32;
  }
  float f32() {
    const std::uint32_t w = u32();
    float f;
    std::memcpy(&f, &w, 4);
    return f;
  }
  double f64() {
    const std::uint64_t w = u64();
    double d;
    std::memcpy(&d, &w, 8);
    return d;
  }

  // Field-by-field reads in record order.
  void get(std::uint8_t& v) { v = u8(); }
  void get(std::int8_t& v) { v = static_cast<std::int8_t>(u8()); }
  void get(std::uint16_t& v) { v = u16(); }
  void get(std::int16_t& v) { v = static_cast<std::int16_t>(u16()); }
  void get(std::uint32_t& v) { v = u32(); }
  void get(std::int32_t& v) { v = static_cast<std::int32_t>(u32()); }
  void get(float& v) { v = f32(); }
  void get(double& v) { v = f64(); }
  template <class T, int N>
  void get(T (&a)[N]) {
    for (T& v : a) get(v);
  }
  template <class... T>
  void all(T&... v) {
    (get(v), ...);
  }

 private:
  const std::uint8_t* p_;
  int n_;
  int off_ = 0;
  bool ok_ = true;
};
