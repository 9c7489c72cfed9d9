#include "navigation_data/decoders/gps_cnav2_decoder.h"

#include "navigation_data/bit_extract.h"
#include "navigation_data/crc_engine.h"

GpsCNav2DataDecoderType* GpsCNav2DataDecoderType::pDecoderPointer[kPoolSize] = {};
std::uint8_t GpsCNav2DataDecoderType::uNumOfSource = 0;

GpsCNav2DataDecoderType GpsCNav2DataDecoderPool[GpsCNav2DataDecoderType::kPoolSize];

namespace {

constexpr std::uint32_t kWeekSeconds = 604800;
constexpr int kStoreDataType = 2;
constexpr int kPageGgto = 2;
constexpr int kPageDc = 5;

std::uint32_t u(const std::uint32_t* w, int bit, int n) { return GpsDecUtility::extract(w, bit, n); }
std::int64_t s(const std::uint32_t* w, int bit, int n) { return GpsDecUtility::extract_DataField(w, bit, n, true); }

}  // namespace

GpsCNav2DataDecoderType::GpsCNav2DataDecoderType() {
  if (uNumOfSource < kPoolSize) pDecoderPointer[uNumOfSource++] = this;
  store_ = &SatDataProcessorInstance;
  reset();
}

void GpsCNav2DataDecoderType::init_Object(SatelliteDataProcessor* store) {
  store_ = store;
  reset();
}

void GpsCNav2DataDecoderType::reset() {
  eph_ = CnavEphRaw{};
  time_ = NavDecoderTime{};
  sv_ = EmptySvId;
}

GpsCNav2DataDecoderType* get_GpsCNav2DataDecoder(const NavDecoderTime* time, const SvIdType* sv) {
  return selectNavDecoder(GpsCNav2DataDecoderType::pDecoderPointer, GpsCNav2DataDecoderType::uNumOfSource, time, sv);
}

void GpsCNav2DataDecoderType::update(const NavDecoderTime& time, SvIdType sv, std::uint8_t signal,
                                     const std::uint32_t* words, int numWords) {
  if (words == nullptr || numWords < kFrameWords) return;
  if ((sv.sys != kSysGps && sv.sys != kSysQzss) || sv.si >= SYS_SI_NUM[sv.sys]) return;
  if (sv.si != sv_.si || sv.sys != sv_.sys) reset();
  sv_ = SvIdType{sv.si, sv.sys, 0, sv.si};
  time_ = time;
  const std::uint32_t tow = frameTimeOfWeek(u(words, 23, 8), u(words, 1, 9));
  if (tow >= kWeekSeconds) return;
  decodeEphemeris(words);
  process_EphemerisData(tow, signal < 8 ? static_cast<std::uint8_t>(1u << signal) : 0);
  // Pages 1 (UTC, ionosphere), 3 and 4 (almanacs) and 7 keep nothing.
  const int page = static_cast<int>(GpsDecUtility::extract_CNav2DataPage(words));
  if (page == kPageDc) process_DiffCorrectionData(words);
  if (page == kPageGgto) process_SystemTimeOffsetData(words);
}

void GpsCNav2DataDecoderType::decodeEphemeris(const std::uint32_t* w) {
  CnavEphRaw& f = eph_;
  f = CnavEphRaw{};
  f.wn = static_cast<std::uint16_t>(u(w, 10, 13));
  f.top = static_cast<std::uint16_t>(u(w, 31, 11));
  f.health = static_cast<std::uint8_t>(u(w, 42, 1));
  f.uraEd = static_cast<std::int8_t>(s(w, 43, 5));
  f.toe = static_cast<std::uint16_t>(u(w, 48, 11));
  f.toc = f.toe;
  f.dA = static_cast<std::int32_t>(s(w, 59, 26));
  f.aDot = static_cast<std::int32_t>(s(w, 85, 25));
  f.dn0 = static_cast<std::int32_t>(s(w, 110, 17));
  f.dn0Dot = static_cast<std::int32_t>(s(w, 127, 23));
  f.m0 = s(w, 150, 33);
  f.e = static_cast<std::uint64_t>(GpsDecUtility::extract_DataField(w, 183, 33, false));
  f.omega = s(w, 216, 33);
  f.omega0 = s(w, 249, 33);
  f.i0 = s(w, 282, 33);
  f.dOmegaDot = static_cast<std::int32_t>(s(w, 315, 17));
  f.idot = static_cast<std::int16_t>(s(w, 332, 15));
  f.cis = static_cast<std::int16_t>(s(w, 347, 16));
  f.cic = static_cast<std::int16_t>(s(w, 363, 16));
  f.crs = static_cast<std::int32_t>(s(w, 379, 24));
  f.crc = static_cast<std::int32_t>(s(w, 403, 24));
  f.cus = static_cast<std::int32_t>(s(w, 427, 21));
  f.cuc = static_cast<std::int32_t>(s(w, 448, 21));
  f.uraNed0 = static_cast<std::int8_t>(s(w, 469, 5));
  f.uraNed1 = static_cast<std::uint8_t>(u(w, 474, 3));
  f.uraNed2 = static_cast<std::uint8_t>(u(w, 477, 3));
  f.af0 = static_cast<std::int32_t>(s(w, 480, 26));
  f.af1 = static_cast<std::int32_t>(s(w, 506, 20));
  f.af2 = static_cast<std::int16_t>(s(w, 526, 10));
  f.tgd = static_cast<std::int16_t>(s(w, 536, 13));
  f.isc[0] = static_cast<std::int16_t>(s(w, 549, 13));
  f.isc[1] = static_cast<std::int16_t>(s(w, 562, 13));
}

// The whole ephemeris comes in every frame: each one goes to the store, which takes it only
// when its identity changed.
void GpsCNav2DataDecoderType::process_EphemerisData(std::uint32_t tow, std::uint8_t signalMask) {
  ZRT_EPH_GPS rec;
  fill_CnavEphRecord(eph_, sv_, kStoreDataType, tow, signalMask, rec);
  const std::uint32_t identity = GbasCRC32.ComputeCRC(&eph_, 0, static_cast<int>(sizeof eph_ * 8));
  if (store_ != nullptr) store_->update_EphemerisData(sv_, kStoreDataType, &rec, identity, true, false, false);
}

void GpsCNav2DataDecoderType::process_DiffCorrectionData(const std::uint32_t* w) {
  const auto topD = static_cast<std::uint16_t>(u(w, 624, 11));
  const auto tod = static_cast<std::uint16_t>(u(w, 635, 11));
  const auto dcType = static_cast<std::uint8_t>(u(w, 646, 1));
  CnavCdcPacket cdc{dcType, static_cast<std::uint8_t>(u(w, 647, 8)), static_cast<std::int16_t>(s(w, 655, 13)),
                    static_cast<std::int8_t>(s(w, 668, 8)), static_cast<std::int8_t>(s(w, 676, 5))};
  CnavEdcPacket edc{};
  edc.dcType = dcType;
  edc.sat = static_cast<std::uint8_t>(u(w, 681, 8));
  edc.dAlpha = static_cast<std::int16_t>(s(w, 689, 14));
  edc.dBeta = static_cast<std::int16_t>(s(w, 703, 14));
  edc.dGamma = static_cast<std::int16_t>(s(w, 717, 15));
  edc.dI = static_cast<std::int16_t>(s(w, 732, 12));
  edc.dOmega = static_cast<std::int16_t>(s(w, 744, 12));
  edc.dA = static_cast<std::int16_t>(s(w, 756, 12));
  edc.udra = static_cast<std::int8_t>(s(w, 768, 5));
  apply_CnavCorrections(store_, kNavFirstSatNumber[sv_.sys] + sv_.si, topD, tod, &cdc, 1, &edc, 1);
}

void GpsCNav2DataDecoderType::process_SystemTimeOffsetData(const std::uint32_t* w) {
  CnavGgtoRaw g{};
  g.gnssId = static_cast<std::uint8_t>(u(w, 624, 3));
  g.tGgto = static_cast<std::uint16_t>(u(w, 627, 16));
  g.wnGgto = static_cast<std::uint16_t>(u(w, 643, 13));
  g.a0 = static_cast<std::int16_t>(s(w, 656, 16));
  g.a1 = static_cast<std::int16_t>(s(w, 672, 13));
  g.a2 = static_cast<std::int8_t>(s(w, 685, 7));
  // Only Galileo (1) and GLONASS (2) are named by this message.
  if (g.gnssId != 1 && g.gnssId != 2) return;
  if (store_ != nullptr) store_->update_GpsCnavSysOffsetData(sv_.sys, make_CnavSysOffset(g));
}
