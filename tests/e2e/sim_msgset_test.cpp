// Message sets through the command language on dev/ser/a: "em" answers RE, the printed set
// lists what was enabled, a restart keeps it, "dm" removes it. Spoken through the test's own
// reader of replies.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "e2e/harness.h"

namespace {

class Port {
 public:
  explicit Port(const std::string& path) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    if (fd_ >= 0 && tcgetattr(fd_, &t) == 0) {
      cfmakeraw(&t);
      tcsetattr(fd_, TCSANOW, &t);
    }
  }
  ~Port() {
    if (fd_ >= 0) close(fd_);
  }
  bool ok() const { return fd_ >= 0; }
  void send(const std::string& s) { (void)!write(fd_, s.data(), s.size()); }
  // Sends a command and returns the reply frame that carries `id` ("%id%"): the whole
  // "REnnn...\r\n" or "ERnnn...\r\n"; "" when none came within the guard.
  std::string ask(const std::string& id, const std::string& cmd) {
    std::string line = "%" + id + "%" + cmd + "\r\n";
    if (write(fd_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return "";
    std::string want = "%" + id + "%";
    std::string got;
    bool done = e2e::waitUntil([&] {
      char buf[512];
      pollfd p{fd_, POLLIN, 0};
      while (poll(&p, 1, 0) > 0) {
        ssize_t r = read(fd_, buf, sizeof buf);
        if (r <= 0) break;
        got.append(buf, static_cast<std::size_t>(r));
      }
      return frameWith(got, want) != std::string::npos;
    });
    if (!done) return "";
    std::size_t at = frameWith(got, want);
    std::size_t len = std::stoul(got.substr(at + 2, 3), nullptr, 16);
    return got.substr(at, 5 + len + 2);
  }

 private:
  // Start of a whole reply frame whose body begins with `id`.
  static std::size_t frameWith(const std::string& s, const std::string& id) {
    for (std::size_t p = 0; (p = s.find(id, p)) != std::string::npos; ++p) {
      if (p < 5) continue;
      std::size_t at = p - 5;
      if (s.compare(at, 2, "RE") != 0 && s.compare(at, 2, "ER") != 0) continue;
      std::size_t len = std::strtoul(s.substr(at + 2, 3).c_str(), nullptr, 16);
      if (at + 5 + len + 2 <= s.size()) return at;
    }
    return std::string::npos;
  }
  int fd_ = -1;
};

std::string re(const std::string& body) {
  char len[4];
  std::snprintf(len, sizeof len, "%03X", static_cast<unsigned>(body.size()));
  return "RE" + std::string(len) + body + "\r\n";
}

TEST(SimMsgSet, EnabledOnAPortPrintedKeptAndRemoved) {
  e2e::RunDir dir;
  {
    e2e::Rxengine rx(dir);
    ASSERT_TRUE(rx.start());
    ASSERT_TRUE(rx.waitReady()) << rx.stderrText();
    Port port(dir.file("dev/ser/a"));
    ASSERT_TRUE(port.ok());
    EXPECT_EQ(port.ask("e", "em,,zrt/{RT,ET}:1"), re("%e%"));
    EXPECT_EQ(port.ask("p", "print,/msg/dev/ser/a"), re("%p%{zrt={RT=1,ET=1}}"));
    EXPECT_EQ(port.ask("x", "em,,zrt/{RT,XX}:1").substr(0, 2), "ER");
    port.send("set,/par/rcv/restart,yes\r\n");
    e2e::ExitStatus st;
    ASSERT_TRUE(rx.waitExit(st));
    EXPECT_TRUE(st.exited && st.code == 0);
  }
  e2e::Rxengine rx(dir);
  ASSERT_TRUE(rx.start());
  ASSERT_TRUE(rx.waitReady()) << rx.stderrText();
  Port port(dir.file("dev/ser/a"));
  ASSERT_TRUE(port.ok());
  EXPECT_EQ(port.ask("p", "print,/msg/dev/ser/a"), re("%p%{zrt={RT=1,ET=1}}"));
  EXPECT_EQ(port.ask("d", "dm,,zrt/{RT,ET}"), re("%d%"));
  EXPECT_EQ(port.ask("q", "print,/msg"), re("%q%{}"));
}

}  // namespace
