// A native message announced longer than the port's buffer holds (1531 body bytes) is skipped
// whole on a port in native mode: nothing inside its body is read, even a complete message, and
// the message after it is read as usual. Seen from outside through the almanac message "GA",
// which the port answers with an empty reply once it has been worked.
#include "e2e/harness.h"

namespace e2e {
namespace {

using NativeLongMessage = Rx;

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST_F(NativeLongMessage, SkippedWholeAndTheNextOneRead) {
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_EQ(ask("%1%set,/par/dev/ser/b/imode,zrt"), re("%1%"));
  Port serB(dir_.file("dev/ser/b"));
  ASSERT_TRUE(serB.ok());
  const std::string ga = withCk("GA", std::string(1, '\x02') + std::string(45, '\0'));
  const std::string kAnswer = "RE002%%";
  // First the answer of one almanac, for the rule's other side.
  ASSERT_TRUE(serB.sendRaw(ga));
  ASSERT_TRUE(serB.fill([&](const std::string& h) { return count(h, kAnswer) == 1; })) << serB.held;
  serB.held.clear();

  for (int len : {1532, 1536}) {
    SCOPED_TRACE(len);
    // A known identifier, announced too long; its body holds whole almanac messages.
    char head[8];
    std::snprintf(head, sizeof head, "GA%03X", len);
    std::string body;
    while (body.size() + ga.size() <= static_cast<std::size_t>(len)) body += ga;
    body.resize(static_cast<std::size_t>(len), '\0');
    ASSERT_TRUE(serB.sendRaw(head + body + ga));
    ASSERT_TRUE(serB.fill([&](const std::string& h) { return count(h, kAnswer) >= 1; })) << serB.held;
    serB.fill([](const std::string&) { return false; }, 500);
    EXPECT_EQ(count(serB.held, kAnswer), 1u) << "only the almanac after the long message";
    serB.held.clear();
  }
}

}  // namespace
}  // namespace e2e
