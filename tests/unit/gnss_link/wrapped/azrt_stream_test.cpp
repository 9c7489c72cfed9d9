// Whole streams through one port's native reader, wrapped-stream router and transducer sentence
// input: a real RTCM 3 recording wrapped by the board simulator's writer reaches another port's
// decoder byte for byte; random, cut and damaged mixtures of native messages, wrapped data and
// foreign lines break nothing.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "differential/input_decoders.h"
#include "gnss_link/sensor/nmea_decoder.h"
#include "gnss_link/sensor/transducer.h"
#include "gnss_link/wrapped/azrt_decoder.h"
#include "gnss_link/zrt_decoder.h"
#include "unit/gnss_link/native_test_util.h"
#include "unit/gnss_link/wrapped/parser_stub.h"
#include "unit/gnss_link/wrapped/wrapped_frames.h"
#include "unit/port_fakes.h"

namespace {

using testports::CaptureOut;
using testports::ScriptPort;

class RecDec : public InDec {
 public:
  std::string fed;
  void reset() override {}
  void process(const void* d, int n) override { fed.append(static_cast<const char*>(d), static_cast<std::size_t>(n)); }
};

constexpr int kOwn = IOP_SER_A;
constexpr int kTarget = IOP_SER_C;

class WrappedStream : public ::testing::Test {
 protected:
  void SetUp() override {
    InDecs::decs_[InDecs::kRtcm3][InPorts::io2dec_[kTarget]] = &rtcm3_;
    own_.setMode(InPort::M_ZRT);
    target_.setMode(InPort::M_RTCM3);
    zd_.parser().setForeignBounds(3, 1536);
    az_.init(kOwn, zd_.filter());
    az_.setFurther(&nmea_);
    // 'R' in mode 13 (RTCM 3 decoder, stream id stripped) to dev/ser/c; '$' lines stay for the
    // transducer input; '!' lines (mode 16) are written back out of the port itself (a foreign
    // run starts with a byte that cannot start a native message).
    az_.setParam(0, AzrtParams{'R', 13, static_cast<std::uint8_t>(kTarget)});
    az_.setParam(1, AzrtParams{'!', 16, AzrtParams::kSelf});
  }
  void TearDown() override { InDecs::decs_[InDecs::kRtcm3][InPorts::io2dec_[kTarget]] = nullptr; }
  void feed(const std::string& s, std::mt19937& rng) {
    for (std::size_t at = 0; at < s.size();) {
      const std::size_t n = std::min<std::size_t>(s.size() - at, 1 + rng() % 700);
      zd_.process(s.data() + at, static_cast<int>(n));
      at += n;
    }
  }

  wraptest::ParserStub parser_;
  ScriptPort own_{kOwn};
  ScriptPort target_{kTarget};
  CaptureOut ownOut_{kOwn};
  RecDec rtcm3_;
  NmeaDecoder nmea_;
  ZrtDecoder zd_;
  AzrtDecoder az_;
};

std::string recording() { return ntest::readFile(std::string(RX_SHARED_DIR) + "/testdata/rtcm3/uscl00chl0.rtcm3"); }

TEST_F(WrappedStream, RecordingReachesTheOtherPortsRtcm3DecoderByteForByte) {
  const std::string rec = recording();
  ASSERT_EQ(rec.size(), 4606u);
  std::mt19937 rng(70);
  for (std::size_t piece : {1u, 100u, 1000u, 1528u}) {
    rtcm3_.fed.clear();
    const std::size_t cut = rec.size() / 2 / piece * piece;
    // Interleaved with native messages, other streams and a sensor's sentences.
    feed(ntest::frame("GT", "1") + wraptest::wrapAll('R', rec.substr(0, cut), piece) +
             "$IIXDR,C,19.8,C,AirTemp*26\r\n" + wraptest::wrap('Q', "elsewhere") +
             wraptest::wrapAll('R', rec.substr(cut), piece),
         rng);
    EXPECT_TRUE(rtcm3_.fed == rec) << piece << ": " << rtcm3_.fed.size();
  }
  EXPECT_EQ(zd_.bad(), 0u);
  EXPECT_EQ(meteoDataBuf.get().v[0], 19.8f);
}

TEST_F(WrappedStream, RandomCutAndDamagedMixtures) {
  const std::string rec = recording();
  const std::string parts[] = {
      wraptest::wrapAll('R', rec.substr(0, 600), 200),
      "$IIXDR,C,21.5,C,T,P,1.013,B,P*6D\r\n",
      "$HCXDR,A,171,D,PITCH,A,-37,D,ROLL,G,367,,MAGX,G,2420,,MAGY,G,-8984,,MAGZ*41\r\n",
      "!echo this line\r\n",
      ntest::epochStart(5) + ntest::frame("GT", "2") + ntest::epochEnd(5),
      wraptest::wrap('Q', "x"),
      "%1%print,/par/rcv/ver\r\n",
  };
  std::mt19937 rng(1729);
  std::string all;
  for (const std::string& p : parts) all += p;
  // Every cut of the whole mixture.
  for (std::size_t n = 0; n <= all.size(); n += 1 + n / 64) {
    zd_.reset();
    feed(all.substr(0, n), rng);
  }
  for (int i = 0; i < 3000; ++i) {
    std::string s;
    const int k = 1 + static_cast<int>(rng() % 6);
    for (int j = 0; j < k; ++j) s += parts[rng() % std::size(parts)];
    const int damage = static_cast<int>(rng() % 5);
    for (int d = 0; d < damage && !s.empty(); ++d) s[rng() % s.size()] = static_cast<char>(rng());
    if (rng() % 2) s.resize(rng() % (s.size() + 1));
    if (i % 10 == 0) {
      std::string noise(rng() % 2048, '\0');
      for (char& c : noise) c = static_cast<char>(rng());
      s += noise;
    }
    feed(s, rng);
  }
  // Undamaged, the mixture still routes as before.
  zd_.reset();
  rtcm3_.fed.clear();
  ownOut_.data.clear();
  feed(all, rng);
  EXPECT_EQ(rtcm3_.fed, rec.substr(0, 600));
  EXPECT_EQ(ownOut_.data, "!echo this line\r");  // the run ends at its CR
}

}  // namespace
