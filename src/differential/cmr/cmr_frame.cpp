#include "differential/cmr/cmr_frame.h"

namespace cmr {

std::uint8_t checksum(std::uint8_t status, std::uint8_t type, const std::uint8_t* data, int n) {
  unsigned sum = status + type + static_cast<unsigned>(n & 0xFF);
  for (int i = 0; i < n; ++i) sum += data[i];
  return static_cast<std::uint8_t>(sum);
}

int writeFrame(std::uint8_t packetType, const std::uint8_t* data, int n, std::uint8_t* out, int room) {
  if (n < 0 || n > kMaxDataLen || room < n + kFrameExtra) return 0;
  out[0] = kStx;
  out[1] = 0;
  out[2] = packetType;
  out[3] = static_cast<std::uint8_t>(n);
  for (int i = 0; i < n; ++i) out[4 + i] = data[i];
  out[4 + n] = checksum(0, packetType, data, n);
  out[5 + n] = kEtx;
  return n + kFrameExtra;
}

void packHeader(const Header& h, std::uint8_t out[kHeaderLen]) {
  const std::uint32_t t = h.timeMs & 0x3FFFF;
  const unsigned off = static_cast<unsigned>(h.clockOffset) & 0xFFF;
  out[0] = static_cast<std::uint8_t>((h.version & 7) << 5 | (h.stationId & 31));
  out[1] = static_cast<std::uint8_t>((h.type & 7) << 5 | (h.low5 & 31));
  out[2] = static_cast<std::uint8_t>(t >> 10);
  out[3] = static_cast<std::uint8_t>(t >> 2);
  out[4] = static_cast<std::uint8_t>((t & 3) << 6 | (h.clockBits & 3) << 4 | off >> 8);
  out[5] = static_cast<std::uint8_t>(off);
}

Header unpackHeader(const std::uint8_t in[kHeaderLen]) {
  Header h;
  h.version = static_cast<std::uint8_t>(in[0] >> 5);
  h.stationId = static_cast<std::uint8_t>(in[0] & 31);
  h.type = static_cast<std::uint8_t>(in[1] >> 5);
  h.low5 = static_cast<std::uint8_t>(in[1] & 31);
  h.timeMs = static_cast<std::uint32_t>(in[2]) << 10 | static_cast<std::uint32_t>(in[3]) << 2 | in[4] >> 6;
  h.clockBits = static_cast<std::uint8_t>(in[4] >> 4 & 3);
  int off = (in[4] & 0x0F) << 8 | in[5];
  if (off & 0x800) off -= 0x1000;
  h.clockOffset = static_cast<std::int16_t>(off);
  return h;
}

}  // namespace cmr
