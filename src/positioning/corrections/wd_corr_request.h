// The wide-area correction request: what a wide-area generator (SBAS, DFMC, the RTCM state-space
// service, BeiDou D2) is asked for and where it answers, one source slot per source it hears,
// per requested satellite two frequency-band entries and one ionosphere entry.
#pragma once

#include <cstdint>

#include "navigation_data/sv_id.h"
#include "positioning/corrections/corr_request.h"

namespace SBASData {

constexpr int kMaxCorrSources = 12;

struct BandCorrectionType {
  std::uint8_t bValid;       // a correction is present
  std::uint8_t bUdreValid;   // the accuracy part (UDRE) is present
  std::uint16_t uIssue;      // issue of data, 65535 none
  float fCorrection;         // m
  float fRate;               // m/s
  float fVariance;           // m^2
  float fAge;                // s
};

struct IonoCorrectionEntryType {
  std::uint8_t bValid;
  float fDelay;     // m, negated slant delay at the request's reference frequency
  float fVariance;  // m^2
  float fAge;       // s
};

struct SourceSlotType {
  SvIdType source;
  std::uint16_t uPrn;      // broadcast PRN of the source
  std::uint8_t uProvider;  // 255 none
  float fAge;              // s since the source was last heard
  BandCorrectionType corr[CorrData::kMaxRequestSats][2];
  IonoCorrectionEntryType iono[CorrData::kMaxRequestSats];
  // Per satellite, the entry of corr[][] to use where the two are issues of data rather than
  // bands (the state-space service): 1 when entry 1 matches the issue in use, else 0.
  std::uint8_t uUseEntry[CorrData::kMaxRequestSats];
};

struct CorrectionRequestType {
  const CorrData::CorrectionRequestType* pRequest = nullptr;
  std::uint8_t bRangeWanted = 0;
  std::uint8_t bIonoWanted = 0;
  std::uint8_t bPrecision = 0;
  std::uint8_t bStrictHealth = 0;
  std::uint8_t bAlmanacRequired = 0;
  std::uint8_t uSourceSystem = 0;
  std::uint16_t uSourceCount = 0;  // filled source slots
  double dRefFrequency = 0.0;      // Hz, the frequency the ionosphere answers are scaled to
  SourceSlotType source[kMaxCorrSources];
};

}  // namespace SBASData
