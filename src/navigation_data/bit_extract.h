#pragma once
// Bit-field readers shared by the broadcast-message decoders. Each system's message arrives
// MSB first; GPS, GLONASS and BeiDou units sit in 32-bit words with bit 1 at the top of the
// first word, Galileo pages in bytes with bit 0 at the top of the first byte.
//
// The callers pass fixed-size message buffers and fixed field positions; a field position
// below 1 (0 for Galileo) or a width outside the function's range reads as 0 and touches no
// memory.

#include <cstdint>

class GpsDecUtility {
 public:
  // Up to 32 bits starting at firstBit (1 = MSB of words[0]); 0 for nBits < 1 or > 32.
  static std::uint32_t extract(const std::uint32_t* words, int firstBit, int nBits);
  // Up to 64 bits; sign-extended from the field's top bit when isSigned is set.
  static std::int64_t extract_DataField(const std::uint32_t* words, int firstBit, int nBits,
                                        bool isSigned);

  // LNAV subframe header fields.
  static std::uint32_t extract_NavTow(const std::uint32_t* words);        // bits 31-47
  static std::uint32_t extract_NavHowFlags(const std::uint32_t* words);   // alert bit 1, A-S bit 0
  static std::uint32_t extract_NavSubframeId(const std::uint32_t* words); // bits 50-52
  static std::uint32_t extract_NavDataId(const std::uint32_t* words);     // bits 61-62
  static std::uint32_t extract_NavPageId(const std::uint32_t* words);     // bits 63-68

  // CNAV and CNAV-2 header fields.
  static std::uint32_t extract_CNavDataType(const std::uint32_t* words);  // bits 15-20
  static std::uint32_t extract_CNavAlertFlag(const std::uint32_t* words); // bit 38
  static std::uint32_t extract_CNav2DataPage(const std::uint32_t* words); // bits 618-623
};

class GloDecUtility {
 public:
  static std::uint32_t extract(const std::uint32_t* words, int firstBit, int nBits);
  // Sign-and-magnitude field (top bit = sign) turned into two's complement; with isSigned
  // clear the field is read as plain unsigned. Up to 64 bits.
  static std::int64_t extract_GloDataField(const std::uint32_t* words, int firstBit, int nBits,
                                           bool isSigned);
  static std::uint32_t extract_StringId(const std::uint32_t* words);  // positions 2-5
  // ln of the string: string 3 position 21; strings 5, 7, ..., 15 position 77; else 255.
  static std::uint32_t extract_LnFlag(const std::uint32_t* words);
};

class GalDecUtility {
 public:
  // Up to 32 bits starting at firstBit (0 = MSB of bytes[0]); 0 for nBits < 1 or > 32.
  static std::uint32_t extract(const std::uint8_t* bytes, int firstBit, int nBits);
  // Up to 64 bits; sign-extended from the field's top bit when isSigned is set.
  static std::int64_t extract_DataField(const std::uint8_t* bytes, int firstBit, int nBits,
                                        bool isSigned);
  static std::uint32_t extract_DataType(const std::uint8_t* bytes);  // top 6 bits of byte 0
};

class CompDecUtility {
 public:
  static std::uint32_t extract(const std::uint32_t* words, int firstBit, int nBits);
  // One, two or three pieces, concatenated high to low; sign-extended over the summed width
  // when isSigned is set. The summed width is at most 64 bits (more reads as 0).
  static std::int64_t extract_DataField(const std::uint32_t* words, int firstBit, int nBits,
                                        bool isSigned);
  static std::int64_t extract_DataField(const std::uint32_t* words, int firstBit1, int nBits1,
                                        int firstBit2, int nBits2, bool isSigned);
  static std::int64_t extract_DataField(const std::uint32_t* words, int firstBit1, int nBits1,
                                        int firstBit2, int nBits2, int firstBit3, int nBits3,
                                        bool isSigned);
  // An almanac page whose 22 data bytes (from bit 61, parity skipped) hold one repeated value.
  static bool is_EmptyAlmData(const std::uint32_t* words);
};

// Data bits of a subframe of 30-bit words whose first `dataBits` bits carry data and the rest
// parity (GPS LNAV: 24 and 6; BeiDou D1 and D2 from word 2 on: 22 and 8): `n` (up to 32) bits
// from subframe bit `bit` (a data bit) on, parity bits stepped over; `bit` is left at the next
// data bit, so consecutive fields are read by calling again.
std::uint32_t readDataBits(const std::uint32_t* words, int& bit, int n, int dataBits);

// The BeiDou decoders' field readers: unsigned and signed, in one piece or split across two
// words (high piece, then low piece), as the ICD lays fields out.
namespace CompBits {
inline std::uint32_t u(const std::uint32_t* w, int bit, int n) { return CompDecUtility::extract(w, bit, n); }
inline std::int32_t s(const std::uint32_t* w, int bit, int n) {
  return static_cast<std::int32_t>(CompDecUtility::extract_DataField(w, bit, n, true));
}
inline std::uint32_t u2(const std::uint32_t* w, int b1, int n1, int b2, int n2) {
  return static_cast<std::uint32_t>(CompDecUtility::extract_DataField(w, b1, n1, b2, n2, false));
}
inline std::int32_t s2(const std::uint32_t* w, int b1, int n1, int b2, int n2) {
  return static_cast<std::int32_t>(CompDecUtility::extract_DataField(w, b1, n1, b2, n2, true));
}
}  // namespace CompBits

class IrnssDecUtility {
 public:
  // As the one-piece BeiDou readers: bit 1 at the MSB of words[0].
  static std::uint32_t extract(const std::uint32_t* words, int firstBit, int nBits);
  static std::int64_t extract_DataField(const std::uint32_t* words, int firstBit, int nBits,
                                        bool isSigned);
};

// SBAS L1 messages (RTCA DO-229): 250 bits in 32 bytes, MSB first; data fields are counted from
// 1 at the first data bit, message bit 15.
class SbasDecUtility {
 public:
  static constexpr int kMessageBytes = 32;
  // The 212 data bits (message bits 15 to 226).
  static const std::uint8_t EMPTY_DATA_MASK[kMessageBytes];
  // Up to 32 bits at data position `pos`, sign-extended when isSigned; 0 for a field outside the
  // message or a width outside 1..32.
  static std::int32_t extract_DataField(const std::uint8_t* msg, int pos, int nBits, bool isSigned);
  // The same with the data moved `offset` bits against the L1 layout (the L5 messages start
  // their data 4 bits earlier); 0 for a field reaching outside the 32 bytes.
  static std::int32_t extract_DataField(const std::uint8_t* msg, int pos, int nBits, bool isSigned, int offset);
  static int extract_MessageType(const std::uint8_t* msg);  // bits 9 to 14
  // Every data byte is 0, or the alternating 0101... or 1010... pattern under the mask.
  static bool is_MessageEmpty(const std::uint8_t* msg);
};
