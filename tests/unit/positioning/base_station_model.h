// A reference station watching a synthetic constellation: satellites placed by azimuth and
// elevation around a known station, measurements generated from the exact range (the Earth
// turning during the signal's flight, solved by iteration), a receiver clock per system, and
// the epoch record, channel data and satellite records the reference clock and the base
// station read.
#pragma once

#include <cmath>
#include <cstring>
#include <vector>

#include "positioning/chan_data.h"
#include "positioning/engine/epoch_sat_list.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/ref_clock.h"
#include "unit/positioning/fresh_channels.h"

namespace basemodel {

constexpr double kC = 299792458.0;
constexpr double kOmega = 7.2921151467e-5;  // rad/s, WGS 84
constexpr double kPi = 3.14159265358979323846;

// WGS 84 geodetic to Earth-centred coordinates (the textbook closed form).
inline void geodeticToEcef(double latDeg, double lonDeg, double h, double out[3]) {
  const double a = 6378137.0, f = 1.0 / 298.257223563, e2 = f * (2.0 - f);
  const double lat = latDeg * kPi / 180.0, lon = lonDeg * kPi / 180.0;
  const double n = a / std::sqrt(1.0 - e2 * std::sin(lat) * std::sin(lat));
  out[0] = (n + h) * std::cos(lat) * std::cos(lon);
  out[1] = (n + h) * std::cos(lat) * std::sin(lon);
  out[2] = (n * (1.0 - e2) + h) * std::sin(lat);
}

// The satellite position at emission is the point S of the Earth-fixed frame of that moment;
// at reception that frame has turned by w tau, so the range is |Rz(w tau) S - r| with tau the
// range over c.
inline double exactRange(const double s[3], const double r[3]) {
  double rho = 0.0;
  for (int it = 0; it < 10; ++it) {
    const double th = kOmega * rho / kC;
    const double x = std::cos(th) * s[0] + std::sin(th) * s[1];
    const double y = -std::sin(th) * s[0] + std::cos(th) * s[1];
    rho = std::sqrt((x - r[0]) * (x - r[0]) + (y - r[1]) * (y - r[1]) + (s[2] - r[2]) * (s[2] - r[2]));
  }
  return rho;
}

struct SkySat {
  int sys;
  int sat;         // index in the satellite numbering
  int si;          // index in the signal numbering
  double az, el;   // degrees
  double clockBias;   // s
  double clockDrift;  // s/s
};

struct Truth {
  double station[3];
  double clock = 1e-4 * kC;        // receiver clock against GPS time, m
  double sysBias[SYS_NUM] = {};    // offset of each system's clock beyond the GPS one, m
  double drift = 0.5;              // m/s
};

struct SatTruth {
  SvIdType sv;
  double pos[3], vel[3];
  double bias, drift;
};

// The epoch's satellite records, as the measurement processor would leave them.
inline EpochSatCommonDataType& sats() {
  static EpochSatCommonDataType s;
  return s;
}

inline std::vector<SatTruth>& satTable() {
  static std::vector<SatTruth> t;
  return t;
}

// The orbit source the processor asks: the table's truth, issue of data 5.
inline bool truthPosAndClock(const SvIdType& sv, double, ChanSatDataType& rec) {
  for (const SatTruth& t : satTable()) {
    if (t.sv.sys != sv.sys || t.sv.sat != sv.sat) continue;
    std::memcpy(rec.dPos, t.pos, sizeof rec.dPos);
    std::memcpy(rec.dVel, t.vel, sizeof rec.dVel);
    rec.dClock = t.bias;
    rec.dRel = 0.0;
    rec.fDrift = static_cast<float>(t.drift);
    rec.uIod = 5;
    return true;
  }
  return false;
}
inline bool noCorrection(const SvIdType&, double&, double&, double&) { return false; }
inline const RefClockLinks kTruthLinks{truthPosAndClock, noCorrection};

inline double frequency(int sys, int si) {
  if (sys == kSysGlonass) return 1602.0e6 + (si - 7) * 0.5625e6;
  if (sys == kSysBeidou) return 1561.098e6;
  return 1575.42e6;
}

inline PosSetup::LMSEngineSetupType& lmsSetup() {
  PosSetup::LMSEngineSetupType* p = PVTDataInstance.lmsEngineSetup.GetPointer();
  return *p;
}

// Writes the station's epoch: satellite records on channels 0.., one signal (slot 0) each.
class Station {
 public:
  explicit Station(const std::vector<SkySat>& sats, double lat = 50.0, double lon = 10.0, double h = 200.0)
      : skySats_(sats) {
    postest::freshChannels();  // no slot or signal but the station's own
    geodeticToEcef(lat, lon, h, truth.station);
    PVTDataInstance.lmsEngineSetup.Init();  // the factory setup
    for (int k = 0; k < static_cast<int>(skySats_.size()); ++k) {
      ChanData::mapSlot(k, 0, k * kCdatSlots);
      ChanData::mapSlot(k, 1, k * kCdatSlots + 1);
    }
    place();
  }

  // Satellite positions from azimuth and elevation: 26 560 km from the centre (GLONASS 25 510,
  // BeiDou 27 906), moving 3 km/s across the line of sight with a little along it.
  void place() {
    satTable().clear();
    const double* r = truth.station;
    const double lat = std::atan2(r[2], std::hypot(r[0], r[1])), lon = std::atan2(r[1], r[0]);
    const double east[3] = {-std::sin(lon), std::cos(lon), 0.0};
    const double north[3] = {-std::sin(lat) * std::cos(lon), -std::sin(lat) * std::sin(lon), std::cos(lat)};
    const double up[3] = {std::cos(lat) * std::cos(lon), std::cos(lat) * std::sin(lon), std::sin(lat)};
    for (const SkySat& s : skySats_) {
      const double az = s.az * kPi / 180.0, el = s.el * kPi / 180.0;
      double u[3];
      for (int k = 0; k < 3; ++k)
        u[k] = std::cos(el) * std::sin(az) * east[k] + std::cos(el) * std::cos(az) * north[k] + std::sin(el) * up[k];
      const double radius = s.sys == kSysGlonass ? 25510e3 : s.sys == kSysBeidou ? 27906e3 : 26560e3;
      const double ru = r[0] * u[0] + r[1] * u[1] + r[2] * u[2];
      const double rr = r[0] * r[0] + r[1] * r[1] + r[2] * r[2];
      const double t = -ru + std::sqrt(ru * ru - rr + radius * radius);
      SatTruth st{};
      st.sv.sys = static_cast<std::uint8_t>(s.sys);
      st.sv.sat = static_cast<std::uint8_t>(s.sat);
      st.sv.si = static_cast<std::uint8_t>(s.si);
      for (int k = 0; k < 3; ++k) st.pos[k] = r[k] + t * u[k];
      st.vel[0] = 3000.0 * north[0] + 400.0 * u[0];
      st.vel[1] = 3000.0 * north[1] + 400.0 * u[1];
      st.vel[2] = 3000.0 * north[2] + 400.0 * u[2];
      st.bias = s.clockBias;
      st.drift = s.clockDrift;
      satTable().push_back(st);
    }
  }

  // Fills the epoch record, the satellite records and the signals of epoch number n (1 s apart).
  PVTEngineEpochDataType& epoch(int n, double interval = 1.0) {
    PVTEngineEpochDataType& e = *PVTDataInstance.epochData.GetPointer();
    e.dEpochInterval = interval;
    e.pChanData = Cdat;
    e.pEpochSatData = &sats();
    e.pNavSol = nullptr;  // the model's epochs come without the board's solution
    e.rcvTime = PosData::RcvTimeDataType{};
    e.rcvTime.ulTimeTag = static_cast<std::uint32_t>(1000 * n);
    const std::uint32_t gpsMs = 345600000u + 1000u * static_cast<std::uint32_t>(n);
    for (PosData::RcvTimeDataType::SysTime* b : {&e.rcvTime.gps, &e.rcvTime.gal, &e.rcvTime.qzss, &e.rcvTime.irn}) {
      b->ulMs = gpsMs;
      b->uStatus[0] = 1;
    }
    e.rcvTime.bds.ulMs = gpsMs - 14000;
    e.rcvTime.bds.uStatus[0] = 1;
    e.rcvTime.sbas.ulMs = gpsMs % 86400000u;
    e.rcvTime.sbas.uStatus[0] = 1;
    e.rcvTime.glo.ulMs = (gpsMs + 10800000u - 18000u) % 86400000u;
    e.rcvTime.glo.uStatus[0] = 1;
    const double clock = truth.clock + truth.drift * (n - 1) * interval;
    sats() = EpochSatCommonDataType{};
    for (int k = 0; k < static_cast<int>(skySats_.size()); ++k) {
      const SkySat& s = skySats_[k];
      const SatTruth& t = satTable()[k];
      ChanSatDataType& rec = sats().chan[k];
      rec.sv = t.sv;
      rec.fElevation = static_cast<float>(s.el);
      rec.fAzimuth = static_cast<float>(s.az);
      rec.fVariance = 1.0f;
      rec.uIod = 5;
      const double rho = exactRange(t.pos, truth.station);
      double los[3];
      for (int a = 0; a < 3; ++a) los[a] = (t.pos[a] - truth.station[a]) / rho;
      const double rangeRate = los[0] * t.vel[0] + los[1] * t.vel[1] + los[2] * t.vel[2];
      const double f = frequency(s.sys, s.si);
      for (int slot = 0; slot < 2; ++slot) {
        ChanSigData& sig = Sdat[k * kCdatSlots + slot];
        sig = ChanSigData{};
        sig.flags = ChanSigData::kValid | ChanSigData::kPhase | EpochSignal::kPhaseForBase;
        sig.cn0 = 45.0f;
        sig.smCnt = ChanData::xMaxSmCnt;
        sig.freq = slot == 0 ? f : f * 60.0 / 77.0;
        sig.code = (rho + clock + truth.sysBias[s.sys] - t.bias * kC) / kC;
        sig.codeRaw = sig.smCode = sig.code;
        sig.phase = sig.code * sig.freq;
        sig.doppler = (rangeRate + truth.drift - t.drift * kC) * sig.freq / kC;
        sig.phaseSigma = 0.01f;
        sig.lockValue = 1000;
      }
    }
    return e;
  }

  Truth truth;
  std::vector<SkySat> skySats_;
};

// Eight GPS and six GLONASS satellites over the sky, one GPS satellite at each low elevation.
inline std::vector<SkySat> mixedSky() {
  return {
      {kSysGps, 1, 1, 10, 75, 1.2e-4, 1e-11},   {kSysGps, 4, 4, 80, 45, -3.0e-5, -2e-12},
      {kSysGps, 7, 7, 160, 30, 2.5e-4, 0.0},    {kSysGps, 11, 11, 230, 60, 0.0, 5e-12},
      {kSysGps, 15, 15, 300, 20, -1.0e-4, 0.0}, {kSysGps, 19, 19, 45, 12, 3.3e-5, 0.0},
      {kSysGps, 23, 23, 200, 8, 0.0, 0.0},      {kSysGps, 27, 27, 120, 85, 7.0e-5, 0.0},
      {kSysGlonass, 2, 8, 20, 40, 1.0e-5, 0.0},  {kSysGlonass, 5, 5, 110, 65, -2.0e-5, 0.0},
      {kSysGlonass, 9, 13, 190, 25, 0.0, 0.0},  {kSysGlonass, 12, 1, 260, 50, 4.0e-5, 0.0},
      {kSysGlonass, 17, 10, 330, 15, 0.0, 0.0}, {kSysGlonass, 20, 3, 70, 35, 0.0, 0.0},
  };
}

}  // namespace basemodel
