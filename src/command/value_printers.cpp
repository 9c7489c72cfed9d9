#include <cmath>
#include <cstring>

#include "command/param_engine.h"
#include "command/values.h"

namespace {
constexpr double kDeg = 180.0 / 3.14159265358979323846;

int reTriple(Reply& re, const char* path, const char* const names[3], const double v[3],
             const int decimals[3]) {
  if (!path || !*path) {
    re.put('{');
    for (int i = 0; i < 3; ++i) {
      if (i) re.put(',');
      re.printf("%s=%.*f", names[i], decimals[i], v[i]);
    }
    re.put('}');
    return CMD_OK;
  }
  for (int i = 0; i < 3; ++i) {
    if (std::strcmp(path, names[i]) == 0) return reDouble(re, v[i], decimals[i]);
  }
  return CMD_WRONG_1ST;
}
}  // namespace

int reLong(Reply& re, long v) {
  re.printf("%ld", v);
  return CMD_OK;
}

int reShort(Reply& re, short v) {
  re.printf("%d", static_cast<int>(v));
  return CMD_OK;
}

int reBool(Reply& re, bool v) {
  re.put(v ? "on" : "off");
  return CMD_OK;
}

int reEnum(Reply& re, int index, const char* keywords) {
  if (!keywords || index < 0) return CMD_OUT_OF_RANGE;
  const char* p = keywords;
  for (int i = 0; i < index; ++i) {
    p = std::strchr(p, ',');
    if (!p) return CMD_OUT_OF_RANGE;
    ++p;
  }
  const char* e = p;
  while (*e && *e != ',' && *e != ':') ++e;
  re.put(p, static_cast<int>(e - p));
  return CMD_OK;
}

int reString(Reply& re, const char* text) {
  re.put(text ? text : "");
  return CMD_OK;
}

int reDouble(Reply& re, double v, int decimals) {
  if (!std::isfinite(v)) {
    re.put("nan");
    return CMD_OK;
  }
  if (decimals < 0) decimals = 0;
  if (decimals > 12) decimals = 12;
  re.printf("%.*f", decimals, v);
  return CMD_OK;
}

int reXYZ(Reply& re, const char* path, double x, double y, double z) {
  static const char* const kN[3] = {"x", "y", "z"};
  static const int kD[3] = {4, 4, 4};
  const double v[3] = {x, y, z};
  return reTriple(re, path, kN, v, kD);
}

int reBLH(Reply& re, const char* path, double lat, double lon, double h) {
  static const char* const kN[3] = {"lat", "lon", "alt"};
  static const int kD[3] = {9, 9, 4};
  const double v[3] = {lat * kDeg, lon * kDeg, h};
  return reTriple(re, path, kN, v, kD);
}

int reENU(Reply& re, const char* path, double e, double n, double u) {
  static const char* const kN[3] = {"e", "n", "u"};
  static const int kD[3] = {4, 4, 4};
  const double v[3] = {e, n, u};
  return reTriple(re, path, kN, v, kD);
}

int reBits64(Reply& re, std::uint64_t v) {
  re.put('{');
  bool first = true;
  for (int b = 0; b < 64; ++b) {
    if (!(v & (std::uint64_t{1} << b))) continue;
    if (!first) re.put(',');
    re.printf("%d", b);
    first = false;
  }
  re.put('}');
  return CMD_OK;
}

int reLongHex(Reply& re, unsigned long v) {
  re.printf("0x%lX", v);
  return CMD_OK;
}
