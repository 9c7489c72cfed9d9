#include "navigation_data/decoders/gps_cnav_decoder.h"

#include <cstring>

#include "navigation_data/bit_extract.h"
#include "navigation_data/crc_engine.h"

GpsCNavDataDecoderType* GpsCNavDataDecoderType::pDecoderPointer[kPoolSize] = {};
std::uint8_t GpsCNavDataDecoderType::uNumOfSource = 0;

GpsCNavDataDecoderType GpsCNavDataDecoderPool[GpsCNavDataDecoderType::kPoolSize];

namespace {

constexpr std::uint32_t kWeekSeconds = 604800;
constexpr int kStoreDataType = 1;

std::uint32_t u(const std::uint32_t* w, int bit, int n) { return GpsDecUtility::extract(w, bit, n); }
std::int64_t s(const std::uint32_t* w, int bit, int n) { return GpsDecUtility::extract_DataField(w, bit, n, true); }

// The identity of an ephemeris: the satellite number and the raw fields (136 bytes).
struct CnavIdentityBlock {
  std::uint8_t prn;
  std::uint8_t spare[15];
  CnavEphRaw f;
};
static_assert(sizeof(CnavIdentityBlock) == 136);

CnavCdcPacket cdcAt(const std::uint32_t* w, int bit, std::uint8_t dcType) {
  return CnavCdcPacket{dcType, static_cast<std::uint8_t>(u(w, bit, 8)), static_cast<std::int16_t>(s(w, bit + 8, 13)),
                       static_cast<std::int8_t>(s(w, bit + 21, 8)), static_cast<std::int8_t>(s(w, bit + 29, 5))};
}

CnavEdcPacket edcAt(const std::uint32_t* w, int bit, std::uint8_t dcType) {
  CnavEdcPacket p{};
  p.dcType = dcType;
  p.sat = static_cast<std::uint8_t>(u(w, bit, 8));
  p.dAlpha = static_cast<std::int16_t>(s(w, bit + 8, 14));
  p.dBeta = static_cast<std::int16_t>(s(w, bit + 22, 14));
  p.dGamma = static_cast<std::int16_t>(s(w, bit + 36, 15));
  p.dI = static_cast<std::int16_t>(s(w, bit + 51, 12));
  p.dOmega = static_cast<std::int16_t>(s(w, bit + 63, 12));
  p.dA = static_cast<std::int16_t>(s(w, bit + 75, 12));
  p.udra = static_cast<std::int8_t>(s(w, bit + 87, 5));
  return p;
}

}  // namespace

GpsCNavDataDecoderType::GpsCNavDataDecoderType() {
  if (uNumOfSource < kPoolSize) pDecoderPointer[uNumOfSource++] = this;
  store_ = &SatDataProcessorInstance;
  reset();
}

void GpsCNavDataDecoderType::init_Object(SatelliteDataProcessor* store) {
  store_ = store;
  reset();
}

void GpsCNavDataDecoderType::reset() {
  eph_.reset();
  dc_ = DcBlock{};
  offset_ = OffsetBlock{};
  time_ = NavDecoderTime{};
  sv_ = EmptySvId;
}

GpsCNavDataDecoderType* get_GpsCNavDataDecoder(const NavDecoderTime* time, const SvIdType* sv) {
  return selectNavDecoder(GpsCNavDataDecoderType::pDecoderPointer, GpsCNavDataDecoderType::uNumOfSource, time, sv);
}

void GpsCNavDataDecoderType::update(const NavDecoderTime& time, SvIdType sv, std::uint8_t signal,
                                    const std::uint32_t* words, int numWords) {
  if (words == nullptr || numWords < kMessageWords) return;
  if ((sv.sys != kSysGps && sv.sys != kSysQzss) || sv.si >= SYS_SI_NUM[sv.sys]) return;
  if (sv.si != sv_.si || sv.sys != sv_.sys) reset();
  sv_ = SvIdType{sv.si, sv.sys, 0, sv.si};
  time_ = time;
  if (store_ != nullptr) store_->set_AlertFlag(sv_, kStoreDataType, GpsDecUtility::extract_CNavAlertFlag(words) != 0);

  // The TOW count is that of the start of the next message: the time this one is complete.
  const std::uint32_t tow = u(words, 21, 17) * 6;
  if (tow > kWeekSeconds) return;
  const std::uint8_t bit = signal < 8 ? static_cast<std::uint8_t>(1u << signal) : 0;
  const int type = static_cast<int>(GpsDecUtility::extract_CNavDataType(words));
  if (type == 10) {
    if (!eph_.arrived[0]) decodeEph10(words, tow), eph_.signalMask |= bit;
  } else if (type == 11) {
    if (!eph_.arrived[1]) decodeEph11(words), eph_.signalMask |= bit;
  } else if (type >= 30 && type <= 37) {
    if (!eph_.arrived[2]) decodeClock(words), eph_.signalMask |= bit;
    if (type == 30 && !eph_.arrived[3]) decodeGroupDelays(words);
    if (type == 34) decodeDc34(words);
    if (type == 35) decodeOffset(words);
  } else if (type == 13) {
    decodeCdcList(words);
  } else if (type == 14) {
    decodeEdcList(words);
  } else if (type != 12) {
    return;
  }
  process_EphemerisData();
  process_DiffCorrectionData();
  process_SystemTimeOffsetData();
}

// ---- ephemeris --------------------------------------------------------------------------------

void GpsCNavDataDecoderType::EphBlock::reset() { std::memset(this, 0, sizeof *this); }

bool GpsCNavDataDecoderType::EphBlock::check() {
  if (!arrived[0] || !arrived[1] || !arrived[2] || !arrived[3]) return false;
  if (f.toe == toe11 && f.toe == f.toc) return true;
  reset();
  return false;
}

void GpsCNavDataDecoderType::decodeEph10(const std::uint32_t* w, std::uint32_t tow) {
  CnavEphRaw& f = eph_.f;
  f.wn = static_cast<std::uint16_t>(u(w, 39, 13));
  f.health = static_cast<std::uint8_t>(u(w, 52, 3));
  f.top = static_cast<std::uint16_t>(u(w, 55, 11));
  f.uraEd = static_cast<std::int8_t>(s(w, 66, 5));
  f.toe = static_cast<std::uint16_t>(u(w, 71, 11));
  f.dA = static_cast<std::int32_t>(s(w, 82, 26));
  f.aDot = static_cast<std::int32_t>(s(w, 108, 25));
  f.dn0 = static_cast<std::int32_t>(s(w, 133, 17));
  f.dn0Dot = static_cast<std::int32_t>(s(w, 150, 23));
  f.m0 = s(w, 173, 33);
  f.e = static_cast<std::uint64_t>(GpsDecUtility::extract_DataField(w, 206, 33, false));
  f.omega = s(w, 239, 33);
  eph_.tow10 = tow;
  eph_.arrived[0] = true;
}

void GpsCNavDataDecoderType::decodeEph11(const std::uint32_t* w) {
  CnavEphRaw& f = eph_.f;
  eph_.toe11 = static_cast<std::uint16_t>(u(w, 39, 11));
  f.omega0 = s(w, 50, 33);
  f.i0 = s(w, 83, 33);
  f.dOmegaDot = static_cast<std::int32_t>(s(w, 116, 17));
  f.idot = static_cast<std::int16_t>(s(w, 133, 15));
  f.cis = static_cast<std::int16_t>(s(w, 148, 16));
  f.cic = static_cast<std::int16_t>(s(w, 164, 16));
  f.crs = static_cast<std::int32_t>(s(w, 180, 24));
  f.crc = static_cast<std::int32_t>(s(w, 204, 24));
  f.cus = static_cast<std::int32_t>(s(w, 228, 21));
  f.cuc = static_cast<std::int32_t>(s(w, 249, 21));
  eph_.arrived[1] = true;
}

// The clock of every type 30 to 37 (its top repeats that of type 10, which the record takes).
void GpsCNavDataDecoderType::decodeClock(const std::uint32_t* w) {
  CnavEphRaw& f = eph_.f;
  f.uraNed0 = static_cast<std::int8_t>(s(w, 50, 5));
  f.uraNed1 = static_cast<std::uint8_t>(u(w, 55, 3));
  f.uraNed2 = static_cast<std::uint8_t>(u(w, 58, 3));
  f.toc = static_cast<std::uint16_t>(u(w, 61, 11));
  f.af0 = static_cast<std::int32_t>(s(w, 72, 26));
  f.af1 = static_cast<std::int32_t>(s(w, 98, 20));
  f.af2 = static_cast<std::int16_t>(s(w, 118, 10));
  eph_.arrived[2] = true;
}

void GpsCNavDataDecoderType::decodeGroupDelays(const std::uint32_t* w) {
  CnavEphRaw& f = eph_.f;
  f.tgd = static_cast<std::int16_t>(s(w, 128, 13));
  for (int k = 0; k < 4; ++k) f.isc[k] = static_cast<std::int16_t>(s(w, 141 + 13 * k, 13));
  eph_.arrived[3] = true;
}

void GpsCNavDataDecoderType::process_EphemerisData() {
  if (!eph_.check()) return;
  ZRT_EPH_GPS rec;
  fill_CnavEphRecord(eph_.f, sv_, kStoreDataType, eph_.tow10, eph_.signalMask, rec);
  CnavIdentityBlock id{};
  id.prn = rec.prn;
  id.f = eph_.f;
  const std::uint32_t identity = GbasCRC32.ComputeCRC(&id, 0, static_cast<int>(sizeof id * 8));
  if (store_ != nullptr) store_->update_EphemerisData(sv_, kStoreDataType, &rec, identity, true, false, false);
  eph_.reset();
}

// ---- differential corrections -----------------------------------------------------------------

void GpsCNavDataDecoderType::decodeCdcList(const std::uint32_t* w) {
  dc_.cdcTopD = static_cast<std::uint16_t>(u(w, 39, 11));
  dc_.cdcTod = static_cast<std::uint16_t>(u(w, 50, 11));
  for (int k = 0; k < 6; ++k) {
    const int bit = 61 + 35 * k;
    dc_.cdc[k] = cdcAt(w, bit + 1, static_cast<std::uint8_t>(u(w, bit, 1)));
  }
  dc_.nCdc = 6;
  dc_.cdcArrived = true;
  dc_.lastEdc = false;
}

void GpsCNavDataDecoderType::decodeEdcList(const std::uint32_t* w) {
  dc_.edcTopD = static_cast<std::uint16_t>(u(w, 39, 11));
  dc_.edcTod = static_cast<std::uint16_t>(u(w, 50, 11));
  for (int k = 0; k < 2; ++k) {
    const int bit = 61 + 93 * k;
    dc_.edc[k] = edcAt(w, bit + 1, static_cast<std::uint8_t>(u(w, bit, 1)));
  }
  dc_.nEdc = 2;
  dc_.edcArrived = true;
  dc_.lastEdc = true;
}

void GpsCNavDataDecoderType::decodeDc34(const std::uint32_t* w) {
  const auto topD = static_cast<std::uint16_t>(u(w, 128, 11));
  const auto tod = static_cast<std::uint16_t>(u(w, 139, 11));
  const auto dcType = static_cast<std::uint8_t>(u(w, 150, 1));
  dc_.cdcTopD = dc_.edcTopD = topD;
  dc_.cdcTod = dc_.edcTod = tod;
  dc_.cdc[0] = cdcAt(w, 151, dcType);
  dc_.edc[0] = edcAt(w, 185, dcType);
  dc_.nCdc = dc_.nEdc = 1;
  dc_.cdcArrived = dc_.edcArrived = true;
}

void GpsCNavDataDecoderType::process_DiffCorrectionData() {
  if (!dc_.cdcArrived || !dc_.edcArrived) return;
  if (dc_.cdcTopD == dc_.edcTopD && dc_.cdcTod == dc_.edcTod) {
    apply_CnavCorrections(store_, kNavFirstSatNumber[sv_.sys] + sv_.si, dc_.cdcTopD, dc_.cdcTod, dc_.cdc, dc_.nCdc,
                          dc_.edc, dc_.nEdc);
    dc_ = DcBlock{};
  } else if (dc_.lastEdc) {
    dc_.cdcArrived = false;  // parts of different issues never pair: the newer one waits
  } else {
    dc_.edcArrived = false;
  }
}

// ---- GPS-to-GNSS time offset ------------------------------------------------------------------

void GpsCNavDataDecoderType::decodeOffset(const std::uint32_t* w) {
  CnavGgtoRaw& g = offset_.g;
  g.tGgto = static_cast<std::uint16_t>(u(w, 128, 16));
  g.wnGgto = static_cast<std::uint16_t>(u(w, 144, 13));
  g.gnssId = static_cast<std::uint8_t>(u(w, 157, 3));
  g.a0 = static_cast<std::int16_t>(s(w, 160, 16));
  g.a1 = static_cast<std::int16_t>(s(w, 176, 13));
  g.a2 = static_cast<std::int8_t>(s(w, 189, 7));
  offset_.arrived = g.gnssId != 0;
}

void GpsCNavDataDecoderType::process_SystemTimeOffsetData() {
  if (!offset_.arrived) return;
  offset_.arrived = false;
  if (offset_.g.gnssId > 3) return;
  if (store_ != nullptr) store_->update_GpsCnavSysOffsetData(sv_.sys, make_CnavSysOffset(offset_.g));
}
