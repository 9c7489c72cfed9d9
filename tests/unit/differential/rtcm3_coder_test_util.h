// The RTCM 3 coder's tests: a data source the test fills, frames built from it, and the oracles
// (gpsdecode, convbin) reading them back.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "differential/rtcm3/rtcm3_coder.h"
#include "rtcm3_test_util.h"

namespace coder3test {

using rtcm3test::Bytes;

// The epoch data and reference station the coder reads, and the flags the source answers.
struct FakeSource : NAV_Coder_Client {
  NAVCOD_RTK_DATA rtk{};
  NAVCOD_REF_COORD ref{};
  bool ready = true, refPos = true, arp = true;
  std::vector<std::string> calls;
  bool getRtkData(const NAVCOD_RTK_DATA** out) override {
    calls.push_back("getRtkData");
    *out = &rtk;
    return ready;
  }
  bool getRefCoord(bool, NAVCOD_REF_COORD** out, bool, bool& r, bool& a) override {
    calls.push_back("getRefCoord");
    *out = &ref;
    r = refPos;
    a = arp;
    return true;
  }
  bool getIonoCorData(const NAVCOD_IONO_DATA**) override { return false; }
  bool getSysTime(bool, long&) override { return false; }
  bool getDifCorData(const NAVCOD_DIF_DATA**) override { return false; }

  // A satellite with the observations ready to be coded; its entry.
  RTK_DATA_SV& addSat(int sys, int number, int fcn = 0) {
    RTK_DATA_SV& s = rtk.sat[rtk.uSatCount++];
    s = RTK_DATA_SV{};
    s.uNumber = static_cast<std::uint8_t>(number);
    s.cGloFreq = static_cast<std::int8_t>(fcn);
    s.uSystem = static_cast<std::uint8_t>(sys);
    ++rtk.uCount[sys];
    ++rtk.uCountRtcm3[sys];
    rtk.uConstOne = 1;
    rtk.bReady = 1;
    return s;
  }
  static void setSlot(RTK_DATA_SV& s, int slot, double code, double phaseM, long lockMs, int cn0x4) {
    RTK_DATA_SLOT& d = s.slot[slot];
    d.dCode = code;
    d.dPhase = phaseM;
    d.ulLock = static_cast<std::uint32_t>(lockMs);
    d.uCn0 = static_cast<std::uint8_t>(cn0x4);
    d.bPresent = 1;
  }
};

inline RTC3_COD_SETTINGS defaultSettings(int stationId = 2003) {
  RTC3_COD_SETTINGS s{};
  s.stationId = static_cast<std::int16_t>(stationId);
  for (auto& m : s.msm) m = 1;
  for (auto& t : s.textParam) t = 1;
  s.ver = 1;
  return s;
}

// Arms the coder for a stream with these messages enabled.
inline void arm(RTC3_Coder& c, std::initializer_list<int> indices) {
  bool flags[kRtc3MsgCount] = {};
  for (int i : indices) flags[i] = true;
  c.initCoding(flags, 1);
  c.makeCoding();
}

inline Bytes build(RTC3_Coder& c, int index) {
  std::uint8_t buf[RTC3_Coder::kFrameBytes];
  const int n = c.buildMessage(index, buf);
  return Bytes(buf, buf + n);
}

// Bits [pos, pos + n) of a frame, MSB first.
inline std::uint64_t bits(const Bytes& f, int pos, int n) {
  std::uint64_t v = 0;
  for (int i = 0; i < n; ++i) v = v << 1 | ((f[(pos + i) / 8] >> (7 - (pos + i) % 8)) & 1u);
  return v;
}

// A scratch folder removed with the object.
struct TempDir {
  std::string path;
  TempDir() {
    char t[] = "/tmp/rtcm3coderXXXXXX";
    path = mkdtemp(t) != nullptr ? t : "/tmp";
  }
  ~TempDir() { rtcm3test::run("rm -rf '" + path + "'"); }
  std::string file(const std::string& name) const { return path + "/" + name; }
};

inline void writeFrames(const std::string& path, const std::vector<Bytes>& frames) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  for (const Bytes& b : frames) std::fwrite(b.data(), 1, b.size(), f);
  std::fclose(f);
}

// gpsdecode's JSON lines of these frames.
inline std::vector<std::string> gpsdecodeFrames(const std::vector<Bytes>& frames) {
  TempDir d;
  writeFrames(d.file("f.rtcm3"), frames);
  return rtcm3test::gpsdecodeRtcm3(d.file("f.rtcm3"));
}

}  // namespace coder3test
