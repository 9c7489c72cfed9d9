// The tests' own power controller: it checks each 4-byte command frame with its own parity code
// and answers the version query (command 10 with parameters 3, 2) and the input-voltage reading
// (command 10 with 1, 0); command 11 with parameter n answers n bytes; any other command echoes
// its two parameters. Knobs make it late (not-ready answers first), confused (an answer with a
// foreign id first), silent, wrong in its sum, or short. PtyMcu puts it on a pseudo-terminal
// linked where the program looks for the controller's device. Header only, standard library and
// POSIX only, written apart from the program's link code.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace standin {

using McuFrame = std::array<std::uint8_t, 4>;

struct McuStandIn {
  std::uint16_t version = 0x0203;
  std::uint16_t inputRaw = 743;
  int notReady = 0;     // not-ready answers before each real one
  int wrongId = 0;      // answers with the next id before each real one
  int ignoreFirst = 0;  // frames left unanswered at first
  bool silent = false;
  bool wrongSum = false;
  int cut = 0;          // when > 0, only the first `cut` bytes of each answer leave
  std::vector<McuFrame> frames;
  int badFrames = 0;

  static int ones(unsigned v) {
    int n = 0;
    for (int i = 0; i < 8; ++i) n += (v >> i) & 1;
    return n;
  }
  // Byte 0 even as a whole; its bit 6 the parity of all bits of bytes 1-3.
  static bool frameOk(const McuFrame& f) {
    const int rest = ones(f[1]) + ones(f[2]) + ones(f[3]);
    return ones(f[0]) % 2 == 0 && ((f[0] >> 6) & 1) == rest % 2 && (f[0] & 0x10) == 0;
  }

  std::vector<std::uint8_t> body(const McuFrame& f) const {
    if (f[1] == 10 && f[2] == 3 && f[3] == 2) return {std::uint8_t(version & 0xFF), std::uint8_t(version >> 8)};
    if (f[1] == 10 && f[2] == 1 && f[3] == 0) return {std::uint8_t(inputRaw & 0xFF), std::uint8_t(inputRaw >> 8)};
    if (f[1] == 11) {
      std::vector<std::uint8_t> b;
      for (int i = 0; i + 2 < f[2]; ++i) b.push_back(std::uint8_t(i * 7 + 1));
      return b;
    }
    return {f[2], f[3]};
  }

  // The bytes sent back for one frame.
  std::string answer(const McuFrame& f) {
    frames.push_back(f);
    if (!frameOk(f)) {
      ++badFrames;
      return {};
    }
    if (silent || (f[0] & 0x20) == 0 || ignoreFirst-- > 0) return {};
    const int id = f[0] & 0x0F;
    const std::vector<std::uint8_t> b = body(f);
    unsigned sum = wrongSum ? 1 : 0;
    for (std::uint8_t x : b) sum += x;
    std::string one(1, char(0x80 | id));
    one.append(b.begin(), b.end());
    one.push_back(char(sum & 0xFF));
    std::string out;
    for (int i = 0; i < notReady; ++i) out += char(0x80 | 0x20 | id) + one.substr(1);
    for (int i = 0; i < wrongId; ++i) out += char(0x80 | ((id + 1) & 0x0F)) + one.substr(1);
    out += one;
    return cut > 0 ? out.substr(0, static_cast<std::size_t>(cut)) : out;
  }
};

// The stand-in on the master side of a pseudo-terminal whose slave is linked at `link`.
class PtyMcu {
 public:
  explicit PtyMcu(const std::string& link) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128];
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 || ptsname_r(master_, name, sizeof name) != 0)
      return;
    // Our own hold on the slave: the master never sees a hang-up between the program's opens.
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t;
    if (slave_ >= 0 && tcgetattr(slave_, &t) == 0) {
      cfmakeraw(&t);
      tcsetattr(slave_, TCSANOW, &t);
    }
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(link).parent_path(), ec);
    std::filesystem::remove(link, ec);
    ok_ = slave_ >= 0 && symlink(name, link.c_str()) == 0;
    if (ok_) thread_ = std::thread([this] { run(); });
  }
  ~PtyMcu() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
  }
  bool ok() const { return ok_; }

  template <class F>
  auto with(F f) {
    std::lock_guard<std::mutex> l(m_);
    return f(ctl_);
  }
  std::vector<McuFrame> frames() {
    return with([](McuStandIn& c) { return c.frames; });
  }

 private:
  void run() {
    std::vector<std::uint8_t> held;
    while (!stop_) {
      pollfd pf{master_, POLLIN, 0};
      if (poll(&pf, 1, 20) <= 0 || (pf.revents & POLLIN) == 0) continue;
      std::uint8_t b[256];
      const ssize_t n = ::read(master_, b, sizeof b);
      if (n <= 0) continue;
      held.insert(held.end(), b, b + n);
      while (held.size() >= 4) {
        const McuFrame f{held[0], held[1], held[2], held[3]};
        held.erase(held.begin(), held.begin() + 4);
        const std::string a = with([&](McuStandIn& c) { return c.answer(f); });
        if (!a.empty() && ::write(master_, a.data(), a.size()) < 0) continue;
      }
    }
  }

  int master_ = -1;
  int slave_ = -1;
  bool ok_ = false;
  std::atomic<bool> stop_{false};
  std::mutex m_;
  McuStandIn ctl_;
  std::thread thread_;
};

}  // namespace standin
