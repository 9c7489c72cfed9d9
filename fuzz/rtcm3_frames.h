// An RTCM 3 stream on a port in input mode "rtcm3", through task DECT's own work (relay to the
// board, framing, CRC-24Q, message decoders, the program's client and decoder status).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "differential/decoder_task.h"
#include "differential/rtcm3_client.h"
#include "fuzz_support.h"
#include "platform/crc.h"

namespace fuzz {

// Serial port B.
constexpr auto kRtcm3Port = static_cast<InPorts::DecPortIndex>(InPorts::DEC_SER_A + 1);

inline void rtcm3Start() {
  enterRunDir("rtcm3");
  noteDeliberateExits();
  rtcm3ClientsInit();
  decInitOnce();
  // The port enters the mode once; its decoder then keeps its state for as long as the port
  // stays in it, across every input.
  decProcess(InDecs::kRtcm3, kRtcm3Port, nullptr, 0);
}

inline void rtcm3Feed(const std::uint8_t* data, std::size_t size) {
  inChunks(data, size, kPortChunk, [](const std::uint8_t* p, std::size_t n) {
    decProcess(InDecs::kRtcm3, kRtcm3Port, p, static_cast<int>(n));
  });
}

// Every frame that fits gets its right CRC-24Q, so that the message decoders see what a random
// byte string would almost never carry past the check.
inline std::vector<std::uint8_t> rtcm3FixCrcs(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> b(data, data + size);
  for (std::size_t i = 0; i + 6 <= b.size();) {
    if (b[i] != 0xD3) {
      ++i;
      continue;
    }
    const std::size_t len = (static_cast<std::size_t>(b[i + 1] & 3) << 8) | b[i + 2];
    if (i + 3 + len + 3 > b.size()) break;
    b[i + 1] &= 3;  // the six reserved bits are zero in a frame the decoder takes
    const std::uint32_t crc = crc24q(0, &b[i], static_cast<std::uint32_t>((3 + len) * 8));
    b[i + 3 + len] = static_cast<std::uint8_t>(crc >> 16);
    b[i + 4 + len] = static_cast<std::uint8_t>(crc >> 8);
    b[i + 5 + len] = static_cast<std::uint8_t>(crc);
    i += 3 + len + 3;
  }
  return b;
}

}  // namespace fuzz
