// The raw-message dispatch of the housekeeping road: which decoder family a ring entry goes to
// and under which satellite identity.
#pragma once

#include <cstdint>

#include "navigation_data/sv_id.h"
#include "positioning/data_servers/pos_data_types.h"
#include "positioning/raw_nav_rings.h"

enum class RawNavDecoder : std::uint8_t {
  kNone,          // read from the ring and discarded
  kGpsLnav,       // ten 30-bit words, repacked
  kGpsCnav,       // with the kind
  kGpsCnav2,
  kGloNav,        // four 25-bit words, repacked
  kGloL3Nav,
  kGalNav,        // with the kind
  kSbas,
  kDfmcSbas,
  kBdsD1,
  kBdsD2,
  kBdsCnav1,
  kBdsCnav2,
  kBdsCnav2b,     // bit 6 of the kind passed on
  kIrnssL5,
};

// Rings in the order the housekeeping road reads them.
enum RawNavRingIndex : int {
  kRingGps, kRingGlonass, kRingGalileo, kRingSbas, kRingQzss, kRingBeidou, kRingNavic, kRingSpare
};

// The decoder family of an entry of `ring` with kind byte `kind` (SBAS: the task argument).
// `cnavOn` is bDebugGpsCnavDatdec.
RawNavDecoder rawNavDecoderOf(int ring, std::uint8_t kind, bool cnavOn);

// The identity a ring entry's satellite has in its decoders; false when the entry names no
// satellite the decoders may take (it is then dropped before any decoder or server sees it).
bool rawNavSvId(int ring, std::uint8_t prn, std::int8_t gloFreq, SvIdType& out);

// The second of the hour (18-s units, 0..199) of the B1C frame that ended last before the
// receiver's BeiDou time: a frame is decoded once it is whole. 0 while that time is not valid.
int b1cFrameSoh(const PosData::RcvTimeDataType& t);
