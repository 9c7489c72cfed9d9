// Correction-model exchange records (the NeQuick request and the navigation-message
// correction table). Their users add the fields.
#pragma once

#include <cstddef>
#include <cstdint>

#include "navigation_data/decoders/nav_decoder_family.h"
#include "positioning/gregorian_epoch.h"

namespace CorrData {

// The NeQuick model as the correction processor keeps and stores it: the effective-ionisation
// coefficients a0 (sfu), a1 (sfu/deg), a2 (sfu/deg^2) and the valid byte at 16.
struct NeQuickModelType {
  float fAi[3];
  std::uint8_t uDisturbanceFlags;
  std::uint8_t pad13[3];
  std::uint8_t bValid;
  std::uint8_t pad17[7];
};
static_assert(sizeof(NeQuickModelType) == 24);
static_assert(offsetof(NeQuickModelType, bValid) == 16);

// One slant-TEC request to the NeQuick task: the ionisation level at the receiver, the time,
// both models, the two ends of the ray and the model to integrate.
struct NeModelDataType {
  double dAz;                   // effective ionisation level at the receiver, sfu
  double dAzr;                  // effective sunspot number
  double dModip;                // modified dip latitude at the receiver, degrees
  std::uint8_t uUtHour;         // hour of universal time
  std::uint8_t uGloSolarSource; // where the GLONASS model takes its solar flux: 0 record, 1 NeQuick
  std::uint16_t uDayOfYear;     // approximate day of year
  std::int32_t iModelType;      // PosSetup::IonoModelType: 1 NeQuick, 2 GLONASS model
  GREGORIAN_EPOCH calendar;     // UTC of the epoch (decimal hours are taken from here)
  NeQuickModelType neQuick;
  float fGlonass[3];            // GLONASS model: density factor, geomagnetic index, solar flux
  double dRcvLat, dRcvLon, dRcvHeight;  // rad, rad, m
  double dSatLat, dSatLon, dSatHeight;  // rad, rad, m
};
static_assert(sizeof(NeModelDataType) == 160);
static_assert(offsetof(NeModelDataType, calendar) == 32 && offsetof(NeModelDataType, neQuick) == 72);
static_assert(offsetof(NeModelDataType, dRcvLat) == 112 && offsetof(NeModelDataType, dSatHeight) == 152);

struct NmctType {
  std::uint8_t bValid;
  NavNmctType table;
};

}  // namespace CorrData
