// BeiDou B-CNAV1 decoder (BDS-SIS-ICD-B1C 1.0, the B1C data component of the BeiDou-3 MEO and
// IGSO satellites): one object per tracked satellite turns frames into ephemerides (data type
// 1 of the store), midi almanacs and the BDGIM ionosphere model.
//
// A frame arrives as subframe 2 (600 bits, CRC included) in bits 1-600 and subframe 3 (264 bits)
// from bit 609 (the top of word 19), in 28 32-bit words; subframe 1 (PRN and SOH) is not
// among them, its second of the hour comes with the frame.
#pragma once

#include <cstdint>

#include "navigation_data/decoders/beidou_cnav_common.h"

class CompCNav1DataDecoderType {
 public:
  static constexpr int kPoolSize = 31;
  static constexpr int kFrameWords = 28;
  static constexpr int kSubframe3Bit = 609;
  static constexpr int kSohCount = 200;  // 18-s frames in an hour

  static CompCNav1DataDecoderType* pDecoderPointer[kPoolSize];
  static std::uint8_t uNumOfSource;

  CompCNav1DataDecoderType();
  CompCNav1DataDecoderType(const CompCNav1DataDecoderType&) = delete;
  CompCNav1DataDecoderType& operator=(const CompCNav1DataDecoderType&) = delete;

  void init_Object(SatelliteDataProcessor* store);

  // One frame of BeiDou satellite `sv`, whose subframe 1 gave the second of hour `soh` (units
  // of 18 s, 0-199). Frames of another system, of an index out of range, shorter than 28 words
  // or with a time beyond the week are dropped.
  void update(const NavDecoderTime& time, SvIdType sv, const std::uint32_t* words, int numWords, int soh);
  void reset();

  SvIdType get_SvId() const { return sv_; }
  std::uint32_t get_TimeTag() const { return time_.ulTimeTag; }

 private:
  void process_EphemerisData(const std::uint32_t* w, std::uint32_t tow);

  static CompCNavDataDecoderType::CNavAlmanacRawDataType almanac_;

  SatelliteDataProcessor* store_ = nullptr;
  NavDecoderTime time_;
  SvIdType sv_ = EmptySvId;
  CompCNavDataDecoderType::CNavEphemerisRawDataType eph_{};
  CompCNavDataDecoderType::CNavIonoModelRawDataType iono_{};
  std::uint8_t health_ = 0;  // HS | AIF·32 | SIF·64 | DIF·128
  std::uint8_t sismai_ = 0;
  bool healthy_ = false;  // HS and DIF 0 in the last frame
};

// The decoder for a satellite: its own object, else the first free one, else the one updated
// longest ago. Null only before the pool is built.
CompCNav1DataDecoderType* get_CompCNav1DataDecoder(const NavDecoderTime* time, const SvIdType* sv);

extern CompCNav1DataDecoderType CompCNav1DataDecoderInstance[CompCNav1DataDecoderType::kPoolSize];
