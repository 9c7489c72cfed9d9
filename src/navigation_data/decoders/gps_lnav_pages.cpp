// GPS and QZSS LNAV subframes 4 and 5: almanac pages, health and configuration pages, UTC and
// Klobuchar parameters (IS-GPS-200 20.3.3.5), and the navigation-message correction table.
// Almanac sets, the waiting UTC page and the correction-table time are shared by every decoder
// object of the class.
#include <cstring>

#include "navigation_data/bit_extract.h"
#include "navigation_data/decoders/gps_lnav_decoder.h"

namespace {

constexpr int kAlmEntries = 32;
constexpr int kQzssAlmPages = 5;      // QZSS almanac pages carry SV IDs 1-5
// A QZSS almanac sends the eccentricity of its quasi-zenith orbit as the difference from 0.06
// (IS-QZSS-PNT, almanac parameters); the record holds the eccentricity itself.
constexpr double kQzssAlmEccRef = 0.06;
constexpr int kSetGps = 0, kSetQzss = 1;
constexpr std::uint8_t kHealthAllBad = 63;  // 6-bit summary health: satellite not available
constexpr std::int64_t kWeekSec = 604800;
constexpr std::int64_t kHalfWeek = 302400;
constexpr std::int64_t kRollover = 1024 * kWeekSec;

struct AlmEntry {
  std::uint32_t e, sqrtA;
  std::int32_t di, omegaDot, omega0, omega, m0, af0, af1;
  std::uint8_t health8;
  bool filled;   // a page of the satellite arrived into this set
  bool pending;  // to be handed to the store
};

struct AlmSet {
  bool inUse, weekKnown, configSeen, health1Seen, health2Seen;
  std::uint8_t toa, wna;
  AlmEntry entry[kAlmEntries];
  std::uint8_t health6[kAlmEntries];
  bool healthKnown[kAlmEntries];
  std::uint8_t config[kAlmEntries];
  std::int16_t stamp[kAlmEntries];  // subframe time / 6 modulo 256 of the last output, -1 none

  void clear() {
    std::memset(this, 0, sizeof *this);
    for (std::int16_t& s : stamp) s = -1;
  }
  std::int64_t refTime() const { return toa * 4096LL + (weekKnown ? wna * kWeekSec : 0); }
};

struct UtcBlock {
  bool waiting;
  std::int64_t refTime;
  std::uint8_t sys, si;
  int week10;
  std::int8_t alpha[4], beta[4];
  std::int32_t a0, a1;
  std::uint8_t tot, wnt, wnlsf, dn;
  std::int8_t dtls, dtlsf;
};

struct NmctShared {
  std::int64_t lastTime = -1;
  std::uint32_t mask = 0;  // GPS satellites whose table carries lastTime
};

struct LnavShared {
  AlmSet sets[2][GpsNavDataDecoderType::kAlmSets];
  // One waiting UTC page per system, as the almanac sets: a QZSS page must not displace the
  // GPS page that waits for its next subframe.
  UtcBlock utc[2];
  NmctShared nmct;
  LnavShared() {
    for (auto& sys : sets)
      for (AlmSet& s : sys) s.clear();
    std::memset(&utc, 0, sizeof utc);
  }
};
LnavShared lnav;

std::uint32_t u(const std::uint32_t* w, int bit, int n) { return GpsDecUtility::extract(w, bit, n); }
std::int32_t s(const std::uint32_t* w, int bit, int n) {
  return static_cast<std::int32_t>(GpsDecUtility::extract_DataField(w, bit, n, true));
}
std::int32_t signExtend(std::uint32_t v, int n) {
  const std::uint32_t top = 1u << (n - 1);
  return static_cast<std::int32_t>(v ^ top) - static_cast<std::int32_t>(top);
}

// A set for an almanac page of reference time `toa`: the set holding that toa, else an unused
// one. A page 51 (with the week) may also take over the set of the older reference time.
int get_SetIndex(AlmSet* sets, std::uint8_t toa, bool withWeek, std::uint8_t wna) {
  for (int i = 0; i < GpsNavDataDecoderType::kAlmSets; ++i)
    if (sets[i].inUse && sets[i].toa == toa) return i;
  int take = -1;
  for (int i = 0; i < GpsNavDataDecoderType::kAlmSets && take < 0; ++i)
    if (!sets[i].inUse) take = i;
  if (take < 0) {
    if (!withWeek) return -1;
    const std::int64_t page = toa * 4096LL + wna * kWeekSec;
    const int older = sets[0].refTime() <= sets[1].refTime() ? 0 : 1;
    if (page < sets[older].refTime()) return -1;  // older than both
    take = older;
  }
  sets[take].clear();
  sets[take].inUse = true;
  sets[take].toa = toa;
  return take;
}

void markHealth(AlmSet& set, int k, std::uint8_t health) {
  set.health6[k] = health;
  set.healthKnown[k] = true;
  if (health == kHealthAllBad) set.entry[k].pending = true;
}

}  // namespace

void GpsNavDataDecoderType::decodePage(const std::uint32_t* w, int subframe) {
  const std::uint32_t dataId = GpsDecUtility::extract_NavDataId(w);
  const int page = static_cast<int>(GpsDecUtility::extract_NavPageId(w));
  if (sv_.sys == kSysGps && dataId == 1) {
    if (page == 56) {
      decodeUtcPage(w);
    } else if (page == 51) {
      decodeHealthPage51(w, kSetGps, 24);
    } else if (page == 63) {
      decodeConfigPage63(w);
    } else if (page >= 1 && page <= 32) {
      decodeAlmanacPage(w, kSetGps, page - 1);
    } else if (page == 52 && subframe == 4) {
      // Page 13 of subframe 4 carries SV ID 52; an SV ID of 13 is the almanac of PRN 13.
      decodeNmctPage(w);
    }
  } else if (sv_.sys == kSysQzss && dataId == 3) {
    if (page == 56) {
      decodeUtcPage(w);
    } else if (page == 51) {
      decodeHealthPage51(w, kSetQzss, kQzssAlmPages);
    } else if (page >= 1 && page <= kQzssAlmPages) {
      decodeAlmanacPage(w, kSetQzss, page - 1);
    }
  }
}

// ---- almanac ----------------------------------------------------------------------------------

void GpsNavDataDecoderType::decodeAlmanacPage(const std::uint32_t* w, int sysSet, int k) {
  AlmSet* sets = lnav.sets[sysSet];
  const int idx = get_SetIndex(sets, static_cast<std::uint8_t>(u(w, 91, 8)), false, 0);
  if (idx < 0) return;
  AlmEntry& e = sets[idx].entry[k];
  e.e = u(w, 69, 16);
  e.di = s(w, 99, 16);
  e.omegaDot = s(w, 121, 16);
  e.health8 = static_cast<std::uint8_t>(u(w, 137, 8));
  e.sqrtA = u(w, 151, 24);
  e.omega0 = s(w, 181, 24);
  e.omega = s(w, 211, 24);
  e.m0 = s(w, 241, 24);
  e.af0 = signExtend(u(w, 271, 8) << 3 | u(w, 290, 3), 11);
  e.af1 = s(w, 279, 11);
  e.filled = true;
  e.pending = true;
}

void GpsNavDataDecoderType::decodeHealthPage51(const std::uint32_t* w, int sysSet, int entries) {
  AlmSet* sets = lnav.sets[sysSet];
  const int idx = get_SetIndex(sets, static_cast<std::uint8_t>(u(w, 69, 8)), true,
                               static_cast<std::uint8_t>(u(w, 77, 8)));
  if (idx < 0) return;
  AlmSet& set = sets[idx];
  if (!set.health1Seen) {
    // The first week for this set: what arrived without it goes out again with it.
    for (AlmEntry& e : set.entry)
      if (e.filled) e.pending = true;
  }
  set.weekKnown = true;
  set.wna = static_cast<std::uint8_t>(u(w, 77, 8));
  set.health1Seen = true;
  int bit = 91;
  for (int k = 0; k < entries; ++k) markHealth(set, k, static_cast<std::uint8_t>(readDataBits(w, bit, 6, 24)));
}

// Configurations of all 32 satellites and the health of 25-32; the page names no almanac
// reference time, so it serves every set in use.
void GpsNavDataDecoderType::decodeConfigPage63(const std::uint32_t* w) {
  for (AlmSet& set : lnav.sets[kSetGps]) {
    if (!set.inUse) continue;
    int bit = 69;
    for (std::uint8_t& config : set.config) config = static_cast<std::uint8_t>(readDataBits(w, bit, 4, 24));
    set.configSeen = true;
    set.health2Seen = true;
    bit = 229;
    for (int k = 24; k < kAlmEntries; ++k) markHealth(set, k, static_cast<std::uint8_t>(readDataBits(w, bit, 6, 24)));
  }
}

void GpsNavDataDecoderType::process_AlmanacData() {
  if (week10_ < 0 || store_ == nullptr) return;
  const int sysSet = sv_.sys == kSysGps ? kSetGps : kSetQzss;
  AlmSet* sets = lnav.sets[sysSet];
  int order[kAlmSets] = {0, 1};
  if (sets[1].inUse && (!sets[0].inUse || sets[1].refTime() > sets[0].refTime())) order[0] = 1, order[1] = 0;
  const auto stampNow = static_cast<std::int16_t>((sfTime_ / 6) % 256);
  const int entries = sysSet == kSetGps ? kAlmEntries : kQzssAlmPages;
  for (int idx : order) {
    AlmSet& set = sets[idx];
    if (!set.inUse) continue;
    for (int k = 0; k < entries; ++k) {
      AlmEntry& e = set.entry[k];
      if (!e.pending || set.stamp[k] == stampNow) continue;
      const int number = kNavFirstSatNumber[sv_.sys] + k;
      if (sysSet == kSetGps && navDecoderLinks.gpsPrnEntry(k) != number) continue;
      alignas(8) std::uint8_t buf[kMaxAlmRecordSize] = {};
      auto& r = *reinterpret_cast<ZRT_ALM_GPS*>(buf);
      r.prn = static_cast<std::uint8_t>(number);
      r.toa = set.toa * 4096;
      int week = 0;
      if (set.weekKnown) {
        week = getFullWeekNum(week10_, set.wna);
      } else {
        // The toa nearest the time of sending: half a week or more ahead of it lies in the week
        // before, more than half a week behind it in the week after.
        const std::int64_t dt = r.toa - static_cast<std::int64_t>(sfTime_);
        week = (week10_ - (dt >= kHalfWeek ? 1 : 0) + (dt < -kHalfWeek ? 1 : 0) + 1024) % 1024;
      }
      r.week = static_cast<std::int16_t>(week);
      const bool healthSeen = sysSet == kSetQzss || k < 24 ? set.health1Seen : set.health2Seen;
      const bool configSeen = sysSet == kSetGps && set.configSeen;
      // Byte 1 carries what the record lacks: bit 0 week, bit 1 summary health, bit 2 configuration.
      r.spare1[0] = static_cast<std::uint8_t>((set.weekKnown ? 0 : 1) | (healthSeen ? 0 : 2) | (configSeen ? 0 : 4));
      r.config = static_cast<std::int8_t>(configSeen ? set.config[k] : 0);
      if (set.healthKnown[k] && set.health6[k] == kHealthAllBad) {
        r.health = 128;
      } else {
        r.health = e.health8;
        r.e = static_cast<float>(scaled(e.e, 21) + (sysSet == kSetQzss ? kQzssAlmEccRef : 0.0));
        r.deltaI = static_cast<float>(scaled(e.di, 19));
        r.OmegaDot = static_cast<float>(scaled(e.omegaDot, 38));
        r.sqrtA = static_cast<float>(scaled(e.sqrtA, 11));
        r.Omega0 = static_cast<float>(scaled(e.omega0, 23));
        r.omega = static_cast<float>(scaled(e.omega, 23));
        r.M0 = static_cast<float>(scaled(e.m0, 23));
        r.af0 = static_cast<float>(scaled(e.af0, 20));
        r.af1 = static_cast<float>(scaled(e.af1, 38));
      }
      const SvIdType id{static_cast<std::uint8_t>(k), sv_.sys, 0, static_cast<std::uint8_t>(k)};
      store_->update_AlmanacData(id, 0, buf, false);
      set.stamp[k] = stampNow;
      e.pending = false;
    }
  }
}

// ---- UTC and ionosphere -----------------------------------------------------------------------

void GpsNavDataDecoderType::decodeUtcPage(const std::uint32_t* w) {
  UtcBlock& b = lnav.utc[sv_.sys == kSysQzss ? kSetQzss : kSetGps];
  const std::int64_t ref = u(w, 219, 8) * 4096LL + u(w, 227, 8) * kWeekSec;
  if (b.waiting && ref <= b.refTime) return;
  const int alphaBit[4] = {69, 77, 91, 99}, betaBit[4] = {107, 121, 129, 137};
  for (int i = 0; i < 4; ++i) {
    b.alpha[i] = static_cast<std::int8_t>(s(w, alphaBit[i], 8));
    b.beta[i] = static_cast<std::int8_t>(s(w, betaBit[i], 8));
  }
  b.a1 = s(w, 151, 24);
  b.a0 = static_cast<std::int32_t>(u(w, 181, 24) << 8 | u(w, 211, 8));
  b.tot = static_cast<std::uint8_t>(u(w, 219, 8));
  b.wnt = static_cast<std::uint8_t>(u(w, 227, 8));
  b.dtls = static_cast<std::int8_t>(s(w, 241, 8));
  b.wnlsf = static_cast<std::uint8_t>(u(w, 249, 8));
  b.dn = static_cast<std::uint8_t>(u(w, 257, 8));
  b.dtlsf = static_cast<std::int8_t>(s(w, 271, 8));
  b.refTime = ref;
  b.sys = sv_.sys;
  b.si = sv_.si;
  b.week10 = week10_;
  b.waiting = true;
}

void GpsNavDataDecoderType::process_UtcIonoData() {
  UtcBlock& b = lnav.utc[sv_.sys == kSysQzss ? kSetQzss : kSetGps];
  if (!b.waiting || sfId_ == 4) return;
  const int week = week10_ >= 0 ? week10_ : b.week10;
  if (week >= 0) {
    alignas(8) std::uint8_t buf[kMaxUtcRecordSize] = {};
    auto& utc = *reinterpret_cast<ZRT_UTC_GPS*>(buf);
    utc.tot = b.tot * 4096u;
    utc.A1 = static_cast<float>(scaled(b.a1, 50));
    utc.A0 = scaled(b.a0, 30);
    utc.WNt = static_cast<std::uint16_t>(getFullWeekNum(week, b.wnt));
    utc.WN_LSF = static_cast<std::uint16_t>(getFullWeekNum(week, b.wnlsf));
    utc.DN = b.dn;
    utc.dtLS = b.dtls;
    utc.dtLSF = b.dtlsf;
    if (store_ != nullptr) store_->update_UtcData(b.sys, 0, buf);

    ZRT_ION_GPS ion{};
    setKlobuchar(ion, b.alpha, b.beta);
    ion.tow = utc.tot;
    ion.week = utc.WNt;
    ion.valid = 1;
    ion.satIdx = b.si;
    navDecoderLinks.klobuchar(b.sys, &ion);
  }
  b.waiting = false;
  b.refTime = -1;
}

// ---- navigation-message correction table ------------------------------------------------------

// The table's reference time, from subframe 2: toe rounded up to the next 2-hour mark, less
// 900 s times AODO, in the satellite's week.
void GpsNavDataDecoderType::updateNmctTime(std::int32_t sfTime, std::uint32_t toe16, std::uint8_t aodo) {
  nmct_.sf2 = false;
  if (aodo == 31 || week10_ < 0) return;
  const std::int64_t toe = toe16 * 16LL;
  const std::int64_t table = (toe + 7199) / 7200 * 7200 - 900LL * aodo;
  std::int64_t week = week10_;
  if (sfTime - table >= kHalfWeek + 1) {
    ++week;
  } else if (table - sfTime > kHalfWeek) {
    --week;
  }
  std::int64_t full = table + kWeekSec * week;
  NmctShared& n = lnav.nmct;
  if (n.lastTime >= 0 && full < n.lastTime - kRollover / 2) full += kRollover;
  const std::uint32_t bit = 1u << sv_.si;
  if (full > n.lastTime) {
    n.lastTime = full;
    n.mask = bit;
  } else if (full == n.lastTime) {
    n.mask |= bit;
  }
  nmct_.fullTime = full;
  nmct_.sf2 = true;
}

void GpsNavDataDecoderType::decodeNmctPage(const std::uint32_t* w) {
  int bit = 69;
  nmct_.availability = static_cast<std::uint8_t>(readDataBits(w, bit, 2, 24));
  for (std::int8_t& erd : nmct_.erd) erd = static_cast<std::int8_t>(signExtend(readDataBits(w, bit, 6, 24), 6));
  nmct_.page = true;
}

void GpsNavDataDecoderType::process_NmctData() {
  if (!nmct_.page || !nmct_.sf2 || nmct_.availability != 0) return;
  const NmctShared& n = lnav.nmct;
  if (nmct_.fullTime != n.lastTime || (n.mask & (1u << sv_.si)) == 0) return;
  NavNmctType t;
  t.ulTime = static_cast<std::uint32_t>(nmct_.fullTime);
  t.uSv = static_cast<std::uint8_t>(sv_.si + 1);
  int j = 0;
  for (int k = 0; k < 32; ++k) {
    if (k == sv_.si) continue;
    t.iErd[j] = (j < 30 && (n.mask & (1u << k)) != 0) ? nmct_.erd[j] : 0;
    ++j;
  }
  navDecoderLinks.nmct(&t);
  nmct_.page = false;
}
