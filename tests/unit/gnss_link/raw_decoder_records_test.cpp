// The raw decoder's messages and "@@" records: navigation words into the rings, the board's
// records into their destinations, and every count, index and length that does not fit refused.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "board_fake_link.h"
#include "gnss_link/board_settings_funcs.h"
#include "gnss_link/raw_records.h"
#include "gnss_link/slave_tasks.h"
#include "platform/misc_par.h"
#include "positioning/chan_data.h"
#include "positioning/raw_nav_rings.h"
#include "positioning/signal_tables.h"
#include "raw_test_util.h"

namespace {

using namespace rtest;

// The words of one message of the public GNSSTk vectors ("0x22C34D21/30 ...").
std::vector<std::uint32_t> gnsstkWords(const std::string& name) {
  std::ifstream in(std::string(RX_SHARED_DIR) + "/testdata/navmsg/gnsstk_nav_messages.csv");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(name + ",", 0) != 0) continue;
    const std::size_t end = line.rfind(',');
    const std::size_t start = line.rfind(',', end - 1);
    std::istringstream ws(line.substr(start + 1, end - start - 1));
    std::vector<std::uint32_t> words;
    std::string w;
    while (ws >> w) words.push_back(static_cast<std::uint32_t>(std::stoul(w.substr(0, w.find('/')), nullptr, 16)));
    return words;
  }
  return {};
}

BoardEpochPart& board() { return PVTDataInstance.epochData.GetPointer()->board; }

TEST(RawDecoderNavWords, GpsLnavSubframeLandsIntactAndTheEightiethInRecordZero) {
  const std::vector<std::uint32_t> w = gnsstkWords("ephLNAVGPSSF1");
  ASSERT_EQ(w.size(), 10u);
  ASSERT_EQ(w[0] >> 22, 0x8Bu);  // the TLM preamble: a real, upright subframe
  ASSERT_EQ((w[1] >> 8) & 7u, 1u);  // subframe ID 1 in the HOW
  RawFeed f;
  RawNavReader reader;
  f.put(wordsMsg("gd", 4, 6000, 0, w.data(), 10, 0));
  CorrData::GpsRawMessageType e{};
  ASSERT_TRUE(GpsRawMessageData.read(reader, e));
  EXPECT_EQ(e.uSv, 4);
  EXPECT_EQ(e.ulTime, 6000u);
  EXPECT_EQ(e.uKind, 0);
  EXPECT_EQ(e.uCount, 10);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(e.ulWords[i], w[static_cast<std::size_t>(i)]) << i;
  EXPECT_EQ(e.iValid, 0);
  // 79 more: the 80th message goes into record 0.
  for (int k = 1; k < 80; ++k) f.put(wordsMsg("gd", k % 32 + 1, 6000 + 6 * k, 0, w.data(), 10, 0));
  EXPECT_EQ(GpsRawMessageData.appended(), 80u);
  EXPECT_EQ(GpsRawMessageData.writeIndex(), 1u);
  RawNavReader at79;
  at79.ullNext = 79;
  ASSERT_TRUE(GpsRawMessageData.read(at79, e));
  EXPECT_EQ(e.uSv, 79 % 32 + 1);
  EXPECT_EQ(e.ulTime, 6000u + 6 * 79);
}

TEST(RawDecoderNavWords, WordFormsReachTheirRings) {
  const std::uint32_t w[3] = {0x11111111, 0x22222222, 0x33333333};
  RawFeed f;
  f.put(wordsMsg("qd", 193, 1, 2, w, 3) + wordsMsg("cd", 30, 2, 3, w, 3) + wordsMsg("id", 5, 3, 4, w, 3));
  EXPECT_EQ(QzssRawMessageData.appended(), 1u);
  EXPECT_EQ(CompRawMessageData.appended(), 1u);
  EXPECT_EQ(IrnssRawMessageData.appended(), 1u);
  RawNavReader r;
  CorrData::CmpRawMessageType e{};
  ASSERT_TRUE(CompRawMessageData.read(r, e));
  EXPECT_EQ(e.uSv, 30);
  EXPECT_EQ(e.ulWords[2], 0x33333333u);
}

TEST(RawDecoderNavWords, GlonassFrequencyNumberAndKind) {
  const struct {
    int freq;
    int kind;
    bool stored;
  } cases[] = {{-8, 0, false}, {-7, 0, true}, {0, 0, true}, {6, 0, true}, {7, 0, false}, {3, 1, false}};
  const std::uint32_t w[2] = {0xABCDEF01, 0x12345678};
  std::uint64_t before = 0;
  RawFeed f;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.freq);
    std::string b = le(9, 1) + le(static_cast<std::uint8_t>(c.freq), 1) + le(100, 4) + le(c.kind, 1) + le(2, 1) +
                    le(w[0], 4) + le(w[1], 4) + le(0, 1);
    f.put(ntest::frame("lD", b));
    const std::uint64_t now = GloRawMessageData.appended();
    EXPECT_EQ(now - before, c.stored ? 1u : 0u);
    if (c.stored) {
      RawNavReader r;
      r.ullNext = now - 1;
      CorrData::GloRawMessageType e{};
      ASSERT_TRUE(GloRawMessageData.read(r, e));
      EXPECT_EQ(e.iFreq, c.freq);
      EXPECT_EQ(e.ulWords[1], w[1]);
    }
    before = now;
  }
  EXPECT_EQ(f.raw->counters().gloFreqRefused, 2u);
}

TEST(RawDecoderNavWords, ByteFormsAndCountsThatDoNotFit) {
  const std::uint32_t w[29] = {};
  RawFeed f;
  std::string galBody = le(11, 1) + le(7, 4) + le(1, 1) + le(16, 1) + std::string(16, 'x') + le(0, 1);
  f.put(ntest::frame("ED", galBody) + ntest::frame("WD", galBody) + ntest::frame("xd", galBody));
  EXPECT_EQ(GalRawMessageData.appended(), 1u);
  EXPECT_EQ(WaasRawMessageData.appended(), 1u);
  EXPECT_EQ(LexRawMessageData.appended(), 1u);

  const struct {
    const char* name;
    std::string msg;
  } refused[] = {
      {"29 words: more than the ring record holds", wordsMsg("gd", 1, 0, 0, w, 29)},
      {"count 10, body of 9 words", wordsMsg("gd", 1, 0, 0, w, 9, 0, 10)},
      {"count 255, body of 2 words", wordsMsg("gd", 1, 0, 0, w, 2, 0, 255)},
      {"bytes: count 200, body of 16",
       ntest::frame("ED", le(11, 1) + le(7, 4) + le(1, 1) + le(200, 1) + std::string(16, 'x') + le(0, 1))},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.name);
    const std::uint32_t dropped = f.raw->counters().navDropped;
    f.put(c.msg);
    EXPECT_EQ(f.raw->counters().navDropped, dropped + 1);
  }
  EXPECT_EQ(GpsRawMessageData.appended(), 0u);
  EXPECT_EQ(GalRawMessageData.appended(), 1u);
  // Bodies of 9 bytes or fewer carry nothing and are not counted.
  f.put(ntest::frame("gd", std::string(8, '\0')));
  EXPECT_EQ(f.raw->counters().navDropped, 4u);
}

TEST(RawDecoderMessages, RtcmBlocksOfTheLbandService) {
  RawFeed f;
  const struct {
    int length;
    int sent;
    bool stored;
  } cases[] = {{200, 200, true}, {201, 201, false}, {50, 10, false}, {0, 0, true}};
  int stored = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    f.put(ntest::frame("Rb", le(c.length, 2) + le(1005, 2) + std::string(c.sent, 'r')));
    stored += c.stored;
    EXPECT_EQ(uTSRtcmMessageWriteIndex, static_cast<std::uint32_t>(stored % kTSRtcmMessages));
  }
  EXPECT_EQ(TSRtcmMessageData[0].uLength, 200);
  EXPECT_EQ(TSRtcmMessageData[0].uNumber, 1005);
  EXPECT_EQ(TSRtcmMessageData[0].uData[199], 'r');
  EXPECT_EQ(f.raw->counters().miscDropped, 2u);
}

TEST(RawDecoderMessages, SpectrumIndexesAndHeader) {
  RawFeed f;
  auto sp = [](std::uint32_t first, int n, int sent, const std::string& tail = "") {
    std::string b = le(first, 4) + le(3, 1) + le(0, 1) + le(static_cast<std::uint16_t>(n), 2);
    for (int i = 0; i < sent; ++i) b += le(1000 + i, 2);
    return ntest::frame("Sp", b + tail);
  };
  f.put(sp(32760, 8, 8));
  EXPECT_EQ(spectrumOut.uSample[32767], 1007);
  const std::uint32_t before = f.raw->counters().miscDropped;
  f.put(sp(32760, 9, 9));   // past the array
  f.put(sp(0, -1, 0));      // negative count
  f.put(sp(0, 20, 10));     // past the message
  f.put(sp(40000, 0, 0));   // first index outside the array
  EXPECT_EQ(f.raw->counters().miscDropped, before + 4);
  EXPECT_EQ(spectrumOut.ulHeaders, 0u);
  std::string header = le(1575420, 4) + le(10, 4) + le(4096, 4) + le(1, 4) + le(2, 4) + le(777, 4) +
                       std::string(8, 'h') + le(1, 1);
  f.put(sp(0, 0, 0, header));
  EXPECT_EQ(spectrumOut.ulHeaders, 1u);
  EXPECT_EQ(spectrumOut.header.ulStartFrq, 1575420u);
  EXPECT_EQ(spectrumOut.header.ulTimeTag, 777u);
  EXPECT_EQ(spectrumOut.header.uAntenna, 1);
  EXPECT_EQ(spectrumOut.header.uNameId, 3);
  EXPECT_EQ(spectrumOut.bTakenByMaster, 1);
}

TEST(RawDecoderMessages, IqBuffersSignalLevelsAndReference) {
  RawFeed f;
  f.put(ntest::frame("IQ", le(0, 1) + le(2, 1) + le(1, 1) + le(3, 1) + le(0x1234, 2) + le(0xFFFE, 2)));
  EXPECT_EQ(iqBuffers[1].write, 2);
  EXPECT_EQ(iqBuffers[1].iSample[1], -2);
  EXPECT_EQ(iqBuffers[1].bPairs, 1);
  f.put(ntest::frame("IQ", le(0, 1) + le(2, 1) + le(1, 1) + le(8, 1) + le(1, 2)));  // buffer 4
  EXPECT_EQ(f.raw->counters().miscDropped, 1u);

  f.put(ntest::frame("sj", le(0, 1) + le(1, 1) + le(40, 2) + le(41, 2) + le(99, 4)));
  EXPECT_EQ(sigLevels.uLevel[0][1][1], 41);
  EXPECT_EQ(sigLevels.ulTag[0][1], 99u);
  f.put(ntest::frame("sj", le(7, 1) + le(1, 1) + le(40, 2) + le(41, 2) + le(99, 4)));  // system 7
  f.put(ntest::frame("sj", le(4, 1) + le(0, 1) + std::string(2 * 8, '\1') + le(1, 4)));  // 8 QZSS values
  EXPECT_EQ(f.raw->counters().miscDropped, 3u);
  for (int i = 0; i < 12; ++i) f.put(ntest::frame("sj", le(2, 1) + le(0, 1) + le(5, 2) + le(6, 2) + le(1, 4)));
  EXPECT_EQ(sigLevels.uLevel[0][1][1], 0);  // GPS not updated for 12 rounds: cleared
  EXPECT_EQ(sigLevels.uLevel[2][0][1], 6);

  f.put(ntest::frame("Ri", lef(1.f) + lef(2.f) + lef(3.f) + lef(4.f) + le(5, 2)));
  EXPECT_EQ(board().ri.bReceived, 1);
  EXPECT_EQ(board().ri.fValue[3], 4.f);
  EXPECT_EQ(board().ri.uWord, 5);
}

TEST(RawDecoderMessages, ReferenceSatellitesMappedAndBounded) {
  RawFeed f;
  auto rm = [](int n, int sent) {
    std::string b = le(1, 1) + le(2, 1) + le(0, 1) + le(3, 1) + lef(0.5f) + lef(0.25f) + le(n, 1);
    const int sats[] = {37, 38, 71, 120, 193, 211};
    for (int i = 0; i < sent; ++i) b += le(sats[i % 6], 1);
    return ntest::frame("Rm", b);
  };
  f.put(rm(6, 6));
  const RmDataType& r = board().rm;
  ASSERT_EQ(r.bReceived, 1);
  ASSERT_EQ(r.uCount, 6);
  const std::uint16_t want[] = {37, 193, 300, 400, 500, 600};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(r.uSat[i], want[i]) << i;
  f.put(rm(65, 65));  // more than the record holds
  f.put(rm(10, 4));   // more than the message holds
  EXPECT_EQ(f.raw->counters().miscDropped, 2u);
  EXPECT_EQ(board().rm.uCount, 6);
}

TEST(RawDecoderMessages, HardwareCalibration) {
  RawFeed f;
  auto entries = [](int band0) {
    std::string b;
    for (int i = 0; i < 15; ++i) {
      b += le(static_cast<std::uint8_t>(i == 0 ? band0 : i), 1) + lef(i == 2 ? NAN : 0.5f * i) + lef(-1.f * i);
    }
    return b;
  };
  std::string pairs;
  for (int k = 0; k < 8; ++k) pairs += le(k == 1 ? 0 : k + 1, 2) + le(k == 1 ? 0 : 100 + k, 2);
  f.put(ntest::frame("gC", entries(0) + pairs + le(static_cast<std::uint16_t>(-9), 2)));
  EXPECT_EQ(hwCalib.common[3].fA, 1.5f);
  EXPECT_EQ(hwCalib.common[2].bSetA, 0);  // NaN is not stored
  EXPECT_EQ(hwCalib.common[2].bSetB, 1);
  EXPECT_EQ(hwCalib.bPairSet[0][1], 0);  // both zero
  EXPECT_EQ(hwCalib.iPair[1][3][1], 107);
  EXPECT_EQ(hwCalib.iFinal, -9);
  f.put(ntest::frame("g2", entries(70)));  // band 70 is outside the tables
  EXPECT_EQ(f.raw->counters().miscDropped, 1u);
  EXPECT_EQ(hwCalib.bySystem[2][5].fB, -5.f);
  f.put(ntest::frame("g1", entries(0).substr(0, 100)));  // short
  EXPECT_EQ(f.raw->counters().miscDropped, 2u);
  f.put(ntest::frame("gR", le(4, 1) + le(0, 1) + lef(2.5f) + le(4, 1) + le(1, 1) + lef(0.f) + le(200, 1) + le(0, 1) +
                               lef(1.f)));
  EXPECT_EQ(hwCalib.fR[0][4], -2.5f);
  EXPECT_EQ(hwCalib.bRSet[1][4], 0);
  EXPECT_EQ(f.raw->counters().miscDropped, 3u);
}

// ---- "@@" records ----------------------------------------------------------------------------

TEST(RawDecoderRecords, PowerReadingsInHundredths) {
  RawFeed f;
  std::string data;
  for (int i = 0; i < 25; ++i) data += le(static_cast<std::uint16_t>(i == 24 ? -1234 : 100 * i + 7), 2);
  f.put(s2m(rec(1, data)));
  EXPECT_FLOAT_EQ(miscPar[23].load(), 0.07f);
  EXPECT_FLOAT_EQ(miscPar[24].load(), 1.07f);
  EXPECT_FLOAT_EQ(miscPar[30].load(), 2.07f);
  EXPECT_FLOAT_EQ(miscPar[90].load(), 7.07f);
  EXPECT_FLOAT_EQ(miscPar[102].load(), -12.34f);
  testing::internal::CaptureStderr();
  f.put(s2m(rec(1, data.substr(0, 48))));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "$$ @@Pwr: ERROR: len=48 != 50\n");
}

TEST(RawDecoderRecords, ContainerOrderAndBounds) {
  RawFeed f;
  std::string pwr;
  for (int i = 0; i < 25; ++i) pwr += le(500, 2);
  std::string once = le(3, 1) + le(1234, 2) + le(1, 1);
  // A power record goes on to the next record; a SatData record ends the container.
  f.put(s2m(rec(99, "zz") + rec(1, pwr) + rec(7, le(15, 1) + le(0, 1)) + rec(16, once)));
  EXPECT_FLOAT_EQ(miscPar[23].load(), 5.f);
  EXPECT_EQ(getUseNT(), 0);
  // A length beyond the rest stops the container.
  f.put(s2m(std::string("\x10", 1) + le(100, 2) + once));
  EXPECT_EQ(f.raw->counters().containerCut, 1u);
  EXPECT_EQ(getUseNT(), 0);
  // Length 0: the rest of the body.
  FakeBoard link;
  f.put(s2m(std::string("\x10\x00\x00", 3) + once));
  EXPECT_EQ(getUseNT(), 1);
  EXPECT_EQ(link.out.written, "dm,,zrt/@@once\n");
}

TEST(RawDecoderRecords, SatDataRecordSizes) {
  const struct {
    int recSize;
    int count;
    int extraBytes;  // bytes appended after the entries
    int decoded;
    const char* text;
  } cases[] = {
      {15, 3, 0, 3, ""},
      {17, 3, 0, 3, "$$ @@SatData: WARNING: rest=2 > 0\n"},
      {14, 3, 0, 0, "$$ @@SatData: ERROR: recSize=14 actualSize=15\n"},
      {15, 4, -15, 3, "$$ @@SatData: ERROR: offs=47 len=47 after [3] of 4\n"},
      {15, 2, 1, 2, "$$ @@SatData: ERROR: got=32 != 33\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.recSize);
    RawFeed f;
    f.put(ntest::epochStart(kEpochTime));
    std::string d = le(c.recSize, 1) + le(c.count, 1);
    for (int i = 0; i < c.count; ++i) {
      std::string e = le(10 + i, 1) + le(0, 1) + le(20 + i, 1) + le(0, 2) + le(22, 1) + le(0, 1) + le(300 + i, 2) +
                      lef(0.5f);
      e.resize(static_cast<std::size_t>(c.recSize), '\x55');
      d += e;
    }
    if (c.extraBytes < 0) d.resize(d.size() + static_cast<std::size_t>(c.extraBytes));
    d += std::string(static_cast<std::size_t>(c.extraBytes > 0 ? c.extraBytes : 0), '\0');
    testing::internal::CaptureStderr();
    f.put(s2m(rec(7, d)));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.text);
    int decoded = 0;
    for (int i = 0; i < 4; ++i) decoded += board().chan[10 + i].uNumber == 300 + i;
    EXPECT_EQ(decoded, c.decoded);
    if (c.decoded) {
      EXPECT_EQ(board().chan[10].uSatState, 4);  // state 22: kind 4
      EXPECT_EQ(board().chan[10].uSatByte[1], 20);
      EXPECT_EQ(board().chan[10].pChan, &Cdat[10]);
    }
  }
}

TEST(RawDecoderRecords, ChannelsAndSlotsOutOfRangeAreRefused) {
  RawFeed f;
  f.put(ntest::epochStart(kEpochTime));
  // SatData: channel 182 refused, 181 kept.
  std::string sat = le(15, 1) + le(2, 1);
  for (int ch : {182, 181}) sat += le(ch, 1) + le(0, 4) + le(1, 1) + le(0, 1) + le(42, 2) + lef(0.f) + le(0, 2);
  f.put(s2m(rec(7, sat)));
  EXPECT_EQ(board().chan[181].uNumber, 42);
  // Channel states: channel 255 refused, 3 kept, a cut entry refused.
  std::string cs = le(0, 1) + le(3, 1) + le(1, 1);
  for (int ch : {255, 3}) cs += le(ch, 1) + le(1, 1) + le(2, 1) + le(3, 2) + le(4, 1) + le(5, 4) + le(6, 2) + le(7, 2);
  cs += le(4, 1) + le(1, 1);
  f.put(s2m(rec(10, cs)));
  EXPECT_EQ(board().chan[3].bInUse, 1);
  EXPECT_EQ(board().chan[3].uCs12, 7);
  EXPECT_EQ(board().chan[4].bInUse, 0);
  // Signals: slot 6 and channel 182 refused; entries with the optional words keep their
  // stride; an entry past the record's end stops the record.
  auto sig = [](int slot, int ch, std::uint32_t flags, std::uint32_t m0) {
    std::string e = le(slot, 1) + le(ch, 1) + le(flags, 4) + le(1, 4) + le(2, 4) + le(m0, 4) + std::string(28, '\0');
    if (flags & 4) e += le(0xAAAA, 4);
    if (flags & 8) e += le(0xBBBB, 4);
    return e;
  };
  std::string sm = le(0, 1) + le(6, 1) + sig(6, 3, 0, 1) + sig(0x80 | 2, 182, 12, 2) + sig(0x80 | 1, 3, 12, 3) +
                   sig(5, 181, 4, 4) + sig(0, 3, 0, 5).substr(0, 45);
  f.put(s2m(rec(11, sm)));
  const ZrtRawDecoder::Counters& k = f.raw->counters();
  EXPECT_EQ(k.chanRefused, 4u);  // SatData 182, states 255, slot 6, channel 182
  EXPECT_EQ(board().sig[3][1].ulM[0], 3u);
  EXPECT_EQ(board().sig[3][1].ulExtra[1], 0xBBBBu);
  EXPECT_EQ(board().sig[181][5].ulM[0], 4u);
  EXPECT_EQ(board().sig[181][5].ulExtra[0], 0xAAAAu);
  EXPECT_EQ(board().sig[3][0].bPresent, 0);
  EXPECT_EQ(board().uMeasCount, 2);
  EXPECT_EQ(k.recRefused, 2u);  // the cut channel state and the cut signal
}

TEST(RawDecoderRecords, SignalRatedFrequency) {
  RawFeed f;
  f.put(ntest::epochStart(kEpochTime));
  std::string sat = le(15, 1) + le(2, 1);
  sat += le(0, 1) + le(0, 1) + le(7, 1) + le(0, 2) + le(1, 1) + le(0, 1) + le(1, 2) + lef(0.f) + le(0, 2);  // GPS
  sat += le(1, 1) + le(9, 1) + le(7, 1) + le(0, 2) + le(1, 1) + le(0, 1) + le(1, 2) + lef(0.f) + le(0, 2);  // none
  f.put(s2m(rec(7, sat)));
  std::string sm = le(0, 1) + le(2, 1);
  for (int ch : {0, 1}) sm += le(0, 1) + le(ch, 1) + std::string(44, '\0');
  f.put(s2m(rec(11, sm)));
  EXPECT_EQ(board().sig[0][0].dFreq, get_SvRatedFrequency(0, 0, 7));
  EXPECT_EQ(board().sig[1][0].dFreq, 1.0);
}

TEST(RawDecoderRecords, PpsAndEventTags) {
  RawFeed f;
  std::string pps = le(1, 1);
  for (int i = 0; i < 3; ++i) pps += lef(0.25f * i) + lef(1.f) + le(1000 + i, 4) + le(i, 1);
  f.put(s2m(rec(6, pps)));
  EXPECT_EQ(ppsRing[1].count(), 3u);
  PpsTagType t{};
  ASSERT_TRUE(ppsRing[1].latest(0, t));
  EXPECT_EQ(t.ulTime, 1002u);
  pps[0] = 2;
  f.put(s2m(rec(6, pps)));
  EXPECT_EQ(ppsRing[0].count() + ppsRing[1].count(), 3u);
  std::string ev = le(0, 1) + le(5, 4) + le(6, 4) + le(7, 1) + le(1, 1);
  f.put(s2m(rec(14, ev)));
  EventTagType e{};
  ASSERT_TRUE(eventRing[0].latest(0, e));
  EXPECT_EQ(e.ulB, 6u);
  EXPECT_EQ(e.bLocked, 1);
}

TEST(RawDecoderRecords, SolutionsFieldByField) {
  RawFeed f;
  std::string aln(1453, '\0');
  aln[2] = 1;
  aln[88] = 0x44;                     // first word of the position record
  aln.replace(136, 2, "\x01\x02");    // flags of the first velocity block
  aln.replace(1123, 4, le(0xCAFE, 4));
  aln[1452] = 1;
  f.put(s2m(rec(4, aln)));
  const BoardSolAlnType& s = board().solAln;
  EXPECT_EQ(board().bSolAln, 1);
  EXPECT_EQ(s.uFlag2, 1);
  EXPECT_EQ(s.ulPos88[0][0], 0x44u);
  EXPECT_EQ(s.vel136[0].uFlag[1], 2);
  EXPECT_EQ(s.ul1123[0], 0xCAFEu);
  EXPECT_EQ(s.uFlag1452, 1);

  std::string rtk(870, '\0');
  rtk.replace(4, 4, le(3, 4));
  rtk[304] = 1;
  double a01 = 2.5, b01 = -7.0;
  std::string m;
  m.append(reinterpret_cast<const char*>(&a01), 8).append(reinterpret_cast<const char*>(&b01), 8);
  rtk.replace(435 + 16, 16, m);  // element (0, 1) of both matrices
  rtk[772 + 49] = 1;             // the second closing group's flag
  f.put(s2m(rec(5, rtk)));
  EXPECT_EQ(solution.lSolType, 3);
  EXPECT_EQ(solution.bHeadingAvailable, 1);
  EXPECT_EQ(solution.dSymA[1], 2.5);
  EXPECT_EQ(solution.dSymB[1], -7.0);
  EXPECT_EQ(solution.g772[1].uFlag, 1);

  // A new epoch empties the solution flags.
  f.put(ntest::epochStart(kEpochTime));
  EXPECT_EQ(board().bSolAln, 0);
  EXPECT_EQ(solution.lSolType, 0);
  EXPECT_EQ(solution.bHeadingAvailable, 0);

  testing::internal::CaptureStderr();
  f.put(s2m(rec(4, aln.substr(1))) + s2m(rec(5, rtk + "x")) + s2m(rec(13, std::string(861, '\0'))));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "$$ @@SolAln: ERROR: len=1452 != 1453\n$$ @@SolRtk: ERROR: len=871 != 870\n"
            "$$ @@TrstData: ERROR: len=861 != 862\n");
  EXPECT_EQ(board().bSolAln, 0);
  f.put(s2m(rec(13, std::string(862, '\0'))));
  EXPECT_EQ(f.raw->counters().recRefused, 3u);
}

TEST(RawDecoderRecords, TaskLoadReportAndRefusals) {
  RawFeed f;
  auto task = [](const char* name, int num, std::uint32_t a, std::uint32_t b, std::uint32_t c) {
    return std::string(name, 4) + le(num, 1) + le(a, 4) + le(b, 4) + le(c, 4);
  };
  f.put(s2m(rec(15, le(3, 1) + task("MEAS", 1, 100, 200, 300) + task("IDLE", 0, 5, 6, 7) +
                        task("NAV ", 12, 123456, 7, 8))));
  int n = 0;
  const SlaveTasks::Entry* t = SlaveTasks::startRead(n);
  const std::string second = t[1].name;
  SlaveTasks::endRead();
  EXPECT_EQ(n, 3);
  EXPECT_EQ(second, "IDLE");
  // 65 entries, correctly sized, are more than the table holds.
  std::string many = le(65, 1);
  for (int i = 0; i < 65; ++i) many += task("TASK", 1, 1, 2, 3);
  f.put(s2m(rec(15, many)));
  // A length that does not match its count.
  f.put(s2m(rec(15, le(2, 1) + task("ABCD", 1, 1, 2, 3))));
  SlaveTasks::startRead(n);
  SlaveTasks::endRead();
  EXPECT_EQ(n, 3);
  EXPECT_EQ(f.raw->counters().recRefused, 2u);
  f.put(s2m(rec(15, le(0, 1))));
  SlaveTasks::startRead(n);
  SlaveTasks::endRead();
  EXPECT_EQ(n, 0);
}

}  // namespace
