// The RTCM 3 station, antenna, receiver, system-parameter, text, GLONASS-bias and vendor-text
// messages, and the epoch headers of the observation messages. Every decoder reads its whole
// message first and hands nothing to the client when a field ran past the payload.
#include <cstring>

#include "differential/decoder_status.h"
#include "settings/rcv_settings.h"
#include "differential/rtcm3_base_params.h"
#include "differential/rtcm3_decoder.h"
#include "differential/rtcm3_observations.h"
#include "positioning/rcv_time_scales.h"

bool RTC3_Decoder::readString(BitReader& r, char* out, int maxLen, std::uint8_t& len) {
  const int n = static_cast<int>(r.read_(8));
  if (!r.isOk() || n > maxLen) return false;
  for (int i = 0; i < n; ++i) out[i] = static_cast<char>(r.read_(8));
  out[n] = '\0';
  len = static_cast<std::uint8_t>(n);
  return r.isOk();
}

bool RTC3_Decoder::decodeRefPos(bool withHeight) {
  RTC3_REFPOS p{};
  p.stationId = static_cast<std::uint16_t>(br.read_(12));
  stationId = p.stationId;
  p.itrf = static_cast<std::uint8_t>(br.read_(6));
  p.flags = static_cast<std::uint8_t>(br.read_(2));  // GPS bit 1, GLONASS bit 0
  double* xyz[3] = {&p.x, &p.y, &p.z};
  unsigned ind = 0;
  for (double* c : xyz) {
    ind = ind << 2 | br.read_(2);
    // 38-bit two's complement in 0.1 mm: the top 32 bits carry 6.4 mm steps.
    const std::int32_t hi = static_cast<std::int32_t>(br.read_(32));
    const std::uint32_t lo = br.read_(6);
    *c = hi * 0.0064 + lo * 0.0001;
  }
  p.indicators = static_cast<std::uint8_t>(ind);
  if (ind & 0x20) p.flags |= 4;  // Galileo indicator
  if (withHeight) {
    p.height = br.read_(16) * 0.0001;
    p.flags |= 8;
  }
  if (!br.isOk()) return false;
  if (client != nullptr) client->updateRefPos(p, port);
  return true;
}

bool RTC3_Decoder::readAntDesc(RTC3_ANT_DESC& a, bool withSerial) {
  a.stationId = static_cast<std::uint16_t>(br.read_(12));
  stationId = a.stationId;
  if (!readString(br, a.desc, kRtc3DescLen, a.descLen)) return false;
  a.setupId = static_cast<std::uint8_t>(br.read_(8));
  if (withSerial) {
    if (!readString(br, a.serial, kRtc3DescLen, a.serialLen)) return false;
    a.serialPresent = 1;
  }
  return br.isOk();
}

bool RTC3_Decoder::decodeAntDesc(bool withSerial) {
  RTC3_ANT_DESC a{};
  if (!readAntDesc(a, withSerial)) return false;
  if (client != nullptr) client->updateAntDesc(a, port);
  return true;
}

bool RTC3_Decoder::decodeRcvAntDesc() {
  // Both parts are read before either is delivered: a receiver part cut short fails the
  // message, antenna part included.
  RTC3_ANT_DESC a{};
  if (!readAntDesc(a, true)) return false;
  RTC3_RCV_DESC r{};
  r.stationId = stationId;
  if (!readString(br, r.type, kRtc3DescLen, r.typeLen) ||
      !readString(br, r.firmware, kRtc3DescLen, r.firmwareLen) ||
      !readString(br, r.serial, kRtc3DescLen, r.serialLen))
    return false;
  if (client != nullptr) {
    client->updateAntDesc(a, port);
    client->updateRcvDesc(r, port);
  }
  if (RcvSet.msmCompat == 6 && r.firmwareLen > 0) {
    if (std::strstr(r.firmware, "3.7.") != nullptr)
      compatibleVendor = 0;
    else if (std::strstr(r.firmware, "4.0.00") != nullptr)
      compatibleVendor = 1;
    else
      compatibleVendor = 4;
  }
  return true;
}

bool RTC3_Decoder::decodeSysPar() {
  RTC3_SYS_PAR s{};
  s.stationId = static_cast<std::uint16_t>(br.read_(12));
  stationId = s.stationId;
  s.mjd = static_cast<std::uint16_t>(br.read_(16));
  s.secOfDay = br.read_(17);
  int n = static_cast<int>(br.read_(5));
  s.leapSeconds = static_cast<std::uint8_t>(br.read_(8));
  if (n > RTC3_SYS_PAR::kMaxEntries) n = RTC3_SYS_PAR::kMaxEntries;
  for (int i = 0; i < n; ++i) {
    s.entries[i].id = static_cast<std::int16_t>(br.read_(12));
    s.entries[i].sync = static_cast<std::uint8_t>(br.read_(1));
    s.entries[i].interval = static_cast<std::uint16_t>(br.read_(16));
  }
  s.count = static_cast<std::uint8_t>(n);
  if (!br.isOk()) return false;
  if (client != nullptr) client->updateSysPar(s, port);
  return true;
}

bool RTC3_Decoder::decodeText() {
  stationId = static_cast<std::uint16_t>(br.read_(12));
  br.read_(16);  // MJD
  br.read_(17);  // seconds of day
  br.read_(7);   // characters
  const int n = static_cast<int>(br.read_(8));
  char text[256];
  for (int i = 0; i < n; ++i) text[i] = static_cast<char>(br.read_(8));
  if (!br.isOk()) return false;
  return rtc3ParseBaseParam(text, n, status.goodFrames);
}

bool RTC3_Decoder::decodeGloBias() {
  RTC3_GLO_BIAS g{};
  g.stationId = static_cast<std::uint16_t>(br.read_(12));
  stationId = g.stationId;
  g.indicator = static_cast<std::uint8_t>(br.read_(1));
  br.read_(3);
  g.mask = static_cast<std::uint8_t>(br.read_(4));
  // Mask bits from the top: L1 C/A, L1 P, L2 C/A, L2 P; the record keeps L1 C/A, L2 C/A, L1 P, L2 P.
  static constexpr int kSlot[4] = {0, 2, 1, 3};
  for (int b = 0; b < 4; ++b) {
    if (!(g.mask & (8 >> b))) continue;
    const std::int32_t v = br.readI(16);
    g.bias[kSlot[b]] = v == -32768 ? 0.0f : static_cast<float>(v * 0.02);
  }
  if (!br.isOk()) return false;
  if (client != nullptr) client->updateGloBias(g, port);
  return true;
}

bool RTC3_Decoder::decodeVendorText() {
  RTC3_TEXT_MSG t{};
  t.stationId = static_cast<std::uint16_t>(br.read_(12));
  stationId = t.stationId;
  const unsigned subtype = br.read_(8);
  const unsigned second = br.read_(8);
  if (!br.isOk() || subtype != 100 || second != 0) return false;
  std::uint8_t n = 0;
  if (!readString(br, t.text, RTC3_TEXT_MSG::kMaxText, n)) return false;
  t.length = n;
  if (client != nullptr) client->updateVendorText(t, port);
  return true;
}

namespace {
// Re-output of an observation epoch survives decimation only on a multiple of its period.
void decimate(bool& reout, long testTime) {
  if (!reout) return;
  const int dec = RTC3_Decoder::getSettings().decimation;
  if (dec > 0 && testTime % dec != 0) reout = false;
}

int gpsLeapSeconds() {
  RcvTimeScales::INT_SCALES s;
  RcvTimeScales::getReq(s);
  return s.sysUtc[0];
}
}  // namespace

bool RTC3_Decoder::decodeLegacyObsHeader(bool glonass, bool& reout) {
  stationId = static_cast<std::uint16_t>(br.read_(12));
  const long t = glonass ? br.read_(27) : br.read_(30);
  if (!br.isOk()) return false;
  decimate(reout, glonass ? t + 1000L * gpsLeapSeconds() : t);
  const int sys = glonass ? 1 : 0;
  long lat = status.latency;
  decUtilsGetLatency(t, sys, lat);
  status.latency = static_cast<std::int32_t>(lat);
  decUtilsGetEpochPeriod(t, sys, status.epochPeriod);
  RTC3_OBS obs;
  obs.time = static_cast<std::uint32_t>(t);
  obs.stationId = stationId;
  if (!rtcm3_ReadLegacyObs(msgNum, br, obs)) return false;
  if (client != nullptr) client->updateRtkData(obs, port);
  return true;
}

bool RTC3_Decoder::decodeMsmHeader(int sys, bool& reout) {
  stationId = static_cast<std::uint16_t>(br.read_(12));
  long t;
  if (sys == 1) {
    br.read_(3);  // day of week
    t = br.read_(27);
  } else {
    t = br.read_(30);
  }
  if (!br.isOk()) return false;
  long test = t;
  if (sys == 1) test = t + 1000L * gpsLeapSeconds();
  if (sys == 5) test = t + 14000;
  decimate(reout, test);
  long lat = status.latency;
  decUtilsGetLatency(t, sys, lat);
  status.latency = static_cast<std::int32_t>(lat);
  decUtilsGetEpochPeriod(t, sys, status.epochPeriod);
  RTC3_OBS obs;
  obs.time = static_cast<std::uint32_t>(t);
  obs.stationId = stationId;
  if (!rtcm3_ReadMsmObs(msgNum, br, compatibleVendor, obs)) return false;
  if (client != nullptr) client->updateMsmData(obs, port);
  return true;
}
