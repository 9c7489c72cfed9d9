// Byte ring over a caller's buffer whose size is a power of two. Positions are free-running
// 32-bit counts; fill and room are unsigned differences, so they stay right across the wrap.
// One writer and one reader may work without a lock (the positions are atomic); several
// writers or readers need their own lock.
//
// The ring keeps its own read and write positions (put/get), and also offers the forms with
// an external position that the caller keeps (putAt/getAt), for rings whose positions live
// beside other state.
#pragma once

#include <atomic>
#include <cstdint>

class DevRingBuf {
 public:
  // A size that is not a power of two is cut down to the largest power of two below it.
  DevRingBuf(void* buffer, std::uint32_t size);

  std::uint32_t size() const { return size_; }
  std::uint32_t used() const { return wr_.load() - rd_.load(); }
  std::uint32_t room() const { return size_ - used(); }
  // Writes up to n bytes; returns how many were taken.
  std::uint32_t put(const void* src, std::uint32_t n);
  // Reads up to n bytes; returns how many were read.
  std::uint32_t get(void* dst, std::uint32_t n);
  // Drops everything written so far (read position to write position).
  void reset() { rd_.store(wr_.load()); }

  // External-position forms: the caller passes the other side's position and keeps its own.
  std::uint32_t putAt(std::uint32_t& wr, std::uint32_t rd, const void* src, std::uint32_t n);
  std::uint32_t getAt(std::uint32_t& rd, std::uint32_t wr, void* dst, std::uint32_t n) const;
  std::uint32_t readPos() const { return rd_.load(); }
  std::uint32_t writePos() const { return wr_.load(); }

 private:
  std::uint8_t* buf_;
  std::uint32_t size_;
  std::atomic<std::uint32_t> rd_{0};
  std::atomic<std::uint32_t> wr_{0};
};
