// BeiDou B2b decoder (BDS-SIS-ICD-B2b 1.0, the B-CNAV3 message of the BeiDou-3 MEO and IGSO
// satellites on B2b): one object per tracked satellite assembles the ephemeris (data type 1 of
// the store) from message types 10 and 30 and hands on the BDGIM ionosphere model.
//
// A message arrives as its 486 bits (CRC included) from the message type on, message bit 1 at
// the top of the first word; the words that hold every field used (15) are enough. The data
// and the pilot component come as two variants, told apart by a flag of the stream.
#pragma once

#include <cstdint>

#include "navigation_data/decoders/beidou_cnav_common.h"

class CompCNav2bDataDecoderType {
 public:
  static constexpr int kPoolSize = 31;
  static constexpr int kMessageWords = 15;
  static constexpr std::uint32_t kWeekSeconds = 604800;

  static CompCNav2bDataDecoderType* pDecoderPointer[kPoolSize];
  static std::uint8_t uNumOfSource;

  CompCNav2bDataDecoderType();
  CompCNav2bDataDecoderType(const CompCNav2bDataDecoderType&) = delete;
  CompCNav2bDataDecoderType& operator=(const CompCNav2bDataDecoderType&) = delete;

  void init_Object(SatelliteDataProcessor* store);

  // One message of BeiDou satellite `sv`; `variant` set for the pilot component's messages.
  // Nothing is done for a variant the setup does not select; messages of another system, of an
  // index out of range, shorter than 15 words or with a time beyond the week are dropped.
  void update(const NavDecoderTime& time, SvIdType sv, const std::uint32_t* words, int numWords, bool variant);
  void reset();

  SvIdType get_SvId() const { return sv_; }
  std::uint32_t get_TimeTag() const { return time_.ulTimeTag; }

  // Whether the setup's B2b choice (0 none, 1 data only, 2 pilot only, else both) takes a
  // message of that variant.
  static bool is_VariantSelected(int source, bool variant);

 private:
  void process_EphemerisData();

  SatelliteDataProcessor* store_ = nullptr;
  NavDecoderTime time_;
  SvIdType sv_ = EmptySvId;
  CompCNavDataDecoderType::CNavEphemerisRawDataType eph_{};
  CompCNavDataDecoderType::CNavIonoModelRawDataType iono_{};
  bool hasEph_ = false, hasClock_ = false;
  std::uint8_t iode_ = 0, iodc_ = 0;  // 4 bits each
  std::uint32_t sow_ = 0;             // s, of the last type 30
  std::uint16_t wn_ = 0;
  std::int16_t tgd_ = 0;
  bool tgdVariant_ = false;  // the variant whose type 30 brought the delay
  std::uint8_t hs_ = 0;
  std::uint8_t flags_ = 0;  // DIF·4 | SIF·2 | AIF
  std::uint8_t sismai_ = 0;
};

CompCNav2bDataDecoderType* get_CompCNav2bDataDecoder(const NavDecoderTime* time, const SvIdType* sv);

extern CompCNav2bDataDecoderType CompCNav2bDataDecoderInstance[CompCNav2bDataDecoderType::kPoolSize];
