// Galileo almanacs: I/NAV words 7-10 into the sets shared by all decoders, F/NAV pages 5 and 6
// into each decoder's own entries, and the almanac records written from complete entries.
#include <cmath>

#include "navigation_data/bit_extract.h"
#include "navigation_data/decoders/gal_nav_decoder.h"

GalDataDecoder::AlmanacSet GalDataDecoder::inavAlmSets[kAlmSets] = {
    {255, {}}, {255, {}}, {255, {}}, {255, {}}};

// SVIDs of the almanac words 7, 8 and 9 in each of the 12 sub-frames of the 720 s almanac
// cycle: E1-B sends 19-36 then 1-18, E5b 1-36.
const std::uint8_t GalDataDecoder::uExpectedSVID[72] = {
    19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36,
    1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18,
    1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18,
    19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36};

namespace {

std::uint32_t u(const std::uint8_t* p, int bit, int n) { return GalDecUtility::extract(p, bit, n); }
std::int16_t s16(const std::uint8_t* p, int bit, int n) {
  return static_cast<std::int16_t>(GalDecUtility::extract_DataField(p, bit, n, true));
}

using AlmEntry = GalDataDecoder::AlmEntry;

// The orbit of an entry: delta sqrt(A), e, omega and delta i at `bit` (13, 11, 16, 11 bits).
void takeOrbit(AlmEntry& en, const std::uint8_t* p, int bit) {
  en.dSqrtA = s16(p, bit, 13);
  en.e = static_cast<std::uint16_t>(u(p, bit + 13, 11));
  en.omega = s16(p, bit + 24, 16);
  en.deltaI = s16(p, bit + 40, 11);
}

// The clock and health tail of an entry: af0 (16), af1 (13) and the two-bit health fields.
void takeClock(AlmEntry& en, const std::uint8_t* p, int bit) {
  en.af0 = s16(p, bit, 16);
  en.af1 = s16(p, bit + 16, 13);
}

void markPart(AlmEntry& en, int part, int ioda, std::uint32_t now) {
  en.part[part] = true;
  en.partIoda[part] = static_cast<std::uint8_t>(ioda);
  en.partTime[part] = now;
}

}  // namespace

int GalDataDecoder::almanacWeek(int wna, int currentWeek) {
  int w = (currentWeek & ~3) | (wna & 3);
  if (w > currentWeek + 2) w -= 4;
  else if (w < currentWeek - 2) w += 4;
  return ((w % 4096) + 4096) % 4096;
}

int GalDataDecoder::get_SetIndex(int ioda, int navType) {
  const int first = navType == kGalNavE5b ? 1 : 0;
  const int cand[2] = {first, first + 2};
  for (int c : cand)
    if (inavAlmSets[c].ioda == ioda) return c;
  for (int c : cand)
    if (inavAlmSets[c].ioda == 255) return c;
  int best = cand[0];
  int bestLag = -1;
  for (int c : cand) {
    const int lag = (ioda - inavAlmSets[c].ioda + 256) % 256;
    if (lag > bestLag) {
      best = c;
      bestLag = lag;
    }
  }
  return best;
}

std::uint8_t GalDataDecoder::expectedSvid(int wordType, int navType) const {
  if (galTowMs_ < 0) return 0;
  const std::int64_t sec = (galTowMs_ / 1000 + 1) & ~std::int64_t{1};
  const int index = static_cast<int>((sec % 720) / 60);
  return uExpectedSVID[(navType == kGalNavE5b ? 36 : 0) + 3 * index + wordType - 7];
}

// ---- I/NAV words 7-10 --------------------------------------------------------------------------

void GalDataDecoder::takeINavAlmWord(const std::uint8_t* w, int type, int navType) {
  const int ioda = static_cast<int>(u(w, 6, 4));
  const int si = get_SetIndex(ioda, navType);
  AlmanacSet& set = inavAlmSets[si];
  if (set.ioda != ioda) set = AlmanacSet{static_cast<std::uint8_t>(ioda), {}};
  const std::uint32_t now = time_.ulTimeTag;
  auto firstPart = [&](AlmEntry& en, int svidBit, int wordType) {
    en = AlmEntry{};
    en.svid = static_cast<std::uint8_t>(u(w, svidBit, 6));
    if (en.svid == 0) {
      en.svid = expectedSvid(wordType, navType);
      en.dummy = en.svid != 0 ? 1 : 0;
    }
    en.ioda = static_cast<std::uint8_t>(ioda);
    markPart(en, 0, ioda, now);
  };
  auto secondPart = [&](AlmEntry& en) {
    if (!en.part[0]) return false;  // no first part to complete
    markPart(en, 1, ioda, now);
    return true;
  };
  AlmEntry* e = set.entry;
  switch (type) {
    case 7:
      firstPart(e[0], 22, 7);
      e[0].wna = static_cast<std::uint8_t>(u(w, 10, 2));
      e[0].t0a = static_cast<std::uint16_t>(u(w, 12, 10));
      takeOrbit(e[0], w, 28);
      e[0].omega0 = s16(w, 79, 16);
      e[0].omegaDot = s16(w, 95, 11);
      e[0].m0 = s16(w, 106, 16);
      break;
    case 8:
      if (secondPart(e[0])) {
        takeClock(e[0], w, 10);
        e[0].hsE5b = static_cast<std::uint8_t>(u(w, 39, 2));
        e[0].hsE1b = static_cast<std::uint8_t>(u(w, 41, 2));
      }
      firstPart(e[1], 43, 8);
      takeOrbit(e[1], w, 49);
      e[1].omega0 = s16(w, 100, 16);
      e[1].omegaDot = s16(w, 116, 11);
      break;
    case 9:
      if (secondPart(e[1])) {
        e[1].wna = static_cast<std::uint8_t>(u(w, 10, 2));
        e[1].t0a = static_cast<std::uint16_t>(u(w, 12, 10));
        e[1].m0 = s16(w, 22, 16);
        takeClock(e[1], w, 38);
        e[1].hsE5b = static_cast<std::uint8_t>(u(w, 67, 2));
        e[1].hsE1b = static_cast<std::uint8_t>(u(w, 69, 2));
      }
      firstPart(e[2], 71, 9);
      e[2].wna = static_cast<std::uint8_t>(u(w, 10, 2));
      e[2].t0a = static_cast<std::uint16_t>(u(w, 12, 10));
      takeOrbit(e[2], w, 77);
      break;
    default:
      if (secondPart(e[2])) {
        e[2].omega0 = s16(w, 10, 16);
        e[2].omegaDot = s16(w, 26, 11);
        e[2].m0 = s16(w, 37, 16);
        takeClock(e[2], w, 53);
        e[2].hsE5b = static_cast<std::uint8_t>(u(w, 82, 2));
        e[2].hsE1b = static_cast<std::uint8_t>(u(w, 84, 2));
      }
      break;
  }
}

bool GalDataDecoder::checkINavEntry(AlmanacSet& set, AlmEntry& en) {
  if (!en.part[1]) return false;
  const std::uint32_t now = time_.ulTimeTag;
  const bool fresh0 = navTagAge(now, en.partTime[0]) <= kGalAlmPartMaxAgeMs;
  const bool fresh1 = navTagAge(now, en.partTime[1]) <= kGalAlmPartMaxAgeMs;
  if (en.partIoda[0] == set.ioda && fresh0 && en.partIoda[1] == set.ioda && fresh1 && en.svid >= 1 &&
      en.svid <= 36)
    return true;
  // A stale part spoils only its own entry: the other entries and sets keep collecting.
  en = AlmEntry{};
  return false;
}

void GalDataDecoder::process_INavAlmanac() {
  if (inavWeek_ == kNoWeek) return;
  for (AlmanacSet& set : inavAlmSets) {
    if (set.ioda == 255) continue;
    for (AlmEntry& en : set.entry) {
      if (!checkINavEntry(set, en)) continue;
      writeAlmanac(en, 0, almanacWeek(en.wna, inavWeek_), true);
      en = AlmEntry{};
    }
  }
}

// ---- F/NAV pages 5 and 6 -------------------------------------------------------------------------

void GalDataDecoder::takeFNavAlmPage(const std::uint8_t* p, int type) {
  const int ioda = static_cast<int>(u(p, 6, 4));
  const std::uint32_t now = time_.ulTimeTag;
  AlmEntry* e = fnavAlm_;
  if (type == 5) {
    fnavAlmTime_.ioda = static_cast<std::uint8_t>(ioda);
    fnavAlmTime_.wna = static_cast<std::uint8_t>(u(p, 10, 2));
    fnavAlmTime_.t0a = static_cast<std::uint16_t>(u(p, 12, 10));
    fnavAlmTime_.arrival = now;
    fnavAlmTime_.valid = true;
    e[0] = AlmEntry{};
    e[0].svid = static_cast<std::uint8_t>(u(p, 22, 6));
    takeOrbit(e[0], p, 28);
    e[0].omega0 = s16(p, 79, 16);
    e[0].omegaDot = s16(p, 95, 11);
    e[0].m0 = s16(p, 106, 16);
    takeClock(e[0], p, 122);
    e[0].hsE5a = static_cast<std::uint8_t>(u(p, 151, 2));
    markPart(e[0], 0, ioda, now);
    markPart(e[0], 1, ioda, now);
    e[1] = AlmEntry{};
    e[1].svid = static_cast<std::uint8_t>(u(p, 153, 6));
    takeOrbit(e[1], p, 159);
    e[1].omega0 = static_cast<std::int16_t>(u(p, 210, 4) << 12);  // the 4 high bits
    markPart(e[1], 0, ioda, now);
    return;
  }
  if (e[1].part[0]) {
    e[1].omega0 = static_cast<std::int16_t>(static_cast<std::uint16_t>(e[1].omega0) | u(p, 10, 12));
    e[1].omegaDot = s16(p, 22, 11);
    e[1].m0 = s16(p, 33, 16);
    takeClock(e[1], p, 49);
    e[1].hsE5a = static_cast<std::uint8_t>(u(p, 78, 2));
    markPart(e[1], 1, ioda, now);
  }
  e[2] = AlmEntry{};
  e[2].svid = static_cast<std::uint8_t>(u(p, 80, 6));
  takeOrbit(e[2], p, 86);
  e[2].omega0 = s16(p, 137, 16);
  e[2].omegaDot = s16(p, 153, 11);
  e[2].m0 = s16(p, 164, 16);
  takeClock(e[2], p, 180);
  e[2].hsE5a = static_cast<std::uint8_t>(u(p, 209, 2));
  markPart(e[2], 0, ioda, now);
  markPart(e[2], 1, ioda, now);
}

void GalDataDecoder::process_FNavAlmanac() {
  const std::uint32_t now = time_.ulTimeTag;
  FNavAlmTime& t = fnavAlmTime_;
  if (t.valid && navTagAge(now, t.arrival) > kGalAlmPartMaxAgeMs) t = FNavAlmTime{255, 0, 0, 0, false};
  if (!t.valid) {
    for (AlmEntry& en : fnavAlm_) en = AlmEntry{};
    return;
  }
  if (fnavWeek_ == kNoWeek) return;
  for (AlmEntry& en : fnavAlm_) {
    if (!en.part[0] || !en.part[1]) continue;
    const bool ok = en.partIoda[0] == t.ioda && en.partIoda[1] == t.ioda &&
                    navTagAge(now, en.partTime[0]) <= kGalAlmPartMaxAgeMs &&
                    navTagAge(now, en.partTime[1]) <= kGalAlmPartMaxAgeMs && en.svid >= 1 && en.svid <= 36;
    if (ok) {
      en.wna = t.wna;
      en.t0a = t.t0a;
      writeAlmanac(en, 1, almanacWeek(en.wna, fnavWeek_), false);
    }
    en = AlmEntry{};
  }
}

// ---- the record ---------------------------------------------------------------------------------

void GalDataDecoder::writeAlmanac(const AlmEntry& en, int dataType, int week, bool withIoda) {
  ZRT_ALM_GAL rec{};
  rec.svid = en.svid;
  rec.week = static_cast<std::int16_t>(week);
  if (en.dummy != 0) {
    // Nothing but the slot is known: a record that says so.
    rec.health = kGalAlmDummy;
    rec.marker = kGalAlmDummy;
    rec.config = kGalAlmNoConfig;
  } else {
    rec.toa = static_cast<std::int32_t>(en.t0a) * 600;
    rec.health = dataType == 1 ? static_cast<std::uint8_t>((en.hsE5a & 3) << 4)
                               : static_cast<std::uint8_t>((en.hsE1b & 3) | (en.hsE5b & 3) << 2);
    rec.sqrtA = static_cast<float>(std::ldexp(static_cast<double>(en.dSqrtA), -9) + kGalNominalSqrtA);
    rec.e = static_cast<float>(std::ldexp(static_cast<double>(en.e), -16));
    rec.M0 = static_cast<float>(std::ldexp(static_cast<double>(en.m0), -15));
    rec.omega = static_cast<float>(std::ldexp(static_cast<double>(en.omega), -15));
    rec.Omega0 = static_cast<float>(std::ldexp(static_cast<double>(en.omega0), -15));
    rec.deltaI = static_cast<float>(std::ldexp(static_cast<double>(en.deltaI), -14));
    rec.OmegaDot = static_cast<float>(std::ldexp(static_cast<double>(en.omegaDot), -33));
    rec.af0 = static_cast<float>(std::ldexp(static_cast<double>(en.af0), -19));
    rec.af1 = static_cast<float>(std::ldexp(static_cast<double>(en.af1), -38));
  }
  if (withIoda) rec.iodA = en.ioda;
  lastAlm_[almCount_ % 3] = rec;
  ++almCount_;
  const auto idx = static_cast<std::uint8_t>(en.svid - 1);
  store_->update_AlmanacData(SvIdType{idx, kSysGalileo, 127, idx}, dataType, &rec, false);
}
