#include "positioning/corrections/nequick_task.h"

#include <cmath>
#include <cstddef>

#include "positioning/corrections/glonass_iono_model.h"
#include "positioning/corrections/sat_corr_processor.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/geodesy/ell_math.h"

namespace {

struct RayDensityCtx {
  const GeometryOfRayType* g;
  const CorrData::NeModelDataType* r;
  const NeQuickContextType* nq;
  double ut;
};

double rayDensity(const void* p, double s) {
  const RayDensityCtx& c = *static_cast<const RayDensityCtx*>(p);
  double lat, lon, h;
  compute_NePointCoord(*c.g, s, lat, lon, h);
  if (c.r->iModelType == kNeModelNeQuick) return get_NeQuickIonoModelNe(*c.nq, lat, lon, h);
  if (c.r->iModelType == kNeModelGlonass) return get_GlonassIonoModelNe(*c.r, c.ut, lat, lon, h);
  return 0.0;
}

int cacheRow(int modelType) { return modelType == kNeModelNeQuick ? 0 : modelType == kNeModelGlonass ? 1 : -1; }

// The program's road files into the correction processor's caches, where its ionosphere stage
// reads them.
IonoCacheEntryType* processorCaches(int row) {
  SatCorrWorkArea& w = SatCorrProcessorInstance.work();
  return row == 0 ? w.neQuickCache : w.glonassCache;
}

// The request carries the NeQuick model in the layout the correction processor keeps it.
static_assert(sizeof(CorrData::NeQuickModelType) == sizeof(NeQuickIonoModelRecord));
static_assert(offsetof(CorrData::NeQuickModelType, fAi) == offsetof(NeQuickIonoModelRecord, fAi));
static_assert(offsetof(CorrData::NeQuickModelType, bValid) == offsetof(NeQuickIonoModelRecord, valid));

}  // namespace

double compute_NeModelSlantTEC(const CorrData::NeModelDataType& r, NeIntegratorType* stats) {
  int month = 0;
  double ut = 0.0;
  if (!get_NeQuickTime(r, month, ut)) return NAN;
  GeometryOfRayType g;
  if (!compute_GeometryOfRay(r.dRcvLat, r.dRcvLon, r.dRcvHeight * 1e-3, r.dSatLat, r.dSatLon, r.dSatHeight * 1e-3, g))
    return NAN;
  NeQuickContextType nq{};
  if (r.iModelType == kNeModelNeQuick) {
    nq.iMonth = month;
    nq.dUt = ut;
    nq.dAz = r.dAz;
    nq.dAzr = r.dAzr;
    compute_F2IntermediateData(month, ut, r.dAzr, nq.f2);
  }
  const RayDensityCtx ctx{&g, &r, &nq, ut};
  NeIntegratorType local{rayDensity, &ctx};
  NeIntegratorType& in = stats != nullptr ? *stats : local;
  in = NeIntegratorType{rayDensity, &ctx};
  NeIntegrationSegmentType seg[3];
  const int n = plan_NeIntegrationSegments(g, seg);
  double sum = 0.0;
  for (int i = 0; i < n; ++i) sum += compute_KronrodIntegration(in, seg[i].s1, seg[i].s2, seg[i].tolerance);
  in.ctx = nullptr;  // the context dies here
  return sum * 1000.0;
}

NeModelProcessorType NeModelProcessorInstance(&PVTDataInstance.neModel, &PVTDataInstance.neModelTec, processorCaches);
// Never destroyed: the task may still wait on it while static objects are torn down at exit.
BinSem& neqkSem = *new BinSem;

NeModelProcessorType::NeModelProcessorType(NeModelDataServerType* requests, NeModelTECServerType* answers,
                                           CacheFn caches)
    : requests_(requests), answers_(answers), caches_(caches) {
  init_Object();
}

void NeModelProcessorType::init_Object() {
  pending_ = PendingType{};
  for (auto& row : ownCache_)
    for (auto& e : row) e = IonoCacheEntryType{0.0f, 0.0f, kNeCacheEmptyTimeS, 0};
}

IonoCacheEntryType* NeModelProcessorType::entry(int modelType, const SvIdType& sv) {
  const int row = cacheRow(modelType);
  if (row < 0 || !sv.isValidSi()) return nullptr;
  IonoCacheEntryType* table = caches_ != nullptr ? caches_(row) : ownCache_[row];
  return &table[sv.get_SiSlot()];
}

const IonoCacheEntryType* NeModelProcessorType::get_CacheEntry(int modelType, const SvIdType& sv) const {
  return const_cast<NeModelProcessorType*>(this)->entry(modelType, sv);
}

bool NeModelProcessorType::get_CachedCorrection(int modelType, const SvIdType& sv, std::int32_t nowS,
                                                float& correction, float& variance) const {
  const IonoCacheEntryType* e = get_CacheEntry(modelType, sv);
  if (e == nullptr) return false;
  // A time from after now (the time tag wrapped) is as stale as an old one.
  const std::int64_t age = static_cast<std::int64_t>(nowS) - e->lTimeSec;
  if (age < 0 || age > kNeCacheMaxAgeS) return false;
  correction = e->fCorrection;
  variance = e->fVariance;
  return true;
}

void NeModelProcessorType::reset_CacheEntry(int modelType, const SvIdType& sv) {
  if (IonoCacheEntryType* e = entry(modelType, sv)) *e = IonoCacheEntryType{0.0f, 0.0f, kNeCacheEmptyTimeS, 0};
}

void NeModelProcessorType::clear_DoneMarks(int modelType) {
  const int row = cacheRow(modelType);
  if (row < 0) return;
  IonoCacheEntryType* table = caches_ != nullptr ? caches_(row) : ownCache_[row];
  for (int i = 0; i < SYS_SI_TOTAL; ++i) table[i].bDone = 0;
}

bool NeModelProcessorType::inRequest(const SvIdType& sv) const {
  if (epoch_.pRequestSv == nullptr) return true;
  for (int i = 0; i < epoch_.iRequestCount; ++i)
    if (epoch_.pRequestSv[i].sys == sv.sys && epoch_.pRequestSv[i].si == sv.si) return true;
  return false;
}

bool NeModelProcessorType::buildRequest(const double satXyz[3], int modelType, CorrData::NeModelDataType& r) const {
  r = CorrData::NeModelDataType{};
  r.dAz = epoch_.level.dAz;
  r.dAzr = epoch_.level.dAzr;
  r.dModip = epoch_.level.dModip;
  r.calendar = epoch_.calendar;
  r.uUtHour = static_cast<std::uint8_t>(epoch_.calendar.hour);
  r.uDayOfYear = epoch_.uDayOfYear;
  // Any setting but 0 and 1 leaves the GLONASS model without a solar flux.
  r.uGloSolarSource = epoch_.iGloSolarSource == 0 || epoch_.iGloSolarSource == 1
                          ? static_cast<std::uint8_t>(epoch_.iGloSolarSource)
                          : std::uint8_t{255};
  r.iModelType = modelType;
  r.neQuick = epoch_.neQuick;
  for (int i = 0; i < 3; ++i) r.fGlonass[i] = epoch_.fGlonass[i];
  r.dRcvLat = epoch_.dLat;
  r.dRcvLon = epoch_.dLon;
  r.dRcvHeight = epoch_.dHeight;
  if (!(std::isfinite(satXyz[0]) && std::isfinite(satXyz[1]) && std::isfinite(satXyz[2]))) return false;
  if (satXyz[0] == 0.0 && satXyz[1] == 0.0 && satXyz[2] == 0.0) return false;
  EllMath::XYZ_BLH(EllMath::wgs84(), satXyz[0], satXyz[1], satXyz[2], r.dSatLat, r.dSatLon, r.dSatHeight);
  int month = 0;
  double ut = 0.0;
  return get_NeQuickTime(r, month, ut) && std::isfinite(r.dRcvLat) && std::isfinite(r.dRcvLon) &&
         std::isfinite(r.dRcvHeight);
}

bool NeModelProcessorType::compute_NeBasedIonoModelCorrection(double fRefHz, double fSatHz, const double satXyz[3],
                                                              int modelType, float& correction, float& variance) {
  if (!pending_.bPending) {
    if (cacheRow(modelType) < 0 || !asking_.isValidSi() || !(fRefHz > 0.0) || !(fSatHz > 0.0)) return false;
    CorrData::NeModelDataType r;
    if (!buildRequest(satXyz, modelType, r)) return false;
    // Nothing may wait in the answer server when nothing is pending: a left-over would be taken
    // for this request's answer.
    double stale;
    answers_->Get(&stale);
    pending_ = PendingType{1, asking_, modelType, epoch_.lTimeS, fRefHz, fSatHz};
    requests_->Put(&r);
  }
  double tec = 0.0;
  if (!answers_->Get(&tec)) return false;
  const PendingType p = pending_;
  pending_ = PendingType{};
  if (!std::isfinite(tec) || tec < 0.0 || !inRequest(p.sv)) return false;
  const double k = (p.dRefHz / p.dSatHz) * (p.dRefHz / p.dSatHz);
  const double iono = 40.364 * tec / (p.dRefHz * p.dRefHz);
  const float corr = static_cast<float>(-iono * k);
  const float var = static_cast<float>(0.04 * iono * iono * k * k);
  IonoCacheEntryType* e = entry(p.iModel, p.sv);
  if (e == nullptr) return false;
  *e = IonoCacheEntryType{corr, var, p.lTimeS, 1};
  if (!(p.sv.sys == asking_.sys && p.sv.si == asking_.si && p.iModel == modelType)) return false;
  correction = corr;
  variance = var;
  return true;
}

void NeModelProcessorType::compute_NeModelTEC() {
  if (!requests_->Get(&request_)) return;
  double tec = compute_NeModelSlantTEC(request_, &stats_);
  answers_->Put(&tec);
}

namespace {
void* neqkProc(void*) {
  for (;;) {
    neqkSem.wait();
    NeModelProcessorInstance.compute_NeModelTEC();
  }
  return nullptr;
}
}  // namespace

bool neqkProcInit(int priority) {
  static Task* task = nullptr;
  if (task == nullptr) {
    static Task neqk(priority, neqkProc, nullptr, "NEQK", 14336, nullptr, 3);
    task = &neqk;
    neqk.resume();
  }
  return true;
}

void post_NequickSlowTask() { neqkSem.post(); }
