// End-to-end harness: runs the real rxengine in a fresh run directory with an empty
// environment, captures what it writes, sends it signals and waits for its exit. Every wait is
// bounded by a generous guard that only turns a hang into a failure; no test asserts a time.
#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace e2e {

// Upper bound of every wait: a failure guard, not a measure.
constexpr int kGuardMs = 10000;

// The text the program prints on standard error once it is up.
constexpr const char* kReadyText = ": ready\n";

// Polls `cond` until it holds or `guardMs` passes; true when it held.
template <class F>
bool waitUntil(F cond, int guardMs = kGuardMs);

// A temporary run directory, removed with everything in it at the end.
class RunDir {
 public:
  RunDir();
  ~RunDir();
  RunDir(const RunDir&) = delete;
  RunDir& operator=(const RunDir&) = delete;

  const std::string& path() const { return path_; }
  // Absolute path of `rel` inside the run directory.
  std::string file(const std::string& rel) const { return path_ + "/" + rel; }
  bool exists(const std::string& rel) const;
  // Size of a file, -1 when absent.
  long long size(const std::string& rel) const;
  std::string read(const std::string& rel) const;
  // Writes a file, creating the directories above it.
  bool write(const std::string& rel, const std::string& content) const;

 private:
  std::string path_;
};

// How the program ended.
struct ExitStatus {
  bool exited = false;    // ended by exit with `code`
  int code = -1;
  bool signaled = false;  // ended by signal `signal`
  int signal = 0;
};

// One run of the program. Output streams are read by background threads into text buffers.
class Rxengine {
 public:
  explicit Rxengine(const RunDir& dir, std::string program = RXENGINE_PATH);
  ~Rxengine();  // kills a process still running
  Rxengine(const Rxengine&) = delete;
  Rxengine& operator=(const Rxengine&) = delete;

  bool start();
  pid_t pid() const { return pid_; }
  bool running();

  // Everything written so far.
  std::string stderrText();
  std::string stdoutText();
  // Bytes of standard error so far: a mark for waiting on what comes after it.
  std::size_t stderrSize();
  // Waits until standard error holds `text` at or after byte `from` (0: the start of the run).
  bool waitStderr(const std::string& text, int guardMs = kGuardMs, std::size_t from = 0);
  bool waitReady(int guardMs = kGuardMs) { return waitStderr(kReadyText, guardMs); }

  bool signal(int sig);
  // Waits for the end of the process; false when it did not end within the guard.
  bool waitExit(ExitStatus& status, int guardMs = kGuardMs);
  // Kills (SIGKILL) and reaps.
  ExitStatus kill();

  // Names of the process's threads (from /proc/<pid>/task/*/comm).
  std::vector<std::string> threadNames() const;

 private:
  void reader(int fd, std::string* into);

  const RunDir& dir_;
  std::string program_;
  pid_t pid_ = -1;
  bool reaped_ = false;
  ExitStatus status_;
  std::mutex m_;
  std::condition_variable cv_;
  std::string err_, out_;
  std::thread errThread_, outThread_;
};

template <class F>
bool waitUntil(F cond, int guardMs) {
  for (int waited = 0;; waited += 10) {
    if (cond()) return true;
    if (waited >= guardMs) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace e2e
