// The small pieces: hooks, CRC-24Q, debug prints, rings, task primitives, the system's files, port
// names and the fallback when real-time scheduling is refused.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>

#include <functional>
#include <random>
#include <thread>
#include <vector>

#include "platform/crc.h"
#include "platform/debug.h"
#include "platform/dev_ring_buf.h"
#include "platform/exit.h"
#include "platform/hook.h"
#include "platform/host_path.h"
#include "platform/identity.h"
#include "platform/misc_par.h"
#include "platform/mono_clock.h"
#include "platform/ports/in_port.h"
#include "platform/rtos.h"
#include "platform/sys_time.h"
#include "temp_run_dir.h"

namespace {

std::string g_trace;
Hook<int(int)> valueHook("test", "value", -1);
Hook<void(int)> voidHook("test", "void");
HookList<void(int), 2> listHook("test", "list");

TEST(Hook, EmptyGivesItsDeclaredValueFilledCallsListRunsInOrderAndTheRegistrySeesAll) {
  const HookInfo* v = hookFind("test", "value");
  const HookInfo* l = hookFind("test", "list");
  ASSERT_TRUE(v && l);
  EXPECT_EQ(hookFind("test", "nothing"), nullptr);
  EXPECT_EQ(valueHook(5), -1);
  voidHook(5);
  listHook(5);
  EXPECT_FALSE(v->filled(v->self) || l->filled(l->self));
  valueHook = [](int x) { return 2 * x; };
  voidHook = [](int x) { g_trace += "v" + std::to_string(x); };
  EXPECT_EQ(valueHook(5), 10);
  voidHook(3);
  void (*first)(int) = [](int) { g_trace += "a"; };
  EXPECT_TRUE(listHook.add(first));
  EXPECT_FALSE(listHook.add(first));
  EXPECT_TRUE(listHook.add([](int) { g_trace += "b"; }));
  EXPECT_FALSE(listHook.add([](int) { g_trace += "c"; }));  // full
  listHook(1);
  EXPECT_EQ(g_trace, "v3ab");
  EXPECT_TRUE(v->filled(v->self) && l->filled(l->self));
}

// Straight from the definition: one message bit at a time.
std::uint32_t bitwiseCrc24q(std::uint32_t crc, const std::uint8_t* data, std::uint32_t bits) {
  for (std::uint32_t i = 0; i < bits; ++i) {
    const std::uint32_t top = ((crc >> 23) ^ (data[i / 8] >> (7 - i % 8))) & 1u;
    crc = ((crc << 1) ^ (top ? 0x1864CFBu : 0u)) & 0xFFFFFF;
  }
  return crc;
}

TEST(Crc24q, CheckValueAndBitwiseReferenceOverAnyBitCount) {
  EXPECT_EQ(crc24q(0, reinterpret_cast<const std::uint8_t*>("123456789"), 72), 0xCDE703u);
  std::mt19937 rng(7);
  std::vector<std::uint8_t> data(64);
  for (auto& b : data) b = static_cast<std::uint8_t>(rng());
  for (std::uint32_t bits = 0; bits <= 64 * 8; bits += (bits < 40 ? 1 : 13))
    for (std::uint32_t init : {0u, 0x123456u, 0xFFFFFFu})
      EXPECT_EQ(crc24q(init, data.data(), bits), bitwiseCrc24q(init, data.data(), bits)) << bits << " " << init;
}

TEST(DebPrintfx, CategoryMaskDecidesAndLongLinesAreCut) {
  debSetSink([](const char* text, int len) { g_trace.assign(text, static_cast<std::size_t>(len)); });
  const struct { std::uint32_t mask; int category; bool prints; } cases[] = {
      {0, -1, true}, {0, 0, false}, {1u, 0, true}, {1u << 31, 31, true}, {0xFFFFFFFFu, 32, false},
      {0xFFFFFFFFu, -2, false}, {0x10, 4, true}, {0x10, 5, false}};
  for (const auto& c : cases) {
    g_trace.clear();
    debMask = c.mask;
    debPrintfx(c.category, "x%d", 7);
    EXPECT_EQ(g_trace, c.prints ? "x7" : "") << c.mask << " " << c.category;
  }
  debPrintfx(-1, "%s", std::string(2000, 'a').c_str());
  EXPECT_EQ(g_trace.size(), 511u);
}

TEST(DevRingBuf, WrapsRefusesWhatDoesNotFitAndTakesPositionsAcrossTheCounterWrap) {
  std::uint8_t mem[100], in[200], out[200];
  for (int i = 0; i < 200; ++i) in[i] = static_cast<std::uint8_t>(i);
  const std::uint32_t sizes[][2] = {{100, 64}, {64, 64}, {3, 2}, {1, 1}, {0, 0}};  // cut to a power of two
  for (const auto& s : sizes) EXPECT_EQ(DevRingBuf(mem, s[0]).put(in, 200), s[1]) << s[0];
  DevRingBuf r(mem, 16);
  EXPECT_EQ(r.put(in, 10), 10u);
  EXPECT_EQ(r.get(out, 6), 6u);
  EXPECT_EQ(r.put(in + 10, 20), 12u);  // crosses the end of the buffer
  EXPECT_EQ(r.put(in, 1), 0u);
  EXPECT_EQ(r.get(out, 32), 16u);
  EXPECT_EQ(std::vector(out, out + 16), std::vector(in + 6, in + 22));
  DevRingBuf e(mem, 8);
  std::uint32_t wr = 0xFFFFFFFCu, rd = wr;
  EXPECT_EQ(e.putAt(wr, rd, in, 6), 6u);
  EXPECT_EQ(wr, 2u);
  EXPECT_EQ(e.getAt(rd, wr, out, 6), 6u);
  EXPECT_EQ(std::vector(out, out + 6), std::vector(in, in + 6));
  std::uint32_t bad = wr - 100;  // cannot belong to one ring with wr: refused, not trusted
  EXPECT_EQ(e.getAt(bad, wr, out, 6), 0u);
  EXPECT_EQ(e.putAt(wr, bad, in, 6), 0u);
}

struct Probe {
  MailBoxImp box;
  std::atomic<int> stage{0};
};
void* sender(void* arg) {
  static int payload = 42;
  auto* p = static_cast<Probe*>(arg);
  p->stage = 1;
  p->box.put_(&payload);
  p->stage = 2;
  return nullptr;
}

TEST(Rtos, MailboxSenderWaitsUntilReleased) {
  Probe p;
  Task t(20, sender, &p, "MBXT", 4096);
  t.resume();
  void* item = p.box.get_(200);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(*static_cast<int*>(item), 42);
  Task::sleep(5);
  EXPECT_EQ(p.stage.load(), 1);
  p.box.release();
  pthread_join(t.thread(), nullptr);
  EXPECT_EQ(p.stage.load(), 2);
}

TEST(Rtos, WaitsTimeOutAfterTheirTicksAndSemaphoresCount) {
  BinSem bin(false), held(false), done(false);
  CountSem count(0);
  MailBoxImp box;
  Mutex m;
  std::thread holder([&] { m.lock(); held.post(); done.wait(); m.unlock(); });
  held.wait();
  const struct { const char* what; int ticks; std::function<bool(int)> wait; } cases[] = {
      {"binsem", 2, [&](int t) { return bin.wait(t); }},
      {"countsem", 4, [&](int t) { return count.wait(t); }},
      {"mutex", 3, [&](int t) { return m.lock(t); }},
      {"mailbox", 3, [&](int t) { return box.get_(t) != nullptr; }}};
  for (const auto& c : cases) {
    const std::uint32_t t0 = MonoClock::ms();
    EXPECT_FALSE(c.wait(c.ticks)) << c.what;
    EXPECT_GE(MonoClock::ms() - t0, static_cast<std::uint32_t>(c.ticks * rtos::kTickMs)) << c.what;
  }
  done.post();
  holder.join();
  bin.post();
  bin.post();
  count.post();
  count.post();
  EXPECT_TRUE(bin.wait(0));
  EXPECT_FALSE(bin.wait(0));
  EXPECT_TRUE(count.wait(0) && count.wait(0));
  EXPECT_FALSE(count.wait(0));
  const std::uint32_t t0 = timerGet();
  timerWait(2000);
  EXPECT_GE(static_cast<std::uint32_t>(timerGet() - t0), 2000u);
}

TEST(SysTime, AssignNormalisesAndDeltaCounts) {
  const struct { std::int64_t s, ns; std::int32_t wantS, wantNs; } cases[] = {
      {10, 0, 10, 0}, {10, 499999999, 10, 499999999}, {10, 500000000, 11, -500000000},
      {10, 1700000000, 12, -300000000}, {10, -500000000, 10, -500000000}, {10, -500000001, 9, 499999999},
      {0, -2300000000, -2, -300000000}};
  for (const auto& c : cases) {
    SysTime t;
    t.assign(c.s, c.ns);
    EXPECT_EQ(std::pair(t.sec, t.nsec), std::pair(c.wantS, c.wantNs)) << c.s << " " << c.ns;
  }
  SysTime a, b;
  a.assign(100, 250000000);
  b.assign(98, -250000000);
  EXPECT_EQ(a.deltaMs(b), 2500);
  EXPECT_EQ(b.deltaMs(a), -2500);
}

class SystemFiles : public TempRunDir {};

TEST_F(SystemFiles, PathsIdentityAndCpuFrequencies) {
  const char* paths[][2] = {{"/var/run/rxengine-request", "host/var/run/rxengine-request"},
                            {".gnss.nvm", ".gnss.nvm"}, {"dev/ser/a", "dev/ser/a"}};
  for (const auto& p : paths) EXPECT_STREQ(HostPath(p[0]).c_str(), p[1]);
  char small[8];
  EXPECT_STREQ(hostPath("/var/run/x", small, sizeof small), "host/va");

  identityInitOnce();
  EXPECT_STREQ(sernum, "");
  const struct { std::string content, want; } ids[] = {
      {"SN123\n", "SN123"}, {"SN123", "SN123"}, {"SN123  \r\n2nd line\n", "SN123"},
      {std::string("S\x01N\x7f" "1\n"), "SN1"}, {std::string(40, 'x') + "\n", std::string(31, 'x')}};
  for (const auto& c : ids) {
    writeFile("host/etc/rxengine/serial-number", c.content);
    writeFile("host/etc/rxengine/receiver-id", c.content);
    identityInitOnce();
    EXPECT_EQ(std::pair(std::string(sernum), std::string(rcvId)), std::pair(c.want, c.want)) << c.content;
  }

  EXPECT_FALSE(checkCpuFrq(800)) << "no frequency driver: nothing is accepted";
  writeFile("host/sys/devices/system/cpu/cpu0/cpufreq/scaling_available_frequencies", "300000 600000 800000 1000000 \n");
  for (auto [mhz, ok] : {std::pair{800, true}, {1000, true}, {300, true}, {700, false}, {0, false}, {-800, false}})
    EXPECT_EQ(checkCpuFrq(mhz), ok) << mhz;
}

TEST(PortIndex, NamesDecoderPortsLettersAndModes) {
  const struct { int io; const char* name; int dec; char letter; } cases[] = {
      {0, "cur/file/a", -1, 0}, {5, "dev/ser/a", 0, 'A'}, {8, "dev/ser/d", 3, 'D'}, {9, "dev/shm/a", 4, '0'},
      {16, "dev/shm/h", 11, '7'}, {17, "dev/tcp/a", 12, 'E'}, {21, "dev/tcp/e", 16, 'I'}, {22, "dev/http/a", -1, 0},
      {23, "dev/tcpcl/a", 17, 'P'}, {24, "dev/tcpcl/b", 18, 'Q'}, {29, "dev/udp/e", -1, 0}, {30, "dev/tcpo/a", -1, 0},
      {39, "dev/ntrip/e", -1, 0}, {40, "dev/usb/a", 19, 'U'}, {41, "dev/can/a", 20, 'g'}, {42, "dev/can/b", 21, 'h'},
      {43, "dev/null", -1, 0}, {44, "dev/null", -1, 0}, {-1, "dev/null", -1, 0}};
  for (const auto& c : cases) {
    EXPECT_STREQ(iopGetName(c.io), c.name) << c.io;
    EXPECT_EQ(c.io >= 0 && c.io < IOP_NUM ? InPorts::io2dec_[c.io] : -1, c.dec) << c.io;
    EXPECT_EQ(c.dec >= 0 ? InPorts::getDlChar(c.dec) : 0, c.letter) << c.io;
  }
  int withDecoder = 0;
  for (int io = 0; io < IOP_NULL; ++io) {
    const std::string name = iopGetName(io);
    EXPECT_EQ(std::pair(iopFind(name.c_str()), iopFind(("/" + name).c_str())), std::pair(io, io));
    if (InPorts::io2dec_[io] < 0) continue;
    ++withDecoder;
    EXPECT_EQ(InPorts::dec2io_[InPorts::io2dec_[io]], io);
  }
  EXPECT_EQ(withDecoder, InPorts::DEC_NUM);
  EXPECT_EQ(iopFind("dev/ser/e"), IOP_NULL);
  EXPECT_EQ(iopFind(nullptr), IOP_NULL);
  EXPECT_EQ(InPorts::getDlChar(-1), '?');
  EXPECT_EQ(InPorts::getDlChar(22), '?');
  EXPECT_EQ(InPorts::find("/dev/usb/a"), IOP_USB_A);
  EXPECT_EQ(InPorts::find("dev/udp/a"), IOP_NULL);  // no input side
  const char* const modes[] = {"cmd", "echo", "zrt", "rtcm", "rtcm3", "cmr", "acc", "dtp", "omni", "gbas", "sisnet", "auto", "none"};
  for (int m = 0; m < InPort::MODE_NUM; ++m) EXPECT_EQ(InPort::modeByName(modes[m]), m);
  EXPECT_EQ(InPort::modeByName("rtcm4"), -1);
}

std::atomic<int> g_ran{0};
void* mark(void*) {
  ++g_ran;
  for (;;) Task::sleep(100);
  return nullptr;
}

// Without the capability and the limit that allow real-time priorities the tasks still run, on the
// normal scheduler, and the program says so once.
TEST(RealTimeFallback, TasksRunOnNormalSchedulerWithOneNotice) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  auto body = [] {
    __user_cap_header_struct h{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct d[2]{};
    if (syscall(SYS_capget, &h, d) == 0) {
      d[CAP_SYS_NICE / 32].effective &= ~(1u << (CAP_SYS_NICE % 32));
      d[CAP_SYS_NICE / 32].permitted &= ~(1u << (CAP_SYS_NICE % 32));
      syscall(SYS_capset, &h, d);
    }
    rlimit none{0, 0};
    setrlimit(RLIMIT_RTPRIO, &none);
    static Task a(5, mark, nullptr, "RTA", 4096), b(20, mark, nullptr, "RTB", 4096), c(30, mark, nullptr, "NRT", 4096);
    a.resume();
    b.resume();
    c.resume();
    for (int i = 0; i < 1000 && g_ran.load() < 3; ++i) Task::sleep(1);
    rxExit(g_ran.load() == 3 && Task::realTimeRefused() ? 0 : 1);
  };
  using ::testing::ContainsRegex;
  EXPECT_EXIT(body(), ::testing::ExitedWithCode(0),
              ::testing::AllOf(ContainsRegex("\\$\\$RT: "), ::testing::Not(ContainsRegex("\\$\\$RT:.*\\$\\$RT:"))));
}

}  // namespace
