// GBAS stream decoder: framing, checks, status and the road from a port in GBAS mode to the GBAS
// servers. Messages come from the independent encoder of unit/gbas_messages.h; the Type 1 message
// is ICAO Annex 10 Volume I Attachment D Table D-8's (see the positioning test for its CRC).
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "differential/decoder_status.h"
#include "differential/decoder_task.h"
#include "differential/gbas_decoder.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/gbas/gbas_data_decoder.h"
#include "positioning/raw_nav_rings.h"
#include "unit/gbas_messages.h"
#include "unit/differential/relay_links.h"

namespace {

using namespace gbastest;

constexpr std::uint32_t kNow = 349200000;

void setup(std::uint16_t format = 246, bool withTime = true) {
  PosSetup::CorrProcessorSetupType s;
  if (PVTDataInstance.corrProcessorSetup.Take(&s) == 0) PosSetup::setDefaults(s);
  std::memcpy(s.aBytes + GbasDecoder::kSetupFormatOffset, &format, sizeof format);
  PVTDataInstance.corrProcessorSetup.Put(&s);
  for (GbasDataDecoder& d : GbasDataDecoderInstance) d.init_Object(&PVTDataInstance);
  if (withTime) {
    PosData::RcvTimeDataType t{};
    t.ulTimeTag = 1000;
    t.gps.ulMs = kNow + 100500;
    t.gps.uStatus[0] = 1;
    PVTDataInstance.rcvTime.Put(&t);
  }
}

std::vector<std::uint8_t> tableD8Type1(int block = 170) {
  return frame(block, "BELL", 1, type1Body(1000, 3, 1, 0, 0, 0, 255, {{122, 2, 100, -200, 98, 2, 3, -5, -128}}));
}
// A type 5 message of any length 10..255 (the body is filler the framing does not read).
std::vector<std::uint8_t> typeOfLength(int len, int type = 5, int block = 170) {
  return frame(block, "LENG", type, std::vector<std::uint8_t>(static_cast<std::size_t>(len > 10 ? len - 10 : 0), 0x11), len);
}

void feed(GbasDecoder& d, const std::vector<std::uint8_t>& v, int port = 0) {
  d.process(v.data(), static_cast<int>(v.size()), port);
}

std::vector<std::uint8_t> cat(std::initializer_list<std::vector<std::uint8_t>> parts) {
  std::vector<std::uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(GbasDecoderFraming, LengthsTypesAndFormats) {
  struct Row { const char* what; std::uint16_t format; std::vector<std::uint8_t> bytes; int good, bad; };
  const std::vector<std::uint8_t> sync = tableD8Type1();  // a good message first: synchronised
  std::vector<std::uint8_t> badCrc = tableD8Type1();
  badCrc[10] ^= 0x01;
  const Row rows[] = {
      {"Table D-8 type 1", 246, sync, 1, 0},
      {"length 222 accepted", 246, cat({sync, typeOfLength(222)}), 2, 0},
      {"length 223 refused and counted once synchronised", 246, cat({sync, typeOfLength(223)}), 1, 1},
      {"length 223 before synchronisation not counted", 246, typeOfLength(223), 0, 0},
      {"length 10 accepted", 246, cat({sync, typeOfLength(10)}), 2, 0},
      {"length 9 refused uncounted", 246, cat({sync, typeOfLength(9)}), 1, 0},
      {"type 3 refused and counted", 246, cat({sync, typeOfLength(20, 3)}), 1, 1},
      {"types 2, 4, 6 and 101 pass", 246,
       cat({typeOfLength(20, 2), typeOfLength(20, 4), typeOfLength(20, 6), typeOfLength(20, 101)}), 4, 0},
      {"bad CRC counted", 246, cat({sync, badCrc, sync}), 2, 1},
      {"246 never decodes DO-217", 246, cat({tableD8Type1(153), tableD8Type1(153)}), 0, 0},
      {"217 decodes DO-217", 217, cat({tableD8Type1(153), tableD8Type1(170)}), 1, 0},
      {"DO-217 between DO-246 messages passed over uncounted", 246, cat({sync, tableD8Type1(153), sync}), 2, 0},
      {"no format, nothing", 0, cat({sync, sync}), 0, 0},
      {"a message behind 300 bytes of noise decoded at once", 246,
       cat({std::vector<std::uint8_t>(300, 0x12), sync}), 1, 0},
  };
  for (const Row& r : rows) {
    setup(r.format);
    GbasDecoder d;
    feed(d, r.bytes);
    EXPECT_EQ(d.status().messages, r.good) << r.what;
    EXPECT_EQ(d.status().errors, r.bad) << r.what;
  }
}

// Bytes arriving in pieces of any size give the same messages.
TEST(GbasDecoderFraming, SplitAnywhere) {
  setup();
  const std::vector<std::uint8_t> s = cat({tableD8Type1(), typeOfLength(100), tableD8Type1()});
  for (std::size_t cut = 0; cut <= s.size(); cut += 7) {
    GbasDecoder d;
    d.process(s.data(), static_cast<int>(cut), 0);
    d.process(s.data() + cut, static_cast<int>(s.size() - cut), 0);
    EXPECT_EQ(d.status().messages, 3) << cut;
  }
}

// A chunk of up to 1024 bytes (what a port hands over) is longer than the ring: it is decoded as
// the ring fills, nothing is lost.
TEST(GbasDecoderFraming, ChunkLongerThanTheRing) {
  setup();
  std::vector<std::uint8_t> chunk;
  while (chunk.size() + 222 <= 1024) chunk = cat({chunk, typeOfLength(222)});
  chunk = cat({chunk, std::vector<std::uint8_t>(1024 - chunk.size(), 0x00)});
  GbasDecoder d;
  feed(d, chunk);
  EXPECT_EQ(d.status().messages, 4);
  EXPECT_EQ(d.status().errors, 0);
}

TEST(GbasDecoderFraming, PortChangeAndResetEmptyTheRing) {
  setup();
  const std::vector<std::uint8_t> m = tableD8Type1();
  GbasDecoder d;
  d.process(m.data(), 20, 0);
  d.process(m.data() + 20, static_cast<int>(m.size()) - 20, 1);  // the rest on another port
  EXPECT_EQ(d.status().messages, 0);
  EXPECT_EQ(d.waiting(), 0);
  d.process(m.data(), 20, 1);
  d.reset();
  EXPECT_FALSE(d.synchronised());
  d.process(m.data() + 20, static_cast<int>(m.size()) - 20, 1);
  EXPECT_EQ(d.status().messages, 0);
  feed(d, m, 1);
  EXPECT_EQ(d.status().messages, 1);
  EXPECT_TRUE(d.synchronised());
  // A change of format empties the ring too.
  d.process(m.data(), 20, 1);
  setup(217);
  d.process(m.data() + 20, static_cast<int>(m.size()) - 20, 1);
  EXPECT_EQ(d.status().messages, 1);
}

TEST(GbasDecoderStatus, QualityCountsAndTheStatusTable) {
  setup();
  std::vector<std::uint8_t> bad = tableD8Type1();
  bad[12] ^= 0x40;
  GbasDecoder d;
  feed(d, tableD8Type1(), 3);
  EXPECT_FLOAT_EQ(d.status().quality, 100.0f);
  feed(d, bad, 3);
  EXPECT_NEAR(d.status().quality, 95.0f, 1e-4);
  feed(d, tableD8Type1(), 3);
  EXPECT_NEAR(d.status().quality, 95.25f, 1e-4);
  EXPECT_EQ(d.status().gbasId, idCode("BELL"));
  DecoderStatus::PortRecord r{};
  ASSERT_TRUE(DecSt.get(3, r));
  EXPECT_EQ(r.mode, DecoderStatus::kGbas);
  EXPECT_EQ(r.streams[0].good, 2);
  EXPECT_EQ(r.streams[0].bad, 1);
  EXPECT_EQ(r.streams[0].station, static_cast<std::int32_t>(idCode("BELL")));
}

// The raw message goes to the GBAS ring and the message to its station's decoder.
TEST(GbasDecoderRoad, RawRingAndServers) {
  setup();
  RawNavReader reader{};
  CorrData::GbasRawMessageType raw{};
  while (GbasRawMessageData.read(reader, raw)) {
  }
  GbasDecoder d;
  const std::vector<std::uint8_t> m = tableD8Type1();
  feed(d, m);
  ASSERT_TRUE(GbasRawMessageData.read(reader, raw));
  EXPECT_EQ(raw.uSv, 170);
  EXPECT_EQ(raw.ulTime, (kNow + 100500) / 1000);
  EXPECT_EQ(raw.uCount, 28);
  EXPECT_EQ(std::memcmp(raw.uData, m.data(), m.size()), 0);
  SvIdType sv;
  svIdFromSatNumber(kSysSbas, 122, sv);
  GBASData::DiffCorrectionType c;
  const int src = get_GbasDataDecoder(PosData::RcvTimeDataType{}, 170, idCode("BELL"))->number();
  ASSERT_TRUE(PVTDataInstance.gbasDiffCorrection[src].Take(&sv, &c));
  EXPECT_EQ(c.iPrc, 100);
}

// Through the correction-decoder road of a port in GBAS mode: relayed unchanged, decoded once.
TEST(GbasDecoderRoad, PortInGbasMode) {
  setup();
  static std::string board;
  board.clear();
  difftest::freeRelayLinks();
  decBoardSendHook = [](const void* p, int n) { board.append(static_cast<const char*>(p), static_cast<std::size_t>(n)); };
  InDecs::init();
  decRedirsModeChange(IOP_SER_B, InPort::M_GBAS);
  const int port = InPorts::io2dec_[IOP_SER_B];
  EXPECT_NE(board.find("imode,gbas"), std::string::npos);
  const std::vector<std::uint8_t> m = tableD8Type1();
  const std::uint32_t before = static_cast<std::uint32_t>(GbasDecoderInstance.status().messages);
  decProcess(InDecs::kGbas, static_cast<InPorts::DecPortIndex>(port), m.data(), static_cast<int>(m.size()));
  EXPECT_EQ(static_cast<std::uint32_t>(GbasDecoderInstance.status().messages), before + 1);
  DecoderStatus::PortRecord r{};
  DecSt.get(port, r);
  EXPECT_EQ(r.mode, DecoderStatus::kGbas);
  EXPECT_EQ(static_cast<std::uint32_t>(r.streams[0].good), before + 1);
}

// Random bytes with the block identifiers of both formats sprinkled in: no fault, and a good
// message afterwards is still found.
TEST(GbasDecoderRandom, TenMegabytesWithEmbeddedIdentifiers) {
  setup();
  std::mt19937 rng(54);
  GbasDecoder d;
  std::vector<std::uint8_t> chunk(1024);
  for (int n = 0; n < 10 * 1024; ++n) {
    for (auto& b : chunk) {
      const std::uint32_t r = rng();
      b = (r & 0x700) == 0 ? ((r & 0x800) ? 0x55 : 0x99) : static_cast<std::uint8_t>(r);
    }
    d.process(chunk.data(), static_cast<int>(rng() % 1025), static_cast<int>(rng() % 2));
  }
  const int before = d.status().messages;
  feed(d, cat({std::vector<std::uint8_t>(300, 0), tableD8Type1()}), 1);
  EXPECT_GE(d.status().messages, before + 1);
}

TEST(GbasDecoderRandom, TruncatedMessages) {
  setup();
  const std::vector<std::uint8_t> m = tableD8Type1();
  for (std::size_t n = 0; n < m.size(); ++n) {
    GbasDecoder d;
    d.process(m.data(), static_cast<int>(n), 0);
    EXPECT_EQ(d.status().messages, 0) << n;
    EXPECT_EQ(d.status().errors, 0) << n;
  }
}

}  // namespace
