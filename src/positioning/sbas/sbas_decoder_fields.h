// Field readers and small helpers the SBAS decoders' source files share.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "navigation_data/bit_extract.h"
#include "navigation_data/sv_id.h"
#include "positioning/data_servers/pos_data_types.h"
#include "positioning/data_servers/tag_age.h"

namespace sbas_fields {

constexpr std::int64_t kWeekMs = 604800000;
constexpr double kWeekS = 604800.0;
constexpr std::int32_t kDayS = 86400;

// Unsigned and signed data fields at 1-based data-bit positions.
inline int field(const std::uint8_t* m, int pos, int n) { return SbasDecUtility::extract_DataField(m, pos, n, false); }
inline int sfield(const std::uint8_t* m, int pos, int n) { return SbasDecUtility::extract_DataField(m, pos, n, true); }

inline bool usable(const SvIdType& sv) { return sv.sys < SYS_NUM && sv.isValidSat(); }

// The decoder of a pool that serves `source`: the one bound to it, else a free one, else the one
// heard from longest ago (never heard counts as oldest), whose source is then replaced. Never null.
template <class Decoder, std::size_t N>
Decoder* pickSourceDecoder(Decoder (&pool)[N], const PosData::RcvTimeDataType& t, const SvIdType& source) {
  Decoder* free = nullptr;
  Decoder* oldest = &pool[0];
  double oldestAge = -1;
  const std::int64_t now = static_cast<std::int64_t>(t.gps.ulMs);
  for (Decoder& d : pool) {
    if (d.source().si == source.si && d.source().sys == source.sys) return &d;
    if (d.source().si == kSvUnknown) {
      if (free == nullptr) free = &d;
      continue;
    }
    const double age = d.lastUpdate() < 0 ? 1e9 : std::fabs(TagAge::foldedSeconds(now - d.lastUpdate(), kWeekS));
    if (age > oldestAge) {
      oldestAge = age;
      oldest = &d;
    }
  }
  return free != nullptr ? free : oldest;
}

}  // namespace sbas_fields
