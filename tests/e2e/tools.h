// The independent tools the end-to-end tests check the program's output with (Debian packages:
// gpsd's gpsdecode, PROJ's cct and proj, GeographicLib's CartConvert, rtklib's convbin and
// rnx2rtkp), run through runTool, and readers of what they print, written apart from the program.
#pragma once

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/harness.h"

namespace e2e {

// A command (a tool's run) in the run directory, its output dropped: whether it succeeded.
inline bool runIn(const RunDir& dir, const std::string& cmd) {
  return std::system(("cd '" + dir.path + "' && " + cmd + " >/dev/null 2>&1").c_str()) == 0;
}

// The Crescent recording of 2008-05-26 (rtklib's test data) as convbin turns it into its GPS
// ephemerides (RINEX 2.11, c.nav) and its SBAS message log (c.sbs) in the run directory.
inline bool crescentRecording(const RunDir& dir) {
  return runIn(dir, "cp '" + std::string(RX_SHARED_DIR) +
                        "/testdata/sbas/cres_20080526.bin' c.bin && convbin -r hemis -v 2.11 c.bin -d .");
}

// A tool's output, line by line (without the line ends).
inline std::vector<std::string> toolLines(const std::string& cmd) {
  std::vector<std::string> lines;
  std::istringstream in(runTool(cmd));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The numbers of a tool's first output line.
inline std::vector<double> toolNumbers(const std::string& cmd) {
  const std::vector<std::string> lines = toolLines(cmd);
  std::vector<double> v;
  std::istringstream in(lines.empty() ? std::string() : lines.front());
  for (double x; in >> x;) v.push_back(x);
  return v;
}

// Earth-fixed x, y, z (m) of a geodetic latitude, longitude (degrees) and height (m), given as
// "lat lon h" or "lat,lon,h", by GeographicLib's CartConvert (to 10^-`places` m); empty without
// the tool.
inline std::vector<double> cartConvert(std::string latLonH, int places = 4) {
  for (char& c : latLonH) c = c == ',' ? ' ' : c;
  return toolNumbers("echo " + latLonH + " | CartConvert -p " + std::to_string(places));
}

// gpsdecode's JSON line of each message in `bytes` (RTCM 2 or 3), the bytes written first to
// `name` in the run directory.
inline std::vector<std::string> gpsdecode(const RunDir& dir, const std::string& bytes,
                                          const std::string& name = "gpsdecode.in") {
  if (!dir.write(name, bytes)) return {};
  return toolLines("gpsdecode < '" + dir.file(name) + "'");
}

// A field of a JSON line: its number (`missing` where the line has none) or its text.
inline double jsonNumber(const std::string& line, const std::string& key, double missing = -1) {
  const std::size_t at = line.find("\"" + key + "\":");
  return at == std::string::npos ? missing : std::strtod(line.c_str() + at + key.size() + 3, nullptr);
}
inline std::string jsonText(const std::string& line, const std::string& key) {
  const std::size_t at = line.find("\"" + key + "\":\"");
  if (at == std::string::npos) return "<none>";
  const std::size_t from = at + key.size() + 4;
  return line.substr(from, line.find('"', from) - from);
}

// How many messages of each "type" the lines hold.
inline std::map<int, int> gpsdecodeTypes(const std::vector<std::string>& lines) {
  std::map<int, int> types;
  for (const std::string& l : lines)
    if (l.find("\"type\":") != std::string::npos) ++types[static_cast<int>(jsonNumber(l, "type"))];
  return types;
}

// WGS 84 geodetic coordinates (degrees, m) to Earth-centred ones (m), by the ellipsoid's
// closed form.
inline void ecefOf(double latDeg, double lonDeg, double h, double out[3]) {
  const double a = 6378137.0, f = 1 / 298.257223563, e2 = f * (2 - f);
  const double b = latDeg * M_PI / 180, l = lonDeg * M_PI / 180;
  const double n = a / std::sqrt(1 - e2 * std::sin(b) * std::sin(b));
  out[0] = (n + h) * std::cos(b) * std::cos(l);
  out[1] = (n + h) * std::cos(b) * std::sin(l);
  out[2] = (n * (1 - e2) + h) * std::sin(b);
}

// The x, y, z of a printed Earth-fixed position ("{x=..,y=..,z=..}"), in a reply or its body.
inline bool printedXyz(const std::string& text, double xyz[3]) {
  const std::string body = text.starts_with("RE") ? printed(text) : text;
  return std::sscanf(body.c_str(), "{x=%lf,y=%lf,z=%lf}", &xyz[0], &xyz[1], &xyz[2]) == 3;
}

// A position (x, y, z) within `tol` m of `want` on every axis.
inline ::testing::AssertionResult xyzNear(const double* got, const double* want, double tol) {
  for (int k = 0; k < 3; ++k)
    if (!(std::fabs(got[k] - want[k]) <= tol))
      return ::testing::AssertionFailure() << "axis " << k << ": " << got[k] << " is " << got[k] - want[k] << " m from "
                                           << want[k] << " (" << tol << " m allowed)";
  return ::testing::AssertionSuccess();
}
// The same of a printed position.
inline ::testing::AssertionResult xyzNear(const std::string& text, const double* want, double tol) {
  double xyz[3];
  if (!printedXyz(text, xyz)) return ::testing::AssertionFailure() << "no position in " << text;
  ::testing::AssertionResult r = xyzNear(xyz, want, tol);
  if (!r) r << " in " << text;
  return r;
}

}  // namespace e2e
