// GBAS message decoder and records. Published truth: ICAO Annex 10 Volume I, Attachment D 7.15.4,
// Table D-8 (a Type 1 message, "second of a linked pair", and a Type 2 message of station BELL):
// the field encodings and the Type 1 message block CRC 1011 0101 1101 0000 1011 1100 0101 0010
// as the table lists it (r32 first); its modified Z-count (1000, 100 s) is the one value that
// reproduces that CRC. The Type 2 ellipsoid height, its additional data block 1 and the Type 4
// approach data below are our own values: the encoder and the CRC of unit/gbas_messages.h are
// independent of the decoder.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "positioning/data_servers/pvt_data.h"
#include "positioning/gbas/gbas_data_decoder.h"
#include "positioning/gbas/gbas_dec_utility.h"
#include "unit/gbas_messages.h"

namespace {

using namespace gbastest;
using GBASData::DiffCorrectionType;

constexpr std::uint32_t kNow = 345600000 + 3600000;  // Thursday 01:00:00 GPS, ms of week

PosData::RcvTimeDataType rcvTime(std::uint32_t gpsMs, std::uint32_t tag = 1000, bool valid = true) {
  PosData::RcvTimeDataType t{};
  t.ulTimeTag = tag;
  t.gps.ulMs = gpsMs;
  t.gps.uStatus[0] = valid ? 1 : 0;
  return t;
}

void bindAll() {
  for (GbasDataDecoder& d : GbasDataDecoderInstance) d.init_Object(&PVTDataInstance);
}

// Hands a whole message to the decoder its station selects.
int feed(const std::vector<std::uint8_t>& m, const PosData::RcvTimeDataType& t) {
  const std::uint8_t block = GbasDecUtility::reverseByte(m[0]);
  const std::uint32_t id = GbasDecUtility::extract(m.data(), 8, 24);
  GbasDataDecoder* d = get_GbasDataDecoder(t, block, id);
  return d->update(t, id, block, m.data(), static_cast<int>(m.size()));
}

std::vector<std::uint8_t> tableD8Type1() {
  return frame(170, "BELL", 1, type1Body(1000, 3, 1, 0, 0, 0, 255, {{122, 2, 100, -200, 98, 2, 3, -5, -128}}));
}
const Station kBell{1, 1, 1, 232, 0, -7, 1, 20, 328864000, -672626000, 12345};
std::vector<std::uint8_t> tableD8Type2(const std::vector<int>& block1 = {5, 25, 34, 35, 36, 37}) {
  return frame(170, "BELL", 2, type2Body(kBell, block1));
}

DiffCorrectionType corrOf(int source, int system, int number) {
  SvIdType sv;
  EXPECT_TRUE(svIdFromSatNumber(system, number, sv));
  DiffCorrectionType r;
  r.init();
  PVTDataInstance.gbasDiffCorrection[source].Take(&sv, &r);
  return r;
}

std::uint32_t rev32(std::uint32_t v) {
  std::uint32_t r = 0;
  for (int i = 0; i < 32; ++i) r |= ((v >> i) & 1u) << (31 - i);
  return r;
}

TEST(GbasCrc, CheckValueAndTableD8Type1BlockCrc) {
  const char* digits = "123456789";
  EXPECT_EQ(GbasDecUtility::crc32q(reinterpret_cast<const std::uint8_t*>(digits), 9), 0x3010BF7Fu);
  const std::vector<std::uint8_t> m = tableD8Type1();
  ASSERT_EQ(m.size(), 28u);
  EXPECT_EQ(GbasDecUtility::crc32q(m.data(), 24), rev32(0xB5D0BC52u));
  char id[4];
  GbasDecUtility::gbasIdChars(GbasDecUtility::extract(m.data(), 8, 24), id);
  EXPECT_EQ(std::string(id, 4), "BELL");
}

TEST(GbasAlphabet, SixBitCodes) {
  const std::pair<int, int> rows[] = {{0, 0}, {1, 'A'}, {26, 'Z'}, {27, 0xFF}, {31, 0xFF}, {32, ' '}, {33, 0xFF},
                                      {47, 0xFF}, {48, '0'}, {57, '9'}, {58, 0xFF}, {63, 0xFF}};
  for (auto [code, ch] : rows) EXPECT_EQ(Alphabet5ToAsciiTable[code], ch) << code;
}

TEST(GbasDataDecoder, TableD8Type1Decodes) {
  bindAll();
  ASSERT_EQ(feed(tableD8Type1(), rcvTime(kNow + 100500)), 1);
  const int src = get_GbasDataDecoder(rcvTime(kNow), 170, idCode("BELL"))->number();
  const DiffCorrectionType r = corrOf(src, kSysSbas, 122);
  EXPECT_TRUE(r.is_ReadyDiffCorr(kNow + 100500));
  EXPECT_TRUE(r.uFlags & DiffCorrectionType::kCorrValid);
  EXPECT_EQ(r.uIod, 2);
  EXPECT_DOUBLE_EQ(r.iPrc * 0.01, 1.0);
  EXPECT_DOUBLE_EQ(r.iRrc * 0.001, -0.2);
  EXPECT_NEAR(r.uSigmaPrGnd * 0.02, 1.96, 1e-12);
  const double b[3] = {0.10, 0.15, -0.25};
  for (int k = 0; k < 3; ++k) {
    EXPECT_NEAR(r.iB[k] * 0.05, b[k], 1e-12) << k;
    EXPECT_TRUE(r.uFlags & (DiffCorrectionType::kB1Present << k)) << k;
  }
  EXPECT_FALSE(r.uFlags & (DiffCorrectionType::kB1Present << 3));  // B4 not used
  EXPECT_EQ(r.ulCorrTime, kNow + 100000u);                          // Z-count 100 s into the period
  EXPECT_EQ(r.uSad, DiffCorrectionType::kSadUnknown);
  EXPECT_FALSE(r.uFlags & DiffCorrectionType::kSadKnown);
  EXPECT_TRUE(r.uFlags & DiffCorrectionType::kFirstSource);
  EXPECT_EQ(r.ulGbasId, idCode("BELL"));
  EXPECT_EQ(r.uBlockId, 170);
}

TEST(GbasDataDecoder, TableD8Type2Decodes) {
  bindAll();
  ASSERT_EQ(feed(tableD8Type2(), rcvTime(kNow)), 1);
  const int src = get_GbasDataDecoder(rcvTime(kNow), 170, idCode("BELL"))->number();
  GBASData::StationDataType s{};
  PVTDataInstance.gbasStationData[src].Take(&s);
  EXPECT_EQ(s.bReady, 1);
  EXPECT_EQ(s.uGroundReceivers, 3);
  EXPECT_EQ(s.uAccuracy, 1);  // B
  EXPECT_EQ(s.uContinuity, 1);
  EXPECT_FLOAT_EQ(s.fMagVar, 58.0f);
  EXPECT_EQ(s.iRefractivity, 379);
  EXPECT_EQ(s.uScaleHeight, 100);
  EXPECT_EQ(s.uSigmaN, 20);
  EXPECT_NEAR(s.dLat, 45 + 40 / 60.0 + 32 / 3600.0, 1e-12);
  EXPECT_NEAR(s.dLon, -(93 + 25 / 60.0 + 13 / 3600.0), 1e-12);
  EXPECT_NEAR(s.dHeight, 123.45, 1e-9);
  // WGS 84 (a 6378137 m, 1/f 298.257223563), from the published formula.
  const double a = 6378137.0, f = 1 / 298.257223563, e2 = f * (2 - f);
  const double B = s.dLat * M_PI / 180, L = s.dLon * M_PI / 180, N = a / std::sqrt(1 - e2 * std::sin(B) * std::sin(B));
  EXPECT_NEAR(s.dX, (N + 123.45) * std::cos(B) * std::cos(L), 1e-3);
  EXPECT_NEAR(s.dY, (N + 123.45) * std::cos(B) * std::sin(L), 1e-3);
  EXPECT_NEAR(s.dZ, (N * (1 - e2) + 123.45) * std::sin(B), 1e-3);
  GBASData::StationAddBlockDataType add{};
  PVTDataInstance.gbasStationAddBlock[src].Take(&add);
  EXPECT_EQ(add.bReady, 1);
  EXPECT_EQ(add.uSelector, 5);
  EXPECT_EQ(add.uMaxUseDistance, 50);
  const float k[4] = {1.70f, 1.75f, 1.80f, 1.85f};
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(add.fKmd[i], k[i], 1e-6) << i;
}

// The refractivity index is a signed code around 400.
TEST(GbasDataDecoder, RefractivityIndexIsSigned) {
  bindAll();
  const std::pair<int, int> rows[] = {{-128, 16}, {-7, 379}, {0, 400}, {127, 781}};
  for (auto [code, nr] : rows) {
    Station s = kBell;
    s.refr = code;
    feed(frame(170, "BELL", 2, type2Body(s, {})), rcvTime(kNow));
    GBASData::StationDataType out{};
    PVTDataInstance.gbasStationData[get_GbasDataDecoder(rcvTime(kNow), 170, idCode("BELL"))->number()].Take(&out);
    EXPECT_EQ(out.iRefractivity, nr) << code;
  }
}

// Additional data block 1 needs all six of its bytes: lengths 29..33 end in CRC bytes.
TEST(GbasDataDecoder, Type2AdditionalBlockOnlyWhenWhole) {
  bindAll();
  const std::pair<int, bool> rows[] = {{28, false}, {30, false}, {33, false}, {34, true}};
  for (auto [len, expect] : rows) {
    const GBASData::StationAddBlockDataType empty{};
    for (auto& server : PVTDataInstance.gbasStationAddBlock) server.Put(&empty);
    std::vector<int> extra(static_cast<std::size_t>(len - 28), 9);
    feed(frame(170, "BELL", 2, type2Body(kBell, extra)), rcvTime(kNow));
    GBASData::StationAddBlockDataType add{};
    PVTDataInstance.gbasStationAddBlock[get_GbasDataDecoder(rcvTime(kNow), 170, idCode("BELL"))->number()].Take(&add);
    EXPECT_EQ(add.bReady != 0, expect) << len;
  }
}

// The Z-count is dated within 10 minutes of the receiver's GPS time.
TEST(GbasZCount, DatedWithinHalfAPeriod) {
  struct Row { std::uint32_t rcv, z, want; const char* what; };
  const Row rows[] = {
      {kNow + 100500, 1000, kNow + 100000, "same period"},
      {kNow + 1200500, 11995, kNow + 1199500, "made before the 20-minute boundary, decoded after"},
      {kNow + 1199500, 5, kNow + 1200500, "made after the boundary, receiver just before"},
      {kNow + 599999, 11999, kNow + 1199900, "just under half a period ahead stays ahead"},
      {kNow, 6000, kNow - 600000, "half a period ahead is the past"},
      {500, 11990, 604799000, "week start: the previous week's end"},
      {604799900, 3, 300, "week end: next week's start"},
  };
  for (const Row& r : rows) EXPECT_EQ(gbasZCountTime(r.z, r.rcv), r.want) << r.what;
}

// A type 1 message reads only the measurement blocks inside its length (6 + 7 + 11 N + 4).
TEST(GbasDataDecoder, MeasurementBlocksInsideTheMessageOnly) {
  bindAll();
  std::vector<Meas> blocks;
  for (int i = 1; i <= 18; ++i) blocks.push_back({i, 1, 10 * i, 0, 10, 0, 0, 0, 0});
  std::vector<std::uint8_t> body = type1Body(1000, 0, 18, 0, 0, 0, 255, blocks);
  body.resize(40 - 10);  // 18 announced, 40 bytes: two whole blocks
  for (int i = 1; i <= 18; ++i) {
    SvIdType sv;
    svIdFromSatNumber(kSysGps, i, sv);
    for (auto& s : PVTDataInstance.gbasDiffCorrection) s.Put(&sv, nullptr);
  }
  feed(frame(170, "BELL", 1, body), rcvTime(kNow));
  const int src = get_GbasDataDecoder(rcvTime(kNow), 170, idCode("BELL"))->number();
  for (int i = 1; i <= 18; ++i) EXPECT_EQ(corrOf(src, kSysGps, i).iPrc, i <= 2 ? 10 * i : 0) << i;
}

// Ranging sources the store has no place for are skipped; the rest of the message is published.
TEST(GbasDataDecoder, RangingSourcesMapOrAreSkipped) {
  bindAll();
  struct Row { int id, system, number; };  // system -1: skipped
  const Row rows[] = {{1, kSysGps, 1}, {32, kSysGps, 32}, {33, -1, 0}, {37, -1, 0}, {38, kSysGlonass, 1},
                      {61, kSysGlonass, 24}, {62, -1, 0}, {119, -1, 0}, {120, kSysSbas, 120}, {138, kSysSbas, 138},
                      {139, -1, 0}, {0, -1, 0}, {255, -1, 0}};
  std::vector<Meas> blocks;
  int prc = 1;
  for (const Row& r : rows) blocks.push_back({r.id, 7, prc++, 0, 10, 0, 0, 0, 0});
  blocks.resize(13);
  feed(frame(170, "MAPS", 1, type1Body(1000, 0, 13, 0, 0, 0, 255, blocks)), rcvTime(kNow));
  const int src = get_GbasDataDecoder(rcvTime(kNow), 170, idCode("MAPS"))->number();
  prc = 1;
  for (const Row& r : rows) {
    const int want = prc++;
    if (r.system < 0) continue;
    const DiffCorrectionType c = corrOf(src, r.system, r.number);
    EXPECT_EQ(c.iPrc, want) << r.id;
    EXPECT_EQ(c.ulGbasId, idCode("MAPS")) << r.id;
  }
}

TEST(GbasDataDecoder, SigmaInvalidAndBAbsent) {
  bindAll();
  feed(frame(170, "SIGM", 1, type1Body(1000, 0, 2, 0, 0, 0, 255,
                                       {{5, 1, 100, 10, 255, 1, 1, 1, 1}, {6, 1, 100, 10, 20, -128, 4, -128, 3}})),
       rcvTime(kNow));
  const int src = get_GbasDataDecoder(rcvTime(kNow), 170, idCode("SIGM"))->number();
  const DiffCorrectionType a = corrOf(src, kSysGps, 5), b = corrOf(src, kSysGps, 6);
  EXPECT_FALSE(a.uFlags & DiffCorrectionType::kCorrValid);
  EXPECT_TRUE(a.uFlags & DiffCorrectionType::kReady);
  EXPECT_TRUE(b.uFlags & DiffCorrectionType::kCorrValid);
  const bool present[4] = {false, true, false, true};
  for (int k = 0; k < 4; ++k) EXPECT_EQ((b.uFlags & (DiffCorrectionType::kB1Present << k)) != 0, present[k]) << k;
}

// The message-level data belongs to the first ranging source only.
TEST(GbasDataDecoder, EphemerisCrcGoesToTheFirstSatellite) {
  bindAll();
  const std::vector<Meas> two = {{5, 1, 1, 0, 10, 0, 0, 0, 0}, {9, 1, 1, 0, 10, 0, 0, 0, 0}};
  feed(frame(170, "ECRC", 1, type1Body(1000, 0, 2, 0, 0, 0x1111, 12, {two[1], two[0]})), rcvTime(kNow));
  feed(frame(170, "ECRC", 1, type1Body(1000, 0, 2, 0, 40, 0xBEEF, 255, two)), rcvTime(kNow));
  const int src = get_GbasDataDecoder(rcvTime(kNow), 170, idCode("ECRC"))->number();
  const DiffCorrectionType s5 = corrOf(src, kSysGps, 5), s9 = corrOf(src, kSysGps, 9);
  EXPECT_EQ(s5.uEphCrc, 0xBEEF);
  EXPECT_EQ(s5.uEphDecorr, 40);
  EXPECT_EQ(s9.uEphCrc, 0x1111);
  EXPECT_EQ(s9.uSad, 120);
  EXPECT_TRUE(s9.uFlags & DiffCorrectionType::kSadKnown);
}

TEST(GbasDataDecoder, ThirdStationReplacesTheOlderType1) {
  bindAll();
  for (GbasDataDecoder& d : GbasDataDecoderInstance) d.update(rcvTime(kNow), 0, 0, nullptr, 0);
  // Both decoders now serve station 0; give them A and B.
  const auto t1 = [](const char* id) { return frame(170, id, 1, type1Body(1000, 0, 0, 0, 0, 0, 255, {})); };
  GbasDataDecoderInstance[0].update(rcvTime(kNow, 5000), idCode("AAAA"), 170, t1("AAAA").data(), 17);
  GbasDataDecoderInstance[1].update(rcvTime(kNow, 4000), idCode("BBBB"), 170, t1("BBBB").data(), 17);
  EXPECT_EQ(get_GbasDataDecoder(rcvTime(kNow, 6000), 170, idCode("CCCC")), &GbasDataDecoderInstance[1]);
  EXPECT_EQ(get_GbasDataDecoder(rcvTime(kNow, 6000), 170, idCode("AAAA")), &GbasDataDecoderInstance[0]);
  EXPECT_EQ(get_GbasDataDecoder(rcvTime(kNow, 6000), 153, idCode("AAAA")), &GbasDataDecoderInstance[1]);
  GbasDataDecoderInstance[1].update(rcvTime(kNow, 4000), idCode("BBBB"), 170, t1("BBBB").data(), 17);
  GbasDataDecoderInstance[0].update(rcvTime(kNow, 4000), idCode("AAAA"), 170, t1("AAAA").data(), 17);
  EXPECT_EQ(get_GbasDataDecoder(rcvTime(kNow, 6000), 170, idCode("CCCC")), &GbasDataDecoderInstance[0]);  // tie
  GBASData::SourceStateDataType st{};
  PVTDataInstance.gbasSourceState.Take(1, &st);
  EXPECT_EQ(st.ulGbasId, idCode("BBBB"));
  EXPECT_EQ(st.ulType1Time, 4000u);
}

const Fas kFas1{0, 15, "KBEL", 27, 3, 1, 0, 5, "G27L", 183600000, -673200000, 6000, 1000, -2000, 1000, 1, 300, 100, 10, 100, 200};
const Fas kFas2{0, 15, "KBEL", 9, 1, 1, 26, 6, "G09R", 183700000, -673100000, 6100, -1000, 2000, 500, 0, 275, 80, 20, 50, 100};

TEST(GbasDataDecoder, Type4BothFasBlocksAndTheirCrc) {
  bindAll();
  std::vector<std::uint8_t> body = dataSet(kFas1);
  const std::vector<std::uint8_t> d2 = dataSet(kFas2);
  body.insert(body.end(), d2.begin(), d2.end());
  const std::vector<std::uint8_t> m = frame(170, "BELL", 4, body);
  ASSERT_EQ(m.size(), 92u);
  feed(m, rcvTime(kNow));
  const int src = get_GbasDataDecoder(rcvTime(kNow), 170, idCode("BELL"))->number();
  GBASData::FASDataType a{}, b{};
  PVTDataInstance.gbasFas[src].Take(5, &a);
  PVTDataInstance.gbasFas[src].Take(6, &b);
  ASSERT_TRUE(a.bReady && b.bReady);
  EXPECT_EQ(std::string(a.cAirport, 4), "KBEL");
  EXPECT_EQ(std::string(a.cPathId, 4), "G27L");
  EXPECT_EQ(std::string(b.cPathId, 4), "G09R");
  EXPECT_EQ(a.uRunway, 27);
  EXPECT_EQ(a.uRunwayLetter, 3);
  EXPECT_EQ(a.cRouteIndicator, 0);
  EXPECT_EQ(b.cRouteIndicator, 'Z');
  EXPECT_EQ(a.uSbasProvider, 15);
  EXPECT_NEAR(a.dLtpLat, 183600000 * 0.0005 / 3600, 1e-12);
  EXPECT_NEAR(a.dLtpLon, -673200000 * 0.0005 / 3600, 1e-12);
  EXPECT_NEAR(a.fLtpHeight, 88.0f, 1e-4);  // 6000 x 0.1 - 512
  EXPECT_NEAR(a.fFpapDLat, 1000 * 0.0005 / 3600, 1e-9);
  EXPECT_NEAR(a.fFpapDLon, -2000 * 0.0005 / 3600, 1e-9);
  EXPECT_NEAR(a.fTch, 50.0f, 1e-4);        // 1000 x 0.05 m
  EXPECT_NEAR(b.fTch, 15.24f, 1e-4);       // 500 tenths of feet
  EXPECT_NEAR(a.fGpa, 3.0f, 1e-5);
  EXPECT_NEAR(a.fCourseWidth, 105.0f, 1e-5);
  EXPECT_NEAR(b.fCourseWidth, 100.0f, 1e-5);
  EXPECT_NEAR(a.fDLengthOffset, 80.0f, 1e-5);
  EXPECT_NEAR(a.fVal, 10.0f, 1e-5);
  EXPECT_NEAR(a.fLal, 40.0f, 1e-5);
}

// The first FAS block whose CRC fails ends the message's blocks; a selector past 48 is refused.
TEST(GbasDataDecoder, FasCrcAndSelectorRules) {
  bindAll();
  struct Row { std::uint32_t crcXor1, crcXor2; int rpds2; bool first, second; const char* what; };
  const Row rows[] = {{0, 0, 48, true, true, "both good"},
                      {0, 1, 47, true, false, "second spoiled"},
                      {0x80000000u, 0, 46, false, false, "first spoiled ends the message"},
                      {0, 0, 49, true, false, "selector 49 refused by the server"}};
  int rpds1 = 10;
  for (const Row& r : rows) {
    Fas f1 = kFas1, f2 = kFas2;
    f1.rpds = ++rpds1;
    f2.rpds = r.rpds2;
    std::vector<std::uint8_t> body = dataSet(f1, r.crcXor1);
    const std::vector<std::uint8_t> d2 = dataSet(f2, r.crcXor2);
    body.insert(body.end(), d2.begin(), d2.end());
    feed(frame(170, "FASC", 4, body), rcvTime(kNow));
    const int src = get_GbasDataDecoder(rcvTime(kNow), 170, idCode("FASC"))->number();
    GBASData::FASDataType a{}, b{};
    PVTDataInstance.gbasFas[src].Take(f1.rpds, &a);
    EXPECT_EQ(a.bReady != 0, r.first) << r.what;
    EXPECT_EQ(PVTDataInstance.gbasFas[src].Take(r.rpds2, &b) == 1 && b.bReady, r.second) << r.what;
  }
}

// A data set is read only when it lies wholly inside the message; its length byte says how far.
TEST(GbasDataDecoder, FasDataSetsInsideTheMessageOnly) {
  bindAll();
  struct Row { std::size_t keep2; int setLen2; bool second; const char* what; };
  const Row rows[] = {{41, 41, true, "whole"}, {40, 41, false, "cut by one byte"}, {41, 40, false, "length too short"},
                      {41, 60, false, "length past the message"}};
  int rpds = 20;
  for (const Row& r : rows) {
    Fas f1 = kFas1, f2 = kFas2;
    f1.rpds = ++rpds;
    f2.rpds = ++rpds;
    std::vector<std::uint8_t> body = dataSet(f1);
    std::vector<std::uint8_t> d2 = dataSet(f2);
    d2[0] = Bits().put(r.setLen2, 8).bytes()[0];
    d2.resize(r.keep2);
    body.insert(body.end(), d2.begin(), d2.end());
    feed(frame(170, "FASL", 4, body), rcvTime(kNow));
    const int src = get_GbasDataDecoder(rcvTime(kNow), 170, idCode("FASL"))->number();
    GBASData::FASDataType a{}, b{};
    PVTDataInstance.gbasFas[src].Take(f1.rpds, &a);
    PVTDataInstance.gbasFas[src].Take(f2.rpds, &b);
    EXPECT_TRUE(a.bReady) << r.what;
    EXPECT_EQ(b.bReady != 0, r.second) << r.what;
  }
}

TEST(GbasDataDecoder, NothingWithoutGpsTimeAndTypesOfOtherFormats) {
  bindAll();
  EXPECT_EQ(feed(tableD8Type1(), rcvTime(kNow, 1000, false)), 0);
  // A DO-217 stream carries type 1 only.
  const std::vector<std::uint8_t> t2 = frame(153, "OLD1", 2, type2Body(kBell, {}));
  GbasDataDecoder* d = get_GbasDataDecoder(rcvTime(kNow), 153, idCode("OLD1"));
  const GBASData::StationDataType empty{};
  PVTDataInstance.gbasStationData[d->number()].Put(&empty);
  EXPECT_EQ(d->update(rcvTime(kNow), idCode("OLD1"), 153, t2.data(), static_cast<int>(t2.size())), 1);
  GBASData::StationDataType s{};
  PVTDataInstance.gbasStationData[d->number()].Take(&s);
  EXPECT_EQ(s.bReady, 0);
}

TEST(GbasTimeTags, AgesAndTimeouts) {
  GBASData::TimeTag t = 0;
  EXPECT_FLOAT_EQ(GBASData::get_TimeTagAge(t, 5000), 86410.0f);
  GBASData::set_TimeTag(t, 1000);
  EXPECT_FLOAT_EQ(GBASData::get_TimeTagAge(t, 61000), 60.0f);
  EXPECT_FLOAT_EQ(GBASData::get_TimeTagAge(t, 604800000 - 1000), -2.0f);  // folded across the week
  GBASData::set_TimeTag(t, GBASData::kNoTime);
  EXPECT_FLOAT_EQ(GBASData::get_TimeTagAge(t, 1000), 86410.0f);
  PosSetup::CorrProcessorSetupType setup{};
  GBASData::DiffCorrectionType::set_DataTimeout(&setup);
  GBASData::StationDataType::set_DataTimeout(&setup);
  GBASData::StationAddBlockDataType::set_DataTimeout(&setup);
  GBASData::FASDataType::set_DataTimeout(&setup);
  EXPECT_FLOAT_EQ(GBASData::DiffCorrectionType::fDataTimeout, 60.0f);
  EXPECT_FLOAT_EQ(GBASData::StationDataType::fDataTimeout, 86410.0f);
  EXPECT_FLOAT_EQ(GBASData::StationAddBlockDataType::fDataTimeout, 86410.0f);
  EXPECT_FLOAT_EQ(GBASData::FASDataType::fDataTimeout, 86410.0f);
  DiffCorrectionType r;
  r.set_ReadyDiffCorr(170, 7);
  GBASData::set_TimeTag(r.ulTimeTag, 1000);
  EXPECT_TRUE(r.is_ReadyDiffCorr(61000));
  EXPECT_FALSE(r.is_ReadyDiffCorr(61001));
  r.set_ReadyDiffCorr(170, 8);  // one identifier kept: the tag stays
  EXPECT_TRUE(r.is_ReadyDiffCorr(2000));
  r.set_ReadyDiffCorr(153, 9);  // both changed: the old tag goes
  EXPECT_FALSE(r.is_ReadyDiffCorr(2000));
}

TEST(GbasDataDecoder, RandomAndTruncatedMessagesAreSafe) {
  bindAll();
  std::mt19937 rng(46);
  std::vector<std::uint8_t> good = tableD8Type2();
  for (int n = 0; n < 3000; ++n) {
    std::vector<std::uint8_t> m(static_cast<std::size_t>(rng() % 230));
    for (auto& b : m) b = static_cast<std::uint8_t>(rng());
    const int type = static_cast<int>(rng() % 6);
    if (m.size() > 6) m[4] = GbasDecUtility::reverseByte(static_cast<std::uint8_t>(type == 5 ? 4 : type));
    const PosData::RcvTimeDataType t = rcvTime(static_cast<std::uint32_t>(rng() % 604800000));
    for (GbasDataDecoder& d : GbasDataDecoderInstance) d.update(t, rng() & 0xFFFFFF, 170, m.data(), static_cast<int>(m.size()));
    const int cut = static_cast<int>(rng() % good.size());
    GbasDataDecoderInstance[0].update(t, 1, 170, good.data(), cut);
  }
}

}  // namespace
