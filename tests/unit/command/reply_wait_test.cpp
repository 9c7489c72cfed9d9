// Answers wait a bounded time for room on their port: a reader that reads gets every one, a port
// nobody reads costs the parser one wait per line, not one per answer, and what is dropped is
// counted.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "command/cmd_hooks.h"
#include "command/input_parser.h"
#include "command/reply.h"
#include "command/result_codes.h"
#include "platform/mono_clock.h"
#include "platform/ports/out_port.h"
#include "platform/rtos.h"

namespace {

// A port whose transmit ring is full whenever an answer comes. With a reader, room comes a
// tick later, so only a writer that waits gets in; without one, it never comes.
class FullRingPort : public OutPort {
 public:
  FullRingPort(int index, bool read) : OutPort(index), read_(read) { OutPorts::ports_[index] = this; }
  ~FullRingPort() override { OutPorts::ports_[portIndex()] = nullptr; }
  int answers = 0;

 protected:
  int devWrite(const void*, int len, int timeout) override {
    if (timeout == 0) return 0;
    Task::sleep(read_ ? 1 : timeout);
    if (!read_) return 0;
    ++answers;
    return len;
  }

 private:
  bool read_;
};

// The whole tree of a receiver is a few kilobytes.
int bigTree(const char*, int, char* text, int size) {
  std::string s(2400, 'x');
  std::snprintf(text, static_cast<std::size_t>(size), "%s", s.c_str());
  return CMD_OK;
}

TEST(ReplyWait, ReaderGetsEveryAnswerAndAnUnreadPortHoldsTheParserOneWaitPerLine) {
  ASSERT_TRUE(cmdRegisterPrintTree("/big", bigTree));
  std::string line;
  for (int i = 0; i < 10; ++i) line += (i ? ";%" : "%") + std::to_string(i) + "%print,/big";
  const struct {
    const char* what;
    bool read;
    int answers;
    unsigned dropped;
  } rows[] = {{"reader that reads", true, 10, 0}, {"nobody reads", false, 0, 10}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    FullRingPort port(IOP_SER_B, r.read);
    const std::uint32_t droppedBefore = replyDropped();
    const std::uint32_t start = MonoClock::ms();
    {
      Locker<Mutex> l(printMutex);
      setCurTerm(IOP_SER_B);
      newParse(line.data(), static_cast<int>(line.size()));
    }
    const std::uint32_t took = MonoClock::ms() - start;
    EXPECT_EQ(port.answers, r.answers);
    EXPECT_EQ(replyDropped() - droppedBefore, r.dropped);
    // The bound is the requirement: one wait for the whole line, never one per answer.
    EXPECT_LT(took, 2u * kReplyWaitTicks * rtos::kTickMs);
  }
}

}  // namespace
