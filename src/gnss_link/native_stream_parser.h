// Reader of the receiver's native message stream: cuts bytes into messages ("id", three
// upper-case hex digits of body length, body) and hands everything in between ("foreign" data:
// command replies, text lines) to its client as runs of bytes. It resynchronises at every byte,
// so a good message hidden behind a corrupt header or inside a rejected message is still found.
#pragma once

#include <cstdint>

// One native message as the parser holds it.
struct ZRFMessage {
  std::uint16_t id = 0;        // first identifier character in the high byte ("GT" is 0x4754)
  int len = 0;                 // body length (the body includes its checksum, if any)
  const char* data = nullptr;  // first identifier character; the body starts 5 bytes later

  const char* body() const { return data + 5; }
  static constexpr std::uint16_t makeId(char a, char b) {
    return static_cast<std::uint16_t>((static_cast<unsigned char>(a) << 8) | static_cast<unsigned char>(b));
  }
};

class ZRFPClient {
 public:
  enum Announce : int { A_EXTRACT = 0, A_SKIP = 1, A_REJECT = 2 };
  virtual ~ZRFPClient() = default;
  // A complete header has arrived: extract the body, skip it, or reject the header.
  virtual int announce(const ZRFMessage& msg) = 0;
  // A whole extracted message; false rejects it and its bytes are searched again.
  virtual bool message(const ZRFMessage& msg) = 0;
  // A run of foreign bytes; `terminator` is the CR or LF that ended it (included in `len`), or -1
  // when the run was cut at the upper bound. False: its bytes are searched again.
  virtual bool foreign(const char* data, int len, int terminator) = 0;
  virtual void reset() = 0;
};

class ZRFParser {
 public:
  // Parses into `buffer` of `size` bytes; with a null buffer the parser allocates its own.
  ZRFParser(char* buffer, int size, ZRFPClient& client);
  ~ZRFParser();
  ZRFParser(const ZRFParser&) = delete;
  ZRFParser& operator=(const ZRFParser&) = delete;

  void setForeignBounds(int min, int max);
  // Feeds a block of any size; may call the client any number of times.
  void process(const void* data, int len);
  // Forgets the item in hand, then resets the client.
  void reset();

  int maxBody() const { return maxBody_; }
  int foreignMin() const { return foreignMin_; }
  int foreignMax() const { return foreignMax_; }
  int state() const { return state_; }
  int count() const { return count_; }

  // Smallest buffer that holds a header and a foreign run of one byte with its terminator.
  static constexpr int kMinSize = 8;
  // Re-examinations of held bytes that may wait on each other.
  static constexpr int kMaxPending = 20;

  enum State : int { S_RESYNC = 0, S_EXTRACT = 1, S_SKIP = 2, S_NEXT = 3, S_FOREIGN = 4 };

 private:
  using Handler = int (ZRFParser::*)(const char* p, int n);
  struct Span {
    const char* p;
    int n;
    bool inBuf;  // a part of buf_ under re-examination, not the caller's block
  };

  int sfResync_(const char* p, int n);
  int sfExtract_(const char* p, int n);
  int sfSkip_(const char* p, int n);
  int sfNext_(const char* p, int n);
  int sfForeign_(const char* p, int n);

  void setState(int s);
  void startForeign(char c);
  void startHeader(char c);
  // Called when the header is complete: asks the client and moves on.
  void headerDone();
  void messageDone();

  ZRFMessage msg_;
  char* buf_;
  bool own_;
  int size_;
  int maxBody_;
  int foreignMin_;
  int foreignMax_;
  int count_ = 0;
  int state_ = S_RESYNC;
  Handler handler_;
  ZRFPClient* client_;
  bool reexam_ = false;
  // The block fed to process() (bottom) and the held-byte spans waiting under re-examinations.
  Span pending_[kMaxPending + 1];
  int nPending_ = 0;
};
