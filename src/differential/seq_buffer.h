// A record published by one writer at a time and copied by readers of any task without a lock.
// The writer fills the half that readers are not told to use and then points them at it; a
// sequence number lets a reader notice when a further write overtook its copy, so every copy a
// reader gets is one whole published record, never a mix of two.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <thread>
#include <type_traits>

template <class T>
class SeqBuffer {
  static_assert(std::is_trivially_copyable_v<T>);
  static_assert(sizeof(T) % 4 == 0, "records are copied as 32-bit words");
  static constexpr int kWords = sizeof(T) / 4;

 public:
  // Writers must be serialised by the caller.
  void publish(const T& v) {
    const std::uint32_t s = seq_.load(std::memory_order_relaxed);
    seq_.store(s + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    const std::uint32_t w = 1u - sel_.load(std::memory_order_relaxed);
    std::uint32_t tmp[kWords];
    std::memcpy(tmp, &v, sizeof(T));
    for (int i = 0; i < kWords; ++i) words_[w][i].store(tmp[i], std::memory_order_relaxed);
    sel_.store(w, std::memory_order_release);
    seq_.store(s + 2, std::memory_order_release);
  }

  // A consistent copy of the last published record (all zero bytes before the first).
  void read(T& out) const {
    std::uint32_t tmp[kWords];
    for (;;) {
      const std::uint32_t s1 = seq_.load(std::memory_order_acquire);
      const std::uint32_t half = sel_.load(std::memory_order_acquire);
      for (int i = 0; i < kWords; ++i) tmp[i] = words_[half][i].load(std::memory_order_relaxed);
      std::atomic_thread_fence(std::memory_order_acquire);
      const std::uint32_t s2 = seq_.load(std::memory_order_relaxed);
      // At most one write began meanwhile: it filled the other half, not the one copied.
      if (s2 - s1 <= 1u) break;
      std::this_thread::yield();
    }
    std::memcpy(&out, tmp, sizeof(T));
  }

  // Counts two per publication; readers may compare it to notice a change.
  std::uint32_t sequence() const { return seq_.load(std::memory_order_acquire); }

 private:
  std::atomic<std::uint32_t> words_[2][kWords] = {};
  std::atomic<std::uint32_t> sel_{0};
  std::atomic<std::uint32_t> seq_{0};
};
