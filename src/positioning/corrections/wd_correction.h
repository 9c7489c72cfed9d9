// The wide-area step of the correction processor: one wide-area service's generator answers per
// source, the sources are screened and rated, then chosen or blended per satellite and band,
// smoothed over time and written into each satellite's correction record.
#pragma once

#include <cstddef>
#include <cstdint>

#include "positioning/corrections/wd_corr_request.h"
#include "positioning/data_servers/pos_setup_types.h"
#include "positioning/data_servers/sat_data_types.h"

class SatelliteCorrectionProcessor;

namespace WdCorr {

// The wide-area service selector (one code set for the ionosphere and the range-correction steps).
enum Service : std::uint32_t {
  kServiceSbas = 0,
  kServiceQzss = 1,
  kServiceDfmc = 2,
  kServiceBeidou = 4,
  kServiceNavic = 6,
  kServiceStateSpace = 7,
};
// Satellite system of a selector's sources; 255 for a selector no service has.
std::uint8_t sourceSystemOf(std::uint32_t service);
// Whether the service's generator hands sources on to the combination at all: every defined
// service does (DFMC and state-space sources are of any system); undefined codes do not.
bool takesSources(std::uint32_t service);

// Whether a source of system `sys` may serve `service`: SBAS or QZSS sources for the SBAS and
// the dual-frequency services, QZSS, BeiDou or NavIC sources for theirs, any source for the
// state-space service (whose sources are stations).
bool systemFits(std::uint32_t service, std::uint8_t sys);

// Source screening: the slot's system fits the service, and the source passes the setup's masks
// for its system (PRN, for SBAS below index 28 also the provider and the source elevation).
// State-space sources are not screened.
bool screen_Source(const SatelliteCorrectionProcessor& p, const PosSetup::CorrProcessorSetupType& setup,
                   std::uint32_t service, const SBASData::SourceSlotType& slot);

struct Rating {
  int slot;
  float weight;
};
// Decreasing weight; on equal weights the lower slot first.
void order_Candidates(Rating* c, int n);

struct Options {
  std::uint32_t rule = 1;       // source selection: below 2 single, 2 first that has the satellite, else blend
  std::uint16_t rangeSmooth = 0;  // s
  std::uint16_t ionoSmooth = 0;   // s
  bool restart = false;           // the selector changed since the last epoch
  bool precisionMode = false;     // SBAS operating mode 1
  bool modelIonoAllowed = true;
  bool serviceHasIono = true;
  std::uint8_t uService = 255;    // the record's service byte
  bool bdsIssue = false;          // BeiDou sources carry no issue (65535)
};

// Smoothing factor of a time constant T (s): min(1, 0.5 / T).
double smoothing_Factor(std::uint16_t t);

// Satellite k's answers of the ordered candidates into its record (whose previous wide-area block
// holds last epoch's values and whose iono/tropo parts hold the models of this epoch). False,
// record untouched, when no candidate corrects the satellite in either band.
bool combine_Sat(const SBASData::CorrectionRequestType& req, const Rating* c, int n, int k, const Options& o,
                 SatData::CorrectionDataType& rec);

}  // namespace WdCorr
