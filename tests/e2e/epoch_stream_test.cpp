// Epochs through the whole program: the simulator streams at 10 Hz, task MEAT reads the link,
// and the markers "RT"/"ET" enabled at 1 s on dev/ser/a arrive once a second, each on a whole
// second of the simulator's time; the same through the demo launcher.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "e2e/epoch_frames.h"
#include "e2e/harness.h"
#include "e2e/port_reader.h"
#include "e2e/sim_process.h"

namespace {

// 2024-06-01 11:59:30 UTC is 11:59:48 GPS: ms of the GPS day of the first epoch.
constexpr std::uint32_t kFirstEpoch = (11 * 3600 + 59 * 60 + 48) * 1000;

// Offset of the receiver settings block (id 30001) in a settings image; -1 when absent.
long blockOffset(const std::string& img, unsigned id) {
  std::size_t off = 16;
  while (off + 6 <= img.size()) {
    auto b = [&](std::size_t i) { return static_cast<unsigned>(static_cast<unsigned char>(img[off + i])); };
    const unsigned bid = b(0) | (b(1) << 8);
    const unsigned len = b(2) | (b(3) << 8) | (b(4) << 16);
    if (bid == 0 && len == 0) return -1;
    if (bid == id) return static_cast<long>(off);
    off += 6 + len + (b(5) & 1u);
  }
  return -1;
}

// Stores a 32-bit value at `at` of the receiver settings' data and mends the block's XOR byte.
bool patchRcvSet(std::string& img, std::size_t at, std::int32_t value) {
  const long off = blockOffset(img, 30001);
  if (off < 0) return false;
  auto b = [&](std::size_t i) { return static_cast<unsigned>(static_cast<unsigned char>(img[static_cast<std::size_t>(off) + i])); };
  const unsigned len = b(2) | (b(3) << 8) | (b(4) << 16);
  if (!(b(5) & 1u)) return false;
  char& ck = img[static_cast<std::size_t>(off) + 6 + len];
  for (int i = 0; i < 4; ++i) {
    char& c = img[static_cast<std::size_t>(off) + 6 + at + static_cast<std::size_t>(i)];
    const char nv = static_cast<char>((static_cast<std::uint32_t>(value) >> (8 * i)) & 0xFF);
    ck = static_cast<char>(ck ^ c ^ nv);
    c = nv;
  }
  return true;
}

// The measurement interval's place in the receiver settings record (after the header words,
// the mode bytes and six position-source doubles).
constexpr std::size_t kMsIntAt = 64;

// Reads markers for `ms` and checks them: whole "~~"/"::" pairs, one per second, whole seconds
// of the simulator's time from `first` on. Returns the number of pairs.
int checkPairs(epochs::Reader& r, int ms, std::uint32_t first) {
  for (int waited = 0; waited < ms; waited += 50) EXPECT_TRUE(r.poll(50));
  const auto& m = r.markers;
  std::size_t i = 0;
  while (i < m.size() && m[i].kind != '~') ++i;  // the port may open mid-epoch
  int pairs = 0;
  std::uint32_t last = 0;
  for (; i + 1 < m.size(); i += 2) {
    EXPECT_EQ(m[i].kind, '~');
    EXPECT_EQ(m[i + 1].kind, ':');
    EXPECT_EQ(m[i].t, m[i + 1].t);
    EXPECT_EQ(m[i].t % 1000, 0u) << m[i].t;
    EXPECT_GE(m[i].t, first);
    if (pairs > 0) {
      EXPECT_EQ(m[i].t, last + 1000);
    }
    last = m[i].t;
    ++pairs;
  }
  return pairs;
}

TEST(EpochStream, MarkersOncePerSecondOnWholeSecondsAt10HzWithMsInt1000) {
  e2e::RunDir dir;
  {
    // A first run leaves the settings image; its measurement interval becomes 1000 ms.
    e2e::Rxengine rx(dir);
    ASSERT_TRUE(rx.start());
    ASSERT_TRUE(rx.waitReady()) << rx.stderrText();
    e2e::PortReader port(dir.file("dev/ser/a"));
    ASSERT_TRUE(port.ok());
    port.send("set,/par/rcv/restart,yes");
    e2e::ExitStatus st;
    ASSERT_TRUE(rx.waitExit(st));
  }
  std::string img = dir.read(".gnss.nvm");
  ASSERT_TRUE(patchRcvSet(img, kMsIntAt, 1000));
  ASSERT_TRUE(dir.write(".gnss.nvm", img));

  simtest::SimProcess sim(dir.path(), {"--rate", "10", "--start", "2024-06-01T11:59:30"});
  ASSERT_TRUE(e2e::waitUntil([&] { return dir.exists("dev/shm/a"); }));
  e2e::Rxengine rx(dir);
  ASSERT_TRUE(rx.start());
  ASSERT_TRUE(rx.waitReady()) << rx.stderrText();
  e2e::PortReader port(dir.file("dev/ser/a"));
  ASSERT_TRUE(port.ok());
  EXPECT_EQ(port.ask("%e%em,,zrt/{RT,ET}:1"), "RE003%e%\r\n");
  epochs::Reader r(port.fd());
  EXPECT_GE(checkPairs(r, 4500, kFirstEpoch), 3);
  // Due every epoch, they still come once a second: the output runs on the 1000 ms grid only.
  EXPECT_EQ(port.ask("%f%em,,zrt/{RT,ET}:0"), "RE003%f%\r\n");
  epochs::Reader every(port.fd());
  EXPECT_GE(checkPairs(every, 3500, kFirstEpoch), 2);
  // The first whole second steered the program's clock to the simulator's time, years back.
  EXPECT_NE(rx.stderrText().find("$$TIME: system clock stepped by -"), std::string::npos) << rx.stderrText();
  EXPECT_TRUE(rx.running());
}

// The demo (README, first command): epochs arrive on dev/ser/a once enabled there.
TEST(EpochStream, DemoShowsEpochsOnTheFirstSerialPort) {
  e2e::RunDir dir;
  const std::string demo = std::string(RX_TOOLS_DIR) + "/demo/rx_demo";
  const pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    const int devnull = open("/dev/null", O_WRONLY);
    if (devnull >= 0) {
      dup2(devnull, 1);
      dup2(devnull, 2);
    }
    const std::string run = dir.path();
    const std::string rx = RXENGINE_PATH;
    execl(demo.c_str(), demo.c_str(), "--dir", run.c_str(), "--rxengine", rx.c_str(), "--terminal", "/bin/true",
          "--", "--rate", "10", static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(pid, 0);
  ASSERT_TRUE(e2e::waitUntil([&] { return dir.exists("dev/ser/a"); }));
  {
    e2e::PortReader port(dir.file("dev/ser/a"));
    ASSERT_TRUE(port.ok());
    std::string reply;
    // The port may be published a moment before the parser answers.
    e2e::waitUntil([&] { return (reply = port.ask("%e%em,,zrt/{RT,ET}:1")) == "RE003%e%\r\n"; });
    EXPECT_EQ(reply, "RE003%e%\r\n");
    epochs::Reader r(port.fd());
    EXPECT_GE(checkPairs(r, 3500, 0), 2);
  }
  kill(pid, SIGINT);
  int st = 0;
  bool ended = e2e::waitUntil([&] { return waitpid(pid, &st, WNOHANG) == pid; });
  if (!ended) {
    kill(-pid, SIGKILL);
    waitpid(pid, &st, 0);
  }
  EXPECT_TRUE(ended);
}

}  // namespace
