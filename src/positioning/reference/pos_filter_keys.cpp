#include "positioning/reference/pos_filter_keys.h"

#include "command/param_engine.h"
#include "command/result_codes.h"
#include "command/values.h"
#include "positioning/reference/pos_filter.h"
#include "settings/rcv_settings.h"

namespace {

constexpr const char* kTypeWords = "stat";

int filtcSet(const char* p, const ZRNamedNode* v) {
  if (strcmpA(p, "mode")) {
    bool on = RcvSet.filtMode != 0;
    if (int rc = setBool(v, on)) return rc;
    RcvSet.filtMode = on ? 1 : 0;
    bFiltMode = RcvSet.filtMode;
    return CMD_OK;
  }
  if (strcmpA(p, "reset")) {
    bool yes = false;
    if (int rc = setBool(v, yes)) return rc;
    if (yes) PosFilt.reset();
    return CMD_OK;
  }
  if (strcmpA(p, "weight") || strcmpA(p, "spdmode")) {
    bool on = false;
    if (int rc = setBool(v, on)) return rc;
    // Kept in the receiver settings too, so the value survives a restart.
    if (strcmpA(p, "weight")) {
      PosFilt.setWeight(on);
      RcvSet.posFilt.weight = on ? 1 : 0;
    } else {
      PosFilt.setSpdMode(on);
      RcvSet.posFilt.spdmode = on ? 1 : 0;
    }
    return CMD_OK;
  }
  if (strcmpA(p, "num") || strcmpA(p, "maxdel") || strcmpA(p, "spdnum")) {
    int n = 0;
    const int max = strcmpA(p, "maxdel") ? PosFilter::kMaxDelMax : PosFilter::kNumMax;
    if (int rc = setInt(v, n, 1, max)) return rc;
    const auto v16 = static_cast<std::int16_t>(n);
    if (strcmpA(p, "num")) return PosFilt.setNum(n) ? (RcvSet.posFilt.num = v16, CMD_OK) : CMD_OUT_OF_RANGE;
    if (strcmpA(p, "maxdel")) return PosFilt.setMaxDel(n) ? (RcvSet.posFilt.maxdel = v16, CMD_OK) : CMD_OUT_OF_RANGE;
    return PosFilt.setSpdNum(n) ? (RcvSet.posFilt.spdnum = v16, CMD_OK) : CMD_OUT_OF_RANGE;
  }
  if (strcmpA(p, "spdmax")) {
    float x = 0;
    if (int rc = setFloat(v, x, PosFilter::kSpdMaxMin, PosFilter::kSpdMaxMax)) return rc;
    if (!PosFilt.setSpdMax(x)) return CMD_OUT_OF_RANGE;
    RcvSet.posFilt.spdmax = x;
    return CMD_OK;
  }
  if (strcmpA(p, "type")) {
    int t = 0;
    return setEnum(v, t, kTypeWords);
  }
  return CMD_WRONG_1ST;
}

int filtcPrint(const char* p, Reply& re) {
  const PosFilter::Settings s = PosFilt.settings();
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "mode")) rc = reBool(re, RcvSet.filtMode != 0);
  if (strcmpA(p, "reset")) rc = reBool(re, false);
  if (strcmpA(p, "weight")) rc = reBool(re, s.weight);
  if (strcmpA(p, "num")) rc = reLong(re, s.num);
  if (strcmpA(p, "maxdel")) rc = reLong(re, s.maxdel);
  if (strcmpA(p, "type")) rc = reEnum(re, 0, kTypeWords);
  if (strcmpA(p, "spdmax")) rc = reDouble(re, s.spdmax, 2);
  if (strcmpA(p, "spdnum")) rc = reLong(re, s.spdnum);
  if (strcmpA(p, "spdmode")) rc = reBool(re, s.spdmode);
  return rc;
}

}  // namespace

bool registerPosFiltArea() { return parRegisterArea("pos/filt", filtcSet, filtcPrint); }
