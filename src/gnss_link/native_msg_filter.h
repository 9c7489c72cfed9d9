// The client of a native stream parser that knows the native message set: it takes only known
// identifiers, checks each message's checksum as its identifier requires, turns the epoch
// markers ("~~" start, "::" end, "||" abandoned) into calls on every registered client, and
// hands every other message to the handler bound to its identifier. Several decoders share one
// parser and one filter per input.
#pragma once

#include <cstdint>

#include "gnss_link/native_stream_parser.h"

// A decoder fed by a filter: plain handler functions for its messages, plus the epoch frame.
class ZrtMsgClient {
 public:
  virtual void reset() {}
  // `time`: epoch time in ms; negative when not known (an abandoned epoch).
  virtual void startOfEpoch(long time) { (void)time; }
  virtual void endOfEpoch(long time) { (void)time; }
  virtual ~ZrtMsgClient() = default;
};

// Returns true when the message is accepted.
using ZrtMsgHandler = bool (*)(ZrtMsgClient* client, const ZRFMessage& msg);

// Observer of every message the filter judges. The base observes nothing.
class ZrtMsgNotify {
 public:
  virtual void notify(bool ok, const ZRFMessage& msg) {
    (void)ok;
    (void)msg;
  }
  virtual void notifyReset() {}
  virtual ~ZrtMsgNotify() = default;
};

// Takes what the filter does not know: foreign runs and, if it wants them, unknown or over-long
// messages. The base refuses everything.
class ZrtUnknownMsgClient {
 public:
  virtual void unknownReset() {}
  virtual bool foreign(const char* data, int len, int terminator) {
    (void)data;
    (void)len;
    (void)terminator;
    return false;
  }
  // True: the message is to be extracted and handed to message().
  virtual bool announce(const ZRFMessage& msg) {
    (void)msg;
    return false;
  }
  virtual bool message(const ZRFMessage& msg) {
    (void)msg;
    return false;
  }
  virtual ~ZrtUnknownMsgClient() = default;
};

class ZrtMsgFilter : public ZRFPClient {
 public:
  struct KnownMsg {
    std::uint16_t id;
    std::uint16_t flags;
  };
  enum : std::uint16_t {
    F_CHECKSUM = 1,  // the body ends in a checksum
    F_HEX = 2,       // ... of two upper-case hex characters, else one binary byte
    F_CHAIN = 4,     // continues the hash chain of the entry before it
  };
  static constexpr int kKnownMsgs = 219;
  static constexpr int kMaxClients = 12;
  static constexpr int kMaxHandlers = 121;
  static constexpr int kSlots = 255;

  // Sorted by hash on first use; the first of two equal identifiers is the one found.
  static KnownMsg knownMsgs[kKnownMsgs];
  static std::uint8_t lookupTable[256];
  static unsigned hash(std::uint16_t id) { return ((57997u * id) >> 12) & 255u; }
  // Index in knownMsgs, -1 when the identifier is not known.
  static int lookup(std::uint16_t id);

  // The default client: its handler h_foo takes a message and does nothing; it also serves
  // the epoch markers for every registered client.
  class Client : public ZrtMsgClient {
   public:
    explicit Client(ZrtMsgFilter* owner) : owner_(owner) {}
    ZrtMsgFilter* owner() const { return owner_; }

   private:
    ZrtMsgFilter* owner_;
  };
  static bool h_foo(ZrtMsgClient* client, const ZRFMessage& msg);

  explicit ZrtMsgFilter(int maxLen);
  ZrtMsgFilter(const ZrtMsgFilter&) = delete;
  ZrtMsgFilter& operator=(const ZrtMsgFilter&) = delete;

  // Binds a known identifier to a client's handler; a null client or handler unbinds it. False
  // for an unknown identifier or when the client or handler table is full (the id stays bound
  // as it was).
  bool setHandler(std::uint16_t id, ZrtMsgClient* client, ZrtMsgHandler handler);
  bool setHandler(const char* id2, ZrtMsgClient* client, ZrtMsgHandler handler) {
    return setHandler(ZRFMessage::makeId(id2[0], id2[1]), client, handler);
  }
  // The client's index, added if there is room; kMaxClients when the table is full.
  int addClient_(ZrtMsgClient* client);
  // Unbinds every identifier bound to the client and takes it off the table, so that it is
  // neither called nor reset any more (a client that goes away before the filter).
  void removeClient(ZrtMsgClient* client);
  // Null selects the empty notify; returns the previous one.
  ZrtMsgNotify* setNotify(ZrtMsgNotify* notify);
  void setUnknownClient(ZrtUnknownMsgClient* client);

  int maxLen() const { return maxLen_; }
  int nClients() const { return nClients_; }
  int nHandlers() const { return nHandlers_; }
  ZrtMsgClient* client(int i) const { return i >= 0 && i < nClients_ ? clients_[i] : nullptr; }

  // As the parser's client.
  int announce(const ZRFMessage& msg) override;
  bool message(const ZRFMessage& msg) override;
  bool foreign(const char* data, int len, int terminator) override;
  void reset() override;

 private:
  struct Slot {
    std::uint8_t client;
    std::uint8_t handler;
  };
  static void prepareTable();
  static bool sh_RT(ZrtMsgClient* client, const ZRFMessage& msg);
  static bool sh_ET(ZrtMsgClient* client, const ZRFMessage& msg);
  static bool sh_EE(ZrtMsgClient* client, const ZRFMessage& msg);
  static bool checksumOk(const ZRFMessage& msg, bool hex);

  int maxLen_;
  int cur_ = -1;  // table index of the message in hand
  int nClients_ = 0;
  ZrtMsgClient* clients_[kMaxClients] = {};
  int nHandlers_ = 0;
  ZrtMsgHandler handlers_[kMaxHandlers] = {};
  ZrtMsgNotify* notify_;
  Slot slots_[kSlots] = {};
  ZrtUnknownMsgClient* unknown_;
  Client builtin_;
};
