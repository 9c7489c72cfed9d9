// Field readers and small helpers the SBAS L1 decoder's source files share.
#pragma once

#include <cstdint>

#include "navigation_data/bit_extract.h"
#include "navigation_data/sv_id.h"

namespace sbas_fields {

constexpr std::int64_t kWeekMs = 604800000;
constexpr double kWeekS = 604800.0;
constexpr std::int32_t kDayS = 86400;

// Unsigned and signed data fields at 1-based data-bit positions.
inline int field(const std::uint8_t* m, int pos, int n) { return SbasDecUtility::extract_DataField(m, pos, n, false); }
inline int sfield(const std::uint8_t* m, int pos, int n) { return SbasDecUtility::extract_DataField(m, pos, n, true); }

inline bool usable(const SvIdType& sv) { return sv.sys < SYS_NUM && sv.isValidSat(); }

}  // namespace sbas_fields
