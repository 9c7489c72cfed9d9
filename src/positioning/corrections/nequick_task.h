// Slant ionospheric delays from the NeQuick G or the GLONASS electron-density model, integrated
// in the low-priority task NEQK. The ionosphere stage asks for one satellite at a time; the
// request goes to the task through NeModelDataServerType and the TEC comes back through
// NeModelTECServerType, usually in a later epoch. Answers are filed per satellite and model in
// two caches (the correction processor's, for the program's instance), under the satellite,
// model and time of the request they answer.
#pragma once

#include <cstdint>

#include "navigation_data/sv_id.h"
#include "platform/rtos.h"
#include "positioning/corrections/nequick_geometry.h"
#include "positioning/corrections/nequick_integration.h"
#include "positioning/corrections/nequick_profile.h"
#include "positioning/corrections/sat_corr_work_area.h"
#include "positioning/data_servers/corr_data_types.h"

class NeModelDataServerType;
class NeModelTECServerType;

// PosSetup::IonoModelType values this road integrates.
inline constexpr int kNeModelNeQuick = 1;
inline constexpr int kNeModelGlonass = 2;
inline constexpr double kNeQuickRefFreqHz = 1575.42e6;
inline constexpr double kGlonassModelRefFreqHz = 1602.0e6;
// A cached correction serves this long after the time of its request.
inline constexpr std::int32_t kNeCacheMaxAgeS = 599;
inline constexpr std::int32_t kNeCacheEmptyTimeS = -86400;

// What the ionosphere stage gives once per epoch, before it asks for satellites.
struct NeModelEpochDataType {
  GREGORIAN_EPOCH calendar;            // UTC of the epoch
  std::uint16_t uDayOfYear = 0;        // approximate day of year
  std::int32_t lTimeS = 0;             // receiver time tag, whole seconds
  double dLat = 0, dLon = 0, dHeight = 0;  // receiver, rad, rad, m
  CorrData::NeQuickModelType neQuick{};    // working NeQuick model
  float fGlonass[3] = {0, 0, 0};           // GLONASS model: density factor, geomagnetic index, flux
  std::int32_t iGloSolarSource = 0;        // correction setup word at offset 280 (0 record, 1 NeQuick)
  NeQuickIonisationLevelType level{};      // compute_NeQuickIonisationLevel at the receiver
  const SvIdType* pRequestSv = nullptr;    // satellites of this epoch's correction request
  int iRequestCount = 0;                   // (no list given: every satellite counts as in it)
};

// Slant TEC (electrons per m^2) of one request; NaN when the request cannot be integrated (no
// usable calendar, a ray through the Earth). `stats`, when given, counts the densities taken.
double compute_NeModelSlantTEC(const CorrData::NeModelDataType& r, NeIntegratorType* stats = nullptr);

class NeModelProcessorType {
 public:
  // Caches where answers are filed: row 0 NeQuick, row 1 GLONASS model, SYS_SI_TOTAL entries each.
  using CacheFn = IonoCacheEntryType* (*)(int row);

  // Without `caches` the object files into caches of its own.
  NeModelProcessorType(NeModelDataServerType* requests, NeModelTECServerType* answers, CacheFn caches = nullptr);

  // No request pending; the object's own caches emptied (time -86400, nothing done).
  void init_Object();

  // ---- navigation thread ----
  void set_EpochData(const NeModelEpochDataType& e) { epoch_ = e; }
  // The satellite the next compute_NeBasedIonoModelCorrection call is for.
  void set_RequestSatellite(const SvIdType& sv) { asking_ = sv; }

  // Posts a request for the asking satellite when none is pending, then collects an answer if
  // one came. An answer is filed under the satellite, model and time of its request (dropped
  // when that satellite left the correction request); true, with the correction and variance,
  // only when it answers the asking satellite and model. I = 40.364 TEC / fRef^2, correction =
  // -I (fRef/f)^2, variance = (0.2 I (fRef/f)^2)^2.
  bool compute_NeBasedIonoModelCorrection(double fRefHz, double fSatHz, const double satXyz[3], int modelType,
                                          float& correction, float& variance);

  bool is_Pending() const { return pending_.bPending != 0; }
  // The cached correction of a satellite for a model when it is at most 599 s old.
  bool get_CachedCorrection(int modelType, const SvIdType& sv, std::int32_t nowS, float& correction,
                            float& variance) const;
  const IonoCacheEntryType* get_CacheEntry(int modelType, const SvIdType& sv) const;
  // Empties one entry (a model not in use): 0, 0 at time -86400.
  void reset_CacheEntry(int modelType, const SvIdType& sv);
  // A new cycle through the satellites: every done mark of the model cleared.
  void clear_DoneMarks(int modelType);

  // ---- task NEQK ----
  // Takes the waiting request, integrates it and puts the TEC (NaN when it cannot be had).
  void compute_NeModelTEC();
  const NeIntegratorType& lastIntegration() const { return stats_; }

 private:
  struct PendingType {
    std::uint8_t bPending;
    SvIdType sv;
    int iModel;
    std::int32_t lTimeS;
    double dRefHz, dSatHz;
  };
  IonoCacheEntryType* entry(int modelType, const SvIdType& sv);
  bool inRequest(const SvIdType& sv) const;
  bool buildRequest(const double satXyz[3], int modelType, CorrData::NeModelDataType& r) const;

  NeModelDataServerType* requests_;
  NeModelTECServerType* answers_;
  CacheFn caches_;
  // navigation thread
  NeModelEpochDataType epoch_{};
  SvIdType asking_{};
  PendingType pending_{};
  IonoCacheEntryType ownCache_[2][SYS_SI_TOTAL]{};
  // task NEQK
  CorrData::NeModelDataType request_{};
  NeIntegratorType stats_{};
};

extern NeModelProcessorType NeModelProcessorInstance;
extern BinSem& neqkSem;

// Creates task NEQK once (stack 14336) at `priority` and resumes it; true.
bool neqkProcInit(int priority);
// Wakes task NEQK: a request was stored.
void post_NequickSlowTask();
