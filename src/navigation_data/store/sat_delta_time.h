// Broadcast time offsets between the systems and to UTC. The navigation-data store learns them
// from the broadcast UTC and time-offset records; the positioning layer publishes and reads them.
#pragma once

#include <cstdint>

namespace PosData {

constexpr int kDtSystems = 7;  // GPS, GLONASS, Galileo, SBAS, QZSS, BeiDou, NavIC
constexpr int kDtPairs = kDtSystems * (kDtSystems - 1) / 2;
constexpr double kSpeedOfLight = 299792458.0;  // m/s

// Index of the unordered pair {a, b} of systems (or clock signals) 0..6; sign is +1 when
// a < b, -1 when a > b, and 0 (index 0) when a == b. -1 for a number outside 0..6.
int get_DtIndex(int a, int b, double& sign);

// Broadcast time offsets between the systems and to UTC, as the navigation-data store learns
// them. A pair (a, b) taken with its sign is the time of b minus the time of a (s).
struct SatdataDeltaTimeType {
  struct UtcType {
    double dOffset;  // s
    double dRate;    // s/s
    std::int32_t lTime;  // ms
    std::uint8_t bValid;
  };
  struct PairType {
    double dDelta;  // s
    double dRate;   // s/s
    std::int32_t lTime;  // ms
    std::uint8_t bToGps;  // broadcast against GPS, not derived
    std::uint8_t bValid;
  };

  UtcType utc[kDtSystems] = {};
  PairType pair[kDtPairs] = {};
  std::int8_t cIssue[kDtSystems] = {-128, -128, -128, -128, -128, -128, -128};

  // Stores the broadcast offset of `system` to GPS time and derives from it the pairs of that
  // system with every other system whose offset to GPS is known. An older issue is ignored.
  void update_SystemToGpsDeltaTime(int issue, int system, int ms, double delta, double rate);
  void update_SystemToUtcDeltaTime(int system, int ms, double delta, double rate);
  // Time of b minus time of a at `ms`, in metres; false when neither the pair nor both UTC
  // offsets are known.
  bool get_DeltaTime(int a, int b, int ms, double& out) const;
};

}  // namespace PosData
