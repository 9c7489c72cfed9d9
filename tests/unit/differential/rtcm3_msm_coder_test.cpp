// The coder's multiple signal messages read back by the receiver's own RTCM 3 decoder and
// checked field by field against the layouts of RTCM 10403.3 (MSM header, masks, DF397-DF408).
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <random>
#include <cstdint>
#include <string>
#include <vector>

#include "differential/rtcm3/rtcm3_coder.h"
#include "differential/rtcm3_observations.h"
#include "positioning/signal_tables.h"
#include "rtcm3_coder_test_util.h"

namespace {

using namespace coder3test;

constexpr double kLightMs = 299792.458;
constexpr int kSatMaskBit = 97, kSigMaskBit = 161, kCellMaskBit = 193;  // bit positions in a frame

int msmIndex(int sys, int type) { return kRtc3MsgMsmFirst + sys * 7 + type - 1; }

// What the frame says, as the standard lays it out and as the decoder reads it.
struct Msm {
  int number = 0, station = 0;
  std::uint32_t epoch = 0;
  int multiple = 0, steering = 0, smoothFlag = 0, interval = 0;
  std::uint64_t satMask = 0;
  std::uint32_t sigMask = 0;
  std::vector<int> satIds;
  RTC3_OBS obs{};
  bool decoded = false;
};
Msm read(const Bytes& f) {
  Msm m;
  if (f.size() < 30) return m;
  m.number = static_cast<int>(bits(f, 24, 12));
  m.station = static_cast<int>(bits(f, 36, 12));
  m.epoch = static_cast<std::uint32_t>(bits(f, 48, 30));
  m.multiple = static_cast<int>(bits(f, 78, 1));
  m.steering = static_cast<int>(bits(f, 89, 2));
  m.smoothFlag = static_cast<int>(bits(f, 93, 1));
  m.interval = static_cast<int>(bits(f, 94, 3));
  m.satMask = bits(f, kSatMaskBit, 64);
  m.sigMask = static_cast<std::uint32_t>(bits(f, kSigMaskBit, 32));
  for (int i = 0; i < 64; ++i)
    if (m.satMask >> (63 - i) & 1u) m.satIds.push_back(i + 1);
  const int len = static_cast<int>(f.size()) - 6;
  BitReader br(f.data() + 3, len * 8);
  br.reset(len * 8, 12 + 12 + 30);
  m.decoded = rtcm3_ReadMsmObs(m.number, br, -1, m.obs);
  return m;
}

// A coder with the test's settings over a source the test fills.
struct Base {
  FakeSource src;
  RTC3_Coder coder{&src};
  explicit Base(std::uint32_t ver = 1) {
    RTC3_COD_SETTINGS s = defaultSettings(1234);
    s.ver = ver;
    coder.setSettings(s);
    src.rtk.ulTime[0] = 318945000;
  }
  // A satellite with the given slots valid: pseudorange pr + slot metres, phase near it.
  RTK_DATA_SV& sat(int sys, int number, std::initializer_list<int> slots, double pr = 21000000.0, int fcn = 0) {
    RTK_DATA_SV& sv = src.addSat(sys, number, fcn);
    for (int s : slots) {
      FakeSource::setSlot(sv, s, pr + s * 1.25, pr + s * 1.25 + 0.75, 600000, 180);
      sv.slot[s].dRate = -512.3 + s * 0.01;
    }
    return sv;
  }
  std::vector<Bytes> frames(int index) {
    arm(coder, {index});
    return all(index);
  }
  // Every part of one message, as the output message asks for them.
  std::vector<Bytes> all(int index) {
    std::vector<Bytes> out;
    for (int guard = 0; guard < 100; ++guard) {
      Bytes f = build(coder, index);
      if (f.empty()) break;
      out.push_back(f);
      if (!coder.repeatMessage()) break;
    }
    return out;
  }
};

// Lock time indicators at the edges of their tables: DF402 (MSM1-5) and DF407 (MSM6-7), the
// latter also checked against the standard's inverse form i = (t + m 2^(m+5)) / 2^m.
struct LockRow {
  std::int32_t ms;
  int df402, df407;
};
const LockRow kLockRows[] = {
    {-1, 0, 1023},         {0, 0, 0},          {31, 0, 31},        {32, 1, 32},       {63, 1, 63},
    {64, 2, 64},           {127, 2, 95},       {128, 3, 96},       {1000, 5, 190},    {262143, 13, 447},
    {262144, 14, 448},     {524287, 14, 479},  {524288, 15, 480},  {67108863, 15, 703}, {67108864, 15, 704},
    {2147483647, 15, 704},
};

TEST(Rtcm3MsmCoder, LockIndicatorsAtTheEdgesOfBothTables) {
  for (const LockRow& r : kLockRows) {
    SCOPED_TRACE(r.ms);
    if (r.ms >= 64 && r.ms < 67108864) {
      int n = 6;
      while (r.ms >= (1 << (n + 1))) ++n;
      const long m = n - 5;
      EXPECT_EQ((r.ms + m * (1L << (m + 5))) >> m, r.df407) << "row disagrees with the standard's table";
    }
    for (int type : {4, 6}) {
      Base b;
      RTK_DATA_SV& sv = b.sat(0, 7, {0});
      sv.slot[0].ulLock = static_cast<std::uint32_t>(r.ms);
      const std::vector<Bytes> f = b.frames(msmIndex(0, type));
      ASSERT_EQ(f.size(), 1u);
      const Msm m = read(f[0]);
      ASSERT_TRUE(m.decoded);
      EXPECT_EQ(m.obs.msm[0].sig[0].lock, type == 4 ? r.df402 : r.df407) << "MSM" << type;
    }
  }
}

// Which satellites "ver" admits.
struct VerRow {
  int sys, number;
  std::uint32_t ver;
  bool carried;
};
const VerRow kVerRows[] = {
    {1, 24, 0, true},  {1, 25, 0, false}, {1, 25, 1, true},  {1, 24, 1, true},
    {5, 18, 0, true},  {5, 19, 0, false}, {5, 19, 1, true},  {5, 46, 0, false}, {5, 46, 1, true},
    {0, 32, 0, true},  {2, 36, 0, true},  {3, 136, 0, true}, {4, 195, 0, true}, {6, 9, 0, true},
};

TEST(Rtcm3MsmCoder, VersionSettingDropsLaterGlonassSlotsAndBeidou3) {
  signalTableLinks.isBeiPhase3 = [](int n) { return n >= 19; };
  for (const VerRow& r : kVerRows) {
    SCOPED_TRACE(std::to_string(r.sys) + "/" + std::to_string(r.number) + " ver " + std::to_string(r.ver));
    Base b(r.ver);
    b.sat(r.sys, r.sys == 1 ? 3 : (r.sys == 3 ? 120 : r.sys == 4 ? 193 : 1), {0, 4});  // always carried
    b.sat(r.sys, r.number, {0, 4});
    const std::vector<Bytes> f = b.frames(msmIndex(r.sys, 7));
    ASSERT_EQ(f.size(), 1u);
    const Msm m = read(f[0]);
    EXPECT_EQ(m.satIds.size(), r.carried ? 2u : 1u);
  }
  signalTableLinks.isBeiPhase3.set(nullptr);
}

// Splitting at 64 satellites or 64 cells, every part but the epoch's last with the multiple
// message bit.
struct SplitRow {
  const char* what;
  int sys, first, nsat;
  std::initializer_list<int> slots;
  std::vector<int> perFrame;
};
const SplitRow kSplitRows[] = {
    {"30 GPS x 3 signals", 0, 1, 30, {0, 2, 3}, {21, 9}},
    {"16 GPS x 4 signals: 64 cells", 0, 1, 16, {0, 2, 3, 4}, {16}},
    {"17 GPS x 4 signals", 0, 1, 17, {0, 2, 3, 4}, {16, 1}},
    {"32 GPS x 2 signals", 0, 1, 32, {0, 2}, {32}},
    {"63 BeiDou x 1 signal", 5, 1, 63, {0}, {63}},
    {"63 BeiDou x 2 signals", 5, 1, 63, {0, 2}, {32, 31}},
    {"39 SBAS x 2 signals", 3, 120, 39, {0, 4}, {32, 7}},
};

TEST(Rtcm3MsmCoder, SplitsAtSixtyFourSatellitesOrCells) {
  for (const SplitRow& r : kSplitRows) {
    SCOPED_TRACE(r.what);
    Base b;
    for (int k = 0; k < r.nsat; ++k) b.sat(r.sys, r.first + k, r.slots, 2.0e7 + k * 1000.0);
    const std::vector<Bytes> f = b.frames(msmIndex(r.sys, 7));
    ASSERT_EQ(f.size(), r.perFrame.size());
    int next = 1;
    for (std::size_t i = 0; i < f.size(); ++i) {
      const Msm m = read(f[i]);
      EXPECT_EQ(static_cast<int>(m.satIds.size()), r.perFrame[i]) << i;
      EXPECT_EQ(m.multiple, i + 1 < f.size() ? 1 : 0) << i;
      EXPECT_EQ(m.satIds.front(), next) << i;  // parts follow on in satellite order
      next = m.satIds.back() + 1;
      EXPECT_LE(f[i].size(), 1029u);
      EXPECT_TRUE(m.decoded) << i;
    }
    EXPECT_FALSE(b.coder.repeatMessage());
  }
}

// The multiple-message bit runs over every MSM of the epoch: only the last frame clears it, and
// a system with nothing usable is not waited for.
TEST(Rtcm3MsmCoder, MultipleMessageBitEndsWithTheEpochsLastFrame) {
  struct Row {
    const char* what;
    bool gloUsable;
    std::vector<int> bits;  // 1077 parts, then 1087
  };
  const Row rows[] = {{"GLONASS carried", true, {1, 1, 0}}, {"GLONASS without a usable signal", false, {1, 0}}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    Base b;
    for (int k = 1; k <= 30; ++k) b.sat(0, k, {0, 2, 3});
    RTK_DATA_SV& g = b.sat(1, 4, {0}, 2.1e7, -3);
    if (!r.gloUsable) g.slot[0].dCode = NAN;
    arm(b.coder, {msmIndex(0, 7), msmIndex(1, 7)});
    std::vector<Bytes> f = b.all(msmIndex(0, 7));
    const std::vector<Bytes> glo = b.all(msmIndex(1, 7));
    f.insert(f.end(), glo.begin(), glo.end());
    ASSERT_EQ(f.size(), r.bits.size());
    for (std::size_t i = 0; i < f.size(); ++i) EXPECT_EQ(read(f[i]).multiple, r.bits[i]) << i;
  }
}

// Satellites and signals a message must leave out, each with what stays.
struct LeaveOutRow {
  const char* what;
  int sys, type;
  void (*setup)(Base&);
  std::vector<int> satIds;     // in the mask
  std::uint32_t sigMask;
  std::uint64_t cells;         // the cell mask, row by satellite
  int cellBits;
};
const LeaveOutRow kLeaveOutRows[] = {
    {"no usable signal: NaN code", 0, 7, [](Base& b) { b.sat(0, 3, {0}); b.sat(0, 5, {0}).slot[0].dCode = NAN; },
     {3}, 0x40000000u, 1, 1},
    {"no usable signal: slot not allowed", 0, 7,
     [](Base& b) { RTC3_COD_SETTINGS s = b.coder.settings(); s.msm[2] = 0; b.coder.setSettings(s);
                   b.sat(0, 3, {0}); b.sat(0, 5, {2}); }, {3}, 0x40000000u, 1, 1},
    {"no usable signal: NaN phase in MSM4", 0, 4, [](Base& b) { b.sat(0, 3, {0}); b.sat(0, 5, {0}).slot[0].dPhase = NAN; },
     {3}, 0x40000000u, 1, 1},
    {"NaN phase is no matter to MSM1", 0, 1, [](Base& b) { b.sat(0, 3, {0}); b.sat(0, 5, {0}).slot[0].dPhase = NAN; },
     {3, 5}, 0x40000000u, 3, 2},
    {"NaN rate in MSM7", 0, 7, [](Base& b) { b.sat(0, 3, {0, 2}).slot[2].dRate = NAN; }, {3}, 0x40000000u, 1, 1},
    {"NaN rate is no matter to MSM6", 0, 6, [](Base& b) { b.sat(0, 3, {0, 2}).slot[2].dRate = NAN; }, {3}, 0x40400000u, 3, 2},
    {"GLONASS slot 0 not known yet", 1, 7, [](Base& b) { b.sat(1, 0, {0}); b.sat(1, 2, {0}); }, {2}, 0x40000000u, 1, 1},
    {"SBAS number below the first", 3, 7, [](Base& b) { b.sat(3, 119, {0}); b.sat(3, 184, {0}); b.sat(3, 158, {0}); },
     {39}, 0x40000000u, 1, 1},
    {"BeiDou 65 beyond the mask", 5, 7, [](Base& b) { b.sat(5, 65, {0}); b.sat(5, 64, {0}); }, {64}, 0x40000000u, 1, 1},
    {"a repeated satellite keeps its first entry", 0, 7, [](Base& b) { b.sat(0, 8, {0}); b.sat(0, 8, {2}); },
     {8}, 0x40000000u, 1, 1},
    // L2 code 700 m from L1: beyond the +-2^-10 ms fine range of both widths; L1 stays.
    {"code beyond the fine range, MSM4", 0, 4, [](Base& b) { b.sat(0, 3, {0, 2}).slot[2].dCode += 700; }, {3}, 0x40000000u, 1, 1},
    {"code beyond the fine range, MSM7", 0, 7, [](Base& b) { b.sat(0, 3, {0, 2}).slot[2].dCode += 700; }, {3}, 0x40000000u, 1, 1},
    {"code at 250 m stays, MSM7", 0, 7, [](Base& b) { b.sat(0, 3, {0, 2}).slot[2].dCode += 250; }, {3}, 0x40400000u, 3, 2},
    // Phase 1500 m from the code: beyond +-2^-8 ms (1171 m).
    {"phase beyond the fine range, MSM3", 0, 3, [](Base& b) { b.sat(0, 3, {0, 2}).slot[2].dPhase += 1500; }, {3}, 0x40000000u, 1, 1},
    {"phase beyond the fine range, MSM6", 0, 6, [](Base& b) { b.sat(0, 3, {0, 2}).slot[2].dPhase += 1500; }, {3}, 0x40000000u, 1, 1},
    {"phase 1500 m away is no matter to MSM1", 0, 1, [](Base& b) { b.sat(0, 3, {0, 2}).slot[2].dPhase += 1500; },
     {3}, 0x40400000u, 3, 2},
    {"phase at 1100 m stays, MSM7", 0, 7, [](Base& b) { b.sat(0, 3, {0, 2}).slot[2].dPhase += 1100; }, {3}, 0x40400000u, 3, 2},
    {"rate 2 m/s from the other signal, MSM5", 0, 5,
     [](Base& b) { RTK_DATA_SV& s = b.sat(0, 3, {0, 2, 3}); s.slot[3].dRate += 4; }, {3}, 0x40400000u, 3, 2},
    {"pseudorange of 255 ms and more", 0, 7, [](Base& b) { b.sat(0, 3, {0}); b.sat(0, 4, {0}, 255 * kLightMs); },
     {3}, 0x40000000u, 1, 1},
};

TEST(Rtcm3MsmCoder, LeavesOutWhatItsFieldsCannotCarry) {
  for (const LeaveOutRow& r : kLeaveOutRows) {
    SCOPED_TRACE(r.what);
    Base b;
    r.setup(b);
    const std::vector<Bytes> f = b.frames(msmIndex(r.sys, r.type));
    ASSERT_EQ(f.size(), 1u);
    const Msm m = read(f[0]);
    EXPECT_EQ(m.satIds, r.satIds);
    EXPECT_EQ(m.sigMask, r.sigMask);
    EXPECT_EQ(bits(f[0], kCellMaskBit, r.cellBits), r.cells);
    ASSERT_TRUE(m.decoded);
    EXPECT_FALSE(b.coder.repeatMessage());
  }
}

TEST(Rtcm3MsmCoder, SystemWithNothingUsableBuildsNothing) {
  Base b;
  b.sat(0, 5, {0}).slot[0].dCode = -1.0;
  arm(b.coder, {msmIndex(0, 7)});
  EXPECT_TRUE(build(b.coder, msmIndex(0, 7)).empty());
  EXPECT_FALSE(b.coder.repeatMessage());
}

// The rough range is rounded as a whole in 2^-10 ms: a remainder that rounds up to 1024 carries
// into the whole milliseconds. Read back whole (integer ms + rough + fine) within 1 mm.
TEST(Rtcm3MsmCoder, RoughRangeCarriesIntoTheWholeMillisecond) {
  const double kRows[] = {70.0 + 1023.6 / 1024, 70.0 + 1023.4 / 1024, 70.0 + 0.4 / 1024, 70.99999999, 71.0,
                          66.5, 86.0 + 1023.5 / 1024, 0.2};
  for (double ms : kRows) {
    SCOPED_TRACE(ms);
    for (int type : {4, 5, 6, 7}) {
      Base b;
      b.sat(0, 12, {0}, ms * kLightMs);
      const std::vector<Bytes> f = b.frames(msmIndex(0, type));
      ASSERT_EQ(f.size(), 1u);
      const Msm m = read(f[0]);
      ASSERT_TRUE(m.decoded);
      const RTC3_MSM_SAT& s = m.obs.msm[0];
      EXPECT_EQ(s.intMs, static_cast<int>(std::floor(ms * 1024 + 0.5) / 1024)) << type;
      EXPECT_NEAR(s.intMs * kLightMs + s.sig[0].pr, ms * kLightMs, type >= 6 ? 0.001 : 0.009) << type;
    }
  }
}

// Every type's fields, satellites in ascending id whatever the entry order, values read back by
// the decoder within the resolution of the type's fields.
struct TypeRow {
  int type;
  double prTol, phaseTol;  // m
  bool cnr, rate;
  int cnrTol;
};
const TypeRow kTypeRows[] = {
    // Half a unit: 2^-25 ms of code and 2^-30 ms of phase (MSM1-5), 2^-30 and 2^-32 ms (MSM6-7).
    {1, 0.009, -1, false, false, 0}, {2, -1, 0.0003, false, false, 0}, {3, 0.009, 0.0003, false, false, 0},
    {4, 0.009, 0.0003, true, false, 0}, {5, 0.009, 0.0003, true, true, 0}, {6, 0.0003, 0.00008, true, false, 0},
    {7, 0.0003, 0.00008, true, true, 0},
};

TEST(Rtcm3MsmCoder, EveryTypeReadsBackInAscendingSatelliteOrder) {
  const int numbers[] = {17, 3, 28, 9};  // elevation order
  for (const TypeRow& r : kTypeRows) {
    for (int sys : {0, 1, 2, 4, 5}) {
      SCOPED_TRACE("MSM" + std::to_string(r.type) + " system " + std::to_string(sys));
      Base b;
      for (int k = 0; k < 4; ++k) {
        const int n = sys == 4 ? 192 + numbers[k] % 10 + 1 : numbers[k] % 24 + 1;
        RTK_DATA_SV& sv = b.sat(sys, n, {0, 2}, 2.0e7 + n * 37001.3771, sys == 1 ? n % 14 - 7 : 0);
        sv.slot[0].uCn0 = static_cast<std::uint8_t>(150 + n);
        sv.slot[2].dPhase += 7.123456;
        sv.slot[2].dRate += 0.0123;
      }
      const std::vector<Bytes> f = b.frames(msmIndex(sys, r.type));
      ASSERT_EQ(f.size(), 1u);
      const Msm m = read(f[0]);
      ASSERT_TRUE(m.decoded);
      EXPECT_EQ(m.number, 1071 + sys * 10 + r.type - 1);
      EXPECT_EQ(m.station, 1234);
      ASSERT_EQ(m.satIds.size(), 4u);
      for (std::size_t i = 1; i < m.satIds.size(); ++i) EXPECT_LT(m.satIds[i - 1], m.satIds[i]);
      for (std::size_t i = 0; i < 4; ++i) {
        const int number = m.satIds[i] - 1 + SYS_SAT_MIN[sys];
        const RTK_DATA_SV* sv = nullptr;
        for (int k = 0; k < 4; ++k)
          if (b.src.rtk.sat[k].uNumber == number) sv = &b.src.rtk.sat[k];
        ASSERT_NE(sv, nullptr);
        const RTC3_MSM_SAT& s = m.obs.msm[i];
        for (int slot : {0, 2}) {
          const RTK_DATA_SLOT& d = sv->slot[slot];
          const RTC3_MSM_SIG& g = s.sig[slot];
          const double whole = r.type >= 4 ? s.intMs * kLightMs : std::floor(d.dCode / kLightMs) * kLightMs;
          if (r.prTol > 0) { EXPECT_NEAR(whole + g.pr, d.dCode, r.prTol) << number << "/" << slot; }
          if (r.phaseTol > 0) { EXPECT_NEAR(whole + g.phase, d.dPhase, r.phaseTol) << number << "/" << slot; }
          if (r.cnr) { EXPECT_NEAR(g.cnr, d.uCn0 / 4.0, r.type >= 6 ? 0.5 : 0.75) << number << "/" << slot; }
          if (r.rate) { EXPECT_NEAR(g.rate, d.dRate, 0.0001) << number << "/" << slot; }
        }
        if (r.type == 5 || r.type == 7) {
          // Extended satellite information: the GLONASS frequency number + 7.
          EXPECT_EQ(static_cast<int>(bits(f[0], kCellMaskBit + 8 + 8 * 4 + 4 * static_cast<int>(i), 4)),
                    sys == 1 ? sv->cGloFreq + 7 : 0);
        }
      }
    }
  }
}

// The header: station, epoch time (GLONASS day of week and time of day), clock steering,
// divergence-free flag and smoothing interval.
TEST(Rtcm3MsmCoder, HeaderCarriesEpochAndSmoothing) {
  struct Row {
    int sys;
    std::uint32_t time;
    std::uint8_t dow, steered, setup, smoothing;
    std::uint32_t epoch;
  };
  const Row rows[] = {{0, 518400000u, 0, 0, 0, 0, 518400000u},      {0, 604799999u, 0, 1, 1, 5, 604799999u},
                      {1, 86399000u, 6, 1, 0, 2, 6u << 27 | 86399000u}, {1, 0u, 3, 0, 1, 7, 3u << 27},
                      {2, 123456789u, 0, 0, 0, 1, 123456789u},      {5, 604785000u, 0, 0, 0, 0, 604785000u},
                      {6, 1000u, 0, 1, 1, 3, 1000u}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.sys);
    Base b;
    b.src.rtk.ulTime[r.sys] = r.time;
    b.src.rtk.uDayOfWeek = r.dow;
    b.src.rtk.bClockCorrected = r.steered;
    b.src.rtk.bSetup = r.setup;
    b.src.rtk.uRtcm3Smoothing = r.smoothing;
    b.sat(r.sys, r.sys == 6 ? 2 : 3, {r.sys == 6 ? 4 : 0});
    const std::vector<Bytes> f = b.frames(msmIndex(r.sys, 4));
    ASSERT_EQ(f.size(), 1u);
    const Msm m = read(f[0]);
    EXPECT_EQ(m.epoch, r.epoch);
    EXPECT_EQ(m.steering, r.steered);
    EXPECT_EQ(m.smoothFlag, r.setup);
    EXPECT_EQ(m.interval, r.smoothing);
    EXPECT_EQ(bits(f[0], 79, 10), 0u);  // IODS and reserved
    EXPECT_EQ(bits(f[0], 91, 2), 0u);   // external clock
  }
}

// Only the slots the msm/ settings allow.
TEST(Rtcm3MsmCoder, SignalSettingsSelectTheSlots) {
  const std::uint32_t kGpsIds[6] = {2, 4, 10, 17, 24, 32};
  for (int off = 0; off < 6; ++off) {
    SCOPED_TRACE(off);
    Base b;
    RTC3_COD_SETTINGS s = b.coder.settings();
    s.msm[off] = 0;
    b.coder.setSettings(s);
    b.sat(0, 6, {0, 1, 2, 3, 4, 5});
    const std::vector<Bytes> f = b.frames(msmIndex(0, 7));
    ASSERT_EQ(f.size(), 1u);
    std::uint32_t want = 0;
    for (int k = 0; k < 6; ++k)
      if (k != off) want |= 0x80000000u >> (kGpsIds[k] - 1);
    EXPECT_EQ(read(f[0]).sigMask, want);
  }
}

// A new message number starts its parts afresh; a repeat of a finished one starts again.
TEST(Rtcm3MsmCoder, PartStateFollowsTheMessageNumber) {
  Base b;
  for (int k = 1; k <= 30; ++k) b.sat(0, k, {0, 2, 3});
  arm(b.coder, {msmIndex(0, 7), msmIndex(0, 4)});
  EXPECT_EQ(read(build(b.coder, msmIndex(0, 7))).satIds.size(), 21u);
  EXPECT_TRUE(b.coder.repeatMessage());
  EXPECT_EQ(read(build(b.coder, msmIndex(0, 4))).satIds.front(), 1);  // not 22
}

}  // namespace

namespace {

// Random epoch data, raw bytes and values near every edge (NaN, infinities, negative and huge
// ranges, phases and rates off by any amount): every frame is whole, readable by the decoder,
// and the parts of every message end.
TEST(Rtcm3MsmCoder, RandomEpochDataBuildsOnlyWholeFrames) {
  std::mt19937 rng(61);
  const double kEdges[] = {NAN, INFINITY, -INFINITY, -1.0, 0.0, 1e300, 255 * kLightMs, 2.2e7, 2.2e7 + 300, 2.2e7 - 1200};
  for (int round = 0; round < 400; ++round) {
    SCOPED_TRACE(round);
    Base b(rng() & 1);
    if (round % 2 == 0) {
      auto* raw = reinterpret_cast<std::uint8_t*>(&b.src.rtk);
      for (std::size_t i = 0; i < sizeof b.src.rtk; ++i) raw[i] = static_cast<std::uint8_t>(rng());
    } else {
      for (int k = 0; k < 40; ++k) {
        RTK_DATA_SV& sv = b.sat(static_cast<int>(rng() % 7), static_cast<int>(rng() % 210), {0, 1, 2, 3, 4, 5},
                                2.0e7 + static_cast<double>(rng() % 100000));
        for (RTK_DATA_SLOT& d : sv.slot) {
          if (rng() % 3 == 0) d.dCode = kEdges[rng() % std::size(kEdges)];
          if (rng() % 3 == 0) d.dPhase = kEdges[rng() % std::size(kEdges)];
          if (rng() % 3 == 0) d.dRate = kEdges[rng() % std::size(kEdges)] / 1e4;
          d.ulLock = rng();
          d.uCn0 = static_cast<std::uint8_t>(rng());
          d.bPresent = static_cast<std::uint8_t>(rng() % 4);
        }
      }
    }
    bool flags[kRtc3MsgCount] = {};
    for (int i = kRtc3MsgMsmFirst; i <= kRtc3MsgMsmLast; ++i) flags[i] = true;
    b.coder.initCoding(flags, 1);
    b.coder.makeCoding();
    for (int i = kRtc3MsgMsmFirst; i <= kRtc3MsgMsmLast; ++i) {
      const std::vector<Bytes> f = b.all(i);
      ASSERT_LT(f.size(), 64u) << msgNumbers[i];
      for (const Bytes& x : f) {
        ASSERT_LE(x.size(), 1029u);
        const int len = (x[1] & 3) << 8 | x[2];
        ASSERT_EQ(static_cast<std::size_t>(len) + 6, x.size());
        ASSERT_EQ(bits(x, static_cast<int>(x.size() - 3) * 8, 24), crc24q(0, x.data(), static_cast<std::uint32_t>((len + 3) * 8)));
        const Msm m = read(x);
        ASSERT_TRUE(m.decoded) << msgNumbers[i];
        ASSERT_FALSE(m.satIds.empty());
        ASSERT_LE(m.satIds.size() * static_cast<std::size_t>(std::popcount(m.sigMask)), 64u);
      }
    }
  }
}

}  // namespace
