// The simulator's broadcast of a RINEX 4 navigation file: what a board whose antenna stands at
// the site hands on each second of every satellite above its horizon, in the messages the
// program reads ("gd", "qd", "lD", "ED", "cd", "id", "xd"), each message when it would be complete,
// from the record whose transmission time came last, on the systems' own schedules:
// - GPS and QZSS LNAV subframes 1-3 (6 s each, 30-s frames), CNAV types 10, 11, 30 (12 s each,
//   kind 1), CNAV types 13, 14, 34, 35 on L5 (kind 2, 6 s after those) and CNAV-2 frames (18 s,
//   kind 3, subframe 3 pages 6, 2 and 5 in turn; GPS from its CNAV records, QZSS from its CNV2
//   ones);
// - GLONASS FDMA strings 1-5 (2 s each, 30-s frames aligned to Moscow time, kind 0) and L3
//   strings 1-5 (3 s each, kind 1) of the six lowest slots in view;
// - Galileo I/NAV on E1-B (kind 0: page pairs of 2 s, words 2, 4, 6 and 1, 3, 5 in their places
//   of the 30-s subframe, word 0 elsewhere) and F/NAV on E5a (kind 1: pages 1-4 of the 50-s
//   subframe, 10 s each, and almanac page 5 or 6);
// - BeiDou D1 subframes 1-3 of the MEO and IGSO satellites (6 s, kind 0: B1I), D2 pages 1-10 of
//   the GEOs (one a 3-s frame, kind 0x80, with the frame's subframes 2, 3 and 5 of corrections), B1C frames (18 s, kind 3), B2a messages 10, 11, 30, 40 (3 s
//   each, kind 5) and B2b messages 10 and 30 (1 s each, kind 6; from the CNV2 records);
// - NavIC L5 subframes 1 and 2 (12 s each, 48-s frames, kind 0);
// - a QZSS LEX message (250 bytes, 1 s) of each QZSS satellite.
// A satellite changes its data set only where a frame (or the cycle of messages that carries one
// ephemeris) begins: every message of a frame comes from the record current at its start.
#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "sim_beidou.h"
#include "sim_cnav.h"
#include "sim_galileo.h"
#include "sim_glonass.h"
#include "sim_glonass_l3.h"
#include "sim_kepler.h"
#include "sim_lnav.h"
#include "sim_native.h"
#include "sim_navic.h"
#include "sim_rinex4.h"

namespace sim {

// A word-form message ("gd", "qd", "cd", "id"): satellite, time, kind, word count, words,
// validity byte; checksum.
inline std::string wordMessage(const char* id, int sv, std::uint32_t time, int kind, const std::vector<std::uint32_t>& w) {
  std::string b;
  b += static_cast<char>(sv);
  putLe(b, time, 4);
  b += static_cast<char>(kind);
  b += static_cast<char>(w.size());
  for (std::uint32_t x : w) putLe(b, x, 4);
  b += '\0';
  return frame(id, b, true);
}

// A GLONASS string ("lD"): slot, frequency number, time, kind (0 FDMA, 1 L3), the words,
// validity; checksum.
inline std::string lDMessage(int slot, int freq, std::uint32_t time, int kind, const std::vector<std::uint32_t>& w) {
  std::string b;
  b += static_cast<char>(slot);
  b += static_cast<char>(static_cast<std::int8_t>(freq));
  putLe(b, time, 4);
  b += static_cast<char>(kind);
  b += static_cast<char>(w.size());
  for (std::uint32_t x : w) putLe(b, x, 4);
  b += '\0';
  return frame("lD", b, true);
}

// A byte-form message: a Galileo page ("ED") or a LEX message ("xd"): satellite, time, kind,
// byte count, the bytes, validity; checksum.
inline std::string edMessage(int svid, std::uint32_t time, int kind, const std::string& page, const char* id = "ED") {
  std::string b;
  b += static_cast<char>(svid);
  putLe(b, time, 4);
  b += static_cast<char>(kind);
  b += static_cast<char>(page.size());
  b += page;
  b += '\0';
  return frame(id, b, true);
}

// A LEX message of QZSS PRN `prn` (193..): its preamble, PRN, message type 0 and alert bit 0,
// the data part and its Reed-Solomon parity left 0 (IS-QZSS 1.6 section 5.7.2): 2000 bits.
inline std::string lexMessage(int prn) {
  Bits b(2000);
  b.put(1, 32, 0x1ACFFC1D), b.put(33, 8, prn), b.put(41, 8, 0), b.put(49, 1, 0);
  return b.bytes(250);
}

// A RINEX 4 LNAV record of GPS or QZSS in the simulator's LNAV form (QZSS numbered from 193).
inline LnavEph lnavOf(const Rnx4Eph& r) {
  LnavEph e;
  e.prn = r.sys == 'J' ? 192 + r.prn : r.prn;
  e.toc = static_cast<double>(r.epochGps % kWeek);
  e.af0 = r.at(0), e.af1 = r.at(1), e.af2 = r.at(2);
  double* f[26] = {&e.iode,  &e.crs, &e.dn,       &e.m0,    &e.cuc,   &e.e,      &e.cus,    &e.sqrtA,   &e.toe,
                   &e.cic,   &e.omega0, &e.cis,   &e.i0,    &e.crc,   &e.omega,  &e.omegaDot, &e.idot, &e.l2codes,
                   &e.week,  &e.l2p, &e.ura,      &e.health, &e.tgd,  &e.iodc,   &e.ttx,    &e.fit};
  for (std::size_t k = 0; k < 26; ++k) *f[k] = r.at(3 + k);
  e.txAbs = r.txGps;
  return e;
}

// The UTC page of GPS or QZSS LNAV from the file: the first Klobuchar record of the system's LNAV,
// the first offset to UTC named `code` (its epoch the reference time) and the header's leap
// seconds. Not present when the file lacks either.
inline LnavUtc lnavUtcOf(const Rnx4Nav& nav, char sys, const char* code) {
  LnavUtc u;
  const Rnx4Ion* ion = nav.ionOf(sys, "LNAV");
  const Rnx4Sto* sto = nav.stoOf(sys, code);
  if (ion == nullptr || sto == nullptr || ion->v.size() < 8) return u;
  for (std::size_t i = 0; i < 4; ++i) u.alpha[i] = ion->v[i], u.beta[i] = ion->v[4 + i];
  u.a0 = sto->a0, u.a1 = sto->a1;
  u.tot = static_cast<int>(sto->epoch % kWeek);
  u.wnt = static_cast<int>((sto->epoch / kWeek) % 256);
  u.dtls = nav.leap, u.dtlsf = nav.leapF, u.wnlsf = nav.wnLsf % 256, u.dn = nav.dn;
  u.present = true;
  return u;
}

// NavIC's time parameters from the file: its first NavIC-UTC and NavIC-GPS offsets and its
// Klobuchar record; weeks counted from the NavIC epoch (GPS week 1024).
inline NavicTime navicTimeOf(const Rnx4Nav& nav) {
  NavicTime t;
  const Rnx4Sto* u = nav.stoOf('I', "IRUT");
  const Rnx4Sto* g = nav.stoOf('I', "IRGP");
  if (u != nullptr && g != nullptr) {
    t.a0 = u->a0, t.a1 = u->a1, t.a2 = u->a2;
    t.t0 = static_cast<int>(u->epoch % kWeek), t.wn = static_cast<int>((u->epoch / kWeek - 1024) % 1024);
    t.g0 = g->a0, t.g1 = g->a1, t.g2 = g->a2;
    t.gt0 = static_cast<int>(g->epoch % kWeek), t.gwn = static_cast<int>((g->epoch / kWeek - 1024) % 1024);
    t.dtls = nav.leap, t.dtlsf = nav.leapF, t.wnlsf = (nav.wnLsf - 1024) % 1024, t.dn = nav.dn;
    t.utc = true;
  }
  if (const Rnx4Ion* i = nav.ionOf('I', "LNAV"); i != nullptr && i->v.size() >= 8) {
    for (std::size_t k = 0; k < 4; ++k) t.alpha[k] = i->v[k], t.beta[k] = i->v[4 + k];
    t.iono = true;
  }
  return t;
}

class MultiBroadcast {
 public:
  // Reads the file; its GPS LNAV records go to `gps` (the LNAV broadcast the board already
  // sends). False when the file holds no ephemeris.
  bool load(const std::string& path, LnavBroadcast& gps) {
    nav_ = readRinex4Nav(path);
    for (const Rnx4Eph& r : nav_.eph) {
      if (r.type == "LNAV" && r.sys == 'G') gps.add(lnavOf(r));
      if (r.type == "CNAV" && r.sys == 'G') gps.setConfig(r.prn, 0xA);  // anti-spoofing on, L2C
      if (r.type == "LNAV" && r.sys == 'J') qzss_.add(lnavOf(r));
      by_[{r.sys, r.prn, r.type}].push_back(&r);
    }
    for (auto& [key, v] : by_)
      std::stable_sort(v.begin(), v.end(), [](const Rnx4Eph* a, const Rnx4Eph* b) { return a->txGps < b->txGps; });
    gps.setUtc(lnavUtcOf(nav_, 'G', "GPUT"));
    qzss_.setUtc(lnavUtcOf(nav_, 'J', "QZUT"));
    navicTime_ = navicTimeOf(nav_);
    gal_ = galTime(nav_);
    if (const Rnx4Sto* s = nav_.stoOf('R', "GLUT")) glo_.tauC = gloL3_.tauC = s->a0, gloL3_.tauCRate = s->a1;
    if (const Rnx4Sto* s = nav_.stoOf('R', "GLGP")) glo_.tauGps = gloL3_.tauGps = s->a0, gloL3_.tauGpsRate = s->a1;
    // The GLONASS ionosphere model of the L3 strings: the day's solar flux as the file's Galileo
    // NeQuick coefficient a0 gives it; the file holds no geomagnetic index, so a quiet day's Ap.
    if (const Rnx4Ion* i = nav_.ionOf('E', "IFNV"); i != nullptr && !i->v.empty())
      gloL3_.ionoFlux = static_cast<int>(std::lround(i->v[0]));
    gloL3_.ionoAp = kQuietAp;
    // CNAV's offsets to another GNSS's time: GPS to Galileo (GNSS ID 1), the file's Galileo-GPS
    // offset turned round; QZSS to GPS (IS-QZSS: GNSS ID 0), the file's own.
    if (const Rnx4Sto* s = nav_.stoOf('E', "GAGP")) ggto_[0] = cnavGgto(*s, 1, -1.0);
    if (const Rnx4Sto* s = nav_.stoOf('J', "QZGP")) ggto_[1] = cnavGgto(*s, 0, 1.0);
    return !nav_.eph.empty();
  }
  bool empty() const { return nav_.eph.empty(); }
  // A leap second announced in place of the file's: one more second at the end of day `dn` (1-7,
  // Sunday 1) of GPS week `week`, in every system's UTC parameters; GLONASS KP 01.
  void announceLeap(int week, int dn, LnavBroadcast& gps) {
    nav_.leapF = nav_.leap + 1, nav_.wnLsf = week, nav_.dn = dn;
    gps.setUtc(lnavUtcOf(nav_, 'G', "GPUT"));
    qzss_.setUtc(lnavUtcOf(nav_, 'J', "QZUT"));
    navicTime_ = navicTimeOf(nav_);
    gal_ = galTime(nav_);
    glo_.kp = gloL3_.kp = 1;
  }
  // From GPS second `from` on, a system's offset to GPS time is `ns` larger under the same issue:
  // Galileo's A0G (I/NAV word 10, F/NAV page 4, same t0G and week) or GLONASS's tauGPS (FDMA
  // string 5, L3 string 1, same day).
  void changeOffset(char sys, std::int64_t from, double ns) { offsetSys_ = sys, offsetFrom_ = from, offsetNs_ = ns; }
  // The GEOs' grid describes the sky's ionosphere (--iono) instead of none.
  bool iono = false;
  // Every L3 string 2 names the TS after its own: its string 1 is then never its neighbour.
  void skipL3Ts(bool on) { l3TsSkip_ = on; }
  // The GPS satellite's CNAV and CNAV-2 go unsent: with its LNAV subframes 1-3 held back too, its
  // almanac is all the program learns of its orbit.
  void withholdGpsCnav(int prn) { by_.erase({'G', prn, "CNAV"}); }
  // From GPS second `gps` on, string 4 carries no day number (NT = 0), as a satellite of the
  // first generation broadcasts it.
  void gloNoDayNumberFrom(std::int64_t gps) { gloNoNtFrom_ = gps; }
  // String 4 of every FDMA frame gives the data's age En as `days` (0..31) instead of the file's.
  void gloAge(int days) { gloAge_ = days; }
  const Rnx4Nav& nav() const { return nav_; }

  // The record of (system, PRN, type) current at GPS second `gps`: its transmission time the
  // last one reached; null when none.
  const Rnx4Eph* current(char sys, int prn, const std::string& type, std::int64_t gps) const {
    auto it = by_.find({sys, prn, type});
    if (it == by_.end()) return nullptr;
    const Rnx4Eph* best = nullptr;
    for (const Rnx4Eph* r : it->second) {
      if (r->txGps > gps) break;
      best = r;
    }
    return best;
  }
  // Every satellite of a system with a record of `type` current at `gps`.
  std::vector<const Rnx4Eph*> currentAll(char sys, const std::string& type, std::int64_t gps) const {
    std::vector<const Rnx4Eph*> out;
    for (const auto& [key, v] : by_)
      if (std::get<0>(key) == sys && std::get<2>(key) == type)
        if (const Rnx4Eph* r = current(sys, std::get<1>(key), type, gps)) out.push_back(r);
    return out;
  }

  // Whether the satellite is above the site's horizon at GPS second `gps`, by its orbit record.
  bool inView(char sys, int prn, std::int64_t gps, const Site& site) const {
    double p[3];
    return positionOf(sys, prn, gps, p) && site.sees(p);
  }
  bool positionOf(char sys, int prn, std::int64_t gps, double p[3]) const {
    if (sys == 'R') {
      const Rnx4Eph* r = current('R', prn, "FDMA", gps);
      if (r == nullptr) return false;
      gloOrbit(gloEph(*r), static_cast<double>(gps), p);
      return true;
    }
    static const char* const kOrbitTypes[] = {"LNAV", "INAV", "FNAV", "D1", "D2"};
    for (const char* type : kOrbitTypes)
      if (const Rnx4Eph* r = current(sys, prn, type, gps)) {
        const KeplerEph k = keplerEph(*r);
        keplerOrbit(k, static_cast<double>(sys == 'C' ? bdtSow(gps) : gps % kWeek), p);
        return true;
      }
    return false;
  }

  // The messages of GPS second `gps` (the end of an epoch at epoch time `t`), GPS LNAV aside.
  std::string epoch(std::int64_t gps, std::uint32_t t, const Site& site) const {
    std::string out;
    if (gps % 6 == 0) out += qzssLnav(gps, t, site);
    if (gps % 12 == 0) out += cnav(gps, t, site);
    if (gps % 12 == 6) out += cnavL5(gps, t, site);
    if (gps % 18 == 0) out += cnav2(gps, t, site);
    if (gps % 2 == 0) out += glonass(gps, t, site) + inav(gps, t, site);
    if (gps % kGloL3StringSec == 0) out += glonassL3(gps, t, site);
    if (gps % 10 == 0) out += fnav(gps, t, site);
    out += beidou(gps, t, site);
    if (gps % 12 == 0) out += navic(gps, t, site);
    for (const LnavEph* r : qzss_.visible(gps, site)) out += edMessage(r->prn, t, 0, lexMessage(r->prn), "xd");
    return out;
  }

 private:
  // The start of the cycle of `length` s (aligned to `zero`) that holds GPS second `gps` - `back`.
  static std::int64_t cycleStart(std::int64_t gps, std::int64_t back, std::int64_t length, std::int64_t zero = 0) {
    const std::int64_t t = gps - back - zero;
    return t - t % length + zero;
  }

  std::string qzssLnav(std::int64_t gps, std::uint32_t t, const Site& site) const {
    const std::int64_t start = gps - 6;
    const int id = static_cast<int>((start / 6) % 5) + 1;
    const auto towCount = static_cast<std::uint32_t>((gps % kWeek) / 6);
    // Subframes 4 and 5 of data ID 3: in subframe 5 the QZSS almanac pages (SV ID = PRN - 192) and
    // the QZSS health page (51), in the first pages of each 12.5-min cycle, in subframe 4 the UTC
    // page (56) where GPS has it; the other pages are left at zero (SV ID 57). The almanac is that of the ephemerides current where the cycle began.
    const std::int64_t frame = (start % kWeek) / 30;
    LnavAlmanac alm;
    if (id > 3) alm = qzss_.almanac(start - start % 30 - (frame % 25) * 30, 193, 0.25, 0.06);
    std::string out;
    for (const LnavEph* r : qzss_.visible(cycleStart(gps, 6, 30), site)) {
      const int page = static_cast<int>(frame % 25);
      const int svId = id == 5 && page < 10 ? page + 1 : id == 5 && page == 10 ? 51 : id == 4 && page == 17 ? 56 : 57;
      Subframe s = id <= 3 ? lnavSubframe(*r, id, towCount) : lnavAlmPage(alm, id, svId, towCount, 3);
      std::uint32_t w[10];
      s.words(w);
      out += wordMessage("qd", r->prn, t, 0, std::vector<std::uint32_t>(w, w + 10));
    }
    return out;
  }

  std::string cnav(std::int64_t gps, std::uint32_t t, const Site& site) const {
    static const int kTypes[3] = {10, 11, 30};
    const int type = kTypes[((gps - 12) / 12) % 3];
    std::string out;
    for (char sys : {'G', 'J'})
      for (const Rnx4Eph* r : currentAll(sys, "CNAV", cycleStart(gps, 12, 36))) {
        if (!inView(sys, r->prn, gps, site)) continue;
        CnavFields f = cnavFields(*r);
        f.wn = gps / kWeek;  // the week of transmission
        out += wordMessage(sys == 'G' ? "gd" : "qd", f.prn, t, 1, cnavMessage(f, type, (gps % kWeek) / 6).words(10));
      }
    return out;
  }

  // The corrections and time-offset messages on L5, 6 s after the L2 ones: types 13 and 14 (the
  // first six and two satellites of the system from the message's turn on), 34 (one) and 35, each
  // from the record of the L2 cycle then on the air.
  std::string cnavL5(std::int64_t gps, std::uint32_t t, const Site& site) const {
    static const int kTypes[4] = {13, 14, 34, 35};
    const std::int64_t n = (gps - 6) / 12;
    const int type = kTypes[n % 4];
    std::string out;
    for (char sys : {'G', 'J'}) {
      const std::vector<const Rnx4Eph*> all = currentAll(sys, "CNAV", cycleStart(gps + 6, 12, 36));
      const CnavExtra x = cnavExtra(sys, all, gps, n / 4);
      for (const Rnx4Eph* r : all) {
        if (!inView(sys, r->prn, gps, site)) continue;
        CnavFields f = cnavFields(*r);
        f.wn = gps / kWeek;
        out += wordMessage(sys == 'G' ? "gd" : "qd", f.prn, t, 2, cnavCorrMessage(f, x, type, (gps % kWeek) / 6).words(10));
      }
    }
    return out;
  }

  // The corrections of satellites of `sys` in turn (turn `turn`) at the quarter hour of GPS second
  // `gps`, and the system's offset to another GNSS's time.
  CnavExtra cnavExtra(char sys, const std::vector<const Rnx4Eph*>& all, std::int64_t gps, std::int64_t turn) const {
    CnavExtra x = ggto_[sys == 'G' ? 0 : 1];
    const std::int64_t sow = gps % kWeek;
    x.tod = x.topD = (sow - sow % 900) / 300;
    for (std::size_t k = 0; k < 6 && k < all.size(); ++k) {
      const Rnx4Eph* r = all[(static_cast<std::size_t>(turn) + k) % all.size()];
      x.dcSats[k] = sys == 'J' ? 192 + r->prn : r->prn;
    }
    return x;
  }

  std::string cnav2(std::int64_t gps, std::uint32_t t, const Site& site) const {
    static const int kPages[3] = {6, 2, 5};
    const std::int64_t n = gps / 18;
    std::string out;
    for (char sys : {'G', 'J'}) {
      const std::vector<const Rnx4Eph*> all = currentAll(sys, sys == 'G' ? "CNAV" : "CNV2", gps - 18);
      const CnavExtra x = cnavExtra(sys, all, gps - 18, n / 3);
      for (const Rnx4Eph* r : all) {
        if (!inView(sys, r->prn, gps, site)) continue;
        CnavFields f = cnavFields(*r);
        f.wn = gps / kWeek;
        const Bits b = cnav2Frame(f, (gps % 7200) / 18, (gps % kWeek) / 7200, kPages[n % 3], x);
        out += wordMessage(sys == 'G' ? "gd" : "qd", f.prn, t, 3, b.words(28));
      }
    }
    return out;
  }

  std::string glonass(std::int64_t gps, std::uint32_t t, const Site& site) const {
    const std::int64_t tod = ((gps - kUtcGpsLeap + 10800) % 86400 + 86400) % 86400;  // Moscow
    const std::int64_t ended = (tod + 86400 - 2) % 86400;  // start of the string that has just ended
    const int m = static_cast<int>((ended % 30) / 2) + 1;
    const int frameTod = static_cast<int>(ended - ended % 30);
    std::string out;
    const std::int64_t frameGps = gps - 2 - ended % 30;
    // Every satellite broadcasts the almanac of the whole constellation for the current day.
    const GloDay day = gloDay(frameGps);
    GloTime time = glo_;
    if (offsetChanged('R', gps)) time.tauGps += offsetNs_ * 1e-9;
    time.na = day.nt, time.n4 = day.n4;
    std::vector<GloAlm> alm;
    if (m > 5) alm = gloAlmanacs(frameGps, day);
    for (const Rnx4Eph* r : currentAll('R', "FDMA", frameGps)) {
      if (!inView('R', r->prn, gps, site)) continue;
      GloEph g = gloEph(*r);
      if (gloNoNtFrom_ >= 0 && frameGps >= gloNoNtFrom_) g.nt = 0;
      if (gloAge_ >= 0) g.age = gloAge_;
      const Bits s = m <= 5 ? gloString(g, time, m, frameTod) : gloAlmString(alm, m, frameTod / 30 % 5 + 1, time.kp);
      out += lDMessage(g.slot, g.freq, t, 0, gloWords(s));
    }
    return out;
  }

  // The L3 string that has just ended (TS counts the 3-s strings of the Moscow day, types 1-5 in
  // turn), from the record current where its string 1 began, of the satellites in view the board
  // tracks on L3: its six L3 channels take the lowest slots.
  std::string glonassL3(std::int64_t gps, std::uint32_t t, const Site& site) const {
    GloL3Time l3 = gloL3_;
    if (offsetChanged('R', gps)) l3.tauGps += offsetNs_ * 1e-9;
    constexpr std::int64_t kTsPerDay = 86400 / kGloL3StringSec;
    const std::int64_t tod = ((gps - kUtcGpsLeap + 10800) % 86400 + 86400) % 86400;  // Moscow
    const std::int64_t ts = ((tod + 86400 - kGloL3StringSec) % 86400) / kGloL3StringSec;
    const int type = static_cast<int>(ts % kGloL3Types) + 1;
    const GloDay day = gloDay(gps - kGloL3StringSec);
    const std::int64_t sent = type == 2 && l3TsSkip_ ? (ts + 1) % kTsPerDay : ts;
    std::string out;
    int channels = kGloL3Channels;
    for (const Rnx4Eph* r : currentAll('R', "FDMA", gps - kGloL3StringSec * type)) {
      if (!inView('R', r->prn, gps, site) || channels == 0) continue;
      --channels;
      const GloEph g = gloEph(*r);
      out += lDMessage(g.slot, g.freq, t, 1, gloL3String(g, l3, day, type, sent).words(kGloL3Words));
    }
    return out;
  }

  // The almanac of slots 1..24 from the ephemerides current at `gps`, for the Moscow day `day`.
  std::vector<GloAlm> gloAlmanacs(std::int64_t gps, const GloDay& day) const {
    std::vector<GloAlm> alm(24);
    for (int slot = 1; slot <= 24; ++slot) {
      const Rnx4Eph* r = current('R', slot, "FDMA", gps);
      if (r == nullptr) continue;
      auto key = std::make_pair(r, day.startGps);
      auto it = gloAlm_.find(key);
      if (it == gloAlm_.end()) it = gloAlm_.emplace(key, gloAlmanac(gloEph(*r), day.startGps)).first;
      alm[static_cast<std::size_t>(slot - 1)] = it->second;
    }
    return alm;
  }

  std::string inav(std::int64_t gps, std::uint32_t t, const Site& site) const {
    // The nominal E1-B subframe (OS SIS ICD 4.3.2.2): the fourth and fifth page pairs carry
    // almanac words 7 and 8 in even subframes, 9 and 10 in odd ones, three satellites each minute,
    // the whole constellation in 12 minutes: on E1-B satellites 19-36 first, then 1-18.
    static const int kWords[15] = {2, 4, 6, 7, 8, 0, 0, 0, 0, 0, 1, 3, 5, 0, 0};
    const std::int64_t start = gps - 2;
    const std::int64_t subframe = (start % kWeek) / 30;
    int type = kWords[(start % 30) / 2];
    if (type >= 7 && subframe % 2 == 1) type += 2;
    const int minute = static_cast<int>((start % 720) / 60);
    const int firstSv = minute < 6 ? 18 + 3 * minute : 3 * (minute - 6);  // 0-based
    GalAlmanac alm;
    if (type >= 7) alm = galAlmanac(start - start % 720);
    std::string out;
    for (const Rnx4Eph* r : currentAll('E', "INAV", cycleStart(gps, 2, 30))) {
      if (!inView('E', r->prn, gps, site)) continue;
      const Bits w = type >= 7 ? inavAlmWord(alm, galAt(gps), type, firstSv)
                               : inavWord(galFields(*r), galAt(gps), type, start / kWeek - 1024, start % kWeek);
      out += edMessage(r->prn, t, 0, inavPagePair(w));
    }
    return out;
  }

  // The Galileo almanac of the I/NAV (or F/NAV) ephemerides current at GPS second `gps` (the start
  // of a 12-min cycle), for the multiple of 600 s at or before it; its issue counts the cycles.
  GalAlmanac galAlmanac(std::int64_t gps, const char* type = "INAV") const {
    GalAlmanac a;
    const std::int64_t sow = gps % kWeek;
    a.t0a = static_cast<int>(sow / 600);
    a.wna = static_cast<int>((gps / kWeek - 1024) % 4);
    a.iod = static_cast<int>((gps / 720) % 16);
    for (const Rnx4Eph* r : currentAll('E', type, gps)) {
      if (r->prn < 1 || r->prn > 36) continue;
      const std::size_t k = static_cast<std::size_t>(r->prn - 1);
      a.sat[k] = keplerAlmanac(keplerEph(*r), static_cast<double>(a.t0a) * 600.0);
      // An orbit the almanac's fields cannot express (E14 and E18, whose eccentricity is 0.16) is
      // left out of it, as the system does.
      if (!galAlmanacFits(a.sat[k])) a.sat[k].present = false;
      const int h = static_cast<int>(r->at(24));
      a.hsE5b[k] = (h >> 7) & 3, a.hsE1b[k] = (h >> 1) & 3, a.hsE5a[k] = (h >> 4) & 3;
    }
    return a;
  }

  // The D1 almanac of satellites 1-30 from the D1 and D2 ephemerides current at GPS second `gps`,
  // for the multiple of 4096 s of the BDT week at or before it.
  D1Almanac d1Almanac(std::int64_t gps) const {
    D1Almanac a;
    const std::int64_t sow = bdtSow(gps);
    a.toa = static_cast<int>(sow - sow % 4096);
    a.wna = static_cast<int>(((gps - kBdtGpsSec) / kWeek) % 256);
    a.utc = d1UtcOf(nav_);
    for (const char* type : {"D1", "D2"})
      for (const Rnx4Eph* r : currentAll('C', type, gps)) {
        if (r->prn < 1 || r->prn > 30) continue;
        const std::size_t k = static_cast<std::size_t>(r->prn - 1);
        a.sat[k] = keplerAlmanac(keplerEph(*r), static_cast<double>(a.toa));
        a.health[k] = r->at(24) != 0 ? 0x100 : 0;
      }
    return a;
  }

  // The 50-s F/NAV subframe: pages 1-4, then an almanac page, 5 in odd subframes and 6 in the even
  // ones after them: three satellites every 100 s from the almanac of the F/NAV ephemerides of the
  // frame where the pair's page 5 goes out, 1-18 and 19-36 in turn, 600 s each.
  std::string fnav(std::int64_t gps, std::uint32_t t, const Site& site) const {
    const std::int64_t start = gps - 10;
    int type = static_cast<int>((start % 50) / 10) + 1;
    const std::int64_t pair = ((start % kWeek) / 50 - 1) / 2;  // the pair's page 5 in subframe 2 pair + 1
    GalAlmanac alm;
    if (type == 5) {
      const std::int64_t five = start - start % kWeek + (2 * pair + 1) * 50;
      type = five == start - start % 50 ? 5 : 6;
      alm = galAlmanac(five - five % 600, "FNAV");
    }
    const int firstSv = static_cast<int>(3 * (pair % 6) + 18 * ((pair / 6) % 2));
    std::string out;
    for (const Rnx4Eph* r : currentAll('E', "FNAV", cycleStart(gps, 10, 50))) {
      if (!inView('E', r->prn, gps, site)) continue;
      out += edMessage(r->prn, t, 1, type >= 5 ? fnavAlmPage(alm, type, firstSv)
                                               : fnavPage(galFields(*r), galAt(gps), type, start / kWeek - 1024, start % kWeek));
    }
    return out;
  }

  std::string beidou(std::int64_t gps, std::uint32_t t, const Site& site) const {
    const std::int64_t b = gps - kBdtGpsSec;  // BDT seconds
    const std::int64_t wn = b / kWeek;
    std::string out;
    const auto visible = [&](const Rnx4Eph* r) { return inView('C', r->prn, gps, site); };
    if (b % 6 == 0) {
      const int id = static_cast<int>(((b - 6) / 6) % 5) + 1;
      // Subframes 4 and 5: page (frame mod 24) + 1, the almanac that of the ephemerides current
      // where the 12-min cycle of pages began.
      const std::int64_t frame = ((b - 6) % kWeek) / 30;
      const int page = static_cast<int>(frame % 24) + 1;
      D1Almanac alm;
      if (id > 3) alm = d1Almanac(cycleStart(gps, 6, 30, kBdtGpsSec) - (frame % 24) * 30);
      for (const Rnx4Eph* r : currentAll('C', "D1", cycleStart(gps, 6, 30, kBdtGpsSec)))
        if (visible(r)) {
          const Bits sf = id <= 3 ? d1Subframe(d1Fields(*r, nav_), id, (b - 6) % kWeek) : d1AlmPage(alm, id, page, (b - 6) % kWeek);
          out += wordMessage("cd", r->prn, t, 0, sf.words(10));
        }
    }
    if (b % 3 == 0) {
      const int page = static_cast<int>(((b - 3) / 3) % 10) + 1;
      // The rest of the frame: subframes 2 and 3 (six pages) with the corrections of the first 18
      // satellites with a D1 or D2 ephemeris, subframe 5 when its page (of 120) is a grid page.
      std::uint32_t bdid = 0;
      for (const char* kind : {"D1", "D2"})
        for (const Rnx4Eph* r : currentAll('C', kind, gps))
          if (r->prn >= 1 && r->prn <= 30) bdid |= 1u << (30 - r->prn);
      int count = std::popcount(bdid);
      if (count > 18) {
        for (int dropped = count - 18, n = 30; dropped > 0; --n)
          if (bdid >> (30 - n) & 1u) bdid &= ~(1u << (30 - n)), --dropped;
        count = 18;
      }
      const std::int64_t frame = (b - 3) / 3;
      const int corrPage = static_cast<int>(frame % 6) + 1, page5 = static_cast<int>(frame % 120) + 1;
      const bool grid = page5 <= 13 || (page5 >= 61 && page5 <= 73);
      for (const Rnx4Eph* r : currentAll('C', "D2", cycleStart(gps, 3, 30, kBdtGpsSec)))
        if (visible(r)) {
          const std::int64_t sow = (b - 3) % kWeek;
          out += wordMessage("cd", r->prn, t, 0x80, d2Page(d1Fields(*r, nav_), page, sow).words(10));
          out += wordMessage("cd", r->prn, t, 0x80, d2CorrSubframe(2, corrPage, bdid, count, sow).words(10));
          out += wordMessage("cd", r->prn, t, 0x80, d2CorrSubframe(3, corrPage, bdid, count, sow).words(10));
          if (grid) out += wordMessage("cd", r->prn, t, 0x80, d2CorrSubframe(5, page5, bdid, count, sow, iono).words(10));
        }
      // Types 10, 11 and 30 bring an ephemeris; type 40 the midi almanac of the satellites of the
      // file in turn, each at the multiple of 4096 s before the cycle, every satellite in view
      // sending another one, so that the constellation comes within a minute or two.
      static const int kB2a[4] = {10, 11, 30, 40};
      const int type = kB2a[((b - 3) / 3) % 4];
      const std::int64_t cycle = cycleStart(gps, 3, 12, kBdtGpsSec);
      const std::vector<const Rnx4Eph*> all = currentAll('C', "CNV2", cycle);
      for (std::size_t k = 0; k < all.size(); ++k)
        if (const Rnx4Eph* r = all[k]; visible(r)) {
          const BcnavFields f = bcnavFields(*r, nav_);
          const std::int64_t sow3 = ((b - 3) % kWeek) / 3;
          if (type != 40) {
            out += wordMessage("cd", r->prn, t, 5, b2aMessage(f, type, sow3, wn).words(9));
            continue;
          }
          const Rnx4Eph* a = all[(static_cast<std::size_t>((b - 3) / 12) + k) % all.size()];
          const std::int64_t sow = bdtSow(cycle);
          const KeplerAlm midi = keplerAlmanac(keplerEph(*a), static_cast<double>(sow - sow % 4096));
          const int midiType = static_cast<int>(bcnavFields(*a, nav_).satType);
          out += wordMessage("cd", r->prn, t, 5, b2aAlmMessage(f, midi, midiType, wn, sow3).words(9));
        }
    }
    if (b % 18 == 0)
      for (const Rnx4Eph* r : currentAll('C', "CNV1", gps - 18))
        if (visible(r)) out += wordMessage("cd", r->prn, t, 3, b1cFrame(bcnavFields(*r, nav_), wn, ((b - 18) % kWeek) / 3600).words(28));
    const int b2b = (b - 1) % 2 == 0 ? 10 : 30;
    for (const Rnx4Eph* r : currentAll('C', "CNV2", cycleStart(gps, 1, 2, kBdtGpsSec)))
      if (visible(r)) out += wordMessage("cd", r->prn, t, 6, b2bMessage(bcnavFields(*r, nav_), b2b, (b - 1) % kWeek, wn).words(16));
    return out;
  }

  std::string navic(std::int64_t gps, std::uint32_t t, const Site& site) const {
    const int id = static_cast<int>(((gps - 12) / 12) % 4) + 1;
    // Subframes 3 and 4 carry message 7, the almanac of one satellite each, the satellites of the
    // file in turn; the almanac that of the ephemerides current at the frame's start, its
    // reference time the hour before. Every fourth frame carries messages 9 (UTC) and 11
    // (ionosphere) in their place instead, and the second of every four message 14 in subframe
    // 3, the corrections of the file's satellites in turn.
    const std::int64_t frameStart = cycleStart(gps, 12, 48);
    const std::int64_t frame = (frameStart % kWeek) / 48;
    const int inCycle = static_cast<int>(frame % 4);
    const bool timeFrames = navicTime_.utc && navicTime_.iono;
    const bool timeFrame = inCycle == 3 && timeFrames;
    const bool dcFrame = inCycle == 1 && id == 3;
    std::vector<const Rnx4Eph*> all;
    KeplerAlm alm;
    if (id > 2) {
      all = currentAll('I', "LNAV", frameStart);
      if (all.empty()) return {};
      // The almanac subframes before this one: two a frame, one in the frame of message 14.
      static const int kBefore[4] = {0, 2, 3, 5};
      const std::int64_t n = frame / 4 * (timeFrames ? 5 : 7) + kBefore[inCycle] + (inCycle == 1 ? 0 : id - 3);
      const Rnx4Eph* a = all[static_cast<std::size_t>(n % static_cast<std::int64_t>(all.size()))];
      alm = keplerAlmanac(keplerEph(*a), static_cast<double>((frameStart % kWeek) / 3600 * 3600));
    }
    const Rnx4Eph* dc = dcFrame ? all[static_cast<std::size_t>((frame / 4) % static_cast<std::int64_t>(all.size()))] : nullptr;
    std::string out;
    for (const Rnx4Eph* r : currentAll('I', "LNAV", frameStart))
      if (inView('I', r->prn, gps, site)) {
        const std::int64_t towc = (gps % kWeek) / 12;
        const Bits sf = id <= 2      ? navicSubframe(navicFields(*r), id, towc)
                        : dc != nullptr ? navicDcSubframe(dc->prn, static_cast<int>(dc->at(3)), frameStart % kWeek, id, towc, r->prn)
                        : timeFrame ? navicTimeSubframe(navicTime_, id, id == 3 ? 9 : 11, towc, r->prn)
                                     : navicAlmSubframe(alm, id, towc, r->prn, (frameStart / kWeek) % 1024);
        out += wordMessage("id", r->prn, t, 0, sf.words(10));
      }
    return out;
  }

  // The offset of a CNAV GGTO record: the file's offset `s` times `sign`, GNSS ID `id`.
  static CnavExtra cnavGgto(const Rnx4Sto& s, int id, double sign) {
    CnavExtra x;
    x.gnssId = id;
    x.tGgto = (s.epoch % kWeek) / 16, x.wnGgto = (s.epoch / kWeek) % 8192;
    x.a0 = scaled(sign * s.a0, 35), x.a1 = scaled(sign * s.a1, 51), x.a2 = scaled(sign * s.a2, 68);
    return x;
  }

  static constexpr int kQuietAp = 7;
  static constexpr int kGloL3Channels = 6;

  Rnx4Nav nav_;
  LnavBroadcast qzss_;
  std::map<std::tuple<char, int, std::string>, std::vector<const Rnx4Eph*>> by_;
  std::int64_t gloNoNtFrom_ = -1;
  int gloAge_ = -1;  // En of the FDMA strings 4, -1: the file's
  bool offsetChanged(char sys, std::int64_t gps) const { return offsetSys_ == sys && gps >= offsetFrom_; }
  GalTime galAt(std::int64_t gps) const {
    GalTime g = gal_;
    if (offsetChanged('E', gps)) g.a0g += scaled(offsetNs_ * 1e-9, 35);
    return g;
  }

  GalTime gal_;
  char offsetSys_ = 0;
  std::int64_t offsetFrom_ = 0;
  double offsetNs_ = 0;
  GloTime glo_;
  GloL3Time gloL3_;
  bool l3TsSkip_ = false;
  CnavExtra ggto_[2];  // GPS, QZSS
  NavicTime navicTime_;
  mutable std::map<std::pair<const Rnx4Eph*, std::int64_t>, GloAlm> gloAlm_;  // almanacs derived
};

}  // namespace sim
