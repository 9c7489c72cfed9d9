// Records of the RTCM 3 network RTK messages: auxiliary-station data (1014), correction
// differences (1015-1017, 1037-1039), network residuals (1030, 1031), the physical reference
// station (1032) and the FKP gradients' header (1034, 1035).
#pragma once

#include <cstddef>
#include <cstdint>

// 1014: where an auxiliary station lies relative to the master station.
struct RTC3_NRTK_STATION {
  std::uint8_t networkId;
  std::uint8_t subnetId;
  std::uint8_t auxCount;
  std::uint8_t pad;
  std::int32_t masterId;
  std::int32_t auxId;
  float dLat;  // deg
  float dLon;  // deg
  float dHgt;  // m
};
static_assert(sizeof(RTC3_NRTK_STATION) == 24 && offsetof(RTC3_NRTK_STATION, dLat) == 12);

// Header shared by the ionospheric and geometric correction differences.
struct RTC3_NRTK_HEADER {
  std::uint8_t system;  // 0 GPS, 1 GLONASS
  std::uint8_t networkId;
  std::uint8_t subnetId;
  std::uint8_t satCount;
  std::uint8_t multiMsg;
  std::uint8_t pad[3];
  std::int32_t epochMs;
  std::int32_t masterId;
  std::int32_t auxId;
  std::int32_t spare[2];
};
static_assert(sizeof(RTC3_NRTK_HEADER) == 28 && offsetof(RTC3_NRTK_HEADER, epochMs) == 8);

constexpr int kNrtkMaxDiffSats = 15;  // the header's count is 4 bits wide

struct RTC3_NRTK_IONO {
  struct Sat {
    std::uint8_t satId;
    std::uint8_t ambStatus;
    std::uint8_t nonSync;
    std::uint8_t pad;
    float iono;  // m
  };
  RTC3_NRTK_HEADER hdr;
  Sat sat[kNrtkMaxDiffSats];
};
static_assert(sizeof(RTC3_NRTK_IONO) == 148 && offsetof(RTC3_NRTK_IONO, sat) == 28);

struct RTC3_NRTK_GEO {
  struct Sat {
    std::uint8_t satId;
    std::uint8_t ambStatus;
    std::uint8_t nonSync;
    std::uint8_t iod;
    float geo;  // m
  };
  RTC3_NRTK_HEADER hdr;
  Sat sat[kNrtkMaxDiffSats];
};
static_assert(sizeof(RTC3_NRTK_GEO) == 148 && offsetof(RTC3_NRTK_GEO, sat) == 28);

constexpr int kNrtkMaxResSats = 20;

// 1030 / 1031: the network's residual error model per satellite.
struct RTC3_NRTK_RES {
  static constexpr std::uint8_t kGlonass = 0x2;
  struct Sat {
    std::uint8_t satId;
    std::uint8_t pad[3];
    float soc;  // m
    float sod;  // ratio (1e-8 per 0.01 ppm)
    float soh;  // ratio
    float sic;  // m
    float sid;  // ratio
  };
  std::int32_t epoch;  // s
  std::uint16_t stationId;
  std::uint8_t refCount;
  std::uint8_t satCount;
  std::uint8_t flags;
  std::uint8_t pad[3];
  Sat sat[kNrtkMaxResSats];
};
static_assert(sizeof(RTC3_NRTK_RES) == 492 && offsetof(RTC3_NRTK_RES, sat) == 12);

// 1032: the physical station behind a non-physical (virtual) one.
struct RTC3_NRTK_PHYS_REFPOS {
  std::uint16_t nonPhysId;
  std::uint16_t physId;
  std::uint8_t itrf;
  std::uint8_t pad[3];
  double x, y, z;  // m
};
static_assert(sizeof(RTC3_NRTK_PHYS_REFPOS) == 32 && offsetof(RTC3_NRTK_PHYS_REFPOS, x) == 8);

// 1034 / 1035: only the header; nothing uses the gradients.
struct RTC3_NRTK_FKP {
  std::int32_t epoch;  // s
  std::uint16_t stationId;
  std::uint8_t satCount;
  std::uint8_t system;  // 0 GPS, 1 GLONASS
};
static_assert(sizeof(RTC3_NRTK_FKP) == 8);
