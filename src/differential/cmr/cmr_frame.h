// The CMR packet frame and the 6-byte CMR message header, as the CMR reader and the CMR coder
// both use them.
//
// Frame: STX 0x02, status, packet type (0x93 CMR, 0x94 CMR+), data length n, n data bytes,
// checksum (status + type + length + data, modulo 256), ETX 0x03: n + 6 bytes in all.
//
// Header (first 6 data bytes of a CMR message):
//   byte 0     version (bits 7-5), station id (bits 4-0; station 32 is sent as 0)
//   byte 1     message type (bits 7-5), then 5 bits: the satellite count of observations, the
//              flags of types 1 and 2 (low battery bit 4, low memory bit 3, L2 enabled bit 1)
//   bytes 2-4  epoch time in ms modulo 240,000, 18 bits, high bits first (byte 4 bits 7-6 the
//              lowest two)
//   byte 4     bits 5-4: clock-bias validity (observations) or motion state (types 1 and 2)
//   bytes 4-5  the 12 remaining bits: clock offset, signed, in 500 ns (observations)
#pragma once

#include <cstdint>

namespace cmr {

constexpr std::uint8_t kStx = 0x02;
constexpr std::uint8_t kEtx = 0x03;
constexpr std::uint8_t kPacketCmr = 0x93;
constexpr std::uint8_t kPacketCmrPlus = 0x94;
// A CMR+ frame may also carry status 0x20; a CMR frame carries 0 only.
constexpr std::uint8_t kStatusCmrPlusAlt = 0x20;

constexpr int kFrameExtra = 6;      // STX, status, type, length, checksum, ETX
constexpr int kHeaderLen = 6;       // the CMR message header
constexpr int kMaxDataLen = 251;    // longer frames cannot pass the reader's 256-byte ring
constexpr int kTimeModMs = 240000;  // epoch times are carried modulo four minutes
constexpr int kVersion = 3;

// Message types of CMR frames (header byte 1, bits 7-5).
constexpr int kTypeGps = 0;
constexpr int kTypeRefCoord = 1;
constexpr int kTypeDesc = 2;
constexpr int kTypeGlonass = 3;

// CMR+ pages: station, page index, page count or highest index, then up to 7 record bytes.
constexpr int kPageHeader = 3;
constexpr int kPageBytes = 7;
// Records of the CMR+ station block: (id, length counting its own two bytes, data).
constexpr int kPlusInfoId = 1, kPlusInfoLen = 6;
constexpr int kPlusCoordId = 2, kPlusCoordLen = 21;
constexpr int kPlusDescId = 3;

// Body sizes of types 1 and 2 after the header.
constexpr int kRefCoordBody = 19;    // three axes of 6 bytes and the accuracy byte
constexpr int kDescNames = 8 + 16;   // short name and COGO code
// Observation blocks per satellite.
constexpr int kL1Block = 8;
constexpr int kL2Block = 7;

struct Header {
  std::uint8_t version = kVersion;  // 3 bits
  std::uint8_t stationId = 0;       // 0..31 as sent (0 stands for 32)
  std::uint8_t type = 0;            // 3 bits
  std::uint8_t low5 = 0;            // satellite count or the flag bits of types 1 and 2
  std::uint32_t timeMs = 0;         // 18 bits
  std::uint8_t clockBits = 0;       // 2 bits: clock-bias validity or motion state
  std::int16_t clockOffset = 0;     // 12 bits signed
};

// Sum of status, type, length and data bytes, modulo 256.
std::uint8_t checksum(std::uint8_t status, std::uint8_t type, const std::uint8_t* data, int n);

// Writes a whole frame with status 0 into `out` (room for n + 6 bytes); returns its length, or 0
// when n is above kMaxDataLen, negative, or does not fit.
int writeFrame(std::uint8_t packetType, const std::uint8_t* data, int n, std::uint8_t* out, int room);

void packHeader(const Header& h, std::uint8_t out[kHeaderLen]);
Header unpackHeader(const std::uint8_t in[kHeaderLen]);

}  // namespace cmr
