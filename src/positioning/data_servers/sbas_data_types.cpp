#include "positioning/data_servers/sbas_data_types.h"

#include <algorithm>
#include <cstring>

#include "positioning/data_servers/pvt_data.h"
#include "positioning/data_servers/tag_age.h"

namespace SBASData {

namespace {

template <class T>
T readField(const PosSetup::CorrProcessorSetupType& s, std::size_t offset) {
  T v;
  std::memcpy(&v, s.aBytes + offset, sizeof v);
  return v;
}

// Time-outs (s) by SBAS operating mode 1 and 2..4 (DO-229D A.4.5.1, table A-25; the fast
// corrections by a_i index, table A-8).
constexpr double kUdreTimeout[2] = {12, 18};
constexpr double kCommDegrTimeout[2] = {240, 360};  // MT28, MT7, long-term
constexpr double kPrnMaskTimeout[2] = {600, 600};
constexpr double kFastTimeout[2][kFastCorrTimeouts] = {
    {120, 120, 102, 90, 90, 78, 66, 54, 42, 30, 30, 18, 18, 18, 12, 12},
    {180, 180, 153, 135, 135, 117, 99, 81, 63, 45, 45, 27, 27, 27, 18, 18}};
constexpr double kMt10Timeout[2] = {240, 360};
constexpr double kIonoTimeout[2] = {600, 600};
constexpr double kGridTimeout[2] = {1200, 1200};
constexpr double kRegionTimeout = 86400;
constexpr double kDfreTimeout[2] = {12, 18};
constexpr double kDfmcCorrTimeout[2] = {240, 360};
constexpr double kDfmcPrnMaskTimeout = 600;
constexpr double kDfmcDegrTimeout[2] = {240, 360};
// Mode 0 takes the user's time-outs where it has them and long ones elsewhere.
constexpr double kUserPrnMaskTimeout = 3600;
constexpr double kUserMt10Timeout = 3600;
constexpr double kUserGridTimeout = 3600;

// Row of the tables above: mode 1 row 0, every other mode (0 included) row 1.
int rowOf(int mode) { return mode == 1 ? 0 : 1; }

double userTimeout(const PosSetup::CorrProcessorSetupType* s) {
  return readField<std::uint16_t>(*s, kSetupSbasDataTimeoutOffset);
}
double userIonoTimeout(const PosSetup::CorrProcessorSetupType* s) {
  return readField<std::uint16_t>(*s, kSetupSbasIonoTimeoutOffset);
}

// Clears `bit` of `bits` when the tag is no longer fresh; true when it did.
template <class Bits>
bool expire(Bits& bits, Bits bit, int nowMs, TimeTag tag, double timeout) {
  if ((bits & bit) == 0 || is_FreshTimeTag(nowMs, tag, timeout)) return false;
  bits = static_cast<Bits>(bits & ~bit);
  return true;
}

}  // namespace

// ---- time tags ---------------------------------------------------------------------------------

void set_TimeTag(TimeTag& tag, int ms) {
  if (ms < 0) {
    clear_TimeTag(tag);
    return;
  }
  tag = (static_cast<std::uint32_t>(ms) << 1) | 1u;
}

double get_TimeTagAge(int nowMs, TimeTag tag, bool fromReception) {
  if (!is_ValidTimeTag(tag)) return kInvalidTagAge;
  const double age = TagAge::foldedSeconds(static_cast<std::int64_t>(nowMs) - (tag >> 1), 2 * kHalfWeek);
  return fromReception ? age - kReceptionDelay : age;
}

double get_DeltaTimeTag(TimeTag a, TimeTag b) {
  if (!is_ValidTimeTag(a) || !is_ValidTimeTag(b)) return kInvalidTagAge;
  return TagAge::foldedSeconds(static_cast<std::int64_t>(a >> 1) - (b >> 1), 2 * kHalfWeek);
}

bool is_FreshTimeTag(int nowMs, TimeTag tag, double timeout) {
  if (!is_ValidTimeTag(tag)) return false;
  const double age = get_TimeTagAge(nowMs, tag, true);
  return age >= -kReceptionDelay && age <= timeout;
}

std::uint8_t sourceIndexOf(const SvIdType& source) {
  if (source.si >= kNoSource) return kNoSource;
  return source.si;
}

int get_SbasMode(const PosSetup::CorrProcessorSetupType& s) {
  const std::uint32_t m = readField<std::uint32_t>(s, kSetupSbasModeOffset);
  return m <= 4 ? static_cast<int>(m) : 2;
}

// ---- satellite corrections ---------------------------------------------------------------------

void SatCorrectionType::init() {
  const DataBufferHeaderType h = header;
  std::memset(this, 0, sizeof *this);
  header = h;
  uHeader = static_cast<std::uint16_t>(kNoSource << kSourceShift);
  uRateIodf[0] = uRateIodf[1] = kNoIodf;
}

void SatCorrectionType::setReady(const SvIdType& source, std::uint16_t bit) {
  const std::uint8_t index = sourceIndexOf(source);
  if (index != get_SourceIndex()) {
    uHeader = 0;
    for (TimeTag* t : {&ulUdreTime, &ulFastTime[0], &ulFastTime[1], &ulRateTime, &ulDegrTime, &ulLongTime,
                       &ulPrevLongTime, &ulMtrxTime})
      clear_TimeTag(*t);
  }
  uHeader = static_cast<std::uint16_t>((uHeader & kReadyMask) | bit | (index << kSourceShift));
}

double SatCorrectionType::get_FastCorrTimeoutOfSat(int nowMs) const {
  if (is_ReadyDegrData(nowMs)) return get_FastCorrTimeout(get_AiIndex());
  return get_FastCorrTimeout(15);
}

bool SatCorrectionType::is_ReadyUDREData(int nowMs) const {
  return (uHeader & kUdre) != 0 && is_FreshTimeTag(nowMs, ulUdreTime, dUdreTimeout);
}
bool SatCorrectionType::is_ReadyFastCorr(int nowMs) const {
  return (uHeader & kFastCorr) != 0 && is_FreshTimeTag(nowMs, ulFastTime[0], get_FastCorrTimeoutOfSat(nowMs));
}
bool SatCorrectionType::is_ReadyRateCorr(int nowMs) const {
  return (uHeader & kRateCorr) != 0 && is_FreshTimeTag(nowMs, ulRateTime, get_FastCorrTimeoutOfSat(nowMs));
}
bool SatCorrectionType::is_ReadyDegrData(int nowMs) const {
  return (uHeader & kDegrData) != 0 && is_FreshTimeTag(nowMs, ulDegrTime, dCommDegrTimeout);
}
bool SatCorrectionType::is_ReadyLongCorr(int nowMs) const {
  return (uHeader & kLongCorr) != 0 && is_FreshTimeTag(nowMs, ulLongTime, dCommDegrTimeout);
}
bool SatCorrectionType::is_ReadyPrevLong(int nowMs) const {
  return (uHeader & kPrevLong) != 0 && is_FreshTimeTag(nowMs, ulPrevLongTime, dCommDegrTimeout);
}
bool SatCorrectionType::is_ReadyMtrxData(int nowMs) const {
  return (uHeader & kMtrxData) != 0 && is_FreshTimeTag(nowMs, ulMtrxTime, dCommDegrTimeout);
}

bool SatCorrectionType::clear_ExpiredData(int nowMs) {
  // The fast-correction time-out depends on the MT7 part, so it is judged before MT7 goes.
  const double fast = get_FastCorrTimeoutOfSat(nowMs);
  bool any = false;
  any |= expire<std::uint16_t>(uHeader, kUdre, nowMs, ulUdreTime, dUdreTimeout);
  any |= expire<std::uint16_t>(uHeader, kFastCorr, nowMs, ulFastTime[0], fast);
  any |= expire<std::uint16_t>(uHeader, kRateCorr, nowMs, ulRateTime, fast);
  any |= expire<std::uint16_t>(uHeader, kDegrData, nowMs, ulDegrTime, dCommDegrTimeout);
  any |= expire<std::uint16_t>(uHeader, kLongCorr, nowMs, ulLongTime, dCommDegrTimeout);
  any |= expire<std::uint16_t>(uHeader, kPrevLong, nowMs, ulPrevLongTime, dCommDegrTimeout);
  any |= expire<std::uint16_t>(uHeader, kMtrxData, nowMs, ulMtrxTime, dCommDegrTimeout);
  return any;
}

void SatCorrectionType::set_DataTimeout(const PosSetup::CorrProcessorSetupType* s) {
  if (s == nullptr) return;
  const int mode = get_SbasMode(*s);
  const int row = rowOf(mode);
  dUdreTimeout = kUdreTimeout[row];
  dCommDegrTimeout = kCommDegrTimeout[row];
  dPrnMaskTimeout = kPrnMaskTimeout[row];
  for (int i = 0; i < kFastCorrTimeouts; ++i) dFastTimeout[i] = kFastTimeout[row][i];
  if (mode != 0) return;
  const double u = userTimeout(s);
  dUdreTimeout = u;
  dCommDegrTimeout = std::max(kCommDegrTimeout[1], u);
  dPrnMaskTimeout = kUserPrnMaskTimeout;
  // A user time-out lengthens the fast-correction time-outs only beyond the longest of them.
  if (u > kFastTimeout[1][0])
    for (double& t : dFastTimeout) t = u;
}

// ---- ionosphere grid ---------------------------------------------------------------------------

void IonoCorrectionType::set_Correction(int delay, int givei) {
  const std::uint32_t keep = ulBits & ~((0xFu << kGiveShift) | (0x1FFu << kDelayShift));
  ulBits = keep | ((static_cast<std::uint32_t>(givei) & 0xFu) << kGiveShift) |
           ((static_cast<std::uint32_t>(delay) & 0x1FFu) << kDelayShift);
}

void IonoCorrectionType::setReady(const SvIdType& source, std::uint32_t bit) {
  const std::uint8_t index = sourceIndexOf(source);
  if (index != get_SourceIndex()) {
    ulBits &= ~(kGridReady | kCorrReady | (0x1Fu << kSourceShift));
    clear_TimeTag(ulGridTime);
    clear_TimeTag(ulCorrTime);
  }
  ulBits = (ulBits & ~(0x1Fu << kSourceShift)) | bit | (static_cast<std::uint32_t>(index) << kSourceShift);
}

bool IonoCorrectionType::is_ReadyGridData(int nowMs) const {
  return (ulBits & kGridReady) != 0 && is_FreshTimeTag(nowMs, ulGridTime, dGridTimeout);
}
bool IonoCorrectionType::is_ReadyIonoCorr(int nowMs) const {
  return (ulBits & kCorrReady) != 0 && is_FreshTimeTag(nowMs, ulCorrTime, dIonoTimeout);
}

bool IonoCorrectionType::clear_ExpiredData(int nowMs) {
  bool any = expire<std::uint32_t>(ulBits, kGridReady, nowMs, ulGridTime, dGridTimeout);
  any |= expire<std::uint32_t>(ulBits, kCorrReady, nowMs, ulCorrTime, dIonoTimeout);
  return any;
}

void IonoCorrectionType::set_DataTimeout(const PosSetup::CorrProcessorSetupType* s) {
  if (s == nullptr) return;
  const int mode = get_SbasMode(*s);
  const int row = rowOf(mode);
  dIonoTimeout = mode == 0 ? userIonoTimeout(s) : kIonoTimeout[row];
  dGridTimeout = mode == 0 ? kUserGridTimeout : kGridTimeout[row];
}

void IonoBandDataType::init() {
  for (auto& p : uPoint) p = 0;
  for (auto& w : iBlockWord) w = -1;
  for (auto& b : uBlockByte) b = 0;
  for (auto& t : ulGridTime) t = 0;
  for (auto& t : ulCorrTime) t = 0;
  iIssue = -1;
}

// Word layout: bit 14 <- bit 0, bit 13 <- bit 1, bits 9..12 <- bits 2..5, bits 0..8 <- bits
// 6..14 of the correction.
void IonoBandDataType::pack(int point, std::uint32_t c) {
  const std::uint32_t w = ((c & 0x1u) << 14) | ((c & 0x2u) << 12) | (((c >> 2) & 0xFu) << 9) |
                          ((c >> 6) & 0x1FFu);
  uPoint[point] = static_cast<std::uint16_t>(w);
  uBlockByte[point / kIonoPointsPerBlock] = static_cast<std::uint8_t>((c >> 15) & 0x1Fu);
}

std::uint32_t IonoBandDataType::unpack(int point) const {
  const std::uint32_t w = uPoint[point];
  return ((w >> 14) & 0x1u) | (((w >> 13) & 0x1u) << 1) | (((w >> 9) & 0xFu) << 2) |
         ((w & 0x1FFu) << 6) |
         (static_cast<std::uint32_t>(uBlockByte[point / kIonoPointsPerBlock] & 0x1Fu) << 15);
}

// ---- MT10 degradation --------------------------------------------------------------------------

void DegradationDataType::init() {
  std::memset(this, 0, sizeof *this);
  bReady = static_cast<std::uint8_t>(kNoSource << 1);
}

void DegradationDataType::set_ReadyDegradData(const SvIdType& source) {
  const std::uint8_t index = sourceIndexOf(source);
  if (index != get_SourceIndex()) clear_TimeTag(ulTime);
  bReady = static_cast<std::uint8_t>(kReady | (index << 1));
}

bool DegradationDataType::is_ReadyDegradData(int nowMs) const {
  return (bReady & kReady) != 0 && is_FreshTimeTag(nowMs, ulTime, dTimeout);
}

bool DegradationDataType::clear_ExpiredData(int nowMs) {
  return expire<std::uint8_t>(bReady, kReady, nowMs, ulTime, dTimeout);
}

void DegradationDataType::set_DataTimeout(const PosSetup::CorrProcessorSetupType* s) {
  if (s == nullptr) return;
  const int mode = get_SbasMode(*s);
  dTimeout = mode == 0 ? kUserMt10Timeout : kMt10Timeout[rowOf(mode)];
}

// ---- MT27 service regions ----------------------------------------------------------------------

void RegionServiceDataType::init() {
  std::memset(this, 0, sizeof *this);
  bReady = static_cast<std::uint8_t>(kNoSource << 1);
}

void RegionServiceDataType::set_ReadyRegionData(const SvIdType& source) {
  const std::uint8_t index = sourceIndexOf(source);
  if (index != get_SourceIndex()) clear_TimeTag(ulTime);
  bReady = static_cast<std::uint8_t>(kReady | (index << 1));
}

bool RegionServiceDataType::is_ReadyRegionData(int nowMs) const {
  return (bReady & kReady) != 0 && is_FreshTimeTag(nowMs, ulTime, dTimeout);
}

bool RegionServiceDataType::clear_ExpiredData(int nowMs) {
  return expire<std::uint8_t>(bReady, kReady, nowMs, ulTime, dTimeout);
}

void RegionServiceDataType::set_DataTimeout(const PosSetup::CorrProcessorSetupType* s) {
  if (s == nullptr) return;
  dTimeout = kRegionTimeout;
}

// ---- DFMC --------------------------------------------------------------------------------------

void DFMC_SatCorrectionType::init() {
  const DataBufferHeaderType h = header;
  std::memset(this, 0, sizeof *this);
  header = h;
  uSource = 255;
}

void DFMC_SatCorrectionType::takeSource(const SvIdType& source) {
  const std::uint8_t index = sourceIndexOf(source);
  if (index == uSource) return;
  uReadyDfre = uReadyCorr[0] = uReadyCorr[1] = uReadyMtrx = 0;
  for (TimeTag* t : {&ulDfreTime, &ulCorrTime[0], &ulCorrTime[1], &ulMtrxTime}) clear_TimeTag(*t);
  uSource = index;
}

void DFMC_SatCorrectionType::set_ReadyDFREData(const SvIdType& source) {
  takeSource(source);
  uReadyDfre = 1;
}
void DFMC_SatCorrectionType::set_ReadyCorrData(const SvIdType& source, int block) {
  if (block != 0 && block != 1) return;
  takeSource(source);
  uReadyCorr[block] = 1;
}
void DFMC_SatCorrectionType::set_ReadyMtrxData(const SvIdType& source) {
  takeSource(source);
  uReadyMtrx = 1;
}

bool DFMC_SatCorrectionType::is_ReadyDFREData(int nowMs) const {
  return uReadyDfre != 0 && is_FreshTimeTag(nowMs, ulDfreTime, dDfreTimeout);
}
bool DFMC_SatCorrectionType::is_ReadyCorrData(int nowMs, int block) const {
  if (block != 0 && block != 1) return false;
  return uReadyCorr[block] != 0 && is_FreshTimeTag(nowMs, ulCorrTime[block], dCorrTimeout);
}
bool DFMC_SatCorrectionType::is_ReadyMtrxData(int nowMs) const {
  return uReadyMtrx != 0 && is_FreshTimeTag(nowMs, ulMtrxTime, dCorrTimeout);
}

bool DFMC_SatCorrectionType::clear_ExpiredData(int nowMs) {
  bool any = expire<std::uint8_t>(uReadyDfre, 1, nowMs, ulDfreTime, dDfreTimeout);
  any |= expire<std::uint8_t>(uReadyCorr[0], 1, nowMs, ulCorrTime[0], dCorrTimeout);
  any |= expire<std::uint8_t>(uReadyCorr[1], 1, nowMs, ulCorrTime[1], dCorrTimeout);
  any |= expire<std::uint8_t>(uReadyMtrx, 1, nowMs, ulMtrxTime, dCorrTimeout);
  return any;
}

void DFMC_SatCorrectionType::set_DataTimeout(const PosSetup::CorrProcessorSetupType* s) {
  if (s == nullptr) return;
  const int row = rowOf(get_SbasMode(*s));
  dDfreTimeout = kDfreTimeout[row];
  dCorrTimeout = kDfmcCorrTimeout[row];
  dPrnMaskTimeout = kDfmcPrnMaskTimeout;
}

void DFMC_DegradationDataType::init() {
  std::memset(this, 0, sizeof *this);
  uSource = 255;
}

void DFMC_DegradationDataType::set_ReadyDegradData(const SvIdType& source) {
  const std::uint8_t index = sourceIndexOf(source);
  if (index != uSource) {
    uBlockFlags = 0;
    clear_TimeTag(ulTime);
    uSource = index;
  }
  bReady = 1;
}

bool DFMC_DegradationDataType::is_ReadyDegradData(int nowMs) const {
  return bReady != 0 && is_FreshTimeTag(nowMs, ulTime, dTimeout);
}

bool DFMC_DegradationDataType::clear_ExpiredData(int nowMs) {
  return expire<std::uint8_t>(bReady, 1, nowMs, ulTime, dTimeout);
}

void DFMC_DegradationDataType::set_DataTimeout(const PosSetup::CorrProcessorSetupType* s) {
  if (s == nullptr) return;
  dTimeout = kDfmcDegrTimeout[rowOf(get_SbasMode(*s))];
}

// ---- expiry -------------------------------------------------------------------------------------

namespace {
template <class Server>
int expirePool(Server& server, int nowMs) {
  int cleared = 0;
  for (int slot = 0; slot < SYS_SAT_TOTAL; ++slot) {
    typename Server::RecordType r;
    if (server.Take(slot, &r) == 0 || !r.clear_ExpiredData(nowMs)) continue;
    server.Put(slot, &r);
    ++cleared;
  }
  return cleared;
}

template <class Server>
int expirePlain(Server& server, int nowMs) {
  typename Server::RecordType r;
  if (server.Take(&r) == 0 || !r.clear_ExpiredData(nowMs)) return 0;
  server.Put(&r);
  return 1;
}
}  // namespace

int clear_ExpiredServers(PVTDataType* store, int nowMs) {
  if (store == nullptr) return 0;
  int cleared = 0;
  for (int s = 0; s < kSbasSources; ++s) {
    cleared += expirePool(store->sbasSatCorrection[s], nowMs);
    cleared += store->sbasIonoCorrection[s].clear_ExpiredData(nowMs);
    cleared += expirePlain(store->sbasDegradation[s], nowMs);
    for (int e = 0; e < kRegionServiceEntries; ++e) {
      RegionServiceDataType r;
      if (store->sbasRegionService[s].Take(e, &r) == 0 || !r.clear_ExpiredData(nowMs)) continue;
      store->sbasRegionService[s].Put(e, &r);
      ++cleared;
    }
  }
  for (int s = 0; s < kDfmcSources; ++s) {
    cleared += expirePool(store->dfmcSbasSatCorrection[s], nowMs);
    cleared += expirePlain(store->dfmcSbasDegradation[s], nowMs);
  }
  return cleared;
}

}  // namespace SBASData
