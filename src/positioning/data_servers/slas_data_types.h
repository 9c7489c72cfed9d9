// QZSS L1S sub-metre augmentation (SLAS) records as the SLAS decoder publishes them and the SLAS
// correction generator reads them: per satellite and station slot the current and the previous
// code correction, per station slot the monitoring station it came from. Ages are told from
// time tags of QZSS (GPS) milliseconds of the week against class-wide time-outs that the
// correction processor sets at the start of each correction epoch.
#pragma once

#include <cstddef>
#include <cstdint>

#include "positioning/data_servers/data_buffer_server.h"

namespace SLASData {

constexpr int kSlasSources = 3;  // station slots
constexpr std::uint16_t kNoStation = 65535;

// Bit 0 valid, bits 1..31 milliseconds of the week.
using TimeTag = std::uint32_t;

constexpr double kInvalidTagAge = 86410.0;  // s
constexpr double kHalfWeek = 302400.0;      // s
// A tag may run ahead of the time it is judged at by clock skew only; further ahead it is data
// whose age wrapped past half a week.
constexpr double kMaxTagLead = 3.0;  // s

// ms -1 (or any negative) clears the valid bit.
void set_TimeTag(TimeTag& tag, int ms);
inline bool is_ValidTimeTag(TimeTag tag) { return (tag & 1u) != 0; }
inline int get_TimeTagMs(TimeTag tag) { return static_cast<int>(tag >> 1); }
// (now - tag) in seconds folded into -302400..302400; kInvalidTagAge for an invalid tag.
double get_TimeTagAge(int nowMs, TimeTag tag);
// Valid and aged within -kMaxTagLead..timeout.
bool is_FreshTimeTag(int nowMs, TimeTag tag, double timeout);

// Code correction of one satellite from the station that holds the slot.
struct SatCorrectionType {
  DataBufferHeaderType header;
  TimeTag ulTime[2];           // current, previous
  float fPrc[2];               // m
  std::uint8_t uIod[2];        // issue of data each correction was made for
  std::uint16_t uStationCode;  // kNoStation none

  void init();
  // Correction k (0 current, 1 previous) is valid and no older than the correction time-out.
  bool is_ReadyCorrData(int k, int nowMs) const;

  // Correction 60 s, PRN mask and issue-of-data sets 3600 s.
  static void set_DataTimeout();
  static double get_CorrTimeout() { return dCorrTimeout; }
  static double get_MaskTimeout() { return dMaskTimeout; }
  static double get_IodTimeout() { return dIodTimeout; }

 private:
  // Until the first correction epoch the decoder already works with the same values.
  static inline double dCorrTimeout = 60.0;
  static inline double dMaskTimeout = 3600.0;
  static inline double dIodTimeout = 3600.0;
};
static_assert(sizeof(SatCorrectionType) == 28);
static_assert(offsetof(SatCorrectionType, fPrc) == 16 && offsetof(SatCorrectionType, uStationCode) == 26);

// The monitoring station that holds a station slot.
struct StationDataType {
  double dX = 0, dY = 0, dZ = 0;        // m, Earth-centred
  std::uint32_t ulDistance = 0;         // m, to the receiver, whole metres
  std::uint32_t ulTime = 0;             // receiver time tag of the record, ms
  std::uint16_t uStationCode = kNoStation;
  char cDatum[6] = {};                  // datum of the position ("W84")

  void init() { *this = StationDataType{}; }

  // Station data 86400 s.
  static void set_StationDataTimeout();
  static double get_StationDataTimeout() { return dStationTimeout; }

 private:
  static inline double dStationTimeout = 86400.0;
};
static_assert(sizeof(StationDataType) == 40);
static_assert(offsetof(StationDataType, ulDistance) == 24 && offsetof(StationDataType, cDatum) == 34);

}  // namespace SLASData
