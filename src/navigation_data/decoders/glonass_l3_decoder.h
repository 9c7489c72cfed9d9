// GLONASS L3 CDMA navigation decoder: one object per tracked satellite turns the L3 strings
// (as the GNSS board repacks them: 3-bit string type at bits 21-23, types 1 to 5) into the
// GLONASS ephemeris and time-parameter records of the store.
//
// A string arrives as 32-bit words, string bit 1 at the MSB of the first word; signed fields are
// sign-and-magnitude. Every string carries its time TS in units of 3 s (bits 24-38), which runs
// from 0 to 28799 over the day, so strings are paired by TS modulo 28800.
#pragma once

#include <cstdint>

#include "navigation_data/decoders/nav_decoder_family.h"
#include "navigation_data/store/sat_data_store.h"

// Index of the first entry of the FDMA FT table (1, 2, 2.5 ... 512 m) greater than `accuracy`
// (m); 15 when none is.
std::uint8_t glo_L3FtIndex(double accuracy);
// True when TS `later` follows TS `earlier` by `steps` strings, across midnight too; a TS outside
// the day (28800 or more) never does.
bool glo_L3TsFollows(std::uint32_t earlier, std::uint32_t later, std::uint32_t steps);

class GloL3NavDataDecoderType {
 public:
  static constexpr int kPoolSize = 6;
  static constexpr int kStringWords = 9;  // the fields reach bit 275
  static constexpr std::uint32_t kTsPerDay = 28800;
  static GloL3NavDataDecoderType* pDecoderPointer[kPoolSize];
  static std::uint8_t uNumOfSource;

  GloL3NavDataDecoderType();
  GloL3NavDataDecoderType(const GloL3NavDataDecoderType&) = delete;
  GloL3NavDataDecoderType& operator=(const GloL3NavDataDecoderType&) = delete;

  void init_Object(SatelliteDataProcessor* store);
  // One string of `sv` (GLONASS tracking index) received at time.ulTimeTag ms on the signals of
  // `signalMask`. Strings of another system, an index out of range or fewer than kStringWords
  // words are dropped.
  void update(const NavDecoderTime& time, SvIdType sv, std::uint8_t signalMask, const std::uint32_t* words,
              int numWords);
  void reset();

  SvIdType get_SvId() const { return sv_; }
  std::uint32_t get_TimeTag() const { return time_.ulTimeTag; }

  // The raw ephemeris of strings 1 and 2 as the identity is computed over (640 bits from the
  // slot byte).
  struct EphRaw {
    std::uint8_t slot, N4;
    std::uint16_t NT;
    std::uint32_t tb;
    std::uint8_t age[2];
    std::int8_t accIdx[2];
    std::uint16_t flagWord;
    std::int16_t gamma;
    std::int32_t tau;
    std::int16_t beta;
    std::int8_t clk7;
    std::uint8_t alert;  // bit 0 string 1, bit 1 string 2
    std::int32_t tauC;
    std::int16_t tauCRate;
    std::uint16_t pad26;
    std::int32_t tauGPS, tauGPSRate;
    std::int32_t pos[3], vel[3];
    std::int16_t acc[3];
    std::uint16_t pad70[5];
  };
  static_assert(sizeof(EphRaw) == 80);

 private:
  struct EphBlock {
    EphRaw f;
    bool arrived[2];
    std::uint32_t ts[2];
    std::uint8_t signalMask;
    bool check();
  };

  void decodeString1(const std::uint32_t* w);
  void decodeString2(const std::uint32_t* w);
  void process_EphemerisData();

  SatelliteDataProcessor* store_ = nullptr;
  NavDecoderTime time_;
  SvIdType sv_ = EmptySvId;
  EphBlock eph_{};
  bool ephStored_ = false;
  bool ephHealthy_ = false;
  std::uint32_t ephTime_ = 0;
  std::uint16_t ephNT_ = 0;
};

GloL3NavDataDecoderType* get_GloL3NavDataDecoder(const NavDecoderTime* time, const SvIdType* sv);

extern GloL3NavDataDecoderType GloL3NavDataDecoderPool[GloL3NavDataDecoderType::kPoolSize];
