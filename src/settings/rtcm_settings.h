// The RTCM settings record: the settings of the correction decoders and coders (RTCM 2, RTCM 3,
// CMR), the RTCM 2 output mode and the satellite limits of the output formats. Stored whole in
// one block; fixed layout, fields added only from the reserved tail. The coders and decoders
// take their settings from here at start and hand changes back before a write.
#pragma once

#include <cstddef>
#include <cstdint>

// Settings shared by every RTCM 2 decoder: seven 32-bit words.
struct RTCM_DEC_SETTINGS {
  std::uint32_t first;       // kept and stored
  std::uint16_t maxAge;      // s
  std::uint16_t secondLimit;
  std::uint16_t third;
  std::uint16_t fourth;
  std::uint8_t seqCheck;
  std::uint8_t invSign;
  std::uint8_t useNotMonitored;
  std::uint8_t spare;
  std::uint32_t version;     // 0 v2.1 .. 3 v2.4 as the keyword list counts; stored value 2
  std::uint32_t refSource;   // 0 l1pc, 1 arp, 2 auto
  std::uint32_t spare2;
};
static_assert(sizeof(RTCM_DEC_SETTINGS) == 28);

// Settings of the CMR decoders: six 32-bit words.
struct CMR_DEC_SETTINGS {
  std::uint32_t first;       // kept and stored
  std::uint32_t gloType;     // CMR message type carrying GLONASS observations
  std::int16_t inUse;        // selected station id, -1 any
  std::uint16_t nrsCnt;      // nearest-station count
  std::uint8_t nrsMode;      // follow the nearest station
  std::uint8_t idxSet;       // CMR+ page-count variant
  std::uint16_t spare;
  float nrsLim;              // nearest-station margin, m
  std::uint32_t spare2;
};
static_assert(sizeof(CMR_DEC_SETTINGS) == 24);

struct RTCM_COD_SETTINGS {
  std::int16_t stationId;    // 10 bits used, -1 until set
  std::uint8_t health;       // 3 bits
  std::uint8_t termOn;       // message terminator switch
  std::uint8_t term[2];      // terminator bytes
  std::uint8_t l1Set, l2Set; // signal slots of the RTK messages
  std::uint8_t glo;          // GLONASS coded
  std::uint8_t smooth;       // base data from the smoothed code (1) or the raw code (0)
  std::uint8_t len16, len36;
  char text16[92];
  char text36[92];
};
static_assert(sizeof(RTCM_COD_SETTINGS) == 196);

struct RTC3_COD_SETTINGS {
  std::int16_t stationId;    // -1..4095
  std::uint8_t movingBase;
  std::uint8_t l1Code;       // 0 C/A, 1 P
  std::uint8_t l2c;
  std::uint8_t msm[6];       // ca, p1, p2, l2c, l5, l1c
  std::uint8_t textParam[4]; // modem, moving, msgout, msgnum
  std::uint8_t clkSteering;
  char text[128];
  std::uint32_t ver;         // 0 v3.3, 1 exp
};
static_assert(sizeof(RTC3_COD_SETTINGS) == 148);

struct RTC3_DEC_SETTINGS {
  std::int32_t decimation;   // ms, 0 every frame
  std::int32_t outPort;      // port index of the re-output, 43 off
  std::int16_t wrapStream;   // <0 raw, else the stream number of the wrapping message
  std::uint8_t gloBias;
  std::uint8_t spare;
};
static_assert(sizeof(RTC3_DEC_SETTINGS) == 12);

struct CMR_COD_SETTINGS {
  std::int16_t stationId;    // -1 until set
  std::uint8_t motion;       // 2 bits
  std::uint8_t lowBattery, lowMemory;
  std::uint8_t l2;
  std::uint8_t phaseSign;
  std::uint8_t l1Code;
  std::uint8_t posAccuracy;  // 4 bits
  std::uint8_t plusPageCount;
  char shortName[10];
  char cogo[18];
  char longName[52];
};
static_assert(sizeof(CMR_COD_SETTINGS) == 90);

struct RTCM_SETTINGS {
  RTCM_DEC_SETTINGS rtcmDec;
  CMR_DEC_SETTINGS cmrDec;
  RTCM_COD_SETTINGS rtcmCod;
  RTC3_COD_SETTINGS rtcm3Cod;
  RTC3_DEC_SETTINGS rtcm3Dec;
  CMR_COD_SETTINGS cmrCod;
  std::int16_t refId;        // station id the output formats share, -1 none
  std::int32_t rtcmMode;     // 1: RTCM 2 coding active
  std::int16_t rtcmMaxSats;  // satellites per epoch, 0 no limit
  std::int16_t rtcm3MaxSats;
  std::int16_t cmrMaxSats;
  // The RTCM 3 decoders' diagnostic phase offset (one system and MSM signal id, in cycles);
  // phaseDiagSet 0 (an image written before these fields) stands for none.
  std::int16_t phaseDiagSys;
  std::int16_t phaseDiagSignal;
  std::int16_t phaseDiagSet;
  float phaseDiagShift;
  // How the RTCM 2 base decoder closes its epochs: bit 0 GLONASS bit taken, bit 1 end of epoch at
  // the multiple-message bit, bit 2 at a complete epoch; bit 7 marks a stored value (0, an image
  // written before the field: the defaults, bits 0 and 2).
  std::uint8_t rtcm2EpochMode;
  std::uint8_t pad0[3];
  std::uint8_t reserved[500];
};
static_assert(sizeof(RTCM_SETTINGS) == 1024);
static_assert(offsetof(RTCM_SETTINGS, rtcmMode) == 500 && offsetof(RTCM_SETTINGS, phaseDiagSys) == 510);
static_assert(offsetof(RTCM_SETTINGS, phaseDiagShift) == 516 && offsetof(RTCM_SETTINGS, rtcm2EpochMode) == 520);
static_assert(offsetof(RTCM_SETTINGS, reserved) == 524);
inline constexpr std::uint8_t kRtcm2EpochStored = 0x80, kRtcm2EpochDefault = 0x80 | 1 | 4;
// The epoch modes in force: the stored ones, or the defaults in an image written before the field.
inline std::uint8_t rtcm2EpochModes(const RTCM_SETTINGS& s) {
  return (s.rtcm2EpochMode & kRtcm2EpochStored) != 0 ? s.rtcm2EpochMode : kRtcm2EpochDefault;
}

extern RTCM_SETTINGS RtcmSet;
void rtcmSetDefaults(RTCM_SETTINGS& s);

// RTCM 2 output mode word, kept by the output manager; stored here as RtcmSet.rtcmMode.
extern int rtcmMode;

// Maximum satellites per epoch of the RTCM 2, RTCM 3 and CMR output; 0 or less: no limit.
int rtcmGetMaxSats();
int rtcm3GetMaxSats();
void rtcm3SetMaxSats(int n);
int cmrGetMaxSats();
