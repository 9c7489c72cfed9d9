// Recordings, the oracles run at test time, an RTCM 3 frame writer and a client keeping what a decoder hands over.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "differential/reoutput_seam.h"
#include "differential/rtcm3_decoder.h"
#include "platform/crc.h"
#include "fixtures/null_clients.h"

namespace rtcm3test {

using Bytes = std::vector<unsigned char>;

inline std::string recording(const std::string& name) { return std::string(RX_SHARED_DIR) + "/testdata/rtcm3/" + name; }
inline Bytes readFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), {});
}

inline std::string run(const std::string& cmd) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  char buf[4096];
  for (std::size_t n; p != nullptr && (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  if (p != nullptr) pclose(p);
  return out;
}

// One line of gpsdecode's JSON per decoded RTCM 3 frame.
inline std::vector<std::string> gpsdecodeRtcm3(const std::string& file) {
  EXPECT_EQ(access("/usr/bin/gpsdecode", X_OK), 0) << "gpsdecode (Debian gpsd-clients) is required: run scripts/setup";
  std::vector<std::string> lines;
  std::istringstream out(run("gpsdecode -j < '" + file + "' 2>/dev/null"));
  for (std::string l; std::getline(out, l);)
    if (l.find("\"class\":\"RTCM3\"") != std::string::npos) lines.push_back(l);
  return lines;
}

// A JSON member's value ("key":VALUE), strings without their quotes.
inline std::string jsonString(const std::string& line, const std::string& key) {
  const std::size_t p = line.find("\"" + key + "\":");
  if (p == std::string::npos) return "<absent>";
  const std::size_t v = p + key.size() + 3;
  if (line[v] == '"') return line.substr(v + 1, line.find('"', v + 1) - v - 1);
  return line.substr(v, line.find_first_of(",}]", v) - v);
}
inline double jsonDouble(const std::string& line, const std::string& key) {
  const std::string v = jsonString(line, key);
  return v == "<absent>" ? -999999.0 : std::strtod(v.c_str(), nullptr);
}
inline long long jsonInt(const std::string& l, const std::string& key) { return static_cast<long long>(jsonDouble(l, key)); }

// A payload field: a value of n bits, MSB first, or a string (length byte, then its characters).
struct Field {
  Field(std::uint64_t value, int bits) : v(value), n(bits) {}
  Field(std::string s) : text(std::move(s)) {}
  Field(const char* s) : text(s) {}
  std::uint64_t v = 0;
  int n = -1;
  std::string text;
};
inline Bytes payload(const std::vector<Field>& fields) {
  Bytes b;
  int bits = 0;
  const auto put = [&](std::uint64_t v, int n) {
    for (int i = n - 1; i >= 0; --i, ++bits) {
      if (bits % 8 == 0) b.push_back(0);
      if (i < 64 && ((v >> i) & 1u)) b.back() |= static_cast<unsigned char>(0x80u >> (bits % 8));
    }
  };
  for (const Field& f : fields) {
    if (f.n >= 0) put(f.v, f.n);
    else for (put(f.text.size(), 8); unsigned char c : f.text) put(c, 8);
  }
  return b;
}
inline Bytes frameOf(const Bytes& payload) {
  const std::size_t len = payload.size();
  Bytes f = {0xD3, static_cast<unsigned char>((len >> 8) & 3), static_cast<unsigned char>(len & 0xFF)};
  f.insert(f.end(), payload.begin(), payload.end());
  const std::uint32_t crc = crc24q(0, f.data(), static_cast<std::uint32_t>(f.size() * 8));
  for (int s : {16, 8, 0}) f.push_back(static_cast<unsigned char>(crc >> s));
  return f;
}

struct RecordingClient : NullRtcm3Client {
  std::vector<RTC3_REFPOS> refPos;
  std::vector<RTC3_ANT_DESC> antDesc;
  std::vector<RTC3_RCV_DESC> rcvDesc;
  std::vector<RTC3_SYS_PAR> sysPar;
  std::vector<RTC3_GLO_BIAS> gloBias;
  std::vector<RTC3_TEXT_MSG> texts;
  std::vector<RTC3_DEC_STATUS> statuses;
  int resets = 0, lastPort = -1;
  void reset() override { ++resets; }
  void updateRefPos(const RTC3_REFPOS& p, int port) override { refPos.push_back(p), lastPort = port; }
  void updateAntDesc(const RTC3_ANT_DESC& a, int) override { antDesc.push_back(a); }
  void updateRcvDesc(const RTC3_RCV_DESC& r, int) override { rcvDesc.push_back(r); }
  void updateSysPar(const RTC3_SYS_PAR& s, int) override { sysPar.push_back(s); }
  void updateGloBias(const RTC3_GLO_BIAS& g, int) override { gloBias.push_back(g); }
  void updateVendorText(const RTC3_TEXT_MSG& t, int) override { texts.push_back(t); }
  void updateStatus(RTC3_DEC_STATUS& s, int) override { statuses.push_back(s); }
  std::size_t delivered() const { return refPos.size() + antDesc.size() + rcvDesc.size() + sysPar.size() + gloBias.size() + texts.size(); }
  // Message numbers of the frames that passed the CRC, in order (a bad frame's status repeats the count).
  std::vector<int> goodMessages() const {
    std::vector<int> m;
    for (int last = 0; const RTC3_DEC_STATUS& s : statuses) {
      if (s.goodFrames != last) m.push_back(s.msgNum);
      last = s.goodFrames;
    }
    return m;
  }
};

// Captures what the decoders re-output, while it lives, under the given decoder settings.
struct Reoutput {
  static inline std::vector<Bytes> frames;
  static inline int lastPort = -1;
  static int write(int port, const void* data, int len) {
    lastPort = port;
    frames.emplace_back(static_cast<const unsigned char*>(data), static_cast<const unsigned char*>(data) + len);
    return len;
  }
  DecOutputSeam kept = decOutputSeam;
  explicit Reoutput(const RTC3_DEC_SETTINGS& s) {
    frames.clear();
    decOutputSeam.writePort = &write;
    RTC3_Decoder::setSettings(s);
  }
  ~Reoutput() {
    RTC3_Decoder::setSettings(RTC3_DEC_SETTINGS{0, 43, 82, 1, 0});
    decOutputSeam = kept;
  }
};

}  // namespace rtcm3test
