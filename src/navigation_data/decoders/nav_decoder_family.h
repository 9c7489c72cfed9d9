// What every broadcast-message decoder shares: the receiver time it is driven with, the week
// widening, and the links to the receiver's data servers that live in the positioning layer
// above (filled at start-up; empty links drop what they are given).
#pragma once

#include <cmath>
#include <cstdint>

#include "navigation_data/store/nav_records.h"
#include "navigation_data/sv_id.h"
#include "platform/hook.h"

// The receiver time a decoder is updated with: the epoch record's first tag word and the
// receiver time tag in ms (the base of the decoder pools' eviction).
struct NavDecoderTime {
  std::uint32_t ulEpochTag = 0;
  std::uint32_t ulTimeTag = 0;
};

// Widens an 8-bit week number to 10 bits against a 10-bit reference week: the nearest week
// with those low 8 bits, a difference of +127 already counting as the previous cycle.
// Always 0..1023.
int getFullWeekNum(int refWeek10, int shortWeek8);

// Navigation-message correction table of one transmitting satellite (IS-GPS-200 20.3.3.5.1.9):
// the estimated range deviations of the other satellites, raw (0.3 m units).
struct NavNmctType {
  std::uint32_t ulTime = 0;  // s since the GPS epoch of the table's reference time
  std::uint8_t uSv = 0;      // PRN of the transmitting satellite
  std::uint8_t uSpare[3] = {};
  // One entry per other satellite in PRN order, the transmitter's own skipped; 0 for a
  // satellite whose table is not the current one.
  std::int8_t iErd[31] = {};
  std::uint8_t uSpare2 = 0;
};
static_assert(sizeof(NavNmctType) == 40);

// The decoders' outlets into the positioning layer's servers.
struct NavDecoderLinks {
  // Reset request for a satellite tracked under a false identity: the signals (bit n = signal
  // number n) to restart and the reason.
  Hook<void(SvIdType sv, std::uint8_t signalMask, std::uint8_t reason)> satResetRequest{
      "navigation_data", "navDecoderLinks.satResetRequest"};
  // Drops every stored ephemeris of a satellite (and with it what was derived from them) at
  // the store's next once-a-second step.
  Hook<void(SvIdType sv)> ephemerisReset{"navigation_data", "navDecoderLinks.ephemerisReset"};
  // A broadcast Klobuchar model of `sys` (GPS or QZSS).
  Hook<void(int sys, const ZRT_ION_GPS* ion)> klobuchar{"navigation_data", "navDecoderLinks.klobuchar"};
  // GBAS ephemeris-integrity entry: the ephemeris' issue of data and its 16-bit check value.
  Hook<void(SvIdType sv, std::uint16_t iod, std::uint16_t crc16)> gbasEphIntegrity{
      "navigation_data", "navDecoderLinks.gbasEphIntegrity"};
  // A GLONASS L3 ionosphere model heard from `sv`: the first coefficient (scaled) and the two
  // integer ones as broadcast.
  Hook<void(SvIdType sv, float c0, std::uint16_t c1, std::uint16_t c2)> glonassIono{
      "navigation_data", "navDecoderLinks.glonassIono"};
  Hook<void(const NavNmctType* table)> nmct{"navigation_data", "navDecoderLinks.nmct"};
  // BeiDou D2 wide-area data that decoder `source` (0-4) heard from the GEO `geo`, each stamped
  // with the BDT millisecond of week of the frame that carried it: the UDRE index of `sat`,
  // the equivalent clock correction of `sat` (raw, 0.1 m) with its accuracy index, and one
  // ionosphere grid block (0-25) of 13 points (delay code in bits 4-12, GIVEI in bits 0-3).
  Hook<void(int source, SvIdType geo, SvIdType sat, std::uint8_t udrei, std::uint32_t timeMs)> compUdre{
      "navigation_data", "navDecoderLinks.compUdre"};
  Hook<void(int source, SvIdType geo, SvIdType sat, std::int16_t dt, std::uint8_t index, std::uint32_t timeMs)>
      compCorrection{"navigation_data", "navDecoderLinks.compCorrection"};
  Hook<void(int source, SvIdType geo, int block, const std::uint16_t* points, std::uint32_t timeMs)> compIonoBlock{
      "navigation_data", "navDecoderLinks.compIonoBlock"};
  // Decoder `source` has just taken a subframe of `geo` at receiver time tag `timeTag` (ms).
  Hook<void(int source, SvIdType geo, std::uint32_t timeTag)> compSourceState{"navigation_data",
                                                                             "navDecoderLinks.compSourceState"};
  // Entry `index` (0..31) of the receiver settings' GPS PRN table; -1 when not available.
  Hook<int(int index)> gpsPrnEntry{"navigation_data", "navDecoderLinks.gpsPrnEntry", -1};
  // The BeiDou global ionosphere model (BDGIM) of a B-CNAV message.
  Hook<void(const ZRT_ION_CMP* ion)> bdGlobalIono{"navigation_data", "navDecoderLinks.bdGlobalIono"};
  // The satellite-processor setup's mask of the satellites of `sys` (bit n = satellite index n)
  // whose data other than the ephemeris waits for healthy signal flags; 0 when not available.
  Hook<std::uint64_t(int sys)> healthCheckSats{"navigation_data", "navDecoderLinks.healthCheckSats", 0};
  // The setup's choice of B2b messages to decode: 0 none, 1 those without the variant flag
  // (data component), 2 those with it (pilot component), 3 both; 0 when not available.
  Hook<int()> b2bSource{"navigation_data", "navDecoderLinks.b2bSource", 0};
};
extern NavDecoderLinks navDecoderLinks;

// First broadcast satellite number of each system, added to the tracking index.
constexpr int kNavFirstSatNumber[SYS_NUM] = {1, -7, 1, 120, 193, 1, 1};

// Receiver time tags are compared by unsigned difference, so that eviction survives the wrap.
inline std::uint32_t navTagAge(std::uint32_t now, std::uint32_t then) { return now - then; }

// A broadcast field's raw integer times 2^-pow2: exact, as the scale factors are powers of two.
inline double scaled(double raw, int pow2) { return std::ldexp(raw, -pow2); }

// The broadcast Klobuchar coefficients in the model's units (IS-GPS-200 20.3.3.5.1.7, Table
// 20-X): alpha_n scaled by 2^-30, 2^-27, 2^-24, 2^-24, beta_n by 2^11, 2^14, 2^16, 2^16. BeiDou
// D1/D2 (BDS-SIS-ICD-B1I 3.0 5.2.4.7) and NavIC (message 11) send them in the same units. The
// products are exact in float.
void setKlobuchar(ZRT_ION_GPS& ion, const std::int8_t alpha[4], const std::int8_t beta[4]);

// The decoder of a satellite out of a pool: its own object, else the first free one, else the
// one updated longest ago (lowest pool position on equal ages).
template <class D>
D* selectNavDecoder(D* const* pool, int n, const NavDecoderTime* time, const SvIdType* sv) {
  if (n == 0 || time == nullptr || sv == nullptr) return nullptr;
  for (int i = 0; i < n; ++i) {
    const SvIdType id = pool[i]->get_SvId();
    if (id.si == sv->si && id.sys == sv->sys) return pool[i];
  }
  for (int i = 0; i < n; ++i)
    if (pool[i]->get_SvId().si == kSvUnknown) return pool[i];
  D* oldest = pool[0];
  std::uint32_t oldestAge = navTagAge(time->ulTimeTag, pool[0]->get_TimeTag());
  for (int i = 1; i < n; ++i) {
    const std::uint32_t age = navTagAge(time->ulTimeTag, pool[i]->get_TimeTag());
    if (age > oldestAge) {
      oldest = pool[i];
      oldestAge = age;
    }
  }
  return oldest;
}
