// Corrections of the GBAS ground stations for the position of the epoch: per station the
// pseudorange corrections of the requested satellites, with the airborne troposphere residual and
// the variance of the residual ionosphere, troposphere and ground errors (RTCA DO-253 airborne
// processing). The correction processor picks one station and publishes its corrections.
#pragma once

#include <cstddef>
#include <cstdint>

#include "navigation_data/sv_id.h"
#include "positioning/corrections/corr_request.h"
#include "positioning/data_servers/gbas_data_types.h"
#include "positioning/data_servers/nav_data_types.h"
#include "positioning/data_servers/pos_data_types.h"

class PVTDataType;

namespace GbasCorr {

// The GBAS settings inside the correction-processor setup record (byte offsets).
inline constexpr std::size_t kFormatOffset = 128;           // u16: 217 DO-217, 246 DO-246, other none
inline constexpr std::size_t kSelectionModeOffset = 352;    // u8: 0 station, 1 approach, other selector
inline constexpr std::size_t kStationSelectorOffset = 353;  // u8: reference station data selector
inline constexpr std::size_t kPathSelectorOffset = 354;     // u8: reference path data selector, 255 none
inline constexpr std::size_t kWaiveCrcOffset = 355;         // u8: 1 skips the ephemeris CRC check
inline constexpr std::size_t kGbasIdOffset = 356;           // u32: 24-bit GBAS identifier

constexpr std::uint8_t kNoSelector = 255;
constexpr std::uint16_t kNoChosenSelector = 65535;

// Gates on the ages of the station's data, s.
constexpr float kMaxType1Age = 7.5f;       // last type 1 message: older or equal drops the station
constexpr float kMaxCorrAge = 10.0f;       // a correction older than this is not applied
constexpr float kMinCorrAge = -2.0f;       // a correction dated later than this is not applied
constexpr float kMaxFirstSourceAge = 120.0f;
constexpr float kMaxEphIntegrityAge = 60.0f;
constexpr float kFreshType1Age = 3.5f;     // freshness lost at this age of the last type 1
constexpr float kFreshCorrAge = 6.0f;      // or of a correction used

// Airborne model constants.
constexpr double kEarthRadius = 6378136.3;   // m
constexpr double kIonoShellHeight = 350000.0;  // m
constexpr double kIonoTau = 100.0;             // s, time constant of the smoothing filter

struct RequestSatType {
  float fElevation;  // deg
  std::uint16_t uIod;
  SvIdType svId;
};

// One satellite's answer of one station.
struct SatOutputType {
  std::uint8_t bReady;
  std::uint8_t uIod;
  std::uint8_t uBFlags;  // bit k: B(k+1) present
  std::uint8_t uEphDecorr;  // x 5e-6 m/m
  float fCorrection;     // m
  float fVariance;       // m^2
  float fAge;            // s
  float fSigmaPrGnd;     // m
  float fB[4];           // m
};

struct StationBlockType {
  std::uint8_t uBlockId;
  std::uint8_t uSelector;      // reference station data selector, kNoSelector: none
  std::uint8_t uPathSelector;  // reference path data selector, kNoSelector: none
  std::uint8_t bValid;
  std::uint8_t bAddValid;
  std::uint8_t bFasValid;
  std::uint32_t ulGbasId;
  double dDistance;  // m, user to station
  GBASData::StationAddBlockDataType add;
  GBASData::StationDataType station;
  GBASData::FASDataType fas;
  SatOutputType sat[CorrData::kMaxRequestSats];
};

struct RequestType {
  // The position request served.
  double dX, dY, dZ;  // m
  double dHeight;     // m above the ellipsoid
  float fVelEast, fVelNorth;  // m/s
  PosData::RcvTimeDataType rcvTime;
  std::uint16_t uCount;
  RequestSatType sat[CorrData::kMaxRequestSats];
  // How the station is chosen.
  std::uint32_t ulGbasId;
  std::uint8_t uStationSelector;
  std::uint8_t uPathSelector;
  std::uint8_t uMode;
  std::uint8_t bWaiveCrc;
  // The answer.
  std::uint8_t uBlockCount;
  StationBlockType block[GBASData::kGbasSources];
};

// Tropospheric correction and its sigma (m): refractivity index `nr` and its uncertainty
// `sigmaN`, scale height `h0` (m), user height above the station `dh` (m), elevation (deg).
// A scale height of 0 means no troposphere term.
void compute_TropoTerms(double elevDeg, double dh, double nr, double sigmaN, double h0, double& tc,
                        double& sigmaTropo);
// Thin-shell obliquity factor at elevation `elevDeg`.
double compute_Obliquity(double elevDeg);
// Sigma of the residual ionosphere (m).
double compute_SigmaIono(double elevDeg, double sigmaVertIonoGradient, double xAir, double vAir);

}  // namespace GbasCorr

class GbasCorrGenerator {
 public:
  explicit GbasCorrGenerator(PVTDataType* store) : store_(store) {}

  // Fills up to two station blocks; returns their count.
  int update(GbasCorr::RequestType& r);
  // Into the block's entry `index`; false (entry left empty) when a check fails.
  bool compute_RangeCorrection(const GbasCorr::RequestType& r, int source, GbasCorr::StationBlockType& b,
                               int index);
  void compute_TropoData(const GBASData::StationDataType& s, double elevDeg, double& tc, double& sigma) const;
  double compute_IonoData(const GBASData::StationDataType& s, double elevDeg) const;

  double userHeight() const { return dUserHeight_; }
  double xAir() const { return dXAir_; }
  double vAir() const { return dVAir_; }
  bool fresh() const { return bFresh_ != 0; }

 private:
  PVTDataType* store_;
  double dUserHeight_ = 0.0;
  double dXAir_ = 0.0;
  double dVAir_ = 0.0;
  std::uint8_t bFresh_ = 0;
  GBASData::DiffCorrectionType diff_;
  NavData::GbasEphIntegrityDataType eph_{};
};

extern GbasCorrGenerator GbasCorrGeneratorInstance;
