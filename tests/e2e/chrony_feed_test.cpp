// The time daemon fed with GNSS time: with a daemon's pid file and its reference-clock socket
// under host/ (the test stands in for the daemon: its own pid, a datagram socket of its own), the
// program finds it within its 5-s check and sends every whole second a sample in the daemon's SOCK
// refclock layout (struct sock_sample of chrony's refclock_sock.c: timeval, offset true minus
// system time, pulse, leap, padding, magic 0x534f434b); system time plus offset is the epoch's
// whole UTC second. Without the pid file the daemon is gone and the samples stop.
//
// The system time of a sample is the clock's reading at the epoch, or at a whole second the
// machine's last PPS pulse (host/sys/class/pps/pps0/assert, "seconds.nanoseconds#sequence") when
// that lies within 100 ms of the reading.
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

#include "e2e/harness.h"

namespace e2e {
namespace {

using ChronyFeed = Rx;

// chrony's struct sock_sample.
struct SockSample {
  timeval tv;
  double offset;
  int pulse;
  int leap;
  int pad;
  int magic;
};
static_assert(sizeof(SockSample) == 40);
constexpr int kSockMagic = 0x534f434b;

class Daemon {
 public:
  explicit Daemon(const std::string& path) {
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path.c_str());
    ok_ = fd_ >= 0 && path.size() < sizeof a.sun_path && bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  }
  ~Daemon() {
    if (fd_ >= 0) close(fd_);
  }
  bool ok() const { return ok_; }
  // The samples that arrive within `ms`, or until `enough` of them.
  std::vector<SockSample> take(int ms, const std::function<bool(const std::vector<SockSample>&)>& enough = nullptr) {
    std::vector<SockSample> out;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end && !(enough && enough(out))) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      SockSample s{};
      if (recv(fd_, &s, sizeof s, 0) == static_cast<ssize_t>(sizeof s)) out.push_back(s);
    }
    return out;
  }

 private:
  int fd_ = -1;
  bool ok_ = false;
};

// A stand-in of the machine's PPS line: every millisecond the last pulse, as the kernel shows it
// (written whole, by rename), `leadMs` from the machine's clock and on a grid of kGridNs. The grid
// is chosen so that a second is half a grid step off it: the system times of two samples a second
// apart differ by a whole number of steps when both are pulses, by half a step when both are
// clock readings of the board's regular epochs.
constexpr std::int64_t kGridNs = 7490637;  // 2 s / 267

class PulseLine {
 public:
  explicit PulseLine(const RunDir& dir) : path_(dir.file("host/sys/class/pps/pps0/assert")) {
    std::error_code e;
    std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), e);
  }
  ~PulseLine() { stop(); }
  void start(int leadMs) {
    stop();
    run_ = true;
    thread_ = std::thread([this, leadMs] {
      std::int64_t last = 0, seq = 0;
      while (run_) {
        timespec t{};
        clock_gettime(CLOCK_REALTIME, &t);
        const std::int64_t at = t.tv_sec * 1000000000LL + t.tv_nsec + leadMs * 1000000LL;
        const std::int64_t pulse = at - at % kGridNs;
        if (pulse != last) {
          last = pulse;
          char text[64];
          std::snprintf(text, sizeof text, "%lld.%09lld#%lld\n", static_cast<long long>(pulse / 1000000000),
                        static_cast<long long>(pulse % 1000000000), static_cast<long long>(++seq));
          if (std::FILE* f = std::fopen((path_ + ".new").c_str(), "w")) {
            std::fputs(text, f);
            std::fclose(f);
            std::filesystem::rename(path_ + ".new", path_);
          }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
  }
  void stop() {
    run_ = false;
    if (thread_.joinable()) thread_.join();
  }

 private:
  std::string path_;
  std::atomic<bool> run_{false};
  std::thread thread_;
};

// Of the samples a second apart (by their true time), how many, and how many of those have system
// times a whole number of grid steps apart (within the 0.5 ms a slew of the program's clock can
// move in a second).
std::pair<int, int> onGrid(const std::vector<SockSample>& s) {
  int pairs = 0, grid = 0;
  for (std::size_t i = 1; i < s.size(); ++i) {
    const auto ns = [](const SockSample& x) { return x.tv.tv_sec * 1000000000LL + x.tv.tv_usec * 1000LL; };
    const double t0 = static_cast<double>(s[i - 1].tv.tv_sec) + s[i - 1].tv.tv_usec * 1e-6 + s[i - 1].offset;
    const double t1 = static_cast<double>(s[i].tv.tv_sec) + s[i].tv.tv_usec * 1e-6 + s[i].offset;
    if (std::llround(t1 - t0) != 1) continue;
    ++pairs;
    const std::int64_t d = ns(s[i]) - ns(s[i - 1]);
    std::int64_t r = d % kGridNs;
    if (r > kGridNs / 2) r -= kGridNs;
    if (std::llabs(r) <= 1000000) ++grid;
  }
  return {pairs, grid};
}

TEST_F(ChronyFeed, SamplesOfTheWholeSecondWhileTheDaemonRuns) {
  ASSERT_TRUE(dir_.write("host/var/run/chrony/chronyd.pid", std::to_string(getpid()) + "\n"));
  Daemon daemon(dir_.file("host/var/run/chrony.rxengine.sock"));
  ASSERT_TRUE(daemon.ok());
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_TRUE(rx_->waitOut("$$CHRONY: time daemon found", 15000)) << rx_->out();

  const std::vector<SockSample> s = daemon.take(4500);
  ASSERT_GE(s.size(), 3u);
  timeval now{};
  gettimeofday(&now, nullptr);
  for (std::size_t i = 0; i < s.size(); ++i) {
    EXPECT_EQ(s[i].magic, kSockMagic);
    EXPECT_EQ(s[i].pulse, 0);
    EXPECT_EQ(s[i].leap, 0);
    EXPECT_GE(s[i].tv.tv_usec, 0);
    EXPECT_LT(s[i].tv.tv_usec, 1000000);
    const double sys = static_cast<double>(s[i].tv.tv_sec) + s[i].tv.tv_usec * 1e-6;
    // The program's clock is the machine's here (the simulator's time is now): within seconds.
    EXPECT_LT(std::fabs(sys - static_cast<double>(now.tv_sec)), 10.0);
    EXPECT_LT(std::fabs(s[i].offset), 1.0);
    // System time plus the offset is true time: the epoch's whole second.
    const double trueTime = sys + s[i].offset;
    EXPECT_NEAR(trueTime, std::nearbyint(trueTime), 2e-6) << i;
    if (i > 0) {
      const double prev = static_cast<double>(s[i - 1].tv.tv_sec) + s[i - 1].tv.tv_usec * 1e-6 + s[i - 1].offset;
      EXPECT_NEAR(trueTime - prev, 1.0, 2e-6) << "one sample a second";
    }
  }

  // The daemon ends: the program notices at its next check and sends no more.
  ASSERT_EQ(std::remove(dir_.file("host/var/run/chrony/chronyd.pid").c_str()), 0);
  ASSERT_TRUE(rx_->waitOut("$$CHRONY: time daemon gone", 15000)) << rx_->out();
  daemon.take(200);
  EXPECT_TRUE(daemon.take(2500).empty());
}

// A pulse within 100 ms of the clock's reading is the epoch's system time: the samples' system
// times step by whole grid steps; a pulse 300 ms off is not taken, and they follow the epochs again.
// The stand-in's last pulse ages while a busy machine holds its thread back, and the pulse is then
// more than 100 ms off: the pulses taken lie 10 ms before and 60 ms after the reading, and of 12
// pairs of samples at least two thirds must step on the grid (one late pulse spoils two pairs),
// against under two thirds when no pulse is taken (epochs' readings step on it by chance only,
// a quarter of the time at most, when a busy machine spreads them over the grid step).
TEST_F(ChronyFeed, APulseThatAgreesWithTheClockIsTheEpochsTime) {
  ASSERT_TRUE(dir_.write("host/var/run/chrony/chronyd.pid", std::to_string(getpid()) + "\n"));
  Daemon daemon(dir_.file("host/var/run/chrony.rxengine.sock"));
  ASSERT_TRUE(daemon.ok());
  PulseLine pps(dir_);
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_TRUE(rx_->waitOut("$$CHRONY: time daemon found", 15000)) << rx_->out();
  const struct {
    int leadMs;
    bool taken;
  } rows[] = {{-10, true}, {-300, false}, {60, true}, {0, false}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.leadMs);
    if (r.leadMs != 0) pps.start(r.leadMs);
    else pps.stop(), std::filesystem::remove(dir_.file("host/sys/class/pps/pps0/assert"));
    daemon.take(1500);  // samples of the line before
    const std::vector<SockSample> s = daemon.take(30000, [](const auto& s) { return onGrid(s).first >= 12; });
    const auto [pairs, grid] = onGrid(s);
    ASSERT_GE(pairs, 12) << s.size() << " samples";
    if (r.taken) EXPECT_GE(3 * grid, 2 * pairs) << grid << " of " << pairs;
    else EXPECT_LT(3 * grid, 2 * pairs) << grid << " of " << pairs;
    for (const SockSample& x : s) {
      const double trueTime = static_cast<double>(x.tv.tv_sec) + x.tv.tv_usec * 1e-6 + x.offset;
      EXPECT_NEAR(trueTime, std::nearbyint(trueTime), 2e-6);
    }
  }
}

}  // namespace
}  // namespace e2e
