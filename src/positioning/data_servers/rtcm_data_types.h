// RTCM 2 and state-space correction records.
#pragma once

#include <cstddef>
#include <cstdint>

#include "navigation_data/sv_id.h"  // SYS_CYCLE_SEC

#include "positioning/data_servers/data_buffer_server.h"

namespace RTCMData {

constexpr int kRtcmSources = 5;
constexpr int kCorrSlots = 6;     // signal slots of a satellite
constexpr int kTSClockSources = 2;
constexpr int kTSOrbitSets = 2;

// Bit 0 valid, bits 1..31 milliseconds of the system's cycle.
using TimeTag = std::uint32_t;

constexpr double kInvalidTagAge = 86400.0;  // s
// A tag can run ahead of the current time by the reception offset and clock skew; further
// ahead it is old data whose age wrapped past half a cycle.
constexpr double kMaxTagLead = 3.0;  // s

// ms -1 clears the valid bit.
void set_TimeTag(TimeTag& tag, int ms);
inline void clear_TimeTag(TimeTag& tag) { tag &= ~1u; }
// (now - tag) in seconds folded into plus or minus half the system's cycle; 86400 for an
// invalid tag.
double get_TimeTagAge(int system, int now, TimeTag tag);
// The tag's age lies within -kMaxTagLead..timeout (an invalid tag's age 86400 is compared
// with the time-out alone).
bool is_FreshTimeTag(int system, int now, TimeTag tag, double timeout);

// RTCM 2 code corrections of one satellite from one reference station.
struct SatCorrectionType {
  static constexpr std::uint8_t kRangeCode0 = 1u << 0;
  static constexpr std::uint8_t kRangeCode1 = 1u << 1;
  static constexpr std::uint8_t kHealth = 1u << 2;
  static constexpr std::uint8_t kDeltaRangeReady = 1u << 0;
  static constexpr std::uint8_t kIonoReady = 1u << 1;
  static constexpr double kHealthTimeout = 1800.0;  // s

  DataBufferHeaderType header;
  std::uint16_t uStationId;  // 65535 none
  std::uint8_t uFlags;       // kDeltaRangeReady, kIonoReady
  std::uint8_t uSlotReady[kCorrSlots];  // kRangeCode0, kRangeCode1, kHealth
  TimeTag ulRangeTime[kCorrSlots][2];   // per code
  TimeTag ulDeltaRangeTime;
  TimeTag ulIonoTime;

  void init();

  bool is_ReadyRangeCorr(int system, int now, int slot, int code) const;
  bool is_ReadyDeltaRangeCorr(int system, int now) const;
  bool is_ReadyIonoCorr(int system, int now) const;
  // A station other than the stored one first clears everything the old one set.
  void set_ReadyRangeCorr(int station, int slot, int code);
  void set_ReadyDeltaRangeCorr(int station);
  void set_ReadyIonoCorr(int station);
  void set_ReadyHealthStatus(int station, int slot);
  // Clears the ready bits of parts past their time-out. Run at least once a minute: a tag
  // cannot tell data a whole cycle old from fresh data.
  void clear_ExpiredData(int system, int now);

  // Class-wide time-outs from the correction-processor setup (s).
  static void set_DataTimeout(std::uint16_t rangeTimeout, std::uint16_t ionoTimeout);
  static double get_RangeCorrTimeout() { return dRangeTimeout; }
  static double get_IonoCorrTimeout() { return dIonoTimeout; }

 private:
  void takeStation(int station);
  static inline double dRangeTimeout = 0.0;
  static inline double dIonoTimeout = 0.0;
};

// Stored byte for byte in its settings-image block.
struct StationDataType {
  static constexpr std::uint16_t kCoordinateReady = 1u << 0;
  static constexpr std::uint16_t kDatumReady = 1u << 1;
  static constexpr double kCoordinateTimeout = 86400.0;  // s
  static constexpr double kDatumTimeout = 86400.0;       // s

  std::uint16_t uStationId = 65535;  // 65535: no station
  std::uint16_t uFlags = 0;
  TimeTag ulCoordinateTime = 0;
  TimeTag ulDatumTime = 0;
  std::uint8_t aBody[52] = {};

  void init() { *this = StationDataType{}; }
  bool is_ReadyCoordinate(int system, int now) const;
  bool is_ReadyDatum(int system, int now) const;
  // A station other than the stored one first clears the old one's data.
  void set_ReadyCoordinate(int station);
  void set_ReadyDatum(int station);
  void clear_ExpiredData(int system, int now);

 private:
  void takeStation(int station);
};
static_assert(sizeof(StationDataType) == 64);
static_assert(offsetof(StationDataType, ulCoordinateTime) == 4 && offsetof(StationDataType, aBody) == 12);

struct SourceStateDataType {
  std::uint8_t bValid;
};

// State-space (orbit and clock) corrections of one satellite.
struct TSSatCorrectionType {
  static constexpr std::uint8_t kClockReady = 1u << 0;
  static constexpr std::uint8_t kOrbitReady0 = 1u << 1;  // set 1 is the next bit
  static constexpr double kClockTimeout = 360.0;   // s
  static constexpr double kOrbitTimeout = 1080.0;  // s

  DataBufferHeaderType header;
  std::uint8_t uReady;
  std::uint8_t uReserved;
  std::uint16_t uClockId[kTSClockSources];  // 65535 none
  TimeTag ulClockTime[kTSClockSources];
  TimeTag ulOrbitTime[kTSOrbitSets];
  std::int16_t iIssue[kTSOrbitSets];  // -1 none

  void init();
  bool is_ReadyClockCorr(int system, int now, int source) const;
  bool is_ReadyOrbitCorr(int system, int now, int set) const;
  void set_ReadyClockCorr(int id, int source);
  void set_ReadyOrbitCorr(int set);
  void clear_ExpiredData(int system, int now);
};

struct TSSourceStateDataType {
  std::uint16_t uId = 65535;
  std::uint8_t aState[7] = {};
  void init() { *this = TSSourceStateDataType{}; }
};

}  // namespace RTCMData
