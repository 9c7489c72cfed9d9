// GLONASS FDMA navigation decoder (GLONASS ICD 5.1, section 4.4): one object per tracked
// frequency channel turns 85-bit strings into ephemerides, almanacs and the time parameters and
// hands them to the satellite data store.
//
// A string arrives in three 32-bit words, the leading idle bit at the MSB of the first word, so
// ICD bit b of the string is position 86 - b here.
#pragma once

#include <cstdint>

#include "navigation_data/decoders/classic_nav_decoder.h"
#include "navigation_data/store/sat_data_store.h"

// Raw GLONASS ephemeris fields in the order the identity is computed over, the flag word zero.
struct GloEphFields {
  std::int32_t x, y, z;
  std::int32_t vx, vy, vz;
  std::int8_t ax, ay, az;
  std::uint8_t Bn;
  std::int16_t gamma;
  std::uint8_t En, FT;
  std::int32_t tau;
  std::int8_t dTau;
  std::uint8_t n, N4, pad35;
  std::int32_t tauC;
  std::int32_t tauGPS;
  std::uint16_t tb, NT, NA, tk;
  std::uint8_t P1, P2, P3, P4, P, M, ln3, ln5;
  std::uint32_t flagWord;  // zero in the identity
};
static_assert(sizeof(GloEphFields) == 68);

class GloNavDataDecoderType : public ClassicNavDecoder<GloNavDataDecoderType, GloEphFields, 13> {
 public:
  static constexpr int kPoolSize = 13;
  static constexpr int kStringWords = 3;
  using EphFields = GloEphFields;

  GloNavDataDecoderType();
  // One string of `sv` (GLONASS, index = frequency number + 7) received at time.ulTimeTag ms on
  // the signals of `signalMask`. Strings of another system, an index out of range or fewer than
  // three words are dropped.
  void update(const NavDecoderTime& time, SvIdType sv, std::uint8_t signalMask, const std::uint32_t* words,
              int numWords, float cn0);
  void reset();


 private:
  struct EphBlock {
    EphFields f;
    bool arrived[5];
    std::uint32_t at[5];  // ms of arrival
    std::uint8_t signalMask;
    std::uint32_t crcWords[4][kStringWords];
    bool check();
  };

  void decodeEphString(int id, const std::uint32_t* w);
  void process_EphemerisData();
  void fill_EphRecord(ZRT_EPH_GLN& r) const;
  bool compare_RawData(const EphFields& other) const;
  void takeString5(std::uint32_t now);
  void decodeAlmanacHalf(int id, const std::uint32_t* w);
  void process_AlmanacData();
  void process_CommonData();

  EphBlock eph_{};
  std::uint32_t p3Time_ = 0;
  std::uint8_t p3_ = 0;

  bool p3Known_ = false;
};

GloNavDataDecoderType* get_GloNavDataDecoder(const NavDecoderTime* time, const SvIdType* sv);

extern GloNavDataDecoderType GloNavDataDecoderPool[GloNavDataDecoderType::kPoolSize];

// The GLONASS almanac record of two almanac halves (strings 6 and 7 of a pair), for tests and
// for the decoder alike: first half positions 6-77, second half 6-76.
void glo_DecodeAlmanac(const std::uint32_t* first, const std::uint32_t* second, int NA, int N4, double tauC,
                       ZRT_ALM_GLN& out);
