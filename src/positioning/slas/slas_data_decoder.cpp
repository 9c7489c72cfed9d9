#include "positioning/slas/slas_data_decoder.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "navigation_data/bit_extract.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/data_servers/sbas_data_types.h"
#include "positioning/engine/pvt_engine.h"
#include "positioning/geodesy/ell_math.h"

SlasDataDecoder SlasDataDecoderInstance[SlasDataDecoder::kPoolSize];

SlasDataDecoder::StationEntryType SlasDataDecoder::StationData[kStations];
SlasDataDecoder::PrnMaskType SlasDataDecoder::PrnMaskData[kMasks];
SlasDataDecoder::IodSetType SlasDataDecoder::IodData[kIodSets];
SlasDataDecoder::CorrBlockType SlasDataDecoder::CorrData[kIodSets][kStations];
std::uint8_t SlasDataDecoder::uStationPriority[kStations];
std::uint8_t SlasDataDecoder::uSortedStationCode[kStations];
int SlasDataDecoder::iSortedStationNum = 0;

namespace {

constexpr std::int64_t kWeekMs = 604800000;
constexpr int kDataBits = 212;
constexpr double kDegToRad = 3.14159265358979323846 / 180.0;
constexpr double kCorrUnit = 0.04;  // m
constexpr char kStationDatum[] = "W84";

int gInstances = 0;
// The SLAS decoder each SBAS decoder handed its last message to, plus 1; 0 none.
int gLastUsedBy[SBASData::kSbasSources] = {};

int field(const std::uint8_t* m, int pos, int n) { return SlasDecUtility::extract_DataField(m, pos, n, false); }
int sfield(const std::uint8_t* m, int pos, int n) { return SlasDecUtility::extract_DataField(m, pos, n, true); }

// A 23-bit slot set as broadcast (first slot in the top bit) into bit k = slot k.
std::uint32_t slotSet(const std::uint8_t* m, int pos) {
  const std::uint32_t v = static_cast<std::uint32_t>(field(m, pos, SlasDataDecoder::kSlots));
  std::uint32_t out = 0;
  for (int k = 0; k < SlasDataDecoder::kSlots; ++k)
    if (((v >> (SlasDataDecoder::kSlots - 1 - k)) & 1u) != 0) out |= 1u << k;
  return out;
}

bool fresh(std::int32_t now, SLASData::TimeTag tag, double timeout) {
  return SLASData::is_FreshTimeTag(static_cast<int>(now), tag, timeout);
}

}  // namespace

namespace SlasDecUtility {
std::int32_t extract_DataField(const std::uint8_t* msg, int pos, int nBits, bool isSigned) {
  if (msg == nullptr || nBits < 1 || nBits > 32 || pos < 1 || pos + nBits - 1 > kDataBits) return 0;
  return SbasDecUtility::extract_DataField(msg, pos, nBits, isSigned);
}
}  // namespace SlasDecUtility

SlasDataDecoder::SlasDataDecoder() : iInstance_(gInstances++) {}

void SlasDataDecoder::init_Object(PVTDataType* store) {
  store_ = store;
  source_ = EmptySvId;
  ulLastUse_ = 0;
  if (iInstance_ == 0) clear_Store();
}

void SlasDataDecoder::clear_Store() {
  for (StationEntryType& s : StationData) s = StationEntryType{};
  for (PrnMaskType& m : PrnMaskData) m = PrnMaskType{};
  for (IodSetType& s : IodData) s = IodSetType{};
  for (auto& row : CorrData)
    for (CorrBlockType& b : row) b = CorrBlockType{};
  for (std::uint8_t& r : uStationPriority) r = kNoRank;
  for (std::uint8_t& c : uSortedStationCode) c = kNoRank;
  iSortedStationNum = 0;
  for (int& d : gLastUsedBy) d = 0;
}

void SlasDataDecoder::update_SetupData() {
  PosSetup::CorrProcessorSetupType s;
  if (PVTDataInstance.corrProcessorSetup.Take(&s) == 0) return;
  bCheckSlasStationHealth = s.aBytes[kSetupStationHealthOffset];
  std::memcpy(&bsUsableSlasSource, s.aBytes + kSetupUsableSourceOffset, sizeof bsUsableSlasSource);
}

// ---- pool ----------------------------------------------------------------------------------------

SlasDataDecoder* get_SlasDataDecoder(const PosData::RcvTimeDataType& t, const SvIdType& source) {
  SlasDataDecoder* d = SlasDataDecoderInstance;
  for (int i = 0; i < SlasDataDecoder::kPoolSize; ++i)
    if (d[i].source().sys == source.sys && d[i].source().si == source.si) return &d[i];
  for (int i = 0; i < SlasDataDecoder::kPoolSize; ++i)
    if (d[i].source().sys == kSvUnknown) return &d[i];
  // Ages by unsigned difference, so that the receiver's time tag may wrap.
  const std::uint32_t a0 = t.ulTimeTag - d[0].lastUse();
  const std::uint32_t a1 = t.ulTimeTag - d[1].lastUse();
  const std::uint32_t a2 = t.ulTimeTag - d[2].lastUse();
  if (a2 > a0 && a2 > a1) return &d[2];
  return a1 > a0 ? &d[1] : &d[0];
}

int SlasDataDecoder_handOn(int sbasDecoder, const PosData::RcvTimeDataType& t, const PosData::PositionDataType& pos,
                           const SvIdType& source, int type, const std::uint8_t* msg) {
  SlasDataDecoder::update_SetupData();
  SlasDataDecoder* d = get_SlasDataDecoder(t, source);
  if (sbasDecoder >= 0 && sbasDecoder < SBASData::kSbasSources) gLastUsedBy[sbasDecoder] = d->instance() + 1;
  return d->update(t, pos, source, type, msg);
}

void SlasDataDecoder_resetFor(int sbasDecoder) {
  if (sbasDecoder < 0 || sbasDecoder >= SBASData::kSbasSources) return;
  const int d = gLastUsedBy[sbasDecoder] - 1;
  gLastUsedBy[sbasDecoder] = 0;
  if (d >= 0 && d < SlasDataDecoder::kPoolSize) SlasDataDecoderInstance[d].check_ResetOfData(true);
}

// ---- update ----------------------------------------------------------------------------------------

int SlasDataDecoder::update(const PosData::RcvTimeDataType& t, const PosData::PositionDataType& pos,
                            const SvIdType& source, int type, const std::uint8_t* msg) {
  if (msg == nullptr || source.sys != kSysQzss || source.si >= 32) return 0;
  if (((bsUsableSlasSource >> source.si) & 1u) == 0) return 0;
  if (t.qzss.uStatus[0] == 0 || t.qzss.ulMs >= kWeekMs) return 0;
  time_ = t;
  source_ = source;
  lTag_ = static_cast<std::int32_t>(
      ((static_cast<std::int64_t>(t.qzss.ulMs) - kReceptionDelayMs) % kWeekMs + kWeekMs) % kWeekMs);
  pos_ = pos;
  check_ResetOfData(false);
  switch (type) {
    case 47: decode_StationInfo(msg); break;
    case 48: decode_PrnMask(msg); break;
    case 49: decode_Iod(msg); break;
    case 50: decode_Corrections(msg); break;
    default: break;  // 43, 44 and 51 carry nothing this receiver uses
  }
  process_StationData();
  if (iSortedStationNum > 0) process_CorrData();
  return 1;
}

// A store that aged only at a change of source would let an hours-old issue-of-data set read
// the corrections of the first messages after an outage: every entry ages at every message.
void SlasDataDecoder::check_ResetOfData(bool reset) {
  if (reset) {
    reset_StoredSlasData();
    for (std::uint8_t& r : uStationPriority) r = kNoRank;
    for (std::uint8_t& c : uSortedStationCode) c = kNoRank;
    iSortedStationNum = 0;
  }
  using SC = SLASData::SatCorrectionType;
  for (PrnMaskType& m : PrnMaskData)
    if (m.bValid != 0 && !fresh(lTag_, m.ulTime, SC::get_MaskTimeout())) m.bValid = 0;
  for (IodSetType& s : IodData)
    if (s.bValid != 0 && !fresh(lTag_, s.ulTime, SC::get_IodTimeout())) s.bValid = 0;
  for (auto& row : CorrData)
    for (CorrBlockType& b : row)
      if (b.bValid != 0 && !fresh(lTag_, b.ulTime, SC::get_CorrTimeout())) b.bValid = 0;
  for (StationEntryType& s : StationData)
    if (s.bValid != 0 && !fresh(lTag_, s.ulTime, SLASData::StationDataType::get_StationDataTimeout())) s.bValid = 0;
}

void SlasDataDecoder::reset_StoredSlasData() {
  if (store_ == nullptr) return;
  SLASData::StationDataType none;
  for (int i = 0; i < SLASData::kSlasSources; ++i) {
    store_->slasSatCorrection[i].Init();
    store_->slasStationData[i].Put(&none);
  }
}

// ---- decoding ----------------------------------------------------------------------------------------

void SlasDataDecoder::decode_StationInfo(const std::uint8_t* msg) {
  for (int i = 0; i < 5; ++i) {
    const int o = 1 + 42 * i;
    const int code = field(msg, o, 6);
    if (code >= kStations) continue;
    StationEntryType& s = StationData[code];
    s.uCode = static_cast<std::uint8_t>(code);
    s.iLat = static_cast<std::int16_t>(sfield(msg, o + 6, 15));
    s.iLon = static_cast<std::int16_t>(sfield(msg, o + 21, 15));
    s.uHeight = static_cast<std::uint8_t>(field(msg, o + 36, 6));
    const double lat = s.iLat * 0.005 * kDegToRad;
    const double lon = (115.0 + s.iLon * 0.005) * kDegToRad;
    const double h = s.uHeight * 50.0 - 100.0;
    EllMath::BLH_XYZ(EllExt, lat, lon, h, s.dPos[0], s.dPos[1], s.dPos[2]);
    const double dx = s.dPos[0] - pos_.dX, dy = s.dPos[1] - pos_.dY, dz = s.dPos[2] - pos_.dZ;
    const double d = std::floor(std::sqrt(dx * dx + dy * dy + dz * dz));
    s.ulDistance = std::isfinite(d) && d < 4.0e9 ? static_cast<std::uint32_t>(d) : 0xFFFFFFFFu;
    SLASData::set_TimeTag(s.ulTime, lTag_);
    s.bValid = 1;
  }
}

void SlasDataDecoder::decode_PrnMask(const std::uint8_t* msg) {
  const int number = field(msg, 1, 2);
  PrnMaskType& m = PrnMaskData[number];
  const PrnMaskType before = m;
  m.uSlots = 0;
  // System order; within a system, satellite order; the first 23 set bits are kept.
  struct Run {
    int sys, pos, bits, first, usable;
  };
  static constexpr Run kRuns[] = {
      {kSysGps, 3, 32, 0, 32},      {kSysQzss, 67, 9, 0, 7},     {kSysGlonass, 76, 32, 0, 30},
      {kSysGalileo, 112, 32, 0, 32}, {kSysGalileo, 144, 4, 32, 4}, {kSysBeidou, 148, 32, 0, 32},
      {kSysBeidou, 180, 4, 32, 4},
  };
  for (const Run& r : kRuns) {
    const std::uint32_t v = static_cast<std::uint32_t>(field(msg, r.pos, r.bits));
    for (int b = 0; b < r.usable && m.uSlots < kSlots; ++b) {
      if (((v >> (r.bits - 1 - b)) & 1u) == 0) continue;
      SvIdType sv;
      if (!svIdFromSatNumber(r.sys, SYS_SAT_MIN[r.sys] + r.first + b, sv)) continue;
      m.slot[m.uSlots++] = sv;
    }
  }
  SLASData::set_TimeTag(m.ulTime, lTag_);
  m.bValid = 1;
  // The mask is repeated unchanged far more often than it changes: what was decoded for the
  // same satellites stays, what named other satellites under this number goes.
  if (before.bValid != 0 && before.uSlots == m.uSlots &&
      std::equal(m.slot, m.slot + m.uSlots, before.slot))
    return;
  for (IodSetType& s : IodData)
    if (s.uMask == number) s.bValid = 0;
  for (auto& row : CorrData)
    for (CorrBlockType& b : row)
      if (b.uMask == number) b.bValid = 0;
}

void SlasDataDecoder::decode_Iod(const std::uint8_t* msg) {
  const int mask = field(msg, 210, 2);
  if (PrnMaskData[mask].bValid == 0) return;
  IodSetType& s = IodData[field(msg, 1, 2)];
  s.ulSlotSet = slotSet(msg, 3);
  int n = 0;
  for (int k = 0; k < kSlots; ++k) {
    s.uIod[k] = 0;
    if (((s.ulSlotSet >> k) & 1u) != 0) s.uIod[k] = static_cast<std::uint8_t>(field(msg, 26 + 8 * n++, 8));
  }
  s.uMask = static_cast<std::uint8_t>(mask);
  SLASData::set_TimeTag(s.ulTime, lTag_);
  s.bValid = 1;
}

// Fourteen 12-bit corrections fill the data bits from bit 35 (a fifteenth would reach into the
// CRC): slots of the set past the values read get none, and only slots that got one join the
// block's set.
void SlasDataDecoder::decode_Corrections(const std::uint8_t* msg) {
  const int mask = field(msg, 1, 2);
  if (PrnMaskData[mask].bValid == 0) return;
  const int code = field(msg, 5, 6);
  if (code >= kStations) return;
  CorrBlockType& b = CorrData[field(msg, 3, 2)][code];
  // A block of another mask, or one that aged out, keeps nothing of what it held.
  if (b.bValid == 0 || b.uMask != mask) {
    b.ulSlotSet = 0;
    for (std::int16_t& c : b.iCorr) c = 0;
  }
  const std::uint32_t set = slotSet(msg, 12);
  int n = 0;
  for (int k = 0; k < kSlots && n < kMaxMt50Corrections; ++k) {
    if (((set >> k) & 1u) == 0) continue;
    b.iCorr[k] = static_cast<std::int16_t>(sfield(msg, 35 + 12 * n++, 12));
    b.ulSlotSet |= 1u << k;
  }
  b.uPending = static_cast<std::uint8_t>(std::popcount(b.ulSlotSet));
  b.uMask = static_cast<std::uint8_t>(mask);
  b.uCode = static_cast<std::uint8_t>(code);
  b.bHealthy = field(msg, 11, 1) == 0 ? 1 : 0;
  SLASData::set_TimeTag(b.ulTime, lTag_);
  b.bValid = 1;
}

// ---- processing ------------------------------------------------------------------------------------

void SlasDataDecoder::process_StationData() {
  iSortedStationNum = 0;
  for (std::uint8_t& r : uStationPriority) r = kNoRank;
  for (std::uint8_t& c : uSortedStationCode) c = kNoRank;
  // Insertion by distance; codes arrive in increasing order, so a tie keeps the lower code first.
  for (int c = 0; c < kStations; ++c) {
    if (StationData[c].bValid == 0) continue;
    int at = iSortedStationNum;
    while (at > 0 && StationData[uSortedStationCode[at - 1]].ulDistance > StationData[c].ulDistance) {
      uSortedStationCode[at] = uSortedStationCode[at - 1];
      --at;
    }
    uSortedStationCode[at] = static_cast<std::uint8_t>(c);
    ++iSortedStationNum;
  }
  for (int r = 0; r < iSortedStationNum; ++r) uStationPriority[uSortedStationCode[r]] = static_cast<std::uint8_t>(r);
}

void SlasDataDecoder::process_CorrData() {
  for (int s = 0; s < kIodSets; ++s) {
    const IodSetType& iod = IodData[s];
    if (iod.bValid == 0) continue;
    const PrnMaskType& m = PrnMaskData[iod.uMask & 3];
    if (m.bValid == 0 || m.uSlots == 0) continue;
    for (int c = 0; c < kStations; ++c) {
      const CorrBlockType& b = CorrData[s][c];
      if (StationData[c].bValid == 0 || b.bValid == 0 || b.uPending == 0 || b.uMask != iod.uMask) continue;
      if (bCheckSlasStationHealth != 0 && b.bHealthy == 0) continue;
      if (uStationPriority[c] != 0) continue;
      publish_Block(s, c);
    }
  }
}

// Corrections held until their station became known keep the time of their own message.
void SlasDataDecoder::publish_Block(int set, int code) {
  if (store_ == nullptr) return;
  CorrBlockType& b = CorrData[set][code];
  const IodSetType& iod = IodData[set];
  const PrnMaskType& m = PrnMaskData[iod.uMask & 3];
  const StationEntryType& e = StationData[code];
  const int slot = get_SlasSourceIndex(time_.ulTimeTag, static_cast<std::uint16_t>(code));
  if (slot < 0 || slot >= SLASData::kSlasSources) return;
  station_.init();
  station_.dX = e.dPos[0];
  station_.dY = e.dPos[1];
  station_.dZ = e.dPos[2];
  station_.ulDistance = e.ulDistance;
  station_.ulTime = time_.ulTimeTag;
  station_.uStationCode = static_cast<std::uint16_t>(code);
  std::memcpy(station_.cDatum, kStationDatum, sizeof kStationDatum);
  store_->slasStationData[slot].Put(&station_);
  for (int k = 0; k < m.uSlots && k < kSlots; ++k) {
    const std::uint32_t bit = 1u << k;
    if ((b.ulSlotSet & bit) == 0 || (iod.ulSlotSet & bit) == 0) continue;
    b.ulSlotSet &= ~bit;
    if (b.uPending > 0) --b.uPending;
    const SvIdType& sv = m.slot[k];
    if (store_->slasSatCorrection[slot].Take(&sv, &corr_) == 0 || corr_.uStationCode != code) corr_.init();
    if (corr_.is_ReadyCorrData(0, lTag_) && corr_.uIod[0] != iod.uIod[k]) {
      corr_.ulTime[1] = corr_.ulTime[0];
      corr_.fPrc[1] = corr_.fPrc[0];
      corr_.uIod[1] = corr_.uIod[0];
    }
    corr_.ulTime[0] = b.ulTime;
    corr_.fPrc[0] = static_cast<float>(b.iCorr[k] * kCorrUnit);
    corr_.uIod[0] = iod.uIod[k];
    corr_.uStationCode = static_cast<std::uint16_t>(code);
    store_->slasSatCorrection[slot].Put(&sv, &corr_);
    ulLastUse_ = time_.ulTimeTag;
  }
}
