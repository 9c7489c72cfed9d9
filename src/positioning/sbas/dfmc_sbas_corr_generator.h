// DFMC (L5) wide-area correction generator: turns the MT32 clock-ephemeris corrections, the
// MT35/36 DFREI and the MT37 degradation parameters of each DFMC source into per-satellite range
// corrections and variances after the DFMC SBAS interface definition (sigma_DFRE, the MT32
// covariance factor dDFRE, eps_CORR and eps_ER).
#pragma once

#include <cstdint>

#include "positioning/corrections/corr_request.h"
#include "positioning/corrections/wd_corr_request.h"
#include "positioning/data_servers/sbas_data_types.h"

class PVTDataType;
class SatelliteDataProcessor;

class DFMC_SbasCorrGenerator {
 public:
  // sigma_DFRE (m) by DFREI 0..14 when the source's MT37 table is not used.
  static constexpr float fDefaultTableSigmaDFRE[15] = {0.1612f, 0.172f,  0.1822f, 0.1918f, 0.201f,
                                                       0.2516f, 0.2987f, 0.3419f, 0.3924f, 0.4648f,
                                                       0.5244f, 0.7155f, 0.7746f, 2.3238f, 10.0f};
  static constexpr int kDfreiDoNotUse = 15;
  static constexpr int kDfreiAllowed = 14;  // what an allowed "do not use" satellite counts as
  static constexpr double kC = 299792458.0;

  struct SatWorkType {
    enum Status : std::uint8_t { kOk, kNoRecord, kLacksData, kDoNotUse };
    Status status;
    std::uint8_t uDfrei;
    double dSigma;   // m, sigma_DFRE
    double dDelta;   // dDFRE
    struct Band {
      std::uint8_t bValid;
      std::uint16_t uIssue;  // IODN, 65535 none
      double dPos[3];        // m
      double dClock;         // m
      double dCorrection;    // m: clock - e . position
      double dRate;          // m/s
      double dAge;           // s, since the block was received
      double dVariance;      // m^2
    } band[2];
  };

  DFMC_SbasCorrGenerator(PVTDataType* store, SatelliteDataProcessor* satData);
  explicit DFMC_SbasCorrGenerator(PVTDataType* store) : DFMC_SbasCorrGenerator(store, nullptr) {}

  void update(SBASData::CorrectionRequestType* req);
  // Source-state time-out: 60 s more than the largest DFMC data time-out.
  void process_DataTimeout();

  // MT37 block of a constellation (-1 none): GPS, GLONASS, Galileo, BeiDou, SBAS in broadcast order.
  static int degradBlockOf(std::uint8_t sys);
  // eps_CORR (m) of a satellite of system sys whose MT32 block is age s old; rcorr32 the MT32 RCORR.
  static double get_CorrDegrad(const SBASData::DFMC_DegradationDataType& d, std::uint8_t sys, double age,
                               double rcorr32);
  // dDFRE from the MT32 covariance at a line of sight; ccov the MT37 covariance term, 0 without.
  static double get_DeltaDFRE(const SBASData::CovMatrixBlock& cov, const double* lineOfSight, double ccov);
  // Validity intervals (s) of MT32 and of MT39/40 and a block's I_corr.
  static double validity32(const SBASData::DFMC_DegradationDataType& d) { return 30.0 + 6.0 * d.uIvalid32; }
  static double validity3940(const SBASData::DFMC_DegradationDataType& d) { return 30.0 + 6.0 * d.uIvalid3940; }
  static double correlationInterval(const SBASData::DFMC_DegradationDataType& d, int block) {
    return 30.0 + 30.0 * d.uIcorr[block];
  }

  // Mode of the next compute_SatCorrection calls: current source index, precision, its MT37
  // record (null none), whether DFREI 15 is let in.
  void set_SatMode(std::uint8_t sourceIndex, bool precision, const SBASData::DFMC_DegradationDataType* mt37,
                   bool allowDoNotUse);
  void compute_SatCorrection(const SBASData::DFMC_SatCorrectionType& rec, const CorrData::RequestSatDataType& sat,
                             int nowMs, SatWorkType& out) const;

 private:
  PVTDataType* store_;
  SatelliteDataProcessor* satData_ = nullptr;
  std::uint8_t uSourceIndex_ = SBASData::kNoSource;
  bool bPrecision_ = false;
  bool bAllowDoNotUse_ = false;
  bool bMt37_ = false;
  SBASData::DFMC_DegradationDataType mt37_{};
};

extern DFMC_SbasCorrGenerator DFMC_SbasCorrGeneratorInstance;
