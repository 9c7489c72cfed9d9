// The parser task: lines from several ports, one in flight at a time, each answered on its own
// port before the sender is let go.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "capture_port.h"
#include "command/input_parser.h"
#include "platform/mono_clock.h"
#include "platform/ports/in_port.h"

namespace {

TEST(ParserTask, EachSenderHasItsAnswerWhenItIsLetGo) {
  InputParser::initOnce();
  ASSERT_TRUE(parseProcInit(20));
  // Ports live as long as the process (the parser may still hold one at exit).
  const int ports[] = {IOP_SER_A, IOP_SER_B, IOP_SER_C, IOP_USB_A};
  std::vector<CapturePort*> caps;
  for (int p : ports) caps.push_back(new CapturePort(p));
  std::vector<std::string> failures(4);
  std::vector<std::thread> senders;
  for (int k = 0; k < 4; ++k) {
    senders.emplace_back([&, k] {
      for (int i = 0; i < 100; ++i) {
        std::string line = "%" + std::to_string(k) + "-" + std::to_string(i) + "%";
        InputParser::put(line.data(), static_cast<int>(line.size()), ports[k], false);
        // The rendezvous is over only once the answer is out.
        std::string got;
        {
          Locker<Mutex> l(printMutex);
          got = caps[static_cast<std::size_t>(k)]->take();
        }
        char head[8];
        std::snprintf(head, sizeof head, "RE%03X", static_cast<unsigned>(line.size()));
        if (got != head + line + "\r\n") {
          failures[static_cast<std::size_t>(k)] = line + " -> " + got;
          return;
        }
      }
    });
  }
  for (auto& t : senders) t.join();
  for (const auto& f : failures) EXPECT_EQ(f, "");
  // A line dropped for its length is answered as such.
  InputParser::put("", 0, IOP_SER_A, true);
  Locker<Mutex> l(printMutex);
  EXPECT_EQ(caps[0]->take(), "ER018%%{34,,command too long}\r\n");
}

// A transmit ring that is full whenever an answer comes; a reader makes room a tick later.
struct FullRingPort : CapturePort {
  explicit FullRingPort(bool r) : CapturePort(IOP_SER_B), read(r) {}
  int devWrite(const void* d, int len, int timeout) override {
    if (timeout > 0) Task::sleep(read ? 1 : timeout);
    return timeout > 0 && read ? CapturePort::devWrite(d, len, timeout) : 0;
  }
  bool read;
};

// A reader that reads gets every answer; a port nobody reads costs the parser one bounded wait
// per line, not one per answer, and the answers dropped are counted.
TEST(ParserTask, AnswersWaitABoundedTimeForRoom) {
  InputParser::initOnce();
  std::string line = "print,/par/rcv";
  for (int i = 1; i < 10; ++i) line += ";print,/par/rcv";
  for (bool read : {true, false}) {
    FullRingPort port(read);
    const std::uint32_t dropped = replyDropped(), start = MonoClock::ms();
    EXPECT_EQ(runLine(port, line).empty(), !read);
    EXPECT_EQ(replyDropped() - dropped, read ? 0u : 10u);
    EXPECT_LT(MonoClock::ms() - start, 2u * kReplyWaitTicks * rtos::kTickMs);  // the bound itself
  }
}

}  // namespace
