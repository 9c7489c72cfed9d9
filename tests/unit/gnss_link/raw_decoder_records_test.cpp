#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "unit/gnss_link/native_test_util.h"
#include "differential/redirect.h"
#include "gnss_link/peripherals/board_settings_funcs.h"
#include "gnss_link/raw_records.h"
#include "gnss_link/slave_tasks.h"
#include "output/zr_std_msg.h"
#include "settings/rcv_settings.h"
#include "platform/misc_par.h"
#include "positioning/chan_data.h"
#include "positioning/raw_nav_rings.h"
#include "unit/differential/relay_links.h"
#include "unit/platform/temp_run_dir.h"
#include "gnss_link/freq_plan.h"

namespace {

using namespace ntest;
using Counters = ZrtRawDecoder::Counters;

std::vector<std::uint32_t> values(const Counters& c) {
  const auto [a, b, d, e, f, g, h, i] = c;
  return {a, b, d, e, f, g, h, i};
}
Counters by(std::uint32_t Counters::*counter, std::uint32_t n = 1) {
  Counters c{};
  c.*counter = n;
  return c;
}
constexpr auto kNav = &Counters::navDropped, kGlo = &Counters::gloFreqRefused, kMisc = &Counters::miscDropped,
               kChan = &Counters::chanRefused, kRec = &Counters::recRefused, kCut = &Counters::containerCut;

std::string lD(int freq, int kind) {
  return frame("lD", le(9, 1) + le(std::uint8_t(freq), 1) + le(100, 4) + le(kind, 1) + le(2, 1) + le(0xABCDEF01, 4) +
                         le(0x12345678, 4) + le(0, 1));
}
std::string navBytes(const char* id, int count, int sent) {
  return frame(id, le(11, 1) + le(7, 4) + le(1, 1) + le(count, 1) + std::string(sent, 'x') + le(0, 1));
}
std::string rb(int length, int sent) { return frame("Rb", le(length, 2) + le(1005, 2) + std::string(sent, 'r')); }
// `n` 16-bit values from 1000 (Sp) or 40 (sj, closed by the tag 99).
std::string sp(std::uint32_t first, int n, int sent) {
  std::string b = le(first, 4) + le(3, 1) + le(0, 1) + le(std::uint16_t(n), 2);
  for (int i = 0; i < sent; ++i) b += le(1000 + i, 2);
  return frame("Sp", b);
}
std::string sj(int sys, int band, int n) {
  std::string b = le(sys, 1) + le(band, 1);
  for (int i = 0; i < n; ++i) b += le(40 + i, 2);
  return frame("sj", b + le(99, 4));
}
std::string rm(int n, int sent) {
  return frame("Rm", le(1, 1) + le(2, 1) + le(0, 1) + le(3, 1) + lef(0.5f) + lef(0.25f) + le(n, 1) + std::string(sent, '%'));
}
// 15 calibration entries: band, A (NaN for entry 2), B.
std::string calib(int band0) {
  std::string b;
  for (int i = 0; i < 15; ++i) b += le(std::uint8_t(i == 0 ? band0 : i), 1) + lef(i == 2 ? NAN : 0.5f * i) + lef(-1.f * i);
  return b;
}
std::string sat(int ch, int sys, int sv, int state, int number) {
  return le(ch, 1) + le(sys, 1) + le(sv, 1) + le(0, 2) + le(state, 1) + le(0, 1) + le(number, 2) + lef(0.5f) + le(0, 2);
}
// `count` SatData entries (channels 10.., numbers 300..) of `recSize` bytes, then `extra` bytes
// (negative: cut short).
std::string satRecord(int recSize, int count, int extra) {
  std::string d = le(recSize, 1) + le(count, 1);
  for (int i = 0; i < count; ++i) {
    std::string e = sat(10 + i, 0, 20 + i, 22, 300 + i).substr(0, 13);
    e.resize(std::size_t(recSize), '\x55');
    d += e;
  }
  d.resize(std::size_t(int(d.size()) + extra), '\0');
  return epochStart(kEpochTime) + s2m(rec(7, d));
}
std::string sig(int slot, int ch, std::uint32_t flags, std::uint32_t m0) {
  std::string e = le(slot, 1) + le(ch, 1) + le(flags, 4) + le(1, 4) + le(2, 4) + le(m0, 4) + std::string(28, '\0');
  return e + (flags & 4 ? le(0xAAAA, 4) : "") + (flags & 8 ? le(0xBBBB, 4) : "");
}
std::string task(const char* name) { return std::string(name, 4) + le(1, 1) + le(1, 4) + le(2, 4) + le(3, 4); }

using V = std::vector<double>;
template <class... T>
V v(T... x) {
  return {static_cast<double>(x)...};
}
V satsDecoded() {
  int n = 0, good = 0;
  for (int i = 0; i < 4; ++i) {
    const EpochChanEntryType& c = board().chan[10 + i];
    if (c.uNumber != 300 + i) continue;
    ++n;
    good += c.uSatState == 4 && c.uSatByte[1] == 20 + i && c.pChan == &Cdat[10 + i];  // state 22: kind 4
  }
  return v(n, good);
}
V tasks() {
  int n = 0;
  const SlaveTasks::Entry* t = SlaveTasks::startRead(n);
  const bool idle = n > 1 && std::string(t[1].name) == "IDLE";
  SlaveTasks::endRead();
  return v(n, idle);
}
CorrData::GloRawMessageType latestGlo() {
  RawNavReader r;
  r.ullNext = GloRawMessageData.appended() - 1;
  CorrData::GloRawMessageType e{};
  GloRawMessageData.read(r, e);
  return e;
}

TEST(RawDecoderMessages, EachMessageAndRecordLandsOrIsRefusedAndCounted) {
  FakeBoard link;
  // The records the rows read start empty; the GPS ring is counted from here.
  {
    Locker<Mutex> l(mutexTSRtcmMessage);
    uTSRtcmMessageWriteIndex = 0;
  }
  std::memset(iqBuffers, 0, sizeof iqBuffers);
  std::memset(&hwCalib, 0, sizeof hwCalib);
  setUseNT(0);
  const std::uint64_t gpsBefore = GpsRawMessageData.appended();
  const std::uint32_t w29[29] = {};
  std::string pwr500, pairs, twelveRounds, manyTasks = le(65, 1);
  for (int i = 0; i < 25; ++i) pwr500 += le(500, 2);
  for (int k = 0; k < 8; ++k) pairs += le(k == 1 ? 0 : k + 1, 2) + le(k == 1 ? 0 : 100 + k, 2);
  for (int i = 0; i < 12; ++i) twelveRounds += sj(2, 0, 2);
  for (int i = 0; i < 65; ++i) manyTasks += task("TASK");
  const std::string once = le(3, 1) + le(1234, 2) + le(1, 1);
  const BoardEpochPart& b = board();

  const struct {
    const char* what;
    std::string in;
    Counters moved = {};
    std::function<V()> got = nullptr;
    V want = {};
    const char* err = "";
  } rows[] = {
      {"29 words: more than the ring record holds", wordsMsg("gd", 1, 0, w29, 29), by(kNav)},
      {"count 255, body of 2 words", wordsMsg("gd", 1, 0, w29, 2, 255), by(kNav)},
      {"bytes: count 200, body of 16", navBytes("ED", 200, 16), by(kNav)},
      {"a body of 8 bytes carries nothing", frame("gd", std::string(8, '\0')), {},
       [gpsBefore] { return v(GpsRawMessageData.appended() - gpsBefore); }, {0}},
      {"GLONASS frequency number -8", lD(-8, 0), by(kGlo)},
      {"GLONASS +6", lD(6, 0), {}, [] { return v(latestGlo().iFreq, latestGlo().ulWords[1]); }, {6, 0x12345678}},
      {"GLONASS +7", lD(7, 0), by(kGlo)},
      {"GLONASS kind 1: an L3 string", lD(3, 1), {}, [] { return v(GloRawMessageData.appended(), latestGlo().uKind); }, {2, 1}},
      {"GLONASS kind 2 and above are ignored", lD(3, 2) + lD(3, 255), {}, [] { return v(GloRawMessageData.appended()); }, {2}},
      {"Rb of 200", rb(200, 200), {}, [] {
         const TSRtcmMessageType& m = TSRtcmMessageData[0];
         return v(uTSRtcmMessageWriteIndex, m.uLength, m.uNumber, m.uData[199]);
       }, {1, 200, 1005, 'r'}},
      {"Rb of 201", rb(201, 201), by(kMisc)},
      {"Rb of 0", rb(0, 0), {}, [] { return v(uTSRtcmMessageWriteIndex); }, {2}},
      {"Sp up to the array's end", sp(32760, 8, 8), {}, [] { return v(spectrumOut.uSample[32767]); }, {1007}},
      {"Sp past the array", sp(32760, 9, 9), by(kMisc)},
      {"Sp past the message", sp(0, 20, 10), by(kMisc)},
      {"Sp first index outside the array", sp(40000, 0, 0), by(kMisc)},
      {"IQ buffer 1", frame("IQ", le(0, 1) + le(2, 1) + le(1, 1) + le(3, 1) + le(0x1234, 2) + le(0xFFFE, 2)), {},
       [] { return v(iqBuffers[1].write, iqBuffers[1].iSample[1], iqBuffers[1].bPairs); }, {2, -2, 1}},
      {"IQ buffer 4", frame("IQ", le(0, 1) + le(2, 1) + le(1, 1) + le(8, 1) + le(1, 2)), by(kMisc)},
      {"signal levels", sj(0, 1, 2), {}, [] { return v(sigLevels.uLevel[0][1][1], sigLevels.ulTag[0][1]); }, {41, 99}},
      {"signal levels of system 7", sj(7, 1, 2), by(kMisc)},
      {"8 QZSS values", sj(4, 0, 8), by(kMisc)},
      {"a system not updated for 12 rounds is cleared", twelveRounds, {},
       [] { return v(sigLevels.uLevel[0][1][1], sigLevels.uLevel[2][0][1]); }, {0, 41}},
      {"Rm 65: more than the record holds", rm(65, 65), by(kMisc)},
      {"Rm: each range's edges to its block of the global index",
       frame("Rm", le(1, 1) + le(2, 1) + le(0, 1) + le(3, 1) + lef(0.5f) + lef(0.25f) + le(11, 1) +
                       "\x25\x26\x46\x47\x77\x78\xC0\xC1\xD2\xD3\xFF"), {},
       [] {
         const auto& r = PVTDataInstance.epochData.GetPointer()->board.rm;
         return v(r.uSat[0], r.uSat[1], r.uSat[2], r.uSat[3], r.uSat[4], r.uSat[5], r.uSat[6], r.uSat[7], r.uSat[8],
                  r.uSat[9], r.uSat[10]);
       }, {37, 193, 225, 300, 348, 400, 472, 500, 517, 600, 644}},
      {"gC (NaN not stored, a pair of zeros not set)", frame("gC", calib(0) + pairs + le(std::uint16_t(-9), 2)), {}, [] {
         const HwCalib& h = hwCalib;
         return v(h.common[3].fA, h.common[2].bSetA, h.common[2].bSetB, h.bPairSet[0][1], h.iPair[1][3][1], h.iFinal);
       }, {1.5, 0, 1, 0, 107, -9}},
      {"g2 with band 70", frame("g2", calib(70)), by(kMisc), [] { return v(hwCalib.bySystem[2][5].fB); }, {-5}},
      {"gR with band 200",
       frame("gR", le(4, 1) + le(0, 1) + lef(2.5f) + le(4, 1) + le(1, 1) + lef(0.f) + le(200, 1) + le(0, 1) + lef(1.f)),
       by(kMisc), [] { return v(hwCalib.fR[0][4], hwCalib.bRSet[1][4]); }, {-2.5, 0}},
      {"power record short", s2m(rec(1, pwr500.substr(0, 48))), by(kRec), nullptr, {}, "$$ @@Pwr: ERROR: len=48 != 50\n"},
      {"unknown type skipped, power goes on, SatData ends the container",
       s2m(rec(99, "zz") + rec(1, pwr500) + rec(7, le(15, 1) + le(0, 1)) + rec(16, once)), {},
       [&link] { return v(miscPar[23].load(), link.out.written == "dm,,zrt/@@once\n", getUseNT()); }, {5, 0, 0}},
      {"a length beyond the rest stops the container", s2m("\x10" + le(100, 2) + once), by(kCut),
       [&link] { return v(link.out.written.empty(), getUseNT()); }, {1, 0}},
      {"length 0: the rest of the body", s2m(std::string("\x10\x00\x00", 3) + once), {},
       [&link] { return v(link.out.written == "dm,,zrt/@@once\n", getUseNT()); }, {1, 1}},
      {"start-up record of a board whose alternative clock is not in use", s2m(rec(16, once.substr(0, 3) + le(0, 1))), {},
       [&link] { return v(link.out.written == "dm,,zrt/@@once\n", getUseNT()); }, {1, 0}},
      {"SatData of 15-byte entries", satRecord(15, 3, 0), {}, satsDecoded, {3, 3}},
      {"SatData of 17-byte entries", satRecord(17, 3, 0), {}, satsDecoded, {3, 3}, "$$ @@SatData: WARNING: rest=2 > 0\n"},
      {"SatData of 14-byte entries", satRecord(14, 3, 0), by(kRec), satsDecoded, {0, 0},
       "$$ @@SatData: ERROR: recSize=14 actualSize=15\n"},
      {"SatData cut in its 4th entry", satRecord(15, 4, -15), by(kRec), satsDecoded, {3, 3},
       "$$ @@SatData: ERROR: offs=47 len=47 after [3] of 4\n"},
      {"SatData with a byte left over", satRecord(15, 2, 1), {}, satsDecoded, {2, 2},
       "$$ @@SatData: ERROR: got=32 != 33\n"},
      {"SatData channel 182 refused, 181 kept",
       epochStart(kEpochTime) + s2m(rec(7, le(15, 1) + le(2, 1) + sat(182, 0, 0, 1, 42) + sat(181, 0, 0, 1, 42))),
       by(kChan), [&b] { return v(b.chan[181].uNumber); }, {42}},
      {"channel states: 255 refused, 3 kept",
       s2m(rec(10, le(0, 1) + le(2, 1) + le(1, 1) + le(255, 1) + std::string(13, '\1') + le(3, 1) + le(1, 1) + le(2, 1) +
                       le(3, 2) + le(4, 1) + le(5, 4) + le(6, 2) + le(7, 2))),
       by(kChan), [&b] { return v(b.chan[3].bInUse, b.chan[3].uCs12, b.chan[4].bInUse); }, {1, 7, 0}},
      {"a cut channel state", s2m(rec(10, le(0, 1) + le(1, 1) + le(0, 1) + le(4, 1) + le(1, 1))), by(kRec)},
      // Entries with the optional words keep their stride.
      {"signals: slot 6 and channel 182 refused",
       s2m(rec(11, le(0, 1) + le(4, 1) + sig(6, 3, 0, 1) + sig(0x80 | 2, 182, 12, 2) + sig(0x80 | 1, 3, 12, 3) +
                       sig(5, 181, 4, 4))),
       by(kChan, 2), [&b] {
         return v(b.sig[3][1].ulM[0], b.sig[3][1].ulExtra[1], b.sig[181][5].ulM[0], b.sig[181][5].ulExtra[0], b.uMeasCount);
       }, {3, 0xBBBB, 4, 0xAAAA, 2}},
      {"a signal past the record's end", s2m(rec(11, le(0, 1) + le(1, 1) + sig(0, 3, 0, 5).substr(0, 45))), by(kRec),
       [&b] { return v(b.sig[3][0].bPresent, b.uMeasCount); }, {0, 2}},
      // The board names a system by its channel code (0 GPS, 1 GLONASS, 3 Galileo, 4 BeiDou, 5
      // QZSS, 7 L-band) and a GLONASS satellite by its frequency number k: G1 = 1602 + 0.5625 k
      // MHz, G2 = 1246 + 0.4375 k MHz (GLONASS ICD 3.3.1.1); E5a 1176.45, B1I 1561.098 MHz.
      {"rated carrier frequencies: GPS L1, GLONASS G1 k = +1, no such system",
       epochStart(kEpochTime) +
           s2m(rec(7, le(15, 1) + le(3, 1) + sat(0, 0, 7, 1, 1) + sat(1, 1, 1, 1, 1) + sat(2, 9, 7, 1, 1))) +
           s2m(rec(11, le(0, 1) + le(3, 1) + sig(0, 0, 0, 0) + sig(0, 1, 0, 0) + sig(0, 2, 0, 0))), {},
       [&b] { return v(b.sig[0][0].dFreq, b.sig[1][0].dFreq, b.sig[2][0].dFreq); }, {1575.42e6, 1602.5625e6, 1}},
      {"rated carrier frequencies: GLONASS G2 k = -3, Galileo E5a, BeiDou B1I, QZSS L1, L-band",
       epochStart(kEpochTime) +
           s2m(rec(7, le(15, 1) + le(5, 1) + sat(3, 1, 253, 1, 1) + sat(4, 3, 11, 1, 1) + sat(5, 4, 23, 1, 1) +
                       sat(6, 5, 194, 1, 1) + sat(7, 7, 3, 1, 1))) +
           s2m(rec(11, le(0, 1) + le(5, 1) + sig(2, 3, 0, 0) + sig(4, 4, 0, 0) + sig(0, 5, 0, 0) + sig(0, 6, 0, 0) +
                       sig(0, 7, 0, 0))), {},
       [&b] {
         return v(b.sig[3][2].dFreq, b.sig[4][4].dFreq, b.sig[5][0].dFreq, b.sig[6][0].dFreq, b.sig[7][0].dFreq);
       }, {1244.6875e6, 1176.45e6, 1561.098e6, 1575.42e6, 1}},
      {"SolAln short", s2m(rec(4, std::string(1452, '\0'))), by(kRec), [&b] { return v(b.bSolAln); }, {0},
       "$$ @@SolAln: ERROR: len=1452 != 1453\n"},
      {"task load", s2m(rec(15, le(3, 1) + task("MEAS") + task("IDLE") + task("NAV "))), {}, tasks, {3, 1}},
      {"65 tasks: more than the table holds", s2m(rec(15, manyTasks)), by(kRec)},
      {"a length not matching its count", s2m(rec(15, le(2, 1) + task("ABCD"))), by(kRec), tasks, {3, 1}},
  };
  RawFeed f;
  const auto rounded = [](V x) {
    for (double& d : x) d = std::round(d * 1e6) / 1e6;
    return x;
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    std::vector<std::uint32_t> want = values(f.raw->counters());
    for (std::size_t i = 0; i < want.size(); ++i) want[i] += values(r.moved)[i];
    link.out.written.clear();
    testing::internal::CaptureStderr();
    f.put(r.in);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), r.err);
    EXPECT_EQ(values(f.raw->counters()), want);
    EXPECT_EQ(r.got ? rounded(r.got()) : V{}, rounded(r.want));
  }
}

TEST(RawDecoderMessages, DataLinkReportNamesTheHoldersPorts) {
  difftest::freeRelayLinks();
  decRedirsModeChange(IOP_SER_C, InPort::M_RTCM3);  // link 1: dev/shm/d, the board's '3'
  const std::string body = "{3,rtcm3,12,0}{0,zrt}{";
  const std::string text = "DL000" + body + "5A";     // two checksum characters close it
  std::vector<char> block(text.begin(), text.end());  // exactly the message, no terminator
  ZRFMessage m;
  m.data = block.data();
  m.len = static_cast<int>(block.size()) - 5;
  ZrtRawDecoder raw;
  EXPECT_TRUE(ZrtRawDecoder::h_DL(&raw, m));
  char out[RedirMap::kDlMax + 1];
  EXPECT_EQ(RedirMap::getDl(out, sizeof out), static_cast<int>(body.size()));
  EXPECT_STREQ(out, "{C,rtcm3,12,0}{0,zrt}{");
}

TEST(SlaveTasks, MessageLeavesOutTasksWithoutANumber) {
  SlaveTasks::Entry* t = SlaveTasks::startUpdate();
  t[0] = {"MEAS", 1, {100, 200, 300}};
  t[1] = {"IDLE", 0, {5, 6, 7}};
  t[2] = {"NAV ", 12, {123456, 7, 8}};
  SlaveTasks::endUpdate(3);
  char buf[256];
  ZRStdMsg msg(buf, sizeof buf, "TL");
  printLoad(false, "load", nullptr, &msg);
  ASSERT_EQ(msg.bodyLen(), 2 * 13);
  const char* b = buf + ZRStdMsg::kHeader;
  std::uint32_t c0 = 0;
  std::memcpy(&c0, b + 18, 4);
  EXPECT_EQ(std::string(b, 5) + std::string(b + 13, 4) + std::to_string(c0), "MEAS\x01NAV 123456");
}

TEST(BoardSettingsFuncs, ProcessorCountAndDspFrequencies) {
  const struct {
    int n;
    bool lband;
    int rc, count;
  } cases[] = {{3, false, 0, 3}, {1, false, 3, 3}, {2, false, 3, 3}, {4, false, 0, 4},
               {4, true, 5, 4},  {5, true, 0, 3},  {5, false, 0, 4}, {0, false, 0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.n);
    RcvSet.lbandMode = c.lband ? 1 : 0;
    EXPECT_EQ(cpuSetNum(c.n), c.rc);
    EXPECT_EQ(getCpuNum(), c.count);
  }
  for (int khz : {100999, 120000, 80000, 80999}) EXPECT_EQ(checkDspFrq(khz), 1) << khz;
  for (int khz : {90000, 79999, 121000, 0, -100000}) EXPECT_EQ(checkDspFrq(khz), -1) << khz;
}

// What this board answers for the properties the GNSS board or the hardware would decide.
TEST(BoardSettingsFuncs, FixedAnswersAndTheLowPowerFlag) {
  const struct {
    const char* what;
    int (*call)();
    int want;
  } rows[] = {
      {"alternative clock supported", [] { return int(rcvSupportNtClk()); }, 1},
      {"not the only clock", [] { return int(rcvHasOnlyNtClk()); }, 0},
      {"no 10 MHz oscillator", [] { return int(isOsc10Mhz()); }, 0},
      {"0.9 V reduction: nothing to do", [] { return setVcc0v9Down(true); }, 0},
      {"1.8 V reduction asked: not possible", [] { return setVcc1v8Down(true); }, 5},
      {"1.8 V reduction not asked", [] { return setVcc1v8Down(false); }, 0},
      {"low power by default", [] { return lpmGetDefault(); }, 1},
      {"low power off at start", [] { return int(lpmGet()); }, 0},
      {"low power set on", [] { return lpmSet(true) * 10 + lpmGet(); }, 11},
      {"low power set off", [] { return lpmSet(false) * 10 + lpmGet(); }, 10},
      {"tracking time kept by the board", [] { return LogicChan::getTrackingTime(); }, 0},
  };
  for (const auto& r : rows) EXPECT_EQ(r.call(), r.want) << r.what;
}

// The CPU frequency is taken only when the CPU's frequency driver offers it.
using CpuFrequency = TempRunDir;
TEST_F(CpuFrequency, TakenOnlyWhenOnOffer) {
  const struct {
    const char* offer;  // nullptr: no frequency driver
    int mhz;
    bool taken;
    int frq, id;  // after the call
  } rows[] = {{nullptr, 800, false, 800, 2},          {"300000 600000 800000 1000000 \n", 700, false, 800, 2},
              {"300000 600000 800000 1000000 \n", 1000, true, 1000, 1}, {"300000 600000 \n", 0, false, 1000, 1},
              {"300000 600000 \n", -300, false, 1000, 1},  {"300000 600000 \n", 300, true, 300, 1}};
  for (const auto& r : rows) {
    SCOPED_TRACE(testing::Message() << (r.offer ? r.offer : "no driver") << r.mhz);
    if (r.offer) writeFile("host/sys/devices/system/cpu/cpu0/cpufreq/scaling_available_frequencies", r.offer);
    EXPECT_EQ(cpuSetFrq(r.mhz), r.taken);
    EXPECT_EQ(boardProps.cpuFrq.load(), r.frq);
    EXPECT_EQ(boardProps.cpuFrqId.load(), r.id);
  }
}

}  // namespace
