// The simulator's synthetic constellation: what a receiver at a fixed site would measure of the
// satellites of a navigation file (GPS; with a RINEX 4 file GLONASS, Galileo and BeiDou too),
// computed here with the simulator's own orbit code (IS-GPS-200 20.3.3.3.3.1 for the clock,
// Table 20-IV through lnavOrbit for the orbit; sim_kepler.h and sim_glonass.h for the others),
// and the GNSS board's records that carry it: satellite data (7), channel states (10) and
// signal measurements (11).
//
// Model: no atmosphere (with --iono the ionosphere of sim_iono.h) and a perfect receiver clock, so that every value is exact to the
// model. Pseudorange = geometric range at the signal's transmission time (light time iterated,
// Earth rotation during flight, IS-GPS-200 20.3.3.4.3.3.2) - c x (satellite clock offset with
// the relativistic term, less the group delay scaled to the signal's frequency). Carrier phase
// (cycles) = the same range / wavelength (its ambiguity is 0). Doppler = its rate of change
// (central difference over +-0.5 s) / wavelength: the board gives the Doppler the sign of the
// range rate, as the receiver's range-rate uses of it (wavelength x Doppler) take it. C/N0 =
// 30 + 20 sin(elevation) dB-Hz. Lock time: since the satellite rose in this run.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "sim_broadcast.h"
#include "sim_iono.h"
#include "sim_lnav.h"
#include "sim_native.h"

namespace sim {

constexpr double kSkyLight = 299792458.0;
constexpr double kEarthRate = 7.2921151467e-5;  // rad/s, WGS 84
constexpr double kRelF = -4.442807633e-10;      // s/m^1/2, IS-GPS-200 20.3.3.3.3.1

struct SkySignal {
  int slot;         // 0 L1 C/A, 2 L2 P
  double freq;      // Hz
  double code;      // m
  double phase;     // cycles
  double doppler;   // Hz
  double cn0;       // dB-Hz
  std::int64_t lockMs;
  double iono = 0;  // the ionosphere's delay in the code (m), an advance of the phase
};

struct SkySat {
  int prn;           // GLONASS: the slot
  int channel;
  double elevation;  // rad
  std::vector<SkySignal> sig;
  char sys = 'G';    // RINEX system letter
  int freq = 0;      // GLONASS frequency number
  double azimuth = 0;  // rad
  bool excluded = false;  // measured, but left out of the board's solution
};

// The board's channel system code (0 GPS, 1 GLONASS, 3 Galileo, 4 BeiDou, 7 an L-band beam) and
// the number it names the satellite by (the PRN; GLONASS the frequency number; an L-band beam its
// frequency as 1545.825 MHz + 500 Hz x the number).
inline int chanSysCode(char sys) { return sys == 'R' ? 1 : sys == 'E' ? 3 : sys == 'C' ? 4 : sys == 'L' ? 7 : 0; }
inline int chanSvNumber(const SkySat& s) { return s.sys == 'R' ? s.freq : s.prn; }

// Satellite clock offset (s) at GPS second of week t, without the group delay.
inline double lnavClock(const LnavEph& r, double t) {
  double dt = t - r.toc;
  if (dt > 302400) dt -= 604800;
  if (dt < -302400) dt += 604800;
  // The eccentric anomaly for the relativistic term, as lnavOrbit finds it.
  const double mu = 3.986005e14, a = r.sqrtA * r.sqrtA;
  double tk = t - r.toe;
  if (tk > 302400) tk -= 604800;
  if (tk < -302400) tk += 604800;
  const double m = r.m0 + (std::sqrt(mu / (a * a * a)) + r.dn) * tk;
  double ea = m;
  for (int i = 0; i < 20; ++i) ea = m + r.e * std::sin(ea);
  return r.af0 + r.af1 * dt + r.af2 * dt * dt + kRelF * r.e * r.sqrtA * std::sin(ea);
}

// Geometric range (m) from the site to the satellite for a signal received at GPS second of week
// `t`, with the light time and the Earth's rotation during it.
inline double lnavRange(const LnavEph& r, double t, const double site[3]) {
  double tau = 0.075;
  double range = 0;
  for (int it = 0; it < 6; ++it) {
    double p[3];
    lnavOrbit(r, t - tau, p);
    const double w = kEarthRate * tau;
    const double x = p[0] * std::cos(w) + p[1] * std::sin(w), y = -p[0] * std::sin(w) + p[1] * std::cos(w);
    range = std::sqrt((x - site[0]) * (x - site[0]) + (y - site[1]) * (y - site[1]) + (p[2] - site[2]) * (p[2] - site[2]));
    tau = range / kSkyLight;
  }
  return range;
}

// Azimuth (rad, clockwise from north, 0..2 pi) of a satellite at `p` (Earth-fixed, m) from the site.
inline double azimuthAt(const double p[3], const Site& site) {
  double s[3];
  site.ecef(s);
  const double b = site.lat * 3.14159265358979 / 180, l = site.lon * 3.14159265358979 / 180;
  const double n[3] = {-std::sin(b) * std::cos(l), -std::sin(b) * std::sin(l), std::cos(b)};
  const double e[3] = {-std::sin(l), std::cos(l), 0.0};
  double dn = 0, de = 0;
  for (int i = 0; i < 3; ++i) dn += (p[i] - s[i]) * n[i], de += (p[i] - s[i]) * e[i];
  const double a = std::atan2(de, dn);
  return a < 0 ? a + 2 * 3.14159265358979 : a;
}

inline double elevationOf(const LnavEph& r, double t, const Site& site) {
  double p[3], s[3];
  lnavOrbit(r, t, p);
  site.ecef(s);
  const double b = site.lat * 3.14159265358979 / 180, l = site.lon * 3.14159265358979 / 180;
  const double up[3] = {std::cos(b) * std::cos(l), std::cos(b) * std::sin(l), std::sin(b)};
  double d[3], n = 0, dot = 0;
  for (int i = 0; i < 3; ++i) d[i] = p[i] - s[i], n += d[i] * d[i];
  n = std::sqrt(n);
  for (int i = 0; i < 3; ++i) dot += d[i] * up[i];
  return std::asin(dot / n);
}

// The pseudorange (m) of one signal received at `t`.
inline double skyCode(const LnavEph& r, double t, const double site[3], double freq) {
  const double range = lnavRange(r, t, site);
  const double gamma = (1575.42e6 / freq) * (1575.42e6 / freq);
  return range - kSkyLight * (lnavClock(r, t - range / kSkyLight) - gamma * r.tgd);
}

// One satellite's motion and clock as the sky needs them, in GPS seconds since 1980: the
// position (m, Earth-fixed) and the clock offset (s) at a time of transmission, and per signal
// its slot, carrier and group delay (s, the term the system's ICD subtracts from the clock for
// that signal).
struct SkySource {
  char sys = 'G';
  int prn = 0;   // GLONASS: the slot
  int freq = 0;  // GLONASS frequency number
  std::function<void(double, double*)> orbit;
  std::function<double(double)> clock;
  struct Sig {
    int slot;
    double freq, delay;
  };
  std::vector<Sig> sig;
};

// The ranges of one satellite: geometric range for reception at GPS second `t` (light time
// iterated, Earth turned during the flight), and the pseudorange of a signal.
inline double sourceRange(const SkySource& s, double t, const double site[3]) {
  double tau = 0.075, range = 0;
  for (int it = 0; it < 6; ++it) {
    double p[3];
    s.orbit(t - tau, p);
    const double w = kEarthRate * tau;
    const double x = p[0] * std::cos(w) + p[1] * std::sin(w), y = -p[0] * std::sin(w) + p[1] * std::cos(w);
    range = std::sqrt((x - site[0]) * (x - site[0]) + (y - site[1]) * (y - site[1]) + (p[2] - site[2]) * (p[2] - site[2]));
    tau = range / kSkyLight;
  }
  return range;
}
inline double sourceCode(const SkySource& s, const SkySource::Sig& g, double t, const double site[3]) {
  const double range = sourceRange(s, t, site);
  return range - kSkyLight * (s.clock(t - range / kSkyLight) - g.delay);
}

inline double elevationAt(const double p[3], const Site& site) {
  double s[3];
  site.ecef(s);
  const double b = site.lat * 3.14159265358979 / 180, l = site.lon * 3.14159265358979 / 180;
  const double up[3] = {std::cos(b) * std::cos(l), std::cos(b) * std::sin(l), std::sin(b)};
  double d[3], n = 0, dot = 0;
  for (int i = 0; i < 3; ++i) d[i] = p[i] - s[i], n += d[i] * d[i];
  n = std::sqrt(n);
  for (int i = 0; i < 3; ++i) dot += d[i] * up[i];
  return std::asin(dot / n);
}

// The GLONASS, Galileo and BeiDou satellites of a RINEX 4 broadcast at GPS second `gps`, healthy
// ones only, each on two signals: GLONASS G1 and G2 (slots 0 and 2, from its FDMA record; G2 late
// by the broadcast delta tau), Galileo E1 and E5a (slots 0 and 4, F/NAV clock with BGD E1/E5a),
// BeiDou B1I, the B2 carrier and B3I (slots 0, 2 and 3, D1 or D2 clock, which refers to B3I, with
// TGD1 on B1I and TGD2 on B2: B2I of a BeiDou-2 satellite, B2b of a BeiDou-3 one). Every
// system's time is taken as GPS time (BeiDou's 14 s apart): no broadcast time offset is applied.
inline std::vector<SkySource> multiSources(const MultiBroadcast& m, std::int64_t gps) {
  std::vector<SkySource> out;
  for (const Rnx4Eph* r : m.currentAll('R', "FDMA", gps)) {
    const GloEph g = gloEph(*r);
    if (g.health != 0) continue;
    SkySource s;
    s.sys = 'R', s.prn = g.slot, s.freq = g.freq;
    s.orbit = [g](double t, double* p) { gloOrbit(g, t, p); };
    s.clock = [g](double t) { return gloClock(g, t); };
    s.sig = {{0, 1602e6 + g.freq * 562.5e3, 0.0}, {2, 1246e6 + g.freq * 437.5e3, g.dTauN}};
    out.push_back(s);
  }
  const auto kepler = [&](const Rnx4Eph* r, std::vector<SkySource::Sig> sig) {
    const KeplerEph k = keplerEph(*r);
    const double zero = static_cast<double>(r->sys == 'C' ? kBdtGpsSec : 0);
    SkySource s;
    s.sys = r->sys, s.prn = r->prn;
    s.orbit = [k, zero](double t, double* p) { keplerOrbit(k, std::fmod(t - zero, 604800.0), p); };
    s.clock = [k, zero](double t) { return keplerClock(k, std::fmod(t - zero, 604800.0)); };
    s.sig = std::move(sig);
    out.push_back(s);
  };
  for (const Rnx4Eph* r : m.currentAll('E', "FNAV", gps)) {
    const double bgd = r->at(25), g5 = (1575.42 / 1176.45) * (1575.42 / 1176.45);
    if (static_cast<int>(r->at(24)) == 0) kepler(r, {{0, 1575.42e6, bgd}, {4, 1176.45e6, g5 * bgd}});
  }
  for (const char* type : {"D1", "D2"})
    for (const Rnx4Eph* r : m.currentAll('C', type, gps))
      if (static_cast<int>(r->at(24)) == 0)
        kepler(r, {{0, 1561.098e6, r->at(25)}, {2, 1207.14e6, r->at(26)}, {3, 1268.52e6, 0.0}});
  return out;
}

// The constellation above `mask` (rad) at GPS second `gpsSec` (since 1980) + `ms`: the GPS
// satellites of the LNAV broadcast on L1 C/A and L2 P (slots 0 and 2), and with a RINEX 4 broadcast
// its GLONASS, Galileo and BeiDou satellites too. Channels keep their satellites while they stay
// up (`channels_`: satellite -> channel, `rose_`: satellite -> ms it rose, both kept between calls).
class Sky {
 public:
  Sky(const LnavBroadcast& nav, const Site& site, double mask = 10.0 * 3.14159265358979 / 180)
      : Sky(nav, nullptr, site, mask) {}
  Sky(const LnavBroadcast& nav, const MultiBroadcast* multi, const Site& site,
      double mask = 10.0 * 3.14159265358979 / 180)
      : nav_(nav), multi_(multi), site_(site), mask_(mask) {}

  std::vector<SkySat> at(std::int64_t gpsSec, int ms) {
    std::vector<SkySat> out;
    const double t = static_cast<double>(gpsSec % 604800) + ms * 0.001;
    const std::int64_t nowMs = gpsSec * 1000 + ms;
    double site[3];
    site_.ecef(site);
    for (const LnavEph* r : nav_.current(gpsSec)) {
      const double el = elevationOf(*r, t, site_);
      if (el < mask_ || r->health != 0) continue;
      SkySat s{r->prn, -1, el, {}};
      double pos[3];
      lnavOrbit(*r, t, pos);
      s.azimuth = azimuthAt(pos, site_);
      for (int slot : {0, 2}) {
        const double f = slot == 0 ? 1575.42e6 : 1227.60e6;
        const double lambda = kSkyLight / f;
        SkySignal g{};
        g.slot = slot;
        g.freq = f;
        g.code = skyCode(*r, t, site, f);
        g.phase = g.code / lambda;
        // The board's Doppler has the sign of the range's change (the receiver's convention).
        g.doppler = (skyCode(*r, t + 0.5, site, f) - skyCode(*r, t - 0.5, site, f)) / lambda;
        g.cn0 = 30.0 + 20.0 * std::sin(el);
        addIono(s, g);
        s.sig.push_back(g);
      }
      out.push_back(s);
    }
    if (multi_ != nullptr) {
      const double tg = static_cast<double>(gpsSec) + ms * 0.001;
      for (const SkySource& src : multiSources(*multi_, gpsSec)) {
        double p[3];
        src.orbit(tg, p);
        const double el = elevationAt(p, site_);
        if (el < mask_) continue;
        SkySat s{src.prn, -1, el, {}};
        s.azimuth = azimuthAt(p, site_);
        s.sys = src.sys;
        s.freq = src.freq;
        for (const SkySource::Sig& g0 : src.sig) {
          const double lambda = kSkyLight / g0.freq;
          SkySignal g{};
          g.slot = g0.slot;
          g.freq = g0.freq;
          g.code = sourceCode(src, g0, tg, site);
          g.phase = g.code / lambda;
          g.doppler = (sourceCode(src, g0, tg + 0.5, site) - sourceCode(src, g0, tg - 0.5, site)) / lambda;
          g.cn0 = 30.0 + 20.0 * std::sin(el);
          addIono(s, g);
          s.sig.push_back(g);
        }
        out.push_back(s);
      }
    }
    // Satellites that set free their channels; new ones take the lowest free channel.
    std::map<std::pair<char, int>, int> kept;
    for (SkySat& s : out) {
      const auto key = std::make_pair(s.sys, s.prn);
      if (!rose_.contains(key)) rose_[key] = nowMs;
      for (SkySignal& g : s.sig) g.lockMs = nowMs - rose_[key];
      if (channels_.contains(key)) kept[key] = s.channel = channels_.at(key);
    }
    for (SkySat& s : out) {
      if (s.channel >= 0) continue;
      int c = 0;
      for (bool taken = true; taken; ++c) {
        taken = false;
        for (const auto& [p, ch] : kept) taken = taken || ch == c;
        if (!taken) break;
      }
      s.channel = c;
      kept[{s.sys, s.prn}] = c;
    }
    for (auto it = rose_.begin(); it != rose_.end();) it = kept.contains(it->first) ? std::next(it) : rose_.erase(it);
    channels_ = kept;
    return out;
  }

  // The sky's ionosphere (SkyIono) in every code and phase from now on.
  void setIono(bool on) { iono_ = on; }

 private:
  void addIono(const SkySat& s, SkySignal& g) const {
    if (!iono_) return;
    g.iono = SkyIono::delay(site_.lat, site_.lon, s.elevation, s.azimuth, g.freq);
    g.code += g.iono;
    g.phase -= g.iono * g.freq / kSkyLight;
  }

  bool iono_ = false;
  const LnavBroadcast& nav_;
  const MultiBroadcast* multi_;
  Site site_;
  double mask_;
  std::map<std::pair<char, int>, int> channels_;
  std::map<std::pair<char, int>, std::int64_t> rose_;
};

// ---- The board's records of a sky ------------------------------------------------------------

// A message holds at most 1531 body bytes (the board link's 1536-byte buffer less the header):
// a sky too large for one record goes out in several, each with at most kPerRecord entries.
constexpr std::size_t kMaxRecordData = 1531 - 3;  // less the record's type and length

// Satellite data (7): record size 15, count, then per satellite: channel, system code, the
// satellite's number (chanSvNumber), track code, spare, state (0: used in the board's solution, 22:
// excluded from it), a byte, a 16-bit word, the elevation (degrees, float) and two spare bytes.
inline std::string satDataRecord(const std::vector<SkySat>& sky) {
  constexpr std::size_t kPerRecord = (kMaxRecordData - 2) / 15;
  std::string out;
  for (std::size_t first = 0; first == 0 || first < sky.size(); first += kPerRecord) {
    const std::size_t n = std::min(sky.size() - first, kPerRecord);
    std::string b;
    b += static_cast<char>(15);
    b += static_cast<char>(n);
    for (std::size_t i = first; i < first + n; ++i) {
      const SkySat& s = sky[i];
      b += static_cast<char>(s.channel);
      b += static_cast<char>(chanSysCode(s.sys));
      b += static_cast<char>(static_cast<std::int8_t>(chanSvNumber(s)));
      b += static_cast<char>(0);
      b += static_cast<char>(0);
      b += static_cast<char>(s.excluded ? 22 : 0);
      b += static_cast<char>(0);
      putLe(b, 0, 2);
      const float el = static_cast<float>(s.elevation * 180.0 / 3.14159265358979);
      std::uint32_t w;
      std::memcpy(&w, &el, 4);
      putLe(b, w, 4);
      putLe(b, 0, 2);
    }
    out += rawRecord(7, b);
  }
  return out;
}

// Channel states (10): a byte, count, clear flag (the first record's 1: every other channel is
// not in use), then per channel 14 bytes: channel, in use 1, then zeros.
inline std::string chanStatesRecord(const std::vector<SkySat>& sky) {
  constexpr std::size_t kPerRecord = (kMaxRecordData - 3) / 14;
  std::string out;
  for (std::size_t first = 0; first == 0 || first < sky.size(); first += kPerRecord) {
    const std::size_t n = std::min(sky.size() - first, kPerRecord);
    std::string b;
    b += static_cast<char>(0);
    b += static_cast<char>(n);
    b += static_cast<char>(first == 0 ? 1 : 0);
    for (std::size_t i = first; i < first + n; ++i) {
      b += static_cast<char>(sky[i].channel);
      b += static_cast<char>(1);
      b.append(12, '\0');
    }
    out += rawRecord(10, b);
  }
  return out;
}

// Signal measurements (11): a byte, count, then per signal: slot, channel, flags (0x151: valid
// (bits 0 and 6), carrier phase (bit 4), phase fit for a base (bit 8); bits 2 and 3 clear: no
// extra words), two words of the code time (s x 2^40, 64 bits, low word first), and eight
// words: the carrier phase (cycles x 2^16, signed 64 bits, low word first), the Doppler (Hz x
// 10^4, signed), the C/N0 (dB-Hz x 100), the lock time (ms), three zero words; at most
// kSignalsPerRecord to a record.
constexpr int kSignalsPerRecord = static_cast<int>((kMaxRecordData - 2) / 46);
inline std::string sigMeasRecord(const std::vector<SkySat>& sky) {
  std::vector<std::string> entries;
  for (const SkySat& s : sky)
    for (const SkySignal& g : s.sig) {
      std::string b;
      b += static_cast<char>(g.slot);
      b += static_cast<char>(s.channel);
      putLe(b, 0x151, 4);
      putLe(b, static_cast<std::uint64_t>(std::llround(std::ldexp(g.code / kSkyLight, 40))), 8);
      putLe(b, static_cast<std::uint64_t>(std::llround(std::ldexp(g.phase, 16))), 8);
      putLe(b, static_cast<std::uint64_t>(std::llround(g.doppler * 1e4)), 4);
      putLe(b, static_cast<std::uint64_t>(std::llround(g.cn0 * 100)), 4);
      putLe(b, static_cast<std::uint64_t>(g.lockMs), 4);
      for (int k = 0; k < 3; ++k) putLe(b, 0, 4);
      entries.push_back(b);
    }
  std::string out;
  for (std::size_t first = 0; first == 0 || first < entries.size(); first += kSignalsPerRecord) {
    const std::size_t n = std::min(entries.size() - first, static_cast<std::size_t>(kSignalsPerRecord));
    std::string b;
    b += static_cast<char>(0);
    b += static_cast<char>(n);
    for (std::size_t k = 0; k < n; ++k) b += entries[first + k];
    out += rawRecord(11, b);
  }
  return out;
}

// One line per signal of the truth file: GPS second of week, satellite (a GPS PRN as a number,
// any other satellite by its RINEX name: R07, E11, C23), slot, code (m), phase (cycles), Doppler
// (Hz), C/N0 (dB-Hz), elevation and azimuth (degrees), the ionosphere's delay in the code (m).
inline std::string truthLines(double sow, const std::vector<SkySat>& sky) {
  std::string out;
  char line[220], sat[8];
  for (const SkySat& s : sky)
    for (const SkySignal& g : s.sig) {
      if (s.sys == 'G') std::snprintf(sat, sizeof sat, "%d", s.prn);
      else std::snprintf(sat, sizeof sat, "%c%02d", s.sys, s.prn);
      std::snprintf(line, sizeof line, "%.3f %s %d %.6f %.6f %.6f %.3f %.9f %.9f %.4f\n", sow, sat, g.slot, g.code,
                    g.phase, g.doppler, g.cn0, s.elevation * 180 / 3.14159265358979,
                    s.azimuth * 180 / 3.14159265358979, g.iono);
      out += line;
    }
  return out;
}

}  // namespace sim
