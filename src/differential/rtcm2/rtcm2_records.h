// Records an RTCM 2 decoder hands to its client: one per message kind, in physical units, with
// the message header where the receiver needs the station or the time.
#pragma once

#include <cstddef>
#include <cstdint>

#include "differential/nav_decoder.h"

// The two header words of a message.
struct RTCM_MSG_HEADER {
  std::uint16_t type;
  std::uint16_t stationId;  // 10 bits
  std::uint16_t zCount;     // modified Z-count, 0.6 s
  std::uint8_t seqNum;      // 0..7
  std::uint8_t length;      // data words, 0..31
  std::uint8_t health;      // 0..7
  std::uint8_t pad;
};
static_assert(sizeof(RTCM_MSG_HEADER) == 10);

// Reception status of one decoder, handed over after every message.
struct RTCM_DEC_STATUS {
  RTCM_MSG_HEADER header;
  std::uint8_t pad[2];
  std::uint32_t seqGaps;   // wraps from 999,999 to 1
  std::uint32_t messages;  // wraps from 999,999 to 1
  std::int32_t lastTime;   // MonoClock::sec at the last header
  float quality;           // percent
  std::int32_t latency;    // ms of the last RTK data message, -1 unknown
  NAV_Decoder_Kernel::EPOCH_PERIOD epochPeriod;
};
static_assert(sizeof(RTCM_DEC_STATUS) == 76);
static_assert(offsetof(RTCM_DEC_STATUS, seqGaps) == 12 && offsetof(RTCM_DEC_STATUS, epochPeriod) == 32);

// 3 (GPS) and 32 (GLONASS): the reference station's coordinates.
struct MSG_REF_PARAMS {
  RTCM_MSG_HEADER header;
  std::uint8_t glonass;  // 1 for message 32
  std::uint8_t pad[5];
  double x, y, z;  // m, Earth-centred
};
static_assert(sizeof(MSG_REF_PARAMS) == 40 && offsetof(MSG_REF_PARAMS, x) == 16);

// 22: phase-centre corrections of the L1 (and L2) antenna and the antenna height.
struct MSG_EXTREF_PARAMS {
  static constexpr std::uint8_t kNoHeight = 1;     // flag bit: no antenna height follows
  static constexpr std::uint8_t kArpBits = 2 | 4;  // both set: the coordinates are of the ARP
  RTCM_MSG_HEADER header;
  std::uint8_t words;      // 1..3
  std::uint8_t flags;      // 6-bit flag field (0 with one word)
  std::uint8_t hasHeight;  // antenna height present
  std::uint8_t hasL2;      // L2 corrections present (three words)
  std::uint8_t pad[2];
  float dL1[3];            // m
  float dL2[3];            // m
  float antHeight;         // m
};
static_assert(sizeof(MSG_EXTREF_PARAMS) == 44 && offsetof(MSG_EXTREF_PARAMS, dL1) == 16);

// 23: antenna descriptor and serial number.
struct MSG_ANT_TYPE {
  static constexpr int kMaxChars = 31;
  RTCM_MSG_HEADER header;
  std::uint8_t arp;        // AR bit: the reference point is the ARP
  std::uint8_t setupId;
  std::uint8_t descLen;
  std::uint8_t serialLen;  // 0 without a serial number
  char desc[kMaxChars + 1];
  char serial[kMaxChars + 1];
};
static_assert(sizeof(MSG_ANT_TYPE) == 78);

// 24: antenna reference point and, where sent, the antenna height.
struct MSG_ARP_PAR {
  RTCM_MSG_HEADER header;
  std::uint8_t glonass;    // GS bit: GLONASS (PZ-90) coordinates
  std::uint8_t hasHeight;  // AH bit
  std::uint8_t pad[4];
  double x, y, z;          // m
  double antHeight;        // m, 0 without
};
static_assert(sizeof(MSG_ARP_PAR) == 48 && offsetof(MSG_ARP_PAR, x) == 16);

// 16 and 36: the text, NUL-terminated after `length` characters.
struct MSG_SPEC_MESSAGE {
  static constexpr int kMaxChars = 90;
  RTCM_MSG_HEADER header;
  std::uint8_t length;
  char text[kMaxChars + 1];
};
static_assert(sizeof(MSG_SPEC_MESSAGE) == 102);

// 37: offset between two systems' times.
struct MSG_GNSS_OFFSET {
  RTCM_MSG_HEADER header;
  std::uint16_t zCount;
  std::uint8_t system;   // 6-bit system field: codes a (bits 5-3) and b (bits 2-0)
  std::int8_t seconds;   // whole seconds, 7 bits signed
  std::uint8_t pad[2];
  std::int32_t fraction;  // 2^-32 s
  std::uint8_t pad2[4];
  double offset;          // s, seconds + fraction
};
static_assert(sizeof(MSG_GNSS_OFFSET) == 32 && offsetof(MSG_GNSS_OFFSET, fraction) == 16 &&
              offsetof(MSG_GNSS_OFFSET, offset) == 24);

// 18 to 21: per satellite a flag byte, the satellite id and the value.
constexpr int kRtcmRtkMaxSats = 15;  // (31 - 1) / 2 two-word records
struct RTCM_RTK_HEAD {
  static constexpr std::uint8_t kGlonass = 1;   // flag bits of a satellite
  static constexpr std::uint8_t kPCode = 2;
  static constexpr std::uint8_t kMultiple = 4;
  static constexpr int kQualityShift = 3;
  RTCM_MSG_HEADER header;
  std::uint8_t freqBits;  // the 4-bit head: frequency indicator in bits 3-2
  std::uint8_t count;
  std::uint32_t time;     // us within the hour: Z-count x 600,000 plus the time of measurement
};
static_assert(sizeof(RTCM_RTK_HEAD) == 16 && offsetof(RTCM_RTK_HEAD, time) == 12);

struct RTCM_RTK_SAT {
  std::uint8_t flags;
  std::uint8_t satId;  // 1..32
  std::uint8_t loss;   // loss-of-continuity count (18), multipath indicator (19)
  std::uint8_t pad[5];
  double value;  // cycles (18) or m (19)
};
static_assert(sizeof(RTCM_RTK_SAT) == 16);

struct RTCM_RTK_DEL_SAT {
  std::uint8_t flags;
  std::uint8_t satId;
  std::uint8_t iod;
  std::uint8_t loss;  // loss-of-continuity count (20), multipath indicator (21)
  float value;        // cycles (20) or m (21)
  float rate;         // m/s (21), else 0
};
static_assert(sizeof(RTCM_RTK_DEL_SAT) == 12);

struct RTCM_RTK_PHASE {
  RTCM_RTK_HEAD head;
  RTCM_RTK_SAT sat[kRtcmRtkMaxSats];
};
struct RTCM_RTK_RANGE {
  RTCM_RTK_HEAD head;
  RTCM_RTK_SAT sat[kRtcmRtkMaxSats];
};
struct RTCM_RTK_DEL_PHASE {
  RTCM_RTK_HEAD head;
  RTCM_RTK_DEL_SAT sat[kRtcmRtkMaxSats];
};
struct RTCM_RTK_DEL_RANGE {
  RTCM_RTK_HEAD head;
  RTCM_RTK_DEL_SAT sat[kRtcmRtkMaxSats];
};
static_assert(sizeof(RTCM_RTK_PHASE) == 256 && sizeof(RTCM_RTK_DEL_RANGE) == 196);

// 59, network form: virtual reference station coordinates.
struct MSG_TS_COR {
  RTCM_MSG_HEADER header;
  std::uint8_t subType;  // 1, 3 GPS; 2, 4 GLONASS
  std::uint8_t glonass;
  std::uint8_t pad[4];
  double x, y, z;  // m
};
static_assert(sizeof(MSG_TS_COR) == 40 && offsetof(MSG_TS_COR, x) == 16);

// 59, area-correction form: raw gradients per satellite of the mask, in mask order.
constexpr int kRtcmFkpMaxSats = 12;  // as many as 29 words after the first two hold at 56 bits
struct MSG_FKP_SAT {
  std::uint8_t iod;
  std::uint8_t quality;  // 2 bits
  std::int16_t n0, n1, e0, e1;
  std::uint8_t pad[2];
};
static_assert(sizeof(MSG_FKP_SAT) == 12);
struct MSG_FKP_COR {
  RTCM_MSG_HEADER header;
  std::uint16_t zCount;
  std::uint32_t satMask;  // bit 31: satellite 1
  std::uint8_t subType;   // bits 0-4 the subtype (5), bits 5-6 the data-set number
  std::uint8_t count;     // satellites decoded
  std::uint8_t pad[2];
  MSG_FKP_SAT sat[kRtcmFkpMaxSats];
};
static_assert(sizeof(MSG_FKP_COR) == 20 + 12 * kRtcmFkpMaxSats);
