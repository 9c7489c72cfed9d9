// The demo launcher: restarts the program on 0 and 127, stops on 128, and leaves no process
// behind when stopped with Ctrl-C (SIGINT).
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "e2e/harness.h"

namespace {

std::string demoPath() { return std::string(RX_TOOLS_DIR) + "/demo/rx_demo"; }

class Demo {
 public:
  explicit Demo(std::vector<std::string> args) {
    args.insert(args.begin(), demoPath());
    int p[2];
    if (pipe(p) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(p[1], 1);
      dup2(p[1], 2);
      close(p[0]);
      close(p[1]);
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(p[1]);
    fd_ = p[0];
    reader_ = std::thread([this] {
      char buf[1024];
      ssize_t r;
      while ((r = read(fd_, buf, sizeof buf)) > 0) {
        std::lock_guard<std::mutex> l(m_);
        out_.append(buf, static_cast<std::size_t>(r));
      }
    });
  }
  ~Demo() {
    if (pid_ > 0 && !reaped_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (reader_.joinable()) reader_.join();
    if (fd_ >= 0) close(fd_);
  }
  std::string out() {
    std::lock_guard<std::mutex> l(m_);
    return out_;
  }
  bool waitOut(const std::string& text) {
    return e2e::waitUntil([&] { return out().find(text) != std::string::npos; });
  }
  // The pid the demo printed after `label` ("rxengine pid "), -1 when none.
  int pidAfter(const std::string& label) {
    std::string o = out();
    std::size_t at = o.rfind(label);
    return at == std::string::npos ? -1 : std::atoi(o.c_str() + at + label.size());
  }
  void signal(int sig) { kill(pid_, sig); }
  // Exit code, -1 when the demo did not end within the guard or ended by a signal.
  int waitExit() {
    int st = 0;
    bool done = e2e::waitUntil([&] { return waitpid(pid_, &st, WNOHANG) == pid_; });
    if (!done) return -1;
    reaped_ = true;
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  }

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
  int fd_ = -1;
  std::thread reader_;
  std::mutex m_;
  std::string out_;
};

bool gone(int pid) { return pid > 0 && kill(pid, 0) != 0 && errno == ESRCH; }
bool groupGone(int pgid) { return pgid > 0 && kill(-pgid, 0) != 0 && errno == ESRCH; }

TEST(SimDemo, CtrlCLeavesNoProcessBehind) {
  e2e::RunDir dir;
  Demo demo({"--dir", dir.path()});
  ASSERT_TRUE(demo.waitOut("rxengine pid "));
  ASSERT_TRUE(demo.waitOut(e2e::kReadyText)) << demo.out();  // the program's banner
  EXPECT_NE(demo.out().find("/dev/ser/a"), std::string::npos);
  int rx = demo.pidAfter("rxengine pid ");
  int sim = demo.pidAfter("gnss_board_sim pid ");
  ASSERT_GT(rx, 0);
  ASSERT_GT(sim, 0);
  EXPECT_TRUE(dir.exists("dev/shm/a"));
  demo.signal(SIGINT);
  EXPECT_EQ(demo.waitExit(), 0) << demo.out();
  EXPECT_TRUE(gone(rx));
  EXPECT_TRUE(gone(sim));
  EXPECT_TRUE(groupGone(rx));
  EXPECT_TRUE(groupGone(sim));
}

// A stand-in program that ends with the codes of `codes`, one per run.
std::string writeFakeProgram(const e2e::RunDir& dir, const std::string& codes) {
  std::string path = dir.file("fake_rxengine");
  std::string script =
      "#!/bin/sh\n"
      "echo run >> runs\n"
      "n=0\n"
      "while read l; do n=$((n+1)); done < runs\n"
      "set -- " + codes + "\n"
      "shift $((n-1))\n"
      "exit $1\n";
  dir.write("fake_rxengine", script);
  chmod(path.c_str(), 0755);
  return path;
}

int runs(const e2e::RunDir& dir) {
  std::string r = dir.read("runs");
  int n = 0;
  for (char c : r) n += c == '\n';
  return n;
}

TEST(SimDemo, RestartsOnRestartAndRebootStopsOnPowerOff) {
  e2e::RunDir dir;
  Demo demo({"--dir", dir.path(), "--rxengine", writeFakeProgram(dir, "0 127 0 128 0")});
  EXPECT_EQ(demo.waitExit(), 0) << demo.out();
  EXPECT_EQ(runs(dir), 4);
  EXPECT_TRUE(groupGone(demo.pidAfter("gnss_board_sim pid ")));
}

TEST(SimDemo, StopsOnAnyOtherEnd) {
  e2e::RunDir dir;
  Demo demo({"--dir", dir.path(), "--rxengine", writeFakeProgram(dir, "123 0")});
  EXPECT_EQ(demo.waitExit(), 1) << demo.out();
  EXPECT_EQ(runs(dir), 1);
  EXPECT_NE(demo.out().find("rxengine ended (exit 123)"), std::string::npos);
}

}  // namespace
