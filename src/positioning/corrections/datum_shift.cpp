#include "positioning/corrections/datum_shift.h"

#include <cstring>

#include "positioning/geodesy/datum_conv.h"

void DatumShift::take(const char* name) {
  std::memset(cName, 0, sizeof cName);
  for (int k = 0; k < 6 && name[k] != '\0'; ++k) cName[k] = name[k];
  DtmList::DATUM_PARAMS_STORE stored{};
  int index = 0;
  bKnown = DtmList::getDatum(cName, &ell, &stored, &index) ? 1 : 0;
  if (bKnown == 0) return;
  DtmList::transform(stored, &params);
  EllMath::setEllPar(ell, &ellExt);
}

void DatumShift::shiftAt(const double pos[3]) {
  for (double& s : dShift) s = 0.0;
  if (bKnown == 0) return;
  double moved[3];
  DatumConv::transDirect(false, params, pos, moved);
  for (int k = 0; k < 3; ++k) dShift[k] = moved[k] - pos[k];
}
