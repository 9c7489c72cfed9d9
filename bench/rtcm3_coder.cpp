// Coding speed of the base station's RTCM 3 coder: one epoch's observation messages for a full
// sky (31 GPS and 24 GLONASS satellites on two frequencies), the station messages, MSM7 of 30 GPS
// satellites on three signals (two frames an epoch) and, beside it, rtklib's str2str turning the
// same epochs into 1077 again.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

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

// 30 GPS satellites with L1 C/A, L2 P and L2C.
Source* gps30(std::uint32_t towMs) {
  static Source s;
  s.rtk = NAVCOD_RTK_DATA{};
  s.rtk.ulTime[0] = towMs;
  for (int k = 0; k < 30; ++k) {
    RTK_DATA_SV& sv = s.rtk.sat[k];
    sv.uNumber = static_cast<std::uint8_t>(k + 1);
    for (int slot : {0, 2, 3}) {
      RTK_DATA_SLOT& d = sv.slot[slot];
      d.dCode = 2.0e7 + k * 123456.789 + slot * 1.5 + (towMs - 302400000.0) * 0.7;  // 700 m/s
      d.dPhase = d.dCode + 0.37 * slot;
      d.dRate = -300.0 + k * 20.0;
      d.ulLock = 600000 + (towMs - 302400000u);
      d.uCn0 = 180;
      d.bPresent = 1;
    }
  }
  s.rtk.uCount[0] = s.rtk.uCountRtcm3[0] = 30;
  s.rtk.uSatCount = 30;
  s.rtk.uConstOne = s.rtk.bReady = 1;
  return &s;
}

constexpr int kMsm7 = kRtc3MsgMsmFirst + 6;  // 1077

// Both 1077 frames of one epoch, appended to `out` when given.
int msm7Epoch(RTC3_Coder& c, std::vector<std::uint8_t>* out) {
  bool flags[kRtc3MsgCount] = {};
  flags[kMsm7] = true;
  std::uint8_t buf[RTC3_Coder::kFrameBytes];
  c.initCoding(flags, 1);
  c.makeCoding();
  int frames = 0;
  do {
    const int n = c.buildMessage(kMsm7, buf);
    if (n == 0) break;
    ++frames;
    if (out != nullptr) out->insert(out->end(), buf, buf + n);
  } while (c.repeatMessage());
  return frames;
}

void BM_Msm7Epoch30x3(benchmark::State& state) {
  RTC3_Coder c(gps30(302400000));
  std::int64_t frames = 0;
  for (auto _ : state) frames += msm7Epoch(c, nullptr);
  state.counters["frames/s"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Msm7Epoch30x3);

// str2str reading 600 such epochs (our 1077) from a file and writing its own 1077: the time from
// its start to its last output byte, per epoch. It never ends by itself at the end of a file,
// so it is stopped once its output has stood still for half a second.
void BM_Str2strSameEpochs(benchmark::State& state) {
  constexpr int kEpochs = 600;
  char dir[] = "/tmp/rtcm3benchXXXXXX";
  if (access("/usr/bin/str2str", X_OK) != 0 || mkdtemp(dir) == nullptr) {
    state.SkipWithError("str2str (Debian rtklib) missing");
    return;
  }
  const std::string in = std::string(dir) + "/in.rtcm3", out = std::string(dir) + "/out.rtcm3";
  {
    std::vector<std::uint8_t> bytes;
    for (int e = 0; e < kEpochs; ++e) {
      RTC3_Coder c(gps30(302400000u + static_cast<std::uint32_t>(e) * 1000u));
      msm7Epoch(c, &bytes);
    }
    FILE* f = std::fopen(in.c_str(), "wb");
    if (f == nullptr) return state.SkipWithError("cannot write the input");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  const auto size = [&] {
    struct stat st{};
    return stat(out.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1L;
  };
  for (auto _ : state) {
    std::remove(out.c_str());
    const auto t0 = std::chrono::steady_clock::now();
    const std::string cmd = "str2str -in file://" + in + "#rtcm3 -out file://" + out + "#rtcm3 -msg 1077 >/dev/null 2>&1 & echo $!";
    FILE* p = popen(cmd.c_str(), "r");
    int pid = 0;
    if (p == nullptr || std::fscanf(p, "%d", &pid) != 1) return state.SkipWithError("str2str did not start");
    pclose(p);
    long last = -1;
    auto lastChange = t0;
    for (;;) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      const long n = size();
      const auto now = std::chrono::steady_clock::now();
      if (n != last) last = n, lastChange = now;
      if (n > 0 && now - lastChange > std::chrono::milliseconds(500)) break;
      if (now - t0 > std::chrono::seconds(60)) break;
    }
    std::system(("kill " + std::to_string(pid) + " 2>/dev/null").c_str());
    state.SetIterationTime(std::chrono::duration<double>(lastChange - t0).count());
    state.counters["bytes out"] = static_cast<double>(last);
  }
  state.counters["epochs"] = kEpochs;
  std::system(("rm -rf " + std::string(dir)).c_str());
}
BENCHMARK(BM_Str2strSameEpochs)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
