// The time daemon fed with GNSS time: with a daemon's pid file and its reference-clock socket
// under host/ (the test stands in for the daemon: its own pid, a datagram socket of its own), the
// program finds it within its 5-s check and sends every whole second a sample in the daemon's SOCK
// refclock layout (struct sock_sample of chrony's refclock_sock.c: timeval, offset true minus
// system time, pulse, leap, padding, magic 0x534f434b); system time plus offset is the epoch's
// whole UTC second. Without the pid file the daemon is gone and the samples stop.
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cmath>
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
  // The samples that arrive within `ms`.
  std::vector<SockSample> take(int ms) {
    std::vector<SockSample> out;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
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

}  // namespace
}  // namespace e2e
