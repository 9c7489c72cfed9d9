// A stray preamble byte whose reserved header bits are set never starts a frame: the real
// frames after it come out as soon as they are whole, not once its made-up length has arrived.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "differential/rtcm3_decoder.h"
#include "rtcm3_test_util.h"

namespace {

using namespace rtcm3test;
using Bytes = std::vector<unsigned char>;

struct Decoded {
  std::vector<int> messages;
  int badFrames = 0;
};

// Runs `stream` through a fresh decoder in one delivery, or byte by byte.
Decoded decode(const Bytes& stream, bool byteByByte) {
  RecordingClient client;
  Rtcm3Dec[0].initDecoder(&client);
  NAV_Decoder drv{&Rtcm3Dec[0]};
  if (byteByByte) {
    for (unsigned char c : stream) drv.putData(&c, 1, static_cast<InPorts::DecPortIndex>(0));
  } else {
    drv.putData(stream.data(), static_cast<int>(stream.size()), static_cast<InPorts::DecPortIndex>(0));
  }
  Decoded d;
  d.messages = client.goodMessages();
  if (!client.statuses.empty()) d.badFrames = client.statuses.back().badFrames;
  Rtcm3Dec[0].initDecoder(nullptr);
  return d;
}

TEST(Rtcm3FalseSync, FramesBehindAPreambleWithReservedBitsComeOutAtOnce) {
  struct Case {
    const char* file;
    std::size_t take;        // leading bytes of the recording (whole frames and a cut one)
    std::size_t insertAt;    // where the false header goes, within those bytes
    Bytes falseHeader;       // preamble, reserved bits set, a length longer than what follows
  };
  const Case cases[] = {
      {"uscl00chl0.rtcm3", 916, 0, {0xD3, 0xFF, 0xFF}},
      {"uscl00chl0.rtcm3", 916, 0, {0xD3, 0x07, 0xF0}},
      {"msm3.rtcm3", 408, 0, {0xD3, 0x7D, 0xFF, 0x43}},
      {"testglo.rtcm3", 700, 0, {0xD3, 0x82, 0xFE}},
  };
  for (const Case& c : cases) {
    const Bytes all = readFile(recording(c.file));
    ASSERT_GE(all.size(), c.take) << c.file;
    const Bytes clean(all.begin(), all.begin() + static_cast<long>(c.take));
    Bytes withFalse = clean;
    withFalse.insert(withFalse.begin() + static_cast<long>(c.insertAt), c.falseHeader.begin(),
                     c.falseHeader.end());
    const Decoded want = decode(clean, false);
    ASSERT_FALSE(want.messages.empty()) << c.file;
    for (bool byteByByte : {false, true}) {
      SCOPED_TRACE(std::string(c.file) + (byteByByte ? " byte by byte" : " in one delivery"));
      const Decoded got = decode(withFalse, byteByByte);
      EXPECT_EQ(got.messages, want.messages);
      EXPECT_EQ(got.badFrames, 0);
    }
  }
}

TEST(Rtcm3FalseSync, FalseHeaderBetweenFramesHoldsNothingBack) {
  // The first frame of the caster log ends where the second one's preamble is.
  const Bytes all = readFile(recording("uscl00chl0.rtcm3"));
  ASSERT_GT(all.size(), 916u);
  const Bytes clean(all.begin(), all.begin() + 916);
  const std::size_t firstEnd = 6 + ((clean[1] & 3u) << 8 | clean[2]);
  ASSERT_LT(firstEnd, clean.size());
  ASSERT_EQ(clean[firstEnd], 0xD3);
  Bytes withFalse = clean;
  const Bytes falseHeader = {0xD3, 0xFC, 0x00, 0xD3, 0xFB, 0xFF};
  withFalse.insert(withFalse.begin() + static_cast<long>(firstEnd), falseHeader.begin(), falseHeader.end());
  const Decoded want = decode(clean, false);
  const Decoded got = decode(withFalse, false);
  EXPECT_GT(want.messages.size(), 2u);
  EXPECT_EQ(got.messages, want.messages);
  EXPECT_EQ(got.badFrames, 0);
}

}  // namespace
