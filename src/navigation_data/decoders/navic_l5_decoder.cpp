// NavIC L5 decoder: pool, subframe dispatch, ephemeris with its ghost check, almanac, UTC and
// ionosphere messages.
#include "navigation_data/decoders/navic_l5_decoder.h"

#include <cstring>

#include "navigation_data/bit_extract.h"

IrnssL5NavDataDecoderType::UtcDataType IrnssL5NavDataDecoderType::utcData = {};

IrnssL5NavDataDecoderType IrnssL5NavDataDecoderInstance[IrnssL5NavDataDecoderType::kPoolSize];

namespace {

constexpr int kMsgAlmanac = 7;
constexpr int kMsgUtc = 9;
constexpr int kMsgIono = 11;
constexpr int kMsgUtcGnss = 26;
constexpr int kMsgDiffCorr = 14;
constexpr std::uint32_t kGnssIdGps = 0;

std::uint32_t u(const std::uint32_t* w, int bit, int n) { return IrnssDecUtility::extract(w, bit, n); }
std::int32_t s(const std::uint32_t* w, int bit, int n) {
  return static_cast<std::int32_t>(IrnssDecUtility::extract_DataField(w, bit, n, true));
}

}  // namespace

// ---- pool -------------------------------------------------------------------------------------

IrnssL5NavDataDecoderType::IrnssL5NavDataDecoderType() { reset(); }

void IrnssL5NavDataDecoderType::reset() {
  resetShared();
  eph_.clear();
  towc_ = kNoTowc;
  week_ = kNoWeek;
}

IrnssL5NavDataDecoderType* get_IrnssL5NavDataDecoder(const NavDecoderTime* time, const SvIdType* sv) {
  return IrnssL5NavDataDecoderType::select(time, sv);
}

// ---- one subframe -----------------------------------------------------------------------------

void IrnssL5NavDataDecoderType::update(const NavDecoderTime& time, SvIdType sv, std::uint8_t signal,
                                       const std::uint32_t* words, int numWords, float cn0) {
  if (!intake(time, sv, sv.sys == kSysNavic, words, numWords, kSubframeWords, cn0)) return;

  towc_ = u(words, 9, 17);
  const std::uint8_t alert = static_cast<std::uint8_t>(u(words, 26, 1));
  const int subframe = static_cast<int>(u(words, 28, 2));
  const std::uint32_t bit = signal < 32 ? 1u << signal : 0u;
  if (subframe <= 1) {
    // Taken whenever it arrives: a later copy replaces the earlier one.
    if (subframe == 0) {
      decodeSubframe1(words);
      eph_.towc = towc_;
      eph_.alert = alert;
      eph_.autonav = static_cast<std::uint8_t>(u(words, 27, 1));
    } else {
      decodeSubframe2(words);
    }
    eph_.arrived[subframe] = true;
    eph_.signalMask |= bit;
    process_EphemerisData();
    return;
  }
  // The messages of a satellite in alert are not to be used.
  if (alert != 0) return;
  switch (static_cast<int>(u(words, 31, 6))) {
    case kMsgAlmanac:
      process_Almanac(words);
      break;
    case kMsgIono:
      process_Ionosphere(words);
      break;
    case kMsgUtc:
    case kMsgUtcGnss:
      process_Utc(words);
      break;
    case kMsgDiffCorr:
      process_DiffCorrection(words);
      break;
    default:
      break;
  }
}

// ---- ephemeris --------------------------------------------------------------------------------

void IrnssL5NavDataDecoderType::EphemerisDataType::clear() { std::memset(this, 0, sizeof *this); }

void IrnssL5NavDataDecoderType::decodeSubframe1(const std::uint32_t* w) {
  RawEphemeris& r = eph_.raw;
  r.wn = static_cast<std::uint16_t>(u(w, 31, 10));
  r.af0 = s(w, 41, 22);
  r.af1 = static_cast<std::int16_t>(s(w, 63, 16));
  r.af2 = static_cast<std::int8_t>(s(w, 79, 8));
  r.ura = static_cast<std::uint8_t>(u(w, 87, 4));
  r.toc = static_cast<std::uint16_t>(u(w, 91, 16));
  r.tgd = static_cast<std::int8_t>(s(w, 107, 8));
  r.dn = s(w, 115, 22);
  r.iodec = static_cast<std::uint8_t>(u(w, 137, 8));
  r.health = static_cast<std::uint8_t>(u(w, 155, 2));
  r.cuc = static_cast<std::int16_t>(s(w, 157, 15));
  r.cus = static_cast<std::int16_t>(s(w, 172, 15));
  r.cic = static_cast<std::int16_t>(s(w, 187, 15));
  r.cis = static_cast<std::int16_t>(s(w, 202, 15));
  r.crc = static_cast<std::int16_t>(s(w, 217, 15));
  r.crs = static_cast<std::int16_t>(s(w, 232, 15));
  r.idot = static_cast<std::int16_t>(s(w, 247, 14));
}

void IrnssL5NavDataDecoderType::decodeSubframe2(const std::uint32_t* w) {
  RawEphemeris& r = eph_.raw;
  r.m0 = s(w, 31, 32);
  r.toe = static_cast<std::uint16_t>(u(w, 63, 16));
  r.e = u(w, 79, 32);
  r.sqrtA = u(w, 111, 32);
  r.omega0 = s(w, 143, 32);
  r.omega = s(w, 175, 32);
  r.omegaDot = s(w, 207, 22);
  r.i0 = s(w, 229, 32);
}

void IrnssL5NavDataDecoderType::fill_EphRecord(ZRT_EPH_IRS& r) const {
  const RawEphemeris& f = eph_.raw;
  std::memset(&r, 0, sizeof r);
  r.prn = static_cast<std::uint8_t>(sv_.si + kNavFirstSatNumber[kSysNavic]);
  r.tow = eph_.towc * 12u;
  r.flags = static_cast<std::uint16_t>((eph_.alert ? 0x20u : 0u) | (eph_.autonav ? 0x01u : 0u));
  r.iodec = f.iodec;
  r.toc = static_cast<std::int32_t>(f.toc) * 16;
  r.week = f.wn;
  r.ura = f.ura;
  r.health = f.health;
  r.tgd = static_cast<float>(scaled(f.tgd, 31));
  r.af2 = static_cast<float>(scaled(f.af2, 55));
  r.af1 = static_cast<float>(scaled(f.af1, 43));
  r.af0 = scaled(f.af0, 31);
  r.iodec2 = f.iodec;
  r.toe = static_cast<std::uint32_t>(f.toe) * 16u;
  r.sqrtA = scaled(f.sqrtA, 19);
  r.e = scaled(f.e, 33);
  r.M0 = scaled(f.m0, 31);
  r.Omega0 = scaled(f.omega0, 31);
  r.i0 = scaled(f.i0, 31);
  r.omega = scaled(f.omega, 31);
  r.deltaN = static_cast<float>(scaled(f.dn, 41));
  r.OmegaDot = static_cast<float>(scaled(f.omegaDot, 41));
  r.idot = static_cast<float>(scaled(f.idot, 43));
  r.crc = static_cast<float>(scaled(f.crc, 4));
  r.crs = static_cast<float>(scaled(f.crs, 4));
  r.cuc = static_cast<float>(scaled(f.cuc, 28));
  r.cus = static_cast<float>(scaled(f.cus, 28));
  r.cic = static_cast<float>(scaled(f.cic, 28));
  r.cis = static_cast<float>(scaled(f.cis, 28));
  r.signals = 1;  // L5
}

void IrnssL5NavDataDecoderType::process_EphemerisData() {
  // A pair whose clock and orbit reference times differ is two issues: wait for the copy that
  // completes either one.
  if (!eph_.arrived[0] || !eph_.arrived[1] || eph_.raw.toc != eph_.raw.toe) return;
  const RawEphemeris& f = eph_.raw;
  const auto signals = static_cast<std::uint8_t>(eph_.signalMask);
  if (ghostCheck(signals, [&f](const RawEphemeris& g) {
        return f.toe == g.toe && f.e == g.e && f.m0 == g.m0 && f.omega0 == g.omega0 && f.omega == g.omega;
      })) {
    ZRT_EPH_IRS rec;
    fill_EphRecord(rec);
    week_ = f.wn;
    commitEphemeris(f, kIdentityBits, &rec, signals, (f.health & 0x02u) == 0, true);
  }
  eph_.clear();
}

// ---- messages ---------------------------------------------------------------------------------

void IrnssL5NavDataDecoderType::process_Almanac(const std::uint32_t* w) {
  const int prn = static_cast<int>(u(w, 237, 6));
  // The record names a satellite by PRN: one outside the constellation has no slot.
  if (prn < 1 || prn > SYS_SAT_NUM[kSysNavic]) return;
  ZRT_ALM_IRS a{};
  a.prn = static_cast<std::uint8_t>(prn);
  a.week = static_cast<std::int16_t>(u(w, 37, 10));
  a.e = static_cast<float>(scaled(u(w, 47, 16), 21));
  a.toa = static_cast<std::int32_t>(u(w, 63, 16)) * 16;
  a.i0 = static_cast<float>(scaled(s(w, 79, 24), 23));
  a.OmegaDot = static_cast<float>(scaled(s(w, 103, 16), 38));
  a.sqrtA = static_cast<float>(scaled(u(w, 119, 24), 11));
  a.Omega0 = static_cast<float>(scaled(s(w, 143, 24), 23));
  a.omega = static_cast<float>(scaled(s(w, 167, 24), 23));
  a.M0 = static_cast<float>(scaled(s(w, 191, 24), 23));
  a.af0 = static_cast<float>(scaled(s(w, 215, 11), 20));
  a.af1 = static_cast<float>(scaled(s(w, 226, 11), 38));
  a.isc = static_cast<float>(scaled(s(w, 243, 8), 31));
  const auto idx = static_cast<std::uint8_t>(prn - 1);
  if (store_ != nullptr) store_->update_AlmanacData(SvIdType{idx, kSysNavic, 0, idx}, 0, &a, false);
}

void IrnssL5NavDataDecoderType::process_Ionosphere(const std::uint32_t* w) const {
  std::int8_t alpha[4], beta[4];
  for (int k = 0; k < 4; ++k) {
    alpha[k] = static_cast<std::int8_t>(s(w, 175 + 8 * k, 8));
    beta[k] = static_cast<std::int8_t>(s(w, 207 + 8 * k, 8));
  }
  ZRT_ION_GPS ion{};
  setKlobuchar(ion, alpha, beta);
  ion.tow = towc_ * 12u;
  ion.week = week_;
  ion.valid = 1;
  ion.satIdx = sv_.si;
  navDecoderLinks.klobuchar(kSysNavic, &ion);
}

// Messages 9 and 26 both carry NavIC-UTC in bits 37-128; bits 129-193 give the offset to the
// GNSS named by its id, of which the store takes GPS's.
void IrnssL5NavDataDecoderType::process_Utc(const std::uint32_t* w) {
  UtcDataType& d = utcData;
  d.a0utc = s(w, 37, 16);
  d.a1utc = s(w, 53, 13);
  d.a2utc = s(w, 66, 7);
  d.dtls = s(w, 73, 8);
  d.t0utc = u(w, 81, 16);
  d.wnoutc = u(w, 97, 10);
  d.wnlsf = u(w, 107, 10);
  d.dn = u(w, 117, 4);
  d.dtlsf = s(w, 121, 8);
  d.utcSeen = true;
  if (u(w, 191, 3) == kGnssIdGps) {
    d.a0 = s(w, 129, 16);
    d.a1 = s(w, 145, 13);
    d.a2 = s(w, 158, 7);
    d.t0 = u(w, 165, 16);
    d.wn = u(w, 181, 10);
    d.gnssId = kGnssIdGps;
    d.gnssSeen = true;
  }
  ZRT_UTC_IRS r{};
  r.A0 = scaled(d.a0utc, 35);
  r.A1 = static_cast<float>(scaled(d.a1utc, 51));
  r.A2 = static_cast<float>(scaled(d.a2utc, 68));
  r.tot = d.t0utc * 16u;
  r.WNt = static_cast<std::uint16_t>(d.wnoutc);
  r.dtLS = static_cast<std::int8_t>(d.dtls);
  r.dtLSF = static_cast<std::int8_t>(d.dtlsf);
  r.WN_LSF = static_cast<std::uint16_t>(d.wnlsf);
  r.DN = static_cast<std::uint8_t>(d.dn);
  r.gnssId = 255;
  if (d.gnssSeen) {
    r.gnssA0 = static_cast<float>(scaled(d.a0, 35));
    r.gnssA1 = static_cast<float>(scaled(d.a1, 51));
    r.gnssA2 = static_cast<float>(scaled(d.a2, 68));
    r.gnssT0 = d.t0 * 16u;
    r.gnssWeek = static_cast<std::uint16_t>(d.wn);
    r.gnssId = 0;
  }
  if (store_ != nullptr) store_->update_UtcData(kSysNavic, 0, &r);
}

// Message 14: the clock and orbit corrections of one NavIC satellite, in the record GPS CNAV
// fills for its own; the store answers for the target's record.
void IrnssL5NavDataDecoderType::process_DiffCorrection(const std::uint32_t* w) {
  const int prn = static_cast<int>(u(w, 38, 6));
  if (prn < 1 || prn > SYS_SAT_NUM[kSysNavic] || store_ == nullptr) return;
  const auto idx = static_cast<std::uint8_t>(prn - 1);
  const SvIdType target{idx, kSysNavic, 0, idx};
  NavData::GpsCnavDCDataType r{};
  if (store_->take_GpsCnavDCData(target, &r) == 0) return;
  r.topD = r.tod = u(w, 172, 16) * 16u;
  r.daf0 = static_cast<float>(scaled(s(w, 44, 13), 35));
  r.daf1 = static_cast<float>(scaled(s(w, 57, 8), 51));
  r.dAlpha = static_cast<float>(scaled(s(w, 70, 14), 35));
  r.dBeta = static_cast<float>(scaled(s(w, 84, 14), 35));
  r.dGamma = static_cast<float>(scaled(s(w, 98, 15), 32));
  r.dI = static_cast<float>(scaled(s(w, 113, 12), 32));
  r.dOmega = static_cast<float>(scaled(s(w, 125, 12), 32));
  r.dA = static_cast<float>(scaled(s(w, 137, 12), 9));
  // Valid with both parts, of the first DC data type.
  r.flags = static_cast<std::uint8_t>((r.flags & ~0x02u) | 0x0Du);
  store_->update_GpsCnavDCData(target, r);
}
