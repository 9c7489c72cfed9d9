// The program against the GNSS board simulator: a run directory, the simulator listening on
// dev/shm/a with a transcript of every byte it receives, and the program with serial port A
// open for commands.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "e2e/harness.h"
#include "e2e/port_reader.h"
#include "board_link_texts.h"
#include "sim_process.h"

namespace boardlink {

inline std::string frame(const char* id2, const std::string& body) {
  char head[8];
  std::snprintf(head, sizeof head, "%s%03X", id2, static_cast<unsigned>(body.size()));
  return head + body + "\r\n";
}
inline std::string re(const std::string& body) { return frame("RE", body); }

// What the board receives from a start-up with no start messages, from the issue reply on:
// `replay` are the element lines a board that lost its settings gets again, `issue` the
// record's issue it is left.
inline std::string startUp(const std::string& replay, unsigned issue) {
  return kConnect + kIssueQuery + kIssueOne + replay + issueSet(issue) + kSourceBlock + kModeReturn + kCmdMode +
         kSources + kInitialBlock + kEndOfStartUp;
}

class BoardLink : public ::testing::Test {
 protected:
  // Starts a simulator with `args` (a fresh transcript file each time).
  void startSim(std::vector<std::string> args = {}) {
    sim_.reset();
    ++sims_;
    transcript_ = "sim" + std::to_string(sims_) + ".bytes";
    const std::string log = "sim" + std::to_string(sims_) + ".log";
    args.insert(args.end(), {"--transcript", dir_.file(transcript_), "--log", dir_.file(log)});
    sim_ = std::make_unique<simtest::SimProcess>(dir_.path(), args);
    // The log is opened once the socket listens.
    ASSERT_TRUE(e2e::waitUntil([&] { return dir_.exists(log); }));
  }
  void stopSim() { sim_.reset(); }

  // Starts the program and opens dev/ser/a once it is up.
  void start() {
    rx_ = std::make_unique<e2e::Rxengine>(dir_);
    ASSERT_TRUE(rx_->start());
    ASSERT_TRUE(rx_->waitReady()) << rx_->stderrText();
    port_ = std::make_unique<e2e::PortReader>(dir_.file("dev/ser/a"));
    ASSERT_TRUE(port_->ok());
  }
  std::string ask(const std::string& line) { return port_->ask(line); }

  // Bytes the current simulator has received.
  std::string transcript() const { return dir_.exists(transcript_) ? dir_.read(transcript_) : std::string(); }
  // Waits until the transcript holds `text` at or after `from`.
  bool boardGets(const std::string& text, std::size_t from = 0) {
    return e2e::waitUntil([&] {
      const std::string t = transcript();
      return t.size() >= from && t.find(text, from) != std::string::npos;
    });
  }

  // Ends the run through the restart key: exit 0, the settings image and .gnss.set stored.
  void restartViaCommand() {
    EXPECT_EQ(ask("%r%set,/par/rcv/restart,yes"), re("%r%"));
    e2e::ExitStatus st;
    ASSERT_TRUE(rx_->waitExit(st));
    EXPECT_TRUE(st.exited);
    EXPECT_EQ(st.code, 0);
    stop();
  }
  // Waits for the program to end by itself; its exit code.
  int waitEnd() {
    e2e::ExitStatus st;
    if (!rx_->waitExit(st)) return -1;
    const int code = st.exited ? st.code : -1;
    stop();
    return code;
  }
  void stop() {
    port_.reset();
    if (rx_) {
      const std::string err = rx_->stderrText();
      EXPECT_EQ(err.find("AddressSanitizer"), std::string::npos) << err;
      EXPECT_EQ(err.find("runtime error"), std::string::npos) << err;
      lastStderr_ = err;
    }
    rx_.reset();
  }
  void TearDown() override {
    stop();
    sim_.reset();
  }

  std::string setFile() const { return dir_.read(".gnss.set"); }

  e2e::RunDir dir_;
  std::unique_ptr<simtest::SimProcess> sim_;
  std::unique_ptr<e2e::Rxengine> rx_;
  std::unique_ptr<e2e::PortReader> port_;
  std::string transcript_;
  std::string lastStderr_;
  int sims_ = 0;
};

}  // namespace boardlink
