// NavIC L5 SPS decoder (IRNSS SIS ICD for SPS 1.1): one object per tracked satellite turns
// subframes 1-2 into ephemerides and the messages of subframes 3-4 into almanacs, UTC and
// GNSS time offsets, the Klobuchar ionosphere model and differential corrections, and hands them
// to the store.
//
// A subframe arrives as its 292 bits packed MSB-first into ten 32-bit words, subframe bit 1
// (the first TLM bit) at the MSB of the first word.
#pragma once

#include <cstddef>
#include <cstdint>

#include "navigation_data/decoders/classic_nav_decoder.h"
#include "navigation_data/store/sat_data_store.h"

// Raw NavIC orbit and clock fields, sign-extended; the ephemeris identity is the CRC of these
// 64 bytes (padding zero).
struct IrnssL5RawEphemeris {
  std::int32_t af0;
  std::int32_t m0;
  std::uint32_t e;
  std::uint32_t sqrtA;
  std::int32_t omega0;
  std::int32_t omega;
  std::int32_t i0;
  std::int32_t omegaDot;
  std::int32_t dn;
  std::int16_t af1;
  std::int16_t cuc, cus, cic, cis, crc, crs;
  std::int16_t idot;
  std::uint16_t wn;
  std::uint16_t toc;
  std::uint16_t toe;
  std::int8_t af2;
  std::int8_t tgd;
  std::uint8_t ura;
  std::uint8_t iodec;
  std::uint8_t health;  // L5 flag in bit 1, S flag in bit 0
  std::uint8_t pad63;
};
static_assert(sizeof(IrnssL5RawEphemeris) == 64 && offsetof(IrnssL5RawEphemeris, wn) == 52);

class IrnssL5NavDataDecoderType : public ClassicNavDecoder<IrnssL5NavDataDecoderType, IrnssL5RawEphemeris, 14> {
 public:
  static constexpr int kPoolSize = 14;
  static constexpr int kSubframeWords = 10;
  static constexpr std::uint32_t kNoTowc = 0xFFFFFFFFu;
  static constexpr std::uint16_t kNoWeek = 0xFFFF;

  using RawEphemeris = IrnssL5RawEphemeris;
  static constexpr int kIdentityBits = 512;

  IrnssL5NavDataDecoderType();

  // One subframe of NavIC satellite `sv` on signal number `signal` (a bit of the
  // contributing-signals mask). Subframes of another system, of an index out of range or
  // shorter than ten words are dropped.
  void update(const NavDecoderTime& time, SvIdType sv, std::uint8_t signal, const std::uint32_t* words,
              int numWords, float cn0);
  void reset();

  // UTC and GNSS-offset fields of messages 9 and 26, shared by every object: the parameters
  // are the same whichever satellite sent them.
  struct UtcDataType {
    bool utcSeen;
    std::int32_t a0utc, a1utc, a2utc;
    std::uint32_t t0utc, wnoutc, wnlsf, dn;
    std::int32_t dtls, dtlsf;
    bool gnssSeen;
    std::int32_t a0, a1, a2;
    std::uint32_t t0, wn, gnssId;
  };
  static UtcDataType utcData;

 private:
  struct EphemerisDataType {
    bool arrived[2];
    std::uint32_t signalMask;
    std::uint32_t towc;
    std::uint8_t alert, autonav;
    RawEphemeris raw;
    void clear();
  };

  void decodeSubframe1(const std::uint32_t* w);
  void decodeSubframe2(const std::uint32_t* w);
  void process_EphemerisData();
  void fill_EphRecord(ZRT_EPH_IRS& r) const;
  void process_Almanac(const std::uint32_t* w);
  void process_Ionosphere(const std::uint32_t* w) const;
  void process_Utc(const std::uint32_t* w);
  void process_DiffCorrection(const std::uint32_t* w);

  std::uint32_t towc_ = kNoTowc;
  std::uint16_t week_ = kNoWeek;
  EphemerisDataType eph_{};
};

// The decoder for a satellite: its own object, else the first free one, else the one updated
// longest ago. Null only before the pool is built.
IrnssL5NavDataDecoderType* get_IrnssL5NavDataDecoder(const NavDecoderTime* time, const SvIdType* sv);

extern IrnssL5NavDataDecoderType IrnssL5NavDataDecoderInstance[IrnssL5NavDataDecoderType::kPoolSize];
