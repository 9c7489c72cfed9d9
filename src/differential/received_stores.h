// What correction streams tell about their base station, kept for the output messages: the last
// two received text messages and the received reference position with its antenna parameters.
// Written by the decoders' clients; readers in any task get whole records without a lock.
#pragma once

#include <cstdint>

#include "positioning/reference/reference_pos.h"
#include "differential/seq_buffer.h"
#include "platform/rtos.h"

class TextMessage {
 public:
  enum tTxtMsgType : std::uint8_t {
    kRtcmText = 0,
    kCmrRefDescr = 1,
    kRtcm3AntDescr = 2,
    kRtcmAntDef = 3,
    kRtcm3VendorText = 4,
  };
  static constexpr int kMaxText = 128;

  struct Entry {
    char text[kMaxText + 1];  // up to 128 characters and their terminator
    std::uint8_t pad[3];
    std::int32_t port;
    std::int16_t id;
    std::uint8_t type;
    std::uint8_t time[5];  // month, day, hour, minute, second
  };
  static_assert(sizeof(Entry) == 144);

  struct Contents {
    Entry entries[2];
    std::int32_t counter;  // messages received, 0..31999
    std::int32_t count;    // messages held, at most 2
    std::int32_t next;     // slot written next
  };
  static_assert(sizeof(Contents) == 300);

  void putMessage(const char* text, int len, int port, short id, tTxtMsgType type);
  // Readers then see no message.
  void reset();
  // A consistent copy of the store.
  void get(Contents& out) const { pub_.read(out); }
  // The held messages, oldest first; returns how many (0..2).
  int getMessages(Entry out[2]) const;

 private:
  Contents master_{};
  SeqBuffer<Contents> pub_;
  Mutex writers_;
};

class RefParMessage {
 public:
  struct REFANT {
    ReferencePos::REFPOS_PAR pos;
    ReferencePos::ANT_PAR ant;
  };
  static_assert(sizeof(REFANT) == 120);

  struct Contents {
    REFANT rec;
    std::int32_t changes;  // 0..31999
    std::uint8_t valid;
    std::uint8_t pad[3];
  };
  static_assert(sizeof(Contents) == 128);

  RefParMessage();
  void putPar(const ReferencePos::REFPOS_PAR& pos, const ReferencePos::ANT_PAR& ant);
  bool getPar(REFANT& out) const;
  // Forgets the antenna values (positions are kept); readers see no valid record.
  void invalidate();
  std::int32_t getChanges() const;

 private:
  Contents master_{};
  SeqBuffer<Contents> pub_;
  Mutex writers_;
};

extern TextMessage TxtMsg;
extern RefParMessage RpMsg;
