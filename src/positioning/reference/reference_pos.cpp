#include "positioning/reference/reference_pos.h"

#include <cstring>

ReferencePos RcvPosGPS, RcvPosGLN;

namespace {
constexpr double kMaxHeight = 20000.0;  // m: plausibility of received base coordinates
}

bool ReferencePos::setRefPos(int type, const char* name, const double c[3], bool& unchanged,
                             InPorts::DecPortIndex port) {
  if (!ellSet_ || (type != kGeodetic && type != kCartesian) || c == nullptr) return false;
  const double* old = type == kCartesian ? &pos_.x : &pos_.lat;
  unchanged = true;
  for (int i = 0; i < 3; ++i)
    if (old[i] != c[i]) unchanged = false;
  if (type == kCartesian) {
    pos_.x = c[0], pos_.y = c[1], pos_.z = c[2];
    EllMath::XYZ_BLH(ell_, c[0], c[1], c[2], pos_.lat, pos_.lon, pos_.hgt);
  } else {
    pos_.lat = c[0], pos_.lon = c[1], pos_.hgt = c[2];
    EllMath::BLH_XYZ(ell_, c[0], c[1], c[2], pos_.x, pos_.y, pos_.z);
  }
  std::memset(pos_.name, 0, sizeof pos_.name);
  if (name != nullptr) std::strncpy(pos_.name, name, sizeof pos_.name - 1);
  port_ = port;
  flags_ = kValid;
  if (c[0] != 0 || c[1] != 0 || c[2] != 0) flags_ |= kNonZero;
  return true;
}

bool ReferencePos::getRefPos(int type, double out[3]) const {
  if (!valid() || !ellSet_ || out == nullptr) return false;
  if (type == kCartesian) {
    out[0] = pos_.x, out[1] = pos_.y, out[2] = pos_.z;
    return true;
  }
  if (type == kGeodetic) {
    out[0] = pos_.lat, out[1] = pos_.lon, out[2] = pos_.hgt;
    return true;
  }
  return false;
}

bool ReferencePos::getRefPos(REFPOS_PAR* out) const {
  if (out == nullptr) return false;
  *out = pos_;
  return valid() && ellSet_;
}

bool ReferencePos::checkXYZ(const EllMath::ELL_EXTPAR& ell, const double xyz[3]) {
  double b = 0, l = 0, h = 0;
  EllMath::XYZ_BLH(ell, xyz[0], xyz[1], xyz[2], b, l, h);
  return h >= -kMaxHeight && h <= kMaxHeight;
}

void ReferencePos::setEllipsoid(const EllMath::ELL_EXTPAR& ell) {
  ell_ = ell;
  ellSet_ = 1;
}

void ReferencePos::setAnt(const float o[3], int kind, bool notValid, bool flag) {
  float* dst = nullptr;
  switch (kind) {
    case kAntL1:
    case kAntL1Arp:
      dst = &ant_.offsets[0];
      ant_.flags[0] |= kL1Set;
      if (!notValid) ant_.flags[0] |= kL1Valid;
      else ant_.flags[0] &= static_cast<std::uint8_t>(~kL1Valid);
      if (kind == kAntL1Arp) ant_.flags[0] |= kArp;
      else ant_.flags[0] &= static_cast<std::uint8_t>(~kArp);
      break;
    case kAntL2:
      dst = &ant_.offsets[3];
      if (flag) ant_.flags[0] |= kL2Valid;
      else ant_.flags[0] &= static_cast<std::uint8_t>(~kL2Valid);
      break;
    case kAntThird:
      dst = &ant_.offsets[6];
      break;
    default:
      return;
  }
  for (int i = 0; i < 3; ++i) dst[i] = o[i];
}
