// BeiDou B-CNAV2 decoder (BDS-SIS-ICD-B2a 1.0, the B2a data component of the BeiDou-3 MEO and
// IGSO satellites): one object per tracked satellite assembles the ephemeris (data type 1 of
// the store) from message types 10, 11 and 30-34, and hands on midi almanacs (type 40) and the
// BDGIM ionosphere model (type 30).
//
// A message arrives as its 288 bits (CRC included) from the PRN field on, in nine 32-bit words,
// message bit 1 at the top of the first word.
#pragma once

#include <cstdint>

#include "navigation_data/decoders/beidou_cnav_common.h"

class CompCNav2DataDecoderType {
 public:
  static constexpr int kPoolSize = 31;
  static constexpr int kMessageWords = 9;
  static constexpr std::uint32_t kSowCount = 201600;  // 3-s counts in a week

  static CompCNav2DataDecoderType* pDecoderPointer[kPoolSize];
  static std::uint8_t uNumOfSource;

  CompCNav2DataDecoderType();
  CompCNav2DataDecoderType(const CompCNav2DataDecoderType&) = delete;
  CompCNav2DataDecoderType& operator=(const CompCNav2DataDecoderType&) = delete;

  void init_Object(SatelliteDataProcessor* store);

  // One message of BeiDou satellite `sv`. Messages of another system, of an index out of range,
  // shorter than nine words, naming another PRN or with a time beyond the week are dropped.
  void update(const NavDecoderTime& time, SvIdType sv, const std::uint32_t* words, int numWords);
  void reset();

  SvIdType get_SvId() const { return sv_; }
  std::uint32_t get_TimeTag() const { return time_.ulTimeTag; }

  // Whether Ephemeris I and II sent at these SOW counts are neighbouring messages: their
  // difference, folded across the week's end either way, is one count.
  static bool is_AdjacentSow(std::uint32_t sowEph1, std::uint32_t sowEph2);

 private:
  void takeHealth(const std::uint32_t* w);
  void process_EphemerisData(std::uint32_t sow);

  static CompCNavDataDecoderType::CNavAlmanacRawDataType almanac_;

  SatelliteDataProcessor* store_ = nullptr;
  NavDecoderTime time_;
  SvIdType sv_ = EmptySvId;
  CompCNavDataDecoderType::CNavEphemerisRawDataType eph_{};
  CompCNavDataDecoderType::CNavIonoModelRawDataType iono_{};
  // The five parts of an ephemeris and what came with them.
  bool hasEph1_ = false, hasEph2_ = false, hasClock_ = false, hasTgd_ = false, hasHealth_ = false;
  std::uint32_t sowEph1_ = 0, sowEph2_ = 0;
  std::uint16_t wn_ = 0;
  std::uint16_t iodc_ = 0;
  std::uint8_t iode_ = 0;
  std::int16_t tgdB2ap_ = 0, iscB2ad_ = 0, tgdB1Cp_ = 0;
  std::uint8_t health_ = 0;  // HS | AIF·4 | SIF·8 | DIF·16 | AIF_B1C·32 | SIF_B1C·64 | DIF_B1C·128
  std::uint8_t sismai_ = 0;
  bool healthy_ = false;  // HS and DIF 0 in the last health fields
};

CompCNav2DataDecoderType* get_CompCNav2DataDecoder(const NavDecoderTime* time, const SvIdType* sv);

extern CompCNav2DataDecoderType CompCNav2DataDecoderInstance[CompCNav2DataDecoderType::kPoolSize];
