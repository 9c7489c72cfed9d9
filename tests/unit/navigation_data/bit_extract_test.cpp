#include "navigation_data/bit_extract.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace {

using G = GpsDecUtility;
using C = CompDecUtility;
using E = GalDecUtility;
using R = GloDecUtility;

// Rows of a GNSSTk table; quotes dropped (the one quoted column is searched, not parsed).
std::vector<std::vector<std::string>> csv(const char* file) {
  std::vector<std::vector<std::string>> rows;
  std::ifstream in(std::string(RX_SHARED_DIR) + "/testdata/navmsg/" + file);
  std::string line;
  for (std::getline(in, line); std::getline(in, line);) {
    std::vector<std::string> f(1);
    for (bool quoted = false; char c : line) {
      if (c == '"') quoted = !quoted;
      else if (c == ',' && !quoted) f.emplace_back();
      else f.back() += c;
    }
    rows.push_back(f);
  }
  return rows;
}

// GNSSTk's recorded messages (../shared/testdata/navmsg): name -> bits, MSB first.
std::vector<std::uint8_t> bytesOf(const std::string& name) {
  static std::map<std::string, std::vector<std::uint8_t>> t;
  if (t.empty()) {
    for (const auto& f : csv("gnsstk_nav_messages.csv")) {
      if (f.size() < 10) continue;
      for (std::size_t i = 0; i + 1 < f[9].size(); i += 2)
        t[f[0]].push_back(static_cast<std::uint8_t>(std::strtoul(f[9].substr(i, 2).c_str(), nullptr, 16)));
    }
  }
  return t.count(name) ? t[name] : std::vector<std::uint8_t>{};
}

// Exactly as many 32-bit words as the bits need, so a read past the end shows under ASan.
std::vector<std::uint32_t> words(const std::vector<std::uint8_t>& b) {
  std::vector<std::uint32_t> w((b.size() + 3) / 4, 0u);
  for (std::size_t i = 0; i < b.size(); ++i) w[i / 4] |= std::uint32_t{b[i]} << (24 - 8 * (i % 4));
  return w;
}
std::vector<std::uint32_t> wordsOf(const std::string& name) { return words(bytesOf(name)); }

// GNSSTk's decoded value of an ephemeris field (times as seconds of week, flags as 0/1).
double published(const std::string& object, const std::string& field) {
  static std::map<std::string, std::string> t;
  if (t.empty()) {
    for (const auto& f : csv("gnsstk_expected_values.csv"))
      if (f.size() > 9 && f[1] == "processEphTest") t.emplace(f[5] + "." + f[6], f[9]);
  }
  if (!t.count(object + "." + field)) return NAN;
  const std::string& v = t[object + "." + field];
  if (v == "true" || v == "false") return v == "true";
  const std::size_t sow = v.find("sow: ");
  return std::strtod(v.c_str() + (sow == std::string::npos ? 0 : sow + 5), nullptr);
}

std::uint64_t referenceField(const std::vector<std::uint32_t>& w, int firstBit, int nBits) {
  std::uint64_t v = 0;
  for (int b = firstBit - 1; b < firstBit - 1 + nBits; ++b)
    v = (v << 1) | ((w[static_cast<std::size_t>(b / 32)] >> (31 - b % 32)) & 1u);
  return v;
}

TEST(BitExtract, EveryFieldOfRandomWordsEqualsTheBitByBitReading) {
  std::mt19937 rng(300);
  std::vector<std::uint32_t> w(10);
  for (auto& x : w) x = rng();
  for (int first = 1; first <= 320; ++first) {
    for (int n = 1; n <= 64 && first + n - 1 <= 320; ++n) {
      const std::uint64_t ref = referenceField(w, first, n);
      if (n <= 32) {
        ASSERT_EQ(std::tuple(G::extract(w.data(), first, n), C::extract(w.data(), first, n), R::extract(w.data(), first, n),
                             IrnssDecUtility::extract(w.data(), first, n)), std::tuple(ref, ref, ref, ref)) << first << "/" << n;
      }
      ASSERT_EQ(static_cast<std::uint64_t>(G::extract_DataField(w.data(), first, n, false)), ref);
      const std::int64_t s = G::extract_DataField(w.data(), first, n, true);
      const bool neg = (ref >> (n - 1)) & 1u;
      ASSERT_EQ(s, static_cast<std::int64_t>((neg && n < 64) ? (ref | (~std::uint64_t{0} << n)) : ref)) << first;
      ASSERT_EQ(std::tuple(C::extract_DataField(w.data(), first, n, true), IrnssDecUtility::extract_DataField(w.data(), first, n, true)),
                std::tuple(s, s));
    }
  }
}

TEST(BitExtract, ByteFieldsEqualTheWordFieldsOfTheSameBits) {
  std::mt19937 rng(128);
  std::vector<std::uint8_t> b(16);
  for (auto& x : b) x = static_cast<std::uint8_t>(rng());
  const std::vector<std::uint32_t> w = words(b);
  for (int first = 0; first < 128; ++first) {
    for (int n = 1; n <= 64 && first + n <= 128; ++n) {
      if (n <= 32) { ASSERT_EQ(E::extract(b.data(), first, n), G::extract(w.data(), first + 1, n)); }
      ASSERT_EQ(E::extract_DataField(b.data(), first, n, true), G::extract_DataField(w.data(), first + 1, n, true));
    }
  }
}

TEST(BitExtract, WidthsAndPositionsOutOfRangeReadAsZeroAndStayInside) {
  const std::uint32_t w[2] = {0xFFFFFFFFu, 0xFFFFFFFFu};
  const std::uint8_t b[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  for (int n : {0, -1, 33, 1000}) EXPECT_EQ(G::extract(w, 1, n) + E::extract(b, 0, n), 0u) << n;
  for (int n : {0, -5, 65}) EXPECT_EQ(G::extract_DataField(w, 1, n, true) | E::extract_DataField(b, 0, n, true), 0) << n;
  EXPECT_EQ(G::extract(w, 0, 8) + E::extract(b, -1, 8) + G::extract(nullptr, 1, 8), 0u);
  EXPECT_EQ(C::extract_DataField(w, 1, 32, 1, 32, 1, 8, false), 0);  // pieces summing past 64 bits
  // Heap buffers of exact size: ASan reports any read of the word or byte after.
  const std::vector<std::uint32_t> hw = {0x12345678u, 0x9ABCDEF0u};
  const std::vector<std::uint8_t> hb = {0xAB, 0xCD};
  EXPECT_EQ(std::tuple(G::extract(hw.data(), 33, 32), G::extract(hw.data(), 57, 8), E::extract(hb.data(), 8, 8),
                       E::extract(hb.data(), 12, 4)), std::tuple(0x9ABCDEF0u, 0xF0u, 0xCDu, 0xDu));
}

TEST(BitExtract, SignMagnitudeAndThreePieceFields) {
  const std::uint32_t neg[1] = {0x98000000u}, pos[1] = {0x18000000u}, negZero[1] = {0x80000000u};  // 10011 00011 10000
  EXPECT_EQ(std::tuple(R::extract_GloDataField(neg, 1, 5, true), R::extract_GloDataField(pos, 1, 5, true),
                       R::extract_GloDataField(negZero, 1, 5, true), R::extract_GloDataField(neg, 1, 5, false)),
            std::tuple(-3, 3, 0, 19));
  // Bits 1-3 (101), bit 2 (0), bits 61-64 (1111): 1010 1111, concatenated high to low.
  const std::uint32_t w[2] = {0xA0000000u, 0x0000000Fu};
  EXPECT_EQ(std::tuple(C::extract_DataField(w, 1, 3, 2, 1, 61, 4, false), C::extract_DataField(w, 1, 3, 2, 1, 61, 4, true),
                       C::extract_DataField(w, 2, 1, 61, 4, true), C::extract_DataField(w, 1, 1, 61, 4, true)),
            std::tuple(0xAF, 0xAF - 256, 15, -1));
}

// One ephemeris field: bits a.. (n long), then b.. (m long) when m > 0; kind 'u' unsigned,
// 's' two's complement (sign-magnitude for GLONASS), 'p' signed semicircles.
struct Field { const char* name; char kind; double scale; int a, n, b = 0, m = 0; };
// GPS LNAV, BeiDou D1 and GLONASS in words from bit 1, Galileo F/NAV in bytes from bit 0.
struct Message { const char* name; std::vector<Field> fields; };
const Message kMessages[] = {
    {"ephLNAVGPSSF1", {{"pre", 'u', 1, 1, 8}, {"tlm", 'u', 1, 9, 14}, {"uraIndex", 'u', 1, 73, 4}, {"healthBits", 'u', 1, 77, 6},
      {"iodc", 'u', 1, 83, 2, 211, 8}, {"L2Pdata", 'u', 1, 91, 1}, {"tgd", 's', 0x1p-31, 197, 8}, {"Toc", 'u', 16, 219, 16},
      {"af2", 's', 0x1p-55, 241, 8}, {"af1", 's', 0x1p-43, 249, 16}, {"af0", 's', 0x1p-31, 271, 22}}},
    {"ephLNAVGPSSF2", {{"iode", 'u', 1, 61, 8}, {"Crs", 's', 0x1p-5, 69, 16}, {"dn", 'p', 0x1p-43, 91, 16},
      {"M0", 'p', 0x1p-31, 107, 8, 121, 24}, {"Cuc", 's', 0x1p-29, 151, 16}, {"ecc", 'u', 0x1p-33, 167, 8, 181, 24},
      {"Cus", 's', 0x1p-29, 211, 16}, {"Ahalf", 'u', 0x1p-19, 227, 8, 241, 24}, {"Toe", 'u', 16, 271, 16},
      {"fitIntFlag", 'u', 1, 287, 1}}},
    {"ephLNAVGPSSF3", {{"Cic", 's', 0x1p-29, 61, 16}, {"OMEGA0", 'p', 0x1p-31, 77, 8, 91, 24}, {"Cis", 's', 0x1p-29, 121, 16},
      {"i0", 'p', 0x1p-31, 137, 8, 151, 24}, {"Crc", 's', 0x1p-5, 181, 16}, {"w", 'p', 0x1p-31, 197, 8, 211, 24},
      {"OMEGAdot", 'p', 0x1p-43, 241, 24}, {"iode", 'u', 1, 271, 8}, {"idot", 'p', 0x1p-43, 279, 14}}},
    {"ephD1NAVSF1", {{"pre", 'u', 1, 1, 11}, {"fraID", 'u', 1, 16, 3}, {"sow", 'u', 1, 19, 8, 31, 12}, {"satH1", 'u', 1, 43, 1},
      {"aodc", 'u', 1, 44, 5}, {"uraIndex", 'u', 1, 49, 4}, {"aode", 'u', 1, 288, 5}, {"Toc", 'u', 8, 74, 9, 91, 8},
      {"tgd1", 's', 1e-10, 99, 10}, {"tgd2", 's', 1e-10, 109, 4, 121, 6}, {"af2", 's', 0x1p-66, 215, 11},
      {"af0", 's', 0x1p-33, 226, 7, 241, 17}, {"af1", 's', 0x1p-50, 258, 5, 271, 17}}},
    {"ephD1NAVSF2", {{"sow2", 'u', 1, 19, 8, 31, 12}, {"dn", 'p', 0x1p-43, 43, 10, 61, 6}, {"Cuc", 's', 0x1p-31, 67, 16, 91, 2},
      {"M0", 'p', 0x1p-31, 93, 20, 121, 12}, {"ecc", 'u', 0x1p-33, 133, 10, 151, 22}, {"Cus", 's', 0x1p-31, 181, 18},
      {"Crc", 's', 0x1p-6, 199, 4, 211, 14}, {"Crs", 's', 0x1p-6, 225, 8, 241, 10}, {"Ahalf", 'u', 0x1p-19, 251, 12, 271, 20}}},
    {"ephD1NAVSF3", {{"sow3", 'u', 1, 19, 8, 31, 12}, {"i0", 'p', 0x1p-31, 66, 17, 91, 15},
      {"Cic", 's', 0x1p-31, 106, 7, 121, 11}, {"OMEGAdot", 'p', 0x1p-43, 132, 11, 151, 13}, {"Cis", 's', 0x1p-31, 164, 9, 181, 9},
      {"idot", 'p', 0x1p-43, 190, 13, 211, 1}, {"OMEGA0", 'p', 0x1p-31, 212, 21, 241, 11},
      {"w", 'p', 0x1p-31, 252, 11, 271, 21}}},
    {"navFNAVGalPT2", {{"iodnav2", 'u', 1, 6, 10}, {"M0", 'p', 0x1p-31, 16, 32}, {"OMEGAdot", 'p', 0x1p-43, 48, 24},
      {"ecc", 'u', 0x1p-33, 72, 32}, {"Ahalf", 'u', 0x1p-19, 104, 32}, {"OMEGA0", 'p', 0x1p-31, 136, 32},
      {"idot", 'p', 0x1p-43, 168, 14}}},
    {"navFNAVGalPT3", {{"iodnav3", 'u', 1, 6, 10}, {"i0", 'p', 0x1p-31, 16, 32}, {"w", 'p', 0x1p-31, 48, 32},
      {"dn", 'p', 0x1p-43, 80, 16}, {"Crc", 's', 0x1p-5, 128, 16}, {"Crs", 's', 0x1p-5, 144, 16}, {"Toe", 'u', 60, 160, 14}}},
    {"navFNAVGLOStr1", {{"pos[0]", 's', 0x1p-11, 51, 27}, {"vel[0]", 's', 0x1p-20, 22, 24}, {"acc[0]", 's', 0x1p-30, 46, 5},
      {"P1", 'u', 1, 8, 2}}},
    {"navFNAVGLOStr2", {{"pos[1]", 's', 0x1p-11, 51, 27}, {"vel[1]", 's', 0x1p-20, 22, 24}, {"acc[1]", 's', 0x1p-30, 46, 5},
      {"P2", 'u', 1, 9, 1}, {"tb", 'u', 15, 10, 7}}},
    {"navFNAVGLOStr3", {{"pos[2]", 's', 0x1p-11, 51, 27}, {"vel[2]", 's', 0x1p-20, 22, 24}, {"acc[2]", 's', 0x1p-30, 46, 5},
      {"P3", 'u', 1, 6, 1}}},
    {"navFNAVGLOStr4", {{"clkBias", 's', 0x1p-30, 6, 22}, {"tauDelta", 's', 0x1p-30, 28, 5}, {"accIndex", 'u', 1, 53, 4},
      {"dayCount", 'u', 1, 60, 11}, {"slot", 'u', 1, 71, 5}}},
};

double read(const std::string& msg, const Field& f) {
  constexpr double kPi = 3.1415926535898;  // the ICDs' semicircle
  const bool sgn = f.kind != 'u';
  const auto w = wordsOf(msg);
  std::int64_t v = 0;
  if (msg.find("Gal") != std::string::npos) {
    const auto b = bytesOf(msg);
    v = sgn ? E::extract_DataField(b.data(), f.a, f.n, true) : E::extract(b.data(), f.a, f.n);
  } else if (msg.find("GLO") != std::string::npos) {
    v = sgn ? R::extract_GloDataField(w.data(), f.a, f.n, true) : R::extract(w.data(), f.a, f.n);
  } else if (msg.find("D1") != std::string::npos) {
    v = f.m > 0 ? C::extract_DataField(w.data(), f.a, f.n, f.b, f.m, sgn)
                : (sgn ? C::extract_DataField(w.data(), f.a, f.n, true) : C::extract(w.data(), f.a, f.n));
  } else if (f.m > 0) {  // the GPS decoders join the two words of a split field themselves
    v = (std::int64_t{G::extract(w.data(), f.a, f.n)} << f.m) | G::extract(w.data(), f.b, f.m);
    if (sgn) v = static_cast<std::int32_t>(v);  // every signed split field is 32 bits
  } else {
    v = sgn ? G::extract_DataField(w.data(), f.a, f.n, true) : G::extract(w.data(), f.a, f.n);
  }
  return static_cast<double>(v) * f.scale * (f.kind == 'p' ? kPi : 1.0);
}

TEST(BitExtract, EphemerisFieldsOfRecordedMessagesGiveGnsstksValues) {
  for (const Message& m : kMessages) {
    const std::string msg = m.name;
    const char* object = msg.find("Gal") != std::string::npos ? "GalFNavEph" : msg.find("GLO") != std::string::npos ? "GLOFNavEph"
                         : msg.find("D1") != std::string::npos ? "BDSD1NavEph" : "GPSLNavEph";
    for (const Field& f : m.fields) {
      const double want = published(object, f.name);
      ASSERT_FALSE(std::isnan(want)) << object << "." << f.name;
      // The published values carry 9 to 17 digits; one unit of any field is far above 1e-8.
      EXPECT_NEAR(read(msg, f), want, std::max(1e-8 * std::fabs(want), 1e-22)) << msg << " " << f.name;
    }
  }
  // BeiDou toe: 2 bits at the end of subframe 2, 15 bits in two pieces of subframe 3.
  const std::int64_t toe = (C::extract_DataField(wordsOf("ephD1NAVSF2").data(), 291, 2, false) << 15) |
                           C::extract_DataField(wordsOf("ephD1NAVSF3").data(), 43, 10, 61, 5, false);
  EXPECT_EQ(toe * 8, published("BDSD1NavEph", "Toe"));
}

TEST(BitExtract, HeaderFieldsOfRecordedMessages) {
  for (std::uint32_t i = 1; i <= 3; ++i) {
    const auto sf = wordsOf("ephLNAVGPSSF" + std::to_string(i));
    ASSERT_EQ(sf.size(), 10u);  // HOW flags: alert clear, anti-spoofing on
    EXPECT_EQ(std::tuple(G::extract_NavSubframeId(sf.data()), G::extract_NavTow(sf.data()), G::extract_NavHowFlags(sf.data())),
              std::tuple(i, i, 1u));
  }
  const auto m10 = wordsOf("msg10CNAVGPSL2"), m30 = wordsOf("msg30CNAVGPSL2");
  const auto p1 = wordsOf("sf123p1CNAV2GPS"), p2 = wordsOf("sf123p2CNAV2GPS");
  ASSERT_EQ(std::tuple(m10.size(), p1.size()), std::tuple(10u, 28u));  // 300 and 883 bits
  EXPECT_EQ(std::tuple(G::extract(m10.data(), 1, 8), G::extract_CNavDataType(m10.data()),
                       G::extract_CNavDataType(m30.data()), G::extract_CNavAlertFlag(m10.data())),
            std::tuple(0x8Bu, 10u, 30u, 0u));
  EXPECT_EQ(std::tuple(G::extract_CNav2DataPage(p1.data()), G::extract_CNav2DataPage(p2.data()),
                       E::extract_DataType(bytesOf("navFNAVGalPT2").data()), E::extract_DataType(bytesOf("navFNAVGalPT3").data())),
            std::tuple(1u, 2u, 2u, 3u));
  const std::uint32_t ln[5] = {255, 255, 0, 255, 0};  // strings 1-5
  for (std::uint32_t id = 1; id <= 5; ++id) {
    const auto s = wordsOf("navFNAVGLOStr" + std::to_string(id));
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(std::tuple(R::extract_StringId(s.data()), R::extract_LnFlag(s.data())), std::tuple(id, ln[id - 1])) << id;
  }
  // ln in position 21 of string 3 and 77 of the odd strings 5-15, nowhere else.
  for (std::uint32_t id = 0; id < 16; ++id) {
    const std::uint32_t w[3] = {id << 27 | 1u << (31 - 20), 0, 1u << (31 - 12)};
    EXPECT_EQ(R::extract_LnFlag(w), id == 3 || (id >= 5 && id % 2 == 1) ? 1u : 255u) << id;
  }
}

TEST(BitExtract, BeiDouEmptyAlmanacPages) {
  EXPECT_TRUE(C::is_EmptyAlmData(wordsOf("almD1NAVSF5p11").data()));
  EXPECT_FALSE(C::is_EmptyAlmData(wordsOf("almD1NAVSF4p1").data()));
  EXPECT_FALSE(C::is_EmptyAlmData(wordsOf("ephD1NAVSF2").data()));
}

}  // namespace
