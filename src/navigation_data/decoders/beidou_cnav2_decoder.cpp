#include "navigation_data/decoders/beidou_cnav2_decoder.h"

#include "navigation_data/bit_extract.h"

using namespace CompCNavDataDecoderType;

CompCNav2DataDecoderType* CompCNav2DataDecoderType::pDecoderPointer[kPoolSize] = {};
std::uint8_t CompCNav2DataDecoderType::uNumOfSource = 0;
CNavAlmanacRawDataType CompCNav2DataDecoderType::almanac_{};

CompCNav2DataDecoderType CompCNav2DataDecoderInstance[CompCNav2DataDecoderType::kPoolSize];

namespace {
using CompBits::u;

std::int16_t s12(const std::uint32_t* w, int bit) {
  return static_cast<std::int16_t>(CompDecUtility::extract_DataField(w, bit, 12, true));
}

}  // namespace

CompCNav2DataDecoderType::CompCNav2DataDecoderType() {
  if (uNumOfSource < kPoolSize) pDecoderPointer[uNumOfSource++] = this;
  store_ = &SatDataProcessorInstance;
  reset();
}

void CompCNav2DataDecoderType::init_Object(SatelliteDataProcessor* store) {
  store_ = store;
  reset();
}

void CompCNav2DataDecoderType::reset() {
  time_ = NavDecoderTime{};
  sv_ = EmptySvId;
  eph_ = CNavEphemerisRawDataType{};
  iono_ = CNavIonoModelRawDataType{};
  hasEph1_ = hasEph2_ = hasClock_ = hasTgd_ = hasHealth_ = false;
  sowEph1_ = sowEph2_ = 0;
  wn_ = 0;
  iodc_ = 0;
  iode_ = 0;
  tgdB2ap_ = iscB2ad_ = tgdB1Cp_ = 0;
  health_ = 0;
  sismai_ = 0;
  healthy_ = false;
}

CompCNav2DataDecoderType* get_CompCNav2DataDecoder(const NavDecoderTime* time, const SvIdType* sv) {
  return selectNavDecoder(CompCNav2DataDecoderType::pDecoderPointer, CompCNav2DataDecoderType::uNumOfSource, time, sv);
}

bool CompCNav2DataDecoderType::is_AdjacentSow(std::uint32_t sowEph1, std::uint32_t sowEph2) {
  const auto week = static_cast<std::int32_t>(kSowCount);
  std::int32_t d = static_cast<std::int32_t>(sowEph2) - static_cast<std::int32_t>(sowEph1);
  if (d > week / 2) d -= week;
  if (d < -week / 2) d += week;
  return d == 1 || d == -1;
}

void CompCNav2DataDecoderType::update(const NavDecoderTime& time, SvIdType sv, const std::uint32_t* words,
                                      int numWords) {
  if (words == nullptr || numWords < kMessageWords) return;
  if (sv.sys != kSysBeidou || sv.si >= SYS_SI_NUM[kSysBeidou]) return;
  // A message naming another satellite would put its data into this one's slot.
  if (u(words, 1, 6) != sv.si + 1u) return;
  const std::uint32_t sow = u(words, 13, 18);
  if (sow >= kSowCount) return;
  if (sv.si != sv_.si || sv.sys != sv_.sys) reset();
  sv_ = SvIdType{sv.si, sv.sys, 0, sv.si};
  time_ = time;

  const int type = static_cast<int>(u(words, 7, 6));
  auto clock = [&](int clockBit, int iodcBit) {
    eph_.decodeClock(words, clockBit);
    iodc_ = static_cast<std::uint16_t>(u(words, iodcBit, 10));
    hasClock_ = true;
  };
  switch (type) {
    case 10:
      wn_ = static_cast<std::uint16_t>(u(words, 31, 13));
      iode_ = static_cast<std::uint8_t>(u(words, 54, 8));
      eph_.decodeEphemeris1(words, 62);
      hasEph1_ = true;
      sowEph1_ = sow;
      break;
    case 11:
      eph_.decodeEphemeris2(words, 43);
      hasEph2_ = true;
      sowEph2_ = sow;
      break;
    case 30:
      takeHealth(words);
      clock(43, 112);
      tgdB2ap_ = s12(words, 122);
      iscB2ad_ = s12(words, 134);
      tgdB1Cp_ = s12(words, 220);
      hasTgd_ = true;
      if (takesNonEphemerisData(sv_, healthy_)) iono_.decode(words, 146);
      break;
    case 31:
    case 32:  // with the Earth orientation, unused
      takeHealth(words);
      clock(43, 112);
      break;
    case 33:  // with the BDT-GNSS time offsets, unused
      takeHealth(words);
      clock(43, 218);
      break;
    case 34:  // with BDT-UTC, unused
      takeHealth(words);
      clock(65, 134);
      break;
    case 40:
      takeHealth(words);
      if (takesNonEphemerisData(sv_, healthy_)) almanac_.decode(words, 70);
      break;
    default:
      return;
  }
  process_EphemerisData(sow);
  putAlmanac(store_, almanac_, kSignalB2a);
  putIonosphere(iono_, kSignalB2a, sv_.si);
}

void CompCNav2DataDecoderType::takeHealth(const std::uint32_t* w) {
  const std::uint32_t hs = u(w, 31, 2), dif = u(w, 33, 1), sif = u(w, 34, 1), aif = u(w, 35, 1);
  sismai_ = static_cast<std::uint8_t>(u(w, 36, 4));
  const std::uint32_t difB1C = u(w, 40, 1), sifB1C = u(w, 41, 1), aifB1C = u(w, 42, 1);
  health_ = static_cast<std::uint8_t>(hs | dif << 4 | sif << 3 | aif << 2 | aifB1C << 5 | sifB1C << 6 | difB1C << 7);
  healthy_ = hs == 0 && dif == 0;
  hasHealth_ = true;
}

void CompCNav2DataDecoderType::process_EphemerisData(std::uint32_t sow) {
  if (!(hasEph1_ && hasEph2_ && hasClock_ && hasTgd_ && hasHealth_)) return;
  // Parts of two issues: the next Ephemeris I or II brings a pair.
  if (!is_AdjacentSow(sowEph1_, sowEph2_)) return;
  if (iode_ != (iodc_ & 0xFF)) {
    hasEph1_ = hasEph2_ = hasClock_ = hasTgd_ = hasHealth_ = false;
    return;
  }
  ZRT_EPH_CMP rec;
  eph_.process(wn_, rec);
  rec.prn = static_cast<std::uint8_t>(sv_.si + 1);
  rec.tow = sow * 3;
  rec.flags = static_cast<std::uint16_t>(rec.flags | kBeidouCnavMarkB2a);
  rec.iodc = static_cast<std::int16_t>(iodc_);
  rec.iode = iode_;
  rec.health = health_;
  rec.urai = sismai_;
  rec.tgd1 = static_cast<float>(scaled(tgdB1Cp_, 34));
  rec.tgd2 = static_cast<float>(scaled(tgdB2ap_, 34));
  rec.iscB2ad = static_cast<float>(scaled(iscB2ad_, 34));
  rec.signals = kSignalB2a;
  if (store_ != nullptr) store_->update_EphemerisData(sv_, kStoreDataType, &rec, eph_.identity(), true, false, false);
}
