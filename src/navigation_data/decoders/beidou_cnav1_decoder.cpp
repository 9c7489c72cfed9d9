#include "navigation_data/decoders/beidou_cnav1_decoder.h"

#include "navigation_data/bit_extract.h"

using namespace CompCNavDataDecoderType;

CompCNav1DataDecoderType* CompCNav1DataDecoderType::pDecoderPointer[kPoolSize] = {};
std::uint8_t CompCNav1DataDecoderType::uNumOfSource = 0;
CNavAlmanacRawDataType CompCNav1DataDecoderType::almanac_{};

CompCNav1DataDecoderType CompCNav1DataDecoderInstance[CompCNav1DataDecoderType::kPoolSize];

namespace {
using CompBits::u;
using CompBits::s;

constexpr std::uint32_t kWeekHours = 168;
constexpr int kPageIono = 1;
constexpr int kPageMidiAlmanac = 4;

}  // namespace

CompCNav1DataDecoderType::CompCNav1DataDecoderType() {
  if (uNumOfSource < kPoolSize) pDecoderPointer[uNumOfSource++] = this;
  store_ = &SatDataProcessorInstance;
  reset();
}

void CompCNav1DataDecoderType::init_Object(SatelliteDataProcessor* store) {
  store_ = store;
  reset();
}

void CompCNav1DataDecoderType::reset() {
  time_ = NavDecoderTime{};
  sv_ = EmptySvId;
  eph_ = CNavEphemerisRawDataType{};
  iono_ = CNavIonoModelRawDataType{};
  health_ = 0;
  sismai_ = 0;
  healthy_ = false;
}

CompCNav1DataDecoderType* get_CompCNav1DataDecoder(const NavDecoderTime* time, const SvIdType* sv) {
  return selectNavDecoder(CompCNav1DataDecoderType::pDecoderPointer, CompCNav1DataDecoderType::uNumOfSource, time, sv);
}

void CompCNav1DataDecoderType::update(const NavDecoderTime& time, SvIdType sv, const std::uint32_t* words,
                                      int numWords, int soh) {
  if (words == nullptr || numWords < kFrameWords) return;
  if (sv.sys != kSysBeidou || sv.si >= SYS_SI_NUM[kSysBeidou]) return;
  const std::uint32_t how = u(words, 14, 8);
  if (how >= kWeekHours || soh < 0 || soh >= kSohCount) return;
  if (sv.si != sv_.si || sv.sys != sv_.sys) reset();
  sv_ = SvIdType{sv.si, sv.sys, 0, sv.si};
  time_ = time;

  // Subframe 3's health fields stand for the whole frame.
  constexpr int h = kSubframe3Bit + 6;
  const std::uint32_t hs = u(words, h, 2), dif = u(words, h + 2, 1), sif = u(words, h + 3, 1), aif = u(words, h + 4, 1);
  sismai_ = static_cast<std::uint8_t>(u(words, h + 5, 4));
  health_ = static_cast<std::uint8_t>(hs | aif << 5 | sif << 6 | dif << 7);
  healthy_ = hs == 0 && dif == 0;

  if (takesNonEphemerisData(sv_, healthy_)) {
    const int page = static_cast<int>(u(words, kSubframe3Bit, 6));
    // Page 1 also carries BDT-UTC and page 3 the time offsets and Earth orientation: unused.
    if (page == kPageIono) iono_.decode(words, kSubframe3Bit + 42);
    if (page == kPageMidiAlmanac) almanac_.decode(words, kSubframe3Bit + 37);
  }
  process_EphemerisData(words, how * 3600 + static_cast<std::uint32_t>(soh) * 18);
  putAlmanac(store_, almanac_, kSignalB1C);
  putIonosphere(iono_, kSignalB1C, sv_.si);
}

// The whole ephemeris comes in every frame: each goes to the store, which takes it only when it
// brings something new.
void CompCNav1DataDecoderType::process_EphemerisData(const std::uint32_t* w, std::uint32_t tow) {
  eph_.decodeEphemeris1(w, 40);
  eph_.decodeEphemeris2(w, 243);
  eph_.decodeClock(w, 465);
  ZRT_EPH_CMP rec;
  eph_.process(static_cast<int>(u(w, 1, 13)), rec);
  rec.prn = static_cast<std::uint8_t>(sv_.si + 1);
  rec.tow = tow;
  rec.flags = static_cast<std::uint16_t>(rec.flags | kBeidouCnavMarkB1C);
  rec.iodc = static_cast<std::int16_t>(u(w, 22, 10));
  rec.iode = static_cast<std::uint16_t>(u(w, 32, 8));
  rec.health = health_;
  rec.urai = sismai_;
  rec.tgd2 = static_cast<float>(scaled(s(w, 534, 12), 34));
  rec.iscB1Cd = static_cast<float>(scaled(s(w, 546, 12), 34));
  rec.tgd1 = static_cast<float>(scaled(s(w, 558, 12), 34));
  rec.signals = kSignalB1C;
  if (store_ != nullptr) store_->update_EphemerisData(sv_, kStoreDataType, &rec, eph_.identity(), true, false, false);
}
