// Hand-built SBAS L1 messages for the decoder tests: fields are written in the order and widths of
// the RTCA DO-229D message tables, one after the other, so the positions follow from the table.
#pragma once

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <utility>

#include "navigation_data/store/sat_data_store.h"
#include "navigation_data/sv_id.h"
#include "positioning/data_servers/pos_data_types.h"

namespace sbas_test {

struct Msg {
  std::uint8_t b[32] = {};
  int next = 1;  // data position of the next field written by add()
  explicit Msg(int type) {
    put0(0, 8, 0x9A);
    put0(8, 6, static_cast<std::uint32_t>(type));
  }
  void put0(int bit0, int n, std::uint32_t v) {
    for (int i = 0; i < n; ++i) {
      const int bit = bit0 + i;
      const std::uint8_t m = static_cast<std::uint8_t>(0x80u >> (bit % 8));
      if ((v >> (n - 1 - i)) & 1u)
        b[bit / 8] |= m;
      else
        b[bit / 8] &= static_cast<std::uint8_t>(~m);
    }
  }
  // Field of n bits at data position pos (1 = first data bit, message bit 15).
  Msg& put(int pos, int n, std::int64_t v) {
    put0(pos + 13, n, static_cast<std::uint32_t>(v) & (n == 32 ? 0xFFFFFFFFu : ((1u << n) - 1)));
    next = pos + n;
    return *this;
  }
  // Fields in sequence: {width, value} pairs.
  Msg& add(std::initializer_list<std::pair<int, std::int64_t>> fields) {
    for (const auto& f : fields) put(next, f.first, f.second);
    return *this;
  }
  Msg& at(int pos) {
    next = pos;
    return *this;
  }
};

inline Msg prnMask(int iodp, std::initializer_list<int> prns) {
  Msg m(1);
  for (int p : prns) m.put(p, 1, 1);
  m.put(211, 2, iodp);
  return m;
}

inline PosData::RcvTimeDataType timeAt(double sec, int week = 2300) {
  PosData::RcvTimeDataType t{};
  t.gps.ulMs = static_cast<std::uint32_t>(std::llround(sec * 1000.0));
  t.gps.uWeek = static_cast<std::uint16_t>(week);
  t.gps.uStatus[0] = 1;
  t.gps.uStatus[1] = 1;
  return t;
}

inline SvIdType geo(int prn) {
  return SvIdType{static_cast<std::uint8_t>(prn - 120), kSysSbas, 0, static_cast<std::uint8_t>(prn - 120)};
}
inline SvIdType gps(int prn) {
  return SvIdType{static_cast<std::uint8_t>(prn - 1), kSysGps, 0, static_cast<std::uint8_t>(prn - 1)};
}

// The satellite store's own time, which decides whether a stored record is still served.
inline void storeTimeAt(SatelliteDataProcessor& s, double gpsTow) {
  SatDataEpoch ep;
  ep.time.valid = true;
  ep.time.sec[kSysGps] = gpsTow;
  ep.time.sec[kSysSbas] = std::fmod(gpsTow, 86400.0);
  ep.monoSec = gpsTow;
  s.update(ep);
}

}  // namespace sbas_test
