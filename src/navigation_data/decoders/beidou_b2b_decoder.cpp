#include "navigation_data/decoders/beidou_b2b_decoder.h"

#include "navigation_data/bit_extract.h"

using namespace CompCNavDataDecoderType;

CompCNav2bDataDecoderType* CompCNav2bDataDecoderType::pDecoderPointer[kPoolSize] = {};
std::uint8_t CompCNav2bDataDecoderType::uNumOfSource = 0;

CompCNav2bDataDecoderType CompCNav2bDataDecoderInstance[CompCNav2bDataDecoderType::kPoolSize];

namespace {
using CompBits::u;
}  // namespace

CompCNav2bDataDecoderType::CompCNav2bDataDecoderType() {
  if (uNumOfSource < kPoolSize) pDecoderPointer[uNumOfSource++] = this;
  store_ = &SatDataProcessorInstance;
  reset();
}

void CompCNav2bDataDecoderType::init_Object(SatelliteDataProcessor* store) {
  store_ = store;
  reset();
}

void CompCNav2bDataDecoderType::reset() {
  time_ = NavDecoderTime{};
  sv_ = EmptySvId;
  eph_ = CNavEphemerisRawDataType{};
  iono_ = CNavIonoModelRawDataType{};
  hasEph_ = hasClock_ = false;
  iode_ = iodc_ = 0;
  sow_ = 0;
  wn_ = 0;
  tgd_ = 0;
  tgdVariant_ = false;
  hs_ = 0;
  flags_ = 0;
  sismai_ = 0;
}

CompCNav2bDataDecoderType* get_CompCNav2bDataDecoder(const NavDecoderTime* time, const SvIdType* sv) {
  return selectNavDecoder(CompCNav2bDataDecoderType::pDecoderPointer, CompCNav2bDataDecoderType::uNumOfSource, time,
                          sv);
}

bool CompCNav2bDataDecoderType::is_VariantSelected(int source, bool variant) {
  if (source == 0) return false;
  if (source == 1) return !variant;
  if (source == 2) return variant;
  return true;
}

void CompCNav2bDataDecoderType::update(const NavDecoderTime& time, SvIdType sv, const std::uint32_t* words,
                                       int numWords, bool variant) {
  if (!is_VariantSelected(navDecoderLinks.b2bSource(), variant)) return;
  if (words == nullptr || numWords < kMessageWords) return;
  if (sv.sys != kSysBeidou || sv.si >= SYS_SI_NUM[kSysBeidou]) return;
  const int type = static_cast<int>(u(words, 1, 6));
  if (type != 10 && type != 30 && type != 40) return;
  const std::uint32_t sow = u(words, 7, 20);
  if (sow >= kWeekSeconds) return;
  if (sv.si != sv_.si || sv.sys != sv_.sys) reset();
  sv_ = SvIdType{sv.si, sv.sys, 0, sv.si};
  time_ = time;

  if (type == 10) {
    iode_ = static_cast<std::uint8_t>(u(words, 27, 4));
    eph_.decodeEphemeris1(words, 31);
    eph_.decodeEphemeris2(words, 234);
    flags_ = static_cast<std::uint8_t>(u(words, 456, 3));
    sismai_ = static_cast<std::uint8_t>(u(words, 459, 4));
    hasEph_ = true;
  } else if (type == 30) {
    sow_ = sow;
    wn_ = static_cast<std::uint16_t>(u(words, 27, 13));
    iodc_ = static_cast<std::uint8_t>(u(words, 40, 4));
    eph_.decodeClock(words, 44);
    tgd_ = static_cast<std::int16_t>(CompDecUtility::extract_DataField(words, 113, 12, true));
    tgdVariant_ = variant;
    hs_ = static_cast<std::uint8_t>(u(words, 461, 2));
    hasClock_ = true;
    // BDT-UTC and the Earth orientation of this message are unused.
    const bool healthy = hs_ == 0 && (flags_ & kBeidouB2bDif) == 0;
    if (takesNonEphemerisData(sv_, healthy)) iono_.decode(words, 125);
  }
  // Type 40 carries the BDT-GNSS time offsets and almanacs, unused here.
  process_EphemerisData();
  putIonosphere(iono_, kSignalB2b, sv_.si);
}

void CompCNav2bDataDecoderType::process_EphemerisData() {
  if (!hasEph_ || !hasClock_) return;
  if (iode_ != iodc_) {
    hasEph_ = hasClock_ = false;
    return;
  }
  ZRT_EPH_CMP rec;
  eph_.process(wn_, rec);
  rec.prn = static_cast<std::uint8_t>(sv_.si + 1);
  rec.tow = sow_;
  rec.iodc = iodc_;
  rec.iode = iode_;
  rec.health = hs_;
  rec.b2bIf = flags_;
  rec.urai = sismai_;
  const float delay = static_cast<float>(scaled(tgd_, 34));
  if (tgdVariant_) {
    rec.b2bDelay2 = delay;
    rec.flags = static_cast<std::uint16_t>(rec.flags | kBeidouCnavB2bPilot);
  } else {
    rec.b2bDelay1 = delay;
    rec.flags = static_cast<std::uint16_t>(rec.flags | kBeidouCnavB2bData);
  }
  rec.signals = kSignalB2b;
  if (store_ != nullptr) store_->update_EphemerisData(sv_, kStoreDataType, &rec, eph_.identity(), true, false, false);
}
