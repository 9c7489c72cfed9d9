#include "positioning/sbas/sbas_data_decoder.h"

#include <cmath>
#include <cstring>

#include "navigation_data/bit_extract.h"
#include "platform/nv_block.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/data_servers/tag_age.h"
#include "positioning/placeholders.h"
#include "positioning/sbas/sbas_decoder_fields.h"
#include "positioning/slas/slas_data_decoder.h"

SbasDataDecoder SbasDataDecoderInstance[SbasDataDecoder::kPoolSize];
Mutex SbasDataDecoder::poolMutex;

namespace {

using sbas_fields::field;
using sbas_fields::kWeekMs;
using sbas_fields::kWeekS;
using sbas_fields::usable;
constexpr std::uint16_t kFreshAll = 0x1FFF;  // the 13 corrections of a fast block
constexpr std::uint16_t kFreshMt24 = 0x003F; // the first six

NvBlock gMaskBlock[SbasDataDecoder::kStoredMasks];
int gInstances = 0;

using U = SbasDecUtility;
int sfield(const std::uint8_t* m, int pos, int n) { return U::extract_DataField(m, pos, n, true); }

// Satellite a mask bit (0-based, PRN bit + 1) names; system and satellite 255 when none.
SvIdType slotIdentity(int b) {
  auto make = [](int sys, int n) {
    return SvIdType{static_cast<std::uint8_t>(sys == kSysGlonass ? kSvUnknown : n), static_cast<std::uint8_t>(sys), 0,
                    static_cast<std::uint8_t>(n)};
  };
  if (b < 32) return make(kSysGps, b);
  if (b >= 37 && b <= 60) return make(kSysGlonass, b - 37);
  if (b >= 119 && b <= 141) return make(kSysSbas, b - 119);
  if (b >= 192 && b <= 196) return make(kSysQzss, b - 192);
  return SvIdType{kSvUnknown, kSvUnknown, 0, kSvUnknown};
}

constexpr std::uint8_t kNoIodf = SBASData::SatCorrectionType::kNoIodf;

void clearRate(SBASData::SatCorrectionType& r) {
  r.uHeader = static_cast<std::uint16_t>(r.uHeader & ~SBASData::SatCorrectionType::kRateCorr);
  r.fRrc = 0;
  r.fPrcInterval = 0;
  r.uRateIodf[0] = r.uRateIodf[1] = kNoIodf;
}

// The rate with the IODFs of the newer and the older correction it was formed from.
void setRate(SBASData::SatCorrectionType& r, const SvIdType& source, float rrc, float interval, int tag,
             std::uint8_t iodfNew = kNoIodf, std::uint8_t iodfOld = kNoIodf) {
  r.set_ReadyRateCorr(source);
  r.fRrc = rrc;
  r.fPrcInterval = interval;
  r.uRateIodf[0] = iodfNew;
  r.uRateIodf[1] = iodfOld;
  SBASData::set_TimeTag(r.ulRateTime, tag);
}

// Age (s) from reception less the reception delay, never below 0.
double effectiveAge(double age) { return age < SBASData::kReceptionDelay ? 0.0 : age - SBASData::kReceptionDelay; }

}  // namespace

SbasDataDecoder::SbasDataDecoder() : iInstance_(gInstances++) { reset_Data(false); }

double SbasDataDecoder::ageS(std::int32_t time) const {
  return TagAge::foldedSeconds(static_cast<std::int64_t>(lTag_) - time, kWeekS);
}

void SbasDataDecoder::init_Object(PVTDataType* store, SatelliteDataProcessor* satData) {
  store_ = store;
  satData_ = satData;
  source_ = EmptySvId;
  bNotSafetyForLifeMode = 1;
  iApproachMode = 0;
  lLastUpdate_ = -1;
  lLastTestMsg_ = -1;
  bTestMode_ = false;
  reset_Data(false);
}

void SbasDataDecoder::reset_Data(bool keepMasks) {
  if (!keepMasks) {
    for (int i = 0; i < 2; ++i) {
      mask_[i] = PrnMaskType{};
      mask_[i].lTime = -1;
      for (SvIdType& s : mask_[i].slot) s = EmptySvId;
      iodp_[i] = IodpEntryType{kNone, static_cast<std::uint8_t>(i), -1};
    }
  }
  for (int k = 0; k < kFastBlocks; ++k) {
    fast_[k] = FastCorrDataType{};
    fast_[k].lTime = -1;
    udre_[k] = UDREDataType{};
    udre_[k].lTime = -1;
  }
  degr_ = FastCorrDegradDataType{};
  degr_.lTime = -1;
  for (PRCStackForRRC& s : stack_) s.uCount = 0;
  iodi_ = IodiEntryType{kNone, 0, -1};
  for (int b = 0; b < kIgpBands; ++b) {
    igp_[b] = IgpMaskType{};
    igp_[b].uBand = static_cast<std::uint8_t>(b);
    igp_[b].uIodi = kNone;
    igp_[b].lTime = -1;
  }
  for (LongTermCorrDataType& l : lt_) l = LongTermCorrDataType{0, 0, kNone, 0, -1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  for (EphClockCovMatrixDataType& c : cov_) {
    c = EphClockCovMatrixDataType{};
    c.uIodp = kNone;
    c.lTime = -1;
  }
  for (IonoDelayDataType& d : delay_) {
    d = IonoDelayDataType{};
    d.uIodi = kNone;
    d.lTime = -1;
  }
  geo_ = EphemerisDataType{};
  geo_.lTime = -1;
  net_ = NetworkTimeDataType{};
  net_.lTime = -1;
  mt10_ = DegradParamDataType{};
  mt10_.lTime = -1;
  for (AlmanacDataType& a : alm_) {
    a = AlmanacDataType{};
    a.lTime = -1;
  }
  for (ServiceMessageDataType& m : svc_) {
    m = ServiceMessageDataType{};
    m.lTime = -1;
  }
  uIods_ = kNone;
  uStateFlags_ = 0;
}

void SbasDataDecoder::reset_StoredSbasData() {
  if (store_ == nullptr || iInstance_ >= kPoolSize) return;
  SBASData::DegradationDataType d;
  d.init();
  store_->sbasDegradation[iInstance_].Put(&d);
  store_->sbasSatCorrection[iInstance_].Init();
  store_->sbasIonoCorrection[iInstance_].Init();
  SBASData::RegionServiceDataType r;
  r.init();
  for (int i = 0; i < SBASData::kRegionServiceEntries; ++i) store_->sbasRegionService[iInstance_].Put(i, &r);
}

int SbasDataDecoder::get_IODx(int i) {
  IodpEntryType& e = iodp_[i & 1];
  if (e.uIodp == kNone) return kNone;
  if (e.lTime < 0 || ageS(e.lTime) > SBASData::SatCorrectionType::get_PrnMaskTimeout()) {
    e.uIodp = kNone;
    return kNone;
  }
  return e.uIodp;
}

bool SbasDataDecoder::live(int entry, const PrnMaskType*& m) {
  if (get_IODx(entry) == kNone) return false;
  m = &mask_[iodp_[entry].uMask & 1];
  return m->lTime >= 0;
}

// ---- settings ------------------------------------------------------------------------------------

void SbasDataDecoder::allocate_NvRamData() {
  for (int i = 0; i < kStoredMasks; ++i)
    gMaskBlock[i].allocate(kMaskBlockSize, static_cast<std::uint16_t>(kFirstMaskBlockId + i), false, false);
}

void SbasDataDecoder::update_SetupData() {
  PosSetup::CorrProcessorSetupType s;
  if (PVTDataInstance.corrProcessorSetup.Take(&s) == 0) return;
  std::uint32_t mode = 0;
  std::memcpy(&mode, s.aBytes + SBASData::kSetupSbasModeOffset, sizeof mode);
  bNotSafetyForLifeMode = mode == 1 ? 0 : s.aBytes[kSetupNotSafetyOfLifeOffset];
}

// The week goes with each stored mask: a mask whose time of week comes round again weeks later
// must not pass for a fresh one after a restart.
void SbasDataDecoder::store_Masks() {
  if (source_.sys != kSysSbas || source_.si >= kStoredMasks) return;
  std::int64_t week = time_.gps.uWeek;
  if (static_cast<std::int64_t>(time_.gps.ulMs) < kReceptionDelayMs) --week;
  OneStoredPrnMaskType rec[2];
  for (int i = 0; i < 2; ++i) {
    rec[i] = OneStoredPrnMaskType{};
    rec[i].uIodp = mask_[i].lTime >= 0 ? mask_[i].uIodp : kNone;
    rec[i].uWeek = static_cast<std::uint16_t>(week > 0 ? week : 0);
    rec[i].ulTime = static_cast<std::uint32_t>(mask_[i].lTime >= 0 ? mask_[i].lTime : 0);
    std::memcpy(rec[i].ulWord, mask_[i].ulWord, sizeof rec[i].ulWord);
  }
  gMaskBlock[source_.si].update(rec, sizeof rec);
}

void SbasDataDecoder::restore_NvRamPrnMask(int nowMs, int week) {
  if (source_.sys != kSysSbas || source_.si >= kStoredMasks || week <= 0) return;
  OneStoredPrnMaskType rec[2];
  if (!gMaskBlock[source_.si].read(rec, sizeof rec)) return;
  const std::int64_t now = static_cast<std::int64_t>(week) * kWeekMs + nowMs;
  for (int i = 0; i < 2; ++i) {
    if (rec[i].uIodp > 3 || rec[i].uWeek == 0 || rec[i].ulTime >= kWeekMs) continue;
    const std::int64_t then = static_cast<std::int64_t>(rec[i].uWeek) * kWeekMs + rec[i].ulTime;
    const double age = static_cast<double>(now - then) * 0.001;
    if (age < -SBASData::kReceptionDelay || age > SBASData::SatCorrectionType::get_PrnMaskTimeout()) continue;
    mask_[i].uIodp = rec[i].uIodp;
    mask_[i].lTime = static_cast<std::int32_t>(rec[i].ulTime);
    std::memcpy(mask_[i].ulWord, rec[i].ulWord, sizeof rec[i].ulWord);
    process_PrnMask(i);
    mask_[i].bNew = 0;
  }
  // The newer mask is the entry in force.
  const bool m0 = mask_[0].lTime >= 0, m1 = mask_[1].lTime >= 0;
  const int newer = (m0 && m1) ? (ageS(mask_[0].lTime) <= ageS(mask_[1].lTime) ? 0 : 1) : (m1 ? 1 : 0);
  iodp_[0] = IodpEntryType{mask_[newer].lTime >= 0 ? mask_[newer].uIodp : kNone, static_cast<std::uint8_t>(newer),
                           mask_[newer].lTime};
  const int older = 1 - newer;
  iodp_[1] = IodpEntryType{mask_[older].lTime >= 0 ? mask_[older].uIodp : kNone, static_cast<std::uint8_t>(older),
                           mask_[older].lTime};
}

// ---- pool ------------------------------------------------------------------------------------------

SbasDataDecoder* get_SbasDataDecoder(const PosData::RcvTimeDataType& t, const SvIdType& source) {
  return sbas_fields::pickSourceDecoder(SbasDataDecoderInstance, t, source);
}

// ---- update -----------------------------------------------------------------------------------------

int SbasDataDecoder::update(const PosData::RcvTimeDataType& t, const SvIdType& source, const std::uint8_t* msg) {
  if (msg == nullptr || t.gps.uStatus[0] == 0 || t.gps.ulMs >= kWeekMs) return 0;
  time_ = t;
  lTag_ = static_cast<std::int32_t>(((static_cast<std::int64_t>(t.gps.ulMs) - kReceptionDelayMs) % kWeekMs + kWeekMs) %
                                    kWeekMs);
  bool changed = false;
  if (source.si != source_.si || source.sys != source_.sys) {
    SlasDataDecoder_resetFor(iInstance_);
    source_ = source;
    reset_Data(false);
    bTestMode_ = false;
    lLastTestMsg_ = -1;
    restore_NvRamPrnMask(lTag_, t.gps.uWeek);
    changed = true;
  }
  const int type = U::extract_MessageType(msg);
  PosData::PositionDataType pos;
  if (source.sys == kSysQzss && (type == 43 || type == 44 || (type >= 47 && type <= 51)) && store_ != nullptr &&
      store_->position.Take(&pos) != 0 && pos.bValid != 0)
    SlasDataDecoder_handOn(iInstance_, t, pos, source, type, msg);
  bool reset = false;
  check_TestMode(type, msg, reset);
  check_ResetOfData(reset, changed);
  if (bTestMode_ && ((type >= 1 && type <= 7) || type == 9 || type == 10 || type == 18 || (type >= 24 && type <= 28)))
    return 0;
  bool stamp = false;
  bool dropped = false;
  switch (type) {
    case 0:
      if (!bTestMode_) {
        decode_FastCorr(msg, 0, 0, 13, 1, 3, 5, 161);
        stamp = true;
      }
      break;
    case 1:
      decode_PrnMask(msg);
      stamp = true;
      break;
    case 2: case 3: case 4: case 5:
      decode_FastCorr(msg, type - 2, 0, 13, 1, 3, 5, 161);
      stamp = true;
      break;
    case 6:
      decode_UDRE(msg);
      stamp = true;
      break;
    case 7:
      decode_Degradation(msg);
      stamp = true;
      break;
    case 9:
      if (source_.sys == kSysSbas && source_.si <= kLastNavSource) decode_GeoNavigation(msg);
      break;
    case 10:
      decode_DegradParam(msg);
      stamp = true;
      break;
    case 12:
      decode_NetworkTime(msg);
      break;
    case 17:
      decode_Almanac(msg);
      break;
    case 18:
      decode_IgpMask(msg);
      stamp = true;
      break;
    case 24:
      decode_FastCorr(msg, field(msg, 99, 2), 0, 6, 101, 97, 1, 73);
      decode_LongTermHalf(msg, 107);
      stamp = true;
      break;
    case 25:
      if (decode_LongTermHalf(msg, 1)) decode_LongTermHalf(msg, 107);
      stamp = true;
      break;
    case 26:
      dropped = !decode_IonoDelay(msg);
      stamp = true;
      break;
    case 27:
      dropped = !decode_ServiceMessage(msg);
      stamp = true;
      break;
    case 28:
      decode_Covariance(msg);
      stamp = true;
      break;
    default:
      break;
  }
  if (dropped) return 0;
  for (int i = 0; i < 2; ++i)
    if (mask_[i].bNew != 0) {
      process_PrnMask(i);
      store_Masks();
      mask_[i].bNew = 0;
    }
  for (int b = 0; b < kIgpBands; ++b)
    if (igp_[b].bNew != 0) process_IgpMask(b);
  process_FastCorr();
  process_UDRE();
  process_Degradation();
  process_LongTermCorr();
  process_Covariance();
  process_ServiceMessage();
  process_IonoDelay();
  process_DegradParam();
  process_NetworkTime();
  process_GeoNavigation();
  process_Almanac();
  update_SourceStateData(stamp);
  return 1;
}

void SbasDataDecoder::check_TestMode(int type, const std::uint8_t* msg, bool& reset) {
  const bool counts = type == 0 && !(bNotSafetyForLifeMode != 0 && !U::is_MessageEmpty(msg));
  if (counts) {
    lLastTestMsg_ = lTag_;
    if (!bTestMode_) {
      bTestMode_ = true;
      reset_StoredSbasData();
      reset = true;
    }
    return;
  }
  if (bTestMode_ && (lLastTestMsg_ < 0 || ageS(lLastTestMsg_) * 1000.0 > kTestModeHoldMs)) bTestMode_ = false;
}

void SbasDataDecoder::check_ResetOfData(bool reset, bool sourceChanged) {
  if (reset) {
    reset_Data(sourceChanged);
    return;
  }
  for (int i = 0; i < 2; ++i) {
    if (mask_[i].lTime < 0 || ageS(mask_[i].lTime) <= SBASData::SatCorrectionType::get_PrnMaskTimeout()) continue;
    mask_[i].bNew = 0;
    mask_[i].lTime = -1;
    for (IodpEntryType& e : iodp_)
      if (e.uMask == i) e.uIodp = kNone;
  }
  if (degr_.lTime >= 0 && ageS(degr_.lTime) > SBASData::SatCorrectionType::get_DegrDataTimeout()) {
    degr_.bNew = 0;
    degr_.lTime = -1;
    for (FastCorrDataType& f : fast_) f.bNew = 0;
    for (PRCStackForRRC& s : stack_) s.uCount = 0;
  }
  for (FastCorrDataType& f : fast_)
    if (f.lTime >= 0 && ageS(f.lTime) > SBASData::SatCorrectionType::get_FastCorrTimeout(0)) f.bNew = 0;
  for (UDREDataType& u : udre_)
    if (u.lTime >= 0 && ageS(u.lTime) > SBASData::SatCorrectionType::get_UDREDataTimeout()) u.bNew = 0;
  age_Items();
}

// The items of the long-term, covariance, grid and service messages: each is forgotten once older
// than its time-out, and the state flags that announce it go with the last one.
void SbasDataDecoder::age_Items() {
  using SC = SBASData::SatCorrectionType;
  using IC = SBASData::IonoCorrectionType;
  using SS = SBASData::SourceStateDataType;
  auto expired = [this](std::int32_t t, double timeout) { return t >= 0 && ageS(t) > timeout; };
  bool anyBand = false;
  for (int b = 0; b < kIgpBands; ++b) {
    IgpMaskType& g = igp_[b];
    if (expired(g.lTime, IC::get_GridDataTimeout())) {
      g.bNew = 0;
      g.lTime = -1;
      if (b == 9) uStateFlags_ = static_cast<std::uint8_t>(uStateFlags_ & ~SS::kBand9);
      if (b == 10) uStateFlags_ = static_cast<std::uint8_t>(uStateFlags_ & ~SS::kBand10);
    }
    anyBand |= g.lTime >= 0;
  }
  if (!anyBand) iodi_.uIodi = kNone;
  for (LongTermCorrDataType& l : lt_)
    if (expired(l.lTime, SC::get_LongCorrTimeout())) {
      l.bNew = 0;
      l.lTime = -1;
    }
  bool anyCov = false;
  for (EphClockCovMatrixDataType& c : cov_) {
    if (expired(c.lTime, SC::get_MtrxDataTimeout())) {
      c.bNew = 0;
      c.lTime = -1;
    }
    anyCov |= c.lTime >= 0;
  }
  if (!anyCov) uStateFlags_ = static_cast<std::uint8_t>(uStateFlags_ & ~SS::kCovariance);
  bool anyService = false;
  for (ServiceMessageDataType& m : svc_) {
    if (expired(m.lTime, SBASData::RegionServiceDataType::get_RegionDataTimeout())) {
      m.bNew = 0;
      m.lTime = -1;
    }
    anyService |= m.lTime >= 0;
  }
  if (!anyService) {
    uStateFlags_ = static_cast<std::uint8_t>(uStateFlags_ & ~SS::kService);
    uIods_ = kNone;
  }
  for (IonoDelayDataType& d : delay_)
    if (expired(d.lTime, IC::get_IonoCorrTimeout())) {
      d.bNew = 0;
      d.lTime = -1;
    }
}

// ---- decoding -------------------------------------------------------------------------------------

void SbasDataDecoder::decode_PrnMask(const std::uint8_t* msg) {
  const int iodp = field(msg, 211, 2);
  int e = iodp == iodp_[0].uIodp ? 0 : (iodp == iodp_[1].uIodp ? 1 : 0);
  if (iodp != get_IODx(e)) {
    // A new issue: the entry in force moves to entry 1 and the mask goes into the other buffer,
    // whichever entry the issue was first found in.
    const std::uint8_t other = iodp_[1].uMask == iodp_[0].uMask ? static_cast<std::uint8_t>(1 - iodp_[0].uMask)
                                                                : iodp_[1].uMask;
    iodp_[1] = iodp_[0];
    iodp_[0] = IodpEntryType{static_cast<std::uint8_t>(iodp), other, lTag_};
    e = 0;
  } else {
    iodp_[e].lTime = lTag_;
  }
  PrnMaskType& m = mask_[iodp_[e].uMask & 1];
  for (int w = 0; w < kMaskWords; ++w) {
    const int n = w < kMaskWords - 1 ? 32 : 210 - 32 * (kMaskWords - 1);
    m.ulWord[w] = static_cast<std::uint32_t>(field(msg, 32 * w + 1, n)) << (32 - n);
  }
  m.uIodp = static_cast<std::uint8_t>(iodp);
  m.lTime = lTag_;
  m.bNew = 1;
}

void SbasDataDecoder::decode_FastCorr(const std::uint8_t* msg, int block, int first, int count, int iodfPos,
                                      int iodpPos, int prcPos, int udreiPos) {
  if (block < 0 || block >= kFastBlocks) return;
  FastCorrDataType& f = fast_[block];
  const std::uint8_t iodp = static_cast<std::uint8_t>(field(msg, iodpPos, 2));
  const std::uint8_t iodf = static_cast<std::uint8_t>(field(msg, iodfPos, 2));
  const std::uint16_t fresh = count == 13 ? kFreshAll : kFreshMt24;
  // Six corrections of MT24 refresh only their own; the others of the block keep their state.
  f.uFresh = (f.bNew != 0 && f.uIodp == iodp && f.uIodf == iodf) ? static_cast<std::uint16_t>(f.uFresh | fresh) : fresh;
  f.uIodp = iodp;
  f.uIodf = iodf;
  f.lTime = lTag_;
  for (int i = 0; i < count; ++i) {
    f.iPrc[first + i] = static_cast<std::int16_t>(sfield(msg, prcPos + 12 * i, 12));
    f.uUdrei[first + i] = static_cast<std::uint8_t>(field(msg, udreiPos + 4 * i, 4));
  }
  f.bNew = 1;
}

void SbasDataDecoder::decode_UDRE(const std::uint8_t* msg) {
  for (int k = 0; k < kFastBlocks; ++k) {
    UDREDataType& u = udre_[k];
    u.uIodf = static_cast<std::uint8_t>(field(msg, 2 * k + 1, 2));
    for (int i = 0; i < 13; ++i) u.uUdrei[i] = static_cast<std::uint8_t>(field(msg, 52 * k + 9 + 4 * i, 4));
    u.lTime = lTag_;
    u.bNew = 1;
  }
}

void SbasDataDecoder::decode_Degradation(const std::uint8_t* msg) {
  degr_.uLatency = static_cast<std::uint8_t>(field(msg, 1, 4));
  degr_.uIodp = static_cast<std::uint8_t>(field(msg, 5, 2));
  for (int i = 0; i < kSlots; ++i) degr_.uAi[i] = static_cast<std::uint8_t>(field(msg, 9 + 4 * i, 4));
  degr_.lTime = lTag_;
  degr_.bNew = 1;
}

// ---- processing ------------------------------------------------------------------------------------

void SbasDataDecoder::process_PrnMask(int i) {
  PrnMaskType& m = mask_[i & 1];
  m.uSlots = 0;
  for (std::uint32_t& s : m.ulSatSet) s = 0;
  for (int b = 0; b < 210; ++b) {
    if (((m.ulWord[b / 32] >> (31 - b % 32)) & 1u) == 0) continue;
    if (m.uSlots >= kSlots) break;
    const SvIdType sv = slotIdentity(b);
    m.slot[m.uSlots++] = sv;
    if (usable(sv) && sv.sat < 32) m.ulSatSet[sv.sys] |= 1u << sv.sat;
  }
}

bool SbasDataDecoder::take_Sat(const SvIdType& sv, SBASData::SatCorrectionType& r) {
  if (store_ == nullptr || iInstance_ >= kPoolSize) return false;
  if (store_->sbasSatCorrection[iInstance_].Take(&sv, &r) == 0) {
    std::memset(&r, 0, sizeof r);
    r.init();
  }
  return true;
}

void SbasDataDecoder::put_Sat(const SvIdType& sv, const SBASData::SatCorrectionType& r) {
  store_->sbasSatCorrection[iInstance_].Put(&sv, &r);
}

void SbasDataDecoder::process_FastCorr() {
  for (int k = 0; k < kFastBlocks; ++k) {
    FastCorrDataType& f = fast_[k];
    if (f.bNew == 0) continue;
    bool matched = false;
    for (int e = 0; e < 2; ++e) {
      const PrnMaskType* m = nullptr;
      if (!live(e, m) || iodp_[e].uIodp != f.uIodp) continue;
      matched = true;
      for (int i = 0; i < 13; ++i) {
        const int s = 13 * k + i;
        if (((f.uFresh >> i) & 1u) == 0 || s >= m->uSlots || !usable(m->slot[s])) continue;
        SBASData::SatCorrectionType r;
        if (!take_Sat(m->slot[s], r)) continue;
        r.set_ReadyUDREData(source_);
        r.set_ReadyFastCorr(source_);
        r.uUdrei = f.uUdrei[i];
        SBASData::set_TimeTag(r.ulUdreTime, f.lTime);
        r.ulFastTime[1] = r.ulFastTime[0];
        SBASData::set_TimeTag(r.ulFastTime[0], f.lTime);
        r.fPrc = static_cast<float>(f.iPrc[i] * 0.125);
        r.uIodf = f.uIodf;
        compute_RangeRate(s, r, r.fPrc, f.uIodf);
        put_Sat(m->slot[s], r);
      }
    }
    if (matched) f.bNew = 0;
  }
}

void SbasDataDecoder::process_UDRE() {
  for (int k = 0; k < kFastBlocks; ++k) {
    UDREDataType& u = udre_[k];
    const FastCorrDataType& f = fast_[k];
    if (u.bNew == 0 || f.lTime < 0 || (u.uIodf != f.uIodf && u.uIodf != 3)) continue;
    bool matched = false;
    for (int e = 0; e < 2; ++e) {
      const PrnMaskType* m = nullptr;
      if (!live(e, m) || iodp_[e].uIodp != f.uIodp) continue;
      matched = true;
      for (int i = 0; i < 13; ++i) {
        const int s = 13 * k + i;
        if (s >= m->uSlots || !usable(m->slot[s])) continue;
        SBASData::SatCorrectionType r;
        if (!take_Sat(m->slot[s], r)) continue;
        r.set_ReadyUDREData(source_);
        r.uUdrei = u.uUdrei[i];
        SBASData::set_TimeTag(r.ulUdreTime, u.lTime);
        put_Sat(m->slot[s], r);
      }
    }
    if (matched) u.bNew = 0;
  }
}

void SbasDataDecoder::process_Degradation() {
  if (degr_.bNew == 0) return;
  bool matched = false;
  for (int e = 0; e < 2; ++e) {
    const PrnMaskType* m = nullptr;
    if (!live(e, m) || iodp_[e].uIodp != degr_.uIodp) continue;
    matched = true;
    for (int s = 0; s < m->uSlots; ++s) {
      if (!usable(m->slot[s])) continue;
      SBASData::SatCorrectionType r;
      if (!take_Sat(m->slot[s], r)) continue;
      r.set_ReadyDegrData(source_);
      r.uMt7Byte = static_cast<std::uint8_t>((degr_.uAi[s] & 0x0F) | (degr_.uLatency << 4));
      SBASData::set_TimeTag(r.ulDegrTime, degr_.lTime);
      if (r.is_ReadyFastCorr(lTag_)) recompute_RangeRate(s, r);
      put_Sat(m->slot[s], r);
    }
  }
  if (matched) degr_.bNew = 0;
}

// ---- range-rate corrections --------------------------------------------------------------------------

void SbasDataDecoder::compute_RangeRate(int slot, SBASData::SatCorrectionType& r, float prc, std::uint8_t iodf) {
  PRCStackForRRC& st = stack_[slot];
  if (r.uUdrei >= 14) {
    st.uCount = 0;
    clearRate(r);
    return;
  }
  if (!r.is_ReadyDegrData(lTag_)) {
    clearRate(r);
  } else if (r.get_AiIndex() == 0) {
    setRate(r, source_, 0.0f, 0.0f, lTag_);
  } else {
    const double timeout = SBASData::SatCorrectionType::get_FastCorrTimeout(r.get_AiIndex());
    int n = 0;
    for (int i = 0; i < st.uCount; ++i)
      if (effectiveAge(ageS(st.e[i].lTime)) <= timeout) st.e[n++] = st.e[i];
    st.uCount = static_cast<std::uint8_t>(n);
    int best = -1;
    double bestAge = 0;
    for (int i = 0; i < n; ++i) {
      const double age = ageS(st.e[i].lTime);
      // Two corrections of one time tag (one pass over a ring, a repeated message) make no pair.
      if (age <= 0) continue;
      if (best < 0 || std::fabs(age - timeout / 2) < std::fabs(bestAge - timeout / 2)) best = i, bestAge = age;
    }
    if (best >= 0)
      setRate(r, source_, static_cast<float>((prc - st.e[best].fPrc) / bestAge), static_cast<float>(bestAge), lTag_,
              iodf, st.e[best].uIodf);
    else
      clearRate(r);
  }
  for (int i = kStackDepth - 1; i > 0; --i) st.e[i] = st.e[i - 1];
  st.e[0] = {lTag_, prc, iodf};
  if (st.uCount < kStackDepth) ++st.uCount;
}

void SbasDataDecoder::recompute_RangeRate(int slot, SBASData::SatCorrectionType& r) {
  const PRCStackForRRC& st = stack_[slot];
  if (r.get_AiIndex() == 0) {
    setRate(r, source_, 0.0f, 0.0f, lTag_);
    return;
  }
  const double timeout = SBASData::SatCorrectionType::get_FastCorrTimeout(r.get_AiIndex());
  int cur = -1;
  for (int i = 0; i < st.uCount && cur < 0; ++i)
    if (effectiveAge(ageS(st.e[i].lTime)) <= timeout) cur = i;
  int best = -1;
  double bestAge = 0;
  for (int i = cur + 1; cur >= 0 && i < st.uCount; ++i) {
    const double age = TagAge::foldedSeconds(static_cast<std::int64_t>(st.e[cur].lTime) - st.e[i].lTime, kWeekS);
    if (age <= 0 || effectiveAge(age) > timeout) continue;
    if (best < 0 || std::fabs(age - timeout / 2) < std::fabs(bestAge - timeout / 2)) best = i, bestAge = age;
  }
  if (best < 0) {
    clearRate(r);
    return;
  }
  setRate(r, source_, static_cast<float>((st.e[cur].fPrc - st.e[best].fPrc) / bestAge), static_cast<float>(bestAge),
          lTag_, st.e[cur].uIodf, st.e[best].uIodf);
}

// ---- source state ------------------------------------------------------------------------------------

void SbasDataDecoder::update_SourceStateData(bool stamp) {
  if (store_ == nullptr || iInstance_ >= kPoolSize) return;
  SBASData::SourceStateDataType st;
  if (store_->sbasSourceState.Take(iInstance_, &st) == 0) st = SBASData::SourceStateDataType{};
  st.uPrn = source_.sys < SYS_NUM ? static_cast<std::uint8_t>(source_.si + SYS_SI_MIN[source_.sys]) : kNone;
  st.uSystem = source_.sys;
  for (std::uint32_t& s : st.ulSatSet) s = 0;
  bool any = false;
  for (int e = 0; e < 2; ++e) {
    const PrnMaskType* m = nullptr;
    if (!live(e, m)) continue;
    any = true;
    for (int s = 0; s < SYS_NUM; ++s) st.ulSatSet[s] |= m->ulSatSet[s];
    SBASData::set_TimeTag(st.ulMaskTime, iodp_[e].lTime);
  }
  st.uFlags = static_cast<std::uint8_t>(any ? (st.uFlags | SBASData::SourceStateDataType::kMaskValid)
                                            : (st.uFlags & ~SBASData::SourceStateDataType::kMaskValid));
  st.uFlags = static_cast<std::uint8_t>(bTestMode_ ? (st.uFlags | SBASData::SourceStateDataType::kTestMode)
                                                   : (st.uFlags & ~SBASData::SourceStateDataType::kTestMode));
  constexpr std::uint8_t kOwn = SBASData::SourceStateDataType::kBand9 | SBASData::SourceStateDataType::kBand10 |
                                SBASData::SourceStateDataType::kCovariance | SBASData::SourceStateDataType::kService;
  st.uFlags = static_cast<std::uint8_t>((st.uFlags & ~kOwn) | (uStateFlags_ & kOwn));
  if (stamp) {
    SBASData::set_TimeTag(st.ulTime, lTag_);
    lLastUpdate_ = lTag_;
  }
  ++st.ulMessages;
  store_->sbasSourceState.Put(iInstance_, &st);
}
