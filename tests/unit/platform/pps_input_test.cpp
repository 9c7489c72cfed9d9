// The PPS line read from the kernel's PPS class: the assert attribute's text as the kernel writes
// it ("%lld.%09d#%d\n", drivers/pps/sysfs.c), and a pulse near a whole-second epoch timing it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <regex>
#include <string>

#include "platform/pps_input.h"
#include "platform/rtos_time.h"
#include "unit/platform/hand_clock.h"
#include "unit/platform/temp_run_dir.h"

namespace {

std::int64_t ns(const SysTime& t) { return t.sec * 1000000000LL + t.nsec; }

// The kernel's text of a pulse at `totalNs` with sequence `seq`, written as the kernel does.
std::string kernelText(std::int64_t totalNs, int seq) {
  char b[64];
  std::snprintf(b, sizeof b, "%lld.%09d#%d\n", static_cast<long long>(totalNs / 1000000000),
                static_cast<int>(totalNs % 1000000000), seq);
  return b;
}

TEST(PpsAssertText, KernelFormatTakenAnythingElseRefused) {
  const struct {
    std::string text;
    bool ok;
    std::int64_t totalNs;
  } rows[] = {
      {kernelText(1700000000123456789LL, 42), true, 1700000000123456789LL},
      {kernelText(1700000000700000000LL, 7), true, 1700000000700000000LL},  // nearer the next second
      {kernelText(5, 1), true, 5},
      {"1700000000.123456789#42", true, 1700000000123456789LL},  // no line end
      {"0.000000000#0\n", false, 0},                            // before the first pulse
      {"", false, 0},
      {"\n", false, 0},
      {"1700000000.12345678#1\n", false, 0},    // 8 digits of nanoseconds
      {"1700000000.1234567890#1\n", false, 0},  // 10
      {"1700000000.123456789\n", false, 0},
      {"1700000000.123456789#\n", false, 0},
      {"1700000000#1\n", false, 0},
      {"-5.000000000#1\n", false, 0},
      {"1 .000000000#1\n", false, 0},
      {"1.000000000#1\n\n", false, 0},
      {"1.000000000#1x", false, 0},
      {"abc", false, 0},
      {"99999999999999999999.000000000#1\n", false, 0},
  };
  for (const auto& r : rows) {
    SysTime t{};
    EXPECT_EQ(ppsParseAssert(r.text.data(), r.text.size(), t), r.ok) << r.text;
    if (r.ok) {
      EXPECT_EQ(ns(t), r.totalNs) << r.text;
      EXPECT_TRUE(t.nsec >= -500000000 && t.nsec < 500000000) << r.text;
    }
  }
  SysTime t{};
  EXPECT_FALSE(ppsParseAssert(nullptr, 0, t));
}

// Cut anywhere, the text is refused unless a digit of its sequence is left; random bytes in it are
// refused unless they happen to leave a text of the kernel's form.
TEST(PpsAssertText, TruncatedAndRandomText) {
  const std::string whole = kernelText(1765000000250000001LL, 123);
  for (std::size_t n = 0; n <= whole.size(); ++n) {
    SysTime t{};
    EXPECT_EQ(ppsParseAssert(whole.data(), n, t), n >= whole.find('#') + 2) << n;
  }
  // The kernel's form, written independently: digits, a point, nine digits, '#', digits.
  const std::regex kForm("[0-9]{1,18}\\.[0-9]{9}#[0-9]{1,10}\n?");
  std::mt19937 rng(7);
  for (int i = 0; i < 2000; ++i) {
    std::string s = whole;
    s[rng() % s.size()] = static_cast<char>(rng() % 256);
    SysTime t{};
    const bool ok = ppsParseAssert(s.data(), s.size(), t);
    long long sec = 0, seq = 0;
    int nsec = 0;
    const bool form = std::regex_match(s, kForm) && std::sscanf(s.c_str(), "%lld.%d#%lld", &sec, &nsec, &seq) == 3 && seq != 0;
    EXPECT_EQ(ok, form) << s;
    if (ok) {
      EXPECT_EQ(ns(t), sec * 1000000000LL + nsec) << s;
    }
  }
}

using PpsLine = TempRunDir;
SysTime g_epoch;

// With the machine clock frozen, the epoch's reading is the frozen time unless the file's pulse
// lies within 100 ms of it on a whole second.
TEST_F(PpsLine, PulseTimesAWholeSecondEpochOnlyWhenItAgrees) {
  const char* const kFile = "host/sys/class/pps/pps0/assert";
  rtosPpsSource = ppsInputRead;
  rtosGnssEpochHook = [](const SysTime& t, int) { g_epoch = t; };
  handclock::manual(true);
  const struct {
    const char* what;
    int pulseMs;         // pulse minus the clock reading, ms
    const char* text;    // the file's text instead of the pulse's (null: the pulse's)
    bool write;          // false: no file at all
    int rcvMs;
    bool used;
  } rows[] = {
      {"40 ms before a whole second", -40, nullptr, true, 5000, true},
      {"100 ms after", 100, nullptr, true, 6000, true},
      {"150 ms away", -150, nullptr, true, 7000, false},
      {"101 ms away", 101, nullptr, true, 7000, false},
      {"not a whole second", -40, nullptr, true, 7100, false},
      {"no file", -40, nullptr, false, 8000, false},
      {"empty file", 0, "", true, 9000, false},
      {"garbled", 0, "12x.000000001#3\n", true, 10000, false},
      {"no pulse yet", 0, "0.000000000#0\n", true, 11000, false},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    std::remove(kFile);
    SysTime now;
    rtosTimeGet(now);
    // The kernel stamps with the machine's clock, the program reads the steered one.
    const std::int64_t pulseNs = ns(now) + r.pulseMs * 1000000LL;
    if (r.write) writeFile(kFile, r.text ? std::string(r.text) : kernelText(pulseNs - rtosVirtualOffsetNs(), 9));
    rtosGnssEpoch(r.rcvMs);
    EXPECT_EQ(ns(g_epoch), r.used ? pulseNs : ns(now));
  }
  handclock::manual(false);
  rtosPpsSource = nullptr;
  rtosGnssEpochHook = nullptr;
}

}  // namespace
