#include "positioning/data_servers/pvt_servers.h"

#include "settings/rcv_settings.h"

#include "positioning/corrections/nequick_task.h"
#include "positioning/data_servers/slow_pvt_data.h"

// ---- Flagged records with side duties -------------------------------------------------------

FilterGainDataServerType::FilterGainDataServerType() {
  for (auto& s : data_.uSlot) s = kSvUnknown;
}

int NeModelDataServerType::Put(const CorrData::NeModelDataType* r) {
  if (r == nullptr) return 0;
  {
    Locker<Mutex> l(mutex);
    data_ = *r;
    bHasData_ = 1;
    ++ulPutCount_;
  }
  // Woken after the lock is released, so that the task finds the request free to take.
  post_NequickSlowTask();
  return 1;
}

int NeModelDataServerType::Get(CorrData::NeModelDataType* r) {
  if (r == nullptr) return 0;
  Locker<Mutex> l(mutex);
  ++ulGetCount_;
  const int had = bHasData_;
  if (had) {
    *r = data_;
    bHasData_ = 0;
  }
  return had;
}

int NeModelTECServerType::Put(const double* tec) {
  if (tec == nullptr) return 0;
  Locker<Mutex> l(mutex);
  ++ulPutCount_;
  data_ = *tec;
  bHasData_ = 1;
  return 1;
}

int NeModelTECServerType::Get(double* tec) {
  if (tec == nullptr) return 0;
  Locker<Mutex> l(mutex);
  ++ulGetCount_;
  const int had = bHasData_;
  if (had) {
    *tec = data_;
    bHasData_ = 0;
  }
  return had;
}

int RcvTimeDataServerType::Put(const PosData::RcvTimeDataType* r) {
  if (r == nullptr) return 0;
  Locker<Mutex> l(mutex);
  data_ = *r;
  bHasData_ = 1;
  DataBufferServerType::ulMsTime.store(r->ulTimeTag, std::memory_order_relaxed);
  return 1;
}

int PositionDataServerType::Put(const PosData::PositionDataType* r) {
  if (r == nullptr) return 0;
  PosData::PositionDataType rec = *r;
  // Position source 6: the receiver keeps a fixed position that replaces every one put.
  if (RcvSet.posSource == 6) {
    const double* fixed = RcvSet.posSourceData;
    rec.dX = fixed[0];
    rec.dY = fixed[1];
    rec.dZ = fixed[2];
    rec.dLat = fixed[3];
    rec.dLon = fixed[4];
    rec.dHeight = fixed[5];
  }
  Locker<Mutex> l(mutex);
  data_ = rec;
  bHasData_ = 1;
  return 1;
}

// ---- Request bits ----------------------------------------------------------------------------

int SatelliteResetRequestDataServerType::Put(const SvIdType* sv, std::uint8_t bits,
                                             std::uint8_t argument) {
  int slot = 0;
  if (sv == nullptr || !sv->find_SiSlot(slot)) return 0;
  Locker<Mutex> l(mutex);
  uRequest_[slot] |= bits;
  uArgument_[slot] = argument;
  bPending_ = 1;
  return 1;
}

int EphemerisResetRequestDataServerType::Put(const SvIdType* sv, std::uint8_t bits) {
  int slot = 0;
  if (sv == nullptr || !sv->find_SiSlot(slot)) return 0;
  Locker<Mutex> l(mutex);
  uRequest_[slot] |= bits;
  bPending_ = 1;
  return 1;
}

int EphemerisResetRequestDataServerType::Get(const SvIdType* sv) {
  int slot = 0;
  if (sv == nullptr || !sv->find_SiSlot(slot)) return 0;
  Locker<Mutex> l(mutex);
  if (!bPending_) return 0;
  const int req = uRequest_[slot];
  uRequest_[slot] = 0;
  return req;
}

// ---- Pools -----------------------------------------------------------------------------------

#define RX_POOL_CTOR(Name) \
  Name::Name() : PoolDataServer(kRecords, kSlots, nullptr) {}

RX_POOL_CTOR(SatCorrectionDataServerType)
RX_POOL_CTOR(SatGbasAccuracyDataServerType)
RX_POOL_CTOR(DFMC_SbasSatCorrectionServerType)
RX_POOL_CTOR(CompSatCorrectionServerType)
RX_POOL_CTOR(CompIonoCorrectionServerType)
RX_POOL_CTOR(GbasDiffCorrectionServerType)
RX_POOL_CTOR(GbasEphIntegrityDataServerType)
RX_POOL_CTOR(RtcmSatCorrectionServerType)
RX_POOL_CTOR(SlasSatCorrectionServerType)
#undef RX_POOL_CTOR

namespace {

template <class Self, class Record, int Sources, int PerSource>
Record* slowSlice(Record (&table)[Sources][PerSource]) {
  const int i = SourceIndexCounter<Self>::next();
  return i < Sources ? table[i] : nullptr;
}

}  // namespace

SbasSatCorrectionServerType::SbasSatCorrectionServerType()
    : PoolDataServer(kRecords, kSlots,
                     slowSlice<SbasSatCorrectionServerType>(SlowPVTDataInstance.sbasSatCorrection)) {}

// The state-space pool is large and touched only when such corrections arrive.
RtcmTSSatCorrectionServerType::RtcmTSSatCorrectionServerType()
    : PoolDataServer(kRecords, kSlots,
                     static_cast<RTCMData::TSSatCorrectionType*>(
                         SlowDataMalloc(sizeof(RTCMData::TSSatCorrectionType) * kRecords))) {}

SbasIonoCorrectionServerType::SbasIonoCorrectionServerType() {
  SBASData::IonoBandDataType* storage =
      slowSlice<SbasIonoCorrectionServerType>(SlowPVTDataInstance.sbasIonoBand);
  if (storage == nullptr) {
    storage = static_cast<SBASData::IonoBandDataType*>(
        FastDataMalloc(sizeof(SBASData::IonoBandDataType) * kRecords));
    bOwnStorage_ = true;
  }
  pRecords_ = storage;
  pool_.allocate(kRecords, kSlots, sizeof(SBASData::IonoBandDataType), mutex, storage);
  Init();
}

SbasIonoCorrectionServerType::~SbasIonoCorrectionServerType() {
  if (bOwnStorage_) FastDataFree(pRecords_, sizeof(SBASData::IonoBandDataType) * kRecords);
}

void SbasIonoCorrectionServerType::Init() {
  Locker<Mutex> l(mutex);
  for (int i = 0; i < kRecords; ++i) pRecords_[i].init();
  pool_.init_Locked();
}

int SbasIonoCorrectionServerType::Put(int point, int band,
                                      const SBASData::IonoCorrectionType* correction, int issue,
                                      int block) {
  if (point < 0 || point >= SBASData::kIonoBandPoints || band < 0 || band >= kSlots) return 0;
  Locker<Mutex> l(mutex);
  if (correction == nullptr) {
    pool_.detach_Locked(band);
    return 1;
  }
  bool newOwner = false;
  auto* rec = reinterpret_cast<SBASData::IonoBandDataType*>(pool_.acquire_Locked(band, newOwner));
  if (rec == nullptr) return 0;
  // A record lent from another band still holds that band's grid.
  if (newOwner) rec->init();
  rec->pack(point, correction->ulBits);
  rec->ulGridTime[point] = correction->ulGridTime;
  rec->ulCorrTime[point] = correction->ulCorrTime;
  if (block != -1) rec->iBlockWord[point / SBASData::kIonoPointsPerBlock] = static_cast<std::int16_t>(block);
  if (issue != -1) rec->iIssue = static_cast<std::int16_t>(issue);
  return 1;
}

int SbasIonoCorrectionServerType::clear_ExpiredData(int nowMs) {
  Locker<Mutex> l(mutex);
  int cleared = 0;
  for (int r = 0; r < kRecords; ++r) {
    SBASData::IonoBandDataType& rec = pRecords_[r];
    for (int p = 0; p < SBASData::kIonoBandPoints; ++p) {
      SBASData::IonoCorrectionType c{rec.unpack(p), rec.ulGridTime[p], rec.ulCorrTime[p]};
      if (!c.clear_ExpiredData(nowMs)) continue;
      rec.pack(p, c.ulBits);
      ++cleared;
    }
  }
  return cleared;
}

int SbasIonoCorrectionServerType::Take(int point, int band, SBASData::IonoCorrectionType* correction,
                                       int* blockWord, int* issue) {
  if (point < 0 || point >= SBASData::kIonoBandPoints || band < 0 || band >= kSlots) return 0;
  if (correction == nullptr) return 0;
  Locker<Mutex> l(mutex);
  const auto* rec = reinterpret_cast<const SBASData::IonoBandDataType*>(pool_.find_Locked(band));
  if (rec == nullptr) return 0;
  correction->ulBits = rec->unpack(point);
  correction->ulGridTime = rec->ulGridTime[point];
  correction->ulCorrTime = rec->ulCorrTime[point];
  if (blockWord != nullptr) *blockWord = rec->iBlockWord[point / SBASData::kIonoPointsPerBlock];
  if (issue != nullptr) *issue = rec->iIssue;
  return 1;
}

// ---- Plain records and keyed arrays ------------------------------------------------------------

SbasRegionServiceDataServerType::SbasRegionServiceDataServerType()
    : KeyedDataServer(slowSlice<SbasRegionServiceDataServerType>(SlowPVTDataInstance.sbasRegionService)) {}

RtcmStationDataServerType::RtcmStationDataServerType()
    : uSourceIndex_(static_cast<std::uint8_t>(SourceIndexCounter<RtcmStationDataServerType>::next())) {}

int RtcmStationDataServerType::Put(const RTCMData::StationDataType* r) {
  if (r == nullptr) return 0;
  // Instances beyond the five sources have no block of their own, so their update does nothing.
  RamNvmLock image;
  Locker<Mutex> l(mutex);
  if (r != &data_) data_ = *r;
  nv_.update(&data_, sizeof data_);
  return 1;
}

bool RtcmStationDataServerType::allocate_NvRam(std::uint16_t id) {
  return nv_.allocate(sizeof(RTCMData::StationDataType), id, true, false);
}

void RtcmStationDataServerType::read_NvRam() {
  RTCMData::StationDataType r;
  if (nv_.isValid() && nv_.read(&r, sizeof r)) {
    Locker<Mutex> l(mutex);
    data_ = r;
    return;
  }
  nv_.sayDefaultsRestored("RTCM station");
  Init();
}

void RtcmStationDataServerType::Init() {
  const RTCMData::StationDataType r{};
  Put(&r);
}

