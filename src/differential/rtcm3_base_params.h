// Base-station parameters that a base of our own kind sends as RTCM 3 text strings beginning
// "/par/base/". Plain global records, written only by the RTCM 3 decoder (task DECT).
#pragma once

#include <cstdint>

struct RTC3_BASE_MSGOUT {
  static constexpr int kMaxText = 239;
  char text[kMaxText + 1];  // what followed "msgout" and one character
  std::int32_t len;
  std::uint8_t valid;
  std::uint8_t pad[3];
};
static_assert(sizeof(RTC3_BASE_MSGOUT) == 248);

struct RTC3_BASE_MSGNUM {
  std::uint32_t a;
  std::uint16_t b;
  std::uint16_t c;
  std::int32_t delta;   // a - good frames of the receiving decoder - offset
  std::int32_t offset;  // set by the record's reader, never here
  std::uint8_t valid;
  std::uint8_t pad[3];
};
static_assert(sizeof(RTC3_BASE_MSGNUM) == 20);

struct RTC3_BASE_MODEM {
  std::int32_t power;
  std::int32_t tempc;
  float volt;
  std::int32_t id;
  std::int32_t id2;
  std::uint8_t present[5];  // power, tempc, volt, id, id2
  std::uint8_t valid;
  std::uint8_t pad[2];
};
static_assert(sizeof(RTC3_BASE_MODEM) == 28);

struct RTC3_BASE_MOVING {
  float accel[3];
  std::int32_t accelFlag;  // fourth value of the acceleration group
  double lat, lon, hgt;
  float curposExtra;  // fourth value of the position group
  float alert[4];
  std::uint8_t accelPresent;
  std::uint8_t curposPresent;
  std::uint8_t alertPresent;
  std::uint8_t valid;
};
static_assert(sizeof(RTC3_BASE_MOVING) == 64);

extern RTC3_BASE_MSGOUT rtc3BaseMsgOut;
extern RTC3_BASE_MSGNUM rtc3BaseMsgNum;
extern RTC3_BASE_MODEM rtc3BaseModem;
extern RTC3_BASE_MOVING rtc3BaseMoving;

// Parses `text` (`len` bytes, not necessarily terminated) when it begins with "/par/base/".
// False when a value is malformed; true for any other text (plain texts are not kept).
bool rtc3ParseBaseParam(const char* text, int len, int goodFrames);
