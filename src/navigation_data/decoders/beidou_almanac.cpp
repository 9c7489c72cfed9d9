// BeiDou almanac, health and UTC pages, common to the D1 message (subframes 4 and 5, health
// pages 7 and 8, UTC page 10) and the D2 message (subframe 5 pages 37-60 and 95-100, health
// pages 35 and 36, UTC page 102).
#include "navigation_data/decoders/beidou_almanac.h"

#include <cstring>

#include "navigation_data/bit_extract.h"
#include "navigation_data/decoders/nav_decoder_family.h"

namespace {
using CompBits::u;
using CompBits::s;
using CompBits::u2;
using CompBits::s2;

constexpr int kPage7Sats = 19;  // health of satellites 1-19 on the first health page, 20-30 on the second
constexpr std::int64_t kWeekSec = 604800;
constexpr std::int64_t kHalfWeek = 302400;
constexpr std::uint8_t kNoSet = 255;
constexpr std::uint8_t kFlagWeekGuessed = 0x01;
constexpr std::uint8_t kFlagNoHealth = 0x02;

// Consecutive 9-bit health fields over the data bits from bit 51: the last 2 data bits of
// word 2, then the 22 data bits of each following word.
void readHealth(const std::uint32_t* w, std::uint16_t* out, int count) {
  int bit = 51;
  for (int k = 0; k < count; ++k) out[k] = static_cast<std::uint16_t>(readDataBits(w, bit, 9, 22));
}

}  // namespace

CompAlmanacDataType::CompAlmanacDataType() {
  for (AlmanacSet& st : sets_) st.clear();
  for (std::uint32_t& t : stamp_) t = 0xFFFFFFFFu;
  for (std::uint8_t& b : best_) b = kNoSet;
  std::memset(&utc_, 0, sizeof utc_);
}

void CompAlmanacDataType::AlmanacSet::clear() { std::memset(this, 0, sizeof *this); }
std::int64_t CompAlmanacDataType::AlmanacSet::fullRef() const { return wna * kWeekSec + toa * 4096LL; }
bool CompAlmanacDataType::AlmanacSet::healthSeen(int k) const { return k < kPage7Sats ? health1Seen : health2Seen; }

void CompAlmanacDataType::sortPreference() {
  int n = 0;
  std::uint8_t order[kSets];
  for (int pass = 0; pass < 2; ++pass)
    for (int i = 0; i < kSets; ++i) {
      const AlmanacSet& st = sets_[i];
      if (st.inUse && st.page8Seen == (pass == 0)) order[n++] = static_cast<std::uint8_t>(i);
    }
  // Newest first within each group: by week and toa with page 8, by toa alone without.
  auto key = [this](int i) { const AlmanacSet& st = sets_[i]; return st.page8Seen ? st.fullRef() : st.toa * 4096LL; };
  for (int i = 1; i < n; ++i)
    for (int j = i; j > 0 && sets_[order[j]].page8Seen == sets_[order[j - 1]].page8Seen &&
                    key(order[j]) > key(order[j - 1]);
         --j) {
      const std::uint8_t t = order[j];
      order[j] = order[j - 1];
      order[j - 1] = t;
    }
  for (int i = 0; i < kSets; ++i) best_[i] = i < n ? order[i] : kNoSet;
}

int CompAlmanacDataType::findSet(std::uint8_t toa) const {
  for (int i = 0; i < kSets; ++i)
    if (sets_[i].inUse && sets_[i].toa == toa) return i;
  return -1;
}

int CompAlmanacDataType::freeSet() const {
  for (int i = 0; i < kSets; ++i)
    if (!sets_[i].inUse) return i;
  return -1;
}

void CompAlmanacDataType::decodeAlmanacPage(const std::uint32_t* w, int sat) {
  if (w == nullptr || sat < 0 || sat >= kSats) return;
  if (CompDecUtility::is_EmptyAlmData(w)) return;
  const auto toa = static_cast<std::uint8_t>(u(w, 194, 8));
  int idx = findSet(toa);
  if (idx < 0) {
    idx = freeSet();
    if (idx < 0) return;
    sets_[idx].clear();
    sets_[idx].toa = toa;
  }
  AlmanacSet& set = sets_[idx];
  AlmEntry& e = set.entry[sat];
  e.sqrtA = u2(w, 51, 2, 61, 22);
  e.a1 = s(w, 91, 11);
  e.a0 = s(w, 102, 11);
  e.omega0 = s2(w, 121, 22, 151, 2);
  e.e = u(w, 153, 17);
  e.di = s2(w, 170, 3, 181, 13);
  e.toa = toa;
  e.omegaDot = s2(w, 202, 1, 211, 16);
  e.omega = s2(w, 227, 6, 241, 18);
  e.m0 = s2(w, 259, 4, 271, 20);
  e.received = true;
  e.toProcess = true;
  set.inUse = true;
  sortPreference();
}

void CompAlmanacDataType::decodeHealthPage2(const std::uint32_t* w, int& lastToa, int& lastWna) {
  const auto wna = static_cast<std::uint8_t>(u(w, 190, 8));
  const auto toa = static_cast<std::uint8_t>(u2(w, 198, 5, 211, 3));
  const std::int64_t ref = wna * kWeekSec + toa * 4096LL;
  int idx = findSet(toa);
  if (idx < 0) idx = freeSet();
  if (idx < 0) {
    // Every set is taken: the oldest gives way, unless it is newer than this page.
    idx = 0;
    for (int i = 1; i < kSets; ++i)
      if (sets_[i].fullRef() < sets_[idx].fullRef()) idx = i;
    if (sets_[idx].fullRef() > ref) return;
    sets_[idx].clear();
  }
  AlmanacSet& set = sets_[idx];
  if (!set.inUse) set.clear();
  if (!set.page8Seen) {
    // The week arrives: what was written without it goes out again with it.
    for (AlmEntry& e : set.entry)
      if (e.received) e.toProcess = true;
  }
  set.inUse = true;
  set.page8Seen = true;
  set.toa = toa;
  set.wna = wna;
  std::uint16_t h[kSats - kPage7Sats];
  readHealth(w, h, kSats - kPage7Sats);
  for (int k = kPage7Sats; k < kSats; ++k) set.health[k] = h[k - kPage7Sats];
  set.health2Seen = true;
  lastToa = toa;
  lastWna = wna;
  sortPreference();
}

void CompAlmanacDataType::decodeHealthPage1(const std::uint32_t* w, int lastToa, int lastWna) {
  if (lastToa < 0) return;
  for (AlmanacSet& set : sets_) {
    if (!set.inUse || !set.page8Seen || set.toa != lastToa || set.wna != lastWna) continue;
    readHealth(w, set.health, kPage7Sats);
    set.health1Seen = true;
    return;
  }
}

void CompAlmanacDataType::process(SatelliteDataProcessor* store, int week, std::uint32_t sow) {
  if (store == nullptr || week < 0) return;
  const std::uint32_t count = (sow / 6) & 0xFFu;
  const int week10 = week & 0x3FF;
  for (int k = 0; k < kSats; ++k) {
    const AlmanacSet* healthSet = nullptr;
    for (std::uint8_t b : best_)
      if (b != kNoSet && sets_[b].healthSeen(k)) {
        healthSet = &sets_[b];
        break;
      }
    for (std::uint8_t b : best_) {
      if (b == kNoSet) break;
      AlmanacSet& set = sets_[b];
      const AlmEntry& e = set.entry[k];
      if (!e.toProcess) continue;
      if (stamp_[k] != count) {
        alignas(8) std::uint8_t buf[kMaxAlmRecordSize] = {};
        auto& r = *reinterpret_cast<ZRT_ALM_CMP*>(buf);
        r.prn = static_cast<std::uint8_t>(k + 1);
        r.toa = e.toa * 4096;
        int week = 0;
        if (set.page8Seen) {
          week = getFullWeekNum(week10, set.wna);
        } else {
          // The nearest week to the toa: a toa more than half a week after the subframe lies in
          // the week before, more than half a week before it in the week after.
          const std::int64_t dt = r.toa - static_cast<std::int64_t>(sow);
          week = week10 - (dt > kHalfWeek - 1 ? 1 : 0) + (dt < -kHalfWeek ? 1 : 0);
        }
        r.week = static_cast<std::int16_t>((week + 1024) % 1024);
        r.health = static_cast<std::uint8_t>(healthSet != nullptr ? healthSet->health[k] & 0xFF : 0);
        r.health2 = r.health;
        r.flags = static_cast<std::uint8_t>((set.page8Seen ? 0 : kFlagWeekGuessed) | (healthSet ? 0 : kFlagNoHealth));
        r.sqrtA = static_cast<float>(e.sqrtA * 0x1p-11);
        r.e = static_cast<float>(e.e * 0x1p-21);
        r.M0 = static_cast<float>(e.m0 * 0x1p-23);
        r.omega = static_cast<float>(e.omega * 0x1p-23);
        r.Omega0 = static_cast<float>(e.omega0 * 0x1p-23);
        r.OmegaDot = static_cast<float>(e.omegaDot * 0x1p-38);
        r.deltaI = static_cast<float>(e.di * 0x1p-19);
        r.af0 = static_cast<float>(e.a0 * 0x1p-20);
        r.af1 = static_cast<float>(e.a1 * 0x1p-38);
        const SvIdType id{static_cast<std::uint8_t>(k), kSysBeidou, 0, static_cast<std::uint8_t>(k)};
        store->update_AlmanacData(id, 0, buf, false);
        stamp_[k] = count;
      }
      // Written now, from this set or by another decoder in the same subframe: the other sets'
      // copies wait for their next page.
      for (AlmanacSet& other : sets_) other.entry[k].toProcess = false;
      break;
    }
  }
}

// ---- UTC ----------------------------------------------------------------------------------------

void CompAlmanacDataType::decodeUtcPage(const std::uint32_t* w, int week) {
  UtcDataType& b = utc_;
  b.dtls = static_cast<std::int8_t>(s2(w, 51, 2, 61, 6));
  b.dtlsf = static_cast<std::int8_t>(s(w, 67, 8));
  b.wnlsf = static_cast<std::uint8_t>(u(w, 75, 8));
  b.a0 = s2(w, 91, 22, 121, 10);
  b.a1 = s2(w, 131, 12, 151, 12);
  b.dn = static_cast<std::uint8_t>(u(w, 163, 8));
  b.refWeek = week;
  b.present = true;
}

void CompAlmanacDataType::processUtc(SatelliteDataProcessor* store) {
  UtcDataType& b = utc_;
  if (!b.present) return;
  if (b.refWeek >= 0) {
    alignas(8) std::uint8_t buf[kMaxUtcRecordSize] = {};
    auto& r = *reinterpret_cast<ZRT_UTC_CMP*>(buf);
    r.tot = 0;
    r.A0 = b.a0 * 0x1p-30;
    r.A1 = static_cast<float>(b.a1 * 0x1p-50);
    r.WNt = static_cast<std::uint16_t>(b.refWeek);
    r.WN_LSF = static_cast<std::uint16_t>(getFullWeekNum(b.refWeek, b.wnlsf));
    r.DN = b.dn;
    r.dtLS = b.dtls;
    r.dtLSF = b.dtlsf;
    if (store != nullptr) store->update_UtcData(kSysBeidou, 0, buf);
  }
  b = UtcDataType{};
}
