// End-to-end harness: the real rxengine in a temporary run directory with an empty environment,
// the GNSS board simulator beside it, and the test's own reader of native messages on a port,
// written apart from the product's code. Every wait is bounded by a guard that only turns a hang
// into a failure; no test asserts a time it does not have to.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "board_link_texts.h"

namespace e2e {

using namespace boardlink;
constexpr int kGuardMs = 10000;
// The program's start waits on the board, whose simulator first reads a day of ephemerides: with
// many tests starting at once on few cores that takes longer, and is no hang.
constexpr int kStartGuardMs = 60000;
constexpr const char* kReady = ": ready\n";
constexpr std::size_t kImageSize = 524288;
const std::string kSim = std::string(RX_TOOLS_DIR) + "/gnss_board_sim/gnss_board_sim";

template <class F>
bool waitUntil(F cond, int guardMs = kGuardMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(guardMs);
  while (!cond()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// Waits until `cond()` for as long as `progress()` (bytes relayed, answers read) keeps changing:
// false only when it stood still for `stallMs`. A whole that takes longer on two busy cores than
// on a free machine is no hang; `cond()` runs before `progress()` on every round.
template <class F, class P>
bool waitOnProgress(F cond, P progress, int stallMs = kGuardMs) {
  auto seen = progress();
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(stallMs);
  while (!cond()) {
    const auto now = std::chrono::steady_clock::now();
    if (auto p = progress(); p != seen) {
      seen = p;
      end = now + std::chrono::milliseconds(stallMs);
    } else if (now >= end) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

inline std::string readFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

// What a tool (convbin, gpsdecode, ...) writes to its standard output; its errors are dropped.
inline std::string runTool(const std::string& cmd) {
  std::string out;
  if (std::FILE* p = popen((cmd + " 2>/dev/null").c_str(), "r")) {
    char b[4096];
    for (std::size_t n; (n = std::fread(b, 1, sizeof b, p)) > 0;) out.append(b, n);
    pclose(p);
  }
  return out;
}

// A native reply: "RE" or "ER", three hex digits of length, the body, CR LF.
inline std::string frame(const char* id, const std::string& body) {
  char head[8];
  std::snprintf(head, sizeof head, "%s%03X", id, static_cast<unsigned>(body.size()));
  return head + body + "\r\n";
}
inline std::string re(const std::string& body) { return frame("RE", body); }
// The printed value in a reply: its body, between the header and the CR LF.
inline std::string printed(const std::string& reply) {
  return reply.size() > 7 ? reply.substr(5, reply.size() - 7) : reply;
}
// A value without the braces of a nested list or the quotes of a string around it.
inline std::string unwrapped(const std::string& value) {
  const bool wrapped = value.size() >= 2 && ((value.front() == '{' && value.back() == '}') ||
                                             (value.front() == '"' && value.back() == '"'));
  return wrapped ? value.substr(1, value.size() - 2) : value;
}

// The fields of the output record's debug line (temporary debug selector 197).
struct OutputLine {
  double n, e, h;           // grid
  double bn, be, bh;        // base grid
  double lat, lon, alt;     // output datum, degrees
  double wlat, wlon, walt;  // WGS 84
  double und, sep, res;     // undulation, separation, residual height
};

// The output record's debug lines in `text` from `from` on: lines of exactly fifteen numbers.
inline std::vector<OutputLine> outputLines(const std::string& text, std::size_t from) {
  std::vector<OutputLine> out;
  std::istringstream in(text.substr(std::min(from, text.size())));
  for (std::string l; std::getline(in, l);) {
    std::istringstream f(l);
    std::vector<double> v;
    bool numbers = true;
    for (std::string w; f >> w;) {
      char* end = nullptr;
      v.push_back(std::strtod(w.c_str(), &end));
      numbers = numbers && end != w.c_str() && *end == 0;
    }
    if (numbers && v.size() == 15)
      out.push_back(OutputLine{v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10], v[11], v[12], v[13], v[14]});
  }
  return out;
}

// A native message with its binary checksum (each byte XORed in, then rotated left by two).
inline std::string withCk(const char* id, const std::string& payload) {
  char h[8];
  std::snprintf(h, sizeof h, "%.2s%03X", id, static_cast<unsigned>(payload.size() + 1));
  std::string m = h + payload;
  unsigned c = 0;
  for (unsigned char b : m) c = (((c ^ b) << 2) | ((c ^ b) >> 6)) & 0xFFu;
  return m + static_cast<char>(c);
}

// Bytes of the whole native message at the front of `h`: 0 while more is needed, npos when `h`
// does not start with one. Replies end in CR LF; other messages are the header and the body.
inline std::size_t messageLength(const std::string& h) {
  if (h.size() < 5) return 0;
  std::size_t len = 0;
  for (std::size_t i = 2; i < 5; ++i) {
    const char c = h[i];
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return std::string::npos;
    len = len * 16 + static_cast<std::size_t>(c <= '9' ? c - '0' : c - 'A' + 10);
  }
  const bool reply = h.compare(0, 2, "RE") == 0 || h.compare(0, 2, "ER") == 0;
  len += reply ? 7 : 5;
  if (h.size() < len) return 0;
  return reply && h.compare(len - 2, 2, "\r\n") != 0 ? std::string::npos : len;
}

inline std::uint32_t le32(const std::string& s, std::size_t at) {
  std::uint32_t v = 0;
  for (std::size_t i = 4; i-- > 0;) v = v << 8 | static_cast<unsigned char>(s[at + i]);
  return v;
}

// Offset of block `id` in a settings image, walking the block headers after the 16-byte image
// header (id 16 bits, length 24 bits, flags with bit 0 a trailing XOR byte; little-endian).
inline long blockOffset(const std::string& img, unsigned id) {
  for (std::size_t off = 16; off + 6 <= img.size();) {
    const unsigned bid = le32(img, off) & 0xFFFF, len = le32(img, off + 2) & 0xFFFFFF;
    if (bid == 0 && len == 0) return -1;
    if (bid == id) return static_cast<long>(off);
    off += 6 + len + (img[off + 5] & 1);
  }
  return -1;
}

// The `nth` (from 0) block of id `id` in a settings image, -1 when there is none.
inline long nthBlock(const std::string& img, unsigned id, int nth) {
  for (std::size_t off = 16; off + 6 <= img.size();) {
    const unsigned bid = le32(img, off) & 0xFFFF, len = le32(img, off + 2) & 0xFFFFFF;
    if (bid == 0 && len == 0) return -1;
    if (bid == id && nth-- == 0) return static_cast<long>(off);
    off += 6 + len + (img[off + 5] & 1);
  }
  return -1;
}
// The data of a valid block (header byte 5, bit 7: the valid mark), or "".
inline std::string blockData(const std::string& img, unsigned id, int nth = 0) {
  const long off = nthBlock(img, id, nth);
  if (off < 0 || !(static_cast<unsigned char>(img[static_cast<std::size_t>(off) + 5]) & 0x80)) return "";
  const std::size_t len = le32(img, static_cast<std::size_t>(off) + 2) & 0xFFFFFF;
  return img.substr(static_cast<std::size_t>(off) + 6, len);
}
// Puts `bytes` at byte `at` of the data of the valid block `id` in a settings image, with the
// block's XOR byte (when it has one) mended: false when there is no such block or no such room.
inline bool setBlockData(std::string& img, unsigned id, std::size_t at, const std::string& bytes) {
  const long off = nthBlock(img, id, 0);
  if (off < 0 || !(static_cast<unsigned char>(img[static_cast<std::size_t>(off) + 5]) & 0x80)) return false;
  const std::size_t data = static_cast<std::size_t>(off) + 6, len = le32(img, data - 4) & 0xFFFFFF;
  if (at + bytes.size() > len) return false;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (img[data - 1] & 1) img[data + len] = static_cast<char>(img[data + len] ^ img[data + at + i] ^ bytes[i]);
    img[data + at + i] = bytes[i];
  }
  return true;
}
// A value of type T at byte `off` of a block's data; 0 beyond its end.
template <class T>
T fieldAt(const std::string& d, std::size_t off) {
  T v{};
  if (off + sizeof v <= d.size()) std::memcpy(&v, d.data() + off, sizeof v);
  return v;
}

// What the board receives from a start-up with no start messages, from the issue reply on:
// `replay` the lines a board that lost its settings gets again after its reset, `issue` the
// issue it is left.
inline std::string startUp(const std::string& replay, unsigned issue) {
  return kConnect + kIssueQuery + kIssueOne + kBoardReset + replay + issueSet(issue) + kSourceBlock + kModeReturn + kCmdMode +
         kSources + kInitialBlock + kEndOfStartUp + kProfilerReset;
}

// The settings the board simulator holds, replayed from its log: a reset of the board and
// "init" empty them, each "set,<path>,<value>" sets one (the issue is not a setting).
inline std::map<std::string, std::string> boardSettings(const std::string& log) {
  std::map<std::string, std::string> s;
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);) {
    if (line == "* board reset" || line.rfind("< init,", 0) == 0) s.clear();
    if (line.rfind("< set,", 0) != 0) continue;
    const std::size_t comma = line.find(',', 6);
    if (comma == std::string::npos) continue;
    std::string path = line.substr(6, comma - 6);
    if (path.rfind("/par/", 0) == 0) path.erase(0, 5);
    if (path != "cmd/set/issue") s[path] = line.substr(comma + 1);
  }
  return s;
}

// One command of the board settings record: its text without the line feed ("" for a hole) and
// its list tag (N a complete list of N elements, -N a partial one).
struct RecordLine {
  std::string text;
  int tag = 0;
};
// The board settings record file `.gnss.set` as the program writes it: a head, the commands each
// with its length (line feed included), path length and tag, and the record's issue last.
inline std::string recordFile(const std::vector<RecordLine>& lines, unsigned issue) {
  std::string f = kFileHead + "#@count:" + std::to_string(lines.size()) + "\n" + issueSet(0);
  for (const RecordLine& l : lines) {
    const std::size_t comma = l.text.find(',', 4);
    f += l.text + " # " + std::to_string(l.text.size() + 1) + " " +
         std::to_string(comma == std::string::npos ? 0 : comma - 4) + " " + std::to_string(l.tag) + "\n";
  }
  return lines.empty() ? f : f + issueSet(issue);
}

struct RunDir {
  std::string path;
  RunDir() {
    char t[] = "/tmp/rxe2e.XXXXXX";
    path = mkdtemp(t) ? t : "";
  }
  ~RunDir() { remove(); }
  RunDir& operator=(RunDir&& o) {
    remove();
    path = std::exchange(o.path, "");
    return *this;
  }
  void remove() {
    std::error_code e;
    if (!path.empty()) std::filesystem::remove_all(path, e);
  }
  std::string file(const std::string& rel) const { return path + "/" + rel; }
  bool exists(const std::string& rel) const {
    std::error_code e;
    return std::filesystem::exists(std::filesystem::symlink_status(file(rel), e));
  }
  std::string read(const std::string& rel) const { return readFile(file(rel)); }
  bool write(const std::string& rel, const std::string& content) const {
    std::error_code e;
    std::filesystem::create_directories(std::filesystem::path(file(rel)).parent_path(), e);
    std::ofstream f(file(rel), std::ios::binary | std::ios::trunc);
    return static_cast<bool>(f << content);
  }
};

// A process under test runs on the normal scheduler, as it does for any user without the right to
// real-time priorities: a dozen programs at real-time priority on two cores leave the simulators
// and the tests' own readers the 5 % the kernel keeps for normal tasks, and a reader held off for
// seconds loses what its port could not hold (a 10-Hz base lost 5.7 s of its output so).
inline void withoutRealTime() {
  prctl(PR_CAPBSET_DROP, CAP_SYS_NICE, 0, 0, 0);  // else a root's program gets the right back at exec
  __user_cap_header_struct h{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct d[2]{};
  if (syscall(SYS_capget, &h, d) == 0) {
    auto& c = d[CAP_SYS_NICE / 32];
    const std::uint32_t keep = ~(1u << (CAP_SYS_NICE % 32));
    c.effective &= keep, c.permitted &= keep, c.inheritable &= keep;
    syscall(SYS_capset, &h, d);
  }
  const rlimit none{0, 0};
  setrlimit(RLIMIT_RTPRIO, &none);
}

// A child process started in `dir` with an empty environment; its standard output and error are
// read into one text.
class Proc {
 public:
  Proc(const std::string& dir, std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    char* env[] = {nullptr};
    int p[2];
    if (pipe2(p, O_CLOEXEC) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {  // only async-signal-safe calls until exec
      withoutRealTime();
      dup2(p[1], 1);
      dup2(p[1], 2);
      dup2(open("/dev/null", O_RDONLY | O_CLOEXEC), 0);
      if (chdir(dir.c_str()) == 0) execve(argv[0], argv.data(), env);
      _exit(127);
    }
    close(p[1]);
    reader_ = std::thread([this, fd = p[0]] {
      for (;;) {
        pollfd pf{fd, POLLIN, 0};
        if (poll(&pf, 1, 50) > 0) {
          char b[4096];
          const ssize_t n = ::read(fd, b, sizeof b);
          if (n <= 0) break;
          std::lock_guard<std::mutex> l(m_);
          out_.append(b, static_cast<std::size_t>(n));
          cv_.notify_all();
        } else if (stop_) {
          break;  // its children may hold the pipe open; all it wrote has been read
        }
      }
      close(fd);
    });
  }
  ~Proc() {
#ifdef RX_COVERAGE
    // The reach build counts what the program ran; it writes the counts only when it ends itself.
    if (signal(SIGTERM)) wait();
#endif
    signal(SIGKILL);
    wait();
    stop_ = true;
    if (reader_.joinable()) reader_.join();
  }

  pid_t pid() const { return pid_; }
  std::string out() {
    std::lock_guard<std::mutex> l(m_);
    return out_;
  }
  bool waitOut(const std::string& text, int guardMs = kGuardMs) {
    std::unique_lock<std::mutex> l(m_);
    return cv_.wait_for(l, std::chrono::milliseconds(guardMs), [&] { return out_.find(text) != std::string::npos; });
  }
  bool running() {
    int ws = 0;
    if (pid_ > 0 && !reaped_ && waitpid(pid_, &ws, WNOHANG) == pid_) {
      reaped_ = true;
      status_ = WIFEXITED(ws) ? WEXITSTATUS(ws) : -WTERMSIG(ws);
    }
    return pid_ > 0 && !reaped_;
  }
  bool signal(int sig) { return running() && kill(pid_, sig) == 0; }
  // The exit code, or minus the signal that ended it; 1000 when it did not end within the guard.
  int wait(int guardMs = kGuardMs) {
    if (!waitUntil([&] { return !running(); }, guardMs)) return 1000;
    stop_ = true;
    if (reader_.joinable()) reader_.join();
    return status_;
  }

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
  int status_ = 1000;
  std::atomic<bool> stop_{false};
  std::mutex m_;
  std::condition_variable cv_;
  std::string out_;
  std::thread reader_;
};

// The program in `dir` started and left to end by itself: its exit code, and its output in `out`.
inline int runToEnd(const std::string& dir, std::string& out) {
  Proc rx(dir, {RXENGINE_PATH});
  const int code = rx.wait();
  out = rx.out();
  return code;
}

// The test's side of a port: a link in the run directory (a terminal, put in raw mode) or the
// simulator's socket.
class Port {
 public:
  explicit Port(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t;
    if (fd_ >= 0 && tcgetattr(fd_, &t) == 0) {
      cfmakeraw(&t);
      tcsetattr(fd_, TCSANOW, &t);
    }
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path.c_str());
    socket_ = fd_ < 0 && waitUntil([&] {
                fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
                if (connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return true;
                close(fd_);
                fd_ = -1;
                return false;
              });
  }
  ~Port() {
    if (fd_ >= 0) close(fd_);
  }
  bool ok() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  bool sendRaw(const std::string& bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
      const char* p = bytes.data() + done;
      const ssize_t n = socket_ ? ::send(fd_, p, bytes.size() - done, MSG_NOSIGNAL) : ::write(fd_, p, bytes.size() - done);
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    return true;
  }
  bool send(const std::string& line) { return sendRaw(line + "\r\n"); }

  // Reads into `held` until `done(held)`; false when the guard passed first.
  template <class P>
  bool fill(P done, int guardMs = kGuardMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(guardMs);
    while (!done(held)) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      pollfd pf{fd_, POLLIN, 0};
      if (left.count() <= 0 || fd_ < 0) return false;
      if (poll(&pf, 1, static_cast<int>(left.count())) <= 0) continue;
      char b[4096];
      const ssize_t n = ::read(fd_, b, sizeof b);
      if (n <= 0) return done(held);
      held.append(b, static_cast<std::size_t>(n));
    }
    return true;
  }
  // Reads into `held` until `done(held)`, for as long as bytes still come (a burst of known
  // length, answers, a relayed stream); false when none came for `stallMs`.
  template <class P>
  bool fillOnProgress(P done, int stallMs = kGuardMs) {
    while (!done(held)) {
      const std::size_t had = held.size();
      fill([&](const std::string& h) { return h.size() > had || done(h); }, stallMs);
      if (held.size() == had) return done(held);
    }
    return true;
  }
  // The next whole reply; "" when none came, "BAD:" and the bytes held when they are no reply.
  std::string next(int guardMs = kGuardMs) {
    if (!fill([](const std::string& h) { return messageLength(h) != 0; }, guardMs)) return "";
    const std::size_t n = messageLength(held);
    std::string m = n == std::string::npos || (held[0] != 'R' && held[0] != 'E') ? "BAD:" + held : held.substr(0, n);
    held.erase(0, m[0] == 'B' ? held.size() : n);
    return m;
  }
  std::string ask(const std::string& line) { return send(line) ? next() : ""; }

  std::string held;

 private:
  int fd_ = -1;
  bool socket_ = false;
};

// A run directory, the simulator on dev/shm/a (every byte it receives added to board.bytes) and
// the program with dev/ser/a open for commands.
class Rx : public ::testing::Test {
 protected:
  void fresh() {
    stop();
    sim_.reset();
    dir_ = RunDir();
  }
  void startSim(std::vector<std::string> args = {}) {
    sim_.reset();
    const std::string log = dir_.file("sim" + std::to_string(++sims_) + ".log");  // made once it listens
    args.insert(args.begin(), {kSim, "--dir", dir_.path, "--transcript", dir_.file("board.bytes"), "--log", log});
    sim_ = std::make_unique<Proc>(dir_.path, args);
    ASSERT_TRUE(waitUntil([&] { return std::filesystem::exists(log); }, kStartGuardMs));
  }
  void start() {
    rx_ = std::make_unique<Proc>(dir_.path, std::vector<std::string>{RXENGINE_PATH});
    ASSERT_TRUE(rx_->waitOut(kReady, kStartGuardMs)) << rx_->out();
    port_ = std::make_unique<Port>(dir_.file("dev/ser/a"));
    ASSERT_TRUE(port_->ok());
  }
  std::string ask(const std::string& line) { return port_->ask(line); }
  // The first output debug line printed after the next two, so that every set before it holds.
  OutputLine nextOutputLine() {
    const auto out = [&] { return rx_ ? rx_->out() : std::string(); };
    const std::size_t from = out().size();
    std::vector<OutputLine> l;
    EXPECT_TRUE(waitUntil([&] { return (l = outputLines(out(), from)).size() >= 3; }, 30000))
        << out().substr(from > 3000 ? from - 3000 : 0);
    return l.empty() ? OutputLine{} : l.back();
  }
  // Waits for the program to end: its exit code (minus a signal).
  int end() {
    const int code = rx_->wait();
    stop();
    return code;
  }
  void restart() {
    EXPECT_EQ(ask("%r%set,/par/rcv/restart,yes"), re("%r%"));
    EXPECT_EQ(end(), 0);
  }
  void stop() {
    port_.reset();
    if (!rx_) return;
    out_ = rx_->out();
    EXPECT_EQ(out_.find("AddressSanitizer"), std::string::npos) << out_;
    EXPECT_EQ(out_.find("runtime error"), std::string::npos) << out_;
    rx_.reset();
  }
  void TearDown() override { fresh(); }

  std::string transcript() const { return dir_.read("board.bytes"); }
  // Waits until the run directory's file `name` (a stream relayed to the board, a recording) holds
  // at least `size` bytes, for as long as it grows.
  bool fileReaches(const std::string& name, std::size_t size) {
    std::size_t held = 0;
    return waitOnProgress([&] { return (held = dir_.read(name).size()) >= size; }, [&] { return held; });
  }
  bool boardGets(const std::string& text, std::size_t from = 0, int guardMs = kGuardMs) {
    return waitUntil(
        [&] {
          const std::string t = transcript();
          return t.size() >= from && t.find(text, from) != std::string::npos;
        },
        guardMs);
  }
  std::string setFile() const { return dir_.read(".gnss.set"); }
  // Puts a board settings record in place for the next start: its file, and the record's block of
  // the settings image (id 25695: count and issue) naming it. The image must hold the block.
  bool plantRecord(const std::vector<RecordLine>& lines, unsigned issue) {
    std::string img = dir_.read(".gnss.nvm"), block(8, '\0');
    const std::int32_t count = static_cast<std::int32_t>(lines.size());
    std::memcpy(block.data(), &count, 4);
    std::memcpy(block.data() + 4, &issue, 4);
    return setBlockData(img, 25695, 0, block) && dir_.write(".gnss.nvm", img) &&
           dir_.write(".gnss.set", recordFile(lines, issue));
  }

  RunDir dir_;
  std::unique_ptr<Proc> sim_, rx_;
  std::unique_ptr<Port> port_;
  std::string out_;  // of the last run
  int sims_ = 0;
};

}  // namespace e2e
