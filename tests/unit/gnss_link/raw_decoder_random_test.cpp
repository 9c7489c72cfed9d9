// Every kind of record and message, random and truncated, each in a heap block of its exact size; 10 MB.
#include <gtest/gtest.h>

#include "unit/gnss_link/native_test_util.h"

namespace {

using namespace ntest;

constexpr const char* kIds[] = {"gd", "lD", "ED", "WD", "qd", "cd", "id", "xd", "Rb", "@@", "DL",
                                "gC", "g1", "g3", "g2", "gR", "Rm", "Ri", "Sp", "sj", "IQ"};
using Handler = bool (*)(ZrtMsgClient*, const ZRFMessage&);
constexpr Handler kHandlers[] = {
    ZrtRawDecoder::h_gd, ZrtRawDecoder::h_lD, ZrtRawDecoder::h_ED, ZrtRawDecoder::h_WD, ZrtRawDecoder::h_qd,
    ZrtRawDecoder::h_cd, ZrtRawDecoder::h_id, ZrtRawDecoder::h_xd, ZrtRawDecoder::h_Rb, ZrtRawDecoder::h_S2M,
    ZrtRawDecoder::h_DL, ZrtRawDecoder::h_gC, ZrtRawDecoder::h_g1, ZrtRawDecoder::h_g3, ZrtRawDecoder::h_g2,
    ZrtRawDecoder::h_gR, ZrtRawDecoder::h_Rm, ZrtRawDecoder::h_Ri, ZrtRawDecoder::h_Sp, ZrtRawDecoder::h_sj,
    ZrtRawDecoder::h_IQ};
static_assert(std::size(kIds) == std::size(kHandlers));

std::string randomRecord(std::mt19937& rng) {
  static const int kTypes[] = {1, 4, 5, 6, 7, 8, 10, 11, 13, 14, 15, 16, 0, 2, 200};
  static const int kLens[] = {50, 1453, 870, 14, 40, 97, 60, 200, 862, 11, 52, 4, 0, 3, 9};
  const int i = static_cast<int>(rng() % std::size(kTypes));
  int len = kLens[i];
  switch (rng() % 4) {
    case 0: break;
    case 1: len += static_cast<int>(rng() % 5) - 2; break;
    default: len = static_cast<int>(rng() % 300);
  }
  if (len < 0) len = 0;
  std::string d(static_cast<std::size_t>(len), '\0');
  for (char& c : d) c = static_cast<char>(rng());
  if (len > 2 && rng() % 2) d[1] = static_cast<char>(rng() % 8);
  if (len > 0 && rng() % 2) d[0] = static_cast<char>(rng() % 70);
  std::string r = rec(kTypes[i], d);
  if (rng() % 8 == 0) r[1] = static_cast<char>(rng());  // a length that lies
  return r;
}

TEST(RawDecoderRandom, TenMegabytesOfRecordsAndMessages) {
  std::mt19937 rng(20240601);
  ZrtRawDecoder raw;
  raw.setMeasReady(&Chain::run);
  long t = 0;
  for (std::size_t total = 0; total < 10u << 20;) {
    if (rng() % 16 == 0) {
      t += 1000;
      raw.startOfEpoch(t);
    }
    std::string body;
    const int k = static_cast<int>(rng() % std::size(kIds));
    if (k == 9) {
      for (int n = 1 + static_cast<int>(rng() % 4); n > 0; --n) body += randomRecord(rng);
      if (rng() % 4 == 0) body.resize(rng() % (body.size() + 1));  // truncated
    } else {
      body.resize(rng() % 260);
      for (char& c : body) c = static_cast<char>(rng());
      if (body.size() > 6 && rng() % 2) body[6] = static_cast<char>(rng() % 40);  // word counts
    }
    std::vector<char> block(5 + body.size());
    block[0] = kIds[k][0];
    block[1] = kIds[k][1];
    std::copy(body.begin(), body.end(), block.begin() + 5);
    ZRFMessage m;
    m.data = block.data();
    m.len = static_cast<int>(body.size());
    EXPECT_TRUE(kHandlers[k](&raw, m));
    total += block.size();
    if (rng() % 16 == 0) raw.endOfEpoch(rng() % 2 ? t : -1);
  }
}

TEST(RawDecoderRandom, StreamOfTruncatedEpochsThroughTheReader) {
  std::mt19937 rng(7);
  RawFeed f;
  std::string pwr(50, '\1');
  const std::uint32_t w[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  const std::string good =
      epochStart(kEpochTime) + s2m(rec(8, tsRecord()) + rec(1, pwr)) + wordsMsg("gd", 4, 1, w, 10) + epochEnd(kEpochTime);
  testing::internal::CaptureStderr();
  for (int i = 0; i < 2000; ++i) {
    std::string s = good;
    s.resize(rng() % (s.size() + 1));
    if (rng() % 3 == 0 && !s.empty()) s[rng() % s.size()] = static_cast<char>(rng());
    f.put(s);
  }
  f.put(good);
  testing::internal::GetCapturedStderr();
  EXPECT_GE(Chain::runs, 1);
  EXPECT_EQ(f.raw->epochTime(), -1);
}

}  // namespace
