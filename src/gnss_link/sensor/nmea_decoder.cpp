#include "gnss_link/sensor/nmea_decoder.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>

#include "gnss_link/sensor/transducer.h"

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

struct Field {
  const char* p;
  int n;
  bool is(char c) const { return n == 1 && p[0] == c; }
};

// Whole field as a number a float holds; false for an empty field, trailing characters, or a
// value no reading can have.
bool number(const Field& f, double& v) {
  const char* b = f.p;
  const char* e = f.p + f.n;
  if (b < e && *b == '+') ++b;
  if (b == e) return false;
  const auto r = std::from_chars(b, e, v);
  return r.ec == std::errc() && r.ptr == e && std::isfinite(v) && std::fabs(v) <= FLT_MAX;
}

// The values one sentence carries.
struct Readings {
  float meteo[3] = {0, 0, 0};  // temperature, humidity, pressure
  std::uint32_t meteoFlags = 0;
  float tilt[3] = {0, 0, 0};  // north, east, temperature
  std::uint32_t tiltFlags = 0;
};

// Quadruplets {type, value, unit, name}, read field by field; false when one is malformed.
bool readQuadruplets(const char* p, int n, Readings& r) {
  Field f[4];
  int k = 0;
  for (int start = 0, i = 0; i <= n; ++i) {
    if (i < n && p[i] != ',') continue;
    f[k++] = Field{p + start, i - start};
    start = i + 1;
    if (k < 4) continue;
    k = 0;
    const Field& type = f[0];
    const Field& unit = f[2];
    const Field& name = f[3];
    double v = 0;
    if (!number(f[1], v)) return false;
    if (type.is('C') && unit.is('C')) {
      r.meteo[0] = static_cast<float>(v);
      r.meteoFlags |= kMeteoTemp;
    } else if (type.is('P') && (unit.is('P') || unit.is('B'))) {
      r.meteo[2] = static_cast<float>(unit.is('P') ? v * NmeaDecoder::kBarPerPascal : v);
      r.meteoFlags |= kMeteoPressure;
    } else if (type.is('H') && unit.is('P')) {
      r.meteo[1] = static_cast<float>(v);
      r.meteoFlags |= kMeteoHumidity;
    } else if (type.is('A') && (unit.is('D') || unit.is('M')) && (name.is('N') || name.is('E'))) {
      const int i = name.is('N') ? 0 : 1;
      r.tilt[i] = static_cast<float>(unit.is('M') ? v * NmeaDecoder::kDegPerMicroRad : v);
      r.tiltFlags |= name.is('N') ? kTiltNorth : kTiltEast;
    }
  }
  // A quadruplet cut short: missing commas.
  return k == 0;
}

// A tilt sensor's temperature belongs to it, not to the meteo buffer.
void publish(Readings& r) {
  if (r.tiltFlags != 0) {
    if (r.meteoFlags & kMeteoTemp) {
      r.tilt[2] = r.meteo[0];
      r.tiltFlags |= kTiltTemp;
      r.meteo[0] = 0;
      r.meteoFlags &= ~static_cast<std::uint32_t>(kMeteoTemp);
    }
    tiltDataBuf.put(r.tilt, r.tiltFlags);
  }
  if (r.meteoFlags != 0) meteoDataBuf.put(r.meteo, r.meteoFlags);
}

}  // namespace

bool NmeaDecoder::process(const char* data, int len, int) {
  if (data == nullptr || len < 8 || data[0] != '$' || data[6] != ',') return false;
  int n = len;
  if (data[n - 1] != '\r' && data[n - 1] != '\n') return false;
  while (n > 0 && (data[n - 1] == '\r' || data[n - 1] == '\n')) --n;
  // "*hh": the XOR of everything between "$" and "*".
  if (n >= 4 && data[n - 3] == '*' && hexValue(data[n - 2]) >= 0 && hexValue(data[n - 1]) >= 0) {
    unsigned x = 0;
    for (int i = 1; i < n - 3; ++i) x ^= static_cast<unsigned char>(data[i]);
    if (x != static_cast<unsigned>(hexValue(data[n - 2]) * 16 + hexValue(data[n - 1]))) return false;
    n -= 3;
  }
  // Proprietary: "$PASHS,XDR,..." carries the fields, "$PASHQ,..." asks for them.
  if (data[1] == 'P') {
    if (std::strncmp(data + 2, "ASH", 3) != 0) return false;
    if (data[5] == 'Q') return true;
    if (data[5] != 'S' || n < 11 || std::strncmp(data + 7, "XDR,", 4) != 0) return false;
    Readings r;
    if (!readQuadruplets(data + 11, n - 11, r)) return false;
    Transducer::data().storeData(data + 7, n - 7, false);
    publish(r);
    return true;
  }
  if (std::strncmp(data + 3, "XDR", 3) != 0) return false;
  Readings r;
  if (!readQuadruplets(data + 7, n - 7, r)) return false;
  Transducer::data().storeData(data + 1, n - 1, true);
  publish(r);
  return true;
}
