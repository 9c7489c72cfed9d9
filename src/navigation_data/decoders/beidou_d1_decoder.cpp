// BeiDou D1 decoder: pool, subframe dispatch, ephemeris and its ghost check. Almanac, health
// and UTC pages are in beidou_almanac.cpp.
#include "navigation_data/decoders/beidou_d1_decoder.h"

#include <cstring>

#include "navigation_data/bit_extract.h"

CompAlmanacDataType CompD1NavDataDecoderType::almanac_;

CompD1NavDataDecoderType CompD1NavDataDecoderInstance[CompD1NavDataDecoderType::kPoolSize];

namespace {
using CompBits::u;
using CompBits::s;
using CompBits::u2;
using CompBits::s2;

constexpr int kIssueSpan = 720;       // s per issue number derived from toc and toe
constexpr int kIssueCycle = 240;

}  // namespace

// ---- pool -------------------------------------------------------------------------------------

CompD1NavDataDecoderType::CompD1NavDataDecoderType() { reset(); }

void CompD1NavDataDecoderType::reset() {
  resetShared();
  eph_.clear();
  sow_ = kNoSow;
  week_ = -1;
  lastPage8Toa_ = -1;
  lastPage8Wna_ = -1;
}

CompD1NavDataDecoderType* get_CompD1NavDataDecoder(const NavDecoderTime* time, const SvIdType* sv) {
  return CompD1NavDataDecoderType::select(time, sv);
}

// ---- one subframe -----------------------------------------------------------------------------

void CompD1NavDataDecoderType::update(const NavDecoderTime& time, SvIdType sv, std::uint8_t signal,
                                      const std::uint32_t* words, int numWords, float cn0) {
  if (!intake(time, sv, sv.sys == kSysBeidou, words, numWords, kSubframeWords, cn0)) return;

  const int fraId = static_cast<int>(u(words, 16, 3));
  if (fraId < 1 || fraId > 5) return;
  const std::uint32_t sow = u2(words, 19, 8, 31, 12);
  const std::uint32_t arrivalMs = sow * 1000u;
  const std::uint32_t bit = signal < 32 ? 1u << signal : 0u;
  const int index = fraId - 1;
  switch (fraId) {
    case 1:
      eph_.clear();
      decodeSubframe1(words);
      sow_ = sow;
      week_ = static_cast<int>(eph_.raw.wn);
      eph_.sow1 = sow;
      break;
    case 2:
      if (!eph_.arrived[index]) decodeSubframe2(words);
      break;
    case 3:
      if (!eph_.arrived[index]) decodeSubframe3(words);
      break;
    default:
      if (ephStored_ && ephHealthy_) {
        const int page = static_cast<int>(u(words, 44, 7));
        if (fraId == 4 && page >= 1 && page <= 24) {
          almanac_.decodeAlmanacPage(words, page - 1);
        } else if (fraId == 5 && page >= 1 && page <= 6) {
          almanac_.decodeAlmanacPage(words, 24 + page - 1);
        } else if (fraId == 5 && page == 7) {
          almanac_.decodeHealthPage1(words, lastPage8Toa_, lastPage8Wna_);
        } else if (fraId == 5 && page == 8) {
          almanac_.decodeHealthPage2(words, lastPage8Toa_, lastPage8Wna_);
        } else if (fraId == 5 && page == 10) {
          almanac_.decodeUtcPage(words, week_);
        }
      }
      break;
  }
  if (fraId <= 3 && !eph_.arrived[index]) {
    eph_.arrived[index] = true;
    eph_.arrivalMs[index] = arrivalMs;
    eph_.signalMask |= bit;
  }
  process_EphemerisData();
  almanac_.process(store_, week_, sow);
  almanac_.processUtc(store_);
}

// ---- ephemeris --------------------------------------------------------------------------------

void CompD1NavDataDecoderType::decodeSubframe1(const std::uint32_t* w) {
  RawEphemeris& r = eph_.raw;
  r.satH1 = static_cast<std::uint8_t>(u(w, 43, 1));
  r.aodc = static_cast<std::uint8_t>(u(w, 44, 5));
  r.urai = static_cast<std::uint8_t>(u(w, 49, 4));
  r.wn = static_cast<std::uint16_t>(u(w, 61, 13));
  r.toc = u2(w, 74, 9, 91, 8);
  r.tgd1 = s(w, 99, 10);
  r.tgd2 = s2(w, 109, 4, 121, 6);
  const int alphaBit[4] = {127, 135, 151, 159};
  for (int k = 0; k < 4; ++k) r.alpha[k] = static_cast<std::int8_t>(s(w, alphaBit[k], 8));
  r.beta[0] = static_cast<std::int8_t>(s2(w, 167, 6, 181, 2));
  r.beta[1] = static_cast<std::int8_t>(s(w, 183, 8));
  r.beta[2] = static_cast<std::int8_t>(s(w, 191, 8));
  r.beta[3] = static_cast<std::int8_t>(s2(w, 199, 4, 211, 4));
  r.a2 = s(w, 215, 11);
  r.a0 = s2(w, 226, 7, 241, 17);
  r.a1 = s2(w, 258, 5, 271, 17);
  r.aode = static_cast<std::uint8_t>(u(w, 288, 5));
}

void CompD1NavDataDecoderType::decodeSubframe2(const std::uint32_t* w) {
  RawEphemeris& r = eph_.raw;
  r.dn = static_cast<std::int16_t>(s2(w, 43, 10, 61, 6));
  r.cuc = s2(w, 67, 16, 91, 2);
  r.m0 = s2(w, 93, 20, 121, 12);
  r.e = u2(w, 133, 10, 151, 22);
  r.cus = s(w, 181, 18);
  r.crc = s2(w, 199, 4, 211, 14);
  r.crs = s2(w, 225, 8, 241, 10);
  r.sqrtA = u2(w, 251, 12, 271, 20);
  r.toe = (r.toe & 0x7FFFu) | u(w, 291, 2) << 15;
}

void CompD1NavDataDecoderType::decodeSubframe3(const std::uint32_t* w) {
  RawEphemeris& r = eph_.raw;
  r.toe = (r.toe & 0x18000u) | u2(w, 43, 10, 61, 5);
  r.i0 = s2(w, 66, 17, 91, 15);
  r.cic = s2(w, 106, 7, 121, 11);
  r.omegaDot = s2(w, 132, 11, 151, 13);
  r.cis = s2(w, 164, 9, 181, 9);
  r.idot = static_cast<std::int16_t>(s2(w, 190, 13, 211, 1));
  r.omega0 = s2(w, 212, 21, 241, 11);
  r.omega = s2(w, 252, 11, 271, 21);
}

void CompD1NavDataDecoderType::fill_EphRecord(const RawEphemeris& f, SvIdType sv, std::uint32_t sow1,
                                              std::uint32_t signalMask, std::uint16_t flags, ZRT_EPH_CMP& r) {
  std::memset(&r, 0, sizeof r);
  r.prn = static_cast<std::uint8_t>(sv.si + 1);
  r.tow = sow1;
  r.flags = flags;
  r.week = f.wn;
  r.urai = f.urai;
  r.health = f.satH1;
  r.toc = static_cast<std::int32_t>(f.toc * 8);
  r.iodc = static_cast<std::int16_t>((f.toc * 8 / kIssueSpan) % kIssueCycle);
  r.aodc = f.aodc;
  r.af0 = scaled(f.a0, 33);
  r.af1 = static_cast<float>(scaled(f.a1, 50));
  r.af2 = static_cast<float>(scaled(f.a2, 66));
  r.tgd1 = static_cast<float>(f.tgd1 * 1e-10);
  r.tgd2 = static_cast<float>(f.tgd2 * 1e-10);
  r.toe = f.toe * 8;
  r.iode = static_cast<std::uint16_t>((f.toe * 8 / kIssueSpan) % kIssueCycle);
  r.aode = f.aode;
  r.sqrtA = scaled(f.sqrtA, 19);
  r.e = scaled(f.e, 33);
  r.M0 = scaled(f.m0, 31);
  r.Omega0 = scaled(f.omega0, 31);
  r.i0 = scaled(f.i0, 31);
  r.omega = scaled(f.omega, 31);
  r.deltaN = static_cast<float>(scaled(f.dn, 43));
  r.OmegaDot = static_cast<float>(scaled(f.omegaDot, 43));
  r.idot = static_cast<float>(scaled(f.idot, 43));
  r.crc = static_cast<float>(scaled(f.crc, 6));
  r.crs = static_cast<float>(scaled(f.crs, 6));
  r.cuc = static_cast<float>(scaled(f.cuc, 31));
  r.cus = static_cast<float>(scaled(f.cus, 31));
  r.cic = static_cast<float>(scaled(f.cic, 31));
  r.cis = static_cast<float>(scaled(f.cis, 31));
  r.signals = static_cast<std::uint8_t>(signalMask);
}

void CompD1NavDataDecoderType::putIonosphere(const RawEphemeris& f, SvIdType sv, std::uint32_t sow1) {
  ZRT_ION_GPS ion{};
  setKlobuchar(ion, f.alpha, f.beta);
  ion.tow = sow1;
  ion.week = f.wn;
  ion.valid = 1;
  ion.satIdx = sv.si;
  navDecoderLinks.klobuchar(kSysBeidou, &ion);
}

void CompD1NavDataDecoderType::process_EphemerisData() {
  if (!eph_.check()) return;
  const RawEphemeris& f = eph_.raw;
  const auto signals = static_cast<std::uint8_t>(eph_.signalMask);
  if (ghostCheck(signals, [&f](const RawEphemeris& g) {
        return f.toe == g.toe && f.e == g.e && f.m0 == g.m0 && f.omega0 == g.omega0 && f.omega == g.omega;
      })) {
    ZRT_EPH_CMP rec;
    fill_EphRecord(f, sv_, eph_.sow1, eph_.signalMask, 0, rec);
    commitEphemeris(f, kIdentityBits, &rec, signals, f.satH1 == 0, true);
    putIonosphere(f, sv_, eph_.sow1);
  }
  // The set is spent; a new subframe 1 starts the next.
  for (bool& a : eph_.arrived) a = false;
}
