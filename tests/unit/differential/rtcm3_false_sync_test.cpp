// A preamble byte followed by set reserved bits never starts a frame: the real frames behind it
// come out as soon as they are whole, not once its made-up length has arrived.
#include <gtest/gtest.h>

#include "rtcm3_test_util.h"

// Message numbers of the good frames, the stream fed byte by byte.
static std::vector<int> decode(const std::vector<unsigned char>& stream) {
  rtcm3test::RecordingClient client;
  Rtcm3Dec[0].initDecoder(&client);
  NAV_Decoder drv{&Rtcm3Dec[0]};
  for (unsigned char c : stream) drv.putData(&c, 1, static_cast<InPorts::DecPortIndex>(0));
  return client.goodMessages();
}

TEST(Rtcm3FalseSync, FramesBehindAFalsePreambleComeOutAtOnce) {
  // Leading bytes of a recording; the false header, at a frame boundary, claims more than follows.
  const struct {
    const char* file;
    std::size_t take, at;
    std::vector<unsigned char> header;
  } rows[] = {{"uscl00chl0.rtcm3", 916, 0, {0xD3, 0xFF, 0xFF}},
              {"uscl00chl0.rtcm3", 916, 153, {0xD3, 0xFC, 0x00, 0xD3, 0x07, 0xF0}},
              {"msm3.rtcm3", 408, 0, {0xD3, 0x7D, 0xFF}},
              {"testglo.rtcm3", 700, 0, {0xD3, 0x82, 0xFE}}};
  for (const auto& r : rows) {
    std::vector<unsigned char> clean = rtcm3test::readFile(rtcm3test::recording(r.file));
    clean.resize(r.take);
    std::vector<unsigned char> withFalse = clean;
    withFalse.insert(withFalse.begin() + static_cast<long>(r.at), r.header.begin(), r.header.end());
    EXPECT_GT(decode(clean).size(), 2u) << r.file;
    EXPECT_EQ(decode(withFalse), decode(clean)) << r.file << " at " << r.at;
  }
}
