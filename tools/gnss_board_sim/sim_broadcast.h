// The simulator's broadcast of a RINEX 4 navigation file: what a board whose antenna stands at
// the site hands on each second of every satellite above its horizon, in the messages the
// program reads ("gd", "qd", "lD", "ED", "cd", "id"), each message when it would be complete,
// from the record whose transmission time came last, on the systems' own schedules:
// - GPS and QZSS LNAV subframes 1-3 (6 s each, 30-s frames), CNAV types 10, 11, 30 (12 s each,
//   kind 1) and CNAV-2 frames (18 s, kind 3; GPS from its CNAV records, QZSS from its CNV2 ones);
// - GLONASS FDMA strings 1-5 (2 s each, 30-s frames aligned to Moscow time, kind 0);
// - Galileo I/NAV on E1-B (kind 0: page pairs of 2 s, words 2, 4, 6 and 1, 3, 5 in their places
//   of the 30-s subframe, word 0 elsewhere) and F/NAV on E5a (kind 1: pages 1-4 of the 50-s
//   subframe, 10 s each);
// - BeiDou D1 subframes 1-3 of the MEO and IGSO satellites (6 s, kind 0: B1I), D2 pages 1-10 of
//   the GEOs (one a 3-s frame, kind 0x80), B1C frames (18 s, kind 3), B2a messages 10, 11, 30 (3 s
//   each, kind 5) and B2b messages 10 and 30 (1 s each, kind 6; from the CNV2 records);
// - NavIC L5 subframes 1 and 2 (12 s each, 48-s frames, kind 0).
// A satellite changes its data set only where a frame (or the cycle of messages that carries one
// ephemeris) begins: every message of a frame comes from the record current at its start.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "sim_beidou.h"
#include "sim_cnav.h"
#include "sim_galileo.h"
#include "sim_glonass.h"
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

// A GLONASS string ("lD"): slot, frequency number, time, kind 0, four words, validity; checksum.
inline std::string lDMessage(int slot, int freq, std::uint32_t time, const std::vector<std::uint32_t>& w) {
  std::string b;
  b += static_cast<char>(slot);
  b += static_cast<char>(static_cast<std::int8_t>(freq));
  putLe(b, time, 4);
  b += '\0';
  b += static_cast<char>(w.size());
  for (std::uint32_t x : w) putLe(b, x, 4);
  b += '\0';
  return frame("lD", b, true);
}

// A Galileo page ("ED"): satellite, time, kind, byte count, the page, validity; checksum.
inline std::string edMessage(int svid, std::uint32_t time, int kind, const std::string& page) {
  std::string b;
  b += static_cast<char>(svid);
  putLe(b, time, 4);
  b += static_cast<char>(kind);
  b += static_cast<char>(page.size());
  b += page;
  b += '\0';
  return frame("ED", b, true);
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

class MultiBroadcast {
 public:
  // Reads the file; its GPS LNAV records go to `gps` (the LNAV broadcast the board already
  // sends). False when the file holds no ephemeris.
  bool load(const std::string& path, LnavBroadcast& gps) {
    nav_ = readRinex4Nav(path);
    for (const Rnx4Eph& r : nav_.eph) {
      if (r.type == "LNAV" && r.sys == 'G') gps.add(lnavOf(r));
      if (r.type == "LNAV" && r.sys == 'J') qzss_.add(lnavOf(r));
      by_[{r.sys, r.prn, r.type}].push_back(&r);
    }
    for (auto& [key, v] : by_)
      std::stable_sort(v.begin(), v.end(), [](const Rnx4Eph* a, const Rnx4Eph* b) { return a->txGps < b->txGps; });
    gal_ = galTime(nav_);
    if (const Rnx4Sto* s = nav_.stoOf('R', "GLUT")) glo_.tauC = s->a0;
    if (const Rnx4Sto* s = nav_.stoOf('R', "GLGP")) glo_.tauGps = s->a0;
    return !nav_.eph.empty();
  }
  bool empty() const { return nav_.eph.empty(); }
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
    if (gps % 18 == 0) out += cnav2(gps, t, site);
    if (gps % 2 == 0) out += glonass(gps, t, site) + inav(gps, t, site);
    if (gps % 10 == 0) out += fnav(gps, t, site);
    out += beidou(gps, t, site);
    if (gps % 12 == 0) out += navic(gps, t, site);
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
    if (id > 3) return {};
    std::string out;
    for (const LnavEph* r : qzss_.visible(cycleStart(gps, 6, 30), site)) {
      Subframe s = lnavSubframe(*r, id, static_cast<std::uint32_t>((gps % kWeek) / 6));
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

  std::string cnav2(std::int64_t gps, std::uint32_t t, const Site& site) const {
    std::string out;
    for (char sys : {'G', 'J'})
      for (const Rnx4Eph* r : currentAll(sys, sys == 'G' ? "CNAV" : "CNV2", gps - 18)) {
        if (!inView(sys, r->prn, gps, site)) continue;
        CnavFields f = cnavFields(*r);
        f.wn = gps / kWeek;
        const Bits b = cnav2Frame(f, (gps % 7200) / 18, (gps % kWeek) / 7200);
        out += wordMessage(sys == 'G' ? "gd" : "qd", f.prn, t, 3, b.words(28));
      }
    return out;
  }

  std::string glonass(std::int64_t gps, std::uint32_t t, const Site& site) const {
    const std::int64_t tod = ((gps - kUtcGpsLeap + 10800) % 86400 + 86400) % 86400;  // Moscow
    const std::int64_t ended = (tod + 86400 - 2) % 86400;  // start of the string that has just ended
    const int m = static_cast<int>((ended % 30) / 2) + 1;
    if (m > 5) return {};
    const int frameTod = static_cast<int>(ended - ended % 30);
    std::string out;
    const std::int64_t frameGps = gps - 2 - ended % 30;
    for (const Rnx4Eph* r : currentAll('R', "FDMA", frameGps)) {
      if (!inView('R', r->prn, gps, site)) continue;
      const GloEph g = gloEph(*r);
      out += lDMessage(g.slot, g.freq, t, gloWords(gloString(g, glo_, m, frameTod)));
    }
    return out;
  }

  std::string inav(std::int64_t gps, std::uint32_t t, const Site& site) const {
    static const int kWords[15] = {2, 4, 6, 0, 0, 0, 0, 0, 0, 0, 1, 3, 5, 0, 0};
    const std::int64_t start = gps - 2;
    const int type = kWords[(start % 30) / 2];
    std::string out;
    for (const Rnx4Eph* r : currentAll('E', "INAV", cycleStart(gps, 2, 30))) {
      if (!inView('E', r->prn, gps, site)) continue;
      const Bits w = inavWord(galFields(*r), gal_, type, start / kWeek - 1024, start % kWeek);
      out += edMessage(r->prn, t, 0, inavPagePair(w));
    }
    return out;
  }

  std::string fnav(std::int64_t gps, std::uint32_t t, const Site& site) const {
    const std::int64_t start = gps - 10;
    const int type = static_cast<int>((start % 50) / 10) + 1;
    if (type > 4) return {};
    std::string out;
    for (const Rnx4Eph* r : currentAll('E', "FNAV", cycleStart(gps, 10, 50))) {
      if (!inView('E', r->prn, gps, site)) continue;
      out += edMessage(r->prn, t, 1, fnavPage(galFields(*r), gal_, type, start / kWeek - 1024, start % kWeek));
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
      if (id <= 3)
        for (const Rnx4Eph* r : currentAll('C', "D1", cycleStart(gps, 6, 30, kBdtGpsSec)))
          if (visible(r)) out += wordMessage("cd", r->prn, t, 0, d1Subframe(d1Fields(*r, nav_), id, (b - 6) % kWeek).words(10));
    }
    if (b % 3 == 0) {
      const int page = static_cast<int>(((b - 3) / 3) % 10) + 1;
      for (const Rnx4Eph* r : currentAll('C', "D2", cycleStart(gps, 3, 30, kBdtGpsSec)))
        if (visible(r)) out += wordMessage("cd", r->prn, t, 0x80, d2Page(d1Fields(*r, nav_), page, (b - 3) % kWeek).words(10));
      static const int kB2a[3] = {10, 11, 30};
      const int type = kB2a[((b - 3) / 3) % 3];
      for (const Rnx4Eph* r : currentAll('C', "CNV2", cycleStart(gps, 3, 9, kBdtGpsSec)))
        if (visible(r)) out += wordMessage("cd", r->prn, t, 5, b2aMessage(bcnavFields(*r, nav_), type, ((b - 3) % kWeek) / 3, wn).words(9));
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
    if (id > 2) return {};
    std::string out;
    for (const Rnx4Eph* r : currentAll('I', "LNAV", cycleStart(gps, 12, 48)))
      if (inView('I', r->prn, gps, site))
        out += wordMessage("id", r->prn, t, 0, navicSubframe(navicFields(*r), id, (gps % kWeek) / 12).words(10));
    return out;
  }

  Rnx4Nav nav_;
  LnavBroadcast qzss_;
  std::map<std::tuple<char, int, std::string>, std::vector<const Rnx4Eph*>> by_;
  GalTime gal_;
  GloTime glo_;
};

}  // namespace sim
