// Writer of one message of the native format into a caller's buffer:
//   id (2 chars) | body length (3 upper-case hex digits, checksum included) | body | checksum
//   | optional terminator (not counted in the length).
// In foreign (raw) mode the buffer holds bytes written as they are, with no framing at all.
#pragma once

#include <cstdint>

class OStream;

enum class ZrCheck : std::uint8_t {
  kNone,      // no checksum
  kCs8,       // 8-bit rotate-and-XOR, one binary byte
  kCs8Hex,    // the same as two upper-case hex characters
};

// 8-bit checksum of the native format: c = rotl2(c ^ byte), starting from `c`.
std::uint8_t zrCs8(const void* data, int len, std::uint8_t c = 0);

class ZRStdMsg {
 public:
  static constexpr int kHeader = 5;
  static constexpr int kMaxBody = 0xFFF;  // three hex digits

  // `id` may be null (set later by reset); `term` is at most two bytes, null or "" for none.
  ZRStdMsg(char* buf, int size, const char* id = nullptr, ZrCheck check = ZrCheck::kCs8,
           const char* term = nullptr);

  // Empties the body and returns to framed mode, keeping id, checksum and terminator.
  void reset();
  void reset(const char* id, ZrCheck check = ZrCheck::kCs8, const char* term = nullptr);
  // Raw mode: the buffer is filled from its start and written unframed.
  void foreign();
  bool isForeign() const { return foreign_; }

  bool put(const void* data, int n);
  bool put(std::uint32_t v);  // little-endian
  bool put8(std::uint8_t v) { return put(&v, 1); }
  // Moves the cursor by n bytes (a coder that built in place advances over its bytes);
  // refused when it would leave the body's room.
  bool seekRel(int n);

  // Where the next byte goes, and how many bytes still fit before the checksum.
  char* ptr() { return buf_ + pos_; }
  int room() const;
  int bodyLen() const { return pos_ - start(); }
  // True once a put or seek did not fit; the message is then never written.
  bool overflow() const { return overflow_; }

  // Completes the frame (length, checksum, terminator); returns its size, or -1 when the
  // message overflowed. May be called more than once.
  int finish();
  const char* data() const { return buf_; }

  // Completes and writes without waiting; returns the bytes taken by the stream, -1 when
  // nothing could be formed.
  int write(OStream& os);

 private:
  int start() const { return foreign_ ? 0 : kHeader; }
  int checkLen() const;

  char* buf_;
  int size_;
  int pos_ = 0;
  int end_ = 0;  // size of the last finished frame
  char id_[2] = {'?', '?'};
  char term_[2] = {0, 0};
  std::uint8_t termLen_ = 0;
  ZrCheck check_ = ZrCheck::kCs8;
  bool foreign_ = false;
  bool overflow_ = false;
};
