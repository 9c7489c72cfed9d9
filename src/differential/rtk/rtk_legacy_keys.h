// The older /par/rtk branch: the smoothing constant `alp` and the RTK debug selectors under
// dbi/. Set only (there is no print handler) and never stored: every value lives in a global
// for the rest of the process and starts from its built-in value after a restart. Readers in
// other tasks see a new value at their next read; the words are written without a lock.
//
//   /par/rtk/alp          double 0..100        rtkAlp (both copies)
//   /par/rtk/dbi/<name>   int, float or double one selector each (table in the source)
#pragma once

#include "settings/debug_selectors.h"  // rtcm_dbi, shared with the RTCM 2 client

class ZRNamedNode;

// Path below /par/rtk as it was typed ("" for /par/rtk itself, else beginning with '/':
// "/dbi/cpd"). 0 for an empty path (nothing set), 3 for a path that is not '/' and a known key
// compared whole, else the value reader's result.
int rtkcOldSet(const char* path, const ZRNamedNode* value);

// The smoothing constant of the legacy branch, kept as two copies. It is deliberately not the
// per-system inter-system weight table of the RTK engine: that table is rebuilt per current
// system and copied into the engine, and a single number typed here must not overwrite it.
extern double rtkAlp[2];

// Debug selectors set here (the RTK engine's own ones, fast_rtk_dbi, mult_dbi, rest_opt, the
// projection models' Tcorr and the settings layer's temp_dbi and rtk_cpd_dbi, are declared with
// their owners).
extern float rtk_psc;
extern float soc_dbi;
extern int cmr_dbi;
extern int t_opt;
extern int out_ion;
extern int out_out;
extern int deb_fr;
extern int rtkp_dbi;
extern int rtk_imu;
extern int laser_dbi;
extern int rtk_q;
extern int rtk_c;
extern int rtk_dt;
extern int sync_dbi;
extern int tropo_dbi;
extern int fkp_dbi;
extern int rtk_res_dbi;
extern int rtcm3_dbi;
extern int rcv3_dbi;
extern int rtk_slip;
extern float MIN_GLN_W_d;
extern float MIN_GLN_W_MARGINAL_d;
extern int si_N;
