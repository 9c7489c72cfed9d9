// SISNeT stream decoder: packing, line rules, chunking, link statistics, the raw record and the
// road from a port in SISNeT mode. Lines come from the independent generator of sisnet_lines.h;
// the CRC it appends is checked here against the published CRC-24Q check value.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "differential/decoder_status.h"
#include "differential/decoder_task.h"
#include "differential/redirect.h"
#include "differential/sisnet_decoder.h"
#include "navigation_data/store/sat_data_store.h"
#include "platform/crc.h"
#include "platform/nv_block.h"
#include "platform/ram_nvm.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/pvt_engine.h"
#include "positioning/raw_nav_rings.h"
#include "positioning/sbas/sbas_data_decoder.h"
#include "unit/differential/sisnet_lines.h"
#include "unit/differential/relay_links.h"
#include "unit/platform/image_block.h"

namespace {

using namespace sisnettest;
using Text = SisnetDataDecoder::Text;

constexpr int kWeek = 1481;
constexpr int kTow = 108118;

void putTime(std::uint32_t ms, int week = kWeek, std::uint32_t tag = 5000) {
  PosData::RcvTimeDataType t{};
  t.ulTimeTag = tag;
  t.gps.ulMs = ms;
  t.gps.uWeek = static_cast<std::uint16_t>(week);
  t.gps.uStatus[0] = 1;
  PVTDataInstance.rcvTime.Put(&t);
}

void prepare() {
  NvBlock::resetLayout();
  RamNvm::blank();
  SbasDataDecoder::allocate_NvRamData();
  PVTEngineInstance.init_Object(&PVTDataInstance, &SatDataProcessorInstance);
  for (auto& s : PVTDataInstance.sbasSatCorrection) s.Init();
}

// MT1 with GPS PRNs 1..n in the mask and issue `iodp`, its parity appended.
Message mt1(int iodp, int n = 5) {
  Message m;
  m.week = kWeek;
  m.tow = kTow;
  m.b[0] = 0x53;
  for (int i = 0; i < 6; ++i) setBit(m.b, 8 + i, (1 >> (5 - i)) & 1);
  for (int p = 1; p <= n; ++p) setBit(m.b, 13 + p, 1);
  setBit(m.b, 224, (iodp >> 1) & 1);
  setBit(m.b, 225, iodp & 1);
  appendCrc(m.b);
  return m;
}

// A message whose first characters are `prefix` (hexadecimal), the rest a fixed pattern.
Message startingWith(const std::string& prefix) {
  Message m;
  for (int i = 0; i < 57; ++i) {
    const int nib = i < static_cast<int>(prefix.size()) ? std::stoi(prefix.substr(static_cast<std::size_t>(i), 1), nullptr, 16)
                                                        : (i * 7 + 3) % 16;
    m.b[i / 2] = static_cast<std::uint8_t>(m.b[i / 2] | nib << (i % 2 == 0 ? 4 : 0));
  }
  appendCrc(m.b);
  return m;
}

std::string full(const Message& m, const std::string& keyword = "*MSG") { return line(kWeek, kTow, m.b, keyword); }

class Sisnet : public ::testing::Test {
 protected:
  void SetUp() override {
    prepare();
    putTime(kTow * 1000u + 1500u);
  }
  void feed(const std::string& s, int port = 1) {
    dec_.process(reinterpret_cast<const std::uint8_t*>(s.data()), static_cast<int>(s.size()), port);
  }
  SisnetDataDecoder dec_;
};

TEST(SisnetCrc, PublishedCheckValue) {
  const auto* s = reinterpret_cast<const std::uint8_t*>("123456789");
  EXPECT_EQ(crc24q(0, s, 72), 0xCDE703u);
  EXPECT_EQ(crc24qBitwise(s, 72), 0xCDE703u);
}

// Each row: packed text (without '*'), the 63 characters it must stand for (empty: the row's
// expected refusal), the expected result.
TEST(SisnetUnpack, PackingRules) {
  struct Row {
    const char* what;
    std::string packedPrefix;
    std::string expandedPrefix;
    Text want;
  };
  const Row rows[] = {
      {"0|F is fifteen zeros", "0|F", std::string(15, '0'), Text::kOk},
      {"A/1B is twenty-seven A", "A/1B", std::string(27, 'A'), Text::kOk},
      {"A|1 is one A", "A|1", "A", Text::kOk},
      {"A|0 is one A", "A|0", "A", Text::kOk},
      {"A/00 is one A", "A/00", "A", Text::kOk},
      {"A/01 is one A", "A/01", "A", Text::kOk},
      {"lower-case digits", "a|3", "AAA", Text::kOk},
      {"counts one after another", "B|2C|2", "BBCC", Text::kOk},
      {"literal characters", "123", "123", Text::kOk},
      {"leading |", "|3", "", Text::kPacking},
      {"leading /", "/03", "", Text::kPacking},
      {"| after a count", "A|3|2", "", Text::kPacking},
      {"/ after a count", "A/1B/02", "", Text::kPacking},
      {"/ after a one-digit count", "A|3/02", "", Text::kPacking},
      {"non-hexadecimal character", "G", "", Text::kPacking},
      {"non-hexadecimal count", "A|G", "", Text::kPacking},
      {"two-digit count cut by a marker", "A/1|", "", Text::kPacking},
  };
  for (const Row& r : rows) {
    const Message m = startingWith(r.expandedPrefix.empty() ? "0" : r.expandedPrefix);
    const std::string chars = hex63(m.b);
    const std::string text = r.packedPrefix + chars.substr(r.expandedPrefix.size()) + "*" + checksum(m.b) + "\n";
    std::uint8_t out[32];
    EXPECT_EQ(SisnetDataDecoder::unpack(text.data(), text.data() + text.size(), out), r.want) << r.what;
    if (r.want == Text::kOk) {
      EXPECT_EQ(std::memcmp(out, m.b, 32), 0) << r.what;
    }
  }
}

TEST(SisnetUnpack, LengthChecksumAndParityRules) {
  const Message m = mt1(2);
  const std::string chars = hex63(m.b);
  const std::string cs = checksum(m.b);
  Message badCrc = m;
  badCrc.b[10] ^= 0x10;
  struct Row {
    const char* what;
    std::string text;
    Text want;
  };
  const Row rows[] = {
      {"63 characters", chars + "*" + cs + "\n", Text::kOk},
      {"64 characters, the last unused", chars + "F*" + cs + "\n", Text::kOk},
      {"64 units", chars + "F*" + cs, Text::kOk},
      {"65 units without '*'", chars + "FF*" + cs + "\n", Text::kPacking},
      {"no '*' at all", chars + "\n", Text::kPacking},
      {"62 characters", chars.substr(0, 62) + "*" + cs + "\n", Text::kShort},
      {"63 zeros", "0/3F*00\n", Text::kOk},
      {"62 zeros", "0/3E*00\n", Text::kShort},
      {"copies past 64 dropped", "0/FF*00\n", Text::kOk},
      {"one checksum digit", chars + "*" + cs.substr(0, 1), Text::kPacking},
      {"checksum not hexadecimal", chars + "*X" + cs.substr(1) + "\n", Text::kPacking},
      {"checksum carriage return", chars + "*" + cs + "\r\n", Text::kOk},
      {"wrong checksum", chars + "*" + (cs == "00" ? "01" : "00") + "\n", Text::kChecksum},
      {"wrong parity, right checksum", hex63(badCrc.b) + "*" + checksum(badCrc.b) + "\n", Text::kCrc},
  };
  for (const Row& r : rows) {
    std::uint8_t out[32];
    EXPECT_EQ(SisnetDataDecoder::unpack(r.text.data(), r.text.data() + r.text.size(), out), r.want) << r.what;
  }
}

TEST_F(Sisnet, LineRules) {
  const Message m = mt1(1);
  const std::string good = full(m);
  const std::string text = pack(hex63(m.b)) + "*" + checksum(m.b) + "\n";
  Message badCrc = m;
  badCrc.b[7] ^= 0x01;
  const std::string badXor = good.substr(0, good.size() - 3) + (checksum(m.b) == "00" ? "01" : "00") + "\n";
  std::string padded100 = good.substr(0, good.size() - 1) + std::string(100 - good.size(), ' ') + "\n";
  std::string padded101 = good.substr(0, good.size() - 1) + std::string(101 - good.size(), ' ') + "\n";
  struct Row {
    const char* what;
    std::string bytes;
    int good, bad;
  };
  const Row rows[] = {
      {"*MSG", good, 1, 0},
      {"*GETMSG", full(m, "*GETMSG"), 1, 0},
      {"six-digit time of week", "*MSG,1481,604799," + text, 1, 0},
      {"time of week 604800", "*MSG,1481,604800," + text, 0, 1},
      {"seven-digit time of week", "*MSG,1481,0108118," + text, 0, 1},
      {"four-digit week", "*MSG,9999,108118," + text, 1, 0},
      {"five-digit week", "*MSG,01481,108118," + text, 0, 1},
      {"week not decimal", "*MSG,14a1,108118," + text, 0, 1},
      {"time of week signed", "*MSG,1481,+108118," + text, 0, 1},
      {"empty time of week", "*MSG,1481,," + text, 0, 1},
      {"no text field", "*MSG,1481,108118\n", 0, 1},
      {"another reply", "*ERR,1\n", 0, 0},
      {"keyword of nine characters", "*GETMSGXX,1481,108118," + text, 0, 0},
      {"keyword of ten characters", "*GETMSGXXX,1481,108118," + text, 0, 1},
      {"wrong XOR", badXor, 0, 1},
      {"wrong CRC", line(kWeek, kTow, badCrc.b), 0, 1},
      {"short text", "*MSG,1481,108118," + hex63(m.b).substr(0, 60) + "*" + checksum(m.b) + "\n", 0, 1},
      {"line of 100 bytes", padded100, 1, 0},
      {"line of 101 bytes", padded101, 0, 1},
      {"100 bytes without a line feed, then a line", "*MSG," + std::string(120, '1') + "\n" + good, 1, 1},
      {"two lines back to back", good + good, 2, 0},
      {"three lines back to back", good + good + good, 3, 0},
      {"bad line then good line", badXor + good, 1, 1},
      {"'*' not at a line start", "xy" + good, 0, 0},
      {"noise line then a line", "hello\n" + good, 1, 0},
      {"CR LF line ends", good.substr(0, good.size() - 1) + "\r\n" + good, 2, 0},
  };
  for (const Row& r : rows) {
    dec_.reset();
    feed(r.bytes);
    EXPECT_EQ(dec_.status().messages, r.good) << r.what;
    EXPECT_EQ(dec_.status().errors, r.bad) << r.what;
  }
}

TEST_F(Sisnet, FirstLineAfterResetDecoded) {
  const std::string good = full(mt1(1));
  feed(good + good.substr(0, 30));
  ASSERT_EQ(dec_.status().messages, 1);
  dec_.reset();
  EXPECT_EQ(dec_.status().messages, 0);
  EXPECT_EQ(dec_.status().quality, 100.0f);
  EXPECT_EQ(dec_.waiting(), 0);
  feed(good);
  EXPECT_EQ(dec_.status().messages, 1);
  EXPECT_EQ(dec_.status().errors, 0);
}

TEST_F(Sisnet, LineSplitAtEveryPosition) {
  const std::string good = full(mt1(3));
  const std::string two = good + good;
  for (std::size_t k = 0; k <= two.size(); ++k) {
    dec_.reset();
    feed(two.substr(0, k));
    feed(two.substr(k));
    EXPECT_EQ(dec_.status().messages, 2) << "split at " << k;
    EXPECT_EQ(dec_.status().errors, 0) << "split at " << k;
    EXPECT_EQ(dec_.waiting(), 0) << "split at " << k;
  }
}

TEST_F(Sisnet, ChunksLongerThanTheRing) {
  const std::string good = full(mt1(0));  // unpacked would be longer; packed is what servers send
  std::string twelve(1024 - 12 * good.size(), ' ');
  twelve.back() = '\n';
  for (int i = 0; i < 12; ++i) twelve += good;
  ASSERT_EQ(twelve.size(), 1024u);
  struct Row {
    const char* what;
    std::string bytes;
    int lines;
  };
  const Row rows[] = {
      {"three lines, over 199 bytes", good + good + good, 3},
      {"twelve lines in 1024 bytes", twelve, 12},
      {"forty lines", [&] {
         std::string s;
         for (int i = 0; i < 40; ++i) s += good;
         return s;
       }(), 40},
  };
  for (const Row& r : rows) {
    dec_.reset();
    feed(r.bytes);
    EXPECT_EQ(dec_.status().messages, r.lines) << r.what;
    EXPECT_EQ(dec_.status().errors, 0) << r.what;
  }
  // Unpacked lines (every character literal) too.
  const Message m = mt1(0);
  const std::string literal = hex63(m.b);
  const std::string l = line(kWeek, kTow, m.b, "*MSG", &literal);
  std::string s;
  for (int i = 0; i < 12; ++i) s += l;
  dec_.reset();
  feed(s);
  EXPECT_EQ(dec_.status().messages, 12);
}

TEST_F(Sisnet, QualityAndCounts) {
  const std::string good = full(mt1(1));
  const std::string bad = "*MSG,1\n";
  struct Row {
    int errors, goods;
  };
  const Row rows[] = {{0, 3}, {1, 1}, {5, 4}, {20, 10}, {60, 30}};
  for (const Row& r : rows) {
    dec_.reset();
    double q = 100.0;
    for (int i = 0; i < r.errors; ++i) {
      feed(bad);
      q *= 0.95;
      EXPECT_NEAR(dec_.status().quality, q, 1e-3) << r.errors << " errors, after " << i + 1;
    }
    for (int i = 0; i < r.goods; ++i) {
      const double before = dec_.status().quality;
      feed(good);
      q += (100.0 - q) * 0.05;
      EXPECT_NEAR(dec_.status().quality, q, 1e-3) << r.errors << " errors, good " << i + 1;
      EXPECT_NEAR(dec_.status().quality - before, (100.0 - before) * 0.05, 1e-3);
    }
    EXPECT_EQ(dec_.status().errors, r.errors);
    EXPECT_EQ(dec_.status().messages, r.goods);
  }
}

TEST_F(Sisnet, CountsWrapAfter999999) {
  // Errors and messages from short lines: the all-zero message is a valid one (checksum and parity 0).
  const std::string zero = "*MSG,1481,108118,0/3F*00\n";
  const std::string bad = "*MSG,1\n";
  auto many = [&](const std::string& l, int n) {
    std::string chunk;
    while (chunk.size() + l.size() <= 1024) chunk += l;
    const int per = static_cast<int>(chunk.size() / l.size());
    for (int done = 0; done < n;) {
      const int k = std::min(per, n - done);
      feed(chunk.substr(0, static_cast<std::size_t>(k) * l.size()));
      done += k;
    }
  };
  many(bad, 999998);
  EXPECT_EQ(dec_.status().errors, 999998);
  many(bad, 1);
  EXPECT_EQ(dec_.status().errors, 999999);
  many(bad, 1);
  EXPECT_EQ(dec_.status().errors, 1);
  many(zero, 999999);
  EXPECT_EQ(dec_.status().messages, 999999);
  many(zero, 2);
  EXPECT_EQ(dec_.status().messages, 2);
}

TEST_F(Sisnet, StatusFiledForThePortEvenWithNothingToDo) {
  feed("", 3);
  DecoderStatus::PortRecord r{};
  ASSERT_TRUE(DecSt.get(3, r));
  EXPECT_EQ(r.mode, DecoderStatus::kSisnet);
  EXPECT_EQ(r.streams[0].good, 0);
  EXPECT_EQ(r.streams[0].quality, 100.0f);
  const std::string good = full(mt1(1));
  feed(good + "*MSG,1\n" + good, 4);
  ASSERT_TRUE(DecSt.get(4, r));
  EXPECT_EQ(r.mode, DecoderStatus::kSisnet);
  EXPECT_EQ(r.streams[0].good, 2);
  EXPECT_EQ(r.streams[0].bad, 1);
  EXPECT_EQ(r.streams[0].station, 0);
  EXPECT_FLOAT_EQ(r.streams[0].quality, dec_.status().quality);
  EXPECT_EQ(static_cast<std::uint32_t>(r.streams[0].lastTime), dec_.status().lastTime);
  EXPECT_NE(r.streams[0].lastTime, 0);
}

// The message dates itself: the SBAS decoder sees the message's week and time of week, whatever
// the receiver's time; the raw ring gets the message once, not to be decoded again.
TEST_F(Sisnet, RawRecordAndMessageDate) {
  struct Row {
    const char* what;
    std::uint32_t rcvMs;
    int rcvWeek;
    int week, tow;
  };
  const Row rows[] = {
      {"receiver 1.5 s later", kTow * 1000u + 1500u, kWeek, kWeek, kTow},
      {"receiver a week later", kTow * 1000u, kWeek + 1, kWeek, kTow},
      {"message at the end of its week, receiver in the next", 2000u, kWeek + 1, kWeek, 604799},
      {"message in the next week, receiver at the end of this one", 604799000u, kWeek, kWeek + 1, 5},
  };
  int iodp = 0;
  for (const Row& r : rows) {
    prepare();
    putTime(r.rcvMs, r.rcvWeek);
    iodp = (iodp + 1) % 4;
    const Message m = mt1(iodp);
    const std::uint64_t before = WaasRawMessageData.appended();
    dec_.reset();
    feed(line(r.week, r.tow, m.b));
    ASSERT_EQ(dec_.status().messages, 1) << r.what;
    ASSERT_EQ(WaasRawMessageData.appended(), before + 1) << r.what;
    RawNavReader reader{before, 0};
    CorrData::WaasRawMessageType e{};
    ASSERT_TRUE(WaasRawMessageData.read(reader, e)) << r.what;
    EXPECT_EQ(e.uSv, 148) << r.what;
    EXPECT_EQ(e.ulTime, static_cast<std::uint32_t>(r.tow)) << r.what;
    EXPECT_EQ(e.uKind, 0) << r.what;
    EXPECT_EQ(e.uCount, 32) << r.what;
    EXPECT_EQ(std::memcmp(e.uData, m.b, 32), 0) << r.what;
    EXPECT_LT(e.iValid, 0) << r.what;
    // The source state of the pseudo source: PRN 148, tagged at the message's time less the delay.
    SBASData::SourceStateDataType st{};
    int inst = -1;
    for (int i = 0; i < SbasDataDecoder::kPoolSize; ++i)
      if (SbasDataDecoderInstance[i].source().si == 28 && SbasDataDecoderInstance[i].source().sys == kSysSbas) inst = i;
    ASSERT_GE(inst, 0) << r.what;
    ASSERT_NE(PVTDataInstance.sbasSourceState.Take(inst, &st), 0) << r.what;
    EXPECT_EQ(st.uPrn, 148) << r.what;
    EXPECT_EQ(st.ulTime >> 1, static_cast<std::uint32_t>(r.tow) * 1000u - 1130u) << r.what;
    const std::uint32_t seen = st.ulMessages;
    // Block 284 holds the mask with the message's week.
    std::uint8_t blk[72];
    ASSERT_TRUE(imagetest::readImageBlock(284, blk, sizeof blk));
    const std::uint8_t* rec = blk + 36 * SbasDataDecoderInstance[inst].iodpEntry(0).uMask;
    EXPECT_EQ(rec[0], iodp) << r.what;
    EXPECT_EQ(rec[2] | rec[3] << 8, r.week) << r.what;
    EXPECT_EQ(rec[8 + 3], 0xF8) << r.what;  // PRNs 1..5, the first mask word little-endian
    // The ring's reader passes the entry over: the source saw one message.
    PVTEngineInstance.update_RawNavDataFromBoardDec();
    ASSERT_NE(PVTDataInstance.sbasSourceState.Take(inst, &st), 0);
    EXPECT_EQ(st.ulMessages, seen) << r.what;
  }
}

TEST(SisnetNoTime, LineWithoutReceiverTimeIsPassedOverUncounted) {
  prepare();
  PosData::RcvTimeDataType none;
  PVTDataInstance.rcvTime.Get(&none);  // takes the record out: no receiver time
  SisnetDataDecoder d;
  const Message m = mt1(1);
  const std::string good = full(m);
  d.process(reinterpret_cast<const std::uint8_t*>(good.data()), static_cast<int>(good.size()), 0);
  EXPECT_EQ(d.status().messages, 0);
  EXPECT_EQ(d.status().errors, 0);
  EXPECT_EQ(d.waiting(), 0);
  putTime(kTow * 1000u);
  d.process(reinterpret_cast<const std::uint8_t*>(good.data()), static_cast<int>(good.size()), 0);
  EXPECT_EQ(d.status().messages, 1);
  EXPECT_EQ(d.status().errors, 0);
}

// Random bytes with line starts, keywords and good lines sprinkled in: no fault, the ring never
// holds more than one line's worth, and a good line after it all decodes.
TEST_F(Sisnet, RandomAndTruncatedInput) {
  const std::string good = full(mt1(2));
  std::mt19937 rng(44);
  const char* pieces[] = {"*MSG,", "\n*MSG,", "\n*GETMSG,1481,", "|", "/", "*", "\n", ",108118,"};
  std::string noise;
  noise.reserve(10u << 20);
  while (noise.size() < (10u << 20)) {
    const std::uint32_t r = rng();
    if ((r & 0xF) == 0)
      noise += pieces[(r >> 4) % 8];
    else if ((r & 0x3FF) == 1)
      noise += "\n" + good.substr(0, (r >> 10) % good.size());  // truncated line
    else if ((r & 0x3FF) == 2)
      noise += "\n" + good;
    else
      noise += static_cast<char>(r >> 24);
  }
  for (std::size_t off = 0; off < noise.size(); off += 1024) {
    feed(noise.substr(off, 1024));
    ASSERT_LT(dec_.waiting(), SisnetDataDecoder::kLineSize) << off;
  }
  const int before = dec_.status().messages;
  EXPECT_GT(before, 0);
  feed("\n" + good);
  EXPECT_EQ(dec_.status().messages, before + 1);
  // Every truncation of a line (short of its line feed) followed by a good one.
  for (std::size_t k = 0; k + 1 < good.size(); ++k) {
    dec_.reset();
    feed(good.substr(0, k) + "\n" + good);
    EXPECT_EQ(dec_.status().messages, 1) << k << ": " << good.substr(0, k);
  }
}

// Through the correction-decoder road of a port in SISNeT mode: relayed unchanged, decoded once,
// status filed under the port; a reset of the port's input starts the statistics afresh.
TEST(SisnetRoad, PortInSisnetMode) {
  prepare();
  putTime(kTow * 1000u);
  static std::string board;
  board.clear();
  difftest::freeRelayLinks();
  decBoardSendHook = [](const void* p, int n) { board.append(static_cast<const char*>(p), static_cast<std::size_t>(n)); };
  InDecs::init();
  decRedirsModeChange(IOP_SER_B, InPort::M_SISNET);
  EXPECT_NE(board.find("imode,sisnet"), std::string::npos);
  const int port = InPorts::io2dec_[IOP_SER_B];
  const std::string good = full(mt1(1));
  for (int p = 0; p < InPorts::DEC_NUM; ++p) EXPECT_NE(InDecs::get(InDecs::kSisnet, p), nullptr) << p;
  decProcess(InDecs::kSisnet, static_cast<InPorts::DecPortIndex>(port), good.data(), static_cast<int>(good.size()));
  EXPECT_EQ(SisnetDataDecoderInstance.status().messages, 1);
  DecoderStatus::PortRecord r{};
  ASSERT_TRUE(DecSt.get(port, r));
  EXPECT_EQ(r.mode, DecoderStatus::kSisnet);
  EXPECT_EQ(r.streams[0].good, 1);
  InDecs::get(InDecs::kSisnet, port)->reset();
  EXPECT_EQ(SisnetDataDecoderInstance.status().messages, 0);
}

}  // namespace
