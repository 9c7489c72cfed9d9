#include "differential/rtcm3_decoder.h"

#include "differential/rtcm3_base_params.h"
#include "rtcm3_test_util.h"

namespace {

using namespace rtcm3test;

struct Fixture : ::testing::Test {
  RecordingClient client;
  RTC3_Decoder* dec = &Rtcm3Dec[0];
  NAV_Decoder drv{&Rtcm3Dec[0]};
  void SetUp() override { dec->initDecoder(&client); }
  void restart() { client = RecordingClient{}, dec->initDecoder(&client); }
  void feed(const Bytes& b, int port = 0) {
    drv.putData(b.data(), static_cast<int>(b.size()), static_cast<InPorts::DecPortIndex>(port));
  }
  const RTC3_DEC_STATUS& last() const { return client.statuses.back(); }
};

// RTCM 10403 example of message 1005.
const Bytes kExample1005 = {0xD3, 0x00, 0x13, 0x3E, 0xD7, 0xD3, 0x02, 0x02, 0x98, 0x0E, 0xDE, 0xEF, 0x34,
                            0xB4, 0xBD, 0x62, 0xAC, 0x09, 0x41, 0x98, 0x6F, 0x33, 0x36, 0x0B, 0x98};

TEST_F(Fixture, StandardExampleOf1005) {
  feed(kExample1005, 4);
  ASSERT_EQ(client.refPos.size(), 1u);
  const RTC3_REFPOS& p = client.refPos[0];
  for (const auto& [got, want] : {std::pair(p.x, 1114104.5999), {p.y, -4850729.7108}, {p.z, 3975521.4643}})
    EXPECT_NEAR(got, want, 1e-6);
  EXPECT_EQ(std::tuple(p.stationId, p.flags, client.lastPort), std::tuple(2003, 2, 4));  // GPS only, port 4
  const RTC3_DEC_STATUS& s = last();
  EXPECT_EQ(std::tuple(s.msgNum, s.stationId, s.length, s.goodFrames, s.quality), std::tuple(1005, 2003, 19, 1, 100.0f));
}

// Messages passing the CRC but failing their fields deliver nothing (not even 1033's well-read antenna part).
TEST_F(Fixture, FailedMessagesDeliverNothing) {
  const Field msg1033{1033, 12}, station{21, 12}, ant{"LEIAR25.R4      LEIT"}, setup{0, 8}, serial{"0815"};
  const auto text = [](std::uint64_t subtype, std::uint64_t second, int len) {
    return payload({{4091, 12}, {12, 12}, {subtype, 8}, {second, 8}, std::string(len, 'v')});
  };
  const std::pair<const char*, Bytes> failing[] = {
      {"1005 cut to 12 bytes", Bytes(kExample1005.begin() + 3, kExample1005.begin() + 15)},
      {"1006 without height", payload({{1006, 12}, {0, 12 + 6 + 4 + 3 * 40}})},
      {"1007 of 32 characters", payload({{1007, 12}, {1, 12}, std::string(32, 'x'), {0, 8}})},
      {"1008 serial cut short", payload({{1008, 12}, {1, 12}, "ANT", {0, 8}, {5, 8}})},
      {"1013 entries cut short", payload({{1013, 12}, {1, 12}, {0, 33}, {3, 5}, {18, 8}, {0, 29}})},
      {"1230 biases cut short", payload({{1230, 12}, {1, 12}, {0, 4}, {0xF, 4}, {0, 32}})},
      {"4091 text cut short", payload({{4091, 12}, {1, 12}, {100, 8}, {0, 8}, {10, 8}, {'a', 8}})},
      {"4091 of 128 characters", text(100, 0, 128)},
      {"4091 subtype 99", text(99, 0, 5)},
      {"4091 second byte 1", text(100, 1, 5)},
      {"1033 without receiver part", payload({msg1033, station, ant, setup, serial})},
      {"1033 receiver type cut short", payload({msg1033, station, ant, setup, serial, {9, 8}, {'X', 8}})},
      {"1033 without firmware", payload({msg1033, station, ant, setup, serial, "RCV", {5, 8}})},
      {"1033 serial cut short", payload({msg1033, station, ant, setup, serial, "RCV", "1.0", {7, 8}})},
  };
  for (const auto& [what, p] : failing) {
    restart();
    feed(frameOf(p));
    ASSERT_EQ(client.statuses.size(), 1u) << what;
    EXPECT_EQ(std::tuple(last().goodFrames, last().quality < 100.0f, last().lastTime, client.delivered()),
              std::tuple(1, true, 0, 0u)) << what;
  }
  // Texts of 0 to 127 characters and descriptors of 31 are delivered whole.
  restart();
  for (int len : {0, 127}) feed(frameOf(text(100, 0, len)));
  feed(frameOf(payload({{1007, 12}, {1, 12}, std::string(31, 'x'), {0, 8}})));
  ASSERT_EQ(std::tuple(client.texts.size(), client.antDesc.size()), std::tuple(2u, 1u));
  EXPECT_EQ(std::tuple(client.texts[1].text, client.texts[1].length, std::strlen(client.antDesc[0].desc)),
            std::tuple(std::string(127, 'v'), 127, 31u));
}

// Fields no recording holds: 1013 entries beyond 15, 1230 biases "not available", a number without a decoder.
TEST_F(Fixture, SystemParameterEntriesBiasesAndUnknownNumbers) {
  std::vector<Field> f = {{1013, 12}, {9, 12}, {60382, 16}, {59727, 17}, {20, 5}, {18, 8}};
  for (int i = 0; i < 20; ++i) f.insert(f.end(), {{1000u + i, 12}, {i & 1u, 1}, {10u * i, 16}});
  feed(frameOf(payload(f)));
  ASSERT_EQ(client.sysPar.size(), 1u);
  const RTC3_SYS_PAR& s = client.sysPar[0];
  EXPECT_EQ(std::tuple(s.count, s.mjd, s.secOfDay, s.leapSeconds), std::tuple(15, 60382, 59727u, 18));
  EXPECT_EQ(std::tuple(s.entries[14].id, s.entries[14].sync, s.entries[13].sync, s.entries[14].interval),
            std::tuple(1014, 0, 1, 140));
  // Mask 1011: L1 C/A -1 m, L2 C/A 2 m, L2 P "not available"; kept in record order.
  feed(frameOf(payload({{1230, 12}, {5, 12}, {1, 1}, {0, 3}, {0xB, 4}, {0xFFCE, 16}, {100, 16}, {0x8000, 16}})));
  ASSERT_EQ(client.gloBias.size(), 1u);
  const RTC3_GLO_BIAS& g = client.gloBias[0];
  EXPECT_EQ(std::tuple(g.indicator, g.bias[0], g.bias[1], g.bias[2], g.bias[3]), std::tuple(1, -1.0f, 2.0f, 0.0f, 0.0f));
  feed(frameOf(payload({{1036, 12}, {0x123456, 24}})));
  EXPECT_EQ(std::tuple(last().msgNum, last().quality, last().lastTime > 0, client.delivered()),
            std::tuple(1036, 100.0f, true, 2u));
}

// Station 3, MJD 0, second 0, then the character count and the string.
Bytes text1029(const std::string& s) { return frameOf(payload({{1029, 12}, {3, 12}, {0, 33}, {s.size(), 7}, s})); }

TEST_F(Fixture, BaseParameterTexts) {
  feed(text1029("/par/base/msgout=" + std::string(238, 'm')));  // kept whole, however long
  EXPECT_EQ(std::tuple(rtc3BaseMsgOut.len, std::string(rtc3BaseMsgOut.text)), std::tuple(238, std::string(238, 'm')));
  feed(text1029("/par/base/msgout={rtcm3}"));
  EXPECT_STREQ(rtc3BaseMsgOut.text, "{rtcm3}");
  const int before = dec->getStatus().goodFrames;
  rtc3BaseMsgNum.offset = 5;
  feed(text1029("/par/base/msgnum={1000,7,9}"));
  EXPECT_EQ(std::tuple(rtc3BaseMsgNum.a, rtc3BaseMsgNum.b, rtc3BaseMsgNum.c, rtc3BaseMsgNum.delta),
            std::tuple(1000u, 7, 9, 1000 - (before + 1) - 5));
  feed(text1029("/par/base/moving={accel=,curpos={55.75,37.5,150.25,1},alert={1,2,3,4.5}}"));
  const RTC3_BASE_MOVING& v = rtc3BaseMoving;
  EXPECT_EQ(std::tuple(v.accelPresent, v.curposPresent, v.lat, v.hgt, v.alert[3]), std::tuple(0, 1, 55.75, 150.25, 4.5f));
  // Malformed values fail the message; plain texts are not kept and succeed.
  for (const char* bad : {"/par/base/msgnum={1,2}", "/par/base/modem={power=x,tempc=1,volt=1,id=1,id2=1}",
                          "/par/base/moving={accel={1,2},curpos=,alert=}", "/par/base/msgnum=", "/par/base/msgout"}) {
    const float q = last().quality;
    feed(text1029(bad));
    EXPECT_LT(last().quality, q) << bad;
  }
  const float q = last().quality;
  feed(text1029("hello"));
  EXPECT_GT(last().quality, q);
}

// A kernel restarted while the driver collects starts a fresh search; fed without a port (-1) it files no status.
TEST_F(Fixture, KernelRestartedWhileCollectingAndNoPort) {
  feed(Bytes(kExample1005.begin(), kExample1005.begin() + 10));
  EXPECT_EQ(drv.state, 1);
  dec->initDecoder(&client);
  feed(kExample1005);
  EXPECT_EQ(std::tuple(client.refPos.size(), dec->getStatus().goodFrames), std::tuple(1u, 1));
  restart();
  dec->putData(kExample1005.data(), static_cast<int>(kExample1005.size()), static_cast<InPorts::DecPortIndex>(-1));
  drv.stateMachine();
  EXPECT_EQ(std::tuple(client.refPos.size(), client.statuses.size()), std::tuple(1u, 0u));
}

// Random bytes thick with preambles, in random chunks, then recordings cut at random places (the sanitizers watch).
TEST_F(Fixture, NoiseWithPreamblesAndTruncatedRecordings) {
  std::mt19937 rng(2024);
  Bytes noise(10 * 1024 * 1024);
  for (unsigned char& c : noise) c = static_cast<unsigned char>(rng());
  for (std::size_t i = 0; i < noise.size(); i += 97) noise[i] = 0xD3;
  // A real frame every megabyte, after a stretch of zeros so that no false header spans it.
  for (auto at = noise.begin() + 512 * 1024; at + 2048 < noise.end(); at += 1024 * 1024) {
    std::fill(at - 1100, at, 0);
    std::copy(kExample1005.begin(), kExample1005.end(), at);
  }
  std::uniform_int_distribution<int> chunk(1, 4096);
  for (auto at = noise.begin(); at < noise.end();) {
    const auto n = std::min<long>(chunk(rng), noise.end() - at);
    feed(Bytes(at, at + n));
    at += n;
  }
  EXPECT_EQ(std::tuple(client.refPos.size() >= 10, dec->getStatus().badFrames > 1000), std::tuple(true, true));

  std::mt19937 cuts(7);
  for (const char* name : {"uscl00chl0.rtcm3", "testglo.rtcm3", "mixed-bad-crc.bin", "msm3.rtcm3"}) {
    const Bytes data = readFile(recording(name));
    restart();
    feed(data);
    const int whole = dec->getStatus().goodFrames;
    for (int k = 0; k < 20; ++k) {
      const auto cut = static_cast<long>(std::uniform_int_distribution<std::size_t>(0, data.size())(cuts));
      drv.reset(), restart(), feed(Bytes(data.begin(), data.begin() + cut));
      EXPECT_LE(dec->getStatus().goodFrames, whole) << name;
    }
  }
}

std::vector<int> decodeBytewise(const std::vector<unsigned char>& stream) {
  rtcm3test::RecordingClient client;
  Rtcm3Dec[0].initDecoder(&client);
  NAV_Decoder drv{&Rtcm3Dec[0]};
  for (unsigned char c : stream) drv.putData(&c, 1, static_cast<InPorts::DecPortIndex>(0));
  return client.goodMessages();
}

// A preamble with set reserved bits never starts a frame: the frames behind it come out as soon as they are whole.
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
    EXPECT_GT(decodeBytewise(clean).size(), 2u) << r.file;
    EXPECT_EQ(decodeBytewise(withFalse), decodeBytewise(clean)) << r.file << " at " << r.at;
  }
}

}  // namespace
