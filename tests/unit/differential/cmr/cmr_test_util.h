// Hand-built CMR and CMR+ frames for the tests, written field by field from the public CMR
// layout (the 1996 compact-record description, the 1997 CMR+ additions) with their own bit
// writer, so that they do not share a line with the code they test.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "differential/cmr/cmr_decoder.h"
#include "fixtures/null_clients.h"

namespace cmrtest {

using Bytes = std::vector<std::uint8_t>;

// Most-significant-bit-first writer.
struct Bits {
  Bytes b;
  int n = 0;
  void put(std::int64_t v, int width) {
    for (int i = width - 1; i >= 0; --i) {
      if (n % 8 == 0) b.push_back(0);
      if ((static_cast<std::uint64_t>(v) >> i) & 1u) b.back() |= static_cast<std::uint8_t>(0x80 >> (n % 8));
      ++n;
    }
  }
};

// STX, status, type, length, data, checksum, ETX.
inline Bytes frame(std::uint8_t type, const Bytes& data, std::uint8_t status = 0) {
  Bytes f{0x02, status, type, static_cast<std::uint8_t>(data.size())};
  unsigned sum = status + type + static_cast<unsigned>(data.size());
  for (std::uint8_t x : data) {
    f.push_back(x);
    sum += x;
  }
  f.push_back(static_cast<std::uint8_t>(sum));
  f.push_back(0x03);
  return f;
}

// The 6-byte header: version, station, type, 5 low bits, 18-bit time, 2 clock bits, 12-bit
// clock offset.
inline void header(Bits& w, int version, int station, int type, int low5, int timeMs, int clockBits = 3,
                   int clockOffset = 0) {
  w.put(version, 3);
  w.put(station, 5);
  w.put(type, 3);
  w.put(low5, 5);
  w.put(timeMs, 18);
  w.put(clockBits, 2);
  w.put(clockOffset, 12);
}

struct SatObs {
  int prn;           // 1..32, sent as prn & 31
  bool pcode = false;
  bool phaseValid = true;
  std::int64_t code = 0;    // 1/8 L1 cycle, 24 bits
  std::int64_t phase = 0;   // 1/256 L1 cycle, 20 bits signed
  int snr = 0;              // nibble
  int slip = 0;
  bool l2 = false;
  int l2flags = 0x1F;       // the five flag bits (code available .. phase full)
  std::int64_t l2range = 0; // 0.01 m, 16 bits signed
  std::int64_t l2phase = 0; // 1/256 L2 cycle, 20 bits signed
  int l2snr = 0;
  int l2slip = 0;
};

inline Bytes obsBody(int version, int station, int type, int timeMs, const std::vector<SatObs>& sats,
                     int clockOffset = 0) {
  Bits w;
  header(w, version, station, type, static_cast<int>(sats.size()), timeMs, 3, clockOffset);
  for (const SatObs& s : sats) {
    w.put(s.prn & 31, 5);
    w.put(s.pcode, 1);
    w.put(s.phaseValid, 1);
    w.put(s.l2, 1);
    w.put(s.code, 24);
    w.put(s.phase, 20);
    w.put(s.snr, 4);
    w.put(s.slip, 8);
    if (s.l2) {
      w.put(s.l2flags, 5);
      w.put(0, 3);
      w.put(s.l2range, 16);
      w.put(s.l2phase, 20);
      w.put(s.l2snr, 4);
      w.put(s.l2slip, 8);
    }
  }
  return w.b;
}

// Type 1 body (after the header): per axis 32 bits of 4 mm, 2 bits of 1 mm, a 14-bit offset
// (antenna height, easting, northing), then the accuracy nibble and 4 spare bits.
inline void coordBody(Bits& w, const std::int64_t mm[3], const int off[3], int accuracy) {
  for (int k = 0; k < 3; ++k) {
    const std::int64_t hi = mm[k] >= 0 ? mm[k] / 4 : -((-mm[k] + 3) / 4);
    w.put(hi, 32);
    w.put(mm[k] - hi * 4, 2);
    w.put(off[k], 14);
  }
  w.put(accuracy, 4);
  w.put(0, 4);
}

inline Bytes names(const std::string& shortName, const std::string& cogo, const std::string& longName) {
  Bytes b;
  std::string s = std::string(8 - std::min<std::size_t>(8, shortName.size()), ' ') + shortName.substr(0, 8);
  for (char c : s) b.push_back(static_cast<std::uint8_t>(c));
  std::string c = std::string(16 - std::min<std::size_t>(16, cogo.size()), '\0') + cogo.substr(0, 16);
  for (char x : c) b.push_back(static_cast<std::uint8_t>(x));
  for (char x : longName) b.push_back(static_cast<std::uint8_t>(x));
  b.push_back(0);
  return b;
}

// Type 2: header, a length byte counting the bytes after it, the names.
inline Bytes descBody(int station, const std::string& s, const std::string& c, const std::string& l) {
  Bits w;
  header(w, 3, station, 2, 0, 0, 0, 0);
  const Bytes n = names(s, c, l);
  w.put(static_cast<std::int64_t>(n.size()), 8);
  Bytes b = w.b;
  b.insert(b.end(), n.begin(), n.end());
  return b;
}

// The CMR+ station record: (1, 6, flags 16, receiver, antenna), (2, 21, coordinates),
// (3, length, names).
inline Bytes plusRecord(const std::int64_t mm[3], const int off[3], int antenna, const std::string& s,
                        const std::string& c, const std::string& l) {
  Bytes r{1, 6, 0x02, 0x00, 0, static_cast<std::uint8_t>(antenna)};
  Bits w;
  coordBody(w, mm, off, 0);
  r.push_back(2);
  r.push_back(21);
  r.insert(r.end(), w.b.begin(), w.b.end());
  const Bytes n = names(s, c, l);
  r.push_back(3);
  r.push_back(static_cast<std::uint8_t>(n.size() + 2));
  r.insert(r.end(), n.begin(), n.end());
  return r;
}

// The record in pages of 7 bytes; `countIsPages` sends the page count, else the highest index.
inline std::vector<Bytes> plusPages(int station, const Bytes& rec, bool countIsPages) {
  const int pages = static_cast<int>((rec.size() + 6) / 7);
  std::vector<Bytes> out;
  for (int p = 0; p < pages; ++p) {
    Bytes d{static_cast<std::uint8_t>(station), static_cast<std::uint8_t>(p),
            static_cast<std::uint8_t>(countIsPages ? pages : pages - 1)};
    for (std::size_t i = static_cast<std::size_t>(p) * 7; i < rec.size() && i < static_cast<std::size_t>(p) * 7 + 7; ++i)
      d.push_back(rec[i]);
    out.push_back(frame(0x94, d));
  }
  return out;
}

struct Recorder : NullCmrClient {
  std::vector<CMR_MEAS> meas;
  std::vector<CMR_REF_COORD> coords;
  std::vector<CMR_REF_DESC> descs;
  std::vector<CMR_DEC_STATUS> statuses;
  int resets = 0, rtkResets = 0;
  void reset() override { ++resets; }
  void updateRtkData(const CMR_MEAS& m, int) override { meas.push_back(m); }
  void updateRefCoord(const CMR_REF_COORD& c, int) override { coords.push_back(c); }
  void updateRefDesc(const CMR_HEADER&, const CMR_REF_DESC& d, int) override { descs.push_back(d); }
  void updateStatus(CMR_DEC_STATUS& s, int) override { statuses.push_back(s); }
  void resetRTK() override { ++rtkResets; }
};

}  // namespace cmrtest
