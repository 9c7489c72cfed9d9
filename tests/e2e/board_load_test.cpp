// The GNSS board's task load with the simulated board: the program resets the board's profiler at
// start, prints the board's last task-load report under board/load, and resets the profiler on a
// set of 0, after which the board's counters start again.
#include <cstdlib>
#include <regex>

#include "e2e/harness.h"

namespace e2e {
namespace {

using BoardLoad = Rx;

bool refusedWith(const std::string& reply, int code) {
  return reply.rfind("ER", 0) == 0 && reply.find("{" + std::to_string(code) + ",") != std::string::npos;
}

std::size_t count(const std::string& s, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1)) ++n;
  return n;
}

// The third counter of the board's MEAS task (the simulator's seconds since its profiler reset), -1
// when the reply holds no such entry.
long measCounter(const std::string& reply) {
  static const std::regex entry(R"(\{MEAS, 1,   250,  1200, *(\d+)\})");
  std::smatch m;
  return std::regex_search(reply, m, entry) ? std::atol(m[1].str().c_str()) : -1;
}

TEST_F(BoardLoad, PrintedResetAtStartAndOnASet) {
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  // The start-up reset reaches the board once.
  ASSERT_TRUE(boardGets("set,load,0\n"));
  EXPECT_EQ(count(transcript(), "set,load,0\n"), 1u);

  // The simulator's report: three tasks, the idle one with number 0 printed too.
  std::string got;
  ASSERT_TRUE(waitUntil([&] { return measCounter(got = ask("print,/par/board/load")) >= 3; }, 15000)) << got;
  EXPECT_TRUE(std::regex_match(got, std::regex(R"(RE...\{\{MEAS, 1,   250,  1200, *\d+\}, )"
                                               R"(\{TRCK, 2,   610,  2400, *\d+\}, \{IDLE, 0,   140,     0,     0\}\}\r\n)")))
      << got;
  EXPECT_EQ(ask("print,/par/board"), re("{load=" + got.substr(5, got.size() - 7) + "}")) << "the area lists its key";
  const long before = measCounter(got);

  // A set of 0 resets the profiler: the board is told, and its counters start again.
  const std::size_t mark = transcript().size();
  EXPECT_EQ(ask("%l%set,/par/board/load,0"), re("%l%"));
  EXPECT_TRUE(boardGets("set,load,0\n", mark));
  EXPECT_TRUE(waitUntil([&] {
    const long c = measCounter(ask("print,/par/board/load"));
    return c >= 0 && c < before;
  }));

  // Anything else is refused and nothing reaches the board.
  const struct {
    const char* line;
    int code;
  } refused[] = {{"set,/par/board/load,1", 5}, {"set,/par/board/load,-1", 5}, {"set,/par/board/load", 6},
                 {"set,/par/board/load,x", 7}, {"set,/par/board/x,0", 3},    {"print,/par/board/x", 3}};
  const std::size_t before2 = count(transcript(), "set,load,");
  for (const auto& r : refused) {
    const std::string reply = ask(r.line);
    EXPECT_TRUE(refusedWith(reply, r.code)) << r.line << ": " << reply;
  }
  EXPECT_EQ(count(transcript(), "set,load,"), before2);
  // A print of the whole tree leaves the reading out.
  EXPECT_EQ(ask("print,/par/").find("board="), std::string::npos);
}

}  // namespace
}  // namespace e2e
