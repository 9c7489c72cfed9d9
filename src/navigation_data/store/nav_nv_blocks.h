// Navigation data kept in the settings image so that a restarted receiver has ephemerides,
// almanacs, UTC parameters and the GLONASS satellite types before the first broadcast: one
// block per satellite and kind, in a fixed allocation order.
#pragma once

#include <cstdint>

#include "navigation_data/store/nav_records.h"
#include "navigation_data/sv_id.h"

namespace CorrData {
// GLONASS satellite-type codes by orbital slot 1..30 (index 0..29), two tables; 255 none.
struct GloMflagsType {
  std::uint8_t type[2][30];
};
static_assert(sizeof(GloMflagsType) == 60);
}  // namespace CorrData

namespace nav_nv {

constexpr std::uint16_t kUtcBlockId = 910;   // + system
constexpr std::uint16_t kEphBlockId = 398;   // + global tracking index (398..592)
constexpr std::uint16_t kAlmBlockId = 654;   // + global almanac slot (654..863)
constexpr std::uint16_t kGloMflagsBlockId = 864;

// Allocates every block, once per layout (after a fresh layout, again). Per system (GPS, GLONASS, Galileo,
// SBAS, QZSS, BeiDou, NavIC): its UTC block, its ephemeris blocks by tracking index, its
// almanac blocks by slot; then the GLONASS flags. The order is the layout of stored images:
// never change it, add new blocks after it.
void allocate_NvRamData();

// Only data type 0 of a satellite is kept; the others are refused (false). A bad identity ends
// the process (exit 999 by tracking index, 969 by almanac slot).
bool store_NvRamEphemerisData(SvIdType id, int dataType, const void* rec);
bool restore_NvRamEphemerisData(SvIdType id, int dataType, void* buf);
bool store_NvRamAlmanacData(SvIdType id, const void* rec);
bool restore_NvRamAlmanacData(SvIdType id, void* buf);
// Whole UTC record of a system (its size from the record table).
bool store_NvRamUtcData(int sys, const void* rec);
bool restore_NvRamUtcData(int sys, int dataType, void* buf);
// Exactly the 24 GPS-layout bytes; refused for GLONASS, a system whose UTC record is shorter,
// and an invalid block.
bool restore_NvRamUtcDataGpsAlike(int sys, ZRT_UTC_GPS* out);
bool store_NvRamGloMflags(const CorrData::GloMflagsType& flags);
bool restore_NvRamGloMflags(CorrData::GloMflagsType& flags);

// Every ephemeris block invalid (the engine's clear-all-ephemerides).
void clear_NvRamEphemerisData();
void clear_NvRamEphemerisData(SvIdType id);
// Every almanac block invalid (the engine's clear-all-almanacs); the UTC blocks and the GLONASS
// satellite types stay.
void clear_NvRamAlmanacData();
void clear_NvRamAlmanacData(SvIdType id);

}  // namespace nav_nv
