// Set commands of the areas the GNSS board shares, seen from both ends: the board's transcript
// and the settings file, across restarts of the program.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "board_link_fixture.h"

namespace boardlink {
namespace {

TEST_F(BoardLink, ForwardedSetReachesTheBoardAndTheFile) {
  startSim();
  start();
  ASSERT_TRUE(boardGets(kEndOfStartUp));
  const std::size_t mark = transcript().size();
  EXPECT_EQ(ask("%1%set,/par/calib/x,{1,,3}"), re("%1%"));
  // 200 characters of path and 50 of value are refused, and nothing goes to the board.
  const std::string path200 = "/par/calib/" + std::string(194, 'p');
  EXPECT_EQ(ask("set," + path200 + "," + std::string(50, 'v')), frame("ER", "%%{34,,command too long}"));
  EXPECT_EQ(ask("%2%set,/par/spectr/y,2"), re("%2%"));
  ASSERT_TRUE(boardGets("set,spectr/y,2\n", mark));
  EXPECT_EQ(transcript().substr(mark), "set,calib/x,{1,,3}\nset,spectr/y,2\n");
  restartViaCommand();
  EXPECT_EQ(setFile(), kFileHead +
                           "#@count:2\n"
                           "set,cmd/set/issue,0\n"
                           "set,calib/x,{1,,3} # 19 7 -3\n"
                           "set,spectr/y,2 # 15 8 0\n"
                           "set,cmd/set/issue,3\n");
}

TEST_F(BoardLink, BoardThatLostItsSettingsGetsThemAgainAfterARestart) {
  startSim();
  start();
  // The longest command the record keeps: 249 characters of path and value.
  const std::string longPath = "calib/" + std::string(193, 'p');
  const std::string longCmd = "set," + longPath + "," + std::string(50, 'v');
  EXPECT_EQ(ask("%1%set,/par/dev/pps/a/out,on"), re("%1%"));
  EXPECT_EQ(ask("%2%set,/par/calib/b,{1,2,3}"), re("%2%"));
  EXPECT_EQ(ask("%3%set,/par/" + longCmd.substr(4)), re("%3%"));
  ASSERT_TRUE(boardGets(longCmd + "\n"));
  restartViaCommand();
  EXPECT_NE(setFile().find(longCmd + " # 255 199 0\n"), std::string::npos) << setFile();
  // The same simulator: the program's new connection finds the board reset (issue 0).
  const std::size_t mark = transcript().size();
  start();
  ASSERT_TRUE(boardGets(kEndOfStartUp, mark)) << transcript();
  EXPECT_EQ(transcript().substr(mark), startUp("set,dev/pps/a/out,on\nset,calib/b,{1,2,3}\n" + longCmd + "\n", 4));
  // And the long command is still kept after this start.
  restartViaCommand();
  EXPECT_NE(setFile().find(longCmd + " # 255 199 0\n"), std::string::npos) << setFile();
}

TEST_F(BoardLink, SettingsFileOfTheEdgeCases) {
  startSim();
  start();
  const char* const sets[] = {
      "set,/par/calib/a/b,1",     "set,/par/calib/x,2",     "set,/par/calib/a,7",
      "set,/par/calib/l,{1,2,3}", "set,/par/calib/l,{,5,}", "set,/par/calib/x,2",
  };
  for (const char* s : sets) EXPECT_EQ(ask(std::string("%s%") + s), re("%s%")) << s;
  restartViaCommand();
  // calib/a replaced its child in the first place; the partial list stays after the complete
  // one; the repeated command is kept once, but the issue still moved.
  EXPECT_EQ(setFile(), kFileHead +
                           "#@count:4\n"
                           "set,cmd/set/issue,0\n"
                           "set,calib/a,7 # 14 7 0\n"
                           "set,calib/x,2 # 14 7 0\n"
                           "set,calib/l,{1,2,3} # 20 7 3\n"
                           "set,calib/l,{,5,} # 18 7 -3\n"
                           "set,cmd/set/issue,7\n");
  // A later complete list replaces both lists.
  start();
  EXPECT_EQ(ask("%s%set,/par/calib/l,{4,5,6}"), re("%s%"));
  restartViaCommand();
  EXPECT_EQ(setFile(), kFileHead +
                           "#@count:3\n"
                           "set,cmd/set/issue,0\n"
                           "set,calib/a,7 # 14 7 0\n"
                           "set,calib/x,2 # 14 7 0\n"
                           "set,calib/l,{4,5,6} # 20 7 3\n"
                           "set,cmd/set/issue,8\n");
  // init empties the record and resets the board.
  start();
  const std::size_t mark = transcript().size();
  EXPECT_EQ(ask("%i%init,/par/"), re("%i%"));
  ASSERT_TRUE(boardGets("init,/par/\n" + kInitialBlock, mark)) << transcript().substr(mark);
  restartViaCommand();
  EXPECT_EQ(setFile(), kFileHead + "#@count:0\nset,cmd/set/issue,0\n");
}

TEST_F(BoardLink, CorruptedSettingsFileWithAValidBlockClearsTheImage) {
  startSim();
  start();
  EXPECT_EQ(ask("%1%set,/par/dev/ser/b/rate,9600"), re("%1%"));
  EXPECT_EQ(ask("%2%set,/par/calib/a,1"), re("%2%"));
  restartViaCommand();
  const std::string good = setFile();
  ASSERT_TRUE(dir_.write(".gnss.set", good.substr(0, good.size() / 2)));
  rx_ = std::make_unique<e2e::Rxengine>(dir_);
  ASSERT_TRUE(rx_->start());
  EXPECT_EQ(waitEnd(), 0);
  EXPECT_NE(lastStderr_.find("$$CmdBuf: commands (0,0) mismatch nv (2,1): clearing NVRAM\n"), std::string::npos)
      << lastStderr_;
  // The next start finds factory settings and an empty record.
  start();
  EXPECT_EQ(ask("print,/par/dev/ser/b/rate"), re("115200"));
  restartViaCommand();
  EXPECT_EQ(setFile(), kFileHead + "#@count:0\nset,cmd/set/issue,0\n");
}

}  // namespace
}  // namespace boardlink

namespace boardlink {
namespace {

TEST_F(BoardLink, AFullRecordIsReplayedWhole) {
  startSim();
  start();
  // 512 commands of 255 characters each.
  std::string expect;
  for (int i = 0; i < 512; ++i) {
    char path[16];
    std::snprintf(path, sizeof path, "calib/%03d", i);
    const std::string cmd = std::string("set,") + path + "," + std::string(249 - std::strlen(path), 'v');
    ASSERT_EQ(ask("%s%set,/par/" + cmd.substr(4)), re("%s%")) << i;
    expect += cmd + "\n";
  }
  ASSERT_TRUE(boardGets(expect));
  restartViaCommand();
  const std::size_t mark = transcript().size();
  start();
  // The board reads more slowly than the program writes: nothing may be lost on the way.
  ASSERT_TRUE(boardGets(kEndOfStartUp, mark)) << "received " << transcript().size() - mark << " bytes";
  EXPECT_EQ(transcript().substr(mark), startUp(expect, 513));
}

}  // namespace
}  // namespace boardlink
