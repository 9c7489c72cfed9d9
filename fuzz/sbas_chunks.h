// The input form of the SBAS fuzz targets, as the raw-data task hands messages to a decoder
// pool: each chunk names a source and a receiver time and carries a 32-byte message; a shorter
// last chunk goes through the engine's entry (with `kind`), which refuses a truncated message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/rtos.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/pvt_engine.h"
#include "positioning/sbas/sbas_data_decoder.h"

namespace fuzz {

// `decode(t, src, msg)` hands one whole message to the pool under the pool lock.
template <class Decode>
void feedSbasChunks(const std::uint8_t* data, std::size_t size, int kind, Decode decode) {
  constexpr std::size_t kChunk = 4 + 32;
  static std::uint32_t ms = 100000;
  for (std::size_t at = 0; at < size; at += kChunk) {
    const std::uint8_t* p = data + at;
    const std::size_t left = size - at;
    if (left < 4) break;
    // Sources of every system and index, also beyond the tables.
    const SvIdType src{static_cast<std::uint8_t>(p[0] & 0x3F), static_cast<std::uint8_t>(p[1] & 0x07), 0,
                       static_cast<std::uint8_t>(p[0] & 0x3F)};
    ms = (ms + static_cast<std::uint32_t>(p[2]) * 250u + (p[3] & 0x80 ? 604000000u : 0u)) % 604800000u;
    PosData::RcvTimeDataType t{};
    t.gps.ulMs = ms;
    t.gps.uWeek = 2300;
    t.gps.uStatus[0] = (p[3] & 1) != 0 ? 0 : 1;
    std::uint8_t msg[32] = {};
    const std::size_t n = left - 4 < 32 ? left - 4 : 32;
    std::memcpy(msg, p + 4, n);
    if (n < 32) {
      PVTDataInstance.rcvTime.Put(&t);
      PVTEngineInstance.update_SbasDataTask(msg, static_cast<int>(n), &src, kind, 0.0f);
      break;
    }
    Locker<Mutex> l(SbasDataDecoder::poolMutex);
    decode(t, src, msg);
  }
}

}  // namespace fuzz
