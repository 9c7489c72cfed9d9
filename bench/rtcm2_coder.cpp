// Coding speed of the base station's RTCM 2 coder: one epoch's RTK observables for a full sky
// (31 GPS and 24 GLONASS satellites on two frequencies, 18 and 19 in one run), the full-set and
// partial-set code corrections of 31 GPS satellites, and a 90-character text.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>

#include "differential/rtcm2/rtcm2_coder.h"

namespace {

struct Source : NAV_Coder_Client {
  NAVCOD_RTK_DATA rtk{};
  NAVCOD_DIF_DATA dif{};
  long t = 11049600;
  bool getRtkData(const NAVCOD_RTK_DATA** out) override { return *out = &rtk, true; }
  bool getRefCoord(bool, NAVCOD_REF_COORD**, bool, bool& r, bool& a) override { return r = a = false; }
  bool getIonoCorData(const NAVCOD_IONO_DATA**) override { return false; }
  bool getSysTime(bool, long& out) override { return out = t, true; }
  bool getDifCorData(const NAVCOD_DIF_DATA** out) override { return *out = &dif, true; }
};

// Every benchmark starts from the same sky (the counts grow as the satellites go in).
Source* fullSky() {
  static Source s;
  s.rtk = {};
  s.dif = {};
  int n = 0;
  for (int sys = 0; sys < 2; ++sys) {
    s.rtk.bValid[sys] = 1;
    s.rtk.ulTime[sys] = 11049600;
    for (int k = 0; k < (sys == 0 ? 31 : 24); ++k, ++n) {
      RTK_DATA_SV& sv = s.rtk.sat[n];
      sv.uNumber = static_cast<std::uint8_t>(k + 1);
      sv.uSystem = static_cast<std::uint8_t>(sys);
      for (int slot : {0, 2}) {
        RTK_DATA_SLOT& d = sv.slot[slot];
        d.dCode2 = 2.0e7 + k * 123456.789 + slot;
        d.dPhase2 = d.dCode2 / 0.19 + k * 3.7;
        d.ulLock = 600000;
        d.bPresent = 1;
      }
      ++s.rtk.uCountRtcm2[sys];
      if (sys == 0) {
        NAVCOD_DIF_SV& c = s.dif.sat[s.dif.uSatCount++];
        c.uSystem = 0, c.uNumber = sv.uNumber, c.uMask = 1, c.uIssue = static_cast<std::uint8_t>(k);
        c.sig[0] = {static_cast<float>(k * 1.37 - 20), static_cast<float>(k * 0.013 - 0.2), 0.8f};
      }
    }
  }
  s.rtk.uSatCount = static_cast<std::uint8_t>(n);
  s.rtk.bReady = 1;
  s.dif.ulTime[0] = 11049600;
  s.dif.bReady = 1;
  return &s;
}

void run(benchmark::State& state, int kind, bool combined) {
  Source* src = fullSky();
  RTCM_Coder coder(src);
  RTCM_COD_SETTINGS set = coder.settings();
  std::memset(set.text16, 'T', 90);
  set.len16 = 90;
  coder.setSettings(set);
  bool flags[kRtcmMsgCount] = {};
  flags[kind] = true;
  if (combined) flags[kind ^ 1] = true;
  static std::uint8_t out[RTCM_Coder::kMaxOut];
  int seq = 0;
  std::uint32_t parity = 0;
  long bytes = 0;
  for (auto _ : state) {
    coder.initCoding(flags);
    coder.makeCoding();
    bytes += coder.buildMessage(kind, out, seq, parity, 1, combined);
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(bytes);
}

void BM_Rtcm2RtkObservablesFullSky(benchmark::State& s) { run(s, kRtcmMsg18, true); }
void BM_Rtcm2FullCorrections31Gps(benchmark::State& s) { run(s, kRtcmMsg1, false); }
void BM_Rtcm2PartialCorrections31Gps(benchmark::State& s) { run(s, kRtcmMsg9, false); }
void BM_Rtcm2Text90(benchmark::State& s) { run(s, kRtcmMsg16, false); }
BENCHMARK(BM_Rtcm2RtkObservablesFullSky);
BENCHMARK(BM_Rtcm2FullCorrections31Gps);
BENCHMARK(BM_Rtcm2PartialCorrections31Gps);
BENCHMARK(BM_Rtcm2Text90);

}  // namespace
