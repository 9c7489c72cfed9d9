#include "platform/dev_ring_buf.h"

#include <cstring>

namespace {
std::uint32_t powerOfTwoBelow(std::uint32_t n) {
  std::uint32_t p = 1;
  while (p <= n / 2) p <<= 1;
  return n == 0 ? 0 : p;
}
}  // namespace

DevRingBuf::DevRingBuf(void* buffer, std::uint32_t size)
    : buf_(static_cast<std::uint8_t*>(buffer)), size_(buffer ? powerOfTwoBelow(size) : 0) {}

std::uint32_t DevRingBuf::putAt(std::uint32_t& wr, std::uint32_t rd, const void* src, std::uint32_t n) {
  if (size_ == 0) return 0;
  const std::uint32_t used = wr - rd;
  if (used > size_) return 0;  // positions that do not belong together: take nothing
  const std::uint32_t room = size_ - used;
  if (n > room) n = room;
  const std::uint32_t at = wr & (size_ - 1);
  const std::uint32_t first = n < size_ - at ? n : size_ - at;
  const auto* s = static_cast<const std::uint8_t*>(src);
  std::memcpy(buf_ + at, s, first);
  std::memcpy(buf_, s + first, n - first);
  wr += n;
  return n;
}

std::uint32_t DevRingBuf::getAt(std::uint32_t& rd, std::uint32_t wr, void* dst, std::uint32_t n) const {
  if (size_ == 0) return 0;
  const std::uint32_t used = wr - rd;
  if (used > size_) return 0;
  if (n > used) n = used;
  const std::uint32_t at = rd & (size_ - 1);
  const std::uint32_t first = n < size_ - at ? n : size_ - at;
  auto* d = static_cast<std::uint8_t*>(dst);
  std::memcpy(d, buf_ + at, first);
  std::memcpy(d + first, buf_, n - first);
  rd += n;
  return n;
}

std::uint32_t DevRingBuf::put(const void* src, std::uint32_t n) {
  if (size_ == 0) return 0;
  std::uint32_t wr = wr_.load();
  const std::uint32_t k = putAt(wr, rd_.load(), src, n);
  wr_.store(wr);
  return k;
}

std::uint32_t DevRingBuf::get(void* dst, std::uint32_t n) {
  if (size_ == 0) return 0;
  std::uint32_t rd = rd_.load();
  const std::uint32_t k = getAt(rd, wr_.load(), dst, n);
  rd_.store(rd);
  return k;
}
