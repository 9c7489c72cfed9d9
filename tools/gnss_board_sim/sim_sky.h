// The simulator's synthetic constellation: what a receiver at a fixed site would measure of the
// GPS satellites of a navigation file, computed here with the simulator's own orbit code
// (IS-GPS-200 20.3.3.3.3.1 for the clock, Table 20-IV through lnavOrbit for the orbit), and the
// GNSS board's records that carry it: satellite data (7), channel states (10) and signal
// measurements (11).
//
// Model: no atmosphere and a perfect receiver clock, so that every value is exact to the
// model. Pseudorange = geometric range at the signal's transmission time (light time iterated,
// Earth rotation during flight, IS-GPS-200 20.3.3.4.3.3.2) - c x (satellite clock offset with
// the relativistic term, less the group delay scaled to the signal's frequency). Carrier phase
// (cycles) = the same range / wavelength (its ambiguity is 0). Doppler = - its rate of change
// (central difference over +-0.5 s) / wavelength. C/N0 = 30 + 20 sin(elevation) dB-Hz. Lock
// time: since the satellite rose in this run.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

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
};

struct SkySat {
  int prn;
  int channel;
  double elevation;  // rad
  std::vector<SkySignal> sig;
};

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

// The constellation above `mask` (rad) at GPS second `gpsSec` (since 1980) + `ms`; channels
// keep their satellites while they stay up (`channels`: PRN -> channel, `rose`: PRN -> ms it
// rose, both kept between calls).
class Sky {
 public:
  Sky(const LnavBroadcast& nav, const Site& site, double mask = 10.0 * 3.14159265358979 / 180)
      : nav_(nav), site_(site), mask_(mask) {}

  std::vector<SkySat> at(std::int64_t gpsSec, int ms) {
    std::vector<SkySat> out;
    const double t = static_cast<double>(gpsSec % 604800) + ms * 0.001;
    const std::int64_t nowMs = gpsSec * 1000 + ms;
    double site[3];
    site_.ecef(site);
    std::map<int, int> kept;
    for (const LnavEph* r : nav_.current(gpsSec)) {
      const double el = elevationOf(*r, t, site_);
      if (el < mask_ || r->health != 0) continue;
      SkySat s{r->prn, -1, el, {}};
      if (channels_.contains(r->prn)) s.channel = channels_.at(r->prn);
      if (!rose_.contains(r->prn)) rose_[r->prn] = nowMs;
      for (int slot : {0, 2}) {
        const double f = slot == 0 ? 1575.42e6 : 1227.60e6;
        const double lambda = kSkyLight / f;
        SkySignal g{};
        g.slot = slot;
        g.freq = f;
        g.code = skyCode(*r, t, site, f);
        g.phase = g.code / lambda;
        g.doppler = -(skyCode(*r, t + 0.5, site, f) - skyCode(*r, t - 0.5, site, f)) / lambda;
        g.cn0 = 30.0 + 20.0 * std::sin(el);
        g.lockMs = nowMs - rose_[r->prn];
        s.sig.push_back(g);
      }
      out.push_back(s);
    }
    // Satellites that set free their channels; new ones take the lowest free channel.
    for (SkySat& s : out)
      if (s.channel >= 0) kept[s.prn] = s.channel;
    for (SkySat& s : out) {
      if (s.channel >= 0) continue;
      int c = 0;
      for (bool taken = true; taken; ++c) {
        taken = false;
        for (const auto& [p, ch] : kept) taken = taken || ch == c;
        if (!taken) break;
      }
      s.channel = c;
      kept[s.prn] = c;
    }
    for (auto it = rose_.begin(); it != rose_.end();) it = kept.contains(it->first) ? std::next(it) : rose_.erase(it);
    channels_ = kept;
    return out;
  }

 private:
  const LnavBroadcast& nav_;
  Site site_;
  double mask_;
  std::map<int, int> channels_;
  std::map<int, std::int64_t> rose_;
};

// ---- The board's records of a sky ------------------------------------------------------------

// Satellite data (7): record size 15, count, then per satellite: channel, system code (0 GPS),
// PRN, track code, spare, state (0: used in the board's solution, as every satellite measured
// here is), a byte, a 16-bit word, the elevation (degrees, float) and two spare bytes.
inline std::string satDataRecord(const std::vector<SkySat>& sky) {
  std::string b;
  b += static_cast<char>(15);
  b += static_cast<char>(sky.size());
  for (const SkySat& s : sky) {
    b += static_cast<char>(s.channel);
    b += static_cast<char>(0);
    b += static_cast<char>(s.prn);
    b += static_cast<char>(0);
    b += static_cast<char>(0);
    b += static_cast<char>(0);
    b += static_cast<char>(0);
    putLe(b, 0, 2);
    const float el = static_cast<float>(s.elevation * 180.0 / 3.14159265358979);
    std::uint32_t w;
    std::memcpy(&w, &el, 4);
    putLe(b, w, 4);
    putLe(b, 0, 2);
  }
  return rawRecord(7, b);
}

// Channel states (10): a byte, count, clear flag 1 (every other channel is not in use), then per
// channel 14 bytes: channel, in use 1, then zeros.
inline std::string chanStatesRecord(const std::vector<SkySat>& sky) {
  std::string b;
  b += static_cast<char>(0);
  b += static_cast<char>(sky.size());
  b += static_cast<char>(1);
  for (const SkySat& s : sky) {
    b += static_cast<char>(s.channel);
    b += static_cast<char>(1);
    b.append(12, '\0');
  }
  return rawRecord(10, b);
}

// Signal measurements (11): a byte, count, then per signal: slot, channel, flags (0x151: valid
// (bits 0 and 6), carrier phase (bit 4), phase fit for a base (bit 8); bits 2 and 3 clear: no
// extra words), two words of the
// code time (s x 2^40, 64 bits, low word first), and eight words: the carrier phase (cycles x
// 2^16, signed 64 bits, low word first), the Doppler (Hz x 10^4, signed), the C/N0 (dB-Hz x
// 100), the lock time (ms), three zero words.
inline std::string sigMeasRecord(const std::vector<SkySat>& sky) {
  std::string b;
  int n = 0;
  for (const SkySat& s : sky) n += static_cast<int>(s.sig.size());
  b += static_cast<char>(0);
  b += static_cast<char>(n);
  for (const SkySat& s : sky)
    for (const SkySignal& g : s.sig) {
      b += static_cast<char>(g.slot);
      b += static_cast<char>(s.channel);
      putLe(b, 0x151, 4);
      putLe(b, static_cast<std::uint64_t>(std::llround(std::ldexp(g.code / kSkyLight, 40))), 8);
      putLe(b, static_cast<std::uint64_t>(std::llround(std::ldexp(g.phase, 16))), 8);
      putLe(b, static_cast<std::uint64_t>(std::llround(g.doppler * 1e4)), 4);
      putLe(b, static_cast<std::uint64_t>(std::llround(g.cn0 * 100)), 4);
      putLe(b, static_cast<std::uint64_t>(g.lockMs), 4);
      for (int k = 0; k < 3; ++k) putLe(b, 0, 4);
    }
  return rawRecord(11, b);
}

// The board's own solution (record 4, 1453 bytes) at the site: position valid (flag at 2, GPS
// used), the position record at 88 (X, Y, Z in m, then latitude and longitude in rad and height
// in m, each an 8-byte float), the receiver clock block at 271 (both flags set, offset 0 s) and
// its drift block at 297 (both flags set, 0 s/s): a perfect clock, as the measurements assume;
// the two velocity blocks at 136 (X, Y, Z) and 194 (east, north, up) with both flags set and
// every value 0 m/s: the site stands still.
inline std::string solAlnRecord(const Site& site) {
  std::string b(1453, '\0');
  b[1] = 1;  // status
  b[2] = 1;  // position valid
  b[21] = 1;  // GPS used
  double xyz[3];
  site.ecef(xyz);
  const double blh[3] = {site.lat * 3.14159265358979 / 180, site.lon * 3.14159265358979 / 180, site.height};
  for (int k = 0; k < 3; ++k) {
    putF64(b, 88 + 8 * k, xyz[k]);
    putF64(b, 112 + 8 * k, blh[k]);
  }
  b[136] = b[137] = 1;
  b[194] = b[195] = 1;
  b[271] = b[272] = 1;
  b[297] = b[298] = 1;
  return rawRecord(4, b);
}

// One line per signal of the truth file: GPS second of week, PRN, slot, code (m), phase
// (cycles), Doppler (Hz), C/N0 (dB-Hz).
inline std::string truthLines(double sow, const std::vector<SkySat>& sky) {
  std::string out;
  char line[160];
  for (const SkySat& s : sky)
    for (const SkySignal& g : s.sig) {
      std::snprintf(line, sizeof line, "%.3f %d %d %.6f %.6f %.6f %.3f\n", sow, s.prn, g.slot, g.code, g.phase, g.doppler,
                    g.cn0);
      out += line;
    }
  return out;
}

}  // namespace sim
