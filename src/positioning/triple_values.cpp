#include "positioning/triple_values.h"

#include <cmath>
#include <cstring>

#include "command/result_codes.h"
#include "positioning/geodesy/ell_math.h"
#include "positioning/reference/reference_pos.h"

namespace {
constexpr double kDeg = M_PI / 180.0;
constexpr double kMaxHeight = 20000.0;  // m: what a reference position may lie off the ellipsoid

bool allZero(const double t[3]) { return t[0] == 0.0 && t[1] == 0.0 && t[2] == 0.0; }

void clear(double xyz[3], double blh[3]) {
  for (int i = 0; i < 3; ++i) xyz[i] = blh[i] = 0.0;
}
}  // namespace

int readNumbers(const ZRNamedNode* v, int n, const char* const* names, double* out) {
  if (v == nullptr || v->isEmpty()) return CMD_2ND_MISSED;
  if (!v->isList() || v->size() != n) return CMD_WRONG_2ND;
  for (int i = 0; i < n; ++i) {
    const ZRNamedNode* item = v->at(i);
    if (item == nullptr || !item->isText()) return CMD_WRONG_2ND;
    if (*item->name() && (names == nullptr || std::strcmp(item->name(), names[i]) != 0)) return CMD_WRONG_2ND;
    if (!item->getDouble(out[i]) || !std::isfinite(out[i])) return CMD_WRONG_2ND;
  }
  return CMD_OK;
}

int readXyz(const ZRNamedNode* v, double xyz[3], double blh[3]) {
  static const char* const kNames[3] = {"x", "y", "z"};
  double t[3];
  if (int rc = readNumbers(v, 3, kNames, t)) return rc;
  if (allZero(t)) {
    clear(xyz, blh);
    return CMD_OK;
  }
  const EllMath::ELL_EXTPAR& ell = EllMath::wgs84();
  if (!ReferencePos::checkXYZ(ell, t)) return CMD_OUT_OF_RANGE;
  for (int i = 0; i < 3; ++i) xyz[i] = t[i];
  EllMath::XYZ_BLH(ell, t[0], t[1], t[2], blh[0], blh[1], blh[2]);
  return CMD_OK;
}

int readGeo(const ZRNamedNode* v, double xyz[3], double blh[3]) {
  static const char* const kNames[3] = {"lat", "lon", "alt"};
  double t[3];
  if (int rc = readNumbers(v, 3, kNames, t)) return rc;
  if (allZero(t)) {
    clear(xyz, blh);
    return CMD_OK;
  }
  if (std::fabs(t[0]) > 90.0 || std::fabs(t[1]) > 180.0 || std::fabs(t[2]) > kMaxHeight) return CMD_OUT_OF_RANGE;
  blh[0] = t[0] * kDeg, blh[1] = t[1] * kDeg, blh[2] = t[2];
  EllMath::BLH_XYZ(EllMath::wgs84(), blh[0], blh[1], blh[2], xyz[0], xyz[1], xyz[2]);
  return CMD_OK;
}
