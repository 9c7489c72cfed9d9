// The settings promise seen from outside: an acknowledged set survives a stop that comes in the
// middle of a burst, and after any start the main board and the GNSS board (the simulator) hold
// the same value of every key they share.
#include "e2e/harness.h"

namespace e2e {
namespace {

using SettingsPromise = Rx;

constexpr const char* kBudgetDefault = "268";

// Value of a reply "RE<len><body>" without its id, or the reply itself.
std::string body(const std::string& reply) {
  if (reply.size() < 7 || reply.rfind("RE", 0) != 0) return reply;
  std::string b = reply.substr(5, reply.size() - 7);
  if (!b.empty() && b[0] == '%') b.erase(0, b.find('%', 1) + 1);
  return b;
}

// Board's value of a shared key, or its factory default when the board was never given one.
std::string boardValue(const RunDir& dir, const std::string& log, const std::string& key, const std::string& dflt) {
  const auto s = boardSettings(dir.read(log));
  const auto it = s.find(key);
  return it == s.end() ? dflt : it->second;
}

// SIGTERM while a port sends sets as fast as they are taken: every set answered "RE" is in what
// the next start holds (sets after the stop began answer "ER" 31 or nothing), and the board was
// given the same value.
TEST_F(SettingsPromise, AStopInTheMiddleOfABurstKeepsEveryAcknowledgedSet) {
  ASSERT_NO_FATAL_FAILURE(startSim());
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE(round);
    ASSERT_NO_FATAL_FAILURE(start());
    const int base = (round + 1) * 10000;
    std::atomic<bool> stop{false};
    std::thread writer([&] {
      for (int i = 0; i < 5000 && !stop; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "%%%d%%set,/par/lock/gal/sats,0x%X", base + i, base + i);
        if (!port_->send(line)) break;
      }
    });
    // Replies are read as fast as they come, so that one given just before the end is seen.
    std::atomic<int> replies{0}, acked{-1};
    std::thread reader([&] {
      for (std::string r; !(r = port_->next(stop ? 200 : kGuardMs)).empty() && r.rfind("BAD", 0) != 0;) {
        ++replies;
        if (r.rfind("RE", 0) == 0) acked = std::max(acked.load(), std::stoi(r.substr(6)));
      }
    });
    waitUntil([&] { return replies >= 50 + round * 37; });  // in the middle of the burst
    ASSERT_TRUE(rx_->signal(SIGTERM));
    const int code = rx_->wait();
    stop = true;
    writer.join();
    reader.join();
    EXPECT_EQ(end(), 0) << code;
    EXPECT_EQ(code, 0);
    ASSERT_GE(acked.load(), base);
    ASSERT_NO_FATAL_FAILURE(start());
    const std::string v = body(ask("print,/par/lock/gal/sats"));
    EXPECT_GE(std::stoi(v, nullptr, 16), acked.load()) << v;
    EXPECT_EQ(boardValue(dir_, "sim" + std::to_string(sims_) + ".log", "lock/gal/sats", "?"), v);
    restart();
  }
}

// A board that keeps its settings, the program killed after forwarding a set and before the
// next save: the next start gives the board the saved record again and says so.
TEST_F(SettingsPromise, AKillAfterAForwardedSetLeavesBothBoardsAgreeing) {
  ASSERT_NO_FATAL_FAILURE(startSim({"--keep-state"}));
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("%1%set,/par/lock/budget,200"), re("%1%"));
  restart();
  ASSERT_NO_FATAL_FAILURE(start());
  // The start saved the image just now: the next save waits 10 s.
  EXPECT_EQ(ask("%2%set,/par/lock/budget,222"), re("%2%"));
  ASSERT_TRUE(boardGets("set,lock/budget,222\n"));
  ASSERT_TRUE(rx_->signal(SIGKILL));
  EXPECT_EQ(end(), -SIGKILL);
  ASSERT_NO_FATAL_FAILURE(start());
  const std::string v = body(ask("print,/par/lock/budget"));
  EXPECT_EQ(boardValue(dir_, "sim" + std::to_string(sims_) + ".log", "lock/budget", kBudgetDefault), v);
  EXPECT_NE(rx_->out().find("$$CmdBuf: "), std::string::npos) << rx_->out();
}

// A settings block found damaged (or with its valid mark cleared): the two boards still agree,
// and one "$$" line names the block.
TEST_F(SettingsPromise, ADamagedBlockLeavesBothBoardsAgreeing) {
  const struct {
    const char* name;
    unsigned block;
    bool clearMark;  // else one data byte flipped
    std::string line;
    bool dropRecordFile = false;
    const char* budget = nullptr;  // the main board's value after the start, when it is known
  } rows[] = {
      {"receiver settings", 30001, false, "$$NV: receiver settings (block 30001) damaged: factory defaults restored\n"},
      {"receiver settings, mark cleared", 30001, true,
       "$$NV: receiver settings (block 30001) marked invalid: factory defaults restored\n"},
      {"board record", 25695, false, "$$NV: GNSS-board settings record (block 25695) damaged: taken from .gnss.set\n"},
      // Nothing tells what the board was given: the keys it shares go back to their defaults.
      {"board record and its file", 25695, false,
       "$$NV: GNSS-board settings record (block 25695) damaged: factory defaults restored\n", true, "268"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    fresh();
    ASSERT_NO_FATAL_FAILURE(startSim());
    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_EQ(ask("%1%set,/par/lock/budget,200"), re("%1%"));
    restart();
    std::string img = dir_.read(".gnss.nvm");
    const long at = blockOffset(img, r.block);
    ASSERT_GT(at, 0);
    if (r.clearMark)
      img[static_cast<std::size_t>(at) + 5] = static_cast<char>(img[static_cast<std::size_t>(at) + 5] & 0x7F);
    else
      img[static_cast<std::size_t>(at) + 6] ^= 0x10;
    ASSERT_TRUE(dir_.write(".gnss.nvm", img));
    if (r.dropRecordFile) {
      ASSERT_EQ(unlink(dir_.file(".gnss.set").c_str()), 0);
    }
    ASSERT_NO_FATAL_FAILURE(start());
    const std::string v = body(ask("print,/par/lock/budget"));
    if (r.budget != nullptr) {
      EXPECT_EQ(v, r.budget);
    }
    EXPECT_EQ(boardValue(dir_, "sim" + std::to_string(sims_) + ".log", "lock/budget", kBudgetDefault), v);
    const std::string out = rx_->out();
    EXPECT_NE(out.find(r.line), std::string::npos) << out;
    EXPECT_EQ(out.find("$$NV"), out.rfind("$$NV")) << out;
  }
}

// A stop before the ready line ends the program at once, and the image is what the run before left,
// byte for byte: whether it comes while the board holds the first handshake (nothing read yet) or
// once the settings are read (the board answered the handshake and is asked its settings issue).
// The test plays a board that answers no more than that.
TEST_F(SettingsPromise, AStopBeforeTheReadyLineLeavesTheImageAsItWas) {
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("%1%set,/par/dev/ser/c/rate,57600"), re("%1%"));
  restart();
  const std::string before = dir_.read(".gnss.nvm");
  ASSERT_EQ(before.size(), kImageSize);
  const struct {
    int sig;
    bool settingsRead;
  } rows[] = {{SIGTERM, false}, {SIGINT, false}, {SIGTERM, true}, {SIGINT, true}};
  for (const auto& r : rows) {
    SCOPED_TRACE(std::to_string(r.sig) + (r.settingsRead ? ", settings read" : ", first handshake"));
    const std::string path = dir_.file("dev/shm/a");
    std::filesystem::create_directories(dir_.file("dev/shm"));
    std::filesystem::remove(path);
    const int board = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path.c_str());
    ASSERT_TRUE(board >= 0 && bind(board, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && listen(board, 1) == 0);
    rx_ = std::make_unique<Proc>(dir_.path, std::vector<std::string>{RXENGINE_PATH});
    int link = -1;
    std::string got;
    const auto gets = [&](const std::string& text) {
      return waitUntil([&] {
        if (link < 0) link = accept4(board, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        char b[256];
        for (ssize_t n; link >= 0 && (n = read(link, b, sizeof b)) > 0;) got.append(b, static_cast<std::size_t>(n));
        return got.find(text) != std::string::npos;
      }, kStartGuardMs);
    };
    EXPECT_TRUE(gets(kConnect)) << got;
    if (r.settingsRead) {
      EXPECT_EQ(write(link, "RE005%CON%\r\n", 12), 12);
      EXPECT_TRUE(gets(kIssueQuery)) << got;
    }
    ASSERT_TRUE(rx_->signal(r.sig));
    EXPECT_EQ(end(), 0);
    if (link >= 0) close(link);
    close(board);
    EXPECT_NE(out_.find(std::string("$$SHUTDOWN: ") + (r.sig == SIGINT ? "SIGINT" : "SIGTERM") + " during start-up"),
              std::string::npos) << out_;
    EXPECT_TRUE(dir_.read(".gnss.nvm") == before);
    EXPECT_FALSE(dir_.exists(".gnss.nvm.tmp"));
  }
}

}  // namespace
}  // namespace e2e
