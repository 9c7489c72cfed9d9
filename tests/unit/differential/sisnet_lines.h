// SISNeT lines as a server sends them, built here independently of the decoder: the 250-bit
// message (the 226 bits a receiver log holds, then its CRC-24Q parity) as 63 hexadecimal
// characters, runs of three or more packed as "c|n" (one hexadecimal count digit) or, from 16 on,
// "c/nn" (two digits), then '*' and the XOR of the 32 message bytes in two hexadecimal digits.
// Real messages come from the MSAS recording of ../shared/testdata/sbas/ through Debian's convbin.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <stdlib.h>

namespace sisnettest {

struct Message {
  int week = 0;
  int tow = 0;
  int prn = 0;
  std::uint8_t b[32] = {};
};

inline int bitAt(const std::uint8_t* m, int i) { return (m[i / 8] >> (7 - i % 8)) & 1; }
inline void setBit(std::uint8_t* m, int i, int v) {
  const std::uint8_t mask = static_cast<std::uint8_t>(0x80u >> (i % 8));
  m[i / 8] = static_cast<std::uint8_t>(v ? (m[i / 8] | mask) : (m[i / 8] & ~mask));
}

// CRC-24Q (generator 0x1864CFB, initial 0) over the first `bits` bits, one bit at a time.
inline std::uint32_t crc24qBitwise(const std::uint8_t* m, int bits) {
  std::uint32_t crc = 0;
  for (int i = 0; i < bits; ++i) {
    crc ^= static_cast<std::uint32_t>(bitAt(m, i)) << 23;
    crc = (crc & 0x800000u) != 0 ? ((crc << 1) ^ 0x1864CFBu) & 0xFFFFFFu : (crc << 1) & 0xFFFFFFu;
  }
  return crc;
}

// Bits 226..249 become the parity of bits 0..225; the padding after them is cleared.
inline void appendCrc(std::uint8_t* m) {
  for (int i = 226; i < 256; ++i) setBit(m, i, 0);
  const std::uint32_t crc = crc24qBitwise(m, 226);
  for (int i = 0; i < 24; ++i) setBit(m, 226 + i, static_cast<int>((crc >> (23 - i)) & 1u));
}

inline std::string hex63(const std::uint8_t* m) {
  static const char* digits = "0123456789ABCDEF";
  std::string s;
  for (int i = 0; i < 63; ++i) s += digits[(m[i / 2] >> (i % 2 == 0 ? 4 : 0)) & 0xF];
  return s;
}

inline std::string pack(const std::string& chars) {
  std::string out;
  char buf[8];
  for (std::size_t i = 0; i < chars.size();) {
    std::size_t r = 1;
    while (i + r < chars.size() && chars[i + r] == chars[i]) ++r;
    if (r >= 16) {
      std::snprintf(buf, sizeof buf, "%c/%02X", chars[i], static_cast<unsigned>(r));
      out += buf;
    } else if (r >= 3) {
      std::snprintf(buf, sizeof buf, "%c|%X", chars[i], static_cast<unsigned>(r));
      out += buf;
    } else {
      out.append(r, chars[i]);
    }
    i += r;
  }
  return out;
}

inline std::string checksum(const std::uint8_t* m) {
  unsigned x = 0;
  for (int i = 0; i < 32; ++i) x ^= m[i];
  char buf[4];
  std::snprintf(buf, sizeof buf, "%02X", x);
  return buf;
}

// One line; `text` replaces the packed message text when given.
inline std::string line(int week, int tow, const std::uint8_t* m, const std::string& keyword = "*MSG",
                        const std::string* text = nullptr) {
  return keyword + "," + std::to_string(week) + "," + std::to_string(tow) + "," +
         (text != nullptr ? *text : pack(hex63(m))) + "*" + checksum(m) + "\n";
}

// The SBAS messages of a recording as convbin logs them (226 bits), each with its parity added.
inline std::vector<Message> recorded(const std::string& recording, const std::string& format) {
  std::vector<Message> out;
  char tmpl[] = "/tmp/sisnetXXXXXX";
  if (mkdtemp(tmpl) == nullptr) return out;
  const std::string dir = tmpl;
  const std::string cmd = "cd " + dir + " && cp '" + std::string(RX_SHARED_DIR) + "/testdata/sbas/" + recording +
                          "' in.bin && convbin -r " + format + " in.bin -d . >/dev/null 2>&1";
  if (std::system(cmd.c_str()) == 0) {
    std::ifstream sbs(dir + "/in.sbs");
    for (std::string l; std::getline(sbs, l);) {
      std::istringstream in(l);
      Message m;
      int type = 0;
      std::string colon, hex;
      if (!(in >> m.week >> m.tow >> m.prn >> type >> colon >> hex) || hex.size() < 58) continue;
      for (int i = 0; i < 29; ++i) m.b[i] = static_cast<std::uint8_t>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
      appendCrc(m.b);
      out.push_back(m);
    }
  }
  if (std::system(("rm -rf " + dir).c_str()) != 0) out.clear();
  return out;
}

}  // namespace sisnettest
