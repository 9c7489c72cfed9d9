#include "positioning/sat_data_task.h"

#include <atomic>
#include <cmath>
#include <cstring>

#include "platform/mono_clock.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/apx_nav.h"
#include "positioning/geodesy/ell_math.h"
#include "positioning/placeholders.h"
#include "positioning/sat_polynom_frame.h"

namespace {
// Field offsets in the satellite-processor setup record.
constexpr std::size_t kElevModeAt = 4;
constexpr std::size_t kElevMaskAt = 8;
constexpr std::size_t kSignalMaskAt = 120;
constexpr std::size_t kSatMaskAt[kSatMaskKinds] = {192, 256, 312, 2448, 2504};
constexpr std::size_t kSysTimeAt = 368;
constexpr std::size_t kAlmPolynomAt = 375;   // "almdata"
constexpr std::size_t kTypeInUseAt = 376;    // "navdata"
constexpr std::size_t kEphDoubleCheckAt = 2350;  // "eph/dblchk"
constexpr std::size_t kAlmMaxAgeAt = 2400;   // "alm/maxage", days
constexpr std::size_t kUraLimitAt = 2416;    // "ura/mask", m
constexpr std::size_t kEphSourceAt = 2584;   // "navdata/source"
constexpr std::size_t kAlmSourceAt = 2588;   // "almdata/source"
constexpr std::size_t kB2bSourceAt = 2592;   // "bei/cnav3/dec"
constexpr std::size_t kDebugInverseAt = PosSetup::kSatDebugInverseOffset;

template <class T>
T field(const PosSetup::SatProcessorSetupType& s, std::size_t at) {
  T v;
  std::memcpy(&v, s.aBytes + at, sizeof v);
  return v;
}

std::uint8_t source(std::uint32_t v) { return static_cast<std::uint8_t>(v > 3 ? 3 : v); }

constexpr double kWeekSec = 604800;
constexpr double kDaySec = 86400;
constexpr double kBeidouLagSec = 14;      // BeiDou time runs 14 s behind GPS time
constexpr double kBeidouWeekZero = 1356;  // GPS week of the first BeiDou week
}  // namespace

SatDataSetup satDataSetupFrom(const PosSetup::SatProcessorSetupType& s) {
  SatDataSetup out;
  out.ephSource = source(field<std::uint32_t>(s, kEphSourceAt));
  out.almSource = source(field<std::uint32_t>(s, kAlmSourceAt));
  out.firstEphNeedsNoPos = s.aBytes[kEphDoubleCheckAt];
  out.almPolynom = s.aBytes[kAlmPolynomAt];
  out.debugInverse = static_cast<std::uint8_t>(s.aBytes[kDebugInverseAt] & 7u);
  out.elevMode = field<std::uint32_t>(s, kElevModeAt);
  out.elevMask = field<float>(s, kElevMaskAt);
  out.elevVar.weightMode = s.aBytes[PosSetup::kSatWeightModeOffset];
  out.elevVar.weightMode2 = s.aBytes[PosSetup::kSatWeightMode2Offset];
  out.elevVar.accScreening = s.aBytes[PosSetup::kSatAccScreeningOffset];
  for (int sys = 0; sys < SYS_NUM; ++sys) {
    out.typeInUse[sys] = s.aBytes[kTypeInUseAt + sys];
    const std::int16_t days = field<std::int16_t>(s, kAlmMaxAgeAt + 2 * sys);
    out.almAgeDays[sys] = static_cast<std::uint16_t>(days < 0 ? 0 : days);
    out.signalMask[sys] = field<std::uint32_t>(s, kSignalMaskAt + 4 * sys);
    out.uraLimit[sys] = field<float>(s, kUraLimitAt + 4 * sys);
    out.sysTime[sys] = s.aBytes[kSysTimeAt + sys];
    for (int k = 0; k < kSatMaskKinds; ++k) out.satMasks[k][sys] = field<std::uint64_t>(s, kSatMaskAt[k] + 8 * sys);
  }
  return out;
}

int satSetupB2bSource(const PosSetup::SatProcessorSetupType& s) {
  return static_cast<int>(source(field<std::uint32_t>(s, kB2bSourceAt)));
}

SatDataTime satDataTimeFrom(const RcvTimeScales::INT_SCALES& s) {
  SatDataTime t;
  const bool gps = (s.flags[0] & RcvTimeScales::kTimeValid) != 0;
  const bool glo = (s.flags[1] & RcvTimeScales::kTimeValid) != 0;
  t.valid = gps || glo;
  const double week = s.weekDay[0] + 1024.0 * s.cycle[0];
  const double sec = s.ms[0] * 0.001;
  for (int sys : {kSysGps, kSysGalileo, kSysQzss, kSysNavic}) {
    t.cycleKnown[sys] = gps;
    t.cycle[sys] = static_cast<std::int32_t>(week);
    t.sec[sys] = sec;
  }
  t.cycleKnown[kSysSbas] = gps;
  t.cycle[kSysSbas] = static_cast<std::int32_t>(week * 7 + std::floor(sec / kDaySec));
  t.sec[kSysSbas] = std::fmod(sec, kDaySec);
  const double bdt = (week - kBeidouWeekZero) * kWeekSec + sec - kBeidouLagSec;
  t.cycleKnown[kSysBeidou] = gps;
  t.cycle[kSysBeidou] = static_cast<std::int32_t>(std::floor(bdt / kWeekSec));
  t.sec[kSysBeidou] = bdt - t.cycle[kSysBeidou] * kWeekSec;
  t.cycleKnown[kSysGlonass] = glo;
  // The board counts the day of the four-year period from 0; GLONASS records count it from 1
  // (NT, NA), and so does the epoch record: the store compares them in that count.
  t.cycle[kSysGlonass] = s.weekDay[1] + 1;
  t.sec[kSysGlonass] = s.ms[1] * 0.001;
  return t;
}

void rcvGeodetic(const double xyz[3], double llh[3]) {
  static const EllMath::ELL_EXTPAR wgs84 = [] {
    EllMath::ELL_EXTPAR e{};
    EllMath::setEllPar(DtmList::ELL_PARAMS{"W84", 6378137.0, 298.257223563}, &e);
    return e;
  }();
  EllMath::XYZ_BLH(wgs84, xyz[0], xyz[1], xyz[2], llh[0], llh[1], llh[2]);
}

namespace {
std::atomic<bool> g_clearAllEph{false};
std::atomic<bool> g_clearAllAlm{false};
}  // namespace

void request_ClearAllEphemerides() { g_clearAllEph.store(true); }
void request_ClearAllAlmanacs() { g_clearAllAlm.store(true); }

void satDataStoreStep() {
  static SatDataEpoch ep;
  static SatDataEpochResult res;
  ep = SatDataEpoch{};
  res = SatDataEpochResult{};
  PVTDataType& d = PVTDataInstance;

  static PosSetup::SatProcessorSetupType setup;
  ep.setupValid = d.satProcessorSetup.Take(&setup) != 0;
  if (ep.setupValid) {
    ep.setup = satDataSetupFrom(setup);
    update_SatPolynomFrames(setup);
  }
  RcvTimeScales::INT_SCALES scales;
  RcvTimeScales::getReq(scales);
  ep.time = satDataTimeFrom(scales);
  ep.monoSec = MonoClock::sec();

  double posTime = 0;
  ep.positionFresh = apxSlowPosition(ep.rcvPos, posTime) && ep.monoSec - posTime < 60;
  if (ep.positionFresh) rcvGeodetic(ep.rcvPos, ep.rcvLlh);

  SatData::SatelliteListType locked{};
  ep.lockedValid = d.lockedSatelliteList.Take(&locked) != 0;
  for (int sys = 0; sys < SYS_NUM; ++sys) {
    ep.locked[sys] = locked.ullMask[sys];
    for (int si = 0; si < SYS_SI_NUM[sys]; ++si) {
      const SvIdType sv{static_cast<std::uint8_t>(si), static_cast<std::uint8_t>(sys), 0, kSvUnknown};
      ep.ephReset[SYS_SI_BASE_NUM[sys] + si] = static_cast<std::uint8_t>(d.ephemerisResetRequest.Get(&sv));
    }
  }

  // A request taken by a step that cannot run (no time or setup yet) waits for the next one.
  ep.clearAllEph = g_clearAllEph.exchange(false);
  ep.clearAllAlm = g_clearAllAlm.exchange(false);
  SatDataProcessorInstance.update(ep, &res);
  if (!res.ran) {
    if (ep.clearAllEph) g_clearAllEph.store(true);
    if (ep.clearAllAlm) g_clearAllAlm.store(true);
    return;
  }
  d.satdataDeltaTime.Put(&res.deltaTime);
  for (int sys = 0; sys < SYS_NUM; ++sys)
    for (int si = 0; si < SYS_SI_NUM[sys]; ++si) {
      const std::uint8_t bits = res.satReset[SYS_SI_BASE_NUM[sys] + si];
      if (bits == 0) continue;
      const SvIdType sv{static_cast<std::uint8_t>(si), static_cast<std::uint8_t>(sys), 0, kSvUnknown};
      d.satelliteResetRequest.Put(&sv, bits, 0);
    }
}
