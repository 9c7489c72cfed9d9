// Coding speed of the base station's CMR coder: one epoch's GPS (16 satellites) and GLONASS
// (14 satellites) observation frames with L2, the station coordinates, the description and a
// CMR+ page.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>

#include "differential/cmr/cmr_coder.h"

namespace {

struct Source : NAV_Coder_Client {
  NAVCOD_RTK_DATA rtk{};
  NAVCOD_REF_COORD ref{};
  bool getRtkData(const NAVCOD_RTK_DATA** out) override { return *out = &rtk, true; }
  bool getRefCoord(bool, NAVCOD_REF_COORD** out, bool, bool& r, bool& a) override {
    *out = &ref;
    return r = a = true;
  }
  bool getIonoCorData(const NAVCOD_IONO_DATA**) override { return false; }
  bool getSysTime(bool, long& t) override { return t = 11049600, true; }
  bool getDifCorData(const NAVCOD_DIF_DATA**) override { return false; }
};

Source* fullSky() {
  static Source s;
  for (int sys = 0; sys < 2; ++sys) {
    s.rtk.bValid[sys] = 1;
    s.rtk.ulTime[sys] = 11049600;
    const int n = sys == 0 ? 16 : 14;
    for (int k = 0; k < n; ++k) {
      RTK_DATA_SV& sv = s.rtk.sat[s.rtk.uSatCount++];
      sv.uNumber = static_cast<std::uint8_t>(k + 1);
      sv.uSystem = static_cast<std::uint8_t>(sys);
      sv.cGloFreq = static_cast<std::int8_t>(sys == 1 ? k % 14 - 7 : 0);
      for (int slot : {0, 2}) {
        RTK_DATA_SLOT& d = sv.slot[slot];
        d.dCode = 2.0e7 + k * 123456.789 + slot;
        d.dPhase = d.dCode + k * 3.7 - 20.0;
        d.ulLock = 600000;
        d.uCn0 = 45 * 4;
        d.bPresent = 1;
      }
    }
    s.rtk.uCount[sys] = s.rtk.uCountCmr[sys] = static_cast<std::uint8_t>(n);
  }
  s.ref.dX = -3869297.514, s.ref.dY = 3436571.335, s.ref.dZ = 3717369.376;
  s.ref.fAntHeight = 1.5f;
  return &s;
}

CMR_Coder& coder() {
  static CMR_Coder c(fullSky());
  CMR_COD_SETTINGS set{};
  set.stationId = 17;
  set.l2 = 1;
  std::strcpy(set.shortName, "BASE");
  std::strcpy(set.longName, "A station name of some forty characters.");
  c.setSettings(set);
  return c;
}

void BM_CmrObservationEpoch(benchmark::State& state) {
  CMR_Coder& c = coder();
  const bool kinds[kCmrMsgCount] = {true, true, false, false, false};
  std::uint8_t out[CMR_Coder::kMaxFrame];
  for (auto _ : state) {
    c.initCoding(kinds);
    c.makeCoding();
    int n = c.buildMessage(kCmrMsgGps, out, sizeof out);
    n += c.buildMessage(kCmrMsgGlonass, out, sizeof out);
    benchmark::DoNotOptimize(n);
  }
}
BENCHMARK(BM_CmrObservationEpoch);

void BM_CmrStationMessages(benchmark::State& state) {
  CMR_Coder& c = coder();
  const bool kinds[kCmrMsgCount] = {false, false, true, true, true};
  std::uint8_t out[CMR_Coder::kMaxFrame];
  for (auto _ : state) {
    c.initCoding(kinds);
    c.makeCoding();
    int n = c.buildMessage(kCmrMsgRefCoord, out, sizeof out);
    n += c.buildMessage(kCmrMsgDesc, out, sizeof out);
    n += c.buildMessage(kCmrMsgPlus, out, sizeof out);
    benchmark::DoNotOptimize(n);
  }
}
BENCHMARK(BM_CmrStationMessages);

}  // namespace
