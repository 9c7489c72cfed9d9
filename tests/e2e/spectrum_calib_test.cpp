// The spectrum and GLONASS bias settings beside the GNSS board simulator: refusals change
// nothing and reach no board, every accepted set reaches the board once, and the calibration
// tables come back from their own blocks after a restart.
#include "e2e/harness.h"

namespace e2e {
namespace {

using BoardAreas = Rx;

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST_F(BoardAreas, SpectrumAndBiasSetsAreCheckedForwardedAndKept) {
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  const struct {
    const char* line;  // set below /par/
    int code;          // 0 taken
  } sets[] = {
      {"calib/soft/fcn/1/-8,0.1", 3},    {"calib/soft/fcn/3/0,0.1", 3},  {"calib/soft/fcn/2/15,1.5", 5},
      {"calib/soft/fcn/2/15,0.25", 0},   {"calib/soft/fcn/1/-7,-0.5", 0}, {"calib/soft/mode,fix", 0},
      {"calib/soft/brand/fix,topcon", 0}, {"calib/hard/mode,alt", 3},     {"calib/hard/mode,on", 0},
      {"spectr/log_point,chan", 5},      {"spectr/log_point,filt", 0},   {"spectr/calib/4,1", 5},
      {"spectr/calib/2,-123", 0},        {"spectr/calibext/3,456", 0},   {"spectr/n_out,9", 0},
  };
  std::size_t mark = 0;
  ASSERT_TRUE(boardGets(kEndOfStartUp));
  for (const auto& s : sets) {
    const std::string line = s.line;
    mark = transcript().size();
    const std::string got = ask("%s%set,/par/" + line);
    if (s.code == 0) {
      EXPECT_EQ(got, re("%s%")) << line;
      EXPECT_TRUE(boardGets("set," + line + "\n", mark)) << line;
    } else {
      EXPECT_TRUE(got.rfind("ER", 0) == 0 && got.find("%s%{" + std::to_string(s.code) + ",") != std::string::npos)
          << line << " " << got;
    }
  }
  EXPECT_EQ(ask("%p%print,/par/calib/soft/brand/cur"), re("%p%topcon"));
  EXPECT_EQ(ask("%p%set,/par/calib/soft/mode,off"), re("%p%"));
  EXPECT_EQ(ask("%p%print,/par/calib/soft/brand/cur"), re("%p%unknown"));
  const std::string letters = ask("%p%print,/par/calib/soft/fcn/1");
  EXPECT_NE(letters.find("{-7=-0.500,-6=0.000,"), std::string::npos) << letters;
  EXPECT_NE(letters.find(",15=0.000}"), std::string::npos) << letters;
  EXPECT_EQ(letters.find("16="), std::string::npos) << letters;
  // Once each, refusals never.
  ASSERT_TRUE(boardGets("set,calib/soft/mode,off\n", 0));
  const std::string t = transcript();
  for (const auto& s : sets) EXPECT_EQ(count(t, std::string("set,") + s.line + "\n"), s.code == 0 ? 1u : 0u) << s.line;
  restart();
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("%a%print,/par/spectr/calib/2"), re("%a%-123"));
  EXPECT_EQ(ask("%a%print,/par/spectr/calibext/3"), re("%a%456"));
  EXPECT_EQ(ask("%a%print,/par/calib/soft/fcn/2/15"), re("%a%0.250"));
  EXPECT_EQ(ask("%a%print,/par/calib/soft/fcn/1/-7"), re("%a%-0.500"));
  EXPECT_EQ(ask("%a%print,/par/calib/soft/brand/fix"), re("%a%topcon"));
  EXPECT_EQ(ask("%a%print,/par/calib/hard/mode"), re("%a%on"));
  EXPECT_EQ(ask("%a%print,/par/spectr/n_out"), re("%a%9"));
}

// The GLONASS bias actions: "reset" empties the table being gathered, "sum" adds the stored
// table's biases to it, "add" merges the stored table into it by weight (equal biases stay
// equal), "savecurrent" stores it and makes it the stored table, kept across a restart; off does
// nothing.
TEST_F(BoardAreas, GloBiasActionsGatherAndStoreTheTable) {
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  for (const char* c : {"calib/soft/fcn/1/-7,-0.5", "calib/soft/fcn/2/3,0.25", "calib/soft/reset,on",
                        "calib/soft/sum,on", "calib/soft/sum,on", "calib/soft/savecurrent,on"})
    ASSERT_EQ(ask(std::string("%c%set,/par/") + c), re("%c%")) << c;
  EXPECT_EQ(ask("print,/par/calib/soft/fcn/1/-7"), re("-1.000")) << "twice the stored bias";
  EXPECT_EQ(ask("print,/par/calib/soft/fcn/2/3"), re("0.500"));
  EXPECT_EQ(ask("print,/par/calib/soft/fcn/1/0"), re("0.000"));
  for (const char* c : {"calib/soft/add,on", "calib/soft/reset,off", "calib/soft/savecurrent,on"})
    ASSERT_EQ(ask(std::string("%c%set,/par/") + c), re("%c%")) << c;
  EXPECT_EQ(ask("print,/par/calib/soft/fcn/1/-7"), re("-1.000")) << "equal biases merged";
  EXPECT_EQ(ask("%c%set,/par/calib/soft/sum,maybe").rfind("ER", 0), 0u);
  restart();
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/calib/soft/fcn/1/-7"), re("-1.000"));
  EXPECT_EQ(ask("print,/par/calib/soft/fcn/2/3"), re("0.500"));
  // Gathering again from nothing: reset and save empties the stored table.
  for (const char* c : {"calib/soft/reset,on", "calib/soft/savecurrent,on"})
    ASSERT_EQ(ask(std::string("%c%set,/par/") + c), re("%c%")) << c;
  EXPECT_EQ(ask("print,/par/calib/soft/fcn/1/-7"), re("0.000"));
}

}  // namespace
}  // namespace e2e
