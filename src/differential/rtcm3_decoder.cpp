#include "differential/rtcm3_decoder.h"

#include <atomic>

#include "differential/reoutput_seam.h"
#include "differential/rtcm3_ephemeris.h"
#include "differential/rtcm3_observations.h"
#include "differential/rtcm3_transform.h"
#include "navigation_data/store/sat_data_store.h"
#include "platform/crc.h"
#include "platform/mono_clock.h"

RTC3_DEC_SETTINGS RTC3_Decoder::Set{0, RTC3_Decoder::kOutPortOff, 82, 1, 0};
int RTC3_Decoder::compatibleVendor = 4;

RTC3_Decoder Rtcm3Dec[InPorts::DEC_NUM];

namespace {
constexpr int kPreamble = 0xD3;
constexpr int kHeaderLen = 3;
constexpr int kCrcLen = 3;
constexpr int kLookAhead = 64;
// The six bits between the preamble and the length, zero in every frame.
constexpr int kReservedMask = 0xFC;

void countUp(std::int32_t& c) { c = c >= 999999 ? 1 : c + 1; }

// The settings are written by the command parser while DECT reads them: each field is moved as
// one word so that neither side ever sees half of a value.
template <class T>
T loadField(T& f) {
  return std::atomic_ref<T>(f).load(std::memory_order_relaxed);
}
template <class T>
void storeField(T& f, T v) {
  std::atomic_ref<T>(f).store(v, std::memory_order_relaxed);
}
}  // namespace

RTC3_Decoder::RTC3_Decoder() : cb(kRingSize), br(frame + kHeaderLen, kPayloadBits) {
  setSettings(RTC3_DEC_SETTINGS{0, kOutPortOff, 82, 1, 0});
  init();
}

void RTC3_Decoder::initDecoder(RTC3_Decoder_Client* c) {
  client = c;
  init();
}

void RTC3_Decoder::init() {
  cb.clean();
  status = RTC3_DEC_STATUS{};
  status.latency = -1;
  status.epochPeriod.init();
  quality = LeakyFilter{};
  quality.setLength(20);
  int n = 0;
  quality.update(1.0, n);
  length = 0;
  msgNum = 0;
  frameLen = 0;
  clearLastMsmInfo();
}

void RTC3_Decoder::setSettings(const RTC3_DEC_SETTINGS& s) {
  storeField(Set.decimation, s.decimation);
  storeField(Set.outPort, s.outPort);
  storeField(Set.wrapStream, s.wrapStream);
  storeField(Set.gloBias, s.gloBias);
}

RTC3_DEC_SETTINGS RTC3_Decoder::getSettings() {
  RTC3_DEC_SETTINGS s{};
  s.decimation = loadField(Set.decimation);
  s.outPort = loadField(Set.outPort);
  s.wrapStream = loadField(Set.wrapStream);
  s.gloBias = loadField(Set.gloBias);
  return s;
}

void RTC3_Decoder::reset() {
  init();
  if (client != nullptr) client->reset();
}

int RTC3_Decoder::getDataSize() { return cb.getFree(); }

void RTC3_Decoder::putData(const unsigned char* bytes, int len, InPorts::DecPortIndex p) {
  port = p;
  cb.put(bytes, len);
}

int RTC3_Decoder::stateSynchro() {
  if (cb.count < 5) return kWaitData;
  unsigned char look[kLookAhead];
  const int n = cb.see(look, kLookAhead);
  // A preamble byte followed by set reserved bits cannot start a frame: taking it would hold
  // every good frame behind it until its made-up length had arrived.
  int s = -1;
  for (int i = 0; i <= n - 5; ++i) {
    if (look[i] == kPreamble && (look[i + 1] & kReservedMask) == 0) {
      s = i;
      break;
    }
  }
  if (s < 0) {
    // Keep the last four bytes: a preamble among them still lacks its header.
    cb.erase(n - 4);
    return kSynchro;
  }
  reserved = static_cast<std::uint8_t>(look[s + 1] >> 2);
  length = static_cast<std::uint16_t>((look[s + 1] & 3) << 8 | look[s + 2]);
  msgNum = static_cast<std::uint16_t>(look[s + 3] << 4 | look[s + 4] >> 4);
  frameLen = length + kHeaderLen + kCrcLen;
  cb.erase(s);
  return kCollecting;
}

int RTC3_Decoder::stateCollecting() {
  // After an init behind the driver's back there is no header to collect for: search again.
  if (frameLen < kHeaderLen + kCrcLen) return kSynchro;
  if (cb.count < frameLen) return kWaitData;
  cb.see(frame, frameLen);
  const int body = frameLen - kCrcLen;
  const std::uint32_t crc = crc24q(0, frame, static_cast<std::uint32_t>(body) * 8u);
  const std::uint32_t got = static_cast<std::uint32_t>(frame[body]) << 16 |
                            static_cast<std::uint32_t>(frame[body + 1]) << 8 | frame[body + 2];
  if (crc == got) {
    cb.erase(frameLen);
    countUp(status.goodFrames);
    return kDecoding;
  }
  cb.erase(1);
  countUp(status.badFrames);
  feedQuality(0.0);
  if (port != -1 && client != nullptr) client->updateStatus(status, port);
  return kSynchro;
}

int RTC3_Decoder::stateDecoding() {
  if (frameLen < kHeaderLen + kCrcLen) return kSynchro;
  br.reset(8 * length, 12);
  bool reout = loadField(Set.outPort) != kOutPortOff;
  const bool ok = decodeMessage(reout);
  if (reout) reoutput();
  if (port != -1) {
    feedQuality(ok && br.isOk() ? 1.0 : 0.0);
    if (ok) status.lastTime = static_cast<std::int32_t>(MonoClock::sec());
    status.length = length;
    status.msgNum = msgNum;
    status.stationId = stationId;
    status.reserved = reserved;
    if (client != nullptr) client->updateStatus(status, port);
  }
  return kSynchro;
}

void RTC3_Decoder::feedQuality(double sample) {
  int n = 0;
  status.quality = static_cast<float>(100.0 * quality.update(sample, n));
}

void RTC3_Decoder::reoutput() {
  const int out = loadField(Set.outPort);
  const int wrap = loadField(Set.wrapStream);
  if (wrap < 0) {
    if (decOutputSeam.writePort != nullptr) decOutputSeam.writePort(out, frame, frameLen);
  } else if (frameLen <= kWrapMax) {
    if (decOutputSeam.writeWrapped != nullptr) decOutputSeam.writeWrapped(out, wrap, frame, frameLen);
  }
}

bool RTC3_Decoder::decodeMessage(bool& reout) {
  const int m = msgNum;
  switch (m) {
    case 1001:
    case 1002:
    case 1003:
    case 1004:
      return decodeLegacyObsHeader(false, reout);
    case 1009:
    case 1010:
    case 1011:
    case 1012:
      return decodeLegacyObsHeader(true, reout);
    case 1005:
      return decodeRefPos(false);
    case 1006:
      return decodeRefPos(true);
    case 1007:
      return decodeAntDesc(false);
    case 1008:
      return decodeAntDesc(true);
    case 1013:
      return decodeSysPar();
    case 1029:
      return decodeText();
    case 1033:
      return decodeRcvAntDesc();
    case 1230:
      return decodeGloBias();
    case 4091:
      return decodeVendorText();
    case 1019:
    case 1020:
    case 1041:
    case 1042:
    case 1044:
    case 1045:
    case 1046:
      // Ephemerides go straight to the store; the client never sees them.
      return rtcm3_StoreEphemeris(m, br, SatDataProcessorInstance);
    case 1014:
      return decodeNrtkStation();
    case 1015: case 1016: case 1017:
      return decodeNrtkDiff(false, m - 1015);
    case 1037: case 1038: case 1039:
      return decodeNrtkDiff(true, m - 1037);
    case 1030: case 1031:
      return decodeNrtkRes(m == 1031);
    case 1032:
      return decodeNrtkPhysRefPos();
    case 1034: case 1035:
      return decodeNrtkFkp(m == 1035);
    case 1021: case 1022: case 1023: case 1024: case 1025: case 1026: case 1027:
      return RTC3_CoordTransf::apply(m, br, stationId);
    default:
      break;
  }
  if (m >= 1071 && m <= 1137) {
    const int sys = (m - 1071) / 10;
    const int type = (m - 1071) % 10 + 1;
    if (type <= 7) return decodeMsmHeader(sys, reout);
  }
  // Every other number: a success with no effect.
  return true;
}
