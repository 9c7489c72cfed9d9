// The base station's RTCM 3 coder over whatever epoch data and ephemeris record it is handed:
// the input's bytes are the epoch record (counts, times, every double of every signal) and a
// record of each ephemeris kind. Every frame built must be whole: within the buffer, its length
// field and CRC right, and an MSM readable by the receiver's own decoder.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "differential/rtcm3/rtcm3_coder.h"
#include "differential/rtcm3_ephemeris.h"
#include "differential/rtcm3_observations.h"
#include "platform/crc.h"

namespace {

struct Source : NAV_Coder_Client {
  NAVCOD_RTK_DATA rtk{};
  bool getRtkData(const NAVCOD_RTK_DATA** out) override { return *out = &rtk, true; }
  bool getRefCoord(bool, NAVCOD_REF_COORD** out, bool, bool& r, bool& a) override { return *out = nullptr, r = a = false, true; }
  bool getIonoCorData(const NAVCOD_IONO_DATA**) override { return false; }
  bool getSysTime(bool, long&) override { return false; }
  bool getDifCorData(const NAVCOD_DIF_DATA**) override { return false; }
};

void checkFrame(const std::uint8_t* f, int n, int index) {
  if (n == 0) return;
  if (n < 6 || n > RTC3_Coder::kFrameBytes || f[0] != 0xD3) std::abort();
  const int len = (f[1] & 3) << 8 | f[2];
  if (len + 6 != n) std::abort();
  const std::uint32_t crc = crc24q(0, f, static_cast<std::uint32_t>((len + 3) * 8));
  if ((static_cast<std::uint32_t>(f[n - 3]) << 16 | f[n - 2] << 8 | f[n - 1]) != crc) std::abort();
  if ((f[3] << 4 | f[4] >> 4) != msgNumbers[index]) std::abort();
  if (index >= kRtc3MsgMsmFirst && index <= kRtc3MsgMsmLast) {
    BitReader br(f + 3, len * 8);
    br.reset(len * 8, 54);
    static RTC3_OBS obs;
    if (!rtcm3_ReadMsmObs(msgNumbers[index], br, -1, obs)) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Source src;
  static RTC3_Coder coder(&src);
  src.rtk = NAVCOD_RTK_DATA{};
  std::memcpy(&src.rtk, data, size < sizeof src.rtk ? size : sizeof src.rtk);
  static Rtcm3Ephemeris eph;
  eph = Rtcm3Ephemeris{};
  if (size > sizeof src.rtk) {
    const std::size_t rest = size - sizeof src.rtk;
    std::memcpy(&eph.gps, data + sizeof src.rtk, rest < sizeof(ZRT_EPH_GPS) ? rest : sizeof(ZRT_EPH_GPS));
  }
  RTC3_COD_SETTINGS s{};
  s.stationId = 1;
  for (auto& m : s.msm) m = 1;
  s.ver = size > 0 ? data[0] & 1 : 1;
  coder.setSettings(s);
  coder.setEphGps(&eph.gps);
  coder.setEphQzss(&eph.gps);
  coder.setEphGlonass(&eph.glo);
  coder.setEphBeidou(&eph.cmp);
  coder.setEphGalileo(&eph.gal);
  coder.setEphNavic(&eph.irs);
  bool flags[kRtc3MsgCount] = {};
  for (int i = kRtc3MsgMsmFirst; i <= kRtc3MsgEphLast; ++i) flags[i] = i < kRtc3Msg1005 || i >= kRtc3MsgEphFirst;
  coder.initCoding(flags, 1);
  coder.makeCoding();
  std::uint8_t buf[RTC3_Coder::kFrameBytes];
  for (int i = kRtc3MsgMsmFirst; i <= kRtc3MsgEphLast; ++i) {
    for (int part = 0; part < 70; ++part) {
      checkFrame(buf, coder.buildMessage(i, buf), i);
      if (!coder.repeatMessage()) break;
      if (part == 69) std::abort();  // parts that never end
    }
  }
  return 0;
}
