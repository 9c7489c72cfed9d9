// Coding speed of the base station's RTCM 3 coder: one epoch's observation messages for a full
// sky (31 GPS and 24 GLONASS satellites on two frequencies), and the station messages.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "differential/rtcm3/rtcm3_coder.h"

namespace {

struct Source : NAV_Coder_Client {
  NAVCOD_RTK_DATA rtk{};
  NAVCOD_REF_COORD ref{1114104.5999, -4850729.7108, 3975521.4643, 1.5f, 0, 0, 1.5f, 0, "ANTENNA", "", 0};
  bool getRtkData(const NAVCOD_RTK_DATA** out) override { return *out = &rtk, true; }
  bool getRefCoord(bool, NAVCOD_REF_COORD** out, bool, bool& r, bool& a) override { return *out = &ref, r = a = true; }
  bool getIonoCorData(const NAVCOD_IONO_DATA**) override { return false; }
  bool getSysTime(bool, long&) override { return false; }
  bool getDifCorData(const NAVCOD_DIF_DATA**) override { return false; }
};

Source* fullSky() {
  static Source s;
  int n = 0;
  for (int sys = 0; sys < 2; ++sys)
    for (int k = 0; k < (sys == 0 ? 31 : 24); ++k, ++n) {
      RTK_DATA_SV& sv = s.rtk.sat[n];
      sv.uNumber = static_cast<std::uint8_t>(k + 1);
      sv.uSystem = static_cast<std::uint8_t>(sys);
      sv.cGloFreq = static_cast<std::int8_t>(k % 14 - 7);
      for (int slot : {0, 2}) {
        RTK_DATA_SLOT& d = sv.slot[slot];
        d.dCode = 2.0e7 + k * 123456.789 + slot;
        d.dPhase = d.dCode + k * 3.7;
        d.ulLock = 600000;
        d.uCn0 = 180;
        d.bPresent = 1;
      }
      ++s.rtk.uCount[sys], ++s.rtk.uCountRtcm3[sys];
    }
  s.rtk.uSatCount = static_cast<std::uint8_t>(n);
  s.rtk.uConstOne = s.rtk.bReady = 1;
  return &s;
}

void BM_ObservationEpoch(benchmark::State& state) {
  RTC3_Coder c(fullSky());
  bool flags[kRtc3MsgCount] = {};
  flags[kRtc3Msg1004] = flags[kRtc3Msg1012] = true;
  std::uint8_t buf[RTC3_Coder::kFrameBytes];
  std::int64_t bytes = 0;
  for (auto _ : state) {
    c.initCoding(flags, 1);
    c.makeCoding();
    bytes += c.buildMessage(kRtc3Msg1004, buf);
    bytes += c.buildMessage(kRtc3Msg1012, buf);
    benchmark::DoNotOptimize(buf);
  }
  state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_ObservationEpoch);

void BM_StationMessages(benchmark::State& state) {
  RTC3_Coder c(fullSky());
  bool flags[kRtc3MsgCount] = {};
  for (int i : {kRtc3Msg1006, kRtc3Msg1008, kRtc3Msg1033}) flags[i] = true;
  std::uint8_t buf[RTC3_Coder::kFrameBytes];
  for (auto _ : state) {
    c.initCoding(flags, 1);
    c.makeCoding();
    for (int i : {kRtc3Msg1006, kRtc3Msg1008, kRtc3Msg1033}) benchmark::DoNotOptimize(c.buildMessage(i, buf));
  }
}
BENCHMARK(BM_StationMessages);

}  // namespace
