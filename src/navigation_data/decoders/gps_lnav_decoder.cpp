// GPS and QZSS LNAV decoder: pool, subframe dispatch, ephemeris and its ghost check. The
// almanac, UTC/ionosphere and correction-table pages are in gps_lnav_pages.cpp.
#include "navigation_data/decoders/gps_lnav_decoder.h"

#include <cstring>

#include "navigation_data/bit_extract.h"
#include "navigation_data/crc_engine.h"


GpsNavDataDecoderType GpsNavDataDecoderPool[GpsNavDataDecoderType::kPoolSize];

namespace {

constexpr std::int32_t kWeekSeconds = 604800;

std::uint32_t u(const std::uint32_t* w, int bit, int n) { return GpsDecUtility::extract(w, bit, n); }

std::int32_t s(const std::uint32_t* w, int bit, int n) {
  return static_cast<std::int32_t>(GpsDecUtility::extract_DataField(w, bit, n, true));
}

// A 32-bit field sent as 8 bits at the end of one word and 24 at the start of the next.
std::uint32_t joined(const std::uint32_t* w, int msbBit, int lsbBit) {
  return (u(w, msbBit, 8) << 24) | u(w, lsbBit, 24);
}

// Bits of words 3-10 of subframes 1-3 that take part in the 16-bit ephemeris check value:
// subframe 1 keeps IODC, TGD and the clock terms (not WN, L2 code, URA, health, the L2 P flag,
// the reserved words nor the last 2 bits); subframe 2 all but the fit flag and AODO; subframe 3
// all but the last 2 bits.
constexpr std::uint8_t kCrcMask[3][24] = {
    {0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
     0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFC},
    {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
     0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00},
    {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
     0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFC},
};

std::uint8_t reverseBits(std::uint8_t b) {
  b = static_cast<std::uint8_t>((b & 0xF0) >> 4 | (b & 0x0F) << 4);
  b = static_cast<std::uint8_t>((b & 0xCC) >> 2 | (b & 0x33) << 2);
  return static_cast<std::uint8_t>((b & 0xAA) >> 1 | (b & 0x55) << 1);
}

}  // namespace

// ---- pool -------------------------------------------------------------------------------------

GpsNavDataDecoderType::GpsNavDataDecoderType() { reset(); }

void GpsNavDataDecoderType::reset() {
  resetShared();
  eph_.reset();
  sfTime_ = 0;
  sfId_ = 0;
  week10_ = -1;
  nmct_ = NmctPart{};
  nmct_.fullTime = -1;
}

GpsNavDataDecoderType* get_GpsNavDataDecoder(const NavDecoderTime* time, const SvIdType* sv) {
  return GpsNavDataDecoderType::select(time, sv);
}

// ---- one subframe -----------------------------------------------------------------------------

void GpsNavDataDecoderType::update(const NavDecoderTime& time, SvIdType sv, std::uint8_t signal,
                                   const std::uint32_t* words, int numWords, float cn0) {
  if (!intake(time, sv, sv.sys == kSysGps || sv.sys == kSysQzss, words, numWords, kSubframeWords, cn0)) return;

  // The HOW count is that of the next subframe. A count of 0 belongs to a subframe sent in the
  // last 6 s of the previous week (a subframe 5 page, repeated every 12.5 min): dropped.
  const std::int32_t sfTime = static_cast<std::int32_t>(GpsDecUtility::extract_NavTow(words)) * 6 - 6;
  if (sfTime < 0 || sfTime > kWeekSeconds) return;

  const std::uint32_t how = GpsDecUtility::extract_NavHowFlags(words);
  if (store_ != nullptr) {
    store_->set_AlertFlag(sv_, 0, (how & 2) != 0);
    if (sv_.sys == kSysGps) store_->set_ASFlag(sv_.si, (how & 1) != 0);
  }
  const int sfId = static_cast<int>(GpsDecUtility::extract_NavSubframeId(words));
  if (sfId < 1 || sfId > 5) return;
  sfTime_ = sfTime;
  sfId_ = sfId;
  const std::uint8_t bit = signal < 8 ? static_cast<std::uint8_t>(1u << signal) : 0;
  switch (sfId) {
    case 1:
      if (!eph_.arrived[0]) {
        decodeSubframe1(words, sfTime);
        eph_.howFlags = static_cast<std::uint8_t>(how);
        eph_.signalMask |= bit;
      }
      week10_ = static_cast<int>(u(words, 61, 10));
      if (sv_.sys == kSysGps) nmct_.fullTime = -1, nmct_.sf2 = false;
      break;
    case 2:
      if (!eph_.arrived[1]) {
        decodeSubframe2(words, sfTime);
        eph_.signalMask |= bit;
      }
      if (sv_.sys == kSysGps) updateNmctTime(sfTime, u(words, 271, 16), static_cast<std::uint8_t>(u(words, 288, 5)));
      break;
    case 3:
      if (!eph_.arrived[2]) {
        decodeSubframe3(words);
        eph_.signalMask |= bit;
      }
      break;
    default:
      if (ephStored_ && ephHealthy_) decodePage(words, sfId);
      break;
  }
  process_EphemerisData();
  process_AlmanacData();
  process_UtcIonoData();
  process_NmctData();
}

// ---- ephemeris --------------------------------------------------------------------------------

void GpsNavDataDecoderType::EphBlock::reset() { std::memset(this, 0, sizeof *this); }

bool GpsNavDataDecoderType::EphBlock::check() {
  if (!arrived[0] || !arrived[1] || !arrived[2]) return false;
  if ((f.iodc & 0xFF) == f.iode2 && f.iode2 == f.iode3) return true;
  reset();
  return false;
}

void GpsNavDataDecoderType::fillCrcShare(const std::uint32_t* w, int subframe) {
  std::uint8_t* out = eph_.crcBuf + (subframe - 1) * 24;
  for (int word = 3; word <= 10; ++word) {
    const std::uint32_t data = u(w, (word - 1) * 30 + 1, 24);
    for (int j = 0; j < 3; ++j) {
      const int k = (word - 3) * 3 + j;
      const auto byte = static_cast<std::uint8_t>(data >> (16 - 8 * j));
      out[k] = reverseBits(static_cast<std::uint8_t>(byte & kCrcMask[subframe - 1][k]));
    }
  }
}

void GpsNavDataDecoderType::decodeSubframe1(const std::uint32_t* w, std::int32_t sfTime) {
  EphFields& f = eph_.f;
  f.wn = static_cast<std::uint16_t>(u(w, 61, 10));
  f.flags = static_cast<std::uint8_t>((f.flags & 0x01) | u(w, 91, 1) << 1 | u(w, 71, 2) << 2);
  f.ura = static_cast<std::uint8_t>(u(w, 73, 4));
  f.health = static_cast<std::uint8_t>(u(w, 77, 6));
  f.iodc = static_cast<std::uint16_t>(u(w, 83, 2) << 8 | u(w, 211, 8));
  f.tgd = static_cast<std::int8_t>(s(w, 197, 8));
  f.toc = static_cast<std::uint16_t>(u(w, 219, 16));
  f.af2 = static_cast<std::int8_t>(s(w, 241, 8));
  f.af1 = static_cast<std::int16_t>(s(w, 249, 16));
  f.af0 = s(w, 271, 22);
  eph_.sf1Time = sfTime;
  fillCrcShare(w, 1);
  eph_.arrived[0] = true;
}

void GpsNavDataDecoderType::decodeSubframe2(const std::uint32_t* w, std::int32_t) {
  EphFields& f = eph_.f;
  f.iode2 = static_cast<std::uint8_t>(u(w, 61, 8));
  f.crs = static_cast<std::int16_t>(s(w, 69, 16));
  f.dn = static_cast<std::int16_t>(s(w, 91, 16));
  f.m0 = static_cast<std::int32_t>(joined(w, 107, 121));
  f.cuc = static_cast<std::int16_t>(s(w, 151, 16));
  f.e = joined(w, 167, 181);
  f.cus = static_cast<std::int16_t>(s(w, 211, 16));
  f.sqrtA = joined(w, 227, 241);
  f.toe = static_cast<std::uint16_t>(u(w, 271, 16));
  f.flags = static_cast<std::uint8_t>((f.flags & 0xFE) | u(w, 287, 1));
  fillCrcShare(w, 2);
  eph_.arrived[1] = true;
}

void GpsNavDataDecoderType::decodeSubframe3(const std::uint32_t* w) {
  EphFields& f = eph_.f;
  f.cic = static_cast<std::int16_t>(s(w, 61, 16));
  f.omega0 = static_cast<std::int32_t>(joined(w, 77, 91));
  f.cis = static_cast<std::int16_t>(s(w, 121, 16));
  f.i0 = static_cast<std::int32_t>(joined(w, 137, 151));
  f.crc = static_cast<std::int16_t>(s(w, 181, 16));
  f.omega = static_cast<std::int32_t>(joined(w, 197, 211));
  f.omegaDot = s(w, 241, 24);
  f.iode3 = static_cast<std::uint8_t>(u(w, 271, 8));
  f.idot = static_cast<std::int16_t>(s(w, 279, 14));
  fillCrcShare(w, 3);
  eph_.arrived[2] = true;
}

bool GpsNavDataDecoderType::compare_RawData(const EphFields& o) const {
  const EphFields& f = eph_.f;
  return f.iode2 == o.iode2 && f.m0 == o.m0 && f.e == o.e && f.omega == o.omega && f.omega0 == o.omega0;
}

void GpsNavDataDecoderType::fill_EphRecord(ZRT_EPH_GPS& r) const {
  const EphFields& f = eph_.f;
  std::memset(&r, 0, sizeof r);
  r.prn = static_cast<std::uint8_t>(kNavFirstSatNumber[sv_.sys] + sv_.si);
  r.tow = static_cast<std::uint32_t>(eph_.sf1Time);
  r.flags = static_cast<std::uint16_t>(f.flags | (eph_.howFlags & 1) << 4 | (eph_.howFlags & 2) << 4);
  r.iodc = static_cast<std::int16_t>(f.iodc);
  r.toc = static_cast<std::int32_t>(f.toc) * 16;
  r.ura = static_cast<std::int8_t>(f.ura);
  r.health = f.health;
  r.week = f.wn;
  r.tgd = static_cast<float>(scaled(f.tgd, 31));
  r.af2 = static_cast<float>(scaled(f.af2, 55));
  r.af1 = static_cast<float>(scaled(f.af1, 43));
  r.af0 = scaled(f.af0, 31);
  r.iode = f.iode2;
  r.toe = static_cast<std::uint32_t>(f.toe) * 16;
  r.sqrtA = scaled(f.sqrtA, 19);
  r.e = scaled(f.e, 33);
  r.M0 = scaled(f.m0, 31);
  r.Omega0 = scaled(f.omega0, 31);
  r.i0 = scaled(f.i0, 31);
  r.omega = scaled(f.omega, 31);
  r.deltaN = static_cast<float>(scaled(f.dn, 43));
  r.OmegaDot = static_cast<float>(scaled(f.omegaDot, 43));
  r.idot = static_cast<float>(scaled(f.idot, 43));
  r.cuc = static_cast<float>(scaled(f.cuc, 29));
  r.cus = static_cast<float>(scaled(f.cus, 29));
  r.cic = static_cast<float>(scaled(f.cic, 29));
  r.cis = static_cast<float>(scaled(f.cis, 29));
  r.crs = static_cast<float>(scaled(f.crs, 5));
  r.crc = static_cast<float>(scaled(f.crc, 5));
  r.source = eph_.signalMask;
}

void GpsNavDataDecoderType::process_EphemerisData() {
  if (!eph_.check()) return;
  if (ghostCheck(eph_.signalMask, [this](const EphFields& o) { return compare_RawData(o); })) {
    ZRT_EPH_GPS rec;
    fill_EphRecord(rec);
    const auto crc16 = static_cast<std::uint16_t>(GbasCRC16.ComputeCRC(eph_.crcBuf, 0, 576));
    const bool confirmed = repeats(crc16, eph_.f.iodc);
    rec.rawCheck = crc16;
    navDecoderLinks.gbasEphIntegrity(sv_, eph_.f.iode2, crc16);
    commitEphemeris(eph_.f, static_cast<int>(sizeof(EphFields) * 8), &rec, eph_.signalMask,
                    (eph_.f.health & 0x20) == 0, confirmed);
  }
  eph_.reset();
}
