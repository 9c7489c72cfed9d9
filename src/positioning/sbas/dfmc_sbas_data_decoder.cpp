#include "positioning/sbas/dfmc_sbas_data_decoder.h"

#include <cmath>
#include <cstring>

#include "navigation_data/bit_extract.h"
#include "platform/nv_block.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/data_servers/tag_age.h"
#include "positioning/sbas/sbas_decoder_fields.h"

DFMC_SbasDataDecoder DFMC_SbasDataDecoderInstance[DFMC_SbasDataDecoder::kPoolSize];

using D = DFMC_SbasDataDecoder;
using SatRec = SBASData::DFMC_SatCorrectionType;

namespace {

constexpr std::int64_t kWeekMs = 604800000;
constexpr double kWeekS = 604800.0;
constexpr int kDoNotUse = 15;  // DFREI

NvBlock gMaskBlock[D::kStoredMasks];
int gInstances = 0;

int field(const std::uint8_t* m, int pos, int n) { return DFMC_SbasDecUtility::field(m, pos, n, false); }
int sfield(const std::uint8_t* m, int pos, int n) { return DFMC_SbasDecUtility::field(m, pos, n, true); }

// The satellite of mask bit (satellite slot number) n, 1..214; system and satellite 255 when
// the slot names none.
SvIdType slotIdentity(int n) {
  auto make = [](int sys, int sat) {
    return SvIdType{static_cast<std::uint8_t>(sys == kSysGlonass ? kSvUnknown : sat), static_cast<std::uint8_t>(sys), 0,
                    static_cast<std::uint8_t>(sat)};
  };
  struct Range {
    int first, last, sys, count;
  };
  static constexpr Range kRanges[] = {{1, 37, kSysGps, 32},       {38, 74, kSysGlonass, 30}, {75, 111, kSysGalileo, 36},
                                      {120, 158, kSysSbas, 23},   {159, 195, kSysBeidou, 37}, {196, 214, kSysQzss, 7}};
  for (const Range& r : kRanges)
    if (n >= r.first && n <= r.last) return n - r.first < r.count ? make(r.sys, n - r.first) : EmptySvId;
  return EmptySvId;
}

bool usable(const SvIdType& sv) { return sv.sys < SYS_NUM && sv.isValidSat(); }

// sigma_DFRE scale of each DFRE table entry of MT37, m.
constexpr double kDfreScale[SBASData::DFMC_DegradationDataType::kDfreEntries] = {
    0.0625, 0.125, 0.125, 0.125, 0.125, 0.25, 0.25, 0.25, 0.25, 0.25, 0.5, 0.5, 1.0, 3.0, 6.0};

void setDfrei(SatRec& r, int dfrei, bool fromCorr) {
  r.uDfrei = static_cast<std::uint8_t>(dfrei);
  r.uDfreFlags = static_cast<std::uint8_t>((dfrei >= kDoNotUse ? SatRec::kDfreDoNotUse : 0) |
                                           (fromCorr ? SatRec::kDfreFromCorr : 0));
}

}  // namespace

// ---- the bit readers -------------------------------------------------------------------------------

const int DFMC_SbasDecUtility::iQzss2SbasMessage_x53[4] = {34, 31, 32, 63};
const int DFMC_SbasDecUtility::iQzss2SbasMessage_x9A[4] = {34, 37, 32, 63};
const int DFMC_SbasDecUtility::iQzss2SbasMessage_xC6[4] = {34, 47, 32, 63};

std::int32_t DFMC_SbasDecUtility::field(const std::uint8_t* msg, int pos, int nBits, bool isSigned) {
  return SbasDecUtility::extract_DataField(msg, pos, nBits, isSigned, D::AbstractDataType::dataOffset);
}

int DFMC_SbasDecUtility::extract_DFMCMessageType(const std::uint8_t* msg) {
  return msg == nullptr ? -1 : static_cast<int>(GalDecUtility::extract(msg, 4, 6));
}

int DFMC_SbasDecUtility::extract_DFMCQzssPreamble(const std::uint8_t* msg) { return msg == nullptr ? -1 : msg[0]; }

int DFMC_SbasDecUtility::extract_DFMCQzssMessageType(const std::uint8_t* msg) {
  return msg == nullptr ? -1 : static_cast<int>(GalDecUtility::extract(msg, 8, 2));
}

int DFMC_SbasDecUtility::qzssMessageType(const std::uint8_t* msg) {
  const int code = extract_DFMCQzssMessageType(msg);
  switch (extract_DFMCQzssPreamble(msg)) {
    case 0x53: return iQzss2SbasMessage_x53[code & 3];
    case 0x9A: return iQzss2SbasMessage_x9A[code & 3];
    case 0xC6: return iQzss2SbasMessage_xC6[code & 3];
    default: return -1;
  }
}

// ---- the decoder -------------------------------------------------------------------------------------

DFMC_SbasDataDecoder::DFMC_SbasDataDecoder() : iInstance_(gInstances++) { reset_Data(); }

double DFMC_SbasDataDecoder::ageS(std::int32_t time) const {
  return TagAge::foldedSeconds(static_cast<std::int64_t>(lTag_) - time, kWeekS);
}

bool DFMC_SbasDataDecoder::live(int iodm) const { return mask_[iodm & 3].lTime >= 0; }

void DFMC_SbasDataDecoder::init_Object(PVTDataType* store, SatelliteDataProcessor* satData) {
  store_ = store;
  satData_ = satData;
  source_ = EmptySvId;
  lLastUpdate_ = -1;
  lLastTestMsg_ = -1;
  bTestMode_ = false;
  check_ResetOfData(true);
}

void DFMC_SbasDataDecoder::reset_Data() {
  for (int i = 0; i < kMasks; ++i) {
    mask_[i] = PrnMaskType{};
    mask_[i].uIodm = static_cast<std::uint8_t>(i);
    mask_[i].lTime = -1;
    for (SvIdType& s : mask_[i].slot) s = EmptySvId;
  }
  dfreChg_ = DfreChangeType{};
  dfreChg_.lTime = -1;
  dfre_ = DfreType{};
  dfre_.lTime = -1;
  corr_ = CorrCovType{};
  corr_.lTime = -1;
  degr_ = DegradType{};
  degr_.lTime = -1;
}

// What this decoder published for its former source.
void DFMC_SbasDataDecoder::reset_StoredData() {
  if (store_ == nullptr || iInstance_ >= kPoolSize) return;
  store_->dfmcSbasSatCorrection[iInstance_].Init();
  SBASData::DFMC_DegradationDataType d;
  d.init();
  store_->dfmcSbasDegradation[iInstance_].Put(&d);
  SBASData::DFMC_SourceStateDataType s;
  store_->dfmcSbasSourceState.Put(iInstance_, &s);
}

// ---- settings ------------------------------------------------------------------------------------

void DFMC_SbasDataDecoder::allocate_NvRamData() {
  for (int i = 0; i < kStoredMasks; ++i)
    gMaskBlock[i].allocate(kMaskBlockSize, static_cast<std::uint16_t>(kFirstMaskBlockId + i), false, false);
}

// All four masks, each in the place of its IODM, with the GPS week of its time tag: a mask whose
// time of week comes round again weeks later must not pass for a fresh one after a restart.
void DFMC_SbasDataDecoder::store_Masks() {
  if (source_.sys != kSysSbas || source_.si >= kStoredMasks) return;
  std::int64_t week = time_.gps.uWeek;
  if (static_cast<std::int64_t>(time_.gps.ulMs) < kReceptionDelayMs) --week;
  OneStoredPrnMaskType rec[kMasks];
  for (int i = 0; i < kMasks; ++i) {
    rec[i] = OneStoredPrnMaskType{};
    rec[i].uIodm = mask_[i].lTime >= 0 ? static_cast<std::uint8_t>(i) : kNone;
    rec[i].uWeek = static_cast<std::uint16_t>(week > 0 ? week : 0);
    rec[i].ulTime = static_cast<std::uint32_t>(mask_[i].lTime >= 0 ? mask_[i].lTime : 0);
    std::memcpy(rec[i].ulWord, mask_[i].ulWord, sizeof rec[i].ulWord);
  }
  gMaskBlock[source_.si].update(rec, sizeof rec);
}

void DFMC_SbasDataDecoder::restore_NvRamPrnMask(int week) {
  if (source_.sys != kSysSbas || source_.si >= kStoredMasks || week <= 0) return;
  OneStoredPrnMaskType rec[kMasks];
  if (!gMaskBlock[source_.si].read(rec, sizeof rec)) return;
  const std::int64_t now = static_cast<std::int64_t>(week) * kWeekMs + lTag_;
  for (const OneStoredPrnMaskType& r : rec) {
    if (r.uIodm >= kMasks || r.uWeek == 0 || r.ulTime >= kWeekMs) continue;
    const std::int64_t then = static_cast<std::int64_t>(r.uWeek) * kWeekMs + r.ulTime;
    const double age = static_cast<double>(now - then) * 0.001;
    if (age < -SBASData::kReceptionDelay || age > SatRec::get_PrnMaskTimeout()) continue;
    PrnMaskType& m = mask_[r.uIodm];
    m.lTime = static_cast<std::int32_t>(r.ulTime);
    std::memcpy(m.ulWord, r.ulWord, sizeof m.ulWord);
    process_PrnMask(r.uIodm);
  }
}

// ---- pool ------------------------------------------------------------------------------------------

DFMC_SbasDataDecoder* getDFMC_SbasDataDecoder(const PosData::RcvTimeDataType& t, const SvIdType& source) {
  return sbas_fields::pickSourceDecoder(DFMC_SbasDataDecoderInstance, t, source);
}

// ---- update -----------------------------------------------------------------------------------------

int DFMC_SbasDataDecoder::update(const PosData::RcvTimeDataType& t, const SvIdType& source, const std::uint8_t* msg) {
  if (msg == nullptr || t.gps.uStatus[0] == 0 || t.gps.ulMs >= kWeekMs) return 0;
  time_ = t;
  lTag_ = static_cast<std::int32_t>(((static_cast<std::int64_t>(t.gps.ulMs) - kReceptionDelayMs) % kWeekMs + kWeekMs) %
                                    kWeekMs);
  if (source.si != source_.si || source.sys != source_.sys) {
    // Nothing of the former source may be read against the new one's masks.
    reset_Data();
    reset_StoredData();
    source_ = source;
    bTestMode_ = false;
    lLastTestMsg_ = -1;
    restore_NvRamPrnMask(t.gps.uWeek);
  }
  const int type = source.sys == kSysQzss ? DFMC_SbasDecUtility::qzssMessageType(msg)
                                          : DFMC_SbasDecUtility::extract_DFMCMessageType(msg);
  check_TestMode(type);
  check_ResetOfData(false);
  bool stamp = true;
  switch (type) {
    case 31: decode_PrnMask(msg); break;
    case 32: decode_CorrCov(msg); break;
    case 34: decode_DfreChange(msg); break;
    case 35: decode_Dfre(msg, 0); break;
    case 36: decode_Dfre(msg, 1); break;
    case 37: decode_Degradation(msg); break;
    default: stamp = false; break;
  }
  for (int i = 0; i < kMasks; ++i)
    if (mask_[i].bNew != 0) {
      process_PrnMask(i);
      store_Masks();
    }
  process_DfreChange();
  process_CorrCov();
  process_Degradation();
  update_SourceStateData(stamp);
  return 1;
}

// A type-0 message, or a QZSS message of an unknown preamble, holds the source in test mode for
// 60 s; test mode only shows in the source state.
void DFMC_SbasDataDecoder::check_TestMode(int type) {
  if (type == 0 || type < 0) {
    lLastTestMsg_ = lTag_;
    bTestMode_ = true;
    return;
  }
  if (bTestMode_ && (lLastTestMsg_ < 0 || ageS(lLastTestMsg_) * 1000.0 > kTestModeHoldMs)) bTestMode_ = false;
}

void DFMC_SbasDataDecoder::check_ResetOfData(bool reset) {
  if (reset) {
    reset_Data();
    return;
  }
  const double maskTimeout = SatRec::get_PrnMaskTimeout();
  for (PrnMaskType& m : mask_)
    if (m.lTime >= 0 && ageS(m.lTime) > maskTimeout) {
      m.bNew = 0;
      m.lTime = -1;
      m.uSlots = 0;
      for (std::uint64_t& s : m.ullSatSet) s = 0;
    }
  const double dfreTimeout = SatRec::get_DFREDataTimeout();
  if (dfreChg_.lTime >= 0 && ageS(dfreChg_.lTime) > dfreTimeout) dfreChg_.bNew = 0, dfreChg_.lTime = -1;
  if (dfre_.lTime >= 0 && ageS(dfre_.lTime) > dfreTimeout) dfre_ = DfreType{}, dfre_.lTime = -1;
  if (corr_.lTime >= 0 && ageS(corr_.lTime) > SatRec::get_CorrDataTimeout()) corr_.bNew = 0, corr_.lTime = -1;
  if (degr_.lTime >= 0 && ageS(degr_.lTime) > SBASData::DFMC_DegradationDataType::get_DegradDataTimeout())
    degr_.bNew = 0, degr_.lTime = -1;
}

// ---- decoding ------------------------------------------------------------------------------------

void DFMC_SbasDataDecoder::decode_PrnMask(const std::uint8_t* msg) {
  PrnMaskType& m = mask_[field(msg, kIodmPos, 2)];
  for (int w = 0; w < kMaskWords; ++w) {
    const int n = w < kMaskWords - 1 ? 32 : kMaskBits - 32 * (kMaskWords - 1);
    m.ulWord[w] = static_cast<std::uint32_t>(field(msg, 32 * w + 1, n)) << (32 - n);
  }
  m.lTime = lTag_;
  m.bNew = 1;
}

void DFMC_SbasDataDecoder::decode_CorrCov(const std::uint8_t* msg) {
  CorrCovType& c = corr_;
  c.uSlot = static_cast<std::uint8_t>(field(msg, 1, 8));
  c.uIodn = static_cast<std::uint16_t>(field(msg, 9, 10));
  c.iDx = sfield(msg, 19, 11);
  c.iDy = sfield(msg, 30, 11);
  c.iDz = sfield(msg, 41, 11);
  c.iDb = sfield(msg, 52, 12);
  c.iDdx = static_cast<std::int16_t>(sfield(msg, 64, 8));
  c.iDdy = static_cast<std::int16_t>(sfield(msg, 72, 8));
  c.iDdz = static_cast<std::int16_t>(sfield(msg, 80, 8));
  c.iDdb = static_cast<std::int16_t>(sfield(msg, 88, 9));
  c.uT0 = static_cast<std::uint16_t>(field(msg, 97, 13));
  c.uScaleExp = static_cast<std::uint8_t>(field(msg, 110, 3));
  for (int i = 0; i < 4; ++i) c.uE[i] = static_cast<std::uint16_t>(field(msg, 113 + 9 * i, 9));
  for (int i = 0; i < 6; ++i) c.iE[i] = static_cast<std::int16_t>(sfield(msg, 149 + 10 * i, 10));
  c.uDfrei = static_cast<std::uint8_t>(field(msg, 209, 4));
  c.uRcorr = static_cast<std::uint8_t>(field(msg, 213, 4));
  c.lTime = lTag_;
  c.bNew = 1;
}

void DFMC_SbasDataDecoder::decode_DfreChange(const std::uint8_t* msg) {
  for (int i = 0; i < kSlots; ++i) dfreChg_.uDfreci[i] = static_cast<std::uint8_t>(field(msg, 1 + 2 * i, 2));
  for (int i = 0; i < kDfreis; ++i) dfreChg_.uDfrei[i] = static_cast<std::uint8_t>(field(msg, 185 + 4 * i, 4));
  dfreChg_.uIodm = static_cast<std::uint8_t>(field(msg, kIodmPos, 2));
  dfreChg_.lTime = lTag_;
  dfreChg_.bNew = 1;
}

// MT35 carries slots 1 to 53, MT36 slots 54 to 92; both name their IODM at the same place.
void DFMC_SbasDataDecoder::decode_Dfre(const std::uint8_t* msg, int which) {
  const int iodm = field(msg, kIodmPos, 2);
  if (dfre_.lTime < 0 || dfre_.uIodm != iodm) dfre_.bMessage[0] = dfre_.bMessage[1] = 0;
  const int first = which == 0 ? 0 : kMt35Slots;
  const int count = which == 0 ? kMt35Slots : kSlots - kMt35Slots;
  for (int i = 0; i < count; ++i) dfre_.uDfrei[first + i] = static_cast<std::uint8_t>(field(msg, 1 + 4 * i, 4));
  dfre_.uIodm = static_cast<std::uint8_t>(iodm);
  dfre_.bMessage[which] = 1;
  dfre_.lTime = lTag_;
  dfre_.bNew = 1;
}

void DFMC_SbasDataDecoder::decode_Degradation(const std::uint8_t* msg) {
  degr_.uIvalid32 = static_cast<std::uint8_t>(field(msg, 1, 6));
  degr_.uIvalid3940 = static_cast<std::uint8_t>(field(msg, 7, 6));
  degr_.uCer = static_cast<std::uint8_t>(field(msg, 13, 6));
  degr_.uCcovariance = static_cast<std::uint8_t>(field(msg, 19, 7));
  for (int k = 0; k < 6; ++k) {
    const int at = 26 + 21 * k;
    degr_.uIcorr[k] = static_cast<std::uint8_t>(field(msg, at, 5));
    degr_.uCcorr[k] = static_cast<std::uint8_t>(field(msg, at + 5, 8));
    degr_.uRcorr[k] = static_cast<std::uint8_t>(field(msg, at + 13, 8));
  }
  for (int i = 0; i < SBASData::DFMC_DegradationDataType::kDfreEntries; ++i)
    degr_.uDfre[i] = static_cast<std::uint8_t>(field(msg, 152 + 4 * i, 4));
  degr_.lTime = lTag_;
  degr_.bNew = 1;
}

// ---- processing ------------------------------------------------------------------------------------

void DFMC_SbasDataDecoder::process_PrnMask(int iodm) {
  PrnMaskType& m = mask_[iodm & 3];
  m.uSlots = 0;
  for (std::uint64_t& s : m.ullSatSet) s = 0;
  for (SvIdType& s : m.slot) s = EmptySvId;
  for (int b = 0; b < kMaskBits; ++b) {
    if (((m.ulWord[b / 32] >> (31 - b % 32)) & 1u) == 0) continue;
    if (m.uSlots >= kSlots) break;
    const SvIdType sv = slotIdentity(b + 1);
    m.slot[m.uSlots++] = sv;
    if (usable(sv)) m.ullSatSet[sv.sys] |= std::uint64_t{1} << sv.sat;
  }
  m.bNew = 0;
}

bool DFMC_SbasDataDecoder::take_Sat(const SvIdType& sv, SatRec& r) {
  if (store_ == nullptr || iInstance_ >= kPoolSize || !usable(sv)) return false;
  if (store_->dfmcSbasSatCorrection[iInstance_].Take(&sv, &r) == 0) {
    std::memset(&r, 0, sizeof r);
    r.init();
  }
  return true;
}

void DFMC_SbasDataDecoder::put_Sat(const SvIdType& sv, const SatRec& r) {
  store_->dfmcSbasSatCorrection[iInstance_].Put(&sv, &r);
}

void DFMC_SbasDataDecoder::process_DfreChange() {
  if (dfreChg_.bNew == 0) return;
  dfreChg_.bNew = 0;
  // A change read against no mask, or another mask, would move the wrong satellites.
  const PrnMaskType& m = mask_[dfreChg_.uIodm & 3];
  if (!live(dfreChg_.uIodm)) return;
  const std::uint8_t me = SBASData::sourceIndexOf(source_);
  int next = 0;  // the message's DFREIs go to its DFRECI-1 slots in slot order
  for (int s = 0; s < m.uSlots && s < kSlots; ++s) {
    const int ci = dfreChg_.uDfreci[s];
    const int given = ci == 1 ? next++ : -1;
    SatRec r;
    if (!take_Sat(m.slot[s], r) || r.uSource != me || !r.is_ReadyDFREData(lTag_)) continue;
    switch (ci) {
      case 0:
        break;
      case 1:
        if (given >= kDfreis) {
          // No DFREI is left for this slot: the satellite waits for its next MT32.
          r.uReadyDfre = 0;
          SBASData::clear_TimeTag(r.ulDfreTime);
          put_Sat(m.slot[s], r);
          continue;
        }
        setDfrei(r, dfreChg_.uDfrei[given], false);
        break;
      case 2:
        // One class worse; "do not use" stays what it is.
        setDfrei(r, r.uDfrei >= kDoNotUse ? kDoNotUse : r.uDfrei + 1, false);
        break;
      default: {
        r.init();
        put_Sat(m.slot[s], r);
        corr_.bNew = 0;
        corr_.lTime = -1;
        dfre_ = DfreType{};
        dfre_.lTime = -1;
        continue;
      }
    }
    SBASData::set_TimeTag(r.ulDfreTime, dfreChg_.lTime);
    put_Sat(m.slot[s], r);
  }
}

void DFMC_SbasDataDecoder::process_CorrCov() {
  if (corr_.bNew == 0) return;
  corr_.bNew = 0;
  const CorrCovType& c = corr_;
  const SvIdType sv = slotIdentity(c.uSlot);
  SatRec r;
  if (!take_Sat(sv, r)) return;
  // Another issue of data: the block in use stays as the previous one.
  if (r.uSource == SBASData::sourceIndexOf(source_) && r.is_ReadyCorrData(lTag_, 0) && r.corr[0].uIodn != c.uIodn) {
    r.corr[1] = r.corr[0];
    r.ulCorrTime[1] = r.ulCorrTime[0];
    r.set_ReadyCorrData(source_, 1);
  }
  SBASData::DFMC_CorrBlock& b = r.corr[0];
  b.iDx = c.iDx;
  b.iDy = c.iDy;
  b.iDz = c.iDz;
  b.iDb = c.iDb;
  b.iDdx = c.iDdx;
  b.iDdy = c.iDdy;
  b.iDdz = c.iDdz;
  b.iDdb = c.iDdb;
  b.uT0 = c.uT0;
  b.uIodn = c.uIodn;
  r.set_ReadyCorrData(source_, 0);
  SBASData::set_TimeTag(r.ulCorrTime[0], c.lTime);
  r.mtrx.uScaleExp = c.uScaleExp;
  const std::int16_t e[10] = {static_cast<std::int16_t>(c.uE[0]), c.iE[0], c.iE[1], c.iE[2],
                              static_cast<std::int16_t>(c.uE[1]), c.iE[3], c.iE[4],
                              static_cast<std::int16_t>(c.uE[2]), c.iE[5], static_cast<std::int16_t>(c.uE[3])};
  std::memcpy(r.mtrx.iE, e, sizeof e);
  r.set_ReadyMtrxData(source_);
  SBASData::set_TimeTag(r.ulMtrxTime, c.lTime);
  r.fRcorr = static_cast<float>(c.uRcorr / 15.0);
  setDfrei(r, c.uDfrei, true);
  r.set_ReadyDFREData(source_);
  SBASData::set_TimeTag(r.ulDfreTime, c.lTime);
  put_Sat(sv, r);
}

void DFMC_SbasDataDecoder::process_Degradation() {
  if (degr_.bNew == 0) return;
  degr_.bNew = 0;
  if (store_ == nullptr || iInstance_ >= kPoolSize) return;
  using G = SBASData::DFMC_DegradationDataType;
  G g;
  if (store_->dfmcSbasDegradation[iInstance_].Take(&g) == 0) g.init();
  g.set_ReadyDegradData(source_);
  SBASData::set_TimeTag(g.ulTime, degr_.lTime);
  g.uIvalid32 = degr_.uIvalid32;
  g.uIvalid3940 = degr_.uIvalid3940;
  g.fCer = static_cast<float>(degr_.uCer * 0.5);
  g.fCcovariance = static_cast<float>(degr_.uCcovariance * 0.1);
  for (int k = 0; k < G::kBlocks; ++k) {
    g.uIcorr[k] = degr_.uIcorr[k];
    g.fCcorr[k] = static_cast<float>(degr_.uCcorr[k] * 0.01);
    g.fRcorr[k] = static_cast<float>(degr_.uRcorr[k] * 0.2);
  }
  g.uBlockFlags = (1u << G::kBlocks) - 1;
  for (int i = 0; i < G::kDfreEntries; ++i) g.fSigmaDfre[i] = static_cast<float>(degr_.uDfre[i] * kDfreScale[i]);
  store_->dfmcSbasDegradation[iInstance_].Put(&g);
}

// ---- source state ------------------------------------------------------------------------------------

void DFMC_SbasDataDecoder::update_SourceStateData(bool stamp) {
  if (store_ == nullptr || iInstance_ >= kPoolSize) return;
  using S = SBASData::DFMC_SourceStateDataType;
  S st;
  if (store_->dfmcSbasSourceState.Take(iInstance_, &st) == 0) st = S{};
  st.uPrn = source_.sys < SYS_NUM ? static_cast<std::uint8_t>(source_.si + SYS_SI_MIN[source_.sys]) : kNone;
  st.uSystem = source_.sys;
  for (std::uint64_t& s : st.ullSatSet) s = 0;
  bool any = false;
  std::int32_t newest = -1;
  for (int i = 0; i < kMasks; ++i) {
    if (!live(i)) continue;
    any = true;
    for (int s = 0; s < SYS_NUM; ++s) st.ullSatSet[s] |= mask_[i].ullSatSet[s];
    if (newest < 0 || ageS(mask_[i].lTime) < ageS(newest)) newest = mask_[i].lTime;
  }
  if (any) SBASData::set_TimeTag(st.ulMaskTime, newest);
  st.uFlags = static_cast<std::uint8_t>(any ? (st.uFlags | S::kMaskValid) : (st.uFlags & ~S::kMaskValid));
  st.uFlags = static_cast<std::uint8_t>(bTestMode_ ? (st.uFlags | S::kTestMode) : (st.uFlags & ~S::kTestMode));
  if (stamp) {
    SBASData::set_TimeTag(st.ulTime, lTag_);
    lLastUpdate_ = lTag_;
  }
  ++st.ulMessages;
  store_->dfmcSbasSourceState.Put(iInstance_, &st);
}
