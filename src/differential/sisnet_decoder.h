// SISNeT stream decoder: the text lines of an SBAS-over-Internet server ("*MSG,week,tow,text*cs"
// or the same after "*GETMSG") as they arrive on a port in SISNeT mode. Each line's run-length
// packed hexadecimal text is expanded, checked (XOR checksum, CRC-24Q of the 250-bit message),
// kept in the SBAS raw-message ring for the output messages and decoded at once by the SBAS L1
// decoder of a pseudo source of its own (PRN 148), dated by the message's own week and time.
// One instance for every port; its link statistics go to the decoder status.
#pragma once

#include <cstdint>

#include "differential/input_decoders.h"
#include "navigation_data/sv_id.h"
#include "positioning/data_servers/pos_data_types.h"

class SisnetDataDecoder {
 public:
  static constexpr int kRingSize = 200;
  static constexpr int kMaxSteps = 250;
  static constexpr int kLineSize = 100;   // a longer line is refused
  static constexpr int kMaxUnits = 64;    // packed units before '*', and expanded characters kept
  static constexpr int kMessageChars = 63;  // 250 bits and two padding bits
  static constexpr int kMessageBytes = 32;
  static constexpr int kMaxKeyword = 9;
  static constexpr int kMaxWeekDigits = 4;
  static constexpr int kMaxTowDigits = 6;
  static constexpr std::uint32_t kWeekSeconds = 604800;
  static constexpr std::int32_t kCountWrap = 999999;
  static constexpr std::uint8_t kPrn = 148;
  static constexpr std::uint8_t kSourceIndex = 28;  // one past the tracked SBAS satellites
  static const SvIdType kSource;

  struct Status {
    std::int32_t errors = 0;
    std::int32_t messages = 0;
    std::uint32_t lastTime = 0;  // MonoClock::sec of the last decoding attempt
    float quality = 100.0f;      // percent
    std::int32_t state = 0;      // 0 waiting for data, 1 synchronising, 2 decoding
  };

  // What a line's text and checksum give: the 32 message bytes or the reason they do not.
  enum class Text { kOk, kPacking, kShort, kChecksum, kCrc };

  // Appends the bytes of decoder port `port` and decodes the lines they complete; files the
  // status for that port, also when there was nothing to do.
  void process(const std::uint8_t* bytes, int count, int port);
  // Empties the ring and starts the counts and the quality afresh.
  void reset();

  const Status& status() const { return status_; }
  int waiting() const { return (write_ - read_ + kRingSize) % kRingSize; }
  int port() const { return port_; }  // decoder port of the last bytes

  // Expands the packed text from `text` (up to '*' and the two checksum digits) into the 32
  // message bytes and checks the checksum and the message's CRC; `end` bounds the input.
  static Text unpack(const char* text, const char* end, std::uint8_t (&msg)[kMessageBytes]);

 private:
  void runSteps();
  void sync();
  void decode();
  void skip(int n);
  void formatError();
  bool parseHeader(const char* line, int len, int& week, int& tow, int& textAt, bool& keyword);
  void publish(int week, int tow, const std::uint8_t* msg);
  std::uint8_t at(int i) const { return ring_[(read_ + i) % kRingSize]; }

  std::uint8_t ring_[kRingSize] = {};
  int read_ = 0;
  int write_ = 0;
  int port_ = -1;
  // The byte before the read pointer: the start of a stream counts as the start of a line.
  std::uint8_t prev_ = '\n';
  Status status_;
  PosData::RcvTimeDataType time_{};
  char line_[kLineSize] = {};
};

extern SisnetDataDecoder SisnetDataDecoderInstance;

// Input decoder of one decoder port in SISNeT mode.
class SisnetInDec : public InDec {
 public:
  SisnetInDec() = default;
  SisnetInDec(SisnetDataDecoder* dec, int port) : dec_(dec), port_(port) {}
  void reset() override;
  void process(const void* data, int len) override;

 private:
  SisnetDataDecoder* dec_ = nullptr;
  int port_ = -1;
};
