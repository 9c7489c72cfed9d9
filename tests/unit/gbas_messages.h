// GBAS VHF data broadcast messages built independently of the decoders under test: fields written
// least significant bit first into a bit stream packed first bit into the top of each byte, the
// CRC-32Q computed bit by bit from its polynomial (ICAO Annex 10 Vol I App B 3.6.3.4: generator
// x^32+x^31+x^24+x^22+x^16+x^14+x^8+x^7+x^5+x^3+x+1, r1 sent first).
#pragma once

#include <cstdint>
#include <vector>

namespace gbastest {

struct Bits {
  std::vector<std::uint8_t> bit;
  Bits& put(std::int64_t v, int n) {
    for (int i = 0; i < n; ++i) bit.push_back(static_cast<std::uint8_t>((static_cast<std::uint64_t>(v) >> i) & 1u));
    return *this;
  }
  std::vector<std::uint8_t> bytes() const {
    std::vector<std::uint8_t> out((bit.size() + 7) / 8, 0);
    for (std::size_t i = 0; i < bit.size(); ++i)
      if (bit[i]) out[i / 8] = static_cast<std::uint8_t>(out[i / 8] | 0x80u >> (i % 8));
    return out;
  }
};

inline std::uint32_t crc32q(const std::uint8_t* p, std::size_t n) {
  std::uint32_t c = 0;
  for (std::size_t i = 0; i < n; ++i)
    for (int k = 7; k >= 0; --k) {
      const bool top = ((c >> 31) ^ ((p[i] >> k) & 1u)) != 0;
      c <<= 1;
      if (top) c ^= 0x814141ABu;
    }
  return c;
}

inline void appendCrc(std::vector<std::uint8_t>& v) {
  const std::uint32_t c = crc32q(v.data(), v.size());
  for (int s = 24; s >= 0; s -= 8) v.push_back(static_cast<std::uint8_t>(c >> s));
}

// Four characters, each its 6-bit code (A..Z 1..26, space 32, digits 48..57), first in the top.
inline std::uint32_t idCode(const char* s) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) {
    const char c = s[i];
    const std::uint32_t code = c >= 'A' && c <= 'Z' ? static_cast<std::uint32_t>(c - 'A' + 1) : static_cast<std::uint32_t>(c) & 63u;
    v = v << 6 | code;
  }
  return v;
}

// A whole message block: header, the body bytes, the CRC. `length` 0 writes the true length.
inline std::vector<std::uint8_t> frame(int blockId, const char* id, int type, const std::vector<std::uint8_t>& body,
                                       int length = 0) {
  Bits h;
  const int len = length != 0 ? length : static_cast<int>(body.size()) + 10;
  h.put(blockId, 8).put(idCode(id), 24).put(type, 8).put(len, 8);
  std::vector<std::uint8_t> m = h.bytes();
  m.insert(m.end(), body.begin(), body.end());
  appendCrc(m);
  return m;
}

struct Meas {
  int id, iod, prc, rrc, sigma, b1, b2, b3, b4;
};

inline std::vector<std::uint8_t> type1Body(int z, int amf, int n, int measType, int decorr, int ephCrc, int sad,
                                           const std::vector<Meas>& blocks) {
  Bits b;
  b.put(z, 14).put(amf, 2).put(n, 5).put(measType, 3).put(decorr, 8).put(ephCrc, 16).put(sad, 8);
  for (const Meas& m : blocks)
    b.put(m.id, 8).put(m.iod, 8).put(m.prc, 16).put(m.rrc, 16).put(m.sigma, 8).put(m.b1, 8).put(m.b2, 8).put(m.b3, 8).put(m.b4, 8);
  return b.bytes();
}

struct Station {
  int receivers, accuracy, gcid, magVar, sigmaVert, refr, scale, sigmaN;
  std::int64_t lat, lon, height;
};
inline std::vector<std::uint8_t> type2Body(const Station& s, const std::vector<int>& block1) {
  Bits b;
  b.put(s.receivers, 2).put(s.accuracy, 2).put(0, 1).put(s.gcid, 3).put(s.magVar, 11).put(0, 5).put(s.sigmaVert, 8);
  b.put(s.refr, 8).put(s.scale, 8).put(s.sigmaN, 8).put(s.lat, 32).put(s.lon, 32).put(s.height, 24);
  for (int v : block1) b.put(v, 8);
  return b.bytes();
}

struct Fas {
  int op, provider;
  const char* airport;
  int runway, letter, apd;
  int route;  // 6-bit code
  int rpds;
  const char* pathId;
  std::int64_t lat, lon;
  int height;
  std::int64_t dLat, dLon;
  int tch, tchUnits, gpa, width, dLength, val, lal;
};
// A type 4 data set: length byte, FAS data block with its CRC (`crcXor` spoils it), the limits.
inline std::vector<std::uint8_t> dataSet(const Fas& f, std::uint32_t crcXor = 0) {
  Bits b;
  b.put(f.op, 4).put(f.provider, 4);
  for (int i = 0; i < 4; ++i) b.put(idCode(f.airport) >> (18 - 6 * i) & 63u, 8);
  b.put(f.runway, 6).put(f.letter, 2).put(f.apd, 3).put(f.route, 5).put(f.rpds, 8);
  for (int i = 0; i < 4; ++i) b.put(idCode(f.pathId) >> (18 - 6 * i) & 63u, 8);
  b.put(f.lat, 32).put(f.lon, 32).put(f.height, 16).put(f.dLat, 24).put(f.dLon, 24).put(f.tch, 15).put(f.tchUnits, 1);
  b.put(f.gpa, 16).put(f.width, 8).put(f.dLength, 8);
  std::vector<std::uint8_t> fas = b.bytes();
  const std::uint32_t c = crc32q(fas.data(), fas.size()) ^ crcXor;
  for (int s = 24; s >= 0; s -= 8) fas.push_back(static_cast<std::uint8_t>(c >> s));
  Bits lim;
  lim.put(f.val, 8).put(f.lal, 8);
  std::vector<std::uint8_t> out = Bits().put(static_cast<int>(fas.size()) + 3, 8).bytes();
  out.insert(out.end(), fas.begin(), fas.end());
  const std::vector<std::uint8_t> l = lim.bytes();
  out.insert(out.end(), l.begin(), l.end());
  return out;
}

}  // namespace gbastest
