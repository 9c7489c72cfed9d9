#include "navigation_data/bit_extract.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

// ---- recorded navigation messages (GNSSTk test vectors, ../shared/testdata/navmsg) ----------

std::vector<std::string> splitCsvLine(const std::string& line) {
  std::vector<std::string> out;
  std::string cur;
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        cur += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        cur += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      out.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  out.push_back(cur);
  return out;
}

// Message name -> its bits, MSB first, as bytes.
const std::map<std::string, std::vector<std::uint8_t>>& messages() {
  static const std::map<std::string, std::vector<std::uint8_t>> table = [] {
    std::map<std::string, std::vector<std::uint8_t>> t;
    std::ifstream in(std::string(RX_SHARED_DIR) + "/testdata/navmsg/gnsstk_nav_messages.csv");
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
      const auto f = splitCsvLine(line);
      if (f.size() < 10) continue;
      std::vector<std::uint8_t> bytes;
      const std::string& hex = f[9];
      for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
      }
      t[f[0]] = bytes;
    }
    return t;
  }();
  return table;
}

std::vector<std::uint8_t> bytesOf(const std::string& name) {
  const auto it = messages().find(name);
  return it == messages().end() ? std::vector<std::uint8_t>{} : it->second;
}

// Exactly as many 32-bit words as the bits need, so a read past the end shows under ASan.
std::vector<std::uint32_t> wordsOf(const std::string& name) {
  const auto b = bytesOf(name);
  std::vector<std::uint32_t> w((b.size() + 3) / 4, 0u);
  for (std::size_t i = 0; i < b.size(); ++i) w[i / 4] |= std::uint32_t{b[i]} << (24 - 8 * (i % 4));
  return w;
}

constexpr double kPi = 3.1415926535898;  // the ICDs' semicircle

void expectNear(double got, double want, const std::string& what) {
  // The published values carry 9 to 17 digits; one unit of any field is far above 1e-8.
  const double tol = std::max(1e-8 * std::fabs(want), 1e-22);
  EXPECT_NEAR(got, want, tol) << what;
}

// ---- generic behaviour -----------------------------------------------------------------------

std::uint64_t referenceField(const std::vector<std::uint32_t>& w, int firstBit, int nBits) {
  std::uint64_t v = 0;
  for (int i = 0; i < nBits; ++i) {
    const int b = firstBit - 1 + i;
    v = (v << 1) | ((w[static_cast<std::size_t>(b / 32)] >> (31 - b % 32)) & 1u);
  }
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
        ASSERT_EQ(GpsDecUtility::extract(w.data(), first, n), ref) << first << "/" << n;
        ASSERT_EQ(CompDecUtility::extract(w.data(), first, n), ref);
        ASSERT_EQ(GloDecUtility::extract(w.data(), first, n), ref);
        ASSERT_EQ(IrnssDecUtility::extract(w.data(), first, n), ref);
      }
      ASSERT_EQ(static_cast<std::uint64_t>(GpsDecUtility::extract_DataField(w.data(), first, n, false)),
                ref);
      const std::int64_t s = GpsDecUtility::extract_DataField(w.data(), first, n, true);
      const bool neg = (ref >> (n - 1)) & 1u;
      const std::uint64_t extended = (neg && n < 64) ? (ref | (~std::uint64_t{0} << n)) : ref;
      ASSERT_EQ(s, static_cast<std::int64_t>(extended)) << first << "/" << n;
      ASSERT_EQ(CompDecUtility::extract_DataField(w.data(), first, n, true), s);
      ASSERT_EQ(IrnssDecUtility::extract_DataField(w.data(), first, n, true), s);
    }
  }
}

TEST(BitExtract, ByteFieldsEqualTheWordFieldsOfTheSameBits) {
  std::mt19937 rng(128);
  std::vector<std::uint8_t> b(16);
  for (auto& x : b) x = static_cast<std::uint8_t>(rng());
  std::vector<std::uint32_t> w(4, 0);
  for (std::size_t i = 0; i < 16; ++i) w[i / 4] |= std::uint32_t{b[i]} << (24 - 8 * (i % 4));
  for (int first = 0; first < 128; ++first) {
    for (int n = 1; n <= 64 && first + n <= 128; ++n) {
      if (n <= 32) {
        ASSERT_EQ(GalDecUtility::extract(b.data(), first, n),
                  GpsDecUtility::extract(w.data(), first + 1, n));
      }
      ASSERT_EQ(GalDecUtility::extract_DataField(b.data(), first, n, true),
                GpsDecUtility::extract_DataField(w.data(), first + 1, n, true));
    }
  }
}

TEST(BitExtract, WidthsOutOfRangeReadAsZero) {
  const std::uint32_t w[2] = {0xFFFFFFFFu, 0xFFFFFFFFu};
  const std::uint8_t b[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  for (int n : {0, -1, 33, 1000}) {
    EXPECT_EQ(GpsDecUtility::extract(w, 1, n), 0u) << n;
    EXPECT_EQ(GalDecUtility::extract(b, 0, n), 0u) << n;
  }
  for (int n : {0, -5, 65}) {
    EXPECT_EQ(GpsDecUtility::extract_DataField(w, 1, n, true), 0) << n;
    EXPECT_EQ(GalDecUtility::extract_DataField(b, 0, n, true), 0) << n;
  }
  EXPECT_EQ(GpsDecUtility::extract(w, 0, 8), 0u);
  EXPECT_EQ(GalDecUtility::extract(b, -1, 8), 0u);
  EXPECT_EQ(GpsDecUtility::extract(nullptr, 1, 8), 0u);
  EXPECT_EQ(GpsDecUtility::extract(w, 33, 32), 0xFFFFFFFFu);
  EXPECT_EQ(GpsDecUtility::extract_DataField(w, 1, 64, true), -1);
  // Pieces that sum past 64 bits give 0 rather than a truncated value.
  EXPECT_EQ(CompDecUtility::extract_DataField(w, 1, 32, 1, 32, 1, 8, false), 0);
}

TEST(BitExtract, FieldEndingInTheLastWordStaysInside) {
  // Heap buffers of exact size: ASan reports any read of the word after.
  std::vector<std::uint32_t> w = {0x12345678u, 0x9ABCDEF0u};
  EXPECT_EQ(GpsDecUtility::extract(w.data(), 33, 32), 0x9ABCDEF0u);
  EXPECT_EQ(GpsDecUtility::extract(w.data(), 1, 32), 0x12345678u);
  EXPECT_EQ(GpsDecUtility::extract(w.data(), 57, 8), 0xF0u);
  std::vector<std::uint8_t> b = {0xAB, 0xCD};
  EXPECT_EQ(GalDecUtility::extract(b.data(), 8, 8), 0xCDu);
  EXPECT_EQ(GalDecUtility::extract(b.data(), 12, 4), 0xDu);
}

TEST(BitExtract, SignAndMagnitudeFields) {
  // 5-bit field 10011 = -3, 00011 = +3, 10000 = -0.
  const std::uint32_t neg[1] = {0x98000000u};
  const std::uint32_t pos[1] = {0x18000000u};
  const std::uint32_t negZero[1] = {0x80000000u};
  EXPECT_EQ(GloDecUtility::extract_GloDataField(neg, 1, 5, true), -3);
  EXPECT_EQ(GloDecUtility::extract_GloDataField(pos, 1, 5, true), 3);
  EXPECT_EQ(GloDecUtility::extract_GloDataField(negZero, 1, 5, true), 0);
  EXPECT_EQ(GloDecUtility::extract_GloDataField(neg, 1, 5, false), 19);
}

TEST(BitExtract, ThreePieceFieldConcatenatesHighToLow) {
  const std::uint32_t w[2] = {0xA0000000u, 0x0000000Fu};  // 101 ... 1111
  // pieces: bits 1-3 (101), bit 2 (0), bits 61-64 (1111) -> 101 0 1111 = 0xAF, 8 bits.
  EXPECT_EQ(CompDecUtility::extract_DataField(w, 1, 3, 2, 1, 61, 4, false), 0xAF);
  EXPECT_EQ(CompDecUtility::extract_DataField(w, 1, 3, 2, 1, 61, 4, true), 0xAF - 256);
  EXPECT_EQ(CompDecUtility::extract_DataField(w, 2, 1, 61, 4, true), 15);
  EXPECT_EQ(CompDecUtility::extract_DataField(w, 1, 1, 61, 4, true), -1);
}

// ---- GPS LNAV, against the decoded values of the same subframes ------------------------------

TEST(BitExtract, GpsLnavSubframesGiveTheirPublishedFields) {
  const auto sf1 = wordsOf("ephLNAVGPSSF1");
  const auto sf2 = wordsOf("ephLNAVGPSSF2");
  const auto sf3 = wordsOf("ephLNAVGPSSF3");
  ASSERT_EQ(sf1.size(), 10u);
  ASSERT_EQ(sf3.size(), 10u);
  const std::uint32_t* s1 = sf1.data();
  const std::uint32_t* s2 = sf2.data();
  const std::uint32_t* s3 = sf3.data();
  using G = GpsDecUtility;

  EXPECT_EQ(G::extract(s1, 1, 8), 139u);  // preamble
  EXPECT_EQ(G::extract(s1, 9, 14), 845u);  // TLM message
  EXPECT_EQ(G::extract_NavSubframeId(s1), 1u);
  EXPECT_EQ(G::extract_NavSubframeId(s2), 2u);
  EXPECT_EQ(G::extract_NavSubframeId(s3), 3u);
  // Transmission times 6, 12 and 18 s are the HOW counts times 6.
  EXPECT_EQ(G::extract_NavTow(s1) * 6, 6u);
  EXPECT_EQ(G::extract_NavTow(s2) * 6, 12u);
  EXPECT_EQ(G::extract_NavTow(s3) * 6, 18u);
  // Alert clear, anti-spoofing on.
  EXPECT_EQ(G::extract_NavHowFlags(s1), 1u);
  EXPECT_EQ(G::extract_NavHowFlags(s3), 1u);

  EXPECT_EQ(G::extract(s1, 71, 2), 1u);  // L2 codes: P code
  EXPECT_EQ(G::extract(s1, 73, 4), 1u);  // URA index
  EXPECT_EQ(G::extract(s1, 77, 6), 0u);  // health
  EXPECT_EQ((G::extract(s1, 83, 2) << 8) | G::extract(s1, 211, 8), 74u);  // IODC
  EXPECT_EQ(G::extract(s1, 91, 1), 0u);  // L2 P data flag
  expectNear(G::extract_DataField(s1, 197, 8, true) * std::ldexp(1.0, -31), -6.519258e-09, "TGD");
  EXPECT_EQ(G::extract(s1, 219, 16) * 16, 7200u);  // toc
  expectNear(G::extract_DataField(s1, 241, 8, true) * std::ldexp(1.0, -55), 0.0, "af2");
  expectNear(G::extract_DataField(s1, 249, 16, true) * std::ldexp(1.0, -43), -5.34328137e-12, "af1");
  expectNear(G::extract_DataField(s1, 271, 22, true) * std::ldexp(1.0, -31), -4.008319228887558e-05,
             "af0");

  EXPECT_EQ(G::extract(s2, 61, 8), 74u);  // IODE
  expectNear(G::extract_DataField(s2, 69, 16, true) * std::ldexp(1.0, -5), -6.625, "Crs");
  expectNear(G::extract_DataField(s2, 91, 16, true) * std::ldexp(kPi, -43), 4.92949105e-09, "dn");
  const auto m0 = static_cast<std::int32_t>((G::extract(s2, 107, 8) << 24) | G::extract(s2, 121, 24));
  expectNear(m0 * std::ldexp(kPi, -31), 1.642740598625453, "M0");
  expectNear(G::extract_DataField(s2, 151, 16, true) * std::ldexp(1.0, -29), -4.73111868e-07, "Cuc");
  const std::uint32_t e = (G::extract(s2, 167, 8) << 24) | G::extract(s2, 181, 24);
  expectNear(e * std::ldexp(1.0, -33), 0.012018375913612545, "e");
  expectNear(G::extract_DataField(s2, 211, 16, true) * std::ldexp(1.0, -29), 8.944422006607056e-06,
             "Cus");
  const std::uint32_t sqrtA = (G::extract(s2, 227, 8) << 24) | G::extract(s2, 241, 24);
  expectNear(sqrtA * std::ldexp(1.0, -19), 5153.643480300903, "sqrtA");
  EXPECT_EQ(G::extract(s2, 271, 16) * 16, 7200u);  // toe
  EXPECT_EQ(G::extract(s2, 287, 1), 0u);           // fit interval flag

  expectNear(G::extract_DataField(s3, 61, 16, true) * std::ldexp(1.0, -29), -2.2910535335540771e-07,
             "Cic");
  const auto omega0 = static_cast<std::int32_t>((G::extract(s3, 77, 8) << 24) | G::extract(s3, 91, 24));
  expectNear(omega0 * std::ldexp(kPi, -31), 1.4502525982818957, "OMEGA0");
  expectNear(G::extract_DataField(s3, 121, 16, true) * std::ldexp(1.0, -29), -2.14204192e-07, "Cis");
  const auto i0 = static_cast<std::int32_t>((G::extract(s3, 137, 8) << 24) | G::extract(s3, 151, 24));
  expectNear(i0 * std::ldexp(kPi, -31), 0.940472348391135, "i0");
  expectNear(G::extract_DataField(s3, 181, 16, true) * std::ldexp(1.0, -5), 197.84375, "Crc");
  const auto w = static_cast<std::int32_t>((G::extract(s3, 197, 8) << 24) | G::extract(s3, 211, 24));
  expectNear(w * std::ldexp(kPi, -31), 1.1153119288528794, "w");
  expectNear(G::extract_DataField(s3, 241, 24, true) * std::ldexp(kPi, -43), -8.27748765e-09,
             "OMEGAdot");
  EXPECT_EQ(G::extract(s3, 271, 8), 74u);  // IODE
  expectNear(G::extract_DataField(s3, 279, 14, true) * std::ldexp(kPi, -43), 3.90730561e-10, "idot");
}

TEST(BitExtract, GpsCnavHeaders) {
  const auto m10 = wordsOf("msg10CNAVGPSL2");
  const auto m30 = wordsOf("msg30CNAVGPSL2");
  ASSERT_FALSE(m10.empty());
  EXPECT_EQ(GpsDecUtility::extract(m10.data(), 1, 8), 0x8Bu);  // preamble
  EXPECT_EQ(GpsDecUtility::extract_CNavDataType(m10.data()), 10u);
  EXPECT_EQ(GpsDecUtility::extract_CNavDataType(m30.data()), 30u);
  EXPECT_EQ(GpsDecUtility::extract_CNavAlertFlag(m10.data()), 0u);
  const auto p1 = wordsOf("sf123p1CNAV2GPS");
  const auto p2 = wordsOf("sf123p2CNAV2GPS");
  ASSERT_EQ(p1.size(), 28u);  // 883 bits
  EXPECT_EQ(GpsDecUtility::extract_CNav2DataPage(p1.data()), 1u);
  EXPECT_EQ(GpsDecUtility::extract_CNav2DataPage(p2.data()), 2u);
}

// ---- BeiDou D1 ------------------------------------------------------------------------------

TEST(BitExtract, BeiDouD1SplitFieldsGiveTheirPublishedValues) {
  const auto sf1 = wordsOf("ephD1NAVSF1");
  const auto sf2 = wordsOf("ephD1NAVSF2");
  const auto sf3 = wordsOf("ephD1NAVSF3");
  ASSERT_EQ(sf2.size(), 10u);
  const std::uint32_t* s1 = sf1.data();
  const std::uint32_t* s2 = sf2.data();
  const std::uint32_t* s3 = sf3.data();
  using C = CompDecUtility;
  EXPECT_EQ(C::extract(s1, 1, 11), 1810u);  // preamble
  EXPECT_EQ(C::extract(s1, 16, 3), 1u);     // FraID
  EXPECT_EQ(C::extract(s2, 16, 3), 2u);
  EXPECT_EQ(C::extract_DataField(s1, 19, 8, 31, 12, false), 345600);
  EXPECT_EQ(C::extract_DataField(s2, 19, 8, 31, 12, false), 345606);
  EXPECT_EQ(C::extract_DataField(s3, 19, 8, 31, 12, false), 345612);
  EXPECT_EQ(C::extract(s1, 43, 1), 0u);   // SatH1
  EXPECT_EQ(C::extract(s1, 44, 5), 0u);   // AODC
  EXPECT_EQ(C::extract(s1, 49, 4), 0u);   // URAI
  EXPECT_EQ(C::extract(s1, 288, 5), 1u);  // AODE
  EXPECT_EQ(C::extract_DataField(s1, 74, 9, 91, 8, false) * 8, 345600);  // toc
  expectNear(C::extract_DataField(s1, 99, 10, true) * 1e-10, 8.2e-09, "TGD1");
  expectNear(C::extract_DataField(s1, 109, 4, 121, 6, true) * 1e-10, -1.9e-09, "TGD2");
  expectNear(C::extract_DataField(s1, 215, 11, true) * std::ldexp(1.0, -66), 0.0, "a2");
  expectNear(C::extract_DataField(s1, 226, 7, 241, 17, true) * std::ldexp(1.0, -33),
             0.0006254388717934489, "a0");
  expectNear(C::extract_DataField(s1, 258, 5, 271, 17, true) * std::ldexp(1.0, -50), 4.82804907e-11,
             "a1");

  expectNear(C::extract_DataField(s2, 43, 10, 61, 6, true) * std::ldexp(kPi, -43), 1.20183578e-09,
             "dn");
  expectNear(C::extract_DataField(s2, 67, 16, 91, 2, true) * std::ldexp(1.0, -31),
             -4.506204277276993e-06, "Cuc");
  expectNear(C::extract_DataField(s2, 93, 20, 121, 12, true) * std::ldexp(kPi, -31),
             -0.0856726856855266, "M0");
  expectNear(C::extract_DataField(s2, 133, 10, 151, 22, false) * std::ldexp(1.0, -33),
             0.0112842918606475, "e");
  expectNear(C::extract_DataField(s2, 181, 18, true) * std::ldexp(1.0, -31), 2.1024607121944427e-05,
             "Cus");
  expectNear(C::extract_DataField(s2, 199, 4, 211, 14, true) * std::ldexp(1.0, -6), -404.640625, "Crc");
  expectNear(C::extract_DataField(s2, 225, 8, 241, 10, true) * std::ldexp(1.0, -6), -143.203125, "Crs");
  expectNear(C::extract_DataField(s2, 251, 12, 271, 20, false) * std::ldexp(1.0, -19),
             6493.853595733643, "sqrtA");
  // toe: 2 bits at the end of subframe 2, 15 bits in two pieces of subframe 3.
  const std::int64_t toe = (C::extract_DataField(s2, 291, 2, false) << 15) |
                           C::extract_DataField(s3, 43, 10, 61, 5, false);
  EXPECT_EQ(toe * 8, 345600);

  expectNear(C::extract_DataField(s3, 66, 17, 91, 15, true) * std::ldexp(kPi, -31), 0.9450732988963342,
             "i0");
  expectNear(C::extract_DataField(s3, 106, 7, 121, 11, true) * std::ldexp(1.0, -31), 7.91624188e-08,
             "Cic");
  expectNear(C::extract_DataField(s3, 132, 11, 151, 13, true) * std::ldexp(kPi, -43), -1.78078846e-09,
             "OMEGAdot");
  expectNear(C::extract_DataField(s3, 164, 9, 181, 9, true) * std::ldexp(1.0, -31), -3.3993274e-08,
             "Cis");
  expectNear(C::extract_DataField(s3, 190, 13, 211, 1, true) * std::ldexp(kPi, -43), 4.37518224e-10,
             "idot");
  expectNear(C::extract_DataField(s3, 212, 21, 241, 11, true) * std::ldexp(kPi, -31),
             -1.9160860634641035, "OMEGA0");
  expectNear(C::extract_DataField(s3, 252, 11, 271, 21, true) * std::ldexp(kPi, -31),
             -2.1772769963262815, "w");
}

TEST(BitExtract, BeiDouEmptyAlmanacPages) {
  EXPECT_TRUE(CompDecUtility::is_EmptyAlmData(wordsOf("almD1NAVSF5p11").data()));
  EXPECT_FALSE(CompDecUtility::is_EmptyAlmData(wordsOf("almD1NAVSF4p1").data()));
  EXPECT_FALSE(CompDecUtility::is_EmptyAlmData(wordsOf("ephD1NAVSF2").data()));

  // Data bits 0x55... with parity bits of their own: empty; one odd data byte at the start
  // still empty; one in the middle breaks the run.
  std::vector<std::uint32_t> page(10, 0);
  auto put = [&](int firstBit, int nBits, std::uint32_t v) {
    for (int i = 0; i < nBits; ++i) {
      const int b = firstBit - 1 + i;
      const std::uint32_t bit = (v >> (nBits - 1 - i)) & 1u;
      page[static_cast<std::size_t>(b / 32)] |= bit << (31 - b % 32);
    }
  };
  for (int w = 0; w < 8; ++w) {
    put(61 + 30 * w, 22, 0x155555u);  // 22 bits of 0101...
    put(83 + 30 * w, 8, 0xA7u);       // parity, not data
  }
  EXPECT_TRUE(CompDecUtility::is_EmptyAlmData(page.data()));
  put(61, 8, 0xFFu);  // first data byte differs
  EXPECT_TRUE(CompDecUtility::is_EmptyAlmData(page.data()));
  put(121, 8, 0xFFu);  // a byte in the middle differs
  EXPECT_FALSE(CompDecUtility::is_EmptyAlmData(page.data()));
}

// ---- Galileo F/NAV ---------------------------------------------------------------------------

TEST(BitExtract, GalileoFnavPagesGiveTheirPublishedValues) {
  const auto pt2 = bytesOf("navFNAVGalPT2");
  const auto pt3 = bytesOf("navFNAVGalPT3");
  ASSERT_EQ(pt2.size(), 31u);  // 244 bits
  const std::uint8_t* p2 = pt2.data();
  const std::uint8_t* p3 = pt3.data();
  using E = GalDecUtility;
  EXPECT_EQ(E::extract_DataType(p2), 2u);
  EXPECT_EQ(E::extract_DataType(p3), 3u);
  EXPECT_EQ(E::extract(p2, 6, 10), 94u);  // IODnav
  EXPECT_EQ(E::extract(p3, 6, 10), 94u);
  expectNear(E::extract_DataField(p2, 16, 32, true) * std::ldexp(kPi, -31), -3.0165642165792534, "M0");
  expectNear(E::extract_DataField(p2, 48, 24, true) * std::ldexp(kPi, -43), -5.110570018612e-09,
             "OMEGAdot");
  expectNear(E::extract(p2, 72, 32) * std::ldexp(1.0, -33), 0.0001100952504203, "e");
  expectNear(E::extract(p2, 104, 32) * std::ldexp(1.0, -19), 5440.62261390686, "sqrtA");
  expectNear(E::extract_DataField(p2, 136, 32, true) * std::ldexp(kPi, -31), 2.963176816276882,
             "OMEGA0");
  expectNear(E::extract_DataField(p2, 168, 14, true) * std::ldexp(kPi, -43), -1.832219176426e-10,
             "idot");
  expectNear(E::extract_DataField(p3, 16, 32, true) * std::ldexp(kPi, -31), 0.9898251596081055, "i0");
  expectNear(E::extract_DataField(p3, 48, 32, true) * std::ldexp(kPi, -31), 0.14027684908239377, "w");
  expectNear(E::extract_DataField(p3, 80, 16, true) * std::ldexp(kPi, -43), 2.529748231311e-09, "dn");
  expectNear(E::extract_DataField(p3, 128, 16, true) * std::ldexp(1.0, -5), 96.34375, "Crc");
  expectNear(E::extract_DataField(p3, 144, 16, true) * std::ldexp(1.0, -5), 98.28125, "Crs");
  EXPECT_EQ(E::extract(p3, 160, 14) * 60, 517200u);  // toe
}

// ---- GLONASS FDMA strings --------------------------------------------------------------------

TEST(BitExtract, GlonassStringsGiveTheirPublishedValues) {
  const double km = 1.0;
  struct Axis {
    const char* msg;
    double pos, vel, acc;
  };
  const Axis axes[] = {
      {"navFNAVGLOStr1", 10148.4248046875, -0.6433887481689453, -9.313225746154785e-10},
      {"navFNAVGLOStr2", 5279.21240234375, 3.0522518157958984, 9.313225746154785e-10},
      {"navFNAVGLOStr3", 22808.46533203125, -0.4191455841064453, -1.862645149230957e-09},
  };
  int string = 1;
  for (const Axis& a : axes) {
    const auto s = wordsOf(a.msg);
    ASSERT_EQ(s.size(), 3u) << a.msg;
    EXPECT_EQ(GloDecUtility::extract_StringId(s.data()), static_cast<std::uint32_t>(string++));
    expectNear(GloDecUtility::extract_GloDataField(s.data(), 51, 27, true) * std::ldexp(km, -11), a.pos,
               a.msg);
    expectNear(GloDecUtility::extract_GloDataField(s.data(), 22, 24, true) * std::ldexp(km, -20), a.vel,
               a.msg);
    expectNear(GloDecUtility::extract_GloDataField(s.data(), 46, 5, true) * std::ldexp(km, -30), a.acc,
               a.msg);
  }
  const auto s1 = wordsOf("navFNAVGLOStr1");
  const auto s2 = wordsOf("navFNAVGLOStr2");
  const auto s3 = wordsOf("navFNAVGLOStr3");
  const auto s4 = wordsOf("navFNAVGLOStr4");
  const auto s5 = wordsOf("navFNAVGLOStr5");
  EXPECT_EQ(GloDecUtility::extract(s1.data(), 8, 2), 0u);         // P1
  EXPECT_EQ(GloDecUtility::extract(s2.data(), 9, 1), 1u);         // P2
  EXPECT_EQ(GloDecUtility::extract(s2.data(), 10, 7) * 15, 225u);  // tb, minutes
  EXPECT_EQ(GloDecUtility::extract(s3.data(), 6, 1), 1u);         // P3
  expectNear(GloDecUtility::extract_GloDataField(s4.data(), 6, 22, true) * std::ldexp(1.0, -30),
             0.00015267729759216309, "tau_n");
  expectNear(GloDecUtility::extract_GloDataField(s4.data(), 28, 5, true) * std::ldexp(1.0, -30),
             8.381903171539307e-09, "delta tau_n");
  EXPECT_EQ(GloDecUtility::extract(s4.data(), 53, 4), 1u);     // FT
  EXPECT_EQ(GloDecUtility::extract(s4.data(), 60, 11), 1274u);  // NT
  EXPECT_EQ(GloDecUtility::extract(s4.data(), 71, 5), 1u);     // n
  EXPECT_EQ(GloDecUtility::extract_LnFlag(s1.data()), 255u);
  EXPECT_EQ(GloDecUtility::extract_LnFlag(s3.data()), 0u);
  EXPECT_EQ(GloDecUtility::extract_LnFlag(s4.data()), 255u);
  EXPECT_EQ(GloDecUtility::extract_StringId(s5.data()), 5u);
  EXPECT_EQ(GloDecUtility::extract_LnFlag(s5.data()), 0u);

  // ln in position 21 of string 3 and 77 of the odd strings 5-15, nowhere else.
  for (std::uint32_t id = 0; id < 16; ++id) {
    std::uint32_t w[3] = {id << 27, 0, 0};
    w[0] |= 1u << (31 - 20);  // position 21
    w[2] |= 1u << (31 - 12);  // position 77
    const std::uint32_t want = id == 3 ? 1u : ((id >= 5 && id % 2 == 1) ? 1u : 255u);
    EXPECT_EQ(GloDecUtility::extract_LnFlag(w), want) << id;
  }
}

}  // namespace
