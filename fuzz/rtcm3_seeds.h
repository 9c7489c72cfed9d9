// Seeds of the RTCM 3 targets that recordings do not give: whole coordinate-transformation sets
// (1021 or 1022 with the messages they announce: ellipsoidal and plane residual grids, 1023 and
// 1024, and each projection, 1025 to 1027), ETRS89 to MGI as the end-to-end tests send them, so
// that fuzzing starts inside a set the receiver stores. Written with the end-to-end tests' own
// frame writer, apart from the product's coders. A target started with RX_FUZZ_WRITE_SEEDS=DIR
// writes them there and ends.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "../tests/e2e/rtcm3_writer.h"
#include "fuzz_support.h"

namespace fuzz {
namespace rtcm3seeds {

using rtcm3w::Message;

// DF148 bits announcing 1023 .. 1027.
constexpr unsigned k1023 = 1u << 9, k1024 = 1u << 8, k1025 = 1u << 7, k1026 = 1u << 6, k1027 = 1u << 5;
constexpr double kPrj = 0.000000011;  // degrees per unit of a projection angle

// 1021 (Helmert) or 1022 (Molodenski-Badekas) of system `sys`: ETRS89 (WGS 84's ellipsoid) to
// MGI (Bessel), EPSG:1618's values, over 48-52 N, 16-22 E.
inline std::string params(int sys, unsigned announced, bool badekas) {
  Message m(badekas ? 1022 : 1021);
  m.text("ETRS89", 5).text("MGI", 5);
  m.u(static_cast<unsigned>(sys), 8).u(announced, 10).u(0, 5).u(1, 4).u(0, 2);
  m.q(48.0 * 3600, 2, 19).q(16.0 * 3600, 2, 20).q(4.0 * 3600, 2, 14).q(6.0 * 3600, 2, 14);
  m.q(-577.326, 0.001, 23).q(-90.129, 0.001, 23).q(-463.919, 0.001, 23);
  m.q(5.137, 0.00002, 32).q(1.474, 0.00002, 32).q(5.297, 0.00002, 32).q(-2.4232, 0.00001, 25);
  if (badekas) m.q(4000000.0, 0.001, 35).q(1200000.0, 0.001, 35).q(4700000.0, 0.001, 35);
  m.q(6378137.0 - 6370000, 0.001, 24).q(6356752.314 - 6350000, 0.001, 25);
  m.q(6377397.155 - 6370000, 0.001, 24).q(6356078.963 - 6350000, 0.001, 25).u(1, 3).u(2, 3);
  return m.frame();
}

// 1023 (ellipsoidal, its origin in half arc-seconds) or 1024 (plane, its origin in 10 m), every
// residual the same.
inline std::string grid(int msg, int sys, std::int64_t lat0, std::int64_t lon0) {
  const bool plane = msg == 1024;
  Message m(msg);
  m.u(static_cast<unsigned>(sys), 8).u(1, 1).u(1, 1);
  m.s(lat0, plane ? 25 : 21).s(lon0, plane ? 26 : 22).u(120, 12).u(120, 12);
  m.s(10, plane ? 10 : 8).s(-30, plane ? 10 : 8).s(10, 15);
  for (int i = 0; i < 16; ++i) m.s(20, 9).s(-10, 9).s(5, 9);
  m.u(0, 2).u(0, 2).u(0, 3).u(0, 3).u(60000, 16);
  return m.frame();
}

// 1025: transverse Mercator about 15 E.
inline std::string tm(int sys) {
  return Message(1025)
      .u(static_cast<unsigned>(sys), 8)
      .u(1, 6)
      .q(0.0, kPrj, 34)
      .q(15.0, kPrj, 35)
      .u(660000000, 30)
      .q(500000.0, 0.001, 36)
      .q(0.0, 0.001, 35)
      .frame();
}

// 1026: Lambert conic with two parallels; 1027: oblique Mercator.
inline std::string lcc(int sys) {
  return Message(1026)
      .u(static_cast<unsigned>(sys), 8)
      .u(4, 6)
      .q(47.52, kPrj, 34)
      .q(13.2, kPrj, 35)
      .q(46.2, kPrj, 34)
      .q(48.8, kPrj, 34)
      .q(400000.0, 0.001, 36)
      .q(400000.0, 0.001, 35)
      .frame();
}
inline std::string om(int sys) {
  return Message(1027)
      .u(static_cast<unsigned>(sys), 8)
      .u(7, 6)
      .u(1, 1)
      .q(46.2, kPrj, 34)
      .q(7.7, kPrj, 35)
      .q(90.2, kPrj, 35)
      .q(0.0, kPrj, 26)
      .u(1000000000, 30)
      .q(2600000.0, 0.001, 36)
      .q(1200000.0, 0.001, 35)
      .frame();
}

inline std::vector<std::pair<std::string, std::string>> transformationSets() {
  return {
      {"set-1021-1025-1024", params(7, k1024 | k1025, false) + tm(7) + grid(1024, 7, 534000, 60150)},
      {"set-1021-1023", params(7, k1023, false) + grid(1023, 7, std::llround(48.2 * 7200), std::llround(16.37 * 7200))},
      {"set-1022-1026-1023",
       params(9, k1023 | k1026, true) + lcc(9) + grid(1023, 9, std::llround(47.5 * 7200), std::llround(13.2 * 7200))},
      {"set-1021-1027", params(11, k1027, false) + om(11)},
  };
}

}  // namespace rtcm3seeds

// With RX_FUZZ_WRITE_SEEDS=DIR: writes the seeds into DIR and ends the process.
inline void writeRtcm3SeedsIfAsked() { writeSeedsIfAsked(rtcm3seeds::transformationSets); }

}  // namespace fuzz
