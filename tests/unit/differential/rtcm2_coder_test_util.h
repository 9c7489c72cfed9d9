// An independent reader of the RTCM 2 coder's bytes for its tests: six-of-eight bytes back to
// 30-bit words, each word's parity checked with the IS-GPS-200 equations written out here (Table
// 20-XIV) rather than through the receiver's own parity code, and messages cut by their headers.
// Also a data source whose records and times a test sets.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "differential/coder_client.h"
#include "differential/rtcm2/rtcm2_coder.h"

namespace coder2test {

using Bytes = std::vector<std::uint8_t>;

struct Msg {
  int type = -1, station = 0, z = 0, seq = 0, n = 0, health = 0;
  std::vector<std::uint32_t> data;  // 24-bit data words
  // Bits [at, at+len) of the data words, most significant first.
  std::uint64_t bits(int at, int len) const {
    std::uint64_t v = 0;
    for (int i = 0; i < len; ++i) {
      const int b = at + i;
      v = v << 1 | ((data[static_cast<std::size_t>(b / 24)] >> (23 - b % 24)) & 1u);
    }
    return v;
  }
  long sbits(int at, int len) const {
    const std::uint64_t v = bits(at, len);
    return static_cast<long>(v & (1ull << (len - 1)) ? static_cast<std::int64_t>(v) - (1ll << len) : static_cast<std::int64_t>(v));
  }
};

inline int bit(std::uint32_t d24, int i) { return (d24 >> (24 - i)) & 1; }  // d1..d24

// D25..D30 of data d1..d24 after the previous word's D29*, D30*.
inline std::uint32_t icdParity(std::uint32_t d, int d29s, int d30s) {
  static const int eq[6][16] = {
      {1, 2, 3, 5, 6, 10, 11, 12, 13, 14, 17, 18, 20, 23, 0},
      {2, 3, 4, 6, 7, 11, 12, 13, 14, 15, 18, 19, 21, 24, 0},
      {1, 3, 4, 5, 7, 8, 12, 13, 14, 15, 16, 19, 20, 22, 0},
      {2, 4, 5, 6, 8, 9, 13, 14, 15, 16, 17, 20, 21, 23, 0},
      {1, 3, 5, 6, 7, 9, 10, 14, 15, 16, 17, 18, 21, 22, 24, 0},
      {3, 5, 6, 8, 9, 10, 11, 13, 15, 19, 22, 23, 24, 0}};
  const int star[6] = {d29s, d30s, d29s, d30s, d30s, d29s};
  std::uint32_t p = 0;
  for (int k = 0; k < 6; ++k) {
    int v = star[k];
    for (int j = 0; eq[k][j] != 0; ++j) v ^= bit(d, eq[k][j]);
    p = p << 1 | static_cast<std::uint32_t>(v);
  }
  return p;
}

// Reads a byte run. `state` carries D29*, D30* (bit 1, bit 0) across calls like a stream's
// receiver. Every byte must carry 01 in its top bits and every word pass; `bad` counts failures.
struct Reader {
  int d29s = 0, d30s = 0;
  int bad = 0;
  std::vector<Msg> read(const std::uint8_t* p, int n, int terminatorBytes = 0) {
    std::vector<Msg> out;
    std::vector<std::uint32_t> words;
    int i = 0;
    while (i + 5 <= n) {
      std::uint32_t w = 0;
      for (int k = 0; k < 5; ++k) {
        const std::uint8_t b = p[i + k];
        if ((b & 0xC0) != 0x40) ++bad;
        std::uint32_t six = 0;
        for (int j = 0; j < 6; ++j) six |= ((b >> j) & 1u) << (5 - j);
        w = w << 6 | six;
      }
      i += 5;
      std::uint32_t d = (w >> 6) & 0xFFFFFF;
      if (d30s) d ^= 0xFFFFFF;
      if (icdParity(d, d29s, d30s) != (w & 0x3F)) ++bad;
      d29s = (w >> 1) & 1, d30s = w & 1;
      words.push_back(d);
      if (words.size() >= 2) {
        const int count = static_cast<int>((words[1] >> 3) & 0x1F);
        if (static_cast<int>(words.size()) == count + 2) {
          Msg m;
          if ((words[0] >> 16) != 0x66) ++bad;
          m.type = static_cast<int>((words[0] >> 10) & 0x3F);
          m.station = static_cast<int>(words[0] & 0x3FF);
          m.z = static_cast<int>(words[1] >> 11);
          m.seq = static_cast<int>((words[1] >> 8) & 7);
          m.n = count;
          m.health = static_cast<int>(words[1] & 7);
          m.data.assign(words.begin() + 2, words.end());
          out.push_back(m);
          words.clear();
          i += terminatorBytes;
        }
      }
    }
    if (!words.empty() || i != n) ++bad;
    return out;
  }
};

// A data source whose records and times the test sets.
struct FakeSource : NAV_Coder_Client {
  NAVCOD_RTK_DATA* rtk = nullptr;
  NAVCOD_DIF_DATA* dif = nullptr;
  NAVCOD_IONO_DATA* ion = nullptr;
  NAVCOD_REF_COORD ref[2]{};
  bool refOk[2] = {true, true};
  long gps = 0, glo = 0;
  bool gpsOk = true, gloOk = true;
  bool getRtkData(const NAVCOD_RTK_DATA** out) override {
    *out = rtk;
    return rtk != nullptr && rtk->bReady;
  }
  bool getRefCoord(bool glonass, NAVCOD_REF_COORD** out, bool, bool& refPos, bool& arp) override {
    *out = &ref[glonass ? 1 : 0];
    refPos = refOk[glonass ? 1 : 0];
    arp = false;
    return true;
  }
  bool getIonoCorData(const NAVCOD_IONO_DATA** out) override {
    *out = ion;
    return ion != nullptr && ion->bReady;
  }
  bool getSysTime(bool glonass, long& t) override {
    if (!(glonass ? gloOk : gpsOk)) return false;
    t = glonass ? glo : gps;
    return true;
  }
  bool getDifCorData(const NAVCOD_DIF_DATA** out) override {
    *out = dif;
    return dif != nullptr && dif->bReady;
  }
};

inline std::string run(const std::string& cmd) {
  std::string out;
  if (FILE* f = popen(cmd.c_str(), "r")) {
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    pclose(f);
  }
  return out;
}

// Enables exactly the kinds listed.
inline void enableOnly(RTCM_Coder& c, std::initializer_list<int> kinds) {
  bool f[kRtcmMsgCount] = {};
  for (int k : kinds) f[k] = true;
  c.initCoding(f);
}

}  // namespace coder2test
