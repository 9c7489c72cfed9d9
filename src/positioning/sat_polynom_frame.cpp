#include "positioning/sat_polynom_frame.h"

#include <cstring>

#include "navigation_data/sv_id.h"
#include "positioning/geodesy/datum_conv.h"

namespace {
// Read and used in the background task only.
DtmList::DATUM_PARAMS_COMPUTE g_datum[SYS_NUM];
bool g_identity[SYS_NUM] = {true, true, true, true, true, true, true};

bool isIdentity(const DtmList::DATUM_PARAMS_COMPUTE& p) {
  return p.dx == 0 && p.dy == 0 && p.dz == 0 && p.rx == 0 && p.ry == 0 && p.rz == 0 && p.scale == 0;
}
}  // namespace

void update_SatPolynomFrames(const PosSetup::SatProcessorSetupType& setup) {
  for (int sys = 0; sys < SYS_NUM; ++sys) {
    PosSetup::DatumBlockType d;
    std::memcpy(&d, setup.aBytes + PosSetup::kSatDatumOffset + sizeof d * sys, sizeof d);
    g_datum[sys] = d.prm;
    g_identity[sys] = isIdentity(d.prm);
  }
}

void transform_SatPolynomToRcvFrame(int sys, SatData::PolynomEntryType& entry) {
  if (sys < 0 || sys >= SYS_NUM || g_identity[sys]) return;  // WGS 84 itself: nothing to do
  double out[3];
  DatumConv::transDirect(false, g_datum[sys], entry.coef[0], out);
  std::memcpy(entry.coef[0], out, sizeof out);
  for (int k = 1; k < 5; ++k) {
    DatumConv::transDirect(true, g_datum[sys], entry.coef[k], out);
    std::memcpy(entry.coef[k], out, sizeof out);
  }
}

void transform_SatPositionToRcvFrame(int sys, double* pos, float* vel) {
  if (sys < 0 || sys >= SYS_NUM || g_identity[sys]) return;
  double out[3];
  DatumConv::transDirect(false, g_datum[sys], pos, out);
  std::memcpy(pos, out, sizeof out);
  const double v[3] = {vel[0], vel[1], vel[2]};
  DatumConv::transDirect(true, g_datum[sys], v, out);
  for (int k = 0; k < 3; ++k) vel[k] = static_cast<float>(out[k]);
}
