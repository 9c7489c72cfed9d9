#include "differential/cmr/cmr_coder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

CMR_Coder CmrCod(&NavClc);

namespace {

constexpr double kC = 299792458.0;
constexpr double kLightMs = 299792.458;  // the code is sent within one light-millisecond
constexpr double kGpsL1 = 0.19029367279836487, kGpsL2 = 0.24421021342456825;
constexpr int kSlotP1 = 1, kSlotP2 = 2;
constexpr int kMotionKinematic = 2;
constexpr long kPhaseLimit = 1L << 19;   // 20-bit signed fields
constexpr long kRangeLimit = 1L << 15;   // 16-bit signed L2-L1 code
// L1 flag bits (after the 5-bit satellite number) and the L2 flag byte.
constexpr std::uint8_t kL1PCode = 0x04, kL1PhaseValid = 0x02, kL1L2Follows = 0x01;
constexpr std::uint8_t kL2Flags = 0xF8, kL2CodeValid = 0x20, kL2PhaseValid = 0x10;

long roundHalfAway(double x) { return static_cast<long>(x >= 0 ? x + 0.5 : x - 0.5); }

// Most-significant-bit-first writer over a zeroed buffer.
struct BitOut {
  std::uint8_t* d;
  int bit = 0;
  void put(std::uint32_t v, int n) {
    for (int i = n - 1; i >= 0; --i, ++bit)
      if ((v >> i) & 1u) d[bit / 8] |= static_cast<std::uint8_t>(0x80 >> (bit % 8));
  }
};

double wavelength(int sys, int freq, int k) {
  if (sys == kSysGlonass) return kC / (freq == 0 ? 1.602e9 + k * 562500.0 : 1.246e9 + k * 437500.0);
  return freq == 0 ? kGpsL1 : kGpsL2;
}

// A value for a signed field of `limit` (a power of two) each side, or false when it would wrap.
bool fits(double v, long limit, long& out) {
  if (!std::isfinite(v)) return false;
  const long r = roundHalfAway(v);
  if (r < -limit || r >= limit) return false;
  out = r;
  return true;
}

int copyRightAligned(std::uint8_t* d, int width, const char* s, int max, std::uint8_t pad) {
  const int n = static_cast<int>(strnlen(s, static_cast<std::size_t>(max)));
  const int len = std::min(n, width);
  std::memset(d, pad, static_cast<std::size_t>(width - len));
  std::memcpy(d + width - len, s, static_cast<std::size_t>(len));
  return width;
}

}  // namespace

CMR_Coder::CMR_Coder(NAV_Coder_Client* source) : src_(source) {
  set_.stationId = -1;
  set_.l2 = 1;
  init();
}

void CMR_Coder::init() {
  paging_ = false;
  page_ = pages_ = plusLen_ = 0;
  std::memset(lastLock_, 0, sizeof lastLock_);
  std::memset(loss_, 0, sizeof loss_);
}

int CMR_Coder::initCoding(const bool flags[kCmrMsgCount]) {
  const bool idFits = set_.stationId <= kMaxStationId;
  for (int k = 0; k < kCmrMsgCount; ++k) enable_[k] = idFits && flags[k];
  armed_ = false;
  return enable_[kCmrMsgGps] || enable_[kCmrMsgGlonass] ? 1 : 0;
}

void CMR_Coder::makeCoding() {
  armed_ = true;
  rtk_ = nullptr;
  ref_ = nullptr;
  if (enable_[kCmrMsgGps] || enable_[kCmrMsgGlonass]) {
    if (src_ == nullptr || !src_->getRtkData(&rtk_) || rtk_ == nullptr) {
      rtk_ = nullptr;
      enable_[kCmrMsgGps] = enable_[kCmrMsgGlonass] = false;
    }
  }
  bool refPos = false, arp = false;
  if (src_ != nullptr) src_->getRefCoord(false, &ref_, (set_.motion & 3) != kMotionKinematic, refPos, arp);
  if (!refPos || ref_ == nullptr) {
    ref_ = nullptr;
    enable_[kCmrMsgRefCoord] = enable_[kCmrMsgPlus] = false;
  }
}

int CMR_Coder::buildMessage(int kind, std::uint8_t* out, int room) {
  if (!armed_ || !enabled(kind) || out == nullptr) return 0;
  std::uint8_t d[cmr::kMaxDataLen] = {};
  int n = 0;
  std::uint8_t packet = cmr::kPacketCmr;
  switch (kind) {
    case kCmrMsgGps: n = codeObs(kSysGps, d); break;
    case kCmrMsgGlonass: n = codeObs(kSysGlonass, d); break;
    case kCmrMsgRefCoord: n = codeRefCoord(d); break;
    case kCmrMsgDesc: n = codeDesc(d); break;
    default:
      packet = cmr::kPacketCmrPlus;
      // A page the port cannot take is not counted as sent.
      if (room < cmr::kPageHeader + cmr::kPageBytes + cmr::kFrameExtra) return 0;
      n = codePlus(d);
      break;
  }
  return n > 0 ? cmr::writeFrame(packet, d, n, out, room) : 0;
}

std::uint8_t CMR_Coder::stationByte() const {
  // -1 (no station id set) goes out as 0; a larger id than the field holds never gets here.
  const int id = set_.stationId < 0 ? 0 : set_.stationId & kMaxStationId;
  return static_cast<std::uint8_t>(cmr::kVersion << 5 | id);
}

int CMR_Coder::lossCount(int sys, int number, int freq, std::uint32_t lock) {
  const int s = sys & 1, n = std::clamp(number, 0, 32), f = freq & 1;
  if (lock < lastLock_[s][n][f]) ++loss_[s][n][f];
  lastLock_[s][n][f] = lock;
  return loss_[s][n][f];
}

int CMR_Coder::codeObs(int sys, std::uint8_t* d) {
  if (rtk_ == nullptr || !rtk_->bValid[sys]) return 0;
  const int l1 = set_.l1Code < kBaseSignals ? set_.l1Code : 0;
  const int entries = std::min<int>(rtk_->uSatCount, kBaseSats);
  const int limit = rtk_->uCountCmr[sys];
  int seen = 0, count = 0, at = cmr::kHeaderLen;
  for (int i = 0; i < entries && seen < limit && count < kMaxSats; ++i) {
    const RTK_DATA_SV& sv = rtk_->sat[i];
    if (sv.uSystem != sys) continue;
    ++seen;
    const RTK_DATA_SLOT& s1 = sv.slot[l1];
    if (!s1.bPresent || !std::isfinite(s1.dCode) || s1.dCode < 0.0) continue;
    const double lam1 = wavelength(sys, 0, sv.cGloFreq);
    // The code within a light-millisecond in 1/8 cycle; carriers are sent against this code as
    // the reader restores it.
    const double part = std::fmod(s1.dCode, kLightMs);
    const long code = std::min(roundHalfAway(part * 8.0 / lam1), (1L << 24) - 1);
    const double codeQ = s1.dCode - part + code * lam1 / 8.0;
    std::uint8_t flags = kL1PhaseValid;
    if (l1 == kSlotP1) flags |= kL1PCode;
    long cmc = 0;
    const double sign = set_.phaseSign ? -1.0 : 1.0;
    if (!fits(sign * (s1.dPhase - codeQ) * 256.0 / lam1, kPhaseLimit, cmc)) flags &= ~kL1PhaseValid;
    const RTK_DATA_SLOT& s2 = sv.slot[kSlotP2];
    const bool l2 = set_.l2 && s2.bPresent;
    if (l2) flags |= kL1L2Follows;
    const int cnr = s1.uCn0 / 4;
    const int snr = std::min(cnr < 28 ? 0 : (cnr - 28) / 2, 15);

    std::memset(d + at, 0, cmr::kL1Block);
    BitOut w{d + at};
    w.put(sv.uNumber & 31u, 5);
    w.put(flags, 3);
    w.put(static_cast<std::uint32_t>(code), 24);
    w.put(static_cast<std::uint32_t>(cmc), 20);
    w.put(static_cast<std::uint32_t>(snr), 4);
    w.put(static_cast<std::uint32_t>(lossCount(sys, sv.uNumber, 0, s1.ulLock)), 8);
    at += cmr::kL1Block;
    if (l2) {
      const double lam2 = wavelength(sys, 1, sv.cGloFreq);
      std::uint8_t f2 = kL2Flags;
      long range = 0, phase = 0;
      if (!fits((s2.dCode - codeQ) * 100.0, kRangeLimit, range)) f2 &= ~kL2CodeValid;
      if (!fits(sign * (s2.dPhase - codeQ) * 256.0 / lam2, kPhaseLimit, phase)) f2 &= ~kL2PhaseValid;
      std::memset(d + at, 0, cmr::kL2Block);
      BitOut v{d + at};
      v.put(f2 >> 3, 5);
      v.put(0, 3);
      v.put(static_cast<std::uint32_t>(range), 16);
      v.put(static_cast<std::uint32_t>(phase), 20);
      v.put(static_cast<std::uint32_t>(std::min(s2.uCn0 / 4, 60) / 4), 4);
      v.put(static_cast<std::uint32_t>(lossCount(sys, sv.uNumber, 1, s2.ulLock)), 8);
      at += cmr::kL2Block;
    }
    ++count;
  }
  if (count == 0) return 0;
  cmr::Header h;
  h.stationId = stationByte() & 31;
  h.type = static_cast<std::uint8_t>(sys == kSysGlonass ? cmr::kTypeGlonass : cmr::kTypeGps);
  h.low5 = static_cast<std::uint8_t>(count);
  h.timeMs = rtk_->ulTime[sys] % cmr::kTimeModMs;
  h.clockBits = 3;
  cmr::packHeader(h, d);
  return at;
}

void CMR_Coder::stationHeader(int type, std::uint8_t* d) const {
  long t = 0;
  if (src_ == nullptr || !src_->getSysTime(false, t) || t < 0) t = 0;
  cmr::Header h;
  h.stationId = stationByte() & 31;
  h.type = static_cast<std::uint8_t>(type);
  h.low5 = static_cast<std::uint8_t>((set_.lowBattery ? 0x10 : 0) | (set_.lowMemory ? 0x08 : 0) | (set_.l2 ? 0x02 : 0));
  h.timeMs = static_cast<std::uint32_t>(t % cmr::kTimeModMs);
  h.clockBits = static_cast<std::uint8_t>(set_.motion & 3);
  cmr::packHeader(h, d);
}

void CMR_Coder::putCoord(std::uint8_t* d) const {
  std::memset(d, 0, cmr::kRefCoordBody);
  const double axis[3] = {ref_->dX, ref_->dY, ref_->dZ};
  const float off[3] = {ref_->fAntHeight, ref_->fEast, ref_->fNorth};
  BitOut w{d};
  for (int k = 0; k < 3; ++k) {
    const long long mm = std::llround(axis[k] * 1000.0);
    w.put(static_cast<std::uint32_t>(mm >> 2), 32);
    w.put(static_cast<std::uint32_t>(mm & 3), 2);
    const double o = std::isfinite(off[k]) ? std::round(off[k] * 1000.0) : 0.0;
    w.put(static_cast<std::uint32_t>(static_cast<long>(std::clamp(o, -8192.0, 8191.0))), 14);
  }
  d[18] = static_cast<std::uint8_t>((set_.posAccuracy & 15) << 4);
}

int CMR_Coder::codeRefCoord(std::uint8_t* d) const {
  if (ref_ == nullptr) return 0;
  stationHeader(cmr::kTypeRefCoord, d);
  putCoord(d + cmr::kHeaderLen);
  return cmr::kHeaderLen + cmr::kRefCoordBody;
}

int CMR_Coder::longNameLength() const {
  return static_cast<int>(strnlen(set_.longName, std::min<std::size_t>(kLongNameMax, sizeof set_.longName)));
}

int CMR_Coder::putNames(std::uint8_t* d) const {
  copyRightAligned(d, 8, set_.shortName, sizeof set_.shortName, ' ');
  copyRightAligned(d + 8, 16, set_.cogo, sizeof set_.cogo, 0);
  const int l = longNameLength();
  std::memcpy(d + cmr::kDescNames, set_.longName, static_cast<std::size_t>(l));
  d[cmr::kDescNames + l] = 0;
  return cmr::kDescNames + l + 1;
}

int CMR_Coder::codeDesc(std::uint8_t* d) const {
  stationHeader(cmr::kTypeDesc, d);
  // The length byte counts the names that follow it.
  const int n = putNames(d + cmr::kHeaderLen + 1);
  d[cmr::kHeaderLen] = static_cast<std::uint8_t>(n);
  return cmr::kHeaderLen + 1 + n;
}

int CMR_Coder::codePlus(std::uint8_t* d) {
  if (!paging_) {
    if (ref_ == nullptr) return 0;
    std::uint8_t* b = plus_;
    b[0] = cmr::kPlusInfoId;
    b[1] = cmr::kPlusInfoLen;
    b[2] = static_cast<std::uint8_t>((set_.lowBattery ? 0x10 : 0) | (set_.lowMemory ? 0x08 : 0) | (set_.l2 ? 0x02 : 0));
    b[3] = static_cast<std::uint8_t>(set_.motion & 3);
    b[4] = static_cast<std::uint8_t>(set_.posAccuracy & 15);
    b[5] = ref_->antSetupId;
    b += cmr::kPlusInfoLen;
    b[0] = cmr::kPlusCoordId;
    b[1] = cmr::kPlusCoordLen;
    putCoord(b + 2);
    b += cmr::kPlusCoordLen;
    // The description block: its id and length, the names right after.
    const int names = putNames(b + 2);
    b[0] = cmr::kPlusDescId;
    b[1] = static_cast<std::uint8_t>(names + 2);
    plusLen_ = cmr::kPlusInfoLen + cmr::kPlusCoordLen + names + 2;
    pages_ = (plusLen_ + cmr::kPageBytes - 1) / cmr::kPageBytes;
    page_ = 0;
    paging_ = true;
  }
  const int from = page_ * cmr::kPageBytes;
  const int n = std::min(cmr::kPageBytes, plusLen_ - from);
  d[0] = static_cast<std::uint8_t>(stationByte() & 31);
  d[1] = static_cast<std::uint8_t>(page_);
  d[2] = static_cast<std::uint8_t>(set_.plusPageCount ? pages_ : pages_ - 1);
  std::memcpy(d + cmr::kPageHeader, plus_ + from, static_cast<std::size_t>(n));
  if (++page_ >= pages_) paging_ = false;
  return cmr::kPageHeader + n;
}
