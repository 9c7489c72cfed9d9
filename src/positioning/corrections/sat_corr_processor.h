// The satellite correction processor: every epoch it turns the receiver's correction sources
// (broadcast ionosphere models, troposphere models, wide-area, GBAS and code-differential
// corrections) into one correction record per satellite in view, published through the data
// store for the position engine. The stages run in a fixed order on one correction request; a
// stage or generator not present is skipped.
#pragma once

#include <cstdint>

#include "navigation_data/sv_id.h"
#include "platform/nv_block.h"
#include "platform/rtos.h"
#include "positioning/corrections/corr_request.h"
#include "positioning/corrections/sat_corr_work_area.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/matrix.h"
#include "positioning/geodesy/celestial_math.h"

class SatelliteDataProcessor;
class SbasCorrGenerator;
class DFMC_SbasCorrGenerator;
class SlasCorrGenerator;
class RtcmTSCorrGenerator;
class CompCorrGenerator;
class GbasCorrGenerator;
class RtcmCorrGenerator;

// Earth radius of the pierce-point shell model, m.
constexpr double kIppEarthRadius = 6378136.3;
// Height of the ionosphere shell the request's pierce points lie on, m.
constexpr double kIppShellHeight = 350000.0;

// Pierce point of a ray on a thin shell h above a sphere of radius kIppEarthRadius (RTCA DO-229
// appendix A.4.4.10.1) for a receiver at latitude `lat` and longitude `lon` (rad) looking at
// elevation `elev` and azimuth `azim` (rad): latitude and longitude of the point (deg, longitude
// in -180..180 exclusive) and the obliquity factor. The longitude offset is taken with atan2 of
// the spherical triangle's sine and cosine parts, equal to the published asin form and its
// across-the-pole branch wherever those are defined, and defined also at the pole and where
// rounding carries the asin argument past 1. Exact for the spherical model: agrees with a
// Cartesian ray-sphere intersection to 1e-9 deg.
void compute_PiercePoint(double lat, double lon, float elev, float azim, double shellHeight, float* ippLat,
                         float* ippLon, float* obliquity);

class SatelliteCorrectionProcessor {
 public:
  // A published part no epoch renewed for this long is cleared, unless an input time-out in
  // force is shorter.
  static constexpr std::uint32_t kStalePartsMs = 10000;
  static constexpr std::uint16_t kIonoNvBlockId = 2446;
  static constexpr std::uint16_t kIrnssIonoNvBlockId = 2526;

  SatelliteCorrectionProcessor(PVTDataType* store, SatelliteDataProcessor* satData, SbasCorrGenerator* sbas,
                               DFMC_SbasCorrGenerator* dfmc, SlasCorrGenerator* slas, RtcmTSCorrGenerator* rtcmTs,
                               CompCorrGenerator* comp, GbasCorrGenerator* gbas, RtcmCorrGenerator* rtcm);
  ~SatelliteCorrectionProcessor();
  SatelliteCorrectionProcessor(const SatelliteCorrectionProcessor&) = delete;
  SatelliteCorrectionProcessor& operator=(const SatelliteCorrectionProcessor&) = delete;

  // Clears the models, caches, flags and remembered sources.
  void init_Object();

  // One epoch. 0 when a setup, the time or the position is missing (no stage runs) or another
  // task is running an epoch, else the result of the code-differential stage. `nowMs` is the
  // monotonic time (MonoClock::ms).
  int update();
  int update(std::uint32_t nowMs);

  // The stages, in the order update() runs them.
  int update_IonoModelData();
  int update_PositionData();
  void prepare_CorrectionRequest();
  int update_IonoCorrection();
  int update_TropoCorrection();
  int update_WdCorrection();
  // Prepares the wide-area request for an SBAS-type service of `system` and runs its generator.
  bool compute_WdCorrAsSbas(int system, bool& firstSourceOnly, bool& modelIonoAllowed, unsigned short& rangeSmoothing,
                            unsigned short& ionoSmoothing);
  int update_GbasCorrection();
  int update_CdCorrection();

  // True when the satellite has no valid visibility record or is not below `minElevDeg`.
  bool check_SourceElevation(const SvIdType& sv, float minElevDeg) const;
  // Pierce point seen from the position of the epoch (elevation and azimuth in radians).
  void compute_IPP(float elev, float azim, double shellHeight, float* ippLat, float* ippLon, float* obliquity) const;

  // Source rating: the lines of sight of the satellites a source corrects, each weighted by the
  // inverse of its variance plus the satellite's range variance; the rating is the position
  // part of the trace of the inverse (1e7 with no satellite, 1000 / count with too few or a
  // singular geometry).
  void init_SourceVarEstimation();
  void update_SourceVarEstimation(const CorrData::RequestSatDataType& sat, float variance);
  float get_SourceVarEstimation();

  // The ionosphere models in the settings image: a store writes the model as one update, a
  // restore reads it back only from a valid block (false otherwise, model untouched).
  void allocate_NvRamData();
  bool store_NvRamGpsIonoModelData();
  bool restore_NvRamGpsIonoModelData();
  bool store_NvRamQzssIonoModelData();
  bool restore_NvRamQzssIonoModelData();
  bool store_NvRamCompIonoModelData();
  bool restore_NvRamCompIonoModelData();
  bool store_NvRamIrnssIonoModelData();
  bool restore_NvRamIrnssIonoModelData();
  bool store_NvRamBDGlobalIonoModelData();
  bool restore_NvRamBDGlobalIonoModelData();
  bool store_NvRamNeQuickIonoModelData();
  bool restore_NvRamNeQuickIonoModelData();
  bool store_NvRamGlonassIonoModelData();
  bool restore_NvRamGlonassIonoModelData();
  const NvBlock& ionoNvBlock(int model) const { return nv_[model]; }

  SatCorrWorkArea& work() { return *work_; }
  const SatCorrWorkArea& work() const { return *work_; }
  PVTDataType* store() const { return store_; }
  SatelliteDataProcessor* satData() const { return satData_; }
  SbasCorrGenerator* sbasGenerator() const { return sbas_; }
  DFMC_SbasCorrGenerator* dfmcGenerator() const { return dfmc_; }
  SlasCorrGenerator* slasGenerator() const { return slas_; }
  RtcmTSCorrGenerator* rtcmTsGenerator() const { return rtcmTs_; }
  CompCorrGenerator* compGenerator() const { return comp_; }
  GbasCorrGenerator* gbasGenerator() const { return gbas_; }
  RtcmCorrGenerator* rtcmGenerator() const { return rtcm_; }
  const CelestialMath& celestial() const { return celestial_; }
  // 1 from construction (and from init_Object) until the first model refresh has run.
  std::uint8_t firstUpdate() const { return bFirstUpdate_; }
  void clear_FirstUpdate() { bFirstUpdate_ = 0; }

 private:
  int run_Epoch(std::uint32_t nowMs);
  void apply_DataTimeouts();
  void end_Early(std::uint32_t nowMs);
  void print_Corrections();
  // The code-differential corrections the epoch published (debug selector 199).
  void print_CdCorrections();
  std::uint32_t stalePartsMs() const;
  // The satellites whose published record holds a valid part, each part cleared when `clear`.
  int sweep_PublishedParts(bool clear);
  bool storeModel(int model);
  bool restoreModel(int model);

  PVTDataType* store_;
  SatelliteDataProcessor* satData_;
  SbasCorrGenerator* sbas_;
  DFMC_SbasCorrGenerator* dfmc_;
  SlasCorrGenerator* slas_;
  RtcmTSCorrGenerator* rtcmTs_;
  CompCorrGenerator* comp_;
  GbasCorrGenerator* gbas_;
  RtcmCorrGenerator* rtcm_;
  CelestialMath celestial_;
  MatrixDbl normalInv_;
  SatCorrWorkArea* work_;
  NvBlock nv_[kIonoModels];
  // The epoch runs in the navigation task or, once a second, in the background task, as the
  // in-epoch flag says; a flag changed between the two could start both at once.
  Mutex epochMutex_;
  std::uint8_t bFirstUpdate_ = 1;
};

extern SatelliteCorrectionProcessor SatCorrProcessorInstance;

// The published ionosphere part of a satellite's correction record: correction (m) and obliquity
// factor; false when the satellite has none valid.
bool get_SatIonoCorrection(const SvIdType& sv, float& correction, float& obliquity);
