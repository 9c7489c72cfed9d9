// RTCM 3 frames written by the test itself, apart from the product's coders: a message is its
// fields back to back, most significant bit first (RTCM 10403.3 section 3), framed by 0xD3, six
// reserved bits, the 10-bit length, the message and the CRC-24Q (generator 0x1864CFB, initial 0,
// section 4.2) computed bit by bit over everything before it.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace rtcm3w {

class Message {
 public:
  explicit Message(int number) { u(static_cast<std::uint64_t>(number), 12); }
  // An unsigned field, or a signed one in two's complement, of `n` bits.
  Message& u(std::uint64_t v, int n) {
    for (int i = n - 1; i >= 0; --i) bit_.push_back(static_cast<std::uint8_t>((v >> i) & 1u));
    return *this;
  }
  Message& s(std::int64_t v, int n) { return u(static_cast<std::uint64_t>(v), n); }
  // A value in steps of `res`, signed or not.
  Message& q(double v, double res, int n) { return s(std::llround(v / res), n); }
  // Characters with their count in `countBits` bits before them.
  Message& text(const std::string& t, int countBits) {
    u(t.size(), countBits);
    for (unsigned char c : t) u(c, 8);
    return *this;
  }
  std::size_t bits() const { return bit_.size(); }

  std::string frame() const {
    std::vector<std::uint8_t> payload((bit_.size() + 7) / 8, 0);
    for (std::size_t i = 0; i < bit_.size(); ++i)
      if (bit_[i]) payload[i / 8] = static_cast<std::uint8_t>(payload[i / 8] | 0x80u >> (i % 8));
    std::string f = {static_cast<char>(0xD3), static_cast<char>((payload.size() >> 8) & 3),
                     static_cast<char>(payload.size() & 0xFF)};
    f.append(payload.begin(), payload.end());
    const std::uint32_t c = crc24q(f);
    for (int sh : {16, 8, 0}) f += static_cast<char>((c >> sh) & 0xFF);
    return f;
  }

  static std::uint32_t crc24q(const std::string& bytes) {
    std::uint32_t crc = 0;
    for (unsigned char b : bytes)
      for (int k = 7; k >= 0; --k) {
        crc ^= static_cast<std::uint32_t>((b >> k) & 1u) << 23;
        crc = (crc & 0x800000u) != 0 ? ((crc << 1) ^ 0x1864CFBu) & 0xFFFFFFu : (crc << 1) & 0xFFFFFFu;
      }
    return crc;
  }

 private:
  std::vector<std::uint8_t> bit_;
};

// 1005: a station's antenna reference point (ECEF, m), GPS, GLONASS and Galileo indicated.
inline std::string msg1005(int station, double x, double y, double z) {
  return Message(1005)
      .u(static_cast<std::uint64_t>(station), 12)
      .u(0, 6)
      .u(1, 1).u(1, 1).u(1, 1).u(0, 1)
      .q(x, 0.0001, 38)
      .u(0, 1).u(0, 1)
      .q(y, 0.0001, 38)
      .u(0, 2)
      .q(z, 0.0001, 38)
      .frame();
}

// 1033: a station's antenna (descriptor, setup id, serial number) and receiver (type, firmware,
// serial number), each text with its 8-bit count.
inline std::string msg1033(int station, const std::string& antenna, int setup, const std::string& antSerial,
                           const std::string& receiver, const std::string& firmware, const std::string& rcvSerial) {
  return Message(1033)
      .u(static_cast<std::uint64_t>(station), 12)
      .text(antenna, 8)
      .u(static_cast<std::uint64_t>(setup), 8)
      .text(antSerial, 8)
      .text(receiver, 8)
      .text(firmware, 8)
      .text(rcvSerial, 8)
      .frame();
}

// A 1005 or 1006 frame with its quarter-cycle indicator (DF364, the two bits before Z) set to `q`
// and its CRC made again; any other frame as it is.
inline std::string withQuarterCycle(const std::string& frame, int q) {
  if (frame.size() < 3 + 19 + 3) return frame;
  const int type = static_cast<unsigned char>(frame[3]) << 4 | static_cast<unsigned char>(frame[4]) >> 4;
  if (type != 1005 && type != 1006) return frame;
  std::string f = frame.substr(0, frame.size() - 3);
  // Message bits 112 and 113: after the type, station, ITRF year, two indicator bits and X and Y
  // with the two bits before each.
  f[3 + 14] = static_cast<char>((static_cast<unsigned char>(f[3 + 14]) & 0x3Fu) | (q & 3) << 6);
  const std::uint32_t c = Message::crc24q(f);
  for (int sh : {16, 8, 0}) f += static_cast<char>((c >> sh) & 0xFF);
  return f;
}

}  // namespace rtcm3w
