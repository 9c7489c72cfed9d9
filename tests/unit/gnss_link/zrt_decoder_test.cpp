#include "gnss_link/zrt_decoder.h"

#include <gtest/gtest.h>

#include "unit/gnss_link/native_test_util.h"

using namespace ntest;

namespace {

void feed(ZrtDecoder& d, const std::string& s) { d.process(s.data(), static_cast<int>(s.size())); }

bool readsCleanStreamAfter(ZrtDecoder& d) {
  feed(d, std::string(0x1000, '\0') + "\r\n");
  const std::uint32_t before = d.good();
  feed(d, frame("SI", "after"));
  return d.good() == before + 1;
}

TEST(ZrtDecoder, EverySingleBitFlipIsRejected) {
  const std::string msgs[] = {frame("SI", std::string("\x80\x81\x82\x83\x90\xA0\xC0\xFF", 8)),
                              frame("DL", "0123abcd", Ck::Hex), epochStart(123456789),
                              frame("UO", std::string("\x10\x20\x30\x40", 4))};
  for (const std::string& m : msgs) {
    ZrtDecoder whole;
    feed(whole, m);
    ASSERT_EQ(whole.good(), 1u) << show(m.data(), int(m.size()));
    for (std::size_t i = 0; i < m.size(); ++i) {
      for (int bit = 0; bit < 8; ++bit) {
        SCOPED_TRACE(testing::Message() << m.substr(0, 2) << " byte " << i << " bit " << bit);
        std::string f = m;
        f[i] = static_cast<char>(f[i] ^ (1 << bit));
        ZrtDecoder d;
        Log log;
        Rec a(log, "A");
        d.filter().setHandler(ZRFMessage::makeId(m[0], m[1]), &a, &Rec::handler);
        // Zeros after it: a flip that lengthens the message still completes it.
        feed(d, f + std::string(0x1000, '\0'));
        EXPECT_EQ(d.good(), 0u);
        EXPECT_TRUE(log.empty());
      }
    }
  }
}

TEST(ZrtDecoder, TenMegabytesOfRandomBytes) {
  ZrtDecoder d;
  d.parser().setForeignBounds(3, 1536);
  Log log;
  Rec unknown(log, "");  // takes foreign runs too, the widest path
  d.filter().setUnknownClient(&unknown);
  std::mt19937_64 rng(20261206);
  std::uniform_int_distribution<int> len(1, 4096);
  std::string buf(4096, '\0');
  for (std::size_t total = 0; total < 10u * 1024 * 1024;) {
    const int n = len(rng);
    for (int i = 0; i < n; i += 8) {
      const std::uint64_t r = rng();
      for (int k = 0; k < 8 && i + k < n; ++k) buf[i + k] = static_cast<char>(r >> (8 * k));
    }
    d.process(buf.data(), n);
    total += static_cast<std::size_t>(n);
    if (log.size() > 1000) log.clear();
  }
  EXPECT_GT(d.good() + d.bad(), 0u);
  EXPECT_TRUE(readsCleanStreamAfter(d));
}

TEST(ZrtDecoder, RecordingsOfOtherFormatsDoNoHarm) {
  for (const char* name : {"rtcm3/testglo.rtcm3", "rtcm3/uscl00chl0.rtcm3", "rtcm3/mixed-bad-crc.bin",
                           "rtcm3/bad-header.bin", "rtcm2/testglo.rtcm2", "rtcm2/sample.rtcm2"}) {
    const std::string rec = readFile(std::string(RX_SHARED_DIR) + "/testdata/" + name);
    ASSERT_FALSE(rec.empty()) << name;
    ZrtDecoder d;
    for (std::size_t i = 0; i < rec.size(); i += 577) feed(d, rec.substr(i, 577));
    EXPECT_TRUE(readsCleanStreamAfter(d)) << name;
  }
}

}  // namespace
