#include "positioning/sat_data_keys.h"

#include "command/param_engine.h"
#include "command/result_codes.h"
#include "command/values.h"
#include "positioning/engine/pvt_engine.h"

namespace {

int cleancSet(const char* p, const ZRNamedNode* v) {
  void (PVTEngine::*drop)() = nullptr;
  if (strcmpA(p, "eph")) drop = &PVTEngine::clear_NvRamEphemerisData;
  if (strcmpA(p, "alm")) drop = &PVTEngine::clear_NvRamAlmanacData;
  if (drop == nullptr) return CMD_WRONG_1ST;
  bool yes = false;
  if (int rc = setBool(v, yes)) return rc;
  if (yes) (PVTEngineInstance.*drop)();
  return CMD_OK;
}

int cleancPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "eph")) rc = reBool(re, false);
  if (strcmpA(p, "alm")) rc = reBool(re, false);
  return rc;
}

struct HintKey {
  const char* name;
  int sys;
};
constexpr HintKey kHintKeys[] = {{"gps", kSysGps}, {"qzss", kSysQzss}, {"sbas", kSysSbas}};

const HintKey* hintKey(const char* p) {
  for (const auto& k : kHintKeys)
    if (strcmpA(p, k.name)) return &k;
  return nullptr;
}

// The hints come from the ephemerides the store takes; no command gives them.
int hintcSet(const char* p, const ZRNamedNode*) { return hintKey(p) != nullptr ? CMD_READ_ONLY : CMD_WRONG_1ST; }

int hintcPrint(const char* p, Reply& re) {
  const HintKey* k = hintKey(p);
  if (k == nullptr) return CMD_WRONG_1ST;
  std::int32_t cycle = 0, ms = 0;
  if (!SatDataProcessorInstance.get_TimeHint(k->sys, &cycle, &ms)) return CMD_NOT_AVAILABLE;
  re.printf("{%ld,%ld}", static_cast<long>(cycle), static_cast<long>(ms));
  return CMD_OK;
}

}  // namespace

bool registerSatDataKeys() {
  return parRegisterArea("pos/clean", cleancSet, cleancPrint) && parRegisterArea("pos/hint", hintcSet, hintcPrint);
}
