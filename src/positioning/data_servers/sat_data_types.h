// Per-satellite records of the satellite data store and the correction processor. The pool
// records begin with the pool header; their owners add the remaining fields.
#pragma once

#include <cstddef>
#include <cstdint>

#include "navigation_data/sv_id.h"
#include "positioning/data_servers/data_buffer_server.h"

namespace SatData {

struct VisibilityDataType {
  DataBufferHeaderType header;
  void init() {}
};

// Parts of a satellite's correction record. Corrections are the negated path delay (m), variances
// m^2; a part counts only while its valid byte is set.
struct IonoCorrectionType {
  float fCorrection;
  float fVariance;
  float fObliquity;  // slant over vertical at the pierce point
  std::uint8_t bValid;
};

struct TropoCorrectionType {
  float fCorrection;
  float fVariance;
  float fRate;  // height derivative of the slant delay times the velocity factor
  std::uint8_t bValid;
};

// Wide-area (SBAS, BeiDou, state-space) range correction of one frequency band.
struct WdBandCorrectionType {
  std::uint8_t bValid;
  std::uint16_t uIod;  // 65535: none
  float fCorrection;
  float fRate;  // m/s
  float fVariance;
};

struct WdIonoCorrectionType {
  std::uint8_t bValid;
  std::uint8_t bFromModel;  // copied from the broadcast model rather than the wide-area grid
  float fDelay;
  float fVariance;
};

struct WdCorrectionType {
  static constexpr std::uint16_t kNoSource = 65535;
  WdBandCorrectionType band[2];
  std::uint16_t uSourcePrn;  // last contributing source, kNoSource: none
  std::uint8_t uService;     // 1: SBAS L1 service, 255: another
  WdIonoCorrectionType iono;
  TropoCorrectionType tropo;  // the troposphere the range correction was formed with
};

struct GbasCorrectionType {
  std::uint16_t uSelector;  // reference station data selector, 65535: none
  std::uint8_t bValid;
  std::uint16_t uIod;
  float fCorrection;
  float fVariance;
  float fAge;  // s
  SvIdType svId;
};

// Code-differential corrections: six signal slots of two entries each (code 0 and code 1).
struct CdSlotCorrectionType {
  float fCorrection[2];
  float fVariance[2];
  float fAge[2];       // s
  std::uint16_t uIod[2];  // 65535: none
  std::uint8_t uFlags[2];
};

struct CdCorrectionType {
  static constexpr int kSlots = 6;
  static constexpr std::uint16_t kNoIod = 65535;
  CdSlotCorrectionType slot[kSlots];
};

// One satellite's corrections, as the correction processor publishes them every epoch.
struct CorrectionDataType {
  DataBufferHeaderType header;
  IonoCorrectionType iono;
  TropoCorrectionType tropo;
  WdCorrectionType wd;
  GbasCorrectionType gbas;
  CdCorrectionType cd;

  void init() {
    InitIonoCorr();
    InitTropoCorr();
    InitWdCorr();
    InitGbasCorr();
    InitCdCorr();
  }
  void InitIonoCorr() { iono = IonoCorrectionType{}; }
  void InitTropoCorr() { tropo = TropoCorrectionType{}; }
  void InitWdCorr() {
    wd = WdCorrectionType{};
    for (WdBandCorrectionType& b : wd.band) b.uIod = 65535;
    wd.uSourcePrn = WdCorrectionType::kNoSource;
    wd.uService = 255;
  }
  void InitGbasCorr() {
    gbas = GbasCorrectionType{};
    gbas.uSelector = 65535;
    gbas.svId = SvIdType{};
  }
  void InitCdCorr() {
    cd = CdCorrectionType{};
    for (CdSlotCorrectionType& s : cd.slot) s.uIod[0] = s.uIod[1] = CdCorrectionType::kNoIod;
  }

  bool has_WdCorr() const { return wd.band[0].bValid != 0 || wd.band[1].bValid != 0 || wd.iono.bValid != 0; }
  bool has_CdCorr() const {
    for (const CdSlotCorrectionType& s : cd.slot)
      if (s.uIod[0] != CdCorrectionType::kNoIod || s.uIod[1] != CdCorrectionType::kNoIod) return true;
    return false;
  }
  // Any part a reader may still take as valid.
  bool has_ValidPart() const {
    return iono.bValid != 0 || tropo.bValid != 0 || has_WdCorr() || gbas.bValid != 0 || has_CdCorr();
  }
};

// Accuracy data of a satellite's GBAS correction: ground sigma, ephemeris decorrelation and the
// B values of the reference receivers.
struct GbasAccuracyDataType {
  DataBufferHeaderType header;
  std::uint16_t uSelector;   // reference station data selector, 65535: none
  std::uint8_t uBFlags;      // bit k: B(k+1) present
  std::uint8_t uEphDecorr;   // x 5e-6 m/m
  float fSigmaPrGnd;         // m
  float fB[4];               // m
  void init() {
    uSelector = 65535;
    uBFlags = 0;
    uEphDecorr = 0;
    fSigmaPrGnd = 0.0f;
    for (float& b : fB) b = 0.0f;
  }
};
static_assert(sizeof(GbasAccuracyDataType) == 32 && offsetof(GbasAccuracyDataType, fB) == 16);

// Satellites of one epoch: one bit per satellite in each system's mask.
struct SatelliteListType {
  std::uint64_t ullMask[7];
  std::uint32_t ulTimeTag;
  std::uint8_t bFlag;
};

}  // namespace SatData
