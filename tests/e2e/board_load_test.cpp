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
  EXPECT_EQ(ask("print,/par/board"), re("{load=" + got.substr(5, got.size() - 7) + ",cmds={}}")) << "the area lists its keys";
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

// One element of the record as printed: its index, its line without the line feed, the length of
// its path and of its whole line.
std::string element(int i, const std::string& path, const std::string& value) {
  const std::string line = "set," + path + "," + value;
  return (i == 0 ? "{" : " ") + std::to_string(i) + "={\"" + line + "\"," + std::to_string(path.size()) + "," +
         std::to_string(line.size() + 1) + "}";
}

// The record of the settings forwarded to the board prints in the order the board got them, a
// later set of a path taking the place of the earlier one, and the same after a restart; it is
// not set.
TEST_F(BoardLoad, ForwardedSettingsRecordPrintsAsTheBoardGotIt) {
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("%0%print,/par/board/cmds"), re("%0%{}"));
  ASSERT_EQ(ask("%1%set,/par/lock/budget,200"), re("%1%"));
  ASSERT_EQ(ask("%2%set,/par/lock/gps/3/guide,0x5"), re("%2%"));
  EXPECT_EQ(ask("%3%print,/par/board/cmds"),
            re("%3%" + element(0, "lock/budget", "200") + "," + element(1, "lock/gps/3/guide", "0x5") + "}"));
  ASSERT_EQ(ask("%4%set,/par/lock/budget,210"), re("%4%"));
  // The later set takes the place of the one it replaces.
  const std::string want = element(0, "lock/budget", "210") + "," + element(1, "lock/gps/3/guide", "0x5") + "}";
  EXPECT_EQ(ask("%5%print,/par/board/cmds"), re("%5%" + want));
  for (const char* line : {"set,lock/budget,200\n", "set,lock/gps/3/guide,0x5\n", "set,lock/budget,210\n"})
    EXPECT_TRUE(boardGets(line)) << line;
  EXPECT_TRUE(refusedWith(ask("set,/par/board/cmds,{}"), 12));
  restart();
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("%6%print,/par/board/cmds"), re("%6%" + want));
}

}  // namespace
}  // namespace e2e
