// Links to the GNSS board: the program connects to a listener on dev/shm/a that starts after
// it is up, and connects again when the listener restarts.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <string>

#include "e2e/harness.h"

namespace {

// Retries come every 100 ms; the stated bound for a connection is 1 s.
constexpr int kConnectBoundMs = 1000;

int listenAt(const std::string& path) {
  int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path.c_str());
  ::unlink(path.c_str());
  if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(s, 4) != 0) {
    ::close(s);
    return -1;
  }
  return s;
}

// The next connection within `ms`; -1 when none came.
int acceptWithin(int l, int ms) {
  pollfd p{l, POLLIN, 0};
  if (::poll(&p, 1, ms) != 1) return -1;
  return ::accept(l, nullptr, nullptr);
}

TEST(ShmLink, LateListenerIsConnectedAndAgainAfterItRestarts) {
  e2e::RunDir dir;
  e2e::Rxengine rx(dir);
  ASSERT_TRUE(rx.start());
  ASSERT_TRUE(rx.waitReady()) << rx.stderrText();
  ::mkdir(dir.file("dev").c_str(), 0755);
  ::mkdir(dir.file("dev/shm").c_str(), 0755);
  const std::string path = dir.file("dev/shm/a");
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    int l = listenAt(path);
    ASSERT_GE(l, 0);
    int peer = acceptWithin(l, kConnectBoundMs);
    EXPECT_GE(peer, 0);
    // The listener goes away with its connection and comes back in the next round.
    if (peer >= 0) ::close(peer);
    ::close(l);
    ::unlink(path.c_str());
  }
  EXPECT_TRUE(rx.running());
  const std::string err = rx.stderrText();
  EXPECT_EQ(err.find("AddressSanitizer"), std::string::npos) << err;
}

}  // namespace
