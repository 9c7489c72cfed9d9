// BeiDou D1 decoder (BDS-SIS-ICD-B1I 3.0 section 5.2: the MEO and IGSO satellites' message on
// B1I, B2I and B3I): one object per tracked satellite turns 300-bit subframes into
// ephemerides, almanacs, UTC parameters and the Klobuchar ionosphere model and hands them to
// the satellite data store.
//
// A subframe arrives as ten 30-bit words (parity bits kept in place) packed back to back in
// ten 32-bit words, subframe bit 1 at the MSB of the first word.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "navigation_data/decoders/beidou_almanac.h"
#include "navigation_data/decoders/classic_nav_decoder.h"
#include "navigation_data/store/sat_data_store.h"

// Raw D1 ephemeris fields, sign-extended and split fields joined. The first 100 bytes (WN to
// TGD2) are what the ephemeris identity is computed over; padding is zero.
struct CompD1RawEphemeris {
  std::uint16_t wn;
  std::uint8_t urai;
  std::uint8_t satH1;
  std::uint32_t toc;
  std::uint8_t aodc;
  std::uint8_t aode;
  std::uint8_t pad10[2];
  std::uint32_t toe;
  std::uint32_t sqrtA;
  std::uint32_t e;
  std::int32_t m0;
  std::int32_t omega;
  std::int32_t omega0;
  std::int32_t i0;
  std::int16_t dn;
  std::uint8_t pad42[2];
  std::int32_t omegaDot;
  std::int16_t idot;
  std::uint8_t pad50[2];
  std::int32_t cuc, cus, crc, crs, cic, cis;
  std::int32_t a0, a1, a2;
  std::int32_t tgd1, tgd2;
  std::uint8_t pad96[4];
  std::int8_t alpha[4];
  std::int8_t beta[4];
};
static_assert(sizeof(CompD1RawEphemeris) == 108 && offsetof(CompD1RawEphemeris, alpha) == 100);

// A BeiDou ephemeris being put together from its `N` units (D1 subframes 1-3, or the ten pages
// of D2 subframe 1), each to follow its predecessor within `GapMs`.
template <class Raw, int N, std::uint32_t GapMs>
struct CompEphAssembly {
  bool arrived[N];
  std::uint32_t arrivalMs[N];  // SOW of each unit, ms
  std::uint32_t signalMask;
  std::uint32_t sow1;          // SOW of the first unit, s
  Raw raw;
  void clear() { std::memset(this, 0, sizeof *this); }
  // Complete and in order; clears itself when not in order.
  bool check() {
    for (const bool a : arrived)
      if (!a) return false;
    // Unsigned differences: a unit from before its predecessor counts as far too late.
    for (int k = 1; k < N; ++k) {
      if (arrivalMs[k] - arrivalMs[k - 1] > GapMs) {
        clear();
        return false;
      }
    }
    return true;
  }
};

class CompD1NavDataDecoderType : public ClassicNavDecoder<CompD1NavDataDecoderType, CompD1RawEphemeris, 25> {
 public:
  static constexpr int kPoolSize = 25;
  static constexpr int kSubframeWords = 10;
  static constexpr int kAlmSets = 10;
  static constexpr int kAlmSats = 30;  // satellites the D1 almanac pages describe
  static constexpr std::uint32_t kNoSow = 0xFFFFFFFFu;
  // Subframes 2 and 3 follow their predecessor within this time, ms.
  static constexpr std::uint32_t kMaxSubframeGapMs = 7000;
  using RawEphemeris = CompD1RawEphemeris;
  static constexpr int kIdentityBits = 800;

  CompD1NavDataDecoderType();

  // One subframe of BeiDou satellite `sv` on signal number `signal` (0-2: a bit of the
  // contributing-signals mask). Units of another system, of an index out of range or shorter
  // than ten words are dropped.
  void update(const NavDecoderTime& time, SvIdType sv, std::uint8_t signal, const std::uint32_t* words,
              int numWords, float cn0);
  void reset();

  // The store's record of a complete set of `sv` (its subframe 1 at `sow1`, from the signals of
  // `signalMask`), with the record's message flag byte: shared with the D2 decoder.
  static void fill_EphRecord(const RawEphemeris& f, SvIdType sv, std::uint32_t sow1, std::uint32_t signalMask,
                             std::uint16_t flags, ZRT_EPH_CMP& r);
  // The Klobuchar coefficients of a set, handed to the ionosphere model server.
  static void putIonosphere(const RawEphemeris& f, SvIdType sv, std::uint32_t sow1);

 private:
  using EphemerisDataType = CompEphAssembly<RawEphemeris, 3, kMaxSubframeGapMs>;

  void decodeSubframe1(const std::uint32_t* w);
  void decodeSubframe2(const std::uint32_t* w);
  void decodeSubframe3(const std::uint32_t* w);
  void process_EphemerisData();

  // The almanac sets and the UTC page, shared by every D1 object.
  static CompAlmanacDataType almanac_;

  std::uint32_t sow_ = kNoSow;  // of the last subframe 1
  int week_ = -1;               // 13-bit week of the last subframe 1, -1 unknown
  EphemerisDataType eph_{};
  // toa and WNa of the last page 8 this object took, -1 none.
  int lastPage8Toa_ = -1;
  int lastPage8Wna_ = -1;
};

// The decoder for a satellite: its own object, else the first free one, else the one updated
// longest ago. Null only before the pool is built.
CompD1NavDataDecoderType* get_CompD1NavDataDecoder(const NavDecoderTime* time, const SvIdType* sv);

extern CompD1NavDataDecoderType CompD1NavDataDecoderInstance[CompD1NavDataDecoderType::kPoolSize];
