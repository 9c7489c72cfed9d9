#include "differential/sisnet_decoder.h"

#include <cstring>

#include "differential/decoder_status.h"
#include "platform/crc.h"
#include "platform/mono_clock.h"
#include "platform/rtos.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/raw_nav_rings.h"
#include "positioning/sbas/sbas_data_decoder.h"

SisnetDataDecoder SisnetDataDecoderInstance;

const SvIdType SisnetDataDecoder::kSource{SisnetDataDecoder::kSourceIndex, kSysSbas, 0,
                                          SisnetDataDecoder::kSourceIndex};

namespace {

constexpr float kQualityStep = 0.05f;
constexpr std::int64_t kWeekMs = 604800000;
constexpr std::int64_t kHalfWeekMs = kWeekMs / 2;
constexpr std::uint32_t kCrcBits = 226;  // preamble, type and data; the parity follows

void countUp(std::int32_t& c) { c = c >= SisnetDataDecoder::kCountWrap ? 1 : c + 1; }

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// A decimal field of 1..maxDigits digits; -1 for an empty, too long or non-decimal field.
int decimal(const char* p, int n, int maxDigits) {
  if (n < 1 || n > maxDigits) return -1;
  int v = 0;
  for (int i = 0; i < n; ++i) {
    if (p[i] < '0' || p[i] > '9') return -1;
    v = v * 10 + (p[i] - '0');
  }
  return v;
}

std::uint32_t parity(const std::uint8_t* msg) {
  std::uint32_t v = 0;
  for (std::uint32_t b = kCrcBits; b < kCrcBits + 24; ++b) v = (v << 1) | ((msg[b / 8] >> (7 - b % 8)) & 1u);
  return v;
}

}  // namespace

SisnetDataDecoder::Text SisnetDataDecoder::unpack(const char* text, const char* end,
                                                  std::uint8_t (&msg)[kMessageBytes]) {
  char chars[kMaxUnits];
  int n = 0;
  int units = 0;
  const char* p = text;
  // A unit is one hexadecimal character, alone or with '|' and one count digit or '/' and two.
  // Anything else before '*' (a leading marker, a marker after a count, a stray character) is
  // refused, and so is a text that runs on past 64 units.
  for (;;) {
    if (p >= end) return Text::kPacking;
    const char c = *p;
    if (c == '*') break;
    if (++units > kMaxUnits || hexValue(c) < 0) return Text::kPacking;
    ++p;
    int copies = 1;
    if (p < end && (*p == '|' || *p == '/')) {
      const int digits = *p == '|' ? 1 : 2;
      ++p;
      if (end - p < digits) return Text::kPacking;
      int v = 0;
      for (int i = 0; i < digits; ++i, ++p) {
        const int d = hexValue(*p);
        if (d < 0) return Text::kPacking;
        v = v * 16 + d;
      }
      copies = v < 1 ? 1 : v;
    }
    for (int i = 0; i < copies && n < kMaxUnits; ++i) chars[n++] = c;
  }
  ++p;  // past '*'
  if (end - p < 2 || hexValue(p[0]) < 0 || hexValue(p[1]) < 0) return Text::kPacking;
  const int sent = hexValue(p[0]) * 16 + hexValue(p[1]);
  // A shorter text would leave the tail of the message undefined.
  if (n < kMessageChars) return Text::kShort;
  std::memset(msg, 0, sizeof msg);
  for (int i = 0; i < kMessageChars; ++i)
    msg[i / 2] = static_cast<std::uint8_t>(msg[i / 2] | hexValue(chars[i]) << (i % 2 == 0 ? 4 : 0));
  std::uint8_t x = 0;
  for (std::uint8_t b : msg) x ^= b;
  if (x != sent) return Text::kChecksum;
  if (crc24q(0, msg, kCrcBits) != parity(msg)) return Text::kCrc;
  return Text::kOk;
}

void SisnetDataDecoder::reset() {
  read_ = write_ = 0;
  prev_ = '\n';
  status_.errors = status_.messages = 0;
  status_.quality = 100.0f;
  status_.state = 0;
}

void SisnetDataDecoder::process(const std::uint8_t* bytes, int count, int port) {
  port_ = port;
  // The ring takes the chunk as decoding drains it: a port hands over up to 1024 bytes at once.
  int off = 0;
  while (bytes != nullptr && off < count) {
    const int room = kRingSize - 1 - waiting();
    if (room == 0) {
      // Decoding leaves less than one line waiting, so this is never reached; a fault here
      // costs the ring and the statistics, never memory.
      reset();
      continue;
    }
    const int n = count - off < room ? count - off : room;
    for (int i = 0; i < n; ++i) {
      ring_[write_] = bytes[off + i];
      write_ = (write_ + 1) % kRingSize;
    }
    off += n;
    runSteps();
  }
  DecoderStatus::DataStream s{};
  s.good = status_.messages;
  s.bad = status_.errors;
  s.quality = status_.quality;
  s.lastTime = static_cast<std::int32_t>(status_.lastTime);
  s.station = 0;
  s.latency = -1;
  for (std::int32_t& p : s.period) p = -1;
  DecSt.putStatus(port, s, DecoderStatus::kSisnet);
}

void SisnetDataDecoder::runSteps() {
  status_.state = waiting() > 1 ? 1 : 0;
  // Rounds until the ring waits for more bytes: each step takes a byte, starts a decode or ends
  // the round, so the ring bounds the work.
  while (status_.state != 0) {
    for (int step = 0; step < kMaxSteps && status_.state != 0; ++step) {
      if (status_.state == 1)
        sync();
      else
        decode();
    }
  }
}

void SisnetDataDecoder::skip(int n) {
  if (n > waiting()) n = waiting();
  if (n > 0) prev_ = at(n - 1);
  read_ = (read_ + n) % kRingSize;
  status_.state = waiting() > 0 ? 1 : 0;
}

void SisnetDataDecoder::formatError() {
  status_.quality *= 1.0f - kQualityStep;
  countUp(status_.errors);
  status_.lastTime = MonoClock::sec();
  skip(1);
}

void SisnetDataDecoder::sync() {
  if (waiting() == 0) {
    status_.state = 0;
    return;
  }
  if (prev_ == '\n' && at(0) == '*') {
    status_.state = 2;
    return;
  }
  skip(1);
}

// "*MSG" or "*GETMSG", the week and the time of week; `textAt` is where the packed text starts.
// `keyword` false: another kind of line, passed over without counting.
bool SisnetDataDecoder::parseHeader(const char* line, int len, int& week, int& tow, int& textAt, bool& keyword) {
  int fieldAt[3] = {0, 0, 0};
  int fieldLen[3] = {0, 0, 0};
  int at = 0;
  for (int f = 0; f < 3; ++f) {
    fieldAt[f] = at;
    while (at < len && line[at] != ',' && line[at] != '\n') ++at;
    fieldLen[f] = at - fieldAt[f];
    if (f == 0) {
      const bool msg = fieldLen[0] == 4 && std::memcmp(line, "*MSG", 4) == 0;
      const bool getMsg = fieldLen[0] == 7 && std::memcmp(line, "*GETMSG", 7) == 0;
      keyword = msg || getMsg;
      if (fieldLen[0] > kMaxKeyword) return false;
      if (!keyword) return true;
    }
    if (at >= len || line[at] != ',') return false;
    ++at;
  }
  week = decimal(line + fieldAt[1], fieldLen[1], kMaxWeekDigits);
  tow = decimal(line + fieldAt[2], fieldLen[2], kMaxTowDigits);
  // Six digits reach past the week's end, which would date the message into the next week.
  if (week < 0 || tow < 0 || tow >= static_cast<int>(kWeekSeconds)) return false;
  textAt = at;
  return true;
}

void SisnetDataDecoder::decode() {
  const int have = waiting();
  int len = -1;
  for (int i = 0; i < have && i < kLineSize; ++i) {
    line_[i] = static_cast<char>(at(i));
    if (line_[i] == '\n') {
      len = i + 1;
      break;
    }
  }
  if (len < 0) {
    // A line that cannot end within the buffer would hold the ring until it overflowed.
    if (have >= kLineSize) {
      formatError();
    } else {
      status_.state = 0;
    }
    return;
  }
  if (PVTDataInstance.rcvTime.Take(&time_) == 0) {
    skip(1);
    return;
  }
  int week = 0, tow = 0, textAt = 0;
  bool keyword = false;
  if (!parseHeader(line_, len, week, tow, textAt, keyword)) {
    formatError();
    return;
  }
  if (!keyword) {
    skip(1);
    return;
  }
  std::uint8_t msg[kMessageBytes];
  if (unpack(line_ + textAt, line_ + len, msg) != Text::kOk) {
    formatError();
    return;
  }
  status_.quality += (100.0f - status_.quality) * kQualityStep;
  countUp(status_.messages);
  status_.lastTime = MonoClock::sec();
  publish(week, tow, msg);
  // The next line starts just past this one's line feed.
  skip(len);
}

void SisnetDataDecoder::publish(int week, int tow, const std::uint8_t* msg) {
  // The receiver time is re-dated to the message: its time tag moves by the same amount.
  const std::int64_t towMs = static_cast<std::int64_t>(tow) * 1000;
  std::int64_t diff = static_cast<std::int64_t>(time_.gps.ulMs) - towMs;
  while (diff > kHalfWeekMs) diff -= kWeekMs;
  while (diff < -kHalfWeekMs) diff += kWeekMs;
  time_.ulTimeTag = static_cast<std::uint32_t>(static_cast<std::int64_t>(time_.ulTimeTag) - diff);
  time_.gps.ulMs = static_cast<std::uint32_t>(towMs);
  time_.gps.uWeek = static_cast<std::uint16_t>(week);

  CorrData::WaasRawMessageType raw{};
  raw.uSv = kPrn;
  raw.ulTime = static_cast<std::uint32_t>(tow);
  raw.uKind = 0;
  raw.uCount = kMessageBytes;
  std::memcpy(raw.uData, msg, kMessageBytes);
  // Decoded here, at once and under its own date: the ring's copy is for the output messages
  // only, or the ring's reader would decode it a second time at a later receiver time.
  raw.iValid = -1;
  updateWaasRawData(raw);

  Locker<Mutex> l(SbasDataDecoder::poolMutex);
  SbasDataDecoder::update_SetupData();
  get_SbasDataDecoder(time_, kSource)->update(time_, kSource, msg);
}

void SisnetInDec::reset() {
  if (dec_ != nullptr) dec_->reset();
}

void SisnetInDec::process(const void* data, int len) {
  if (dec_ != nullptr) dec_->process(static_cast<const std::uint8_t*>(data), len, port_);
}
