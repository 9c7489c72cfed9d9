// RTCM 3 framing and message decoding on frames built here, the standard's own example, and
// hostile input.
#include "differential/rtcm3_decoder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "differential/rtcm3_base_params.h"
#include "positioning/time_scales.h"
#include "rtcm3_test_util.h"

namespace {

using namespace rtcm3test;

struct Fixture : ::testing::Test {
  RecordingClient client;
  RTC3_Decoder* dec = &Rtcm3Dec[0];
  NAV_Decoder drv{&Rtcm3Dec[0]};
  void SetUp() override { dec->initDecoder(&client); }
  void restart() {
    client = RecordingClient{};
    dec->initDecoder(&client);
  }
  void feed(const Bytes& b, int port = 0) {
    drv.putData(b.data(), static_cast<int>(b.size()), static_cast<InPorts::DecPortIndex>(port));
  }
  const RTC3_DEC_STATUS& last() const { return client.statuses.back(); }
};

Bytes payload(int msg, const std::function<void(BitWriter&)>& body) {
  BitWriter w;
  w.put(msg, 12);
  body(w);
  return w.bytes();
}

// RTCM 10403 example of message 1005.
const Bytes kExample1005 = {0xD3, 0x00, 0x13, 0x3E, 0xD7, 0xD3, 0x02, 0x02, 0x98, 0x0E, 0xDE, 0xEF, 0x34,
                            0xB4, 0xBD, 0x62, 0xAC, 0x09, 0x41, 0x98, 0x6F, 0x33, 0x36, 0x0B, 0x98};

TEST_F(Fixture, StandardExampleOf1005) {
  feed(kExample1005, 4);
  ASSERT_EQ(client.refPos.size(), 1u);
  const RTC3_REFPOS& p = client.refPos[0];
  EXPECT_EQ(p.stationId, 2003);
  EXPECT_NEAR(p.x, 1114104.5999, 1e-6);
  EXPECT_NEAR(p.y, -4850729.7108, 1e-6);
  EXPECT_NEAR(p.z, 3975521.4643, 1e-6);
  EXPECT_EQ(p.flags, 2);  // GPS only
  EXPECT_EQ(client.ports[0], 4);
  EXPECT_EQ(last().msgNum, 1005);
  EXPECT_EQ(last().stationId, 2003);
  EXPECT_EQ(last().length, 19);
  EXPECT_EQ(last().goodFrames, 1);
  EXPECT_FLOAT_EQ(last().quality, 100.0f);
}

TEST_F(Fixture, FramesWholeSplitAfterGarbageAndInsideARejectedHeader) {
  Bytes garbage(100);
  for (int i = 0; i < 100; ++i) garbage[i] = static_cast<unsigned char>(i == 0xD3 ? 0 : i);
  feed(garbage);
  EXPECT_LE(dec->cb.count, 4);  // at most a header's worth is kept while searching
  EXPECT_TRUE(client.statuses.empty());
  Bytes two = kExample1005, afterGarbage = garbage;
  two.insert(two.end(), kExample1005.begin(), kExample1005.end());
  afterGarbage.insert(afterGarbage.end(), kExample1005.begin(), kExample1005.end());
  // A header whose length swallows a real frame starting one byte later, with a wrong CRC: the
  // search resumes at its second byte and finds the inner frame.
  Bytes outer = {0xD3, 0x00, 0x20};
  outer.insert(outer.end(), kExample1005.begin(), kExample1005.end());
  outer.resize(3 + 0x20 + 3, 0x55);
  struct Case {
    const char* what;
    Bytes in;
    std::size_t chunk;
    std::size_t frames;
    bool bad;
  };
  const Case cases[] = {{"two in one delivery", two, two.size(), 2, false},
                        {"byte by byte", two, 1, 2, false},
                        {"after garbage", afterGarbage, 100, 1, false},
                        {"inside a rejected header", outer, outer.size(), 1, true}};
  for (const Case& c : cases) {
    restart();
    for (std::size_t off = 0; off < c.in.size(); off += c.chunk) {
      const auto from = c.in.begin() + static_cast<long>(off);
      feed(Bytes(from, from + static_cast<long>(std::min(c.chunk, c.in.size() - off))));
    }
    ASSERT_EQ(client.refPos.size(), c.frames) << c.what;
    EXPECT_EQ(client.refPos[0].stationId, 2003) << c.what;
    EXPECT_EQ(dec->getStatus().goodFrames, static_cast<int>(c.frames)) << c.what;
    EXPECT_EQ(dec->getStatus().badFrames > 0, c.bad) << c.what;
  }
}

// Messages that pass the CRC but fail their fields: nothing is delivered, the quality takes a 0
// sample and the epoch time stays unset. A 1033 whose receiver part runs past the payload fails
// as a whole: its antenna part, read well, must not reach the client either.
TEST_F(Fixture, FailedMessagesDeliverNothing) {
  const auto antenna = [](BitWriter& w) { w.put(21, 12), w.putString("LEIAR25.R4      LEIT"), w.put(0, 8), w.putString("0815"); };
  const auto text = [](int subtype, int second, int len) {
    return payload(4091, [=](BitWriter& w) { w.put(12, 12), w.put(subtype, 8), w.put(second, 8), w.putString(std::string(len, 'v')); });
  };
  const std::pair<const char*, Bytes> failing[] = {
      {"1005 cut to 12 bytes", Bytes(kExample1005.begin() + 3, kExample1005.begin() + 15)},
      {"1006 without height", payload(1006, [](BitWriter& w) { w.put(0, 12 + 6 + 4 + 3 * 40); })},
      {"1008 serial cut short", payload(1008, [](BitWriter& w) { w.put(1, 12), w.putString("ANT"), w.put(0, 8), w.put(5, 8); })},
      {"1013 entries cut short",
       payload(1013, [](BitWriter& w) { w.put(1, 12), w.put(0, 33), w.put(3, 5), w.put(18, 8), w.put(0, 29); })},
      {"1230 biases cut short", payload(1230, [](BitWriter& w) { w.put(1, 12), w.put(0, 4), w.put(0xF, 4), w.put(0, 32); })},
      {"4091 text cut short",
       payload(4091, [](BitWriter& w) { w.put(1, 12), w.put(100, 8), w.put(0, 8), w.put(10, 8), w.put('a', 8); })},
      {"1007 of 32 characters", payload(1007, [](BitWriter& w) { w.put(1, 12), w.putString(std::string(32, 'x')), w.put(0, 8); })},
      {"4091 of 128 characters", text(100, 0, 128)},
      {"4091 subtype 99", text(99, 0, 5)},
      {"4091 second byte 1", text(100, 1, 5)},
      {"1033 without receiver part", payload(1033, antenna)},
      {"1033 receiver type cut short", payload(1033, [&](BitWriter& w) { antenna(w), w.put(9, 8), w.put('X', 8); })},
      {"1033 without firmware", payload(1033, [&](BitWriter& w) { antenna(w), w.putString("RCV"), w.put(5, 8); })},
      {"1033 serial cut short",
       payload(1033, [&](BitWriter& w) { antenna(w), w.putString("RCV"), w.putString("1.0"), w.put(7, 8); })},
  };
  for (const auto& [what, p] : failing) {
    restart();
    feed(frameOf(p));
    ASSERT_EQ(client.statuses.size(), 1u) << what;
    EXPECT_EQ(last().goodFrames, 1) << what;
    EXPECT_LT(last().quality, 100.0f) << what;
    EXPECT_EQ(last().lastTime, 0) << what;
    EXPECT_EQ(client.delivered(), 0u) << what;
  }
  // Texts of 0 to 127 characters are delivered whole.
  for (int len : {0, 31, 32, 127}) {
    restart();
    feed(frameOf(text(100, 0, len)));
    ASSERT_EQ(client.texts.size(), 1u) << len;
    EXPECT_EQ(std::string(client.texts[0].text), std::string(len, 'v'));
    EXPECT_EQ(client.texts[0].length, len);
    EXPECT_EQ(client.texts[0].stationId, 12);
  }
  // The whole 1033 delivers both parts, antenna first.
  restart();
  feed(frameOf(payload(1033, [&](BitWriter& w) { antenna(w), w.putString("RCV"), w.putString("1.0"), w.putString("SN1"); })));
  ASSERT_EQ(client.antDesc.size(), 1u);
  ASSERT_EQ(client.rcvDesc.size(), 1u);
  EXPECT_STREQ(client.antDesc[0].serial, "0815");
  EXPECT_STREQ(client.rcvDesc[0].serial, "SN1");
  EXPECT_EQ(client.rcvDesc[0].stationId, 21);
}

TEST_F(Fixture, DescriptorsSystemParametersBiasesAndUnknownNumbers) {
  feed(frameOf(payload(1008, [](BitWriter& w) {
    w.put(77, 12), w.putString("TRM59800.00     SCIS"), w.put(3, 8), w.putString("12345");
  })));
  feed(frameOf(payload(1007, [](BitWriter& w) { w.put(1, 12), w.putString(std::string(31, 'x')), w.put(0, 8); })));
  ASSERT_EQ(client.antDesc.size(), 2u);
  EXPECT_STREQ(client.antDesc[0].desc, "TRM59800.00     SCIS");
  EXPECT_STREQ(client.antDesc[0].serial, "12345");
  EXPECT_EQ(client.antDesc[0].setupId, 3);
  EXPECT_EQ(client.antDesc[0].stationId, 77);
  EXPECT_EQ(std::strlen(client.antDesc[1].desc), 31u);  // 31 characters fit

  feed(frameOf(payload(1013, [](BitWriter& w) {
    w.put(9, 12), w.put(60382, 16), w.put(59727, 17), w.put(20, 5), w.put(18, 8);
    for (int i = 0; i < 20; ++i) w.put(1000 + i, 12), w.put(i & 1, 1), w.put(10 * i, 16);
  })));
  ASSERT_EQ(client.sysPar.size(), 1u);
  const RTC3_SYS_PAR& s = client.sysPar[0];
  EXPECT_EQ(s.count, 15);  // of 20
  EXPECT_EQ(s.mjd, 60382);
  EXPECT_EQ(s.secOfDay, 59727u);
  EXPECT_EQ(s.leapSeconds, 18);
  EXPECT_EQ(s.entries[14].id, 1014);
  EXPECT_EQ(s.entries[14].sync, 0);
  EXPECT_EQ(s.entries[13].sync, 1);
  EXPECT_EQ(s.entries[14].interval, 140);

  // Mask 1011: L1 C/A, L2 C/A, L2 P present; L2 P "not available". Kept in record order.
  feed(frameOf(payload(1230, [](BitWriter& w) {
    w.put(5, 12), w.put(1, 1), w.put(0, 3), w.put(0xB, 4);
    w.put(static_cast<std::uint16_t>(-50), 16), w.put(100, 16), w.put(0x8000, 16);
  })));
  ASSERT_EQ(client.gloBias.size(), 1u);
  const RTC3_GLO_BIAS& g = client.gloBias[0];
  EXPECT_EQ(g.indicator, 1);
  EXPECT_FLOAT_EQ(g.bias[0], -1.0f);  // L1 C/A
  EXPECT_FLOAT_EQ(g.bias[1], 2.0f);   // L2 C/A
  EXPECT_FLOAT_EQ(g.bias[2], 0.0f);   // L1 P absent
  EXPECT_FLOAT_EQ(g.bias[3], 0.0f);   // L2 P not available

  // An unknown number is a success with only a status.
  const std::size_t delivered = client.delivered();
  feed(frameOf(payload(1036, [](BitWriter& w) { w.put(0x123456, 24); })));
  EXPECT_EQ(last().msgNum, 1036);
  EXPECT_FLOAT_EQ(last().quality, 100.0f);
  EXPECT_GT(last().lastTime, 0);
  EXPECT_EQ(client.delivered(), delivered);
}

Bytes text1029(const std::string& s) {
  return frameOf(payload(1029, [&](BitWriter& w) {
    w.put(3, 12), w.put(0, 16), w.put(0, 17), w.put(s.size(), 7);
    w.put(s.size(), 8);
    for (unsigned char c : s) w.put(c, 8);
  }));
}

TEST_F(Fixture, BaseParameterTexts) {
  // msgout: the remainder is kept whole, however long the string.
  feed(text1029("/par/base/msgout=" + std::string(238, 'm')));
  EXPECT_EQ(rtc3BaseMsgOut.len, 238);
  EXPECT_EQ(std::string(rtc3BaseMsgOut.text), std::string(238, 'm'));
  feed(text1029("/par/base/msgout={rtcm3}"));
  EXPECT_STREQ(rtc3BaseMsgOut.text, "{rtcm3}");

  const int before = dec->getStatus().goodFrames;
  rtc3BaseMsgNum.offset = 5;
  feed(text1029("/par/base/msgnum={1000,7,9}"));
  EXPECT_EQ(rtc3BaseMsgNum.a, 1000u);
  EXPECT_EQ(rtc3BaseMsgNum.b, 7);
  EXPECT_EQ(rtc3BaseMsgNum.c, 9);
  EXPECT_EQ(rtc3BaseMsgNum.delta, 1000 - (before + 1) - 5);
  EXPECT_EQ(rtc3BaseMsgNum.offset, 5);

  feed(text1029("/par/base/modem={power=12,tempc=unknown,volt=11.5,id=3,id2=-4}"));
  EXPECT_EQ(rtc3BaseModem.valid, 1);
  EXPECT_EQ(rtc3BaseModem.power, 12);
  EXPECT_EQ(rtc3BaseModem.present[1], 0);
  EXPECT_FLOAT_EQ(rtc3BaseModem.volt, 11.5f);
  EXPECT_EQ(rtc3BaseModem.id2, -4);
  feed(text1029("/par/base/modem=unknown"));
  EXPECT_EQ(rtc3BaseModem.valid, 0);

  feed(text1029("/par/base/moving={accel=,curpos={55.75,37.5,150.25,1},alert={1,2,3,4.5}}"));
  EXPECT_EQ(rtc3BaseMoving.accelPresent, 0);
  EXPECT_EQ(rtc3BaseMoving.curposPresent, 1);
  EXPECT_DOUBLE_EQ(rtc3BaseMoving.lat, 55.75);
  EXPECT_DOUBLE_EQ(rtc3BaseMoving.hgt, 150.25);
  EXPECT_FLOAT_EQ(rtc3BaseMoving.alert[3], 4.5f);
  feed(text1029("/par/base/moving={accel={0.1,0.2,0.3,1},curpos=,alert=}"));
  EXPECT_EQ(rtc3BaseMoving.accelPresent, 1);
  EXPECT_EQ(rtc3BaseMoving.accelFlag, 1);
  EXPECT_EQ(rtc3BaseMoving.curposPresent, 0);
  EXPECT_FLOAT_EQ(last().quality, 100.0f);

  // Malformed values fail the message; plain texts are not kept and succeed.
  for (const char* bad : {"/par/base/msgnum={1,2}", "/par/base/modem={power=x,tempc=1,volt=1,id=1,id2=1}",
                          "/par/base/moving={accel={1,2},curpos=,alert=}", "/par/base/msgnum=", "/par/base/msgout"}) {
    const float q = last().quality;
    feed(text1029(bad));
    EXPECT_LT(last().quality, q) << bad;
  }
  const int good = dec->getStatus().goodFrames;
  feed(text1029("hello"));
  EXPECT_EQ(last().goodFrames, good + 1);
  EXPECT_GT(last().lastTime, 0);
}

TEST_F(Fixture, CountersWrapTo1AndResetClearsTheStatus) {
  dec->status.goodFrames = 999999;
  dec->status.badFrames = 999999;
  feed(kExample1005);
  EXPECT_EQ(last().goodFrames, 1);
  Bytes bad = kExample1005;
  bad.back() ^= 1;
  feed(bad);
  EXPECT_EQ(dec->getStatus().badFrames, 1);
  drv.reset();
  EXPECT_EQ(client.resets, 1);
  EXPECT_EQ(dec->getStatus().goodFrames, 0);
  EXPECT_EQ(dec->getStatus().latency, -1);
  EXPECT_EQ(dec->getStatus().epochPeriod.period, -1);
  EXPECT_EQ(dec->cb.count, 0);
  EXPECT_EQ(drv.state, 0);
}

// The client may restart its kernel (initDecoder) while the driver waits in the collect state:
// the next bytes start a fresh search instead of collecting for a frame that is gone.
TEST_F(Fixture, KernelRestartedWhileCollecting) {
  feed(Bytes(kExample1005.begin(), kExample1005.begin() + 10));
  EXPECT_EQ(drv.state, 1);
  dec->initDecoder(&client);
  feed(kExample1005);
  EXPECT_EQ(client.refPos.size(), 1u);
  EXPECT_EQ(dec->getStatus().goodFrames, 1);
}

TEST_F(Fixture, NoStatusBeforeAnyPort) {
  dec->putData(kExample1005.data(), static_cast<int>(kExample1005.size()), static_cast<InPorts::DecPortIndex>(-1));
  drv.stateMachine();
  EXPECT_EQ(client.refPos.size(), 1u);
  EXPECT_TRUE(client.statuses.empty());
}

// Random bytes with many preambles, whole and in random chunks: nothing is read out of bounds
// (the sanitizers watch) and real frames hidden in the noise are still found.
TEST_F(Fixture, TenMegabytesOfNoiseWithPreambles) {
  std::mt19937 rng(2024);
  Bytes noise(10 * 1024 * 1024);
  for (unsigned char& c : noise) c = static_cast<unsigned char>(rng());
  for (std::size_t i = 0; i < noise.size(); i += 97) noise[i] = 0xD3;
  // A real frame every megabyte, after a stretch of zeros so that no false header spans it.
  for (std::size_t at = 512 * 1024; at + 2048 < noise.size(); at += 1024 * 1024) {
    std::fill(noise.begin() + static_cast<long>(at) - 1100, noise.begin() + static_cast<long>(at), 0);
    std::copy(kExample1005.begin(), kExample1005.end(), noise.begin() + static_cast<long>(at));
  }
  std::uniform_int_distribution<int> chunk(1, 4096);
  for (std::size_t off = 0; off < noise.size();) {
    const int n = std::min<int>(chunk(rng), static_cast<int>(noise.size() - off));
    feed(Bytes(noise.begin() + static_cast<long>(off), noise.begin() + static_cast<long>(off) + n));
    off += n;
  }
  EXPECT_GE(client.refPos.size(), 10u);
  EXPECT_GT(dec->getStatus().badFrames, 1000);
}

// Every recording cut at random places: no crash, never more frames than the whole file gives.
TEST_F(Fixture, TruncatedRecordings) {
  std::mt19937 rng(7);
  for (const char* name : {"uscl00chl0.rtcm3", "testglo.rtcm3", "mixed-bad-crc.bin", "msm3.rtcm3"}) {
    const Bytes data = readFile(recording(name));
    restart();
    feed(data);
    const int whole = dec->getStatus().goodFrames;
    for (int k = 0; k < 20; ++k) {
      const std::size_t cut = std::uniform_int_distribution<std::size_t>(0, data.size())(rng);
      drv.reset();
      restart();
      feed(Bytes(data.begin(), data.begin() + static_cast<long>(cut)));
      EXPECT_LE(dec->getStatus().goodFrames, whole) << name;
    }
  }
}

struct Wrapped {
  static inline int calls = 0, port = 0, stream = 0, len = 0;
  static int write(int p, int st, const void*, int n) {
    ++calls, port = p, stream = st, len = n;
    return n;
  }
};

// Wrapped re-output hands each whole frame to the native writer for the configured stream; a
// frame whose message fails is re-output all the same; port 43 is off.
TEST_F(Fixture, WrappedReoutputAndFailedMessages) {
  Reoutput out(RTC3_DEC_SETTINGS{0, 6, 82, 1, 0});
  decOutputSeam.writeWrapped = &Wrapped::write;
  feed(kExample1005);
  EXPECT_EQ(Wrapped::calls, 1);
  EXPECT_EQ(Wrapped::port, 6);
  EXPECT_EQ(Wrapped::stream, 82);
  EXPECT_EQ(Wrapped::len, 25);
  RTC3_Decoder::setSettings(RTC3_DEC_SETTINGS{0, 6, -1, 1, 0});
  const Bytes failing = frameOf(payload(4091, [](BitWriter& w) { w.put(1, 12), w.put(99, 8), w.put(0, 16); }));
  feed(failing);
  EXPECT_LT(last().quality, 100.0f);
  ASSERT_EQ(Reoutput::frames.size(), 1u);
  EXPECT_EQ(Reoutput::frames[0], failing);
  RTC3_Decoder::setSettings(RTC3_DEC_SETTINGS{0, 43, -1, 1, 0});
  feed(kExample1005);
  EXPECT_EQ(Reoutput::frames.size(), 1u);
  EXPECT_EQ(Wrapped::calls, 1);
}

SysTime g_clock;
void clockRead(SysTime& t) { t = g_clock; }

Bytes msmHeader(int msg, long epoch) {
  return frameOf(payload(msg, [&](BitWriter& w) {
    w.put(21, 12), w.put(epoch, 30), w.put(0, 1 + 3 + 7 + 2 + 2 + 1 + 3), w.put(0, 64 + 32);
  }));
}

// Observation epochs: decimation by epoch time (BeiDou tested on GPS time), latency against the
// time scales, epoch period per system.
TEST_F(Fixture, ObservationEpochsDecimationLatencyAndPeriod) {
  Reoutput out(RTC3_DEC_SETTINGS{1000, 5, -1, 1, 0});
  TimeScales::setRealClock(clockRead);
  g_clock.assign(1700000000, 0);
  RcvTimeScales::INT_SCALES s{};
  s.ms[0] = 986000 + 14000 + 300;  // GPS time 300 ms after the BeiDou epoch 986000
  s.flags[0] = s.flags[1] = 0x40;
  TimeScales::epoch(g_clock, 99);
  TimeScales::endUpdate(s, 99);
  feed(msmHeader(1124, 986000));  // BeiDou MSM4
  EXPECT_EQ(Reoutput::frames.size(), 1u);
  EXPECT_EQ(last().latency, 300);
  EXPECT_EQ(last().stationId, 21);
  feed(msmHeader(1124, 986500));
  EXPECT_EQ(Reoutput::frames.size(), 1u);  // not on a whole second: not re-output
  EXPECT_EQ(last().epochPeriod.period, 500);
  EXPECT_EQ(last().epochPeriod.sys, 5);
  EXPECT_FLOAT_EQ(last().quality, 100.0f);
  feed(frameOf(payload(1004, [](BitWriter& w) { w.put(21, 12), w.put(987000, 30), w.put(0, 10); })));
  EXPECT_EQ(Reoutput::frames.size(), 2u);  // a GPS legacy epoch on a whole second
  EXPECT_EQ(last().epochPeriod.sys, 0);
  TimeScales::setRealClock(nullptr);
}

}  // namespace
