#include "navigation_data/orbits/sat_polynom.h"

#include <cmath>
#include <cstring>

#include "navigation_data/orbits/gps_orbit.h"

// The lock is defined ahead of the instance so that it exists when the instance is built.
Mutex SatPolynomStore::mutex;
SatPolynomStore SatPolynomStoreInstance;

namespace {
bool computeNode(int sys, const ZRT_EPH_GPS& eph, double t, PolyNode& n) {
  if (!compute_SatPositionByEphemeris(t, sys, eph, n.pos, n.vel, &n.rel)) return false;
  n.t = t;
  return true;
}

// Writes the node for time t over the oldest one, which makes it the newest.
bool addNode(int sys, const ZRT_EPH_GPS& eph, double t, PolyNodeRing& ring) {
  PolyNode n;
  if (!computeNode(sys, eph, t, n)) return false;
  ring.node[ring.first] = n;
  ring.first = static_cast<std::uint8_t>((ring.first + 1) % 3);
  return true;
}
}  // namespace

void build_PolynomOrbit(int sys, const PolyNodeRing& ring, SatData::PolynomEntryType& entry) {
  const PolyNode& n0 = ring.at(0);
  const PolyNode& n1 = ring.at(1);
  const PolyNode& n2 = ring.at(2);
  const double h = fold_CycleTime(n2.t - n0.t, sys) / 2;
  for (int k = 0; k < 3; ++k) {
    const double p0 = n0.pos[k], p1 = n1.pos[k], p2 = n2.pos[k];
    const double v0 = n0.vel[k], v2 = n2.vel[k];
    const double curv = p0 + p2 - 2 * p1;
    entry.coef[0][k] = p1;
    entry.coef[1][k] = (3 * (p2 - p0) - (v0 + v2) * h) / (4 * h);
    entry.coef[2][k] = (4 * curv - (v2 - v0) * h) / (4 * h * h);
    entry.coef[3][k] = ((v0 + v2) * h - (p2 - p0)) / (4 * h * h * h);
    entry.coef[4][k] = ((v2 - v0) * h - 2 * curv) / (4 * h * h * h * h);
  }
  // Straight line through the three relativistic terms by least squares: normal equations of
  // (1, tau) solved by elimination.
  double s00 = 0, s01 = 0, s11 = 0, b0 = 0, b1 = 0;
  for (int i = 0; i < 3; ++i) {
    const PolyNode& n = ring.at(i);
    const double tau = fold_CycleTime(n.t - n1.t, sys);
    s00 += 1, s01 += tau, s11 += tau * tau, b0 += n.rel, b1 += tau * n.rel;
  }
  const double f = s01 / s00;
  const double slope = (b1 - f * b0) / (s11 - f * s01);
  const double c = (b0 - s01 * slope) / s00;
  entry.rel[0] = static_cast<float>(c);
  entry.rel[1] = static_cast<float>(slope);
  entry.refTime = n0.t;
  entry.span = static_cast<float>(2 * h);
}

void build_PolynomEntry(int sys, const ZRT_EPH_GPS& eph, const PolyNodeRing& ring,
                        SatData::PolynomEntryType& entry) {
  build_PolynomOrbit(sys, ring, entry);
  const PolyNode& n0 = ring.at(0);
  const double dtc = fold_CycleTime(n0.t - eph.toc, sys);
  entry.clkOffset = eph.af0 + (eph.af1 + static_cast<double>(eph.af2) * dtc) * dtc;
  // The rate of the clock polynomial (IS-GPS-200 20.3.3.3.3.1 differentiated).
  entry.clkDrift = static_cast<float>(eph.af1 + 2.0 * eph.af2 * dtc);
  const double acc = get_EphemerisAccuracy(eph, n0.t);
  entry.accuracy = static_cast<float>(acc * acc);
}

bool update_SatellitePolynom(int sys, const ZRT_EPH_GPS& eph, double t, PolyNodeRing& ring,
                             bool& computed, SatData::PolynomEntryType& entry) {
  if (!has_KeplerOrbit(sys)) return false;
  const double h = ring.step;
  if (!computed) {
    PolyNodeRing r;
    r.step = h;
    for (int k = 0; k < 3; ++k)
      if (!computeNode(sys, eph, t + k * h, r.node[k])) return false;
    r.entryNewest = r.newest().t;
    ring = r;
    computed = true;
    build_PolynomEntry(sys, eph, ring, entry);
    return true;
  }
  const double N = ring.entryNewest;
  const bool nodeAdded = fold_CycleTime(ring.newest().t - N, sys) > 0.01;
  if (fold_CycleTime(N - t, sys) > 0.1 * h) {
    // Ahead of time: the next node is computed now, so that the rebuild costs no orbit.
    if (!nodeAdded) addNode(sys, eph, N + h, ring);
    return true;
  }
  if (!nodeAdded && !addNode(sys, eph, N + h, ring)) return false;
  ring.entryNewest = ring.newest().t;
  build_PolynomEntry(sys, eph, ring, entry);
  return true;
}

void eval_Polynom(const SatData::PolynomEntryType& e, double dt, double pos[3], double vel[3],
                  double* clock) {
  const double tau = dt - e.span / 2.0;
  for (int k = 0; k < 3; ++k) {
    const double p = (((e.coef[4][k] * tau + e.coef[3][k]) * tau + e.coef[2][k]) * tau + e.coef[1][k]) * tau +
                     e.coef[0][k];
    pos[k] = p;
    if (vel != nullptr)
      vel[k] = ((4 * e.coef[4][k] * tau + 3 * e.coef[3][k]) * tau + 2 * e.coef[2][k]) * tau + e.coef[1][k];
  }
  if (clock != nullptr)
    *clock = e.clkOffset + static_cast<double>(e.clkDrift) * dt + e.rel[0] + static_cast<double>(e.rel[1]) * tau;
}

void update_SatelliteTgd(const ZRT_EPH_GPS& eph, int dataType, SatData::TgdSetType& set) {
  constexpr float kGamma1 = 1.6469444f;  // (77/60)^2: L1 to L2
  constexpr float kGamma5 = 1.7932702f;  // (154/115)^2: L1 to L5
  const float tgd = eph.tgd;
  auto put = [&set](int f, float v, std::uint8_t src) {
    if (src == 1 && set.source[f] == 2) return;  // a broadcast correction is never overwritten by a derived one
    set.delay[f] = v;
    set.source[f] = src;
  };
  // A TGD that is not broadcast gives no delay at all: what the set holds from another record stays.
  if (eph.iscFlags & kIscFlagNoTgd) return;
  put(1, tgd, 2);
  put(2, kGamma1 * tgd, 2);
  if (dataType == 1) {
    if (eph.iscFlags & kIscFlagIsc1) put(0, tgd - eph.isc1, 2);
    else put(0, tgd, 1);
    if (eph.iscFlags & kIscFlagIsc2) put(3, tgd - eph.isc2, 2);
    else put(3, kGamma1 * tgd, 1);
    if (eph.iscFlags & kIscFlagIsc3) put(4, tgd - eph.isc3, 2);
    else put(4, kGamma5 * tgd, 1);
  } else {
    put(0, tgd, 1);
    put(3, kGamma1 * tgd, 1);
    put(4, kGamma5 * tgd, 1);
    if (dataType == 2 && (eph.iscFlags & kIscFlagCnav2Isc2)) put(5, tgd - eph.isc2, 2);
  }
  put(5, tgd, 1);
}

SatPolynomStore::SatPolynomStore() { Init(); }

void SatPolynomStore::Init() {
  Locker<Mutex> l(mutex);
  std::memset(sets_, 0, sizeof sets_);
  for (bool& h : has_) h = false;
}

bool SatPolynomStore::Put(SvIdType id, const SatData::PolynomSetType* set) {
  int slot;
  if (!id.find_SiSlot(slot)) return false;
  Locker<Mutex> l(mutex);
  has_[slot] = set != nullptr;
  if (set != nullptr) sets_[slot] = *set;
  return true;
}

bool SatPolynomStore::Take(SvIdType id, SatData::PolynomSetType* out) {
  int slot;
  if (out == nullptr || !id.find_SiSlot(slot)) return false;
  Locker<Mutex> l(mutex);
  if (!has_[slot]) return false;
  *out = sets_[slot];
  return true;
}

void SatPolynomStore::free_PolynomData() { mutex.unlock(); }

// Called with the lock held; leaves it held.
const SatData::PolynomEntryType* SatPolynomStore::select(SvIdType id, bool healthyOnly,
                                                          std::uint8_t* status, std::uint16_t* iod,
                                                          int* dataType, int* slot) {
  const SatData::PolynomSetType& s = sets_[*slot];
  const SatData::PolynomEntryType* e = nullptr;
  if (*iod == kPolyNoIod) {
    if (s.entry[0].iod != kPolyNoIod) e = &s.entry[0];
  } else {
    for (const auto& c : s.entry)
      if (c.iod == *iod) {
        e = &c;
        break;
      }
  }
  if (e == nullptr) {
    *status = kPolyNoIodMatch;
    return nullptr;
  }
  *iod = e->iod;
  *dataType = e->dataType;
  if (healthyOnly && (e->flags & kPolyFlagUnhealthy)) {
    *status = kPolyUnhealthy;
    return nullptr;
  }
  if (id.sys == kSysGlonass || id.sys == kSysSbas) {
    if (!(e->flags & kPolyFlagAlmChecked)) {
      *status = kPolyAlmCheckMissing;
      return nullptr;
    }
    if (e->flags & kPolyFlagAlmUnhealthy) {
      *status = kPolyAlmUnhealthy;
      return nullptr;
    }
  }
  if (e->flags & kPolyFlagInvalid) {
    *status = kPolyInvalid;
    return nullptr;
  }
  *status = kPolyOk;
  return e;
}

const SatData::PolynomEntryType* SatPolynomStore::get_PolynomData(SvIdType id, double t, bool healthyOnly,
                                                                   bool gloShift, std::uint8_t* status,
                                                                   std::uint16_t* iod, int* dataType,
                                                                   float* accuracy, double* dt) {
  int slot;
  *status = kPolyNoSet;
  if (!id.find_SiSlot(slot)) return nullptr;
  PolynomHold hold;
  mutex.lock();
  hold.hold();
  if (!has_[slot]) return nullptr;
  const std::uint16_t asked = *iod;
  const SatData::PolynomEntryType* e = select(id, healthyOnly, status, iod, dataType, &slot);
  if (e == nullptr) {
    if (*status == kPolyNoIodMatch && asked != kPolyNoIod) *iod = kPolyNoIod;
    return nullptr;
  }
  double tt = t;
  if (id.sys == kSysGlonass && gloShift && !(e->flags & kPolyFlagGloNoShift)) tt += 1.0;
  const double d = fold_CycleTime(tt - e->refTime, id.sys);
  const double span = id.sys == kSysSbas ? e->span * 1.5 : e->span;
  if (d < -0.1 * span || d > 1.1 * span) {
    *status = kPolyOutsideFit;
    return nullptr;
  }
  *accuracy = e->accuracy;
  *dt = d;
  *status = kPolyOk;
  hold.handOver();
  return e;
}

const SatData::PolynomEntryType* SatPolynomStore::get_PolynomData(SvIdType id, bool healthyOnly,
                                                                   std::uint8_t* status, std::uint16_t* iod,
                                                                   int* dataType) {
  int slot;
  *status = kPolyNoSet;
  if (!id.find_SiSlot(slot)) return nullptr;
  PolynomHold hold;
  mutex.lock();
  hold.hold();
  if (!has_[slot]) return nullptr;
  const SatData::PolynomEntryType* e = select(id, healthyOnly, status, iod, dataType, &slot);
  if (e == nullptr) return nullptr;
  hold.handOver();
  return e;
}

int SatPolynomStore::get_IssueOfData(SvIdType id, double t, std::uint16_t iod[2]) {
  int slot;
  if (!id.find_SiSlot(slot)) return kPolyNoSet;
  Locker<Mutex> l(mutex);
  if (!has_[slot]) return kPolyNoSet;
  for (int k = 0; k < 2; ++k) {
    const SatData::PolynomEntryType& e = sets_[slot].entry[k];
    const double d = fold_CycleTime(t - e.refTime, id.sys);
    const bool usable = e.iod != kPolyNoIod && !(e.flags & kPolyFlagInvalid) && d >= -0.1 * e.span &&
                        d <= 1.1 * e.span;
    iod[k] = usable ? e.iod : kPolyNoIod;
  }
  return 0;
}

const SatData::TgdSetType* SatPolynomStore::get_TgdData(SvIdType id) {
  int slot;
  if (!id.find_SiSlot(slot)) return nullptr;
  mutex.lock();
  if (!has_[slot]) {
    mutex.unlock();
    return nullptr;
  }
  return &sets_[slot].tgd;
}

bool SatPolynomStore::is_PolynomValid(const SatData::PolynomEntryType& e, int sys, double t) {
  if (e.iod == kPolyNoIod) return false;
  return std::fabs(fold_CycleTime(t - e.refTime - e.span / 2.0, sys)) <= 600;
}
