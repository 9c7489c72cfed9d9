// The board's signal measurements reach the channels' signal records: code time, carrier phase,
// Doppler, level, lock time and status flags, as the board simulator's writer puts the values of
// its synthetic constellation into the words; refused entries leave the records alone.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "../../../tools/gnss_board_sim/sim_sky.h"
#include "positioning/chan_data.h"
#include "unit/gnss_link/native_test_util.h"
#include "fixtures/nav_files.h"

namespace {

using namespace ntest;

constexpr double kC = 299792458.0;

// The simulator's frames as the decoder reads them (its "@@" frames carry no checksum either).
TEST(RawDecoderSignals, TheSimulatorsSkyReachesTheSignalRecords) {
  sim::LnavBroadcast nav;
  ASSERT_TRUE(nav.load(navfiles::testdata("brdc1820.10n")));
  sim::Sky sky(nav, sim::Site{});
  const std::int64_t week = 1590LL * 604800;
  RawFeed f;
  std::vector<sim::SkySat> sats;
  // Two epochs: the lock time grows, the records are written again.
  for (int k = 0; k < 2; ++k) {
    sats = sky.at(week + 4 * 86400 + 5 * 3600 + k, 0);
    ASSERT_GE(sats.size(), 6u);
    f.put(epochStart(kEpochTime + 1000 * k) + sim::satDataRecord(sats) + sim::chanStatesRecord(sats) +
          sim::sigMeasRecord(sats));
  }
  int signals = 0;
  for (const sim::SkySat& s : sats) {
    const ChanData& ch = Cdat[s.channel];
    EXPECT_EQ(ch.sysCode, 0);
    EXPECT_EQ(ch.svNum, s.prn);
    EXPECT_EQ(ch.bDataPresent, 1);
    for (const sim::SkySignal& g : s.sig) {
      SCOPED_TRACE("G" + std::to_string(s.prn) + " slot " + std::to_string(g.slot));
      const ChanSigData* r = ch.sig(g.slot);
      ASSERT_NE(r, &SdatEmpty);
      EXPECT_NEAR(r->code * kC, g.code, 3e-4);
      EXPECT_NEAR(r->phase, g.phase, 2e-5);
      EXPECT_NEAR(r->doppler, g.doppler, 1e-4);
      EXPECT_NEAR(r->cn0, g.cn0, 0.01);
      EXPECT_EQ(r->lockValue, 1000) << "followed for one second";
      EXPECT_EQ(r->flags, 0x151);
      EXPECT_DOUBLE_EQ(r->freq, g.freq);
      ++signals;
    }
  }
  EXPECT_GE(signals, 12);
}

// Hand-made entries: {slot, channel, flags, code words, eight words, extra words}.
std::string entry(int slot, int ch, std::uint32_t flags, std::uint64_t code, std::int64_t phase, std::int32_t dop,
                  std::uint32_t cn0, std::uint32_t lock) {
  std::string e = le(slot, 1) + le(ch, 1) + le(flags, 4) + le(code, 8) + le(static_cast<std::uint64_t>(phase), 8) +
                  le(static_cast<std::uint32_t>(dop), 4) + le(cn0, 4) + le(lock, 4) + std::string(12, '\0');
  return e + (flags & 4 ? le(0xAAAA, 4) : "") + (flags & 8 ? le(0xBBBB, 4) : "");
}
std::string satOf(int ch, int prn) {
  return le(ch, 1) + le(0, 1) + le(prn, 1) + le(0, 2) + le(1, 1) + le(0, 1) + le(0, 2) + lef(45.0f) + le(0, 2);
}

TEST(RawDecoderSignals, WordsIntoTheRecordRowByRow) {
  struct Row {
    const char* what;
    int slot, ch;
    std::uint32_t flags;
    std::uint64_t code;
    std::int64_t phase;
    std::int32_t dop;
    std::uint32_t cn0, lock;
    // What the record holds after the epoch.
    double code_s, phase_cyc, dop_hz, cn0_db;
    int lockValue, recFlags;
  };
  const Row rows[] = {
      {"plain", 0, 7, 0x151, 1ull << 40, 3 << 16, 12345, 4500, 20000, 1.0, 3.0, 1.2345, 45.0, 20000, 0x151},
      {"negative phase and Doppler", 2, 7, 0x151, 3ull << 39, -(5ll << 16) - (1 << 15), -25000, 3000, 5,
       1.5, -5.5, -2.5, 30.0, 5, 0x151},
      {"extra words: their flag bits are the record's framing only", 3, 8, 0x15D, 1ull << 38, 1 << 16, 0, 100, 1,
       0.25, 1.0, 0.0, 1.0, 1, 0x151},
      {"a lock beyond 16 bits holds at its largest", 0, 8, 0x51, 1ull << 40, 0, 0, 5000, 70000, 1.0, 0.0, 0.0, 50.0,
       65535, 0x51},
      {"flags as sent: phase reset, not for code", 1, 9, 0x861, 1ull << 40, 0, 0, 5000, 0, 1.0, 0.0, 0.0, 50.0, 0, 0x861},
  };
  RawFeed f;
  std::string sats, sigs;
  for (const Row& r : rows) sigs += entry(r.slot, r.ch, r.flags, r.code, r.phase, r.dop, r.cn0, r.lock);
  sats = satOf(7, 5) + satOf(8, 6) + satOf(9, 7);
  // A refused slot and a refused channel leave every record alone.
  sigs += entry(6, 7, 0x151, 1, 1, 1, 1, 1) + entry(0, 182, 0x151, 1, 1, 1, 1, 1);
  f.put(epochStart(kEpochTime) + s2m(rec(7, le(15, 1) + le(3, 1) + sats)) +
        s2m(rec(11, le(0, 1) + le(std::size(rows) + 2, 1) + sigs)));
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    const ChanSigData* s = Cdat[r.ch].sig(r.slot);
    ASSERT_NE(s, &SdatEmpty);
    EXPECT_DOUBLE_EQ(s->code, r.code_s);
    EXPECT_DOUBLE_EQ(s->phase, r.phase_cyc);
    EXPECT_NEAR(s->doppler, r.dop_hz, 1e-9);
    EXPECT_NEAR(s->cn0, r.cn0_db, 1e-4);
    EXPECT_EQ(s->lockValue, r.lockValue);
    EXPECT_EQ(s->flags, r.recFlags);
  }
  EXPECT_EQ(Cdat[181].sig(0), &SdatEmpty);
  // The next epoch starts with every signal not valid until its measurement comes again.
  f.put(epochStart(kEpochTime + 1000));
  for (const Row& r : rows) EXPECT_EQ(Cdat[r.ch].sig(r.slot)->flags, 0) << r.what;
}

}  // namespace
