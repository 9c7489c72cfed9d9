// Helpers of the correction-decoder tests: recordings, the independent decoders run as oracles,
// a small RTCM 3 frame writer, and a client that keeps what a decoder hands over.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "differential/rtcm3_decoder.h"
#include "platform/crc.h"

namespace rtcm3test {

inline std::string recording(const std::string& name) {
  return std::string(RX_SHARED_DIR) + "/testdata/rtcm3/" + name;
}

inline std::vector<unsigned char> readFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(f), {});
}

// Runs a shell command and returns its standard output.
inline std::string run(const std::string& cmd) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return out;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

inline bool haveTool(const char* path) { return access(path, X_OK) == 0; }

// One line of gpsdecode's JSON output per decoded RTCM 3 frame.
inline std::vector<std::string> gpsdecodeRtcm3(const std::string& file) {
  std::vector<std::string> lines;
  const std::string out = run("gpsdecode -j < '" + file + "' 2>/dev/null");
  std::size_t a = 0;
  while (a < out.size()) {
    std::size_t b = out.find('\n', a);
    if (b == std::string::npos) b = out.size();
    const std::string line = out.substr(a, b - a);
    if (line.find("\"class\":\"RTCM3\"") != std::string::npos) lines.push_back(line);
    a = b + 1;
  }
  return lines;
}

// The raw text of a JSON member's value ("key":VALUE), without quotes for strings.
inline bool jsonField(const std::string& line, const std::string& key, std::string& value) {
  const std::string k = "\"" + key + "\":";
  const std::size_t p = line.find(k);
  if (p == std::string::npos) return false;
  std::size_t v = p + k.size();
  if (line[v] == '"') {
    const std::size_t e = line.find('"', v + 1);
    value = line.substr(v + 1, e - v - 1);
    return true;
  }
  std::size_t e = v;
  while (e < line.size() && line[e] != ',' && line[e] != '}' && line[e] != ']') ++e;
  value = line.substr(v, e - v);
  return true;
}

inline long long jsonInt(const std::string& line, const std::string& key) {
  std::string v;
  return jsonField(line, key, v) ? std::strtoll(v.c_str(), nullptr, 10) : -999999;
}

inline double jsonDouble(const std::string& line, const std::string& key) {
  std::string v;
  return jsonField(line, key, v) ? std::strtod(v.c_str(), nullptr) : -999999.0;
}

inline std::string jsonString(const std::string& line, const std::string& key) {
  std::string v;
  return jsonField(line, key, v) ? v : std::string("<absent>");
}

// Most-significant-bit-first writer for building test frames.
class BitWriter {
 public:
  void put(std::uint64_t v, int n) {
    for (int i = n - 1; i >= 0; --i) {
      if (bits_ % 8 == 0) bytes_.push_back(0);
      if (i < 64 && ((v >> i) & 1u)) bytes_.back() |= static_cast<unsigned char>(0x80u >> (bits_ % 8));
      ++bits_;
    }
  }
  void putString(const std::string& s) {
    put(s.size(), 8);
    for (unsigned char c : s) put(c, 8);
  }
  const std::vector<unsigned char>& bytes() const { return bytes_; }

 private:
  std::vector<unsigned char> bytes_;
  int bits_ = 0;
};

// A whole frame around a payload: preamble, reserved bits, length, payload, CRC-24Q. The
// length field may be given apart from the payload to build frames that lie about their size.
inline std::vector<unsigned char> frameOf(const std::vector<unsigned char>& payload, int lengthField = -1) {
  const int len = lengthField < 0 ? static_cast<int>(payload.size()) : lengthField;
  std::vector<unsigned char> f = {0xD3, static_cast<unsigned char>((len >> 8) & 3),
                                  static_cast<unsigned char>(len & 0xFF)};
  f.insert(f.end(), payload.begin(), payload.end());
  const std::uint32_t crc = crc24q(0, f.data(), static_cast<std::uint32_t>(f.size() * 8));
  f.push_back(static_cast<unsigned char>(crc >> 16));
  f.push_back(static_cast<unsigned char>(crc >> 8));
  f.push_back(static_cast<unsigned char>(crc));
  return f;
}

// Keeps everything a decoder hands over.
struct RecordingClient : RTC3_Decoder_Client {
  std::vector<RTC3_REFPOS> refPos;
  std::vector<RTC3_ANT_DESC> antDesc;
  std::vector<RTC3_RCV_DESC> rcvDesc;
  std::vector<RTC3_SYS_PAR> sysPar;
  std::vector<RTC3_GLO_BIAS> gloBias;
  std::vector<RTC3_TEXT_MSG> texts;
  std::vector<RTC3_DEC_STATUS> statuses;
  int resets = 0;
  std::vector<int> ports;

  void reset() override { ++resets; }
  void updateRefPos(const RTC3_REFPOS& p, int port) override { refPos.push_back(p), ports.push_back(port); }
  void updateAntDesc(const RTC3_ANT_DESC& a, int port) override { antDesc.push_back(a), ports.push_back(port); }
  void updateRcvDesc(const RTC3_RCV_DESC& r, int port) override { rcvDesc.push_back(r), ports.push_back(port); }
  void updateSysPar(const RTC3_SYS_PAR& s, int port) override { sysPar.push_back(s), ports.push_back(port); }
  void updateGloBias(const RTC3_GLO_BIAS& g, int port) override { gloBias.push_back(g), ports.push_back(port); }
  void updateVendorText(const RTC3_TEXT_MSG& t, int port) override { texts.push_back(t), ports.push_back(port); }
  void updateStatus(RTC3_DEC_STATUS& s, int) override { statuses.push_back(s); }

  // Message numbers of the frames that passed the CRC, in order (one status per good frame
  // follows its decoding; a bad frame's status repeats the previous header).
  std::vector<int> goodMessages() const {
    std::vector<int> m;
    int lastGood = 0;
    for (const RTC3_DEC_STATUS& s : statuses) {
      if (s.goodFrames != lastGood) m.push_back(s.msgNum);
      lastGood = s.goodFrames;
    }
    return m;
  }
};

// Captures what the decoders re-output.
struct OutputCapture {
  static std::vector<unsigned char>& bytes() {
    static std::vector<unsigned char> b;
    return b;
  }
  static std::vector<std::vector<unsigned char>>& frames() {
    static std::vector<std::vector<unsigned char>> f;
    return f;
  }
  static int lastPort;
  static int write(int portIndex, const void* data, int len) {
    lastPort = portIndex;
    const auto* p = static_cast<const unsigned char*>(data);
    bytes().insert(bytes().end(), p, p + len);
    frames().emplace_back(p, p + len);
    return len;
  }
};
inline int OutputCapture::lastPort = -1;

}  // namespace rtcm3test
