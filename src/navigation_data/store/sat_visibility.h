// Satellite visibility: elevation, azimuth, an elevation-based measurement variance and a signal
// threshold of each satellite as seen from the receiver, once a second from its polynomial
// position and from its almanac position, kept for the per-epoch users under one lock.
#pragma once

#include <cstdint>

#include "navigation_data/sv_id.h"
#include "platform/rtos.h"

// The receiver's position as the visibility step needs it.
struct RcvPositionType {
  double xyz[3];  // m, ECEF
  double lat;     // rad, geodetic
  double lon;     // rad
  double height;  // m above the ellipsoid
};

namespace SatData {
// One satellite's visibility, as published (ephemeris-based by tracking index, almanac-based by
// satellite-numbering slot).
struct SatVisibilityType {
  std::uint8_t valid;   // 0: nothing published
  float elevation;      // deg, geocentric (see compute_SatelliteVisibility)
  float azimuth;        // deg, 0..360
  double los[3];        // unit vector receiver to satellite, ECEF
  double satPos[3];     // m, ECEF: the satellite position the elevation was computed from
  float satVel[3];      // m/s, ECEF
  RcvPositionType rcv;  // the position it was computed from
  float variance;       // m^2, elevation-based
  float threshold;      // dB-Hz
  SvIdType almId;       // the satellite with its almanac slot
  double timeMs;        // receiver time of the computation
  std::uint16_t iod;
  std::uint8_t newChecked;  // ephemeris new from the broadcast and checked against the almanac
  // The data type of the ephemeris the position came from; kStatusNoEphemeris when no ephemeris
  // is in use and the position came from the almanac (good to kilometres, not for corrections).
  std::uint8_t status;
  static constexpr std::uint8_t kStatusNoEphemeris = 255;
};
}  // namespace SatData

// Lowest elevation (deg) at which an untracked satellite counts as visible.
constexpr float kVisibleElevMinDeg = -3.0f;

// The elevation-variance model of the satellite-processor setup.
struct ElevVarSetup {
  std::uint32_t weightMode = 0;
  std::uint32_t weightMode2 = 0;
  std::uint8_t accScreening = 0;
  bool operator==(const ElevVarSetup&) const = default;
};

// Elevation and azimuth (deg) of a satellite and the unit line of sight. The elevation is
// geocentric: measured from the plane normal to the receiver's radius vector, which differs from
// the ellipsoidal elevation by up to the deflection of the vertical, 0.19 deg at 45 deg latitude.
// With `horizonDip` and a receiver above the ellipsoid the dip of the visible horizon is added.
// False (outputs untouched) when the receiver sits at the Earth's centre or on the satellite.
bool compute_SatelliteVisibility(const RcvPositionType& rcv, const double sat[3], bool horizonDip,
                                 float* elevation, float* azimuth, double los[3]);
// C/N0 threshold (dB-Hz) at elevation E (deg): 20 (sin E - 1) + 53 held between 28 and 48.
float compute_SignalThreshold(float elevDeg);
// Signal threshold and elevation-based variance (m^2) of a satellite of `sys` at E (deg).
void compute_ElevBasedVar(int sys, float elevDeg, const ElevVarSetup& setup, float* threshold,
                          float* variance);

class SatVisibilityStore {
 public:
  static Mutex mutex;

  SatVisibilityStore();
  void Init();
  // Publishes (or, with null, withdraws) a satellite's visibility: ephemeris-based by tracking
  // index, almanac-based by satellite slot. False for an identity out of range.
  bool PutEph(SvIdType id, const SatData::SatVisibilityType* r);
  bool PutAlm(SvIdType id, const SatData::SatVisibilityType* r);
  // Copies the record out whatever its validity; false for an identity out of range.
  bool TakeEph(SvIdType id, SatData::SatVisibilityType* out);
  bool TakeAlm(SvIdType id, SatData::SatVisibilityType* out);
  // Ephemeris-based visibility of a tracking index: the validity byte (0: nothing copied);
  // fills the identity's satellite slot when it is unknown.
  int get_SatelliteVisibilityData(SvIdType* id, float* elevation, float* azimuth, float* threshold,
                                  float* variance, bool* newChecked);

 private:
  SatData::SatVisibilityType eph_[SYS_SI_TOTAL];
  SatData::SatVisibilityType alm_[SYS_SAT_TOTAL];
};

extern SatVisibilityStore SatVisibilityStoreInstance;
