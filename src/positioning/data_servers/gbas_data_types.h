// GBAS records as the GBAS message decoder publishes them, per ground station (RTCA DO-246 message
// types 1, 2 and 4): per-satellite differential corrections, the station's reference point and
// additional data, final approach segments by reference path data selector, and each decoder's
// source state. The GBAS correction generator reads them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "positioning/data_servers/data_buffer_server.h"
#include "positioning/data_servers/pos_setup_types.h"

namespace GBASData {

constexpr int kGbasSources = 2;
constexpr int kFasEntries = 49;  // reference path data selectors 0..48
constexpr std::uint32_t kNoTime = 0xFFFFFFFFu;

// Bit 0: valid; bits 1-31: GPS milliseconds of week.
using TimeTag = std::uint32_t;
// `timeMs` kNoTime clears the valid bit; any other time sets it and stores the time above it.
void set_TimeTag(TimeTag& tag, std::uint32_t timeMs);
// Age (s) at GPS millisecond of week `nowMs`, folded into +-302,400 s; 86,410 s when not valid.
float get_TimeTagAge(TimeTag tag, std::uint32_t nowMs);

// One satellite's pseudorange correction from one ground station (scaled as broadcast).
struct DiffCorrectionType {
  DataBufferHeaderType header;
  std::uint8_t uFlags;
  std::uint8_t uMeasType;      // 3 bits: 0 C/A L1
  std::uint8_t uBlockId;       // message block identifier of the source
  std::uint8_t uIod;
  std::uint32_t ulGbasId;      // 24-bit GBAS identifier of the source
  std::uint16_t uEphCrc;       // ephemeris CRC as sent (first ranging source of a message only)
  std::uint16_t uSad;          // source availability duration, s (kSadUnknown: not known)
  std::int16_t iPrc;           // 0.01 m
  std::int16_t iRrc;           // 0.001 m/s
  std::uint8_t uSigmaPrGnd;    // 0.02 m; kSigmaInvalid: correction not valid
  std::uint8_t uEphDecorr;     // 5e-6 m/m
  std::int8_t iB[4];           // 0.05 m
  std::uint8_t uSpare[2];
  std::uint32_t ulCorrTime;    // GPS ms of week the correction applies at
  std::uint32_t ulFirstTime;   // GPS ms of week of the last first-ranging-source data
  TimeTag ulTimeTag;

  static constexpr std::uint8_t kReady = 0x01;
  static constexpr std::uint8_t kCorrValid = 0x02;
  static constexpr std::uint8_t kFirstSource = 0x04;
  static constexpr std::uint8_t kB1Present = 0x08;  // B2..B4: the next three bits
  static constexpr std::uint8_t kSadKnown = 0x80;
  static constexpr std::uint8_t kSigmaInvalid = 255;
  static constexpr std::int8_t kBNotUsed = -128;
  static constexpr std::uint16_t kSadUnknown = 0xFFFF;

  DiffCorrectionType() { init(); }
  void init();
  // A source whose block and GBAS identifiers both differ invalidates the time tag.
  void set_ReadyDiffCorr(std::uint8_t blockId, std::uint32_t gbasId);
  bool is_ReadyDiffCorr(std::uint32_t nowMs) const;
  static void set_DataTimeout(const PosSetup::CorrProcessorSetupType* setup);
  static float fDataTimeout;
};
static_assert(sizeof(DiffCorrectionType) == 44 && offsetof(DiffCorrectionType, ulGbasId) == 12 &&
              offsetof(DiffCorrectionType, iPrc) == 20 && offsetof(DiffCorrectionType, iB) == 26 &&
              offsetof(DiffCorrectionType, ulTimeTag) == 40);

// The ground station's reference point and the data of its type 2 message.
struct StationDataType {
  std::uint8_t bReady;
  std::uint8_t uBlockId;
  std::uint8_t uGroundReceivers;  // 2..5 (5: not applicable)
  std::uint8_t uAccuracy;         // 0 A, 1 B, 2 C
  std::uint8_t uContinuity;       // GBAS continuity/integrity designator
  std::uint8_t bMagVarValid;
  std::uint8_t uSigmaN;           // refractivity uncertainty
  std::uint8_t uSpare;
  std::uint32_t ulGbasId;
  std::int16_t iRefractivity;     // N_R, 16..781
  std::uint16_t uScaleHeight;     // m
  float fSigmaVertIono;           // m/m
  float fMagVar;                  // degrees, east positive
  std::uint32_t uSpare2;
  double dLat, dLon;              // degrees
  double dHeight;                 // m above the ellipsoid
  double dX, dY, dZ;              // m, on the receiver's reference ellipsoid
  TimeTag ulTimeTag;
  std::uint32_t uSpare3;

  static void set_DataTimeout(const PosSetup::CorrProcessorSetupType* setup);
  static float fDataTimeout;
};
static_assert(sizeof(StationDataType) == 88 && offsetof(StationDataType, dLat) == 32 &&
              offsetof(StationDataType, ulTimeTag) == 80);

// Additional data block 1 of the type 2 message.
struct StationAddBlockDataType {
  std::uint8_t bReady;
  std::uint8_t uBlockId;
  std::uint8_t uSelector;         // reference station data selector
  std::uint8_t uSpare;
  std::uint32_t ulGbasId;
  std::uint16_t uMaxUseDistance;  // km
  std::uint16_t uSpare2;
  float fKmd[4];                  // K_md_e POS GPS, C GPS, POS GLONASS, C GLONASS
  TimeTag ulTimeTag;

  static void set_DataTimeout(const PosSetup::CorrProcessorSetupType* setup);
  static float fDataTimeout;
};
static_assert(sizeof(StationAddBlockDataType) == 32 && offsetof(StationAddBlockDataType, fKmd) == 12);

// One final approach segment of a type 4 message.
struct FASDataType {
  std::uint8_t bReady;
  std::uint8_t uBlockId;
  std::uint8_t uOperationType;
  std::uint8_t uSbasProvider;
  std::uint32_t ulGbasId;
  char cAirport[4];
  std::uint8_t uRunway;           // 1..36
  std::uint8_t uRunwayLetter;     // 0 none, 1 R, 2 C, 3 L
  std::uint8_t uApproachDesignator;
  char cRouteIndicator;
  std::uint8_t uSelector;         // reference path data selector
  std::uint8_t uSpare[3];
  char cPathId[4];                // reference path identifier
  double dLtpLat, dLtpLon;        // degrees
  float fLtpHeight;               // m
  float fFpapDLat, fFpapDLon;     // degrees
  float fTch;                     // threshold crossing height, m
  float fGpa;                     // glide path angle, degrees
  float fCourseWidth;             // m
  float fDLengthOffset;           // m
  float fVal, fLal;               // vertical and lateral alert limits, m
  TimeTag ulTimeTag;

  static void set_DataTimeout(const PosSetup::CorrProcessorSetupType* setup);
  static float fDataTimeout;
};
static_assert(sizeof(FASDataType) == 80 && offsetof(FASDataType, dLtpLat) == 24 &&
              offsetof(FASDataType, ulTimeTag) == 76);

// Which station a decoder serves and when it last took a type 1 message.
struct SourceStateDataType {
  std::uint8_t bHasId;
  std::uint8_t uBlockId;
  std::uint8_t uSpare[2];
  std::uint32_t ulGbasId;
  std::uint32_t ulType1Time;  // receiver time tag, ms
  std::uint8_t bType1;        // a type 1 message was taken
  std::uint8_t uSpare2[3];
};
static_assert(sizeof(SourceStateDataType) == 16);

// The common data of the station the corrections are taken from.
struct CommonDataType {
  std::uint8_t bValid;
  std::uint8_t bAddValid;
  std::uint8_t bFasValid;
  std::uint8_t uSpare;
  std::uint32_t uSpare2;
  StationAddBlockDataType add;
  StationDataType station;
  FASDataType fas;
};

}  // namespace GBASData
