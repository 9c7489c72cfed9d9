// The reply of one command part: its "%id%" and whatever the command printed, kept in a
// bounded buffer, then framed as a native "RE" or "ER" message.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

class OStream;

// Largest body a native message can carry (three hex digits of length).
constexpr int kReplyMaxBody = 0xFFF;

class Reply {
 public:
  Reply() { clear(); }
  // A reply that may grow beyond one message into `store` (capacity bytes and its terminator):
  // the print of the whole tree, which goes out as consecutive messages (replySplit).
  Reply(char* store, int capacity) : buf_(store), cap_(capacity) { clear(); }
  Reply(const Reply&) = delete;
  Reply& operator=(const Reply&) = delete;
  // Starts a reply carrying `id` (null: the command had none).
  void begin(const char* id, int idLen);
  void clear();

  void put(char c);
  void put(const char* text);
  void put(const char* text, int len);
  void printf(const char* fmt, ...) __attribute__((format(printf, 2, 3)));

  bool hasId() const { return hasId_; }
  // Length of the id part ("%id%") and of the body as a whole.
  int idLen() const { return idLen_; }
  int size() const { return len_; }
  const char* body() const { return buf_; }
  // Printed text only (after the id).
  const char* text() const { return buf_ + idLen_; }
  int textLen() const { return len_ - idLen_; }
  // More was printed than the reply can carry (one message unless given a store).
  bool overflow() const { return overflow_; }

 private:
  char own_[kReplyMaxBody + 1];
  char* buf_ = own_;
  int cap_ = kReplyMaxBody;
  int len_;
  int idLen_;
  bool hasId_;
  bool overflow_;
};

// Frames a message "<id2><3 hex digits of length><body>\r\n" into out (at least len + 8
// bytes); returns its length, 0 when the body is too long.
int replyFrame(char* out, std::size_t outSize, const char* id2, const char* body, int len);
// "RE" message with the reply's body.
int replyFrameRE(char* out, std::size_t outSize, const Reply& re);
// "ER" message: the id ("%%" without one), then "{code,text}".
int replyFrameER(char* out, std::size_t outSize, const Reply& re, int code);
// Time a reply may wait for room in its port's transmit ring (10 ms ticks). A reader that reads
// empties the ring in well under this; the wait is spent by the sending port's own task, never by
// the parser, so a port nobody reads holds up no other port.
constexpr int kReplyWaitTicks = 200;

// Frames the answer of a part into out (kReplyMaxBody + 8 bytes): RE on success when there is
// an id or printed text, nothing (0) for a silent success or code -1, ER otherwise. Returns
// its length.
int replyFrameAnswer(char* out, std::size_t outSize, const Reply& re, int code);
// The printed text of a reply too long for one message, cut into the bodies of consecutive
// messages: each carries the reply's id and at most kReplyMaxBody bytes, and ends just after a
// comma of the text wherever one lies in it (a value is not cut apart). Their texts joined in
// order are the whole text. Returns the number of pieces written to `starts`/`lens` (offsets into
// re.text()), at most `max`; 0 when the text does not fit into `max` pieces.
int replySplit(const Reply& re, int* starts, int* lens, int max);

// Frames and writes the answer of a part: RE on success when there is an id or printed text,
// nothing for a silent success or code -1, ER otherwise, waiting at most `waitTicks` for room.
// Returns the bytes written, or -1 when the answer was dropped.
int replySend(OStream& out, const Reply& re, int code, int waitTicks);
