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

#include "navigation_data/decoders/beidou_almanac.h"
#include "navigation_data/decoders/nav_decoder_family.h"
#include "navigation_data/store/sat_data_store.h"

class CompD1NavDataDecoderType {
 public:
  static constexpr int kPoolSize = 25;
  static constexpr int kSubframeWords = 10;
  static constexpr int kAlmSets = 10;
  static constexpr int kAlmSats = 30;  // satellites the D1 almanac pages describe
  static constexpr std::uint32_t kNoSow = 0xFFFFFFFFu;
  // Subframes 2 and 3 follow their predecessor within this time, ms.
  static constexpr std::uint32_t kMaxSubframeGapMs = 7000;

  static CompD1NavDataDecoderType* pDecoderPointer[kPoolSize];
  static std::uint8_t uNumOfSource;

  CompD1NavDataDecoderType();
  CompD1NavDataDecoderType(const CompD1NavDataDecoderType&) = delete;
  CompD1NavDataDecoderType& operator=(const CompD1NavDataDecoderType&) = delete;

  // The store it writes to; the data servers are reached through navDecoderLinks.
  void init_Object(SatelliteDataProcessor* store);

  // One subframe of BeiDou satellite `sv` on signal number `signal` (0-2: a bit of the
  // contributing-signals mask). Units of another system, of an index out of range or shorter
  // than ten words are dropped.
  void update(const NavDecoderTime& time, SvIdType sv, std::uint8_t signal, const std::uint32_t* words,
              int numWords, float cn0);
  void reset();

  SvIdType get_SvId() const { return sv_; }
  std::uint32_t get_TimeTag() const { return time_.ulTimeTag; }

  // Raw ephemeris fields, sign-extended and split fields joined. The first 100 bytes (WN to
  // TGD2) are what the ephemeris identity is computed over; padding is zero.
  struct RawEphemeris {
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
  static_assert(sizeof(RawEphemeris) == 108 && offsetof(RawEphemeris, alpha) == 100);
  static constexpr int kIdentityBits = 800;

  // The store's record of a complete set of `sv` (its subframe 1 at `sow1`, from the signals of
  // `signalMask`), with the record's message flag byte: shared with the D2 decoder.
  static void fill_EphRecord(const RawEphemeris& f, SvIdType sv, std::uint32_t sow1, std::uint32_t signalMask,
                             std::uint16_t flags, ZRT_EPH_CMP& r);
  // The Klobuchar coefficients of a set, handed to the ionosphere model server.
  static void putIonosphere(const RawEphemeris& f, SvIdType sv, std::uint32_t sow1);

 private:
  struct EphemerisDataType {
    bool arrived[3];
    std::uint32_t arrivalMs[3];  // SOW of each subframe, ms
    std::uint32_t signalMask;
    std::uint32_t sow1;          // SOW of subframe 1, s
    RawEphemeris raw;
    void clear();
    bool check();  // complete and consecutive; clears itself when not consecutive
  };

  void decodeSubframe1(const std::uint32_t* w);
  void decodeSubframe2(const std::uint32_t* w);
  void decodeSubframe3(const std::uint32_t* w);
  void process_EphemerisData();
  bool ghostCheck();

  // The almanac sets and the UTC page, shared by every D1 object.
  static CompAlmanacDataType almanac_;

  SatelliteDataProcessor* store_ = nullptr;
  NavDecoderTime time_;
  SvIdType sv_ = EmptySvId;
  float cn0_ = 0.0f;
  bool cn0Above10_ = false;
  std::uint32_t sow_ = kNoSow;  // of the last subframe 1
  int week_ = -1;               // 13-bit week of the last subframe 1, -1 unknown
  bool ephSeen_ = false;
  bool ephHealthy_ = false;
  EphemerisDataType eph_{};
  // The last set written, for the ghost check.
  bool blockValid_ = false;
  RawEphemeris lastRaw_{};
  std::uint32_t lastSignalMask_ = 0;
  // toa and WNa of the last page 8 this object took, -1 none.
  int lastPage8Toa_ = -1;
  int lastPage8Wna_ = -1;
};

// The decoder for a satellite: its own object, else the first free one, else the one updated
// longest ago. Null only before the pool is built.
CompD1NavDataDecoderType* get_CompD1NavDataDecoder(const NavDecoderTime* time, const SvIdType* sv);

extern CompD1NavDataDecoderType CompD1NavDataDecoderInstance[CompD1NavDataDecoderType::kPoolSize];
