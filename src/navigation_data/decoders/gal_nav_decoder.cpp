// Galileo decoder: pool, page routing, the ephemeris assembly of both halves and the GST-UTC /
// GST-GPS record. The almanac words and pages are in gal_nav_almanac.cpp.
#include "navigation_data/decoders/gal_nav_decoder.h"

#include <cmath>
#include <cstring>

#include "navigation_data/bit_extract.h"
#include "navigation_data/crc_engine.h"

GalDataDecoder* GalDataDecoder::pDecoderPointer[kPoolSize] = {};
std::uint8_t GalDataDecoder::uNumberOfGalSet = 0;

GalDataDecoder GalDataDecoderInstance[GalDataDecoder::kPoolSize];

namespace {

std::uint32_t u(const std::uint8_t* p, int bit, int n) { return GalDecUtility::extract(p, bit, n); }
std::int32_t s(const std::uint8_t* p, int bit, int n) {
  return static_cast<std::int32_t>(GalDecUtility::extract_DataField(p, bit, n, true));
}
std::int16_t s16(const std::uint8_t* p, int bit, int n) { return static_cast<std::int16_t>(s(p, bit, n)); }

}  // namespace

// ---- pool -------------------------------------------------------------------------------------

GalDataDecoder::GalDataDecoder() {
  if (uNumberOfGalSet < kPoolSize) {
    poolIndex_ = uNumberOfGalSet;
    pDecoderPointer[uNumberOfGalSet++] = this;
  }
  init_Object(&SatDataProcessorInstance);
}

void GalDataDecoder::init_Object(SatelliteDataProcessor* store) {
  store_ = store;
  sv_ = EmptySvId;
  time_ = NavDecoderTime{};
  galTowMs_ = -1;
  inavEph_ = EphAssembly{};
  fnavEph_ = EphAssembly{};
  for (ZRT_ALM_GAL& a : lastAlm_) a = ZRT_ALM_GAL{};
  almCount_ = 0;
  resetINav();
  resetFNav();
}

GalDataDecoder* get_GalDataDecoder(const NavDecoderTime* time, const SvIdType* sv) {
  return selectNavDecoder(GalDataDecoder::pDecoderPointer, GalDataDecoder::uNumberOfGalSet, time, sv);
}

void GalDataDecoder::EphAssembly::reset() {
  for (bool& f : flag) f = false;
  typeMask = 0;
}

void GalDataDecoder::resetINav() {
  inavEph_.reset();
  lastWord1Iod_ = 0xFFFF;
  utc_ = UtcAssembly{};
  inavWeek_ = kNoWeek;
  inavWeekKnown_ = inavDataValid_ = false;
}

void GalDataDecoder::resetFNav() {
  fnavEph_.reset();
  fnavAlmTime_ = FNavAlmTime{};
  fnavAlmTime_.ioda = 255;
  for (AlmEntry& e : fnavAlm_) e = AlmEntry{};
  fnavWeek_ = kNoWeek;
  fnavWeekKnown_ = fnavDataValid_ = false;
}

// ---- routing ----------------------------------------------------------------------------------

void GalDataDecoder::repack_INav(const std::uint8_t in[kGalINavPageBytes], std::uint8_t out[28]) {
  for (int half = 0; half < 2; ++half) {
    const std::uint8_t* src = in + 15 * half;
    std::uint8_t* dst = out + 14 * half;
    for (int k = 0; k < 14; ++k) dst[k] = static_cast<std::uint8_t>(src[k] << 2 | src[k + 1] >> 6);
  }
}

void GalDataDecoder::update_Galileo(const NavDecoderTime& time, const std::uint8_t* page, int len, SvIdType sv,
                                    int navType, std::int64_t galTowMs) {
  if (page == nullptr || sv.sys != kSysGalileo) return;
  const bool inav = navType == kGalNavE1B || navType == kGalNavE5b;
  if (!inav && navType != kGalNavE5a) return;
  if (len < (inav ? kGalINavPageBytes : kGalFNavPageBytes)) return;
  if (sv.si != sv_.si || sv.sys != sv_.sys) {
    resetINav();
    resetFNav();
  }
  sv_ = sv;
  time_ = time;
  galTowMs_ = galTowMs;
  if (inav) {
    std::uint8_t word[28];
    repack_INav(page, word);
    update_INav(word, ((page[0] >> 6) & 1) != 0, navType);
  } else {
    update_FNav(page);
  }
}

void GalDataDecoder::update_INav(const std::uint8_t* w, bool alert, int navType) {
  if (store_ == nullptr) return;
  store_->set_AlertFlag(sv_, 0, alert);
  if (alert) return;
  const int type = static_cast<int>(GalDecUtility::extract_DataType(w));
  if (type >= 1 && type <= 5) {
    takeINavEphWord(w, type, navType);
  } else if (type >= 6 && type <= 10 && inavWeekKnown_ && inavDataValid_) {
    if (type >= 7) takeINavAlmWord(w, type, navType);
    if (type == 6 || type == 10) takeUtcWord(w, type);
  }
  process_EphemerisData(inavEph_, 5, 0, inavWeek_, inavWeekKnown_, inavDataValid_);
  process_INavAlmanac();
  process_Utc();
}

void GalDataDecoder::update_FNav(const std::uint8_t* p) {
  if (store_ == nullptr) return;
  const int type = static_cast<int>(GalDecUtility::extract_DataType(p));
  EphAssembly& a = fnavEph_;
  EphemerisRawDataType& r = a.raw;
  const int k = type - 1;
  if (type >= 1 && type <= 4 && !a.flag[k]) {
    switch (type) {
      case 1:
        r.svid = static_cast<std::uint8_t>(u(p, 6, 6));
        a.iod[0] = static_cast<std::uint16_t>(u(p, 12, 10));
        r.t0c = static_cast<std::uint16_t>(u(p, 22, 14));
        r.af0 = s(p, 36, 31);
        r.af1 = s(p, 67, 21);
        r.af2 = s(p, 88, 6);
        r.sisa = static_cast<std::uint8_t>(u(p, 94, 8));
        r.ai0 = static_cast<std::uint16_t>(u(p, 102, 11));
        r.ai1 = s16(p, 113, 11);
        r.ai2 = s16(p, 124, 14);
        r.ionoFlags = static_cast<std::uint8_t>(u(p, 138, 5));
        r.bgdE1E5a = s16(p, 143, 10);
        r.health = static_cast<std::uint8_t>(u(p, 153, 2) << 1 | u(p, 187, 1));
        r.wn = static_cast<std::uint16_t>(u(p, 155, 12));
        a.tow = u(p, 167, 20);
        break;
      case 2:
        a.iod[1] = static_cast<std::uint16_t>(u(p, 6, 10));
        r.m0 = s(p, 16, 32);
        r.omegaDot = s(p, 48, 24);
        r.e = u(p, 72, 32);
        r.sqrtA = u(p, 104, 32);
        r.omega0 = s(p, 136, 32);
        r.idot = s16(p, 168, 14);
        break;
      case 3:
        a.iod[2] = static_cast<std::uint16_t>(u(p, 6, 10));
        r.i0 = s(p, 16, 32);
        r.omega = s(p, 48, 32);
        r.dn = s16(p, 80, 16);
        r.cuc = s16(p, 96, 16);
        r.cus = s16(p, 112, 16);
        r.crc = s16(p, 128, 16);
        r.crs = s16(p, 144, 16);
        r.t0e = static_cast<std::uint16_t>(u(p, 160, 14));
        break;
      default:
        a.iod[3] = static_cast<std::uint16_t>(u(p, 6, 10));
        r.cic = s16(p, 16, 16);
        r.cis = s16(p, 32, 16);
        break;
    }
    r.iodNav = a.iod[0];
    a.flag[k] = true;
    a.typeMask |= 1u << kGalNavE5a;
  } else if ((type == 5 || type == 6) && fnavWeekKnown_ && fnavDataValid_) {
    takeFNavAlmPage(p, type);
  }
  process_EphemerisData(fnavEph_, 4, 1, fnavWeek_, fnavWeekKnown_, fnavDataValid_);
  process_FNavAlmanac();
}

// ---- ephemeris --------------------------------------------------------------------------------

void GalDataDecoder::takeINavEphWord(const std::uint8_t* w, int type, int navType) {
  EphAssembly& a = inavEph_;
  EphemerisRawDataType& r = a.raw;
  const int k = type - 1;
  if (type == 1) lastWord1Iod_ = static_cast<std::uint16_t>(u(w, 6, 10));
  if (a.flag[k]) return;
  switch (type) {
    case 1:
      r.t0e = static_cast<std::uint16_t>(u(w, 16, 14));
      r.m0 = s(w, 30, 32);
      r.e = u(w, 62, 32);
      r.sqrtA = u(w, 94, 32);
      break;
    case 2:
      r.omega0 = s(w, 16, 32);
      r.i0 = s(w, 48, 32);
      r.omega = s(w, 80, 32);
      r.idot = s16(w, 112, 14);
      break;
    case 3:
      r.omegaDot = s(w, 16, 24);
      r.dn = s16(w, 40, 16);
      r.cuc = s16(w, 56, 16);
      r.cus = s16(w, 72, 16);
      r.crc = s16(w, 88, 16);
      r.crs = s16(w, 104, 16);
      r.sisa = static_cast<std::uint8_t>(u(w, 120, 8));
      break;
    case 4:
      r.svid = static_cast<std::uint8_t>(u(w, 16, 6));
      r.cic = s16(w, 22, 16);
      r.cis = s16(w, 38, 16);
      r.t0c = static_cast<std::uint16_t>(u(w, 54, 14));
      r.af0 = s(w, 68, 31);
      r.af1 = s(w, 99, 21);
      r.af2 = s(w, 120, 6);
      break;
    default:
      r.ai0 = static_cast<std::uint16_t>(u(w, 6, 11));
      r.ai1 = s16(w, 17, 11);
      r.ai2 = s16(w, 28, 14);
      r.ionoFlags = static_cast<std::uint8_t>(u(w, 42, 5));
      r.bgdE1E5a = s16(w, 47, 10);
      r.bgdE1E5b = s16(w, 57, 10);
      r.health = static_cast<std::uint8_t>(u(w, 67, 6));
      r.wn = static_cast<std::uint16_t>(u(w, 73, 12));
      a.tow = u(w, 85, 20);
      break;
  }
  // Word 5 has no IODnav of its own: it belongs with the last word 1 seen.
  a.iod[k] = type == 5 ? lastWord1Iod_ : static_cast<std::uint16_t>(u(w, 6, 10));
  r.iodNav = a.iod[0];
  a.flag[k] = true;
  a.typeMask |= 1u << (navType & 31);
}

bool GalDataDecoder::EphAssembly::check(int parts) {
  for (int k = 0; k < parts; ++k)
    if (!flag[k]) return false;
  for (int k = 1; k < parts; ++k) {
    if (iod[k] != iod[0]) {
      reset();
      return false;
    }
  }
  // A set that cannot be a Galileo orbit is let go: holding it would keep every later word
  // out of the assembly.
  if (!(std::fabs(std::ldexp(static_cast<double>(raw.sqrtA), -19) - kGalNominalSqrtA) <= kGalSqrtATol)) {
    reset();
    return false;
  }
  return true;
}

void GalDataDecoder::EphemerisRawDataType::process(ZRT_EPH_GAL& o) const {
  o.svid = svid;
  o.iodNav = static_cast<std::int16_t>(iodNav);
  o.toc = static_cast<std::int32_t>(t0c) * 60;
  o.week = wn;
  o.sisa = sisa;
  o.health = health;
  o.af2 = static_cast<float>(std::ldexp(static_cast<double>(af2), -59));
  o.af1 = static_cast<float>(std::ldexp(static_cast<double>(af1), -46));
  o.af0 = std::ldexp(static_cast<double>(af0), -34);
  o.iodNav2 = iodNav;
  o.toe = static_cast<std::uint32_t>(t0e) * 60u;
  o.sqrtA = std::ldexp(static_cast<double>(sqrtA), -19);
  o.e = std::ldexp(static_cast<double>(e), -33);
  o.M0 = std::ldexp(static_cast<double>(m0), -31);
  o.Omega0 = std::ldexp(static_cast<double>(omega0), -31);
  o.i0 = std::ldexp(static_cast<double>(i0), -31);
  o.omega = std::ldexp(static_cast<double>(omega), -31);
  o.deltaN = static_cast<float>(std::ldexp(static_cast<double>(dn), -43));
  o.OmegaDot = static_cast<float>(std::ldexp(static_cast<double>(omegaDot), -43));
  o.idot = static_cast<float>(std::ldexp(static_cast<double>(idot), -43));
  o.crc = static_cast<float>(std::ldexp(static_cast<double>(crc), -5));
  o.crs = static_cast<float>(std::ldexp(static_cast<double>(crs), -5));
  o.cuc = static_cast<float>(std::ldexp(static_cast<double>(cuc), -29));
  o.cus = static_cast<float>(std::ldexp(static_cast<double>(cus), -29));
  o.cic = static_cast<float>(std::ldexp(static_cast<double>(cic), -29));
  o.cis = static_cast<float>(std::ldexp(static_cast<double>(cis), -29));
  o.bgdE1E5a = static_cast<float>(std::ldexp(static_cast<double>(bgdE1E5a), -32));
  o.bgdE1E5b = static_cast<float>(std::ldexp(static_cast<double>(bgdE1E5b), -32));
  o.ai0 = static_cast<float>(std::ldexp(static_cast<double>(ai0), -2));
  o.ai1 = static_cast<float>(std::ldexp(static_cast<double>(ai1), -8));
  o.ai2 = static_cast<float>(std::ldexp(static_cast<double>(ai2), -15));
  o.ionoFlags = ionoFlags;
}

void GalDataDecoder::process_EphemerisData(EphAssembly& a, int parts, int dataType, std::uint16_t& week,
                                           bool& weekKnown, bool& dataValid) {
  if (!a.check(parts)) return;
  ZRT_EPH_GAL rec{};
  a.raw.process(rec);
  rec.tow = a.tow;
  rec.flags = kGalFlagsDecoded;
  const bool fnav = dataType == 1;
  rec.bgd = fnav ? rec.bgdE1E5a : rec.bgdE1E5b;
  rec.navTypes = static_cast<std::uint8_t>(a.typeMask);
  const std::uint32_t identity = GbasCRC32.ComputeCRC(&a.raw, 0, static_cast<int>(sizeof(a.raw) * 8));
  week = rec.week;
  weekKnown = true;
  dataValid = (rec.health & (fnav ? 0x01 : 0x03)) == 0;
  store_->update_EphemerisData(sv_, dataType, &rec, identity, true, false, false);
  a.reset();
}

// ---- GST-UTC and GST-GPS ----------------------------------------------------------------------

void GalDataDecoder::takeUtcWord(const std::uint8_t* w, int type) {
  UtcAssembly& c = utc_;
  if (type == 6) {
    c.a0 = s(w, 6, 32);
    c.a1 = s(w, 38, 24);
    c.dtLS = static_cast<std::int8_t>(s(w, 62, 8));
    c.t0t = static_cast<std::uint8_t>(u(w, 70, 8));
    c.wnot = static_cast<std::uint8_t>(u(w, 78, 8));
    c.wnLSF = static_cast<std::uint8_t>(u(w, 86, 8));
    c.dn = static_cast<std::uint8_t>(u(w, 94, 3));
    c.dtLSF = static_cast<std::int8_t>(s(w, 97, 8));
    c.have6 = true;
  } else {
    c.a0g = s16(w, 86, 16);
    c.a1g = s16(w, 102, 12);
    c.t0g = static_cast<std::uint8_t>(u(w, 114, 8));
    c.wn0g = static_cast<std::uint8_t>(u(w, 122, 6));
    c.have10 = true;
  }
}

void GalDataDecoder::process_Utc() {
  UtcAssembly& c = utc_;
  if (!c.have6 || !c.have10) return;
  ZRT_UTC_GAL rec{};
  rec.A0 = std::ldexp(static_cast<double>(c.a0), -30);
  rec.A1 = static_cast<float>(std::ldexp(static_cast<double>(c.a1), -50));
  rec.dtLS = c.dtLS;
  rec.dtLSF = c.dtLSF;
  rec.tot = c.t0t * 3600u;
  rec.WNt = c.wnot;
  rec.WN_LSF = c.wnLSF;
  rec.DN = c.dn;
  // All ones in every GST-GPS field: the offset is not sent.
  const bool none = (c.a0g & 0xFFFF) == 0xFFFF && (c.a1g & 0xFFF) == 0xFFF && c.t0g == 0xFF && c.wn0g == 63;
  if (!none) {
    rec.A0G = static_cast<float>(std::ldexp(static_cast<double>(c.a0g), -35));
    rec.A1G = static_cast<float>(std::ldexp(static_cast<double>(c.a1g), -51));
    rec.t0G = c.t0g * 3600u;
    rec.WN0G = c.wn0g;
    rec.ggtoValid = 1;
  }
  if (inavWeek_ != kNoWeek) {
    rec.WNt = static_cast<std::uint16_t>(getFullWeekNum(inavWeek_ & 1023, c.wnot));
    rec.WN_LSF = static_cast<std::uint16_t>(getFullWeekNum(inavWeek_ & 1023, c.wnLSF));
  }
  const auto* stored = static_cast<const ZRT_UTC_GAL*>(store_->get_UtcLastData(kSysGalileo));
  if (rec.ggtoValid != 0 || stored == nullptr || stored->ggtoValid == 0)
    store_->update_UtcData(kSysGalileo, 0, &rec);
  utc_ = UtcAssembly{};
}
