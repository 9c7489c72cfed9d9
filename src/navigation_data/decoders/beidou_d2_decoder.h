// BeiDou D2 decoder (BDS-SIS-ICD-B1I 3.0 section 5.3: the GEO satellites' message): one object
// per tracked GEO turns 300-bit subframes into ephemerides, almanacs, UTC parameters and the
// Klobuchar model for the satellite data store, and hands the wide-area data the GEOs
// broadcast (UDRE indices, equivalent clock corrections, the ionosphere grid) to the correction
// servers of its own source number.
//
// A subframe arrives as ten 30-bit words (parity bits kept in place) packed back to back in
// ten 32-bit words, subframe bit 1 at the MSB of the first word. The five subframes of a frame
// share its SOW; subframe 1 cycles through 10 pages, subframe 5 through 120.
#pragma once

#include <cstddef>
#include <cstdint>

#include "navigation_data/decoders/beidou_almanac.h"
#include "navigation_data/decoders/beidou_d1_decoder.h"
#include "navigation_data/decoders/classic_nav_decoder.h"
#include "navigation_data/store/sat_data_store.h"

// The raw fields of the ten D2 ephemeris pages, sign-extended; a field the pages split keeps its
// two parts (the high part already shifted into place) until they are joined. The first 124
// bytes are what the ephemeris identity is computed over.
struct CompD2RawEphemeris {
  std::uint16_t wn;
  std::uint8_t urai;
  std::uint8_t satH1;
  std::uint32_t toc;
  std::uint8_t aodc;
  std::uint8_t aode;
  std::uint8_t pad10[2];
  std::uint32_t toe;
  std::uint32_t sqrtA;
  std::uint32_t eHigh, eLow;
  std::int32_t m0;
  std::int32_t omegaHigh, omegaLow;
  std::int32_t omega0;
  std::int32_t i0High, i0Low;
  std::int16_t dn;
  std::uint8_t pad54[2];
  std::int32_t omegaDotHigh, omegaDotLow;
  std::int16_t idot;
  std::uint8_t pad66[2];
  std::int32_t cucHigh, cucLow, cus, crc, crs, cicHigh, cicLow, cis;
  std::int32_t a0, a1High, a1Low, a2;
  std::int32_t tgd1, tgd2;
  std::int8_t alpha[4];
  std::int8_t beta[4];
};
static_assert(sizeof(CompD2RawEphemeris) == 132 && offsetof(CompD2RawEphemeris, alpha) == 124);
static_assert(offsetof(CompD2RawEphemeris, cucHigh) == 68 && offsetof(CompD2RawEphemeris, tgd2) == 120);

class CompD2NavDataDecoderType : public ClassicNavDecoder<CompD2NavDataDecoderType, CompD2RawEphemeris, 5> {
 public:
  static constexpr int kPoolSize = 5;
  static constexpr int kSubframeWords = 10;
  static constexpr int kEphPages = 10;
  // Each ephemeris page follows its predecessor within this time, ms.
  static constexpr std::uint32_t kMaxPageGapMs = 4000;
  static constexpr int kBdidSats = 30;     // satellites of the BDID mask
  static constexpr int kUdreSats = 18;     // UDRE indices and corrections per mask
  static constexpr int kCorrPerPage = 3;   // corrections per subframe 2/3 page pair
  static constexpr int kGridWords = 13;    // grid points per ionosphere page
  static constexpr std::int16_t kNoCorrection = -4096;
  static constexpr std::uint32_t kNoSow = 0xFFFFFFFFu;
  static constexpr std::uint16_t kRecordFlags = 128;  // message flag of the store's record

  using AlmanacDataType = CompAlmanacDataType;
  using RawEphemeris = CompD2RawEphemeris;
  static constexpr int kIdentityBits = 992;

  CompD2NavDataDecoderType();

  // One subframe of BeiDou GEO `sv` on signal number `signal` (0-2: a bit of the contributing-
  // signals mask). Units of another system, of an index out of range or shorter than ten words
  // are dropped.
  void update(const NavDecoderTime& time, SvIdType sv, std::uint8_t signal, const std::uint32_t* words,
              int numWords, float cn0);
  void reset();

  // Position in the pool: selects the correction servers this decoder feeds.
  int get_SourceNumber() const { return poolIndex_; }
  bool is_DiffDataEnabled() const { return diffEnabled_; }
  bool is_IonoGridEnabled() const { return ionoEnabled_; }

  // The split fields joined, in the D1 decoder's form.
  static CompD1NavDataDecoderType::RawEphemeris join(const RawEphemeris& r);

 private:
  using EphemerisDataType = CompEphAssembly<RawEphemeris, kEphPages, kMaxPageGapMs>;
  struct UDREDataType {
    bool valid;
    std::uint32_t timeMs;
    std::uint32_t bdid;
    std::uint8_t udrei[kUdreSats];
  };
  struct DiffCorrDataType {
    bool sf2Valid;
    std::uint32_t sf2TimeMs;
    int page;
    std::uint32_t bdid;
    bool sf3Valid;
    std::uint32_t sf3TimeMs;
    std::uint8_t index[kCorrPerPage];  // entry 0 from subframe 2, 1 and 2 from subframe 3
    std::int16_t dt[kCorrPerPage];
  };
  struct IonoCorrDataType {
    bool valid;
    std::uint32_t timeMs;
    int page;
    std::uint16_t word[kGridWords];
  };

  void decodePage(const std::uint32_t* w, int page);
  void decodeSubframe2(const std::uint32_t* w, std::uint32_t arrivalMs);
  void decodeSubframe3(const std::uint32_t* w, std::uint32_t arrivalMs);
  void decodeSubframe5(const std::uint32_t* w, std::uint32_t arrivalMs);
  void process_EphemerisData();
  void process_UDREData();
  void process_DiffCorrData();
  void process_IonoCorrData();

  std::uint32_t sow_ = kNoSow;  // of the last subframe 1
  int week_ = -1;               // 13-bit week of the assembly's page 1, -1 unknown
  bool diffEnabled_ = false;
  bool ionoEnabled_ = false;
  EphemerisDataType eph_{};
  UDREDataType udre_{};
  DiffCorrDataType corr_{};
  IonoCorrDataType iono_{};
  int lastPage36Toa_ = -1;
  int lastPage36Wna_ = -1;

  static AlmanacDataType almanac_;
};

// The decoder for a GEO: its own object, else the first free one, else the one updated longest
// ago. Null only before the pool is built.
CompD2NavDataDecoderType* get_CompD2NavDataDecoder(const NavDecoderTime* time, const SvIdType* sv);

extern CompD2NavDataDecoderType CompD2NavDataDecoderInstance[CompD2NavDataDecoderType::kPoolSize];
