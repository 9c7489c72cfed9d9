// The output position by the reference-position mode, and the output position filter.
#include "positioning/reference/pos_filter.h"
#include "positioning/reference/reference_pos.h"
#include "positioning/rcv_output.h"

namespace {
bool isSet(const double t[3]) { return t[0] != 0.0 || t[1] != 0.0 || t[2] != 0.0; }

enum { kMeasXyz = 0, kMeasBlh = 1, kKnownXyz = 2, kKnownBlh = 3 };
}  // namespace

bool applyRefPosMode(int mode, const double refPos[4][3], const ReferencePos& rec, POS_CRT* crt, POS_GEO* geo) {
  // A triple of zeros is one never entered: taking it would move the output by the Earth's
  // radius, so a mode applies only when every triple it reads is set.
  double xyz[3], blh[3];
  switch (mode) {
    case 1:
      if (!isSet(refPos[kKnownXyz]) || !isSet(refPos[kKnownBlh])) return false;
      crt->x = refPos[kKnownXyz][0], crt->y = refPos[kKnownXyz][1], crt->z = refPos[kKnownXyz][2];
      geo->lat = refPos[kKnownBlh][0], geo->lon = refPos[kKnownBlh][1], geo->h = refPos[kKnownBlh][2];
      return true;
    case 2:
      for (int k = 0; k < 4; ++k)
        if (!isSet(refPos[k])) return false;
      crt->x += refPos[kKnownXyz][0] - refPos[kMeasXyz][0];
      crt->y += refPos[kKnownXyz][1] - refPos[kMeasXyz][1];
      crt->z += refPos[kKnownXyz][2] - refPos[kMeasXyz][2];
      geo->lat += refPos[kKnownBlh][0] - refPos[kMeasBlh][0];
      geo->lon += refPos[kKnownBlh][1] - refPos[kMeasBlh][1];
      geo->h += refPos[kKnownBlh][2] - refPos[kMeasBlh][2];
      return true;
    case 4:
      if (!rec.getRefPos(ReferencePos::kCartesian, xyz) || !rec.getRefPos(ReferencePos::kGeodetic, blh)) return false;
      crt->x = xyz[0], crt->y = xyz[1], crt->z = xyz[2];
      geo->lat = blh[0], geo->lon = blh[1], geo->h = blh[2];
      return true;
    default:
      return false;
  }
}

bool applyPosFilter(PosFilter& f, double rms, std::uint32_t nowSec, const EllMath::ELL_EXTPAR& ell, POS_CRT* crt,
                    POS_GEO* geo, POS_GEO* raw, std::uint16_t* result) {
  const double in[3] = {crt->x, crt->y, crt->z};
  double out[3], rmsOut = 0;
  int count = 0;
  if (!f.putPosition(rms, in, rmsOut, out, count, nowSec)) return false;
  crt2geo(ell, *crt, raw);
  crt->x = out[0], crt->y = out[1], crt->z = out[2];
  crt2geo(ell, *crt, geo);
  *result = static_cast<std::uint16_t>(count);
  return true;
}
