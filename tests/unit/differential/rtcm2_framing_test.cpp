// RTCM 2 framing: the 6-of-8 filter, the preamble at every bit shift and in both polarities,
// parity failures, sequence numbers, health acceptance, the re-output ring, random and cut input.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "differential/decoder_status.h"
#include "differential/rtcm2/rtcm2_decoder.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/pvt_engine.h"
#include "rtcm2_client_recorder.h"
#include "rtcm2_test_util.h"

namespace {

using namespace rtcm2test;
using Bytes = std::vector<std::uint8_t>;

// A text message (type 16) of `text`, three characters a word.
std::vector<std::uint32_t> textWords(const std::string& text) {
  Fields f;
  for (char c : text) f.put(static_cast<unsigned char>(c), 8);
  while (f.size() % 24 != 0) f.put(0, 8);
  return f.words();
}

struct Rtcm2Framing : ::testing::Test {
  Recorder client;
  RTCM_Decoder& dec = RtcmDec[0];
  NAV_Decoder drv{&RtcmDec[0]};
  void SetUp() override {
    freshDecoder(dec, drv, client);
  }
  void feed(const Bytes& b) { drv.putData(b.data(), static_cast<int>(b.size()), static_cast<InPorts::DecPortIndex>(0)); }
  std::vector<int> types() const {
    std::vector<int> t;
    for (const RTCM_MSG_HEADER& h : client.headers) t.push_back(h.type);
    return t;
  }
};

Bytes twoTexts(int d30 = 0, int padBits = 0) {
  Writer w(0, d30);
  w.pad(padBits);
  w.message({16, 5, 100, 1, 0}, textWords("ABCDEF"));
  w.message({16, 5, 101, 2, 0}, textWords("GHI"));
  return w.bytes();
}

TEST_F(Rtcm2Framing, FramingRows) {
  struct Row {
    const char* name;
    Bytes bytes;
    std::vector<int> types;
  };
  std::vector<Row> rows;
  rows.push_back({"plain", twoTexts(), {16, 16}});
  for (int shift = 1; shift <= 7; ++shift)
    rows.push_back({"word start shifted by bits", twoTexts(0, shift), {16, 16}});
  rows.push_back({"complemented preamble (D30* set before the first word)", twoTexts(1), {16, 16}});
  {
    Bytes b;
    for (std::uint8_t x : twoTexts()) b.insert(b.end(), {0x00, x, 0xC0, 0x80, 0xFF});
    rows.push_back({"bytes 0x00, 0xC0, 0x80, 0xFF between the data bytes dropped", b, {16, 16}});
  }
  {
    Bytes b;
    for (char c : std::string("<OK\r\n[USB1]\r\n<ERROR:Invalid Message ID\r\n")) b.push_back(static_cast<std::uint8_t>(c));
    const Bytes m = twoTexts();
    b.insert(b.end(), m.begin(), m.end());
    rows.push_back({"text before the stream", b, {16, 16}});
  }
  {
    Writer w;
    w.message({1, 5, 0, 1, 0}, {});
    w.message({34, 5, 0, 2, 0}, {});
    w.message({16, 5, 0, 3, 0}, textWords("X"));
    rows.push_back({"length 0, and a 34 of length 0 as 65", w.bytes(), {1, 65, 16}});
  }
  {
    Bytes b = twoTexts();
    b[12] ^= 0x04;  // a bit of the first data word of the first message
    rows.push_back({"a data word failing its parity loses its message only", b, {16}});
  }
  {
    Bytes b = twoTexts();
    b[7] ^= 0x01;  // a bit of the second header word
    rows.push_back({"a header word failing its parity loses its message only", b, {16}});
  }
  {
    Bytes b = twoTexts();
    b.resize(b.size() - 3);
    rows.push_back({"a message cut short waits for the rest", b, {16}});
  }
  for (const Row& r : rows) {
    SetUp();
    feed(r.bytes);
    EXPECT_EQ(types(), r.types) << r.name;
  }
}

TEST_F(Rtcm2Framing, DataParityFailureLowersTheQualityAndTheNextMessageIsFound) {
  Bytes b = twoTexts();
  b[12] ^= 0x04;
  feed(b);
  ASSERT_EQ(client.statuses.size(), 1u);
  // 1 at the start, then 0 for the failure and 1 for the good one: mean 2/3.
  EXPECT_NEAR(client.statuses[0].quality, 100.0 * 2 / 3, 1e-3);
  EXPECT_EQ(client.texts.at(0).length, 3);
  EXPECT_STREQ(client.texts.at(0).text, "GHI");
}

TEST_F(Rtcm2Framing, SequenceRows) {
  struct Row {
    const char* name;
    std::vector<int> seq;
    int check;
    unsigned gaps;
  };
  const Row rows[] = {
      {"7 then 0: no gap", {7, 0}, 1, 0},
      {"3 then 5: one gap", {3, 5}, 1, 1},
      {"3 then 3: one gap", {3, 3}, 1, 1},
      {"a full turn", {0, 1, 2, 3, 4, 5, 6, 7, 0, 1}, 1, 0},
      {"first message: nothing to compare", {5}, 1, 0},
      {"check off: 3 then 5 no gap", {3, 5}, 0, 0},
  };
  for (const Row& r : rows) {
    SetUp();
    RtcmSet.rtcmDec.seqCheck = static_cast<std::uint8_t>(r.check);
    Writer w;
    for (int s : r.seq) w.message({16, 9, 0, s, 0}, textWords("abc"));
    feed(w.bytes());
    EXPECT_EQ(dec.getStatus().seqGaps, r.gaps) << r.name;
    EXPECT_EQ(dec.getStatus().messages, r.seq.size()) << r.name;
  }
}

// Health 7 rejects, 6 rejects unless "usenm" is on; text is delivered whatever the health.
TEST_F(Rtcm2Framing, HealthRows) {
  struct Row {
    int health, useNm, type;
    bool delivered;
  };
  const Row rows[] = {
      {0, 1, 16, true}, {5, 0, 16, true}, {6, 0, 16, true}, {7, 0, 16, true}, {6, 0, 36, true},
      {0, 0, 1, true},  {5, 0, 1, true},  {6, 0, 1, false}, {6, 1, 1, true},  {7, 1, 1, false},
  };
  for (const Row& r : rows) {
    SetUp();
    RtcmSet.rtcmDec.useNotMonitored = static_cast<std::uint8_t>(r.useNm);
    Writer w;
    if (r.type == 1) {
      Fields f;  // one satellite, PRN 4
      f.put(0, 1), f.put(0, 2), f.put(4, 5), f.putSigned(100, 16), f.putSigned(1, 8), f.put(7, 8);
      w.message({1, 12, 10, 0, r.health}, f.words());
    } else {
      w.message({r.type, 12, 10, 0, r.health}, textWords("hi!"));
    }
    feed(w.bytes());
    ASSERT_EQ(client.statuses.size(), 1u);
    bool got = !client.texts.empty();
    if (r.type == 1) {
      SvIdType id;
      svIdFromSatNumber(kSysGps, 4, id);
      RTCMData::SatCorrectionType c{};
      got = PVTDataInstance.rtcmSatCorrection[0].Take(&id, &c) != 0 && c.uStationId == 12;
      RTCMData::SourceStateDataType st{};
      if (got && PVTDataInstance.rtcmSourceState.Take(0, &st) != 0) {
        EXPECT_EQ(st.uFlags, r.health == 6 ? RTCMData::SourceStateDataType::kNotMonitored : 0);
      }
    }
    EXPECT_EQ(got, r.delivered) << "health " << r.health << " usenm " << r.useNm << " type " << r.type;
  }
}

TEST_F(Rtcm2Framing, TheNineteenthMessageOverwritesTheFirstRingEntry) {
  uRtcmMessageWriteIndex = 0;
  Writer w(0, 1);
  for (int i = 0; i < 19; ++i) w.message({16, 100 + i, 0, i & 7, 0}, textWords(std::string(static_cast<std::size_t>(i % 4), 'q')));
  feed(w.bytes());
  ASSERT_EQ(client.statuses.size(), 19u);
  EXPECT_EQ(uRtcmMessageWriteIndex, 1u);
  EXPECT_EQ(RtcmMessageData[0].stationId, 118);  // the 19th
  EXPECT_EQ(RtcmMessageData[1].stationId, 101);  // the 2nd stays
  EXPECT_EQ(RtcmMessageData[17].stationId, 117);
  // 18 (i = 18): two 'q' -> one data word; its data bits hold the text, whatever the polarity sent.
  EXPECT_EQ(RtcmMessageData[0].wordCount, 3);
  EXPECT_EQ(RtcmMessageData[0].words[0] >> 6 & 0xFFFFFFu, 0x66u << 16 | 16u << 10 | 118u);
  EXPECT_EQ(RtcmMessageData[0].words[2] >> 6 & 0xFFFFFFu, 0x717100u);
}

TEST_F(Rtcm2Framing, ResetClearsTheFramingAndResetsTheClient) {
  Bytes b = twoTexts();
  feed(Bytes(b.begin(), b.begin() + 14));
  dec.reset();
  drv.state = 0;
  EXPECT_EQ(client.resets, 1);
  EXPECT_EQ(dec.cb.getCount(), 0);
  feed(Bytes(b.begin() + 14, b.end()));
  EXPECT_EQ(types(), std::vector<int>{16});  // the second message only
}

// The shared settings are the settings image's record: starting a decoder keeps what was loaded.
TEST_F(Rtcm2Framing, StartingADecoderKeepsTheLoadedSettings) {
  RtcmSet.rtcmDec.seqCheck = 0;
  RtcmSet.rtcmDec.refSource = RTCM_Decoder::kArp;
  RtcmSet.rtcmDec.maxAge = 77;
  dec.initDecoder(&client);
  EXPECT_EQ(std::tuple(RTCM_Decoder::Set.seqCheck, RTCM_Decoder::Set.refSource, RTCM_Decoder::Set.maxAge),
            std::tuple(0, RTCM_Decoder::kArp, 77));
  EXPECT_EQ(&RTCM_Decoder::Set, &RtcmSet.rtcmDec);
}

TEST_F(Rtcm2Framing, StatusIsFiledAsAnRtcm2StreamOfThePort) {
  RTCM_DEC_STATUS s{};
  s.header.stationId = 321;
  s.messages = 40;
  s.seqGaps = 2;
  s.quality = 90.0f;
  s.lastTime = 1234;
  s.latency = 150;
  s.epochPeriod.init();
  s.epochPeriod.period = 1000;
  s.epochPeriod.sys = 1;
  DecSt.putStatus(4, s);
  DecoderStatus::PortRecord r{};
  ASSERT_TRUE(DecSt.get(4, r));
  const DecoderStatus::DataStream& d = r.streams[0];
  EXPECT_EQ(std::tuple(r.mode, d.good, d.bad, d.quality, d.lastTime, d.station, d.latency, d.period[1]),
            std::tuple(0, 40, 2, 90.0f, 1234, 321, 150, 1000));
  EXPECT_EQ(s.epochPeriod.period, -1);  // filed
}

// Random bytes and random messages with good parity: nothing read outside the words, the ring
// or the records (the sanitizer build checks), nothing put for an identity the servers refuse.
TEST_F(Rtcm2Framing, RandomBytesAndRandomMessagesWithGoodParity) {
  std::mt19937 rng(20260);
  for (int round = 0; round < 40; ++round) {
    Bytes b(1 + rng() % 3000);
    for (std::uint8_t& x : b) x = static_cast<std::uint8_t>(rng());
    feed(b);
  }
  Writer w;
  int sent = 0;
  for (int round = 0; round < 3000; ++round) {
    const int n = static_cast<int>(rng() % 32);
    std::vector<std::uint32_t> data(static_cast<std::size_t>(n));
    for (std::uint32_t& d : data) d = rng() & 0xFFFFFFu;
    w.message({static_cast<int>(rng() % 64), static_cast<int>(rng() % 1024), static_cast<int>(rng() % 8192),
               static_cast<int>(rng() % 8), static_cast<int>(rng() % 8)},
              data);
    ++sent;
  }
  const unsigned before = dec.getStatus().messages;
  const Bytes all = w.bytes();
  for (std::size_t at = 0; at < all.size();) {
    const std::size_t k = std::min<std::size_t>(1 + rng() % 700, all.size() - at);
    feed(Bytes(all.begin() + static_cast<long>(at), all.begin() + static_cast<long>(at + k)));
    at += k;
  }
  // A preamble hidden in random data can swallow a following message: most still arrive.
  EXPECT_GE(dec.getStatus().messages - before, static_cast<unsigned>(sent * 9 / 10));
  EXPECT_LE(client.texts.size(), client.statuses.size());
}

TEST_F(Rtcm2Framing, EveryCutOfAStreamDecodesAPrefixOfItsMessages) {
  Writer w;
  for (int i = 0; i < 6; ++i) w.message({16, 7, 0, i, 0}, textWords(std::string(static_cast<std::size_t>(3 * i), 'z')));
  const Bytes all = w.bytes();
  for (std::size_t cut = 0; cut <= all.size(); ++cut) {
    SetUp();
    feed(Bytes(all.begin(), all.begin() + static_cast<long>(cut)));
    const std::size_t got = client.statuses.size();
    EXPECT_LE(got, 6u);
    for (std::size_t i = 0; i < got; ++i) EXPECT_EQ(static_cast<std::size_t>(client.texts[i].length), 3 * i) << "cut " << cut;
  }
}

}  // namespace
