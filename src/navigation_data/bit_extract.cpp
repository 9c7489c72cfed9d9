#include "navigation_data/bit_extract.h"

namespace {

// Field of 1..32 bits over 32-bit words, bit 1 at the MSB of words[0]. The second word is
// read only when the field runs into it, so a field ending in the last word stays inside.
std::uint32_t wordField(const std::uint32_t* words, int firstBit, int nBits) {
  if (words == nullptr || nBits < 1 || nBits > 32 || firstBit < 1) return 0;
  const unsigned b0 = static_cast<unsigned>(firstBit - 1);
  const unsigned idx = b0 / 32u;
  const unsigned off = b0 % 32u;
  std::uint64_t window = static_cast<std::uint64_t>(words[idx]) << 32;
  if (off + static_cast<unsigned>(nBits) > 32u) window |= words[idx + 1];
  return static_cast<std::uint32_t>((window << off) >> (64u - static_cast<unsigned>(nBits)));
}

std::uint64_t wordField64(const std::uint32_t* words, int firstBit, int nBits) {
  // Checked here too: the low half's position is past the start even when firstBit is not.
  if (firstBit < 1) return 0;
  if (nBits <= 32) return wordField(words, firstBit, nBits);
  if (nBits > 64) return 0;
  const int hi = nBits - 32;
  return (static_cast<std::uint64_t>(wordField(words, firstBit, hi)) << 32) |
         wordField(words, firstBit + hi, 32);
}

// Same over bytes, bit 0 at the MSB of bytes[0]; only the bytes the field covers are read.
std::uint32_t byteField(const std::uint8_t* bytes, int firstBit, int nBits) {
  if (bytes == nullptr || nBits < 1 || nBits > 32 || firstBit < 0) return 0;
  const unsigned first = static_cast<unsigned>(firstBit);
  const unsigned last = first + static_cast<unsigned>(nBits) - 1u;
  std::uint64_t acc = 0;
  for (unsigned i = first / 8u; i <= last / 8u; ++i) acc = (acc << 8) | bytes[i];
  const unsigned tail = 7u - (last % 8u);
  acc >>= tail;
  const std::uint64_t mask = (std::uint64_t{1} << nBits) - 1u;
  return static_cast<std::uint32_t>(acc & mask);
}

std::int64_t signExtend(std::uint64_t v, int nBits) {
  if (nBits < 1 || nBits >= 64) return static_cast<std::int64_t>(v);
  const std::uint64_t sign = std::uint64_t{1} << (nBits - 1);
  const std::uint64_t mask = (sign << 1) - 1u;
  v &= mask;
  return static_cast<std::int64_t>((v ^ sign) - sign);
}

std::int64_t pieces(const std::uint32_t* words, const int (*p)[2], int n, bool isSigned) {
  int total = 0;
  for (int i = 0; i < n; ++i) {
    if (p[i][1] < 1 || p[i][1] > 32) return 0;
    total += p[i][1];
  }
  if (total > 64) return 0;
  std::uint64_t v = 0;
  for (int i = 0; i < n; ++i) v = (v << p[i][1]) | wordField(words, p[i][0], p[i][1]);
  return isSigned ? signExtend(v, total) : static_cast<std::int64_t>(v);
}

}  // namespace

// ---- GPS ---------------------------------------------------------------------------------

std::uint32_t GpsDecUtility::extract(const std::uint32_t* words, int firstBit, int nBits) {
  return wordField(words, firstBit, nBits);
}

std::int64_t GpsDecUtility::extract_DataField(const std::uint32_t* words, int firstBit,
                                              int nBits, bool isSigned) {
  if (nBits < 1 || nBits > 64) return 0;
  const std::uint64_t v = wordField64(words, firstBit, nBits);
  return isSigned ? signExtend(v, nBits) : static_cast<std::int64_t>(v);
}

std::uint32_t GpsDecUtility::extract_NavTow(const std::uint32_t* w) { return wordField(w, 31, 17); }
std::uint32_t GpsDecUtility::extract_NavHowFlags(const std::uint32_t* w) { return wordField(w, 48, 2); }
std::uint32_t GpsDecUtility::extract_NavSubframeId(const std::uint32_t* w) { return wordField(w, 50, 3); }
std::uint32_t GpsDecUtility::extract_NavDataId(const std::uint32_t* w) { return wordField(w, 61, 2); }
std::uint32_t GpsDecUtility::extract_NavPageId(const std::uint32_t* w) { return wordField(w, 63, 6); }
std::uint32_t GpsDecUtility::extract_CNavDataType(const std::uint32_t* w) { return wordField(w, 15, 6); }
std::uint32_t GpsDecUtility::extract_CNavAlertFlag(const std::uint32_t* w) { return wordField(w, 38, 1); }
std::uint32_t GpsDecUtility::extract_CNav2DataPage(const std::uint32_t* w) { return wordField(w, 618, 6); }

// ---- GLONASS -----------------------------------------------------------------------------

std::uint32_t GloDecUtility::extract(const std::uint32_t* words, int firstBit, int nBits) {
  return wordField(words, firstBit, nBits);
}

std::int64_t GloDecUtility::extract_GloDataField(const std::uint32_t* words, int firstBit,
                                                 int nBits, bool isSigned) {
  if (nBits < 1 || nBits > 64) return 0;
  const std::uint64_t v = wordField64(words, firstBit, nBits);
  if (!isSigned || nBits < 2) return static_cast<std::int64_t>(v);
  const std::uint64_t sign = std::uint64_t{1} << (nBits - 1);
  const auto magnitude = static_cast<std::int64_t>(v & (sign - 1u));
  return (v & sign) ? -magnitude : magnitude;
}

std::uint32_t GloDecUtility::extract_StringId(const std::uint32_t* w) { return wordField(w, 2, 4); }

std::uint32_t GloDecUtility::extract_LnFlag(const std::uint32_t* w) {
  const std::uint32_t id = extract_StringId(w);
  if (id == 3) return wordField(w, 21, 1);
  if (id >= 5 && id <= 15 && (id & 1u)) return wordField(w, 77, 1);
  return 255;
}

// ---- Galileo -----------------------------------------------------------------------------

std::uint32_t GalDecUtility::extract(const std::uint8_t* bytes, int firstBit, int nBits) {
  return byteField(bytes, firstBit, nBits);
}

std::int64_t GalDecUtility::extract_DataField(const std::uint8_t* bytes, int firstBit, int nBits,
                                              bool isSigned) {
  if (nBits < 1 || nBits > 64 || firstBit < 0) return 0;
  std::uint64_t v;
  if (nBits <= 32) {
    v = byteField(bytes, firstBit, nBits);
  } else {
    const int hi = nBits - 32;
    v = (static_cast<std::uint64_t>(byteField(bytes, firstBit, hi)) << 32) |
        byteField(bytes, firstBit + hi, 32);
  }
  return isSigned ? signExtend(v, nBits) : static_cast<std::int64_t>(v);
}

std::uint32_t GalDecUtility::extract_DataType(const std::uint8_t* bytes) {
  return bytes == nullptr ? 0u : static_cast<std::uint32_t>(bytes[0] >> 2);
}

// ---- BeiDou ------------------------------------------------------------------------------

std::uint32_t CompDecUtility::extract(const std::uint32_t* words, int firstBit, int nBits) {
  return wordField(words, firstBit, nBits);
}

std::int64_t CompDecUtility::extract_DataField(const std::uint32_t* words, int firstBit,
                                               int nBits, bool isSigned) {
  if (nBits < 1 || nBits > 64) return 0;
  const std::uint64_t v = wordField64(words, firstBit, nBits);
  return isSigned ? signExtend(v, nBits) : static_cast<std::int64_t>(v);
}

std::int64_t CompDecUtility::extract_DataField(const std::uint32_t* words, int firstBit1,
                                               int nBits1, int firstBit2, int nBits2,
                                               bool isSigned) {
  const int p[2][2] = {{firstBit1, nBits1}, {firstBit2, nBits2}};
  return pieces(words, p, 2, isSigned);
}

std::int64_t CompDecUtility::extract_DataField(const std::uint32_t* words, int firstBit1,
                                               int nBits1, int firstBit2, int nBits2,
                                               int firstBit3, int nBits3, bool isSigned) {
  const int p[3][2] = {{firstBit1, nBits1}, {firstBit2, nBits2}, {firstBit3, nBits3}};
  return pieces(words, p, 3, isSigned);
}

// ---- NavIC -------------------------------------------------------------------------------

std::uint32_t IrnssDecUtility::extract(const std::uint32_t* words, int firstBit, int nBits) {
  return wordField(words, firstBit, nBits);
}

std::int64_t IrnssDecUtility::extract_DataField(const std::uint32_t* words, int firstBit,
                                                int nBits, bool isSigned) {
  return CompDecUtility::extract_DataField(words, firstBit, nBits, isSigned);
}

bool CompDecUtility::is_EmptyAlmData(const std::uint32_t* words) {
  if (words == nullptr) return false;
  // Words 3 to 10 carry 22 data bits each (176 bits = 22 bytes) ahead of 8 parity bits.
  std::uint8_t data[22] = {};
  int bit = 61;
  for (std::uint8_t& byte : data) byte = static_cast<std::uint8_t>(readDataBits(words, bit, 8, 22));
  // A page that is empty but for its first data byte still counts as empty.
  int run = 0;
  int longest = 0;
  for (int i = 1; i < 22; ++i) {
    run = (data[i] == data[i - 1]) ? run + 1 : 0;
    if (run > longest) longest = run;
  }
  return longest >= 20;
}

std::uint32_t readDataBits(const std::uint32_t* words, int& bit, int n, int dataBits) {
  std::uint32_t v = 0;
  for (int i = 0; i < n; ++i) {
    v = v << 1 | wordField(words, bit, 1);
    if (bit++ % 30 == dataBits) bit += 30 - dataBits;  // past the last data bit of a word
  }
  return v;
}

// ---- SBAS ----------------------------------------------------------------------------------------

const std::uint8_t SbasDecUtility::EMPTY_DATA_MASK[kMessageBytes] = {
    0x00, 0x03, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xC0, 0x00, 0x00, 0x00};

std::int32_t SbasDecUtility::extract_DataField(const std::uint8_t* msg, int pos, int nBits, bool isSigned) {
  constexpr int kFirstDataBit = 14;  // 0-based message bit of data position 1
  if (msg == nullptr || nBits < 1 || nBits > 32 || pos < 1 || pos + kFirstDataBit + nBits > kMessageBytes * 8) return 0;
  const std::int64_t v = GalDecUtility::extract_DataField(msg, pos - 1 + kFirstDataBit, nBits, isSigned);
  return static_cast<std::int32_t>(v);
}

std::int32_t SbasDecUtility::extract_DataField(const std::uint8_t* msg, int pos, int nBits, bool isSigned, int offset) {
  const int first = pos - 1 + 14 + offset;  // 0-based message bit
  if (msg == nullptr || nBits < 1 || nBits > 32 || first < 0 || first + nBits > kMessageBytes * 8) return 0;
  return static_cast<std::int32_t>(GalDecUtility::extract_DataField(msg, first, nBits, isSigned));
}

int SbasDecUtility::extract_MessageType(const std::uint8_t* msg) {
  return msg == nullptr ? -1 : static_cast<int>(GalDecUtility::extract(msg, 8, 6));
}

bool SbasDecUtility::is_MessageEmpty(const std::uint8_t* msg) {
  if (msg == nullptr) return true;
  for (int i = 1; i < kMessageBytes; ++i) {
    const std::uint8_t m = EMPTY_DATA_MASK[i];
    const std::uint8_t d = msg[i] & m;
    if (d != 0 && d != (m & 0x55) && d != (m & 0xAA)) return false;
  }
  return true;
}
