// GPS and QZSS LNAV decoder (IS-GPS-200 section 20.3, IS-QZSS-PNT for the QZSS pages): one
// object per tracked satellite turns 300-bit subframes into ephemerides, almanacs, UTC and
// Klobuchar parameters and the navigation-message correction table, and hands them to the
// satellite data store.
//
// A subframe arrives as ten 30-bit words (data bits upright, parity bits kept) packed back to
// back in ten 32-bit words, subframe bit 1 at the MSB of the first word.
#pragma once

#include <cstdint>

#include "navigation_data/decoders/classic_nav_decoder.h"
#include "navigation_data/store/sat_data_store.h"

// Raw LNAV ephemeris fields, two's complement already sign-extended and split fields joined, in
// the order the identity is computed over (68 bytes = 544 bits, padding zero).
struct GpsLnavEphFields {
  std::uint16_t wn;
  std::uint8_t flags;  // bit 0 fit interval, bit 1 L2 P data, bits 2-3 L2 code
  std::uint8_t health;
  std::uint8_t ura;
  std::uint8_t iode2;
  std::uint8_t iode3;
  std::int8_t tgd;
  std::uint16_t toc;
  std::uint16_t toe;
  std::uint16_t iodc;
  std::int8_t af2;
  std::uint8_t pad19;
  std::int16_t af1;
  std::int16_t crs;
  std::int32_t af0;
  std::int16_t dn;
  std::int16_t cuc;
  std::int32_t m0;
  std::uint32_t e;
  std::int16_t cus;
  std::int16_t cic;
  std::uint32_t sqrtA;
  std::int32_t omega0;
  std::int16_t cis;
  std::int16_t crc;
  std::int32_t i0;
  std::int32_t omega;
  std::int32_t omegaDot;
  std::int16_t idot;
  std::uint8_t pad66[2];
};
static_assert(sizeof(GpsLnavEphFields) == 68);

class GpsNavDataDecoderType : public ClassicNavDecoder<GpsNavDataDecoderType, GpsLnavEphFields, 24> {
 public:
  static constexpr int kPoolSize = 24;
  static constexpr int kSubframeWords = 10;
  static constexpr int kAlmSets = 2;

  using EphFields = GpsLnavEphFields;

  GpsNavDataDecoderType();

  // One subframe of `sv` (GPS or QZSS) on signal number `signal`. Units of another system, of
  // an index out of range or shorter than ten words are dropped.
  void update(const NavDecoderTime& time, SvIdType sv, std::uint8_t signal, const std::uint32_t* words,
              int numWords, float cn0);
  void reset();

  int get_PoolIndex() const { return poolIndex_; }

 private:
  struct EphBlock {
    EphFields f;
    bool arrived[3];
    std::uint8_t signalMask;
    std::uint8_t howFlags;      // of subframe 1: bit 1 alert, bit 0 anti-spoof
    std::int32_t sf1Time;       // s of week of subframe 1
    std::uint8_t crcBuf[72];    // words 3-10 of subframes 1-3, masked and bit-reversed
    bool check();               // complete and consistent; clears itself when inconsistent
    void reset();
  };
  struct NmctPart {
    bool sf2;                   // the table time is known
    bool page;                  // page 13 arrived
    std::uint8_t availability;
    std::int8_t erd[30];
    std::int64_t fullTime;      // s since the GPS epoch; -1 none
  };

  void decodeSubframe1(const std::uint32_t* w, std::int32_t sfTime);
  void decodeSubframe2(const std::uint32_t* w, std::int32_t sfTime);
  void decodeSubframe3(const std::uint32_t* w);
  void decodePage(const std::uint32_t* w, int subframe);
  void fillCrcShare(const std::uint32_t* w, int subframe);

  void process_EphemerisData();
  bool compare_RawData(const EphFields& other) const;
  void fill_EphRecord(ZRT_EPH_GPS& r) const;
  void process_AlmanacData();
  void process_UtcIonoData();
  void process_NmctData();

  // Almanac sets (static, per system: index 0 GPS, 1 QZSS).
  void decodeAlmanacPage(const std::uint32_t* w, int sysSet, int entry);
  void decodeHealthPage51(const std::uint32_t* w, int sysSet, int entries);
  void decodeConfigPage63(const std::uint32_t* w);
  void decodeUtcPage(const std::uint32_t* w);
  void decodeNmctPage(const std::uint32_t* w);
  void updateNmctTime(std::int32_t sfTime, std::uint32_t toe16, std::uint8_t aodo);

  std::int32_t sfTime_ = 0;      // s of week of the last subframe taken
  int sfId_ = 0;                 // its subframe ID
  int week10_ = -1;              // 10-bit week from subframe 1, -1 unknown
  EphBlock eph_{};
  NmctPart nmct_{};
};

// The decoder for a satellite: its own object, else the first free one, else the one updated
// longest ago (lowest pool position on equal ages). Null only before the pool is built.
GpsNavDataDecoderType* get_GpsNavDataDecoder(const NavDecoderTime* time, const SvIdType* sv);

extern GpsNavDataDecoderType GpsNavDataDecoderPool[GpsNavDataDecoderType::kPoolSize];
