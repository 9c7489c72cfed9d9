// The small pieces: hooks, CRC-24Q, debug prints, rings, task primitives, system files, port names, clocks.
#include <gmock/gmock.h>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>

#include <functional>
#include <random>
#include <thread>

#include "platform/chrony.h"
#include "platform/crc.h"
#include "platform/debug.h"
#include "platform/dev_ring_buf.h"
#include "platform/exit.h"
#include "platform/hook.h"
#include "platform/identity.h"
#include "platform/misc_par.h"
#include "platform/mono_clock.h"
#include "platform/ports/in_port.h"
#include "platform/rtc.h"
#include "platform/rtos.h"
#include "platform/rtos_time.h"
#include "temp_run_dir.h"
#include "unit/own_process.h"

namespace {

std::string g_trace;
Hook<int(int)> valueHook("test", "value", -1);
Hook<void(int)> voidHook("test", "void");
HookList<void(int), 2> listHook("test", "list");

TEST(Hook, EmptyGivesItsDeclaredValueFilledCallsListRunsInOrderAndTheRegistrySeesAll) {
  g_trace.clear();
  const HookInfo *v = hookFind("test", "value"), *l = hookFind("test", "list");
  ASSERT_TRUE(v && l);
  EXPECT_EQ(hookFind("test", "nothing"), nullptr);
  EXPECT_EQ(valueHook(5), -1);
  voidHook(5), listHook(5);
  EXPECT_EQ(v->count(v->self) + l->count(l->self), 0);
  valueHook = [](int x) { return 2 * x; };
  voidHook = [](int x) { g_trace += "v" + std::to_string(x); };
  EXPECT_EQ(valueHook(5), 10);
  voidHook(3);
  void (*first)(int) = [](int) { g_trace += "a"; };
  EXPECT_EQ((std::vector{listHook.add(first), listHook.add(first), listHook.add([](int) { g_trace += "b"; }),
                         listHook.add([](int) { g_trace += "c"; })}), (std::vector{true, false, true, false}));  // twice; full
  listHook(1);
  EXPECT_EQ(g_trace, "v3ab");
  EXPECT_EQ(v->count(v->self), 1);
  EXPECT_EQ(l->count(l->self), 2);
}

// Straight from the definition: one message bit at a time.
std::uint32_t bitwiseCrc24q(std::uint32_t crc, const std::uint8_t* data, std::uint32_t bits) {
  for (std::uint32_t i = 0; i < bits; ++i)
    crc = ((crc << 1) ^ ((((crc >> 23) ^ (data[i / 8] >> (7 - i % 8))) & 1u) ? 0x1864CFBu : 0u)) & 0xFFFFFF;
  return crc;
}

TEST(Crc24q, CheckValueAndBitwiseReferenceOverAnyBitCount) {
  EXPECT_EQ(crc24q(0, reinterpret_cast<const std::uint8_t*>("123456789"), 72), 0xCDE703u);
  std::mt19937 rng(7);
  std::uint8_t data[64];
  for (auto& b : data) b = static_cast<std::uint8_t>(rng());
  for (std::uint32_t bits = 0; bits <= 64 * 8; bits += (bits < 40 ? 1 : 13))
    for (std::uint32_t init : {0u, 0x123456u, 0xFFFFFFu})
      EXPECT_EQ(crc24q(init, data, bits), bitwiseCrc24q(init, data, bits)) << bits << " " << init;
}

TEST(DebPrintfx, CategoryMaskDecidesAndLongLinesAreCut) {
  const struct { std::uint32_t mask; int category; bool prints; } cases[] = {{0, -1, true}, {0, 0, false}, {1u, 0, true},
      {1u << 31, 31, true}, {0xFFFFFFFFu, 32, false}, {0xFFFFFFFFu, -2, false}, {0x10, 4, true}, {0x10, 5, false}};
  for (const auto& c : cases) {
    ::testing::internal::CaptureStderr();
    debMask = c.mask, debPrintfx(c.category, "x%d", 7);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.prints ? "x7" : "") << c.mask << " " << c.category;
  }
  ::testing::internal::CaptureStderr();
  debPrintfx(-1, "%s", std::string(2000, 'a').c_str());
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), std::string(511, 'a'));
}

TEST(DevRingBuf, WrapsRefusesWhatDoesNotFitAndTakesPositionsAcrossTheCounterWrap) {
  std::uint8_t mem[100], in[200], out[200];
  for (int i = 0; i < 200; ++i) in[i] = static_cast<std::uint8_t>(i);
  const std::uint32_t sizes[][2] = {{100, 64}, {64, 64}, {3, 2}, {1, 1}, {0, 0}};  // cut to a power of two
  for (const auto& s : sizes) EXPECT_EQ(DevRingBuf(mem, s[0]).put(in, 200), s[1]) << s[0];
  DevRingBuf r(mem, 16), e(mem, 8);
  EXPECT_EQ(r.put(in, 10), 10u);
  EXPECT_EQ(r.get(out, 6), 6u);
  EXPECT_EQ(r.put(in + 10, 20), 12u);  // crosses the end of the buffer
  EXPECT_EQ(r.put(in, 1), 0u);
  EXPECT_EQ(r.get(out, 32), 16u);
  EXPECT_EQ(std::vector(out, out + 16), std::vector(in + 6, in + 22));
  std::uint32_t wr = 0xFFFFFFFCu, rd = wr;
  EXPECT_EQ(e.putAt(wr, rd, in, 6), 6u);
  EXPECT_EQ(e.getAt(rd, wr, out, 6), 6u);
  EXPECT_EQ(std::vector(out, out + 6), std::vector(in, in + 6));
  EXPECT_EQ(wr, 2u);
  std::uint32_t bad = wr - 100;  // cannot belong to one ring with wr: refused, not trusted
  EXPECT_EQ(e.getAt(bad, wr, out, 6) + e.putAt(wr, bad, in, 6), 0u);
}

// The mailbox's rendezvous (a sender waits until let go) is proved through the parser task.
TEST(Rtos, WaitsTimeOutAfterTheirTicksAndSemaphoresCount) {
  BinSem bin(false), held(false), done(false);
  CountSem count(0);
  MailBoxImp box;
  Mutex m;
  std::thread holder([&] { m.lock(), held.post(), done.wait(), m.unlock(); });
  held.wait();
  const struct { const char* what; int ticks; std::function<bool(int)> wait; } cases[] = {
      {"binsem", 2, [&](int t) { return bin.wait(t); }}, {"countsem", 4, [&](int t) { return count.wait(t); }},
      {"mutex", 3, [&](int t) { return m.lock(t); }}, {"mailbox", 3, [&](int t) { return box.get_(t) != nullptr; }}};
  for (const auto& c : cases) {
    const std::uint32_t t0 = MonoClock::ms();
    EXPECT_FALSE(c.wait(c.ticks)) << c.what;
    EXPECT_GE(MonoClock::ms() - t0, static_cast<std::uint32_t>(c.ticks * rtos::kTickMs)) << c.what;
  }
  done.post();
  holder.join();
  bin.post(), bin.post(), count.post(), count.post();
  EXPECT_EQ((std::vector{bin.wait(0), bin.wait(0), count.wait(0), count.wait(0), count.wait(0)}),
            (std::vector{true, false, true, true, false}));
}

TEST(SysTime, AssignNormalisesAndDeltaCounts) {
  // The seconds go on past 2038-01-19 03:14:07 (2^31 - 1) and past 2106 (2^32) without wrapping.
  const struct { std::int64_t s, ns, wantS; std::int32_t wantNs; } cases[] = {{10, 0, 10, 0}, {10, 499999999, 10, 499999999},
      {10, 500000000, 11, -500000000}, {10, 1700000000, 12, -300000000}, {10, -500000000, 10, -500000000},
      {10, -500000001, 9, 499999999}, {0, -2300000000, -2, -300000000},
      {2147483647, 500000000, 2147483648, -500000000}, {4294967295, 1000000000, 4294967296, 0}};
  SysTime t, a, b;
  for (const auto& c : cases) EXPECT_EQ((t.assign(c.s, c.ns), std::pair(t.sec, t.nsec)), std::pair(c.wantS, c.wantNs)) << c.ns;
  a.assign(100, 250000000);
  b.assign(98, -250000000);
  EXPECT_EQ(a.deltaMs(b), 2500);
  EXPECT_EQ(b.deltaMs(a), -2500);
  a.assign(2147483648, 0);
  b.assign(2147483647, 0);
  EXPECT_EQ(a.deltaMs(b), 1000) << "no wrap across 2038";
}

TEST(PortIndex, NamesDecoderPortsAndLetters) {
  const struct { int io; const char* name; int dec; char letter; } cases[] = {{0, "cur/file/a", -1, 0},
      {5, "dev/ser/a", 0, 'A'}, {9, "dev/shm/a", 4, '0'}, {16, "dev/shm/h", 11, '7'}, {21, "dev/tcp/e", 16, 'I'},
      {22, "dev/http/a", -1, 0}, {24, "dev/tcpcl/b", 18, 'Q'}, {29, "dev/udp/e", -1, 0}, {39, "dev/ntrip/e", -1, 0},
      {40, "dev/usb/a", 19, 'U'}, {42, "dev/can/b", 21, 'h'}, {43, "dev/null", -1, 0}, {-1, "dev/null", -1, 0}};
  for (const auto& c : cases) {
    EXPECT_STREQ(iopGetName(c.io), c.name);
    EXPECT_EQ(c.dec >= 0 ? InPorts::getDlChar(c.dec) : '\0', c.letter) << c.name;
    EXPECT_EQ(c.io >= 0 ? InPorts::io2dec_[c.io] : -1, c.dec) << c.name;
  }
  int withDecoder = 0;
  for (int io = 0; io < IOP_NULL; ++io) {
    const std::string name = iopGetName(io);
    EXPECT_EQ(std::pair(iopFind(name.c_str()), iopFind(("/" + name).c_str())), std::pair(io, io));
    withDecoder += InPorts::io2dec_[io] >= 0 && InPorts::dec2io_[InPorts::io2dec_[io]] == io;
  }
  EXPECT_EQ(withDecoder, InPorts::DEC_NUM);
  EXPECT_EQ((std::vector{iopFind("dev/ser/e"), iopFind(nullptr), InPorts::find("dev/udp/a"), InPorts::find("/dev/usb/a")}),
            (std::vector<int>{IOP_NULL, IOP_NULL, IOP_NULL, IOP_USB_A}));  // udp: no input side
  EXPECT_EQ(std::string() + InPorts::getDlChar(-1) + InPorts::getDlChar(22), "??");
}

std::atomic<int> g_ran{0};
void* mark(void*) {
  for (++g_ran;;) Task::sleep(100);
  return nullptr;
}

// Without the capability and the limit that allow real-time priorities.
TEST(RealTimeFallback, TasksRunOnNormalSchedulerWithOneNotice) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  auto body = [] {
    __user_cap_header_struct h{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct d[2]{};
    auto& nice = d[CAP_SYS_NICE / 32];
    const std::uint32_t keep = ~(1u << (CAP_SYS_NICE % 32));
    if (syscall(SYS_capget, &h, d) == 0) nice.effective &= keep, nice.permitted &= keep, syscall(SYS_capset, &h, d);
    rlimit none{0, 0};
    setrlimit(RLIMIT_RTPRIO, &none);
    static Task a(5, mark, nullptr, "RTA", 4096), b(20, mark, nullptr, "RTB", 4096), c(30, mark, nullptr, "NRT", 4096);
    a.resume(), b.resume(), c.resume();
    for (int i = 0; i < 1000 && g_ran.load() < 3; ++i) Task::sleep(1);
    rxExit(g_ran.load() == 3 ? 0 : 1);  // the refusal shows in its one notice
  };
  using ::testing::ContainsRegex;
  EXPECT_EXIT(body(), ::testing::ExitedWithCode(0),
              ::testing::AllOf(ContainsRegex("\\$\\$RT: "), ::testing::Not(ContainsRegex("\\$\\$RT:.*\\$\\$RT:"))));
}

using SystemFiles = TempRunDir;

TEST_F(SystemFiles, IdentityTextsAreCleaned) {
  identityInitOnce();
  EXPECT_STREQ(sernum, "");
  const struct { std::string content, want; } ids[] = {{"SN123\n", "SN123"}, {"SN123", "SN123"}, {"SN123  \r\n2nd\n", "SN123"},
      {std::string("S\x01N\x7f" "1\n"), "SN1"}, {std::string(40, 'x') + "\n", std::string(31, 'x')}};
  for (const auto& c : ids) {
    writeFile("host/etc/rxengine/serial-number", c.content);
    writeFile("host/etc/rxengine/receiver-id", c.content);
    identityInitOnce();
    EXPECT_EQ(std::pair(std::string(sernum), std::string(rcvId)), std::pair(c.want, c.want)) << c.content;
  }
}

// Each test starts from the machine's clock, unsteered, with no epoch hook and no pulse: the
// steering lives as long as the program, so every test runs in a process of its own.
class ClockTest : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    rtosGnssEpochHook = nullptr;
    rtosPpsSource = nullptr;
  }
};
SysTime g_seen, g_pulse;
int g_seenMs = -1;

SysTime machineNow() {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  SysTime t;
  t.assign(ts.tv_sec, ts.tv_nsec);
  return t;
}

TEST_F(ClockTest, EpochHandsOnTheClockReadingOrOnWholeSecondsThePulseWhenItAgrees) {
  testproc::inOwnProcess([&] {
    rtosGnssEpochHook = [](const SysTime& t, int ms) { g_seen = t, g_seenMs = ms; };
    rtosPpsSource = [](SysTime& p) { return p = g_pulse, true; };
    const struct { const char* what; int pulseOffsetMs, rcvMs; bool pulseUsed; } cases[] = {
        {"agrees", -40, 5000, true}, {"too far", -300, 5000, false}, {"not a whole second", -40, 5100, false}};
    for (const auto& c : cases) {
      const SysTime before = machineNow();
      g_pulse.assign(before.sec, before.nsec + c.pulseOffsetMs * 1000000LL);
      rtosGnssEpoch(c.rcvMs);
      EXPECT_EQ(g_seenMs, c.rcvMs);
      EXPECT_EQ(g_seen.sec == g_pulse.sec && g_seen.nsec == g_pulse.nsec, c.pulseUsed) << c.what;
      EXPECT_TRUE(c.pulseUsed || (g_seen.deltaMs(before) >= 0 && machineNow().deltaMs(g_seen) >= 0)) << c.what;
    }
  });
}

// Off by over half a second the clock is stepped, by less slewed (500 us a second: nearly nothing at once).
TEST_F(ClockTest, SteeringMovesOnlyTheVirtualClock) {
  testproc::inOwnProcess([&] {
    const struct { const char* what; int epochMs, adjustMs, utcAhead; bool known, steps; } cases[] = {
        {"3 s behind: stepped", 10000, 10000, -3, true, true}, {"a second step adds to the first", 11000, 11000, 10, true, true},
        {"unknown UTC", 30000, 30000, 100, false, false}, {"not the last epoch", 30000, 31000, 100, true, false},
        {"not a whole second", 30000, 30500, 100, true, false}, {"within half a second: slewed", 20000, 20000, 0, true, false}};
    const SysTime machineBefore = machineNow();
    for (const auto& c : cases) {
      SCOPED_TRACE(c.what);
      rtosGnssEpoch(c.epochMs);
      SysTime epoch, steered;
      rtosTimeGet(epoch);
      const std::int64_t before = rtosVirtualOffsetNs();
      rtosAdjustTime(c.known ? static_cast<std::uint32_t>(epoch.sec + c.utcAhead) : 0, c.adjustMs);
      const double want = c.steps ? c.utcAhead * 1e9 - epoch.nsec : 0;
      EXPECT_NEAR(static_cast<double>(rtosVirtualOffsetNs() - before), want, c.steps ? 50e6 : 5e6);
      rtosTimeGet(steered);
      EXPECT_NEAR(static_cast<double>(steered.deltaMs(machineNow())), rtosVirtualOffsetNs() / 1e6, 50.0);
    }
    EXPECT_LT(std::llabs(machineNow().deltaMs(machineBefore)), 1000);
  });
}

TEST_F(ClockTest, StartTimeComesFromTheRtcWhichIsRewrittenOnlyWhenItStrays) {
  testproc::inOwnProcess([&] {
    static std::pair<int, bool> seen;
    rtosTimesInitHook = [](int t, bool valid) { seen = {t, valid}; };
    const char* rtc = "host/sys/class/rtc/rtc0/since_epoch";
    // 2024-01-01 00:00:00 UTC is 1704067200 (date -u -d 2024-01-01 +%s); a clock before 2000 is no time.
    const struct { const char* content; int want; } cases[] = {{nullptr, 0}, {"1704067200\n", 757382400}, {"12345\n", 0}};
    for (const auto& c : cases) {
      if (c.content) writeFile(rtc, c.content);
      EXPECT_EQ(timesInitOnce(), c.want);
      EXPECT_EQ(seen, std::pair(c.want, c.want != 0));
    }
    writeFile(rtc, "1000000000\n");
    Rtc::update(), Rtc::updateTime(0), Rtc::update();  // no exact time yet: left alone
    EXPECT_EQ(readFile(rtc), "1000000000\n");
    Rtc::updateTime(1700000000);
    Rtc::update();
    std::int64_t t = 0;
    EXPECT_TRUE(Rtc::read(t) && t >= 1700000000 && t <= 1700000010) << t;
    writeFile(rtc, " " + std::to_string(t + 1) + "\n");  // within a second: kept as it is
    Rtc::update();
    EXPECT_EQ(readFile(rtc), " " + std::to_string(t + 1) + "\n");
    unlink(rtc);
    Rtc::update();
    EXPECT_FALSE(exists(rtc)) << "an absent clock is not created";
  });
}

TEST_F(ClockTest, ARunningTimeDaemonGetsSamplesInsteadOfSteering) {
  testproc::inOwnProcess([&] {
    writeFile("host/var/run/chrony/chronyd.pid", std::to_string(getpid()) + "\n");
    const int s = socket(AF_UNIX, SOCK_DGRAM, 0);
    sockaddr_un a{AF_UNIX, {}};
    std::snprintf(a.sun_path, sizeof a.sun_path, "%s/host/var/run/chrony.rxengine.sock", dir_.c_str());
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    chronyMonitor();
    ASSERT_TRUE(chronyActive());
    rtosGnssEpoch(40000);
    SysTime epoch;
    rtosTimeGet(epoch);
    rtosAdjustTime(static_cast<std::uint32_t>(epoch.sec + 2), 40000);  // GNSS time 2 s ahead
    EXPECT_EQ(rtosVirtualOffsetNs(), 0) << "the daemon steers, not we";
    struct { timeval tv; double offset; int pulse, leap, pad, magic; } got{};  // the daemon's SOCK sample
    ASSERT_EQ(recv(s, &got, sizeof got, MSG_DONTWAIT), static_cast<ssize_t>(sizeof got));
    EXPECT_EQ(got.magic, 0x534f434b);
    EXPECT_NEAR(got.offset, 2.0, 0.6);  // true time minus system time
    EXPECT_NEAR(static_cast<double>(got.tv.tv_sec), static_cast<double>(epoch.sec), 1.0);
    EXPECT_TRUE(got.tv.tv_usec >= 0 && got.tv.tv_usec < 1000000);
    unlink("host/var/run/chrony/chronyd.pid");
    chronyMonitor();
    EXPECT_FALSE(chronyActive()) << "daemon gone: back to steering";
  });
}

}  // namespace
