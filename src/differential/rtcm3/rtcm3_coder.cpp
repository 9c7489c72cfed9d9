#include "differential/rtcm3/rtcm3_coder.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "differential/placeholders.h"
#include "platform/crc.h"
#include "platform/identity.h"
#include "positioning/rcv_output_base_moving.h"

const std::uint16_t msgNumbers[kRtc3MsgCount] = {
    1001, 1002, 1003, 1004, 1009, 1010, 1011, 1012,
    1071, 1072, 1073, 1074, 1075, 1076, 1077, 1081, 1082, 1083, 1084, 1085, 1086, 1087,
    1091, 1092, 1093, 1094, 1095, 1096, 1097, 1101, 1102, 1103, 1104, 1105, 1106, 1107,
    1111, 1112, 1113, 1114, 1115, 1116, 1117, 1121, 1122, 1123, 1124, 1125, 1126, 1127,
    1131, 1132, 1133, 1134, 1135, 1136, 1137,
    1005, 1006, 1007, 1008,
    1019, 1020, 1042, 1044, 1045, 1046, 1041,
    1033, 4091, 1029, 1230};

RTC3_Coder Rtcm3Cod(&NavClc);

namespace {

constexpr double kC = 299792458.0;
constexpr double kGpsMod = 299792.458;    // one light-millisecond, m: the GPS ambiguity unit
constexpr double kGloMod = 599584.916;    // two light-milliseconds: the GLONASS one
constexpr int kSlotCA = 0, kSlotP2 = 2, kSlotL2C = 3;
constexpr int kLegacyMaxSats = 31;        // the 5-bit satellite count of the header
constexpr int kDescrMax = 31;             // station description texts
// Largest magnitudes of the signed fields; the most negative pattern marks "invalid".
constexpr long kDf012Max = 524287;        // 20 bits, 0.0005 m
constexpr long kDf017Max = 8191;          // 14 bits, 0.02 m
constexpr std::uint32_t kDf012Invalid = 0x80000, kDf017Invalid = 0x2000;

long roundHalfAway(double x) { return static_cast<long>(x >= 0 ? x + 0.5 : x - 0.5); }

double l1Wavelength(int sys, int fcn) { return kC / (sys == kSysGlonass ? 1602.0e6 + fcn * 0.5625e6 : 1575.42e6); }
double l2Wavelength(int sys, int fcn) { return kC / (sys == kSysGlonass ? 1246.0e6 + fcn * 0.4375e6 : 1227.60e6); }

// Lock time indicator DF013 of RTCM 10403.3 from a lock time in ms.
std::uint32_t lockIndicator(long ms) {
  if (ms <= 0) return 0;
  const long t = ms / 1000;
  if (t < 24) return static_cast<std::uint32_t>(t);
  if (t < 72) return static_cast<std::uint32_t>((t + 24) / 2);
  if (t < 168) return static_cast<std::uint32_t>((t + 120) / 4);
  if (t < 360) return static_cast<std::uint32_t>((t + 408) / 8);
  if (t < 744) return static_cast<std::uint32_t>((t + 1176) / 16);
  if (t < 937) return static_cast<std::uint32_t>((t + 3096) / 32);
  return 127;
}

// Phase range less the reconstructed L1 pseudorange in 0.0005 m (DF012, DF018). A difference
// that code-carrier divergence has carried beyond the field is rolled back by whole 1500-cycle
// steps, which a decoder following the phase undoes; the invalid pattern only for a value that
// no roll brings into range (a non-finite phase).
std::uint32_t phaseMinusRange(double phase, double range, double wavelength) {
  double d = phase - range;
  if (!std::isfinite(d) || std::fabs(d) > 1e9) return kDf012Invalid;
  if (std::fabs(d * 2000.0) > kDf012Max + 0.5) {
    const double cycles = d / wavelength;
    d = (cycles - 1500.0 * std::nearbyint(cycles / 1500.0)) * wavelength;
  }
  const double v = d * 2000.0;
  if (!(std::fabs(v) < kDf012Max + 0.5)) return kDf012Invalid;
  return static_cast<std::uint32_t>(roundHalfAway(v)) & 0xFFFFF;
}

// L2 pseudorange less the reconstructed L1 one in 0.02 m (DF017); beyond the field the
// difference is marked invalid, never wrapped into a wrong value.
std::uint32_t codeMinusRange(double code, double range) {
  const double v = (code - range) * 50.0;
  if (!(std::fabs(v) < kDf017Max + 0.5)) return kDf017Invalid;
  return static_cast<std::uint32_t>(roundHalfAway(v)) & 0x3FFF;
}

// An L1 pseudorange the message can hold: positive and within the ambiguity field's reach.
bool usableL1(const RTK_DATA_SLOT& s, bool glo) {
  const double mod = glo ? kGloMod : kGpsMod;
  return s.bPresent != 0 && std::isfinite(s.dCode) && s.dCode > 0 && s.dCode < mod * (glo ? 128 : 256);
}

// Fixed-size texts of the settings and the identity are not always terminated.
int textLength(const char* s, int max) {
  int n = 0;
  while (n < max && s[n] != 0) ++n;
  return n;
}

}  // namespace

RTC3_Coder::RTC3_Coder(NAV_Coder_Client* source) : src_(source) {
  set_.stationId = -1;
  for (auto& m : set_.msm) m = 1;
  set_.ver = 1;
  set_.text[0] = 0;
}

std::uint16_t RTC3_Coder::stationId() const {
  // -1 (no station id set) goes out as 0.
  return static_cast<std::uint16_t>(set_.stationId < 0 ? 0 : set_.stationId & 0xFFF);
}

bool RTC3_Coder::initCoding(const bool flags[kRtc3MsgCount], int port) {
  bool any = false;
  for (int i = 0; i < kRtc3MsgCount; ++i) any |= (enable_[i] = flags[i]);
  port_ = port;
  armed_ = false;
  return any;
}

int RTC3_Coder::legacySats(int sys, const RTK_DATA_SV* out[], int max) const {
  if (rtk_ == nullptr) return 0;
  // Entries are chosen by their own system byte, up to the system's count frozen at the RTCM 3
  // limit, and never beyond the array whatever the counts say.
  const int entries = rtk_->uSatCount < kBaseSats ? rtk_->uSatCount : kBaseSats;
  const int limit = rtk_->uCountRtcm3[sys];
  const int slot = set_.l1Code == 1 ? 1 : kSlotCA;
  int seen = 0, n = 0;
  for (int i = 0; i < entries && seen < limit && n < max; ++i) {
    const RTK_DATA_SV& sv = rtk_->sat[i];
    if (sv.uSystem != sys) continue;
    ++seen;
    if (usableL1(sv.slot[slot], sys == kSysGlonass)) out[n++] = &sv;
  }
  return n;
}

void RTC3_Coder::makeCoding() {
  armed_ = true;
  msgArming_ = 0;
  legacyLeft_ = msmLeft_ = 0;
  ref_ = nullptr;
  const NAVCOD_RTK_DATA* rtk = nullptr;
  const bool haveData = src_->getRtkData(&rtk);
  rtk_ = rtk;
  if (!haveData) {
    // A base without its epoch data sends no RTCM 3 at all this epoch.
    for (bool& e : enable_) e = false;
    return;
  }
  if (rtk_ != nullptr && rtk_->uConstOne != 0) {
    // Only messages that will carry a satellite, so that the last one sent says so.
    const RTK_DATA_SV* sats[kLegacyMaxSats];
    const bool gps = legacySats(kSysGps, sats, kLegacyMaxSats) > 0;
    const bool glo = legacySats(kSysGlonass, sats, kLegacyMaxSats) > 0;
    for (int i = kRtc3Msg1001; i <= kRtc3Msg1012; ++i)
      if (enable_[i] && (i < kRtc3Msg1009 ? gps : glo)) ++legacyLeft_;
  }
  if (rtk_ != nullptr) {
    // Only messages with a satellite to carry: a system whose satellites have no usable signal
    // builds nothing, and the last MSM frame of the epoch must still say so.
    for (int i = kRtc3MsgMsmFirst; i <= kRtc3MsgMsmLast; ++i) {
      const int sys = (i - kRtc3MsgMsmFirst) / 7;
      if (enable_[i] && rtk_->uCountRtcm3[sys] > 0 && msmPlan(*rtk_, set_, (i - kRtc3MsgMsmFirst) % 7 + 1, sys, msm_) > 0)
        ++msmLeft_;
    }
  }
  bool station = false;
  for (int i : {kRtc3Msg1005, kRtc3Msg1006, kRtc3Msg1007, kRtc3Msg1008, kRtc3Msg1033}) station |= enable_[i];
  if (station) {
    bool refPos = false, arp = false;
    NAVCOD_REF_COORD* rec = nullptr;
    src_->getRefCoord(false, &rec, set_.movingBase == 0, refPos, arp);
    ref_ = rec;
    if (!(refPos && arp))
      for (int i = kRtc3Msg1005; i <= kRtc3Msg1008; ++i) enable_[i] = false;
  }
}

int RTC3_Coder::buildMessage(int index, std::uint8_t* buffer) {
  if (index < 0 || index >= kRtc3MsgCount || buffer == nullptr) return 0;
  if (index != lastMsg_) partTotal_ = partSent_ = partNext_ = 0;
  lastMsg_ = index;
  if (!armed_ || !enable_[index]) return 0;
  bw_.reset(buffer, kFrameBytes);
  bw_.seek(36);
  bool built = false;
  if (index <= kRtc3Msg1012)
    built = codeLegacy(index);
  else if (index <= kRtc3MsgMsmLast)
    built = codeMsm((index - kRtc3MsgMsmFirst) % 7 + 1, (index - kRtc3MsgMsmFirst) / 7);
  else if (index <= kRtc3Msg1006)
    built = codeStation(index);
  else if (index <= kRtc3Msg1008)
    built = codeAntenna(index);
  else if (index <= kRtc3MsgEphLast)
    built = codeEphemeris(index);
  else if (index == kRtc3Msg1033)
    built = code1033();
  else if (index == kRtc3Msg4091t)
    built = code4091();
  else if (index == kRtc3Msg1029)
    built = code1029();
  else
    built = code1230();
  if (!built || !bw_.ok() || bw_.pos() < 37) return 0;
  finishFrame(msgNumbers[index]);
  if (!bw_.ok()) return 0;
  ++msgTotal_;
  ++msgArming_;
  return bw_.pos() / 8;
}

bool RTC3_Coder::repeatMessage() {
  if (partSent_ < partTotal_) return true;
  partTotal_ = partSent_ = partNext_ = 0;
  return false;
}

void RTC3_Coder::finishFrame(int number) {
  const int bytes = bw_.fillToByte() - 3;
  // A body the 10-bit length cannot state is not sent cut short under a CRC that hides it.
  if (bytes > 1023) bw_.seek(-1);
  bw_.seek(0);
  bw_.write(0xD30000u | static_cast<std::uint32_t>(bytes), 24);
  bw_.write(static_cast<std::uint32_t>(number), 12);
  bw_.seek((bytes + 3) * 8);
  if (!bw_.ok()) return;
  bw_.write(crc24q(0, bw_.data(), static_cast<std::uint32_t>((bytes + 3) * 8)), 24);
}

void RTC3_Coder::writeText(const char* s, int maxChars) {
  const int n = textLength(s, maxChars);
  bw_.write(static_cast<std::uint32_t>(n), 8);
  for (int i = 0; i < n; ++i) bw_.write(static_cast<std::uint8_t>(s[i]), 8);
}

// 1001-1004 (GPS), 1009-1012 (GLONASS).
bool RTC3_Coder::codeLegacy(int index) {
  if (rtk_ == nullptr || rtk_->uConstOne == 0) return false;
  const bool glo = index >= kRtc3Msg1009;
  const int type = (glo ? index - kRtc3Msg1009 : index) + 1;  // 1..4
  const bool extended = type == 2 || type == 4;
  const bool dual = type >= 3;
  const int sys = glo ? kSysGlonass : kSysGps;
  const double mod = glo ? kGloMod : kGpsMod;
  const int l1Slot = set_.l1Code == 1 ? 1 : kSlotCA;

  const RTK_DATA_SV* sats[kLegacyMaxSats];
  const int n = legacySats(sys, sats, kLegacyMaxSats);
  if (n == 0) return false;

  bw_.write(stationId(), 12);
  if (glo)
    bw_.write(rtk_->ulTime[kSysGlonass] & 0x7FFFFFF, 27);
  else
    bw_.write(rtk_->ulTime[kSysGps] & 0x3FFFFFFF, 30);
  const int flagsAt = glo ? 75 : 78;
  bw_.seek(glo ? 85 : 88);
  for (int k = 0; k < n; ++k) {
    const RTK_DATA_SV& sv = *sats[k];
    const RTK_DATA_SLOT& l1 = sv.slot[l1Slot];
    bw_.write(sv.uNumber & 0x3F, 6);
    bw_.write(l1Slot == 1 ? 1 : 0, 1);
    if (glo) bw_.write(static_cast<std::uint32_t>(sv.cGloFreq + 7) & 0x1F, 5);
    const double pr = l1.dCode;  // usable, as chosen
    const double amb = std::trunc(pr / mod);
    const long prField = roundHalfAway(std::fmod(pr, mod) * 50.0);
    const double range = prField * 0.02 + amb * mod;  // the L1 pseudorange a decoder rebuilds
    bw_.write(static_cast<std::uint32_t>(prField), glo ? 25 : 24);
    bw_.write(phaseMinusRange(l1.dPhase, range, l1Wavelength(sys, sv.cGloFreq)), 20);
    bw_.write(lockIndicator(l1.ulLock > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<long>(l1.ulLock)), 7);
    if (extended) {
      bw_.write(static_cast<std::uint32_t>(amb) & (glo ? 0x7F : 0xFF), glo ? 7 : 8);
      bw_.write(l1.uCn0, 8);
    }
    if (!dual) continue;
    const bool useL2C = set_.l2c != 0 && sv.slot[kSlotL2C].bPresent != 0;
    const RTK_DATA_SLOT& l2 = sv.slot[useL2C ? kSlotL2C : kSlotP2];
    bw_.write(useL2C ? 0 : 2, 2);
    if (l2.bPresent != 0) {
      bw_.write(codeMinusRange(l2.dCode, range), 14);
      bw_.write(phaseMinusRange(l2.dPhase, range, l2Wavelength(sys, sv.cGloFreq)), 20);
      bw_.write(lockIndicator(l2.ulLock > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<long>(l2.ulLock)), 7);
      if (extended) bw_.write(l2.uCn0, 8);
    } else {
      bw_.write(kDf017Invalid, 14);
      bw_.write(kDf012Invalid, 20);
      bw_.write(0, 7);
      if (extended) bw_.write(0, 8);
    }
  }
  // Synchronous flag while another observation message of this epoch follows this one.
  const int end = bw_.pos();
  const std::uint32_t sync = legacyLeft_ >= 2 ? 1 : 0;
  if (legacyLeft_ > 0) --legacyLeft_;
  bw_.seek(flagsAt);
  bw_.write(sync << 9 | static_cast<std::uint32_t>(n) << 4 | (rtk_->bSetup ? 1u : 0u) << 3 |
                (rtk_->uRtcm3Smoothing & 7u),
            10);
  bw_.seek(end);
  return true;
}

// 1005, 1006: the antenna reference point.
bool RTC3_Coder::codeStation(int index) {
  if (ref_ == nullptr) return false;
  const auto coord = [](double v) { return static_cast<std::uint64_t>(std::llround(v * 10000.0)); };
  bw_.write(stationId(), 12);
  bw_.write(0, 6);   // ITRF realisation year
  bw_.write(1, 1);   // GPS
  bw_.write(1, 1);   // GLONASS
  bw_.write(1, 1);   // Galileo
  bw_.write(0, 1);   // reference-station indicator
  bw_.write(coord(ref_->dX), 38);
  bw_.write(1, 1);   // single receiver oscillator
  bw_.write(0, 1);
  bw_.write(coord(ref_->dY), 38);
  bw_.write(2, 2);   // quarter-cycle indicator
  bw_.write(coord(ref_->dZ), 38);
  if (index == kRtc3Msg1006) {
    // The 16-bit field holds up to 6.5535 m: a taller antenna is sent at that, never wrapped.
    const double h = std::isfinite(ref_->fAntHeight) ? ref_->fAntHeight * 10000.0 : 0.0;
    bw_.write(h <= 0 ? 0 : (h >= 65535.0 ? 65535 : static_cast<std::uint32_t>(h + 0.5)), 16);
  }
  return true;
}

// 1007, 1008: the antenna.
bool RTC3_Coder::codeAntenna(int index) {
  if (ref_ == nullptr) return false;
  bw_.write(stationId(), 12);
  writeText(ref_->antDescr, kDescrMax);
  bw_.write(ref_->antSetupId, 8);
  if (index == kRtc3Msg1008) writeText(ref_->antSerial, kDescrMax);
  return true;
}

// 1033: antenna and receiver.
bool RTC3_Coder::code1033() {
  static const NAVCOD_REF_COORD kNone{};
  const NAVCOD_REF_COORD& r = ref_ != nullptr ? *ref_ : kNone;
  bw_.write(stationId(), 12);
  writeText(r.antDescr, kDescrMax);
  bw_.write(r.antSetupId, 8);
  writeText(r.antSerial, kDescrMax);
  writeText(igsRcvName, kDescrMax);
  writeText(vernum, kDescrMax);
  writeText(sernum, kDescrMax);
  return true;
}

// The parameter text `param` of the base as 1029 would carry it now.
int RTC3_Coder::baseText(int param, char (&text)[kTextMax + 1]) const {
  std::memset(text, 0, sizeof text);
  int len = 0;
  // Appends a whole entry, or nothing when it would not fit.
  const auto add = [&](const char* s) {
    const int n = static_cast<int>(std::strlen(s));
    if (len + n > kTextMax) return false;
    std::memcpy(text + len, s, static_cast<std::size_t>(n));
    len += n;
    text[len] = 0;
    return true;
  };
  char item[64];
  switch (param) {
    case kTextModem:
      add("/par/base/modem=unknown");
      break;
    case kTextMoving: {
      add("/par/base/moving={accel=");
      add(",curpos=");
      // The base-moving monitor: the mean relative position of the last second with its mean
      // error, and the largest motion seen with the motion of the last second.
      const BASE_MOVING_DATA& m = BaseMovingData;
      if (m.bAvgValid != 0) {
        std::snprintf(item, sizeof item, "{%.1f,%.1f,%.1f,%.1f}", m.avg[0], m.avg[1], m.avg[2], m.avgErr);
        add(item);
      }
      add(",alert=");
      if (m.bAlert != 0) {
        std::snprintf(item, sizeof item, "{%.2f,%.1f,%.1f,%.1f}", static_cast<double>(m.maxMotion),
                      static_cast<double>(m.motion[0]), static_cast<double>(m.motion[1]),
                      static_cast<double>(m.motion[2]));
        add(item);
      }
      if (placeholder::baseTiltOutput()) add(",tilt=");
      add("}");
      break;
    }
    case kTextMsgout: {
      int enabledCount = 0, only = -1;
      for (int i = 0; i < kRtc3MsgCount; ++i)
        if (enable_[i]) ++enabledCount, only = i;
      if (enabledCount == 0) {
        add("/par/base/msgout=");
      } else if (enabledCount == 1) {
        std::snprintf(item, sizeof item, "/par/base/msgout=rtcm3/%i", msgNumbers[only]);
        add(item);
      } else {
        // A long list is cut after the last whole number that leaves room for the closing brace.
        add("/par/base/msgout=rtcm3/{");
        bool first = true;
        for (int i = 0; i < kRtc3MsgCount; ++i) {
          if (!enable_[i]) continue;
          std::snprintf(item, sizeof item, first ? "%i" : ",%i", msgNumbers[i]);
          if (len + static_cast<int>(std::strlen(item)) + 1 > kTextMax) break;
          add(item);
          first = false;
        }
        add("}");
      }
      break;
    }
    case kTextMsgnum: {
      int enabledCount = 0;
      for (bool e : enable_) enabledCount += e ? 1 : 0;
      std::snprintf(item, sizeof item, "/par/base/msgnum={%lu,%lu,%d}", msgTotal_ + 1, msgArming_ + 1, enabledCount);
      add(item);
      break;
    }
    default:
      break;
  }
  return len;
}

// 1029: one parameter text of the base.
bool RTC3_Coder::code1029() {
  if (textParam_ < 0 || textParam_ >= kTextParams || set_.textParam[textParam_] == 0) return false;
  char text[kTextMax + 1];
  const int len = baseText(textParam_, text);
  bw_.write(stationId(), 12);
  bw_.write(0, 16);  // modified Julian day
  bw_.write(0, 17);  // UTC seconds of day
  bw_.write(static_cast<std::uint32_t>(len), 7);
  bw_.write(static_cast<std::uint32_t>(len), 8);  // ASCII: one code unit per character
  for (int i = 0; i < len; ++i) bw_.write(static_cast<std::uint8_t>(text[i]), 8);
  return true;
}

// 4091: the base's own text.
bool RTC3_Coder::code4091() {
  bw_.write(stationId(), 12);
  bw_.write(0x6400, 16);
  writeText(set_.text, kTextMax);
  return true;
}

// 1230: GLONASS code-phase biases, all four signals at 0.
bool RTC3_Coder::code1230() {
  bw_.write(stationId(), 12);
  bw_.write(0, 4);   // bias indicator and reserved bits
  bw_.write(15, 4);  // L1 C/A, L1 P, L2 C/A, L2 P
  for (int i = 0; i < 4; ++i) bw_.write(0, 16);
  return true;
}

const char* const RTC3_Coder::cRtc3TextParamNames[kTextParams] = {"modem", "moving", "msgout", "msgnum"};
