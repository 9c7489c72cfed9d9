// The board's settings issue against the program's record of what it gave the board, at start:
//   - a board that reports an issue the program never gave it (here 3, to a program whose record
//     is empty) is told issue 0 and the program restarts (exit 0), saying so; at the next start
//     the board, now at issue 0, is given the record and the program runs with its settings;
//   - a record file gone while the settings image still names a record (issue and count) cannot
//     be given again: the program clears its settings image and restarts, and comes back with
//     its factory settings (a port rate set before is gone).
#include <unistd.h>

#include "e2e/harness.h"

namespace e2e {
namespace {

using BoardIssue = Rx;

TEST_F(BoardIssue, AnIssueTheProgramNeverGaveRestartsItAndTheBoardGoesToIssueZero) {
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_EQ(ask("%1%set,/par/dev/ser/b/rate,9600"), re("%1%"));
  restart();
  ASSERT_NO_FATAL_FAILURE(startSim({"--issue", "3", "--keep-state"}));
  std::string out;
  EXPECT_EQ(runToEnd(dir_.path, out), 0);
  EXPECT_NE(out.find("$$CmdBuf: board issue 3 mismatch commands (0,0): restarting"), std::string::npos) << out;
  EXPECT_TRUE(boardGets("set,cmd/set/issue,0"));

  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("%p%print,/par/dev/ser/b/rate"), re("%p%9600"));
  EXPECT_EQ(rx_->out().find("mismatch"), std::string::npos) << rx_->out();
}

TEST_F(BoardIssue, ARecordFileLostBesideItsImageClearsTheSettingsAndRestarts) {
  ASSERT_NO_FATAL_FAILURE(startSim({"--keep-state"}));
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_EQ(ask("%1%set,/par/lock/budget,200"), re("%1%"));
  ASSERT_EQ(ask("%2%set,/par/dev/ser/b/rate,9600"), re("%2%"));
  restart();
  ASSERT_TRUE(dir_.exists(".gnss.set"));
  ASSERT_EQ(unlink(dir_.file(".gnss.set").c_str()), 0);

  std::string out;
  EXPECT_EQ(runToEnd(dir_.path, out), 0);
  EXPECT_NE(out.find("$$CmdBuf: commands (0,0) mismatch nv ("), std::string::npos) << out;
  EXPECT_NE(out.find("clearing NVRAM"), std::string::npos) << out;

  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("%r%print,/par/dev/ser/b/rate"), re("%r%115200")) << "factory settings after the clearing";
  EXPECT_EQ(rx_->out().find("mismatch"), std::string::npos) << rx_->out();
}

}  // namespace
}  // namespace e2e
