// The broadcast ephemerides of the RTCM 3 coder: 1019 (GPS), 1020 (GLONASS), 1042 (BeiDou), 1044
// (QZSS), 1045 (Galileo F/NAV), 1046 (Galileo I/NAV) and 1041 (NavIC), each from the navigation
// record its output message hands over. Field order and scale factors are those of RTCM 10403.3
// and its amendments (1041, 1042, 1044, 1046). A value that does not fit its field builds no
// message: a wrapped orbit would put the satellite kilometres away.
#include <cmath>

#include "differential/rtcm3/rtcm3_coder.h"

namespace {

// Writes the fields of one message and remembers whether each value fitted.
class EphFields {
 public:
  explicit EphFields(BitWriter& bw) : bw_(bw) {}
  bool ok() const { return ok_; }

  // A whole number as it is (counts, flags, times already in the field's unit).
  void u(std::int64_t v, int n) {
    if (v < 0 || v >= (std::int64_t{1} << n)) return fail();
    bw_.write(static_cast<std::uint64_t>(v), n);
  }
  // x / 2^-e truncated toward zero, two's complement.
  void s(double x, int e, int n) {
    std::int64_t v = 0;
    if (!scaled(std::ldexp(x, e), v) || v < -(std::int64_t{1} << (n - 1)) || v >= (std::int64_t{1} << (n - 1)))
      return fail();
    bw_.writeSigned(v, n);
  }
  // x / 2^-e truncated toward zero, unsigned.
  void us(double x, int e, int n) {
    std::int64_t v = 0;
    if (!scaled(std::ldexp(x, e), v)) return fail();
    u(v, n);
  }
  // x / 2^-e as sign-magnitude (the GLONASS fields).
  void sm(double x, int e, int n) {
    std::int64_t v = 0;
    if (!scaled(std::ldexp(x, e), v) || v <= -(std::int64_t{1} << (n - 1)) || v >= (std::int64_t{1} << (n - 1)))
      return fail();
    bw_.writeS(static_cast<double>(v), n);
  }
  // A decimal unit (BeiDou group delays in 0.1 ns): rounded, since a float seldom holds the
  // multiple exactly and truncation would lose a unit.
  void dec(double x, double unit, int n) {
    std::int64_t v = 0;
    const double q = x / unit;
    if (!std::isfinite(q) || std::fabs(q) > 0x1p40) return fail();
    v = static_cast<std::int64_t>(q >= 0 ? q + 0.5 : q - 0.5);
    if (v < -(std::int64_t{1} << (n - 1)) || v >= (std::int64_t{1} << (n - 1))) return fail();
    bw_.writeSigned(v, n);
  }
  void bits(std::uint32_t v, int n) { bw_.write(v, n); }

 private:
  static bool scaled(double x, std::int64_t& v) {
    if (!std::isfinite(x) || std::fabs(x) > 0x1p40) return false;
    v = static_cast<std::int64_t>(std::trunc(x));
    return true;
  }
  void fail() { ok_ = false; }
  BitWriter& bw_;
  bool ok_ = true;
};

// Keplerian block shared by GPS, QZSS and Galileo: crs .. OmegaDot (crs, crc in 2^-5 m, the
// harmonic terms in 2^-29 rad, angles in 2^-31 semicircles).
template <class R>
void orbitBlock(EphFields& f, const R& r, int toeBits, int toeUnit) {
  f.s(r.crs, 5, 16);
  f.s(r.deltaN, 43, 16);
  f.s(r.M0, 31, 32);
  f.s(r.cuc, 29, 16);
  f.us(r.e, 33, 32);
  f.s(r.cus, 29, 16);
  f.us(r.sqrtA, 19, 32);
  f.u(r.toe / toeUnit, toeBits);
  f.s(r.cic, 29, 16);
  f.s(r.Omega0, 31, 32);
  f.s(r.cis, 29, 16);
  f.s(r.i0, 31, 32);
  f.s(r.crc, 5, 16);
  f.s(r.omega, 31, 32);
  f.s(r.OmegaDot, 43, 24);
}

std::int64_t clampTo(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

}  // namespace

bool RTC3_Coder::codeEphemeris(int index) {
  switch (index) {
    case kRtc3MsgEphFirst:
      return ephGps_ != nullptr && code1019(*ephGps_);
    case kRtc3MsgEphFirst + 1:
      return ephGlo_ != nullptr && code1020(*ephGlo_);
    case kRtc3MsgEphFirst + 2:
      return ephBds_ != nullptr && code1042(*ephBds_);
    case kRtc3MsgEphFirst + 3:
      return ephQzs_ != nullptr && code1044(*ephQzs_);
    case kRtc3MsgEphFirst + 4:
      return ephGal_ != nullptr && code1045(*ephGal_, false);
    case kRtc3MsgEphFirst + 5:
      return ephGal_ != nullptr && code1045(*ephGal_, true);
    case kRtc3MsgEphFirst + 6:
      return ephIrs_ != nullptr && code1041(*ephIrs_);
    default:
      return false;
  }
}

// 1019: GPS LNAV ephemeris.
bool RTC3_Coder::code1019(const ZRT_EPH_GPS& e) {
  EphFields f(bw_);
  f.u(e.prn == 0 ? -1 : e.prn, 6);
  f.u(e.week % 1024, 10);
  f.u(clampTo(e.ura, 0, 15), 4);
  f.bits(e.flags >> 2 & 3u, 2);  // codes on L2
  f.s(e.idot, 43, 14);
  f.u(e.iode & 0xFF, 8);
  f.u(e.toc / 16, 16);
  f.s(e.af2, 55, 8);
  f.s(e.af1, 43, 16);
  f.s(e.af0, 31, 22);
  f.u(e.iodc & 0x3FF, 10);
  orbitBlock(f, e, 16, 16);
  f.s(e.tgd, 31, 8);
  f.bits(e.health & 0x3Fu, 6);
  f.bits(e.flags >> 1 & 1u, 1);  // L2 P data flag
  f.bits(e.flags & 1u, 1);       // fit interval
  return f.ok();
}

// 1020: GLONASS ephemeris; the additional (GLONASS-M) block always present.
bool RTC3_Coder::code1020(const ZRT_EPH_GLN& e) {
  EphFields f(bw_);
  f.u(e.slot == 0 ? -1 : e.slot, 6);
  f.u(e.freqNum + 7, 5);
  f.bits((e.flags & 0x8000u) != 0, 1);  // almanac health
  f.bits((e.flags & 0x0040u) != 0, 1);  // almanac health availability
  f.bits(e.flags & 3u, 2);              // P1
  // An L3 record keeps its string time (TS, 3-s units) where an FDMA record keeps the broadcast
  // hours, minutes and 30-s flag; 1020 carries the latter, so an L3 record's is formed from its
  // seconds of day, the frame start rounded down to the half minute.
  const std::uint32_t tk = e.tk % 86400;
  const std::uint32_t tkField = (e.signals & kGloSignalL3) != 0
                                    ? (tk / 3600) << 7 | (tk % 3600 / 60) << 1 | (tk % 60 >= 30 ? 1u : 0u)
                                    : e.tkRaw & 0xFFFu;
  f.bits(tkField, 12);
  f.bits(e.health & 1u, 1);             // Bn, most significant bit
  f.bits(e.flags >> 2 & 1u, 1);         // P2
  f.u(e.tb / 900, 7);
  for (int k = 0; k < 3; ++k) {
    f.sm(e.vel[k], 20, 24);
    f.sm(e.pos[k], 11, 27);
    f.sm(e.acc[k], 30, 5);
  }
  f.bits(e.flags >> 3 & 1u, 1);   // P3
  f.sm(e.gammaN, 40, 11);
  f.bits(e.flags >> 9 & 3u, 2);   // P
  f.bits(e.flags >> 8 & 1u, 1);   // ln, third string
  f.sm(e.tauN, 30, 22);
  f.sm(e.dTauN, 30, 5);
  f.u(e.En, 5);
  f.bits(e.flags >> 11 & 1u, 1);  // P4
  f.u(e.FT, 4);
  f.u(e.NT, 11);
  f.bits(e.flags >> 12 & 3u, 2);  // M
  f.bits(1, 1);                   // additional data present
  f.u(e.NA, 11);
  f.sm(e.tauC, 31, 32);
  f.u(e.N4, 5);
  f.sm(e.tauGPS, 30, 22);
  f.bits(e.flags >> 14 & 1u, 1);  // ln, fifth string
  f.bits(0, 7);
  return f.ok();
}

// 1042: BeiDou D1/D2 ephemeris.
bool RTC3_Coder::code1042(const ZRT_EPH_CMP& e) {
  EphFields f(bw_);
  f.u(e.prn == 0 ? -1 : e.prn, 6);
  f.u(e.week % 8192, 13);
  f.u(e.urai & 0xF, 4);
  f.s(e.idot, 43, 14);
  f.u(e.aode & 0x1F, 5);
  f.u(e.toc / 8, 17);
  f.s(e.af2, 66, 11);
  f.s(e.af1, 50, 22);
  f.s(e.af0, 33, 24);
  f.u(e.aodc & 0x1F, 5);
  f.s(e.crs, 6, 18);
  f.s(e.deltaN, 43, 16);
  f.s(e.M0, 31, 32);
  f.s(e.cuc, 31, 18);
  f.us(e.e, 33, 32);
  f.s(e.cus, 31, 18);
  f.us(e.sqrtA, 19, 32);
  f.u(e.toe / 8, 17);
  f.s(e.cic, 31, 18);
  f.s(e.Omega0, 31, 32);
  f.s(e.cis, 31, 18);
  f.s(e.i0, 31, 32);
  f.s(e.crc, 6, 18);
  f.s(e.omega, 31, 32);
  f.s(e.OmegaDot, 43, 24);
  f.dec(e.tgd1, 1e-10, 10);
  f.dec(e.tgd2, 1e-10, 10);
  f.bits(e.health & 1u, 1);
  return f.ok();
}

// 1044: QZSS LNAV ephemeris.
bool RTC3_Coder::code1044(const ZRT_EPH_QZS& e) {
  EphFields f(bw_);
  f.u(e.prn > 192 ? e.prn - 192 : -1, 4);
  f.u(e.toc / 16, 16);
  f.s(e.af2, 55, 8);
  f.s(e.af1, 43, 16);
  f.s(e.af0, 31, 22);
  f.u(e.iode & 0xFF, 8);
  orbitBlock(f, e, 16, 16);
  f.s(e.idot, 43, 14);
  f.bits(e.flags >> 2 & 3u, 2);  // codes on L2
  f.u(e.week % 1024, 10);
  f.u(clampTo(e.ura, 0, 15), 4);
  f.bits(e.health & 0x3Fu, 6);
  f.s(e.tgd, 31, 8);
  f.u(e.iodc & 0x3FF, 10);
  f.bits(e.flags & 1u, 1);       // fit interval
  return f.ok();
}

// 1045 (F/NAV) and 1046 (I/NAV): Galileo; times of clock and ephemeris in minutes.
bool RTC3_Coder::code1045(const ZRT_EPH_GAL& e, bool inav) {
  EphFields f(bw_);
  f.u(e.svid == 0 ? -1 : e.svid, 6);
  f.u(e.week % 4096, 12);
  f.u(e.iodNav & 0x3FF, 10);
  f.u(e.sisa, 8);
  f.s(e.idot, 43, 14);
  f.u(e.toc / 60, 14);
  f.s(e.af2, 59, 6);
  f.s(e.af1, 46, 21);
  f.s(e.af0, 34, 31);
  orbitBlock(f, e, 14, 60);
  f.s(e.bgdE1E5a, 32, 10);
  if (inav) {
    f.s(e.bgdE1E5b, 32, 10);
    f.bits(e.health >> 4 & 3u, 2);  // E5b signal health
    f.bits(e.health >> 1 & 1u, 1);  // E5b data validity
    f.bits(e.health >> 2 & 3u, 2);  // E1-B signal health
    f.bits(e.health & 1u, 1);       // E1-B data validity
    f.bits(0, 2);
  } else {
    f.bits(e.health >> 1 & 3u, 2);  // E5a signal health
    f.bits(e.health & 1u, 1);       // E5a data validity
    f.bits(0, 7);
  }
  return f.ok();
}

// 1041: NavIC ephemeris (harmonic terms in 2^-28 rad, crc and crs in 2^-4 m).
bool RTC3_Coder::code1041(const ZRT_EPH_IRS& e) {
  EphFields f(bw_);
  f.u(e.prn == 0 ? -1 : e.prn, 6);
  f.u(e.week % 1024, 10);
  f.s(e.af0, 31, 22);
  f.s(e.af1, 43, 16);
  f.s(e.af2, 55, 8);
  f.u(e.ura & 0xF, 4);
  f.u(e.toc / 16, 16);
  f.s(e.tgd, 31, 8);
  f.s(e.deltaN, 41, 22);
  f.u(e.iodec & 0xFF, 8);
  f.bits(0, 10);
  f.bits(e.health >> 1 & 1u, 1);  // L5 flag
  f.bits(e.health & 1u, 1);       // S flag
  f.s(e.cuc, 28, 15);
  f.s(e.cus, 28, 15);
  f.s(e.cic, 28, 15);
  f.s(e.cis, 28, 15);
  f.s(e.crc, 4, 15);
  f.s(e.crs, 4, 15);
  f.s(e.idot, 43, 14);
  f.s(e.M0, 31, 32);
  f.u(e.toe / 16, 16);
  f.us(e.e, 33, 32);
  f.us(e.sqrtA, 19, 32);
  f.s(e.Omega0, 31, 32);
  f.s(e.omega, 31, 32);
  f.s(e.OmegaDot, 41, 22);
  f.s(e.i0, 31, 32);
  f.bits(0, 4);
  return f.ok();
}
