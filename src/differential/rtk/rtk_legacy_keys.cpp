#include "differential/rtk/rtk_legacy_keys.h"

#include <cstring>

#include "command/result_codes.h"
#include "command/values.h"
#include "differential/rtk/base_pro.h"
#include "differential/rtk/rtk_engine.h"
#include "settings/debug_selectors.h"

double rtkAlp[2] = {0.0, 0.0};
float rtk_psc = 0.0f;
float soc_dbi = 0.0f;
int cmr_dbi = 0;
int t_opt = 0;
int out_ion = 0;
int out_out = 0;
int deb_fr = 0;
int rtkp_dbi = 0;
int rtk_imu = 0;
int laser_dbi = 0;
int rtk_q = 0;
int rtk_c = 0;
int rtk_dt = 0;
int sync_dbi = 0;
int tropo_dbi = 0;
int fkp_dbi = 0;
int rtk_res_dbi = 0;
int rtcm3_dbi = 0;
int rcv3_dbi = 0;
int rtk_slip = 0;
// Selectors whose range leaves out 0 start at the lowest value they may take.
float MIN_GLN_W_d = 0.01f;
float MIN_GLN_W_MARGINAL_d = 0.01f;
int si_N = 2;

namespace {

enum class Kind { kInt, kFloat, kDouble };

struct LegacyKey {
  const char* name;  // after the leading '/'
  Kind kind;
  void* var;
  double min, max;
};

// Compared whole, in this order.
const LegacyKey kKeys[] = {
    {"dbi/psc", Kind::kFloat, &rtk_psc, 0, 1000},
    {"dbi/soc", Kind::kFloat, &soc_dbi, 0, 10},
    {"dbi/tcor", Kind::kDouble, &Tcorr, 0, 3600},
    {"dbi/cmr", Kind::kInt, &cmr_dbi, -4, 20},
    {"dbi/rest", Kind::kInt, &rest_opt, 0, 20},
    {"dbi/opt", Kind::kInt, &t_opt, -1, 20},
    {"dbi/ion", Kind::kInt, &out_ion, 0, 20},
    {"dbi/out", Kind::kInt, &out_out, 0, 20},
    {"dbi/fr", Kind::kInt, &deb_fr, 0, 30},
    {"dbi/fast", Kind::kInt, &fast_rtk_dbi, 0, 1000000},
    {"dbi/rtkp", Kind::kInt, &rtkp_dbi, 0, 60},
    {"dbi/imu", Kind::kInt, &rtk_imu, 0, 1000},
    {"dbi/laser", Kind::kInt, &laser_dbi, 0, 1000},
    {"dbi/q", Kind::kInt, &rtk_q, 0, 1},
    {"dbi/c", Kind::kInt, &rtk_c, 0, 25},
    {"dbi/dt", Kind::kInt, &rtk_dt, 0, 25},
    {"dbi/mult", Kind::kInt, &mult_dbi, 0, 25},
    {"dbi/sync", Kind::kInt, &sync_dbi, 0, 25},
    {"dbi/tropo", Kind::kInt, &tropo_dbi, 0, 25},
    {"dbi/fkp", Kind::kInt, &fkp_dbi, 0, 25},
    {"dbi/cpd", Kind::kInt, &rtk_cpd_dbi, 0, 100},
    {"dbi/res", Kind::kInt, &rtk_res_dbi, 0, 20},
    {"dbi/rtcm", Kind::kInt, &rtcm_dbi, 0, 59},
    {"dbi/rtcm3", Kind::kInt, &rtcm3_dbi, 0, 160},
    {"dbi/rcv3", Kind::kInt, &rcv3_dbi, 0, 10},
    {"dbi/temp", Kind::kInt, &temp_dbi, 0, 2000},
    {"dbi/slip", Kind::kInt, &rtk_slip, 0, 50000},
    {"dbi/dw", Kind::kFloat, &MIN_GLN_W_d, 0.01, 1.0},
    {"dbi/dwm", Kind::kFloat, &MIN_GLN_W_MARGINAL_d, 0.01, 1.0},
    {"dbi/sin", Kind::kInt, &si_N, 2, 256},
};

int setKey(const LegacyKey& k, const ZRNamedNode* v) {
  switch (k.kind) {
    case Kind::kInt:
      return setInt(v, *static_cast<int*>(k.var), static_cast<long long>(k.min), static_cast<long long>(k.max));
    case Kind::kFloat: return setFloat(v, *static_cast<float*>(k.var), k.min, k.max);
    case Kind::kDouble: return setDouble(v, *static_cast<double*>(k.var), k.min, k.max);
  }
  return CMD_WRONG_1ST;
}

}  // namespace

int rtkcOldSet(const char* path, const ZRNamedNode* value) {
  if (path == nullptr || *path == 0) return CMD_OK;
  if (*path != '/') return CMD_WRONG_1ST;
  const char* key = path + 1;
  if (std::strcmp(key, "alp") == 0) {
    double a = 0.0;
    if (int rc = setDouble(value, a, 0.0, 100.0)) return rc;
    rtkAlp[0] = a;
    rtkAlp[1] = a;
    return CMD_OK;
  }
  for (const LegacyKey& k : kKeys) {
    if (std::strcmp(key, k.name) == 0) return setKey(k, value);
  }
  return CMD_WRONG_1ST;
}
