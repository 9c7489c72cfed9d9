// Factory defaults of the receiver, navigation and RTCM settings and of the RTK base record.
#include <cstring>

#include "settings/base_coord.h"
#include "settings/debug_selectors.h"
#include "settings/nav_settings.h"
#include "settings/rcv_settings.h"
#include "settings/rtcm_settings.h"
#include "platform/rtos.h"

RCV_SETTINGS RcvSet;
NavTask::NAV_SETTINGS NavSet;
RTCM_SETTINGS RtcmSet;
BASECOORD bc;

int tPosMode = 0;
std::uint8_t bFiltMode = 0;
int rtcmMode = 0;  // the output manager raises it while any RTCM 2 message is due
int dbi = 0;
int temp_dbi = 0;
int rtk_cpd_dbi = 0;
int rtcm_dbi = 0;

Hook<void(std::uint8_t* datum, std::size_t size)> navDatumDefaultsHook("settings", "navDatumDefaultsHook");

namespace {

void rtkDefaults(RcvRtkSettings& r) {
  r.mem = 0.9997;
  r.dyn = 1.0;
  r.rmsc = 5.0f;
  r.rmsp = 0.05f;
  r.tolthr = 0.08f;
  r.range = 1000000.0f;
  r.tgpsfirst = 30.0f;
  r.ionr = 4000.0f;
  r.ionf = 2.0f;
  r.iont = 600.0f;
  r.pen = 1.0f;
  r.offt = 3.0f;
  r.tempc = 20.0f;
  r.humid = 50.0f;
  r.press = 1010.0f;
  r.textr = 30.0f;
  r.textrse = 3.0f;
  r.period = 1000;
  r.afperiod = 1000;
  r.experiod = 100;
  r.fixwait = -1;
  r.timegap = -1;
  r.check = 7;
  r.inputId = -1;
  r.scale = 1;
  r.aflevel = 2;  // medium
  r.mode = 1;     // extrap
  r.dblchk = 1;
  r.mrtk[0] = r.mrtk[1] = 1;
  r.maxs[0] = r.maxs[1] = 20;
  for (auto& m : r.meas) m = 1;
  r.crpc = 1;
  r.qcheck = 1;
  r.resmode = 1;
  r.wl = 1;
  r.diffext = 1;
  r.env = 1;  // open
  r.ion = 1;
  r.maxit = 1;
  r.maxitf = 1;
  r.minpot = 36;
  r.minpotp = 28;
  r.minsat = 6;
  r.maxsat = 20;
  r.mbtimeout = 1;
}
}  // namespace

void rcvPosFiltDefaults(RcvPosFilt& f) {
  f = RcvPosFilt{};
  f.num = 30;
  f.maxdel = 10;
  f.spdnum = 5;
  f.spdmax = 2.0f;
}

void rcvGridDefaults(RcvGrid& g) {
  g = RcvGrid{};
  g.locPrj[2] = 1.0;  // k0
  g.local[2] = 1.0;   // k
}

void rcvSetDefaults(RCV_SETTINGS& s) {
  std::memset(&s, 0, sizeof s);
  s.layoutRev = kRcvSetLayoutRev;
  rcvPosFiltDefaults(s.posFilt);
  rcvGridDefaults(s.grid);
  s.msmCompat = 4;  // "def"
  s.msInt = -1;
  s.posMsInt = -1;
  s.posUpdateRate = -1;
  s.rawUpdateRate = -1;
  s.secInt = 1000;
  s.refPosMode = 1;
  s.codeSolAllowed = 1;
  s.smi = 100;
  s.ionoSmi = 300;
  s.tecSmi = 300;
  s.baseAvg = kBaseAvgDefaultSec;
  s.baseEpochInt = 1000;
  s.refPort = -2;
  s.refMsgChoice = 2;
  rtkDefaults(s.rtk);
  s.hd.pen = 1.0f;
  s.hd.memf = 0.999;
  s.hd.naver = 1;
  s.cpuNum = 5;  // auto
  // Every GPS satellite's almanac is taken: entry n - 1 names satellite n.
  for (int i = 0; i < 32; ++i) s.gpsPrn[i] = static_cast<std::uint8_t>(i + 1);
}

int navSmoothCount(long seconds, int msInt) {
  const long step = msInt > 0 ? msInt : 1000;
  const long n = (seconds < 0 ? 0 : seconds) * 1000 / step;
  return static_cast<int>(n > 65535 ? 65535 : n);
}

void navSetDeriveCounts(NavTask::NAV_SETTINGS& s, int msInt) {
  s.ionoMinSmiCnt = static_cast<std::uint16_t>(navSmoothCount(s.ionoMinSmi, msInt));
}

void navSetDefaults(NavTask::NAV_SETTINGS& s) {
  std::memset(&s, 0, sizeof s);
  s.smi = 100;
  s.ionoMinSmi = 30;
  navSetDeriveCounts(s, -1);
  navDatumDefaultsHook(s.datum, sizeof s.datum);
}

void rtcmSetDefaults(RTCM_SETTINGS& s) {
  std::memset(&s, 0, sizeof s);
  s.rtcmDec.first = 2;
  s.rtcmDec.maxAge = 30;
  s.rtcmDec.secondLimit = 300;
  s.rtcmDec.fourth = 1000;
  s.rtcmDec.seqCheck = 1;
  s.rtcmDec.useNotMonitored = 1;
  s.rtcmDec.version = 2;
  s.rtcmDec.refSource = 2;
  s.rtcm2EpochMode = kRtcm2EpochDefault;
  s.cmrDec.gloType = 3;
  s.cmrDec.inUse = -1;
  s.cmrDec.nrsCnt = 10;
  s.cmrDec.nrsLim = 25.0f;
  s.rtcmCod.stationId = -1;
  s.rtcmCod.term[0] = '\r';
  s.rtcmCod.term[1] = '\n';
  s.rtcmCod.l2Set = 2;
  s.rtcmCod.glo = 1;
  // A fresh receiver's RTCM 3 coder as the coder itself is built: no station id (one id for every
  // format, as refId) and "exp", so that MSM carries every satellite it tracks.
  s.rtcm3Cod.stationId = -1;
  s.rtcm3Cod.ver = 1;
  for (auto& m : s.rtcm3Cod.msm) m = 1;
  s.rtcm3Dec.outPort = 43;
  s.rtcm3Dec.wrapStream = 82;
  s.rtcm3Dec.gloBias = 1;
  s.cmrCod.stationId = -1;
  s.cmrCod.l2 = 1;
  s.refId = -1;
}

void baseCoordDefaults(BASECOORD& b) { std::memset(&b, 0, sizeof b); }

Mutex& baseCoordLock() {
  static Mutex m;
  return m;
}

int rtcmGetMaxSats() { return RtcmSet.rtcmMaxSats; }
int rtcm3GetMaxSats() { return RtcmSet.rtcm3MaxSats; }
int cmrGetMaxSats() { return RtcmSet.cmrMaxSats; }
void rtcm3SetMaxSats(int n) {
  if (n < 0) n = 0;
  if (n > 127) n = 127;
  RtcmSet.rtcm3MaxSats = static_cast<std::int16_t>(n);
  RcvSet.rtcm3MaxSats = static_cast<std::int16_t>(n);
}
