// BeiDou D2 decoder: pool, subframe dispatch, the ten ephemeris pages of subframe 1 (BDS-SIS-
// ICD-B1I 3.0 5.3.3.1-5.3.3.7), the integrity and differential data of subframes 2 and 3
// (5.3.3.8) and the ionosphere grid pages of subframe 5 (5.3.3.9). Almanac, health and UTC
// pages are the D1 message's (beidou_almanac.cpp).
#include "navigation_data/decoders/beidou_d2_decoder.h"

#include "navigation_data/bit_extract.h"

CompAlmanacDataType CompD2NavDataDecoderType::almanac_;

CompD2NavDataDecoderType CompD2NavDataDecoderInstance[CompD2NavDataDecoderType::kPoolSize];

namespace {
using CompBits::u;
using CompBits::s;
using CompBits::u2;
using CompBits::s2;

using D2 = CompD2NavDataDecoderType;

// Subframe 5 pages.
constexpr int kGridPages1First = 1, kGridPages1Last = 13;   // grid blocks 0-12
constexpr int kGridPages2First = 61, kGridPages2Last = 73;  // grid blocks 13-25
constexpr int kHealthPage1 = 35, kHealthPage2 = 36;
constexpr int kAlmPages1First = 37, kAlmPages1Last = 60;    // satellites 1-24
constexpr int kAlmPages2First = 95, kAlmPages2Last = 100;   // satellites 25-30
constexpr int kUtcPage = 102;

std::uint32_t u3(const std::uint32_t* w, int b1, int n1, int b2, int n2, int b3, int n3) {
  return static_cast<std::uint32_t>(CompDecUtility::extract_DataField(w, b1, n1, b2, n2, b3, n3, false));
}
std::int32_t s3(const std::uint32_t* w, int b1, int n1, int b2, int n2, int b3, int n3) {
  return static_cast<std::int32_t>(CompDecUtility::extract_DataField(w, b1, n1, b2, n2, b3, n3, true));
}
// The high part of a split field, shifted into place (sign kept).
std::int32_t high(std::int32_t v, int shift) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(v) << shift); }

// `count` consecutive `width`-bit fields over the data bits from `bit` on.
void readFields(const std::uint32_t* w, int bit, int width, int count, std::uint16_t* out) {
  for (int k = 0; k < count; ++k) out[k] = static_cast<std::uint16_t>(readDataBits(w, bit, width, 22));
}

// The k-th satellite (0-based, scanning 1 to 30) flagged in a BDID mask, whose bit for satellite
// n is bit 30 - n; -1 when fewer are flagged.
int flaggedSat(std::uint32_t bdid, int k) {
  for (int n = 1; n <= D2::kBdidSats; ++n) {
    if ((bdid >> (D2::kBdidSats - n) & 1u) == 0) continue;
    if (k-- == 0) return n;
  }
  return -1;
}

SvIdType beidou(int prn) {
  const auto si = static_cast<std::uint8_t>(prn - 1);
  return SvIdType{si, kSysBeidou, 0, si};
}

}  // namespace

// ---- pool -------------------------------------------------------------------------------------

CompD2NavDataDecoderType::CompD2NavDataDecoderType() { reset(); }

void CompD2NavDataDecoderType::reset() {
  resetShared();
  eph_.clear();
  udre_ = UDREDataType{};
  corr_ = DiffCorrDataType{};
  iono_ = IonoCorrDataType{};
  sow_ = kNoSow;
  week_ = -1;
  diffEnabled_ = false;
  ionoEnabled_ = false;
  lastPage36Toa_ = -1;
  lastPage36Wna_ = -1;
}

CompD2NavDataDecoderType* get_CompD2NavDataDecoder(const NavDecoderTime* time, const SvIdType* sv) {
  return CompD2NavDataDecoderType::select(time, sv);
}

// ---- one subframe -----------------------------------------------------------------------------

void CompD2NavDataDecoderType::update(const NavDecoderTime& time, SvIdType sv, std::uint8_t signal,
                                      const std::uint32_t* words, int numWords, float cn0) {
  if (!intake(time, sv, sv.sys == kSysBeidou, words, numWords, kSubframeWords, cn0)) return;

  const int fraId = static_cast<int>(u(words, 16, 3));
  if (fraId < 1 || fraId > 5) return;
  const std::uint32_t sow = u2(words, 19, 8, 31, 12);
  const std::uint32_t arrivalMs = sow * 1000u;
  switch (fraId) {
    case 1: {
      const int page = static_cast<int>(u(words, 43, 4));
      if (page < 1 || page > kEphPages) break;
      if (page == 1) eph_.clear();
      const int index = page - 1;
      if (!eph_.arrived[index]) {
        decodePage(words, page);
        eph_.arrived[index] = true;
        eph_.arrivalMs[index] = arrivalMs;
        eph_.signalMask |= signal < 32 ? 1u << signal : 0u;
        if (page == 1) eph_.sow1 = sow;
      }
      sow_ = sow;
      if (eph_.arrived[0]) week_ = static_cast<int>(eph_.raw.wn);
      break;
    }
    case 2:
      if (ephStored_ && ephHealthy_) decodeSubframe2(words, arrivalMs);
      break;
    case 3:
      if (ephStored_ && ephHealthy_ && diffEnabled_) decodeSubframe3(words, arrivalMs);
      break;
    case 5:
      if (ephStored_ && ephHealthy_) decodeSubframe5(words, arrivalMs);
      break;
    default:  // subframe 4 carries nothing the receiver uses
      break;
  }
  process_EphemerisData();
  almanac_.process(store_, week_, sow);
  almanac_.processUtc(store_);
  process_UDREData();
  process_DiffCorrData();
  process_IonoCorrData();
  navDecoderLinks.compSourceState(poolIndex_, sv_, time_.ulTimeTag);
}

// ---- ephemeris --------------------------------------------------------------------------------

void CompD2NavDataDecoderType::decodePage(const std::uint32_t* w, int page) {
  RawEphemeris& r = eph_.raw;
  switch (page) {
    case 1:
      r.satH1 = static_cast<std::uint8_t>(u(w, 47, 1));
      r.aodc = static_cast<std::uint8_t>(u(w, 48, 5));
      r.urai = static_cast<std::uint8_t>(u(w, 61, 4));
      r.wn = static_cast<std::uint16_t>(u(w, 65, 13));
      r.toc = u2(w, 78, 5, 91, 12);
      r.tgd1 = s(w, 103, 10);
      r.tgd2 = s(w, 121, 10);
      break;
    case 2:
      r.alpha[0] = static_cast<std::int8_t>(s2(w, 47, 6, 61, 2));
      r.alpha[1] = static_cast<std::int8_t>(s(w, 63, 8));
      r.alpha[2] = static_cast<std::int8_t>(s(w, 71, 8));
      r.alpha[3] = static_cast<std::int8_t>(s2(w, 79, 4, 91, 4));
      r.beta[0] = static_cast<std::int8_t>(s(w, 95, 8));
      r.beta[1] = static_cast<std::int8_t>(s(w, 103, 8));
      r.beta[2] = static_cast<std::int8_t>(s2(w, 111, 2, 121, 6));
      r.beta[3] = static_cast<std::int8_t>(s(w, 127, 8));
      break;
    case 3:
      r.a0 = s2(w, 101, 12, 121, 12);
      r.a1High = high(s(w, 133, 4), 18);
      break;
    case 4:
      r.a1Low = static_cast<std::int32_t>(u2(w, 47, 6, 61, 12));
      r.a2 = s2(w, 73, 10, 91, 1);
      r.aode = static_cast<std::uint8_t>(u(w, 92, 5));
      r.dn = static_cast<std::int16_t>(s(w, 97, 16));
      r.cucHigh = high(s(w, 121, 14), 4);
      break;
    case 5:
      r.cucLow = static_cast<std::int32_t>(u(w, 47, 4));
      r.m0 = s3(w, 51, 2, 61, 22, 91, 8);
      r.cus = s2(w, 99, 14, 121, 4);
      r.eHigh = u(w, 125, 10) << 22;
      break;
    case 6:
      r.eLow = u2(w, 47, 6, 61, 16);
      r.sqrtA = u3(w, 77, 6, 91, 22, 121, 4);
      r.cicHigh = high(s(w, 125, 10), 8);
      break;
    case 7:
      r.cicLow = static_cast<std::int32_t>(u2(w, 47, 6, 61, 2));
      r.cis = s(w, 63, 18);
      r.toe = u2(w, 81, 2, 91, 15);
      r.i0High = high(s2(w, 106, 7, 121, 14), 11);
      break;
    case 8:
      r.i0Low = static_cast<std::int32_t>(u2(w, 47, 6, 61, 5));
      r.crc = s2(w, 66, 17, 91, 1);
      r.crs = s(w, 92, 18);
      r.omegaDotHigh = high(s2(w, 110, 3, 121, 16), 5);
      break;
    case 9:
      r.omegaDotLow = static_cast<std::int32_t>(u(w, 47, 5));
      r.omega0 = s3(w, 52, 1, 61, 22, 91, 9);
      r.omegaHigh = high(s2(w, 100, 13, 121, 14), 5);
      break;
    default:  // page 10
      r.omegaLow = static_cast<std::int32_t>(u(w, 47, 5));
      r.idot = static_cast<std::int16_t>(s2(w, 52, 1, 61, 13));
      break;
  }
}

CompD1NavDataDecoderType::RawEphemeris CompD2NavDataDecoderType::join(const RawEphemeris& r) {
  CompD1NavDataDecoderType::RawEphemeris j{};
  j.wn = r.wn;
  j.urai = r.urai;
  j.satH1 = r.satH1;
  j.toc = r.toc;
  j.aodc = r.aodc;
  j.aode = r.aode;
  j.toe = r.toe;
  j.sqrtA = r.sqrtA;
  j.e = r.eHigh | r.eLow;
  j.m0 = r.m0;
  j.omega = r.omegaHigh | r.omegaLow;
  j.omega0 = r.omega0;
  j.i0 = r.i0High | r.i0Low;
  j.dn = r.dn;
  j.omegaDot = r.omegaDotHigh | r.omegaDotLow;
  j.idot = r.idot;
  j.cuc = r.cucHigh | r.cucLow;
  j.cus = r.cus;
  j.crc = r.crc;
  j.crs = r.crs;
  j.cic = r.cicHigh | r.cicLow;
  j.cis = r.cis;
  j.a0 = r.a0;
  j.a1 = r.a1High | r.a1Low;
  j.a2 = r.a2;
  j.tgd1 = r.tgd1;
  j.tgd2 = r.tgd2;
  for (int k = 0; k < 4; ++k) {
    j.alpha[k] = r.alpha[k];
    j.beta[k] = r.beta[k];
  }
  return j;
}

void CompD2NavDataDecoderType::process_EphemerisData() {
  if (!eph_.check()) return;
  const RawEphemeris& f = eph_.raw;
  const auto signals = static_cast<std::uint8_t>(eph_.signalMask);
  if (ghostCheck(signals, [&f](const RawEphemeris& g) {
        return f.toe == g.toe && f.eHigh == g.eHigh && f.eLow == g.eLow && f.m0 == g.m0 && f.omega0 == g.omega0 &&
               f.omegaHigh == g.omegaHigh && f.omegaLow == g.omegaLow;
      })) {
    const CompD1NavDataDecoderType::RawEphemeris joined = join(f);
    ZRT_EPH_CMP rec;
    CompD1NavDataDecoderType::fill_EphRecord(joined, sv_, eph_.sow1, eph_.signalMask, kRecordFlags, rec);
    commitEphemeris(f, kIdentityBits, &rec, signals, f.satH1 == 0, true);
    CompD1NavDataDecoderType::putIonosphere(joined, sv_, eph_.sow1);
  }
  // The set is spent; a new page 1 starts the next.
  for (bool& a : eph_.arrived) a = false;
}

// ---- subframes 2 and 3: UDRE indices and equivalent clock corrections ---------------------------

void CompD2NavDataDecoderType::decodeSubframe2(const std::uint32_t* w, std::uint32_t arrivalMs) {
  diffEnabled_ = u(w, 48, 1) == 0;
  ionoEnabled_ = u(w, 49, 1) == 0;
  if (!diffEnabled_) return;
  const std::uint32_t bdid = u3(w, 50, 3, 61, 22, 91, 5);
  udre_.valid = true;
  udre_.timeMs = arrivalMs;
  udre_.bdid = bdid;
  std::uint16_t v[kUdreSats];
  readFields(w, 172, 4, kUdreSats, v);
  for (int k = 0; k < kUdreSats; ++k) udre_.udrei[k] = static_cast<std::uint8_t>(v[k]);
  // Subframe 3 follows subframe 2 in its frame: a part of an older frame waiting is stale.
  corr_ = DiffCorrDataType{};
  corr_.sf2Valid = true;
  corr_.sf2TimeMs = arrivalMs;
  corr_.page = static_cast<int>(u(w, 44, 4));
  corr_.bdid = bdid;
  corr_.index[0] = static_cast<std::uint8_t>(u(w, 276, 4));
  corr_.dt[0] = static_cast<std::int16_t>(s(w, 280, 13));
}

void CompD2NavDataDecoderType::decodeSubframe3(const std::uint32_t* w, std::uint32_t arrivalMs) {
  corr_.sf3Valid = true;
  corr_.sf3TimeMs = arrivalMs;
  corr_.index[1] = static_cast<std::uint8_t>(u(w, 44, 4));
  corr_.dt[1] = static_cast<std::int16_t>(s2(w, 48, 5, 61, 8));
  corr_.index[2] = static_cast<std::uint8_t>(u(w, 69, 4));
  corr_.dt[2] = static_cast<std::int16_t>(s2(w, 73, 10, 91, 3));
}

void CompD2NavDataDecoderType::process_UDREData() {
  if (!udre_.valid) return;
  for (int k = 0; k < kUdreSats; ++k) {
    const int prn = flaggedSat(udre_.bdid, k);
    if (prn < 0) break;
    const auto udrei = static_cast<std::uint8_t>(udre_.udrei[k] & 0x0F);
    navDecoderLinks.compUdre(poolIndex_, sv_, beidou(prn), udrei, udre_.timeMs);
  }
  udre_ = UDREDataType{};
}

void CompD2NavDataDecoderType::process_DiffCorrData() {
  // A lone part waits for its partner of the same frame.
  if (!corr_.sf2Valid || !corr_.sf3Valid) return;
  if (corr_.sf2TimeMs == corr_.sf3TimeMs && corr_.page >= 1) {
    for (int j = 0; j < kCorrPerPage; ++j) {
      const int k = kCorrPerPage * (corr_.page - 1) + j;
      if (k >= kUdreSats || corr_.dt[j] == kNoCorrection) continue;
      const int prn = flaggedSat(corr_.bdid, k);
      if (prn < 0) continue;
      navDecoderLinks.compCorrection(poolIndex_, sv_, beidou(prn), corr_.dt[j], corr_.index[j], corr_.sf2TimeMs);
    }
  }
  corr_ = DiffCorrDataType{};
}

// ---- subframe 5 -------------------------------------------------------------------------------

void CompD2NavDataDecoderType::decodeSubframe5(const std::uint32_t* w, std::uint32_t arrivalMs) {
  const int page = static_cast<int>(u(w, 44, 7));
  if (page >= kAlmPages1First && page <= kAlmPages1Last) {
    almanac_.decodeAlmanacPage(w, page - kAlmPages1First);
  } else if (page >= kAlmPages2First && page <= kAlmPages2Last) {
    almanac_.decodeAlmanacPage(w, kAlmPages1Last - kAlmPages1First + 1 + page - kAlmPages2First);
  } else if (page == kHealthPage1) {
    almanac_.decodeHealthPage1(w, lastPage36Toa_, lastPage36Wna_);
  } else if (page == kHealthPage2) {
    almanac_.decodeHealthPage2(w, lastPage36Toa_, lastPage36Wna_);
  } else if (page == kUtcPage) {
    almanac_.decodeUtcPage(w, week_);
  } else if ((page >= kGridPages1First && page <= kGridPages1Last) ||
             (page >= kGridPages2First && page <= kGridPages2Last)) {
    if (!ionoEnabled_) return;
    iono_.valid = true;
    iono_.timeMs = arrivalMs;
    iono_.page = page;
    readFields(w, 51, 13, kGridWords, iono_.word);
  }
}

void CompD2NavDataDecoderType::process_IonoCorrData() {
  if (!iono_.valid) return;
  const int block = iono_.page <= kGridPages1Last ? iono_.page - kGridPages1First
                                                  : iono_.page - kGridPages2First + kGridPages1Last;
  navDecoderLinks.compIonoBlock(poolIndex_, sv_, block, iono_.word, iono_.timeMs);
  iono_ = IonoCorrDataType{};
}
