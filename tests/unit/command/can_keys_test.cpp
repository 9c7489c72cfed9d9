// The CAN ports' keys as a user types them: ranges, replies, what is stored in the receiver
// settings record and what the port then runs with.
#include <gtest/gtest.h>

#include <string>

#include "capture_port.h"
#include "command/settings_commands.h"
#include "platform/file_nvm.h"
#include "platform/ports/sock_can_port.h"
#include "settings/nv_settings.h"
#include "settings/port_settings.h"
#include "settings/rcv_settings.h"
#include "unit/platform/temp_run_dir.h"

namespace {

class CanKeys : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    FileNvmLoad();
    serdefs_NvAlloc();
    nv_readSettings();
    settingsCommandsInitOnce();
  }
  std::string run(const std::string& line) { return runLine(port_, line); }
  CapturePort port_{IOP_TCP_A};
};

const std::string kOutOfRange = "{5,,value out of range}";
const std::string kWrong1st = "{3,,wrong 1st parameter}";

// Rows run in order: each builds on the state the rows before it left.
TEST_F(CanKeys, RangesAndReplies) {
  const struct {
    const char* line;
    std::string want;
  } rows[] = {
      {"print,/par/dev/can/a", re("{imode=cmd,rate=125,sid={in={cnt=8,first=1792},out={cnt=8,first=1792}}}")},
      {"print,/par/dev/can/b/sid/out", re("{cnt=8,first=1792}")},
      // the five rates, and their neighbours refused
      {"set,/par/dev/can/a/rate,50;print,/par/dev/can/a/rate", re("50")},
      {"set,/par/dev/can/a/rate,250;print,/par/dev/can/a/rate", re("250")},
      {"set,/par/dev/can/a/rate,500;print,/par/dev/can/a/rate", re("500")},
      {"set,/par/dev/can/a/rate,1000;print,/par/dev/can/a/rate", re("1000")},
      {"%r%set,/par/dev/can/a/rate,100", er("%r%" + kOutOfRange)},
      {"set,/par/dev/can/a/rate,0", er("%%" + kOutOfRange)},
      {"set,/par/dev/can/a/rate,1001", er("%%" + kOutOfRange)},
      {"set,/par/dev/can/a/rate,125;print,/par/dev/can/a/rate", re("125")},
      // counts 1..8
      {"set,/par/dev/can/a/sid/in/cnt,0", er("%%" + kOutOfRange)},
      {"set,/par/dev/can/a/sid/in/cnt,9", er("%%" + kOutOfRange)},
      {"set,/par/dev/can/a/sid/out/cnt,0", er("%%" + kOutOfRange)},
      {"set,/par/dev/can/a/sid/in/cnt,1;print,/par/dev/can/a/sid/in/cnt", re("1")},
      // first + count - 1 within 0x7FF
      {"set,/par/dev/can/a/sid/in/first,2047;print,/par/dev/can/a/sid/in/first", re("2047")},
      {"set,/par/dev/can/a/sid/in/cnt,2", er("%%" + kOutOfRange)},
      {"set,/par/dev/can/a/sid/in/first,2048", er("%%" + kOutOfRange)},
      {"set,/par/dev/can/a/sid/out/first,2041", er("%%" + kOutOfRange)},
      {"set,/par/dev/can/a/sid/out/first,2040;print,/par/dev/can/a/sid/out", re("{cnt=8,first=2040}")},
      {"set,/par/dev/can/a/sid/out/first,-1", er("%%" + kOutOfRange)},
      {"set,/par/dev/can/a/sid/out/first,0;print,/par/dev/can/a/sid/out/first", re("0")},
      {"set,/par/dev/can/b/sid/out/cnt,3;print,/par/dev/can/b/sid", re("{in={cnt=8,first=1792},out={cnt=3,first=1792}}")},
      // paths that are no key
      {"set,/par/dev/can/a/sid,1", er("%%" + kWrong1st)},
      {"set,/par/dev/can/a/sid/in,1", er("%%" + kWrong1st)},
      {"set,/par/dev/can/a/sid/in/last,1", er("%%" + kWrong1st)},
      {"set,/par/dev/can/c/rate,125", er("%%" + kWrong1st)},
      {"print,/par/dev/can/a/sid/x", er("%%" + kWrong1st)},
      {"set,/par/dev/ser/a/sid/in/cnt,1", er("%%" + kWrong1st)},
      // imode stays where it was
      {"set,/par/dev/can/a/imode,echo;print,/par/dev/can/a/imode", re("echo")},
      {"print,/par/dev/can/a", re("{imode=echo,rate=125,sid={in={cnt=1,first=2047},out={cnt=8,first=0}}}")},
  };
  for (const auto& r : rows) EXPECT_EQ(run(r.line), r.want) << r.line;

  // Stored whole, and what the port runs with; the words the keys do not name are the defaults'.
  const std::uint32_t wantA[8] = {0, 125, 1, 2047, 8, 0, 1000, 0};
  const CanState a = canGetState(0);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(RcvSet.can[0].w[i], wantA[i]) << i;
    EXPECT_EQ(a.w[i], wantA[i]) << i;
  }
  EXPECT_EQ(RcvSet.can[1].w[CAN_W_OUT_CNT], 3u);

  EXPECT_EQ(run("%i%init,/par/"), re("%i%"));
  EXPECT_EQ(run("print,/par/dev/can/a/sid;print,/par/dev/can/b/sid/out/cnt"),
            re("{in={cnt=8,first=1792},out={cnt=8,first=1792}}") + re("8"));
}

}  // namespace
